#include "db/storage/btree.h"

#include "db/base/errors.h"
#include "db/base/locale.h"
#include "indexed_table.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zolvek {
namespace {

using testing::CodeOf;
using testing::EngineFixture;
using testing::Field;
using testing::IndexedTable;
using testing::Join;
using Bytes = std::vector<uint8_t>;

constexpr size_t kIx = 1; // the secondary index slot of the tables below

struct TreeConfig {
    TIndexCompression compression = icNone;
    bool unique = false;
    int32_t page_size = 1024;
    uint16_t string_size = 90;
    bool no_statistics = false;
    uint32_t locale = 0;
    bool case_insensitive = false;
    bool descending_value = false;
    int operations = 2000;
};

// Fields S (string) and V (integer); the secondary index "IX" covers S only, or S and V.
TableDefinition TreeTable(const TreeConfig& config, bool with_value = true) {
    TableDefinition definition;
    definition.Fields.push_back(Field("S", kTypeString, config.string_size));
    definition.Fields.push_back(Field("V", kTypeInteger));
    IndexDefinition index;
    index.Name = "IX";
    index.Fields = with_value ? std::vector<int32_t> { 1, 2 } : std::vector<int32_t> { 1 };
    index.DescFields = { false, config.descending_value };
    index.Unique = config.unique;
    index.Compression = config.compression;
    index.CaseInsensitive = config.case_insensitive;
    index.NoKeyStatistics = config.no_statistics;
    definition.SecondaryIndexes.push_back(index);
    definition.IndexPageSize = config.page_size;
    definition.LocaleID = config.locale;
    return definition;
}

// The page numbers of a path from the root through entry `entry_of_level` (1 or "last").
std::vector<uint32_t> PathDown(TIndexTree& tree, bool last) {
    std::vector<uint32_t> path;
    uint32_t page_no = tree.RootPage();
    while (page_no != 0) {
        path.push_back(page_no);
        TPinned<TPage> page = tree.FetchPage(page_no);
        if (page->IsLeaf())
            break;
        page_no = page->Ref(last ? page->EntryCount() : 1);
    }
    return path;
}

class BTreeTest : public EngineFixture {
protected:
    // K = 152 with 1024-byte pages: six entries fill a page.
    TreeConfig SixPerPage() {
        TreeConfig config;
        config.string_size = 150;
        config.unique = true;
        return config;
    }

    uint32_t InsertText(IndexedTable& t, const std::string& text, int32_t value = 0) {
        Bytes image = t.NewImage();
        t.SetString(image, "S", text);
        t.SetInteger(image, "V", value);
        return t.Insert(image);
    }
};

TEST_F(BTreeTest, FirstInsertMakesOneRootLeaf) {
    IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false));
    EXPECT_TRUE(t.Tree(kIx).Empty());
    InsertText(t, "kelime");
    uint32_t root = t.Tree(kIx).RootPage();
    ASSERT_NE(root, 0u);
    TPinned<TPage> page = t.Tree(kIx).FetchPage(root);
    EXPECT_EQ(page->PageType(), ptRootLeaf);
    EXPECT_EQ(page->EntryCount(), 1u);
    EXPECT_EQ(page->Ref(1), 1u);
    EXPECT_EQ(t.IndexFile().UnitCount(), 2u); // one root leaf for each of the two indexes
    page.Reset();
    EXPECT_EQ(Join(t.Verify()), "");
}

TEST_F(BTreeTest, SevenEntriesSplitIntoFourAndThreeUnderANewRoot) {
    IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false));
    for (const char* text : { "d", "a", "g", "c", "f", "b" })
        InsertText(t, text);
    uint32_t old_root = t.Tree(kIx).RootPage();
    EXPECT_EQ(t.Tree(kIx).FetchPage(old_root)->PageType(), ptRootLeaf);
    InsertText(t, "e");
    TIndexTree& tree = t.Tree(kIx);
    TPinned<TPage> root = tree.FetchPage(tree.RootPage());
    ASSERT_EQ(root->PageType(), ptRoot);
    ASSERT_EQ(root->EntryCount(), 2u);
    EXPECT_EQ(root->Ref(1), old_root); // the old root keeps the lower half
    TPinned<TPage> left = tree.FetchPage(root->Ref(1));
    TPinned<TPage> right = tree.FetchPage(root->Ref(2));
    EXPECT_EQ(left->PageType(), ptLeaf);
    EXPECT_EQ(right->PageType(), ptLeaf);
    EXPECT_EQ(left->EntryCount(), 4u);
    EXPECT_EQ(right->EntryCount(), 3u);
    EXPECT_EQ(root->SubtreeCount(1), 4u);
    EXPECT_EQ(root->SubtreeCount(2), 3u);
    EXPECT_EQ(root->SubtreeTotal(), 7u);
    EXPECT_EQ(left->NextPage(), right->PageNumber());
    EXPECT_EQ(right->PrevPage(), left->PageNumber());
    EXPECT_EQ(left->PrevPage(), 0u);
    EXPECT_EQ(right->NextPage(), 0u);
    EXPECT_EQ(right->Key(1)[1], 'e');
    EXPECT_EQ(std::memcmp(root->Key(2), right->Key(1), right->KeyLength()), 0);
    root.Reset();
    left.Reset();
    right.Reset();
    EXPECT_EQ(tree.KeyCount(), 7u);
    EXPECT_EQ(Join(t.Verify()), "");
}

TEST_F(BTreeTest, SmallestKeyRewritesTheFirstKeyOfEveryAncestor) {
    IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false));
    std::mt19937 random(5);
    std::vector<int> numbers(120);
    for (int i = 0; i < 120; ++i)
        numbers[size_t(i)] = i;
    std::shuffle(numbers.begin(), numbers.end(), random);
    for (int n : numbers)
        InsertText(t, "k" + std::to_string(1000 + n));
    TIndexTree& tree = t.Tree(kIx);
    ASSERT_GE(PathDown(tree, false).size(), 3u);
    InsertText(t, "a");
    for (uint32_t page_no : PathDown(tree, false)) {
        TPinned<TPage> page = tree.FetchPage(page_no);
        EXPECT_EQ(page->Key(1)[1], 'a') << "page " << page_no;
        EXPECT_EQ(page->Key(1)[2], 0) << "page " << page_no;
    }
    EXPECT_EQ(Join(t.Verify()), "");
}

TEST_F(BTreeTest, EmptiedLeavesAreFreedAndTheRootCollapses) {
    IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false));
    std::vector<uint32_t> records;
    for (const char* text : { "a", "b", "c", "d", "e", "f", "g" })
        records.push_back(InsertText(t, text));
    TIndexTree& tree = t.Tree(kIx);
    uint32_t root = tree.RootPage();
    uint32_t left = tree.FetchPage(root)->Ref(1);
    uint32_t right = tree.FetchPage(root)->Ref(2);
    EXPECT_EQ(t.IndexFile().Header().FirstFreePage, 0);
    t.Delete(records[5]);
    t.Delete(records[4]);
    EXPECT_EQ(t.IndexFile().Header().FirstFreePage, 0); // leaves are not merged
    t.Delete(records[6]); // the right leaf is empty now
    // The root had one child left and handed the root over to it.
    EXPECT_EQ(tree.RootPage(), left);
    EXPECT_EQ(tree.FetchPage(left)->PageType(), ptRootLeaf);
    EXPECT_EQ(tree.FetchPage(left)->NextPage(), 0u);
    EXPECT_EQ(t.FreePageCount(), 2u);
    int32_t first_free = t.IndexFile().Header().FirstFreePage;
    EXPECT_TRUE(first_free == int32_t(root) || first_free == int32_t(right));
    EXPECT_EQ(Join(t.Verify()), "");

    // A freed page is the next one allocated.
    {
        TPinned<TPage> page = tree.AllocatePage();
        EXPECT_EQ(page->PageNumber(), uint32_t(first_free));
        EXPECT_EQ(t.FreePageCount(), 1u);
        tree.FreePage(*page);
    }
    // With an empty free list the file grows by one page at its end.
    for (int i = 0; i < 4; ++i)
        t.Delete(records[size_t(i)]);
    EXPECT_EQ(tree.RootPage(), 0u);
    EXPECT_EQ(t.Tree(0).RootPage(), 0u);
    uint32_t pages = t.IndexFile().UnitCount();
    EXPECT_EQ(t.FreePageCount(), pages);
    EXPECT_EQ(Join(t.Verify()), "");
    t.IndexFile().SetFirstFreePage(0);
    {
        TPinned<TPage> page = tree.AllocatePage();
        EXPECT_EQ(page->PageNumber(), pages + 1);
        EXPECT_EQ(t.IndexFile().Header().NextPageNo, int32_t(pages + 2));
    }
    t.Flush();
    EXPECT_EQ(std::filesystem::file_size(dir.File("t.idx")), 25088u + (pages + 1) * 1024u);
}

TEST_F(BTreeTest, DuplicatesAndMissingKeysAreRefusedBeforeAnythingChanges) {
    IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false));
    std::vector<uint32_t> records;
    for (int i = 0; i < 40; ++i)
        records.push_back(InsertText(t, "w" + std::to_string(i)));
    TIndexTree& tree = t.Tree(kIx);
    Bytes key = t.Key(kIx, records[17]);
    try {
        tree.InsertKey(key.data(), 999);
        FAIL() << "no error";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_KEYVIOL);
        EXPECT_EQ(error.Context().ErrorIndexName, "IX");
    }
    key[2] = 'z';
    EXPECT_EQ(CodeOf([&] { tree.DeleteKey(key.data()); }), ZOLVEK_INDEXCORRUPT);
    EXPECT_EQ(tree.KeyCount(), 40u);
    EXPECT_EQ(Join(t.Verify()), "");
    // Replacing by a key that is taken changes nothing; otherwise it moves the key.
    Bytes taken = t.Key(kIx, records[5]);
    Bytes old_key = t.Key(kIx, records[3]);
    EXPECT_EQ(CodeOf([&] { tree.ReplaceIndexKey(old_key.data(), taken.data(), records[3]); }),
        ZOLVEK_KEYVIOL);
    EXPECT_TRUE(tree.KeyExists(old_key.data()));
    EXPECT_EQ(Join(t.Verify()), "");
    Bytes new_key = old_key;
    new_key[1] = 'a';
    tree.ReplaceIndexKey(old_key.data(), new_key.data(), records[3]);
    EXPECT_FALSE(tree.KeyExists(old_key.data()));
    TIndexPosition position;
    ASSERT_TRUE(tree.First(position));
    Bytes first(tree.Keys().KeyLength());
    uint32_t record = 0;
    ASSERT_TRUE(tree.ReadEntry(position, first.data(), record));
    EXPECT_EQ(first, new_key);
    EXPECT_EQ(record, records[3]);
}

TEST_F(BTreeTest, ADeleteThatGrowsACompressedLeafSplitsIt) {
    TreeConfig config;
    config.compression = icFull;
    config.string_size = 300; // K = 311
    IndexedTable t(*directory, "t", TreeTable(config));
    // ("B0i", null) packs to about 60 bytes after ("B0i-1", 5), and ("B0i", 5) to 63 after it:
    // sixteen entries fill 987 of the 1011 bytes.
    std::vector<uint32_t> nulls;
    for (int i = 0; i < 8; ++i) {
        Bytes image = t.NewImage();
        t.SetString(image, "S", "B0" + std::to_string(i));
        t.SetNull(image, "V");
        nulls.push_back(t.Insert(image));
        t.SetInteger(image, "V", 5);
        t.Insert(image);
    }
    TIndexTree& tree = t.Tree(kIx);
    {
        TPinned<TPage> root = tree.FetchPage(tree.RootPage());
        ASSERT_EQ(root->PageType(), ptRootLeaf);
        ASSERT_EQ(root->EntryCount(), 16u);
        EXPECT_EQ(root->PackedSize(), 987u);
    }
    // Without ("B03", null), ("B03", 5) shares three bytes instead of 254 with its predecessor.
    t.Delete(nulls[3]);
    {
        TPinned<TPage> root = tree.FetchPage(tree.RootPage());
        EXPECT_EQ(root->PageType(), ptRoot);
        EXPECT_EQ(root->SubtreeTotal(), 15u);
    }
    EXPECT_EQ(Join(t.Verify()), "");
    t.Flush();
    t.IndexFile().DiscardAll();
    EXPECT_EQ(Join(t.Verify()), "");
    EXPECT_EQ(tree.KeyCount(), 15u);
}

TEST_F(BTreeTest, PositionsSurviveAsLeafCopiesAndRecomputedOrdinals) {
    IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false));
    std::vector<uint32_t> records;
    for (int i = 0; i < 30; ++i)
        records.push_back(InsertText(t, "m" + std::to_string(10 + i)));
    TIndexTree& tree = t.Tree(kIx);
    Bytes key = t.Key(kIx, records[20]); // "m30"
    TIndexPosition position;
    ASSERT_EQ(tree.Seek(key.data(), key.size(), position), TSeekResult::srFound);
    EXPECT_EQ(position.Ordinal, 21u);

    TPage copy(t.IndexFile());
    ASSERT_TRUE(tree.CopyLeaf(position.Page, copy));
    EXPECT_EQ(copy.PageNumber(), position.Page);
    EXPECT_FALSE(copy.Dirty());
    EXPECT_EQ(std::memcmp(copy.Key(position.Entry), key.data(), key.size()), 0);
    EXPECT_EQ(copy.Ref(position.Entry), records[20]);
    EXPECT_FALSE(tree.CopyLeaf(tree.RootPage(), copy)); // not a leaf

    // Keys inserted before it move its ordinal; the key finds it again.
    for (int i = 0; i < 5; ++i)
        InsertText(t, "a" + std::to_string(i));
    ASSERT_TRUE(tree.UpdateOrdinal(position));
    EXPECT_EQ(position.Ordinal, 26u);
    uint32_t record = 0;
    Bytes read(key.size());
    ASSERT_TRUE(tree.ReadEntry(position, read.data(), record));
    EXPECT_EQ(read, key);
    EXPECT_EQ(record, records[20]);

    // A position in a leaf that was freed is lost.
    uint32_t leaf = position.Page;
    for (uint32_t r = 1; r <= 35; ++r) {
        TIndexPosition at;
        if (tree.ReadEntry(position, read.data(), record) && record == r)
            continue;
        Bytes k = t.Key(kIx, r);
        if (tree.SeekAtOrAfter(k.data(), k.size(), at) && at.Page == leaf)
            t.Delete(r);
    }
    t.Delete(records[20]);
    EXPECT_EQ(tree.Next(position), TStepResult::stLost);
    EXPECT_FALSE(tree.ReadEntry(position, read.data(), record));
    EXPECT_FALSE(tree.UpdateOrdinal(position));
    EXPECT_EQ(Join(t.Verify()), "");
}

TEST_F(BTreeTest, ARolledBackChangeLeavesThePagesAsTheyWere) {
    TreeConfig config;
    config.compression = icFull;
    IndexedTable t(*directory, "t", TreeTable(config));
    std::vector<uint32_t> records;
    for (int i = 0; i < 300; ++i)
        records.push_back(InsertText(t, "j" + std::to_string(i % 37), i % 3));
    auto snapshot = [&] {
        std::vector<Bytes> keys;
        TIndexPosition position;
        for (bool more = t.Tree(kIx).First(position); more;
             more = t.Tree(kIx).Next(position) == TStepResult::stMoved) {
            Bytes key(t.Keys(kIx).KeyLength());
            uint32_t record = 0;
            t.Tree(kIx).ReadEntry(position, key.data(), record);
            keys.push_back(key);
        }
        return keys;
    };
    const std::vector<Bytes> before = snapshot();
    for (bool deleting : { false, true }) {
        DataFileHeader data_header = t.DataFile().Header();
        IndexSlots index = t.IndexFile().Index();
        t.DataFile().BeginChange();
        t.IndexFile().BeginChange();
        if (deleting) {
            for (size_t i = 0; i < records.size(); i += 2)
                t.Delete(records[i]);
        } else {
            for (int i = 0; i < 200; ++i)
                InsertText(t, "a" + std::to_string(i), i);
        }
        t.DataFile().RollbackChange();
        t.IndexFile().RollbackChange();
        t.DataFile().Header() = data_header;
        t.IndexFile().Index() = index;
        EXPECT_TRUE(snapshot() == before) << deleting;
        EXPECT_EQ(Join(t.Verify()), "") << deleting;
    }
}

// A requester that reports one table change on demand, dropping the caches as a real change
// does.
class ChangingRequester : public TUnitRequester {
public:
    TIndexFile* file = nullptr;
    bool report_change = false;
    int checks = 0;
    bool CheckTableChanged() override {
        ++checks;
        if (!report_change)
            return false;
        report_change = false;
        file->DiscardAll();
        return true;
    }
    uint32_t ReadAheadUnits(const TBufferedFile&, int) override { return 1; }
};

TEST_F(BTreeTest, WalksStartOverWhenTheTableChangesUnderneath) {
    ChangingRequester requester;
    IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false), &requester);
    requester.file = &t.IndexFile();
    for (int i = 0; i < 60; ++i)
        InsertText(t, "r" + std::to_string(100 + i));
    t.Flush();
    TIndexTree& tree = t.Tree(kIx);
    Bytes key = t.Key(kIx, 31); // "r130"

    t.IndexFile().DiscardAll();
    requester.report_change = true;
    requester.checks = 0;
    TIndexPosition position;
    EXPECT_EQ(tree.Seek(key.data(), key.size(), position), TSeekResult::srFound);
    EXPECT_EQ(position.Ordinal, 31u);
    EXPECT_GE(requester.checks, 2);

    // A step that meets a change reports the position lost.
    t.IndexFile().DiscardAll();
    requester.report_change = true;
    EXPECT_EQ(tree.Next(position), TStepResult::stLost);
    EXPECT_EQ(tree.Next(position), TStepResult::stMoved);
    EXPECT_EQ(position.Ordinal, 32u);
}

TEST_F(BTreeTest, DamagedPagesRaise8965AndAreReported) {
    {
        IndexedTable t(*directory, "t", TreeTable(SixPerPage(), false));
        for (int i = 0; i < 30; ++i)
            InsertText(t, "d" + std::to_string(10 + i));
        t.Flush();
    }
    auto damage = [&](uint32_t page_no, size_t offset, std::vector<uint8_t> bytes) {
        std::fstream file(dir.File("t.idx"), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::streamoff(25088 + (page_no - 1) * 1024 + offset));
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    TDataTable* table = directory->AcquireTable("t", true, false);
    TIndexKeyInfo keys(
        1, table->IndexFile().Slots()[1], table->DataFile().Fields(), table->LocaleID(), "t");
    uint32_t root = uint32_t(table->IndexFile().Index().RootPage(1));
    uint32_t leaf = 0;
    {
        TIndexTree tree(table->IndexFile(), keys, nullptr);
        leaf = PathDown(tree, true).back(); // on the way to the highest key
    }
    directory->ReleaseTable(table);

    damage(leaf, 1, { 0xFF, 0x7F }); // an entry count no page holds
    table = directory->AcquireTable("t", true, false);
    {
        TIndexTree tree(table->IndexFile(), keys, nullptr);
        TIndexPosition position;
        Bytes high(keys.KeyLength());
        keys.HighestKey(high.data());
        EXPECT_EQ(
            CodeOf([&] { tree.Seek(high.data(), high.size(), position); }), ZOLVEK_INDEXCORRUPT);
        std::vector<std::string> findings = VerifyTableIndexes(*table);
        EXPECT_NE(Join(findings).find("cannot be read (error 8965)"), std::string::npos)
            << Join(findings);
    }
    directory->ReleaseTable(table);

    damage(leaf, 1, { 0x01, 0x00 }); // readable again, but one entry only
    damage(root, 0, { ptLeaf }); // and the root is no root
    table = directory->AcquireTable("t", true, false);
    {
        TIndexTree tree(table->IndexFile(), keys, nullptr);
        TIndexPosition position;
        EXPECT_EQ(CodeOf([&] { tree.First(position); }), ZOLVEK_INDEXCORRUPT);
        Bytes key(keys.KeyLength(), 1);
        EXPECT_EQ(CodeOf([&] { tree.InsertKey(key.data(), 1); }), ZOLVEK_INDEXCORRUPT);
        std::vector<std::string> findings = VerifyTableIndexes(*table);
        EXPECT_GE(findings.size(), 2u) << Join(findings);
    }
    directory->ReleaseTable(table);
}

// ---- Property tests: random inserts and deletes against an ordered model ----

std::string RandomText(std::mt19937& random, const TreeConfig& config) {
    static const std::string stem_text = "ortak-onek-uzun-bir-baslangic-";
    std::string stem;
    while (stem.size() + stem_text.size() < size_t(config.string_size) - 8)
        stem += stem_text;
    std::string alphabet = "abc";
    if (config.locale == kTurkishLocale)
        alphabet = Utf8ToCp1254("aıiIİşŞ");
    std::uniform_int_distribution<int> pick(0, 9);
    int choice = pick(random);
    std::string text = choice < 4 ? stem : (choice < 7 ? stem.substr(0, stem.size() / 3) : "");
    std::uniform_int_distribution<int> length(0, 4);
    std::uniform_int_distribution<size_t> letter(0, alphabet.size() - 1);
    for (int i = length(random); i > 0; --i)
        text += alphabet[letter(random)];
    return text;
}

class TreeModel {
public:
    struct Entry {
        Bytes key;
        uint32_t record = 0;
        bool operator==(const Entry&) const = default;
    };

    explicit TreeModel(const TIndexKeyInfo& keys)
        : keys_(keys) { }

    bool Less(const Bytes& a, const Bytes& b) const {
        return keys_.CompareKeys(a.data(), b.data(), keys_.KeyLength()) < 0;
    }
    void Add(Bytes key, uint32_t record) {
        auto at = std::lower_bound(entries.begin(), entries.end(), key,
            [&](const Entry& e, const Bytes& k) { return Less(e.key, k); });
        entries.insert(at, Entry { std::move(key), record });
    }
    void Remove(const Bytes& key) {
        auto at = std::lower_bound(entries.begin(), entries.end(), key,
            [&](const Entry& e, const Bytes& k) { return Less(e.key, k); });
        ASSERT_TRUE(at != entries.end() && at->key == key);
        entries.erase(at);
    }

    std::vector<Entry> entries;

private:
    const TIndexKeyInfo& keys_;
};

class TreeProperty : public EngineFixture, public ::testing::WithParamInterface<TreeConfig> { };

void CheckAgainstModel(IndexedTable& t, const TreeModel& model, std::mt19937& random) {
    TIndexTree& tree = t.Tree(kIx);
    const TIndexKeyInfo& keys = t.Keys(kIx);
    const size_t k = keys.KeyLength();
    const bool stats = !keys.NoKeyStatistics();
    auto read = [&](const TIndexPosition& position) {
        TreeModel::Entry entry;
        entry.key.resize(k);
        EXPECT_TRUE(tree.ReadEntry(position, entry.key.data(), entry.record));
        return entry;
    };

    // The whole index forward and backward, with ordinals.
    std::vector<TreeModel::Entry> walked;
    TIndexPosition position;
    if (tree.First(position)) {
        do {
            walked.push_back(read(position));
            if (stats) {
                ASSERT_EQ(position.Ordinal, walked.size());
            }
        } while (tree.Next(position) == TStepResult::stMoved);
    }
    ASSERT_EQ(walked.size(), model.entries.size());
    ASSERT_TRUE(walked == model.entries);
    size_t backward = 0;
    if (tree.Last(position)) {
        do {
            ++backward;
            if (stats) {
                ASSERT_EQ(position.Ordinal, model.entries.size() - backward + 1);
            }
        } while (tree.Prior(position) == TStepResult::stMoved);
    }
    EXPECT_EQ(backward, model.entries.size());
    EXPECT_EQ(tree.KeyCount(), model.entries.size());

    if (model.entries.empty()) {
        EXPECT_EQ(tree.RootPage(), 0u);
        return;
    }
    std::uniform_int_distribution<size_t> any(0, model.entries.size() - 1);
    for (int probe = 0; probe < 8; ++probe) {
        size_t i = any(random);
        const TreeModel::Entry& wanted = model.entries[i];
        ASSERT_TRUE(tree.GotoOrdinal(uint32_t(i + 1), position));
        EXPECT_TRUE(read(position) == wanted);
        ASSERT_EQ(tree.Seek(wanted.key.data(), k, position), TSeekResult::srFound);
        EXPECT_TRUE(read(position) == wanted);
        if (stats) {
            EXPECT_EQ(position.Ordinal, i + 1);
        }
        EXPECT_TRUE(tree.KeyExists(wanted.key.data()));

        // A partial key: the presence byte and a few characters of S.
        std::uniform_int_distribution<size_t> chars(0, 12);
        size_t length = std::min<size_t>(1 + chars(random), keys.KeyFieldsLength(1));
        auto at_or_after = std::find_if(
            model.entries.begin(), model.entries.end(), [&](const TreeModel::Entry& e) {
                return keys.CompareKeys(e.key.data(), wanted.key.data(), length) >= 0;
            });
        ASSERT_TRUE(tree.SeekAtOrAfter(wanted.key.data(), length, position));
        EXPECT_TRUE(read(position) == *at_or_after) << "length " << length;
        if (stats) {
            EXPECT_EQ(position.Ordinal, size_t(at_or_after - model.entries.begin()) + 1);
        }
        auto at_or_before = std::find_if(
            model.entries.rbegin(), model.entries.rend(), [&](const TreeModel::Entry& e) {
                return keys.CompareKeys(e.key.data(), wanted.key.data(), length) <= 0;
            });
        ASSERT_TRUE(tree.SeekAtOrBefore(wanted.key.data(), length, position));
        EXPECT_TRUE(read(position) == *at_or_before) << "length " << length;
    }
    Bytes extreme(k);
    keys.HighestKey(extreme.data());
    EXPECT_EQ(tree.Seek(extreme.data(), k, position), TSeekResult::srBeyond);
    EXPECT_TRUE(read(position) == model.entries.back());
    EXPECT_FALSE(tree.SeekAtOrAfter(extreme.data(), k, position));
    keys.LowestKey(extreme.data());
    // In a unique index a record whose fields are all null has the lowest key itself.
    bool lowest_present = model.entries.front().key == extreme;
    EXPECT_EQ(tree.Seek(extreme.data(), k, position),
        lowest_present ? TSeekResult::srFound : TSeekResult::srAfter);
    EXPECT_TRUE(read(position) == model.entries.front());
    EXPECT_EQ(tree.SeekAtOrBefore(extreme.data(), k, position), lowest_present);
    EXPECT_FALSE(tree.GotoOrdinal(uint32_t(model.entries.size() + 1), position));
}

TEST_P(TreeProperty, RandomInsertsAndDeletesKeepTheTreeExact) {
    const TreeConfig& config = GetParam();
    IndexedTable t(*directory, "t", TreeTable(config));
    TreeModel model(t.Keys(kIx));
    std::vector<uint32_t> live;
    std::mt19937 random(uint32_t(config.compression * 31 + config.page_size + config.string_size
        + (config.unique ? 7 : 0) + config.locale));
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> value(-1, 3);
    const int batch = std::max(config.operations / 8, 50);
    int violations = 0;

    auto remove_one = [&](size_t index) {
        uint32_t record = live[index];
        Bytes key = t.Key(kIx, record);
        t.Delete(record);
        model.Remove(key);
        live[index] = live.back();
        live.pop_back();
    };
    auto check = [&](int op) {
        CheckAgainstModel(t, model, random);
        if (::testing::Test::HasFatalFailure())
            return;
        t.Flush();
        ASSERT_EQ(Join(t.Verify()), "") << "after operation " << op;
        if ((op / batch) % 2 == 0)
            t.IndexFile().DiscardAll(); // read everything back from the file
    };
    for (int op = 1; op <= config.operations; ++op) {
        // Grow, shrink, grow again: splits first, then merges and redistributions too.
        int phase = op * 10 / config.operations;
        int inserts = phase < 4 ? 75 : (phase < 7 ? 25 : 65);
        if (live.empty() || percent(random) < inserts) {
            Bytes image = t.NewImage();
            t.SetString(image, "S", RandomText(random, config));
            int v = value(random);
            if (v < 0)
                t.SetNull(image, "V");
            else
                t.SetInteger(image, "V", v);
            Bytes probe(t.Keys(kIx).KeyLength());
            t.Keys(kIx).BuildKey(image.data(), probe.data());
            bool exists = t.Tree(kIx).KeyExists(probe.data());
            EngineCode code = 0;
            uint32_t record = 0;
            code = CodeOf([&] { record = t.Insert(image); });
            if (config.unique && exists) {
                ASSERT_EQ(code, ZOLVEK_KEYVIOL);
                ++violations;
                continue;
            }
            ASSERT_EQ(code, 0);
            live.push_back(record);
            model.Add(t.Key(kIx, record), record);
        } else {
            std::uniform_int_distribution<size_t> any(0, live.size() - 1);
            remove_one(any(random));
        }
        if (op % batch == 0) {
            check(op);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
    if (config.unique) {
        EXPECT_GT(violations, 0);
    } // equal values did come up
    for (int op = config.operations + 1; !live.empty(); ++op) {
        std::uniform_int_distribution<size_t> any(0, live.size() - 1);
        remove_one(any(random));
        if (op % batch == 0) {
            check(op);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
    CheckAgainstModel(t, model, random);
    for (size_t slot = 0; slot < t.IndexCount(); ++slot)
        EXPECT_EQ(t.Tree(slot).RootPage(), 0u) << slot;
    EXPECT_EQ(t.FreePageCount(), t.IndexFile().UnitCount());
    t.Flush();
    EXPECT_EQ(Join(t.Verify()), "");
}

std::vector<TreeConfig> PropertyConfigs() {
    std::vector<TreeConfig> configs;
    for (TIndexCompression compression : { icNone, icDuplicateByte, icTrailingByte, icFull }) {
        for (bool unique : { false, true }) {
            for (int32_t page_size : { 1024, 16384 }) {
                TreeConfig config;
                config.compression = compression;
                config.unique = unique;
                config.page_size = page_size;
                config.string_size = page_size == 1024 ? 90 : 500;
                config.descending_value = unique;
                config.operations = page_size == 1024 ? 6000 : 4000;
                configs.push_back(config);
            }
        }
    }
    // Keys so long that a page holds three of them: non-leaf pages of a single entry.
    for (TIndexCompression compression : { icNone, icFull }) {
        TreeConfig config;
        config.compression = compression;
        config.string_size = 300;
        config.unique = compression == icNone;
        config.operations = 4000;
        configs.push_back(config);
    }
    TreeConfig no_counts;
    no_counts.compression = icFull;
    no_counts.no_statistics = true;
    no_counts.operations = 4000;
    configs.push_back(no_counts);
    TreeConfig turkish;
    turkish.compression = icFull;
    turkish.locale = kTurkishLocale;
    turkish.case_insensitive = true;
    turkish.string_size = 60;
    turkish.operations = 3000;
    configs.push_back(turkish);
    return configs;
}

std::string ConfigText(const TreeConfig& c) {
    static const char* modes[] = { "None", "Dup", "Trail", "Full" };
    std::string name = std::string(modes[c.compression]) + (c.unique ? "Unique" : "Multi")
        + std::to_string(c.page_size) + "Key" + std::to_string(c.string_size);
    if (c.no_statistics)
        name += "NoCounts";
    if (c.locale != 0)
        name += "Turkish";
    return name;
}

std::string ConfigName(const ::testing::TestParamInfo<TreeConfig>& info) {
    return ConfigText(info.param);
}

void PrintTo(const TreeConfig& config, std::ostream* out) {
    *out << ConfigText(config);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, TreeProperty, ::testing::ValuesIn(PropertyConfigs()), ConfigName);

} // namespace
} // namespace zolvek
