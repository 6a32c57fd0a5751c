#pragma once

// What a killed run of the gateway leaves behind: upload work folders ("~qbXXXX", holding a
// full copy of the data) in the Outbox, and the atomic writer's partial temporary files
// (".dvr-XXXXXX") in the Outbox, the Inbox and its sub-folders, the Sentbox and the Error
// folder. Swept at start; the Inbox's own work folders are the receive journal's and stay.

#include <string>
#include <vector>

struct TSettings;

// Removes the leftovers no running process holds open, logs each and returns their paths.
// Files an earlier run sent but kept in the Outbox as "<name>.sent" are filed in the Sentbox.
std::vector<std::string> SweepLeftovers(const TSettings& settings);
