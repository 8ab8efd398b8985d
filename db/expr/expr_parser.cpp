#include "db/expr/expr_parser.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zolvek {

using namespace engine_types;

namespace {

bool IsIdentifierStart(char c) {
    auto u = uint8_t(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || (u >= 128 && u <= 254);
}

bool IsIdentifierPart(char c) {
    return IsIdentifierStart(c) || (c >= '0' && c <= '9') || c == '!' || c == '$' || c == '@';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string AsciiUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = AsciiUpper(c);
    return result;
}

// Blanks and control characters at both ends go, as a column name is compared trimmed.
std::string TrimName(std::string_view name) {
    size_t begin = 0;
    size_t end = name.size();
    while (begin < end && uint8_t(name[begin]) <= 32)
        ++begin;
    while (end > begin && uint8_t(name[end - 1]) <= 32)
        --end;
    return std::string(name.substr(begin, std::min<size_t>(end - begin, kMaxErrorText)));
}

// How the arguments of a function are written.
enum class FunctionForm {
    kOne, // f(a)
    kOneOrTwo, // ROUND(a [TO n]), n a primary
    kSubstring, // SUBSTRING(a FROM s [FOR n])
    kReplace, // REPLACE(a WITH b IN c)
    kIn, // POS(a IN b), OCCURS(a IN b)
    kTrim, // TRIM(LEADING|TRAILING|BOTH x FROM a)
    kShortTrim, // LTRIM(a), with x a blank
    kFor, // LEFT(a FOR n)
    kWith, // CONCAT(a WITH b)
    kCast, // CAST(x AS type)
    kExtract, // EXTRACT(part FROM a)
    kIf, // IF(c THEN a ELSE b), IFNULL(x THEN a ELSE b)
    kList, // COALESCE(a, b, ...)
    kComma, // MOD(a, b), ATAN2(a, b), NULLIF(a, b)
    kTo, // POWER(a TO b)
    kOptionalEmpty, // PI [()], CURRENT_DATE [()]
    kRand, // RAND [( [[RANGE] a] )]
    kTextSearch, // TEXTSEARCH(a IN column)
    kPrimary, // LASTAUTOINC(x), x a primary
};

struct FunctionInfo {
    std::string_view name;
    uint8_t code;
    FunctionForm form;
    bool full_expressions; // arguments are full expressions rather than sums
};

constexpr FunctionInfo kFunctions[] = {
    { "UPPER", fnUpper, FunctionForm::kOne, false },
    { "UCASE", fnUpper, FunctionForm::kOne, false },
    { "LOWER", fnLower, FunctionForm::kOne, false },
    { "LCASE", fnLower, FunctionForm::kOne, false },
    { "SUBSTRING", fnSubstring, FunctionForm::kSubstring, false },
    { "REPLACE", fnReplace, FunctionForm::kReplace, false },
    { "POS", fnPos, FunctionForm::kIn, false },
    { "POSITION", fnPos, FunctionForm::kIn, false },
    { "OCCURS", fnOccurs, FunctionForm::kIn, false },
    { "TRIM", fnTrimBoth, FunctionForm::kTrim, false },
    { "LTRIM", fnTrimLeading, FunctionForm::kShortTrim, false },
    { "RTRIM", fnTrimTrailing, FunctionForm::kShortTrim, false },
    { "ALLTRIM", fnTrimBoth, FunctionForm::kShortTrim, false },
    { "LENGTH", fnLength, FunctionForm::kOne, false },
    { "LEFT", fnLeft, FunctionForm::kFor, false },
    { "RIGHT", fnRight, FunctionForm::kFor, false },
    { "REPEAT", fnRepeat, FunctionForm::kFor, false },
    { "CONCAT", fnConcat, FunctionForm::kWith, false },
    { "CAST", fnCast, FunctionForm::kCast, true },
    { "EXTRACT", fnExtractYear, FunctionForm::kExtract, false },
    { "YEARSFROMMSECS", 61, FunctionForm::kOne, false },
    { "DAYSFROMMSECS", 62, FunctionForm::kOne, false },
    { "HOURSFROMMSECS", 63, FunctionForm::kOne, false },
    { "MINSFROMMSECS", 64, FunctionForm::kOne, false },
    { "SECSFROMMSECS", 65, FunctionForm::kOne, false },
    { "MSECSFROMMSECS", 66, FunctionForm::kOne, false },
    { "IF", fnIf, FunctionForm::kIf, true },
    { "COALESCE", fnCoalesce, FunctionForm::kList, true },
    { "IFNULL", fnIfNull, FunctionForm::kIf, true },
    { "ABS", fnAbs, FunctionForm::kOne, false },
    { "ROUND", fnRound, FunctionForm::kOneOrTwo, false },
    { "TRUNC", fnTrunc, FunctionForm::kOneOrTwo, false },
    { "TRUNCATE", fnTrunc, FunctionForm::kOneOrTwo, false },
    { "MOD", fnMod, FunctionForm::kComma, false },
    { "ACOS", fnAcos, FunctionForm::kOne, false },
    { "ASIN", fnAsin, FunctionForm::kOne, false },
    { "ATAN", fnAtan, FunctionForm::kOne, false },
    { "COS", fnCos, FunctionForm::kOne, false },
    { "COT", fnCot, FunctionForm::kOne, false },
    { "DEGREES", fnDegrees, FunctionForm::kOne, false },
    { "EXP", fnExp, FunctionForm::kOne, false },
    { "LOG", fnLog, FunctionForm::kOne, false },
    { "LOG10", fnLog10, FunctionForm::kOne, false },
    { "RADIANS", fnRadians, FunctionForm::kOne, false },
    { "SIN", fnSin, FunctionForm::kOne, false },
    { "SQRT", fnSqrt, FunctionForm::kOne, false },
    { "TAN", fnTan, FunctionForm::kOne, false },
    { "ATAN2", fnAtan2, FunctionForm::kComma, false },
    { "POWER", fnPower, FunctionForm::kTo, false },
    { "CEILING", fnCeiling, FunctionForm::kOne, false },
    { "CEIL", fnCeiling, FunctionForm::kOne, false },
    { "FLOOR", fnFloor, FunctionForm::kOne, false },
    { "PI", fnPi, FunctionForm::kOptionalEmpty, false },
    { "RAND", fnRand, FunctionForm::kRand, false },
    { "SIGN", fnSign, FunctionForm::kOne, false },
    { "TEXTSEARCH", fnTextSearch, FunctionForm::kTextSearch, false },
    { "TEXTOCCURS", fnTextOccurs, FunctionForm::kTextSearch, false },
    { "LASTAUTOINC", fnLastAutoInc, FunctionForm::kPrimary, false },
    { "IDENT_CURRENT", fnIdentCurrent, FunctionForm::kPrimary, false },
    { "CURRENT_DATE", fnCurrentDate, FunctionForm::kOptionalEmpty, false },
    { "CURRENT_TIME", fnCurrentTime, FunctionForm::kOptionalEmpty, false },
    { "CURRENT_TIMESTAMP", fnCurrentTimestamp, FunctionForm::kOptionalEmpty, false },
    { "CURRENT_GUID", fnCurrentGuid, FunctionForm::kOptionalEmpty, false },
    { "NULLIF", fnNullIf, FunctionForm::kComma, true },
};

const FunctionInfo* FindFunction(std::string_view upper_name) {
    for (const FunctionInfo& info : kFunctions) {
        if (info.name == upper_name)
            return &info;
    }
    return nullptr;
}

// Aggregates belong to the SQL engine; in a filter they are invalid, and reserved as names.
bool IsAggregate(std::string_view upper_name) {
    for (std::string_view name : { "SUM", "RUNSUM", "AVG", "STDDEV", "MIN", "MAX", "COUNT" }) {
        if (name == upper_name)
            return true;
    }
    return false;
}

constexpr std::string_view kExtractParts[] = { "YEAR", "MONTH", "WEEK", "DAY", "DAYOFWEEK",
    "DAYOFYEAR", "HOUR", "MINUTE", "SECOND", "MSECOND" };

struct DataTypeName {
    std::string_view name;
    uint8_t type;
    uint8_t sub_type;
    enum { kNone, kLength, kPrecision } arguments;
};

constexpr DataTypeName kDataTypes[] = {
    { "SMALLINT", ftSmallInt, 0, DataTypeName::kNone },
    { "WORD", ftWord, 0, DataTypeName::kNone },
    { "INTEGER", ftInteger, 0, DataTypeName::kNone },
    { "INT", ftInteger, 0, DataTypeName::kNone },
    { "LARGEINT", ftLargeInt, 0, DataTypeName::kNone },
    { "AUTOINC", ftInteger, stAutoInc, DataTypeName::kNone },
    { "DECIMAL", ftBcd, 0, DataTypeName::kPrecision },
    { "NUMERIC", ftBcd, 0, DataTypeName::kPrecision },
    { "FLOAT", ftFloat, 0, DataTypeName::kPrecision },
    { "MONEY", ftFloat, stMoney, DataTypeName::kNone },
    { "CHARACTER", ftString, stFixedChar, DataTypeName::kLength },
    { "CHAR", ftString, stFixedChar, DataTypeName::kLength },
    { "VARCHAR", ftString, 0, DataTypeName::kLength },
    { "WIDECHAR", ftString, stWideChar, DataTypeName::kLength },
    { "GUID", ftString, stGuid, DataTypeName::kNone },
    { "BYTES", ftBytes, 0, DataTypeName::kLength },
    { "BINARY", ftBytes, 0, DataTypeName::kLength },
    { "VARBYTES", ftVarBytes, 0, DataTypeName::kLength },
    { "VARBINARY", ftVarBytes, 0, DataTypeName::kLength },
    { "DATE", ftDate, 0, DataTypeName::kNone },
    { "TIME", ftTime, 0, DataTypeName::kNone },
    { "TIMESTAMP", ftTimestamp, 0, DataTypeName::kNone },
    { "BOOLEAN", ftBoolean, 0, DataTypeName::kNone },
    { "BOOL", ftBoolean, 0, DataTypeName::kNone },
    { "BIT", ftBoolean, 0, DataTypeName::kNone },
    { "BLOB", ftBlob, 0, DataTypeName::kNone },
    { "LONGVARBINARY", ftBlob, 0, DataTypeName::kNone },
    { "LONGVARCHAR", ftBlob, stMemo, DataTypeName::kNone },
    { "MEMO", ftBlob, stMemo, DataTypeName::kNone },
    { "GRAPHIC", ftBlob, stGraphic, DataTypeName::kNone },
};

std::string QuotedText(std::string_view text) {
    if (text.size() <= kMaxQuotedTokenText)
        return std::string(text);
    return std::string(text.substr(0, kMaxQuotedTokenText - 3)) + "...";
}

} // namespace

void TExpressionErrorContext::Set(EngineCode error_code, std::string_view database_name,
    std::string_view table_name, std::string_view context_name) {
    code_ = error_code;
    database_name_ = std::string(database_name.substr(0, kMaxErrorText));
    table_name_ = std::string(table_name.substr(0, kMaxErrorText));
    context_name_ = std::string(context_name.substr(0, kMaxErrorText));
}

void TExpressionErrorContext::Raise(
    const std::string& message, int32_t line, int32_t column) const {
    ProcessEngineErrors().RaiseError(
        code_, "", "", database_name_, table_name_, "", "", message, "", "", line, column);
}

void TExpressionErrorContext::RaiseExpected(
    std::string_view what, std::string_view found, int32_t line, int32_t column) const {
    Raise("Expected " + std::string(what) + " but instead found " + QuotedText(found) + " in "
            + context_name_,
        line, column);
}

void TExpressionErrorContext::RaiseMissing(
    std::string_view what, int32_t line, int32_t column) const {
    Raise("Missing " + std::string(what) + " in " + context_name_, line, column);
}

void TExpressionErrorContext::RaiseInvalid(
    std::string_view found, int32_t line, int32_t column) const {
    Raise("Invalid expression " + QuotedText(found) + " found in " + context_name_, line, column);
}

void TExpressionParser::SetErrorContext(EngineCode error_code, std::string_view database_name,
    std::string_view table_name, std::string_view context_name) {
    errors_.Set(error_code, database_name, table_name, context_name);
}

void TExpressionParser::SetExpression(
    std::string_view text, int32_t first_line, int32_t first_column) {
    text_.assign(text);
    pos_ = 0;
    token_start_ = 0;
    token_end_ = 0;
    token_type_ = ltEnd;
    token_value_.clear();
    first_line_ = first_line;
    first_column_ = first_column;
    line_ = first_line;
    line_start_ = 0;
    token_line_ = first_line;
    token_line_start_ = 0;
    depth_ = 0;
    node_count_ = 0;
}

int32_t TExpressionParser::ColumnAt(size_t pos, size_t line_start) const {
    // Only the first line starts at offset 0; every later line starts after a line break.
    int64_t base = line_start == 0 ? first_column_ : 1;
    int64_t column = int64_t(pos - line_start) + base;
    return int32_t(std::min<int64_t>(column, std::numeric_limits<int32_t>::max()));
}

int32_t TExpressionParser::TokenColumn() const {
    return ColumnAt(token_start_, token_line_start_);
}

void TExpressionParser::NewLine(size_t next_line_start) {
    if (line_ < std::numeric_limits<int32_t>::max())
        ++line_;
    line_start_ = next_line_start;
}

std::string_view TExpressionParser::TokenText() const {
    if (token_start_ >= text_.size() || token_end_ <= token_start_)
        return {};
    return std::string_view(text_).substr(token_start_, token_end_ - token_start_);
}

bool TExpressionParser::IsKeyword(std::string_view word) const {
    if (token_type_ != ltIdentifier || token_value_.size() != word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (AsciiUpper(token_value_[i]) != AsciiUpper(word[i]))
            return false;
    }
    return true;
}

void TExpressionParser::ErrorExpected(std::string_view what) {
    if (token_type_ == ltEnd)
        errors_.RaiseMissing(what, token_line_, TokenColumn());
    errors_.RaiseExpected(what, TokenText(), token_line_, TokenColumn());
}

void TExpressionParser::ErrorMissing(char c) {
    std::string_view what(&c, 1);
    char first = At(token_start_);
    if (first == '\0' || first == '\r' || first == '\n')
        errors_.RaiseMissing(what, token_line_, TokenColumn());
    errors_.RaiseExpected(what, TokenText(), token_line_, TokenColumn());
}

void TExpressionParser::ErrorInvalid() {
    errors_.RaiseInvalid(TokenText(), token_line_, TokenColumn());
}

void TExpressionParser::ScanQuoted(char close, int type) {
    // The token starts at the opening character; an end of text or a line break before the
    // closing character is reported at the opening character.
    size_t open = token_start_;
    size_t pos = open + 1;
    token_value_.clear();
    for (;;) {
        char c = At(pos);
        if (c == '\0' || c == '\r' || c == '\n') {
            errors_.RaiseMissing(
                std::string_view(&close, 1), token_line_, ColumnAt(open, token_line_start_));
        }
        if (c == close) {
            // A doubled closing quote stands for one; brackets cannot be doubled.
            if (close != ']' && At(pos + 1) == close) {
                token_value_.push_back(c);
                pos += 2;
                continue;
            }
            ++pos;
            break;
        }
        if (type != ltString && (c == '\'' || c == '"') && At(pos + 1) == c) {
            token_value_.push_back(c);
            pos += 2;
            continue;
        }
        token_value_.push_back(c);
        ++pos;
    }
    pos_ = pos;
    token_end_ = pos;
    token_type_ = type;
}

int TExpressionParser::NextToken() {
    // Blanks, control characters, line breaks and comments before the token.
    for (;;) {
        char c = At(pos_);
        if (c == '\r') {
            ++pos_;
            if (At(pos_) == '\n')
                ++pos_;
            NewLine(pos_);
        } else if (c == '\n') {
            ++pos_;
            NewLine(pos_);
        } else if (c != '\0' && uint8_t(c) <= 32) {
            ++pos_;
        } else if (c == '-' && At(pos_ + 1) == '-') {
            pos_ += 2;
            while (At(pos_) != '\0' && At(pos_) != '\r' && At(pos_) != '\n')
                ++pos_;
        } else if (c == '/' && At(pos_ + 1) == '*') {
            int32_t open_line = line_;
            int32_t open_column = ColumnAt(pos_, line_start_);
            pos_ += 2;
            for (;;) {
                char d = At(pos_);
                if (d == '\0') {
                    token_start_ = pos_;
                    token_end_ = pos_;
                    token_type_ = ltEnd;
                    errors_.RaiseMissing("/", open_line, open_column);
                }
                if (d == '*' && At(pos_ + 1) == '/') {
                    pos_ += 2;
                    break;
                }
                if (d == '\r') {
                    ++pos_;
                    if (At(pos_) == '\n')
                        ++pos_;
                    NewLine(pos_);
                } else if (d == '\n') {
                    ++pos_;
                    NewLine(pos_);
                } else {
                    ++pos_;
                }
            }
        } else {
            break;
        }
    }

    token_start_ = pos_;
    token_line_ = line_;
    token_line_start_ = line_start_;
    char c = At(pos_);
    if (c == '\0') {
        token_end_ = pos_;
        token_type_ = ltEnd;
        token_value_.clear();
        return token_type_;
    }
    if (IsIdentifierStart(c)) {
        size_t pos = pos_ + 1;
        while (IsIdentifierPart(At(pos)))
            ++pos;
        token_value_.assign(text_, pos_, pos - pos_);
        pos_ = pos;
        token_end_ = pos;
        token_type_ = ltIdentifier;
        return token_type_;
    }
    switch (c) {
    case '[':
        ScanQuoted(']', ltBracketName);
        return token_type_;
    case '\'':
        ScanQuoted('\'', ltString);
        return token_type_;
    case '"':
        ScanQuoted('"', ltQuotedName);
        return token_type_;
    default:
        break;
    }
    if (c == '#' && IsDigit(At(pos_ + 1))) {
        size_t pos = pos_ + 1;
        while (IsDigit(At(pos)))
            ++pos;
        token_value_.assign(text_, pos_ + 1, pos - pos_ - 1);
        pos_ = pos;
        token_end_ = pos;
        token_type_ = ltCharCode;
        return token_type_;
    }
    if (IsDigit(c) || (c == '.' && IsDigit(At(pos_ + 1)))) {
        size_t pos = pos_;
        bool real = false;
        for (;;) {
            char d = At(pos);
            if (IsDigit(d)) {
                ++pos;
            } else if (d == '.' || d == 'E' || d == 'e') {
                real = true;
                ++pos;
            } else if ((d == '+' || d == '-') && pos > pos_
                && (At(pos - 1) == 'E' || At(pos - 1) == 'e')) {
                ++pos;
            } else {
                break;
            }
        }
        token_value_.assign(text_, pos_, pos - pos_);
        pos_ = pos;
        token_end_ = pos;
        token_type_ = real ? ltReal : ltInteger;
        return token_type_;
    }
    token_value_.assign(1, c);
    ++pos_;
    token_end_ = pos_;
    token_type_ = uint8_t(c);
    return token_type_;
}

void TExpressionParser::Expect(int type) {
    if (token_type_ != type)
        ErrorMissing(char(type));
    NextToken();
}

void TExpressionParser::ExpectSeparator(std::string_view word) {
    if (IsKeyword(word) || token_type_ == ',') {
        NextToken();
        return;
    }
    ErrorExpected(std::string(word) + " or ,");
}

TExpTokenPtr TExpressionParser::Register(TExpTokenPtr node) {
    if (++node_count_ > kMaxExpressionNodes)
        errors_.Raise("Expression too large in " + ContextName(), token_line_, TokenColumn());
    node->Owner = owner_;
    return node;
}

TExpTokenPtr TExpressionParser::AtToken(TExpTokenPtr node) {
    node->Text = std::string(TokenText());
    node->Line = token_line_;
    node->Column = TokenColumn();
    return node;
}

TExpTokenPtr TExpressionParser::NewNode(uint8_t kind, uint8_t op) {
    auto node = std::make_unique<TExpToken>();
    node->Kind = kind;
    node->Op = op;
    return Register(std::move(node));
}

void TExpressionParser::CountNodes(const TExpToken& node) {
    node_count_ += 1;
    if (node.Left)
        CountNodes(*node.Left);
    if (node.Right)
        CountNodes(*node.Right);
    for (const auto& arg : node.Args) {
        if (arg)
            CountNodes(*arg);
    }
    if (node_count_ > kMaxExpressionNodes)
        errors_.Raise("Expression too large in " + ContextName(), token_line_, TokenColumn());
}

void TExpressionParser::Finish(TExpToken& node) {
    AdoptChildren(node);
    if (node.Height > kMaxTreeHeight)
        errors_.Raise("Expression nesting too deep in " + ContextName(), node.Line, node.Column);
}

TExpTokenPtr TExpressionParser::MakeBinary(uint8_t op, std::string text, int32_t line,
    int32_t column, TExpTokenPtr left, TExpTokenPtr right) {
    TExpTokenPtr node = NewNode(nkBinary, op);
    node->Text = std::move(text);
    node->Line = line;
    node->Column = column;
    node->Left = std::move(left);
    node->Right = std::move(right);
    Finish(*node);
    return node;
}

TExpTokenPtr TExpressionParser::ContinueBinary(
    uint8_t op, TExpTokenPtr left, OperandParser parse, uint8_t flags) {
    std::string text(TokenText());
    int32_t line = token_line_;
    int32_t column = TokenColumn();
    bool bar = token_type_ == '|';
    NextToken();
    if (bar) {
        Expect('|');
        text = "||";
    }
    TExpTokenPtr right = (this->*parse)(flags);
    return MakeBinary(op, std::move(text), line, column, std::move(left), std::move(right));
}

TExpTokenPtr TExpressionParser::ParseExpression(uint8_t flags) {
    TExpTokenPtr left = ParseAnd(flags);
    while (IsKeyword("OR"))
        left = ContinueBinary(opOr, std::move(left), &TExpressionParser::ParseAnd, flags);
    return left;
}

TExpTokenPtr TExpressionParser::ParseAnd(uint8_t flags) {
    TExpTokenPtr left = ParseNot(flags);
    while (IsKeyword("AND"))
        left = ContinueBinary(opAnd, std::move(left), &TExpressionParser::ParseNot, flags);
    return left;
}

TExpTokenPtr TExpressionParser::ParseNot(uint8_t flags) {
    if (!IsKeyword("NOT"))
        return ParseComparison(flags);
    TExpTokenPtr node = NewNodeAtToken(nkUnary, opNot);
    NextToken();
    node->Left = ParseComparison(flags & ~pfStar);
    Finish(*node);
    return node;
}

TExpTokenPtr TExpressionParser::ParseComparison(uint8_t flags) {
    uint8_t operand_flags = flags & ~pfStar;
    TExpTokenPtr left = ParseAdditive(operand_flags);
    int32_t line = token_line_;
    int32_t column = TokenColumn();
    std::string text(TokenText());

    auto binary = [&](uint8_t op) {
        TExpTokenPtr right = ParseAdditive(operand_flags);
        return MakeBinary(op, text, line, column, std::move(left), std::move(right));
    };

    if (token_type_ == '=') {
        NextToken();
        return binary(opEqual);
    }
    if (token_type_ == '<') {
        NextToken();
        if (token_type_ == '>' || token_type_ == '=') {
            uint8_t op = token_type_ == '>' ? opNotEqual : opLessOrEqual;
            text += char(token_type_);
            NextToken();
            return binary(op);
        }
        return binary(opLess);
    }
    if (token_type_ == '>') {
        NextToken();
        if (token_type_ == '<' || token_type_ == '=') {
            uint8_t op = token_type_ == '<' ? opNotEqual : opGreaterOrEqual;
            text += char(token_type_);
            NextToken();
            return binary(op);
        }
        return binary(opGreater);
    }

    bool negated = false;
    if (IsKeyword("NOT")) {
        if (!(flags & pfExtended))
            ErrorInvalid();
        NextToken();
        if (!IsKeyword("BETWEEN") && !IsKeyword("LIKE") && !IsKeyword("IN"))
            ErrorExpected("expression");
        negated = true;
        text += ' ';
        text.append(TokenText());
    } else if (IsKeyword("LIKE") || IsKeyword("BETWEEN") || IsKeyword("IN") || IsKeyword("IS")) {
        if (!(flags & pfExtended))
            ErrorInvalid();
    } else {
        return left;
    }

    if (IsKeyword("IS")) {
        NextToken();
        uint8_t op = opEqual;
        if (IsKeyword("NOT")) {
            NextToken();
            if (!IsKeyword("NULL"))
                ErrorExpected("NULL");
            op = opNotEqual;
        } else if (!IsKeyword("NULL")) {
            ErrorExpected("NULL or NOT");
        }
        TExpTokenPtr null_constant = AtToken(Register(MakeNullConstant()));
        NextToken();
        return MakeBinary(op, text, line, column, std::move(left), std::move(null_constant));
    }

    TExpTokenPtr node = NewNode(nkExtended, 0);
    node->Text = text;
    node->Line = line;
    node->Column = column;
    node->Args.push_back(std::move(left));
    if (IsKeyword("LIKE")) {
        node->Op = negated ? opNotLike : opLike;
        NextToken();
        node->Args.push_back(ParseAdditive(operand_flags));
        if (IsKeyword("ESCAPE")) {
            NextToken();
            node->Args.push_back(ParsePrimary(operand_flags));
        }
    } else if (IsKeyword("BETWEEN")) {
        node->Op = negated ? opNotBetween : opBetween;
        NextToken();
        node->Args.push_back(ParseAdditive(operand_flags));
        if (!IsKeyword("AND"))
            ErrorExpected("AND");
        NextToken();
        node->Args.push_back(ParseAdditive(operand_flags));
    } else {
        node->Op = negated ? opNotIn : opIn;
        NextToken();
        Expect('(');
        if (IsKeyword("SELECT"))
            ErrorInvalid();
        node->Args.push_back(ParseAdditive(operand_flags));
        while (token_type_ == ',') {
            NextToken();
            node->Args.push_back(ParseAdditive(operand_flags));
        }
        Expect(')');
    }
    Finish(*node);
    return node;
}

TExpTokenPtr TExpressionParser::ParseAdditive(uint8_t flags) {
    uint8_t operand_flags = flags & ~pfStar;
    TExpTokenPtr left = ParseMultiplicative(flags);
    for (;;) {
        uint8_t op;
        if (token_type_ == '+' || token_type_ == '|')
            op = opAdd;
        else if (token_type_ == '-')
            op = opSubtract;
        else
            return left;
        left = ContinueBinary(
            op, std::move(left), &TExpressionParser::ParseMultiplicative, operand_flags);
    }
}

TExpTokenPtr TExpressionParser::ParseMultiplicative(uint8_t flags) {
    uint8_t operand_flags = flags & ~pfStar;
    TExpTokenPtr left = ParseUnary(flags);
    for (;;) {
        uint8_t op;
        if (token_type_ == '*')
            op = opMultiply;
        else if (token_type_ == '/')
            op = opDivide;
        else if (IsKeyword("MOD"))
            op = opMod;
        else
            return left;
        left = ContinueBinary(op, std::move(left), &TExpressionParser::ParseUnary, operand_flags);
    }
}

TExpTokenPtr TExpressionParser::ParseUnary(uint8_t flags) {
    if (token_type_ != '+' && token_type_ != '-')
        return ParsePrimary(flags);
    TExpTokenPtr node = NewNodeAtToken(nkUnary, token_type_ == '-' ? opNegate : opPlusSign);
    NextToken();
    node->Left = ParsePrimary(flags & ~pfStar);
    Finish(*node);
    return node;
}

TExpTokenPtr TExpressionParser::ParseNumber() {
    const std::string& digits = token_value_;
    const char* begin = digits.data();
    const char* end = begin + digits.size();
    TExpTokenPtr node;
    if (token_type_ == ltInteger) {
        uint64_t value = 0;
        auto [ptr, error] = std::from_chars(begin, end, value);
        if (error == std::errc() && ptr == end) {
            if (value <= uint64_t(std::numeric_limits<int32_t>::max())) {
                node = MakeIntegerConstant(int32_t(value));
            } else if (value <= uint64_t(std::numeric_limits<int64_t>::max())) {
                node = MakeLargeIntConstant(int64_t(value));
            }
        }
    }
    if (!node) {
        double value = 0;
        auto [ptr, error] = std::from_chars(begin, end, value, std::chars_format::general);
        if (error != std::errc() || ptr != end || !std::isfinite(value))
            ErrorExpected("numeric expression");
        node = MakeFloatConstant(value);
    }
    node = AtToken(Register(std::move(node)));
    NextToken();
    return node;
}

TExpTokenPtr TExpressionParser::ParsePrimary(uint8_t flags) {
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d)
            : depth(d) {
            ++depth;
        }
        ~DepthGuard() { --depth; }
    } guard(depth_);
    if (depth_ > kMaxNestingDepth)
        errors_.Raise(
            "Expression nesting too deep in " + ContextName(), token_line_, TokenColumn());

    switch (token_type_) {
    case ltIdentifier: {
        std::string upper = AsciiUpper(token_value_);
        if (upper == "TRUE" || upper == "FALSE" || upper == "NULL") {
            TExpTokenPtr node = AtToken(Register(
                upper == "NULL" ? MakeNullConstant() : MakeBooleanConstant(upper == "TRUE")));
            NextToken();
            return node;
        }
        if (upper == "CASE")
            return ParseCase(flags);
        if (FindFunction(upper))
            return ParseFunction(flags);
        if (IsAggregate(upper))
            ErrorInvalid();
        TExpTokenPtr node = NewNodeAtToken(nkColumn, 0);
        node->ColumnName = TrimName(token_value_);
        NextToken();
        if (token_type_ == '.')
            ErrorInvalid();
        return node;
    }
    case ltBracketName:
    case ltQuotedName: {
        TExpTokenPtr node = NewNodeAtToken(nkColumn, 0);
        node->ColumnName = TrimName(token_value_);
        NextToken();
        if (token_type_ == '.')
            ErrorInvalid();
        return node;
    }
    case ltString: {
        TExpTokenPtr node = AtToken(Register(MakeStringConstant(token_value_)));
        NextToken();
        return node;
    }
    case ltCharCode: {
        uint32_t code = 0;
        auto [ptr, error]
            = std::from_chars(token_value_.data(), token_value_.data() + token_value_.size(), code);
        if (error != std::errc() || code > 255)
            ErrorExpected("character constant");
        // One character; #0 too gives a string that is present, not NULL.
        char character = char(code);
        TExpTokenPtr node = AtToken(Register(MakeStringConstant(std::string_view(&character, 1))));
        NextToken();
        return node;
    }
    case ltInteger:
    case ltReal:
        return ParseNumber();
    case '(': {
        NextToken();
        TExpTokenPtr node = ParseExpression(flags & ~pfStar);
        Expect(')');
        return node;
    }
    case '*':
    case '?':
        ErrorInvalid();
    default:
        ErrorExpected("expression");
    }
}

TExpTokenPtr TExpressionParser::ParseFunction(uint8_t flags) {
    const FunctionInfo& info = *FindFunction(AsciiUpper(token_value_));
    TExpTokenPtr node = NewNodeAtToken(nkFunction, info.code);
    uint8_t sum_flags = flags & ~pfStar;
    uint8_t full_flags = info.code == fnIf ? uint8_t(sum_flags | pfExtended) : sum_flags;
    NextToken();

    auto sum = [&]() { return ParseAdditive(sum_flags); };
    auto full = [&]() { return ParseExpression(full_flags); };
    auto argument = [&]() { return info.full_expressions ? full() : sum(); };

    if (info.form == FunctionForm::kOptionalEmpty) {
        if (token_type_ == '(') {
            NextToken();
            Expect(')');
        }
        Finish(*node);
        return node;
    }
    if (info.form == FunctionForm::kRand) {
        if (token_type_ == '(') {
            NextToken();
            if (token_type_ != ')') {
                if (IsKeyword("RANGE"))
                    NextToken();
                node->Args.push_back(sum());
            }
            Expect(')');
        }
        Finish(*node);
        return node;
    }

    Expect('(');
    switch (info.form) {
    case FunctionForm::kOne:
        node->Args.push_back(argument());
        break;
    case FunctionForm::kOneOrTwo:
        node->Args.push_back(sum());
        if (IsKeyword("TO") || token_type_ == ',') {
            NextToken();
            node->Args.push_back(ParsePrimary(sum_flags));
        }
        break;
    case FunctionForm::kSubstring:
        node->Args.push_back(sum());
        ExpectSeparator("FROM");
        node->Args.push_back(sum());
        if (IsKeyword("FOR") || token_type_ == ',') {
            NextToken();
            node->Args.push_back(sum());
        }
        break;
    case FunctionForm::kReplace:
        node->Args.push_back(sum());
        ExpectSeparator("WITH");
        node->Args.push_back(sum());
        ExpectSeparator("IN");
        node->Args.push_back(sum());
        break;
    case FunctionForm::kIn:
        node->Args.push_back(sum());
        ExpectSeparator("IN");
        node->Args.push_back(sum());
        break;
    case FunctionForm::kTrim: {
        if (IsKeyword("LEADING"))
            node->Op = fnTrimLeading;
        else if (IsKeyword("TRAILING"))
            node->Op = fnTrimTrailing;
        else if (IsKeyword("BOTH"))
            node->Op = fnTrimBoth;
        else
            ErrorExpected("LEADING, TRAILING or BOTH");
        NextToken();
        node->Args.push_back(ParsePrimary(sum_flags));
        ExpectSeparator("FROM");
        node->Args.push_back(sum());
        break;
    }
    case FunctionForm::kShortTrim: {
        TExpTokenPtr blank = Register(MakeStringConstant(" "));
        blank->Text = "' '";
        blank->Line = node->Line;
        blank->Column = node->Column;
        node->Args.push_back(std::move(blank));
        node->Args.push_back(sum());
        break;
    }
    case FunctionForm::kFor:
        node->Args.push_back(sum());
        ExpectSeparator("FOR");
        node->Args.push_back(sum());
        break;
    case FunctionForm::kWith:
        node->Args.push_back(sum());
        ExpectSeparator("WITH");
        node->Args.push_back(sum());
        break;
    case FunctionForm::kCast:
        node->Args.push_back(full());
        ExpectSeparator("AS");
        ParseDataType(*node, sum_flags);
        break;
    case FunctionForm::kExtract: {
        bool found = false;
        for (size_t i = 0; i < std::size(kExtractParts); ++i) {
            if (IsKeyword(kExtractParts[i])) {
                node->Op = uint8_t(fnExtractYear + i);
                found = true;
                break;
            }
        }
        if (!found)
            ErrorExpected("YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, SECOND or "
                          "MSECOND");
        NextToken();
        ExpectSeparator("FROM");
        node->Args.push_back(sum());
        break;
    }
    case FunctionForm::kIf:
        node->Args.push_back(full());
        ExpectSeparator("THEN");
        node->Args.push_back(full());
        ExpectSeparator("ELSE");
        node->Args.push_back(full());
        break;
    case FunctionForm::kList:
        node->Args.push_back(full());
        while (token_type_ == ',') {
            NextToken();
            node->Args.push_back(full());
        }
        break;
    case FunctionForm::kComma:
        node->Args.push_back(argument());
        Expect(',');
        node->Args.push_back(argument());
        break;
    case FunctionForm::kTo:
        node->Args.push_back(sum());
        ExpectSeparator("TO");
        node->Args.push_back(sum());
        break;
    case FunctionForm::kTextSearch:
        node->Args.push_back(sum());
        ExpectSeparator("IN");
        node->Args.push_back(ParsePrimary(sum_flags));
        break;
    case FunctionForm::kPrimary:
        node->Args.push_back(ParsePrimary(sum_flags));
        break;
    case FunctionForm::kOptionalEmpty:
    case FunctionForm::kRand:
        break;
    }
    Expect(')');
    Finish(*node);
    return node;
}

void TExpressionParser::ParseDataType(TExpToken& cast, uint8_t flags) {
    const DataTypeName* found = nullptr;
    if (token_type_ == ltIdentifier) {
        for (const DataTypeName& name : kDataTypes) {
            if (IsKeyword(name.name)) {
                found = &name;
                break;
            }
        }
    }
    if (!found)
        ErrorExpected("SQL data type");
    cast.DataType = found->type;
    cast.SubType = found->sub_type;
    bool integer = found->type == ftInteger && found->sub_type == 0;
    NextToken();
    if (integer && IsKeyword("IDENTITY")) {
        cast.SubType = stAutoInc;
        NextToken();
    }
    if (found->arguments == DataTypeName::kLength) {
        Expect('(');
        cast.Args.push_back(ParsePrimary(flags));
        Expect(')');
    } else if (found->arguments == DataTypeName::kPrecision && token_type_ == '(') {
        NextToken();
        cast.Args.push_back(ParsePrimary(flags));
        Expect(',');
        cast.Args.push_back(ParsePrimary(flags));
        Expect(')');
    }
}

TExpTokenPtr TExpressionParser::ParseCase(uint8_t flags) {
    TExpTokenPtr node = NewNodeAtToken(nkFunction, fnCase);
    TExpTokenPtr conditions = NewNodeAtToken(nkFunction, fnCaseConditions);
    TExpTokenPtr results = NewNodeAtToken(nkFunction, fnCaseResults);
    NextToken();
    TExpTokenPtr tested;
    if (!IsKeyword("WHEN"))
        tested = ParseExpression(flags);
    do {
        if (!IsKeyword("WHEN"))
            ErrorExpected("WHEN");
        int32_t line = token_line_;
        int32_t column = TokenColumn();
        NextToken();
        TExpTokenPtr value = ParseExpression(flags);
        if (tested) {
            CountNodes(*tested);
            value = MakeBinary(opEqual, "=", line, column, CloneTree(*tested), std::move(value));
        }
        conditions->Args.push_back(std::move(value));
        if (!IsKeyword("THEN"))
            ErrorExpected("THEN");
        NextToken();
        results->Args.push_back(ParseExpression(flags));
    } while (IsKeyword("WHEN"));
    if (IsKeyword("ELSE")) {
        NextToken();
        results->Args.push_back(ParseExpression(flags));
    } else {
        TExpTokenPtr null_constant = Register(MakeNullConstant());
        null_constant->Line = node->Line;
        null_constant->Column = node->Column;
        results->Args.push_back(std::move(null_constant));
    }
    if (!IsKeyword("END"))
        ErrorExpected("END");
    NextToken();
    Finish(*conditions);
    Finish(*results);
    node->Args.push_back(std::move(conditions));
    node->Args.push_back(std::move(results));
    Finish(*node);
    return node;
}

TExpTokenPtr ParseFilterExpression(std::string_view text, std::string_view database_name,
    std::string_view table_name, const void* owner) {
    TExpressionParser parser;
    parser.SetErrorContext(ZOLVEK_INVALIDFILTER, database_name, table_name, "filter expression");
    parser.SetOwner(owner);
    parser.SetExpression(text, 1, 1);
    parser.NextToken();
    return parser.ParseExpression(pfExtended);
}

} // namespace zolvek
