#include "db/storage/table_format.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "storage/table_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace zolvek {
namespace {

using testing::BuildTableImage;
using testing::kDefaultDigest;
using testing::kOtherDigest;
using testing::OpenTableImage;
using testing::RaisedCode;
using testing::SampleDefinition;
using testing::TableImage;

// ---- Codecs ----

TEST(TableFormatCodec, DataHeaderFieldsLandAtTheirOffsetsAndRoundTrip) {
    DataFileHeader header;
    header.ChangeCount = 0xA1B2C3D4;
    header.FormatVersion = 6;
    header.SignatureDigest = kOtherDigest;
    header.FirstFreeRecord = 7;
    header.NextRecordNo = 0x01020304;
    header.LastRecordID = -5;
    header.LastAutoIncValue = 2147483647;
    header.RecordCount = 99;
    header.RecordSize = 65528;
    header.FieldCount = 1024;
    header.BlobFieldCount = 128;
    header.BlobBlockSize = 65536;
    header.LastBlobSerial = 12;
    header.IndexPageSize = 16384;
    header.LastUpdated = -657067.5;
    header.TableDescription = "S\xF6zl\xFCk"; // Sözlük in code page 1254
    header.Encrypted = 1;
    header.PasswordCheck = kDefaultDigest;
    header.LocaleID = 1055;
    header.UserMajorVersion = 3;
    header.UserMinorVersion = 65535;
    header.HeaderModified = true;

    std::vector<uint8_t> image(DataFileHeader::kSize, 0xEE);
    header.Encode(image.data());
    EXPECT_EQ(LoadU32(&image[0]), 0xA1B2C3D4u);
    EXPECT_EQ(LoadU32(&image[4]), 0u);
    EXPECT_EQ(image[8], 6);
    EXPECT_EQ(image[9], 0xA0);
    EXPECT_EQ(LoadU32(&image[29]), 0x01020304u);
    EXPECT_EQ(LoadU16(&image[45]), 65528);
    EXPECT_EQ(LoadU16(&image[47]), 1024);
    EXPECT_EQ(LoadDouble(&image[63]), -657067.5);
    EXPECT_EQ(image[71], 6); // description length, then the text
    EXPECT_EQ(image[172], 1);
    EXPECT_EQ(image[173], 0x11);
    EXPECT_EQ(LoadU32(&image[189]), 1055u);
    EXPECT_EQ(LoadU16(&image[195]), 65535);
    EXPECT_EQ(image[197], 1);
    for (size_t i = 198; i < image.size(); ++i) {
        ASSERT_EQ(image[i], 0) << "reserved byte " << i;
    }

    DataFileHeader decoded;
    decoded.Decode(image.data());
    EXPECT_FALSE(decoded.HeaderModified); // readers ignore the stored flag
    decoded.HeaderModified = true;
    std::vector<uint8_t> again(DataFileHeader::kSize);
    decoded.Encode(again.data());
    EXPECT_EQ(again, image);
}

TEST(TableFormatCodec, FieldDescriptorRoundTripsAndZeroesReservedBytes) {
    FieldDescriptor field;
    field.FieldNo = 3;
    field.Name = std::string(60, 'N');
    field.Description = "a\xE7\xFDklama";
    field.DataType = kTypeBcd;
    field.SubType = 0;
    field.Size = 0;
    field.Scale = 4;
    field.PhysicalSize = 34;
    field.PhysicalScale = 4;
    field.FieldOffset = 0x1234;
    field.Required = true;
    field.CharCase = fcUpperCase;
    field.MinValue = "-1.5";
    field.MaxValue = std::string(100, '9');
    field.DefaultValue = "0";
    field.Compression = 0;

    std::vector<uint8_t> image(FieldDescriptor::kSize, 0xEE);
    field.Encode(image.data());
    EXPECT_EQ(LoadU16(&image[0]), 3);
    EXPECT_EQ(image[2], 60);
    EXPECT_EQ(image[164], kTypeBcd);
    EXPECT_EQ(image[168], 4);
    EXPECT_EQ(LoadU16(&image[169]), 34);
    EXPECT_EQ(LoadU16(&image[172]), 0x1234);
    EXPECT_EQ(image[174], 1);
    EXPECT_EQ(image[175], fcUpperCase);
    EXPECT_EQ(image[277], 100);
    EXPECT_EQ(image[378], 1);
    EXPECT_EQ(image[379], '0');
    EXPECT_EQ(image[380], 0); // unused text bytes are zero
    for (size_t i = 480; i < image.size(); ++i) {
        ASSERT_EQ(image[i], 0) << "reserved byte " << i;
    }

    FieldDescriptor decoded;
    decoded.Decode(image.data());
    std::vector<uint8_t> again(FieldDescriptor::kSize);
    decoded.Encode(again.data());
    EXPECT_EQ(again, image);
    EXPECT_EQ(decoded.Name, field.Name);
    EXPECT_EQ(decoded.MaxValue, field.MaxValue);
    EXPECT_FALSE(decoded.NameOverlong);
}

TEST(TableFormatCodec, IndexHeaderAndDescriptorRoundTrip) {
    IndexFileHeader header = IndexFileHeader::New(kDefaultDigest);
    header.ChangeCount = 17;
    header.FirstFreePage = 3;
    header.NextPageNo = 40;
    header.SecondaryIndexCount = 30;
    for (size_t s = 0; s < kIndexSlotCount; ++s) {
        header.RootPage[s] = int32_t(100 + s);
        header.TextRootPage[s] = int32_t(200 + s);
    }
    std::vector<uint8_t> image(IndexFileHeader::kSize, 0xEE);
    header.Encode(image.data());
    EXPECT_EQ(image[33], 30);
    EXPECT_EQ(LoadI32(&image[34]), 100);
    EXPECT_EQ(LoadI32(&image[34 + 4 * 31]), 131);
    EXPECT_EQ(LoadI32(&image[162]), 200);
    EXPECT_EQ(image[290], 1);
    for (size_t i = 291; i < image.size(); ++i) {
        ASSERT_EQ(image[i], 0) << "reserved byte " << i;
    }
    IndexFileHeader decoded;
    decoded.Decode(image.data());
    EXPECT_EQ(decoded.RootPage, header.RootPage);
    EXPECT_EQ(decoded.TextRootPage, header.TextRootPage);
    EXPECT_EQ(decoded.NextPageNo, 40);

    IndexDescriptor descriptor;
    descriptor.Name = "ANAHTAR_IDX";
    descriptor.KeyLength = 4106;
    descriptor.Descending = true;
    descriptor.CaseInsensitive = true;
    descriptor.Unique = false;
    descriptor.Compression = icTrailingByte;
    descriptor.FieldCount = 128;
    for (size_t k = 0; k < kMaxIndexFields; ++k) {
        descriptor.FieldList[k] = uint16_t(k + 1);
        descriptor.DescFields[k] = uint8_t(k % 2);
    }
    descriptor.FieldList[127] = kRecordHashFieldNo;
    descriptor.NoKeyStatistics = true;
    std::vector<uint8_t> slot(IndexDescriptor::kSize, 0xEE);
    descriptor.Encode(slot.data());
    EXPECT_EQ(LoadU16(&slot[61]), 4106);
    EXPECT_EQ(slot[126], 1);
    EXPECT_EQ(slot[128], 0);
    EXPECT_EQ(slot[129], icTrailingByte);
    EXPECT_EQ(slot[130], 128);
    EXPECT_EQ(slot[132], 1);
    EXPECT_EQ(LoadU16(&slot[259]), 1);
    EXPECT_EQ(LoadU16(&slot[259 + 2 * 127]), 0xFFFE);
    EXPECT_EQ(slot[515], 1);
    for (size_t i = 63; i < 126; ++i) {
        ASSERT_EQ(slot[i], 0) << "reserved byte " << i;
    }
    for (size_t i = 516; i < slot.size(); ++i) {
        ASSERT_EQ(slot[i], 0) << "reserved byte " << i;
    }
    IndexDescriptor back;
    back.Decode(slot.data());
    std::vector<uint8_t> again(IndexDescriptor::kSize);
    back.Encode(again.data());
    EXPECT_EQ(again, slot);
}

TEST(TableFormatCodec, BlobHeaderRoundTrips) {
    BlobFileHeader header = BlobFileHeader::New(kOtherDigest);
    header.FirstFreeBlock = 5;
    header.NextBlockNo = 6;
    std::vector<uint8_t> image(BlobFileHeader::kSize, 0xEE);
    header.Encode(image.data());
    EXPECT_EQ(LoadI32(&image[25]), 5);
    EXPECT_EQ(LoadI32(&image[29]), 6);
    EXPECT_EQ(image[33], 1);
    for (size_t i = 34; i < image.size(); ++i) {
        ASSERT_EQ(image[i], 0) << "reserved byte " << i;
    }
    BlobFileHeader decoded;
    decoded.Decode(image.data());
    EXPECT_EQ(decoded.SignatureDigest, kOtherDigest);
    EXPECT_EQ(decoded.FirstFreeBlock, 5);
    EXPECT_EQ(decoded.NextBlockNo, 6);
}

TEST(TableFormatCodec, OverlongShortStringsAreClampedAndFlagged) {
    std::vector<uint8_t> image(kDescriptorSize, 'x');
    image[2] = 255; // name length beyond its 60 characters
    image[63] = 250; // description beyond 100
    image[378] = 101; // default value one beyond 100
    FieldDescriptor field;
    field.Decode(image.data());
    EXPECT_EQ(field.Name.size(), 60u);
    EXPECT_TRUE(field.NameOverlong);
    EXPECT_EQ(field.Description.size(), 100u);
    EXPECT_EQ(field.DefaultValue.size(), 100u);

    IndexDescriptor index;
    image[0] = 61;
    index.Decode(image.data());
    EXPECT_EQ(index.Name.size(), 60u);
    EXPECT_TRUE(index.NameOverlong);
}

TEST(TableFormatCodec, DescriptorAreaDecodesOnlyTheSlotsInUse) {
    std::vector<uint8_t> area(kIndexDescriptorAreaSize);
    for (size_t s = 0; s < kIndexSlotCount; ++s) {
        IndexDescriptor slot;
        slot.Name = "I" + std::to_string(s);
        slot.Encode(area.data() + s * kDescriptorSize);
    }
    std::array<IndexDescriptor, kIndexSlotCount> slots;
    DecodeIndexDescriptorArea(area.data(), 2, slots);
    EXPECT_EQ(slots[0].Name, "I0");
    EXPECT_EQ(slots[2].Name, "I2");
    EXPECT_EQ(slots[3].Name, "");
    EXPECT_EQ(slots[30].Name, "");
    EXPECT_EQ(slots[31].Name, "I31");
    // A count beyond 30 never reaches past slot 30.
    DecodeIndexDescriptorArea(area.data(), 255, slots);
    EXPECT_EQ(slots[30].Name, "I30");
}

TEST(TableFormatCodec, NewAndResetHeaders) {
    DataFileHeader data = DataFileHeader::New(kOtherDigest);
    EXPECT_EQ(data.FormatVersion, kFormatVersion);
    EXPECT_EQ(data.SignatureDigest, kOtherDigest);
    EXPECT_EQ(data.NextRecordNo, 1);
    EXPECT_TRUE(data.HeaderModified);

    data.ChangeCount = 9;
    data.FirstFreeRecord = 4;
    data.NextRecordNo = 8;
    data.LastRecordID = 11;
    data.LastAutoIncValue = 12;
    data.RecordCount = 6;
    data.LastBlobSerial = 77;
    data.HeaderModified = false;
    data.Reset();
    EXPECT_EQ(data.ChangeCount, 0u);
    EXPECT_EQ(data.FirstFreeRecord, 0);
    EXPECT_EQ(data.NextRecordNo, 1);
    EXPECT_EQ(data.LastRecordID, 0);
    EXPECT_EQ(data.LastAutoIncValue, 0);
    EXPECT_EQ(data.RecordCount, 0);
    EXPECT_EQ(data.LastBlobSerial, 77);
    EXPECT_TRUE(data.HeaderModified);

    IndexFileHeader index = IndexFileHeader::New(kDefaultDigest);
    index.NextPageNo = 9;
    index.FirstFreePage = 3;
    index.RootPage[4] = 2;
    index.TextRootPage[31] = 5;
    index.Reset();
    EXPECT_EQ(index.NextPageNo, 1);
    EXPECT_EQ(index.FirstFreePage, 0);
    EXPECT_EQ(index.RootPage[4], 0);
    EXPECT_EQ(index.TextRootPage[31], 0);

    BlobFileHeader blob = BlobFileHeader::New(kDefaultDigest);
    blob.NextBlockNo = 4;
    blob.FirstFreeBlock = 2;
    blob.Reset();
    EXPECT_EQ(blob.NextBlockNo, 1);
    EXPECT_EQ(blob.FirstFreeBlock, 0);
}

// ---- Counters and LastUpdated ----

TEST(TableFormatCounters, NextValueWrapsToOne) {
    EXPECT_EQ(NextCounterValue(0), 1);
    EXPECT_EQ(NextCounterValue(41), 42);
    EXPECT_EQ(NextCounterValue(2147483647), 1);
}

TEST(TableFormatLastUpdated, EncodesDaysSinceTheEpochMinusTheBias) {
    // 1 January 2000 is day 730120 when 1 January 0001 is day 1.
    EXPECT_EQ(EncodeLastUpdated(730120, 12 * 3600 * 1000), -657067.5);
    EXPECT_EQ(LastUpdatedDays(-657067.5), 36526.5);
    // 30 December 1899 at midnight is T = 0.
    EXPECT_EQ(EncodeLastUpdated(693594, 0), -693594.0);

    int32_t day = 0;
    int32_t ms = 0;
    ASSERT_TRUE(DecodeLastUpdated(-657067.5, day, ms));
    EXPECT_EQ(day, 730120);
    EXPECT_EQ(ms, 12 * 3600 * 1000);
    ASSERT_TRUE(DecodeLastUpdated(EncodeLastUpdated(738000, 86'399'999), day, ms));
    EXPECT_EQ(day, 738000);
    EXPECT_EQ(ms, 86'399'999);
    // Before the epoch the fraction still counts from the day's start: T = -1.25 is
    // 29 December 1899, 06:00.
    ASSERT_TRUE(DecodeLastUpdated(-1.25 - kLastUpdatedBias, day, ms));
    EXPECT_EQ(day, 693593);
    EXPECT_EQ(ms, 6 * 3600 * 1000);
}

TEST(TableFormatLastUpdated, RefusesValuesOutsideTheCalendar) {
    int32_t day = 5;
    int32_t ms = 5;
    EXPECT_FALSE(DecodeLastUpdated(std::numeric_limits<double>::quiet_NaN(), day, ms));
    EXPECT_FALSE(DecodeLastUpdated(std::numeric_limits<double>::infinity(), day, ms));
    EXPECT_FALSE(DecodeLastUpdated(1e300, day, ms));
    EXPECT_FALSE(DecodeLastUpdated(-2.0 * kLastUpdatedBias, day, ms)); // day 0
    EXPECT_EQ(day, 5);
    EXPECT_EQ(ms, 5);
    EXPECT_TRUE(DecodeLastUpdated(EncodeLastUpdated(1, 0), day, ms));
    EXPECT_EQ(day, 1);
    EXPECT_TRUE(DecodeLastUpdated(EncodeLastUpdated(3'652'059, 0), day, ms));
}

// ---- Layout ----

FieldDescriptor Described(uint8_t type, uint16_t size = 0, uint8_t sub_type = 0) {
    FieldDescriptor field;
    field.DataType = type;
    field.Size = size;
    field.SubType = sub_type;
    return field;
}

TEST(TableFormatLayout, PhysicalAndKeySizes) {
    struct Case {
        uint8_t type, sub_type;
        uint16_t size, physical, key;
    };
    const Case cases[] = {
        { kTypeString, 0, 175, 176, 176 },
        { kTypeString, kSubTypeWide, 256, 513, 513 },
        { kTypeDate, 0, 0, 4, 4 },
        { kTypeBlob, kSubTypeMemo, 0, 8, 8 },
        { kTypeBoolean, 0, 0, 2, 2 },
        { kTypeSmallInt, 0, 0, 2, 2 },
        { kTypeInteger, kSubTypeAutoInc, 0, 4, 4 },
        { kTypeFloat, kSubTypeMoney, 0, 8, 8 },
        { kTypeBcd, 0, 0, 34, 8 },
        { kTypeBytes, 0, 16, 16, 16 },
        { kTypeTime, 0, 0, 4, 4 },
        { kTypeDateTime, 0, 0, 8, 8 },
        { kTypeWord, 0, 0, 2, 2 },
        { kTypeVarBytes, 0, 512, 512, 512 },
        { kTypeLargeInt, 0, 0, 8, 8 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.type));
        FieldDescriptor field = Described(c.type, c.size, c.sub_type);
        field.PhysicalSize = PhysicalSize(c.type, c.sub_type, c.size);
        EXPECT_EQ(field.PhysicalSize, c.physical);
        EXPECT_EQ(KeySize(field), c.key);
    }
}

TEST(TableFormatLayout, ThreeFieldExample) {
    std::vector<FieldDescriptor> fields = { Described(kTypeString, 175),
        Described(kTypeBlob, 0, kSubTypeMemo), Described(kTypeString, 1) };
    RecordLayout layout = LayOutFields(fields, "t");
    EXPECT_EQ(fields[0].FieldOffset, 25);
    EXPECT_EQ(fields[1].FieldOffset, 202);
    EXPECT_EQ(fields[2].FieldOffset, 211);
    EXPECT_EQ(layout.RecordSize, 216);
    EXPECT_EQ(layout.BlobFieldCount, 1);
}

TEST(TableFormatLayout, BlobFieldLimit) {
    std::vector<FieldDescriptor> fields(128, Described(kTypeBlob, 0, kSubTypeBinary));
    EXPECT_EQ(LayOutFields(fields, "t").BlobFieldCount, 128);
    fields.push_back(Described(kTypeBlob, 0, kSubTypeBinary));
    EXPECT_EQ(RaisedCode([&] { LayOutFields(fields, "t"); }), ZOLVEK_BLOBLIMIT);
}

TEST(TableFormatLayout, RecordSizeLimit) {
    // 25 + 127 * 513 + (x + 1) bytes, rounded up to 8.
    std::vector<FieldDescriptor> fields(127, Described(kTypeBytes, 512));
    fields.push_back(Described(kTypeBytes, 350)); // 65527 -> 65528
    EXPECT_EQ(LayOutFields(fields, "t").RecordSize, 65528);
    fields.back().Size = 358; // 65535 -> 65536
    EXPECT_EQ(RaisedCode([&] { LayOutFields(fields, "t"); }), ZOLVEK_RECTOOBIG);
    // Far beyond 16 bits (field offsets wrap in the descriptor, the size is still refused).
    std::vector<FieldDescriptor> huge(1024, Described(kTypeBytes, 512));
    EXPECT_EQ(RaisedCode([&] { LayOutFields(huge, "t"); }), ZOLVEK_RECTOOBIG);
}

// ---- Names and lookup ----

TEST(TableFormatNames, TableFileNames) {
    EXPECT_EQ(BuildTableFileName("datalar", ".idx", ".dat"), "datalar.idx");
    EXPECT_EQ(BuildTableFileName("datalar.dat", ".idx", ".dat"), "datalar.idx");
    EXPECT_EQ(BuildTableFileName("  datalar.DAT ", ".dat", ".dat"), "datalar.dat");
    EXPECT_EQ(BuildTableFileName("my.table", ".dat", ".dat"), "my.table.dat");
    EXPECT_EQ(BuildTableFileName("a.dat.x", ".blb", ".dat"), "a.dat.x.blb");
    EXPECT_EQ(BuildTableFileName("a.data", ".blb", ".dat"), "a.data.blb");
}

TEST(TableFormatNames, CaseInsensitiveOverAsciiAndTurkishLetters) {
    EXPECT_TRUE(SameName("anahtar", "ANAHTAR"));
    EXPECT_TRUE(SameName(" Anahtar\t", "ANAHTAR"));
    EXPECT_TRUE(SameName("\xFE\xF0\xE7\xF6\xFC", "\xDE\xD0\xC7\xD6\xDC")); // şğçöü / ŞĞÇÖÜ
    EXPECT_TRUE(SameName("\xFD", "I")); // dotless i
    EXPECT_TRUE(SameName("i", "I"));
    EXPECT_FALSE(SameName("i", "\xDD")); // dotted capital I is its own letter here
    EXPECT_FALSE(SameName("\xF7", "\xD7")); // division and multiplication signs
    EXPECT_FALSE(SameName("ANAHTAR", "ANAHTAR2"));
    EXPECT_EQ(UpperCaseName("a\x9A\x9C\xFF"), "A\x8A\x8C\x9F");
}

TEST(TableFormatNames, ValidFirstCharacters) {
    EXPECT_TRUE(IsValidNameStart("A"));
    EXPECT_TRUE(IsValidNameStart("z1"));
    EXPECT_TRUE(IsValidNameStart("_x"));
    EXPECT_TRUE(IsValidNameStart("\x80"));
    EXPECT_TRUE(IsValidNameStart("\xFE"));
    EXPECT_FALSE(IsValidNameStart(""));
    EXPECT_FALSE(IsValidNameStart("1A"));
    EXPECT_FALSE(IsValidNameStart(" A"));
    EXPECT_FALSE(IsValidNameStart("\xFF"));
    EXPECT_FALSE(IsValidNameStart("$"));
}

TEST(TableFormatLookup, ByNumberNameAndPseudoFields) {
    std::vector<FieldDescriptor> fields = { Described(kTypeString, 10), Described(kTypeInteger) };
    fields[0].Name = "ANAHTAR";
    fields[1].Name = "\xDE\x45KER"; // ŞEKER
    LayOutFields(fields, "t");

    EXPECT_EQ(FindField(fields, 1), &fields[0]);
    EXPECT_EQ(FindField(fields, 2), &fields[1]);
    EXPECT_EQ(FindField(fields, 0), nullptr);
    EXPECT_EQ(FindField(fields, 3), nullptr);
    EXPECT_EQ(FindField(fields, -3), nullptr);

    const FieldDescriptor* id = FindField(fields, kRecordIDField);
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(id->Name, "RecordID");
    EXPECT_EQ(id->DataType, kTypeInteger);
    EXPECT_EQ(id->PhysicalSize, 4);
    EXPECT_EQ(id->FieldOffset, 5);
    EXPECT_EQ(FindField(fields, int32_t(kRecordIDFieldNo)), id);
    const FieldDescriptor* hash = FindField(fields, kRecordHashField);
    ASSERT_NE(hash, nullptr);
    EXPECT_EQ(hash->Name, "RecordHash");
    EXPECT_EQ(hash->DataType, kTypeBytes);
    EXPECT_EQ(hash->SubType, kSubTypeRecordHash);
    EXPECT_EQ(hash->Size, 16);
    EXPECT_EQ(hash->PhysicalSize, 16);
    EXPECT_EQ(hash->FieldOffset, 9);

    EXPECT_EQ(FindField(fields, std::string_view("anahtar")), &fields[0]);
    EXPECT_EQ(FindField(fields, std::string_view("\xFE\x65ker")), &fields[1]);
    EXPECT_EQ(FindField(fields, std::string_view("recordid")), id);
    EXPECT_EQ(FindField(fields, std::string_view("RECORDHASH")), hash);
    EXPECT_EQ(FindField(fields, std::string_view("nothing")), nullptr);
    EXPECT_EQ(FieldNumber(fields, "Anahtar"), 1);
    EXPECT_EQ(FieldNumber(fields, "\xDE\x45KER"), 2);
    EXPECT_EQ(FieldNumber(fields, "RecordID"), -1);
    EXPECT_EQ(FieldNumber(fields, "RecordHash"), -2);
    EXPECT_EQ(FieldNumber(fields, "x"), 0);
}

// ---- Checks and verification ----

TEST(TableFormatVerify, SampleTableAndEmptyTableOpen) {
    EXPECT_EQ(OpenTableImage(BuildTableImage(SampleDefinition())), ZOLVEK_NONE);
    TableImage empty = BuildTableImage(SampleDefinition(), kDefaultDigest, 0);
    DataFileHeader header;
    header.Decode(empty.data_header.data());
    EXPECT_EQ(empty.data_file_size, 512u + 768u * 4u);
    EXPECT_EQ(header.NextRecordNo, 1);
    EXPECT_EQ(header.RecordCount, 0);
    EXPECT_EQ(header.FirstFreeRecord, 0);
    EXPECT_EQ(OpenTableImage(empty), ZOLVEK_NONE);
}

TEST(TableFormatVerify, SignatureRulesAcrossEngines) {
    SignatureDigests default_engine { kDefaultDigest, kDefaultDigest };
    SignatureDigests other_engine { kOtherDigest, kDefaultDigest };
    TableImage made_by_default = BuildTableImage(SampleDefinition(), kDefaultDigest);
    TableImage made_by_other = BuildTableImage(SampleDefinition(), kOtherDigest);
    EXPECT_EQ(OpenTableImage(made_by_default, default_engine), ZOLVEK_NONE);
    EXPECT_EQ(OpenTableImage(made_by_default, other_engine), ZOLVEK_NONE);
    EXPECT_EQ(OpenTableImage(made_by_other, other_engine), ZOLVEK_NONE);
    EXPECT_EQ(OpenTableImage(made_by_other, default_engine), ZOLVEK_BADSIGNATURE);
}

struct Corruption {
    const char* what;
    std::function<void(TableImage&)> damage;
    EngineCode expected;
};

// One damaged field of an otherwise valid table per case.
const std::vector<Corruption>& Corruptions() {
    static const std::vector<Corruption> cases = {
        // Versions and signatures.
        { "data version 0", [](TableImage& t) { t.Data([](auto& h) { h.FormatVersion = 0; }); },
            ZOLVEK_OLDVERSION },
        { "data version 4", [](TableImage& t) { t.Data([](auto& h) { h.FormatVersion = 4; }); },
            ZOLVEK_OLDVERSION },
        { "data version 7", [](TableImage& t) { t.Data([](auto& h) { h.FormatVersion = 7; }); },
            ZOLVEK_BADSIGNATURE },
        { "data version 200", [](TableImage& t) { t.Data([](auto& h) { h.FormatVersion = 200; }); },
            ZOLVEK_BADSIGNATURE },
        { "index version 5", [](TableImage& t) { t.Index([](auto& h) { h.FormatVersion = 5; }); },
            ZOLVEK_OLDVERSION },
        { "blob version 255", [](TableImage& t) { t.Blob([](auto& h) { h.FormatVersion = 255; }); },
            ZOLVEK_BADSIGNATURE },
        { "data signature", [](TableImage& t) { t.data_header[9] ^= 1; }, ZOLVEK_BADSIGNATURE },
        { "index signature", [](TableImage& t) { t.index_header[24] ^= 0x80; },
            ZOLVEK_BADSIGNATURE },
        { "blob signature", [](TableImage& t) { t.blob_header[15] = 0; }, ZOLVEK_BADSIGNATURE },
        // Data header.
        { "1025 fields", [](TableImage& t) { t.Data([](auto& h) { h.FieldCount = 1025; }); },
            ZOLVEK_HEADERCORRUPT },
        { "no fields", [](TableImage& t) { t.Data([](auto& h) { h.FieldCount = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "fewer fields than descriptors",
            [](TableImage& t) { t.Data([](auto& h) { h.FieldCount = 3; }); },
            ZOLVEK_HEADERCORRUPT },
        { "record size off by 8", [](TableImage& t) { t.Data([](auto& h) { h.RecordSize += 8; }); },
            ZOLVEK_HEADERCORRUPT },
        { "record size not a multiple of 8",
            [](TableImage& t) { t.Data([](auto& h) { h.RecordSize += 1; }); },
            ZOLVEK_HEADERCORRUPT },
        { "record size 0", [](TableImage& t) { t.Data([](auto& h) { h.RecordSize = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "blob field count 0",
            [](TableImage& t) { t.Data([](auto& h) { h.BlobFieldCount = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "blob field count negative",
            [](TableImage& t) { t.Data([](auto& h) { h.BlobFieldCount = -1; }); },
            ZOLVEK_HEADERCORRUPT },
        { "index page size 0", [](TableImage& t) { t.Data([](auto& h) { h.IndexPageSize = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "index page size 16385",
            [](TableImage& t) { t.Data([](auto& h) { h.IndexPageSize = 16385; }); },
            ZOLVEK_HEADERCORRUPT },
        { "blob block size 63",
            [](TableImage& t) { t.Data([](auto& h) { h.BlobBlockSize = 63; }); },
            ZOLVEK_HEADERCORRUPT },
        { "blob block size 65537",
            [](TableImage& t) { t.Data([](auto& h) { h.BlobBlockSize = 65537; }); },
            ZOLVEK_HEADERCORRUPT },
        { "locale not available", [](TableImage& t) { t.Data([](auto& h) { h.LocaleID = 1234; }); },
            ZOLVEK_CANNOTLOADLDDRV },
        { "size not a whole number of records", [](TableImage& t) { t.data_file_size += 1; },
            ZOLVEK_HEADERCORRUPT },
        { "size shorter than the descriptors",
            [](TableImage& t) { t.data_file_size = 512 + 768 * 3; }, ZOLVEK_HEADERCORRUPT },
        { "one record more on disk",
            [](TableImage& t) {
                DataFileHeader h;
                h.Decode(t.data_header.data());
                t.data_file_size += h.RecordSize;
            },
            ZOLVEK_HEADERCORRUPT },
        { "next record number ahead",
            [](TableImage& t) { t.Data([](auto& h) { h.NextRecordNo += 1; }); },
            ZOLVEK_HEADERCORRUPT },
        { "next record number 0",
            [](TableImage& t) { t.Data([](auto& h) { h.NextRecordNo = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "first free record past the end",
            [](TableImage& t) { t.Data([](auto& h) { h.FirstFreeRecord = 4; }); },
            ZOLVEK_HEADERCORRUPT },
        { "first free record negative",
            [](TableImage& t) { t.Data([](auto& h) { h.FirstFreeRecord = -1; }); },
            ZOLVEK_HEADERCORRUPT },
        // Field descriptors.
        { "duplicate field name",
            [](TableImage& t) { t.Field(3, [](auto& f) { f.Name = "anahtar"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "duplicate after trimming",
            [](TableImage& t) { t.Field(3, [](auto& f) { f.Name = "ANAHTAR  "; }); },
            ZOLVEK_HEADERCORRUPT },
        { "bad first character",
            [](TableImage& t) { t.Field(2, [](auto& f) { f.Name = "1ACIKLAMA"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "empty field name", [](TableImage& t) { t.Field(4, [](auto& f) { f.Name.clear(); }); },
            ZOLVEK_HEADERCORRUPT },
        { "overlong field name", [](TableImage& t) { t.descriptors[2 + 768] = 61; },
            ZOLVEK_HEADERCORRUPT },
        { "field number mismatch",
            [](TableImage& t) { t.Field(2, [](auto& f) { f.FieldNo = 5; }); },
            ZOLVEK_HEADERCORRUPT },
        { "duplicate field number",
            [](TableImage& t) { t.Field(2, [](auto& f) { f.FieldNo = 1; }); },
            ZOLVEK_HEADERCORRUPT },
        { "field offset", [](TableImage& t) { t.Field(3, [](auto& f) { f.FieldOffset += 1; }); },
            ZOLVEK_HEADERCORRUPT },
        { "type 0", [](TableImage& t) { t.Field(4, [](auto& f) { f.DataType = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "type without storage rules",
            [](TableImage& t) { t.Field(4, [](auto& f) { f.DataType = 13; }); },
            ZOLVEK_HEADERCORRUPT },
        { "size on an integer", [](TableImage& t) { t.Field(4, [](auto& f) { f.Size = 4; }); },
            ZOLVEK_HEADERCORRUPT },
        { "string size 513", [](TableImage& t) { t.Field(3, [](auto& f) { f.Size = 513; }); },
            ZOLVEK_HEADERCORRUPT },
        { "wide string size 257",
            [](TableImage& t) {
                t.Field(3, [](auto& f) {
                    f.SubType = kSubTypeWide;
                    f.Size = 257;
                });
            },
            ZOLVEK_HEADERCORRUPT },
        { "invalid default",
            [](TableImage& t) { t.Field(4, [](auto& f) { f.DefaultValue = "abc"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "invalid minimum", [](TableImage& t) { t.Field(4, [](auto& f) { f.MinValue = "1x"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text on a BLOB", [](TableImage& t) { t.Field(2, [](auto& f) { f.MaxValue = "x"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "scale on an integer", [](TableImage& t) { t.Field(4, [](auto& f) { f.Scale = 2; }); },
            ZOLVEK_HEADERCORRUPT },
        // Index header and slots.
        { "31 secondary indexes",
            [](TableImage& t) { t.Index([](auto& h) { h.SecondaryIndexCount = 31; }); },
            ZOLVEK_HEADERCORRUPT },
        { "secondary count beyond the slots in use",
            [](TableImage& t) { t.Index([](auto& h) { h.SecondaryIndexCount = 3; }); },
            ZOLVEK_HEADERCORRUPT },
        { "first free page past the end",
            [](TableImage& t) { t.Index([](auto& h) { h.FirstFreePage = 6; }); },
            ZOLVEK_HEADERCORRUPT },
        { "root page negative", [](TableImage& t) { t.Index([](auto& h) { h.RootPage[1] = -1; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text root page of slot 0",
            [](TableImage& t) { t.Index([](auto& h) { h.TextRootPage[0] = 99; }); },
            ZOLVEK_HEADERCORRUPT },
        { "root page of an empty file",
            [](TableImage& t) {
                t.Index([](auto& h) {
                    h.NextPageNo = 1;
                    h.FirstFreePage = 0;
                    h.RootPage[0] = 1;
                    h.RootPage[1] = 0;
                    h.TextRootPage[31] = 0;
                });
            },
            ZOLVEK_HEADERCORRUPT },
        { "root page of slot 31",
            [](TableImage& t) { t.Index([](auto& h) { h.RootPage[31] = 7; }); },
            ZOLVEK_HEADERCORRUPT },
        { "named primary", [](TableImage& t) { t.Slot(0, [](auto& d) { d.Name = "P"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "primary not unique", [](TableImage& t) { t.Slot(0, [](auto& d) { d.Unique = false; }); },
            ZOLVEK_HEADERCORRUPT },
        { "primary list starts with 0",
            [](TableImage& t) { t.Slot(0, [](auto& d) { d.FieldList[0] = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "secondary name bad first character",
            [](TableImage& t) { t.Slot(1, [](auto& d) { d.Name = " ANAHTAR_IDX"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "secondary name overlong", [](TableImage& t) { t.index_area[768] = 200; },
            ZOLVEK_HEADERCORRUPT },
        { "duplicate secondary name",
            [](TableImage& t) { t.Slot(2, [](auto& d) { d.Name = "anahtar_idx"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "field count 0", [](TableImage& t) { t.Slot(1, [](auto& d) { d.FieldCount = 0; }); },
            ZOLVEK_HEADERCORRUPT },
        { "field count 129", [](TableImage& t) { t.Slot(1, [](auto& d) { d.FieldCount = 129; }); },
            ZOLVEK_HEADERCORRUPT },
        { "field count disagrees with the list",
            [](TableImage& t) { t.Slot(2, [](auto& d) { d.FieldCount = 1; }); },
            ZOLVEK_HEADERCORRUPT },
        { "gap in the field list",
            [](TableImage& t) {
                t.Slot(2, [](auto& d) {
                    d.FieldList[1] = 0;
                    d.FieldList[2] = 1;
                });
            },
            ZOLVEK_HEADERCORRUPT },
        { "index on a BLOB", [](TableImage& t) { t.Slot(1, [](auto& d) { d.FieldList[0] = 2; }); },
            ZOLVEK_HEADERCORRUPT },
        { "index on a missing field",
            [](TableImage& t) { t.Slot(1, [](auto& d) { d.FieldList[0] = 5; }); },
            ZOLVEK_HEADERCORRUPT },
        { "key length disagrees",
            [](TableImage& t) { t.Slot(1, [](auto& d) { d.KeyLength -= 4; }); },
            ZOLVEK_HEADERCORRUPT },
        { "unknown compression",
            [](TableImage& t) { t.Slot(1, [](auto& d) { d.Compression = 4; }); },
            ZOLVEK_HEADERCORRUPT },
        { "key above a third of the page",
            [](TableImage& t) {
                // 2 x 177 = 354 > (1024 - 13) / 3 = 337, with a matching KeyLength.
                t.Slot(1, [](auto& d) {
                    d.FieldCount = 2;
                    d.FieldList[1] = 1;
                    d.KeyLength = 358;
                });
            },
            ZOLVEK_HEADERCORRUPT },
        { "text index renamed",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.Name = "Sys Texts"; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text index key length",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.KeyLength = 67; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text index compression",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.Compression = icTrailingByte; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text index keeps statistics",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.NoKeyStatistics = false; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text index on an integer",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.FieldList[0] = 4; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text index on RecordID",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.FieldList[0] = kRecordIDFieldNo; }); },
            ZOLVEK_HEADERCORRUPT },
        { "text index field count 129",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.FieldCount = 129; }); },
            ZOLVEK_HEADERCORRUPT },
        // BLOB header.
        { "first free block past the end",
            [](TableImage& t) { t.Blob([](auto& h) { h.FirstFreeBlock = 10; }); },
            ZOLVEK_HEADERCORRUPT },
        { "next block number 0 with a free block",
            [](TableImage& t) { t.Blob([](auto& h) { h.NextBlockNo = 0; }); },
            ZOLVEK_HEADERCORRUPT },
    };
    return cases;
}

TEST(TableFormatVerify, SingleFieldCorruptionsAreRefusedWithTheirCode) {
    for (const Corruption& c : Corruptions()) {
        SCOPED_TRACE(c.what);
        TableImage image = BuildTableImage(SampleDefinition());
        c.damage(image);
        EXPECT_EQ(OpenTableImage(image), c.expected);
    }
}

TEST(TableFormatVerify, HarmlessVariationsStillOpen) {
    const std::vector<std::pair<const char*, std::function<void(TableImage&)>>> cases = {
        { "available locale",
            [](TableImage& t) { t.Data([](auto& h) { h.LocaleID = testing::kTurkishLocale; }); } },
        { "stored HeaderModified", [](TableImage& t) { t.data_header[197] = 1; } },
        { "text index name in other case",
            [](TableImage& t) { t.Slot(31, [](auto& d) { d.Name = "SYS TEXT"; }); } },
        { "text index over a string",
            [](TableImage& t) {
                t.Slot(31, [](auto& d) {
                    d.FieldCount = 2;
                    d.FieldList[1] = 3;
                });
            } },
        { "entries after the end of a list",
            [](TableImage& t) { t.Slot(1, [](auto& d) { d.FieldList[5] = 3; }); } },
        { "index over RecordHash",
            [](TableImage& t) {
                t.Slot(1, [](auto& d) {
                    d.FieldList[0] = kRecordHashFieldNo;
                    d.KeyLength = 17 + 4;
                });
            } },
        { "no free record", [](TableImage& t) { t.Data([](auto& h) { h.FirstFreeRecord = 0; }); } },
        { "last record free",
            [](TableImage& t) { t.Data([](auto& h) { h.FirstFreeRecord = 3; }); } },
        { "slots above the count are not read",
            [](TableImage& t) { t.Slot(5, [](auto& d) { d.Name = "1bad"; }); } },
    };
    for (const auto& [what, change] : cases) {
        SCOPED_TRACE(what);
        TableImage image = BuildTableImage(SampleDefinition());
        change(image);
        EXPECT_EQ(OpenTableImage(image), ZOLVEK_NONE);
    }
}

TEST(TableFormatVerify, RecomputesPhysicalSizesInMemory) {
    TableImage image = BuildTableImage(SampleDefinition());
    image.Field(1, [](auto& f) {
        f.PhysicalSize = 9;
        f.PhysicalScale = 3;
    });
    DataFileHeader header;
    header.Decode(image.data_header.data());
    std::vector<FieldDescriptor> fields = DecodeFieldDescriptors(image.descriptors.data(), 4);
    VerifyDataFileHeader(header, fields, image.data_file_size, testing::TestLocaleAvailable, "t");
    EXPECT_EQ(fields[0].PhysicalSize, 176);
    EXPECT_EQ(fields[0].PhysicalScale, 0);
}

TEST(TableFormatVerify, ErrorsNameTheTable) {
    TableImage image = BuildTableImage(SampleDefinition());
    image.Data([](auto& h) { h.FormatVersion = 5; });
    DataFileHeader header;
    header.Decode(image.data_header.data());
    try {
        CheckDataFileHeader(header, { kDefaultDigest, kDefaultDigest }, "datalar");
        FAIL() << "no error";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_OLDVERSION);
        EXPECT_EQ(error.ErrorTableName(), "datalar");
        EXPECT_STREQ(error.what(),
            "ZOLVEK Engine Error # 12035 The table 'datalar' is not the correct version");
    }
}

} // namespace
} // namespace zolvek
