#include "db/components/session_component.h"

#include "db/components/component_errors.h"
#include "db/components/database_component.h"
#include "db/components/engine_component.h"
#include "db/dataset/dataset_errors.h"
#include "db/storage/table_format.h"

#include <algorithm>
#include <utility>

namespace zolvek {

namespace {

TPasswordDialog& InstalledPasswordDialog() {
    static TPasswordDialog dialog;
    return dialog;
}

} // namespace

TPasswordDialog TZOLVEKSession::SetPasswordDialog(TPasswordDialog dialog) {
    return std::exchange(InstalledPasswordDialog(), std::move(dialog));
}

// ---------------------------------------------------------------- Life

TZOLVEKSession::TZOLVEKSession(std::string name)
    : engine_(&TZOLVEKEngine::Engine())
    , name_(std::move(name)) {
    engine_->AddSession(this);
}

TZOLVEKSession::~TZOLVEKSession() {
    try {
        SetActive(false);
    } catch (...) {
        NoteSwallowedFailure();
    }
    // Permanent databases the application still holds outlive the session.
    std::vector<TZOLVEKDatabase*> remaining = databases_;
    for (TZOLVEKDatabase* database : remaining) {
        if (!database->Temporary())
            database->SessionGone();
    }
    temporary_databases_.clear();
    if (engine_ != nullptr) {
        if (auto_number_ >= 0)
            engine_->ReturnAutoSessionNumber(auto_number_);
        engine_->RemoveSession(this);
    }
}

std::string_view TZOLVEKSession::EngineVersion() const {
    return kZOLVEKEngineVersion;
}

bool TZOLVEKSession::IsDefault() const {
    return engine_ != nullptr && &engine_->DefaultSession() == this;
}

// ---------------------------------------------------------------- Activation

void TZOLVEKSession::SetActive(bool active) {
    if (active)
        Activate();
    else
        Deactivate();
}

void TZOLVEKSession::Activate() {
    if (Active() || activating_)
        return;
    if (engine_ == nullptr)
        DatabaseError(kSessionInactive);
    if (engine_->EngineType() == etServer && session_type_ == stRemote)
        DatabaseError(kRemoteSessionWithServer);
    activating_ = true;
    try {
        engine_->SetActive(true);
        if (OnStartup)
            OnStartup(*this);
        if (session_name_.empty())
            DatabaseError(kSessionNameMissing);
        // Remote sessions talk to a database server, which this engine does not include.
        if (session_type_ == stRemote)
            DatabaseError(kNotSupported);
        if (!IsDefault())
            engine_->DefaultSession().SetActive(true);
        handle_ = engine_->Core().CreateSession();
        ApplySettings();
        handle_->SetPasswordCallback([this](TDataSession&) { return RequestPassword(); });
    } catch (...) {
        activating_ = false;
        if (handle_ != nullptr) {
            TDataSession* handle = handle_;
            handle_ = nullptr;
            try {
                engine_->Core().FreeSession(handle);
            } catch (...) {
                NoteSwallowedFailure();
            }
        }
        throw;
    }
    activating_ = false;
}

void TZOLVEKSession::Deactivate() {
    if (!Active())
        return;
    std::exception_ptr first;
    std::vector<TZOLVEKDatabase*> databases = databases_;
    for (auto it = databases.rbegin(); it != databases.rend(); ++it) {
        try {
            if ((*it)->Temporary())
                FreeTemporary(*it);
            else
                (*it)->Close();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    TDataSession* handle = handle_;
    handle_ = nullptr;
    if (engine_ != nullptr)
        engine_->Core().FreeSession(handle);
    if (OnShutdown)
        OnShutdown(*this);
    if (first)
        std::rethrow_exception(first);
}

void TZOLVEKSession::ApplySettings() {
    handle_->Settings() = settings_;
}

bool TZOLVEKSession::RequestPassword() {
    if (OnPassword) {
        bool continue_open = false;
        OnPassword(*this, continue_open);
        return continue_open;
    }
    const TPasswordDialog& dialog = InstalledPasswordDialog();
    if (engine_ != nullptr && engine_->EngineType() != etServer && dialog)
        return dialog(*this);
    return false;
}

// ---------------------------------------------------------------- Settings

void TZOLVEKSession::CheckInactive() const {
    if (Active())
        DatabaseError(kSessionActive);
}

void TZOLVEKSession::RequireActive() const {
    if (!Active())
        DatabaseError(kSessionInactive);
}

void TZOLVEKSession::SetAutoSessionName(bool value) {
    if (value == auto_session_name_)
        return;
    CheckInactive();
    if (engine_ == nullptr)
        return;
    if (value) {
        int32_t number = engine_->TakeAutoSessionNumber();
        std::string name = name_ + "_" + std::to_string(number + 1);
        if (TZOLVEKSession* other = engine_->LookupSession(name);
            other != nullptr && other != this) {
            engine_->ReturnAutoSessionNumber(number);
            DatabaseErrorFmt(kSessionNameExists, { name });
        }
        auto_number_ = number;
        auto_session_name_ = true;
        session_name_ = name;
    } else {
        engine_->ReturnAutoSessionNumber(auto_number_);
        auto_number_ = -1;
        auto_session_name_ = false;
    }
}

void TZOLVEKSession::SetSessionName(const std::string& name) {
    if (name == session_name_)
        return;
    if (auto_session_name_)
        DatabaseError(kAutoSessionActive);
    CheckInactive();
    if (!TrimName(name).empty() && engine_ != nullptr) {
        TZOLVEKSession* other = nullptr;
        for (TZOLVEKSession* session : engine_->SessionsSnapshot()) {
            if (session != this && SameName(session->SessionName(), name))
                other = session;
        }
        if (other != nullptr)
            DatabaseErrorFmt(kSessionNameExists, { name });
    }
    session_name_ = name;
}

void TZOLVEKSession::SetSessionType(TSessionType type) {
    CheckInactive();
    session_type_ = type;
}

void TZOLVEKSession::SetForceBufferFlush(bool value) {
    settings_.ForceBufferFlush = value;
    if (handle_ != nullptr)
        handle_->Settings().ForceBufferFlush = value;
}

void TZOLVEKSession::SetStrictChangeDetection(bool value) {
    settings_.StrictChangeDetection = value;
    if (handle_ != nullptr)
        handle_->Settings().StrictChangeDetection = value;
}

void TZOLVEKSession::SetLockRetryCount(uint8_t value) {
    settings_.LockRetryCount = value;
    if (handle_ != nullptr)
        handle_->Settings().LockRetryCount = value;
}

void TZOLVEKSession::SetLockWaitTime(uint16_t value) {
    settings_.LockWaitTime = value;
    if (handle_ != nullptr)
        handle_->Settings().LockWaitTime = value;
}

void TZOLVEKSession::SetLockProtocol(TLockProtocol value) {
    settings_.LockProtocol = value;
    if (handle_ != nullptr)
        handle_->Settings().LockProtocol = value;
}

void TZOLVEKSession::SetPrivateDir(const std::string& value) {
    settings_.PrivateDir = value;
    if (handle_ != nullptr)
        handle_->Settings().PrivateDir = value;
}

void TZOLVEKSession::SetProgressSteps(uint16_t value) {
    if (value > 100)
        return;
    settings_.ProgressSteps = value;
    if (handle_ != nullptr)
        handle_->Settings().ProgressSteps = value;
}

// ---------------------------------------------------------------- Passwords

void TZOLVEKSession::AddTablePassword(const std::string& password) {
    RequireActive();
    handle_->AddPassword(password);
}

void TZOLVEKSession::RemoveTablePassword(const std::string& password) {
    RequireActive();
    handle_->RemovePassword(password);
}

void TZOLVEKSession::ClearTablePasswords() {
    RequireActive();
    handle_->RemoveAllPasswords();
}

// ---------------------------------------------------------------- Databases

void TZOLVEKSession::AddDatabase(TZOLVEKDatabase* database) {
    databases_.push_back(database);
}

void TZOLVEKSession::RemoveDatabase(TZOLVEKDatabase* database) {
    databases_.erase(std::remove(databases_.begin(), databases_.end(), database), databases_.end());
}

void TZOLVEKSession::FreeTemporary(TZOLVEKDatabase* database) {
    auto it = std::find_if(temporary_databases_.begin(), temporary_databases_.end(),
        [&](const std::unique_ptr<TZOLVEKDatabase>& owned) { return owned.get() == database; });
    if (it == temporary_databases_.end())
        return;
    std::unique_ptr<TZOLVEKDatabase> owned = std::move(*it);
    temporary_databases_.erase(it);
    // Its destructor closes it (and its datasets) and unregisters it.
    owned.reset();
}

TZOLVEKDatabase* TZOLVEKSession::LookupDatabase(std::string_view name) const {
    std::string wanted = ToBackslashes(name);
    for (TZOLVEKDatabase* database : databases_) {
        if (database->DatabaseName().empty()) {
            if (wanted.empty() && database->Temporary())
                return database;
            continue;
        }
        if (!wanted.empty() && EqualsIgnoringCase(database->DatabaseName(), wanted))
            return database;
    }
    return nullptr;
}

TZOLVEKDatabase& TZOLVEKSession::AcquireDatabase(std::string_view name) {
    SetActive(true);
    TZOLVEKDatabase* database = LookupDatabase(name);
    bool created = false;
    if (database == nullptr) {
        auto temporary = std::unique_ptr<TZOLVEKDatabase>(
            new TZOLVEKDatabase(*this, TZOLVEKDatabase::TTemporaryTag {}));
        temporary->database_name_ = ToBackslashes(name);
        if (IsPathName(temporary->database_name_) && !IsMemoryName(temporary->database_name_))
            temporary->SetDirectory(temporary->database_name_);
        temporary->keep_connection_ = KeepConnections;
        database = temporary.get();
        temporary_databases_.push_back(std::move(temporary));
        created = true;
    }
    try {
        if (!database->Connected())
            database->Open();
        ++database->use_count_;
    } catch (...) {
        if (created)
            FreeTemporary(database);
        throw;
    }
    return *database;
}

void TZOLVEKSession::ReleaseDatabase(TZOLVEKDatabase& database) {
    if (database.use_count_ > 0)
        --database.use_count_;
    if (database.use_count_ > 0 || database.keep_connection_ || database.disconnecting_)
        return;
    if (database.Temporary())
        FreeTemporary(&database);
    else
        database.Close();
}

} // namespace zolvek
