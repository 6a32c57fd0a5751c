#pragma once

// The transfer history from the command line: --history prints what a filter finds,
// --verify tells whether a file's exact bytes were ever sent or received.

#include <iosfwd>
#include <string>

#include "history/history_store.h"

// Prints the rows of the history of the installation in programDir that filter finds, as a table or
// as JSON lines. Exit status 0, or 1 when there is no history to read.
int PrintHistory(const std::string& programDir, const THistoryFilter& filter, bool json,
                 std::ostream& out, std::ostream& err);
// Exit status 0 when a file with file's bytes was sent or received (each time is printed),
// 1 when not, 2 when file cannot be read.
int VerifyFile(const std::string& programDir, const std::string& file, std::ostream& out,
               std::ostream& err);
// One row as one line of JSON.
std::string HistoryRowJson(const THistoryRow& row);
