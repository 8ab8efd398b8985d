// TZOLVEKBlobStream: the stream through which field objects and controls read and write a memo
// or BLOB field of an engine dataset's active record, on top of the cursor's BLOB access. A
// write leaves its changes pending with the record buffer until the record is posted or
// cancelled; a second stream in the same edit continues on the pending value.
// Thread-safety: none. Lifetime: one read or one write of one record; the stream must not
// outlive the record buffer it was created on (the dataset's state must not change meanwhile).
#pragma once

#include "db/dataset/blob_stream.h"

#include <cstdint>

namespace zolvek {

class TField;
class TZOLVEKBaseDataSet;

class TZOLVEKBlobStream : public TStream {
public:
    // Raises "Invalid class typecast" for a field of another dataset class; for a write or
    // read-write stream "Field '%s' cannot be modified" (read-only field) and "Table is not in
    // edit or insert mode" (the dataset is not editing). Without an active record the stream
    // is inert: reads and writes do nothing and the size is 0. A write stream empties the value.
    TZOLVEKBlobStream(TField& field, TBlobStreamMode mode);
    // A modified value stays open with the record until the post or cancel; the field-change
    // notification goes out, and an error it raises is reported, not thrown.
    ~TZOLVEKBlobStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t size) override;

private:
    bool OwnsEngineBlob() const;

    TField& field_;
    TZOLVEKBaseDataSet& dataset_;
    uint8_t* record_ = nullptr;
    int32_t field_no_ = 0;
    int64_t position_ = 0;
    bool opened_ = false;
    bool writable_ = false;
    bool modified_ = false;
};

} // namespace zolvek
