// The settings that the glossary gives the engine component before the engine starts: a record
// cache large enough to hold the data file of a glossary of a few hundred thousand terms, so
// that the advanced search, which reads every record on each key, reads them from memory.
// Thread-safety: call once, on the UI thread, before any table is opened.
#pragma once

#include <cstdint>

namespace zolvek {
class TZOLVEKEngine;
}

namespace zendo {

// 128 MiB and a million records at most; a table uses only what it holds.
inline constexpr int32_t kRecordCacheBytes = 128 * 1024 * 1024;
inline constexpr int32_t kRecordCacheCount = 1024 * 1024;

// Requires: the engine is not active yet.
void ConfigureEngine(zolvek::TZOLVEKEngine& engine);

} // namespace zendo
