// Filter evaluations per second over the records of a glossary table: the search box's filter
// [ANAHTAR]='ka*' (case-insensitive, a partial comparison of two characters) and the anywhere
// search UPPER(ANAHTAR) LIKE '%KA%', both under the Turkish locale (1055), each evaluated once
// per record image, as a cursor's record scan does when no index answers the filter.
//
// The records hold the first 371,000 words of the system's hunspell dictionary
// (/usr/share/hunspell/tr_TR.dic, package hunspell-tr, UTF-8: the text before '/' on each line,
// converted to code page 1254) in a record image laid out as the data file lays out the table
// datalar's first field: the 25-byte record header, then ANAHTAR's null flag and 176 bytes.
#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/expr/expr_bind.h"
#include "db/expr/expr_eval.h"

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "dictionary.h"

#include <benchmark/benchmark.h>

namespace {

using namespace zolvek;
using namespace zolvek::engine_types;

constexpr size_t kRecords = 371'000;
constexpr size_t kFieldOffset = 25;
constexpr uint32_t kKeySize = 176; // 175 characters and the terminating zero
constexpr size_t kRecordSize = (kFieldOffset + 1 + kKeySize + 7) / 8 * 8;

const std::vector<uint8_t>& Images() {
    static const std::vector<uint8_t> images = [] {
        std::vector<std::string> words = bench::ReadDictionaryWords();
        if (words.size() > kRecords)
            words.resize(kRecords);
        for (std::string& word : words)
            word = word.substr(0, kKeySize - 1);
        if (words.empty())
            words.push_back("kalem");
        std::vector<uint8_t> result(kRecords * kRecordSize, 0);
        for (size_t i = 0; i < kRecords; ++i) {
            const std::string& word = words[i % words.size()];
            uint8_t* image = result.data() + i * kRecordSize;
            StoreU32(image + 1, uint32_t(i + 1));
            StoreU32(image + 5, uint32_t(i + 1));
            image[kFieldOffset] = 1;
            std::memcpy(image + kFieldOffset + 1, word.data(), word.size());
        }
        return result;
    }();
    return images;
}

bool LookupColumn(TExpToken& column) {
    if (column.ColumnName != "ANAHTAR")
        return false;
    column.FieldNo = 1;
    column.DataType = ftString;
    column.ValueSize = kKeySize;
    return true;
}

void ReadColumn(TExpToken& column, const uint8_t* image) {
    const uint8_t* slot = image + kFieldOffset;
    column.Value.assign(slot + 1, slot + 1 + kKeySize);
    column.IsNull = slot[0] == 0;
}

void Scan(benchmark::State& state, const char* filter) {
    const std::vector<uint8_t>& images = Images();
    TExpTokenPtr bound = PrepareFilterExpression(
        filter, "db", "datalar", nullptr, LookupColumn, { false, true, kTurkishLocale });
    ReadColumnFunc read = ReadColumn;
    size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (size_t i = 0; i < kRecords; ++i) {
            Evaluate(*bound, images.data() + i * kRecordSize, kTurkishLocale, read);
            matches += IsTrue(*bound);
        }
        benchmark::DoNotOptimize(matches);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kRecords));
    state.counters["matches"] = double(matches);
}

void BM_PrefixCaseInsensitive(benchmark::State& state) {
    Scan(state, "[ANAHTAR]='ka*'");
}
BENCHMARK(BM_PrefixCaseInsensitive)->Unit(benchmark::kMillisecond);

void BM_UpperLikeAnywhere(benchmark::State& state) {
    Scan(state, "UPPER(ANAHTAR) LIKE '%KA%'");
}
BENCHMARK(BM_UpperLikeAnywhere)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
