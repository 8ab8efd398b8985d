// TIndexTree: the B-tree of one index slot in a table's index file — searching, inserting with
// page splits, deleting with the rebalancing of non-leaf pages, page allocation and the free
// page list, subtree counts and ordinals, and the navigation a cursor needs (first, last, seek,
// step across leaves, go to an ordinal). Keys are opaque to the tree and compared through the
// index's TIndexKeyInfo.
// Thread-safety: none; a tree is used by its cursor's thread under the table's locks (changes
// under the write lock). Lifetime: the cursor owns one per active index; it refers to the index
// file, the key info and the requester, which must outlive it. Pages are pinned only during one
// operation.
#pragma once

#include "db/storage/index_file.h"
#include "db/storage/index_keys.h"
#include "db/storage/index_page.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zolvek {

inline constexpr int kMaxTreeDepth = 64;

// A position in an index: a leaf page, an entry in it and the key's ordinal.
struct TIndexPosition {
    uint32_t Page = 0; // leaf page number; 0 = no position
    size_t Entry = 0; // 1-based entry position in the leaf
    uint32_t Ordinal = 0; // 1-based place of the key in the index; 0 without key statistics
    bool Valid() const { return Page != 0; }
};

enum class TSeekResult {
    srFound, // the position holds a key equal to the searched one (over the given length)
    srAfter, // no equal key; the position holds the first key above it
    srBeyond, // every key is below; the position holds the last key
    srEmpty // the index has no keys; no position
};

enum class TStepResult {
    stMoved, // the position moved one entry
    stEnd, // there is no further entry; the position is unchanged
    stLost // the position's leaf is gone or changed kind, or the table changed: reposition
};

class TIndexTree {
public:
    // The tree of index keys.Slot(). A requester of nullptr never sees table changes (tests,
    // exclusive use). Raises 8965 when the slot's descriptor does not match `keys` or its pages
    // could not hold two entries.
    TIndexTree(TIndexFile& file, const TIndexKeyInfo& keys, TUnitRequester* requester);

    TIndexFile& File() const { return file_; }
    const TIndexKeyInfo& Keys() const { return keys_; }
    uint8_t Slot() const { return slot_; }
    uint32_t RootPage() const;
    bool Empty() const { return RootPage() == 0; }

    // ---- Changes (under the table's write lock) ----

    // Inserts `key` (KeyLength bytes) with its record number. An equal key already in the index
    // raises 9729 naming the index, before anything changes.
    void InsertKey(const uint8_t* key, uint32_t record);
    // Deletes `key`; a key that is not in the index raises 8965 before anything changes.
    void DeleteKey(const uint8_t* key);
    // DeleteKey(old_key), InsertKey(new_key); a new key already in the index (other than the
    // old one) raises 9729 before anything changes.
    void ReplaceIndexKey(const uint8_t* old_key, const uint8_t* new_key, uint32_t record);
    // A page for this index, set up empty (ptRoot, no links) and dirty: the head of the free
    // page list, else a new page at the end of the file (9479 when the file may not grow).
    TPinned<TPage> AllocatePage();
    // Puts the page at the head of the free page list (its entries are dropped).
    void FreePage(TPage& page);

    // ---- Searches and navigation ----

    // The number of keys (the root's SubtreeTotal; counted along the leaves without key
    // statistics).
    uint32_t KeyCount();
    bool KeyExists(const uint8_t* key);
    bool First(TIndexPosition& position);
    bool Last(TIndexPosition& position);
    // Searches for `key` compared over its first `length` bytes (a prefix for partial keys):
    // the first key not below it, as TSeekResult says.
    TSeekResult Seek(const uint8_t* key, size_t length, TIndexPosition& position);
    // The first key not below `key` over `length` bytes; false when every key is below.
    bool SeekAtOrAfter(const uint8_t* key, size_t length, TIndexPosition& position);
    // The last key not above `key` over `length` bytes; false when every key is above.
    bool SeekAtOrBefore(const uint8_t* key, size_t length, TIndexPosition& position);
    // The key with this ordinal (1 = the first key); false when there is none.
    bool GotoOrdinal(uint32_t ordinal, TIndexPosition& position);
    // One entry forward / backward along the leaf level (the entry is first clipped to the
    // leaf's EntryCount); the ordinal follows.
    TStepResult Next(TIndexPosition& position);
    TStepResult Prior(TIndexPosition& position);
    // Recomputes position.Ordinal from the key at the position; false when the position is lost.
    bool UpdateOrdinal(TIndexPosition& position);
    // The key (KeyLength bytes) and record number at a position; false when the position is
    // lost (its page is no longer a leaf of this index holding that entry).
    bool ReadEntry(const TIndexPosition& position, uint8_t* key, uint32_t& record);
    // A free-standing copy of a leaf page (the cursor's current leaf copy); false when the page
    // is no longer a leaf of this index.
    bool CopyLeaf(uint32_t page_no, TPage& copy);
    // The page, pinned; empty when the requester reports a table change. Raises 8965 for a page
    // number outside the file or a page of another index.
    TPinned<TPage> FetchPage(uint32_t page_no);

    // ---- In-page searches ----

    // The last entry not above `key` (over KeyLength), 0 when every entry is above.
    size_t FindInsertPos(const TPage& page, const uint8_t* key) const;
    // As FindInsertPos, but at least 1.
    size_t FindDeletePos(const TPage& page, const uint8_t* key) const;

private:
    struct TPathStep {
        TPinned<TPage> page;
        size_t pos = 0;
        uint32_t parent = 0;
    };
    class TPathGuard;

    template <typename Body> auto Restartable(Body&& body) -> decltype(body());
    [[noreturn]] void RaiseCorrupt() const;
    int Compare(const uint8_t* a, const uint8_t* b, size_t length) const;
    TPinned<TPage> Fetch(uint32_t page_no);
    TPinned<TPage> FetchRoot();
    TPinned<TPage> FetchChild(const TPage& parent, size_t pos, int& depth);
    TPinned<TPage> TryFetchLeaf(uint32_t page_no);
    uint32_t ChainLimit() const;

    void ResetPath();
    bool LoadRootIntoPath();
    void DescendPath(size_t pos);
    void InsertAt(int depth, const uint8_t* key, uint32_t ref, uint32_t count);
    void SplitAt(int depth);
    void PropagateFirstKey(int depth, const uint8_t* key);
    void SplitPage(TPage& old_page, TPage& new_page);
    void RemoveAt(int depth);
    void Rebalance(int depth);
    void CollapseRoot();
    void UnlinkFromLevel(TPage& page);
    void SetRoot(uint32_t page_no);

    bool LowerBound(const uint8_t* key, size_t length, TIndexPosition& position, bool& equal);
    uint32_t Ordinal(uint32_t before, size_t entry) const;

    TIndexFile& file_;
    const TIndexKeyInfo& keys_;
    TUnitRequester* requester_;
    uint8_t slot_;
    TPageFormat format_;
    std::array<TPathStep, kMaxTreeDepth + 1> path_; // 1..depth_
    int depth_ = 0;
    // Merges and redistributions of non-leaf pages: room for three pages of entries.
    std::vector<uint8_t> scratch_;
};

} // namespace zolvek
