#include "options.h"

#include <charconv>
#include <set>

namespace zolvek::tool {

namespace {

const std::set<std::string> kSwitches = { "ci", "no-partial", "partial" };

} // namespace

TArguments ParseArguments(int argc, char** argv, int first) {
    TArguments arguments;
    for (int i = first; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--", 0) != 0) {
            arguments.positional.push_back(argument);
            continue;
        }
        std::string name = argument.substr(2);
        std::string value;
        size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        } else if (kSwitches.count(name) > 0) {
            value = "1";
        } else {
            if (i + 1 >= argc)
                throw TUsageError("option --" + name + " needs a value");
            value = argv[++i];
        }
        arguments.options.emplace(name, value);
    }
    return arguments;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            break;
        start = at + 1;
    }
    return parts;
}

long ParseNumber(const std::string& text, const std::string& what) {
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw TUsageError("not a number for " + what + ": " + text);
    return value;
}

} // namespace zolvek::tool
