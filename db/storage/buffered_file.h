// The per-table cache of a table file: fixed-size units (records, index pages, BLOB blocks)
// kept in buffers, found by a short most-recently-used scan and a hash lookup, read ahead
// several at a time, reused least-recently-used first, and written back in runs of consecutive
// units, one write per run. TDataFile, TIndexFile and TBlobFile are its three kinds.
// Thread-safety: a buffered file belongs to one table object and is used under that table's
// locks; it is not otherwise synchronised. Buffers live as long as the file caches them; a
// buffer that is pinned when the cache is discarded lives on until its last release.
#pragma once

#include "db/storage/engine_file.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace zolvek {

class TBufferedFile;

// One cached unit. The payload is the unit as the engine works on it; Load and Save convert
// between it and the unit's bytes on disk (decrypting, unpacking a unit header).
class TBuffer {
public:
    TBuffer(TBufferedFile& owner, size_t payload_size);
    virtual ~TBuffer();
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    TBufferedFile& Owner() const { return owner_; }
    uint32_t Number() const { return number_; }
    bool Dirty() const { return dirty_; }
    uint16_t PinCount() const { return pin_count_; }
    uint8_t* Data() { return data_.data(); }
    const uint8_t* Data() const { return data_.data(); }
    size_t Size() const { return data_.size(); }
    // Marks the unit changed; the file keeps a list of changed units, so a flush costs what
    // changed rather than the whole cache.
    void MarkDirty();

    // Zero the payload and clear dirty; `kind` is the requester's initialisation argument.
    virtual void Initialise(int kind);
    // `disk` holds the unit's UnitSizeOnDisk() bytes.
    virtual void Load(const uint8_t* disk);
    virtual void Save(uint8_t* disk);
    void SetPayload(const uint8_t* bytes);

protected:
    // For units that keep their contents outside the payload: the unit now matches its bytes
    // on disk.
    void MarkClean() { dirty_ = false; }

private:
    friend class TBufferedFile;
    TBufferedFile& owner_;
    std::vector<uint8_t> data_;
    uint32_t number_ = 0;
    bool dirty_ = false;
    bool orphaned_ = false;
    uint16_t pin_count_ = 0;
    TBuffer* newer_ = nullptr; // towards the most recently used end
    TBuffer* older_ = nullptr;
};

// What a cache needs to know of the table object that owns it.
class TCacheOwner {
public:
    virtual ~TCacheOwner() = default;
    virtual bool InTransaction() const = 0;
    // A multi-unit read may come back short when units exist only in the caches: the table is
    // open exclusively or inside a transaction with unwritten changes.
    virtual bool AllowShortRead() const = 0;
    virtual bool StrictChangeDetection() const = 0;
    virtual bool ForceBufferFlush() const = 0;
    // Called whenever any of the table's files was written.
    virtual void MarkChanged() = 0;
};

// What a cache needs of the cursor that asks for a unit.
class TUnitRequester {
public:
    virtual ~TUnitRequester() = default;
    // Read-locks the table and checks its change stamp (discarding the caches when it moved);
    // true when the table changed underneath the requester.
    virtual bool CheckTableChanged() = 0;
    // How many units this requester would like read ahead in a direction.
    virtual uint32_t ReadAheadUnits(const TBufferedFile& file, int direction) = 0;
};

enum TReadDirection : int { rdNone = 0, rdForward = 1, rdBackward = 2 };

class TBufferedFile : public TEngineFile {
public:
    struct Statistics {
        uint64_t requests = 0;
        uint64_t read_calls = 0;
        uint64_t units_read = 0;
        uint64_t write_calls = 0;
        uint64_t units_written = 0;
    };

    TBufferedFile(TOpenFileTable& files, TEngineErrors& errors);
    ~TBufferedFile() override;

    void SetCacheOwner(TCacheOwner* owner) { owner_ = owner; }

    // Pinned buffer for unit n, or nullptr when the requester reports that the table changed.
    // n = UnitCount() + 1 appends a new unit (after the room check).
    TBuffer* GetUnit(
        TUnitRequester* requester, int kind, uint32_t n, bool read_ahead, TReadDirection direction);
    void ReleaseUnit(TBuffer* buffer);
    // Writes dirty units in runs; true when anything was written.
    bool FlushUnits(bool skip_pinned);
    void DiscardAll();
    void Trim();
    // Cuts the file back to the offset of unit 1.
    void TruncateToHeader(bool flush_os);

    void Close() override;
    // Sets the cache capacity and read-ahead limit for the file's current header values.
    void ResetCache();

    // A change journal: from BeginChange on, every unit handed out is first copied as it was;
    // RollbackChange puts those copies back and drops the units appended since, so a change
    // that fails half-way leaves the cache as it was. While a journal is open nothing is
    // written to make room (the cache grows instead).
    void BeginChange();
    void EndChange();
    void RollbackChange();
    bool ChangeOpen() const { return journal_open_; }

    uint32_t Capacity() const { return capacity_; }
    size_t CachedCount() const { return cache_.size(); }
    uint32_t ReadAheadLimit() const { return read_ahead_limit_; }
    const Statistics& Stats() const { return stats_; }
    bool IsCached(uint32_t n) const;
    // How many units exist, in the file or only in the cache so far: a walk over the units may
    // size itself by this, never by a header count that a damaged file may hold.
    uint32_t UnitsHeld();

    // The kind's parameters.
    virtual uint32_t UnitCount() const = 0;
    virtual size_t UnitSizeOnDisk() const = 0;
    virtual size_t PayloadSize() const = 0;
    virtual uint64_t FirstUnitOffset() const = 0;
    virtual uint32_t CacheSizeInUnits() const = 0;
    virtual uint32_t DefaultReadAheadLimit() const { return 1; }
    virtual int ScanCount() const = 0;
    virtual uint32_t GrowthStep() const = 0;
    uint64_t UnitOffset(uint32_t n) const {
        return FirstUnitOffset() + uint64_t(n - 1) * UnitSizeOnDisk();
    }

    [[noreturn]] void RaiseCorrupt() const { RaiseError(CorruptCode()); }

protected:
    virtual std::unique_ptr<TBuffer> CreateUnit() = 0;
    virtual uint16_t CorruptCode() const = 0;
    // Raises 9479 when the file may not grow by one unit.
    virtual void CheckRoomForOneMore() = 0;
    virtual void CountOneMoreUnit() = 0;

    TCacheOwner* owner_ = nullptr;

private:
    TBuffer* FindCached(uint32_t n) const;
    void InsertCached(std::unique_ptr<TBuffer> buffer);
    std::unique_ptr<TBuffer> RemoveCached(uint32_t n);
    std::unique_ptr<TBuffer> TakeBuffer(uint32_t n, int kind);
    void ReadUnits(uint32_t n, uint32_t count, TReadDirection direction, int kind);
    void MoveToFront(TBuffer* buffer);
    void Unlink(TBuffer* buffer);
    void LinkFront(TBuffer* buffer);
    TBuffer* Pin(TBuffer* buffer);

    void Journal(TBuffer* buffer);

    struct JournalEntry {
        uint32_t number;
        bool dirty;
        std::vector<uint8_t> image;
    };
    bool journal_open_ = false;
    uint32_t journal_unit_count_ = 0;
    std::vector<JournalEntry> journal_;
    std::vector<uint32_t> journaled_numbers_; // sorted, for the lookup

    // By number; flushes sort what they write. A hash map rather than the sorted list keeps
    // eviction and placement O(1) whatever the cache size.
    std::unordered_map<uint32_t, std::unique_ptr<TBuffer>> cache_;
    std::vector<std::unique_ptr<TBuffer>> orphans_; // discarded while pinned
    TBuffer* newest_ = nullptr;
    TBuffer* oldest_ = nullptr;
    uint32_t capacity_ = 1;
    uint32_t read_ahead_limit_ = 1;
    std::vector<uint8_t> read_buffer_;
    std::vector<uint8_t> write_buffer_;
    friend class TBuffer;
    void NoteDirty(uint32_t n) { dirty_numbers_.push_back(n); }

    bool no_victim_ = false; // no clean, unpinned unit since the last full search
    // Units that became dirty since the last flush (may repeat, or name units since cleaned).
    std::vector<uint32_t> dirty_numbers_;
    uint32_t read_window_first_ = 0; // units of the read in progress, 0 when none
    uint32_t read_window_count_ = 0;
    Statistics stats_;
};

// Holds one pinned unit and releases it on every path.
template <typename Unit = TBuffer> class TPinned {
public:
    TPinned() = default;
    explicit TPinned(TBuffer* buffer)
        : buffer_(buffer) { }
    ~TPinned() { Reset(); }
    TPinned(TPinned&& other) noexcept
        : buffer_(other.buffer_) {
        other.buffer_ = nullptr;
    }
    TPinned& operator=(TPinned&& other) noexcept {
        if (this != &other) {
            Reset();
            buffer_ = other.buffer_;
            other.buffer_ = nullptr;
        }
        return *this;
    }
    void Reset() {
        if (buffer_ != nullptr)
            buffer_->Owner().ReleaseUnit(buffer_);
        buffer_ = nullptr;
    }
    explicit operator bool() const { return buffer_ != nullptr; }
    Unit* get() const { return static_cast<Unit*>(buffer_); }
    Unit* operator->() const { return get(); }
    Unit& operator*() const { return *get(); }

private:
    TBuffer* buffer_ = nullptr;
};

} // namespace zolvek
