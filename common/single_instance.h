#pragma once

// One copy per computer and one computer per installation folder.
//
// The instance lock stands for the named mutex "Quillbern DVR": a lock held for the life of
// the process on a per-user runtime file named after it. The lock files named after the
// computer live in the program folder, where every computer sharing the installation sees
// them; a copy holds an open-file-description lock on its own file while it runs, so a file
// that nobody holds is known to be stale.

#include <functional>
#include <string>

inline constexpr const char* kInstanceMutexName = "Quillbern DVR";

enum class TInstanceMutex { Created, AlreadyExists, Failed };

// $XDG_RUNTIME_DIR/<name>.lock, or /tmp/<name>-<uid>.lock without a runtime folder.
std::string InstanceLockPath(const std::string& name);

// Takes the instance lock on path. AlreadyExists when another process holds it; Failed when
// the file cannot be opened (the program then runs on, as it would without a mutex). On
// Created the descriptor is kept open until the process ends.
TInstanceMutex CreateInstanceMutex(const std::string& path);

// Folder of the running program file, "/" appended.
std::string ProgramFolder();

// The computer's network name, cut to 15 characters.
std::string ReadComputerName();

// Deletes every *.LCK / *.lck file in programDir that no process holds. Returns the number
// of lock files that could not be deleted (held by a running copy, or not deletable).
int SweepStaleLocks(const std::string& programDir);

// The lock file of this computer while this copy runs in single-user mode.
class TLockFile {
  public:
    using TSleep = std::function<void(int milliseconds)>;

    // Waits between attempts go through sleep, by default the program clock's SleepMs.
    explicit TLockFile(std::string fileName, TSleep sleep = {});
    ~TLockFile();
    TLockFile(const TLockFile&) = delete;
    TLockFile& operator=(const TLockFile&) = delete;

    // Up to 15 attempts 200 ms apart to create or open the file and hold its lock.
    bool Create();
    // Deletes the file while its lock is still held, then lets the lock go.
    void Delete();

    bool Held() const { return Handle >= 0; }
    const std::string& FileName() const { return Name; }

  private:
    bool Attempt();

    std::string Name;
    TSleep Sleep;
    int Handle = -1;
};
