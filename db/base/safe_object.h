// TSafeObject: base of the long-lived engine objects (sessions, directories, cursors, BLOB
// buffers) that outside callers hold by reference. The object carries the signature text
// "ZOLVEK_SIG" while it lives; IsValidObject tells a live object from a stale reference that
// still points at freed or foreign memory of the same shape.
// Thread-safety: the signature is written only by the constructor and the destructor.
#pragma once

#include <cstdint>
#include <cstring>

namespace zolvek {

class TSafeObject {
public:
    TSafeObject() {
        signature_[0] = kSignatureLength;
        std::memcpy(signature_ + 1, kSignature, kSignatureLength);
    }
    virtual ~TSafeObject() { signature_[0] = 0; }
    TSafeObject(const TSafeObject&) = delete;
    TSafeObject& operator=(const TSafeObject&) = delete;

    // True for a non-null reference whose signature is intact.
    static bool IsValidObject(const TSafeObject* object) {
        return object != nullptr && object->signature_[0] == kSignatureLength
            && std::memcmp(object->signature_ + 1, kSignature, kSignatureLength) == 0;
    }

private:
    static constexpr const char* kSignature = "ZOLVEK_SIG";
    static constexpr uint8_t kSignatureLength = 10;
    uint8_t signature_[1 + kSignatureLength];
};

} // namespace zolvek
