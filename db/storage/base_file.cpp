// Base files: handles, positions, byte-range locks, and the POSIX and in-memory kinds.
#include "db/storage/base_file.h"

#include "db/base/errors.h"
#include "db/storage/os_layer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zolvek {

namespace {

// Shared and exclusive opens meet on this byte; no table region reaches it.
constexpr off_t kShareLockOffset = INT64_MAX;

bool FitsOffset(uint64_t offset, uint64_t length) {
    return length > 0 && offset <= uint64_t(INT64_MAX)
        && length - 1 <= uint64_t(INT64_MAX) - offset;
}

} // namespace

TBaseFile::TBaseFile(TEngineErrors& errors, std::string name)
    : errors_(errors)
    , name_(std::move(name)) { }

TBaseFile::~TBaseFile() = default;

int64_t TBaseFile::GetSize() {
    std::lock_guard guard(access_);
    return size_;
}

TBaseFile::Handle* TBaseFile::FindHandle(int32_t handle) {
    for (Handle& entry : handles_) {
        if (entry.number == handle)
            return &entry;
    }
    return nullptr;
}

int32_t TBaseFile::AddHandle() {
    handles_.push_back(Handle { ++last_handle_, 0 });
    ++open_count_;
    return last_handle_;
}

int32_t TBaseFile::Create(const TFileOpenOptions& options) {
    std::lock_guard guard(access_);
    exclusive_ = true;
    read_only_ = false;
    read_only_by_attribute_ = false;
    temporary_ = options.temporary;
    hidden_ = options.hidden;
    size_ = 0;
    return AddHandle();
}

int32_t TBaseFile::Open(const TFileOpenOptions& options) {
    std::lock_guard guard(access_);
    if (open_count_ == 0) {
        exclusive_ = options.exclusive;
        temporary_ = options.temporary;
        hidden_ = options.hidden;
        read_only_ = options.read_only;
    }
    return AddHandle();
}

void TBaseFile::Close(int32_t handle) {
    std::lock_guard guard(access_);
    auto it = std::find_if(
        handles_.begin(), handles_.end(), [&](const Handle& h) { return h.number == handle; });
    if (it == handles_.end())
        return;
    handles_.erase(it);
    if (open_count_ > 0)
        --open_count_;
}

int32_t TBaseFile::Rename(const std::string& new_name) {
    std::lock_guard guard(access_);
    name_ = new_name;
    return 0;
}

int32_t TBaseFile::Delete() {
    return 0;
}

int64_t TBaseFile::Read(int32_t handle, void*, size_t count) {
    std::lock_guard guard(access_);
    Handle* h = FindHandle(handle);
    if (h == nullptr || h->position >= size_)
        return 0;
    int64_t done = std::min<int64_t>(int64_t(count), size_ - h->position);
    h->position += done;
    return done;
}

int64_t TBaseFile::Write(int32_t handle, const void*, size_t count) {
    std::lock_guard guard(access_);
    Handle* h = FindHandle(handle);
    if (h == nullptr)
        return -1;
    if (count == 0) {
        size_ = h->position;
        return 0;
    }
    h->position += int64_t(count);
    size_ = std::max(size_, h->position);
    return int64_t(count);
}

bool TBaseFile::Flush(int32_t) {
    return true;
}

int64_t TBaseFile::Seek(int32_t handle, TSeekOrigin origin, int64_t offset) {
    std::lock_guard guard(access_);
    Handle* h = FindHandle(handle);
    if (h == nullptr)
        return -1;
    int64_t base = 0;
    if (origin == soCurrent)
        base = h->position;
    else if (origin == soEnd)
        base = GetSize();
    if (base < 0 || (offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
        return -1;
    h->position = base + offset;
    return h->position;
}

bool TBaseFile::AddLock(uint64_t offset, uint64_t length) {
    if (!FitsOffset(offset, length))
        return false;
    uint64_t end = offset + length - 1;
    auto it = std::lower_bound(locks_.begin(), locks_.end(), offset,
        [](const TLockRange& range, uint64_t value) { return range.start < value; });
    if (it != locks_.end() && it->start <= end)
        return false;
    if (it != locks_.begin() && std::prev(it)->end >= offset)
        return false;
    locks_.insert(it, TLockRange { offset, end, length });
    return true;
}

bool TBaseFile::RemoveLock(uint64_t offset) {
    auto it = std::lower_bound(locks_.begin(), locks_.end(), offset,
        [](const TLockRange& range, uint64_t value) { return range.start < value; });
    if (it == locks_.end() || it->start != offset)
        return false;
    locks_.erase(it);
    return true;
}

bool TBaseFile::Lock(uint64_t offset, uint64_t length) {
    std::lock_guard guard(access_);
    return AddLock(offset, length);
}

bool TBaseFile::Unlock(uint64_t offset, uint64_t) {
    std::lock_guard guard(access_);
    return RemoveLock(offset);
}

// ---------------------------------------------------------------------------------------------
// TPhysicalFile

TPhysicalFile::~TPhysicalFile() {
    CloseDescriptor();
}

void TPhysicalFile::CloseDescriptor() {
    if (fd_ >= 0) {
        // A failed close cannot be retried on Linux (the descriptor is gone either way), and
        // every write before it was already checked.
        OSLayer().Close(fd_);
        fd_ = -1;
    }
    // Closing the descriptor released every lock this process held on the file.
    locks_.clear();
}

bool TPhysicalFile::HeldExclusivelyElsewhere(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe = {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kShareLockOffset;
    probe.l_len = 1;
    bool held = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type == F_WRLCK;
    ::close(fd);
    return held;
}

int32_t TPhysicalFile::TakeShareLock(bool exclusive) {
    // A descriptor opened for reading only cannot take a write lock; it still keeps exclusive
    // openers of other processes out with its read lock.
    if (OSLayer().LockRange(fd_, exclusive && !read_only_, kShareLockOffset, 1) == 0)
        return 0;
    if (errno == EAGAIN || errno == EACCES)
        return -int32_t(ZOLVEK_OSEACCES);
    return -int32_t(errors_.CaptureOSError());
}

int64_t TPhysicalFile::GetSize() {
    std::lock_guard guard(access_);
    if (fd_ < 0)
        return 0;
    int64_t size = 0;
    if (OSLayer().Size(fd_, size) != 0) {
        errors_.CaptureOSError();
        return -1;
    }
    return size;
}

int32_t TPhysicalFile::Create(const TFileOpenOptions& options) {
    std::lock_guard guard(access_);
    CloseDescriptor();
    // Truncate only after the exclusive share lock is held, so that a file another process has
    // open is refused intact rather than emptied.
    fd_ = OSLayer().Open(
        name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (options.create_new ? O_EXCL : 0), 0666);
    if (fd_ < 0)
        return -int32_t(errors_.CaptureOSError());
    read_only_ = false;
    int32_t share = TakeShareLock(true);
    if (share < 0) {
        CloseDescriptor();
        return share;
    }
    if (OSLayer().Truncate(fd_, 0) != 0) {
        int32_t code = -int32_t(errors_.CaptureOSError());
        CloseDescriptor();
        return code;
    }
    handles_.clear();
    open_count_ = 0;
    return TBaseFile::Create(options);
}

int32_t TPhysicalFile::Open(const TFileOpenOptions& options) {
    std::lock_guard guard(access_);
    if (open_count_ > 0 && fd_ >= 0)
        return TBaseFile::Open(options);

    struct stat info;
    if (::stat(name_.c_str(), &info) != 0)
        return -int32_t(errors_.CaptureOSError());
    if (S_ISDIR(info.st_mode))
        return -int32_t(errors_.CaptureOSError(EISDIR));

    // "Read-only attribute" means: this process may not write the file.
    bool writable = faccessat(AT_FDCWD, name_.c_str(), W_OK, AT_EACCESS) == 0;
    read_only_by_attribute_ = !writable;
    bool read_only = options.read_only || !writable;
    fd_ = OSLayer().Open(name_.c_str(), (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC, 0);
    if (fd_ < 0 && !read_only && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A read-write open refused by the system falls back to reading.
        fd_ = OSLayer().Open(name_.c_str(), O_RDONLY | O_CLOEXEC, 0);
        read_only = true;
    }
    if (fd_ < 0)
        return -int32_t(errors_.CaptureOSError());
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);

    TFileOpenOptions actual = options;
    actual.read_only = read_only;
    read_only_ = read_only;
    int32_t share = TakeShareLock(options.exclusive);
    if (share < 0) {
        CloseDescriptor();
        return share;
    }
    int32_t handle = TBaseFile::Open(actual);
    read_only_ = read_only;
    return handle;
}

void TPhysicalFile::Close(int32_t handle) {
    std::lock_guard guard(access_);
    TBaseFile::Close(handle);
    if (open_count_ == 0)
        CloseDescriptor();
}

int32_t TPhysicalFile::Rename(const std::string& new_name) {
    std::lock_guard guard(access_);
    if (::rename(name_.c_str(), new_name.c_str()) != 0)
        return -int32_t(errors_.CaptureOSError());
    return TBaseFile::Rename(new_name);
}

int32_t TPhysicalFile::Delete() {
    std::lock_guard guard(access_);
    if (::unlink(name_.c_str()) != 0)
        return -int32_t(errors_.CaptureOSError());
    return 0;
}

int64_t TPhysicalFile::Read(int32_t handle, void* buffer, size_t count) {
    std::lock_guard guard(access_);
    Handle* h = FindHandle(handle);
    if (h == nullptr || fd_ < 0)
        return 0;
    size_t done = 0;
    while (done < count) {
        ssize_t n = OSLayer().ReadAt(
            fd_, static_cast<uint8_t*>(buffer) + done, count - done, h->position + off_t(done));
        if (n < 0) {
            errors_.CaptureOSError();
            return -1;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    h->position += int64_t(done);
    return int64_t(done);
}

int64_t TPhysicalFile::Write(int32_t handle, const void* buffer, size_t count) {
    std::lock_guard guard(access_);
    Handle* h = FindHandle(handle);
    if (h == nullptr || fd_ < 0)
        return -1;
    if (count == 0) {
        if (OSLayer().Truncate(fd_, h->position) != 0) {
            errors_.CaptureOSError();
            return -1;
        }
        return 0;
    }
    size_t done = 0;
    while (done < count) {
        ssize_t n = OSLayer().WriteAt(fd_, static_cast<const uint8_t*>(buffer) + done, count - done,
            h->position + off_t(done));
        if (n < 0) {
            errors_.CaptureOSError();
            h->position += int64_t(done);
            return done > 0 ? int64_t(done) : -1;
        }
        done += size_t(n);
    }
    h->position += int64_t(done);
    return int64_t(done);
}

bool TPhysicalFile::Flush(int32_t) {
    std::lock_guard guard(access_);
    if (fd_ < 0)
        return false;
    if (OSLayer().Sync(fd_) != 0) {
        errors_.CaptureOSError();
        return false;
    }
    return true;
}

bool TPhysicalFile::Lock(uint64_t offset, uint64_t length) {
    std::lock_guard guard(access_);
    if (fd_ < 0 || !AddLock(offset, length))
        return false;
    if (OSLayer().LockRange(fd_, !read_only_, off_t(offset), off_t(length)) != 0) {
        RemoveLock(offset);
        return false;
    }
    return true;
}

bool TPhysicalFile::Unlock(uint64_t offset, uint64_t length) {
    std::lock_guard guard(access_);
    if (fd_ < 0 || !FitsOffset(offset, length))
        return false;
    auto it = std::find_if(
        locks_.begin(), locks_.end(), [&](const TLockRange& r) { return r.start == offset; });
    if (it == locks_.end())
        return false;
    uint64_t locked_length = it->length;
    if (OSLayer().UnlockRange(fd_, off_t(offset), off_t(locked_length)) != 0) {
        errors_.CaptureOSError();
        return false;
    }
    locks_.erase(it);
    return true;
}

// ---------------------------------------------------------------------------------------------
// TMemoryFile

int32_t TMemoryFile::Create(const TFileOpenOptions& options) {
    std::lock_guard guard(access_);
    chunks_.clear();
    return TBaseFile::Create(options);
}

bool TMemoryFile::Reserve(uint64_t size) {
    try {
        while (uint64_t(chunks_.size()) * kChunkSize < size)
            chunks_.push_back(std::make_unique<uint8_t[]>(kChunkSize)); // zero-filled
    } catch (const std::bad_alloc&) {
        errors_.CaptureOSError(ENOMEM);
        return false;
    }
    return true;
}

void TMemoryFile::ZeroGap(uint64_t position) {
    // Bytes between the old end and `position` read as zero, as on disk; a shrink only lowered
    // the size and left the old bytes in the chunks.
    for (uint64_t gap = uint64_t(size_); gap < position;) {
        size_t within = size_t(gap % kChunkSize);
        size_t n = size_t(std::min<uint64_t>(position - gap, kChunkSize - within));
        std::memset(chunks_[size_t(gap / kChunkSize)].get() + within, 0, n);
        gap += n;
    }
}

int64_t TMemoryFile::Read(int32_t handle, void* buffer, size_t count) {
    std::lock_guard guard(access_);
    Handle* h = FindHandle(handle);
    if (h == nullptr || h->position >= size_)
        return 0;
    size_t total = size_t(std::min<int64_t>(int64_t(count), size_ - h->position));
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint64_t position = uint64_t(h->position);
    for (size_t done = 0; done < total;) {
        size_t chunk = size_t(position / kChunkSize);
        size_t within = size_t(position % kChunkSize);
        size_t n = std::min(total - done, kChunkSize - within);
        std::memcpy(out + done, chunks_[chunk].get() + within, n);
        done += n;
        position += n;
    }
    h->position += int64_t(total);
    return int64_t(total);
}

int64_t TMemoryFile::Write(int32_t handle, const void* buffer, size_t count) {
    std::lock_guard guard(access_);
    Handle* h = FindHandle(handle);
    if (h == nullptr)
        return -1;
    uint64_t position = uint64_t(h->position);
    if (count == 0) {
        // Cutting the file at or past its end: the size never runs ahead of the chunks.
        if (position == 0)
            chunks_.clear();
        else if (!Reserve(position))
            return -1;
        ZeroGap(position);
        size_ = int64_t(position);
        return 0;
    }
    if (!Reserve(position + count))
        return -1;
    ZeroGap(position);
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    for (size_t done = 0; done < count;) {
        size_t chunk = size_t(position / kChunkSize);
        size_t within = size_t(position % kChunkSize);
        size_t n = std::min(count - done, kChunkSize - within);
        std::memcpy(chunks_[chunk].get() + within, in + done, n);
        done += n;
        position += n;
    }
    h->position = int64_t(position);
    size_ = std::max<int64_t>(size_, int64_t(position));
    return int64_t(count);
}

} // namespace zolvek
