// Index pages: header, unpacked entries, packing and unpacking.
//
// Page image (IndexPageSize bytes, little-endian; enciphered as one buffer in encrypted tables):
//   0   1  PageType      0 ptRoot, 1 ptNode, 2 ptLeaf, 3 ptRootLeaf, 4 ptData
//   1   2  EntryCount
//   3   4  PrevPage      left neighbour on the level, 0 = none
//   7   4  NextPage      right neighbour on the level, 0 = none; free pages: next free page
//  11   2  PackedSize    bytes of packed entries on a compressed leaf, else 0
//  13   .  entries, without gaps (ptData: IndexPageSize - 13 raw bytes)
//
// Entries (K = KeyLength; a non-unique key ends in its 4-byte RecordID suffix):
//   ptRoot, ptNode           key (K), child page (4), SubtreeCount (4, not with NoKeyStatistics)
//   leaf, icNone             key (K), record number (4)
//   leaf, icDuplicateByte    d (1), key bytes d..K-1, record number (4)
//   leaf, icTrailingByte     t (1), key without its last t significant bytes, record number (4)
//   leaf, icFull             d (1), t (1), key bytes d..K-1-t, record number (4)
// d: leading bytes shared with the previous entry's key (0 for the first entry, at most 254,
// never reaching into the suffix). t: zero bytes dropped from the end of the key (at most 254),
// counted after the d shared bytes; in a non-unique index they end just before the suffix,
// which is always written, and t is 0 when fewer than 5 bytes follow the shared ones.
//
// Entry in memory (width K + 10): key (K), Ref (4), SubtreeCount (4), DupBytes (1),
// TrailBytes (1).
#include "db/storage/index_page.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/storage/index_file.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace zolvek {

TPageFormat TPageFormat::ForSlot(const TIndexFile& file, int slot) {
    TPageFormat format;
    if (slot >= 0 && size_t(slot) < kIndexSlotCount) {
        const IndexDescriptor& descriptor = file.Slots()[size_t(slot)];
        format.KeyLength = descriptor.KeyLength;
        format.Unique = descriptor.Unique;
        format.NoKeyStatistics = descriptor.NoKeyStatistics;
        format.Compression = descriptor.Compression;
    }
    return format;
}

TPage::TPage(TIndexFile& file)
    : TBuffer(file, 0)
    , page_data_size_(size_t(std::max(file.IndexPageSize(), kIndexPageHeaderSize))
          - size_t(kIndexPageHeaderSize)) { }

TIndexFile& TPage::File() const {
    return static_cast<TIndexFile&>(Owner());
}

void TPage::RaiseCorrupt() const {
    Owner().RaiseCorrupt();
}

void TPage::SetFormat(const TPageFormat& format) {
    format_ = format;
    width_ = size_t(format.KeyLength) + kEntryExtra;
}

void TPage::InitForIndex(int slot) {
    SetFormat(TPageFormat::ForSlot(File(), slot));
    page_type_ = ptRoot;
    prev_page_ = 0;
    next_page_ = 0;
    packed_size_ = 0;
    entries_.clear();
    raw_.clear();
}

void TPage::Initialise(int kind) {
    InitForIndex(kind);
    MarkClean();
}

void TPage::CopyFrom(const TPage& source) {
    SetFormat(source.format_);
    page_data_size_ = source.page_data_size_;
    page_type_ = source.page_type_;
    prev_page_ = source.prev_page_;
    next_page_ = source.next_page_;
    packed_size_ = source.packed_size_;
    copied_number_ = source.PageNumber();
    entries_ = source.entries_;
    raw_ = source.raw_;
    MarkClean();
}

void TPage::SetPageType(TPageType type) {
    page_type_ = type;
    MarkDirty();
}

void TPage::SetPrevPage(uint32_t page) {
    prev_page_ = page;
    MarkDirty();
}

void TPage::SetNextPage(uint32_t page) {
    next_page_ = page;
    MarkDirty();
}

// ---- Entries ----

uint32_t TPage::Ref(size_t pos) const {
    assert(pos >= 1 && pos <= EntryCount());
    return LoadU32(Entry(pos) + format_.KeyLength);
}

void TPage::SetRef(size_t pos, uint32_t ref) {
    assert(pos >= 1 && pos <= EntryCount());
    StoreU32(Entry(pos) + format_.KeyLength, ref);
    MarkDirty();
}

uint32_t TPage::SubtreeCount(size_t pos) const {
    assert(pos >= 1 && pos <= EntryCount());
    return KeepsCounts() ? LoadU32(Entry(pos) + format_.KeyLength + 4) : 0;
}

void TPage::SetSubtreeCount(size_t pos, uint32_t count) {
    assert(pos >= 1 && pos <= EntryCount());
    if (!KeepsCounts())
        return;
    StoreU32(Entry(pos) + format_.KeyLength + 4, count);
    MarkDirty();
}

void TPage::IncrementSubtreeCount(size_t pos) {
    SetSubtreeCount(pos, SubtreeCount(pos) + 1);
}

void TPage::DecrementSubtreeCount(size_t pos) {
    SetSubtreeCount(pos, SubtreeCount(pos) - 1);
}

size_t TPage::InsertEntry(size_t pos, const uint8_t* key) {
    assert(pos <= EntryCount());
    auto at = entries_.begin() + ptrdiff_t(pos * width_);
    at = entries_.insert(at, width_, uint8_t(0));
    std::memcpy(&*at, key, format_.KeyLength);
    MarkDirty();
    return pos + 1;
}

size_t TPage::RemoveEntry(size_t pos) {
    assert(pos >= 1 && pos <= EntryCount());
    auto at = entries_.begin() + ptrdiff_t((pos - 1) * width_);
    entries_.erase(at, at + ptrdiff_t(width_));
    MarkDirty();
    return std::min(pos, EntryCount());
}

void TPage::ReplaceKey(size_t pos, const uint8_t* key) {
    assert(pos >= 1 && pos <= EntryCount());
    if (std::memcmp(Entry(pos), key, format_.KeyLength) == 0)
        return;
    bool compressed = IsCompressedLeaf();
    if (compressed)
        AdjustPackedSize(pos, false);
    std::memcpy(Entry(pos), key, format_.KeyLength);
    if (compressed)
        AdjustPackedSize(pos, true);
    MarkDirty();
}

void TPage::InsertEntriesFrom(size_t pos, const TPage& source, size_t first, size_t count) {
    assert(source.width_ == width_ && pos <= EntryCount());
    assert(first >= 1 && first + count - 1 <= source.EntryCount());
    if (count == 0)
        return;
    const uint8_t* from = source.entries_.data() + (first - 1) * width_;
    entries_.insert(entries_.begin() + ptrdiff_t(pos * width_), from, from + count * width_);
    MarkDirty();
}

void TPage::RemoveEntries(size_t first, size_t count) {
    assert(first >= 1 && first + count - 1 <= EntryCount());
    if (count == 0)
        return;
    auto at = entries_.begin() + ptrdiff_t((first - 1) * width_);
    entries_.erase(at, at + ptrdiff_t(count * width_));
    MarkDirty();
}

void TPage::ClearEntries() {
    entries_.clear();
    packed_size_ = 0;
    MarkDirty();
}

void TPage::AssignEntries(const uint8_t* bytes, size_t count) {
    entries_.assign(bytes, bytes + count * width_);
    MarkDirty();
}

uint32_t TPage::SubtreeTotal() const {
    if (!HasChildren())
        return uint32_t(EntryCount());
    return CountBefore(EntryCount() + 1);
}

uint32_t TPage::CountBefore(size_t pos) const {
    if (!HasChildren())
        return pos > 0 ? uint32_t(pos - 1) : 0;
    if (format_.NoKeyStatistics)
        return 0;
    uint32_t sum = 0;
    const uint8_t* count = entries_.data() + format_.KeyLength + 4;
    for (size_t i = 1; i < pos; ++i, count += width_)
        sum += LoadU32(count);
    return sum;
}

// ---- Capacity and packed size ----

size_t TPage::Capacity() const {
    size_t per_entry = size_t(format_.KeyLength) + 4;
    if (HasChildren() && !format_.NoKeyStatistics)
        per_entry += 4;
    return page_data_size_ / per_entry;
}

bool TPage::IsOverfull() const {
    if (IsCompressedLeaf())
        return packed_size_ > page_data_size_;
    return EntryCount() > Capacity();
}

size_t TPage::MaxDupBytes() const {
    size_t limit = format_.KeyLength;
    if (!format_.Unique)
        limit = limit >= kNonUniqueKeySuffix ? limit - kNonUniqueKeySuffix : 0;
    return std::min<size_t>(limit, kMaxDupBytes);
}

uint8_t TPage::SharedBytes(const uint8_t* previous, const uint8_t* key) const {
    if (format_.Compression != icDuplicateByte && format_.Compression != icFull)
        return 0;
    size_t limit = MaxDupBytes();
    size_t dup = 0;
    while (dup < limit && previous[dup] == key[dup])
        ++dup;
    return uint8_t(dup);
}

uint8_t TPage::ComputeDup(size_t pos) const {
    return pos <= 1 ? 0 : SharedBytes(Entry(pos - 1), Entry(pos));
}

uint8_t TPage::ComputeTrail(size_t pos, size_t dup) const {
    if (format_.Compression != icTrailingByte && format_.Compression != icFull)
        return 0;
    size_t k = format_.KeyLength;
    size_t end = k;
    size_t span = k - dup;
    if (!format_.Unique) {
        if (k < dup + kNonUniqueKeySuffix + 1)
            return 0;
        end = k - kNonUniqueKeySuffix;
        span = k - dup - kNonUniqueKeySuffix;
    }
    const uint8_t* key = Entry(pos);
    size_t trail = 0;
    while (trail < span && trail < kMaxTrailBytes && key[end - 1 - trail] == 0)
        ++trail;
    return uint8_t(trail);
}

size_t TPage::PackedEntrySize(size_t dup, size_t trail) const {
    size_t k = format_.KeyLength;
    switch (format_.Compression) {
    case icDuplicateByte:
        return k - dup + 5;
    case icTrailingByte:
        return k - trail + 5;
    case icFull:
        return k - dup - trail + 6;
    default:
        return k + 4;
    }
}

size_t TPage::StoredEntrySize(size_t pos) const {
    return PackedEntrySize(DupBytes(pos), TrailBytes(pos));
}

void TPage::SetCompression(size_t pos, uint8_t dup, uint8_t trail) {
    uint8_t* entry = Entry(pos);
    entry[format_.KeyLength + 8] = dup;
    entry[format_.KeyLength + 9] = trail;
}

void TPage::RecomputeCompression(size_t pos) {
    if (!IsCompressedLeaf())
        return;
    uint8_t dup = ComputeDup(pos);
    SetCompression(pos, dup, ComputeTrail(pos, dup));
    MarkDirty();
}

void TPage::AdjustPackedSize(size_t pos, bool inserting) {
    if (!IsCompressedLeaf())
        return;
    size_t count = EntryCount();
    assert(pos >= 1 && pos <= count);
    if (inserting) {
        RecomputeCompression(pos);
        packed_size_ += uint32_t(StoredEntrySize(pos));
        if (pos < count) {
            packed_size_ -= uint32_t(StoredEntrySize(pos + 1));
            RecomputeCompression(pos + 1);
            packed_size_ += uint32_t(StoredEntrySize(pos + 1));
        }
    } else {
        packed_size_ -= uint32_t(StoredEntrySize(pos));
        if (pos < count) {
            packed_size_ -= uint32_t(StoredEntrySize(pos + 1));
            // The successor's predecessor will be entry pos - 1: compare against that now.
            uint8_t dup = pos > 1 ? SharedBytes(Entry(pos - 1), Entry(pos + 1)) : 0;
            SetCompression(pos + 1, dup, ComputeTrail(pos + 1, dup));
            packed_size_ += uint32_t(StoredEntrySize(pos + 1));
        }
    }
    MarkDirty();
}

void TPage::RecalcPackedSize() {
    uint32_t size = 0;
    if (IsCompressedLeaf()) {
        for (size_t pos = 1; pos <= EntryCount(); ++pos)
            size += uint32_t(StoredEntrySize(pos));
    }
    if (size != packed_size_) {
        packed_size_ = size;
        MarkDirty();
    }
}

uint32_t TPage::ComputePackedSize() const {
    if (!IsCompressedLeaf())
        return 0;
    uint32_t size = 0;
    for (size_t pos = 1; pos <= EntryCount(); ++pos) {
        uint8_t dup = ComputeDup(pos);
        size += uint32_t(PackedEntrySize(dup, ComputeTrail(pos, dup)));
    }
    return size;
}

std::vector<uint8_t>& TPage::RawData() {
    if (raw_.size() != page_data_size_)
        raw_.resize(page_data_size_);
    return raw_;
}

// ---- Reading and writing ----

void TPage::Load(const uint8_t* disk) {
    TIndexFile& file = File();
    const uint8_t* image = disk;
    std::vector<uint8_t> deciphered;
    if (TCipherContext* cipher = file.Cipher()) {
        deciphered.assign(disk, disk + file.UnitSizeOnDisk());
        cipher->DecryptBuffer(deciphered.data(), deciphered.size());
        image = deciphered.data();
    }
    Unpack(image);
    MarkClean();
}

void TPage::Unpack(const uint8_t* image) {
    entries_.clear();
    raw_.clear();
    packed_size_ = 0;
    if (image[0] > ptData)
        RaiseCorrupt();
    page_type_ = TPageType(image[0]);
    size_t count = LoadU16(image + 1);
    prev_page_ = LoadU32(image + 3);
    next_page_ = LoadU32(image + 7);
    uint32_t stored_packed_size = LoadU16(image + 11);
    const uint8_t* data = image + kIndexPageHeaderSize;
    const size_t available = page_data_size_;

    if (page_type_ == ptData) {
        raw_.assign(data, data + available);
        return;
    }
    if (count == 0)
        return; // a free page keeps whatever else its header held
    const size_t k = format_.KeyLength;
    if (k == 0)
        RaiseCorrupt();

    if (!IsLeaf() || format_.Compression == icNone) {
        size_t stored = HasChildren() && !format_.NoKeyStatistics ? k + 8 : k + 4;
        if (count > available / stored || stored_packed_size != 0)
            RaiseCorrupt();
        entries_.resize(count * width_);
        for (size_t pos = 1; pos <= count; ++pos) {
            const uint8_t* from = data + (pos - 1) * stored;
            uint8_t* entry = Entry(pos);
            std::memcpy(entry, from, k + 4);
            if (stored == k + 8)
                std::memcpy(entry + k + 4, from + k + 4, 4);
        }
        return;
    }

    // Compressed leaf: walk the entries with every length checked against what is left.
    const bool has_dup = format_.Compression == icDuplicateByte || format_.Compression == icFull;
    const bool has_trail = format_.Compression == icTrailingByte || format_.Compression == icFull;
    const size_t suffix = format_.Unique ? 0 : kNonUniqueKeySuffix;
    if (k < suffix)
        RaiseCorrupt();
    const size_t max_dup = MaxDupBytes();
    // Every packed entry takes at least its compression bytes, the suffix and the record number.
    const size_t smallest = size_t(has_dup) + size_t(has_trail) + suffix + 4;
    if (count > available / smallest)
        RaiseCorrupt();
    entries_.resize(count * width_);
    size_t offset = 0;
    for (size_t pos = 1; pos <= count; ++pos) {
        size_t header = size_t(has_dup) + size_t(has_trail);
        if (available - offset < header)
            RaiseCorrupt();
        size_t dup = has_dup ? data[offset] : 0;
        size_t trail = has_trail ? data[offset + (has_dup ? 1 : 0)] : 0;
        offset += header;
        if (dup > max_dup || (pos == 1 && dup != 0) || trail > kMaxTrailBytes)
            RaiseCorrupt();
        // Bytes of the key that follow the shared ones, before the suffix.
        size_t body = k - suffix - std::min(dup, k - suffix);
        if (trail > body)
            RaiseCorrupt();
        size_t kept = body - trail;
        size_t needed = kept + suffix + 4;
        if (available - offset < needed)
            RaiseCorrupt();
        uint8_t* entry = Entry(pos);
        // (memmove: the compiler turns a memcpy of at most 254 bytes into a slow string move.)
        if (dup > 0)
            std::memmove(entry, entry - width_, dup);
        std::memcpy(entry + dup, data + offset, kept);
        // The trail bytes stay zero, as the entries were zero-filled.
        offset += kept;
        std::memcpy(entry + k - suffix, data + offset, suffix + 4);
        offset += suffix + 4;
        SetCompression(pos, uint8_t(dup), uint8_t(trail));
    }
    if (offset != stored_packed_size)
        RaiseCorrupt();
    packed_size_ = uint32_t(offset);
}

void TPage::Save(uint8_t* disk) {
    TIndexFile& file = File();
    const size_t unit = file.UnitSizeOnDisk();
    std::memset(disk, 0, unit);
    const size_t count = EntryCount();
    disk[0] = page_type_;
    // A page that cannot hold its entries is written so that reading it back fails loudly,
    // rather than with a count that silently loses keys.
    StoreU16(disk + 1, uint16_t(std::min<size_t>(count, 0xFFFF)));
    StoreU32(disk + 3, prev_page_);
    StoreU32(disk + 7, next_page_);
    StoreU16(
        disk + 11, IsCompressedLeaf() ? uint16_t(std::min<uint32_t>(packed_size_, 0xFFFF)) : 0);
    uint8_t* data = disk + kIndexPageHeaderSize;
    const size_t available = page_data_size_;

    if (page_type_ == ptData) {
        std::memcpy(data, raw_.data(), std::min(raw_.size(), available));
    } else if (!IsCompressedLeaf()) {
        const size_t k = format_.KeyLength;
        size_t stored = HasChildren() && !format_.NoKeyStatistics ? k + 8 : k + 4;
        for (size_t pos = 1; pos <= count && pos * stored <= available; ++pos)
            std::memcpy(data + (pos - 1) * stored, Entry(pos), stored);
    } else {
        const size_t k = format_.KeyLength;
        const bool has_dup
            = format_.Compression == icDuplicateByte || format_.Compression == icFull;
        const bool has_trail
            = format_.Compression == icTrailingByte || format_.Compression == icFull;
        const size_t suffix = format_.Unique ? 0 : kNonUniqueKeySuffix;
        size_t offset = 0;
        for (size_t pos = 1; pos <= count; ++pos) {
            size_t dup = DupBytes(pos);
            size_t trail = TrailBytes(pos);
            size_t size = PackedEntrySize(dup, trail);
            if (offset + size > available)
                break;
            const uint8_t* entry = Entry(pos);
            if (has_dup)
                data[offset++] = uint8_t(dup);
            if (has_trail)
                data[offset++] = uint8_t(trail);
            size_t kept = k - suffix - dup - trail;
            std::memcpy(data + offset, entry + dup, kept);
            offset += kept;
            std::memcpy(data + offset, entry + k - suffix, suffix + 4);
            offset += suffix + 4;
        }
    }
    if (TCipherContext* cipher = file.Cipher())
        cipher->EncryptBuffer(disk, unit);
    MarkClean();
}

} // namespace zolvek
