// Table repair: after a crash or damage, rebuilds everything a table derives from its records
// — the data header's counts and counters, the free lists of record slots and BLOB blocks, and
// every index — keeping each record whose image checks out (a BLOB value whose chain does not is
// dropped from it) and naming everything it could not keep. Files are cut back to whole units
// first, so that a write cut short by a crash does not keep the table from opening. Headers and
// descriptors that are damaged are refused with their codes, as an open refuses them: repair does
// not guess a table's structure. Thread-safety: holds the table exclusively for the whole run
// (another process that has it open makes the repair fail with 11013 before anything changes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolvek {

class TDataDirectory;

struct TRepairResult {
    uint32_t records_kept = 0;
    // One line per record slot that was live but could not be kept, and per BLOB value lost from
    // a record that was kept: "record N: reason", with the record's text fields so that its
    // content can still be found.
    std::vector<std::string> not_kept;
    // What was put right besides, one line each (cut files, counts, lists, indexes).
    std::vector<std::string> rebuilt;
};

TRepairResult RepairTable(TDataDirectory& directory, const std::string& table_name);

} // namespace zolvek
