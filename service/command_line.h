#pragma once

// The program's command line, read before any window exists. Without arguments the program
// starts its window on the folder of the program file, as it always did.

#include <string>

enum class TRunMode { Window, Headless, Init, Status, Help, Version, Error };

struct TCommandLine {
    TRunMode Mode = TRunMode::Window;
    std::string Dir;    // --dir, or the folder of --init / --status; empty when not given
    std::string Error;  // Mode Error: the one-line complaint
};

TCommandLine ParseCommandLine(int argc, const char* const argv[]);

// Exit status of a command line the program does not understand.
inline constexpr int kUsageExitCode = 2;

std::string HelpText();
// The build's version and the one the installation's DVR.INI names (empty: none found).
std::string VersionText(const std::string& programDir, const std::string& installedVersion);

// The version this program was built as.
extern const char* const kBuildVersion;
