#include "db/components/database_component.h"

#include "db/components/component_errors.h"
#include "db/components/db_dataset.h"
#include "db/components/engine_component.h"
#include "db/components/session_component.h"
#include "db/dataset/dataset_errors.h"
#include "db/storage/directory.h"
#include "db/storage/table_format.h"

#include <algorithm>

namespace zolvek {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The directory's name: no surrounding blanks, no leading or trailing backslashes.
std::string_view StripBackslashes(std::string_view text) {
    text = TrimBlanks(text);
    while (!text.empty() && text.front() == '\\')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == '\\')
        text.remove_suffix(1);
    return text;
}

// Components keep paths in backslash form; the file system of this platform takes slashes.
std::string ToSlashes(std::string_view text) {
    std::string result(text);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

} // namespace

bool IsPathName(std::string_view name) {
    return name.find(':') != std::string_view::npos || name.find('\\') != std::string_view::npos;
}

std::string ToBackslashes(std::string_view text) {
    std::string result(text);
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

bool IsMemoryName(std::string_view name) {
    return EqualsIgnoringCase(StripBackslashes(ToBackslashes(name)), "Memory");
}

// ---------------------------------------------------------------- Life

TZOLVEKDatabase::TZOLVEKDatabase()
    : session_(&TZOLVEKEngine::Engine().DefaultSession())
    , session_name_(session_->SessionName()) {
    session_->AddDatabase(this);
}

TZOLVEKDatabase::TZOLVEKDatabase(TZOLVEKSession& session, TTemporaryTag)
    : session_(&session)
    , session_name_(session.SessionName())
    , temporary_(true) {
    session_->AddDatabase(this);
}

TZOLVEKDatabase::~TZOLVEKDatabase() {
    try {
        Close();
    } catch (...) {
        NoteSwallowedFailure();
    }
    std::vector<TZOLVEKDBDataSet*> remaining = datasets_;
    for (TZOLVEKDBDataSet* dataset : remaining)
        dataset->DatabaseGone();
    if (session_ != nullptr)
        session_->RemoveDatabase(this);
}

void TZOLVEKDatabase::SessionGone() {
    try {
        Close();
    } catch (...) {
        NoteSwallowedFailure();
    }
    session_ = nullptr;
}

std::string_view TZOLVEKDatabase::EngineVersion() const {
    return kZOLVEKEngineVersion;
}

// ---------------------------------------------------------------- Connection

void TZOLVEKDatabase::SetConnected(bool connected) {
    if (connected)
        Open();
    else
        Close();
}

void TZOLVEKDatabase::Open() {
    if (Connected())
        return;
    ConnectDirectory();
}

void TZOLVEKDatabase::Close() {
    if (!Connected())
        return;
    if (BeforeDisconnect)
        BeforeDisconnect(*this);
    DisconnectDirectory();
    if (AfterDisconnect)
        AfterDisconnect(*this);
}

void TZOLVEKDatabase::ConnectDirectory() {
    if (BeforeConnect)
        BeforeConnect(*this);
    if (database_name_.empty() && !temporary_)
        DatabaseError(kDatabaseNameMissing);
    TZOLVEKSession& session = TZOLVEKEngine::Engine().RequireSession(session_name_);
    if (&session != session_)
        Rebind(session);
    session.SetActive(true);
    std::string name(StripBackslashes(database_name_));
    std::string path = IsMemoryName(database_name_) ? std::string() : ToSlashes(directory_path_);
    directory_ = session.Handle()->OpenDirectory(name, path, keep_tables_open_);
    if (AfterConnect)
        AfterConnect(*this);
}

void TZOLVEKDatabase::DisconnectDirectory() {
    disconnecting_ = true;
    std::exception_ptr first;
    std::vector<TZOLVEKDBDataSet*> datasets = datasets_;
    for (auto it = datasets.rbegin(); it != datasets.rend(); ++it) {
        try {
            (*it)->Close();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    TDataDirectory* directory = directory_;
    directory_ = nullptr;
    use_count_ = 0;
    disconnecting_ = false;
    if (session_ != nullptr && session_->Handle() != nullptr)
        session_->Handle()->CloseDirectory(directory);
    if (first)
        std::rethrow_exception(first);
}

void TZOLVEKDatabase::Rebind(TZOLVEKSession& session) {
    if (session_ != nullptr)
        session_->RemoveDatabase(this);
    session_ = &session;
    session_->AddDatabase(this);
}

void TZOLVEKDatabase::AddDataSet(TZOLVEKDBDataSet* dataset) {
    if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end())
        datasets_.push_back(dataset);
}

void TZOLVEKDatabase::RemoveDataSet(TZOLVEKDBDataSet* dataset) {
    datasets_.erase(std::remove(datasets_.begin(), datasets_.end(), dataset), datasets_.end());
}

// ---------------------------------------------------------------- Settings

void TZOLVEKDatabase::CheckClosed() const {
    if (Connected())
        DatabaseError(kDatabaseOpen);
}

void TZOLVEKDatabase::CheckOpen() const {
    if (!Connected())
        DatabaseError(kDatabaseClosed);
}

void TZOLVEKDatabase::SetDatabaseName(const std::string& name) {
    std::string value = ToBackslashes(name);
    if (value == database_name_)
        return;
    CheckClosed();
    if (!temporary_ && IsPathName(value))
        DatabaseErrorFmt(kDatabaseNameInvalid, { value });
    if (session_ != nullptr && !value.empty()) {
        TZOLVEKDatabase* other = session_->LookupDatabase(value);
        if (other != nullptr && other != this) {
            if (!other->temporary_ || other->use_count_ > 0 || !other->datasets_.empty())
                DatabaseErrorFmt(kDatabaseNameExists, { value });
            session_->FreeTemporary(other);
        }
    }
    database_name_ = value;
}

void TZOLVEKDatabase::SetDirectory(const std::string& path) {
    std::string value(TrimBlanks(ToBackslashes(path)));
    while (!value.empty() && value.back() == '\\')
        value.pop_back();
    if (value == directory_path_)
        return;
    CheckClosed();
    directory_path_ = value;
}

void TZOLVEKDatabase::SetKeepConnection(bool keep) {
    keep_connection_ = keep;
    if (!keep && Connected() && use_count_ == 0 && datasets_.empty())
        Close();
}

void TZOLVEKDatabase::SetKeepTablesOpen(bool keep) {
    if (keep == keep_tables_open_)
        return;
    CheckClosed();
    keep_tables_open_ = keep;
}

void TZOLVEKDatabase::SetSessionName(const std::string& name) {
    if (name == session_name_)
        return;
    CheckClosed();
    session_name_ = name;
}

// ---------------------------------------------------------------- Transactions

void TZOLVEKDatabase::BeginTransaction(const std::vector<std::string>& table_names) {
    CheckOpen();
    if (directory_->InTransaction())
        DatabaseErrorFmt(kTransactionActive, { database_name_ });
    directory_->StartTransaction(table_names);
}

void TZOLVEKDatabase::CommitTransaction(bool force_flush) {
    CheckOpen();
    if (!directory_->InTransaction())
        DatabaseErrorFmt(kNoTransaction, { database_name_ });
    directory_->CommitTransaction(force_flush);
}

void TZOLVEKDatabase::RollbackTransaction() {
    CheckOpen();
    if (!directory_->InTransaction())
        DatabaseErrorFmt(kNoTransaction, { database_name_ });
    directory_->RollbackTransaction();
}

bool TZOLVEKDatabase::TransactionActive() const {
    return directory_ != nullptr && directory_->InTransaction();
}

} // namespace zolvek
