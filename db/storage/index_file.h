// TIndexFile: the index file of a table — its header (free page list, page count, root pages)
// and the 32 index descriptor slots, and its pages as cached units (TPage, index_page.h; the
// kind a page is requested with is the index slot whose parameters it is unpacked with).
// Thread-safety: used under the owning table object's locks. Lifetime: owned by the table.
#pragma once

#include "db/storage/buffered_file.h"
#include "db/storage/cipher.h"
#include "db/storage/index_slots.h"
#include "db/storage/table_format.h"

#include <algorithm>
#include <array>

namespace zolvek {

class TDataEngine;

class TIndexFile : public TBufferedFile {
public:
    TIndexFile(TDataEngine& engine, const DataFileHeader& data_header);

    TDataEngine& Engine() const { return engine_; }
    void SetCipher(TCipherContext* cipher) { cipher_ = cipher; }
    TCipherContext* Cipher() const { return cipher_; }

    IndexFileHeader& Header() { return index_.Header; }
    const IndexFileHeader& Header() const { return index_.Header; }
    // The header with the descriptor slots and their operations.
    IndexSlots& Index() { return index_; }
    const IndexSlots& Index() const { return index_; }
    std::array<IndexDescriptor, kIndexSlotCount>& Slots() { return index_.Slots; }
    const std::array<IndexDescriptor, kIndexSlotCount>& Slots() const { return index_.Slots; }
    // What the slot operations check fields and key lengths against.
    IndexContext Context(
        std::span<const FieldDescriptor> fields, std::string_view table_name) const {
        return IndexContext { fields, data_header_.IndexPageSize, table_name };
    }
    int32_t IndexPageSize() const { return data_header_.IndexPageSize; }

    void CreateFile();
    void ReadHeader();
    bool WriteHeader(bool force);
    void MarkHeaderChanged();
    bool ReReadHeaderReportChange();
    void ResetHeader() { index_.Header.Reset(); }

    void ReadDescriptorArea();
    bool WriteDescriptorArea(bool force = false);
    void MarkDescriptorsChanged();
    bool DescriptorsChanged() const { return index_.AreaChanged; }

    void SetRootPage(uint8_t slot, int32_t page) { index_.SetRootPage(slot, page); }
    void SetTextRootPage(uint8_t slot, int32_t page) { index_.SetTextRootPage(slot, page); }
    void SetFirstFreePage(int32_t page);

    // TBufferedFile
    uint32_t UnitCount() const override {
        return index_.Header.NextPageNo > 0 ? uint32_t(index_.Header.NextPageNo - 1) : 0;
    }
    size_t UnitSizeOnDisk() const override { return size_t(data_header_.IndexPageSize); }
    // The page data area: what a page holds besides its 13-byte header.
    size_t PayloadSize() const override {
        return size_t(std::max(data_header_.IndexPageSize, kIndexPageHeaderSize))
            - size_t(kIndexPageHeaderSize);
    }
    uint64_t FirstUnitOffset() const override { return kFirstIndexPageOffset; }
    uint32_t CacheSizeInUnits() const override;
    int ScanCount() const override { return 2; }
    uint32_t GrowthStep() const override { return 4; }

protected:
    std::unique_ptr<TBuffer> CreateUnit() override;
    uint16_t CorruptCode() const override;
    void CheckRoomForOneMore() override;
    void CountOneMoreUnit() override;

private:
    TDataEngine& engine_;
    const DataFileHeader& data_header_;
    TCipherContext* cipher_ = nullptr;
    IndexSlots index_;
};

} // namespace zolvek
