// What a killed run left behind goes at the next start; nothing else does.

#include "common/leftovers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "common/base/fileutil.h"
#include "common/settings.h"
#include "common/test_support.h"

namespace {

TEST(Leftovers, TheGatewaysOwnWorkFilesGoUnlessHeldAndEverythingElseStays) {
    TTempDir dir;
    TSettings settings;
    TProgramInfo& p = settings.ProgramInfo;
    p.OutboxPath = dir.Path() + "OUTBOX/";
    p.InboxPath = dir.Path() + "INBOX/";
    p.SentboxPath = dir.Path() + "SENTBOX/";
    p.ErrorPath = dir.Path() + "ERROR/";
    const std::vector<std::string> gone = {"OUTBOX/~qb12AB/",     "OUTBOX/.dvr-a1b2c3",
                                           "INBOX/.dvr-000001",   "INBOX/ORDERS/2026/.dvr-000002",
                                           "SENTBOX/.dvr-000003", "ERROR/.dvr-000004"};
    const std::vector<std::string> kept = {
        "OUTBOX/A1.TXT",
        "OUTBOX/.dvr-held01",
        "OUTBOX/.dvr-toolong1",
        "OUTBOX/~qbuser.txt",
        "INBOX/~qb77EE/MsgBody.txt",  // a kept message of the receive journal
        "INBOX/~qb77EE/.dvr-000005",
        "INBOX/ORDERS/A2.TXT",
        "SENTBOX/A3.TXT",
        "ERROR/.hidden"};
    const auto put = [&dir](const std::string& path, const std::string& bytes) {
        ForceDirectories(ExtractFilePath(dir.Path() + path));
        WriteFile(dir.Path() + path, bytes);
    };
    put("OUTBOX/~qb12AB/HttpBody.txt", "a full copy of the data");
    put("OUTBOX/~qb12AB/A1.msg", "the mail file");
    for (const auto& list : {gone, kept})
        for (const std::string& path : list)
            if (path.back() != '/') put(path, "x");
    // A writer of this very moment still holds its temporary file.
    const int held = ::open((dir.Path() + "OUTBOX/.dvr-held01").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    // A link named like a leftover is not followed or removed through.
    ASSERT_EQ(::symlink((dir.Path() + "SENTBOX/A3.TXT").c_str(),
                        (dir.Path() + "ERROR/.dvr-link00").c_str()),
              0);

    std::vector<std::string> removed = SweepLeftovers(settings);
    std::sort(removed.begin(), removed.end());
    std::vector<std::string> expected;
    for (const std::string& path : gone) expected.push_back(dir.Path() + path);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(removed, expected);
    for (const std::string& path : gone) EXPECT_FALSE(FileExists(dir.Path() + path)) << path;
    EXPECT_FALSE(DirectoryExists(dir.Path() + "OUTBOX/~qb12AB"));
    for (const std::string& path : kept) EXPECT_TRUE(FileExists(dir.Path() + path)) << path;
    EXPECT_EQ(ReadFile(dir.Path() + "SENTBOX/A3.TXT"), "x");
    ::close(held);
    // Let go of, the held one is a leftover too.
    EXPECT_EQ(SweepLeftovers(settings),
              std::vector<std::string>{dir.Path() + "OUTBOX/.dvr-held01"});
}

TEST(Leftovers, AFileKeptAsSentGoesToTheSentboxUnderAFreeName) {
    TTempDir dir;
    TSettings settings;
    settings.ProgramInfo.OutboxPath = dir.Path() + "OUTBOX/";
    settings.ProgramInfo.SentboxPath = dir.Path() + "SENTBOX/";
    settings.ImportExtensions.Add("TXT=1");
    ForceDirectories(dir.Path() + "OUTBOX/");
    ForceDirectories(dir.Path() + "SENTBOX/");
    WriteFile(dir.Path() + "OUTBOX/A1.TXT.sent", "one");
    WriteFile(dir.Path() + "OUTBOX/A2.TXT.sent", "two");
    WriteFile(dir.Path() + "SENTBOX/A2.TXT", "an older A2");
    // Not names the gateway sends, or not a file: not ours to move.
    WriteFile(dir.Path() + "OUTBOX/NOTES.sent", "the user's");
    ASSERT_EQ(::symlink((dir.Path() + "OUTBOX/A1.TXT.sent").c_str(),
                        (dir.Path() + "OUTBOX/A3.TXT.sent").c_str()),
              0);

    SweepLeftovers(settings);
    EXPECT_EQ(ReadFile(dir.Path() + "SENTBOX/A1.TXT"), "one");
    EXPECT_EQ(ReadFile(dir.Path() + "SENTBOX/A2_1.TXT"), "two");
    EXPECT_EQ(ReadFile(dir.Path() + "SENTBOX/A2.TXT"), "an older A2");
    EXPECT_EQ(FolderEntries(dir.Path() + "OUTBOX/"),
              (std::vector<std::string>{"A3.TXT.sent", "NOTES.sent"}));

    // A Sentbox that still cannot take it leaves it where it is.
    WriteFile(dir.Path() + "OUTBOX/A4.TXT.sent", "four");
    settings.ProgramInfo.SentboxPath = dir.Path() + "SENTBOX/A1.TXT/";
    SweepLeftovers(settings);
    EXPECT_EQ(ReadFile(dir.Path() + "OUTBOX/A4.TXT.sent"), "four");
}

}  // namespace
