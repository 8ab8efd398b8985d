// TZOLVEKDatabase, the database component: a named directory of table files opened through a
// session as an engine directory, with the connection operations (Connected, Open, Close and
// their events), the datasets that use it, its use count and transactions over its tables. A
// session creates temporary ones for datasets whose DatabaseName is a directory path.
// Thread-safety: used by the thread that owns the components. Lifetime: a permanent database
// registers with its session from construction to destruction; a temporary one is owned by its
// session. Closing (or destroying) a database closes the datasets that use it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

class TDataDirectory;
class TZOLVEKDBDataSet;
class TZOLVEKDatabase;
class TZOLVEKSession;

using TDatabaseNotifyEvent = std::function<void(TZOLVEKDatabase&)>;

// Whether a database name is a directory path (it holds a colon or a backslash), after forward
// slashes have become backslashes.
bool IsPathName(std::string_view name);
// Forward slashes become backslashes, the form in which components keep names and paths.
std::string ToBackslashes(std::string_view text);
// The in-memory database: the name without surrounding blanks and leading and trailing
// backslashes is "Memory" in any letter case.
bool IsMemoryName(std::string_view name);

class TZOLVEKDatabase {
public:
    // A permanent database, registered with the default session.
    TZOLVEKDatabase();
    ~TZOLVEKDatabase();
    TZOLVEKDatabase(const TZOLVEKDatabase&) = delete;
    TZOLVEKDatabase& operator=(const TZOLVEKDatabase&) = delete;

    std::string_view EngineVersion() const;
    void SetEngineVersion(std::string_view) { } // read-only in effect

    // ---- Connection ----

    bool Connected() const { return directory_ != nullptr; }
    void SetConnected(bool connected);
    // BeforeConnect, bind to the session named by SessionName and activate it, open the
    // directory, AfterConnect. Nothing when connected.
    void Open();
    // BeforeDisconnect, close the datasets (the last first), release the directory,
    // AfterDisconnect. Nothing when closed.
    void Close();

    TDatabaseNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;

    // ---- Published settings ----

    const std::string& DatabaseName() const { return database_name_; }
    // Requires a closed database. A path name raises "Database name '%s' is not valid" for a
    // permanent database; a name another database of the session has raises "Database name
    // '%s' already exists", unless that one is an unused temporary database, which is freed.
    void SetDatabaseName(const std::string& name);
    const std::string& Directory() const { return directory_path_; }
    // Requires a closed database; forward slashes become backslashes, then surrounding blanks
    // and all trailing backslashes are removed.
    void SetDirectory(const std::string& path);
    bool KeepConnection() const { return keep_connection_; }
    // False while no dataset uses the database closes it.
    void SetKeepConnection(bool keep);
    bool KeepTablesOpen() const { return keep_tables_open_; }
    void SetKeepTablesOpen(bool keep); // closed database
    const std::string& SessionName() const { return session_name_; }
    // Requires a closed database; the database moves to that session when it next connects.
    void SetSessionName(const std::string& name);

    // ---- Transactions (open database required) ----

    // Over all tables (an empty list) or the listed ones.
    void BeginTransaction(const std::vector<std::string>& table_names = {});
    void CommitTransaction(bool force_flush = true);
    void RollbackTransaction();
    bool TransactionActive() const;

    // ---- State ----

    TDataDirectory* Handle() const { return directory_; }
    TZOLVEKSession& Session() const { return *session_; }
    bool Temporary() const { return temporary_; }
    // Datasets that hold the database through the session's AcquireDatabase.
    int32_t UseCount() const { return use_count_; }
    size_t DataSetCount() const { return datasets_.size(); }
    TZOLVEKDBDataSet& DataSets(size_t index) const { return *datasets_.at(index); }

private:
    friend class TZOLVEKSession;
    friend class TZOLVEKDBDataSet;

    struct TTemporaryTag { };
    // A temporary database of `session` (AcquireDatabase).
    TZOLVEKDatabase(TZOLVEKSession& session, TTemporaryTag);

    void CheckClosed() const;
    void CheckOpen() const;
    void ConnectDirectory();
    void DisconnectDirectory();
    void Rebind(TZOLVEKSession& session);
    void AddDataSet(TZOLVEKDBDataSet* dataset);
    void RemoveDataSet(TZOLVEKDBDataSet* dataset);
    void SessionGone();

    TZOLVEKSession* session_;
    std::string database_name_;
    std::string directory_path_;
    std::string session_name_;
    bool keep_connection_ = true;
    bool keep_tables_open_ = false;
    bool temporary_ = false;
    bool disconnecting_ = false;
    int32_t use_count_ = 0;
    TDataDirectory* directory_ = nullptr;
    std::vector<TZOLVEKDBDataSet*> datasets_;
};

} // namespace zolvek
