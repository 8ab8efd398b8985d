// The filters of a cursor: TFilter, one expression filter (a bound filter expression with its
// optimisation plan) or record-callback filter with the bitmap of the records it accepts, and
// TFilterDefinition, what CreateFilter makes a filter from. The cursor evaluates, combines and
// maintains them (cursor_filters.cpp).
// Thread-safety: used by the owning cursor's thread. Lifetime: created by CreateFilter and
// owned by the cursor's filter list until FreeFilter or CloseTable.
#pragma once

#include "db/base/records_bitmap.h"
#include "db/cursor/filter_optimizer.h"
#include "db/expr/expr_token.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zolvek {

// Accepts (true) or rejects one record: the dataset given with the filter, the record size,
// the record image (a copy, valid during the call) and its record number.
using TFilterCallback = std::function<bool(
    void* dataset, size_t record_size, const uint8_t* record, uint32_t record_number)>;

// What a filter is made from: a filter text, or a ready bound tree, or a record callback (the
// first one given counts).
struct TFilterDefinition {
    std::string expression; // Windows-1254 filter text; parsed, verified and bound here
    TExpTokenPtr tree; // a tree bound for this cursor, which the filter takes over
    TFilterCallback callback;
    void* dataset = nullptr; // handed to the callback
    // Evaluated after, and only on the records of, the active filters before it in the list.
    bool restrict_to_earlier = false;
    bool estimate = false; // the cost estimates of query plans (not computed here)
    bool case_insensitive = false; // foCaseInsensitive
    bool no_partial_compare = false; // foNoPartialCompare
    // False: every record is read and evaluated, no index range is used (for comparisons).
    bool index_ranges = true;
};

class TFilter {
public:
    enum class TKind { fkExpression, fkCallback };

    TKind Kind() const { return kind_; }
    bool Active() const { return active_; }
    // 0 none, 1 partial, 2 full: how much of the expression index ranges answer.
    uint8_t FilterLevel() const { return plan_ ? plan_->Level() : 0; }
    bool RestrictToEarlier() const { return restrict_to_earlier_; }
    // The records the filter accepted when it was last evaluated, kept current by the cursor.
    const TRecordsBitmap& Bitmap() const { return bitmap_; }
    // The bound expression tree; nullptr for a callback filter.
    const TExpToken* Expression() const { return tree_.get(); }

private:
    friend class TDataCursor;

    TKind kind_ = TKind::fkExpression;
    bool active_ = false;
    bool restrict_to_earlier_ = false;
    TExpTokenPtr tree_;
    std::unique_ptr<TFilterPlan> plan_;
    TFilterCallback callback_;
    void* dataset_ = nullptr;
    TRecordsBitmap bitmap_;
    // The records the bitmap answers for: a filter evaluated only on the records of earlier
    // filters knows nothing of the others (all_records: every record).
    bool all_records_ = false;
    TRecordsBitmap domain_;
    // Key windows of the indexes the answer is known to lie in.
    TKeyWindows windows_;
};

} // namespace zolvek
