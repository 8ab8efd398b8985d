#include "db/dataset/fields.h"

#include "db/base/bytes.h"
#include "db/base/value_text.h"
#include "db/dataset/dataset.h"
#include "db/dataset/dataset_errors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace zolvek {

namespace {

constexpr std::string_view kDataSetMissing = "Field '%s' has no dataset";

// Doubles whose rounding fits int64 without overflow.
constexpr double kInt64Limit = 9.2e18;

bool RoundToInt64(double value, int64_t& result) {
    if (!std::isfinite(value) || value < -kInt64Limit || value > kInt64Limit)
        return false;
    result = std::llround(value);
    return true;
}

bool FloatToCurrency(double value, TCurrency& result) {
    int64_t scaled = 0;
    if (!RoundToInt64(value * 10000.0, scaled))
        return false;
    result.scaled = scaled;
    return true;
}

double CurrencyToFloat(TCurrency value) {
    return double(value.scaled) / 10000.0;
}

// Currency to an integer, rounding half away from zero.
int64_t CurrencyToInteger(TCurrency value) {
    int64_t whole = value.scaled / 10000;
    int64_t rest = value.scaled % 10000;
    if (rest >= 5000)
        ++whole;
    else if (rest <= -5000)
        --whole;
    return whole;
}

bool IntegerToCurrency(int64_t value, TCurrency& result) {
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10000;
    if (value > kLimit || value < -kLimit)
        return false;
    result.scaled = value * 10000;
    return true;
}

[[noreturn]] void InvalidText(std::string_view message, std::string_view text) {
    DatabaseErrorFmt(message, { text });
}

} // namespace

// ---------------------------------------------------------------- TField

TField::TField(std::string field_name, TFieldType data_type, int32_t size)
    : field_name_(std::move(field_name))
    , data_type_(data_type)
    , size_(size) { }

const std::string& TField::DisplayLabel() const {
    return display_label_.empty() ? field_name_ : display_label_;
}

void TField::SetFieldKind(TFieldKind kind) {
    if (dataset_ != nullptr)
        dataset_->CheckInactive();
    field_kind_ = kind;
}

int32_t TField::DisplayWidth() const {
    if (display_width_ > 0)
        return display_width_;
    return IsStringType(data_type_) ? size_ : 10;
}

TDataSet& TField::RequireDataSet() const {
    if (dataset_ == nullptr)
        DatabaseErrorFmt(kDataSetMissing, { DisplayName() });
    return *dataset_;
}

bool TField::GetData(uint8_t* value) const {
    return RequireDataSet().ReadFieldData(*this, value);
}

void TField::SetData(const uint8_t* value) {
    RequireDataSet().WriteFieldData(*this, value);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

void TField::Clear() {
    SetData(nullptr);
}

void TField::AccessError(std::string_view type_name) const {
    DatabaseErrorFmt(kFieldAccessError, { DisplayName(), type_name });
}

void TField::ValueError() const {
    DatabaseErrorFmt(kFieldValueError, { DisplayName() });
}

void TField::CheckRange(int64_t value, int64_t min_value, int64_t max_value) const {
    if (value < min_value || value > max_value) {
        DatabaseErrorFmt(kFieldRangeError,
            { std::to_string(value), DisplayName(), std::to_string(min_value),
                std::to_string(max_value) });
    }
}

std::string TField::AsString() const {
    AccessError("String");
}
void TField::SetAsString(std::string_view) {
    AccessError("String");
}
int32_t TField::AsInteger() const {
    AccessError("Integer");
}
void TField::SetAsInteger(int32_t) {
    AccessError("Integer");
}
int64_t TField::AsLargeInt() const {
    AccessError("LargeInt");
}
void TField::SetAsLargeInt(int64_t) {
    AccessError("LargeInt");
}
double TField::AsFloat() const {
    AccessError("Float");
}
void TField::SetAsFloat(double) {
    AccessError("Float");
}
bool TField::AsBoolean() const {
    AccessError("Boolean");
}
void TField::SetAsBoolean(bool) {
    AccessError("Boolean");
}
TDateTime TField::AsDateTime() const {
    AccessError("DateTime");
}
void TField::SetAsDateTime(TDateTime) {
    AccessError("DateTime");
}
TCurrency TField::AsCurrency() const {
    AccessError("Currency");
}
void TField::SetAsCurrency(TCurrency) {
    AccessError("Currency");
}
TVariant TField::Value() const {
    AccessError("Variant");
}

void TField::SetValue(const TVariant& value) {
    std::visit(
        [this](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                Clear();
            else if constexpr (std::is_same_v<T, bool>)
                SetAsBoolean(v);
            else if constexpr (std::is_same_v<T, int64_t>)
                SetAsLargeInt(v);
            else if constexpr (std::is_same_v<T, double>)
                SetAsFloat(v);
            else if constexpr (std::is_same_v<T, TCurrency>)
                SetAsCurrency(v);
            else if constexpr (std::is_same_v<T, TDateTime>)
                SetAsDateTime(v);
            else
                SetAsString(v);
        },
        value.Storage());
}

std::string TField::DisplayText() const {
    return AsString();
}

TVariant TField::OldValue() const {
    TDataSet& dataset = RequireDataSet();
    TDataSet::TTempState old_value(dataset, dsOldValue);
    return Value();
}

std::string TField::VariantText(const TVariant& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return {};
            else if constexpr (std::is_same_v<T, bool>)
                return BooleanToText(v);
            else if constexpr (std::is_same_v<T, int64_t>)
                return std::to_string(v);
            else if constexpr (std::is_same_v<T, double>)
                return FloatToText(v);
            else if constexpr (std::is_same_v<T, TCurrency>)
                return CurrencyToText(v.scaled);
            else if constexpr (std::is_same_v<T, TDateTime>)
                return DateTimeToText(v.stored);
            else
                return v;
        },
        value.Storage());
}

// ---------------------------------------------------------------- TStringField

TStringField::TStringField(std::string field_name, int32_t size, TFieldType data_type)
    : TField(std::move(field_name), data_type, size) { }

std::string TStringField::AsString() const {
    std::string value(size_t(DataSize()), '\0');
    if (!GetData(reinterpret_cast<uint8_t*>(value.data())))
        return {};
    value.resize(std::strlen(value.c_str()));
    return value;
}

void TStringField::SetAsString(std::string_view value) {
    // The field holds at most Size characters; a longer text is cut.
    std::string native(size_t(DataSize()), '\0');
    size_t length = std::min(value.size(), size_t(Size()));
    std::memcpy(native.data(), value.data(), length);
    SetData(reinterpret_cast<const uint8_t*>(native.data()));
}

int32_t TStringField::AsInteger() const {
    std::string text = AsString();
    int64_t value = 0;
    if (!TryTextToInteger(
            text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), value))
        InvalidText(kInvalidInteger, text);
    return int32_t(value);
}

void TStringField::SetAsInteger(int32_t value) {
    SetAsString(std::to_string(value));
}

int64_t TStringField::AsLargeInt() const {
    std::string text = AsString();
    int64_t value = 0;
    if (!TryTextToInteger(
            text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), value))
        InvalidText(kInvalidInteger, text);
    return value;
}

void TStringField::SetAsLargeInt(int64_t value) {
    SetAsString(std::to_string(value));
}

double TStringField::AsFloat() const {
    std::string text = AsString();
    double value = 0;
    if (!TryTextToFloat(text, value))
        InvalidText(kInvalidFloat, text);
    return value;
}

void TStringField::SetAsFloat(double value) {
    if (!std::isfinite(value))
        ValueError();
    SetAsString(FloatToText(value));
}

bool TStringField::AsBoolean() const {
    std::string text = AsString();
    bool value = false;
    if (!TryTextToBoolean(text, value))
        InvalidText(kInvalidBoolean, text);
    return value;
}

void TStringField::SetAsBoolean(bool value) {
    SetAsString(BooleanToText(value));
}

TDateTime TStringField::AsDateTime() const {
    std::string text = AsString();
    double stored = 0;
    if (!TryTextToDateTime(text, stored))
        InvalidText(kInvalidDateTime, text);
    return TDateTime { stored };
}

void TStringField::SetAsDateTime(TDateTime value) {
    int32_t day = 0;
    int32_t ms = 0;
    if (!SplitDateTime(value.stored, day, ms))
        ValueError();
    SetAsString(DateTimeToText(value.stored));
}

TCurrency TStringField::AsCurrency() const {
    std::string text = AsString();
    int64_t scaled = 0;
    if (!TryTextToBCD(text, scaled))
        InvalidText(kInvalidBcd, text);
    return TCurrency { scaled };
}

void TStringField::SetAsCurrency(TCurrency value) {
    SetAsString(CurrencyToText(value.scaled));
}

TVariant TStringField::Value() const {
    if (IsNull())
        return {};
    return TVariant(AsString());
}

// ---------------------------------------------------------------- Integer kinds

TIntegerField::TIntegerField(std::string field_name)
    : TIntegerField(std::move(field_name), ftInteger, std::numeric_limits<int32_t>::min(),
        std::numeric_limits<int32_t>::max()) { }

TIntegerField::TIntegerField(
    std::string field_name, TFieldType data_type, int64_t min_value, int64_t max_value)
    : TField(std::move(field_name), data_type, 0)
    , min_value_(min_value)
    , max_value_(max_value) { }

bool TIntegerField::ReadValue(int64_t& value) const {
    uint8_t native[4];
    if (!GetData(native))
        return false;
    value = LoadI32(native);
    return true;
}

void TIntegerField::WriteValue(int64_t value) {
    uint8_t native[4];
    StoreI32(native, int32_t(value));
    SetData(native);
}

void TIntegerField::WriteChecked(int64_t value) {
    CheckRange(value, min_value_, max_value_);
    WriteValue(value);
}

std::string TIntegerField::AsString() const {
    int64_t value = 0;
    return ReadValue(value) ? std::to_string(value) : std::string();
}

void TIntegerField::SetAsString(std::string_view value) {
    if (value.empty())
        return Clear();
    int64_t parsed = 0;
    if (!TryTextToInteger(value, std::numeric_limits<int64_t>::min(),
            std::numeric_limits<int64_t>::max(), parsed))
        InvalidText(kInvalidInteger, value);
    WriteChecked(parsed);
}

int32_t TIntegerField::AsInteger() const {
    int64_t value = 0;
    return ReadValue(value) ? int32_t(value) : 0;
}

void TIntegerField::SetAsInteger(int32_t value) {
    WriteChecked(value);
}

int64_t TIntegerField::AsLargeInt() const {
    int64_t value = 0;
    return ReadValue(value) ? value : 0;
}

void TIntegerField::SetAsLargeInt(int64_t value) {
    WriteChecked(value);
}

double TIntegerField::AsFloat() const {
    return double(AsLargeInt());
}

void TIntegerField::SetAsFloat(double value) {
    int64_t rounded = 0;
    if (!RoundToInt64(value, rounded))
        ValueError();
    WriteChecked(rounded);
}

TCurrency TIntegerField::AsCurrency() const {
    TCurrency result;
    if (!IntegerToCurrency(AsLargeInt(), result))
        ValueError();
    return result;
}

void TIntegerField::SetAsCurrency(TCurrency value) {
    WriteChecked(CurrencyToInteger(value));
}

TVariant TIntegerField::Value() const {
    int64_t value = 0;
    if (!ReadValue(value))
        return {};
    return TVariant(value);
}

TSmallintField::TSmallintField(std::string field_name)
    : TIntegerField(std::move(field_name), ftSmallint, -32768, 32767) { }

bool TSmallintField::ReadValue(int64_t& value) const {
    uint8_t native[2];
    if (!GetData(native))
        return false;
    value = LoadI16(native);
    return true;
}

void TSmallintField::WriteValue(int64_t value) {
    uint8_t native[2];
    StoreI16(native, int16_t(value));
    SetData(native);
}

TWordField::TWordField(std::string field_name)
    : TIntegerField(std::move(field_name), ftWord, 0, 65535) { }

bool TWordField::ReadValue(int64_t& value) const {
    uint8_t native[2];
    if (!GetData(native))
        return false;
    value = LoadU16(native);
    return true;
}

void TWordField::WriteValue(int64_t value) {
    uint8_t native[2];
    StoreU16(native, uint16_t(value));
    SetData(native);
}

TAutoIncField::TAutoIncField(std::string field_name)
    : TIntegerField(std::move(field_name), ftAutoInc, std::numeric_limits<int32_t>::min(),
        std::numeric_limits<int32_t>::max()) { }

TLargeintField::TLargeintField(std::string field_name)
    : TIntegerField(std::move(field_name), ftLargeint, std::numeric_limits<int64_t>::min(),
        std::numeric_limits<int64_t>::max()) { }

int32_t TLargeintField::AsInteger() const {
    int64_t value = AsLargeInt();
    CheckRange(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return int32_t(value);
}

bool TLargeintField::ReadValue(int64_t& value) const {
    uint8_t native[8];
    if (!GetData(native))
        return false;
    value = LoadI64(native);
    return true;
}

void TLargeintField::WriteValue(int64_t value) {
    uint8_t native[8];
    StoreI64(native, value);
    SetData(native);
}

// ---------------------------------------------------------------- Float and currency

TFloatField::TFloatField(std::string field_name)
    : TFloatField(std::move(field_name), ftFloat) { }

TFloatField::TFloatField(std::string field_name, TFieldType data_type)
    : TField(std::move(field_name), data_type, 0) { }

double TFloatField::AsFloat() const {
    uint8_t native[8];
    return GetData(native) ? LoadDouble(native) : 0.0;
}

void TFloatField::SetAsFloat(double value) {
    if (!std::isfinite(value))
        ValueError();
    uint8_t native[8];
    StoreDouble(native, value);
    SetData(native);
}

std::string TFloatField::AsString() const {
    return IsNull() ? std::string() : FloatToText(AsFloat());
}

void TFloatField::SetAsString(std::string_view value) {
    if (value.empty())
        return Clear();
    double parsed = 0;
    if (!TryTextToFloat(value, parsed))
        InvalidText(kInvalidFloat, value);
    SetAsFloat(parsed);
}

int32_t TFloatField::AsInteger() const {
    int64_t value = AsLargeInt();
    CheckRange(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return int32_t(value);
}

void TFloatField::SetAsInteger(int32_t value) {
    SetAsFloat(double(value));
}

int64_t TFloatField::AsLargeInt() const {
    int64_t value = 0;
    if (!RoundToInt64(AsFloat(), value))
        ValueError();
    return value;
}

void TFloatField::SetAsLargeInt(int64_t value) {
    SetAsFloat(double(value));
}

TCurrency TFloatField::AsCurrency() const {
    TCurrency value;
    if (!FloatToCurrency(AsFloat(), value))
        ValueError();
    return value;
}

void TFloatField::SetAsCurrency(TCurrency value) {
    SetAsFloat(CurrencyToFloat(value));
}

TVariant TFloatField::Value() const {
    if (IsNull())
        return {};
    return TVariant(AsFloat());
}

TCurrencyField::TCurrencyField(std::string field_name)
    : TFloatField(std::move(field_name), ftCurrency) { }

// ---------------------------------------------------------------- BCD

TBCDField::TBCDField(std::string field_name, int32_t size)
    : TField(std::move(field_name), ftBCD, size) { }

int32_t TBCDField::DataSize() const {
    return int32_t(kBcdSize);
}

TCurrency TBCDField::AsCurrency() const {
    uint8_t native[kBcdSize];
    if (!GetData(native))
        return {};
    TBcd bcd;
    LoadBcd(native, bcd);
    TCurrency value;
    if (!BcdToCurrency(bcd, value.scaled))
        ValueError();
    return value;
}

void TBCDField::SetAsCurrency(TCurrency value) {
    int places = std::clamp(Size(), 0, 4);
    uint8_t native[kBcdSize];
    StoreBcd(native, CurrencyToBcd(value.scaled, places));
    SetData(native);
}

std::string TBCDField::AsString() const {
    return IsNull() ? std::string() : CurrencyToText(AsCurrency().scaled);
}

void TBCDField::SetAsString(std::string_view value) {
    if (value.empty())
        return Clear();
    int64_t scaled = 0;
    if (!TryTextToBCD(value, scaled))
        InvalidText(kInvalidBcd, value);
    SetAsCurrency(TCurrency { scaled });
}

int32_t TBCDField::AsInteger() const {
    int64_t value = AsLargeInt();
    CheckRange(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return int32_t(value);
}

void TBCDField::SetAsInteger(int32_t value) {
    SetAsLargeInt(value);
}

int64_t TBCDField::AsLargeInt() const {
    return CurrencyToInteger(AsCurrency());
}

void TBCDField::SetAsLargeInt(int64_t value) {
    TCurrency currency;
    if (!IntegerToCurrency(value, currency))
        ValueError();
    SetAsCurrency(currency);
}

double TBCDField::AsFloat() const {
    return CurrencyToFloat(AsCurrency());
}

void TBCDField::SetAsFloat(double value) {
    TCurrency currency;
    if (!FloatToCurrency(value, currency))
        ValueError();
    SetAsCurrency(currency);
}

TVariant TBCDField::Value() const {
    if (IsNull())
        return {};
    return TVariant(AsCurrency());
}

// ---------------------------------------------------------------- Boolean

TBooleanField::TBooleanField(std::string field_name)
    : TField(std::move(field_name), ftBoolean, 0) { }

bool TBooleanField::AsBoolean() const {
    uint8_t native[2];
    return GetData(native) && LoadU16(native) != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
    uint8_t native[2];
    StoreU16(native, value ? 1 : 0);
    SetData(native);
}

std::string TBooleanField::AsString() const {
    return IsNull() ? std::string() : BooleanToText(AsBoolean());
}

void TBooleanField::SetAsString(std::string_view value) {
    if (value.empty())
        return Clear();
    bool parsed = false;
    if (!TryTextToBoolean(value, parsed))
        InvalidText(kInvalidBoolean, value);
    SetAsBoolean(parsed);
}

TVariant TBooleanField::Value() const {
    if (IsNull())
        return {};
    return TVariant(AsBoolean());
}

// ---------------------------------------------------------------- Date and time

TDateTimeField::TDateTimeField(std::string field_name)
    : TDateTimeField(std::move(field_name), ftDateTime) { }

TDateTimeField::TDateTimeField(std::string field_name, TFieldType data_type)
    : TField(std::move(field_name), data_type, 0) { }

bool TDateTimeField::ReadStored(double& stored) const {
    uint8_t native[8];
    if (!GetData(native))
        return false;
    stored = LoadDouble(native);
    return true;
}

void TDateTimeField::WriteStored(double stored) {
    int32_t day = 0;
    int32_t ms = 0;
    if (!SplitDateTime(stored, day, ms) || day < 0 || day > kMaxDayNumber)
        ValueError();
    uint8_t native[8];
    StoreDouble(native, stored);
    SetData(native);
}

std::string TDateTimeField::StoredToText(double stored) const {
    return DateTimeToText(stored);
}

bool TDateTimeField::TextToStored(std::string_view text, double& stored) const {
    return TryTextToDateTime(text, stored);
}

std::string_view TDateTimeField::InvalidTextMessage() const {
    return kInvalidDateTime;
}

std::string TDateTimeField::AsString() const {
    double stored = 0;
    return ReadStored(stored) ? StoredToText(stored) : std::string();
}

void TDateTimeField::SetAsString(std::string_view value) {
    if (value.empty())
        return Clear();
    double stored = 0;
    if (!TextToStored(value, stored))
        InvalidText(InvalidTextMessage(), value);
    WriteStored(stored);
}

TDateTime TDateTimeField::AsDateTime() const {
    double stored = 0;
    return ReadStored(stored) ? TDateTime { stored } : TDateTime {};
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
    WriteStored(value.stored);
}

double TDateTimeField::AsFloat() const {
    return AsDateTime().stored;
}

void TDateTimeField::SetAsFloat(double value) {
    WriteStored(value);
}

TVariant TDateTimeField::Value() const {
    double stored = 0;
    if (!ReadStored(stored))
        return {};
    return TVariant(TDateTime { stored });
}

TDateField::TDateField(std::string field_name)
    : TDateTimeField(std::move(field_name), ftDate) { }

bool TDateField::ReadStored(double& stored) const {
    uint8_t native[4];
    if (!GetData(native))
        return false;
    stored = double(LoadI32(native)) * double(kMsPerDay);
    return true;
}

void TDateField::WriteStored(double stored) {
    int32_t day = 0;
    int32_t ms = 0;
    if (!SplitDateTime(stored, day, ms) || day < kMinDayNumber || day > kMaxDayNumber)
        ValueError();
    uint8_t native[4];
    StoreI32(native, day);
    SetData(native);
}

std::string TDateField::StoredToText(double stored) const {
    return DateToText(int32_t(stored / double(kMsPerDay)));
}

bool TDateField::TextToStored(std::string_view text, double& stored) const {
    int32_t day = 0;
    if (!TryTextToDate(text, day))
        return false;
    stored = double(day) * double(kMsPerDay);
    return true;
}

std::string_view TDateField::InvalidTextMessage() const {
    return kInvalidDate;
}

TTimeField::TTimeField(std::string field_name)
    : TDateTimeField(std::move(field_name), ftTime) { }

bool TTimeField::ReadStored(double& stored) const {
    uint8_t native[4];
    if (!GetData(native))
        return false;
    stored = double(LoadI32(native));
    return true;
}

void TTimeField::WriteStored(double stored) {
    int32_t day = 0;
    int32_t ms = 0;
    if (!SplitDateTime(stored, day, ms))
        ValueError();
    uint8_t native[4];
    StoreI32(native, ms);
    SetData(native);
}

std::string TTimeField::StoredToText(double stored) const {
    return TimeToText(int32_t(stored));
}

bool TTimeField::TextToStored(std::string_view text, double& stored) const {
    int32_t ms = 0;
    if (!TryTextToTime(text, ms))
        return false;
    stored = double(ms);
    return true;
}

std::string_view TTimeField::InvalidTextMessage() const {
    return kInvalidTime;
}

// ---------------------------------------------------------------- Bytes

TBytesField::TBytesField(std::string field_name, int32_t size)
    : TBytesField(std::move(field_name), ftBytes, size) { }

TBytesField::TBytesField(std::string field_name, TFieldType data_type, int32_t size)
    : TField(std::move(field_name), data_type, size) { }

std::string TBytesField::AsString() const {
    std::string value(size_t(DataSize()), '\0');
    if (!GetData(reinterpret_cast<uint8_t*>(value.data())))
        return {};
    return value;
}

void TBytesField::SetAsString(std::string_view value) {
    std::string native(size_t(DataSize()), '\0');
    std::memcpy(native.data(), value.data(), std::min(value.size(), native.size()));
    SetData(reinterpret_cast<const uint8_t*>(native.data()));
}

TVariant TBytesField::Value() const {
    if (IsNull())
        return {};
    return TVariant(AsString());
}

std::string TBytesField::DisplayText() const {
    return "(Bytes)";
}

TVarBytesField::TVarBytesField(std::string field_name, int32_t size)
    : TBytesField(std::move(field_name), ftVarBytes, size) { }

std::string TVarBytesField::AsString() const {
    std::string native(size_t(DataSize()), '\0');
    if (!GetData(reinterpret_cast<uint8_t*>(native.data())))
        return {};
    size_t length = std::min<size_t>(
        LoadU16(reinterpret_cast<const uint8_t*>(native.data())), size_t(Size()));
    return native.substr(2, length);
}

void TVarBytesField::SetAsString(std::string_view value) {
    std::string native(size_t(DataSize()), '\0');
    size_t length = std::min(value.size(), size_t(Size()));
    StoreU16(reinterpret_cast<uint8_t*>(native.data()), uint16_t(length));
    std::memcpy(native.data() + 2, value.data(), length);
    SetData(reinterpret_cast<const uint8_t*>(native.data()));
}

std::string TVarBytesField::DisplayText() const {
    return "(VarBytes)";
}

// ---------------------------------------------------------------- BLOB and memo

TBlobField::TBlobField(std::string field_name, TFieldType data_type)
    : TField(std::move(field_name), data_type, 0) { }

std::string TBlobField::AsString() const {
    TDataSet& dataset = RequireDataSet();
    std::unique_ptr<TStream> stream
        = dataset.CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
    int64_t size = stream->Size();
    if (size <= 0)
        return {};
    std::string value(size_t(size), '\0');
    size_t done = 0;
    while (done < value.size()) {
        size_t read = stream->Read(value.data() + done, value.size() - done);
        if (read == 0)
            break;
        done += read;
    }
    value.resize(done);
    return value;
}

void TBlobField::SetAsString(std::string_view value) {
    TDataSet& dataset = RequireDataSet();
    dataset.CheckBlobWrite(*this);
    std::unique_ptr<TStream> stream = dataset.CreateBlobStream(*this, bmWrite);
    if (!value.empty())
        stream->Write(value.data(), value.size());
}

void TBlobField::Clear() {
    SetAsString({});
}

TVariant TBlobField::Value() const {
    if (IsNull())
        return {};
    return TVariant(AsString());
}

std::string TBlobField::DisplayText() const {
    std::string name(FieldTypeName(DataType()));
    if (!IsNull()) {
        for (char& c : name)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    return "(" + name + ")";
}

int64_t TBlobField::BlobSize() const {
    TDataSet& dataset = RequireDataSet();
    return dataset.CreateBlobStream(const_cast<TBlobField&>(*this), bmRead)->Size();
}

TMemoField::TMemoField(std::string field_name)
    : TBlobField(std::move(field_name), ftMemo) { }

TGraphicField::TGraphicField(std::string field_name)
    : TBlobField(std::move(field_name), ftGraphic) { }

// ---------------------------------------------------------------- Factory and list

std::unique_ptr<TField> CreateFieldForType(
    std::string field_name, TFieldType data_type, int32_t size) {
    switch (data_type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
        return std::make_unique<TStringField>(std::move(field_name), size, data_type);
    case ftSmallint:
        return std::make_unique<TSmallintField>(std::move(field_name));
    case ftInteger:
        return std::make_unique<TIntegerField>(std::move(field_name));
    case ftWord:
        return std::make_unique<TWordField>(std::move(field_name));
    case ftAutoInc:
        return std::make_unique<TAutoIncField>(std::move(field_name));
    case ftLargeint:
        return std::make_unique<TLargeintField>(std::move(field_name));
    case ftBoolean:
        return std::make_unique<TBooleanField>(std::move(field_name));
    case ftFloat:
        return std::make_unique<TFloatField>(std::move(field_name));
    case ftCurrency:
        return std::make_unique<TCurrencyField>(std::move(field_name));
    case ftBCD:
        return std::make_unique<TBCDField>(std::move(field_name), size);
    case ftDate:
        return std::make_unique<TDateField>(std::move(field_name));
    case ftTime:
        return std::make_unique<TTimeField>(std::move(field_name));
    case ftDateTime:
        return std::make_unique<TDateTimeField>(std::move(field_name));
    case ftBytes:
        return std::make_unique<TBytesField>(std::move(field_name), size);
    case ftVarBytes:
        return std::make_unique<TVarBytesField>(std::move(field_name), size);
    case ftMemo:
        return std::make_unique<TMemoField>(std::move(field_name));
    case ftGraphic:
        return std::make_unique<TGraphicField>(std::move(field_name));
    case ftBlob:
    case ftFmtMemo:
        return std::make_unique<TBlobField>(std::move(field_name), data_type);
    case ftUnknown:
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
        return nullptr;
    }
    return nullptr;
}

TField* TFields::FindField(std::string_view name) const {
    for (const auto& field : fields_) {
        if (SameFieldName(field->FieldName(), name))
            return field.get();
    }
    return nullptr;
}

TField& TFields::FieldByName(std::string_view name) const {
    TField* field = FindField(name);
    if (field == nullptr)
        DatabaseErrorFmt(kFieldNotFound, { name });
    return *field;
}

} // namespace zolvek
