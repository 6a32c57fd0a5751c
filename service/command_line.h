#pragma once

// The program's command line, read before any window exists. Without arguments the program
// starts its window on the folder of the program file, as it always did.

#include <string>

#include "history/history_store.h"

enum class TRunMode { Window, Headless, Init, Status, History, Verify, Help, Version, Error };

// The two programs sharing this command line: the window program, and the daemon that runs
// the gateway headless without linking any toolkit.
enum class TProgram { Window, Daemon };

// The program's name as it introduces its own lines on standard error.
const char* ProgramName(TProgram program);

struct TCommandLine {
    TRunMode Mode = TRunMode::Window;
    std::string Dir;    // --dir, or the folder of --init / --status; empty when not given
    std::string Error;  // Mode Error: the one-line complaint
    // --history: what to look for, and JSON lines instead of a table.
    THistoryFilter Filter;
    bool Json = false;
    std::string VerifyFile;  // --verify
};

// The daemon runs headless without being asked; --headless is accepted there too.
TCommandLine ParseCommandLine(int argc, const char* const argv[],
                              TProgram program = TProgram::Window);

// Exit status of a command line the program does not understand.
inline constexpr int kUsageExitCode = 2;

std::string HelpText(TProgram program = TProgram::Window);
// The build's version and the one the installation's DVR.INI names (empty: none found).
std::string VersionText(const std::string& programDir, const std::string& installedVersion,
                        TProgram program = TProgram::Window);

// The version this program was built as.
extern const char* const kBuildVersion;
