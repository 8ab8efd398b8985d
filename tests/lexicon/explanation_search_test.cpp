#include "app/lexicon/explanation_search.h"
#include "app/lexicon/glossary_source.h"
#include "glossary_fixture.h"

#include <gtest/gtest.h>

namespace zendo::lexicon::testing {
namespace {

class ExplanationSearchTest : public GlossaryFixture {
protected:
    TExplanationIndex index;

    void SetUp() override {
        GlossaryFixture::SetUp();
        InsertAll({
            { "ayna", "Görüntü yansıtan cam. Kitap okurken değil." },
            { "kitap", "Ciltli, basılı yapıt." },
            { "kitaplık", "Kitapların dizildiği raf; KİTAP dolabı." },
            { "raf", "Duvara takılan tahta." },
            { "ışık", "Aydınlık veren IŞIN." },
            { "Ankara", "Türkiye'nin başkenti; Ankara'da meclis var." },
        });
        Build();
    }

    void Build() {
        index.BeginBuild();
        ScanGlossary(*directory, "datalar", true, [&](const TGlossaryRecord& record) {
            index.AddRecord(record.record, record.key_word, record.explanation);
        });
        index.EndBuild();
    }

    std::vector<std::string> Rows(const std::string& text, size_t limit = 20) {
        TExplanationResult result = index.Search(Utf8ToCp1254(text), limit);
        std::vector<std::string> rows;
        for (const TExplanationHit& hit : result.rows)
            rows.push_back(Cp1254ToUtf8(hit.key_word));
        EXPECT_EQ(result.count, result.records.CountBits());
        EXPECT_EQ(rows.size(), std::min<size_t>(limit == 0 ? result.count : limit, result.count));
        return rows;
    }
};

TEST_F(ExplanationSearchTest, FindsWordsThatOccurOnlyInExplanations) {
    EXPECT_EQ(Rows("yansıtan"), (std::vector<std::string> { "ayna" }));
    EXPECT_EQ(Rows("tahta"), (std::vector<std::string> { "raf" }));
    EXPECT_TRUE(Rows("yansıtmayan").empty());
}

TEST_F(ExplanationSearchTest, RanksKeyWordMatchesFirst) {
    // "kitap" begins words of three records; the key words that hold it come first, in key-word
    // order, then the one that has it only in its explanation.
    EXPECT_EQ(Rows("kitap"), (std::vector<std::string> { "kitap", "kitaplık", "ayna" }));
    EXPECT_EQ(Rows("kitap", 1), (std::vector<std::string> { "kitap" }));
    // More typed words in the key word rank higher.
    EXPECT_EQ(Rows("kitap raf"), (std::vector<std::string> { "kitaplık" }));
}

TEST_F(ExplanationSearchTest, EveryTypedWordUnderTurkishCaseFolding) {
    EXPECT_EQ(Rows("IŞIN"), (std::vector<std::string> { "ışık" }));
    EXPECT_EQ(Rows("ışın aydınlık"), (std::vector<std::string> { "ışık" }));
    EXPECT_TRUE(Rows("isin").empty()); // ı and i are different letters
    EXPECT_TRUE(Rows("ışın tahta").empty());
    // The apostrophe separates the suffix: "Ankara'da" holds the word "ankara".
    EXPECT_EQ(Rows("başkent ankara"), (std::vector<std::string> { "Ankara" }));
    EXPECT_EQ(Rows("  ,;  ").size(), 0u);
    TExplanationResult nothing = index.Search("");
    EXPECT_TRUE(nothing.words.empty());
    EXPECT_EQ(nothing.count, 0u);
}

TEST_F(ExplanationSearchTest, TheAnswerFiltersTheGlossaryCursor) {
    TExplanationResult result = index.Search(Utf8ToCp1254("kitap"));
    ASSERT_EQ(result.count, 3u);
    writer->SelectIndex("INDEXX");
    zolvek::TFilter* filter = writer->CreateFilter(RecordsFilter(result.records));
    writer->ActivateFilter(filter);
    EXPECT_EQ(writer->RecordCount(), 3);
    std::vector<std::string> seen;
    std::vector<uint8_t> record(writer->RecordSize());
    writer->MoveFirst();
    while (writer->ReadNext(record.data()) == 0) {
        seen.push_back(Cp1254ToUtf8(std::string(zolvek::StringFieldValue(
            writer->GetFieldDescriptor(zolvek::kGlossaryWord), record.data()))));
    }
    EXPECT_EQ(seen, (std::vector<std::string> { "ayna", "kitap", "kitaplık" }));
    writer->FreeFilter(filter);
    EXPECT_EQ(writer->RecordCount(), 6);
}

TEST_F(ExplanationSearchTest, FollowsChangedAndDeletedRecords) {
    uint32_t added = Insert("lamba", "Işık veren alet.");
    index.UpdateRecord(added, "lamba", Utf8ToCp1254("Işık veren alet."), zolvek::kTurkishLocale);
    EXPECT_EQ(Rows("veren"), (std::vector<std::string> { "ışık", "lamba" }));

    // The explanation of "raf" changes: the old words go, the new ones come.
    std::vector<TGlossaryRecord> raf;
    {
        TGlossaryKeys keys(*directory, "datalar");
        raf = keys.Find("raf");
    }
    ASSERT_EQ(raf.size(), 1u);
    index.UpdateRecord(
        raf[0].record, "raf", Utf8ToCp1254("Kitap koyulan yer."), zolvek::kTurkishLocale);
    EXPECT_TRUE(Rows("tahta").empty());
    EXPECT_EQ(Rows("kitap koyulan"), (std::vector<std::string> { "raf" }));
    // Changed twice: only the latest words count.
    index.UpdateRecord(raf[0].record, "raf", Utf8ToCp1254("Sergi yeri."), zolvek::kTurkishLocale);
    EXPECT_TRUE(Rows("koyulan").empty());
    EXPECT_EQ(Rows("sergi"), (std::vector<std::string> { "raf" }));

    index.EraseRecord(raf[0].record);
    EXPECT_TRUE(Rows("sergi").empty());
    EXPECT_EQ(index.RecordCount(), 6u);
    EXPECT_EQ(index.RecordsWithKeyWord("RAF").size(), 0u);
    EXPECT_EQ(index.RecordsWithKeyWord(Utf8ToCp1254("KİTAP")).size(), 1u);
    EXPECT_EQ(index.RecordsWithKeyWord("KITAP").size(), 0u); // I is the capital of ı
}

} // namespace
} // namespace zendo::lexicon::testing
