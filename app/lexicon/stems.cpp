// The fallback suffix table. Turkish suffixes change their vowels with the last vowel of the
// word (vowel harmony) and their first consonant with the last sound of the word; the table
// writes each suffix once with capitals for the letters that change:
//   A  a after a back vowel (a ı o u), e after a front one (e i ö ü)
//   I  ı after a ı, i after e i, u after o u, ü after ö ü
//   D  t after a voiceless consonant (ç f h k p s ş t), else d
//   C  ç after a voiceless consonant, else c
// A suffix that begins with a buffer letter (y, n, s) follows a vowel; one that begins with a
// vowel follows a consonant, which may have softened (kitap + ı = kitabı): b c d g ğ are tried
// as p ç t k k too.
#include "app/lexicon/stems.h"

#include "app/lexicon/glossary_source.h"
#include "app/lexicon/turkish_text.h"
#include "db/base/locale.h"

#include <hunspell/hunspell.hxx>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace zendo::lexicon {

namespace {

constexpr char kDotlessI = '\xFD'; // ı
constexpr char kSCedilla = '\xFE'; // ş
constexpr char kGBreve = '\xF0'; // ğ
constexpr char kUUmlaut = '\xFC'; // ü
constexpr char kOUmlaut = '\xF6'; // ö
constexpr char kCCedilla = '\xE7'; // ç

struct TSuffix {
    const char* pattern;
    bool after_vowel; // begins with a buffer letter (or is one letter after a vowel)
};

// Case, possession, plural, copula and the commonest derivations of nouns and adjectives, and
// the tense and person endings of verbs. Longer forms come from stripping several in turn.
const TSuffix kSuffixes[] = {
    // plural, possession
    { "lAr", false },
    { "lAr", true },
    { "Im", false },
    { "m", true },
    { "In", false },
    { "n", true },
    { "I", false },
    { "sI", true },
    { "ImIz", false },
    { "mIz", true },
    { "InIz", false },
    { "nIz", true },
    // cases
    { "yI", true },
    { "nI", true },
    { "A", false },
    { "yA", true },
    { "nA", true },
    { "DA", false },
    { "DA", true },
    { "nDA", true },
    { "DAn", false },
    { "DAn", true },
    { "nDAn", true },
    { "nIn", true },
    { "lA", false },
    { "ylA", true },
    { "ki", false },
    { "ki", true },
    // copula and person
    { "DIr", false },
    { "DIr", true },
    { "DI", false },
    { "yDI", true },
    { "mI\xFE", false },
    { "ymI\xFE", true },
    { "sA", false },
    { "ysA", true },
    { "yIm", true },
    { "sIn", false },
    { "sIn", true },
    { "yIz", true },
    { "sInIz", false },
    { "sInIz", true },
    // derivation
    { "CI", false },
    { "CI", true },
    { "lIk", false },
    { "lIk", true },
    { "lI", false },
    { "lI", true },
    { "sIz", false },
    { "sIz", true },
    { "CA", false },
    { "CA", true },
    { "CIk", false },
    { "lA\xFE", false },
    { "lA\xFE", true },
    // verbs
    { "mAk", false },
    { "mAk", true },
    { "mA", false },
    { "mA", true },
    { "Iyor", false },
    { "yor", true },
    { "AcAk", false },
    { "yAcAk", true },
    { "Ar", false },
    { "Ir", false },
    { "r", true },
    { "An", false },
    { "yAn", true },
    { "Ip", false },
    { "yIp", true },
};

bool IsVowel(char c) {
    switch (c) {
    case 'a':
    case 'e':
    case 'i':
    case 'o':
    case 'u':
    case kDotlessI:
    case kOUmlaut:
    case kUUmlaut:
        return true;
    default:
        return false;
    }
}

bool IsBackVowel(char c) {
    return c == 'a' || c == kDotlessI || c == 'o' || c == 'u';
}

bool IsVoiceless(char c) {
    switch (c) {
    case kCCedilla:
    case 'f':
    case 'h':
    case 'k':
    case 'p':
    case 's':
    case kSCedilla:
    case 't':
        return true;
    default:
        return false;
    }
}

char HighVowelAfter(char vowel) {
    switch (vowel) {
    case 'a':
    case kDotlessI:
        return kDotlessI;
    case 'e':
    case 'i':
        return 'i';
    case 'o':
    case 'u':
        return 'u';
    default:
        return kUUmlaut;
    }
}

// The surface form of `pattern` after `stem`, or "" when the stem has no vowel to harmonise with.
std::string Surface(std::string_view stem, const char* pattern) {
    char last_vowel = 0;
    for (char c : stem) {
        if (IsVowel(c))
            last_vowel = c;
    }
    char previous = stem.empty() ? 0 : stem.back();
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        char c = *p;
        switch (c) {
        case 'A':
            if (last_vowel == 0)
                return {};
            c = IsBackVowel(last_vowel) ? 'a' : 'e';
            break;
        case 'I':
            if (last_vowel == 0)
                return {};
            c = HighVowelAfter(last_vowel);
            break;
        case 'D':
            c = IsVoiceless(previous) ? 't' : 'd';
            break;
        case 'C':
            c = IsVoiceless(previous) ? kCCedilla : 'c';
            break;
        default:
            break;
        }
        if (IsVowel(c))
            last_vowel = c;
        out += c;
        previous = c;
    }
    return out;
}

char Hardened(char c) {
    switch (c) {
    case 'b':
        return 'p';
    case 'c':
        return kCCedilla;
    case 'd':
        return 't';
    case 'g':
    case kGBreve:
        return 'k';
    default:
        return 0;
    }
}

std::string ToUtf8(std::string_view text) {
    return zolvek::Cp1254ToUtf8(text);
}

} // namespace

std::vector<std::string> StripOneSuffix(std::string_view word) {
    std::vector<std::string> out;
    for (const TSuffix& suffix : kSuffixes) {
        size_t length = std::char_traits<char>::length(suffix.pattern);
        if (word.size() < length + 2)
            continue;
        std::string stem(word.substr(0, word.size() - length));
        if (IsVowel(stem.back()) != suffix.after_vowel)
            continue;
        std::string surface = Surface(stem, suffix.pattern);
        if (surface != word.substr(word.size() - length))
            continue;
        out.push_back(stem);
        // Before a vowel, a final p ç t k of the stem may have softened to b c d ğ (or g).
        char hard = Hardened(stem.back());
        if (hard != 0 && IsVowel(surface[0])) {
            stem.back() = hard;
            out.push_back(stem);
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

TStemmer::TStemmer(const std::string& affix_file, const std::string& dictionary_file) {
    for (const std::string& file : { affix_file, dictionary_file }) {
        if (!std::filesystem::is_regular_file(file))
            throw std::runtime_error("no hunspell file " + file + " (install hunspell-tr)");
    }
    hunspell_ = std::make_unique<Hunspell>(affix_file.c_str(), dictionary_file.c_str());
}

TStemmer::~TStemmer() = default;

bool TStemmer::IsWord(std::string_view word) const {
    return !word.empty() && hunspell_->spell(ToUtf8(word));
}

std::vector<std::string> TStemmer::DictionaryStems(std::string_view word) const {
    std::vector<std::string> stems;
    if (word.empty())
        return stems;
    for (const std::string& stem : hunspell_->stem(ToUtf8(Fold(word))))
        stems.push_back(Fold(zolvek::Utf8ToCp1254(stem)));
    return stems;
}

std::vector<std::string> TStemmer::Stems(std::string_view word) const {
    std::string folded = Fold(word);
    std::set<std::string> found;
    std::vector<std::string> pending;
    std::set<std::string> seen { folded };
    auto add = [&](const std::string& stem, bool dictionary_word) {
        if (stem.size() < 2 || !seen.insert(stem).second)
            return;
        pending.push_back(stem);
        if (dictionary_word || IsWord(stem))
            found.insert(stem);
    };
    for (const std::string& stem : DictionaryStems(folded))
        add(stem, true);
    // Breadth first over suffix strips of the word and of every remainder, known word or not
    // (kitaplarımız -> kitaplar -> kitap; kitabımız -> kitab -> kitap). Remainders only get
    // shorter, so this ends; the limit bounds the work on long nonsense input.
    pending.push_back(folded);
    constexpr size_t kMaxRemainders = 400;
    for (size_t i = 0; i < pending.size() && seen.size() < kMaxRemainders; ++i) {
        for (const std::string& remainder : StripOneSuffix(pending[i]))
            add(remainder, false);
    }
    // A verb stem stands in the glossary as its infinitive (oku -> okumak).
    std::vector<std::string> infinitives;
    for (const std::string& stem : found) {
        std::string infinitive = stem + Surface(stem, "mAk");
        if (infinitive.size() > stem.size() && infinitive != folded && IsWord(infinitive))
            infinitives.push_back(infinitive);
    }
    found.insert(infinitives.begin(), infinitives.end());
    found.erase(folded);
    std::vector<std::string> stems(found.begin(), found.end());
    // Most specific first: the longer stem keeps more of what was typed; an infinitive ranks
    // with its stem (its length less the infinitive ending).
    auto weight = [&](const std::string& stem) {
        bool infinitive
            = std::find(infinitives.begin(), infinitives.end(), stem) != infinitives.end();
        return infinitive ? stem.size() - 3 : stem.size();
    };
    std::stable_sort(stems.begin(), stems.end(), [&](const std::string& a, const std::string& b) {
        size_t wa = weight(a);
        size_t wb = weight(b);
        if (wa != wb)
            return wa > wb;
        return a.size() > b.size();
    });
    return stems;
}

std::vector<std::string> GlossaryStems(
    const TStemmer& stemmer, TGlossaryKeys& keys, std::string_view word) {
    std::vector<std::string> out;
    for (const std::string& stem : stemmer.Stems(word)) {
        std::string stored = keys.StoredForm(stem);
        if (!stored.empty())
            out.push_back(stored);
    }
    return out;
}

} // namespace zendo::lexicon
