#pragma once

// One copy per computer and one computer per installation folder.
//
// The instance lock stands for the named mutex "Quillbern DVR": a lock held for the life of
// the process on a per-user runtime file named after it, in a folder no other user may write
// to (else another user could plant a held file there and keep the gateway from starting).
// The lock files named after the computer live in the program folder, where every computer
// sharing the installation sees them; they are made readable and writable for every user, and
// a copy holds an open-file-description lock on its own file while it runs, so a file that
// nobody holds is known to be stale.

#include <functional>
#include <string>

inline constexpr const char* kInstanceMutexName = "Quillbern DVR";

enum class TInstanceMutex { Created, AlreadyExists, Failed };

// $XDG_RUNTIME_DIR/<name>.lock, or /tmp/quillbern-dovrant-<uid>/<name>.lock without a runtime
// folder.
std::string InstanceLockPath(const std::string& name);

// Takes the instance lock on path. The folder of path must be this user's alone: a real folder
// (no symbolic link), owned by this user, with no permission bits for group or others; a
// folder named quillbern-dovrant-<uid> is made so (mode 0700) when missing. AlreadyExists when
// another process holds the lock; Failed when the folder is not private (said on standard
// error) or the file cannot be opened: the program then runs on, as it would without a mutex,
// since a folder another user controls must neither keep it from starting nor choose its lock.
// On Created the descriptor is kept open until the process ends.
TInstanceMutex CreateInstanceMutex(const std::string& path);

// Folder of the running program file, "/" appended.
std::string ProgramFolder();

// The computer's network name, cut to 15 characters.
std::string ReadComputerName();

// Deletes every *.LCK / *.lck file in programDir that it can open and lock, so no process holds
// it. Returns the number of lock files that stay (held by a running copy, not openable by this
// user, which counts as held, or not deletable). error, when given, receives the first reason
// a lock file nobody holds could not be deleted (empty when none): that is no running copy
// but a folder the program cannot change.
int SweepStaleLocks(const std::string& programDir, std::string* error = nullptr);

// The lock file of this computer while this copy runs in single-user mode.
class TLockFile {
  public:
    using TSleep = std::function<void(int milliseconds)>;

    // Waits between attempts go through sleep, by default the program clock's SleepMs.
    explicit TLockFile(std::string fileName, TSleep sleep = {});
    ~TLockFile();
    TLockFile(const TLockFile&) = delete;
    TLockFile& operator=(const TLockFile&) = delete;

    // Up to 15 attempts 200 ms apart to create or open the file and hold its lock; a file
    // that cannot be opened at all ends the attempts at once (see Error). The file gets mode
    // 0666 whatever the umask, so a copy run by another user can open and lock it.
    bool Create();
    // Deletes the file while its lock is still held and the name still refers to the locked
    // file, then lets the lock go. Without the lock (multi-user mode) the file is deleted only
    // when it can be opened and locked.
    void Delete();

    bool Held() const { return handle_ >= 0; }
    // After a failed Create: the errno of a file that could not be opened at all (read-only
    // or foreign folder, full disk), or 0 when a running copy holds it.
    int Error() const { return error_; }
    const std::string& FileName() const { return name_; }

  private:
    bool Attempt();

    std::string name_;
    TSleep sleep_;
    int handle_ = -1;
    int error_ = 0;
};
