#pragma once

// Where an installation keeps its files: the program folder holds USER.INI and DVR.INI, the
// data folders (INBOX, OUTBOX, SENTBOX, ERROR, LOG, TEMP) live in its parent.

#include <string>

// The program folder an operator means by dir, absolute and ending with "/": dir itself
// when it holds USER.INI or DVR.INI, else dir/DVR/ when that does, else dir.
std::string ResolveProgramDir(const std::string& dir);

// The program folder when none is given: the program file's own folder, as a copy unpacked
// into its installation expects; when that holds no USER.INI (a packaged copy in /usr/bin),
// the installation in ~/quillbern-dovrant that the user unit and --init suggest, if there is one.
std::string DefaultProgramDir();

// Empty when programDir holds USER.INI; else why it is no installation to run. A folder given
// by mistake would otherwise get data folders made beside it.
std::string CheckProgramDir(const std::string& programDir);

// The log folder of the installation whose program folder is programDir.
std::string LogFolderOf(const std::string& programDir);

// The VERSION of [SYSTEM] in programDir's DVR.INI; empty when there is none.
std::string InstalledVersion(const std::string& programDir);

// Lays out a new installation: dir/DVR/ with USER.INI and DVR.INI templates, and the data
// folders under dir. dir must be missing or empty. Empty text on success, else the reason.
std::string InitInstallation(const std::string& dir);
