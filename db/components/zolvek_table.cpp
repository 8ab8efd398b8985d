#include "db/components/zolvek_table.h"

#include "db/components/component_errors.h"
#include "db/components/database_component.h"
#include "db/components/engine_component.h"
#include "db/components/session_component.h"
#include "db/cursor/cursor.h"
#include "db/dataset/dataset_errors.h"
#include "db/storage/directory.h"
#include "db/storage/session.h"
#include "db/storage/table_definition.h"

#include <algorithm>

namespace zolvek {

namespace {

// The names of a semicolon-separated list, trimmed, empty ones dropped.
std::vector<std::string> SplitNames(std::string_view list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string_view::npos)
            end = list.size();
        std::string_view name = TrimName(list.substr(start, end - start));
        if (!name.empty())
            names.emplace_back(name);
        start = end + 1;
    }
    return names;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        if (!list.empty())
            list += ';';
        list += name;
    }
    return list;
}

std::string KeyFieldName(const TDataCursor& cursor, uint16_t field_no) {
    if (field_no == kRecordIDFieldNo)
        return "RecordID";
    if (field_no == kRecordHashFieldNo)
        return "RecordHash";
    if (field_no >= 1 && field_no <= cursor.Fields().size())
        return cursor.Fields()[field_no - 1u].Name;
    return {};
}

// The engine's type and sub type of a dataset field type.
void EngineTypeOf(TFieldType type, FieldDefinition& field, int32_t size) {
    field.Size = 0;
    switch (type) {
    case ftString:
        field.DataType = kTypeString;
        field.Size = size;
        return;
    case ftFixedChar:
        field.DataType = kTypeString;
        field.SubType = kSubTypeFixed;
        field.Size = size;
        return;
    case ftWideString:
        field.DataType = kTypeString;
        field.SubType = kSubTypeWide;
        field.Size = size;
        return;
    case ftGuid:
        field.DataType = kTypeString;
        field.SubType = kSubTypeGuid;
        field.Size = size;
        return;
    case ftDate:
        field.DataType = kTypeDate;
        return;
    case ftMemo:
    case ftFmtMemo:
        field.DataType = kTypeBlob;
        field.SubType = kSubTypeMemo;
        return;
    case ftGraphic:
        field.DataType = kTypeBlob;
        field.SubType = 26;
        return;
    case ftBlob:
        field.DataType = kTypeBlob;
        field.SubType = kSubTypeBinary;
        return;
    case ftBoolean:
        field.DataType = kTypeBoolean;
        return;
    case ftSmallint:
        field.DataType = kTypeSmallInt;
        return;
    case ftInteger:
        field.DataType = kTypeInteger;
        return;
    case ftAutoInc:
        field.DataType = kTypeInteger;
        field.SubType = kSubTypeAutoInc;
        return;
    case ftFloat:
        field.DataType = kTypeFloat;
        return;
    case ftCurrency:
        field.DataType = kTypeFloat;
        field.SubType = kSubTypeMoney;
        return;
    case ftBCD:
        field.DataType = kTypeBcd;
        field.Scale = uint8_t(std::clamp(size, 0, 255));
        return;
    case ftBytes:
        field.DataType = kTypeBytes;
        field.Size = size;
        return;
    case ftTime:
        field.DataType = kTypeTime;
        return;
    case ftDateTime:
        field.DataType = kTypeDateTime;
        return;
    case ftWord:
        field.DataType = kTypeWord;
        return;
    case ftVarBytes:
        field.DataType = kTypeVarBytes;
        field.Size = size;
        return;
    case ftLargeint:
        field.DataType = kTypeLargeInt;
        return;
    default:
        // No engine type: the table definition's check refuses it (10000).
        field.DataType = 0;
        return;
    }
}

// Field numbers (1-based positions, -1 RecordID, -2 RecordHash) of names among `defs`.
int32_t FieldNumberIn(const TFieldDefs& defs, const std::string& name) {
    if (EqualsIgnoringCase(name, "RecordID"))
        return kRecordIDField;
    if (EqualsIgnoringCase(name, "RecordHash"))
        return kRecordHashField;
    int32_t index = defs.IndexOf(name);
    if (index < 0)
        DatabaseErrorFmt(kFieldNotFound, { name });
    return index + 1;
}

} // namespace

// ================================================================ Index definitions

std::string TZOLVEKIndexDef::DisplayName() const {
    if (Name.empty() && (Options & ixPrimary) != 0)
        return "<Primary>";
    return Name;
}

TZOLVEKIndexDef& TZOLVEKIndexDefs::Add(
    std::string name, std::string fields, TIndexOptions options) {
    TZOLVEKIndexDef def;
    def.Name = std::move(name);
    def.Fields = std::move(fields);
    def.Options = options;
    defs_.push_back(std::move(def));
    return defs_.back();
}

const TZOLVEKIndexDef* TZOLVEKIndexDefs::Find(std::string_view name) const {
    for (const TZOLVEKIndexDef& def : defs_) {
        if (SameName(def.Name, name))
            return &def;
    }
    return nullptr;
}

const TZOLVEKIndexDef* TZOLVEKIndexDefs::FindForFields(std::string_view fields) const {
    std::string wanted = JoinNames(SplitNames(fields));
    if (wanted.empty())
        return nullptr;
    for (const TZOLVEKIndexDef& def : defs_) {
        if ((def.Options & (ixDescending | ixExpression)) != 0)
            continue;
        if (EqualsIgnoringCase(JoinNames(SplitNames(def.Fields)), wanted))
            return &def;
    }
    std::string prefix = UpperCaseName(wanted + ";");
    for (const TZOLVEKIndexDef& def : defs_) {
        std::string list = UpperCaseName(JoinNames(SplitNames(def.Fields)));
        if (list.compare(0, prefix.size(), prefix) == 0)
            return &def;
    }
    return nullptr;
}

void TZOLVEKIndexDefs::Update() {
    if (updated_)
        return;
    table_.ReadIndexDefs();
    updated_ = true;
}

// ================================================================ TZOLVEKTable

TZOLVEKTable::TZOLVEKTable()
    : index_defs_(*this) { }

TZOLVEKTable::~TZOLVEKTable() {
    try {
        Close();
    } catch (...) {
        NoteSwallowedFailure();
    }
}

std::string_view TZOLVEKTable::EngineVersion() const {
    return kZOLVEKEngineVersion;
}

void TZOLVEKTable::DefinitionsChanged() {
    TZOLVEKDBDataSet::DefinitionsChanged();
    index_defs_.SetUpdated(false);
}

void TZOLVEKTable::SetTableName(const std::string& name) {
    std::string value = ToBackslashes(name);
    if (value == table_name_)
        return;
    CheckInactive();
    if (IsPathName(value)) {
        size_t split = value.find_last_of('\\');
        if (split == std::string::npos)
            split = value.find_last_of(':');
        SetDatabaseName(value.substr(0, split + 1));
        value = value.substr(split + 1);
    }
    table_name_ = value;
    DefinitionsChanged();
}

void TZOLVEKTable::SetExclusive(bool exclusive) {
    if (exclusive == exclusive_)
        return;
    CheckInactive();
    exclusive_ = exclusive;
}

void TZOLVEKTable::SetReadOnly(bool read_only) {
    if (read_only == read_only_)
        return;
    CheckInactive();
    read_only_ = read_only;
}

void TZOLVEKTable::SetMasterFields(const std::string& fields) {
    if (!TrimName(fields).empty())
        DatabaseError(kNotSupported);
    master_fields_.clear();
}

// ---------------------------------------------------------------- Cursor

std::unique_ptr<TDataCursor> TZOLVEKTable::CreateCursor() {
    SetDatabaseUse(duOpen, true);
    try {
        if (TrimName(table_name_).empty())
            DatabaseError(kMissingTableName);
        TDataDirectory* directory = Database() != nullptr ? Database()->Handle() : nullptr;
        if (directory == nullptr)
            DatabaseError(kCreateHandleError);
        auto cursor = std::make_unique<TDataCursor>(*directory, table_name_);
        cursor->Exclusive = exclusive_;
        cursor->ReadOnly = read_only_;
        cursor->OpenTable();
        read_only_ = cursor->ReadOnly || cursor->Table().ReadOnly();
        return cursor;
    } catch (...) {
        SetDatabaseUse(duOpen, false);
        throw;
    }
}

void TZOLVEKTable::DestroyCursor() {
    SetDatabaseUse(duOpen, false);
}

std::string TZOLVEKTable::OpenIndexName() {
    return ResolveIndexName(index_text_, index_is_fields_);
}

// ---------------------------------------------------------------- Definitions

void TZOLVEKTable::InitFieldDefsClosed() {
    TDatabaseUseScope use(*this, duFieldList);
    if (TrimName(table_name_).empty())
        DatabaseError(kMissingTableName);
    TDataCursor cursor(*Database()->Handle(), table_name_);
    cursor.ReadOnly = read_only_;
    cursor.OpenTable();
    ReadFieldDefs(cursor);
    cursor.CloseTable();
}

void TZOLVEKTable::ReadIndexDefs() {
    if (Cursor() != nullptr) {
        ReadIndexDefs(*Cursor());
        return;
    }
    TDatabaseUseScope use(*this, duIndexList);
    if (TrimName(table_name_).empty())
        DatabaseError(kMissingTableName);
    TDataCursor cursor(*Database()->Handle(), table_name_);
    cursor.ReadOnly = read_only_;
    cursor.OpenTable();
    ReadIndexDefs(cursor);
    cursor.CloseTable();
}

void TZOLVEKTable::ReadIndexDefs(const TDataCursor& cursor) {
    index_defs_.Clear();
    for (uint8_t slot = 0; slot <= cursor.IndexCount() && slot < kTextIndexSlot; ++slot) {
        const IndexDescriptor& index = cursor.GetIndexDescriptor(slot);
        if (index.FieldCount == 0)
            continue;
        std::vector<std::string> fields;
        std::vector<std::string> descending;
        for (uint8_t i = 0; i < index.FieldCount && i < kMaxIndexFields; ++i) {
            std::string name = KeyFieldName(cursor, index.FieldList[i]);
            if (index.DescFields[i] != 0)
                descending.push_back(name);
            fields.push_back(std::move(name));
        }
        TIndexOptions options = 0;
        if (slot == kPrimaryIndexSlot)
            options |= ixPrimary;
        if (index.Unique || slot == kPrimaryIndexSlot)
            options |= ixUnique;
        if (index.Descending)
            options |= ixDescending;
        if (index.CaseInsensitive)
            options |= ixCaseInsensitive;
        TZOLVEKIndexDef& def = index_defs_.Add(
            slot == kPrimaryIndexSlot ? std::string() : index.Name, JoinNames(fields), options);
        def.DescFields = JoinNames(descending);
        def.Compression
            = index.Compression <= icFull ? TIndexCompression(index.Compression) : icNone;
    }
}

std::string TZOLVEKTable::ResolveIndexName(const std::string& text, bool field_list) {
    if (TrimName(text).empty())
        return {};
    if (!field_list)
        return text;
    index_defs_.Update();
    const TZOLVEKIndexDef* def = index_defs_.FindForFields(text);
    if (def == nullptr)
        DatabaseErrorFmt(kNoIndexForFields, { text });
    return (def->Options & ixPrimary) != 0 ? std::string() : def->Name;
}

// ---------------------------------------------------------------- Index selection

void TZOLVEKTable::SetIndexName(const std::string& name) {
    SetIndex(name, false);
}

void TZOLVEKTable::SetIndexFieldNames(const std::string& fields) {
    SetIndex(fields, true);
}

void TZOLVEKTable::SetIndex(const std::string& text, bool field_list) {
    if (Active())
        CheckBrowseMode();
    if (text == index_text_ && field_list == index_is_fields_)
        return;
    if (Active())
        SwitchToIndex(ResolveIndexName(text, field_list));
    index_text_ = text;
    index_is_fields_ = field_list;
}

// ---------------------------------------------------------------- Existence and creation

bool TZOLVEKTable::DataFilePresent(const std::string& directory) {
    TDataEngine& core = TZOLVEKEngine::Engine().Core();
    std::string path(TrimName(directory));
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string file = NormaliseDirectoryPath(path, false)
        + BuildTableFileName(
            table_name_, core.Settings().TableDataExtension, core.Settings().TableDataExtension);
    return core.OpenFiles().Exists(file, false);
}

bool TZOLVEKTable::TablePresent() {
    if (Active())
        return true;
    if (TrimName(table_name_).empty())
        return false;
    // Opening a database directory creates its lock file. Until the database is open, the
    // check looks for the data file itself, so that a directory without the table is left as
    // it was.
    TZOLVEKSession& session = TZOLVEKEngine::Engine().RequireSession(SessionName());
    TZOLVEKDatabase* database = session.LookupDatabase(DatabaseName());
    if (!IsMemoryName(DatabaseName()) && (database == nullptr || !database->Connected())) {
        if (database != nullptr)
            return DataFilePresent(database->Directory());
        if (IsPathName(DatabaseName()))
            return DataFilePresent(DatabaseName());
    }
    TDatabaseUseScope use(*this, duTableCheck);
    TDataDirectory* directory = Database() != nullptr ? Database()->Handle() : nullptr;
    return directory != nullptr && directory->TableExists(table_name_, false, false);
}

void TZOLVEKTable::CreateTable(const TZOLVEKTableOptions& options) {
    CheckInactive();
    if (TrimName(table_name_).empty())
        DatabaseError(kMissingTableName);
    TableDefinition definition;
    const TFieldDefs& defs = FieldDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) {
        const TFieldDef& def = defs[i];
        FieldDefinition field;
        field.Name = def.Name;
        EngineTypeOf(def.DataType, field, def.Size);
        field.Required = def.Required();
        if (auto* engine_def = dynamic_cast<const TZOLVEKFieldDef*>(&def)) {
            field.Description = engine_def->Description;
            field.DefaultValue = engine_def->DefaultValue;
            field.MinValue = engine_def->MinValue;
            field.MaxValue = engine_def->MaxValue;
            field.CharCase = TFieldCharCase(engine_def->CharCase);
            field.Compression = engine_def->Compression;
        }
        definition.Fields.push_back(std::move(field));
    }
    for (const TZOLVEKIndexDef& def : index_defs_.defs_) {
        if ((def.Options & (ixExpression | ixNonMaintained)) != 0)
            DatabaseError(kNotSupported);
        IndexDefinition index;
        index.Name = def.Name;
        std::vector<std::string> descending = SplitNames(def.DescFields);
        for (const std::string& name : SplitNames(def.Fields)) {
            index.Fields.push_back(FieldNumberIn(defs, name));
            index.DescFields.push_back(std::any_of(descending.begin(), descending.end(),
                [&](const std::string& other) { return EqualsIgnoringCase(other, name); }));
        }
        index.Descending = (def.Options & ixDescending) != 0;
        index.CaseInsensitive = (def.Options & ixCaseInsensitive) != 0;
        index.Unique = (def.Options & ixUnique) != 0;
        index.Compression = def.Compression;
        if ((def.Options & ixPrimary) != 0)
            definition.PrimaryIndex = std::move(index);
        else
            definition.SecondaryIndexes.push_back(std::move(index));
    }
    for (const std::string& name : options.TextIndexFields)
        definition.TextIndexFields.push_back(FieldNumberIn(defs, name));
    definition.LocaleID = options.LocaleID;
    definition.UserMajorVersion = options.UserMajorVersion;
    definition.UserMinorVersion = options.UserMinorVersion;
    definition.Encrypted = options.Encrypted;
    definition.Password = options.Password;
    definition.Description = options.Description;
    definition.IndexPageSize = options.IndexPageSize;
    definition.BlobBlockSize = options.BlobBlockSize;
    definition.LastAutoIncValue = options.LastAutoIncValue;

    TDatabaseUseScope use(*this, duTableCheck);
    TDataDirectory* directory = Database()->Handle();
    directory->ReleaseTable(directory->CreateTable(table_name_, definition));
    index_defs_.SetUpdated(true);
    FieldDefs().SetUpdated(true);
}

} // namespace zolvek
