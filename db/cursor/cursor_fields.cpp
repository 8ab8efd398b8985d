// Cursor record buffers, field access and BLOB access.
#include "db/cursor/cursor.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/cursor/record_values.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"

#include <cstring>

namespace zolvek {

size_t TDataCursor::RecordSize() const {
    return table_->DataFile().Header().RecordSize;
}

const std::vector<FieldDescriptor>& TDataCursor::Fields() const {
    return table_->DataFile().Fields();
}

const FieldDescriptor& TDataCursor::Field(int32_t field_no) const {
    const FieldDescriptor* field = FindField(Fields(), field_no);
    if (field == nullptr)
        directory_.Engine().Errors().RaiseFieldError(
            ZOLVEK_OUTOFRANGE, std::to_string(field_no), table_name_);
    return *field;
}

const FieldDescriptor& TDataCursor::GetFieldDescriptor(int32_t field_no) const {
    if (field_no < 1 || size_t(field_no) > Fields().size())
        directory_.Engine().Errors().RaiseFieldError(
            ZOLVEK_OUTOFRANGE, std::to_string(field_no), table_name_);
    return Fields()[size_t(field_no - 1)];
}

const FieldDescriptor& TDataCursor::FindFieldDescriptor(const std::string& name) const {
    for (const FieldDescriptor& field : Fields()) {
        if (SameName(field.Name, name))
            return field;
    }
    directory_.Engine().Errors().RaiseFieldError(ZOLVEK_OUTOFRANGE, name, table_name_);
}

uint8_t TDataCursor::IndexCount() const {
    return table_->IndexFile().Index().SecondaryIndexCount();
}

const IndexDescriptor& TDataCursor::GetIndexDescriptor(uint8_t slot) const {
    if (slot >= kIndexSlotCount)
        directory_.Engine().Errors().RaiseIndexError(
            ZOLVEK_INVALIDINDEXNAME, std::to_string(slot), table_name_);
    return table_->IndexFile().Index().Slots[slot];
}

void TDataCursor::ClearRecord(uint8_t* buffer) const {
    std::memset(buffer, 0, RecordSize());
}

void TDataCursor::InitNewRecord(uint8_t* buffer) const {
    ClearRecord(buffer);
    if (HasDefaultValues(Fields()))
        ApplyDefaultValues(Fields(), buffer, locale_id_);
}

bool TDataCursor::ReadFieldValue(int32_t field_no, const uint8_t* buffer, uint8_t* value) const {
    const FieldDescriptor& field = Field(field_no);
    if (value == nullptr)
        return FieldIsNull(field, buffer);
    return zolvek::ReadFieldValue(field, buffer, value);
}

void TDataCursor::WriteFieldValue(int32_t field_no, uint8_t* buffer, const uint8_t* value,
    size_t length, bool, bool empty_blob) const {
    zolvek::WriteFieldValue(Field(field_no), buffer, value, length, locale_id_, empty_blob);
}

EngineCode TDataCursor::CopyCurrentRecord(uint8_t* buffer) {
    TReadBracket bracket(*this);
    LoadCurrentRecord(0);
    FindVisible(0);
    if (bof_ && eof_)
        return ZOLVEK_NOCURRREC;
    ClearRecord(buffer);
    std::vector<uint8_t> source = current_;
    std::vector<uint8_t> value;
    for (const FieldDescriptor& field : Fields()) {
        if (FieldIsNull(field, source.data()))
            continue;
        if (field.DataType == kTypeInteger && field.SubType == kSubTypeAutoInc)
            continue; // the insert hands out a new value
        if (field.DataType == kTypeBlob) {
            size_t size = blobs_->OpenBlobField(field, source.data(), TBlobBuffer::bmRead, true);
            std::vector<uint8_t> content = blobs_->BlobValue(field, source.data());
            blobs_->CloseBlobField(field, source.data());
            blobs_->OpenBlobField(field, buffer, TBlobBuffer::bmWrite, false);
            blobs_->WriteBlobBytes(field, buffer, 0, content.data(), size);
            continue;
        }
        value.resize(field.PhysicalSize);
        zolvek::ReadFieldValue(field, source.data(), value.data());
        zolvek::WriteFieldValue(field, buffer, value.data(), value.size(), locale_id_);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// BLOB access

size_t TDataCursor::OpenBlobField(
    int32_t field_no, uint8_t* buffer, TBlobBuffer::TMode mode, bool, bool temporary) {
    TReadBracket bracket(*this);
    return blobs_->OpenBlobField(Field(field_no), buffer, mode, temporary);
}

size_t TDataCursor::ReadBlobBytes(
    int32_t field_no, const uint8_t* buffer, size_t offset, uint8_t* destination, size_t count) {
    return blobs_->ReadBlobBytes(Field(field_no), buffer, offset, destination, count);
}

void TDataCursor::WriteBlobBytes(
    int32_t field_no, uint8_t* buffer, size_t offset, const uint8_t* source, size_t count) {
    blobs_->WriteBlobBytes(Field(field_no), buffer, offset, source, count);
}

void TDataCursor::TruncateBlobField(int32_t field_no, uint8_t* buffer, size_t size) {
    blobs_->TruncateBlobField(Field(field_no), buffer, size);
}

size_t TDataCursor::BlobFieldSize(int32_t field_no, const uint8_t* buffer) {
    return blobs_->BlobFieldSize(Field(field_no), buffer);
}

void TDataCursor::CloseBlobField(int32_t field_no, uint8_t* buffer, bool) {
    blobs_->CloseBlobField(Field(field_no), buffer);
}

void TDataCursor::DiscardBlobChanges(uint8_t* buffer) {
    blobs_->DiscardBlobChanges(buffer);
}

} // namespace zolvek
