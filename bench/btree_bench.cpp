// Index tree benchmark: the words of the Turkish hunspell list (first field of each line of
// tr_TR.dic, converted to Windows-1254) go into a case-insensitive, non-unique string index of
// size 175 with icFull compression under the Turkish locale, each with its own record number;
// then every word is looked up once by its text (a partial key without the RecordID suffix).
//
// Usage: btree_bench [page size (4096)] [index cache in MB (0 = the engine's default)]
//                    [order: "file" (the list's own, nearly sorted) or "shuffled"]
//                    [dictionary (/usr/share/hunspell/tr_TR.dic)]
#include "dictionary.h"

#include "db/base/locale.h"
#include "db/storage/btree.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/index_keys.h"
#include "db/storage/records.h"
#include "db/storage/session.h"
#include "db/storage/table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace zolvek;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

} // namespace

int main(int argc, char** argv) {
    int32_t page_size = argc > 1 ? std::atoi(argv[1]) : 4096;
    uint32_t cache_mb = argc > 2 ? uint32_t(std::atoi(argv[2])) : 0;
    bool shuffled = argc > 3 && std::string(argv[3]) == "shuffled";
    std::string dictionary = argc > 4 ? argv[4] : bench::kDictionaryPath;

    std::vector<std::string> words = bench::ReadDictionaryWords(dictionary);
    if (words.empty()) {
        std::fprintf(stderr, "no words in %s\n", dictionary.c_str());
        return 1;
    }
    std::mt19937 random(1055);
    if (shuffled)
        std::shuffle(words.begin(), words.end(), random);
    // Lookups visit the words in an order of their own.
    std::vector<size_t> lookup_order(words.size());
    for (size_t i = 0; i < words.size(); ++i)
        lookup_order[i] = i;
    if (shuffled)
        std::shuffle(lookup_order.begin(), lookup_order.end(), random);

    char pattern[] = "/tmp/btree-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const std::string folder = pattern;
    int status = 0;
    try {
        TDataEngine engine;
        if (cache_mb > 0) {
            engine.Settings().MaxTableIndexBufferSize = cache_mb << 20;
            engine.Settings().MaxTableIndexBufferCount = 1u << 20;
        }
        engine.StartEngine();
        TDataSession* session = engine.CreateSession();
        TDataDirectory* directory = session->OpenDirectory("bench", folder, false);

        TableDefinition definition;
        FieldDefinition field;
        field.Name = "ANAHTAR";
        field.DataType = kTypeString;
        field.Size = 175;
        definition.Fields.push_back(field);
        IndexDefinition index;
        index.Name = "INDEXX";
        index.Fields = { 1 };
        index.CaseInsensitive = true;
        index.Compression = icFull;
        definition.SecondaryIndexes.push_back(index);
        definition.LocaleID = kTurkishLocale;
        definition.IndexPageSize = page_size;
        TDataTable* table = directory->CreateTable("sozluk", definition);

        TIndexFile& file = table->IndexFile();
        const FieldDescriptor& anahtar = table->DataFile().Fields()[0];
        TIndexKeyInfo keys(
            1, file.Slots()[1], table->DataFile().Fields(), table->LocaleID(), "sozluk");
        TIndexTree tree(file, keys, nullptr);
        std::vector<uint8_t> image(table->DataFile().Header().RecordSize, 0);
        std::vector<uint8_t> key(keys.KeyLength());
        auto build = [&](size_t i) {
            WriteStringField(anahtar, image.data(), words[i], table->LocaleID());
            SetRecordID(image.data(), int32_t(i + 1));
            keys.BuildKey(image.data(), key.data());
        };

        Clock::time_point start = Clock::now();
        for (size_t i = 0; i < words.size(); ++i) {
            build(i);
            tree.InsertKey(key.data(), uint32_t(i + 1));
        }
        table->FlushTable(false, false, false, false, false);
        double insert_seconds = Seconds(start);

        const size_t text_length = keys.KeyFieldsLength(1);
        size_t found = 0;
        start = Clock::now();
        for (size_t i : lookup_order) {
            build(i);
            TIndexPosition position;
            if (tree.Seek(key.data(), text_length, position) == TSeekResult::srFound)
                ++found;
        }
        double lookup_seconds = Seconds(start);

        uint32_t pages = file.UnitCount();
        uint32_t depth = 0;
        for (uint32_t page_no = tree.RootPage(); page_no != 0; ++depth) {
            TPinned<TPage> page = tree.FetchPage(page_no);
            page_no = page->IsLeaf() ? 0 : page->Ref(1);
        }
        std::printf("words %zu (%s order), page size %d, index cache %s\n", words.size(),
            shuffled ? "shuffled" : "file", page_size,
            cache_mb > 0 ? (std::to_string(cache_mb) + " MB").c_str() : "engine default");
        std::printf("inserts: %.2f s, %.0f per second\n", insert_seconds,
            double(words.size()) / insert_seconds);
        std::printf("lookups: %.2f s, %.0f per second (%zu found)\n", lookup_seconds,
            double(words.size()) / lookup_seconds, found);
        std::printf("pages %u (tree depth %u), %.1f bytes per key, key length %u\n", pages, depth,
            double(pages) * page_size / double(words.size()), unsigned(keys.KeyLength()));
        directory->ReleaseTable(table);
        if (found != words.size())
            status = 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        status = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
