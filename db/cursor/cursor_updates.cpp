// Cursor changes: insert, modify and delete with the record lock of an edit, unique checks
// before anything is written, every index and BLOB chain maintained, and a change journal so
// that a change that fails half-way leaves the table as it was.
#include "db/cursor/cursor.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/cursor/record_values.h"
#include "db/storage/digest.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"
#include "db/storage/session.h"

#include <cstring>

namespace zolvek {

// Takes the table's write lock for one change and gives it back on every path.
class TDataCursor::TWriteBracket {
public:
    explicit TWriteBracket(TDataCursor& cursor)
        : cursor_(cursor) {
        cursor_.BeginWrite();
    }
    ~TWriteBracket() {
        try {
            cursor_.EndWrite();
        } catch (...) {
            NoteSwallowedFailure();
        }
    }

private:
    TDataCursor& cursor_;
};

namespace {

bool IsAutoIncrement(const FieldDescriptor& field) {
    return field.DataType == kTypeInteger && field.SubType == kSubTypeAutoInc;
}

bool SameHash(const uint8_t* a, const uint8_t* b) {
    return std::memcmp(a + 9, b + 9, 16) == 0;
}

// Gives back what a finished change still holds (its record lock) on every path: Run on the
// normal one, where a failure is the caller's to see; the destructor when repositioning after
// the change throws, where the change's own error goes on and a failure here is only noted.
class TDeferredRelease {
public:
    explicit TDeferredRelease(std::function<void()> release)
        : release_(std::move(release)) { }
    ~TDeferredRelease() {
        if (!release_)
            return;
        try {
            release_();
        } catch (...) {
            NoteSwallowedFailure();
        }
    }
    TDeferredRelease(const TDeferredRelease&) = delete;
    TDeferredRelease& operator=(const TDeferredRelease&) = delete;
    void Run() {
        std::function<void()> release = std::move(release_);
        release_ = nullptr;
        release();
    }

private:
    std::function<void()> release_;
};

} // namespace

void TDataCursor::CheckWritable() const {
    if (ReadOnly || table_->ReadOnly())
        RaiseError(ZOLVEK_OSEACCES);
}

TDataCursor::TSlotIndex& TDataCursor::SlotIndex(uint8_t slot) {
    if (slot_indexes_.size() < kIndexSlotCount)
        slot_indexes_.resize(kIndexSlotCount);
    TSlotIndex& entry = slot_indexes_[slot];
    if (entry.tree == nullptr) {
        const IndexSlots& index = table_->IndexFile().Index();
        entry.keys = std::make_unique<TIndexKeyInfo>(
            slot, index.Slots[slot], Fields(), locale_id_, table_name_);
        entry.tree = std::make_unique<TIndexTree>(table_->IndexFile(), *entry.keys, this);
    }
    return entry;
}

void TDataCursor::ResetSlotIndexes() {
    slot_indexes_.clear();
}

void TDataCursor::FireTrigger(int event) const {
    const TDataEngine::TTriggerCallback& callback = directory_.Engine().TriggerCallback();
    if (callback)
        callback(TDataEngine::TTriggerEvent(event), directory_.Session(), table_name_);
}

bool TDataCursor::BeginWrite() {
    CheckWritable();
    bool changed = table_->BeginTableWrite();
    if (changed || CountersMoved()) {
        ResetSlotIndexes();
        Resynchronise();
    }
    return changed;
}

void TDataCursor::EndWrite() {
    table_->EndTableWrite();
}

bool TDataCursor::LockCursorRecord(uint32_t record) {
    if (table_->exclusive)
        return false;
    bool changed = table_->LockRecord(record == 0 ? record_number_ : record);
    if (changed || CountersMoved())
        Resynchronise();
    return changed;
}

void TDataCursor::UnlockCursorRecord(uint32_t record) {
    if (table_->exclusive)
        return;
    table_->UnlockRecord(record == 0 ? record_number_ : record);
}

void TDataCursor::CommitChange(
    bool even_if_exclusive, bool trim, bool data_header, bool index_header, bool blob_header) {
    if (!table_->exclusive || even_if_exclusive)
        table_->FlushTable(trim, data_header, index_header, blob_header, false);
    else
        table_->MarkTableHeaders(data_header, index_header, blob_header);
    RememberCounters();
}

void TDataCursor::BeginChangeJournal() {
    journal_.open = true;
    journal_.data = table_->DataFile().Header();
    journal_.index = table_->IndexFile().Index();
    if (table_->HasBlobFile())
        journal_.blob = table_->BlobFile().Header();
    table_->DataFile().BeginChange();
    table_->IndexFile().BeginChange();
    if (table_->HasBlobFile())
        table_->BlobFile().BeginChange();
}

void TDataCursor::EndChangeJournal() {
    journal_.open = false;
    table_->DataFile().EndChange();
    table_->IndexFile().EndChange();
    if (table_->HasBlobFile())
        table_->BlobFile().EndChange();
}

// After a change failed: the table as it was, the cursor's index back, its locks given back.
// The change's own error is the one that goes on, so failures here are not reported.
void TDataCursor::AbandonChange(uint8_t saved_slot, const std::function<void()>& release_locks) {
    RollbackFailedChange();
    try {
        SetActiveIndex(saved_slot);
        release_locks();
    } catch (const EDatabaseError&) { }
}

// Puts the table back as it was when the failed change began: the units and headers in the
// caches, and, for a shared table whose flush may have written part of the change, the files.
void TDataCursor::RollbackFailedChange() {
    if (!journal_.open)
        return;
    journal_.open = false;
    // The change's own error is the one the caller gets; a file that cannot be put back now is
    // written again by the next flush, since the restored units stay dirty.
    bool restored = true;
    try {
        table_->DataFile().RollbackChange();
        table_->IndexFile().RollbackChange();
        if (table_->HasBlobFile())
            table_->BlobFile().RollbackChange();
    } catch (const EDatabaseError&) {
        restored = false;
    }
    table_->DataFile().Header() = journal_.data;
    table_->IndexFile().Index() = journal_.index;
    table_->DataFile().Header().HeaderModified = true;
    table_->IndexFile().Header().HeaderModified = true;
    if (table_->HasBlobFile()) {
        table_->BlobFile().Header() = journal_.blob;
        table_->BlobFile().Header().HeaderModified = true;
    }
    ResetSlotIndexes();
    if (restored && !table_->exclusive) {
        try {
            table_->FlushTable(false, true, true, table_->HasBlobFile(), false);
        } catch (const EDatabaseError&) { }
    }
    RememberCounters();
}

void TDataCursor::ComputeRecordHash(uint8_t* record) const {
    TDigest digest = zolvek::ComputeRecordHash(Fields(), record, RecordSize());
    std::memcpy(record + 9, digest.data(), digest.size());
}

// ---------------------------------------------------------------------------------------------
// Edits

EngineCode TDataCursor::ReadCurrent(uint8_t* buffer, bool lock) {
    auto read = [&] {
        LoadCurrentRecord(0);
        FindVisible(0);
        EngineCode code = 0;
        if (bof_ && eof_)
            code = ZOLVEK_NOCURRREC;
        else if (bof_)
            code = ZOLVEK_BOF;
        else if (eof_)
            code = ZOLVEK_EOF;
        if (code != 0)
            ClearRecord(buffer);
        else
            std::memcpy(buffer, current_.data(), current_.size());
        return code;
    };
    if (!lock)
        return Stable(read);
    // Starting an edit: the record lock's own change check puts the cursor right.
    TReadBracket bracket(*this);
    CheckWritable();
    LoadCurrentRecord(0);
    old_copy_ = current_;
    bool pessimistic = directory_.Session().Settings().LockProtocol == lpPessimistic;
    if (!pessimistic) {
        if (!SameHash(buffer, old_copy_.data()) || RecordDeleted(old_copy_.data())
            || record_number_ == 0)
            RaiseError(ZOLVEK_KEYORRECDELETED);
    } else if (record_number_ != 0) {
        uint32_t record = record_number_;
        LockCursorRecord(record);
        LoadCurrentRecord(0);
        if (!table_->exclusive
            && (!SameHash(buffer, current_.data()) || RecordDeleted(current_.data()))) {
            UnlockCursorRecord(record);
            RaiseError(ZOLVEK_KEYORRECDELETED);
        }
        edit_locked_ = !table_->exclusive;
        edit_record_ = record;
        old_copy_ = current_;
    }
    return read();
}

void TDataCursor::UnlockCurrent() {
    if (edit_locked_) {
        edit_locked_ = false;
        UnlockCursorRecord(edit_record_);
    }
    std::fill(old_copy_.begin(), old_copy_.end(), 0);
}

void TDataCursor::InsertRecord(uint8_t* buffer, bool reposition, bool hash, bool skip_unique,
    bool keep_autoinc, bool keep_record_number) {
    CheckWritable();
    std::fill(old_copy_.begin(), old_copy_.end(), 0);
    FireTrigger(TDataEngine::BeforeInsertTrigger);
    TWriteBracket write(*this);
    TDataFile& data = table_->DataFile();
    uint32_t record = data.NextFreeRecordNumber();
    LockCursorRecord(record);
    uint8_t saved_slot = active_slot_;
    try {
        // The new record, complete, before anything is written.
        std::memcpy(work_.data(), buffer, work_.size());
        work_[0] = kRecordStatusLive;
        SetRecordLink(work_.data(), keep_record_number ? RecordLink(buffer) : 0);
        int32_t last_autoinc = data.Header().LastAutoIncValue;
        for (const FieldDescriptor& field : Fields()) {
            if (!IsAutoIncrement(field))
                continue;
            if (FieldIsNull(field, work_.data()) && !keep_autoinc) {
                last_autoinc = NextCounterValue(last_autoinc);
                uint8_t value[4];
                StoreI32(value, last_autoinc);
                zolvek::WriteFieldValue(field, work_.data(), value, 4, locale_id_);
            } else if (!FieldIsNull(field, work_.data())) {
                last_autoinc
                    = std::max(last_autoinc, LoadI32(FieldValuePointer(field, work_.data())));
            }
        }
        if (HasConstraints(Fields()))
            CheckConstraints(Fields(), work_.data(), locale_id_, table_name_);
        int32_t record_id = NextCounterValue(data.Header().LastRecordID);
        SetRecordID(work_.data(), record_id);
        if (hash)
            ComputeRecordHash(work_.data());
        uint8_t index_count = IndexCount();
        if (!skip_unique) {
            for (uint8_t slot = 0; slot <= index_count; ++slot) {
                TSlotIndex& index = SlotIndex(slot);
                if (!index.keys->Unique())
                    continue;
                index.keys->BuildKey(work_.data(), key_.data());
                if (index.tree->KeyExists(key_.data()))
                    directory_.Engine().Errors().RaiseIndexError(
                        ZOLVEK_KEYVIOL, index.keys->IndexName(), table_name_);
            }
        }

        BeginChangeJournal();
        TPinned<TRecord> slot_buffer(data.TakeSlot(this));
        if (!slot_buffer || slot_buffer->Number() != record)
            RaiseError(ZOLVEK_FILECORRUPT);
        data.IncrementRecordCount();
        if (last_autoinc != data.Header().LastAutoIncValue)
            data.SetLastAutoIncValue(last_autoinc);
        data.SetLastRecordID(record_id);
        for (uint8_t slot = 0; slot <= index_count; ++slot) {
            TSlotIndex& index = SlotIndex(slot);
            index.keys->BuildKey(work_.data(), key_.data());
            index.tree->InsertKey(key_.data(), record);
        }
        bool wrote_blob = table_->HasBlobFile() && blobs_->WritePendingBlobs(work_.data());
        SetRecordLink(work_.data(), record);
        std::memcpy(slot_buffer->Data(), work_.data(), work_.size());
        slot_buffer->MarkDirty();
        slot_buffer.Reset();
        current_ = work_;
        record_number_ = record;
        SetRecordLink(buffer, record);
        CommitChange(false, false, true, true, wrote_blob);
        EndChangeJournal();
    } catch (...) {
        AbandonChange(saved_slot, [&] { UnlockCursorRecord(record); });
        throw;
    }
    TDeferredRelease unlock([&] { UnlockCursorRecord(record); });
    SetActiveIndex(saved_slot);
    if (reposition) {
        ComputeBounds();
        FiltersAfterWrite(record);
        bof_ = eof_ = false;
        Reposition();
    }
    unlock.Run();
    FireTrigger(TDataEngine::AfterInsertTrigger);
}

void TDataCursor::ModifyRecord(uint8_t* buffer, bool unlock, bool reposition, bool skip_unique) {
    CheckWritable();
    FireTrigger(TDataEngine::BeforeUpdateTrigger);
    TWriteBracket write(*this);
    bool optimistic = directory_.Session().Settings().LockProtocol == lpOptimistic;
    uint32_t record = record_number_;
    if (record == 0)
        RaiseError(ZOLVEK_NOCURRREC);
    LoadCurrentRecord(0);
    bool optimistic_lock = false;
    if (optimistic && !table_->exclusive) {
        if (!SameHash(old_copy_.data(), current_.data()) || RecordDeleted(current_.data()))
            RaiseError(ZOLVEK_KEYORRECDELETED);
        LockCursorRecord(record);
        optimistic_lock = true;
    }
    if (RecordDeleted(current_.data()))
        RaiseError(ZOLVEK_KEYORRECDELETED);
    uint8_t saved_slot = active_slot_;
    auto finish = [&]() {
        if (optimistic_lock) {
            optimistic_lock = false;
            UnlockCursorRecord(record);
        }
        if (table_->HasBlobFile())
            blobs_->RestoreBlockNumbers(old_copy_.data());
    };
    try {
        std::memcpy(work_.data(), buffer, work_.size());
        work_[0] = kRecordStatusLive;
        SetRecordLink(work_.data(), record);
        if (HasConstraints(Fields()))
            CheckConstraints(Fields(), work_.data(), locale_id_, table_name_);
        SetRecordID(work_.data(), RecordIDOf(current_.data()));
        ComputeRecordHash(work_.data());
        uint8_t index_count = IndexCount();
        if (!skip_unique) {
            for (uint8_t slot = 0; slot <= index_count; ++slot) {
                TSlotIndex& index = SlotIndex(slot);
                if (!index.keys->Unique())
                    continue;
                index.keys->BuildKey(current_.data(), other_key_.data());
                index.keys->BuildKey(work_.data(), key_.data());
                if (index.keys->CompareKeys(key_.data(), other_key_.data(), index.keys->KeyLength())
                        != 0
                    && index.tree->KeyExists(key_.data()))
                    directory_.Engine().Errors().RaiseIndexError(
                        ZOLVEK_KEYVIOL, index.keys->IndexName(), table_name_);
            }
        }

        BeginChangeJournal();
        bool index_changed = false;
        for (uint8_t slot = 0; slot <= index_count; ++slot) {
            TSlotIndex& index = SlotIndex(slot);
            index.keys->BuildKey(current_.data(), other_key_.data());
            index.keys->BuildKey(work_.data(), key_.data());
            // Byte equality: a key that compares equal under the collation but differs in its
            // bytes must still be rewritten.
            if (std::memcmp(key_.data(), other_key_.data(), index.keys->KeyLength()) != 0) {
                index.tree->ReplaceIndexKey(other_key_.data(), key_.data(), record);
                index_changed = true;
            }
        }
        bool wrote_blob = table_->HasBlobFile() && blobs_->WritePendingBlobs(work_.data());
        {
            TPinned<TRecord> stored(table_->DataFile().ReadRecord(this, record));
            if (!stored)
                RaiseError(ZOLVEK_KEYORRECDELETED);
            std::memcpy(stored->Data(), work_.data(), work_.size());
            stored->MarkDirty();
        }
        current_ = work_;
        CommitChange(false, false, true, index_changed, wrote_blob);
        EndChangeJournal();
    } catch (...) {
        AbandonChange(saved_slot, [&] { finish(); });
        throw;
    }
    if (unlock && !optimistic && edit_locked_) {
        edit_locked_ = false;
        UnlockCursorRecord(edit_record_);
    }
    TDeferredRelease release_lock(finish);
    SetActiveIndex(saved_slot);
    if (reposition) {
        ComputeBounds();
        FiltersAfterWrite(record);
        bof_ = eof_ = false;
        Reposition();
    }
    release_lock.Run();
    FireTrigger(TDataEngine::AfterUpdateTrigger);
    std::fill(old_copy_.begin(), old_copy_.end(), 0);
}

void TDataCursor::DeleteRecord(uint8_t* buffer, bool reposition) {
    CheckWritable();
    LoadCurrentRecord(0);
    old_copy_ = current_;
    FireTrigger(TDataEngine::BeforeDeleteTrigger);
    TWriteBracket write(*this);
    uint32_t record = record_number_;
    if (record == 0)
        RaiseError(ZOLVEK_NOCURRREC);
    LoadCurrentRecord(0);
    if (!table_->exclusive
        && (!SameHash(buffer, current_.data()) || RecordDeleted(current_.data())))
        RaiseError(ZOLVEK_KEYORRECDELETED);
    bool own_lock = !(edit_locked_ && edit_record_ == record);
    if (own_lock)
        LockCursorRecord(record);
    uint8_t saved_slot = active_slot_;
    auto release = [&]() {
        if (own_lock)
            UnlockCursorRecord(record);
        else {
            edit_locked_ = false;
            UnlockCursorRecord(record);
        }
    };
    try {
        BeginChangeJournal();
        uint8_t index_count = IndexCount();
        for (uint8_t slot = 0; slot <= index_count; ++slot) {
            TSlotIndex& index = SlotIndex(slot);
            index.keys->BuildKey(current_.data(), key_.data());
            index.tree->DeleteKey(key_.data());
        }
        TDataFile& data = table_->DataFile();
        data.DecrementRecordCount();
        bool wrote_blob = false;
        if (table_->HasBlobFile()) {
            work_ = current_;
            blobs_->ClearRecordBlobs(work_.data());
            wrote_blob = blobs_->WritePendingBlobs(work_.data());
        }
        {
            TPinned<TRecord> stored(data.ReadRecord(this, record));
            if (!stored)
                RaiseError(ZOLVEK_KEYORRECDELETED);
            data.FreeSlot(stored.get());
        }
        CommitChange(false, false, true, true, wrote_blob);
        EndChangeJournal();
    } catch (...) {
        AbandonChange(saved_slot, [&] { release(); });
        throw;
    }
    TDeferredRelease release_lock(release);
    SetActiveIndex(saved_slot);
    if (reposition) {
        ComputeBounds();
        FiltersAfterDelete(record);
        bof_ = eof_ = false;
        Reposition();
    }
    release_lock.Run();
    FireTrigger(TDataEngine::AfterDeleteTrigger);
    std::fill(old_copy_.begin(), old_copy_.end(), 0);
}

// The index file of this table was made afresh at open: the primary index is rebuilt from the
// records, the secondary definitions are gone.
void TDataCursor::RebuildRecreatedIndex() {
    if (table_->ReadOnly())
        return;
    TWriteBracket write(*this);
    TIndexFile& file = table_->IndexFile();
    IndexSlots& index = file.Index();
    index.ResetPrimary();
    index.SetRootPage(kPrimaryIndexSlot, 0);
    TDataFile& data = table_->DataFile();
    data.SetRecordCount(0);
    ResetSlotIndexes();
    TSlotIndex& primary = SlotIndex(kPrimaryIndexSlot);
    for (uint32_t n = 1; n <= data.PhysicalCount(); ++n) {
        TPinned<TRecord> record(data.ReadRecord(nullptr, n, true, rdForward));
        if (RecordDeleted(record->Data()))
            continue;
        data.IncrementRecordCount();
        primary.keys->BuildKey(record->Data(), key_.data());
        record.Reset();
        primary.tree->InsertKey(key_.data(), n);
    }
    index.SetTextIndex({}, file.Context(Fields(), table_name_));
    file.MarkDescriptorsChanged();
    CommitChange(true, false, false, true, false);
    table_->ClearIndexFileRecreated();
    ResetSlotIndexes();
}

} // namespace zolvek
