// Table files on top of the open-file table.
#include "db/storage/engine_file.h"

#include "db/base/errors.h"

namespace zolvek {

TEngineFile::TEngineFile(TOpenFileTable& files, TEngineErrors& errors)
    : files_(files)
    , errors_(errors) { }

TEngineFile::~TEngineFile() {
    if (base_ != nullptr)
        files_.Close(base_, handle_);
}

void TEngineFile::RaiseError(uint16_t code) const {
    errors_.RaiseTableError(code, DisplayName());
}

bool TEngineFile::Exists() {
    return base_ != nullptr || files_.Exists(name_, in_memory);
}

void TEngineFile::Open() {
    if (base_ != nullptr)
        return;
    if (!files_.Exists(name_, in_memory))
        RaiseError(ZOLVEK_OSENOENT);
    TFileOpenOptions options;
    options.read_only = read_only;
    options.exclusive = exclusive;
    options.temporary = temporary;
    options.hidden = hidden;
    TOpenResult result;
    int32_t handle = files_.Open(name_, in_memory, options, result);
    if (handle < 0)
        RaiseError(uint16_t(-handle));
    base_ = result.file;
    handle_ = handle;
    opened_read_only_ = result.read_only;
    read_only_by_attribute_ = result.read_only_by_attribute;
}

void TEngineFile::Close() {
    if (base_ == nullptr)
        return;
    TBaseFile* base = base_;
    base_ = nullptr;
    files_.Close(base, handle_);
    handle_ = 0;
}

void TEngineFile::Create() {
    Close();
    TFileOpenOptions options;
    options.temporary = temporary;
    options.hidden = hidden;
    options.create_new = create_new;
    TOpenResult result;
    int32_t handle = files_.Create(name_, in_memory, options, result);
    if (handle < 0)
        RaiseError(uint16_t(-handle));
    base_ = result.file;
    handle_ = handle;
    opened_read_only_ = false;
    read_only_by_attribute_ = false;
}

void TEngineFile::Delete() {
    int32_t result = files_.Delete(name_, in_memory);
    if (result < 0)
        RaiseError(uint16_t(-result));
}

void TEngineFile::Rename(const std::string& new_path) {
    int32_t result = files_.Rename(name_, new_path, in_memory);
    if (result < 0)
        RaiseError(uint16_t(-result));
    name_ = new_path;
}

std::recursive_mutex& TEngineFile::AccessSection() {
    return base_ != nullptr ? base_->AccessSection() : closed_section_;
}

int64_t TEngineFile::Seek(TSeekOrigin origin, int64_t offset) {
    if (base_ == nullptr)
        RaiseError(ZOLVEK_OSEBADF);
    return base_->Seek(handle_, origin, offset);
}

int64_t TEngineFile::Size() {
    if (base_ == nullptr)
        RaiseError(ZOLVEK_OSEBADF);
    int64_t size = base_->GetSize();
    if (size < 0)
        RaiseError(ZOLVEK_READERR);
    return size;
}

size_t TEngineFile::Read(void* buffer, size_t count, bool allow_short) {
    if (base_ == nullptr)
        RaiseError(ZOLVEK_OSEBADF);
    int64_t done = base_->Read(handle_, buffer, count);
    if (done < 0 || (size_t(done) < count && !allow_short))
        RaiseError(ZOLVEK_READERR);
    return size_t(done);
}

void TEngineFile::Write(const void* buffer, size_t count) {
    if (base_ == nullptr)
        RaiseError(ZOLVEK_OSEBADF);
    int64_t done = base_->Write(handle_, buffer, count);
    if (done < 0 || size_t(done) < count)
        RaiseError(ZOLVEK_WRITEERR);
}

size_t TEngineFile::ReadAt(uint64_t offset, void* buffer, size_t count, bool allow_short) {
    std::lock_guard guard(AccessSection());
    if (Seek(soBeginning, int64_t(offset)) < 0)
        RaiseError(ZOLVEK_READERR);
    return Read(buffer, count, allow_short);
}

void TEngineFile::WriteAt(uint64_t offset, const void* buffer, size_t count) {
    std::lock_guard guard(AccessSection());
    if (Seek(soBeginning, int64_t(offset)) < 0)
        RaiseError(ZOLVEK_WRITEERR);
    Write(buffer, count);
}

void TEngineFile::Truncate(uint64_t size) {
    WriteAt(size, nullptr, 0);
}

void TEngineFile::Flush() {
    if (base_ == nullptr)
        RaiseError(ZOLVEK_OSEBADF);
    // Data that never reaches the disk is a failed write, however well the writes went.
    if (!base_->Flush(handle_))
        RaiseError(ZOLVEK_WRITEERR);
}

bool TEngineFile::LockRange(uint64_t offset, uint64_t length) {
    return base_ != nullptr && base_->Lock(offset, length);
}

bool TEngineFile::UnlockRange(uint64_t offset, uint64_t length) {
    return base_ != nullptr && base_->Unlock(offset, length);
}

} // namespace zolvek
