#pragma once

// The receive schedule: when the next receive is due, worked out from the schedule settings
// and the time of the last receive attempt, and its line in the status bar.

#include <string>

#include "common/base/clock.h"

// The next receive time of the loaded schedule after the last receive attempt lastConnect,
// 0 for none. Logs the schedule it read; an unknown schedule option is logged as the
// scheduler's failure and gives 0. A schedule that does not count from the last attempt
// (none, or one date) moves lastConnect to now.
TDateTime ComputeNextConnection(TDateTime& lastConnect);
// "Monday,Wednesday" for "1,3,": the names of the weekday digits (1 = Monday) in the text.
std::string DaysText(const std::string& digits);
// The status-bar text of a next connection time.
std::string NextConnectionText(TDateTime next);
// True when now falls in the minute of next.
bool InScheduledMinute(TDateTime now, TDateTime next);
