#include "db/base/bytes.h"
#include "db/expr/expr_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace zolvek {

using namespace engine_types;
namespace {

std::string OpName(const TExpToken& node) {
    switch (node.Op) {
    case opEqual:
        return "=";
    case opNotEqual:
        return "<>";
    case opGreater:
        return ">";
    case opLess:
        return "<";
    case opGreaterOrEqual:
        return ">=";
    case opLessOrEqual:
        return "<=";
    case opNot:
        return "NOT";
    case opAnd:
        return "AND";
    case opOr:
        return "OR";
    case opNegate:
        return "neg";
    case opPlusSign:
        return "pos";
    case opAdd:
        return "+";
    case opSubtract:
        return "-";
    case opMultiply:
        return "*";
    case opDivide:
        return "/";
    case opMod:
        return "MOD";
    default:
        return "op" + std::to_string(node.Op);
    }
}

// A compact rendering of a tree: (op left right), [column], constants as written.
std::string Render(const TExpToken& node) {
    switch (node.Kind) {
    case nkColumn:
        return "[" + node.ColumnName + "]";
    case nkConstant:
        return node.Text;
    case nkUnary:
        return "(" + OpName(node) + " " + Render(*node.Left) + ")";
    case nkBinary:
        return "(" + OpName(node) + " " + Render(*node.Left) + " " + Render(*node.Right) + ")";
    default: {
        std::string text = "(" + OpName(node);
        for (const auto& arg : node.Args)
            text += " " + Render(*arg);
        return text + ")";
    }
    }
}

TExpTokenPtr Parse(std::string_view text) {
    return ParseFilterExpression(text, "db", "datalar");
}

EZOLVEKEngineError ParseError(std::string_view text) {
    try {
        Parse(text);
    } catch (const EZOLVEKEngineError& error) {
        return error;
    }
    ADD_FAILURE() << "no error for: " << text;
    return EZOLVEKEngineError(0, TErrorContext {});
}

struct ShapeCase {
    const char* text;
    const char* tree;
};

TEST(ExpressionParser, PrecedenceAndAssociativity) {
    const ShapeCase cases[] = {
        { "[A] = 1 OR [B] = 2 AND [C] = 3", "(OR (= [A] 1) (AND (= [B] 2) (= [C] 3)))" },
        { "[A] = 1 OR [B] = 2 OR [C] = 3", "(OR (OR (= [A] 1) (= [B] 2)) (= [C] 3))" },
        { "[A] = 1 AND [B] = 2 AND [C] = 3", "(AND (AND (= [A] 1) (= [B] 2)) (= [C] 3))" },
        { "NOT [A] = 1 AND [B] = 2", "(AND (NOT (= [A] 1)) (= [B] 2))" },
        { "[A] + 2 * 3 - 4", "(- (+ [A] (* 2 3)) 4)" },
        { "[A] - 2 - 3", "(- (- [A] 2) 3)" },
        { "[A] / 2 MOD 3 * 4", "(* (MOD (/ [A] 2) 3) 4)" },
        { "-[A] * +2", "(* (neg [A]) (pos 2))" },
        { "([A] + 2) * 3", "(* (+ [A] 2) 3)" },
        { "[A] || 'x' | | 'y'", "(+ (+ [A] 'x') 'y')" },
        { "a >< b", "(<> [a] [b])" },
        { "a < > b", "(<> [a] [b])" },
        { "a <= b", "(<= [a] [b])" },
        { "a > = b", "(>= [a] [b])" },
        { "a < b", "(< [a] [b])" },
        { "a > b", "(> [a] [b])" },
        { "[A] = 1 = 2", "(= [A] 1)" },
        { "[A] = 1 followed by words", "(= [A] 1)" },
        { "[A] IS NULL", "(= [A] NULL)" },
        { "[A] is not null", "(<> [A] null)" },
        { "[A] LIKE 'a%' ESCAPE '\\'", "(op28 [A] 'a%' '\\')" },
        { "[A] NOT LIKE 'a%'", "(op35 [A] 'a%')" },
        { "[A] BETWEEN 1 AND 2 + 3", "(op33 [A] 1 (+ 2 3))" },
        { "[A] NOT BETWEEN 1 AND 2 AND [B] = 1", "(AND (op34 [A] 1 2) (= [B] 1))" },
        { "[A] IN (1, 2, 3)", "(op29 [A] 1 2 3)" },
        { "[A] NOT IN ('x')", "(op36 [A] 'x')" },
        { "UPPER([A]) = 'X'", "(= (op31 [A]) 'X')" },
        { "SUBSTRING([A] FROM 2 FOR 3) = 'x'", "(= (op38 [A] 2 3) 'x')" },
        { "SUBSTRING([A], 2) = 'x'", "(= (op38 [A] 2) 'x')" },
        { "TRIM(LEADING 'x' FROM [A])", "(op42 'x' [A])" },
        { "RTRIM([A])", "(op43 ' ' [A])" },
        { "REPLACE('a' WITH 'b' IN [A])", "(op39 'a' 'b' [A])" },
        { "POSITION('a', [A])", "(op40 'a' [A])" },
        { "EXTRACT(DAYOFYEAR FROM [D])", "(op56 [D])" },
        { "IF([A] LIKE 'x' THEN 1 ELSE 2)", "(op67 (op28 [A] 'x') 1 2)" },
        { "COALESCE([A], [B], 'x')", "(op68 [A] [B] 'x')" },
        { "MOD([A], 2)", "(MOD [A] 2)" },
        { "PI() + PI", "(+ (op85) (op85))" },
        { "RAND(RANGE 10)", "(op88 10)" },
        { "CURRENT_DATE", "(op99)" },
        { "CASE [A] WHEN 1 THEN 'x' WHEN 2 THEN 'y' END",
            "(op106 (op107 (= [A] 1) (= [A] 2)) (op108 'x' 'y' NULL))" },
        { "CASE WHEN [A] > 1 THEN 'x' ELSE 'z' END", "(op106 (op107 (> [A] 1)) (op108 'x' 'z'))" },
        { "[UPPER] = 'x'", "(= [UPPER] 'x')" },
        { "\"ANAHTAR\" = 'x'", "(= [ANAHTAR] 'x')" },
        { "[ ANAHTAR ] = 'x'", "(= [ANAHTAR] 'x')" },
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Render(*Parse(c.text)), c.tree);
    }
}

TEST(ExpressionParser, GlossaryFilterTree) {
    TExpTokenPtr root = Parse("[ANAHTAR]='abc*'");
    ASSERT_EQ(root->Kind, nkBinary);
    EXPECT_EQ(root->Op, opEqual);
    ASSERT_EQ(root->Left->Kind, nkColumn);
    EXPECT_EQ(root->Left->ColumnName, "ANAHTAR");
    EXPECT_EQ(root->Left->Text, "[ANAHTAR]");
    EXPECT_EQ(root->Left->Parent, root.get());
    const TExpToken& constant = *root->Right;
    EXPECT_EQ(constant.Kind, nkConstant);
    EXPECT_EQ(constant.DataType, ftString);
    EXPECT_EQ(constant.ValueSize, 5u);
    EXPECT_EQ(constant.TextValue(), "abc*");
    EXPECT_FALSE(constant.IsNull);

    EXPECT_EQ(Parse("[ANAHTAR]='O''Neil'")->Right->TextValue(), "O'Neil");
    TExpTokenPtr empty = Parse("[ANAHTAR]=''");
    EXPECT_TRUE(empty->Right->IsNull);
    EXPECT_EQ(empty->Right->DataType, ftString);
}

TEST(ExpressionParser, Literals) {
    struct LiteralCase {
        const char* text;
        uint8_t type;
        const char* value; // the text of the value, or the number printed
    };
    const LiteralCase cases[] = {
        { "#65", ftString, "A" },
        { "'it''s'", ftString, "it's" },
        { "'say \"\"x\"\"'", ftString, "say \"\"x\"\"" },
        { "123", ftInteger, "123" },
        { "2147483647", ftInteger, "2147483647" },
        { "2147483648", ftLargeInt, "2147483648" },
        { "12345678901", ftLargeInt, "12345678901" },
        { "99999999999999999999", ftFloat, "1e+20" },
        { "1.5E3", ftFloat, "1500" },
        { "1.5e-1", ftFloat, "0.15" },
        { ".5", ftFloat, "0.5" },
        { "5.", ftFloat, "5" },
        { "TRUE", ftBoolean, "1" },
        { "false", ftBoolean, "0" },
    };
    for (const LiteralCase& c : cases) {
        SCOPED_TRACE(c.text);
        TExpTokenPtr node = Parse(c.text);
        ASSERT_EQ(node->Kind, nkConstant);
        EXPECT_EQ(node->DataType, c.type);
        EXPECT_EQ(node->Text, c.text);
        std::string value;
        switch (node->DataType) {
        case ftString:
            value = std::string(node->TextValue());
            break;
        case ftInteger:
            value = std::to_string(LoadI32(node->Value.data()));
            break;
        case ftLargeInt:
            value = std::to_string(LoadI64(node->Value.data()));
            break;
        case ftBoolean:
            value = std::to_string(LoadU16(node->Value.data()));
            break;
        case ftFloat: {
            char buffer[32];
            snprintf(buffer, sizeof buffer, "%g", LoadDouble(node->Value.data()));
            value = buffer;
            break;
        }
        }
        EXPECT_EQ(value, c.value);
    }
    TExpTokenPtr null_constant = Parse("NULL");
    EXPECT_TRUE(null_constant->IsNullConstant());
    TExpTokenPtr char_zero = Parse("#0");
    EXPECT_EQ(char_zero->Value, (std::vector<uint8_t> { 0, 0 }));
    EXPECT_FALSE(char_zero->IsNull);
}

TEST(ExpressionParser, CommentsAndLineBreaks) {
    const ShapeCase cases[] = {
        { "[A] -- comment = 2\r\n= /* inner\n comment */ 1", "(= [A] 1)" },
        { "/**/[A]=/*x*/1--", "(= [A] 1)" },
        { "\t[A]\r=\n1\r\n", "(= [A] 1)" },
        { "[A] = 5 - -1", "(= [A] (- 5 (neg 1)))" },
        { "[A] = 5 --1", "(= [A] 5)" },
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Render(*Parse(c.text)), c.tree);
    }
    // Positions after line breaks count columns from 1 again; CR LF is one break.
    TExpTokenPtr root = Parse("/* one\r\ntwo */ [A]\r\n  =\r  'x'");
    EXPECT_EQ(root->Left->Line, 2);
    EXPECT_EQ(root->Left->Column, 8);
    EXPECT_EQ(root->Line, 3);
    EXPECT_EQ(root->Column, 3);
    EXPECT_EQ(root->Right->Line, 4);
    EXPECT_EQ(root->Right->Column, 3);
}

TEST(ExpressionParser, FirstColumnAppliesToTheFirstLineOnly) {
    TExpressionParser parser;
    parser.SetErrorContext(ZOLVEK_INVALIDFILTER, "db", "t", "filter expression");
    parser.SetExpression("[A] =\n  1", 5, 10);
    parser.NextToken();
    TExpTokenPtr root = parser.ParseExpression(pfExtended);
    EXPECT_EQ(root->Left->Line, 5);
    EXPECT_EQ(root->Left->Column, 10);
    EXPECT_EQ(root->Right->Line, 6);
    EXPECT_EQ(root->Right->Column, 3);
}

struct ErrorCase {
    const char* text;
    const char* message;
    int32_t line;
    int32_t column;
};

TEST(ExpressionParser, SyntaxErrorMessages) {
    const ErrorCase cases[] = {
        { "[ANAHTAR] = 'abc", "Missing ' in filter expression", 1, 13 },
        { "[A] = 'abc\n'", "Missing ' in filter expression", 1, 7 },
        { "[A] = 1 AND\n[B = 2", "Missing ] in filter expression", 2, 1 },
        { "\"A = 1", "Missing \" in filter expression", 1, 1 },
        { "[A] = 1 /* open", "Missing / in filter expression", 1, 9 },
        { "[A] = 1 AND ([B] = 2", "Missing ) in filter expression", 1, 21 },
        { "[A] = 1 AND\n([B] = 2 ]", "Expected ) but instead found ] in filter expression", 2, 10 },
        { "UPPER = 'x'", "Expected ( but instead found = in filter expression", 1, 7 },
        { "#300 = 'A'", "Expected character constant but instead found #300 in filter expression",
            1, 1 },
        { "[A] = 1.2.3", "Expected numeric expression but instead found 1.2.3 in filter expression",
            1, 7 },
        { "[A] = 1E", "Expected numeric expression but instead found 1E in filter expression", 1,
            7 },
        { "[A] =", "Missing expression in filter expression", 1, 6 },
        { "[A] = )", "Expected expression but instead found ) in filter expression", 1, 7 },
        { "[A] NOT = 1", "Expected expression but instead found = in filter expression", 1, 9 },
        { "[A] IS 1", "Expected NULL or NOT but instead found 1 in filter expression", 1, 8 },
        { "[A] IS NOT 1", "Expected NULL but instead found 1 in filter expression", 1, 12 },
        { "[A] BETWEEN 1 OR 2", "Expected AND but instead found OR in filter expression", 1, 15 },
        { "[A] IN 1", "Expected ( but instead found 1 in filter expression", 1, 8 },
        { "[A] IN (1, 2", "Missing ) in filter expression", 1, 13 },
        { "LEFT([A] 2)", "Expected FOR or , but instead found 2 in filter expression", 1, 10 },
        { "TRIM(x FROM [A])",
            "Expected LEADING, TRAILING or BOTH but instead found x in filter expression", 1, 6 },
        { "CAST([A] AS TEXT)", "Expected SQL data type but instead found TEXT in filter expression",
            1, 13 },
        { "CASE [A] THEN 1 END", "Expected WHEN but instead found THEN in filter expression", 1,
            10 },
        { "CASE WHEN [A] = 1 ELSE 1 END",
            "Expected THEN but instead found ELSE in filter expression", 1, 19 },
        { "CASE WHEN [A] = 1 THEN 2", "Missing END in filter expression", 1, 25 },
        { "SUM([A]) > 1", "Invalid expression SUM found in filter expression", 1, 1 },
        { "[A] = ?", "Invalid expression ? found in filter expression", 1, 7 },
        { "* = 1", "Invalid expression * found in filter expression", 1, 1 },
        { "T.A = 1", "Invalid expression . found in filter expression", 1, 2 },
        { "[A] IN (SELECT 1)", "Invalid expression SELECT found in filter expression", 1, 9 },
        { "[A] = 'x' AND\n[B] = ]", "Expected expression but instead found ] in filter expression",
            2, 7 },
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.text);
        EZOLVEKEngineError error = ParseError(c.text);
        EXPECT_EQ(error.Code(), ZOLVEK_INVALIDFILTER);
        EXPECT_EQ(error.ErrorMessage(), c.message);
        EXPECT_EQ(error.Context().ErrorLine, c.line);
        EXPECT_EQ(error.Context().ErrorColumn, c.column);
        EXPECT_EQ(error.ErrorTableName(), "datalar");
        EXPECT_EQ(error.Context().ErrorDatabaseName, "db");
    }
}

TEST(ExpressionParser, FullEngineMessage) {
    EZOLVEKEngineError error = ParseError("[A] = 1 AND\n([B] = 2");
    EXPECT_STREQ(error.what(),
        "ZOLVEK Engine Error # 10051 Filter error for the table 'datalar' - Missing ) in filter "
        "expression at line 2, column 9");
}

TEST(ExpressionParser, ExtendedFormsNeedTheFlag) {
    TExpressionParser parser;
    parser.SetErrorContext(ZOLVEK_INVALIDFILTER, "db", "t", "filter expression");
    for (const char* text :
        { "[A] LIKE 'x'", "[A] NOT IN (1)", "[A] IS NULL", "[A] BETWEEN 1 AND 2" }) {
        SCOPED_TRACE(text);
        parser.SetExpression(text);
        parser.NextToken();
        try {
            parser.ParseExpression(0);
            ADD_FAILURE() << "accepted";
        } catch (const EZOLVEKEngineError& error) {
            EXPECT_EQ(error.ErrorMessage().rfind("Invalid expression ", 0), 0u)
                << error.ErrorMessage();
        }
    }
}

TEST(ExpressionParser, LongTokensAreCutInMessages) {
    std::string name(300, 'x');
    EZOLVEKEngineError cut = ParseError("[A] IN " + name);
    EXPECT_EQ(cut.ErrorMessage(),
        "Expected ( but instead found " + std::string(61, 'x') + "... in filter expression");
    EXPECT_NE(std::string(cut.what()).find("at line 1, column 8"), std::string::npos);
}

TEST(ExpressionParser, DeepNestingIsRefused) {
    std::string deep(5000, '(');
    deep += "1";
    EZOLVEKEngineError error = ParseError(deep);
    EXPECT_EQ(error.Code(), ZOLVEK_INVALIDFILTER);
    EXPECT_EQ(error.ErrorMessage(), "Expression nesting too deep in filter expression");

    std::string calls;
    for (int i = 0; i < 3000; ++i)
        calls += "UPPER(";
    EXPECT_EQ(ParseError(calls).ErrorMessage(), "Expression nesting too deep in filter expression");

    std::string chain = "[A]";
    for (int i = 0; i < 5000; ++i)
        chain += "+1";
    EXPECT_EQ(ParseError(chain).ErrorMessage(), "Expression nesting too deep in filter expression");

    // Within the bounds, nesting parses.
    std::string nested(150, '(');
    nested += "[A] = 1" + std::string(150, ')');
    EXPECT_EQ(Render(*Parse(nested)), "(= [A] 1)");
}

TEST(ExpressionParser, HugeCaseCopiesAreRefused) {
    // Each WHEN copies the tested expression; the copies count against the node bound.
    std::string tested = "[A]";
    for (int i = 0; i < 400; ++i)
        tested += "+[A]";
    std::string text = "CASE " + tested;
    for (int i = 0; i < 400; ++i)
        text += " WHEN 1 THEN 2";
    text += " END";
    EXPECT_EQ(ParseError(text).ErrorMessage(), "Expression too large in filter expression");
}

TEST(ExpressionParser, TextEndsAtItsEndOrAtAZeroByte) {
    std::string text("[A] = 'x'\0 garbage '", 20);
    EXPECT_EQ(Render(*Parse(text)), "(= [A] 'x')");
    std::string cut("[A] = 'x\0'", 10);
    EXPECT_EQ(ParseError(cut).ErrorMessage(), "Missing ' in filter expression");
}

TEST(ExpressionParser, KeywordsIgnoreAsciiCaseOnly) {
    EXPECT_EQ(Render(*Parse("[A] like 'x' oR [B] LiKe 'y'")), "(OR (op28 [A] 'x') (op28 [B] 'y'))");
    // A Turkish dotless i is not the letter I of a keyword: the word is a column name.
    EXPECT_EQ(Render(*Parse("[A] = 1 \xFDS")), "(= [A] 1)");
    EXPECT_EQ(Parse("l\xFDke")->ColumnName, "l\xFDke");
}

TEST(ExpressionParser, ParserIsReusable) {
    TExpressionParser parser;
    parser.SetErrorContext(ZOLVEK_INVALIDFILTER, "db", "t", "filter expression");
    parser.SetExpression("[A] = ");
    parser.NextToken();
    EXPECT_THROW(parser.ParseExpression(pfExtended), EZOLVEKEngineError);
    parser.SetExpression("[B] = 2");
    parser.NextToken();
    EXPECT_EQ(Render(*parser.ParseExpression(pfExtended)), "(= [B] 2)");
    EXPECT_EQ(parser.TokenType(), ltEnd);
}

} // namespace
} // namespace zolvek
