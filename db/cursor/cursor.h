// TDataCursor: one client's view of one table — open and close, the active index, a position
// with crack semantics (before the first, on a record, after the last), moves, sequence numbers,
// counts and bookmarks; ranges, filters and the record counts of the view; finding records by
// value; record buffers and field access; BLOB access; and the changes of records with index
// and BLOB maintenance. Changes of other cursors and processes are noticed through the table's
// change stamp and the cursor re-synchronises its position and its filters.
// Thread-safety: a cursor belongs to one thread at a time. Lifetime: created on a directory of
// a session; it holds the shared table object from OpenTable to CloseTable.
#pragma once

#include "db/base/errors.h"
#include "db/base/records_bitmap.h"
#include "db/base/safe_object.h"
#include "db/cursor/cursor_blobs.h"
#include "db/cursor/cursor_filters.h"
#include "db/cursor/filter_optimizer.h"
#include "db/expr/expr_eval.h"
#include "db/storage/btree.h"
#include "db/storage/index_keys.h"
#include "db/storage/index_page.h"
#include "db/storage/table.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace zolvek {

class TDataDirectory;

class TDataCursor : public TSafeObject, public TUnitRequester, private TFilterHost {
public:
    TDataCursor(TDataDirectory& directory, std::string table_name);
    ~TDataCursor() override;
    TDataCursor(const TDataCursor&) = delete;
    TDataCursor& operator=(const TDataCursor&) = delete;

    // Set before OpenTable.
    bool Exclusive = false;
    bool ReadOnly = false;

    // ---- Open, close, index ----
    void OpenTable();
    void CloseTable();
    bool IsOpen() const { return table_ != nullptr; }
    TDataTable& Table() const { return *table_; }
    const std::string& TableName() const { return table_name_; }
    // "" is the primary index; an unknown name raises 10022.
    void SelectIndex(const std::string& index_name);
    uint8_t ActiveIndex() const { return active_slot_; }
    const TIndexKeyInfo& ActiveKeys() const { return *keys_; }

    // ---- Navigation; read operations return 0, 8705, 8706 or 8709 ----
    void MoveFirst();
    void MoveLast();
    EngineCode ReadNext(uint8_t* buffer);
    EngineCode ReadPrior(uint8_t* buffer);
    // With `lock`, starts an edit: locks the record (pessimistic protocol) and checks that the
    // caller's copy is still the stored record (8708 otherwise).
    EngineCode ReadCurrent(uint8_t* buffer, bool lock = false);
    // Positions count in the whole active index: with filters active they also count the
    // records the filters hide, and MoveToSequence onto a hidden one lands on the next visible.
    int32_t SequenceNumber() const;
    bool MoveToSequence(int32_t n);
    // The records of the view: with filters active the set bits of the combined bitmap. Like
    // every count it first brings the view up to date with the table.
    int32_t RecordCount();
    int32_t TableRecordCount() const;
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    uint32_t CurrentRecordNumber() const { return record_number_; }

    size_t BookmarkSize() const;
    void GetBookmark(uint8_t* bookmark) const;
    bool GotoBookmark(
        const uint8_t* bookmark, bool keep_crack = false, bool inside_bracket = false);
    int CompareBookmarks(const uint8_t* a, const uint8_t* b) const;
    // Positions on `key` of the active index, compared over `length` bytes (0: the whole key).
    bool SeekKey(const uint8_t* key, bool nearest, bool keep_crack, size_t length = 0);
    void RefreshCursor();

    // A range on the active index: records whose keys lie between the key built from `start`
    // (its first `start_fields` key fields) and the one built from `end`; a null record buffer
    // leaves that side open. With `raw_keys` the buffers are ready keys instead.
    void SetCursorRange(bool raw_keys, const uint8_t* start, size_t start_fields,
        const uint8_t* end, size_t end_fields);
    void ClearCursorRange();
    bool RangeActive() const { return range_active_; }
    void CheckResult(EngineCode code, const std::string& message = {}) const;

    // ---- Filters (cursor_filters.cpp) ----
    // Creates an inactive filter and puts it in the list: a restricted one at the end, any
    // other in front of the first restricted one. A filter text is parsed, verified and bound
    // here; its errors (10051 with line and column) and the other failures leave the list, the
    // view and the position as they were: 9482 with 64 filters in the list, 10051 when the
    // definition holds no text, tree or callback. The cursor owns the filter.
    TFilter* CreateFilter(TFilterDefinition definition);
    // Marks the filter (nullptr: every filter) active and evaluates it over the table, then
    // recombines the view and stays on the current record when it is still in the view.
    // 10050 for a filter that is not in the list (as for the next two).
    void ActivateFilter(TFilter* filter = nullptr);
    // Marks it inactive (its bitmap is kept, and evaluated afresh when activated again).
    void DeactivateFilter(TFilter* filter = nullptr);
    // Takes it out of the list and frees it.
    void FreeFilter(TFilter* filter = nullptr);
    size_t FilterCount() const { return filters_.size(); }
    // On while a filter is active, and always in record-number order.
    bool FiltersActive() const { return filters_active_; }
    // Seconds the evaluation of the last ActivateFilter took.
    double FilterEvaluationSeconds() const { return filter_seconds_; }
    // Keys in the sorted key list of a small filtered view; 0 when none is built.
    size_t KeyListSize() const { return key_list_records_.size(); }

    // ---- Find and locate (cursor_locate.cpp) ----
    // Finds, within the view, the first record whose fields `fields` (1..128 field numbers)
    // hold the values that `values` (a record image) holds in them (a null field searches for
    // null): first in the order of an index that leads with those fields, else in the active
    // order. Texts compare ignoring case with `case_insensitive`; with `partial_length` p > 0
    // only the first p characters of the last field, a string, must match. Found: the cursor
    // stands on the record, which is copied into `result` (which may be `values`), and true.
    // Not found: false, the cursor where it was and `result` untouched. No values: false.
    bool LocateRecord(std::span<const int32_t> fields, const uint8_t* values, bool case_insensitive,
        size_t partial_length, uint8_t* result);
    // The first index (slot 0, 1, ...) whose first key fields are `fields` in that order and,
    // when one of them is a string, whose letter case handling is `case_insensitive`; -1 if none.
    int FindIndexForFields(std::span<const int32_t> fields, bool case_insensitive) const;

    // ---- Record buffers and field access ----
    size_t RecordSize() const;
    void ClearRecord(uint8_t* buffer) const;
    void InitNewRecord(uint8_t* buffer) const;
    // True when the field is null; `value` (PhysicalSize bytes) may be null.
    bool ReadFieldValue(int32_t field_no, const uint8_t* buffer, uint8_t* value) const;
    void WriteFieldValue(int32_t field_no, uint8_t* buffer, const uint8_t* value, size_t length,
        bool computed = false, bool empty_blob = false) const;
    EngineCode CopyCurrentRecord(uint8_t* buffer);
    const FieldDescriptor& GetFieldDescriptor(int32_t field_no) const;
    const FieldDescriptor& FindFieldDescriptor(const std::string& name) const;
    const std::vector<FieldDescriptor>& Fields() const;
    uint8_t IndexCount() const;
    const IndexDescriptor& GetIndexDescriptor(uint8_t slot) const;

    // ---- BLOB access ----
    size_t OpenBlobField(int32_t field_no, uint8_t* buffer, TBlobBuffer::TMode mode,
        bool table_numbering = false, bool temporary = false);
    size_t ReadBlobBytes(
        int32_t field_no, const uint8_t* buffer, size_t offset, uint8_t* destination, size_t count);
    void WriteBlobBytes(
        int32_t field_no, uint8_t* buffer, size_t offset, const uint8_t* source, size_t count);
    void TruncateBlobField(int32_t field_no, uint8_t* buffer, size_t size);
    size_t BlobFieldSize(int32_t field_no, const uint8_t* buffer);
    void CloseBlobField(int32_t field_no, uint8_t* buffer, bool table_numbering = false);
    void DiscardBlobChanges(uint8_t* buffer);
    TCursorBlobs& Blobs() { return *blobs_; }

    // ---- Changes ----
    void InsertRecord(uint8_t* buffer, bool reposition = true, bool hash = true,
        bool skip_unique = false, bool keep_autoinc = false, bool keep_record_number = false);
    void ModifyRecord(
        uint8_t* buffer, bool unlock = true, bool reposition = true, bool skip_unique = false);
    void UnlockCurrent();
    void DeleteRecord(uint8_t* buffer, bool reposition = true);
    // The digest of a record's field values (BLOB fields counted as empty).
    void ComputeRecordHash(uint8_t* record) const;

    // ---- TUnitRequester ----
    bool CheckTableChanged() override;
    uint32_t ReadAheadUnits(const TBufferedFile& file, int direction) override;

private:
    // ---- TFilterHost ----
    uint32_t FilterLocaleID() const override { return locale_id_; }
    uint32_t FilterRecordSlots() const override;
    size_t FilterRecordSize() const override { return RecordSize(); }
    const FieldDescriptor* FilterField(int32_t field_no) const override;
    uint8_t FilterIndexCount() const override { return IndexCount(); }
    const IndexDescriptor& FilterIndexDescriptor(uint8_t slot) const override;
    TIndexTree& FilterIndexTree(uint8_t slot) override;
    const TRecordsBitmap& FilterLiveRecords() override;
    void FilterScanRecords(TRecordsBitmap& bitmap, TExpToken& node, bool all_records) override;

    // Brackets one operation's reads: change check first, read lock released at the end.
    class TReadBracket {
    public:
        explicit TReadBracket(TDataCursor& cursor)
            : cursor_(cursor) {
            cursor_.BeginRead();
        }
        ~TReadBracket() {
            try {
                cursor_.EndRead();
            } catch (...) {
                // The lock goes with the process at the latest; nothing to report from here.
                NoteSwallowedFailure();
            }
        }

    private:
        TDataCursor& cursor_;
    };

    // Runs a read operation so that it works on one state of the table. Without strict change
    // detection the table is checked only when a unit is fetched from the file; when that
    // check finds it changed part way through, the caches were dropped and the table stays
    // read-locked until the operation ends. The operation then starts again from where the
    // cursor stood, on the table as it now is, which can no longer change under it.
    template <typename Body> auto Stable(Body body) -> decltype(body()) {
        TReadBracket bracket(*this);
        if (read_depth_ > 1)
            return body();
        start_record_ = record_number_;
        start_bof_ = bof_;
        start_eof_ = eof_;
        std::copy(current_.begin(), current_.end(), start_current_.begin());
        changed_in_operation_ = false;
        auto again = [&] {
            changed_in_operation_ = false;
            record_number_ = start_record_;
            bof_ = start_bof_;
            eof_ = start_eof_;
            std::copy(start_current_.begin(), start_current_.end(), current_.begin());
            Resynchronise();
        };
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            if (changed_in_operation_) {
                again();
                body();
            }
        } else {
            auto result = body();
            if (!changed_in_operation_)
                return result;
            again();
            return body();
        }
    }

    // Navigation internals.
    void SetActiveIndex(uint8_t slot);
    void BeginRead();
    void EndRead();
    void Resynchronise();
    void RecomputeView();
    void ComputeBounds();
    void Reposition();
    // SeekKey inside an operation that loads the record itself.
    bool SeekPosition(const uint8_t* key, bool nearest, bool keep_crack, size_t length);
    void SetEmptyView();
    bool GotoFirstOfView();
    bool GotoLastOfView();
    bool GotoEndOfView(bool first);
    bool StepOnce(bool forward);
    bool StepBy(int32_t n);
    void LoadCurrentRecord(int direction);
    bool IsVisible(uint32_t record, const uint8_t* image);
    void FindVisible(int direction);
    bool InRange(const uint8_t* key) const;
    // In the range and in the filters' key window.
    bool InView(const uint8_t* key) const;
    bool WindowActive() const;
    bool PositionOn(const TIndexPosition& position);
    void RememberCounters();
    bool CountersMoved() const;
    TIndexTree& Tree() const { return *tree_; }
    void RebuildRecreatedIndex();
    const FieldDescriptor& Field(int32_t field_no) const;
    [[noreturn]] void RaiseError(uint16_t code) const;
    uint8_t* Current() { return current_.data(); }

    // Filter internals (cursor_filters.cpp).
    using TRecordTest = std::function<bool(const uint8_t* image, uint32_t record)>;
    size_t FilterIndex(const TFilter* filter) const;
    bool AnyFilterActive() const;
    void SizeFilterBitmaps();
    void RecomputeFilters();
    void EvaluateFilter(TFilter& filter);
    void EvaluateAllFilters();
    void CompleteRestrictedFilters();
    void CombineFilters();
    void ComputeViewWindow();
    void AfterFilterChange();
    void ScanRecords(TRecordsBitmap& bitmap, const TRecordTest& accept, bool all_records);
    bool EvaluateRecord(TFilter& filter, const uint8_t* image, uint32_t record);
    bool FiltersAccept(uint32_t record, const uint8_t* image);
    void FiltersAfterWrite(uint32_t record);
    void FiltersAfterDelete(uint32_t record);
    bool LookupColumn(TExpToken& column) const;
    void ReadColumn(TExpToken& column, const uint8_t* image);
    // The sorted key list of a small view.
    void BuildKeyList();
    void ClearKeyList();
    bool UsingKeyList() const;
    const uint8_t* ListKey(size_t i) const { return key_list_.data() + i * key_list_width_; }
    bool PositionOnListEntry(size_t i);
    bool StepInKeyList(bool forward);
    bool GotoListEnd(bool first);
    bool SeekInKeyList(const uint8_t* key, bool nearest, size_t length);
    bool MoveToSequenceInKeyList(int32_t n);
    void RemoveFromKeyList(uint32_t record);
    void InsertIntoKeyList(uint32_t record, const uint8_t* image);

    // Locate internals (cursor_locate.cpp).
    bool LocateByIndex(uint8_t slot, std::span<const int32_t> fields, const uint8_t* values,
        size_t partial_length);
    bool LocateByFilter(std::span<const int32_t> fields, const uint8_t* values,
        bool case_insensitive, size_t partial_length);

    // Change internals (cursor_updates.cpp).
    class TWriteBracket;
    bool BeginWrite();
    void EndWrite();
    bool LockCursorRecord(uint32_t record);
    void UnlockCursorRecord(uint32_t record);
    void CommitChange(
        bool even_if_exclusive, bool trim, bool data_header, bool index_header, bool blob_header);
    void CheckWritable() const;
    void RollbackFailedChange();
    void AbandonChange(uint8_t saved_slot, const std::function<void()>& release_locks);
    void BeginChangeJournal();
    void EndChangeJournal();
    void FireTrigger(int event) const;

    // Header images as they were when the running change began.
    struct TChangeJournal {
        bool open = false;
        DataFileHeader data;
        IndexSlots index;
        BlobFileHeader blob;
    };
    TChangeJournal journal_;

    // The key parameters and tree of every index, for maintaining them all on each change.
    struct TSlotIndex {
        std::unique_ptr<TIndexKeyInfo> keys;
        std::unique_ptr<TIndexTree> tree;
    };
    TSlotIndex& SlotIndex(uint8_t slot);
    void ResetSlotIndexes();

    TDataDirectory& directory_;
    std::string table_name_;
    TDataTable* table_ = nullptr;
    std::vector<TSlotIndex> slot_indexes_;
    uint32_t locale_id_ = 0;

    uint8_t active_slot_ = 128;
    std::unique_ptr<TIndexKeyInfo> keys_;
    std::unique_ptr<TIndexTree> tree_;

    std::vector<uint8_t> current_;
    std::vector<uint8_t> old_copy_;
    std::vector<uint8_t> work_;
    std::vector<uint8_t> key_;
    std::vector<uint8_t> other_key_;

    // Position: a private copy of the current leaf, the entry in it, its ordinal, the record.
    std::unique_ptr<TPage> leaf_;
    TIndexPosition position_;
    uint32_t record_number_ = 0;
    uint32_t last_loaded_ = 0; // the record LoadCurrentRecord read last
    bool sequential_ = false; // and it followed the one before in the file
    bool bof_ = true;
    bool eof_ = true;

    // Range on the active index and the ordinals of the view.
    bool range_active_ = false;
    std::vector<uint8_t> range_start_;
    std::vector<uint8_t> range_end_;
    int64_t first_ordinal_ = 1;
    int64_t last_ordinal_ = 0;

    // Filters: the list in evaluation order, the combined bitmap of the active filters and
    // the range, its count, and the range's own bitmap.
    std::vector<std::unique_ptr<TFilter>> filters_;
    bool filters_active_ = false;
    TRecordsBitmap combined_;
    int32_t filtered_count_ = 0;
    TRecordsBitmap range_bitmap_;
    double filter_seconds_ = 0;
    // The keys of the active index between which every record the filters accept lies.
    bool window_active_ = false;
    uint8_t window_slot_ = kNoIndexSlot;
    std::vector<uint8_t> window_low_;
    std::vector<uint8_t> window_high_;
    // The live records during one evaluation (from the primary index), built when asked for.
    TRecordsBitmap live_;
    bool live_valid_ = false;
    bool scanning_ = false; // a record scan runs: records are read ahead
    std::vector<uint8_t> scan_image_; // the record a callback sees
    ReadColumnFunc read_column_;
    // Sorted key list: the keys of the active index of the records in the combined bitmap,
    // KeyLength bytes each, their record numbers, the slot they were built for and the entry
    // the cursor stands on.
    std::vector<uint8_t> key_list_;
    std::vector<uint32_t> key_list_records_;
    size_t key_list_width_ = 0;
    uint8_t key_list_slot_ = kNoIndexSlot;
    size_t key_list_pos_ = 0;

    uint32_t remembered_change_count_ = 0;
    int read_depth_ = 0;
    // A unit fetch of the running operation found the table changed (without strict change
    // detection the check runs only then); where the operation started, to start it again.
    bool changed_in_operation_ = false;
    bool resynchronising_ = false;
    uint32_t start_record_ = 0;
    bool start_bof_ = true;
    bool start_eof_ = true;
    std::vector<uint8_t> start_current_;
    bool edit_locked_ = false;
    uint32_t edit_record_ = 0;

    std::unique_ptr<TCursorBlobs> blobs_;
};

} // namespace zolvek
