// What the component tests share: a scratch directory with a glossary table made through the
// implicit engine, words put in through a raw cursor, and a table component set up as the
// glossary's main window sets up Table1 (three persistent fields).
#pragma once

#include "db/base/locale.h"
#include "db/components/database_component.h"
#include "db/components/engine_component.h"
#include "db/components/session_component.h"
#include "db/components/zolvek_table.h"
#include "db/cursor/cursor.h"
#include "db/storage/directory.h"
#include "db/storage/glossary_table.h"
#include "db/storage/records.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace zolvek::testing {

// The text of the database error an action raises: "" when none, "engine error N" for an
// engine failure.
inline std::string MisuseText(const std::function<void()>& action) {
    try {
        action();
    } catch (const EZOLVEKEngineError& error) {
        return "engine error " + std::to_string(error.Code());
    } catch (const EDatabaseError& error) {
        return error.what();
    }
    return {};
}

// Opens `path` in the default session for raw engine work and closes it again.
class RawDirectory {
public:
    explicit RawDirectory(const std::string& path) {
        TZOLVEKSession& session = TZOLVEKEngine::Engine().DefaultSession();
        session.Open();
        session_ = session.Handle();
        directory_ = session_->OpenDirectory("raw", path, false);
    }
    ~RawDirectory() { session_->CloseDirectory(directory_); }
    RawDirectory(const RawDirectory&) = delete;
    RawDirectory& operator=(const RawDirectory&) = delete;
    TDataDirectory& operator*() const { return *directory_; }
    TDataDirectory* operator->() const { return directory_; }

private:
    TDataSession* session_;
    TDataDirectory* directory_;
};

inline void CreateTableIn(const std::string& path, const std::string& name = "datalar",
    const TableDefinition& definition = GlossaryDefinition()) {
    RawDirectory directory(path);
    directory->ReleaseTable(directory->CreateTable(name, definition));
}

// Puts glossary records in through one cursor (exclusive when asked: bulk loads).
class GlossaryLoader {
public:
    GlossaryLoader(
        const std::string& path, bool exclusive = false, const std::string& table = "datalar")
        : directory_(path)
        , cursor_(*directory_, table) {
        cursor_.Exclusive = exclusive;
        cursor_.OpenTable();
        image_.resize(cursor_.RecordSize());
    }

    void Add(const std::string& word, const std::string& explanation = {}) {
        cursor_.InitNewRecord(image_.data());
        cursor_.WriteFieldValue(kGlossaryWord, image_.data(),
            reinterpret_cast<const uint8_t*>(word.data()), word.size());
        cursor_.WriteFieldValue(kGlossaryLetter, image_.data(),
            reinterpret_cast<const uint8_t*>(word.data()), std::min<size_t>(word.size(), 1));
        if (!explanation.empty()) {
            cursor_.OpenBlobField(kGlossaryExplanation, image_.data(), TBlobBuffer::bmWrite);
            cursor_.WriteBlobBytes(kGlossaryExplanation, image_.data(), 0,
                reinterpret_cast<const uint8_t*>(explanation.data()), explanation.size());
        }
        cursor_.InsertRecord(image_.data(), false);
        if (!explanation.empty())
            cursor_.CloseBlobField(kGlossaryExplanation, image_.data());
    }

    TDataCursor& Cursor() { return cursor_; }

private:
    RawDirectory directory_;
    TDataCursor cursor_;
    std::vector<uint8_t> image_;
};

// Table1 of the glossary's main window: three persistent fields, foCaseInsensitive.
class GlossaryTable : public TZOLVEKTable {
public:
    explicit GlossaryTable(const std::string& directory, const std::string& table = "datalar") {
        SetTableName(table);
        SetDatabaseName(directory + "/");
        SetFilterOptions(foCaseInsensitive);
        word = &AddField<TStringField>("ANAHTAR", 175);
        explanation = &AddField<TMemoField>("ACIKLAMA");
        letter = &AddField<TStringField>("INDEX", 1);
    }
    TStringField* word;
    TMemoField* explanation;
    TStringField* letter;

    // The key words of the view from the first record on.
    std::vector<std::string> Words() {
        std::vector<std::string> words;
        for (First(); !Eof(); Next())
            words.push_back(word->AsString());
        return words;
    }
};

class ComponentsTest : public ::testing::Test {
protected:
    ScratchDir dir;
};

} // namespace zolvek::testing
