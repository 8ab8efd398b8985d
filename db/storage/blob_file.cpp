// BLOB blocks, chains and compression.
#include "db/storage/blob_file.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/storage/engine.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace zolvek {

namespace {

constexpr size_t kMaxBlobValue = size_t(1) << 31;

// Forwards the change check of the cursor and asks for a fixed read-ahead.
class TBlockRequester : public TUnitRequester {
public:
    TBlockRequester(TUnitRequester* inner, uint32_t blocks)
        : inner_(inner)
        , blocks_(blocks) { }
    bool CheckTableChanged() override { return inner_ != nullptr && inner_->CheckTableChanged(); }
    uint32_t ReadAheadUnits(const TBufferedFile&, int) override { return blocks_; }

private:
    TUnitRequester* inner_;
    uint32_t blocks_;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Compression

std::vector<uint8_t> CompressBlobValue(
    const uint8_t* data, size_t size, int level, std::string_view table) {
    if (size > kMaxBlobValue || level < 1 || level > 9)
        ProcessEngineErrors().RaiseTableError(ZOLVEK_COMPRESS, table);
    uLongf bound = compressBound(uLong(size));
    std::vector<uint8_t> out(bound);
    if (compress2(out.data(), &bound, data, uLong(size), level) != Z_OK)
        ProcessEngineErrors().RaiseTableError(ZOLVEK_COMPRESS, table);
    out.resize(bound);
    return out;
}

std::vector<uint8_t> DecompressBlobValue(const uint8_t* data, size_t size, std::string_view table) {
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        ProcessEngineErrors().RaiseTableError(ZOLVEK_UNCOMPRESS, table);
    std::vector<uint8_t> out(std::max<size_t>(size * 4, 256));
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = uInt(size);
    int result = Z_OK;
    while (true) {
        if (stream.total_out == out.size()) {
            if (out.size() >= kMaxBlobValue)
                break;
            out.resize(std::min(out.size() * 2, kMaxBlobValue));
        }
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = uInt(out.size() - stream.total_out);
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK)
            break;
    }
    size_t produced = stream.total_out;
    bool consumed_all = stream.avail_in == 0;
    inflateEnd(&stream);
    if (result != Z_STREAM_END || !consumed_all)
        ProcessEngineErrors().RaiseTableError(ZOLVEK_UNCOMPRESS, table);
    out.resize(produced);
    return out;
}

// ---------------------------------------------------------------------------------------------
// TBlock

TBlock::TBlock(TBlobFile& owner, size_t payload_size)
    : TBuffer(owner, payload_size) { }

void TBlock::SetPrevious(uint32_t block) {
    previous_ = block;
    MarkDirty();
}

void TBlock::SetNext(uint32_t block) {
    next_ = block;
    MarkDirty();
}

void TBlock::SetSerial(int32_t serial) {
    serial_ = serial;
    MarkDirty();
}

void TBlock::SetTotalSize(uint32_t size) {
    total_size_ = size;
    MarkDirty();
}

void TBlock::Initialise(int kind) {
    TBuffer::Initialise(kind);
    previous_ = next_ = 0;
    used_ = 0;
    serial_ = 0;
    total_size_ = 0;
}

void TBlock::Load(const uint8_t* disk) {
    size_t unit = Size() + kBlobBlockHeaderSize;
    std::vector<uint8_t> image(disk, disk + unit);
    if (TCipherContext* cipher = static_cast<TBlobFile&>(Owner()).Cipher())
        cipher->DecryptBuffer(image.data(), image.size());
    previous_ = LoadU32(image.data());
    next_ = LoadU32(image.data() + 4);
    used_ = LoadU16(image.data() + 8);
    serial_ = LoadI32(image.data() + 10);
    total_size_ = LoadU32(image.data() + 14);
    TBuffer::Load(image.data() + kBlobBlockHeaderSize);
}

void TBlock::Save(uint8_t* disk) {
    StoreU32(disk, previous_);
    StoreU32(disk + 4, next_);
    StoreU16(disk + 8, used_);
    StoreI32(disk + 10, serial_);
    StoreU32(disk + 14, total_size_);
    TBuffer::Save(disk + kBlobBlockHeaderSize);
    if (TCipherContext* cipher = static_cast<TBlobFile&>(Owner()).Cipher())
        cipher->EncryptBuffer(disk, Size() + kBlobBlockHeaderSize);
}

// ---------------------------------------------------------------------------------------------
// TBlobFile

TBlobFile::TBlobFile(TDataEngine& engine, const DataFileHeader& data_header)
    : TBufferedFile(engine.OpenFiles(), engine.Errors())
    , engine_(engine)
    , data_header_(data_header) { }

std::unique_ptr<TBuffer> TBlobFile::CreateUnit() {
    return std::make_unique<TBlock>(*this, PayloadSize());
}

uint16_t TBlobFile::CorruptCode() const {
    return ZOLVEK_MEMOCORRUPT;
}

uint32_t TBlobFile::CacheSizeInUnits() const {
    const TEngineSettings& settings = engine_.Settings();
    uint32_t unit = uint32_t(PayloadSize()) + 56;
    return std::max<uint32_t>(
        1, std::min(settings.MaxTableBlobBufferSize / unit, settings.MaxTableBlobBufferCount));
}

void TBlobFile::CheckRoomForOneMore() {
    uint64_t end_of_last = FirstUnitOffset() + uint64_t(UnitCount()) * UnitSizeOnDisk();
    if (end_of_last > engine_.Limits().max_file_size)
        RaiseError(ZOLVEK_TABLEFULL);
}

void TBlobFile::CountOneMoreUnit() {
    header_.NextBlockNo += 1;
    header_.HeaderModified = true;
}

void TBlobFile::CreateFile() {
    Create();
    header_ = BlobFileHeader::New(engine_.SignatureDigest());
}

void TBlobFile::ReadHeader() {
    uint8_t image[BlobFileHeader::kSize];
    ReadAt(0, image, sizeof image);
    if (cipher_ != nullptr)
        cipher_->DecryptBuffer(image, sizeof image);
    header_.Decode(image);
    header_.HeaderModified = false;
}

bool TBlobFile::WriteHeader(bool force) {
    if (!force && !header_.HeaderModified)
        return false;
    header_.ChangeCount += 1;
    uint8_t image[BlobFileHeader::kSize];
    header_.Encode(image);
    if (cipher_ != nullptr)
        cipher_->EncryptBuffer(image, sizeof image);
    WriteAt(0, image, sizeof image);
    if (owner_ != nullptr)
        owner_->MarkChanged();
    header_.HeaderModified = false;
    return true;
}

void TBlobFile::MarkHeaderChanged() {
    header_.ChangeCount += 1;
    header_.HeaderModified = true;
}

bool TBlobFile::ReReadHeaderReportChange() {
    uint32_t before = header_.ChangeCount;
    ReadHeader();
    return header_.ChangeCount != before;
}

TBlock* TBlobFile::GetBlock(TUnitRequester* requester, uint32_t n, uint32_t read_ahead_blocks) {
    TBlockRequester adapter(requester, std::max<uint32_t>(1, read_ahead_blocks));
    TBuffer* unit = GetUnit(
        &adapter, 0, n, read_ahead_blocks > 1, read_ahead_blocks > 1 ? rdForward : rdNone);
    return static_cast<TBlock*>(unit);
}

TBlock* TBlobFile::ChainBlock(TUnitRequester* requester, uint32_t n, uint32_t read_ahead_blocks) {
    if (!ValidBlockNumber(n))
        RaiseCorrupt();
    TBlock* block = GetBlock(requester, n, read_ahead_blocks);
    if (block == nullptr)
        RaiseCorrupt();
    // A block pinned twice is in use elsewhere, or the chain runs into itself.
    if (block->PinCount() > 1 || block->Used() > PayloadSize()) {
        ReleaseUnit(block);
        RaiseCorrupt();
    }
    return block;
}

TBlock* TBlobFile::TakeBlock(TUnitRequester* requester) {
    uint32_t n = header_.FirstFreeBlock != 0 ? uint32_t(header_.FirstFreeBlock)
                                             : uint32_t(header_.NextBlockNo);
    if (n == 0 || n > UnitCount() + 1)
        RaiseCorrupt();
    TBlock* block = static_cast<TBlock*>(GetUnit(requester, 0, n, false, rdNone));
    if (block == nullptr)
        RaiseCorrupt();
    if (header_.FirstFreeBlock != 0) {
        uint32_t next_free = block->Next();
        if (next_free > UnitCount() || next_free == n || block->PinCount() > 1) {
            ReleaseUnit(block);
            RaiseCorrupt();
        }
        header_.FirstFreeBlock = int32_t(next_free);
        header_.HeaderModified = true;
    }
    block->Initialise(0);
    block->MarkDirty();
    return block;
}

void TBlobFile::FreeBlock(TBlock* block) {
    block->SetNext(header_.FirstFreeBlock != 0 ? uint32_t(header_.FirstFreeBlock) : 0);
    header_.FirstFreeBlock = int32_t(block->Number());
    header_.HeaderModified = true;
}

size_t TBlobFile::ReadPayload(const TBlock* block, size_t count, uint8_t* destination) const {
    if (count > PayloadSize())
        RaiseError(ZOLVEK_INVALIDBLOBLEN);
    size_t n = std::min<size_t>(count, block->Used());
    std::memcpy(destination, block->Data(), n);
    return n;
}

void TBlobFile::WritePayload(TBlock* block, size_t count, const uint8_t* source) {
    if (count > PayloadSize())
        RaiseError(ZOLVEK_INVALIDBLOBLEN);
    block->used_ = uint16_t(count);
    std::memcpy(block->Data(), source, count);
    block->MarkDirty();
}

TBlobFile::TLoadResult TBlobFile::LoadChain(TUnitRequester* requester, uint32_t first_block,
    int32_t serial, std::vector<uint8_t>& value, uint32_t read_ahead_blocks) {
    value.clear();
    if (first_block == 0)
        return TLoadResult::Loaded;
    if (!ValidBlockNumber(first_block))
        RaiseCorrupt();
    TPinned<TBlock> block(GetBlock(requester, first_block, read_ahead_blocks));
    if (!block)
        return TLoadResult::Changed;
    if (block->Serial() != serial)
        return TLoadResult::Changed;
    size_t capacity = PayloadSize();
    uint64_t total = block->TotalSize();
    // A value larger than the file could hold is a damaged header, not an allocation request.
    if (block->Previous() != 0 || block->Used() > capacity
        || total > uint64_t(UnitCount()) * capacity)
        RaiseCorrupt();
    value.resize(size_t(total));
    if (total == 0)
        return TLoadResult::Loaded;
    size_t done = 0;
    uint32_t visited = 1;
    while (true) {
        size_t piece = std::min<size_t>(block->Used(), total - done);
        std::memcpy(value.data() + done, block->Data(), piece);
        done += piece;
        if (done == total)
            break;
        uint32_t next = block->Next();
        if (next == 0)
            RaiseError(ZOLVEK_ENDOFBLOB);
        if (!ValidBlockNumber(next) || ++visited > UnitCount())
            RaiseCorrupt();
        uint32_t remaining_blocks
            = uint32_t(std::min<uint64_t>((total - done + capacity - 1) / capacity, UINT32_MAX));
        uint32_t previous = block->Number();
        block = TPinned<TBlock>(GetBlock(requester, next, remaining_blocks));
        if (!block)
            return TLoadResult::Changed;
        if (block->Serial() != serial)
            return TLoadResult::Changed;
        if (block->Previous() != previous || block->Used() > capacity || block->PinCount() > 1)
            RaiseCorrupt();
    }
    return TLoadResult::Loaded;
}

uint32_t TBlobFile::StoreChain(TUnitRequester* requester, uint32_t first_block,
    const uint8_t* value, size_t size, int32_t serial) {
    if (size == 0 || size > kMaxBlobValue)
        RaiseError(ZOLVEK_INVALIDBLOBLEN);
    size_t capacity = PayloadSize();
    uint32_t blocks_needed = uint32_t((size + capacity - 1) / capacity);
    TPinned<TBlock> current;
    uint32_t old_next = 0;
    if (first_block != 0) {
        current = TPinned<TBlock>(ChainBlock(requester, first_block, blocks_needed));
        old_next = current->Next();
    } else {
        current = TPinned<TBlock>(TakeBlock(requester));
        first_block = current->Number();
    }
    current->SetPrevious(0);
    current->SetTotalSize(uint32_t(size));
    current->SetSerial(serial);
    size_t done = 0;
    uint32_t visited = 1;
    while (true) {
        size_t piece = std::min(capacity, size - done);
        WritePayload(current.get(), piece, value + done);
        done += piece;
        if (done == size)
            break;
        TPinned<TBlock> next;
        if (old_next != 0) {
            if (++visited > UnitCount())
                RaiseCorrupt();
            uint32_t remaining = uint32_t((size - done + capacity - 1) / capacity);
            next = TPinned<TBlock>(ChainBlock(requester, old_next, remaining));
            old_next = next->Next();
        } else {
            next = TPinned<TBlock>(TakeBlock(requester));
        }
        current->SetNext(next->Number());
        next->SetPrevious(current->Number());
        next->SetSerial(serial);
        next->SetTotalSize(0);
        current = std::move(next);
    }
    current->SetNext(0);
    current.Reset();
    if (old_next != 0)
        FreeChain(requester, old_next, serial);
    return first_block;
}

void TBlobFile::FreeChain(TUnitRequester* requester, uint32_t first_block, int32_t serial) {
    if (first_block == 0)
        return;
    TPinned<TBlock> current(ChainBlock(requester, first_block, 1));
    uint32_t visited = 1;
    while (current) {
        uint32_t next = current->Next();
        TPinned<TBlock> following;
        if (next != 0) {
            if (++visited > UnitCount())
                RaiseCorrupt();
            following = TPinned<TBlock>(ChainBlock(requester, next, 8));
            following->SetSerial(serial);
        }
        FreeBlock(current.get());
        current = std::move(following);
    }
}

// ---------------------------------------------------------------------------------------------
// TBlobBuffer

TBlobBuffer::TBlobBuffer(const FieldDescriptor& field, uint32_t first_block, int32_t serial,
    uint32_t record_number, TMode mode, bool temporary)
    : field_(field)
    , first_block_(first_block)
    , serial_(serial)
    , record_number_(record_number)
    , mode_(mode)
    , temporary_(temporary) { }

void TBlobBuffer::Resize(size_t size) {
    if (size != data_.size())
        changed_ = true;
    data_.resize(size);
}

} // namespace zolvek
