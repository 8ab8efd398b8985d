// Command-line parsing of the zolvek tool: positional arguments and --name value options.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace zolvek::tool {

// A usage error: printed with the usage text, exit code 2.
class TUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TArguments {
    std::vector<std::string> positional;
    std::multimap<std::string, std::string> options; // name without dashes -> value

    std::string Option(const std::string& name, const std::string& fallback = {}) const {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
    bool Has(const std::string& name) const { return options.count(name) > 0; }
    std::vector<std::string> All(const std::string& name) const {
        std::vector<std::string> values;
        auto [first, last] = options.equal_range(name);
        for (auto it = first; it != last; ++it)
            values.push_back(it->second);
        return values;
    }
};

// Options take one value ("--name value" or "--name=value"), except the switches --exclusive,
// --glossary, --ci, --no-partial and --partial, which stand alone (their value is "1").
TArguments ParseArguments(int argc, char** argv, int first);
std::vector<std::string> Split(const std::string& text, char separator);
long ParseNumber(const std::string& text, const std::string& what);

} // namespace zolvek::tool
