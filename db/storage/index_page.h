// TPage: one page of a table's index file as the index file's cache holds it. The 13-byte page
// header is kept in fields and the entries are kept unpacked, in key order, at a fixed width of
// KeyLength + 10 bytes, so that searching and shifting are plain moves; the leaf compression
// modes are applied only when a page is read from or written to its bytes on disk.
// Thread-safety: none; pages are used under the owning table's locks. Lifetime: owned by the
// index file's cache, or by whoever made a free-standing copy with CopyFrom.
#pragma once

#include "db/storage/buffered_file.h"
#include "db/storage/table_format.h"

#include <cstdint>
#include <vector>

namespace zolvek {

class TIndexFile;

enum TPageType : uint8_t { ptRoot = 0, ptNode = 1, ptLeaf = 2, ptRootLeaf = 3, ptData = 4 };

// The parameters of an index that decide how its pages are laid out.
struct TPageFormat {
    uint16_t KeyLength = 0;
    bool Unique = false;
    bool NoKeyStatistics = false;
    uint8_t Compression = icNone; // TIndexCompression

    bool operator==(const TPageFormat&) const = default;
    // Slots 0..31 take their descriptor's values; anything else (128, 255) is "no index".
    static TPageFormat ForSlot(const TIndexFile& file, int slot);
};

class TPage : public TBuffer {
public:
    // Per entry in memory, after the key: Ref (4), SubtreeCount (4), DupBytes (1), TrailBytes (1).
    static constexpr size_t kEntryExtra = 10;
    static constexpr uint8_t kMaxDupBytes = 254;
    static constexpr uint8_t kMaxTrailBytes = 254;

    explicit TPage(TIndexFile& file);

    // Clears the header and the entries and takes the page parameters of `slot`.
    void InitForIndex(int slot);
    // The cache's set-up of a new buffer: InitForIndex(kind), clean.
    void Initialise(int kind) override;
    // The page image of IndexPageSize bytes: deciphered when the table is encrypted, then
    // unpacked. Every count and length is checked against the page; a page that does not hold
    // what its header says raises 8965 and leaves this buffer unusable.
    void Load(const uint8_t* disk) override;
    // Packs the entries into an image of IndexPageSize bytes (unused bytes zero) and enciphers
    // it when the table is encrypted.
    void Save(uint8_t* disk) override;
    // A free-standing copy of `source` (header, parameters, entries, page number), clean.
    void CopyFrom(const TPage& source);

    // The cache's unit number, or for a copy the number of the page it was copied from.
    uint32_t PageNumber() const { return Number() != 0 ? Number() : copied_number_; }
    const TPageFormat& Format() const { return format_; }
    uint16_t KeyLength() const { return format_.KeyLength; }
    size_t PageDataSize() const { return page_data_size_; }

    TPageType PageType() const { return page_type_; }
    void SetPageType(TPageType type);
    bool IsLeaf() const { return page_type_ == ptLeaf || page_type_ == ptRootLeaf; }
    bool IsRoot() const { return page_type_ == ptRoot || page_type_ == ptRootLeaf; }
    bool HasChildren() const { return page_type_ == ptRoot || page_type_ == ptNode; }
    bool IsCompressedLeaf() const { return IsLeaf() && format_.Compression != icNone; }

    size_t EntryCount() const { return entries_.size() / width_; }
    uint32_t PrevPage() const { return prev_page_; }
    void SetPrevPage(uint32_t page);
    uint32_t NextPage() const { return next_page_; }
    void SetNextPage(uint32_t page);
    uint32_t PackedSize() const { return packed_size_; }

    // Entry accessors; positions are 1-based.
    // Requires: 1 <= pos <= EntryCount() (for all of them).
    const uint8_t* Key(size_t pos) const { return Entry(pos); }
    uint32_t Ref(size_t pos) const;
    void SetRef(size_t pos, uint32_t ref);
    // No effect (and 0) on leaf pages and without key statistics.
    uint32_t SubtreeCount(size_t pos) const;
    void SetSubtreeCount(size_t pos, uint32_t count);
    void IncrementSubtreeCount(size_t pos);
    void DecrementSubtreeCount(size_t pos);
    uint8_t DupBytes(size_t pos) const { return Entry(pos)[format_.KeyLength + 8]; }
    uint8_t TrailBytes(size_t pos) const { return Entry(pos)[format_.KeyLength + 9]; }

    // Opens an entry after `pos` (0 = in front) holding a copy of `key` (KeyLength bytes), Ref
    // and counts 0, and returns its position. The packed size is the caller's (AdjustPackedSize).
    // Requires: pos <= EntryCount().
    size_t InsertEntry(size_t pos, const uint8_t* key);
    // Closes the entry at `pos`; the packed size is the caller's (AdjustPackedSize first).
    void RemoveEntry(size_t pos);
    // Replaces the key of an entry; on a compressed leaf the packed size follows.
    void ReplaceKey(size_t pos, const uint8_t* key);

    // Bulk moves for splits and merges; the pages have the same format. DupBytes and TrailBytes
    // travel with the entries, so the caller recomputes the packed sizes.
    // Requires: pos <= EntryCount(), first + count - 1 <= source.EntryCount().
    void InsertEntriesFrom(size_t pos, const TPage& source, size_t first, size_t count);
    // Requires: first + count - 1 <= EntryCount().
    void RemoveEntries(size_t first, size_t count);
    void ClearEntries();
    // The unpacked entries as one run of EntryCount() * EntryWidth() bytes.
    const uint8_t* EntryBytes() const { return entries_.data(); }
    size_t EntryWidth() const { return width_; }
    // Replaces all entries by `count` entries of EntryWidth() bytes.
    void AssignEntries(const uint8_t* bytes, size_t count);

    // Non-leaf pages: the SubtreeCount sum of all entries, and of the entries before `pos`.
    // Leaf pages: EntryCount(), and pos - 1.
    uint32_t SubtreeTotal() const;
    uint32_t CountBefore(size_t pos) const;

    // Entries an uncompressed page holds.
    size_t Capacity() const;
    // More entries than Capacity, or for a compressed leaf more packed bytes than the page holds.
    bool IsOverfull() const;
    // Compressed leaves only: the packed-size bookkeeping of one entry being inserted (after
    // InsertEntry) or removed (before RemoveEntry), with the recomputed compression bytes of
    // the entry and of its successor.
    void AdjustPackedSize(size_t pos, bool inserting);
    // The packed size from every entry's stored DupBytes and TrailBytes.
    void RecalcPackedSize();
    // Recomputes an entry's DupBytes (against its predecessor; 0 for entry 1) and TrailBytes.
    void RecomputeCompression(size_t pos);
    // The packed size the entries should have, computed afresh from the keys (for checking the
    // incremental bookkeeping).
    uint32_t ComputePackedSize() const;

    // The raw data area of a ptData page (PageDataSize bytes).
    std::vector<uint8_t>& RawData();

private:
    uint8_t* Entry(size_t pos) { return entries_.data() + (pos - 1) * width_; }
    const uint8_t* Entry(size_t pos) const { return entries_.data() + (pos - 1) * width_; }
    TIndexFile& File() const;
    void SetFormat(const TPageFormat& format);
    bool KeepsCounts() const { return HasChildren() && !format_.NoKeyStatistics; }
    size_t MaxDupBytes() const;
    uint8_t SharedBytes(const uint8_t* previous, const uint8_t* key) const;
    uint8_t ComputeDup(size_t pos) const;
    uint8_t ComputeTrail(size_t pos, size_t dup) const;
    size_t PackedEntrySize(size_t dup, size_t trail) const;
    size_t StoredEntrySize(size_t pos) const;
    void SetCompression(size_t pos, uint8_t dup, uint8_t trail);
    void Unpack(const uint8_t* image);
    [[noreturn]] void RaiseCorrupt() const;

    TPageFormat format_;
    size_t width_ = kEntryExtra;
    size_t page_data_size_ = 0;
    TPageType page_type_ = ptRoot;
    uint32_t prev_page_ = 0;
    uint32_t next_page_ = 0;
    uint32_t packed_size_ = 0;
    uint32_t copied_number_ = 0;
    std::vector<uint8_t> entries_;
    std::vector<uint8_t> raw_;
};

} // namespace zolvek
