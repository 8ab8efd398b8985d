// Cursor filters: creating, activating and freeing filters, their evaluation into record
// bitmaps (index ranges where the optimiser can, record scans for the rest), the combined
// bitmap and the filtered record count, the sorted key list of small views, and keeping all of
// it current when this cursor changes records.
#include "db/cursor/cursor.h"

#include "db/base/errors.h"
#include "db/expr/expr_bind.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>

namespace zolvek {

namespace {

constexpr size_t kMaxFilters = 64;

// Every key of an index.
class TAllKeys : public TKeyRangeTest {
public:
    bool Below(const uint8_t*) const override { return false; }
    bool Beyond(const uint8_t*) const override { return false; }
};

// Restores a flag when the scope ends.
class TFlagScope {
public:
    TFlagScope(bool& flag, bool value)
        : flag_(flag)
        , saved_(flag) {
        flag_ = value;
    }
    ~TFlagScope() { flag_ = saved_; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
    bool saved_;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// The filter list

size_t TDataCursor::FilterIndex(const TFilter* filter) const {
    for (size_t i = 0; i < filters_.size(); ++i) {
        if (filters_[i].get() == filter)
            return i;
    }
    RaiseError(ZOLVEK_NOSUCHFILTER);
}

bool TDataCursor::AnyFilterActive() const {
    return std::any_of(
        filters_.begin(), filters_.end(), [](const auto& filter) { return filter->active_; });
}

TFilter* TDataCursor::CreateFilter(TFilterDefinition definition) {
    if (filters_.size() >= kMaxFilters)
        RaiseError(ZOLVEK_INTERNALLIMIT);
    auto filter = std::make_unique<TFilter>();
    if (!definition.expression.empty()) {
        TBindOptions options;
        options.no_partial_compare = definition.no_partial_compare;
        options.case_insensitive = definition.case_insensitive;
        options.locale_id = locale_id_;
        filter->tree_ = PrepareFilterExpression(
            definition.expression, directory_.DatabaseName(), table_name_, this,
            [this](TExpToken& column) { return LookupColumn(column); }, options);
    } else if (definition.tree) {
        filter->tree_ = std::move(definition.tree);
    } else if (definition.callback) {
        filter->kind_ = TFilter::TKind::fkCallback;
        filter->callback_ = std::move(definition.callback);
        filter->dataset_ = definition.dataset;
    } else {
        directory_.Engine().Errors().RaiseError(ZOLVEK_INVALIDFILTER, "", "",
            directory_.DatabaseName(), table_name_, "", "",
            "Missing expression in filter expression", "", "", 0, 0);
    }
    if (filter->tree_) {
        const TFilterHost& host = *this;
        filter->plan_
            = std::make_unique<TFilterPlan>(*filter->tree_, host, definition.index_ranges);
    }
    filter->restrict_to_earlier_ = definition.restrict_to_earlier;
    // Unrestricted filters go before the restricted ones, which are evaluated after them.
    auto at = filters_.end();
    if (!filter->restrict_to_earlier_)
        at = std::find_if(filters_.begin(), filters_.end(),
            [](const auto& other) { return other->restrict_to_earlier_; });
    TFilter* created = filter.get();
    filters_.insert(at, std::move(filter));
    return created;
}

void TDataCursor::ActivateFilter(TFilter* filter) {
    if (filter != nullptr)
        FilterIndex(filter);
    TReadBracket bracket(*this);
    auto started = std::chrono::steady_clock::now();
    for (auto& each : filters_) {
        if (filter == nullptr || each.get() == filter)
            each->active_ = true;
    }
    filters_active_ = AnyFilterActive() || active_slot_ == kNoIndexSlot;
    ComputeBounds();
    SizeFilterBitmaps();
    if (range_active_ && active_slot_ != kNoIndexSlot)
        RangeToBitmap(Tree(), range_start_.data(), range_end_.data(), range_bitmap_);
    if (filter != nullptr)
        EvaluateFilter(*filter);
    else
        EvaluateAllFilters();
    CompleteRestrictedFilters();
    CombineFilters();
    BuildKeyList();
    filter_seconds_
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    Reposition();
}

void TDataCursor::DeactivateFilter(TFilter* filter) {
    if (filter != nullptr)
        FilterIndex(filter);
    TReadBracket bracket(*this);
    for (auto& each : filters_) {
        if (filter == nullptr || each.get() == filter)
            each->active_ = false;
    }
    AfterFilterChange();
}

void TDataCursor::FreeFilter(TFilter* filter) {
    if (filter != nullptr) {
        size_t index = FilterIndex(filter);
        TReadBracket bracket(*this);
        filters_.erase(filters_.begin() + std::ptrdiff_t(index));
        AfterFilterChange();
        return;
    }
    TReadBracket bracket(*this);
    filters_.clear();
    AfterFilterChange();
}

// After filters left the view: the filters that stay were evaluated on what the others
// accepted, so the records those let through now are evaluated; then the view is recombined.
void TDataCursor::AfterFilterChange() {
    filters_active_ = AnyFilterActive() || active_slot_ == kNoIndexSlot;
    ComputeBounds();
    if (filters_active_) {
        SizeFilterBitmaps();
        CompleteRestrictedFilters();
        CombineFilters();
    }
    BuildKeyList();
    Reposition();
}

// ---------------------------------------------------------------------------------------------
// Evaluation

uint32_t TDataCursor::FilterRecordSlots() const {
    return table_->DataFile().PhysicalCount();
}

const FieldDescriptor* TDataCursor::FilterField(int32_t field_no) const {
    return field_no > 0 ? FindField(Fields(), field_no) : nullptr;
}

const IndexDescriptor& TDataCursor::FilterIndexDescriptor(uint8_t slot) const {
    return table_->IndexFile().Index().Slots[slot];
}

TIndexTree& TDataCursor::FilterIndexTree(uint8_t slot) {
    return *SlotIndex(slot).tree;
}

const TRecordsBitmap& TDataCursor::FilterLiveRecords() {
    if (!live_valid_) {
        live_.SetSize(FilterRecordSlots());
        live_.ClearAll();
        MarkKeyRange(FilterIndexTree(kPrimaryIndexSlot), TAllKeys(), live_);
        live_valid_ = true;
    }
    return live_;
}

void TDataCursor::FilterScanRecords(TRecordsBitmap& bitmap, TExpToken& node, bool all_records) {
    ScanRecords(
        bitmap,
        [&](const uint8_t* image, uint32_t) {
            Evaluate(node, image, locale_id_, read_column_);
            return IsTrue(node);
        },
        all_records);
}

// Every bitmap sized to the record slots of the table as it is now. New positions are clear;
// the live records are found afresh when an evaluation asks for them.
void TDataCursor::SizeFilterBitmaps() {
    uint32_t slots = FilterRecordSlots();
    combined_.SetSize(slots);
    range_bitmap_.SetSize(slots);
    for (auto& filter : filters_) {
        filter->bitmap_.SetSize(slots);
        filter->domain_.SetSize(slots);
    }
    live_valid_ = false;
}

void TDataCursor::RecomputeFilters() {
    SizeFilterBitmaps();
    if (range_active_ && active_slot_ != kNoIndexSlot)
        RangeToBitmap(Tree(), range_start_.data(), range_end_.data(), range_bitmap_);
    EvaluateAllFilters();
    CombineFilters();
    BuildKeyList();
}

void TDataCursor::EvaluateFilter(TFilter& filter) {
    if (!filter.active_)
        return;
    uint32_t slots = FilterRecordSlots();
    filter.bitmap_.SetSize(slots);
    filter.domain_.SetSize(slots);
    filter.all_records_ = true;
    filter.windows_.clear();
    if (slots == 0)
        return;
    // The records to examine: those of the range, and for a restricted filter that indexes
    // do not answer alone, only those the active filters before it accepted.
    bool all_records = true;
    if (range_active_) {
        filter.bitmap_.Assign(range_bitmap_);
        all_records = false;
    } else {
        filter.bitmap_.SetAll();
    }
    if (filter.restrict_to_earlier_ && filter.FilterLevel() != 2) {
        for (auto& earlier : filters_) {
            if (earlier.get() == &filter)
                break;
            if (!earlier->active_)
                continue;
            if (all_records)
                filter.bitmap_.Assign(earlier->bitmap_);
            else
                filter.bitmap_.AndWith(earlier->bitmap_);
            all_records = false;
        }
    }
    filter.all_records_ = all_records;
    if (!all_records)
        filter.domain_.Assign(filter.bitmap_);
    if (filter.plan_) {
        filter.plan_->Evaluate(*this, filter.bitmap_, all_records, &filter.windows_);
        return;
    }
    ScanRecords(
        filter.bitmap_,
        [&](const uint8_t* image, uint32_t record) {
            return EvaluateRecord(filter, image, record);
        },
        all_records);
}

void TDataCursor::EvaluateAllFilters() {
    for (auto& filter : filters_)
        EvaluateFilter(*filter);
}

// A restricted filter knows only the records it was evaluated on. When the filters before it
// let more records through than then (one was freed, deactivated or replaced), those are
// evaluated now, so that its bitmap answers for every record the view may hold.
void TDataCursor::CompleteRestrictedFilters() {
    uint32_t slots = FilterRecordSlots();
    if (slots == 0)
        return;
    TRecordsBitmap earlier;
    earlier.SetSize(slots);
    if (range_active_)
        earlier.Assign(range_bitmap_);
    else
        earlier.SetAll();
    for (auto& filter : filters_) {
        if (!filter->active_)
            continue;
        if (filter->restrict_to_earlier_ && filter->FilterLevel() != 2 && !filter->all_records_) {
            TRecordsBitmap missing;
            missing.Assign(earlier);
            TRecordsBitmap unknown;
            unknown.Assign(filter->domain_);
            unknown.Invert();
            missing.AndWith(unknown);
            uint32_t first = 0;
            if (missing.FindNext(first)) {
                TRecordsBitmap accepted;
                accepted.Assign(missing);
                TKeyWindows windows;
                if (filter->plan_)
                    filter->plan_->Evaluate(*this, accepted, false, &windows);
                else
                    ScanRecords(
                        accepted,
                        [&](const uint8_t* image, uint32_t record) {
                            return EvaluateRecord(*filter, image, record);
                        },
                        false);
                uint32_t any = 0;
                bool had = filter->bitmap_.FindNext(any);
                any = 0;
                bool adds = accepted.FindNext(any);
                filter->windows_
                    = CombineWindows(*this, filter->windows_, !had, windows, !adds, true);
                filter->bitmap_.OrWith(accepted);
                filter->domain_.OrWith(missing);
            }
        }
        earlier.AndWith(filter->bitmap_);
    }
}

void TDataCursor::CombineFilters() {
    if (!filters_active_)
        return;
    ComputeViewWindow();
    uint32_t slots = FilterRecordSlots();
    combined_.SetSize(slots);
    int32_t live = TableRecordCount();
    if (slots == 0) {
        filtered_count_ = 0;
        return;
    }
    bool restricted = range_active_;
    if (range_active_)
        combined_.Assign(range_bitmap_);
    else
        combined_.SetAll();
    for (auto& filter : filters_) {
        if (!filter->active_)
            continue;
        combined_.AndWith(filter->bitmap_);
        restricted = true;
    }
    if (!restricted) {
        // Record-number order without a filter: every slot, the count of the live records.
        filtered_count_ = live;
        return;
    }
    filtered_count_
        = int32_t(std::min<uint32_t>(combined_.CountBits(), uint32_t(std::max(live, 0))));
}

// The key window of the active index that every active filter's answer lies in.
void TDataCursor::ComputeViewWindow() {
    window_active_ = false;
    window_slot_ = active_slot_;
    if (!filters_active_ || active_slot_ == kNoIndexSlot)
        return;
    size_t length = keys_->KeyLength();
    for (auto& filter : filters_) {
        if (!filter->active_)
            continue;
        for (const TKeyWindow& window : filter->windows_) {
            if (window.slot != active_slot_ || window.low.size() < length)
                continue;
            if (!window_active_) {
                window_low_ = window.low;
                window_high_ = window.high;
                window_active_ = true;
                continue;
            }
            if (keys_->CompareKeys(window.low.data(), window_low_.data(), length) > 0)
                window_low_ = window.low;
            if (keys_->CompareKeys(window.high.data(), window_high_.data(), length) < 0)
                window_high_ = window.high;
        }
    }
}

// Visits the records whose bits are set (every record slot with `all_records`) in ascending
// order and clears the bits of the deleted ones and of those `accept` rejects. A record
// changed or deleted by another user meanwhile (8708) is rejected. The read lock is given up
// now and then, so that a long scan lets writers in.
void TDataCursor::ScanRecords(TRecordsBitmap& bitmap, const TRecordTest& accept, bool all_records) {
    TDataFile& data = table_->DataFile();
    if (all_records)
        bitmap.SetAll();
    uint32_t total = all_records ? bitmap.Size() : bitmap.CountBits();
    uint32_t releases = std::max<uint32_t>(1, directory_.Engine().Settings().TableMaxReadLockCount);
    uint32_t period = std::max<uint32_t>(1, total / releases);
    TFlagScope scanning(scanning_, true);
    uint32_t visited = 0;
    for (uint32_t record = 0; bitmap.FindNext(record);) {
        if (record > data.PhysicalCount()) {
            // The table was emptied meanwhile: nothing above is a record any more.
            for (uint32_t rest = record - 1; bitmap.FindNext(rest);)
                bitmap.ClearBit(rest);
            break;
        }
        bool keep = false;
        {
            TPinned<TRecord> image(data.ReadRecord(this, record, true, rdForward));
            if (!image && record <= data.PhysicalCount())
                image = TPinned<TRecord>(data.ReadRecord(nullptr, record));
            if (image && !RecordDeleted(image->Data())) {
                try {
                    keep = accept(image->Data(), record);
                } catch (const EZOLVEKEngineError& error) {
                    if (error.Code() != ZOLVEK_KEYORRECDELETED)
                        throw;
                }
            }
        }
        if (!keep)
            bitmap.ClearBit(record);
        if (++visited % period == 0 && !table_->exclusive) {
            table_->EndTableRead();
            if (table_->StrictChangeDetection())
                table_->BeginTableRead();
        }
    }
}

bool TDataCursor::EvaluateRecord(TFilter& filter, const uint8_t* image, uint32_t record) {
    if (filter.tree_) {
        Evaluate(*filter.tree_, image, locale_id_, read_column_);
        return IsTrue(*filter.tree_);
    }
    // The callback gets a copy: what it does with it cannot reach the cached record.
    scan_image_.assign(image, image + RecordSize());
    return filter.callback_(filter.dataset_, scan_image_.size(), scan_image_.data(), record);
}

// A record the view reaches while filters are active: the range and every active filter test
// it again (a filter placed after one that rejects it is not asked); a rejected record leaves
// the bitmaps and the count.
bool TDataCursor::FiltersAccept(uint32_t record, const uint8_t* image) {
    bool accepted = true;
    if (range_active_) {
        keys_->BuildKey(image, key_.data());
        accepted = InRange(key_.data());
        if (!accepted)
            range_bitmap_.ClearBit(record);
    }
    for (auto& filter : filters_) {
        if (!accepted)
            break;
        if (!filter->active_)
            continue;
        if (!EvaluateRecord(*filter, image, record)) {
            filter->bitmap_.ClearBit(record);
            accepted = false;
        }
    }
    if (!accepted && combined_.GetBit(record)) {
        combined_.ClearBit(record);
        if (filtered_count_ > 0)
            --filtered_count_;
    }
    return accepted;
}

// This cursor wrote record r (inserted or changed; its image is the current record): the range
// and every active filter test it, and the key list follows.
void TDataCursor::FiltersAfterWrite(uint32_t record) {
    if (!filters_active_)
        return;
    SizeFilterBitmaps();
    const uint8_t* image = current_.data();
    if (range_active_ && active_slot_ != kNoIndexSlot) {
        keys_->BuildKey(image, key_.data());
        if (InRange(key_.data()))
            range_bitmap_.SetBit(record);
        else
            range_bitmap_.ClearBit(record);
    }
    for (auto& filter : filters_) {
        if (!filter->active_)
            continue;
        if (EvaluateRecord(*filter, image, record)) {
            filter->bitmap_.SetBit(record);
            // Its keys join the windows of the filter's answer.
            for (TKeyWindow& window : filter->windows_) {
                const TIndexKeyInfo& keys = *SlotIndex(window.slot).keys;
                std::vector<uint8_t> key(keys.KeyLength(), 0);
                keys.BuildKey(image, key.data());
                WidenWindow(keys, window, key.data());
            }
        } else {
            filter->bitmap_.ClearBit(record);
        }
        filter->domain_.SetBit(record);
    }
    CombineFilters();
    RemoveFromKeyList(record);
    if (key_list_slot_ == active_slot_ && combined_.GetBit(record))
        InsertIntoKeyList(record, image);
}

void TDataCursor::FiltersAfterDelete(uint32_t record) {
    if (!filters_active_)
        return;
    range_bitmap_.ClearBit(record);
    for (auto& filter : filters_)
        filter->bitmap_.ClearBit(record);
    CombineFilters();
    RemoveFromKeyList(record);
}

// ---------------------------------------------------------------------------------------------
// Columns of filter expressions

bool TDataCursor::LookupColumn(TExpToken& column) const {
    for (const FieldDescriptor& field : Fields()) {
        if (!SameName(field.Name, column.ColumnName))
            continue;
        column.FieldNo = int32_t(field.FieldNo);
        column.DataType = field.DataType;
        column.SubType = field.SubType;
        column.ValueSize = field.PhysicalSize;
        column.Scale = field.Scale;
        return true;
    }
    return false;
}

void TDataCursor::ReadColumn(TExpToken& column, const uint8_t* image) {
    const FieldDescriptor* field = FilterField(column.FieldNo);
    if (field == nullptr) {
        column.Value.assign(1, 0);
        column.IsNull = true;
        return;
    }
    column.IsNull = FieldIsNull(*field, image);
    if (field->DataType == kTypeBlob) {
        column.Value.clear();
        if (!column.IsNull) {
            // The value is read in full through a copy of the record, whose field then holds
            // the handle of the open BLOB.
            std::vector<uint8_t> copy(image, image + RecordSize());
            blobs_->OpenBlobField(*field, copy.data(), TBlobBuffer::bmRead, true);
            try {
                column.Value = blobs_->BlobValue(*field, copy.data());
            } catch (...) {
                blobs_->CloseBlobField(*field, copy.data());
                throw;
            }
            blobs_->CloseBlobField(*field, copy.data());
        }
        if (field->SubType == kSubTypeMemo || column.Value.empty())
            column.Value.push_back(0);
        return;
    }
    const uint8_t* value = FieldValuePointer(*field, image);
    if (column.IsNull)
        column.Value.assign(field->PhysicalSize, 0);
    else
        column.Value.assign(value, value + field->PhysicalSize);
}

// ---------------------------------------------------------------------------------------------
// The sorted key list

void TDataCursor::ClearKeyList() {
    key_list_.clear();
    key_list_records_.clear();
    key_list_slot_ = kNoIndexSlot;
    key_list_pos_ = 0;
}

bool TDataCursor::UsingKeyList() const {
    return filters_active_ && !range_active_ && active_slot_ != kNoIndexSlot
        && key_list_slot_ == active_slot_ && !key_list_records_.empty();
}

// A view of at most TableFilterIndexThreshhold percent of the record slots keeps the keys of
// its records sorted in the active order.
void TDataCursor::BuildKeyList() {
    ClearKeyList();
    if (!filters_active_ || active_slot_ == kNoIndexSlot || range_active_ || filtered_count_ <= 0)
        return;
    uint32_t slots = FilterRecordSlots();
    uint64_t threshold = directory_.Engine().Settings().TableFilterIndexThreshhold;
    if (slots == 0 || uint64_t(filtered_count_) * 100 > threshold * slots)
        return;
    TDataFile& data = table_->DataFile();
    size_t width = keys_->KeyLength();
    std::vector<uint8_t> keys;
    std::vector<uint32_t> records;
    for (uint32_t record = 0; combined_.FindNext(record) && record <= data.PhysicalCount();) {
        TPinned<TRecord> image(data.ReadRecord(this, record));
        if (!image)
            image = TPinned<TRecord>(data.ReadRecord(nullptr, record));
        if (RecordDeleted(image->Data()))
            continue;
        keys.resize(keys.size() + width);
        keys_->BuildKey(image->Data(), keys.data() + keys.size() - width);
        records.push_back(record);
    }
    std::vector<size_t> order(records.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return keys_->CompareKeys(keys.data() + a * width, keys.data() + b * width, width) < 0;
    });
    key_list_.resize(keys.size());
    key_list_records_.resize(records.size());
    for (size_t i = 0; i < order.size(); ++i) {
        std::memcpy(key_list_.data() + i * width, keys.data() + order[i] * width, width);
        key_list_records_[i] = records[order[i]];
    }
    key_list_width_ = width;
    key_list_slot_ = active_slot_;
    key_list_pos_ = 0;
}

bool TDataCursor::PositionOnListEntry(size_t i) {
    TIndexPosition position;
    if (Tree().Seek(ListKey(i), key_list_width_, position) != TSeekResult::srFound
        || !PositionOn(position) || record_number_ != key_list_records_[i])
        return false;
    key_list_pos_ = i;
    return true;
}

bool TDataCursor::StepInKeyList(bool forward) {
    size_t i = key_list_pos_;
    while (forward ? i + 1 < key_list_records_.size() : i > 0) {
        i = forward ? i + 1 : i - 1;
        if (combined_.GetBit(key_list_records_[i]) && PositionOnListEntry(i))
            return true;
    }
    return false;
}

bool TDataCursor::GotoListEnd(bool first) {
    size_t count = key_list_records_.size();
    for (size_t k = 0; k < count; ++k) {
        size_t i = first ? k : count - 1 - k;
        if (combined_.GetBit(key_list_records_[i]) && PositionOnListEntry(i))
            return true;
    }
    SetEmptyView();
    return false;
}

// As the tree search, over the list: found, or with `nearest` the first entry above the key,
// else the last one below it; past the end the last entry with EOF set.
bool TDataCursor::SeekInKeyList(const uint8_t* key, bool nearest, size_t length) {
    size_t count = key_list_records_.size();
    size_t lo = 0;
    size_t hi = count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (keys_->CompareKeys(ListKey(mid), key, length) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    bof_ = eof_ = false;
    size_t at = lo;
    while (at < count && !combined_.GetBit(key_list_records_[at]))
        ++at;
    if (at == count) {
        if (GotoListEnd(false))
            eof_ = true;
        return false;
    }
    bool found = keys_->CompareKeys(ListKey(at), key, length) == 0;
    if (!found && !nearest) {
        size_t before = at;
        while (before > 0 && !combined_.GetBit(key_list_records_[before - 1]))
            --before;
        if (before > 0)
            at = before - 1;
        else
            bof_ = true;
    }
    if (!PositionOnListEntry(at)) {
        // The list no longer matches the index: find the key in the tree instead.
        ClearKeyList();
        return SeekKey(key, nearest, false, length);
    }
    return found;
}

bool TDataCursor::MoveToSequenceInKeyList(int32_t n) {
    size_t count = key_list_records_.size();
    uint32_t wanted = uint32_t(first_ordinal_ - 1 + n);
    size_t lo = 0;
    size_t hi = count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (!PositionOnListEntry(mid))
            return false;
        if (position_.Ordinal < wanted)
            lo = mid + 1;
        else
            hi = mid;
    }
    while (lo < count && !combined_.GetBit(key_list_records_[lo]))
        ++lo;
    if (lo == 0 && PositionOnListEntry(0) && position_.Ordinal > wanted) {
        // Before the first record of the view.
        bof_ = true;
        eof_ = false;
        return false;
    }
    if (lo == count) {
        if (GotoListEnd(false))
            eof_ = true;
        return false;
    }
    bof_ = eof_ = false;
    return PositionOnListEntry(lo);
}

void TDataCursor::RemoveFromKeyList(uint32_t record) {
    auto found = std::find(key_list_records_.begin(), key_list_records_.end(), record);
    if (found == key_list_records_.end())
        return;
    size_t i = size_t(found - key_list_records_.begin());
    key_list_records_.erase(found);
    key_list_.erase(key_list_.begin() + std::ptrdiff_t(i * key_list_width_),
        key_list_.begin() + std::ptrdiff_t((i + 1) * key_list_width_));
    if (key_list_pos_ > i)
        --key_list_pos_;
    key_list_pos_
        = std::min(key_list_pos_, key_list_records_.empty() ? 0 : key_list_records_.size() - 1);
}

void TDataCursor::InsertIntoKeyList(uint32_t record, const uint8_t* image) {
    std::vector<uint8_t> key(key_list_width_);
    keys_->BuildKey(image, key.data());
    size_t lo = 0;
    size_t hi = key_list_records_.size();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (keys_->CompareKeys(ListKey(mid), key.data(), key_list_width_) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    key_list_.insert(
        key_list_.begin() + std::ptrdiff_t(lo * key_list_width_), key.begin(), key.end());
    key_list_records_.insert(key_list_records_.begin() + std::ptrdiff_t(lo), record);
    if (key_list_pos_ >= lo && key_list_records_.size() > 1)
        ++key_list_pos_;
}

} // namespace zolvek
