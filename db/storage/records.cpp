// Field storage on record images.
#include "db/storage/records.h"

#include "db/base/bytes.h"
#include "db/base/locale.h"
#include "db/storage/digest.h"

#include <algorithm>
#include <cstring>

namespace zolvek {

TDigest ComputeRecordHash(
    std::span<const FieldDescriptor> fields, const uint8_t* image, size_t record_size) {
    bool has_blobs = std::any_of(fields.begin(), fields.end(),
        [](const FieldDescriptor& field) { return field.DataType == kTypeBlob; });
    if (!has_blobs)
        return DigestBuffer(image + kRecordHeaderSize, record_size - kRecordHeaderSize);
    std::vector<uint8_t> copy(image, image + record_size);
    for (const FieldDescriptor& field : fields) {
        if (field.DataType == kTypeBlob)
            std::memset(copy.data() + field.FieldOffset, 0, size_t(field.PhysicalSize) + 1);
    }
    return DigestBuffer(copy.data() + kRecordHeaderSize, record_size - kRecordHeaderSize);
}

namespace {

bool IsPseudoField(const FieldDescriptor& field) {
    return field.FieldNo == kRecordIDFieldNo || field.FieldNo == kRecordHashFieldNo;
}

} // namespace

uint32_t RecordLink(const uint8_t* image) {
    return LoadU32(image + 1);
}
void SetRecordLink(uint8_t* image, uint32_t link) {
    StoreU32(image + 1, link);
}
int32_t RecordIDOf(const uint8_t* image) {
    return LoadI32(image + 5);
}
void SetRecordID(uint8_t* image, int32_t id) {
    StoreI32(image + 5, id);
}

bool FieldIsNull(const FieldDescriptor& field, const uint8_t* image) {
    if (IsPseudoField(field))
        return false;
    return (image[field.FieldOffset] ^ 1) != 0;
}

bool ReadFieldValue(const FieldDescriptor& field, const uint8_t* image, uint8_t* value) {
    if (IsPseudoField(field)) {
        std::memcpy(value, image + field.FieldOffset, field.PhysicalSize);
        return false;
    }
    size_t size = field.DataType == kTypeBlob ? 4 : field.PhysicalSize;
    std::memcpy(value, image + field.FieldOffset + 1, size);
    return FieldIsNull(field, image);
}

std::string_view StringFieldValue(const FieldDescriptor& field, const uint8_t* image) {
    if (FieldIsNull(field, image))
        return {};
    const char* text = reinterpret_cast<const char*>(image + field.FieldOffset + 1);
    size_t capacity = field.PhysicalSize > 0 ? field.PhysicalSize - 1u : 0u;
    return std::string_view(text, strnlen(text, capacity));
}

void WriteStringField(
    const FieldDescriptor& field, uint8_t* image, std::string_view text, uint32_t locale_id) {
    WriteFieldValue(
        field, image, reinterpret_cast<const uint8_t*>(text.data()), text.size(), locale_id);
}

void WriteFieldValue(const FieldDescriptor& field, uint8_t* image, const uint8_t* value,
    size_t length, uint32_t locale_id, bool blob_empty) {
    if (IsPseudoField(field))
        return;
    uint8_t* flag = image + field.FieldOffset;
    uint8_t* slot = flag + 1;
    if (value == nullptr) {
        std::memset(slot, 0, field.DataType == kTypeBlob ? 4 : field.PhysicalSize);
        *flag = 0;
        return;
    }
    switch (field.DataType) {
    case kTypeString: {
        std::memset(slot, 0, field.PhysicalSize);
        size_t capacity = field.PhysicalSize > 0 ? field.PhysicalSize - 1u : 0u;
        size_t n = std::min(length, capacity);
        n = strnlen(reinterpret_cast<const char*>(value), n);
        std::memcpy(slot, value, n);
        if (field.SubType != kSubTypeFixed && field.SubType != kSubTypeWide) {
            while (n > 0 && slot[n - 1] == ' ')
                slot[--n] = 0;
        }
        char* text = reinterpret_cast<char*>(slot);
        if (field.CharCase == fcUpperCase)
            UpperCaseLocale(locale_id, text, n);
        else if (field.CharCase == fcLowerCase)
            LowerCaseLocale(locale_id, text, n);
        *flag = n > 0 ? 1 : 0;
        return;
    }
    case kTypeBlob: {
        std::memcpy(slot, value, 4);
        int32_t first_block = LoadI32(slot);
        *flag = first_block > 0 || (first_block < 0 && !blob_empty) ? 1 : 0;
        return;
    }
    case kTypeBoolean:
        StoreU16(slot, LoadU16(value) != 0 ? 1 : 0);
        *flag = 1;
        return;
    default:
        std::memcpy(slot, value, field.PhysicalSize);
        *flag = 1;
        return;
    }
}

} // namespace zolvek
