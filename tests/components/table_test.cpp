// The table component as the glossary drives it: a directory path as the database, the table
// check, open, counts, index switching, adding and correcting records with their memo.
#include "components_fixture.h"

#include "db/components/component_errors.h"

namespace zolvek {
namespace {

using namespace zolvek::testing;

// "kalem", "kap", "Kara", "ılık", "İnce" and "armut" with explanations; Windows-1254 bytes.
const std::vector<std::pair<std::string, std::string>> kWords = {
    { "kalem", "yaz\xFD yazmaya yarayan ara\xE7" },
    { "kap",
        "i\xE7ine bir \xFE"
        "ey konulan nesne" },
    { "Kara", "siyah" },
    { "\xFDl\xFDk",
        "ne s\xFD"
        "cak ne so\xF0uk" },
    { "\xDDnce", "kal\xFDn olmayan" },
    { "armut", "" },
};

class GlossaryFlowTest : public ComponentsTest {
protected:
    void SetUp() override {
        CreateTableIn(dir.Path());
        GlossaryLoader loader(dir.Path());
        for (const auto& [word, explanation] : kWords)
            loader.Add(word, explanation);
    }
};

TEST_F(GlossaryFlowTest, TablePresentLooksWithoutCreatingFiles) {
    ScratchDir empty;
    GlossaryTable missing(empty.Path());
    EXPECT_FALSE(missing.TablePresent());
    EXPECT_TRUE(std::filesystem::is_empty(empty.Path()));
    EXPECT_FALSE(missing.Active());

    GlossaryTable table(dir.Path());
    EXPECT_TRUE(table.TablePresent());
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.Database(), nullptr);

    GlossaryTable unnamed(dir.Path(), "");
    EXPECT_FALSE(unnamed.TablePresent());
}

TEST_F(GlossaryFlowTest, OpensCountsAddsAndCorrectsLikeTheMainWindow) {
    GlossaryTable table(dir.Path());
    ASSERT_TRUE(table.TablePresent());
    table.Open();
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_FALSE(table.ReadOnly());
    EXPECT_FALSE(table.Exclusive());
    EXPECT_EQ(table.RecordCount(), int32_t(kWords.size()));
    // The primary index is the order of insertion.
    EXPECT_EQ(table.word->AsString(), "kalem");
    EXPECT_EQ(table.explanation->AsString(), kWords[0].second);
    EXPECT_EQ(table.word->Origin(), "datalar.ANAHTAR");

    // "Yeni Kayıt Ekle": Append, Edit (nothing in insert), the three fields, Post.
    table.Append();
    table.Edit();
    EXPECT_EQ(table.State(), dsInsert);
    table.word->SetAsString("\xE7"
                            "ay");
    table.explanation->SetAsString("i\xE7"
                                   "ecek");
    table.letter->SetAsString("\xE7");
    table.Post();
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(table.RecordCount(), int32_t(kWords.size() + 1));
    EXPECT_EQ(table.word->AsString(),
        "\xE7"
        "ay");
    EXPECT_EQ(table.explanation->AsString(),
        "i\xE7"
        "ecek");

    // "Kayıt Düzelt": Edit, the memo only, Post.
    table.First();
    table.Edit();
    table.explanation->SetAsString("kur\xFEun kalem");
    table.Post();
    EXPECT_EQ(table.word->AsString(), "kalem");
    EXPECT_EQ(table.explanation->AsString(), "kur\xFEun kalem");

    table.Close();
    EXPECT_FALSE(table.Active());
    table.Close();
    // Closing left the temporary database open for the next open.
    TZOLVEKDatabase* database
        = TZOLVEKEngine::Engine().DefaultSession().LookupDatabase(dir.Path() + "/");
    ASSERT_NE(database, nullptr);
    EXPECT_TRUE(database->Temporary());
    EXPECT_TRUE(database->Connected());
    EXPECT_EQ(database->UseCount(), 0);

    // Everything reached the table.
    table.Open();
    EXPECT_EQ(table.RecordCount(), int32_t(kWords.size() + 1));
    EXPECT_EQ(table.explanation->AsString(), "kur\xFEun kalem");
    table.Last();
    EXPECT_EQ(table.word->AsString(),
        "\xE7"
        "ay");
    EXPECT_EQ(table.letter->AsString(), "\xE7");
}

TEST_F(GlossaryFlowTest, IndexNameSwitchesOrderAndKeepsTheRecord) {
    GlossaryTable table(dir.Path());
    table.Open();
    table.Next(); // "kap"
    table.SetIndexName("INDEXX");
    EXPECT_EQ(table.word->AsString(), "kap");
    // Turkish collation without letter case: a, ı, İ, k...
    EXPECT_EQ(table.Words(),
        (std::vector<std::string> { "armut", "\xFDl\xFDk", "\xDDnce", "kalem", "kap", "Kara" }));
    table.SetIndexName("ANAHTAR");
    table.First();
    EXPECT_EQ(table.word->AsString(), "armut");
    EXPECT_EQ(table.RecNo(), 1);
    table.SetIndexName("");
    EXPECT_EQ(table.Words()[0], "kalem");

    EXPECT_EQ(CodeOf([&] { table.SetIndexName("YOK"); }), ZOLVEK_INVALIDINDEXNAME);
    EXPECT_EQ(table.IndexName(), "");
    table.SetIndexFieldNames("ANAHTAR");
    EXPECT_EQ(table.Words()[0], "armut");
    EXPECT_THROW(table.SetIndexFieldNames("ACIKLAMA"), EDatabaseError);
    EXPECT_EQ(table.IndexFieldNames(), "ANAHTAR");
}

TEST_F(GlossaryFlowTest, KeysAndRangesOnTheActiveIndex) {
    GlossaryTable table(dir.Path());
    table.Open();
    EXPECT_EQ(
        MisuseText([&] { table.SetKey(); }), FormatDatabaseText(kIndexFieldAccess, { "RecordID" }));
    table.SetIndexName("INDEXX");
    EXPECT_TRUE(table.FindKey({ "KAP" }));
    EXPECT_EQ(table.word->AsString(), "kap");
    EXPECT_FALSE(table.FindKey({ "kapak" }));
    EXPECT_EQ(table.word->AsString(), "kap");
    table.FindNearest({ "kar" });
    EXPECT_EQ(table.word->AsString(), "Kara");

    table.SetKey();
    EXPECT_EQ(table.State(), dsSetKey);
    EXPECT_EQ(MisuseText([&] { table.letter->SetAsString("k"); }),
        FormatDatabaseText(kFieldNotInIndex, { "INDEX" }));
    table.word->SetAsString("armut");
    table.Cancel();
    EXPECT_EQ(table.State(), dsBrowse);
    table.EditKey();
    EXPECT_EQ(table.word->AsString(), "kar");
    table.word->SetAsString("kalem");
    EXPECT_TRUE(table.GotoKey());
    EXPECT_EQ(table.word->AsString(), "kalem");

    table.SetRange({ "\xFDl\xFDk" }, { "kalem" });
    EXPECT_EQ(table.RecordCount(), 3);
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "\xFDl\xFDk", "\xDDnce", "kalem" }));
    table.CancelRange();
    EXPECT_EQ(table.RecordCount(), int32_t(kWords.size()));
}

TEST_F(GlossaryFlowTest, DefinitionsOfAClosedTableAndNamesThatArePaths) {
    TZOLVEKTable table;
    table.SetTableName(dir.Path() + "/datalar");
    EXPECT_EQ(table.TableName(), "datalar");
    EXPECT_EQ(table.DatabaseName(), ToBackslashes(dir.Path() + "/"));

    table.FieldDefs().Update();
    ASSERT_EQ(table.FieldDefs().Count(), 3);
    EXPECT_EQ(table.FieldDefs()[0].Name, "ANAHTAR");
    EXPECT_EQ(table.FieldDefs()[0].DataType, ftString);
    EXPECT_EQ(table.FieldDefs()[0].Size, 175);
    EXPECT_EQ(table.FieldDefs()[1].DataType, ftMemo);
    EXPECT_EQ(table.FieldDefs()[2].FieldNo, 3);
    table.IndexDefs().Update();
    ASSERT_EQ(table.IndexDefs().Count(), 3);
    EXPECT_EQ(table.IndexDefs()[0].DisplayName(), "<Primary>");
    EXPECT_EQ(table.IndexDefs()[0].Fields, "RecordID");
    EXPECT_EQ(table.IndexDefs()[2].Name, "ANAHTAR");
    EXPECT_EQ(table.IndexDefs()[2].Fields, "INDEX;ANAHTAR");
    EXPECT_EQ(table.IndexDefs()[2].Options, ixCaseInsensitive);
    EXPECT_EQ(table.IndexDefs()[2].Compression, icFull);
    EXPECT_EQ(table.IndexDefs().FindForFields("index")->Name, "ANAHTAR");
    // Reading them held the database only meanwhile.
    EXPECT_EQ(table.Database(), nullptr);
    EXPECT_FALSE(table.Active());

    // Default fields come from the definitions, with the table's origin.
    table.Open();
    EXPECT_TRUE(table.DefaultFields());
    EXPECT_EQ(table.FieldByName("aciklama").DataType(), ftMemo);
    EXPECT_EQ(table.FieldByName("INDEX").Origin(), "datalar.INDEX");
    table.Close();
    EXPECT_EQ(table.Fields().Count(), 0);

    TZOLVEKTable unnamed;
    unnamed.SetDatabaseName(dir.Path());
    EXPECT_EQ(MisuseText([&] { unnamed.Open(); }), kMissingTableName);
    EXPECT_EQ(unnamed.Database(), nullptr);
}

TEST_F(ComponentsTest, CreateTableFromDefinitionsAndCopyOnAppend) {
    TZOLVEKTable table;
    table.SetTableName("kelimeler");
    table.SetDatabaseName(dir.Path());
    table.FieldDefs().Add("KELIME", ftString, 40, true);
    auto note = std::make_unique<TZOLVEKFieldDef>("NOT", ftMemo, 0, false, 0);
    note->Description = "A\xE7\xFDklama";
    note->Compression = 9;
    table.FieldDefs().Add(std::move(note));
    table.FieldDefs().Add("SAYI", ftInteger);
    table.FieldDefs().Add("TUTAR", ftBCD, 2);
    table.IndexDefs().Add("", "KELIME", ixPrimary | ixUnique | ixCaseInsensitive);
    table.IndexDefs().Add("SAYILAR", "SAYI;KELIME", ixDescending);
    TZOLVEKTableOptions options;
    options.LocaleID = 1055;
    table.CreateTable(options);
    EXPECT_TRUE(table.TablePresent());

    table.AutoDisplayLabels = true;
    table.CopyOnAppend = true;
    table.Open();
    EXPECT_EQ(table.FieldByName("NOT").DisplayLabel(), "A\xE7\xFDklama");
    EXPECT_EQ(table.FieldByName("KELIME").DisplayLabel(), "KELIME");
    EXPECT_TRUE(table.FieldByName("KELIME").Required());
    EXPECT_EQ(MisuseText([&] {
        table.Append();
        table.Post();
    }),
        FormatDatabaseText(kFieldRequired, { "KELIME" }));
    table.Cancel();
    table.AppendRecord({ "elma", "k\xFDrm\xFDz\xFD meyve", 3, TCurrency { 12500 } });
    EXPECT_EQ(table.FieldByName("TUTAR").AsString(), "1.25");

    // A new record starts as a copy of the current one, memo included.
    table.Append();
    EXPECT_EQ(table.FieldByName("SAYI").AsInteger(), 3);
    EXPECT_EQ(table.FieldByName("NOT").AsString(), "k\xFDrm\xFDz\xFD meyve");
    EXPECT_EQ(table.FieldByName("KELIME").OldValue(), TVariant("elma"));
    EXPECT_EQ(CodeOf([&] { table.Post(); }), ZOLVEK_KEYVIOL); // the primary key is the word
    table.FieldByName("KELIME").SetAsString("armut");
    table.Post();
    EXPECT_EQ(table.RecordCount(), 2);
    table.First();
    EXPECT_EQ(table.FieldByName("KELIME").AsString(), "armut");
    EXPECT_EQ(table.FieldByName("NOT").AsString(), "k\xFDrm\xFDz\xFD meyve");
    table.SetIndexName("SAYILAR");
    table.IndexDefs().Update();
    EXPECT_EQ(table.IndexDefs().Find("sayilar")->Options, ixDescending);
}

// Every kind of field through the field objects into the engine's record and back.
TEST_F(ComponentsTest, FieldValuesOfEveryTypeRoundTrip) {
    TZOLVEKTable table;
    table.SetTableName("turler");
    table.SetDatabaseName(dir.Path());
    struct Column {
        const char* name;
        TFieldType type;
        int32_t size;
        const char* text;
    };
    const std::vector<Column> columns = {
        { "NO", ftAutoInc, 0, nullptr },
        { "KISA", ftSmallint, 0, "-1234" },
        { "TAM", ftInteger, 0, "2000000000" },
        { "KELIME", ftWord, 0, "65535" },
        { "BUYUK", ftLargeint, 0, "-9000000000000" },
        { "ORAN", ftFloat, 0, "0.125" },
        { "PARA", ftCurrency, 0, "12.5" },
        { "TUTAR", ftBCD, 2, "1234.56" },
        { "EVET", ftBoolean, 0, "True" },
        { "GUN", ftDate, 0, "2024-02-29" },
        { "SAAT", ftTime, 0, "23:59:58" },
        { "AN", ftDateTime, 0, "1999-12-31 12:30:15" },
        { "BAYT", ftBytes, 4, "ab\x01z" },
        { "DEGISKEN", ftVarBytes, 10, "\x01\x02\x03" },
        { "SABIT", ftFixedChar, 5, "x y" },
        { "METIN", ftString, 8, "\xFE\xFC\xE7" },
    };
    for (const Column& column : columns)
        table.FieldDefs().Add(column.name, column.type, column.size);
    table.CreateTable();

    table.Open();
    ASSERT_EQ(table.Fields().Count(), int32_t(columns.size()));
    table.Append();
    for (const Column& column : columns) {
        if (column.text != nullptr)
            table.FieldByName(column.name).SetAsString(column.text);
    }
    table.Post();
    table.AppendRecord({});
    table.Close();

    table.Open();
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_EQ(table.FieldByName("NO").AsInteger(), 1);
    for (const Column& column : columns) {
        if (column.text != nullptr) {
            EXPECT_EQ(table.FieldByName(column.name).AsString(), column.text) << column.name;
        }
    }
    EXPECT_EQ(table.FieldByName("DEGISKEN").AsString().size(), 3u);
    // A string longer than its field is cut to the field's size.
    table.Edit();
    table.FieldByName("METIN").SetAsString("uzun bir metin");
    table.Post();
    EXPECT_EQ(table.FieldByName("METIN").AsString(), "uzun bir");

    table.Next();
    EXPECT_EQ(table.FieldByName("NO").AsInteger(), 2);
    for (const Column& column : columns) {
        if (column.text != nullptr) {
            EXPECT_TRUE(table.FieldByName(column.name).IsNull()) << column.name;
        }
    }
}

TEST_F(GlossaryFlowTest, CalculatedFieldsLiveBesideTheRecord) {
    GlossaryTable table(dir.Path());
    auto& length = table.AddField<TIntegerField>("UZUNLUK");
    length.SetFieldKind(fkCalculated);
    table.OnCalcFields
        = [&](TDataSet&) { length.SetAsInteger(int32_t(table.word->AsString().size())); };
    table.Open();
    EXPECT_EQ(length.AsInteger(), 5); // "kalem"
    table.Next();
    EXPECT_EQ(length.AsInteger(), 3); // "kap"
    table.Edit();
    table.word->SetAsString("kapaklar");
    EXPECT_EQ(length.AsInteger(), 8);
    table.Post();
    EXPECT_EQ(length.AsInteger(), 8);
    EXPECT_EQ(table.word->AsString(), "kapaklar");
}

TEST_F(GlossaryFlowTest, AnExclusiveTableKeepsOthersOut) {
    GlossaryTable mine(dir.Path());
    mine.SetExclusive(true);
    mine.Open();
    EXPECT_EQ(MisuseText([&] { mine.SetExclusive(false); }), kDataSetOpen);
    GlossaryTable theirs(dir.Path());
    EXPECT_EQ(CodeOf([&] { theirs.Open(); }), ZOLVEK_OSEACCES);
    EXPECT_FALSE(theirs.Active());
    mine.Close();
    theirs.Open();
    EXPECT_EQ(theirs.RecordCount(), int32_t(kWords.size()));
}

} // namespace
} // namespace zolvek
