// The word services of the glossary window at 371,000 key words, each with an explanation: the
// time from a keystroke to the first row the window can show, against the keystroke budget
// (16 ms) for stems and "did you mean" and 100 ms for the search inside explanations, and the
// build time and memory of the indexes.
//   stems          TStemmer::Stems + the INDEXX seeks that keep the stems the glossary holds
//   did you mean   TKeyWordIndex::Closest (5 words); beside it the same answer by measuring every
//                  key word, and by a BK-tree over the skeletons (plain edit distance <= 2)
//   explanations   TExplanationIndex::Search (first 20 rows ranked) + reading the first row's
//                  explanation through the engine (the memo under the grid)
// and how long after TLexicon starts its two workers each service answers.
// The key words are the words of the Turkish hunspell list; an explanation is 200-600 bytes of
// ten common words (as glossary_bench) with 3-12 further words drawn from the whole list, rarer
// words less often, so that the vocabulary is large and most words are rare.
// Usage: lexicon_bench [records] [work folder]   (the glossary is kept there between runs)
#include "dictionary.h"

#include "app/lexicon/did_you_mean.h"
#include "app/lexicon/explanation_search.h"
#include "app/lexicon/glossary_source.h"
#include "app/lexicon/lexicon.h"
#include "app/lexicon/stems.h"
#include "app/lexicon/turkish_text.h"
#include "db/cursor/cursor.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/glossary_table.h"
#include "db/storage/session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <unistd.h>

using namespace zolvek;
using namespace zendo::lexicon;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    size_t resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

std::string Explanation(size_t i, const std::vector<std::string>& words) {
    std::mt19937 random(uint32_t(i * 2654435761u));
    size_t size = 200 + random() % 401;
    static const char* kCommon[] = { "bir", "s\xF6zc\xFCk", "anlam", "dil",
        "t\xFCrk\xE7"
        "e",
        "a\xE7\xFDklama", "\xF6rnek", "kullan\xFDm", "eski", "yeni" };
    std::string text;
    size_t rare = 3 + random() % 10;
    // Rarer words less often: the square of a uniform number favours the front of the list.
    for (size_t k = 0; k < rare; ++k) {
        double u = double(random()) / double(std::mt19937::max());
        text += words[size_t(u * u * double(words.size() - 1))];
        text += ' ';
    }
    while (text.size() < size) {
        text += kCommon[random() % 10];
        text += ' ';
    }
    return text;
}

struct Stats {
    double median_ms;
    double p95_ms;
    double max_ms;
};

Stats Summarise(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    auto at = [&](double q) { return seconds[size_t(q * double(seconds.size() - 1))] * 1e3; };
    return { at(0.5), at(0.95), seconds.back() * 1e3 };
}

void PrintLine(const char* what, const Stats& stats, double budget_ms) {
    std::printf("%-52s %8.3f %8.3f %8.3f   %s (%g ms)\n", what, stats.median_ms, stats.p95_ms,
        stats.max_ms, stats.max_ms <= budget_ms ? "within" : "OVER", budget_ms);
}

// A BK-tree over skeletons with the plain edit distance, for comparison.
class BkTree {
public:
    void Add(const std::string& word) {
        if (nodes_.empty()) {
            nodes_.push_back({ word, {} });
            return;
        }
        size_t at = 0;
        while (true) {
            int d = Levenshtein(word, nodes_[at].word);
            if (d == 0)
                return;
            auto it = std::find_if(nodes_[at].children.begin(), nodes_[at].children.end(),
                [&](const auto& c) { return c.first == d; });
            if (it == nodes_[at].children.end()) {
                nodes_[at].children.push_back({ d, nodes_.size() });
                nodes_.push_back({ word, {} });
                return;
            }
            at = it->second;
        }
    }
    // Visits the words within `limit`; returns the number of distances computed.
    size_t Query(const std::string& word, int limit, std::vector<std::string>& out) const {
        size_t computed = 0;
        std::vector<size_t> stack { 0 };
        while (!stack.empty()) {
            size_t at = stack.back();
            stack.pop_back();
            int d = Levenshtein(word, nodes_[at].word);
            ++computed;
            if (d <= limit)
                out.push_back(nodes_[at].word);
            for (const auto& [edge, child] : nodes_[at].children) {
                if (edge >= d - limit && edge <= d + limit)
                    stack.push_back(child);
            }
        }
        return computed;
    }

private:
    static int Levenshtein(const std::string& a, const std::string& b) {
        std::vector<int> row(b.size() + 1);
        for (size_t j = 0; j <= b.size(); ++j)
            row[j] = int(j);
        for (size_t i = 1; i <= a.size(); ++i) {
            int diagonal = row[0];
            row[0] = int(i);
            for (size_t j = 1; j <= b.size(); ++j) {
                int above = row[j];
                row[j] = std::min(
                    { row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1) });
                diagonal = above;
            }
        }
        return row[b.size()];
    }
    struct Node {
        std::string word;
        std::vector<std::pair<int, size_t>> children;
    };
    std::vector<Node> nodes_;
};

// Two random edits, or the Turkish letters typed as their plain ones.
std::string Misspell(const std::string& word, std::mt19937& random) {
    std::string typed = word;
    if (random() % 2 == 0) {
        for (char& c : typed)
            c = SkeletonChar(FoldChar(c));
        if (typed != Fold(word))
            return typed;
    }
    static const std::string kLetters = "abcdefghijklmnoprstuvyz";
    for (int edit = 0; edit < 2 && typed.size() > 3; ++edit) {
        size_t at = random() % typed.size();
        switch (random() % 3) {
        case 0:
            typed.erase(at, 1);
            break;
        case 1:
            typed.insert(at, 1, kLetters[random() % kLetters.size()]);
            break;
        default:
            typed[at] = kLetters[random() % kLetters.size()];
        }
    }
    return typed;
}

} // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? size_t(std::stoul(argv[1])) : 371'000;
    std::string work = argc > 2
        ? argv[2]
        : (std::filesystem::temp_directory_path() / "zendo-lexicon-bench").string();
    std::vector<std::string> words = bench::ReadDictionaryWords();
    if (words.empty()) {
        std::fprintf(stderr, "no dictionary at %s (install hunspell-tr)\n", bench::kDictionaryPath);
        return 1;
    }
    while (words.size() < count)
        words.push_back(words[words.size() % 1000] + "x");
    words.resize(count);

    TDataEngine engine;
    engine.StartEngine();
    std::filesystem::create_directories(work);
    TDataDirectory* directory = engine.CreateSession()->OpenDirectory("bench", work, false);
    bool fresh = !directory->TableExists("datalar", false, false);
    if (!fresh) {
        TDataCursor probe(*directory, "datalar");
        probe.OpenTable();
        fresh = size_t(probe.TableRecordCount()) != count;
        probe.CloseTable();
        if (fresh)
            directory->DeleteTable("datalar");
    }
    if (fresh) {
        auto t = Clock::now();
        directory->ReleaseTable(directory->CreateTable("datalar", GlossaryDefinition()));
        TDataCursor cursor(*directory, "datalar");
        cursor.Exclusive = true;
        cursor.OpenTable();
        std::vector<uint8_t> record(cursor.RecordSize());
        for (size_t i = 0; i < count; ++i) {
            const std::string& word = words[i];
            std::string text = Explanation(i, words);
            cursor.InitNewRecord(record.data());
            cursor.WriteFieldValue(kGlossaryWord, record.data(),
                reinterpret_cast<const uint8_t*>(word.data()), word.size());
            cursor.WriteFieldValue(
                kGlossaryLetter, record.data(), reinterpret_cast<const uint8_t*>(word.data()), 1);
            cursor.OpenBlobField(kGlossaryExplanation, record.data(), TBlobBuffer::bmWrite);
            cursor.WriteBlobBytes(kGlossaryExplanation, record.data(), 0,
                reinterpret_cast<const uint8_t*>(text.data()), text.size());
            cursor.InsertRecord(record.data(), false);
            cursor.CloseBlobField(kGlossaryExplanation, record.data());
        }
        cursor.CloseTable();
        std::printf(
            "glossary of %zu records built in %.1f s (%s)\n", count, Seconds(t), work.c_str());
    }

    // ---- Builds ----
    std::printf("\n%-52s %10s %12s\n", "build", "seconds", "memory MB");
    double rss = ResidentMegabytes();
    auto t = Clock::now();
    TStemmer stemmer;
    double stemmer_seconds = Seconds(t);
    std::printf("%-52s %10.3f %12.1f (resident growth)\n", "hunspell tr_TR loaded", stemmer_seconds,
        ResidentMegabytes() - rss);

    t = Clock::now();
    std::vector<std::string> key_words;
    ScanGlossary(*directory, "datalar", false,
        [&](const TGlossaryRecord& record) { key_words.push_back(record.key_word); });
    std::printf("%-52s %10.3f\n", "scan of the key words (INDEXX order)", Seconds(t));

    t = Clock::now();
    TKeyWordIndex suggestions;
    suggestions.Build(key_words);
    std::printf("%-52s %10.3f %12.1f (%zu words, %zu groups)\n", "\"did you mean\" index built",
        Seconds(t), double(suggestions.MemoryBytes()) / 1e6, suggestions.WordCount(),
        suggestions.GroupCount());

    t = Clock::now();
    TExplanationIndex explanations;
    explanations.BeginBuild();
    size_t memo_bytes = 0;
    ScanGlossary(*directory, "datalar", true, [&](const TGlossaryRecord& record) {
        memo_bytes += record.explanation.size();
        explanations.AddRecord(record.record, record.key_word, record.explanation);
    });
    double scan_and_add = Seconds(t);
    auto t2 = Clock::now();
    explanations.EndBuild();
    std::printf("%-52s %10.3f %12.1f (%zu terms, %.0f MB of text)\n",
        "explanation index: scan with memos + build", scan_and_add + Seconds(t2),
        double(explanations.MemoryBytes()) / 1e6, explanations.VocabularySize(),
        double(memo_bytes) / 1e6);
    std::printf("%-52s %10.3f\n", "  of which the final sort and coding", Seconds(t2));
    std::printf("%-52s %10s %12.1f\n", "process resident size now", "", ResidentMegabytes());

    t = Clock::now();
    size_t scanned = 0;
    ScanGlossary(*directory, "datalar", true, [&](const TGlossaryRecord& record) {
        if (record.explanation.find("anlam") != std::string::npos)
            ++scanned;
    });
    std::printf("%-52s %10.3f   (what a callback filter over the memos costs per query)\n",
        "scan of every explanation for one word", Seconds(t));

    // The window's view: both parts built at once on their workers.
    {
        t = Clock::now();
        TLexicon lexicon(*directory);
        while (!lexicon.Ready())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        double keys_ready = Seconds(t);
        while (!lexicon.ExplanationsReady())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::printf(
            "%-52s %10.3f\n", "TLexicon: stems and \"did you mean\" answer after", keys_ready);
        std::printf("%-52s %10.3f\n", "TLexicon: the explanation search answers after", Seconds(t));
    }

    // ---- Per keystroke ----
    std::printf("\n%-52s %8s %8s %8s   budget\n", "per keystroke, ms", "median", "p95", "max");
    std::mt19937 random(1055);
    TGlossaryKeys keys(*directory, "datalar");

    // Stems: inflected words of the list whose hunspell stem differs from the word.
    std::vector<std::string> inflected;
    while (inflected.size() < 300) {
        const std::string& word = words[random() % words.size()];
        std::vector<std::string> stems = stemmer.DictionaryStems(word);
        if (!stems.empty() && stems[0] != Fold(word))
            inflected.push_back(word);
    }
    for (const char* w : { "kitaplar\xFDm\xFDzdan", "evlerde", "g\xF6zl\xFCk\xE7\xFCler" })
        inflected.push_back(w);
    std::vector<double> times;
    size_t offered = 0;
    for (const std::string& word : inflected) {
        t = Clock::now();
        std::vector<std::string> stems = GlossaryStems(stemmer, keys, word);
        times.push_back(Seconds(t));
        offered += stems.empty() ? 0 : 1;
    }
    PrintLine("stems (303 inflected words)", Summarise(times), 16);
    std::printf("  stems offered for %zu of %zu\n", offered, inflected.size());

    // Did you mean.
    std::vector<std::string> typos;
    std::vector<std::string> meant;
    while (typos.size() < 300) {
        meant.push_back(key_words[random() % key_words.size()]);
        typos.push_back(Misspell(meant.back(), random));
    }
    for (const char* w : { "kalm", "seker", "kitaplarimizdan", "gozlukculer" })
        typos.push_back(w);
    times.clear();
    size_t hits = 0;
    for (size_t i = 0; i < typos.size(); ++i) {
        t = Clock::now();
        std::vector<TSuggestion> found = suggestions.Closest(typos[i], 5);
        times.push_back(Seconds(t));
        if (i < meant.size()) {
            hits += std::any_of(found.begin(), found.end(),
                [&](const TSuggestion& s) { return Fold(s.key_word) == Fold(meant[i]); });
        }
    }
    PrintLine("did you mean: deletion index (304 typos)", Summarise(times), 16);
    std::printf(
        "  the word meant is among the 5 offered for %zu of %zu typos\n", hits, meant.size());

    times.clear();
    for (size_t i = 0; i < 40; ++i) {
        t = Clock::now();
        double best = 1e9;
        for (const std::string& key : key_words)
            best = std::min(best, TurkishEditDistance(typos[i], key, std::min(best, 2.0)));
        times.push_back(Seconds(t));
    }
    PrintLine("did you mean: measuring every key word (40 typos)", Summarise(times), 16);

    t = Clock::now();
    BkTree tree;
    std::vector<std::string> skeletons;
    for (const std::string& key : key_words)
        skeletons.push_back(Skeleton(key));
    std::shuffle(skeletons.begin(), skeletons.end(), random);
    for (const std::string& s : skeletons)
        tree.Add(s);
    std::printf("  BK-tree over the skeletons built in %.2f s\n", Seconds(t));
    times.clear();
    size_t computed = 0;
    for (size_t i = 0; i < 100; ++i) {
        std::vector<std::string> out;
        t = Clock::now();
        computed += tree.Query(Skeleton(typos[i]), 2, out);
        times.push_back(Seconds(t));
    }
    PrintLine("did you mean: BK-tree, distance <= 2 (100 typos)", Summarise(times), 16);
    std::printf("  BK-tree: %.0f distances computed per query, of %zu words\n",
        double(computed) / 100, key_words.size());

    // Explanations, typed letter by letter.
    auto first_row = [&](const TExplanationResult& result) {
        // The memo under the grid shows the first row's explanation, read through the engine.
        if (!result.rows.empty())
            return keys.Find(result.rows[0].key_word, true).size();
        return size_t(0);
    };
    std::vector<std::string> queries { "anlam", "\xF6rnek kullan\xFDm",
        "t\xFCrk\xE7"
        "e eski yeni" };
    for (int i = 0; i < 20; ++i)
        queries.push_back(words[random() % words.size()]);
    for (int i = 0; i < 10; ++i)
        queries.push_back(words[random() % words.size()] + " " + words[random() % words.size()]);
    times.clear();
    std::vector<double> single_letter;
    for (const std::string& query : queries) {
        for (size_t n = 1; n <= query.size(); ++n) {
            t = Clock::now();
            TExplanationResult result = explanations.Search(query.substr(0, n), 20);
            first_row(result);
            (n == 1 ? single_letter : times).push_back(Seconds(t));
        }
    }
    PrintLine("explanations: 2nd and later keystrokes", Summarise(times), 100);
    PrintLine("explanations: first keystroke (one letter)", Summarise(single_letter), 100);
    // The answer as a filtered view of the glossary cursor (the grid in its sort order).
    {
        TDataCursor grid(*directory, "datalar");
        grid.OpenTable();
        grid.SelectIndex("INDEXX");
        for (const std::string& query : { queries[3], std::string("anlam") }) {
            TExplanationResult result = explanations.Search(query, 20);
            t = Clock::now();
            TFilter* filter = grid.CreateFilter(RecordsFilter(result.records));
            grid.ActivateFilter(filter);
            std::vector<uint8_t> record(grid.RecordSize());
            grid.MoveFirst();
            grid.ReadNext(record.data());
            double seconds = Seconds(t);
            std::printf("  as a callback filter of the cursor, \"%s\" (%d records): %.1f ms to "
                        "the first row\n",
                Cp1254ToUtf8(query).c_str(), grid.RecordCount(), seconds * 1e3);
            grid.FreeFilter(filter);
        }
    }
    for (const std::string& query : { std::string("anlam"), std::string("a"), queries[3] }) {
        t = Clock::now();
        TExplanationResult result = explanations.Search(query, 20);
        double seconds = Seconds(t);
        std::printf("  \"%s\": %u records, %.3f ms\n", Cp1254ToUtf8(query).c_str(), result.count,
            seconds * 1e3);
    }
    return scanned == 0 ? 1 : 0;
}
