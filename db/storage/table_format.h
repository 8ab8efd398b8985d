// The on-disk layout of a table's three file headers, its field descriptors and its index
// descriptors, with their byte codecs, the record layout rules, the naming rules of fields,
// indexes and table files, field lookup, and the checks that refuse damaged headers at open.
// Thread-safety: everything here is pure or works on caller-owned values; no shared state.
// Decoding never fails and never reads outside the given image; checking and verification
// raise EZOLVEKEngineError through the process's engine error state.
#pragma once

#include "db/storage/digest.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

// ---- Sizes and positions in the files ----

inline constexpr size_t kFileHeaderSize = 512;
inline constexpr size_t kDescriptorSize = 768;
inline constexpr size_t kIndexSlotCount = 32;
inline constexpr size_t kIndexDescriptorAreaSize = kIndexSlotCount * kDescriptorSize; // 24576
inline constexpr uint64_t kFirstIndexPageOffset = kFileHeaderSize + kIndexDescriptorAreaSize;
inline constexpr uint8_t kFormatVersion = 6;
// Status byte, record number or free link, RecordID and RecordHash.
inline constexpr uint16_t kRecordHeaderSize = 25;
// Header bytes of an index page; the rest of the page holds entries.
inline constexpr int32_t kIndexPageHeaderSize = 13;

// ---- Engine type codes (DataType) and the sub types that change meaning ----

inline constexpr uint8_t kTypeString = 1;
inline constexpr uint8_t kTypeDate = 2;
inline constexpr uint8_t kTypeBlob = 3;
inline constexpr uint8_t kTypeBoolean = 4;
inline constexpr uint8_t kTypeSmallInt = 5;
inline constexpr uint8_t kTypeInteger = 6;
inline constexpr uint8_t kTypeFloat = 7;
inline constexpr uint8_t kTypeBcd = 8;
inline constexpr uint8_t kTypeBytes = 9;
inline constexpr uint8_t kTypeTime = 10;
inline constexpr uint8_t kTypeDateTime = 11;
inline constexpr uint8_t kTypeWord = 12;
inline constexpr uint8_t kTypeVarBytes = 15;
inline constexpr uint8_t kTypeLargeInt = 18;

inline constexpr uint8_t kSubTypeMoney = 21; // float
inline constexpr uint8_t kSubTypeMemo = 22; // BLOB
inline constexpr uint8_t kSubTypeBinary = 23; // BLOB
inline constexpr uint8_t kSubTypeAutoInc = 29; // 32-bit integer
inline constexpr uint8_t kSubTypeFixed = 31; // string, not right-trimmed
inline constexpr uint8_t kSubTypeWide = 32; // string, two bytes a character
inline constexpr uint8_t kSubTypeGuid = 50; // string
inline constexpr uint8_t kSubTypeRecordHash = 100; // the RecordHash pseudo-field

// True for the type codes that have storage rules (1..12, 15, 18).
bool IsKnownFieldType(uint8_t data_type);

// ---- Enumerations kept in descriptors ----

enum TIndexCompression : uint8_t {
    icNone = 0,
    icDuplicateByte = 1,
    icTrailingByte = 2,
    icFull = 3
};
enum TFieldCharCase : uint8_t { fcNoChange = 0, fcLowerCase = 1, fcUpperCase = 2 };

// ---- Pseudo-fields and index slots ----

// As stored in index field lists, and as callers address them (-1, -2).
inline constexpr uint16_t kRecordIDFieldNo = 0xFFFF;
inline constexpr uint16_t kRecordHashFieldNo = 0xFFFE;
inline constexpr int32_t kRecordIDField = -1;
inline constexpr int32_t kRecordHashField = -2;

inline constexpr uint8_t kPrimaryIndexSlot = 0;
inline constexpr uint8_t kTextIndexSlot = 31;
inline constexpr uint8_t kNoIndexSlot = 255;

// ---- Limits ----

inline constexpr uint16_t kMaxFields = 1024;
inline constexpr uint16_t kMaxBlobFields = 128;
inline constexpr uint8_t kMaxSecondaryIndexes = 30;
inline constexpr uint8_t kMaxIndexFields = 128;
// The largest sum of key field sizes, and the size of every key buffer. Creation counts the
// RecordID suffix of a non-unique index against it, so a whole key always fits one buffer.
inline constexpr uint16_t kMaxKeyLength = 4106;
inline constexpr uint16_t kNonUniqueKeySuffix = 4;
inline constexpr uint32_t kMaxRecordSize = 65534;
inline constexpr int32_t kMinIndexPageSize = 1024;
inline constexpr int32_t kMaxIndexPageSize = 16384;
inline constexpr int32_t kMinBlobBlockSize = 64;
inline constexpr int32_t kMaxBlobBlockSize = 65536;
inline constexpr uint16_t kMaxStringSize = 512;
inline constexpr uint16_t kMaxWideStringSize = 256;
inline constexpr uint8_t kMaxCompressionLevel = 9;
// Capacities of the short strings in headers and descriptors.
inline constexpr size_t kMaxNameLength = 60;
inline constexpr size_t kMaxTextLength = 100;

inline constexpr std::string_view kTextIndexName = "Sys Text";
inline constexpr uint16_t kTextIndexKeyLength = 68;
inline constexpr uint16_t kDefaultPrimaryKeyLength = 5;

// Stored LastUpdated = T - kLastUpdatedBias, T in days since 30 December 1899.
inline constexpr double kLastUpdatedBias = 693594.0;

// ---- Header and descriptor images ----
//
// Each struct mirrors its on-disk image field by field. Decode reads exactly the image's bytes
// and accepts anything (short strings longer than their capacity are clamped); Encode writes
// every byte of the image, reserved bytes as zero. HeaderModified is the in-memory pending-change
// flag: Encode writes its current value, Decode leaves it false because readers ignore the
// stored one.

struct DataFileHeader {
    static constexpr size_t kSize = kFileHeaderSize;

    uint32_t ChangeCount = 0;
    uint8_t FormatVersion = 0;
    TDigest SignatureDigest {};
    int32_t FirstFreeRecord = 0;
    int32_t NextRecordNo = 0;
    int32_t LastRecordID = 0;
    int32_t LastAutoIncValue = 0;
    int32_t RecordCount = 0;
    uint16_t RecordSize = 0;
    uint16_t FieldCount = 0;
    int16_t BlobFieldCount = 0;
    int32_t BlobBlockSize = 0;
    int32_t LastBlobSerial = 0;
    int32_t IndexPageSize = 0;
    double LastUpdated = 0; // stored form; see EncodeLastUpdated
    std::string TableDescription;
    uint8_t Encrypted = 0;
    TDigest PasswordCheck {};
    uint32_t LocaleID = 0;
    uint16_t UserMajorVersion = 0;
    uint16_t UserMinorVersion = 0;
    bool HeaderModified = false;

    // Requires: `image` holds kSize bytes.
    void Decode(const uint8_t* image);
    void Encode(uint8_t* image) const;

    // The header of a new data file: all zero but the version, the signature digest,
    // NextRecordNo 1 and HeaderModified.
    static DataFileHeader New(const TDigest& signature_digest);
    // Emptying the table: counters back to their start; LastBlobSerial is kept.
    void Reset();
};

struct FieldDescriptor {
    static constexpr size_t kSize = kDescriptorSize;

    uint16_t FieldNo = 0;
    std::string Name;
    std::string Description;
    uint8_t DataType = 0;
    uint8_t SubType = 0;
    uint16_t Size = 0;
    uint8_t Scale = 0;
    uint16_t PhysicalSize = 0;
    uint8_t PhysicalScale = 0;
    uint16_t FieldOffset = 0;
    bool Required = false;
    uint8_t CharCase = fcNoChange; // TFieldCharCase; a damaged file may hold other values
    std::string MinValue;
    std::string MaxValue;
    std::string DefaultValue;
    uint8_t Compression = 0;
    // Set by Decode when the stored name length exceeded its capacity (the name was clamped).
    bool NameOverlong = false;

    // Requires: `image` holds kSize bytes.
    void Decode(const uint8_t* image);
    void Encode(uint8_t* image) const;
};

struct IndexFileHeader {
    static constexpr size_t kSize = kFileHeaderSize;

    uint32_t ChangeCount = 0;
    uint8_t FormatVersion = 0;
    TDigest SignatureDigest {};
    int32_t FirstFreePage = 0;
    int32_t NextPageNo = 0;
    uint8_t SecondaryIndexCount = 0;
    std::array<int32_t, kIndexSlotCount> RootPage {};
    std::array<int32_t, kIndexSlotCount> TextRootPage {};
    bool HeaderModified = false;

    void Decode(const uint8_t* image);
    void Encode(uint8_t* image) const;

    static IndexFileHeader New(const TDigest& signature_digest);
    // Emptying the table: no pages, every page reference 0.
    void Reset();
};

struct IndexDescriptor {
    static constexpr size_t kSize = kDescriptorSize;

    std::string Name;
    uint16_t KeyLength = 0;
    bool Descending = false;
    bool CaseInsensitive = false;
    bool Unique = false;
    uint8_t Compression = icNone; // TIndexCompression; a damaged file may hold other values
    uint8_t FieldCount = 0;
    std::array<uint8_t, kMaxIndexFields> DescFields {}; // non-zero = that key field descends
    std::array<uint16_t, kMaxIndexFields> FieldList {}; // field numbers, 0xFFFF / 0xFFFE pseudo
    bool NoKeyStatistics = false;
    bool NameOverlong = false; // as in FieldDescriptor

    void Decode(const uint8_t* image);
    void Encode(uint8_t* image) const;

    // Slot 0 of a table without a primary key: unique, one field RecordID, KeyLength 5.
    static IndexDescriptor DefaultPrimary();
    // True for the default primary index, i.e. the table has no primary key.
    bool IsDefaultPrimary() const;
    bool IsEmpty() const { return FieldCount == 0 && Name.empty() && KeyLength == 0; }
};

struct BlobFileHeader {
    static constexpr size_t kSize = kFileHeaderSize;

    uint32_t ChangeCount = 0;
    uint8_t FormatVersion = 0;
    TDigest SignatureDigest {};
    int32_t FirstFreeBlock = 0;
    int32_t NextBlockNo = 0;
    bool HeaderModified = false;

    void Decode(const uint8_t* image);
    void Encode(uint8_t* image) const;

    static BlobFileHeader New(const TDigest& signature_digest);
    void Reset();
};

// The descriptor block of a data file: count descriptors of 768 bytes.
// Requires: `block` holds 768 * count bytes (count is checked against kMaxFields first).
std::vector<FieldDescriptor> DecodeFieldDescriptors(const uint8_t* block, size_t count);
// Requires: `block` holds 768 * descriptors.size() bytes.
void EncodeFieldDescriptors(std::span<const FieldDescriptor> descriptors, uint8_t* block);

// The index descriptor area (32 slots of 768 bytes). Only slots 0..secondary_index_count
// (clamped to 30) and 31 are decoded; the others are left empty.
// Requires: `area` holds kIndexDescriptorAreaSize bytes.
void DecodeIndexDescriptorArea(const uint8_t* area, uint8_t secondary_index_count,
    std::array<IndexDescriptor, kIndexSlotCount>& slots);
void EncodeIndexDescriptorArea(
    const std::array<IndexDescriptor, kIndexSlotCount>& slots, uint8_t* area);

// ---- Positions ----

// Offset of record 1 in the data file.
constexpr uint64_t FirstRecordOffset(uint16_t field_count) {
    return kFileHeaderSize + uint64_t(kDescriptorSize) * field_count;
}
// Requires: record_no >= 1.
constexpr uint64_t RecordOffset(uint16_t field_count, uint16_t record_size, uint32_t record_no) {
    return FirstRecordOffset(field_count) + uint64_t(record_no - 1) * record_size;
}
// Requires: page_no >= 1.
constexpr uint64_t IndexPageOffset(uint32_t page_no, int32_t index_page_size) {
    return kFirstIndexPageOffset + uint64_t(page_no - 1) * uint64_t(index_page_size);
}
// Requires: block_no >= 1.
constexpr uint64_t BlobBlockOffset(uint32_t block_no, int32_t blob_block_size) {
    return kFileHeaderSize + uint64_t(block_no - 1) * uint64_t(blob_block_size);
}

// ---- Counters and time ----

// The value after `counter` of a 4-byte identifier counter: 2147483647 is followed by 1.
int32_t NextCounterValue(int32_t counter);

// LastUpdated from the engine's date and time (day number with 1 January 0001 = day 1,
// milliseconds since midnight): 12:00 on 1 January 2000 stores -657067.5.
double EncodeLastUpdated(int32_t day_number, int32_t ms);
// The reverse; false for a stored value that is not finite or whose day lies outside the
// engine's calendar (1 January 0001 .. 31 December 9999).
bool DecodeLastUpdated(double stored, int32_t& day_number, int32_t& ms);
// T of the stored value (days since 30 December 1899), as the header accessor returns it.
inline double LastUpdatedDays(double stored) {
    return stored + kLastUpdatedBias;
}

// ---- Layout rules ----

// Bytes a value of this type occupies in a record (0 for codes without storage rules).
// Requires: `size` within its type's limits (a wide string of 32768 characters would wrap).
uint16_t PhysicalSize(uint8_t data_type, uint8_t sub_type, uint16_t size);
// Bytes a field's value takes in an index key (BCD keys are 8-byte integers).
uint16_t KeySize(const FieldDescriptor& field);

struct RecordLayout {
    uint16_t RecordSize = 0;
    uint16_t BlobFieldCount = 0;
};
// Sets PhysicalSize, PhysicalScale and FieldOffset of each descriptor in order (offsets from 25
// upwards), then computes the record size as ComputeRecordLayout does.
// Raises 9498 for more than 128 BLOB fields, 9477 for a record size above 65534.
RecordLayout LayOutFields(std::span<FieldDescriptor> fields, std::string_view table_name);
// RecordSize (25 + sum of PhysicalSize + 1, rounded up to 8) and the BLOB field count of laid-out
// descriptors. Raises 9498 for more than 128 BLOB fields, 9477 for a record size above 65534.
RecordLayout ComputeRecordLayout(
    std::span<const FieldDescriptor> fields, std::string_view table_name);

// ---- Names ----

// Trims leading and trailing spaces and control characters.
std::string_view TrimName(std::string_view text);
// Upper-cases ASCII and Windows-1254 letters without locale rules (i and dotless i give I).
std::string UpperCaseName(std::string_view text);
// Equality under UpperCaseName.
bool EqualsIgnoringCase(std::string_view first, std::string_view second);
// Case-insensitive equality of trimmed names.
bool SameName(std::string_view first, std::string_view second);
// First character a letter A-Z or a-z, '_' or a byte 128..254. Empty names are invalid.
bool IsValidNameStart(std::string_view name);

// The file name of a table's file: `table_name` trimmed; a trailing `data_extension` (compared
// case-insensitively from the last dot) is replaced by `extension`, otherwise `extension` is
// appended.
std::string BuildTableFileName(
    std::string_view table_name, std::string_view extension, std::string_view data_extension);

// ---- Field lookup ----

// The fixed descriptors of the record header's parts.
const FieldDescriptor& RecordIDFieldDescriptor();
const FieldDescriptor& RecordHashFieldDescriptor();

// By number: 1..fields.size() by position, -1 / 0xFFFF RecordID, -2 / 0xFFFE RecordHash;
// nullptr for any other number.
const FieldDescriptor* FindField(std::span<const FieldDescriptor> fields, int32_t field_no);
// By name, case-insensitive over trimmed names; "RecordID" and "RecordHash" give the
// pseudo-fields. nullptr when unknown.
const FieldDescriptor* FindField(std::span<const FieldDescriptor> fields, std::string_view name);
// -1, -2, 1..n, or 0 when unknown.
int32_t FieldNumber(std::span<const FieldDescriptor> fields, std::string_view name);

// ---- Checks at open and header verification ----

// The digest of the engine's current signature text and that of the default "ZOLVEK_SIG"; a
// table opens when its SignatureDigest matches either.
struct SignatureDigests {
    TDigest Current {};
    TDigest Default {};
};

// Tells whether a locale identifier is available on this system.
using LocaleAvailable = std::function<bool(uint32_t locale_id)>;

// Open checks of the data header, before the descriptors are read: FormatVersion (12035 for
// 0..5, 12036 for 7..255), SignatureDigest (12036), then 8961 for a FieldCount outside 1..1024,
// a BlobFieldCount outside 0..128, a RecordSize that is not a multiple of 8 of at least 32, an
// IndexPageSize outside 1024..16384 or a BlobBlockSize outside 64..65536. After it passes,
// 768 * FieldCount bytes of descriptors may be read and every size may be used to allocate.
void CheckDataFileHeader(
    const DataFileHeader& header, const SignatureDigests& digests, std::string_view table_name);
// FormatVersion and SignatureDigest as above; 8961 for a SecondaryIndexCount above 30.
void CheckIndexFileHeader(
    const IndexFileHeader& header, const SignatureDigests& digests, std::string_view table_name);
// FormatVersion and SignatureDigest as above.
void CheckBlobFileHeader(
    const BlobFileHeader& header, const SignatureDigests& digests, std::string_view table_name);

// Verifies a checked data header with its descriptors against the data file's size: 15878 for
// an unavailable LocaleID, 8961 for everything else (descriptor names, numbers, types, sizes,
// value texts, scale, offsets; BlobFieldCount; RecordSize; the file size; NextRecordNo;
// FirstFreeRecord). Recomputes PhysicalSize and PhysicalScale of each descriptor in memory.
void VerifyDataFileHeader(const DataFileHeader& header, std::span<FieldDescriptor> fields,
    uint64_t file_size, const LocaleAvailable& locale_available, std::string_view table_name);
// Verifies a checked index header with its decoded slots against the table's verified field
// descriptors and IndexPageSize; every failure raises 8961.
void VerifyIndexFileHeader(const IndexFileHeader& header,
    const std::array<IndexDescriptor, kIndexSlotCount>& slots,
    std::span<const FieldDescriptor> fields, int32_t index_page_size, std::string_view table_name);
// FirstFreeBlock must be 0 or a block of the file; otherwise 8961.
void VerifyBlobFileHeader(const BlobFileHeader& header, std::string_view table_name);

} // namespace zolvek
