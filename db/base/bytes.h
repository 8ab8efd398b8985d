// Little-endian loads and stores for the engine's fixed file layouts, and short strings.
// Every on-disk field is read and written through these helpers, never by casting a struct
// onto bytes. Callers check bounds first; these helpers only move bytes.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zolvek {

inline uint16_t LoadU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t* p) {
    return uint64_t(LoadU32(p)) | (uint64_t(LoadU32(p + 4)) << 32);
}
inline int16_t LoadI16(const uint8_t* p) {
    return int16_t(LoadU16(p));
}
inline int32_t LoadI32(const uint8_t* p) {
    return int32_t(LoadU32(p));
}
inline int64_t LoadI64(const uint8_t* p) {
    return int64_t(LoadU64(p));
}
inline double LoadDouble(const uint8_t* p) {
    return std::bit_cast<double>(LoadU64(p));
}

inline void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void StoreU64(uint8_t* p, uint64_t v) {
    StoreU32(p, uint32_t(v));
    StoreU32(p + 4, uint32_t(v >> 32));
}
inline void StoreI16(uint8_t* p, int16_t v) {
    StoreU16(p, uint16_t(v));
}
inline void StoreI32(uint8_t* p, int32_t v) {
    StoreU32(p, uint32_t(v));
}
inline void StoreI64(uint8_t* p, int64_t v) {
    StoreU64(p, uint64_t(v));
}
inline void StoreDouble(uint8_t* p, double v) {
    StoreU64(p, std::bit_cast<uint64_t>(v));
}

// Big-endian 32-bit words, as the cipher reads the halves of a block.
inline uint32_t LoadU32BE(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void StoreU32BE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// A short string of capacity N occupies N+1 bytes: a length byte, then the characters.
// A stored length above the capacity is clamped, so a damaged byte never reads past the field.
inline std::string LoadShortString(const uint8_t* p, size_t capacity) {
    size_t length = p[0] < capacity ? p[0] : capacity;
    return std::string(reinterpret_cast<const char*>(p + 1), length);
}

// Stores at most `capacity` characters and zeroes the rest of the field.
inline void StoreShortString(uint8_t* p, size_t capacity, std::string_view text) {
    size_t length = text.size() < capacity ? text.size() : capacity;
    std::memset(p, 0, capacity + 1);
    p[0] = uint8_t(length);
    std::memcpy(p + 1, text.data(), length);
}

} // namespace zolvek
