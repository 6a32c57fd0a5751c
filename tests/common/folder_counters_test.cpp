#include "common/folder_counters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "common/settings.h"
#include "test_support.h"

namespace {

void MakeFolder(const std::string& path) { mkdir(path.c_str(), 0755); }

TEST(FolderCounters, InboxCountsEveryFileBelowButNoHiddenOrLinkedFolders) {
    TTempDir dir;
    std::string inbox = dir.Path() + "INBOX/";
    MakeFolder(inbox);
    MakeFolder(inbox + "ABC");
    MakeFolder(inbox + "ABC/deeper");
    MakeFolder(inbox + ".hidden");
    WriteFile(inbox + "a.txt", "");
    WriteFile(inbox + "ABC/b.txt", "");
    WriteFile(inbox + "ABC/deeper/c", "");
    WriteFile(inbox + ".secret", "");
    WriteFile(inbox + ".hidden/d.txt", "");
    ASSERT_EQ(symlink((inbox + "ABC").c_str(), (inbox + "loop").c_str()), 0);
    ASSERT_EQ(symlink((inbox + "a.txt").c_str(), (inbox + "a-link.txt").c_str()), 0);

    EXPECT_EQ(CountFilesRecursive(inbox), 4);  // a, b, c and the link to a file
    EXPECT_EQ(CountFilesRecursive(dir.Path() + "missing/"), 0);
}

TEST(FolderCounters, OutboxCountsDirectFilesWithAcceptedExtension) {
    TTempDir dir;
    MakeFolder(dir.Path() + "SUB");
    WriteFile(dir.Path() + "SUB/x.TXT", "");
    WriteFile(dir.Path() + "A1.TXT", "");
    WriteFile(dir.Path() + "A2.edi", "");
    WriteFile(dir.Path() + "NOEXT", "");
    std::vector<std::string> seen;
    long n = CountFilesWithExtension(dir.Path(), [&](const std::string& ext) {
        seen.push_back(ext);
        return ext == ".TXT";
    });
    EXPECT_EQ(n, 1);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"", ".TXT", ".edi"}));
    EXPECT_EQ(CounterCaption("Outbox", n), "Outbox (1)");
}

class RefreshCountersTest : public testing::Test {
  protected:
    void SetUp() override {
        ProgramInfo.InboxPath = dir.Path() + "INBOX/";
        ProgramInfo.OutboxPath = dir.Path() + "OUTBOX/";
        ProgramInfo.ErrorPath = dir.Path() + "ERROR/";
        for (auto* folder :
             {&ProgramInfo.InboxPath, &ProgramInfo.OutboxPath, &ProgramInfo.ErrorPath})
            MakeFolder(*folder);
        ImportExtensions.Clear();
        ImportExtensions.Add("TXT=1");
        ImportExtensions.Add("EDI=0");
    }
    void TearDown() override {
        SetCounterSink({});
        ImportExtensions.Clear();
    }
    TTempDir dir;
};

TEST_F(RefreshCountersTest, DisabledExtensionsAreNotCountedAndTheSinkGetsTheCounts) {
    MakeFolder(ProgramInfo.InboxPath + "ABC");
    WriteFile(ProgramInfo.InboxPath + "ABC/in.edi", "");
    WriteFile(ProgramInfo.InboxPath + "in.txt", "");
    WriteFile(ProgramInfo.OutboxPath + "A1.txt", "");
    WriteFile(ProgramInfo.OutboxPath + "A2.EDI", "");
    WriteFile(ProgramInfo.ErrorPath + "E1.TXT", "");
    WriteFile(ProgramInfo.ErrorPath + "E2.doc", "");

    RefreshCounters();  // no sink yet: counts go nowhere
    std::vector<TFolderCounts> got;
    SetCounterSink([&](const TFolderCounts& c) { got.push_back(c); });
    RefreshCounters();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Inbox, 2);
    EXPECT_EQ(got[0].Outbox, 1);
    EXPECT_EQ(got[0].Error, 1);
}

TEST_F(RefreshCountersTest, WorkersMayCountWhileTheSinkIsReplaced) {
    std::atomic<int> calls{0};
    std::thread worker([] {
        for (int i = 0; i < 200; ++i) RefreshCounters();
    });
    for (int i = 0; i < 50; ++i) {
        SetCounterSink([&](const TFolderCounts&) { ++calls; });
        SetCounterSink({});
    }
    worker.join();
    SUCCEED();
}

}  // namespace
