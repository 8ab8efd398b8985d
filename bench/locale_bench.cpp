// Comparisons per second of glossary key words under "ANSI Standard" and Turkish (1055),
// case-sensitive and case-insensitive, and the cost of upper-casing a key.
//
// The words are Turkish words of 10 to 30 letters from the system's hunspell dictionary
// (/usr/share/hunspell/tr_TR.dic, package hunspell-tr), converted to code page 1254 and
// shuffled with a fixed seed. Two workloads:
//   Random    pairs of unrelated words, which usually differ in the first letters;
//   Neighbour each word against the next one in sorted order, which share long prefixes, as
//             the keys met deep in an index search do.
#include "db/base/locale.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dictionary.h"

#include <benchmark/benchmark.h>

namespace {

using namespace zolvek;

constexpr size_t kWords = 8192;

const std::vector<std::string>& Words() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> all;
        for (std::string& word : bench::ReadDictionaryWords()) {
            if (word.size() >= 10 && word.size() <= 30 && word.find('?') == std::string::npos)
                all.push_back(std::move(word));
        }
        std::mt19937 random(1055);
        std::shuffle(all.begin(), all.end(), random);
        if (all.size() > kWords)
            all.resize(kWords);
        // Give a share of the words a capital initial, as glossary entries often have.
        for (size_t i = 0; i < all.size(); i += 3)
            UpperCaseLocale(kTurkishLocale, all[i].data(), 1);
        return all;
    }();
    return words;
}

// Pairs of indexes into Words().
std::vector<std::pair<size_t, size_t>> Pairs(bool neighbours, uint32_t locale_id) {
    const std::vector<std::string>& words = Words();
    std::vector<std::pair<size_t, size_t>> pairs;
    if (neighbours) {
        std::vector<size_t> order(words.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return CompareLocaleStrings(locale_id, words[a], words[b], true) < 0;
        });
        for (size_t i = 1; i < order.size(); ++i)
            pairs.emplace_back(order[i - 1], order[i]);
    } else {
        std::mt19937 random(42);
        std::uniform_int_distribution<size_t> pick(0, words.size() - 1);
        for (size_t i = 0; i < words.size(); ++i)
            pairs.emplace_back(pick(random), pick(random));
    }
    return pairs;
}

void BM_Compare(
    benchmark::State& state, uint32_t locale_id, bool case_insensitive, bool neighbours) {
    const std::vector<std::string>& words = Words();
    if (words.size() < 1000) {
        state.SkipWithError("the Turkish dictionary /usr/share/hunspell/tr_TR.dic is missing");
        return;
    }
    const auto pairs = Pairs(neighbours, locale_id);
    size_t i = 0;
    for (auto _ : state) {
        const auto& [a, b] = pairs[i];
        benchmark::DoNotOptimize(
            CompareLocaleStrings(locale_id, words[a], words[b], case_insensitive));
        if (++i == pairs.size())
            i = 0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_UpperCase(benchmark::State& state, uint32_t locale_id) {
    const std::vector<std::string>& words = Words();
    if (words.empty()) {
        state.SkipWithError("the Turkish dictionary /usr/share/hunspell/tr_TR.dic is missing");
        return;
    }
    char key[32];
    size_t i = 0;
    for (auto _ : state) {
        const std::string& word = words[i];
        std::copy(word.begin(), word.end(), key);
        UpperCaseLocale(locale_id, key, word.size());
        benchmark::DoNotOptimize(key);
        if (++i == words.size())
            i = 0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

BENCHMARK_CAPTURE(BM_Compare, Ansi_Sensitive_Random, kAnsiStandardLocale, false, false);
BENCHMARK_CAPTURE(BM_Compare, Ansi_Insensitive_Random, kAnsiStandardLocale, true, false);
BENCHMARK_CAPTURE(BM_Compare, Turkish_Sensitive_Random, kTurkishLocale, false, false);
BENCHMARK_CAPTURE(BM_Compare, Turkish_Insensitive_Random, kTurkishLocale, true, false);
BENCHMARK_CAPTURE(BM_Compare, Ansi_Sensitive_Neighbour, kAnsiStandardLocale, false, true);
BENCHMARK_CAPTURE(BM_Compare, Ansi_Insensitive_Neighbour, kAnsiStandardLocale, true, true);
BENCHMARK_CAPTURE(BM_Compare, Turkish_Sensitive_Neighbour, kTurkishLocale, false, true);
BENCHMARK_CAPTURE(BM_Compare, Turkish_Insensitive_Neighbour, kTurkishLocale, true, true);
BENCHMARK_CAPTURE(BM_UpperCase, Ansi, kAnsiStandardLocale);
BENCHMARK_CAPTURE(BM_UpperCase, Turkish, kTurkishLocale);

} // namespace

BENCHMARK_MAIN();
