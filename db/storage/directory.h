// TDataDirectory: one database directory opened by one session — its lock file and the
// registry of the table objects open in it, with table acquisition and release, creation,
// deletion and renaming of tables, and transactions over its tables.
// Thread-safety: used by its session's thread. Lifetime: owned by the session, shared by
// reference count between the OpenDirectory calls of that session; it owns its table objects
// and its lock file.
#pragma once

#include "db/base/safe_object.h"
#include "db/storage/locks.h"

#include <memory>
#include <string>
#include <vector>

namespace zolvek {

class TDataEngine;
class TDataSession;
class TDataTable;
struct TableDefinition;

class TDataDirectory : public TSafeObject {
public:
    // `path` is normalised (ends with '/', or empty for the database "Memory" without a path).
    TDataDirectory(
        TDataSession& session, const std::string& database_name, std::string path, bool in_memory);
    ~TDataDirectory() override;

    // Opens the lock file (local sessions).
    void Open();

    TDataSession& Session() const { return session_; }
    TDataEngine& Engine() const;
    const std::string& DatabaseName() const { return database_name_; }
    const std::string& Path() const { return path_; }
    bool InMemory() const { return in_memory_; }
    // The lock file could not be opened for writing: no locking, no table changes.
    bool ReadOnly() const { return locks_ == nullptr || locks_->ReadOnly(); }
    TDataDirectoryLocks* Locks() const { return locks_.get(); }

    bool KeepTablesOpen() const { return keep_tables_open_; }
    void SetKeepTablesOpen(bool keep) { keep_tables_open_ = keep; }
    void AddReference() { ++references_; }
    uint32_t RemoveReference() { return references_ > 0 ? --references_ : 0; }
    uint32_t ReferenceCount() const { return references_; }

    // The full path of one of a table's files.
    std::string TableFileName(const std::string& table_name, const std::string& extension) const;
    bool TableExists(const std::string& table_name, bool open_tables_only, bool temporary);
    TDataTable* FindTable(const std::string& table_name) const;

    TDataTable* AcquireTable(const std::string& table_name, bool exclusive, bool temporary,
        bool no_transaction = false, bool no_count = false, bool verify_headers = true);
    void ReleaseTable(TDataTable* table, bool discard = false, bool forced = false);
    // Creates the table's files; the new table object stays open exclusively in the registry
    // until released.
    TDataTable* CreateTable(const std::string& table_name, const TableDefinition& definition);
    void DeleteTable(const std::string& table_name);
    void RenameTable(const std::string& old_name, const std::string& new_name);

    // Transactions over all tables (an empty list) or over the listed ones.
    void StartTransaction(const std::vector<std::string>& table_names);
    void CommitTransaction(bool force_flush);
    void RollbackTransaction();
    bool InTransaction() const { return in_transaction_; }
    bool TransactionCoversAllTables() const { return in_transaction_ && all_tables_transaction_; }

    const std::vector<std::unique_ptr<TDataTable>>& Tables() const { return tables_; }

private:
    size_t TablePosition(const std::string& table_name, bool& found) const;
    void RemoveTable(TDataTable* table);

    TDataSession& session_;
    std::string database_name_;
    std::string path_;
    bool in_memory_;
    std::unique_ptr<TDataDirectoryLocks> locks_;
    bool keep_tables_open_ = false;
    uint32_t references_ = 1;
    std::vector<std::unique_ptr<TDataTable>> tables_; // sorted by name, case-insensitive
    std::vector<TDataTable*> transaction_tables_;
    bool in_transaction_ = false;
    bool all_tables_transaction_ = false;
};

} // namespace zolvek
