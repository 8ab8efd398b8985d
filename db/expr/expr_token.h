// The nodes of a filter expression tree (TExpToken), the codes they carry (node kinds, operator
// and function codes, engine type codes with their value sizes and ranges) and the parse flags;
// the parser builds these trees, the verifier types them, binding copies them for a cursor and
// the evaluator computes them.
// Thread-safety: a tree is used by one thread at a time. A node owns its operands and
// arguments; freeing a node frees its subtree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

// Lexical token types of the expression text; any other character is a token of its own whose
// type is its character code (40 '(', 41 ')', 42 '*', ...).
inline constexpr int ltEnd = 0;
inline constexpr int ltIdentifier = 1;
inline constexpr int ltBracketName = 2;
inline constexpr int ltString = 3;
inline constexpr int ltQuotedName = 4;
inline constexpr int ltCharCode = 5;
inline constexpr int ltInteger = 6;
inline constexpr int ltReal = 7;

// Parse flags, passed from level to level. A filter sets only pfExtended; the others name the
// syntax of the SQL engine, which this library does not build (such syntax is refused as an
// invalid expression whatever the flags say).
inline constexpr uint8_t pfAggregates = 1;
inline constexpr uint8_t pfStar = 2;
inline constexpr uint8_t pfExtended = 4;
inline constexpr uint8_t pfParams = 8;
inline constexpr uint8_t pfSubqueries = 16;
inline constexpr uint8_t pfQualified = 32;

// Node kinds.
inline constexpr uint8_t nkUnary = 1;
inline constexpr uint8_t nkBinary = 2;
inline constexpr uint8_t nkStringCompare = 3; // made only by binding
inline constexpr uint8_t nkExtended = 4;
inline constexpr uint8_t nkColumn = 5;
inline constexpr uint8_t nkConstant = 6;
inline constexpr uint8_t nkFunction = 8;

// Operator codes (Op of unary, binary, string-comparison and extended nodes).
inline constexpr uint8_t opEqual = 3; // also IS NULL
inline constexpr uint8_t opNotEqual = 4; // also IS NOT NULL
inline constexpr uint8_t opGreater = 5;
inline constexpr uint8_t opLess = 6;
inline constexpr uint8_t opGreaterOrEqual = 7;
inline constexpr uint8_t opLessOrEqual = 8;
inline constexpr uint8_t opNot = 9;
inline constexpr uint8_t opAnd = 10;
inline constexpr uint8_t opOr = 11;
inline constexpr uint8_t opNegate = 15;
inline constexpr uint8_t opPlusSign = 16;
inline constexpr uint8_t opAdd = 17; // + and ||
inline constexpr uint8_t opSubtract = 18;
inline constexpr uint8_t opMultiply = 19;
inline constexpr uint8_t opDivide = 20;
inline constexpr uint8_t opLike = 28;
inline constexpr uint8_t opIn = 29;
inline constexpr uint8_t opBetween = 33;
inline constexpr uint8_t opNotBetween = 34;
inline constexpr uint8_t opNotLike = 35;
inline constexpr uint8_t opNotIn = 36;
inline constexpr uint8_t opMod = 72; // the MOD operator and the MOD function

// Function codes (Op of function nodes).
inline constexpr uint8_t fnUpper = 31;
inline constexpr uint8_t fnLower = 32;
inline constexpr uint8_t fnSubstring = 38;
inline constexpr uint8_t fnReplace = 39;
inline constexpr uint8_t fnPos = 40;
inline constexpr uint8_t fnOccurs = 41;
inline constexpr uint8_t fnTrimLeading = 42;
inline constexpr uint8_t fnTrimTrailing = 43;
inline constexpr uint8_t fnTrimBoth = 44;
inline constexpr uint8_t fnLength = 45;
inline constexpr uint8_t fnLeft = 46;
inline constexpr uint8_t fnRight = 47;
inline constexpr uint8_t fnRepeat = 48;
inline constexpr uint8_t fnConcat = 49;
inline constexpr uint8_t fnCast = 50;
inline constexpr uint8_t fnExtractYear = 51; // 51..60: YEAR, MONTH, WEEK, DAY, DAYOFWEEK,
inline constexpr uint8_t fnExtractMonth = 52; // DAYOFYEAR, HOUR, MINUTE, SECOND, MSECOND
inline constexpr uint8_t fnExtractWeek = 53;
inline constexpr uint8_t fnExtractDay = 54;
inline constexpr uint8_t fnExtractDayOfWeek = 55;
inline constexpr uint8_t fnExtractDayOfYear = 56;
inline constexpr uint8_t fnExtractHour = 57;
inline constexpr uint8_t fnExtractMinute = 58;
inline constexpr uint8_t fnExtractSecond = 59;
inline constexpr uint8_t fnExtractMSecond = 60;
inline constexpr uint8_t fnYearsFromMSecs = 61; // 61..66: YEARS, DAYS, HOURS, MINS, SECS,
inline constexpr uint8_t fnMSecsFromMSecs = 66; // MSECS FROMMSECS
inline constexpr uint8_t fnIf = 67;
inline constexpr uint8_t fnCoalesce = 68;
inline constexpr uint8_t fnIfNull = 69;
inline constexpr uint8_t fnAbs = 70;
inline constexpr uint8_t fnRound = 71;
inline constexpr uint8_t fnMod = opMod;
inline constexpr uint8_t fnAcos = 73;
inline constexpr uint8_t fnAsin = 74;
inline constexpr uint8_t fnAtan = 75;
inline constexpr uint8_t fnAtan2 = 76;
inline constexpr uint8_t fnCeiling = 77;
inline constexpr uint8_t fnCos = 78;
inline constexpr uint8_t fnCot = 79;
inline constexpr uint8_t fnDegrees = 80;
inline constexpr uint8_t fnExp = 81;
inline constexpr uint8_t fnFloor = 82;
inline constexpr uint8_t fnLog = 83;
inline constexpr uint8_t fnLog10 = 84;
inline constexpr uint8_t fnPi = 85;
inline constexpr uint8_t fnPower = 86;
inline constexpr uint8_t fnRadians = 87;
inline constexpr uint8_t fnRand = 88;
inline constexpr uint8_t fnSign = 89;
inline constexpr uint8_t fnSin = 90;
inline constexpr uint8_t fnSqrt = 91;
inline constexpr uint8_t fnTan = 92;
inline constexpr uint8_t fnTrunc = 93;
inline constexpr uint8_t fnTextSearch = 94;
inline constexpr uint8_t fnTextOccurs = 95;
inline constexpr uint8_t fnLastAutoInc = 96;
inline constexpr uint8_t fnIdentCurrent = 97;
inline constexpr uint8_t fnCurrentDate = 99;
inline constexpr uint8_t fnCurrentTime = 100;
inline constexpr uint8_t fnCurrentTimestamp = 101;
inline constexpr uint8_t fnCurrentGuid = 102;
inline constexpr uint8_t fnNullIf = 105;
inline constexpr uint8_t fnCase = 106;
inline constexpr uint8_t fnCaseConditions = 107; // first argument of a CASE node
inline constexpr uint8_t fnCaseResults = 108; // second argument of a CASE node

// Engine field type codes and the sub types that change a type's meaning.
// The codes live in a namespace of their own: the dataset's field types (TFieldType) use the
// same names for the toolkit's types, and a component sees both.
namespace engine_types {
inline constexpr uint8_t ftString = 1;
inline constexpr uint8_t ftDate = 2;
inline constexpr uint8_t ftBlob = 3;
inline constexpr uint8_t ftBoolean = 4;
inline constexpr uint8_t ftSmallInt = 5;
inline constexpr uint8_t ftInteger = 6;
inline constexpr uint8_t ftFloat = 7;
inline constexpr uint8_t ftBcd = 8;
inline constexpr uint8_t ftBytes = 9;
inline constexpr uint8_t ftTime = 10;
inline constexpr uint8_t ftTimestamp = 11;
inline constexpr uint8_t ftWord = 12;
inline constexpr uint8_t ftVarBytes = 15;
inline constexpr uint8_t ftLargeInt = 18;
} // namespace engine_types

inline constexpr uint8_t stNone = 0;
inline constexpr uint8_t stMoney = 21;
inline constexpr uint8_t stMemo = 22;
inline constexpr uint8_t stGraphic = 26;
inline constexpr uint8_t stAutoInc = 29;
inline constexpr uint8_t stFixedChar = 31;
inline constexpr uint8_t stWideChar = 32;
inline constexpr uint8_t stGuid = 50;

// Size of the packed-decimal value of a BCD node or field.
inline constexpr uint32_t kBcdValueSize = 34;
// Size of a BLOB field in the record (the reference to its chain in the BLOB file), which is
// also the declared size of a computed BLOB node; BLOB values themselves vary in length.
inline constexpr uint32_t kBlobReferenceSize = 8;

// Size of a value of `type` in the record encoding: 2 for booleans and 16-bit integers, 4 for
// dates, times and 32-bit integers, 8 for floats, timestamps and 64-bit integers,
// kBcdValueSize for BCD; 0 for strings, bytes and BLOBs, whose values vary in length.
uint32_t FixedValueSize(uint8_t type);

// The types whose values are whole numbers (booleans, integers, dates as day numbers, times as
// milliseconds) with the range their encoding holds; false for every other type.
bool IntegerValueRange(uint8_t type, int64_t& low, int64_t& high);

// Strings and BLOBs: their values are read and compared as zero-terminated text.
inline bool IsTextType(uint8_t type) {
    return type == engine_types::ftString || type == engine_types::ftBlob;
}

// One node of an expression tree. Value holds the node's constant or last computed value in
// the record encoding of its DataType: strings and memos as zero-terminated Windows-1254 text
// (the text ends at the first zero or at the end of the buffer), dates as a 32-bit day number,
// times as 32-bit milliseconds, timestamps as a double of milliseconds, booleans as 16 bits,
// integers and floats little-endian, BCD as the 34-byte packed decimal, bytes and BLOBs raw
// (their length is the buffer's).
struct TExpToken {
    std::string Text; // the node's source text: operator, constant token, column as written
    uint8_t Kind = 0;
    uint8_t Op = 0;
    std::string ColumnName; // column node: the name, blanks trimmed at both ends
    const void* Owner = nullptr; // the cursor the node belongs to (set by binding)
    std::vector<uint8_t> Value;
    bool IsNull = false;
    // Set by binding on string comparisons: the number of leading characters compared
    // (0 = the whole value) and whether letter case is ignored. The case-insensitive mark is
    // also set on comparisons, LIKE, IN and BETWEEN of UPPER or LOWER of a single column.
    uint32_t PartialLength = 0;
    bool CaseInsensitive = false;
    uint8_t DataType = 0; // 0 for an untyped NULL constant
    uint8_t SubType = 0;
    uint32_t ValueSize = 0;
    uint8_t Scale = 0;
    // Column node: the field number filled by the column lookup of the cursor.
    int32_t FieldNo = 0;
    int32_t Line = 0; // position of the node in the text, for messages
    int32_t Column = 0;
    TExpToken* Parent = nullptr;
    std::unique_ptr<TExpToken> Left;
    std::unique_ptr<TExpToken> Right;
    std::vector<std::unique_ptr<TExpToken>> Args;
    // Height of the subtree below and including this node; the parser bounds it so that every
    // recursive walk over a tree stays within a small stack.
    uint32_t Height = 1;

    TExpToken() = default;
    TExpToken(const TExpToken&) = delete;
    TExpToken& operator=(const TExpToken&) = delete;
    // Frees the subtree without recursing as deep as the tree is high.
    ~TExpToken();

    bool IsConstant() const { return Kind == nkConstant; }
    // An untyped NULL constant (the NULL keyword, the right operand of IS [NOT] NULL).
    bool IsNullConstant() const { return Kind == nkConstant && IsNull && DataType == 0; }
    // The text of a string or memo value: the bytes up to the first zero; empty when NULL.
    std::string_view TextValue() const;
};

using TExpTokenPtr = std::unique_ptr<TExpToken>;

// Makes an independent deep copy of a subtree (values, types and marks included); the copy's
// Parent is null and every node below points to its new parent.
TExpTokenPtr CloneTree(const TExpToken& node);

// Copies one node's fields (not its operands, arguments or parent).
TExpTokenPtr CopyNode(const TExpToken& node);

// Sets the Parent of every direct child of `node` to `node`, and recomputes its Height.
void AdoptChildren(TExpToken& node);

// Constant nodes with their values in the record encoding.
TExpTokenPtr MakeNullConstant();
TExpTokenPtr MakeBooleanConstant(bool value);
TExpTokenPtr MakeStringConstant(std::string_view text); // an empty text gives a NULL string
TExpTokenPtr MakeIntegerConstant(int32_t value);
TExpTokenPtr MakeLargeIntConstant(int64_t value);
TExpTokenPtr MakeFloatConstant(double value);

// True when a column node lies in the subtree.
bool ReferencesColumn(const TExpToken& node);

} // namespace zolvek
