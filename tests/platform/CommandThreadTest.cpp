#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/CommandThread.h"
#include "platform/HeadlessEventLoop.h"

namespace q417 {
namespace {

using namespace std::chrono_literals;

constexpr auto kPrompt = std::chrono::milliseconds(2000);

void SpinUntil(const std::atomic<bool>& flag) {
    while (!flag.load()) {
        std::this_thread::yield();
    }
}

// The caller's side: a loop run by the test thread, as the UI thread would run its own.
class CommandThreadTest : public ::testing::Test {
protected:
    bool RunCallerUntil(const std::function<bool()>& done) {
        return caller_.RunUntil(done, kPrompt);
    }

    HeadlessEventLoop caller_;
    CommandThread device_{"test-device"};
};

TEST_F(CommandThreadTest, OperationsRunOneAtATimeInOrderAndResultsArriveOnTheCallersLoop) {
    std::atomic<int> active{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> allOnCommandThread{true};
    std::vector<int> results;  // caller's loop only
    bool resultsOnCaller = true;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(device_.Submit(
            [&, i](CommandContext&) {
                if (active.fetch_add(1) != 0) {
                    overlapped = true;
                }
                allOnCommandThread = allOnCommandThread && device_.IsCommandThread();
                std::this_thread::yield();
                active.fetch_sub(1);
                return i * 10;
            },
            caller_,
            [&](std::optional<int> r) {
                resultsOnCaller = resultsOnCaller && caller_.IsLoopThread();
                results.push_back(r.value_or(-1));
            }));
    }
    ASSERT_TRUE(RunCallerUntil([&] { return results.size() == 20; }));
    EXPECT_FALSE(overlapped);
    EXPECT_TRUE(allOnCommandThread);
    EXPECT_TRUE(resultsOnCaller);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(results[i], i * 10);
    }
}

TEST_F(CommandThreadTest, ProgressReachesTheCallerInOrderBeforeTheResult) {
    std::vector<std::string> events;
    ASSERT_TRUE(device_.Submit(
        [](CommandContext& context) {
            for (int done = 1; done <= 3; ++done) {
                context.ReportProgress(done, 3);
            }
            return std::string("ok");
        },
        caller_,
        [&](std::optional<std::string> r) { events.push_back("result " + r.value_or("none")); },
        [&](int done, int total) {
            EXPECT_TRUE(caller_.IsLoopThread());
            events.push_back(std::to_string(done) + "/" + std::to_string(total));
        }));
    ASSERT_TRUE(RunCallerUntil([&] { return events.size() == 4; }));
    EXPECT_EQ(events, (std::vector<std::string>{"1/3", "2/3", "3/3", "result ok"}));
}

TEST_F(CommandThreadTest, SubmitAndWaitReturnsTheResultAndRunsInlineFromTheCommandThread) {
    std::vector<int> progress;
    auto outer = device_.SubmitAndWait(
        [&](CommandContext& context) {
            context.ReportProgress(1, 2);
            // An operation that synchronously calls another on its own device must not hang.
            auto inner = device_.SubmitAndWait([](CommandContext&) { return 5; });
            return inner.value_or(0) + 1;
        },
        [&](int done, int) { progress.push_back(done); });
    ASSERT_TRUE(outer.has_value());
    EXPECT_EQ(*outer, 6);
    EXPECT_EQ(progress, (std::vector<int>{1}));
}

TEST_F(CommandThreadTest, StopEndsARunningOperationDropsQueuedOnesAndPendingTimers) {
    std::atomic<bool> running{false};
    std::atomic<bool> sawStop{false};
    std::optional<int> firstResult;
    std::optional<int> queuedResult{99};
    int delivered = 0;
    std::atomic<bool> queuedRan{false};
    std::atomic<bool> timerFired{false};
    TimerScope timers(device_.Loop());

    ASSERT_TRUE(device_.Submit(
        [&](CommandContext& context) {
            running = true;
            // A long device wait that honours the stop token.
            sawStop = !SteadyClock::Instance().SleepFor(1h, context.StopToken());
            return 1;
        },
        caller_,
        [&](std::optional<int> r) {
            firstResult = r;
            ++delivered;
        }));
    ASSERT_TRUE(device_.Submit(
        [&](CommandContext&) {
            queuedRan = true;
            return 2;
        },
        caller_,
        [&](std::optional<int> r) {
            queuedResult = r;
            ++delivered;
        }));
    SpinUntil(running);
    // Timers of the device: one far away, one due at once but held up by the running operation.
    ASSERT_TRUE(timers.Start(1001, 1h, [&] { timerFired = true; }));
    ASSERT_TRUE(timers.Start(1005, 0ms, [&] { timerFired = true; }));

    EXPECT_TRUE(device_.Stop(kPrompt));
    EXPECT_TRUE(device_.IsStopping());
    EXPECT_TRUE(sawStop);
    EXPECT_FALSE(queuedRan);
    ASSERT_TRUE(RunCallerUntil([&] { return delivered == 2; }));
    EXPECT_EQ(firstResult, std::optional<int>(1));  // it ran: its result is delivered
    EXPECT_EQ(queuedResult, std::nullopt);          // it never ran: the submitter is told so
    // No new work, no timers after the stop.
    EXPECT_FALSE(
        device_.Submit([](CommandContext&) { return 0; }, caller_, [](std::optional<int>) {}));
    EXPECT_EQ(device_.SubmitAndWait([](CommandContext&) { return 0; }), std::nullopt);
    EXPECT_FALSE(timers.Start(1001, 0ms, [&] { timerFired = true; }));
    caller_.RunUntilIdle();
    EXPECT_FALSE(timerFired);
}

TEST_F(CommandThreadTest, WaitersAndHandOffsAreReleasedByStop) {
    std::latch release(1);
    std::atomic<bool> blocking{false};
    device_.Submit(
        [&](CommandContext&) {
            blocking = true;
            release.wait();
            return 0;
        },
        caller_, [](std::optional<int>) {});
    SpinUntil(blocking);

    // Another thread waits for an operation stuck behind the first; a worker hands work over.
    std::atomic<bool> waitingSubmitter{false};
    std::optional<int> waited{7};
    std::thread submitter([&] {
        waitingSubmitter = true;
        waited = device_.SubmitAndWait([](CommandContext&) { return 3; });
    });
    bool handedOff = true;
    std::atomic<bool> waitingWorker{false};
    std::jthread worker([&](std::stop_token stop) {
        waitingWorker = true;
        handedOff = device_.Loop().PostAndWait([] {}, stop);
    });
    SpinUntil(waitingSubmitter);
    SpinUntil(waitingWorker);
    std::this_thread::sleep_for(2ms);

    std::thread stopper([&] { device_.Stop(kPrompt); });
    submitter.join();  // released before the blocked operation ends
    worker.join();
    release.count_down();
    stopper.join();
    EXPECT_EQ(waited, std::nullopt);
    EXPECT_FALSE(handedOff);
}

TEST_F(CommandThreadTest, AbandonedWaitNeverRunsTheOperation) {
    std::latch release(1);
    std::atomic<bool> blocking{false};
    device_.Submit(
        [&](CommandContext&) {
            blocking = true;
            release.wait();
            return 0;
        },
        caller_, [](std::optional<int>) {});
    SpinUntil(blocking);
    std::atomic<bool> ran{false};
    std::stop_source cancel;
    cancel.request_stop();
    EXPECT_EQ(device_.SubmitAndWait(
                  [&](CommandContext&) {
                      ran = true;
                      return 1;
                  },
                  {}, cancel.get_token()),
              std::nullopt);
    release.count_down();
    EXPECT_EQ(device_.SubmitAndWait([](CommandContext&) { return 2; }), std::optional<int>(2));
    EXPECT_FALSE(ran);
}

TEST_F(CommandThreadTest, FailedOperationReleasesItsWaiterAndTheThreadGoesOn) {
    auto failed = device_.SubmitAndWait([](CommandContext&) -> int { throw 1; });
    EXPECT_EQ(failed, std::nullopt);
    std::optional<int> delivered{5};
    bool done = false;
    device_.Submit([](CommandContext&) -> int { throw 2; }, caller_,
                   [&](std::optional<int> r) {
                       delivered = r;
                       done = true;
                   });
    ASSERT_TRUE(RunCallerUntil([&] { return done; }));
    EXPECT_EQ(delivered, std::nullopt);
    EXPECT_EQ(device_.SubmitAndWait([](CommandContext&) { return 4; }), std::optional<int>(4));
}

TEST_F(CommandThreadTest, OperationIgnoringStopExceedsTheBoundButIsStillJoined) {
    std::atomic<bool> running{false};
    std::atomic<bool> finished{false};
    device_.Submit(
        [&](CommandContext&) {
            running = true;
            std::this_thread::sleep_for(100ms);  // a wait that does not take the stop token
            finished = true;
            return 0;
        },
        caller_, [](std::optional<int>) {});
    SpinUntil(running);
    EXPECT_FALSE(device_.Stop(10ms));
    EXPECT_TRUE(finished);  // joined, never left running on a freed object
}

}  // namespace
}  // namespace q417
