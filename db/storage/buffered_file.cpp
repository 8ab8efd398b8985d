// The unit cache of table files.
#include "db/storage/buffered_file.h"

#include "db/base/errors.h"

#include <algorithm>
#include <cstring>

namespace zolvek {

TBuffer::TBuffer(TBufferedFile& owner, size_t payload_size)
    : owner_(owner)
    , data_(payload_size) { }

TBuffer::~TBuffer() = default;

void TBuffer::Initialise(int) {
    std::fill(data_.begin(), data_.end(), uint8_t(0));
    dirty_ = false;
}

void TBuffer::Load(const uint8_t* disk) {
    std::memcpy(data_.data(), disk, data_.size());
    dirty_ = false;
}

void TBuffer::Save(uint8_t* disk) {
    std::memcpy(disk, data_.data(), data_.size());
    dirty_ = false;
}

void TBuffer::SetPayload(const uint8_t* bytes) {
    std::memcpy(data_.data(), bytes, data_.size());
    MarkDirty();
}

void TBuffer::MarkDirty() {
    if (dirty_)
        return;
    dirty_ = true;
    owner_.NoteDirty(number_);
}

TBufferedFile::TBufferedFile(TOpenFileTable& files, TEngineErrors& errors)
    : TEngineFile(files, errors) { }

TBufferedFile::~TBufferedFile() {
    // Buffers still pinned by someone are the owner's bug; free them all the same.
    cache_.clear();
    orphans_.clear();
}

void TBufferedFile::Close() {
    DiscardAll();
    TEngineFile::Close();
}

void TBufferedFile::ResetCache() {
    stats_ = Statistics {};
    capacity_ = std::max<uint32_t>(1, CacheSizeInUnits());
    read_ahead_limit_ = std::max<uint32_t>(1, DefaultReadAheadLimit());
}

bool TBufferedFile::IsCached(uint32_t n) const {
    return FindCached(n) != nullptr;
}

uint32_t TBufferedFile::UnitsHeld() {
    uint64_t size = uint64_t(std::max<int64_t>(Size(), 0));
    uint64_t in_file = size > FirstUnitOffset() ? (size - FirstUnitOffset()) / UnitSizeOnDisk() : 0;
    uint32_t held = uint32_t(std::min<uint64_t>(in_file, UINT32_MAX));
    for (const auto& [number, buffer] : cache_)
        held = std::max(held, number);
    return held;
}

TBuffer* TBufferedFile::FindCached(uint32_t n) const {
    auto it = cache_.find(n);
    return it != cache_.end() ? it->second.get() : nullptr;
}

void TBufferedFile::InsertCached(std::unique_ptr<TBuffer> buffer) {
    uint32_t n = buffer->number_;
    cache_[n] = std::move(buffer);
}

std::unique_ptr<TBuffer> TBufferedFile::RemoveCached(uint32_t n) {
    auto it = cache_.find(n);
    if (it == cache_.end())
        return nullptr;
    std::unique_ptr<TBuffer> buffer = std::move(it->second);
    cache_.erase(it);
    return buffer;
}

void TBufferedFile::Unlink(TBuffer* buffer) {
    if (buffer->newer_ != nullptr)
        buffer->newer_->older_ = buffer->older_;
    else if (newest_ == buffer)
        newest_ = buffer->older_;
    if (buffer->older_ != nullptr)
        buffer->older_->newer_ = buffer->newer_;
    else if (oldest_ == buffer)
        oldest_ = buffer->newer_;
    buffer->newer_ = nullptr;
    buffer->older_ = nullptr;
}

void TBufferedFile::LinkFront(TBuffer* buffer) {
    buffer->older_ = newest_;
    buffer->newer_ = nullptr;
    if (newest_ != nullptr)
        newest_->newer_ = buffer;
    newest_ = buffer;
    if (oldest_ == nullptr)
        oldest_ = buffer;
}

void TBufferedFile::MoveToFront(TBuffer* buffer) {
    if (newest_ == buffer)
        return;
    Unlink(buffer);
    LinkFront(buffer);
}

TBuffer* TBufferedFile::Pin(TBuffer* buffer) {
    if (journal_open_)
        Journal(buffer);
    ++buffer->pin_count_;
    return buffer;
}

void TBufferedFile::Journal(TBuffer* buffer) {
    uint32_t n = buffer->number_;
    if (n > journal_unit_count_)
        return; // appended during the change: dropped on rollback
    auto at = std::lower_bound(journaled_numbers_.begin(), journaled_numbers_.end(), n);
    if (at != journaled_numbers_.end() && *at == n)
        return;
    JournalEntry entry { n, buffer->dirty_, std::vector<uint8_t>(UnitSizeOnDisk()) };
    buffer->Save(entry.image.data());
    buffer->dirty_ = false;
    if (entry.dirty)
        buffer->MarkDirty();
    journaled_numbers_.insert(at, n);
    journal_.push_back(std::move(entry));
}

void TBufferedFile::BeginChange() {
    // Deferred writes (a table open exclusively) pile up dirty units; write them out before the
    // journal opens, since nothing may be written while it is open.
    if (cache_.size() >= capacity_ && dirty_numbers_.size() >= std::max<size_t>(1, capacity_ / 2)
        && (owner_ == nullptr || !owner_->InTransaction())) {
        FlushUnits(true);
        Trim();
    }
    journal_open_ = true;
    journal_unit_count_ = UnitCount();
    journal_.clear();
    journaled_numbers_.clear();
}

void TBufferedFile::EndChange() {
    journal_open_ = false;
    journal_.clear();
    journaled_numbers_.clear();
}

void TBufferedFile::RollbackChange() {
    if (!journal_open_)
        return;
    journal_open_ = false;
    // Every unit goes back to its image and is written again at the next flush: a failed
    // flush may have left part of the change in the file.
    for (const JournalEntry& entry : journal_) {
        TBuffer* buffer = FindCached(entry.number);
        if (buffer == nullptr) {
            std::unique_ptr<TBuffer> restored = CreateUnit();
            restored->Initialise(0);
            restored->number_ = entry.number;
            buffer = restored.get();
            LinkFront(buffer);
            InsertCached(std::move(restored));
        }
        buffer->Load(entry.image.data());
        buffer->dirty_ = false;
        buffer->MarkDirty();
    }
    for (auto it = cache_.begin(); it != cache_.end();) {
        if (it->first <= journal_unit_count_) {
            ++it;
            continue;
        }
        std::unique_ptr<TBuffer> buffer = std::move(it->second);
        it = cache_.erase(it);
        Unlink(buffer.get());
        if (buffer->pin_count_ > 0) {
            buffer->orphaned_ = true;
            orphans_.push_back(std::move(buffer));
        }
    }
    no_victim_ = false;
    journal_.clear();
    journaled_numbers_.clear();
    // Units the change appended may have reached the file; it ends where it ended before.
    uint64_t length = FirstUnitOffset() + uint64_t(journal_unit_count_) * UnitSizeOnDisk();
    if (IsOpen() && uint64_t(Size()) > length)
        Truncate(length);
}

std::unique_ptr<TBuffer> TBufferedFile::TakeBuffer(uint32_t n, int kind) {
    if (cache_.size() < capacity_) {
        std::unique_ptr<TBuffer> buffer = CreateUnit();
        buffer->Initialise(kind);
        buffer->number_ = n;
        LinkFront(buffer.get());
        return buffer;
    }
    // A cache that grew full of dirty units (a transaction, a long change) would otherwise be
    // scanned in full for every new unit; the hint remembers that no unit has become a candidate
    // since the last scan that found none.
    auto find_victim = [&]() -> TBuffer* {
        if (no_victim_)
            return nullptr;
        for (TBuffer* b = oldest_; b != nullptr; b = b->newer_) {
            if (!b->dirty_ && b->pin_count_ == 0)
                return b;
        }
        no_victim_ = true;
        return nullptr;
    };
    TBuffer* victim = find_victim();
    if (victim == nullptr && !journal_open_ && (owner_ == nullptr || !owner_->InTransaction())) {
        FlushUnits(true);
        victim = find_victim();
    }
    if (victim == nullptr) {
        capacity_ += GrowthStep();
        std::unique_ptr<TBuffer> buffer = CreateUnit();
        buffer->Initialise(kind);
        buffer->number_ = n;
        LinkFront(buffer.get());
        return buffer;
    }
    std::unique_ptr<TBuffer> buffer = RemoveCached(victim->number_);
    MoveToFront(buffer.get());
    buffer->Initialise(kind);
    buffer->number_ = n;
    return buffer;
}

TBuffer* TBufferedFile::GetUnit(
    TUnitRequester* requester, int kind, uint32_t n, bool read_ahead, TReadDirection direction) {
    ++stats_.requests;
    uint32_t units = UnitCount();
    if (n == 0 || n > units + 1)
        RaiseCorrupt();
    if (n == units + 1) {
        CheckRoomForOneMore();
        std::unique_ptr<TBuffer> buffer = TakeBuffer(n, kind);
        TBuffer* raw = Pin(buffer.get());
        InsertCached(std::move(buffer));
        CountOneMoreUnit();
        return raw;
    }

    int scanned = 0;
    for (TBuffer* b = newest_; b != nullptr && scanned < ScanCount(); b = b->older_, ++scanned) {
        if (b->number_ == n) {
            MoveToFront(b);
            return Pin(b);
        }
    }
    if (TBuffer* b = FindCached(n)) {
        MoveToFront(b);
        return Pin(b);
    }

    if (requester != nullptr && (owner_ == nullptr || !owner_->StrictChangeDetection())) {
        if (requester->CheckTableChanged())
            return nullptr;
        units = UnitCount();
        if (n > units)
            RaiseCorrupt();
    }
    uint32_t count = 1;
    if (read_ahead && direction != rdNone && requester != nullptr) {
        // Reading more than the cache holds would only evict what was just read.
        uint32_t wanted = std::min(requester->ReadAheadUnits(*this, direction), capacity_);
        uint32_t available = direction == rdBackward ? n : units - n + 1;
        count = std::max<uint32_t>(1, std::min(wanted, available));
    }
    ReadUnits(n, count, direction, kind);
    TBuffer* b = FindCached(n);
    if (b == nullptr)
        RaiseCorrupt();
    MoveToFront(b);
    return Pin(b);
}

void TBufferedFile::ReadUnits(uint32_t n, uint32_t count, TReadDirection direction, int kind) {
    uint32_t first = direction == rdBackward ? n - count + 1 : n;
    size_t unit_size = UnitSizeOnDisk();
    size_t bytes = size_t(count) * unit_size;
    read_buffer_.resize(bytes);
    read_window_first_ = first;
    read_window_count_ = count;
    struct WindowReset {
        TBufferedFile* file;
        ~WindowReset() {
            file->read_window_first_ = 0;
            file->read_window_count_ = 0;
            if (file->read_buffer_.capacity() > (size_t(1) << 20))
                std::vector<uint8_t>().swap(file->read_buffer_);
        }
    } reset { this };

    bool allow_short = owner_ != nullptr && owner_->AllowShortRead();
    size_t got = ReadAt(UnitOffset(first), read_buffer_.data(), bytes, allow_short);
    ++stats_.read_calls;
    uint32_t units_read = uint32_t(got / unit_size);
    stats_.units_read += units_read;
    if (units_read == 0)
        return;

    // Unit n is handled last, so that it ends up most recently used.
    no_victim_ = false;
    auto place = [&](uint32_t number) {
        const uint8_t* disk = read_buffer_.data() + size_t(number - first) * unit_size;
        if (TBuffer* cached = FindCached(number)) {
            if (!cached->dirty_ && cached->pin_count_ == 0)
                cached->Load(disk);
            MoveToFront(cached);
            return;
        }
        std::unique_ptr<TBuffer> buffer = TakeBuffer(number, kind);
        TBuffer* raw = buffer.get();
        InsertCached(std::move(buffer));
        try {
            raw->Load(disk);
        } catch (...) {
            // A unit that cannot be decoded must not stay cached as if it were valid.
            Unlink(raw);
            RemoveCached(number);
            throw;
        }
    };
    uint32_t last = first + units_read - 1;
    if (direction == rdBackward) {
        for (uint32_t number = first; number <= last; ++number)
            place(number);
    } else {
        for (uint32_t number = last; number >= first && number != 0; --number)
            place(number);
    }
}

void TBufferedFile::ReleaseUnit(TBuffer* buffer) {
    if (buffer == nullptr)
        return;
    if (buffer->pin_count_ > 0)
        --buffer->pin_count_;
    if (buffer->pin_count_ == 0 && !buffer->dirty_)
        no_victim_ = false;
    if (buffer->orphaned_ && buffer->pin_count_ == 0) {
        auto it = std::find_if(orphans_.begin(), orphans_.end(),
            [&](const std::unique_ptr<TBuffer>& orphan) { return orphan.get() == buffer; });
        if (it != orphans_.end())
            orphans_.erase(it);
    }
}

bool TBufferedFile::FlushUnits(bool skip_pinned) {
    std::sort(dirty_numbers_.begin(), dirty_numbers_.end());
    dirty_numbers_.erase(
        std::unique(dirty_numbers_.begin(), dirty_numbers_.end()), dirty_numbers_.end());
    std::vector<TBuffer*> dirty;
    std::vector<uint32_t> left;
    uint32_t window_end = read_window_first_ + read_window_count_;
    for (uint32_t number : dirty_numbers_) {
        TBuffer* buffer = FindCached(number);
        if (buffer == nullptr || !buffer->dirty_)
            continue;
        if (read_window_count_ > 0 && number >= read_window_first_ && number < window_end) {
            left.push_back(number);
            continue;
        }
        if (buffer->pin_count_ > 0) {
            if (!skip_pinned)
                RaiseCorrupt();
            left.push_back(number);
            continue;
        }
        dirty.push_back(buffer);
    }
    dirty_numbers_ = std::move(left);
    if (dirty.empty())
        return false;

    size_t unit_size = UnitSizeOnDisk();
    for (size_t run_start = 0; run_start < dirty.size();) {
        size_t run_end = run_start + 1;
        while (run_end < dirty.size() && dirty[run_end]->number_ == dirty[run_end - 1]->number_ + 1)
            ++run_end;
        size_t count = run_end - run_start;
        write_buffer_.resize(count * unit_size);
        for (size_t i = 0; i < count; ++i)
            dirty[run_start + i]->Save(write_buffer_.data() + i * unit_size);
        try {
            WriteAt(
                UnitOffset(dirty[run_start]->number_), write_buffer_.data(), write_buffer_.size());
        } catch (...) {
            // What did not reach the file stays dirty and back on the list, so a later flush
            // writes it: the failed run (which Save marked clean) and every run after it.
            for (size_t i = run_start; i < dirty.size(); ++i) {
                dirty[i]->dirty_ = true;
                NoteDirty(dirty[i]->number_);
            }
            throw;
        }
        ++stats_.write_calls;
        stats_.units_written += count;
        no_victim_ = false;
        if (owner_ != nullptr)
            owner_->MarkChanged();
        run_start = run_end;
    }
    if (write_buffer_.capacity() > (size_t(1) << 20))
        std::vector<uint8_t>().swap(write_buffer_);
    return true;
}

void TBufferedFile::DiscardAll() {
    for (auto& [number, buffer] : cache_) {
        if (buffer->pin_count_ > 0) {
            buffer->orphaned_ = true;
            buffer->newer_ = buffer->older_ = nullptr;
            orphans_.push_back(std::move(buffer));
        }
    }
    cache_.clear();
    dirty_numbers_.clear();
    newest_ = oldest_ = nullptr;
    no_victim_ = false;
}

void TBufferedFile::Trim() {
    uint32_t target = std::max<uint32_t>(1, CacheSizeInUnits());
    for (TBuffer* b = oldest_; b != nullptr && cache_.size() > target;) {
        TBuffer* newer = b->newer_;
        if (!b->dirty_ && b->pin_count_ == 0) {
            Unlink(b);
            RemoveCached(b->number_);
        }
        b = newer;
    }
    capacity_ = std::max<uint32_t>(uint32_t(cache_.size()), target);
}

void TBufferedFile::TruncateToHeader(bool flush_os) {
    Truncate(FirstUnitOffset());
    if (flush_os)
        Flush();
    if (owner_ != nullptr)
        owner_->MarkChanged();
}

} // namespace zolvek
