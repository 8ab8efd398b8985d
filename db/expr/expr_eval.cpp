#include "db/expr/expr_eval.h"

#include "db/base/bytes.h"
#include "db/base/locale.h"
#include "db/base/value_text.h"
#include "db/expr/expr_verifier.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>

namespace zolvek {

using namespace engine_types;

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

constexpr int kMaxDecimalDigits = 38;
constexpr int32_t kMsPerDay32 = 86'400'000;
constexpr int32_t kLastDayNumber = 3'652'059; // 31 December 9999
// Child values larger than this are released once their parent has used them, so that a
// chain of text operations never holds more than a few large texts at a time.
constexpr size_t kReleasedValueSize = 64 * 1024;

i128 Pow10(int n) {
    i128 result = 1;
    for (int i = 0; i < n; ++i)
        result *= 10;
    return result;
}

long double Pow10L(int n) {
    return std::pow(10.0L, n);
}

// Moves a decimal mantissa from one scale to another, rounding half away from zero when
// digits are dropped (or truncating with `truncate`); false on overflow.
bool Rescale(i128 m, int from, int to, i128& out, bool truncate = false) {
    if (to == from) {
        out = m;
        return true;
    }
    if (to > from) {
        if (m == 0) {
            out = 0;
            return true;
        }
        if (to - from > kMaxDecimalDigits)
            return false;
        return !__builtin_mul_overflow(m, Pow10(to - from), &out);
    }
    if (from - to > kMaxDecimalDigits) {
        out = 0;
        return true;
    }
    i128 divisor = Pow10(from - to);
    i128 quotient = m / divisor;
    i128 remainder = m % divisor;
    if (!truncate) {
        i128 twice = remainder < 0 ? -remainder * 2 : remainder * 2;
        if (twice >= divisor)
            quotient += m < 0 ? -1 : 1;
    }
    out = quotient;
    return true;
}

bool DecimalFromBcd(const std::vector<uint8_t>& value, i128& m, int& scale) {
    if (value.size() < kBcdValueSize)
        return false;
    TBcd bcd;
    LoadBcd(value.data(), bcd);
    int precision = bcd.precision;
    int places = bcd.sign_scale & 0x3F;
    if (precision > 64 || places > 63)
        return false;
    i128 result = 0;
    for (int i = 0; i < precision; ++i) {
        uint8_t byte = bcd.fraction[i / 2];
        int digit = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
        if (digit > 9)
            return false;
        if (__builtin_mul_overflow(result, i128(10), &result)
            || __builtin_add_overflow(result, i128(digit), &result))
            return false;
    }
    m = (bcd.sign_scale & 0x80) ? -result : result;
    scale = places;
    return true;
}

bool DecimalToBcd(i128 m, int scale, uint8_t* out) {
    if (scale < 0 || scale > 63)
        return false;
    TBcd bcd;
    u128 magnitude = m < 0 ? u128(0) - u128(m) : u128(m);
    char digits[64];
    int count = 0;
    while (magnitude != 0) {
        if (count >= 64)
            return false;
        digits[count++] = char(magnitude % 10);
        magnitude /= 10;
    }
    if (count == 0) {
        bcd.precision = 0;
        bcd.sign_scale = uint8_t(scale);
        StoreBcd(out, bcd);
        return true;
    }
    while (count < scale)
        digits[count++] = 0;
    if (count > 64)
        return false;
    bcd.precision = uint8_t(count);
    bcd.sign_scale = uint8_t(scale | (m < 0 ? 0x80 : 0));
    for (int i = 0; i < count; ++i) {
        uint8_t digit = uint8_t(digits[count - 1 - i]);
        if (i % 2 == 0)
            bcd.fraction[i / 2] = uint8_t(digit << 4);
        else
            bcd.fraction[i / 2] |= digit;
    }
    StoreBcd(out, bcd);
    return true;
}

long double ToLongDouble(const TNumber& n) {
    switch (n.kind) {
    case TNumber::kInteger:
        return n.integer;
    case TNumber::kFloat:
        return n.real;
    default:
        return (long double)n.mantissa / Pow10L(n.scale);
    }
}

bool ToDecimal(const TNumber& n, int scale, i128& out, bool truncate = false) {
    switch (n.kind) {
    case TNumber::kInteger:
        return Rescale(n.integer, 0, scale, out);
    case TNumber::kDecimal:
        return Rescale(n.mantissa, n.scale, scale, out, truncate);
    default: {
        long double scaled = (long double)n.real * Pow10L(scale);
        scaled = truncate ? std::trunc(scaled) : std::round(scaled);
        if (!std::isfinite(scaled) || std::fabs(scaled) >= 1e37L)
            return false;
        out = i128(scaled);
        return true;
    }
    }
}

// An integer value of a number, truncated toward zero; false when outside int64.
bool ToInteger(const TNumber& n, int64_t& out) {
    switch (n.kind) {
    case TNumber::kInteger:
        out = n.integer;
        return true;
    case TNumber::kDecimal: {
        i128 whole = 0;
        Rescale(n.mantissa, n.scale, 0, whole, true);
        if (whole > i128(std::numeric_limits<int64_t>::max())
            || whole < i128(std::numeric_limits<int64_t>::min()))
            return false;
        out = int64_t(whole);
        return true;
    }
    default: {
        double whole = std::trunc(n.real);
        if (!std::isfinite(whole) || whole >= 9223372036854775808.0
            || whole < -9223372036854775808.0)
            return false;
        out = int64_t(whole);
        return true;
    }
    }
}

void SetNull(TExpToken& node) {
    node.IsNull = true;
    std::fill(node.Value.begin(), node.Value.end(), uint8_t(0));
}

void SetBoolean(TExpToken& node, bool value) {
    node.Value.resize(2);
    node.Value[0] = value ? 1 : 0;
    node.Value[1] = 0;
    node.IsNull = false;
}

// A text result; an empty text is NULL, as empty strings are everywhere in the engine.
void SetText(TExpToken& node, std::string_view text) {
    node.Value.resize(text.size() + 1);
    if (!text.empty())
        std::memcpy(node.Value.data(), text.data(), text.size());
    node.Value[text.size()] = 0;
    node.IsNull = text.empty();
}

// The text `a` followed by `b` (+ and CONCAT); NULL when longer than kMaxComputedText.
void SetConcatenation(TExpToken& node, std::string_view a, std::string_view b) {
    if (a.size() + b.size() > kMaxComputedText) {
        SetNull(node);
        return;
    }
    node.Value.resize(a.size() + b.size() + 1);
    if (!a.empty())
        std::memcpy(node.Value.data(), a.data(), a.size());
    if (!b.empty())
        std::memcpy(node.Value.data() + a.size(), b.data(), b.size());
    node.Value[a.size() + b.size()] = 0;
    node.IsNull = a.empty() && b.empty();
}

bool SetInteger(TExpToken& node, int64_t value) {
    TNumber number;
    number.integer = value;
    return StoreNumber(node, number);
}

bool SetReal(TExpToken& node, double value) {
    TNumber number;
    number.kind = TNumber::kFloat;
    number.real = value;
    return StoreNumber(node, number);
}

// Splits a timestamp into its day number and milliseconds; false outside the calendar.
bool SplitTimestamp(double stored, int32_t& day, int32_t& ms) {
    if (!std::isfinite(stored))
        return false;
    double days = std::floor(stored / double(kMsPerDay32));
    if (days < 1 || days > kLastDayNumber)
        return false;
    day = int32_t(days);
    ms = int32_t(stored - days * double(kMsPerDay32));
    ms = std::clamp(ms, 0, kMsPerDay32 - 1);
    return true;
}

bool ValidDay(int64_t day) {
    return day >= 1 && day <= kLastDayNumber;
}

bool ValidTime(int64_t ms) {
    return ms >= 0 && ms < kMsPerDay32;
}

// Character equality of a locale for LIKE, computed on first use of each pair and kept for
// the life of the process (one 64 KiB table per locale used).
class CharEquality {
public:
    explicit CharEquality(uint32_t locale_id)
        : locale_id_(locale_id) { }

    bool Equal(char a, char b) {
        if (a == b)
            return true;
        std::atomic<uint8_t>& entry = table_[size_t(uint8_t(a)) * 256 + uint8_t(b)];
        uint8_t known = entry.load(std::memory_order_relaxed);
        if (known == 0) {
            known = CompareLocaleChars(locale_id_, a, b) == 0 ? 1 : 2;
            entry.store(known, std::memory_order_relaxed);
        }
        return known == 1;
    }

    static CharEquality& For(uint32_t locale_id) {
        thread_local uint32_t last_locale = 0;
        thread_local CharEquality* last_table = nullptr;
        if (last_table && last_locale == locale_id)
            return *last_table;
        static std::mutex lock;
        static std::unordered_map<uint32_t, std::unique_ptr<CharEquality>> tables;
        std::lock_guard guard(lock);
        auto& table = tables[locale_id];
        if (!table)
            table = std::make_unique<CharEquality>(locale_id);
        last_locale = locale_id;
        last_table = table.get();
        return *table;
    }

private:
    uint32_t locale_id_;
    std::array<std::atomic<uint8_t>, 256 * 256> table_ {};
};

std::mt19937_64& RandomEngine() {
    thread_local std::mt19937_64 engine { std::random_device {}() };
    return engine;
}

std::string DecimalText(i128 m, int scale) {
    u128 magnitude = m < 0 ? u128(0) - u128(m) : u128(m);
    // Digits from the last one, with the point after `scale` of them and at least one digit
    // before it.
    char reversed[96];
    size_t count = 0;
    int written = 0;
    do {
        if (written == scale && scale > 0)
            reversed[count++] = '.';
        reversed[count++] = char('0' + int(magnitude % 10));
        magnitude /= 10;
        ++written;
    } while (magnitude != 0 || written <= scale);
    if (m < 0)
        reversed[count++] = '-';
    std::string text;
    text.reserve(count);
    while (count > 0)
        text.push_back(reversed[--count]);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && uint8_t(text.front()) <= 32)
        text.remove_prefix(1);
    while (!text.empty() && uint8_t(text.back()) <= 32)
        text.remove_suffix(1);
    return text;
}

bool ParseDecimalText(std::string_view text, int scale, i128& out) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    i128 m = 0;
    int decimals = 0;
    bool dot = false;
    bool digit_seen = false;
    for (char c : text) {
        if (c == '.' && !dot) {
            dot = true;
            continue;
        }
        if (c < '0' || c > '9')
            return false;
        digit_seen = true;
        if (__builtin_mul_overflow(m, i128(10), &m) || __builtin_add_overflow(m, i128(c - '0'), &m))
            return false;
        if (dot)
            ++decimals;
        if (decimals > kMaxDecimalDigits)
            return false;
    }
    if (!digit_seen)
        return false;
    return Rescale(negative ? -m : m, decimals, scale, out);
}

// The text form of any value, for CAST to a text type; false when it has none.
bool ValueText(const TExpToken& from, std::string& text) {
    if (IsTextType(from.DataType) || from.DataType == ftBytes || from.DataType == ftVarBytes) {
        if (IsTextType(from.DataType))
            text.assign(from.TextValue());
        else
            text.assign(from.Value.begin(), from.Value.end());
        return true;
    }
    TNumber n;
    if (!LoadNumber(from, n))
        return false;
    try {
        switch (from.DataType) {
        case ftBoolean:
            text = BooleanToText(n.integer != 0);
            return true;
        case ftDate:
            if (!ValidDay(n.integer))
                return false;
            text = DateToText(int32_t(n.integer));
            return true;
        case ftTime:
            if (!ValidTime(n.integer))
                return false;
            text = TimeToText(int32_t(n.integer));
            return true;
        case ftTimestamp: {
            int32_t day = 0, ms = 0;
            if (!SplitTimestamp(n.real, day, ms))
                return false;
            text = DateTimeToText(n.real);
            return true;
        }
        case ftFloat:
            text = FloatToText(n.real);
            return true;
        case ftBcd:
            text = DecimalText(n.mantissa, n.scale);
            return true;
        default:
            text = std::to_string(n.integer);
            return true;
        }
    } catch (const std::exception&) {
        return false;
    }
}

// Reads a text as a value of `to`'s type into `to`; false when it is not one.
bool TextToValue(std::string_view text, TExpToken& to) {
    std::string owned(TrimBlanks(text));
    try {
        switch (to.DataType) {
        case ftBoolean:
            return SetInteger(to, TextToBoolean(owned) ? 1 : 0);
        case ftDate:
            return SetInteger(to, TextToDate(owned));
        case ftTime:
            return SetInteger(to, TextToTime(owned));
        case ftTimestamp: {
            TNumber n;
            n.kind = TNumber::kFloat;
            n.real = TextToDateTime(owned);
            return StoreNumber(to, n);
        }
        case ftFloat:
            return SetReal(to, TextToFloat(owned));
        case ftBcd: {
            TNumber n;
            n.kind = TNumber::kDecimal;
            n.scale = to.Scale;
            if (!ParseDecimalText(owned, to.Scale, n.mantissa))
                return false;
            return StoreNumber(to, n);
        }
        default: {
            std::string_view digits = owned;
            if (!digits.empty() && digits[0] == '+')
                digits.remove_prefix(1);
            int64_t value = 0;
            auto [ptr, error]
                = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (error != std::errc() || ptr != digits.data() + digits.size())
                return false;
            return SetInteger(to, value);
        }
        }
    } catch (const std::exception&) {
        return false;
    }
}

class TEvaluator {
public:
    TEvaluator(const uint8_t* record, uint32_t locale_id, const ReadColumnFunc& read_column)
        : record_(record)
        , locale_id_(locale_id)
        , read_column_(read_column) { }

    void Eval(TExpToken& node);

private:
    void EvalBinary(TExpToken& node);
    void EvalArithmetic(TExpToken& node);
    bool EvalDateArithmetic(TExpToken& node, const TExpToken& l, const TExpToken& r);
    void EvalExtended(TExpToken& node);
    void EvalFunction(TExpToken& node);

    // One evaluator per function (or per family of functions that differ in one step), each
    // computing the node from its arguments; EvalFunction picks it from its table by the
    // function code.
    using FunctionEvaluator = void (TEvaluator::*)(TExpToken& node);
    void EvalUpperOrLower(TExpToken& node);
    void EvalSubstring(TExpToken& node);
    void EvalReplace(TExpToken& node);
    void EvalPos(TExpToken& node);
    void EvalOccurs(TExpToken& node);
    void EvalTrim(TExpToken& node);
    void EvalLength(TExpToken& node);
    void EvalLeft(TExpToken& node);
    void EvalRight(TExpToken& node);
    void EvalRepeat(TExpToken& node);
    void EvalConcat(TExpToken& node);
    void EvalCast(TExpToken& node);
    void EvalIfOrIfNull(TExpToken& node);
    void EvalNullIf(TExpToken& node);
    void EvalCoalesce(TExpToken& node);
    void EvalCase(TExpToken& node);
    void EvalExtract(TExpToken& node);
    void EvalCurrentDate(TExpToken& node);
    void EvalCurrentTime(TExpToken& node);
    void EvalCurrentTimestamp(TExpToken& node);
    void EvalAbs(TExpToken& node);
    void EvalRoundOrTrunc(TExpToken& node);
    void EvalMod(TExpToken& node);
    void EvalCeilingOrFloor(TExpToken& node);
    void EvalSign(TExpToken& node);
    void EvalPi(TExpToken& node);
    void EvalRand(TExpToken& node);
    void EvalMSecsPart(TExpToken& node);
    void EvalMathFunction(TExpToken& node);
    void EvalLastAutoInc(TExpToken& node);
    void EvalCurrentGuid(TExpToken& node);
    // Evaluates an argument that must be a whole number; false when it is NULL or is not one.
    bool EvalInteger(TExpToken& argument, int64_t& value);
    // LEFT, RIGHT and REPEAT: evaluates the text and the count (a negative count is 0); false,
    // with the node NULL, when the count is not a whole number.
    bool EvalTextAndCount(TExpToken& node, std::string_view& text, int64_t& count);
    // The start of the numeric functions: evaluates every argument; false, with the node NULL,
    // when one is NULL or the first is not a number; else `n` holds the first one's value.
    bool EvalNumericArguments(TExpToken& node, TNumber& n);
    bool Comparison(uint8_t op, const TExpToken& l, const TExpToken& r, bool case_insensitive,
        uint32_t partial);
    int Compare(const TExpToken& l, const TExpToken& r, bool case_insensitive, uint32_t partial,
        bool& ordered);
    void ReleaseLarge(TExpToken& node);

    const uint8_t* record_;
    uint32_t locale_id_;
    const ReadColumnFunc& read_column_;
};

void TEvaluator::ReleaseLarge(TExpToken& node) {
    auto release = [](TExpToken* child) {
        if (child && child->Kind != nkConstant && child->Value.capacity() > kReleasedValueSize) {
            std::vector<uint8_t>().swap(child->Value);
            child->IsNull = true;
        }
    };
    release(node.Left.get());
    release(node.Right.get());
    for (auto& arg : node.Args)
        release(arg.get());
}

void TEvaluator::Eval(TExpToken& node) {
    switch (node.Kind) {
    case nkConstant:
        return;
    case nkColumn:
        if (read_column_)
            read_column_(node, record_);
        else
            SetNull(node);
        return;
    case nkUnary: {
        TExpToken& operand = *node.Left;
        Eval(operand);
        if (operand.IsNull) {
            SetNull(node);
            return;
        }
        if (node.Op == opNot) {
            SetBoolean(node, !IsTrue(operand));
            return;
        }
        TNumber n;
        if (!LoadNumber(operand, n)) {
            SetNull(node);
            return;
        }
        if (node.Op == opNegate) {
            if (n.kind == TNumber::kInteger) {
                if (n.integer == std::numeric_limits<int64_t>::min()) {
                    SetNull(node);
                    return;
                }
                n.integer = -n.integer;
            } else if (n.kind == TNumber::kFloat) {
                n.real = -n.real;
            } else {
                n.mantissa = -n.mantissa;
            }
        }
        StoreNumber(node, n);
        return;
    }
    case nkBinary:
    case nkStringCompare:
        EvalBinary(node);
        break;
    case nkExtended:
        EvalExtended(node);
        break;
    case nkFunction:
        EvalFunction(node);
        break;
    default:
        SetNull(node);
        return;
    }
    ReleaseLarge(node);
}

int TEvaluator::Compare(const TExpToken& l, const TExpToken& r, bool case_insensitive,
    uint32_t partial, bool& ordered) {
    ordered = true;
    if (IsTextType(l.DataType) || IsTextType(r.DataType)) {
        int result = CompareLocaleStrings(
            locale_id_, l.TextValue(), r.TextValue(), case_insensitive, partial);
        return result < 0 ? -1 : result > 0 ? 1 : 0;
    }
    if (l.DataType == ftBytes || l.DataType == ftVarBytes) {
        size_t common = std::min(l.Value.size(), r.Value.size());
        int result = common ? std::memcmp(l.Value.data(), r.Value.data(), common) : 0;
        if (result == 0)
            result = l.Value.size() < r.Value.size() ? -1 : l.Value.size() > r.Value.size();
        return result < 0 ? -1 : result > 0 ? 1 : 0;
    }
    TNumber a, b;
    if (!LoadNumber(l, a) || !LoadNumber(r, b)) {
        ordered = false;
        return 0;
    }
    // A date against a timestamp compares the date's midnight.
    if (l.DataType == ftDate && r.DataType == ftTimestamp)
        a.integer *= kMsPerDay32;
    if (r.DataType == ftDate && l.DataType == ftTimestamp)
        b.integer *= kMsPerDay32;
    return CompareNumbers(a, b);
}

bool TEvaluator::Comparison(
    uint8_t op, const TExpToken& l, const TExpToken& r, bool case_insensitive, uint32_t partial) {
    bool text = IsTextType(l.DataType) || IsTextType(r.DataType);
    if (op == opEqual || op == opNotEqual) {
        if (l.IsNull || r.IsNull) {
            bool equal = l.IsNull && r.IsNull;
            return op == opEqual ? equal : !equal;
        }
    } else if (!text && (l.IsNull || r.IsNull)) {
        if (op == opLess || op == opGreater)
            return false;
        return l.IsNull && r.IsNull;
    }
    bool ordered = true;
    int c = Compare(l, r, case_insensitive, partial, ordered);
    if (!ordered)
        return op == opNotEqual;
    switch (op) {
    case opEqual:
        return c == 0;
    case opNotEqual:
        return c != 0;
    case opGreater:
        return c > 0;
    case opLess:
        return c < 0;
    case opGreaterOrEqual:
        return c >= 0;
    case opLessOrEqual:
        return c <= 0;
    default:
        return false;
    }
}

void TEvaluator::EvalBinary(TExpToken& node) {
    TExpToken& l = *node.Left;
    TExpToken& r = *node.Right;
    switch (node.Op) {
    case opAnd:
        Eval(r);
        if (!IsTrue(r)) {
            SetBoolean(node, false);
            return;
        }
        Eval(l);
        SetBoolean(node, IsTrue(l));
        return;
    case opOr:
        Eval(r);
        if (IsTrue(r)) {
            SetBoolean(node, true);
            return;
        }
        Eval(l);
        SetBoolean(node, IsTrue(l));
        return;
    case opEqual:
    case opNotEqual:
    case opGreater:
    case opLess:
    case opGreaterOrEqual:
    case opLessOrEqual: {
        Eval(l);
        Eval(r);
        bool string_compare = node.Kind == nkStringCompare && IsTextType(l.DataType);
        SetBoolean(node,
            Comparison(node.Op, l, r, string_compare && node.CaseInsensitive,
                string_compare ? node.PartialLength : 0));
        return;
    }
    default:
        EvalArithmetic(node);
        return;
    }
}

bool TEvaluator::EvalDateArithmetic(TExpToken& node, const TExpToken& l, const TExpToken& r) {
    uint8_t lt = l.DataType;
    uint8_t rt = r.DataType;
    bool l_dt = lt == ftDate || lt == ftTime || lt == ftTimestamp;
    bool r_dt = rt == ftDate || rt == ftTime || rt == ftTimestamp;
    if (!l_dt && !r_dt)
        return false;
    TNumber a, b;
    if (!LoadNumber(l, a) || !LoadNumber(r, b)) {
        SetNull(node);
        return true;
    }
    bool add = node.Op == opAdd;
    // The date-like operand first: integer + date is date + integer.
    if (add && !l_dt)
        std::swap(a, b), std::swap(lt, rt);
    auto as_ms = [](const TNumber& n, uint8_t type) -> long double {
        if (type == ftDate)
            return (long double)n.integer * kMsPerDay32;
        return ToLongDouble(n);
    };
    switch (lt) {
    case ftDate:
    case ftTime: {
        if (!add && rt == lt) { // days between dates, milliseconds between times
            SetInteger(node, a.integer - b.integer);
            return true;
        }
        int64_t count = 0; // days for a date, milliseconds for a time
        if (!ToInteger(b, count)) {
            SetNull(node);
            return true;
        }
        int64_t result = 0;
        if (lt == ftTime) {
            // A time of day wraps around midnight.
            int64_t shift = count % kMsPerDay32;
            result = (a.integer % kMsPerDay32) + (add ? shift : -shift);
            result %= kMsPerDay32;
            if (result < 0)
                result += kMsPerDay32;
        } else if (add ? __builtin_add_overflow(a.integer, count, &result)
                       : __builtin_sub_overflow(a.integer, count, &result)) {
            SetNull(node);
            return true;
        }
        SetInteger(node, result);
        return true;
    }
    default: { // timestamp
        long double result;
        if (!add && (rt == ftDate || rt == ftTime || rt == ftTimestamp))
            result = as_ms(a, lt) - as_ms(b, rt);
        else
            result = add ? as_ms(a, lt) + ToLongDouble(b) : as_ms(a, lt) - ToLongDouble(b);
        SetReal(node, double(result));
        return true;
    }
    }
}

void TEvaluator::EvalArithmetic(TExpToken& node) {
    TExpToken& l = *node.Left;
    TExpToken& r = *node.Right;
    Eval(l);
    Eval(r);
    if (node.Op == opAdd && IsTextType(node.DataType)) {
        SetConcatenation(node, l.TextValue(), r.TextValue());
        return;
    }
    if (l.IsNull || r.IsNull || node.DataType == 0) {
        SetNull(node);
        return;
    }
    if ((node.Op == opAdd || node.Op == opSubtract) && EvalDateArithmetic(node, l, r))
        return;
    TNumber a, b;
    if (!LoadNumber(l, a) || !LoadNumber(r, b)) {
        SetNull(node);
        return;
    }
    TNumber result;
    switch (node.DataType) {
    case ftFloat: {
        long double x = ToLongDouble(a);
        long double y = ToLongDouble(b);
        long double z = 0;
        switch (node.Op) {
        case opAdd:
            z = x + y;
            break;
        case opSubtract:
            z = x - y;
            break;
        case opMultiply:
            z = x * y;
            break;
        case opDivide:
            if (y == 0) {
                SetNull(node);
                return;
            }
            z = x / y;
            break;
        default:
            SetNull(node);
            return;
        }
        SetReal(node, double(z));
        return;
    }
    case ftBcd: {
        int scale = node.Scale;
        int sa = a.kind == TNumber::kDecimal ? a.scale : 0;
        int sb = b.kind == TNumber::kDecimal ? b.scale : 0;
        i128 x = 0, y = 0, z = 0;
        if (!ToDecimal(a, sa, x) || !ToDecimal(b, sb, y)) {
            SetNull(node);
            return;
        }
        bool ok = true;
        switch (node.Op) {
        case opAdd:
        case opSubtract: {
            int common = std::max(sa, sb);
            i128 xa = 0, yb = 0;
            ok = Rescale(x, sa, common, xa) && Rescale(y, sb, common, yb)
                && !(node.Op == opAdd ? __builtin_add_overflow(xa, yb, &z)
                                      : __builtin_sub_overflow(xa, yb, &z))
                && Rescale(z, common, scale, z);
            break;
        }
        case opMultiply:
            ok = !__builtin_mul_overflow(x, y, &z) && Rescale(z, sa + sb, scale, z);
            break;
        case opDivide: {
            if (y == 0) {
                ok = false;
                break;
            }
            // x / 10^sa ÷ y / 10^sb at `scale`, one extra digit for rounding.
            i128 numerator = 0;
            int shift = scale + sb - sa + 1;
            if (shift >= 0) {
                ok = Rescale(x, 0, shift, numerator);
            } else {
                ok = Rescale(x, -shift, 0, numerator, true);
            }
            if (!ok)
                break;
            i128 q = numerator / y;
            ok = Rescale(q, scale + 1, scale, z);
            break;
        }
        default:
            ok = false;
        }
        if (!ok) {
            SetNull(node);
            return;
        }
        result.kind = TNumber::kDecimal;
        result.mantissa = z;
        result.scale = scale;
        StoreNumber(node, result);
        return;
    }
    default: {
        int64_t x = 0, y = 0, z = 0;
        if (!ToInteger(a, x) || !ToInteger(b, y)) {
            SetNull(node);
            return;
        }
        bool overflow = false;
        switch (node.Op) {
        case opAdd:
            overflow = __builtin_add_overflow(x, y, &z);
            break;
        case opSubtract:
            overflow = __builtin_sub_overflow(x, y, &z);
            break;
        case opMultiply:
            overflow = __builtin_mul_overflow(x, y, &z);
            break;
        case opMod:
            if (y == 0) {
                overflow = true;
                break;
            }
            z = (y == -1) ? 0 : x % y;
            break;
        default:
            overflow = true;
        }
        if (overflow) {
            SetNull(node);
            return;
        }
        SetInteger(node, z);
        return;
    }
    }
}

void TEvaluator::EvalExtended(TExpToken& node) {
    TExpToken& tested = *node.Args[0];
    Eval(tested);
    switch (node.Op) {
    case opLike:
    case opNotLike: {
        TExpToken& pattern = *node.Args[1];
        Eval(pattern);
        char escape = 0;
        if (node.Args.size() > 2) {
            Eval(*node.Args[2]);
            std::string_view text = node.Args[2]->TextValue();
            escape = text.empty() ? 0 : text[0];
        }
        bool like = !tested.IsNull && !pattern.IsNull
            && MatchLike(locale_id_, tested.TextValue(), pattern.TextValue(), escape);
        SetBoolean(node, node.Op == opLike ? like : !like);
        return;
    }
    case opIn:
    case opNotIn: {
        bool found = false;
        for (size_t i = 1; i < node.Args.size() && !found; ++i) {
            Eval(*node.Args[i]);
            found = Comparison(opEqual, tested, *node.Args[i], false, 0);
        }
        SetBoolean(node, node.Op == opIn ? found : !found);
        return;
    }
    case opBetween:
    case opNotBetween: {
        Eval(*node.Args[1]);
        bool between = Comparison(opGreaterOrEqual, tested, *node.Args[1], false, 0);
        if (between) {
            Eval(*node.Args[2]);
            between = Comparison(opLessOrEqual, tested, *node.Args[2], false, 0);
        }
        SetBoolean(node, node.Op == opBetween ? between : !between);
        return;
    }
    default:
        SetNull(node);
        return;
    }
}

// ---- Functions: one evaluator per function, chosen by EvalFunction from its table ----

bool TEvaluator::EvalInteger(TExpToken& argument, int64_t& value) {
    Eval(argument);
    TNumber n;
    return LoadNumber(argument, n) && ToInteger(n, value);
}

// Text functions.

void TEvaluator::EvalUpperOrLower(TExpToken& node) {
    Eval(*node.Args[0]);
    std::string_view text = node.Args[0]->TextValue();
    SetText(node, text);
    if (!text.empty()) {
        char* data = reinterpret_cast<char*>(node.Value.data());
        if (node.Op == fnUpper)
            UpperCaseLocale(locale_id_, data, text.size());
        else
            LowerCaseLocale(locale_id_, data, text.size());
    }
}

void TEvaluator::EvalSubstring(TExpToken& node) {
    Eval(*node.Args[0]);
    std::string_view text = node.Args[0]->TextValue();
    int64_t start = 0;
    if (!EvalInteger(*node.Args[1], start)) {
        SetNull(node);
        return;
    }
    start = std::max<int64_t>(start, 1);
    int64_t count = std::numeric_limits<int64_t>::max();
    if (node.Args.size() > 2 && !EvalInteger(*node.Args[2], count)) {
        SetNull(node);
        return;
    }
    if (count < 0 || start > int64_t(text.size())) {
        SetText(node, {});
        return;
    }
    SetText(node, text.substr(size_t(start - 1), size_t(std::min<int64_t>(count, INT64_MAX))));
}

void TEvaluator::EvalReplace(TExpToken& node) {
    Eval(*node.Args[0]);
    Eval(*node.Args[1]);
    Eval(*node.Args[2]);
    std::string_view from = node.Args[0]->TextValue();
    std::string_view with = node.Args[1]->TextValue();
    std::string_view source = node.Args[2]->TextValue();
    if (from.empty()) {
        SetText(node, source);
        return;
    }
    std::string result;
    size_t pos = 0;
    for (;;) {
        size_t found = source.find(from, pos);
        if (found == std::string_view::npos)
            break;
        result.append(source, pos, found - pos);
        result.append(with);
        pos = found + from.size();
        if (result.size() > kMaxComputedText) {
            SetNull(node);
            return;
        }
    }
    result.append(source, pos, std::string_view::npos);
    if (result.size() > kMaxComputedText) {
        SetNull(node);
        return;
    }
    SetText(node, result);
}

void TEvaluator::EvalPos(TExpToken& node) {
    Eval(*node.Args[0]);
    Eval(*node.Args[1]);
    std::string_view what = node.Args[0]->TextValue();
    std::string_view text = node.Args[1]->TextValue();
    int64_t result = 0;
    if (!what.empty()) {
        size_t found = text.find(what);
        result = found == std::string_view::npos ? 0 : int64_t(found) + 1;
    }
    SetInteger(node, result);
}

void TEvaluator::EvalOccurs(TExpToken& node) {
    Eval(*node.Args[0]);
    Eval(*node.Args[1]);
    std::string_view what = node.Args[0]->TextValue();
    std::string_view text = node.Args[1]->TextValue();
    int64_t result = 0;
    if (!what.empty()) {
        for (size_t pos = text.find(what); pos != std::string_view::npos;
             pos = text.find(what, pos + what.size()))
            ++result;
    }
    SetInteger(node, result);
}

// TRIM(LEADING|TRAILING|BOTH c FROM a), LTRIM, RTRIM and ALLTRIM.
void TEvaluator::EvalTrim(TExpToken& node) {
    Eval(*node.Args[0]);
    Eval(*node.Args[1]);
    std::string_view what = node.Args[0]->TextValue();
    std::string_view text = node.Args[1]->TextValue();
    if (!what.empty()) {
        char c = what[0];
        if (node.Op != fnTrimTrailing) {
            while (!text.empty() && text.front() == c)
                text.remove_prefix(1);
        }
        if (node.Op != fnTrimLeading) {
            while (!text.empty() && text.back() == c)
                text.remove_suffix(1);
        }
    }
    SetText(node, text);
}

void TEvaluator::EvalLength(TExpToken& node) {
    Eval(*node.Args[0]);
    SetInteger(node, int64_t(node.Args[0]->TextValue().size()));
}

bool TEvaluator::EvalTextAndCount(TExpToken& node, std::string_view& text, int64_t& count) {
    Eval(*node.Args[0]);
    text = node.Args[0]->TextValue();
    if (!EvalInteger(*node.Args[1], count)) {
        SetNull(node);
        return false;
    }
    count = std::max<int64_t>(count, 0);
    return true;
}

void TEvaluator::EvalLeft(TExpToken& node) {
    std::string_view text;
    int64_t count = 0;
    if (!EvalTextAndCount(node, text, count))
        return;
    SetText(node, text.substr(0, size_t(std::min<int64_t>(count, int64_t(text.size())))));
}

void TEvaluator::EvalRight(TExpToken& node) {
    std::string_view text;
    int64_t count = 0;
    if (!EvalTextAndCount(node, text, count))
        return;
    size_t keep = size_t(std::min<int64_t>(count, int64_t(text.size())));
    SetText(node, text.substr(text.size() - keep));
}

void TEvaluator::EvalRepeat(TExpToken& node) {
    std::string_view text;
    int64_t count = 0;
    if (!EvalTextAndCount(node, text, count))
        return;
    if (text.empty() || count == 0) {
        SetText(node, {});
        return;
    }
    if (uint64_t(count) > kMaxComputedText / text.size()) {
        SetNull(node);
        return;
    }
    std::string result;
    result.reserve(text.size() * size_t(count));
    for (int64_t i = 0; i < count; ++i)
        result.append(text);
    SetText(node, result);
}

void TEvaluator::EvalConcat(TExpToken& node) {
    Eval(*node.Args[0]);
    Eval(*node.Args[1]);
    SetConcatenation(node, node.Args[0]->TextValue(), node.Args[1]->TextValue());
}

// Conversion and choice.

void TEvaluator::EvalCast(TExpToken& node) {
    Eval(*node.Args[0]);
    ConvertValue(*node.Args[0], node);
}

// IF(c THEN a ELSE b) takes a when c is true; IFNULL(x THEN a ELSE b) takes a when x is NULL.
void TEvaluator::EvalIfOrIfNull(TExpToken& node) {
    TExpToken& test = *node.Args[0];
    Eval(test);
    bool first = node.Op == fnIf ? IsTrue(test) : test.IsNull;
    TExpToken& chosen = first ? *node.Args[1] : *node.Args[2];
    Eval(chosen);
    ConvertValue(chosen, node);
}

void TEvaluator::EvalNullIf(TExpToken& node) {
    Eval(*node.Args[0]);
    Eval(*node.Args[1]);
    if (Comparison(opEqual, *node.Args[0], *node.Args[1], false, 0))
        SetNull(node);
    else
        ConvertValue(*node.Args[0], node);
}

void TEvaluator::EvalCoalesce(TExpToken& node) {
    for (auto& a : node.Args) {
        Eval(*a);
        if (!a->IsNull) {
            ConvertValue(*a, node);
            return;
        }
    }
    SetNull(node);
}

void TEvaluator::EvalCase(TExpToken& node) {
    TExpToken& conditions = *node.Args[0];
    TExpToken& results = *node.Args[1];
    size_t chosen = results.Args.size() - 1;
    for (size_t i = 0; i < conditions.Args.size(); ++i) {
        Eval(*conditions.Args[i]);
        if (IsTrue(*conditions.Args[i])) {
            chosen = i;
            break;
        }
    }
    Eval(*results.Args[chosen]);
    ConvertValue(*results.Args[chosen], node);
    ReleaseLarge(conditions);
    ReleaseLarge(results);
}

// Dates and times.

// EXTRACT(part FROM a), the part being the function code.
void TEvaluator::EvalExtract(TExpToken& node) {
    uint8_t code = node.Op;
    TExpToken& a = *node.Args[0];
    Eval(a);
    TNumber n;
    if (!LoadNumber(a, n)) {
        SetNull(node);
        return;
    }
    int32_t day = 0, ms = 0;
    bool has_date = false;
    if (a.DataType == ftDate) {
        if (!ValidDay(n.integer)) {
            SetNull(node);
            return;
        }
        day = int32_t(n.integer);
        has_date = true;
    } else if (a.DataType == ftTime) {
        if (!ValidTime(n.integer)) {
            SetNull(node);
            return;
        }
        ms = int32_t(n.integer);
    } else {
        if (!SplitTimestamp(n.real, day, ms)) {
            SetNull(node);
            return;
        }
        has_date = true;
    }
    if (code <= fnExtractDayOfYear) {
        // A time has no date parts.
        if (!has_date) {
            SetNull(node);
            return;
        }
        int year = 0, month = 0, mday = 0;
        DecodeDate(day, year, month, mday);
        int day_of_week = (day - 1) % 7 + 1; // 1 January of year 1 was a Monday
        switch (code) {
        case fnExtractYear:
            SetInteger(node, year);
            return;
        case fnExtractMonth:
            SetInteger(node, month);
            return;
        case fnExtractDay:
            SetInteger(node, mday);
            return;
        case fnExtractDayOfWeek:
            SetInteger(node, day_of_week);
            return;
        case fnExtractDayOfYear:
            SetInteger(node, day - EncodeDate(year, 1, 1) + 1);
            return;
        default: { // WEEK: the week's Thursday decides the year it belongs to
            int32_t thursday = day - day_of_week + 4;
            if (!ValidDay(thursday)) {
                SetNull(node);
                return;
            }
            int thursday_year = 0, m = 0, d = 0;
            DecodeDate(thursday, thursday_year, m, d);
            SetInteger(node, (thursday - EncodeDate(thursday_year, 1, 1)) / 7 + 1);
            return;
        }
        }
    }
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    DecodeTime(ms, hour, minute, second, millisecond);
    int parts[] = { hour, minute, second, millisecond };
    SetInteger(node, parts[code - fnExtractHour]);
}

void TEvaluator::EvalCurrentDate(TExpToken& node) {
    int32_t day = 0, ms = 0;
    LocalNow(day, ms);
    SetInteger(node, day);
}

void TEvaluator::EvalCurrentTime(TExpToken& node) {
    int32_t day = 0, ms = 0;
    LocalNow(day, ms);
    SetInteger(node, ms);
}

void TEvaluator::EvalCurrentTimestamp(TExpToken& node) {
    int32_t day = 0, ms = 0;
    LocalNow(day, ms);
    SetReal(node, double(day) * kMsPerDay32 + ms);
}

// Numeric functions.

bool TEvaluator::EvalNumericArguments(TExpToken& node, TNumber& n) {
    for (auto& a : node.Args)
        Eval(*a);
    for (auto& a : node.Args) {
        if (a->IsNull) {
            SetNull(node);
            return false;
        }
    }
    if (!node.Args.empty() && !LoadNumber(*node.Args[0], n)) {
        SetNull(node);
        return false;
    }
    return true;
}

void TEvaluator::EvalAbs(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    if (n.kind == TNumber::kInteger) {
        if (n.integer == std::numeric_limits<int64_t>::min()) {
            SetNull(node);
            return;
        }
        n.integer = n.integer < 0 ? -n.integer : n.integer;
    } else if (n.kind == TNumber::kFloat) {
        n.real = std::fabs(n.real);
    } else {
        n.mantissa = n.mantissa < 0 ? -n.mantissa : n.mantissa;
    }
    StoreNumber(node, n);
}

// ROUND(a [TO n]) and TRUNC(a [TO n]).
void TEvaluator::EvalRoundOrTrunc(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    int64_t places = 0;
    if (node.Args.size() > 1) {
        TNumber p;
        if (!LoadNumber(*node.Args[1], p) || !ToInteger(p, places)) {
            SetNull(node);
            return;
        }
    }
    bool truncate = node.Op == fnTrunc;
    if (n.kind == TNumber::kFloat) {
        places = std::clamp<int64_t>(places, -308, 308);
        long double factor = Pow10L(int(std::llabs(places)));
        long double x = n.real;
        long double scaled = places >= 0 ? x * factor : x / factor;
        if (std::isfinite(scaled) && std::fabs(scaled) < 1e30L) {
            scaled = truncate ? std::trunc(scaled) : std::round(scaled);
            n.real = double(places >= 0 ? scaled / factor : scaled * factor);
        }
    } else if (n.kind == TNumber::kDecimal) {
        int keep = int(std::clamp<int64_t>(places, -kMaxDecimalDigits, n.scale));
        i128 reduced = 0;
        if (keep < n.scale) {
            if (keep >= 0) {
                Rescale(n.mantissa, n.scale, keep, reduced, truncate);
                Rescale(reduced, keep, n.scale, n.mantissa);
            } else {
                Rescale(n.mantissa, n.scale, 0, reduced, true);
                i128 whole = 0;
                Rescale(reduced, -keep, 0, whole, truncate);
                if (!Rescale(whole, 0, n.scale - keep, n.mantissa)) {
                    SetNull(node);
                    return;
                }
            }
        }
    }
    StoreNumber(node, n);
}

void TEvaluator::EvalMod(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    TNumber m;
    int64_t x = 0, y = 0;
    if (!LoadNumber(*node.Args[1], m) || !ToInteger(n, x) || !ToInteger(m, y) || y == 0) {
        SetNull(node);
        return;
    }
    SetInteger(node, y == -1 ? 0 : x % y);
}

void TEvaluator::EvalCeilingOrFloor(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    uint8_t code = node.Op;
    if (n.kind == TNumber::kInteger) {
        SetInteger(node, n.integer);
        return;
    }
    if (n.kind == TNumber::kDecimal) {
        i128 whole = 0;
        Rescale(n.mantissa, n.scale, 0, whole, true);
        i128 back = 0;
        Rescale(whole, 0, n.scale, back);
        if (back != n.mantissa) {
            if (code == fnCeiling && n.mantissa > 0)
                ++whole;
            if (code == fnFloor && n.mantissa < 0)
                --whole;
        }
        if (whole > i128(std::numeric_limits<int64_t>::max())
            || whole < i128(std::numeric_limits<int64_t>::min())) {
            SetNull(node);
            return;
        }
        SetInteger(node, int64_t(whole));
        return;
    }
    TNumber rounded;
    rounded.kind = TNumber::kFloat;
    rounded.real = code == fnCeiling ? std::ceil(n.real) : std::floor(n.real);
    int64_t value = 0;
    if (!ToInteger(rounded, value)) {
        SetNull(node);
        return;
    }
    SetInteger(node, value);
}

void TEvaluator::EvalSign(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    long double x = ToLongDouble(n);
    SetInteger(node, x > 0 ? 1 : x < 0 ? -1 : 0);
}

void TEvaluator::EvalPi(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    SetReal(node, 3.14159265358979323846);
}

void TEvaluator::EvalRand(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    double range = node.Args.empty() ? 1.0 : double(ToLongDouble(n));
    std::uniform_real_distribution<double> distribution(0.0, 1.0);
    SetReal(node, distribution(RandomEngine()) * range);
}

// YEARSFROMMSECS ... MSECSFROMMSECS: one part each of a number of milliseconds.
void TEvaluator::EvalMSecsPart(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    int64_t ms = 0;
    if (!ToInteger(n, ms)) {
        SetNull(node);
        return;
    }
    constexpr int64_t kYear = 31'536'000'000;
    int64_t parts[6];
    parts[0] = ms / kYear;
    ms %= kYear;
    parts[1] = ms / kMsPerDay32;
    ms %= kMsPerDay32;
    parts[2] = ms / 3'600'000;
    ms %= 3'600'000;
    parts[3] = ms / 60'000;
    ms %= 60'000;
    parts[4] = ms / 1000;
    parts[5] = ms % 1000;
    SetInteger(node, parts[node.Op - fnYearsFromMSecs]);
}

// The mathematical functions of one number (two for ATAN2 and POWER): a float, NULL for a
// domain error; a code without a function of its own gives NULL too.
void TEvaluator::EvalMathFunction(TExpToken& node) {
    TNumber n;
    if (!EvalNumericArguments(node, n))
        return;
    double x = double(ToLongDouble(n));
    double y = 0;
    if (node.Args.size() > 1) {
        TNumber m;
        if (!LoadNumber(*node.Args[1], m)) {
            SetNull(node);
            return;
        }
        y = double(ToLongDouble(m));
    }
    double result;
    switch (node.Op) {
    case fnAcos:
        result = std::acos(x);
        break;
    case fnAsin:
        result = std::asin(x);
        break;
    case fnAtan:
        result = std::atan(x);
        break;
    case fnAtan2:
        result = std::atan2(x, y);
        break;
    case fnCos:
        result = std::cos(x);
        break;
    case fnCot: {
        double t = std::tan(x);
        result = t == 0 ? std::numeric_limits<double>::quiet_NaN() : 1.0 / t;
        break;
    }
    case fnDegrees:
        result = x * 180.0 / 3.14159265358979323846;
        break;
    case fnExp:
        result = std::exp(x);
        break;
    case fnLog:
        result = x > 0 ? std::log(x) : std::numeric_limits<double>::quiet_NaN();
        break;
    case fnLog10:
        result = x > 0 ? std::log10(x) : std::numeric_limits<double>::quiet_NaN();
        break;
    case fnPower:
        result = std::pow(x, y);
        break;
    case fnRadians:
        result = x * 3.14159265358979323846 / 180.0;
        break;
    case fnSin:
        result = std::sin(x);
        break;
    case fnSqrt:
        result = x >= 0 ? std::sqrt(x) : std::numeric_limits<double>::quiet_NaN();
        break;
    case fnTan:
        result = std::tan(x);
        break;
    default:
        result = std::numeric_limits<double>::quiet_NaN();
        break;
    }
    SetReal(node, result); // NaN and infinities become NULL
}

// Others.

void TEvaluator::EvalLastAutoInc(TExpToken& node) {
    SetInteger(node, 0); // the last value handed out is known only to the SQL engine
}

void TEvaluator::EvalCurrentGuid(TExpToken& node) {
    SetText(node, NewGuidText());
}

void TEvaluator::EvalFunction(TExpToken& node) {
    // The evaluator of every function code, in the order of the codes. A code that names no
    // function evaluable here (TEXTSEARCH and TEXTOCCURS, which verification refuses, among
    // them) takes the mathematical functions' evaluator, which gives NULL for it.
    static constexpr std::array<FunctionEvaluator, 256> kEvaluators = [] {
        std::array<FunctionEvaluator, 256> table {};
        table.fill(&TEvaluator::EvalMathFunction);
        table[fnUpper] = &TEvaluator::EvalUpperOrLower;
        table[fnLower] = &TEvaluator::EvalUpperOrLower;
        table[fnSubstring] = &TEvaluator::EvalSubstring;
        table[fnReplace] = &TEvaluator::EvalReplace;
        table[fnPos] = &TEvaluator::EvalPos;
        table[fnOccurs] = &TEvaluator::EvalOccurs;
        table[fnTrimLeading] = &TEvaluator::EvalTrim;
        table[fnTrimTrailing] = &TEvaluator::EvalTrim;
        table[fnTrimBoth] = &TEvaluator::EvalTrim;
        table[fnLength] = &TEvaluator::EvalLength;
        table[fnLeft] = &TEvaluator::EvalLeft;
        table[fnRight] = &TEvaluator::EvalRight;
        table[fnRepeat] = &TEvaluator::EvalRepeat;
        table[fnConcat] = &TEvaluator::EvalConcat;
        table[fnCast] = &TEvaluator::EvalCast;
        for (uint8_t code = fnExtractYear; code <= fnExtractMSecond; ++code)
            table[code] = &TEvaluator::EvalExtract;
        for (uint8_t code = fnYearsFromMSecs; code <= fnMSecsFromMSecs; ++code)
            table[code] = &TEvaluator::EvalMSecsPart;
        table[fnIf] = &TEvaluator::EvalIfOrIfNull;
        table[fnCoalesce] = &TEvaluator::EvalCoalesce;
        table[fnIfNull] = &TEvaluator::EvalIfOrIfNull;
        table[fnAbs] = &TEvaluator::EvalAbs;
        table[fnRound] = &TEvaluator::EvalRoundOrTrunc;
        table[fnMod] = &TEvaluator::EvalMod;
        table[fnAcos] = &TEvaluator::EvalMathFunction;
        table[fnAsin] = &TEvaluator::EvalMathFunction;
        table[fnAtan] = &TEvaluator::EvalMathFunction;
        table[fnAtan2] = &TEvaluator::EvalMathFunction;
        table[fnCeiling] = &TEvaluator::EvalCeilingOrFloor;
        table[fnCos] = &TEvaluator::EvalMathFunction;
        table[fnCot] = &TEvaluator::EvalMathFunction;
        table[fnDegrees] = &TEvaluator::EvalMathFunction;
        table[fnExp] = &TEvaluator::EvalMathFunction;
        table[fnFloor] = &TEvaluator::EvalCeilingOrFloor;
        table[fnLog] = &TEvaluator::EvalMathFunction;
        table[fnLog10] = &TEvaluator::EvalMathFunction;
        table[fnPi] = &TEvaluator::EvalPi;
        table[fnPower] = &TEvaluator::EvalMathFunction;
        table[fnRadians] = &TEvaluator::EvalMathFunction;
        table[fnRand] = &TEvaluator::EvalRand;
        table[fnSign] = &TEvaluator::EvalSign;
        table[fnSin] = &TEvaluator::EvalMathFunction;
        table[fnSqrt] = &TEvaluator::EvalMathFunction;
        table[fnTan] = &TEvaluator::EvalMathFunction;
        table[fnTrunc] = &TEvaluator::EvalRoundOrTrunc;
        table[fnLastAutoInc] = &TEvaluator::EvalLastAutoInc;
        table[fnIdentCurrent] = &TEvaluator::EvalLastAutoInc;
        table[fnCurrentDate] = &TEvaluator::EvalCurrentDate;
        table[fnCurrentTime] = &TEvaluator::EvalCurrentTime;
        table[fnCurrentTimestamp] = &TEvaluator::EvalCurrentTimestamp;
        table[fnCurrentGuid] = &TEvaluator::EvalCurrentGuid;
        table[fnNullIf] = &TEvaluator::EvalNullIf;
        table[fnCase] = &TEvaluator::EvalCase;
        return table;
    }();
    (this->*kEvaluators[node.Op])(node);
}

} // namespace

bool LoadNumber(const TExpToken& node, TNumber& number) {
    if (node.IsNull || node.Value.size() < FixedValueSize(node.DataType))
        return false;
    const uint8_t* value = node.Value.data();
    number = TNumber {};
    switch (node.DataType) {
    case ftBoolean:
        number.integer = LoadU16(value) != 0;
        return true;
    case ftSmallInt:
        number.integer = LoadI16(value);
        return true;
    case ftWord:
        number.integer = LoadU16(value);
        return true;
    case ftInteger:
    case ftDate:
    case ftTime:
        number.integer = LoadI32(value);
        return true;
    case ftLargeInt:
        number.integer = LoadI64(value);
        return true;
    case ftFloat:
    case ftTimestamp:
        number.kind = TNumber::kFloat;
        number.real = LoadDouble(value);
        return std::isfinite(number.real);
    case ftBcd:
        number.kind = TNumber::kDecimal;
        return DecimalFromBcd(node.Value, number.mantissa, number.scale);
    default:
        return false;
    }
}

bool StoreNumber(TExpToken& node, const TNumber& number) {
    uint8_t type = node.DataType;
    uint32_t size = FixedValueSize(type);
    node.Value.assign(size, 0);
    bool ok = false;
    int64_t low = 0, high = 0;
    if (type == ftBoolean) {
        StoreU16(node.Value.data(), ToLongDouble(number) != 0 ? 1 : 0);
        ok = true;
    } else if (IntegerValueRange(type, low, high)) {
        int64_t value = 0;
        if (ToInteger(number, value) && value >= low && value <= high) {
            ok = true;
            if (type == ftSmallInt)
                StoreI16(node.Value.data(), int16_t(value));
            else if (type == ftWord)
                StoreU16(node.Value.data(), uint16_t(value));
            else if (type == ftLargeInt)
                StoreI64(node.Value.data(), value);
            else
                StoreI32(node.Value.data(), int32_t(value));
        }
    } else if (type == ftFloat || type == ftTimestamp) {
        double value = double(ToLongDouble(number));
        if (number.kind == TNumber::kInteger)
            value = double(number.integer);
        else if (number.kind == TNumber::kFloat)
            value = number.real;
        if (std::isfinite(value)) {
            StoreDouble(node.Value.data(), value);
            ok = true;
        }
    } else if (type == ftBcd) {
        i128 m = 0;
        ok = ToDecimal(number, node.Scale, m) && DecimalToBcd(m, node.Scale, node.Value.data());
    }
    node.IsNull = !ok;
    if (!ok)
        std::fill(node.Value.begin(), node.Value.end(), uint8_t(0));
    return ok;
}

int CompareNumbers(const TNumber& a, const TNumber& b) {
    if (a.kind == TNumber::kInteger && b.kind == TNumber::kInteger)
        return a.integer < b.integer ? -1 : a.integer > b.integer;
    if (a.kind != TNumber::kFloat && b.kind != TNumber::kFloat) {
        int sa = a.kind == TNumber::kDecimal ? a.scale : 0;
        int sb = b.kind == TNumber::kDecimal ? b.scale : 0;
        int common = std::max(sa, sb);
        i128 x = 0, y = 0;
        if (ToDecimal(a, common, x) && ToDecimal(b, common, y))
            return x < y ? -1 : x > y;
    }
    long double x = ToLongDouble(a);
    long double y = ToLongDouble(b);
    return x < y ? -1 : x > y;
}

void ConvertValue(const TExpToken& from, TExpToken& to) {
    uint8_t type = to.DataType;
    if (from.IsNull || type == 0) {
        to.Value.assign(std::max<uint32_t>(FixedValueSize(type), 1), 0);
        to.IsNull = true;
        return;
    }
    bool from_text = IsTextType(from.DataType) && from.SubType != stGraphic
        && !(from.DataType == ftBlob && from.SubType == 0);
    bool from_bytes = from.DataType == ftBytes || from.DataType == ftVarBytes
        || (from.DataType == ftBlob && from.SubType != stMemo);
    if (type == ftString || (type == ftBlob && to.SubType == stMemo)) {
        std::string text;
        if (!ValueText(from, text)) {
            SetNull(to);
            return;
        }
        if (type == ftString && to.ValueSize > 0 && text.size() > to.ValueSize - 1)
            text.resize(to.ValueSize - 1);
        if (text.size() > kMaxComputedText) {
            SetNull(to);
            return;
        }
        SetText(to, text);
        return;
    }
    if (type == ftBytes || type == ftVarBytes || type == ftBlob) {
        std::string bytes;
        if (!ValueText(from, bytes)) {
            SetNull(to);
            return;
        }
        if (type == ftBytes) {
            bytes.resize(to.ValueSize, '\0');
        } else if (type == ftVarBytes && bytes.size() > to.ValueSize) {
            bytes.resize(to.ValueSize);
        }
        to.Value.assign(bytes.begin(), bytes.end());
        to.IsNull = bytes.empty();
        return;
    }
    if (from_text || from_bytes) {
        std::string_view text = from.TextValue();
        if (from_bytes && !IsTextType(from.DataType))
            text = std::string_view(reinterpret_cast<const char*>(from.Value.data()),
                std::find(from.Value.begin(), from.Value.end(), 0) - from.Value.begin());
        if (!TextToValue(text, to))
            SetNull(to);
        return;
    }
    TNumber n;
    if (!LoadNumber(from, n)) {
        SetNull(to);
        return;
    }
    uint8_t source = from.DataType;
    if (source == ftTimestamp && (type == ftDate || type == ftTime)) {
        // A timestamp gives its date or its time of day.
        int32_t day = 0, ms = 0;
        if (SplitTimestamp(n.real, day, ms))
            SetInteger(to, type == ftDate ? day : ms);
        else
            SetNull(to);
        return;
    }
    switch (type) {
    case ftDate:
        if (source == ftTime)
            SetNull(to);
        else
            StoreNumber(to, n);
        return;
    case ftTime: {
        if (source == ftDate) {
            SetInteger(to, 0); // a date's time of day is midnight
            return;
        }
        int64_t ms = 0;
        if (ToInteger(n, ms) && ValidTime(ms))
            SetInteger(to, ms);
        else
            SetNull(to);
        return;
    }
    case ftTimestamp:
        if (source == ftDate)
            SetReal(to, double(n.integer) * kMsPerDay32);
        else
            StoreNumber(to, n);
        return;
    default:
        StoreNumber(to, n);
        return;
    }
}

bool IsTrue(const TExpToken& node) {
    if (node.IsNull)
        return false;
    if (node.DataType == ftBoolean || node.DataType == 0)
        return node.Value.size() >= 2 && LoadU16(node.Value.data()) != 0;
    TNumber n;
    return LoadNumber(node, n) && ToLongDouble(n) != 0;
}

bool MatchLike(uint32_t locale_id, std::string_view value, std::string_view pattern, char escape) {
    CharEquality& equality = CharEquality::For(locale_id);
    size_t v = 0;
    size_t p = 0;
    size_t star_p = std::string_view::npos;
    size_t star_v = 0;
    for (;;) {
        bool matched = false;
        if (p < pattern.size()) {
            char c = pattern[p];
            if (escape != 0 && c == escape) {
                char literal = p + 1 < pattern.size() ? pattern[p + 1] : c;
                size_t length = p + 1 < pattern.size() ? 2 : 1;
                if (v < value.size() && equality.Equal(literal, value[v])) {
                    ++v;
                    p += length;
                    matched = true;
                }
            } else if (c == '%') {
                ++p;
                if (p == pattern.size())
                    return true; // a trailing % matches any rest of the value
                star_p = p;
                star_v = v;
                matched = true;
            } else if (c == '_') {
                if (v < value.size()) {
                    ++v;
                    ++p;
                    matched = true;
                }
            } else if (v < value.size() && equality.Equal(c, value[v])) {
                ++v;
                ++p;
                matched = true;
            }
        } else if (v == value.size()) {
            return true;
        }
        if (matched)
            continue;
        // Retry from the last % one value character further on.
        if (star_p == std::string_view::npos || star_v >= value.size())
            return false;
        ++star_v;
        v = star_v;
        p = star_p;
    }
}

void Evaluate(
    TExpToken& node, const uint8_t* record, uint32_t locale_id, const ReadColumnFunc& read_column) {
    TEvaluator evaluator(record, locale_id, read_column);
    evaluator.Eval(node);
}

} // namespace zolvek
