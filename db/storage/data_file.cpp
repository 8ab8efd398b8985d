// The data file: header, descriptors and record slots.
#include "db/storage/data_file.h"

#include "db/base/errors.h"
#include "db/base/value_text.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"

#include <algorithm>
#include <cstring>

namespace zolvek {

double LastUpdatedNow() {
    int32_t day = 0;
    int32_t ms = 0;
    LocalNow(day, ms);
    return EncodeLastUpdated(day, ms);
}

TRecord::TRecord(TDataFile& owner, size_t size)
    : TBuffer(owner, size) { }

void TRecord::Load(const uint8_t* disk) {
    TBuffer::Load(disk);
    if (TCipherContext* cipher = static_cast<TDataFile&>(Owner()).Cipher())
        cipher->DecryptBuffer(Data(), Size());
}

void TRecord::Save(uint8_t* disk) {
    TBuffer::Save(disk);
    if (TCipherContext* cipher = static_cast<TDataFile&>(Owner()).Cipher())
        cipher->EncryptBuffer(disk, Size());
}

TDataFile::TDataFile(TDataEngine& engine)
    : TBufferedFile(engine.OpenFiles(), engine.Errors())
    , engine_(engine) { }

std::unique_ptr<TBuffer> TDataFile::CreateUnit() {
    return std::make_unique<TRecord>(*this, header_.RecordSize);
}

uint16_t TDataFile::CorruptCode() const {
    return ZOLVEK_FILECORRUPT;
}

uint32_t TDataFile::CacheSizeInUnits() const {
    const TEngineSettings& settings = engine_.Settings();
    if (header_.RecordSize == 0)
        return settings.MaxTableDataBufferCount;
    uint32_t by_memory = settings.MaxTableDataBufferSize / (uint32_t(header_.RecordSize) + 36);
    return std::max<uint32_t>(1, std::min(by_memory, settings.MaxTableDataBufferCount));
}

uint32_t TDataFile::DefaultReadAheadLimit() const {
    return std::max<uint32_t>(1, Capacity() / 2);
}

void TDataFile::CheckRoomForOneMore() {
    const TEngineLimits& limits = engine_.Limits();
    uint64_t end_of_last = FirstUnitOffset() + uint64_t(PhysicalCount()) * header_.RecordSize;
    if (PhysicalCount() >= limits.max_record_count || end_of_last > limits.max_file_size)
        RaiseError(ZOLVEK_TABLEFULL);
}

void TDataFile::CountOneMoreUnit() {
    header_.NextRecordNo += 1;
    header_.HeaderModified = true;
}

void TDataFile::CreateFile() {
    Create();
    header_ = DataFileHeader::New(engine_.SignatureDigest());
    fields_.clear();
    descriptors_changed_ = false;
}

void TDataFile::ReadHeader() {
    uint8_t image[DataFileHeader::kSize];
    ReadAt(0, image, sizeof image);
    header_.Decode(image);
    header_.HeaderModified = false;
}

bool TDataFile::WriteHeader(bool force) {
    if (!force && !header_.HeaderModified)
        return false;
    header_.ChangeCount += 1;
    header_.LastUpdated = LastUpdatedNow();
    uint8_t image[DataFileHeader::kSize];
    header_.Encode(image);
    WriteAt(0, image, sizeof image);
    if (owner_ != nullptr)
        owner_->MarkChanged();
    header_.HeaderModified = false;
    return true;
}

void TDataFile::MarkHeaderChanged() {
    header_.ChangeCount += 1;
    header_.HeaderModified = true;
}

bool TDataFile::ReReadHeaderReportChange() {
    uint32_t before = header_.ChangeCount;
    ReadHeader();
    return header_.ChangeCount != before;
}

void TDataFile::ReadDescriptors() {
    // The header check has bounded FieldCount to 1..1024.
    std::vector<uint8_t> block(size_t(header_.FieldCount) * kDescriptorSize);
    ReadAt(kFileHeaderSize, block.data(), block.size());
    if (cipher_ != nullptr)
        cipher_->DecryptBuffer(block.data(), block.size());
    fields_ = DecodeFieldDescriptors(block.data(), header_.FieldCount);
    descriptors_changed_ = false;
}

bool TDataFile::WriteDescriptors(bool force) {
    if (!force && !descriptors_changed_)
        return false;
    std::vector<uint8_t> block(fields_.size() * kDescriptorSize);
    EncodeFieldDescriptors(fields_, block.data());
    if (cipher_ != nullptr)
        cipher_->EncryptBuffer(block.data(), block.size());
    WriteAt(kFileHeaderSize, block.data(), block.size());
    descriptors_changed_ = false;
    if (owner_ != nullptr)
        owner_->MarkChanged();
    return true;
}

void TDataFile::SetDescriptors(std::vector<FieldDescriptor> fields, std::string_view table_name) {
    RecordLayout layout = ComputeRecordLayout(fields, table_name);
    fields_ = std::move(fields);
    header_.FieldCount = uint16_t(fields_.size());
    header_.RecordSize = layout.RecordSize;
    header_.BlobFieldCount = int16_t(layout.BlobFieldCount);
    header_.HeaderModified = true;
    descriptors_changed_ = true;
}

void TDataFile::SetRecordCount(int32_t count) {
    if (header_.RecordCount == count)
        return;
    header_.RecordCount = count;
    header_.HeaderModified = true;
}

int32_t TDataFile::TakeNextRecordID() {
    header_.LastRecordID = NextCounterValue(header_.LastRecordID);
    header_.HeaderModified = true;
    return header_.LastRecordID;
}

void TDataFile::SetLastRecordID(int32_t id) {
    if (header_.LastRecordID == id)
        return;
    header_.LastRecordID = id;
    header_.HeaderModified = true;
}

void TDataFile::SetLastAutoIncValue(int32_t value) {
    if (header_.LastAutoIncValue == value)
        return;
    header_.LastAutoIncValue = value;
    header_.HeaderModified = true;
}

int32_t TDataFile::TakeNextAutoIncValue() {
    header_.LastAutoIncValue = NextCounterValue(header_.LastAutoIncValue);
    header_.HeaderModified = true;
    return header_.LastAutoIncValue;
}

int32_t TDataFile::TakeNextBlobSerial() {
    header_.LastBlobSerial = NextCounterValue(header_.LastBlobSerial);
    header_.HeaderModified = true;
    return header_.LastBlobSerial;
}

void TDataFile::SetFirstFreeRecord(int32_t record) {
    if (header_.FirstFreeRecord == record)
        return;
    header_.FirstFreeRecord = record;
    header_.HeaderModified = true;
}

uint32_t TDataFile::NextFreeRecordNumber() const {
    return header_.FirstFreeRecord != 0 ? uint32_t(header_.FirstFreeRecord)
                                        : uint32_t(header_.NextRecordNo);
}

TRecord* TDataFile::TakeSlot(TUnitRequester* requester) {
    uint32_t n = NextFreeRecordNumber();
    if (n == 0 || n > PhysicalCount() + 1)
        RaiseCorrupt();
    TBuffer* unit = GetUnit(requester, 0, n, false, rdNone);
    if (unit == nullptr)
        return nullptr;
    TRecord* record = static_cast<TRecord*>(unit);
    uint8_t* image = record->Data();
    if (header_.FirstFreeRecord != 0) {
        // Only a deleted slot may head the free list; anything else is a damaged file.
        if (!RecordDeleted(image)) {
            ReleaseUnit(record);
            RaiseCorrupt();
        }
        uint32_t next_free = RecordLink(image);
        if (next_free > PhysicalCount()) {
            ReleaseUnit(record);
            RaiseCorrupt();
        }
        SetFirstFreeRecord(int32_t(next_free));
    }
    std::memset(image, 0, record->Size());
    SetRecordLink(image, n);
    record->MarkDirty();
    return record;
}

void TDataFile::FreeSlot(TRecord* record) {
    uint8_t* image = record->Data();
    image[0] = kRecordStatusDeleted;
    SetRecordLink(image, header_.FirstFreeRecord != 0 ? uint32_t(header_.FirstFreeRecord) : 0);
    SetFirstFreeRecord(int32_t(record->Number()));
    record->MarkDirty();
}

TRecord* TDataFile::ReadRecord(
    TUnitRequester* requester, uint32_t n, bool read_ahead, TReadDirection direction) {
    if (n == 0 || n > PhysicalCount())
        RaiseCorrupt();
    TBuffer* unit = GetUnit(requester, 0, n, read_ahead, direction);
    if (unit == nullptr)
        return nullptr;
    if (!RecordDeleted(unit->Data()))
        SetRecordLink(unit->Data(), n); // not a change: the stored value of a live record is unused
    return static_cast<TRecord*>(unit);
}

} // namespace zolvek
