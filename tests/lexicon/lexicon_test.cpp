#include "app/lexicon/lexicon.h"
#include "glossary_fixture.h"

#include <gtest/gtest.h>

namespace zendo::lexicon::testing {
namespace {

class LexiconTest : public GlossaryFixture {
protected:
    // The closest key word, "" when none.
    std::string Closest(TLexicon& lexicon, const std::string& typed) {
        std::vector<std::string> words = DidYouMean(lexicon, typed);
        return words.empty() ? std::string() : words.front();
    }
    std::vector<std::string> DidYouMean(TLexicon& lexicon, const std::string& typed) {
        std::vector<std::string> words;
        for (const TSuggestion& s : lexicon.DidYouMean(Utf8ToCp1254(typed), 3))
            words.push_back(Cp1254ToUtf8(s.key_word));
        return words;
    }
    std::vector<std::string> Search(TLexicon& lexicon, const std::string& text) {
        std::vector<std::string> rows;
        for (const TExplanationHit& hit : lexicon.SearchExplanations(Utf8ToCp1254(text)).rows)
            rows.push_back(Cp1254ToUtf8(hit.key_word));
        return rows;
    }
};

TEST_F(LexiconTest, AnswersOnceBuiltAndFollowsTheWindowsChanges) {
    InsertAll({ { "kitap", "Ciltli yapıt." }, { "ev", "Oturulan yapı." }, { "gözlük", "Camlar." },
        { "gözlükçü", "Gözlük satan." }, { "kalem", "Yazı aracı." }, { "şeker", "Tatlı." } });
    TLexicon lexicon(*directory);
    lexicon.WaitUntilReady();
    ASSERT_TRUE(lexicon.Ready());
    EXPECT_EQ(Utf8(lexicon.Stems(Utf8ToCp1254("kitaplarımızdan"))),
        (std::vector<std::string> { "kitap" }));
    EXPECT_EQ(Utf8(lexicon.Stems(Utf8ToCp1254("evlerde"))), (std::vector<std::string> { "ev" }));
    EXPECT_EQ(Utf8(lexicon.Stems(Utf8ToCp1254("gözlükçüler"))),
        (std::vector<std::string> { "gözlükçü", "gözlük" }));
    EXPECT_EQ(Closest(lexicon, "kalm"), "kalem");
    EXPECT_EQ(Closest(lexicon, "seker"), "şeker");
    EXPECT_EQ(Search(lexicon, "gözlük"), (std::vector<std::string> { "gözlük", "gözlükçü" }));
    EXPECT_FALSE(lexicon.TableChangedElsewhere());
    // What the window offers when nothing matches: stems first, else the closest key words.
    using TKind = TLexicon::TOffer::TKind;
    TLexicon::TOffer stems = lexicon.Offer(Utf8ToCp1254("gözlükçüler"), 1);
    EXPECT_EQ(stems.kind, TKind::okStems);
    EXPECT_EQ(Utf8(stems.key_words), (std::vector<std::string> { "gözlükçü" }));
    TLexicon::TOffer closest = lexicon.Offer("seker");
    EXPECT_EQ(closest.kind, TKind::okDidYouMean);
    EXPECT_EQ(Utf8(closest.key_words).front(), "şeker");
    EXPECT_EQ(lexicon.Offer("qqqqqqqq").kind, TKind::okNothing);

    // The window adds a record and says so.
    Insert("kalemlik", "Kalem konan kutu.");
    lexicon.KeyWordChanged("kalemlik");
    EXPECT_FALSE(lexicon.TableChangedElsewhere());
    EXPECT_EQ(
        Utf8(lexicon.Stems("kalemlikler")), (std::vector<std::string> { "kalemlik", "kalem" }));
    EXPECT_EQ(Closest(lexicon, "kalemlk"), "kalemlik");
    EXPECT_EQ(Search(lexicon, "kutu"), (std::vector<std::string> { "kalemlik" }));

    // It renames a key word and corrects its explanation.
    Change("şeker", "şekerleme", "Tatlı bir yiyecek.");
    lexicon.KeyWordChanged(Utf8ToCp1254("şeker"));
    lexicon.KeyWordChanged(Utf8ToCp1254("şekerleme"));
    EXPECT_EQ(Search(lexicon, "yiyecek"), (std::vector<std::string> { "şekerleme" }));
    EXPECT_EQ(Closest(lexicon, "sekerleme"), "şekerleme");
    EXPECT_NE(Closest(lexicon, "seker"), "şeker");

    // It deletes one.
    Delete("ev");
    lexicon.KeyWordChanged("ev");
    EXPECT_TRUE(Search(lexicon, "oturulan").empty());
    EXPECT_TRUE(lexicon.Stems("evlerde").empty());
    EXPECT_FALSE(lexicon.TableChangedElsewhere());

    // A change it is not told of: the table changed elsewhere; a rebuild takes it in.
    Insert("defter", "Yazı için kağıtlar.");
    EXPECT_TRUE(lexicon.TableChangedElsewhere());
    EXPECT_TRUE(Search(lexicon, "kağıtlar").empty());
    lexicon.Rebuild();
    lexicon.WaitUntilReady();
    EXPECT_FALSE(lexicon.TableChangedElsewhere());
    EXPECT_EQ(Search(lexicon, "kağıt"), (std::vector<std::string> { "defter" }));
}

TEST_F(LexiconTest, ChangesReportedDuringTheBuildAreKept) {
    InsertAll({ { "kitap", "Ciltli yapıt." } });
    TLexicon lexicon(*directory);
    // Whether the build has read it yet or not, the record is there afterwards.
    Insert("defter", "Kağıtlar.");
    lexicon.KeyWordChanged("defter");
    lexicon.WaitUntilReady();
    EXPECT_EQ(Search(lexicon, "kağıt"), (std::vector<std::string> { "defter" }));
    EXPECT_EQ(Closest(lexicon, "defer"), "defter");
    EXPECT_EQ(lexicon.SearchExplanations(Utf8ToCp1254("defter")).count, 1u);
}

TEST_F(LexiconTest, StartsOnAnEmptyGlossary) {
    TLexicon lexicon(*directory);
    lexicon.WaitUntilReady();
    EXPECT_TRUE(DidYouMean(lexicon, "kalem").empty());
    EXPECT_EQ(lexicon.SearchExplanations("kalem").count, 0u);
    Insert("kalem", "Yazı aracı.");
    lexicon.KeyWordChanged("kalem");
    EXPECT_EQ(Closest(lexicon, "kalm"), "kalem");
    EXPECT_EQ(Search(lexicon, "yazı"), (std::vector<std::string> { "kalem" }));
    EXPECT_FALSE(lexicon.TableChangedElsewhere());
}

TEST_F(LexiconTest, AMissingDictionaryIsReportedByReady) {
    TLexiconOptions options;
    options.affix_file = dir.File("none.aff");
    TLexicon lexicon(*directory, options);
    EXPECT_THROW(lexicon.WaitUntilReady(), std::runtime_error);
    EXPECT_FALSE(lexicon.Ready());
    EXPECT_TRUE(lexicon.Stems("evlerde").empty());
    // The other part does not need the dictionary.
    lexicon.WaitUntilReady();
    EXPECT_TRUE(lexicon.ExplanationsReady());
}

TEST_F(LexiconTest, AMissingTableIsAnEngineError) {
    TLexiconOptions options;
    options.table_name = "yok";
    EXPECT_THROW(TLexicon(*directory, options), zolvek::EZOLVEKEngineError);
}

} // namespace
} // namespace zendo::lexicon::testing
