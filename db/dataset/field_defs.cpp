#include "db/dataset/field_defs.h"

#include "db/base/locale.h"
#include "db/dataset/dataset.h"
#include "db/dataset/dataset_errors.h"

namespace zolvek {

std::string_view FieldTypeName(TFieldType type) {
    switch (type) {
    case ftUnknown:
        return "Unknown";
    case ftString:
        return "String";
    case ftSmallint:
        return "SmallInt";
    case ftInteger:
        return "Integer";
    case ftWord:
        return "Word";
    case ftBoolean:
        return "Boolean";
    case ftFloat:
        return "Float";
    case ftCurrency:
        return "Currency";
    case ftBCD:
        return "BCD";
    case ftDate:
        return "Date";
    case ftTime:
        return "Time";
    case ftDateTime:
        return "DateTime";
    case ftBytes:
        return "Bytes";
    case ftVarBytes:
        return "VarBytes";
    case ftAutoInc:
        return "AutoInc";
    case ftBlob:
        return "Blob";
    case ftMemo:
        return "Memo";
    case ftGraphic:
        return "Graphic";
    case ftFmtMemo:
        return "FmtMemo";
    case ftFixedChar:
        return "FixedChar";
    case ftWideString:
        return "WideString";
    case ftLargeint:
        return "Largeint";
    case ftADT:
        return "ADT";
    case ftArray:
        return "Array";
    case ftReference:
        return "Reference";
    case ftDataSet:
        return "DataSet";
    case ftGuid:
        return "Guid";
    }
    return "Unknown";
}

bool IsBlobType(TFieldType type) {
    return type == ftBlob || type == ftMemo || type == ftGraphic || type == ftFmtMemo;
}

bool IsStringType(TFieldType type) {
    return type == ftString || type == ftFixedChar || type == ftWideString || type == ftGuid;
}

bool SameFieldName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    std::string upper_a(a);
    std::string upper_b(b);
    UpperCaseLocale(kAnsiStandardLocale, upper_a);
    UpperCaseLocale(kAnsiStandardLocale, upper_b);
    return upper_a == upper_b;
}

TFieldDef& TFieldDefs::Add(std::string name, TFieldType data_type, int32_t size, bool required) {
    return Add(std::make_unique<TFieldDef>(std::move(name), data_type, size, required, 0));
}

TFieldDef& TFieldDefs::Add(std::unique_ptr<TFieldDef> def) {
    if (IndexOf(def->Name) >= 0)
        DatabaseErrorFmt(kDuplicateFieldName, { def->Name });
    if (def->FieldNo == 0)
        def->FieldNo = Count() + 1;
    defs_.push_back(std::move(def));
    return *defs_.back();
}

void TFieldDefs::Clear() {
    defs_.clear();
    updated_ = false;
}

int32_t TFieldDefs::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < defs_.size(); ++i) {
        if (SameFieldName(defs_[i]->Name, name))
            return int32_t(i);
    }
    return -1;
}

TFieldDef& TFieldDefs::Find(std::string_view name) const {
    int32_t index = IndexOf(name);
    if (index < 0)
        DatabaseErrorFmt(kFieldNotFound, { name });
    return *defs_[size_t(index)];
}

void TFieldDefs::Update() {
    if (updated_)
        return;
    Clear();
    dataset_.InternalInitFieldDefs();
    updated_ = true;
}

} // namespace zolvek
