#include "app/lexicon/did_you_mean.h"
#include "glossary_fixture.h"

#include "bench/dictionary.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace zendo::lexicon::testing {
namespace {

double Distance(const std::string& a, const std::string& b) {
    return TurkishEditDistance(Utf8ToCp1254(a), Utf8ToCp1254(b));
}

std::vector<std::string> Words(const std::vector<TSuggestion>& suggestions) {
    std::vector<std::string> out;
    for (const TSuggestion& s : suggestions)
        out.push_back(Cp1254ToUtf8(s.key_word));
    return out;
}

TEST(TurkishEditDistanceTest, TurkishConfusionsCostLittle) {
    struct Case {
        const char* typed;
        const char* key_word;
        double distance;
        double reverse; // with the roles swapped
    } cases[] = {
        { "seker", "şeker", 0.25, 0.25 },
        { "ilik", "ılık", 0.5, 0.5 },
        { "gozlukcu", "gözlükçü", 1.0, 1.0 }, // four confusions
        { "ŞEKER", "şeker", 0, 0 }, // letter case costs nothing
        { "KALEM", "kalem", 0, 0 },
        { "kar", "kâr", 0, 0 },
        { "kalm", "kalem", 0.75, 1 }, // a left-out vowel costs less than an extra one
        { "kalm", "kale", 1, 1 },
        { "kalme", "kalem", 1, 1 }, // neighbours swapped
        { "kelam", "kalem", 2, 2 },
        { "", "ev", 1.75, 2 },
        { "skr", "şeker", 1.75, 2.25 },
        { "kalemx", "kalem", 1, 1 },
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(Distance(c.typed, c.key_word), c.distance)
            << c.typed << " / " << c.key_word;
        EXPECT_DOUBLE_EQ(Distance(c.key_word, c.typed), c.reverse)
            << c.key_word << " / " << c.typed;
    }
    // Past the bound the answer only says so.
    EXPECT_GT(TurkishEditDistance("abcdef", "uvwxyz", 1.0), 1.0);
}

std::vector<std::string> Cp1254(const std::vector<std::string>& texts) {
    std::vector<std::string> out;
    for (const std::string& text : texts)
        out.push_back(Utf8ToCp1254(text));
    return out;
}

TEST(KeyWordIndexTest, OffersTheClosestKeyWords) {
    TKeyWordIndex index;
    index.Build(Cp1254({ "kalem", "Şeker", "şekerci", "kelime", "kale", "kitap", "kalemlik",
        "seher", "zeki", "ışık", "Kalem" }));
    EXPECT_EQ(index.WordCount(), 10u); // "Kalem" and "kalem" are one word
    std::vector<std::string> kalm = Words(index.Closest(Utf8ToCp1254("kalm")));
    ASSERT_FALSE(kalm.empty());
    EXPECT_EQ(kalm.front(), "kalem");
    EXPECT_TRUE(std::find(kalm.begin(), kalm.end(), "kale") != kalm.end());
    std::vector<TSuggestion> seker = index.Closest(Utf8ToCp1254("seker"), 3);
    ASSERT_EQ(seker.size(), 3u);
    EXPECT_EQ(Cp1254ToUtf8(seker[0].key_word), "Şeker");
    EXPECT_DOUBLE_EQ(seker[0].distance, 0.25);
    EXPECT_EQ(Cp1254ToUtf8(seker[1].key_word), "seher");
    EXPECT_EQ(Cp1254ToUtf8(seker[2].key_word), "şekerci"); // 0.25 + c + a left-out i
    EXPECT_EQ(Words(index.Closest(Utf8ToCp1254("isik"), 1)), (std::vector<std::string> { "ışık" }));
    EXPECT_EQ(
        Words(index.Closest(Utf8ToCp1254("KİTAP"), 1)), (std::vector<std::string> { "kitap" }));
    EXPECT_TRUE(index.Closest(Utf8ToCp1254("xyzxyzq")).empty());
    EXPECT_TRUE(index.Closest("").empty());
    // A tighter limit leaves out what is further.
    for (const TSuggestion& s : index.Closest(Utf8ToCp1254("kalm"), 10, 1.0))
        EXPECT_LE(s.distance, 1.0);
}

TEST(KeyWordIndexTest, FollowsAddsAndRemoves) {
    TKeyWordIndex index;
    index.Build(Cp1254({ "şeker", "şeker", "kalem" }));
    index.Remove(Utf8ToCp1254("Şeker"));
    EXPECT_EQ(
        Words(index.Closest(Utf8ToCp1254("seker"), 1)), (std::vector<std::string> { "şeker" }));
    index.Remove(Utf8ToCp1254("şeker")); // the last record with it
    EXPECT_TRUE(index.Closest(Utf8ToCp1254("seker"), 1, 0.5).empty());
    EXPECT_EQ(index.WordCount(), 1u);
    index.Add(Utf8ToCp1254("Şeker"));
    EXPECT_EQ(
        Words(index.Closest(Utf8ToCp1254("seker"), 1)), (std::vector<std::string> { "Şeker" }));
    // A word whose prefix no key word had before.
    index.Add(Utf8ToCp1254("zürafa"));
    EXPECT_EQ(
        Words(index.Closest(Utf8ToCp1254("zurafa"), 1)), (std::vector<std::string> { "zürafa" }));
    EXPECT_EQ(
        Words(index.Closest(Utf8ToCp1254("zrafa"), 1)), (std::vector<std::string> { "zürafa" }));
    index.Remove(Utf8ToCp1254("nothing"));
    EXPECT_EQ(index.WordCount(), 3u);
}

// The index finds what measuring every key word finds, for typing errors in the first seven
// letters (where the deletions guarantee it) and after them.
TEST(KeyWordIndexTest, AgreesWithMeasuringEveryWord) {
    std::vector<std::string> all = zolvek::bench::ReadDictionaryWords();
    ASSERT_GT(all.size(), 100000u) << "hunspell-tr";
    std::mt19937 random(1055);
    std::vector<std::string> words;
    for (size_t i = 0; i < 4000; ++i)
        words.push_back(all[random() % all.size()]);
    TKeyWordIndex index;
    index.Build(words);
    const std::string letters = "abcçdefgğhıijklmnoöprsştuüvyz";
    std::vector<std::string> letters1254;
    for (char c : Utf8ToCp1254(letters))
        letters1254.push_back(std::string(1, c));
    for (int trial = 0; trial < 200; ++trial) {
        std::string typed = words[random() % words.size()];
        // Two random edits.
        for (int edit = 0; edit < 2 && typed.size() > 2; ++edit) {
            size_t at = random() % typed.size();
            switch (random() % 3) {
            case 0:
                typed.erase(at, 1);
                break;
            case 1:
                typed.insert(at, letters1254[random() % letters1254.size()]);
                break;
            default:
                typed[at] = letters1254[random() % letters1254.size()][0];
            }
        }
        double best = 1e9;
        for (const std::string& word : words)
            best = std::min(best, TurkishEditDistance(typed, word, 2.0));
        std::vector<TSuggestion> found = index.Closest(typed, 1);
        if (best > 2.0) {
            EXPECT_TRUE(found.empty()) << Cp1254ToUtf8(typed);
            continue;
        }
        ASSERT_FALSE(found.empty()) << Cp1254ToUtf8(typed);
        EXPECT_DOUBLE_EQ(found[0].distance, best) << Cp1254ToUtf8(typed);
    }
}

} // namespace
} // namespace zendo::lexicon::testing
