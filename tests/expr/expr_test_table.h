// An in-memory table with one field of each engine type, for the expression tests and the
// expression fuzz target: its column lookup and ReadColumn stand in for a cursor's.
// Records are maps from field name to the value bytes in the record encoding.
#pragma once

#include "db/base/bytes.h"
#include "db/base/value_text.h"
#include "db/expr/expr_token.h"

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <strings.h>
#include <vector>

namespace zolvek::testing {

using namespace engine_types;

struct TestField {
    const char* name;
    uint8_t type;
    uint8_t sub_type;
    uint32_t physical_size;
    uint8_t scale;
};

// Field numbers are positions from 1.
inline constexpr TestField kTestFields[] = {
    { "ANAHTAR", ftString, 0, 176, 0 },
    { "KOD", ftString, stFixedChar, 11, 0 },
    { "KIMLIK", ftString, stGuid, 39, 0 },
    { "TARIH", ftDate, 0, 4, 0 },
    { "ACIKLAMA", ftBlob, stMemo, 8, 0 },
    { "RESIM", ftBlob, 0, 8, 0 },
    { "AKTIF", ftBoolean, 0, 2, 0 },
    { "KUCUK", ftSmallInt, 0, 2, 0 },
    { "SAYI", ftInteger, 0, 4, 0 },
    { "SIRA", ftInteger, stAutoInc, 4, 0 },
    { "FIYAT", ftFloat, 0, 8, 0 },
    { "PARA", ftFloat, stMoney, 8, 0 },
    { "TUTAR", ftBcd, 0, 34, 2 },
    { "BAYT", ftBytes, 0, 4, 0 },
    { "SAAT", ftTime, 0, 4, 0 },
    { "ZAMAN", ftTimestamp, 0, 8, 0 },
    { "KELIME", ftWord, 0, 2, 0 },
    { "DEGISKEN", ftVarBytes, 0, 8, 0 },
    { "BUYUK", ftLargeInt, 0, 8, 0 },
};

struct TestRecord {
    std::map<std::string, std::vector<uint8_t>, std::less<>> values; // absent: NULL

    TestRecord& Text(const char* name, std::string_view text) {
        if (text.empty()) {
            values.erase(name);
            return *this;
        }
        values[name] = std::vector<uint8_t>(text.begin(), text.end());
        return *this;
    }
    TestRecord& Bytes(const char* name, std::vector<uint8_t> bytes) {
        values[name] = std::move(bytes);
        return *this;
    }
    TestRecord& I16(const char* name, int16_t v) { return Encoded(name, 2, StoreI16, v); }
    TestRecord& U16(const char* name, uint16_t v) { return Encoded(name, 2, StoreU16, v); }
    TestRecord& I32(const char* name, int32_t v) { return Encoded(name, 4, StoreI32, v); }
    TestRecord& I64(const char* name, int64_t v) { return Encoded(name, 8, StoreI64, v); }
    TestRecord& F64(const char* name, double v) { return Encoded(name, 8, StoreDouble, v); }
    TestRecord& Currency(const char* name, int64_t times_10000, int places) {
        return Encoded(name, kBcdSize, StoreBcd, CurrencyToBcd(times_10000, places));
    }
    const uint8_t* Image() const { return reinterpret_cast<const uint8_t*>(this); }

private:
    // The value stored by `store` into `size` bytes.
    template <typename Store, typename T>
    TestRecord& Encoded(const char* name, size_t size, Store store, const T& value) {
        std::vector<uint8_t> bytes(size);
        store(bytes.data(), value);
        return Bytes(name, std::move(bytes));
    }
};

inline const TestRecord& RecordOf(const uint8_t* image) {
    return *reinterpret_cast<const TestRecord*>(image);
}

inline bool LookupTestColumn(TExpToken& column) {
    for (size_t i = 0; i < std::size(kTestFields); ++i) {
        const TestField& field = kTestFields[i];
        // Field names compare without regard to ASCII case, as the engine's do.
        if (column.ColumnName.size() != std::strlen(field.name)
            || strncasecmp(column.ColumnName.c_str(), field.name, column.ColumnName.size()) != 0)
            continue;
        column.FieldNo = int32_t(i + 1);
        column.DataType = field.type;
        column.SubType = field.sub_type;
        column.ValueSize = field.physical_size;
        column.Scale = field.scale;
        return true;
    }
    return false;
}

// Copies the field's value as a cursor would: strings zero-filled to their physical size,
// memos as zero-terminated text, BLOBs in full, other types in their physical size.
inline void ReadTestColumn(TExpToken& column, const uint8_t* image) {
    if (column.FieldNo < 1 || size_t(column.FieldNo) > std::size(kTestFields)) {
        column.Value.assign(1, 0);
        column.IsNull = true;
        return;
    }
    const TestField& field = kTestFields[column.FieldNo - 1];
    const TestRecord& record = RecordOf(image);
    auto found = record.values.find(field.name);
    bool is_null = found == record.values.end();
    if (field.type == ftBlob) {
        if (is_null) {
            column.Value.assign(1, 0);
        } else {
            column.Value = found->second;
            if (field.sub_type == stMemo)
                column.Value.push_back(0);
        }
    } else {
        column.Value.assign(field.physical_size, 0);
        if (!is_null) {
            size_t size = std::min<size_t>(found->second.size(),
                field.type == ftString ? field.physical_size - 1 : field.physical_size);
            std::memcpy(column.Value.data(), found->second.data(), size);
        }
    }
    column.IsNull = is_null;
}

} // namespace zolvek::testing
