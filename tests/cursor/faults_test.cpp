// Failures of the system under the engine: a failed change leaves the table as it was, changes not
// yet written still reach the files, no failure passes for a success, and nothing leaks or ends
// the process.
#include "cursor_fixture.h"

#include "db/base/bytes.h"
#include "db/cursor/table_verifier.h"
#include "db/storage/base_file.h"
#include "db/storage/records.h"
#include "support/faulty_os.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

namespace zolvek {
namespace {

using namespace zolvek::testing;
using TAction = TFaultyOSLayer::TAction;

std::string WordNumber(int n) {
    return "kelime" + std::to_string(n);
}

TEST_F(CursorTest, FailedWriteOfAChangeLeavesTheFilesAsTheyWere) {
    TFaultScope faults;
    GlossaryCursor g(*directory);
    g.Insert("bir", std::string(1500, 'a'));
    g.Insert("iki", "ikinci");
    for (const char* file : { ".blb", ".idx", ".dat" }) {
        faults->Arm({ TOSCall::Write, 1, EIO, TFaultyOSLayer::TAction::Fail, file });
        EXPECT_EQ(CodeOf([&] { g.Insert("\xFC\xE7", std::string(3000, 'c')); }), ZOLVEK_WRITEERR)
            << file;
        EXPECT_TRUE(faults->Fired()) << file;
        faults->Disarm();
        EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {}) << file;
        EXPECT_EQ(g.Words(), (std::vector<std::string> { "bir", "iki" })) << file;
    }
    // Another session reads the files themselves.
    TDataSession* other = engine.CreateSession();
    GlossaryCursor reader(*other->OpenDirectory("other", dir.Path(), false));
    EXPECT_EQ(reader.Words(), (std::vector<std::string> { "bir", "iki" }));
    EXPECT_EQ(VerifyTable(reader.cursor.Table()), std::vector<std::string> {});
    g.Insert("\xFC\xE7", "sonra");
    reader.cursor.RefreshCursor();
    EXPECT_EQ(reader.Words(), (std::vector<std::string> { "bir", "iki", "\xFC\xE7" }));
}

// A refresh must not take the cursor's own unwritten changes for someone else's: exclusive
// tables defer their writes (and write half the cache when it fills), transactions keep theirs
// until the commit.
TEST_F(CursorTest, RefreshKeepsChangesNotYetWritten) {
    struct Case {
        const char* table;
        bool exclusive;
        bool transaction;
        int words;
    };
    for (Case c : { Case { "tek", true, false, 20 }, Case { "yarim", true, false, 700 },
             Case { "islem", false, true, 20 } }) {
        CreateTable(c.table, GlossaryDefinition());
        {
            GlossaryCursor g(*directory, c.table, c.exclusive);
            if (c.transaction)
                directory->StartTransaction({ c.table });
            for (int i = 0; i < c.words; ++i)
                g.Insert(WordNumber(i), i % 3 == 0 ? "a\xE7\xFDklama" : "");
            g.cursor.RefreshCursor();
            EXPECT_EQ(g.cursor.RecordCount(), c.words) << c.table;
            g.Insert("son");
            if (c.transaction)
                directory->CommitTransaction(false);
        }
        GlossaryCursor reopened(*directory, c.table);
        EXPECT_EQ(reopened.cursor.RecordCount(), c.words + 1) << c.table;
        EXPECT_EQ(reopened.Words().size(), size_t(c.words + 1)) << c.table;
        EXPECT_EQ(VerifyTable(reopened.cursor.Table()), std::vector<std::string> {}) << c.table;
    }
}

// A flush that fails on its first run of units must still write that run and every later one
// the next time: an exclusive table's deferred writes, and a commit (which stays open).
TEST_F(CursorTest, FailedFlushWritesEveryUnitTheNextTime) {
    for (bool transaction : { false, true }) {
        std::string table = transaction ? "islem" : "tek";
        CreateTable(table, GlossaryDefinition());
        {
            GlossaryCursor g(*directory, table);
            for (int i = 0; i < 300; ++i)
                g.Insert(WordNumber(i));
        }
        TFaultScope faults;
        {
            GlossaryCursor g(*directory, table, !transaction);
            if (transaction)
                directory->StartTransaction({ table });
            // The first and the last record: two runs of the data file, far apart.
            g.cursor.MoveFirst();
            ASSERT_EQ(g.cursor.ReadNext(g.record.data()), 0);
            g.Modify("birinci");
            g.cursor.MoveLast();
            ASSERT_EQ(g.cursor.ReadPrior(g.record.data()), 0);
            g.Modify("sonuncu");
            faults->Arm({ TOSCall::Write, 1, ENOSPC, TAction::Fail, ".dat" });
            auto flush = [&] {
                if (transaction)
                    directory->CommitTransaction(false);
                else
                    g.cursor.Table().FlushTable(false, false, false, false, false);
            };
            EXPECT_EQ(CodeOf(flush), ZOLVEK_WRITEERR) << table;
            EXPECT_TRUE(faults->Fired());
            faults->Disarm();
            EXPECT_EQ(CodeOf(flush), 0) << table;
        }
        TDataSession* other = engine.CreateSession();
        GlossaryCursor reader(*other->OpenDirectory("o", dir.Path(), false), table);
        std::vector<std::string> words = reader.Words();
        EXPECT_EQ(words.size(), 300u) << table;
        EXPECT_EQ(words.front(), "birinci") << table;
        EXPECT_EQ(words.back(), "sonuncu") << table;
        EXPECT_EQ(VerifyTable(reader.cursor.Table()), std::vector<std::string> {}) << table;
    }
}

// A data sync that fails is a failed write: raised as 9218, never reported as success.
TEST_F(CursorTest, FailedSyncIsAWriteError) {
    TFaultScope faults;
    struct Case {
        const char* name;
        const char* file;
        std::function<void(GlossaryCursor&)> action;
    };
    std::vector<Case> cases = {
        { "forced buffer flush of a change", ".dat",
            [&](GlossaryCursor& g) {
                session->Settings().ForceBufferFlush = true;
                g.Insert("zorla", "bir a\xE7\xFDklama");
            } },
        { "commit with a forced flush", ".idx",
            [&](GlossaryCursor& g) {
                directory->StartTransaction({ "datalar" });
                g.Insert("islem");
                directory->CommitTransaction(true);
            } },
        { "flush of the table to disk", ".blb",
            [&](GlossaryCursor& g) {
                g.Insert("diske", "yaz\xFDlacak");
                g.cursor.Table().FlushTableToDisk();
            } },
        { "registry of a new lock file", "zolvek.lck",
            [&](GlossaryCursor&) {
                ScratchDir elsewhere;
                session->OpenDirectory("yeni", elsewhere.Path(), false);
            } },
    };
    for (const Case& c : cases) {
        session->Settings().ForceBufferFlush = false;
        GlossaryCursor g(*directory);
        size_t words = g.Words().size();
        faults->Arm({ TOSCall::Sync, 1, EIO, TAction::Fail, c.file });
        EXPECT_EQ(CodeOf([&] { c.action(g); }), ZOLVEK_WRITEERR) << c.name;
        EXPECT_TRUE(faults->Fired()) << c.name;
        faults->Disarm();
        // What was written stays written; a commit that failed is open and goes through now.
        if (directory->InTransaction())
            directory->CommitTransaction(true);
        EXPECT_LE(g.Words().size(), words + 1) << c.name;
        EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {}) << c.name;
    }
    session->Settings().ForceBufferFlush = false;
}

// Only a missing index file is made again. One that cannot be read, or is cut short, keeps the
// secondary index definitions: the open fails and the file is left alone.
TEST_F(CursorTest, IndexFileThatCannotBeReadIsKept) {
    {
        GlossaryCursor g(*directory);
        g.Insert("kalem", "yaz\xFD arac\xFD");
    }
    std::vector<uint8_t> index = ReadFileBytes(dir.File("datalar.idx"));
    {
        TFaultScope faults;
        faults->Arm({ TOSCall::Read, 1, EIO, TAction::Fail, ".idx" });
        EXPECT_EQ(CodeOf([&] { GlossaryCursor g(*directory); }), ZOLVEK_READERR);
        EXPECT_TRUE(faults->Fired());
    }
    EXPECT_EQ(ReadFileBytes(dir.File("datalar.idx")), index);
    std::filesystem::resize_file(dir.File("datalar.idx"), 300);
    EXPECT_EQ(CodeOf([&] { GlossaryCursor g(*directory); }), ZOLVEK_READERR);
    EXPECT_EQ(std::filesystem::file_size(dir.File("datalar.idx")), 300u);

    std::filesystem::resize_file(dir.File("datalar.idx"), index.size());
    {
        std::ofstream out(dir.File("datalar.idx"), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(index.data()), std::streamsize(index.size()));
    }
    GlossaryCursor g(*directory);
    EXPECT_EQ(g.cursor.IndexCount(), 2);
    g.cursor.SelectIndex("ANAHTAR");
    EXPECT_EQ(g.Words(), std::vector<std::string> { "kalem" });
}

// When repositioning after a committed delete fails, the record lock still goes: another
// session can take the slot at once.
TEST_F(CursorTest, RecordLockGoesWhenRepositioningFails) {
    {
        GlossaryCursor g(*directory);
        for (int i = 0; i < 400; ++i)
            g.Insert(WordNumber((i * 7919) % 400));
    }
    TFaultScope faults;
    GlossaryCursor g(*directory);
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveFirst();
    ASSERT_EQ(g.cursor.ReadNext(g.record.data()), 0);
    uint32_t record = g.cursor.CurrentRecordNumber();
    std::vector<uint8_t> image(g.cursor.RecordSize());
    ASSERT_EQ(g.cursor.ReadCurrent(image.data()), 0);
    // Reads of the data file fail from the second on: the header check of the change passes,
    // the record of the next key word is not cached and cannot be read.
    faults->Arm({ TOSCall::Read, 2, EIO, TAction::FailFromThenOn, ".dat" });
    EXPECT_EQ(CodeOf([&] { g.cursor.DeleteRecord(image.data()); }), ZOLVEK_READERR);
    faults->Disarm();
    EXPECT_FALSE(g.cursor.Table().RecordLocked(record));

    TDataSession* other = engine.CreateSession();
    GlossaryCursor writer(*other->OpenDirectory("o", dir.Path(), false));
    EXPECT_EQ(writer.cursor.RecordCount(), 399);
    EXPECT_EQ(writer.Insert("yeni"), record);
    EXPECT_EQ(VerifyTable(writer.cursor.Table()), std::vector<std::string> {});
}

// A close that fails in a destructor with something other than an engine error (here the
// system runs out of memory while deferred writes go out) does not end the process.
TEST_F(CursorTest, DestructorsSurviveEveryFailureOfTheClose) {
    int result = RunInChild([&] {
        TFaultScope faults;
        {
            GlossaryCursor g(*directory, "datalar", true);
            g.Insert("kalem", "yaz\xFD");
            faults->Arm({ TOSCall::Write, 1, 0, TAction::ThrowBadAlloc, ".dat" });
        }
        return faults->Fired() && TakeSwallowedFailure() == ZOLVEK_OSUNKNOWN ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

} // namespace
} // namespace zolvek
