// Index key building and comparing.
#include "db/storage/index_keys.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/base/value_text.h"
#include "db/storage/records.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace zolvek {

namespace {

void StoreBigEndian(uint8_t* out, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i)
        out[i] = uint8_t(value >> (8 * (width - 1 - i)));
}

// Signed integers sort as unsigned big-endian numbers once their sign bit is inverted.
void StoreSortableSigned(uint8_t* out, int64_t value, size_t width) {
    uint64_t bits = uint64_t(value) ^ (uint64_t(1) << (8 * width - 1));
    StoreBigEndian(out, bits, width);
}

[[noreturn]] void RaiseCorruptIndex(std::string_view table_name) {
    ProcessEngineErrors().RaiseTableError(ZOLVEK_INDEXCORRUPT, table_name);
}

void StoreSortableDouble(uint8_t* out, double value) {
    uint64_t bits = std::bit_cast<uint64_t>(value);
    // -0.0 >= 0 holds, so both zeros get the same key (the sign bit set).
    bits = value >= 0 ? (bits | (uint64_t(1) << 63)) : ~bits;
    StoreBigEndian(out, bits, 8);
}

int64_t BcdKeyValue(const uint8_t* stored) {
    TBcd bcd;
    LoadBcd(stored, bcd);
    int64_t value = 0;
    if (bcd.precision == 0)
        return 0;
    if (BcdToCurrency(bcd, value))
        return value;
    // Out of the currency range (or malformed): the end of the range on its side.
    return (bcd.sign_scale & kBcdNegative) != 0 ? std::numeric_limits<int64_t>::min()
                                                : std::numeric_limits<int64_t>::max();
}

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

} // namespace

TIndexKeyInfo::TIndexKeyInfo()
    : order_(&LocaleCharacterOrder(kAnsiStandardLocale)) { }

TIndexKeyInfo::TIndexKeyInfo(uint8_t slot, const IndexDescriptor& descriptor,
    std::span<const FieldDescriptor> fields, uint32_t locale_id, std::string_view table_name)
    : slot_(slot)
    , index_name_(slot == kPrimaryIndexSlot ? std::string("Primary") : descriptor.Name)
    , key_length_(descriptor.KeyLength)
    , case_insensitive_(descriptor.CaseInsensitive)
    , unique_(descriptor.Unique)
    , no_key_statistics_(descriptor.NoKeyStatistics)
    , compression_(descriptor.Compression)
    , locale_id_(locale_id)
    , order_(&LocaleCharacterOrder(locale_id)) {
    if (compression_ > icFull || key_length_ == 0 || key_length_ > kMaxKeyLength)
        RaiseCorruptIndex(table_name);
    if (slot == kTextIndexSlot)
        return;
    if (descriptor.FieldCount == 0 || descriptor.FieldCount > kMaxIndexFields)
        RaiseCorruptIndex(table_name);
    uint32_t offset = 0;
    fields_.reserve(descriptor.FieldCount);
    for (size_t k = 0; k < descriptor.FieldCount; ++k) {
        uint16_t field_no = descriptor.FieldList[k];
        const FieldDescriptor* field = field_no == 0 ? nullptr : FindField(fields, field_no);
        if (field == nullptr || field->DataType == kTypeBlob)
            RaiseCorruptIndex(table_name);
        TKeyField key_field;
        key_field.Field = *field;
        key_field.KeySize = KeySize(*field);
        key_field.Offset = uint16_t(std::min<uint32_t>(offset, 0xFFFF));
        key_field.Descending = descriptor.Descending || descriptor.DescFields[k] != 0;
        key_field.LocaleString = locale_id != kAnsiStandardLocale && field->DataType == kTypeString;
        offset += key_field.KeySize + 1u;
        if (offset > kMaxKeyLength)
            RaiseCorruptIndex(table_name);
        fields_.push_back(key_field);
    }
    if (offset + (unique_ ? 0u : kNonUniqueKeySuffix) != key_length_)
        RaiseCorruptIndex(table_name);
}

uint16_t TIndexKeyInfo::KeyFieldsLength(size_t n) const {
    uint32_t sum = 0;
    for (size_t k = 0; k < n && k < fields_.size(); ++k)
        sum += fields_[k].KeySize + 1u;
    return uint16_t(sum);
}

void TIndexKeyInfo::EncodeField(
    const TKeyField& key_field, const uint8_t* record, uint8_t* out) const {
    const FieldDescriptor& field = key_field.Field;
    const uint8_t* value = FieldValuePointer(field, record);
    const size_t size = key_field.KeySize;
    if (field.FieldNo == kRecordIDFieldNo) {
        StoreSortableSigned(out, LoadI32(value), 4);
        return;
    }
    if (field.FieldNo == kRecordHashFieldNo) {
        std::memcpy(out, value, size);
        return;
    }
    switch (field.DataType) {
    case kTypeString: {
        size_t length = strnlen(reinterpret_cast<const char*>(value), size);
        std::memcpy(out, value, length);
        if (case_insensitive_ && field.SubType != kSubTypeWide)
            UpperCaseLocale(locale_id_, reinterpret_cast<char*>(out), length);
        return;
    }
    case kTypeDate:
    case kTypeInteger:
    case kTypeTime:
        StoreSortableSigned(out, LoadI32(value), 4);
        return;
    case kTypeSmallInt:
        StoreSortableSigned(out, LoadI16(value), 2);
        return;
    case kTypeBoolean:
    case kTypeWord:
        StoreBigEndian(out, LoadU16(value), 2);
        return;
    case kTypeLargeInt:
        StoreSortableSigned(out, LoadI64(value), 8);
        return;
    case kTypeFloat:
    case kTypeDateTime:
        StoreSortableDouble(out, LoadDouble(value));
        return;
    case kTypeBcd:
        StoreSortableSigned(out, BcdKeyValue(value), 8);
        return;
    default:
        std::memcpy(out, value, size);
        return;
    }
}

void TIndexKeyInfo::BuildKey(const uint8_t* record, uint8_t* key) const {
    std::memset(key, 0, key_length_);
    for (const TKeyField& key_field : fields_) {
        uint8_t* out = key + key_field.Offset;
        if (FieldIsNull(key_field.Field, record))
            continue; // presence 0, value all zero
        out[0] = 1;
        EncodeField(key_field, record, out + 1);
    }
    if (!unique_ && key_length_ >= kNonUniqueKeySuffix)
        StoreSortableSigned(key + key_length_ - kNonUniqueKeySuffix, RecordIDOf(record), 4);
}

int TIndexKeyInfo::CompareKeys(const uint8_t* a, const uint8_t* b, size_t length) const {
    size_t n = std::min<size_t>(length, key_length_);
    size_t s = 0;
    for (const TKeyField& key_field : fields_) {
        if (s >= n)
            return 0;
        const size_t k = key_field.KeySize;
        int result = 0;
        size_t span = 0;
        if (key_field.LocaleString) {
            if (a[s] != b[s]) {
                result = a[s] < b[s] ? -1 : 1;
            } else {
                size_t chars = std::min(k, n - s - 1);
                if (chars > 0 && std::memcmp(a + s + 1, b + s + 1, chars) != 0) {
                    std::string_view first(reinterpret_cast<const char*>(a + s + 1), chars);
                    std::string_view second(reinterpret_cast<const char*>(b + s + 1), chars);
                    // A collation failure (-2) counts as less.
                    result = Sign(CompareLocaleStrings(locale_id_, first, second, false, chars));
                }
            }
            span = std::min(k, n - s - 1) + 1;
        } else {
            span = std::min(k + 1, n - s);
            result = Sign(std::memcmp(a + s, b + s, span));
        }
        if (result != 0)
            return key_field.Descending ? -result : result;
        s += span;
    }
    if (s >= n)
        return 0;
    return Sign(std::memcmp(a + s, b + s, n - s));
}

void TIndexKeyInfo::Fill(uint8_t* key, size_t position, bool high) const {
    const uint8_t lowest_char = (*order_)[0];
    const uint8_t highest_char = (*order_)[255];
    size_t end = 0;
    for (const TKeyField& key_field : fields_) {
        size_t s = key_field.Offset;
        end = s + key_field.KeySize + 1;
        if (end <= position)
            continue;
        bool string = key_field.Field.DataType == kTypeString;
        // High ascending fields and low descending ones take the top of the order.
        bool top = high != key_field.Descending;
        uint8_t fill = top ? (string ? highest_char : 0xFF) : (string ? lowest_char : 0x00);
        size_t from = std::max(position, s);
        std::memset(key + from, fill, end - from);
    }
    size_t tail = std::max(position, end);
    if (tail < key_length_)
        std::memset(key + tail, high ? 0xFF : 0x00, key_length_ - tail);
}

void TIndexKeyInfo::FillKeyLow(uint8_t* key, size_t position) const {
    Fill(key, position, false);
}

void TIndexKeyInfo::FillKeyHigh(uint8_t* key, size_t position) const {
    Fill(key, position, true);
}

void TIndexKeyInfo::LowestKey(uint8_t* key) const {
    Fill(key, 0, false);
    for (const TKeyField& key_field : fields_)
        key[key_field.Offset] = key_field.Descending ? 1 : 0;
}

void TIndexKeyInfo::HighestKey(uint8_t* key) const {
    Fill(key, 0, true);
    for (const TKeyField& key_field : fields_)
        key[key_field.Offset] = key_field.Descending ? 0 : 1;
}

} // namespace zolvek
