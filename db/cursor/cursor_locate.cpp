// Finding records by value: through an index that leads with the searched fields (one descent),
// or through a temporary filter of "=" comparisons that the filter machinery answers with index
// ranges where it can and record scans for the rest.
#include "db/cursor/cursor.h"

#include "db/base/errors.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"

#include <cstring>

namespace zolvek {

using namespace engine_types;

namespace {

constexpr size_t kMaxLocateFields = 128;

// A boolean operator node of a locate's tree, for the cursor `owner`.
TExpTokenPtr BooleanNode(uint8_t kind, uint8_t op, std::string text, const void* owner) {
    auto node = std::make_unique<TExpToken>();
    node->Kind = kind;
    node->Op = op;
    node->Text = std::move(text);
    node->Owner = owner;
    node->DataType = ftBoolean;
    node->ValueSize = 2;
    return node;
}

} // namespace

int TDataCursor::FindIndexForFields(std::span<const int32_t> fields, bool case_insensitive) const {
    if (fields.empty())
        return -1;
    bool any_string = false;
    for (int32_t field_no : fields) {
        const FieldDescriptor* field = FilterField(field_no);
        if (field == nullptr)
            return -1;
        any_string = any_string || field->DataType == kTypeString;
    }
    uint8_t count = std::min<uint8_t>(IndexCount(), kMaxSecondaryIndexes);
    for (uint8_t slot = 0; slot <= count; ++slot) {
        const IndexDescriptor& index = FilterIndexDescriptor(slot);
        if (index.FieldCount < fields.size())
            continue;
        bool leads = true;
        for (size_t i = 0; i < fields.size() && leads; ++i)
            leads = index.FieldList[i] == uint16_t(fields[i]);
        if (!leads || (any_string && index.CaseInsensitive != case_insensitive))
            continue;
        return slot;
    }
    return -1;
}

bool TDataCursor::LocateRecord(std::span<const int32_t> fields, const uint8_t* values,
    bool case_insensitive, size_t partial_length, uint8_t* result) {
    if (values == nullptr || fields.empty() || fields.size() > kMaxLocateFields)
        return false;
    return Stable([&] {
        // Where the cursor stands: a search that finds nothing comes back here.
        std::vector<uint8_t> bookmark(BookmarkSize());
        GetBookmark(bookmark.data());
        const bool was_bof = bof_;
        const bool was_eof = eof_;
        const uint8_t saved_slot = active_slot_;
        auto go_back = [&] {
            SetActiveIndex(saved_slot);
            bof_ = was_bof;
            eof_ = was_eof;
            GotoBookmark(bookmark.data(), true, true);
        };
        bool found = false;
        try {
            int slot = FindIndexForFields(fields, case_insensitive);
            if (slot >= 0 && (!range_active_ || slot == active_slot_))
                found = LocateByIndex(uint8_t(slot), fields, values, partial_length);
            else
                found = LocateByFilter(fields, values, case_insensitive, partial_length);
        } catch (...) {
            try {
                go_back();
            } catch (const EDatabaseError&) {
                // The search's own error is the one that goes on.
            }
            throw;
        }
        if (!found) {
            go_back();
            return false;
        }
        std::memcpy(result, current_.data(), current_.size());
        return true;
    });
}

bool TDataCursor::LocateByIndex(
    uint8_t slot, std::span<const int32_t> fields, const uint8_t* values, size_t partial_length) {
    const uint8_t saved_slot = active_slot_;
    SetActiveIndex(slot);
    const TIndexKeyInfo& keys = *keys_;
    std::vector<uint8_t> key(keys.KeyLength(), 0);
    keys.BuildKey(values, key.data());
    // The significant part of the key: the fields searched in full, then the presence byte and
    // the given characters of a partially searched one.
    size_t full = partial_length > 0 ? fields.size() - 1 : fields.size();
    size_t significant = 0;
    bool found = false;
    if ((full > 0 && full < keys.FieldCount()) || !keys.Unique() || partial_length > 0) {
        significant = keys.KeyFieldsLength(full) + (partial_length > 0 ? partial_length + 1 : 0);
        if (significant == 0)
            significant = keys.KeyFieldsLength(keys.FieldCount());
        significant = std::min<size_t>(significant, keys.KeyLength());
        keys.FillKeyLow(key.data(), significant);
        SeekKey(key.data(), true, false);
        found = !(bof_ && eof_) && position_.Valid() && position_.Entry <= leaf_->EntryCount()
            && keys.CompareKeys(leaf_->Key(position_.Entry), key.data(), significant) == 0;
    } else {
        found = SeekKey(key.data(), false, false);
    }
    LoadCurrentRecord(0);
    FindVisible(0);
    if (eof_ && !bof_) {
        GotoLastOfView();
        LoadCurrentRecord(0);
        FindVisible(2);
    }
    // The record the search ends on must still be a match (the filters may have moved it on).
    if (found) {
        std::vector<uint8_t> current(keys.KeyLength(), 0);
        keys.BuildKey(current_.data(), current.data());
        found = !bof_ && !eof_
            && keys.CompareKeys(
                   current.data(), key.data(), significant > 0 ? significant : keys.KeyLength())
                == 0;
    }
    uint32_t record = record_number_;
    SetActiveIndex(saved_slot);
    if (!found || slot == saved_slot)
        return found;
    // The same record in the active order.
    if (saved_slot == kNoIndexSlot) {
        record_number_ = record;
        bof_ = eof_ = false;
        return true;
    }
    std::vector<uint8_t> active_key(keys_->KeyLength(), 0);
    keys_->BuildKey(current_.data(), active_key.data());
    SeekKey(active_key.data(), true, false);
    return !bof_ && !eof_ && record_number_ == record;
}

bool TDataCursor::LocateByFilter(std::span<const int32_t> fields, const uint8_t* values,
    bool case_insensitive, size_t partial_length) {
    // "=" of each field with its value, joined by AND; texts ignore case when asked, and the
    // last one compares its first characters only with a partial length.
    TExpTokenPtr tree;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldDescriptor* field = FilterField(fields[i]);
        if (field == nullptr)
            directory_.Engine().Errors().RaiseFieldError(
                ZOLVEK_OUTOFRANGE, std::to_string(fields[i]), table_name_);
        auto column = std::make_unique<TExpToken>();
        column->Kind = nkColumn;
        column->ColumnName = field->Name;
        column->Text = "[" + field->Name + "]";
        column->Owner = this;
        LookupColumn(*column);
        auto constant = std::make_unique<TExpToken>();
        constant->Kind = nkColumn;
        constant->FieldNo = column->FieldNo;
        ReadColumn(*constant, values);
        constant->Kind = nkConstant;
        constant->FieldNo = 0;
        constant->Owner = this;
        constant->DataType = column->DataType;
        constant->SubType = column->SubType;
        constant->Scale = column->Scale;
        constant->ValueSize = uint32_t(constant->Value.size());
        bool text = IsTextType(field->DataType);
        bool partial = text && partial_length > 0 && i + 1 == fields.size();
        TExpTokenPtr comparison = BooleanNode(
            text && (case_insensitive || partial) ? nkStringCompare : nkBinary, opEqual, "=", this);
        comparison->CaseInsensitive = text && case_insensitive;
        comparison->PartialLength = partial ? uint32_t(partial_length) : 0;
        comparison->Left = std::move(column);
        comparison->Right = std::move(constant);
        AdoptChildren(*comparison);
        if (!tree) {
            tree = std::move(comparison);
            continue;
        }
        TExpTokenPtr conjunction = BooleanNode(nkBinary, opAnd, "AND", this);
        conjunction->Left = std::move(tree);
        conjunction->Right = std::move(comparison);
        AdoptChildren(*conjunction);
        tree = std::move(conjunction);
    }
    TFilterDefinition definition;
    definition.tree = std::move(tree);
    definition.restrict_to_earlier = true;
    definition.estimate = true;
    TFilter* filter = CreateFilter(std::move(definition));
    bool found = false;
    try {
        ActivateFilter(filter);
        if (filtered_count_ > 0) {
            GotoFirstOfView();
            bof_ = eof_ = false;
            LoadCurrentRecord(1);
            FindVisible(1);
            found = !bof_ && !eof_;
        }
    } catch (...) {
        try {
            FreeFilter(filter);
        } catch (const EDatabaseError&) { }
        throw;
    }
    FreeFilter(filter);
    return found;
}

} // namespace zolvek
