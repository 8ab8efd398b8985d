// Memos through cursors: rewrites in place and compressed memos.
#include "cursor_fixture.h"

#include "db/base/bytes.h"
#include "db/cursor/table_verifier.h"
#include "db/storage/base_file.h"
#include "db/storage/records.h"
#include "support/faulty_os.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

namespace zolvek {
namespace {

using namespace zolvek::testing;

TEST_F(CursorTest, MemoRewrittenInPlaceDoesNotGrowTheBlobFile) {
    GlossaryCursor g(*directory);
    std::string long_text(3000, 'a');
    g.Insert("kalem", long_text);
    auto size = std::filesystem::file_size(dir.File("datalar.blb"));
    for (int round = 0; round < 5; ++round) {
        std::string text(2500 + round * 100, char('b' + round));
        g.cursor.MoveFirst();
        g.cursor.ReadNext(g.record.data());
        g.Modify("kalem", &text);
        EXPECT_EQ(std::filesystem::file_size(dir.File("datalar.blb")), size) << round;
        g.cursor.ReadCurrent(g.record.data());
        EXPECT_EQ(g.Explanation(g.record), text);
    }
    // Emptying the memo frees its chain.
    std::string empty;
    g.Modify("kalem", &empty);
    g.cursor.ReadCurrent(g.record.data());
    EXPECT_TRUE(g.cursor.ReadFieldValue(kExplanation, g.record.data(), nullptr));
    EXPECT_NE(g.cursor.Table().BlobFile().Header().FirstFreeBlock, 0);
}

TEST_F(CursorTest, CompressedMemosTakeFewerBlocksAndReadBackExactly) {
    auto definition = GlossaryDefinition();
    definition.Fields[1].Compression = 6;
    CreateTable("sikistirilmis", definition);
    GlossaryCursor packed(*directory, "sikistirilmis");
    GlossaryCursor plain(*directory);
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += "Yaz\xFDlar\xFD bir kez daha okuyal\xFDm. ";
    packed.Insert("kalem", text);
    plain.Insert("kalem", text);
    EXPECT_LT(packed.cursor.Table().BlobFile().UnitCount() * 4,
        plain.cursor.Table().BlobFile().UnitCount());
    packed.cursor.MoveFirst();
    ASSERT_EQ(packed.cursor.ReadNext(packed.record.data()), 0);
    EXPECT_EQ(packed.Explanation(packed.record), text);
    // The first block records the compressed size.
    uint32_t first = LoadU32(
        packed.record.data() + packed.cursor.GetFieldDescriptor(kExplanation).FieldOffset + 1);
    TPinned<TBlock> head(packed.cursor.Table().BlobFile().GetBlock(nullptr, first));
    EXPECT_LT(head->TotalSize(), text.size() / 4);
    head.Reset();
    // A rewrite keeps the buffer's own value readable after the post.
    std::string shorter = text.substr(0, 900);
    packed.Modify("kalem", &shorter);
    packed.cursor.ReadCurrent(packed.record.data());
    EXPECT_EQ(packed.Explanation(packed.record), shorter);
    // The open BLOB still reads as the plain value after the post that stored it compressed.
    std::vector<uint8_t> edit(packed.cursor.RecordSize());
    packed.cursor.ReadCurrent(edit.data());
    packed.cursor.ReadCurrent(edit.data(), true);
    packed.cursor.OpenBlobField(kExplanation, edit.data(), TBlobBuffer::bmWrite);
    packed.cursor.WriteBlobBytes(
        kExplanation, edit.data(), 0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    packed.cursor.ModifyRecord(edit.data());
    std::string read_back(text.size(), '\0');
    EXPECT_EQ(packed.cursor.ReadBlobBytes(kExplanation, edit.data(), 0,
                  reinterpret_cast<uint8_t*>(read_back.data()), read_back.size()),
        text.size());
    EXPECT_EQ(read_back, text);
    packed.cursor.CloseBlobField(kExplanation, edit.data());
    EXPECT_EQ(VerifyTable(packed.cursor.Table()), std::vector<std::string> {});
}

} // namespace
} // namespace zolvek
