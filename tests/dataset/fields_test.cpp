#include "dataset_fixture.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace zolvek::testing {
namespace {

// A table with one field of every kind, empty, opened with a new record being inserted.
class FieldKindsTest : public ::testing::Test {
protected:
    void SetUp() override {
        table.Open();
        table.Append();
    }

    TField& Field(const char* name) { return table.FieldByName(name); }

    TMemoryDataSet table { {
        { "KEY", ftInteger },
        { "SMALL", ftSmallint },
        { "WORD", ftWord },
        { "INT", ftInteger },
        { "BIG", ftLargeint },
        { "FLT", ftFloat },
        { "CUR", ftCurrency },
        { "BCD", ftBCD, 2 },
        { "BOOL", ftBoolean },
        { "DAY", ftDate },
        { "TIM", ftTime },
        { "STAMP", ftDateTime },
        { "TEXT", ftString, 5 },
        { "BYTES", ftBytes, 4 },
        { "VAR", ftVarBytes, 4 },
        { "AUTO", ftAutoInc },
    } };
};

struct TextCase {
    const char* field;
    const char* input;
    const char* expected; // AsString afterwards, or the error text
};

TEST_F(FieldKindsTest, TextsConvertOrRaiseTheirErrors) {
    const TextCase cases[] = {
        { "SMALL", "-123", "-123" },
        { "SMALL", "40000",
            "40000 is not a valid value for field 'SMALL'. The allowed range is -32768 to 32767" },
        { "WORD", "65535", "65535" },
        { "WORD", "-1",
            "-1 is not a valid value for field 'WORD'. The allowed range is 0 to 65535" },
        { "INT", "2147483647", "2147483647" },
        { "INT", "abc", "'abc' is not a valid integer value" },
        { "INT", "1.5", "'1.5' is not a valid integer value" },
        { "BIG", "-9223372036854775808", "-9223372036854775808" },
        { "FLT", "1.5E-7", "1.5E-7" },
        { "FLT", "x1", "'x1' is not a valid floating point value" },
        { "CUR", "12.25", "12.25" },
        { "BCD", "12.345", "12.34" }, // two places, half to even
        { "BCD", "1,5", "'1,5' is not a valid BCD value" },
        { "BOOL", "true", "True" },
        { "BOOL", "yes", "'yes' is not a valid boolean" },
        { "DAY", "2000-1-2", "2000-01-02" },
        { "DAY", "2000-02-30", "'2000-02-30' is not a valid date" },
        { "TIM", "12:30:15", "12:30:15" },
        { "TIM", "25:00", "'25:00' is not a valid time" },
        { "STAMP", "2000-01-01 12:00", "2000-01-01 12:00" },
        { "STAMP", "noon", "'noon' is not a valid date and time" },
        { "TEXT", "abcdefgh", "abcde" },
        { "VAR", "abcdef", "abcd" },
    };
    for (const TextCase& c : cases) {
        TField& field = Field(c.field);
        std::string result = ErrorText([&] { field.SetAsString(c.input); });
        if (result == "<no error>")
            result = field.AsString();
        EXPECT_EQ(result, c.expected) << c.field << " <- " << c.input;
    }
    // Fixed bytes keep their size; an empty text clears the other kinds.
    Field("BYTES").SetAsString("ab");
    EXPECT_EQ(Field("BYTES").AsString(), std::string("ab\0\0", 4));
    for (const char* name : { "SMALL", "INT", "FLT", "BCD", "BOOL", "DAY", "STAMP" }) {
        Field(name).SetAsString("");
        EXPECT_TRUE(Field(name).IsNull()) << name;
        EXPECT_EQ(Field(name).AsString(), "") << name;
    }
}

TEST_F(FieldKindsTest, TypedAccessorsConvertBetweenKinds) {
    Field("INT").SetAsFloat(2.5);
    EXPECT_EQ(Field("INT").AsInteger(), 3);
    EXPECT_EQ(Field("INT").AsCurrency(), TCurrency { 30000 });
    Field("FLT").SetAsInteger(-7);
    EXPECT_EQ(Field("FLT").AsFloat(), -7.0);
    Field("FLT").SetAsFloat(1.25);
    EXPECT_EQ(Field("FLT").AsCurrency(), TCurrency { 12500 });
    Field("BCD").SetAsCurrency(TCurrency { 123456 }); // 12.3456 at two places
    EXPECT_EQ(Field("BCD").AsCurrency(), TCurrency { 123500 });
    EXPECT_EQ(Field("BCD").AsFloat(), 12.35);
    Field("BIG").SetAsLargeInt(int64_t(1) << 40);
    EXPECT_EQ(Field("BIG").AsFloat(), std::ldexp(1.0, 40));
    EXPECT_EQ(ErrorText([&] { (void)Field("BIG").AsInteger(); }),
        "1099511627776 is not a valid value for field 'BIG'. The allowed range is -2147483648 "
        "to 2147483647");

    // Dates keep their day, times their time of day.
    const double noon_2000 = 730120.0 * 86'400'000 + 43'200'000;
    Field("DAY").SetAsDateTime(TDateTime { noon_2000 });
    EXPECT_EQ(Field("DAY").AsDateTime(), TDateTime { 730120.0 * 86'400'000 });
    EXPECT_EQ(Field("DAY").AsString(), "2000-01-01");
    Field("TIM").SetAsDateTime(TDateTime { noon_2000 });
    EXPECT_EQ(Field("TIM").AsDateTime(), TDateTime { 43'200'000 });
    Field("STAMP").SetAsDateTime(TDateTime { noon_2000 });
    EXPECT_EQ(Field("STAMP").AsString(), "2000-01-01 12:00");
    Field("TEXT").SetAsInteger(42);
    EXPECT_EQ(Field("TEXT").AsInteger(), 42);
    Field("TEXT").SetAsString("4x");
    EXPECT_EQ(
        ErrorText([&] { (void)Field("TEXT").AsInteger(); }), "'4x' is not a valid integer value");

    struct Refusal {
        std::function<void()> action;
        const char* text;
    };
    const Refusal refusals[] = {
        { [&] { (void)Field("BOOL").AsInteger(); }, "Cannot access field 'BOOL' as type Integer" },
        { [&] { Field("DAY").SetAsBoolean(true); }, "Cannot access field 'DAY' as type Boolean" },
        { [&] { Field("FLT").SetAsFloat(std::numeric_limits<double>::quiet_NaN()); },
            "Invalid value for field 'FLT'" },
        { [&] { Field("INT").SetAsFloat(1e300); }, "Invalid value for field 'INT'" },
        { [&] { Field("DAY").SetAsDateTime(TDateTime { -5.0 * 86'400'000 }); },
            "Invalid value for field 'DAY'" },
        { [&] { Field("SMALL").SetAsInteger(70000); },
            "70000 is not a valid value for field 'SMALL'. The allowed range is -32768 to 32767" },
    };
    for (const Refusal& r : refusals)
        EXPECT_EQ(ErrorText(r.action), r.text);

    // Error texts name the field by its display label.
    Field("BOOL").SetDisplayLabel("Active");
    EXPECT_EQ(
        ErrorText([&] { Field("BOOL").SetAsString("maybe"); }), "'maybe' is not a valid boolean");
    EXPECT_EQ(ErrorText([&] { (void)Field("BOOL").AsFloat(); }),
        "Cannot access field 'Active' as type Float");
}

TEST_F(FieldKindsTest, ValuesRoundTripThroughVariants) {
    const std::pair<const char*, TVariant> values[] = {
        { "SMALL", TVariant(-5) },
        { "BIG", TVariant(int64_t(1) << 50) },
        { "FLT", TVariant(0.125) },
        { "BCD", TVariant(TCurrency { 15000 }) },
        { "BOOL", TVariant(true) },
        { "DAY", TVariant(TDateTime { 730120.0 * 86'400'000 }) },
        { "TEXT", TVariant("abc") },
    };
    for (const auto& [name, value] : values) {
        Field(name).SetValue(value);
        EXPECT_EQ(Field(name).Value(), value) << name;
        Field(name).SetValue(TVariant());
        EXPECT_TRUE(Field(name).Value().IsNull()) << name;
    }
    // A variant of another kind goes through that kind's setter.
    Field("INT").SetValue(TVariant("17"));
    EXPECT_EQ(Field("INT").AsInteger(), 17);
    Field("TEXT").SetValue(TVariant(2.5));
    EXPECT_EQ(Field("TEXT").AsString(), "2.5");
}

TEST_F(FieldKindsTest, DefaultFieldsMatchTheirDefinitions) {
    EXPECT_TRUE(table.DefaultFields());
    EXPECT_EQ(table.Fields().Count(), 16);
    EXPECT_NE(dynamic_cast<TSmallintField*>(&Field("SMALL")), nullptr);
    EXPECT_NE(dynamic_cast<TWordField*>(&Field("WORD")), nullptr);
    EXPECT_NE(dynamic_cast<TLargeintField*>(&Field("BIG")), nullptr);
    EXPECT_NE(dynamic_cast<TCurrencyField*>(&Field("CUR")), nullptr);
    EXPECT_NE(dynamic_cast<TBCDField*>(&Field("BCD")), nullptr);
    EXPECT_NE(dynamic_cast<TDateField*>(&Field("DAY")), nullptr);
    EXPECT_NE(dynamic_cast<TTimeField*>(&Field("TIM")), nullptr);
    EXPECT_NE(dynamic_cast<TVarBytesField*>(&Field("VAR")), nullptr);
    EXPECT_NE(dynamic_cast<TAutoIncField*>(&Field("AUTO")), nullptr);
    EXPECT_EQ(Field("TEXT").Size(), 5);
    EXPECT_EQ(Field("TEXT").DataSize(), 6);
    EXPECT_EQ(Field("BCD").Size(), 2);
    EXPECT_EQ(Field("WORD").FieldNo(), 3);
    EXPECT_EQ(Field("WORD").Index(), 2);
    EXPECT_EQ(Field("TEXT").DisplayLabel(), "TEXT");
    EXPECT_EQ(table.FindField("text"), &Field("TEXT"));
}

// ---------------------------------------------------------------- Persistent fields

TEST_F(DataSetFixture, PersistentFieldsAreBoundByNameAndOutliveTheOpen) {
    Fill(2);
    TStringField& name = table.AddField<TStringField>("NAME", 10);
    TMemoField& note = table.AddField<TMemoField>("NOTE");
    table.Open();
    EXPECT_FALSE(table.DefaultFields());
    EXPECT_EQ(table.Fields().Count(), 2);
    EXPECT_EQ(name.FieldNo(), 2);
    EXPECT_EQ(note.FieldNo(), 6);
    EXPECT_EQ(table.FindField("ID"), nullptr);
    EXPECT_EQ(name.AsString(), "n1");
    EXPECT_EQ(note.AsString(), "note 1");
    table.Close();
    EXPECT_EQ(table.Fields().Count(), 2);
    EXPECT_EQ(name.FieldNo(), 0);
    // A closed dataset has no current record: the field reads as null.
    EXPECT_TRUE(name.IsNull());
    table.Open();
    EXPECT_EQ(name.AsString(), "n1");
    table.Close();

    // The definitions can be read while the dataset is closed.
    table.FieldDefs().SetUpdated(false);
    table.FieldDefs().Update();
    ASSERT_EQ(table.FieldDefs().Count(), 6);
    EXPECT_EQ(table.FieldDefs().Find("note").DataType, ftMemo);
    EXPECT_TRUE(table.FieldDefs()[0].Required());
    EXPECT_EQ(ErrorText([&] { table.FieldDefs().Find("X"); }), "Field 'X' not found");
}

TEST_F(DataSetFixture, PersistentFieldsMustMatchTheTable) {
    table.AddField<TIntegerField>("NAME");
    EXPECT_EQ(ErrorText([&] { table.Open(); }),
        "Type mismatch for field 'NAME', expecting: Integer actual: String");
    EXPECT_FALSE(table.Active());

    TMemoryDataSet sized { TMemoryDataSet::StandardColumns() };
    sized.AddField<TStringField>("NAME", 20);
    EXPECT_EQ(ErrorText([&] { sized.Open(); }),
        "Size mismatch for field 'NAME', expecting: 20 actual: 10");
    EXPECT_EQ(ErrorText([&] { sized.AddField<TStringField>("name", 10); }),
        "Duplicate field name 'name'");
}

TEST_F(DataSetFixture, AssignedTextsAreCutToTheFieldSize) {
    Fill(1);
    TStringField& name = table.AddField<TStringField>("NAME", 10);
    table.AddField<TIntegerField>("ID");
    table.Open();
    table.Edit();
    name.SetAsString("abcdefghijklmnop");
    EXPECT_EQ(name.AsString(), "abcdefghij");
    table.Post();
    EXPECT_EQ(table.StoredName(10), "abcdefghij");
}

TEST_F(DataSetFixture, ReadOnlyFieldsRefuseWrites) {
    Fill(1);
    table.Open();
    table.FieldByName("NAME").SetReadOnly(true);
    table.FieldByName("NOTE").SetReadOnly(true);
    table.Edit();
    EXPECT_EQ(ErrorText([&] { table.FieldByName("NAME").SetAsString("x"); }),
        "Field 'NAME' cannot be modified");
    EXPECT_EQ(ErrorText([&] { table.FieldByName("NOTE").SetAsString("x"); }),
        "Field 'NOTE' cannot be modified");
    EXPECT_EQ(Name(), "n1");
}

// ---------------------------------------------------------------- Memo through the stream

TEST_F(DataSetFixture, MemoTextsTravelThroughTheBlobStream) {
    Fill(2);
    table.Open();
    TField& note = table.FieldByName("NOTE");
    EXPECT_EQ(note.AsString(), "note 1");
    EXPECT_EQ(note.DisplayText(), "(MEMO)");
    table.Next();
    EXPECT_TRUE(note.IsNull());
    EXPECT_EQ(note.AsString(), "");
    EXPECT_EQ(note.DisplayText(), "(Memo)");

    // Written twice in one edit: the second text replaces the first. Nothing is stored
    // before the post.
    table.Edit();
    note.SetAsString("first text");
    note.SetAsString("second");
    EXPECT_EQ(note.AsString(), "second");
    EXPECT_FALSE(note.IsNull());
    EXPECT_TRUE(table.Modified());
    EXPECT_EQ(table.StoredNote(20), std::nullopt);
    table.Post();
    EXPECT_EQ(table.StoredNote(20), "second");
    EXPECT_EQ(table.PendingBlobs(), 0u);

    // Cancel drops the pending text.
    table.Edit();
    note.SetAsString("never stored");
    table.Cancel();
    EXPECT_EQ(note.AsString(), "second");
    EXPECT_EQ(table.StoredNote(20), "second");
    EXPECT_EQ(table.PendingBlobs(), 0u);

    // A read-write stream keeps the text and appends at its end.
    table.Edit();
    {
        std::unique_ptr<TStream> stream = table.CreateBlobStream(note, bmReadWrite);
        EXPECT_EQ(stream->Size(), 6);
        stream->Seek(0, soEnd);
        stream->Write(" more", 5);
    }
    EXPECT_EQ(note.AsString(), "second more");
    note.Clear();
    table.Post();
    EXPECT_EQ(table.StoredNote(20), std::nullopt);
}

TEST_F(DataSetFixture, AMemoFieldDataLinkFollowsTheCurrentRecord) {
    Fill(3);
    TDataSource source(&table);
    TFieldDataLink memo;
    memo.SetFieldName("NOTE");
    std::vector<std::string> shown;
    memo.OnDataChange = [&] { shown.push_back(memo.Field() ? memo.Field()->AsString() : "-"); };
    memo.SetDataSource(&source);
    table.Open();
    ASSERT_EQ(memo.Field(), &table.FieldByName("NOTE"));
    table.Next();
    table.Next();
    table.Edit();
    memo.Field()->SetAsString("typed");
    // The write stream announces the change when it closes.
    EXPECT_EQ(shown.back(), "typed");
    table.Cancel();
    EXPECT_EQ(shown.back(), "note 3");
    EXPECT_EQ(shown.front(), "note 1");
    table.Close();
    EXPECT_EQ(memo.Field(), nullptr);
}

} // namespace
} // namespace zolvek::testing
