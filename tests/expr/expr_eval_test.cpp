#include "db/base/locale.h"
#include "db/expr/expr_bind.h"
#include "db/expr/expr_eval.h"
#include "db/expr/expr_parser.h"
#include "db/expr/expr_verifier.h"
#include "tests/expr/expr_test_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>
#include <vector>

namespace zolvek {

using namespace engine_types;
namespace {

using testing::LookupTestColumn;
using testing::ReadTestColumn;
using testing::TestRecord;

TExpTokenPtr Prepare(std::string_view text, TBindOptions options = {}) {
    return PrepareFilterExpression(text, "db", "datalar", nullptr, LookupTestColumn, options);
}

bool Matches(TExpToken& bound, const TestRecord& record, uint32_t locale) {
    Evaluate(bound, record.Image(), locale, ReadTestColumn);
    return IsTrue(bound);
}

// The indexes of the records that the filter selects.
std::vector<int> Select(
    std::string_view text, const std::vector<TestRecord>& records, TBindOptions options = {}) {
    TExpTokenPtr bound = Prepare(text, options);
    std::vector<int> selected;
    for (size_t i = 0; i < records.size(); ++i) {
        if (Matches(*bound, records[i], options.locale_id))
            selected.push_back(int(i));
    }
    return selected;
}

EZOLVEKEngineError FilterError(std::string_view text) {
    try {
        Prepare(text);
    } catch (const EZOLVEKEngineError& error) {
        return error;
    }
    ADD_FAILURE() << "no error for: " << text;
    return EZOLVEKEngineError(0, TErrorContext {});
}

// Verifies and binds any expression (not only boolean ones) and evaluates it once.
TExpTokenPtr Compute(std::string_view text, const TestRecord& record = {}, uint32_t locale = 0) {
    TExpTokenPtr parsed = ParseFilterExpression(text, "db", "datalar");
    TExpressionVerifier verifier;
    verifier.SetErrorContext(ZOLVEK_INVALIDFILTER, "db", "datalar", "filter expression");
    verifier.SetColumnLookup(LookupTestColumn);
    verifier.Verify(parsed, true, false);
    TExpTokenPtr bound = BindExpression(*parsed, nullptr, { false, false, locale });
    Evaluate(*bound, record.Image(), locale, ReadTestColumn);
    return bound;
}

std::string ComputeText(std::string_view text, const TestRecord& record = {}, uint32_t locale = 0) {
    TExpTokenPtr node = Compute(text, record, locale);
    EXPECT_TRUE(node->DataType == ftString || node->DataType == ftBlob) << text;
    return node->IsNull ? "<NULL>" : std::string(node->TextValue());
}

std::string ComputeNumber(std::string_view text, const TestRecord& record = {}) {
    TExpTokenPtr node = Compute(text, record);
    if (node->IsNull)
        return "<NULL>";
    TNumber n;
    EXPECT_TRUE(LoadNumber(*node, n)) << text;
    char buffer[64];
    switch (n.kind) {
    case TNumber::kInteger:
        return std::to_string(n.integer);
    case TNumber::kFloat:
        snprintf(buffer, sizeof buffer, "%.10g", n.real);
        return buffer;
    default:
        snprintf(buffer, sizeof buffer, "%.10g/%d", double(n.mantissa), n.scale);
        return buffer;
    }
}

std::vector<TestRecord> Words(std::initializer_list<const char*> words) {
    std::vector<TestRecord> records;
    for (const char* word : words)
        records.push_back(TestRecord().Text("ANAHTAR", word));
    return records;
}

// A filter and the indexes of the records it selects.
struct SelectCase {
    const char* filter;
    std::vector<int> selected;
};

void ExpectSelections(const std::vector<TestRecord>& records, std::span<const SelectCase> cases) {
    for (const SelectCase& c : cases) {
        SCOPED_TRACE(c.filter);
        EXPECT_EQ(Select(c.filter, records), c.selected);
    }
}

// A filter and whether it selects the record.
struct MatchCase {
    const char* filter;
    bool match;
};

void ExpectMatches(const TestRecord& record, std::span<const MatchCase> cases) {
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.filter);
        EXPECT_EQ(Matches(*Prepare(c.filter), record, 0), c.match);
    }
}

// An expression and its value as ComputeText or ComputeNumber writes it.
struct ResultCase {
    const char* expression;
    const char* result;
};

TEST(FilterEvaluation, GlossaryPrefixFilters) {
    auto records = Words({ "Kalemler", "KALEM", "Kale", "kalem", "kalemlik", "", "kalem*" });
    EXPECT_EQ(Select("[ANAHTAR]='kalem*'", records, { false, true, 0 }),
        (std::vector<int> { 0, 1, 3, 4, 6 }));
    EXPECT_EQ(Select("[ANAHTAR]='kalem*'", records), (std::vector<int> { 3, 4, 6 }));
    EXPECT_EQ(Select("[ANAHTAR]='kalem*'", records, { true, false, 0 }), (std::vector<int> { 6 }));
    EXPECT_EQ(Select("[ANAHTAR]='*'", records), (std::vector<int> { 0, 1, 2, 3, 4, 5, 6 }));
    EXPECT_EQ(Select("[ANAHTAR]<>'**'", records), (std::vector<int> {}));
    EXPECT_EQ(Select("[ANAHTAR]=''", records), (std::vector<int> { 5 }));
    EXPECT_EQ(Select("[ANAHTAR]<>'kalem'", records), (std::vector<int> { 0, 1, 2, 4, 5, 6 }));
    auto starred = Words({ "kitap", "ki*ap*", "ki*apçı" });
    EXPECT_EQ(Select("[ANAHTAR]='ki*ap*'", starred), (std::vector<int> { 1 }));
}

TEST(FilterEvaluation, TurkishCaseInsensitivePrefix) {
    // Windows-1254: \xDE capital S cedilla, \xFD dotless i, \xDD capital dotted I.
    auto records = Words({ "KAR\xDEI", "kar\xFDnca", "Kar", "kara", "k\xFDr", "ka", "\xDDstanbul",
        "Irmak", "o'neil", "O'Neil", "one" });
    TBindOptions turkish { false, true, kTurkishLocale };
    EXPECT_EQ(Select("[ANAHTAR]='kar*'", records, turkish), (std::vector<int> { 0, 1, 2, 3 }));
    EXPECT_EQ(Select("[ANAHTAR]='kar*'", records, { false, false, kTurkishLocale }),
        (std::vector<int> { 1, 3 }));
    // Under Turkish casing i pairs with the dotted capital, not with I.
    EXPECT_EQ(Select("[ANAHTAR]='i*'", records, turkish), (std::vector<int> { 6 }));
    EXPECT_EQ(Select("[ANAHTAR]='o''n*'", records, turkish), (std::vector<int> { 8, 9 }));
    EXPECT_EQ(Select("[ANAHTAR]='o''n*'", records), (std::vector<int> { 8 }));

    TExpTokenPtr bound = Prepare("[ANAHTAR]='kar*'", turkish);
    EXPECT_EQ(bound->Kind, nkStringCompare);
    EXPECT_EQ(bound->Op, opEqual);
    EXPECT_TRUE(bound->CaseInsensitive);
    EXPECT_EQ(bound->PartialLength, 3u);
    EXPECT_EQ(bound->Left->Kind, nkColumn);
    EXPECT_EQ(bound->Left->FieldNo, 1);
    EXPECT_EQ(bound->Right->TextValue(), "kar");
    TExpTokenPtr whole = Prepare("[ANAHTAR]='kar'", turkish);
    EXPECT_EQ(whole->Kind, nkStringCompare);
    EXPECT_EQ(whole->PartialLength, 0u);
    EXPECT_EQ(Prepare("[ANAHTAR]='kar'")->Kind, nkBinary);
}

TEST(FilterEvaluation, NullHandling) {
    std::vector<TestRecord> records = {
        TestRecord().I32("SAYI", 1).I16("KUCUK", 1).Bytes("AKTIF", { 1, 0 }),
        TestRecord().I32("SAYI", 2).Bytes("AKTIF", { 0, 0 }),
        TestRecord().I16("KUCUK", 1).Bytes("AKTIF", { 7, 0 }),
        TestRecord(),
    };
    const SelectCase cases[] = {
        { "[SAYI] IS NULL", { 2, 3 } }, { "[SAYI] IS NOT NULL", { 0, 1 } },
        { "[SAYI] = NULL", { 2, 3 } }, { "[SAYI] <> 1", { 1, 2, 3 } }, { "[SAYI] < 5", { 0, 1 } },
        { "[SAYI] <= [KUCUK]", { 0, 3 } }, // both NULL compare as equal for <= and >=
        { "[SAYI] > [KUCUK]", {} }, { "NOT ([SAYI] = 1)", { 1, 2, 3 } },
        { "[SAYI] + 1 IS NULL", { 2, 3 } }, { "[SAYI] + 1 = 3", { 1 } },
        { "[AKTIF]", { 0, 2 } }, // a stored 7 reads as true
        { "NOT [AKTIF]", { 1, 3 } }, { "[AKTIF] AND [SAYI] = 1", { 0 } },
        { "[AKTIF] OR [SAYI] = 2", { 0, 1, 2 } },
        { "[SAYI]", { 0 } }, // an integer alone is compared with TRUE
        { "COALESCE([SAYI], [KUCUK], 0) = 1", { 0, 2 } },
        { "IFNULL([SAYI] THEN 'n' ELSE 'v') = 'n'", { 2, 3 } },
        { "NULLIF([SAYI], 1) IS NULL", { 0, 2, 3 } },
        { "[ANAHTAR] + 'x' = 'x'", { 0, 1, 2, 3 } }, // a NULL string reads as empty
    };
    ExpectSelections(records, cases);
}

TEST(FilterEvaluation, LikeWithAndWithoutEscape) {
    auto records
        = Words({ "kalem", "kalemlik", "KALEM", "tem", "50%indirim", "500", "a_b", "axb", "" });
    const SelectCase cases[] = {
        { "[ANAHTAR] LIKE 'ka%'", { 0, 1 } },
        { "[ANAHTAR] LIKE '%em'", { 0, 3 } },
        { "[ANAHTAR] LIKE '%EM'", { 2 } },
        { "[ANAHTAR] LIKE 'k_l%m'", { 0 } },
        { "[ANAHTAR] LIKE '%l%k'", { 1 } },
        { "[ANAHTAR] LIKE '50\\%%' ESCAPE '\\'", { 4 } },
        { "[ANAHTAR] LIKE '50%'", { 4, 5 } },
        { "[ANAHTAR] LIKE 'a!_b' ESCAPE '!'", { 6 } },
        { "[ANAHTAR] LIKE 'a_b'", { 6, 7 } },
        { "[ANAHTAR] NOT LIKE 'ka%'", { 2, 3, 4, 5, 6, 7, 8 } },
        { "[ANAHTAR] NOT LIKE '%'", { 8 } },
        { "[ANAHTAR] LIKE '%'", { 0, 1, 2, 3, 4, 5, 6, 7 } },
        { "[ANAHTAR] LIKE '%%'", { 0, 1, 2, 3, 4, 5, 6, 7 } },
        { "UPPER([ANAHTAR]) LIKE '%LEM%'", { 0, 1, 2 } },
    };
    ExpectSelections(records, cases);
    // A prefix pattern becomes a case-sensitive partial comparison; others stay LIKE.
    TExpTokenPtr prefix = Prepare("[ANAHTAR] LIKE 'ka%'", { false, true, 0 });
    EXPECT_EQ(prefix->Kind, nkStringCompare);
    EXPECT_FALSE(prefix->CaseInsensitive);
    EXPECT_EQ(prefix->PartialLength, 2u);
    EXPECT_EQ(prefix->Right->TextValue(), "ka");
    TExpTokenPtr escaped = Prepare("[ANAHTAR] LIKE '50\\%%' ESCAPE '\\'");
    EXPECT_EQ(escaped->Kind, nkStringCompare);
    EXPECT_EQ(escaped->Right->TextValue(), "50%");
    EXPECT_EQ(Prepare("[ANAHTAR] LIKE 'a_%'")->Kind, nkExtended);
    EXPECT_EQ(Prepare("[ANAHTAR] LIKE '%em'")->Kind, nkExtended);
}

TEST(FilterEvaluation, MatchLike) {
    const struct {
        const char* value;
        const char* pattern;
        char escape;
        bool match;
    } cases[] = {
        { "abc", "abc", 0, true },
        { "abc", "ab", 0, false },
        { "ab", "abc", 0, false },
        { "abc", "a%", 0, true },
        { "abc", "%c", 0, true },
        { "aXbXc", "%b%c", 0, true },
        { "aXbXcX", "%b%c", 0, false },
        { "abcbc", "a%bc", 0, true },
        { "", "%", 0, true },
        { "", "_", 0, false },
        { "a", "_", 0, true },
        { "ab", "a__", 0, false },
        { "a%", "a!%", '!', true },
        { "ab", "a!%", '!', false },
        { "a!", "a!", '!', true }, // a lone escape at the end is itself
        { "mississippi", "%iss%ppi", 0, true },
        { "mississippi", "%iss%ippx", 0, false },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchLike(0, c.value, c.pattern, c.escape), c.match)
            << c.value << " LIKE " << c.pattern;
    }
    // Characters compare under the locale: accents do not count, case does.
    EXPECT_TRUE(MatchLike(kTurkishLocale, "k\xE2r", "kar", 0));
    EXPECT_FALSE(MatchLike(kTurkishLocale, "\xE7", "c", 0)); // c cedilla is a letter of its own
    EXPECT_FALSE(MatchLike(kTurkishLocale, "C", "c", 0));
}

TEST(FilterEvaluation, InAndBetween) {
    std::vector<TestRecord> records;
    for (int i = 0; i < 6; ++i)
        records.push_back(TestRecord().I32("SAYI", i).I16("KUCUK", int16_t(i)));
    records.push_back(TestRecord());
    const SelectCase cases[] = {
        { "[SAYI] IN (1, 3, 5)", { 1, 3, 5 } }, { "[SAYI] NOT IN (1, 3, 5)", { 0, 2, 4, 6 } },
        { "[SAYI] IN (NULL)", { 6 } }, { "[SAYI] BETWEEN 2 AND 4", { 2, 3, 4 } },
        { "[SAYI] NOT BETWEEN 2 AND 4", { 0, 1, 5, 6 } },
        { "[SAYI] BETWEEN 1.5 AND 3.5", { 2, 3 } }, { "[SAYI] IN (1.0, 2.5, 4)", { 1, 4 } },
        { "[SAYI] = 1.5", {} }, { "[SAYI] <> 1.5", { 0, 1, 2, 3, 4, 5, 6 } },
        { "[SAYI] >= 1.5", { 2, 3, 4, 5 } }, { "[SAYI] > 1.5", { 2, 3, 4, 5 } },
        { "[SAYI] < 1.5", { 0, 1 } }, { "[SAYI] <= 1.5", { 0, 1 } }, { "[SAYI] < -0.5", {} },
        { "1.5 < [SAYI]", { 2, 3, 4, 5 } }, { "[KUCUK] < 100000", { 0, 1, 2, 3, 4, 5 } },
        { "[KUCUK] = 100000", {} }, { "[KUCUK] >= -100000", { 0, 1, 2, 3, 4, 5 } },
        { "[SAYI] IN ([KUCUK] + 1, 3)", { 3, 6 } }, // NULL = NULL holds
    };
    ExpectSelections(records, cases);
    auto words = Words({ "armut", "ceviz", "elma", "" });
    EXPECT_EQ(Select("[ANAHTAR] BETWEEN 'b' AND 'd'", words), (std::vector<int> { 1 }));
    EXPECT_EQ(Select("[ANAHTAR] IN ('elma', 'armut')", words), (std::vector<int> { 0, 2 }));
}

TEST(FilterEvaluation, StringFunctionsUnderTurkishLocale) {
    const ResultCase cases[] = {
        { "UPPER('i\xFD')", "\xDDI" },
        { "LOWER('\xDDI')", "i\xFD" },
        { "UCASE('\xE7i\xF0')", "\xC7\xDD\xD0" },
        { "SUBSTRING('abc' FROM 0 FOR 2)", "ab" },
        { "SUBSTRING('abcdef' FROM 3)", "cdef" },
        { "SUBSTRING('abc' FROM 2 FOR -1)", "<NULL>" },
        { "SUBSTRING('abc' FROM 5)", "<NULL>" },
        { "RIGHT('abc' FOR 10)", "abc" },
        { "LEFT('abc' FOR 2)", "ab" },
        { "LEFT('abc' FOR -2)", "<NULL>" },
        { "TRIM(BOTH 'xy' FROM 'xxaxx')", "a" },
        { "TRIM(LEADING 'x' FROM 'xxaxx')", "axx" },
        { "RTRIM('  a  ')", "  a" },
        { "ALLTRIM('  a  ')", "a" },
        { "REPEAT('ab' FOR 3)", "ababab" },
        { "REPEAT('ab' FOR 0)", "<NULL>" },
        { "REPLACE('a' WITH 'xy' IN 'banana')", "bxynxynxy" },
        { "REPLACE('ana' WITH '' IN 'banana')", "bna" },
        { "CONCAT('a' WITH 'b')", "ab" },
        { "'a' || NULL || 'b'", "ab" },
        { "[ANAHTAR] + '!'", "kalem!" },
        { "CAST(12 AS VARCHAR(5))", "12" },
        { "CAST(123456 AS CHAR(3))", "123" },
        { "CAST(CAST('2005-02-03' AS DATE) AS VARCHAR(20))", "2005-02-03" },
        { "CAST(1.5 AS VARCHAR(10))", "1.5" },
        { "IF([ANAHTAR] LIKE 'k%' THEN 'evet' ELSE 'hay\xFDr')", "evet" },
        { "CASE [ANAHTAR] WHEN 'x' THEN 'bir' WHEN 'kalem' THEN 'iki' END", "iki" },
        { "CASE WHEN 1 > 2 THEN 'bir' END", "<NULL>" },
    };
    TestRecord record = TestRecord().Text("ANAHTAR", "kalem");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(ComputeText(c.expression, record, kTurkishLocale), c.result);
    }
    const ResultCase numbers[] = {
        { "POS('na' IN 'banana')", "3" },
        { "POSITION('x', 'banana')", "0" },
        { "OCCURS('ana' IN 'banana')", "1" },
        { "OCCURS('a' IN 'banana')", "3" },
        { "LENGTH('\xE7i\xF0')", "3" },
        { "LENGTH([KOD])", "0" },
    };
    for (const auto& c : numbers) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(ComputeNumber(c.expression), c.result);
    }
}

TEST(FilterEvaluation, CaseInsensitiveMarkOfUpperAndLower) {
    TExpTokenPtr marked = Prepare("UPPER([ANAHTAR]) = UPPER('ka')");
    EXPECT_EQ(marked->Kind, nkBinary);
    EXPECT_TRUE(marked->CaseInsensitive);
    EXPECT_EQ(marked->Right->Kind, nkConstant);
    EXPECT_EQ(marked->Right->TextValue(), "KA");
    EXPECT_FALSE(Prepare("UPPER([ANAHTAR]) = 'KA'")->CaseInsensitive);
    EXPECT_FALSE(Prepare("UPPER([ANAHTAR]) = LOWER('ka')")->CaseInsensitive);
    EXPECT_TRUE(Prepare("LOWER([ANAHTAR]) IN (LOWER('a'), LOWER('b'))")->CaseInsensitive);
    EXPECT_TRUE(Prepare("UPPER([ANAHTAR]) LIKE UPPER('%a%')")->CaseInsensitive);
    // A string comparison takes the filter's flag instead.
    TExpTokenPtr partial = Prepare("UPPER([ANAHTAR]) = UPPER('ka*')");
    EXPECT_EQ(partial->Kind, nkStringCompare);
    EXPECT_FALSE(partial->CaseInsensitive);
    EXPECT_EQ(partial->PartialLength, 2u);
}

TEST(FilterEvaluation, DatesAndTimes) {
    int32_t day = EncodeDate(2005, 12, 1);
    TestRecord record = TestRecord()
                            .I32("TARIH", day)
                            .I32("SAAT", EncodeTime(10, 30, 15, 250))
                            .F64("ZAMAN", double(day) * kMsPerDay + EncodeTime(12, 0, 0, 0));
    const MatchCase cases[] = {
        { "[TARIH] = '2005-12-01'", true },
        { "'2005-12-01' = [TARIH]", true },
        { "[TARIH] + 1 = '2005-12-02'", true },
        { "1 + [TARIH] = '2005-12-02'", true },
        { "[TARIH] - 31 = '2005-10-31'", true },
        { "[TARIH] - '2005-11-01' = 30", true },
        { "[TARIH] < [ZAMAN]", true },
        { "[TARIH] = [ZAMAN] - 43200000", true },
        { "[ZAMAN] - [TARIH] = 43200000", true },
        { "[ZAMAN] = '2005-12-01 12:00'", true },
        { "[ZAMAN] > '2005-12-01'", true },
        { "[TARIH] BETWEEN '2005-01-01' AND '2005-12-31'", true },
        { "[TARIH] IN ('2005-12-02', '2005-12-01')", true },
        { "[SAAT] = '10:30:15.250'", true },
        { "[SAAT] + 1800000 = '11:00:15.250'", true },
        { "[SAAT] - '10:00' = 1815250", true },
        { "[SAAT] + 50400000 = '00:30:15.250'", true }, // a time of day wraps at midnight
        { "EXTRACT(YEAR FROM [TARIH]) = 2005", true },
        { "EXTRACT(MONTH FROM [ZAMAN]) = 12", true },
        { "EXTRACT(DAY FROM [TARIH]) = 1", true },
        { "EXTRACT(DAYOFWEEK FROM [TARIH]) = 4", true }, // a Thursday
        { "EXTRACT(DAYOFYEAR FROM [TARIH]) = 335", true },
        { "EXTRACT(WEEK FROM [TARIH]) = 48", true },
        { "EXTRACT(WEEK FROM CAST('2005-01-01' AS DATE)) = 53", true },
        { "EXTRACT(WEEK FROM CAST('2008-12-29' AS DATE)) = 1", true },
        { "EXTRACT(HOUR FROM [SAAT]) = 10", true },
        { "EXTRACT(MSECOND FROM [SAAT]) = 250", true },
        { "EXTRACT(HOUR FROM [ZAMAN]) = 12", true },
        { "EXTRACT(HOUR FROM [TARIH]) = 0", true },
        { "EXTRACT(YEAR FROM [SAAT]) IS NULL", true },
        { "DAYSFROMMSECS(90000000) = 1", true },
        { "HOURSFROMMSECS(90000000) = 1", true },
        { "YEARSFROMMSECS(31536000000 * 2 + 5) = 2", true },
        { "MSECSFROMMSECS(31536000000 * 2 + 5) = 5", true },
        { "CURRENT_DATE > '2020-01-01'", true },
        { "CURRENT_TIMESTAMP > [ZAMAN]", true },
    };
    ExpectMatches(record, cases);
    EXPECT_TRUE(Matches(*Prepare("[TARIH] IS NULL"), TestRecord(), 0));
    EXPECT_FALSE(Matches(*Prepare("[TARIH] + 1 > '2000-01-01'"), TestRecord(), 0));
}

TEST(FilterEvaluation, NumericTypesAndArithmetic) {
    TestRecord record = TestRecord()
                            .I32("SAYI", 7)
                            .I32("SIRA", 3)
                            .I16("KUCUK", -2)
                            .U16("KELIME", 65535)
                            .I64("BUYUK", 5'000'000'000)
                            .F64("FIYAT", 2.5)
                            .F64("PARA", 10.25)
                            .Currency("TUTAR", 123'4500, 2);
    const ResultCase cases[] = {
        { "[SAYI] + [KUCUK]", "5" },
        { "[SAYI] * [KELIME]", "458745" },
        { "[SAYI] / 2", "3.5" },
        { "[SAYI] MOD 3", "1" },
        { "MOD([BUYUK], 7)", "2" },
        { "[BUYUK] + 1", "5000000001" },
        { "[SAYI] - [FIYAT]", "4.5" },
        { "[PARA] * 2", "20.5" },
        { "-[KUCUK]", "2" },
        { "+[SIRA]", "3" },
        { "[TUTAR]", "12345/2" },
        { "[TUTAR] + 1", "12445/2" },
        { "[TUTAR] * 2", "24690/2" },
        { "[TUTAR] / 3", "4115/2" },
        { "[TUTAR] - [FIYAT]", "120.95" },
        { "ABS([KUCUK])", "2" },
        { "ROUND(2.567 TO 2)", "2.57" },
        { "TRUNC(2.567 TO 2)", "2.56" },
        { "ROUND([TUTAR] TO 1)", "12350/2" },
        { "ROUND([SAYI])", "7" },
        { "CEILING([FIYAT])", "3" },
        { "FLOOR(-[FIYAT])", "-3" },
        { "FLOOR([TUTAR])", "123" },
        { "SIGN([KUCUK])", "-1" },
        { "SQRT(16)", "4" },
        { "POWER(2 TO 10)", "1024" },
        { "ATAN2(0, 1)", "0" },
        { "CAST('42' AS INTEGER)", "42" },
        { "CAST(' 3.25 ' AS DECIMAL(10, 2))", "325/2" },
        { "CAST(7.9 AS SMALLINT)", "7" },
        { "CAST(-7.9 AS INTEGER)", "-7" },
        { "CAST(70000 AS SMALLINT)", "<NULL>" },
        { "CAST('abc' AS INTEGER)", "<NULL>" },
        { "CAST(TRUE AS INTEGER)", "1" },
        { "IF([SAYI] > 5 THEN 1 ELSE 2.5)", "1" },
        { "COALESCE(NULL, [SAYI], 1.5)", "7" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(ComputeNumber(c.expression, record), c.result);
    }
    EXPECT_EQ(Compute("[PARA] * 2", record)->SubType, stMoney);
    EXPECT_EQ(Compute("[SAYI] + [KUCUK]", record)->DataType, ftInteger);
    EXPECT_EQ(Compute("[SAYI] + [BUYUK]", record)->DataType, ftLargeInt);
    EXPECT_EQ(Compute("[TUTAR] + [SAYI]", record)->DataType, ftBcd);
    EXPECT_EQ(Compute("[TUTAR] + [FIYAT]", record)->DataType, ftFloat);
}

TEST(FilterEvaluation, NumericErrorsGiveNull) {
    TestRecord record = TestRecord().I32("SAYI", 0).I64("BUYUK", INT64_MAX).F64("FIYAT", 0);
    const char* nulls[] = {
        "10 / [SAYI]",
        "[SAYI] / 0",
        "[FIYAT] / 0",
        "[SAYI] MOD 0",
        "MOD(5, [SAYI])",
        "[BUYUK] + 1",
        "2147483647 + [SAYI] + 1",
        "[SAYI] - 2147483647 - 2",
        "CAST([BUYUK] AS INTEGER)",
        "ACOS(2)",
        "LOG([FIYAT])",
        "SQRT(-1)",
        "EXP(1000)",
        "COT(0)",
        "POWER(0 TO -1)",
        "CAST(1 AS DECIMAL) / 0",
    };
    for (const char* expression : nulls) {
        SCOPED_TRACE(expression);
        EXPECT_TRUE(Compute(expression, record)->IsNull);
    }
    // A filter over such a value selects nothing and raises nothing.
    EXPECT_EQ(Select("10 / [SAYI] > 1", { record }), (std::vector<int> {}));
    EXPECT_EQ(Select("10 / [SAYI] IS NULL", { record }), (std::vector<int> { 0 }));
    // AND decides by its right operand first, so a guard written on the right protects the left.
    EXPECT_EQ(Select("10 / [SAYI] > 1 AND [SAYI] <> 0", { record }), (std::vector<int> {}));
}

TEST(FilterEvaluation, OtherFieldTypes) {
    TestRecord record = TestRecord()
                            .Text("KOD", "AB  ")
                            .Text("KIMLIK", "{12345678-1234-1234-1234-123456789ABC}")
                            .Text("ACIKLAMA", "bir kalem tarifi")
                            .Bytes("RESIM", { 'x', 'y' })
                            .Bytes("BAYT", { 1, 2, 3, 4 })
                            .Bytes("DEGISKEN", { 2, 0, 9, 9, 0, 0, 0, 0 });
    const MatchCase cases[] = {
        { "[KOD] = 'AB  '", true },
        { "[KIMLIK] LIKE '{%}'", true },
        { "[ACIKLAMA] LIKE '%kalem%'", true },
        { "[ACIKLAMA] = 'bir kalem tarifi'", true },
        { "UPPER([ACIKLAMA]) = 'BIR KALEM TARIFI'", true },
        { "LENGTH([ACIKLAMA]) = 16", true },
        { "[ANAHTAR] = [RESIM]", false },
        { "[RESIM] IS NOT NULL", true },
        { "[BAYT] = [BAYT]", true },
        { "[BAYT] <> [DEGISKEN]", true },
        { "[DEGISKEN] IS NOT NULL", true },
        { "CURRENT_GUID LIKE '{________-____-4___-____-____________}'", true },
    };
    ExpectMatches(record, cases);
}

TEST(FilterEvaluation, ComputedBlobsHaveTheSizeOfABlobField) {
    // A BLOB node declares the size of a BLOB field in the record, whatever its value's length.
    uint32_t field_size = Compute("[ACIKLAMA]")->ValueSize;
    for (const char* expression :
        { "CAST('abc' AS MEMO)", "CAST('abc' AS BLOB)", "CAST(NULL AS MEMO)" }) {
        SCOPED_TRACE(expression);
        EXPECT_EQ(Compute(expression)->ValueSize, field_size);
    }
    EXPECT_EQ(ComputeText("CAST('longer than a reference' AS MEMO)"), "longer than a reference");
    EXPECT_TRUE(Compute("CAST(NULL AS MEMO)")->IsNull);
}

TEST(FilterEvaluation, VerificationErrors) {
    const struct {
        const char* filter;
        const char* message;
        int32_t line;
        int32_t column;
    } cases[] = {
        { "[ANAHTAR] = 5",
            "Expected NULL, FixedChar, GUID, String, Memo, or BLOB expression but instead found 5 "
            "in filter expression",
            1, 13 },
        { "[XYZ] = 1", "Expected column name but instead found [XYZ] in filter expression", 1, 1 },
        { "[*] IS NULL", "Expected column name but instead found [*] in filter expression", 1, 1 },
        { "[A] = 1 AND\n  \"NAME\" = 2",
            "Expected column name but instead found [A] in filter expression", 1, 1 },
        { "[SAYI] = 1 AND\n  \"NAME\" = 2",
            "Expected column name but instead found \"NAME\" in filter expression", 2, 3 },
        { "[AKTIF] AND 'x'",
            "Expected NULL, Boolean expression but instead found 'x' in filter expression", 1, 13 },
        { "NOT [ANAHTAR]",
            "Expected NULL, Boolean expression but instead found [ANAHTAR] in filter expression", 1,
            5 },
        { "[SAYI] + 'a' > 1",
            "Expected NULL, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, BCD, "
            "Date, Time, or Timestamp expression but instead found 'a' in filter expression",
            1, 10 },
        { "UPPER([SAYI]) = 'x'",
            "Expected NULL, FixedChar, GUID, String, or Memo expression but instead found [SAYI] "
            "in filter expression",
            1, 7 },
        { "[RESIM] = 'x'", "Expected NULL expression but instead found 'x' in filter expression", 1,
            11 },
        { "[AKTIF] > TRUE",
            "Expected NULL, FixedChar, GUID, String, Bytes, VarBytes, SmallInt, Word, AutoInc, "
            "Integer, LargeInt, Currency, Float, BCD, Date, Time, Timestamp, Memo, or BLOB "
            "expression but instead found [AKTIF] in filter expression",
            1, 1 },
        { "[TARIH] = '2005-13-01'",
            "Expected NULL, Date, or Timestamp expression but instead found '2005-13-01' in "
            "filter expression",
            1, 11 },
        { "[SAYI] MOD 1.5 = 1",
            "Expected NULL, SmallInt, Word, AutoInc, Integer, or LargeInt expression but instead "
            "found 1.5 in filter expression",
            1, 12 },
        { "[ANAHTAR] LIKE 5",
            "Expected NULL, FixedChar, GUID, or String expression but instead found 5 in filter "
            "expression",
            1, 16 },
        { "CAST([SAYI] AS CHAR(600)) = 'x'",
            "Length argument must be greater than 0 and less than or equal to 512", 1, 21 },
        { "CAST([SAYI] AS WIDECHAR(300)) IS NULL",
            "Length argument must be greater than 0 and less than or equal to 512", 1, 25 },
        { "CAST([SAYI] AS DECIMAL(10, 5)) = 1",
            "Scale argument must be an integer less than or equal to 4 but greater than or equal "
            "to 0",
            1, 28 },
        { "COALESCE(NULL, NULL) = 1",
            "At least one of the COALESCE expression arguments must be a non-NULL value", 1, 1 },
        { "CASE WHEN [SAYI] = 1 THEN NULL END = 1",
            "At least one of the CASE..THEN expression arguments must be a non-NULL value", 1, 1 },
        { "COALESCE([SAYI], 'x') = 1",
            "Expected NULL, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, or BCD "
            "expression but instead found 'x' in filter expression",
            1, 18 },
        { "[ANAHTAR]", "filter expression must be a boolean expression", 0, 0 },
        { "[SAYI] + 1", "filter expression must be a boolean expression", 0, 0 },
        { "TEXTSEARCH('a' IN [ANAHTAR])",
            "Invalid expression TEXTSEARCH found in filter expression", 1, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        EZOLVEKEngineError error = FilterError(c.filter);
        EXPECT_EQ(error.Code(), ZOLVEK_INVALIDFILTER);
        EXPECT_EQ(error.ErrorMessage(), c.message);
        EXPECT_EQ(error.Context().ErrorLine, c.line);
        EXPECT_EQ(error.Context().ErrorColumn, c.column);
    }
    EXPECT_STREQ(FilterError("[ANAHTAR] = 5").what(),
        "ZOLVEK Engine Error # 10051 Filter error for the table 'datalar' - Expected NULL, "
        "FixedChar, GUID, String, Memo, or BLOB expression but instead found 5 in filter "
        "expression at line 1, column 13");
}

TEST(FilterBinding, ConstantsAreFoldedAndTyped) {
    TExpTokenPtr sum = Prepare("[SAYI] = 1 + 2 * 3");
    ASSERT_EQ(sum->Right->Kind, nkConstant);
    EXPECT_EQ(sum->Right->DataType, ftInteger);
    EXPECT_EQ(LoadI32(sum->Right->Value.data()), 7);

    // The left operand of a comparison is kept node by node.
    TExpTokenPtr left = Prepare("1 + 2 = [SAYI]");
    EXPECT_EQ(left->Left->Kind, nkBinary);

    TExpTokenPtr widened = Prepare("[FIYAT] = 2");
    EXPECT_EQ(widened->Right->DataType, ftFloat);
    EXPECT_EQ(LoadDouble(widened->Right->Value.data()), 2.0);

    TExpTokenPtr narrowed = Prepare("[KUCUK] > 2.5");
    EXPECT_EQ(narrowed->Op, opGreater);
    EXPECT_EQ(narrowed->Right->DataType, ftSmallInt);
    EXPECT_EQ(LoadI16(narrowed->Right->Value.data()), 2);

    TExpTokenPtr never = Prepare("[SAYI] = 1.5");
    EXPECT_EQ(never->Op, opNotEqual);
    EXPECT_EQ(never->Left->DataType, ftBoolean);
    EXPECT_FALSE(ReferencesColumn(*never));

    TExpTokenPtr today = Prepare("[TARIH] < CURRENT_DATE");
    EXPECT_EQ(today->Right->Kind, nkConstant);
    EXPECT_EQ(today->Right->DataType, ftDate);

    TExpTokenPtr wrapped = Prepare("[AKTIF]");
    EXPECT_EQ(wrapped->Kind, nkBinary);
    EXPECT_EQ(wrapped->Left->Kind, nkColumn);
    EXPECT_EQ(wrapped->Right->DataType, ftBoolean);

    // The bound tree is independent of the parsed one and may be evaluated repeatedly.
    TExpTokenPtr bound = Prepare("[SAYI] > 2 AND [ANAHTAR] = 'a*'");
    TestRecord yes = TestRecord().I32("SAYI", 3).Text("ANAHTAR", "ab");
    TestRecord no = TestRecord().I32("SAYI", 3).Text("ANAHTAR", "ba");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Matches(*bound, yes, 0));
        EXPECT_FALSE(Matches(*bound, no, 0));
    }
}

TEST(FilterBinding, GrowingTextsAreBounded) {
    EXPECT_TRUE(Compute("REPEAT('abcd' FOR 1000000)")->IsNull);
    EXPECT_EQ(ComputeNumber("LENGTH(REPEAT('abcd' FOR 1000))"), "4000");
    EXPECT_TRUE(Compute("REPLACE('a' WITH REPEAT('x' FOR 1000) IN REPEAT('a' FOR 2000))")->IsNull);
    std::string chain = "REPEAT('x' FOR 600000)";
    chain += " + " + chain;
    EXPECT_TRUE(Compute(chain)->IsNull);
}

} // namespace
} // namespace zolvek
