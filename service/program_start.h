#pragma once

// What the window program and the daemon do alike before the gateway runs: answer the
// command line's one-shot requests, check the installation and take the start locks.

#include <optional>

#include "service/command_line.h"
#include "service/start_locks.h"

// The exit code when the program has nothing more to do (help, version, --init, --status,
// a wrong command line, another copy running, a start that failed, each with its output
// written); nothing when the gateway is to run on the locks taken.
std::optional<int> StartProgram(TProgram program, const TCommandLine& commandLine,
                                TStartLocks& locks);
