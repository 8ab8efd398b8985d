// Runs the zolvek tool as a user would, for the tests of its commands.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace zolvek::testing {

struct ToolRun {
    int status; // the exit code, -1 when the tool did not exit
    std::string output; // stdout and stderr together
};

// Runs the tool with `arguments` (already quoted for the shell).
inline ToolRun Tool(const std::string& arguments) {
    std::string command = std::string(ZOLVEK_TOOL) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> chunk;
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), n);
    int status = pclose(pipe);
    return ToolRun { WIFEXITED(status) ? WEXITSTATUS(status) : -1, output };
}

// A text quoted for the shell.
inline std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

} // namespace zolvek::testing
