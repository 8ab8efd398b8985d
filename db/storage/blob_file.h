// TBlobFile: the BLOB file of a table — fixed-size blocks (TBlock) chained per value, a free
// list of blocks, and the chain operations that load, store and free a whole value with serial
// and link checks; TBlobBuffer, one open value in memory; and the zlib compression of values.
// Thread-safety: used under the owning table object's locks (chains are written only under its
// write lock). Lifetime: the file is owned by its table, a buffer by the cursor that opened it.
#pragma once

#include "db/base/safe_object.h"
#include "db/storage/buffered_file.h"
#include "db/storage/cipher.h"
#include "db/storage/table_format.h"

#include <cstdint>
#include <vector>

namespace zolvek {

class TDataEngine;
class TBlobFile;

inline constexpr size_t kBlobBlockHeaderSize = 18;

// One block: an 18-byte header kept in fields and the payload.
//   0  4  previous block of the chain (0 for the first)
//   4  4  next block of the chain (0 = last); in a free block the next free block
//   8  2  payload bytes used
//  10  4  BLOB serial of the value
//  14  4  first block only: total stored size of the value
//  18  .  payload (BlobBlockSize - 18 bytes)
// An encrypted table enciphers the whole block as one buffer.
class TBlock : public TBuffer {
public:
    TBlock(TBlobFile& owner, size_t payload_size);

    uint32_t Previous() const { return previous_; }
    uint32_t Next() const { return next_; }
    uint16_t Used() const { return used_; }
    int32_t Serial() const { return serial_; }
    uint32_t TotalSize() const { return total_size_; }
    void SetPrevious(uint32_t block);
    void SetNext(uint32_t block);
    void SetSerial(int32_t serial);
    void SetTotalSize(uint32_t size);

    void Initialise(int kind) override;
    void Load(const uint8_t* disk) override;
    void Save(uint8_t* disk) override;

private:
    friend class TBlobFile;
    uint32_t previous_ = 0;
    uint32_t next_ = 0;
    uint16_t used_ = 0;
    int32_t serial_ = 0;
    uint32_t total_size_ = 0;
};

// Deflates a value at a zlib level (1..9) in the zlib stream format; 15001 on failure.
std::vector<uint8_t> CompressBlobValue(
    const uint8_t* data, size_t size, int level, std::string_view table);
// Inflates a stored value; 15002 on failure (also for a value that would exceed 2 GiB).
std::vector<uint8_t> DecompressBlobValue(const uint8_t* data, size_t size, std::string_view table);

class TBlobFile : public TBufferedFile {
public:
    TBlobFile(TDataEngine& engine, const DataFileHeader& data_header);

    void SetCipher(TCipherContext* cipher) { cipher_ = cipher; }
    TCipherContext* Cipher() const { return cipher_; }
    BlobFileHeader& Header() { return header_; }
    const BlobFileHeader& Header() const { return header_; }
    size_t BlockPayloadCapacity() const { return PayloadSize(); }

    void CreateFile();
    void ReadHeader();
    bool WriteHeader(bool force);
    void MarkHeaderChanged();
    bool ReReadHeaderReportChange();
    void ResetHeader() { header_.Reset(); }

    // Block operations. Take and Get return pinned blocks; Get returns nullptr when the
    // requester reports that the table changed.
    TBlock* TakeBlock(TUnitRequester* requester);
    void FreeBlock(TBlock* block);
    TBlock* GetBlock(TUnitRequester* requester, uint32_t n, uint32_t read_ahead_blocks = 0);
    size_t ReadPayload(const TBlock* block, size_t count, uint8_t* destination) const;
    void WritePayload(TBlock* block, size_t count, const uint8_t* source);

    // Chain operations.
    enum class TLoadResult { Loaded, Changed };
    // Reads the value whose chain starts at `first_block` with `serial` (stored bytes, not yet
    // decompressed). Changed: a block carries another serial (the value was rewritten).
    // `read_ahead_blocks` asks for that many blocks with the first one (a caller that reads the
    // values of consecutive records, whose chains follow each other in the file).
    TLoadResult LoadChain(TUnitRequester* requester, uint32_t first_block, int32_t serial,
        std::vector<uint8_t>& value, uint32_t read_ahead_blocks = 0);
    // Writes `value` as the chain of `first_block` (0: a new chain), reusing the old chain
    // block by block and freeing what is left of it; returns the first block.
    uint32_t StoreChain(TUnitRequester* requester, uint32_t first_block, const uint8_t* value,
        size_t size, int32_t serial);
    // Frees a chain front to back, stamping each next block with `serial` before freeing the
    // one before it, so the freed blocks head the free list in reverse chain order.
    void FreeChain(TUnitRequester* requester, uint32_t first_block, int32_t serial);

    // TBufferedFile
    uint32_t UnitCount() const override {
        return header_.NextBlockNo > 0 ? uint32_t(header_.NextBlockNo - 1) : 0;
    }
    size_t UnitSizeOnDisk() const override { return size_t(data_header_.BlobBlockSize); }
    size_t PayloadSize() const override {
        return size_t(data_header_.BlobBlockSize) - kBlobBlockHeaderSize;
    }
    uint64_t FirstUnitOffset() const override { return kFileHeaderSize; }
    uint32_t CacheSizeInUnits() const override;
    int ScanCount() const override { return 4; }
    uint32_t GrowthStep() const override { return 32; }

protected:
    std::unique_ptr<TBuffer> CreateUnit() override;
    uint16_t CorruptCode() const override;
    void CheckRoomForOneMore() override;
    void CountOneMoreUnit() override;

private:
    TBlock* ChainBlock(TUnitRequester* requester, uint32_t n, uint32_t read_ahead_blocks);
    bool ValidBlockNumber(uint32_t n) const { return n >= 1 && n <= UnitCount(); }

    TDataEngine& engine_;
    const DataFileHeader& data_header_;
    TCipherContext* cipher_ = nullptr;
    BlobFileHeader header_;
};

// One open BLOB value of one record buffer of a cursor.
class TBlobBuffer : public TSafeObject {
public:
    enum TMode : uint8_t { bmRead = 1, bmWrite = 2, bmOldValues = 3 };

    TBlobBuffer(const FieldDescriptor& field, uint32_t first_block, int32_t serial,
        uint32_t record_number, TMode mode, bool temporary);

    const FieldDescriptor& Field() const { return field_; }
    uint32_t FirstBlock() const { return first_block_; }
    void SetFirstBlock(uint32_t block) { first_block_ = block; }
    int32_t Serial() const { return serial_; }
    void SetSerial(int32_t serial) { serial_ = serial; }
    uint32_t RecordNumber() const { return record_number_; }
    TMode Mode() const { return mode_; }
    bool Temporary() const { return temporary_; }
    void SetTemporary(bool temporary) { temporary_ = temporary; }
    bool Changed() const { return changed_; }
    void SetChanged(bool changed) { changed_ = changed; }
    uint32_t OpenCount() const { return open_count_; }
    void AddOpen() { ++open_count_; }
    void RemoveOpen() { open_count_ = open_count_ > 0 ? open_count_ - 1 : 0; }

    std::vector<uint8_t>& Data() { return data_; }
    const std::vector<uint8_t>& Data() const { return data_; }
    size_t Size() const { return data_.size(); }
    // Changes the size; marks the buffer changed when the size differs.
    void Resize(size_t size);
    void KeepOldCopy() { old_data_ = data_; }
    const std::vector<uint8_t>& OldData() const { return old_data_; }

private:
    FieldDescriptor field_;
    uint32_t first_block_;
    int32_t serial_;
    uint32_t record_number_;
    TMode mode_;
    bool temporary_;
    bool changed_ = false;
    uint32_t open_count_ = 1;
    std::vector<uint8_t> data_;
    std::vector<uint8_t> old_data_;
};

} // namespace zolvek
