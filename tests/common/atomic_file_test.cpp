// The atomic writer: a file appears whole or not at all, whatever step fails.

#include "common/base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_support.h"

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

struct TFaultGuard {
    ~TFaultGuard() { SetAtomicWriteFault({}); }
};

TEST(AtomicFileTest, AFailureAtAnyStepLeavesThePreviousFileAndNoTemporaryFile) {
    TTempDir dir;
    const std::string target = dir.Path() + "USER.INI";
    TFaultGuard guard;
    for (TAtomicStep failing :
         {TAtomicStep::Create, TAtomicStep::Write, TAtomicStep::Fsync, TAtomicStep::Rename}) {
        for (int error : {ENOSPC, EIO}) {
            WriteFile(target, "old contents");
            SetAtomicWriteFault([&](TAtomicStep step) { return step == failing ? error : 0; });
            try {
                WriteFileAtomic(target, std::string(100000, 'n'));
                ADD_FAILURE() << "no error at step " << int(failing);
            } catch (const EAtomicWriteError& e) {
                EXPECT_EQ(e.Errno, error);
                EXPECT_NE(std::string(e.what()).find(target), std::string::npos);
            }
            EXPECT_EQ(ReadFile(target), "old contents");
            EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"USER.INI"});
        }
    }
    SetAtomicWriteFault({});
    WriteFileAtomic(target, "new");
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"USER.INI"});
}

TEST(AtomicFileTest, ModesFollowTheReplacedFileOrTheUmask) {
    TTempDir dir;
    const std::string kept = dir.Path() + "kept";
    WriteFile(kept, "x");
    chmod(kept.c_str(), 0640);
    WriteFileAtomic(kept, "y");
    EXPECT_EQ(ModeOf(kept), 0640u);

    const mode_t old = umask(027);
    WriteFileAtomic(dir.Path() + "fresh", "z");
    umask(old);
    EXPECT_EQ(ModeOf(dir.Path() + "fresh"), 0640u);
}

TEST(AtomicFileTest, ASymbolicLinkAtTheTargetIsReplacedNotFollowed) {
    TTempDir dir;
    const std::string elsewhere = dir.Path() + "elsewhere";
    WriteFile(elsewhere, "must stay");
    symlink(elsewhere.c_str(), (dir.Path() + "a.txt").c_str());
    WriteFileAtomic(dir.Path() + "a.txt", "delivered");
    EXPECT_EQ(ReadFile(elsewhere), "must stay");
    EXPECT_FALSE(std::filesystem::is_symlink(dir.Path() + "a.txt"));
    EXPECT_EQ(ReadFile(dir.Path() + "a.txt"), "delivered");
}

TEST(AtomicFileTest, CopyKeepsBytesAndModificationTimeAndFailsWithoutTouchingTheTarget) {
    TTempDir dir;
    std::string bytes;
    for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7);
    WriteFile(dir.Path() + "A100.TXT", bytes);
    SetModified(dir.Path() + "A100.TXT", EncodeDate(2020, 2, 29) + EncodeTime(13, 14, 15, 0));
    CopyFileAtomic(dir.Path() + "A100.TXT", dir.Path() + "copy");
    EXPECT_EQ(ReadFile(dir.Path() + "copy"), bytes);
    TDateTime modified = 0;
    ASSERT_TRUE(FileModifiedTime(dir.Path() + "copy", modified));
    EXPECT_EQ(FormatDateTime("yyyy/MM/dd hh:nn:ss", modified), "2020/02/29 13:14:15");

    TFaultGuard guard;
    SetAtomicWriteFault([](TAtomicStep step) { return step == TAtomicStep::Write ? ENOSPC : 0; });
    EXPECT_THROW(CopyFileAtomic(dir.Path() + "A100.TXT", dir.Path() + "copy"), EAtomicWriteError);
    EXPECT_EQ(ReadFile(dir.Path() + "copy"), bytes);
    EXPECT_THROW(CopyFileAtomic(dir.Path() + "missing", dir.Path() + "copy2"), EAtomicWriteError);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "copy2"));
}

}  // namespace

namespace {

TEST(AtomicFileTest, AMoveLeavesTheFileInExactlyOnePlace) {
    TTempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir.Path() + "SENTBOX"));
    WriteFile(dir.Path() + "A1.TXT", "payload");
    WriteFile(dir.Path() + "SENTBOX/A1.TXT", "older copy");
    MoveFileAtomic(dir.Path() + "A1.TXT", dir.Path() + "SENTBOX/A1.TXT");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "A1.TXT"));
    EXPECT_EQ(ReadFile(dir.Path() + "SENTBOX/A1.TXT"), "payload");

    WriteFile(dir.Path() + "A2.TXT", "stays");
    TFaultGuard guard;
    SetAtomicWriteFault([](TAtomicStep step) { return step == TAtomicStep::Rename ? EIO : 0; });
    EXPECT_THROW(MoveFileAtomic(dir.Path() + "A2.TXT", dir.Path() + "SENTBOX/A2.TXT"),
                 EAtomicWriteError);
    EXPECT_EQ(ReadFile(dir.Path() + "A2.TXT"), "stays");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "SENTBOX/A2.TXT"));
}

TEST(AtomicFileTest, TheIfFreeFormsNeverReplaceAFileAndLeaveNoTemporaryFile) {
    TTempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir.Path() + "OUTBOX"));
    const std::string out = dir.Path() + "OUTBOX/";
    WriteFile(dir.Path() + "A1.TXT", "retried");
    WriteFile(out + "A1.TXT", "waiting");
    EXPECT_FALSE(CopyFileAtomicIfFree(dir.Path() + "A1.TXT", out + "A1.TXT"));
    EXPECT_FALSE(RenameFileIfFree(dir.Path() + "A1.TXT", out + "A1.TXT"));
    EXPECT_EQ(ReadFile(out + "A1.TXT"), "waiting");
    EXPECT_EQ(ReadFile(dir.Path() + "A1.TXT"), "retried");
    EXPECT_EQ(FolderNames(out), std::vector<std::string>{"A1.TXT"});

    EXPECT_TRUE(CopyFileAtomicIfFree(dir.Path() + "A1.TXT", out + "A1_1.TXT"));
    EXPECT_TRUE(RenameFileIfFree(dir.Path() + "A1.TXT", out + "A1_2.TXT"));
    EXPECT_EQ(ReadFile(out + "A1_1.TXT"), "retried");
    EXPECT_EQ(ReadFile(out + "A1_2.TXT"), "retried");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "A1.TXT"));

    // Other failures are raised with their cause, and the source stays.
    WriteFile(dir.Path() + "A3.TXT", "stays");
    TFaultGuard guard;
    SetAtomicWriteFault([](TAtomicStep step) { return step == TAtomicStep::Rename ? EXDEV : 0; });
    try {
        RenameFileIfFree(dir.Path() + "A3.TXT", out + "A3.TXT");
        ADD_FAILURE() << "no error";
    } catch (const EAtomicWriteError& e) {
        EXPECT_EQ(e.Errno, EXDEV);
    }
    EXPECT_EQ(ReadFile(dir.Path() + "A3.TXT"), "stays");
    EXPECT_EQ(FolderNames(out), (std::vector<std::string>{"A1.TXT", "A1_1.TXT", "A1_2.TXT"}));
}

}  // namespace
