// Feeds arbitrary bytes to the table header codecs and checks as a table open would: data header,
// descriptor block, index header and descriptor area, BLOB header. Only engine errors may leave
// the checks; whatever passes them must hold the invariants the record and key code relies on.
//
// Input layout (missing bytes read as zero):
//   0       8  data file size (u64, little-endian)
//   8     512  data file header
//   520   512  index file header
//   1032  512  BLOB file header
//   1544  24576 index descriptor area
//   26120 ...  field descriptors (the data header's FieldCount of them, when present in full)
#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/storage/index_slots.h"
#include "db/storage/table_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace zolvek;

namespace {

constexpr size_t kSizeAt = 0;
constexpr size_t kDataHeaderAt = 8;
constexpr size_t kIndexHeaderAt = kDataHeaderAt + kFileHeaderSize;
constexpr size_t kBlobHeaderAt = kIndexHeaderAt + kFileHeaderSize;
constexpr size_t kAreaAt = kBlobHeaderAt + kFileHeaderSize;
constexpr size_t kDescriptorsAt = kAreaAt + kIndexDescriptorAreaSize;

constexpr SignatureDigests kDigests = {
    { 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF,
        0x01 },
    { 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE,
        0xAF },
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A copy of `size` bytes from `at`, zero-filled past the end of the input.
std::vector<uint8_t> Slice(const uint8_t* data, size_t length, size_t at, size_t size) {
    std::vector<uint8_t> slice(size);
    if (at < length) {
        std::memcpy(slice.data(), data + at, std::min(size, length - at));
    }
    return slice;
}

// Encoding a decoded image and decoding it again must give the same bytes.
template <typename Image> void CheckReencodes(const std::vector<uint8_t>& bytes) {
    Image first;
    first.Decode(bytes.data());
    std::vector<uint8_t> once(Image::kSize);
    first.Encode(once.data());
    Image second;
    second.Decode(once.data());
    std::vector<uint8_t> twice(Image::kSize);
    second.Encode(twice.data());
    Require(once == twice);
}

void ExerciseSlots(IndexSlots& slots, const std::vector<FieldDescriptor>& fields,
    int32_t index_page_size, const uint8_t* extra) {
    IndexContext context { fields, index_page_size, "fuzz" };
    try {
        IndexDescriptor descriptor;
        descriptor.Decode(extra);
        slots.AddSecondary(descriptor, context);
    } catch (const EZOLVEKEngineError&) { }
    try {
        IndexDescriptor descriptor;
        descriptor.Decode(extra);
        slots.Replace(0, "", std::span(descriptor.FieldList.data(), descriptor.FieldCount % 129),
            {}, context);
    } catch (const EZOLVEKEngineError&) { }
    if (slots.SecondaryIndexCount() > 0) {
        slots.Delete(1);
    }
    slots.ResetPrimary();
    // Whatever the operations left must still pass verification.
    try {
        VerifyIndexFileHeader(slots.Header, slots.Slots, fields, index_page_size, "fuzz");
    } catch (const EZOLVEKEngineError&) {
        std::abort();
    }
}

void OpenImages(const uint8_t* data, size_t length) {
    std::vector<uint8_t> size_bytes = Slice(data, length, kSizeAt, 8);
    uint64_t file_size = LoadU64(size_bytes.data());
    std::vector<uint8_t> data_image = Slice(data, length, kDataHeaderAt, kFileHeaderSize);
    std::vector<uint8_t> index_image = Slice(data, length, kIndexHeaderAt, kFileHeaderSize);
    std::vector<uint8_t> blob_image = Slice(data, length, kBlobHeaderAt, kFileHeaderSize);
    std::vector<uint8_t> area = Slice(data, length, kAreaAt, kIndexDescriptorAreaSize);

    CheckReencodes<DataFileHeader>(data_image);
    CheckReencodes<IndexFileHeader>(index_image);
    CheckReencodes<BlobFileHeader>(blob_image);
    CheckReencodes<IndexDescriptor>(area);
    CheckReencodes<FieldDescriptor>(area);

    DataFileHeader header;
    header.Decode(data_image.data());
    CheckDataFileHeader(header, kDigests, "fuzz");
    Require(header.FieldCount >= 1 && header.FieldCount <= kMaxFields);
    size_t block_size = size_t(header.FieldCount) * kDescriptorSize;
    if (length < kDescriptorsAt || length - kDescriptorsAt < block_size) {
        return; // the descriptor read would come back short
    }
    std::vector<FieldDescriptor> fields
        = DecodeFieldDescriptors(data + kDescriptorsAt, header.FieldCount);

    IndexSlots slots;
    slots.Header.Decode(index_image.data());
    CheckIndexFileHeader(slots.Header, kDigests, "fuzz");
    slots.DecodeArea(area.data());
    BlobFileHeader blob;
    blob.Decode(blob_image.data());
    if (header.BlobFieldCount > 0) {
        CheckBlobFileHeader(blob, kDigests, "fuzz");
    }

    VerifyDataFileHeader(
        header, fields, file_size, [](uint32_t id) { return id % 2 == 0; }, "fuzz");
    // Every field lies inside the record, and lookups find what verification accepted.
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldDescriptor& field = fields[i];
        Require(uint32_t(field.FieldOffset) + field.PhysicalSize + 1 <= header.RecordSize);
        Require(FindField(fields, int32_t(i + 1)) == &field);
        int32_t number = FieldNumber(fields, field.Name);
        Require(number == int32_t(i + 1) || number < 0);
    }
    Require(ComputeRecordLayout(fields, "fuzz").RecordSize == header.RecordSize);

    VerifyIndexFileHeader(slots.Header, slots.Slots, fields, header.IndexPageSize, "fuzz");
    for (size_t s = 0; s <= slots.SecondaryIndexCount(); ++s) {
        Require(slots.Slots[s].KeyLength >= 1 && slots.Slots[s].KeyLength <= kMaxKeyLength);
        Require(slots.Slots[s].FieldCount >= 1 && slots.Slots[s].FieldCount <= kMaxIndexFields);
    }
    if (header.BlobFieldCount > 0) {
        VerifyBlobFileHeader(blob, "fuzz");
    }
    ExerciseSlots(slots, fields, header.IndexPageSize, area.data() + kDescriptorSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        OpenImages(data, size);
    } catch (const EZOLVEKEngineError&) { }
    return 0;
}
