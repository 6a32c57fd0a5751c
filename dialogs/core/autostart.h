#pragma once

// The per-user autostart entry of the desktop session: a desktop entry named
// quillbern-dovrant.desktop in the autostart folder of the user's configuration folder.
// The options dialog writes it to start the gateway at log-in and removes it to stop that.

#include <string>
#include <vector>

// The entry's path: $XDG_CONFIG_HOME/autostart/quillbern-dovrant.desktop, or under
// $HOME/.config when XDG_CONFIG_HOME is unset, empty or not absolute; empty when neither
// folder is known.
std::string AutostartEntryPath();

// True when the entry exists and is not marked hidden (which switches it off).
bool AutostartEnabled();

// One argument of an Exec key, quoted where it needs to be and escaped for the key's value.
// A line end cannot be carried by an Exec key: std::invalid_argument.
std::string DesktopExecArgument(const std::string& argument);

// The whole entry starting program with its arguments.
std::string AutostartEntryText(const std::string& program, const std::vector<std::string>& args);

// Writes the entry (whole or not at all, its folder made when missing) or removes it.
// Returns an empty text on success, else what went wrong.
std::string SetAutostart(bool enabled, const std::string& program,
                         const std::vector<std::string>& args);

// The file of the running program, as the kernel names it; empty when unknown.
std::string RunningProgramPath();
