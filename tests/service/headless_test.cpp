// Message boxes without an operator.

#include "service/headless.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/syslog.h"
#include "common/test_support.h"

namespace {

TEST(HeadlessOperatorView, EveryBoxTakesItsDefaultAndIsLoggedOnOneLine) {
    TTempDir dir;
    ASSERT_TRUE(OpenLog(dir.Path() + "LOG/", 1));
    std::ostringstream out;
    THeadlessOperatorView view(out);

    EXPECT_EQ(view.MessageBox(TMsgKind::Confirmation, "Perform Housekeeping now?", "",
                              TMsgButtons::YesNo),
              TMsgAnswer::Yes);
    EXPECT_EQ(view.MessageBox(TMsgKind::Information,
                              "If you want to close application now, please disconnect the "
                              "internet connection manually.\n\rClose now?",
                              "", TMsgButtons::YesNo),
              TMsgAnswer::Yes);
    EXPECT_EQ(view.MessageBox(TMsgKind::Confirmation, "Upgrade?\r\n\r\nClick 'OK'", "Upgrade",
                              TMsgButtons::OKCancel),
              TMsgAnswer::OK);
    EXPECT_EQ(view.MessageBox(TMsgKind::Error, "Disk full", "", TMsgButtons::OK), TMsgAnswer::OK);
    const std::string logName = LogFileName();
    CloseLog();

    EXPECT_EQ(out.str(),
              "quillbern-dovrant: Message box: Perform Housekeeping now? - answered Yes\n"
              "quillbern-dovrant: Message box: If you want to close application now, please "
              "disconnect the internet connection manually. Close now? - answered Yes\n"
              "quillbern-dovrant: Message box \"Upgrade\": Upgrade? Click 'OK' - answered OK\n"
              "quillbern-dovrant: Message box: Disk full\n");
    const auto lines = LogMessages(logName);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Message box: Perform Housekeeping now? - answered Yes");
    EXPECT_EQ(lines[3], "Message box: Disk full");

    // Before a log is open the box still reaches standard error.
    std::ostringstream early;
    THeadlessOperatorView(early).MessageBox(TMsgKind::Error, "No USER.INI", "", TMsgButtons::OK);
    EXPECT_EQ(early.str(), "quillbern-dovrant: Message box: No USER.INI\n");
}

}  // namespace
