#include "service/start_locks.h"

#include <cstring>
#include <exception>

#include "common/base/profile.h"
#include "common/settings.h"
#include "common/single_instance.h"

TStartLocks::TStartLocks() = default;
TStartLocks::~TStartLocks() = default;
TStartLocks::TStartLocks(TStartLocks&&) noexcept = default;
TStartLocks& TStartLocks::operator=(TStartLocks&&) noexcept = default;

TStartLocksResult AcquireStartLocks(const std::string& programDir, TStartLocks& locks,
                                    std::string& error) {
    error.clear();
    // Held until the process ends.
    if (CreateInstanceMutex(InstanceLockPath(kInstanceMutexName)) == TInstanceMutex::AlreadyExists)
        return TStartLocksResult::AnotherCopyRuns;

    locks.ProgramDir = programDir;
    try {
        MultiUser = TIniFile(programDir + "USER.INI").ReadBool("SYSTEM", "MULTIUSER", false);
    } catch (const std::exception&) {
        // An unreadable USER.INI is reported by the start-up of the controller; until then
        // the installation counts as single-user, the safer of the two.
        MultiUser = false;
    }

    // A lock file that cannot be deleted belongs to a copy running on another computer,
    // unless nobody holds it and the folder refuses the deletion.
    if (SweepStaleLocks(programDir, &error) > 0)
        return error.empty() ? TStartLocksResult::AnotherCopyRuns : TStartLocksResult::Failed;

    locks.ComputerName = ReadComputerName();
    if (MultiUser) return TStartLocksResult::Taken;
    locks.LockFile = std::make_unique<TLockFile>(programDir + locks.ComputerName + ".lck");
    if (locks.LockFile->Create()) return TStartLocksResult::Taken;
    if (locks.LockFile->Error() == 0) return TStartLocksResult::AnotherCopyRuns;
    error = "cannot create the lock file " + locks.LockFile->FileName() + ": " +
            std::strerror(locks.LockFile->Error());
    return TStartLocksResult::Failed;
}
