#include "db/storage/locks.h"
#include "db/storage/records.h"
#include "support/engine_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace zolvek {
namespace {

using testing::ChildProcess;
using testing::CodeOf;
using testing::EngineFixture;
using testing::GlossaryDefinition;
using testing::RunInChild;
using testing::Signal;

TEST(LockLayout, RegionsSitBeyondTheLargestFile) {
    TLockLayout small;
    EXPECT_EQ(small.RecordByte(1), 4294967294ull);
    EXPECT_EQ(small.WholeTableStart(), 4094967295ull);
    EXPECT_EQ(small.SemaphoreByte(1024), 4094966271ull);
    EXPECT_EQ(small.DirectoryWriteStart(), 4026466304ull);
    EXPECT_EQ(small.TableRegionStart(1) + TLockLayout::kRegion, small.DirectoryTransactionStart());
    EXPECT_EQ(small.TransactionByte(4096), small.DirectoryTransactionStart());
    EXPECT_GT(small.DirectoryWriteStart(), 4'000'000'000ull);

    TLockLayout large { 0x7FFFFFFFFFFFFFFFull, 1'000'000'000 };
    EXPECT_EQ(large.RecordByte(1), 0x7FFFFFFFFFFFFFFEull);
    EXPECT_GT(large.SemaphoreByte(1024), 128'000'000'000ull);
    EXPECT_GT(large.DirectoryWriteStart(), 128'000'000'000ull);
}

// A process of its own with the table "t" of `path` open.
struct Opener {
    TDataEngine engine;
    TDataSession* session;
    TDataDirectory* directory;
    TDataTable* table;
    explicit Opener(const std::string& path) {
        engine.StartEngine();
        session = engine.CreateSession();
        session->Settings().LockRetryCount = 2;
        session->Settings().LockWaitTime = 10;
        directory = session->OpenDirectory("db", path, false);
        table = directory->AcquireTable("t", false, false);
    }
};

class LocksTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        CreateTable("t", GlossaryDefinition());
    }
};

TEST_F(LocksTest, ReadersShareTheTableAndAWriterWaitsForBoth) {
    Signal a_locked, b_locked, writer_locked, release;
    std::string path = dir.Path();
    auto reader = [&](Signal& locked) {
        return [&, path] {
            Opener opener(path);
            opener.table->BeginTableRead();
            locked.Send();
            release.Wait();
            opener.table->EndTableRead();
            return 0;
        };
    };
    ChildProcess a(reader(a_locked));
    ChildProcess b(reader(b_locked));
    ASSERT_TRUE(a_locked.WaitFor(10000));
    ASSERT_TRUE(b_locked.WaitFor(10000));
    ChildProcess writer([&, path] {
        Opener opener(path);
        opener.table->BeginTableWrite();
        writer_locked.Send();
        opener.table->EndTableWrite();
        return 0;
    });
    EXPECT_FALSE(writer_locked.WaitFor(400));
    release.Send();
    EXPECT_FALSE(writer_locked.WaitFor(200)); // one reader still holds its byte
    release.Send();
    EXPECT_TRUE(writer_locked.WaitFor(10000));
    EXPECT_EQ(a.Join(), 0);
    EXPECT_EQ(b.Join(), 0);
    EXPECT_EQ(writer.Join(), 0);
}

TEST_F(LocksTest, ChangeInAnotherProcessIsSeenAtTheNextLock) {
    TDataTable* table = directory->AcquireTable("t", false, false);
    const FieldDescriptor& word = table->DataFile().Fields()[0];
    table->BeginTableWrite();
    {
        TPinned<TRecord> record(table->DataFile().TakeSlot(nullptr));
        WriteStringField(word, record->Data(), "kalem", 1055);
    }
    table->DataFile().IncrementRecordCount();
    table->FlushTable(false, true, false, false, false);
    table->EndTableWrite();
    EXPECT_FALSE(table->BeginTableRead());
    { TPinned<TRecord> cached(table->DataFile().ReadRecord(nullptr, 1)); }
    table->EndTableRead();
    EXPECT_TRUE(table->DataFile().IsCached(1));

    std::string path = dir.Path();
    EXPECT_EQ(RunInChild([path] {
        Opener opener(path);
        TDataTable* t = opener.table;
        t->BeginTableWrite();
        {
            TPinned<TRecord> record(t->DataFile().ReadRecord(nullptr, 1));
            WriteStringField(t->DataFile().Fields()[0], record->Data(), "silgi", 1055);
            record->MarkDirty();
        }
        t->FlushTable(false, false, false, false, false);
        t->EndTableWrite();
        return 0;
    }),
        0);

    EXPECT_TRUE(table->BeginTableRead());
    EXPECT_FALSE(table->DataFile().IsCached(1));
    TPinned<TRecord> fresh(table->DataFile().ReadRecord(nullptr, 1));
    EXPECT_EQ(StringFieldValue(word, fresh->Data()), "silgi");
    fresh.Reset();
    table->EndTableRead();
    directory->ReleaseTable(table);
}

TEST_F(LocksTest, RecordLocksConflictAcrossSessionsAndProcesses) {
    session->Settings().LockRetryCount = 2;
    session->Settings().LockWaitTime = 10;
    TDataTable* table = directory->AcquireTable("t", false, false);
    EXPECT_EQ(CodeOf([&] { table->LockRecord(0); }), ZOLVEK_RECLOCKFAILED);
    table->LockRecord(5);
    table->EndTableRead();
    EXPECT_EQ(CodeOf([&] { table->LockRecord(5); }), ZOLVEK_RECLOCKFAILED);

    Opener other_session_of_this_process(dir.Path());
    TDataTable* other = other_session_of_this_process.table;
    EXPECT_NE(other, table);
    EXPECT_EQ(CodeOf([&] { other->LockRecord(5); }), ZOLVEK_RECLOCKFAILED);
    other->LockRecord(6);
    other->EndTableRead();

    std::string path = dir.Path();
    auto lock_in_child = [path](uint32_t record) {
        return RunInChild([path, record] {
            Opener opener(path);
            return CodeOf([&] { opener.table->LockRecord(record); }) == ZOLVEK_RECLOCKFAILED ? 1
                                                                                             : 0;
        });
    };
    EXPECT_EQ(lock_in_child(5), 1);
    EXPECT_EQ(lock_in_child(6), 1);
    EXPECT_EQ(lock_in_child(7), 0);
    table->UnlockRecord(5);
    EXPECT_EQ(lock_in_child(5), 0);
    EXPECT_EQ(CodeOf([&] { table->UnlockRecord(5); }), ZOLVEK_UNLOCKFAILED);
    directory->ReleaseTable(table);
}

TEST_F(LocksTest, UnlocksInsideATransactionWaitForItsEnd) {
    session->Settings().LockRetryCount = 1;
    session->Settings().LockWaitTime = 10;
    TDataTable* table = directory->AcquireTable("t", false, false);
    directory->StartTransaction({ "t" });
    table->LockRecord(3);
    table->UnlockRecord(3);
    std::string path = dir.Path();
    auto lock_in_child = [path] {
        return RunInChild([path] {
            Opener opener(path);
            return CodeOf([&] { opener.table->LockRecord(3); }) == ZOLVEK_RECLOCKFAILED ? 1 : 0;
        });
    };
    EXPECT_EQ(lock_in_child(), 1);
    directory->CommitTransaction(false);
    EXPECT_EQ(lock_in_child(), 0);
    directory->ReleaseTable(table);
}

TEST_F(LocksTest, ReadOnlyDirectoryOpensWithoutLocking) {
    std::filesystem::remove(dir.File("zolvek.lck"));
    chmod(dir.Path().c_str(), 0755);
    for (const char* name : { "t.dat", "t.idx", "t.blb" })
        chmod(dir.File(name).c_str(), 0644);
    std::string path = dir.Path();
    int result = RunInChild([path] {
        if (geteuid() == 0 && setuid(65534) != 0)
            return 3;
        Opener opener(path);
        if (!opener.directory->ReadOnly())
            return 1;
        if (!opener.table->ReadOnly())
            return 2;
        opener.table->BeginTableRead();
        opener.table->EndTableRead();
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("zolvek.lck")));
}

TEST(LockRegistry, TablesGetSlotsAndTheDatabaseFillsUp) {
    TDataEngine engine;
    engine.StartEngine();
    TDataSession* session = engine.CreateSession();
    TDataDirectory* memory = session->OpenDirectory("Memory", "", false);
    TDataDirectoryLocks* locks = memory->Locks();
    ASSERT_NE(locks, nullptr);
    EXPECT_FALSE(locks->ReadOnly());
    TDataTableLocks* first = locks->RegisterTable("datalar");
    EXPECT_EQ(first->Slot(), 1u);
    EXPECT_EQ(locks->RegisterTable("DATALAR"), first);
    for (uint32_t i = 2; i <= TLockLayout::kMaxTables; ++i)
        locks->RegisterTable("t" + std::to_string(i));
    EXPECT_EQ(CodeOf([&] { locks->RegisterTable("one too many"); }), ZOLVEK_DATABASEFULL);

    // A second directory object of the same database reads the same slots.
    TDataSession* other = engine.CreateSession();
    TDataDirectory* again = other->OpenDirectory("Memory", "", false);
    EXPECT_EQ(again->Locks()->RegisterTable("t4096")->Slot(), 4096u);
}

} // namespace
} // namespace zolvek

namespace zolvek {
namespace {

TEST_F(LocksTest, ATableNamedWithAndWithoutItsExtensionIsOneTable) {
    session->Settings().LockRetryCount = 1;
    session->Settings().LockWaitTime = 10;
    TDataTable* plain = directory->AcquireTable("t", false, false);
    EXPECT_EQ(directory->AcquireTable("T.dat", false, false), plain);
    plain->LockRecord(4);
    std::string path = dir.Path();
    // Another process that names it with the extension meets the same lock bytes.
    EXPECT_EQ(RunInChild([path] {
        TDataEngine engine;
        engine.StartEngine();
        TDataSession* session = engine.CreateSession();
        session->Settings().LockRetryCount = 1;
        session->Settings().LockWaitTime = 10;
        TDataTable* table
            = session->OpenDirectory("db", path, false)->AcquireTable("t.DAT", false, false);
        return CodeOf([&] { table->LockRecord(4); }) == ZOLVEK_RECLOCKFAILED ? 0 : 1;
    }),
        0);
    EXPECT_EQ(plain->LockEntry()->Name(), "t");
    directory->ReleaseTable(plain);
    directory->ReleaseTable(plain);
}

} // namespace
} // namespace zolvek
