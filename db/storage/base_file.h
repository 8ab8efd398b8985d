// Base files: one operating-system file, or one in-memory file of the database "Memory",
// shared by everything in the process that opens the same name. A base file hands out
// numbered handles with their own positions, serialises every operation with its re-entrant
// access section, and keeps the process's byte-range locks on the file.
// Thread-safety: every operation takes the access section. Base files are owned by the open
// file table (open_files.h), which frees them.
#pragma once

#include "db/base/seek_origin.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zolvek {

class TEngineErrors;

// One byte-range lock held by this process, inclusive at both ends.
struct TLockRange {
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t length = 0;
};

// Options of an open or create call and what the open found.
struct TFileOpenOptions {
    bool read_only = false;
    bool exclusive = false;
    bool temporary = false;
    bool hidden = false;
    // Create only: fail (11013) instead of replacing a file that exists.
    bool create_new = false;
};

class TBaseFile {
public:
    TBaseFile(TEngineErrors& errors, std::string name);
    virtual ~TBaseFile();
    TBaseFile(const TBaseFile&) = delete;
    TBaseFile& operator=(const TBaseFile&) = delete;

    const std::string& Name() const { return name_; }
    std::recursive_mutex& AccessSection() const { return access_; }
    bool Exclusive() const { return exclusive_; }
    bool ReadOnly() const { return read_only_; }
    bool ReadOnlyByAttribute() const { return read_only_by_attribute_; }
    bool Temporary() const { return temporary_; }
    uint16_t OpenCount() const { return open_count_; }
    virtual bool InMemory() const = 0;

    virtual int64_t GetSize();
    // Each returns a handle number (1, 2, ... never reused) or a negated engine code.
    virtual int32_t Create(const TFileOpenOptions& options);
    virtual int32_t Open(const TFileOpenOptions& options);
    virtual void Close(int32_t handle);
    // 0 or a negated engine code.
    virtual int32_t Rename(const std::string& new_name);
    virtual int32_t Delete();

    // Bytes transferred, or -1 when the system call failed; the handle's position advances.
    // A write of 0 bytes cuts the file at the handle's position.
    virtual int64_t Read(int32_t handle, void* buffer, size_t count);
    virtual int64_t Write(int32_t handle, const void* buffer, size_t count);
    virtual bool Flush(int32_t handle);
    // The new position, or -1 for an unknown handle or a negative result.
    int64_t Seek(int32_t handle, TSeekOrigin origin, int64_t offset);

    // The range [offset, offset + length - 1]; refused when it overlaps a range held in this
    // process (by any session) or, for physical files, by another process.
    virtual bool Lock(uint64_t offset, uint64_t length);
    virtual bool Unlock(uint64_t offset, uint64_t length);
    const std::vector<TLockRange>& LockList() const { return locks_; }

protected:
    struct Handle {
        int32_t number;
        int64_t position;
    };
    Handle* FindHandle(int32_t handle);
    int32_t AddHandle();
    bool AddLock(uint64_t offset, uint64_t length);
    bool RemoveLock(uint64_t offset);

    TEngineErrors& errors_;
    std::string name_;
    mutable std::recursive_mutex access_;
    bool exclusive_ = false;
    bool read_only_ = false;
    bool read_only_by_attribute_ = false;
    bool temporary_ = false;
    bool hidden_ = false;
    int64_t size_ = 0;
    uint16_t open_count_ = 0;
    int32_t last_handle_ = 0;
    std::vector<Handle> handles_;
    std::vector<TLockRange> locks_; // sorted by start, never overlapping
};

// An operating-system file, reached through the system-call layer of os_layer.h. However many
// handles are open, the process has one descriptor for it. Byte-range locks need two layers:
// open-file-description locks (F_OFD_SETLK) exclude other processes, but every lock of this process
// is taken through the one descriptor and so never conflicts with itself; the in-process lock list
// of the base class excludes the other sessions of this process. A lock is granted only when both
// layers grant it. Windows share modes are imitated with a lock on the last possible byte of the
// file: shared openers hold a read lock on it, an exclusive opener a write lock, so an exclusive
// open in one process refuses every open in another and the other way round.
class TPhysicalFile : public TBaseFile {
public:
    using TBaseFile::TBaseFile;
    ~TPhysicalFile() override;
    bool InMemory() const override { return false; }

    int64_t GetSize() override;
    int32_t Create(const TFileOpenOptions& options) override;
    int32_t Open(const TFileOpenOptions& options) override;
    void Close(int32_t handle) override;
    int32_t Rename(const std::string& new_name) override;
    int32_t Delete() override;
    int64_t Read(int32_t handle, void* buffer, size_t count) override;
    int64_t Write(int32_t handle, const void* buffer, size_t count) override;
    bool Flush(int32_t handle) override;
    bool Lock(uint64_t offset, uint64_t length) override;
    bool Unlock(uint64_t offset, uint64_t length) override;

    // True when another process has the file at `path` open exclusively. For messages only:
    // the answer may be stale by the time it is read.
    static bool HeldExclusivelyElsewhere(const std::string& path);

private:
    int32_t TakeShareLock(bool exclusive);
    void CloseDescriptor();

    int fd_ = -1;
};

// A file of the database "Memory": chunks of 65528 bytes that live on after the last handle
// closes, until the file is deleted or the engine stops.
class TMemoryFile : public TBaseFile {
public:
    static constexpr size_t kChunkSize = 65528;

    using TBaseFile::TBaseFile;
    bool InMemory() const override { return true; }

    int32_t Create(const TFileOpenOptions& options) override;
    int64_t Read(int32_t handle, void* buffer, size_t count) override;
    int64_t Write(int32_t handle, const void* buffer, size_t count) override;

private:
    bool Reserve(uint64_t size);
    // Requires: the chunks reach `position`.
    void ZeroGap(uint64_t position);

    std::vector<std::unique_ptr<uint8_t[]>> chunks_;
};

} // namespace zolvek
