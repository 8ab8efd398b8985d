// The table verifier: the index verifier's findings, then the records (live count, the free
// list of deleted slots) and the BLOB file (every chain of every live record, the free block
// list, blocks that belong nowhere). Reports readable lines; repairs nothing.
// Thread-safety: the caller holds the table (read-locked or exclusively) for the whole walk.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zolvek {

class TDataTable;

// Empty when the table is consistent; at most `max_findings` lines.
std::vector<std::string> VerifyTable(TDataTable& table, size_t max_findings = 200);

} // namespace zolvek
