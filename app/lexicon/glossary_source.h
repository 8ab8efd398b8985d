// How the word services reach the glossary table through the engine: TGlossaryKeys asks which
// records hold a key word (a seek on the case-insensitive key-word index "INDEXX"), ScanGlossary
// reads every record once for an index build, and TWorkerSession gives a worker thread a
// session of its own on the same engine and directory.
// Thread-safety: TGlossaryKeys and ScanGlossary use the calling thread's session, as every
// engine object does; a TWorkerSession belongs to the thread that made it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {
class TDataCursor;
class TDataDirectory;
class TDataEngine;
class TDataSession;
} // namespace zolvek

namespace zendo::lexicon {

// One record of the glossary as the word services see it. Texts are Windows-1254.
struct TGlossaryRecord {
    uint32_t record = 0; // the record number, as TDataCursor::CurrentRecordNumber gives it
    std::string key_word;
    std::string explanation;
};

// A read-only cursor of its own on the glossary, on "INDEXX".
class TGlossaryKeys {
public:
    TGlossaryKeys(zolvek::TDataDirectory& directory, const std::string& table_name);
    ~TGlossaryKeys();
    TGlossaryKeys(const TGlossaryKeys&) = delete;
    TGlossaryKeys& operator=(const TGlossaryKeys&) = delete;

    // The records whose key word equals `word` without regard to letter case under the table's
    // locale, in index order (the explanation is read only with `with_explanations`).
    std::vector<TGlossaryRecord> Find(std::string_view word, bool with_explanations = false);
    // The first stored form of `word` (its letter case as in the table), or "" when absent.
    std::string StoredForm(std::string_view word);
    bool Contains(std::string_view word) { return !StoredForm(word).empty(); }
    // The data file's change counter, after a look for other programs' changes.
    uint32_t ChangeCount();
    uint32_t LocaleID() const;

private:
    std::vector<TGlossaryRecord> Seek(std::string_view word, bool with_explanations, bool first);

    std::unique_ptr<zolvek::TDataCursor> cursor_;
    std::vector<uint8_t> record_;
    std::vector<uint8_t> image_;
    std::vector<uint8_t> key_;
};

// Reads every record of the table in key-word order ("INDEXX": the table's collation, letter
// case ignored) and hands each to `visit`; the explanation stays empty without
// `with_explanations`. Returns the data file's change counter as it stood when the scan ended.
uint32_t ScanGlossary(zolvek::TDataDirectory& directory, const std::string& table_name,
    bool with_explanations, const std::function<void(const TGlossaryRecord&)>& visit);

// A session of its own on `engine` with the directory at `path` opened in it, and the table
// passwords given; freed with the object.
class TWorkerSession {
public:
    TWorkerSession(zolvek::TDataEngine& engine, const std::string& path,
        const std::vector<std::string>& passwords);
    ~TWorkerSession();
    TWorkerSession(const TWorkerSession&) = delete;
    TWorkerSession& operator=(const TWorkerSession&) = delete;

    zolvek::TDataDirectory& Directory() const { return *directory_; }

private:
    zolvek::TDataEngine& engine_;
    zolvek::TDataSession* session_ = nullptr;
    zolvek::TDataDirectory* directory_ = nullptr;
};

} // namespace zendo::lexicon
