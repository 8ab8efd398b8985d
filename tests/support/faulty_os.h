// A system-call layer for tests that fails chosen calls: the Nth call of a kind (optionally only
// on files whose path ends in a given suffix) fails with a chosen errno, fails from then on, ends
// the process there as a crash would, or throws std::bad_alloc. Installed for the lifetime of a
// TFaultScope; every other call goes to the POSIX layer.
#pragma once

#include "db/storage/os_layer.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <unistd.h>

namespace zolvek::testing {

class TFaultyOSLayer : public TOSLayer {
public:
    enum class TAction { Fail, FailFromThenOn, Kill, ThrowBadAlloc };

    struct TFault {
        TOSCall call = TOSCall::Write;
        uint64_t nth = 1; // counted among the calls that match `path_suffix`
        int error = EIO;
        TAction action = TAction::Fail;
        std::string path_suffix; // empty: every file
    };

    // Arms one fault and starts its count afresh; replaces the one armed before.
    void Arm(const TFault& fault) {
        std::lock_guard guard(mutex_);
        fault_ = fault;
        matched_ = 0;
        fired_ = false;
    }
    void Disarm() {
        std::lock_guard guard(mutex_);
        fault_.reset();
    }
    bool Fired() const {
        std::lock_guard guard(mutex_);
        return fired_;
    }
    // Calls of a kind since the layer was made (all files).
    uint64_t Calls(TOSCall call) const {
        std::lock_guard guard(mutex_);
        return calls_[size_t(call)];
    }

    int Open(const char* path, int flags, mode_t mode) override {
        if (!Pass(TOSCall::Open, path))
            return -1;
        int fd = TOSLayer::Open(path, flags, mode);
        if (fd >= 0) {
            std::lock_guard guard(mutex_);
            paths_[fd] = path;
        }
        return fd;
    }
    int Close(int fd) override {
        bool pass = Pass(TOSCall::Close, PathOf(fd));
        {
            std::lock_guard guard(mutex_);
            paths_.erase(fd);
        }
        int result = TOSLayer::Close(fd); // the descriptor goes either way, as on Linux
        return pass ? result : -1;
    }
    ssize_t ReadAt(int fd, void* buffer, size_t count, off_t offset) override {
        return Pass(TOSCall::Read, PathOf(fd)) ? TOSLayer::ReadAt(fd, buffer, count, offset) : -1;
    }
    ssize_t WriteAt(int fd, const void* buffer, size_t count, off_t offset) override {
        return Pass(TOSCall::Write, PathOf(fd)) ? TOSLayer::WriteAt(fd, buffer, count, offset) : -1;
    }
    int Size(int fd, int64_t& size) override {
        return Pass(TOSCall::Size, PathOf(fd)) ? TOSLayer::Size(fd, size) : -1;
    }
    int Truncate(int fd, off_t length) override {
        return Pass(TOSCall::Truncate, PathOf(fd)) ? TOSLayer::Truncate(fd, length) : -1;
    }
    int Sync(int fd) override { return Pass(TOSCall::Sync, PathOf(fd)) ? TOSLayer::Sync(fd) : -1; }
    int LockRange(int fd, bool exclusive, off_t start, off_t length) override {
        return Pass(TOSCall::Lock, PathOf(fd)) ? TOSLayer::LockRange(fd, exclusive, start, length)
                                               : -1;
    }
    int UnlockRange(int fd, off_t start, off_t length) override {
        return Pass(TOSCall::Unlock, PathOf(fd)) ? TOSLayer::UnlockRange(fd, start, length) : -1;
    }

private:
    static bool EndsWith(const std::string& text, const std::string& suffix) {
        return text.size() >= suffix.size()
            && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

    std::string PathOf(int fd) const {
        std::lock_guard guard(mutex_);
        auto it = paths_.find(fd);
        return it == paths_.end() ? std::string() : it->second;
    }

    // False when this call is to fail; errno is then set.
    bool Pass(TOSCall call, const std::string& path) {
        TAction action;
        int error;
        {
            std::lock_guard guard(mutex_);
            ++calls_[size_t(call)];
            if (!fault_ || fault_->call != call || !EndsWith(path, fault_->path_suffix))
                return true;
            ++matched_;
            bool sticky = fault_->action == TAction::FailFromThenOn;
            if (matched_ != fault_->nth && !(sticky && matched_ > fault_->nth))
                return true;
            fired_ = true;
            action = fault_->action;
            error = fault_->error;
        }
        switch (action) {
        case TAction::Kill:
            // As abrupt as a power cut for this process: no destructors, no buffered writes.
            kill(getpid(), SIGKILL);
            _exit(137);
        case TAction::ThrowBadAlloc:
            throw std::bad_alloc();
        case TAction::Fail:
        case TAction::FailFromThenOn:
            break;
        }
        errno = error;
        return false;
    }

    mutable std::mutex mutex_;
    std::optional<TFault> fault_;
    uint64_t matched_ = 0;
    bool fired_ = false;
    std::array<uint64_t, kOSCallKinds> calls_ {};
    std::map<int, std::string> paths_;
};

// Installs a faulty layer for one scope.
class TFaultScope {
public:
    TFaultScope() { InstallOSLayer(&layer_); }
    ~TFaultScope() { InstallOSLayer(nullptr); }
    TFaultScope(const TFaultScope&) = delete;
    TFaultScope& operator=(const TFaultScope&) = delete;
    TFaultyOSLayer& operator*() { return layer_; }
    TFaultyOSLayer* operator->() { return &layer_; }

private:
    TFaultyOSLayer layer_;
};

} // namespace zolvek::testing
