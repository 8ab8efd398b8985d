// Sessions and their table passwords.
#include "db/storage/session.h"

#include "db/storage/directory.h"
#include "db/storage/engine.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace zolvek {

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string TempPath() {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    if (path.back() != '/')
        path += '/';
    return path;
}

} // namespace

bool IsMemoryDatabase(const std::string& database_name) {
    return CompareFileNames(Trim(database_name), "Memory", true) == 0;
}

std::string NormaliseDirectoryPath(const std::string& path, bool memory_database) {
    std::string trimmed = Trim(path);
    if (trimmed.empty()) {
        if (memory_database)
            return {};
        char* cwd = getcwd(nullptr, 0);
        if (cwd != nullptr) {
            trimmed = cwd;
            std::free(cwd);
        }
    }
    if (!trimmed.empty() && trimmed.back() != '/')
        trimmed += '/';
    return trimmed;
}

// ---------------------------------------------------------------------------------------------
// TDataPassword

TDataPassword::TDataPassword(std::string text)
    : text_(std::move(text))
    , digest_(DigestText(text_))
    , key_(CreateCipherContext(digest_)) { }

TDigest TDataPassword::CheckBlock() const {
    TDigest block = digest_;
    key_->EncryptBuffer(block.data(), block.size());
    return block;
}

bool TDataPassword::Matches(const TDigest& check) const {
    TDigest block = check;
    key_->DecryptBuffer(block.data(), block.size());
    return block == digest_;
}

// ---------------------------------------------------------------------------------------------
// TDataSession

TDataSession::TDataSession(TDataEngine& engine)
    : engine_(engine) {
    settings_.PrivateDir = TempPath();
}

TDataSession::~TDataSession() {
    // Directories close their tables, which still use the key contexts of the passwords.
    while (!directories_.empty())
        directories_.pop_back();
    active_passwords_.clear();
    spare_passwords_.clear();
}

TDataDirectory* TDataSession::OpenDirectory(const std::string& database_name,
    const std::string& path, bool keep_tables_open, bool name_must_match) {
    bool memory = IsMemoryDatabase(database_name);
    std::string normalised = NormaliseDirectoryPath(path, memory);
    for (const auto& directory : directories_) {
        if (directory->InMemory() != memory)
            continue;
        if (CompareFileNames(directory->Path(), normalised, memory) != 0)
            continue;
        if (name_must_match
            && CompareFileNames(Trim(directory->DatabaseName()), Trim(database_name), true) != 0)
            continue;
        directory->AddReference();
        return directory.get();
    }
    auto directory = std::make_unique<TDataDirectory>(*this, database_name, normalised, memory);
    directory->Open();
    directory->SetKeepTablesOpen(keep_tables_open);
    directories_.push_back(std::move(directory));
    return directories_.back().get();
}

void TDataSession::CloseDirectory(TDataDirectory* directory) {
    auto it = std::find_if(directories_.begin(), directories_.end(),
        [&](const std::unique_ptr<TDataDirectory>& d) { return d.get() == directory; });
    if (it == directories_.end() || (*it)->ReferenceCount() == 0)
        return;
    if ((*it)->RemoveReference() == 0)
        directories_.erase(it);
}

void TDataSession::AddPassword(const std::string& text) {
    if (text.empty() || FindPassword(text) != nullptr)
        return;
    auto spare = std::find_if(spare_passwords_.begin(), spare_passwords_.end(),
        [&](const std::unique_ptr<TDataPassword>& p) { return p->Text() == text; });
    if (spare != spare_passwords_.end()) {
        active_passwords_.push_back(std::move(*spare));
        spare_passwords_.erase(spare);
        return;
    }
    active_passwords_.push_back(std::make_unique<TDataPassword>(text));
}

void TDataSession::RemovePassword(const std::string& text) {
    auto it = std::find_if(active_passwords_.begin(), active_passwords_.end(),
        [&](const std::unique_ptr<TDataPassword>& p) { return p->Text() == text; });
    if (it == active_passwords_.end())
        return;
    spare_passwords_.push_back(std::move(*it));
    active_passwords_.erase(it);
}

void TDataSession::RemoveAllPasswords() {
    for (auto& password : active_passwords_)
        spare_passwords_.push_back(std::move(password));
    active_passwords_.clear();
}

TDataPassword* TDataSession::FindPassword(const std::string& text) const {
    for (const auto& password : active_passwords_) {
        if (password->Text() == text)
            return password.get();
    }
    return nullptr;
}

TDataPassword* TDataSession::FindPasswordByCheck(const TDigest& check) const {
    for (const auto& password : active_passwords_) {
        if (password->Matches(check))
            return password.get();
    }
    return nullptr;
}

bool TDataSession::AskPassword() {
    return password_callback_ ? password_callback_(*this) : false;
}

} // namespace zolvek
