// The shared table object.
#include "db/storage/table.h"

#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/locks.h"
#include "db/storage/session.h"

#include <chrono>
#include <thread>

namespace zolvek {

namespace {

constexpr uint32_t kInitialLockBitmapSize = 8192;

SignatureDigests DigestsOf(const TDataEngine& engine) {
    return SignatureDigests { engine.SignatureDigest(), TDataEngine::DefaultSignatureDigest() };
}

} // namespace

TDataTable::TDataTable(TDataDirectory& directory, std::string table_name)
    : directory_(directory)
    , table_name_(std::move(table_name))
    , data_file_(directory.Engine())
    , index_file_(directory.Engine(), data_file_.Header())
    , blob_file_(directory.Engine(), data_file_.Header()) {
    for (TBufferedFile* file :
        { static_cast<TBufferedFile*>(&data_file_), static_cast<TBufferedFile*>(&index_file_),
            static_cast<TBufferedFile*>(&blob_file_) }) {
        file->SetCacheOwner(this);
        file->SetDisplayName(table_name_);
    }
    record_locks_.SetSize(kInitialLockBitmapSize);
    held_back_locks_.SetSize(kInitialLockBitmapSize);
    semaphores_.SetSize(TLockLayout::kMaxSemaphores);
}

TDataTable::~TDataTable() {
    try {
        CloseTableObject(true, true);
    } catch (...) {
        // A destructor cannot report; the files are closed by their own destructors.
        NoteSwallowedFailure();
    }
}

TDataSession& TDataTable::Session() const {
    return directory_.Session();
}
TDataEngine& TDataTable::Engine() const {
    return directory_.Engine();
}

void TDataTable::RaiseError(uint16_t code) const {
    Engine().Errors().RaiseTableError(code, table_name_);
}

bool TDataTable::StrictChangeDetection() const {
    return Session().Settings().StrictChangeDetection;
}
bool TDataTable::ForceBufferFlush() const {
    return Session().Settings().ForceBufferFlush;
}

void TDataTable::SetTableName(const std::string& name) {
    table_name_ = name;
    for (TBufferedFile* file : { static_cast<TBufferedFile*>(&data_file_),
             static_cast<TBufferedFile*>(&index_file_), static_cast<TBufferedFile*>(&blob_file_) })
        file->SetDisplayName(table_name_);
}

void TDataTable::SetFileNames() {
    const TEngineSettings& settings = Engine().Settings();
    const std::string& data_extension
        = temporary ? settings.TableDataTempExtension : settings.TableDataExtension;
    const std::string& index_extension
        = temporary ? settings.TableIndexTempExtension : settings.TableIndexExtension;
    const std::string& blob_extension
        = temporary ? settings.TableBlobTempExtension : settings.TableBlobExtension;
    data_file_.SetName(directory_.TableFileName(table_name_, data_extension));
    index_file_.SetName(directory_.TableFileName(table_name_, index_extension));
    blob_file_.SetName(directory_.TableFileName(table_name_, blob_extension));
    for (TBufferedFile* file :
        { static_cast<TBufferedFile*>(&data_file_), static_cast<TBufferedFile*>(&index_file_),
            static_cast<TBufferedFile*>(&blob_file_) }) {
        file->in_memory = directory_.InMemory();
        file->exclusive = exclusive;
        file->read_only = read_only;
        file->temporary = temporary;
    }
}

void TDataTable::OpenDataFile() {
    data_file_.Open();
    data_file_.ReadHeader();
    CheckDataFileHeader(data_file_.Header(), DigestsOf(Engine()), table_name_);
    data_file_.SetCipher(nullptr);
    if (data_file_.Header().Encrypted != 0) {
        TDigest check = data_file_.Header().PasswordCheck;
        TDataPassword* password = Session().FindPasswordByCheck(check);
        while (password == nullptr && Session().AskPassword())
            password = Session().FindPasswordByCheck(check);
        if (password == nullptr)
            RaiseError(ZOLVEK_NOTSUFFTABLERIGHTS);
        password_ = password;
        data_file_.SetCipher(&password->Key());
    }
    index_file_.SetCipher(data_file_.Cipher());
    blob_file_.SetCipher(data_file_.Cipher());
    data_file_.ReadDescriptors();
}

void TDataTable::OpenIndexFile() {
    try {
        index_file_.Open();
        index_file_.ReadHeader();
        CheckIndexFileHeader(index_file_.Header(), DigestsOf(Engine()), table_name_);
        index_file_.ReadDescriptorArea();
        return;
    } catch (const EZOLVEKEngineError& error) {
        // Only a file that is not there is made again. A read that fails or comes back short
        // may be a passing fault or a damaged file: recreating it would throw away every
        // secondary index definition for good, so the error goes to the caller and the file
        // stays as it is (a repair can rebuild it from the records).
        if (error.Code() != ZOLVEK_OSENOENT)
            throw;
    }
    // A missing index file is made again; the first cursor rebuilds the primary index.
    index_file_.Close();
    index_file_.exclusive = false;
    index_file_.CreateFile();
    index_file_.WriteHeader(true);
    index_file_.WriteDescriptorArea(true);
    index_file_.Close();
    index_file_.exclusive = exclusive;
    index_file_.Open();
    index_file_.ReadHeader();
    index_file_.ReadDescriptorArea();
    index_recreated_ = true;
}

void TDataTable::VerifyHeaders() {
    auto locale_available = [](uint32_t locale) { return IsLocaleAvailable(locale); };
    VerifyDataFileHeader(data_file_.Header(), data_file_.Fields(), uint64_t(data_file_.Size()),
        locale_available, table_name_);
    if (!index_recreated_)
        VerifyIndexFileHeader(index_file_.Header(), index_file_.Slots(), data_file_.Fields(),
            data_file_.Header().IndexPageSize, table_name_);
    if (HasBlobFile())
        VerifyBlobFileHeader(blob_file_.Header(), table_name_);
}

void TDataTable::OpenTableObject(bool keep_open_count, bool verify_headers) {
    if (!keep_open_count)
        ++open_count_;
    if (open_)
        return;
    index_recreated_ = false;
    open_ = true;
    changed_ = false;
    try {
        SetFileNames();
        OpenDataFile();
        OpenIndexFile();
        if (HasBlobFile()) {
            blob_file_.Open();
            blob_file_.ReadHeader();
            CheckBlobFileHeader(blob_file_.Header(), DigestsOf(Engine()), table_name_);
        }
        read_only_ = data_file_.OpenedReadOnly() || index_file_.OpenedReadOnly()
            || (HasBlobFile() && blob_file_.OpenedReadOnly()) || directory_.ReadOnly();
        read_only_by_attribute_ = data_file_.ReadOnlyByAttribute()
            || index_file_.ReadOnlyByAttribute()
            || (HasBlobFile() && blob_file_.ReadOnlyByAttribute());
        if (read_only_by_attribute_)
            read_only_ = true;

        lock_entry_ = nullptr;
        if (!exclusive && !read_only_by_attribute_ && directory_.Locks() != nullptr)
            lock_entry_ = directory_.Locks()->RegisterTable(table_name_);
        bool locked = lock_entry_ != nullptr && lock_entry_->ReadLockTable();
        try {
            if (locked) {
                data_file_.ReadHeader();
                index_file_.ReadHeader();
                if (HasBlobFile())
                    blob_file_.ReadHeader();
            }
            // Exclusive opens are verified too: they trust the files no more than shared ones.
            if (verify_headers)
                VerifyHeaders();
        } catch (...) {
            if (locked)
                lock_entry_->ReadUnlockTable();
            throw;
        }
        if (locked)
            lock_entry_->ReadUnlockTable();
        data_file_.ResetCache();
        index_file_.ResetCache();
        if (HasBlobFile())
            blob_file_.ResetCache();
    } catch (...) {
        CloseTableObject(true, true);
        open_count_ = 0;
        throw;
    }
}

void TDataTable::CloseTableObject(bool discard, bool forced) {
    if (!open_)
        return;
    if (!forced && open_count_ > 0)
        --open_count_;
    if (!forced
        && (in_transaction_ || open_count_ > 0 || (directory_.KeepTablesOpen() && !exclusive)))
        return;
    std::exception_ptr failure;
    if (exclusive && !read_only_) {
        try {
            if (temporary && discard)
                DiscardTableBuffers(true, false, false);
            else
                FlushTable(true, false, false, false, false);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    try {
        ReleaseAllLocks();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    index_file_.Close();
    blob_file_.Close();
    data_file_.Close();
    index_recreated_ = false;
    changed_ = false;
    in_transaction_ = false;
    open_ = false;
    open_count_ = 0;
    lock_entry_ = nullptr;
    if (failure)
        std::rethrow_exception(failure);
}

void TDataTable::CreateTableFiles(const TableLayout& layout) {
    ++open_count_;
    open_ = true;
    exclusive = true;
    SetFileNames();
    try {
        data_file_.CreateFile();
        DataFileHeader& header = data_file_.Header();
        ApplyTableLayout(layout, header);
        data_file_.SetCipher(nullptr);
        if (layout.Encrypted) {
            Session().AddPassword(layout.Password);
            TDataPassword* password = Session().FindPassword(layout.Password);
            while (password == nullptr && Session().AskPassword())
                password = Session().FindPassword(layout.Password);
            if (password == nullptr)
                RaiseError(ZOLVEK_NOTSUFFTABLERIGHTS);
            password_ = password;
            header.Encrypted = 1;
            header.PasswordCheck = password->CheckBlock();
            data_file_.SetCipher(&password->Key());
        } else {
            header.Encrypted = 0;
            header.PasswordCheck = {};
        }
        index_file_.SetCipher(data_file_.Cipher());
        blob_file_.SetCipher(data_file_.Cipher());
        data_file_.SetDescriptors(layout.Fields, table_name_);
        data_file_.WriteHeader(true);
        data_file_.WriteDescriptors(true);

        index_file_.CreateFile();
        index_file_.Slots() = layout.IndexSlots;
        index_file_.Header().SecondaryIndexCount = layout.SecondaryIndexCount;
        index_file_.WriteHeader(true);
        index_file_.WriteDescriptorArea(true);

        if (HasBlobFile()) {
            blob_file_.CreateFile();
            blob_file_.WriteHeader(true);
        }
        data_file_.ResetCache();
        index_file_.ResetCache();
        if (HasBlobFile())
            blob_file_.ResetCache();
        read_only_ = false;
        read_only_by_attribute_ = false;
    } catch (...) {
        for (TBufferedFile* file :
            { static_cast<TBufferedFile*>(&data_file_), static_cast<TBufferedFile*>(&index_file_),
                static_cast<TBufferedFile*>(&blob_file_) }) {
            bool created = file->IsOpen();
            file->Close();
            if (created) {
                try {
                    file->Delete();
                } catch (const EZOLVEKEngineError&) { }
            }
        }
        open_ = false;
        open_count_ = 0;
        throw;
    }
}

void TDataTable::FlushTable(
    bool trim, bool force_data, bool force_index, bool force_blob, bool force_os) {
    if (!open_ || read_only_)
        return;
    if (in_transaction_) {
        MarkTableHeaders(force_data, force_index, force_blob);
        return;
    }
    bool os_flush = force_os || ForceBufferFlush();

    // What records point at goes first: BLOB blocks, then index pages, then the records, and the
    // data header last. A crash part way then leaves blocks and pages that nothing uses yet, or
    // records the index does not know, rather than records whose memo chains were never
    // written; repair rebuilds the rest from whole records. The data header's ChangeCount is
    // the table's change stamp: it moves whenever any of the three files changed on disk.
    bool blob_header = false;
    if (HasBlobFile() && blob_file_.IsOpen()) {
        bool blocks = blob_file_.FlushUnits(false);
        blob_header = blob_file_.WriteHeader(force_blob || blocks);
        if ((blocks || blob_header) && os_flush)
            blob_file_.Flush();
        if (trim)
            blob_file_.Trim();
    }
    bool index_header = false;
    if (index_file_.IsOpen()) {
        bool pages = index_file_.FlushUnits(false);
        index_header = index_file_.WriteHeader(force_index || pages);
        bool area = index_file_.WriteDescriptorArea();
        if ((pages || index_header || area) && os_flush)
            index_file_.Flush();
        if (trim)
            index_file_.Trim();
    }
    bool data_units = data_file_.FlushUnits(false);
    bool descriptors = data_file_.WriteDescriptors();
    bool data_header
        = data_file_.WriteHeader(force_data || data_units || index_header || blob_header);
    if ((data_units || descriptors || data_header) && os_flush)
        data_file_.Flush();
    if (trim)
        data_file_.Trim();
}

void TDataTable::MarkTableHeaders(bool data, bool index, bool blob) {
    if (data)
        data_file_.MarkHeaderChanged();
    if (index && index_file_.IsOpen())
        index_file_.MarkHeaderChanged();
    if (blob && HasBlobFile() && blob_file_.IsOpen())
        blob_file_.MarkHeaderChanged();
}

void TDataTable::DiscardTableBuffers(
    bool trim, bool reread_headers, bool reread_index_descriptors) {
    auto discard = [&](TBufferedFile& file, const std::function<void()>& reread) {
        if (!file.IsOpen())
            return;
        file.DiscardAll();
        if (trim)
            file.Trim();
        if (reread_headers)
            reread();
    };
    discard(data_file_, [&] { data_file_.ReadHeader(); });
    discard(index_file_, [&] { index_file_.ReadHeader(); });
    if (HasBlobFile())
        discard(blob_file_, [&] { blob_file_.ReadHeader(); });
    if (reread_index_descriptors && index_file_.IsOpen())
        index_file_.ReadDescriptorArea();
}

void TDataTable::FlushTableToDisk() {
    if (!open_ || read_only_ || ForceBufferFlush())
        return;
    data_file_.Flush();
    if (index_file_.IsOpen())
        index_file_.Flush();
    if (HasBlobFile() && blob_file_.IsOpen())
        blob_file_.Flush();
}

void TDataTable::EmptyTableFiles() {
    bool os_flush = ForceBufferFlush();
    data_file_.DiscardAll();
    data_file_.TruncateToHeader(os_flush);
    data_file_.ResetHeader();
    index_file_.DiscardAll();
    index_file_.TruncateToHeader(os_flush);
    index_file_.ResetHeader();
    if (HasBlobFile()) {
        blob_file_.DiscardAll();
        blob_file_.TruncateToHeader(os_flush);
        blob_file_.ResetHeader();
    }
    changed_ = true;
    DiscardTableBuffers(true, false, false);
}

void TDataTable::DeleteTableFiles() {
    SetFileNames();
    data_file_.Delete();
    index_file_.Delete();
    if (blob_file_.Exists())
        blob_file_.Delete();
}

void TDataTable::RenameTableFiles(
    const std::string& target_directory, const std::string& new_name, bool to_backup) {
    SetFileNames();
    const TEngineSettings& settings = Engine().Settings();
    std::string base = new_name;
    size_t slash = base.find_last_of('/');
    if (slash != std::string::npos)
        base = base.substr(slash + 1);
    std::string directory = target_directory;
    if (!directory.empty() && directory.back() != '/')
        directory += '/';
    struct Move {
        TBufferedFile* file;
        const std::string& extension;
    };
    Move moves[] = {
        { &data_file_,
            to_backup ? settings.TableDataBackupExtension : settings.TableDataExtension },
        { &index_file_,
            to_backup ? settings.TableIndexBackupExtension : settings.TableIndexExtension },
        { &blob_file_,
            to_backup ? settings.TableBlobBackupExtension : settings.TableBlobExtension },
    };
    for (const Move& move : moves) {
        if (!move.file->Exists())
            continue;
        std::string target
            = directory + BuildTableFileName(base, move.extension, settings.TableDataExtension);
        if (to_backup && Engine().OpenFiles().Exists(target, directory_.InMemory()))
            Engine().OpenFiles().Delete(target, directory_.InMemory());
        move.file->Rename(target);
    }
}

// ---------------------------------------------------------------------------------------------
// Change detection and locks

bool TDataTable::CheckForChange() {
    // Nobody else writes a table open exclusively, nor one inside this session's transaction
    // (the transaction byte keeps other writers out); their headers and units may hold changes
    // not yet written, which a re-read would throw away as if someone else had moved the table.
    if (exclusive || in_transaction_)
        return false;
    if (!data_file_.ReReadHeaderReportChange())
        return false;
    data_file_.DiscardAll();
    if (index_file_.IsOpen()) {
        uint8_t secondary_count = index_file_.Header().SecondaryIndexCount;
        index_file_.ReadHeader();
        index_file_.DiscardAll();
        if (index_file_.Header().SecondaryIndexCount != secondary_count)
            index_file_.ReadDescriptorArea();
    }
    if (HasBlobFile() && blob_file_.IsOpen()) {
        blob_file_.ReadHeader();
        blob_file_.DiscardAll();
    }
    return true;
}

bool TDataTable::BeginTableRead() {
    if (lock_entry_ != nullptr && !table_locked_ && lock_entry_->ReadLockTable())
        return CheckForChange();
    return false;
}

void TDataTable::EndTableRead() {
    if (lock_entry_ != nullptr && !table_locked_)
        lock_entry_->ReadUnlockTable();
}

bool TDataTable::BeginTableWrite() {
    if (lock_entry_ == nullptr || table_locked_)
        return false;
    if (lock_entry_->WriteLockTable(!in_transaction_))
        return CheckForChange();
    return false;
}

void TDataTable::EndTableWrite() {
    if (lock_entry_ != nullptr && !table_locked_)
        lock_entry_->WriteUnlockTable(!in_transaction_);
}

bool TDataTable::TryDataLock(uint64_t offset, uint64_t length) {
    // Tables without lock entries (exclusive, or read-only by attribute) lock nothing in the OS.
    if (lock_entry_ == nullptr || directory_.ReadOnly())
        return true;
    return data_file_.LockRange(offset, length);
}

void TDataTable::EnsureLockBitmap(TRecordsBitmap& bitmap, uint32_t record) {
    if (record > bitmap.Size())
        bitmap.SetSize(std::max<uint32_t>(record, bitmap.Size() * 2));
}

bool TDataTable::RecordLocked(uint32_t record) const {
    return record >= 1 && record <= record_locks_.Size() && record_locks_.GetBit(record);
}

bool TDataTable::LockRecord(uint32_t record) {
    if (table_locked_)
        return false;
    if (record == 0 || RecordLocked(record))
        RaiseError(ZOLVEK_RECLOCKFAILED);
    EnsureLockBitmap(record_locks_, record);
    EnsureLockBitmap(held_back_locks_, record);
    bool changed = false;
    if (held_back_locks_.GetBit(record)) {
        held_back_locks_.ClearBit(record);
    } else {
        const TSessionSettings& settings = Session().Settings();
        const TLockLayout& layout
            = directory_.Locks() != nullptr ? directory_.Locks()->Layout() : TLockLayout {};
        if (!settings.StrictChangeDetection)
            changed = BeginTableRead() || changed;
        uint32_t failures = 0;
        while (!TryDataLock(layout.RecordByte(record), 1)) {
            EndTableRead();
            if (++failures > settings.LockRetryCount)
                RaiseError(ZOLVEK_RECLOCKFAILED);
            std::this_thread::sleep_for(std::chrono::milliseconds(settings.LockWaitTime));
            changed = BeginTableRead() || changed;
        }
    }
    record_locks_.SetBit(record);
    return changed;
}

void TDataTable::UnlockRecord(uint32_t record) {
    if (table_locked_)
        return;
    bool locked = RecordLocked(record);
    bool held_back
        = record >= 1 && record <= held_back_locks_.Size() && held_back_locks_.GetBit(record);
    if (!locked && !held_back)
        RaiseError(ZOLVEK_UNLOCKFAILED);
    if (locked)
        record_locks_.ClearBit(record);
    if (in_transaction_) {
        // The byte stays locked until the transaction ends.
        EnsureLockBitmap(held_back_locks_, record);
        held_back_locks_.SetBit(record);
        return;
    }
    if (held_back)
        held_back_locks_.ClearBit(record);
    ReleaseRecordByte(record);
}

void TDataTable::ReleaseRecordByte(uint32_t record) {
    if (lock_entry_ == nullptr || directory_.ReadOnly())
        return;
    if (!data_file_.UnlockRange(directory_.Locks()->Layout().RecordByte(record), 1))
        RaiseError(ZOLVEK_UNLOCKFAILED);
}

void TDataTable::ReleaseTableBytes() {
    if (lock_entry_ == nullptr || directory_.ReadOnly())
        return;
    const TLockLayout& layout = directory_.Locks()->Layout();
    if (!data_file_.UnlockRange(layout.WholeTableStart(), layout.max_records))
        RaiseError(ZOLVEK_UNLOCKFAILED);
}

void TDataTable::UnlockAllRecords(bool held_back_ones) {
    TRecordsBitmap& set = held_back_ones ? held_back_locks_ : record_locks_;
    std::vector<uint32_t> records;
    for (uint32_t position = 0; set.FindNext(position, 1);)
        records.push_back(position);
    if (held_back_ones) {
        for (uint32_t record : records) {
            held_back_locks_.ClearBit(record);
            ReleaseRecordByte(record);
        }
        if (table_lock_held_back_) {
            table_lock_held_back_ = false;
            ReleaseTableBytes();
        }
        return;
    }
    for (uint32_t record : records)
        UnlockRecord(record);
    if (table_locked_)
        UnlockTableRecords();
}

bool TDataTable::LockTableRecords() {
    if (table_locked_ || record_locks_.CountBits() > 0)
        RaiseError(ZOLVEK_LOCKED);
    bool changed = false;
    if (table_lock_held_back_) {
        table_lock_held_back_ = false;
    } else {
        const TSessionSettings& settings = Session().Settings();
        const TLockLayout& layout
            = directory_.Locks() != nullptr ? directory_.Locks()->Layout() : TLockLayout {};
        TRetryPolicy policy { settings.LockWaitTime, settings.LockRetryCount };
        if (!RetryLock(
                policy, [&] { return TryDataLock(layout.WholeTableStart(), layout.max_records); }))
            RaiseError(ZOLVEK_LOCKED);
        if (lock_entry_ != nullptr && !lock_entry_->ReadLocked() && !lock_entry_->WriteLocked()
            && !lock_entry_->TransactionByteHeld())
            changed = CheckForChange();
    }
    table_locked_ = true;
    return changed;
}

void TDataTable::UnlockTableRecords() {
    if (!table_locked_)
        RaiseError(ZOLVEK_UNLOCKFAILED);
    table_locked_ = false;
    if (in_transaction_) {
        table_lock_held_back_ = true;
        return;
    }
    ReleaseTableBytes();
}

bool TDataTable::LockSemaphore(uint32_t semaphore) {
    if (semaphore < 1 || semaphore > TLockLayout::kMaxSemaphores || semaphores_.GetBit(semaphore))
        return false;
    const TSessionSettings& settings = Session().Settings();
    const TLockLayout& layout
        = directory_.Locks() != nullptr ? directory_.Locks()->Layout() : TLockLayout {};
    TRetryPolicy policy { settings.LockWaitTime, settings.LockRetryCount };
    if (!RetryLock(policy, [&] { return TryDataLock(layout.SemaphoreByte(semaphore), 1); }))
        return false;
    semaphores_.SetBit(semaphore);
    return true;
}

bool TDataTable::UnlockSemaphore(uint32_t semaphore) {
    if (semaphore < 1 || semaphore > TLockLayout::kMaxSemaphores || !semaphores_.GetBit(semaphore))
        return false;
    semaphores_.ClearBit(semaphore);
    const TLockLayout& layout
        = directory_.Locks() != nullptr ? directory_.Locks()->Layout() : TLockLayout {};
    if (lock_entry_ == nullptr || directory_.ReadOnly())
        return true;
    return data_file_.UnlockRange(layout.SemaphoreByte(semaphore), 1);
}

void TDataTable::ReleaseAllLocks() {
    in_transaction_ = false;
    UnlockAllRecords(false);
    UnlockAllRecords(true);
    for (uint32_t k = 1; k <= TLockLayout::kMaxSemaphores; ++k) {
        if (semaphores_.GetBit(k))
            UnlockSemaphore(k);
    }
    if (lock_entry_ != nullptr) {
        lock_entry_->ReadUnlockTable();
        lock_entry_->WriteUnlockTable(false);
    }
}

void TDataTable::ReleaseHeldBackLocks() {
    UnlockAllRecords(true);
}

// ---------------------------------------------------------------------------------------------
// Transactions

void TDataTable::StartTableTransaction() {
    if (read_only_ || in_transaction_)
        return;
    if (exclusive)
        FlushTable(false, false, false, false, false);
    if (lock_entry_ != nullptr) {
        if (!directory_.TransactionCoversAllTables())
            lock_entry_->TransLockTable();
        CheckForChange();
    }
    in_transaction_ = true;
}

void TDataTable::CommitTableTransaction(bool flush_os, bool end) {
    if (!in_transaction_)
        return;
    in_transaction_ = false;
    if (!end) {
        FlushTable(false, false, false, false, flush_os);
        in_transaction_ = true;
        return;
    }
    // A commit whose writes fail leaves the transaction open with its changes still cached (and
    // the transaction byte still keeping other writers out): committing again writes what did
    // not reach the files, a rollback discards it. Ending it would leave part of it written and
    // the rest to be thrown away by the next change check.
    if (lock_entry_ != nullptr && !directory_.TransactionCoversAllTables()) {
        lock_entry_->WriteLockTable(false);
        try {
            FlushTable(true, false, false, false, flush_os);
        } catch (...) {
            in_transaction_ = true;
            try {
                lock_entry_->WriteUnlockTable(false);
            } catch (...) {
                NoteSwallowedFailure();
            }
            throw;
        }
        lock_entry_->WriteUnlockTable(false);
        lock_entry_->TransUnlockTable();
    } else {
        try {
            FlushTable(true, false, false, false, flush_os);
        } catch (...) {
            in_transaction_ = true;
            throw;
        }
    }
    ReleaseHeldBackLocks();
    changed_ = false;
}

void TDataTable::RollbackTableTransaction() {
    if (!in_transaction_)
        return;
    in_transaction_ = false;
    DiscardTableBuffers(true, true, true);
    ReleaseHeldBackLocks();
    if (lock_entry_ != nullptr && !directory_.TransactionCoversAllTables())
        lock_entry_->TransUnlockTable();
    changed_ = false;
}

} // namespace zolvek
