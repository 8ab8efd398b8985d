// zolvek repair: rebuilds a table's indexes, free lists and counters from its records.
#include "commands.h"

#include "db/base/locale.h"
#include "db/cursor/table_repair.h"

#include <fstream>
#include <ostream>
#include <stdexcept>

namespace zolvek::tool {

int CommandRepair(const TArguments& arguments, std::ostream& out) {
    TToolSession tool(arguments);
    std::string table_name = Utf8ToCp1254(arguments.positional[1]);
    TRepairResult result = RepairTable(*tool.directory, table_name);
    for (const std::string& line : result.rebuilt)
        out << Cp1254ToUtf8(line) << "\n";
    out << "kept " << result.records_kept << " records\n";
    if (result.not_kept.empty())
        return 0;
    // What could not be kept is written down, never dropped silently.
    std::string report = arguments.Option(
        "report", arguments.positional[0] + "/" + arguments.positional[1] + ".repair.txt");
    std::ofstream file(report, std::ios::binary | std::ios::trunc);
    for (const std::string& line : result.not_kept) {
        file << Cp1254ToUtf8(line) << "\n";
        out << "not kept: " << Cp1254ToUtf8(line) << "\n";
    }
    if (!file)
        throw std::runtime_error("cannot write the report " + report);
    out << "could not keep " << result.not_kept.size() << " records or values; the list is in "
        << report << "\n";
    return 3;
}

} // namespace zolvek::tool
