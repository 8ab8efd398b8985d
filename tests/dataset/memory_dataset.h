// A dataset over an in-memory list of records for the tests of the generic dataset: rows kept
// in the order of an integer key (the first field), bookmarks by row identity, OnFilterRecord
// applied while navigating, memo fields through a blob stream with pending changes per record
// buffer, and a count of every hook call. A synthetic mode serves a large table without
// storing it.
#pragma once

#include "db/base/bytes.h"
#include "db/dataset/data_links.h"
#include "db/dataset/dataset.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zolvek::testing {

struct TMemoryRow {
    uint32_t row_id = 0;
    // Native value of each field (memo fields: the text); nullopt for null.
    std::vector<std::optional<std::string>> values;
};

struct TColumn {
    std::string name;
    TFieldType type;
    int32_t size = 0;
    bool required = false;
};

inline std::string NativeInt32(int32_t value) {
    std::string native(4, '\0');
    StoreI32(reinterpret_cast<uint8_t*>(native.data()), value);
    return native;
}

inline std::string NativeString(std::string_view text, int32_t size) {
    std::string native(size_t(size) + 1, '\0');
    std::memcpy(native.data(), text.data(), std::min(text.size(), size_t(size)));
    return native;
}

inline std::string NativeDouble(double value) {
    std::string native(8, '\0');
    StoreDouble(reinterpret_cast<uint8_t*>(native.data()), value);
    return native;
}

inline std::string NativeBool(bool value) {
    std::string native(2, '\0');
    StoreU16(reinterpret_cast<uint8_t*>(native.data()), value ? 1 : 0);
    return native;
}

struct THookCounts {
    int get_current = 0;
    int get_next = 0;
    int get_prior = 0;
    int set_to_record = 0;
    int goto_bookmark = 0;
    int first = 0;
    int last = 0;
    int init_record = 0;
    int edit = 0;
    int insert = 0;
    int post = 0;
    int cancel = 0;
    int remove = 0;
    int refresh = 0;
    int open = 0;
    int close = 0;

    int Fetches() const { return get_current + get_next + get_prior; }
};

class TMemoryDataSet : public TDataSet {
public:
    explicit TMemoryDataSet(std::vector<TColumn> columns)
        : columns_(std::move(columns)) {
        for (const TColumn& column : columns_)
            native_sizes_.push_back(NativeSize(column));
    }
    ~TMemoryDataSet() override {
        try {
            Close();
        } catch (...) { }
    }

    // The standard table: ID integer (the key), NAME string(10), AMOUNT float, BORN date,
    // ACTIVE boolean, NOTE memo.
    static std::vector<TColumn> StandardColumns() {
        return { { "ID", ftInteger, 0, true }, { "NAME", ftString, 10 }, { "AMOUNT", ftFloat },
            { "BORN", ftDate }, { "ACTIVE", ftBoolean }, { "NOTE", ftMemo } };
    }

    // A row of the standard table: AMOUNT id * 1.5, BORN 1 January 2000 + id, ACTIVE odd ids.
    void AddRow(int32_t id, std::string_view name, std::optional<std::string> note = {}) {
        TMemoryRow row;
        row.row_id = ++last_row_id_;
        row.values = { NativeInt32(id), NativeString(name, 10), NativeDouble(id * 1.5),
            NativeInt32(730120 + id), NativeBool(id % 2 == 1), std::move(note) };
        InsertSorted(std::move(row));
    }

    // Serves `count` rows with ID 1..count and NAME "w" + the id, everything else null,
    // generated on demand.
    void MakeSynthetic(size_t count) { synthetic_count_ = count; }

    size_t RowCount() const { return synthetic_count_ > 0 ? synthetic_count_ : rows_.size(); }
    const TMemoryRow& Row(size_t index) const {
        if (synthetic_count_ == 0)
            return rows_[index];
        scratch_row_.row_id = uint32_t(index + 1);
        scratch_row_.values.assign(columns_.size(), std::nullopt);
        scratch_row_.values[0] = NativeInt32(int32_t(index + 1));
        scratch_row_.values[1] = NativeString("w" + std::to_string(index + 1), 10);
        return scratch_row_;
    }
    // The stored NAME / NOTE of the row with key `id` (standard table).
    std::string StoredName(int32_t id) const {
        const TMemoryRow& row = rows_.at(IndexOfKey(id));
        return row.values[1] ? std::string(row.values[1]->c_str()) : std::string();
    }
    std::optional<std::string> StoredNote(int32_t id) const {
        return rows_.at(IndexOfKey(id)).values[5];
    }
    size_t PendingBlobs() const { return pending_.size(); }

    THookCounts counts;
    bool read_only = false;
    // Failure injection: thrown from the hook when set (and cleared when `once`).
    std::function<void()> on_edit;
    std::function<void()> on_post;
    std::function<void()> on_open;
    bool fail_reads = false;

    std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;

    // Opens up the protected services for the tests.
    using TDataSet::CalcFieldsSize;
    using TDataSet::CursorPosChanged;

protected:
    size_t GetRecordBufferSize() const override { return info_offset_ + 9; }

    TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) override {
        switch (mode) {
        case gmCurrent:
            ++counts.get_current;
            break;
        case gmNext:
            ++counts.get_next;
            break;
        case gmPrior:
            ++counts.get_prior;
            break;
        }
        if (fail_reads) {
            if (do_check)
                throw EZOLVEKEngineError(ZOLVEK_READERR, TErrorContext {});
            return grError;
        }
        int64_t count = int64_t(RowCount());
        if (mode == gmNext) {
            int64_t p = position_ + 1;
            while (p < count && !Visible(size_t(p)))
                ++p;
            position_ = std::min(p, count);
        } else if (mode == gmPrior) {
            int64_t p = std::min(position_, count) - 1;
            while (p >= 0 && !Visible(size_t(p)))
                --p;
            position_ = std::max<int64_t>(p, -1);
        }
        if (position_ < 0)
            return grBOF;
        if (position_ >= count)
            return grEOF;
        LoadRow(size_t(position_), buffer);
        GetCalcFields(buffer);
        return grOK;
    }

    void InternalInitRecord(uint8_t* buffer) override {
        ++counts.init_record;
        std::memset(buffer, 0, GetRecordBufferSize());
    }
    TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override {
        return TBookmarkFlag(buffer[info_offset_ + 4]);
    }
    void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) override {
        buffer[info_offset_ + 4] = flag;
    }
    TBookmark GetBookmarkData(const uint8_t* buffer) const override {
        return TBookmark(buffer + info_offset_ + 5, buffer + info_offset_ + 9);
    }
    void SetBookmarkData(uint8_t* buffer, const TBookmark& bookmark) override {
        std::memset(buffer + info_offset_ + 5, 0, 4);
        std::memcpy(
            buffer + info_offset_ + 5, bookmark.data(), std::min<size_t>(bookmark.size(), 4));
    }
    void ClearCalcFields(uint8_t* buffer) override {
        std::memset(buffer + calc_offset_, 0, size_t(CalcFieldsSize()));
    }
    int32_t GetRecNo(const uint8_t* buffer) const override {
        return LoadI32(buffer + info_offset_);
    }

    bool GetFieldData(const TField& field, const uint8_t* record, uint8_t* value) const override {
        const uint8_t* slot = field.FieldKind() == fkCalculated
            ? record + calc_offset_ + field.Offset()
            : record + slot_offsets_.at(size_t(field.FieldNo() - 1));
        if (slot[0] == 0)
            return false;
        if (value != nullptr)
            std::memcpy(value, slot + 1, size_t(field.DataSize()));
        return true;
    }
    void SetFieldData(TField& field, uint8_t* record, const uint8_t* value) override {
        uint8_t* slot = field.FieldKind() == fkCalculated
            ? record + calc_offset_ + field.Offset()
            : record + slot_offsets_.at(size_t(field.FieldNo() - 1));
        slot[0] = value != nullptr ? 1 : 0;
        if (value != nullptr)
            std::memcpy(slot + 1, value, size_t(field.DataSize()));
        else
            std::memset(slot + 1, 0, size_t(field.DataSize()));
    }

    bool IsCursorOpen() const override { return open_; }
    void InternalOpen() override {
        ++counts.open;
        if (on_open)
            on_open();
        OpenFields();
        slot_offsets_.clear();
        size_t offset = 0;
        for (int32_t size : native_sizes_) {
            slot_offsets_.push_back(offset);
            offset += 1 + size_t(size);
        }
        calc_offset_ = offset;
        info_offset_ = calc_offset_ + size_t(CalcFieldsSize());
        filter_scratch_.assign(GetRecordBufferSize(), 0);
        position_ = -1;
        open_ = true;
    }
    void InternalClose() override {
        ++counts.close;
        open_ = false;
        pending_.clear();
    }
    void InternalInitFieldDefs() override {
        for (const TColumn& column : columns_)
            FieldDefs().Add(column.name, column.type, column.size, column.required);
    }
    void InternalFirst() override {
        ++counts.first;
        position_ = -1;
    }
    void InternalLast() override {
        ++counts.last;
        position_ = int64_t(RowCount());
    }
    void InternalGotoBookmark(const TBookmark& bookmark) override {
        ++counts.goto_bookmark;
        std::optional<size_t> index = IndexOfRowId(LoadU32(bookmark.data()));
        position_ = index ? int64_t(*index) : int64_t(RowCount());
    }
    void InternalSetToRecord(uint8_t* buffer) override {
        ++counts.set_to_record;
        TDataSet::InternalSetToRecord(buffer);
    }
    void InternalRefresh() override { ++counts.refresh; }
    bool InternalSetRecNo(int32_t recno) override {
        int32_t seen = 0;
        for (size_t i = 0; i < RowCount(); ++i) {
            if (Visible(i) && ++seen == recno) {
                position_ = int64_t(i);
                return true;
            }
        }
        return false;
    }
    int32_t GetRecordCount() const override {
        int32_t count = 0;
        for (size_t i = 0; i < RowCount(); ++i)
            count += const_cast<TMemoryDataSet*>(this)->Visible(i) ? 1 : 0;
        return count;
    }
    bool InternalBookmarkValid(const TBookmark& bookmark) override {
        std::optional<size_t> index = IndexOfRowId(LoadU32(bookmark.data()));
        if (index)
            position_ = int64_t(*index);
        return index.has_value() && Visible(*index);
    }
    int InternalCompareBookmarks(const TBookmark& a, const TBookmark& b) override {
        size_t x = IndexOfRowId(LoadU32(a.data())).value_or(RowCount());
        size_t y = IndexOfRowId(LoadU32(b.data())).value_or(RowCount());
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    bool GetCanModify() const override { return !read_only; }

    void InternalEdit() override {
        ++counts.edit;
        if (on_edit)
            on_edit();
        // Re-read the stored record into the active buffer, as a locking read would, and keep
        // it as the old record.
        LoadRow(size_t(position_), ActiveBuffer());
        old_record_.assign(ActiveBuffer(), ActiveBuffer() + GetRecordBufferSize());
    }
    uint8_t* GetActiveRecordBuffer() override {
        if (State() == dsOldValue)
            return old_record_.empty() ? nullptr : old_record_.data();
        return TDataSet::GetActiveRecordBuffer();
    }
    void InternalInsert() override { ++counts.insert; }
    void InternalPost() override {
        ++counts.post;
        TDataSet::InternalPost();
        if (on_post)
            on_post();
        uint8_t* buffer = ActiveBuffer();
        TMemoryRow row;
        std::optional<size_t> old_index;
        if (State() == dsEdit) {
            old_index = IndexOfRowId(LoadU32(buffer + info_offset_ + 5));
            row = rows_.at(*old_index);
        } else {
            row.values.assign(columns_.size(), std::nullopt);
        }
        for (size_t i = 0; i < columns_.size(); ++i) {
            const uint8_t* slot = buffer + slot_offsets_[i];
            if (columns_[i].type == ftMemo) {
                auto pending = pending_.find({ buffer, int32_t(i + 1) });
                if (pending != pending_.end())
                    row.values[i]
                        = pending->second.empty() ? std::nullopt : std::optional(pending->second);
                continue;
            }
            row.values[i] = slot[0] ? std::optional(std::string(
                                reinterpret_cast<const char*>(slot + 1), native_sizes_[i]))
                                    : std::nullopt;
        }
        int32_t key
            = row.values[0] ? LoadI32(reinterpret_cast<const uint8_t*>(row.values[0]->data())) : 0;
        for (size_t i = 0; i < rows_.size(); ++i) {
            if ((!old_index || i != *old_index) && KeyOf(rows_[i]) == key)
                throw EZOLVEKEngineError(ZOLVEK_KEYVIOL, TErrorContext {});
        }
        if (old_index)
            rows_.erase(rows_.begin() + std::ptrdiff_t(*old_index));
        else
            row.row_id = ++last_row_id_;
        position_ = int64_t(InsertSorted(std::move(row)));
        DropPending(buffer);
    }
    void InternalCancel() override {
        ++counts.cancel;
        DropPending(ActiveBuffer());
    }
    void InternalDelete() override {
        ++counts.remove;
        uint8_t* buffer = ActiveBuffer();
        DropPending(buffer);
        std::optional<size_t> index = IndexOfRowId(LoadU32(buffer + info_offset_ + 5));
        rows_.erase(rows_.begin() + std::ptrdiff_t(index.value()));
        position_ = int64_t(*index);
    }

private:
    friend class TMemoryBlobStream;

    static int32_t NativeSize(const TColumn& column) {
        return CreateFieldForType(column.name, column.type, column.size)->DataSize();
    }
    static int32_t KeyOf(const TMemoryRow& row) {
        return row.values[0] ? LoadI32(reinterpret_cast<const uint8_t*>(row.values[0]->data())) : 0;
    }
    size_t InsertSorted(TMemoryRow row) {
        int32_t key = KeyOf(row);
        auto at = std::find_if(
            rows_.begin(), rows_.end(), [key](const TMemoryRow& r) { return KeyOf(r) > key; });
        return size_t(rows_.insert(at, std::move(row)) - rows_.begin());
    }
    size_t IndexOfKey(int32_t key) const {
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (KeyOf(rows_[i]) == key)
                return i;
        }
        return rows_.size();
    }
    std::optional<size_t> IndexOfRowId(uint32_t row_id) const {
        if (synthetic_count_ > 0)
            return row_id >= 1 && row_id <= synthetic_count_ ? std::optional(size_t(row_id - 1))
                                                             : std::nullopt;
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].row_id == row_id)
                return i;
        }
        return std::nullopt;
    }
    // Row `index` into `buffer`: values, sequence number, flag, bookmark.
    void LoadRow(size_t index, uint8_t* buffer) {
        const TMemoryRow& row = Row(index);
        for (size_t i = 0; i < columns_.size(); ++i) {
            uint8_t* slot = buffer + slot_offsets_[i];
            const std::optional<std::string>& value = row.values[i];
            slot[0] = value ? 1 : 0;
            if (columns_[i].type != ftMemo) {
                std::memset(slot + 1, 0, size_t(native_sizes_[i]));
                if (value)
                    std::memcpy(slot + 1, value->data(), size_t(native_sizes_[i]));
            }
        }
        int32_t recno = 0;
        if (Filtered() && OnFilterRecord()) {
            for (size_t i = 0; i <= index; ++i)
                recno += Visible(i) ? 1 : 0;
        } else {
            recno = int32_t(index + 1);
        }
        StoreI32(buffer + info_offset_, recno);
        buffer[info_offset_ + 4] = bfCurrent;
        StoreU32(buffer + info_offset_ + 5, row.row_id);
    }
    bool Visible(size_t index) {
        if (!Filtered() || !OnFilterRecord())
            return true;
        LoadRowValues(index, filter_scratch_.data());
        return RunFilterRecord(filter_scratch_.data());
    }
    void LoadRowValues(size_t index, uint8_t* buffer) {
        const TMemoryRow& row = Row(index);
        for (size_t i = 0; i < columns_.size(); ++i) {
            uint8_t* slot = buffer + slot_offsets_[i];
            slot[0] = row.values[i] ? 1 : 0;
            if (columns_[i].type != ftMemo && row.values[i])
                std::memcpy(slot + 1, row.values[i]->data(), size_t(native_sizes_[i]));
        }
        StoreU32(buffer + info_offset_ + 5, row.row_id);
    }
    // The stored memo of the record in `buffer` (empty for a new record).
    std::string StoredMemo(const uint8_t* buffer, int32_t field_no) const {
        std::optional<size_t> index = IndexOfRowId(LoadU32(buffer + info_offset_ + 5));
        if (!index || GetBookmarkFlag(buffer) == bfInserted)
            return {};
        return Row(*index).values[size_t(field_no - 1)].value_or(std::string());
    }
    void DropPending(uint8_t* buffer) {
        for (auto it = pending_.begin(); it != pending_.end();)
            it = it->first.first == buffer ? pending_.erase(it) : std::next(it);
    }

    std::vector<TColumn> columns_;
    std::vector<int32_t> native_sizes_;
    std::vector<TMemoryRow> rows_;
    size_t synthetic_count_ = 0;
    mutable TMemoryRow scratch_row_;
    uint32_t last_row_id_ = 0;

    bool open_ = false;
    int64_t position_ = -1; // -1 before the first row, RowCount() after the last
    std::vector<size_t> slot_offsets_;
    size_t calc_offset_ = 0;
    size_t info_offset_ = 0; // recno (4), flag (1), row id (4)
    std::vector<uint8_t> filter_scratch_;
    std::vector<uint8_t> old_record_;
    // Memo values written in an edit, by record buffer and field number.
    std::map<std::pair<const uint8_t*, int32_t>, std::string> pending_;
};

// The memo stream: reads the stored value or the record buffer's pending one; writes go to
// the pending value until the record is posted or cancelled.
class TMemoryBlobStream : public TStream {
public:
    TMemoryBlobStream(TMemoryDataSet& dataset, TField& field, TBlobStreamMode mode)
        : dataset_(dataset)
        , field_(field) {
        record_ = dataset.ActiveRecordBuffer();
        if (record_ == nullptr)
            return;
        auto key = std::make_pair(static_cast<const uint8_t*>(record_), field.FieldNo());
        auto pending = dataset.pending_.find(key);
        if (mode == bmRead) {
            if (pending != dataset.pending_.end()) {
                data_ = &pending->second;
            } else {
                copy_ = dataset.StoredMemo(record_, field.FieldNo());
                data_ = &copy_;
            }
            return;
        }
        dataset.CheckBlobWrite(field);
        if (pending == dataset.pending_.end())
            pending
                = dataset.pending_.emplace(key, dataset.StoredMemo(record_, field.FieldNo())).first;
        data_ = &pending->second;
        writable_ = true;
        if (mode == bmWrite) {
            data_->clear();
            modified_ = true;
        }
    }
    ~TMemoryBlobStream() override {
        if (!modified_)
            return;
        record_[dataset_.slot_offsets_[size_t(field_.FieldNo() - 1)]] = data_->empty() ? 0 : 1;
        try {
            dataset_.NotifyFieldChanged(field_);
        } catch (...) {
            dataset_.HandleException(std::current_exception());
        }
    }
    size_t Read(void* buffer, size_t count) override {
        if (data_ == nullptr || position_ >= int64_t(data_->size()) || position_ < 0)
            return 0;
        size_t n = std::min(count, data_->size() - size_t(position_));
        std::memcpy(buffer, data_->data() + position_, n);
        position_ += int64_t(n);
        return n;
    }
    size_t Write(const void* buffer, size_t count) override {
        if (!writable_ || position_ < 0)
            return 0;
        if (data_->size() < size_t(position_) + count)
            data_->resize(size_t(position_) + count);
        std::memcpy(data_->data() + position_, buffer, count);
        position_ += int64_t(count);
        modified_ = true;
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        if (origin == soBeginning)
            position_ = offset;
        else if (origin == soCurrent)
            position_ += offset;
        else
            position_ = offset + Size();
        return position_;
    }
    int64_t Size() override { return data_ != nullptr ? int64_t(data_->size()) : 0; }
    void SetSize(int64_t size) override {
        if (!writable_ || size < 0 || size_t(size) == data_->size())
            return;
        data_->resize(size_t(size));
        modified_ = true;
    }

private:
    TMemoryDataSet& dataset_;
    TField& field_;
    uint8_t* record_ = nullptr;
    std::string copy_;
    std::string* data_ = nullptr;
    bool writable_ = false;
    bool modified_ = false;
    int64_t position_ = 0;
};

inline std::unique_ptr<TStream> TMemoryDataSet::CreateBlobStream(
    TField& field, TBlobStreamMode mode) {
    return std::make_unique<TMemoryBlobStream>(*this, field, mode);
}

} // namespace zolvek::testing

namespace zolvek {

// Readable values in test failures.
inline void PrintTo(const TVariant& value, std::ostream* out) {
    std::visit(
        [out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                *out << "null";
            else if constexpr (std::is_same_v<T, TCurrency>)
                *out << "currency " << v.scaled;
            else if constexpr (std::is_same_v<T, TDateTime>)
                *out << "date-time " << v.stored;
            else
                *out << ::testing::PrintToString(v);
        },
        value.Storage());
}

} // namespace zolvek

namespace zolvek::testing {

// A link that records what it is told.
class TRecordingLink : public TDataLink {
public:
    std::vector<std::string> log;
    std::vector<int32_t> scrolls;
    int data_set_changes = 0;
    std::vector<const TField*> record_changes;

protected:
    void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
    void DataSetChanged() override { ++data_set_changes; }
    void DataSetScrolled(int32_t distance) override { scrolls.push_back(distance); }
    void EditingChanged() override { log.push_back(Editing() ? "editing" : "not editing"); }
    void RecordChanged(TField* field) override { record_changes.push_back(field); }
};

} // namespace zolvek::testing
