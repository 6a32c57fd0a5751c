#pragma once

// Operator actions on a file in the Error folder: send it again, store a received message
// again, or delete it.

#include <string>

#include "common/base/atomic_file.h"  // FreeNameIn

struct TRetryResult {
    bool Ok = false;
    std::string Target;  // full path in the Outbox (or, for a received message, empty)
    std::string Error;   // why it failed; the file is then still in the Error folder
};

// Moves errorFolder + name into outboxFolder, whole, in one step where both lie on one file
// system and else through a copy flushed to disk, never replacing a file there: a taken name
// gives the file the next free name. Logs the move. name must be a plain file name.
TRetryResult RetryToOutbox(const std::string& errorFolder, const std::string& name,
                           const std::string& outboxFolder);

// Parses the raw message errorFolder + name again and stores what it carries as the receive
// side does; once stored, the file and its record leave the Error folder. A file that is no
// mail, or a message that ends early (what could be read of it was stored when it came),
// stays. Logs the outcome.
TRetryResult RetryReceived(const std::string& errorFolder, const std::string& name);

// Deletes errorFolder + name; logs it. False (with error) when it could not be removed.
bool DeleteFailedFile(const std::string& errorFolder, const std::string& name, std::string& error);
