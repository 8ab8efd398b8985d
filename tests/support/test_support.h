// Helpers shared by the engine tests: scratch directories and child processes.
#pragma once

#include "db/base/errors.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zolvek::testing {

// The engine code an action raises, 0 when it raises nothing.
inline EngineCode CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EZOLVEKEngineError& error) {
        return error.Code();
    }
    return 0;
}

// The bytes of a file, empty when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/zolvek-test-XXXXXX";
        char* made = mkdtemp(pattern.data());
        if (made == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = made;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::permissions(
            path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Starts `body` in a forked child that keeps running; Join waits for its result.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body, unsigned seconds = 30) {
        pid_ = fork();
        if (pid_ == 0) {
            alarm(seconds);
            int result = 99;
            try {
                result = body();
            } catch (...) {
                result = 98;
            }
            _exit(result);
        }
    }
    ~ChildProcess() {
        if (pid_ > 0 && !joined_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t Pid() const { return pid_; }
    // Ends the child as a crash would (SIGKILL) and waits for it.
    void Kill() {
        if (pid_ > 0 && !joined_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            joined_ = true;
        }
    }
    int Join() {
        joined_ = true;
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    bool joined_ = false;
};

// Runs `body` in a forked child and returns its result (the child's exit status), or -1 when
// the child died or did not finish within `seconds`. The child never returns into the test.
inline int RunInChild(const std::function<int()>& body, unsigned seconds = 30) {
    return ChildProcess(body, seconds).Join();
}

// A pipe for one-byte signals between a test and its child.
class Signal {
public:
    Signal() {
        if (pipe(fds_) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~Signal() {
        close(fds_[0]);
        close(fds_[1]);
    }
    void Send(char value = 1) { [[maybe_unused]] auto n = write(fds_[1], &value, 1); }
    char Wait() {
        char value = 0;
        return read(fds_[0], &value, 1) == 1 ? value : char(-1);
    }
    // True when a signal arrives within `milliseconds` (it is consumed).
    bool WaitFor(int milliseconds) {
        struct pollfd entry = { fds_[0], POLLIN, 0 };
        if (poll(&entry, 1, milliseconds) != 1)
            return false;
        return Wait() != char(-1);
    }

private:
    int fds_[2];
};

} // namespace zolvek::testing
