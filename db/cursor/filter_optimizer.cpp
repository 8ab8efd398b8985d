// Filter optimisation: plans, key ranges of comparisons and the index walks that answer them.
//
// A comparison of a field with a constant is answered by the first index whose first key field
// is that field; only that field's part of the keys is compared, so compound indexes, the
// RecordID suffix of non-unique indexes and the later key fields never matter. The range of a
// comparison is first written in value order (NULL below every value), then walked in the
// index's order: a descending field walks it from the high end.
//
// Every answer equals the one of evaluating each record (the definition of the language):
// - "<>", NOT IN and NOT BETWEEN are the live records outside the "=", IN or BETWEEN range,
//   so NULL values are in them, as the evaluation has it;
// - ordered comparisons of strings take a NULL as the empty text, so "<" and "<=" include NULLs;
//   the other types exclude NULLs from every ordered comparison;
// - only "=" and "<>" string comparisons can ignore letter case (the filter option), so an
//   ordered string comparison needs an index that keeps case; UPPER(field) compares the
//   upper-cased values of a case-insensitive index with the constant as written;
// - under a table locale the walk compares with the collation itself (ignoring case by the
//   collation for case-insensitive comparisons, whose order the case-keeping key order
//   refines), and partial comparisons check each key in the range against the given characters,
//   since a collation may weigh the first n characters of a text otherwise than the whole.
#include "db/cursor/filter_optimizer.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/expr/expr_eval.h"
#include "db/storage/index_file.h"
#include "db/storage/index_keys.h"
#include "db/storage/index_page.h"
#include "db/storage/records.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

namespace zolvek {

using namespace engine_types;

namespace {

constexpr int kMaxWalkRestarts = 100;
// Index walks one case-insensitive comparison may take for the letters upper-casing moves.
constexpr size_t kMaxFoldWalks = 16;

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// ---- The index walk ----

// The first entry of a page for which `below` is false (EntryCount + 1 when there is none).
template <typename Below> size_t FirstNotBelow(const TPage& page, const Below& below) {
    size_t lo = 1;
    size_t hi = page.EntryCount() + 1;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (below(page.Key(mid)))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// The RecordID in the suffix of a non-unique key (a 4-byte integer with its sign bit inverted).
int32_t SuffixRecordID(const uint8_t* key, size_t key_length) {
    const uint8_t* p = key + key_length - kNonUniqueKeySuffix;
    uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    return int32_t(bits ^ 0x80000000u);
}

void NoteMarked(TRangeExtent& extent, const TIndexKeyInfo& keys, const uint8_t* key) {
    size_t length = keys.KeyLength();
    if (!extent.any) {
        extent.any = true;
        extent.first.assign(key, key + length);
        extent.ids = !keys.Unique() && length >= kNonUniqueKeySuffix;
        if (extent.ids)
            extent.min_id = extent.max_id = SuffixRecordID(key, length);
    }
    if (extent.ids) {
        int32_t id = SuffixRecordID(key, length);
        extent.min_id = std::min(extent.min_id, id);
        extent.max_id = std::max(extent.max_id, id);
    }
}

// One walk from the root; false when a page fetch reported a table change.
bool WalkOnce(TIndexTree& tree, const TKeyRangeTest& test, TRecordsBitmap& found,
    TRangeExtent* extent, TRecordsBitmap* undecided) {
    TIndexFile& file = tree.File();
    uint32_t root = tree.RootPage();
    if (root == 0)
        return true;
    TPinned<TPage> page = tree.FetchPage(root);
    if (!page)
        return false;
    if (!page->IsRoot() || page->EntryCount() == 0)
        file.RaiseCorrupt();
    auto below = [&test](const uint8_t* key) { return test.Below(key); };
    int depth = 1;
    while (page->HasChildren()) {
        // The last entry whose subtree starts below the range: the range starts in it.
        size_t pos = std::max<size_t>(FirstNotBelow(*page, below) - 1, 1);
        uint32_t child = page->Ref(pos);
        if (++depth > kMaxTreeDepth)
            file.RaiseCorrupt();
        page = tree.FetchPage(child);
        if (!page)
            return false;
        if ((page->PageType() != ptNode && page->PageType() != ptLeaf) || page->EntryCount() == 0)
            file.RaiseCorrupt();
    }
    size_t pos = FirstNotBelow(*page, below);
    const bool exact = test.Exact();
    const uint32_t limit = file.UnitCount() + 1;
    auto within = [&test](const uint8_t* key) { return !test.Beyond(key); };
    for (uint32_t walked = 0;; ++walked) {
        size_t count = page->EntryCount();
        if (pos <= count) {
            // Within a leaf the range ends at the first key beyond it; only the leaf where the
            // range ends needs a search.
            bool ends_here = test.Beyond(page->Key(count));
            size_t end = ends_here ? FirstNotBelow(*page, within) : count + 1;
            size_t last = 0;
            for (size_t i = pos; i < end; ++i) {
                TKeyVerdict verdict = exact ? TKeyVerdict::kIn : test.Accept(page->Key(i));
                if (verdict == TKeyVerdict::kRecord && undecided != nullptr)
                    undecided->SetBit(page->Ref(i));
                else if (verdict != TKeyVerdict::kOut)
                    found.SetBit(page->Ref(i));
                if (verdict != TKeyVerdict::kOut) {
                    if (extent != nullptr)
                        NoteMarked(*extent, tree.Keys(), page->Key(i));
                    last = i;
                }
            }
            if (extent != nullptr && last != 0)
                extent->last.assign(page->Key(last), page->Key(last) + tree.Keys().KeyLength());
            if (ends_here)
                return true;
        }
        uint32_t next = page->NextPage();
        if (next == 0)
            return true;
        if (walked > limit)
            file.RaiseCorrupt();
        uint32_t here = page->PageNumber();
        page = tree.FetchPage(next);
        if (!page)
            return false;
        if (!page->IsLeaf() || page->PrevPage() != here)
            file.RaiseCorrupt();
        pos = 1;
    }
}

// Whole keys between two keys.
class TWholeKeyRange : public TKeyRangeTest {
public:
    TWholeKeyRange(const TIndexKeyInfo& keys, const uint8_t* low, const uint8_t* high)
        : keys_(keys)
        , low_(low)
        , high_(high) { }
    bool Below(const uint8_t* key) const override {
        return keys_.CompareKeys(key, low_, keys_.KeyLength()) < 0;
    }
    bool Beyond(const uint8_t* key) const override {
        return keys_.CompareKeys(key, high_, keys_.KeyLength()) > 0;
    }

private:
    const TIndexKeyInfo& keys_;
    const uint8_t* low_;
    const uint8_t* high_;
};

// ---- Terms: comparisons of a field with constants ----

bool IsComparison(const TExpToken& node) {
    return (node.Kind == nkBinary || node.Kind == nkStringCompare) && node.Op >= opEqual
        && node.Op <= opLessOrEqual && node.Left && node.Right;
}

// A column, or UPPER of a column.
bool IsFieldOperand(const TExpToken& node) {
    if (node.Kind == nkColumn)
        return true;
    return node.Kind == nkFunction && node.Op == fnUpper && node.Args.size() == 1
        && node.Args[0]->Kind == nkColumn;
}

const TExpToken& ColumnOf(const TExpToken& operand) {
    return operand.Kind == nkColumn ? operand : *operand.Args[0];
}

uint8_t Mirror(uint8_t op) {
    switch (op) {
    case opLess:
        return opGreater;
    case opGreater:
        return opLess;
    case opLessOrEqual:
        return opGreaterOrEqual;
    case opGreaterOrEqual:
        return opLessOrEqual;
    default:
        return op;
    }
}

// Fields whose values the evaluation compares only when they are finite: an infinity or a NaN
// is equal to nothing, neither below nor above anything, while the index orders it by its bits.
bool FloatKeyed(const FieldDescriptor& field) {
    return field.DataType == kTypeFloat || field.DataType == kTypeDateTime;
}

// Whether a float's key bytes hold a finite value (big-endian; a value >= 0 has its top bit
// set, any other has all bits inverted). A NaN of the positive sign is stored inverted and
// looks then like a tiny positive number (exponent 0): only its record can tell them apart.
TKeyVerdict FiniteKeyValue(const uint8_t* bytes) {
    constexpr uint64_t kTop = uint64_t(1) << 63;
    constexpr uint64_t kExponent = uint64_t(0x7FF) << 52;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | bytes[i];
    if ((bits & kTop) == 0)
        return std::isfinite(std::bit_cast<double>(~bits)) ? TKeyVerdict::kIn : TKeyVerdict::kOut;
    bits &= ~kTop;
    if ((bits & kExponent) == 0 && bits != 0)
        return TKeyVerdict::kRecord;
    return std::isfinite(std::bit_cast<double>(bits)) ? TKeyVerdict::kIn : TKeyVerdict::kOut;
}

// Field types whose key order is the order the evaluation compares their values in.
bool OptimisableType(const FieldDescriptor& field) {
    switch (field.DataType) {
    case kTypeString:
        return field.SubType != kSubTypeWide;
    case kTypeDate:
    case kTypeBoolean:
    case kTypeSmallInt:
    case kTypeInteger:
    case kTypeFloat:
    case kTypeTime:
    case kTypeDateTime:
    case kTypeWord:
    case kTypeLargeInt:
        return true;
    default:
        return false;
    }
}

struct TValueBound {
    enum TKind { kOpen, kNull, kValue } kind = kOpen;
    bool inclusive = true;
    const TExpToken* constant = nullptr;

    static TValueBound Open() { return {}; }
    static TValueBound Null(bool inclusive) { return { kNull, inclusive, nullptr }; }
    static TValueBound Value(const TExpToken* c, bool inclusive) {
        return { kValue, inclusive, c };
    }
};

struct TValueRange {
    TValueBound low;
    TValueBound high;
};

} // namespace

struct TTerm {
    int32_t field_no = 0;
    bool string = false;
    // The tested operand is UPPER(field): its values are the keys of a case-insensitive index.
    bool upper = false;
    // An "=" or "<>" string comparison that ignores letter case.
    bool case_insensitive = false;
    uint32_t partial = 0; // characters compared by a partial string comparison
    std::vector<TValueRange> ranges; // united; none: no record
    bool complement = false; // the live records outside the ranges
    // A case-insensitive comparison whose constant holds letters that upper-casing moves to
    // another weight under the locale (Turkish i letters): the keys of such letters are decided
    // by their records, and those of the letters equal to them lie also where the constant
    // with the capitals of `fold_variants` (position, capitals) does.
    bool fold_sensitive = false;
    std::vector<std::pair<size_t, std::string>> fold_variants;
    bool NeedsCaseInsensitiveIndex() const { return string && (upper || case_insensitive); }
};

struct TFilterPlan::TNode {
    enum TShape { kScan, kConstant, kTerm, kAnd, kOr, kNot } shape = kScan;
    TExpToken* expr = nullptr;
    uint8_t level = 0;
    std::unique_ptr<TNode> left;
    std::unique_ptr<TNode> right;
    TTerm term;
};

namespace {

// The constant upper-cased, or as written.
std::string KeyText(const TExpToken& constant, bool upper_case, uint32_t locale_id) {
    std::string text(constant.TextValue());
    if (upper_case)
        UpperCaseLocale(locale_id, text);
    return text;
}

// The text a walk compares keys with. Case-insensitive comparisons meet the upper-cased keys
// byte by byte with the upper-cased constant under the default locale, and by the collation
// ignoring case under a table locale, with the constant as written: upper-casing may move a
// letter to another weight there. UPPER(field) meets the keys with the constant as written.
std::string WalkText(const TExpToken& constant, bool case_insensitive, uint32_t locale_id) {
    return KeyText(constant, case_insensitive && locale_id == kAnsiStandardLocale, locale_id);
}

class TTermBuilder {
public:
    explicit TTermBuilder(const TFilterHost& host)
        : host_(host)
        , locale_(host.FilterLocaleID()) { }

    std::optional<TTerm> Build(TExpToken& node) {
        if (IsComparison(node))
            return Comparison(node);
        if (node.Kind == nkExtended && !node.Args.empty()) {
            if (node.Op == opIn || node.Op == opNotIn)
                return InList(node);
            if ((node.Op == opBetween || node.Op == opNotBetween) && node.Args.size() == 3)
                return Between(node);
        }
        return std::nullopt;
    }

private:
    // Fills the field part of the term; false when the operand is no (UPPER of a) field of an
    // optimisable type.
    bool Field(const TExpToken& operand, TTerm& term) {
        if (!IsFieldOperand(operand))
            return false;
        const FieldDescriptor* field = host_.FilterField(ColumnOf(operand).FieldNo);
        if (field == nullptr || !OptimisableType(*field))
            return false;
        term.field_no = ColumnOf(operand).FieldNo;
        term.string = field->DataType == kTypeString;
        term.upper = operand.Kind == nkFunction;
        if (term.upper && !term.string)
            return false;
        field_ = field;
        return true;
    }

    // A constant that can be compared through the field's key: NULL, a text for a string
    // field, a value of the field's own type otherwise.
    bool Fits(const TExpToken& constant) const {
        if (constant.Kind != nkConstant)
            return false;
        // A NULL of another type (a NULL text against a number, say) leads the evaluation to
        // compare texts.
        if (constant.IsNull)
            return constant.DataType == 0 || field_->DataType == kTypeString
                || constant.DataType == field_->DataType;
        if (field_->DataType == kTypeString)
            return constant.DataType == ftString;
        if (constant.DataType != field_->DataType || constant.Value.size() < field_->PhysicalSize)
            return false;
        // An infinite constant is no number to the evaluation: it compares with nothing.
        return !FloatKeyed(*field_) || std::isfinite(LoadDouble(constant.Value.data()));
    }

    // Under a locale an ordered comparison takes a NULL string as the empty text, which the
    // collation may find equal to a text of ignorable characters; keys order NULL first.
    bool OrderedTextSafe(const TExpToken& constant) const {
        if (!field_ || field_->DataType != kTypeString || locale_ == kAnsiStandardLocale)
            return true;
        return !constant.IsNull
            && CompareLocaleStrings(locale_, constant.TextValue(), {}, false) > 0;
    }

    bool HasIndex(const TTerm& term) const {
        return ChooseIndexForField(host_, term.field_no, term.NeedsCaseInsensitiveIndex()) >= 0;
    }

    std::optional<TTerm> Comparison(TExpToken& node) {
        TExpToken* tested = node.Left.get();
        TExpToken* constant = node.Right.get();
        uint8_t op = node.Op;
        if (!IsFieldOperand(*tested) && IsFieldOperand(*constant)) {
            std::swap(tested, constant);
            op = Mirror(op);
        }
        TTerm term;
        if (!Field(*tested, term) || !Fits(*constant))
            return std::nullopt;
        bool string_compare = node.Kind == nkStringCompare && term.string;
        term.case_insensitive = string_compare && node.CaseInsensitive;
        term.partial = string_compare ? node.PartialLength : 0;
        const bool null = constant->IsNull;
        const bool ordered = op != opEqual && op != opNotEqual;
        if (ordered && !OrderedTextSafe(*constant))
            return std::nullopt;
        if (term.case_insensitive && locale_ != kAnsiStandardLocale && !constant->IsNull) {
            // Case-insensitive keys are upper-cased texts; the collation ignores case otherwise
            // for a few letters. A constant that holds letters equal to them is answered from
            // a few more ranges, and their keys from their records.
            std::string_view text = constant->TextValue();
            if (term.partial > 0)
                text = text.substr(0, term.partial);
            size_t walks = 1;
            for (size_t i = 0; i < text.size(); ++i) {
                if (IsCaseFoldableCharacter(locale_, text[i]))
                    continue;
                term.fold_sensitive = true;
                const std::string& variants = CaseFoldVariants(locale_, text[i]);
                if (variants.empty())
                    continue;
                term.fold_variants.push_back({ i, variants });
                walks *= 1 + variants.size();
                if (walks > kMaxFoldWalks)
                    return std::nullopt;
            }
        }
        if (term.partial > 0 && locale_ != kAnsiStandardLocale) {
            // The range of a partial comparison under a collation holds every match only when
            // the given characters are weighed one by one.
            std::string text = WalkText(*constant, term.case_insensitive, locale_);
            for (char c : text) {
                if (!IsSimpleCollationCharacter(locale_, c))
                    return std::nullopt;
            }
        }
        auto value = [&](bool inclusive) { return TValueBound::Value(constant, inclusive); };
        auto add = [&](TValueBound low, TValueBound high) { term.ranges.push_back({ low, high }); };
        // NULL is below every value. Only texts take it as the empty text in ordered
        // comparisons; for the other types an ordered comparison with a NULL holds for no value.
        const TValueBound not_null = term.string ? TValueBound::Open() : TValueBound::Null(false);
        switch (op) {
        case opEqual:
        case opNotEqual:
            if (null)
                add(TValueBound::Null(true), TValueBound::Null(true));
            else
                add(value(true), value(true));
            term.complement = op == opNotEqual;
            break;
        case opLess:
            if (!null)
                add(not_null, value(false));
            break;
        case opLessOrEqual:
            if (null)
                add(TValueBound::Null(true), TValueBound::Null(true));
            else
                add(not_null, value(true));
            break;
        case opGreater:
            if (null) {
                if (term.string)
                    add(TValueBound::Null(false), TValueBound::Open());
            } else {
                add(value(false), TValueBound::Open());
            }
            break;
        case opGreaterOrEqual:
            if (null) {
                if (term.string)
                    add(TValueBound::Open(), TValueBound::Open());
                else
                    add(TValueBound::Null(true), TValueBound::Null(true));
            } else {
                add(value(true), TValueBound::Open());
            }
            break;
        default:
            return std::nullopt;
        }
        if (!HasIndex(term))
            return std::nullopt;
        return term;
    }

    std::optional<TTerm> InList(TExpToken& node) {
        TTerm term;
        if (!Field(*node.Args[0], term))
            return std::nullopt;
        for (size_t i = 1; i < node.Args.size(); ++i) {
            const TExpToken& element = *node.Args[i];
            if (!Fits(element))
                return std::nullopt;
            if (element.IsNull)
                term.ranges.push_back({ TValueBound::Null(true), TValueBound::Null(true) });
            else
                term.ranges.push_back(
                    { TValueBound::Value(&element, true), TValueBound::Value(&element, true) });
        }
        term.complement = node.Op == opNotIn;
        if (!HasIndex(term))
            return std::nullopt;
        return term;
    }

    std::optional<TTerm> Between(TExpToken& node) {
        TTerm term;
        if (!Field(*node.Args[0], term))
            return std::nullopt;
        const TExpToken& low = *node.Args[1];
        const TExpToken& high = *node.Args[2];
        if (!Fits(low) || !Fits(high) || low.IsNull || high.IsNull || !OrderedTextSafe(low)
            || !OrderedTextSafe(high))
            return std::nullopt;
        term.ranges.push_back({ TValueBound::Value(&low, true), TValueBound::Value(&high, true) });
        term.complement = node.Op == opNotBetween;
        if (!HasIndex(term))
            return std::nullopt;
        return term;
    }

    const TFilterHost& host_;
    uint32_t locale_;
    const FieldDescriptor* field_ = nullptr;
};

// ---- Walking the range of a term ----

// A bound in the terms of the first key field: NULL, a text, or the key bytes of a value.
struct TTarget {
    bool null = false;
    std::string text;
    std::vector<uint8_t> bytes;
};

// The first key field of an index against a target, in value order (NULL lowest).
class TFirstFieldOrder {
public:
    TFirstFieldOrder(const TIndexKeyInfo& keys, bool text_case_insensitive, size_t prefix)
        : field_(keys.Field(0))
        , locale_(keys.LocaleID())
        , string_(field_.Field.DataType == kTypeString)
        , case_insensitive_(text_case_insensitive && locale_ != kAnsiStandardLocale)
        , prefix_(prefix) { }

    size_t TextCapacity() const { return field_.KeySize; }

    std::string_view Text(const uint8_t* key) const {
        const char* text = reinterpret_cast<const char*>(key + 1);
        return std::string_view(text, strnlen(text, field_.KeySize));
    }

    int Compare(const uint8_t* key, const TTarget& target) const {
        bool present = key[0] != 0;
        if (target.null)
            return present ? 1 : 0;
        if (!present)
            return -1;
        if (string_)
            return Sign(
                CompareLocaleStrings(locale_, Text(key), target.text, case_insensitive_, prefix_));
        return Sign(std::memcmp(key + 1, target.bytes.data(), field_.KeySize));
    }

private:
    const TKeyField& field_;
    uint32_t locale_;
    bool string_;
    bool case_insensitive_;
    size_t prefix_;
};

class TValueRangeTest : public TKeyRangeTest {
public:
    TValueRangeTest(const TFirstFieldOrder& order, const std::optional<TTarget>& low,
        bool low_inclusive, const std::optional<TTarget>& high, bool high_inclusive,
        bool descending)
        : order_(order)
        , low_(low)
        , low_inclusive_(low_inclusive)
        , high_(high)
        , high_inclusive_(high_inclusive)
        , descending_(descending) { }

    // Keys of a float field in the range are checked to hold finite values.
    void CheckFinite() { finite_ = true; }

    // A case-insensitive comparison under a locale whose constant holds letters upper-casing
    // moves: a key holding a moved capital among its first `compared` characters (0: all) is
    // decided by its record; in a `variant` walk every other key is out.
    void CheckFolding(uint32_t locale_id, size_t compared, bool variant) {
        fold_ = true;
        locale_ = locale_id;
        compared_ = compared;
        variant_ = variant;
    }

    // A partial comparison whose keys in the range are checked one by one: a key matches when
    // its first `length` characters are those of `key_text`, or compare equal to `text`.
    void CheckPartial(uint32_t locale_id, std::string key_text, std::string text,
        bool case_insensitive, size_t length) {
        partial_ = true;
        locale_ = locale_id;
        key_text_ = std::move(key_text);
        text_ = std::move(text);
        case_insensitive_ = case_insensitive;
        length_ = length;
    }

    bool Below(const uint8_t* key) const override {
        return descending_ ? AboveHigh(key) : BelowLow(key);
    }
    bool Beyond(const uint8_t* key) const override {
        return descending_ ? BelowLow(key) : AboveHigh(key);
    }
    bool Exact() const override { return !partial_ && !finite_ && !fold_; }
    TKeyVerdict Accept(const uint8_t* key) const override {
        if (finite_)
            return key[0] == 0 ? TKeyVerdict::kIn : FiniteKeyValue(key + 1);
        if (fold_) {
            if (key[0] == 0)
                return TKeyVerdict::kOut;
            std::string_view value = order_.Text(key);
            if (compared_ > 0)
                value = value.substr(0, compared_);
            for (char c : value) {
                if (IsMovedCapital(locale_, c))
                    return TKeyVerdict::kRecord;
            }
            if (variant_)
                return TKeyVerdict::kOut;
            if (!partial_)
                return TKeyVerdict::kIn;
        }
        if (key[0] == 0)
            return TKeyVerdict::kOut;
        // The given characters as they are (they hold no zero byte, so the text is no shorter).
        if (length_ < order_.TextCapacity() && std::memcmp(key + 1, key_text_.data(), length_) == 0)
            return TKeyVerdict::kIn;
        bool equal
            = CompareLocaleStrings(locale_, order_.Text(key), text_, case_insensitive_, length_)
            == 0;
        return equal ? TKeyVerdict::kIn : TKeyVerdict::kOut;
    }

private:
    bool BelowLow(const uint8_t* key) const {
        if (!low_)
            return false;
        int c = order_.Compare(key, *low_);
        return low_inclusive_ ? c < 0 : c <= 0;
    }
    bool AboveHigh(const uint8_t* key) const {
        if (!high_)
            return false;
        int c = order_.Compare(key, *high_);
        return high_inclusive_ ? c > 0 : c >= 0;
    }

    const TFirstFieldOrder& order_;
    std::optional<TTarget> low_;
    bool low_inclusive_;
    std::optional<TTarget> high_;
    bool high_inclusive_;
    bool descending_;
    bool finite_ = false;
    bool fold_ = false;
    bool variant_ = false;
    size_t compared_ = 0;
    bool partial_ = false;
    uint32_t locale_ = 0;
    std::string key_text_;
    std::string text_;
    bool case_insensitive_ = false;
    size_t length_ = 0;
};

class TTermWalker {
public:
    TTermWalker(TFilterHost& host, const TTerm& term, TIndexTree& tree)
        : host_(host)
        , term_(term)
        , tree_(tree)
        , keys_(tree.Keys())
        , locale_(keys_.LocaleID())
        , field_(*host.FilterField(term.field_no)) { }

    // Marks the records of every range; `windows` receives where the marked keys lie: in this
    // index, and in the RecordID order of a table without a primary key (from the suffixes).
    // Records only their values can decide go to `undecided`.
    void Mark(TRecordsBitmap& bitmap, TKeyWindows* windows, TRecordsBitmap& undecided) {
        // Under a locale a partial comparison walks the whole texts from the given characters
        // up to them followed by the highest character, and checks each key in between.
        const bool locale_partial
            = term_.string && term_.partial > 0 && locale_ != kAnsiStandardLocale;
        const size_t prefix = term_.string && !locale_partial ? term_.partial : 0;
        TFirstFieldOrder order(keys_, term_.case_insensitive, prefix);
        const bool descending = keys_.Field(0).Descending;
        for (const TValueRange& range : term_.ranges) {
            // The constant as the keys hold it, and its variants with moved capitals.
            std::optional<TTarget> base = Target(range.low);
            std::vector<std::string> texts = { base && !base->null ? base->text : std::string() };
            if (term_.fold_sensitive && range.low.kind == TValueBound::kValue) {
                for (const auto& [position, capitals] : term_.fold_variants) {
                    size_t known = texts.size();
                    for (size_t t = 0; t < known; ++t) {
                        for (char capital : capitals) {
                            std::string variant = texts[t];
                            variant[position] = capital;
                            texts.push_back(std::move(variant));
                        }
                    }
                }
            }
            for (size_t walk = 0; walk < texts.size(); ++walk) {
                std::optional<TTarget> low = Target(range.low);
                std::optional<TTarget> high = Target(range.high);
                if (walk > 0)
                    low->text = high->text = texts[walk];
                if (locale_partial && high && !high->null) {
                    const uint8_t highest = keys_.CharacterOrder()[255];
                    high->text.append(std::max<size_t>(field_.Size, 1), char(highest));
                }
                TValueRangeTest test(
                    order, low, range.low.inclusive, high, range.high.inclusive, descending);
                if (locale_partial && range.low.kind == TValueBound::kValue) {
                    // Keys that hold the given characters as the index stores them are in.
                    const TExpToken& constant = *range.low.constant;
                    std::string stored
                        = KeyText(constant, term_.case_insensitive && !term_.upper, locale_);
                    test.CheckPartial(locale_, stored, std::string(constant.TextValue()),
                        term_.case_insensitive, term_.partial);
                }
                if (term_.fold_sensitive)
                    test.CheckFolding(locale_, term_.partial, walk > 0);
                if (FloatKeyed(field_))
                    test.CheckFinite();
                TRangeExtent extent;
                MarkKeyRange(
                    tree_, test, bitmap, windows != nullptr ? &extent : nullptr, &undecided);
                if (windows != nullptr && extent.any)
                    AddWindows(extent, *windows);
            }
        }
    }

private:
    void Widen(TKeyWindows& windows, uint8_t slot, const std::vector<uint8_t>& low,
        const std::vector<uint8_t>& high) {
        for (TKeyWindow& window : windows) {
            if (window.slot != slot)
                continue;
            const TIndexKeyInfo& keys = host_.FilterIndexTree(slot).Keys();
            WidenWindow(keys, window, low.data());
            WidenWindow(keys, window, high.data());
            return;
        }
        windows.push_back({ slot, low, high });
    }

    void AddWindows(const TRangeExtent& extent, TKeyWindows& windows) {
        Widen(windows, keys_.Slot(), extent.first, extent.last);
        if (!extent.ids || keys_.Slot() == kPrimaryIndexSlot
            || !host_.FilterIndexDescriptor(kPrimaryIndexSlot).IsDefaultPrimary())
            return;
        const TIndexKeyInfo& primary = host_.FilterIndexTree(kPrimaryIndexSlot).Keys();
        std::vector<uint8_t> record(host_.FilterRecordSize(), 0);
        std::vector<uint8_t> low(primary.KeyLength(), 0);
        std::vector<uint8_t> high(primary.KeyLength(), 0);
        SetRecordID(record.data(), extent.min_id);
        primary.BuildKey(record.data(), low.data());
        SetRecordID(record.data(), extent.max_id);
        primary.BuildKey(record.data(), high.data());
        Widen(windows, kPrimaryIndexSlot, low, high);
    }

    std::optional<TTarget> Target(const TValueBound& bound) {
        if (bound.kind == TValueBound::kOpen)
            return std::nullopt;
        TTarget target;
        if (bound.kind == TValueBound::kNull) {
            target.null = true;
            return target;
        }
        const TExpToken& constant = *bound.constant;
        if (term_.string) {
            target.text = WalkText(constant, term_.case_insensitive, locale_);
            return target;
        }
        // The value's key bytes, encoded as the index encodes the field.
        std::vector<uint8_t> record(host_.FilterRecordSize(), 0);
        WriteFieldValue(field_, record.data(), constant.Value.data(), field_.PhysicalSize, locale_);
        std::vector<uint8_t> key(keys_.KeyLength(), 0);
        keys_.BuildKey(record.data(), key.data());
        const TKeyField& key_field = keys_.Field(0);
        target.bytes.assign(key.begin() + key_field.Offset + 1,
            key.begin() + key_field.Offset + 1 + key_field.KeySize);
        return target;
    }

    TFilterHost& host_;
    const TTerm& term_;
    TIndexTree& tree_;
    const TIndexKeyInfo& keys_;
    uint32_t locale_;
    const FieldDescriptor& field_;
};

bool IsAnd(const TExpToken& node) {
    return node.Kind == nkBinary && node.Op == opAnd && node.Left && node.Right;
}
bool IsOr(const TExpToken& node) {
    return node.Kind == nkBinary && node.Op == opOr && node.Left && node.Right;
}
bool IsNot(const TExpToken& node) {
    return node.Kind == nkUnary && node.Op == opNot && node.Left;
}

std::unique_ptr<TFilterPlan::TNode> BuildNode(TExpToken& expr, const TFilterHost& host) {
    auto node = std::make_unique<TFilterPlan::TNode>();
    node->expr = &expr;
    if (!ReferencesColumn(expr)) {
        // Computed once, reading nothing.
        node->shape = TFilterPlan::TNode::kConstant;
        node->level = 2;
        return node;
    }
    if (IsAnd(expr) || IsOr(expr)) {
        node->left = BuildNode(*expr.Left, host);
        node->right = BuildNode(*expr.Right, host);
        uint8_t a = node->left->level;
        uint8_t b = node->right->level;
        if (IsAnd(expr)) {
            node->shape = TFilterPlan::TNode::kAnd;
            node->level = (a == 2 && b == 2) ? 2 : ((a > 0 || b > 0) ? 1 : 0);
        } else {
            node->shape = TFilterPlan::TNode::kOr;
            node->level = (a == 2 && b == 2) ? 2 : ((a > 0 && b > 0) ? 1 : 0);
        }
        return node;
    }
    if (IsNot(expr)) {
        node->left = BuildNode(*expr.Left, host);
        node->shape = TFilterPlan::TNode::kNot;
        // The complement is taken among the live records, which the primary index lists
        // without reading a record.
        node->level = node->left->level;
        return node;
    }
    if (std::optional<TTerm> term = TTermBuilder(host).Build(expr)) {
        node->shape = TFilterPlan::TNode::kTerm;
        node->level = 2;
        node->term = std::move(*term);
    }
    return node;
}

void AndNot(TRecordsBitmap& bitmap, TRecordsBitmap& excluded) {
    excluded.Invert();
    bitmap.AndWith(excluded);
}

class TPlanEvaluator {
public:
    explicit TPlanEvaluator(TFilterHost& host)
        : host_(host)
        , slots_(host.FilterRecordSlots()) { }

    // `windows` receives the key windows of the answer (nothing known: none).
    void Eval(
        const TFilterPlan::TNode& node, TRecordsBitmap& bitmap, bool all, TKeyWindows& windows) {
        bitmap.SetSize(slots_);
        windows.clear();
        if (node.level == 0) {
            host_.FilterScanRecords(bitmap, *node.expr, all);
            return;
        }
        switch (node.shape) {
        case TFilterPlan::TNode::kConstant:
            Evaluate(*node.expr, nullptr, host_.FilterLocaleID(), ReadColumnFunc());
            if (!IsTrue(*node.expr))
                bitmap.ClearAll();
            else if (all)
                bitmap.Assign(host_.FilterLiveRecords());
            return;
        case TFilterPlan::TNode::kTerm:
            EvalTerm(node, bitmap, all, windows);
            return;
        case TFilterPlan::TNode::kAnd: {
            // The side that reads fewer records first; the other only meets what it accepted.
            bool right_first = node.right->level > node.left->level;
            const TFilterPlan::TNode& first = right_first ? *node.right : *node.left;
            const TFilterPlan::TNode& second = right_first ? *node.left : *node.right;
            TKeyWindows first_windows;
            Eval(first, bitmap, all, first_windows);
            TKeyWindows second_windows;
            Eval(second, bitmap, false, second_windows);
            windows = CombineWindows(host_, first_windows, false, second_windows, false, false);
            return;
        }
        case TFilterPlan::TNode::kOr: {
            if (node.level < 2) {
                host_.FilterScanRecords(bitmap, *node.expr, all);
                return;
            }
            TRecordsBitmap left;
            left.Assign(bitmap);
            TKeyWindows left_windows;
            Eval(*node.left, left, all, left_windows);
            TKeyWindows right_windows;
            Eval(*node.right, bitmap, all, right_windows);
            windows = CombineWindows(
                host_, left_windows, Empty(left), right_windows, Empty(bitmap), true);
            bitmap.OrWith(left);
            return;
        }
        case TFilterPlan::TNode::kNot: {
            TRecordsBitmap operand;
            operand.Assign(bitmap);
            TKeyWindows ignored;
            Eval(*node.left, operand, all, ignored);
            if (all)
                bitmap.Assign(host_.FilterLiveRecords());
            AndNot(bitmap, operand);
            return;
        }
        case TFilterPlan::TNode::kScan:
            host_.FilterScanRecords(bitmap, *node.expr, all);
            return;
        }
    }

private:
    static bool Empty(const TRecordsBitmap& bitmap) {
        uint32_t first = 0;
        return !bitmap.FindNext(first);
    }

    void EvalTerm(
        const TFilterPlan::TNode& node, TRecordsBitmap& bitmap, bool all, TKeyWindows& windows) {
        const TTerm& term = node.term;
        int slot = ChooseIndexForField(host_, term.field_no, term.NeedsCaseInsensitiveIndex());
        if (slot < 0) {
            // The index is gone since the plan was made.
            host_.FilterScanRecords(bitmap, *node.expr, all);
            return;
        }
        TRecordsBitmap matches;
        matches.SetSize(slots_);
        TTermWalker walker(host_, term, host_.FilterIndexTree(uint8_t(slot)));
        TRecordsBitmap undecided;
        undecided.SetSize(slots_);
        walker.Mark(matches, term.complement ? nullptr : &windows, undecided);
        uint32_t first = 0;
        if (undecided.FindNext(first)) {
            // Their records decide: the comparison itself is evaluated on them (a complement's
            // answer is the opposite of the range's).
            TRecordsBitmap answer;
            answer.Assign(undecided);
            host_.FilterScanRecords(answer, *node.expr, false);
            if (term.complement)
                AndNot(undecided, answer);
            else
                undecided.AndWith(answer);
            matches.OrWith(undecided);
        }
        if (term.complement) {
            if (all)
                bitmap.Assign(host_.FilterLiveRecords());
            AndNot(bitmap, matches);
        } else if (all) {
            bitmap.Assign(matches);
        } else {
            bitmap.AndWith(matches);
        }
    }

    TFilterHost& host_;
    uint32_t slots_;
};

} // namespace

void MarkKeyRange(TIndexTree& tree, const TKeyRangeTest& test, TRecordsBitmap& bitmap,
    TRangeExtent* extent, TRecordsBitmap* undecided) {
    TRecordsBitmap found;
    found.SetSize(bitmap.Size());
    TRecordsBitmap unsure;
    if (undecided != nullptr)
        unsure.SetSize(undecided->Size());
    for (int attempt = 0;; ++attempt) {
        if (extent != nullptr)
            *extent = TRangeExtent();
        if (WalkOnce(tree, test, found, extent, undecided != nullptr ? &unsure : nullptr)) {
            bitmap.OrWith(found);
            if (undecided != nullptr)
                undecided->OrWith(unsure);
            return;
        }
        if (attempt >= kMaxWalkRestarts)
            tree.File().RaiseCorrupt();
        found.ClearAll();
        unsure.ClearAll();
    }
}

void WidenWindow(const TIndexKeyInfo& keys, TKeyWindow& window, const uint8_t* key) {
    size_t length = keys.KeyLength();
    if (keys.CompareKeys(key, window.low.data(), length) < 0)
        window.low.assign(key, key + length);
    if (keys.CompareKeys(key, window.high.data(), length) > 0)
        window.high.assign(key, key + length);
}

TKeyWindows CombineWindows(TFilterHost& host, const TKeyWindows& a, bool a_empty,
    const TKeyWindows& b, bool b_empty, bool unite) {
    if (unite ? a_empty : b_empty)
        return b;
    if (unite ? b_empty : a_empty)
        return a;
    TKeyWindows result;
    auto find = [](const TKeyWindows& windows, uint8_t slot) -> const TKeyWindow* {
        for (const TKeyWindow& window : windows) {
            if (window.slot == slot)
                return &window;
        }
        return nullptr;
    };
    for (const TKeyWindow& window : a) {
        const TKeyWindow* other = find(b, window.slot);
        if (other == nullptr) {
            if (!unite)
                result.push_back(window);
            continue;
        }
        const TIndexKeyInfo& keys = host.FilterIndexTree(window.slot).Keys();
        size_t length = keys.KeyLength();
        TKeyWindow combined = window;
        bool take_other_low
            = (keys.CompareKeys(other->low.data(), window.low.data(), length) < 0) == unite;
        bool take_other_high
            = (keys.CompareKeys(other->high.data(), window.high.data(), length) > 0) == unite;
        if (take_other_low)
            combined.low = other->low;
        if (take_other_high)
            combined.high = other->high;
        result.push_back(std::move(combined));
    }
    if (!unite) {
        for (const TKeyWindow& window : b) {
            if (find(a, window.slot) == nullptr)
                result.push_back(window);
        }
    }
    return result;
}

void RangeToBitmap(
    TIndexTree& tree, const uint8_t* low, const uint8_t* high, TRecordsBitmap& bitmap) {
    bitmap.ClearAll();
    const TIndexKeyInfo& keys = tree.Keys();
    if (keys.CompareKeys(low, high, keys.KeyLength()) > 0)
        return;
    MarkKeyRange(tree, TWholeKeyRange(keys, low, high), bitmap);
}

int ChooseIndexForField(const TFilterHost& host, int32_t field_no, bool case_insensitive) {
    const FieldDescriptor* field = host.FilterField(field_no);
    if (field == nullptr || field_no <= 0)
        return -1;
    uint8_t count = std::min<uint8_t>(host.FilterIndexCount(), kMaxSecondaryIndexes);
    for (uint8_t slot = 0; slot <= count; ++slot) {
        const IndexDescriptor& index = host.FilterIndexDescriptor(slot);
        if (index.FieldCount == 0 || index.FieldList[0] != uint16_t(field_no))
            continue;
        if (field->DataType == kTypeString && index.CaseInsensitive != case_insensitive)
            continue;
        return slot;
    }
    return -1;
}

TFilterPlan::TFilterPlan(TExpToken& tree, const TFilterHost& host, bool index_ranges) {
    if (index_ranges) {
        root_ = BuildNode(tree, host);
    } else {
        root_ = std::make_unique<TNode>();
        root_->expr = &tree;
    }
}

TFilterPlan::~TFilterPlan() = default;

uint8_t TFilterPlan::Level() const {
    return root_->level;
}

void TFilterPlan::Evaluate(
    TFilterHost& host, TRecordsBitmap& bitmap, bool all_records, TKeyWindows* windows) {
    TKeyWindows found;
    TPlanEvaluator(host).Eval(*root_, bitmap, all_records, found);
    if (windows != nullptr)
        *windows = std::move(found);
}

} // namespace zolvek
