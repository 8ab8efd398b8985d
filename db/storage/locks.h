// Locks between processes and sessions: the lock file of a database directory with its
// registry of table slots, and the lock bytes of the directory, its tables and their data
// files. No lock byte holds data; they lie beyond the largest file the engine allows.
// Thread-safety: used by the owning session's thread. Lifetime: TDataDirectoryLocks belongs to
// its directory and owns one TDataTableLocks per registered table.
#pragma once

#include "db/storage/engine_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zolvek {

class TDataEngine;
class TDataDirectoryLocks;

// Placement of the lock bytes. B is the engine's lock base, A = B - 65535, M the maximum
// record count, s a table's slot (1..4096), r a random byte number (1..65534):
//   lock file   lock-file read lock        1 byte at B - 65535 + r - 1
//               lock-file write lock       65535 bytes from B - 65535
//               table transaction byte     1 byte at A - s
//               directory transaction      4096 bytes from A - 4096
//               table read lock            1 byte at A - 4096 - 65535 * s + r - 1
//               table write lock           65535 bytes from A - 4096 - 65535 * s
//               directory write lock       4096 * 65535 bytes below the first table region
//   data file   record n                   1 byte at B - n
//               whole table                M bytes from B - M
//               semaphore k (1..1024)      1 byte at B - M - k
struct TLockLayout {
    static constexpr uint32_t kRegion = 65535;
    static constexpr uint32_t kMaxTables = 4096;
    static constexpr uint32_t kMaxSemaphores = 1024;

    uint64_t base = 0xFFFFFFFFull;
    uint64_t max_records = 200'000'000;

    uint64_t A() const { return base - kRegion; }
    uint64_t LockFileReadByte(uint32_t r) const { return base - kRegion + r - 1; }
    uint64_t LockFileWriteStart() const { return base - kRegion; }
    uint64_t TransactionByte(uint32_t slot) const { return A() - slot; }
    uint64_t DirectoryTransactionStart() const { return A() - kMaxTables; }
    uint64_t TableRegionStart(uint32_t slot) const {
        return A() - kMaxTables - uint64_t(kRegion) * slot;
    }
    uint64_t TableReadByte(uint32_t slot, uint32_t r) const {
        return TableRegionStart(slot) + r - 1;
    }
    uint64_t DirectoryWriteLength() const { return uint64_t(kMaxTables) * kRegion; }
    uint64_t DirectoryWriteStart() const { return A() - kMaxTables - DirectoryWriteLength(); }
    uint64_t RecordByte(uint32_t record) const { return base - record; }
    uint64_t WholeTableStart() const { return base - max_records; }
    uint64_t SemaphoreByte(uint32_t k) const { return base - max_records - k; }
};

// Retries: one attempt, then up to `retries` more, each after sleeping `wait_ms`.
struct TRetryPolicy {
    uint32_t wait_ms = 3;
    uint32_t retries = 32768;
};

// Calls `attempt` until it succeeds or the policy is used up.
bool RetryLock(const TRetryPolicy& policy, const std::function<bool()>& attempt);

// The lock state of one registered table in this directory object.
class TDataTableLocks {
public:
    TDataTableLocks(TDataDirectoryLocks& directory, uint32_t slot, std::string name);

    uint32_t Slot() const { return slot_; }
    const std::string& Name() const { return name_; }
    bool ReadLocked() const { return read_locked_; }
    bool WriteLocked() const { return write_locked_; }
    bool TransactionByteHeld() const { return transaction_byte_; }

    // Each returns whether a new lock was taken; failures raise their codes (10225 ... 10230).
    bool ReadLockTable();
    void ReadUnlockTable();
    bool WriteLockTable(bool take_transaction_byte);
    void WriteUnlockTable(bool release_transaction_byte);
    bool TransLockTable();
    void TransUnlockTable();

private:
    friend class TDataDirectoryLocks;
    TDataDirectoryLocks& directory_;
    uint32_t slot_;
    std::string name_;
    uint32_t read_byte_ = 0;
    bool read_locked_ = false;
    bool write_locked_ = false;
    bool transaction_byte_ = false;
};

class TDataDirectoryLocks {
public:
    // `directory_path` ends with '/' (or is empty for the database "Memory").
    TDataDirectoryLocks(
        TDataEngine& engine, std::string database_name, std::string directory_path, bool in_memory);
    ~TDataDirectoryLocks();

    // Opens the lock file, creating it (with the tables found in the directory) when missing.
    // A lock file that can be neither created nor opened makes the directory read-only.
    void Open();
    void Close();
    bool ReadOnly() const { return read_only_; }

    void LockFileReadLock();
    void LockFileReadUnlock();
    void LockFileWriteLock();
    void LockFileWriteUnlock();

    // The lock entry of a table, registering it (9480 beyond 4096 tables).
    TDataTableLocks* RegisterTable(const std::string& table_name);
    const std::vector<std::unique_ptr<TDataTableLocks>>& Tables() const { return tables_; }

    void DirectoryTransLock();
    void DirectoryTransUnlock();
    void DirectoryWriteLock();
    void DirectoryWriteUnlock();

    const TLockLayout& Layout() const { return layout_; }
    TDataEngine& Engine() const { return engine_; }
    TEngineFile& LockFile() { return lock_file_; }
    const std::string& DatabaseName() const { return database_name_; }
    uint32_t RandomReadByte();
    [[noreturn]] void RaiseDatabaseError(uint16_t code) const;
    [[noreturn]] void RaiseTableError(uint16_t code, const std::string& table) const;

private:
    bool ReadRegistry();
    void WriteRegistry();
    void CreateLockFile();

    TDataEngine& engine_;
    std::string database_name_;
    std::string directory_path_;
    bool in_memory_;
    TEngineFile lock_file_;
    TLockLayout layout_;
    uint32_t registry_version_ = 0;
    bool registry_read_ = false;
    uint32_t read_byte_ = 0;
    bool read_only_ = false;
    std::vector<std::unique_ptr<TDataTableLocks>> tables_;
    std::mt19937 random_;
};

} // namespace zolvek
