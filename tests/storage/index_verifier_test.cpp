#include "db/storage/index_verifier.h"

#include "db/base/locale.h"
#include "indexed_table.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace zolvek {
namespace {

using testing::EngineFixture;
using testing::GlossaryDefinition;
using testing::IndexedTable;
using testing::Join;

const char* const kWords[] = { "ılık", "Işık", "iyi", "İyilik", "çiçek", "Çorap", "ağaç", "öğüt",
    "şeker", "Şule", "üzüm", "Ütü", "gül", "güneş", "kapı", "kalem", "deniz", "dağ", "ev", "el" };

class IndexVerifierTest : public EngineFixture {
protected:
    // The glossary table on small pages with `copies` of every word.
    std::unique_ptr<IndexedTable> Glossary(const std::string& name, int copies = 12) {
        TableDefinition definition = GlossaryDefinition();
        definition.IndexPageSize = 1024;
        auto t = std::make_unique<IndexedTable>(*directory, name, definition);
        for (int copy = 0; copy < copies; ++copy) {
            for (const char* word : kWords) {
                std::string text = Utf8ToCp1254(word) + std::to_string(copy % 4);
                std::vector<uint8_t> image = t->NewImage();
                t->SetString(image, "ANAHTAR", text);
                t->SetString(image, "INDEX", text.substr(0, 1));
                t->Insert(image);
            }
        }
        return t;
    }
};

TEST_F(IndexVerifierTest, AHealthyGlossaryHasNoFindings) {
    auto t = Glossary("datalar");
    EXPECT_EQ(Join(t->Verify()), "");
    // Case-insensitive Turkish keys: "ılık0" and "ILIK0" would be one key; the three indexes
    // hold every record once.
    for (size_t slot = 0; slot < t->IndexCount(); ++slot)
        EXPECT_EQ(t->Tree(slot).KeyCount(), 240u) << slot;
    t->Flush();
    t->IndexFile().DiscardAll();
    EXPECT_EQ(Join(t->Verify()), "");
}

TEST_F(IndexVerifierTest, EachBrokenRuleIsReported) {
    struct Damage {
        const char* what;
        std::function<void(IndexedTable&)> apply;
        const char* finding;
    };
    auto leaf_of = [](IndexedTable& t, size_t slot) {
        TIndexTree& tree = t.Tree(slot);
        TIndexPosition position;
        tree.First(position);
        tree.GotoOrdinal(100, position);
        return tree.FetchPage(position.Page);
    };
    const Damage damages[] = {
        { "subtree count",
            [](IndexedTable& t) {
                TPinned<TPage> root = t.Tree(1).FetchPage(t.Tree(1).RootPage());
                root->SetSubtreeCount(1, root->SubtreeCount(1) + 1);
            },
            "its parent entry counts" },
        { "parent key",
            [](IndexedTable& t) {
                TPinned<TPage> root = t.Tree(1).FetchPage(t.Tree(1).RootPage());
                std::vector<uint8_t> key(root->Key(2), root->Key(2) + root->KeyLength());
                key[3] ^= 1;
                root->ReplaceKey(2, key.data());
            },
            "its parent entry's key differs" },
        { "leaf key",
            [&](IndexedTable& t) {
                TPinned<TPage> leaf = leaf_of(t, 2);
                std::vector<uint8_t> key(leaf->Key(2), leaf->Key(2) + leaf->KeyLength());
                key[key.size() - 1] ^= 0x40; // the RecordID suffix
                leaf->ReplaceKey(2, key.data());
            },
            "the key differs from the one record" },
        { "key order",
            [&](IndexedTable& t) {
                TPinned<TPage> leaf = leaf_of(t, 1);
                std::vector<uint8_t> key(leaf->Key(1), leaf->Key(1) + leaf->KeyLength());
                leaf->ReplaceKey(3, key.data());
            },
            "is not above the key before it" },
        { "level link", [&](IndexedTable& t) { leaf_of(t, 0)->SetNextPage(0); },
            "links on to page 0" },
        { "record number",
            [&](IndexedTable& t) {
                TPinned<TPage> leaf = leaf_of(t, 0);
                leaf->SetRef(1, leaf->Ref(2));
            },
            "which has another key" },
        { "lost page", [](IndexedTable& t) { t.Tree(1).AllocatePage(); },
            "pages are neither in an index nor on the free page list" },
        { "free list cycle",
            [](IndexedTable& t) {
                TPinned<TPage> page = t.Tree(1).AllocatePage();
                t.Tree(1).FreePage(*page);
                page->SetNextPage(page->PageNumber());
            },
            "closes a cycle in the free page list" },
        { "deleted record",
            [](IndexedTable& t) {
                TPinned<TRecord> record(t.DataFile().ReadRecord(nullptr, 7));
                t.DataFile().FreeSlot(record.get());
            },
            "which is not live" },
    };
    int n = 0;
    for (const Damage& damage : damages) {
        auto t = Glossary("t" + std::to_string(n++));
        ASSERT_EQ(Join(t->Verify()), "");
        damage.apply(*t);
        std::string findings = Join(t->Verify());
        EXPECT_NE(findings.find(damage.finding), std::string::npos) << damage.what << ":\n"
                                                                    << findings;
    }
}

TEST_F(IndexVerifierTest, RandomDamageIsReportedWithoutCrashing) {
    {
        auto t = Glossary("datalar");
        t->Flush();
    }
    const std::string path = dir.File("datalar.idx");
    std::vector<char> original;
    {
        std::ifstream in(path, std::ios::binary);
        original.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t pages_start = 25088;
    ASSERT_GT(original.size(), pages_start + 4096);
    std::mt19937 random(11);
    std::uniform_int_distribution<size_t> offset(pages_start, original.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    int reported = 0;
    for (int round = 0; round < 40; ++round) {
        std::vector<char> damaged = original;
        for (int flips = 0; flips < 1 + round % 4; ++flips)
            damaged[offset(random)] = char(byte(random));
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(damaged.data(), std::streamsize(damaged.size()));
        }
        TDataTable* table = directory->AcquireTable("datalar", true, false);
        std::vector<std::string> findings = VerifyTableIndexes(*table);
        if (!findings.empty())
            ++reported;
        directory->ReleaseTable(table);
    }
    // Most flips land in bytes that matter (headers, keys, counts, links).
    EXPECT_GT(reported, 20);
}

} // namespace
} // namespace zolvek
