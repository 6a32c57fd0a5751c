#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <thread>

#include "common/base/clock.h"
#include "common/base/fileutil.h"
#include "common/base/message_pump.h"
#include "common/folder_counters.h"
#include "common/housekeeping.h"
#include "common/window_messages.h"
#include "window_fixture.h"

namespace {

QStringList Captions(QMenu* menu) {
    QStringList list;
    for (QAction* action : menu->actions())
        list << (action->isSeparator() ? QString("-") : action->text());
    return list;
}

TEST_F(WindowTest, CaptionSizeAndPanels) {
    Open();
    Show();
    EXPECT_EQ(window->windowTitle(), "Quillbern Dovrant ");
    EXPECT_EQ(window->size(), QSize(418, 301));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->Panel1->width(), 71);
    EXPECT_EQ(window->GrpbxSend->title(), " Send ");
    EXPECT_EQ(window->GrpbxRecv->title(), " Receive ");
    EXPECT_FALSE(window->ProgressBar_Send->isVisible());
    EXPECT_FALSE(window->ProgressBar_receive->isVisible());
    EXPECT_FALSE(window->Animate_Send->isVisible());
    EXPECT_FALSE(window->Animate_Receive->isVisible());
    window->Animate_Send->Play();
    EXPECT_TRUE(window->Animate_Send->isVisible());
    window->Animate_Send->Stop();
    EXPECT_FALSE(window->Animate_Send->isVisible());
}

TEST_F(WindowTest, MenusContextMenuAndActions) {
    Open();
    QStringList top;
    for (QAction* action : window->menuBar()->actions()) top << action->text();
    EXPECT_EQ(top, QStringList({"&File", "&Tool", "&About"}));
    EXPECT_EQ(Captions(window->File1),
              QStringList({"&Inbox", "&Outbox", "&Error", "-", "&Failed Files...", "&Log View...",
                           "&History...", "-", "E&xit"}));
    QStringList tool{"&Receive Now",       "-", "R&esume Auto Import",
                     "&Pause Auto Import", "-", "&Option"};
    EXPECT_EQ(Captions(window->Tool1),
              tool + QStringList({"-", "&Notifications", "&Close to Tray"}));
    EXPECT_EQ(Captions(window->PopupMenu), tool);
    EXPECT_EQ(Captions(window->About1), QStringList({"&About"}));
    EXPECT_EQ(window->ReceiveNow->shortcut(), QKeySequence(Qt::Key_F5));
}

TEST_F(WindowTest, F5ReceivesNowWhereverTheFocusIs) {
    Open();
    Show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QSignalSpy spy(window->ReceiveNow, &QAction::triggered);
    QTest::keyClick(window->RightPanel, Qt::Key_F5);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(WindowTest, CountersSkipDisabledExtensionsAndCountInboxSubFolders) {
    std::string base = dir.Path();
    for (const char* folder : {"INBOX", "INBOX/ABC", "OUTBOX", "ERROR"})
        mkdir((base + folder).c_str(), 0755);
    WriteFile(base + "INBOX/r1.txt", "");
    WriteFile(base + "INBOX/ABC/ABC-1.txt", "");
    WriteFile(base + "INBOX/ABC/ABC-2.edi", "");
    WriteFile(base + "OUTBOX/A1.TXT", "");
    WriteFile(base + "OUTBOX/A2.EDI", "");  // extension not enabled
    WriteFile(base + "ERROR/A3.txt", "");
    Open();
    Show();
    EXPECT_EQ(window->lblInboxCnt->text(), "Inbox (3)");
    EXPECT_EQ(window->lblOutboxCnt->text(), "Outbox (1)");
    EXPECT_EQ(window->lblErrorCnt->text(), "Error (1)");

    // A worker counts; the labels change on the main thread.
    WriteFile(base + "OUTBOX/A4.txt", "");
    std::thread worker([] { RefreshCounters(); });
    worker.join();
    EXPECT_EQ(window->lblOutboxCnt->text(), "Outbox (1)");
    QTRY_COMPARE(window->lblOutboxCnt->text(), QString("Outbox (2)"));
}

TEST_F(WindowTest, ThePanelWidensSoLargeCountsAreNotCutOff) {
    Open();
    Show();
    window->Controller().ShowCounters({123456, 1234, 12345});
    for (QLabel* label : {window->lblInboxCnt, window->lblOutboxCnt, window->lblErrorCnt})
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), window->Panel1->width())
            << label->text().toStdString();
    window->Controller().ShowCounters({1, 2, 3});
    EXPECT_EQ(window->Panel1->width(), 71);
}

TEST_F(WindowTest, ProgressMessagesFromWorkersShowTheBars) {
    Open();
    Show();
    std::thread worker([] {
        PostMainWindowMessage(WM_SENDPROGRESS, 0, 40);
        PostMainWindowMessage(1144, 0, 75);
    });
    worker.join();
    QTRY_VERIFY(window->ProgressBar_receive->isVisible());
    EXPECT_TRUE(window->ProgressBar_Send->isVisible());
    EXPECT_EQ(window->ProgressBar_Send->value(), 40);
    EXPECT_EQ(window->ProgressBar_receive->value(), 75);
}

TEST_F(WindowTest, ShowStartsTheTimers) {
    Open();
    Show();
    EXPECT_EQ(window->Timer_Send->Interval(), 5000);
    EXPECT_TRUE(window->Timer_Send->Enabled());
    EXPECT_EQ(window->Timer_RecvSchedule->Interval(), 60000);
    EXPECT_TRUE(window->Timer_RecvSchedule->Enabled());
    EXPECT_EQ(window->Timer_Delay->Interval(), 5 * 60 * 1000);
    EXPECT_FALSE(window->Timer_Delay->Enabled());
    EXPECT_TRUE(Logged("Resume Auto Import"));
}

TEST_F(WindowTest, PauseAndResumeAutoImport) {
    Open();
    Show();
    window->PauseAutoImport->trigger();
    EXPECT_EQ(window->GrpbxSend->title(), " Send (Pause) ");
    EXPECT_FALSE(window->Timer_Send->Enabled());
    EXPECT_FALSE(ProgramInfo.AutoImport);
    EXPECT_FALSE(window->PauseAutoImport->isVisible());
    EXPECT_TRUE(window->ResumeAutoImport->isVisible());
    EXPECT_TRUE(window->ResumeAutoImport->isEnabled());
    EXPECT_TRUE(Logged("Pause Auto Import"));

    // A tick while paused leaves the timer off.
    Fake(window->Timer_Send).Fire();
    EXPECT_FALSE(window->Timer_Send->Enabled());

    window->ResumeAutoImport->trigger();
    EXPECT_EQ(window->GrpbxSend->title(), " Send ");
    EXPECT_TRUE(window->Timer_Send->Enabled());
    EXPECT_TRUE(window->PauseAutoImport->isVisible());
    EXPECT_FALSE(window->ResumeAutoImport->isVisible());
    // The pause is not stored.
    EXPECT_EQ(ReadFile(programDir + "USER.INI"), DefaultUserIni());
}

TEST_F(WindowTest, OpenFolderActionsLogRefreshAndShowTheFolder) {
    Open();
    Show();
    WriteFile(dir.Path() + "ERROR/E1.TXT", "");
    window->btnError->click();
    window->OpenInbox->trigger();
    window->OpenOutbox->trigger();
    EXPECT_EQ(opened, (std::vector<std::string>{dir.Path() + "ERROR/", dir.Path() + "INBOX/",
                                                dir.Path() + "OUTBOX/"}));
    EXPECT_EQ(window->lblErrorCnt->text(), "Error (1)");
    EXPECT_TRUE(Logged("Open Error folder"));
    EXPECT_TRUE(Logged("Open Inbox folder"));
    EXPECT_TRUE(Logged("Open Outbox folder"));
}

TEST_F(WindowTest, CloseIsRefusedWhileACycleRuns) {
    Open();
    Show();
    window->Controller().SendIdle = false;
    HousekeepNow = true;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].kind, TMsgKind::Information);
    EXPECT_EQ(view.boxes[0].buttons, TMsgButtons::OK);
    EXPECT_EQ(view.boxes[0].text,
              "Unable to close application now. Message(s) are being sent or received.");
    EXPECT_FALSE(HousekeepNow);
    EXPECT_TRUE(lockFile->Held());

    window->Controller().SendIdle = true;
    DialIdle = false;  // a dial in progress refuses as well
    EXPECT_FALSE(window->close());
    EXPECT_EQ(view.boxes.size(), 2u);

    DialIdle = true;
    window->Exit1->trigger();  // File > Exit closes through the same handler
    EXPECT_TRUE(window->ClosedDown());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Timer_Send->Enabled());
    EXPECT_FALSE(window->Timer_RecvSchedule->Enabled());
    EXPECT_FALSE(lockFile->Held());
    EXPECT_FALSE(FileExists(programDir + "TESTPC.lck"));
    EXPECT_EQ(Log().back(), "Close program");
}

TEST_F(WindowTest, CloseWithDelayedHangUpPendingAsksFirst) {
    Open();
    Show();
    window->Timer_Delay->SetEnabled(true);
    view.answers = {TMsgAnswer::No, TMsgAnswer::Yes};
    EXPECT_FALSE(window->close());
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text,
              "If you want to close application now, please disconnect the internet "
              "connection manually.\n\rClose now?");
    EXPECT_EQ(view.boxes[0].buttons, TMsgButtons::YesNo);
    EXPECT_TRUE(window->Timer_Delay->Enabled());

    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->Timer_Delay->Enabled());
    auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Close program when internet connection still exists");
    EXPECT_EQ(log.back(), "Close program");
}

TEST_F(WindowTest, ManualHousekeepingRunsAtClose) {
    Open();
    Show();
    HousekeepNow = true;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(Logged("Perform housekeep manually."));
    EXPECT_TRUE(view.boxes.empty());
}

}  // namespace

namespace {

TEST_F(WindowTest, CoreWaitsOnTheMainThreadKeepTheWindowAlive) {
    Open();
    Show();
    // A progress message posted by a worker is handled inside a core wait step.
    std::thread worker([] { PostMainWindowMessage(WM_SENDPROGRESS, 0, 10); });
    worker.join();
    for (int i = 0; i < 50 && !window->ProgressBar_Send->isVisible(); ++i) PumpMessages(20);
    EXPECT_TRUE(window->ProgressBar_Send->isVisible());

    // With nothing to do, a step returns after about its wait, not never.
    const int64_t start = MonotonicMs();
    PumpMessages(30);
    EXPECT_LT(MonotonicMs() - start, 5000);
}

}  // namespace
