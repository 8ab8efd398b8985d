// TZOLVEKEngine, the engine component: the one engine of the process with its published
// settings (defaults and setter rules), the activation of the engine core, the record-change
// events, the list of session components and the numbers of auto-named sessions. The implicit
// engine and its "Default" session come into being on first use.
// Thread-safety: settings, activation and events belong to the thread that owns the components;
// the session list and the auto-session numbers have their own locks. Lifetime: the engine lives
// from its first use until the end of the process, or until its last reference is freed.
#pragma once

#include "db/storage/engine.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

class TZOLVEKSession;
class TZOLVEKEngine;

// The version text that every component reports.
inline constexpr std::string_view kZOLVEKEngineVersion = "4.24 Build 1";

enum TEngineType : uint8_t { etClient, etServer };

// A custom function of the SQL engine: kept and copied with the engine's settings; nothing in
// this layer calls it.
struct TZOLVEKFunction {
    std::string Name;
    std::string ResultType;
    std::vector<std::string> ParamTypes;
    friend bool operator==(const TZOLVEKFunction&, const TZOLVEKFunction&) = default;
};

using TEngineNotifyEvent = std::function<void(TZOLVEKEngine&)>;
// A record change made through the engine: the session component of the engine session that
// made it (nullptr when no component wraps that session) and the table's name.
using TEngineTriggerEvent
    = std::function<void(TZOLVEKEngine&, TZOLVEKSession* session, const std::string& table_name)>;

class TZOLVEKEngine {
public:
    // The engine of the process; the first call creates it with the session "Default".
    static TZOLVEKEngine& Engine();
    // What placing an engine component does: the same engine with one more reference. With the
    // implicit engine and one placed engine in use, raises "An engine component already exists".
    static TZOLVEKEngine& Create();
    // Gives back one reference. The last one deactivates the engine, frees the sessions it owns
    // and the engine core; the next Engine() starts afresh.
    void Free();
    int32_t InstanceCount() const { return instance_count_; }

    ~TZOLVEKEngine();
    TZOLVEKEngine(const TZOLVEKEngine&) = delete;
    TZOLVEKEngine& operator=(const TZOLVEKEngine&) = delete;

    // The engine core the settings configure.
    TDataEngine& Core() { return *core_; }

    // ---- Activation ----

    bool Active() const { return active_; }
    // True: OnStartup, then the engine core starts. False: every session component is
    // deactivated (the last registered first), the core stops, OnShutdown.
    void SetActive(bool active);

    // ---- Published settings ----
    // Setters marked "inactive" raise "Cannot perform this operation when the engine is active"
    // while the engine is active.

    std::string_view EngineVersion() const { return kZOLVEKEngineVersion; }
    void SetEngineVersion(std::string_view) { } // read-only in effect
    TEngineType EngineType() const { return engine_type_; }
    void SetEngineType(TEngineType type); // inactive
    const std::string& EngineSignature() const { return core_->EngineSignature(); }
    void SetEngineSignature(const std::string& signature); // inactive
    const std::vector<TZOLVEKFunction>& Functions() const { return functions_; }
    void SetFunctions(const std::vector<TZOLVEKFunction>& functions) { functions_ = functions; }
    bool LargeFileSupport() const { return Settings().LargeFileSupport; }
    void SetLargeFileSupport(bool value); // inactive
    // Whether RecordCount of a filtered table counts the filtered view (true) or the table.
    bool FilterRecordCounts = true;
    const std::string& LockFileName() const { return Settings().LockFileName; }
    void SetLockFileName(const std::string& name); // inactive

    // Buffer limits (inactive); values below the minimum become the minimum.
    uint32_t MaxTableDataBufferSize() const { return Settings().MaxTableDataBufferSize; }
    void SetMaxTableDataBufferSize(int32_t value); // at least 8192
    uint32_t MaxTableDataBufferCount() const { return Settings().MaxTableDataBufferCount; }
    void SetMaxTableDataBufferCount(int32_t value); // at least 16
    uint32_t MaxTableIndexBufferSize() const { return Settings().MaxTableIndexBufferSize; }
    void SetMaxTableIndexBufferSize(int32_t value); // at least 32768
    uint32_t MaxTableIndexBufferCount() const { return Settings().MaxTableIndexBufferCount; }
    void SetMaxTableIndexBufferCount(int32_t value); // at least 8
    uint32_t MaxTableBlobBufferSize() const { return Settings().MaxTableBlobBufferSize; }
    void SetMaxTableBlobBufferSize(int32_t value); // at least 8192
    uint32_t MaxTableBlobBufferCount() const { return Settings().MaxTableBlobBufferCount; }
    void SetMaxTableBlobBufferCount(int32_t value); // at least 32

    // File extensions (inactive): a value without a leading period gets one; an empty value is
    // ignored.
    const std::string& TableDataExtension() const { return Settings().TableDataExtension; }
    void SetTableDataExtension(const std::string& value);
    const std::string& TableIndexExtension() const { return Settings().TableIndexExtension; }
    void SetTableIndexExtension(const std::string& value);
    const std::string& TableBlobExtension() const { return Settings().TableBlobExtension; }
    void SetTableBlobExtension(const std::string& value);
    const std::string& TableDataBackupExtension() const {
        return Settings().TableDataBackupExtension;
    }
    void SetTableDataBackupExtension(const std::string& value);
    const std::string& TableIndexBackupExtension() const {
        return Settings().TableIndexBackupExtension;
    }
    void SetTableIndexBackupExtension(const std::string& value);
    const std::string& TableBlobBackupExtension() const {
        return Settings().TableBlobBackupExtension;
    }
    void SetTableBlobBackupExtension(const std::string& value);
    const std::string& TableDataUpgradeExtension() const {
        return Settings().TableDataUpgradeExtension;
    }
    void SetTableDataUpgradeExtension(const std::string& value);
    const std::string& TableIndexUpgradeExtension() const {
        return Settings().TableIndexUpgradeExtension;
    }
    void SetTableIndexUpgradeExtension(const std::string& value);
    const std::string& TableBlobUpgradeExtension() const {
        return Settings().TableBlobUpgradeExtension;
    }
    void SetTableBlobUpgradeExtension(const std::string& value);
    const std::string& TableDataTempExtension() const { return Settings().TableDataTempExtension; }
    void SetTableDataTempExtension(const std::string& value);
    const std::string& TableIndexTempExtension() const {
        return Settings().TableIndexTempExtension;
    }
    void SetTableIndexTempExtension(const std::string& value);
    const std::string& TableBlobTempExtension() const { return Settings().TableBlobTempExtension; }
    void SetTableBlobTempExtension(const std::string& value);

    bool CreateTempTablesInDatabase() const { return Settings().CreateTempTablesInDatabase; }
    void SetCreateTempTablesInDatabase(bool value); // inactive
    uint8_t TableFilterIndexThreshhold() const { return Settings().TableFilterIndexThreshhold; }
    // Inactive; a value above 100 is ignored.
    void SetTableFilterIndexThreshhold(uint8_t value);

    // Lock waits in milliseconds and retry counts (inactive).
    uint16_t TableReadLockWaitTime() const { return uint16_t(Settings().TableReadLockWaitTime); }
    void SetTableReadLockWaitTime(uint16_t value);
    uint16_t TableReadLockRetryCount() const {
        return uint16_t(Settings().TableReadLockRetryCount);
    }
    void SetTableReadLockRetryCount(uint16_t value);
    uint16_t TableWriteLockWaitTime() const { return uint16_t(Settings().TableWriteLockWaitTime); }
    void SetTableWriteLockWaitTime(uint16_t value);
    uint16_t TableWriteLockRetryCount() const {
        return uint16_t(Settings().TableWriteLockRetryCount);
    }
    void SetTableWriteLockRetryCount(uint16_t value);
    uint16_t TableTransLockWaitTime() const { return uint16_t(Settings().TableTransLockWaitTime); }
    void SetTableTransLockWaitTime(uint16_t value);
    uint16_t TableTransLockRetryCount() const {
        return uint16_t(Settings().TableTransLockRetryCount);
    }
    void SetTableTransLockRetryCount(uint16_t value);
    uint16_t TableMaxReadLockCount() const { return uint16_t(Settings().TableMaxReadLockCount); }
    // Inactive; 0 is ignored.
    void SetTableMaxReadLockCount(uint16_t value);

    // ---- Events ----

    TEngineNotifyEvent OnStartup;
    TEngineNotifyEvent OnShutdown;
    TEngineTriggerEvent BeforeInsertTrigger, AfterInsertTrigger;
    TEngineTriggerEvent BeforeUpdateTrigger, AfterUpdateTrigger;
    TEngineTriggerEvent BeforeDeleteTrigger, AfterDeleteTrigger;

    // ---- Sessions ----

    // Case-insensitive search of the session list; an empty name gives the "Default" session.
    TZOLVEKSession* LookupSession(std::string_view name);
    // As LookupSession; none found raises "Session name '%s' is not valid".
    TZOLVEKSession& RequireSession(std::string_view name);
    TZOLVEKSession& DefaultSession() { return *default_session_; }
    size_t SessionCount();
    // The session component that wraps an engine session, or nullptr.
    TZOLVEKSession* FindSessionOf(const TDataSession* session);

private:
    friend class TZOLVEKSession;

    TZOLVEKEngine();
    TEngineSettings& Settings() { return core_->Settings(); }
    const TEngineSettings& Settings() const { return core_->Settings(); }
    void CheckInactive() const;
    void SetExtension(std::string TEngineSettings::*member, const std::string& value);
    void SetMinimum(uint32_t TEngineSettings::*member, int32_t value, uint32_t minimum);
    void ForwardTrigger(
        TDataEngine::TTriggerEvent event, TDataSession& session, const std::string& table_name);

    // Called by session components.
    void AddSession(TZOLVEKSession* session);
    void RemoveSession(TZOLVEKSession* session);
    // Sessions in registration order, copied under the list lock.
    std::vector<TZOLVEKSession*> SessionsSnapshot();
    int32_t TakeAutoSessionNumber();
    void ReturnAutoSessionNumber(int32_t number);

    std::unique_ptr<TDataEngine> core_;
    bool active_ = false;
    TEngineType engine_type_ = etClient;
    std::vector<TZOLVEKFunction> functions_;
    int32_t instance_count_ = 1;

    std::mutex sessions_lock_;
    std::vector<TZOLVEKSession*> sessions_;
    std::unique_ptr<TZOLVEKSession> default_session_;
    std::mutex numbers_lock_;
    std::set<int32_t> used_numbers_;
};

} // namespace zolvek
