// Finding records by value: through an index (Turkish letter case, partial values, several
// fields, NULLs, compound and non-unique indexes) or through a temporary filter (no fitting
// index, a range on another index), inside filtered views, and back where the cursor stood when
// nothing matches.
#include "cursor_fixture.h"

#include "db/base/bytes.h"
#include "db/storage/records.h"

#include <gtest/gtest.h>

namespace zolvek {
namespace {

using testing::EngineFixture;
using testing::Field;
using testing::GlossaryCursor;
using testing::GlossaryDefinition;
using testing::kLetter;
using testing::kWord;

const std::vector<std::string> kWords = { "kalem", "Kalemler", "KALEM", "kale", "ayna", "kar",
    "Karpuz", "kitap", "\xFDl\xFDk", "Irmak", "ila\xE7", "\xDDnci", "zeytin", "elma" };

class CursorLocate : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        CreateTable("datalar", GlossaryDefinition());
    }

    // The dataset's Locate on ANAHTAR: partial length = the length of the text when asked.
    static bool Locate(GlossaryCursor& g, const std::string& word, bool ci, bool partial) {
        std::vector<uint8_t> values(g.cursor.RecordSize(), 0);
        g.cursor.WriteFieldValue(
            kWord, values.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
        int32_t field = kWord;
        std::fill(g.record.begin(), g.record.end(), 0xEE);
        return g.cursor.LocateRecord(std::span<const int32_t>(&field, 1), values.data(), ci,
            partial ? word.size() : 0, g.record.data());
    }

    static std::string Current(GlossaryCursor& g) {
        std::vector<uint8_t> image(g.cursor.RecordSize());
        return g.cursor.ReadCurrent(image.data()) == 0 ? g.Word(image) : "<none>";
    }
};

TEST_F(CursorLocate, TurkishPrefixIgnoringCaseThroughTheIndex) {
    GlossaryCursor g(*directory);
    for (const std::string& word : kWords)
        g.Insert(word);
    // The primary order is the order of insertion; INDEXX answers, the cursor stays in order.
    struct Case {
        std::string text;
        std::string found;
    };
    const std::vector<Case> cases = {
        { "\xFD", "\xFDl\xFDk" }, // ı: ılık and Irmak, ılık first
        { "I", "\xFDl\xFDk" },
        { "IR", "Irmak" },
        { "i", "ila\xE7" }, // i goes with İ: ilaç and İnci
        { "\xDDN", "\xDDnci" },
        { "kal", "kale" }, // the smallest word of those that begin with kal
        { "KALEML", "Kalemler" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Locate(g, c.text, true, true));
        EXPECT_EQ(g.Word(g.record), c.found);
        EXPECT_EQ(Current(g), c.found);
        size_t position = size_t(std::find(kWords.begin(), kWords.end(), c.found) - kWords.begin());
        EXPECT_EQ(g.cursor.SequenceNumber(), int32_t(position + 1));
    }
    // Whole values: the first equal one in INDEXX order (kalem before KALEM by RecordID).
    ASSERT_TRUE(Locate(g, "KaLeM", true, false));
    EXPECT_EQ(g.Word(g.record), "kalem");
    EXPECT_FALSE(Locate(g, "kalemle", true, false));
}

TEST_F(CursorLocate, NothingFoundLeavesTheCursorWhereItWas) {
    GlossaryCursor g(*directory);
    for (const std::string& word : kWords)
        g.Insert(word);
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveFirst();
    while (g.cursor.ReadNext(g.record.data()) == 0 && g.Word(g.record) != "kar") { }
    int32_t sequence = g.cursor.SequenceNumber();
    for (bool ci : { true, false }) { // the index path, and the filter path
        SCOPED_TRACE(ci);
        std::vector<uint8_t> before = g.record;
        EXPECT_FALSE(Locate(g, "yok", ci, true));
        EXPECT_TRUE(
            std::all_of(g.record.begin(), g.record.end(), [](uint8_t b) { return b == 0xEE; }));
        EXPECT_EQ(Current(g), "kar");
        EXPECT_EQ(g.cursor.SequenceNumber(), sequence);
        EXPECT_EQ(g.cursor.FilterCount(), 0u);
        EXPECT_EQ(g.cursor.RecordCount(), int32_t(kWords.size()));
    }
    // Before the first record: still there.
    g.cursor.MoveFirst();
    EXPECT_FALSE(Locate(g, "yok", true, true));
    EXPECT_TRUE(g.cursor.Bof());
    ASSERT_EQ(g.cursor.ReadNext(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "ayna");
}

TEST_F(CursorLocate, WithoutAFittingIndexTheFirstInTheActiveOrder) {
    GlossaryCursor g(*directory);
    for (const std::string& word : kWords)
        g.Insert(word);
    // Case-sensitive: no index keeps the case of ANAHTAR, so a filter finds it.
    ASSERT_TRUE(Locate(g, "Kal", false, true));
    EXPECT_EQ(g.Word(g.record), "Kalemler");
    ASSERT_TRUE(Locate(g, "KALEM", false, false));
    EXPECT_EQ(g.Word(g.record), "KALEM");
    EXPECT_EQ(g.cursor.SequenceNumber(), 3);
    EXPECT_FALSE(Locate(g, "KALE", false, false));
    EXPECT_EQ(Current(g), "KALEM");
    EXPECT_EQ(g.cursor.FilterCount(), 0u);
}

TEST_F(CursorLocate, InsideAFilteredViewAndARange) {
    GlossaryCursor g(*directory);
    for (const std::string& word : kWords)
        g.Insert(word);
    TFilterDefinition definition;
    definition.expression = "[ANAHTAR]='k*'";
    definition.case_insensitive = true;
    g.cursor.ActivateFilter(g.cursor.CreateFilter(std::move(definition)));
    EXPECT_FALSE(Locate(g, "elma", true, false)); // there, but filtered out
    EXPECT_FALSE(Locate(g, "elma", false, false));
    ASSERT_TRUE(Locate(g, "kit", false, true));
    EXPECT_EQ(g.Word(g.record), "kitap");
    EXPECT_EQ(g.cursor.FilterCount(), 1u);
    EXPECT_EQ(g.cursor.RecordCount(), 7);

    // A range on the letter index: INDEXX does not know it, a filter within the range does.
    g.cursor.FreeFilter();
    g.cursor.SelectIndex("ANAHTAR");
    std::vector<uint8_t> bound(g.cursor.RecordSize(), 0);
    g.cursor.WriteFieldValue(kLetter, bound.data(), reinterpret_cast<const uint8_t*>("k"), 1);
    g.cursor.SetCursorRange(false, bound.data(), 1, bound.data(), 1);
    EXPECT_FALSE(Locate(g, "ayna", true, false));
    ASSERT_TRUE(Locate(g, "KAR", true, true));
    EXPECT_EQ(g.Word(g.record), "kar");
    EXPECT_EQ(g.cursor.RecordCount(), 7);
}

TEST_F(CursorLocate, SeveralFieldsNullsAndCompoundIndexes) {
    TableDefinition definition;
    definition.Fields
        = { Field("A", kTypeInteger), Field("B", kTypeInteger), Field("S", kTypeString, 5) };
    definition.PrimaryIndex.Fields = { 1, 2 };
    IndexDefinition by_text;
    by_text.Name = "BYS";
    by_text.Fields = { 3 };
    definition.SecondaryIndexes.push_back(by_text);
    CreateTable("pairs", definition);
    TDataCursor cursor(*directory, "pairs");
    cursor.OpenTable();
    std::vector<uint8_t> record(cursor.RecordSize());
    auto fill = [&](std::vector<uint8_t>& image, std::optional<int32_t> a, std::optional<int32_t> b,
                    const char* s) {
        cursor.ClearRecord(image.data());
        uint8_t value[4];
        if (a) {
            StoreI32(value, *a);
            cursor.WriteFieldValue(1, image.data(), value, 4);
        }
        if (b) {
            StoreI32(value, *b);
            cursor.WriteFieldValue(2, image.data(), value, 4);
        }
        if (s)
            cursor.WriteFieldValue(3, image.data(), reinterpret_cast<const uint8_t*>(s), strlen(s));
    };
    struct Row {
        std::optional<int32_t> a, b;
        const char* s;
    };
    const std::vector<Row> rows = { { 2, 2, "x" }, { 1, 2, "y" }, { 2, 1, nullptr }, { 1, 1, "x" },
        { 3, std::nullopt, "z" } };
    for (const Row& row : rows) {
        fill(record, row.a, row.b, row.s);
        cursor.InsertRecord(record.data());
    }
    auto locate = [&](std::vector<int32_t> fields, std::optional<int32_t> a,
                      std::optional<int32_t> b, const char* s) -> int {
        std::vector<uint8_t> values(cursor.RecordSize());
        fill(values, a, b, s);
        if (!cursor.LocateRecord(fields, values.data(), false, 0, record.data()))
            return -1;
        for (size_t i = 0; i < rows.size(); ++i) {
            std::vector<uint8_t> image(cursor.RecordSize());
            fill(image, rows[i].a, rows[i].b, rows[i].s);
            if (std::memcmp(image.data() + kRecordHeaderSize, record.data() + kRecordHeaderSize,
                    image.size() - kRecordHeaderSize)
                == 0)
                return int(i);
        }
        return -2;
    };
    // The first field of the two-field primary key: the first pair with A = 1 in key order.
    EXPECT_EQ(locate({ 1 }, 1, std::nullopt, nullptr), 3);
    EXPECT_EQ(locate({ 1, 2 }, 2, 2, nullptr), 0);
    EXPECT_EQ(locate({ 1, 2 }, 3, std::nullopt, nullptr), 4); // a NULL searches for NULL
    EXPECT_EQ(locate({ 1, 2 }, 2, 3, nullptr), -1);
    // A non-unique index: the lowest RecordID among equal values, NULL included.
    EXPECT_EQ(locate({ 3 }, std::nullopt, std::nullopt, "x"), 0);
    EXPECT_EQ(locate({ 3 }, std::nullopt, std::nullopt, nullptr), 2);
    // No index leads with B: the first in the active (primary) order.
    EXPECT_EQ(locate({ 2 }, std::nullopt, 2, nullptr), 1);
    EXPECT_EQ(locate({ 2, 3 }, std::nullopt, 1, "x"), 3);
    EXPECT_EQ(locate({ 2, 3 }, std::nullopt, 1, "y"), -1);
    EXPECT_EQ(cursor.FindIndexForFields(std::vector<int32_t> { 1, 2 }, true), 0);
    EXPECT_EQ(cursor.FindIndexForFields(std::vector<int32_t> { 3 }, false), 1);
    EXPECT_EQ(cursor.FindIndexForFields(std::vector<int32_t> { 3 }, true), -1);
    EXPECT_EQ(cursor.FindIndexForFields(std::vector<int32_t> { 2 }, false), -1);
}

} // namespace
} // namespace zolvek
