// TDataSet, the generic dataset: the state machine (browse, edit, insert, set-key and the
// temporary calc-fields, filter and old-value states) with its Before/After and error events,
// the window of record buffers that it fills by fetching the current, next and previous record
// through its subclass and re-synchronises around the cursor, navigation, bookmarks, the field
// objects, the filter properties, and the notifications of its data sources and data links.
// The subclass owns the cursor and the record buffer layout; it implements the virtual hooks
// below, each documented with when it is called and what it must do.
// Thread-safety: none; a dataset, its fields and its links belong to one thread. Lifetime: the
// dataset owns its fields and record buffers; a subclass must call Close() in its destructor
// (catching what it raises), because hooks cannot be called once the subclass is gone. Event
// handlers must not navigate while the dataset is in a temporary state (filter, calc-fields).
#pragma once

#include "db/dataset/blob_stream.h"
#include "db/dataset/dataset_errors.h"
#include "db/dataset/field_defs.h"
#include "db/dataset/fields.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

class TDataSource;
class TDataLink;

enum TDataSetState : uint8_t {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening,
};

// How GetRecord moves: read the cursor's record, or step forward or back and read.
enum TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
// What GetRecord found: a record, the crack before the first or after the last, or a failure.
enum TGetResult : uint8_t { grOK, grBOF, grEOF, grError };
// What a record buffer holds: a fetched record, the crack before the first or after the last
// record (the place where Append and Insert on an empty view put their new buffer), or a new
// record.
enum TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };
// An error event's choice: let the error pass, abort silently (EAbort), or run the step again.
enum TDataAction : uint8_t { daFail, daAbort, daRetry };

enum TDataEvent : uint8_t {
    deFieldChange, // a field of the active record changed
    deRecordChange, // the active record was replaced in place (Edit)
    deDataSetChange, // the window's contents changed
    deDataSetScroll, // the window scrolled
    deLayoutChange, // the fields changed
    deUpdateRecord, // controls must write pending edits into the fields
    deUpdateState, // the state changed
    deCheckBrowseMode, // the dataset is about to leave an editing state
};

enum TResyncModeFlag : uint8_t { rmExact = 1, rmCenter = 2 };
using TResyncMode = uint8_t;

enum TFilterOption : uint8_t { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using TFilterOptions = uint8_t;

enum TLocateOption : uint8_t { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = uint8_t;

// A record's bookmark: opaque bytes made by the subclass; empty means none.
using TBookmark = std::vector<uint8_t>;

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TDataSetErrorEvent = std::function<void(TDataSet&, const EDatabaseError&, TDataAction&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    // ---- Opening and state ----

    // BeforeOpen, open the cursor and the fields, fill the window from the first record,
    // browse, AfterOpen, AfterScroll (unless empty). A failure leaves the dataset closed.
    void Open();
    // BeforeClose, end a pending edit, insert or set-key without posting, close the cursor,
    // free default fields and buffers, AfterClose. Closing a closed dataset does nothing.
    void Close();
    bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
    void SetActive(bool active);
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }
    bool CanModify() const { return GetCanModify(); }

    // ---- Navigation ----

    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves up to `distance` records (negative: back) and returns how far it moved.
    int32_t MoveBy(int32_t distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return record_count_ == 0; }
    // The active record's 1-based position in the view; 0 for an empty view or a new record.
    int32_t RecNo() const;
    // Browse mode; the same value does nothing; otherwise BeforeScroll, InternalSetRecNo,
    // the window re-read around the record (centred), AfterScroll.
    void SetRecNo(int32_t recno);
    // The records of the view (GetRecordCount); requires an open dataset.
    int32_t RecordCount() const;
    // Whether RecNo and RecordCount can place a scroll bar (IsSequenced hook).
    bool Sequenced() const { return IsSequenced(); }

    // ---- Editing ----

    // Leave any edit, refuse an unmodifiable dataset ("Cannot modify a read-only dataset"),
    // BeforeInsert, BeforeScroll, a new record after the last one (Append) or before the
    // active one (Insert), insert state, OnNewRecord (an error there drops the new record),
    // AfterInsert, AfterScroll.
    void Append();
    void Insert();
    // Nothing in edit or insert; on an empty view it inserts instead.
    void Edit();
    // In edit and insert: UpdateRecord, BeforePost, InternalPost (OnPostError), browse, the
    // window re-read, AfterPost. In set-key: EndSetKey(true). Elsewhere raises the
    // not-editing text.
    virtual void Post();
    // In edit and insert: BeforeCancel, InternalCancel, browse, the window re-read,
    // AfterCancel. In set-key: EndSetKey(false). Elsewhere nothing.
    virtual void Cancel();
    // Cancels in insert and set-key; on an empty view raises "Cannot perform this operation on
    // an empty dataset"; otherwise BeforeDelete, BeforeScroll, InternalDelete (OnDeleteError),
    // browse, the window re-read around the neighbour, AfterDelete, AfterScroll.
    void Delete();
    // BeforeRefresh, leave any edit, InternalRefresh, the window re-read, AfterRefresh.
    void Refresh();
    // Open required; a modified edit or insert is posted, an unmodified one cancelled, a
    // set-key state posted.
    void CheckBrowseMode();
    // Asks the controls (deUpdateRecord) to write their pending edits into the fields.
    void UpdateRecord();
    // Append (Insert) a record with `values` for the fields in order, then Post; a failed post
    // leaves the new record in the insert state, as Post does.
    void AppendRecord(const std::vector<TVariant>& values);
    void InsertRecord(const std::vector<TVariant>& values);

    // While disabled, links receive no notifications; enabling sends one state change (if the
    // state differs) and one data set change.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disable_count_ > 0; }

    // ---- Bookmarks ----

    // The active record's bookmark; empty when there is none (closed, empty, a new record).
    TBookmark GetBookmark() const;
    // BeforeScroll, InternalGotoBookmark, the window re-read around the record (centred;
    // "Record not found" when it is gone), AfterScroll. An empty bookmark does nothing.
    void GotoBookmark(const TBookmark& bookmark);
    // Whether the bookmark's record still exists.
    bool BookmarkValid(const TBookmark& bookmark);
    // -1, 0 or 1; an empty bookmark is smaller than any other, two empty ones are equal.
    int CompareBookmarks(const TBookmark& a, const TBookmark& b);

    // ---- Filter properties (the subclass applies them; see the setters) ----

    const std::string& Filter() const { return filter_text_; }
    bool Filtered() const { return filtered_; }
    TFilterOptions FilterOptions() const { return filter_options_; }
    const TFilterRecordEvent& OnFilterRecord() const { return on_filter_record_; }
    // Generic behaviour: store the value; when the dataset is open and filtered (for
    // SetFiltered: open), leave any edit first (CheckBrowseMode) and move to the first record
    // afterwards. A subclass that filters in its cursor overrides these, installs or removes
    // its filters, and stores through the protected members.
    virtual void SetFilter(const std::string& text);
    virtual void SetFiltered(bool filtered);
    virtual void SetFilterOptions(TFilterOptions options);
    virtual void SetOnFilterRecord(TFilterRecordEvent handler);

    // ---- Search ----

    // Moves to the first record whose fields (names separated by semicolons) hold `values`
    // (one value, or one per field); false leaves the current record. The generic dataset
    // raises "Capability not supported".
    virtual bool Locate(
        const std::string& key_fields, const std::vector<TVariant>& values, TLocateOptions options);
    bool Locate(const std::string& key_fields, const TVariant& value, TLocateOptions options) {
        return Locate(key_fields, std::vector<TVariant> { value }, options);
    }
    // The values of `result_fields` of the first record that matches, one per field, without
    // moving; empty when none matches. The generic dataset raises "Capability not supported".
    virtual std::vector<TVariant> Lookup(const std::string& key_fields,
        const std::vector<TVariant>& values, const std::string& result_fields);
    // Search with the filters in force even while Filtered is false; the generic dataset finds
    // nothing.
    virtual bool FindFirst() { return false; }
    virtual bool FindLast() { return false; }
    virtual bool FindNext() { return false; }
    virtual bool FindPrior() { return false; }

    // ---- Fields ----

    TFields& Fields() { return fields_; }
    const TFields& Fields() const { return fields_; }
    TFieldDefs& FieldDefs() { return field_defs_; }
    TField* FindField(std::string_view name) const { return fields_.FindField(name); }
    TField& FieldByName(std::string_view name) const { return fields_.FieldByName(name); }
    // The fields named in a semicolon-separated list; raises "Field '%s' not found".
    std::vector<TField*> GetFieldList(std::string_view names) const;
    // Adds a persistent field; requires a closed dataset and a name not yet used.
    TField& AddField(std::unique_ptr<TField> field);
    template <class F, class... Args> F& AddField(Args&&... args) {
        return static_cast<F&>(AddField(std::make_unique<F>(std::forward<Args>(args)...)));
    }
    // True when the fields were created from FieldDefs at open (no persistent fields).
    bool DefaultFields() const { return default_fields_; }
    // Re-computes calculated fields whenever a data field of the active record changes.
    bool AutoCalcFields = true;

    // A stream over a memo or BLOB field of the current record (see TBlobField). The generic
    // dataset raises "Capability not supported".
    virtual std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

    // ---- Events ----

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnCalcFields, OnNewRecord;
    TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

    // ---- The window, for data links and subclasses ----

    // Record buffers in the window (the largest BufferCount of the links, at least 1; 0 while
    // closed), records held in it, and the index of the active one.
    int32_t BufferCount() const { return buffer_count_; }
    int32_t WindowRecordCount() const { return record_count_; }
    int32_t ActiveRecord() const { return active_record_; }
    // The buffer of window slot `index` (0 <= index <= BufferCount; the last is the spare).
    uint8_t* Buffer(int32_t index) const { return buffers_.at(size_t(index)).get(); }
    // Requires: an open dataset.
    uint8_t* ActiveBuffer() const { return Buffer(active_record_); }
    // Re-reads the window around the cursor's record: rmExact raises "Record not found" when
    // the cursor has no record; rmCenter centres it, otherwise it keeps its row.
    void Resync(TResyncMode mode);
    // Forgets which window record the cursor is on; the next operation that needs the cursor
    // on the active record puts it there (InternalSetToRecord).
    void CursorPosChanged() { current_record_ = -1; }
    // Puts the cursor on the active record unless it is known to be there.
    void UpdateCursorPos();
    // For blob streams and controls: a field of the active record changed.
    void NotifyFieldChanged(TField& field) { DataEvent(deFieldChange, &field); }
    // Reports an error that cannot travel to a caller (InternalHandleException).
    void HandleException(std::exception_ptr error) noexcept;
    // The precondition of a write to a memo or BLOB field: a writable field ("Field '%s' cannot
    // be modified") and the edit, insert or set-key state (else the not-editing text).
    void CheckBlobWrite(const TField& field);
    // The buffer that field values are read from and written to in the current state: see
    // GetActiveRecordBuffer.
    uint8_t* ActiveRecordBuffer() { return GetActiveRecordBuffer(); }

    // Switches to a temporary state (calc-fields, filter, old-value, ...) with `state_buffer`
    // as the buffer of that state, and back on destruction. Modified and the data links are
    // left alone.
    class TTempState {
    public:
        TTempState(TDataSet& dataset, TDataSetState state, uint8_t* state_buffer = nullptr);
        ~TTempState();
        TTempState(const TTempState&) = delete;
        TTempState& operator=(const TTempState&) = delete;

    private:
        TDataSet& dataset_;
        TDataSetState saved_state_;
        uint8_t* saved_calc_buffer_;
        uint8_t* saved_filter_buffer_;
    };

protected:
    // ================= Hooks for the subclass =================
    //
    // Record buffers. The generic dataset allocates BufferCount + 1 buffers of
    // GetRecordBufferSize() bytes each (zero-filled), once per window slot, and never looks
    // inside them: it only hands them to the hooks below. A buffer keeps its address for its
    // life (window moves rotate buffers, they do not copy them). The subclass decides the
    // layout; it must keep in each buffer the record image, the calculated-field area of
    // CalcFieldsSize() bytes, the record's sequence number, its bookmark flag and its bookmark.

    // The size of one record buffer. Called after InternalOpen and by ReallocateBuffers.
    virtual size_t GetRecordBufferSize() const = 0;

    // Fetches a record into `buffer`: gmCurrent reads the cursor's current record, gmNext steps
    // forward one record and reads it, gmPrior steps back one record and reads it.
    // On grOK the buffer must hold the record, bookmark flag bfCurrent, its bookmark and
    // sequence number, and its calculated fields (call GetCalcFields(buffer)). grBOF and grEOF
    // leave the cursor on the crack before the first or after the last record (the buffer's
    // content does not matter). Other failures: raise when `do_check` is true (an engine
    // error passes through untouched), otherwise report grError. Called for window fills,
    // scrolling and Resync; the cursor stands where the previous call or the positioning
    // hooks left it.
    virtual TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) = 0;

    // Prepares `buffer` for a new record (defaults of the table, empty calculated fields are
    // cleared separately). The generic dataset then sets bookmark flag bfInserted; the
    // subclass should set the sequence number to 0. Called by Append and Insert in browse.
    virtual void InternalInitRecord(uint8_t* buffer) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const = 0;
    virtual void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) = 0;
    virtual TBookmark GetBookmarkData(const uint8_t* buffer) const = 0;
    // Insert stores the bookmark of the record the new one goes before.
    virtual void SetBookmarkData(uint8_t* buffer, const TBookmark& bookmark) = 0;
    // Empties the calculated-field area of `buffer` (all null). Called before OnCalcFields and
    // for new records. Default: nothing.
    virtual void ClearCalcFields(uint8_t* buffer);
    // The sequence number stored in `buffer` (1-based position in the view). Default -1.
    virtual int32_t GetRecNo(const uint8_t* buffer) const;

    // The buffer that fields use in the current state. Generic: the active window buffer in
    // browse (none when the view is empty), edit, insert and new-value; the calculation
    // buffer in calc-fields; the filter buffer in filter; none in every other state. A
    // subclass adds its own (the key buffer in set-key, the old-record buffer in old-value)
    // and calls this for the rest.
    virtual uint8_t* GetActiveRecordBuffer();

    // Field values. `record` is the buffer of the current state (never null). GetFieldData
    // copies the field's native value (TField::DataSize bytes, layout in fields.h) into
    // `value` unless it is null and returns false for a null field. For calculated fields
    // (FieldKind fkCalculated) the value lives in the buffer's calculated-field area at
    // field.Offset(): a null-flag byte (1 = present) and the value.
    virtual bool GetFieldData(const TField& field, const uint8_t* record, uint8_t* value) const = 0;
    // Stores the native value (null for `value` == nullptr) into `record`. Called only after
    // the generic checks of a field write: the state allows writing, a read-only data field is
    // refused outside set-key and filter, a data field is refused in calc-fields. It may
    // refuse further (a set-key write to a field outside the index). The generic dataset sends
    // the field-change notification afterwards.
    virtual void SetFieldData(TField& field, uint8_t* record, const uint8_t* value) = 0;

    // ---- Cursor ----

    virtual bool IsCursorOpen() const = 0;
    // Opens the cursor. Must call OpenFields() once the field definitions can be read (it
    // reads them through InternalInitFieldDefs, creates default fields when there are no
    // persistent ones and binds the fields), then compute the buffer layout (using
    // CalcFieldsSize()) and leave the cursor before the first record. On failure it raises;
    // the generic dataset then calls InternalClose, which must cope with a partial open.
    virtual void InternalOpen() = 0;
    // Closes the cursor; called with the state already inactive and the window still
    // allocated. Must not rely on the fields being bound.
    virtual void InternalClose() = 0;
    // Fills FieldDefs() from the table (Add for each field, FieldNo set). Called by
    // OpenFields and by FieldDefs().Update(), also on a closed dataset.
    virtual void InternalInitFieldDefs() = 0;
    // Put the cursor on the crack before the first, after the last record.
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    // Puts the cursor on the bookmark's record (or near it: GetRecord(gmCurrent) then reports
    // what it finds).
    virtual void InternalGotoBookmark(const TBookmark& bookmark) = 0;
    // Puts the cursor on the record of a window buffer (flag bfCurrent or bfInserted).
    // Default: InternalGotoBookmark(GetBookmarkData(buffer)).
    virtual void InternalSetToRecord(uint8_t* buffer);
    // Re-reads the table state (called by Refresh with the cursor on the active record; the
    // window is re-read afterwards). Default: nothing.
    virtual void InternalRefresh();
    // Positions the cursor on the record with sequence number `recno`; false when there is
    // none. Default raises "Capability not supported".
    virtual bool InternalSetRecNo(int32_t recno);
    // Records in the view. Default -1 (unknown).
    virtual int32_t GetRecordCount() const;
    // Whether RecNo and RecordCount are reliable for scroll positions. Default true.
    virtual bool IsSequenced() const;
    // Whether the bookmark's record still exists; may move the cursor. Default false.
    virtual bool InternalBookmarkValid(const TBookmark& bookmark);
    // Compares two non-empty bookmarks (-1, 0, 1; any other answer means equal). Default
    // raises "Capability not supported".
    virtual int InternalCompareBookmarks(const TBookmark& a, const TBookmark& b);
    // Reports an error that must not propagate (filter callback, blob stream notification).
    // Default: the application's error handler.
    virtual void InternalHandleException(std::exception_ptr error);

    // ---- Editing ----

    // Whether records may be changed. Default true.
    virtual bool GetCanModify() const;
    // Starts editing the active record (the cursor is on it): re-read and lock it. Runs
    // under OnEditError; on failure the dataset stays in browse. Default: nothing.
    virtual void InternalEdit();
    // Called after a new buffer was prepared, before the insert state begins. Default:
    // nothing.
    virtual void InternalInsert();
    // Writes the active buffer (state edit or insert; the cursor is on the active record or,
    // for a new one, where InternalSetToRecord put it). Must leave the cursor on the written
    // record: the window is re-read around it. Runs under OnPostError; on failure the state
    // and the buffer stay. Default: CheckRequiredFields() (an override calls it first).
    virtual void InternalPost();
    // Ends edit or insert without writing (release locks, drop pending BLOB changes); the
    // window is re-read afterwards. Default: nothing.
    virtual void InternalCancel();
    // Deletes the active record (the cursor is on it) and leaves the cursor on its neighbour.
    // Runs under OnDeleteError. Default raises "Capability not supported".
    virtual void InternalDelete();
    // Ends the set-key state: keep (commit) or restore the key buffer. The generic dataset
    // then returns to browse. Default: nothing.
    virtual void EndSetKey(bool commit);
    // The text of a field write or post outside the editing states. Default "Dataset not in
    // edit or insert mode".
    virtual std::string NotEditingMessage() const;

    // Window fills; overridable to bracket them (for example with a read-ahead hint), calling
    // the base. They return the number of records fetched.
    virtual int32_t GetNextRecords();
    virtual int32_t GetPriorRecords();

    // Event dispatch; overridable so that subclasses can add steps (the new-record step runs
    // in DoOnNewRecord and then calls the base, which fires OnNewRecord).
    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();
    virtual void DoBeforeInsert();
    virtual void DoAfterInsert();
    virtual void DoBeforeEdit();
    virtual void DoAfterEdit();
    virtual void DoBeforePost();
    virtual void DoAfterPost();
    virtual void DoBeforeCancel();
    virtual void DoAfterCancel();
    virtual void DoBeforeDelete();
    virtual void DoAfterDelete();
    virtual void DoBeforeScroll();
    virtual void DoAfterScroll();
    virtual void DoBeforeRefresh();
    virtual void DoAfterRefresh();
    virtual void DoOnNewRecord();

    // ================= Services for the subclass =================

    // Reads the field definitions, creates default fields when there are no persistent ones,
    // and binds every data field to its definition by name ("Field '%s' not found", type and
    // size mismatches raise). Calculated fields get their offsets; CalcFieldsSize() is valid
    // afterwards.
    void OpenFields();
    int32_t CalcFieldsSize() const { return calc_fields_size_; }
    bool HasCalcFields() const { return calc_fields_size_ > 0; }
    // Computes the calculated fields of `buffer` (ClearCalcFields, OnCalcFields in the
    // calc-fields state). Does nothing without calculated fields.
    void GetCalcFields(uint8_t* buffer);
    uint8_t* CalcBuffer() const { return calc_buffer_; }
    // A buffer outside the window's records (the spare slot) for work such as Locate and
    // Lookup; its content lasts until the next fetch.
    uint8_t* TempBuffer() const { return Buffer(record_count_); }
    uint8_t* FilterBuffer() const { return filter_buffer_; }
    // The record callback: OnFilterRecord for `record` in the filter state. Accept starts
    // true; an error in the handler is reported (HandleException) and keeps the accept value
    // it had. Returns true without a handler.
    bool RunFilterRecord(uint8_t* record);
    // Raises "Field '%s' must have a value" for the first required, writable, null data field.
    void CheckRequiredFields();
    // Frees and allocates the window's buffers again (after the buffer size changed, e.g. a
    // new bookmark size); the window is empty afterwards: follow with Resync. Browse only.
    void ReallocateBuffers();
    // Changes the state and tells the data links. Set-key begins with SetState(dsSetKey).
    void SetState(TDataSetState state);
    void CheckActive() const;
    void CheckInactive() const;
    void DataEvent(TDataEvent event, TField* field = nullptr, int32_t info = 0);

    // The filter properties, for overriding setters.
    std::string filter_text_;
    bool filtered_ = false;
    TFilterOptions filter_options_ = 0;
    TFilterRecordEvent on_filter_record_;

private:
    friend class TField;
    friend class TFieldDefs;
    friend class TDataSource;
    friend class TDataLink;

    // Field access from TField.
    bool ReadFieldData(const TField& field, uint8_t* value);
    void WriteFieldData(TField& field, const uint8_t* value);

    // Window mechanics.
    void SetBufferCount(int32_t count);
    void UpdateBufferCount();
    void FreeBuffers();
    void ClearBuffers();
    void ActivateBuffers();
    void MoveBuffer(int32_t from, int32_t to);
    void SetCurrentRecord(int32_t index);
    bool GetNextRecord();
    bool GetPriorRecord();
    void InitRecord(uint8_t* buffer);

    void BeginInsertAppend();
    void EndInsertAppend();
    void SetFields(const std::vector<TVariant>& values);
    void CheckCanModify() const;
    void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& error_event);
    void UnbindFields();
    void UpdateCalcFields();
    void AddDataSource(TDataSource* source);
    void RemoveDataSource(TDataSource* source);
    void NotifyLinks(TDataEvent event, TField* field, int32_t info);
    static void Fire(const TDataSetNotifyEvent& event, TDataSet& dataset);

    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool default_fields_ = false;
    TFields fields_;
    TFieldDefs field_defs_;
    int32_t calc_fields_size_ = 0;

    // The window: buffers_[0 .. buffer_count_] (the last one is the spare that fetches go
    // into), record_count_ records from index 0, active_record_ the active one,
    // current_record_ the one the cursor stands on (-1 unknown).
    std::vector<std::unique_ptr<uint8_t[]>> buffers_;
    size_t record_buffer_size_ = 0;
    int32_t buffer_count_ = 0;
    int32_t record_count_ = 0;
    int32_t active_record_ = 0;
    int32_t current_record_ = -1;
    bool bof_ = true;
    bool eof_ = true;

    uint8_t* calc_buffer_ = nullptr;
    uint8_t* filter_buffer_ = nullptr;

    int32_t disable_count_ = 0;
    TDataSetState disable_state_ = dsInactive;
    TDataEvent enable_event_ = deDataSetChange;

    std::vector<TDataSource*> data_sources_;
};

} // namespace zolvek
