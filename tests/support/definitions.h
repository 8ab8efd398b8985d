// Table definitions the tests share: a field in one call, and the glossary table.
#pragma once

#include "db/storage/table_definition.h"

#include <string>

namespace zolvek::testing {

inline FieldDefinition Field(
    std::string name, uint8_t type, int32_t size = 0, uint8_t sub_type = 0) {
    FieldDefinition field;
    field.Name = std::move(name);
    field.DataType = type;
    field.Size = size;
    field.SubType = sub_type;
    return field;
}

// The glossary table "datalar": ANAHTAR (the key word), ACIKLAMA (the explanation, a memo) and
// INDEX (the key word's first letter), Turkish collation. "INDEXX" orders by key word ("A'dan
// Z'ye"), "ANAHTAR" by letter group and then key word ("Harf Grubuna Göre"); both ignore case.
inline TableDefinition GlossaryDefinition() {
    TableDefinition definition;
    definition.Fields.push_back(Field("ANAHTAR", kTypeString, 175));
    definition.Fields.push_back(Field("ACIKLAMA", kTypeBlob, 0, kSubTypeMemo));
    definition.Fields.push_back(Field("INDEX", kTypeString, 1));
    IndexDefinition by_word;
    by_word.Name = "INDEXX";
    by_word.Fields = { 1 };
    by_word.CaseInsensitive = true;
    by_word.Compression = icFull;
    definition.SecondaryIndexes.push_back(by_word);
    IndexDefinition by_letter;
    by_letter.Name = "ANAHTAR";
    by_letter.Fields = { 3, 1 };
    by_letter.CaseInsensitive = true;
    by_letter.Compression = icFull;
    definition.SecondaryIndexes.push_back(by_letter);
    definition.LocaleID = 1055;
    return definition;
}

} // namespace zolvek::testing
