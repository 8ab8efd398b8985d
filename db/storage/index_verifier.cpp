// Index verification.
#include "db/storage/index_verifier.h"

#include "db/base/errors.h"
#include "db/storage/btree.h"
#include "db/storage/index_keys.h"
#include "db/storage/records.h"
#include "db/storage/table.h"

#include <cstring>
#include <memory>
#include <optional>

namespace zolvek {

namespace {

constexpr int kFreePage = 100; // owner mark of pages on the free list
constexpr int kUnowned = -1;

// Raised internally when the finding limit is reached or the table changed underneath.
struct TStopWalk { };

class TIndexVerifier {
public:
    TIndexVerifier(TDataTable& table, TUnitRequester* requester, size_t max_findings)
        : table_(table)
        , file_(table.IndexFile())
        , data_(table.DataFile())
        , requester_(requester)
        , max_findings_(std::max<size_t>(max_findings, 1)) { }

    std::vector<std::string> Run() {
        try {
            // The header's page count sizes the walk only as far as the file holds pages: a
            // damaged count must not size an allocation.
            pages_ = file_.UnitCount();
            uint32_t held = file_.UnitsHeld();
            if (held < pages_) {
                Add("the index header counts " + std::to_string(pages_) + " pages, the file holds "
                    + std::to_string(held));
                pages_ = held;
            }
            owner_.assign(size_t(pages_) + 1, kUnowned);
            ScanRecords();
            uint8_t secondary = file_.Index().SecondaryIndexCount();
            for (int slot = 0; slot <= int(secondary) && slot <= kMaxSecondaryIndexes; ++slot)
                VerifyIndex(uint8_t(slot), true);
            if (!file_.Slots()[kTextIndexSlot].IsEmpty() || file_.Index().RootPage(kTextIndexSlot))
                VerifyIndex(kTextIndexSlot, false);
            VerifyTextChain();
            VerifyFreeList();
            VerifyOwnership();
        } catch (const TStopWalk&) { }
        return std::move(findings_);
    }

private:
    struct TExpected {
        uint32_t page = 0;
        std::vector<uint8_t> first_key; // the parent entry's key
        uint32_t count = 0; // the parent entry's SubtreeCount
    };

    void Add(std::string text) {
        if (findings_.size() + 1 >= max_findings_) {
            findings_.push_back("further findings left out");
            throw TStopWalk {};
        }
        findings_.push_back(std::move(text));
    }

    static std::string CodeText(const EZOLVEKEngineError& error) {
        return "error " + std::to_string(error.Code());
    }

    std::string IndexLabel(uint8_t slot) const {
        const IndexDescriptor& descriptor = file_.Slots()[slot];
        std::string name = slot == kPrimaryIndexSlot ? std::string("Primary") : descriptor.Name;
        return "index '" + name + "' (slot " + std::to_string(slot) + ")";
    }

    // The page, pinned, or empty after reporting why it could not be read.
    TPinned<TPage> Read(uint32_t page_no, int kind, const std::string& context) {
        if (page_no == 0 || page_no > pages_) {
            Add(context + ": page " + std::to_string(page_no) + " lies outside the file");
            return TPinned<TPage>();
        }
        try {
            TBuffer* unit = file_.GetUnit(requester_, kind, page_no, false, rdNone);
            if (unit == nullptr) {
                Add("the table changed during verification");
                throw TStopWalk {};
            }
            return TPinned<TPage>(unit);
        } catch (const EZOLVEKEngineError& error) {
            Add(context + ": page " + std::to_string(page_no) + " cannot be read ("
                + CodeText(error) + ")");
            return TPinned<TPage>();
        }
    }

    void ScanRecords() {
        uint32_t count = data_.PhysicalCount();
        live_.assign(size_t(count) + 1, 0);
        uint32_t live = 0;
        for (uint32_t r = 1; r <= count; ++r) {
            try {
                TPinned<TRecord> record(data_.ReadRecord(requester_, r));
                if (!record) {
                    Add("the table changed during verification");
                    throw TStopWalk {};
                }
                if (!RecordDeleted(record->Data())) {
                    live_[r] = 1;
                    ++live;
                }
            } catch (const EZOLVEKEngineError& error) {
                Add("record " + std::to_string(r) + " cannot be read (" + CodeText(error) + ")");
            }
        }
        live_count_ = live;
        if (int64_t(live) != int64_t(data_.Header().RecordCount)) {
            Add("the data header counts " + std::to_string(data_.Header().RecordCount)
                + " records, the file holds " + std::to_string(live));
        }
    }

    void VerifyIndex(uint8_t slot, bool check_records) {
        const std::string label = IndexLabel(slot);
        const IndexDescriptor& descriptor = file_.Slots()[slot];
        std::optional<TIndexKeyInfo> keys;
        try {
            keys.emplace(slot, descriptor, data_.Fields(), table_.LocaleID(), table_.TableName());
        } catch (const EZOLVEKEngineError& error) {
            Add(label + ": the descriptor does not fit the table's fields (" + CodeText(error)
                + ")");
        }
        const TPageFormat format = TPageFormat::ForSlot(file_, slot);
        const int32_t root = file_.Index().RootPage(slot);
        if (root == 0) {
            if (check_records && live_count_ > 0) {
                Add(label + ": the index is empty but the table holds "
                    + std::to_string(live_count_) + " records");
            }
            return;
        }
        if (root < 0 || uint32_t(root) > pages_) {
            Add(label + ": the root page " + std::to_string(root) + " lies outside the file");
            return;
        }
        if (format.KeyLength == 0) {
            Add(label + ": pages of an index without a key length");
            return;
        }
        const size_t k = format.KeyLength;
        auto compare = [&](const uint8_t* a, const uint8_t* b) {
            return keys ? keys->CompareKeys(a, b, k) : std::memcmp(a, b, k);
        };
        std::vector<uint8_t> seen;
        if (check_records)
            seen.assign(live_.size(), 0);
        std::vector<uint8_t> rebuilt(k);

        std::vector<TExpected> level(1);
        level[0].page = uint32_t(root);
        uint64_t leaf_keys = 0;
        for (int depth = 1; !level.empty(); ++depth) {
            if (depth > kMaxTreeDepth) {
                Add(label + ": more than 64 levels");
                return;
            }
            std::vector<TExpected> next_level;
            std::vector<uint8_t> previous_key;
            int level_kind = -1; // 0 leaves, 1 non-leaf pages
            for (size_t i = 0; i < level.size(); ++i) {
                const TExpected& expected = level[i];
                const uint32_t page_no = expected.page;
                const std::string where = label + ": page " + std::to_string(page_no);
                if (page_no == 0 || page_no > pages_) {
                    Add(label + ": a child reference " + std::to_string(page_no)
                        + " lies outside the file");
                    continue;
                }
                if (owner_[page_no] != kUnowned) {
                    Add(where + " is reached more than once (also "
                        + (owner_[page_no] == kFreePage ? std::string("on the free list")
                                                        : IndexLabel(uint8_t(owner_[page_no])))
                        + ")");
                    continue;
                }
                owner_[page_no] = slot;
                TPinned<TPage> page = Read(page_no, slot, label);
                if (!page)
                    continue;
                if (page->Format() != format) {
                    Add(where + " is held as a page of another index");
                    continue;
                }
                // Type and level.
                TPageType type = page->PageType();
                bool type_ok = depth == 1 ? (type == ptRoot || type == ptRootLeaf)
                                          : (type == ptNode || type == ptLeaf);
                if (!type_ok)
                    Add(where + " has page type " + std::to_string(int(type)) + " at level "
                        + std::to_string(depth));
                if (type == ptData)
                    continue;
                int kind = page->HasChildren() ? 1 : 0;
                if (level_kind < 0)
                    level_kind = kind;
                else if (kind != level_kind)
                    Add(where + " mixes leaf and non-leaf pages on level " + std::to_string(depth));
                // The level chain, both ways.
                uint32_t want_prev = i > 0 ? level[i - 1].page : 0;
                uint32_t want_next = i + 1 < level.size() ? level[i + 1].page : 0;
                if (page->PrevPage() != want_prev)
                    Add(where + " links back to page " + std::to_string(page->PrevPage())
                        + " instead of " + std::to_string(want_prev));
                if (page->NextPage() != want_next)
                    Add(where + " links on to page " + std::to_string(page->NextPage())
                        + " instead of " + std::to_string(want_next));
                // Fill and packed size.
                size_t count = page->EntryCount();
                if (count == 0) {
                    Add(where + " is empty");
                    continue;
                }
                if (page->IsOverfull())
                    Add(where + " is overfull");
                uint32_t packed = page->ComputePackedSize();
                if (page->PackedSize() != packed)
                    Add(where + " records a packed size of " + std::to_string(page->PackedSize())
                        + " instead of " + std::to_string(packed));
                // The parent's view of this page.
                if (depth > 1) {
                    if (std::memcmp(expected.first_key.data(), page->Key(1), k) != 0)
                        Add(where + ": its parent entry's key differs from its first key");
                    if (!format.NoKeyStatistics && expected.count != page->SubtreeTotal())
                        Add(where + ": its parent entry counts " + std::to_string(expected.count)
                            + " keys, the subtree holds " + std::to_string(page->SubtreeTotal()));
                }
                // Key order along the level.
                for (size_t pos = 1; pos <= count; ++pos) {
                    const uint8_t* key = page->Key(pos);
                    if (!previous_key.empty() && compare(previous_key.data(), key) >= 0)
                        Add(where + ": entry " + std::to_string(pos)
                            + " is not above the key before it");
                    previous_key.assign(key, key + k);
                }
                if (page->HasChildren()) {
                    for (size_t pos = 1; pos <= count; ++pos) {
                        TExpected child;
                        child.page = page->Ref(pos);
                        child.first_key.assign(page->Key(pos), page->Key(pos) + k);
                        child.count = page->SubtreeCount(pos);
                        next_level.push_back(std::move(child));
                    }
                    continue;
                }
                leaf_keys += count;
                if (!check_records)
                    continue;
                for (size_t pos = 1; pos <= count; ++pos)
                    VerifyLeafEntry(*page, pos, where, keys, seen, rebuilt);
            }
            level = std::move(next_level);
        }
        if (!check_records)
            return;
        uint64_t missing = 0;
        uint32_t first_missing = 0;
        for (uint32_t r = 1; r < live_.size(); ++r) {
            if (live_[r] && !seen[r]) {
                if (missing++ == 0)
                    first_missing = r;
            }
        }
        if (missing > 0)
            Add(label + ": " + std::to_string(missing) + " live records have no key (the first is "
                + std::to_string(first_missing) + ")");
        if (leaf_keys != live_count_)
            Add(label + ": " + std::to_string(leaf_keys) + " keys for "
                + std::to_string(live_count_) + " live records");
    }

    void VerifyLeafEntry(const TPage& page, size_t pos, const std::string& where,
        const std::optional<TIndexKeyInfo>& keys, std::vector<uint8_t>& seen,
        std::vector<uint8_t>& rebuilt) {
        uint32_t r = page.Ref(pos);
        std::string entry = where + ": entry " + std::to_string(pos);
        if (r == 0 || r >= live_.size()) {
            Add(entry + " names record " + std::to_string(r) + ", outside the data file");
            return;
        }
        if (!live_[r]) {
            Add(entry + " names record " + std::to_string(r) + ", which is not live");
            return;
        }
        if (seen[r]) {
            Add(entry + " names record " + std::to_string(r) + ", which has another key");
            return;
        }
        seen[r] = 1;
        if (!keys)
            return;
        try {
            TPinned<TRecord> record(data_.ReadRecord(requester_, r));
            if (!record) {
                Add("the table changed during verification");
                throw TStopWalk {};
            }
            keys->BuildKey(record->Data(), rebuilt.data());
        } catch (const EZOLVEKEngineError& error) {
            Add(entry + ": record " + std::to_string(r) + " cannot be read (" + CodeText(error)
                + ")");
            return;
        }
        if (std::memcmp(rebuilt.data(), page.Key(pos), rebuilt.size()) != 0)
            Add(entry + ": the key differs from the one record " + std::to_string(r) + " builds");
    }

    // The full-text index's chain of ptData pages, linked through NextPage.
    void VerifyTextChain() {
        int32_t head = file_.Index().TextRootPage(kTextIndexSlot);
        const std::string label = IndexLabel(kTextIndexSlot);
        for (uint32_t page_no = head > 0 ? uint32_t(head) : 0; page_no != 0;) {
            if (page_no > pages_) {
                Add(label + ": the data page chain leads to page " + std::to_string(page_no)
                    + ", outside the file");
                return;
            }
            if (owner_[page_no] != kUnowned) {
                Add(label + ": data page " + std::to_string(page_no)
                    + " is reached more than once");
                return;
            }
            owner_[page_no] = kTextIndexSlot;
            TPinned<TPage> page = Read(page_no, kTextIndexSlot, label);
            if (!page)
                return;
            if (page->PageType() != ptData)
                Add(label + ": data page " + std::to_string(page_no) + " has page type "
                    + std::to_string(int(page->PageType())));
            page_no = page->NextPage();
        }
    }

    void VerifyFreeList() {
        int32_t head = file_.Header().FirstFreePage;
        if (head < 0 || uint32_t(head) > pages_) {
            Add("the free page list starts at page " + std::to_string(head) + ", outside the file");
            return;
        }
        for (uint32_t page_no = uint32_t(head); page_no != 0;) {
            std::string where = "free page " + std::to_string(page_no);
            if (page_no > pages_) {
                Add("the free page list leads to page " + std::to_string(page_no)
                    + ", outside the file");
                return;
            }
            if (owner_[page_no] != kUnowned) {
                Add(where
                    + (owner_[page_no] == kFreePage
                            ? std::string(" closes a cycle in the free page list")
                            : " is also in " + IndexLabel(uint8_t(owner_[page_no]))));
                return;
            }
            owner_[page_no] = kFreePage;
            TPinned<TPage> page = Read(page_no, kNoIndexSlot, "the free page list");
            if (!page)
                return;
            if (page->EntryCount() != 0)
                Add(where + " holds " + std::to_string(page->EntryCount()) + " entries");
            page_no = page->NextPage();
        }
    }

    void VerifyOwnership() {
        uint64_t lost = 0;
        uint32_t first_lost = 0;
        for (uint32_t page_no = 1; page_no <= pages_; ++page_no) {
            if (owner_[page_no] == kUnowned && lost++ == 0)
                first_lost = page_no;
        }
        if (lost > 0)
            Add(std::to_string(lost)
                + " pages are neither in an index nor on the free page list (the first is "
                + std::to_string(first_lost) + ")");
    }

    TDataTable& table_;
    TIndexFile& file_;
    TDataFile& data_;
    TUnitRequester* requester_;
    size_t max_findings_;
    std::vector<std::string> findings_;
    uint32_t pages_ = 0;
    std::vector<int> owner_;
    std::vector<uint8_t> live_;
    uint64_t live_count_ = 0;
};

} // namespace

std::vector<std::string> VerifyTableIndexes(
    TDataTable& table, TUnitRequester* requester, size_t max_findings) {
    return TIndexVerifier(table, requester, max_findings).Run();
}

} // namespace zolvek
