#include "app/lexicon/glossary_source.h"

#include "db/base/locale.h"
#include "db/cursor/cursor.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/glossary_table.h"
#include "db/storage/records.h"
#include "db/storage/session.h"

namespace zendo::lexicon {

using namespace zolvek;

namespace {

constexpr const char* kKeyWordIndex = "INDEXX";

std::string ReadExplanation(TDataCursor& cursor, uint8_t* record) {
    if (cursor.ReadFieldValue(kGlossaryExplanation, record, nullptr))
        return {};
    size_t size = cursor.OpenBlobField(kGlossaryExplanation, record, TBlobBuffer::bmRead);
    std::string text(size, '\0');
    cursor.ReadBlobBytes(
        kGlossaryExplanation, record, 0, reinterpret_cast<uint8_t*>(text.data()), size);
    cursor.CloseBlobField(kGlossaryExplanation, record);
    return text;
}

} // namespace

TGlossaryKeys::TGlossaryKeys(TDataDirectory& directory, const std::string& table_name)
    : cursor_(std::make_unique<TDataCursor>(directory, table_name)) {
    cursor_->ReadOnly = true;
    cursor_->OpenTable();
    cursor_->SelectIndex(kKeyWordIndex);
    record_.resize(cursor_->RecordSize());
    image_.resize(cursor_->RecordSize());
    key_.resize(cursor_->ActiveKeys().KeyLength());
}

TGlossaryKeys::~TGlossaryKeys() = default;

std::vector<TGlossaryRecord> TGlossaryKeys::Find(std::string_view word, bool with_explanations) {
    return Seek(word, with_explanations, false);
}

std::string TGlossaryKeys::StoredForm(std::string_view word) {
    std::vector<TGlossaryRecord> found = Seek(word, false, true);
    return found.empty() ? std::string() : found.front().key_word;
}

uint32_t TGlossaryKeys::ChangeCount() {
    cursor_->RecordCount(); // a read: takes in the other programs' changes
    return cursor_->Table().DataFile().Header().ChangeCount;
}

uint32_t TGlossaryKeys::LocaleID() const {
    return cursor_->Table().LocaleID();
}

std::vector<TGlossaryRecord> TGlossaryKeys::Seek(
    std::string_view word, bool with_explanations, bool first) {
    std::vector<TGlossaryRecord> found;
    const FieldDescriptor& field = cursor_->GetFieldDescriptor(kGlossaryWord);
    // A word the field cannot hold, or one that the field would store differently (trailing
    // blanks are cut), is no key word of the table.
    if (word.empty() || word.size() >= field.PhysicalSize || word.back() == ' '
        || word.find('\0') != std::string_view::npos)
        return found;
    cursor_->ClearRecord(image_.data());
    cursor_->WriteFieldValue(
        kGlossaryWord, image_.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
    const TIndexKeyInfo& keys = cursor_->ActiveKeys();
    keys.BuildKey(image_.data(), key_.data());
    // The key word alone, without the RecordID that ends the keys of this index.
    cursor_->SeekKey(key_.data(), true, false, keys.KeyFieldsLength(1));
    uint32_t locale = cursor_->Table().LocaleID();
    EngineCode code = cursor_->ReadCurrent(record_.data());
    while (code == 0) {
        std::string_view stored = StringFieldValue(field, record_.data());
        if (CompareLocaleStrings(locale, stored, word, true) != 0)
            break;
        TGlossaryRecord entry;
        entry.record = cursor_->CurrentRecordNumber();
        entry.key_word = std::string(stored);
        if (with_explanations)
            entry.explanation = ReadExplanation(*cursor_, record_.data());
        found.push_back(std::move(entry));
        if (first)
            break;
        code = cursor_->ReadNext(record_.data());
    }
    return found;
}

uint32_t ScanGlossary(TDataDirectory& directory, const std::string& table_name,
    bool with_explanations, const std::function<void(const TGlossaryRecord&)>& visit) {
    TDataCursor cursor(directory, table_name);
    cursor.ReadOnly = true;
    cursor.OpenTable();
    cursor.SelectIndex(kKeyWordIndex);
    std::vector<uint8_t> record(cursor.RecordSize());
    const FieldDescriptor& field = cursor.GetFieldDescriptor(kGlossaryWord);
    TGlossaryRecord entry;
    cursor.MoveFirst();
    while (cursor.ReadNext(record.data()) == 0) {
        entry.record = cursor.CurrentRecordNumber();
        entry.key_word.assign(StringFieldValue(field, record.data()));
        if (with_explanations)
            entry.explanation = ReadExplanation(cursor, record.data());
        visit(entry);
    }
    return cursor.Table().DataFile().Header().ChangeCount;
}

TWorkerSession::TWorkerSession(
    TDataEngine& engine, const std::string& path, const std::vector<std::string>& passwords)
    : engine_(engine) {
    session_ = engine_.CreateSession();
    try {
        for (const std::string& password : passwords)
            session_->AddPassword(password);
        directory_ = session_->OpenDirectory("", path, false);
    } catch (...) {
        engine_.FreeSession(session_);
        throw;
    }
}

TWorkerSession::~TWorkerSession() {
    engine_.FreeSession(session_);
}

} // namespace zendo::lexicon
