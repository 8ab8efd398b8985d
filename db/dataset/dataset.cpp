#include "db/dataset/dataset.h"

#include "db/dataset/data_links.h"

#include <algorithm>
#include <cassert>

namespace zolvek {

namespace {

// More buffers than any view shows; a link asking for more gets this many.
constexpr int32_t kMaxBufferCount = 1024;

bool SizedType(TFieldType type) {
    return IsStringType(type) || type == ftBytes || type == ftVarBytes || type == ftBCD;
}

// Whether a field object of `field_type` can serve a definition of `def_type`.
bool CompatibleTypes(TFieldType field_type, TFieldType def_type) {
    if (field_type == def_type)
        return true;
    if (IsStringType(field_type) && IsStringType(def_type))
        return true;
    if (IsBlobType(field_type) && IsBlobType(def_type))
        return true;
    return (field_type == ftInteger && def_type == ftAutoInc)
        || (field_type == ftAutoInc && def_type == ftInteger);
}

} // namespace

// ---------------------------------------------------------------- Life

TDataSet::TDataSet()
    : field_defs_(*this) { }

TDataSet::~TDataSet() {
    // The subclass has closed the cursor (its destructor calls Close); only memory and the
    // links that still point here remain.
    assert(state_ == dsInactive);
    state_ = dsInactive;
    std::vector<TDataSource*> sources = std::move(data_sources_);
    data_sources_.clear();
    for (TDataSource* source : sources)
        source->DatasetDestroyed();
}

TDataSet::TTempState::TTempState(TDataSet& dataset, TDataSetState state, uint8_t* state_buffer)
    : dataset_(dataset)
    , saved_state_(dataset.state_)
    , saved_calc_buffer_(dataset.calc_buffer_)
    , saved_filter_buffer_(dataset.filter_buffer_) {
    dataset_.state_ = state;
    if (state == dsCalcFields || state == dsInternalCalc)
        dataset_.calc_buffer_ = state_buffer;
    else if (state == dsFilter)
        dataset_.filter_buffer_ = state_buffer;
}

TDataSet::TTempState::~TTempState() {
    dataset_.state_ = saved_state_;
    dataset_.calc_buffer_ = saved_calc_buffer_;
    dataset_.filter_buffer_ = saved_filter_buffer_;
}

// ---------------------------------------------------------------- Open and close

void TDataSet::SetActive(bool active) {
    if (active)
        Open();
    else
        Close();
}

void TDataSet::Open() {
    if (state_ != dsInactive)
        return;
    DoBeforeOpen();
    state_ = dsOpening;
    default_fields_ = fields_.Count() == 0;
    try {
        InternalOpen();
        record_buffer_size_ = GetRecordBufferSize();
        UpdateBufferCount();
        ClearBuffers();
        GetNextRecords();
        bof_ = true;
    } catch (...) {
        state_ = dsInactive;
        try {
            InternalClose();
        } catch (...) {
            // The open's own error is the one to report.
        }
        UnbindFields();
        FreeBuffers();
        throw;
    }
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty())
        DoAfterScroll();
}

void TDataSet::Close() {
    if (state_ == dsInactive)
        return;
    DoBeforeClose();
    // A pending edit ends without posting; the cursor is closed even when that fails, and
    // the first error is reported once the dataset is closed.
    std::exception_ptr error;
    try {
        if (state_ == dsEdit || state_ == dsInsert) {
            UpdateCursorPos();
            InternalCancel();
        } else if (state_ == dsSetKey) {
            EndSetKey(false);
        }
    } catch (...) {
        error = std::current_exception();
    }
    SetState(dsInactive);
    try {
        InternalClose();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    UnbindFields();
    FreeBuffers();
    DoAfterClose();
    if (error)
        std::rethrow_exception(error);
}

void TDataSet::OpenFields() {
    field_defs_.Clear();
    InternalInitFieldDefs();
    field_defs_.SetUpdated(true);
    if (default_fields_) {
        for (int32_t i = 0; i < field_defs_.Count(); ++i) {
            const TFieldDef& def = field_defs_[i];
            if ((def.Attributes & faHiddenCol) != 0)
                continue;
            std::unique_ptr<TField> field = CreateFieldForType(def.Name, def.DataType, def.Size);
            if (!field)
                continue;
            field->required_ = def.Required();
            field->read_only_ = (def.Attributes & faReadonly) != 0;
            field->default_field_ = true;
            field->dataset_ = this;
            field->index_ = fields_.Count();
            fields_.fields_.push_back(std::move(field));
        }
    }
    calc_fields_size_ = 0;
    for (const auto& field : fields_.fields_) {
        if (field->field_kind_ == fkCalculated) {
            field->offset_ = calc_fields_size_;
            calc_fields_size_ += 1 + field->DataSize();
            continue;
        }
        int32_t index = field_defs_.IndexOf(field->FieldName());
        if (index < 0)
            DatabaseErrorFmt(kFieldNotFound, { field->DisplayName() });
        const TFieldDef& def = field_defs_[index];
        if (!CompatibleTypes(field->DataType(), def.DataType)) {
            DatabaseErrorFmt(kFieldTypeMismatch,
                { field->DisplayName(), FieldTypeName(field->DataType()),
                    FieldTypeName(def.DataType) });
        }
        // The native value's size follows the field's Size: it must be the table's.
        if (SizedType(field->DataType()) && field->Size() != def.Size) {
            DatabaseErrorFmt(kFieldSizeMismatch,
                { field->DisplayName(), std::to_string(field->Size()), std::to_string(def.Size) });
        }
        field->field_no_ = def.FieldNo;
    }
}

void TDataSet::UnbindFields() {
    auto& list = fields_.fields_;
    list.erase(std::remove_if(list.begin(), list.end(),
                   [](const std::unique_ptr<TField>& field) { return field->default_field_; }),
        list.end());
    for (size_t i = 0; i < list.size(); ++i) {
        list[i]->index_ = int32_t(i);
        list[i]->field_no_ = 0;
        list[i]->offset_ = -1;
    }
    calc_fields_size_ = 0;
    default_fields_ = false;
}

TField& TDataSet::AddField(std::unique_ptr<TField> field) {
    CheckInactive();
    if (fields_.FindField(field->FieldName()) != nullptr)
        DatabaseErrorFmt(kDuplicateFieldName, { field->FieldName() });
    field->dataset_ = this;
    field->index_ = fields_.Count();
    fields_.fields_.push_back(std::move(field));
    return *fields_.fields_.back();
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view names) const {
    std::vector<TField*> list;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find(';', start);
        if (end == std::string_view::npos)
            end = names.size();
        std::string_view name = names.substr(start, end - start);
        while (!name.empty() && name.front() == ' ')
            name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (!name.empty())
            list.push_back(&FieldByName(name));
        start = end + 1;
    }
    return list;
}

// ---------------------------------------------------------------- State

void TDataSet::SetState(TDataSetState state) {
    if (state_ == state)
        return;
    state_ = state;
    modified_ = false;
    DataEvent(deUpdateState);
}

void TDataSet::CheckActive() const {
    if (!Active())
        DatabaseError(kDataSetClosed);
}

void TDataSet::CheckInactive() const {
    if (state_ != dsInactive)
        DatabaseError(kDataSetOpen);
}

void TDataSet::CheckCanModify() const {
    if (!GetCanModify())
        DatabaseError(kDataSetReadOnly);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (state_) {
    case dsEdit:
    case dsInsert:
        UpdateRecord();
        if (modified_)
            Post();
        else
            Cancel();
        break;
    case dsSetKey:
        Post();
        break;
    default:
        break;
    }
}

void TDataSet::UpdateRecord() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
        DatabaseError(NotEditingMessage());
    DataEvent(deUpdateRecord);
}

void TDataSet::DisableControls() {
    if (disable_count_ == 0) {
        disable_state_ = state_;
        enable_event_ = deDataSetChange;
    }
    ++disable_count_;
}

void TDataSet::EnableControls() {
    if (disable_count_ == 0 || --disable_count_ > 0)
        return;
    if (disable_state_ != state_)
        DataEvent(deUpdateState);
    if (disable_state_ != dsInactive && state_ != dsInactive)
        DataEvent(enable_event_);
}

// ---------------------------------------------------------------- Notifications

void TDataSet::DataEvent(TDataEvent event, TField* field, int32_t info) {
    if (event == deFieldChange && field != nullptr && field->FieldKind() == fkData) {
        modified_ = true;
        UpdateCalcFields();
    }
    if (disable_count_ == 0)
        NotifyLinks(event, field, info);
    else if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange)
        enable_event_ = deLayoutChange;
    if (event == deFieldChange && field != nullptr && field->OnChange)
        field->OnChange(*field);
}

void TDataSet::NotifyLinks(TDataEvent event, TField* field, int32_t info) {
    // By index: a handler may detach a source while the event travels.
    for (size_t i = 0; i < data_sources_.size(); ++i)
        data_sources_[i]->DataEvent(event, field, info);
}

void TDataSet::UpdateCalcFields() {
    if (AutoCalcFields && HasCalcFields() && (state_ == dsEdit || state_ == dsInsert))
        GetCalcFields(ActiveBuffer());
}

void TDataSet::AddDataSource(TDataSource* source) {
    data_sources_.push_back(source);
    UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
    data_sources_.erase(
        std::remove(data_sources_.begin(), data_sources_.end(), source), data_sources_.end());
    UpdateBufferCount();
}

void TDataSet::HandleException(std::exception_ptr error) noexcept {
    try {
        InternalHandleException(error);
    } catch (...) {
        // Nothing may leave: the callers are callbacks and destructors.
    }
}

// ---------------------------------------------------------------- The window

void TDataSet::UpdateBufferCount() {
    if (state_ == dsInactive)
        return;
    int32_t count = 1;
    for (TDataSource* source : data_sources_) {
        for (TDataLink* link : source->links_)
            count = std::max(count, link->buffer_count_);
    }
    SetBufferCount(count);
}

void TDataSet::SetBufferCount(int32_t count) {
    count = std::clamp(count, 1, kMaxBufferCount);
    if (count == buffer_count_ && buffers_.size() == size_t(count) + 1)
        return;
    if (count < buffer_count_ && record_count_ > 0) {
        // Keep the records from the first row any active link shows (or the active record),
        // so that no link loses the current record.
        int32_t delta = active_record_;
        for (TDataSource* source : data_sources_) {
            for (TDataLink* link : source->links_) {
                if (link->active_)
                    delta = std::min(delta, std::max(link->first_record_, 0));
            }
        }
        std::rotate(buffers_.begin(), buffers_.begin() + delta, buffers_.end());
        record_count_ = std::clamp(record_count_ - delta, 0, count);
        active_record_ -= delta;
        if (current_record_ != -1) {
            current_record_ -= delta;
            if (current_record_ < 0 || current_record_ >= record_count_)
                current_record_ = -1;
        }
        for (TDataSource* source : data_sources_) {
            for (TDataLink* link : source->links_)
                link->first_record_ -= delta;
        }
    }
    if (buffers_.size() > size_t(count) + 1)
        buffers_.resize(size_t(count) + 1);
    while (buffers_.size() < size_t(count) + 1)
        buffers_.push_back(std::make_unique<uint8_t[]>(record_buffer_size_));
    buffer_count_ = count;
    record_count_ = std::min(record_count_, buffer_count_);
    // New slots are filled in browse only; in the editing states the next re-read fills them.
    if (state_ == dsBrowse && record_count_ > 0 && record_count_ < buffer_count_) {
        GetNextRecords();
        if (record_count_ < buffer_count_) {
            int32_t added = GetPriorRecords();
            for (TDataSource* source : data_sources_) {
                for (TDataLink* link : source->links_)
                    link->first_record_ += added;
            }
        }
    }
    if (Active())
        DataEvent(deDataSetChange);
}

void TDataSet::ReallocateBuffers() {
    int32_t count = std::max(buffer_count_, 1);
    buffers_.clear();
    record_buffer_size_ = GetRecordBufferSize();
    for (int32_t i = 0; i <= count; ++i)
        buffers_.push_back(std::make_unique<uint8_t[]>(record_buffer_size_));
    buffer_count_ = count;
    ClearBuffers();
}

void TDataSet::FreeBuffers() {
    buffers_.clear();
    buffer_count_ = 0;
    record_buffer_size_ = 0;
    calc_buffer_ = nullptr;
    filter_buffer_ = nullptr;
    ClearBuffers();
}

void TDataSet::ClearBuffers() {
    record_count_ = 0;
    active_record_ = 0;
    current_record_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::ActivateBuffers() {
    record_count_ = 1;
    active_record_ = 0;
    current_record_ = 0;
    bof_ = false;
    eof_ = false;
}

void TDataSet::MoveBuffer(int32_t from, int32_t to) {
    if (from == to)
        return;
    auto begin = buffers_.begin();
    if (from < to)
        std::rotate(begin + from, begin + from + 1, begin + to + 1);
    else
        std::rotate(begin + to, begin + from, begin + from + 1);
}

void TDataSet::SetCurrentRecord(int32_t index) {
    if (current_record_ == index)
        return;
    uint8_t* buffer = Buffer(index);
    switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
        InternalSetToRecord(buffer);
        break;
    case bfBOF:
        InternalFirst();
        break;
    case bfEOF:
        InternalLast();
        break;
    }
    current_record_ = index;
}

void TDataSet::UpdateCursorPos() {
    if (record_count_ > 0)
        SetCurrentRecord(active_record_);
}

bool TDataSet::GetNextRecord() {
    if (record_count_ > 0)
        SetCurrentRecord(record_count_ - 1);
    bool found = GetRecord(Buffer(record_count_), gmNext, true) == grOK;
    if (found) {
        if (record_count_ == 0)
            ActivateBuffers();
        else if (record_count_ < buffer_count_)
            ++record_count_;
        else
            MoveBuffer(0, record_count_);
        current_record_ = record_count_ - 1;
    } else {
        CursorPosChanged();
    }
    return found;
}

bool TDataSet::GetPriorRecord() {
    if (record_count_ > 0)
        SetCurrentRecord(0);
    bool found = GetRecord(Buffer(record_count_), gmPrior, true) == grOK;
    if (found) {
        if (record_count_ == 0) {
            ActivateBuffers();
        } else {
            MoveBuffer(record_count_, 0);
            if (record_count_ < buffer_count_) {
                ++record_count_;
                ++active_record_;
            }
        }
        current_record_ = 0;
    } else {
        CursorPosChanged();
    }
    return found;
}

int32_t TDataSet::GetNextRecords() {
    int32_t fetched = 0;
    while (record_count_ < buffer_count_ && GetNextRecord())
        ++fetched;
    return fetched;
}

int32_t TDataSet::GetPriorRecords() {
    int32_t fetched = 0;
    while (record_count_ < buffer_count_ && GetPriorRecord())
        ++fetched;
    return fetched;
}

void TDataSet::Resync(TResyncMode mode) {
    if (buffer_count_ == 0)
        DatabaseError(kDataSetClosed);
    uint8_t* spare = Buffer(record_count_);
    if ((mode & rmExact) != 0) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK)
            DatabaseError(kRecordNotFound);
    } else if (GetRecord(spare, gmCurrent, false) != grOK && GetRecord(spare, gmNext, false) != grOK
        && GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    int32_t before = (mode & rmCenter) != 0 ? (buffer_count_ - 1) / 2 : active_record_;
    MoveBuffer(record_count_, 0);
    ActivateBuffers();
    try {
        while (before > 0 && GetPriorRecord())
            --before;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange);
        throw;
    }
    DataEvent(deDataSetChange);
}

void TDataSet::InitRecord(uint8_t* buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

// ---------------------------------------------------------------- Navigation

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
        GetNextRecords();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
        GetPriorRecords();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int32_t TDataSet::MoveBy(int32_t distance) {
    CheckBrowseMode();
    int32_t moved = 0;
    DoBeforeScroll();
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        // Buffers shifted towards index 0 (negative) or away from it; the links follow.
        int32_t scrolled = 0;
        try {
            while (distance > 0) {
                if (active_record_ < record_count_ - 1) {
                    ++active_record_;
                } else {
                    int32_t shift = record_count_ < buffer_count_ ? 0 : 1;
                    if (!GetNextRecord()) {
                        eof_ = true;
                        break;
                    }
                    scrolled -= shift;
                    if (active_record_ < record_count_ - 1)
                        ++active_record_;
                }
                --distance;
                ++moved;
            }
            while (distance < 0) {
                if (active_record_ > 0) {
                    --active_record_;
                } else {
                    int32_t shift = record_count_ < buffer_count_ ? 0 : 1;
                    if (!GetPriorRecord()) {
                        bof_ = true;
                        break;
                    }
                    scrolled += shift;
                    if (active_record_ > 0)
                        --active_record_;
                }
                ++distance;
                --moved;
            }
        } catch (...) {
            DataEvent(deDataSetScroll, nullptr, scrolled);
            throw;
        }
        DataEvent(deDataSetScroll, nullptr, scrolled);
        DoAfterScroll();
    }
    return moved;
}

int32_t TDataSet::RecNo() const {
    CheckActive();
    const uint8_t* buffer = nullptr;
    if (state_ == dsCalcFields)
        buffer = calc_buffer_;
    else if (record_count_ > 0)
        buffer = ActiveBuffer();
    return buffer != nullptr ? GetRecNo(buffer) : 0;
}

void TDataSet::SetRecNo(int32_t recno) {
    CheckBrowseMode();
    if (recno == RecNo())
        return;
    DoBeforeScroll();
    if (InternalSetRecNo(recno)) {
        Resync(rmCenter);
        DoAfterScroll();
    } else {
        CursorPosChanged();
    }
}

int32_t TDataSet::RecordCount() const {
    CheckActive();
    return GetRecordCount();
}

// ---------------------------------------------------------------- Editing

void TDataSet::CheckOperation(
    void (TDataSet::*operation)(), const TDataSetErrorEvent& error_event) {
    for (;;) {
        try {
            UpdateCursorPos();
            (this->*operation)();
            return;
        } catch (const EDatabaseError& error) {
            TDataAction action = daFail;
            if (error_event)
                error_event(*this, error, action);
            if (action == daFail)
                throw;
            if (action == daAbort)
                throw EAbort();
            // daRetry: the handler has removed the cause; run the step again.
        }
    }
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        // The new record is dropped again, with anything the handler left pending.
        try {
            UpdateCursorPos();
            InternalCancel();
        } catch (...) { }
        SetState(dsBrowse);
        Resync(0);
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    TBookmark old_current = GetBookmark();
    // The records from the active one on move down a row; a cursor on one of them is no
    // longer known by its index (on the active record it stays right: the new buffer
    // carries that record's bookmark).
    if (current_record_ > active_record_)
        current_record_ = -1;
    MoveBuffer(record_count_, active_record_);
    uint8_t* buffer = ActiveBuffer();
    InitRecord(buffer);
    if (record_count_ == 0)
        SetBookmarkFlag(buffer, bfBOF);
    else
        SetBookmarkData(buffer, old_current);
    if (record_count_ < buffer_count_)
        ++record_count_;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    uint8_t* buffer = Buffer(0);
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    record_count_ = 1;
    bof_ = false;
    GetPriorRecords();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert)
        return;
    if (record_count_ == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation(&TDataSet::InternalEdit, OnEditError);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange);
    DoAfterEdit();
}

void TDataSet::Post() {
    UpdateRecord();
    if (state_ == dsSetKey) {
        DataEvent(deCheckBrowseMode);
        EndSetKey(true);
        SetState(dsBrowse);
        DataEvent(deDataSetChange);
        return;
    }
    DataEvent(deCheckBrowseMode);
    DoBeforePost();
    CheckOperation(&TDataSet::InternalPost, OnPostError);
    SetState(dsBrowse);
    Resync(0);
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (state_ == dsSetKey) {
        EndSetKey(false);
        SetState(dsBrowse);
        DataEvent(deDataSetChange);
        return;
    }
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    DataEvent(deCheckBrowseMode);
    DoBeforeCancel();
    bool scrolls = state_ == dsInsert;
    if (scrolls)
        DoBeforeScroll();
    UpdateCursorPos();
    InternalCancel();
    SetState(dsBrowse);
    Resync(0);
    DoAfterCancel();
    if (scrolls)
        DoAfterScroll();
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (record_count_ == 0)
        DatabaseError(kDataSetEmpty);
    DataEvent(deCheckBrowseMode);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
    SetState(dsBrowse);
    Resync(0);
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::Refresh() {
    DoBeforeRefresh();
    CheckBrowseMode();
    UpdateCursorPos();
    try {
        InternalRefresh();
    } catch (...) {
        Resync(0);
        throw;
    }
    Resync(0);
    DoAfterRefresh();
}

void TDataSet::SetFields(const std::vector<TVariant>& values) {
    size_t count = std::min(values.size(), size_t(fields_.Count()));
    for (size_t i = 0; i < count; ++i)
        fields_[int32_t(i)].SetValue(values[i]);
}

void TDataSet::AppendRecord(const std::vector<TVariant>& values) {
    Append();
    SetFields(values);
    Post();
}

void TDataSet::InsertRecord(const std::vector<TVariant>& values) {
    Insert();
    SetFields(values);
    Post();
}

void TDataSet::CheckRequiredFields() {
    for (int32_t i = 0; i < fields_.Count(); ++i) {
        TField& field = fields_[i];
        if (field.Required() && !field.ReadOnly() && field.FieldKind() == fkData && field.IsNull())
            DatabaseErrorFmt(kFieldRequired, { field.DisplayName() });
    }
}

// ---------------------------------------------------------------- Field access

bool TDataSet::ReadFieldData(const TField& field, uint8_t* value) {
    uint8_t* record = GetActiveRecordBuffer();
    if (record == nullptr)
        return false;
    return GetFieldData(field, record, value);
}

void TDataSet::WriteFieldData(TField& field, const uint8_t* value) {
    switch (state_) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc:
        break;
    default:
        DatabaseError(NotEditingMessage());
    }
    if (field.FieldKind() == fkData) {
        if (state_ == dsCalcFields)
            DatabaseError(NotEditingMessage());
        if (field.ReadOnly() && state_ != dsSetKey && state_ != dsFilter)
            DatabaseErrorFmt(kFieldReadOnly, { field.DisplayName() });
    }
    uint8_t* record = GetActiveRecordBuffer();
    if (record == nullptr)
        DatabaseError(NotEditingMessage());
    SetFieldData(field, record, value);
    if (state_ != dsCalcFields && state_ != dsFilter && state_ != dsNewValue)
        DataEvent(deFieldChange, &field);
}

void TDataSet::CheckBlobWrite(const TField& field) {
    if (field.ReadOnly())
        DatabaseErrorFmt(kFieldReadOnly, { field.DisplayName() });
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
        DatabaseError(NotEditingMessage());
}

void TDataSet::GetCalcFields(uint8_t* buffer) {
    if (!HasCalcFields())
        return;
    TTempState calculating(*this, dsCalcFields, buffer);
    ClearCalcFields(buffer);
    if (OnCalcFields)
        OnCalcFields(*this);
}

bool TDataSet::RunFilterRecord(uint8_t* record) {
    if (!on_filter_record_)
        return true;
    bool accept = true;
    TTempState filtering(*this, dsFilter, record);
    try {
        on_filter_record_(*this, accept);
    } catch (...) {
        HandleException(std::current_exception());
    }
    return accept;
}

// ---------------------------------------------------------------- Bookmarks

TBookmark TDataSet::GetBookmark() const {
    if ((state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && record_count_ > 0
        && GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
        return GetBookmarkData(ActiveBuffer());
    return {};
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty())
        return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark);
    Resync(rmExact | rmCenter);
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) {
    if (bookmark.empty() || !Active())
        return false;
    bool valid = InternalBookmarkValid(bookmark);
    CursorPosChanged();
    return valid;
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() || b.empty())
        return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
    int result = InternalCompareBookmarks(a, b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// ---------------------------------------------------------------- Filter properties

void TDataSet::SetFilter(const std::string& text) {
    if (Active() && filtered_) {
        CheckBrowseMode();
        filter_text_ = text;
        First();
    } else {
        filter_text_ = text;
    }
}

void TDataSet::SetFiltered(bool filtered) {
    if (Active()) {
        CheckBrowseMode();
        filtered_ = filtered;
        First();
    } else {
        filtered_ = filtered;
    }
}

void TDataSet::SetFilterOptions(TFilterOptions options) {
    if (Active() && filtered_) {
        CheckBrowseMode();
        filter_options_ = options;
        First();
    } else {
        filter_options_ = options;
    }
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (Active() && filtered_) {
        CheckBrowseMode();
        on_filter_record_ = std::move(handler);
        First();
    } else {
        on_filter_record_ = std::move(handler);
    }
}

// ---------------------------------------------------------------- Default hooks

bool TDataSet::Locate(const std::string&, const std::vector<TVariant>&, TLocateOptions) {
    DatabaseError(kNotSupported);
}

std::vector<TVariant> TDataSet::Lookup(
    const std::string&, const std::vector<TVariant>&, const std::string&) {
    DatabaseError(kNotSupported);
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField&, TBlobStreamMode) {
    DatabaseError(kNotSupported);
}

void TDataSet::ClearCalcFields(uint8_t*) { }

int32_t TDataSet::GetRecNo(const uint8_t*) const {
    return -1;
}

uint8_t* TDataSet::GetActiveRecordBuffer() {
    switch (state_) {
    case dsBrowse:
    case dsBlockRead:
        return record_count_ == 0 ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
        return buffer_count_ > 0 ? ActiveBuffer() : nullptr;
    case dsCalcFields:
        return calc_buffer_;
    case dsFilter:
        return filter_buffer_;
    default:
        return nullptr;
    }
}

void TDataSet::InternalSetToRecord(uint8_t* buffer) {
    InternalGotoBookmark(GetBookmarkData(buffer));
}

void TDataSet::InternalRefresh() { }

bool TDataSet::InternalSetRecNo(int32_t) {
    DatabaseError(kNotSupported);
}

int32_t TDataSet::GetRecordCount() const {
    return -1;
}

bool TDataSet::IsSequenced() const {
    return true;
}

bool TDataSet::InternalBookmarkValid(const TBookmark&) {
    return false;
}

int TDataSet::InternalCompareBookmarks(const TBookmark&, const TBookmark&) {
    DatabaseError(kNotSupported);
}

void TDataSet::InternalHandleException(std::exception_ptr error) {
    HandleApplicationException(error);
}

bool TDataSet::GetCanModify() const {
    return true;
}

void TDataSet::InternalEdit() { }

void TDataSet::InternalInsert() { }

void TDataSet::InternalPost() {
    CheckRequiredFields();
}

void TDataSet::InternalCancel() { }

void TDataSet::InternalDelete() {
    DatabaseError(kNotSupported);
}

void TDataSet::EndSetKey(bool) { }

std::string TDataSet::NotEditingMessage() const {
    return std::string(kNotEditing);
}

// ---------------------------------------------------------------- Events

void TDataSet::Fire(const TDataSetNotifyEvent& event, TDataSet& dataset) {
    if (event)
        event(dataset);
}

void TDataSet::DoBeforeOpen() {
    Fire(BeforeOpen, *this);
}
void TDataSet::DoAfterOpen() {
    Fire(AfterOpen, *this);
}
void TDataSet::DoBeforeClose() {
    Fire(BeforeClose, *this);
}
void TDataSet::DoAfterClose() {
    Fire(AfterClose, *this);
}
void TDataSet::DoBeforeInsert() {
    Fire(BeforeInsert, *this);
}
void TDataSet::DoAfterInsert() {
    Fire(AfterInsert, *this);
}
void TDataSet::DoBeforeEdit() {
    Fire(BeforeEdit, *this);
}
void TDataSet::DoAfterEdit() {
    Fire(AfterEdit, *this);
}
void TDataSet::DoBeforePost() {
    Fire(BeforePost, *this);
}
void TDataSet::DoAfterPost() {
    Fire(AfterPost, *this);
}
void TDataSet::DoBeforeCancel() {
    Fire(BeforeCancel, *this);
}
void TDataSet::DoAfterCancel() {
    Fire(AfterCancel, *this);
}
void TDataSet::DoBeforeDelete() {
    Fire(BeforeDelete, *this);
}
void TDataSet::DoAfterDelete() {
    Fire(AfterDelete, *this);
}
void TDataSet::DoBeforeScroll() {
    Fire(BeforeScroll, *this);
}
void TDataSet::DoAfterScroll() {
    Fire(AfterScroll, *this);
}
void TDataSet::DoBeforeRefresh() {
    Fire(BeforeRefresh, *this);
}
void TDataSet::DoAfterRefresh() {
    Fire(AfterRefresh, *this);
}
void TDataSet::DoOnNewRecord() {
    Fire(OnNewRecord, *this);
}

} // namespace zolvek
