#include "service/start_locks.h"

#include <exception>

#include "common/base/profile.h"
#include "common/settings.h"
#include "common/single_instance.h"

TStartLocks::TStartLocks() = default;
TStartLocks::~TStartLocks() = default;
TStartLocks::TStartLocks(TStartLocks&&) noexcept = default;
TStartLocks& TStartLocks::operator=(TStartLocks&&) noexcept = default;

bool AcquireStartLocks(const std::string& programDir, TStartLocks& locks) {
    // Held until the process ends.
    if (CreateInstanceMutex(InstanceLockPath(kInstanceMutexName)) == TInstanceMutex::AlreadyExists)
        return false;

    locks.ProgramDir = programDir;
    try {
        MultiUser = TIniFile(programDir + "USER.INI").ReadBool("SYSTEM", "MULTIUSER", false);
    } catch (const std::exception&) {
        // An unreadable USER.INI is reported by the start-up of the controller; until then
        // the installation counts as single-user, the safer of the two.
        MultiUser = false;
    }

    // A lock file that cannot be deleted belongs to a copy running on another computer.
    if (SweepStaleLocks(programDir) > 0) return false;

    locks.ComputerName = ReadComputerName();
    if (MultiUser) return true;
    locks.LockFile = std::make_unique<TLockFile>(programDir + locks.ComputerName + ".lck");
    return locks.LockFile->Create();
}
