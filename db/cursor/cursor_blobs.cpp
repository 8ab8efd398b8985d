// Open BLOB values of a cursor.
#include "db/cursor/cursor_blobs.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"

#include <algorithm>
#include <cstring>

namespace zolvek {

namespace {

// The BLOB reference in a record: null flag, first block (or negated handle), serial.
uint8_t* Reference(const FieldDescriptor& field, uint8_t* record) {
    return record + field.FieldOffset + 1;
}
const uint8_t* Reference(const FieldDescriptor& field, const uint8_t* record) {
    return record + field.FieldOffset + 1;
}

bool Compresses(const FieldDescriptor& field) {
    return field.Compression >= 1 && field.Compression <= 9;
}

} // namespace

TCursorBlobs::TCursorBlobs(TDataTable& table, TUnitRequester* requester)
    : table_(table)
    , requester_(requester) { }

TCursorBlobs::~TCursorBlobs() = default;

size_t TCursorBlobs::OpenCount() const {
    return open_order_.size();
}

int32_t TCursorBlobs::HandleOf(const TBlobBuffer* buffer) const {
    for (size_t k = 0; k < kMaxOpenBlobs; ++k) {
        if (slots_[k].get() == buffer)
            return int32_t(k + 1);
    }
    return 0;
}

TBlobBuffer* TCursorBlobs::BufferOf(const FieldDescriptor& field, const uint8_t* record) const {
    if (field.DataType != kTypeBlob)
        return nullptr;
    int32_t value = LoadI32(Reference(field, record));
    if (value >= 0 || value < -int32_t(kMaxOpenBlobs))
        return nullptr;
    TBlobBuffer* buffer = slots_[size_t(-value - 1)].get();
    if (buffer == nullptr || buffer->Field().FieldNo != field.FieldNo)
        return nullptr;
    return buffer;
}

TBlobBuffer* TCursorBlobs::RequireBuffer(
    const FieldDescriptor& field, const uint8_t* record) const {
    if (field.DataType != kTypeBlob)
        table_.Engine().Errors().RaiseFieldError(ZOLVEK_NOTABLOB, field.Name, table_.TableName());
    TBlobBuffer* buffer = BufferOf(field, record);
    if (buffer == nullptr)
        RaiseError(ZOLVEK_INVALIDBLOBHANDLE);
    return buffer;
}

void TCursorBlobs::StoreHandle(
    const FieldDescriptor& field, uint8_t* record, const TBlobBuffer& buffer) {
    uint8_t handle[4];
    StoreI32(handle, -HandleOf(&buffer));
    WriteFieldValue(field, record, handle, 4, 0, buffer.Size() == 0);
}

bool TCursorBlobs::LoadBlob(TBlobBuffer& buffer) {
    std::vector<uint8_t>& data = buffer.Data();
    // Values read one record after the other lie one after the other in the file: read ahead
    // half the cache when this chain starts where the last one ended.
    uint32_t read_ahead = buffer.FirstBlock() != 0 && buffer.FirstBlock() == next_sequential_block_
        ? table_.BlobFile().Capacity() / 2
        : 0;
    TBlobFile::TLoadResult result = table_.BlobFile().LoadChain(
        requester_, buffer.FirstBlock(), buffer.Serial(), data, read_ahead);
    if (result == TBlobFile::TLoadResult::Loaded && !data.empty())
        next_sequential_block_ = buffer.FirstBlock()
            + uint32_t((data.size() + table_.BlobFile().BlockPayloadCapacity() - 1)
                / table_.BlobFile().BlockPayloadCapacity());
    if (result == TBlobFile::TLoadResult::Changed)
        return false;
    if (Compresses(buffer.Field()) && !data.empty())
        data = DecompressBlobValue(data.data(), data.size(), table_.TableName());
    buffer.SetChanged(false);
    return true;
}

// A chain that ends early or breaks its links may only mean that the record was changed or
// deleted after the caller read it, and its blocks freed and taken again: that is a change of
// the record (false), not a damaged BLOB file. It is damage when the record in the file still
// refers to this very chain.
bool TCursorBlobs::LoadBlobOrChanged(
    TBlobBuffer& buffer, const FieldDescriptor& field, const uint8_t* record) {
    try {
        return LoadBlob(buffer);
    } catch (const EZOLVEKEngineError& error) {
        if (error.Code() != ZOLVEK_ENDOFBLOB && error.Code() != ZOLVEK_MEMOCORRUPT)
            throw;
        uint32_t number = RecordLink(record);
        if (number < 1 || number > table_.DataFile().PhysicalCount())
            throw;
        TPinned<TRecord> stored(table_.DataFile().ReadRecord(requester_, number));
        if (stored && !RecordDeleted(stored->Data())
            && RecordIDOf(stored->Data()) == RecordIDOf(record)
            && std::memcmp(stored->Data() + field.FieldOffset + 1, Reference(field, record), 8)
                == 0)
            throw;
        return false;
    }
}

size_t TCursorBlobs::OpenBlobField(
    const FieldDescriptor& field, uint8_t* record, TBlobBuffer::TMode mode, bool temporary) {
    if (field.DataType != kTypeBlob)
        table_.Engine().Errors().RaiseFieldError(ZOLVEK_NOTABLOB, field.Name, table_.TableName());
    int32_t value = LoadI32(Reference(field, record));
    if (value < 0) {
        TBlobBuffer* open = BufferOf(field, record);
        if (open == nullptr)
            RaiseError(ZOLVEK_INVALIDBLOBOFFSET);
        if (mode == TBlobBuffer::bmWrite && open->Temporary() && !temporary)
            open->SetTemporary(false);
        else
            open->AddOpen();
        return open->Size();
    }
    auto free_slot = std::find_if(
        slots_.begin(), slots_.end(), [](const auto& slot) { return slot == nullptr; });
    if (free_slot == slots_.end())
        RaiseError(ZOLVEK_OPENBLOBLIMIT);

    int32_t serial = LoadI32(Reference(field, record) + 4);
    auto buffer = std::make_unique<TBlobBuffer>(
        field, uint32_t(value), serial, RecordLink(record), mode, temporary);
    if (!LoadBlobOrChanged(*buffer, field, record)) {
        // Rewritten since the record was read: take the record's new reference, once.
        uint32_t number = RecordLink(record);
        bool reloaded = false;
        if (number >= 1 && number <= table_.DataFile().PhysicalCount()) {
            TPinned<TRecord> stored(table_.DataFile().ReadRecord(requester_, number));
            if (stored && !RecordDeleted(stored->Data())
                && RecordIDOf(stored->Data()) == RecordIDOf(record)) {
                std::memcpy(record + field.FieldOffset, stored->Data() + field.FieldOffset, 9);
                buffer->SetFirstBlock(LoadU32(Reference(field, record)));
                buffer->SetSerial(LoadI32(Reference(field, record) + 4));
                stored.Reset();
                if (!LoadBlob(*buffer))
                    RaiseError(ZOLVEK_MEMOCORRUPT);
                reloaded = true;
            }
        }
        if (!reloaded)
            RaiseError(ZOLVEK_KEYORRECDELETED);
    }
    TBlobBuffer& placed = *buffer;
    size_t slot = size_t(free_slot - slots_.begin());
    *free_slot = std::move(buffer);
    open_order_.push_back(slot);
    StoreHandle(field, record, placed);
    return placed.Size();
}

size_t TCursorBlobs::ReadBlobBytes(const FieldDescriptor& field, const uint8_t* record,
    size_t offset, uint8_t* destination, size_t count) {
    TBlobBuffer* buffer = RequireBuffer(field, record);
    size_t size = buffer->Size();
    if (offset >= size)
        return 0;
    size_t n = std::min(count, size - offset);
    std::memcpy(destination, buffer->Data().data() + offset, n);
    return n;
}

void TCursorBlobs::WriteBlobBytes(const FieldDescriptor& field, uint8_t* record, size_t offset,
    const uint8_t* source, size_t count) {
    TBlobBuffer* buffer = RequireBuffer(field, record);
    if (buffer->Mode() != TBlobBuffer::bmWrite)
        return;
    if (offset > SIZE_MAX - count || offset + count > (size_t(1) << 31))
        RaiseError(ZOLVEK_INVALIDBLOBLEN);
    buffer->SetChanged(true);
    if (offset + count > buffer->Size())
        buffer->Resize(offset + count);
    if (count > 0)
        std::memcpy(buffer->Data().data() + offset, source, count);
    StoreHandle(field, record, *buffer);
}

void TCursorBlobs::TruncateBlobField(const FieldDescriptor& field, uint8_t* record, size_t size) {
    TBlobBuffer* buffer = RequireBuffer(field, record);
    if (buffer->Mode() != TBlobBuffer::bmWrite)
        return;
    if (size > (size_t(1) << 31))
        RaiseError(ZOLVEK_INVALIDBLOBLEN);
    buffer->SetChanged(true);
    buffer->Resize(size);
    StoreHandle(field, record, *buffer);
}

size_t TCursorBlobs::BlobFieldSize(const FieldDescriptor& field, const uint8_t* record) {
    return RequireBuffer(field, record)->Size();
}

const std::vector<uint8_t>& TCursorBlobs::BlobValue(
    const FieldDescriptor& field, const uint8_t* record) {
    return RequireBuffer(field, record)->Data();
}

void TCursorBlobs::Free(TBlobBuffer* buffer) {
    int32_t handle = HandleOf(buffer);
    if (handle == 0)
        return;
    size_t slot = size_t(handle - 1);
    open_order_.erase(std::remove(open_order_.begin(), open_order_.end(), slot), open_order_.end());
    slots_[slot].reset();
}

void TCursorBlobs::CloseBlobField(const FieldDescriptor& field, uint8_t* record) {
    TBlobBuffer* buffer = RequireBuffer(field, record);
    buffer->RemoveOpen();
    if (buffer->OpenCount() > 0)
        return;
    uint8_t block[4];
    StoreU32(block, buffer->FirstBlock());
    StoreI32(Reference(field, record) + 4, buffer->Serial());
    Free(buffer);
    WriteFieldValue(field, record, block, 4, 0);
}

void TCursorBlobs::DiscardBlobChanges(uint8_t* record) {
    for (const FieldDescriptor& field : table_.DataFile().Fields()) {
        TBlobBuffer* buffer = BufferOf(field, record);
        if (buffer == nullptr || (buffer->Changed() && !buffer->Temporary()))
            continue;
        while (BufferOf(field, record) == buffer)
            CloseBlobField(field, record);
    }
}

void TCursorBlobs::RestoreBlockNumbers(uint8_t* record) {
    for (const FieldDescriptor& field : table_.DataFile().Fields()) {
        TBlobBuffer* buffer = BufferOf(field, record);
        if (buffer == nullptr)
            continue;
        uint8_t block[4];
        StoreU32(block, buffer->FirstBlock());
        WriteFieldValue(field, record, block, 4, 0);
        StoreI32(Reference(field, record) + 4, buffer->Serial());
    }
}

bool TCursorBlobs::WritePendingBlobs(uint8_t* record) {
    TDataFile& data = table_.DataFile();
    TBlobFile& blobs = table_.BlobFile();
    uint32_t record_number = 0;
    bool wrote = false;
    for (size_t slot : open_order_) {
        TBlobBuffer& buffer = *slots_[slot];
        if (!buffer.Changed() || buffer.Mode() == TBlobBuffer::bmOldValues)
            continue;
        if (record_number != 0 && buffer.RecordNumber() != record_number)
            RaiseError(ZOLVEK_MEMOCORRUPT);
        record_number = buffer.RecordNumber();
    }
    for (size_t slot : open_order_) {
        TBlobBuffer& buffer = *slots_[slot];
        if (!buffer.Changed() || buffer.Mode() == TBlobBuffer::bmOldValues)
            continue;
        int32_t serial = data.TakeNextBlobSerial();
        buffer.SetSerial(serial);
        if (buffer.Size() == 0) {
            blobs.FreeChain(requester_, buffer.FirstBlock(), serial);
            buffer.SetFirstBlock(0);
        } else if (Compresses(buffer.Field())) {
            // The buffer keeps the plain value; only the stored bytes are compressed.
            std::vector<uint8_t> packed = CompressBlobValue(buffer.Data().data(), buffer.Size(),
                buffer.Field().Compression, table_.TableName());
            buffer.SetFirstBlock(blobs.StoreChain(
                requester_, buffer.FirstBlock(), packed.data(), packed.size(), serial));
        } else {
            buffer.SetFirstBlock(blobs.StoreChain(
                requester_, buffer.FirstBlock(), buffer.Data().data(), buffer.Size(), serial));
        }
        buffer.SetChanged(false);
        wrote = true;
    }
    // Only the fields that hold a buffer's handle take its block number: buffers of other
    // records (opened by filters, say) must not reach this record.
    for (const FieldDescriptor& field : data.Fields()) {
        TBlobBuffer* buffer = BufferOf(field, record);
        if (buffer == nullptr || buffer->Mode() == TBlobBuffer::bmOldValues)
            continue;
        uint8_t block[4];
        StoreU32(block, buffer->FirstBlock());
        WriteFieldValue(field, record, block, 4, 0);
        StoreI32(Reference(field, record) + 4, buffer->Serial());
    }
    ReleaseBlobBuffers(false);
    return wrote;
}

void TCursorBlobs::ClearRecordBlobs(uint8_t* record) {
    for (const FieldDescriptor& field : table_.DataFile().Fields()) {
        if (field.DataType != kTypeBlob)
            continue;
        OpenBlobField(field, record, TBlobBuffer::bmWrite, true);
        TruncateBlobField(field, record, 0);
        if (TBlobBuffer* buffer = BufferOf(field, record))
            buffer->SetChanged(true); // an empty value still frees its chain
    }
}

void TCursorBlobs::ReleaseBlobBuffers(bool all) {
    for (size_t i = open_order_.size(); i-- > 0;) {
        size_t slot = open_order_[i];
        if (all || slots_[slot]->Temporary()) {
            slots_[slot].reset();
            open_order_.erase(open_order_.begin() + ptrdiff_t(i));
        }
    }
}

} // namespace zolvek
