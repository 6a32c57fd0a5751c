// The mark of the Inbox journal: when it cannot be made, no delete goes out, and the log says
// which file and why.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "common/settings.h"
#include "common/test_support.h"
#include "transfer/inbox_journal.h"

namespace {

TEST(InboxMark, AMarkThatCannotBeMadeStopsTheDeleteAndIsNamedWithItsCause) {
    TTempDir dir;
    TSettings settings;
    settings.ProgramInfo.InboxPath = dir.Path() + "INBOX/";
    std::vector<std::string> lines;
    TInboxJournal journal(settings, [&](const std::string& line, int) { lines.push_back(line); });

    // No descriptor is left when the work folder is made: the mark cannot be opened.
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit none = saved;
    none.rlim_cur = static_cast<rlim_t>(lowest);
    setrlimit(RLIMIT_NOFILE, &none);
    const std::string copy = journal.NewCopy();
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_FALSE(journal.MarkDeleteSent("MSG1"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "Recv: Delete Message not sent: the kept message could not be marked. Reason: " +
                  journal.WorkFolder() + "Deleting.txt: Too many open files");
}

}  // namespace
