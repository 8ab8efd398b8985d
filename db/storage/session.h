// TDataSession: one client's context in the engine — its lock and flush settings, its table
// passwords and its open database directories — and TDataPassword, one password the
// application supplied with its digest and Blowfish key context.
// Thread-safety: a session and everything below it is used by one thread at a time.
// Lifetime: owned by the engine; password objects live until the session is destroyed, because
// open tables keep using the key contexts of passwords removed in the meantime.
#pragma once

#include "db/base/safe_object.h"
#include "db/storage/cipher.h"
#include "db/storage/digest.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zolvek {

class TDataEngine;
class TDataDirectory;

enum TLockProtocol : uint8_t { lpPessimistic = 0, lpOptimistic = 1 };

class TDataPassword {
public:
    explicit TDataPassword(std::string text);
    const std::string& Text() const { return text_; }
    const TDigest& Digest() const { return digest_; }
    TCipherContext& Key() const { return *key_; }
    // The password's digest enciphered with its own key: the check block of encrypted tables.
    TDigest CheckBlock() const;
    // Whether `check` deciphers to this password's digest.
    bool Matches(const TDigest& check) const;

private:
    std::string text_;
    TDigest digest_;
    std::unique_ptr<TCipherContext> key_;
};

struct TSessionSettings {
    std::string PrivateDir;
    uint16_t ProgressSteps = 20;
    bool ForceBufferFlush = false;
    bool StrictChangeDetection = false;
    uint8_t LockRetryCount = 15;
    uint16_t LockWaitTime = 100;
    TLockProtocol LockProtocol = lpPessimistic;
};

class TDataSession : public TSafeObject {
public:
    explicit TDataSession(TDataEngine& engine);
    ~TDataSession() override;

    TDataEngine& Engine() const { return engine_; }
    TSessionSettings& Settings() { return settings_; }
    const TSessionSettings& Settings() const { return settings_; }

    // Opens (or shares) the directory of `path`; an empty path is the current directory, except
    // for the database "Memory", whose tables live in memory.
    TDataDirectory* OpenDirectory(const std::string& database_name, const std::string& path,
        bool keep_tables_open, bool name_must_match = false);
    void CloseDirectory(TDataDirectory* directory);
    const std::vector<std::unique_ptr<TDataDirectory>>& Directories() const { return directories_; }

    void AddPassword(const std::string& text);
    void RemovePassword(const std::string& text);
    void RemoveAllPasswords();
    TDataPassword* FindPassword(const std::string& text) const;
    TDataPassword* FindPasswordByCheck(const TDigest& check) const;
    // Asks the application for a password; true when it wants the open tried again.
    using TPasswordCallback = std::function<bool(TDataSession& session)>;
    void SetPasswordCallback(TPasswordCallback callback) {
        password_callback_ = std::move(callback);
    }
    bool AskPassword();

private:
    TDataEngine& engine_;
    TSessionSettings settings_;
    std::vector<std::unique_ptr<TDataDirectory>> directories_;
    std::vector<std::unique_ptr<TDataPassword>> active_passwords_;
    std::vector<std::unique_ptr<TDataPassword>> spare_passwords_;
    TPasswordCallback password_callback_;
};

// The path of a directory as the engine keeps it: trimmed, '/' at the end.
std::string NormaliseDirectoryPath(const std::string& path, bool memory_database);
bool IsMemoryDatabase(const std::string& database_name);

} // namespace zolvek
