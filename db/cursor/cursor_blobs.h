// The open BLOB values of one cursor: opening a BLOB field of a record buffer loads the whole
// value into a TBlobBuffer and puts the buffer's (negated) handle into the field; reads, writes
// and truncation work on the buffer; a post writes the changed values as block chains with new
// serials and puts the block numbers back.
// Thread-safety: used by the owning cursor's thread. Lifetime: owned by the cursor; the buffers
// live until their last close, a post releases temporary ones, closing the cursor frees all.
#pragma once

#include "db/storage/blob_file.h"
#include "db/storage/table.h"

#include <array>
#include <memory>
#include <vector>

namespace zolvek {

class TCursorBlobs {
public:
    static constexpr size_t kMaxOpenBlobs = 128;

    TCursorBlobs(TDataTable& table, TUnitRequester* requester);
    ~TCursorBlobs();

    // Loads the field's value (or shares the buffer already open for it) and returns its size.
    size_t OpenBlobField(
        const FieldDescriptor& field, uint8_t* record, TBlobBuffer::TMode mode, bool temporary);
    size_t ReadBlobBytes(const FieldDescriptor& field, const uint8_t* record, size_t offset,
        uint8_t* destination, size_t count);
    void WriteBlobBytes(const FieldDescriptor& field, uint8_t* record, size_t offset,
        const uint8_t* source, size_t count);
    void TruncateBlobField(const FieldDescriptor& field, uint8_t* record, size_t size);
    size_t BlobFieldSize(const FieldDescriptor& field, const uint8_t* record);
    void CloseBlobField(const FieldDescriptor& field, uint8_t* record);
    // Closes the record's open BLOBs that hold no changes or were opened by the engine itself.
    void DiscardBlobChanges(uint8_t* record);
    // The whole value of an open BLOB (for filters and copies).
    const std::vector<uint8_t>& BlobValue(const FieldDescriptor& field, const uint8_t* record);

    // Writes every changed buffer (new serial, chain stored or freed) and puts block numbers
    // into `record` in place of the handles; releases temporary buffers. True when anything
    // was written. Runs inside the post's write lock.
    bool WritePendingBlobs(uint8_t* record);
    // Opens every BLOB field of `record` for writing and empties it, so that the next
    // WritePendingBlobs frees the record's chains.
    void ClearRecordBlobs(uint8_t* record);
    // Puts the stored block number back into every field of `record` that holds a handle.
    void RestoreBlockNumbers(uint8_t* record);
    void ReleaseBlobBuffers(bool all);
    size_t OpenCount() const;

    // The buffer whose handle a field holds, or nullptr.
    TBlobBuffer* BufferOf(const FieldDescriptor& field, const uint8_t* record) const;

private:
    TBlobBuffer* RequireBuffer(const FieldDescriptor& field, const uint8_t* record) const;
    int32_t HandleOf(const TBlobBuffer* buffer) const;
    bool LoadBlob(TBlobBuffer& buffer);
    bool LoadBlobOrChanged(
        TBlobBuffer& buffer, const FieldDescriptor& field, const uint8_t* record);
    void StoreHandle(const FieldDescriptor& field, uint8_t* record, const TBlobBuffer& buffer);
    void Free(TBlobBuffer* buffer);
    [[noreturn]] void RaiseError(uint16_t code) const { table_.RaiseError(code); }

    TDataTable& table_;
    TUnitRequester* requester_;
    // Slot k holds the buffer of handle k + 1; a field holds -(k + 1).
    std::array<std::unique_ptr<TBlobBuffer>, kMaxOpenBlobs> slots_;
    std::vector<size_t> open_order_; // slots in opening order
    uint32_t next_sequential_block_ = 0; // where the chain last loaded ended, plus one
};

} // namespace zolvek
