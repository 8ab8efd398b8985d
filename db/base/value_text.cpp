// Value texts, calendar arithmetic and the packed decimal record.
#include "db/base/value_text.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>
#include <system_error>

namespace zolvek {
namespace {

constexpr std::string_view kNotDate = "' is not a valid date";
constexpr std::string_view kNotTime = "' is not a valid time";
constexpr std::string_view kNotDateTime = "' is not a valid date and time";
constexpr std::string_view kNotBoolean = "' is not a valid boolean";
constexpr std::string_view kNotFloat = "' is not a valid floating point value";
constexpr std::string_view kNotBcd = "' is not a valid BCD value";
constexpr std::string_view kNotInteger = "' is not a valid integer value";

// Day number of 1970-01-01 minus the shift that puts the civil year's start on 1 March of
// year 0, as the decoding below counts days from there.
constexpr int64_t kMarchZeroOffset = 305;

constexpr int kCumulativeDays[2][13] = {
    { 0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334 },
    { 0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335 },
};

[[noreturn]] void Refuse(std::string_view text, std::string_view what) {
    std::string message;
    message.reserve(text.size() + what.size() + 1);
    message += '\'';
    message += text;
    message += what;
    throw EConvertError(message);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view upper_word) {
    if (text.size() != upper_word.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (AsciiUpper(text[i]) != upper_word[i])
            return false;
    }
    return true;
}

// One or more ASCII digits and nothing else, at most max_value.
bool ParseDigits(std::string_view text, int64_t max_value, int64_t& value) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
    }
    uint64_t parsed = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    if (parsed > uint64_t(max_value))
        return false;
    value = int64_t(parsed);
    return true;
}

// An optional '+' or '-' followed by digits.
bool ParseSignedDecimal(std::string_view text, int64_t& value) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
    }
    uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    constexpr uint64_t kMaxPositive = uint64_t(std::numeric_limits<int64_t>::max());
    if (negative) {
        if (magnitude > kMaxPositive + 1)
            return false;
        value = magnitude == kMaxPositive + 1 ? std::numeric_limits<int64_t>::min()
                                              : -int64_t(magnitude);
    } else {
        if (magnitude > kMaxPositive)
            return false;
        value = int64_t(magnitude);
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The pieces of a decimal number text: [sign] digits [. digits] [(e|E) [sign] digits], with at
// least one mantissa digit.
struct DecimalText {
    bool negative = false;
    std::string_view number; // everything after the sign
    std::string digits; // mantissa digits, leading zeros removed
    int64_t point_shift = 0; // value = digits * 10^point_shift
    bool has_nonzero = false;
};

constexpr int64_t kExponentLimit = 100'000'000;

bool ScanDecimal(std::string_view text, DecimalText& out) {
    text = TrimBlanks(text);
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        out.negative = text[i] == '-';
        ++i;
    }
    out.number = text.substr(i);
    size_t mantissa_digits = 0;
    int64_t fraction_digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (text[i] != '0' || !out.digits.empty())
            out.digits += text[i];
        ++mantissa_digits;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            if (text[i] != '0' || !out.digits.empty())
                out.digits += text[i];
            ++mantissa_digits;
            ++fraction_digits;
            ++i;
        }
    }
    if (mantissa_digits == 0)
        return false;
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponent_negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            exponent_negative = text[i] == '-';
            ++i;
        }
        if (i >= text.size() || !IsDigit(text[i]))
            return false;
        // Saturates: any exponent this large already overflows or underflows every type.
        while (i < text.size() && IsDigit(text[i])) {
            if (exponent < kExponentLimit)
                exponent = exponent * 10 + (text[i] - '0');
            ++i;
        }
        if (exponent_negative)
            exponent = -exponent;
    }
    if (i != text.size())
        return false;
    out.has_nonzero = !out.digits.empty();
    out.point_shift = exponent - fraction_digits;
    return true;
}

// digits * 10^shift as a signed 64-bit integer, rounding dropped decimals half to even.
// `digits` has no leading zeros.
bool ScaleDigits(std::string_view digits, int64_t shift, bool negative, int64_t& value) {
    const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    std::string_view kept = digits;
    bool round_up = false;
    if (shift < 0) {
        const uint64_t drop = uint64_t(-shift);
        if (drop > digits.size()) {
            kept = {};
        } else {
            kept = digits.substr(0, digits.size() - drop);
            std::string_view dropped = digits.substr(digits.size() - drop);
            if (!dropped.empty()) {
                const char first = dropped[0];
                const bool rest_nonzero
                    = dropped.find_first_not_of('0', 1) != std::string_view::npos;
                const bool kept_odd = !kept.empty() && ((kept.back() - '0') & 1) != 0;
                round_up = first > '5' || (first == '5' && (rest_nonzero || kept_odd));
            }
        }
        shift = 0;
    }
    if (kept.size() > 19)
        return false;
    uint64_t magnitude = 0;
    for (char c : kept)
        magnitude = magnitude * 10 + uint64_t(c - '0');
    if (magnitude > limit)
        return false;
    if (magnitude != 0) {
        for (int64_t i = 0; i < shift; ++i) {
            if (magnitude > limit / 10)
                return false;
            magnitude *= 10;
        }
    }
    if (round_up) {
        if (magnitude == limit)
            return false;
        ++magnitude;
    }
    value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return true;
}

void AppendTwoDigits(std::string& text, int value) {
    text += char('0' + value / 10 % 10);
    text += char('0' + value % 10);
}

TBcd MakeBcd(bool negative, uint64_t magnitude, int places) {
    TBcd bcd;
    bcd.sign_scale = uint8_t(places);
    if (magnitude == 0)
        return bcd;
    char buffer[24];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
    (void)error;
    std::string digits(buffer, end);
    if (digits.size() < size_t(places))
        digits.insert(0, size_t(places) - digits.size(), '0');
    bcd.precision = uint8_t(digits.size());
    if (negative)
        bcd.sign_scale |= kBcdNegative;
    for (size_t i = 0; i < digits.size(); ++i) {
        const uint8_t nibble = uint8_t(digits[i] - '0');
        bcd.fraction[i / 2] |= (i % 2 == 0) ? uint8_t(nibble << 4) : nibble;
    }
    return bcd;
}

} // namespace

// ---- Calendar ----

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    constexpr int kDays[13] = { 0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month];
}

bool TryEncodeDate(int year, int month, int day, int32_t& day_number) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1
        || day > DaysInMonth(year, month))
        return false;
    const int before = year - 1;
    day_number = before * 365 + before / 4 - before / 100 + before / 400
        + kCumulativeDays[IsLeapYear(year) ? 1 : 0][month] + day;
    return true;
}

int32_t EncodeDate(int year, int month, int day) {
    int32_t day_number = 0;
    if (!TryEncodeDate(year, month, day, day_number))
        throw EConvertError("Invalid argument to date encode");
    return day_number;
}

void DecodeDate(int32_t day_number, int& year, int& month, int& day) {
    if (day_number < kMinDayNumber || day_number > kMaxDayNumber) {
        year = month = day = 0;
        return;
    }
    // Days since 1 March of year 0, split into 400-year eras (positive here).
    const int64_t z = int64_t(day_number) + kMarchZeroOffset;
    const int64_t era = z / 146097;
    const int64_t day_of_era = z - era * 146097;
    const int64_t year_of_era
        = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year
        = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t shifted_month = (5 * day_of_year + 2) / 153;
    day = int(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    month = int(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    year = int(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, int32_t& ms) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59
        || millisecond < 0 || millisecond > 999)
        return false;
    ms = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
    return true;
}

int32_t EncodeTime(int hour, int minute, int second, int millisecond) {
    int32_t ms = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, ms))
        throw EConvertError("Invalid argument to time encode");
    return ms;
}

void DecodeTime(int32_t ms, int& hour, int& minute, int& second, int& millisecond) {
    int64_t rest = int64_t(ms) % kMsPerDay;
    if (rest < 0)
        rest += kMsPerDay;
    millisecond = int(rest % 1000);
    rest /= 1000;
    second = int(rest % 60);
    rest /= 60;
    minute = int(rest % 60);
    hour = int(rest / 60);
}

bool SplitDateTime(double stored, int32_t& day_number, int32_t& ms) {
    if (!std::isfinite(stored))
        return false;
    constexpr double kLow = double(std::numeric_limits<int32_t>::min());
    constexpr double kHigh = double(std::numeric_limits<int32_t>::max());
    const double day = std::floor(stored / double(kMsPerDay));
    if (day < kLow || day > kHigh)
        return false;
    int64_t whole_day = int64_t(day);
    int64_t rest = std::llround(stored - day * double(kMsPerDay));
    if (rest >= kMsPerDay) {
        ++whole_day;
        rest -= kMsPerDay;
    } else if (rest < 0) {
        --whole_day;
        rest += kMsPerDay;
    }
    if (whole_day < std::numeric_limits<int32_t>::min()
        || whole_day > std::numeric_limits<int32_t>::max() || rest < 0 || rest >= kMsPerDay)
        return false;
    day_number = int32_t(whole_day);
    ms = int32_t(rest);
    return true;
}

// ---- Readers ----

bool TryTextToDate(std::string_view text, int32_t& day_number) {
    if (text.size() > kMaxValueTextLength)
        return false;
    const size_t first = text.find('-');
    if (first == std::string_view::npos)
        return false;
    const size_t second = text.find('-', first + 1);
    if (second == std::string_view::npos)
        return false;
    int64_t year = 0;
    int64_t month = 0;
    int64_t day = 0;
    if (!ParseDigits(text.substr(0, first), 9999, year)
        || !ParseDigits(text.substr(first + 1, second - first - 1), 12, month)
        || !ParseDigits(text.substr(second + 1), 31, day))
        return false;
    return TryEncodeDate(int(year), int(month), int(day), day_number);
}

bool TryTextToTime(std::string_view text, int32_t& ms) {
    if (text.size() > kMaxValueTextLength)
        return false;
    std::string work(text);
    std::string upper(work);
    std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
    bool twelve_hour_clock = false;
    int afternoon_offset = 0;
    if (size_t at = upper.find("AM"); at != std::string::npos) {
        work.erase(at, 2);
        twelve_hour_clock = true;
    } else if (size_t pm = upper.find("PM"); pm != std::string::npos) {
        work.erase(pm, 2);
        twelve_hour_clock = true;
        afternoon_offset = 12;
    }
    // Blanks and control characters at both ends go.
    std::string_view rest(work);
    while (!rest.empty() && uint8_t(rest.front()) <= ' ')
        rest.remove_prefix(1);
    while (!rest.empty() && uint8_t(rest.back()) <= ' ')
        rest.remove_suffix(1);

    const size_t hour_end = rest.find(':');
    if (hour_end == std::string_view::npos)
        return false;
    std::string_view hour_text = rest.substr(0, hour_end);
    rest.remove_prefix(hour_end + 1);
    std::string_view minute_text = rest;
    std::string_view second_text;
    std::string_view millisecond_text;
    bool has_second = false;
    bool has_millisecond = false;
    if (size_t minute_end = rest.find(':'); minute_end != std::string_view::npos) {
        minute_text = rest.substr(0, minute_end);
        second_text = rest.substr(minute_end + 1);
        has_second = true;
        if (size_t point = second_text.find('.'); point != std::string_view::npos) {
            millisecond_text = second_text.substr(point + 1);
            second_text = second_text.substr(0, point);
            has_millisecond = true;
        }
    }
    int64_t hour = 0;
    int64_t minute = 0;
    int64_t second = 0;
    int64_t millisecond = 0;
    if (!ParseDigits(hour_text, 99, hour) || !ParseDigits(minute_text, 59, minute))
        return false;
    if (has_second && !ParseDigits(second_text, 59, second))
        return false;
    if (has_millisecond && !ParseDigits(millisecond_text, 999, millisecond))
        return false;
    if (twelve_hour_clock)
        hour = hour == 12 ? afternoon_offset : hour + afternoon_offset;
    return TryEncodeTime(int(hour), int(minute), int(second), int(millisecond), ms);
}

bool TryTextToDateTime(std::string_view text, double& stored) {
    if (text.size() > kMaxValueTextLength)
        return false;
    const bool has_colon = text.find(':') != std::string_view::npos;
    int32_t day_number = 0;
    int32_t ms = 0;
    if (size_t blank = text.find(' '); blank != std::string_view::npos) {
        if (TryTextToDate(text.substr(0, blank), day_number)) {
            if (!TryTextToTime(text.substr(blank + 1), ms))
                return false;
            stored = double(day_number) * double(kMsPerDay) + double(ms);
            return true;
        }
        // A time with its own blanks ("10:00 AM") stands alone on day 0, as it does without.
        if (!has_colon || !TryTextToTime(text, ms))
            return false;
        stored = double(ms);
        return true;
    }
    if (has_colon) {
        if (!TryTextToTime(text, ms))
            return false;
        stored = double(ms);
        return true;
    }
    if (!TryTextToDate(text, day_number))
        return false;
    stored = double(day_number) * double(kMsPerDay);
    return true;
}

bool TryTextToBoolean(std::string_view text, bool& value) {
    if (EqualsIgnoringCase(text, "TRUE")) {
        value = true;
        return true;
    }
    if (EqualsIgnoringCase(text, "FALSE")) {
        value = false;
        return true;
    }
    return false;
}

bool TryTextToFloat(std::string_view text, double& value) {
    if (text.size() > kMaxValueTextLength)
        return false;
    DecimalText decimal;
    if (!ScanDecimal(text, decimal))
        return false;
    double magnitude = 0;
    if (decimal.has_nonzero) {
        const char* first = decimal.number.data();
        const char* last = first + decimal.number.size();
        auto [end, error] = std::from_chars(first, last, magnitude, std::chars_format::general);
        if (error == std::errc::result_out_of_range) {
            // Too small for a double reads as zero; too large is refused.
            const int64_t leading_exponent
                = decimal.point_shift + int64_t(decimal.digits.size()) - 1;
            if (leading_exponent >= 0)
                return false;
            magnitude = 0;
        } else if (error != std::errc() || end != last) {
            return false;
        }
    }
    value = decimal.negative ? -magnitude : magnitude;
    return true;
}

bool TryTextToBCD(std::string_view text, int64_t& value_times_10000) {
    if (text.size() > kMaxValueTextLength)
        return false;
    DecimalText decimal;
    if (!ScanDecimal(text, decimal))
        return false;
    if (!decimal.has_nonzero) {
        value_times_10000 = 0;
        return true;
    }
    return ScaleDigits(
        decimal.digits, decimal.point_shift + 4, decimal.negative, value_times_10000);
}

bool TryTextToInteger(std::string_view text, int64_t min_value, int64_t max_value, int64_t& value) {
    if (text.size() > kMaxValueTextLength)
        return false;
    int64_t parsed = 0;
    if (!ParseSignedDecimal(text, parsed) || parsed < min_value || parsed > max_value)
        return false;
    value = parsed;
    return true;
}

int32_t TextToDate(std::string_view text) {
    int32_t day_number = 0;
    if (!TryTextToDate(text, day_number))
        Refuse(text, kNotDate);
    return day_number;
}

int32_t TextToTime(std::string_view text) {
    int32_t ms = 0;
    if (!TryTextToTime(text, ms))
        Refuse(text, kNotTime);
    return ms;
}

double TextToDateTime(std::string_view text) {
    double stored = 0;
    if (!TryTextToDateTime(text, stored))
        Refuse(text, kNotDateTime);
    return stored;
}

bool TextToBoolean(std::string_view text) {
    bool value = false;
    if (!TryTextToBoolean(text, value))
        Refuse(text, kNotBoolean);
    return value;
}

double TextToFloat(std::string_view text) {
    double value = 0;
    if (!TryTextToFloat(text, value))
        Refuse(text, kNotFloat);
    return value;
}

int64_t TextToBCD(std::string_view text) {
    int64_t value = 0;
    if (!TryTextToBCD(text, value))
        Refuse(text, kNotBcd);
    return value;
}

int64_t TextToInteger(std::string_view text, int64_t min_value, int64_t max_value) {
    int64_t value = 0;
    if (!TryTextToInteger(text, min_value, max_value, value))
        Refuse(text, kNotInteger);
    return value;
}

// ---- Writers ----

std::string DateToText(int32_t day_number) {
    int year = 0;
    int month = 0;
    int day = 0;
    DecodeDate(day_number, year, month, day);
    std::string text;
    text.reserve(10);
    AppendTwoDigits(text, year / 100);
    AppendTwoDigits(text, year % 100);
    text += '-';
    AppendTwoDigits(text, month);
    text += '-';
    AppendTwoDigits(text, day);
    return text;
}

std::string TimeToText(int32_t ms, bool twelve_hour_clock) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    DecodeTime(ms, hour, minute, second, millisecond);
    std::string text;
    text.reserve(16);
    int shown_hour = hour;
    if (twelve_hour_clock) {
        shown_hour = hour % 12;
        if (shown_hour == 0)
            shown_hour = 12;
    }
    AppendTwoDigits(text, shown_hour);
    text += ':';
    AppendTwoDigits(text, minute);
    // Seconds are shown whenever milliseconds are, so that 09:05:00.250 keeps its 250 ms.
    if (second != 0 || millisecond != 0) {
        text += ':';
        AppendTwoDigits(text, second);
    }
    if (millisecond != 0) {
        text += '.';
        text += std::to_string(millisecond);
    }
    if (twelve_hour_clock)
        text += hour < 12 ? " AM" : " PM";
    return text;
}

std::string DateTimeToText(double stored, bool twelve_hour_clock) {
    int32_t day_number = 0;
    int32_t ms = 0;
    if (!SplitDateTime(stored, day_number, ms))
        return DateToText(0) + " " + TimeToText(0, twelve_hour_clock);
    if (day_number == 0)
        return TimeToText(ms, twelve_hour_clock);
    return DateToText(day_number) + " " + TimeToText(ms, twelve_hour_clock);
}

std::string BooleanToText(bool value) {
    return value ? "True" : "False";
}

std::string FloatToText(double value) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    // Shortest round-trip digits in the form [-]d[.ddd]e(+|-)xx, then laid out again.
    char buffer[64];
    auto [end, error]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    (void)error;
    std::string_view shortest(buffer, size_t(end - buffer));
    const bool negative = shortest.front() == '-';
    if (negative)
        shortest.remove_prefix(1);
    const size_t e = shortest.find('e');
    std::string digits;
    for (char c : shortest.substr(0, e)) {
        if (c != '.')
            digits += c;
    }
    std::string_view exponent_text = shortest.substr(e + 1);
    const bool exponent_negative = exponent_text.front() == '-';
    exponent_text.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);
    if (exponent_negative)
        exponent = -exponent;

    std::string text;
    if (negative)
        text += '-';
    const int digit_count = int(digits.size());
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            text += "0.";
            text.append(size_t(-exponent - 1), '0');
            text += digits;
        } else if (digit_count <= exponent + 1) {
            text += digits;
            text.append(size_t(exponent + 1 - digit_count), '0');
        } else {
            text.append(digits, 0, size_t(exponent + 1));
            text += '.';
            text.append(digits, size_t(exponent + 1));
        }
        return text;
    }
    text += digits[0];
    if (digit_count > 1) {
        text += '.';
        text.append(digits, 1);
    }
    text += 'E';
    text += std::to_string(exponent);
    return text;
}

std::string CurrencyToText(int64_t value_times_10000) {
    const bool negative = value_times_10000 < 0;
    const uint64_t magnitude
        = negative ? 0 - uint64_t(value_times_10000) : uint64_t(value_times_10000);
    std::string text;
    if (negative)
        text += '-';
    text += std::to_string(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        std::string decimals = std::to_string(fraction);
        decimals.insert(0, 4 - decimals.size(), '0');
        while (decimals.back() == '0')
            decimals.pop_back();
        text += '.';
        text += decimals;
    }
    return text;
}

// ---- Packed decimal record ----

void LoadBcd(const uint8_t* p, TBcd& bcd) {
    bcd.precision = p[0];
    bcd.sign_scale = p[1];
    std::memcpy(bcd.fraction, p + 2, sizeof bcd.fraction);
}

void StoreBcd(uint8_t* p, const TBcd& bcd) {
    p[0] = bcd.precision;
    p[1] = bcd.sign_scale;
    std::memcpy(p + 2, bcd.fraction, sizeof bcd.fraction);
}

TBcd CurrencyToBcd(int64_t value_times_10000) {
    const bool negative = value_times_10000 < 0;
    uint64_t magnitude = negative ? 0 - uint64_t(value_times_10000) : uint64_t(value_times_10000);
    int places = 4;
    while (places > 0 && magnitude != 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        --places;
    }
    if (magnitude == 0)
        places = 0;
    return MakeBcd(negative, magnitude, places);
}

TBcd CurrencyToBcd(int64_t value_times_10000, int places) {
    places = std::clamp(places, 0, 4);
    const bool negative = value_times_10000 < 0;
    const uint64_t magnitude
        = negative ? 0 - uint64_t(value_times_10000) : uint64_t(value_times_10000);
    uint64_t divisor = 1;
    for (int i = places; i < 4; ++i)
        divisor *= 10;
    uint64_t quotient = magnitude / divisor;
    const uint64_t remainder = magnitude % divisor;
    const uint64_t half = divisor / 2;
    if (divisor > 1 && (remainder > half || (remainder == half && (quotient & 1) != 0)))
        ++quotient;
    return MakeBcd(negative && quotient != 0, quotient, places);
}

bool BcdToCurrency(const TBcd& bcd, int64_t& value_times_10000) {
    if (bcd.precision == 0) {
        value_times_10000 = 0;
        return true;
    }
    const int places = bcd.sign_scale & kBcdPlacesMask;
    if (bcd.precision > 64 || places > bcd.precision)
        return false;
    std::string digits;
    digits.reserve(bcd.precision);
    for (int i = 0; i < bcd.precision; ++i) {
        const uint8_t byte = bcd.fraction[i / 2];
        const uint8_t nibble = (i % 2 == 0) ? uint8_t(byte >> 4) : uint8_t(byte & 0x0F);
        if (nibble > 9)
            return false;
        if (nibble != 0 || !digits.empty())
            digits += char('0' + nibble);
    }
    if (digits.empty()) {
        value_times_10000 = 0;
        return true;
    }
    return ScaleDigits(
        digits, 4 - int64_t(places), (bcd.sign_scale & kBcdNegative) != 0, value_times_10000);
}

// ---- Validity ----

bool IsValidValueText(uint8_t data_type, std::string_view text) {
    if (text.empty())
        return true;
    int32_t day_or_ms = 0;
    double stored = 0;
    int64_t integer = 0;
    switch (data_type) {
    case 1: // string
    case 9: // fixed bytes
    case 15: // variable bytes
        return true;
    case 3: // BLOB
        return false;
    case 4: {
        bool value = false;
        return TryTextToBoolean(text, value);
    }
    case 5:
        return TryTextToInteger(text, -32768, 32767, integer);
    case 6:
        return TryTextToInteger(text, std::numeric_limits<int32_t>::min(),
            std::numeric_limits<int32_t>::max(), integer);
    case 12:
        return TryTextToInteger(text, 0, 65535, integer);
    case 18:
        return TryTextToInteger(text, std::numeric_limits<int64_t>::min(),
            std::numeric_limits<int64_t>::max(), integer);
    case 7:
        return TryTextToFloat(text, stored);
    case 8:
        return TryTextToBCD(text, integer);
    case 2:
        return EqualsIgnoringCase(text, "CURRENT_DATE") || TryTextToDate(text, day_or_ms);
    case 10:
        return EqualsIgnoringCase(text, "CURRENT_TIME") || TryTextToTime(text, day_or_ms);
    case 11:
        return EqualsIgnoringCase(text, "CURRENT_TIMESTAMP")
            || EqualsIgnoringCase(text, "CURRENT_DATE") || EqualsIgnoringCase(text, "CURRENT_TIME")
            || TryTextToDate(text, day_or_ms) || TryTextToDateTime(text, stored)
            || TryTextToTime(text, day_or_ms);
    default:
        return true;
    }
}

void LocalNow(int32_t& day_number, int32_t& ms) {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local {};
    localtime_r(&seconds, &local);
    int millis
        = int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()
            % 1000);
    day_number = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    ms = EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), millis);
}

std::string NewGuidText() {
    thread_local std::mt19937_64 engine { std::random_device {}() };
    uint8_t bytes[16];
    for (int i = 0; i < 16; i += 8) {
        uint64_t r = engine();
        std::memcpy(bytes + i, &r, 8);
    }
    bytes[6] = uint8_t((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80); // variant 1
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    text += '}';
    return text;
}

} // namespace zolvek
