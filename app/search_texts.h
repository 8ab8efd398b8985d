// The texts of the glossary's searches, on the engine's Windows-1254 bytes: the Turkish case
// fold of "Sadece Benzerleri Göster (Gelişmiş)", the match of its record callback, the filter
// expression of "Sadece Benzerleri Göster", the trimming of the word entry dialog and the title.
// Thread-safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zendo {

// Each letter of the lower alphabet "abcçdefgğhıijklmnoöpqrsştuüvwxyz" becomes the letter at the
// same place in "ABCÇDEFGĞHIİJKLMNOÖPQRSŞTUÜVWXYZ" (ı gives I, i gives İ); every other byte
// stays. The result has the length of the input.
std::string TurkishFold(std::string_view text);
// The fold of one byte.
char TurkishFoldChar(char c);

// Whether the record callback of the advanced mode accepts a key word `key` for the typed text
// `typed` (both engine text): an empty text or a lone "*" accepts everything; "*" followed by b
// accepts a key word that holds b anywhere; otherwise, and as a second chance for a "*" text,
// the key word must begin with the text, the "*" included. Letters compare folded.
bool AdvancedSearchAccepts(std::string_view typed, std::string_view key);

// The filter of "Sadece Benzerleri Göster" for a typed text: [ANAHTAR]= and the text with a
// "*" appended, in single quotes, every single quote inside doubled.
std::string PrefixFilterText(std::string_view typed);

// Removes every leading and trailing character with a code from 0 to 32.
std::string TrimControls(std::string_view text);

// "ZENDO [" + count + "]".
std::string CountTitle(int64_t count);

} // namespace zendo
