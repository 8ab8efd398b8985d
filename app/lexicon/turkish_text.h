// The Turkish text rules the word services share: the search fold (Turkish lower case, with the
// circumflex vowels as their plain letters), the "skeleton" in which the letters that people
// type without a Turkish keyboard (ı/i, ş/s, ğ/g, ü/u, ö/o, ç/c) coincide, and the split of a
// text into words. All texts are Windows-1254 bytes.
// Thread-safety: pure functions over tables built once per process.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zendo::lexicon {

// Turkish lower case under locale 1055 (I -> ı, İ -> i), and â, î, û -> a, i, u, as the
// collation ignores accents too. One byte in, one byte out.
char FoldChar(char c);
std::string Fold(std::string_view text);

// The fold, then ı, ş, ğ, ü, ö, ç -> i, s, g, u, o, c.
char SkeletonChar(char c);
std::string Skeleton(std::string_view text);

// A word character: a letter or digit of Windows-1254 (Unicode's alphanumerics). Everything
// else separates words, the apostrophe too: "Ankara'da" is the words "Ankara" and "da".
bool IsWordChar(char c);

// The tables behind FoldChar and IsWordChar, for loops over long texts.
const std::array<char, 256>& FoldTable();
const std::array<bool, 256>& WordCharTable();

// The folded words of a text, in order, repeats kept.
std::vector<std::string> FoldedWords(std::string_view text);

// Calls visit(begin, length) for each word of `text` (unfolded).
template <typename Visit> void ForEachWord(std::string_view text, Visit&& visit) {
    const std::array<bool, 256>& word = WordCharTable();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && !word[uint8_t(text[i])])
            ++i;
        size_t start = i;
        while (i < text.size() && word[uint8_t(text[i])])
            ++i;
        if (i > start)
            visit(start, i - start);
    }
}

} // namespace zendo::lexicon
