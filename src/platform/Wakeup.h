#pragma once
// "Wake the sleeper": a worker that sleeps between passes (the device detection worker sleeps
// 100 ms) waits here, and anyone who knows something changed (a hot-plug event, the emulated
// bus) calls Wake() so the next pass starts at once instead of at the end of the sleep.
// Wakes are coalesced into one flag, and a wake that comes before the wait is not lost.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace q417 {

class CWakeup {
public:
    CWakeup() = default;
    CWakeup(const CWakeup&) = delete;
    CWakeup& operator=(const CWakeup&) = delete;

    // Sets the flag and wakes a waiter. Callable from any thread, cheap, never blocks for long.
    void Wake();

    // Sleeps up to `timeout`. True when woken (the flag is cleared, so one wake ends one wait);
    // false on time-out or when `stop` is requested (which ends the wait at once).
    bool WaitFor(std::chrono::milliseconds timeout, std::stop_token stop);

private:
    std::mutex mutex_;
    std::condition_variable_any wakeup_;
    bool woken_ = false;
};

}  // namespace q417
