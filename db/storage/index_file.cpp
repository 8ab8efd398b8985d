// The index file: header, descriptor slots and page units.
#include "db/storage/index_file.h"

#include "db/base/errors.h"
#include "db/storage/engine.h"
#include "db/storage/index_page.h"

#include <algorithm>
#include <vector>

namespace zolvek {

TIndexFile::TIndexFile(TDataEngine& engine, const DataFileHeader& data_header)
    : TBufferedFile(engine.OpenFiles(), engine.Errors())
    , engine_(engine)
    , data_header_(data_header) { }

std::unique_ptr<TBuffer> TIndexFile::CreateUnit() {
    return std::make_unique<TPage>(*this);
}

uint16_t TIndexFile::CorruptCode() const {
    return ZOLVEK_INDEXCORRUPT;
}

uint32_t TIndexFile::CacheSizeInUnits() const {
    const TEngineSettings& settings = engine_.Settings();
    uint32_t unit = uint32_t(std::max(data_header_.IndexPageSize, kIndexPageHeaderSize))
        - kIndexPageHeaderSize + 56;
    return std::max<uint32_t>(
        1, std::min(settings.MaxTableIndexBufferSize / unit, settings.MaxTableIndexBufferCount));
}

void TIndexFile::CheckRoomForOneMore() {
    uint64_t end_of_last = FirstUnitOffset() + uint64_t(UnitCount()) * UnitSizeOnDisk();
    if (end_of_last > engine_.Limits().max_file_size)
        RaiseError(ZOLVEK_TABLEFULL);
}

void TIndexFile::CountOneMoreUnit() {
    index_.Header.NextPageNo += 1;
    index_.Header.HeaderModified = true;
}

void TIndexFile::CreateFile() {
    Create();
    index_.Header = IndexFileHeader::New(engine_.SignatureDigest());
    index_.Slots = {};
    index_.AreaChanged = true;
}

void TIndexFile::ReadHeader() {
    uint8_t image[IndexFileHeader::kSize];
    ReadAt(0, image, sizeof image);
    if (cipher_ != nullptr)
        cipher_->DecryptBuffer(image, sizeof image);
    index_.Header.Decode(image);
    index_.Header.HeaderModified = false;
}

bool TIndexFile::WriteHeader(bool force) {
    if (!force && !index_.Header.HeaderModified)
        return false;
    index_.Header.ChangeCount += 1;
    uint8_t image[IndexFileHeader::kSize];
    index_.Header.Encode(image);
    if (cipher_ != nullptr)
        cipher_->EncryptBuffer(image, sizeof image);
    WriteAt(0, image, sizeof image);
    if (owner_ != nullptr)
        owner_->MarkChanged();
    index_.Header.HeaderModified = false;
    return true;
}

void TIndexFile::MarkHeaderChanged() {
    index_.Header.ChangeCount += 1;
    index_.Header.HeaderModified = true;
}

bool TIndexFile::ReReadHeaderReportChange() {
    uint32_t before = index_.Header.ChangeCount;
    ReadHeader();
    return index_.Header.ChangeCount != before;
}

void TIndexFile::ReadDescriptorArea() {
    std::vector<uint8_t> area(kIndexDescriptorAreaSize);
    ReadAt(kFileHeaderSize, area.data(), area.size());
    if (cipher_ != nullptr)
        cipher_->DecryptBuffer(area.data(), area.size());
    index_.DecodeArea(area.data());
    index_.AreaChanged = false;
}

bool TIndexFile::WriteDescriptorArea(bool force) {
    if (!force && !index_.AreaChanged)
        return false;
    std::vector<uint8_t> area(kIndexDescriptorAreaSize);
    index_.EncodeArea(area.data());
    if (cipher_ != nullptr)
        cipher_->EncryptBuffer(area.data(), area.size());
    WriteAt(kFileHeaderSize, area.data(), area.size());
    index_.AreaChanged = false;
    if (owner_ != nullptr)
        owner_->MarkChanged();
    return true;
}

void TIndexFile::MarkDescriptorsChanged() {
    index_.AreaChanged = true;
    index_.Header.HeaderModified = true;
}

void TIndexFile::SetFirstFreePage(int32_t page) {
    if (index_.Header.FirstFreePage == page)
        return;
    index_.Header.FirstFreePage = page;
    index_.Header.HeaderModified = true;
}

} // namespace zolvek
