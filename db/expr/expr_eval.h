// Evaluation of verified and bound expression trees for one record at a time, the LIKE
// matcher, and the value helpers (numbers, packed decimals, conversions between types) that
// binding shares. Field values come from the cursor through the ReadColumn callback.
// Thread-safety: evaluation writes the Value of every node it visits, so a tree serves one
// evaluation at a time; MatchLike may be called from any thread.
#pragma once

#include "db/expr/expr_token.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace zolvek {

// Supplied by the cursor: copies the value of the column node's field in `record` into the
// node's Value in the record encoding and sets IsNull from the record's null flag; BLOB and
// memo fields are read in full, a memo as zero-terminated text.
using ReadColumnFunc = std::function<void(TExpToken& column, const uint8_t* record)>;

// Computes `node` and, as needed, its operands for `record`; afterwards the node's Value and
// IsNull hold the result. Evaluation raises no errors of its own: a value that cannot be
// computed (division or MOD by zero, a result outside its type's range, a domain error of a
// mathematical function, a failed conversion, a text longer than kMaxComputedText) is NULL.
// Errors of ReadColumn pass through.
// Requires: the tree is verified (and bound, for filters); `read_column` is set when the tree
// references columns.
void Evaluate(
    TExpToken& node, const uint8_t* record, uint32_t locale_id, const ReadColumnFunc& read_column);

// The truth of an evaluated boolean node: not NULL and not 0.
bool IsTrue(const TExpToken& node);

// LIKE: the whole value must match the whole pattern; '%' matches any run of characters, '_'
// exactly one, the escape character (0: none) makes the next pattern character literal, and
// other characters match by CompareLocaleChars under the locale.
bool MatchLike(uint32_t locale_id, std::string_view value, std::string_view pattern, char escape);

// Numeric value of a node in a form that spans all numeric types: an integer (booleans,
// 16/32/64-bit integers, dates as day numbers, times as milliseconds), a float (floats and
// timestamps) or a decimal (a packed decimal as a 128-bit mantissa and a scale).
struct TNumber {
    enum Kind { kInteger, kFloat, kDecimal } kind = kInteger;
    int64_t integer = 0;
    double real = 0;
    __int128 mantissa = 0;
    int scale = 0;
};

// False when the node is NULL, is not numeric, or holds a malformed value.
bool LoadNumber(const TExpToken& node, TNumber& number);
// Stores a number into `node` as its DataType (rounding to the node's Scale for decimals,
// truncating floats toward zero for integers); false (and NULL) when it does not fit.
bool StoreNumber(TExpToken& node, const TNumber& number);
// Compares two numbers by value: -1, 0 or 1.
int CompareNumbers(const TNumber& a, const TNumber& b);

// Converts the value of `from` into `to`, whose DataType, SubType, ValueSize and Scale are
// set; a value that cannot be converted makes `to` NULL.
void ConvertValue(const TExpToken& from, TExpToken& to);

} // namespace zolvek
