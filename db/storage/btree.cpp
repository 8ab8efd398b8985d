// B-tree operations on one index slot.
#include "db/storage/btree.h"

#include "db/base/errors.h"

#include <algorithm>
#include <cstring>

namespace zolvek {

namespace {

// Thrown when a page fetch reports that the table changed underneath: the walk starts over
// from the root (the change discarded the cached pages, and any change made to them so far).
struct TTreeRestart { };

// A table that keeps changing while one operation runs is treated as damaged rather than
// walked forever.
constexpr int kMaxRestarts = 100;

} // namespace

class TIndexTree::TPathGuard {
public:
    explicit TPathGuard(TIndexTree& tree)
        : tree_(tree) {
        tree_.ResetPath();
    }
    ~TPathGuard() { tree_.ResetPath(); }
    TPathGuard(const TPathGuard&) = delete;
    TPathGuard& operator=(const TPathGuard&) = delete;

private:
    TIndexTree& tree_;
};

TIndexTree::TIndexTree(TIndexFile& file, const TIndexKeyInfo& keys, TUnitRequester* requester)
    : file_(file)
    , keys_(keys)
    , requester_(requester)
    , slot_(keys.Slot())
    , format_(TPageFormat::ForSlot(file, keys.Slot())) {
    if (slot_ >= kIndexSlotCount || format_.KeyLength != keys.KeyLength()
        || format_.Unique != keys.Unique() || format_.Compression != keys.Compression()
        || format_.NoKeyStatistics != keys.NoKeyStatistics() || format_.KeyLength == 0) {
        RaiseCorrupt();
    }
    // Every page must hold two entries, or splits could not make room.
    size_t data = file.PayloadSize();
    size_t widest = size_t(format_.KeyLength) + (format_.NoKeyStatistics ? 4 : 8);
    if (data / widest < 2)
        RaiseCorrupt();
}

template <typename Body> auto TIndexTree::Restartable(Body&& body) -> decltype(body()) {
    for (int attempt = 0;; ++attempt) {
        try {
            return body();
        } catch (const TTreeRestart&) {
            if (attempt >= kMaxRestarts)
                RaiseCorrupt();
        }
    }
}

void TIndexTree::RaiseCorrupt() const {
    file_.RaiseCorrupt();
}

int TIndexTree::Compare(const uint8_t* a, const uint8_t* b, size_t length) const {
    return keys_.CompareKeys(a, b, length);
}

uint32_t TIndexTree::RootPage() const {
    int32_t root = file_.Index().RootPage(slot_);
    return root > 0 ? uint32_t(root) : 0;
}

void TIndexTree::SetRoot(uint32_t page_no) {
    file_.SetRootPage(slot_, int32_t(page_no));
}

uint32_t TIndexTree::ChainLimit() const {
    return file_.UnitCount() + 1;
}

// ---- Page fetches ----

TPinned<TPage> TIndexTree::Fetch(uint32_t page_no) {
    if (page_no == 0 || page_no > file_.UnitCount())
        RaiseCorrupt();
    TBuffer* unit = file_.GetUnit(requester_, slot_, page_no, false, rdNone);
    if (unit == nullptr)
        throw TTreeRestart {};
    TPinned<TPage> page(unit);
    if (page->Format() != format_)
        RaiseCorrupt();
    return page;
}

TPinned<TPage> TIndexTree::FetchPage(uint32_t page_no) {
    try {
        return Fetch(page_no);
    } catch (const TTreeRestart&) {
        return TPinned<TPage>();
    }
}

TPinned<TPage> TIndexTree::FetchRoot() {
    int32_t root = file_.Index().RootPage(slot_);
    if (root == 0)
        return TPinned<TPage>();
    if (root < 0)
        RaiseCorrupt();
    TPinned<TPage> page = Fetch(uint32_t(root));
    if (!page->IsRoot() || page->EntryCount() == 0)
        RaiseCorrupt();
    return page;
}

TPinned<TPage> TIndexTree::FetchChild(const TPage& parent, size_t pos, int& depth) {
    if (depth >= kMaxTreeDepth)
        RaiseCorrupt();
    TPinned<TPage> child = Fetch(parent.Ref(pos));
    if ((child->PageType() != ptNode && child->PageType() != ptLeaf) || child->EntryCount() == 0)
        RaiseCorrupt();
    ++depth;
    return child;
}

// For steps along the leaf level: a page that is no longer a leaf of this index means the
// position is stale, which the cursor repairs by repositioning.
TPinned<TPage> TIndexTree::TryFetchLeaf(uint32_t page_no) {
    if (page_no == 0 || page_no > file_.UnitCount())
        return TPinned<TPage>();
    TBuffer* unit = file_.GetUnit(requester_, slot_, page_no, false, rdNone);
    if (unit == nullptr)
        return TPinned<TPage>();
    TPinned<TPage> page(unit);
    if (page->Format() != format_ || !page->IsLeaf())
        return TPinned<TPage>();
    return page;
}

// ---- In-page searches ----

size_t TIndexTree::FindInsertPos(const TPage& page, const uint8_t* key) const {
    size_t count = page.EntryCount();
    if (count == 0)
        RaiseCorrupt();
    size_t lo = 1;
    size_t hi = count;
    size_t pos = 0;
    while (lo <= hi) {
        size_t mid = (lo + hi) / 2;
        int result = Compare(page.Key(mid), key, format_.KeyLength);
        if (result < 0) {
            pos = mid;
            lo = mid + 1;
        } else if (result == 0) {
            return mid;
        } else {
            hi = mid - 1;
        }
    }
    return pos;
}

size_t TIndexTree::FindDeletePos(const TPage& page, const uint8_t* key) const {
    return std::max<size_t>(FindInsertPos(page, key), 1);
}

namespace {

// The last entry comparing below (strictly, or not above) the key over `length` bytes.
template <typename Compare>
size_t LastBelow(
    const TPage& page, const uint8_t* key, size_t length, bool or_equal, const Compare& compare) {
    size_t lo = 1;
    size_t hi = page.EntryCount();
    size_t pos = 0;
    while (lo <= hi) {
        size_t mid = (lo + hi) / 2;
        int result = compare(page.Key(mid), key, length);
        if (result < 0 || (or_equal && result == 0)) {
            pos = mid;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return pos;
}

} // namespace

// ---- The search path of a change ----

void TIndexTree::ResetPath() {
    for (int d = depth_; d >= 1; --d) {
        path_[size_t(d)].page.Reset();
        path_[size_t(d)].pos = 0;
        path_[size_t(d)].parent = 0;
    }
    depth_ = 0;
}

bool TIndexTree::LoadRootIntoPath() {
    ResetPath();
    TPinned<TPage> root = FetchRoot();
    if (!root)
        return false;
    depth_ = 1;
    path_[1].page = std::move(root);
    path_[1].pos = 0;
    path_[1].parent = 0;
    return true;
}

void TIndexTree::DescendPath(size_t pos) {
    const TPage& page = *path_[size_t(depth_)].page;
    int depth = depth_;
    TPinned<TPage> child = FetchChild(page, pos, depth);
    TPathStep& step = path_[size_t(depth)];
    step.page = std::move(child);
    step.pos = 0;
    step.parent = page.PageNumber();
    depth_ = depth;
}

// ---- Insert ----

void TIndexTree::InsertKey(const uint8_t* key, uint32_t record) {
    Restartable([&] {
        TPathGuard guard(*this);
        if (!LoadRootIntoPath()) {
            TPinned<TPage> page = AllocatePage();
            page->SetPageType(ptRootLeaf);
            page->InsertEntry(0, key);
            page->SetRef(1, record);
            page->AdjustPackedSize(1, true);
            SetRoot(page->PageNumber());
            return;
        }
        for (;;) {
            TPathStep& step = path_[size_t(depth_)];
            step.pos = FindInsertPos(*step.page, key);
            if (step.page->IsLeaf())
                break;
            DescendPath(std::max<size_t>(step.pos, 1));
        }
        const TPathStep& leaf = path_[size_t(depth_)];
        if (leaf.pos > 0 && Compare(leaf.page->Key(leaf.pos), key, format_.KeyLength) == 0)
            file_.Errors().RaiseIndexError(ZOLVEK_KEYVIOL, keys_.IndexName(), file_.DisplayName());
        // The counts on the way down change only now that the key is known to go in.
        for (int d = 1; d < depth_; ++d) {
            TPathStep& step = path_[size_t(d)];
            step.page->IncrementSubtreeCount(std::max<size_t>(step.pos, 1));
        }
        InsertAt(depth_, key, record, 0);
    });
}

// Inserts an entry after the recorded position of `depth`, then splits the page when it is
// overfull and inserts the new page's entry into the parent the same way.
void TIndexTree::InsertAt(int depth, const uint8_t* key, uint32_t ref, uint32_t count) {
    TPathStep& step = path_[size_t(depth)];
    TPage& page = *step.page;
    size_t pos = page.InsertEntry(step.pos, key);
    step.pos = pos;
    page.SetRef(pos, ref);
    page.SetSubtreeCount(pos, count);
    page.AdjustPackedSize(pos, true);
    PropagateFirstKey(depth, key);
    if (page.IsOverfull())
        SplitAt(depth);
}

// Splits the overfull page at `depth` and enters the new right half into the parent, or under
// a new root when the page was the root.
void TIndexTree::SplitAt(int depth) {
    TPage& page = *path_[size_t(depth)].page;
    bool was_root = page.IsRoot();
    TPinned<TPage> right = AllocatePage();
    SplitPage(page, *right);
    if (was_root) {
        if (depth != 1)
            file_.RaiseError(ZOLVEK_TABLEFULL);
        TPinned<TPage> root = AllocatePage();
        root->SetPageType(ptRoot);
        root->InsertEntry(0, page.Key(1));
        root->SetRef(1, page.PageNumber());
        root->SetSubtreeCount(1, page.SubtreeTotal());
        root->InsertEntry(1, right->Key(1));
        root->SetRef(2, right->PageNumber());
        root->SetSubtreeCount(2, right->SubtreeTotal());
        SetRoot(root->PageNumber());
        return;
    }
    if (depth < 2)
        RaiseCorrupt();
    TPathStep& up = path_[size_t(depth - 1)];
    TPage& parent = *up.page;
    size_t p = std::max<size_t>(up.pos, 1);
    if (p > parent.EntryCount() || parent.Ref(p) != page.PageNumber())
        RaiseCorrupt();
    parent.SetSubtreeCount(p, page.SubtreeTotal());
    up.pos = p;
    InsertAt(depth - 1, right->Key(1), right->PageNumber(), right->SubtreeTotal());
}

// A new first key of the page at `depth` becomes the key of its entry in every ancestor for
// which it is the first key too.
void TIndexTree::PropagateFirstKey(int depth, const uint8_t* key) {
    for (int d = depth; d > 1 && path_[size_t(d)].pos == 1;) {
        --d;
        TPathStep& step = path_[size_t(d)];
        if (step.pos == 0)
            step.pos = 1;
        step.page->ReplaceKey(step.pos, key);
    }
}

void TIndexTree::SplitPage(TPage& old_page, TPage& new_page) {
    const uint32_t old_no = old_page.PageNumber();
    const uint32_t new_no = new_page.PageNumber();
    // The right neighbour is fetched before anything changes.
    TPinned<TPage> after;
    if (old_page.NextPage() != 0)
        after = Fetch(old_page.NextPage());

    size_t n = old_page.EntryCount();
    size_t move = n / 2;
    size_t keep = n - move;
    TPageType type = old_page.HasChildren() ? ptNode : ptLeaf;
    old_page.SetPageType(type);
    new_page.SetPageType(type);
    new_page.InsertEntriesFrom(0, old_page, keep + 1, move);
    old_page.RemoveEntries(keep + 1, move);

    if (after)
        after->SetPrevPage(new_no);
    new_page.SetNextPage(old_page.NextPage());
    old_page.SetNextPage(new_no);
    new_page.SetPrevPage(old_no);

    old_page.RecalcPackedSize();
    if (new_page.EntryCount() > 0)
        new_page.RecomputeCompression(1);
    new_page.RecalcPackedSize();

    if (old_page.IsCompressedLeaf()) {
        // Halves by count may pack unevenly: move entries across until both fit.
        const size_t limit = old_page.PageDataSize();
        if (old_page.PackedSize() > limit) {
            while (old_page.PackedSize() > limit && old_page.EntryCount() > 1) {
                size_t last = old_page.EntryCount();
                new_page.InsertEntriesFrom(0, old_page, last, 1);
                old_page.AdjustPackedSize(last, false);
                old_page.RemoveEntry(last);
                new_page.AdjustPackedSize(1, true);
            }
        } else {
            while (new_page.PackedSize() > limit && new_page.EntryCount() > 1) {
                size_t count = old_page.EntryCount();
                old_page.InsertEntriesFrom(count, new_page, 1, 1);
                old_page.AdjustPackedSize(count + 1, true);
                new_page.AdjustPackedSize(1, false);
                new_page.RemoveEntry(1);
            }
        }
    }
    if (old_page.IsOverfull() || new_page.IsOverfull())
        RaiseCorrupt();
}

// ---- Delete ----

void TIndexTree::DeleteKey(const uint8_t* key) {
    Restartable([&] {
        TPathGuard guard(*this);
        if (!LoadRootIntoPath())
            RaiseCorrupt();
        for (;;) {
            TPathStep& step = path_[size_t(depth_)];
            step.pos = FindDeletePos(*step.page, key);
            if (step.page->IsLeaf())
                break;
            DescendPath(step.pos);
        }
        const TPathStep& leaf = path_[size_t(depth_)];
        if (Compare(leaf.page->Key(leaf.pos), key, format_.KeyLength) != 0)
            RaiseCorrupt();
        for (int d = 1; d < depth_; ++d) {
            TPathStep& step = path_[size_t(d)];
            step.page->DecrementSubtreeCount(step.pos);
        }
        RemoveAt(depth_);
    });
}

// Removes the entry at the recorded position of `depth`, then frees an emptied leaf, merges or
// redistributes an under-filled non-leaf page, or shortens the tree at the root.
void TIndexTree::RemoveAt(int depth) {
    TPathStep& step = path_[size_t(depth)];
    TPage& page = *step.page;
    size_t pos = step.pos;
    if (pos < 1 || pos > page.EntryCount())
        RaiseCorrupt();
    page.AdjustPackedSize(pos, false);
    step.pos = page.RemoveEntry(pos);
    size_t count = page.EntryCount();
    if (count > 0 && pos == 1)
        PropagateFirstKey(depth, page.Key(1));

    if (page.IsLeaf()) {
        if (count > 0) {
            // In a compressed leaf the successor of the removed entry may share fewer bytes
            // with its new predecessor and take more room than the entry freed.
            if (page.IsOverfull())
                SplitAt(depth);
            return;
        }
        if (depth == 1) {
            FreePage(page);
            SetRoot(0);
            return;
        }
        UnlinkFromLevel(page);
        FreePage(page);
        RemoveAt(depth - 1);
        return;
    }
    if (depth == 1) {
        CollapseRoot();
        return;
    }
    if (count >= page.Capacity() / 2)
        return;
    Rebalance(depth);
}

void TIndexTree::Rebalance(int depth) {
    TPathStep& step = path_[size_t(depth)];
    TPage& page = *step.page;
    const uint32_t page_no = page.PageNumber();
    TPathStep& up = path_[size_t(depth - 1)];
    TPage& parent = *up.page;
    const size_t p = up.pos;
    const size_t m = parent.EntryCount();
    if (p < 1 || p > m || parent.Ref(p) != page_no)
        RaiseCorrupt();
    const size_t capacity = page.Capacity();
    const size_t count = page.EntryCount();

    if (m == 1) {
        // No sibling under the same parent: a neighbour on the level belongs to another parent,
        // whose entry could not be kept right from here. An under-filled page stays; an empty
        // one leaves the tree.
        if (count > 0)
            return;
        UnlinkFromLevel(page);
        FreePage(page);
        RemoveAt(depth - 1);
        return;
    }

    const size_t width = page.EntryWidth();
    if (scratch_.size() < 3 * page.PageDataSize())
        scratch_.resize(3 * page.PageDataSize());

    if (p != 1) {
        const uint32_t left_no = parent.Ref(p - 1);
        if (left_no != page.PrevPage())
            RaiseCorrupt();
        int sibling_depth = depth - 1;
        TPinned<TPage> left = FetchChild(parent, p - 1, sibling_depth);
        if (left->PageType() != page.PageType())
            RaiseCorrupt();
        if (count + left->EntryCount() < capacity) {
            TPinned<TPage> after;
            if (page.NextPage() != 0)
                after = Fetch(page.NextPage());
            left->InsertEntriesFrom(left->EntryCount(), page, 1, count);
            left->SetNextPage(page.NextPage());
            if (after)
                after->SetPrevPage(left_no);
            page.SetPrevPage(0);
            page.SetNextPage(0);
            FreePage(page);
            parent.SetSubtreeCount(p - 1, left->SubtreeTotal());
            RemoveAt(depth - 1);
            return;
        }
        size_t total = left->EntryCount() + count;
        if (total * width > scratch_.size())
            RaiseCorrupt();
        std::memcpy(scratch_.data(), left->EntryBytes(), left->EntryCount() * width);
        std::memcpy(scratch_.data() + left->EntryCount() * width, page.EntryBytes(), count * width);
        size_t keep = (total + 1) / 2;
        left->AssignEntries(scratch_.data(), keep);
        page.AssignEntries(scratch_.data() + keep * width, total - keep);
        parent.ReplaceKey(p, page.Key(1));
        parent.SetSubtreeCount(p, page.SubtreeTotal());
        parent.SetSubtreeCount(p - 1, left->SubtreeTotal());
        return;
    }

    const uint32_t right_no = parent.Ref(2);
    if (right_no != page.NextPage())
        RaiseCorrupt();
    int sibling_depth = depth - 1;
    TPinned<TPage> right = FetchChild(parent, 2, sibling_depth);
    if (right->PageType() != page.PageType())
        RaiseCorrupt();
    if (count + right->EntryCount() < capacity) {
        TPinned<TPage> before;
        if (page.PrevPage() != 0)
            before = Fetch(page.PrevPage());
        right->InsertEntriesFrom(0, page, 1, count);
        right->SetPrevPage(page.PrevPage());
        if (before)
            before->SetNextPage(right_no);
        page.SetPrevPage(0);
        page.SetNextPage(0);
        FreePage(page);
        parent.ReplaceKey(2, right->Key(1));
        parent.SetSubtreeCount(2, right->SubtreeTotal());
        // Entry 1 goes; the right page's entry becomes the first and its key moves up.
        up.pos = 1;
        RemoveAt(depth - 1);
        return;
    }
    size_t total = right->EntryCount() + count;
    if (total * width > scratch_.size())
        RaiseCorrupt();
    std::memcpy(scratch_.data(), page.EntryBytes(), count * width);
    std::memcpy(scratch_.data() + count * width, right->EntryBytes(), right->EntryCount() * width);
    size_t keep = total / 2;
    page.AssignEntries(scratch_.data(), keep);
    right->AssignEntries(scratch_.data() + keep * width, total - keep);
    parent.SetSubtreeCount(1, page.SubtreeTotal());
    parent.ReplaceKey(2, right->Key(1));
    parent.SetSubtreeCount(2, right->SubtreeTotal());
    // An emptied page took its first entries from the right: its first key is new.
    if (std::memcmp(parent.Key(1), page.Key(1), format_.KeyLength) != 0) {
        parent.ReplaceKey(1, page.Key(1));
        up.pos = 1;
        PropagateFirstKey(depth - 1, page.Key(1));
    }
}

// A root left with one child hands the root over to it (repeatedly, while the new root has a
// single child too).
void TIndexTree::CollapseRoot() {
    TPinned<TPage> root = std::move(path_[1].page);
    while (root->PageType() == ptRoot) {
        if (root->EntryCount() == 0) {
            FreePage(*root);
            SetRoot(0);
            return;
        }
        if (root->EntryCount() > 1)
            return;
        int depth = 1;
        TPinned<TPage> child = FetchChild(*root, 1, depth);
        child->SetPageType(child->IsLeaf() ? ptRootLeaf : ptRoot);
        child->SetPrevPage(0);
        child->SetNextPage(0);
        SetRoot(child->PageNumber());
        FreePage(*root);
        root = std::move(child);
    }
}

void TIndexTree::UnlinkFromLevel(TPage& page) {
    TPinned<TPage> before;
    TPinned<TPage> after;
    if (page.PrevPage() != 0)
        before = Fetch(page.PrevPage());
    if (page.NextPage() != 0)
        after = Fetch(page.NextPage());
    if (after)
        after->SetPrevPage(page.PrevPage());
    if (before)
        before->SetNextPage(page.NextPage());
    page.SetPrevPage(0);
    page.SetNextPage(0);
}

void TIndexTree::ReplaceIndexKey(const uint8_t* old_key, const uint8_t* new_key, uint32_t record) {
    // A new key that is taken already is refused while the old key is still in place.
    if (Compare(old_key, new_key, format_.KeyLength) != 0 && KeyExists(new_key))
        file_.Errors().RaiseIndexError(ZOLVEK_KEYVIOL, keys_.IndexName(), file_.DisplayName());
    DeleteKey(old_key);
    InsertKey(new_key, record);
}

// ---- Pages ----

TPinned<TPage> TIndexTree::AllocatePage() {
    const uint32_t pages = file_.UnitCount();
    const int32_t free_page = file_.Header().FirstFreePage;
    if (free_page != 0) {
        if (free_page < 0 || uint32_t(free_page) > pages)
            RaiseCorrupt();
        TBuffer* unit = file_.GetUnit(requester_, slot_, uint32_t(free_page), false, rdNone);
        if (unit == nullptr)
            throw TTreeRestart {};
        TPinned<TPage> page(unit);
        // Only an empty page may be on the free list; anything else is a damaged list.
        if (page->EntryCount() != 0 || page->NextPage() > pages)
            RaiseCorrupt();
        file_.SetFirstFreePage(int32_t(page->NextPage()));
        page->InitForIndex(slot_);
        page->MarkDirty();
        return page;
    }
    TBuffer* unit = file_.GetUnit(requester_, slot_, pages + 1, false, rdNone);
    if (unit == nullptr)
        throw TTreeRestart {};
    TPinned<TPage> page(unit);
    page->InitForIndex(slot_);
    page->MarkDirty();
    return page;
}

void TIndexTree::FreePage(TPage& page) {
    page.ClearEntries();
    page.SetNextPage(uint32_t(std::max(file_.Header().FirstFreePage, 0)));
    file_.SetFirstFreePage(int32_t(page.PageNumber()));
}

// ---- Searches and navigation ----

uint32_t TIndexTree::Ordinal(uint32_t before, size_t entry) const {
    return format_.NoKeyStatistics ? 0 : before + uint32_t(entry);
}

uint32_t TIndexTree::KeyCount() {
    return Restartable([&]() -> uint32_t {
        TPinned<TPage> page = FetchRoot();
        if (!page)
            return 0;
        if (!format_.NoKeyStatistics)
            return page->SubtreeTotal();
        int depth = 1;
        while (page->HasChildren())
            page = FetchChild(*page, 1, depth);
        uint64_t total = 0;
        uint32_t limit = ChainLimit();
        for (uint32_t walked = 0;; ++walked) {
            if (walked > limit)
                RaiseCorrupt();
            total += page->EntryCount();
            if (page->NextPage() == 0)
                break;
            page = Fetch(page->NextPage());
        }
        return uint32_t(std::min<uint64_t>(total, UINT32_MAX));
    });
}

bool TIndexTree::LowerBound(
    const uint8_t* key, size_t length, TIndexPosition& position, bool& equal) {
    auto compare
        = [this](const uint8_t* a, const uint8_t* b, size_t n) { return Compare(a, b, n); };
    return Restartable([&]() -> bool {
        equal = false;
        TPinned<TPage> page = FetchRoot();
        if (!page)
            return false;
        uint32_t before = 0;
        int depth = 1;
        while (page->HasChildren()) {
            size_t pos = std::max<size_t>(LastBelow(*page, key, length, false, compare), 1);
            before += page->CountBefore(pos);
            page = FetchChild(*page, pos, depth);
        }
        size_t pos = LastBelow(*page, key, length, false, compare) + 1;
        uint32_t limit = ChainLimit();
        for (uint32_t walked = 0; pos > page->EntryCount(); ++walked) {
            // Every key of this leaf is below: the answer starts the next leaf.
            if (walked > limit)
                RaiseCorrupt();
            before += uint32_t(page->EntryCount());
            uint32_t next = page->NextPage();
            if (next == 0)
                return false;
            page = Fetch(next);
            if (!page->IsLeaf())
                RaiseCorrupt();
            pos = 1;
        }
        position.Page = page->PageNumber();
        position.Entry = pos;
        position.Ordinal = Ordinal(before, pos);
        equal = Compare(page->Key(pos), key, length) == 0;
        return true;
    });
}

bool TIndexTree::KeyExists(const uint8_t* key) {
    TIndexPosition position;
    bool equal = false;
    return LowerBound(key, format_.KeyLength, position, equal) && equal;
}

bool TIndexTree::SeekAtOrAfter(const uint8_t* key, size_t length, TIndexPosition& position) {
    bool equal = false;
    return LowerBound(key, length, position, equal);
}

TSeekResult TIndexTree::Seek(const uint8_t* key, size_t length, TIndexPosition& position) {
    bool equal = false;
    if (LowerBound(key, length, position, equal))
        return equal ? TSeekResult::srFound : TSeekResult::srAfter;
    if (Last(position))
        return TSeekResult::srBeyond;
    position = TIndexPosition();
    return TSeekResult::srEmpty;
}

bool TIndexTree::SeekAtOrBefore(const uint8_t* key, size_t length, TIndexPosition& position) {
    auto compare
        = [this](const uint8_t* a, const uint8_t* b, size_t n) { return Compare(a, b, n); };
    return Restartable([&]() -> bool {
        TPinned<TPage> page = FetchRoot();
        if (!page)
            return false;
        uint32_t before = 0;
        int depth = 1;
        while (page->HasChildren()) {
            size_t pos = std::max<size_t>(LastBelow(*page, key, length, true, compare), 1);
            before += page->CountBefore(pos);
            page = FetchChild(*page, pos, depth);
        }
        size_t pos = LastBelow(*page, key, length, true, compare);
        if (pos == 0)
            return false;
        position.Page = page->PageNumber();
        position.Entry = pos;
        position.Ordinal = Ordinal(before, pos);
        return true;
    });
}

bool TIndexTree::First(TIndexPosition& position) {
    return Restartable([&]() -> bool {
        TPinned<TPage> page = FetchRoot();
        if (!page)
            return false;
        int depth = 1;
        while (page->HasChildren())
            page = FetchChild(*page, 1, depth);
        position.Page = page->PageNumber();
        position.Entry = 1;
        position.Ordinal = Ordinal(0, 1);
        return true;
    });
}

bool TIndexTree::Last(TIndexPosition& position) {
    return Restartable([&]() -> bool {
        TPinned<TPage> page = FetchRoot();
        if (!page)
            return false;
        uint32_t before = 0;
        int depth = 1;
        while (page->HasChildren()) {
            size_t last = page->EntryCount();
            before += page->CountBefore(last);
            page = FetchChild(*page, last, depth);
        }
        position.Page = page->PageNumber();
        position.Entry = page->EntryCount();
        position.Ordinal = Ordinal(before, position.Entry);
        return true;
    });
}

bool TIndexTree::GotoOrdinal(uint32_t ordinal, TIndexPosition& position) {
    if (ordinal == 0)
        return false;
    if (format_.NoKeyStatistics) {
        // Without counts: along the leaves from the first one.
        TIndexPosition at;
        if (!First(at))
            return false;
        return Restartable([&]() -> bool {
            TPinned<TPage> page = Fetch(at.Page);
            uint32_t before = 0;
            uint32_t limit = ChainLimit();
            for (uint32_t walked = 0;; ++walked) {
                if (walked > limit || !page->IsLeaf())
                    RaiseCorrupt();
                if (ordinal - before <= page->EntryCount()) {
                    position.Page = page->PageNumber();
                    position.Entry = ordinal - before;
                    position.Ordinal = 0;
                    return true;
                }
                before += uint32_t(page->EntryCount());
                if (page->NextPage() == 0)
                    return false;
                page = Fetch(page->NextPage());
            }
        });
    }
    return Restartable([&]() -> bool {
        TPinned<TPage> page = FetchRoot();
        if (!page || ordinal > page->SubtreeTotal())
            return false;
        uint32_t before = 0;
        int depth = 1;
        while (page->HasChildren()) {
            size_t chosen = 0;
            for (size_t pos = 1; pos <= page->EntryCount(); ++pos) {
                uint32_t count = page->SubtreeCount(pos);
                if (ordinal - before <= count) {
                    chosen = pos;
                    break;
                }
                before += count;
            }
            if (chosen == 0)
                RaiseCorrupt();
            page = FetchChild(*page, chosen, depth);
        }
        size_t entry = ordinal - before;
        if (entry < 1 || entry > page->EntryCount())
            RaiseCorrupt();
        position.Page = page->PageNumber();
        position.Entry = entry;
        position.Ordinal = ordinal;
        return true;
    });
}

TStepResult TIndexTree::Next(TIndexPosition& position) {
    TPinned<TPage> page = TryFetchLeaf(position.Page);
    if (!page || page->EntryCount() == 0)
        return TStepResult::stLost;
    size_t entry = std::min(position.Entry, page->EntryCount());
    if (entry < page->EntryCount()) {
        position.Entry = entry + 1;
        if (position.Ordinal != 0)
            ++position.Ordinal;
        return TStepResult::stMoved;
    }
    uint32_t limit = ChainLimit();
    for (uint32_t walked = 0; page->NextPage() != 0; ++walked) {
        if (walked > limit)
            RaiseCorrupt();
        uint32_t next = page->NextPage();
        page = TryFetchLeaf(next);
        if (!page)
            return TStepResult::stLost;
        if (page->EntryCount() > 0) {
            position.Page = next;
            position.Entry = 1;
            if (position.Ordinal != 0)
                ++position.Ordinal;
            return TStepResult::stMoved;
        }
    }
    return TStepResult::stEnd;
}

TStepResult TIndexTree::Prior(TIndexPosition& position) {
    TPinned<TPage> page = TryFetchLeaf(position.Page);
    if (!page || page->EntryCount() == 0)
        return TStepResult::stLost;
    size_t entry = std::min(position.Entry, page->EntryCount());
    if (entry > 1) {
        position.Entry = entry - 1;
        if (position.Ordinal != 0)
            --position.Ordinal;
        return TStepResult::stMoved;
    }
    uint32_t limit = ChainLimit();
    for (uint32_t walked = 0; page->PrevPage() != 0; ++walked) {
        if (walked > limit)
            RaiseCorrupt();
        uint32_t prev = page->PrevPage();
        page = TryFetchLeaf(prev);
        if (!page)
            return TStepResult::stLost;
        if (page->EntryCount() > 0) {
            position.Page = prev;
            position.Entry = page->EntryCount();
            if (position.Ordinal != 0)
                --position.Ordinal;
            return TStepResult::stMoved;
        }
    }
    return TStepResult::stEnd;
}

bool TIndexTree::ReadEntry(const TIndexPosition& position, uint8_t* key, uint32_t& record) {
    TPinned<TPage> page = TryFetchLeaf(position.Page);
    if (!page || position.Entry < 1 || position.Entry > page->EntryCount())
        return false;
    std::memcpy(key, page->Key(position.Entry), format_.KeyLength);
    record = page->Ref(position.Entry);
    return true;
}

bool TIndexTree::UpdateOrdinal(TIndexPosition& position) {
    std::vector<uint8_t> key(format_.KeyLength);
    uint32_t record = 0;
    if (!ReadEntry(position, key.data(), record))
        return false;
    TIndexPosition found;
    bool equal = false;
    if (!LowerBound(key.data(), format_.KeyLength, found, equal) || !equal)
        return false;
    position = found;
    return true;
}

bool TIndexTree::CopyLeaf(uint32_t page_no, TPage& copy) {
    TPinned<TPage> page = TryFetchLeaf(page_no);
    if (!page)
        return false;
    copy.CopyFrom(*page);
    return true;
}

} // namespace zolvek
