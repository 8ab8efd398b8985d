// The engine, session and database components: the one engine and its settings, sessions and
// their names, passwords, databases by name and by path, use counts, transactions, and the
// engine's exception as it reaches the caller.
#include "components_fixture.h"

#include "db/components/component_errors.h"

namespace zolvek {
namespace {

using namespace zolvek::testing;

std::string Fmt(std::string_view text, std::string_view name) {
    return FormatDatabaseText(text, { name });
}

// The engine is the process's: every test leaves it inactive with its defaults.
class EngineTest : public ComponentsTest {
protected:
    TZOLVEKEngine& engine = TZOLVEKEngine::Engine();
    void SetUp() override { engine.SetActive(false); }
    void TearDown() override { engine.SetActive(false); }
};

TEST_F(EngineTest, OneEngineAtMostTwoReferences) {
    TZOLVEKEngine& placed = TZOLVEKEngine::Create();
    EXPECT_EQ(&placed, &engine);
    EXPECT_EQ(engine.InstanceCount(), 2);
    EXPECT_EQ(MisuseText([] { TZOLVEKEngine::Create(); }), kEngineExists);
    placed.Free();
    EXPECT_EQ(engine.InstanceCount(), 1);
    EXPECT_EQ(&TZOLVEKEngine::Engine(), &engine);
    EXPECT_EQ(engine.DefaultSession().SessionName(), "Default");
    EXPECT_EQ(engine.LookupSession(""), &engine.DefaultSession());
    EXPECT_EQ(engine.LookupSession("dEFAULT"), &engine.DefaultSession());
    EXPECT_EQ(MisuseText([&] { engine.RequireSession("Yok"); }), Fmt(kSessionNameInvalid, "Yok"));
}

TEST_F(EngineTest, SettersApplyTheirRulesAndRefuseAnActiveEngine) {
    EXPECT_EQ(engine.EngineVersion(), "4.24 Build 1");
    EXPECT_EQ(engine.LockFileName(), "zolvek.lck");
    EXPECT_EQ(engine.TableReadLockRetryCount(), 32768);
    EXPECT_EQ(engine.TableMaxReadLockCount(), 100);
    EXPECT_TRUE(engine.FilterRecordCounts);

    engine.SetMaxTableIndexBufferSize(1000);
    EXPECT_EQ(engine.MaxTableIndexBufferSize(), 32768u);
    engine.SetMaxTableIndexBufferSize(65536);
    engine.SetTableFilterIndexThreshhold(150);
    EXPECT_EQ(engine.TableFilterIndexThreshhold(), 1);
    engine.SetTableMaxReadLockCount(0);
    EXPECT_EQ(engine.TableMaxReadLockCount(), 100);
    engine.SetTableDataExtension("xyz");
    EXPECT_EQ(engine.TableDataExtension(), ".xyz");
    EXPECT_EQ(engine.Core().Settings().TableDataExtension, ".xyz");
    engine.SetTableDataExtension("");
    EXPECT_EQ(engine.TableDataExtension(), ".xyz");
    engine.SetTableDataExtension(".dat");

    bool started = false;
    bool stopped = false;
    engine.OnStartup = [&](TZOLVEKEngine&) { started = true; };
    engine.OnShutdown = [&](TZOLVEKEngine&) { stopped = true; };
    engine.SetActive(true);
    EXPECT_TRUE(started);
    EXPECT_TRUE(engine.Core().Started());
    EXPECT_EQ(MisuseText([&] { engine.SetLockFileName("x.lck"); }), kEngineActive);
    EXPECT_EQ(MisuseText([&] { engine.SetTableDataExtension(".x"); }), kEngineActive);
    EXPECT_EQ(MisuseText([&] { engine.SetMaxTableDataBufferSize(65536); }), kEngineActive);
    engine.FilterRecordCounts = false;
    engine.FilterRecordCounts = true;
    engine.SetActive(false);
    EXPECT_TRUE(stopped);
    engine.OnStartup = nullptr;
    engine.OnShutdown = nullptr;
}

TEST_F(EngineTest, DeactivatingTheEngineClosesTheTables) {
    CreateTableIn(dir.Path());
    GlossaryTable table(dir.Path());
    table.Open();
    EXPECT_TRUE(engine.DefaultSession().Active());
    engine.SetActive(false);
    EXPECT_FALSE(table.Active());
    EXPECT_FALSE(engine.DefaultSession().Active());
    EXPECT_EQ(table.Database(), nullptr);
    table.Open();
    EXPECT_TRUE(table.Active());
}

TEST_F(EngineTest, SessionNamesAndSettings) {
    TZOLVEKSession session("Oturum");
    EXPECT_EQ(MisuseText([&] { session.Open(); }), kSessionNameMissing);
    EXPECT_FALSE(session.Active());
    EXPECT_EQ(
        MisuseText([&] { session.SetSessionName("default"); }), Fmt(kSessionNameExists, "default"));
    session.SetSessionName("Ikinci");
    EXPECT_EQ(MisuseText([&] { session.AddTablePassword("gizli"); }), kSessionInactive);
    session.SetLockWaitTime(7);
    session.SetProgressSteps(150);
    EXPECT_EQ(session.ProgressSteps(), 20);
    session.Open();
    EXPECT_TRUE(engine.DefaultSession().Active());
    EXPECT_EQ(session.Handle()->Settings().LockWaitTime, 7);
    session.SetLockProtocol(lpOptimistic);
    EXPECT_EQ(session.Handle()->Settings().LockProtocol, lpOptimistic);
    EXPECT_EQ(MisuseText([&] { session.SetSessionName("Baska"); }), kSessionActive);
    EXPECT_EQ(MisuseText([&] { session.SetSessionType(stRemote); }), kSessionActive);
    EXPECT_EQ(engine.LookupSession("IKINCI"), &session);

    TZOLVEKSession automatic("Pencere");
    automatic.SetAutoSessionName(true);
    EXPECT_EQ(automatic.SessionName(), "Pencere_1");
    EXPECT_EQ(MisuseText([&] { automatic.SetSessionName("x"); }), kAutoSessionActive);
    TZOLVEKSession another("Pencere");
    another.SetAutoSessionName(true);
    EXPECT_EQ(another.SessionName(), "Pencere_2");
}

TEST_F(EngineTest, TemporaryDatabasesByPathAndTheirUseCounts) {
    CreateTableIn(dir.Path());
    GlossaryTable first(dir.Path());
    GlossaryTable second(dir.Path());
    first.Open();
    second.Open();
    TZOLVEKDatabase* database = first.Database();
    ASSERT_NE(database, nullptr);
    EXPECT_EQ(second.Database(), database);
    EXPECT_TRUE(database->Temporary());
    EXPECT_EQ(database->UseCount(), 2);
    EXPECT_EQ(&database->Session(), &engine.DefaultSession());
    // Forward slashes became backslashes; the directory has no trailing one.
    EXPECT_EQ(database->DatabaseName(), ToBackslashes(dir.Path() + "/"));
    EXPECT_EQ(database->Directory(), ToBackslashes(dir.Path()));
    EXPECT_EQ(MisuseText([&] { first.SetDatabaseName("/elsewhere/"); }), kDataSetOpen);
    first.Close();
    second.Close();
    EXPECT_EQ(database->UseCount(), 0);
    EXPECT_TRUE(database->Connected());

    // A session without KeepConnections frees its temporary database with the last dataset.
    TZOLVEKSession session("Kisa");
    session.SetSessionName("Kisa");
    session.KeepConnections = false;
    GlossaryTable brief(dir.Path());
    brief.SetSessionName("Kisa");
    brief.Open();
    EXPECT_EQ(session.DatabaseCount(), 1u);
    brief.Close();
    EXPECT_EQ(session.DatabaseCount(), 0u);

    // A missing directory is the engine's error; no temporary database stays behind.
    GlossaryTable nowhere(dir.Path() + "/yok");
    nowhere.SetSessionName("Kisa");
    EXPECT_EQ(CodeOf([&] { nowhere.Open(); }), ZOLVEK_OSENOENT);
    EXPECT_FALSE(nowhere.Active());
    EXPECT_EQ(session.DatabaseCount(), 0u);
}

TEST_F(EngineTest, NamedDatabasesAndTransactions) {
    CreateTableIn(dir.Path());
    TZOLVEKDatabase database;
    EXPECT_EQ(MisuseText([&] { database.Open(); }), kDatabaseNameMissing);
    EXPECT_EQ(MisuseText([&] { database.SetDatabaseName("C:/ZENDO/DB"); }),
        Fmt(kDatabaseNameInvalid, "C:\\ZENDO\\DB"));
    database.SetDatabaseName("Sozluk");
    database.SetDirectory(dir.Path() + "//");
    EXPECT_EQ(database.Directory(), ToBackslashes(dir.Path()));
    EXPECT_EQ(MisuseText([&] { database.BeginTransaction(); }), kDatabaseClosed);

    GlossaryTable table(dir.Path());
    table.SetDatabaseName("sozluk");
    table.Open();
    EXPECT_EQ(table.Database(), &database);
    EXPECT_TRUE(database.Connected());
    EXPECT_EQ(database.DataSetCount(), 1u);
    EXPECT_EQ(MisuseText([&] { database.SetDirectory("/x"); }), kDatabaseOpen);

    TZOLVEKDatabase clash;
    EXPECT_EQ(
        MisuseText([&] { clash.SetDatabaseName("SOZLUK"); }), Fmt(kDatabaseNameExists, "SOZLUK"));

    database.BeginTransaction();
    EXPECT_TRUE(database.TransactionActive());
    EXPECT_EQ(MisuseText([&] { database.BeginTransaction(); }), Fmt(kTransactionActive, "Sozluk"));
    table.Append();
    table.word->SetAsString("deneme");
    table.Post();
    database.RollbackTransaction();
    EXPECT_EQ(MisuseText([&] { database.CommitTransaction(); }), Fmt(kNoTransaction, "Sozluk"));
    table.Refresh();
    EXPECT_EQ(table.RecordCount(), 0);

    // Closing the database closes its datasets.
    database.Close();
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(database.DataSetCount(), 0u);
}

TEST_F(EngineTest, EncryptedTablesAskTheSessionForAPassword) {
    TableDefinition definition = GlossaryDefinition();
    definition.Encrypted = true;
    definition.Password = "anahtar kelime";
    {
        RawDirectory directory(dir.Path());
        directory->ReleaseTable(directory->CreateTable("gizli", definition));
        engine.DefaultSession().ClearTablePasswords();
    }
    TZOLVEKSession session("Sifreli");
    session.SetSessionName("Sifreli");
    GlossaryTable table(dir.Path(), "gizli");
    table.SetSessionName("Sifreli");
    // Neither OnPassword nor a dialog: the engine refuses the table.
    EXPECT_EQ(CodeOf([&] { table.Open(); }), ZOLVEK_NOTSUFFTABLERIGHTS);

    int dialogs = 0;
    TPasswordDialog previous = TZOLVEKSession::SetPasswordDialog([&](TZOLVEKSession& asking) {
        ++dialogs;
        asking.AddTablePassword("anahtar kelime");
        return true;
    });
    table.Open();
    EXPECT_EQ(dialogs, 1);
    table.Close();
    TZOLVEKSession::SetPasswordDialog(previous);
    session.ClearTablePasswords();

    // OnPassword comes first; a wrong password and no retry leave the table closed.
    int asked = 0;
    session.OnPassword = [&](TZOLVEKSession& asking, bool& continue_open) {
        ++asked;
        asking.AddTablePassword(asked == 1 ? "yanlis" : "anahtar kelime");
        continue_open = true;
    };
    table.Open();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(table.Active());
}

TEST_F(EngineTest, EngineErrorsReachTheCallerWithTheirContext) {
    CreateTableIn(dir.Path());
    std::filesystem::resize_file(dir.File("datalar.dat"), 100);
    GlossaryTable table(dir.Path());
    try {
        table.Open();
        FAIL() << "the open went through";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.ErrorTableName(), "datalar");
        EXPECT_EQ(error.ErrorCode(), error.Code());
        std::string prefix = "ZOLVEK Engine Error # " + std::to_string(error.Code()) + " ";
        EXPECT_EQ(std::string(error.what()).substr(0, prefix.size()), prefix);
        EXPECT_EQ(std::string(error.what()),
            FormatEngineMessage(error.Code(), GetErrorMessage(error.Code(), error.Context())));
    }
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.Database(), nullptr);
    EXPECT_EQ(engine.DefaultSession().LookupDatabase(dir.Path() + "/")->UseCount(), 0);
}

} // namespace
} // namespace zolvek
