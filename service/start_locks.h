#pragma once

// The rules every start of the gateway obeys, with or without a window: one copy per user
// session, and one computer per installation folder unless it is marked multi-user.

#include <memory>
#include <string>

class TLockFile;

struct TStartLocks {
    std::string ProgramDir;  // ends with "/"
    std::string ComputerName;
    // This computer's held lock file in the program folder; none in multi-user mode.
    std::unique_ptr<TLockFile> LockFile;

    TStartLocks();
    ~TStartLocks();
    TStartLocks(TStartLocks&&) noexcept;
    TStartLocks& operator=(TStartLocks&&) noexcept;
};

enum class TStartLocksResult {
    Taken,
    AnotherCopyRuns,  // here or, for this installation, on another computer
    Failed,           // the lock file cannot be made or a stale one removed
};

// Takes the instance lock (kept until the process ends), reads MULTIUSER from USER.INI,
// sweeps stale lock files and takes this computer's lock file. When another copy runs the
// caller ends silently with exit code 0; on Failed, error names the problem and the caller
// ends with exit code 1, so a service manager sees the start fail.
TStartLocksResult AcquireStartLocks(const std::string& programDir, TStartLocks& locks,
                                    std::string& error);
