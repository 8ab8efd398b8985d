// Feeds arbitrary bytes to every value-text reader and to the validity test of every type code.
// A reader may answer with a value or refuse with EConvertError; anything else (another
// exception, a crash, a sanitizer report) is a finding. Values that are read must also survive
// their writer: the written text reads back to the same value.
#include "db/base/bytes.h"
#include "db/base/value_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

using namespace zolvek;

namespace {

[[noreturn]] void Finding(const char* what, std::string_view text) {
    std::fprintf(stderr, "finding: %s for %zu bytes: '%.*s'\n", what, text.size(), int(text.size()),
        text.data());
    std::abort();
}

// Runs one reader; only a value or EConvertError may come out of it.
template <typename Read> bool Guarded(const char* name, std::string_view text, Read read) {
    try {
        read();
        return true;
    } catch (const EConvertError&) {
        return false;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s threw %s\n", name, error.what());
        Finding("an exception other than EConvertError", text);
    } catch (...) {
        Finding("a non-standard exception", text);
    }
}

void CheckReaders(std::string_view text) {
    int32_t day = 0;
    if (Guarded("TextToDate", text, [&] { day = TextToDate(text); })) {
        if (day < kMinDayNumber || day > kMaxDayNumber || TextToDate(DateToText(day)) != day)
            Finding("a date that does not read back", text);
    }
    int32_t ms = 0;
    if (Guarded("TextToTime", text, [&] { ms = TextToTime(text); })) {
        if (ms < 0 || ms >= kMsPerDay || TextToTime(TimeToText(ms)) != ms
            || TextToTime(TimeToText(ms, true)) != ms)
            Finding("a time that does not read back", text);
    }
    double stored = 0;
    if (Guarded("TextToDateTime", text, [&] { stored = TextToDateTime(text); })) {
        if (TextToDateTime(DateTimeToText(stored)) != stored)
            Finding("a date-time that does not read back", text);
    }
    bool boolean = false;
    if (Guarded("TextToBoolean", text, [&] { boolean = TextToBoolean(text); })) {
        if (TextToBoolean(BooleanToText(boolean)) != boolean)
            Finding("a boolean that does not read back", text);
    }
    double number = 0;
    if (Guarded("TextToFloat", text, [&] { number = TextToFloat(text); })) {
        if (!std::isfinite(number))
            Finding("a float reader that gave a value that is not finite", text);
        const double back = TextToFloat(FloatToText(number));
        if (std::memcmp(&back, &number, sizeof back) != 0)
            Finding("a float that does not read back", text);
    }
    int64_t currency = 0;
    if (Guarded("TextToBCD", text, [&] { currency = TextToBCD(text); })) {
        if (TextToBCD(CurrencyToText(currency)) != currency)
            Finding("a BCD text that does not read back", text);
        int64_t back = 0;
        if (!BcdToCurrency(CurrencyToBcd(currency), back) || back != currency)
            Finding("a BCD record that does not read back", text);
    }
    for (int type = 0; type <= 255; ++type)
        Guarded("IsValidValueText", text, [&] { IsValidValueText(uint8_t(type), text); });
}

// The same bytes taken as stored values: writers and the packed decimal decoder must cope with
// anything a damaged record holds.
void CheckWriters(const uint8_t* data, size_t size) {
    uint8_t record[kBcdSize] = {};
    std::memcpy(record, data, size < kBcdSize ? size : kBcdSize);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int32_t i32 = LoadI32(record);
    const double f64 = LoadDouble(record);
    const int64_t i64 = LoadI64(record);
    // Writers never throw: an exception here escapes and ends the run as a finding.
    (void)DateToText(i32);
    (void)TimeToText(i32, (record[4] & 1) != 0);
    (void)DateTimeToText(f64, (record[8] & 1) != 0);
    (void)CurrencyToText(i64);
    if (std::isfinite(f64)) {
        const double back = TextToFloat(FloatToText(f64));
        if (std::memcmp(&back, &f64, sizeof back) != 0)
            Finding("a stored float that does not read back", text);
    } else {
        (void)FloatToText(f64);
    }
    TBcd bcd;
    LoadBcd(record, bcd);
    int64_t value = 0;
    if (BcdToCurrency(bcd, value)) {
        int64_t back = 0;
        if (!BcdToCurrency(CurrencyToBcd(value), back) || back != value)
            Finding("a decoded BCD record that does not encode back", text);
        if (!BcdToCurrency(CurrencyToBcd(value, record[8] % 5), back))
            Finding("a rounded BCD record that does not decode", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckReaders(std::string_view(reinterpret_cast<const char*>(data), size));
    CheckWriters(data, size);
    return 0;
}
