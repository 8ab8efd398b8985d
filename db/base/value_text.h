// The engine's fixed text forms of values (dates year-month-day, times with ':' separators, '.'
// as the decimal point) with the calendar arithmetic behind the date encodings, the packed
// decimal record of BCD fields, and the validity test of default, minimum and maximum texts.
// Thread-safety: every function is pure and may be called from any thread; nothing depends on
// the process locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zolvek {

// The conversion error of the value-text readers; what() is the exact message, e.g.
// "'2005/02/03' is not a valid date".
class EConvertError : public std::runtime_error {
public:
    using runtime_error::runtime_error;
};

constexpr int64_t kMsPerDay = 86'400'000;
// Day numbers of 1 January 0001 and 31 December 9999, the calendar range of the engine.
constexpr int32_t kMinDayNumber = 1;
constexpr int32_t kMaxDayNumber = 3'652'059;
// Readers refuse longer texts (a value text is at most a short string).
constexpr size_t kMaxValueTextLength = 255;

// ---- Calendar ----

bool IsLeapYear(int year);
int DaysInMonth(int year, int month); // 0 for a month outside 1..12
// Gregorian proleptic; false (day_number untouched) unless 1 <= year <= 9999 and the date
// exists.
bool TryEncodeDate(int year, int month, int day, int32_t& day_number); // 1 Jan 0001 = day 1
int32_t EncodeDate(int year, int month, int day); // throws EConvertError
// A day number outside kMinDayNumber..kMaxDayNumber decodes as year, month and day 0.
void DecodeDate(int32_t day_number, int& year, int& month, int& day);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, int32_t& ms);
int32_t EncodeTime(int hour, int minute, int second, int millisecond); // throws EConvertError
// A value outside one day is taken modulo a day (its time of day).
void DecodeTime(int32_t ms, int& hour, int& minute, int& second, int& millisecond);
// Splits a stored date-time into day number and milliseconds (rounded to the millisecond);
// false for values that are not finite or whose day does not fit 32 bits.
bool SplitDateTime(double stored, int32_t& day_number, int32_t& ms);

// ---- Readers: each refuses with EConvertError ----
// Texts longer than kMaxValueTextLength are refused by every reader. Messages quote the text:
// "'%s' is not a valid date" / "time" / "date and time" / "boolean" / "floating point value" /
// "BCD value".

// year-month-day, each part ASCII digits only ("2005-2-3"), a real date within 0001..9999.
int32_t TextToDate(std::string_view text); // day number
// hour:minute[:second[.milliseconds]], digits only; the milliseconds are a count (".5" is
// 5 ms). "AM" or "PM" anywhere (any case) selects the 12-hour clock; blanks and control
// characters at the ends are ignored.
int32_t TextToTime(std::string_view text); // ms since midnight
// "date time" split at the first blank, a time alone (day 0) when the text has ':', else a date
// alone (midnight). A text whose part before the first blank is no date but which reads as a
// time ("10:00 PM") is that time on day 0.
double TextToDateTime(std::string_view text); // day number * kMsPerDay + ms (as stored)
bool TextToBoolean(std::string_view text); // TRUE or FALSE, any case
// [sign] digits [. digits] [(e|E) [sign] digits], blanks allowed at both ends; at least one
// digit before the exponent. No INF, NAN or hexadecimal. Values beyond the double range are
// refused; values too small for it read as zero.
double TextToFloat(std::string_view text);
// The same form read exactly and rounded half to even to four decimals; refused beyond the
// currency range -922337203685477.5808 .. 922337203685477.5807.
int64_t TextToBCD(std::string_view text); // currency precision: value * 10000, rounded
// Decimal integers (optional sign, digits only) within the given range; the message reads
// "'%s' is not a valid integer value".
int64_t TextToInteger(std::string_view text, int64_t min_value, int64_t max_value);
bool TryTextToInteger(std::string_view text, int64_t min_value, int64_t max_value, int64_t& value);

// The same readers answering false instead of raising (the output is untouched then).
bool TryTextToDate(std::string_view text, int32_t& day_number);
bool TryTextToTime(std::string_view text, int32_t& ms);
bool TryTextToDateTime(std::string_view text, double& stored);
bool TryTextToBoolean(std::string_view text, bool& value);
bool TryTextToFloat(std::string_view text, double& value);
bool TryTextToBCD(std::string_view text, int64_t& value_times_10000);

// ---- Writers: never fail ----

// Out-of-range day numbers are written "0000-00-00".
std::string DateToText(int32_t day_number);
std::string TimeToText(int32_t ms, bool twelve_hour_clock = false);
// A value on day 0 is written as its time alone, which TextToDateTime reads back as day 0.
std::string DateTimeToText(double stored, bool twelve_hour_clock = false);
std::string BooleanToText(bool value);
// The shortest text that reads back to the same double: fixed notation for magnitudes from
// 1E-4 up to below 1E15, otherwise one digit, '.', the rest and an exponent written "E", "-"
// for negative exponents, no "+" and no leading zeros (1E20, 1.5E-7). Infinities and NaN are
// written "INF", "-INF" and "NAN", which no reader accepts.
std::string FloatToText(double value);
// Up to four decimals, trailing zeros removed: 15000 -> "1.5", -5 -> "-0.0005".
std::string CurrencyToText(int64_t value_times_10000);

// ---- Packed decimal record of BCD fields ----

// The 34-byte packed decimal record of BCD fields (precision, sign-and-scale, 32 bytes of
// packed digits, two per byte, high nibble first).
//   offset 0  precision    number of digits held in fraction (0..64; 0 means the value 0)
//   offset 1  sign_scale   bit 7 = negative, bit 6 unused, bits 0-5 = decimal places
//   offset 2  fraction     digits, the first in the high nibble of fraction[0]; the last
//                          `decimal places` digits of the `precision` digits are decimals
struct TBcd {
    uint8_t precision = 0;
    uint8_t sign_scale = 0;
    uint8_t fraction[32] = {};
};
constexpr size_t kBcdSize = 34;
constexpr uint8_t kBcdNegative = 0x80;
constexpr uint8_t kBcdPlacesMask = 0x3F;

// Requires: p points at kBcdSize bytes.
void LoadBcd(const uint8_t* p, TBcd& bcd);
void StoreBcd(uint8_t* p, const TBcd& bcd);
// Fewest digits and decimal places that hold the value; 0 gives precision 0.
TBcd CurrencyToBcd(int64_t value_times_10000);
// Exactly `places` decimal places (0..4), rounded half to even from the four of the currency
// value; 0 gives precision 0 with those places.
TBcd CurrencyToBcd(int64_t value_times_10000, int places);
// False when the record is malformed (precision above 64, more places than digits, a nibble
// above 9) or the value does not fit the currency range. Decimals beyond the fourth are
// rounded half to even.
bool BcdToCurrency(const TBcd& bcd, int64_t& value_times_10000);

// Validity of a default/minimum/maximum text for an engine field type code (1..18).
bool IsValidValueText(uint8_t data_type, std::string_view text);

// The local date (day number) and time of day (ms) now.
void LocalNow(int32_t& day_number, int32_t& ms);
// A new random GUID in its 38-character text form with braces.
std::string NewGuidText();

} // namespace zolvek
