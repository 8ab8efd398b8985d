#include "db/cursor/cursor.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/session.h"
#include "support/test_support.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>

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
        ToolRun created = Tool("create " + Quote(dir.Path()) + " datalar --glossary");
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

// Imports open the table shared: two at once both go in whole, and the table verifies.
TEST_F(ZolvekToolTest, TwoImportsAtOnceBothGoIn) {
    CreateGlossary();
    std::string first;
    std::string second;
    for (int i = 0; i < 300; ++i) {
        first += "bir" + std::to_string(i) + "\tilk dosyadan " + std::to_string(i) + "\tb\n";
        second += "iki" + std::to_string(i) + "\t\\N\ti\n";
    }
    std::ofstream(dir.File("first.tsv")) << first;
    std::ofstream(dir.File("second.tsv")) << second;
    ToolRun runs[2];
    std::thread a([&] {
        runs[0] = Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("first.tsv")));
    });
    std::thread b([&] {
        runs[1] = Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("second.tsv")));
    });
    a.join();
    b.join();
    EXPECT_EQ(runs[0].status, 0) << runs[0].output;
    EXPECT_EQ(runs[1].status, 0) << runs[1].output;
    ToolRun dumped = Tool("dump " + Quote(dir.Path()) + " datalar");
    std::multiset<std::string> rows;
    std::stringstream lines(dumped.output);
    for (std::string line; std::getline(lines, line);)
        rows.insert(line + "\n");
    std::multiset<std::string> expected;
    for (const std::string* text : { &first, &second }) {
        std::stringstream in(*text);
        for (std::string line; std::getline(in, line);)
            expected.insert(line + "\n");
    }
    EXPECT_TRUE(rows == expected) << rows.size() << " rows";
    ToolRun verified = Tool("verify " + Quote(dir.Path()) + " datalar");
    EXPECT_EQ(verified.status, 0) << verified.output;
}

// What users meet around the engine's messages: a table held exclusively by another program,
// a directory that is not there, a create into a directory not made yet.
TEST_F(ZolvekToolTest, PlainWordsAfterTheEngineMessage) {
    CreateGlossary();
    std::ofstream(dir.File("in.tsv")) << "kalem\t\\N\tk\n";
    {
        TDataEngine engine;
        engine.StartEngine();
        TDataSession* session = engine.CreateSession();
        TDataCursor holder(*session->OpenDirectory("o", dir.Path(), false), "datalar");
        holder.Exclusive = true;
        holder.OpenTable();
        ToolRun refused
            = Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("in.tsv")));
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.output.find("ZOLVEK Engine Error # 11013"), std::string::npos)
            << refused.output;
        EXPECT_NE(refused.output.find("another program has the table open exclusively"),
            std::string::npos)
            << refused.output;
    }
    ToolRun imported = Tool(
        "import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("in.tsv")) + " --exclusive");
    EXPECT_EQ(imported.status, 0) << imported.output;

    ToolRun missing = Tool("dump " + Quote(dir.File("yok/yok")) + " datalar");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("ZOLVEK Engine Error # 11010"), std::string::npos)
        << missing.output;
    EXPECT_NE(missing.output.find("there is no directory"), std::string::npos) << missing.output;

    ToolRun created = Tool("create " + Quote(dir.File("yeni/alt")) + " t --field A:string:5");
    EXPECT_EQ(created.status, 0) << created.output;
    EXPECT_TRUE(std::filesystem::exists(dir.File("yeni/alt/t.dat")));
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

// repair puts a damaged index right and lists the records it could not keep in its report.
TEST_F(ZolvekToolTest, RepairLeavesATableThatVerifiesAndListsWhatItDropped) {
    CreateGlossary();
    std::string tsv;
    for (int i = 0; i < 50; ++i)
        tsv += "kelime" + std::to_string(i) + "\taçıklama " + std::to_string(i) + "\tk\n";
    std::ofstream(dir.File("in.tsv")) << tsv;
    ASSERT_EQ(
        Tool("import " + Quote(dir.Path()) + " datalar " + Quote(dir.File("in.tsv"))).status, 0);
    {
        std::fstream index(
            dir.File("datalar.idx"), std::ios::in | std::ios::out | std::ios::binary);
        index.seekp(25088 + 13 + 5);
        index.put(char(0x7F));
    }
    EXPECT_EQ(Tool("verify " + Quote(dir.Path()) + " datalar").status, 1);
    ToolRun repaired = Tool("repair " + Quote(dir.Path()) + " datalar");
    EXPECT_EQ(repaired.status, 0) << repaired.output;
    EXPECT_NE(repaired.output.find("kept 50 records"), std::string::npos) << repaired.output;
    EXPECT_EQ(Tool("verify " + Quote(dir.Path()) + " datalar").status, 0);

    // The word of record 3 changed behind its hash: the record is not kept, and is named.
    {
        std::fstream data(dir.File("datalar.dat"), std::ios::in | std::ios::out | std::ios::binary);
        data.seekp(512 + 3 * 768 + 2 * 216 + 25 + 1);
        data.put('X');
    }
    repaired = Tool("repair " + Quote(dir.Path()) + " datalar");
    EXPECT_EQ(repaired.status, 3) << repaired.output;
    std::ifstream report(dir.File("datalar.repair.txt"));
    std::string line;
    std::getline(report, line);
    EXPECT_EQ(line.rfind("record 3: its values do not match its RecordHash", 0), 0u) << line;
    EXPECT_NE(line.find("ANAHTAR=Xelime2"), std::string::npos) << line;
    EXPECT_EQ(Tool("verify " + Quote(dir.Path()) + " datalar").status, 0);
    std::string dumped = Tool("dump " + Quote(dir.Path()) + " datalar").output;
    EXPECT_EQ(std::count(dumped.begin(), dumped.end(), '\n'), 49);
    EXPECT_EQ(dumped.find("elime2\t"), std::string::npos);
}

} // namespace
} // namespace zolvek
