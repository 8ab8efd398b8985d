// TDataTable: the one object per open table and directory that all cursors of the table in
// this session share. It owns the table's three files, its lock entry, its record-lock
// bookkeeping and the key context of its password; it opens and verifies the files, writes the
// cached changes of all three as one unit with the change stamp, defers that work inside
// transactions, and creates, empties, renames and deletes the files.
// Thread-safety: used by its session's thread. Lifetime: owned by its directory.
#pragma once

#include "db/base/records_bitmap.h"
#include "db/storage/blob_file.h"
#include "db/storage/data_file.h"
#include "db/storage/index_file.h"
#include "db/storage/table_definition.h"

#include <memory>
#include <string>

namespace zolvek {

class TDataDirectory;
class TDataDirectoryLocks;
class TDataEngine;
class TDataPassword;
class TDataSession;
class TDataTableLocks;

class TDataTable : public TCacheOwner {
public:
    TDataTable(TDataDirectory& directory, std::string table_name);
    ~TDataTable() override;
    TDataTable(const TDataTable&) = delete;
    TDataTable& operator=(const TDataTable&) = delete;

    TDataDirectory& Directory() const { return directory_; }
    TDataSession& Session() const;
    TDataEngine& Engine() const;
    const std::string& TableName() const { return table_name_; }
    void SetTableName(const std::string& name);

    // Options, set before the first open.
    bool exclusive = false;
    bool temporary = false;
    bool read_only = false;

    bool IsOpen() const { return open_; }
    uint16_t OpenCount() const { return open_count_; }
    bool ReadOnly() const { return read_only_; }
    bool ReadOnlyByAttribute() const { return read_only_by_attribute_; }
    bool IndexFileRecreated() const { return index_recreated_; }
    void ClearIndexFileRecreated() { index_recreated_ = false; }
    bool HasBlobFile() const { return data_file_.Header().BlobFieldCount > 0; }
    uint32_t LocaleID() const { return data_file_.Header().LocaleID; }
    bool Changed() const { return changed_; }

    TDataFile& DataFile() { return data_file_; }
    TIndexFile& IndexFile() { return index_file_; }
    TBlobFile& BlobFile() { return blob_file_; }
    TDataTableLocks* LockEntry() const { return lock_entry_; }

    // Opens the files (counting one open unless keep_open_count), checks and, when asked,
    // verifies their headers. Any failure leaves the table closed and is raised again.
    void OpenTableObject(bool keep_open_count, bool verify_headers);
    void CloseTableObject(bool discard, bool forced);
    // Creates the three files from a validated layout; they stay open exclusively.
    void CreateTableFiles(const TableLayout& layout);
    void FlushTable(bool trim, bool force_data, bool force_index, bool force_blob, bool force_os);
    void MarkTableHeaders(bool data, bool index, bool blob);
    void DiscardTableBuffers(bool trim, bool reread_headers, bool reread_index_descriptors);
    void FlushTableToDisk();
    void EmptyTableFiles();
    void DeleteTableFiles();
    void RenameTableFiles(
        const std::string& target_directory, const std::string& new_name, bool to_backup);

    // Change detection: re-reads the data header; when its ChangeCount moved, drops every
    // cached unit and re-reads the other headers. True when the table changed.
    bool CheckForChange();
    bool BeginTableRead();
    void EndTableRead();
    bool BeginTableWrite();
    void EndTableWrite();
    bool LockRecord(uint32_t record);
    void UnlockRecord(uint32_t record);
    void UnlockAllRecords(bool held_back_ones);
    bool RecordLocked(uint32_t record) const;
    bool LockTableRecords();
    void UnlockTableRecords();
    bool TableLocked() const { return table_locked_; }
    bool LockSemaphore(uint32_t semaphore);
    bool UnlockSemaphore(uint32_t semaphore);

    void StartTableTransaction();
    void CommitTableTransaction(bool flush_os, bool end);
    void RollbackTableTransaction();

    // TCacheOwner
    bool InTransaction() const override { return in_transaction_; }
    bool AllowShortRead() const override { return exclusive || (in_transaction_ && changed_); }
    bool StrictChangeDetection() const override;
    bool ForceBufferFlush() const override;
    void MarkChanged() override { changed_ = true; }

    [[noreturn]] void RaiseError(uint16_t code) const;

private:
    std::string FileName(bool data, bool index, bool blob) const;
    void SetFileNames();
    void OpenDataFile();
    void OpenIndexFile();
    void VerifyHeaders();
    void ReleaseAllLocks();
    void ReleaseHeldBackLocks();
    bool TryDataLock(uint64_t offset, uint64_t length);
    void ReleaseRecordByte(uint32_t record);
    void ReleaseTableBytes();
    void EnsureLockBitmap(TRecordsBitmap& bitmap, uint32_t record);

    TDataDirectory& directory_;
    std::string table_name_;
    bool open_ = false;
    uint16_t open_count_ = 0;
    bool read_only_ = false;
    bool read_only_by_attribute_ = false;
    bool index_recreated_ = false;
    bool in_transaction_ = false;
    bool changed_ = false;
    TDataTableLocks* lock_entry_ = nullptr;
    TRecordsBitmap record_locks_;
    TRecordsBitmap held_back_locks_;
    TRecordsBitmap semaphores_;
    bool table_locked_ = false;
    bool table_lock_held_back_ = false;
    TDataPassword* password_ = nullptr;
    TDataFile data_file_;
    TIndexFile index_file_;
    TBlobFile blob_file_;
};

} // namespace zolvek
