#include "platform/Clock.h"

namespace q417 {

SteadyClock& SteadyClock::Instance() {
    static SteadyClock clock;
    return clock;
}

bool SteadyClock::SleepUntil(TimePoint deadline, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock lock(mutex);
    // Nothing notifies cv except a stop request, so this waits for the deadline or the stop.
    cv.wait_until(lock, stop, deadline, [] { return false; });
    return !stop.stop_requested();
}

Clock::TimePoint ManualClock::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

bool ManualClock::SleepUntil(TimePoint deadline, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    ++sleepers_;
    ++sleepsBegun_;
    auto entry = deadlines_.insert(deadline);
    changed_.notify_all();
    const bool reached = changed_.wait(lock, stop, [&] { return now_ >= deadline; });
    deadlines_.erase(entry);
    --sleepers_;
    changed_.notify_all();
    return reached && !stop.stop_requested();
}

std::uint64_t ManualClock::SleepsBegun() const {
    std::lock_guard lock(mutex_);
    return sleepsBegun_;
}

void ManualClock::Advance(Duration delta) {
    if (delta <= Duration::zero()) {
        return;
    }
    std::lock_guard lock(mutex_);
    now_ += delta;
    changed_.notify_all();
}

void ManualClock::Set(TimePoint t) {
    std::lock_guard lock(mutex_);
    if (t > now_) {
        now_ = t;
        changed_.notify_all();
    }
}

std::size_t ManualClock::Sleepers() const {
    std::lock_guard lock(mutex_);
    return sleepers_;
}

bool ManualClock::WaitForSleepers(std::size_t count, std::chrono::milliseconds realTimeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, realTimeout, [&] { return sleepers_ >= count; });
}

bool ManualClock::WaitForSettledSleepers(std::size_t count,
                                         std::chrono::milliseconds realTimeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, realTimeout, [&] {
        return sleepers_ >= count && (deadlines_.empty() || *deadlines_.begin() > now_);
    });
}

}  // namespace q417
