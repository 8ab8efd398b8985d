// Index keys: the parameters of one index taken from its descriptor (key length, key fields
// with their key sizes and descending flags, letter case, uniqueness, compression) and the
// table's locale, and the operations on keys of that index: building a key from a record
// image, comparing keys over their whole length or a prefix, and the lowest and highest keys
// that ranges and partial searches are completed with.
// Thread-safety: a TIndexKeyInfo is immutable after construction and may be shared; its
// operations work on caller-owned buffers.
#pragma once

#include "db/storage/table_format.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

// Key layout, per key field in the order of the descriptor's field list:
//   presence byte (1)       1 when the field has a value, 0 when it is null
//   value (key size)        the encoded value; all zero when the field is null
// then, in a non-unique index, the record's RecordID (4, encoded as a 4-byte integer).
// Encodings: integers, dates and times big-endian with the top bit inverted (booleans and
// 16-bit unsigned integers without the inversion); doubles big-endian with the top bit set
// when >= 0 and all bits inverted when negative; BCD as the 8-byte integer of the value times
// 10 000; strings up to and including their terminating zero, upper-cased under the locale in
// a case-insensitive index; RecordHash and byte fields as stored.
struct TKeyField {
    FieldDescriptor Field; // a copy of the table's descriptor (or a pseudo-field's)
    uint16_t KeySize = 0;
    uint16_t Offset = 0; // of the presence byte in the key
    bool Descending = false;
    // String fields of a table with a locale compare under its collation.
    bool LocaleString = false;
};

class TIndexKeyInfo {
public:
    // The "no index" state: KeyLength 0, no fields.
    TIndexKeyInfo();
    // The parameters of index `slot`, whose descriptor lists fields of `fields` (the table's
    // verified descriptors), for a table with `locale_id`. A descriptor that does not agree with
    // the fields (an unknown or BLOB field, a KeyLength other than the key fields give, a key
    // longer than 4106 bytes, an unknown compression) raises 8965 naming `table_name`. The
    // full-text index (slot 31) keeps its KeyLength and no key fields; its keys compare as bytes.
    TIndexKeyInfo(uint8_t slot, const IndexDescriptor& descriptor,
        std::span<const FieldDescriptor> fields, uint32_t locale_id, std::string_view table_name);

    uint8_t Slot() const { return slot_; }
    // The name errors report: the descriptor's, or "Primary" for slot 0.
    const std::string& IndexName() const { return index_name_; }
    uint16_t KeyLength() const { return key_length_; }
    size_t FieldCount() const { return fields_.size(); }
    // Requires: i < FieldCount().
    const TKeyField& Field(size_t i) const { return fields_[i]; }
    bool CaseInsensitive() const { return case_insensitive_; }
    bool Unique() const { return unique_; }
    bool NoKeyStatistics() const { return no_key_statistics_; }
    uint8_t Compression() const { return compression_; }
    uint32_t LocaleID() const { return locale_id_; }
    // The table locale's character order (entry 0 the lowest character, 255 the highest).
    const std::array<uint8_t, 256>& CharacterOrder() const { return *order_; }

    // Sum of (key size + 1) over the first n key fields (all of them when n is larger).
    uint16_t KeyFieldsLength(size_t n) const;

    // Builds the key of a record image (the table's RecordSize bytes) into `key`.
    // Requires: `key` holds KeyLength() bytes.
    void BuildKey(const uint8_t* record, uint8_t* key) const;
    // -1, 0 or 1: key a against key b over their first `length` bytes (length <= KeyLength()).
    int CompareKeys(const uint8_t* a, const uint8_t* b, size_t length) const;
    // Overwrite everything from byte `position` on, so that the key becomes the lowest /
    // highest key that shares its first `position` bytes.
    // Requires: `key` holds KeyLength() bytes (for all four).
    void FillKeyLow(uint8_t* key, size_t position) const;
    void FillKeyHigh(uint8_t* key, size_t position) const;
    // Keys before / after every key of the index.
    void LowestKey(uint8_t* key) const;
    void HighestKey(uint8_t* key) const;

private:
    void Fill(uint8_t* key, size_t position, bool high) const;
    void EncodeField(const TKeyField& key_field, const uint8_t* record, uint8_t* out) const;

    uint8_t slot_ = kNoIndexSlot;
    std::string index_name_;
    uint16_t key_length_ = 0;
    std::vector<TKeyField> fields_;
    bool case_insensitive_ = false;
    bool unique_ = false;
    bool no_key_statistics_ = false;
    uint8_t compression_ = icNone;
    uint32_t locale_id_ = 0;
    const std::array<uint8_t, 256>* order_ = nullptr;
};

} // namespace zolvek
