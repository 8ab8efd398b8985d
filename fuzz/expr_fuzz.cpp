// Feeds arbitrary texts to the filter expression language: parse, verify, bind and evaluate
// against a fixed table with one field of each engine type and a few records (one with values,
// one all NULL, one with extreme values). Only engine errors may come out; any other
// exception, a crash or a sanitizer report is a finding. The first byte chooses the filter
// options and the locale; the rest is the text.
//
// The same text is then a filter on a small engine table with indexes of every kind (case-
// insensitive, descending, compound), once answered with index ranges and once by reading
// every record: the two answers, the record count and the records navigation shows must agree;
// a difference aborts.
#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/base/value_text.h"
#include "db/cursor/cursor.h"
#include "db/expr/expr_bind.h"
#include "db/expr/expr_eval.h"
#include "db/expr/expr_parser.h"
#include "db/expr/expr_verifier.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/session.h"
#include "db/storage/table_definition.h"
#include "tests/expr/expr_test_table.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
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

// ---- The engine table ----

FieldDefinition MakeField(const char* name, uint8_t type, int32_t size = 0, uint8_t sub = 0) {
    FieldDefinition field;
    field.Name = name;
    field.DataType = type;
    field.Size = size;
    field.SubType = sub;
    return field;
}

enum : int32_t { kAnahtar = 1, kKod, kTarih, kAktif, kKucuk, kSayi, kFiyat, kZaman, kSaat, kBuyuk };

TableDefinition EngineTableDefinition(uint32_t locale) {
    TableDefinition definition;
    definition.Fields = { MakeField("ANAHTAR", kTypeString, 12), MakeField("KOD", kTypeString, 4),
        MakeField("TARIH", kTypeDate), MakeField("AKTIF", kTypeBoolean),
        MakeField("KUCUK", kTypeSmallInt), MakeField("SAYI", kTypeInteger),
        MakeField("FIYAT", kTypeFloat), MakeField("ZAMAN", kTypeDateTime),
        MakeField("SAAT", kTypeTime), MakeField("BUYUK", kTypeLargeInt) };
    definition.LocaleID = locale;
    definition.IndexPageSize = 1024;
    auto index
        = [&](const char* name, std::vector<int32_t> fields, bool ci, std::vector<bool> desc = {}) {
              IndexDefinition d;
              d.Name = name;
              d.Fields = std::move(fields);
              d.CaseInsensitive = ci;
              d.DescFields = std::move(desc);
              d.Compression = icFull;
              definition.SecondaryIndexes.push_back(d);
          };
    index("ACI", { kAnahtar }, true);
    index("ACS", { kAnahtar }, false, { true });
    index("KOD", { kKod, kSayi }, true);
    index("TA", { kTarih, kAnahtar }, false, { true, false });
    index("AKTIF", { kAktif }, false);
    index("KUCUK", { kKucuk }, false, { true });
    index("SAYI", { kSayi }, false);
    index("FIYAT", { kFiyat }, false, { true });
    index("ZAMAN", { kZaman }, false);
    index("SAAT", { kSaat }, false);
    index("BUYUK", { kBuyuk }, false);
    return definition;
}

// Forty records of short texts (Turkish letters, accented i letters, letter case, a control
// character, a sharp s), floats with an infinity, a NaN and a denormal, small numbers and
// their extremes, and NULLs in every field now and then.
void FillEngineTable(TDataCursor& cursor) {
    static const char* const kTexts[] = { "kalem", "KALEM", "Kalemler", "\xFDl\xFDk", "Irmak",
        "ila\xE7", "\xDDnci", "ka*", "mill\xEE", "M\xDDLL\xCE", "d\xEDn",
        ("k\x01"
         "a"),
        "\xDF", "ss", "SS", "k\xE2r", "%a_", "a b", "zz", "" };
    static const double kFloats[] = { -2.5, -0.0, 0, 0.5, 1, 1e300, -1e300,
        std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(), 5e-324 };
    static const int64_t kIntegers[] = { std::numeric_limits<int32_t>::min(), -7, -1, 0, 1, 2, 7,
        std::numeric_limits<int32_t>::max() };
    std::vector<uint8_t> record(cursor.RecordSize());
    for (int i = 0; i < 40; ++i) {
        cursor.ClearRecord(record.data());
        auto null = [&](int field) { return (i * 7 + field * 3) % 11 == 0; };
        auto text = [&](int field, const char* value) {
            if (!null(field))
                cursor.WriteFieldValue(field, record.data(),
                    reinterpret_cast<const uint8_t*>(value), std::strlen(value));
        };
        uint8_t value[8];
        text(kAnahtar, kTexts[(i * 5) % std::size(kTexts)]);
        text(kKod, kTexts[(i * 3 + 1) % std::size(kTexts)]);
        auto integer = [&](int field, int64_t v, size_t size) {
            if (null(field))
                return;
            if (size == 2)
                StoreI16(value, int16_t(v));
            else if (size == 4)
                StoreI32(value, int32_t(v));
            else
                StoreI64(value, v);
            cursor.WriteFieldValue(field, record.data(), value, size);
        };
        integer(kTarih, EncodeDate(2005, 12, 1) + (i % 5) - 2, 4);
        integer(kAktif, i % 2, 2);
        integer(kKucuk, kIntegers[i % std::size(kIntegers)] % 30000, 2);
        integer(kSayi, kIntegers[(i * 3) % std::size(kIntegers)], 4);
        integer(kSaat, (i % 4) * 3'600'000, 4);
        integer(kBuyuk, kIntegers[(i * 5) % std::size(kIntegers)] * 4'000'000'000ll, 8);
        if (!null(kFiyat)) {
            StoreDouble(value, kFloats[i % std::size(kFloats)]);
            cursor.WriteFieldValue(kFiyat, record.data(), value, 8);
        }
        if (!null(kZaman)) {
            StoreDouble(value, double(EncodeDate(2005, 12, 1)) * kMsPerDay + (i % 3) * 43'200'000);
            cursor.WriteFieldValue(kZaman, record.data(), value, 8);
        }
        cursor.InsertRecord(record.data());
    }
    // A deleted slot among the records.
    cursor.MoveFirst();
    cursor.ReadNext(record.data());
    cursor.ReadNext(record.data());
    cursor.DeleteRecord(record.data());
}

struct EngineTables {
    std::string folder;
    TDataEngine engine;
    TDataDirectory* directory = nullptr;
    std::unique_ptr<TDataCursor> cursors[2]; // ANSI Standard, Turkish

    EngineTables() {
        char pattern[] = "/tmp/expr-fuzz-XXXXXX";
        folder = mkdtemp(pattern);
        engine.StartEngine();
        directory = engine.CreateSession()->OpenDirectory("fuzz", folder, false);
        for (int i = 0; i < 2; ++i) {
            std::string name = i == 0 ? "ansi" : "turkish";
            directory->ReleaseTable(directory->CreateTable(
                name, EngineTableDefinition(i == 0 ? kAnsiStandardLocale : kTurkishLocale)));
            cursors[i] = std::make_unique<TDataCursor>(*directory, name);
            cursors[i]->OpenTable();
            FillEngineTable(*cursors[i]);
        }
        std::atexit([] { std::filesystem::remove_all(Tables().folder); });
    }

    static EngineTables& Tables() {
        static EngineTables* tables = new EngineTables();
        return *tables;
    }
};

std::set<uint32_t> Bits(const TRecordsBitmap& bitmap) {
    std::set<uint32_t> bits;
    for (uint32_t r = 0; bitmap.FindNext(r);)
        bits.insert(r);
    return bits;
}

[[noreturn]] void Finding(const char* what, std::string_view text) {
    std::fprintf(stderr, "optimised and plain answers differ (%s) for: %.*s\n", what,
        int(text.size()), text.data());
    std::abort();
}

// A text that reads the clock or a random generator has no one answer to compare.
bool Varies(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = char(std::toupper(uint8_t(c)));
    return upper.find("CURRENT_") != std::string::npos || upper.find("RAND") != std::string::npos;
}

// The text as a filter, answered with index ranges and by reading every record.
void CompareAnswers(std::string_view text, const TBindOptions& options, uint8_t order) {
    if (Varies(text))
        return;
    TDataCursor& cursor = *EngineTables::Tables().cursors[options.locale_id == 0 ? 0 : 1];
    static const char* const kOrders[] = { "", "ACI", "ACS", "TA", "FIYAT", "SAYI", "KOD", "" };
    cursor.SelectIndex(kOrders[order % std::size(kOrders)]);
    std::set<uint32_t> answers[2];
    int32_t counts[2] = { 0, 0 };
    for (int plain = 0; plain < 2; ++plain) {
        TFilterDefinition definition;
        definition.expression = std::string(text);
        definition.case_insensitive = options.case_insensitive;
        definition.no_partial_compare = options.no_partial_compare;
        definition.index_ranges = plain == 0;
        TFilter* filter = nullptr;
        try {
            filter = cursor.CreateFilter(std::move(definition));
        } catch (const EZOLVEKEngineError&) {
            return; // refused either way: the text is the same
        }
        try {
            cursor.ActivateFilter(filter);
        } catch (const EZOLVEKEngineError&) {
            cursor.FreeFilter(filter);
            throw;
        }
        answers[plain] = Bits(filter->Bitmap());
        counts[plain] = cursor.RecordCount();
        if (plain == 0) {
            std::set<uint32_t> seen;
            std::vector<uint8_t> record(cursor.RecordSize());
            cursor.MoveFirst();
            while (cursor.ReadNext(record.data()) == 0 && seen.size() <= answers[0].size())
                seen.insert(cursor.CurrentRecordNumber());
            if (seen != answers[0])
                Finding("navigation", text);
        }
        cursor.FreeFilter(filter);
    }
    if (answers[0] != answers[1])
        Finding("records", text);
    if (counts[0] != counts[1] || counts[0] != int32_t(answers[0].size()))
        Finding("count", text);
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
    CompareAnswers(text, options, uint8_t(options_byte >> 3));
    return 0;
}
