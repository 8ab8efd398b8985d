// The blob stream of the table component: read, write, seek, truncate and size on memos of no
// bytes, one block, many blocks, compressed or not, directly and through the field objects.
#include "components_fixture.h"

#include "db/components/component_errors.h"
#include "db/components/zolvek_blob_stream.h"

#include <tuple>

namespace zolvek {
namespace {

using namespace zolvek::testing;

// A text of `size` bytes with Turkish letters that does not repeat quickly.
std::string MemoText(size_t size) {
    static const std::string kPiece = "a\xE7\xFDklama \xF6rne\xF0i \xFE\xFCphesiz ";
    std::string text;
    for (size_t i = 0; text.size() < size; ++i)
        text += kPiece + std::to_string(i * 7919 % 10007) + " ";
    text.resize(size);
    return text;
}

std::string ReadAll(TStream& stream) {
    std::string text(size_t(stream.Size()), '\0');
    size_t done = 0;
    while (done < text.size()) {
        size_t read = stream.Read(text.data() + done, std::min<size_t>(100, text.size() - done));
        if (read == 0)
            break;
        done += read;
    }
    text.resize(done);
    return text;
}

// Memo sizes: none, within one 512-byte block, over many blocks; with and without zlib.
class BlobStreamTest : public ComponentsTest,
                       public ::testing::WithParamInterface<std::tuple<size_t, bool>> {
protected:
    size_t size = std::get<0>(GetParam());
    bool compressed = std::get<1>(GetParam());
    std::string text = MemoText(size);

    void SetUp() override {
        TableDefinition definition = GlossaryDefinition();
        if (compressed)
            definition.Fields[1].Compression = 6;
        CreateTableIn(dir.Path(), "datalar", definition);
    }
};

TEST_P(BlobStreamTest, WrittenInPiecesReadBackExactly) {
    GlossaryTable table(dir.Path());
    table.Open();
    table.Append();
    table.word->SetAsString("kelime");
    {
        TZOLVEKBlobStream stream(*table.explanation, bmWrite);
        for (size_t at = 0; at < text.size(); at += 333)
            EXPECT_EQ(stream.Write(text.data() + at, std::min<size_t>(333, text.size() - at)),
                std::min<size_t>(333, text.size() - at));
        EXPECT_EQ(stream.Size(), int64_t(size));
    }
    table.Post();
    table.Close();
    table.Open();
    EXPECT_EQ(table.explanation->IsNull(), size == 0);
    EXPECT_EQ(table.explanation->AsString(), text);
    EXPECT_EQ(table.explanation->BlobSize(), int64_t(size));

    TZOLVEKBlobStream stream(*table.explanation, bmRead);
    EXPECT_EQ(ReadAll(stream), text);
    char byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
    EXPECT_EQ(stream.Seek(-int64_t(std::min<size_t>(size, 10)), soEnd),
        int64_t(size - std::min<size_t>(size, 10)));
    std::string tail(std::min<size_t>(size, 10), '\0');
    EXPECT_EQ(stream.Read(tail.data(), 20), tail.size());
    EXPECT_EQ(tail, text.substr(size - tail.size()));
    EXPECT_EQ(stream.Seek(size + 100, soBeginning), int64_t(size + 100));
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
    // A read stream writes nothing.
    EXPECT_EQ(stream.Write("x", 1), 0u);
}

TEST_P(BlobStreamTest, ReadWriteStreamsAppendTruncateAndGrow) {
    GlossaryLoader(dir.Path()).Add("kelime", text);
    GlossaryTable table(dir.Path());
    table.Open();
    table.Edit();
    {
        TZOLVEKBlobStream stream(*table.explanation, bmReadWrite);
        EXPECT_EQ(ReadAll(stream), text);
        EXPECT_EQ(stream.Seek(0, soEnd), int64_t(size));
        stream.Write(" son", 4);
        EXPECT_EQ(stream.Size(), int64_t(size + 4));
    }
    std::string expected = text + " son";
    EXPECT_EQ(table.explanation->AsString(), expected);
    {
        // A second stream continues on the pending value.
        TZOLVEKBlobStream stream(*table.explanation, bmReadWrite);
        EXPECT_EQ(stream.Size(), int64_t(expected.size()));
        stream.SetSize(int64_t(expected.size() / 2));
        expected.resize(expected.size() / 2);
        stream.SetSize(int64_t(expected.size() + 3));
        expected += std::string(3, '\0');
        stream.Seek(2, soBeginning);
        stream.Seek(1, soCurrent);
        stream.Truncate();
        expected.resize(std::min<size_t>(3, expected.size()));
        EXPECT_EQ(stream.Size(), int64_t(expected.size()));
    }
    table.Post();
    EXPECT_EQ(table.explanation->AsString(), expected);
    table.Refresh();
    EXPECT_EQ(table.explanation->AsString(), expected);
    EXPECT_EQ(table.Cursor()->Blobs().OpenCount(), 0u);

    // Assigning twice in one edit keeps the second text only.
    table.Edit();
    table.explanation->SetAsString(text);
    table.explanation->SetAsString("ikinci");
    table.Post();
    EXPECT_EQ(table.explanation->AsString(), "ikinci");
    // Emptying through the field stores an empty memo.
    table.Edit();
    table.explanation->Clear();
    table.Post();
    EXPECT_TRUE(table.explanation->IsNull());
    EXPECT_EQ(table.explanation->AsString(), "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlobStreamTest,
    ::testing::Combine(
        ::testing::Values(size_t(0), size_t(300), size_t(20000)), ::testing::Bool()));

TEST_F(ComponentsTest, BlobStreamsRefuseWritesOutsideEditingAndAreInertWithoutARecord) {
    CreateTableIn(dir.Path());
    GlossaryTable table(dir.Path());
    table.Open();
    // An empty table has no active record: the stream does nothing.
    TZOLVEKBlobStream inert(*table.explanation, bmRead);
    EXPECT_EQ(inert.Size(), 0);
    char byte = 0;
    EXPECT_EQ(inert.Read(&byte, 1), 0u);
    table.Close();

    GlossaryLoader(dir.Path()).Add("kelime", "metin");
    table.Open();
    EXPECT_EQ(
        MisuseText([&] { TZOLVEKBlobStream(*table.explanation, bmWrite); }), kTableNotEditing);
    table.explanation->SetReadOnly(true);
    table.Edit();
    EXPECT_EQ(MisuseText([&] { TZOLVEKBlobStream(*table.explanation, bmReadWrite); }),
        FormatDatabaseText(kFieldReadOnly, { "ACIKLAMA" }));
    table.Cancel();

    // A field of a dataset of another class is refused.
    TStringField loose("ANAHTAR", 10);
    EXPECT_EQ(MisuseText([&] { TZOLVEKBlobStream(loose, bmRead); }), kInvalidClassTypecast);
}

} // namespace
} // namespace zolvek
