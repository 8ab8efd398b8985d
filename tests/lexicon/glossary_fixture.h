// A glossary table in a scratch directory, filled with the entries a test names (UTF-8 in the
// test source, Windows-1254 in the table), and the cursor the tests change it through.
#pragma once

#include "db/base/locale.h"
#include "db/cursor/cursor.h"
#include "db/storage/glossary_table.h"
#include "db/storage/records.h"
#include "support/engine_fixture.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zendo::lexicon::testing {

using zolvek::Cp1254ToUtf8;
using zolvek::Utf8ToCp1254;

class GlossaryFixture : public zolvek::testing::EngineFixture {
protected:
    std::unique_ptr<zolvek::TDataCursor> writer;

    void SetUp() override {
        EngineFixture::SetUp();
        CreateTable(zolvek::kGlossaryTableName, zolvek::GlossaryDefinition());
        writer = std::make_unique<zolvek::TDataCursor>(*directory, zolvek::kGlossaryTableName);
        writer->OpenTable();
    }
    void TearDown() override {
        writer.reset();
        EngineFixture::TearDown();
    }

    // Inserts a record (UTF-8 texts) and returns its record number.
    uint32_t Insert(const std::string& key_word, const std::string& explanation = "") {
        std::string word = Utf8ToCp1254(key_word);
        std::string text = Utf8ToCp1254(explanation);
        std::vector<uint8_t> record(writer->RecordSize());
        writer->InitNewRecord(record.data());
        Write(record, word, text);
        writer->InsertRecord(record.data());
        writer->CloseBlobField(zolvek::kGlossaryExplanation, record.data());
        return writer->CurrentRecordNumber();
    }

    void InsertAll(const std::vector<std::pair<std::string, std::string>>& entries) {
        for (const auto& [word, text] : entries)
            Insert(word, text);
    }

    // Finds the first record with this key word (UTF-8) through INDEXX; false when none.
    bool MoveTo(const std::string& key_word, std::vector<uint8_t>& record) {
        writer->SelectIndex("INDEXX");
        record.assign(writer->RecordSize(), 0);
        writer->MoveFirst();
        std::string word = Utf8ToCp1254(key_word);
        while (writer->ReadNext(record.data()) == 0) {
            auto stored = zolvek::StringFieldValue(
                writer->GetFieldDescriptor(zolvek::kGlossaryWord), record.data());
            if (stored == word)
                return true;
        }
        return false;
    }

    // Rewrites the first record with `key_word`.
    void Change(const std::string& key_word, const std::string& new_key_word,
        const std::string& new_explanation) {
        std::vector<uint8_t> record;
        ASSERT_TRUE(MoveTo(key_word, record));
        ASSERT_EQ(writer->ReadCurrent(record.data(), true), 0);
        Write(record, Utf8ToCp1254(new_key_word), Utf8ToCp1254(new_explanation));
        writer->ModifyRecord(record.data());
        writer->CloseBlobField(zolvek::kGlossaryExplanation, record.data());
    }

    void Delete(const std::string& key_word) {
        std::vector<uint8_t> record;
        ASSERT_TRUE(MoveTo(key_word, record));
        ASSERT_EQ(writer->ReadCurrent(record.data(), true), 0);
        writer->DeleteRecord(record.data());
    }

private:
    void Write(std::vector<uint8_t>& record, const std::string& word, const std::string& text) {
        writer->WriteFieldValue(zolvek::kGlossaryWord, record.data(),
            reinterpret_cast<const uint8_t*>(word.data()), word.size());
        writer->WriteFieldValue(zolvek::kGlossaryLetter, record.data(),
            reinterpret_cast<const uint8_t*>(word.data()), 1);
        writer->OpenBlobField(
            zolvek::kGlossaryExplanation, record.data(), zolvek::TBlobBuffer::bmWrite);
        writer->TruncateBlobField(zolvek::kGlossaryExplanation, record.data(), 0);
        writer->WriteBlobBytes(zolvek::kGlossaryExplanation, record.data(), 0,
            reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
};

// UTF-8 views of 1254 lists, for readable expectations.
inline std::vector<std::string> Utf8(const std::vector<std::string>& texts) {
    std::vector<std::string> out;
    for (const std::string& text : texts)
        out.push_back(Cp1254ToUtf8(text));
    return out;
}

} // namespace zendo::lexicon::testing
