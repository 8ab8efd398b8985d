#include "db/dataset/data_links.h"

#include <algorithm>
#include <cassert>

namespace zolvek {

// ---------------------------------------------------------------- TDataSource

TDataSource::TDataSource(TDataSet* dataset) {
    SetDataSet(dataset);
}

TDataSource::~TDataSource() {
    std::vector<TDataLink*> links = std::move(links_);
    links_.clear();
    for (TDataLink* link : links)
        link->SourceGone();
    if (dataset_ != nullptr)
        dataset_->RemoveDataSource(this);
}

void TDataSource::SetDataSet(TDataSet* dataset) {
    if (dataset == dataset_)
        return;
    if (dataset_ != nullptr)
        dataset_->RemoveDataSource(this);
    dataset_ = dataset;
    if (dataset_ != nullptr)
        dataset_->AddDataSource(this);
    UpdateState();
}

void TDataSource::SetEnabled(bool enabled) {
    enabled_ = enabled;
    UpdateState();
}

void TDataSource::Edit() {
    if (AutoEdit && dataset_ != nullptr && state_ == dsBrowse)
        dataset_->Edit();
}

void TDataSource::DatasetDestroyed() {
    dataset_ = nullptr;
    UpdateState();
}

void TDataSource::UpdateState() {
    TDataSetState state = dsInactive;
    if (enabled_ && dataset_ != nullptr && dataset_->State() != dsOpening)
        state = dataset_->State();
    if (state == state_)
        return;
    state_ = state;
    for (size_t i = 0; i < links_.size(); ++i)
        links_[i]->UpdateState();
    if (OnStateChange)
        OnStateChange(*this);
}

void TDataSource::DataEvent(TDataEvent event, TField* field, int32_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == dsInactive)
        return;
    for (size_t i = 0; i < links_.size(); ++i)
        links_[i]->DataEvent(event, field, info);
    switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        if (OnDataChange)
            OnDataChange(*this, event == deFieldChange ? field : nullptr);
        break;
    case deUpdateRecord:
        if (OnUpdateData)
            OnUpdateData(*this);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- TDataLink

TDataLink::~TDataLink() {
    // No notifications from here: the derived link is already gone.
    if (source_ == nullptr)
        return;
    auto& links = source_->links_;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
    if (TDataSet* dataset = source_->DataSet())
        dataset->UpdateBufferCount();
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == source_)
        return;
    TDataSet* old_dataset = DataSet();
    if (source_ != nullptr) {
        auto& links = source_->links_;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
    source_ = source;
    if (source_ != nullptr)
        source_->links_.push_back(this);
    if (old_dataset != nullptr && old_dataset != DataSet())
        old_dataset->UpdateBufferCount();
    if (DataSet() != nullptr)
        DataSet()->UpdateBufferCount();
    UpdateState();
}

void TDataLink::SourceGone() {
    source_ = nullptr;
    UpdateState();
}

void TDataLink::SetBufferCount(int32_t count) {
    count = std::max(count, 1);
    if (count == buffer_count_)
        return;
    buffer_count_ = count;
    if (TDataSet* dataset = DataSet()) {
        dataset->UpdateBufferCount();
        UpdateRange();
    }
}

void TDataLink::UpdateState() {
    bool active = source_ != nullptr && source_->State() != dsInactive;
    if (active != active_) {
        active_ = active;
        first_record_ = 0;
        if (active_)
            UpdateRange();
        ActiveChanged();
    }
    TDataSetState state = source_ != nullptr ? source_->State() : dsInactive;
    bool editing = active_ && (state == dsEdit || state == dsInsert || state == dsSetKey);
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

void TDataLink::UpdateRange() {
    TDataSet* dataset = DataSet();
    if (!active_ || dataset == nullptr)
        return;
    // The link's rows must contain the active record and fit into the window.
    int32_t active = dataset->active_record_;
    int32_t lowest = std::max(0, active - buffer_count_ + 1);
    int32_t highest = std::max(0, std::min(active, dataset->buffer_count_ - buffer_count_));
    first_record_ = std::max(lowest, std::min(first_record_, highest));
}

void TDataLink::DataEvent(TDataEvent event, TField* field, int32_t info) {
    if (!active_)
        return;
    switch (event) {
    case deFieldChange:
    case deRecordChange:
        if (!updating_)
            RecordChanged(field);
        break;
    case deDataSetScroll: {
        // `info` moved the buffers; the first row follows its record, then is pulled back
        // into range. What remains is how far this view scrolled.
        int32_t shifted = first_record_ + info;
        first_record_ = shifted;
        UpdateRange();
        DataSetScrolled(first_record_ - shifted);
        break;
    }
    case deDataSetChange:
        UpdateRange();
        DataSetChanged();
        break;
    case deLayoutChange:
        UpdateRange();
        LayoutChanged();
        break;
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    default:
        break;
    }
}

int32_t TDataLink::ActiveRecord() const {
    TDataSet* dataset = DataSet();
    if (!active_ || dataset == nullptr || dataset->State() == dsSetKey)
        return 0;
    return dataset->active_record_ - first_record_;
}

void TDataLink::SetActiveRecord(int32_t row) {
    TDataSet* dataset = DataSet();
    if (!active_ || dataset == nullptr || dataset->State() == dsSetKey)
        return;
    int32_t index = first_record_ + row;
    assert(index >= 0 && index < std::max(dataset->record_count_, 1));
    if (index >= 0 && index < std::max(dataset->record_count_, 1))
        dataset->active_record_ = index;
}

int32_t TDataLink::RecordCount() const {
    TDataSet* dataset = DataSet();
    if (!active_ || dataset == nullptr)
        return 0;
    if (dataset->State() == dsSetKey)
        return 1;
    return std::clamp(dataset->record_count_ - first_record_, 0, buffer_count_);
}

bool TDataLink::Edit() {
    if (!ReadOnly && source_ != nullptr)
        source_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::ActiveChanged() { }
void TDataLink::CheckBrowseMode() { }
void TDataLink::DataSetChanged() {
    RecordChanged(nullptr);
}
void TDataLink::DataSetScrolled(int32_t) {
    DataSetChanged();
}
void TDataLink::EditingChanged() { }
void TDataLink::LayoutChanged() {
    DataSetChanged();
}
void TDataLink::RecordChanged(TField*) { }
void TDataLink::UpdateData() { }

// ---------------------------------------------------------------- TFieldDataLink

void TFieldDataLink::SetFieldName(std::string name) {
    if (name == field_name_)
        return;
    field_name_ = std::move(name);
    UpdateField();
}

bool TFieldDataLink::CanModify() const {
    return !ReadOnly && field_ != nullptr && !field_->ReadOnly() && field_->DataSet() != nullptr
        && field_->DataSet()->CanModify();
}

void TFieldDataLink::UpdateField() {
    TField* field = nullptr;
    if (Active() && !field_name_.empty())
        field = DataSet()->FindField(field_name_);
    if (field == field_)
        return;
    field_ = field;
    EditingChanged();
    RecordChanged(nullptr);
}

void TFieldDataLink::ActiveChanged() {
    UpdateField();
    if (OnActiveChange)
        OnActiveChange();
}

void TFieldDataLink::EditingChanged() {
    if (OnEditingChange)
        OnEditingChange();
}

void TFieldDataLink::LayoutChanged() {
    UpdateField();
}

void TFieldDataLink::RecordChanged(TField* field) {
    if (field != nullptr && field != field_)
        return;
    modified_ = false;
    if (OnDataChange)
        OnDataChange();
}

void TFieldDataLink::UpdateData() {
    if (!modified_)
        return;
    if (field_ != nullptr && OnUpdateData)
        OnUpdateData();
    modified_ = false;
}

} // namespace zolvek
