#include "db/storage/digest.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zolvek {
namespace {

struct DigestCase {
    std::string message;
    const char* hex;
};

std::vector<DigestCase> KnownDigests() {
    return {
        // The test suite of RFC 1321.
        { "", "d41d8cd98f00b204e9800998ecf8427e" },
        { "a", "0cc175b9c0f1b6a831c399e269772661" },
        { "abc", "900150983cd24fb0d6963f7d28e17f72" },
        { "message digest", "f96b697d7cb7938d525a2f31aaf161d0" },
        { "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b" },
        { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
            "d174ab98d277d9f5a5611c2c9f419d9f" },
        { "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
            "57edf4a22be3c955ac49da2e2107b67a" },
        // The padding edges: the length fits after the 0x80 byte (55), needs a second block (56,
        // 63, 119), or the message fills whole blocks (64, 120). Checked with md5sum.
        { std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65" },
        { std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218" },
        { std::string(63, 'a'), "b06521f39153d618550606be297466d5" },
        { std::string(64, 'a'), "014842d480b571495a4a0363793f7367" },
        { std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435" },
        { std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613" },
        { std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537" },
        // Single-byte text with bytes above 127 and an embedded zero.
        { std::string("\xC7\xDD\xD0\xFE\xFD\xF0\x00\xFF", 8), "0278d8b36f44e4c9ef9acf50df3ad98f" },
    };
}

TEST(Digest, KnownMessages) {
    for (const DigestCase& c : KnownDigests()) {
        SCOPED_TRACE(c.message.size());
        EXPECT_EQ(DigestToHex(DigestText(c.message)), c.hex);
        EXPECT_EQ(DigestToHex(DigestBuffer(
                      reinterpret_cast<const uint8_t*>(c.message.data()), c.message.size())),
            c.hex);
    }
}

TEST(Digest, MillionLetters) {
    TMD5Context context;
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        context.Update(chunk);
    EXPECT_EQ(DigestToHex(context.Final()), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Digest, EngineSignatureText) {
    // The characters only, without a length byte; cross-checked with md5sum.
    EXPECT_EQ(DigestToHex(DigestText("ZOLVEK_SIG")), "caa1e436657d6219d14fed818bb68094");
}

// Feeding a message in pieces of any size gives the digest of the whole, across the 64-byte
// block edges and the padding edges.
TEST(Digest, IncrementalMatchesOneShot) {
    std::string message;
    for (int i = 0; i < 300; ++i)
        message += char(i * 37 + 11);
    for (size_t length : { 0, 1, 55, 56, 63, 64, 65, 127, 128, 129, 300 }) {
        const TDigest whole = DigestText(std::string_view(message).substr(0, length));
        for (size_t piece : { 1, 3, 7, 63, 64, 65, 200 }) {
            SCOPED_TRACE(testing::Message() << "length " << length << ", pieces of " << piece);
            TMD5Context context;
            for (size_t at = 0; at < length; at += piece)
                context.Update(std::string_view(message).substr(at, std::min(piece, length - at)));
            EXPECT_EQ(context.Final(), whole);
        }
    }
}

TEST(Digest, FinalStartsOver) {
    TMD5Context context;
    context.Update("message digest");
    EXPECT_EQ(DigestToHex(context.Final()), "f96b697d7cb7938d525a2f31aaf161d0");
    context.Update("abc");
    EXPECT_EQ(DigestToHex(context.Final()), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestToHex(context.Final()), "d41d8cd98f00b204e9800998ecf8427e");

    // Init drops what was fed so far.
    context.Update("discarded");
    context.Init();
    context.Update("a");
    EXPECT_EQ(DigestToHex(context.Final()), "0cc175b9c0f1b6a831c399e269772661");
}

TEST(Digest, NullBufferOfLengthZero) {
    EXPECT_EQ(DigestToHex(DigestBuffer(nullptr, 0)), "d41d8cd98f00b204e9800998ecf8427e");
}

} // namespace
} // namespace zolvek
