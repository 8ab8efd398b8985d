// Locales and collation: the engine's list of known locales, string and character comparison
// and case mapping under a Windows locale identifier (LCID; 0 is "ANSI Standard", byte order),
// the per-locale character order table, Windows-1254 conversion and TLocaleStringList.
// Thread-safety: the free functions may be called from any thread at once; per-locale state
// (collators, case and order tables) is built once on first use and kept for the process's
// life. A TLocaleList is read-only after BuildLocaleList; a TLocaleStringList is not shared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

inline constexpr uint32_t kAnsiStandardLocale = 0;
inline constexpr uint32_t kTurkishLocale = 0x041F; // 1055
inline constexpr uint32_t kGermanLocale = 0x0407;
inline constexpr uint32_t kGermanPhoneBookLocale = 0x10407;

// All strings are Windows-1254 bytes. locale_id is a Windows LCID; 0 = "ANSI Standard".
// A string ends at its first zero byte or at the end of the view, whichever comes first.
// Results are -1, 0 or 1 (a collation failure may give -2; callers treat negatives as less).
// length 0 compares the whole strings; length n > 0 their first n characters, where a string
// shorter than n differs from one that has a character where it ended.
// With a locale, accents (nonspacing marks) never count, punctuation does, and letter case
// counts unless case_insensitive is set. An identifier without collation support compares
// with the root collation, so orders stay consistent; IsLocaleAvailable tells the two apart.
int CompareLocaleStrings(uint32_t locale_id, std::string_view first, std::string_view second,
    bool case_insensitive, size_t length = 0);
// Compares two one-character strings under the locale, case-sensitive.
int CompareLocaleChars(uint32_t locale_id, char first, char second);

// In place; the length never changes (a character whose mapping is not one 1254 byte stays).
// Every one of the `length` bytes is mapped; a zero byte maps to itself. Identifier 0 uses the
// code page's plain casing (i and dotless i both upper-case to I); a locale uses its own
// linguistic casing (Turkish: i <-> dotted capital I, dotless i <-> I).
void UpperCaseLocale(uint32_t locale_id, char* text, size_t length);
void LowerCaseLocale(uint32_t locale_id, char* text, size_t length);
void UpperCaseLocale(uint32_t locale_id, std::string& text);
void LowerCaseLocale(uint32_t locale_id, std::string& text);

// Unsigned comparison of `length` bytes (zero bytes included); `reverse` inverts a non-zero
// result. A null first pointer gives 1, else a null second one -1, whatever `reverse` says.
int CompareBytes(const void* first, const void* second, size_t length, bool reverse = false);

// True for 0 and for an identifier that maps to a locale with collation support. Opening or
// creating a table whose locale fails this is refused with ZOLVEK_CANNOTLOADLDDRV (15878).
bool IsLocaleAvailable(uint32_t locale_id);

// True when the locale's collation weighs the character on its own: one primary weight, no
// contraction with its neighbours, not ignorable. Prefix comparisons of texts made of such
// characters agree with the order of whole texts. Every character but 0 under identifier 0.
bool IsSimpleCollationCharacter(uint32_t locale_id, char c);
// True when comparing upper-cased texts case-sensitively gives, for this character, what the
// locale's case-insensitive comparison gives: its capital weighs as it does, and no character
// whose capital weighs otherwise is equal to it. Under Turkish the accented i letters (their
// capitals are accented dotless I letters) and every letter equal to them or their capitals
// (the i and ı letters) are not. Every character under identifier 0.
bool IsCaseFoldableCharacter(uint32_t locale_id, char c);
// The capital of a character whose own weight differs from it (Turkish: the accented dotless
// I capitals, which the accented i letters upper-case to).
bool IsMovedCapital(uint32_t locale_id, char c);
// For a character that is not case-foldable: the capitals of the characters equal to it that
// weigh otherwise than they do, one for each weight (empty for the others).
const std::string& CaseFoldVariants(uint32_t locale_id, char c);

// The 256-byte character order of a locale: entry p is the character of rank p. Entries 0..30
// are 0..30; 31..255 hold the characters 31..255 sorted with CompareLocaleChars (characters
// that compare equal keep their code order). Identity for 0 and for unavailable identifiers.
// Built once per locale and process.
const std::array<uint8_t, 256>& LocaleCharacterOrder(uint32_t locale_id);

// Conversions between Windows-1254 and Unicode. Unmappable characters and ill-formed input
// become '?'.
std::string Cp1254ToUtf8(std::string_view text);
std::string Utf8ToCp1254(std::string_view text);
std::u16string Cp1254ToUtf16(std::string_view text);
std::string Utf16ToCp1254(std::u16string_view text);

// One known locale.
struct TDataLocale {
    uint32_t LocaleID = 0;
    std::string Name; // 1254 text, e.g. "Turkish", "English (United States)"
    std::string Abbreviation; // 1254 text, e.g. "TRK", "ENU"
};

// The engine's locale list: "ANSI Standard" first, then every locale with a Windows locale
// identifier that the collation service supports, sorted by name.
//
// Names are English display names: the language alone ("Turkish") when the list holds one
// locale of that language, else language with script and country ("English (United States)",
// "Serbian (Latin, Serbia)"). Abbreviations are Windows' three-letter forms for the common
// locales ("TRK", "ENU", "DEU") and otherwise the language's two letters followed by the first
// letter of the country code, upper case.
class TLocaleList {
public:
    // Replaces the list's contents. Requires: no other thread uses the list meanwhile.
    void BuildLocaleList();

    size_t Count() const { return locales_.size(); }
    // Requires: index < Count().
    const TDataLocale& Locale(size_t index) const { return locales_[index]; }
    // The entry with this identifier, or nullptr.
    const TDataLocale* FindLocale(uint32_t locale_id) const;

    // Name look-ups, without regard to case (English collation, as the names are English).
    bool LocaleExists(std::string_view name) const;
    // 0 when no name matches; callers check LocaleExists first.
    uint32_t FindLocaleByName(std::string_view name) const;

    // The character order of a listed locale; identity for 0 and for unlisted identifiers.
    void GetCharacterOrder(uint32_t locale_id, std::array<uint8_t, 256>& order) const;

private:
    std::vector<TDataLocale> locales_;
};

// A sorted list of strings ordered by the case-insensitive comparison of its locale.
class TLocaleStringList {
public:
    enum class TDuplicates { dupIgnore, dupAccept, dupError };

    explicit TLocaleStringList(
        uint32_t locale_id = kAnsiStandardLocale, TDuplicates duplicates = TDuplicates::dupIgnore);

    uint32_t LocaleID() const { return locale_id_; }
    // Re-sorts the entries under the new locale.
    void SetLocaleID(uint32_t locale_id);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }

    size_t Count() const { return items_.size(); }
    const std::string& operator[](size_t index) const { return items_[index]; }
    // Inserts in order and returns the position. An equal entry makes dupIgnore return its
    // position without inserting, dupError throw std::invalid_argument, and dupAccept insert
    // after the equal entries.
    size_t Add(std::string_view text);
    void Delete(size_t index);
    void Clear() { items_.clear(); }

    // Binary search over whole strings: true with the first equal entry, else false with the
    // position where `text` would be inserted.
    bool Find(std::string_view text, size_t& index) const;
    // As Find, comparing only the first `length` characters, among the entries from `start`.
    bool FindPartial(std::string_view text, size_t length, size_t start, size_t& index) const;
    // As Find, where an entry ending in '*' matches every text that begins with the characters
    // before the '*'. On a match `index` is that entry; otherwise the insertion position.
    bool FindWildcard(std::string_view text, size_t& index) const;

private:
    int Compare(std::string_view first, std::string_view second, size_t length = 0) const;

    uint32_t locale_id_;
    TDuplicates duplicates_;
    std::vector<std::string> items_;
};

} // namespace zolvek
