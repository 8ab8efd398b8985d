// Filter optimisation with index ranges: how far an expression tree can be answered from the
// table's indexes (its filter level), the key ranges of comparisons of a field with constants,
// the walk of an index range that marks record numbers in a bitmap without reading records, and
// the evaluation of a whole tree into a bitmap that reads records only for what no index answers.
// Thread-safety: a plan is used by its cursor's thread, one evaluation at a time. Lifetime: a
// plan refers to the bound tree of its filter and lives as long as the filter.
#pragma once

#include "db/base/records_bitmap.h"
#include "db/expr/expr_token.h"
#include "db/storage/btree.h"
#include "db/storage/table_format.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zolvek {

// What a plan needs of its cursor: the table's fields and indexes, the trees of its indexes,
// the live records and the record-by-record evaluation of what no index answers.
class TFilterHost {
public:
    virtual ~TFilterHost() = default;
    virtual uint32_t FilterLocaleID() const = 0;
    // Record slots of the table: every bitmap of an evaluation has this size.
    virtual uint32_t FilterRecordSlots() const = 0;
    virtual size_t FilterRecordSize() const = 0;
    // nullptr for a number the table does not have.
    virtual const FieldDescriptor* FilterField(int32_t field_no) const = 0;
    virtual uint8_t FilterIndexCount() const = 0; // secondary indexes: slots 1..count
    virtual const IndexDescriptor& FilterIndexDescriptor(uint8_t slot) const = 0;
    virtual TIndexTree& FilterIndexTree(uint8_t slot) = 0;
    // Every live record (each is in every index; no record is read to find them).
    virtual const TRecordsBitmap& FilterLiveRecords() = 0;
    // Reads the records and evaluates `node` on them: with `all_records` every record slot
    // (the bitmap's content is ignored), else only the records whose bits are set; on return
    // exactly the live ones among them that `node` accepts are set.
    virtual void FilterScanRecords(TRecordsBitmap& bitmap, TExpToken& node, bool all_records) = 0;
};

// The keys of one index between which every record of an answer lies (both included, in the
// index's order): where navigation in that order can start and stop.
struct TKeyWindow {
    uint8_t slot = 0;
    std::vector<uint8_t> low;
    std::vector<uint8_t> high;
};
// Windows in several indexes; nothing is known of an index that is not listed.
using TKeyWindows = std::vector<TKeyWindow>;

// The windows of the intersection (`unite` false) or union of two answers. An empty answer
// constrains nothing in a union and everything in an intersection, so `a_empty` and `b_empty`
// say which answers held no record.
TKeyWindows CombineWindows(TFilterHost& host, const TKeyWindows& a, bool a_empty,
    const TKeyWindows& b, bool b_empty, bool unite);
// Widens a window to take in `key`.
void WidenWindow(const TIndexKeyInfo& keys, TKeyWindow& window, const uint8_t* key);

// What a walk met: the first and the last key it marked, and, in a non-unique index, the
// lowest and highest RecordID of the keys it marked (their suffix).
struct TRangeExtent {
    bool any = false;
    std::vector<uint8_t> first;
    std::vector<uint8_t> last;
    bool ids = false;
    int32_t min_id = 0;
    int32_t max_id = 0;
};

// What a key between the ends of a range says: in the range, not, or only its record can tell.
enum class TKeyVerdict { kIn, kOut, kRecord };

// A test of index keys against a range, used while walking an index in key order. Below is
// true for a leading run of the index's keys (those before the range), Beyond for a trailing
// run (those after it); a key between them is in the range as Accept says.
class TKeyRangeTest {
public:
    virtual ~TKeyRangeTest() = default;
    virtual bool Below(const uint8_t* key) const = 0;
    virtual bool Beyond(const uint8_t* key) const = 0;
    // False when some keys between the ends still need Accept.
    virtual bool Exact() const { return true; }
    virtual TKeyVerdict Accept(const uint8_t*) const { return TKeyVerdict::kIn; }
};

// Sets the bit of the record of every key of `tree` in the range (other bits are kept): one
// descent from the root, then along the leaves. A page fetch that reports a table change
// starts the walk again from the root. Raises 8965 for a damaged tree. The records of keys
// that only their record can decide are set in `undecided` (required when the test may say so).
void MarkKeyRange(TIndexTree& tree, const TKeyRangeTest& test, TRecordsBitmap& bitmap,
    TRangeExtent* extent = nullptr, TRecordsBitmap* undecided = nullptr);

// The records whose keys lie between `low` and `high` (whole keys, both included); every other
// bit is cleared. Nothing when low is above high.
void RangeToBitmap(
    TIndexTree& tree, const uint8_t* low, const uint8_t* high, TRecordsBitmap& bitmap);

// The slot of the first index (0, 1, ..., count) whose first key field is `field_no`, and, for
// a string field, whose letter case handling is `case_insensitive`; -1 when there is none.
int ChooseIndexForField(const TFilterHost& host, int32_t field_no, bool case_insensitive);

// The plan of one bound filter expression: the filter level of every node (0 none, 1 partial,
// 2 full) and, for comparisons of a field with constants, the value ranges they select.
class TFilterPlan {
public:
    // Rates `tree` against the table's indexes now; without `index_ranges` every node is
    // level 0, so that the whole tree is evaluated record by record.
    TFilterPlan(TExpToken& tree, const TFilterHost& host, bool index_ranges);
    ~TFilterPlan();
    TFilterPlan(const TFilterPlan&) = delete;
    TFilterPlan& operator=(const TFilterPlan&) = delete;

    uint8_t Level() const;

    // On entry `bitmap` holds the starting set (with `all_records` it stands for every live
    // record and its content is ignored); on return exactly the records of that set that the
    // expression accepts are set. Index ranges answer the fully optimisable parts; record
    // scans the rest, over the records the other parts of an AND already accepted. `windows`
    // receives the key windows that the index ranges show the answer to lie in.
    void Evaluate(TFilterHost& host, TRecordsBitmap& bitmap, bool all_records,
        TKeyWindows* windows = nullptr);

    struct TNode;

private:
    std::unique_ptr<TNode> root_;
};

} // namespace zolvek
