#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/base/message_pump.h"
#include "layer_test_support.h"
#include "support/real_time.h"

namespace {

// Pumps the calling thread in 10 ms steps until done() or limitMs passed on the program
// clock; true when done.
template <typename TDone>
bool PumpUntil(TDone done, int limitMs = 3000) {
    for (int step = 0; step < limitMs / 10 && !done(); ++step) PumpMessages(10);
    return done();
}

TEST(MessagePumpTest, PostedCallsRunOnTheOwningThreadAndWakeItsWait) {
    auto queue = TMessageQueue::Current();
    const auto owner = std::this_thread::get_id();
    std::thread::id ranOn;
    std::thread poster([queue, &ranOn] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue->Post([&ranOn] { ranOn = std::this_thread::get_id(); });
    });
    const int64_t start = RealMs();
    // One long wait step returns as soon as the call has been posted and run.
    while (ranOn == std::thread::id() && RealMs() - start < 3000) queue->ProcessMessages(2000);
    poster.join();
    EXPECT_EQ(ranOn, owner);
    EXPECT_LT(RealMs() - start, 1500);
}

TEST(MessagePumpTest, TimerFiresWhileEnabledAndStopsWhenDisabled) {
    TManualTime time;
    TPumpTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] {
        if (++ticks == 3) timer.SetEnabled(false);
    };
    timer.SetInterval(10);
    PumpMessages(50);
    EXPECT_EQ(ticks, 0);  // not enabled yet
    timer.SetEnabled(true);
    const int64_t enabled = time.ElapsedMs();
    EXPECT_TRUE(PumpUntil([&] { return ticks == 3; }));
    EXPECT_EQ(time.ElapsedMs() - enabled, 30);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(ticks, 3);
}

TEST(MessagePumpTest, TimerHandlerIsNotReenteredAndMayDeleteItsTimer) {
    TManualTime time;
    auto timer = std::make_unique<TPumpTimer>();
    TPumpTimer other;
    int depth = 0, maxDepth = 0, otherTicks = 0;
    timer->SetInterval(1);
    timer->OnTimer = [&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        // A nested wait inside the handler runs other timers but not this one again.
        PumpUntil([&] { return otherTicks > 0; }, 1000);
        --depth;
        timer.reset();
    };
    other.SetInterval(5);
    other.OnTimer = [&] { ++otherTicks; };
    other.SetEnabled(true);
    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return !timer; }));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GT(otherTicks, 0);
}

TEST(MessagePumpTest, HookTakesTheWaitOfItsThreadOnly) {
    int hookCalls = 0;
    int lastWait = -1;
    SetThreadPumpHook([&](int waitMs) {
        ++hookCalls;
        lastWait = waitMs;
    });
    PumpMessages(7);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(lastWait, 7);
    std::thread other([] { PumpMessages(1); });
    other.join();
    EXPECT_EQ(hookCalls, 1);
    SetThreadPumpHook(nullptr);
    PumpMessages(1);
    EXPECT_EQ(hookCalls, 1);
}

TEST(MessagePumpTest, QuitStaysPendingUntilCleared) {
    std::thread worker([] {
        auto queue = TMessageQueue::Current();
        queue->PostQuit();
        PumpMessages(1);
        EXPECT_TRUE(queue->QuitPending());
        queue->ClearQuit();
        EXPECT_FALSE(queue->QuitPending());
    });
    worker.join();
    EXPECT_FALSE(TMessageQueue::Current()->QuitPending());
}

}  // namespace
