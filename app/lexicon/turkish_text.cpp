#include "app/lexicon/turkish_text.h"

#include "db/base/locale.h"

#include <unicode/uchar.h>

#include <array>

namespace zendo::lexicon {

namespace {

struct TTables {
    std::array<char, 256> fold;
    std::array<char, 256> skeleton;
    std::array<bool, 256> word;

    TTables() {
        for (int i = 0; i < 256; ++i) {
            char c = char(i);
            if (i != 0)
                zolvek::LowerCaseLocale(zolvek::kTurkishLocale, &c, 1);
            switch (uint8_t(c)) {
            case 0xE2: // â
                c = 'a';
                break;
            case 0xEE: // î
                c = 'i';
                break;
            case 0xFB: // û
                c = 'u';
                break;
            }
            fold[i] = c;
            char s = c;
            switch (uint8_t(c)) {
            case 0xFD: // ı
                s = 'i';
                break;
            case 0xFE: // ş
                s = 's';
                break;
            case 0xF0: // ğ
                s = 'g';
                break;
            case 0xFC: // ü
                s = 'u';
                break;
            case 0xF6: // ö
                s = 'o';
                break;
            case 0xE7: // ç
                s = 'c';
                break;
            }
            skeleton[i] = s;
            char original = char(i);
            std::u16string unicode = zolvek::Cp1254ToUtf16(std::string_view(&original, 1));
            // Bytes the code page leaves unassigned convert to '?', which is no letter.
            word[i] = i != 0 && unicode.size() == 1 && u_isalnum(UChar32(unicode[0]));
        }
    }
};

const TTables& Tables() {
    static const TTables tables;
    return tables;
}

} // namespace

char FoldChar(char c) {
    return Tables().fold[uint8_t(c)];
}

std::string Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = FoldChar(c);
    return out;
}

char SkeletonChar(char c) {
    return Tables().skeleton[uint8_t(c)];
}

std::string Skeleton(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = SkeletonChar(c);
    return out;
}

bool IsWordChar(char c) {
    return Tables().word[uint8_t(c)];
}

const std::array<char, 256>& FoldTable() {
    return Tables().fold;
}

const std::array<bool, 256>& WordCharTable() {
    return Tables().word;
}

std::vector<std::string> FoldedWords(std::string_view text) {
    std::vector<std::string> words;
    ForEachWord(text,
        [&](size_t start, size_t length) { words.push_back(Fold(text.substr(start, length))); });
    return words;
}

} // namespace zendo::lexicon
