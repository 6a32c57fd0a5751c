#include "common/housekeeping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "common/base/fileutil.h"
#include "common/base/unique_handle.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "tests/common/test_support.h"

namespace {

// Housekeeping on 31 January 2024, 17:00, with the log at level 2.
class Housekeeping : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock);
        SetOperatorView(&view);
        const std::string base = dir.Path();
        ProgramInfo.InboxPath = base + "INBOX/";
        ProgramInfo.SentboxPath = base + "SENTBOX/";
        ProgramInfo.LogPath = base + "LOG/";
        for (const std::string& f : {ProgramInfo.InboxPath, ProgramInfo.SentboxPath})
            ForceDirectories(f);
        ASSERT_TRUE(OpenLog(ProgramInfo.LogPath, 2));
        UserIni = std::make_unique<TIniFile>(base + "USER.INI");
        HousekeepInfo = THousekeepInfo{false, 14, EncodeDate(2024, 1, 1), 30, 14, 90};
        ImportExtensions.Add("TXT=1");
        HousekeepNow = false;
    }
    void TearDown() override {
        ReleaseSettings();
        SetOperatorView(nullptr);
        SetClock(nullptr);
    }
    // A file whose last change was at value.
    std::string Make(const std::string& path, TDateTime value) {
        WriteFile(path, "x");
        SetModified(path, value);
        return path;
    }
    std::vector<std::string> Log() { return LogMessages(LogFileName()); }
    bool Logged(const std::string& line) {
        std::vector<std::string> log = Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    TManualClock clock{EncodeDate(2024, 1, 31) + EncodeTime(17, 0, 0, 0)};
    TScriptedView view;
    TTempDir dir;
    const TDateTime jan1 = EncodeDate(2024, 1, 1);
};

}  // namespace

TEST_F(Housekeeping, TheCutOffDayItselfStays) {
    const std::string inbox = ProgramInfo.InboxPath;
    const std::string old = Make(inbox + "OLD.TXT", jan1 - 1 / kMsPerDay);
    const std::string atCut = Make(inbox + "ATCUT.TXT", jan1);
    const std::string later = Make(inbox + "LATER.DAT", jan1 + EncodeTime(8, 0, 0, 0));
    ForceDirectories(inbox + "SUB");
    const std::string below = Make(inbox + "SUB/DEEP.TXT", jan1 - 5);
    EXPECT_EQ(PurgeFolder("Inbox", inbox, ".*", Date() - 30), 0);
    EXPECT_FALSE(FileExists(old));
    EXPECT_TRUE(FileExists(atCut));
    EXPECT_TRUE(FileExists(later));
    EXPECT_TRUE(FileExists(below));
    EXPECT_EQ(Log(), (std::vector<std::string>{"Purge Inbox - before 2024/01/01",
                                               "Purge Inbox(" + inbox + ") - 1 file(s) deleted."}));
}

TEST_F(Housekeeping, SentboxKeepsForeignFilesAndTheLogFolderKeepsOthers) {
    const std::string sent = ProgramInfo.SentboxPath, logs = ProgramInfo.LogPath;
    const std::string sentTxt = Make(sent + "A1.TXT", jan1 - 100);
    const std::string foreign = Make(sent + "A1.PDF", jan1 - 100);
    const std::string oldLog = Make(logs + "20230101000000001.log", jan1 - 100);
    const std::string oldUpper = Make(logs + "OLD.LOG", jan1 - 100);
    const std::string other = Make(logs + "notes.txt", jan1 - 100);
    EXPECT_EQ(PurgeFolder("Sentbox", sent, ".*", jan1), 0);
    EXPECT_EQ(PurgeFolder("System log", logs, ".LOG", jan1), 0);
    EXPECT_FALSE(FileExists(sentTxt));
    EXPECT_TRUE(FileExists(foreign));
    EXPECT_FALSE(FileExists(oldLog));
    EXPECT_FALSE(FileExists(oldUpper));
    EXPECT_TRUE(FileExists(other));
    EXPECT_TRUE(FileExists(LogFileName()));
    EXPECT_TRUE(Logged("Purge System log(" + logs + ") - 2 file(s) deleted."));
    EXPECT_EQ(PurgeFolder("Inbox", dir.Path() + "missing/", ".*", jan1), 0);
    EXPECT_TRUE(Logged("Purge Inbox(" + dir.Path() + "missing/) - no file was deleted."));
}

TEST_F(Housekeeping, AFileThatCannotBeDeletedIsLoggedAndSkipped) {
    ForceDirectories(dir.Path() + "RO");
    const std::string file = Make(dir.Path() + "RO/A.TXT", jan1 - 10);
    chmod((dir.Path() + "RO").c_str(), 0555);
    if (geteuid() != 0) {
        EXPECT_EQ(PurgeFolder("Inbox", dir.Path() + "RO/", ".*", jan1), 0);
    } else {
        // Root may delete anything: the purge runs in a child without privileges instead, which
        // writes to the same open log.
        chmod(dir.Path().c_str(), 0755);
        pid_t child = fork();
        if (child == 0) {
            if (setuid(65534) != 0) _exit(2);
            _exit(PurgeFolder("Inbox", dir.Path() + "RO/", ".*", jan1) == 0 ? 0 : 1);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    chmod((dir.Path() + "RO").c_str(), 0755);
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(Logged("Purge: Unable to delete file: " + file));
    EXPECT_TRUE(Logged("Purge Inbox(" + dir.Path() + "RO/) - no file was deleted."));
}

TEST_F(Housekeeping, FilesThatMustStayAreSkippedOneByOneAndThePurgeGoesOn) {
    const std::string inbox = ProgramInfo.InboxPath;
    const std::string readOnly = Make(inbox + "RO.TXT", jan1 - 10);
    chmod(readOnly.c_str(), 0444);
    const std::string held = Make(inbox + "HELD.TXT", jan1 - 10);
    TUniqueFd writer(open(held.c_str(), O_WRONLY | O_APPEND));  // a program still writing it
    ASSERT_TRUE(writer);
    const std::string loop1 = inbox + "LOOP1.TXT", loop2 = inbox + "LOOP2.TXT";
    const std::string dangling = inbox + "DANGLING.TXT";
    symlink(loop2.c_str(), loop1.c_str());
    symlink(loop1.c_str(), loop2.c_str());
    symlink((inbox + "missing").c_str(), dangling.c_str());
    for (const std::string& link : {loop1, loop2, dangling}) {
        const timespec old[2] = {{TimeTFromDateTime(jan1 - 10), 0},
                                 {TimeTFromDateTime(jan1 - 10), 0}};
        utimensat(AT_FDCWD, link.c_str(), old, AT_SYMLINK_NOFOLLOW);
    }
    const std::string plain = Make(inbox + "PLAIN.TXT", jan1 - 10);

    EXPECT_EQ(PurgeFolder("Inbox", inbox, ".*", jan1), 0);
    EXPECT_FALSE(FileExists(plain));
    struct stat st {};
    for (const std::string& path : {readOnly, held, loop1, loop2, dangling}) {
        EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
        EXPECT_TRUE(Logged("Purge: Unable to delete file: " + path)) << path;
    }
    EXPECT_TRUE(Logged("Purge Inbox(" + inbox + ") - 1 file(s) deleted."));
}

TEST_F(Housekeeping, TheRunningLogStaysEvenWhenEveryLogIsDue) {
    // Each line written dates the running log by the machine's clock: the purge runs an hour
    // ahead of it, so the cut-off (tomorrow) lies after every such date.
    TSystemClock machine;
    clock.Set(machine.Now() + EncodeTime(1, 0, 0, 0));
    const std::string running = LogFileName();
    const std::string older = Make(ProgramInfo.LogPath + "20240130090000000.log", Date() - 1);
    HousekeepInfo.SystemLogDays = -1;  // SYSTEMLOG=-1: every log is older than the cut-off
    HousekeepNow = true;
    CheckHousekeeping();
    EXPECT_TRUE(FileExists(running));
    EXPECT_FALSE(FileExists(older));
    EXPECT_TRUE(Logged("Purge: Unable to delete file: " + running));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(Housekeeping, AFileWithAnAbsurdDateIsSkippedByName) {
    // The dates need a file system that stores any time stamp, as tmpfs does.
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/dev/shm", 1);
    TTempDir shm;
    if (saved)
        setenv("TMPDIR", keep.c_str(), 1);
    else
        unsetenv("TMPDIR");
    const std::string plain = Make(shm.Path() + "PLAIN.TXT", jan1 - 10);
    // The year 11983, and one before the year 1.
    const std::vector<std::pair<std::string, time_t>> absurd = {
        {shm.Path() + "FUTURE.TXT", 316000000000}, {shm.Path() + "PAST.TXT", -70000000000}};
    struct stat st {};
    for (const auto& [path, date] : absurd) {
        WriteFile(path, "x");
        const timespec times[2] = {{date, 0}, {date, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        if (stat(path.c_str(), &st) != 0 || st.st_mtim.tv_sec != date)
            GTEST_SKIP() << "no file system for far dates";
    }
    EXPECT_EQ(PurgeFolder("Inbox", shm.Path(), ".*", jan1), 0);
    EXPECT_FALSE(FileExists(plain));
    for (const auto& [path, date] : absurd) {
        EXPECT_TRUE(FileExists(path));
        EXPECT_TRUE(Logged("Purge: Unable to delete file: " + path));
    }
}

TEST_F(Housekeeping, TheQuestionComesAfterTheFullInterval) {
    HousekeepInfo.AutoPurge = true;
    HousekeepInfo.LastPurge = Date() - 13;
    CheckHousekeeping();
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(Logged("Check housekeeping - purge file every 14 day(s)"));

    HousekeepInfo.LastPurge = Date() - 14;
    view.answers = {TMsgAnswer::No};
    CheckHousekeeping();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Perform Housekeeping now?");
    EXPECT_EQ(view.boxes[0].kind, TMsgKind::Confirmation);
    EXPECT_EQ(view.boxes[0].buttons, TMsgButtons::YesNo);
    EXPECT_EQ(UserIni->ReadString("HOUSEKEEP", "LAST_PURGE", "unset"), "unset");
    EXPECT_TRUE(Logged("Check housekeeping - last housekeeping date is 2024/01/17"));

    view.answers = {TMsgAnswer::Yes};
    CheckHousekeeping();
    EXPECT_EQ(UserIni->ReadInteger("HOUSEKEEP", "LAST_PURGE", 0), static_cast<int>(Date()));
    EXPECT_EQ(view.boxes.size(), 2u);  // no error box after a clean run
}

TEST_F(Housekeeping, NothingHappensWithoutAutoPurgeOrRequest) {
    CheckHousekeeping();
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(Housekeeping, AManualRequestPurgesEveryGroupWithoutAsking) {
    const std::string sub = dir.Path() + "IN/ABC/";
    ForceDirectories(sub);
    InboxLocations.Add("ABC= " + dir.Path() + "IN/ABC ");
    InboxLocations.Add("EMPTY=");
    const std::string subOld = Make(sub + "ABC-1.TXT", jan1 - 1);
    HousekeepNow = true;
    CheckHousekeeping();
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_FALSE(FileExists(subOld));
    std::vector<std::string> log = Log();
    const std::vector<std::string> expected = {
        "Perform housekeep manually.",
        "Purge Inbox - before 2024/01/01",
        "Purge Inbox(" + ProgramInfo.InboxPath + ") - no file was deleted.",
        "Purge Inbox - before 2024/01/01",
        "Purge Inbox(" + sub + ") - 1 file(s) deleted.",
        "Purge Sentbox - before 2024/01/17",
        "Purge Sentbox(" + ProgramInfo.SentboxPath + ") - no file was deleted.",
        "Purge System log - before 2023/11/02",
        "Purge System log(" + ProgramInfo.LogPath + ") - no file was deleted."};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(UserIni->ReadInteger("HOUSEKEEP", "LAST_PURGE", 0), EncodeDate(2024, 1, 31));
}

TEST_F(Housekeeping, AnUnwritableSettingsFileStillEndsWithTheReport) {
    // A folder where USER.INI should be: LAST_PURGE cannot be written.
    ForceDirectories(dir.Path() + "USER.INI");
    HousekeepNow = true;
    CheckHousekeeping();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text,
              "Error found when perform housekeeping. Please check log file for details.");
    EXPECT_EQ(view.boxes[0].kind, TMsgKind::Information);
}
