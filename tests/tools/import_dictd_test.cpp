// zolvek import-dictd end to end: hand-made dictd files, plain and dictzip'd.
#include "support/test_support.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <zlib.h>

namespace zolvek {
namespace {

using testing::ScratchDir;

struct ToolResult {
    int status;
    std::string output;
};

ToolResult Tool(const std::string& arguments) {
    std::string command = std::string(ZOLVEK_TOOL) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> chunk;
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), n);
    int status = pclose(pipe);
    return ToolResult { WIFEXITED(status) ? WEXITSTATUS(status) : -1, output };
}

// dictd's base 64: most significant digit first, no padding.
std::string DictdNumber(size_t value) {
    static const char kDigits[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value % 64]);
        value /= 64;
    } while (value > 0);
    return out;
}

class ImportDictdTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string index;
    std::string dict;

    std::string Quote(const std::string& text) { return "'" + text + "'"; }

    void Entry(const std::string& headword, const std::string& definition) {
        index += headword + "\t" + DictdNumber(dict.size()) + "\t" + DictdNumber(definition.size())
            + "\n";
        dict += definition;
    }

    void WriteFiles(bool compressed) {
        std::ofstream(dir.File("d.index"), std::ios::binary) << index;
        if (!compressed) {
            std::ofstream(dir.File("d.dict"), std::ios::binary) << dict;
            return;
        }
        gzFile file = gzopen(dir.File("d.dict.dz").c_str(), "wb9");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(gzwrite(file, dict.data(), unsigned(dict.size())), int(dict.size()));
        gzclose(file);
    }

    ToolResult Import(const std::string& dict_file) {
        ToolResult created = Tool("create " + Quote(dir.File("db")) + " datalar --glossary");
        EXPECT_EQ(created.status, 0) << created.output;
        return Tool("import-dictd " + Quote(dir.File("db")) + " datalar "
            + Quote(dir.File("d.index")) + " " + Quote(dir.File(dict_file)));
    }

    void HandMadeEntries() {
        Entry("00-database-info", "This dictionary was made by hand.\n");
        Entry("00databaseurl", "nowhere\n");
        Entry("ağaç", "ağaç /aːaʧ/\ntree\n");
        Entry("çiçek", "çiçek /ʧitʃek/\n1. flower\n2. blossom\n\n");
        Entry("Işık", "light\n");
        Entry("ağaç", "timber\n");
        Entry("kalem", "pen, 中, 😀, ń\n");
    }
};

// The definitions as they should come out of dump: UTF-8, line breaks escaped.
const char* kExpected = "ağaç\tağaç /a:aç/\\ntree\\n\\ntimber\ta\n"
                        "çiçek\tçiçek /çiçek/\\n1. flower\\n2. blossom\tç\n"
                        "Işık\tlight\tI\n"
                        "kalem\tpen, zhong, ?, n\tk\n";

TEST_F(ImportDictdTest, ImportsHandMadeEntriesExactly) {
    HandMadeEntries();
    WriteFiles(false);
    ToolResult imported = Import("d.dict");
    ASSERT_EQ(imported.status, 0) << imported.output;
    // Not a terminal: no progress bar, just the count.
    EXPECT_EQ(imported.output, "imported 4 records\n");
    ToolResult dumped = Tool("dump " + Quote(dir.File("db")) + " datalar");
    EXPECT_EQ(dumped.output, kExpected);
    EXPECT_EQ(Tool("verify " + Quote(dir.File("db")) + " datalar").status, 0);
}

TEST_F(ImportDictdTest, ReadsDictzipFiles) {
    HandMadeEntries();
    WriteFiles(true);
    ToolResult imported = Import("d.dict.dz");
    ASSERT_EQ(imported.status, 0) << imported.output;
    EXPECT_EQ(Tool("dump " + Quote(dir.File("db")) + " datalar").output, kExpected);
}

TEST_F(ImportDictdTest, RefusesDamagedIndexes) {
    struct Case {
        const char* index;
        const char* message;
    } cases[] = {
        { "kalem\tA\tZZZZ\n", "index line 1: the definition lies beyond the end" },
        { "kalem\tA\n", "index line 1: expected headword, offset and length" },
        { "ev\tA\tB\nkalem\tA\tB!\n", "index line 2: bad number B!" },
    };
    dict = "pen\n";
    std::ofstream(dir.File("d.dict"), std::ios::binary) << dict;
    for (const Case& c : cases) {
        std::ofstream(dir.File("d.index"), std::ios::binary) << c.index;
        ScratchDir db;
        ToolResult run = Tool("import-dictd " + Quote(db.Path()) + " datalar "
            + Quote(dir.File("d.index")) + " " + Quote(dir.File("d.dict")));
        EXPECT_EQ(run.status, 1) << c.index;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    ToolResult missing = Tool("import-dictd " + Quote(dir.Path()) + " datalar "
        + Quote(dir.File("d.index")) + " " + Quote(dir.File("none.dict")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("cannot read"), std::string::npos) << missing.output;
    EXPECT_EQ(Tool("import-dictd " + Quote(dir.Path()) + " datalar").status, 2);
}

} // namespace
} // namespace zolvek
