// Default values and constraints of records.
#include "db/cursor/record_values.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/base/value_text.h"
#include "db/storage/records.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace zolvek {

namespace {

bool IsWord(std::string_view text, std::string_view word) {
    return EqualsIgnoringCase(TrimName(text), word);
}

// A field value as a number that orders like the value (integers, floats, dates, times,
// booleans, currency), or none for types compared otherwise.
std::optional<double> NumericValue(const FieldDescriptor& field, const uint8_t* value) {
    switch (field.DataType) {
    case kTypeBoolean:
        return LoadU16(value) != 0 ? 1.0 : 0.0;
    case kTypeSmallInt:
        return LoadI16(value);
    case kTypeWord:
        return LoadU16(value);
    case kTypeInteger:
    case kTypeDate:
    case kTypeTime:
        return LoadI32(value);
    case kTypeLargeInt:
        return double(LoadI64(value));
    case kTypeFloat:
    case kTypeDateTime:
        return LoadDouble(value);
    case kTypeBcd: {
        TBcd bcd;
        LoadBcd(value, bcd);
        int64_t currency = 0;
        if (!BcdToCurrency(bcd, currency))
            return std::nullopt;
        return double(currency) / 10000.0;
    }
    default:
        return std::nullopt;
    }
}

// The value of a text for a field, in the field's storage form; false when the type has
// no text form here.
bool TextValue(const FieldDescriptor& field, std::string_view text, std::vector<uint8_t>& value) {
    value.assign(std::max<size_t>(field.PhysicalSize, 8), 0);
    uint8_t* p = value.data();
    switch (field.DataType) {
    case kTypeDate: {
        int32_t day = 0, ms = 0;
        if (IsWord(text, "CURRENT_DATE"))
            LocalNow(day, ms);
        else
            day = TextToDate(text);
        StoreI32(p, day);
        return true;
    }
    case kTypeTime: {
        int32_t day = 0, ms = 0;
        if (IsWord(text, "CURRENT_TIME"))
            LocalNow(day, ms);
        else
            ms = TextToTime(text);
        StoreI32(p, ms);
        return true;
    }
    case kTypeDateTime: {
        int32_t day = 0, ms = 0;
        double stored = 0;
        if (IsWord(text, "CURRENT_TIMESTAMP")) {
            LocalNow(day, ms);
            stored = double(day) * double(kMsPerDay) + ms;
        } else if (IsWord(text, "CURRENT_DATE")) {
            LocalNow(day, ms);
            stored = double(day) * double(kMsPerDay);
        } else if (IsWord(text, "CURRENT_TIME")) {
            LocalNow(day, ms);
            stored = ms;
        } else {
            stored = TextToDateTime(text);
        }
        StoreDouble(p, stored);
        return true;
    }
    case kTypeBoolean:
        StoreU16(p, TextToBoolean(text) ? 1 : 0);
        return true;
    case kTypeSmallInt:
        StoreI16(p, int16_t(TextToInteger(text, INT16_MIN, INT16_MAX)));
        return true;
    case kTypeWord:
        StoreU16(p, uint16_t(TextToInteger(text, 0, UINT16_MAX)));
        return true;
    case kTypeInteger:
        StoreI32(p, int32_t(TextToInteger(text, INT32_MIN, INT32_MAX)));
        return true;
    case kTypeLargeInt:
        StoreI64(p, TextToInteger(text, INT64_MIN, INT64_MAX));
        return true;
    case kTypeFloat:
        StoreDouble(p, TextToFloat(text));
        return true;
    case kTypeBcd:
        StoreBcd(p, CurrencyToBcd(TextToBCD(text), field.Scale));
        return true;
    default:
        return false;
    }
}

int CompareWithText(const FieldDescriptor& field, const uint8_t* record, std::string_view text,
    uint32_t locale_id) {
    if (field.DataType == kTypeString) {
        return CompareLocaleStrings(locale_id, StringFieldValue(field, record), text, false);
    }
    std::vector<uint8_t> bound;
    if (!TextValue(field, text, bound))
        return 0;
    if (field.DataType == kTypeLargeInt) {
        // Beyond 2^53 doubles would blur the comparison.
        int64_t value = LoadI64(FieldValuePointer(field, record));
        int64_t limit = LoadI64(bound.data());
        return value < limit ? -1 : (value > limit ? 1 : 0);
    }
    std::optional<double> value = NumericValue(field, FieldValuePointer(field, record));
    std::optional<double> limit = NumericValue(field, bound.data());
    if (!value || !limit)
        return 0;
    return *value < *limit ? -1 : (*value > *limit ? 1 : 0);
}

} // namespace

bool HasDefaultValues(std::span<const FieldDescriptor> fields) {
    for (const FieldDescriptor& field : fields) {
        if (!field.DefaultValue.empty())
            return true;
    }
    return false;
}

bool HasConstraints(std::span<const FieldDescriptor> fields) {
    for (const FieldDescriptor& field : fields) {
        if (field.Required || !field.MinValue.empty() || !field.MaxValue.empty())
            return true;
    }
    return false;
}

void ApplyDefaultValues(
    std::span<const FieldDescriptor> fields, uint8_t* record, uint32_t locale_id) {
    for (const FieldDescriptor& field : fields) {
        if (field.DefaultValue.empty() || field.DataType == kTypeBlob)
            continue;
        if (field.DataType == kTypeString) {
            std::string text
                = IsWord(field.DefaultValue, "CURRENT_GUID") ? NewGuidText() : field.DefaultValue;
            WriteStringField(field, record, text, locale_id);
            continue;
        }
        std::vector<uint8_t> value;
        if (TextValue(field, field.DefaultValue, value))
            WriteFieldValue(field, record, value.data(), field.PhysicalSize, locale_id);
    }
}

void CheckConstraints(std::span<const FieldDescriptor> fields, const uint8_t* record,
    uint32_t locale_id, std::string_view table_name) {
    TEngineErrors& errors = ProcessEngineErrors();
    for (const FieldDescriptor& field : fields) {
        bool is_null = FieldIsNull(field, record);
        if (is_null && field.Required)
            errors.RaiseFieldError(ZOLVEK_REQDERR, field.Name, table_name);
        if (is_null && field.DataType != kTypeString)
            continue;
        if (!field.MinValue.empty()
            && CompareWithText(field, record, field.MinValue, locale_id) < 0)
            errors.RaiseFieldError(ZOLVEK_MINVALERR, field.Name, table_name);
        if (!field.MaxValue.empty()
            && CompareWithText(field, record, field.MaxValue, locale_id) > 0)
            errors.RaiseFieldError(ZOLVEK_MAXVALERR, field.Name, table_name);
    }
}

} // namespace zolvek
