#pragma once

// The command line: operator-configured commands bring a link up, take it down and tell
// whether it is up, for instance
//   nmcli connection up id Office / nmcli connection down id Office /
//   nmcli -t -f GENERAL.STATE connection show Office   (up text "activated")
// or pon office / poff office / ip link show ppp0.
//
// Each command runs through /bin/sh in a process group of its own, with a time limit on the
// program clock; past it the whole group is killed. The command text never holds a password:
// the password reaches the command on its standard input (one line) or, when the entry says
// so, in the environment variable DOVRANT_PASSWORD. DOVRANT_ENTRY, DOVRANT_USER and
// DOVRANT_PHONE carry the entry name, user name and phone number.
//
// States of a dial: RASCS_OpenPort and RASCS_ConnectDevice at once, RASCS_Connected when the
// up command ended with exit code 0 and the status command (when there is one) says up;
// otherwise RASCS_Disconnected with ERROR_REQUEST_TIMEOUT (a command past its limit) or
// ERROR_FROM_DEVICE (a command that failed, or a link that the status command finds down).
// While connected, the status command runs again when the state is asked for and its last run
// is StatusInterval or more ago; a link found down then counts as dropped
// (ERROR_PORT_DISCONNECTED). A hang-up runs the down command.

#include <atomic>
#include <string>
#include <vector>

inline constexpr int CommandStatusIntervalMs = 5000;

struct TCommandRun {
    bool TimedOut = false;
    bool Cancelled = false;
    bool Started = false;  // false: the shell could not be started
    int ExitCode = -1;     // the exit code, or -1 when it did not exit on its own
    std::string Output;    // standard output and error, the first 64 KB
};

// Runs command through /bin/sh -c with the extra environment entries ("NAME=value") and
// input written to its standard input; at most timeoutMs on the program clock; cancel, when
// set meanwhile, ends it as a time-out would.
TCommandRun RunLineCommand(const std::string& command, const std::vector<std::string>& environment,
                           const std::string& input, int timeoutMs,
                           const std::atomic<bool>* cancel = nullptr);
