// Database directories and their table registries.
#include "db/storage/directory.h"

#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/storage/engine.h"
#include "db/storage/session.h"
#include "db/storage/table.h"

#include <algorithm>

namespace zolvek {

namespace {

// Table names compare without letter case and without the data extension: "datalar" and
// "DATALAR.dat" name one table.
int CompareTableNames(
    const std::string& a, const std::string& b, const std::string& data_extension) {
    return UpperCaseName(BuildTableFileName(a, "", data_extension))
        .compare(UpperCaseName(BuildTableFileName(b, "", data_extension)));
}

} // namespace

TDataDirectory::TDataDirectory(
    TDataSession& session, const std::string& database_name, std::string path, bool in_memory)
    : session_(session)
    , database_name_(database_name.substr(0, 60))
    , path_(std::move(path))
    , in_memory_(in_memory) {
    locks_ = std::make_unique<TDataDirectoryLocks>(
        session.Engine(), database_name_.empty() ? path_ : database_name_, path_, in_memory_);
}

TDataDirectory::~TDataDirectory() {
    try {
        if (in_transaction_)
            RollbackTransaction();
    } catch (...) {
        NoteSwallowedFailure();
    }
    // Tables flush what exclusive opens deferred as they close.
    while (!tables_.empty()) {
        try {
            tables_.back()->CloseTableObject(false, true);
        } catch (...) {
            NoteSwallowedFailure();
        }
        tables_.pop_back();
    }
    locks_.reset();
}

TDataEngine& TDataDirectory::Engine() const {
    return session_.Engine();
}

void TDataDirectory::Open() {
    locks_->Open();
}

std::string TDataDirectory::TableFileName(
    const std::string& table_name, const std::string& extension) const {
    return path_
        + BuildTableFileName(table_name, extension, Engine().Settings().TableDataExtension);
}

size_t TDataDirectory::TablePosition(const std::string& table_name, bool& found) const {
    const std::string& extension = Engine().Settings().TableDataExtension;
    auto it = std::lower_bound(tables_.begin(), tables_.end(), table_name,
        [&](const std::unique_ptr<TDataTable>& table, const std::string& name) {
            return CompareTableNames(table->TableName(), name, extension) < 0;
        });
    found
        = it != tables_.end() && CompareTableNames((*it)->TableName(), table_name, extension) == 0;
    return size_t(it - tables_.begin());
}

TDataTable* TDataDirectory::FindTable(const std::string& table_name) const {
    bool found = false;
    size_t position = TablePosition(table_name, found);
    return found ? tables_[position].get() : nullptr;
}

bool TDataDirectory::TableExists(
    const std::string& table_name, bool open_tables_only, bool temporary) {
    if (FindTable(table_name) != nullptr)
        return true;
    if (open_tables_only)
        return false;
    const TEngineSettings& settings = Engine().Settings();
    std::string name = TableFileName(
        table_name, temporary ? settings.TableDataTempExtension : settings.TableDataExtension);
    return Engine().OpenFiles().Exists(name, in_memory_);
}

TDataTable* TDataDirectory::AcquireTable(const std::string& table_name, bool exclusive,
    bool temporary, bool no_transaction, bool no_count, bool verify_headers) {
    bool found = false;
    size_t position = TablePosition(table_name, found);
    if (found) {
        TDataTable* table = tables_[position].get();
        if (no_count)
            return table;
        if (table->OpenCount() > 0 || table->InTransaction() || keep_tables_open_) {
            if ((table->exclusive || exclusive)
                && (table->OpenCount() > 0 || !table->InTransaction()))
                Engine().Errors().RaiseTableError(ZOLVEK_OSEACCES, table_name);
            table->OpenTableObject(false, verify_headers);
            return table;
        }
        table->exclusive = exclusive;
        table->temporary = temporary;
        table->read_only = ReadOnly();
        table->OpenTableObject(false, verify_headers);
        if (TransactionCoversAllTables() && !no_transaction)
            table->StartTableTransaction();
        return table;
    }
    auto table = std::make_unique<TDataTable>(*this, table_name);
    table->exclusive = exclusive;
    table->temporary = temporary;
    table->read_only = ReadOnly();
    table->OpenTableObject(no_count, verify_headers);
    if (TransactionCoversAllTables() && !no_transaction)
        table->StartTableTransaction();
    TDataTable* raw = table.get();
    tables_.insert(tables_.begin() + ptrdiff_t(position), std::move(table));
    return raw;
}

void TDataDirectory::RemoveTable(TDataTable* table) {
    auto it = std::find_if(tables_.begin(), tables_.end(),
        [&](const std::unique_ptr<TDataTable>& t) { return t.get() == table; });
    if (it != tables_.end())
        tables_.erase(it);
}

void TDataDirectory::ReleaseTable(TDataTable* table, bool discard, bool forced) {
    auto it = std::find_if(tables_.begin(), tables_.end(),
        [&](const std::unique_ptr<TDataTable>& t) { return t.get() == table; });
    if (it == tables_.end())
        Engine().Errors().RaiseTableError(
            ZOLVEK_OSENOENT, table != nullptr ? table->TableName() : std::string());
    if (forced) {
        table->CloseTableObject(discard, true);
        if (table->OpenCount() > 0)
            return;
    } else {
        if (table->OpenCount() > 0)
            table->CloseTableObject(discard, false);
        if (table->OpenCount() > 0 || table->InTransaction()
            || (keep_tables_open_ && !table->exclusive))
            return;
        table->CloseTableObject(discard, true);
    }
    RemoveTable(table);
}

TDataTable* TDataDirectory::CreateTable(
    const std::string& table_name, const TableDefinition& definition) {
    TDataTable* existing = FindTable(table_name);
    if (ReadOnly()
        || (existing != nullptr && (existing->OpenCount() > 0 || existing->InTransaction())))
        Engine().Errors().RaiseTableError(ZOLVEK_OSEACCES, table_name);
    TableLayout layout = ValidateTableDefinition(
        definition, [](uint32_t locale) { return IsLocaleAvailable(locale); }, table_name);
    if (existing != nullptr) {
        existing->CloseTableObject(false, true);
        RemoveTable(existing);
    }
    auto table = std::make_unique<TDataTable>(*this, table_name);
    table->temporary = false;
    table->CreateTableFiles(layout);
    bool found = false;
    size_t position = TablePosition(table_name, found);
    TDataTable* raw = table.get();
    tables_.insert(tables_.begin() + ptrdiff_t(position), std::move(table));
    return raw;
}

void TDataDirectory::DeleteTable(const std::string& table_name) {
    TDataTable* existing = FindTable(table_name);
    if (ReadOnly()
        || (existing != nullptr && (existing->OpenCount() > 0 || existing->InTransaction())))
        Engine().Errors().RaiseTableError(ZOLVEK_OSEACCES, table_name);
    if (existing != nullptr) {
        existing->CloseTableObject(false, true);
        RemoveTable(existing);
    }
    TDataTable doomed(*this, table_name);
    doomed.DeleteTableFiles();
}

void TDataDirectory::RenameTable(const std::string& old_name, const std::string& new_name) {
    TDataTable* existing = FindTable(old_name);
    if (ReadOnly()
        || (existing != nullptr && (existing->OpenCount() > 0 || existing->InTransaction())))
        Engine().Errors().RaiseTableError(ZOLVEK_OSEACCES, old_name);
    if (existing != nullptr) {
        existing->CloseTableObject(false, true);
        RemoveTable(existing);
    }
    TDataTable moving(*this, old_name);
    moving.RenameTableFiles(path_, new_name, false);
}

void TDataDirectory::StartTransaction(const std::vector<std::string>& table_names) {
    if (in_transaction_)
        return;
    transaction_tables_.clear();
    if (table_names.empty()) {
        locks_->DirectoryTransLock();
        in_transaction_ = true;
        all_tables_transaction_ = true;
        try {
            for (const auto& table : tables_) {
                if (table->IsOpen()) {
                    table->StartTableTransaction();
                    transaction_tables_.push_back(table.get());
                }
            }
        } catch (...) {
            RollbackTransaction();
            throw;
        }
        return;
    }
    in_transaction_ = true;
    all_tables_transaction_ = false;
    try {
        for (const std::string& name : table_names) {
            TDataTable* table = FindTable(name);
            if (table == nullptr || !table->IsOpen())
                table = AcquireTable(name, false, false, false, true, true);
            table->StartTableTransaction();
            transaction_tables_.push_back(table);
        }
    } catch (...) {
        RollbackTransaction();
        throw;
    }
}

void TDataDirectory::CommitTransaction(bool force_flush) {
    if (!in_transaction_)
        return;
    if (all_tables_transaction_) {
        locks_->DirectoryWriteLock();
        try {
            for (TDataTable* table : transaction_tables_)
                table->CommitTableTransaction(force_flush, true);
        } catch (...) {
            // The transaction stays open (and other writers out) with what did not reach the
            // files: commit again or roll back. Tables that did commit have ended theirs.
            try {
                locks_->DirectoryWriteUnlock();
            } catch (...) {
                NoteSwallowedFailure();
            }
            throw;
        }
        locks_->DirectoryWriteUnlock();
        locks_->DirectoryTransUnlock();
    } else {
        for (TDataTable* table : transaction_tables_)
            table->CommitTableTransaction(force_flush, true);
    }
    in_transaction_ = false;
    all_tables_transaction_ = false;
    transaction_tables_.clear();
}

void TDataDirectory::RollbackTransaction() {
    if (!in_transaction_)
        return;
    std::exception_ptr failure;
    for (TDataTable* table : transaction_tables_) {
        try {
            table->RollbackTableTransaction();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (all_tables_transaction_)
        locks_->DirectoryTransUnlock();
    in_transaction_ = false;
    all_tables_transaction_ = false;
    transaction_tables_.clear();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace zolvek
