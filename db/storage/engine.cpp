// The engine core.
#include "db/storage/engine.h"

#include "db/storage/session.h"

#include <algorithm>
#include <functional>
#include <thread>

namespace zolvek {

TDataEngine::TDataEngine()
    : open_files_(errors_)
    , signature_digest_(DigestText(signature_)) {
    SetProcessEngineErrors(&errors_);
}

TDataEngine::~TDataEngine() {
    try {
        StopEngine();
    } catch (...) {
        NoteSwallowedFailure();
    }
    SetProcessEngineErrors(nullptr);
}

const TDigest& TDataEngine::DefaultSignatureDigest() {
    static const TDigest digest = DigestText("ZOLVEK_SIG");
    return digest;
}

void TDataEngine::SetEngineSignature(const std::string& signature) {
    signature_ = signature;
    signature_digest_ = DigestText(signature_);
}

void TDataEngine::StartEngine() {
    if (settings_.LargeFileSupport) {
        limits_.max_file_size = 128'000'000'000ull;
        limits_.max_record_count = 1'000'000'000;
        limits_.lock_base = 0x7FFFFFFFFFFFFFFFull;
    } else {
        limits_ = TEngineLimits {};
    }
    started_ = true;
}

void TDataEngine::StopEngine() {
    // Sessions close their tables and files first; what is left in the file table afterwards
    // (memory files) is freed with its contents.
    {
        std::lock_guard guard(sessions_lock_);
        while (!sessions_.empty())
            sessions_.pop_back();
    }
    open_files_.Clear();
    started_ = false;
}

const TLocaleList& TDataEngine::Locales() {
    std::call_once(locales_built_, [this] { locales_.BuildLocaleList(); });
    return locales_;
}

TDataSession* TDataEngine::CreateSession() {
    std::lock_guard guard(sessions_lock_);
    sessions_.push_back(std::make_unique<TDataSession>(*this));
    return sessions_.back().get();
}

void TDataEngine::FreeSession(TDataSession* session) {
    std::unique_ptr<TDataSession> freed;
    {
        std::lock_guard guard(sessions_lock_);
        auto it = std::find_if(sessions_.begin(), sessions_.end(),
            [&](const std::unique_ptr<TDataSession>& s) { return s.get() == session; });
        if (it == sessions_.end())
            return;
        freed = std::move(*it);
        sessions_.erase(it);
    }
}

size_t TDataEngine::SessionCount() {
    std::lock_guard guard(sessions_lock_);
    return sessions_.size();
}

std::string TDataEngine::UniqueTempName(
    const std::string& directory, const std::string& extension, bool in_memory) {
    std::lock_guard guard(temp_name_lock_);
    std::string path = directory;
    if (!path.empty() && path.back() != '/')
        path += '/';
    std::string thread = std::to_string(std::hash<std::thread::id> {}(std::this_thread::get_id()));
    path += thread.substr(0, 5);
    for (uint64_t counter = 0;; ++counter) {
        std::string candidate = path + std::to_string(counter) + extension;
        if (!open_files_.Exists(candidate, in_memory))
            return candidate;
    }
}

} // namespace zolvek
