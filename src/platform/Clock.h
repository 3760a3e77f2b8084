#pragma once
// Time source of the event loops' timers and of the light workers. Production code uses the
// steady clock; tests inject a ManualClock and move time forward themselves.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <stop_token>

namespace q417 {

class Clock {
public:
    using Duration = std::chrono::steady_clock::duration;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;

    virtual TimePoint Now() const = 0;

    // Sleeps until Now() >= deadline. Returns false (at once) when `stop` is requested first,
    // so a worker sleeping until its next step can always be stopped promptly.
    virtual bool SleepUntil(TimePoint deadline, std::stop_token stop) = 0;

    bool SleepFor(Duration delay, std::stop_token stop) {
        return SleepUntil(Now() + delay, std::move(stop));
    }
};

class SteadyClock final : public Clock {
public:
    // One shared instance is enough: the steady clock has no state.
    static SteadyClock& Instance();

    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    bool SleepUntil(TimePoint deadline, std::stop_token stop) override;
};

// A clock that moves only when told to. Sleepers wake when Advance/Set reaches their deadline.
class ManualClock final : public Clock {
public:
    // Starts well after the epoch so that callers may subtract durations without underflow.
    explicit ManualClock(TimePoint start = TimePoint{} + std::chrono::hours(1)) : now_(start) {}

    TimePoint Now() const override;
    bool SleepUntil(TimePoint deadline, std::stop_token stop) override;

    void Advance(Duration delta);
    // Moves to `t`; a time before the current one is ignored (the clock is monotonic).
    void Set(TimePoint t);

    // Number of threads blocked in SleepUntil right now, and of sleeps begun so far: a worker
    // that ticks begins one per tick, one that waits to be woken begins none.
    std::size_t Sleepers() const;
    std::uint64_t SleepsBegun() const;
    // Waits (in real time, at most `realTimeout`) until at least `count` threads sleep on this
    // clock; lets a test advance time only once a worker has settled into its wait.
    bool WaitForSleepers(std::size_t count, std::chrono::milliseconds realTimeout) const;
    // Like WaitForSleepers, and every sleeper waits for a time still ahead: a worker woken by the
    // last Advance has done its work and gone back to sleep.
    bool WaitForSettledSleepers(std::size_t count, std::chrono::milliseconds realTimeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    TimePoint now_;
    std::size_t sleepers_ = 0;
    std::uint64_t sleepsBegun_ = 0;
    std::multiset<TimePoint> deadlines_;  // of the threads sleeping now
};

}  // namespace q417
