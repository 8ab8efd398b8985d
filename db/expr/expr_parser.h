// TExpressionParser: the lexical scanner and the recursive-descent parser of the filter
// expression language. It turns an expression text into a tree of TExpToken nodes and raises
// every syntax error through the engine's error state with the parser's error code, its
// database and table names and the line and column of the offending token; that error context
// (TExpressionErrorContext) and its common messages also serve the verifier.
// Thread-safety: one parser per owner, used by one thread at a time. The returned tree belongs
// to the caller; the parser keeps only its private copy of the text.
#pragma once

#include "db/base/errors.h"
#include "db/expr/expr_token.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zolvek {

// Bounds that keep any input within a small stack and bounded memory. Deeper nesting or
// larger trees are refused with the parser's error code.
inline constexpr int kMaxNestingDepth = 200; // nested parentheses, function calls and CASEs
inline constexpr uint32_t kMaxTreeHeight = 1000; // longest operator chain from root to leaf
inline constexpr size_t kMaxExpressionNodes = 100'000;
// Token texts quoted in messages are cut to this many characters, so that the line and
// column at the end of the engine message survive the message length limit.
inline constexpr size_t kMaxQuotedTokenText = 64;

// The error code, the database and table names and the name of what is checked ("filter
// expression") with which the parser and the verifier raise their errors, and the messages
// they have in common.
class TExpressionErrorContext {
public:
    // The names are cut to the engine's limit for error texts.
    void Set(EngineCode error_code, std::string_view database_name, std::string_view table_name,
        std::string_view context_name);
    EngineCode Code() const { return code_; }
    const std::string& DatabaseName() const { return database_name_; }
    const std::string& TableName() const { return table_name_; }
    const std::string& ContextName() const { return context_name_; }

    [[noreturn]] void Raise(const std::string& message, int32_t line, int32_t column) const;
    // "Expected <what> but instead found <found> in <context>", with `found` cut to
    // kMaxQuotedTokenText characters.
    [[noreturn]] void RaiseExpected(
        std::string_view what, std::string_view found, int32_t line, int32_t column) const;
    // "Missing <what> in <context>".
    [[noreturn]] void RaiseMissing(std::string_view what, int32_t line, int32_t column) const;
    // "Invalid expression <found> found in <context>", `found` cut likewise.
    [[noreturn]] void RaiseInvalid(std::string_view found, int32_t line, int32_t column) const;

private:
    EngineCode code_ = ZOLVEK_INVALIDFILTER;
    std::string database_name_;
    std::string table_name_;
    std::string context_name_ = "filter expression";
};

class TExpressionParser {
public:
    TExpressionParser() = default;
    TExpressionParser(const TExpressionParser&) = delete;
    TExpressionParser& operator=(const TExpressionParser&) = delete;

    // The error code (10051 for filters), the names passed to the raise and the name of what
    // is parsed ("filter expression"), used in every message.
    void SetErrorContext(EngineCode error_code, std::string_view database_name,
        std::string_view table_name, std::string_view context_name);
    void SetOwner(const void* owner) { owner_ = owner; }
    const std::string& ContextName() const { return errors_.ContextName(); }
    EngineCode ErrorCode() const { return errors_.Code(); }
    const std::string& DatabaseName() const { return errors_.DatabaseName(); }
    const std::string& TableName() const { return errors_.TableName(); }

    // Takes a private copy of the text and resets every position; the first character is at
    // `first_line`, `first_column`. A zero byte in the text ends it.
    void SetExpression(std::string_view text, int32_t first_line = 1, int32_t first_column = 1);

    // Skips blanks and comments and reads the next token; returns its type.
    int NextToken();

    // Parses one complete expression starting at the current token; text after it is left
    // unread. Raises on any syntax error; nothing built survives the raise.
    // Requires: NextToken has read the first token.
    TExpTokenPtr ParseExpression(uint8_t flags);

    // The current token is an identifier equal to `word` without regard to ASCII letter case.
    bool IsKeyword(std::string_view word) const;
    // The current token must have the type (else a "Missing"/"Expected" error naming the
    // character); then reads the next token.
    void Expect(int type);

    int TokenType() const { return token_type_; }
    // The current token's characters as written (quotes and brackets included).
    std::string_view TokenText() const;
    // The value of the current token: the text between the delimiters with doubled quotes
    // made single for quoted tokens, the characters otherwise.
    const std::string& TokenValue() const { return token_value_; }
    int32_t TokenLine() const { return token_line_; }
    int32_t TokenColumn() const;

    // The three message builders; each raises with the parser's error code.
    // "Expected <what> but instead found <token> in <context>", or "Missing <what> in
    // <context>" at the end of the text.
    [[noreturn]] void ErrorExpected(std::string_view what);
    // "Missing <c> in <context>" when the current token starts at the end of the text or a
    // line break, else "Expected <c> but instead found <token> in <context>".
    [[noreturn]] void ErrorMissing(char c);
    // "Invalid expression <token> found in <context>".
    [[noreturn]] void ErrorInvalid();

private:
    char At(size_t pos) const { return pos < text_.size() ? text_[pos] : '\0'; }
    int32_t ColumnAt(size_t pos, size_t line_start) const;
    void NewLine(size_t next_line_start);
    void ScanQuoted(char close, int type);

    // Counts a new node against the size bound and gives it the parser's owner.
    TExpTokenPtr Register(TExpTokenPtr node);
    // Positions a node at the current token and gives it the token's text.
    TExpTokenPtr AtToken(TExpTokenPtr node);
    TExpTokenPtr NewNode(uint8_t kind, uint8_t op);
    TExpTokenPtr NewNodeAtToken(uint8_t kind, uint8_t op) { return AtToken(NewNode(kind, op)); }
    void Finish(TExpToken& node);
    void CountNodes(const TExpToken& node);

    TExpTokenPtr MakeBinary(uint8_t op, std::string text, int32_t line, int32_t column,
        TExpTokenPtr left, TExpTokenPtr right);
    using OperandParser = TExpTokenPtr (TExpressionParser::*)(uint8_t flags);
    // Reads the binary operator at the current token (a '|' with the '|' after it, as ||) and
    // then its right operand with `parse`, and joins `left` to it in a node at the operator.
    TExpTokenPtr ContinueBinary(uint8_t op, TExpTokenPtr left, OperandParser parse, uint8_t flags);
    TExpTokenPtr ParseAnd(uint8_t flags);
    TExpTokenPtr ParseNot(uint8_t flags);
    TExpTokenPtr ParseComparison(uint8_t flags);
    TExpTokenPtr ParseAdditive(uint8_t flags);
    TExpTokenPtr ParseMultiplicative(uint8_t flags);
    TExpTokenPtr ParseUnary(uint8_t flags);
    TExpTokenPtr ParsePrimary(uint8_t flags);
    TExpTokenPtr ParseFunction(uint8_t flags);
    TExpTokenPtr ParseCase(uint8_t flags);
    void ParseDataType(TExpToken& cast, uint8_t flags);
    TExpTokenPtr ParseNumber();
    // Reads a separator keyword or a comma in its place; else Expected "<word> or ,".
    void ExpectSeparator(std::string_view word);

    TExpressionErrorContext errors_;
    const void* owner_ = nullptr;

    std::string text_;
    size_t pos_ = 0; // read position
    size_t token_start_ = 0;
    size_t token_end_ = 0;
    int token_type_ = ltEnd;
    std::string token_value_;
    int32_t token_line_ = 1;
    size_t token_line_start_ = 0;
    int32_t line_ = 1;
    size_t line_start_ = 0;
    int32_t first_line_ = 1;
    int32_t first_column_ = 1;
    int depth_ = 0;
    size_t node_count_ = 0;
};

// The whole parse of a filter: error code 10051, "filter expression", flags pfExtended.
TExpTokenPtr ParseFilterExpression(std::string_view text, std::string_view database_name,
    std::string_view table_name, const void* owner = nullptr);

} // namespace zolvek
