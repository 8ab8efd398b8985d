// The index file's header image and its 32 index descriptor slots as the index file object keeps
// them in memory, with the slot operations (add the primary or a secondary index, set the
// full-text slot, replace, delete, reset the primary) and the KeyLength rule they share with
// table creation.
// Thread-safety: none; the owner serialises access (the index file's access section).
#pragma once

#include "db/storage/table_format.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zolvek {

// What index operations check their fields and key length against; TableName goes into every
// error message.
struct IndexContext {
    std::span<const FieldDescriptor> Fields;
    int32_t IndexPageSize = 0;
    std::string_view TableName;
};

// Checks the first FieldCount entries of `descriptor`'s field list and sets its KeyLength: the
// sum of (key size + 1) over the key fields, plus 4 for a non-unique index. Raises 9487 for more
// than 128 fields, 10023 for a Compression other than icNone..icFull and for an entry that names
// no field (the field text is the number),
// 12292 for a BLOB field, and 10026 when the sum exceeds a third of the page data area
// (IndexPageSize - 13), when the whole key exceeds 4106 bytes, or when it is 0. Entries after
// FieldCount, and their descending flags, are cleared.
void SetKeyLength(IndexDescriptor& descriptor, const IndexContext& context);

// Checks a secondary index name after trimming and cutting it to 60 characters: 10010 when it is
// empty, 10022 for an invalid first character. Returns the name to store.
std::string PrepareSecondaryName(std::string_view name, std::string_view table_name);

class IndexSlots {
public:
    IndexFileHeader Header;
    std::array<IndexDescriptor, kIndexSlotCount> Slots;
    // Set by every slot change; the owner writes the descriptor area and clears it.
    bool AreaChanged = false;

    // Decodes the area for the current Header (slots 0..SecondaryIndexCount and 31).
    // Requires: `area` holds kIndexDescriptorAreaSize bytes; Header has passed its open check.
    void DecodeArea(const uint8_t* area);
    void EncodeArea(uint8_t* area) const;

    uint8_t SecondaryIndexCount() const { return Header.SecondaryIndexCount; }
    // Requires: count <= 30.
    void SetSecondaryIndexCount(uint8_t count);
    // Requires: slot < 32 (also for the setters below).
    int32_t RootPage(size_t slot) const { return Header.RootPage[slot]; }
    int32_t TextRootPage(size_t slot) const { return Header.TextRootPage[slot]; }
    // Setters mark the header modified when the value changes.
    void SetRootPage(size_t slot, int32_t page);
    void SetTextRootPage(size_t slot, int32_t page);

    // True when slot 0 holds a user-defined primary index (not the default RecordID one and not
    // empty, as after the index file was recreated).
    bool HasPrimaryKey() const;
    // The slot 1..SecondaryIndexCount of the secondary index with this name (trimmed,
    // case-insensitive), or -1.
    int FindSecondary(std::string_view name) const;

    // Puts `descriptor` into slot 0 with an empty name and Unique set; no fields gives the
    // default primary index. Raises 9993 when a primary key is already defined, then as
    // SetKeyLength.
    void AddPrimary(IndexDescriptor descriptor, const IndexContext& context);
    // Puts `descriptor` into the next slot and returns it; its page references start at 0.
    // Raises 9487 when 30 secondary indexes exist or for more than 128 fields, 10010 / 10022 for
    // the name, 10027 for a name another secondary index has, then as SetKeyLength.
    size_t AddSecondary(IndexDescriptor descriptor, const IndexContext& context);
    // Slot 31 becomes "Sys Text" (KeyLength 68, icFull, NoKeyStatistics) over these fields.
    // Raises 9487 for more than 128 fields, 10023 for an unknown field, 12292 for a field that
    // is neither a string nor a memo (pseudo-fields included).
    void SetTextIndex(std::span<const uint16_t> field_numbers, const IndexContext& context);
    // Replaces name, field list and descending flags of slot 0..SecondaryIndexCount or 31 with
    // the checks of the add operations (the name of slot 0 stays empty, that of slot 31
    // "Sys Text"; a secondary name may stay its own).
    // Requires: `desc_fields` is empty or as long as `field_list`.
    void Replace(size_t slot, std::string_view name, std::span<const uint16_t> field_list,
        std::span<const uint8_t> desc_fields, const IndexContext& context);
    // Deletes secondary slot 1..SecondaryIndexCount: the slots above move down one place with
    // their page references, the last slot is cleared, SecondaryIndexCount drops by one.
    // Requires: 1 <= slot <= SecondaryIndexCount().
    void Delete(size_t slot);
    // Slot 0 becomes the default primary index (its page references stay).
    void ResetPrimary();

private:
    void MarkChanged();
};

} // namespace zolvek
