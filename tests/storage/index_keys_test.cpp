#include "db/storage/index_keys.h"

#include "db/base/bytes.h"
#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/base/value_text.h"
#include "db/storage/index_slots.h"
#include "db/storage/records.h"
#include "support/engine_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace zolvek {
namespace {

using testing::CodeOf;
using Bytes = std::vector<uint8_t>;

FieldDescriptor Field(const std::string& name, uint8_t type, uint16_t size = 0) {
    FieldDescriptor field;
    field.Name = name;
    field.DataType = type;
    field.Size = size;
    return field;
}

// Field descriptors laid out as a table would have them, and records over them.
class KeyTable {
public:
    explicit KeyTable(std::vector<FieldDescriptor> fields, uint32_t locale = 0)
        : fields_(std::move(fields))
        , locale_(locale) {
        for (size_t i = 0; i < fields_.size(); ++i)
            fields_[i].FieldNo = uint16_t(i + 1);
        record_size_ = LayOutFields(fields_, "t").RecordSize;
    }

    TIndexKeyInfo Index(std::vector<uint16_t> field_list, bool unique,
        bool case_insensitive = false, std::vector<uint8_t> desc = {}) const {
        IndexDescriptor descriptor;
        descriptor.Name = "I";
        descriptor.Unique = unique;
        descriptor.CaseInsensitive = case_insensitive;
        descriptor.FieldCount = uint8_t(field_list.size());
        std::copy(field_list.begin(), field_list.end(), descriptor.FieldList.begin());
        std::copy(desc.begin(), desc.end(), descriptor.DescFields.begin());
        SetKeyLength(descriptor, IndexContext { fields_, 16384, "t" });
        return TIndexKeyInfo(1, descriptor, fields_, locale_, "t");
    }

    Bytes Record(int32_t record_id = 1) const {
        Bytes image(record_size_, 0);
        SetRecordID(image.data(), record_id);
        return image;
    }
    const FieldDescriptor& Field(uint16_t no) const { return fields_.at(no - 1u); }
    void Set(Bytes& image, uint16_t no, const Bytes& value) const {
        WriteFieldValue(Field(no), image.data(), value.data(), value.size(), locale_);
    }
    void SetText(Bytes& image, uint16_t no, std::string_view text) const {
        WriteStringField(Field(no), image.data(), text, locale_);
    }
    void SetInt(Bytes& image, uint16_t no, int32_t value) const {
        Bytes bytes(4);
        StoreI32(bytes.data(), value);
        Set(image, no, bytes);
    }
    void SetDouble(Bytes& image, uint16_t no, double value) const {
        Bytes bytes(8);
        StoreDouble(bytes.data(), value);
        Set(image, no, bytes);
    }
    void SetNull(Bytes& image, uint16_t no) const {
        WriteFieldValue(Field(no), image.data(), nullptr, 0, locale_);
    }

    static Bytes Key(const TIndexKeyInfo& info, const Bytes& image) {
        Bytes key(info.KeyLength());
        info.BuildKey(image.data(), key.data());
        return key;
    }

private:
    std::vector<FieldDescriptor> fields_;
    uint32_t locale_;
    uint16_t record_size_ = 0;
};

TEST(IndexKeysTest, EveryFieldTypeEncodesAsItsSortableBytes) {
    KeyTable table({ Field("I", kTypeInteger), Field("S", kTypeSmallInt), Field("B", kTypeBoolean),
        Field("W", kTypeWord), Field("L", kTypeLargeInt), Field("F", kTypeFloat),
        Field("D", kTypeBcd), Field("X", kTypeBytes, 3), Field("T", kTypeDate),
        Field("H", kTypeString, 5) });
    TIndexKeyInfo info = table.Index(
        { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, kRecordIDFieldNo, kRecordHashFieldNo }, true);
    Bytes image = table.Record(7);
    table.SetInt(image, 1, -1);
    table.Set(image, 2, { 0xFE, 0xFF }); // -2
    table.Set(image, 3, { 1, 0 });
    table.Set(image, 4, { 0x34, 0x12 });
    Bytes large(8);
    StoreI64(large.data(), 1);
    table.Set(image, 5, large);
    table.SetDouble(image, 6, -2.0);
    Bytes bcd(kBcdSize);
    StoreBcd(bcd.data(), CurrencyToBcd(125000)); // 12.5
    table.Set(image, 7, bcd);
    table.Set(image, 8, { 1, 0, 2 });
    table.SetInt(image, 9, 5);
    table.SetText(image, 10, "ab");
    for (int i = 0; i < 16; ++i)
        image[9 + size_t(i)] = uint8_t(0xA0 + i); // RecordHash

    Bytes expected = {
        1, 0x7F, 0xFF, 0xFF, 0xFF, // I
        1, 0x7F, 0xFE, // S
        1, 0x00, 0x01, // B
        1, 0x12, 0x34, // W
        1, 0x80, 0, 0, 0, 0, 0, 0, 0x01, // L
        1, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, // F
        1, 0x80, 0, 0, 0, 0, 0x01, 0xE8, 0x48, // D: 125000
        1, 0x01, 0x00, 0x02, // X
        1, 0x80, 0, 0, 0x05, // T
        1, 'a', 'b', 0, 0, 0, 0, // H
        1, 0x80, 0, 0, 0x07, // RecordID
        1 // RecordHash follows
    };
    for (int i = 0; i < 16; ++i)
        expected.push_back(uint8_t(0xA0 + i));
    EXPECT_EQ(info.KeyLength(), expected.size());
    EXPECT_EQ(KeyTable::Key(info, image), expected);
    EXPECT_EQ(info.KeyFieldsLength(1), 5);
    EXPECT_EQ(info.KeyFieldsLength(3), 11);
    EXPECT_EQ(info.KeyFieldsLength(99), expected.size());
}

TEST(IndexKeysTest, ValuesSortInTheirNaturalOrderWithNullsFirst) {
    KeyTable table({ Field("I", kTypeInteger), Field("F", kTypeFloat), Field("L", kTypeLargeInt),
        Field("D", kTypeBcd) });
    struct Series {
        uint16_t field;
        std::vector<Bytes> values; // ascending; an empty value is null
    };
    auto i32 = [](int32_t v) {
        Bytes b(4);
        StoreI32(b.data(), v);
        return b;
    };
    auto f64 = [](double v) {
        Bytes b(8);
        StoreDouble(b.data(), v);
        return b;
    };
    auto i64 = [](int64_t v) {
        Bytes b(8);
        StoreI64(b.data(), v);
        return b;
    };
    auto bcd = [](int64_t v) {
        Bytes b(kBcdSize);
        StoreBcd(b.data(), CurrencyToBcd(v));
        return b;
    };
    const Series series[] = {
        { 1, { {}, i32(INT32_MIN), i32(-2), i32(-1), i32(0), i32(1), i32(INT32_MAX) } },
        { 2,
            { {}, f64(-1e300), f64(-2.0), f64(-1.0), f64(-1e-300), f64(0.0), f64(1e-300), f64(1.0),
                f64(2.5e10) } },
        { 3, { {}, i64(INT64_MIN), i64(-1), i64(0), i64(INT64_MAX) } },
        { 4, { {}, bcd(-1234567), bcd(-1), bcd(0), bcd(1), bcd(99990000) } },
    };
    for (const Series& s : series) {
        for (bool descending : { false, true }) {
            TIndexKeyInfo info = table.Index({ s.field }, true, false, { uint8_t(descending) });
            std::vector<Bytes> keys;
            for (const Bytes& value : s.values) {
                Bytes image = table.Record();
                if (value.empty())
                    table.SetNull(image, s.field);
                else
                    table.Set(image, s.field, value);
                keys.push_back(KeyTable::Key(info, image));
            }
            for (size_t i = 0; i + 1 < keys.size(); ++i) {
                int expected = descending ? 1 : -1;
                EXPECT_EQ(info.CompareKeys(keys[i].data(), keys[i + 1].data(), info.KeyLength()),
                    expected)
                    << "field " << s.field << " value " << i << " descending " << descending;
            }
        }
    }
    // Both zeros build one key; -1 and 0 have the documented 4-byte forms.
    TIndexKeyInfo floats = table.Index({ 2 }, true);
    Bytes plus = table.Record();
    Bytes minus = table.Record();
    table.SetDouble(plus, 2, 0.0);
    table.SetDouble(minus, 2, -0.0);
    EXPECT_EQ(KeyTable::Key(floats, plus), KeyTable::Key(floats, minus));
}

TEST(IndexKeysTest, EmptyStringIsNullAndCaseFoldingFollowsTheLocale) {
    KeyTable ansi({ Field("S", kTypeString, 20) });
    TIndexKeyInfo folded = ansi.Index({ 1 }, true, true);
    Bytes empty = ansi.Record();
    Bytes null = ansi.Record();
    ansi.SetText(empty, 1, "");
    ansi.SetNull(null, 1);
    EXPECT_EQ(KeyTable::Key(folded, empty), KeyTable::Key(folded, null));
    EXPECT_EQ(KeyTable::Key(folded, empty)[0], 0);
    Bytes lower = ansi.Record();
    Bytes upper = ansi.Record();
    ansi.SetText(lower, 1, "abc");
    ansi.SetText(upper, 1, "ABC");
    EXPECT_EQ(KeyTable::Key(folded, lower), KeyTable::Key(folded, upper));
    TIndexKeyInfo exact = ansi.Index({ 1 }, true, false);
    EXPECT_NE(KeyTable::Key(exact, lower), KeyTable::Key(exact, upper));

    KeyTable turkish({ Field("S", kTypeString, 20) }, kTurkishLocale);
    TIndexKeyInfo info = turkish.Index({ 1 }, false, true);
    auto key_of = [&](const char* utf8) {
        Bytes image = turkish.Record(3);
        turkish.SetText(image, 1, Utf8ToCp1254(utf8));
        return KeyTable::Key(info, image);
    };
    EXPECT_EQ(key_of("ılık"), key_of("Ilık"));
    EXPECT_EQ(key_of("ılık"), key_of("ILIK"));
    EXPECT_EQ(key_of("iyi"), key_of("İYİ"));
    EXPECT_NE(key_of("iyi"), key_of("IYI"));
    Bytes iyi = key_of("iyi");
    Bytes big_iyi = key_of("IYI");
    EXPECT_NE(info.CompareKeys(iyi.data(), big_iyi.data(), info.KeyLength()), 0);
}

TEST(IndexKeysTest, RecordIdBreaksTiesAscendingAlsoUnderDescendingFields) {
    KeyTable table({ Field("S", kTypeString, 10), Field("V", kTypeInteger) });
    for (uint8_t descending : { 0, 1 }) {
        TIndexKeyInfo info = table.Index({ 1, 2 }, false, false, { descending, descending });
        EXPECT_EQ(info.KeyLength(), 12 + 5 + 4);
        auto key_of = [&](int32_t id, const char* text) {
            Bytes image = table.Record(id);
            table.SetText(image, 1, text);
            table.SetNull(image, 2);
            return KeyTable::Key(info, image);
        };
        Bytes low_id = key_of(2, "same");
        Bytes high_id = key_of(10, "same");
        Bytes other = key_of(1, "samf");
        EXPECT_EQ(info.CompareKeys(low_id.data(), high_id.data(), info.KeyLength()), -1);
        EXPECT_EQ(
            info.CompareKeys(other.data(), low_id.data(), info.KeyLength()), descending ? -1 : 1);
        // Over the key fields alone the two records are equal.
        EXPECT_EQ(info.CompareKeys(low_id.data(), high_id.data(), info.KeyFieldsLength(2)), 0);
        // A null value sorts first ascending and last descending.
        Bytes valued = table.Record(2);
        table.SetText(valued, 1, "same");
        table.SetInt(valued, 2, INT32_MIN);
        Bytes valued_key = KeyTable::Key(info, valued);
        EXPECT_EQ(info.CompareKeys(low_id.data(), valued_key.data(), info.KeyLength()),
            descending ? 1 : -1);
    }
}

TEST(IndexKeysTest, PrefixComparisonMatchesEveryKeyBeginningWithTheGivenCharacters) {
    for (uint32_t locale : { kAnsiStandardLocale, kTurkishLocale }) {
        KeyTable table({ Field("S", kTypeString, 10) }, locale);
        TIndexKeyInfo info = table.Index({ 1 }, true);
        auto key_of = [&](const char* text) {
            Bytes image = table.Record();
            table.SetText(image, 1, text);
            return KeyTable::Key(info, image);
        };
        Bytes search = key_of("ab");
        struct Case {
            const char* text;
            int expected;
        };
        for (const Case& c : { Case { "ab", 0 }, Case { "abc", 0 }, Case { "abzz", 0 },
                 Case { "aa", -1 }, Case { "a", -1 }, Case { "b", 1 }, Case { "ac", 1 } }) {
            Bytes key = key_of(c.text);
            EXPECT_EQ(info.CompareKeys(key.data(), search.data(), 1 + 2), c.expected)
                << c.text << " locale " << locale;
        }
        // The whole key tells "ab" and "abc" apart; a prefix ending at the presence byte
        // compares presence only.
        Bytes abc = key_of("abc");
        EXPECT_EQ(info.CompareKeys(search.data(), abc.data(), info.KeyLength()), -1);
        Bytes zz = key_of("zz");
        EXPECT_EQ(info.CompareKeys(search.data(), zz.data(), 1), 0);
    }
}

TEST(IndexKeysTest, RangeOnTheFirstFieldCoversEveryValueOfTheSecond) {
    for (uint32_t locale : { kAnsiStandardLocale, kTurkishLocale }) {
        KeyTable table({ Field("S", kTypeString, 8), Field("V", kTypeInteger) }, locale);
        for (bool unique : { true, false }) {
            for (uint8_t descending : { 0, 1 }) {
                TIndexKeyInfo info = table.Index({ 1, 2 }, unique, false, { 0, descending });
                auto key_of = [&](const char* text, std::optional<int32_t> value, int32_t id) {
                    Bytes image = table.Record(id);
                    table.SetText(image, 1, text);
                    if (value)
                        table.SetInt(image, 2, *value);
                    else
                        table.SetNull(image, 2);
                    return KeyTable::Key(info, image);
                };
                Bytes low = key_of("m", 0, 1);
                Bytes high = low;
                info.FillKeyLow(low.data(), info.KeyFieldsLength(1));
                info.FillKeyHigh(high.data(), info.KeyFieldsLength(1));
                struct Case {
                    const char* text;
                    std::optional<int32_t> value;
                    bool inside;
                };
                const Case cases[] = { { "m", std::nullopt, true }, { "m", INT32_MIN, true },
                    { "m", INT32_MAX, true }, { "m", 7, true }, { "l", 9, false },
                    { "mm", -9, false }, { "", 3, false }, { "n", std::nullopt, false } };
                int32_t id = 1;
                for (const Case& c : cases) {
                    Bytes key = key_of(c.text, c.value, id++);
                    size_t n = info.KeyLength();
                    bool inside = info.CompareKeys(low.data(), key.data(), n) <= 0
                        && info.CompareKeys(key.data(), high.data(), n) <= 0;
                    EXPECT_EQ(inside, c.inside) << c.text << " unique " << unique << " desc "
                                                << int(descending) << " locale " << locale;
                }
                Bytes lowest(info.KeyLength());
                Bytes highest(info.KeyLength());
                info.LowestKey(lowest.data());
                info.HighestKey(highest.data());
                for (const Case& c : cases) {
                    Bytes key = key_of(c.text, c.value, 5);
                    EXPECT_EQ(info.CompareKeys(lowest.data(), key.data(), info.KeyLength()), -1);
                    EXPECT_EQ(info.CompareKeys(key.data(), highest.data(), info.KeyLength()), -1);
                }
            }
        }
    }
}

TEST(IndexKeysTest, DescriptorsThatDoNotFitTheFieldsAreRefused) {
    std::vector<FieldDescriptor> fields = { Field("S", kTypeString, 8), Field("M", kTypeBlob, 0) };
    fields[0].FieldNo = 1;
    fields[1].FieldNo = 2;
    LayOutFields(fields, "t");
    IndexDescriptor good;
    good.Unique = true;
    good.FieldCount = 1;
    good.FieldList[0] = 1;
    SetKeyLength(good, IndexContext { fields, 4096, "t" });
    EXPECT_EQ(TIndexKeyInfo(1, good, fields, 0, "t").KeyLength(), 10);

    auto code_of = [&](IndexDescriptor descriptor) {
        return CodeOf([&] { TIndexKeyInfo(1, descriptor, fields, 0, "t"); });
    };
    IndexDescriptor wrong_length = good;
    wrong_length.KeyLength = 11;
    EXPECT_EQ(code_of(wrong_length), ZOLVEK_INDEXCORRUPT);
    IndexDescriptor blob = good;
    blob.FieldList[0] = 2;
    EXPECT_EQ(code_of(blob), ZOLVEK_INDEXCORRUPT);
    IndexDescriptor unknown = good;
    unknown.FieldList[0] = 9;
    EXPECT_EQ(code_of(unknown), ZOLVEK_INDEXCORRUPT);
    IndexDescriptor compression = good;
    compression.Compression = 4;
    EXPECT_EQ(code_of(compression), ZOLVEK_INDEXCORRUPT);
    IndexDescriptor no_fields = good;
    no_fields.FieldCount = 0;
    EXPECT_EQ(code_of(no_fields), ZOLVEK_INDEXCORRUPT);
}

} // namespace
} // namespace zolvek
