#include "db/base/errors.h"
#include "db/storage/buffered_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <map>

namespace zolvek {
namespace {

using testing::CodeOf;
using testing::ScratchDir;

constexpr size_t kUnit = 16;
constexpr uint64_t kFirst = 512;

// A buffered file of 16-byte units after a 512-byte header, with the unit count kept here.
class TestFile : public TBufferedFile {
public:
    using TBufferedFile::TBufferedFile;
    uint32_t units = 0;
    uint32_t cache_size = 8;
    uint32_t read_ahead = 4;
    uint32_t max_units = 1000;

    uint32_t UnitCount() const override { return units; }
    size_t UnitSizeOnDisk() const override { return kUnit; }
    size_t PayloadSize() const override { return kUnit; }
    uint64_t FirstUnitOffset() const override { return kFirst; }
    uint32_t CacheSizeInUnits() const override { return cache_size; }
    uint32_t DefaultReadAheadLimit() const override { return read_ahead; }
    int ScanCount() const override { return 4; }
    uint32_t GrowthStep() const override { return 64; }

protected:
    std::unique_ptr<TBuffer> CreateUnit() override {
        return std::make_unique<TBuffer>(*this, kUnit);
    }
    uint16_t CorruptCode() const override { return ZOLVEK_FILECORRUPT; }
    void CheckRoomForOneMore() override {
        if (units >= max_units)
            RaiseError(ZOLVEK_TABLEFULL);
    }
    void CountOneMoreUnit() override { ++units; }
};

class Requester : public TUnitRequester {
public:
    bool changed = false;
    int checks = 0;
    uint32_t wanted = 1;
    bool CheckTableChanged() override {
        ++checks;
        return changed;
    }
    uint32_t ReadAheadUnits(const TBufferedFile&, int) override { return wanted; }
};

class Owner : public TCacheOwner {
public:
    bool in_transaction = false;
    bool allow_short = false;
    int changes = 0;
    bool InTransaction() const override { return in_transaction; }
    bool AllowShortRead() const override { return allow_short; }
    bool StrictChangeDetection() const override { return false; }
    bool ForceBufferFlush() const override { return false; }
    void MarkChanged() override { ++changes; }
};

class BufferedFileTest : public ::testing::Test {
protected:
    TEngineErrors errors;
    TOpenFileTable files { errors };
    ScratchDir dir;
    Owner owner;
    Requester requester;
    TestFile file { files, errors };

    void SetUp() override {
        file.SetName(dir.File("t.dat"));
        file.Create();
        file.SetCacheOwner(&owner);
        std::vector<uint8_t> image(kFirst + 20 * kUnit);
        for (uint32_t n = 1; n <= 20; ++n)
            std::fill_n(image.begin() + ptrdiff_t(file.UnitOffset(n)), kUnit, uint8_t(n));
        file.WriteAt(0, image.data(), image.size());
        file.units = 20;
        file.ResetCache();
    }

    uint8_t FirstByteOnDisk(uint32_t n) {
        uint8_t byte = 0;
        file.ReadAt(file.UnitOffset(n), &byte, 1);
        return byte;
    }
};

TEST_F(BufferedFileTest, FlushWritesRunsOfConsecutiveUnitsOnce) {
    for (uint32_t n : { 9u, 5u, 6u }) {
        TPinned<> unit(file.GetUnit(&requester, 0, n, false, rdNone));
        unit->Data()[0] = uint8_t(100 + n);
        unit->MarkDirty();
    }
    uint64_t writes_before = file.Stats().write_calls;
    EXPECT_TRUE(file.FlushUnits(false));
    EXPECT_EQ(file.Stats().write_calls - writes_before, 2u);
    EXPECT_EQ(FirstByteOnDisk(5), 105);
    EXPECT_EQ(FirstByteOnDisk(6), 106);
    EXPECT_EQ(FirstByteOnDisk(9), 109);
    EXPECT_EQ(FirstByteOnDisk(7), 7);
    EXPECT_FALSE(file.FlushUnits(false));
    EXPECT_EQ(owner.changes, 2);
}

TEST_F(BufferedFileTest, DirtyPinnedUnitIsCorruptUnlessSkipped) {
    TPinned<> unit(file.GetUnit(&requester, 0, 3, false, rdNone));
    unit->MarkDirty();
    EXPECT_FALSE(file.FlushUnits(true));
    EXPECT_EQ(CodeOf([&] { file.FlushUnits(false); }), ZOLVEK_FILECORRUPT);
}

TEST_F(BufferedFileTest, ReadAheadFetchesSeveralUnitsInOneCall) {
    requester.wanted = 4;
    TPinned<> forward(file.GetUnit(&requester, 0, 3, true, rdForward));
    EXPECT_EQ(forward->Data()[0], 3);
    EXPECT_EQ(file.Stats().read_calls, 1u);
    for (uint32_t n = 3; n <= 6; ++n)
        EXPECT_TRUE(file.IsCached(n)) << n;
    EXPECT_FALSE(file.IsCached(7));

    TPinned<> backward(file.GetUnit(&requester, 0, 12, true, rdBackward));
    EXPECT_EQ(file.Stats().read_calls, 2u);
    for (uint32_t n = 9; n <= 12; ++n)
        EXPECT_TRUE(file.IsCached(n)) << n;
    // Near the end only what exists is asked for.
    TPinned<> tail(file.GetUnit(&requester, 0, 19, true, rdForward));
    EXPECT_TRUE(file.IsCached(20));
    // Cached units cost no read and no change check.
    int checks = requester.checks;
    TPinned<> again(file.GetUnit(&requester, 0, 4, true, rdForward));
    EXPECT_EQ(requester.checks, checks);
    EXPECT_EQ(file.Stats().read_calls, 3u);
}

TEST_F(BufferedFileTest, LeastRecentlyUsedCleanUnitIsReused) {
    file.cache_size = 3;
    file.ResetCache();
    for (uint32_t n : { 1u, 2u, 3u })
        file.ReleaseUnit(file.GetUnit(&requester, 0, n, false, rdNone));
    file.ReleaseUnit(file.GetUnit(&requester, 0, 1, false, rdNone)); // 2 is now the oldest
    file.ReleaseUnit(file.GetUnit(&requester, 0, 4, false, rdNone));
    EXPECT_FALSE(file.IsCached(2));
    EXPECT_TRUE(file.IsCached(1));
    EXPECT_EQ(file.CachedCount(), 3u);
    EXPECT_EQ(file.Capacity(), 3u);
}

TEST_F(BufferedFileTest, FullCacheOfPinnedOrDirtyUnitsGrows) {
    file.cache_size = 1;
    file.ResetCache();
    TPinned<> pinned(file.GetUnit(&requester, 0, 1, false, rdNone));
    TPinned<> second(file.GetUnit(&requester, 0, 2, false, rdNone));
    EXPECT_EQ(file.Capacity(), 1u + 64u);
    EXPECT_EQ(second->Data()[0], 2);
    // Inside a transaction dirty units are not flushed to make room.
    second->MarkDirty();
    pinned.Reset();
    second.Reset();
    owner.in_transaction = true;
    file.cache_size = 1;
    file.Trim();
    EXPECT_EQ(file.CachedCount(), 1u); // the dirty unit stays
    TPinned<> third(file.GetUnit(&requester, 0, 3, false, rdNone));
    EXPECT_TRUE(file.IsCached(2));
    EXPECT_EQ(FirstByteOnDisk(2), 2);
}

TEST_F(BufferedFileTest, AppendingAndBadUnitNumbers) {
    TPinned<> appended(file.GetUnit(&requester, 0, 21, false, rdNone));
    EXPECT_EQ(file.units, 21u);
    EXPECT_EQ(appended->Data()[0], 0);
    EXPECT_EQ(CodeOf([&] { file.GetUnit(&requester, 0, 0, false, rdNone); }), ZOLVEK_FILECORRUPT);
    EXPECT_EQ(CodeOf([&] { file.GetUnit(&requester, 0, 23, false, rdNone); }), ZOLVEK_FILECORRUPT);
    file.max_units = 22;
    file.ReleaseUnit(file.GetUnit(&requester, 0, 22, false, rdNone));
    EXPECT_EQ(CodeOf([&] { file.GetUnit(&requester, 0, 23, false, rdNone); }), ZOLVEK_TABLEFULL);
    EXPECT_EQ(file.units, 22u);
}

TEST_F(BufferedFileTest, ShortReadsRaiseUnlessTheTableAllowsThem) {
    file.units = 25; // units 21..25 exist only in the count
    requester.wanted = 4;
    EXPECT_EQ(CodeOf([&] { file.GetUnit(&requester, 0, 19, true, rdForward); }), ZOLVEK_READERR);
    owner.allow_short = true;
    TPinned<> unit(file.GetUnit(&requester, 0, 19, true, rdForward));
    EXPECT_TRUE(file.IsCached(20));
    EXPECT_FALSE(file.IsCached(21));
    EXPECT_EQ(CodeOf([&] { file.GetUnit(&requester, 0, 22, false, rdNone); }), ZOLVEK_FILECORRUPT);
}

TEST_F(BufferedFileTest, ChangeReportedOnMissAndDiscardKeepsPinnedUnitsAlive) {
    TPinned<> held(file.GetUnit(&requester, 0, 1, false, rdNone));
    requester.changed = true;
    EXPECT_EQ(file.GetUnit(&requester, 0, 2, false, rdNone), nullptr);
    held->Data()[1] = 42;
    held->MarkDirty();
    file.DiscardAll();
    EXPECT_EQ(file.CachedCount(), 0u);
    EXPECT_EQ(held->Data()[1], 42); // still valid memory until released
    held.Reset();
    EXPECT_FALSE(file.FlushUnits(false));
    requester.changed = false;
    TPinned<> fresh(file.GetUnit(&requester, 0, 1, false, rdNone));
    EXPECT_EQ(fresh->Data()[1], 1);
}

TEST_F(BufferedFileTest, TrimAndTruncateToHeader) {
    file.cache_size = 2;
    file.ResetCache();
    {
        TPinned<> a(file.GetUnit(&requester, 0, 1, false, rdNone));
        TPinned<> b(file.GetUnit(&requester, 0, 2, false, rdNone));
        TPinned<> c(file.GetUnit(&requester, 0, 3, false, rdNone));
    }
    EXPECT_EQ(file.CachedCount(), 3u);
    file.Trim();
    EXPECT_EQ(file.CachedCount(), 2u);
    EXPECT_EQ(file.Capacity(), 2u);
    file.TruncateToHeader(false);
    EXPECT_EQ(file.Size(), int64_t(kFirst));
}

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

TEST_F(BufferedFileTest, RolledBackChangeRestoresUnitsAndDropsAppendedOnes) {
    {
        TPinned<> earlier(file.GetUnit(&requester, 0, 2, false, rdNone));
        earlier->Data()[0] = 77;
        earlier->MarkDirty(); // a change made before the journal opened stays
    }
    file.BeginChange();
    {
        TPinned<> unit(file.GetUnit(&requester, 0, 3, false, rdNone));
        unit->Data()[0] = 99;
        unit->MarkDirty();
        TPinned<> again(file.GetUnit(&requester, 0, 2, false, rdNone));
        again->Data()[0] = 55;
        TPinned<> appended(file.GetUnit(&requester, 0, 21, false, rdNone));
        appended->Data()[0] = 1;
    }
    file.RollbackChange();
    file.units = 20; // the owner restores its header
    EXPECT_FALSE(file.IsCached(21));
    TPinned<> three(file.GetUnit(&requester, 0, 3, false, rdNone));
    EXPECT_EQ(three->Data()[0], 3);
    EXPECT_TRUE(three->Dirty()); // written again, in case a flush wrote part of the change
    TPinned<> two(file.GetUnit(&requester, 0, 2, false, rdNone));
    EXPECT_EQ(two->Data()[0], 77);
    EXPECT_TRUE(two->Dirty());
    two.Reset();
    three.Reset();
    // A finished change keeps its units.
    file.BeginChange();
    {
        TPinned<> unit(file.GetUnit(&requester, 0, 4, false, rdNone));
        unit->Data()[0] = 44;
        unit->MarkDirty();
    }
    file.EndChange();
    file.FlushUnits(false);
    EXPECT_EQ(FirstByteOnDisk(4), 44);
}

} // namespace
} // namespace zolvek
