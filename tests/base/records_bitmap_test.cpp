#include "db/base/records_bitmap.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace zolvek {
namespace {

TRecordsBitmap Filled(uint32_t size) {
    TRecordsBitmap bitmap;
    bitmap.SetSize(size);
    bitmap.SetAll();
    return bitmap;
}

TEST(RecordsBitmap, NewBitmapIsEmptyWithoutStorage) {
    TRecordsBitmap bitmap;
    EXPECT_EQ(bitmap.Size(), 0u);
    EXPECT_EQ(bitmap.AllocatedWords(), 0u);
    EXPECT_EQ(bitmap.CountBits(), 0u);
    uint32_t position = 0;
    EXPECT_FALSE(bitmap.FindNext(position));
    position = 1;
    EXPECT_FALSE(bitmap.FindPrior(position));
}

TEST(RecordsBitmap, SetAllCountAndInvertStayWithinTheSize) {
    for (uint32_t size : { 1u, 31u, 32u, 33u, 63u, 64u, 65u, 128u, 1000u }) {
        TRecordsBitmap bitmap = Filled(size);
        EXPECT_EQ(bitmap.CountBits(), size);
        EXPECT_TRUE(bitmap.GetBit(size));
        EXPECT_FALSE(bitmap.GetBit(size + 1));
        bitmap.Invert();
        EXPECT_EQ(bitmap.CountBits(), 0u) << size;
        bitmap.Invert();
        EXPECT_EQ(bitmap.CountBits(), size);
        bitmap.ClearAll();
        EXPECT_EQ(bitmap.CountBits(), 0u);
    }
}

TEST(RecordsBitmap, FindNextAndPriorAtTheEnds) {
    TRecordsBitmap bitmap;
    bitmap.SetSize(100);
    bitmap.SetBit(7);
    bitmap.SetBit(64);
    bitmap.SetBit(65);
    bitmap.SetBit(100);

    uint32_t position = 0;
    ASSERT_TRUE(bitmap.FindNext(position));
    EXPECT_EQ(position, 7u);
    position = 100;
    EXPECT_FALSE(bitmap.FindNext(position));
    EXPECT_EQ(position, 100u);
    position = 7;
    ASSERT_TRUE(bitmap.FindNext(position, 3));
    EXPECT_EQ(position, 100u);
    position = 7;
    EXPECT_FALSE(bitmap.FindNext(position, 4));

    uint32_t skipped = 99;
    position = 101;
    ASSERT_TRUE(bitmap.FindPrior(position, 1, skipped));
    EXPECT_EQ(position, 100u);
    EXPECT_EQ(skipped, 0u);
    position = 5000; // far above N starts at N
    ASSERT_TRUE(bitmap.FindPrior(position, 2, skipped));
    EXPECT_EQ(position, 65u);
    EXPECT_EQ(skipped, 1u);
    position = 1;
    EXPECT_FALSE(bitmap.FindPrior(position, 1, skipped));
    EXPECT_EQ(skipped, 0u);
    position = 64;
    EXPECT_FALSE(bitmap.FindPrior(position, 2, skipped));
    EXPECT_EQ(position, 64u);
    EXPECT_EQ(skipped, 1u); // passed record 7 only
}

TEST(RecordsBitmap, FindInFullWordsComputesThePositionDirectly) {
    TRecordsBitmap bitmap = Filled(64 * 4);
    uint32_t position = 10;
    ASSERT_TRUE(bitmap.FindNext(position, 200));
    EXPECT_EQ(position, 210u);
    uint32_t skipped = 0;
    ASSERT_TRUE(bitmap.FindPrior(position, 200, skipped));
    EXPECT_EQ(position, 10u);
    EXPECT_EQ(skipped, 199u);
}

TEST(RecordsBitmap, ShrinkingClearsAboveTheNewSizeAndGrowingFindsClearBits) {
    TRecordsBitmap bitmap = Filled(100);
    const size_t allocated = bitmap.AllocatedWords();
    bitmap.SetSize(40);
    EXPECT_EQ(bitmap.CountBits(), 40u);
    EXPECT_EQ(bitmap.AllocatedWords(), allocated); // storage kept while N > 0
    bitmap.SetSize(100);
    EXPECT_EQ(bitmap.CountBits(), 40u);
    EXPECT_FALSE(bitmap.GetBit(41));
    EXPECT_FALSE(bitmap.GetBit(100));
    bitmap.SetSize(0);
    EXPECT_EQ(bitmap.Size(), 0u);
    EXPECT_EQ(bitmap.AllocatedWords(), 0u);
    bitmap.SetSize(10);
    EXPECT_EQ(bitmap.CountBits(), 0u);
}

TEST(RecordsBitmap, AssignTakesTheOtherSizeAndBits) {
    TRecordsBitmap small;
    small.SetSize(33);
    small.SetBit(1);
    small.SetBit(33);
    TRecordsBitmap large = Filled(1000);
    large.Assign(small);
    EXPECT_EQ(large.Size(), 33u);
    EXPECT_EQ(large.CountBits(), 2u);
    large.SetSize(1000);
    EXPECT_EQ(large.CountBits(), 2u); // nothing of the old bits came back
    small.Assign(Filled(70));
    EXPECT_EQ(small.Size(), 70u);
    EXPECT_EQ(small.CountBits(), 70u);
}

TEST(RecordsBitmap, PositionsOutsideTheSizeAreIgnored) {
    TRecordsBitmap bitmap;
    bitmap.SetSize(10);
    bitmap.SetBit(0);
    bitmap.SetBit(11);
    bitmap.SetBit(4'000'000'000u);
    EXPECT_EQ(bitmap.CountBits(), 0u);
    EXPECT_FALSE(bitmap.GetBit(0));
    EXPECT_FALSE(bitmap.GetBit(11));
    bitmap.SetAll();
    bitmap.ClearBit(11);
    EXPECT_EQ(bitmap.CountBits(), 10u);
}

TEST(RecordsBitmap, CombiningWithAShorterBitmapKeepsTheInvariant) {
    TRecordsBitmap longer = Filled(70);
    const TRecordsBitmap shorter = Filled(65);
    longer.AndWith(shorter);
    EXPECT_EQ(longer.CountBits(), 65u);
    TRecordsBitmap short_one;
    short_one.SetSize(10);
    short_one.OrWith(Filled(70));
    EXPECT_EQ(short_one.CountBits(), 10u);
    short_one.SetSize(70);
    EXPECT_EQ(short_one.CountBits(), 10u);
}

// The reference the randomized comparison checks against.
struct Model {
    std::vector<bool> bits; // bits[r - 1] is record r

    uint32_t Count() const {
        uint32_t count = 0;
        for (bool bit : bits)
            count += bit ? 1 : 0;
        return count;
    }
    bool FindNext(uint32_t& position, uint32_t n) const {
        for (uint64_t r = uint64_t(position) + 1; r <= bits.size(); ++r) {
            if (bits[r - 1] && --n == 0) {
                position = uint32_t(r);
                return true;
            }
        }
        return false;
    }
    bool FindPrior(uint32_t& position, uint32_t n, uint32_t& skipped) const {
        skipped = 0;
        if (position <= 1)
            return false;
        const uint64_t start = std::min<uint64_t>(position - 1, bits.size());
        for (uint64_t r = start; r >= 1; --r) {
            if (bits[r - 1]) {
                if (n == 1) {
                    position = uint32_t(r);
                    return true;
                }
                --n;
                ++skipped;
            }
        }
        return false;
    }
};

// The count is compared always, every bit when `every_bit` is set (the large sizes make that
// the costly part).
void ExpectSame(const TRecordsBitmap& bitmap, const Model& model, bool every_bit) {
    ASSERT_EQ(bitmap.Size(), model.bits.size());
    ASSERT_EQ(bitmap.CountBits(), model.Count());
    if (!every_bit && model.bits.size() > 1000)
        return;
    for (uint32_t r = 1; r <= model.bits.size(); ++r)
        ASSERT_EQ(bitmap.GetBit(r), bool(model.bits[r - 1])) << "record " << r;
}

class RecordsBitmapRandom : public ::testing::TestWithParam<uint32_t> { };

TEST_P(RecordsBitmapRandom, AgreesWithASimpleModel) {
    const uint32_t seed = GetParam();
    std::mt19937 random(seed);
    const uint32_t sizes[] = { 1, 2, 31, 32, 33, 63, 64, 65, 127, 128, 129, 1000, 65536, 65537 };
    auto pick_size = [&] {
        return sizes[random() % std::size(sizes)] + (random() % 4 == 0 ? random() % 3 : 0);
    };
    // Density varies so that empty, full and mixed words all occur.
    auto fill = [&](TRecordsBitmap& bitmap, Model& model, uint32_t size) {
        bitmap.SetSize(0);
        bitmap.SetSize(size);
        model.bits.assign(size, false);
        const uint32_t density = random() % 5;
        for (uint32_t r = 1; r <= size; ++r) {
            bool set = false;
            switch (density) {
            case 0:
                set = random() % 1000 == 0;
                break;
            case 1:
                set = random() % 1000 != 0;
                break;
            case 2:
                set = random() % 2 == 0;
                break;
            case 3:
                set = (r / 64) % 2 == 0;
                break; // alternate full and empty words
            default:
                set = (r / 64) % 3 == 0 ? random() % 7 == 0 : (r / 64) % 3 == 1;
                break;
            }
            if (set) {
                bitmap.SetBit(r);
                model.bits[r - 1] = true;
            }
        }
    };

    TRecordsBitmap bitmap, other;
    Model model, other_model;
    fill(bitmap, model, pick_size());
    for (int step = 0; step < 200; ++step) {
        const uint32_t size = bitmap.Size();
        switch (random() % 12) {
        case 0: { // resize, shrinking or growing
            const uint32_t new_size = pick_size();
            bitmap.SetSize(new_size);
            model.bits.resize(new_size, false);
            break;
        }
        case 1: {
            fill(other, other_model, size);
            bitmap.AndWith(other);
            for (uint32_t i = 0; i < size; ++i)
                model.bits[i] = model.bits[i] && other_model.bits[i];
            break;
        }
        case 2: {
            fill(other, other_model, size);
            bitmap.OrWith(other);
            for (uint32_t i = 0; i < size; ++i)
                model.bits[i] = model.bits[i] || other_model.bits[i];
            break;
        }
        case 3:
            bitmap.Invert();
            model.bits.flip();
            break;
        case 4: {
            fill(other, other_model, pick_size());
            bitmap.Assign(other);
            model = other_model;
            break;
        }
        case 5:
            if (random() % 2 == 0) {
                bitmap.SetAll();
                model.bits.assign(size, true);
            } else {
                bitmap.ClearAll();
                model.bits.assign(size, false);
            }
            break;
        case 6: {
            for (int i = 0; i < 20; ++i) {
                const uint32_t r = uint32_t(random() % (size + 2));
                if (random() % 2 == 0) {
                    bitmap.SetBit(r);
                    if (r >= 1 && r <= size)
                        model.bits[r - 1] = true;
                } else {
                    bitmap.ClearBit(r);
                    if (r >= 1 && r <= size)
                        model.bits[r - 1] = false;
                }
            }
            break;
        }
        default: { // searches from random positions with random n
            for (int i = 0; i < 20; ++i) {
                const uint32_t start = uint32_t(random() % (size + 3));
                const uint32_t n = random() % 4 == 0 ? 1 + random() % 200 : 1 + random() % 3;
                uint32_t got = start, want = start;
                ASSERT_EQ(bitmap.FindNext(got, n), model.FindNext(want, n))
                    << "next from " << start << " n " << n;
                ASSERT_EQ(got, want);
                uint32_t got_skipped = 7, want_skipped = 8;
                got = start;
                want = start;
                ASSERT_EQ(
                    bitmap.FindPrior(got, n, got_skipped), model.FindPrior(want, n, want_skipped))
                    << "prior from " << start << " n " << n;
                ASSERT_EQ(got, want);
                ASSERT_EQ(got_skipped, want_skipped);
            }
            break;
        }
        }
        ASSERT_NO_FATAL_FAILURE(ExpectSame(bitmap, model, step % 8 == 0))
            << "seed " << seed << " step " << step;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RecordsBitmapRandom, ::testing::Range(1u, 7u));

} // namespace
} // namespace zolvek
