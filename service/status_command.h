#pragma once

// The status report of an installation for an operator or a monitoring system.

#include <iosfwd>
#include <string>

#include "common/base/clock.h"

// Prints the status kept in the log folder of the installation dir (see ResolveProgramDir):
// first one line "OK ..." or "ATTENTION: ...", then the details. Returns 0 when healthy,
// 1 when attention is needed (also for a missing or unreadable status file).
int PrintStatus(const std::string& dir, std::ostream& out, TDateTime now);
