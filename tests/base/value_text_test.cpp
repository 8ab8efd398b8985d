#include "db/base/value_text.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <tuple>

namespace zolvek {
namespace {

// The message of the conversion error that `read` raises, or a note that it raised none.
std::string RefusalOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const EConvertError& error) {
        return error.what();
    }
    return "<no error>";
}

int32_t Day(int year, int month, int day) {
    return EncodeDate(year, month, day);
}

int32_t Ms(int hour, int minute, int second = 0, int millisecond = 0) {
    return EncodeTime(hour, minute, second, millisecond);
}

TEST(Calendar, KnownDayNumbers) {
    EXPECT_EQ(Day(1, 1, 1), 1);
    EXPECT_EQ(Day(1, 12, 31), 365);
    EXPECT_EQ(Day(2, 1, 1), 366);
    EXPECT_EQ(Day(2000, 1, 1), 730120);
    EXPECT_EQ(Day(1899, 12, 30), 693594);
    EXPECT_EQ(Day(9999, 12, 31), kMaxDayNumber);
    EXPECT_EQ(Day(2000, 3, 1) - Day(2000, 2, 28), 2); // 2000 is a leap year
    EXPECT_EQ(Day(1900, 3, 1) - Day(1900, 2, 28), 1); // 1900 is not
    EXPECT_EQ(double(Day(2000, 1, 1)) * kMsPerDay + Ms(12, 0), 63'082'411'200'000.0);
}

TEST(Calendar, RefusesImpossibleDates) {
    int32_t day_number = 77;
    for (auto [y, m, d] : { std::tuple { 0, 1, 1 }, { 10000, 1, 1 }, { 2005, 2, 29 },
             { 2004, 2, 30 }, { 2005, 13, 1 }, { 2005, 0, 1 }, { 2005, 4, 31 }, { 2005, 1, 0 } }) {
        EXPECT_FALSE(TryEncodeDate(y, m, d, day_number)) << y << '-' << m << '-' << d;
    }
    EXPECT_EQ(day_number, 77);
    EXPECT_TRUE(TryEncodeDate(2004, 2, 29, day_number));
    EXPECT_EQ(RefusalOf([] { EncodeDate(2005, 2, 29); }), "Invalid argument to date encode");
    EXPECT_EQ(RefusalOf([] { EncodeTime(24, 0, 0, 0); }), "Invalid argument to time encode");
}

// Every day of the calendar decodes to a date that encodes back to it, and consecutive days
// are consecutive dates.
TEST(Calendar, EveryDayRoundTrips) {
    int prev_year = 0, prev_month = 12, prev_day = 31;
    for (int32_t n = kMinDayNumber; n <= kMaxDayNumber; ++n) {
        int year = 0, month = 0, day = 0;
        DecodeDate(n, year, month, day);
        const bool next_day = year == prev_year && month == prev_month && day == prev_day + 1;
        const bool next_month = year == prev_year && month == prev_month + 1 && day == 1
            && prev_day == DaysInMonth(prev_year, prev_month);
        const bool next_year
            = year == prev_year + 1 && month == 1 && day == 1 && prev_month == 12 && prev_day == 31;
        ASSERT_TRUE(next_day || next_month || next_year) << "day " << n;
        int32_t back = 0;
        ASSERT_TRUE(TryEncodeDate(year, month, day, back));
        ASSERT_EQ(back, n);
        prev_year = year;
        prev_month = month;
        prev_day = day;
    }
    EXPECT_EQ(prev_year, 9999);
}

TEST(Calendar, OutOfRangeDayNumbersDecodeAsZero) {
    for (int32_t n : { 0, -1, kMaxDayNumber + 1, std::numeric_limits<int32_t>::min(),
             std::numeric_limits<int32_t>::max() }) {
        int year = 1, month = 1, day = 1;
        DecodeDate(n, year, month, day);
        EXPECT_EQ(year + month + day, 0) << n;
        EXPECT_EQ(DateToText(n), "0000-00-00");
    }
}

TEST(Calendar, TimeDecodesModuloADay) {
    int h = 0, m = 0, s = 0, z = 0;
    DecodeTime(Ms(13, 5, 7, 5), h, m, s, z);
    EXPECT_EQ((std::tuple { h, m, s, z }), (std::tuple { 13, 5, 7, 5 }));
    DecodeTime(-1, h, m, s, z);
    EXPECT_EQ((std::tuple { h, m, s, z }), (std::tuple { 23, 59, 59, 999 }));
    DecodeTime(int32_t(kMsPerDay) + 1000, h, m, s, z);
    EXPECT_EQ((std::tuple { h, m, s, z }), (std::tuple { 0, 0, 1, 0 }));
}

struct ReadCase {
    const char* text;
    int64_t expected;
};

TEST(TextToDate, ReadsYearMonthDay) {
    const ReadCase cases[] = {
        { "2005-2-3", Day(2005, 2, 3) },
        { "2005-02-03", Day(2005, 2, 3) },
        { "0001-01-01", 1 },
        { "1-1-1", 1 },
        { "9999-12-31", kMaxDayNumber },
        { "2000-02-29", Day(2000, 2, 29) },
        { "0905-02-03", Day(905, 2, 3) },
        { "00002005-0002-0003", Day(2005, 2, 3) },
    };
    for (const ReadCase& c : cases)
        EXPECT_EQ(TextToDate(c.text), c.expected) << c.text;
}

TEST(TextToDate, RefusesWithTheExactMessage) {
    for (const char* text : { "2005-02-30", "2005/02/03", "2005-02", "2005", "", "-2005-02-03",
             "2005--03", "2005-02-", "-02-03", "2005-2-3 ", " 2005-2-3", "2005-+2-3", "2005-02-3x",
             "1900-02-29", "0-01-01", "10000-01-01", "2005-13-01", "2005-02-03-04",
             "99999999999999999999999-01-01", "2005-1e1-01" }) {
        EXPECT_EQ(RefusalOf([&] { TextToDate(text); }),
            "'" + std::string(text) + "' is not a valid date");
    }
}

TEST(TextToTime, ReadsBothClocks) {
    const ReadCase cases[] = {
        { "12:30 AM", Ms(0, 30) },
        { "12:30 PM", Ms(12, 30) },
        { "1:05:07.5 PM", Ms(13, 5, 7, 5) },
        { "1:05:07.500 pm", Ms(13, 5, 7, 500) },
        { "11:59:59.999 PM", Ms(23, 59, 59, 999) },
        { "0:30 PM", Ms(12, 30) },
        { "AM 9:15", Ms(9, 15) },
        { "10:00", Ms(10, 0) },
        { "00:00", 0 },
        { "23:59:59.999", Ms(23, 59, 59, 999) },
        { "9:5:7", Ms(9, 5, 7) },
        { "09:05:07.005", Ms(9, 5, 7, 5) },
        { " \t10:00\r\n", Ms(10, 0) },
        { "10:00am", Ms(10, 0) },
    };
    for (const ReadCase& c : cases)
        EXPECT_EQ(TextToTime(c.text), c.expected) << c.text;
}

TEST(TextToTime, RefusesWithTheExactMessage) {
    for (const char* text : { "13", "", ":", "24:00", "23:60", "10:00:60", "10:00:00.1000",
             "1:00 PM PM", "12:00 AMPM", "13:00 PM", "10:30.5", "10:", "10:00:", "10:00:00.",
             "10 : 00", "-1:00", "+1:00", "1:00:00:00", "ten:00", "10:00 XM" }) {
        EXPECT_EQ(RefusalOf([&] { TextToTime(text); }),
            "'" + std::string(text) + "' is not a valid time");
    }
}

TEST(TextToDateTime, ReadsDateTimeOrEitherAlone) {
    const double day = double(Day(2005, 2, 3)) * kMsPerDay;
    EXPECT_EQ(TextToDateTime("2005-02-03 10:00"), day + Ms(10, 0));
    EXPECT_EQ(TextToDateTime("2005-02-03 1:05:07.5 PM"), day + Ms(13, 5, 7, 5));
    EXPECT_EQ(TextToDateTime("2005-02-03  10:00"), day + Ms(10, 0));
    EXPECT_EQ(TextToDateTime("2005-02-03"), day);
    EXPECT_EQ(TextToDateTime("10:00"), double(Ms(10, 0)));
    // A time that carries its own blank still stands alone on day 0.
    EXPECT_EQ(TextToDateTime("10:00 PM"), double(Ms(22, 0)));
    EXPECT_EQ(TextToDateTime("2000-01-01 12:00"), 63'082'411'200'000.0);
}

TEST(TextToDateTime, RefusesWithTheExactMessage) {
    for (const char* text : { "2005-02-30 10:00", "2005-02-03 25:00", "2005-02-03 ", "2005/02/03",
             "", "now", "10:00 2005-02-03", "2005-02-03T10:00", "24:00" }) {
        EXPECT_EQ(RefusalOf([&] { TextToDateTime(text); }),
            "'" + std::string(text) + "' is not a valid date and time");
    }
}

TEST(TextToBoolean, ReadsTheTwoWordsInAnyCase) {
    EXPECT_TRUE(TextToBoolean("true"));
    EXPECT_TRUE(TextToBoolean("TRUE"));
    EXPECT_TRUE(TextToBoolean("tRuE"));
    EXPECT_FALSE(TextToBoolean("FALSE"));
    EXPECT_FALSE(TextToBoolean("false"));
    for (const char* text : { "yes", "", "1", "0", " true", "truee", "T" }) {
        EXPECT_EQ(RefusalOf([&] { TextToBoolean(text); }),
            "'" + std::string(text) + "' is not a valid boolean");
    }
    EXPECT_EQ(BooleanToText(true), "True");
    EXPECT_EQ(BooleanToText(false), "False");
}

TEST(TextToFloat, ReadsDecimalNumbers) {
    const std::pair<const char*, double> cases[] = {
        { "1.5", 1.5 },
        { "-1.5", -1.5 },
        { "+2", 2 },
        { ".5", 0.5 },
        { "5.", 5 },
        { "1e3", 1000 },
        { "1.5E-7", 1.5e-7 },
        { "  42  ", 42 },
        { "0.1", 0.1 },
        { "1.7976931348623157e308", 1.7976931348623157e308 },
        { "4.9406564584124654e-324", 4.9406564584124654e-324 },
        { "1e-400", 0.0 },
        { "0e999999999999999999999", 0.0 },
    };
    for (auto [text, expected] : cases)
        EXPECT_EQ(TextToFloat(text), expected) << text;
    EXPECT_TRUE(std::signbit(TextToFloat("-0")));
    EXPECT_TRUE(std::signbit(TextToFloat("-1e-400")));
}

TEST(TextToFloat, RefusesWithItsMessage) {
    for (const char* text : { "", ".", "-", "1,5", "1.5.5", "inf", "nan", "0x10", "1e", "1e+",
             "1e400", "-1e400", "1e99999999999999999999", "1 5", "1.5x", "e5", "--1" }) {
        EXPECT_EQ(RefusalOf([&] { TextToFloat(text); }),
            "'" + std::string(text) + "' is not a valid floating point value");
    }
}

TEST(TextToBCD, ReadsAtCurrencyPrecision) {
    const ReadCase cases[] = {
        { "1.5", 15000 },
        { "-1.5", -15000 },
        { "0.0001", 1 },
        { "1.23456", 12346 },
        { "1.23454", 12345 },
        // Halves go to the even neighbour, as the platform's currency conversion does.
        { "0.00005", 0 },
        { "0.00015", 2 },
        { "0.000250001", 3 },
        { "-0.00015", -2 },
        { "1e3", 10'000'000 },
        { "12.5e-2", 1250 },
        { "0.00000000000000000000000001", 0 },
        { "922337203685477.5807", std::numeric_limits<int64_t>::max() },
        { "-922337203685477.5808", std::numeric_limits<int64_t>::min() },
        { "00000000000000000000000000012.3", 123000 },
        { " 7 ", 70000 },
    };
    for (const ReadCase& c : cases)
        EXPECT_EQ(TextToBCD(c.text), c.expected) << c.text;
}

TEST(TextToBCD, RefusesWithItsMessage) {
    for (const char* text : { "", "abc", "1,5", "922337203685477.5808", "-922337203685477.5809",
             "922337203685477.58075", "1e15", "1e99999999999", "inf", "1.2.3" }) {
        EXPECT_EQ(RefusalOf([&] { TextToBCD(text); }),
            "'" + std::string(text) + "' is not a valid BCD value");
    }
}

TEST(ValueTexts, ReadersRefuseTextsLongerThan255Characters) {
    // Valid values padded with leading zeros to 255 and 256 characters.
    auto padded = [](std::string tail, size_t length) {
        return std::string(length - tail.size(), '0') + tail;
    };
    EXPECT_EQ(TextToFloat(padded("1.5", 255)), 1.5);
    EXPECT_EQ(TextToBCD(padded("1.5", 255)), 15000);
    EXPECT_EQ(TextToDate(padded("2005-02-03", 255)), Day(2005, 2, 3));
    EXPECT_EQ(TextToTime(padded("10:00", 255)), Ms(10, 0));
    const std::string long_float = padded("1.5", 256);
    const std::string long_date = padded("2005-02-03", 256);
    const std::string long_time = padded("10:00", 256);
    EXPECT_EQ(RefusalOf([&] { TextToFloat(long_float); }),
        "'" + long_float + "' is not a valid floating point value");
    EXPECT_EQ(
        RefusalOf([&] { TextToBCD(long_float); }), "'" + long_float + "' is not a valid BCD value");
    EXPECT_EQ(RefusalOf([&] { TextToDate(long_date); }), "'" + long_date + "' is not a valid date");
    EXPECT_EQ(RefusalOf([&] { TextToTime(long_time); }), "'" + long_time + "' is not a valid time");
    EXPECT_EQ(RefusalOf([&] { TextToDateTime(long_date); }),
        "'" + long_date + "' is not a valid date and time");
    EXPECT_FALSE(IsValidValueText(6, padded("1", 256)));
    EXPECT_TRUE(IsValidValueText(6, padded("1", 255)));
}

TEST(ValueTexts, MessagesCarryTheTextByteForByte) {
    const std::string text("\xDE\xFE\x01z"); // 1254 letters and a control byte
    EXPECT_EQ(RefusalOf([&] { TextToDate(text); }), "'" + text + "' is not a valid date");
}

TEST(Writers, DateAndTimeTexts) {
    EXPECT_EQ(DateToText(Day(905, 2, 3)), "0905-02-03");
    EXPECT_EQ(DateToText(Day(2005, 12, 31)), "2005-12-31");
    EXPECT_EQ(DateToText(1), "0001-01-01");
    EXPECT_EQ(DateToText(kMaxDayNumber), "9999-12-31");

    struct TimeCase {
        int32_t ms;
        const char* twenty_four;
        const char* twelve;
    };
    const TimeCase cases[] = {
        { Ms(9, 5), "09:05", "09:05 AM" },
        { Ms(9, 5, 7, 5), "09:05:07.5", "09:05:07.5 AM" },
        { Ms(9, 5, 7), "09:05:07", "09:05:07 AM" },
        { Ms(9, 5, 7, 120), "09:05:07.120", "09:05:07.120 AM" },
        // Milliseconds on a whole minute still show, with the seconds before them.
        { Ms(9, 5, 0, 250), "09:05:00.250", "09:05:00.250 AM" },
        { 0, "00:00", "12:00 AM" },
        { Ms(0, 30), "00:30", "12:30 AM" },
        { Ms(12, 30), "12:30", "12:30 PM" },
        { Ms(13, 5, 7, 5), "13:05:07.5", "01:05:07.5 PM" },
        { Ms(23, 59, 59, 999), "23:59:59.999", "11:59:59.999 PM" },
    };
    for (const TimeCase& c : cases) {
        EXPECT_EQ(TimeToText(c.ms), c.twenty_four);
        EXPECT_EQ(TimeToText(c.ms, true), c.twelve);
    }

    const double stored = double(Day(2005, 2, 3)) * kMsPerDay + Ms(13, 5, 7, 5);
    EXPECT_EQ(DateTimeToText(stored), "2005-02-03 13:05:07.5");
    EXPECT_EQ(DateTimeToText(stored, true), "2005-02-03 01:05:07.5 PM");
    EXPECT_EQ(DateTimeToText(63'082'411'200'000.0), "2000-01-01 12:00");
    EXPECT_EQ(DateTimeToText(double(Ms(10, 0))), "10:00");
    EXPECT_EQ(DateTimeToText(double(Ms(10, 0)), true), "10:00 AM");
    EXPECT_EQ(DateTimeToText(std::nan("")), "0000-00-00 00:00");
    EXPECT_EQ(DateTimeToText(-1e300), "0000-00-00 00:00");
}

TEST(Writers, FloatTexts) {
    const std::pair<double, const char*> cases[] = {
        { 0.0, "0" },
        { -0.0, "-0" },
        { 1.5, "1.5" },
        { -1.5, "-1.5" },
        { 0.1, "0.1" },
        { 100, "100" },
        { 0.0001, "0.0001" },
        { 0.00001, "1E-5" },
        { 1.5e-7, "1.5E-7" },
        { 123456789012345.0, "123456789012345" },
        { 1e15, "1E15" },
        { 1e20, "1E20" },
        { 1.2345678901234567e20, "1.2345678901234567E20" },
        { 1.7976931348623157e308, "1.7976931348623157E308" },
        { 5e-324, "5E-324" },
        { 1.0 / 3, "0.3333333333333333" },
        { std::numeric_limits<double>::infinity(), "INF" },
        { -std::numeric_limits<double>::infinity(), "-INF" },
        { std::nan(""), "NAN" },
    };
    for (auto [value, expected] : cases)
        EXPECT_EQ(FloatToText(value), expected);
}

TEST(Writers, CurrencyTexts) {
    const std::pair<int64_t, const char*> cases[] = {
        { 0, "0" },
        { 15000, "1.5" },
        { 10000, "1" },
        { -5, "-0.0005" },
        { 12345, "1.2345" },
        { 1200, "0.12" },
        { std::numeric_limits<int64_t>::max(), "922337203685477.5807" },
        { std::numeric_limits<int64_t>::min(), "-922337203685477.5808" },
    };
    for (auto [value, expected] : cases) {
        EXPECT_EQ(CurrencyToText(value), expected);
        EXPECT_EQ(TextToBCD(expected), value);
    }
}

TEST(RoundTrips, DatesAcrossTheWholeCalendar) {
    std::mt19937 random(20050203);
    std::uniform_int_distribution<int32_t> day(kMinDayNumber, kMaxDayNumber);
    for (int i = 0; i < 20000; ++i) {
        const int32_t n = i < 2 ? (i == 0 ? kMinDayNumber : kMaxDayNumber) : day(random);
        const std::string text = DateToText(n);
        ASSERT_EQ(text.size(), 10u) << n;
        ASSERT_EQ(TextToDate(text), n) << text;
        const double stored = double(n) * kMsPerDay;
        ASSERT_EQ(TextToDateTime(DateTimeToText(stored)), stored) << n;
    }
}

TEST(RoundTrips, TimesAndDateTimes) {
    std::mt19937 random(1305075);
    std::uniform_int_distribution<int32_t> ms(0, int32_t(kMsPerDay) - 1);
    std::uniform_int_distribution<int32_t> day(0, kMaxDayNumber);
    for (int i = 0; i < 20000; ++i) {
        const int32_t t = ms(random);
        ASSERT_EQ(TextToTime(TimeToText(t)), t) << TimeToText(t);
        ASSERT_EQ(TextToTime(TimeToText(t, true)), t) << TimeToText(t, true);
        const double stored = double(day(random)) * kMsPerDay + t;
        ASSERT_EQ(TextToDateTime(DateTimeToText(stored)), stored) << DateTimeToText(stored);
        ASSERT_EQ(TextToDateTime(DateTimeToText(stored, true)), stored)
            << DateTimeToText(stored, true);
    }
}

TEST(RoundTrips, RandomDoublesReadBackExactly) {
    std::mt19937_64 random(42);
    int checked = 0;
    while (checked < 100000) {
        const double value = std::bit_cast<double>(random());
        if (!std::isfinite(value))
            continue;
        const std::string text = FloatToText(value);
        const double back = TextToFloat(text);
        ASSERT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(value)) << text;
        ++checked;
    }
    // And ordinary magnitudes, where fixed notation is used.
    std::uniform_real_distribution<double> ordinary(-1e6, 1e6);
    for (int i = 0; i < 20000; ++i) {
        const double value = ordinary(random);
        ASSERT_EQ(TextToFloat(FloatToText(value)), value) << FloatToText(value);
    }
}

TEST(RoundTrips, CurrencyThroughTextAndPackedDecimal) {
    std::mt19937_64 random(7);
    uint8_t bytes[kBcdSize];
    for (int i = 0; i < 20000; ++i) {
        int64_t value = int64_t(random());
        // Also small values and values with trailing zero decimals.
        if (i % 3 == 1)
            value %= 1'000'000;
        if (i % 3 == 2)
            value = value / 10000 * 10000;
        ASSERT_EQ(TextToBCD(CurrencyToText(value)), value) << value;
        StoreBcd(bytes, CurrencyToBcd(value));
        TBcd loaded;
        LoadBcd(bytes, loaded);
        int64_t back = 0;
        ASSERT_TRUE(BcdToCurrency(loaded, back)) << value;
        ASSERT_EQ(back, value);
    }
}

TEST(PackedDecimal, Layout) {
    const TBcd bcd = CurrencyToBcd(-123450); // -12.345
    EXPECT_EQ(bcd.precision, 5);
    EXPECT_EQ(bcd.sign_scale, kBcdNegative | 3);
    EXPECT_EQ(bcd.fraction[0], 0x12);
    EXPECT_EQ(bcd.fraction[1], 0x34);
    EXPECT_EQ(bcd.fraction[2], 0x50);
    EXPECT_EQ(bcd.fraction[3], 0x00);

    const TBcd small = CurrencyToBcd(5); // 0.0005
    EXPECT_EQ(small.precision, 4);
    EXPECT_EQ(small.sign_scale, 4);
    EXPECT_EQ(small.fraction[0], 0x00);
    EXPECT_EQ(small.fraction[1], 0x05);

    const TBcd zero = CurrencyToBcd(0);
    EXPECT_EQ(zero.precision, 0);
    EXPECT_EQ(zero.sign_scale, 0);

    uint8_t bytes[kBcdSize + 1];
    std::memset(bytes, 0xEE, sizeof bytes);
    StoreBcd(bytes, bcd);
    EXPECT_EQ(bytes[0], 5);
    EXPECT_EQ(bytes[1], 0x83);
    EXPECT_EQ(bytes[2], 0x12);
    EXPECT_EQ(bytes[kBcdSize - 1], 0x00);
    EXPECT_EQ(bytes[kBcdSize], 0xEE); // nothing written past the record
}

TEST(PackedDecimal, FixedPlacesRoundHalfToEven) {
    struct Case {
        int64_t value;
        int places;
        int64_t expected;
    };
    const Case cases[] = {
        { 12345, 2, 12300 }, // 1.2345 -> 1.23
        { 12350, 2, 12400 }, // 1.235 -> 1.24 (half, odd neighbour below)
        { 12250, 2, 12200 }, // 1.225 -> 1.22 (half, even neighbour below)
        { 12251, 2, 12300 }, { -12350, 2, -12400 }, { 15000, 0, 20000 }, { 25000, 0, 20000 },
        { 4, 3, 0 }, { 12345, 4, 12345 }, { 12345, 9, 12345 }, // places above 4 are taken as 4
    };
    for (const Case& c : cases) {
        const TBcd bcd = CurrencyToBcd(c.value, c.places);
        EXPECT_EQ(bcd.sign_scale & kBcdPlacesMask, std::min(c.places, 4)) << c.value;
        int64_t back = 0;
        ASSERT_TRUE(BcdToCurrency(bcd, back));
        EXPECT_EQ(back, c.expected) << c.value << " to " << c.places;
    }
    const TBcd zero = CurrencyToBcd(4, 2);
    EXPECT_EQ(zero.precision, 0);
    EXPECT_EQ(zero.sign_scale, 2);
}

TEST(PackedDecimal, MalformedOrOversizedRecordsAreRefused) {
    auto make = [](uint8_t precision, uint8_t sign_scale, std::initializer_list<uint8_t> bytes) {
        TBcd bcd;
        bcd.precision = precision;
        bcd.sign_scale = sign_scale;
        size_t i = 0;
        for (uint8_t b : bytes)
            bcd.fraction[i++] = b;
        return bcd;
    };
    int64_t value = 99;
    EXPECT_FALSE(BcdToCurrency(make(65, 0, {}), value));
    EXPECT_FALSE(BcdToCurrency(make(2, 3, { 0x12 }), value));
    EXPECT_FALSE(BcdToCurrency(make(2, 0, { 0x1A }), value));
    EXPECT_FALSE(BcdToCurrency(make(16, 0, { 0x10 }), value)); // 10^15 units: too large
    EXPECT_EQ(value, 99);

    EXPECT_TRUE(BcdToCurrency(make(0, 0x85, { 0xFF }), value)); // precision 0 is zero
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(BcdToCurrency(make(64, 63, { 0x01, 0x20 }), value)); // 0.12 and 61 zeros
    EXPECT_EQ(value, 1200);
    EXPECT_TRUE(BcdToCurrency(make(6, 6, { 0x12, 0x34, 0x50 }), value)); // 0.123450
    EXPECT_EQ(value, 1234); // the half rounds to the even 4
    EXPECT_TRUE(BcdToCurrency(make(3, 0x80, { 0x00, 0x70 }), value)); // -007
    EXPECT_EQ(value, -70000);
    EXPECT_TRUE(BcdToCurrency(make(1, 0x80, { 0x00 }), value)); // negative zero
    EXPECT_EQ(value, 0);
}

struct ValidityCase {
    uint8_t type;
    const char* text;
    bool valid;
};

TEST(IsValidValueText, FollowsTheTypeRules) {
    const ValidityCase cases[] = {
        { 5, "40000", false },
        { 5, "32767", true },
        { 5, "-32768", true },
        { 5, "-32769", false },
        { 5, "1.5", false },
        { 5, " 1", false },
        { 12, "65535", true },
        { 12, "65536", false },
        { 12, "-1", false },
        { 12, "+7", true },
        { 6, "2147483647", true },
        { 6, "2147483648", false },
        { 6, "-2147483648", true },
        { 18, "9223372036854775807", true },
        { 18, "-9223372036854775808", true },
        { 18, "9223372036854775808", false },
        { 18, "abc", false },
        { 4, "TRUE", true },
        { 4, "false", true },
        { 4, "yes", false },
        { 7, "1.5e3", true },
        { 7, "1,5", false },
        { 8, "12.34", true },
        { 8, "1e20", false },
        { 2, "current_date", true },
        { 2, "CURRENT_TIME", false },
        { 2, "2005-02-03", true },
        { 2, "2005-02-30", false },
        { 10, "Current_Time", true },
        { 10, "CURRENT_DATE", false },
        { 10, "12:30 PM", true },
        { 10, "2005-02-03", false },
        { 11, "current_timestamp", true },
        { 11, "CURRENT_DATE", true },
        { 11, "current_time", true },
        { 11, "2005-02-03", true },
        { 11, "2005-02-03 10:00", true },
        { 11, "10:00 PM", true },
        { 11, "10:00", true },
        { 11, "CURRENT_GUID", false },
        { 11, "2005-02-03 10", false },
        { 1, "anything at all", true },
        { 9, "\x01\x02", true },
        { 15, "x", true },
        { 3, "x", false },
        { 0, "x", true },
        { 13, "x", true },
        { 255, "x", true },
    };
    for (const ValidityCase& c : cases)
        EXPECT_EQ(IsValidValueText(c.type, c.text), c.valid) << int(c.type) << " " << c.text;
    for (int type = 0; type <= 255; ++type)
        EXPECT_TRUE(IsValidValueText(uint8_t(type), "")) << type;
}

TEST(TextToInteger, ReadsWithinTheRange) {
    EXPECT_EQ(TextToInteger("-17", -100, 100), -17);
    EXPECT_EQ(
        RefusalOf([] { TextToInteger("101", -100, 100); }), "'101' is not a valid integer value");
    EXPECT_EQ(RefusalOf([] { TextToInteger("", -100, 100); }), "'' is not a valid integer value");
}

} // namespace
} // namespace zolvek
