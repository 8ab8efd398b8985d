// Inserts, changes and deletes through cursors: unique checks, slot reuse, defaults, edits,
// deferred writes and changes that fail half-way.
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
