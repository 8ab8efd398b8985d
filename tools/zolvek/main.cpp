// zolvek: a command-line tool on the ZOLVEK engine, for users and for tests.
//   zolvek create DIR TABLE (--field NAME:TYPE[:SIZE[:SUBTYPE]] ... | --glossary) [options]
//   zolvek import DIR TABLE FILE.tsv [--exclusive] [--password P]
//   zolvek import-dictd DIR TABLE FILE.index FILE.dict[.dz] [--exclusive] [--password P]
//   zolvek dump   DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
//   zolvek count  DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
//   zolvek locate DIR TABLE FIELD=VALUE ... [--partial] [--ci] [--index NAME] [--password P]
//   zolvek info   DIR TABLE [--password P]
//   zolvek verify DIR TABLE [--password P]
//   zolvek repair DIR TABLE [--password P] [--report FILE]
// Engine errors are printed as "ZOLVEK Engine Error # ..." with exit code 1; usage errors exit 2;
// a locate that finds nothing, and a repair that could not keep everything, exit 3.
#include "commands.h"

#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/storage/base_file.h"
#include "db/storage/engine.h"
#include "db/storage/table_format.h"

#include <filesystem>
#include <iostream>
#include <string>

namespace {

// Plain words after an engine error, where the cause is clear from outside the engine.
std::string ExplainEngineError(const zolvek::EZOLVEKEngineError& error, int argc, char** argv) {
    using namespace zolvek;
    tool::TArguments arguments;
    try {
        arguments = tool::ParseArguments(argc, argv, 2);
    } catch (const tool::TUsageError&) {
        return {};
    }
    if (arguments.positional.empty())
        return {};
    const std::string& directory = arguments.positional[0];
    if (error.Code() == ZOLVEK_OSENOENT && !std::filesystem::is_directory(directory))
        return "there is no directory " + directory;
    if (error.Code() == ZOLVEK_OSEACCES && arguments.positional.size() >= 2) {
        const std::string& extension = TEngineSettings {}.TableDataExtension;
        std::string data_file = directory + "/"
            + BuildTableFileName(Utf8ToCp1254(arguments.positional[1]), extension, extension);
        if (TPhysicalFile::HeldExclusivelyElsewhere(data_file))
            return "another program has the table open exclusively; try again once it has "
                   "closed it";
    }
    return {};
}

const char* kUsage = R"(usage:
  zolvek create DIR TABLE (--field NAME:TYPE[:SIZE[:SUBTYPE]] ... | --glossary) [--primary F1;F2]
         [--index NAME:F1;F2[:ci][:unique][:desc][:compress=none|dup|trail|full]] ...
         [--locale LCID] [--password P] [--page-size N] [--blob-block N] [--compress FIELD:LEVEL]
  zolvek import DIR TABLE FILE.tsv [--exclusive] [--password P]
  zolvek import-dictd DIR TABLE FILE.index FILE.dict[.dz] [--exclusive] [--password P]
  zolvek dump DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
  zolvek count DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
  zolvek locate DIR TABLE FIELD=VALUE ... [--partial] [--ci] [--index NAME] [--password P]
  zolvek info DIR TABLE [--password P]
  zolvek verify DIR TABLE [--password P]
  zolvek repair DIR TABLE [--password P] [--report FILE]
TYPE: string date blob memo boolean smallint integer autoinc float money bcd bytes time
      datetime word varbytes largeint, or the engine's type code
)";

} // namespace

int main(int argc, char** argv) {
    using namespace zolvek;
    using namespace zolvek::tool;
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string command = argv[1];
    try {
        TArguments arguments = ParseArguments(argc, argv, 2);
        if (command == "create")
            return CommandCreate(arguments, std::cout);
        if (command == "info")
            return CommandInfo(arguments, std::cout);
        if (command == "import")
            return CommandImport(arguments, std::cout);
        if (command == "import-dictd")
            return CommandImportDictd(arguments, std::cout);
        if (command == "dump")
            return CommandDump(arguments, std::cout);
        if (command == "verify")
            return CommandVerify(arguments, std::cout);
        if (command == "repair")
            return CommandRepair(arguments, std::cout);
        if (command == "count")
            return CommandCount(arguments, std::cout);
        if (command == "locate")
            return CommandLocate(arguments, std::cout);
        throw TUsageError("unknown command " + command);
    } catch (const TUsageError& error) {
        std::cerr << "zolvek: " << error.what() << "\n" << kUsage;
        return 2;
    } catch (const EZOLVEKEngineError& error) {
        std::cerr << Cp1254ToUtf8(error.what()) << "\n";
        std::string hint = ExplainEngineError(error, argc, argv);
        if (!hint.empty())
            std::cerr << "zolvek: " << hint << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "zolvek: " << error.what() << "\n";
        return 1;
    }
}
