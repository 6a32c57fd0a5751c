#pragma once

// The files waiting in the Error folder, each with the log line that says why it is there.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/base/clock.h"

struct TFailedFile {
    std::string Name;  // file name in the Error folder
    uint64_t Size = 0;
    TDateTime Modified = 0;
    std::string Reason;     // the log message naming it, without its stamp; empty when none
    bool Received = false;  // a raw message the receive side kept: stored again on a retry
};

// Whether name has the form the receive side gives a message it keeps ("RECV_*.eml"). The
// name alone decides nothing: a received message has its record beside it, and a file of
// such a name without one (kept by an earlier version) counts as received only when the log
// says the receive side put it there.
bool IsReceivedFailure(const std::string& name);

enum class TMovedBy { Unknown, SendSide, ReceiveSide };
// Which side last put the file name into the Error folder, by messages (log messages, oldest
// first): the receive side keeping a message as name, or the send side's "Move file: " that
// filed a file as name.
TMovedBy MovedIntoErrorBy(const std::vector<std::string>& messages, const std::string& name);

// Whether message names the file name as a whole word: "A1.TXT" is named in
// "Unable to send /x/A1.TXT." but not in "BA1.TXT" or "A1.TXT.sent".
bool NamesFile(const std::string& message, const std::string& name);

// The reason for name among lines (log messages, oldest first): the last line naming it that
// is not merely the record of its move into the Error folder; when only such a record names
// it, the line just before the last one, which is where the sending and receiving sides say
// why. Empty when no line names it.
std::string ReasonFromLines(const std::vector<std::string>& messages, const std::string& name);

// Why each file the transfers of this run put into the Error folder is there, by file name,
// as their outcomes said.
using TFailureReasons = std::map<std::string, std::string>;

// The regular files of errorFolder (hidden ones left out), sorted by name, with their
// reasons: from known (this run's outcomes) first; for a file put there before this run,
// looked up in the newest log files of logFolder (at most maxLogFiles of them). A file is
// Received by its record, or, for one without, by MovedIntoErrorBy in those logs.
std::vector<TFailedFile> ListFailedFiles(const std::string& errorFolder,
                                         const std::string& logFolder, int maxLogFiles = 31,
                                         const TFailureReasons& known = {});
