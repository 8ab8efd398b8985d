// An engine with one session and one directory on a scratch folder, and the glossary table's
// definition, for the tests of the layers on top of the files.
#pragma once

#include "db/base/errors.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/session.h"
#include "db/storage/table.h"
#include "db/storage/table_definition.h"
#include "support/definitions.h"
#include "support/test_support.h"

#include <functional>
#include <string>

namespace zolvek::testing {

class EngineFixture : public ::testing::Test {
protected:
    TDataEngine engine;
    TDataSession* session = nullptr;
    ScratchDir dir;
    TDataDirectory* directory = nullptr;

    void SetUp() override {
        engine.StartEngine();
        session = engine.CreateSession();
        directory = session->OpenDirectory("test", dir.Path(), false);
    }

    // Creates `name` and releases it, so that it is closed on disk.
    void CreateTable(const std::string& name, const TableDefinition& definition) {
        TDataTable* table = directory->CreateTable(name, definition);
        directory->ReleaseTable(table);
    }
};

} // namespace zolvek::testing
