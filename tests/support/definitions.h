// Table definitions the tests share: a field in one call, and the glossary table.
#pragma once

#include "db/storage/glossary_table.h"
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

using zolvek::GlossaryDefinition;

} // namespace zolvek::testing
