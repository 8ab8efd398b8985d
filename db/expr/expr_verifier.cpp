#include "db/expr/expr_verifier.h"

#include "db/base/bytes.h"
#include "db/base/value_text.h"
#include "db/expr/expr_parser.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zolvek {

using namespace engine_types;

namespace {

// Type classes, one bit each, in the order their names appear in messages.
constexpr uint32_t kcFixedChar = 1u << 0;
constexpr uint32_t kcGuid = 1u << 1;
constexpr uint32_t kcString = 1u << 2;
constexpr uint32_t kcBytes = 1u << 3;
constexpr uint32_t kcVarBytes = 1u << 4;
constexpr uint32_t kcBoolean = 1u << 5;
constexpr uint32_t kcSmallInt = 1u << 6;
constexpr uint32_t kcWord = 1u << 7;
constexpr uint32_t kcAutoInc = 1u << 8;
constexpr uint32_t kcInteger = 1u << 9;
constexpr uint32_t kcLargeInt = 1u << 10;
constexpr uint32_t kcCurrency = 1u << 11;
constexpr uint32_t kcFloat = 1u << 12;
constexpr uint32_t kcBcd = 1u << 13;
constexpr uint32_t kcDate = 1u << 14;
constexpr uint32_t kcTime = 1u << 15;
constexpr uint32_t kcTimestamp = 1u << 16;
constexpr uint32_t kcMemo = 1u << 17;
constexpr uint32_t kcGraphic = 1u << 18;
constexpr uint32_t kcBlob = 1u << 19;

constexpr const char* kClassNames[] = { "FixedChar", "GUID", "String", "Bytes", "VarBytes",
    "Boolean", "SmallInt", "Word", "AutoInc", "Integer", "LargeInt", "Currency", "Float", "BCD",
    "Date", "Time", "Timestamp", "Memo", "Graphic", "BLOB" };

constexpr uint32_t kText = kcFixedChar | kcGuid | kcString;
constexpr uint32_t kTextOrMemo = kText | kcMemo;
constexpr uint32_t kIntegers = kcSmallInt | kcWord | kcAutoInc | kcInteger | kcLargeInt;
constexpr uint32_t kNumbers = kIntegers | kcCurrency | kcFloat | kcBcd;
constexpr uint32_t kDateTimes = kcDate | kcTime | kcTimestamp;
constexpr uint32_t kAll = (1u << 20) - 1;

bool IsNullConst(const TExpToken& node) {
    return node.Kind == nkConstant && node.IsNull;
}

uint32_t ClassOf(const TExpToken& node) {
    return TypeClassOf(node.DataType, node.SubType);
}

bool IsComparison(uint8_t op) {
    return op >= opEqual && op <= opLessOrEqual;
}

uint32_t EqualRightSet(uint32_t left) {
    if (left & kTextOrMemo)
        return kTextOrMemo | kcBlob;
    if (left & (kcDate | kcTimestamp))
        return kcDate | kcTimestamp;
    if (left & kcBoolean)
        return kcBoolean | kIntegers;
    if (left & kIntegers)
        return kcBoolean | kNumbers;
    if (left & (kcCurrency | kcFloat | kcBcd))
        return kNumbers;
    if (left & (kcBytes | kcVarBytes))
        return kcBytes | kcVarBytes;
    if (left & kcTime)
        return kcTime;
    return 0; // BLOBs other than memos compare with nothing but NULL
}

uint32_t LeftSet(uint8_t op) {
    switch (op) {
    case opEqual:
    case opNotEqual:
        return kAll;
    case opGreater:
    case opLess:
    case opGreaterOrEqual:
    case opLessOrEqual:
        return kAll & ~kcBoolean & ~kcGraphic;
    case opAnd:
    case opOr:
        return kcBoolean;
    case opAdd:
        return kTextOrMemo | kcDate | kNumbers | kcTime | kcTimestamp;
    case opSubtract:
        return kcDate | kNumbers | kcTime | kcTimestamp;
    case opMultiply:
    case opDivide:
        return kNumbers;
    case opMod:
        return kIntegers;
    default:
        return 0;
    }
}

uint32_t RightSet(uint8_t op, uint32_t left) {
    switch (op) {
    case opEqual:
    case opNotEqual:
        return EqualRightSet(left);
    case opGreater:
    case opLess:
    case opGreaterOrEqual:
    case opLessOrEqual:
        if (left & kIntegers)
            return kNumbers;
        return EqualRightSet(left) & ~kcBoolean & ~kcGraphic;
    case opAdd:
        if (left & kTextOrMemo)
            return kTextOrMemo;
        if (left & kDateTimes)
            return kIntegers;
        if (left & kIntegers)
            return kNumbers | kDateTimes;
        return kNumbers;
    case opSubtract:
        if (left & kcDate)
            return kcDate | kIntegers;
        if (left & kcTime)
            return kcTime | kIntegers;
        if (left & kcTimestamp)
            return kDateTimes | kIntegers;
        return kNumbers;
    default: // AND, OR, *, / and MOD take the same types on both sides
        return LeftSet(op);
    }
}

struct TypeInfo {
    uint8_t type = 0;
    uint8_t sub_type = 0;
    uint32_t size = 0;
    uint8_t scale = 0;
};

TypeInfo TypeOf(const TExpToken& node) {
    return { node.DataType, node.SubType, node.ValueSize, node.Scale };
}

void SetType(TExpToken& node, const TypeInfo& type) {
    node.DataType = type.type;
    node.SubType = type.sub_type;
    node.ValueSize = type.size;
    node.Scale = type.scale;
}

// A type with its declared size: the value size of fixed-size types, the record's reference
// for a BLOB, 0 for strings and bytes, whose size the node sets.
TypeInfo Simple(uint8_t type, uint8_t sub_type = 0) {
    return { type, sub_type, type == ftBlob ? kBlobReferenceSize : FixedValueSize(type), 0 };
}

// MOD: a 64-bit integer when either operand is one, else a 32-bit integer.
TypeInfo ModResult(uint8_t a, uint8_t b) {
    return Simple(a == ftLargeInt || b == ftLargeInt ? ftLargeInt : ftInteger);
}

// A money operand makes a float result money.
TypeInfo WithMoney(TypeInfo result, const TypeInfo& a, const TypeInfo& b) {
    if (result.type == ftFloat && (a.sub_type == stMoney || b.sub_type == stMoney))
        result.sub_type = stMoney;
    return result;
}

uint32_t SaturatedTextSize(uint64_t size) {
    return uint32_t(std::min<uint64_t>(size, uint64_t(kMaxComputedText) + 1));
}

// The numeric result of +, -, * for two numbers (and the widest of two numbers).
TypeInfo NumericResult(const TypeInfo& a, const TypeInfo& b) {
    auto rank = [](uint8_t type) {
        switch (type) {
        case ftLargeInt:
            return 2;
        case ftBcd:
            return 3;
        case ftFloat:
            return 4;
        default:
            return 1; // 16-bit, unsigned 16-bit and 32-bit integers
        }
    };
    int r = std::max(rank(a.type), rank(b.type));
    TypeInfo result;
    switch (r) {
    case 1:
        result = Simple(ftInteger);
        break;
    case 2:
        result = Simple(ftLargeInt);
        break;
    case 3:
        result = Simple(ftBcd);
        result.scale = std::max(
            a.type == ftBcd ? a.scale : uint8_t(0), b.type == ftBcd ? b.scale : uint8_t(0));
        break;
    default:
        result = Simple(ftFloat);
        break;
    }
    return WithMoney(result, a, b);
}

TypeInfo TextResult(const TypeInfo& a, const TypeInfo& b, uint64_t size) {
    if (a.type == ftBlob || b.type == ftBlob)
        return { ftBlob, stMemo, SaturatedTextSize(size), 0 };
    return { ftString, 0, SaturatedTextSize(size), 0 };
}

// The result type of +, -, *, / and MOD for operands that passed their checks.
TypeInfo ArithmeticResult(uint8_t op, const TExpToken& left, const TExpToken& right) {
    bool left_null = IsNullConst(left);
    bool right_null = IsNullConst(right);
    if (left_null && right_null)
        return {};
    TypeInfo a = TypeOf(left);
    TypeInfo b = TypeOf(right);
    uint32_t ca = ClassOf(left);
    uint32_t cb = ClassOf(right);
    if (left_null || right_null) {
        // The NULL side takes the other side's type; the result is that type (a text stays a
        // text, with the NULL read as empty).
        const TypeInfo& known = left_null ? b : a;
        uint32_t known_class = left_null ? cb : ca;
        if (op == opDivide && (known_class & kIntegers))
            return Simple(ftFloat);
        if (op == opMod)
            return ModResult(known.type, known.type);
        if (known_class & kNumbers)
            return NumericResult(known, known);
        return known;
    }
    switch (op) {
    case opAdd:
        if ((ca & kTextOrMemo) && (cb & kTextOrMemo))
            return TextResult(a, b, uint64_t(a.size) + b.size - 1);
        if (ca & kDateTimes)
            return Simple(a.type);
        if (cb & kDateTimes)
            return Simple(b.type);
        return NumericResult(a, b);
    case opSubtract:
        if (ca & cb & (kcDate | kcTime)) // days between dates, milliseconds between times
            return Simple(ftInteger);
        if ((ca & kcTimestamp) && (cb & kDateTimes))
            return Simple(ftFloat);
        if (ca & kDateTimes)
            return Simple(a.type);
        return NumericResult(a, b);
    case opMultiply:
        return NumericResult(a, b);
    case opDivide: {
        // BCD stays BCD unless a float takes part; integers divide into a float.
        bool decimal
            = (a.type == ftBcd || b.type == ftBcd) && a.type != ftFloat && b.type != ftFloat;
        return decimal ? NumericResult(a, b) : WithMoney(Simple(ftFloat), a, b);
    }
    case opMod:
        return ModResult(a.type, b.type);
    default:
        return {};
    }
}

bool ConstantInteger(const TExpToken& node, int64_t& value) {
    if (node.Kind != nkConstant || node.IsNull || node.Value.size() < FixedValueSize(node.DataType))
        return false;
    switch (node.DataType) {
    case ftSmallInt:
        value = LoadI16(node.Value.data());
        return true;
    case ftWord:
        value = LoadU16(node.Value.data());
        return true;
    case ftInteger:
        value = LoadI32(node.Value.data());
        return true;
    case ftLargeInt:
        value = LoadI64(node.Value.data());
        return true;
    default:
        return false;
    }
}

} // namespace

uint32_t TypeClassOf(uint8_t data_type, uint8_t sub_type) {
    switch (data_type) {
    case ftString:
        return sub_type == stFixedChar ? kcFixedChar
            : sub_type == stGuid       ? kcGuid
            : sub_type == 0            ? kcString
                                       : 0;
    case ftBlob:
        return sub_type == stMemo   ? kcMemo
            : sub_type == stGraphic ? kcGraphic
            : sub_type == 0         ? kcBlob
                                    : 0;
    case ftInteger:
        return sub_type == stAutoInc ? kcAutoInc : sub_type == 0 ? kcInteger : 0;
    case ftFloat:
        return sub_type == stMoney ? kcCurrency : sub_type == 0 ? kcFloat : 0;
    default:
        break;
    }
    if (sub_type != 0)
        return 0;
    switch (data_type) {
    case ftDate:
        return kcDate;
    case ftBoolean:
        return kcBoolean;
    case ftSmallInt:
        return kcSmallInt;
    case ftBcd:
        return kcBcd;
    case ftBytes:
        return kcBytes;
    case ftTime:
        return kcTime;
    case ftTimestamp:
        return kcTimestamp;
    case ftWord:
        return kcWord;
    case ftVarBytes:
        return kcVarBytes;
    case ftLargeInt:
        return kcLargeInt;
    default:
        return 0;
    }
}

std::string AcceptedTypesText(uint32_t mask) {
    std::vector<const char*> names;
    for (size_t i = 0; i < std::size(kClassNames); ++i) {
        if (mask & (1u << i))
            names.push_back(kClassNames[i]);
    }
    std::string text = "NULL";
    for (size_t i = 0; i < names.size(); ++i) {
        text += ", ";
        if (names.size() >= 2 && i + 1 == names.size())
            text += "or ";
        text += names[i];
    }
    return text;
}

void TExpressionVerifier::SetErrorContext(EngineCode error_code, std::string_view database_name,
    std::string_view table_name, std::string_view context_name) {
    errors_.Set(error_code, database_name, table_name, context_name);
}

void TExpressionVerifier::Raise(const std::string& message, const TExpToken& node) {
    errors_.Raise(message, node.Line, node.Column);
}

void TExpressionVerifier::ErrorExpected(std::string_view what, const TExpToken& node) {
    errors_.RaiseExpected(what, node.Text, node.Line, node.Column);
}

void TExpressionVerifier::ErrorInvalid(const TExpToken& node) {
    errors_.RaiseInvalid(node.Text, node.Line, node.Column);
}

void TExpressionVerifier::Require(const TExpToken& node, uint32_t accepted) {
    if (IsNullConst(node) && null_constants_allowed_)
        return;
    if (ClassOf(node) & accepted)
        return;
    ErrorExpected(AcceptedTypesText(accepted) + " expression", node);
}

void TExpressionVerifier::Verify(
    TExpTokenPtr& tree, bool null_constants_allowed, bool boolean_wrapping) {
    null_constants_allowed_ = null_constants_allowed;
    boolean_wrapping_ = boolean_wrapping;
    VerifyNode(tree, nullptr, true);
}

void TExpressionVerifier::WrapBoolean(TExpTokenPtr& slot) {
    TExpToken& node = *slot;
    bool wrappable_kind = node.Kind == nkColumn || node.Kind == nkConstant
        || (node.Kind == nkFunction
            && (node.Op == fnCast || node.Op == fnCoalesce || node.Op == fnCase));
    bool wrappable_type = node.DataType == ftBoolean || node.DataType == ftSmallInt
        || node.DataType == ftInteger || node.DataType == ftWord || node.DataType == ftLargeInt;
    if (!wrappable_kind || !wrappable_type)
        return;
    TExpToken* parent = node.Parent;
    auto comparison = std::make_unique<TExpToken>();
    comparison->Kind = nkBinary;
    comparison->Op = opEqual;
    comparison->Text.assign(1, '=');
    comparison->Owner = node.Owner;
    comparison->Line = node.Line;
    comparison->Column = node.Column;
    TExpTokenPtr truth = MakeBooleanConstant(true);
    truth->Owner = node.Owner;
    truth->Line = node.Line;
    truth->Column = node.Column;
    comparison->Left = std::move(slot);
    comparison->Right = std::move(truth);
    SetType(*comparison, Simple(ftBoolean));
    AdoptChildren(*comparison);
    comparison->Parent = parent;
    slot = std::move(comparison);
}

void TExpressionVerifier::VerifyNode(TExpTokenPtr& slot, TExpToken* parent, bool wrap) {
    TExpToken& node = *slot;
    node.Parent = parent;
    switch (node.Kind) {
    case nkColumn:
        // A '*' column exists only in the SQL engine's syntax; here it is looked up as a name.
        if (!(lookup_ && lookup_(node)))
            ErrorExpected("column name", node);
        break;
    case nkConstant:
        if (node.IsNullConstant() && !null_constants_allowed_)
            ErrorInvalid(node);
        break;
    case nkUnary:
        VerifyNode(node.Left, &node, node.Op == opNot);
        VerifyUnary(node);
        break;
    case nkBinary:
    case nkStringCompare: {
        bool logical = node.Op == opAnd || node.Op == opOr;
        VerifyNode(node.Left, &node, logical);
        VerifyNode(node.Right, &node, logical);
        VerifyBinary(node);
        break;
    }
    case nkExtended:
        for (auto& arg : node.Args)
            VerifyNode(arg, &node, false);
        VerifyExtended(node);
        break;
    case nkFunction:
        VerifyFunction(node);
        break;
    default:
        ErrorInvalid(node);
    }
    if (wrap && boolean_wrapping_)
        WrapBoolean(slot);
}

void TExpressionVerifier::VerifyUnary(TExpToken& node) {
    TExpToken& operand = *node.Left;
    if (node.Op == opNot) {
        Require(operand, kcBoolean);
        SetType(node, Simple(ftBoolean));
        return;
    }
    Require(operand, kNumbers);
    SetType(node, TypeOf(operand));
}

void TExpressionVerifier::ConvertDateText(TExpToken& constant, const TExpToken& other) {
    if (constant.Kind != nkConstant || constant.DataType != ftString)
        return;
    if (other.DataType != ftDate && other.DataType != ftTime && other.DataType != ftTimestamp)
        return;
    if (other.SubType != 0)
        return;
    std::string text(constant.TextValue());
    TypeInfo type = Simple(other.DataType);
    std::vector<uint8_t> value(type.size, 0);
    if (!constant.IsNull) {
        try {
            if (other.DataType == ftDate)
                StoreI32(value.data(), TextToDate(text));
            else if (other.DataType == ftTime)
                StoreI32(value.data(), TextToTime(text));
            else
                StoreDouble(value.data(), TextToDateTime(text));
        } catch (const EConvertError&) {
            ErrorExpected(
                AcceptedTypesText(EqualRightSet(ClassOf(other))) + " expression", constant);
        }
    }
    constant.Value = std::move(value);
    SetType(constant, type);
}

void TExpressionVerifier::CheckComparable(TExpToken& tested, TExpToken& other, uint8_t op) {
    ConvertDateText(other, tested);
    ConvertDateText(tested, other);
    Require(tested, LeftSet(op));
    if (IsNullConst(tested)) {
        Require(other, LeftSet(op));
        return;
    }
    Require(other, RightSet(op, ClassOf(tested)));
}

void TExpressionVerifier::VerifyBinary(TExpToken& node) {
    CheckComparable(*node.Left, *node.Right, node.Op);
    if (IsComparison(node.Op) || node.Op == opAnd || node.Op == opOr)
        SetType(node, Simple(ftBoolean));
    else
        SetType(node, ArithmeticResult(node.Op, *node.Left, *node.Right));
}

void TExpressionVerifier::VerifyExtended(TExpToken& node) {
    TExpToken& tested = *node.Args[0];
    if (node.Op == opLike || node.Op == opNotLike) {
        Require(tested, kTextOrMemo);
        for (size_t i = 1; i < node.Args.size(); ++i)
            Require(*node.Args[i], kText);
    } else {
        for (size_t i = 1; i < node.Args.size(); ++i)
            CheckComparable(tested, *node.Args[i], opEqual);
    }
    SetType(node, Simple(ftBoolean));
}

void TExpressionVerifier::WidenInto(TExpToken& result, const TExpToken& argument, bool& typed) {
    if (IsNullConst(argument))
        return;
    TypeInfo b = TypeOf(argument);
    uint32_t cb = ClassOf(argument);
    if (!typed) {
        if (cb == 0)
            Require(argument, kAll);
        SetType(result, b);
        typed = true;
        return;
    }
    TypeInfo a = TypeOf(result);
    uint32_t ca = ClassOf(result);
    if (ca & kTextOrMemo) {
        Require(argument, kTextOrMemo);
        if ((ca & kcMemo) || (cb & kcMemo))
            SetType(result, { ftBlob, stMemo, std::max(a.size, b.size), 0 });
        else
            SetType(result,
                { ftString, a.sub_type == b.sub_type ? a.sub_type : uint8_t(0),
                    std::max(a.size, b.size), 0 });
    } else if (ca & kNumbers) {
        Require(argument, kNumbers);
        SetType(result, NumericResult(a, b));
    } else if (ca & kcBoolean) {
        Require(argument, kcBoolean);
    } else if (ca & (kcDate | kcTimestamp)) {
        Require(argument, kcDate | kcTimestamp);
        if (a.type != b.type)
            SetType(result, Simple(ftTimestamp));
    } else if (ca & kcTime) {
        Require(argument, kcTime);
    } else if (ca & (kcBytes | kcVarBytes)) {
        Require(argument, kcBytes | kcVarBytes);
        SetType(result, { a.type == b.type ? a.type : ftVarBytes, 0, std::max(a.size, b.size), 0 });
    } else {
        Require(argument, kcBlob | kcGraphic);
        if (a.sub_type != b.sub_type)
            SetType(result, Simple(ftBlob));
    }
}

void TExpressionVerifier::VerifyCast(TExpToken& node) {
    VerifyNode(node.Args[0], &node, false);
    uint8_t type = node.DataType;
    uint8_t sub_type = node.SubType;
    TypeInfo result = Simple(type, sub_type);
    bool lengthed = type == ftString || type == ftBytes || type == ftVarBytes;
    if (lengthed && node.Args.size() >= 2) {
        int64_t length = 0;
        TExpToken& argument = *node.Args[1];
        argument.Parent = &node;
        bool ok = ConstantInteger(argument, length) && length > 0
            && (sub_type == stWideChar ? 2 * length : length) <= kMaxCastLength;
        if (!ok)
            Raise("Length argument must be greater than 0 and less than or equal to "
                    + std::to_string(kMaxCastLength),
                argument);
        if (type == ftString)
            result.size = uint32_t(sub_type == stWideChar ? 2 * length + 1 : length + 1);
        else
            result.size = uint32_t(length);
    } else if (type == ftString && sub_type == stGuid) {
        result.size = 39;
    }
    if (type == ftBcd && node.Args.size() >= 3) {
        int64_t scale = 0;
        TExpToken& argument = *node.Args[2];
        node.Args[1]->Parent = &node;
        argument.Parent = &node;
        if (!ConstantInteger(argument, scale) || scale < 0 || scale > 4)
            Raise("Scale argument must be an integer less than or equal to 4 but greater than or "
                  "equal to 0",
                argument);
        result.scale = uint8_t(scale);
    }
    for (size_t i = 1; i < node.Args.size(); ++i) {
        int64_t ignored = 0;
        if (!ConstantInteger(*node.Args[i], ignored))
            ErrorExpected(AcceptedTypesText(kIntegers) + " expression", *node.Args[i]);
        node.Args[i]->Parent = &node;
    }
    SetType(node, result);
}

// ---- Functions: one verifier per function, chosen by VerifyFunction from its table ----

void TExpressionVerifier::VerifyArguments(TExpToken& node) {
    for (auto& arg : node.Args)
        VerifyNode(arg, &node, false);
}

// Text functions.

void TExpressionVerifier::VerifyUpperOrLower(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kTextOrMemo);
    SetType(node, TypeOf(*node.Args[0]));
}

void TExpressionVerifier::VerifySubstring(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kTextOrMemo);
    for (size_t i = 1; i < node.Args.size(); ++i)
        Require(*node.Args[i], kIntegers);
    SetType(node, TypeOf(*node.Args[0]));
}

void TExpressionVerifier::VerifyReplace(TExpToken& node) {
    VerifyArguments(node);
    for (size_t i = 0; i < 3; ++i)
        Require(*node.Args[i], kTextOrMemo);
    const TExpToken& from = *node.Args[0];
    const TExpToken& with = *node.Args[1];
    const TExpToken& source = *node.Args[2];
    uint64_t source_length = std::max<uint32_t>(source.ValueSize, 1) - 1;
    uint64_t with_length = std::max<uint32_t>(with.ValueSize, 1) - 1;
    TypeInfo result = TextResult(TypeOf(from), TypeOf(source), 0);
    if (with.DataType == ftBlob)
        result.type = ftBlob, result.sub_type = stMemo;
    result.size = SaturatedTextSize(source_length * std::max<uint64_t>(with_length, 1) + 1);
    SetType(node, result);
}

void TExpressionVerifier::VerifyPosOrOccurs(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kTextOrMemo);
    Require(*node.Args[1], kTextOrMemo);
    SetType(node, Simple(ftInteger));
}

void TExpressionVerifier::VerifyTrim(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kTextOrMemo);
    Require(*node.Args[1], kTextOrMemo);
    SetType(node, TypeOf(*node.Args[1]));
}

void TExpressionVerifier::VerifyLength(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kTextOrMemo);
    SetType(node, Simple(ftInteger));
}

void TExpressionVerifier::VerifyLeftOrRight(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kTextOrMemo);
    Require(*node.Args[1], kIntegers);
    SetType(node, TypeOf(*node.Args[0]));
}

void TExpressionVerifier::VerifyRepeat(TExpToken& node) {
    VerifyArguments(node);
    const TExpToken& text = *node.Args[0];
    const TExpToken& times = *node.Args[1];
    Require(text, kTextOrMemo);
    Require(times, kIntegers);
    TypeInfo result = TextResult(TypeOf(text), TypeOf(text), kMaxComputedText + 1);
    int64_t count = 0;
    if (ConstantInteger(times, count)) {
        uint64_t length = std::max<uint32_t>(text.ValueSize, 1) - 1;
        uint64_t copies = uint64_t(std::clamp<int64_t>(count, 0, kMaxComputedText + 1));
        result.size = SaturatedTextSize(length * copies + 1);
    }
    SetType(node, result);
}

void TExpressionVerifier::VerifyConcat(TExpToken& node) {
    VerifyArguments(node);
    const TExpToken& a = *node.Args[0];
    const TExpToken& b = *node.Args[1];
    Require(a, kTextOrMemo);
    Require(b, kTextOrMemo);
    SetType(node, TextResult(TypeOf(a), TypeOf(b), uint64_t(a.ValueSize) + b.ValueSize - 1));
}

// Choice.

// IF(c THEN a ELSE b) and IFNULL(x THEN a ELSE b): the wider of a and b.
void TExpressionVerifier::VerifyIfOrIfNull(TExpToken& node) {
    VerifyArguments(node);
    if (node.Op == fnIf)
        Require(*node.Args[0], kcBoolean);
    bool typed = false;
    WidenInto(node, *node.Args[1], typed);
    WidenInto(node, *node.Args[2], typed);
    if (!typed)
        SetType(node, TypeInfo {});
}

void TExpressionVerifier::VerifyCoalesce(TExpToken& node) {
    VerifyArguments(node);
    bool typed = false;
    for (auto& a : node.Args)
        WidenInto(node, *a, typed);
    if (!typed)
        Raise("At least one of the COALESCE expression arguments must be a non-NULL value", node);
}

void TExpressionVerifier::VerifyNullIf(TExpToken& node) {
    VerifyArguments(node);
    CheckComparable(*node.Args[0], *node.Args[1], opEqual);
    SetType(node, TypeOf(*node.Args[0]));
}

// CASE: its two arguments are the list of conditions and the list of results.
void TExpressionVerifier::VerifyCase(TExpToken& node) {
    TExpToken& conditions = *node.Args[0];
    TExpToken& results = *node.Args[1];
    conditions.Parent = &node;
    results.Parent = &node;
    for (auto& condition : conditions.Args) {
        VerifyNode(condition, &conditions, false);
        Require(*condition, kcBoolean);
    }
    bool typed = false;
    for (auto& result : results.Args) {
        VerifyNode(result, &results, false);
        WidenInto(node, *result, typed);
    }
    if (!typed)
        Raise("At least one of the CASE..THEN expression arguments must be a non-NULL value", node);
    SetType(conditions, TypeInfo {});
    SetType(results, TypeOf(node));
}

// Dates and times.

void TExpressionVerifier::VerifyExtract(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kDateTimes);
    SetType(node, Simple(ftInteger));
}

void TExpressionVerifier::VerifyCurrentDate(TExpToken& node) {
    VerifyArguments(node);
    SetType(node, Simple(ftDate));
}

void TExpressionVerifier::VerifyCurrentTime(TExpToken& node) {
    VerifyArguments(node);
    SetType(node, Simple(ftTime));
}

void TExpressionVerifier::VerifyCurrentTimestamp(TExpToken& node) {
    VerifyArguments(node);
    SetType(node, Simple(ftTimestamp));
}

// Numeric functions.

void TExpressionVerifier::VerifyAbs(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kNumbers);
    SetType(node, TypeOf(*node.Args[0]));
}

void TExpressionVerifier::VerifyRoundOrTrunc(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kNumbers);
    if (node.Args.size() > 1)
        Require(*node.Args[1], kIntegers);
    SetType(node, TypeOf(*node.Args[0]));
}

void TExpressionVerifier::VerifyMod(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kIntegers);
    Require(*node.Args[1], kIntegers);
    SetType(node, ModResult(node.Args[0]->DataType, node.Args[1]->DataType));
}

void TExpressionVerifier::VerifyCeilingOrFloor(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kNumbers);
    SetType(node, Simple(ftLargeInt));
}

void TExpressionVerifier::VerifySign(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kNumbers);
    SetType(node, Simple(ftInteger));
}

// YEARSFROMMSECS ... MSECSFROMMSECS.
void TExpressionVerifier::VerifyMSecsPart(TExpToken& node) {
    VerifyArguments(node);
    Require(*node.Args[0], kNumbers);
    SetType(node, Simple(ftInteger));
}

// The mathematical functions, PI and RAND: numbers in, a float out.
void TExpressionVerifier::VerifyMathFunction(TExpToken& node) {
    VerifyArguments(node);
    for (auto& a : node.Args)
        Require(*a, kNumbers);
    SetType(node, Simple(ftFloat));
}

// Others.

// TEXTSEARCH and TEXTOCCURS need the full-text index of the SQL engine.
void TExpressionVerifier::VerifyTextSearch(TExpToken& node) {
    ErrorInvalid(node);
}

void TExpressionVerifier::VerifyLastAutoInc(TExpToken& node) {
    // The argument names a table of the SQL engine; outside it the value is always 0.
    node.Args.clear();
    SetType(node, Simple(ftInteger));
}

void TExpressionVerifier::VerifyCurrentGuid(TExpToken& node) {
    VerifyArguments(node);
    SetType(node, { ftString, stGuid, 39, 0 });
}

void TExpressionVerifier::VerifyFunction(TExpToken& node) {
    // The verifier of every function code, in the order of the codes; a code that names no
    // function takes the mathematical functions' verifier.
    static constexpr std::array<FunctionVerifier, 256> kVerifiers = [] {
        std::array<FunctionVerifier, 256> table {};
        table.fill(&TExpressionVerifier::VerifyMathFunction);
        table[fnUpper] = &TExpressionVerifier::VerifyUpperOrLower;
        table[fnLower] = &TExpressionVerifier::VerifyUpperOrLower;
        table[fnSubstring] = &TExpressionVerifier::VerifySubstring;
        table[fnReplace] = &TExpressionVerifier::VerifyReplace;
        table[fnPos] = &TExpressionVerifier::VerifyPosOrOccurs;
        table[fnOccurs] = &TExpressionVerifier::VerifyPosOrOccurs;
        table[fnTrimLeading] = &TExpressionVerifier::VerifyTrim;
        table[fnTrimTrailing] = &TExpressionVerifier::VerifyTrim;
        table[fnTrimBoth] = &TExpressionVerifier::VerifyTrim;
        table[fnLength] = &TExpressionVerifier::VerifyLength;
        table[fnLeft] = &TExpressionVerifier::VerifyLeftOrRight;
        table[fnRight] = &TExpressionVerifier::VerifyLeftOrRight;
        table[fnRepeat] = &TExpressionVerifier::VerifyRepeat;
        table[fnConcat] = &TExpressionVerifier::VerifyConcat;
        table[fnCast] = &TExpressionVerifier::VerifyCast;
        for (uint8_t code = fnExtractYear; code <= fnExtractMSecond; ++code)
            table[code] = &TExpressionVerifier::VerifyExtract;
        for (uint8_t code = fnYearsFromMSecs; code <= fnMSecsFromMSecs; ++code)
            table[code] = &TExpressionVerifier::VerifyMSecsPart;
        table[fnIf] = &TExpressionVerifier::VerifyIfOrIfNull;
        table[fnCoalesce] = &TExpressionVerifier::VerifyCoalesce;
        table[fnIfNull] = &TExpressionVerifier::VerifyIfOrIfNull;
        table[fnAbs] = &TExpressionVerifier::VerifyAbs;
        table[fnRound] = &TExpressionVerifier::VerifyRoundOrTrunc;
        table[fnMod] = &TExpressionVerifier::VerifyMod;
        table[fnAcos] = &TExpressionVerifier::VerifyMathFunction;
        table[fnAsin] = &TExpressionVerifier::VerifyMathFunction;
        table[fnAtan] = &TExpressionVerifier::VerifyMathFunction;
        table[fnAtan2] = &TExpressionVerifier::VerifyMathFunction;
        table[fnCeiling] = &TExpressionVerifier::VerifyCeilingOrFloor;
        table[fnCos] = &TExpressionVerifier::VerifyMathFunction;
        table[fnCot] = &TExpressionVerifier::VerifyMathFunction;
        table[fnDegrees] = &TExpressionVerifier::VerifyMathFunction;
        table[fnExp] = &TExpressionVerifier::VerifyMathFunction;
        table[fnFloor] = &TExpressionVerifier::VerifyCeilingOrFloor;
        table[fnLog] = &TExpressionVerifier::VerifyMathFunction;
        table[fnLog10] = &TExpressionVerifier::VerifyMathFunction;
        table[fnPi] = &TExpressionVerifier::VerifyMathFunction;
        table[fnPower] = &TExpressionVerifier::VerifyMathFunction;
        table[fnRadians] = &TExpressionVerifier::VerifyMathFunction;
        table[fnRand] = &TExpressionVerifier::VerifyMathFunction;
        table[fnSign] = &TExpressionVerifier::VerifySign;
        table[fnSin] = &TExpressionVerifier::VerifyMathFunction;
        table[fnSqrt] = &TExpressionVerifier::VerifyMathFunction;
        table[fnTan] = &TExpressionVerifier::VerifyMathFunction;
        table[fnTrunc] = &TExpressionVerifier::VerifyRoundOrTrunc;
        table[fnTextSearch] = &TExpressionVerifier::VerifyTextSearch;
        table[fnTextOccurs] = &TExpressionVerifier::VerifyTextSearch;
        table[fnLastAutoInc] = &TExpressionVerifier::VerifyLastAutoInc;
        table[fnIdentCurrent] = &TExpressionVerifier::VerifyLastAutoInc;
        table[fnCurrentDate] = &TExpressionVerifier::VerifyCurrentDate;
        table[fnCurrentTime] = &TExpressionVerifier::VerifyCurrentTime;
        table[fnCurrentTimestamp] = &TExpressionVerifier::VerifyCurrentTimestamp;
        table[fnCurrentGuid] = &TExpressionVerifier::VerifyCurrentGuid;
        table[fnNullIf] = &TExpressionVerifier::VerifyNullIf;
        table[fnCase] = &TExpressionVerifier::VerifyCase;
        return table;
    }();
    (this->*kVerifiers[node.Op])(node);
}

} // namespace zolvek
