// The block cipher of encrypted tables: a key context enciphers whole buffers (headers,
// descriptor blocks, records, index pages, BLOB blocks) in CBC mode, 8 bytes at a time. The
// built-in cipher is Blowfish; the engine component may put routines of its own behind the same
// TCipherContext interface.
// Thread-safety: a context carries a chaining value, so only one thread at a time may use it.
// A table password owns its context; the tables opened with that password share it.
#pragma once

#include "db/storage/digest.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zolvek {

inline constexpr size_t kCipherBlockSize = 8;

using TCipherBlock = std::array<uint8_t, kCipherBlockSize>;

// A keyed cipher with its chaining state. Implementations supply the three block routines;
// the buffer operations are the same for all of them.
class TCipherContext {
public:
    virtual ~TCipherContext() = default;
    TCipherContext(const TCipherContext&) = delete;
    TCipherContext& operator=(const TCipherContext&) = delete;

    // One CBC step in place on the 8 bytes at `block`, advancing the chaining value.
    virtual void EncryptBlock(uint8_t* block) = 0;
    virtual void DecryptBlock(uint8_t* block) = 0;
    // Sets the chaining value back to the initial vector.
    virtual void Reset() = 0;

    // Enciphers the first size div 8 blocks of the buffer in CBC mode; the last size mod 8
    // bytes stay as they are, so a buffer shorter than 8 bytes is not changed. Afterwards the
    // chaining value is back at the initial vector, also when a block routine throws, so every
    // buffer is enciphered on its own and a buffer always deciphers alone.
    // Requires: `buffer` points to `size` writable bytes. A null buffer of 8 bytes or more
    // raises EDatabaseError and changes nothing.
    void EncryptBuffer(uint8_t* buffer, size_t size);
    void DecryptBuffer(uint8_t* buffer, size_t size);

protected:
    TCipherContext() = default;
};

// Blowfish: 16 rounds, 64-bit blocks whose two 32-bit halves are read and written big-endian,
// the standard key schedule over the published initial P-array and S-boxes.
class TBlowfishContext final : public TCipherContext {
public:
    static constexpr size_t kMinKeySize = 1;
    static constexpr size_t kMaxKeySize = 56;
    // Initial vector, chaining value, four S-boxes and the P-array: 4184 bytes.
    static constexpr size_t kStateSize = 8 + 8 + 4 * 256 * 4 + 18 * 4;

    // Keys the context with `key_size` bytes of `key`; the initial vector is zero.
    // A null key or a size outside kMinKeySize..kMaxKeySize raises EDatabaseError.
    TBlowfishContext(const uint8_t* key, size_t key_size);
    // The engine's table key: the 16-byte digest of the password.
    explicit TBlowfishContext(const TDigest& key);

    // Sets the initial vector and resets the chaining value to it.
    void SetInitialVector(const TCipherBlock& initial_vector);
    TCipherBlock InitialVector() const;
    TCipherBlock ChainingValue() const;

    // A single block without chaining (ECB).
    void EncryptEcb(uint8_t* block) const;
    void DecryptEcb(uint8_t* block) const;

    void EncryptBlock(uint8_t* block) override;
    void DecryptBlock(uint8_t* block) override;
    void Reset() override;

private:
    uint32_t Round(uint32_t x) const;
    void Encipher(uint32_t& left, uint32_t& right) const;
    void Decipher(uint32_t& left, uint32_t& right) const;

    // The halves of the initial vector and of the chaining value are kept as the big-endian
    // words the block routines work on.
    struct TState {
        uint32_t initial_vector[2];
        uint32_t chaining_value[2];
        uint32_t s[4][256];
        uint32_t p[18];
    };
    static_assert(sizeof(TState) == kStateSize);

    TState state_;
};

// The built-in key context for a table password's digest. Replacement routines of the engine
// component come in as another TCipherContext made for the same key.
std::unique_ptr<TCipherContext> CreateCipherContext(const TDigest& key);

} // namespace zolvek
