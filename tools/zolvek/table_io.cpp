// zolvek import, dump and verify.
#include "commands.h"

namespace zolvek::tool {

int CommandImport(const TArguments&, std::ostream&) {
    throw TUsageError("import is not available yet");
}
int CommandDump(const TArguments&, std::ostream&) {
    throw TUsageError("dump is not available yet");
}
int CommandVerify(const TArguments&, std::ostream&) {
    throw TUsageError("verify is not available yet");
}

} // namespace zolvek::tool
