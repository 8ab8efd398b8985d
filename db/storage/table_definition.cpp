// Validation and layout of a table definition before its files are created.
#include "db/storage/table_definition.h"

#include "db/base/errors.h"
#include "db/base/value_text.h"
#include "db/storage/index_slots.h"

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace zolvek {
namespace {

constexpr size_t kMaxPasswordLength = 128;

// Definition field numbers -> descriptor positions.
using FieldNumbers = std::unordered_map<int32_t, uint16_t>;

bool IsValidValue(uint8_t data_type, const std::string& text) {
    // A longer text would be cut when stored, changing its meaning.
    return text.empty() || (text.size() <= kMaxTextLength && IsValidValueText(data_type, text));
}

bool IsSizedType(uint8_t data_type) {
    return data_type == kTypeString || data_type == kTypeBytes || data_type == kTypeVarBytes;
}

FieldDescriptor ValidateField(const FieldDefinition& definition, size_t position,
    std::unordered_set<std::string>& names, FieldNumbers& numbers, std::string_view table_name) {
    TEngineErrors& errors = ProcessEngineErrors();
    FieldDescriptor field;
    field.Name = std::string(TrimName(definition.Name).substr(0, kMaxNameLength));
    if (field.Name.empty() || SameName(field.Name, RecordIDFieldDescriptor().Name)
        || SameName(field.Name, RecordHashFieldDescriptor().Name) || !IsValidNameStart(field.Name)
        || !names.insert(UpperCaseName(field.Name)).second) {
        errors.RaiseFieldError(ZOLVEK_INVALIDFIELDNAME, field.Name, table_name);
    }
    int32_t number = definition.FieldNo == 0 ? int32_t(position) : definition.FieldNo;
    if (definition.FieldNo < 0 || !numbers.emplace(number, uint16_t(position)).second) {
        errors.RaiseFieldError(ZOLVEK_INVALIDFLDTYPE, field.Name, table_name);
    }
    field.FieldNo = uint16_t(position);
    field.DataType = definition.DataType;
    field.SubType = definition.SubType;
    // Codes without storage rules cannot be created.
    if (!IsKnownFieldType(field.DataType) || definition.CharCase > fcUpperCase) {
        errors.RaiseFieldError(ZOLVEK_INVALIDFLDTYPE, field.Name, table_name);
    }
    if (IsSizedType(field.DataType)) {
        int32_t limit = field.SubType == kSubTypeWide ? kMaxWideStringSize : kMaxStringSize;
        if (definition.Size < 1 || definition.Size > limit) {
            errors.RaiseFieldError(ZOLVEK_INVALIDFLDTYPE, field.Name, table_name);
        }
        field.Size = uint16_t(definition.Size);
    }
    if (!IsValidValue(field.DataType, definition.DefaultValue)
        || !IsValidValue(field.DataType, definition.MinValue)
        || !IsValidValue(field.DataType, definition.MaxValue)) {
        errors.RaiseFieldError(ZOLVEK_INVALIDVCHKSTRUCT, field.Name, table_name);
    }
    if (definition.Compression != 0
        && (field.DataType != kTypeBlob || definition.Compression > kMaxCompressionLevel)) {
        errors.RaiseFieldError(ZOLVEK_INVALIDFLDTYPE, field.Name, table_name);
    }
    field.Compression = definition.Compression;
    field.Scale = field.DataType == kTypeBcd ? definition.Scale : 0;
    field.Required = definition.Required;
    field.CharCase = definition.CharCase;
    field.Description = definition.Description.substr(0, kMaxTextLength);
    field.MinValue = definition.MinValue;
    field.MaxValue = definition.MaxValue;
    field.DefaultValue = definition.DefaultValue;
    return field;
}

// Maps definition field numbers to stored ones; 10023 names the number as given.
void MapIndexFields(std::span<const int32_t> fields, const FieldNumbers& numbers,
    std::string_view index_name, std::string_view table_name, IndexDescriptor& descriptor) {
    descriptor.FieldCount = uint8_t(fields.size());
    for (size_t k = 0; k < fields.size(); ++k) {
        int32_t number = fields[k];
        uint16_t stored = 0;
        if (number == kRecordIDField) {
            stored = kRecordIDFieldNo;
        } else if (number == kRecordHashField) {
            stored = kRecordHashFieldNo;
        } else if (auto found = numbers.find(number); found != numbers.end()) {
            stored = found->second;
        } else {
            ProcessEngineErrors().RaiseError(ZOLVEK_INVALIDIDXDESC, {}, {}, {}, table_name,
                std::to_string(number), index_name, {}, {}, {}, 0, 0);
        }
        descriptor.FieldList[k] = stored;
    }
}

IndexDescriptor BuildIndexDescriptor(const IndexDefinition& definition, std::string_view name,
    const FieldNumbers& numbers, std::string_view table_name) {
    if (definition.Fields.size() > kMaxIndexFields) {
        ProcessEngineErrors().RaiseIndexError(ZOLVEK_INDEXLIMIT, name, table_name);
    }
    IndexDescriptor descriptor;
    descriptor.Name = std::string(name);
    descriptor.Descending = definition.Descending;
    descriptor.CaseInsensitive = definition.CaseInsensitive;
    descriptor.Unique = definition.Unique;
    descriptor.Compression = definition.Compression;
    descriptor.NoKeyStatistics = definition.NoKeyStatistics;
    // A descending index has every field descending, and says so in each field's flag too, so
    // that a reader of the per-field flags orders it the same way.
    for (size_t k = 0; k < definition.Fields.size(); ++k) {
        bool field_descending = k < definition.DescFields.size() && definition.DescFields[k];
        descriptor.DescFields[k] = definition.Descending || field_descending ? 1 : 0;
    }
    MapIndexFields(definition.Fields, numbers, name, table_name, descriptor);
    return descriptor;
}

} // namespace

TableLayout ValidateTableDefinition(const TableDefinition& definition,
    const LocaleAvailable& locale_available, std::string_view table_name) {
    TEngineErrors& errors = ProcessEngineErrors();
    TableLayout layout;

    if (definition.Encrypted) {
        std::string_view password = TrimName(definition.Password);
        if (password.empty() || password.size() > kMaxPasswordLength) {
            errors.RaiseTableError(ZOLVEK_INVALIDPASSWORD, table_name);
        }
        layout.Password = std::string(password);
    }
    if (definition.LocaleID != 0 && !(locale_available && locale_available(definition.LocaleID))) {
        errors.RaiseTableError(ZOLVEK_CANNOTLOADLDDRV, table_name);
    }
    if (definition.Fields.empty() || definition.Fields.size() > kMaxFields) {
        errors.RaiseTableError(ZOLVEK_FLDLIMIT, table_name);
    }
    if (definition.IndexPageSize < kMinIndexPageSize || definition.IndexPageSize > kMaxIndexPageSize
        || definition.SecondaryIndexes.size() > kMaxSecondaryIndexes) {
        errors.RaiseTableError(ZOLVEK_INDEXLIMIT, table_name);
    }
    if (definition.BlobBlockSize < kMinBlobBlockSize
        || definition.BlobBlockSize > kMaxBlobBlockSize) {
        errors.RaiseTableError(ZOLVEK_BLOBLIMIT, table_name);
    }

    std::unordered_set<std::string> names;
    FieldNumbers numbers;
    layout.Fields.reserve(definition.Fields.size());
    for (size_t i = 0; i < definition.Fields.size(); ++i) {
        layout.Fields.push_back(
            ValidateField(definition.Fields[i], i + 1, names, numbers, table_name));
    }
    layout.Record = LayOutFields(layout.Fields, table_name);

    IndexSlots slots;
    IndexContext context { layout.Fields, definition.IndexPageSize, table_name };
    slots.AddPrimary(
        BuildIndexDescriptor(definition.PrimaryIndex, {}, numbers, table_name), context);
    std::unordered_set<std::string> index_names;
    for (const IndexDefinition& index : definition.SecondaryIndexes) {
        // The name is checked before the fields, as AddSecondary would.
        std::string name = PrepareSecondaryName(index.Name, table_name);
        if (!index_names.insert(UpperCaseName(name)).second) {
            errors.RaiseIndexError(ZOLVEK_INDEXEXISTS, name, table_name);
        }
        slots.AddSecondary(BuildIndexDescriptor(index, name, numbers, table_name), context);
    }
    if (definition.TextIndexFields.size() > kMaxIndexFields) {
        errors.RaiseIndexError(ZOLVEK_INDEXLIMIT, kTextIndexName, table_name);
    }
    IndexDescriptor text;
    MapIndexFields(definition.TextIndexFields, numbers, kTextIndexName, table_name, text);
    slots.SetTextIndex(std::span(text.FieldList.data(), text.FieldCount), context);

    layout.IndexSlots = slots.Slots;
    layout.SecondaryIndexCount = slots.SecondaryIndexCount();
    layout.LocaleID = definition.LocaleID;
    layout.UserMajorVersion = definition.UserMajorVersion;
    layout.UserMinorVersion = definition.UserMinorVersion;
    layout.LastAutoIncValue = definition.LastAutoIncValue == -1 ? 0 : definition.LastAutoIncValue;
    layout.BlobBlockSize = definition.BlobBlockSize;
    layout.IndexPageSize = definition.IndexPageSize;
    layout.TableDescription = definition.Description.substr(0, kMaxTextLength);
    layout.Encrypted = definition.Encrypted;
    return layout;
}

void ApplyTableLayout(const TableLayout& layout, DataFileHeader& header) {
    header.LocaleID = layout.LocaleID;
    header.UserMajorVersion = layout.UserMajorVersion;
    header.UserMinorVersion = layout.UserMinorVersion;
    header.LastAutoIncValue = layout.LastAutoIncValue;
    header.BlobBlockSize = layout.BlobBlockSize;
    header.IndexPageSize = layout.IndexPageSize;
    header.TableDescription = layout.TableDescription;
    header.Encrypted = layout.Encrypted ? 1 : 0;
    header.RecordSize = layout.Record.RecordSize;
    header.FieldCount = uint16_t(layout.Fields.size());
    header.BlobFieldCount = int16_t(layout.Record.BlobFieldCount);
    header.HeaderModified = true;
}

} // namespace zolvek
