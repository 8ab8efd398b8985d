// TZOLVEKTable, the table component: one table of a database opened through one engine cursor,
// with its name, exclusive and read-only opening, the active index by name or field list, the
// field and index definitions read from the table (or written to create one), and the check
// whether the table exists. TZOLVEKIndexDef(s) describe the table's indexes.
// Thread-safety: none; the components' thread. Lifetime: the component owns its cursor while
// open and its definition collections always; it holds its database only while it needs it.
#pragma once

#include "db/components/db_dataset.h"
#include "db/storage/table_format.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

class TDataCursor;
class TZOLVEKTable;

enum TIndexOption : uint8_t {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,
    ixCaseInsensitive = 8,
    ixExpression = 16,
    ixNonMaintained = 32,
};
using TIndexOptions = uint8_t;

class TZOLVEKIndexDef {
public:
    std::string Name;
    // Key field names separated by semicolons; DescFields names those that descend.
    std::string Fields;
    std::string DescFields;
    TIndexOptions Options = 0;
    TIndexCompression Compression = icNone;
    // The name, or "<Primary>" for an unnamed primary index.
    std::string DisplayName() const;
};

class TZOLVEKIndexDefs {
public:
    explicit TZOLVEKIndexDefs(TZOLVEKTable& table)
        : table_(table) { }
    TZOLVEKIndexDefs(const TZOLVEKIndexDefs&) = delete;
    TZOLVEKIndexDefs& operator=(const TZOLVEKIndexDefs&) = delete;

    int32_t Count() const { return int32_t(defs_.size()); }
    TZOLVEKIndexDef& operator[](int32_t index) { return defs_.at(size_t(index)); }
    const TZOLVEKIndexDef& operator[](int32_t index) const { return defs_.at(size_t(index)); }
    TZOLVEKIndexDef& Add(std::string name, std::string fields, TIndexOptions options = 0);
    void Clear() { defs_.clear(); }
    // By name, without regard to letter case; nullptr when absent.
    const TZOLVEKIndexDef* Find(std::string_view name) const;
    // The index whose fields are `fields`: an exact match first (letter case ignored; neither
    // descending nor expression indexes), then one whose fields begin with them; nullptr if none.
    const TZOLVEKIndexDef* FindForFields(std::string_view fields) const;

    // Whether the definitions reflect the table; Update reads them (opening it briefly if
    // closed) when they do not.
    bool Updated() const { return updated_; }
    void SetUpdated(bool updated) { updated_ = updated; }
    void Update();

private:
    friend class TZOLVEKTable;
    TZOLVEKTable& table_;
    std::vector<TZOLVEKIndexDef> defs_;
    bool updated_ = false;
};

// Header information of a table that CreateTable makes.
struct TZOLVEKTableOptions {
    uint32_t LocaleID = 0;
    uint16_t UserMajorVersion = 0;
    uint16_t UserMinorVersion = 0;
    bool Encrypted = false;
    std::string Password;
    std::string Description;
    int32_t IndexPageSize = 4096;
    int32_t BlobBlockSize = 512;
    int32_t LastAutoIncValue = -1;
    // Field names of the full-text index.
    std::vector<std::string> TextIndexFields;
};

class TZOLVEKTable : public TZOLVEKDBDataSet {
public:
    TZOLVEKTable();
    ~TZOLVEKTable() override;

    std::string_view EngineVersion() const;
    void SetEngineVersion(std::string_view) { } // read-only in effect

    const std::string& TableName() const { return table_name_; }
    // Forward slashes become backslashes; a changed value requires a closed dataset. A path
    // (with a colon or a backslash) splits: its directory part becomes the DatabaseName.
    void SetTableName(const std::string& name);
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool exclusive); // closed dataset
    // After opening, also true when the engine opened the table read-only.
    bool ReadOnly() const { return read_only_; }
    void SetReadOnly(bool read_only); // closed dataset

    // The active index by name ("" the primary index) or by its field list. On an open table
    // any edit is left, the current record stays current and the window follows the new order;
    // an unknown name raises engine error 10022, an unknown field list "No index for fields
    // '%s'", and the old index stays.
    std::string IndexName() const { return index_is_fields_ ? std::string() : index_text_; }
    void SetIndexName(const std::string& name);
    std::string IndexFieldNames() const { return index_is_fields_ ? index_text_ : std::string(); }
    void SetIndexFieldNames(const std::string& fields);

    TZOLVEKIndexDefs& IndexDefs() { return index_defs_; }
    // Whether FieldDefs and IndexDefs are part of the component's stored settings.
    bool StoreDefs = false;

    // Master-detail links are not part of this engine: a non-empty value raises "Capability not
    // supported".
    const std::string& MasterFields() const { return master_fields_; }
    void SetMasterFields(const std::string& fields);

    // True when open; false for an empty TableName; otherwise whether a table of that name is
    // open in the database's directory or its data file is there. Never raises for a missing
    // table, and creates no file.
    bool TablePresent();
    // Creates the table from FieldDefs and IndexDefs. Requires a closed dataset.
    void CreateTable(const TZOLVEKTableOptions& options = {});

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override;
    void DestroyCursor() override;
    bool ReadOnlySetting() const override { return read_only_; }
    std::string OpenIndexName() override;
    void InitFieldDefsClosed() override;
    void DefinitionsChanged() override;

private:
    friend class TZOLVEKIndexDefs;

    void SetIndex(const std::string& text, bool field_list);
    // The index name for an index text: "" for the primary index, a name as given, or the
    // name of the index with the listed fields.
    std::string ResolveIndexName(const std::string& text, bool field_list);
    void ReadIndexDefs();
    void ReadIndexDefs(const TDataCursor& cursor);
    // The data file of the table in `directory` (backslash form), without opening anything.
    bool DataFilePresent(const std::string& directory);

    std::string table_name_;
    bool exclusive_ = false;
    bool read_only_ = false;
    std::string index_text_;
    bool index_is_fields_ = false;
    std::string master_fields_;
    TZOLVEKIndexDefs index_defs_;
};

} // namespace zolvek
