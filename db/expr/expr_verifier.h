// TExpressionVerifier: checks a parsed expression tree against a table's fields. It resolves
// every column through the cursor's column lookup, checks the types of all operands and
// arguments, gives every node its result type, sub type, size and scale, converts string
// constants that stand against dates and times, and wraps lone boolean and integer operands of
// NOT, AND, OR and the root into comparisons with TRUE.
// Thread-safety: one verifier per owner, used by one thread at a time; it keeps no tree.
#pragma once

#include "db/base/errors.h"
#include "db/expr/expr_parser.h"
#include "db/expr/expr_token.h"

#include <functional>
#include <string>
#include <string_view>

namespace zolvek {

// Supplied by the cursor: looks up the field named by the column node's ColumnName; when there
// is one, stores its FieldNo, DataType, SubType, physical size (ValueSize) and Scale in the
// node and returns true.
using ColumnLookupFunc = std::function<bool(TExpToken& column)>;

// Longest text an operation that grows texts (concatenation, REPEAT, REPLACE) produces; a
// longer result is NULL. Also the declared size of such results when it cannot be known.
inline constexpr uint32_t kMaxComputedText = 1 << 20;
// Longest string CAST length.
inline constexpr int32_t kMaxCastLength = 512;

class TExpressionVerifier {
public:
    void SetErrorContext(EngineCode error_code, std::string_view database_name,
        std::string_view table_name, std::string_view context_name);
    void SetColumnLookup(ColumnLookupFunc lookup) { lookup_ = std::move(lookup); }

    // Checks the tree in place and types every node; raises on the first error with the
    // offending node's position. With boolean wrapping the root may be replaced.
    // Requires: a column lookup is set.
    void Verify(TExpTokenPtr& tree, bool null_constants_allowed, bool boolean_wrapping);

private:
    void VerifyNode(TExpTokenPtr& slot, TExpToken* parent, bool wrap);
    void VerifyUnary(TExpToken& node);
    void VerifyBinary(TExpToken& node);
    void VerifyExtended(TExpToken& node);
    void VerifyFunction(TExpToken& node);

    // One verifier per function (or per family of functions that differ in one step), each
    // checking the node's arguments and giving it its type; VerifyFunction picks it from its
    // table by the function code.
    using FunctionVerifier = void (TExpressionVerifier::*)(TExpToken& node);
    void VerifyUpperOrLower(TExpToken& node);
    void VerifySubstring(TExpToken& node);
    void VerifyReplace(TExpToken& node);
    void VerifyPosOrOccurs(TExpToken& node);
    void VerifyTrim(TExpToken& node);
    void VerifyLength(TExpToken& node);
    void VerifyLeftOrRight(TExpToken& node);
    void VerifyRepeat(TExpToken& node);
    void VerifyConcat(TExpToken& node);
    void VerifyCast(TExpToken& node);
    void VerifyIfOrIfNull(TExpToken& node);
    void VerifyCoalesce(TExpToken& node);
    void VerifyNullIf(TExpToken& node);
    void VerifyCase(TExpToken& node);
    void VerifyExtract(TExpToken& node);
    void VerifyCurrentDate(TExpToken& node);
    void VerifyCurrentTime(TExpToken& node);
    void VerifyCurrentTimestamp(TExpToken& node);
    void VerifyAbs(TExpToken& node);
    void VerifyRoundOrTrunc(TExpToken& node);
    void VerifyMod(TExpToken& node);
    void VerifyCeilingOrFloor(TExpToken& node);
    void VerifySign(TExpToken& node);
    void VerifyMSecsPart(TExpToken& node);
    void VerifyMathFunction(TExpToken& node);
    void VerifyTextSearch(TExpToken& node);
    void VerifyLastAutoInc(TExpToken& node);
    void VerifyCurrentGuid(TExpToken& node);
    // Verifies every argument of a function node, each as an operand of its own.
    void VerifyArguments(TExpToken& node);

    void CheckComparable(TExpToken& tested, TExpToken& other, uint8_t op);
    void ConvertDateText(TExpToken& constant, const TExpToken& other);
    void Require(const TExpToken& node, uint32_t accepted);
    void WidenInto(TExpToken& result, const TExpToken& argument, bool& typed);
    void WrapBoolean(TExpTokenPtr& slot);
    [[noreturn]] void Raise(const std::string& message, const TExpToken& node);
    [[noreturn]] void ErrorExpected(std::string_view what, const TExpToken& node);
    [[noreturn]] void ErrorInvalid(const TExpToken& node);

    TExpressionErrorContext errors_;
    ColumnLookupFunc lookup_;
    bool null_constants_allowed_ = true;
    bool boolean_wrapping_ = true;
};

// The names of the accepted types in verifier messages, in their fixed order; the mask bits
// follow the same order (bit 0 FixedChar ... bit 19 BLOB).
uint32_t TypeClassOf(uint8_t data_type, uint8_t sub_type);
// "NULL, FixedChar, GUID, String, Memo, or BLOB" for the mask.
std::string AcceptedTypesText(uint32_t mask);

} // namespace zolvek
