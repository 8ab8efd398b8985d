// A real table with its indexes kept by hand, for the tests of keys, pages and trees: records
// go into the data file and their keys into every index, as a cursor's insert and delete do.
#pragma once

#include "db/base/bytes.h"
#include "db/storage/btree.h"
#include "db/storage/index_keys.h"
#include "db/storage/index_verifier.h"
#include "db/storage/records.h"
#include "support/engine_fixture.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zolvek::testing {

class IndexedTable {
public:
    IndexedTable(TDataDirectory& directory, const std::string& name,
        const TableDefinition& definition, TUnitRequester* requester = nullptr)
        : directory_(directory)
        , table_(directory.CreateTable(name, definition))
        , requester_(requester) {
        Reload();
    }
    ~IndexedTable() {
        trees_.clear();
        directory_.ReleaseTable(table_);
    }
    IndexedTable(const IndexedTable&) = delete;
    IndexedTable& operator=(const IndexedTable&) = delete;

    TDataTable& Table() { return *table_; }
    TIndexFile& IndexFile() { return table_->IndexFile(); }
    TDataFile& DataFile() { return table_->DataFile(); }
    size_t IndexCount() const { return trees_.size(); }
    TIndexTree& Tree(size_t slot) { return *trees_.at(slot); }
    const TIndexKeyInfo& Keys(size_t slot) const { return *keys_.at(slot); }

    // Rebuilds the key infos and trees from the descriptors (after the caches were dropped).
    void Reload() {
        trees_.clear();
        keys_.clear();
        uint8_t count = IndexFile().Index().SecondaryIndexCount();
        for (uint8_t slot = 0; slot <= count; ++slot) {
            keys_.push_back(std::make_unique<TIndexKeyInfo>(slot, IndexFile().Slots()[slot],
                DataFile().Fields(), table_->LocaleID(), table_->TableName()));
            trees_.push_back(std::make_unique<TIndexTree>(IndexFile(), *keys_.back(), requester_));
        }
    }

    const FieldDescriptor& Field(const std::string& name) const {
        const FieldDescriptor* field = FindField(table_->DataFile().Fields(), name);
        if (field == nullptr)
            throw std::runtime_error("no field " + name);
        return *field;
    }

    std::vector<uint8_t> NewImage() const {
        return std::vector<uint8_t>(table_->DataFile().Header().RecordSize, 0);
    }
    void SetString(std::vector<uint8_t>& image, const std::string& field, std::string_view text) {
        WriteStringField(Field(field), image.data(), text, table_->LocaleID());
    }
    void SetInteger(std::vector<uint8_t>& image, const std::string& field, int32_t value) {
        uint8_t bytes[4];
        StoreI32(bytes, value);
        WriteFieldValue(Field(field), image.data(), bytes, 4, table_->LocaleID());
    }
    void SetNull(std::vector<uint8_t>& image, const std::string& field) {
        WriteFieldValue(Field(field), image.data(), nullptr, 0, table_->LocaleID());
    }

    // Stores the image as a new record and inserts its keys into every index; unique keys are
    // checked first, so a violation (9729) leaves the table as it was. Returns the record number.
    uint32_t Insert(const std::vector<uint8_t>& image) {
        std::vector<uint8_t> key(kMaxKeyLength);
        for (size_t slot = 0; slot < trees_.size(); ++slot) {
            if (!keys_[slot]->Unique())
                continue;
            keys_[slot]->BuildKey(image.data(), key.data());
            if (trees_[slot]->KeyExists(key.data()))
                ProcessEngineErrors().RaiseIndexError(
                    ZOLVEK_KEYVIOL, keys_[slot]->IndexName(), table_->TableName());
        }
        TPinned<TRecord> record(DataFile().TakeSlot(requester_));
        uint8_t* data = record->Data();
        std::memcpy(data + kRecordHeaderSize, image.data() + kRecordHeaderSize,
            image.size() - kRecordHeaderSize);
        data[0] = kRecordStatusLive;
        SetRecordID(data, DataFile().TakeNextRecordID());
        record->MarkDirty();
        DataFile().IncrementRecordCount();
        uint32_t number = record->Number();
        for (size_t slot = 0; slot < trees_.size(); ++slot) {
            keys_[slot]->BuildKey(data, key.data());
            trees_[slot]->InsertKey(key.data(), number);
        }
        return number;
    }

    void Delete(uint32_t number) {
        std::vector<uint8_t> key(kMaxKeyLength);
        TPinned<TRecord> record(DataFile().ReadRecord(requester_, number));
        for (size_t slot = 0; slot < trees_.size(); ++slot) {
            keys_[slot]->BuildKey(record->Data(), key.data());
            trees_[slot]->DeleteKey(key.data());
        }
        DataFile().FreeSlot(record.get());
        DataFile().DecrementRecordCount();
    }

    std::vector<uint8_t> Key(size_t slot, uint32_t number) {
        std::vector<uint8_t> key(Keys(slot).KeyLength());
        TPinned<TRecord> record(DataFile().ReadRecord(requester_, number));
        Keys(slot).BuildKey(record->Data(), key.data());
        return key;
    }

    void Flush() { table_->FlushTable(false, false, false, false, false); }
    std::vector<std::string> Verify() { return VerifyTableIndexes(*table_, requester_); }

    // Pages on the free list, following the chain (at most every page once).
    uint32_t FreePageCount() {
        uint32_t count = 0;
        int32_t page_no = IndexFile().Header().FirstFreePage;
        while (page_no > 0 && count <= IndexFile().UnitCount()) {
            TPinned<TPage> page(
                IndexFile().GetUnit(nullptr, kNoIndexSlot, uint32_t(page_no), false, rdNone));
            ++count;
            page_no = int32_t(page->NextPage());
        }
        return count;
    }

private:
    TDataDirectory& directory_;
    TDataTable* table_;
    TUnitRequester* requester_;
    std::vector<std::unique_ptr<TIndexKeyInfo>> keys_;
    std::vector<std::unique_ptr<TIndexTree>> trees_;
};

inline std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace zolvek::testing
