// The window of record buffers over a large table: a view asking for rows around the current
// record costs about as many record reads as it shows, however many records the table holds.
#include "components_fixture.h"

#include "db/dataset/data_links.h"

#include <algorithm>

namespace zolvek {
namespace {

using namespace zolvek::testing;

constexpr int32_t kRecords = 371'000;

// Two letters cycling through a..z, then the number: 1 record in 676 begins with "ka".
std::string Word(int32_t i) {
    std::string word;
    word += char('a' + i % 26);
    word += char('a' + (i / 26) % 26);
    return word + std::to_string(i);
}

class WindowTest : public ComponentsTest {
protected:
    TZOLVEKEngine& engine = TZOLVEKEngine::Engine();

    void SetUp() override {
        // The load goes faster with caches that hold the whole index file.
        engine.SetActive(false);
        engine.SetMaxTableIndexBufferSize(64 << 20);
        engine.SetMaxTableDataBufferSize(32 << 20);
        // The glossary table with only the index that answers the filter, uncompressed: the
        // load maintains one secondary index instead of two.
        TableDefinition definition = GlossaryDefinition();
        definition.SecondaryIndexes.resize(1);
        definition.SecondaryIndexes[0].Compression = icNone;
        CreateTableIn(dir.Path(), "datalar", definition);
        // In key order, so that every insert lands in the last leaf of the index.
        std::vector<std::string> words;
        for (int32_t i = 0; i < kRecords; ++i)
            words.push_back(Word(i));
        std::sort(words.begin(), words.end());
        GlossaryLoader loader(dir.Path(), true);
        for (const std::string& word : words)
            loader.Add(word);
    }
    void TearDown() override {
        engine.SetActive(false);
        engine.SetMaxTableIndexBufferSize(65536);
        engine.SetMaxTableDataBufferSize(32768);
    }
};

TEST_F(WindowTest, AViewOfThirtyRowsReadsAboutThirtyRecords) {
    GlossaryTable table(dir.Path());
    table.SetIndexName("INDEXX");
    table.SetFilter("[ANAHTAR]='ka*'");
    table.SetFiltered(true);
    table.Open();
    int32_t matching = table.RecordCount();
    EXPECT_EQ(matching, kRecords / 676 + 1);
    // The filter is answered from the index: opening reads at most the matching records (the
    // cursor keeps their keys in order), not the table.
    const TBufferedFile::Statistics& stats = table.Cursor()->Table().DataFile().Stats();
    EXPECT_LE(stats.requests, uint64_t(matching) + 10) << "opening read " << stats.requests;

    // The current record in the middle of the filtered view.
    ASSERT_TRUE(table.Locate("ANAHTAR", Word(10 + 676 * 270), 0));
    uint64_t before = stats.requests;
    TDataSource source(&table);
    TDataLink view;
    view.SetDataSource(&source);
    view.SetBufferCount(30);
    EXPECT_EQ(view.RecordCount(), 30);
    uint64_t reads = stats.requests - before;
    EXPECT_GE(reads, 29u);
    EXPECT_LE(reads, 35u) << "the view read " << reads << " records";
    {
        TDataLink::TRowScope row(view, 29);
        EXPECT_EQ(table.word->AsString().substr(0, 2), "ka");
    }
    // Seventy rows down: 29 are in the window, the other 41 are read.
    before = stats.requests;
    EXPECT_EQ(table.MoveBy(70), 70);
    reads = stats.requests - before;
    EXPECT_LE(reads, 45u) << "scrolling read " << reads << " records";
}

} // namespace
} // namespace zolvek
