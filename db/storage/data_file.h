// TDataFile: the data file of a table — its header and field descriptors, and its records as
// cached units (TRecord) with the free list of deleted slots, the room check and the counters
// that hand out record identifiers.
// Thread-safety: used under the owning table object's locks. Lifetime: owned by the table.
#pragma once

#include "db/storage/buffered_file.h"
#include "db/storage/cipher.h"
#include "db/storage/table_format.h"

#include <vector>

namespace zolvek {

class TDataEngine;
class TDataFile;

// A cached record image; deciphered on load and enciphered on save in encrypted tables.
class TRecord : public TBuffer {
public:
    TRecord(TDataFile& owner, size_t size);
    void Load(const uint8_t* disk) override;
    void Save(uint8_t* disk) override;
};

// The current local date and time as a header's LastUpdated value.
double LastUpdatedNow();

class TDataFile : public TBufferedFile {
public:
    explicit TDataFile(TDataEngine& engine);

    TDataEngine& Engine() const { return engine_; }
    void SetCipher(TCipherContext* cipher) { cipher_ = cipher; }
    TCipherContext* Cipher() const { return cipher_; }

    DataFileHeader& Header() { return header_; }
    const DataFileHeader& Header() const { return header_; }
    std::vector<FieldDescriptor>& Fields() { return fields_; }
    const std::vector<FieldDescriptor>& Fields() const { return fields_; }

    // Creates the file with a fresh header (not yet written).
    void CreateFile();
    void ReadHeader();
    // Writes the header when forced or modified: ChangeCount + 1, LastUpdated = now.
    bool WriteHeader(bool force);
    // Counts a change without writing: ChangeCount + 1, HeaderModified.
    void MarkHeaderChanged();
    // Re-reads the header; true when its ChangeCount moved.
    bool ReReadHeaderReportChange();
    void ResetHeader() { header_.Reset(); }

    // The descriptor block: read after the header was checked, written when changed.
    void ReadDescriptors();
    bool WriteDescriptors(bool force = false);
    // Creation: takes laid-out descriptors and computes RecordSize and BlobFieldCount.
    void SetDescriptors(std::vector<FieldDescriptor> fields, std::string_view table_name);
    bool DescriptorsChanged() const { return descriptors_changed_; }

    // Counters (each setter that changes a value marks the header modified).
    void SetRecordCount(int32_t count);
    void IncrementRecordCount() { SetRecordCount(header_.RecordCount + 1); }
    void DecrementRecordCount() { SetRecordCount(header_.RecordCount - 1); }
    int32_t TakeNextRecordID();
    void SetLastRecordID(int32_t id);
    void SetLastAutoIncValue(int32_t value);
    int32_t TakeNextAutoIncValue();
    int32_t TakeNextBlobSerial();
    void SetFirstFreeRecord(int32_t record);
    uint32_t PhysicalCount() const {
        return header_.NextRecordNo > 0 ? uint32_t(header_.NextRecordNo - 1) : 0;
    }

    // The slot an insert will take: the head of the free list, else a new one at the end.
    uint32_t NextFreeRecordNumber() const;
    // Takes that slot (appending after the room check when the free list is empty) and puts
    // its number into the image; pinned.
    TRecord* TakeSlot(TUnitRequester* requester);
    // Pushes a pinned record's slot onto the free list.
    void FreeSlot(TRecord* record);
    // Record n, pinned, with its number stamped into the cached image when live; nullptr when
    // the requester reports that the table changed.
    TRecord* ReadRecord(TUnitRequester* requester, uint32_t n, bool read_ahead = false,
        TReadDirection direction = rdNone);

    // TBufferedFile
    uint32_t UnitCount() const override { return PhysicalCount(); }
    size_t UnitSizeOnDisk() const override { return header_.RecordSize; }
    size_t PayloadSize() const override { return header_.RecordSize; }
    uint64_t FirstUnitOffset() const override { return FirstRecordOffset(header_.FieldCount); }
    uint32_t CacheSizeInUnits() const override;
    uint32_t DefaultReadAheadLimit() const override;
    int ScanCount() const override { return 4; }
    uint32_t GrowthStep() const override { return 64; }

protected:
    std::unique_ptr<TBuffer> CreateUnit() override;
    uint16_t CorruptCode() const override;
    void CheckRoomForOneMore() override;
    void CountOneMoreUnit() override;

private:
    TDataEngine& engine_;
    TCipherContext* cipher_ = nullptr;
    DataFileHeader header_;
    std::vector<FieldDescriptor> fields_;
    bool descriptors_changed_ = false;
};

} // namespace zolvek
