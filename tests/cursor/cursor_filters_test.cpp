// Cursor filters, ranges and record counts on the glossary table: index-answered prefixes,
// callbacks restricted to earlier filters, the sorted key list of small views, errors that
// change nothing, and views that follow the changes of this cursor, another cursor and another
// process.
#include "cursor_fixture.h"

#include "db/storage/records.h"

#include <gtest/gtest.h>
#include <set>

namespace zolvek {
namespace {

using testing::CodeOf;
using testing::EngineFixture;
using testing::Field;
using testing::GlossaryCursor;
using testing::GlossaryDefinition;
using testing::kLetter;
using testing::kWord;
using testing::RunInChild;

TFilter* ExpressionFilter(TDataCursor& cursor, const std::string& text, bool ci = true) {
    TFilterDefinition definition;
    definition.expression = text;
    definition.case_insensitive = ci;
    definition.estimate = true;
    return cursor.CreateFilter(std::move(definition));
}

// Accepts the records whose key word ends in `letter`, and notes every word it is asked about.
TFilter* EndsWithFilter(GlossaryCursor& g, char letter, std::vector<std::string>* asked) {
    TFilterDefinition definition;
    definition.restrict_to_earlier = true;
    definition.callback = [&g, letter, asked](void*, size_t size, const uint8_t* record, uint32_t) {
        std::vector<uint8_t> image(record, record + size);
        std::string word = g.Word(image);
        if (asked != nullptr)
            asked->push_back(word);
        return !word.empty() && word.back() == letter;
    };
    return g.cursor.CreateFilter(std::move(definition));
}

uint64_t DataReads(GlossaryCursor& g) {
    return g.cursor.Table().DataFile().Stats().requests;
}

const std::vector<std::string> kWords = { "kalem", "Kalemler", "KALEM", "kale", "ayna", "kar",
    "Karpuz", "kitap", "\xFDl\xFDk", "Irmak", "ila\xE7", "\xDDnci", "zeytin", "elma" };

class CursorFilters : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        CreateTable("datalar", GlossaryDefinition());
    }
    void InsertWords(GlossaryCursor& g, const std::vector<std::string>& words = kWords) {
        for (const std::string& word : words)
            g.Insert(word);
    }
};

TEST_F(CursorFilters, PrefixOfACaseInsensitiveIndexReadsNoRecords) {
    // Three tables: a case-insensitive index on the word, none on it, a case-sensitive one.
    TableDefinition without = GlossaryDefinition();
    without.SecondaryIndexes.erase(without.SecondaryIndexes.begin());
    TableDefinition sensitive = GlossaryDefinition();
    sensitive.SecondaryIndexes[0].CaseInsensitive = false;
    CreateTable("without", without);
    CreateTable("sensitive", sensitive);
    for (const char* table : { "datalar", "without", "sensitive" }) {
        SCOPED_TRACE(table);
        GlossaryCursor g(*directory, table);
        InsertWords(g);
        uint64_t before = DataReads(g);
        TFilter* filter = ExpressionFilter(g.cursor, "[ANAHTAR]='kal*'");
        g.cursor.ActivateFilter(filter);
        uint64_t reads = DataReads(g) - before;
        EXPECT_EQ(g.cursor.RecordCount(), 4);
        std::vector<std::string> words = g.Words();
        EXPECT_EQ(std::multiset<std::string>(words.begin(), words.end()),
            (std::multiset<std::string> { "kalem", "Kalemler", "KALEM", "kale" }));
        if (std::string(table) == "datalar") {
            EXPECT_EQ(filter->FilterLevel(), 2);
            // Only the record the cursor stands on afterwards.
            EXPECT_LE(reads, 2u);
        } else {
            EXPECT_EQ(filter->FilterLevel(), 0);
            EXPECT_GE(reads, kWords.size());
        }
    }
}

TEST_F(CursorFilters, TurkishLettersFoldUnderTheTablesLocale) {
    GlossaryCursor g(*directory);
    InsertWords(g);
    g.cursor.SelectIndex("INDEXX");
    // Dotless ı goes with I, dotted i with İ.
    TFilter* dotless = ExpressionFilter(g.cursor, "[ANAHTAR]='\xFD*'");
    g.cursor.ActivateFilter(dotless);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "\xFDl\xFDk", "Irmak" }));
    g.cursor.FreeFilter(dotless);
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='\xDD*'"));
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "ila\xE7", "\xDDnci" }));
    // Without the option the case counts.
    g.cursor.FreeFilter();
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='Kal*'", false));
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "Kalemler" }));
}

TEST_F(CursorFilters, RestrictedCallbackSeesOnlyWhatEarlierFiltersAccept) {
    GlossaryCursor g(*directory);
    InsertWords(g);
    std::vector<std::string> asked;
    auto seen = [&] { return std::set<std::string>(asked.begin(), asked.end()); };
    TFilter* callback = EndsWithFilter(g, 'k', &asked);
    TFilter* dotless = ExpressionFilter(g.cursor, "[ANAHTAR]='\xFD*'"); // goes before it
    g.cursor.ActivateFilter(dotless);
    g.cursor.ActivateFilter(callback);
    EXPECT_EQ(seen(), (std::set<std::string> { "\xFDl\xFDk", "Irmak" }));
    EXPECT_EQ(g.cursor.RecordCount(), 2);

    // The expression is replaced: the callback is asked about the records the new one lets
    // in, which it was never asked about, and about no other.
    asked.clear();
    TFilter* prefix = ExpressionFilter(g.cursor, "[ANAHTAR]='ka*'");
    g.cursor.ActivateFilter(prefix);
    g.cursor.FreeFilter(dotless);
    EXPECT_EQ(
        seen(), (std::set<std::string> { "kalem", "Kalemler", "KALEM", "kale", "kar", "Karpuz" }));
    EXPECT_EQ(g.cursor.RecordCount(), 0);
    asked.clear();
    g.cursor.FreeFilter(prefix);
    // (and about the record the cursor stands on, as navigation reaches it)
    std::set<std::string> now = seen();
    for (const char* word : { "ayna", "kitap", "ila\xE7", "\xDDnci", "zeytin", "elma" })
        EXPECT_EQ(now.count(word), 1u) << word;
    for (const char* word : { "kalem", "Karpuz", "Irmak" })
        EXPECT_EQ(now.count(word), 0u) << word;
    EXPECT_EQ(g.cursor.RecordCount(), 2);
    std::vector<std::string> words = g.Words();
    EXPECT_EQ(std::multiset<std::string>(words.begin(), words.end()),
        (std::multiset<std::string> { "\xFDl\xFDk", "Irmak" }));
    g.cursor.DeactivateFilter(callback);
    EXPECT_FALSE(g.cursor.FiltersActive());
    EXPECT_EQ(g.cursor.RecordCount(), int32_t(kWords.size()));
}

TEST_F(CursorFilters, AFilterThatAcceptsNothingGivesAnEmptyView) {
    GlossaryCursor g(*directory);
    InsertWords(g);
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='yok*'"));
    EXPECT_EQ(g.cursor.RecordCount(), 0);
    g.cursor.MoveFirst();
    EXPECT_EQ(g.cursor.ReadNext(g.record.data()), ZOLVEK_EOF);
    EXPECT_EQ(g.cursor.ReadCurrent(g.record.data()), ZOLVEK_NOCURRREC);
    EXPECT_EQ(g.cursor.SequenceNumber(), 0);
    EXPECT_EQ(g.cursor.TableRecordCount(), int32_t(kWords.size()));
}

TEST_F(CursorFilters, SmallViewsKeepASortedKeyList) {
    GlossaryCursor g(*directory);
    std::vector<std::string> words;
    for (int i = 0; i < 400; ++i)
        words.push_back((i % 97 == 0 ? "nadir" : "kelime") + std::to_string((i * 37) % 400));
    InsertWords(g, words);
    g.cursor.SelectIndex("INDEXX");
    // 5 of 400 records: above 1 %, no list.
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='nadir*'"));
    EXPECT_EQ(g.cursor.KeyListSize(), 0u);
    std::vector<std::string> walked = g.Words();
    engine.Settings().TableFilterIndexThreshhold = 2;
    g.cursor.FreeFilter();
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='nadir*'"));
    EXPECT_EQ(g.cursor.KeyListSize(), 5u);
    EXPECT_EQ(g.Words(), walked);
    EXPECT_EQ(walked.size(), 5u);
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
    // Positions by sequence number and by bookmark work from the list.
    g.cursor.MoveLast();
    ASSERT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
    int32_t last = g.cursor.SequenceNumber();
    std::vector<uint8_t> bookmark(g.cursor.BookmarkSize());
    g.cursor.GetBookmark(bookmark.data());
    g.cursor.MoveFirst();
    EXPECT_TRUE(g.cursor.MoveToSequence(last));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), walked.back());
    g.cursor.MoveFirst();
    EXPECT_TRUE(g.cursor.GotoBookmark(bookmark.data()));
    // This cursor's changes keep the list in order.
    g.Insert("nadir0a");
    EXPECT_EQ(g.cursor.KeyListSize(), 6u);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "nadir0a");
    g.DeleteCurrent();
    EXPECT_EQ(g.cursor.KeyListSize(), 5u);
    EXPECT_EQ(g.Words(), walked);
}

TEST_F(CursorFilters, ErrorsLeaveTheFiltersAndTheViewAsTheyWere) {
    GlossaryCursor g(*directory);
    InsertWords(g);
    g.cursor.SelectIndex("INDEXX");
    TFilter* filter = ExpressionFilter(g.cursor, "[ANAHTAR]='k*'");
    g.cursor.ActivateFilter(filter);
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.cursor.ReadNext(g.record.data());
    std::string current = g.Word(g.record);
    int32_t count = g.cursor.RecordCount();

    try {
        ExpressionFilter(g.cursor, "[ANAHTAR] = 'abc");
        ADD_FAILURE() << "a syntax error was accepted";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_INVALIDFILTER);
        EXPECT_NE(std::string(error.what()).find("at line 1, column 13"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(CodeOf([&] { ExpressionFilter(g.cursor, "[YOK] = 1"); }), ZOLVEK_INVALIDFILTER);
    EXPECT_EQ(CodeOf([&] { g.cursor.CreateFilter(TFilterDefinition()); }), ZOLVEK_INVALIDFILTER);
    EXPECT_EQ(g.cursor.FilterCount(), 1u);
    EXPECT_EQ(g.cursor.RecordCount(), count);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), current);

    TFilter* spare = ExpressionFilter(g.cursor, "[ANAHTAR]='a*'");
    g.cursor.FreeFilter(spare);
    EXPECT_EQ(CodeOf([&] { g.cursor.ActivateFilter(spare); }), ZOLVEK_NOSUCHFILTER);
    EXPECT_EQ(CodeOf([&] { g.cursor.FreeFilter(spare); }), ZOLVEK_NOSUCHFILTER);
    for (int i = 1; i < 64; ++i)
        ExpressionFilter(g.cursor, "[ANAHTAR]='a*'");
    EXPECT_EQ(CodeOf([&] { ExpressionFilter(g.cursor, "[ANAHTAR]='a*'"); }), ZOLVEK_INTERNALLIMIT);
    EXPECT_EQ(g.cursor.RecordCount(), count);
}

TEST_F(CursorFilters, SequenceNumbersCountTheRecordsFiltersHide) {
    GlossaryCursor g(*directory);
    InsertWords(g); // primary order: the order of insertion
    // Hides kalem (1), KALEM (3) and everything from ayna (5) on but kar (6) and kitap (8).
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor,
        "[ANAHTAR] <> 'kalem' AND [ANAHTAR]='k*'"
        " AND [ANAHTAR] <> 'karpuz'"));
    g.cursor.MoveFirst();
    ASSERT_EQ(g.cursor.ReadNext(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "Kalemler");
    EXPECT_EQ(g.cursor.SequenceNumber(), 2);
    EXPECT_FALSE(g.cursor.MoveToSequence(1));
    EXPECT_TRUE(g.cursor.Bof());
    // A hidden position leads to the next visible record.
    EXPECT_FALSE(g.cursor.MoveToSequence(5));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kar");
    EXPECT_EQ(g.cursor.SequenceNumber(), 6);
    EXPECT_TRUE(g.cursor.MoveToSequence(8));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kitap");
    EXPECT_FALSE(g.cursor.MoveToSequence(9));
    EXPECT_TRUE(g.cursor.Eof());
    EXPECT_EQ(g.cursor.RecordCount(), 4);
}

TEST_F(CursorFilters, RangeAndFilterTogether) {
    GlossaryCursor g(*directory);
    InsertWords(g);
    g.cursor.SelectIndex("ANAHTAR"); // letter, then word
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR] <> 'kar'"));
    std::vector<uint8_t> bound(g.cursor.RecordSize(), 0);
    g.cursor.WriteFieldValue(kLetter, bound.data(), reinterpret_cast<const uint8_t*>("k"), 1);
    g.cursor.SetCursorRange(false, bound.data(), 1, bound.data(), 1);
    // k-words without "kar": kalem, Kalemler, KALEM, kale, Karpuz, kitap.
    EXPECT_EQ(g.cursor.RecordCount(), 6);
    EXPECT_EQ(g.Words().size(), 6u);
    g.cursor.SelectIndex("INDEXX"); // no range any more; the filter stays
    EXPECT_EQ(g.cursor.RecordCount(), int32_t(kWords.size()) - 1);
    g.cursor.ClearCursorRange();
    EXPECT_EQ(g.Words().size(), kWords.size() - 1);
}

TEST_F(CursorFilters, ChangesOfThisCursorKeepTheViewCurrent) {
    GlossaryCursor g(*directory);
    InsertWords(g);
    g.cursor.SelectIndex("INDEXX");
    std::vector<std::string> asked;
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='ka*'"));
    g.cursor.ActivateFilter(EndsWithFilter(g, 'z', &asked)); // Karpuz
    EXPECT_EQ(g.cursor.RecordCount(), 1);
    g.Insert("kabuz"); // accepted by both
    EXPECT_EQ(g.cursor.RecordCount(), 2);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kabuz");
    g.Insert("demiz"); // outside: the cursor stays in the view
    EXPECT_EQ(g.cursor.RecordCount(), 2);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record).substr(0, 2), "ka");
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kabuz", "Karpuz" }));
    // An edit that moves a record within the view, and one that takes it out.
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.Modify("kayuz");
    EXPECT_EQ(g.cursor.RecordCount(), 2);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kayuz");
    EXPECT_EQ(g.cursor.SequenceNumber(), 14); // of all 16 records
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "Karpuz", "kayuz" }));
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.Modify("karpuzlar");
    EXPECT_EQ(g.cursor.RecordCount(), 1);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kayuz" }));

    // Deleting the last record of the view: one fewer, no filter asked about the other
    // records, and the cursor after the previous visible one.
    g.Insert("kaz");
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "kayuz", "kaz" }));
    g.cursor.MoveLast();
    ASSERT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
    ASSERT_EQ(g.Word(g.record), "kaz");
    asked.clear();
    g.DeleteCurrent();
    EXPECT_EQ(g.cursor.RecordCount(), 1);
    EXPECT_TRUE(g.cursor.Eof());
    EXPECT_LE(asked.size(), 2u); // only the records navigation reached
    EXPECT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kayuz");
}

TEST_F(CursorFilters, ChangesOfAnotherCursorAreSeenAtTheNextOperation) {
    GlossaryCursor g(*directory);
    InsertWords(g);
    g.cursor.SelectIndex("INDEXX");
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='k*'"));
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.cursor.ReadNext(g.record.data());
    std::string current = g.Word(g.record); // the second k-word
    ASSERT_EQ(g.cursor.RecordCount(), 7);

    GlossaryCursor other(*directory);
    other.Insert("kabak"); // before the current record, in the view
    other.Insert("armut"); // outside
    other.cursor.SelectIndex("INDEXX");
    other.cursor.MoveFirst();
    while (other.cursor.ReadNext(other.record.data()) == 0 && other.Word(other.record) != "kitap") {
    }
    other.DeleteCurrent(); // in the view, after the current record

    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), current);
    EXPECT_EQ(g.cursor.RecordCount(), 7);
    std::vector<std::string> words = g.Words();
    EXPECT_EQ(words.front(), "kabak");
    EXPECT_EQ(std::count(words.begin(), words.end(), "kitap"), 0);
}

TEST_F(CursorFilters, ChangesOfAnotherProcessAreSeenAtTheNextOperation) {
    session->Settings().StrictChangeDetection = true;
    GlossaryCursor g(*directory);
    InsertWords(g);
    g.cursor.SelectIndex("INDEXX");
    g.cursor.ActivateFilter(ExpressionFilter(g.cursor, "[ANAHTAR]='ka*'"));
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.cursor.ReadNext(g.record.data());
    std::string current = g.Word(g.record);
    ASSERT_EQ(g.cursor.RecordCount(), 6);
    std::string path = dir.Path();
    ASSERT_EQ(RunInChild([path] {
        TDataEngine engine;
        engine.StartEngine();
        GlossaryCursor child(*engine.CreateSession()->OpenDirectory("db", path, false));
        child.Insert("Kabak");
        child.Insert("zil");
        for (const char* target : { "Karpuz", "ayna" }) {
            child.cursor.MoveFirst();
            while (child.cursor.ReadNext(child.record.data()) == 0) {
                if (child.Word(child.record) != target)
                    continue;
                if (std::string(target) == "ayna")
                    child.Modify("kaya");
                else
                    child.DeleteCurrent();
                break;
            }
        }
        return 0;
    }),
        0);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), current);
    EXPECT_EQ(g.cursor.RecordCount(), 7);
    std::vector<std::string> words = g.Words();
    std::multiset<std::string> set(words.begin(), words.end());
    EXPECT_EQ(set,
        (std::multiset<std::string> {
            "Kabak", "kale", "kalem", "Kalemler", "KALEM", "kar", "kaya" }));
}

TEST_F(CursorFilters, ALongScanLetsWritersIn) {
    GlossaryCursor g(*directory);
    for (int i = 0; i < 400; ++i)
        g.Insert("kelime" + std::to_string(i));
    testing::Signal write_now;
    testing::Signal written;
    std::string path = dir.Path();
    testing::ChildProcess writer([&] {
        write_now.Wait();
        TDataEngine engine;
        engine.StartEngine();
        GlossaryCursor child(*engine.CreateSession()->OpenDirectory("db", path, false));
        child.Insert("yeni");
        written.Send();
        return 0;
    });
    // Halfway through the callback's scan the other process writes; the scan has given up
    // its read lock by then, so the write goes through while the scan waits for it.
    int seen = 0;
    bool writer_got_in = false;
    TFilterDefinition definition;
    definition.callback = [&](void*, size_t, const uint8_t*, uint32_t) {
        if (++seen == 200) {
            write_now.Send();
            writer_got_in = written.WaitFor(10'000);
        }
        return true;
    };
    g.cursor.ActivateFilter(g.cursor.CreateFilter(std::move(definition)));
    EXPECT_TRUE(writer_got_in);
    EXPECT_EQ(writer.Join(), 0);
    // The next operation sees the new record.
    EXPECT_EQ(g.cursor.RecordCount(), 401);
    EXPECT_EQ(g.Words().size(), 401u);
}

} // namespace
} // namespace zolvek
