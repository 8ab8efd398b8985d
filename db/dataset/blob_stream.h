// The abstract stream through which memo and BLOB fields read and write their values, and the
// modes in which a dataset creates one (TDataSet::CreateBlobStream). A dataset's subclass
// supplies the concrete stream over its cursor's BLOB access.
// Thread-safety: none. Lifetime: a stream lives for one read or one write of one field of the
// record that was current when it was created; it must not outlive that record's dataset.
#pragma once

#include "db/base/seek_origin.h"

#include <cstddef>
#include <cstdint>

namespace zolvek {

enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to `count` bytes at the position and advances it by the bytes read.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes `count` bytes at the position (growing the value) and advances it; returns the
    // bytes written (0 from a stream that has nothing to write to).
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position (no bounds check) and returns it.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() = 0;
    // Grows (with zeros) or cuts the value to `size` bytes.
    virtual void SetSize(int64_t size) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    // Cuts the value at the position.
    void Truncate() { SetSize(Position()); }
};

} // namespace zolvek
