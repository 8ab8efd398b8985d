// TZOLVEKSession, the session component: a named engine session with its lock policy, change
// detection, private directory and table passwords, the password request (OnPassword, then the
// application's password dialog), and the database components of the session, among them the
// temporary databases it creates for datasets that name a directory instead of a database.
// Thread-safety: used by the thread that owns the components. Lifetime: registers with the
// engine component when constructed and unregisters when destroyed; it owns its temporary
// databases, while permanent database components only register with it.
#pragma once

#include "db/storage/session.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {

class TZOLVEKDatabase;
class TZOLVEKEngine;
class TZOLVEKSession;

enum TSessionType : uint8_t { stLocal, stRemote };

using TSessionNotifyEvent = std::function<void(TZOLVEKSession&)>;
// Asked when an encrypted table needs a password; the handler adds one (AddTablePassword) and
// sets `continue_open` to have the open tried again.
using TPasswordEvent = std::function<void(TZOLVEKSession&, bool& continue_open)>;
// The application's password dialog, the fallback of a session without OnPassword: true when
// the user supplied a password and the open should be tried again.
using TPasswordDialog = std::function<bool(TZOLVEKSession&)>;

class TZOLVEKSession {
public:
    // Registers with the engine component. `name` is the component's name, from which
    // AutoSessionName builds the session name.
    explicit TZOLVEKSession(std::string name = {});
    ~TZOLVEKSession();
    TZOLVEKSession(const TZOLVEKSession&) = delete;
    TZOLVEKSession& operator=(const TZOLVEKSession&) = delete;

    const std::string& Name() const { return name_; }
    std::string_view EngineVersion() const;
    void SetEngineVersion(std::string_view) { } // read-only in effect

    // ---- Activation ----

    bool Active() const { return handle_ != nullptr; }
    // True: activates the engine and the default session, creates the engine session and hands
    // it the settings; a failure leaves the session inactive. False: frees the temporary
    // databases, closes the permanent ones and frees the engine session.
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    // The engine session while active.
    TDataSession* Handle() const { return handle_; }
    bool IsDefault() const;

    // ---- Published settings ----

    bool AutoSessionName() const { return auto_session_name_; }
    // Requires an inactive session. True takes the lowest free auto-session number (0-based) and
    // names the session "<component name>_<number + 1>"; false gives the number back.
    void SetAutoSessionName(bool value);
    // Copied into every temporary database the session creates.
    bool KeepConnections = true;
    // The settings below are handed to the engine session at once while active.
    bool ForceBufferFlush() const { return settings_.ForceBufferFlush; }
    void SetForceBufferFlush(bool value);
    bool StrictChangeDetection() const { return settings_.StrictChangeDetection; }
    void SetStrictChangeDetection(bool value);
    uint8_t LockRetryCount() const { return settings_.LockRetryCount; }
    void SetLockRetryCount(uint8_t value);
    uint16_t LockWaitTime() const { return settings_.LockWaitTime; }
    void SetLockWaitTime(uint16_t value);
    TLockProtocol LockProtocol() const { return settings_.LockProtocol; }
    void SetLockProtocol(TLockProtocol value);
    const std::string& PrivateDir() const { return settings_.PrivateDir; }
    void SetPrivateDir(const std::string& value);
    uint16_t ProgressSteps() const { return settings_.ProgressSteps; }
    void SetProgressSteps(uint16_t value); // above 100 is ignored
    const std::string& SessionName() const { return session_name_; }
    // Requires an inactive session; a name another session has raises "Session name '%s'
    // already exists"; an auto-named session refuses it.
    void SetSessionName(const std::string& name);
    TSessionType SessionType() const { return session_type_; }
    void SetSessionType(TSessionType type); // inactive

    TPasswordEvent OnPassword;
    TSessionNotifyEvent OnStartup;
    TSessionNotifyEvent OnShutdown;
    // Installs the application's password dialog (empty: none) and returns the previous one.
    static TPasswordDialog SetPasswordDialog(TPasswordDialog dialog);

    // ---- Passwords (active session required) ----

    void AddTablePassword(const std::string& password);
    void RemoveTablePassword(const std::string& password);
    void ClearTablePasswords();

    // ---- Databases ----

    // Activates the session, finds the database by name or creates a temporary one (a path
    // name becomes its Directory), opens it and counts one more use. A failure leaves no
    // temporary database behind.
    TZOLVEKDatabase& AcquireDatabase(std::string_view name);
    // One use fewer (never below 0); at 0 without KeepConnection a temporary database is freed
    // and a permanent one closed.
    void ReleaseDatabase(TZOLVEKDatabase& database);
    // Case-insensitive search by DatabaseName in creation order; an empty name matches only a
    // temporary database.
    TZOLVEKDatabase* LookupDatabase(std::string_view name) const;
    size_t DatabaseCount() const { return databases_.size(); }
    TZOLVEKDatabase& Databases(size_t index) const { return *databases_.at(index); }

private:
    friend class TZOLVEKEngine;
    friend class TZOLVEKDatabase;

    void CheckInactive() const;
    void Activate();
    void Deactivate();
    void ApplySettings();
    bool RequestPassword();
    void RequireActive() const;
    // Database registration (TZOLVEKDatabase); RemoveDatabase also frees an owned one.
    void AddDatabase(TZOLVEKDatabase* database);
    void RemoveDatabase(TZOLVEKDatabase* database);
    void FreeTemporary(TZOLVEKDatabase* database);
    void EngineGone() { engine_ = nullptr; }

    TZOLVEKEngine* engine_;
    std::string name_;
    std::string session_name_;
    TSessionType session_type_ = stLocal;
    TSessionSettings settings_;
    bool auto_session_name_ = false;
    int32_t auto_number_ = -1;
    bool activating_ = false;
    TDataSession* handle_ = nullptr;
    std::vector<TZOLVEKDatabase*> databases_;
    std::vector<std::unique_ptr<TZOLVEKDatabase>> temporary_databases_;
};

} // namespace zolvek
