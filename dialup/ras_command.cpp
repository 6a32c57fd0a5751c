#include "dialup/ras_line.h"

unsigned MakeCommandLine(const TRasEntry& entry, const RASDIALPARAMS&, std::unique_ptr<IRasLine>&) {
    if (entry.UpCommand.empty()) return ERROR_PORT_NOT_AVAILABLE;
    return ERROR_PORT_NOT_AVAILABLE;
}
