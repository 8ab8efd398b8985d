// The engine datasets: buffer layout, field values, the record fetch, navigation and editing.
#include "db/components/zolvek_dataset.h"

#include "db/base/bytes.h"
#include "db/components/component_errors.h"
#include "db/components/engine_component.h"
#include "db/components/zolvek_blob_stream.h"
#include "db/cursor/cursor.h"
#include "db/dataset/dataset_errors.h"
#include "db/storage/table_format.h"

#include <algorithm>
#include <cstring>

namespace zolvek {

TFieldType FieldTypeOf(const FieldDescriptor& descriptor, int32_t& size) {
    size = 0;
    switch (descriptor.DataType) {
    case kTypeString:
        size = descriptor.Size;
        switch (descriptor.SubType) {
        case kSubTypeFixed:
            return ftFixedChar;
        case kSubTypeWide:
            return ftWideString;
        case kSubTypeGuid:
            return ftGuid;
        default:
            return ftString;
        }
    case kTypeDate:
        return ftDate;
    case kTypeBlob:
        switch (descriptor.SubType) {
        case kSubTypeMemo:
        case 24:
        case 33:
            return ftMemo;
        case 26:
            return ftGraphic;
        default:
            return ftBlob;
        }
    case kTypeBoolean:
        return ftBoolean;
    case kTypeSmallInt:
        return ftSmallint;
    case kTypeInteger:
        return descriptor.SubType == kSubTypeAutoInc ? ftAutoInc : ftInteger;
    case kTypeFloat:
        return descriptor.SubType == kSubTypeMoney ? ftCurrency : ftFloat;
    case kTypeBcd:
        size = descriptor.Scale;
        return ftBCD;
    case kTypeBytes:
        size = descriptor.Size;
        return ftBytes;
    case kTypeTime:
        return ftTime;
    case kTypeDateTime:
        return ftDateTime;
    case kTypeWord:
        return ftWord;
    case 13:
        return ftInteger;
    case kTypeVarBytes:
        size = descriptor.Size;
        return ftVarBytes;
    case kTypeLargeInt:
    case 19:
        return ftLargeint;
    case 20:
        return ftADT;
    case 21:
        return ftArray;
    case 22:
        return ftReference;
    case 23:
        return ftDataSet;
    default:
        return ftUnknown;
    }
}

// ================================================================ TZOLVEKBaseDataSet

TZOLVEKBaseDataSet::~TZOLVEKBaseDataSet() = default;

std::unique_ptr<TStream> TZOLVEKBaseDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
    return std::make_unique<TZOLVEKBlobStream>(field, mode);
}

// ---------------------------------------------------------------- Buffer layout

void TZOLVEKBaseDataSet::ComputeBufferLayout() {
    record_size_ = cursor_->RecordSize();
    bookmark_size_ = cursor_->BookmarkSize();
    calc_offset_ = record_size_;
    info_offset_ = calc_offset_ + size_t(CalcFieldsSize());
    buffer_size_ = info_offset_ + 5 + bookmark_size_;
    old_record_.resize(buffer_size_, 0);
}

void TZOLVEKBaseDataSet::InternalInitRecord(uint8_t* buffer) {
    cursor_->InitNewRecord(buffer);
    SetRecNoOf(buffer, 0);
    std::memset(buffer + info_offset_ + 5, 0, bookmark_size_);
}

TBookmarkFlag TZOLVEKBaseDataSet::GetBookmarkFlag(const uint8_t* buffer) const {
    return TBookmarkFlag(buffer[info_offset_ + 4]);
}

void TZOLVEKBaseDataSet::SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) {
    buffer[info_offset_ + 4] = flag;
}

TBookmark TZOLVEKBaseDataSet::GetBookmarkData(const uint8_t* buffer) const {
    const uint8_t* bookmark = buffer + info_offset_ + 5;
    return TBookmark(bookmark, bookmark + bookmark_size_);
}

void TZOLVEKBaseDataSet::SetBookmarkData(uint8_t* buffer, const TBookmark& bookmark) {
    uint8_t* target = buffer + info_offset_ + 5;
    std::memset(target, 0, bookmark_size_);
    std::memcpy(target, bookmark.data(), std::min(bookmark.size(), bookmark_size_));
}

void TZOLVEKBaseDataSet::ClearCalcFields(uint8_t* buffer) {
    std::memset(buffer + calc_offset_, 0, info_offset_ - calc_offset_);
}

int32_t TZOLVEKBaseDataSet::GetRecNo(const uint8_t* buffer) const {
    return LoadI32(buffer + info_offset_);
}

void TZOLVEKBaseDataSet::SetRecNoOf(uint8_t* buffer, int32_t recno) {
    StoreI32(buffer + info_offset_, recno);
}

void TZOLVEKBaseDataSet::StoreCursorBookmark(uint8_t* buffer) {
    cursor_->GetBookmark(buffer + info_offset_ + 5);
}

uint8_t* TZOLVEKBaseDataSet::GetActiveRecordBuffer() {
    switch (State()) {
    case dsSetKey:
        return KeyRecordBuffer();
    case dsOldValue:
        return old_record_.empty() ? nullptr : old_record_.data();
    default:
        return TDataSet::GetActiveRecordBuffer();
    }
}

// ---------------------------------------------------------------- Field definitions and values

void TZOLVEKBaseDataSet::ReadFieldDefs(const TDataCursor& cursor) {
    for (const FieldDescriptor& descriptor : cursor.Fields()) {
        int32_t size = 0;
        TFieldType type = FieldTypeOf(descriptor, size);
        if (type == ftUnknown)
            continue;
        auto def = std::make_unique<TZOLVEKFieldDef>(descriptor.Name, type, size,
            descriptor.Required && type != ftAutoInc, int32_t(descriptor.FieldNo));
        def->DefaultValue = descriptor.DefaultValue;
        def->MinValue = descriptor.MinValue;
        def->MaxValue = descriptor.MaxValue;
        def->Description = descriptor.Description;
        def->CharCase = descriptor.CharCase;
        def->Compression = descriptor.Compression;
        FieldDefs().Add(std::move(def));
    }
}

const FieldDescriptor& TZOLVEKBaseDataSet::DescriptorOf(const TField& field) const {
    if (cursor_ == nullptr || field.FieldNo() < 1
        || size_t(field.FieldNo()) > cursor_->Fields().size())
        DatabaseError(kFieldIndexOutOfRange);
    return cursor_->GetFieldDescriptor(field.FieldNo());
}

bool TZOLVEKBaseDataSet::GetFieldData(
    const TField& field, const uint8_t* record, uint8_t* value) const {
    size_t size = size_t(field.DataSize());
    if (field.FieldKind() == fkCalculated) {
        const uint8_t* slot = record + calc_offset_ + size_t(field.Offset());
        if (slot[0] == 0)
            return false;
        if (value != nullptr)
            std::memcpy(value, slot + 1, size);
        return true;
    }
    const FieldDescriptor& descriptor = DescriptorOf(field);
    if (value == nullptr || descriptor.DataType == kTypeBlob)
        return !cursor_->ReadFieldValue(field.FieldNo(), record, nullptr);
    field_value_.assign(descriptor.PhysicalSize, 0);
    if (cursor_->ReadFieldValue(field.FieldNo(), record, field_value_.data()))
        return false;
    std::memset(value, 0, size);
    switch (descriptor.DataType) {
    case kTypeString: {
        // Size characters and a zero, from the engine's zero-terminated slot.
        size_t length = strnlen(reinterpret_cast<const char*>(field_value_.data()),
            field_value_.size() > 0 ? field_value_.size() - 1 : 0);
        std::memcpy(value, field_value_.data(), std::min(length, size > 0 ? size - 1 : 0));
        break;
    }
    case kTypeVarBytes: {
        // The engine keeps the caller's 2-byte length in front of the bytes, in the slot's Size;
        // the field's value is that length followed by up to Size bytes.
        size_t capacity = field_value_.size() >= 2 ? field_value_.size() - 2 : 0;
        size_t length = field_value_.size() >= 2 ? LoadU16(field_value_.data()) : 0;
        length = std::min({ length, capacity, size >= 2 ? size - 2 : 0 });
        StoreU16(value, uint16_t(length));
        std::memcpy(value + 2, field_value_.data() + 2, length);
        break;
    }
    default:
        std::memcpy(value, field_value_.data(), std::min(size, field_value_.size()));
        break;
    }
    return true;
}

void TZOLVEKBaseDataSet::SetFieldData(TField& field, uint8_t* record, const uint8_t* value) {
    size_t size = size_t(field.DataSize());
    if (field.FieldKind() == fkCalculated) {
        uint8_t* slot = record + calc_offset_ + size_t(field.Offset());
        slot[0] = value != nullptr ? 1 : 0;
        if (value != nullptr)
            std::memcpy(slot + 1, value, size);
        else
            std::memset(slot + 1, 0, size);
        return;
    }
    if (State() == dsSetKey)
        CheckKeyField(field);
    const FieldDescriptor& descriptor = DescriptorOf(field);
    int32_t field_no = field.FieldNo();
    if (value == nullptr) {
        if (descriptor.DataType != kTypeBlob) {
            cursor_->WriteFieldValue(field_no, record, nullptr, 0);
            return;
        }
        // A BLOB is emptied through its pending value: its stored chain is freed at the post.
        if (!BlobModified(field_no))
            cursor_->OpenBlobField(field_no, record, TBlobBuffer::bmWrite);
        cursor_->TruncateBlobField(field_no, record, 0);
        SetBlobModified(field_no);
        return;
    }
    switch (descriptor.DataType) {
    case kTypeString: {
        size_t length = strnlen(reinterpret_cast<const char*>(value), size > 0 ? size - 1 : 0);
        cursor_->WriteFieldValue(field_no, record, value, length);
        return;
    }
    case kTypeVarBytes: {
        field_value_.assign(descriptor.PhysicalSize, 0);
        size_t capacity = field_value_.size() >= 2 ? field_value_.size() - 2 : 0;
        size_t length = std::min({ size_t(LoadU16(value)), capacity, size >= 2 ? size - 2 : 0 });
        if (field_value_.size() >= 2) {
            StoreU16(field_value_.data(), uint16_t(length));
            std::memcpy(field_value_.data() + 2, value + 2, length);
        }
        cursor_->WriteFieldValue(field_no, record, field_value_.data(), field_value_.size());
        return;
    }
    case kTypeBlob:
        // Only null travels through the record; values go through the blob stream.
        return;
    default:
        field_value_.assign(descriptor.PhysicalSize, 0);
        std::memcpy(field_value_.data(), value, std::min(size, field_value_.size()));
        cursor_->WriteFieldValue(field_no, record, field_value_.data(), field_value_.size());
        return;
    }
}

// ---------------------------------------------------------------- Blobs of the edited record

bool TZOLVEKBaseDataSet::BlobModified(int32_t field_no) const {
    return std::find(modified_blobs_.begin(), modified_blobs_.end(), field_no)
        != modified_blobs_.end();
}

void TZOLVEKBaseDataSet::SetBlobModified(int32_t field_no) {
    if (!BlobModified(field_no))
        modified_blobs_.push_back(field_no);
}

void TZOLVEKBaseDataSet::CloseRecordBlobs(uint8_t* buffer) {
    for (const FieldDescriptor& descriptor : cursor_->Fields()) {
        if (descriptor.DataType != kTypeBlob)
            continue;
        // Each close drops one open; the last one frees the buffer and restores the reference.
        while (cursor_->Blobs().BufferOf(descriptor, buffer) != nullptr)
            cursor_->CloseBlobField(descriptor.FieldNo, buffer);
    }
}

// ================================================================ TZOLVEKDataSet

TZOLVEKDataSet::~TZOLVEKDataSet() {
    try {
        Close();
    } catch (...) {
        NoteSwallowedFailure();
    }
}

void TZOLVEKDataSet::SetCachedUpdates(bool value) {
    if (value)
        DatabaseError(kNotSupported);
}

void TZOLVEKDataSet::ApplyUpdates() {
    DatabaseError(kNotSupported);
}

void TZOLVEKDataSet::CommitUpdates() {
    DatabaseError(kNotSupported);
}

void TZOLVEKDataSet::CancelUpdates() {
    DatabaseError(kNotSupported);
}

// ---------------------------------------------------------------- Open and close

void TZOLVEKDataSet::InternalOpen() {
    cursor_ = CreateCursor();
    if (cursor_ == nullptr)
        DatabaseError(kCreateHandleError);
    std::string index_name = OpenIndexName();
    if (!TrimName(index_name).empty())
        cursor_->SelectIndex(index_name);
    can_modify_ = !ReadOnlySetting() && !cursor_->ReadOnly && !cursor_->Table().ReadOnly();
    OpenFields();
    for (int32_t i = 0; i < Fields().Count(); ++i) {
        TField& field = Fields()[i];
        if (field.FieldKind() != fkData)
            continue;
        const FieldDescriptor& descriptor = DescriptorOf(field);
        field.SetOrigin(cursor_->TableName() + "." + descriptor.Name);
        if (AutoDisplayLabels && !descriptor.Description.empty())
            field.SetDisplayLabel(descriptor.Description);
    }
    ComputeBufferLayout();
    ReadKeyFields();
    ResetKeyBuffers();
    if (Filtered())
        InstallFilters();
    cursor_->MoveFirst();
}

void TZOLVEKDataSet::InternalClose() {
    key_fields_.clear();
    can_modify_ = false;
    old_record_.clear();
    for (TKeyBuffer& key : keys_)
        key = TKeyBuffer();
    ClearBlobModified();
    insert_origin_.clear();
    // The cursor frees its filters as it closes.
    expression_filter_ = nullptr;
    callback_filter_ = nullptr;
    find_filters_ = false;
    std::exception_ptr first;
    if (cursor_ != nullptr) {
        try {
            cursor_->CloseTable();
        } catch (...) {
            first = std::current_exception();
        }
        cursor_.reset();
    }
    try {
        DestroyCursor();
    } catch (...) {
        if (!first)
            first = std::current_exception();
    }
    if (first)
        std::rethrow_exception(first);
}

void TZOLVEKDataSet::InternalInitFieldDefs() {
    if (cursor_ != nullptr)
        ReadFieldDefs(*cursor_);
    else
        InitFieldDefsClosed();
}

void TZOLVEKDataSet::ReadKeyFields() {
    key_fields_.clear();
    uint8_t slot = cursor_->ActiveIndex();
    if (slot >= kIndexSlotCount)
        return;
    const IndexDescriptor& index = cursor_->GetIndexDescriptor(slot);
    for (uint8_t i = 0; i < index.FieldCount && i < kMaxIndexFields; ++i) {
        uint16_t field_no = index.FieldList[i];
        if (field_no == kRecordIDFieldNo)
            key_fields_.push_back(kRecordIDField);
        else if (field_no == kRecordHashFieldNo)
            key_fields_.push_back(kRecordHashField);
        else
            key_fields_.push_back(field_no);
    }
}

// ---------------------------------------------------------------- Record fetch

TGetResult TZOLVEKDataSet::GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) {
    if (cursor_ == nullptr)
        return grError;
    EngineCode code = 0;
    std::exception_ptr error;
    try {
        switch (mode) {
        case gmCurrent:
            code = cursor_->ReadCurrent(buffer);
            break;
        case gmNext:
            code = cursor_->ReadNext(buffer);
            break;
        case gmPrior:
            code = cursor_->ReadPrior(buffer);
            break;
        }
    } catch (...) {
        error = std::current_exception();
        code = GetErrorCode(error);
    }
    switch (code) {
    case 0:
        SetBookmarkFlag(buffer, bfCurrent);
        SetRecNoOf(buffer, cursor_->SequenceNumber());
        GetCalcFields(buffer);
        StoreCursorBookmark(buffer);
        return grOK;
    case ZOLVEK_BOF:
        SetRecNoOf(buffer, cursor_->SequenceNumber());
        return grBOF;
    case ZOLVEK_EOF:
        SetRecNoOf(buffer, cursor_->SequenceNumber());
        return grEOF;
    case ZOLVEK_NOCURRREC:
        SetRecNoOf(buffer, cursor_->SequenceNumber());
        [[fallthrough]];
    default:
        if (do_check) {
            // The engine's own exception goes on with its whole context.
            if (error)
                std::rethrow_exception(error);
            cursor_->CheckResult(code);
        }
        return grError;
    }
}

// ---------------------------------------------------------------- Navigation and bookmarks

void TZOLVEKDataSet::InternalFirst() {
    cursor_->MoveFirst();
}

void TZOLVEKDataSet::InternalLast() {
    cursor_->MoveLast();
}

void TZOLVEKDataSet::InternalGotoBookmark(const TBookmark& bookmark) {
    // A bookmark of another index (or none at all) names no record of this order.
    if (bookmark.size() != bookmark_size_)
        DatabaseError(kRecordNotFound);
    cursor_->GotoBookmark(bookmark.data());
}

void TZOLVEKDataSet::InternalRefresh() {
    cursor_->RefreshCursor();
}

bool TZOLVEKDataSet::InternalSetRecNo(int32_t recno) {
    return cursor_->MoveToSequence(recno);
}

int32_t TZOLVEKDataSet::GetRecordCount() const {
    if (cursor_ == nullptr)
        return 0;
    if (!TZOLVEKEngine::Engine().FilterRecordCounts && cursor_->FiltersActive())
        return cursor_->TableRecordCount();
    return cursor_->RecordCount();
}

bool TZOLVEKDataSet::IsSequenced() const {
    if (cursor_ == nullptr)
        return false;
    return !TZOLVEKEngine::Engine().FilterRecordCounts || !cursor_->FiltersActive();
}

bool TZOLVEKDataSet::InternalBookmarkValid(const TBookmark& bookmark) {
    if (bookmark.size() != bookmark_size_)
        return false;
    return cursor_->GotoBookmark(bookmark.data());
}

int TZOLVEKDataSet::InternalCompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.size() != bookmark_size_ || b.size() != bookmark_size_)
        return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
    return cursor_->CompareBookmarks(a.data(), b.data());
}

void TZOLVEKDataSet::SwitchToIndex(const std::string& index_name) {
    CheckBrowseMode();
    UpdateCursorPos();
    cursor_->SelectIndex(index_name);
    ReadKeyFields();
    try {
        ComputeBufferLayout();
        // The keys of the old index mean nothing to the new one (its range ended with it).
        ResetKeyBuffers();
        ReallocateBuffers();
    } catch (...) {
        // Without buffers the dataset cannot go on: it closes, its cursor with it.
        try {
            Close();
        } catch (...) {
            NoteSwallowedFailure();
        }
        throw;
    }
    Resync(rmCenter);
}

// ---------------------------------------------------------------- Keys and ranges

void TZOLVEKDataSet::ResetKeyBuffers() {
    for (TKeyBuffer& key : keys_) {
        key.field_count = 0;
        key.record.assign(buffer_size_, 0);
        cursor_->ClearRecord(key.record.data());
    }
}

uint8_t* TZOLVEKDataSet::KeyRecordBuffer() {
    std::vector<uint8_t>& record = keys_[key_index_].record;
    return record.empty() ? nullptr : record.data();
}

void TZOLVEKDataSet::CheckKeyField(const TField& field) {
    bool in_index = field.FieldKind() == fkData
        && std::find(key_fields_.begin(), key_fields_.end(), field.FieldNo()) != key_fields_.end();
    if (!in_index)
        DatabaseErrorFmt(kFieldNotInIndex, { field.DisplayName() });
}

void TZOLVEKDataSet::BeginSetKey(TKeyIndex index, bool clear) {
    CheckBrowseMode();
    if (key_fields_.empty() || key_fields_.front() < 0) {
        bool hash = !key_fields_.empty() && key_fields_.front() == kRecordHashField;
        DatabaseErrorFmt(kIndexFieldAccess, { hash ? "RecordHash" : "RecordID" });
    }
    keys_[kiSave] = keys_[index];
    if (clear) {
        keys_[index].field_count = 0;
        cursor_->ClearRecord(keys_[index].record.data());
    }
    key_index_ = index;
    SetState(dsSetKey);
    DataEvent(deDataSetChange);
}

void TZOLVEKDataSet::EndSetKey(bool commit) {
    TKeyBuffer& key = keys_[key_index_];
    if (commit)
        key.field_count = GivenKeyFields(key.record.data());
    else
        key = keys_[kiSave];
}

int32_t TZOLVEKDataSet::GivenKeyFields(const uint8_t* record) const {
    int32_t count = 0;
    for (int32_t field_no : key_fields_) {
        if (field_no < 0 || cursor_->ReadFieldValue(field_no, record, nullptr))
            break;
        ++count;
    }
    return count;
}

void TZOLVEKDataSet::SetKeyValues(const std::vector<TVariant>& values) {
    for (size_t i = 0; i < values.size() && i < key_fields_.size(); ++i) {
        TField* field = nullptr;
        for (int32_t f = 0; f < Fields().Count() && field == nullptr; ++f) {
            if (Fields()[f].FieldKind() == fkData && Fields()[f].FieldNo() == key_fields_[i])
                field = &Fields()[f];
        }
        if (field == nullptr) {
            std::string name = key_fields_[i] > 0
                ? cursor_->GetFieldDescriptor(key_fields_[i]).Name
                : std::string(key_fields_[i] == kRecordHashField ? "RecordHash" : "RecordID");
            DatabaseErrorFmt(kIndexFieldAccess, { name });
        }
        field->SetValue(values[i]);
    }
}

void TZOLVEKDataSet::SetKey() {
    BeginSetKey(kiLookup, true);
}

void TZOLVEKDataSet::EditKey() {
    BeginSetKey(kiLookup, false);
}

bool TZOLVEKDataSet::SeekLookupKey(bool nearest) {
    const TKeyBuffer& key = keys_[kiLookup];
    if (key.field_count == 0) {
        cursor_->MoveFirst();
        return false;
    }
    const TIndexKeyInfo& info = cursor_->ActiveKeys();
    std::vector<uint8_t> bytes(info.KeyLength());
    info.BuildKey(key.record.data(), bytes.data());
    return cursor_->SeekKey(
        bytes.data(), nearest, false, info.KeyFieldsLength(size_t(key.field_count)));
}

bool TZOLVEKDataSet::GotoKey() {
    CheckBrowseMode();
    DoBeforeScroll();
    CursorPosChanged();
    if (!SeekLookupKey(false))
        return false;
    Resync(rmExact | rmCenter);
    DoAfterScroll();
    return true;
}

void TZOLVEKDataSet::GotoNearest() {
    CheckBrowseMode();
    DoBeforeScroll();
    CursorPosChanged();
    SeekLookupKey(true);
    Resync(rmCenter);
    DoAfterScroll();
}

bool TZOLVEKDataSet::FindKey(const std::vector<TVariant>& values) {
    SetKey();
    SetKeyValues(values);
    return GotoKey();
}

void TZOLVEKDataSet::FindNearest(const std::vector<TVariant>& values) {
    SetKey();
    SetKeyValues(values);
    GotoNearest();
}

void TZOLVEKDataSet::SetRangeStart() {
    BeginSetKey(kiRangeStart, true);
}

void TZOLVEKDataSet::SetRangeEnd() {
    BeginSetKey(kiRangeEnd, true);
}

void TZOLVEKDataSet::EditRangeStart() {
    BeginSetKey(kiRangeStart, false);
}

void TZOLVEKDataSet::EditRangeEnd() {
    BeginSetKey(kiRangeEnd, false);
}

void TZOLVEKDataSet::ApplyRange() {
    CheckBrowseMode();
    const TKeyBuffer& start = keys_[kiRangeStart];
    const TKeyBuffer& end = keys_[kiRangeEnd];
    cursor_->SetCursorRange(false, start.field_count > 0 ? start.record.data() : nullptr,
        size_t(start.field_count), end.field_count > 0 ? end.record.data() : nullptr,
        size_t(end.field_count));
    keys_[kiCurRangeStart] = start;
    keys_[kiCurRangeEnd] = end;
    First();
}

void TZOLVEKDataSet::CancelRange() {
    CheckBrowseMode();
    cursor_->ClearCursorRange();
    keys_[kiCurRangeStart].field_count = 0;
    keys_[kiCurRangeEnd].field_count = 0;
    First();
}

void TZOLVEKDataSet::SetRange(
    const std::vector<TVariant>& start_values, const std::vector<TVariant>& end_values) {
    SetRangeStart();
    SetKeyValues(start_values);
    SetRangeEnd();
    SetKeyValues(end_values);
    ApplyRange();
}

// ---------------------------------------------------------------- Editing

void TZOLVEKDataSet::InternalEdit() {
    uint8_t* buffer = ActiveBuffer();
    ClearBlobModified();
    // The engine re-reads the record and locks it (pessimistic protocol); the window keeps
    // showing its copy unless the read succeeds.
    std::vector<uint8_t> image(buffer, buffer + record_size_);
    EngineCode code = cursor_->ReadCurrent(image.data(), true);
    std::memcpy(old_record_.data(), image.data(), record_size_);
    if (code != 0) {
        cursor_->UnlockCurrent();
        cursor_->CheckResult(code);
    }
    std::memcpy(buffer, image.data(), record_size_);
}

void TZOLVEKDataSet::InternalInsert() {
    ClearBlobModified();
}

void TZOLVEKDataSet::InternalPost() {
    TDataSet::InternalPost();
    uint8_t* buffer = ActiveBuffer();
    if (State() == dsEdit)
        cursor_->ModifyRecord(buffer, true, true, false);
    else
        cursor_->InsertRecord(buffer, true, true, false, false, false);
    // The stored values are written; the buffer lets go of its BLOB buffers.
    CloseRecordBlobs(buffer);
    ClearBlobModified();
}

void TZOLVEKDataSet::InternalCancel() {
    uint8_t* buffer = ActiveBuffer();
    if (State() == dsEdit)
        cursor_->UnlockCurrent();
    cursor_->DiscardBlobChanges(buffer);
    // Pending changes are freed without reaching the table.
    CloseRecordBlobs(buffer);
    ClearBlobModified();
}

void TZOLVEKDataSet::InternalDelete() {
    uint8_t* buffer = ActiveBuffer();
    cursor_->DiscardBlobChanges(buffer);
    CloseRecordBlobs(buffer);
    ClearBlobModified();
    cursor_->DeleteRecord(buffer, true);
}

std::string TZOLVEKDataSet::NotEditingMessage() const {
    return std::string(kTableNotEditing);
}

void TZOLVEKDataSet::DoBeforeInsert() {
    insert_origin_ = CopyOnAppend ? GetBookmark() : TBookmark();
    TZOLVEKBaseDataSet::DoBeforeInsert();
}

void TZOLVEKDataSet::DoOnNewRecord() {
    cursor_->ClearRecord(old_record_.data());
    if (CopyOnAppend && !insert_origin_.empty()) {
        uint8_t* buffer = ActiveBuffer();
        // The old values are those of the record copied from, with its stored BLOB references
        // (the copy's own BLOBs are pending values of the new record).
        if (insert_origin_.size() == bookmark_size_ && cursor_->GotoBookmark(insert_origin_.data())
            && cursor_->ReadCurrent(old_record_.data()) == 0
            && cursor_->CopyCurrentRecord(buffer) == 0) {
            for (const FieldDescriptor& descriptor : cursor_->Fields()) {
                if (cursor_->Blobs().BufferOf(descriptor, buffer) != nullptr)
                    SetBlobModified(descriptor.FieldNo);
            }
        }
        CursorPosChanged();
    }
    insert_origin_.clear();
    TZOLVEKBaseDataSet::DoOnNewRecord();
}

} // namespace zolvek
