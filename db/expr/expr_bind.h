// Binding of a verified expression tree to a cursor: a private copy in which column-free parts
// are computed once, constants compared with a column take the column's type, string
// comparisons carry the filter options (case-insensitive, partial comparison on a trailing
// '*'), prefix LIKE patterns become partial comparisons, and comparisons of UPPER or LOWER of
// a column are marked case-insensitive for the index choice. Also the whole preparation of a
// filter text: parse, verify, check, bind.
// Thread-safety: binding reads the source tree and builds a new one; the bound tree belongs to
// the caller and serves one evaluation at a time.
#pragma once

#include "db/expr/expr_eval.h"
#include "db/expr/expr_token.h"
#include "db/expr/expr_verifier.h"

#include <cstdint>
#include <string_view>

namespace zolvek {

// Filter options of the dataset that binding applies.
struct TBindOptions {
    bool no_partial_compare = false; // foNoPartialCompare: a trailing '*' is a character
    bool case_insensitive = false; // foCaseInsensitive
    uint32_t locale_id = 0; // the table's locale
};

// Builds the bound copy of a verified tree for `cursor` (the Owner of every node). Column
// nodes keep their field numbers; evaluation reads them through the cursor's ReadColumn.
TExpTokenPtr BindExpression(const TExpToken& tree, const void* cursor, const TBindOptions& options);

// The steps a cursor takes for a filter text: parse (error code 10051, "filter expression",
// pfExtended), verify with the column lookup (NULL constants allowed, boolean wrapping on),
// refuse a root that is not boolean ("filter expression must be a boolean expression" at line
// 0, column 0), bind. Returns the bound tree; the parsed tree is freed.
TExpTokenPtr PrepareFilterExpression(std::string_view text, std::string_view database_name,
    std::string_view table_name, const void* cursor, const ColumnLookupFunc& column_lookup,
    const TBindOptions& options);

} // namespace zolvek
