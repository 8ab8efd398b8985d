// The search modes of the glossary on its table component: filter texts with letter case
// ignored, the record callback with Turkish folding, locate, the find operations, lookups, the
// sort orders under a filter, and record counts.
#include "components_fixture.h"

#include "db/components/component_errors.h"

namespace zolvek {
namespace {

using namespace zolvek::testing;

// The glossary's case fold: each letter of the lower alphabet becomes the letter at the same
// place of the upper one (Windows-1254); everything else stays.
std::string Fold(const std::string& text) {
    static const std::string kLower = "abc\xE7"
                                      "defg\xF0h\xFDijklmno\xF6pqrs\xFEtu\xFCvwxyz";
    static const std::string kUpper = "ABC\xC7"
                                      "DEFG\xD0HI\xDDJKLMNO\xD6PQRS\xDETU\xDCVWXYZ";
    std::string folded = text;
    for (char& c : folded) {
        size_t at = kLower.find(c);
        if (at != std::string::npos)
            c = kUpper[at];
    }
    return folded;
}

class SearchModesTest : public ComponentsTest {
protected:
    // The main window's state: the checked mode and the holder cell of "S1X".
    bool advanced_mode = false;
    std::string holder;
    int callbacks = 0;

    void SetUp() override {
        CreateTableIn(dir.Path());
        GlossaryLoader loader(dir.Path());
        for (const char* word : { "kalem", "kap", "Kara", "\xFDl\xFDk", "\xDDnce",
                 "I\xF0"
                 "d\xFDr",
                 "armut", "o'nlar", "sak\xFDz" })
            loader.Add(word, std::string("a\xE7\xFDklama: ") + word);
    }

    // Table1FilterRecord.
    void FilterRecord(TDataSet& dataset, bool& accept) {
        ++callbacks;
        if (!advanced_mode || !accept)
            return;
        const std::string& s = holder;
        if (s.empty() || s == "*")
            return;
        std::string a = Fold(dataset.FieldByName("ANAHTAR").AsString());
        if (s[0] == '*' && a.find(Fold(s.substr(1))) != std::string::npos)
            return;
        std::string folded = Fold(s);
        accept = a.compare(0, folded.size(), folded) == 0;
    }

    void OpenLikeTheMainWindow(GlossaryTable& table) {
        table.SetOnFilterRecord(
            [this](TDataSet& dataset, bool& accept) { FilterRecord(dataset, accept); });
        ASSERT_TRUE(table.TablePresent());
        table.Open();
    }

    // A mode switch: through the unfiltered state, then filtered with an empty text.
    static void SwitchMode(GlossaryTable& table, bool filtered) {
        table.SetFiltered(false);
        table.First();
        table.SetFilter("");
        if (filtered)
            table.SetFiltered(true);
    }

    // S2Change: the typed text as a quoted prefix.
    static void TypeInS2(GlossaryTable& table, const std::string& typed) {
        if (typed.empty()) {
            table.SetFilter("");
            table.First();
            return;
        }
        std::string quoted;
        for (char c : typed + "*")
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        table.SetFilter("[ANAHTAR]='" + quoted + "'");
    }
};

// One session of the glossary from start to close, the calls in the order the windows make them.
TEST_F(SearchModesTest, TheGlossarysCallsFromStartToClose) {
    ScratchDir elsewhere;
    GlossaryTable missing(elsewhere.Path());
    EXPECT_FALSE(missing.TablePresent()); // "VERİ TABANLARINI BULAMADIM."
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.Path()));

    // FormShow: the executable's directory with a trailing separator, the check, the open.
    GlossaryTable table(dir.Path());
    OpenLikeTheMainWindow(table);
    EXPECT_EQ(table.RecordCount(), 9); // "ZENDO [9]"

    // "Sadece Benzerleri Göster": k, a typed.
    SwitchMode(table, true);
    TypeInS2(table, "k");
    TypeInS2(table, "ka");
    EXPECT_EQ(table.RecordCount(), 3);
    EXPECT_EQ(table.word->AsString(), "kalem");
    // The sort orders keep the filter.
    for (const char* index : { "INDEXX", "ANAHTAR", "" }) {
        table.SetIndexName(index);
        table.First();
        EXPECT_EQ(table.RecordCount(), 3) << index;
        EXPECT_EQ(table.word->AsString(), "kalem") << index;
    }

    // "Sadece Benzerleri Göster (Gelişmiş)": the callback, evaluated afresh at each key release.
    advanced_mode = true;
    SwitchMode(table, true);
    holder = "*ar";
    table.SetFiltered(false);
    table.SetFiltered(true);
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "Kara", "armut", "o'nlar" }));
    holder = "\xFD"; // ı
    table.SetFiltered(false);
    table.SetFiltered(true);
    EXPECT_EQ(table.Words(),
        (std::vector<std::string> { "\xFDl\xFDk",
            "I\xF0"
            "d\xFDr" }));

    // "Aranan Kayda Git": unfiltered, locate as the text grows.
    advanced_mode = false;
    SwitchMode(table, false);
    EXPECT_TRUE(table.Locate("ANAHTAR", "s", 3));
    EXPECT_TRUE(table.Locate("ANAHTAR", "sa", 3));
    EXPECT_EQ(table.word->AsString(), "sak\xFDz");
    EXPECT_FALSE(table.Locate("ANAHTAR", "sax", 3));
    EXPECT_EQ(table.word->AsString(), "sak\xFDz");

    // "Yeni Kayıt Ekle" and "Kayıt Düzelt".
    table.Append();
    table.Edit();
    table.word->SetAsString("kelebek");
    table.explanation->SetAsString("u\xE7"
                                   "an b\xF6"
                                   "cek");
    table.letter->SetAsString("k");
    table.Post();
    EXPECT_EQ(table.RecordCount(), 10);
    table.Edit();
    table.explanation->SetAsString("renkli kanatl\xFD b\xF6"
                                   "cek");
    table.Post();
    EXPECT_EQ(table.explanation->AsString(),
        "renkli kanatl\xFD b\xF6"
        "cek");
    EXPECT_EQ(table.word->AsString(), "kelebek");

    // FormClose.
    table.Close();
    table.Close();
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(MisuseText([&] { table.RecordCount(); }), kDataSetClosed);
}

TEST_F(SearchModesTest, FilterTextsIgnoreLetterCase) {
    GlossaryTable table(dir.Path());
    OpenLikeTheMainWindow(table);
    EXPECT_EQ(table.RecordCount(), 9);
    SwitchMode(table, true);
    EXPECT_EQ(table.RecordCount(), 9); // the callback accepts everything in this mode
    TypeInS2(table, "k");
    EXPECT_EQ(table.RecordCount(), 3);
    TypeInS2(table, "ka");
    EXPECT_EQ(table.RecordCount(), 3);
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "kalem", "kap", "Kara" }));
    TypeInS2(table, "KAR");
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "Kara" }));
    TypeInS2(table, "o'n");
    EXPECT_EQ(table.Filter(), "[ANAHTAR]='o''n*'");
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "o'nlar" }));
    TypeInS2(table, "xyz");
    EXPECT_EQ(table.RecordCount(), 0);
    EXPECT_TRUE(table.IsEmpty());
    TypeInS2(table, "");
    EXPECT_EQ(table.RecordCount(), 9);

    // The same text again keeps the filter and still moves to the first record.
    TypeInS2(table, "ka");
    table.Last();
    TypeInS2(table, "ka");
    EXPECT_EQ(table.word->AsString(), "kalem");

    // A text that does not parse changes nothing.
    EXPECT_NE(CodeOf([&] { table.SetFilter("[ANAHTAR]='ka"); }), 0);
    EXPECT_EQ(table.Filter(), "[ANAHTAR]='ka*'");
    EXPECT_EQ(table.RecordCount(), 3);

    // While not filtered the text is only stored.
    table.SetFiltered(false);
    table.SetFilter("[ANAHTAR]='");
    EXPECT_EQ(table.RecordCount(), 9);
    EXPECT_NE(CodeOf([&] { table.SetFiltered(true); }), 0);
    EXPECT_FALSE(table.Filtered());
    table.SetFilter("[ANAHTAR]='sak*'");
    table.SetFiltered(true);
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "sak\xFDz" }));

    // Counts of the filtered view, or of the table.
    TZOLVEKEngine::Engine().FilterRecordCounts = false;
    EXPECT_EQ(table.RecordCount(), 9);
    EXPECT_TRUE(table.Sequenced());
    TZOLVEKEngine::Engine().FilterRecordCounts = true;
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_FALSE(table.Sequenced());
}

TEST_F(SearchModesTest, TheRecordCallbackFoldsTurkishLetters) {
    GlossaryTable table(dir.Path());
    OpenLikeTheMainWindow(table);
    advanced_mode = true;
    holder = "\xFD\xF0"; // ı ğ
    SwitchMode(table, true);
    EXPECT_EQ(table.Words(),
        (std::vector<std::string> { "I\xF0"
                                    "d\xFDr" }));
    // Every key release: Filtered off and on evaluates the callback afresh.
    auto key_up = [&](const std::string& text) {
        holder = text;
        table.SetFiltered(false);
        table.SetFiltered(true);
    };
    key_up("i"); // folds to İ: "İnce", not "ılık"
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "\xDDnce" }));
    key_up("\xFD"); // ı folds to I: "ılık" and "Iğdır"
    EXPECT_EQ(table.Words(),
        (std::vector<std::string> { "\xFDl\xFDk",
            "I\xF0"
            "d\xFDr" }));
    key_up("*ak"); // anywhere inside the word
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "sak\xFDz" }));
    key_up("*ka");
    EXPECT_EQ(table.Words(), (std::vector<std::string> { "kalem", "kap", "Kara" }));
    key_up("*");
    EXPECT_EQ(table.RecordCount(), 9);
    key_up("*xyz");
    EXPECT_TRUE(table.IsEmpty());

    // The sort orders keep the mode and the filter.
    key_up("*a");
    int32_t count = table.RecordCount();
    table.SetIndexName("INDEXX");
    table.First();
    EXPECT_EQ(count, 6);
    EXPECT_EQ(table.Words(),
        (std::vector<std::string> { "armut", "kalem", "kap", "Kara", "o'nlar", "sak\xFDz" }));
    EXPECT_EQ(table.RecordCount(), count);
    table.SetIndexName("ANAHTAR");
    table.First();
    EXPECT_EQ(table.word->AsString(), "armut");
    EXPECT_EQ(table.RecordCount(), count);
    table.SetIndexName("");
    EXPECT_EQ(table.RecordCount(), count);

    // An error in the callback is reported and does not stop navigation.
    std::vector<std::string> reported;
    TApplicationExceptionHandler previous
        = SetApplicationExceptionHandler([&](std::exception_ptr e) {
              try {
                  std::rethrow_exception(e);
              } catch (const std::exception& error) {
                  reported.push_back(error.what());
              }
          });
    table.SetOnFilterRecord([](TDataSet& dataset, bool& accept) {
        accept = dataset.FieldByName("ANAHTAR").AsString() != "kap";
        if (!accept)
            dataset.FieldByName("YOK");
    });
    SetApplicationExceptionHandler(previous);
    EXPECT_EQ(reported, (std::vector<std::string> { "Field 'YOK' not found" }));
    EXPECT_EQ(table.RecordCount(), 8);
}

TEST_F(SearchModesTest, LocateFindAndLookup) {
    GlossaryTable table(dir.Path());
    OpenLikeTheMainWindow(table);
    // S3Change: the first key word that begins with the text, letter case ignored.
    EXPECT_TRUE(table.Locate("ANAHTAR", "KAR", loCaseInsensitive | loPartialKey));
    EXPECT_EQ(table.word->AsString(), "Kara");
    EXPECT_FALSE(table.Locate("ANAHTAR", "xyz", 3));
    EXPECT_EQ(table.word->AsString(), "Kara");
    table.Next();
    EXPECT_EQ(table.word->AsString(), "\xFDl\xFDk");
    EXPECT_FALSE(table.Locate("ANAHTAR", "KAR", loPartialKey));
    EXPECT_TRUE(table.Locate("anahtar;INDEX", std::vector<TVariant> { "kap", "k" }, 0));
    EXPECT_EQ(table.word->AsString(), "kap");
    table.SetIndexName("INDEXX");
    EXPECT_TRUE(table.Locate("ANAHTAR", "\xDD", 3));
    EXPECT_EQ(table.word->AsString(), "\xDDnce");

    EXPECT_EQ(MisuseText([&] { table.Locate("", "x", 0); }), kNoLocateFields);
    EXPECT_EQ(MisuseText([&] { table.Locate("ACIKLAMA", "x", 0); }),
        FormatDatabaseText(kBlobFieldInLocate, { "ACIKLAMA" }));
    EXPECT_EQ(MisuseText([&] { table.Locate("YOK", "x", 0); }),
        FormatDatabaseText(kFieldNotFound, { "YOK" }));

    std::vector<TVariant> found = table.Lookup("ANAHTAR", { "armut" }, "ACIKLAMA;INDEX");
    EXPECT_EQ(found, (std::vector<TVariant> { "a\xE7\xFDklama: armut", "a" }));
    EXPECT_TRUE(table.Lookup("ANAHTAR", { "yok" }, "INDEX").empty());
    EXPECT_EQ(table.word->AsString(), "\xDDnce");

    // The find family uses the filter while Filtered is false, and leaves it off.
    table.SetFilter("[ANAHTAR]='ka*'");
    EXPECT_TRUE(table.FindFirst());
    EXPECT_EQ(table.word->AsString(), "kalem");
    EXPECT_TRUE(table.FindNext());
    EXPECT_EQ(table.word->AsString(), "kap");
    EXPECT_TRUE(table.FindLast());
    EXPECT_EQ(table.word->AsString(), "Kara");
    EXPECT_TRUE(table.FindPrior());
    EXPECT_EQ(table.word->AsString(), "kap");
    EXPECT_EQ(table.RecordCount(), 9);
    table.Last();
    EXPECT_FALSE(table.FindNext());
    EXPECT_EQ(table.word->AsString(), "sak\xFDz");
}

} // namespace
} // namespace zolvek
