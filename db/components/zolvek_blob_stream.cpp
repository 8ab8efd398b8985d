#include "db/components/zolvek_blob_stream.h"

#include "db/components/component_errors.h"
#include "db/components/zolvek_dataset.h"
#include "db/cursor/cursor.h"
#include "db/dataset/dataset_errors.h"

#include <exception>

namespace zolvek {

namespace {

TZOLVEKBaseDataSet& EngineDataSetOf(TField& field) {
    auto* dataset = dynamic_cast<TZOLVEKBaseDataSet*>(field.DataSet());
    if (dataset == nullptr)
        DatabaseError(kInvalidClassTypecast);
    return *dataset;
}

} // namespace

TZOLVEKBlobStream::TZOLVEKBlobStream(TField& field, TBlobStreamMode mode)
    : field_(field)
    , dataset_(EngineDataSetOf(field))
    , field_no_(field.FieldNo()) {
    record_ = dataset_.ActiveRecordBuffer();
    if (record_ == nullptr || dataset_.Cursor() == nullptr)
        return;
    TBlobBuffer::TMode open_mode = TBlobBuffer::bmRead;
    if (mode != bmRead) {
        TDataSetState state = dataset_.State();
        bool editing = state == dsEdit || state == dsInsert || state == dsSetKey;
        if (field.ReadOnly())
            DatabaseErrorFmt(kFieldReadOnly, { field.DisplayName() });
        if (dynamic_cast<TZOLVEKDataSet*>(&dataset_) != nullptr) {
            if (!editing)
                DatabaseError(kTableNotEditing);
            open_mode = TBlobBuffer::bmWrite;
        } else if (editing) {
            open_mode = TBlobBuffer::bmWrite;
        }
    }
    writable_ = open_mode == TBlobBuffer::bmWrite;
    // A value already written in this edit keeps its engine BLOB open from the first write
    // stream; this stream continues on that pending value.
    if (OwnsEngineBlob())
        dataset_.Cursor()->OpenBlobField(field_no_, record_, open_mode);
    opened_ = true;
    if (writable_ && mode == bmWrite) {
        dataset_.Cursor()->TruncateBlobField(field_no_, record_, 0);
        modified_ = true;
    }
}

TZOLVEKBlobStream::~TZOLVEKBlobStream() {
    if (opened_) {
        try {
            if (modified_)
                dataset_.SetBlobModified(field_no_);
            if (OwnsEngineBlob())
                dataset_.Cursor()->CloseBlobField(field_no_, record_);
        } catch (...) {
            dataset_.HandleException(std::current_exception());
        }
    }
    if (modified_) {
        try {
            dataset_.NotifyFieldChanged(field_);
        } catch (...) {
            dataset_.HandleException(std::current_exception());
        }
    }
}

// Whether this stream opens (and closes) the engine BLOB itself: in the filter and old-value
// states always, otherwise only while the field has no pending change in this record.
bool TZOLVEKBlobStream::OwnsEngineBlob() const {
    TDataSetState state = dataset_.State();
    return state == dsFilter || state == dsOldValue || !dataset_.BlobModified(field_no_);
}

size_t TZOLVEKBlobStream::Read(void* buffer, size_t count) {
    if (!opened_ || position_ < 0 || count == 0)
        return 0;
    size_t read = dataset_.Cursor()->ReadBlobBytes(
        field_no_, record_, size_t(position_), static_cast<uint8_t*>(buffer), count);
    position_ += int64_t(read);
    return read;
}

size_t TZOLVEKBlobStream::Write(const void* buffer, size_t count) {
    // A read stream has nothing to write to.
    if (!opened_ || !writable_)
        return 0;
    if (position_ < 0)
        dataset_.Cursor()->Table().RaiseError(ZOLVEK_INVALIDBLOBOFFSET);
    dataset_.Cursor()->WriteBlobBytes(
        field_no_, record_, size_t(position_), static_cast<const uint8_t*>(buffer), count);
    position_ += int64_t(count);
    modified_ = true;
    return count;
}

int64_t TZOLVEKBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
    case soBeginning:
        position_ = offset;
        break;
    case soCurrent:
        position_ += offset;
        break;
    case soEnd:
        position_ = offset + Size();
        break;
    }
    return position_;
}

int64_t TZOLVEKBlobStream::Size() {
    if (!opened_)
        return 0;
    return int64_t(dataset_.Cursor()->BlobFieldSize(field_no_, record_));
}

void TZOLVEKBlobStream::SetSize(int64_t size) {
    if (!opened_ || !writable_)
        return;
    if (size < 0)
        dataset_.Cursor()->Table().RaiseError(ZOLVEK_INVALIDBLOBLEN);
    int64_t current = Size();
    if (size > current) {
        // A write of no bytes at the new end extends the value (with zeros).
        uint8_t none = 0;
        dataset_.Cursor()->WriteBlobBytes(field_no_, record_, size_t(size), &none, 0);
    } else if (size < current) {
        dataset_.Cursor()->TruncateBlobField(field_no_, record_, size_t(size));
    } else {
        return;
    }
    modified_ = true;
}

} // namespace zolvek
