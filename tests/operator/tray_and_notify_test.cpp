// The tray's state and tooltip, and the rate limit of the desktop notifications.

#include <gtest/gtest.h>

#include "operator/notify_gate.h"
#include "operator/tray_state.h"

namespace {

TEST(TrayState, WhatRunsComesBeforeAWaitingFailure) {
    struct TCase {
        TTrayInputs in;
        TTrayState expected;
    } cases[] = {
        {{false, false, false, false}, TTrayState::Idle},
        {{false, false, false, true}, TTrayState::Attention},
        {{true, false, false, true}, TTrayState::Sending},
        {{true, true, false, true}, TTrayState::Receiving},
        {{true, true, true, true}, TTrayState::Dialling},
        {{false, true, false, false}, TTrayState::Receiving},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TrayStateOf(c.in), c.expected) << TrayStateName(c.expected);
}

TEST(TrayState, ToolTipCarriesTheCountersAndTheNextConnection) {
    EXPECT_EQ(TrayToolTip(TTrayState::Sending, 3, 12, 1,
                          "Next connection time for receive: 2026/12/10 09:30 AM"),
              "Quillbern Dovrant - Sending\nInbox 3, Outbox 12, Error 1\n"
              "Next connection time for receive: 2026/12/10 09:30 AM");
    // Without a schedule there is no third line.
    EXPECT_EQ(TrayToolTip(TTrayState::Idle, 0, 0, 0, ""),
              "Quillbern Dovrant - Idle\nInbox 0, Outbox 0, Error 0");
    // The counts come from the window's captions.
    EXPECT_EQ(CounterOfCaption("Outbox (12)"), 12);
    EXPECT_EQ(CounterOfCaption("Inbox (0)"), 0);
    EXPECT_EQ(CounterOfCaption("Error"), 0);
    EXPECT_EQ(CounterOfCaption("Error (x1)"), 0);
}

TEST(NotificationGate, OneSummaryPerCycleHoweverManyFilesFailed) {
    TNotificationGate gate;
    EXPECT_FALSE(gate.EndCycle(0)) << "a quiet cycle says nothing";
    for (const char* name : {"A1.TXT", "A2.TXT", "A3.TXT", "A4.TXT", "A5.TXT"})
        gate.ErrorFile(name);
    gate.ReceiveFailed("Remote connection not available");
    gate.ReceiveFailed("");  // the closing line of the same run carries no reason
    auto note = gate.EndCycle(1000);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->Body,
              "Messages could not be received: Remote connection not available.\n"
              "5 files went to the Error folder: A1.TXT, A2.TXT, A3.TXT and 2 more.");
    // The findings went with the summary: the next cycle starts clean.
    EXPECT_FALSE(gate.HasFindings());
    EXPECT_FALSE(gate.EndCycle(2000));

    gate.DialFailed();
    gate.ForceUpgradeWaiting("Release 2.10");
    gate.ErrorFile("B.TXT");
    note = gate.EndCycle(3000);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->Body,
              "An upgrade waits to be installed: Release 2.10.\n"
              "The dial-up connection could not be made.\n"
              "1 file went to the Error folder: B.TXT.");
}

TEST(NotificationGate, TheSameNewsIsHeldBackForAQuietPeriodAndNothingIsSaidWhenOff) {
    TNotificationGate gate;
    gate.DialFailed();
    ASSERT_TRUE(gate.EndCycle(0));
    // A line that stays down fails every scheduled minute: said once per quiet period.
    for (int minute = 1; minute < 15; ++minute) {
        gate.DialFailed();
        EXPECT_FALSE(gate.EndCycle(minute * 60000)) << minute;
    }
    gate.ErrorFile("C.TXT");  // other news is said at once
    EXPECT_TRUE(gate.EndCycle(14 * 60000 + 1));
    gate.DialFailed();
    EXPECT_TRUE(gate.EndCycle(14 * 60000 + 2)) << "the last summary differed";
    gate.DialFailed();
    EXPECT_FALSE(gate.EndCycle(20 * 60000));
    gate.DialFailed();
    EXPECT_TRUE(gate.EndCycle(14 * 60000 + 2 + TNotificationGate::kQuietMs));

    gate.SetEnabled(false);
    gate.ErrorFile("D.TXT");
    EXPECT_TRUE(gate.HasFindings());
    EXPECT_FALSE(gate.EndCycle(100 * 60000));
    EXPECT_FALSE(gate.HasFindings()) << "switched off, findings are dropped, not saved up";
    gate.SetEnabled(true);
    EXPECT_FALSE(gate.EndCycle(101 * 60000));
}

}  // namespace
