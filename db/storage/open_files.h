// The engine's open-file table: every base file open in the process, one list of operating-
// system files and one of memory files, each sorted by name. It decides whether an open may
// share an existing base file and answers sharing conflicts with -11013, so that two table
// objects of one process use one descriptor per file.
// Thread-safety: each list has its own lock, taken for every lookup, insert and removal.
// The table owns its base files; StopEngine (Clear) frees them all.
#pragma once

#include "db/storage/base_file.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zolvek {

class TEngineErrors;

struct TOpenResult {
    TBaseFile* file = nullptr;
    int32_t handle = 0;
    bool read_only = false;
    bool read_only_by_attribute = false;
};

class TOpenFileTable {
public:
    explicit TOpenFileTable(TEngineErrors& errors);
    ~TOpenFileTable();

    // The name is in the table, or (physical files) names an existing regular file.
    bool Exists(const std::string& name, bool in_memory);
    // Each returns a handle or 0, or a negated engine code.
    int32_t Create(
        const std::string& name, bool in_memory, bool temporary, bool hidden, TOpenResult& result);
    int32_t Open(const std::string& name, bool in_memory, const TFileOpenOptions& options,
        TOpenResult& result);
    int32_t Close(TBaseFile* file, int32_t handle);
    int32_t Rename(const std::string& old_name, const std::string& new_name, bool in_memory);
    int32_t Delete(const std::string& name, bool in_memory);
    // Frees every base file; memory files lose their contents.
    void Clear();

    size_t Count(bool in_memory);

private:
    struct FileList {
        std::mutex lock;
        std::vector<std::unique_ptr<TBaseFile>> files; // sorted by name
        bool ignore_case = false;
    };
    FileList& ListFor(bool in_memory) { return in_memory ? memory_ : physical_; }
    static size_t LowerBound(const FileList& list, const std::string& name);
    static TBaseFile* Find(
        const FileList& list, const std::string& name, size_t* position = nullptr);
    std::unique_ptr<TBaseFile> MakeFile(bool in_memory, const std::string& name);

    TEngineErrors& errors_;
    FileList physical_;
    FileList memory_;
};

// Names of physical files compare exactly, as the file system does; names of memory files
// compare without regard to ASCII letter case.
int CompareFileNames(const std::string& a, const std::string& b, bool ignore_case);

} // namespace zolvek
