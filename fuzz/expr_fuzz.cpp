// Feeds arbitrary texts to the filter expression language: parse, verify, bind and evaluate
// against a fixed table with one field of each engine type and a few records (one with values,
// one all NULL, one with extreme values). Only engine errors may come out; any other
// exception, a crash or a sanitizer report is a finding. The first byte chooses the filter
// options and the locale; the rest is the text.
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/base/value_text.h"
#include "db/expr/expr_bind.h"
#include "db/expr/expr_eval.h"
#include "db/expr/expr_parser.h"
#include "db/expr/expr_verifier.h"
#include "tests/expr/expr_test_table.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <string_view>
#include <vector>

using namespace zolvek;
using zolvek::testing::LookupTestColumn;
using zolvek::testing::ReadTestColumn;
using zolvek::testing::TestRecord;

namespace {

const std::vector<TestRecord>& Records() {
    static const std::vector<TestRecord> records = [] {
        std::vector<TestRecord> result;
        int32_t day = EncodeDate(2005, 12, 1);
        result.push_back(TestRecord()
                             .Text("ANAHTAR", "kalem")
                             .Text("KOD", "AB  ")
                             .Text("KIMLIK", "{12345678-1234-1234-1234-123456789ABC}")
                             .I32("TARIH", day)
                             .Text("ACIKLAMA", "bir kalem tarifi \xFD\xDD")
                             .Bytes("RESIM", { 1, 0, 2 })
                             .U16("AKTIF", 1)
                             .I16("KUCUK", -2)
                             .I32("SAYI", 7)
                             .I32("SIRA", 3)
                             .F64("FIYAT", 2.5)
                             .F64("PARA", 10.25)
                             .Currency("TUTAR", 123'4500, 2)
                             .Bytes("BAYT", { 1, 2, 3, 4 })
                             .I32("SAAT", EncodeTime(10, 30, 15, 250))
                             .F64("ZAMAN", double(day) * kMsPerDay + 43'200'000)
                             .U16("KELIME", 65535)
                             .Bytes("DEGISKEN", { 2, 0, 9, 9, 0, 0, 0, 0 })
                             .I64("BUYUK", 5'000'000'000));
        result.push_back(TestRecord());
        // Extreme and damaged values: the evaluator must take whatever a record holds.
        std::vector<uint8_t> bad_bcd(34, 0xFF);
        result.push_back(TestRecord()
                             .Text("ANAHTAR", std::string(175, '%'))
                             .I32("TARIH", std::numeric_limits<int32_t>::min())
                             .Text("ACIKLAMA", std::string(3000, 'a'))
                             .U16("AKTIF", 7)
                             .I16("KUCUK", -32768)
                             .I32("SAYI", std::numeric_limits<int32_t>::min())
                             .F64("FIYAT", std::numeric_limits<double>::infinity())
                             .F64("PARA", std::numeric_limits<double>::quiet_NaN())
                             .Bytes("TUTAR", bad_bcd)
                             .I32("SAAT", -1)
                             .F64("ZAMAN", -1e300)
                             .I64("BUYUK", std::numeric_limits<int64_t>::min()));
        return result;
    }();
    return records;
}

void EvaluateAll(TExpToken& bound, uint32_t locale) {
    for (const TestRecord& record : Records()) {
        Evaluate(bound, record.Image(), locale, ReadTestColumn);
        (void)IsTrue(bound);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    uint8_t options_byte = data[0];
    TBindOptions options;
    options.case_insensitive = options_byte & 1;
    options.no_partial_compare = options_byte & 2;
    options.locale_id = (options_byte & 4) ? kTurkishLocale : kAnsiStandardLocale;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        // The filter path of a cursor.
        TExpTokenPtr bound
            = PrepareFilterExpression(text, "db", "datalar", nullptr, LookupTestColumn, options);
        EvaluateAll(*bound, options.locale_id);
    } catch (const EZOLVEKEngineError&) { }
    try {
        // Any expression, boolean or not, verified without wrapping and evaluated.
        TExpTokenPtr parsed = ParseFilterExpression(text, "db", "datalar");
        TExpressionVerifier verifier;
        verifier.SetErrorContext(ZOLVEK_INVALIDFILTER, "db", "datalar", "filter expression");
        verifier.SetColumnLookup(LookupTestColumn);
        verifier.Verify(parsed, true, false);
        TExpTokenPtr bound = BindExpression(*parsed, nullptr, options);
        EvaluateAll(*bound, options.locale_id);
        EvaluateAll(*parsed, options.locale_id); // unbound trees evaluate too
    } catch (const EZOLVEKEngineError&) { }
    return 0;
}
