// The glossary table against SQLite on the same data in the same run: the 371,000 words of the
// Turkish hunspell list as key words, each with a deterministic explanation of 200-600 bytes.
//   1. insert one record per change (SQLite: autocommit, synchronous=OFF, like our unsynced writes)
//   2. scan the key words in key-word order (a case-insensitive index on the word)
//   3. the same scan reading each explanation too
//   4. 1,000 seeks of random key words
//   5. the search box: the count of the key words beginning with "ka" in any letter case (a
//      filter expression answered from the index), the first 20 of them in key-word order, the
//      locate of the first of them, and the count of the key words that hold "ka" anywhere in
//      any letter case (a record callback over the whole table, as the advanced mode has it)
//   6. 10,000 rewrites of explanations of random records
//   7. the search box's keystrokes through the table component beside the same work through a
//      bare cursor: what the component layer adds
// Each line prints both times and the ratio ours/SQLite (below 1.0: we are faster).
// Usage: glossary_bench [records] [work folder] [equal-memory]
// equal-memory gives the engine's caches the 2 MB that SQLite's page cache has by default.
#include "dictionary.h"

#include "db/components/database_component.h"
#include "db/components/zolvek_table.h"
#include "db/cursor/cursor.h"
#include "db/dataset/data_links.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/glossary_table.h"
#include "db/storage/records.h"
#include "db/storage/session.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <span>
#include <stdexcept>
#include <string_view>

using namespace zolvek;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void Check(int result, sqlite3* db, const char* what) {
    if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

struct Line {
    const char* name;
    double ours;
    double sqlite;
};

// The advanced search mode's case fold: Turkish lower-case letters to their capitals.
std::string Fold(std::string_view text) {
    static const std::string kLower = "abc\xE7"
                                      "defg\xF0hi\xFDjklmno\xF6pqrs\xFEtu\xFCvwxyz";
    static const std::string kUpper = "ABC\xC7"
                                      "DEFG\xD0HI\xDDJKLMNO\xD6PQRS\xDETU\xDCVWXYZ";
    std::string folded(text);
    for (char& c : folded) {
        size_t at = kLower.find(c);
        if (at != std::string::npos)
            c = kUpper[at];
    }
    return folded;
}

// Runs a statement to its end; the first column of the last row, or -1.
int64_t RunQuery(sqlite3* db, const char* sql, std::vector<std::string>* rows = nullptr) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db, sql);
    int64_t last = -1;
    int result = 0;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        last = sqlite3_column_int64(statement, 0);
        if (rows != nullptr)
            rows->push_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    Check(result, db, sql);
    sqlite3_finalize(statement);
    return last;
}

// ---- ZOLVEK ----

struct Ours {
    TDataEngine engine;
    TDataDirectory* directory = nullptr;
    std::unique_ptr<TDataCursor> cursor;
    std::vector<uint8_t> record;

    Ours(const std::string& path, bool equal_memory) {
        if (equal_memory) {
            // SQLite's default page cache holds 2,048,000 bytes; give the three caches as much.
            engine.Settings().MaxTableDataBufferSize = 1'024'000;
            engine.Settings().MaxTableIndexBufferSize = 512'000;
            engine.Settings().MaxTableBlobBufferSize = 512'000;
        }
        engine.StartEngine();
        directory = engine.CreateSession()->OpenDirectory("bench", path, false);
        directory->ReleaseTable(directory->CreateTable("datalar", GlossaryDefinition()));
        cursor = std::make_unique<TDataCursor>(*directory, "datalar");
        cursor->OpenTable();
        record.resize(cursor->RecordSize());
    }

    void Insert(const std::string& word, const std::string& text) {
        cursor->InitNewRecord(record.data());
        cursor->WriteFieldValue(
            1, record.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
        cursor->WriteFieldValue(3, record.data(), reinterpret_cast<const uint8_t*>(word.data()), 1);
        cursor->OpenBlobField(2, record.data(), TBlobBuffer::bmWrite);
        cursor->WriteBlobBytes(
            2, record.data(), 0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        cursor->InsertRecord(record.data(), false);
        cursor->CloseBlobField(2, record.data());
    }

    size_t Scan(bool with_memo) {
        size_t bytes = 0;
        cursor->MoveFirst();
        std::string buffer;
        while (cursor->ReadNext(record.data()) == 0) {
            bytes += StringFieldValue(cursor->GetFieldDescriptor(1), record.data()).size();
            if (with_memo) {
                size_t size = cursor->OpenBlobField(2, record.data(), TBlobBuffer::bmRead);
                buffer.resize(size);
                cursor->ReadBlobBytes(
                    2, record.data(), 0, reinterpret_cast<uint8_t*>(buffer.data()), size);
                cursor->CloseBlobField(2, record.data());
                bytes += size;
            }
        }
        return bytes;
    }

    bool Seek(const std::string& word) {
        std::vector<uint8_t> image(cursor->RecordSize(), 0);
        cursor->WriteFieldValue(
            1, image.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
        std::vector<uint8_t> key(cursor->ActiveKeys().KeyLength());
        cursor->ActiveKeys().BuildKey(image.data(), key.data());
        // The word alone, without the RecordID suffix: the first record with that word.
        bool found
            = cursor->SeekKey(key.data(), true, false, cursor->ActiveKeys().KeyFieldsLength(1));
        return found && cursor->ReadCurrent(record.data()) == 0;
    }

    // The "Sadece Benzerleri Göster" keystroke: a new expression filter, its record count.
    int32_t PrefixCount(const std::string& prefix) {
        TFilterDefinition definition;
        definition.expression = "[ANAHTAR]='" + prefix + "*'";
        definition.case_insensitive = true;
        definition.estimate = true;
        TFilter* filter = cursor->CreateFilter(std::move(definition));
        cursor->ActivateFilter(filter);
        int32_t count = cursor->RecordCount();
        cursor->FreeFilter(filter);
        return count;
    }

    // The same filter, then the first `rows` records of the view (the grid's rows).
    std::vector<std::string> PrefixRows(const std::string& prefix, int rows) {
        TFilterDefinition definition;
        definition.expression = "[ANAHTAR]='" + prefix + "*'";
        definition.case_insensitive = true;
        TFilter* filter = cursor->CreateFilter(std::move(definition));
        cursor->ActivateFilter(filter);
        std::vector<std::string> words;
        cursor->MoveFirst();
        while (int(words.size()) < rows && cursor->ReadNext(record.data()) == 0)
            words.emplace_back(StringFieldValue(cursor->GetFieldDescriptor(1), record.data()));
        cursor->FreeFilter(filter);
        return words;
    }

    // "Aranan Kayda Git": Locate with the options case-insensitive and partial key.
    bool LocatePrefix(const std::string& prefix) {
        std::vector<uint8_t> values(cursor->RecordSize(), 0);
        cursor->WriteFieldValue(
            1, values.data(), reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size());
        int32_t field = 1;
        return cursor->LocateRecord(
            std::span<const int32_t>(&field, 1), values.data(), true, prefix.size(), record.data());
    }

    // "Gelişmiş" with a leading "*": a record callback that folds the key word and looks for
    // the folded text in it.
    int32_t SubstringCount(const std::string& text) {
        const FieldDescriptor& field = cursor->GetFieldDescriptor(1);
        std::string wanted = Fold(text);
        TFilterDefinition definition;
        definition.restrict_to_earlier = true;
        definition.callback = [&](void*, size_t, const uint8_t* image, uint32_t) {
            return Fold(StringFieldValue(field, image)).find(wanted) != std::string::npos;
        };
        TFilter* filter = cursor->CreateFilter(std::move(definition));
        cursor->ActivateFilter(filter);
        int32_t count = cursor->RecordCount();
        cursor->FreeFilter(filter);
        return count;
    }

    void Rewrite(int32_t sequence, const std::string& text) {
        cursor->MoveToSequence(sequence);
        cursor->ReadCurrent(record.data());
        cursor->ReadCurrent(record.data(), true);
        cursor->OpenBlobField(2, record.data(), TBlobBuffer::bmWrite);
        cursor->TruncateBlobField(2, record.data(), 0);
        cursor->WriteBlobBytes(
            2, record.data(), 0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        cursor->ModifyRecord(record.data(), true, false);
        cursor->CloseBlobField(2, record.data());
    }
};

// ---- SQLite ----

struct Peer {
    sqlite3* db = nullptr;
    explicit Peer(const std::string& path) {
        Check(sqlite3_open(path.c_str(), &db), db, "open");
        Check(sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr), db, "pragma");
        Check(sqlite3_exec(db,
                  "CREATE TABLE datalar (anahtar TEXT, aciklama BLOB, harf TEXT);"
                  "CREATE INDEX indexx ON datalar (anahtar COLLATE NOCASE);"
                  "CREATE INDEX anahtar ON datalar (harf COLLATE NOCASE, anahtar COLLATE NOCASE);",
                  nullptr, nullptr, nullptr),
            db, "create");
    }
    ~Peer() { sqlite3_close(db); }
};

// ---- The search box through the table component ----
//
// One keystroke of "Sadece Benzerleri Göster": the new filter text, the record count for the
// title, the grid's 20 rows and the explanation of the current record. The table component, with
// a data link of 20 rows as the grid, and a bare cursor on the same table object (the same
// caches) do the same work: the difference is what the component layer adds.

struct Keystrokes {
    static constexpr int kRows = 20;

    TZOLVEKTable table;
    TStringField* word = nullptr;
    TMemoField* explanation = nullptr;
    TDataSource source { &table };
    TDataLink grid;
    std::unique_ptr<TDataCursor> cursor;
    std::vector<uint8_t> record;
    std::vector<uint8_t> current;
    TFilter* filter = nullptr;

    explicit Keystrokes(const std::string& directory) {
        table.SetTableName("datalar");
        table.SetDatabaseName(directory + "/");
        table.SetFilterOptions(foCaseInsensitive);
        word = &table.AddField<TStringField>("ANAHTAR", 175);
        explanation = &table.AddField<TMemoField>("ACIKLAMA");
        table.AddField<TStringField>("INDEX", 1);
        table.Open();
        table.SetFiltered(true);
        grid.SetDataSource(&source);
        grid.SetBufferCount(kRows);
        cursor = std::make_unique<TDataCursor>(*table.Database()->Handle(), "datalar");
        cursor->OpenTable();
        record.resize(cursor->RecordSize());
        current.resize(cursor->RecordSize());
    }

    static std::string FilterText(const std::string& typed) {
        std::string quoted;
        for (char c : typed + "*")
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        return "[ANAHTAR]='" + quoted + "'";
    }

    // Bytes read: the count, the words of the rows, the explanation.
    size_t ThroughTable(const std::string& typed) {
        table.SetFilter(FilterText(typed));
        size_t bytes = size_t(table.RecordCount());
        for (int32_t row = 0; row < grid.RecordCount(); ++row) {
            TDataLink::TRowScope scope(grid, row);
            bytes += word->AsString().size();
        }
        return bytes + explanation->AsString().size();
    }

    size_t ThroughCursor(const std::string& typed) {
        if (filter != nullptr)
            cursor->FreeFilter(filter);
        TFilterDefinition definition;
        definition.expression = FilterText(typed);
        definition.case_insensitive = true;
        definition.estimate = true;
        filter = cursor->CreateFilter(std::move(definition));
        cursor->ActivateFilter(filter);
        size_t bytes = size_t(cursor->RecordCount());
        cursor->MoveFirst();
        int rows = 0;
        for (; rows < kRows && cursor->ReadNext(record.data()) == 0; ++rows) {
            bytes += StringFieldValue(cursor->GetFieldDescriptor(1), record.data()).size();
            if (rows == 0)
                current = record;
        }
        if (rows == 0)
            return bytes; // an empty view has no current record
        size_t size = cursor->OpenBlobField(2, current.data(), TBlobBuffer::bmRead);
        std::string text(size, '\0');
        cursor->ReadBlobBytes(2, current.data(), 0, reinterpret_cast<uint8_t*>(text.data()), size);
        cursor->CloseBlobField(2, current.data());
        return bytes + size;
    }
};

// The keystrokes of `typing` (each text the search box holds after a key) both ways, three
// rounds each, the best round of each counted; one line to print.
std::string KeystrokeLine(const std::string& directory, const std::vector<std::string>& typing) {
    Keystrokes keystrokes(directory);
    double best_cursor = 1e9;
    double best_table = 1e9;
    size_t cursor_bytes = 0;
    size_t table_bytes = 0;
    for (int round = 0; round < 3; ++round) {
        auto t = Clock::now();
        cursor_bytes = 0;
        for (const std::string& typed : typing)
            cursor_bytes += keystrokes.ThroughCursor(typed);
        best_cursor = std::min(best_cursor, Seconds(t));
        t = Clock::now();
        table_bytes = 0;
        for (const std::string& typed : typing)
            table_bytes += keystrokes.ThroughTable(typed);
        best_table = std::min(best_table, Seconds(t));
    }
    char line[256];
    std::snprintf(line, sizeof line,
        "%zu search-box keystrokes (filter, count, %d rows, memo): cursor %.3f s, "
        "TZOLVEKTable %.3f s, ratio %.2f%s",
        typing.size(), Keystrokes::kRows, best_cursor, best_table, best_table / best_cursor,
        cursor_bytes == table_bytes ? "" : " (the two read different data)");
    return line;
}

// What a user types: the first one, two and three letters of random key words.
std::vector<std::string> TypedTexts(const std::vector<std::string>& words, size_t count) {
    std::mt19937 random(1254);
    std::vector<std::string> typing;
    while (typing.size() < count) {
        const std::string& word = words[random() % words.size()];
        for (size_t length = 1; length <= 3 && length <= word.size(); ++length)
            typing.push_back(word.substr(0, length));
    }
    return typing;
}

} // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? size_t(std::stoul(argv[1])) : 371'000;
    bool equal_memory = argc > 3 && std::string(argv[3]) == "equal-memory";
    std::string work = argc > 2
        ? argv[2]
        : (std::filesystem::temp_directory_path() / "zendo-glossary-bench").string();
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work + "/zolvek");

    std::vector<std::string> words = bench::ReadDictionaryWords();
    if (words.empty()) {
        std::fprintf(stderr, "no dictionary at %s (install hunspell-tr)\n", bench::kDictionaryPath);
        return 1;
    }
    while (words.size() < count)
        words.push_back(words[words.size() % 1000] + "x");
    words.resize(count);
    std::vector<std::string> texts(count);
    for (size_t i = 0; i < count; ++i)
        texts[i] = bench::Explanation(i);

    std::mt19937 random(1055);
    std::vector<size_t> seeks(1000);
    for (size_t& s : seeks)
        s = random() % count;
    std::vector<std::pair<int32_t, std::string>> rewrites(10000);
    for (auto& r : rewrites)
        r = { int32_t(random() % count) + 1, bench::Explanation(random()) };

    std::vector<Line> lines;
    Ours ours(work + "/zolvek", equal_memory);
    Peer peer(work + "/sqlite.db");

    auto t = Clock::now();
    for (size_t i = 0; i < count; ++i)
        ours.Insert(words[i], texts[i]);
    double ours_insert = Seconds(t);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(peer.db, "INSERT INTO datalar VALUES (?, ?, ?)", -1, &insert, nullptr);
    t = Clock::now();
    for (size_t i = 0; i < count; ++i) {
        sqlite3_bind_text(insert, 1, words[i].data(), int(words[i].size()), SQLITE_STATIC);
        sqlite3_bind_blob(insert, 2, texts[i].data(), int(texts[i].size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, words[i].data(), 1, SQLITE_STATIC);
        Check(sqlite3_step(insert), peer.db, "insert");
        sqlite3_reset(insert);
    }
    lines.push_back({ "insert, one record per change", ours_insert, Seconds(t) });
    sqlite3_finalize(insert);

    ours.cursor->SelectIndex("INDEXX");
    for (bool with_memo : { false, true }) {
        t = Clock::now();
        size_t ours_bytes = ours.Scan(with_memo);
        double ours_scan = Seconds(t);
        sqlite3_stmt* scan = nullptr;
        sqlite3_prepare_v2(peer.db,
            with_memo ? "SELECT anahtar, aciklama FROM datalar ORDER BY anahtar COLLATE NOCASE"
                      : "SELECT anahtar FROM datalar ORDER BY anahtar COLLATE NOCASE",
            -1, &scan, nullptr);
        size_t peer_bytes = 0;
        t = Clock::now();
        while (sqlite3_step(scan) == SQLITE_ROW) {
            peer_bytes += size_t(sqlite3_column_bytes(scan, 0));
            if (with_memo) {
                const void* blob = sqlite3_column_blob(scan, 1);
                peer_bytes += size_t(sqlite3_column_bytes(scan, 1)) + (blob != nullptr ? 0 : 0);
            }
        }
        lines.push_back(
            { with_memo ? "ordered scan with the explanation" : "ordered scan of the key words",
                ours_scan, Seconds(t) });
        sqlite3_finalize(scan);
        if (ours_bytes != peer_bytes)
            std::fprintf(stderr, "scans read %zu and %zu bytes\n", ours_bytes, peer_bytes);
    }

    t = Clock::now();
    size_t found = 0;
    for (size_t s : seeks)
        found += ours.Seek(words[s]) ? 1 : 0;
    double ours_seek = Seconds(t);
    sqlite3_stmt* seek = nullptr;
    sqlite3_prepare_v2(peer.db,
        "SELECT rowid, anahtar, harf FROM datalar WHERE anahtar = ? COLLATE NOCASE LIMIT 1", -1,
        &seek, nullptr);
    t = Clock::now();
    size_t peer_found = 0;
    for (size_t s : seeks) {
        sqlite3_bind_text(seek, 1, words[s].data(), int(words[s].size()), SQLITE_STATIC);
        peer_found += sqlite3_step(seek) == SQLITE_ROW ? 1 : 0;
        sqlite3_reset(seek);
    }
    lines.push_back({ "1,000 random key seeks", ours_seek, Seconds(t) });
    sqlite3_finalize(seek);
    if (found != seeks.size() || peer_found != seeks.size())
        std::fprintf(stderr, "seeks found %zu and %zu of %zu\n", found, peer_found, seeks.size());

    // The search box, in the original order as the glossary starts.
    ours.cursor->SelectIndex("");
    std::vector<std::string> notes;
    {
        const int kRepeats = 50;
        int32_t ours_count = 0;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i)
            ours_count = ours.PrefixCount("ka");
        double ours_time = Seconds(t);
        int64_t peer_count = 0;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i)
            peer_count = RunQuery(peer.db, "SELECT count(*) FROM datalar WHERE anahtar LIKE 'ka%'");
        lines.push_back({ "50 prefix counts 'ka*', any case", ours_time, Seconds(t) });
        notes.push_back("prefix count: ZOLVEK " + std::to_string(ours_count) + ", SQLite "
            + std::to_string(peer_count) + " (the Turkish collation also counts k\xE2...)");
    }
    {
        const int kRepeats = 1000;
        size_t ours_found = 0;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i)
            ours_found += ours.LocatePrefix("ka") ? 1 : 0;
        double ours_time = Seconds(t);
        std::string ours_word(
            StringFieldValue(ours.cursor->GetFieldDescriptor(1), ours.record.data()));
        sqlite3_stmt* locate = nullptr;
        sqlite3_prepare_v2(peer.db,
            "SELECT rowid, anahtar FROM datalar WHERE anahtar LIKE 'ka%' "
            "ORDER BY anahtar COLLATE NOCASE LIMIT 1",
            -1, &locate, nullptr);
        size_t peer_found = 0;
        std::string peer_word;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i) {
            if (sqlite3_step(locate) == SQLITE_ROW) {
                ++peer_found;
                peer_word = reinterpret_cast<const char*>(sqlite3_column_text(locate, 1));
            }
            sqlite3_reset(locate);
        }
        lines.push_back({ "1,000 locates of the first 'ka'", ours_time, Seconds(t) });
        sqlite3_finalize(locate);
        notes.push_back("locate: ZOLVEK " + ours_word + " (" + std::to_string(ours_found)
            + "), SQLite " + peer_word + " (" + std::to_string(peer_found) + ")");
    }
    ours.cursor->SelectIndex("INDEXX");
    {
        const int kRepeats = 100;
        std::vector<std::string> ours_rows;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i)
            ours_rows = ours.PrefixRows("ka", 20);
        double ours_time = Seconds(t);
        std::vector<std::string> peer_rows;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i) {
            peer_rows.clear();
            RunQuery(peer.db,
                "SELECT anahtar FROM datalar WHERE anahtar LIKE 'ka%' "
                "ORDER BY anahtar COLLATE NOCASE LIMIT 20",
                &peer_rows);
        }
        lines.push_back({ "100 x first 20 rows of 'ka*'", ours_time, Seconds(t) });
        notes.push_back("first rows: ZOLVEK " + ours_rows.front() + " .. " + ours_rows.back()
            + ", SQLite " + peer_rows.front() + " .. " + peer_rows.back());
    }
    ours.cursor->SelectIndex("");
    {
        const int kRepeats = 3;
        int32_t ours_count = 0;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i)
            ours_count = ours.SubstringCount("ka");
        double ours_time = Seconds(t);
        int64_t peer_count = 0;
        t = Clock::now();
        for (int i = 0; i < kRepeats; ++i)
            peer_count
                = RunQuery(peer.db, "SELECT count(*) FROM datalar WHERE anahtar LIKE '%ka%'");
        lines.push_back({ "3 substring counts '*ka', any case", ours_time, Seconds(t) });
        notes.push_back("substring count: ZOLVEK " + std::to_string(ours_count) + ", SQLite "
            + std::to_string(peer_count));
    }

    ours.cursor->SelectIndex("");
    t = Clock::now();
    for (const auto& [sequence, text] : rewrites)
        ours.Rewrite(sequence, text);
    double ours_rewrite = Seconds(t);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(
        peer.db, "UPDATE datalar SET aciklama = ? WHERE rowid = ?", -1, &update, nullptr);
    t = Clock::now();
    for (const auto& [sequence, text] : rewrites) {
        sqlite3_bind_blob(update, 1, text.data(), int(text.size()), SQLITE_STATIC);
        sqlite3_bind_int(update, 2, sequence);
        Check(sqlite3_step(update), peer.db, "update");
        sqlite3_reset(update);
    }
    lines.push_back({ "10,000 explanation rewrites", ours_rewrite, Seconds(t) });
    sqlite3_finalize(update);

    std::string keystroke_line = KeystrokeLine(work + "/zolvek", TypedTexts(words, 300));

    std::printf("%zu records (ZOLVEK: %s, SQLite %s), ZOLVEK caches: %s\n", count, work.c_str(),
        sqlite3_libversion(), equal_memory ? "2 MB like SQLite's" : "the engine's defaults");
    std::printf("%-36s %12s %12s %8s\n", "operation", "ZOLVEK s", "SQLite s", "ratio");
    for (const Line& line : lines)
        std::printf("%-36s %12.3f %12.3f %8.2f\n", line.name, line.ours, line.sqlite,
            line.ours / line.sqlite);
    for (const std::string& note : notes)
        std::printf("%s\n", Cp1254ToUtf8(note).c_str());
    std::printf("%s\n", keystroke_line.c_str());
    std::filesystem::remove_all(work);
    return 0;
}
