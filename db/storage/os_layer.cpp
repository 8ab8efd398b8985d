// The POSIX layer of the system calls.
#include "db/storage/os_layer.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zolvek {

namespace {

TOSLayer posix_layer;
std::atomic<TOSLayer*> installed_layer { &posix_layer };

int SetRangeLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    lock.l_pid = 0; // required for open-file-description locks
    return fcntl(fd, F_OFD_SETLK, &lock);
}

} // namespace

std::string_view OSCallName(TOSCall call) {
    switch (call) {
    case TOSCall::Open:
        return "open";
    case TOSCall::Close:
        return "close";
    case TOSCall::Read:
        return "read";
    case TOSCall::Write:
        return "write";
    case TOSCall::Size:
        return "size";
    case TOSCall::Truncate:
        return "truncate";
    case TOSCall::Sync:
        return "sync";
    case TOSCall::Lock:
        return "lock";
    case TOSCall::Unlock:
        return "unlock";
    }
    return "?";
}

int TOSLayer::Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

int TOSLayer::Close(int fd) {
    return ::close(fd);
}

ssize_t TOSLayer::ReadAt(int fd, void* buffer, size_t count, off_t offset) {
    ssize_t n;
    do
        n = ::pread(fd, buffer, count, offset);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TOSLayer::WriteAt(int fd, const void* buffer, size_t count, off_t offset) {
    ssize_t n;
    do
        n = ::pwrite(fd, buffer, count, offset);
    while (n < 0 && errno == EINTR);
    return n;
}

int TOSLayer::Size(int fd, int64_t& size) {
    struct stat info;
    if (fstat(fd, &info) != 0)
        return -1;
    size = info.st_size;
    return 0;
}

int TOSLayer::Truncate(int fd, off_t length) {
    return ftruncate(fd, length);
}

int TOSLayer::Sync(int fd) {
    return fdatasync(fd);
}

int TOSLayer::LockRange(int fd, bool exclusive, off_t start, off_t length) {
    return SetRangeLock(fd, exclusive ? F_WRLCK : F_RDLCK, start, length);
}

int TOSLayer::UnlockRange(int fd, off_t start, off_t length) {
    return SetRangeLock(fd, F_UNLCK, start, length);
}

TOSLayer& OSLayer() {
    return *installed_layer.load(std::memory_order_acquire);
}

void InstallOSLayer(TOSLayer* layer) {
    installed_layer.store(layer != nullptr ? layer : &posix_layer, std::memory_order_release);
}

} // namespace zolvek
