// A small valid table, as byte images of its headers and descriptor blocks, and the open path
// that the table files take over them; shared by the table format tests.
#pragma once

#include "db/base/errors.h"
#include "db/storage/index_slots.h"
#include "db/storage/table_definition.h"
#include "db/storage/table_format.h"
#include "support/definitions.h"

#include <cstdint>
#include <vector>

namespace zolvek::testing {

inline constexpr TDigest kDefaultDigest = { 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
    0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01 };
inline constexpr TDigest kOtherDigest = { 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8,
    0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF };
inline constexpr uint32_t kTurkishLocale = 1055;

inline bool TestLocaleAvailable(uint32_t locale_id) {
    return locale_id == kTurkishLocale;
}

// ANAHTAR string 175, ACIKLAMA memo, INDEX string 1, SAYI integer with default 0; secondary
// indexes on ANAHTAR (case-insensitive, non-unique) and INDEX, ACIKLAMA in the full-text index.
inline TableDefinition SampleDefinition() {
    TableDefinition definition;
    definition.Fields.push_back(Field("ANAHTAR", kTypeString, 175));
    definition.Fields.push_back(Field("ACIKLAMA", kTypeBlob, 0, kSubTypeMemo));
    definition.Fields.push_back(Field("INDEX", kTypeString, 1));
    definition.Fields.push_back(Field("SAYI", kTypeInteger));
    definition.Fields.back().DefaultValue = "0";
    IndexDefinition by_key;
    by_key.Name = "ANAHTAR_IDX";
    by_key.Fields = { 1 };
    by_key.CaseInsensitive = true;
    definition.SecondaryIndexes.push_back(by_key);
    IndexDefinition by_letter;
    by_letter.Name = "INDEX_IDX";
    by_letter.Fields = { 3, 1 };
    by_letter.DescFields = { true };
    by_letter.Compression = icFull;
    definition.SecondaryIndexes.push_back(by_letter);
    definition.TextIndexFields = { 2 };
    definition.IndexPageSize = 1024;
    return definition;
}

// The byte images the table files hold, plus the data file's size.
struct TableImage {
    std::vector<uint8_t> data_header = std::vector<uint8_t>(kFileHeaderSize);
    std::vector<uint8_t> descriptors;
    std::vector<uint8_t> index_header = std::vector<uint8_t>(kFileHeaderSize);
    std::vector<uint8_t> index_area = std::vector<uint8_t>(kIndexDescriptorAreaSize);
    std::vector<uint8_t> blob_header = std::vector<uint8_t>(kFileHeaderSize);
    uint64_t data_file_size = 0;

    template <typename Edit> void Data(Edit edit) {
        DataFileHeader header;
        header.Decode(data_header.data());
        edit(header);
        header.Encode(data_header.data());
    }
    template <typename Edit> void Field(size_t position, Edit edit) {
        FieldDescriptor field;
        uint8_t* image = descriptors.data() + (position - 1) * kDescriptorSize;
        field.Decode(image);
        edit(field);
        field.Encode(image);
    }
    template <typename Edit> void Index(Edit edit) {
        IndexFileHeader header;
        header.Decode(index_header.data());
        edit(header);
        header.Encode(index_header.data());
    }
    template <typename Edit> void Slot(size_t slot, Edit edit) {
        IndexDescriptor descriptor;
        uint8_t* image = index_area.data() + slot * kDescriptorSize;
        descriptor.Decode(image);
        edit(descriptor);
        descriptor.Encode(image);
    }
    template <typename Edit> void Blob(Edit edit) {
        BlobFileHeader header;
        header.Decode(blob_header.data());
        edit(header);
        header.Encode(blob_header.data());
    }
};

// Images of a table laid out from `definition` and created under `digest`, holding
// `record_count` records of which the second is free, with a few index pages and BLOB blocks.
inline TableImage BuildTableImage(const TableDefinition& definition,
    const TDigest& digest = kDefaultDigest, int32_t record_count = 3) {
    TableLayout layout = ValidateTableDefinition(definition, TestLocaleAvailable, "sample");
    TableImage image;

    DataFileHeader data = DataFileHeader::New(digest);
    ApplyTableLayout(layout, data);
    data.NextRecordNo = record_count + 1;
    data.FirstFreeRecord = record_count >= 2 ? 2 : 0;
    data.RecordCount = record_count >= 2 ? record_count - 1 : record_count;
    data.LastRecordID = record_count;
    data.Encode(image.data_header.data());
    image.descriptors.resize(layout.Fields.size() * kDescriptorSize);
    EncodeFieldDescriptors(layout.Fields, image.descriptors.data());
    image.data_file_size
        = FirstRecordOffset(data.FieldCount) + uint64_t(record_count) * data.RecordSize;

    IndexSlots slots;
    slots.Header = IndexFileHeader::New(digest);
    slots.Slots = layout.IndexSlots;
    slots.Header.SecondaryIndexCount = layout.SecondaryIndexCount;
    slots.Header.NextPageNo = 6;
    slots.Header.FirstFreePage = 5;
    slots.Header.RootPage[0] = 1;
    slots.Header.RootPage[1] = 2;
    slots.Header.TextRootPage[kTextIndexSlot] = 4;
    slots.Header.Encode(image.index_header.data());
    slots.EncodeArea(image.index_area.data());

    BlobFileHeader blob = BlobFileHeader::New(digest);
    blob.NextBlockNo = 10;
    blob.FirstFreeBlock = 9;
    blob.Encode(image.blob_header.data());
    return image;
}

// Opens the images as the table files do: checks, then descriptors, then verification.
// Returns 0 or the code of the engine error raised.
inline EngineCode OpenTableImage(
    const TableImage& image, const SignatureDigests& digests = { kDefaultDigest, kDefaultDigest }) {
    try {
        DataFileHeader data;
        data.Decode(image.data_header.data());
        CheckDataFileHeader(data, digests, "sample");
        if (image.descriptors.size() < size_t(data.FieldCount) * kDescriptorSize) {
            return ZOLVEK_READERR;
        }
        std::vector<FieldDescriptor> fields
            = DecodeFieldDescriptors(image.descriptors.data(), data.FieldCount);
        IndexSlots slots;
        slots.Header.Decode(image.index_header.data());
        CheckIndexFileHeader(slots.Header, digests, "sample");
        slots.DecodeArea(image.index_area.data());
        BlobFileHeader blob;
        if (data.BlobFieldCount > 0) {
            blob.Decode(image.blob_header.data());
            CheckBlobFileHeader(blob, digests, "sample");
        }
        VerifyDataFileHeader(data, fields, image.data_file_size, TestLocaleAvailable, "sample");
        VerifyIndexFileHeader(slots.Header, slots.Slots, fields, data.IndexPageSize, "sample");
        if (data.BlobFieldCount > 0) {
            VerifyBlobFileHeader(blob, "sample");
        }
        return ZOLVEK_NONE;
    } catch (const EZOLVEKEngineError& error) {
        return error.Code();
    }
}

// The code an engine error raised by `action` carries, 0 when none is raised.
template <typename Action> EngineCode RaisedCode(Action action) {
    try {
        action();
        return ZOLVEK_NONE;
    } catch (const EZOLVEKEngineError& error) {
        return error.Code();
    }
}

} // namespace zolvek::testing
