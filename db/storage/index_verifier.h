// The index verifier: walks every index of a table and the index file's free page list and
// reports, as readable lines, every place where the pages break the tree's rules (page types,
// level chains, key order, parent keys, subtree counts, packed sizes, page ownership) or where
// the keys and the live records disagree. It repairs nothing and trusts nothing it reads.
// Thread-safety: runs on the table's thread; the caller holds the table (read-locked, or open
// exclusively) for the whole walk and has flushed or kept its own changes in the caches.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zolvek {

class TDataTable;
class TUnitRequester;

// The findings for the table's indexes (slots 0..SecondaryIndexCount and the full-text slot 31,
// whose keys are checked only for order); empty when everything holds. At most `max_findings`
// lines are returned, the last one saying that more were left out.
std::vector<std::string> VerifyTableIndexes(
    TDataTable& table, TUnitRequester* requester = nullptr, size_t max_findings = 200);

} // namespace zolvek
