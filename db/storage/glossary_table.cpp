// The glossary table's definition.
#include "db/storage/glossary_table.h"

#include "db/storage/table_format.h"

namespace zolvek {

namespace {

FieldDefinition GlossaryField(const char* name, uint8_t type, int32_t size, uint8_t sub_type) {
    FieldDefinition field;
    field.Name = name;
    field.DataType = type;
    field.Size = size;
    field.SubType = sub_type;
    return field;
}

IndexDefinition CaseInsensitiveIndex(const char* name, std::vector<int32_t> fields) {
    IndexDefinition index;
    index.Name = name;
    index.Fields = std::move(fields);
    index.CaseInsensitive = true;
    index.Compression = icFull;
    return index;
}

} // namespace

TableDefinition GlossaryDefinition() {
    TableDefinition definition;
    definition.Fields = {
        GlossaryField("ANAHTAR", kTypeString, 175, 0),
        GlossaryField("ACIKLAMA", kTypeBlob, 0, kSubTypeMemo),
        GlossaryField("INDEX", kTypeString, 1, 0),
    };
    definition.SecondaryIndexes = {
        CaseInsensitiveIndex("INDEXX", { kGlossaryWord }),
        CaseInsensitiveIndex("ANAHTAR", { kGlossaryLetter, kGlossaryWord }),
    };
    definition.LocaleID = 1055;
    return definition;
}

} // namespace zolvek
