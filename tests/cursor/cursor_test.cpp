#include "cursor_fixture.h"

#include "db/storage/base_file.h"
#include "db/storage/records.h"

#include <atomic>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

#include "db/base/bytes.h"

namespace zolvek {
namespace {

using testing::CodeOf;
using testing::EngineFixture;
using testing::GlossaryCursor;
using testing::GlossaryDefinition;
using testing::kExplanation;
using testing::kWord;
using testing::RunInChild;

class CursorTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        CreateTable("datalar", GlossaryDefinition());
    }
};

TEST_F(CursorTest, EmptyTableReportsItsCodes) {
    GlossaryCursor g(*directory);
    EXPECT_EQ(g.cursor.ReadNext(g.record.data()), ZOLVEK_EOF);
    EXPECT_EQ(g.cursor.ReadPrior(g.record.data()), ZOLVEK_BOF);
    EXPECT_EQ(g.cursor.ReadCurrent(g.record.data()), ZOLVEK_NOCURRREC);
    EXPECT_EQ(g.cursor.RecordCount(), 0);
    EXPECT_EQ(g.cursor.SequenceNumber(), 0);
    EXPECT_EQ(g.cursor.CopyCurrentRecord(g.record.data()), ZOLVEK_NOCURRREC);
}

TEST_F(CursorTest, MovesAtTheEndsOfTheView) {
    GlossaryCursor g(*directory);
    for (const char* word : { "kalem", "ayna", "zeytin" })
        g.Insert(word);
    // Without a primary key the primary order is the order of insertion.
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kalem", "ayna", "zeytin" }));
    g.cursor.MoveFirst();
    EXPECT_EQ(g.cursor.ReadPrior(g.record.data()), ZOLVEK_BOF);
    EXPECT_EQ(g.cursor.ReadNext(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kalem");
    EXPECT_EQ(g.cursor.SequenceNumber(), 1);
    g.cursor.MoveLast();
    EXPECT_EQ(g.cursor.ReadNext(g.record.data()), ZOLVEK_EOF);
    EXPECT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "zeytin");
    EXPECT_EQ(g.cursor.ReadNext(g.record.data()), ZOLVEK_EOF);
    EXPECT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "zeytin");
    EXPECT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "ayna");
    EXPECT_EQ(g.cursor.SequenceNumber(), 2);
    EXPECT_EQ(g.cursor.RecordCount(), 3);
}

TEST_F(CursorTest, TurkishOrderAndIndexSwitchKeepTheRecord) {
    GlossaryCursor g(*directory);
    // çay, cam, Dal, ılık, ırmak, ilaç, İnci (Windows-1254 bytes)
    for (const char* word : { "\xE7"
                              "ay",
             "cam", "Dal", "\xFDl\xFDk", "\xFDrmak", "ila\xE7", "\xDDnci" })
        g.Insert(word);
    g.cursor.SelectIndex("indexx");
    EXPECT_EQ(g.Words(),
        (std::vector<std::string> { "cam",
            "\xE7"
            "ay",
            "Dal", "\xFDl\xFDk", "\xFDrmak", "ila\xE7", "\xDDnci" }));

    // Stand on "Dal" in the primary order (third), then switch to A'dan Z'ye.
    g.cursor.SelectIndex("");
    g.cursor.MoveFirst();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(g.cursor.ReadNext(g.record.data()), 0);
    ASSERT_EQ(g.Word(g.record), "Dal");
    EXPECT_EQ(g.cursor.SequenceNumber(), 3);
    g.cursor.SelectIndex("INDEXX");
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "Dal");
    EXPECT_EQ(g.cursor.SequenceNumber(), 3);
    g.cursor.SelectIndex("ANAHTAR");
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "Dal");
    EXPECT_EQ(CodeOf([&] { g.cursor.SelectIndex("YOK"); }), ZOLVEK_INVALIDINDEXNAME);
    EXPECT_EQ(g.cursor.ActiveIndex(), 2);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "Dal");
}

TEST_F(CursorTest, SequenceNumbersAndMoveToSequenceAgree) {
    GlossaryCursor g(*directory);
    for (int i = 0; i < 300; ++i)
        g.Insert("w" + std::to_string((i * 37) % 101) + "_" + std::to_string(i));
    for (const char* index : { "", "INDEXX" }) {
        g.cursor.SelectIndex(index);
        g.cursor.MoveFirst();
        int32_t expected = 0;
        std::vector<std::string> order;
        while (g.cursor.ReadNext(g.record.data()) == 0) {
            EXPECT_EQ(g.cursor.SequenceNumber(), ++expected);
            order.push_back(g.Word(g.record));
        }
        EXPECT_EQ(expected, 300);
        for (int32_t n = 1; n <= 300; n += 7) {
            ASSERT_TRUE(g.cursor.MoveToSequence(n)) << n;
            EXPECT_EQ(g.cursor.SequenceNumber(), n);
            ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
            EXPECT_EQ(g.Word(g.record), order[size_t(n - 1)]);
        }
        EXPECT_FALSE(g.cursor.MoveToSequence(301));
    }
}

TEST_F(CursorTest, BookmarksOfEqualWordsFindTheirRecord) {
    GlossaryCursor g(*directory);
    g.Insert("kalem", "bir");
    g.Insert("kalem", "iki");
    g.Insert("kalem", "\xFC\xE7");
    g.Insert("silgi", "dort");
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.cursor.ReadNext(g.record.data());
    ASSERT_EQ(g.Explanation(g.record), "iki");
    std::vector<uint8_t> bookmark(g.cursor.BookmarkSize());
    g.cursor.GetBookmark(bookmark.data());
    g.cursor.MoveLast();
    EXPECT_TRUE(g.cursor.GotoBookmark(bookmark.data()));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Explanation(g.record), "iki");

    // Delete it through another cursor: the bookmark now lands on the next key.
    GlossaryCursor other(*directory);
    other.cursor.SelectIndex("INDEXX");
    other.cursor.MoveFirst();
    other.cursor.ReadNext(other.record.data());
    other.cursor.ReadNext(other.record.data());
    other.DeleteCurrent();
    EXPECT_FALSE(g.cursor.GotoBookmark(bookmark.data()));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Explanation(g.record), "\xFC\xE7");
    EXPECT_EQ(g.cursor.RecordCount(), 3);
}

TEST_F(CursorTest, ChangesOfAnotherProcessAreSeenAndTheRecordKept) {
    // Strict change detection checks the table at every operation, not only on a cache miss.
    session->Settings().StrictChangeDetection = true;
    GlossaryCursor g(*directory);
    for (const char* word : { "elma", "kiraz", "nar" })
        g.Insert(word);
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.cursor.ReadNext(g.record.data());
    ASSERT_EQ(g.Word(g.record), "kiraz");
    EXPECT_EQ(g.cursor.SequenceNumber(), 2);
    std::string path = dir.Path();
    ASSERT_EQ(RunInChild([path] {
        TDataEngine engine;
        engine.StartEngine();
        TDataDirectory* directory = engine.CreateSession()->OpenDirectory("db", path, false);
        GlossaryCursor other(*directory);
        other.Insert("armut");
        return 0;
    }),
        0);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kiraz");
    EXPECT_EQ(g.cursor.SequenceNumber(), 3);
    EXPECT_EQ(g.cursor.RecordCount(), 4);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "armut", "elma", "kiraz", "nar" }));
}

TEST_F(CursorTest, EditLocksExcludeOtherSessionsAndProcesses) {
    session->Settings().LockRetryCount = 1;
    session->Settings().LockWaitTime = 10;
    GlossaryCursor g(*directory);
    g.Insert("kalem");
    g.cursor.MoveFirst();
    std::vector<uint8_t> edit(g.cursor.RecordSize());
    ASSERT_EQ(g.cursor.ReadNext(edit.data()), 0);
    ASSERT_EQ(g.cursor.ReadCurrent(edit.data(), true), 0);

    TDataSession* second = engine.CreateSession();
    second->Settings().LockRetryCount = 1;
    second->Settings().LockWaitTime = 10;
    GlossaryCursor other(*second->OpenDirectory("other", dir.Path(), false));
    other.cursor.MoveFirst();
    std::vector<uint8_t> their(other.cursor.RecordSize());
    ASSERT_EQ(other.cursor.ReadNext(their.data()), 0);
    EXPECT_EQ(CodeOf([&] { other.cursor.ReadCurrent(their.data(), true); }), ZOLVEK_RECLOCKFAILED);

    std::string path = dir.Path();
    EXPECT_EQ(RunInChild([path] {
        TDataEngine engine;
        engine.StartEngine();
        TDataSession* session = engine.CreateSession();
        session->Settings().LockRetryCount = 1;
        session->Settings().LockWaitTime = 10;
        GlossaryCursor child(*session->OpenDirectory("db", path, false));
        child.cursor.MoveFirst();
        child.cursor.ReadNext(child.record.data());
        return CodeOf([&] { child.cursor.ReadCurrent(child.record.data(), true); })
                == ZOLVEK_RECLOCKFAILED
            ? 0
            : 1;
    }),
        0);

    // The first edit posts; the other session's copy is now stale.
    std::string word = "kur\xFEun";
    g.cursor.WriteFieldValue(
        kWord, edit.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
    g.cursor.ModifyRecord(edit.data());
    EXPECT_EQ(
        CodeOf([&] { other.cursor.ReadCurrent(their.data(), true); }), ZOLVEK_KEYORRECDELETED);
    ASSERT_EQ(other.cursor.ReadCurrent(their.data()), 0);
    EXPECT_EQ(other.Word(their), word);
}

TEST_F(CursorTest, UniqueViolationChangesNothing) {
    auto definition = GlossaryDefinition();
    definition.SecondaryIndexes[0].Unique = true;
    CreateTable("tekil", definition);
    GlossaryCursor g(*directory, "tekil");
    g.Insert("kalem", "yaz\xFD arac\xFD");
    g.Insert("silgi");
    auto before = std::filesystem::file_size(dir.File("tekil.idx"));
    EXPECT_EQ(CodeOf([&] { g.Insert("KALEM", "ba\xFEka"); }), ZOLVEK_KEYVIOL);
    EXPECT_EQ(g.cursor.TableRecordCount(), 2);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kalem", "silgi" }));
    EXPECT_EQ(std::filesystem::file_size(dir.File("tekil.idx")), before);
    // Changing a record into a duplicate is refused too, and the record stays as it was.
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveLast();
    g.cursor.ReadPrior(g.record.data());
    ASSERT_EQ(g.Word(g.record), "silgi");
    EXPECT_EQ(CodeOf([&] { g.Modify("Kalem"); }), ZOLVEK_KEYVIOL);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kalem", "silgi" }));
}

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

TEST_F(CursorTest, DeletedSlotIsReusedWithANewRecordID) {
    GlossaryCursor g(*directory);
    g.Insert("bir");
    g.Insert("iki");
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    int32_t first_id = RecordIDOf(g.record.data());
    g.DeleteCurrent();
    EXPECT_EQ(g.cursor.RecordCount(), 1);
    uint32_t reused = g.Insert("uc");
    EXPECT_EQ(reused, 1u);
    g.cursor.SelectIndex("");
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "iki", "uc" }));
    g.cursor.MoveLast();
    g.cursor.ReadPrior(g.record.data());
    EXPECT_EQ(RecordIDOf(g.record.data()), first_id + 2);
}

TEST_F(CursorTest, ChangeThatFailsHalfWayLeavesTheTableAsItWas) {
    GlossaryCursor g(*directory);
    g.Insert("bir", "birinci");
    g.Insert("iki", "ikinci");
    // Damage the secondary index: its key of "bir" disappears behind the cursor's back.
    {
        TDataTable& table = g.cursor.Table();
        TIndexKeyInfo keys(1, table.IndexFile().Slots()[1], table.DataFile().Fields(),
            table.LocaleID(), "datalar");
        TIndexTree tree(table.IndexFile(), keys, nullptr);
        TPinned<TRecord> record(table.DataFile().ReadRecord(nullptr, 1));
        std::vector<uint8_t> key(keys.KeyLength());
        keys.BuildKey(record->Data(), key.data());
        record.Reset();
        table.BeginTableWrite();
        tree.DeleteKey(key.data());
        table.FlushTable(false, false, true, false, false);
        table.EndTableWrite();
    }
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    ASSERT_EQ(g.Word(g.record), "bir");
    uint32_t free_blocks_before = uint32_t(g.cursor.Table().BlobFile().Header().FirstFreeBlock);
    EXPECT_EQ(CodeOf([&] { g.DeleteCurrent(); }), ZOLVEK_INDEXCORRUPT);
    // The primary key, the record, its memo and the count are all still there.
    EXPECT_EQ(g.cursor.TableRecordCount(), 2);
    EXPECT_EQ(uint32_t(g.cursor.Table().BlobFile().Header().FirstFreeBlock), free_blocks_before);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "bir", "iki" }));
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    EXPECT_EQ(g.Explanation(g.record), "birinci");
}

TEST_F(CursorTest, DefaultsAndCopyOfTheCurrentRecord) {
    TableDefinition definition;
    definition.Fields.push_back(testing::Field("NO", kTypeInteger, 0, kSubTypeAutoInc));
    definition.Fields.push_back(testing::Field("AD", kTypeString, 20));
    definition.Fields.push_back(testing::Field("NOT", kTypeBlob, 0, kSubTypeMemo));
    definition.Fields.push_back(testing::Field("TARIH", kTypeDateTime));
    definition.Fields[1].DefaultValue = "ads\xFDz";
    definition.Fields[3].DefaultValue = "CURRENT_DATE";
    definition.Fields[1].Required = true;
    CreateTable("kayit", definition);
    TDataCursor cursor(*directory, "kayit");
    cursor.OpenTable();
    std::vector<uint8_t> record(cursor.RecordSize());
    cursor.InitNewRecord(record.data());
    EXPECT_EQ(StringFieldValue(cursor.GetFieldDescriptor(2), record.data()), "ads\xFDz");
    uint8_t stamp[8];
    ASSERT_FALSE(cursor.ReadFieldValue(4, record.data(), stamp));
    EXPECT_EQ(std::fmod(LoadDouble(stamp), 86400000.0), 0.0);
    cursor.OpenBlobField(3, record.data(), TBlobBuffer::bmWrite);
    cursor.WriteBlobBytes(3, record.data(), 0, reinterpret_cast<const uint8_t*>("not"), 3);
    cursor.InsertRecord(record.data());
    cursor.CloseBlobField(3, record.data());
    uint8_t number[4];
    cursor.ReadCurrent(record.data());
    cursor.ReadFieldValue(1, record.data(), number);
    EXPECT_EQ(LoadI32(number), 1);

    std::vector<uint8_t> copy(cursor.RecordSize());
    ASSERT_EQ(cursor.CopyCurrentRecord(copy.data()), 0);
    EXPECT_TRUE(cursor.ReadFieldValue(1, copy.data(), nullptr)); // auto-increment left null
    EXPECT_EQ(cursor.BlobFieldSize(3, copy.data()), 3u);
    cursor.InsertRecord(copy.data());
    cursor.CloseBlobField(3, copy.data());
    cursor.ReadCurrent(record.data());
    cursor.ReadFieldValue(1, record.data(), number);
    EXPECT_EQ(LoadI32(number), 2);
    EXPECT_EQ(cursor.OpenBlobField(3, record.data(), TBlobBuffer::bmRead), 3u);
    cursor.CloseBlobField(3, record.data());

    cursor.ClearRecord(record.data());
    EXPECT_EQ(CodeOf([&] { cursor.InsertRecord(record.data()); }), ZOLVEK_REQDERR);
    EXPECT_EQ(CodeOf([&] { cursor.GetFieldDescriptor(9); }), ZOLVEK_OUTOFRANGE);
    EXPECT_EQ(CodeOf([&] { cursor.FindFieldDescriptor("YOK"); }), ZOLVEK_OUTOFRANGE);
}

} // namespace
} // namespace zolvek

#include "db/cursor/table_verifier.h"

#include <map>
#include <random>

namespace zolvek {
namespace {

// Random inserts, changes and deletes through two cursors of one table, with memos of all
// sizes, checked against a model and by the verifiers.
TEST_F(CursorTest, RandomChangesThroughTwoCursorsKeepTheTableConsistent) {
    testing::GlossaryCursor a(*directory);
    testing::GlossaryCursor b(*directory);
    b.cursor.SelectIndex("INDEXX");
    std::mt19937 random(20261211);
    std::multimap<std::string, std::string> model; // word -> explanation
    auto random_word = [&] {
        static const char* stems[] = { "kalem", "kitap",
            "\xE7"
            "ay",
            "\xFDs\xFDk", "\xDDnci", "defter", "silgi" };
        return std::string(stems[random() % 7]) + std::to_string(random() % 40);
    };
    auto random_memo = [&] {
        size_t size = random() % 4 == 0 ? 0 : random() % 1500;
        std::string text(size, ' ');
        for (char& c : text)
            c = char('a' + random() % 26);
        return text;
    };
    for (int step = 0; step < 2000; ++step) {
        testing::GlossaryCursor& g = (step % 2 == 0) ? a : b;
        int action = int(random() % 10);
        if (model.empty() || action < 5) {
            std::string word = random_word();
            std::string memo = random_memo();
            g.Insert(word, memo);
            model.emplace(word, memo);
            continue;
        }
        // Go to a random record of the cursor's view.
        int32_t n = int32_t(random() % model.size()) + 1;
        ASSERT_TRUE(g.cursor.MoveToSequence(n));
        ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
        std::string word = g.Word(g.record);
        std::string memo = g.Explanation(g.record);
        auto range = model.equal_range(word);
        auto it = std::find_if(
            range.first, range.second, [&](const auto& entry) { return entry.second == memo; });
        ASSERT_NE(it, range.second) << word;
        if (action < 8) {
            std::string new_word = random() % 2 ? word : random_word();
            std::string new_memo = random() % 2 ? memo : random_memo();
            g.Modify(new_word, &new_memo);
            model.erase(it);
            model.emplace(new_word, new_memo);
        } else {
            g.DeleteCurrent();
            model.erase(it);
        }
        if (step % 250 == 249) {
            EXPECT_EQ(VerifyTable(a.cursor.Table()), std::vector<std::string> {}) << step;
        }
    }
    EXPECT_EQ(a.cursor.TableRecordCount(), int32_t(model.size()));
    // Both cursors see every word with its explanation, in their orders.
    std::multimap<std::string, std::string> seen;
    a.cursor.MoveFirst();
    while (a.cursor.ReadNext(a.record.data()) == 0)
        seen.emplace(a.Word(a.record), a.Explanation(a.record));
    std::vector<std::pair<std::string, std::string>> expected(model.begin(), model.end());
    std::vector<std::pair<std::string, std::string>> found(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_TRUE(found == expected)
        << found.size() << " records seen, " << expected.size() << " expected";
    EXPECT_EQ(b.Words().size(), model.size());
    EXPECT_EQ(VerifyTable(b.cursor.Table()), std::vector<std::string> {});
}

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

std::atomic<int> failing_write { 0 };
std::string failing_file;

// Fails the write numbered `failing_write` (counted down) to files whose name ends in
// `failing_file`.
bool FailOneWrite(const std::string& name, size_t count) {
    if (count == 0 || name.size() < failing_file.size()
        || name.compare(name.size() - failing_file.size(), failing_file.size(), failing_file) != 0)
        return true;
    return --failing_write != 0;
}

TEST_F(CursorTest, FailedWriteOfAChangeLeavesTheFilesAsTheyWere) {
    GlossaryCursor g(*directory);
    g.Insert("bir", std::string(1500, 'a'));
    g.Insert("iki", "ikinci");
    for (const char* file : { ".blb", ".idx", ".dat" }) {
        failing_file = file;
        failing_write = 1;
        TPhysicalFile::SetWriteFault(&FailOneWrite);
        EXPECT_EQ(CodeOf([&] { g.Insert("\xFC\xE7", std::string(3000, 'c')); }), ZOLVEK_WRITEERR)
            << file;
        TPhysicalFile::SetWriteFault(nullptr);
        EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {}) << file;
        EXPECT_EQ(g.Words(), (std::vector<std::string> { "bir", "iki" })) << file;
    }
    // Another session reads the files themselves.
    TDataSession* other = engine.CreateSession();
    GlossaryCursor reader(*other->OpenDirectory("other", dir.Path(), false));
    EXPECT_EQ(reader.Words(), (std::vector<std::string> { "bir", "iki" }));
    EXPECT_EQ(VerifyTable(reader.cursor.Table()), std::vector<std::string> {});
    g.Insert("\xFC\xE7", "sonra");
    reader.cursor.RefreshCursor();
    EXPECT_EQ(reader.Words(), (std::vector<std::string> { "bir", "iki", "\xFC\xE7" }));
}

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

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

namespace zolvek {
namespace {

TEST_F(CursorTest, LostIndexFileIsRebuiltFromTheRecords) {
    {
        GlossaryCursor g(*directory);
        for (const char* word : { "kalem", "ayna", "zeytin" })
            g.Insert(word, std::string("a\xE7\xFDklama ") + word);
        g.cursor.MoveFirst();
        g.cursor.ReadNext(g.record.data());
        g.cursor.ReadNext(g.record.data());
        g.DeleteCurrent();
    }
    std::filesystem::remove(dir.File("datalar.idx"));
    GlossaryCursor g(*directory);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kalem", "zeytin" }));
    EXPECT_EQ(g.cursor.RecordCount(), 2);
    EXPECT_EQ(CodeOf([&] { g.cursor.SelectIndex("INDEXX"); }), ZOLVEK_INVALIDINDEXNAME);
    EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {});
    g.Insert("elma");
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kalem", "zeytin", "elma" }));
}

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

TEST_F(CursorTest, RangesOnTheFirstKeyFieldAndEmptyRanges) {
    GlossaryCursor g(*directory);
    for (const char* word : { "armut", "elma", "Ekmek", "erik", "incir",
             "\xE7"
             "ay",
             "ceviz" })
        g.Insert(word);
    // "Harf Grubuna Göre": INDEX then ANAHTAR; a range on the letter alone.
    g.cursor.SelectIndex("ANAHTAR");
    std::vector<uint8_t> bound(g.cursor.RecordSize(), 0);
    g.cursor.WriteFieldValue(
        testing::kLetter, bound.data(), reinterpret_cast<const uint8_t*>("e"), 1);
    g.cursor.SetCursorRange(false, bound.data(), 1, bound.data(), 1);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "Ekmek", "elma", "erik" }));
    EXPECT_EQ(g.cursor.RecordCount(), 3);
    g.cursor.MoveLast();
    ASSERT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "erik");
    EXPECT_EQ(g.cursor.SequenceNumber(), 3);

    // A range whose start lies above its end is empty.
    std::vector<uint8_t> high(g.cursor.RecordSize(), 0);
    g.cursor.WriteFieldValue(
        testing::kLetter, high.data(), reinterpret_cast<const uint8_t*>("z"), 1);
    g.cursor.SetCursorRange(false, high.data(), 1, bound.data(), 1);
    EXPECT_EQ(g.cursor.RecordCount(), 0);
    EXPECT_EQ(g.cursor.ReadNext(g.record.data()), ZOLVEK_EOF);

    // An open start: everything up to the letters "e".
    g.cursor.SetCursorRange(false, nullptr, 0, bound.data(), 1);
    EXPECT_EQ(g.Words().size(), 6u);
    g.cursor.ClearCursorRange();
    EXPECT_EQ(g.cursor.RecordCount(), 7);
    // Changing the index clears the range.
    g.cursor.SetCursorRange(false, bound.data(), 1, bound.data(), 1);
    g.cursor.SelectIndex("INDEXX");
    EXPECT_FALSE(g.cursor.RangeActive());
    EXPECT_EQ(g.Words().size(), 7u);
}

TEST_F(CursorTest, OptimisticEditsFailWhenTheRecordChangedMeanwhile) {
    session->Settings().LockProtocol = lpOptimistic;
    GlossaryCursor first(*directory);
    GlossaryCursor second(*directory);
    first.Insert("kalem");
    for (GlossaryCursor* g : { &first, &second }) {
        g->cursor.MoveFirst();
        ASSERT_EQ(g->cursor.ReadNext(g->record.data()), 0);
        ASSERT_EQ(g->cursor.ReadCurrent(g->record.data(), true), 0);
    }
    std::string word = "kur\xFEun";
    first.cursor.WriteFieldValue(
        kWord, first.record.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
    first.cursor.ModifyRecord(first.record.data());
    second.cursor.WriteFieldValue(
        kWord, second.record.data(), reinterpret_cast<const uint8_t*>("silgi"), 5);
    EXPECT_EQ(
        CodeOf([&] { second.cursor.ModifyRecord(second.record.data()); }), ZOLVEK_KEYORRECDELETED);
    EXPECT_EQ(second.Words(), (std::vector<std::string> { word }));
}

TEST_F(CursorTest, ExclusiveCursorDefersItsWritesToTheClose) {
    {
        TDataCursor cursor(*directory, "datalar");
        cursor.Exclusive = true;
        cursor.OpenTable();
        std::vector<uint8_t> record(cursor.RecordSize());
        for (int i = 0; i < 500; ++i) {
            std::string word = "kelime" + std::to_string(i);
            cursor.InitNewRecord(record.data());
            cursor.WriteFieldValue(
                kWord, record.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
            cursor.InsertRecord(record.data());
        }
        TDataSession* other = engine.CreateSession();
        EXPECT_EQ(CodeOf([&] {
            other->OpenDirectory("o", dir.Path(), false)->AcquireTable("datalar", false, false);
        }),
            ZOLVEK_OSEACCES);
        // Writes wait until the cache needs room, and the last ones until the close.
        EXPECT_LT(std::filesystem::file_size(dir.File("datalar.dat")), 512u + 3 * 768 + 500u * 216);
    }
    GlossaryCursor g(*directory);
    EXPECT_EQ(g.cursor.RecordCount(), 500);
    EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {});
}

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

// Three processes insert, change and delete in one table at the same time; afterwards every
// change is there exactly once and the table is consistent.
TEST_F(CursorTest, ConcurrentWritersInSeveralProcesses) {
    std::string path = dir.Path();
    std::vector<std::unique_ptr<testing::ChildProcess>> writers;
    for (int w = 0; w < 3; ++w) {
        writers.push_back(std::make_unique<testing::ChildProcess>(
            [path, w] {
                TDataEngine engine;
                engine.StartEngine();
                GlossaryCursor g(*engine.CreateSession()->OpenDirectory("db", path, false));
                for (int i = 0; i < 400; ++i) {
                    g.Insert("w" + std::to_string(w) + "_" + std::to_string(i),
                        std::string(300 + i * 7, char('a' + w)));
                    if (i % 10 == 9) {
                        // Delete the first record of this writer that is still there.
                        g.cursor.SelectIndex("INDEXX");
                        std::vector<uint8_t> key(g.cursor.ActiveKeys().KeyLength());
                        std::vector<uint8_t> image(g.cursor.RecordSize(), 0);
                        std::string prefix = "W" + std::to_string(w) + "_";
                        g.cursor.WriteFieldValue(kWord, image.data(),
                            reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size());
                        g.cursor.ActiveKeys().BuildKey(image.data(), key.data());
                        g.cursor.SeekKey(key.data(), true, false, 1 + prefix.size());
                        if (g.cursor.ReadCurrent(g.record.data()) == 0
                            && g.Word(g.record).rfind(prefix.substr(1), 1) == 1)
                            g.DeleteCurrent();
                        g.cursor.SelectIndex("");
                    }
                }
                return 0;
            },
            120));
    }
    for (auto& writer : writers)
        EXPECT_EQ(writer->Join(), 0);
    GlossaryCursor g(*directory);
    EXPECT_EQ(g.cursor.RecordCount(), 3 * (400 - 40));
    EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {});
    std::map<char, int> per_writer;
    g.cursor.MoveFirst();
    while (g.cursor.ReadNext(g.record.data()) == 0) {
        std::string word = g.Word(g.record);
        ++per_writer[word[1]];
        EXPECT_EQ(g.Explanation(g.record)[0], char('a' + (word[1] - '0'))) << word;
    }
    EXPECT_EQ(per_writer, (std::map<char, int> { { '0', 360 }, { '1', 360 }, { '2', 360 } }));
}

} // namespace
} // namespace zolvek
