// Several sessions and processes on one table: changes seen, edit locks, concurrent writers.
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

TEST_F(CursorTest, ChangesOfAnotherProcessAreSeenAndTheRecordKept) {
    // Strict change detection checks the table at every operation, not only on a cache miss.
    session->Settings().StrictChangeDetection = true;
    GlossaryCursor g(*directory);
    for (const char* word : { "elma", "kiraz", "nar" })
        g.Insert(word);
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.cursor.ReadNext(g.record.data());
    ASSERT_EQ(g.Word(g.record), "kiraz");
    EXPECT_EQ(g.cursor.SequenceNumber(), 2);
    std::string path = dir.Path();
    ASSERT_EQ(RunInChild([path] {
        TDataEngine engine;
        engine.StartEngine();
        TDataDirectory* directory = engine.CreateSession()->OpenDirectory("db", path, false);
        GlossaryCursor other(*directory);
        other.Insert("armut");
        return 0;
    }),
        0);
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "kiraz");
    EXPECT_EQ(g.cursor.SequenceNumber(), 3);
    EXPECT_EQ(g.cursor.RecordCount(), 4);
    EXPECT_EQ(g.Words(), (std::vector<std::string> { "armut", "elma", "kiraz", "nar" }));
}

TEST_F(CursorTest, EditLocksExcludeOtherSessionsAndProcesses) {
    session->Settings().LockRetryCount = 1;
    session->Settings().LockWaitTime = 10;
    GlossaryCursor g(*directory);
    g.Insert("kalem");
    g.cursor.MoveFirst();
    std::vector<uint8_t> edit(g.cursor.RecordSize());
    ASSERT_EQ(g.cursor.ReadNext(edit.data()), 0);
    ASSERT_EQ(g.cursor.ReadCurrent(edit.data(), true), 0);

    TDataSession* second = engine.CreateSession();
    second->Settings().LockRetryCount = 1;
    second->Settings().LockWaitTime = 10;
    GlossaryCursor other(*second->OpenDirectory("other", dir.Path(), false));
    other.cursor.MoveFirst();
    std::vector<uint8_t> their(other.cursor.RecordSize());
    ASSERT_EQ(other.cursor.ReadNext(their.data()), 0);
    EXPECT_EQ(CodeOf([&] { other.cursor.ReadCurrent(their.data(), true); }), ZOLVEK_RECLOCKFAILED);

    std::string path = dir.Path();
    EXPECT_EQ(RunInChild([path] {
        TDataEngine engine;
        engine.StartEngine();
        TDataSession* session = engine.CreateSession();
        session->Settings().LockRetryCount = 1;
        session->Settings().LockWaitTime = 10;
        GlossaryCursor child(*session->OpenDirectory("db", path, false));
        child.cursor.MoveFirst();
        child.cursor.ReadNext(child.record.data());
        return CodeOf([&] { child.cursor.ReadCurrent(child.record.data(), true); })
                == ZOLVEK_RECLOCKFAILED
            ? 0
            : 1;
    }),
        0);

    // The first edit posts; the other session's copy is now stale.
    std::string word = "kur\xFEun";
    g.cursor.WriteFieldValue(
        kWord, edit.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
    g.cursor.ModifyRecord(edit.data());
    EXPECT_EQ(
        CodeOf([&] { other.cursor.ReadCurrent(their.data(), true); }), ZOLVEK_KEYORRECDELETED);
    ASSERT_EQ(other.cursor.ReadCurrent(their.data()), 0);
    EXPECT_EQ(other.Word(their), word);
}

// Three processes insert, change and delete in one table at the same time; afterwards every
// change is there exactly once and the table is consistent.
TEST_F(CursorTest, ConcurrentWritersInSeveralProcesses) {
    std::string path = dir.Path();
    std::vector<std::unique_ptr<testing::ChildProcess>> writers;
    for (int w = 0; w < 3; ++w) {
        writers.push_back(std::make_unique<testing::ChildProcess>(
            [path, w] {
                TDataEngine engine;
                engine.StartEngine();
                GlossaryCursor g(*engine.CreateSession()->OpenDirectory("db", path, false));
                for (int i = 0; i < 400; ++i) {
                    g.Insert("w" + std::to_string(w) + "_" + std::to_string(i),
                        std::string(300 + i * 7, char('a' + w)));
                    if (i % 10 == 9) {
                        // Delete the first record of this writer that is still there.
                        g.cursor.SelectIndex("INDEXX");
                        std::vector<uint8_t> key(g.cursor.ActiveKeys().KeyLength());
                        std::vector<uint8_t> image(g.cursor.RecordSize(), 0);
                        std::string prefix = "W" + std::to_string(w) + "_";
                        g.cursor.WriteFieldValue(kWord, image.data(),
                            reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size());
                        g.cursor.ActiveKeys().BuildKey(image.data(), key.data());
                        g.cursor.SeekKey(key.data(), true, false, 1 + prefix.size());
                        if (g.cursor.ReadCurrent(g.record.data()) == 0
                            && g.Word(g.record).rfind(prefix.substr(1), 1) == 1)
                            g.DeleteCurrent();
                        g.cursor.SelectIndex("");
                    }
                }
                return 0;
            },
            120));
    }
    for (auto& writer : writers)
        EXPECT_EQ(writer->Join(), 0);
    GlossaryCursor g(*directory);
    EXPECT_EQ(g.cursor.RecordCount(), 3 * (400 - 40));
    EXPECT_EQ(VerifyTable(g.cursor.Table()), std::vector<std::string> {});
    std::map<char, int> per_writer;
    g.cursor.MoveFirst();
    while (g.cursor.ReadNext(g.record.data()) == 0) {
        std::string word = g.Word(g.record);
        ++per_writer[word[1]];
        EXPECT_EQ(g.Explanation(g.record)[0], char('a' + (word[1] - '0'))) << word;
    }
    EXPECT_EQ(per_writer, (std::map<char, int> { { '0', 360 }, { '1', 360 }, { '2', 360 } }));
}

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

// Without strict change detection a cursor learns of another writer only when it fetches a unit
// from the file, part way through a move. The move then starts again on the table as it is: it
// neither skips the record inserted after the current one nor steps from a leaf that is gone.
TEST_F(CursorTest, AChangeSeenPartWayThroughAMoveRestartsTheMove) {
    engine.Settings().MaxTableDataBufferSize = 1; // every record read is a fetch from the file
    GlossaryCursor g(*directory);
    for (const char* word : { "armut", "elma", "kiraz", "nar" })
        g.Insert(word);
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveFirst();
    ASSERT_EQ(g.cursor.ReadNext(g.record.data()), 0);
    ASSERT_EQ(g.Word(g.record), "armut");

    TDataSession* other = engine.CreateSession();
    GlossaryCursor writer(*other->OpenDirectory("o", dir.Path(), false));
    writer.Insert("ayva");
    writer.cursor.SelectIndex("INDEXX");
    writer.cursor.MoveFirst();
    writer.cursor.ReadNext(writer.record.data());
    writer.cursor.ReadNext(writer.record.data());
    writer.cursor.ReadNext(writer.record.data());
    ASSERT_EQ(writer.Word(writer.record), "elma");
    writer.DeleteCurrent();

    std::vector<std::string> rest;
    while (g.cursor.ReadNext(g.record.data()) == 0)
        rest.push_back(g.Word(g.record));
    EXPECT_EQ(rest, (std::vector<std::string> { "ayva", "kiraz", "nar" }));
    EXPECT_EQ(g.cursor.RecordCount(), 4);
    EXPECT_TRUE(g.cursor.MoveToSequence(2));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Word(g.record), "ayva");
}

} // namespace
} // namespace zolvek
