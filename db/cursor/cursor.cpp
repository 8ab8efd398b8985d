// Cursor open and close, index selection, position, navigation, counts and bookmarks.
#include "db/cursor/cursor.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/cursor/record_values.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"
#include "db/storage/session.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace zolvek {

namespace {

constexpr uint8_t kUnselectedSlot = 128;

} // namespace

TDataCursor::TDataCursor(TDataDirectory& directory, std::string table_name)
    : directory_(directory)
    , table_name_(std::move(table_name))
    , read_column_([this](TExpToken& column, const uint8_t* image) { ReadColumn(column, image); }) {
}

TDataCursor::~TDataCursor() {
    try {
        CloseTable();
    } catch (...) {
        // A destructor cannot report; the table object closes its files itself.
        NoteSwallowedFailure();
    }
}

void TDataCursor::RaiseError(uint16_t code) const {
    directory_.Engine().Errors().RaiseTableError(code, table_name_);
}

void TDataCursor::CheckResult(EngineCode code, const std::string& message) const {
    if (code == 0)
        return;
    directory_.Engine().Errors().RaiseError(
        code, "", "", directory_.DatabaseName(), table_name_, "", "", message, "", "", 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Open and close

void TDataCursor::OpenTable() {
    if (table_ != nullptr)
        return;
    table_ = directory_.AcquireTable(table_name_, Exclusive, false);
    try {
        locale_id_ = table_->LocaleID();
        size_t record_size = table_->DataFile().Header().RecordSize;
        current_.assign(record_size, 0);
        start_current_.assign(record_size, 0);
        old_copy_.assign(record_size, 0);
        work_.assign(record_size, 0);
        key_.assign(kMaxKeyLength, 0);
        other_key_.assign(kMaxKeyLength, 0);
        range_start_.assign(kMaxKeyLength, 0);
        range_end_.assign(kMaxKeyLength, 0);
        leaf_ = std::make_unique<TPage>(table_->IndexFile());
        blobs_ = std::make_unique<TCursorBlobs>(*table_, this);
        active_slot_ = kUnselectedSlot;
        range_active_ = false;
        filters_active_ = false;
        filtered_count_ = 0;
        RememberCounters();
        if (table_->IndexFileRecreated())
            RebuildRecreatedIndex();
        SetActiveIndex(kPrimaryIndexSlot);
        RecomputeView();
        MoveFirst();
    } catch (...) {
        CloseTable();
        throw;
    }
}

void TDataCursor::CloseTable() {
    if (table_ == nullptr)
        return;
    filters_.clear();
    ClearKeyList();
    filters_active_ = false;
    window_active_ = false;
    filtered_count_ = 0;
    combined_.SetSize(0);
    range_bitmap_.SetSize(0);
    live_.SetSize(0);
    live_valid_ = false;
    blobs_.reset();
    tree_.reset();
    keys_.reset();
    leaf_.reset();
    if (edit_locked_) {
        edit_locked_ = false;
        try {
            table_->UnlockRecord(edit_record_);
        } catch (const EZOLVEKEngineError&) { }
    }
    position_ = {};
    record_number_ = 0;
    bof_ = eof_ = true;
    read_depth_ = 0;
    TDataTable* table = table_;
    table_ = nullptr;
    directory_.ReleaseTable(table);
}

void TDataCursor::SetActiveIndex(uint8_t slot) {
    if (slot == active_slot_ && keys_ != nullptr)
        return;
    tree_.reset();
    if (slot == kNoIndexSlot) {
        keys_ = std::make_unique<TIndexKeyInfo>();
        filters_active_ = true;
    } else {
        const IndexSlots& index = table_->IndexFile().Index();
        keys_ = std::make_unique<TIndexKeyInfo>(
            slot, index.Slots[slot], table_->DataFile().Fields(), locale_id_, table_name_);
        tree_ = std::make_unique<TIndexTree>(table_->IndexFile(), *keys_, this);
    }
    active_slot_ = slot;
}

void TDataCursor::SelectIndex(const std::string& index_name) {
    const IndexSlots& index = table_->IndexFile().Index();
    std::string trimmed(TrimName(index_name));
    uint8_t slot = kPrimaryIndexSlot;
    if (!trimmed.empty()) {
        int found = index.FindSecondary(trimmed);
        if (found < 0)
            directory_.Engine().Errors().RaiseIndexError(
                ZOLVEK_INVALIDINDEXNAME, index_name, table_name_);
        slot = uint8_t(found);
    }
    if (slot == active_slot_)
        return;
    TReadBracket bracket(*this);
    bool had_range = range_active_;
    range_active_ = false;
    std::fill(range_start_.begin(), range_start_.end(), 0);
    std::fill(range_end_.begin(), range_end_.end(), 0);
    SetActiveIndex(slot);
    filters_active_ = AnyFilterActive() || slot == kNoIndexSlot;
    if (had_range) {
        // Filters evaluated within the range are evaluated again over the whole table.
        RecomputeView();
    } else {
        // The filters' answers do not depend on the order; the key list does.
        ComputeBounds();
        CombineFilters();
        BuildKeyList();
    }
    Reposition();
}

// ---------------------------------------------------------------------------------------------
// Change detection

void TDataCursor::RememberCounters() {
    remembered_change_count_ = table_->DataFile().Header().ChangeCount;
}

bool TDataCursor::CountersMoved() const {
    return remembered_change_count_ != table_->DataFile().Header().ChangeCount;
}

void TDataCursor::BeginRead() {
    if (read_depth_++ > 0)
        return;
    if (!table_->exclusive && table_->StrictChangeDetection())
        table_->BeginTableRead();
    if (CountersMoved())
        Resynchronise();
}

void TDataCursor::EndRead() {
    if (read_depth_ == 0 || --read_depth_ > 0)
        return;
    table_->EndTableRead();
}

void TDataCursor::Resynchronise() {
    RememberCounters();
    if (keys_ == nullptr)
        return; // still opening: there is no view yet
    bool outer = !resynchronising_;
    resynchronising_ = true;
    try {
        RecomputeView();
        Reposition();
    } catch (...) {
        if (outer)
            resynchronising_ = false;
        throw;
    }
    if (outer)
        resynchronising_ = false;
}

bool TDataCursor::CheckTableChanged() {
    bool changed = table_ != nullptr && table_->BeginTableRead();
    if (changed)
        changed_in_operation_ = true;
    return changed;
}

uint32_t TDataCursor::ReadAheadUnits(const TBufferedFile& file, int) {
    // Records are read ahead only where the reads follow the file: in record-number order (a
    // filter's record scan too), or when the last two records read lay next to each other (a
    // primary index in insertion order, a secondary one that happens to follow the file).
    // Random access reads one.
    if (table_ != nullptr && &file == &table_->DataFile()
        && (active_slot_ == kNoIndexSlot || sequential_ || scanning_))
        return file.ReadAheadLimit();
    return 1;
}

void TDataCursor::RefreshCursor() {
    TReadBracket bracket(*this);
    if (!table_->exclusive)
        table_->BeginTableRead();
    table_->CheckForChange();
    if (CountersMoved())
        Resynchronise();
}

// ---------------------------------------------------------------------------------------------
// The view

void TDataCursor::RecomputeView() {
    ComputeBounds();
    if (filters_active_)
        RecomputeFilters();
}

void TDataCursor::ComputeBounds() {
    int32_t count = table_->DataFile().Header().RecordCount;
    if (!range_active_ || filters_active_ || active_slot_ == kNoIndexSlot) {
        first_ordinal_ = 1;
        last_ordinal_ = count;
        return;
    }
    size_t length = keys_->KeyLength();
    if (keys_->CompareKeys(range_start_.data(), range_end_.data(), length) > 0) {
        first_ordinal_ = 0;
        last_ordinal_ = 0;
        return;
    }
    TIndexPosition first;
    TIndexPosition last;
    if (!Tree().SeekAtOrAfter(range_start_.data(), length, first)
        || !Tree().SeekAtOrBefore(range_end_.data(), length, last)
        || first.Ordinal > last.Ordinal) {
        first_ordinal_ = 0;
        last_ordinal_ = 0;
        return;
    }
    first_ordinal_ = first.Ordinal;
    last_ordinal_ = last.Ordinal;
}

bool TDataCursor::InRange(const uint8_t* key) const {
    if (!range_active_)
        return true;
    size_t length = keys_->KeyLength();
    return keys_->CompareKeys(key, range_start_.data(), length) >= 0
        && keys_->CompareKeys(key, range_end_.data(), length) <= 0;
}

void TDataCursor::SetEmptyView() {
    position_ = {};
    record_number_ = 0;
    bof_ = true;
    eof_ = true;
}

bool TDataCursor::PositionOn(const TIndexPosition& position) {
    if (!position.Valid() || !Tree().CopyLeaf(position.Page, *leaf_) || leaf_->EntryCount() == 0)
        return false;
    position_ = position;
    position_.Entry = std::clamp<size_t>(position.Entry, 1, leaf_->EntryCount());
    record_number_ = leaf_->Ref(position_.Entry);
    return true;
}

bool TDataCursor::GotoFirstOfView() {
    return GotoEndOfView(true);
}

bool TDataCursor::GotoLastOfView() {
    return GotoEndOfView(false);
}

// The first (or last) record of the view: the first key in the range, then onwards to the first
// entry the filters accept. An empty view sets both flags.
bool TDataCursor::GotoEndOfView(bool first) {
    bof_ = eof_ = false;
    if (active_slot_ == kNoIndexSlot) {
        uint32_t slots = table_->DataFile().PhysicalCount();
        uint32_t n = first ? 0 : slots + 1;
        bool found = false;
        if (filters_active_ && combined_.Size() > 0)
            found = first ? combined_.FindNext(n, 1) : combined_.FindPrior(n, 1);
        else if (slots > 0)
            found = (n = first ? 1 : slots, true);
        if (!found) {
            SetEmptyView();
            return false;
        }
        record_number_ = n;
        return true;
    }
    if (filters_active_ && filtered_count_ <= 0) {
        SetEmptyView();
        return false;
    }
    if (UsingKeyList())
        return GotoListEnd(first);
    // The view starts at the range start or at the filters' key window, whichever is later.
    const size_t length = keys_->KeyLength();
    const uint8_t* from = nullptr;
    if (range_active_)
        from = first ? range_start_.data() : range_end_.data();
    if (WindowActive()) {
        const uint8_t* edge = first ? window_low_.data() : window_high_.data();
        if (from == nullptr || (keys_->CompareKeys(edge, from, length) > 0) == first)
            from = edge;
    }
    TIndexPosition position;
    bool found;
    if (from != nullptr)
        found = first ? Tree().SeekAtOrAfter(from, length, position)
                      : Tree().SeekAtOrBefore(from, length, position);
    else
        found = first ? Tree().First(position) : Tree().Last(position);
    if (!found || !PositionOn(position) || !InView(leaf_->Key(position_.Entry))) {
        SetEmptyView();
        return false;
    }
    while (filters_active_ && !combined_.GetBit(record_number_)) {
        if (!StepOnce(first) || !InView(leaf_->Key(position_.Entry))) {
            SetEmptyView();
            return false;
        }
    }
    return true;
}

bool TDataCursor::WindowActive() const {
    return filters_active_ && window_active_ && window_slot_ == active_slot_
        && active_slot_ != kNoIndexSlot;
}

bool TDataCursor::InView(const uint8_t* key) const {
    if (!InRange(key))
        return false;
    if (!WindowActive())
        return true;
    size_t length = keys_->KeyLength();
    return keys_->CompareKeys(key, window_low_.data(), length) >= 0
        && keys_->CompareKeys(key, window_high_.data(), length) <= 0;
}

// One entry forward or backward in the active order; false when there is none. Within the
// current leaf copy this costs no page fetch.
bool TDataCursor::StepOnce(bool forward) {
    if (active_slot_ == kNoIndexSlot) {
        uint32_t slots = table_->DataFile().PhysicalCount();
        uint32_t n = record_number_;
        if (filters_active_ && combined_.Size() > 0)
            return forward ? combined_.FindNext(n, 1) && (record_number_ = n, true)
                           : combined_.FindPrior(n, 1) && (record_number_ = n, true);
        if (forward ? n >= slots : n <= 1)
            return false;
        record_number_ = forward ? n + 1 : n - 1;
        return true;
    }
    if (!position_.Valid())
        return false;
    if (UsingKeyList())
        return StepInKeyList(forward);
    for (int attempt = 0; attempt < 2; ++attempt) {
        size_t count = leaf_->EntryCount();
        if (forward && position_.Entry < count) {
            ++position_.Entry;
        } else if (!forward && position_.Entry > 1 && count > 0) {
            position_.Entry = std::min(position_.Entry, count + 1) - 1;
        } else {
            uint32_t neighbour = forward ? leaf_->NextPage() : leaf_->PrevPage();
            if (neighbour == 0)
                return false;
            TIndexPosition saved = position_;
            if (!Tree().CopyLeaf(neighbour, *leaf_)) {
                // The leaf is gone (another change): find the place again and step from there.
                // Losing it again while finding the place means the index itself is damaged;
                // finding the place again would only lose it once more, without end.
                if (resynchronising_)
                    directory_.Engine().Errors().RaiseTableError(ZOLVEK_INDEXCORRUPT, table_name_);
                Resynchronise();
                if (!position_.Valid())
                    return false;
                continue;
            }
            // A level is one chain linked both ways; a neighbour that does not link back is a
            // damaged index, and following it could run in a circle.
            if ((forward ? leaf_->PrevPage() : leaf_->NextPage()) != saved.Page)
                directory_.Engine().Errors().RaiseTableError(ZOLVEK_INDEXCORRUPT, table_name_);
            if (leaf_->EntryCount() == 0) {
                Tree().CopyLeaf(saved.Page, *leaf_);
                return false;
            }
            position_.Page = neighbour;
            position_.Entry = forward ? 1 : leaf_->EntryCount();
        }
        if (position_.Ordinal > 0)
            position_.Ordinal = forward ? position_.Ordinal + 1 : position_.Ordinal - 1;
        record_number_ = leaf_->Ref(position_.Entry);
        return true;
    }
    return false;
}

bool TDataCursor::StepBy(int32_t n) {
    if (n == 0)
        return true;
    bool forward = n > 0;
    for (int64_t step = 0; step < (forward ? int64_t(n) : -int64_t(n)); ++step) {
        TIndexPosition saved_position = position_;
        uint32_t saved_record = record_number_;
        size_t saved_list_pos = key_list_pos_;
        bool moved_off = false;
        while (true) {
            if (!StepOnce(forward)) {
                break;
            }
            if (active_slot_ != kNoIndexSlot && !InRange(leaf_->Key(position_.Entry))) {
                moved_off = true;
                break;
            }
            if (filters_active_ && active_slot_ != kNoIndexSlot
                && !combined_.GetBit(record_number_)) {
                moved_off = true;
                // Every record of the view lies in the filters' key window: beyond it the
                // search for the next one can stop.
                if (!InView(leaf_->Key(position_.Entry)))
                    break;
                continue;
            }
            moved_off = false;
            goto stepped;
        }
        // The step failed: stay on the last entry of the view that was reached.
        if (moved_off || position_.Page != saved_position.Page || record_number_ != saved_record) {
            if (active_slot_ == kNoIndexSlot) {
                record_number_ = saved_record;
            } else if (!saved_position.Valid() || !PositionOn(saved_position)) {
                SetEmptyView();
                return false;
            } else {
                position_.Ordinal = saved_position.Ordinal;
                key_list_pos_ = saved_list_pos;
            }
        }
        if (forward)
            eof_ = true;
        else
            bof_ = true;
        return false;
    stepped:;
    }
    bof_ = eof_ = false;
    return true;
}

void TDataCursor::LoadCurrentRecord(int direction) {
    if (record_number_ == 0 || record_number_ > table_->DataFile().PhysicalCount()) {
        std::fill(current_.begin(), current_.end(), 0);
        return;
    }
    TReadDirection read_direction
        = direction == 2 ? rdBackward : (direction == 1 ? rdForward : rdNone);
    sequential_ = direction == 1 ? record_number_ == last_loaded_ + 1
                                 : (direction == 2 && record_number_ + 1 == last_loaded_);
    last_loaded_ = record_number_;
    for (int attempt = 0; attempt < 2; ++attempt) {
        TPinned<TRecord> record(
            table_->DataFile().ReadRecord(this, record_number_, direction != 0, read_direction));
        if (record) {
            std::memcpy(current_.data(), record->Data(), current_.size());
            return;
        }
        if (record_number_ > table_->DataFile().PhysicalCount()) {
            std::fill(current_.begin(), current_.end(), 0);
            return;
        }
    }
    TPinned<TRecord> record(table_->DataFile().ReadRecord(nullptr, record_number_));
    std::memcpy(current_.data(), record->Data(), current_.size());
}

bool TDataCursor::IsVisible(uint32_t record, const uint8_t* image) {
    if (table_->DataFile().PhysicalCount() == 0 || record == 0)
        return false;
    if (RecordDeleted(image)) {
        if (filters_active_ && record <= combined_.Size()) {
            range_bitmap_.ClearBit(record);
            for (auto& filter : filters_)
                filter->bitmap_.ClearBit(record);
            if (combined_.GetBit(record) && filtered_count_ > 0)
                --filtered_count_;
            combined_.ClearBit(record);
        }
        return false;
    }
    if (active_slot_ == kNoIndexSlot)
        return true;
    if (filters_active_) {
        // Only records of the combined bitmap are in the view; those the filters test again.
        if (record > combined_.Size() || !combined_.GetBit(record))
            return false;
        return FiltersAccept(record, image);
    }
    if (range_active_) {
        keys_->BuildKey(image, key_.data());
        return InRange(key_.data());
    }
    return true;
}

void TDataCursor::FindVisible(int direction) {
    if (direction != 2) {
        while (!eof_) {
            if (IsVisible(record_number_, current_.data()))
                return;
            StepBy(1);
            LoadCurrentRecord(1);
        }
        while (!bof_) {
            if (IsVisible(record_number_, current_.data())) {
                eof_ = true;
                return;
            }
            StepBy(-1);
            LoadCurrentRecord(2);
        }
    } else {
        while (!bof_) {
            if (IsVisible(record_number_, current_.data()))
                return;
            StepBy(-1);
            LoadCurrentRecord(2);
        }
        while (!eof_) {
            if (IsVisible(record_number_, current_.data())) {
                bof_ = true;
                return;
            }
            StepBy(1);
            LoadCurrentRecord(1);
        }
    }
    SetEmptyView();
    LoadCurrentRecord(0);
}

// Finds the current record again after the table changed: the same record when it is still in
// the view, else the next key. A cursor that stood before the first or after the last record
// stands there again.
void TDataCursor::Reposition() {
    if (active_slot_ == kNoIndexSlot) {
        uint32_t slots = table_->DataFile().PhysicalCount();
        if (slots == 0) {
            SetEmptyView();
            LoadCurrentRecord(0);
            return;
        }
        record_number_ = std::clamp<uint32_t>(record_number_, 1, slots);
        if (!(bof_ && eof_) || record_number_ == 0)
            bof_ = eof_ = false;
    } else if (record_number_ == 0 || (bof_ && eof_)) {
        GotoFirstOfView();
        if (!(bof_ && eof_))
            bof_ = true;
    } else {
        keys_->BuildKey(current_.data(), key_.data());
        SeekPosition(key_.data(), true, true, 0);
    }
    LoadCurrentRecord(0);
    FindVisible(0);
}

// A seek is an operation of its own: the change check comes first, and the record it lands on
// is loaded, so that a resynchronisation after a change seen later finds this record again and
// not the one the cursor stood on before the seek.
bool TDataCursor::SeekKey(const uint8_t* key, bool nearest, bool keep_crack, size_t length) {
    return Stable([&] {
        bool found = SeekPosition(key, nearest, keep_crack, length);
        LoadCurrentRecord(0);
        return found;
    });
}

bool TDataCursor::SeekPosition(const uint8_t* key, bool nearest, bool keep_crack, size_t length) {
    bool was_bof = bof_;
    bool was_eof = eof_;
    if (length == 0 || length > keys_->KeyLength())
        length = keys_->KeyLength();
    if (active_slot_ == kNoIndexSlot || (range_active_ && first_ordinal_ == 0)) {
        SetEmptyView();
        return false;
    }
    bool found = false;
    if (UsingKeyList()) {
        found = SeekInKeyList(key, nearest, length);
    } else if ((range_active_ && keys_->CompareKeys(key, range_start_.data(), length) < 0)
        || (WindowActive() && keys_->CompareKeys(key, window_low_.data(), length) < 0)) {
        GotoFirstOfView();
    } else if ((range_active_ && keys_->CompareKeys(key, range_end_.data(), length) > 0)
        || (WindowActive() && keys_->CompareKeys(key, window_high_.data(), length) > 0)) {
        if (GotoLastOfView())
            eof_ = true;
    } else {
        TIndexPosition position;
        TSeekResult result = Tree().Seek(key, length, position);
        bof_ = eof_ = false;
        switch (result) {
        case TSeekResult::srEmpty:
            SetEmptyView();
            return false;
        case TSeekResult::srFound:
            found = PositionOn(position);
            break;
        case TSeekResult::srAfter:
            PositionOn(position);
            if (!nearest)
                StepBy(-1);
            break;
        case TSeekResult::srBeyond:
            PositionOn(position);
            eof_ = true;
            break;
        }
        if (!position_.Valid()) {
            SetEmptyView();
            return false;
        }
        if (!InRange(leaf_->Key(position_.Entry))) {
            if (!GotoLastOfView())
                return false;
            eof_ = true;
            found = false;
        }
        if (filters_active_ && !combined_.GetBit(record_number_)) {
            found = false;
            if (nearest && !StepBy(1)) {
                StepBy(-1);
                eof_ = true;
            }
        }
    }
    if (keep_crack && !(bof_ && eof_)) {
        if (was_bof && !was_eof) {
            GotoFirstOfView();
            bof_ = true;
        } else if (was_eof && !was_bof) {
            GotoLastOfView();
            eof_ = true;
        }
    }
    return found;
}

void TDataCursor::SetCursorRange(bool raw_keys, const uint8_t* start, size_t start_fields,
    const uint8_t* end, size_t end_fields) {
    if (active_slot_ == kNoIndexSlot)
        return;
    size_t length = keys_->KeyLength();
    auto bound = [&](const uint8_t* values, size_t fields, std::vector<uint8_t>& key, bool high) {
        std::fill(key.begin(), key.end(), 0);
        if (values == nullptr) {
            if (high)
                keys_->HighestKey(key.data());
            else
                keys_->LowestKey(key.data());
            return;
        }
        if (raw_keys)
            std::memcpy(key.data(), values, length);
        else
            keys_->BuildKey(values, key.data());
        // Given fields bound the range; the rest of the key (the RecordID suffix of a
        // non-unique index included) spans everything.
        size_t given = fields == 0 ? keys_->FieldCount() : std::min(fields, keys_->FieldCount());
        size_t position = keys_->KeyFieldsLength(given);
        if (high)
            keys_->FillKeyHigh(key.data(), position);
        else
            keys_->FillKeyLow(key.data(), position);
    };
    TReadBracket bracket(*this);
    bound(start, start_fields, range_start_, false);
    bound(end, end_fields, range_end_, true);
    range_active_ = true;
    RecomputeView();
    Reposition();
}

void TDataCursor::ClearCursorRange() {
    TReadBracket bracket(*this);
    range_active_ = false;
    std::fill(range_start_.begin(), range_start_.end(), 0);
    std::fill(range_end_.begin(), range_end_.end(), 0);
    RecomputeView();
    Reposition();
}

// ---------------------------------------------------------------------------------------------
// Moves and reads

void TDataCursor::MoveFirst() {
    return Stable([&] {
        GotoFirstOfView();
        LoadCurrentRecord(1);
        FindVisible(1);
        if (bof_ && eof_)
            return;
        StepBy(-1);
        LoadCurrentRecord(2);
        FindVisible(2);
        if (!eof_)
            bof_ = true;
    });
}

void TDataCursor::MoveLast() {
    return Stable([&] {
        GotoLastOfView();
        LoadCurrentRecord(2);
        FindVisible(2);
        if (bof_ && eof_)
            return;
        StepBy(1);
        LoadCurrentRecord(1);
        FindVisible(1);
        if (!bof_)
            eof_ = true;
    });
}

EngineCode TDataCursor::ReadNext(uint8_t* buffer) {
    return Stable([&]() -> EngineCode {
        if (bof_)
            GotoFirstOfView();
        else
            StepBy(1);
        LoadCurrentRecord(1);
        FindVisible(1);
        if (eof_) {
            ClearRecord(buffer);
            return ZOLVEK_EOF;
        }
        std::memcpy(buffer, current_.data(), current_.size());
        return 0;
    });
}

EngineCode TDataCursor::ReadPrior(uint8_t* buffer) {
    return Stable([&]() -> EngineCode {
        if (eof_)
            GotoLastOfView();
        else
            StepBy(-1);
        LoadCurrentRecord(2);
        FindVisible(2);
        if (bof_) {
            ClearRecord(buffer);
            return ZOLVEK_BOF;
        }
        std::memcpy(buffer, current_.data(), current_.size());
        return 0;
    });
}

int32_t TDataCursor::SequenceNumber() const {
    if ((bof_ && eof_) || position_.Ordinal == 0 || first_ordinal_ <= 0)
        return 0;
    return int32_t(int64_t(position_.Ordinal) - first_ordinal_ + 1);
}

// A count operation: it sees the changes of others as a move would.
int32_t TDataCursor::RecordCount() {
    return Stable([&] {
        if (filters_active_)
            return filtered_count_;
        if (first_ordinal_ <= 0 || last_ordinal_ <= 0)
            return 0;
        return int32_t(last_ordinal_ - first_ordinal_ + 1);
    });
}

int32_t TDataCursor::TableRecordCount() const {
    return table_->DataFile().Header().RecordCount;
}

bool TDataCursor::MoveToSequence(int32_t n) {
    return Stable([&] {
        if (active_slot_ == kNoIndexSlot) {
            uint32_t position = 0;
            if (n < 1 || !combined_.FindNext(position, uint32_t(n))) {
                eof_ = true;
                return false;
            }
            record_number_ = position;
            bof_ = eof_ = false;
        } else if (UsingKeyList()) {
            if (n < 1 || !MoveToSequenceInKeyList(n))
                return false;
        } else {
            if (!GotoFirstOfView())
                return false;
            if (n < SequenceNumber()) {
                bof_ = true;
                return false;
            }
            if (!GotoLastOfView())
                return false;
            if (n > SequenceNumber()) {
                eof_ = true;
                return false;
            }
            TIndexPosition position;
            if (!Tree().GotoOrdinal(uint32_t(first_ordinal_ - 1 + n), position)
                || !PositionOn(position))
                return false;
            bof_ = eof_ = false;
        }
        LoadCurrentRecord(1);
        FindVisible(1);
        return SequenceNumber() == n;
    });
}

// ---------------------------------------------------------------------------------------------
// Bookmarks

size_t TDataCursor::BookmarkSize() const {
    return active_slot_ == kNoIndexSlot ? 4 : keys_->KeyLength();
}

void TDataCursor::GetBookmark(uint8_t* bookmark) const {
    size_t size = BookmarkSize();
    std::memset(bookmark, 0, size);
    if (bof_ && eof_)
        return;
    if (active_slot_ == kNoIndexSlot) {
        StoreU32(bookmark, record_number_);
        return;
    }
    if (position_.Valid() && position_.Entry <= leaf_->EntryCount())
        std::memcpy(bookmark, leaf_->Key(position_.Entry), size);
}

bool TDataCursor::GotoBookmark(const uint8_t* bookmark, bool keep_crack, bool inside_bracket) {
    auto go = [&] {
        if (active_slot_ == kNoIndexSlot) {
            uint32_t slots = table_->DataFile().PhysicalCount();
            record_number_ = slots == 0 ? 0 : std::clamp<uint32_t>(LoadU32(bookmark), 1, slots);
            bof_ = eof_ = slots == 0;
        } else {
            SeekPosition(bookmark, true, keep_crack, 0);
        }
        LoadCurrentRecord(1);
        FindVisible(1);
        if (keep_crack)
            return true;
        std::vector<uint8_t> here(BookmarkSize());
        GetBookmark(here.data());
        return !(bof_ && eof_) && CompareBookmarks(here.data(), bookmark) == 0;
    };
    if (inside_bracket)
        return go();
    return Stable(go);
}

int TDataCursor::CompareBookmarks(const uint8_t* a, const uint8_t* b) const {
    if (active_slot_ == kNoIndexSlot) {
        uint32_t x = LoadU32(a);
        uint32_t y = LoadU32(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return keys_->CompareKeys(a, b, keys_->KeyLength());
}

} // namespace zolvek
