// The engine's message digest: MD5 (RFC 1321) over a buffer or over the characters of a text.
// Table headers carry the digest of the engine signature, every record carries one of its
// field values, and a table password is keyed and checked through the digest of its text.
// Thread-safety: a TMD5Context is used by one thread at a time; the free functions are pure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zolvek {

inline constexpr size_t kDigestSize = 16;

// A 16-byte MD5 digest, in the byte order the algorithm defines (as md5sum prints it).
// Two digests compare with == and !=.
using TDigest = std::array<uint8_t, kDigestSize>;

// Incremental MD5: Init (done by the constructor), any number of Updates, then Final.
class TMD5Context {
public:
    TMD5Context() { Init(); }

    // Starts a new digest.
    void Init();

    // Requires: `data` points to `size` readable bytes (it may be null when `size` is 0).
    void Update(const uint8_t* data, size_t size);
    // The characters of a text, without any length byte.
    void Update(std::string_view text);

    // Pads the message, returns its digest and starts a new digest.
    TDigest Final();

private:
    void Transform(const uint8_t* block);

    uint32_t state_[4];
    uint64_t length_; // message bytes so far; the padding stores it in bits, modulo 2^64
    uint8_t pending_[64];
};

// One-shot digests. Requires: `data` points to `size` readable bytes (null when `size` is 0).
TDigest DigestBuffer(const uint8_t* data, size_t size);
TDigest DigestText(std::string_view text);

// 32 lower-case hexadecimal digits, for logs and tests.
std::string DigestToHex(const TDigest& digest);

} // namespace zolvek
