// Navigation of a view: the ends, the Turkish order, index switches and ranges.
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
