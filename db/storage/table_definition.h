// The definition of a table to be created (fields, indexes, full-text fields and header
// information, as CreateTable and the command-line tool fill it) and its validation and layout
// into the field descriptors, the 32 index slots and the data header's information.
// Thread-safety: pure; errors are raised through the process's engine error state.
#pragma once

#include "db/storage/table_format.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zolvek {

struct FieldDefinition {
    std::string Name;
    // 0 takes the field's position; otherwise unique among the table's fields. Index
    // definitions name fields by these numbers.
    int32_t FieldNo = 0;
    uint8_t DataType = 0;
    uint8_t SubType = 0;
    int32_t Size = 0; // characters for strings, bytes for byte fields, else ignored
    uint8_t Scale = 0;
    bool Required = false;
    TFieldCharCase CharCase = fcNoChange;
    std::string Description;
    std::string MinValue;
    std::string MaxValue;
    std::string DefaultValue;
    uint8_t Compression = 0; // zlib level 1..9, BLOB fields only
};

struct IndexDefinition {
    std::string Name; // ignored for the primary index
    // Field numbers as in FieldDefinition::FieldNo; -1 RecordID, -2 RecordHash.
    std::vector<int32_t> Fields;
    // Per key field; missing entries are ascending.
    std::vector<bool> DescFields;
    bool Descending = false;
    bool CaseInsensitive = false;
    bool Unique = false; // always set for the primary index
    TIndexCompression Compression = icNone;
    bool NoKeyStatistics = false;
};

struct TableDefinition {
    std::vector<FieldDefinition> Fields;
    // No fields: the table has no primary key (the default RecordID primary index).
    IndexDefinition PrimaryIndex;
    std::vector<IndexDefinition> SecondaryIndexes;
    // Fields of the full-text index (strings and memos), by field number.
    std::vector<int32_t> TextIndexFields;
    uint32_t LocaleID = 0;
    int32_t IndexPageSize = 4096;
    int32_t BlobBlockSize = 512;
    bool Encrypted = false;
    std::string Password;
    std::string Description;
    uint16_t UserMajorVersion = 0;
    uint16_t UserMinorVersion = 0;
    int32_t LastAutoIncValue = -1; // -1 stores 0
};

// A validated and laid-out definition: what CreateTableFiles writes.
struct TableLayout {
    std::vector<FieldDescriptor> Fields; // FieldNo = position, offsets assigned
    std::array<IndexDescriptor, kIndexSlotCount> IndexSlots {};
    uint8_t SecondaryIndexCount = 0;
    RecordLayout Record;
    // Header information, ready for the data header (TableDescription cut to 100 characters,
    // LastAutoIncValue -1 made 0).
    uint32_t LocaleID = 0;
    uint16_t UserMajorVersion = 0;
    uint16_t UserMinorVersion = 0;
    int32_t LastAutoIncValue = 0;
    int32_t BlobBlockSize = 0;
    int32_t IndexPageSize = 0;
    std::string TableDescription;
    bool Encrypted = false;
    std::string Password; // trimmed; empty unless encrypted
};

// Validates `definition` and lays it out. Raises, in this order of checks: 10015 (password of an
// encrypted table not 1..128 characters after trimming), 15878 (locale not available), 9492
// (field count not 1..1024), 9487 (IndexPageSize not 1024..16384, more than 30 secondary
// indexes), 9498 (BlobBlockSize not 64..65536); per field 10038 (name), 10000 (number, type,
// size, char case, compression), 10006 (default, minimum or maximum text); 9498 / 9477 (BLOB
// count, record size); per index 10010 / 10022 / 10027 (name), 9487 (more than 128 fields),
// 10023 (unknown field), 12292 (BLOB field; for the full-text index a field that is not a
// string or memo), 10026 (key size).
TableLayout ValidateTableDefinition(const TableDefinition& definition,
    const LocaleAvailable& locale_available, std::string_view table_name);

// Fills a new data header's creation information and record layout from `layout`.
// PasswordCheck is the caller's (it needs the cipher).
void ApplyTableLayout(const TableLayout& layout, DataFileHeader& header);

} // namespace zolvek
