#include "platform/Wakeup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>
#include <vector>

namespace q417 {
namespace {

using namespace std::chrono_literals;

// Generous: "at once" means well inside this, a missed wake-up means the full long timeout.
constexpr auto kPrompt = 1s;
constexpr auto kLong = 10000ms;

TEST(Wakeup, WakeBeforeWaitIsNotLostAndWakesCoalesce) {
    CWakeup wakeup;
    std::stop_source stop;
    wakeup.Wake();
    wakeup.Wake();
    wakeup.Wake();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(wakeup.WaitFor(kLong, stop.get_token()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPrompt);
    // The flag was cleared: three wakes end one wait, the next one times out.
    EXPECT_FALSE(wakeup.WaitFor(20ms, stop.get_token()));
}

TEST(Wakeup, TimesOutWithoutWake) {
    CWakeup wakeup;
    EXPECT_FALSE(wakeup.WaitFor(0ms, std::stop_token{}));
    EXPECT_FALSE(wakeup.WaitFor(20ms, std::stop_token{}));  // a token that can never stop
}

TEST(Wakeup, WakeFromAnotherThreadEndsAWait) {
    CWakeup wakeup;
    std::atomic<bool> result{false};
    std::atomic<bool> done{false};
    std::jthread sleeper([&](std::stop_token st) {
        result = wakeup.WaitFor(kLong, st);
        done = true;
    });
    std::this_thread::sleep_for(20ms);  // let it sleep (a wake before the wait counts too)
    const auto start = std::chrono::steady_clock::now();
    wakeup.Wake();
    while (!done.load() && std::chrono::steady_clock::now() - start < kPrompt) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(done.load());
    EXPECT_TRUE(result.load());
}

TEST(Wakeup, StopEndsTheWaitAtOnceAndWins) {
    CWakeup wakeup;
    std::atomic<bool> result{true};
    std::jthread sleeper([&](std::stop_token st) { result = wakeup.WaitFor(kLong, st); });
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    sleeper.request_stop();
    sleeper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPrompt);
    EXPECT_FALSE(result.load());

    // Stop already requested: no wait at all, even with a wake pending; the wake stays for a
    // later waiter that is not stopping.
    std::stop_source stopped;
    stopped.request_stop();
    wakeup.Wake();
    const auto start2 = std::chrono::steady_clock::now();
    EXPECT_FALSE(wakeup.WaitFor(kLong, stopped.get_token()));
    EXPECT_LT(std::chrono::steady_clock::now() - start2, kPrompt);
    EXPECT_TRUE(wakeup.WaitFor(0ms, std::stop_token{}));
}

// Many wakers and one sleeper looping like the detection worker: every burst of wakes ends at
// least one wait, nothing hangs, and (under TSan) nothing races.
TEST(Wakeup, ManyWakersOneSleeper) {
    CWakeup wakeup;
    std::atomic<int> wakesSeen{0};
    std::jthread sleeper([&](std::stop_token st) {
        while (!st.stop_requested()) {
            if (wakeup.WaitFor(kLong, st)) {
                ++wakesSeen;
            }
        }
    });
    std::vector<std::jthread> wakers;
    for (int t = 0; t < 4; ++t) {
        wakers.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                wakeup.Wake();
            }
        });
    }
    wakers.clear();  // joins
    const auto start = std::chrono::steady_clock::now();
    while (wakesSeen.load() == 0 && std::chrono::steady_clock::now() - start < kPrompt) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(wakesSeen.load(), 1);
    EXPECT_LE(wakesSeen.load(), 2000);
    const auto stopStart = std::chrono::steady_clock::now();
    sleeper.request_stop();
    sleeper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, kPrompt);
}

}  // namespace
}  // namespace q417
