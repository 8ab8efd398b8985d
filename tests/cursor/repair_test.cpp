// Table repair: what a crash or damage leaves behind is rebuilt from the records, what cannot be
// kept is named, and damage repair cannot put right is refused with its code, as an open refuses
// it.
#include "cursor_fixture.h"

#include "db/base/bytes.h"
#include "db/cursor/table_repair.h"
#include "db/cursor/table_verifier.h"
#include "db/storage/records.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace zolvek {
namespace {

using namespace zolvek::testing;

void Patch(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(std::streamoff(offset));
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Bytes(uint32_t value) {
    std::vector<uint8_t> bytes(4);
    StoreU32(bytes.data(), value);
    return bytes;
}

class RepairTest : public CursorTest {
protected:
    // Where things lie in the files of "datalar", taken from the open table.
    uint64_t first_record = 0;
    uint64_t record_size = 0;
    uint64_t block_size = 0;
    uint64_t explanation_offset = 0;

    // Fills the table with `count` words, every third with a memo of several blocks.
    std::vector<std::string> Fill(int count) {
        GlossaryCursor g(*directory);
        std::vector<std::string> words;
        for (int i = 0; i < count; ++i) {
            words.push_back("kelime" + std::to_string(1000 + i));
            g.Insert(words.back(), i % 3 == 0 ? std::string(900 + i, char('a' + i % 26)) : "");
        }
        first_record = g.cursor.Table().DataFile().FirstUnitOffset();
        record_size = g.cursor.Table().DataFile().Header().RecordSize;
        block_size = g.cursor.Table().BlobFile().UnitSizeOnDisk();
        explanation_offset = g.cursor.GetFieldDescriptor(kExplanation).FieldOffset;
        return words;
    }

    uint64_t RecordOffset(uint32_t n) const { return first_record + (n - 1) * record_size; }
    uint64_t BlockOffset(uint32_t n) const { return kFileHeaderSize + (n - 1) * block_size; }
    uint32_t FirstBlockOf(uint32_t record) {
        std::vector<uint8_t> image = ReadFileBytes(dir.File("datalar.dat"));
        return LoadU32(image.data() + RecordOffset(record) + explanation_offset + 1);
    }

    TRepairResult Repair() {
        TDataEngine other;
        other.StartEngine();
        return RepairTable(
            *other.CreateSession()->OpenDirectory("onarim", dir.Path(), false), "datalar");
    }

    std::vector<std::string> WordsAfter() {
        GlossaryCursor g(*directory);
        EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {});
        g.cursor.SelectIndex("INDEXX");
        return g.Words();
    }
};

TEST_F(RepairTest, DamageIsRebuiltAroundTheRecordsThatCheckOut) {
    std::vector<std::string> words = Fill(120);
    // A damaged index page, a record whose word changed behind its hash, a memo chain looping.
    Patch(dir.File("datalar.idx"), kFirstIndexPageOffset + 13 + 5, { 0x7F });
    Patch(dir.File("datalar.dat"), RecordOffset(17) + kRecordHeaderSize + 1, { 'X' });
    uint32_t block = FirstBlockOf(40);
    ASSERT_GT(block, 0u);
    Patch(dir.File("datalar.blb"), BlockOffset(block) + 4, Bytes(block));
    {
        GlossaryCursor g(*directory);
        EXPECT_FALSE(VerifyTable(g.cursor.Table()).empty());
    }

    TRepairResult result = Repair();
    EXPECT_EQ(result.records_kept, 119u);
    ASSERT_EQ(result.not_kept.size(), 2u);
    EXPECT_EQ(result.not_kept[0].rfind("record 17: its values do not match its RecordHash", 0), 0u)
        << result.not_kept[0];
    EXPECT_NE(result.not_kept[0].find("ANAHTAR=Xelime1016"), std::string::npos);
    EXPECT_EQ(result.not_kept[1].rfind("record 40: field ACIKLAMA:", 0), 0u) << result.not_kept[1];
    EXPECT_NE(result.not_kept[1].find("kept without it (ANAHTAR=kelime1039"), std::string::npos);

    words.erase(words.begin() + 16);
    EXPECT_EQ(WordsAfter(), words);
    {
        // Record 40 lost its memo, record 37 (the memo before it) kept its own.
        GlossaryCursor g(*directory);
        g.cursor.MoveToSequence(39);
        ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
        EXPECT_EQ(g.Word(g.record), "kelime1039");
        EXPECT_EQ(g.Explanation(g.record), "");
        g.cursor.MoveToSequence(36);
        ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
        EXPECT_EQ(g.Explanation(g.record), std::string(936, char('a' + 36 % 26)));
    }
    // The slots and blocks set free are taken again.
    GlossaryCursor g(*directory);
    EXPECT_EQ(g.Insert("yeni", std::string(2000, 'y')), 17u);
    EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {});
}

// A crash after the records reached the file and before the header did: the data file holds a
// record its header does not count, and half of another. Opening refuses it; repair keeps what
// is whole.
TEST_F(RepairTest, WholeRecordsAheadOfTheHeaderAreKeptAndAHalfOneCut) {
    std::vector<std::string> words = Fill(30);
    std::vector<uint8_t> header = ReadFileBytes(dir.File("datalar.dat"));
    header.resize(kFileHeaderSize);
    {
        GlossaryCursor g(*directory);
        g.Insert("sonradan");
    }
    words.push_back("sonradan");
    Patch(dir.File("datalar.dat"), 0, header);
    std::ofstream(dir.File("datalar.dat"), std::ios::app | std::ios::binary)
        << std::string(record_size / 2, '\x55');
    EXPECT_EQ(CodeOf([&] { GlossaryCursor g(*directory); }), ZOLVEK_HEADERCORRUPT);

    TRepairResult result = Repair();
    EXPECT_TRUE(result.not_kept.empty());
    EXPECT_EQ(result.records_kept, 31u);
    EXPECT_EQ(WordsAfter(), words);
}

TEST_F(RepairTest, RefusedWhileAnotherProcessHasTheTableOpen) {
    Fill(5);
    std::vector<uint8_t> before = ReadFileBytes(dir.File("datalar.idx"));
    Signal opened;
    Signal done;
    std::string path = dir.Path();
    ChildProcess holder([&] {
        TDataEngine engine;
        engine.StartEngine();
        GlossaryCursor g(*engine.CreateSession()->OpenDirectory("db", path, false));
        opened.Send();
        done.Wait();
        return 0;
    });
    ASSERT_TRUE(opened.WaitFor(10000));
    EXPECT_EQ(CodeOf([&] { Repair(); }), ZOLVEK_OSEACCES);
    done.Send();
    EXPECT_EQ(holder.Join(), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("datalar.idx")), before);
}

// Damage to what describes the table is refused by open and repair with the same code, and
// changes nothing; damage below it is named by the verifier and put right by repair.
TEST_F(RepairTest, DamagedFilesAreRefusedOrPutRightAlike) {
    Fill(60);
    uint32_t chained = FirstBlockOf(1);
    struct Case {
        const char* what;
        const char* file;
        uint64_t offset;
        std::vector<uint8_t> bytes;
        bool repairable;
    };
    std::vector<Case> cases = {
        { "data format version", "datalar.dat", 8, { 99 }, false },
        { "record size", "datalar.dat", 45, { 0xFF, 0x7F }, false },
        { "field count", "datalar.dat", 47, { 0x00, 0x40 }, false },
        { "blob field count", "datalar.dat", 49, { 7, 0 }, false },
        { "next record number", "datalar.dat", 29, Bytes(0x7FFFFFF0), true },
        { "free record list head", "datalar.dat", 25, Bytes(100000), true },
        { "field type", "datalar.dat", kFileHeaderSize + 768 + 164, { 200 }, false },
        { "index slot count", "datalar.idx", 33, { 31 }, false },
        { "next page number", "datalar.idx", 29, Bytes(0x80000000), false },
        { "root page", "datalar.idx", 34, Bytes(0x7FFFFFFF), false },
        { "page count past the end of the file", "datalar.idx", 29, Bytes(0x5D000000), true },
        { "block count past the end of the file", "datalar.blb", 29, Bytes(0x5D000000), true },
        { "free block list head", "datalar.blb", 25, Bytes(0x7FFFFFFF), false },
        { "a leaf linked to itself", "datalar.idx", kFirstIndexPageOffset + 7, Bytes(1), true },
        { "a memo chain looping", "datalar.blb", BlockOffset(chained) + 4, Bytes(chained), true },
    };
    std::vector<std::string> pristine_names = { "datalar.dat", "datalar.idx", "datalar.blb" };
    std::vector<std::vector<uint8_t>> pristine;
    for (const std::string& name : pristine_names)
        pristine.push_back(ReadFileBytes(dir.File(name)));
    auto restore = [&] {
        for (size_t i = 0; i < pristine_names.size(); ++i) {
            std::ofstream out(dir.File(pristine_names[i]), std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(pristine[i].data()),
                std::streamsize(pristine[i].size()));
        }
    };
    for (const Case& c : cases) {
        restore();
        Patch(dir.File(c.file), c.offset, c.bytes);
        std::vector<uint8_t> damaged = ReadFileBytes(dir.File(c.file));
        EngineCode open_code = CodeOf([&] {
            GlossaryCursor g(*directory);
            // A damaged page or chain shows when it is walked.
            std::vector<std::string> findings = VerifyTable(g.cursor.Table());
            if (!findings.empty())
                throw EZOLVEKEngineError(ZOLVEK_INDEXCORRUPT);
        });
        EXPECT_NE(open_code, 0) << c.what;
        EngineCode repair_code = CodeOf([&] { Repair(); });
        if (c.repairable) {
            EXPECT_EQ(repair_code, 0) << c.what;
            GlossaryCursor g(*directory);
            EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {}) << c.what;
        } else {
            EXPECT_EQ(repair_code, open_code) << c.what;
            EXPECT_EQ(ReadFileBytes(dir.File(c.file)), damaged) << c.what;
        }
    }
}

} // namespace
} // namespace zolvek
