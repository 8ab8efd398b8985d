#include "db/expr/expr_bind.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/expr/expr_parser.h"

#include <cmath>
#include <optional>
#include <unordered_set>

namespace zolvek {

using namespace engine_types;

namespace {

using i128 = __int128;

bool IsComparison(const TExpToken& node) {
    return (node.Kind == nkBinary || node.Kind == nkStringCompare) && node.Op >= opEqual
        && node.Op <= opLessOrEqual;
}

bool SameType(const TExpToken& a, const TExpToken& b) {
    return a.DataType == b.DataType && a.SubType == b.SubType && a.Scale == b.Scale;
}

// The whole numbers just below and above a constant's value in the units of an integer-valued
// target (days for a date target); false when the constant is not numeric there (a date, time
// or timestamp against any other target).
bool FloorCeil(const TExpToken& constant, uint8_t target, i128& floor_value, i128& ceil_value) {
    TNumber n;
    if (!LoadNumber(constant, n))
        return false;
    if (target == ftDate) {
        if (constant.DataType != ftTimestamp)
            return false;
        long double days = (long double)n.real / 86'400'000.0L;
        floor_value = i128(std::floor(days));
        ceil_value = i128(std::ceil(days));
        return true;
    }
    if (constant.DataType == ftDate || constant.DataType == ftTime
        || constant.DataType == ftTimestamp)
        return false;
    switch (n.kind) {
    case TNumber::kInteger:
        floor_value = ceil_value = n.integer;
        return true;
    case TNumber::kFloat: {
        long double value = std::clamp<long double>(n.real, -1e30L, 1e30L);
        floor_value = i128(std::floor(value));
        ceil_value = i128(std::ceil(value));
        return true;
    }
    default: {
        i128 divisor = 1;
        for (int i = 0; i < n.scale && i < 38; ++i)
            divisor *= 10;
        if (n.scale > 38) {
            floor_value = n.mantissa < 0 ? -1 : 0;
            ceil_value = n.mantissa > 0 ? 1 : 0;
            return true;
        }
        i128 whole = n.mantissa / divisor;
        bool exact = n.mantissa % divisor == 0;
        floor_value = whole - (!exact && n.mantissa < 0 ? 1 : 0);
        ceil_value = whole + (!exact && n.mantissa > 0 ? 1 : 0);
        return true;
    }
    }
}

enum class Outcome { kKeep, kConverted, kAlwaysTrue, kAlwaysFalse };

// Rewrites `tested op constant` for an integer-valued tested type into an equivalent
// comparison with a constant of that type: `op` and `k` receive the new operator and value.
Outcome IntegerComparison(
    uint8_t& op, i128 floor_value, i128 ceil_value, int64_t low, int64_t high, int64_t& k) {
    bool integral = floor_value == ceil_value;
    switch (op) {
    case opEqual:
        if (!integral || floor_value < low || floor_value > high)
            return Outcome::kAlwaysFalse;
        k = int64_t(floor_value);
        return Outcome::kConverted;
    case opNotEqual:
        if (!integral || floor_value < low || floor_value > high)
            return Outcome::kAlwaysTrue; // also for NULL values: NULL <> c holds
        k = int64_t(floor_value);
        return Outcome::kConverted;
    case opGreater: // x > v  <=>  x > floor(v)
        if (floor_value >= high)
            return Outcome::kAlwaysFalse;
        if (floor_value < low) {
            op = opGreaterOrEqual, k = low;
            return Outcome::kConverted;
        }
        k = int64_t(floor_value);
        return Outcome::kConverted;
    case opGreaterOrEqual: // x >= v  <=>  x >= ceil(v)
        if (ceil_value > high)
            return Outcome::kAlwaysFalse;
        k = int64_t(ceil_value < low ? i128(low) : ceil_value);
        return Outcome::kConverted;
    case opLess: // x < v  <=>  x < ceil(v)
        if (ceil_value <= low)
            return Outcome::kAlwaysFalse;
        if (ceil_value > high) {
            op = opLessOrEqual, k = high;
            return Outcome::kConverted;
        }
        k = int64_t(ceil_value);
        return Outcome::kConverted;
    case opLessOrEqual: // x <= v  <=>  x <= floor(v)
        if (floor_value < low)
            return Outcome::kAlwaysFalse;
        k = int64_t(floor_value > high ? i128(high) : floor_value);
        return Outcome::kConverted;
    default:
        return Outcome::kKeep;
    }
}

TExpTokenPtr TypedConstant(const TExpToken& like, const TExpToken& source) {
    TExpTokenPtr constant = CopyNode(source);
    constant->DataType = like.DataType;
    constant->SubType = like.SubType;
    constant->ValueSize = like.ValueSize;
    constant->Scale = like.Scale;
    return constant;
}

// A constant of the tested operand's type equivalent to `constant` for `op`, or an outcome
// that decides the comparison for every record. Text constants and constants of the tested
// type stay as they are.
Outcome ConvertConstant(
    const TExpToken& tested, uint8_t& op, TExpTokenPtr& constant, bool allow_op_change = true) {
    const TExpToken& c = *constant;
    if (c.Kind != nkConstant || tested.DataType == 0 || IsTextType(c.DataType)
        || IsTextType(tested.DataType) || c.DataType == 0 || SameType(c, tested))
        return Outcome::kKeep;
    if (c.IsNull) {
        TExpTokenPtr typed = TypedConstant(tested, c);
        ConvertValue(c, *typed);
        constant = std::move(typed);
        return Outcome::kConverted;
    }
    int64_t low = 0, high = 0;
    if (IntegerValueRange(tested.DataType, low, high)) {
        i128 floor_value = 0, ceil_value = 0;
        if (!FloorCeil(c, tested.DataType, floor_value, ceil_value))
            return Outcome::kKeep;
        uint8_t new_op = op;
        int64_t k = 0;
        Outcome outcome = IntegerComparison(new_op, floor_value, ceil_value, low, high, k);
        if (outcome != Outcome::kConverted)
            return outcome;
        if (new_op != op && !allow_op_change)
            return Outcome::kKeep;
        op = new_op;
        TExpTokenPtr typed = TypedConstant(tested, c);
        TNumber number;
        number.integer = k;
        StoreNumber(*typed, number);
        constant = std::move(typed);
        return Outcome::kConverted;
    }
    if (tested.DataType == ftFloat || tested.DataType == ftBcd || tested.DataType == ftTimestamp) {
        if ((tested.DataType == ftTimestamp) != (c.DataType == ftDate || c.DataType == ftTimestamp))
            return Outcome::kKeep;
        TExpTokenPtr typed = TypedConstant(tested, c);
        ConvertValue(c, *typed);
        TNumber before, after;
        if (typed->IsNull || !LoadNumber(c, before) || !LoadNumber(*typed, after))
            return Outcome::kKeep;
        if (c.DataType == ftDate)
            before.integer *= 86'400'000;
        if (CompareNumbers(before, after) != 0)
            return Outcome::kKeep; // not exact: compared by value in its own type
        constant = std::move(typed);
        return Outcome::kConverted;
    }
    return Outcome::kKeep;
}

// TRUE = TRUE (or TRUE <> TRUE): a comparison that holds (fails) for every record.
void MakeConstantComparison(TExpToken& node, bool value) {
    node.Kind = nkBinary;
    node.Op = value ? opEqual : opNotEqual;
    node.Args.clear();
    node.PartialLength = 0;
    node.CaseInsensitive = false;
    node.Left = MakeBooleanConstant(true);
    node.Right = MakeBooleanConstant(true);
    for (TExpToken* side : { node.Left.get(), node.Right.get() }) {
        side->Owner = node.Owner;
        side->Line = node.Line;
        side->Column = node.Column;
    }
    node.DataType = ftBoolean;
    node.SubType = 0;
    node.ValueSize = 2;
    node.Scale = 0;
}

bool IsCaseFunctionOfColumn(const TExpToken& node) {
    return node.Kind == nkFunction && (node.Op == fnUpper || node.Op == fnLower)
        && node.Args.size() == 1 && node.Args[0]->Kind == nkColumn;
}

bool IsCallOf(const TExpToken& node, uint8_t op) {
    return node.Kind == nkFunction && node.Op == op;
}

class TBinder {
public:
    TBinder(const void* cursor, const TBindOptions& options)
        : cursor_(cursor)
        , options_(options) { }

    TExpTokenPtr BindRoot(const TExpToken& tree) {
        MarkColumns(tree);
        TExpTokenPtr root = Bind(tree, true);
        root->Parent = nullptr;
        return root;
    }

private:
    bool MarkColumns(const TExpToken& node) {
        bool found = node.Kind == nkColumn;
        if (node.Left)
            found |= MarkColumns(*node.Left);
        if (node.Right)
            found |= MarkColumns(*node.Right);
        for (const auto& arg : node.Args)
            found |= MarkColumns(*arg);
        if (found)
            with_column_.insert(&node);
        return found;
    }

    TExpTokenPtr Fold(const TExpToken& source) {
        TExpTokenPtr work = CloneTree(source);
        Evaluate(*work, nullptr, options_.locale_id, nullptr);
        TExpTokenPtr constant = CopyNode(*work);
        constant->Kind = nkConstant;
        constant->Op = 0;
        constant->Owner = cursor_;
        return constant;
    }

    TExpTokenPtr Bind(const TExpToken& source, bool keep) {
        bool list = source.Kind == nkFunction
            && (source.Op == fnCaseConditions || source.Op == fnCaseResults);
        if (!keep && !list && source.Kind != nkConstant && !with_column_.count(&source))
            return Fold(source);
        TExpTokenPtr node = CopyNode(source);
        node->Owner = cursor_;
        bool comparison = IsComparison(source);
        if (source.Left)
            node->Left = Bind(*source.Left, comparison);
        if (source.Right)
            node->Right = Bind(*source.Right, false);
        node->Args.reserve(source.Args.size());
        for (size_t i = 0; i < source.Args.size(); ++i) {
            bool keep_arg = (source.Kind == nkExtended && i == 0)
                || (source.Kind == nkFunction && source.Op == fnCase);
            node->Args.push_back(Bind(*source.Args[i], keep_arg));
        }

        if (IsComparison(*node))
            ConvertComparison(*node);
        else if (node->Kind == nkExtended)
            ConvertExtended(*node);
        MarkCaseInsensitive(source, *node);
        if (IsComparison(*node))
            MakeStringCompare(*node);
        else if (node->Kind == nkExtended)
            RewriteLike(*node);
        AdoptChildren(*node);
        return node;
    }

    void ConvertComparison(TExpToken& node) {
        if (!node.Right || !node.Left)
            return;
        uint8_t op = node.Op;
        Outcome outcome = ConvertConstant(*node.Left, op, node.Right);
        if (outcome == Outcome::kAlwaysTrue || outcome == Outcome::kAlwaysFalse)
            MakeConstantComparison(node, outcome == Outcome::kAlwaysTrue);
        else
            node.Op = op;
    }

    void ConvertExtended(TExpToken& node) {
        const TExpToken& tested = *node.Args[0];
        if (node.Op == opIn || node.Op == opNotIn) {
            std::vector<TExpTokenPtr> kept;
            kept.push_back(std::move(node.Args[0]));
            for (size_t i = 1; i < node.Args.size(); ++i) {
                uint8_t op = opEqual;
                Outcome outcome = ConvertConstant(*kept[0], op, node.Args[i]);
                // An element that no value of the tested type can equal is left out.
                if (outcome != Outcome::kAlwaysFalse)
                    kept.push_back(std::move(node.Args[i]));
            }
            node.Args = std::move(kept);
            if (node.Args.size() == 1)
                MakeConstantComparison(node, node.Op == opNotIn);
            return;
        }
        if (node.Op == opBetween || node.Op == opNotBetween) {
            uint8_t low_op = opGreaterOrEqual;
            uint8_t high_op = opLessOrEqual;
            Outcome low = ConvertConstant(tested, low_op, node.Args[1], false);
            Outcome high = ConvertConstant(tested, high_op, node.Args[2], false);
            if (low == Outcome::kAlwaysFalse || high == Outcome::kAlwaysFalse)
                MakeConstantComparison(node, node.Op == opNotBetween);
        }
    }

    void MarkCaseInsensitive(const TExpToken& source, TExpToken& node) {
        const TExpToken* tested = nullptr;
        std::vector<const TExpToken*> others;
        if (IsComparison(source)) {
            tested = source.Left.get();
            others.push_back(source.Right.get());
        } else if (source.Kind == nkExtended) {
            tested = source.Args[0].get();
            size_t end = source.Args.size();
            if (source.Op == opLike || source.Op == opNotLike)
                end = std::min<size_t>(end, 2); // the escape is no operand of the comparison
            for (size_t i = 1; i < end; ++i)
                others.push_back(source.Args[i].get());
        } else {
            return;
        }
        if (!tested || !IsCaseFunctionOfColumn(*tested))
            return;
        for (const TExpToken* other : others) {
            if (!other || !IsCallOf(*other, tested->Op))
                return;
        }
        if (node.Kind == source.Kind)
            node.CaseInsensitive = true;
    }

    void MakeStringCompare(TExpToken& node) {
        if (node.Kind != nkBinary || (node.Op != opEqual && node.Op != opNotEqual))
            return;
        TExpToken& right = *node.Right;
        if (right.Kind != nkConstant || right.DataType != ftString)
            return;
        std::string_view text = right.TextValue();
        size_t stars = 0;
        while (stars < text.size() && text[text.size() - 1 - stars] == '*')
            ++stars;
        bool wildcard_run = stars > 0 && text.find('*') == text.size() - stars;
        if (!options_.case_insensitive && !wildcard_run)
            return;
        node.Kind = nkStringCompare;
        node.CaseInsensitive = options_.case_insensitive;
        node.PartialLength = 0;
        if (!wildcard_run || options_.no_partial_compare)
            return;
        size_t remaining = text.size() - stars;
        if (remaining == 0) {
            MakeConstantComparison(node, node.Op == opEqual);
            return;
        }
        std::string prefix(text.substr(0, remaining));
        TExpTokenPtr constant = CopyNode(right);
        constant->Value.assign(prefix.begin(), prefix.end());
        constant->Value.push_back(0);
        constant->ValueSize = uint32_t(remaining + 1);
        node.Right = std::move(constant);
        node.PartialLength = uint32_t(remaining);
    }

    void RewriteLike(TExpToken& node) {
        if (node.Op != opLike && node.Op != opNotLike)
            return;
        const TExpToken& pattern_node = *node.Args[1];
        if (pattern_node.Kind != nkConstant || pattern_node.IsNull)
            return;
        char escape = 0;
        if (node.Args.size() > 2) {
            const TExpToken& escape_node = *node.Args[2];
            if (escape_node.Kind != nkConstant)
                return;
            std::string_view e = escape_node.TextValue();
            escape = e.empty() ? 0 : e[0];
        }
        if (escape == '%' || escape == '_')
            return;
        std::string_view pattern = pattern_node.TextValue();
        if (pattern.find('_') != std::string_view::npos)
            return;
        std::string kept;
        size_t run = 0;
        for (size_t i = 0; i < pattern.size(); ++i) {
            char c = pattern[i];
            if (escape != 0 && c == escape) {
                if (i + 1 >= pattern.size())
                    return; // a lone escape at the end: left to the matcher
                kept.push_back(pattern[++i]);
            } else if (c == '%') {
                if (pattern.find_first_not_of('%', i) != std::string_view::npos)
                    return; // a % before the end: a real pattern
                run = pattern.size() - i;
                break;
            } else {
                kept.push_back(c);
            }
        }
        if (run == 0)
            return;
        TExpTokenPtr tested = std::move(node.Args[0]);
        TExpTokenPtr pattern_holder = std::move(node.Args[1]);
        bool like = node.Op == opLike;
        node.Args.clear();
        node.Kind = nkBinary;
        node.CaseInsensitive = false;
        node.PartialLength = 0;
        node.Left = std::move(tested);
        if (kept.empty()) {
            // Only %: every value matches, and no NULL does (a NULL is never LIKE a pattern).
            node.Op = like ? opNotEqual : opEqual;
            node.Right = MakeNullConstant();
            node.Right->Owner = cursor_;
            node.Right->Line = pattern_node.Line;
            node.Right->Column = pattern_node.Column;
            return;
        }
        node.Kind = nkStringCompare;
        node.Op = like ? opEqual : opNotEqual;
        TExpTokenPtr constant = CopyNode(pattern_node);
        constant->Value.assign(kept.begin(), kept.end());
        constant->Value.push_back(0);
        constant->ValueSize = uint32_t(kept.size() + 1);
        constant->DataType = ftString;
        constant->SubType = 0;
        node.Right = std::move(constant);
        node.PartialLength = uint32_t(kept.size());
    }

    const void* cursor_;
    TBindOptions options_;
    std::unordered_set<const TExpToken*> with_column_;
};

} // namespace

TExpTokenPtr BindExpression(
    const TExpToken& tree, const void* cursor, const TBindOptions& options) {
    TBinder binder(cursor, options);
    return binder.BindRoot(tree);
}

TExpTokenPtr PrepareFilterExpression(std::string_view text, std::string_view database_name,
    std::string_view table_name, const void* cursor, const ColumnLookupFunc& column_lookup,
    const TBindOptions& options) {
    TExpTokenPtr parsed = ParseFilterExpression(text, database_name, table_name, cursor);
    TExpressionVerifier verifier;
    verifier.SetErrorContext(ZOLVEK_INVALIDFILTER, database_name, table_name, "filter expression");
    verifier.SetColumnLookup(column_lookup);
    verifier.Verify(parsed, true, true);
    if (parsed->DataType != ftBoolean) {
        ProcessEngineErrors().RaiseError(ZOLVEK_INVALIDFILTER, "", "", database_name, table_name,
            "", "", "filter expression must be a boolean expression", "", "", 0, 0);
    }
    return BindExpression(*parsed, cursor, options);
}

} // namespace zolvek
