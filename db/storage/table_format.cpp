// Table file headers and descriptors: codecs, layout rules, names, lookup and verification.
//
// Every integer is little-endian and signed unless marked (u). A short string of capacity N is
// a length byte and N bytes of text (N+1 bytes). Bytes not listed are reserved and written 0.
//
// Common prefix of the three 512-byte headers:
//     0   4  ChangeCount (u)          8   1  FormatVersion (6)
//     4   4  reserved                 9  16  SignatureDigest (MD5 of the engine signature)
// DataFileHeader (data file, offset 0):
//    25   4  FirstFreeRecord         55   4  LastBlobSerial
//    29   4  NextRecordNo            59   4  IndexPageSize
//    33   4  LastRecordID            63   8  LastUpdated (double, T - 693594.0)
//    37   4  LastAutoIncValue        71 101  TableDescription (short string, 100)
//    41   4  RecordCount            172   1  Encrypted
//    45   2  RecordSize (u)         173  16  PasswordCheck
//    47   2  FieldCount (u)         189   4  LocaleID
//    49   2  BlobFieldCount         193   2  UserMajorVersion (u)
//    51   4  BlobBlockSize          195   2  UserMinorVersion (u)
//                                   197   1  HeaderModified      198..511 reserved
// FieldDescriptor (768 bytes each, from offset 512 of the data file):
//     0   2  FieldNo (u)            171   1  PhysicalScale
//     2  61  name (short string, 60) 172  2  FieldOffset (u)
//    63 101  Description (100)      174   1  Required
//   164   1  DataType               175   1  CharCase
//   165   1  SubType                176 101  MinValue (100)
//   166   2  Size (u)               277 101  MaxValue (100)
//   168   1  scale                  378 101  DefaultValue (100)
//   169   2  PhysicalSize (u)       479   1  Compression         480..767 reserved
// IndexFileHeader (index file, offset 0):
//    25   4  FirstFreePage          162 128  TextRootPage (32 x 4)
//    29   4  NextPageNo             290   1  HeaderModified
//    33   1  SecondaryIndexCount (u) 291..511 reserved
//    34 128  RootPage (32 x 4)
// IndexDescriptor (768 bytes, slot s at offset 512 + 768 * s of the index file):
//     0  61  name (short string, 60) 129  1  Compression
//    61   2  KeyLength (u)          130   1  field count
//    63  63  reserved               131 128  descending flags (one byte per key field)
//   126   1  Descending             259 256  field list (128 x 2, u)
//   127   1  CaseInsensitive        515   1  NoKeyStatistics
//   128   1  Unique                 516..767 reserved
// BlobFileHeader (BLOB file, offset 0):
//    25   4  FirstFreeBlock          33   1  HeaderModified
//    29   4  NextBlockNo             34..511 reserved
#include "db/storage/table_format.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/value_text.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>

namespace zolvek {
namespace {

// Offsets of the common header prefix.
constexpr size_t kChangeCountAt = 0;
constexpr size_t kFormatVersionAt = 8;
constexpr size_t kSignatureDigestAt = 9;

void DecodePrefix(const uint8_t* image, uint32_t& change_count, uint8_t& version, TDigest& digest) {
    change_count = LoadU32(image + kChangeCountAt);
    version = image[kFormatVersionAt];
    std::memcpy(digest.data(), image + kSignatureDigestAt, digest.size());
}

void EncodePrefix(uint8_t* image, uint32_t change_count, uint8_t version, const TDigest& digest) {
    std::memset(image, 0, kFileHeaderSize);
    StoreU32(image + kChangeCountAt, change_count);
    image[kFormatVersionAt] = version;
    std::memcpy(image + kSignatureDigestAt, digest.data(), digest.size());
}

// A short string and whether its stored length exceeded the capacity.
std::string LoadName(const uint8_t* p, size_t capacity, bool& overlong) {
    overlong = p[0] > capacity;
    return LoadShortString(p, capacity);
}

[[noreturn]] void RaiseCorrupt(std::string_view table_name) {
    ProcessEngineErrors().RaiseTableError(ZOLVEK_HEADERCORRUPT, table_name);
}

void CheckVersionAndSignature(uint8_t version, const TDigest& digest,
    const SignatureDigests& digests, std::string_view table_name) {
    if (version != kFormatVersion) {
        ProcessEngineErrors().RaiseTableError(
            version < kFormatVersion ? ZOLVEK_OLDVERSION : ZOLVEK_BADSIGNATURE, table_name);
    }
    if (digest != digests.Current && digest != digests.Default) {
        ProcessEngineErrors().RaiseTableError(ZOLVEK_BADSIGNATURE, table_name);
    }
}

// A page or block reference: 0, or a unit the file has.
bool IsValidReference(int32_t reference, int32_t next_unit_no) {
    return reference == 0 || (next_unit_no > 1 && reference >= 1 && reference <= next_unit_no - 1);
}

uint64_t RoundUpTo8(uint64_t value) {
    return (value + 7) & ~uint64_t(7);
}

// Windows-1254 upper-casing of one byte without locale rules.
uint8_t UpperCaseNameChar(uint8_t c) {
    if (c >= 'a' && c <= 'z') {
        return uint8_t(c - 0x20);
    }
    switch (c) {
    case 0x9A: // s caron
    case 0x9C: // oe
        return uint8_t(c - 0x10);
    case 0xFF: // y diaeresis
        return 0x9F;
    case 0xFD: // dotless i
        return 'I';
    case 0xF7: // division sign
        return c;
    default:
        break;
    }
    if (c >= 0xE0 && c <= 0xFE) {
        return uint8_t(c - 0x20);
    }
    return c;
}

} // namespace

// ---- Type codes ----

bool IsKnownFieldType(uint8_t data_type) {
    return (data_type >= kTypeString && data_type <= kTypeWord) || data_type == kTypeVarBytes
        || data_type == kTypeLargeInt;
}

// ---- DataFileHeader ----

void DataFileHeader::Decode(const uint8_t* image) {
    DecodePrefix(image, ChangeCount, FormatVersion, SignatureDigest);
    FirstFreeRecord = LoadI32(image + 25);
    NextRecordNo = LoadI32(image + 29);
    LastRecordID = LoadI32(image + 33);
    LastAutoIncValue = LoadI32(image + 37);
    RecordCount = LoadI32(image + 41);
    RecordSize = LoadU16(image + 45);
    FieldCount = LoadU16(image + 47);
    BlobFieldCount = LoadI16(image + 49);
    BlobBlockSize = LoadI32(image + 51);
    LastBlobSerial = LoadI32(image + 55);
    IndexPageSize = LoadI32(image + 59);
    LastUpdated = LoadDouble(image + 63);
    TableDescription = LoadShortString(image + 71, kMaxTextLength);
    Encrypted = image[172];
    std::memcpy(PasswordCheck.data(), image + 173, PasswordCheck.size());
    LocaleID = LoadU32(image + 189);
    UserMajorVersion = LoadU16(image + 193);
    UserMinorVersion = LoadU16(image + 195);
    HeaderModified = false;
}

void DataFileHeader::Encode(uint8_t* image) const {
    EncodePrefix(image, ChangeCount, FormatVersion, SignatureDigest);
    StoreI32(image + 25, FirstFreeRecord);
    StoreI32(image + 29, NextRecordNo);
    StoreI32(image + 33, LastRecordID);
    StoreI32(image + 37, LastAutoIncValue);
    StoreI32(image + 41, RecordCount);
    StoreU16(image + 45, RecordSize);
    StoreU16(image + 47, FieldCount);
    StoreI16(image + 49, BlobFieldCount);
    StoreI32(image + 51, BlobBlockSize);
    StoreI32(image + 55, LastBlobSerial);
    StoreI32(image + 59, IndexPageSize);
    StoreDouble(image + 63, LastUpdated);
    StoreShortString(image + 71, kMaxTextLength, TableDescription);
    image[172] = Encrypted;
    std::memcpy(image + 173, PasswordCheck.data(), PasswordCheck.size());
    StoreU32(image + 189, LocaleID);
    StoreU16(image + 193, UserMajorVersion);
    StoreU16(image + 195, UserMinorVersion);
    image[197] = HeaderModified ? 1 : 0;
}

DataFileHeader DataFileHeader::New(const TDigest& signature_digest) {
    DataFileHeader header;
    header.FormatVersion = kFormatVersion;
    header.SignatureDigest = signature_digest;
    header.NextRecordNo = 1;
    header.HeaderModified = true;
    return header;
}

void DataFileHeader::Reset() {
    ChangeCount = 0;
    FirstFreeRecord = 0;
    NextRecordNo = 1;
    LastRecordID = 0;
    LastAutoIncValue = 0;
    RecordCount = 0;
    HeaderModified = true;
}

// ---- FieldDescriptor ----

void FieldDescriptor::Decode(const uint8_t* image) {
    FieldNo = LoadU16(image + 0);
    Name = LoadName(image + 2, kMaxNameLength, NameOverlong);
    Description = LoadShortString(image + 63, kMaxTextLength);
    DataType = image[164];
    SubType = image[165];
    Size = LoadU16(image + 166);
    Scale = image[168];
    PhysicalSize = LoadU16(image + 169);
    PhysicalScale = image[171];
    FieldOffset = LoadU16(image + 172);
    Required = image[174] != 0;
    CharCase = image[175];
    MinValue = LoadShortString(image + 176, kMaxTextLength);
    MaxValue = LoadShortString(image + 277, kMaxTextLength);
    DefaultValue = LoadShortString(image + 378, kMaxTextLength);
    Compression = image[479];
}

void FieldDescriptor::Encode(uint8_t* image) const {
    std::memset(image, 0, kSize);
    StoreU16(image + 0, FieldNo);
    StoreShortString(image + 2, kMaxNameLength, Name);
    StoreShortString(image + 63, kMaxTextLength, Description);
    image[164] = DataType;
    image[165] = SubType;
    StoreU16(image + 166, Size);
    image[168] = Scale;
    StoreU16(image + 169, PhysicalSize);
    image[171] = PhysicalScale;
    StoreU16(image + 172, FieldOffset);
    image[174] = Required ? 1 : 0;
    image[175] = CharCase;
    StoreShortString(image + 176, kMaxTextLength, MinValue);
    StoreShortString(image + 277, kMaxTextLength, MaxValue);
    StoreShortString(image + 378, kMaxTextLength, DefaultValue);
    image[479] = Compression;
}

std::vector<FieldDescriptor> DecodeFieldDescriptors(const uint8_t* block, size_t count) {
    std::vector<FieldDescriptor> descriptors(count);
    for (size_t i = 0; i < count; ++i) {
        descriptors[i].Decode(block + i * kDescriptorSize);
    }
    return descriptors;
}

void EncodeFieldDescriptors(std::span<const FieldDescriptor> descriptors, uint8_t* block) {
    for (size_t i = 0; i < descriptors.size(); ++i) {
        descriptors[i].Encode(block + i * kDescriptorSize);
    }
}

// ---- IndexFileHeader ----

void IndexFileHeader::Decode(const uint8_t* image) {
    DecodePrefix(image, ChangeCount, FormatVersion, SignatureDigest);
    FirstFreePage = LoadI32(image + 25);
    NextPageNo = LoadI32(image + 29);
    SecondaryIndexCount = image[33];
    for (size_t s = 0; s < kIndexSlotCount; ++s) {
        RootPage[s] = LoadI32(image + 34 + 4 * s);
        TextRootPage[s] = LoadI32(image + 162 + 4 * s);
    }
    HeaderModified = false;
}

void IndexFileHeader::Encode(uint8_t* image) const {
    EncodePrefix(image, ChangeCount, FormatVersion, SignatureDigest);
    StoreI32(image + 25, FirstFreePage);
    StoreI32(image + 29, NextPageNo);
    image[33] = SecondaryIndexCount;
    for (size_t s = 0; s < kIndexSlotCount; ++s) {
        StoreI32(image + 34 + 4 * s, RootPage[s]);
        StoreI32(image + 162 + 4 * s, TextRootPage[s]);
    }
    image[290] = HeaderModified ? 1 : 0;
}

IndexFileHeader IndexFileHeader::New(const TDigest& signature_digest) {
    IndexFileHeader header;
    header.FormatVersion = kFormatVersion;
    header.SignatureDigest = signature_digest;
    header.NextPageNo = 1;
    header.HeaderModified = true;
    return header;
}

void IndexFileHeader::Reset() {
    FormatVersion = kFormatVersion;
    ChangeCount = 0;
    NextPageNo = 1;
    FirstFreePage = 0;
    RootPage.fill(0);
    TextRootPage.fill(0);
    HeaderModified = true;
}

// ---- IndexDescriptor ----

void IndexDescriptor::Decode(const uint8_t* image) {
    Name = LoadName(image + 0, kMaxNameLength, NameOverlong);
    KeyLength = LoadU16(image + 61);
    Descending = image[126] != 0;
    CaseInsensitive = image[127] != 0;
    Unique = image[128] != 0;
    Compression = image[129];
    FieldCount = image[130];
    std::memcpy(DescFields.data(), image + 131, DescFields.size());
    for (size_t k = 0; k < kMaxIndexFields; ++k) {
        FieldList[k] = LoadU16(image + 259 + 2 * k);
    }
    NoKeyStatistics = image[515] != 0;
}

void IndexDescriptor::Encode(uint8_t* image) const {
    std::memset(image, 0, kSize);
    StoreShortString(image + 0, kMaxNameLength, Name);
    StoreU16(image + 61, KeyLength);
    image[126] = Descending ? 1 : 0;
    image[127] = CaseInsensitive ? 1 : 0;
    image[128] = Unique ? 1 : 0;
    image[129] = Compression;
    image[130] = FieldCount;
    std::memcpy(image + 131, DescFields.data(), DescFields.size());
    for (size_t k = 0; k < kMaxIndexFields; ++k) {
        StoreU16(image + 259 + 2 * k, FieldList[k]);
    }
    image[515] = NoKeyStatistics ? 1 : 0;
}

IndexDescriptor IndexDescriptor::DefaultPrimary() {
    IndexDescriptor descriptor;
    descriptor.Unique = true;
    descriptor.FieldCount = 1;
    descriptor.FieldList[0] = kRecordIDFieldNo;
    descriptor.KeyLength = kDefaultPrimaryKeyLength;
    return descriptor;
}

bool IndexDescriptor::IsDefaultPrimary() const {
    return FieldCount == 1 && FieldList[0] == kRecordIDFieldNo;
}

void DecodeIndexDescriptorArea(const uint8_t* area, uint8_t secondary_index_count,
    std::array<IndexDescriptor, kIndexSlotCount>& slots) {
    size_t last = std::min<size_t>(secondary_index_count, kMaxSecondaryIndexes);
    for (size_t s = 0; s < kIndexSlotCount; ++s) {
        slots[s] = IndexDescriptor {};
        if (s <= last || s == kTextIndexSlot) {
            slots[s].Decode(area + s * kDescriptorSize);
        }
    }
}

void EncodeIndexDescriptorArea(
    const std::array<IndexDescriptor, kIndexSlotCount>& slots, uint8_t* area) {
    for (size_t s = 0; s < kIndexSlotCount; ++s) {
        slots[s].Encode(area + s * kDescriptorSize);
    }
}

// ---- BlobFileHeader ----

void BlobFileHeader::Decode(const uint8_t* image) {
    DecodePrefix(image, ChangeCount, FormatVersion, SignatureDigest);
    FirstFreeBlock = LoadI32(image + 25);
    NextBlockNo = LoadI32(image + 29);
    HeaderModified = false;
}

void BlobFileHeader::Encode(uint8_t* image) const {
    EncodePrefix(image, ChangeCount, FormatVersion, SignatureDigest);
    StoreI32(image + 25, FirstFreeBlock);
    StoreI32(image + 29, NextBlockNo);
    image[33] = HeaderModified ? 1 : 0;
}

BlobFileHeader BlobFileHeader::New(const TDigest& signature_digest) {
    BlobFileHeader header;
    header.FormatVersion = kFormatVersion;
    header.SignatureDigest = signature_digest;
    header.NextBlockNo = 1;
    header.HeaderModified = true;
    return header;
}

void BlobFileHeader::Reset() {
    FormatVersion = kFormatVersion;
    ChangeCount = 0;
    NextBlockNo = 1;
    FirstFreeBlock = 0;
    HeaderModified = true;
}

// ---- Counters and time ----

int32_t NextCounterValue(int32_t counter) {
    return counter == INT32_MAX ? 1 : counter + 1;
}

namespace {
constexpr double kMsPerDayDouble = 86'400'000.0;
// Day number of 30 December 1899 when 1 January 0001 is day 1.
constexpr int32_t kDelphiEpochDay = 693594;
constexpr int32_t kLastDayNumber = 3'652'059; // 31 December 9999
} // namespace

double EncodeLastUpdated(int32_t day_number, int32_t ms) {
    double days = double(day_number) - kDelphiEpochDay + double(ms) / kMsPerDayDouble;
    return days - kLastUpdatedBias;
}

bool DecodeLastUpdated(double stored, int32_t& day_number, int32_t& ms) {
    if (!std::isfinite(stored)) {
        return false;
    }
    double days = stored + kLastUpdatedBias;
    // The calendar's bounds in days since 30 December 1899, with a day of margin so that the
    // integer conversions below cannot overflow.
    if (days < double(1 - kDelphiEpochDay) - 1
        || days > double(kLastDayNumber - kDelphiEpochDay) + 1) {
        return false;
    }
    // Before the epoch the fraction counts forwards from the day's start, as the integer part
    // counts backwards (-1.25 is 29 December 1899, 06:00).
    double whole = std::trunc(days);
    int64_t day = int64_t(whole) + kDelphiEpochDay;
    int64_t milliseconds = std::llround(std::fabs(days - whole) * kMsPerDayDouble);
    if (milliseconds >= int64_t(kMsPerDayDouble)) {
        milliseconds -= int64_t(kMsPerDayDouble);
        day += days < 0 ? -1 : 1;
    }
    if (day < 1 || day > kLastDayNumber) {
        return false;
    }
    day_number = int32_t(day);
    ms = int32_t(milliseconds);
    return true;
}

// ---- Layout rules ----

uint16_t PhysicalSize(uint8_t data_type, uint8_t sub_type, uint16_t size) {
    switch (data_type) {
    case kTypeString:
        return uint16_t(sub_type == kSubTypeWide ? 2 * size + 1 : size + 1);
    case kTypeDate:
    case kTypeInteger:
    case kTypeTime:
        return 4;
    case kTypeBlob:
    case kTypeFloat:
    case kTypeDateTime:
    case kTypeLargeInt:
        return 8;
    case kTypeBoolean:
    case kTypeSmallInt:
    case kTypeWord:
        return 2;
    case kTypeBcd:
        return 34;
    case kTypeBytes:
    case kTypeVarBytes:
        return size;
    default:
        return 0;
    }
}

uint16_t KeySize(const FieldDescriptor& field) {
    return field.DataType == kTypeBcd ? 8 : field.PhysicalSize;
}

RecordLayout LayOutFields(std::span<FieldDescriptor> fields, std::string_view table_name) {
    uint64_t offset = kRecordHeaderSize;
    for (FieldDescriptor& field : fields) {
        field.PhysicalSize = PhysicalSize(field.DataType, field.SubType, field.Size);
        field.PhysicalScale = field.Scale;
        // An offset past 65535 wraps here, but such a record is refused below.
        field.FieldOffset = uint16_t(offset);
        offset += field.PhysicalSize + 1u;
    }
    return ComputeRecordLayout(fields, table_name);
}

RecordLayout ComputeRecordLayout(
    std::span<const FieldDescriptor> fields, std::string_view table_name) {
    uint64_t total = kRecordHeaderSize;
    uint16_t blob_count = 0;
    for (const FieldDescriptor& field : fields) {
        if (field.DataType == kTypeBlob) {
            if (++blob_count > kMaxBlobFields) {
                ProcessEngineErrors().RaiseTableError(ZOLVEK_BLOBLIMIT, table_name);
            }
        }
        total += field.PhysicalSize + 1u;
    }
    total = RoundUpTo8(total);
    if (total > kMaxRecordSize) {
        ProcessEngineErrors().RaiseTableError(ZOLVEK_RECTOOBIG, table_name);
    }
    return RecordLayout { uint16_t(total), blob_count };
}

// ---- Names ----

std::string_view TrimName(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && uint8_t(text[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && uint8_t(text[end - 1]) <= ' ') {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string UpperCaseName(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = char(UpperCaseNameChar(uint8_t(c)));
    }
    return result;
}

bool EqualsIgnoringCase(std::string_view first, std::string_view second) {
    if (first.size() != second.size()) {
        return false;
    }
    for (size_t i = 0; i < first.size(); ++i) {
        if (UpperCaseNameChar(uint8_t(first[i])) != UpperCaseNameChar(uint8_t(second[i]))) {
            return false;
        }
    }
    return true;
}

bool SameName(std::string_view first, std::string_view second) {
    return EqualsIgnoringCase(TrimName(first), TrimName(second));
}

bool IsValidNameStart(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    uint8_t c = uint8_t(name[0]);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

std::string BuildTableFileName(
    std::string_view table_name, std::string_view extension, std::string_view data_extension) {
    std::string_view name = TrimName(table_name);
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && EqualsIgnoringCase(name.substr(dot), data_extension)) {
        name = name.substr(0, dot);
    }
    std::string result(name);
    result += extension;
    return result;
}

// ---- Field lookup ----

namespace {

FieldDescriptor MakePseudoField(uint16_t field_no, std::string name, uint8_t data_type,
    uint8_t sub_type, uint16_t size, uint16_t physical_size, uint16_t offset) {
    FieldDescriptor field;
    field.FieldNo = field_no;
    field.Name = std::move(name);
    field.DataType = data_type;
    field.SubType = sub_type;
    field.Size = size;
    field.PhysicalSize = physical_size;
    field.FieldOffset = offset;
    return field;
}

} // namespace

const FieldDescriptor& RecordIDFieldDescriptor() {
    static const FieldDescriptor field
        = MakePseudoField(kRecordIDFieldNo, "RecordID", kTypeInteger, 0, 0, 4, 5);
    return field;
}

const FieldDescriptor& RecordHashFieldDescriptor() {
    static const FieldDescriptor field = MakePseudoField(
        kRecordHashFieldNo, "RecordHash", kTypeBytes, kSubTypeRecordHash, 16, 16, 9);
    return field;
}

const FieldDescriptor* FindField(std::span<const FieldDescriptor> fields, int32_t field_no) {
    if (field_no == kRecordIDField || field_no == kRecordIDFieldNo) {
        return &RecordIDFieldDescriptor();
    }
    if (field_no == kRecordHashField || field_no == kRecordHashFieldNo) {
        return &RecordHashFieldDescriptor();
    }
    if (field_no >= 1 && size_t(field_no) <= fields.size()) {
        return &fields[size_t(field_no) - 1];
    }
    return nullptr;
}

const FieldDescriptor* FindField(std::span<const FieldDescriptor> fields, std::string_view name) {
    if (SameName(name, RecordIDFieldDescriptor().Name)) {
        return &RecordIDFieldDescriptor();
    }
    if (SameName(name, RecordHashFieldDescriptor().Name)) {
        return &RecordHashFieldDescriptor();
    }
    for (const FieldDescriptor& field : fields) {
        if (SameName(name, field.Name)) {
            return &field;
        }
    }
    return nullptr;
}

int32_t FieldNumber(std::span<const FieldDescriptor> fields, std::string_view name) {
    if (SameName(name, RecordIDFieldDescriptor().Name)) {
        return kRecordIDField;
    }
    if (SameName(name, RecordHashFieldDescriptor().Name)) {
        return kRecordHashField;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        if (SameName(name, fields[i].Name)) {
            return int32_t(i + 1);
        }
    }
    return 0;
}

// ---- Checks at open ----

void CheckDataFileHeader(
    const DataFileHeader& header, const SignatureDigests& digests, std::string_view table_name) {
    CheckVersionAndSignature(header.FormatVersion, header.SignatureDigest, digests, table_name);
    // Sizes that the file objects allocate by, and the descriptor count, are refused here
    // already so that nothing is sized from an unchecked value.
    if (header.FieldCount < 1 || header.FieldCount > kMaxFields || header.BlobFieldCount < 0
        || header.BlobFieldCount > kMaxBlobFields || header.RecordSize < 32
        || header.RecordSize % 8 != 0 || header.IndexPageSize < kMinIndexPageSize
        || header.IndexPageSize > kMaxIndexPageSize || header.BlobBlockSize < kMinBlobBlockSize
        || header.BlobBlockSize > kMaxBlobBlockSize) {
        RaiseCorrupt(table_name);
    }
}

void CheckIndexFileHeader(
    const IndexFileHeader& header, const SignatureDigests& digests, std::string_view table_name) {
    CheckVersionAndSignature(header.FormatVersion, header.SignatureDigest, digests, table_name);
    if (header.SecondaryIndexCount > kMaxSecondaryIndexes) {
        RaiseCorrupt(table_name);
    }
}

void CheckBlobFileHeader(
    const BlobFileHeader& header, const SignatureDigests& digests, std::string_view table_name) {
    CheckVersionAndSignature(header.FormatVersion, header.SignatureDigest, digests, table_name);
}

// ---- Verification ----

namespace {

bool IsValidSize(const FieldDescriptor& field) {
    switch (field.DataType) {
    case kTypeString:
    case kTypeBytes:
    case kTypeVarBytes:
        return field.Size <= (field.SubType == kSubTypeWide ? kMaxWideStringSize : kMaxStringSize);
    default:
        return field.Size == 0;
    }
}

bool IsValidValue(uint8_t data_type, const std::string& text) {
    return text.empty() || IsValidValueText(data_type, text);
}

// Walks an index field list: entries up to the first 0 that is followed by another 0 (or is the
// last entry); a 0 followed by a non-zero entry is damage. Calls `visit` for each entry and
// returns the number of entries, or -1 when the list is damaged or `visit` refuses an entry.
template <typename Visit> int WalkFieldList(const IndexDescriptor& descriptor, Visit visit) {
    const auto& list = descriptor.FieldList;
    for (size_t k = 0; k < kMaxIndexFields; ++k) {
        if (list[k] == 0) {
            return k + 1 < kMaxIndexFields && list[k + 1] != 0 ? -1 : int(k);
        }
        if (!visit(list[k])) {
            return -1;
        }
    }
    return int(kMaxIndexFields);
}

bool IsTextIndexField(const FieldDescriptor& field) {
    return field.DataType == kTypeString
        || (field.DataType == kTypeBlob && field.SubType == kSubTypeMemo);
}

} // namespace

void VerifyDataFileHeader(const DataFileHeader& header, std::span<FieldDescriptor> fields,
    uint64_t file_size, const LocaleAvailable& locale_available, std::string_view table_name) {
    if (header.LocaleID != 0 && !(locale_available && locale_available(header.LocaleID))) {
        ProcessEngineErrors().RaiseTableError(ZOLVEK_CANNOTLOADLDDRV, table_name);
    }
    if (fields.size() != header.FieldCount || header.FieldCount > kMaxFields) {
        RaiseCorrupt(table_name);
    }

    std::unordered_set<std::string> names;
    names.reserve(fields.size());
    uint64_t offset = kRecordHeaderSize;
    int blob_count = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        FieldDescriptor& field = fields[i];
        field.PhysicalSize = PhysicalSize(field.DataType, field.SubType, field.Size);
        field.PhysicalScale = field.Scale;
        // FieldNo = i also rules out two descriptors with the same number.
        if (field.Name.empty() || !IsValidNameStart(field.Name) || field.NameOverlong
            || !names.insert(UpperCaseName(TrimName(field.Name))).second || field.FieldNo != i + 1
            || !IsKnownFieldType(field.DataType) || !IsValidSize(field)
            || !IsValidValue(field.DataType, field.DefaultValue)
            || !IsValidValue(field.DataType, field.MinValue)
            || !IsValidValue(field.DataType, field.MaxValue)
            || (field.Scale != 0 && field.DataType != kTypeBcd) || field.FieldOffset != offset) {
            RaiseCorrupt(table_name);
        }
        if (field.DataType == kTypeBlob) {
            ++blob_count;
        }
        offset += field.PhysicalSize + 1u;
    }
    // The BLOB file is opened only when BlobFieldCount says there are BLOB fields.
    if (blob_count != header.BlobFieldCount) {
        RaiseCorrupt(table_name);
    }
    if (header.RecordSize == 0 || header.RecordSize != RoundUpTo8(offset)) {
        RaiseCorrupt(table_name);
    }

    uint64_t descriptors_end = FirstRecordOffset(header.FieldCount);
    if (file_size < descriptors_end) {
        RaiseCorrupt(table_name);
    }
    uint64_t record_bytes = file_size - descriptors_end;
    if (record_bytes % header.RecordSize != 0) {
        RaiseCorrupt(table_name);
    }
    uint64_t records = record_bytes / header.RecordSize;
    if (header.NextRecordNo < 1 || uint64_t(header.NextRecordNo) != records + 1) {
        RaiseCorrupt(table_name);
    }
    if (header.FirstFreeRecord < 0 || uint64_t(header.FirstFreeRecord) > records) {
        RaiseCorrupt(table_name);
    }
}

void VerifyIndexFileHeader(const IndexFileHeader& header,
    const std::array<IndexDescriptor, kIndexSlotCount>& slots,
    std::span<const FieldDescriptor> fields, int32_t index_page_size, std::string_view table_name) {
    if (header.SecondaryIndexCount > kMaxSecondaryIndexes
        || !IsValidReference(header.FirstFreePage, header.NextPageNo)) {
        RaiseCorrupt(table_name);
    }
    auto page_ok = [&](size_t s) {
        return IsValidReference(header.RootPage[s], header.NextPageNo)
            && IsValidReference(header.TextRootPage[s], header.NextPageNo);
    };

    std::unordered_set<std::string> names;
    for (size_t s = 0; s <= header.SecondaryIndexCount; ++s) {
        const IndexDescriptor& slot = slots[s];
        if (s == kPrimaryIndexSlot) {
            if (!slot.Name.empty() || !slot.Unique || slot.FieldList[0] == 0) {
                RaiseCorrupt(table_name);
            }
        } else if (!IsValidNameStart(slot.Name) || slot.NameOverlong
            || !names.insert(UpperCaseName(TrimName(slot.Name))).second) {
            RaiseCorrupt(table_name);
        }
        if (slot.FieldCount < 1 || slot.FieldCount > kMaxIndexFields || slot.Compression > icFull) {
            RaiseCorrupt(table_name);
        }
        uint32_t key_length = 0;
        int entries = WalkFieldList(slot, [&](uint16_t field_no) {
            if (field_no == kRecordIDFieldNo) {
                key_length += 5;
                return true;
            }
            if (field_no == kRecordHashFieldNo) {
                key_length += 17;
                return true;
            }
            const FieldDescriptor* field = FindField(fields, int32_t(field_no));
            if (field == nullptr || field->DataType == kTypeBlob) {
                return false;
            }
            key_length += KeySize(*field) + 1u;
            return true;
        });
        // Cursors take the key field count and KeyLength from the descriptor: both must agree
        // with the list, and the whole key must fit a key buffer.
        uint32_t whole_key = key_length + (slot.Unique ? 0u : kNonUniqueKeySuffix);
        if (entries != slot.FieldCount || key_length < 1 || key_length > kMaxKeyLength
            || int64_t(key_length) > (int64_t(index_page_size) - kIndexPageHeaderSize) / 3
            || slot.KeyLength != whole_key || whole_key > kMaxKeyLength || !page_ok(s)) {
            RaiseCorrupt(table_name);
        }
    }

    const IndexDescriptor& text = slots[kTextIndexSlot];
    if (text.FieldCount > kMaxIndexFields || !SameName(text.Name, kTextIndexName)
        || text.KeyLength != kTextIndexKeyLength || text.Compression != icFull
        || !text.NoKeyStatistics) {
        RaiseCorrupt(table_name);
    }
    int entries = WalkFieldList(text, [&](uint16_t field_no) {
        if (field_no == kRecordIDFieldNo || field_no == kRecordHashFieldNo) {
            return false;
        }
        const FieldDescriptor* field = FindField(fields, int32_t(field_no));
        return field != nullptr && IsTextIndexField(*field);
    });
    if (entries != text.FieldCount || !page_ok(kTextIndexSlot)) {
        RaiseCorrupt(table_name);
    }
}

void VerifyBlobFileHeader(const BlobFileHeader& header, std::string_view table_name) {
    if (!IsValidReference(header.FirstFreeBlock, header.NextBlockNo)) {
        RaiseCorrupt(table_name);
    }
}

} // namespace zolvek
