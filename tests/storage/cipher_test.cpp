#include "db/storage/cipher.h"

#include "db/base/errors.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace zolvek {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(std::string_view hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(uint8_t(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

std::string ToHex(const uint8_t* data, size_t size) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; i < size; ++i) {
        hex += kHex[data[i] >> 4];
        hex += kHex[data[i] & 0x0f];
    }
    return hex;
}

std::string ToHex(const Bytes& bytes) {
    return ToHex(bytes.data(), bytes.size());
}

TCipherBlock BlockFromHex(std::string_view hex) {
    Bytes bytes = FromHex(hex);
    TCipherBlock block {};
    std::memcpy(block.data(), bytes.data(), block.size());
    return block;
}

struct EcbCase {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Eric Young's Blowfish test set, 8-byte keys.
constexpr EcbCase kEcbCases[] = {
    { "0000000000000000", "0000000000000000", "4EF997456198DD78" },
    { "FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A" },
    { "3000000000000000", "1000000000000001", "7D856F9A613063F2" },
    { "1111111111111111", "1111111111111111", "2466DD878B963C9D" },
    { "0123456789ABCDEF", "1111111111111111", "61F9C3802281B096" },
    { "1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7" },
    { "FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D" },
    { "7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B" },
    { "0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0" },
    { "07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4" },
    { "3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB" },
    { "04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A" },
    { "0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918" },
    { "0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98" },
    { "43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5" },
    { "07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79" },
    { "04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3" },
    { "37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969" },
    { "1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B" },
    { "584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E" },
    { "025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD" },
    { "49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019" },
    { "4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3" },
    { "49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5" },
    { "018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778" },
    { "1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201" },
    { "0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2" },
    { "1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE" },
    { "E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D" },
    { "0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4" },
    { "FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC" },
    { "0123456789ABCDEF", "0000000000000000", "245946885754369A" },
    { "FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A" },
};

TEST(Blowfish, EcbVectors) {
    for (const EcbCase& c : kEcbCases) {
        SCOPED_TRACE(c.key);
        const Bytes key = FromHex(c.key);
        const TBlowfishContext context(key.data(), key.size());
        Bytes block = FromHex(c.plain);
        context.EncryptEcb(block.data());
        EXPECT_EQ(ToHex(block), c.cipher);
        context.DecryptEcb(block.data());
        EXPECT_EQ(ToHex(block), c.plain);
    }
}

// The same set's key-length rows: the first 1..24 bytes of one key, which the schedule takes
// cyclically.
TEST(Blowfish, KeyLengths) {
    const Bytes key = FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    const char* const expected[]
        = { "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
              "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
              "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
              "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
              "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
              "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080" };
    for (size_t size = 1; size <= key.size(); ++size) {
        SCOPED_TRACE(size);
        const TBlowfishContext context(key.data(), size);
        Bytes block = FromHex("FEDCBA9876543210");
        context.EncryptEcb(block.data());
        EXPECT_EQ(ToHex(block), expected[size - 1]);
    }
}

TEST(Blowfish, KeySizeLimits) {
    const Bytes key(57, 0x5A);
    EXPECT_THROW(TBlowfishContext(key.data(), 0), EDatabaseError);
    EXPECT_THROW(TBlowfishContext(key.data(), 57), EDatabaseError);
    EXPECT_THROW(TBlowfishContext(nullptr, 16), EDatabaseError);

    // 56 bytes is the longest key, and every byte of it counts.
    Bytes longest(key.begin(), key.begin() + 56);
    Bytes a(8, 0), b(8, 0);
    TBlowfishContext(longest.data(), longest.size()).EncryptEcb(a.data());
    longest[55] ^= 1;
    TBlowfishContext(longest.data(), longest.size()).EncryptEcb(b.data());
    EXPECT_NE(a, b);
}

// The CBC row of the same set: a 16-byte key as the engine uses, a 29-byte text padded with
// zeros to 32.
class CbcVector : public testing::Test {
protected:
    CbcVector()
        : key_(FromHex("0123456789ABCDEFF0E1D2C3B4A59687"))
        , context_(key_.data(), key_.size()) {
        context_.SetInitialVector(initial_vector_);
        std::string text = "7654321 Now is the time for ";
        plain_.assign(text.begin(), text.end());
        plain_.push_back(0); // the string's terminator is part of the 29 bytes
        plain_.resize(32, 0);
    }

    const TCipherBlock initial_vector_ = BlockFromHex("FEDCBA9876543210");
    const std::string cipher_hex_
        = "6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC";
    Bytes key_;
    TBlowfishContext context_;
    Bytes plain_;
};

TEST_F(CbcVector, EncryptsAndDecrypts) {
    Bytes buffer = plain_;
    context_.EncryptBuffer(buffer.data(), buffer.size());
    EXPECT_EQ(ToHex(buffer), cipher_hex_);
    EXPECT_EQ(context_.ChainingValue(), initial_vector_);

    context_.DecryptBuffer(buffer.data(), buffer.size());
    EXPECT_EQ(buffer, plain_);
    EXPECT_EQ(context_.ChainingValue(), initial_vector_);
}

TEST_F(CbcVector, UnpaddedTailStaysClear) {
    // 29 bytes: three blocks enciphered as in the padded text, the last five bytes untouched.
    Bytes buffer(plain_.begin(), plain_.begin() + 29);
    context_.EncryptBuffer(buffer.data(), buffer.size());
    EXPECT_EQ(ToHex(buffer.data(), 24), cipher_hex_.substr(0, 48));
    EXPECT_TRUE(std::equal(buffer.begin() + 24, buffer.end(), plain_.begin() + 24));

    context_.DecryptBuffer(buffer.data(), buffer.size());
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), plain_.begin()));
}

TEST_F(CbcVector, SingleBlockStepsChain) {
    // The block routines on their own carry the chain from one call to the next.
    Bytes buffer = plain_;
    for (size_t at = 0; at < buffer.size(); at += kCipherBlockSize)
        context_.EncryptBlock(buffer.data() + at);
    EXPECT_EQ(ToHex(buffer), cipher_hex_);
    EXPECT_EQ(ToHex(context_.ChainingValue().data(), 8), cipher_hex_.substr(48));
    context_.Reset();
    EXPECT_EQ(context_.ChainingValue(), initial_vector_);
}

TEST(TableCipher, RoundTripOverRandomLengths) {
    const std::unique_ptr<TCipherContext> context = CreateCipherContext(DigestText("gizli"));
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        const size_t size = random() % 101;
        SCOPED_TRACE(size);
        Bytes plain(size);
        for (uint8_t& byte : plain)
            byte = uint8_t(random());
        Bytes buffer = plain;
        context->EncryptBuffer(buffer.data(), buffer.size());
        const size_t whole = size / 8 * 8;
        for (size_t at = 0; at < whole; at += 8)
            EXPECT_NE(Bytes(buffer.begin() + at, buffer.begin() + at + 8),
                Bytes(plain.begin() + at, plain.begin() + at + 8));
        EXPECT_TRUE(std::equal(buffer.begin() + whole, buffer.end(), plain.begin() + whole));
        context->DecryptBuffer(buffer.data(), buffer.size());
        EXPECT_EQ(buffer, plain);
    }
}

TEST(TableCipher, ThirteenBytes) {
    const TBlowfishContext reference(DigestText("parola"));
    TBlowfishContext context(DigestText("parola"));
    Bytes plain = FromHex("000102030405060708090A0B0C");
    Bytes buffer = plain;
    context.EncryptBuffer(buffer.data(), buffer.size());

    // With a zero initial vector the first block is the plain Blowfish block.
    Bytes first(plain.begin(), plain.begin() + 8);
    reference.EncryptEcb(first.data());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), first);
    EXPECT_EQ(Bytes(buffer.begin() + 8, buffer.end()), Bytes(plain.begin() + 8, plain.end()));
}

TEST(TableCipher, ShortBuffersUnchanged) {
    TBlowfishContext context(DigestText("parola"));
    for (size_t size = 0; size < 8; ++size) {
        Bytes buffer(size, 0xA5);
        context.EncryptBuffer(buffer.data(), size);
        EXPECT_EQ(buffer, Bytes(size, 0xA5));
        context.DecryptBuffer(buffer.data(), size);
        EXPECT_EQ(buffer, Bytes(size, 0xA5));
    }
    // Nothing to do, so no buffer is needed either.
    context.EncryptBuffer(nullptr, 7);
    context.DecryptBuffer(nullptr, 0);
}

TEST(TableCipher, EveryBufferStartsFromTheInitialVector) {
    TBlowfishContext context(DigestText("parola"));
    context.SetInitialVector(BlockFromHex("0011223344556677"));
    Bytes first(16, 0), second(16, 0);
    context.EncryptBuffer(first.data(), first.size());
    context.EncryptBuffer(second.data(), second.size());
    EXPECT_EQ(first, second);
    // Within a buffer the chain runs: equal plain blocks give different cipher blocks.
    EXPECT_NE(Bytes(first.begin(), first.begin() + 8), Bytes(first.begin() + 8, first.end()));
}

TEST(TableCipher, NullBufferRefused) {
    TBlowfishContext context(DigestText("parola"));
    EXPECT_THROW(context.EncryptBuffer(nullptr, 8), EDatabaseError);
    EXPECT_THROW(context.DecryptBuffer(nullptr, 100), EDatabaseError);
}

// Block routines of the kind an application may supply: Blowfish underneath, failing on a
// chosen block (counted from 1 within each buffer), optionally failing in Reset too.
class FailingCipher : public TCipherContext {
public:
    explicit FailingCipher(const TCipherBlock& initial_vector)
        : inner_(DigestText("parola")) {
        inner_.SetInitialVector(initial_vector);
    }

    void EncryptBlock(uint8_t* block) override {
        Count();
        inner_.EncryptBlock(block);
    }
    void DecryptBlock(uint8_t* block) override {
        Count();
        inner_.DecryptBlock(block);
    }
    void Reset() override {
        blocks_ = 0;
        inner_.Reset();
        if (fail_reset_)
            throw std::runtime_error("reset failed");
    }

    TBlowfishContext inner_;
    int fail_at_ = 0;
    bool fail_reset_ = false;

private:
    void Count() {
        if (++blocks_ == fail_at_)
            throw std::runtime_error("block failed");
    }
    int blocks_ = 0;
};

TEST(TableCipher, ChainResetWhenABlockRoutineFails) {
    const TCipherBlock initial_vector = BlockFromHex("0F1E2D3C4B5A6978");
    FailingCipher cipher(initial_vector);
    Bytes plain(40);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = uint8_t(i * 7);

    Bytes expected = plain;
    cipher.EncryptBuffer(expected.data(), expected.size());

    for (bool encrypt : { true, false }) {
        SCOPED_TRACE(encrypt ? "encrypt" : "decrypt");
        cipher.fail_at_ = 3;
        Bytes buffer = encrypt ? plain : expected;
        try {
            if (encrypt)
                cipher.EncryptBuffer(buffer.data(), buffer.size());
            else
                cipher.DecryptBuffer(buffer.data(), buffer.size());
            ADD_FAILURE() << "the failing block routine was not called";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "block failed");
        }
        EXPECT_EQ(cipher.inner_.ChainingValue(), initial_vector);

        // The next buffer is enciphered on its own again.
        cipher.fail_at_ = 0;
        buffer = encrypt ? plain : expected;
        if (encrypt)
            cipher.EncryptBuffer(buffer.data(), buffer.size());
        else
            cipher.DecryptBuffer(buffer.data(), buffer.size());
        EXPECT_EQ(buffer, encrypt ? expected : plain);
    }
}

TEST(TableCipher, FailingResetRoutine) {
    FailingCipher cipher(BlockFromHex("0F1E2D3C4B5A6978"));
    cipher.fail_reset_ = true;
    Bytes buffer(16, 1);

    // Alone, its failure reaches the caller.
    try {
        cipher.EncryptBuffer(buffer.data(), buffer.size());
        ADD_FAILURE() << "the reset failure was lost";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "reset failed");
    }

    // After a block failure, the block failure is the one reported.
    cipher.fail_at_ = 2;
    try {
        cipher.DecryptBuffer(buffer.data(), buffer.size());
        ADD_FAILURE() << "nothing was thrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "block failed");
    }
}

} // namespace
} // namespace zolvek
