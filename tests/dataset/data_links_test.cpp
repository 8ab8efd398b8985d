#include "dataset_fixture.h"

#include <gtest/gtest.h>

namespace zolvek::testing {
namespace {

// The NAME of each row the link can show, read without moving the current record.
std::vector<std::string> Rows(TDataLink& link) {
    std::vector<std::string> names;
    for (int32_t row = 0; row < link.RecordCount(); ++row) {
        TDataLink::TRowScope scope(link, row);
        names.push_back(link.DataSet()->FieldByName("NAME").AsString());
    }
    return names;
}

std::vector<std::string> Names(int from, int to) {
    std::vector<std::string> names;
    for (int i = from; i <= to; ++i)
        names.push_back("w" + std::to_string(i));
    return names;
}

TEST(BufferWindow, AViewOfThirtyRowsFetchesAboutThirtyRecordsOfALargeTable) {
    TMemoryDataSet table { TMemoryDataSet::StandardColumns() };
    table.MakeSynthetic(371'000);
    TDataSource source(&table);
    TRecordingLink grid;
    grid.SetBufferCount(30);
    grid.SetDataSource(&source);

    table.Open();
    EXPECT_EQ(table.BufferCount(), 30);
    EXPECT_LE(table.counts.Fetches(), 31);
    EXPECT_EQ(grid.RecordCount(), 30);
    EXPECT_EQ(grid.ActiveRecord(), 0);
    EXPECT_EQ(Rows(grid), Names(1, 30));
    // Reading the rows left the current record alone.
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "w1");

    THookCounts before = table.counts;
    table.Last();
    EXPECT_LE(table.counts.Fetches() - before.Fetches(), 31);
    EXPECT_EQ(Rows(grid), Names(370'971, 371'000));
    EXPECT_EQ(grid.ActiveRecord(), 29);

    // A jump re-reads the window around the record, centred.
    before = table.counts;
    table.SetRecNo(200'000);
    EXPECT_LE(table.counts.Fetches() - before.Fetches(), 33);
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "w200000");
    EXPECT_EQ(grid.ActiveRecord(), 14);
    EXPECT_EQ(Rows(grid), Names(199'986, 200'015));

    TBookmark mark = table.GetBookmark();
    table.First();
    before = table.counts;
    table.GotoBookmark(mark);
    EXPECT_LE(table.counts.Fetches() - before.Fetches(), 33);
    EXPECT_EQ(table.RecNo(), 200'000);
}

TEST(BufferWindow, ALinkAddedToAnOpenDatasetGrowsTheWindowAroundTheCurrentRecord) {
    TMemoryDataSet table { TMemoryDataSet::StandardColumns() };
    table.MakeSynthetic(1000);
    table.Open();
    EXPECT_EQ(table.BufferCount(), 1);
    table.Last();

    TDataSource source(&table);
    TRecordingLink grid;
    grid.SetBufferCount(10);
    THookCounts before = table.counts;
    grid.SetDataSource(&source);
    EXPECT_EQ(table.BufferCount(), 10);
    EXPECT_LE(table.counts.Fetches() - before.Fetches(), 11);
    EXPECT_EQ(grid.ActiveRecord(), 9);
    EXPECT_EQ(Rows(grid), Names(991, 1000));

    // A smaller second view shares the window; when the large one goes, the window shrinks
    // and still holds the current record.
    TRecordingLink line;
    line.SetBufferCount(3);
    line.SetDataSource(&source);
    EXPECT_EQ(table.BufferCount(), 10);
    EXPECT_EQ(Rows(line), Names(998, 1000));
    grid.SetDataSource(nullptr);
    EXPECT_EQ(table.BufferCount(), 3);
    EXPECT_EQ(Rows(line), Names(998, 1000));
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "w1000");
    table.Prior();
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "w999");
}

TEST_F(DataSetFixture, LinksAreToldWhatChanged) {
    Fill(10);
    TDataSource source(&table);
    TRecordingLink link;
    link.SetBufferCount(4);
    link.SetDataSource(&source);
    std::vector<TDataSetState> source_states;
    source.OnStateChange = [&](TDataSource& s) { source_states.push_back(s.State()); };

    table.Open();
    EXPECT_EQ(link.log, (std::vector<std::string> { "active" }));
    EXPECT_EQ(source.State(), dsBrowse);

    // Moves inside the view scroll it by nothing; moves beyond its edge by the distance.
    for (int i = 0; i < 3; ++i)
        table.Next();
    table.MoveBy(3);
    table.Prior();
    table.MoveBy(-4);
    EXPECT_EQ(link.scrolls, (std::vector<int32_t> { 0, 0, 0, 3, 0, -2 }));
    EXPECT_EQ(link.ActiveRecord(), 0);
    EXPECT_EQ(Rows(link), (std::vector<std::string> { "n2", "n3", "n4", "n5" }));

    int changes = link.data_set_changes;
    table.First();
    EXPECT_EQ(link.data_set_changes, changes + 1);

    link.record_changes.clear();
    table.Edit();
    TField& name = table.FieldByName("NAME");
    name.SetAsString("x");
    EXPECT_EQ(link.record_changes, (std::vector<const TField*> { nullptr, &name }));
    table.Post();
    EXPECT_EQ(link.log, (std::vector<std::string> { "active", "editing", "not editing" }));
    EXPECT_EQ(source_states, (std::vector<TDataSetState> { dsBrowse, dsEdit, dsBrowse }));

    table.Close();
    EXPECT_EQ(link.log.back(), "inactive");
    EXPECT_EQ(link.RecordCount(), 0);
}

TEST_F(DataSetFixture, NewRecordsTakeTheirPlaceInAFullWindow) {
    Fill(10);
    TDataSource source(&table);
    TRecordingLink link;
    link.SetBufferCount(4);
    link.SetDataSource(&source);
    table.Open();
    table.MoveBy(2);
    using Rows_ = std::vector<std::string>;

    // Insert goes before the active record and pushes the last row out of the window.
    table.Insert();
    EXPECT_EQ(Rows(link), (Rows_ { "n1", "n2", "", "n3" }));
    EXPECT_EQ(link.ActiveRecord(), 2);
    table.Cancel();
    EXPECT_EQ(Rows(link), (Rows_ { "n1", "n2", "n3", "n4" }));
    EXPECT_EQ(Name(), "n3");

    table.Insert();
    table.FieldByName("ID").SetAsInteger(25);
    table.FieldByName("NAME").SetAsString("new");
    table.Post();
    EXPECT_EQ(Rows(link), (Rows_ { "n1", "n2", "new", "n3" }));
    EXPECT_EQ(link.ActiveRecord(), 2);

    // Append shows the last records above the new one.
    table.Append();
    EXPECT_EQ(Rows(link), (Rows_ { "n8", "n9", "n10", "" }));
    EXPECT_EQ(link.ActiveRecord(), 3);
    table.Cancel();
    EXPECT_EQ(Name(), "n10");
    table.Prior();
    EXPECT_EQ(Name(), "n9");
}

TEST_F(DataSetFixture, DisabledControlsHearOneChangeWhenEnabledAgain) {
    Fill(10);
    TDataSource source(&table);
    TRecordingLink link;
    link.SetDataSource(&source);
    table.Open();
    int changes = link.data_set_changes;
    table.DisableControls();
    table.DisableControls();
    table.Last();
    table.Prior();
    table.EnableControls();
    EXPECT_TRUE(link.scrolls.empty());
    EXPECT_EQ(link.data_set_changes, changes);
    table.EnableControls();
    EXPECT_EQ(link.data_set_changes, changes + 1);
    EXPECT_TRUE(link.scrolls.empty());
}

TEST_F(DataSetFixture, PostAsksTheControlsForTheirPendingEdits) {
    Fill(2);
    TDataSource source(&table);
    TFieldDataLink edit_box;
    edit_box.SetFieldName("NAME");
    std::string typed;
    int shown = 0;
    edit_box.OnUpdateData = [&] { edit_box.Field()->SetAsString(typed); };
    edit_box.OnDataChange = [&] { ++shown; };
    edit_box.SetDataSource(&source);
    table.Open();

    // The control starts an edit through the source (AutoEdit) and holds its text.
    EXPECT_TRUE(edit_box.CanModify());
    EXPECT_TRUE(edit_box.Edit());
    EXPECT_EQ(table.State(), dsEdit);
    typed = "typed";
    edit_box.SetModified();
    int shown_before_post = shown;
    table.Post();
    EXPECT_EQ(table.StoredName(10), "typed");
    EXPECT_FALSE(edit_box.Modified());
    // Its own write did not echo back to it; the re-read after the post did.
    EXPECT_EQ(shown, shown_before_post + 1);

    source.AutoEdit = false;
    EXPECT_FALSE(edit_box.Edit());
    EXPECT_EQ(table.State(), dsBrowse);
}

TEST_F(DataSetFixture, SourcesLinksAndDatasetsDetachInAnyOrder) {
    Fill(5);
    auto source = std::make_unique<TDataSource>(&table);
    auto link = std::make_unique<TRecordingLink>();
    link->SetBufferCount(3);
    link->SetDataSource(source.get());
    table.Open();
    EXPECT_EQ(table.BufferCount(), 3);
    source.reset();
    EXPECT_EQ(link->log.back(), "inactive");
    EXPECT_EQ(link->DataSource(), nullptr);
    EXPECT_EQ(table.BufferCount(), 1);

    auto dataset = std::make_unique<TMemoryDataSet>(TMemoryDataSet::StandardColumns());
    TDataSource other(dataset.get());
    link->SetDataSource(&other);
    dataset->Open();
    EXPECT_TRUE(link->Active());
    dataset.reset();
    EXPECT_FALSE(link->Active());
    EXPECT_EQ(other.DataSet(), nullptr);
    link.reset();

    // A disabled source shows its links an inactive dataset.
    TDataSource third(&table);
    TRecordingLink watcher;
    watcher.SetDataSource(&third);
    EXPECT_TRUE(watcher.Active());
    third.SetEnabled(false);
    EXPECT_FALSE(watcher.Active());
}

} // namespace
} // namespace zolvek::testing
