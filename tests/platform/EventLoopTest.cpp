#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/HeadlessEventLoop.h"
#include "platform/LightTick.h"
#include "platform/ManualClockEventLoop.h"

namespace q417 {
namespace {

using namespace std::chrono_literals;

// Generous bound for "returns promptly": far above any real stop, far below a hang.
constexpr auto kPrompt = 2s;

void SpinUntil(const std::atomic<bool>& flag) {
    while (!flag.load()) {
        std::this_thread::yield();
    }
}

// --- posting -------------------------------------------------------------------------------

TEST(HeadlessEventLoopPosting, PostsRunOnTheLoopThreadInOrderPerProducer) {
    HeadlessEventLoop loop;
    ASSERT_TRUE(loop.Start());
    EXPECT_FALSE(loop.IsLoopThread());
    std::vector<std::pair<int, int>> seen;  // touched on the loop thread only
    std::atomic<bool> allOnLoop{true};
    auto produce = [&](int producer) {
        for (int i = 0; i < 200; ++i) {
            loop.Post([&, producer, i] {
                allOnLoop = allOnLoop && loop.IsLoopThread();
                seen.emplace_back(producer, i);
            });
        }
    };
    std::thread a(produce, 0);
    std::thread b(produce, 1);
    a.join();
    b.join();
    ASSERT_TRUE(loop.PostAndWait([] {}));  // everything posted before has run
    EXPECT_TRUE(allOnLoop);
    ASSERT_EQ(seen.size(), 400u);
    int next[2] = {0, 0};
    for (auto [producer, i] : seen) {
        EXPECT_EQ(i, next[producer]++);
    }
}

TEST(HeadlessEventLoopPosting, PostAndWaitReturnsAfterTheTaskAndRunsInlineOnTheLoopThread) {
    HeadlessEventLoop loop;
    ASSERT_TRUE(loop.Start());
    int value = 0;
    bool onLoop = false;
    ASSERT_TRUE(loop.PostAndWait([&] {
        value = 1;
        onLoop = loop.IsLoopThread();
    }));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(onLoop);

    // Nested on the loop's own thread: waiting for itself would hang, so it runs at once.
    std::vector<int> order;
    ASSERT_TRUE(loop.PostAndWait([&] {
        order.push_back(1);
        EXPECT_TRUE(loop.PostAndWait([&] { order.push_back(2); }));
        order.push_back(3);
    }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(HeadlessEventLoopPosting, StoppedLoopRefusesWorkAndReleasesWaiters) {
    HeadlessEventLoop loop;
    ASSERT_TRUE(loop.Start());
    std::latch release(1);
    std::atomic<bool> busy{false};
    loop.Post([&] {
        busy = true;
        release.wait();
    });
    SpinUntil(busy);

    // A worker hands work over while the loop is busy; the loop then stops.
    std::atomic<bool> handedOff{false};
    std::atomic<bool> waiting{false};
    bool accepted = true;
    std::thread worker([&] {
        waiting = true;
        accepted = loop.PostAndWait([&] { handedOff = true; });
    });
    SpinUntil(waiting);
    std::this_thread::sleep_for(2ms);  // let it settle into its wait
    loop.Quit();
    worker.join();  // returns: Quit released the waiter
    release.count_down();
    EXPECT_TRUE(loop.Stop(kPrompt));
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(handedOff);

    bool ran = false;
    EXPECT_FALSE(loop.Post([&] { ran = true; }));
    EXPECT_FALSE(loop.PostAndWait([&] { ran = true; }));
    EXPECT_FALSE(loop.StartTimer(TimerKey{0, 1}, 0ms, [&] { ran = true; }));
    EXPECT_FALSE(ran);
}

TEST(HeadlessEventLoopPosting, WorkerHandOffEndsWhenItsOwnerStopsItFromTheLoop) {
    // The loop thread stops and joins a worker that is waiting for the loop: the worker's wait
    // is cancelled by its stop token instead of deadlocking both threads.
    HeadlessEventLoop loop;
    ASSERT_TRUE(loop.Start());
    std::atomic<bool> handedOff{false};
    std::atomic<bool> waiting{false};
    bool accepted = true;
    ASSERT_TRUE(loop.PostAndWait([&] {
        std::jthread worker([&](std::stop_token stop) {
            waiting = true;
            accepted = loop.PostAndWait([&] { handedOff = true; }, stop);
        });
        SpinUntil(waiting);
        std::this_thread::sleep_for(2ms);
        worker.request_stop();
        worker.join();
    }));
    loop.PostAndWait([] {});  // the dropped hand-off would have run by now
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(handedOff);
}

TEST(HeadlessEventLoopPosting, RunOnCallersThreadUntilQuitFromAnotherThread) {
    HeadlessEventLoop loop;
    std::atomic<int> ran{0};
    std::thread other([&] {
        loop.Post([&] { ++ran; });
        loop.Post([&] { ++ran; });
        loop.Post([&] { loop.Quit(); });
    });
    loop.Run();  // ends only through the third task
    other.join();
    EXPECT_EQ(ran.load(), 2);
}

// --- timers, real clock ---------------------------------------------------------------------

TEST(HeadlessEventLoopTimers, FiresDueTimerAndStopIsPromptWithTimersPending) {
    HeadlessEventLoop loop;
    ASSERT_TRUE(loop.Start());
    std::atomic<bool> fired{false};
    TimerScope timers(loop);
    ASSERT_TRUE(timers.Start(1000, 1ms, [&] { fired = true; }));
    SpinUntil(fired);
    EXPECT_FALSE(timers.IsActive(1000));
    ASSERT_TRUE(timers.Start(1001, 1h, [] {}));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.Stop(kPrompt));
    EXPECT_LT(std::chrono::steady_clock::now() - before, kPrompt);
}

TEST(HeadlessEventLoopTimers, CancelFromAnotherThreadWaitsForTheRunningCallback) {
    HeadlessEventLoop loop;
    ASSERT_TRUE(loop.Start());
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    {
        TimerScope timers(loop);
        timers.Start(1002, 0ms, [&] {
            started = true;
            std::this_thread::sleep_for(20ms);
            finished = true;
        });
        SpinUntil(started);
    }  // the scope ends while its callback runs: it must not return before the callback has
    EXPECT_TRUE(finished);
}

TEST(HeadlessEventLoopTimers, RunUntilProcessesTimersOnTheCallersThread) {
    HeadlessEventLoop loop;
    TimerScope timers(loop);
    int fired = 0;
    timers.Start(1005, 1ms, [&] { ++fired; });
    EXPECT_TRUE(loop.RunUntil([&] { return fired == 1; }, kPrompt));
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 1ms));  // time-out, nothing else
    EXPECT_EQ(fired, 1);
}

// --- timers, manual clock -------------------------------------------------------------------

class ManualTimers : public ::testing::Test {
protected:
    // Milliseconds since the test began, as the clock shows them inside a callback.
    long Elapsed() {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     loop_.VirtualClock().Now() - start_)
                                     .count());
    }
    ManualClockEventLoop loop_;
    Clock::TimePoint start_ = loop_.VirtualClock().Now();
    std::vector<std::pair<int, long>> fired_;  // (id, elapsed ms)
};

TEST_F(ManualTimers, FireInDueOrderAtTheirDueTimes) {
    TimerScope timers(loop_);
    timers.Start(1001, 50ms, [&] { fired_.emplace_back(1001, Elapsed()); });
    timers.Start(1000, 10ms, [&] { fired_.emplace_back(1000, Elapsed()); });
    timers.Start(1007, 10ms, [&] { fired_.emplace_back(1007, Elapsed()); });  // tie: start order
    EXPECT_EQ(loop_.Advance(9ms), 0u);
    EXPECT_TRUE(fired_.empty());
    loop_.Advance(100ms);
    EXPECT_EQ(fired_, (std::vector<std::pair<int, long>>{{1000, 10}, {1007, 10}, {1001, 50}}));
    EXPECT_EQ(Elapsed(), 109);
}

TEST_F(ManualTimers, RestartReplacesAndCancelStops) {
    TimerScope timers(loop_);
    timers.Start(1001, 50ms, [&] { fired_.emplace_back(1, Elapsed()); });
    timers.Start(1001, 30ms, [&] { fired_.emplace_back(2, Elapsed()); });
    timers.Start(1005, 20ms, [&] { fired_.emplace_back(3, Elapsed()); });
    timers.Cancel(1005);
    EXPECT_FALSE(timers.IsActive(1005));
    loop_.Advance(100ms);
    EXPECT_EQ(fired_, (std::vector<std::pair<int, long>>{{2, 30}}));
}

TEST_F(ManualTimers, CallbacksThatReArmFireAtEachPeriodWithinOneAdvance) {
    TimerScope timers(loop_);
    std::function<void()> watch = [&] {
        fired_.emplace_back(1007, Elapsed());
        timers.Start(1007, 3000ms, watch);
    };
    timers.Start(1007, 2000ms, watch);
    loop_.Advance(8500ms);
    EXPECT_EQ(fired_,
              (std::vector<std::pair<int, long>>{{1007, 2000}, {1007, 5000}, {1007, 8000}}));
    EXPECT_TRUE(timers.IsActive(1007));
}

TEST_F(ManualTimers, SameIdUnderTwoOwnersAreIndependent) {
    auto first = std::make_unique<TimerScope>(loop_);
    TimerScope second(loop_);
    TimerScope third(loop_);
    first->Start(1001, 10ms, [&] { fired_.emplace_back(1, Elapsed()); });
    second.Start(1001, 20ms, [&] { fired_.emplace_back(2, Elapsed()); });
    third.Start(1001, 30ms, [&] { fired_.emplace_back(3, Elapsed()); });
    second.Cancel(1001);  // only the second owner's 1001
    EXPECT_TRUE(first->IsActive(1001));
    EXPECT_TRUE(third.IsActive(1001));
    first.reset();  // an owner that goes away takes its timers with it
    loop_.Advance(50ms);
    EXPECT_EQ(fired_, (std::vector<std::pair<int, long>>{{3, 30}}));
}

TEST_F(ManualTimers, PostsFromOtherThreadsRunWhenTheTestDrivesTheLoop) {
    int ran = 0;
    std::thread other([&] { loop_.Post([&] { ++ran; }); });
    other.join();
    EXPECT_EQ(ran, 0);  // nothing runs until the loop is driven
    EXPECT_EQ(loop_.RunUntilIdle(), 1u);
    EXPECT_EQ(ran, 1);

    bool handed = false;
    std::thread waiter([&] { handed = loop_.PostAndWait([&] { ++ran; }); });
    while (loop_.WaitAndRun(kPrompt) == 0) {
    }
    waiter.join();
    EXPECT_TRUE(handed);
    EXPECT_EQ(ran, 2);
}

// --- clocks and light ticks -----------------------------------------------------------------

TEST(LightTick, CountsWholeTicksOfFifteenPointSixTwoFiveMilliseconds) {
    const Clock::TimePoint origin = ManualClock().Now();
    EXPECT_EQ(LightTicksBetween(origin, origin + 2s), 128);  // a breath at speed 4
    EXPECT_EQ(LightTicksBetween(origin, origin + 15625us - 1ns), 0);
    EXPECT_EQ(LightTicksBetween(origin, origin + 15625us), 1);
    EXPECT_EQ(LightTicksBetween(origin + 1s, origin), 0);
    EXPECT_EQ(LightTickDeadline(origin, 64) - origin, 1s);
    EXPECT_EQ(LightTickCount(Clock::TimePoint{} + 1s), 64);
}

TEST(ManualClockSleep, SleeperWakesWhenTimeReachesItsDeadlineOrOnStop) {
    ManualClock clock;
    const Clock::TimePoint deadline = clock.Now() + LightTicksToDuration(2);
    std::atomic<int> result{-1};
    std::jthread sleeper([&](std::stop_token stop) { result = clock.SleepUntil(deadline, stop); });
    ASSERT_TRUE(clock.WaitForSleepers(1, kPrompt));
    clock.Advance(LightTicksToDuration(1));
    EXPECT_EQ(clock.Sleepers(), 1u);  // not due yet: still asleep
    clock.Advance(LightTicksToDuration(1));
    sleeper.join();
    EXPECT_EQ(result.load(), 1);

    std::jthread stopped(
        [&](std::stop_token stop) { result = clock.SleepUntil(deadline + 1h, stop); });
    ASSERT_TRUE(clock.WaitForSleepers(1, kPrompt));
    stopped.request_stop();
    stopped.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(SteadyClockSleep, StopEndsALongSleepAtOnce) {
    std::atomic<int> result{-1};
    std::jthread sleeper(
        [&](std::stop_token stop) { result = SteadyClock::Instance().SleepFor(1h, stop); });
    std::this_thread::sleep_for(2ms);
    sleeper.request_stop();
    sleeper.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_TRUE(SteadyClock::Instance().SleepFor(1ms, {}));
}

}  // namespace
}  // namespace q417
