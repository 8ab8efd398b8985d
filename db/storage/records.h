// The record image: the 25-byte record header and one slot per field (a null flag and the
// value), the same bytes on disk, in the cache and in every record buffer; and the reading and
// writing of field values on an image by the storage rules of each type.
// Thread-safety: pure functions over caller-owned images.
#pragma once

#include "db/storage/table_format.h"

#include <cstdint>
#include <string_view>

namespace zolvek {

// Record header layout:
//   0   1   status: 1 = deleted (the slot is on the free list), anything else = live
//   1   4   deleted: next free record, 0 = end of list; live: the record's own number, put
//           there in memory whenever the record is read
//   5   4   RecordID
//   9   16  RecordHash
inline constexpr uint8_t kRecordStatusLive = 0;
inline constexpr uint8_t kRecordStatusDeleted = 1;

inline uint8_t RecordStatus(const uint8_t* image) {
    return image[0];
}
inline bool RecordDeleted(const uint8_t* image) {
    return image[0] == kRecordStatusDeleted;
}
uint32_t RecordLink(const uint8_t* image);
void SetRecordLink(uint8_t* image, uint32_t link);
int32_t RecordIDOf(const uint8_t* image);
void SetRecordID(uint8_t* image, int32_t id);
inline const uint8_t* RecordHashOf(const uint8_t* image) {
    return image + 9;
}
// The RecordHash of an image: the digest of its field slots, with the slots of BLOB fields
// counted as empty (their values live in the BLOB file and change without the record).
TDigest ComputeRecordHash(
    std::span<const FieldDescriptor> fields, const uint8_t* image, size_t record_size);

// Reads a field of the image: returns true when the field is null. `value` receives the slot's
// PhysicalSize bytes (4 for a BLOB field: its first block number; the header bytes for the
// pseudo-fields, which are never null).
// Requires: `value` holds field.PhysicalSize bytes.
bool ReadFieldValue(const FieldDescriptor& field, const uint8_t* image, uint8_t* value);
// The field's null flag; pseudo-fields are never null.
bool FieldIsNull(const FieldDescriptor& field, const uint8_t* image);
// The value bytes of a field in the image (pseudo-fields: the header bytes).
inline const uint8_t* FieldValuePointer(const FieldDescriptor& field, const uint8_t* image) {
    bool pseudo = field.FieldNo == kRecordIDFieldNo || field.FieldNo == kRecordHashFieldNo;
    return image + field.FieldOffset + (pseudo ? 0 : 1);
}

// Writes a field: `value` null writes null. Strings take `length` characters (stopping at a zero
// byte), lose their trailing blanks unless fixed-length, and get the field's letter case under
// `locale_id`; an empty result is stored as null. A BLOB field takes a 4-byte first block
// number (positive: present, 0: empty; a negative handle of an open BLOB is present unless
// `blob_empty`). Other types take PhysicalSize bytes; booleans are stored as 0 or 1.
// Pseudo-fields are not written.
void WriteFieldValue(const FieldDescriptor& field, uint8_t* image, const uint8_t* value,
    size_t length, uint32_t locale_id, bool blob_empty = false);
void WriteStringField(
    const FieldDescriptor& field, uint8_t* image, std::string_view text, uint32_t locale_id);
// The text of a string field, up to its terminating zero; empty for null.
std::string_view StringFieldValue(const FieldDescriptor& field, const uint8_t* image);

} // namespace zolvek
