#include "db/storage/index_page.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "support/engine_fixture.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zolvek {
namespace {

using testing::CodeOf;
using testing::EngineFixture;
using testing::Field;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSlot = 1; // the secondary index of the tables below

class IndexPageTest : public EngineFixture {
protected:
    // A table whose secondary index covers one fixed-bytes field of `size` bytes.
    TDataTable* MakeTable(const std::string& name, TIndexCompression compression, bool unique,
        uint16_t size = 300, int32_t page_size = 1024, bool encrypted = false) {
        TableDefinition definition;
        definition.Fields.push_back(Field("X", kTypeBytes, size));
        IndexDefinition index;
        index.Name = "IX";
        index.Fields = { 1 };
        index.Unique = unique;
        index.Compression = compression;
        definition.SecondaryIndexes.push_back(index);
        definition.IndexPageSize = page_size;
        definition.Encrypted = encrypted;
        definition.Password = encrypted ? "secret" : "";
        return directory->CreateTable(name, definition);
    }

    static Bytes Save(TPage& page) {
        Bytes image(page.PageDataSize() + kIndexPageHeaderSize);
        page.Save(image.data());
        return image;
    }

    static void Fill(TPage& page, const std::vector<Bytes>& keys) {
        for (const Bytes& key : keys) {
            size_t pos = page.InsertEntry(page.EntryCount(), key.data());
            page.SetRef(pos, uint32_t(1000 + pos));
            page.AdjustPackedSize(pos, true);
        }
    }
};

// Keys of a 301-byte index (presence byte and 300 value bytes, plus the suffix when non-unique)
// that stress both compression bytes: a shared prefix longer than 254 bytes, and keys that
// differ only in trailing zeros or only in a suffix ending in zeros.
std::vector<Bytes> StressKeys(size_t key_length, bool unique) {
    std::vector<Bytes> keys;
    auto key = [&](const std::string& value, uint32_t suffix) {
        Bytes k(key_length, 0);
        k[0] = 1;
        std::copy(value.begin(), value.end(), k.begin() + 1);
        if (!unique)
            StoreU32BE(k.data() + key_length - 4, suffix);
        return k;
    };
    keys.push_back(key("A", 0x80000100));
    keys.push_back(key(std::string("A\0\0\0\x01", 5), 0x80000100));
    keys.push_back(key(std::string(280, 'b'), 0x80000000));
    keys.push_back(key(std::string(280, 'b') + "c", 0x80000000));
    keys.push_back(key(std::string(299, 'b') + "d", 0x80000001));
    keys.push_back(key(std::string(300, 'e'), 0x80010000));
    if (!unique) {
        keys.push_back(key(std::string(300, 'e'), 0x80010001)); // suffix alone differs
        keys.push_back(key(std::string(300, 'f'), 0x00000000));
        keys.push_back(key(std::string(300, 'f'), 0x00000100));
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

TEST_F(IndexPageTest, LeavesRoundTripInEveryCompressionMode) {
    int n = 0;
    for (TIndexCompression compression : { icNone, icDuplicateByte, icTrailingByte, icFull }) {
        for (bool unique : { true, false }) {
            SCOPED_TRACE(
                ::testing::Message() << "compression " << int(compression) << " unique " << unique);
            TDataTable* table
                = MakeTable("t" + std::to_string(n++), compression, unique, 300, 4096);
            TIndexFile& file = table->IndexFile();
            size_t k = file.Slots()[kSlot].KeyLength;
            ASSERT_EQ(k, unique ? 301u : 305u);
            std::vector<Bytes> keys = StressKeys(k, unique);

            TPage page(file);
            page.InitForIndex(kSlot);
            page.SetPageType(ptLeaf);
            Fill(page, keys);
            EXPECT_EQ(page.PackedSize(), page.ComputePackedSize());
            bool dup = compression == icDuplicateByte || compression == icFull;
            bool trail = compression == icTrailingByte || compression == icFull;
            // Entry 4 shares 281 bytes with entry 3: 254 is the most that is recorded.
            EXPECT_EQ(page.DupBytes(4), dup ? 254 : 0);
            EXPECT_EQ(page.DupBytes(1), 0);
            // Entry 1 is "A" and 299 zeros: the zeros go (254 at most) unless the mode keeps
            // them.
            EXPECT_EQ(page.TrailBytes(1), trail ? 254 : 0);
            if (compression != icNone) {
                EXPECT_LT(page.PackedSize(), keys.size() * (k + 4));
            } else {
                EXPECT_EQ(page.PackedSize(), 0u);
            }

            Bytes image = Save(page);
            TPage loaded(file);
            loaded.Initialise(kSlot);
            loaded.Load(image.data());
            ASSERT_EQ(loaded.EntryCount(), keys.size());
            EXPECT_EQ(loaded.PageType(), ptLeaf);
            EXPECT_EQ(loaded.PackedSize(), page.PackedSize());
            for (size_t pos = 1; pos <= keys.size(); ++pos) {
                EXPECT_EQ(Bytes(loaded.Key(pos), loaded.Key(pos) + k), keys[pos - 1]) << pos;
                EXPECT_EQ(loaded.Ref(pos), 1000 + pos);
                EXPECT_EQ(loaded.DupBytes(pos), page.DupBytes(pos));
                EXPECT_EQ(loaded.TrailBytes(pos), page.TrailBytes(pos));
            }
            // Taking entries out (inside, first, last) keeps the bookkeeping exact.
            for (int step = 0; step < 3; ++step) {
                size_t pos = step == 0 ? 4 : (step == 1 ? 1 : loaded.EntryCount());
                loaded.AdjustPackedSize(pos, false);
                loaded.RemoveEntry(pos);
                EXPECT_EQ(loaded.PackedSize(), loaded.ComputePackedSize());
            }
            directory->ReleaseTable(table);
        }
    }
}

TEST_F(IndexPageTest, NonLeafPagesKeepChildCountsAndLinks) {
    TDataTable* table = MakeTable("t", icFull, false, 20);
    TIndexFile& file = table->IndexFile();
    size_t k = file.Slots()[kSlot].KeyLength;
    TPage page(file);
    page.InitForIndex(kSlot);
    page.SetPageType(ptNode);
    page.SetPrevPage(7);
    page.SetNextPage(9);
    Bytes key(k, 0);
    for (uint32_t i = 1; i <= 5; ++i) {
        key[1] = uint8_t('a' + i);
        size_t pos = page.InsertEntry(i - 1, key.data());
        page.SetRef(pos, 100 + i);
        page.SetSubtreeCount(pos, i * 10);
    }
    EXPECT_EQ(page.SubtreeTotal(), 150u);
    EXPECT_EQ(page.CountBefore(1), 0u);
    EXPECT_EQ(page.CountBefore(4), 60u);
    EXPECT_EQ(page.PackedSize(), 0u);
    Bytes image = Save(page);
    TPage loaded(file);
    loaded.Initialise(kSlot);
    loaded.Load(image.data());
    EXPECT_EQ(loaded.PageType(), ptNode);
    EXPECT_EQ(loaded.PrevPage(), 7u);
    EXPECT_EQ(loaded.NextPage(), 9u);
    EXPECT_EQ(loaded.SubtreeTotal(), 150u);
    EXPECT_EQ(loaded.Ref(3), 103u);
    EXPECT_EQ(loaded.Key(5)[1], 'a' + 5);
    // The image holds uncompressed entries of K + 8 bytes after the header.
    EXPECT_EQ(LoadU16(image.data() + 1), 5);
    EXPECT_EQ(LoadU32(image.data() + 13 + k), 101u);
    EXPECT_EQ(LoadU32(image.data() + 13 + k + 4), 10u);
    // A leaf counts its entries.
    TPage leaf(file);
    leaf.CopyFrom(loaded);
    leaf.SetPageType(ptLeaf);
    EXPECT_EQ(leaf.SubtreeTotal(), 5u);
    EXPECT_EQ(leaf.CountBefore(1), 0u);
    EXPECT_EQ(leaf.SubtreeCount(2), 0u);
    directory->ReleaseTable(table);
}

TEST_F(IndexPageTest, EncryptedTablesEncipherWholePages) {
    TDataTable* table = MakeTable("secret", icNone, true, 40, 1024, true);
    TIndexFile& file = table->IndexFile();
    ASSERT_NE(file.Cipher(), nullptr);
    size_t k = file.Slots()[kSlot].KeyLength;
    TPage page(file);
    page.InitForIndex(kSlot);
    page.SetPageType(ptRootLeaf);
    Bytes key(k, 'Q');
    key[0] = 1;
    Fill(page, { key });
    Bytes image = Save(page);
    EXPECT_EQ(
        std::search(image.begin(), image.end(), key.begin() + 1, key.begin() + 9), image.end());
    EXPECT_NE(image[0], ptRootLeaf);
    TPage loaded(file);
    loaded.Initialise(kSlot);
    loaded.Load(image.data());
    ASSERT_EQ(loaded.EntryCount(), 1u);
    EXPECT_EQ(Bytes(loaded.Key(1), loaded.Key(1) + k), key);
    EXPECT_EQ(loaded.PageType(), ptRootLeaf);
    directory->ReleaseTable(table);
}

TEST_F(IndexPageTest, DamagedImagesAreRefusedWith8965) {
    TDataTable* table = MakeTable("t", icFull, false, 20);
    TIndexFile& file = table->IndexFile();
    size_t k = file.Slots()[kSlot].KeyLength; // 25
    TPage page(file);
    page.InitForIndex(kSlot);
    page.SetPageType(ptLeaf);
    std::vector<Bytes> keys;
    for (int i = 0; i < 6; ++i) {
        Bytes key(k, 0);
        key[0] = 1;
        key[1] = 'k';
        key[2] = uint8_t('a' + i);
        StoreU32BE(key.data() + k - 4, 0x80000000u + uint32_t(i));
        keys.push_back(key);
    }
    Fill(page, keys);
    const Bytes good = Save(page);
    // Entry layout: d, t, kept bytes, suffix, record number. Entry 1 starts at 13.
    const size_t first_t = 14;
    const size_t second = 13 + 2 + (k - 4 - page.TrailBytes(1)) + 8;
    struct Damage {
        const char* what;
        std::function<void(Bytes&)> apply;
    };
    const Damage damages[] = {
        { "page type", [](Bytes& b) { b[0] = 9; } },
        { "entry count past the data", [](Bytes& b) { StoreU16(b.data() + 1, 0xFFFF); } },
        { "one entry more than the bytes", [](Bytes& b) { StoreU16(b.data() + 1, 7); } },
        { "packed size", [](Bytes& b) { StoreU16(b.data() + 11, LoadU16(b.data() + 11) + 1); } },
        { "first entry shares bytes", [](Bytes& b) { b[13] = 1; } },
        { "shared bytes reach the suffix", [&](Bytes& b) { b[second] = uint8_t(k - 3); } },
        { "dropped bytes beyond the key", [&](Bytes& b) { b[first_t] = uint8_t(k - 3); } },
        { "dropped bytes over 254", [&](Bytes& b) { b[first_t] = 255; } },
    };
    for (const Damage& damage : damages) {
        Bytes image = good;
        damage.apply(image);
        TPage loaded(file);
        loaded.Initialise(kSlot);
        EXPECT_EQ(CodeOf([&] { loaded.Load(image.data()); }), ZOLVEK_INDEXCORRUPT) << damage.what;
    }

    // A non-leaf page whose count needs more bytes than a page holds.
    page.SetPageType(ptNode);
    page.RecalcPackedSize();
    Bytes node = Save(page);
    StoreU16(node.data() + 1, uint16_t(page.PageDataSize() / (k + 8) + 1));
    TPage loaded(file);
    loaded.Initialise(kSlot);
    EXPECT_EQ(CodeOf([&] { loaded.Load(node.data()); }), ZOLVEK_INDEXCORRUPT);
    // And the undamaged image still loads.
    loaded.Initialise(kSlot);
    loaded.Load(good.data());
    EXPECT_EQ(loaded.EntryCount(), keys.size());
    directory->ReleaseTable(table);
}

TEST_F(IndexPageTest, CapacityAndOverfullFollowThePageKind) {
    // K = 152 on 1024-byte pages: 1011 / 156 = 6 leaf entries, 1011 / 160 = 6 node entries.
    TDataTable* table = MakeTable("t", icNone, true, 151);
    TIndexFile& file = table->IndexFile();
    EXPECT_EQ(file.PayloadSize(), 1011u);
    size_t k = file.Slots()[kSlot].KeyLength;
    ASSERT_EQ(k, 152u);
    TPage page(file);
    page.InitForIndex(kSlot);
    page.SetPageType(ptLeaf);
    EXPECT_EQ(page.Capacity(), 6u);
    page.SetPageType(ptNode);
    EXPECT_EQ(page.Capacity(), 6u);
    Bytes key(k, 1);
    for (int i = 0; i < 6; ++i)
        page.InsertEntry(0, key.data());
    EXPECT_FALSE(page.IsOverfull());
    page.InsertEntry(0, key.data());
    EXPECT_TRUE(page.IsOverfull());
    directory->ReleaseTable(table);

    // A compressed leaf is full by packed bytes, not by entry count.
    TDataTable* compressed = MakeTable("c", icFull, true, 151);
    TPage leaf(compressed->IndexFile());
    leaf.InitForIndex(kSlot);
    leaf.SetPageType(ptLeaf);
    Bytes small(k, 0);
    small[0] = 1;
    for (int i = 0; i < 50; ++i) {
        small[1] = uint8_t(i);
        size_t pos = leaf.InsertEntry(leaf.EntryCount(), small.data());
        leaf.AdjustPackedSize(pos, true);
    }
    EXPECT_GT(leaf.EntryCount(), leaf.Capacity());
    EXPECT_FALSE(leaf.IsOverfull());
    directory->ReleaseTable(compressed);
}

} // namespace
} // namespace zolvek
