#include "db/storage/index_slots.h"

#include "db/base/errors.h"
#include "storage/table_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zolvek {
namespace {

using testing::kDefaultDigest;
using testing::RaisedCode;

// Fields: 1 ANAHTAR string 175, 2 ACIKLAMA memo, 3 INDEX string 1, 4 SAYI integer,
// 5 RESIM binary BLOB.
class IndexSlotsTest : public ::testing::Test {
protected:
    IndexSlotsTest() {
        fields_ = { Field("ANAHTAR", kTypeString, 175),
            Field("ACIKLAMA", kTypeBlob, 0, kSubTypeMemo), Field("INDEX", kTypeString, 1),
            Field("SAYI", kTypeInteger), Field("RESIM", kTypeBlob, 0, kSubTypeBinary) };
        LayOutFields(fields_, "t");
        slots_.Header = IndexFileHeader::New(kDefaultDigest);
        slots_.ResetPrimary();
        slots_.SetTextIndex({}, Context());
        slots_.Header.HeaderModified = false;
        slots_.AreaChanged = false;
    }

    static FieldDescriptor Field(
        std::string name, uint8_t type, uint16_t size = 0, uint8_t sub_type = 0) {
        FieldDescriptor field;
        field.Name = std::move(name);
        field.DataType = type;
        field.Size = size;
        field.SubType = sub_type;
        return field;
    }

    IndexContext Context(int32_t page_size = 4096) const {
        return IndexContext { fields_, page_size, "datalar" };
    }

    static IndexDescriptor Index(
        std::string name, std::vector<uint16_t> fields, bool unique = false) {
        IndexDescriptor descriptor;
        descriptor.Name = std::move(name);
        descriptor.Unique = unique;
        descriptor.FieldCount = uint8_t(fields.size());
        for (size_t k = 0; k < fields.size() && k < kMaxIndexFields; ++k) {
            descriptor.FieldList[k] = fields[k];
        }
        return descriptor;
    }

    // The slots must pass the open-time verification after every successful operation.
    void ExpectVerifies() const {
        EXPECT_EQ(RaisedCode([&] {
            VerifyIndexFileHeader(slots_.Header, slots_.Slots, fields_, 4096, "datalar");
        }),
            ZOLVEK_NONE);
    }

    std::vector<FieldDescriptor> fields_;
    IndexSlots slots_;
};

TEST_F(IndexSlotsTest, StartsWithTheDefaultPrimaryAndAnEmptyTextIndex) {
    const IndexDescriptor& primary = slots_.Slots[0];
    EXPECT_TRUE(primary.IsDefaultPrimary());
    EXPECT_EQ(primary.Name, "");
    EXPECT_TRUE(primary.Unique);
    EXPECT_EQ(primary.KeyLength, 5);
    EXPECT_FALSE(slots_.HasPrimaryKey());
    const IndexDescriptor& text = slots_.Slots[kTextIndexSlot];
    EXPECT_EQ(text.Name, "Sys Text");
    EXPECT_EQ(text.KeyLength, 68);
    EXPECT_EQ(text.Compression, icFull);
    EXPECT_TRUE(text.NoKeyStatistics);
    EXPECT_EQ(text.FieldCount, 0);
    ExpectVerifies();
}

TEST_F(IndexSlotsTest, AddPrimaryOnceAndResetIt) {
    IndexDescriptor primary = Index("ignored", { 1, 4 });
    primary.DescFields[1] = 1;
    slots_.AddPrimary(primary, Context());
    EXPECT_TRUE(slots_.HasPrimaryKey());
    EXPECT_EQ(slots_.Slots[0].Name, "");
    EXPECT_TRUE(slots_.Slots[0].Unique);
    EXPECT_EQ(slots_.Slots[0].KeyLength, 176 + 1 + 4 + 1);
    EXPECT_EQ(slots_.Slots[0].DescFields[1], 1);
    EXPECT_TRUE(slots_.Header.HeaderModified);
    EXPECT_TRUE(slots_.AreaChanged);
    ExpectVerifies();

    EXPECT_EQ(RaisedCode([&] { slots_.AddPrimary(Index("", { 3 }), Context()); }),
        ZOLVEK_PRIMARYKEYREDEFINE);
    slots_.ResetPrimary();
    EXPECT_FALSE(slots_.HasPrimaryKey());
    EXPECT_EQ(slots_.Slots[0].KeyLength, 5);
    slots_.AddPrimary(Index("", { 3 }), Context());
    EXPECT_EQ(slots_.Slots[0].KeyLength, 3);
}

TEST_F(IndexSlotsTest, AddPrimaryRefusals) {
    EXPECT_EQ(RaisedCode([&] {
        slots_.AddPrimary(Index("", { 1, 2 }), Context());
    }),
        ZOLVEK_SEARCHCOLREQD);
    EXPECT_EQ(
        RaisedCode([&] { slots_.AddPrimary(Index("", { 9 }), Context()); }), ZOLVEK_INVALIDIDXDESC);
    IndexDescriptor too_many = Index("", { 1 });
    too_many.FieldCount = 129;
    EXPECT_EQ(RaisedCode([&] { slots_.AddPrimary(too_many, Context()); }), ZOLVEK_INDEXLIMIT);
    // A refused operation leaves the slots as they were.
    EXPECT_TRUE(slots_.Slots[0].IsDefaultPrimary());
    EXPECT_FALSE(slots_.AreaChanged);
}

TEST_F(IndexSlotsTest, AddSecondaryFillsSlotsInOrder) {
    EXPECT_EQ(slots_.AddSecondary(Index("  ANAHTAR_IDX  ", { 1 }), Context()), 1u);
    EXPECT_EQ(
        slots_.AddSecondary(Index("INDEX_IDX", { 3, kRecordIDFieldNo }, true), Context()), 2u);
    EXPECT_EQ(slots_.SecondaryIndexCount(), 2);
    EXPECT_EQ(slots_.Slots[1].Name, "ANAHTAR_IDX");
    EXPECT_EQ(slots_.Slots[1].KeyLength, 177 + 4);
    EXPECT_EQ(slots_.Slots[2].KeyLength, 3 + 5);
    EXPECT_EQ(slots_.FindSecondary("index_idx"), 2);
    EXPECT_EQ(slots_.FindSecondary("nothing"), -1);
    ExpectVerifies();
}

TEST_F(IndexSlotsTest, AddSecondaryRefusals) {
    slots_.AddSecondary(Index("ANAHTAR_IDX", { 1 }), Context());
    IndexDescriptor too_many = Index("MANY", { 1 });
    too_many.FieldCount = 129;
    IndexDescriptor bad_compression = Index("C", { 1 });
    bad_compression.Compression = 4;
    struct Case {
        const char* what;
        IndexDescriptor descriptor;
        EngineCode expected;
    };
    const Case cases[] = {
        { "empty name", Index("   ", { 1 }), ZOLVEK_INDEXNAMEREQUIRED },
        { "bad first character", Index("1ABC", { 1 }), ZOLVEK_INVALIDINDEXNAME },
        { "duplicate name", Index("anahtar_idx", { 3 }), ZOLVEK_INDEXEXISTS },
        { "memo field", Index("B", { 3, 2 }), ZOLVEK_SEARCHCOLREQD },
        { "binary field", Index("B", { 5 }), ZOLVEK_SEARCHCOLREQD },
        { "missing field", Index("B", { 6 }), ZOLVEK_INVALIDIDXDESC },
        { "field number 0", Index("B", { 0 }), ZOLVEK_INVALIDIDXDESC },
        { "no fields", Index("B", {}), ZOLVEK_INVALIDKEY },
        { "129 fields", too_many, ZOLVEK_INDEXLIMIT },
        { "unknown compression", bad_compression, ZOLVEK_INVALIDIDXDESC },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RaisedCode([&] { slots_.AddSecondary(c.descriptor, Context()); }), c.expected);
        EXPECT_EQ(slots_.SecondaryIndexCount(), 1);
    }
}

TEST_F(IndexSlotsTest, ThirtySecondaryIndexesAtMost) {
    for (int i = 1; i <= 30; ++i) {
        slots_.AddSecondary(Index("I" + std::to_string(i), { 4 }), Context());
    }
    EXPECT_EQ(slots_.SecondaryIndexCount(), 30);
    ExpectVerifies();
    try {
        slots_.AddSecondary(Index("I31", { 4 }), Context());
        FAIL() << "no error";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_INDEXLIMIT);
        EXPECT_EQ(error.ErrorTableName(), "datalar");
    }
}

TEST_F(IndexSlotsTest, ErrorContextNamesFieldAndIndex) {
    try {
        slots_.AddSecondary(Index("BAD", { 2 }), Context());
        FAIL() << "no error";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_SEARCHCOLREQD);
        EXPECT_STREQ(error.what(),
            "ZOLVEK Engine Error # 12292 Invalid field 'ACIKLAMA' specified for the index 'BAD' in "
            "the table 'datalar'");
    }
    try {
        slots_.AddSecondary(Index("BAD", { 77 }), Context());
        FAIL() << "no error";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_INVALIDIDXDESC);
        EXPECT_EQ(error.Context().ErrorFieldName, "77");
        EXPECT_EQ(error.Context().ErrorIndexName, "BAD");
    }
}

// Key sizes of byte fields are their sizes, so these tables reach the limits exactly.
class KeyLimitTest : public ::testing::Test {
protected:
    static FieldDescriptor Bytes(uint16_t size) {
        FieldDescriptor field;
        field.Name = "F" + std::to_string(size);
        field.DataType = kTypeBytes;
        field.Size = size;
        return field;
    }
    EngineCode KeyLengthOf(std::vector<uint16_t> sizes, bool unique, int32_t page_size,
        uint16_t* key_length = nullptr) {
        std::vector<FieldDescriptor> fields;
        for (uint16_t size : sizes) {
            fields.push_back(Bytes(size));
            fields.back().Name += "_" + std::to_string(fields.size());
        }
        for (FieldDescriptor& field : fields) {
            field.PhysicalSize = PhysicalSize(field.DataType, field.SubType, field.Size);
        }
        IndexDescriptor descriptor;
        descriptor.Name = "K";
        descriptor.Unique = unique;
        descriptor.FieldCount = uint8_t(sizes.size());
        for (size_t k = 0; k < sizes.size(); ++k) {
            descriptor.FieldList[k] = uint16_t(k + 1);
        }
        EngineCode code = RaisedCode([&] {
            SetKeyLength(descriptor, IndexContext { fields, page_size, "t" });
        });
        if (key_length != nullptr) {
            *key_length = descriptor.KeyLength;
        }
        return code;
    }
};

TEST_F(KeyLimitTest, SuffixOfNonUniqueIndexesCountsAgainstTheKeyBuffer) {
    // 7 x 513 + 511 = 4102: with the 4-byte suffix exactly 4106.
    std::vector<uint16_t> sizes_4102 = { 512, 512, 512, 512, 512, 512, 512, 510 };
    std::vector<uint16_t> sizes_4103 = { 512, 512, 512, 512, 512, 512, 512, 511 };
    uint16_t key_length = 0;
    EXPECT_EQ(KeyLengthOf(sizes_4102, false, 16384, &key_length), ZOLVEK_NONE);
    EXPECT_EQ(key_length, 4106);
    EXPECT_EQ(KeyLengthOf(sizes_4103, false, 16384), ZOLVEK_INVALIDKEY);
    EXPECT_EQ(KeyLengthOf(sizes_4103, true, 16384, &key_length), ZOLVEK_NONE);
    EXPECT_EQ(key_length, 4103);
    // 8 x 513 + 2 = 4106 in a unique index.
    std::vector<uint16_t> sizes_4106 = { 512, 512, 512, 512, 512, 512, 512, 512, 1 };
    EXPECT_EQ(KeyLengthOf(sizes_4106, true, 16384, &key_length), ZOLVEK_NONE);
    EXPECT_EQ(key_length, 4106);
    sizes_4106.back() = 2;
    EXPECT_EQ(KeyLengthOf(sizes_4106, true, 16384), ZOLVEK_INVALIDKEY);
}

TEST_F(KeyLimitTest, KeyFieldsTakeAtMostAThirdOfThePageData) {
    // (1024 - 13) / 3 = 337.
    EXPECT_EQ(KeyLengthOf({ 336 }, true, 1024), ZOLVEK_NONE);
    EXPECT_EQ(KeyLengthOf({ 337 }, true, 1024), ZOLVEK_INVALIDKEY);
    // The suffix is not part of the third.
    EXPECT_EQ(KeyLengthOf({ 336 }, false, 1024), ZOLVEK_NONE);
}

TEST_F(IndexSlotsTest, TextIndexTakesStringsAndMemosOnly) {
    std::vector<uint16_t> good = { 1, 2, 3 };
    slots_.SetTextIndex(good, Context());
    EXPECT_EQ(slots_.Slots[31].FieldCount, 3);
    EXPECT_EQ(slots_.Slots[31].KeyLength, 68);
    ExpectVerifies();
    for (uint16_t bad : { uint16_t(4), uint16_t(5), kRecordIDFieldNo, kRecordHashFieldNo }) {
        SCOPED_TRACE(bad);
        std::vector<uint16_t> list = { 1, bad };
        EXPECT_EQ(RaisedCode([&] { slots_.SetTextIndex(list, Context()); }), ZOLVEK_SEARCHCOLREQD);
    }
    std::vector<uint16_t> missing = { 9 };
    EXPECT_EQ(RaisedCode([&] { slots_.SetTextIndex(missing, Context()); }), ZOLVEK_INVALIDIDXDESC);
    std::vector<uint16_t> too_many(129, 1);
    EXPECT_EQ(RaisedCode([&] { slots_.SetTextIndex(too_many, Context()); }), ZOLVEK_INDEXLIMIT);
    EXPECT_EQ(slots_.Slots[31].FieldCount, 3);
}

TEST_F(IndexSlotsTest, DeleteMovesHigherSlotsDownWithTheirPages) {
    for (int i = 1; i <= 3; ++i) {
        slots_.AddSecondary(
            Index("I" + std::to_string(i), { uint16_t(i == 2 ? 3 : 1) }), Context());
        slots_.SetRootPage(size_t(i), 10 + i);
        slots_.SetTextRootPage(size_t(i), 20 + i);
    }
    slots_.SetRootPage(0, 1);
    slots_.Header.NextPageNo = 30;
    slots_.Header.HeaderModified = false;
    slots_.AreaChanged = false;

    slots_.Delete(1);
    EXPECT_EQ(slots_.SecondaryIndexCount(), 2);
    EXPECT_EQ(slots_.Slots[1].Name, "I2");
    EXPECT_EQ(slots_.Slots[1].FieldList[0], 3);
    EXPECT_EQ(slots_.Slots[2].Name, "I3");
    EXPECT_TRUE(slots_.Slots[3].IsEmpty());
    EXPECT_EQ(slots_.RootPage(0), 1);
    EXPECT_EQ(slots_.RootPage(1), 12);
    EXPECT_EQ(slots_.TextRootPage(1), 22);
    EXPECT_EQ(slots_.RootPage(2), 13);
    EXPECT_EQ(slots_.RootPage(3), 0);
    EXPECT_EQ(slots_.TextRootPage(3), 0);
    EXPECT_TRUE(slots_.Header.HeaderModified);
    EXPECT_TRUE(slots_.AreaChanged);
    ExpectVerifies();

    slots_.Delete(2);
    EXPECT_EQ(slots_.SecondaryIndexCount(), 1);
    EXPECT_EQ(slots_.Slots[1].Name, "I2");
    EXPECT_EQ(slots_.RootPage(2), 0);
    ExpectVerifies();
}

TEST_F(IndexSlotsTest, DeletingFromThirtyClearsSlotThirty) {
    for (int i = 1; i <= 30; ++i) {
        slots_.AddSecondary(Index("I" + std::to_string(i), { 4 }), Context());
        slots_.SetRootPage(size_t(i), i);
    }
    slots_.Header.NextPageNo = 40;
    slots_.Delete(30);
    EXPECT_TRUE(slots_.Slots[30].IsEmpty());
    EXPECT_EQ(slots_.RootPage(30), 0);
    slots_.Delete(1);
    EXPECT_EQ(slots_.Slots[1].Name, "I2");
    EXPECT_EQ(slots_.RootPage(28), 29);
    EXPECT_TRUE(slots_.Slots[29].IsEmpty());
    EXPECT_EQ(slots_.SecondaryIndexCount(), 28);
    ExpectVerifies();
}

TEST_F(IndexSlotsTest, ReplaceKeepsTheRulesOfAdd) {
    slots_.AddSecondary(Index("A", { 1 }), Context());
    slots_.AddSecondary(Index("B", { 3 }), Context());
    std::vector<uint16_t> list = { 3, 4 };
    std::vector<uint8_t> desc = { 0, 1 };
    slots_.Replace(1, "a", list, desc, Context()); // its own name in another case
    EXPECT_EQ(slots_.Slots[1].Name, "a");
    EXPECT_EQ(slots_.Slots[1].FieldCount, 2);
    EXPECT_EQ(slots_.Slots[1].DescFields[1], 1);
    EXPECT_EQ(slots_.Slots[1].KeyLength, 3 + 5 + 4);
    ExpectVerifies();

    EXPECT_EQ(
        RaisedCode([&] { slots_.Replace(1, "b", list, desc, Context()); }), ZOLVEK_INDEXEXISTS);
    std::vector<uint16_t> blob = { 2 };
    EXPECT_EQ(
        RaisedCode([&] { slots_.Replace(2, "B", blob, {}, Context()); }), ZOLVEK_SEARCHCOLREQD);
    slots_.Slots[0].Unique = false; // as a damaged slot would read
    slots_.Replace(0, "ignored", list, {}, Context());
    EXPECT_EQ(slots_.Slots[0].Name, "");
    EXPECT_TRUE(slots_.Slots[0].Unique);
    EXPECT_TRUE(slots_.HasPrimaryKey());
    slots_.Replace(0, "", {}, {}, Context());
    EXPECT_TRUE(slots_.Slots[0].IsDefaultPrimary());
    std::vector<uint16_t> text = { 1 };
    slots_.Replace(31, "x", text, {}, Context());
    EXPECT_EQ(slots_.Slots[31].Name, "Sys Text");
    ExpectVerifies();
}

TEST_F(IndexSlotsTest, RootPageSettersMarkOnlyRealChanges) {
    slots_.SetRootPage(0, 0);
    slots_.SetSecondaryIndexCount(0);
    EXPECT_FALSE(slots_.Header.HeaderModified);
    slots_.SetTextRootPage(31, 4);
    EXPECT_TRUE(slots_.Header.HeaderModified);
    EXPECT_FALSE(slots_.AreaChanged);
}

TEST_F(IndexSlotsTest, AreaRoundTripsThroughBytes) {
    slots_.AddPrimary(Index("", { 4 }), Context());
    slots_.AddSecondary(Index("A", { 1, 3 }), Context());
    std::vector<uint16_t> text = { 2 };
    slots_.SetTextIndex(text, Context());
    std::vector<uint8_t> area(kIndexDescriptorAreaSize, 0xEE);
    slots_.EncodeArea(area.data());
    IndexSlots read;
    read.Header.SecondaryIndexCount = 1;
    read.AreaChanged = true;
    read.DecodeArea(area.data());
    EXPECT_FALSE(read.AreaChanged);
    std::vector<uint8_t> again(kIndexDescriptorAreaSize);
    read.EncodeArea(again.data());
    EXPECT_EQ(again, area);
    for (size_t i = 2 * kDescriptorSize; i < 31 * kDescriptorSize; ++i) {
        ASSERT_EQ(area[i], 0) << "unused slot byte " << i;
    }
}

} // namespace
} // namespace zolvek
