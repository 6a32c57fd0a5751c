#include "common/single_instance.h"

#include <gtest/gtest.h>

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

TEST(InstanceMutex, LivesInTheRuntimeFolderOrInTmpPerUser) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    std::string keep = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(InstanceLockPath(kInstanceMutexName), "/run/user/1000/Quillbern DVR.lock");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceLockPath(kInstanceMutexName),
              "/tmp/Quillbern DVR-" + std::to_string(getuid()) + ".lock");
    if (saved) setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
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
