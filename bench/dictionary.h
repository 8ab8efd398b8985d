// The benchmark data: the words of the system's Turkish hunspell dictionary (package
// hunspell-tr), the text before '/' on each line, converted from UTF-8 to Windows-1254, and a
// deterministic explanation of 200-600 bytes for each of them.
#pragma once

#include "db/base/locale.h"

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace zolvek::bench {

inline constexpr const char* kDictionaryPath = "/usr/share/hunspell/tr_TR.dic";

inline std::vector<std::string> ReadDictionaryWords(const std::string& path = kDictionaryPath) {
    std::ifstream in(path);
    std::vector<std::string> words;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        // The first line of a hunspell dictionary is its entry count.
        if (first) {
            first = false;
            if (!line.empty() && line.find_first_not_of("0123456789\r") == std::string::npos)
                continue;
        }
        std::string word = line.substr(0, line.find_first_of("/\t \r"));
        if (!word.empty())
            words.push_back(Utf8ToCp1254(word));
    }
    return words;
}

// The explanation of word `i`: Turkish words in Windows-1254, 200 to 600 bytes.
inline std::string Explanation(size_t i) {
    std::mt19937 random(uint32_t(i * 2654435761u));
    size_t size = 200 + random() % 401;
    static const char* kWords[] = { "bir", "s\xF6zc\xFCk", "anlam", "dil",
        "t\xFCrk\xE7"
        "e",
        "a\xE7\xFDklama", "\xF6rnek", "kullan\xFDm", "eski", "yeni" };
    std::string text;
    while (text.size() < size) {
        text += kWords[random() % 10];
        text += ' ';
    }
    text.resize(size);
    return text;
}

} // namespace zolvek::bench
