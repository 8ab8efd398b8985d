// A table's use of one base file: its full path, open options and handle, and the reads and
// writes that turn short transfers and refusals into engine errors named after the table.
// Also used alone for the lock file.
// Thread-safety: one owner at a time; the base file serialises the transfers themselves.
#pragma once

#include "db/storage/base_file.h"
#include "db/storage/open_files.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace zolvek {

class TEngineErrors;

class TEngineFile {
public:
    TEngineFile(TOpenFileTable& files, TEngineErrors& errors);
    virtual ~TEngineFile();
    TEngineFile(const TEngineFile&) = delete;
    TEngineFile& operator=(const TEngineFile&) = delete;

    // The full path of the file, and the name its errors report (the table's name).
    void SetName(const std::string& path) { name_ = path; }
    const std::string& Name() const { return name_; }
    void SetDisplayName(const std::string& name) { display_name_ = name; }
    const std::string& DisplayName() const { return display_name_.empty() ? name_ : display_name_; }

    // Options, set before open or create.
    bool in_memory = false;
    bool exclusive = false;
    bool read_only = false;
    bool temporary = false;
    bool hidden = false;
    bool create_new = false; // Create refuses an existing file instead of replacing it

    bool IsOpen() const { return base_ != nullptr; }
    // After open: whether the file ended up read-only, and whether the process may not write it.
    bool OpenedReadOnly() const { return opened_read_only_; }
    bool ReadOnlyByAttribute() const { return read_only_by_attribute_; }

    bool Exists();
    // Open raises 11010 for a missing file and the open-file table's code for a refusal;
    // opening an open file does nothing.
    virtual void Open();
    virtual void Close();
    virtual void Create();
    void Delete();
    void Rename(const std::string& new_path);

    int64_t Seek(TSeekOrigin origin, int64_t offset);
    int64_t Size();
    // Fewer bytes than asked raise 9217 unless allow_short; returns the bytes read.
    size_t Read(void* buffer, size_t count, bool allow_short = false);
    // Fewer bytes than asked raise 9218. A count of 0 cuts the file at the position.
    void Write(const void* buffer, size_t count);
    // Seek and transfer as one step under the access section.
    size_t ReadAt(uint64_t offset, void* buffer, size_t count, bool allow_short = false);
    void WriteAt(uint64_t offset, const void* buffer, size_t count);
    void Truncate(uint64_t size);
    // Raises 9218 when the system cannot bring the file's data to the disk.
    void Flush();

    // False when the file is not open or the range is held elsewhere.
    bool LockRange(uint64_t offset, uint64_t length);
    bool UnlockRange(uint64_t offset, uint64_t length);

    std::recursive_mutex& AccessSection();
    TEngineErrors& Errors() const { return errors_; }
    [[noreturn]] void RaiseError(uint16_t code) const;

protected:
    TOpenFileTable& files_;
    TEngineErrors& errors_;
    std::string name_;
    std::string display_name_;
    TBaseFile* base_ = nullptr;
    int32_t handle_ = 0;
    bool opened_read_only_ = false;
    bool read_only_by_attribute_ = false;
    std::recursive_mutex closed_section_; // stands in while the file is closed
};

} // namespace zolvek
