#include "support/test_support.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace zolvek {
namespace {

using testing::ScratchDir;

struct ToolRun {
    int status;
    std::string output;
};

// Runs the tool with `arguments` (already quoted for the shell); stdout and stderr together.
ToolRun Tool(const std::string& arguments) {
    std::string command = std::string(ZOLVEK_TOOL) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> chunk;
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), n);
    int status = pclose(pipe);
    return ToolRun { WIFEXITED(status) ? WEXITSTATUS(status) : -1, output };
}

class ZolvekToolTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string Quote(const std::string& text) { return "'" + text + "'"; }
    void CreateGlossary() {
        ToolRun created = Tool("create " + Quote(dir.Path())
            + " datalar --field ANAHTAR:string:175 --field ACIKLAMA:memo --field INDEX:string:1"
              " --index 'INDEXX:ANAHTAR:ci:compress=full' --index "
              "'ANAHTAR:INDEX;ANAHTAR:ci:compress=full'"
              " --locale 1055");
        ASSERT_EQ(created.status, 0) << created.output;
    }
};

TEST_F(ZolvekToolTest, GlossaryRoundTrip) {
    CreateGlossary();
    // Turkish letters in UTF-8, escapes in memos, a null memo, a long memo.
    std::string long_memo(5000, 'x');
    std::string tsv = "kalem\tYazı yazmaya yarayan araç.\\r\\nİki satır.\tk\n"
                      "ılık\tNe sıcak ne soğuk; \\\\ ters eğik çizgi, \\t sekme.\tı\n"
                      "Şemsiye\t\\N\tŞ\n"
                      "çay\t"
        + long_memo + "\tç\n";
    std::ofstream(dir.File("in.tsv")) << tsv;
    ToolRun imported
        = Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("in.tsv")));
    ASSERT_EQ(imported.status, 0) << imported.output;
    EXPECT_EQ(imported.output, "imported 4 records\n");

    ToolRun dumped = Tool("dump " + Quote(dir.Path()) + " datalar");
    ASSERT_EQ(dumped.status, 0) << dumped.output;
    EXPECT_EQ(dumped.output, tsv);

    ToolRun by_word = Tool("dump " + Quote(dir.Path()) + " datalar --index INDEXX");
    ASSERT_EQ(by_word.status, 0);
    std::vector<std::string> first_words;
    std::stringstream lines(by_word.output);
    for (std::string line; std::getline(lines, line);)
        first_words.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(first_words, (std::vector<std::string> { "çay", "ılık", "kalem", "Şemsiye" }));

    ToolRun verified = Tool("verify " + Quote(dir.Path()) + " datalar");
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_EQ(verified.output, "");

    ToolRun info = Tool("info " + Quote(dir.Path()) + " datalar");
    ASSERT_EQ(info.status, 0);
    EXPECT_NE(info.output.find("\"recordCount\": 4"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("\"name\": \"INDEXX\""), std::string::npos);
}

TEST_F(ZolvekToolTest, ErrorsAreEngineMessagesWithAnExitCode) {
    ToolRun missing = Tool("dump " + Quote(dir.Path()) + " yok");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(
        missing.output, "ZOLVEK Engine Error # 11010 Table or backup file 'yok' does not exist\n");
    CreateGlossary();
    ToolRun again = Tool("create " + Quote(dir.Path()) + " datalar --field A:string:5");
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.output, "ZOLVEK Engine Error # 13060 The table 'datalar' already exists\n");
    std::ofstream(dir.File("bad.tsv")) << "only two\tcolumns\n";
    ToolRun bad = Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("bad.tsv")));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("line 1: 2 columns, the table has 3 fields"), std::string::npos)
        << bad.output;
    EXPECT_EQ(Tool("frobnicate").status, 2);
}

TEST_F(ZolvekToolTest, CountDumpAndLocateAFilteredView) {
    CreateGlossary();
    std::string tsv;
    for (const char* word :
        { "kalem", "Kalemler", "KAR", "kale", "ayna", "ılık", "Irmak", "ilaç", "İnci", "ka*" })
        tsv += std::string(word) + "\taçıklama\t" + std::string(word).substr(0, 1) + "\n";
    std::ofstream(dir.File("in.tsv")) << tsv;
    ASSERT_EQ(
        Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("in.tsv"))).status, 0);
    std::string table = Quote(dir.Path()) + " datalar";

    struct Case {
        std::string options;
        std::string count;
    };
    for (const Case& c : std::vector<Case> {
             { "", "10\n" },
             { "--filter \"[ANAHTAR]='ka*'\" --ci", "5\n" },
             { "--filter \"[ANAHTAR]='ka*'\"", "3\n" },
             { "--filter \"[ANAHTAR]='ka*'\" --ci --no-partial", "1\n" },
             { "--filter \"[ANAHTAR]='ı*'\" --ci --index INDEXX", "2\n" },
             { "--filter \"[ANAHTAR] >= 'k' AND [ANAHTAR] < 'l'\" --index ANAHTAR", "5\n" },
         }) {
        ToolRun counted = Tool("count " + table + " " + c.options);
        EXPECT_EQ(counted.status, 0) << c.options;
        EXPECT_EQ(counted.output, c.count) << c.options;
    }

    ToolRun dumped = Tool("dump " + table + " --index INDEXX --filter \"[ANAHTAR]='ka*'\" --ci");
    ASSERT_EQ(dumped.status, 0) << dumped.output;
    EXPECT_EQ(dumped.output,
        "ka*\taçıklama\tk\n"
        "kale\taçıklama\tk\n"
        "kalem\taçıklama\tk\n"
        "Kalemler\taçıklama\tK\n"
        "KAR\taçıklama\tK\n");

    ToolRun located = Tool("locate " + table + " ANAHTAR=KALE --partial --ci");
    EXPECT_EQ(located.status, 0);
    EXPECT_EQ(located.output, "kale\taçıklama\tk\n");
    located = Tool("locate " + table + " ANAHTAR=i --partial --ci");
    EXPECT_EQ(located.output, "ilaç\taçıklama\ti\n");
    located = Tool("locate " + table + " INDEX=K ANAHTAR=kalemle --partial --ci");
    EXPECT_EQ(located.output, "Kalemler\taçıklama\tK\n");
    located = Tool("locate " + table + " ANAHTAR=Kal --partial");
    EXPECT_EQ(located.output, "Kalemler\taçıklama\tK\n");
    ToolRun missing = Tool("locate " + table + " ANAHTAR=yok --partial --ci");
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.output, "");

    ToolRun refused = Tool("count " + table + " --filter \"[ANAHTAR] = 'abc\"");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output,
        "ZOLVEK Engine Error # 10051 Filter error for the table 'datalar' - Missing ' in "
        "filter expression at line 1, column 13\n");
    ToolRun unknown = Tool("dump " + table + " --filter \"[YOK] = 1\"");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(
        unknown.output.find("Expected column name but instead found [YOK]"), std::string::npos)
        << unknown.output;
}

TEST_F(ZolvekToolTest, VerifyReportsADamagedIndex) {
    CreateGlossary();
    std::string tsv;
    for (int i = 0; i < 200; ++i)
        tsv += "kelime" + std::to_string(i) + "\taçıklama " + std::to_string(i) + "\tk\n";
    std::ofstream(dir.File("in.tsv")) << tsv;
    ASSERT_EQ(
        Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("in.tsv"))).status, 0);
    // Swap two keys' record numbers in the first page of the index file.
    std::fstream index(dir.File("datalar.idx"), std::ios::in | std::ios::out | std::ios::binary);
    index.seekp(25088 + 13 + 5);
    index.put(char(0x7F));
    index.close();
    ToolRun verified = Tool("verify " + Quote(dir.Path()) + " datalar");
    EXPECT_EQ(verified.status, 1) << verified.output;
    EXPECT_FALSE(verified.output.empty());
}

} // namespace
} // namespace zolvek
