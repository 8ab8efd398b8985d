// zolvek create and zolvek info.
#include "commands.h"

#include "db/base/locale.h"
#include "db/storage/glossary_table.h"
#include "db/storage/table.h"
#include "db/storage/table_definition.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>

namespace zolvek::tool {

namespace {

struct TypeName {
    const char* name;
    uint8_t type;
    uint8_t sub_type;
};

constexpr TypeName kTypeNames[] = {
    { "string", kTypeString, 0 },
    { "date", kTypeDate, 0 },
    { "blob", kTypeBlob, kSubTypeBinary },
    { "memo", kTypeBlob, kSubTypeMemo },
    { "boolean", kTypeBoolean, 0 },
    { "smallint", kTypeSmallInt, 0 },
    { "integer", kTypeInteger, 0 },
    { "autoinc", kTypeInteger, kSubTypeAutoInc },
    { "float", kTypeFloat, 0 },
    { "money", kTypeFloat, kSubTypeMoney },
    { "bcd", kTypeBcd, 0 },
    { "bytes", kTypeBytes, 0 },
    { "time", kTypeTime, 0 },
    { "datetime", kTypeDateTime, 0 },
    { "word", kTypeWord, 0 },
    { "varbytes", kTypeVarBytes, 0 },
    { "largeint", kTypeLargeInt, 0 },
};

const char* TypeNameOf(uint8_t type, uint8_t sub_type) {
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type && entry.sub_type == sub_type)
            return entry.name;
    }
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type)
            return entry.name;
    }
    return "unknown";
}

FieldDefinition ParseField(const std::string& text) {
    std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 4)
        throw TUsageError("--field wants NAME:TYPE[:SIZE[:SUBTYPE]], not " + text);
    FieldDefinition field;
    field.Name = Utf8ToCp1254(parts[0]);
    std::string type = parts[1];
    std::transform(type.begin(), type.end(), type.begin(),
        [](unsigned char c) { return char(std::tolower(c)); });
    auto named = std::find_if(std::begin(kTypeNames), std::end(kTypeNames),
        [&](const TypeName& n) { return type == n.name; });
    if (named != std::end(kTypeNames)) {
        field.DataType = named->type;
        field.SubType = named->sub_type;
    } else {
        field.DataType = uint8_t(ParseNumber(type, "a field type"));
    }
    if (parts.size() >= 3 && !parts[2].empty())
        field.Size = int32_t(ParseNumber(parts[2], "a field size"));
    if (parts.size() == 4)
        field.SubType = uint8_t(ParseNumber(parts[3], "a sub type"));
    return field;
}

int32_t FieldNumberOf(const TableDefinition& definition, const std::string& name) {
    std::string wanted = Utf8ToCp1254(name);
    if (EqualsIgnoringCase(wanted, "RecordID"))
        return kRecordIDField;
    if (EqualsIgnoringCase(wanted, "RecordHash"))
        return kRecordHashField;
    for (size_t i = 0; i < definition.Fields.size(); ++i) {
        if (SameName(definition.Fields[i].Name, wanted))
            return int32_t(i + 1);
    }
    throw TUsageError("no field named " + name);
}

std::vector<int32_t> FieldList(const TableDefinition& definition, const std::string& list) {
    std::vector<int32_t> numbers;
    for (const std::string& name : Split(list, ';'))
        numbers.push_back(FieldNumberOf(definition, name));
    return numbers;
}

IndexDefinition ParseIndex(const TableDefinition& definition, const std::string& text) {
    std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 2)
        throw TUsageError("--index wants NAME:F1;F2[:flags], not " + text);
    IndexDefinition index;
    index.Name = Utf8ToCp1254(parts[0]);
    index.Fields = FieldList(definition, parts[1]);
    for (size_t i = 2; i < parts.size(); ++i) {
        const std::string& flag = parts[i];
        if (flag == "ci")
            index.CaseInsensitive = true;
        else if (flag == "unique")
            index.Unique = true;
        else if (flag == "desc")
            index.Descending = true;
        else if (flag == "compress=none")
            index.Compression = icNone;
        else if (flag == "compress=dup")
            index.Compression = icDuplicateByte;
        else if (flag == "compress=trail")
            index.Compression = icTrailingByte;
        else if (flag == "compress=full")
            index.Compression = icFull;
        else
            throw TUsageError("unknown index flag " + flag);
    }
    return index;
}

} // namespace

TToolSession::TToolSession(const TArguments& arguments) {
    if (arguments.positional.size() < 2)
        throw TUsageError("DIR and TABLE are needed");
    engine.StartEngine();
    session = engine.CreateSession();
    if (arguments.Has("password"))
        session->AddPassword(Utf8ToCp1254(arguments.Option("password")));
    directory = session->OpenDirectory("zolvek", arguments.positional[0], false);
}

std::string JsonText(const std::string& text) {
    std::string utf8 = Cp1254ToUtf8(text);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

int CommandCreate(const TArguments& arguments, std::ostream& out) {
    // As mkdir -p: a table is created in its directory whether or not that exists yet.
    if (!arguments.positional.empty())
        std::filesystem::create_directories(arguments.positional[0]);
    TToolSession tool(arguments);
    const std::string table_name = Utf8ToCp1254(arguments.positional[1]);
    // --glossary starts from ZENDO's glossary table; the other options may still change it.
    TableDefinition definition;
    if (arguments.Has("glossary")) {
        if (arguments.Has("field"))
            throw TUsageError("--glossary brings its own fields");
        definition = GlossaryDefinition();
    }
    for (const std::string& field : arguments.All("field"))
        definition.Fields.push_back(ParseField(field));
    if (definition.Fields.empty())
        throw TUsageError("a table needs at least one --field (or --glossary)");
    if (arguments.Has("primary")) {
        definition.PrimaryIndex.Fields = FieldList(definition, arguments.Option("primary"));
        definition.PrimaryIndex.Unique = true;
    }
    for (const std::string& index : arguments.All("index"))
        definition.SecondaryIndexes.push_back(ParseIndex(definition, index));
    for (const std::string& compress : arguments.All("compress")) {
        std::vector<std::string> parts = Split(compress, ':');
        if (parts.size() != 2)
            throw TUsageError("--compress wants FIELD:LEVEL");
        definition.Fields[size_t(FieldNumberOf(definition, parts[0]) - 1)].Compression
            = uint8_t(ParseNumber(parts[1], "a compression level"));
    }
    if (arguments.Has("locale"))
        definition.LocaleID = uint32_t(ParseNumber(arguments.Option("locale"), "a locale"));
    if (arguments.Has("page-size"))
        definition.IndexPageSize
            = int32_t(ParseNumber(arguments.Option("page-size"), "a page size"));
    if (arguments.Has("blob-block"))
        definition.BlobBlockSize
            = int32_t(ParseNumber(arguments.Option("blob-block"), "a block size"));
    if (arguments.Has("password")) {
        definition.Encrypted = true;
        definition.Password = Utf8ToCp1254(arguments.Option("password"));
    }
    // The engine replaces a table it is asked to create; the tool does not.
    if (tool.directory->TableExists(table_name, false, false))
        tool.engine.Errors().RaiseTableError(ZOLVEK_TABLEEXISTS, table_name);
    tool.directory->ReleaseTable(tool.directory->CreateTable(table_name, definition));
    out << "created " << Cp1254ToUtf8(table_name) << "\n";
    return 0;
}

int CommandInfo(const TArguments& arguments, std::ostream& out) {
    TToolSession tool(arguments);
    TDataTable* table
        = tool.directory->AcquireTable(Utf8ToCp1254(arguments.positional[1]), false, false);
    const DataFileHeader& header = table->DataFile().Header();
    out << "{\n";
    out << "  \"table\": " << JsonText(table->TableName()) << ",\n";
    out << "  \"recordCount\": " << header.RecordCount << ",\n";
    out << "  \"recordSlots\": " << table->DataFile().PhysicalCount() << ",\n";
    out << "  \"recordSize\": " << header.RecordSize << ",\n";
    out << "  \"localeId\": " << header.LocaleID << ",\n";
    out << "  \"encrypted\": " << (header.Encrypted != 0 ? "true" : "false") << ",\n";
    out << "  \"indexPageSize\": " << header.IndexPageSize << ",\n";
    out << "  \"blobBlockSize\": " << header.BlobBlockSize << ",\n";
    out << "  \"lastRecordId\": " << header.LastRecordID << ",\n";
    out << "  \"lastAutoIncValue\": " << header.LastAutoIncValue << ",\n";
    out << "  \"description\": " << JsonText(header.TableDescription) << ",\n";
    out << "  \"fields\": [\n";
    const auto& fields = table->DataFile().Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldDescriptor& field = fields[i];
        out << "    {\"number\": " << field.FieldNo << ", \"name\": " << JsonText(field.Name)
            << ", \"type\": \"" << TypeNameOf(field.DataType, field.SubType)
            << "\", \"dataType\": " << int(field.DataType)
            << ", \"subType\": " << int(field.SubType) << ", \"size\": " << field.Size
            << ", \"offset\": " << field.FieldOffset
            << ", \"required\": " << (field.Required ? "true" : "false")
            << ", \"default\": " << JsonText(field.DefaultValue)
            << ", \"compression\": " << int(field.Compression) << "}"
            << (i + 1 < fields.size() ? "," : "") << "\n";
    }
    out << "  ],\n  \"indexes\": [\n";
    const IndexSlots& index = table->IndexFile().Index();
    for (size_t slot = 0; slot <= index.SecondaryIndexCount(); ++slot) {
        const IndexDescriptor& descriptor = index.Slots[slot];
        out << "    {\"slot\": " << slot << ", \"name\": " << JsonText(descriptor.Name)
            << ", \"fields\": [";
        for (size_t k = 0; k < descriptor.FieldCount; ++k) {
            const FieldDescriptor* field = FindField(fields, int32_t(descriptor.FieldList[k]));
            out << (k > 0 ? ", " : "")
                << JsonText(field != nullptr ? field->Name : std::string("?"));
        }
        static const char* kCompression[] = { "none", "dup", "trail", "full" };
        out << "], \"keyLength\": " << descriptor.KeyLength
            << ", \"unique\": " << (descriptor.Unique ? "true" : "false")
            << ", \"caseInsensitive\": " << (descriptor.CaseInsensitive ? "true" : "false")
            << ", \"descending\": " << (descriptor.Descending ? "true" : "false")
            << ", \"compression\": \"" << kCompression[descriptor.Compression & 3]
            << "\", \"rootPage\": " << index.RootPage(slot) << "}"
            << (slot < index.SecondaryIndexCount() ? "," : "") << "\n";
    }
    out << "  ]\n}\n";
    tool.directory->ReleaseTable(table);
    return 0;
}

} // namespace zolvek::tool
