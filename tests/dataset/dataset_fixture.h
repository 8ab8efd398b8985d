// Shared pieces of the generic dataset tests: a fixture with the standard in-memory table, an
// event recorder and the text of the database error an action raises.
#pragma once

#include "memory_dataset.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zolvek::testing {

// The message of the EDatabaseError that `action` raises, or a marker when it raises none.
inline std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const EDatabaseError& error) {
        return error.what();
    }
    return "<no error>";
}

class DataSetFixture : public ::testing::Test {
protected:
    // Rows with keys 10, 20, ... and names n1, n2, ...; the memo of row i is "note i" for odd i.
    void Fill(int rows) {
        for (int i = 1; i <= rows; ++i) {
            std::optional<std::string> note;
            if (i % 2 == 1)
                note = "note " + std::to_string(i);
            table.AddRow(i * 10, "n" + std::to_string(i), note);
        }
    }

    // Appends the name of every event the dataset fires to `events`.
    void RecordEvents() {
        auto record = [this](const char* name) {
            return [this, name](TDataSet&) { events.push_back(name); };
        };
        table.BeforeOpen = record("BeforeOpen");
        table.AfterOpen = record("AfterOpen");
        table.BeforeClose = record("BeforeClose");
        table.AfterClose = record("AfterClose");
        table.BeforeInsert = record("BeforeInsert");
        table.AfterInsert = record("AfterInsert");
        table.BeforeEdit = record("BeforeEdit");
        table.AfterEdit = record("AfterEdit");
        table.BeforePost = record("BeforePost");
        table.AfterPost = record("AfterPost");
        table.BeforeCancel = record("BeforeCancel");
        table.AfterCancel = record("AfterCancel");
        table.BeforeDelete = record("BeforeDelete");
        table.AfterDelete = record("AfterDelete");
        table.BeforeScroll = record("BeforeScroll");
        table.AfterScroll = record("AfterScroll");
        table.BeforeRefresh = record("BeforeRefresh");
        table.AfterRefresh = record("AfterRefresh");
        table.OnNewRecord = record("OnNewRecord");
    }

    std::vector<std::string> TakeEvents() { return std::exchange(events, {}); }

    std::string Name() { return table.FieldByName("NAME").AsString(); }
    int32_t Id() { return table.FieldByName("ID").AsInteger(); }

    // Declared first: the table's destructor closes it and may still record events.
    std::vector<std::string> events;
    TMemoryDataSet table { TMemoryDataSet::StandardColumns() };
};

using Events = std::vector<std::string>;

} // namespace zolvek::testing
