// A glossary table opened through cursors, with helpers that insert, read and change words and
// explanations the way the dataset does.
#pragma once

#include "db/cursor/cursor.h"
#include "db/storage/records.h"
#include "support/engine_fixture.h"

#include <string>
#include <vector>

namespace zolvek::testing {

enum GlossaryField : int32_t { kWord = 1, kExplanation = 2, kLetter = 3 };

class GlossaryCursor {
public:
    explicit GlossaryCursor(
        TDataDirectory& directory, const std::string& table = "datalar", bool exclusive = false)
        : cursor(directory, table) {
        cursor.Exclusive = exclusive;
        cursor.OpenTable();
        record.assign(cursor.RecordSize(), 0);
    }

    TDataCursor cursor;
    std::vector<uint8_t> record;

    void Fill(
        std::vector<uint8_t>& image, const std::string& word, const std::string& explanation) {
        cursor.InitNewRecord(image.data());
        cursor.WriteFieldValue(
            kWord, image.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
        std::string letter = word.substr(0, 1);
        cursor.WriteFieldValue(
            kLetter, image.data(), reinterpret_cast<const uint8_t*>(letter.data()), letter.size());
        if (!explanation.empty()) {
            cursor.OpenBlobField(kExplanation, image.data(), TBlobBuffer::bmWrite);
            cursor.WriteBlobBytes(kExplanation, image.data(), 0,
                reinterpret_cast<const uint8_t*>(explanation.data()), explanation.size());
        }
    }

    // Inserts a word with its explanation; returns the record number.
    uint32_t Insert(const std::string& word, const std::string& explanation = {}) {
        std::vector<uint8_t> image(cursor.RecordSize());
        Fill(image, word, explanation);
        cursor.InsertRecord(image.data());
        if (!explanation.empty())
            cursor.CloseBlobField(kExplanation, image.data());
        return RecordLink(image.data());
    }

    std::string Word(const std::vector<uint8_t>& image) const {
        return std::string(StringFieldValue(cursor.GetFieldDescriptor(kWord), image.data()));
    }

    std::string Explanation(std::vector<uint8_t>& image) {
        size_t size = cursor.OpenBlobField(kExplanation, image.data(), TBlobBuffer::bmRead);
        std::string text(size, '\0');
        cursor.ReadBlobBytes(
            kExplanation, image.data(), 0, reinterpret_cast<uint8_t*>(text.data()), size);
        cursor.CloseBlobField(kExplanation, image.data());
        return text;
    }

    // The words of the view from the first to the last record.
    std::vector<std::string> Words() {
        std::vector<std::string> words;
        cursor.MoveFirst();
        while (cursor.ReadNext(record.data()) == 0)
            words.push_back(Word(record));
        return words;
    }

    // Sets the current record's word (and explanation, unless null) as the dataset's edit does.
    void Modify(const std::string& word, const std::string* explanation = nullptr) {
        std::vector<uint8_t> image(cursor.RecordSize());
        // The dataset holds the record it shows; the edit starts from that copy.
        if (cursor.ReadCurrent(image.data()) != 0 || cursor.ReadCurrent(image.data(), true) != 0)
            throw std::runtime_error("no current record to edit");
        cursor.WriteFieldValue(
            kWord, image.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
        if (explanation != nullptr) {
            cursor.OpenBlobField(kExplanation, image.data(), TBlobBuffer::bmWrite);
            cursor.TruncateBlobField(kExplanation, image.data(), 0);
            cursor.WriteBlobBytes(kExplanation, image.data(), 0,
                reinterpret_cast<const uint8_t*>(explanation->data()), explanation->size());
        }
        try {
            cursor.ModifyRecord(image.data());
        } catch (...) {
            if (explanation != nullptr)
                cursor.CloseBlobField(kExplanation, image.data());
            cursor.UnlockCurrent();
            throw;
        }
        if (explanation != nullptr)
            cursor.CloseBlobField(kExplanation, image.data());
    }

    void DeleteCurrent() {
        std::vector<uint8_t> image(cursor.RecordSize());
        if (cursor.ReadCurrent(image.data()) != 0)
            throw std::runtime_error("no current record to delete");
        cursor.DeleteRecord(image.data());
    }
};

// An engine with the glossary table "datalar" created and closed.
class CursorTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        CreateTable("datalar", GlossaryDefinition());
    }
};

} // namespace zolvek::testing
