// Index descriptor slots and the KeyLength rule.
#include "db/storage/index_slots.h"

#include "db/base/errors.h"

#include <algorithm>
#include <cassert>
#include <string>

namespace zolvek {
namespace {

std::string FieldNumberText(uint16_t field_no) {
    return std::to_string(field_no);
}

bool IsTextIndexField(const FieldDescriptor& field) {
    return field.DataType == kTypeString
        || (field.DataType == kTypeBlob && field.SubType == kSubTypeMemo);
}

void RaiseFieldInIndex(
    EngineCode code, std::string_view field, std::string_view index, std::string_view table_name) {
    ProcessEngineErrors().RaiseError(code, {}, {}, {}, table_name, field, index, {}, {}, {}, 0, 0);
}

} // namespace

void SetKeyLength(IndexDescriptor& descriptor, const IndexContext& context) {
    if (descriptor.FieldCount > kMaxIndexFields) {
        ProcessEngineErrors().RaiseIndexError(
            ZOLVEK_INDEXLIMIT, descriptor.Name, context.TableName);
    }
    if (descriptor.Compression > icFull) {
        RaiseFieldInIndex(ZOLVEK_INVALIDIDXDESC, {}, descriptor.Name, context.TableName);
    }
    uint32_t sum = 0;
    for (size_t k = 0; k < descriptor.FieldCount; ++k) {
        uint16_t field_no = descriptor.FieldList[k];
        const FieldDescriptor* field
            = field_no == 0 ? nullptr : FindField(context.Fields, field_no);
        if (field == nullptr) {
            RaiseFieldInIndex(ZOLVEK_INVALIDIDXDESC, FieldNumberText(field_no), descriptor.Name,
                context.TableName);
        }
        if (field->DataType == kTypeBlob) {
            RaiseFieldInIndex(
                ZOLVEK_SEARCHCOLREQD, field->Name, descriptor.Name, context.TableName);
        }
        sum += KeySize(*field) + 1u;
    }
    uint32_t whole_key = sum + (descriptor.Unique ? 0u : kNonUniqueKeySuffix);
    if (sum == 0 || whole_key > kMaxKeyLength
        || int64_t(sum) > (int64_t(context.IndexPageSize) - kIndexPageHeaderSize) / 3) {
        ProcessEngineErrors().RaiseIndexError(
            ZOLVEK_INVALIDKEY, descriptor.Name, context.TableName);
    }
    for (size_t k = descriptor.FieldCount; k < kMaxIndexFields; ++k) {
        descriptor.FieldList[k] = 0;
        descriptor.DescFields[k] = 0;
    }
    descriptor.KeyLength = uint16_t(whole_key);
}

std::string PrepareSecondaryName(std::string_view name, std::string_view table_name) {
    std::string_view trimmed = TrimName(name);
    std::string result(trimmed.substr(0, kMaxNameLength));
    if (result.empty()) {
        ProcessEngineErrors().RaiseTableError(ZOLVEK_INDEXNAMEREQUIRED, table_name);
    }
    if (!IsValidNameStart(result)) {
        ProcessEngineErrors().RaiseIndexError(ZOLVEK_INVALIDINDEXNAME, result, table_name);
    }
    return result;
}

void IndexSlots::DecodeArea(const uint8_t* area) {
    DecodeIndexDescriptorArea(area, Header.SecondaryIndexCount, Slots);
    AreaChanged = false;
}

void IndexSlots::EncodeArea(uint8_t* area) const {
    EncodeIndexDescriptorArea(Slots, area);
}

void IndexSlots::SetSecondaryIndexCount(uint8_t count) {
    assert(count <= kMaxSecondaryIndexes);
    if (count != Header.SecondaryIndexCount) {
        Header.SecondaryIndexCount = count;
        Header.HeaderModified = true;
    }
}

void IndexSlots::SetRootPage(size_t slot, int32_t page) {
    assert(slot < kIndexSlotCount);
    if (Header.RootPage[slot] != page) {
        Header.RootPage[slot] = page;
        Header.HeaderModified = true;
    }
}

void IndexSlots::SetTextRootPage(size_t slot, int32_t page) {
    assert(slot < kIndexSlotCount);
    if (Header.TextRootPage[slot] != page) {
        Header.TextRootPage[slot] = page;
        Header.HeaderModified = true;
    }
}

bool IndexSlots::HasPrimaryKey() const {
    const IndexDescriptor& primary = Slots[kPrimaryIndexSlot];
    return primary.FieldCount != 0 && !primary.IsDefaultPrimary();
}

int IndexSlots::FindSecondary(std::string_view name) const {
    for (size_t s = 1; s <= Header.SecondaryIndexCount && s <= kMaxSecondaryIndexes; ++s) {
        if (SameName(Slots[s].Name, name)) {
            return int(s);
        }
    }
    return -1;
}

void IndexSlots::AddPrimary(IndexDescriptor descriptor, const IndexContext& context) {
    if (HasPrimaryKey()) {
        ProcessEngineErrors().RaiseTableError(ZOLVEK_PRIMARYKEYREDEFINE, context.TableName);
    }
    if (descriptor.FieldCount == 0) {
        descriptor = IndexDescriptor::DefaultPrimary();
    }
    descriptor.Name.clear();
    descriptor.Unique = true;
    descriptor.NameOverlong = false;
    SetKeyLength(descriptor, context);
    Slots[kPrimaryIndexSlot] = std::move(descriptor);
    MarkChanged();
}

size_t IndexSlots::AddSecondary(IndexDescriptor descriptor, const IndexContext& context) {
    if (Header.SecondaryIndexCount >= kMaxSecondaryIndexes
        || descriptor.FieldCount > kMaxIndexFields) {
        ProcessEngineErrors().RaiseIndexError(
            ZOLVEK_INDEXLIMIT, TrimName(descriptor.Name), context.TableName);
    }
    descriptor.Name = PrepareSecondaryName(descriptor.Name, context.TableName);
    descriptor.NameOverlong = false;
    if (FindSecondary(descriptor.Name) >= 0) {
        ProcessEngineErrors().RaiseIndexError(
            ZOLVEK_INDEXEXISTS, descriptor.Name, context.TableName);
    }
    SetKeyLength(descriptor, context);
    size_t slot = size_t(Header.SecondaryIndexCount) + 1;
    Slots[slot] = std::move(descriptor);
    Header.SecondaryIndexCount = uint8_t(slot);
    Header.RootPage[slot] = 0;
    Header.TextRootPage[slot] = 0;
    MarkChanged();
    return slot;
}

void IndexSlots::SetTextIndex(
    std::span<const uint16_t> field_numbers, const IndexContext& context) {
    if (field_numbers.size() > kMaxIndexFields) {
        ProcessEngineErrors().RaiseIndexError(ZOLVEK_INDEXLIMIT, kTextIndexName, context.TableName);
    }
    IndexDescriptor text;
    text.Name = kTextIndexName;
    text.KeyLength = kTextIndexKeyLength;
    text.Compression = icFull;
    text.NoKeyStatistics = true;
    text.FieldCount = uint8_t(field_numbers.size());
    for (size_t k = 0; k < field_numbers.size(); ++k) {
        uint16_t field_no = field_numbers[k];
        const FieldDescriptor* field
            = field_no == 0 ? nullptr : FindField(context.Fields, field_no);
        if (field == nullptr) {
            RaiseFieldInIndex(ZOLVEK_INVALIDIDXDESC, FieldNumberText(field_no), kTextIndexName,
                context.TableName);
        }
        if (field_no == kRecordIDFieldNo || field_no == kRecordHashFieldNo
            || !IsTextIndexField(*field)) {
            RaiseFieldInIndex(ZOLVEK_SEARCHCOLREQD, field->Name, kTextIndexName, context.TableName);
        }
        text.FieldList[k] = field_no;
    }
    Slots[kTextIndexSlot] = std::move(text);
    MarkChanged();
}

void IndexSlots::Replace(size_t slot, std::string_view name, std::span<const uint16_t> field_list,
    std::span<const uint8_t> desc_fields, const IndexContext& context) {
    assert(slot <= Header.SecondaryIndexCount || slot == kTextIndexSlot);
    assert(desc_fields.empty() || desc_fields.size() == field_list.size());
    if (slot == kTextIndexSlot) {
        SetTextIndex(field_list, context);
        return;
    }
    IndexDescriptor descriptor = Slots[slot];
    if (field_list.size() > kMaxIndexFields) {
        ProcessEngineErrors().RaiseIndexError(
            ZOLVEK_INDEXLIMIT, descriptor.Name, context.TableName);
    }
    if (slot != kPrimaryIndexSlot) {
        descriptor.Name = PrepareSecondaryName(name, context.TableName);
        int other = FindSecondary(descriptor.Name);
        if (other >= 0 && size_t(other) != slot) {
            ProcessEngineErrors().RaiseIndexError(
                ZOLVEK_INDEXEXISTS, descriptor.Name, context.TableName);
        }
    }
    descriptor.FieldCount = uint8_t(field_list.size());
    descriptor.FieldList.fill(0);
    descriptor.DescFields.fill(0);
    std::copy(field_list.begin(), field_list.end(), descriptor.FieldList.begin());
    std::copy(desc_fields.begin(), desc_fields.end(), descriptor.DescFields.begin());
    if (slot == kPrimaryIndexSlot) {
        if (descriptor.FieldCount == 0) {
            descriptor = IndexDescriptor::DefaultPrimary();
        }
        descriptor.Name.clear();
        descriptor.Unique = true;
    }
    descriptor.NameOverlong = false;
    SetKeyLength(descriptor, context);
    Slots[slot] = std::move(descriptor);
    MarkChanged();
}

void IndexSlots::Delete(size_t slot) {
    size_t count = Header.SecondaryIndexCount;
    assert(slot >= 1 && slot <= count && count <= kMaxSecondaryIndexes);
    for (size_t s = slot; s < kMaxSecondaryIndexes; ++s) {
        Slots[s] = std::move(Slots[s + 1]);
        Header.RootPage[s] = Header.RootPage[s + 1];
        Header.TextRootPage[s] = Header.TextRootPage[s + 1];
    }
    Slots[kMaxSecondaryIndexes] = IndexDescriptor {};
    Header.RootPage[kMaxSecondaryIndexes] = 0;
    Header.TextRootPage[kMaxSecondaryIndexes] = 0;
    Header.SecondaryIndexCount = uint8_t(count - 1);
    MarkChanged();
}

void IndexSlots::ResetPrimary() {
    Slots[kPrimaryIndexSlot] = IndexDescriptor::DefaultPrimary();
    MarkChanged();
}

void IndexSlots::MarkChanged() {
    Header.HeaderModified = true;
    AreaChanged = true;
}

} // namespace zolvek
