// The main window's logic without a display: counters, close rules, automatic sending and
// the road from worker threads, on the manual clock.

#include "gateway/window_controller.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <map>

#include "common/base/atomic_file.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/message_pump.h"
#include "common/base/worker_thread.h"
#include "common/housekeeping.h"
#include "common/settings.h"
#include "common/single_instance.h"
#include "common/syslog.h"
#include "common/test_support.h"
#include "common/window_messages.h"
#include "dialup/connect_mgr.h"
#include "dialup/ras_conn.h"
#include "support/pump_until.h"

namespace {

// Records what the controller shows.
class TRecordingView : public IMainView {
  public:
    void SetText(TMainText text, const std::string& value) override { texts[text] = value; }
    void SetProgress(TMainTransfer transfer, bool visible, int position) override {
        progress[transfer] = visible ? position : -1;
    }
    void SetAnimation(TMainTransfer transfer, bool playing) override {
        playing_[transfer] = playing;
    }
    void SetActionState(TMainAction action, bool enabled, bool visible) override {
        actions[action] = {enabled, visible};
    }
    void OpenFolder(const std::string& folder) override { opened.push_back(folder); }
    void ShowAbout() override { ++aboutShown; }
    void RequestClose() override { ++closeRequests; }

    std::map<TMainText, std::string> texts;
    std::map<TMainTransfer, int> progress;
    std::map<TMainTransfer, bool> playing_;
    std::map<TMainAction, std::pair<bool, bool>> actions;
    std::vector<std::string> opened;
    int aboutShown = 0;
    int closeRequests = 0;
};

std::string UserIni(const std::string& dialupDelay = "5") {
    return "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n"
           "[CONNECTION]\nLEASE_LINE=1\nDIALUP_DELAY=" +
           dialupDelay +
           "\n[SCHEDULE]\nCONNECT_OPTION=2\nCONNECT_EVERY_MIN=30\n"
           "[iFile]\nTXT=1\nEDI=0\n";
}

class WindowControllerTest : public testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock);
        SetOperatorView(&boxes);
        DialIdle = true;
        HousekeepNow = false;
    }

    void TearDown() override {
        // A cycle a test started ends before the next test begins.
        if (controller) controller->WaitForWorkers();
        if (controller && !controller->ClosedDown()) {
            controller->SendIdle = controller->RecvIdle = DialIdle = true;
            controller->Timer_Delay->SetEnabled(false);
            controller->FormClose();
        }
        controller.reset();
        PumpMessages(0);  // nothing posted may outlive the test
        SetOperatorView(nullptr);
        SetClock(nullptr);
    }

    void Open(const std::string& userIni = UserIni(),
              const std::function<void(TMainWindowSetup&)>& adjust = {}) {
        programDir = dir.Path() + "DVR/";
        ASSERT_TRUE(ForceDirectories(programDir));
        WriteFile(programDir + "USER.INI", userIni);
        WriteFile(programDir + "DVR.INI", "[SYSTEM]\nVERSION=2.4.1\n");
        lockFile = std::make_unique<TLockFile>(programDir + "TESTPC.lck");
        ASSERT_TRUE(lockFile->Create());
        TMainWindowSetup setup;
        setup.ProgramDir = programDir;
        setup.ComputerName = "TESTPC";
        setup.LockFile = lockFile.get();
        setup.MakeTimer = [] { return std::make_unique<TPumpTimer>(); };
        if (adjust) adjust(setup);
        controller = std::make_unique<TMainController>(std::move(setup), view);
        controller->FormCreate();
        controller->FormShow();
    }

    std::vector<std::string> Log() {
        std::vector<std::string> all;
        // The log folder also holds the status file; only the .log files are the log.
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "LOG/"))
            if (entry.path().extension() == ".log")
                for (auto& line : LogMessages(entry.path().string())) all.push_back(line);
        return all;
    }
    bool Logged(const std::string& line) {
        auto log = Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    TTempDir dir;
    TManualClock clock{EncodeDate(2026, 12, 9) + EncodeTime(10, 0, 0, 0)};
    TScriptedView boxes;
    TRecordingView view;
    std::string programDir;
    std::unique_ptr<TLockFile> lockFile;
    std::unique_ptr<TMainController> controller;
};

TEST_F(WindowControllerTest, ShowCountsTheFoldersAndStartsTheTimers) {
    ForceDirectories(dir.Path() + "INBOX/ABC");
    ForceDirectories(dir.Path() + "OUTBOX");
    WriteFile(dir.Path() + "INBOX/ABC/ABC-1.edi", "");
    WriteFile(dir.Path() + "OUTBOX/A1.TXT", "");
    WriteFile(dir.Path() + "OUTBOX/A2.EDI", "");  // extension not enabled
    Open(UserIni("99999999"));
    EXPECT_EQ(view.texts[TMainText::InboxCount], "Inbox (1)");
    EXPECT_EQ(view.texts[TMainText::OutboxCount], "Outbox (1)");
    EXPECT_EQ(view.texts[TMainText::ErrorCount], "Error (0)");
    EXPECT_EQ(controller->Timer_Send->Interval(), 5000);
    EXPECT_TRUE(controller->Timer_Send->Enabled());
    EXPECT_EQ(controller->Timer_RecvSchedule->Interval(), 60000);
    EXPECT_TRUE(controller->Timer_RecvSchedule->Enabled());
    EXPECT_FALSE(controller->Timer_Delay->Enabled());
    // 99,999,999 minutes do not fit a timer: the longest interval stands in, never a
    // negative one from an overflow.
    EXPECT_EQ(controller->Timer_Delay->Interval(), INT_MAX);
    EXPECT_EQ(view.texts[TMainText::SendCaption], " Send ");
    EXPECT_TRUE(Logged("Resume Auto Import"));
    // Every 30 minutes from the start: shown at once, and a tick each minute keeps it.
    EXPECT_EQ(view.texts[TMainText::Status],
              "Next connection time for receive: 2026/12/09 10:30 AM");
    view.texts[TMainText::Status].clear();
    WaitProcessingMessages(60000);
    EXPECT_EQ(view.texts[TMainText::Status],
              "Next connection time for receive: 2026/12/09 10:30 AM");
    EXPECT_TRUE(controller->Timer_RecvSchedule->Enabled());
    EXPECT_TRUE(Logged("Next connection time is: 2026/12/09 10:30 AM"));
}

TEST_F(WindowControllerTest, PauseStopsTheOutboxScanAndResumeStartsItAgain) {
    Open();
    ForceDirectories(dir.Path() + "OUTBOX");
    WriteFile(dir.Path() + "OUTBOX/A1.TXT", "x");

    controller->PauseAutoImportExecute();
    EXPECT_EQ(view.texts[TMainText::SendCaption], " Send (Pause) ");
    EXPECT_EQ(view.actions[TMainAction::PauseAutoImport], std::make_pair(false, false));
    EXPECT_EQ(view.actions[TMainAction::ResumeAutoImport], std::make_pair(true, true));
    EXPECT_EQ(Log().back(), "Pause Auto Import");
    WaitProcessingMessages(20000);
    EXPECT_EQ(controller->OutboxQueue.Count(), 0);
    EXPECT_EQ(view.texts[TMainText::OutboxCount], "Outbox (0)");

    controller->ResumeAutoImportExecute();
    EXPECT_EQ(view.texts[TMainText::SendCaption], " Send ");
    EXPECT_EQ(view.actions[TMainAction::PauseAutoImport], std::make_pair(true, true));
    EXPECT_EQ(Log().back(), "Resume Auto Import");
    WaitProcessingMessages(4900);
    EXPECT_EQ(controller->OutboxQueue.Count(), 0);
    WaitProcessingMessages(100);  // the scan every 5 seconds
    EXPECT_EQ(controller->OutboxQueue.Count(), 1);
    // A send cycle runs (the file has no service, so it goes to the Error folder); the
    // scan waits for its end.
    EXPECT_FALSE(controller->SendIdle);
    EXPECT_FALSE(controller->Timer_Send->Enabled());
    ASSERT_TRUE(PumpUntil([this] { return controller->SendIdle.load(); }));
    EXPECT_TRUE(Logged("Send finish"));
    EXPECT_TRUE(FileExists(dir.Path() + "ERROR/A1.TXT"));
    EXPECT_EQ(view.texts[TMainText::OutboxCount], "Outbox (0)");
    EXPECT_TRUE(controller->Timer_Send->Enabled());
    // The pause is never stored.
    EXPECT_EQ(ReadFile(programDir + "USER.INI"), UserIni());
}

TEST_F(WindowControllerTest, CloseIsRefusedWhileACycleRunsAndAskedWhileAHangUpWaits) {
    Open();
    controller->SendIdle = false;
    HousekeepNow = true;
    EXPECT_FALSE(controller->FormClose());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "Unable to close application now. Message(s) are being sent or received.");
    EXPECT_EQ(boxes.boxes[0].buttons, TMsgButtons::OK);
    EXPECT_FALSE(HousekeepNow);
    controller->SendIdle = true;
    controller->RecvIdle = false;
    EXPECT_FALSE(controller->FormClose());
    controller->RecvIdle = true;
    DialIdle = false;
    EXPECT_FALSE(controller->FormClose());
    DialIdle = true;
    EXPECT_TRUE(lockFile->Held());
    EXPECT_TRUE(controller->Timer_Send->Enabled());

    controller->Timer_Delay->SetEnabled(true);
    boxes.answers = {TMsgAnswer::No, TMsgAnswer::Yes};
    EXPECT_FALSE(controller->FormClose());
    EXPECT_EQ(boxes.boxes.back().text,
              "If you want to close application now, please disconnect the internet "
              "connection manually.\n\rClose now?");
    EXPECT_TRUE(controller->Timer_Delay->Enabled());
    EXPECT_FALSE(controller->ClosedDown());

    EXPECT_TRUE(controller->FormClose());
    EXPECT_TRUE(controller->ClosedDown());
    EXPECT_FALSE(controller->Timer_Delay->Enabled());
    EXPECT_FALSE(controller->Timer_Send->Enabled());
    EXPECT_FALSE(controller->Timer_RecvSchedule->Enabled());
    EXPECT_FALSE(lockFile->Held());
    EXPECT_FALSE(FileExists(programDir + "TESTPC.lck"));
    auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Close program when internet connection still exists");
    EXPECT_EQ(log.back(), "Close program");
}

TEST_F(WindowControllerTest, AStopClosesOnceTheTransfersEndAndASecondOneEndsAtOnce) {
    std::vector<int> ended;
    auto open = [&] {
        Open(UserIni(), [&](TMainWindowSetup& setup) {
            setup.EndProgramAtOnce = [&](int code) { ended.push_back(code); };
        });
    };
    open();  // idle: the close is asked for at once
    controller->StopRequested();
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_TRUE(controller->FormClose());

    // A send and a receive run: the close waits for the last of them, without a box.
    open();
    controller->SendIdle = controller->RecvIdle = false;
    controller->StopRequested();
    controller->ReceiveFinish();
    EXPECT_EQ(view.closeRequests, 1);
    controller->SendFinish();
    EXPECT_EQ(view.closeRequests, 2);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(Logged("Close when the running transfer ends"));
    EXPECT_TRUE(controller->FormClose());

    // Asked again while a dial runs: ended at once with exit code 1.
    open();
    DialIdle = false;
    controller->StopRequested();
    controller->RunHandler(&TMainController::ShowNextConnection);
    controller->StopRequested();
    EXPECT_EQ(ended, std::vector<int>{1});
    EXPECT_EQ(Log().back(), "Stopped while a transfer was running");
    EXPECT_EQ(view.closeRequests, 2);
}

// A worker as the transfer threads will be: progress by message, a label through
// Synchronize, counters after each file, and its end handler on the main thread.
class TProgressWorker : public TWorkerThread {
  public:
    explicit TProgressWorker(TMainController& controller) : controller_(controller) {}
    std::thread::id executedOn;

  protected:
    void Execute() override {
        executedOn = std::this_thread::get_id();
        PostMainWindowMessage(WM_SENDPROGRESS, 0, 40);
        PostMainWindowMessage(WM_RECVPROGRESS, 0, 250);  // out of range: shown as full
        Synchronize([this] { controller_.ShowCounters({7, 8, 9}); });
        RefreshCounters();
    }

  private:
    TMainController& controller_;
};

TEST_F(WindowControllerTest, WorkersReachTheWindowOnlyThroughTheMainThread) {
    Open();
    ForceDirectories(dir.Path() + "ERROR");
    WriteFile(dir.Path() + "ERROR/A9.TXT", "");
    bool ended = false;
    std::thread::id endedOn;
    std::string fatal = "unset";
    auto worker = std::make_unique<TProgressWorker>(*controller);
    worker->OnTerminate = [&](TWorkerThread& thread) {
        ended = true;
        endedOn = std::this_thread::get_id();
        fatal = thread.FatalError();
    };
    worker->Start();
    // Nothing reaches the view until the main thread pumps: Synchronize waits for it.
    ASSERT_TRUE(PumpUntil([&] { return ended; }));
    EXPECT_TRUE(endedOn == std::this_thread::get_id());
    EXPECT_EQ(fatal, "");
    EXPECT_EQ(view.progress[TMainTransfer::Send], 40);
    EXPECT_EQ(view.progress[TMainTransfer::Receive], 100);
    // The worker's own count came after the synchronized one.
    EXPECT_EQ(view.texts[TMainText::ErrorCount], "Error (1)");

    // After the close, late messages find no window and change nothing.
    controller->FormClose();
    PostMainWindowMessage(WM_SENDPROGRESS, 0, 90);
    PumpMessages(0);
    EXPECT_EQ(view.progress[TMainTransfer::Send], 40);
}

TEST_F(WindowControllerTest, AnErrorEscapingAWorkerReachesItsEndHandler) {
    struct TFailing : TWorkerThread {
        void Execute() override { throw std::runtime_error("Disk full"); }
    };
    std::string fatal;
    auto worker = std::make_unique<TFailing>();
    worker->OnTerminate = [&](TWorkerThread& thread) { fatal = thread.FatalError(); };
    worker->Start();
    PumpUntil([&] { return !fatal.empty(); });
    EXPECT_EQ(fatal, "Disk full");
}

TEST_F(WindowControllerTest, FolderActionsLogCountAndOpen) {
    Open();
    ForceDirectories(dir.Path() + "ERROR");
    WriteFile(dir.Path() + "ERROR/E1.TXT", "");
    controller->OpenErrorExecute();
    controller->OpenInboxExecute();
    EXPECT_EQ(view.opened,
              (std::vector<std::string>{dir.Path() + "ERROR/", dir.Path() + "INBOX/"}));
    EXPECT_EQ(view.texts[TMainText::ErrorCount], "Error (1)");
    EXPECT_TRUE(Logged("Open Error folder"));
    controller->Exit1Click();
    EXPECT_EQ(view.closeRequests, 1);
}

// A dialled line: the check "dials" handle 42, the hang-up counts.
std::string DialupIni(const std::string& delay) {
    return "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n[CONNECTION]\nLEASE_LINE=0\n"
           "DIALUP_PROFILE=Office line\nDIALUP_DELAY=" +
           delay + "\n[SCHEDULE]\nCONNECT_OPTION=1\n[iFile]\nTXT=1\n";
}

TEST_F(WindowControllerTest, ALineThisProgramDialledIsHungUpAtOnceOrAfterTheDelay) {
    int hangUps = 0;
    auto fakeLine = [&](TMainWindowSetup& setup) {
        setup.CheckConnection = [] {
            DVR_RASConn = 42;
            DialedBySelf = true;
            return 0;
        };
        setup.HangUpDialup = [&] {
            ++hangUps;
            DVR_RASConn = 0;
            DialedBySelf = false;
        };
    };
    Open(DialupIni("5"), fakeLine);
    EXPECT_EQ(controller->EnsureDialup(), 0);
    EXPECT_TRUE(Logged("No leased line installed, dialup is required."));

    // Something was sent: the line stays up for five minutes after the send.
    controller->MessageSent = true;
    controller->SendFinish();
    EXPECT_TRUE(Logged("Send finish"));
    EXPECT_EQ(view.texts[TMainText::Status], "Office line will be disconnected at 10:05 AM");
    EXPECT_TRUE(Logged("Office line will be disconnected at 10:05 AM"));
    EXPECT_TRUE(controller->Timer_Delay->Enabled());
    EXPECT_EQ(hangUps, 0);
    // A close now asks first; declined, the line stays.
    boxes.answers = {TMsgAnswer::No};
    EXPECT_FALSE(controller->FormClose());
    WaitProcessingMessages(4 * 60 * 1000);
    EXPECT_EQ(hangUps, 0);
    WaitProcessingMessages(60 * 1000 + 10);
    EXPECT_EQ(hangUps, 1);
    EXPECT_FALSE(controller->Timer_Delay->Enabled());
    EXPECT_FALSE(controller->MessageSent);
    EXPECT_EQ(view.texts[TMainText::Status], "");
    EXPECT_TRUE(Logged("Delay timer execute"));

    // Nothing sent: hung up right after the cycle. Somebody else's line: never.
    EXPECT_EQ(controller->EnsureDialup(), 0);
    controller->ReceiveFinish();
    EXPECT_EQ(hangUps, 2);
    DVR_RASConn = 7;
    DialedBySelf = false;
    controller->SendFinish();
    EXPECT_EQ(hangUps, 2);
    DVR_RASConn = 0;
}

TEST_F(WindowControllerTest, ReceiveNowNeedsTheCompanyIdentificationAndRunsOneCycleAtATime) {
    Open();
    controller->ReceiveNowExecute();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "Insufficient company information for receiving message(s). \n\rPlease update the "
              "company profile in Tool-Option.");
    EXPECT_TRUE(controller->RecvIdle);

    // Without a line nothing starts, and the schedule goes on from now.
    ReleaseSettings();
    Open(DialupIni("0") + "[IDENTIFICATION]\nEMAIL_ADDR=a@b.c\nLOGIN_ID=L\nPASSWORD=pw\n");
    controller->ReceiveNowExecute();
    EXPECT_TRUE(controller->RecvIdle);
    // A press while a receive runs does nothing.
    controller->RecvIdle = false;
    controller->ReceiveNowExecute();
    EXPECT_EQ(boxes.boxes.size(), 1u);
    controller->RecvIdle = true;
}

TEST_F(WindowControllerTest, AMissedScheduledTimeIsReceivedAtTheNextTickOnce) {
    Open();  // every 30 minutes, no company identification: a receive that starts asks
    const TDateTime next = controller->NextConnectTime;
    EXPECT_EQ(next, Now() + 30.0 / 60 / 24);
    // The program stood still (stopped, suspended) past the scheduled minute.
    clock.AdvanceMs(32 * 60 * 1000);
    WaitProcessingMessages(60000);
    ASSERT_EQ(boxes.boxes.size(), 1u) << "the receive of the missed time started";
    EXPECT_TRUE(Logged("The scheduled connection time " +
                       FormatDateTime("yyyy/MM/dd hh:nn AM/PM", next) +
                       " was missed; receive now"));
    // Once: the ticks after it do not start it again.
    WaitProcessingMessages(5 * 60000);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(controller->Timer_RecvSchedule->Enabled());
}

TEST_F(WindowControllerTest, AForcedUpgradeThatIsDueAsksAndEndsOrReports) {
    std::vector<int> ended;
    const std::string ini = UserIni() +
                            "[UPGRADE]\nUPGRADE_TITLE=Release 2.10\n"
                            "UPGRADE_PATH=/nonexistent/SETUP.EXE\n"
                            "FORCE_UPGDATE=20261209\n";
    boxes.answers = {TMsgAnswer::Cancel};
    Open(ini, [&](TMainWindowSetup& setup) {
        setup.EndProgram = [&](int code) { ended.push_back(code); };
    });
    EXPECT_EQ(ended, std::vector<int>{0});
    EXPECT_TRUE(Logged("Force Upgrade: Release 2.10 detected."));
    EXPECT_EQ(boxes.boxes[0].buttons, TMsgButtons::OKCancel);

    boxes.answers = {TMsgAnswer::OK};
    EXPECT_THROW(controller->CheckForceUpgrade(), std::runtime_error);
    EXPECT_EQ(ended, std::vector<int>{0});
    auto log = Log();
    EXPECT_EQ(log.back().rfind("Unable to execute /nonexistent/SETUP.EXE. ", 0), 0u) << log.back();
}

TEST_F(WindowControllerTest, CycleEventsReachTheWindowAndTheirFailuresStayOutOfTheCycle) {
    std::vector<TCycleEvent> events;
    const std::string ini = DialupIni("0") +
                            "[UPGRADE]\nUPGRADE_TITLE=Release 2.10\n"
                            "UPGRADE_PATH=/nonexistent/SETUP.EXE\nFORCE_UPGDATE=20261209\n";
    int checks = 0;
    boxes.answers = {TMsgAnswer::Cancel, TMsgAnswer::Cancel};
    Open(ini, [&](TMainWindowSetup& setup) {
        setup.CheckConnection = [&] { return ++checks == 1 ? -1 : 1; };
        setup.EndProgram = [](int) {};
    });
    controller->CycleEvent = [&](TCycleEvent event) { events.push_back(event); };
    EXPECT_NO_THROW(controller->CheckForceUpgrade());
    // A failed dial is told; a check that finds a dial under way is not.
    EXPECT_EQ(controller->EnsureDialup(), -1);
    EXPECT_EQ(controller->EnsureDialup(), 1);
    controller->SendFinish();
    controller->ReceiveFinish();
    EXPECT_EQ(events,
              (std::vector<TCycleEvent>{TCycleEvent::ForceUpgradeWaiting, TCycleEvent::DialFailed,
                                        TCycleEvent::SendEnded, TCycleEvent::ReceiveEnded}));
    // A notification that cannot be shown does not stop the end of a cycle.
    controller->CycleEvent = [](TCycleEvent) { throw std::runtime_error("no notification"); };
    controller->SendFinish();
    EXPECT_TRUE(controller->SendIdle);
    EXPECT_TRUE(controller->Timer_Send->Enabled());
    EXPECT_EQ(boxes.boxes.size(), 2u) << "only the upgrade questions were shown";
}

}  // namespace

namespace {

TGatewayStatus ReadStatus(const std::string& logPath) {
    TGatewayStatus status;
    std::string error;
    EXPECT_TRUE(StatusFromJson(ReadFile(logPath + kStatusFileName), status, error)) << error;
    return status;
}

TEST_F(WindowControllerTest, TheStatusFileAndBarFollowTheCyclesAndTheClose) {
    Open();
    const std::string logPath = dir.Path() + "LOG/";
    TGatewayStatus status = ReadStatus(logPath);
    EXPECT_TRUE(status.Running);
    EXPECT_EQ(status.Updated, Now());
    EXPECT_EQ(status.LastSend.Time, 0);
    EXPECT_EQ(status.NextConnection, controller->NextConnectTime);
    EXPECT_EQ(status.Line, "leased line");

    // A file without a service is given up: the send counts as failed.
    WriteFile(dir.Path() + "OUTBOX/A1.TXT", "x");
    WaitProcessingMessages(5000);
    ASSERT_TRUE(PumpUntil([this] { return controller->SendIdle.load(); }));
    // The send cleared the bar; on a leased line nothing else claims it when the send ends.
    EXPECT_EQ(view.texts[TMainText::Status],
              "Next connection time for receive: 2026/12/09 10:30 AM");
    status = ReadStatus(logPath);
    EXPECT_TRUE(status.LastSend.Failed);
    EXPECT_EQ(status.LastSend.Count, 0);
    EXPECT_EQ(status.LastSend.FailedCount, 1);
    EXPECT_EQ(status.LastSend.Detail.rfind("Move file: A1.TXT", 0), 0u) << status.LastSend.Detail;
    EXPECT_EQ(status.ErrorFiles, 1);
    EXPECT_EQ(status.OutboxWaiting, 0);

    // Rewritten once a minute between cycles; a failing write is logged once.
    SetAtomicWriteFault([](TAtomicStep step) { return step == TAtomicStep::Rename ? EIO : 0; });
    WaitProcessingMessages(2 * TMainController::kStatusTickMs);
    SetAtomicWriteFault({});
    const auto log = Log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) {
                                return line.rfind("Unable to write the status file.", 0) == 0;
                            }),
              1);
    const TDateTime before = Now();
    WaitProcessingMessages(TMainController::kStatusTickMs);
    EXPECT_GE(ReadStatus(logPath).Updated, before);

    EXPECT_TRUE(controller->FormClose());
    status = ReadStatus(logPath);
    EXPECT_FALSE(status.Running);
    EXPECT_EQ(status.NextConnection, 0);
    EXPECT_FALSE(StatusProblems(status, Now()).empty());
    // Closed down: nothing rewrites it any more.
    EXPECT_FALSE(controller->Timer_Status->Enabled());
}

TEST_F(WindowControllerTest, ALogOnAFullDiskStopsNoHandlerHalfway) {
    Open();
    // From here on every write to the run's log fails with ENOSPC, and nothing else does.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == LogFileName()) {
            ASSERT_GE(::dup2(full, std::stoi(entry.path().filename().string())), 0);
        }
    }
    ::close(full);

    // Shown again: the Outbox scan, the schedule and the status start all the same.
    controller->Timer_Send->SetEnabled(false);
    controller->Timer_RecvSchedule->SetEnabled(false);
    std::filesystem::remove(dir.Path() + "LOG/status.json");
    controller->FormShow();
    EXPECT_TRUE(controller->Timer_Send->Enabled());
    EXPECT_TRUE(controller->Timer_RecvSchedule->Enabled());
    EXPECT_TRUE(FileExists(dir.Path() + "LOG/status.json"));

    // A stop waits for both cycles; each end frees its side and reports, the last closes.
    controller->SendIdle = controller->RecvIdle = false;
    controller->Timer_Send->SetEnabled(false);
    controller->StopRequested();
    controller->SendFinish();
    controller->ReceiveFinish();
    EXPECT_TRUE(controller->SendIdle && controller->RecvIdle);
    EXPECT_TRUE(controller->Timer_Send->Enabled());
    EXPECT_NE(ReadStatus(dir.Path() + "LOG/").LastReceive.Time, 0);
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
