// Record, free-list and BLOB checks of a table.
#include "db/cursor/table_verifier.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/storage/index_verifier.h"
#include "db/storage/records.h"
#include "db/storage/table.h"

#include <vector>

namespace zolvek {

namespace {

class TFindings {
public:
    explicit TFindings(size_t limit)
        : limit_(limit) { }
    void Add(const std::string& line) {
        if (lines_.size() < limit_)
            lines_.push_back(line);
        else
            ++dropped_;
    }
    bool Full() const { return lines_.size() >= limit_; }
    std::vector<std::string> Take() {
        if (dropped_ > 0)
            lines_.push_back(std::to_string(dropped_) + " more findings left out");
        return std::move(lines_);
    }

private:
    size_t limit_;
    size_t dropped_ = 0;
    std::vector<std::string> lines_;
};

// Block ownership: 0 free of claims, -1 on the free list, r > 0 in a chain of record r.
void CheckBlobs(
    TDataTable& table, const std::vector<std::vector<uint8_t>>& records, TFindings& findings) {
    TBlobFile& blobs = table.BlobFile();
    uint32_t blocks = blobs.UnitCount();
    // As far as the file holds blocks: a damaged count must not size an allocation.
    uint32_t held = blobs.UnitsHeld();
    if (held < blocks) {
        findings.Add("the BLOB header counts " + std::to_string(blocks) + " blocks, the file holds "
            + std::to_string(held));
        blocks = held;
    }
    size_t capacity = blobs.BlockPayloadCapacity();
    std::vector<int64_t> owner(size_t(blocks) + 1, 0);
    const auto& fields = table.DataFile().Fields();
    for (size_t r = 0; r < records.size(); ++r) {
        const std::vector<uint8_t>& image = records[r];
        if (image.empty() || RecordDeleted(image.data()))
            continue;
        uint32_t record = uint32_t(r + 1);
        for (const FieldDescriptor& field : fields) {
            if (field.DataType != kTypeBlob || FieldIsNull(field, image.data()))
                continue;
            const uint8_t* reference = image.data() + field.FieldOffset + 1;
            int32_t first = LoadI32(reference);
            int32_t serial = LoadI32(reference + 4);
            std::string where = "record " + std::to_string(record) + " field " + field.Name;
            if (first <= 0 || uint32_t(first) > blocks) {
                findings.Add(where + ": BLOB reference to block " + std::to_string(first)
                    + " outside the file");
                continue;
            }
            uint32_t previous = 0;
            uint64_t total = 0;
            uint64_t stored = 0;
            uint32_t chain = 0;
            for (uint32_t n = uint32_t(first); n != 0;) {
                if (n > blocks) {
                    findings.Add(where + ": chain leads to block " + std::to_string(n)
                        + " outside the file");
                    break;
                }
                if (owner[n] != 0) {
                    findings.Add(
                        where + ": block " + std::to_string(n) + " is also used elsewhere");
                    break;
                }
                owner[n] = record;
                TPinned<TBlock> block(blobs.GetBlock(nullptr, n));
                if (block->Serial() != serial)
                    findings.Add(where + ": block " + std::to_string(n) + " has serial "
                        + std::to_string(block->Serial()) + ", the record "
                        + std::to_string(serial));
                if (block->Previous() != previous)
                    findings.Add(where + ": block " + std::to_string(n) + " links back to "
                        + std::to_string(block->Previous()) + ", not " + std::to_string(previous));
                if (chain == 0)
                    total = block->TotalSize();
                else if (block->TotalSize() != 0)
                    findings.Add(where + ": block " + std::to_string(n)
                        + " after the first carries a total size");
                stored += block->Used();
                ++chain;
                previous = n;
                n = block->Next();
            }
            if (stored != total)
                findings.Add(where + ": chain holds " + std::to_string(stored)
                    + " bytes, its first block says " + std::to_string(total));
            else if (total > 0 && chain != (total + capacity - 1) / capacity)
                findings.Add(where + ": " + std::to_string(chain) + " blocks for "
                    + std::to_string(total) + " bytes");
        }
    }
    uint32_t visited = 0;
    for (int32_t n = blobs.Header().FirstFreeBlock; n != 0;) {
        if (n < 0 || uint32_t(n) > blocks) {
            findings.Add(
                "free block list leads to block " + std::to_string(n) + " outside the file");
            break;
        }
        if (owner[size_t(n)] != 0) {
            findings.Add("free block " + std::to_string(n)
                + (owner[size_t(n)] < 0 ? " is on the free list twice" : " is also in a chain"));
            break;
        }
        owner[size_t(n)] = -1;
        if (++visited > blocks)
            break;
        TPinned<TBlock> block(blobs.GetBlock(nullptr, uint32_t(n)));
        n = int32_t(block->Next());
    }
    for (uint32_t n = 1; n <= blocks && !findings.Full(); ++n) {
        if (owner[n] == 0)
            findings.Add("block " + std::to_string(n) + " is neither in a chain nor free");
    }
}

} // namespace

std::vector<std::string> VerifyTable(TDataTable& table, size_t max_findings) {
    TFindings findings(max_findings);
    for (const std::string& line : VerifyTableIndexes(table, nullptr, max_findings))
        findings.Add(line);

    TDataFile& data = table.DataFile();
    uint32_t slots = data.PhysicalCount();
    std::vector<std::vector<uint8_t>> records(slots);
    uint32_t live = 0;
    uint32_t deleted = 0;
    try {
        for (uint32_t n = 1; n <= slots; ++n) {
            TPinned<TRecord> record(data.ReadRecord(nullptr, n, true, rdForward));
            records[n - 1].assign(record->Data(), record->Data() + record->Size());
            if (RecordDeleted(record->Data()))
                ++deleted;
            else
                ++live;
        }
    } catch (const EZOLVEKEngineError& error) {
        findings.Add(std::string("records cannot be read: ") + error.what());
        return findings.Take();
    }
    if (int64_t(live) != data.Header().RecordCount)
        findings.Add("RecordCount is " + std::to_string(data.Header().RecordCount) + " but "
            + std::to_string(live) + " records are live");

    std::vector<bool> on_list(size_t(slots) + 1, false);
    uint32_t listed = 0;
    for (int32_t n = data.Header().FirstFreeRecord; n != 0;) {
        if (n < 0 || uint32_t(n) > slots) {
            findings.Add(
                "free record list leads to record " + std::to_string(n) + " outside the file");
            break;
        }
        if (on_list[size_t(n)]) {
            findings.Add("free record list runs in a circle at record " + std::to_string(n));
            break;
        }
        on_list[size_t(n)] = true;
        const std::vector<uint8_t>& image = records[size_t(n - 1)];
        if (!RecordDeleted(image.data())) {
            findings.Add("live record " + std::to_string(n) + " is on the free record list");
            break;
        }
        ++listed;
        n = int32_t(RecordLink(image.data()));
    }
    if (listed != deleted)
        findings.Add(std::to_string(deleted) + " deleted records but " + std::to_string(listed)
            + " on the free record list");

    if (table.HasBlobFile()) {
        try {
            CheckBlobs(table, records, findings);
        } catch (const EZOLVEKEngineError& error) {
            findings.Add(std::string("BLOB blocks cannot be read: ") + error.what());
        }
    }
    return findings.Take();
}

} // namespace zolvek
