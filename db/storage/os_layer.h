// The system calls under the physical files, behind one narrow interface: open, close, read at,
// write at, size, truncate, sync, lock range and unlock range. The product runs on the POSIX
// layer; tests install a twin that fails chosen calls, so that every error path of the file
// layer can be reached without a failing disk.
// Thread-safety: the installed layer is read atomically; a layer must be callable from several
// threads. Lifetime: an installed layer must outlive every physical file that uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <sys/types.h>

namespace zolvek {

enum class TOSCall : uint8_t { Open, Close, Read, Write, Size, Truncate, Sync, Lock, Unlock };
constexpr size_t kOSCallKinds = 9;
std::string_view OSCallName(TOSCall call);

// Each operation behaves like the system call it names: on failure it returns -1 and leaves the
// reason in errno. The base class is the POSIX implementation.
class TOSLayer {
public:
    virtual ~TOSLayer() = default;

    virtual int Open(const char* path, int flags, mode_t mode);
    virtual int Close(int fd);
    // Transfers at most `count` bytes at `offset`; a short count is not an error here.
    virtual ssize_t ReadAt(int fd, void* buffer, size_t count, off_t offset);
    virtual ssize_t WriteAt(int fd, const void* buffer, size_t count, off_t offset);
    virtual int Size(int fd, int64_t& size);
    virtual int Truncate(int fd, off_t length);
    // Data (not metadata) of the file reaches the disk.
    virtual int Sync(int fd);
    // An open-file-description lock, read or write (`exclusive`), that never waits.
    virtual int LockRange(int fd, bool exclusive, off_t start, off_t length);
    virtual int UnlockRange(int fd, off_t start, off_t length);
};

// The layer in use; the POSIX one until another is installed.
TOSLayer& OSLayer();
// nullptr puts the POSIX layer back. Requires: no physical file is in the middle of a call.
void InstallOSLayer(TOSLayer* layer);

} // namespace zolvek
