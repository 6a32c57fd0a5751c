// What the transfer cycles tell the operator: new files in the Error folder, a receive that
// could not receive, a failed dial and a waiting upgrade, once per cycle.

#include "operator/cycle_monitor.h"

#include "operator_fixture.h"

namespace {

class CycleMonitor : public OperatorTest {
  protected:
    void SetUp() override {
        OperatorTest::SetUp();
        monitor.Notify = [this](const TNotification& note) { notes.push_back(note.Body); };
    }
    // A receive run ending with the failure its worker hands back.
    void ReceiveEnded(const std::string& failure = "", const std::string& reason = "") {
        TReceiveOutcome outcome;
        outcome.Failure = failure;
        outcome.FailureReason = reason;
        monitor.Received(outcome);
        monitor.Event(TCycleEvent::ReceiveEnded);
    }
    TCycleMonitor monitor{[this] { return errorDir; }};
    std::vector<std::string> notes;
};

TEST_F(CycleMonitor, FilesThatWentToErrorDuringOverlappingCyclesAreToldOnceEach) {
    WriteFile(errorDir + "OLD.TXT", "there before");
    monitor.Event(TCycleEvent::SendStarted);
    monitor.Event(TCycleEvent::ReceiveStarted);
    WriteFile(errorDir + "A1.TXT", "a");
    WriteFile(errorDir + "A2.TXT", "a");
    monitor.Event(TCycleEvent::SendEnded);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "2 files went to the Error folder: A1.TXT, A2.TXT.");
    EXPECT_TRUE(monitor.Attention());
    // The receive still runs: its end tells only what came after.
    WriteFile(errorDir + "RECV_20261209100000_1.eml", "m");
    monitor.Event(TCycleEvent::ReceiveEnded);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], "1 file went to the Error folder: RECV_20261209100000_1.eml.");

    // A quiet cycle says nothing; the operator's look clears the tray's attention.
    monitor.ClearAttention();
    monitor.Event(TCycleEvent::SendStarted);
    monitor.Event(TCycleEvent::SendEnded);
    EXPECT_EQ(notes.size(), 2u);
    EXPECT_FALSE(monitor.Attention());
}

TEST_F(CycleMonitor, AReceiveThatEndedUnableToReceiveIsToldWithItsReasonAtAnyLogLevel) {
    // Without a log file (log level 0) the outcome is the same: it does not read the file.
    CloseLog();
    monitor.Event(TCycleEvent::ReceiveStarted);
    ReceiveEnded(
        "Recv: Error occurred when receiving mails for a@b. Reason: Remote connection not "
        "available",
        "Remote connection not available");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "Messages could not be received: Remote connection not available.");

    // A receive that went well is no news, even with failures earlier in the same log.
    monitor.Event(TCycleEvent::ReceiveStarted);
    ReceiveEnded();
    EXPECT_EQ(notes.size(), 1u);

    monitor.Event(TCycleEvent::ReceiveStarted);
    ReceiveEnded("Recv: Unable to receiving mails for a@b.");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], "Messages could not be received.");
}

TEST_F(CycleMonitor, DialFailuresAndWaitingUpgradesAreToldUnlessSwitchedOff) {
    UpgradeInfo.UpgradeTitle = "Release 3";
    monitor.Event(TCycleEvent::ForceUpgradeWaiting);
    monitor.Event(TCycleEvent::DialFailed);
    EXPECT_EQ(notes, (std::vector<std::string>{"An upgrade waits to be installed: Release 3.",
                                               "The dial-up connection could not be made."}));
    monitor.Gate().SetEnabled(false);
    monitor.ClearAttention();
    clock.AdvanceMs(TNotificationGate::kQuietMs);
    monitor.Event(TCycleEvent::DialFailed);
    EXPECT_EQ(notes.size(), 2u);
    EXPECT_TRUE(monitor.Attention()) << "the tray still shows it";
    UpgradeInfo.UpgradeTitle.clear();
}

}  // namespace
