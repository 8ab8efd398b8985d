// The commands of the zolvek tool. Each returns the process exit code; engine errors propagate
// to main, which prints them.
#pragma once

#include "options.h"

#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/session.h"

#include <iosfwd>
#include <memory>

namespace zolvek::tool {

// An engine with one session on the directory of the command, and the table password when one
// was given.
struct TToolSession {
    TDataEngine engine;
    TDataSession* session = nullptr;
    TDataDirectory* directory = nullptr;
    explicit TToolSession(const TArguments& arguments);
};

int CommandCreate(const TArguments& arguments, std::ostream& out);
int CommandInfo(const TArguments& arguments, std::ostream& out);
int CommandImport(const TArguments& arguments, std::ostream& out);
int CommandDump(const TArguments& arguments, std::ostream& out);
int CommandVerify(const TArguments& arguments, std::ostream& out);
int CommandImportDictd(const TArguments& arguments, std::ostream& out);
// Exit 0 when every record was kept, 3 when some could not be (they are listed in the report).
int CommandRepair(const TArguments& arguments, std::ostream& out);
int CommandCount(const TArguments& arguments, std::ostream& out);
// Exit code 3 when no record matches.
int CommandLocate(const TArguments& arguments, std::ostream& out);

// JSON string literal of a Windows-1254 text.
std::string JsonText(const std::string& text);

} // namespace zolvek::tool
