// TRecordsBitmap: a set of record numbers 1..N held as one bit per record position, the form in
// which filters, ranges and record-lock sets are evaluated, combined and counted.
// Thread-safety: none; the owner's lock covers a bitmap. Lifetime: owned by value by its user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zolvek {

class TRecordsBitmap {
public:
    TRecordsBitmap() = default;

    // Record positions 1..n. Bits 1..min(old N, n) keep their values; new positions are clear.
    // Storage only grows while n > 0, so re-sizing does not reallocate; SetSize(0) releases it.
    void SetSize(uint32_t n);
    uint32_t Size() const { return size_; }

    // Positions outside 1..N read as clear and are ignored by SetBit and ClearBit.
    bool GetBit(uint32_t record) const;
    void SetBit(uint32_t record);
    void ClearBit(uint32_t record);

    uint32_t CountBits() const;

    // From position + 1 upward, finds the n-th set position and moves `position` there. False
    // (position unchanged) when position + 1 > N or fewer than n set positions follow.
    // Requires: n >= 1 (n = 0 finds nothing).
    bool FindNext(uint32_t& position, uint32_t n = 1) const;
    // From position - 1 downward (a position above N starts at N), the same. `skipped` is the
    // number of set positions passed over: n - 1 when found, else all set positions below the
    // start.
    bool FindPrior(uint32_t& position, uint32_t n, uint32_t& skipped) const;
    bool FindPrior(uint32_t& position, uint32_t n = 1) const;

    // Position by position over 1..N. Meant for bitmaps of equal size; positions the other
    // bitmap lacks count as clear there.
    void AndWith(const TRecordsBitmap& other);
    void OrWith(const TRecordsBitmap& other);
    void Invert();
    void ClearAll();
    void SetAll();
    // Takes the other's size and bits.
    void Assign(const TRecordsBitmap& other);

    // Words allocated (for tests of the growth policy).
    size_t AllocatedWords() const { return words_.size(); }

private:
    static constexpr uint32_t kWordBits = 64;

    // Words in use: ceil(N / 64).
    size_t WordCount() const { return (size_t(size_) + kWordBits - 1) / kWordBits; }
    // Mask of the valid bits of the last word in use.
    uint64_t LastWordMask() const;

    // Every bit above N, in every allocated word, is 0: whole-word counting is then exact and
    // growing within the allocation finds clear bits.
    std::vector<uint64_t> words_;
    uint32_t size_ = 0;
};

} // namespace zolvek
