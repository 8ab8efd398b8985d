// The engine datasets: TZOLVEKBaseDataSet puts the generic dataset on an engine cursor (record
// buffer layout, field definitions from the table's descriptors, field values between the field
// objects and the engine's record image, blob streams) and TZOLVEKDataSet adds what a table
// dataset does with its cursor: opening and closing, the record fetch, navigation, bookmarks,
// counts, filters, locate and the find operations, and editing with the engine's locks.
// Thread-safety: none; a dataset and its cursor belong to one thread. Lifetime: the dataset owns
// its cursor from open to close; subclasses provide the cursor (CreateCursor) and release what
// they acquired for it (DestroyCursor).
#pragma once

#include "db/dataset/dataset.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zolvek {

class TDataCursor;
class TFilter;
struct FieldDescriptor;

// A field definition read from (or written to) a table, with the engine's own attributes.
class TZOLVEKFieldDef : public TFieldDef {
public:
    using TFieldDef::TFieldDef;
    std::string DefaultValue;
    std::string MinValue;
    std::string MaxValue;
    std::string Description;
    uint8_t CharCase = 0; // TFieldCharCase: fcNoChange, fcLowerCase, fcUpperCase
    uint8_t Compression = 0; // zlib level 1..9 of a BLOB field
};

// The dataset type of an engine field (`size` gets the definition's Size); ftUnknown for the
// codes without a mapping, which make no field definition.
TFieldType FieldTypeOf(const FieldDescriptor& descriptor, int32_t& size);

class TZOLVEKBaseDataSet : public TDataSet {
public:
    ~TZOLVEKBaseDataSet() override;

    // The engine cursor while open.
    TDataCursor* Cursor() const { return cursor_.get(); }
    // A TZOLVEKBlobStream over the field of the active record of the current state.
    std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;

protected:
    TZOLVEKBaseDataSet() = default;

    // Record buffer layout, computed at open and after an index change:
    //   0                   record image (RecordSize of the cursor)
    //   calc_offset_        calculated fields: per field a null-flag byte (1 = present), value
    //   info_offset_        sequence number, int32 (RecNo; 0 for a new record)
    //   info_offset_ + 4    bookmark flag, uint8 (TBookmarkFlag)
    //   info_offset_ + 5    bookmark (BookmarkSize of the cursor's active index)
    void ComputeBufferLayout();
    size_t GetRecordBufferSize() const override { return buffer_size_; }
    void InternalInitRecord(uint8_t* buffer) override;
    TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override;
    void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) override;
    TBookmark GetBookmarkData(const uint8_t* buffer) const override;
    void SetBookmarkData(uint8_t* buffer, const TBookmark& bookmark) override;
    void ClearCalcFields(uint8_t* buffer) override;
    int32_t GetRecNo(const uint8_t* buffer) const override;
    void SetRecNoOf(uint8_t* buffer, int32_t recno);
    // Stores the cursor's bookmark of its current record into `buffer`.
    void StoreCursorBookmark(uint8_t* buffer);

    // The old-record buffer in old-value, the set-key buffer in set-key (KeyRecordBuffer),
    // otherwise the generic choice.
    uint8_t* GetActiveRecordBuffer() override;
    virtual uint8_t* KeyRecordBuffer() { return nullptr; }
    bool GetFieldData(const TField& field, const uint8_t* record, uint8_t* value) const override;
    void SetFieldData(TField& field, uint8_t* record, const uint8_t* value) override;
    // A further check of a field write in set-key (TZOLVEKDataSet: the field is a key field).
    virtual void CheckKeyField(const TField&) { }
    bool IsCursorOpen() const override { return cursor_ != nullptr; }
    // One definition per field descriptor of `cursor` that has a dataset type.
    void ReadFieldDefs(const TDataCursor& cursor);

    // Blob fields of the record being edited whose value holds pending changes.
    bool BlobModified(int32_t field_no) const;
    void SetBlobModified(int32_t field_no);
    void ClearBlobModified() { modified_blobs_.clear(); }
    // Closes every BLOB of `buffer` that is open in the cursor, pending changes included, so
    // that the buffer holds block references again.
    void CloseRecordBlobs(uint8_t* buffer);

    std::unique_ptr<TDataCursor> cursor_;
    size_t record_size_ = 0;
    size_t bookmark_size_ = 0;
    size_t calc_offset_ = 0;
    size_t info_offset_ = 0;
    size_t buffer_size_ = 0;
    // The record as it was when editing began (blank or copied for a new record).
    std::vector<uint8_t> old_record_;

    // The engine descriptor of a data field ("Field index out of range" for a number the
    // table does not have).
    const FieldDescriptor& DescriptorOf(const TField& field) const;

private:
    friend class TZOLVEKBlobStream;

    std::vector<int32_t> modified_blobs_;
    mutable std::vector<uint8_t> field_value_;
};

class TZOLVEKDataSet : public TZOLVEKBaseDataSet {
public:
    ~TZOLVEKDataSet() override;

    // When true, each data field's display label is the field's description in the table,
    // unless that is empty.
    bool AutoDisplayLabels = false;
    // When true, a new record starts as a copy of the record that was current.
    bool CopyOnAppend = false;

    // ---- Filters ----
    // While the dataset is open and filtered, a new filter text or new options leave any edit,
    // replace the expression filter in the cursor and move to the first record (a text that
    // does not parse raises the engine's error and changes nothing); otherwise they are only
    // stored. Filtered installs or removes the filters and always moves to the first record.
    // OnFilterRecord becomes a callback filter evaluated after the expression filter, on the
    // records that one accepts; an error in the handler is reported (HandleException) and the
    // record keeps the accept value of that moment.
    void SetFilter(const std::string& text) override;
    void SetFiltered(bool filtered) override;
    void SetFilterOptions(TFilterOptions options) override;
    void SetOnFilterRecord(TFilterRecordEvent handler) override;

    // ---- Search ----
    // Locate: the first record of the view whose fields hold the values ("No fields specified
    // for locate", "Too many fields for locate", "Blob field '%s' not allowed in locate or
    // lookup", "Field '%s' not found"); found, it becomes the current record, centred in the
    // window; not found, the current record stays.
    bool Locate(const std::string& key_fields, const std::vector<TVariant>& values,
        TLocateOptions options) override;
    using TDataSet::Locate;
    // The result fields' values of the first match, without moving; empty when none matches.
    std::vector<TVariant> Lookup(const std::string& key_fields, const std::vector<TVariant>& values,
        const std::string& result_fields) override;
    // The next record of the filtered view from the first, last or current record, with the
    // filters in force even while Filtered is false; found, it becomes the current record.
    bool FindFirst() override { return FindRecord(true, true); }
    bool FindLast() override { return FindRecord(true, false); }
    bool FindNext() override { return FindRecord(false, true); }
    bool FindPrior() override { return FindRecord(false, false); }

    // ---- Cached updates: not part of this engine ----
    bool CachedUpdates() const { return false; }
    // True raises "Capability not supported".
    void SetCachedUpdates(bool value);
    void ApplyUpdates();
    void CommitUpdates();
    void CancelUpdates();

    // The key fields of the active index (engine field numbers; pseudo-fields negative).
    const std::vector<int32_t>& KeyFieldNumbers() const { return key_fields_; }

    // ---- Keys and ranges on the active index ----
    // SetKey enters the set-key state with an empty search key (EditKey keeps the last one):
    // the active index's key fields then take the values to look for ("Field '%s' is not in
    // the current index" for other fields), and Post, Cancel or the search ends it. An index
    // led by RecordID or RecordHash raises "Cannot access index field '%s'".
    void SetKey();
    void EditKey();
    // Moves to the first record whose leading key fields (those given a value) equal the key;
    // false leaves the current record where it was.
    bool GotoKey();
    // Moves to the first record at or after the key.
    void GotoNearest();
    // SetKey, the values for the leading key fields in order, GotoKey (GotoNearest).
    bool FindKey(const std::vector<TVariant>& values);
    void FindNearest(const std::vector<TVariant>& values);
    // The start and end keys of a range (set-key state, as SetKey); ApplyRange limits the view
    // to the records whose leading key fields lie between them (a key without values leaves
    // that side open) and moves to the first; CancelRange shows all records again.
    void SetRangeStart();
    void SetRangeEnd();
    void EditRangeStart();
    void EditRangeEnd();
    void ApplyRange();
    void CancelRange();
    void SetRange(
        const std::vector<TVariant>& start_values, const std::vector<TVariant>& end_values);

protected:
    TZOLVEKDataSet() = default;

    // ---- Provided by subclasses ----

    // Opens and returns the engine cursor (its table open); raises on failure, having released
    // what it acquired.
    virtual std::unique_ptr<TDataCursor> CreateCursor() = 0;
    // Releases what CreateCursor acquired; called after the cursor was closed, also after a
    // failed or partial open.
    virtual void DestroyCursor() { }
    // The read-only setting of the subclass (may modify only when false).
    virtual bool ReadOnlySetting() const { return false; }
    // The index to select at open ("" the primary index).
    virtual std::string OpenIndexName() { return {}; }

    // ---- Hooks of the generic dataset ----

    void InternalOpen() override;
    void InternalClose() override;
    void InternalInitFieldDefs() override;
    // Reads the field definitions through a cursor of the subclass while closed.
    virtual void InitFieldDefsClosed() = 0;
    TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalGotoBookmark(const TBookmark& bookmark) override;
    void InternalRefresh() override;
    bool InternalSetRecNo(int32_t recno) override;
    int32_t GetRecordCount() const override;
    bool IsSequenced() const override;
    bool InternalBookmarkValid(const TBookmark& bookmark) override;
    int InternalCompareBookmarks(const TBookmark& a, const TBookmark& b) override;
    bool GetCanModify() const override { return can_modify_; }
    void InternalEdit() override;
    void InternalInsert() override;
    void InternalPost() override;
    void InternalCancel() override;
    void InternalDelete() override;
    std::string NotEditingMessage() const override;
    uint8_t* KeyRecordBuffer() override;
    void CheckKeyField(const TField& field) override;
    void EndSetKey(bool commit) override;
    void DoBeforeInsert() override;
    void DoOnNewRecord() override;

    // ---- Services for the table ----

    // Leaves any edit, selects `index_name` in the cursor with the active record kept current,
    // re-lays the buffers for the new bookmark size and re-reads the window around the record.
    // Requires an open dataset.
    void SwitchToIndex(const std::string& index_name);
    // The active index's key fields, from the cursor.
    void ReadKeyFields();

    bool can_modify_ = false;
    std::vector<int32_t> key_fields_;

private:
    // Filters (dataset_filters.cpp).
    TFilter* BuildExpressionFilter(const std::string& text, TFilterOptions options);
    TFilter* BuildCallbackFilter();
    // Replaces the filter of a slot; the new one is activated while filtering.
    void PlaceFilter(TFilter*& slot, TFilter* filter);
    void InstallFilters();
    void RemoveFilters();
    void SetFilterData(const std::string& text, TFilterOptions options);
    bool FilterCallback(const uint8_t* record, size_t size);
    // Locate's search into the temporary buffer, which then holds the found record.
    bool LocateInTempBuffer(
        const std::string& key_fields, const std::vector<TVariant>& values, TLocateOptions options);
    // The window re-read around the cursor's record; false when the record is gone (8709).
    bool ResyncFound();
    bool FindRecord(bool restart, bool forward);

    TFilter* expression_filter_ = nullptr;
    TFilter* callback_filter_ = nullptr;
    // The filters are in force for one find while Filtered is false.
    bool find_filters_ = false;
    // The record a callback filter shows to OnFilterRecord (a whole record buffer).
    std::vector<uint8_t> filter_record_;

    // The search key, the keys of the range being set and of the one applied, and the copy
    // that Cancel restores in the set-key state: each the count of key fields given and a
    // record buffer that holds their values.
    enum TKeyIndex : uint8_t {
        kiLookup,
        kiRangeStart,
        kiRangeEnd,
        kiCurRangeStart,
        kiCurRangeEnd,
        kiSave,
        kiCount
    };
    struct TKeyBuffer {
        int32_t field_count = 0;
        std::vector<uint8_t> record;
    };
    void ResetKeyBuffers();
    void BeginSetKey(TKeyIndex index, bool clear);
    void SetKeyValues(const std::vector<TVariant>& values);
    int32_t GivenKeyFields(const uint8_t* record) const;
    bool SeekLookupKey(bool nearest);

    std::array<TKeyBuffer, kiCount> keys_;
    TKeyIndex key_index_ = kiLookup;
    // The bookmark of the record that was current when Append or Insert began (CopyOnAppend).
    TBookmark insert_origin_;
};

} // namespace zolvek
