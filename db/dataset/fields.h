// Field objects of the generic dataset: TField with its typed accessors and conversions, one
// class per kind of value (strings, the integer kinds, float, currency, BCD, boolean, date,
// time, date-time, bytes, memo and BLOB), the value type TVariant, and TFields, the list a
// dataset owns. A field holds no value: it reads and writes the native bytes of its value in
// the dataset's current record buffer through the dataset (TDataSet::GetFieldData and
// SetFieldData), and memo and BLOB fields go through the dataset's blob stream.
// Thread-safety: none; used by the dataset's thread. Lifetime: owned by their dataset;
// persistent fields live as long as the dataset, default fields from open to close.
#pragma once

#include "db/dataset/field_defs.h"

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zolvek {

class TDataSet;

// A fixed-point number with four decimals, held as value * 10000.
struct TCurrency {
    int64_t scaled = 0;
    friend auto operator<=>(const TCurrency&, const TCurrency&) = default;
};

// A date and time in the engine's stored form: day number (1 January of year 1 is day 1)
// * 86,400,000 + milliseconds since midnight. A date alone is at midnight; a time alone on
// day 0.
struct TDateTime {
    double stored = 0;
    friend auto operator<=>(const TDateTime&, const TDateTime&) = default;
};

// A field value of any kind, or null. Strings are engine text (Windows-1254 bytes) and carry
// the raw bytes of byte and BLOB fields.
class TVariant {
public:
    using TStorage
        = std::variant<std::monostate, bool, int64_t, double, TCurrency, TDateTime, std::string>;

    TVariant() = default;
    TVariant(bool value)
        : value_(value) { }
    TVariant(int32_t value)
        : value_(int64_t(value)) { }
    TVariant(int64_t value)
        : value_(value) { }
    TVariant(double value)
        : value_(value) { }
    TVariant(TCurrency value)
        : value_(value) { }
    TVariant(TDateTime value)
        : value_(value) { }
    TVariant(std::string value)
        : value_(std::move(value)) { }
    TVariant(std::string_view value)
        : value_(std::string(value)) { }
    TVariant(const char* value)
        : value_(std::string(value)) { }

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    template <class T> bool Holds() const { return std::holds_alternative<T>(value_); }
    // Requires: Holds<T>().
    template <class T> const T& Get() const { return std::get<T>(value_); }
    const TStorage& Storage() const { return value_; }

    friend bool operator==(const TVariant&, const TVariant&) = default;

private:
    TStorage value_;
};

enum TFieldKind : uint8_t { fkData, fkCalculated };

class TField {
public:
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return dataset_; }
    const std::string& FieldName() const { return field_name_; }
    // The label of grids and of error texts; the field name unless set.
    const std::string& DisplayLabel() const;
    void SetDisplayLabel(std::string label) { display_label_ = std::move(label); }
    const std::string& DisplayName() const { return DisplayLabel(); }
    TFieldType DataType() const { return data_type_; }
    TFieldKind FieldKind() const { return field_kind_; }
    // Requires a closed dataset ("Cannot perform this operation on an open dataset").
    void SetFieldKind(TFieldKind kind);
    // Characters of a string, bytes of a byte field, decimal places of a BCD field; else 0.
    int32_t Size() const { return size_; }
    // Bytes of the native value exchanged with the dataset's GetFieldData and SetFieldData:
    //   string kinds      Size + 1: the characters, then zero bytes
    //   smallint, word    2 (int16 / uint16)      integer, autoinc  4 (int32)
    //   largeint          8 (int64)               boolean           2 (uint16, 0 or 1)
    //   float, currency   8 (double)              BCD               34 (TBcd, value_text.h)
    //   date              4 (int32 day number)    time              4 (int32 ms of the day)
    //   date-time         8 (double, TDateTime::stored)
    //   bytes             Size                    varbytes          2 (uint16 length) + Size
    //   memo, BLOB        0: only whether the field is null travels; the value is streamed
    // All numbers are little-endian (bytes.h), as in the engine's record image.
    virtual int32_t DataSize() const = 0;
    // The cursor's field number once bound (from the field definition); 0 otherwise.
    int32_t FieldNo() const { return field_no_; }
    // Position in the dataset's Fields.
    int32_t Index() const { return index_; }
    // Calculated fields: offset of the field's null-flag byte in the record buffer's
    // calculated-field area (the value follows it); -1 for data fields.
    int32_t Offset() const { return offset_; }

    bool ReadOnly() const { return read_only_; }
    void SetReadOnly(bool value) { read_only_ = value; }
    bool Required() const { return required_; }
    void SetRequired(bool value) { required_ = value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value) { visible_ = value; }
    int32_t DisplayWidth() const;
    void SetDisplayWidth(int32_t width) { display_width_ = width; }
    const std::string& Origin() const { return origin_; }
    void SetOrigin(std::string origin) { origin_ = std::move(origin); }

    // Value access through the dataset's current record buffer (which one depends on the
    // state: the window's active record, the calculation or filter buffer, ...). Reading
    // without a current record gives null. Writing needs the edit or insert state (or one of
    // the dataset's internal writing states) and raises the dataset's not-editing text
    // otherwise. An empty text assigned through SetAsString clears non-string fields.
    // Accessors a kind does not support raise "Cannot access field '%s' as type %s".
    bool IsNull() const;
    virtual void Clear();
    virtual std::string AsString() const;
    virtual void SetAsString(std::string_view value);
    virtual int32_t AsInteger() const;
    virtual void SetAsInteger(int32_t value);
    virtual int64_t AsLargeInt() const;
    virtual void SetAsLargeInt(int64_t value);
    virtual double AsFloat() const;
    virtual void SetAsFloat(double value);
    virtual bool AsBoolean() const;
    virtual void SetAsBoolean(bool value);
    virtual TDateTime AsDateTime() const;
    virtual void SetAsDateTime(TDateTime value);
    virtual TCurrency AsCurrency() const;
    virtual void SetAsCurrency(TCurrency value);
    // The value in its natural kind, or null.
    virtual TVariant Value() const;
    // Null clears; every other kind goes through the matching setter.
    virtual void SetValue(const TVariant& value);
    // The text a grid shows: AsString, or "(Memo)"-style texts for binary kinds.
    virtual std::string DisplayText() const;
    // The value as it was when editing began (the dataset's old-value state).
    TVariant OldValue() const;

    // Raw access to the native value (DataSize() bytes, see above); `value` may be null to
    // ask only whether the field is null. Returns false for null.
    bool GetData(uint8_t* value) const;
    // Writes the native value, or null when `value` is null.
    void SetData(const uint8_t* value);

    // Called after every change of the field's value in a record buffer of the window.
    std::function<void(TField&)> OnChange;

protected:
    TField(std::string field_name, TFieldType data_type, int32_t size);

    [[noreturn]] void AccessError(std::string_view type_name) const;
    // "Invalid value for field '%s'".
    [[noreturn]] void ValueError() const;
    // Raises the range error unless min_value <= value <= max_value.
    void CheckRange(int64_t value, int64_t min_value, int64_t max_value) const;
    // A variant's text for the text setter of fields that hold text.
    static std::string VariantText(const TVariant& value);
    // The dataset; raises "Field '%s' has no dataset" for a field that was never added to one.
    TDataSet& RequireDataSet() const;

private:
    friend class TDataSet;

    TDataSet* dataset_ = nullptr;
    std::string field_name_;
    std::string display_label_;
    std::string origin_;
    TFieldType data_type_;
    TFieldKind field_kind_ = fkData;
    int32_t size_;
    int32_t field_no_ = 0;
    int32_t index_ = -1;
    int32_t offset_ = -1;
    int32_t display_width_ = 0;
    bool read_only_ = false;
    bool required_ = false;
    bool visible_ = true;
    bool default_field_ = false;
};

// ftString, and with `data_type` also ftFixedChar, ftWideString (engine text, one byte per
// character) and ftGuid. Assigned texts are cut to Size characters.
class TStringField : public TField {
public:
    explicit TStringField(
        std::string field_name, int32_t size = 20, TFieldType data_type = ftString);
    int32_t DataSize() const override { return Size() + 1; }
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    int32_t AsInteger() const override;
    void SetAsInteger(int32_t value) override;
    int64_t AsLargeInt() const override;
    void SetAsLargeInt(int64_t value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    bool AsBoolean() const override;
    void SetAsBoolean(bool value) override;
    TDateTime AsDateTime() const override;
    void SetAsDateTime(TDateTime value) override;
    TCurrency AsCurrency() const override;
    void SetAsCurrency(TCurrency value) override;
    TVariant Value() const override;
};

// ftInteger: int32. The integer kinds below share its conversions and differ in range and
// native width.
class TIntegerField : public TField {
public:
    explicit TIntegerField(std::string field_name);
    int32_t DataSize() const override { return 4; }
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    int32_t AsInteger() const override;
    void SetAsInteger(int32_t value) override;
    int64_t AsLargeInt() const override;
    void SetAsLargeInt(int64_t value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    TCurrency AsCurrency() const override;
    void SetAsCurrency(TCurrency value) override;
    TVariant Value() const override;

protected:
    TIntegerField(
        std::string field_name, TFieldType data_type, int64_t min_value, int64_t max_value);
    // Null gives false.
    virtual bool ReadValue(int64_t& value) const;
    // Requires: the value is within the kind's range.
    virtual void WriteValue(int64_t value);
    void WriteChecked(int64_t value);

private:
    int64_t min_value_;
    int64_t max_value_;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(std::string field_name);
    int32_t DataSize() const override { return 2; }

protected:
    bool ReadValue(int64_t& value) const override;
    void WriteValue(int64_t value) override;
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(std::string field_name);
    int32_t DataSize() const override { return 2; }

protected:
    bool ReadValue(int64_t& value) const override;
    void WriteValue(int64_t value) override;
};

// The engine numbers new records itself; the field is written only by copies and imports.
class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(std::string field_name);
};

class TLargeintField : public TIntegerField {
public:
    explicit TLargeintField(std::string field_name);
    int32_t DataSize() const override { return 8; }
    // Values beyond the 32-bit range raise the range error.
    int32_t AsInteger() const override;

protected:
    bool ReadValue(int64_t& value) const override;
    void WriteValue(int64_t value) override;
};

// ftFloat: double. Infinities and NaN are refused ("Invalid value for field '%s'").
class TFloatField : public TField {
public:
    explicit TFloatField(std::string field_name);
    int32_t DataSize() const override { return 8; }
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    int32_t AsInteger() const override;
    void SetAsInteger(int32_t value) override;
    int64_t AsLargeInt() const override;
    void SetAsLargeInt(int64_t value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    TCurrency AsCurrency() const override;
    void SetAsCurrency(TCurrency value) override;
    TVariant Value() const override;

protected:
    TFloatField(std::string field_name, TFieldType data_type);
};

// ftCurrency: a money amount held as a double, like TFloatField.
class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(std::string field_name);
};

// ftBCD: a packed decimal (TBcd) with Size decimal places (0 to 4), read and written as
// currency.
class TBCDField : public TField {
public:
    explicit TBCDField(std::string field_name, int32_t size = 4);
    int32_t DataSize() const override;
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    int32_t AsInteger() const override;
    void SetAsInteger(int32_t value) override;
    int64_t AsLargeInt() const override;
    void SetAsLargeInt(int64_t value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    TCurrency AsCurrency() const override;
    void SetAsCurrency(TCurrency value) override;
    TVariant Value() const override;
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(std::string field_name);
    int32_t DataSize() const override { return 2; }
    // "True" / "False"; the setter takes either in any letter case.
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    bool AsBoolean() const override;
    void SetAsBoolean(bool value) override;
    TVariant Value() const override;
};

// ftDateTime, and the base of the date and time fields. Texts are the engine's fixed forms
// (year-month-day, hours:minutes:seconds).
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(std::string field_name);
    int32_t DataSize() const override { return 8; }
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    TDateTime AsDateTime() const override;
    void SetAsDateTime(TDateTime value) override;
    TVariant Value() const override;

protected:
    TDateTimeField(std::string field_name, TFieldType data_type);
    // Null gives false.
    virtual bool ReadStored(double& stored) const;
    // Refuses values outside the calendar ("Invalid value for field '%s'").
    virtual void WriteStored(double stored);
    virtual std::string StoredToText(double stored) const;
    virtual bool TextToStored(std::string_view text, double& stored) const;
    virtual std::string_view InvalidTextMessage() const;
};

// ftDate: the day number; a date-time assigned to it loses its time of day.
class TDateField : public TDateTimeField {
public:
    explicit TDateField(std::string field_name);
    int32_t DataSize() const override { return 4; }

protected:
    bool ReadStored(double& stored) const override;
    void WriteStored(double stored) override;
    std::string StoredToText(double stored) const override;
    bool TextToStored(std::string_view text, double& stored) const override;
    std::string_view InvalidTextMessage() const override;
};

// ftTime: milliseconds since midnight; a date-time assigned to it keeps its time of day.
class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(std::string field_name);
    int32_t DataSize() const override { return 4; }

protected:
    bool ReadStored(double& stored) const override;
    void WriteStored(double stored) override;
    std::string StoredToText(double stored) const override;
    bool TextToStored(std::string_view text, double& stored) const override;
    std::string_view InvalidTextMessage() const override;
};

// ftBytes: Size raw bytes; AsString carries them unchanged, assigned strings are cut to Size
// bytes and padded with zeros.
class TBytesField : public TField {
public:
    explicit TBytesField(std::string field_name, int32_t size = 16);
    int32_t DataSize() const override { return Size(); }
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    TVariant Value() const override;
    std::string DisplayText() const override;

protected:
    TBytesField(std::string field_name, TFieldType data_type, int32_t size);
};

// ftVarBytes: up to Size raw bytes with their length.
class TVarBytesField : public TBytesField {
public:
    explicit TVarBytesField(std::string field_name, int32_t size = 16);
    int32_t DataSize() const override { return Size() + 2; }
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    std::string DisplayText() const override;
};

// ftBlob (and ftGraphic, ftFmtMemo): the value lives outside the record and travels through
// the dataset's blob stream: reading opens a read stream, takes its size and reads that many
// bytes; assigning opens a write stream (which empties the value) and writes the whole text.
class TBlobField : public TField {
public:
    explicit TBlobField(std::string field_name, TFieldType data_type = ftBlob);
    int32_t DataSize() const override { return 0; }
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    // Empties the value through a write stream.
    void Clear() override;
    TVariant Value() const override;
    // "(Blob)" when null, "(BLOB)" otherwise (Memo, Graphic likewise).
    std::string DisplayText() const override;
    int64_t BlobSize() const;
};

// ftMemo: a BLOB of engine text.
class TMemoField : public TBlobField {
public:
    explicit TMemoField(std::string field_name);
};

class TGraphicField : public TBlobField {
public:
    explicit TGraphicField(std::string field_name);
};

// The field object for a definition, or nullptr for the types without one (ftUnknown, ftADT,
// ftArray, ftReference, ftDataSet).
std::unique_ptr<TField> CreateFieldForType(
    std::string field_name, TFieldType data_type, int32_t size);

// The fields of a dataset, in order; owned by the dataset.
class TFields {
public:
    int32_t Count() const { return int32_t(fields_.size()); }
    TField& operator[](int32_t index) const { return *fields_.at(size_t(index)); }
    // nullptr when absent; names compare without regard to letter case.
    TField* FindField(std::string_view name) const;
    // Raises "Field '%s' not found".
    TField& FieldByName(std::string_view name) const;

private:
    friend class TDataSet;
    std::vector<std::unique_ptr<TField>> fields_;
};

} // namespace zolvek
