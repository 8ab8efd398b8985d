#include "dataset_fixture.h"

#include <gtest/gtest.h>

namespace zolvek::testing {
namespace {

// ---------------------------------------------------------------- Open and close

TEST_F(DataSetFixture, OpenAndCloseFireTheirEventsAndShowTheFirstRecord) {
    Fill(3);
    RecordEvents();
    table.Open();
    EXPECT_EQ(TakeEvents(), (Events { "BeforeOpen", "AfterOpen", "AfterScroll" }));
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_TRUE(table.Bof());
    EXPECT_FALSE(table.Eof());
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_EQ(Name(), "n1");
    EXPECT_EQ(table.RecordCount(), 3);

    table.Close();
    EXPECT_EQ(TakeEvents(), (Events { "BeforeClose", "AfterClose" }));
    EXPECT_EQ(table.State(), dsInactive);
    EXPECT_EQ(table.counts.close, 1);
    // The fields were made from the definitions at open and went with the close.
    EXPECT_EQ(table.Fields().Count(), 0);
    table.Close();
    EXPECT_EQ(table.counts.close, 1);
}

TEST_F(DataSetFixture, EmptyDatasetIsAtBothEnds) {
    RecordEvents();
    table.Open();
    EXPECT_EQ(TakeEvents(), (Events { "BeforeOpen", "AfterOpen" }));
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_TRUE(table.Bof());
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.RecNo(), 0);
    EXPECT_EQ(table.MoveBy(1), 0);
    EXPECT_EQ(table.MoveBy(-1), 0);
    EXPECT_TRUE(table.FieldByName("NAME").IsNull());
    EXPECT_EQ(Name(), "");
    EXPECT_EQ(
        ErrorText([&] { table.Delete(); }), "Cannot perform this operation on an empty dataset");
    // Edit on an empty view inserts.
    table.Edit();
    EXPECT_EQ(table.State(), dsInsert);
}

TEST_F(DataSetFixture, FailedOpenLeavesTheDatasetClosed) {
    Fill(2);
    table.on_open = [] { throw EZOLVEKEngineError(ZOLVEK_OSEACCES, TErrorContext {}); };
    try {
        table.Open();
        FAIL() << "the engine error did not pass";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_OSEACCES);
    }
    EXPECT_EQ(table.State(), dsInactive);
    EXPECT_EQ(table.counts.close, 1);
    EXPECT_EQ(table.Fields().Count(), 0);

    // A persistent field the table does not have fails the open the same way.
    table.on_open = nullptr;
    table.AddField<TStringField>("MISSING", 5);
    EXPECT_EQ(ErrorText([&] { table.Open(); }), "Field 'MISSING' not found");
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.counts.close, 2);
    EXPECT_EQ(table.Fields().Count(), 1);
    EXPECT_EQ(table.Fields()[0].FieldNo(), 0);
}

TEST_F(DataSetFixture, MisuseRaisesTheFixedTexts) {
    Fill(2);
    struct Case {
        const char* what;
        std::function<void()> action;
        const char* text;
    };
    const Case closed[] = {
        { "First", [&] { table.First(); }, "Cannot perform this operation on a closed dataset" },
        { "Next", [&] { table.Next(); }, "Cannot perform this operation on a closed dataset" },
        { "RecordCount", [&] { (void)table.RecordCount(); },
            "Cannot perform this operation on a closed dataset" },
        { "Append", [&] { table.Append(); }, "Cannot perform this operation on a closed dataset" },
        { "Delete", [&] { table.Delete(); }, "Cannot perform this operation on a closed dataset" },
        { "Post", [&] { table.Post(); }, "Dataset not in edit or insert mode" },
        { "FieldByName", [&] { table.FieldByName("ID"); }, "Field 'ID' not found" },
    };
    for (const Case& c : closed)
        EXPECT_EQ(ErrorText(c.action), c.text) << c.what;

    table.Open();
    const Case open[] = {
        { "Post in browse", [&] { table.Post(); }, "Dataset not in edit or insert mode" },
        { "field write in browse", [&] { table.FieldByName("NAME").SetAsString("x"); },
            "Dataset not in edit or insert mode" },
        { "memo write in browse", [&] { table.FieldByName("NOTE").SetAsString("x"); },
            "Dataset not in edit or insert mode" },
        { "unknown field", [&] { table.FieldByName("NOPE"); }, "Field 'NOPE' not found" },
        { "field added while open", [&] { table.AddField<TIntegerField>("EXTRA"); },
            "Cannot perform this operation on an open dataset" },
        { "locate", [&] { table.Locate("NAME", TVariant("n1"), loCaseInsensitive); },
            "Capability not supported" },
        { "lookup", [&] { table.Lookup("NAME", { TVariant("n1") }, "ID"); },
            "Capability not supported" },
    };
    for (const Case& c : open)
        EXPECT_EQ(ErrorText(c.action), c.text) << c.what;
    EXPECT_EQ(table.State(), dsBrowse);

    table.Close();
    table.read_only = true;
    table.Open();
    for (auto action : { &TDataSet::Edit, &TDataSet::Append, &TDataSet::Insert })
        EXPECT_EQ(ErrorText([&] { (table.*action)(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(table.State(), dsBrowse);
}

// ---------------------------------------------------------------- Navigation

TEST_F(DataSetFixture, NavigationStopsAtBothEnds) {
    Fill(3);
    table.Open();
    table.Next();
    table.Next();
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_FALSE(table.Eof());
    table.Next();
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_EQ(Name(), "n3");
    table.Prior();
    EXPECT_FALSE(table.Eof());
    EXPECT_EQ(table.RecNo(), 2);

    table.First();
    table.Prior();
    EXPECT_TRUE(table.Bof());
    EXPECT_EQ(Name(), "n1");
    EXPECT_EQ(table.MoveBy(10), 2);
    EXPECT_TRUE(table.Eof());
    table.Last();
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_EQ(table.MoveBy(-10), -2);
    EXPECT_TRUE(table.Bof());
    EXPECT_EQ(table.RecNo(), 1);
}

TEST_F(DataSetFixture, MoveByAcrossTheWindowEdgeFetchesOneRecordPerStep) {
    Fill(20);
    TDataSource source(&table);
    TRecordingLink link;
    link.SetBufferCount(5);
    link.SetDataSource(&source);
    table.Open();
    EXPECT_EQ(table.BufferCount(), 5);

    THookCounts before = table.counts;
    EXPECT_EQ(table.MoveBy(7), 7);
    EXPECT_EQ(table.RecNo(), 8);
    EXPECT_EQ(Name(), "n8");
    // Four moves inside the window, three fetches beyond its edge.
    EXPECT_EQ(table.counts.get_next - before.get_next, 3);
    EXPECT_EQ(link.scrolls, (std::vector<int32_t> { 3 }));

    before = table.counts;
    EXPECT_EQ(table.MoveBy(-6), -6);
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_EQ(table.counts.get_prior - before.get_prior, 2);
    EXPECT_EQ(link.scrolls.back(), -2);
}

TEST_F(DataSetFixture, RecNoPositionsOnTheRecordWithThatNumber) {
    Fill(10);
    table.Open();
    RecordEvents();
    table.SetRecNo(7);
    EXPECT_EQ(table.RecNo(), 7);
    EXPECT_EQ(Name(), "n7");
    EXPECT_EQ(TakeEvents(), (Events { "BeforeScroll", "AfterScroll" }));
    table.SetRecNo(7);
    EXPECT_EQ(TakeEvents(), Events {});
    // No record with that number: the dataset stays where it was.
    table.SetRecNo(99);
    EXPECT_EQ(table.RecNo(), 7);
    table.Next();
    EXPECT_EQ(Name(), "n8");
}

// ---------------------------------------------------------------- Bookmarks

TEST_F(DataSetFixture, BookmarksRoundTrip) {
    Fill(6);
    table.Open();
    TBookmark first = table.GetBookmark();
    table.MoveBy(3);
    TBookmark fourth = table.GetBookmark();
    ASSERT_FALSE(fourth.empty());

    table.Last();
    table.GotoBookmark(fourth);
    EXPECT_EQ(table.RecNo(), 4);
    EXPECT_EQ(Name(), "n4");
    EXPECT_EQ(table.CompareBookmarks(first, fourth), -1);
    EXPECT_EQ(table.CompareBookmarks(fourth, first), 1);
    EXPECT_EQ(table.CompareBookmarks(fourth, fourth), 0);
    EXPECT_EQ(table.CompareBookmarks({}, first), -1);
    EXPECT_EQ(table.CompareBookmarks(first, {}), 1);
    EXPECT_EQ(table.CompareBookmarks({}, {}), 0);

    // Checking a bookmark moves the cursor; the dataset puts it back before the next move.
    EXPECT_TRUE(table.BookmarkValid(first));
    table.Next();
    EXPECT_EQ(Name(), "n5");

    table.Prior();
    table.Delete(); // n4
    EXPECT_FALSE(table.BookmarkValid(fourth));
    EXPECT_EQ(ErrorText([&] { table.GotoBookmark(fourth); }), "Record not found");

    table.Append();
    EXPECT_TRUE(table.GetBookmark().empty());
}

// ---------------------------------------------------------------- Editing

TEST_F(DataSetFixture, EditPostWritesAndCancelRestores) {
    Fill(3);
    table.Open();
    table.Next();
    RecordEvents();

    table.Edit();
    EXPECT_EQ(TakeEvents(), (Events { "BeforeEdit", "AfterEdit" }));
    EXPECT_EQ(table.State(), dsEdit);
    EXPECT_FALSE(table.Modified());
    table.FieldByName("NAME").SetAsString("changed");
    EXPECT_TRUE(table.Modified());
    EXPECT_EQ(table.FieldByName("NAME").OldValue(), TVariant("n2"));
    table.Cancel();
    EXPECT_EQ(TakeEvents(), (Events { "BeforeCancel", "AfterCancel" }));
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(Name(), "n2");
    EXPECT_EQ(table.StoredName(20), "n2");

    table.Edit();
    table.Edit(); // already editing: nothing
    EXPECT_EQ(table.counts.edit, 2);
    table.FieldByName("NAME").SetAsString("changed");
    table.Post();
    EXPECT_EQ(TakeEvents(), (Events { "BeforeEdit", "AfterEdit", "BeforePost", "AfterPost" }));
    EXPECT_EQ(table.StoredName(20), "changed");
    EXPECT_EQ(Name(), "changed");
    EXPECT_EQ(table.RecNo(), 2);
}

TEST_F(DataSetFixture, LeavingEditModePostsAChangedRecordAndCancelsAnUnchangedOne) {
    Fill(3);
    table.Open();
    table.Edit();
    table.Next();
    EXPECT_EQ(table.counts.cancel, 1);
    EXPECT_EQ(table.counts.post, 0);
    EXPECT_EQ(Name(), "n2");

    table.Edit();
    table.FieldByName("NAME").SetAsString("moved");
    table.Next();
    EXPECT_EQ(table.counts.post, 1);
    EXPECT_EQ(table.StoredName(20), "moved");
    EXPECT_EQ(Name(), "n3");
}

TEST_F(DataSetFixture, AppendInsertsANewRecordAndPostPlacesIt) {
    Fill(3);
    table.Open();
    RecordEvents();
    table.Append();
    EXPECT_EQ(TakeEvents(),
        (Events { "BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll" }));
    EXPECT_EQ(table.State(), dsInsert);
    EXPECT_EQ(table.RecNo(), 0);
    EXPECT_TRUE(table.FieldByName("ID").IsNull());
    table.Edit(); // stays in insert
    EXPECT_EQ(table.State(), dsInsert);
    table.FieldByName("ID").SetAsInteger(15);
    table.FieldByName("NAME").SetAsString("new");
    table.Post();
    EXPECT_EQ(TakeEvents(), (Events { "BeforePost", "AfterPost" }));
    // The key orders it second; the dataset stands on it.
    EXPECT_EQ(Name(), "new");
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_EQ(table.RecordCount(), 4);
}

TEST_F(DataSetFixture, InsertAndCancelReturnToTheRecordThatWasCurrent) {
    Fill(4);
    table.Open();
    table.MoveBy(2);
    RecordEvents();
    table.Insert();
    EXPECT_EQ(table.State(), dsInsert);
    table.FieldByName("NAME").SetAsString("draft");
    table.Cancel();
    EXPECT_EQ(TakeEvents(),
        (Events { "BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
            "BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll" }));
    EXPECT_EQ(Name(), "n3");
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_EQ(table.RecordCount(), 4);
}

TEST_F(DataSetFixture, AnErrorInOnNewRecordDropsTheNewRecord) {
    Fill(2);
    table.Open();
    table.OnNewRecord = [](TDataSet&) { throw EDatabaseError("no new records today"); };
    EXPECT_EQ(ErrorText([&] { table.Append(); }), "no new records today");
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(table.counts.cancel, 1);
    EXPECT_EQ(table.RecordCount(), 2);
}

TEST_F(DataSetFixture, AnErrorBeforePostLeavesTheEditIntact) {
    Fill(2);
    table.Open();
    table.Edit();
    table.FieldByName("NAME").SetAsString("kept");
    table.BeforePost = [](TDataSet&) { throw EDatabaseError("not now"); };
    EXPECT_EQ(ErrorText([&] { table.Post(); }), "not now");
    EXPECT_EQ(table.State(), dsEdit);
    EXPECT_EQ(Name(), "kept");
    EXPECT_EQ(table.counts.post, 0);

    table.BeforePost = nullptr;
    table.Post();
    EXPECT_EQ(table.StoredName(10), "kept");
}

TEST_F(DataSetFixture, RequiredFieldMustHaveAValue) {
    Fill(1);
    table.Open();
    table.Append();
    table.FieldByName("NAME").SetAsString("no key");
    EXPECT_EQ(ErrorText([&] { table.Post(); }), "Field 'ID' must have a value");
    EXPECT_EQ(table.State(), dsInsert);
    EXPECT_EQ(Name(), "no key");
}

struct PostErrorCase {
    TDataAction action;
    const char* outcome;
};

std::string PostErrorName(const ::testing::TestParamInfo<PostErrorCase>& info) {
    const char* names[] = { "Fail", "Abort", "Retry" };
    return names[info.param.action];
}

class PostErrorTest : public DataSetFixture,
                      public ::testing::WithParamInterface<PostErrorCase> { };

TEST_P(PostErrorTest, OnPostErrorDecidesWhatAFailedPostDoes) {
    Fill(2);
    table.Open();
    table.Append();
    table.FieldByName("ID").SetAsInteger(10); // taken: the post fails with a key violation
    table.FieldByName("NAME").SetAsString("dup");
    int calls = 0;
    EngineCode seen = 0;
    table.OnPostError = [&](TDataSet& dataset, const EDatabaseError& error, TDataAction& action) {
        ++calls;
        seen = GetErrorCode(error);
        action = GetParam().action;
        if (action == daRetry)
            dataset.FieldByName("ID").SetAsInteger(30);
    };
    std::string outcome = "posted";
    try {
        table.Post();
    } catch (const EZOLVEKEngineError& error) {
        outcome = error.Code() == ZOLVEK_KEYVIOL ? "key violation" : "other engine error";
    } catch (const EAbort&) {
        outcome = "aborted";
    }
    EXPECT_EQ(outcome, GetParam().outcome);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, ZOLVEK_KEYVIOL);
    if (GetParam().action == daRetry) {
        EXPECT_EQ(table.State(), dsBrowse);
        EXPECT_EQ(table.StoredName(30), "dup");
    } else {
        // The failed post keeps the state and every entered value.
        EXPECT_EQ(table.State(), dsInsert);
        EXPECT_EQ(Name(), "dup");
        EXPECT_EQ(table.RecordCount(), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Actions, PostErrorTest,
    ::testing::Values(PostErrorCase { daFail, "key violation" },
        PostErrorCase { daAbort, "aborted" }, PostErrorCase { daRetry, "posted" }),
    PostErrorName);

TEST_F(DataSetFixture, AFailedEditStaysInBrowseUnlessRetried) {
    Fill(2);
    table.Open();
    RecordEvents();
    int failures = 2;
    table.on_edit = [&] {
        if (failures-- > 0)
            throw EZOLVEKEngineError(ZOLVEK_RECLOCKFAILED, TErrorContext {});
    };
    try {
        table.Edit();
        FAIL() << "the lock error did not pass";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_RECLOCKFAILED);
    }
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(TakeEvents(), (Events { "BeforeEdit" }));

    table.OnEditError
        = [](TDataSet&, const EDatabaseError&, TDataAction& action) { action = daRetry; };
    table.Edit();
    EXPECT_EQ(table.State(), dsEdit);
    EXPECT_EQ(table.counts.edit, 3);
}

TEST_F(DataSetFixture, DeleteMovesToTheNeighbour) {
    Fill(3);
    table.Open();
    table.Next();
    RecordEvents();
    table.Delete();
    EXPECT_EQ(
        TakeEvents(), (Events { "BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll" }));
    EXPECT_EQ(Name(), "n3");
    table.Delete();
    EXPECT_EQ(Name(), "n1");
    table.Delete();
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(table.RecordCount(), 0);

    // Delete in the insert state only cancels the new record.
    table.Append();
    table.Delete();
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(table.counts.remove, 3);
}

TEST_F(DataSetFixture, CloseCancelsAPendingEdit) {
    Fill(2);
    table.Open();
    table.Edit();
    table.FieldByName("NAME").SetAsString("lost");
    table.Close();
    EXPECT_EQ(table.counts.cancel, 1);
    EXPECT_EQ(table.StoredName(10), "n1");
}

TEST_F(DataSetFixture, RefreshRereadsAroundTheCurrentRecord) {
    Fill(3);
    table.Open();
    table.Next();
    RecordEvents();
    table.Refresh();
    EXPECT_EQ(TakeEvents(), (Events { "BeforeRefresh", "AfterRefresh" }));
    EXPECT_EQ(table.counts.refresh, 1);
    EXPECT_EQ(Name(), "n2");
}

TEST_F(DataSetFixture, AppendRecordTakesTheValuesInFieldOrder) {
    table.Open();
    table.AppendRecord({ TVariant(7), TVariant("seven"), TVariant(2.5), TVariant(), TVariant(true),
        TVariant("memo text") });
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(Name(), "seven");
    EXPECT_EQ(table.FieldByName("AMOUNT").AsFloat(), 2.5);
    EXPECT_TRUE(table.FieldByName("BORN").IsNull());
    EXPECT_EQ(table.StoredNote(7), "memo text");
}

// ---------------------------------------------------------------- Filter and fetch errors

TEST_F(DataSetFixture, OnFilterRecordHidesRecordsAndItsErrorsAreReported) {
    Fill(6);
    table.Open();
    table.SetOnFilterRecord([](TDataSet& dataset, bool& accept) {
        int32_t id = dataset.FieldByName("ID").AsInteger();
        if (id == 50)
            throw EDatabaseError("bad record");
        accept = id % 20 == 0;
    });
    // Stored only: no move while unfiltered.
    EXPECT_EQ(Name(), "n1");

    std::vector<std::string> reported;
    auto previous = SetApplicationExceptionHandler([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reported.push_back(e.what());
        }
    });
    table.SetFiltered(true);
    EXPECT_EQ(table.State(), dsBrowse);
    // 20, 40 and 60 pass; 50 keeps the accept value it had when the handler failed (true).
    std::vector<std::string> names;
    for (table.First(); !table.Eof(); table.Next())
        names.push_back(Name());
    EXPECT_EQ(names, (std::vector<std::string> { "n2", "n4", "n5", "n6" }));
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(reported.front(), "bad record");
    SetApplicationExceptionHandler(previous);

    table.SetFiltered(false);
    EXPECT_EQ(table.RecordCount(), 6);
    EXPECT_EQ(Name(), "n1");
}

TEST_F(DataSetFixture, FetchErrorsPassUntouched) {
    Fill(3);
    table.Open();
    table.fail_reads = true;
    try {
        table.Last();
        FAIL() << "the read error did not pass";
    } catch (const EZOLVEKEngineError& error) {
        EXPECT_EQ(error.Code(), ZOLVEK_READERR);
    }
    table.fail_reads = false;
    table.First();
    EXPECT_EQ(Name(), "n1");
}

// ---------------------------------------------------------------- Calculated fields

TEST_F(DataSetFixture, CalculatedFieldsAreComputedForEveryFetchedRecord) {
    Fill(3);
    table.AddField<TIntegerField>("ID");
    table.AddField<TStringField>("NAME", 10);
    TStringField& label = table.AddField<TStringField>("LABEL", 12);
    label.SetFieldKind(fkCalculated);
    std::string calc_error;
    table.OnCalcFields = [&](TDataSet& dataset) {
        dataset.FieldByName("LABEL").SetAsString(dataset.FieldByName("NAME").AsString() + "!");
        calc_error = ErrorText([&] { dataset.FieldByName("NAME").SetAsString("x"); });
    };
    table.Open();
    EXPECT_EQ(table.CalcFieldsSize(), 1 + 13);
    EXPECT_EQ(label.AsString(), "n1!");
    table.Next();
    EXPECT_EQ(label.AsString(), "n2!");
    EXPECT_EQ(calc_error, "Dataset not in edit or insert mode");

    // A changed data field recomputes them while editing.
    table.Edit();
    table.FieldByName("NAME").SetAsString("m");
    EXPECT_EQ(label.AsString(), "m!");
    table.Cancel();
    EXPECT_EQ(label.AsString(), "n2!");
}

} // namespace
} // namespace zolvek::testing
