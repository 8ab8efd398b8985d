// Field values given as text on record images: the default values that a new record starts
// with, and the required, minimum and maximum checks of a record about to be written.
// Thread-safety: pure functions over caller-owned images.
#pragma once

#include "db/storage/table_format.h"

#include <span>
#include <string_view>

namespace zolvek {

// Writes every field's non-empty DefaultValue (not BLOBs) into `record`, in field order:
// CURRENT_GUID, CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP take the present; other texts
// are read by their type's text form. Conversion errors propagate.
void ApplyDefaultValues(
    std::span<const FieldDescriptor> fields, uint8_t* record, uint32_t locale_id);
bool HasDefaultValues(std::span<const FieldDescriptor> fields);
bool HasConstraints(std::span<const FieldDescriptor> fields);

// 9732 for a null required field, 9730 / 9731 for a value below the minimum / above the
// maximum (strings compare under the table's locale, a null string as the empty one); the
// first failing field stops the check.
void CheckConstraints(std::span<const FieldDescriptor> fields, const uint8_t* record,
    uint32_t locale_id, std::string_view table_name);

} // namespace zolvek
