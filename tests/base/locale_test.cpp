// Texts below are Windows-1254 bytes written as escapes; a comment shows each word.
#include "db/base/locale.h"

#include <algorithm>
#include <latch>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace zolvek {
namespace {

constexpr uint32_t kEnglishUS = 0x0409;
constexpr uint32_t kHungarian = 0x040E;

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

struct CompareCase {
    uint32_t locale_id;
    std::string first;
    std::string second;
    bool case_insensitive;
    size_t length;
    int expected;
};

void PrintTo(const CompareCase& c, std::ostream* os) {
    *os << "locale " << c.locale_id << " '" << c.first << "' vs '" << c.second << "' ci "
        << c.case_insensitive << " n " << c.length;
}

class LocaleCompareTest : public testing::TestWithParam<CompareCase> { };

TEST_P(LocaleCompareTest, OrdersBothWays) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(
        Sign(CompareLocaleStrings(c.locale_id, c.first, c.second, c.case_insensitive, c.length)),
        c.expected);
    EXPECT_EQ(
        Sign(CompareLocaleStrings(c.locale_id, c.second, c.first, c.case_insensitive, c.length)),
        -c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(AnsiStandard, LocaleCompareTest, testing::Values(
    // Byte order: upper case before lower case, bytes above 127 after every letter.
    CompareCase { 0, "Z", "a", false, 0, -1 },
    CompareCase { 0, "z", "\xC7", false, 0, -1 },        // Ç
    CompareCase { 0, "abc", "ABC", false, 0, 1 },
    CompareCase { 0, "abc", "ABC", true, 0, 0 },
    CompareCase { 0, "\xFDl\xFDk", "ILIK", true, 0, 0 }, // ılık, ILIK
    CompareCase { 0, "iyi", "IYI", true, 0, 0 },
    CompareCase { 0, "\xFE", "\xDE", true, 0, 0 },       // ş, Ş
    CompareCase { 0, "\xDF", "SS", true, 0, 1 },         // ß stays ß
    CompareCase { 0, "abcd", "abcx", false, 3, 0 },
    CompareCase { 0, "abcd", "ABCX", true, 3, 0 },
    CompareCase { 0, "ab", "abc", false, 3, -1 },
    CompareCase { 0, "ab", "abc", false, 0, -1 },
    CompareCase { 0, "", "a", false, 0, -1 },
    CompareCase { 0, "", "", false, 0, 0 },
    // A string ends at its first zero byte.
    CompareCase { 0, std::string("ab\0zz", 5), "ab", false, 0, 0 },
    CompareCase { 0, std::string("ab\0zz", 5), "abc", false, 4, -1 }));

INSTANTIATE_TEST_SUITE_P(Turkish, LocaleCompareTest, testing::Values(
    // Case-insensitive: dotless i goes with I, dotted i with dotted capital I.
    CompareCase { kTurkishLocale, "\xFDl\xFDk", "ILIK", true, 0, 0 },     // ılık, ILIK
    CompareCase { kTurkishLocale, "ILIK", "Il\xFDk", true, 0, 0 },        // ILIK, Ilık
    CompareCase { kTurkishLocale, "iyi", "\xDDY\xDD", true, 0, 0 },       // iyi, İYİ
    CompareCase { kTurkishLocale, "iyi", "IYI", true, 0, 1 },             // ı before i
    CompareCase { kTurkishLocale, "\xC7" "AY", "\xE7" "ay", true, 0, 0 }, // ÇAY, çay
    // Case-sensitive: case counts, lower case first; accents do not count.
    CompareCase { kTurkishLocale, "\xFDl\xFDk", "ILIK", false, 0, -1 },
    CompareCase { kTurkishLocale, "kar", "Kar", false, 0, -1 },
    CompareCase { kTurkishLocale, "k\xE2r", "kar", false, 0, 0 },         // kâr
    CompareCase { kTurkishLocale, "k\xE2r", "KAR", true, 0, 0 },
    CompareCase { kTurkishLocale, "caf\xE9", "cafe", false, 0, 0 },       // café
    // Turkish letters are letters of their own, not accented ones.
    CompareCase { kTurkishLocale, "cay", "\xE7" "ay", false, 0, -1 },     // çay
    CompareCase { kTurkishLocale, "\xE7" "ay", "day", false, 0, -1 },
    CompareCase { kTurkishLocale, "agac", "a\xF0" "a\xE7", true, 0, -1 }, // ağaç
    CompareCase { kTurkishLocale, "on", "\xF6n", true, 0, -1 },           // ön
    CompareCase { kTurkishLocale, "us", "\xFCs", true, 0, -1 },           // üs
    CompareCase { kTurkishLocale, "su", "\xFEu", true, 0, -1 },           // şu
    CompareCase { kTurkishLocale, "h", "\xFD", false, 0, -1 },            // ı after h
    // Punctuation and spaces are characters, before digits and letters.
    CompareCase { kTurkishLocale, "co-op", "coop", true, 0, -1 },
    CompareCase { kTurkishLocale, "a b", "ab", false, 0, -1 },
    CompareCase { kTurkishLocale, "1", "a", false, 0, -1 },
    // Partial comparisons.
    CompareCase { kTurkishLocale, "abcd", "abcx", false, 3, 0 },
    CompareCase { kTurkishLocale, "ab", "abc", false, 3, -1 },
    CompareCase { kTurkishLocale, "kalemler", "KALEM", true, 5, 0 },
    CompareCase { kTurkishLocale, "Kale", "KALEM", true, 5, -1 },
    CompareCase { kTurkishLocale, std::string("ab\0\0", 4), "abc", false, 4, -1 }));

INSTANTIATE_TEST_SUITE_P(German, LocaleCompareTest, testing::Values(
    // The umlaut is an accent in the standard order, "ae" in the phone book.
    CompareCase { kGermanLocale, "\xE4", "a", false, 0, 0 },                      // ä
    CompareCase { kGermanLocale, "\xE4", "ae", false, 0, -1 },
    CompareCase { kGermanPhoneBookLocale, "\xE4", "ae", false, 0, 0 },
    CompareCase { kGermanPhoneBookLocale, "M\xFCller", "Mueller", true, 0, 0 })); // Müller
// clang-format on

TEST(LocaleCompare, LongTextsBeyondTheStackBuffer) {
    std::string a(5000, 'x');
    std::string b = a;
    a += "\xE7"; // ç
    b += "d";
    EXPECT_EQ(CompareLocaleStrings(kTurkishLocale, a, b, false), -1);
    EXPECT_EQ(CompareLocaleStrings(kTurkishLocale, a, b, true), -1);
    EXPECT_EQ(CompareLocaleStrings(kTurkishLocale, a, b, false, 5000), 0);
    EXPECT_EQ(CompareLocaleStrings(kTurkishLocale, a, a.substr(0, 4000) + "Y", true), -1);
}

TEST(LocaleCompare, UnknownLocaleStillOrdersConsistently) {
    // No collation data for the identifier: the root order, never an inconsistent result.
    EXPECT_EQ(CompareLocaleStrings(0x9999, "a", "b", false), -1);
    EXPECT_EQ(CompareLocaleStrings(0x9999, "b", "a", false), 1);
    EXPECT_EQ(CompareLocaleStrings(0x9999, "a", "A", true), 0);
}

TEST(LocaleCompare, CharsMatchOneCharacterStrings) {
    for (uint32_t locale_id : { kAnsiStandardLocale, kTurkishLocale }) {
        for (int x = 1; x < 256; ++x) {
            for (int y = 1; y < 256; ++y) {
                const char a = char(x);
                const char b = char(y);
                ASSERT_EQ(CompareLocaleChars(locale_id, a, b),
                    Sign(CompareLocaleStrings(
                        locale_id, std::string(1, a), std::string(1, b), false)))
                    << "locale " << locale_id << " chars " << x << " " << y;
            }
        }
    }
    EXPECT_EQ(CompareLocaleChars(0, 'Z', 'a'), -1);
    EXPECT_EQ(CompareLocaleChars(kTurkishLocale, 'a', '\xE1'), 0); // á
    EXPECT_EQ(CompareLocaleChars(kTurkishLocale, 'a', 'A'), -1);
    EXPECT_EQ(CompareLocaleChars(kTurkishLocale, 'c', '\xE7'), -1); // ç
}

TEST(LocaleCompare, CompareBytes) {
    EXPECT_EQ(CompareBytes(nullptr, "a", 1), 1);
    EXPECT_EQ(CompareBytes("a", nullptr, 1), -1);
    EXPECT_EQ(CompareBytes("a\0b", "a\0c", 3), -1); // does not stop at a zero byte
    EXPECT_EQ(CompareBytes("a\0b", "a\0c", 3, true), 1);
    EXPECT_EQ(CompareBytes("\x80", "\x7F", 1), 1); // unsigned
    EXPECT_EQ(CompareBytes("ab", "ab", 2, true), 0);
    EXPECT_EQ(CompareBytes("x", "y", 0), 0);
}

// ---------------------------------------------------------------------------------------------
// Case mapping

struct CaseCase {
    uint32_t locale_id;
    bool upper;
    std::string text;
    std::string expected;
};

class LocaleCaseTest : public testing::TestWithParam<CaseCase> { };

TEST_P(LocaleCaseTest, MapsInPlace) {
    const CaseCase& c = GetParam();
    std::string text = c.text;
    if (c.upper)
        UpperCaseLocale(c.locale_id, text);
    else
        LowerCaseLocale(c.locale_id, text);
    EXPECT_EQ(text, c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Mappings, LocaleCaseTest, testing::Values(
    CaseCase { kTurkishLocale, true, "i\xFD", "\xDDI" },                    // iı -> İI
    CaseCase { kTurkishLocale, false, "\xDDI", "i\xFD" },                   // İI -> iı
    CaseCase { kTurkishLocale, true, "\xE7\xF0\xFE\xF6\xFC", "\xC7\xD0\xDE\xD6\xDC" }, // çğşöü
    CaseCase { kTurkishLocale, true, "stra\xDF" "e", "STRA\xDF" "E" },      // straße: ß stays
    CaseCase { kEnglishUS, true, "i\xFD", "II" },                           // not Turkish casing
    CaseCase { 0, true, "i\xFD", "II" },                                    // iı -> II
    CaseCase { 0, false, "I\xDE\xC7", "i\xFE\xE7" },                        // IŞÇ -> işç
    CaseCase { 0, true, std::string("a\0b", 3), std::string("A\0B", 3) },
    CaseCase { 0, true, "", "" }));
// clang-format on

TEST(LocaleCase, AnsiUpperCaseOfEveryByte) {
    // The code page's plain upper-casing: ASCII letters, dotless i to I, the letters 0xE0 to
    // 0xFE except the division sign, ÿ, š and œ; everything else stays.
    for (int byte = 0; byte < 256; ++byte) {
        int expected = byte;
        if (byte >= 'a' && byte <= 'z')
            expected = byte - 0x20;
        else if (byte == 0xFD) // ı
            expected = 'I';
        else if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7)
            expected = byte - 0x20;
        else if (byte == 0xFF) // ÿ -> Ÿ
            expected = 0x9F;
        else if (byte == 0x9A || byte == 0x9C) // š, œ
            expected = byte - 0x10;
        char text = char(byte);
        UpperCaseLocale(kAnsiStandardLocale, &text, 1);
        EXPECT_EQ(uint8_t(text), expected) << "byte " << byte;
    }
}

TEST(LocaleCase, LengthNeverChanges) {
    // Every byte of the code page, upper- and lower-cased under several locales.
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += char(byte);
    for (uint32_t locale_id : { kAnsiStandardLocale, kTurkishLocale, kGermanLocale, 0x9999u }) {
        std::string upper = all;
        std::string lower = all;
        UpperCaseLocale(locale_id, upper);
        LowerCaseLocale(locale_id, lower);
        EXPECT_EQ(upper.size(), 256u);
        EXPECT_EQ(lower.size(), 256u);
        EXPECT_EQ(upper['\xDF' & 0xFF], '\xDF'); // ß has no one-character capital here
    }
}

// ---------------------------------------------------------------------------------------------
// Availability, the locale list and order tables

TEST(LocaleCompare, SimpleCharactersAreWeighedOnTheirOwn) {
    for (int c = 1; c < 256; ++c)
        EXPECT_TRUE(IsSimpleCollationCharacter(kAnsiStandardLocale, char(c))) << c;
    EXPECT_FALSE(IsSimpleCollationCharacter(kAnsiStandardLocale, '\0'));
    // Letters of both cases (Turkish ones, accented ones), digits, punctuation.
    for (char c : std::string("aZkK09 .-\xFD\xDDI"
                              "i\xE7\xC7\xF0\xD0\xF6\xD6\xFC\xDC\xFE\xDE\xE2\xC2"))
        EXPECT_TRUE(IsSimpleCollationCharacter(kTurkishLocale, c)) << int(uint8_t(c));
    // Ignorable controls and soft hyphen; sharp s, ae and the oe ligature expand.
    for (char c : std::string("\x01\x1F\xAD\xDF\xE6\xC6\x9C"))
        EXPECT_FALSE(IsSimpleCollationCharacter(kTurkishLocale, c)) << int(uint8_t(c));
}

TEST(LocaleCompare, CaseFoldingThatKeepsTheWeight) {
    for (int c = 1; c < 256; ++c) {
        EXPECT_TRUE(IsCaseFoldableCharacter(kAnsiStandardLocale, char(c))) << c;
        EXPECT_FALSE(IsMovedCapital(kAnsiStandardLocale, char(c))) << c;
    }
    // Turkish: î upper-cases to Î, an accented dotless I, which weighs as I and ı do.
    EXPECT_TRUE(IsMovedCapital(kTurkishLocale, '\xCE'));
    EXPECT_FALSE(IsMovedCapital(kTurkishLocale, 'I'));
    EXPECT_FALSE(IsMovedCapital(kTurkishLocale, '\xDD'));
    for (char c : std::string("i\xDD\xEEI\xFD\xCE"))
        EXPECT_FALSE(IsCaseFoldableCharacter(kTurkishLocale, c)) << int(uint8_t(c));
    for (char c : std::string("aKz\xE7\xC7\xF0\xFE\xE2\xC2"))
        EXPECT_TRUE(IsCaseFoldableCharacter(kTurkishLocale, c)) << int(uint8_t(c));
    // i is equal to î, whose capital weighs as I: where i-words may also be keyed.
    const std::string& variants = CaseFoldVariants(kTurkishLocale, 'i');
    ASSERT_EQ(variants.size(), 1u);
    EXPECT_EQ(CompareLocaleStrings(kTurkishLocale, variants, "I", true), 0);
    EXPECT_TRUE(CaseFoldVariants(kTurkishLocale, '\xFD').empty());
}

TEST(LocaleAvailability, KnownAndUnknownIdentifiers) {
    EXPECT_TRUE(IsLocaleAvailable(0));
    EXPECT_TRUE(IsLocaleAvailable(kTurkishLocale));
    EXPECT_TRUE(IsLocaleAvailable(kEnglishUS));
    EXPECT_TRUE(IsLocaleAvailable(kGermanPhoneBookLocale));
    EXPECT_FALSE(IsLocaleAvailable(0x9999));
    EXPECT_FALSE(IsLocaleAvailable(0x0C1F)); // Turkish with a sub-language that does not exist
    EXPECT_FALSE(IsLocaleAvailable(0xFFFFFFFF));
}

class LocaleListTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        list_ = new TLocaleList;
        list_->BuildLocaleList();
    }
    static void TearDownTestSuite() {
        delete list_;
        list_ = nullptr;
    }
    static TLocaleList* list_;
};
TLocaleList* LocaleListTest::list_ = nullptr;

TEST_F(LocaleListTest, AnsiFirstThenSortedByName) {
    ASSERT_GT(list_->Count(), 100u);
    EXPECT_EQ(list_->Locale(0).LocaleID, 0u);
    EXPECT_EQ(list_->Locale(0).Name, "ANSI Standard");
    EXPECT_EQ(list_->Locale(0).Abbreviation, "ANSI");
    std::set<uint32_t> ids;
    for (size_t i = 0; i < list_->Count(); ++i) {
        EXPECT_TRUE(ids.insert(list_->Locale(i).LocaleID).second) << list_->Locale(i).Name;
        if (i >= 2) {
            EXPECT_LE(CompareLocaleStrings(
                          kEnglishUS, list_->Locale(i - 1).Name, list_->Locale(i).Name, false),
                0)
                << list_->Locale(i - 1).Name << " / " << list_->Locale(i).Name;
        }
    }
}

TEST_F(LocaleListTest, NamesAndAbbreviations) {
    struct Expected {
        uint32_t locale_id;
        const char* name;
        const char* abbreviation;
    };
    for (const Expected& e : { Expected { kTurkishLocale, "Turkish", "TRK" },
             Expected { kEnglishUS, "English (United States)", "ENU" },
             Expected { kGermanLocale, "German (Germany)", "DEU" },
             Expected { kGermanPhoneBookLocale, "German (German Phone Book)", "DEP" },
             Expected { 0x0C07, "German (Austria)", "DEA" } }) {
        const TDataLocale* locale = list_->FindLocale(e.locale_id);
        ASSERT_NE(locale, nullptr) << e.name;
        EXPECT_EQ(locale->Name, e.name);
        EXPECT_EQ(locale->Abbreviation, e.abbreviation);
    }
    EXPECT_EQ(list_->FindLocale(0x9999), nullptr);
}

TEST_F(LocaleListTest, FindByNameIgnoresCase) {
    EXPECT_EQ(list_->FindLocaleByName("ansi standard"), 0u);
    EXPECT_TRUE(list_->LocaleExists("ansi standard"));
    EXPECT_EQ(list_->FindLocaleByName("TURKISH"), kTurkishLocale);
    EXPECT_EQ(list_->FindLocaleByName("german (german phone book)"), kGermanPhoneBookLocale);
    EXPECT_EQ(list_->FindLocaleByName("Klingon"), 0u);
    EXPECT_FALSE(list_->LocaleExists("Klingon"));
    EXPECT_FALSE(list_->LocaleExists(""));
}

TEST_F(LocaleListTest, SampledLocalesAreAvailable) {
    for (size_t i = 0; i < list_->Count(); i += 17)
        EXPECT_TRUE(IsLocaleAvailable(list_->Locale(i).LocaleID)) << list_->Locale(i).Name;
}

size_t Rank(const std::array<uint8_t, 256>& order, uint8_t c) {
    return size_t(std::find(order.begin(), order.end(), c) - order.begin());
}

TEST_F(LocaleListTest, CharacterOrderTables) {
    std::array<uint8_t, 256> order;
    for (uint32_t locale_id : { 0u, 0x9999u }) { // the default and an unlisted identifier
        list_->GetCharacterOrder(locale_id, order);
        for (int p = 0; p < 256; ++p)
            ASSERT_EQ(order[p], p) << "locale " << locale_id;
    }

    list_->GetCharacterOrder(kTurkishLocale, order);
    for (int p = 0; p <= 30; ++p)
        EXPECT_EQ(order[p], p);
    std::set<uint8_t> all(order.begin(), order.end());
    EXPECT_EQ(all.size(), 256u);
    EXPECT_LT(Rank(order, 'c'), Rank(order, 0xE7)); // ç
    EXPECT_LT(Rank(order, 0xE7), Rank(order, 'd'));
    EXPECT_LT(Rank(order, 'h'), Rank(order, 0xFD)); // ı
    EXPECT_LT(Rank(order, 0xFD), Rank(order, 'i'));
    for (int p = 31; p < 255; ++p)
        EXPECT_LE(CompareLocaleChars(kTurkishLocale, char(order[p]), char(order[p + 1])), 0)
            << "entry " << p;
}

// ---------------------------------------------------------------------------------------------
// TLocaleStringList

TEST(LocaleStringList, KeepsLocaleOrder) {
    TLocaleStringList list(kTurkishLocale);
    // çay zeytin ısı İnce cam düş ILIK armut örnek
    const char* words[] = { "\xE7\x61y", "zeytin", "\xFDs\xFD", "\xDDnce", "cam", "d\xFC\xFE",
        "ILIK", "armut", "\xF6rnek" };
    for (const char* word : words)
        list.Add(word);
    ASSERT_EQ(list.Count(), 9u);
    for (size_t i = 1; i < list.Count(); ++i)
        EXPECT_LT(CompareLocaleStrings(kTurkishLocale, list[i - 1], list[i], true), 0);
    EXPECT_EQ(list[0], "armut");
    EXPECT_EQ(list[1], "cam");
    EXPECT_EQ(list[2], words[0]);

    // Byte order after upper-casing: the Turkish capitals follow Z, dotless i goes with I.
    list.SetLocaleID(kAnsiStandardLocale);
    EXPECT_EQ(list[0], "armut");
    EXPECT_EQ(list[4], "\xFDs\xFD"); // ısı as ISI
    EXPECT_EQ(list[5], "zeytin");
    EXPECT_EQ(list[list.Count() - 1], "\xDDnce"); // İnce
}

TEST(LocaleStringList, Duplicates) {
    TLocaleStringList list(kTurkishLocale);
    EXPECT_EQ(list.Add("kalem"), 0u);
    EXPECT_EQ(list.Add("KALEM"), 0u); // ignored
    EXPECT_EQ(list.Count(), 1u);
    list.SetDuplicates(TLocaleStringList::TDuplicates::dupError);
    EXPECT_THROW(list.Add("Kalem"), std::invalid_argument);
    list.SetDuplicates(TLocaleStringList::TDuplicates::dupAccept);
    EXPECT_EQ(list.Add("Kalem"), 1u);
    EXPECT_EQ(list.Add("a"), 0u);
    size_t index = 99;
    EXPECT_TRUE(list.Find("KaLeM", index));
    EXPECT_EQ(index, 1u); // the first equal entry
    list.Delete(0);
    EXPECT_EQ(list.Count(), 2u);
}

TEST(LocaleStringList, Finds) {
    TLocaleStringList list(kTurkishLocale);
    for (const char* word : { "abc*", "abd", "kalem", "kalemler", "kalemlik", "xyz" })
        list.Add(word);
    size_t index = 99;

    EXPECT_TRUE(list.Find("KALEMLER", index));
    EXPECT_EQ(list[index], "kalemler");
    EXPECT_FALSE(list.Find("kale", index));
    EXPECT_EQ(list[index], "kalem"); // insertion position
    EXPECT_FALSE(list.Find("zz", index));
    EXPECT_EQ(index, list.Count());

    EXPECT_TRUE(list.FindPartial("KALEMx", 5, 0, index));
    EXPECT_EQ(list[index], "kalem");
    EXPECT_TRUE(list.FindPartial("kalemli", 6, 0, index));
    EXPECT_EQ(list[index], "kalemler");
    size_t kalemlik = index + 1;
    EXPECT_TRUE(list.FindPartial("kalemli", 7, 0, index));
    EXPECT_EQ(index, kalemlik);
    EXPECT_FALSE(list.FindPartial("kalem", 5, kalemlik + 1, index)); // search starts later
    EXPECT_EQ(index, kalemlik + 1);

    EXPECT_TRUE(list.FindWildcard("abcdef", index));
    EXPECT_EQ(list[index], "abc*");
    EXPECT_TRUE(list.FindWildcard("ABC", index));
    EXPECT_EQ(list[index], "abc*");
    EXPECT_TRUE(list.FindWildcard("kalem", index));
    EXPECT_EQ(list[index], "kalem");
    EXPECT_FALSE(list.FindWildcard("ab", index));
    EXPECT_FALSE(list.FindWildcard("kalemle", index)); // other entries compare whole
}

TEST(LocaleStringList, WildcardEntryHiddenBehindOthers) {
    // "abcd" and "abce" sort between "abc*" and "abcz": a plain binary search steps past the
    // prefix entry.
    TLocaleStringList list(kAnsiStandardLocale);
    for (const char* word : { "abc*", "abcd", "abce", "abd" })
        list.Add(word);
    size_t index = 99;
    EXPECT_TRUE(list.FindWildcard("abcz", index));
    EXPECT_EQ(list[index], "abc*");
    EXPECT_TRUE(list.FindWildcard("abce", index));
    EXPECT_EQ(list[index], "abce");

    TLocaleStringList everything(kTurkishLocale);
    everything.Add("*");
    everything.Add("m");
    everything.Add("n");
    EXPECT_TRUE(everything.FindWildcard("zebra", index));
    EXPECT_EQ(everything[index], "*");
}

// ---------------------------------------------------------------------------------------------
// Code page conversions

TEST(CodePage1254, ConvertsBothWays) {
    // ıİşŞğĞ€ and a plain word
    const std::string turkish = "\xFD\xDD\xFE\xDE\xF0\xD0\x80 kalem";
    const std::string utf8 = "\xC4\xB1\xC4\xB0\xC5\x9F\xC5\x9E\xC4\x9F\xC4\x9E\xE2\x82\xAC kalem";
    EXPECT_EQ(Cp1254ToUtf8(turkish), utf8);
    EXPECT_EQ(Utf8ToCp1254(utf8), turkish);
    EXPECT_EQ(Cp1254ToUtf16(turkish), u"ıİşŞğĞ€ kalem");
    EXPECT_EQ(Utf16ToCp1254(u"ıİşŞğĞ€ kalem"), turkish);

    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += char(byte);
    EXPECT_EQ(Utf8ToCp1254(Cp1254ToUtf8(all)), all);
    EXPECT_EQ(Utf16ToCp1254(Cp1254ToUtf16(all)), all);
}

TEST(CodePage1254, UnmappableAndIllFormedBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1254("a\xE2\x9C\x93"
                           "b"),
        "a?b"); // ✓ is not in the code page
    EXPECT_EQ(Utf8ToCp1254("a\xF0\x9F\x98\x80"
                           "b"),
        "a?b"); // an emoji
    EXPECT_EQ(Utf8ToCp1254("a\xC3"), "a?"); // cut sequence
    EXPECT_EQ(Utf8ToCp1254("\xFF\xFE"
                           "x"),
        "??x"); // not UTF-8 at all
    EXPECT_EQ(Utf16ToCp1254(std::u16string(1, char16_t(0xD800)) + u"x"), "?x"); // lone surrogate
}

// ---------------------------------------------------------------------------------------------
// Threads

TEST(LocaleThreads, ConcurrentFirstUseAndComparisons) {
    // Hungarian is used nowhere else in this program, so its collators, case tables and
    // ranks are created while the threads race for them.
    const std::vector<std::string> words = { "\xF6r\xF6m", "orom", "Zsolt", "zsa", "cs\xE9sze",
        "cukor", "\xFCveg", "Ugar", "\xFD\xFE\xE7", "kalem", "KALEM", "kal", "\xE1lom", "alom" };
    constexpr int kThreads = 4;
    std::vector<std::vector<int>> results(kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            std::vector<int>& out = results[t];
            for (int round = 0; round < 20; ++round) {
                for (uint32_t locale_id : { kHungarian, kTurkishLocale, kAnsiStandardLocale }) {
                    for (const std::string& a : words) {
                        for (const std::string& b : words) {
                            out.push_back(CompareLocaleStrings(locale_id, a, b, (round & 1) != 0));
                            out.push_back(CompareLocaleChars(locale_id, a[0], b[0]));
                        }
                        std::string upper = a;
                        UpperCaseLocale(locale_id, upper);
                        out.push_back(CompareLocaleStrings(0, upper, a, false));
                    }
                    out.push_back(LocaleCharacterOrder(locale_id)[200]);
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    for (int t = 1; t < kThreads; ++t)
        EXPECT_EQ(results[t], results[0]) << "thread " << t;
    // The first round, recomputed on one thread, gives the same answers.
    std::vector<int> expected;
    for (uint32_t locale_id : { kHungarian, kTurkishLocale, kAnsiStandardLocale }) {
        for (const std::string& a : words) {
            for (const std::string& b : words) {
                expected.push_back(CompareLocaleStrings(locale_id, a, b, false));
                expected.push_back(CompareLocaleChars(locale_id, a[0], b[0]));
            }
            std::string upper = a;
            UpperCaseLocale(locale_id, upper);
            expected.push_back(CompareLocaleStrings(0, upper, a, false));
        }
        expected.push_back(LocaleCharacterOrder(locale_id)[200]);
    }
    ASSERT_GE(results[0].size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), results[0].begin()));
}

} // namespace
} // namespace zolvek
