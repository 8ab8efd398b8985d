// Collation and case mapping through ICU.
//
// Strings are Windows-1254 bytes. They reach ICU as UTF-16 through a byte -> UTF-16 table made
// once from ICU's converter for the code page, written into stack buffers, so that an ordinary
// comparison allocates nothing. Everything per locale (two collators, the case tables and the
// character ranks) lives in one LocaleData made on the first request for its identifier and
// kept for the process's life; a comparison never builds a collator.
//
// Collator attributes. The comparison rules are those of the Windows flags SORT_STRINGSORT |
// NORM_IGNORENONSPACE (| NORM_IGNORECASE): punctuation and symbols are ordinary characters
// (alternate handling non-ignorable), accents are ignored (strength primary), and case counts
// unless it is ignored (case level on over primary strength, lower case first).
//
// Threads. A UCollator is shared by every thread and only ever used through ucol_strcoll,
// which takes a const UCollator*: ICU's threading model makes const use of a collator safe
// from several threads once its attributes are set, and attributes are set only before the
// LocaleData is published under the registry lock. Each thread keeps a one-entry cache of the
// last LocaleData it used, so the lock is taken only when a thread changes locale.
#include "db/base/locale.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uloc.h>
#include <unicode/unorm2.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace zolvek {
namespace {

// ---------------------------------------------------------------------------------------------
// Code page 1254

class CodePage1254 {
public:
    CodePage1254()
        : from_unicode_(new uint8_t[0x10000]()) {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* converter = ucnv_open("windows-1254", &status);
        for (int byte = 0; byte < 256; ++byte) {
            char16_t unit = char16_t(byte);
            if (converter && U_SUCCESS(status)) {
                const char source = char(byte);
                UChar target[4];
                UErrorCode one = U_ZERO_ERROR;
                int32_t count = ucnv_toUChars(converter, target, 4, &source, 1, &one);
                if (U_SUCCESS(one) && count == 1)
                    unit = target[0];
            }
            to_unicode_[byte] = unit;
        }
        if (converter)
            ucnv_close(converter);
        // Built from the high bytes down so that a code unit reached twice keeps its lowest
        // byte; byte 0 is handled by FromUnicode itself.
        for (int byte = 255; byte > 0; --byte)
            from_unicode_[to_unicode_[byte]] = uint8_t(byte);
    }

    char16_t ToUnicode(uint8_t byte) const { return to_unicode_[byte]; }
    const char16_t* Table() const { return to_unicode_; }

    // The byte for a code point, or -1 when the code page has none.
    int FromUnicode(UChar32 c) const {
        if (c == 0)
            return 0;
        if (c < 0 || c > 0xFFFF || from_unicode_[c] == 0)
            return -1;
        return from_unicode_[c];
    }

private:
    char16_t to_unicode_[256];
    std::unique_ptr<uint8_t[]> from_unicode_;
};

const CodePage1254& CodePage() {
    static const CodePage1254 code_page;
    return code_page;
}

// ---------------------------------------------------------------------------------------------
// Per-locale data

// The locale's own mapping of one character when it gives exactly one character of the code
// page, else the simple (one-to-one) Unicode mapping when that does, else the character itself.
uint8_t MapCase(const char* icu_locale, uint8_t byte, bool upper) {
    const CodePage1254& code_page = CodePage();
    const UChar source = code_page.ToUnicode(byte);
    UChar target[8];
    UErrorCode status = U_ZERO_ERROR;
    int32_t count = upper ? u_strToUpper(target, 8, &source, 1, icu_locale, &status)
                          : u_strToLower(target, 8, &source, 1, icu_locale, &status);
    if (U_SUCCESS(status) && count == 1) {
        int mapped = code_page.FromUnicode(target[0]);
        if (mapped >= 0)
            return uint8_t(mapped);
    }
    int mapped = code_page.FromUnicode(upper ? u_toupper(source) : u_tolower(source));
    return mapped >= 0 ? uint8_t(mapped) : byte;
}

void BuildCaseTables(const char* icu_locale, uint8_t* upper, uint8_t* lower) {
    for (int byte = 0; byte < 256; ++byte) {
        upper[byte] = MapCase(icu_locale, uint8_t(byte), true);
        lower[byte] = MapCase(icu_locale, uint8_t(byte), false);
    }
}

UCollator* OpenCollator(const char* icu_locale, bool case_insensitive) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(icu_locale, &status);
    if (U_FAILURE(status)) {
        ucol_close(collator);
        return nullptr;
    }
    ucol_setAttribute(collator, UCOL_STRENGTH, UCOL_PRIMARY, &status);
    ucol_setAttribute(collator, UCOL_CASE_LEVEL, case_insensitive ? UCOL_OFF : UCOL_ON, &status);
    ucol_setAttribute(collator, UCOL_CASE_FIRST, UCOL_OFF, &status);
    ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    if (U_FAILURE(status)) {
        ucol_close(collator);
        return nullptr;
    }
    return collator;
}

struct LocaleData {
    uint32_t locale_id = 0;
    bool available = false;
    std::string icu_locale; // "" is the root locale
    // [0] case-sensitive, [1] case-insensitive; nullptr only if ICU cannot open even the root.
    UCollator* collators[2] = {};
    uint8_t upper[256];
    uint8_t lower[256];

    // Built on the first character comparison or order request.
    std::once_flag ranks_once;
    uint8_t rank[256]; // equal ranks for characters that compare equal
    std::array<uint8_t, 256> order {}; // the character order table

    // Built on the first request.
    std::once_flag simple_once;
    bool simple[256]; // one primary weight of its own, no contraction
    bool foldable[256]; // letter case can be ignored through the upper-case form
    bool moved_capital[256]; // the capital of a character that weighs otherwise
    std::string fold_variants[256];
};

int ClampResult(int result) {
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// Windows-1254 bytes as UTF-16 in a stack buffer, on the heap only for long texts.
class Utf16Text {
public:
    explicit Utf16Text(std::string_view text) {
        length_ = int32_t(text.size());
        data_ = buffer_;
        if (text.size() > kStackChars) {
            heap_.reset(new char16_t[text.size()]);
            data_ = heap_.get();
        }
        const char16_t* table = CodePage().Table();
        for (size_t i = 0; i < text.size(); ++i)
            data_[i] = table[uint8_t(text[i])];
    }
    Utf16Text(const Utf16Text&) = delete;
    Utf16Text& operator=(const Utf16Text&) = delete;

    const UChar* Data() const { return data_; }
    int32_t Length() const { return length_; }

private:
    static constexpr size_t kStackChars = 256;
    char16_t buffer_[kStackChars];
    std::unique_ptr<char16_t[]> heap_;
    char16_t* data_;
    int32_t length_;
};

int Collate(const UCollator* collator, std::string_view first, std::string_view second) {
    if (collator == nullptr) {
        // Only when ICU has no collation data at all: byte order keeps the order consistent.
        size_t common = std::min(first.size(), second.size());
        int result = common ? std::memcmp(first.data(), second.data(), common) : 0;
        if (result == 0)
            result = first.size() < second.size() ? -1 : (first.size() > second.size() ? 1 : 0);
        return ClampResult(result);
    }
    Utf16Text a(first);
    Utf16Text b(second);
    switch (ucol_strcoll(collator, a.Data(), a.Length(), b.Data(), b.Length())) {
    case UCOL_LESS:
        return -1;
    case UCOL_EQUAL:
        return 0;
    case UCOL_GREATER:
        return 1;
    }
    return -2;
}

void BuildRanks(LocaleData& data) {
    std::array<uint8_t, 256> chars;
    for (int i = 0; i < 256; ++i)
        chars[i] = uint8_t(i);
    if (data.locale_id == kAnsiStandardLocale || data.collators[0] == nullptr) {
        for (int i = 0; i < 256; ++i)
            data.rank[i] = uint8_t(i);
    } else {
        // A zero byte ends a string, so as a "character" it is the empty string.
        auto one = [](const uint8_t& c) {
            return c ? std::string_view(reinterpret_cast<const char*>(&c), 1) : std::string_view();
        };
        const UCollator* collator = data.collators[0];
        std::stable_sort(chars.begin(), chars.end(), [&](const uint8_t& x, const uint8_t& y) {
            return Collate(collator, one(x), one(y)) < 0;
        });
        uint8_t rank = 0;
        data.rank[chars[0]] = 0;
        for (int i = 1; i < 256; ++i) {
            if (Collate(collator, one(chars[i - 1]), one(chars[i])) != 0)
                ++rank;
            data.rank[chars[i]] = rank;
        }
    }
    // Entries 0..30 stay in code order; the rest follow the stable sort, which keeps code
    // order among characters that compare equal.
    for (int i = 0; i < 31; ++i)
        data.order[i] = uint8_t(i);
    size_t next = 31;
    for (uint8_t c : chars)
        if (c >= 31 && data.available)
            data.order[next++] = c;
    if (!data.available)
        for (int i = 31; i < 256; ++i)
            data.order[i] = uint8_t(i);
}

void EnsureRanks(LocaleData& data) {
    std::call_once(data.ranks_once, [&data] { BuildRanks(data); });
}

// Ignoring letter case by upper-casing agrees with the collation's own case-insensitive
// comparison for a character when its capital weighs as it does, and when no character whose
// capital weighs otherwise (Turkish: the accented i letters, whose capitals are accented
// dotless I letters) is equal to it or to that capital. For the others: the capitals that such
// characters equal to them have, one for each weight.
void BuildFoldableCharacters(LocaleData& data) {
    for (int i = 0; i < 256; ++i) {
        data.foldable[i] = true;
        data.moved_capital[i] = false;
        data.fold_variants[i].clear();
    }
    const UCollator* collator = data.collators[1];
    if (data.locale_id == kAnsiStandardLocale || collator == nullptr)
        return;
    auto one = [](const uint8_t& c) {
        return c ? std::string_view(reinterpret_cast<const char*>(&c), 1) : std::string_view();
    };
    std::vector<uint8_t> moving; // characters whose capitals weigh otherwise
    for (int byte = 1; byte < 256; ++byte) {
        uint8_t c = uint8_t(byte);
        uint8_t capital = data.upper[c];
        if (Collate(collator, one(c), one(capital)) != 0) {
            moving.push_back(c);
            data.moved_capital[capital] = true;
        }
    }
    for (int byte = 1; byte < 256 && !moving.empty(); ++byte) {
        uint8_t c = uint8_t(byte);
        std::string& variants = data.fold_variants[byte];
        for (uint8_t other : moving) {
            uint8_t capital = data.upper[other];
            if (Collate(collator, one(c), one(other)) == 0
                || Collate(collator, one(c), one(capital)) == 0)
                data.foldable[byte] = false;
            if (Collate(collator, one(c), one(other)) != 0)
                continue;
            bool known = false;
            for (char v : variants)
                known = known || Collate(collator, one(capital), one(uint8_t(v))) == 0;
            if (!known)
                variants += char(capital);
        }
    }
}

// A character is simple when the collation gives it exactly one collation element with a
// primary weight (accents and case marks aside) and no contraction starts or continues with
// it: ignorable characters (controls), expanding ones (the German sharp s, ligatures) and the
// letters of contractions are not.
void BuildSimpleCharacters(LocaleData& data) {
    BuildFoldableCharacters(data);
    data.simple[0] = false;
    for (int i = 1; i < 256; ++i)
        data.simple[i] = true;
    const UCollator* collator = data.collators[1];
    if (data.locale_id == kAnsiStandardLocale || collator == nullptr)
        return;
    const CodePage1254& code_page = CodePage();
    for (int byte = 1; byte < 256; ++byte) {
        const UChar c = code_page.ToUnicode(uint8_t(byte));
        UErrorCode status = U_ZERO_ERROR;
        UCollationElements* elements = ucol_openElements(collator, &c, 1, &status);
        int primaries = 0;
        if (U_SUCCESS(status)) {
            for (int32_t ce = ucol_next(elements, &status);
                 ce != UCOL_NULLORDER && U_SUCCESS(status); ce = ucol_next(elements, &status)) {
                // The second half of a long element carries 0xC0 in its low byte.
                if ((ce & 0xC0) != 0xC0 && ucol_primaryOrder(ce) != 0)
                    ++primaries;
            }
        }
        ucol_closeElements(elements);
        data.simple[byte] = U_SUCCESS(status) && primaries == 1;
    }
    UErrorCode status = U_ZERO_ERROR;
    USet* contractions = uset_openEmpty();
    ucol_getContractionsAndExpansions(collator, contractions, nullptr, false, &status);
    if (U_SUCCESS(status)) {
        UChar text[64];
        for (int32_t i = 0; i < uset_getItemCount(contractions); ++i) {
            UErrorCode one = U_ZERO_ERROR;
            UChar32 start = 0;
            UChar32 end = 0;
            int32_t length = uset_getItem(contractions, i, &start, &end, text, 64, &one);
            if (U_FAILURE(one) || length <= 0 || length > 64)
                continue;
            // Only a contraction that a Windows-1254 text can hold counts (most join a letter
            // with a combining mark, which the code page lacks).
            bool in_code_page = true;
            for (int32_t k = 0; k < length && in_code_page; ++k)
                in_code_page = code_page.FromUnicode(text[k]) > 0;
            if (!in_code_page)
                continue;
            for (int32_t k = 0; k < length; ++k)
                data.simple[code_page.FromUnicode(text[k])] = false;
        }
    }
    uset_close(contractions);
}

// The ICU locale of an identifier when ICU maps it exactly both ways, else "".
std::string IcuLocaleForLcid(uint32_t locale_id) {
    char name[ULOC_FULLNAME_CAPACITY + 1] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uloc_getLocaleForLCID(locale_id, name, ULOC_FULLNAME_CAPACITY, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0)
        return {};
    // ICU falls back to the language for an unknown sub-language (0x0C1F gives "tr"); such an
    // identifier is not one that ICU knows.
    if (uloc_getLCID(name) != locale_id)
        return {};
    return name;
}

class LocaleRegistry {
public:
    LocaleData& Get(uint32_t locale_id) {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = by_id_.find(locale_id);
        if (found != by_id_.end())
            return *found->second;
        LocaleData* data = Make(locale_id);
        by_id_.emplace(locale_id, data);
        return *data;
    }

private:
    LocaleData* Make(uint32_t locale_id) {
        if (locale_id == kAnsiStandardLocale) {
            auto* data = new LocaleData;
            data->available = true;
            // The root locale's casing: the code page's plain, non-linguistic mapping.
            BuildCaseTables("", data->upper, data->lower);
            return data;
        }
        std::string icu_locale = IcuLocaleForLcid(locale_id);
        UCollator* sensitive = nullptr;
        UCollator* insensitive = nullptr;
        if (!icu_locale.empty()) {
            sensitive = OpenCollator(icu_locale.c_str(), false);
            insensitive = OpenCollator(icu_locale.c_str(), true);
        }
        if (sensitive == nullptr || insensitive == nullptr) {
            // Unknown identifiers share one entry with the root collation.
            ucol_close(sensitive);
            ucol_close(insensitive);
            return &Fallback();
        }
        auto* data = new LocaleData;
        data->locale_id = locale_id;
        data->available = true;
        data->icu_locale = icu_locale;
        data->collators[0] = sensitive;
        data->collators[1] = insensitive;
        BuildCaseTables(icu_locale.c_str(), data->upper, data->lower);
        return data;
    }

    LocaleData& Fallback() {
        if (fallback_ == nullptr) {
            fallback_ = new LocaleData;
            fallback_->locale_id = UINT32_MAX;
            fallback_->collators[0] = OpenCollator("", false);
            fallback_->collators[1] = OpenCollator("", true);
            BuildCaseTables("", fallback_->upper, fallback_->lower);
        }
        return *fallback_;
    }

    std::mutex mutex_;
    // Entries are never freed: references handed out stay valid for the process's life.
    std::unordered_map<uint32_t, LocaleData*> by_id_;
    LocaleData* fallback_ = nullptr;
};

LocaleRegistry& Registry() {
    // Never destroyed, so that comparisons made during static destruction still work.
    static LocaleRegistry* registry = new LocaleRegistry;
    return *registry;
}

// The default locale's data is asked for on every case-insensitive default comparison; it
// never goes through the per-thread cache.
LocaleData& AnsiData() {
    static LocaleData& data = Registry().Get(kAnsiStandardLocale);
    return data;
}

// The last few locales a thread used; a miss takes the registry lock.
struct CachedLocale {
    uint32_t locale_id;
    LocaleData* data;
};
constexpr int kCachedLocales = 4;
thread_local CachedLocale tls_locales[kCachedLocales] = {};
thread_local int tls_next_slot = 0;

LocaleData& Data(uint32_t locale_id) {
    if (locale_id == kAnsiStandardLocale)
        return AnsiData();
    for (const CachedLocale& cached : tls_locales)
        if (cached.data != nullptr && cached.locale_id == locale_id)
            return *cached.data;
    LocaleData& data = Registry().Get(locale_id);
    tls_locales[tls_next_slot] = { locale_id, &data };
    tls_next_slot = (tls_next_slot + 1) % kCachedLocales;
    return data;
}

// The string as the comparison sees it: up to its first zero byte, and at most `length`
// characters when length > 0.
std::string_view Bound(std::string_view text, size_t length) {
    size_t limit = length ? std::min(length, text.size()) : text.size();
    if (limit == 0)
        return {};
    const void* zero = std::memchr(text.data(), 0, limit);
    if (zero)
        limit = size_t(static_cast<const char*>(zero) - text.data());
    return text.substr(0, limit);
}

int CompareAnsi(std::string_view first, std::string_view second, bool case_insensitive) {
    size_t common = std::min(first.size(), second.size());
    if (!case_insensitive) {
        int result = common ? std::memcmp(first.data(), second.data(), common) : 0;
        if (result != 0)
            return ClampResult(result);
    } else {
        const uint8_t* upper = AnsiData().upper;
        for (size_t i = 0; i < common; ++i) {
            uint8_t a = upper[uint8_t(first[i])];
            uint8_t b = upper[uint8_t(second[i])];
            if (a != b)
                return a < b ? -1 : 1;
        }
    }
    return first.size() < second.size() ? -1 : (first.size() > second.size() ? 1 : 0);
}

void MapBytes(const uint8_t* table, char* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        text[i] = char(table[uint8_t(text[i])]);
}

// ---------------------------------------------------------------------------------------------
// Locale list helpers

// Windows' own abbreviations of the common locales; the rest follow the general rule.
struct KnownAbbreviation {
    uint32_t locale_id;
    const char* abbreviation;
};
constexpr KnownAbbreviation kKnownAbbreviations[] = {
    { 0x0401, "ARA" },
    { 0x0402, "BGR" },
    { 0x0403, "CAT" },
    { 0x0404, "CHT" },
    { 0x0405, "CSY" },
    { 0x0406, "DAN" },
    { 0x0407, "DEU" },
    { 0x0408, "ELL" },
    { 0x0409, "ENU" },
    { 0x040B, "FIN" },
    { 0x040C, "FRA" },
    { 0x040D, "HEB" },
    { 0x040E, "HUN" },
    { 0x040F, "ISL" },
    { 0x0410, "ITA" },
    { 0x0411, "JPN" },
    { 0x0412, "KOR" },
    { 0x0413, "NLD" },
    { 0x0414, "NOR" },
    { 0x0415, "PLK" },
    { 0x0416, "PTB" },
    { 0x0418, "ROM" },
    { 0x0419, "RUS" },
    { 0x041A, "HRV" },
    { 0x041B, "SKY" },
    { 0x041D, "SVE" },
    { 0x041E, "THA" },
    { 0x041F, "TRK" },
    { 0x0421, "IND" },
    { 0x0422, "UKR" },
    { 0x0424, "SLV" },
    { 0x0425, "ETI" },
    { 0x0426, "LVI" },
    { 0x0427, "LTH" },
    { 0x0429, "FAR" },
    { 0x042A, "VIT" },
    { 0x042D, "EUQ" },
    { 0x0436, "AFK" },
    { 0x0439, "HIN" },
    { 0x0804, "CHS" },
    { 0x0807, "DES" },
    { 0x0809, "ENG" },
    { 0x080A, "ESM" },
    { 0x080C, "FRB" },
    { 0x0810, "ITS" },
    { 0x0813, "NLB" },
    { 0x0814, "NON" },
    { 0x0816, "PTG" },
    { 0x081D, "SVF" },
    { 0x0C07, "DEA" },
    { 0x0C09, "ENA" },
    { 0x0C0A, "ESN" },
    { 0x0C0C, "FRC" },
    { 0x1007, "DEL" },
    { 0x1009, "ENC" },
    { 0x100C, "FRS" },
    { 0x1407, "DEC" },
    { 0x1409, "ENZ" },
    { 0x140C, "FRL" },
    { 0x1809, "ENI" },
};

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string Abbreviation(
    uint32_t locale_id, const std::string& language, const std::string& country) {
    for (const KnownAbbreviation& known : kKnownAbbreviations)
        if (known.locale_id == locale_id)
            return known.abbreviation;
    std::string abbreviation;
    for (size_t i = 0; i < language.size() && i < 2; ++i)
        abbreviation += UpperAscii(language[i]);
    if (!country.empty())
        abbreviation += UpperAscii(country[0]);
    return abbreviation;
}

// An ICU display text (English) as 1254 text. A letter that the code page lacks is written
// without its accents when that helps ("M\u0101ori" becomes "Maori"), else as '?'.
template <typename Display> std::string DisplayText(Display display) {
    UChar buffer[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = display(buffer, 256, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0)
        return {};
    const CodePage1254& code_page = CodePage();
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    std::string text;
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U16_NEXT(buffer, i, length, c);
        int byte = code_page.FromUnicode(c);
        UChar decomposed[8];
        UErrorCode one = U_ZERO_ERROR;
        if (byte < 0 && U_SUCCESS(status)
            && unorm2_getDecomposition(nfd, c, decomposed, 8, &one) > 0 && U_SUCCESS(one)
            && !U16_IS_SURROGATE(decomposed[0]))
            byte = code_page.FromUnicode(decomposed[0]);
        text += byte >= 0 ? char(byte) : '?';
    }
    return text;
}

// The "user locale" of the list's own name comparisons: the names are English.
constexpr uint32_t kNameLocale = 0x0409;

} // namespace

// -------------------------------------------------------------------------------------------------
// Comparison and case mapping

int CompareLocaleStrings(uint32_t locale_id, std::string_view first, std::string_view second,
    bool case_insensitive, size_t length) {
    first = Bound(first, length);
    second = Bound(second, length);
    if (locale_id == kAnsiStandardLocale)
        return CompareAnsi(first, second, case_insensitive);
    if (first == second)
        return 0;
    return Collate(Data(locale_id).collators[case_insensitive ? 1 : 0], first, second);
}

int CompareLocaleChars(uint32_t locale_id, char first, char second) {
    uint8_t a = uint8_t(first);
    uint8_t b = uint8_t(second);
    if (locale_id != kAnsiStandardLocale) {
        LocaleData& data = Data(locale_id);
        EnsureRanks(data);
        a = data.rank[a];
        b = data.rank[b];
    }
    return a < b ? -1 : (a > b ? 1 : 0);
}

void UpperCaseLocale(uint32_t locale_id, char* text, size_t length) {
    MapBytes(Data(locale_id).upper, text, length);
}

void LowerCaseLocale(uint32_t locale_id, char* text, size_t length) {
    MapBytes(Data(locale_id).lower, text, length);
}

void UpperCaseLocale(uint32_t locale_id, std::string& text) {
    UpperCaseLocale(locale_id, text.data(), text.size());
}

void LowerCaseLocale(uint32_t locale_id, std::string& text) {
    LowerCaseLocale(locale_id, text.data(), text.size());
}

int CompareBytes(const void* first, const void* second, size_t length, bool reverse) {
    if (first == nullptr)
        return 1;
    if (second == nullptr)
        return -1;
    int result = length ? ClampResult(std::memcmp(first, second, length)) : 0;
    return reverse ? -result : result;
}

bool IsLocaleAvailable(uint32_t locale_id) {
    return locale_id == kAnsiStandardLocale || Data(locale_id).available;
}

bool IsSimpleCollationCharacter(uint32_t locale_id, char c) {
    LocaleData& data = Data(locale_id);
    std::call_once(data.simple_once, [&data] { BuildSimpleCharacters(data); });
    return data.simple[uint8_t(c)];
}

bool IsCaseFoldableCharacter(uint32_t locale_id, char c) {
    LocaleData& data = Data(locale_id);
    std::call_once(data.simple_once, [&data] { BuildSimpleCharacters(data); });
    return data.foldable[uint8_t(c)];
}

bool IsMovedCapital(uint32_t locale_id, char c) {
    LocaleData& data = Data(locale_id);
    std::call_once(data.simple_once, [&data] { BuildSimpleCharacters(data); });
    return data.moved_capital[uint8_t(c)];
}

const std::string& CaseFoldVariants(uint32_t locale_id, char c) {
    LocaleData& data = Data(locale_id);
    std::call_once(data.simple_once, [&data] { BuildSimpleCharacters(data); });
    return data.fold_variants[uint8_t(c)];
}

const std::array<uint8_t, 256>& LocaleCharacterOrder(uint32_t locale_id) {
    LocaleData& data = Data(locale_id);
    EnsureRanks(data);
    return data.order;
}

// -------------------------------------------------------------------------------------------------
// Code page conversions

std::u16string Cp1254ToUtf16(std::string_view text) {
    const CodePage1254& code_page = CodePage();
    std::u16string result(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        result[i] = code_page.ToUnicode(uint8_t(text[i]));
    return result;
}

std::string Cp1254ToUtf8(std::string_view text) {
    const CodePage1254& code_page = CodePage();
    std::string result;
    result.reserve(text.size() * 2);
    for (char byte : text) {
        char encoded[U8_MAX_LENGTH];
        int32_t length = 0;
        U8_APPEND_UNSAFE(encoded, length, code_page.ToUnicode(uint8_t(byte)));
        result.append(encoded, size_t(length));
    }
    return result;
}

std::string Utf16ToCp1254(std::u16string_view text) {
    const CodePage1254& code_page = CodePage();
    std::string result;
    result.reserve(text.size());
    const int32_t length = int32_t(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U16_NEXT(text.data(), i, length, c);
        int byte = U_IS_SURROGATE(c) ? -1 : code_page.FromUnicode(c);
        result += byte >= 0 ? char(byte) : '?';
    }
    return result;
}

std::string Utf8ToCp1254(std::string_view text) {
    const CodePage1254& code_page = CodePage();
    std::string result;
    result.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = int32_t(std::min(text.size(), size_t(INT32_MAX)));
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        int byte = c < 0 ? -1 : code_page.FromUnicode(c);
        result += byte >= 0 ? char(byte) : '?';
    }
    return result;
}

// -------------------------------------------------------------------------------------------------
// TLocaleList

void TLocaleList::BuildLocaleList() {
    struct Candidate {
        uint32_t locale_id;
        std::string icu_locale;
        std::string language;
        std::string country;
    };
    std::vector<Candidate> candidates;
    const int32_t available = uloc_countAvailable();
    for (int32_t i = 0; i < available; ++i) {
        const char* icu_locale = uloc_getAvailable(i);
        const uint32_t locale_id = uloc_getLCID(icu_locale);
        // Only specific locales (a sub-language, so a country) that ICU maps back exactly:
        // one entry per identifier.
        if (locale_id == 0 || ((locale_id >> 10) & 0x3F) == 0)
            continue;
        if (IcuLocaleForLcid(locale_id) != icu_locale)
            continue;
        char language[ULOC_LANG_CAPACITY] = {};
        char country[ULOC_COUNTRY_CAPACITY] = {};
        UErrorCode status = U_ZERO_ERROR;
        uloc_getLanguage(icu_locale, language, ULOC_LANG_CAPACITY, &status);
        uloc_getCountry(icu_locale, country, ULOC_COUNTRY_CAPACITY, &status);
        if (U_FAILURE(status) || language[0] == 0 || country[0] == 0)
            continue;
        candidates.push_back({ locale_id, icu_locale, language, country });
    }

    std::unordered_map<std::string, int> per_language;
    for (const Candidate& candidate : candidates)
        ++per_language[candidate.language];

    std::vector<TDataLocale> locales;
    bool has_german = false;
    for (const Candidate& candidate : candidates) {
        const char* icu_locale = candidate.icu_locale.c_str();
        TDataLocale locale;
        locale.LocaleID = candidate.locale_id;
        if (per_language[candidate.language] == 1) {
            locale.Name = DisplayText([&](UChar* out, int32_t capacity, UErrorCode* status) {
                return uloc_getDisplayLanguage(icu_locale, "en", out, capacity, status);
            });
        } else {
            locale.Name = DisplayText([&](UChar* out, int32_t capacity, UErrorCode* status) {
                return uloc_getDisplayName(icu_locale, "en", out, capacity, status);
            });
        }
        locale.Abbreviation
            = Abbreviation(candidate.locale_id, candidate.language, candidate.country);
        if (locale.Name.empty() || locale.Abbreviation.empty())
            continue;
        has_german = has_german || candidate.locale_id == kGermanLocale;
        locales.push_back(std::move(locale));
    }
    if (has_german)
        locales.push_back({ kGermanPhoneBookLocale, "German (German Phone Book)", "DEP" });

    std::stable_sort(
        locales.begin(), locales.end(), [](const TDataLocale& a, const TDataLocale& b) {
            return CompareLocaleStrings(kNameLocale, a.Name, b.Name, false) < 0;
        });
    locales.insert(locales.begin(), { kAnsiStandardLocale, "ANSI Standard", "ANSI" });
    locales_ = std::move(locales);
}

const TDataLocale* TLocaleList::FindLocale(uint32_t locale_id) const {
    for (const TDataLocale& locale : locales_)
        if (locale.LocaleID == locale_id)
            return &locale;
    return nullptr;
}

bool TLocaleList::LocaleExists(std::string_view name) const {
    for (const TDataLocale& locale : locales_)
        if (CompareLocaleStrings(kNameLocale, name, locale.Name, true) == 0)
            return true;
    return false;
}

uint32_t TLocaleList::FindLocaleByName(std::string_view name) const {
    for (const TDataLocale& locale : locales_)
        if (CompareLocaleStrings(kNameLocale, name, locale.Name, true) == 0)
            return locale.LocaleID;
    return kAnsiStandardLocale;
}

void TLocaleList::GetCharacterOrder(uint32_t locale_id, std::array<uint8_t, 256>& order) const {
    order = LocaleCharacterOrder(kAnsiStandardLocale);
    if (locale_id != kAnsiStandardLocale && FindLocale(locale_id) != nullptr)
        order = LocaleCharacterOrder(locale_id);
}

// -------------------------------------------------------------------------------------------------
// TLocaleStringList

TLocaleStringList::TLocaleStringList(uint32_t locale_id, TDuplicates duplicates)
    : locale_id_(locale_id)
    , duplicates_(duplicates) { }

int TLocaleStringList::Compare(
    std::string_view first, std::string_view second, size_t length) const {
    return CompareLocaleStrings(locale_id_, first, second, true, length);
}

void TLocaleStringList::SetLocaleID(uint32_t locale_id) {
    locale_id_ = locale_id;
    std::stable_sort(items_.begin(), items_.end(),
        [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
}

size_t TLocaleStringList::Add(std::string_view text) {
    size_t index = 0;
    if (Find(text, index)) {
        if (duplicates_ == TDuplicates::dupIgnore)
            return index;
        if (duplicates_ == TDuplicates::dupError)
            throw std::invalid_argument("String list does not allow duplicates");
        while (index < items_.size() && Compare(items_[index], text) == 0)
            ++index;
    }
    items_.insert(items_.begin() + std::ptrdiff_t(index), std::string(text));
    return index;
}

void TLocaleStringList::Delete(size_t index) {
    if (index < items_.size())
        items_.erase(items_.begin() + std::ptrdiff_t(index));
}

bool TLocaleStringList::Find(std::string_view text, size_t& index) const {
    return FindPartial(text, 0, 0, index);
}

bool TLocaleStringList::FindPartial(
    std::string_view text, size_t length, size_t start, size_t& index) const {
    // The first entry not less than text. Equal entries are adjacent, so when any probe was
    // equal the search ends on the first of them.
    size_t low = std::min(start, items_.size());
    size_t high = items_.size();
    bool found = false;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        int result = Compare(items_[middle], text, length);
        if (result < 0) {
            low = middle + 1;
        } else {
            high = middle;
            found = found || result == 0;
        }
    }
    index = low;
    return found;
}

bool TLocaleStringList::FindWildcard(std::string_view text, size_t& index) const {
    // An entry "p*" against text: the first |p| characters of text against p.
    auto compare = [&](const std::string& entry) {
        if (!entry.empty() && entry.back() == '*') {
            std::string_view prefix(entry.data(), entry.size() - 1);
            return prefix.empty() ? 0 : Compare(prefix, text, prefix.size());
        }
        return Compare(entry, text);
    };
    size_t low = 0;
    size_t high = items_.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        int result = compare(items_[middle]);
        if (result == 0) {
            index = middle;
            return true;
        }
        if (result < 0)
            low = middle + 1;
        else
            high = middle;
    }
    index = low;
    // Other entries can sort between a prefix entry and the text ("abc*", "abcd", "abce" for
    // "abcz"), so the search above can step past a matching prefix entry. Look each possible
    // prefix entry up by its whole text, longest first.
    std::string candidate;
    for (size_t length = Bound(text, 0).size() + 1; length-- > 0;) {
        candidate.assign(text.data(), length);
        candidate += '*';
        size_t at = 0;
        if (!Find(candidate, at))
            continue;
        for (; at < items_.size() && Compare(items_[at], candidate) == 0; ++at) {
            if (!items_[at].empty() && items_[at].back() == '*') {
                index = at;
                return true;
            }
        }
    }
    return false;
}

} // namespace zolvek
