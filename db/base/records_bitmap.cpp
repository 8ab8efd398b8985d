// Records bitmap over 64-bit words. Record r is bit (r - 1) mod 64 (least significant first) of
// word (r - 1) div 64; whole words are counted and searched with single instructions.
#include "db/base/records_bitmap.h"

#include <algorithm>
#include <bit>

namespace zolvek {
namespace {

constexpr uint64_t kAllBits = ~uint64_t(0);

// Index of the n-th (1-based) lowest set bit of a word that has at least n set bits.
int NthLowestBit(uint64_t word, uint32_t n) {
    if (word == kAllBits)
        return int(n - 1);
    for (uint32_t i = 1; i < n; ++i)
        word &= word - 1;
    return std::countr_zero(word);
}

// Index of the n-th (1-based) highest set bit of a word that has at least n set bits.
int NthHighestBit(uint64_t word, uint32_t n) {
    if (word == kAllBits)
        return int(64 - n);
    for (uint32_t i = 1; i < n; ++i)
        word &= ~(uint64_t(1) << (63 - std::countl_zero(word)));
    return 63 - std::countl_zero(word);
}

} // namespace

uint64_t TRecordsBitmap::LastWordMask() const {
    const uint32_t remainder = size_ % kWordBits;
    return remainder == 0 ? kAllBits : (uint64_t(1) << remainder) - 1;
}

void TRecordsBitmap::SetSize(uint32_t n) {
    if (n == size_)
        return;
    if (n == 0) {
        std::vector<uint64_t>().swap(words_);
        size_ = 0;
        return;
    }
    const uint32_t old_size = size_;
    const size_t old_words = WordCount();
    size_ = n;
    const size_t needed = WordCount();
    if (needed > words_.size()) {
        if (needed > words_.capacity())
            words_.reserve(std::max(needed, words_.capacity() * 2));
        words_.resize(needed, 0);
    }
    if (n < old_size) {
        // Clear what lies above the new end, so that the invariant holds again.
        words_[needed - 1] &= LastWordMask();
        std::fill(words_.begin() + std::ptrdiff_t(needed),
            words_.begin() + std::ptrdiff_t(old_words), uint64_t(0));
    }
}

bool TRecordsBitmap::GetBit(uint32_t record) const {
    if (record == 0 || record > size_)
        return false;
    const uint32_t bit = record - 1;
    return (words_[bit / kWordBits] >> (bit % kWordBits)) & 1;
}

void TRecordsBitmap::SetBit(uint32_t record) {
    if (record == 0 || record > size_)
        return;
    const uint32_t bit = record - 1;
    words_[bit / kWordBits] |= uint64_t(1) << (bit % kWordBits);
}

void TRecordsBitmap::ClearBit(uint32_t record) {
    if (record == 0 || record > size_)
        return;
    const uint32_t bit = record - 1;
    words_[bit / kWordBits] &= ~(uint64_t(1) << (bit % kWordBits));
}

uint32_t TRecordsBitmap::CountBits() const {
    uint32_t count = 0;
    const size_t word_count = WordCount();
    for (size_t i = 0; i < word_count; ++i)
        count += uint32_t(std::popcount(words_[i]));
    return count;
}

bool TRecordsBitmap::FindNext(uint32_t& position, uint32_t n) const {
    if (n == 0)
        return false;
    const uint64_t start = uint64_t(position) + 1;
    if (start > size_)
        return false;
    const uint64_t bit = start - 1;
    size_t index = size_t(bit / kWordBits);
    uint64_t word = words_[index] & (kAllBits << (bit % kWordBits));
    const size_t word_count = WordCount();
    uint32_t remaining = n;
    for (;;) {
        if (word != 0) {
            const uint32_t count = uint32_t(std::popcount(word));
            if (count >= remaining) {
                position = uint32_t(index * kWordBits + size_t(NthLowestBit(word, remaining)) + 1);
                return true;
            }
            remaining -= count;
        }
        if (++index == word_count)
            return false;
        word = words_[index];
    }
}

bool TRecordsBitmap::FindPrior(uint32_t& position, uint32_t n, uint32_t& skipped) const {
    skipped = 0;
    if (n == 0 || position <= 1 || size_ == 0)
        return false;
    const uint64_t start = std::min<uint64_t>(uint64_t(position) - 1, size_);
    const uint64_t bit = start - 1;
    size_t index = size_t(bit / kWordBits);
    const uint32_t top = uint32_t(bit % kWordBits);
    uint64_t word = words_[index] & (top == 63 ? kAllBits : (uint64_t(1) << (top + 1)) - 1);
    uint32_t remaining = n;
    for (;;) {
        if (word != 0) {
            const uint32_t count = uint32_t(std::popcount(word));
            if (count >= remaining) {
                position = uint32_t(index * kWordBits + size_t(NthHighestBit(word, remaining)) + 1);
                skipped = n - 1;
                return true;
            }
            remaining -= count;
            skipped += count;
        }
        if (index == 0)
            return false;
        word = words_[--index];
    }
}

bool TRecordsBitmap::FindPrior(uint32_t& position, uint32_t n) const {
    uint32_t skipped = 0;
    return FindPrior(position, n, skipped);
}

void TRecordsBitmap::AndWith(const TRecordsBitmap& other) {
    const size_t word_count = WordCount();
    const size_t common = std::min(word_count, other.WordCount());
    for (size_t i = 0; i < common; ++i)
        words_[i] &= other.words_[i];
    std::fill(words_.begin() + std::ptrdiff_t(common), words_.begin() + std::ptrdiff_t(word_count),
        uint64_t(0));
}

void TRecordsBitmap::OrWith(const TRecordsBitmap& other) {
    const size_t word_count = WordCount();
    const size_t common = std::min(word_count, other.WordCount());
    for (size_t i = 0; i < common; ++i)
        words_[i] |= other.words_[i];
    if (word_count != 0)
        words_[word_count - 1] &= LastWordMask();
}

void TRecordsBitmap::Invert() {
    const size_t word_count = WordCount();
    for (size_t i = 0; i < word_count; ++i)
        words_[i] = ~words_[i];
    if (word_count != 0)
        words_[word_count - 1] &= LastWordMask();
}

void TRecordsBitmap::ClearAll() {
    std::fill(words_.begin(), words_.begin() + std::ptrdiff_t(WordCount()), uint64_t(0));
}

void TRecordsBitmap::SetAll() {
    const size_t word_count = WordCount();
    std::fill(words_.begin(), words_.begin() + std::ptrdiff_t(word_count), kAllBits);
    if (word_count != 0)
        words_[word_count - 1] &= LastWordMask();
}

void TRecordsBitmap::Assign(const TRecordsBitmap& other) {
    if (&other == this)
        return;
    SetSize(other.size_);
    std::copy(other.words_.begin(), other.words_.begin() + std::ptrdiff_t(other.WordCount()),
        words_.begin());
}

} // namespace zolvek
