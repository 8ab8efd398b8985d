#include "app/search_texts.h"

#include <array>

namespace zendo {

namespace {

// The two alphabets of the fold in Windows-1254, letter for letter.
constexpr std::string_view kLower = "abc\xE7"
                                    "defg\xF0"
                                    "h\xFD"
                                    "ijklmno\xF6"
                                    "pqrs\xFE"
                                    "tu\xFC"
                                    "vwxyz";
constexpr std::string_view kUpper = "ABC\xC7"
                                    "DEFG\xD0"
                                    "HI\xDD"
                                    "JKLMNO\xD6"
                                    "PQRS\xDE"
                                    "TU\xDC"
                                    "VWXYZ";
static_assert(kLower.size() == 32 && kUpper.size() == 32);

constexpr std::array<char, 256> MakeFoldTable() {
    std::array<char, 256> table {};
    for (int i = 0; i < 256; ++i)
        table[size_t(i)] = char(i);
    for (size_t i = 0; i < kLower.size(); ++i)
        table[uint8_t(kLower[i])] = kUpper[i];
    return table;
}

constexpr std::array<char, 256> kFold = MakeFoldTable();

// Whether the fold of `text` begins with the fold of `prefix`.
bool FoldedStartsWith(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (kFold[uint8_t(text[i])] != kFold[uint8_t(prefix[i])])
            return false;
    }
    return true;
}

// Whether the fold of `text` holds the fold of `needle` anywhere (an empty needle everywhere).
bool FoldedContains(std::string_view text, std::string_view needle) {
    if (needle.empty())
        return true;
    if (needle.size() > text.size())
        return false;
    const char first = kFold[uint8_t(needle[0])];
    const size_t last_start = text.size() - needle.size();
    for (size_t start = 0; start <= last_start; ++start) {
        if (kFold[uint8_t(text[start])] == first && FoldedStartsWith(text.substr(start), needle))
            return true;
    }
    return false;
}

} // namespace

char TurkishFoldChar(char c) {
    return kFold[uint8_t(c)];
}

std::string TurkishFold(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        c = kFold[uint8_t(c)];
    return folded;
}

bool AdvancedSearchAccepts(std::string_view typed, std::string_view key) {
    if (typed.empty() || typed == "*")
        return true;
    if (typed[0] == '*' && FoldedContains(key, typed.substr(1)))
        return true;
    return FoldedStartsWith(key, typed);
}

std::string PrefixFilterText(std::string_view typed) {
    std::string filter = "[ANAHTAR]='";
    for (char c : typed) {
        if (c == '\'')
            filter += '\'';
        filter += c;
    }
    filter += "*'";
    return filter;
}

std::string TrimControls(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && uint8_t(text[begin]) <= 32)
        ++begin;
    while (end > begin && uint8_t(text[end - 1]) <= 32)
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string CountTitle(int64_t count) {
    return "ZENDO [" + std::to_string(count) + "]";
}

} // namespace zendo
