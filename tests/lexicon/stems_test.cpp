#include "app/lexicon/glossary_source.h"
#include "app/lexicon/stems.h"
#include "app/lexicon/turkish_text.h"
#include "glossary_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace zendo::lexicon::testing {
namespace {

// The dictionary loads in about a third of a second: once for the whole program.
const TStemmer& Stemmer() {
    static const TStemmer stemmer;
    return stemmer;
}

std::vector<std::string> Stems(const std::string& word) {
    return Utf8(Stemmer().Stems(Utf8ToCp1254(word)));
}

bool Has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(TurkishTextTest, FoldSkeletonAndWords) {
    EXPECT_EQ(Cp1254ToUtf8(Fold(Utf8ToCp1254("IŞIK İĞNE Kâr"))), "ışık iğne kar");
    EXPECT_EQ(Cp1254ToUtf8(Skeleton(Utf8ToCp1254("Şeker ÇÖĞÜ ılık"))), "seker cogu ilik");
    EXPECT_EQ(Utf8(FoldedWords(Utf8ToCp1254("Ankara'da, 3 GÖZLÜK-çü… ok"))),
        (std::vector<std::string> { "ankara", "da", "3", "gözlük", "çü", "ok" }));
}

TEST(StemmerTest, SuffixStrippingFollowsVowelHarmony) {
    struct Case {
        const char* word;
        const char* stem;
        bool expected;
    } cases[] = {
        { "evlerde", "evler", true },
        { "evler", "ev", true },
        { "kitaplar", "kitap", true },
        { "kitabı", "kitap", true }, // softened consonant restored
        { "kitabı", "kitab", true },
        { "gözlükçü", "gözlük", true },
        { "kalemlik", "kalem", true },
        { "evlar", "ev", false }, // "lar" after a front vowel breaks harmony
        { "kitapler", "kitap", false },
        { "okuyor", "oku", true },
        { "kuşta", "kuş", true }, // t after a voiceless consonant
        { "kuşda", "kuş", false },
    };
    for (const Case& c : cases) {
        std::vector<std::string> stems = Utf8(StripOneSuffix(Utf8ToCp1254(c.word)));
        EXPECT_EQ(Has(stems, c.stem), c.expected) << c.word << " -> " << c.stem;
    }
}

TEST(StemmerTest, ReachesTheStemsMostSpecificFirst) {
    std::vector<std::string> kitap = Stems("kitaplarımızdan");
    ASSERT_FALSE(kitap.empty());
    EXPECT_TRUE(Has(kitap, "kitap"));
    EXPECT_FALSE(Has(kitap, "kitaplarımızdan"));
    EXPECT_TRUE(Has(Stems("evlerde"), "ev"));
    std::vector<std::string> gozluk = Stems("gözlükçüler");
    auto at = [&](const std::string& s) { return std::find(gozluk.begin(), gozluk.end(), s); };
    ASSERT_NE(at("gözlükçü"), gozluk.end());
    ASSERT_NE(at("gözlük"), gozluk.end());
    EXPECT_LT(at("gözlükçü"), at("gözlük"));
    // What the dictionary lists as a word of its own is taken apart by the fallback.
    EXPECT_TRUE(Has(Stems("kitabımızdan"), "kitap"));
    // A verb reaches its infinitive.
    EXPECT_TRUE(Has(Stems("okuyorum"), "okumak"));
    EXPECT_TRUE(Stems("").empty());
}

class GlossaryStemsTest : public GlossaryFixture { };

TEST_F(GlossaryStemsTest, OffersOnlyTheStemsTheGlossaryHolds) {
    InsertAll({ { "Kitap", "book" }, { "ev", "house" }, { "gözlük", "glasses" },
        { "gözlükçü", "optician" }, { "okumak", "to read" }, { "evler", "houses" } });
    TGlossaryKeys keys(*directory, "datalar");
    auto stems = [&](const std::string& word) {
        return Utf8(GlossaryStems(Stemmer(), keys, Utf8ToCp1254(word)));
    };
    // The stored letter case comes back, so that the window can locate it.
    EXPECT_EQ(stems("kitaplarımızdan"), (std::vector<std::string> { "Kitap" }));
    EXPECT_EQ(stems("KİTAPLARIMIZDAN"), (std::vector<std::string> { "Kitap" }));
    EXPECT_EQ(stems("evlerde"), (std::vector<std::string> { "evler", "ev" }));
    EXPECT_EQ(stems("gözlükçüler"), (std::vector<std::string> { "gözlükçü", "gözlük" }));
    EXPECT_EQ(stems("okuyorum"), (std::vector<std::string> { "okumak" }));
    EXPECT_TRUE(stems("masalarda").empty());
    EXPECT_TRUE(stems("ev").empty()); // never the word itself
}

TEST_F(GlossaryStemsTest, KeyLookupIgnoresCaseUnderTheTurkishLocale) {
    InsertAll({ { "Işık", "light" }, { "iğne", "needle" }, { "iğne", "pin" }, { "iğneci", "" } });
    TGlossaryKeys keys(*directory, "datalar");
    EXPECT_EQ(Cp1254ToUtf8(keys.StoredForm(Utf8ToCp1254("IŞIK"))), "Işık");
    EXPECT_EQ(keys.StoredForm(Utf8ToCp1254("isik")), "");
    EXPECT_EQ(keys.StoredForm(Utf8ToCp1254("işık")), "");
    std::vector<TGlossaryRecord> found = keys.Find(Utf8ToCp1254("İĞNE"), true);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(found[0].record, found[1].record);
    std::vector<std::string> texts { found[0].explanation, found[1].explanation };
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string> { "needle", "pin" }));
    EXPECT_FALSE(keys.Contains(Utf8ToCp1254("iğn")));
    EXPECT_FALSE(keys.Contains(std::string(300, 'a')));
}

} // namespace
} // namespace zendo::lexicon::testing
