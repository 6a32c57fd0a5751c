#pragma once

#include <string>

#include "common/base/clock.h"

// Purge of old files from the Inbox (and its listed sub-folders), the Sentbox and the log
// folder, run at program close.

// The housekeeping decision at close: a manual request (HousekeepNow) runs it at once; with
// automatic purging on and the purge interval passed since LastPurge, the operator is asked
// "Perform Housekeeping now?" through the operator view. Otherwise nothing happens. True
// when housekeeping ran.
bool CheckHousekeeping();

// The options dialog's "Housekeep now": the next close runs housekeeping at once. Main thread.
extern bool HousekeepNow;

// Purges the three folder groups with their cut-offs, writes LAST_PURGE, and tells the
// operator through the operator view when a folder failed.
void PerformHousekeeping();

// Deletes the files of folder (ending with "/") last modified before cutOff: every file for
// extension ".*", else only files with that extension (compared in upper case); for the name
// "SentBox" (any case) only files whose extension is enabled for import. Sub-folders are left
// alone. A file due for deletion stays, with the level-2 line "Purge: Unable to delete file:
// <path>", when it is read-only (no write bit for its owner), open in another process (or in
// another descriptor of this one), the running system log, a symbolic link or other special
// file (the link itself is looked at, never followed), dated beyond what a date can hold, or
// the deletion fails. Returns 0, or -1 after an error (which is logged).
int PurgeFolder(const std::string& name, const std::string& folder, const std::string& extension,
                TDateTime cutOff);
