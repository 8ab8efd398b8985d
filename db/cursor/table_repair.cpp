// Table repair: whole units, checked records and chains, rebuilt lists, counters and indexes.
#include "db/cursor/table_repair.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/storage/btree.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/index_keys.h"
#include "db/storage/records.h"
#include "db/storage/session.h"
#include "db/storage/table.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace zolvek {

namespace {

SignatureDigests DigestsOf(const TDataEngine& engine) {
    return SignatureDigests { engine.SignatureDigest(), TDataEngine::DefaultSignatureDigest() };
}

// A crash between writing records and writing the header leaves the data file longer (or, cut
// mid-record, not a whole number of records) than its header says, and an open refuses such a
// file. The records that are there in full are kept: the header is made to count them.
void FitDataFileToWholeRecords(
    TDataDirectory& directory, const std::string& table_name, TRepairResult& result) {
    TDataEngine& engine = directory.Engine();
    TDataFile data(engine);
    data.SetName(directory.TableFileName(table_name, engine.Settings().TableDataExtension));
    data.SetDisplayName(table_name);
    data.in_memory = directory.InMemory();
    data.exclusive = true;
    data.Open();
    struct TCloseAtEnd {
        TDataFile& file;
        ~TCloseAtEnd() { file.Close(); }
    } close_at_end { data };
    data.ReadHeader();
    DataFileHeader& header = data.Header();
    CheckDataFileHeader(header, DigestsOf(engine), table_name);
    if (header.Encrypted != 0) {
        TDataPassword* password = directory.Session().FindPasswordByCheck(header.PasswordCheck);
        if (password == nullptr)
            data.RaiseError(ZOLVEK_NOTSUFFTABLERIGHTS);
        data.SetCipher(&password->Key());
    }
    data.ReadDescriptors();
    // The structure (fields, record size, locale) must hold before the file's length is judged
    // by it: a damaged record size would otherwise cut good records off.
    DataFileHeader structure = header;
    structure.NextRecordNo = std::max(header.NextRecordNo, 1);
    structure.FirstFreeRecord = 0;
    uint64_t first = FirstRecordOffset(header.FieldCount);
    VerifyDataFileHeader(
        structure, data.Fields(), first + uint64_t(structure.NextRecordNo - 1) * header.RecordSize,
        [](uint32_t locale) { return IsLocaleAvailable(locale); }, table_name);
    uint64_t size = uint64_t(data.Size());
    if (size < first)
        data.RaiseCorrupt();
    uint64_t records = (size - first) / header.RecordSize;
    if (records >= uint64_t(INT32_MAX))
        data.RaiseCorrupt();
    bool changed = false;
    if ((size - first) % header.RecordSize != 0) {
        data.Truncate(first + records * header.RecordSize);
        result.rebuilt.push_back("a record cut short at the end of the data file was removed");
        changed = true;
    }
    if (uint64_t(header.NextRecordNo) != records + 1) {
        result.rebuilt.push_back("the data file holds " + std::to_string(records)
            + " record slots, its header said " + std::to_string(header.NextRecordNo - 1));
        header.NextRecordNo = int32_t(records + 1);
        changed = true;
    }
    if (header.FirstFreeRecord < 0 || uint64_t(header.FirstFreeRecord) > records) {
        header.FirstFreeRecord = 0;
        changed = true;
    }
    if (changed)
        data.WriteHeader(true);
}

// The same for the BLOB file: blocks written in full are there, whatever its header says.
void FitBlobFileToWholeBlocks(TBlobFile& blobs, TRepairResult& result) {
    uint64_t block_size = blobs.UnitSizeOnDisk();
    uint64_t size = uint64_t(blobs.Size());
    if (block_size == 0 || size < kFileHeaderSize)
        blobs.RaiseCorrupt();
    uint64_t blocks = (size - kFileHeaderSize) / block_size;
    if (blocks >= uint64_t(INT32_MAX))
        blobs.RaiseCorrupt();
    if ((size - kFileHeaderSize) % block_size != 0) {
        blobs.Truncate(kFileHeaderSize + blocks * block_size);
        result.rebuilt.push_back("a block cut short at the end of the BLOB file was removed");
    }
    BlobFileHeader& header = blobs.Header();
    if (uint64_t(header.NextBlockNo) != blocks + 1) {
        result.rebuilt.push_back("the BLOB file holds " + std::to_string(blocks)
            + " blocks, its header said " + std::to_string(header.NextBlockNo - 1));
        header.NextBlockNo = int32_t(blocks + 1);
    }
    header.FirstFreeBlock = 0; // made again from the blocks no chain uses
    header.HeaderModified = true;
}

// The readable fields of an image, for the lines naming a record that could not be kept.
std::string RecordText(const std::vector<FieldDescriptor>& fields, const uint8_t* image) {
    std::string text;
    for (const FieldDescriptor& field : fields) {
        if (field.DataType != kTypeString || FieldIsNull(field, image))
            continue;
        text += (text.empty() ? " (" : ", ") + field.Name + "=";
        text += StringFieldValue(field, image);
    }
    return text.empty() ? text : text + ")";
}

// Walks the BLOB chains of the records and remembers which record each block belongs to; the
// first record to claim a block keeps it.
class TChainChecker {
public:
    TChainChecker(TBlobFile& blobs, const std::string& table_name)
        : blobs_(blobs)
        , table_name_(table_name)
        , owner_(size_t(blobs.UnitCount()) + 1, 0) { }

    // Checks every BLOB field of the record's image and claims the blocks of the chains that
    // check out. A field whose chain does not is set to null in the image (the record keeps its
    // other values); the reasons are returned, one per such field.
    std::vector<std::string> CheckRecord(
        const std::vector<FieldDescriptor>& fields, uint8_t* image, uint32_t record) {
        std::vector<std::string> reasons;
        for (const FieldDescriptor& field : fields) {
            if (field.DataType != kTypeBlob || FieldIsNull(field, image))
                continue;
            std::vector<uint32_t> claimed;
            std::string reason = CheckChain(field, image, record, claimed);
            if (reason.empty())
                continue;
            for (uint32_t n : claimed)
                owner_[n] = 0;
            image[field.FieldOffset] = 0; // the null flag
            std::memset(image + field.FieldOffset + 1, 0, field.PhysicalSize);
            reasons.push_back("field " + field.Name + ": " + reason);
        }
        return reasons;
    }

    bool Owned(uint32_t block) const { return owner_[block] != 0; }
    int32_t HighestSerial() const { return highest_serial_; }

private:
    std::string CheckChain(const FieldDescriptor& field, const uint8_t* image, uint32_t record,
        std::vector<uint32_t>& claimed) {
        const uint8_t* reference = image + field.FieldOffset + 1;
        uint32_t first = LoadU32(reference);
        int32_t serial = LoadI32(reference + 4);
        // A value that is there (the field is not null) has a chain.
        if (first == 0)
            return "it has no chain";
        uint32_t blocks = blobs_.UnitCount();
        size_t capacity = blobs_.BlockPayloadCapacity();
        uint32_t previous = 0;
        uint64_t total = 0;
        uint64_t stored = 0;
        uint64_t chain = 0;
        std::vector<uint32_t> stray_totals; // blocks after the first that carry a total size
        try {
            for (uint32_t n = first; n != 0;) {
                if (n > blocks)
                    return "its chain leads to block " + std::to_string(n) + " past the file";
                if (owner_[n] == record)
                    return "its chain runs in a circle at block " + std::to_string(n);
                if (owner_[n] != 0)
                    return "block " + std::to_string(n) + " also belongs to record "
                        + std::to_string(owner_[n]);
                TPinned<TBlock> block(blobs_.GetBlock(nullptr, n));
                if (block->Serial() != serial)
                    return "block " + std::to_string(n) + " belongs to another value";
                if (block->Previous() != previous || block->Used() > capacity)
                    return "block " + std::to_string(n) + " is not linked as its chain says";
                if (chain == 0)
                    total = block->TotalSize();
                else if (block->TotalSize() != 0)
                    stray_totals.push_back(n);
                stored += block->Used();
                owner_[n] = record;
                claimed.push_back(n);
                ++chain;
                previous = n;
                n = block->Next();
            }
            if (stored != total || (total > 0 && chain != (total + capacity - 1) / capacity))
                return "its chain holds " + std::to_string(stored) + " bytes in "
                    + std::to_string(chain) + " blocks for a value of " + std::to_string(total);
            if (field.Compression >= 1 && field.Compression <= 9 && total > 0) {
                std::vector<uint8_t> value;
                blobs_.LoadChain(nullptr, first, serial, value);
                DecompressBlobValue(value.data(), value.size(), table_name_);
            }
            // Only the first block of a chain records the value's size; the value itself is
            // whole, so the stray sizes are cleared rather than the value dropped.
            for (uint32_t n : stray_totals) {
                TPinned<TBlock> block(blobs_.GetBlock(nullptr, n));
                block->SetTotalSize(0);
                block->MarkDirty();
            }
        } catch (const EZOLVEKEngineError& error) {
            return error.what();
        }
        highest_serial_ = std::max(highest_serial_, serial);
        return {};
    }

    TBlobFile& blobs_;
    const std::string& table_name_;
    std::vector<uint32_t> owner_;
    int32_t highest_serial_ = 0;
};

// Gives the table back to its directory on every path.
class TRepairHold {
public:
    TRepairHold(TDataDirectory& directory, const std::string& table_name)
        : directory_(directory)
        , table_(directory.AcquireTable(table_name, true, false)) { }
    ~TRepairHold() {
        try {
            directory_.ReleaseTable(table_);
        } catch (...) {
            NoteSwallowedFailure();
        }
    }
    TRepairHold(const TRepairHold&) = delete;
    TRepairHold& operator=(const TRepairHold&) = delete;
    TDataTable& operator*() const { return *table_; }

private:
    TDataDirectory& directory_;
    TDataTable* table_;
};

} // namespace

TRepairResult RepairTable(TDataDirectory& directory, const std::string& table_name) {
    TRepairResult result;
    FitDataFileToWholeRecords(directory, table_name, result);
    TRepairHold hold(directory, table_name);
    TDataTable& table = *hold;
    if (table.ReadOnly())
        table.RaiseError(ZOLVEK_OSEACCES);
    TDataFile& data = table.DataFile();
    TIndexFile& index = table.IndexFile();
    TBlobFile& blobs = table.BlobFile();
    const std::vector<FieldDescriptor>& fields = data.Fields();
    size_t record_size = data.Header().RecordSize;
    if (table.HasBlobFile())
        FitBlobFileToWholeBlocks(blobs, result);

    // Every index starts again from no pages; a recreated index file also gets its primary
    // index back (its secondary definitions went with the lost file).
    if (table.IndexFileRecreated()) {
        index.Index().ResetPrimary();
        index.Index().SetTextIndex({}, index.Context(fields, table_name));
        index.MarkDescriptorsChanged();
        table.ClearIndexFileRecreated();
        result.rebuilt.push_back(
            "the index file was missing: made again with the primary index only");
    }
    index.DiscardAll();
    index.TruncateToHeader(false);
    index.ResetHeader();
    uint8_t secondary = index.Header().SecondaryIndexCount;
    std::vector<std::unique_ptr<TIndexKeyInfo>> keys;
    std::vector<std::unique_ptr<TIndexTree>> trees;
    for (uint8_t slot = 0; slot <= secondary; ++slot) {
        keys.push_back(std::make_unique<TIndexKeyInfo>(
            slot, index.Slots()[slot], fields, data.Header().LocaleID, table_name));
        trees.push_back(std::make_unique<TIndexTree>(index, *keys.back(), nullptr));
    }

    std::optional<TChainChecker> chains;
    if (table.HasBlobFile())
        chains.emplace(blobs, table_name);
    const FieldDescriptor* autoinc = nullptr;
    for (const FieldDescriptor& field : fields) {
        if (field.DataType == kTypeInteger && field.SubType == kSubTypeAutoInc)
            autoinc = &field;
    }

    uint32_t slots = data.PhysicalCount();
    std::vector<uint32_t> free_slots;
    int32_t highest_id = 0;
    int32_t highest_autoinc = 0;
    std::vector<uint8_t> image(record_size);
    std::vector<std::vector<uint8_t>> built(keys.size(), std::vector<uint8_t>(kMaxKeyLength));
    const TDigest no_hash {};
    for (uint32_t n = 1; n <= slots; ++n) {
        {
            TPinned<TRecord> record(data.ReadRecord(nullptr, n, true, rdForward));
            std::memcpy(image.data(), record->Data(), record_size);
        }
        if (RecordDeleted(image.data())) {
            free_slots.push_back(n);
            continue;
        }
        std::string reason;
        TDigest stored;
        std::memcpy(stored.data(), RecordHashOf(image.data()), stored.size());
        if (stored != no_hash && stored != ComputeRecordHash(fields, image.data(), record_size))
            reason = "its values do not match its RecordHash";
        // A key already in an index: a unique key taken by an earlier record, or (non-unique
        // keys end in the RecordID) a RecordID that two records carry.
        for (size_t k = 0; k < keys.size() && reason.empty(); ++k) {
            keys[k]->BuildKey(image.data(), built[k].data());
            if (trees[k]->KeyExists(built[k].data()))
                reason = keys[k]->Unique() ? "its key is taken in the index " + keys[k]->IndexName()
                                           : "its RecordID "
                        + std::to_string(RecordIDOf(image.data())) + " is another record's too";
        }
        if (reason.empty() && chains) {
            // A value whose chain is broken is lost, not the record: the key word and the other
            // values stay, and the report names what went.
            std::vector<std::string> lost = chains->CheckRecord(fields, image.data(), n);
            if (!lost.empty()) {
                for (const std::string& what : lost)
                    result.not_kept.push_back("record " + std::to_string(n) + ": " + what
                        + "; the record is kept without it" + RecordText(fields, image.data()));
                TPinned<TRecord> record(data.ReadRecord(nullptr, n, false, rdNone));
                std::memcpy(record->Data(), image.data(), record_size);
                record->MarkDirty();
            }
        }
        if (!reason.empty()) {
            result.not_kept.push_back(
                "record " + std::to_string(n) + ": " + reason + RecordText(fields, image.data()));
            free_slots.push_back(n);
            continue;
        }
        for (size_t k = 0; k < keys.size(); ++k)
            trees[k]->InsertKey(built[k].data(), n);
        ++result.records_kept;
        highest_id = std::max(highest_id, RecordIDOf(image.data()));
        if (autoinc != nullptr && !FieldIsNull(*autoinc, image.data()))
            highest_autoinc
                = std::max(highest_autoinc, LoadI32(FieldValuePointer(*autoinc, image.data())));
    }
    result.rebuilt.push_back("every index was built again from the records");

    // Free slots, lowest first; the slots of records not kept join them.
    for (size_t i = 0; i < free_slots.size(); ++i) {
        TPinned<TRecord> record(data.ReadRecord(nullptr, free_slots[i], false, rdNone));
        uint8_t* slot = record->Data();
        slot[0] = kRecordStatusDeleted;
        SetRecordLink(slot, i + 1 < free_slots.size() ? free_slots[i + 1] : 0);
        record->MarkDirty();
    }
    DataFileHeader& header = data.Header();
    if (header.RecordCount != int32_t(result.records_kept))
        result.rebuilt.push_back("the record count was " + std::to_string(header.RecordCount) + ", "
            + std::to_string(result.records_kept) + " records are kept");
    data.SetRecordCount(int32_t(result.records_kept));
    data.SetFirstFreeRecord(free_slots.empty() ? 0 : int32_t(free_slots.front()));
    // Counters only move forward: identifiers already handed out are never handed out again.
    if (highest_id > header.LastRecordID)
        data.SetLastRecordID(highest_id);
    if (highest_autoinc > header.LastAutoIncValue)
        data.SetLastAutoIncValue(highest_autoinc);
    if (chains && chains->HighestSerial() > header.LastBlobSerial) {
        header.LastBlobSerial = chains->HighestSerial();
        header.HeaderModified = true;
    }

    if (chains) {
        // Blocks no kept chain uses are free, lowest first.
        uint32_t next_free = 0;
        for (uint32_t n = blobs.UnitCount(); n >= 1; --n) {
            if (chains->Owned(n))
                continue;
            TPinned<TBlock> block(blobs.GetBlock(nullptr, n));
            block->SetNext(next_free);
            block->MarkDirty();
            next_free = n;
        }
        blobs.Header().FirstFreeBlock = int32_t(next_free);
        blobs.Header().HeaderModified = true;
    }
    table.FlushTable(true, true, true, table.HasBlobFile(), true);
    return result;
}

} // namespace zolvek
