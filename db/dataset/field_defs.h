// Field types of the generic dataset and field definitions: the description of one column of a
// dataset (name, type, size, number, attributes) as its cursor reports it, and the collection
// that a dataset reads at open and from which it creates its default field objects.
// Thread-safety: none; used by the dataset's thread. Lifetime: a TFieldDefs belongs to its
// dataset; a subclass may store derived definitions in it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

class TDataSet;

enum TFieldType : uint8_t {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftGuid,
};

// "String", "Integer", ...: the type names of the type-mismatch and access errors.
std::string_view FieldTypeName(TFieldType type);
bool IsBlobType(TFieldType type); // ftBlob, ftMemo, ftGraphic, ftFmtMemo
bool IsStringType(TFieldType type); // ftString, ftFixedChar, ftWideString, ftGuid

enum TFieldAttribute : uint8_t {
    faHiddenCol = 1,
    faReadonly = 2,
    faRequired = 4,
    faLink = 8,
    faUnNamed = 16,
    faFixed = 32,
};
using TFieldAttributes = uint8_t;

class TFieldDef {
public:
    TFieldDef() = default;
    TFieldDef(std::string name, TFieldType data_type, int32_t size, bool required, int32_t field_no)
        : Name(std::move(name))
        , DataType(data_type)
        , Size(size)
        , FieldNo(field_no)
        , Attributes(required ? faRequired : 0) { }
    virtual ~TFieldDef() = default;

    bool Required() const { return (Attributes & faRequired) != 0; }

    std::string Name;
    TFieldType DataType = ftUnknown;
    // Characters of a string, bytes of a byte field, decimal places of a BCD field; else 0.
    int32_t Size = 0;
    // The cursor's number of the field (1-based); the field objects pass it back to the hooks.
    int32_t FieldNo = 0;
    TFieldAttributes Attributes = 0;
    int32_t Precision = 0;
};

class TFieldDefs {
public:
    explicit TFieldDefs(TDataSet& dataset)
        : dataset_(dataset) { }
    TFieldDefs(const TFieldDefs&) = delete;
    TFieldDefs& operator=(const TFieldDefs&) = delete;

    // Adds a definition numbered after the last one; a name already present (compared without
    // regard to letter case) raises "Duplicate field name '%s'".
    TFieldDef& Add(std::string name, TFieldType data_type, int32_t size = 0, bool required = false);
    // Adds a definition made by a subclass (its FieldNo is kept when not 0).
    TFieldDef& Add(std::unique_ptr<TFieldDef> def);
    void Clear();

    int32_t Count() const { return int32_t(defs_.size()); }
    TFieldDef& operator[](int32_t index) const { return *defs_.at(size_t(index)); }
    // -1 when absent.
    int32_t IndexOf(std::string_view name) const;
    // Raises "Field '%s' not found".
    TFieldDef& Find(std::string_view name) const;

    // Whether the definitions reflect the table; Update reads them when they do not.
    bool Updated() const { return updated_; }
    void SetUpdated(bool updated) { updated_ = updated; }
    void Update();

private:
    TDataSet& dataset_;
    std::vector<std::unique_ptr<TFieldDef>> defs_;
    bool updated_ = false;
};

// Field names compare without regard to letter case (the code page's plain casing).
bool SameFieldName(std::string_view a, std::string_view b);

} // namespace zolvek
