#include "db/storage/table_definition.h"

#include "db/base/errors.h"
#include "storage/table_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace zolvek {
namespace {

using testing::BuildTableImage;
using testing::Field;
using testing::OpenTableImage;
using testing::RaisedCode;
using testing::SampleDefinition;
using testing::TestLocaleAvailable;

TableLayout Validate(const TableDefinition& definition) {
    return ValidateTableDefinition(definition, TestLocaleAvailable, "datalar");
}

TEST(TableDefinition, LaysOutTheGlossaryTable) {
    TableDefinition definition;
    definition.Fields = { Field(" ANAHTAR ", kTypeString, 175),
        Field("ACIKLAMA", kTypeBlob, 0, kSubTypeMemo), Field("INDEX", kTypeString, 1) };
    definition.Fields[1].Compression = 6;
    definition.Fields[1].Size = 99; // ignored for a BLOB
    definition.Fields[0].Scale = 3; // cleared unless BCD
    definition.Fields[0].CharCase = fcUpperCase;
    definition.Fields[0].Required = true;
    definition.Description = std::string(150, 'd');
    TableLayout layout = Validate(definition);

    ASSERT_EQ(layout.Fields.size(), 3u);
    EXPECT_EQ(layout.Fields[0].Name, "ANAHTAR");
    EXPECT_EQ(layout.Fields[0].FieldNo, 1);
    EXPECT_EQ(layout.Fields[0].FieldOffset, 25);
    EXPECT_EQ(layout.Fields[0].PhysicalSize, 176);
    EXPECT_EQ(layout.Fields[0].Scale, 0);
    EXPECT_EQ(layout.Fields[0].CharCase, fcUpperCase);
    EXPECT_TRUE(layout.Fields[0].Required);
    EXPECT_EQ(layout.Fields[1].FieldOffset, 202);
    EXPECT_EQ(layout.Fields[1].Size, 0);
    EXPECT_EQ(layout.Fields[1].Compression, 6);
    EXPECT_EQ(layout.Fields[2].FieldOffset, 211);
    EXPECT_EQ(layout.Record.RecordSize, 216);
    EXPECT_EQ(layout.Record.BlobFieldCount, 1);
    EXPECT_EQ(layout.SecondaryIndexCount, 0);
    EXPECT_TRUE(layout.IndexSlots[0].IsDefaultPrimary());
    EXPECT_EQ(layout.IndexSlots[0].KeyLength, 5);
    EXPECT_EQ(layout.IndexSlots[31].Name, "Sys Text");
    EXPECT_EQ(layout.IndexSlots[31].FieldCount, 0);
    EXPECT_EQ(layout.TableDescription.size(), 100u);
    EXPECT_EQ(layout.LastAutoIncValue, 0);

    DataFileHeader header = DataFileHeader::New(testing::kDefaultDigest);
    ApplyTableLayout(layout, header);
    EXPECT_EQ(header.RecordSize, 216);
    EXPECT_EQ(header.FieldCount, 3);
    EXPECT_EQ(header.BlobFieldCount, 1);
    EXPECT_EQ(header.IndexPageSize, 4096);
    EXPECT_EQ(header.BlobBlockSize, 512);
    EXPECT_EQ(header.NextRecordNo, 1);
}

TEST(TableDefinition, CreatedTablesPassTheOpenChecks) {
    EXPECT_EQ(OpenTableImage(BuildTableImage(SampleDefinition())), ZOLVEK_NONE);
    TableDefinition definition = SampleDefinition();
    definition.LocaleID = testing::kTurkishLocale;
    definition.Encrypted = true;
    definition.Password = "  gizli ";
    definition.PrimaryIndex.Fields = { 4, -1 };
    definition.PrimaryIndex.DescFields = { true, false };
    TableLayout layout = Validate(definition);
    EXPECT_EQ(layout.Password, "gizli");
    EXPECT_EQ(layout.IndexSlots[0].FieldList[1], kRecordIDFieldNo);
    EXPECT_EQ(layout.IndexSlots[0].DescFields[0], 1);
    EXPECT_EQ(layout.IndexSlots[0].KeyLength, 10);
    EXPECT_EQ(OpenTableImage(BuildTableImage(definition)), ZOLVEK_NONE);
}

TEST(TableDefinition, FieldNumbersMapToPositions) {
    TableDefinition definition;
    definition.Fields
        = { Field("A", kTypeInteger), Field("B", kTypeString, 10), Field("C", kTypeSmallInt) };
    definition.Fields[0].FieldNo = 10;
    definition.Fields[1].FieldNo = 20;
    IndexDefinition index;
    index.Name = "BY_B";
    index.Fields = { 20, 10 };
    definition.SecondaryIndexes.push_back(index);
    definition.TextIndexFields = { 20 };
    TableLayout layout = Validate(definition);
    EXPECT_EQ(layout.Fields[0].FieldNo, 1);
    EXPECT_EQ(layout.Fields[2].FieldNo, 3); // number 0 takes the position
    EXPECT_EQ(layout.IndexSlots[1].FieldList[0], 2);
    EXPECT_EQ(layout.IndexSlots[1].FieldList[1], 1);
    EXPECT_EQ(layout.IndexSlots[1].KeyLength, 12 + 5 + 4);
    EXPECT_EQ(layout.IndexSlots[31].FieldList[0], 2);

    definition.Fields[2].FieldNo = 10;
    EXPECT_EQ(RaisedCode([&] { Validate(definition); }), ZOLVEK_INVALIDFLDTYPE);
    definition.Fields[2].FieldNo = 3;
    definition.SecondaryIndexes[0].Fields = { 2 }; // a position, but not a number given
    EXPECT_EQ(RaisedCode([&] { Validate(definition); }), ZOLVEK_INVALIDIDXDESC);
}

// A descending index says so in its whole-index flag and in every field's flag; fields of an
// ascending index descend only where asked.
TEST(TableDefinition, DescendingIndexesMarkEveryField) {
    TableDefinition definition;
    definition.Fields = { Field("A", kTypeInteger), Field("B", kTypeString, 10) };
    IndexDefinition down;
    down.Name = "DOWN";
    down.Fields = { 2, 1 };
    down.Descending = true;
    IndexDefinition mixed;
    mixed.Name = "MIXED";
    mixed.Fields = { 2, 1 };
    mixed.DescFields = { false, true };
    definition.SecondaryIndexes = { down, mixed };
    TableLayout layout = Validate(definition);
    const IndexDescriptor& all = layout.IndexSlots[1];
    EXPECT_TRUE(all.Descending);
    EXPECT_EQ(all.DescFields[0], 1);
    EXPECT_EQ(all.DescFields[1], 1);
    EXPECT_EQ(all.DescFields[2], 0);
    const IndexDescriptor& some = layout.IndexSlots[2];
    EXPECT_FALSE(some.Descending);
    EXPECT_EQ(some.DescFields[0], 0);
    EXPECT_EQ(some.DescFields[1], 1);
}

struct Refusal {
    const char* what;
    std::function<void(TableDefinition&)> change;
    EngineCode expected;
};

std::vector<FieldDefinition> ManyFields(size_t count, uint8_t type, int32_t size = 0) {
    std::vector<FieldDefinition> fields;
    for (size_t i = 0; i < count; ++i) {
        fields.push_back(Field("F" + std::to_string(i + 1), type, size));
    }
    return fields;
}

IndexDefinition SecondaryOn(std::string name, std::vector<int32_t> fields) {
    IndexDefinition index;
    index.Name = std::move(name);
    index.Fields = std::move(fields);
    return index;
}

TEST(TableDefinition, RefusalsCarryTheirCodes) {
    const std::vector<Refusal> cases = {
        { "blank password",
            [](auto& d) {
                d.Encrypted = true;
                d.Password = "   ";
            },
            ZOLVEK_INVALIDPASSWORD },
        { "129-character password",
            [](auto& d) {
                d.Encrypted = true;
                d.Password = std::string(129, 'p');
            },
            ZOLVEK_INVALIDPASSWORD },
        { "unavailable locale", [](auto& d) { d.LocaleID = 1234; }, ZOLVEK_CANNOTLOADLDDRV },
        { "no fields", [](auto& d) { d = TableDefinition {}; }, ZOLVEK_FLDLIMIT },
        { "1025 fields",
            [](auto& d) {
                d = TableDefinition {};
                d.Fields = ManyFields(1025, kTypeSmallInt);
            },
            ZOLVEK_FLDLIMIT },
        { "page size 1023", [](auto& d) { d.IndexPageSize = 1023; }, ZOLVEK_INDEXLIMIT },
        { "page size 16385", [](auto& d) { d.IndexPageSize = 16385; }, ZOLVEK_INDEXLIMIT },
        { "31 secondary indexes",
            [](auto& d) {
                d.SecondaryIndexes.clear();
                for (int i = 0; i < 31; ++i) {
                    d.SecondaryIndexes.push_back(SecondaryOn("I" + std::to_string(i), { 4 }));
                }
            },
            ZOLVEK_INDEXLIMIT },
        { "block size 63", [](auto& d) { d.BlobBlockSize = 63; }, ZOLVEK_BLOBLIMIT },
        { "block size 65537", [](auto& d) { d.BlobBlockSize = 65537; }, ZOLVEK_BLOBLIMIT },
        { "field named RecordID", [](auto& d) { d.Fields[3].Name = "RecordID"; },
            ZOLVEK_INVALIDFIELDNAME },
        { "field named recordhash", [](auto& d) { d.Fields[3].Name = " recordhash"; },
            ZOLVEK_INVALIDFIELDNAME },
        { "blank field name", [](auto& d) { d.Fields[3].Name = " \t "; }, ZOLVEK_INVALIDFIELDNAME },
        { "bad first character", [](auto& d) { d.Fields[3].Name = "9SAYI"; },
            ZOLVEK_INVALIDFIELDNAME },
        { "duplicate field name", [](auto& d) { d.Fields[3].Name = "anahtar "; },
            ZOLVEK_INVALIDFIELDNAME },
        { "duplicate after the 60-character cut",
            [](auto& d) {
                d.Fields[0].Name = std::string(60, 'X') + "1";
                d.Fields[3].Name = std::string(60, 'X') + "2";
            },
            ZOLVEK_INVALIDFIELDNAME },
        { "duplicate field number",
            [](auto& d) {
                d.Fields[0].FieldNo = 7;
                d.Fields[3].FieldNo = 7;
            },
            ZOLVEK_INVALIDFLDTYPE },
        { "negative field number", [](auto& d) { d.Fields[3].FieldNo = -1; },
            ZOLVEK_INVALIDFLDTYPE },
        { "type 0", [](auto& d) { d.Fields[3].DataType = 0; }, ZOLVEK_INVALIDFLDTYPE },
        { "type 13", [](auto& d) { d.Fields[3].DataType = 13; }, ZOLVEK_INVALIDFLDTYPE },
        { "string size 0", [](auto& d) { d.Fields[2].Size = 0; }, ZOLVEK_INVALIDFLDTYPE },
        { "string size 513", [](auto& d) { d.Fields[2].Size = 513; }, ZOLVEK_INVALIDFLDTYPE },
        { "wide string size 257",
            [](auto& d) {
                d.Fields[2].SubType = kSubTypeWide;
                d.Fields[2].Size = 257;
            },
            ZOLVEK_INVALIDFLDTYPE },
        { "bytes size 70000", [](auto& d) { d.Fields.push_back(Field("B", kTypeBytes, 70000)); },
            ZOLVEK_INVALIDFLDTYPE },
        { "char case 3", [](auto& d) { d.Fields[0].CharCase = TFieldCharCase(3); },
            ZOLVEK_INVALIDFLDTYPE },
        { "BLOB compression 10", [](auto& d) { d.Fields[1].Compression = 10; },
            ZOLVEK_INVALIDFLDTYPE },
        { "compression on a string", [](auto& d) { d.Fields[0].Compression = 1; },
            ZOLVEK_INVALIDFLDTYPE },
        { "invalid default", [](auto& d) { d.Fields[3].DefaultValue = "abc"; },
            ZOLVEK_INVALIDVCHKSTRUCT },
        { "invalid maximum", [](auto& d) { d.Fields[3].MaxValue = "12x"; },
            ZOLVEK_INVALIDVCHKSTRUCT },
        { "default on a BLOB", [](auto& d) { d.Fields[1].DefaultValue = "x"; },
            ZOLVEK_INVALIDVCHKSTRUCT },
        { "minimum longer than 100", [](auto& d) { d.Fields[0].MinValue = std::string(101, 'a'); },
            ZOLVEK_INVALIDVCHKSTRUCT },
        { "129 BLOB fields",
            [](auto& d) {
                d = TableDefinition {};
                d.Fields = ManyFields(129, kTypeBlob);
            },
            ZOLVEK_BLOBLIMIT },
        { "record too big",
            [](auto& d) {
                d = TableDefinition {};
                d.Fields = ManyFields(128, kTypeBytes, 512);
            },
            ZOLVEK_RECTOOBIG },
        { "secondary without a name",
            [](auto& d) { d.SecondaryIndexes.push_back(SecondaryOn(" ", { 4 })); },
            ZOLVEK_INDEXNAMEREQUIRED },
        { "secondary name bad first character",
            [](auto& d) { d.SecondaryIndexes.push_back(SecondaryOn("-X", { 4 })); },
            ZOLVEK_INVALIDINDEXNAME },
        { "duplicate secondary name",
            [](auto& d) { d.SecondaryIndexes.push_back(SecondaryOn("Index_Idx", { 4 })); },
            ZOLVEK_INDEXEXISTS },
        { "index on a missing field",
            [](auto& d) {
                d.SecondaryIndexes.push_back(SecondaryOn("X", { 4, 12 }));
            },
            ZOLVEK_INVALIDIDXDESC },
        { "index on a memo", [](auto& d) { d.SecondaryIndexes.push_back(SecondaryOn("X", { 2 })); },
            ZOLVEK_SEARCHCOLREQD },
        { "primary on a memo",
            [](auto& d) {
                d.PrimaryIndex.Fields = { 1, 2 };
            },
            ZOLVEK_SEARCHCOLREQD },
        { "index without fields",
            [](auto& d) { d.SecondaryIndexes.push_back(SecondaryOn("X", {})); },
            ZOLVEK_INVALIDKEY },
        { "index with 129 fields",
            [](auto& d) {
                d.SecondaryIndexes.push_back(SecondaryOn("X", std::vector<int32_t>(129, 4)));
            },
            ZOLVEK_INDEXLIMIT },
        { "key above a third of the page",
            [](auto& d) {
                d.SecondaryIndexes.push_back(SecondaryOn("X", { 1, 1 }));
            },
            ZOLVEK_INVALIDKEY },
        { "unknown index compression",
            [](auto& d) { d.SecondaryIndexes[0].Compression = TIndexCompression(4); },
            ZOLVEK_INVALIDIDXDESC },
        { "text index on an integer",
            [](auto& d) {
                d.TextIndexFields = { 2, 4 };
            },
            ZOLVEK_SEARCHCOLREQD },
        { "text index on RecordID", [](auto& d) { d.TextIndexFields = { -1 }; },
            ZOLVEK_SEARCHCOLREQD },
        { "text index on a missing field", [](auto& d) { d.TextIndexFields = { 5 }; },
            ZOLVEK_INVALIDIDXDESC },
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        TableDefinition definition = SampleDefinition();
        c.change(definition);
        EXPECT_EQ(RaisedCode([&] { Validate(definition); }), c.expected);
    }
}

TEST(TableDefinition, LimitsThatAreStillAccepted) {
    const std::vector<std::pair<const char*, std::function<void(TableDefinition&)>>> cases = {
        { "128-character password",
            [](auto& d) {
                d.Encrypted = true;
                d.Password = std::string(128, 'p');
            } },
        { "1024 fields",
            [](auto& d) {
                d = TableDefinition {};
                d.Fields = ManyFields(1024, kTypeSmallInt);
            } },
        { "128 BLOB fields",
            [](auto& d) {
                d = TableDefinition {};
                d.Fields = ManyFields(128, kTypeBlob);
            } },
        { "30 secondary indexes",
            [](auto& d) {
                d.SecondaryIndexes.clear();
                for (int i = 0; i < 30; ++i) {
                    d.SecondaryIndexes.push_back(SecondaryOn("I" + std::to_string(i), { 4 }));
                }
            } },
        { "page and block sizes at their bounds",
            [](auto& d) {
                d.IndexPageSize = 16384;
                d.BlobBlockSize = 65536;
            } },
        { "smallest page and block sizes",
            [](auto& d) {
                d.IndexPageSize = 1024;
                d.BlobBlockSize = 64;
            } },
        { "wide string of 256",
            [](auto& d) { d.Fields.push_back(Field("GENIS", kTypeString, 256, kSubTypeWide)); } },
        { "Turkish letters in names", [](auto& d) { d.Fields[3].Name = "\xDE\x45KER"; } },
        { "valid value texts",
            [](auto& d) {
                d.Fields[3].MinValue = "-5";
                d.Fields[3].MaxValue = "100";
                d.Fields[0].DefaultValue = std::string(100, 'a');
            } },
        { "BCD keeps its scale",
            [](auto& d) {
                d.Fields.push_back(Field("TUTAR", kTypeBcd));
                d.Fields.back().Scale = 2;
            } },
    };
    for (const auto& [what, change] : cases) {
        SCOPED_TRACE(what);
        TableDefinition definition = SampleDefinition();
        change(definition);
        EXPECT_EQ(RaisedCode([&] {
            TableLayout layout = Validate(definition);
            if (!layout.Fields.empty() && layout.Fields.back().DataType == kTypeBcd) {
                EXPECT_EQ(layout.Fields.back().Scale, 2);
                EXPECT_EQ(layout.Fields.back().PhysicalScale, 2);
            }
        }),
            ZOLVEK_NONE);
    }
}

TEST(TableDefinition, ErrorsNameTheFieldOrIndex) {
    TableDefinition definition = SampleDefinition();
    definition.Fields[3].Name = "RecordID";
    try {
        Validate(definition);
        FAIL() << "no error";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_STREQ(error.what(),
            "ZOLVEK Engine Error # 10038 Invalid or duplicate field name 'RecordID' specified for "
            "the table 'datalar'");
    }
    definition = SampleDefinition();
    definition.SecondaryIndexes.push_back(SecondaryOn("YENI", { 99 }));
    try {
        Validate(definition);
        FAIL() << "no error";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_STREQ(error.what(),
            "ZOLVEK Engine Error # 10023 Invalid field number '99' specified in the index 'YENI' "
            "for the table 'datalar'");
    }
}

} // namespace
} // namespace zolvek
