#pragma once

// The kinds of line behind the connections of the remote-access service (dialup/ras.h).

#include <functional>
#include <memory>
#include <string>

#include "dialup/ras.h"
#include "dialup/ras_phonebook.h"

// One connection's line: what its state is now, and its hang-up. Called under the service's
// lock; a line must not call back into the service.
class IRasLine {
  public:
    virtual ~IRasLine() = default;
    // The state and error at monotonic time nowMs; each change not yet told is passed to
    // notify (the service calls the dial's notifier with them later, outside its lock).
    virtual void Poll(int64_t nowMs, const std::function<void(int state, unsigned error)>& notify,
                      int& state, unsigned& error) = 0;
    // Starts taking the link down.
    virtual void HangUp(int64_t nowMs) = 0;
    // True once the link is down after HangUp.
    virtual bool Gone(int64_t nowMs) = 0;
};

// A simulated dial of entry (outcome the dial's scripted result): its events start at nowMs.
std::unique_ptr<IRasLine> MakeSimulatedLine(const TRasEntry& entry, TSimOutcome outcome,
                                            int64_t nowMs);
// A connection made by another program: connected from nowMs, dropped dropAfterSeconds later
// when above 0.
std::unique_ptr<IRasLine> MakeOtherProgramLine(int64_t nowMs, int dropAfterSeconds);
// A command-line dial: the up command starts on a thread of its own. Fails at once
// (ERROR_PORT_NOT_AVAILABLE) when the entry has no up command.
unsigned MakeCommandLine(const TRasEntry& entry, const RASDIALPARAMS& params,
                         std::unique_ptr<IRasLine>& line);
// Whether the status command of a command-line entry finds its link up (false without one).
bool CommandLinkUp(const TRasEntry& entry);
// A command-line link found up that this service did not bring up: connected, watched by the
// status command, taken down by the down command.
std::unique_ptr<IRasLine> MakeCommandLineAlreadyUp(const TRasEntry& entry);
