// TDataEngine, the engine core of the process: the engine settings, the limits fixed at start,
// the open-file table, the error state and the list of sessions. The engine component creates
// one and configures it before starting it.
// Thread-safety: the session list, the file lists and the error state each have their own lock;
// settings change only while the engine is stopped.
#pragma once

#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/storage/digest.h"
#include "db/storage/open_files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zolvek {

class TDataSession;

// The engine settings (the engine component's published properties) with their defaults.
struct TEngineSettings {
    std::string LockFileName = "zolvek.lck";
    bool LargeFileSupport = false;
    std::string TableDataExtension = ".dat";
    std::string TableIndexExtension = ".idx";
    std::string TableBlobExtension = ".blb";
    std::string TableDataTempExtension = ".dat";
    std::string TableIndexTempExtension = ".idx";
    std::string TableBlobTempExtension = ".blb";
    std::string TableDataBackupExtension = ".dbk";
    std::string TableIndexBackupExtension = ".ibk";
    std::string TableBlobBackupExtension = ".bbk";
    std::string TableDataUpgradeExtension = ".dup";
    std::string TableIndexUpgradeExtension = ".iup";
    std::string TableBlobUpgradeExtension = ".bup";
    uint32_t MaxTableDataBufferSize = 32768;
    uint32_t MaxTableDataBufferCount = 8192;
    uint32_t MaxTableIndexBufferSize = 65536;
    uint32_t MaxTableIndexBufferCount = 8192;
    uint32_t MaxTableBlobBufferSize = 32768;
    uint32_t MaxTableBlobBufferCount = 8192;
    uint32_t TableReadLockWaitTime = 3;
    uint32_t TableReadLockRetryCount = 32768;
    uint32_t TableWriteLockWaitTime = 3;
    uint32_t TableWriteLockRetryCount = 32768;
    uint32_t TableTransLockWaitTime = 3;
    uint32_t TableTransLockRetryCount = 32768;
    uint32_t TableMaxReadLockCount = 100;
    uint8_t TableFilterIndexThreshhold = 1;
    bool CreateTempTablesInDatabase = false;
};

// Limits fixed when the engine starts, and the base offsets of the lock regions.
struct TEngineLimits {
    uint64_t max_file_size = 4'000'000'000ull;
    uint32_t max_record_count = 200'000'000;
    // B: lock bytes are placed downwards from here, beyond the largest file the engine allows.
    uint64_t lock_base = 0xFFFFFFFFull;
};

class TDataEngine {
public:
    TDataEngine();
    ~TDataEngine();
    TDataEngine(const TDataEngine&) = delete;
    TDataEngine& operator=(const TDataEngine&) = delete;

    TEngineSettings& Settings() { return settings_; }
    const TEngineSettings& Settings() const { return settings_; }

    // The signature stamped into new table files; its digest is kept beside it.
    void SetEngineSignature(const std::string& signature);
    const std::string& EngineSignature() const { return signature_; }
    const TDigest& SignatureDigest() const { return signature_digest_; }
    // The digest of the default signature "ZOLVEK_SIG", which every engine accepts.
    static const TDigest& DefaultSignatureDigest();

    void StartEngine();
    // Frees every session (closing their directories and tables) and every open file; the
    // contents of memory tables are lost.
    void StopEngine();
    bool Started() const { return started_; }
    const TEngineLimits& Limits() const { return limits_; }

    TDataSession* CreateSession();
    void FreeSession(TDataSession* session);
    size_t SessionCount();

    // A file name in `directory` (given with or without its trailing '/') that does not exist
    // yet: the first five digits of the thread id, a counter, then `extension`.
    std::string UniqueTempName(
        const std::string& directory, const std::string& extension, bool in_memory);

    // The locales of the system, built on first use.
    const TLocaleList& Locales();

    TOpenFileTable& OpenFiles() { return open_files_; }
    TEngineErrors& Errors() { return errors_; }

    // Record change callbacks (triggers); the glossary registers none.
    enum TTriggerEvent {
        BeforeInsertTrigger,
        AfterInsertTrigger,
        BeforeUpdateTrigger,
        AfterUpdateTrigger,
        BeforeDeleteTrigger,
        AfterDeleteTrigger
    };
    using TTriggerCallback
        = std::function<void(TTriggerEvent event, TDataSession& session, const std::string& table)>;
    void SetTriggerCallback(TTriggerCallback callback) { trigger_ = std::move(callback); }
    const TTriggerCallback& TriggerCallback() const { return trigger_; }

private:
    TEngineErrors errors_;
    TOpenFileTable open_files_;
    TEngineSettings settings_;
    TEngineLimits limits_;
    std::string signature_ = "ZOLVEK_SIG";
    TDigest signature_digest_;
    bool started_ = false;
    std::mutex sessions_lock_;
    std::vector<std::unique_ptr<TDataSession>> sessions_;
    std::mutex temp_name_lock_;
    std::once_flag locales_built_;
    TLocaleList locales_;
    TTriggerCallback trigger_;
};

} // namespace zolvek
