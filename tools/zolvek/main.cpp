// zolvek: a command-line tool on the ZOLVEK engine, for users and for tests.
//   zolvek create DIR TABLE --field NAME:TYPE[:SIZE[:SUBTYPE]] ... [options]
//   zolvek import DIR TABLE FILE.tsv [--password P]
//   zolvek dump   DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
//   zolvek count  DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
//   zolvek locate DIR TABLE FIELD=VALUE ... [--partial] [--ci] [--index NAME] [--password P]
//   zolvek info   DIR TABLE [--password P]
//   zolvek verify DIR TABLE [--password P]
// Engine errors are printed as "ZOLVEK Engine Error # ..." with exit code 1; usage errors exit 2;
// a locate that finds nothing exits 3.
#include "commands.h"

#include "db/base/errors.h"
#include "db/base/locale.h"

#include <iostream>
#include <string>

namespace {

const char* kUsage = R"(usage:
  zolvek create DIR TABLE --field NAME:TYPE[:SIZE[:SUBTYPE]] ... [--primary F1;F2]
         [--index NAME:F1;F2[:ci][:unique][:desc][:compress=none|dup|trail|full]] ...
         [--locale LCID] [--password P] [--page-size N] [--blob-block N] [--compress FIELD:LEVEL]
  zolvek import DIR TABLE FILE.tsv [--password P]
  zolvek dump DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
  zolvek count DIR TABLE [--index NAME] [--filter EXPR [--ci] [--no-partial]] [--password P]
  zolvek locate DIR TABLE FIELD=VALUE ... [--partial] [--ci] [--index NAME] [--password P]
  zolvek info DIR TABLE [--password P]
  zolvek verify DIR TABLE [--password P]
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
        if (command == "dump")
            return CommandDump(arguments, std::cout);
        if (command == "verify")
            return CommandVerify(arguments, std::cout);
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
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "zolvek: " << error.what() << "\n";
        return 1;
    }
}
