#include "db/components/engine_component.h"

#include "db/components/component_errors.h"
#include "db/components/session_component.h"
#include "db/dataset/dataset_errors.h"
#include "db/storage/table_format.h"

#include <algorithm>
#include <exception>

namespace zolvek {

namespace {

// The implicit engine: created on first use, freed when the process ends (or by the last Free).
struct TEngineHolder {
    std::recursive_mutex lock;
    std::unique_ptr<TZOLVEKEngine> engine;

    ~TEngineHolder() {
        // The end of the process: tables opened exclusively write their headers as they close.
        try {
            engine.reset();
        } catch (...) {
            NoteSwallowedFailure();
        }
    }
};

TEngineHolder& Holder() {
    static TEngineHolder holder;
    return holder;
}

// Runs `step` for every element and reports the first failure once all have run.
template <class List, class Step> void ForEachKeepingFirstError(const List& list, Step step) {
    std::exception_ptr first;
    for (auto* element : list) {
        try {
            step(element);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

} // namespace

// ---------------------------------------------------------------- Life

TZOLVEKEngine& TZOLVEKEngine::Engine() {
    TEngineHolder& holder = Holder();
    std::lock_guard guard(holder.lock);
    if (!holder.engine) {
        holder.engine.reset(new TZOLVEKEngine());
        // The session registers itself with the engine, which is in place by now.
        holder.engine->default_session_ = std::make_unique<TZOLVEKSession>("Session");
        holder.engine->default_session_->SetSessionName("Default");
    }
    return *holder.engine;
}

TZOLVEKEngine& TZOLVEKEngine::Create() {
    TEngineHolder& holder = Holder();
    std::lock_guard guard(holder.lock);
    TZOLVEKEngine& engine = Engine();
    if (engine.instance_count_ >= 2)
        DatabaseError(kEngineExists);
    ++engine.instance_count_;
    return engine;
}

void TZOLVEKEngine::Free() {
    TEngineHolder& holder = Holder();
    std::lock_guard guard(holder.lock);
    if (holder.engine.get() != this || --instance_count_ > 0)
        return;
    std::unique_ptr<TZOLVEKEngine> engine = std::move(holder.engine);
    engine.reset();
}

TZOLVEKEngine::TZOLVEKEngine()
    : core_(std::make_unique<TDataEngine>()) {
    core_->SetTriggerCallback(
        [this](TDataEngine::TTriggerEvent event, TDataSession& session, const std::string& table) {
            ForwardTrigger(event, session, table);
        });
}

TZOLVEKEngine::~TZOLVEKEngine() {
    try {
        SetActive(false);
    } catch (...) {
        NoteSwallowedFailure();
    }
    default_session_.reset();
    // Session components the application still holds outlive the engine: they forget it.
    for (TZOLVEKSession* session : SessionsSnapshot())
        session->EngineGone();
    core_->SetTriggerCallback(nullptr);
}

// ---------------------------------------------------------------- Activation

void TZOLVEKEngine::SetActive(bool active) {
    if (active == active_)
        return;
    if (active) {
        if (OnStartup)
            OnStartup(*this);
        // The database server is not part of this engine.
        if (engine_type_ == etServer)
            DatabaseError(kNotSupported);
        core_->StartEngine();
        active_ = true;
        return;
    }
    std::vector<TZOLVEKSession*> sessions = SessionsSnapshot();
    std::reverse(sessions.begin(), sessions.end());
    std::exception_ptr first;
    try {
        ForEachKeepingFirstError(
            sessions, [](TZOLVEKSession* session) { session->SetActive(false); });
    } catch (...) {
        first = std::current_exception();
    }
    core_->StopEngine();
    active_ = false;
    if (OnShutdown)
        OnShutdown(*this);
    if (first)
        std::rethrow_exception(first);
}

// ---------------------------------------------------------------- Settings

void TZOLVEKEngine::CheckInactive() const {
    if (active_)
        DatabaseError(kEngineActive);
}

void TZOLVEKEngine::SetEngineType(TEngineType type) {
    CheckInactive();
    engine_type_ = type;
}

void TZOLVEKEngine::SetEngineSignature(const std::string& signature) {
    CheckInactive();
    core_->SetEngineSignature(signature);
}

void TZOLVEKEngine::SetLargeFileSupport(bool value) {
    CheckInactive();
    Settings().LargeFileSupport = value;
}

void TZOLVEKEngine::SetLockFileName(const std::string& name) {
    CheckInactive();
    Settings().LockFileName = name;
}

void TZOLVEKEngine::SetMinimum(uint32_t TEngineSettings::*member, int32_t value, uint32_t minimum) {
    CheckInactive();
    Settings().*member = value < int32_t(minimum) ? minimum : uint32_t(value);
}

void TZOLVEKEngine::SetMaxTableDataBufferSize(int32_t value) {
    SetMinimum(&TEngineSettings::MaxTableDataBufferSize, value, 8192);
}
void TZOLVEKEngine::SetMaxTableDataBufferCount(int32_t value) {
    SetMinimum(&TEngineSettings::MaxTableDataBufferCount, value, 16);
}
void TZOLVEKEngine::SetMaxTableIndexBufferSize(int32_t value) {
    SetMinimum(&TEngineSettings::MaxTableIndexBufferSize, value, 32768);
}
void TZOLVEKEngine::SetMaxTableIndexBufferCount(int32_t value) {
    SetMinimum(&TEngineSettings::MaxTableIndexBufferCount, value, 8);
}
void TZOLVEKEngine::SetMaxTableBlobBufferSize(int32_t value) {
    SetMinimum(&TEngineSettings::MaxTableBlobBufferSize, value, 8192);
}
void TZOLVEKEngine::SetMaxTableBlobBufferCount(int32_t value) {
    SetMinimum(&TEngineSettings::MaxTableBlobBufferCount, value, 32);
}

void TZOLVEKEngine::SetExtension(std::string TEngineSettings::*member, const std::string& value) {
    CheckInactive();
    // An empty extension would name the data, index and BLOB files alike: it is refused by
    // leaving the old one in place.
    if (value.empty())
        return;
    Settings().*member = value.front() == '.' ? value : "." + value;
}

void TZOLVEKEngine::SetTableDataExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableDataExtension, value);
}
void TZOLVEKEngine::SetTableIndexExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableIndexExtension, value);
}
void TZOLVEKEngine::SetTableBlobExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableBlobExtension, value);
}
void TZOLVEKEngine::SetTableDataBackupExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableDataBackupExtension, value);
}
void TZOLVEKEngine::SetTableIndexBackupExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableIndexBackupExtension, value);
}
void TZOLVEKEngine::SetTableBlobBackupExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableBlobBackupExtension, value);
}
void TZOLVEKEngine::SetTableDataUpgradeExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableDataUpgradeExtension, value);
}
void TZOLVEKEngine::SetTableIndexUpgradeExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableIndexUpgradeExtension, value);
}
void TZOLVEKEngine::SetTableBlobUpgradeExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableBlobUpgradeExtension, value);
}
void TZOLVEKEngine::SetTableDataTempExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableDataTempExtension, value);
}
void TZOLVEKEngine::SetTableIndexTempExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableIndexTempExtension, value);
}
void TZOLVEKEngine::SetTableBlobTempExtension(const std::string& value) {
    SetExtension(&TEngineSettings::TableBlobTempExtension, value);
}

void TZOLVEKEngine::SetCreateTempTablesInDatabase(bool value) {
    CheckInactive();
    Settings().CreateTempTablesInDatabase = value;
}

void TZOLVEKEngine::SetTableFilterIndexThreshhold(uint8_t value) {
    CheckInactive();
    if (value <= 100)
        Settings().TableFilterIndexThreshhold = value;
}

void TZOLVEKEngine::SetTableReadLockWaitTime(uint16_t value) {
    CheckInactive();
    Settings().TableReadLockWaitTime = value;
}
void TZOLVEKEngine::SetTableReadLockRetryCount(uint16_t value) {
    CheckInactive();
    Settings().TableReadLockRetryCount = value;
}
void TZOLVEKEngine::SetTableWriteLockWaitTime(uint16_t value) {
    CheckInactive();
    Settings().TableWriteLockWaitTime = value;
}
void TZOLVEKEngine::SetTableWriteLockRetryCount(uint16_t value) {
    CheckInactive();
    Settings().TableWriteLockRetryCount = value;
}
void TZOLVEKEngine::SetTableTransLockWaitTime(uint16_t value) {
    CheckInactive();
    Settings().TableTransLockWaitTime = value;
}
void TZOLVEKEngine::SetTableTransLockRetryCount(uint16_t value) {
    CheckInactive();
    Settings().TableTransLockRetryCount = value;
}
void TZOLVEKEngine::SetTableMaxReadLockCount(uint16_t value) {
    CheckInactive();
    if (value != 0)
        Settings().TableMaxReadLockCount = value;
}

// ---------------------------------------------------------------- Events

void TZOLVEKEngine::ForwardTrigger(
    TDataEngine::TTriggerEvent event, TDataSession& session, const std::string& table_name) {
    const TEngineTriggerEvent* handler = nullptr;
    switch (event) {
    case TDataEngine::BeforeInsertTrigger:
        handler = &BeforeInsertTrigger;
        break;
    case TDataEngine::AfterInsertTrigger:
        handler = &AfterInsertTrigger;
        break;
    case TDataEngine::BeforeUpdateTrigger:
        handler = &BeforeUpdateTrigger;
        break;
    case TDataEngine::AfterUpdateTrigger:
        handler = &AfterUpdateTrigger;
        break;
    case TDataEngine::BeforeDeleteTrigger:
        handler = &BeforeDeleteTrigger;
        break;
    case TDataEngine::AfterDeleteTrigger:
        handler = &AfterDeleteTrigger;
        break;
    }
    // Without a handler the engine keeps its own behaviour.
    if (handler != nullptr && *handler)
        (*handler)(*this, FindSessionOf(&session), table_name);
}

// ---------------------------------------------------------------- Sessions

void TZOLVEKEngine::AddSession(TZOLVEKSession* session) {
    std::lock_guard guard(sessions_lock_);
    sessions_.push_back(session);
}

void TZOLVEKEngine::RemoveSession(TZOLVEKSession* session) {
    std::lock_guard guard(sessions_lock_);
    sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

std::vector<TZOLVEKSession*> TZOLVEKEngine::SessionsSnapshot() {
    std::lock_guard guard(sessions_lock_);
    return sessions_;
}

size_t TZOLVEKEngine::SessionCount() {
    std::lock_guard guard(sessions_lock_);
    return sessions_.size();
}

TZOLVEKSession* TZOLVEKEngine::LookupSession(std::string_view name) {
    if (TrimName(name).empty())
        return default_session_.get();
    std::lock_guard guard(sessions_lock_);
    for (TZOLVEKSession* session : sessions_) {
        if (SameName(session->SessionName(), name))
            return session;
    }
    return nullptr;
}

TZOLVEKSession& TZOLVEKEngine::RequireSession(std::string_view name) {
    TZOLVEKSession* session = LookupSession(name);
    if (session == nullptr)
        DatabaseErrorFmt(kSessionNameInvalid, { name });
    return *session;
}

TZOLVEKSession* TZOLVEKEngine::FindSessionOf(const TDataSession* engine_session) {
    std::lock_guard guard(sessions_lock_);
    for (TZOLVEKSession* session : sessions_) {
        if (session->Handle() == engine_session)
            return session;
    }
    return nullptr;
}

int32_t TZOLVEKEngine::TakeAutoSessionNumber() {
    std::lock_guard guard(numbers_lock_);
    int32_t number = 0;
    while (used_numbers_.count(number) > 0)
        ++number;
    used_numbers_.insert(number);
    return number;
}

void TZOLVEKEngine::ReturnAutoSessionNumber(int32_t number) {
    std::lock_guard guard(numbers_lock_);
    used_numbers_.erase(number);
}

} // namespace zolvek
