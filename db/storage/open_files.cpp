// The engine's open-file table.
#include "db/storage/open_files.h"

#include "db/base/errors.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zolvek {

int CompareFileNames(const std::string& a, const std::string& b, bool ignore_case) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (ignore_case) {
            if (x >= 'a' && x <= 'z')
                x = static_cast<unsigned char>(x - 32);
            if (y >= 'a' && y <= 'z')
                y = static_cast<unsigned char>(y - 32);
        }
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TOpenFileTable::TOpenFileTable(TEngineErrors& errors)
    : errors_(errors) {
    memory_.ignore_case = true;
}

TOpenFileTable::~TOpenFileTable() {
    Clear();
}

size_t TOpenFileTable::LowerBound(const FileList& list, const std::string& name) {
    auto it = std::lower_bound(list.files.begin(), list.files.end(), name,
        [&](const std::unique_ptr<TBaseFile>& file, const std::string& value) {
            return CompareFileNames(file->Name(), value, list.ignore_case) < 0;
        });
    return size_t(it - list.files.begin());
}

TBaseFile* TOpenFileTable::Find(const FileList& list, const std::string& name, size_t* position) {
    size_t at = LowerBound(list, name);
    if (position != nullptr)
        *position = at;
    if (at < list.files.size()
        && CompareFileNames(list.files[at]->Name(), name, list.ignore_case) == 0)
        return list.files[at].get();
    return nullptr;
}

std::unique_ptr<TBaseFile> TOpenFileTable::MakeFile(bool in_memory, const std::string& name) {
    if (in_memory)
        return std::make_unique<TMemoryFile>(errors_, name);
    return std::make_unique<TPhysicalFile>(errors_, name);
}

bool TOpenFileTable::Exists(const std::string& name, bool in_memory) {
    FileList& list = ListFor(in_memory);
    {
        std::lock_guard guard(list.lock);
        if (Find(list, name) != nullptr)
            return true;
    }
    if (in_memory)
        return false;
    struct stat info;
    return ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int32_t TOpenFileTable::Create(const std::string& name, bool in_memory,
    const TFileOpenOptions& create_options, TOpenResult& result) {
    FileList& list = ListFor(in_memory);
    std::lock_guard guard(list.lock);
    TFileOpenOptions options = create_options;
    options.exclusive = true;
    options.read_only = false;
    size_t position = 0;
    if (TBaseFile* existing = Find(list, name, &position)) {
        if (existing->OpenCount() > 0 || options.create_new)
            return -int32_t(ZOLVEK_OSEACCES);
        int32_t handle = existing->Create(options);
        if (handle < 0)
            return handle;
        result = TOpenResult { existing, handle, false, false };
        return handle;
    }
    std::unique_ptr<TBaseFile> file = MakeFile(in_memory, name);
    int32_t handle = file->Create(options);
    if (handle < 0)
        return handle;
    result = TOpenResult { file.get(), handle, false, false };
    list.files.insert(list.files.begin() + ptrdiff_t(position), std::move(file));
    return handle;
}

int32_t TOpenFileTable::Open(
    const std::string& name, bool in_memory, const TFileOpenOptions& options, TOpenResult& result) {
    FileList& list = ListFor(in_memory);
    std::lock_guard guard(list.lock);
    size_t position = 0;
    TBaseFile* file = Find(list, name, &position);
    if (file == nullptr && in_memory)
        return -int32_t(ZOLVEK_OSENOENT);
    if (file != nullptr) {
        if (file->OpenCount() > 0 && (options.exclusive || file->Exclusive()))
            return -int32_t(ZOLVEK_OSEACCES);
        int32_t handle = file->Open(options);
        if (handle < 0)
            return handle;
        result = TOpenResult { file, handle, file->ReadOnly(), file->ReadOnlyByAttribute() };
        return handle;
    }
    std::unique_ptr<TBaseFile> created = MakeFile(false, name);
    int32_t handle = created->Open(options);
    if (handle < 0)
        return handle;
    result = TOpenResult { created.get(), handle, created->ReadOnly(),
        created->ReadOnlyByAttribute() };
    list.files.insert(list.files.begin() + ptrdiff_t(position), std::move(created));
    return handle;
}

int32_t TOpenFileTable::Close(TBaseFile* file, int32_t handle) {
    if (file == nullptr)
        return -int32_t(ZOLVEK_OSENOENT);
    // Look the file up by identity before touching it: after StopEngine it may be gone.
    for (FileList* list : { &physical_, &memory_ }) {
        std::lock_guard guard(list->lock);
        auto it = std::find_if(list->files.begin(), list->files.end(),
            [&](const std::unique_ptr<TBaseFile>& entry) { return entry.get() == file; });
        if (it == list->files.end())
            continue;
        if (file->OpenCount() == 0)
            return -int32_t(ZOLVEK_OSENOENT);
        file->Close(handle);
        if (file->OpenCount() > 0)
            return 0;
        if (file->Temporary()) {
            file->Delete();
            list->files.erase(it);
        } else if (!file->InMemory()) {
            list->files.erase(it);
        }
        return 0;
    }
    return -int32_t(ZOLVEK_OSENOENT);
}

int32_t TOpenFileTable::Rename(
    const std::string& old_name, const std::string& new_name, bool in_memory) {
    FileList& list = ListFor(in_memory);
    std::lock_guard guard(list.lock);
    if (Find(list, new_name) != nullptr)
        return -int32_t(ZOLVEK_OSEACCES);
    size_t position = 0;
    TBaseFile* file = Find(list, old_name, &position);
    if (file == nullptr) {
        if (in_memory)
            return -int32_t(ZOLVEK_OSENOENT);
        if (::rename(old_name.c_str(), new_name.c_str()) != 0)
            return -int32_t(errors_.CaptureOSError());
        return 0;
    }
    if (file->OpenCount() > 0)
        return -int32_t(ZOLVEK_OSEACCES);
    int32_t result = file->Rename(new_name);
    if (result < 0)
        return result;
    std::unique_ptr<TBaseFile> moved = std::move(list.files[position]);
    list.files.erase(list.files.begin() + ptrdiff_t(position));
    list.files.insert(list.files.begin() + ptrdiff_t(LowerBound(list, new_name)), std::move(moved));
    return 0;
}

int32_t TOpenFileTable::Delete(const std::string& name, bool in_memory) {
    FileList& list = ListFor(in_memory);
    std::lock_guard guard(list.lock);
    size_t position = 0;
    TBaseFile* file = Find(list, name, &position);
    if (file == nullptr) {
        if (in_memory)
            return -int32_t(ZOLVEK_OSENOENT);
        if (::unlink(name.c_str()) != 0)
            return -int32_t(errors_.CaptureOSError());
        return 0;
    }
    if (file->OpenCount() > 0)
        return -int32_t(ZOLVEK_OSEACCES);
    int32_t result = file->Delete();
    if (result < 0)
        return result;
    list.files.erase(list.files.begin() + ptrdiff_t(position));
    return 0;
}

void TOpenFileTable::Clear() {
    for (FileList* list : { &physical_, &memory_ }) {
        std::lock_guard guard(list->lock);
        list->files.clear();
    }
}

size_t TOpenFileTable::Count(bool in_memory) {
    FileList& list = ListFor(in_memory);
    std::lock_guard guard(list.lock);
    return list.files.size();
}

} // namespace zolvek
