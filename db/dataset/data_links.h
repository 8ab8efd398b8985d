// Data sources and data links: how views follow a dataset. A TDataSource connects one dataset
// to any number of TDataLinks; each link says how many records around the current one it
// shows (BufferCount), receives the dataset's notifications (active, state, window contents,
// scrolling, field and record changes, layout, requests to write pending edits) and reads
// the rows of its part of the dataset's window without moving the current record.
// TFieldDataLink serves a control bound to one field (a data-aware memo).
// Thread-safety: none; the dataset's thread. Lifetime: sources and links may be created and
// destroyed in any order relative to each other and to the dataset; each detaches itself.
#pragma once

#include "db/dataset/dataset.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zolvek {

class TDataSource {
public:
    explicit TDataSource(TDataSet* dataset = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TDataSet* DataSet() const { return dataset_; }
    void SetDataSet(TDataSet* dataset);
    // A disabled source shows its links an inactive dataset.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Whether a control's edit puts a browsing dataset into edit (Edit()).
    bool AutoEdit = true;
    // The dataset's state, or inactive without an enabled dataset.
    TDataSetState State() const { return state_; }
    // With AutoEdit, Edit() on a browsing dataset.
    void Edit();

    std::function<void(TDataSource&)> OnStateChange;
    // After every data event except state changes; the field for field changes, else null.
    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnUpdateData;

private:
    friend class TDataSet;
    friend class TDataLink;

    void DataEvent(TDataEvent event, TField* field, int32_t info);
    void UpdateState();
    void DatasetDestroyed();

    TDataSet* dataset_ = nullptr;
    bool enabled_ = true;
    TDataSetState state_ = dsInactive;
    std::vector<TDataLink*> links_;
};

class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return source_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const { return source_ ? source_->DataSet() : nullptr; }
    // Enabled source with an open dataset.
    bool Active() const { return active_; }
    // Active and the dataset in edit, insert or set-key.
    bool Editing() const { return editing_; }
    bool ReadOnly = false;

    // How many records around the current one this link shows (at least 1); the dataset's
    // window holds the largest count of its links.
    int32_t BufferCount() const { return buffer_count_; }
    void SetBufferCount(int32_t count);
    // The current record's row among this link's rows (0-based).
    int32_t ActiveRecord() const;
    // Makes row `row` the dataset's active record without moving the cursor or sending
    // notifications, so that field objects read that row. For reading only: restore the
    // previous row at once (TRowScope does both).
    void SetActiveRecord(int32_t row);
    // Rows this link can show now (records of the window from its first row, at most
    // BufferCount; 1 in set-key; 0 while inactive).
    int32_t RecordCount() const;
    // Asks the source to put the dataset into edit (AutoEdit) and returns Editing().
    bool Edit();
    // Calls UpdateData, marking the link as updating so that its own field writes do not
    // call RecordChanged back.
    void UpdateRecord();

    // Reads row `row` of a link: the dataset's active record is that row for the scope's life.
    class TRowScope {
    public:
        TRowScope(TDataLink& link, int32_t row)
            : link_(link)
            , saved_(link.ActiveRecord()) {
            link_.SetActiveRecord(row);
        }
        ~TRowScope() { link_.SetActiveRecord(saved_); }
        TRowScope(const TRowScope&) = delete;
        TRowScope& operator=(const TRowScope&) = delete;

    private:
        TDataLink& link_;
        int32_t saved_;
    };

protected:
    // Notifications; the defaults do nothing except where said.
    virtual void ActiveChanged();
    virtual void CheckBrowseMode();
    // The window's contents changed. Default: RecordChanged(nullptr).
    virtual void DataSetChanged();
    // The view moved `distance` rows towards the end (negative: towards the start); the rows
    // that stayed visible moved up by that many. Default: DataSetChanged().
    virtual void DataSetScrolled(int32_t distance);
    virtual void EditingChanged();
    virtual void LayoutChanged();
    // `field` of the current record changed, or the whole record (nullptr).
    virtual void RecordChanged(TField* field);
    // Write pending control edits into the fields (before a post).
    virtual void UpdateData();

private:
    friend class TDataSource;
    friend class TDataSet;

    void DataEvent(TDataEvent event, TField* field, int32_t info);
    void UpdateState();
    void UpdateRange();
    void SourceGone();

    TDataSource* source_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool updating_ = false;
    int32_t buffer_count_ = 1;
    // The window index of this link's first row.
    int32_t first_record_ = 0;
};

// A link for a control that shows one field of the current record.
class TFieldDataLink : public TDataLink {
public:
    const std::string& FieldName() const { return field_name_; }
    void SetFieldName(std::string name);
    // The field while active (looked up by name), else null.
    TField* Field() const { return field_; }
    // The control holds an edit not yet written to the field.
    bool Modified() const { return modified_; }
    void SetModified() { modified_ = true; }
    // Shows the field's value again (OnDataChange) and drops the control's pending edit.
    void Reset() { RecordChanged(nullptr); }
    // The field can take a value from the control.
    bool CanModify() const;

    std::function<void()> OnDataChange; // show the field's value
    std::function<void()> OnEditingChange; // Editing() changed
    std::function<void()> OnUpdateData; // write the control's value into the field
    std::function<void()> OnActiveChange;

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;

private:
    void UpdateField();

    std::string field_name_;
    TField* field_ = nullptr;
    bool modified_ = false;
};

} // namespace zolvek
