// TSeekOrigin: where a seek counts from, shared by the engine's files and the dataset's streams.
// Thread-safety: a type only.
#pragma once

namespace zolvek {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

} // namespace zolvek
