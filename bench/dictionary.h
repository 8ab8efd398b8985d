// The benchmark data: the words of the system's Turkish hunspell dictionary (package
// hunspell-tr), the text before '/' on each line, converted from UTF-8 to Windows-1254.
#pragma once

#include "db/base/locale.h"

#include <fstream>
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

} // namespace zolvek::bench
