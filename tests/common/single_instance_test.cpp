#include "common/single_instance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "common/base/clock.h"
#include "common/base/fileutil.h"
#include "test_support.h"

namespace {

TEST(InstanceMutex, SecondHolderFindsItAlreadyThere) {
    TTempDir dir;
    std::string path = dir.Path() + "Quillbern DVR.lock";
    EXPECT_EQ(CreateInstanceMutex(path), TInstanceMutex::Created);
    EXPECT_EQ(CreateInstanceMutex(path), TInstanceMutex::AlreadyExists);
    EXPECT_EQ(CreateInstanceMutex(dir.Path() + "missing/x.lock"), TInstanceMutex::Failed);
}

TEST(InstanceMutex, LivesInTheRuntimeFolderOrInAPrivateFolderUnderTmp) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    std::string keep = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(InstanceLockPath(kInstanceMutexName), "/run/user/1000/Quillbern DVR.lock");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceLockPath(kInstanceMutexName),
              "/tmp/quillbern-dovrant-" + std::to_string(getuid()) + "/Quillbern DVR.lock");
    if (saved) setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

TEST(InstanceMutex, TheFolderMustBeThisUsersAlone) {
    const std::string folderName = "quillbern-dovrant-" + std::to_string(getuid());
    TTempDir dir;
    const std::string own = dir.Path() + folderName;
    EXPECT_EQ(CreateInstanceMutex(own + "/Quillbern DVR.lock"), TInstanceMutex::Created);
    struct stat st {};
    ASSERT_EQ(lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A folder others may write to, a link, or another user's folder could hold a file
    // planted to block the gateway: no lock is taken there.
    const std::string open = dir.Path() + "open/", linked = dir.Path() + "linked/";
    const std::string theirs = dir.Path() + "theirs/";
    for (const std::string& base : {open, linked, theirs}) ForceDirectories(base);
    ASSERT_EQ(mkdir((open + folderName).c_str(), 0700), 0);
    chmod((open + folderName).c_str(), 0777);
    ASSERT_EQ(symlink(own.c_str(), (linked + folderName).c_str()), 0);
    ASSERT_EQ(mkdir((theirs + folderName).c_str(), 0700), 0);
    const bool foreign = geteuid() == 0 && chown((theirs + folderName).c_str(), kNobody, 0) == 0;
    for (const std::string& base : {open, linked, theirs}) {
        if (base == theirs && !foreign) continue;
        EXPECT_EQ(CreateInstanceMutex(base + folderName + "/x.lock"), TInstanceMutex::Failed);
        EXPECT_FALSE(FileExists(base + folderName + "/x.lock")) << base;
    }
}

TEST(LockFile, HeldFileKeepsOthersOutForFifteenAttemptsThenIsDeletedOnRelease) {
    TTempDir dir;
    std::string name = dir.Path() + "PC1.lck";
    TLockFile first(name);
    ASSERT_TRUE(first.Create());
    EXPECT_TRUE(FileExists(name));

    std::vector<int> sleeps;
    TLockFile second(name, [&](int ms) { sleeps.push_back(ms); });
    EXPECT_FALSE(second.Create());
    EXPECT_EQ(sleeps, std::vector<int>(14, 200));  // 15 attempts, 200 ms apart

    first.Delete();
    EXPECT_FALSE(first.Held());
    EXPECT_FALSE(FileExists(name));
    sleeps.clear();
    EXPECT_TRUE(second.Create());
    EXPECT_TRUE(sleeps.empty());
}

TEST(LockFile, WaitsGoThroughTheProgramClock) {
    TTempDir dir;
    TLockFile holder(dir.Path() + "PC1.lck");
    ASSERT_TRUE(holder.Create());
    TManualClock clock(100.0);
    SetClock(&clock);
    TLockFile second(dir.Path() + "PC1.lck");
    EXPECT_FALSE(second.Create());
    SetClock(nullptr);
    EXPECT_NEAR((clock.Now() - 100.0) * 86400000.0, 14 * 200, 1);
}

TEST(LockFile, ExistingStaleFileIsTakenOver) {
    TTempDir dir;
    std::string name = dir.Path() + "PC1.lck";
    WriteFile(name, "");
    TLockFile lock(name, [](int) {});
    EXPECT_TRUE(lock.Create());
}

TEST(LockFile, DeleteWithoutHoldingLeavesAnotherCopysFile) {
    TTempDir dir;
    std::string name = dir.Path() + "PC1.lck";
    TLockFile holder(name);
    ASSERT_TRUE(holder.Create());
    TLockFile multiUser(name);  // never created: multi-user mode
    multiUser.Delete();
    EXPECT_TRUE(FileExists(name));
    holder.Delete();
    WriteFile(name, "");
    multiUser.Delete();  // nobody holds it any more
    EXPECT_FALSE(FileExists(name));
}

TEST(LockFile, EveryUserOfTheInstallationMayOpenItWhateverTheUmask) {
    TTempDir dir;
    const std::string name = dir.Path() + "PC1.lck";
    const mode_t saved = umask(077);
    TLockFile lock(name);
    const bool created = lock.Create();
    umask(saved);
    ASSERT_TRUE(created);
    struct stat st {};
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
}

TEST(LockFile, ReleaseLeavesAFileThatTookTheNameMeanwhile) {
    TTempDir dir;
    const std::string name = dir.Path() + "PC1.lck";
    TLockFile first(name);
    ASSERT_TRUE(first.Create());
    // The file went (an operator removed it) and another copy made and holds a new one.
    unlink(name.c_str());
    TLockFile second(name, [](int) {});
    ASSERT_TRUE(second.Create());
    first.Delete();
    EXPECT_FALSE(first.Held());
    EXPECT_TRUE(FileExists(name));
    TLockFile third(name, [](int) {});
    EXPECT_FALSE(third.Create());
    second.Delete();
    EXPECT_FALSE(FileExists(name));
}

TEST(StaleLockSweep, AFileItCannotOpenCountsAsHeld) {
    TTempDir dir;
    WriteFile(dir.Path() + "OTHERPC.lck", "");
    chmod((dir.Path() + "OTHERPC.lck").c_str(), 0);
    chmod(dir.Path().c_str(), 0777);  // the sweeper could unlink it
    EXPECT_TRUE(RunUnprivileged([&] { return SweepStaleLocks(dir.Path()) == 1; }));
    EXPECT_TRUE(FileExists(dir.Path() + "OTHERPC.lck"));
}

TEST(StaleLockSweep, DeletesUnheldLockFilesOnlyAndCountsHeldOnes) {
    TTempDir dir;
    WriteFile(dir.Path() + "CRASHED.LCK", "");
    WriteFile(dir.Path() + "old.lck", "");
    WriteFile(dir.Path() + "notes.txt", "");
    TLockFile running(dir.Path() + "OTHERPC.lck");
    ASSERT_TRUE(running.Create());

    EXPECT_EQ(SweepStaleLocks(dir.Path()), 1);
    EXPECT_FALSE(FileExists(dir.Path() + "CRASHED.LCK"));
    EXPECT_FALSE(FileExists(dir.Path() + "old.lck"));
    EXPECT_TRUE(FileExists(dir.Path() + "OTHERPC.lck"));
    EXPECT_TRUE(FileExists(dir.Path() + "notes.txt"));

    running.Delete();
    EXPECT_EQ(SweepStaleLocks(dir.Path()), 0);
    EXPECT_EQ(SweepStaleLocks(dir.Path() + "missing/"), 0);
}

TEST(ProgramEntryFacts, ProgramFolderAndComputerName) {
    std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(DirectoryExists(folder));
    std::string name = ReadComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u);
}

}  // namespace
