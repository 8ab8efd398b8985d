// Stems of a typed Turkish word: TStemmer asks the Turkish hunspell dictionary (its stem()
// undoes one suffix flag of the dictionary: "kitaplarımızdan" -> "kitap") and adds a small
// suffix-stripping fallback for what the dictionary lists as a word of its own or with a
// derivational suffix ("kitabımızdan" -> "kitap", "gözlükçü" -> "gözlük"). GlossaryStems keeps
// the stems that the glossary holds, most specific (longest) first.
// Thread-safety: a TStemmer may be built on any thread, then used by one thread at a time
// (hunspell keeps per-call state). GlossaryStems uses the keys' session thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Hunspell;

namespace zendo::lexicon {

class TGlossaryKeys;

inline constexpr const char* kTurkishAffixFile = "/usr/share/hunspell/tr_TR.aff";
inline constexpr const char* kTurkishDictionaryFile = "/usr/share/hunspell/tr_TR.dic";

class TStemmer {
public:
    // Loads the dictionary (about 0.3 s for tr_TR). A missing file raises std::runtime_error.
    TStemmer(const std::string& affix_file = kTurkishAffixFile,
        const std::string& dictionary_file = kTurkishDictionaryFile);
    ~TStemmer();
    TStemmer(const TStemmer&) = delete;
    TStemmer& operator=(const TStemmer&) = delete;

    // Whether the dictionary knows the word (1254 text; letter case as Turkish spelling allows).
    bool IsWord(std::string_view word) const;
    // The dictionary's own stems of the word (folded, 1254), as hunspell's stem() gives them.
    std::vector<std::string> DictionaryStems(std::string_view word) const;
    // Every candidate stem of the word, folded (Turkish lower case), without the word itself,
    // longest first: the dictionary's stems, then what stripping inflectional and a few
    // derivational suffixes (vowel harmony and consonant softening observed) leaves of the word
    // and of those stems, when the dictionary knows the remainder.
    std::vector<std::string> Stems(std::string_view word) const;

private:
    std::unique_ptr<Hunspell> hunspell_;
};

// What stripping one suffix of the table can leave of `word` (folded 1254): every remainder of
// at least two letters whose last vowel harmonises with the suffix, with a softened final
// consonant restored (kitab -> kitap) as a second candidate. Exposed for the tests.
std::vector<std::string> StripOneSuffix(std::string_view word);

// The stems of `word` that the glossary holds, most specific first, in the letter case the
// glossary stores them in; never the word itself.
std::vector<std::string> GlossaryStems(
    const TStemmer& stemmer, TGlossaryKeys& keys, std::string_view word);

} // namespace zendo::lexicon
