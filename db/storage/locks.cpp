// Lock file, registry and lock bytes.
//
// Lock file layout (little-endian):
//   0   4   registry version, incremented (2147483647 wraps to 1) by every registry write
//   4   4   L = 4 + total length of the names
//   8   L-4 table names, each a length byte and that many characters; name k has slot k
#include "db/storage/locks.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/storage/engine.h"
#include "db/storage/table_format.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace zolvek {

namespace {

constexpr uint32_t kMaxRegistryBytes = TLockLayout::kMaxTables * 256;
constexpr TRetryPolicy kLockFilePolicy { 3, 32768 };
constexpr int kLockFileOpenAttempts = 11;

uint32_t NextVersion(uint32_t version) {
    return version >= 2147483647u ? 1 : version + 1;
}

bool SameTableName(const std::string& a, const std::string& b) {
    return CompareFileNames(a, b, true) == 0;
}

} // namespace

bool RetryLock(const TRetryPolicy& policy, const std::function<bool()>& attempt) {
    if (attempt())
        return true;
    for (uint32_t retry = 0; retry < policy.retries; ++retry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(policy.wait_ms));
        if (attempt())
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// TDataTableLocks

TDataTableLocks::TDataTableLocks(TDataDirectoryLocks& directory, uint32_t slot, std::string name)
    : directory_(directory)
    , slot_(slot)
    , name_(std::move(name)) { }

bool TDataTableLocks::ReadLockTable() {
    if (directory_.ReadOnly() || read_locked_ || write_locked_ || transaction_byte_)
        return false;
    const TEngineSettings& settings = directory_.Engine().Settings();
    TRetryPolicy policy { settings.TableReadLockWaitTime, settings.TableReadLockRetryCount };
    TEngineFile& file = directory_.LockFile();
    uint32_t r = 0;
    bool locked = RetryLock(policy, [&] {
        r = directory_.RandomReadByte();
        return file.LockRange(directory_.Layout().TableReadByte(slot_, r), 1);
    });
    if (!locked)
        directory_.RaiseTableError(ZOLVEK_READLOCK, name_);
    read_byte_ = r;
    read_locked_ = true;
    return true;
}

void TDataTableLocks::ReadUnlockTable() {
    if (directory_.ReadOnly() || !read_locked_)
        return;
    read_locked_ = false;
    if (!directory_.LockFile().UnlockRange(directory_.Layout().TableReadByte(slot_, read_byte_), 1))
        directory_.RaiseTableError(ZOLVEK_READUNLOCK, name_);
}

bool TDataTableLocks::WriteLockTable(bool take_transaction_byte) {
    if (directory_.ReadOnly() || write_locked_)
        return false;
    const TEngineSettings& settings = directory_.Engine().Settings();
    TRetryPolicy policy { settings.TableWriteLockWaitTime, settings.TableWriteLockRetryCount };
    TEngineFile& file = directory_.LockFile();
    const TLockLayout& layout = directory_.Layout();
    bool byte_taken = false;
    if (take_transaction_byte && !transaction_byte_) {
        if (!RetryLock(policy, [&] { return file.LockRange(layout.TransactionByte(slot_), 1); }))
            directory_.RaiseTableError(ZOLVEK_WRITELOCK, name_);
        transaction_byte_ = true;
        byte_taken = true;
    }
    // The write lock covers the table's whole read region, our own read byte included: give
    // that up first, the write lock excludes every reader anyway.
    if (read_locked_)
        ReadUnlockTable();
    bool locked = RetryLock(policy,
        [&] { return file.LockRange(layout.TableRegionStart(slot_), TLockLayout::kRegion); });
    if (!locked) {
        if (byte_taken) {
            file.UnlockRange(layout.TransactionByte(slot_), 1);
            transaction_byte_ = false;
        }
        directory_.RaiseTableError(ZOLVEK_WRITELOCK, name_);
    }
    write_locked_ = true;
    return byte_taken;
}

void TDataTableLocks::WriteUnlockTable(bool release_transaction_byte) {
    if (directory_.ReadOnly())
        return;
    TEngineFile& file = directory_.LockFile();
    const TLockLayout& layout = directory_.Layout();
    bool failed = false;
    if (write_locked_) {
        write_locked_ = false;
        failed = !file.UnlockRange(layout.TableRegionStart(slot_), TLockLayout::kRegion);
    }
    if (release_transaction_byte && transaction_byte_) {
        transaction_byte_ = false;
        failed = !file.UnlockRange(layout.TransactionByte(slot_), 1) || failed;
    }
    if (failed)
        directory_.RaiseTableError(ZOLVEK_WRITEUNLOCK, name_);
}

bool TDataTableLocks::TransLockTable() {
    if (directory_.ReadOnly() || transaction_byte_)
        return false;
    const TEngineSettings& settings = directory_.Engine().Settings();
    TRetryPolicy policy { settings.TableTransLockWaitTime, settings.TableTransLockRetryCount };
    TEngineFile& file = directory_.LockFile();
    if (!RetryLock(
            policy, [&] { return file.LockRange(directory_.Layout().TransactionByte(slot_), 1); }))
        directory_.RaiseDatabaseError(ZOLVEK_TRANSLOCK);
    transaction_byte_ = true;
    return true;
}

void TDataTableLocks::TransUnlockTable() {
    if (directory_.ReadOnly() || !transaction_byte_)
        return;
    transaction_byte_ = false;
    if (!directory_.LockFile().UnlockRange(directory_.Layout().TransactionByte(slot_), 1))
        directory_.RaiseDatabaseError(ZOLVEK_TRANSUNLOCK);
}

// ---------------------------------------------------------------------------------------------
// TDataDirectoryLocks

TDataDirectoryLocks::TDataDirectoryLocks(
    TDataEngine& engine, std::string database_name, std::string directory_path, bool in_memory)
    : engine_(engine)
    , database_name_(std::move(database_name))
    , directory_path_(std::move(directory_path))
    , in_memory_(in_memory)
    , lock_file_(engine.OpenFiles(), engine.Errors())
    , random_(std::random_device {}()) {
    layout_.base = engine.Limits().lock_base;
    layout_.max_records = engine.Limits().max_record_count;
    lock_file_.SetName(directory_path_ + engine.Settings().LockFileName);
    lock_file_.SetDisplayName(database_name_);
    lock_file_.in_memory = in_memory_;
    lock_file_.hidden = true;
}

TDataDirectoryLocks::~TDataDirectoryLocks() {
    try {
        Close();
    } catch (...) {
        NoteSwallowedFailure();
    }
}

void TDataDirectoryLocks::RaiseDatabaseError(uint16_t code) const {
    engine_.Errors().RaiseDatabaseError(code, database_name_);
}

void TDataDirectoryLocks::RaiseTableError(uint16_t code, const std::string& table) const {
    engine_.Errors().RaiseTableError(code, table);
}

uint32_t TDataDirectoryLocks::RandomReadByte() {
    return std::max<uint32_t>(
        1, std::uniform_int_distribution<uint32_t>(0, TLockLayout::kRegion - 1)(random_));
}

void TDataDirectoryLocks::CreateLockFile() {
    lock_file_.create_new = true;
    lock_file_.Create();
    registry_version_ = 0;
    registry_read_ = true;
    if (!in_memory_) {
        const std::string& extension = engine_.Settings().TableDataExtension;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(directory_path_, error)) {
            if (!entry.is_regular_file(error))
                continue;
            std::string file_name = entry.path().filename().string();
            if (file_name.size() <= extension.size())
                continue;
            std::string tail = file_name.substr(file_name.size() - extension.size());
            if (!SameTableName(tail, extension))
                continue;
            std::string table = file_name.substr(0, file_name.size() - extension.size());
            if (tables_.size() >= TLockLayout::kMaxTables || table.size() > 255)
                continue;
            tables_.push_back(
                std::make_unique<TDataTableLocks>(*this, uint32_t(tables_.size() + 1), table));
        }
    }
    try {
        WriteRegistry();
    } catch (...) {
        // A lock file without its registry would be refused by every later opener.
        lock_file_.Close();
        try {
            lock_file_.Delete();
        } catch (const EZOLVEKEngineError&) {
            NoteSwallowedFailure();
        }
        throw;
    }
    lock_file_.Close();
}

void TDataDirectoryLocks::Open() {
    read_only_ = false;
    if (!lock_file_.Exists()) {
        try {
            CreateLockFile();
        } catch (const EZOLVEKEngineError& error) {
            lock_file_.Close();
            tables_.clear();
            registry_read_ = false;
            // Refused: perhaps another process created it meanwhile, or the directory cannot
            // be written and is used read-only; the open below decides. A directory that is
            // not there, or a lock file that could not be written, is a failure.
            if (error.Code() != ZOLVEK_OSEACCES)
                throw;
        }
    }
    lock_file_.create_new = false;
    read_only_ = true;
    if (!lock_file_.Exists())
        return;
    for (int attempt = 0; attempt < kLockFileOpenAttempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        try {
            lock_file_.Open();
        } catch (const EZOLVEKEngineError&) {
            continue;
        }
        read_only_ = lock_file_.ReadOnlyByAttribute() || lock_file_.OpenedReadOnly();
        if (!registry_read_ && !read_only_) {
            try {
                LockFileReadLock();
                try {
                    ReadRegistry();
                } catch (...) {
                    LockFileReadUnlock();
                    throw;
                }
                LockFileReadUnlock();
            } catch (...) {
                // A registry that cannot be read is refused, not trusted.
                lock_file_.Close();
                tables_.clear();
                throw;
            }
        }
        return;
    }
}

void TDataDirectoryLocks::Close() {
    lock_file_.Close();
    tables_.clear();
    registry_read_ = false;
}

void TDataDirectoryLocks::LockFileReadLock() {
    if (read_only_)
        return;
    uint32_t r = 0;
    bool locked = RetryLock(kLockFilePolicy, [&] {
        r = RandomReadByte();
        return lock_file_.LockRange(layout_.LockFileReadByte(r), 1);
    });
    if (!locked)
        RaiseDatabaseError(ZOLVEK_LOCKREADLOCK);
    read_byte_ = r;
}

void TDataDirectoryLocks::LockFileReadUnlock() {
    if (read_only_)
        return;
    if (!lock_file_.UnlockRange(layout_.LockFileReadByte(read_byte_), 1))
        RaiseDatabaseError(ZOLVEK_LOCKREADUNLOCK);
}

void TDataDirectoryLocks::LockFileWriteLock() {
    if (read_only_)
        return;
    if (!RetryLock(kLockFilePolicy, [&] {
            return lock_file_.LockRange(layout_.LockFileWriteStart(), TLockLayout::kRegion);
        }))
        RaiseDatabaseError(ZOLVEK_LOCKWRITELOCK);
}

void TDataDirectoryLocks::LockFileWriteUnlock() {
    if (read_only_)
        return;
    if (!lock_file_.UnlockRange(layout_.LockFileWriteStart(), TLockLayout::kRegion))
        RaiseDatabaseError(ZOLVEK_LOCKWRITEUNLOCK);
}

bool TDataDirectoryLocks::ReadRegistry() {
    uint8_t head[8] = {};
    int64_t size = lock_file_.Size();
    if (size < 8) {
        // A file just created by another process that has not written its registry yet.
        if (!registry_read_) {
            registry_version_ = 0;
            registry_read_ = true;
        }
        return false;
    }
    lock_file_.ReadAt(0, head, 8);
    uint32_t version = LoadU32(head);
    if (registry_read_ && version == registry_version_)
        return false;
    uint32_t length = LoadU32(head + 4);
    if (length < 4 || length - 4 > kMaxRegistryBytes || uint64_t(size) < 8 + uint64_t(length - 4))
        RaiseDatabaseError(ZOLVEK_LOCKREADLOCK);
    std::vector<uint8_t> names(length - 4);
    if (!names.empty())
        lock_file_.ReadAt(8, names.data(), names.size());
    std::vector<std::string> parsed;
    for (size_t at = 0; at < names.size();) {
        size_t name_length = names[at];
        if (at + 1 + name_length > names.size() || parsed.size() >= TLockLayout::kMaxTables)
            RaiseDatabaseError(ZOLVEK_LOCKREADLOCK);
        parsed.emplace_back(reinterpret_cast<const char*>(names.data() + at + 1), name_length);
        at += 1 + name_length;
    }
    // Known entries keep their slots: a registry only ever grows.
    if (parsed.size() < tables_.size())
        RaiseDatabaseError(ZOLVEK_LOCKREADLOCK);
    for (size_t slot = tables_.size(); slot < parsed.size(); ++slot)
        tables_.push_back(
            std::make_unique<TDataTableLocks>(*this, uint32_t(slot + 1), parsed[slot]));
    registry_version_ = version;
    registry_read_ = true;
    return true;
}

void TDataDirectoryLocks::WriteRegistry() {
    std::vector<uint8_t> image(8);
    for (const auto& table : tables_) {
        image.push_back(uint8_t(table->Name().size()));
        image.insert(image.end(), table->Name().begin(), table->Name().end());
    }
    uint32_t version = NextVersion(registry_version_);
    StoreU32(image.data(), version);
    StoreU32(image.data() + 4, uint32_t(image.size() - 4));
    lock_file_.WriteAt(0, image.data(), image.size());
    lock_file_.Flush();
    registry_version_ = version;
}

// A table opened as "datalar" and as "datalar.dat" is one table: it gets one slot, so that its
// openers meet on the same lock bytes. Names are registered without the data extension.
TDataTableLocks* TDataDirectoryLocks::RegisterTable(const std::string& given_name) {
    const std::string& extension = engine_.Settings().TableDataExtension;
    std::string table_name = BuildTableFileName(given_name, "", extension).substr(0, 255);
    auto find = [&]() -> TDataTableLocks* {
        for (const auto& table : tables_) {
            if (SameTableName(BuildTableFileName(table->Name(), "", extension), table_name))
                return table.get();
        }
        return nullptr;
    };
    if (read_only_) {
        if (TDataTableLocks* known = find())
            return known;
        tables_.push_back(
            std::make_unique<TDataTableLocks>(*this, uint32_t(tables_.size() + 1), table_name));
        return tables_.back().get();
    }
    LockFileWriteLock();
    try {
        ReadRegistry();
        TDataTableLocks* entry = find();
        if (entry == nullptr) {
            if (tables_.size() >= TLockLayout::kMaxTables)
                RaiseDatabaseError(ZOLVEK_DATABASEFULL);
            tables_.push_back(
                std::make_unique<TDataTableLocks>(*this, uint32_t(tables_.size() + 1), table_name));
            entry = tables_.back().get();
            WriteRegistry();
        }
        LockFileWriteUnlock();
        return entry;
    } catch (...) {
        LockFileWriteUnlock();
        throw;
    }
}

void TDataDirectoryLocks::DirectoryTransLock() {
    if (read_only_)
        return;
    const TEngineSettings& settings = engine_.Settings();
    TRetryPolicy policy { settings.TableTransLockWaitTime, settings.TableTransLockRetryCount };
    if (!RetryLock(policy, [&] {
            return lock_file_.LockRange(
                layout_.DirectoryTransactionStart(), TLockLayout::kMaxTables);
        }))
        RaiseDatabaseError(ZOLVEK_TRANSLOCK);
    for (const auto& table : tables_)
        table->transaction_byte_ = true;
}

void TDataDirectoryLocks::DirectoryTransUnlock() {
    if (read_only_)
        return;
    for (const auto& table : tables_)
        table->transaction_byte_ = false;
    if (!lock_file_.UnlockRange(layout_.DirectoryTransactionStart(), TLockLayout::kMaxTables))
        RaiseDatabaseError(ZOLVEK_TRANSUNLOCK);
}

void TDataDirectoryLocks::DirectoryWriteLock() {
    if (read_only_)
        return;
    const TEngineSettings& settings = engine_.Settings();
    TRetryPolicy policy { settings.TableWriteLockWaitTime, settings.TableWriteLockRetryCount };
    for (const auto& table : tables_) {
        if (table->read_locked_)
            table->ReadUnlockTable();
    }
    if (!RetryLock(policy, [&] {
            return lock_file_.LockRange(
                layout_.DirectoryWriteStart(), layout_.DirectoryWriteLength());
        }))
        RaiseDatabaseError(ZOLVEK_TRANSLOCK);
    for (const auto& table : tables_)
        table->write_locked_ = true;
}

void TDataDirectoryLocks::DirectoryWriteUnlock() {
    if (read_only_)
        return;
    for (const auto& table : tables_)
        table->write_locked_ = false;
    if (!lock_file_.UnlockRange(layout_.DirectoryWriteStart(), layout_.DirectoryWriteLength()))
        RaiseDatabaseError(ZOLVEK_TRANSUNLOCK);
}

} // namespace zolvek
