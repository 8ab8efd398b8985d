// zolvek import, dump, count, locate and verify.
//
// The TSV form: one record per line, the fields in table order separated by tabs, texts in
// UTF-8. Inside a field "\t", "\n", "\r" and "\\" stand for a tab, a line feed, a carriage
// return and a backslash, and a field that is exactly "\N" is null. Dates, times and numbers use
// the engine's text forms; bytes and binary BLOBs are written in hexadecimal; memos inline.
#include "commands.h"

#include "db/base/bytes.h"
#include "db/base/locale.h"
#include "db/base/value_text.h"
#include "db/cursor/cursor.h"
#include "db/cursor/table_verifier.h"
#include "db/storage/records.h"
#include "db/storage/table.h"

#include <fstream>
#include <ostream>
#include <sstream>

namespace zolvek::tool {

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text, size_t line) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            throw std::runtime_error("line " + std::to_string(line) + ": a backslash ends a field");
        switch (text[i]) {
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            throw std::runtime_error(
                "line " + std::to_string(line) + ": unknown escape \\" + text[i]);
        }
    }
    return out;
}

std::string Hex(const uint8_t* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

std::vector<uint8_t> FromHex(const std::string& text, size_t line) {
    auto digit = [&](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw std::runtime_error("line " + std::to_string(line) + ": not hexadecimal: " + text);
    };
    if (text.size() % 2 != 0)
        throw std::runtime_error(
            "line " + std::to_string(line) + ": odd number of hexadecimal digits");
    std::vector<uint8_t> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(digit(text[2 * i]) * 16 + digit(text[2 * i + 1]));
    return bytes;
}

bool IsMemo(const FieldDescriptor& field) {
    return field.DataType == kTypeBlob && field.SubType == kSubTypeMemo;
}

// The text of a field of `record` (Windows-1254 for strings and memos), or "\N" for null.
std::string FieldText(
    TDataCursor& cursor, const FieldDescriptor& field, std::vector<uint8_t>& record) {
    int32_t n = int32_t(field.FieldNo);
    if (cursor.ReadFieldValue(n, record.data(), nullptr))
        return "\\N";
    if (field.DataType == kTypeBlob) {
        size_t size = cursor.OpenBlobField(n, record.data(), TBlobBuffer::bmRead);
        std::vector<uint8_t> bytes(size);
        cursor.ReadBlobBytes(n, record.data(), 0, bytes.data(), size);
        cursor.CloseBlobField(n, record.data());
        if (IsMemo(field))
            return Escape(Cp1254ToUtf8(std::string(bytes.begin(), bytes.end())));
        return Hex(bytes.data(), bytes.size());
    }
    std::vector<uint8_t> value(field.PhysicalSize);
    cursor.ReadFieldValue(n, record.data(), value.data());
    const uint8_t* p = value.data();
    switch (field.DataType) {
    case kTypeString:
        return Escape(Cp1254ToUtf8(std::string(StringFieldValue(field, record.data()))));
    case kTypeDate:
        return DateToText(LoadI32(p));
    case kTypeTime:
        return TimeToText(LoadI32(p));
    case kTypeDateTime:
        return DateTimeToText(LoadDouble(p));
    case kTypeBoolean:
        return BooleanToText(LoadU16(p) != 0);
    case kTypeSmallInt:
        return std::to_string(LoadI16(p));
    case kTypeWord:
        return std::to_string(LoadU16(p));
    case kTypeInteger:
        return std::to_string(LoadI32(p));
    case kTypeLargeInt:
        return std::to_string(LoadI64(p));
    case kTypeFloat:
        return FloatToText(LoadDouble(p));
    case kTypeBcd: {
        TBcd bcd;
        LoadBcd(p, bcd);
        int64_t currency = 0;
        return BcdToCurrency(bcd, currency) ? CurrencyToText(currency) : "\\N";
    }
    default:
        return Hex(p, value.size());
    }
}

void SetFieldText(TDataCursor& cursor, const FieldDescriptor& field, std::vector<uint8_t>& record,
    const std::string& raw, size_t line) {
    int32_t n = int32_t(field.FieldNo);
    if (raw == "\\N") {
        cursor.WriteFieldValue(n, record.data(), nullptr, 0);
        return;
    }
    std::string text = Unescape(raw, line);
    if (field.DataType == kTypeBlob) {
        std::vector<uint8_t> bytes;
        if (IsMemo(field)) {
            std::string converted = Utf8ToCp1254(text);
            bytes.assign(converted.begin(), converted.end());
        } else {
            bytes = FromHex(text, line);
        }
        cursor.OpenBlobField(n, record.data(), TBlobBuffer::bmWrite);
        cursor.WriteBlobBytes(n, record.data(), 0, bytes.data(), bytes.size());
        return;
    }
    std::vector<uint8_t> value(std::max<size_t>(field.PhysicalSize, 8), 0);
    uint8_t* p = value.data();
    switch (field.DataType) {
    case kTypeString: {
        std::string converted = Utf8ToCp1254(text);
        cursor.WriteFieldValue(
            n, record.data(), reinterpret_cast<const uint8_t*>(converted.data()), converted.size());
        return;
    }
    case kTypeDate:
        StoreI32(p, TextToDate(text));
        break;
    case kTypeTime:
        StoreI32(p, TextToTime(text));
        break;
    case kTypeDateTime:
        StoreDouble(p, TextToDateTime(text));
        break;
    case kTypeBoolean:
        StoreU16(p, TextToBoolean(text) ? 1 : 0);
        break;
    case kTypeSmallInt:
        StoreI16(p, int16_t(TextToInteger(text, INT16_MIN, INT16_MAX)));
        break;
    case kTypeWord:
        StoreU16(p, uint16_t(TextToInteger(text, 0, UINT16_MAX)));
        break;
    case kTypeInteger:
        StoreI32(p, int32_t(TextToInteger(text, INT32_MIN, INT32_MAX)));
        break;
    case kTypeLargeInt:
        StoreI64(p, TextToInteger(text, INT64_MIN, INT64_MAX));
        break;
    case kTypeFloat:
        StoreDouble(p, TextToFloat(text));
        break;
    case kTypeBcd:
        StoreBcd(p, CurrencyToBcd(TextToBCD(text), field.Scale));
        break;
    default: {
        std::vector<uint8_t> bytes = FromHex(text, line);
        bytes.resize(field.PhysicalSize, 0);
        cursor.WriteFieldValue(n, record.data(), bytes.data(), bytes.size());
        return;
    }
    }
    cursor.WriteFieldValue(n, record.data(), p, field.PhysicalSize);
}

std::string TableName(const TArguments& arguments) {
    return Utf8ToCp1254(arguments.positional[1]);
}

// The view of a command: the index of --index, the filter of --filter (with --ci and
// --no-partial as the filter options).
void OpenView(TDataCursor& cursor, const TArguments& arguments) {
    cursor.OpenTable();
    if (arguments.Has("index"))
        cursor.SelectIndex(Utf8ToCp1254(arguments.Option("index")));
    if (arguments.Has("filter")) {
        TFilterDefinition definition;
        definition.expression = Utf8ToCp1254(arguments.Option("filter"));
        definition.case_insensitive = arguments.Has("ci");
        definition.no_partial_compare = arguments.Has("no-partial");
        definition.estimate = true;
        cursor.ActivateFilter(cursor.CreateFilter(std::move(definition)));
    }
}

void WriteRecord(TDataCursor& cursor, std::vector<uint8_t>& record, std::ostream& out) {
    const auto& fields = cursor.Fields();
    for (size_t i = 0; i < fields.size(); ++i)
        out << (i > 0 ? "\t" : "") << FieldText(cursor, fields[i], record);
    out << "\n";
}

} // namespace

int CommandImport(const TArguments& arguments, std::ostream& out) {
    if (arguments.positional.size() < 3)
        throw TUsageError("import needs DIR TABLE FILE.tsv");
    std::ifstream in(arguments.positional[2], std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + arguments.positional[2]);
    TToolSession tool(arguments);
    TDataCursor cursor(*tool.directory, TableName(arguments));
    // Shared by default, so that an import runs beside the programs that use the table (and
    // beside another import); --exclusive holds the table alone for a fast bulk load that
    // writes when the cache fills and at the end.
    cursor.Exclusive = arguments.Has("exclusive");
    cursor.OpenTable();
    const auto& fields = cursor.Fields();
    std::vector<uint8_t> record(cursor.RecordSize());
    std::string line;
    size_t line_number = 0;
    size_t imported = 0;
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::vector<std::string> columns = Split(line, '\t');
        if (columns.size() != fields.size())
            throw std::runtime_error("line " + std::to_string(line_number) + ": "
                + std::to_string(columns.size()) + " columns, the table has "
                + std::to_string(fields.size()) + " fields");
        cursor.InitNewRecord(record.data());
        try {
            for (size_t i = 0; i < fields.size(); ++i)
                SetFieldText(cursor, fields[i], record, columns[i], line_number);
            cursor.InsertRecord(record.data(), false);
        } catch (const EConvertError& error) {
            cursor.DiscardBlobChanges(record.data());
            throw std::runtime_error("line " + std::to_string(line_number) + ": " + error.what());
        }
        for (const FieldDescriptor& field : fields) {
            if (field.DataType == kTypeBlob
                && cursor.Blobs().BufferOf(field, record.data()) != nullptr)
                cursor.CloseBlobField(int32_t(field.FieldNo), record.data());
        }
        ++imported;
    }
    cursor.CloseTable();
    out << "imported " << imported << " records\n";
    return 0;
}

int CommandDump(const TArguments& arguments, std::ostream& out) {
    TToolSession tool(arguments);
    TDataCursor cursor(*tool.directory, TableName(arguments));
    OpenView(cursor, arguments);
    std::vector<uint8_t> record(cursor.RecordSize());
    cursor.MoveFirst();
    while (cursor.ReadNext(record.data()) == 0)
        WriteRecord(cursor, record, out);
    return 0;
}

int CommandCount(const TArguments& arguments, std::ostream& out) {
    TToolSession tool(arguments);
    TDataCursor cursor(*tool.directory, TableName(arguments));
    OpenView(cursor, arguments);
    out << cursor.RecordCount() << "\n";
    return 0;
}

int CommandLocate(const TArguments& arguments, std::ostream& out) {
    if (arguments.positional.size() < 3)
        throw TUsageError("locate needs DIR TABLE FIELD=VALUE ...");
    TToolSession tool(arguments);
    TDataCursor cursor(*tool.directory, TableName(arguments));
    OpenView(cursor, arguments);
    std::vector<uint8_t> values(cursor.RecordSize());
    cursor.ClearRecord(values.data());
    std::vector<int32_t> fields;
    const FieldDescriptor* last = nullptr;
    for (size_t i = 2; i < arguments.positional.size(); ++i) {
        const std::string& pair = arguments.positional[i];
        size_t equals = pair.find('=');
        if (equals == std::string::npos)
            throw TUsageError("not FIELD=VALUE: " + pair);
        last = &cursor.FindFieldDescriptor(Utf8ToCp1254(pair.substr(0, equals)));
        SetFieldText(cursor, *last, values, pair.substr(equals + 1), 0);
        fields.push_back(int32_t(last->FieldNo));
    }
    // The dataset's partial key: the length of the last value when it is a string.
    size_t partial = 0;
    if (arguments.Has("partial") && last->DataType == kTypeString)
        partial = StringFieldValue(*last, values.data()).size();
    std::vector<uint8_t> record(cursor.RecordSize());
    if (!cursor.LocateRecord(fields, values.data(), arguments.Has("ci"), partial, record.data()))
        return 3;
    WriteRecord(cursor, record, out);
    return 0;
}

int CommandVerify(const TArguments& arguments, std::ostream& out) {
    TToolSession tool(arguments);
    TDataTable* table = tool.directory->AcquireTable(TableName(arguments), false, false);
    table->BeginTableRead();
    std::vector<std::string> findings = VerifyTable(*table);
    table->EndTableRead();
    tool.directory->ReleaseTable(table);
    for (const std::string& finding : findings)
        out << Cp1254ToUtf8(finding) << "\n";
    return findings.empty() ? 0 : 1;
}

} // namespace zolvek::tool
