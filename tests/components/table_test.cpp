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

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

using namespace zolvek::testing;

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

} // namespace
} // namespace zolvek
