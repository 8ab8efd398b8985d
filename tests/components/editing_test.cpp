// Editing through table components: the record lock an edit takes, as another session and
// another process see it; changes seen by the other component; failed posts that keep what was
// entered; cancel, delete and the states they leave.
#include "components_fixture.h"

#include "db/components/component_errors.h"

namespace zolvek {
namespace {

using namespace zolvek::testing;

// A glossary table with a unique index on the key word, so that a post can violate it.
TableDefinition UniqueWordDefinition() {
    TableDefinition definition = GlossaryDefinition();
    definition.SecondaryIndexes[0].Unique = true;
    return definition;
}

class EditingTest : public ComponentsTest {
protected:
    TZOLVEKSession& session = TZOLVEKEngine::Engine().DefaultSession();
    uint8_t saved_retries_ = 0;
    uint16_t saved_wait_ = 0;

    void SetUp() override {
        CreateTableIn(dir.Path(), "datalar", UniqueWordDefinition());
        GlossaryLoader loader(dir.Path());
        loader.Add("kalem", "yazar");
        loader.Add("kap", "i\xE7ine konur");
        loader.Add("kara", "siyah");
        // A refused lock is reported after one short wait, not after fifteen.
        saved_retries_ = session.LockRetryCount();
        saved_wait_ = session.LockWaitTime();
        session.SetLockRetryCount(1);
        session.SetLockWaitTime(10);
    }
    void TearDown() override {
        session.SetLockRetryCount(saved_retries_);
        session.SetLockWaitTime(saved_wait_);
    }
};

TEST_F(EditingTest, AnEditLockOfOneSessionRefusesTheOthersEdit) {
    TZOLVEKSession second("Ikinci");
    second.SetSessionName("Ikinci");
    second.SetLockRetryCount(1);
    second.SetLockWaitTime(10);
    second.SetStrictChangeDetection(true);
    GlossaryTable mine(dir.Path());
    GlossaryTable theirs(dir.Path());
    theirs.SetSessionName("Ikinci");
    mine.Open();
    theirs.Open();
    EXPECT_NE(mine.Database(), theirs.Database());

    mine.Edit();
    try {
        theirs.Edit();
        FAIL() << "the second edit got the lock";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_RECLOCKFAILED);
        EXPECT_EQ(error.ErrorTableName(), "datalar");
    }
    EXPECT_EQ(theirs.State(), dsBrowse);
    EXPECT_EQ(theirs.explanation->AsString(), "yazar");

    mine.explanation->SetAsString("kur\xFEun kalem");
    mine.Post();
    // The other session's next fetch sees the change (strict change detection).
    theirs.First();
    EXPECT_EQ(theirs.explanation->AsString(), "kur\xFEun kalem");
    theirs.Edit();
    theirs.word->SetAsString("kalemler");
    theirs.Post();

    // Cancel gives the lock back at once.
    theirs.Edit();
    theirs.Cancel();
    mine.Refresh();
    EXPECT_EQ(mine.word->AsString(), "kalemler");
    mine.Edit();
    mine.Cancel();
    EXPECT_EQ(mine.State(), dsBrowse);
}

TEST_F(EditingTest, AnEditLockOfOneProcessRefusesTheOthersEdit) {
    Signal to_child;
    Signal to_parent;
    std::string path = dir.Path();
    // The child starts before this process opens the table, so that it opens its own files.
    ChildProcess child([&] {
        to_child.Wait();
        TZOLVEKSession& session = TZOLVEKEngine::Engine().DefaultSession();
        session.SetLockRetryCount(1);
        session.SetLockWaitTime(10);
        GlossaryTable theirs(path);
        theirs.Open();
        int result = 0;
        if (CodeOf([&] { theirs.Edit(); }) != ZOLVEK_RECLOCKFAILED)
            result = 1;
        else if (theirs.State() != dsBrowse)
            result = 2;
        to_parent.Send();
        to_child.Wait();
        theirs.Refresh();
        if (result == 0 && theirs.explanation->AsString() != "yeni")
            result = 3;
        theirs.Edit();
        theirs.explanation->SetAsString("\xE7ocuktan");
        theirs.Post();
        return result;
    });
    GlossaryTable mine(path);
    mine.Open();
    mine.Edit();
    to_child.Send();
    ASSERT_TRUE(to_parent.WaitFor(20000));
    mine.explanation->SetAsString("yeni");
    mine.Post();
    to_child.Send();
    EXPECT_EQ(child.Join(), 0);
    mine.Refresh();
    EXPECT_EQ(mine.explanation->AsString(), "\xE7ocuktan");
}

TEST_F(EditingTest, AFailedPostKeepsTheStateAndTheEnteredValues) {
    GlossaryTable table(dir.Path());
    GlossaryTable observer(dir.Path());
    table.Open();
    observer.Open();

    table.Append();
    table.word->SetAsString("KAP"); // the unique index ignores letter case
    table.explanation->SetAsString("tencere");
    table.letter->SetAsString("K");
    try {
        table.Post();
        FAIL() << "a duplicate key word was posted";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_KEYVIOL);
        EXPECT_EQ(error.ErrorIndexName(), "INDEXX");
    }
    EXPECT_EQ(table.State(), dsInsert);
    EXPECT_EQ(table.word->AsString(), "KAP");
    EXPECT_EQ(table.explanation->AsString(), "tencere");
    observer.Refresh();
    EXPECT_EQ(observer.RecordCount(), 3);
    // Once the cause is gone the same record posts, with its memo.
    table.word->SetAsString("kapak");
    table.Post();
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(table.word->AsString(), "kapak");
    EXPECT_EQ(table.explanation->AsString(), "tencere");
    observer.Refresh();
    EXPECT_EQ(observer.RecordCount(), 4);

    // The same for a change of an existing record.
    table.First();
    table.Edit();
    table.word->SetAsString("kara");
    table.explanation->SetAsString("yeni a\xE7\xFDklama");
    EXPECT_EQ(CodeOf([&] { table.Post(); }), ZOLVEK_KEYVIOL);
    EXPECT_EQ(table.State(), dsEdit);
    EXPECT_EQ(table.word->AsString(), "kara");
    EXPECT_EQ(table.explanation->AsString(), "yeni a\xE7\xFDklama");
    table.Cancel();
    EXPECT_EQ(table.word->AsString(), "kalem");
    EXPECT_EQ(table.explanation->AsString(), "yazar");
    observer.Refresh();
    observer.First();
    EXPECT_EQ(observer.explanation->AsString(), "yazar");
}

TEST_F(EditingTest, StatesOfEditInsertCancelAndDelete) {
    GlossaryTable table(dir.Path());
    EXPECT_EQ(MisuseText([&] { table.RecordCount(); }), kDataSetClosed);
    table.Open();
    EXPECT_EQ(MisuseText([&] { table.word->SetAsString("x"); }), kTableNotEditing);
    EXPECT_EQ(MisuseText([&] { table.explanation->SetAsString("x"); }), kTableNotEditing);
    table.Edit();
    table.Edit(); // no second lock
    table.Cancel();

    // A memo written and cancelled leaves the stored one.
    table.Edit();
    table.explanation->SetAsString("iptal");
    table.explanation->SetAsString("iptal edilecek");
    EXPECT_EQ(table.explanation->AsString(), "iptal edilecek");
    table.Cancel();
    EXPECT_EQ(table.explanation->AsString(), "yazar");
    EXPECT_EQ(table.Cursor()->Blobs().OpenCount(), 0u);

    table.Delete();
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_EQ(table.word->AsString(), "kap");
    table.Delete();
    table.Delete();
    EXPECT_EQ(table.RecordCount(), 0);
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(MisuseText([&] { table.Delete(); }), kDataSetEmpty);
    EXPECT_EQ(table.explanation->AsString(), "");

    // Read-only: nothing may change.
    table.Close();
    table.SetReadOnly(true);
    table.Open();
    EXPECT_FALSE(table.CanModify());
    EXPECT_EQ(MisuseText([&] { table.Append(); }), kDataSetReadOnly);
}

} // namespace
} // namespace zolvek
