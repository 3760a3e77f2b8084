#pragma once
// The queue and timer bookkeeping shared by HeadlessEventLoop and ManualClockEventLoop. The
// owning loop decides how time passes and which thread drives it; this class only holds the
// work and runs what is ready.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>
#include <tuple>

#include "platform/EventLoop.h"

namespace q417::detail {

class EventLoopCore {
public:
    using Task = EventLoop::Task;
    using TimePoint = Clock::TimePoint;

    EventLoopCore() = default;
    ~EventLoopCore();
    EventLoopCore(const EventLoopCore&) = delete;
    EventLoopCore& operator=(const EventLoopCore&) = delete;

    // Producers (any thread).
    bool Post(Task task);
    // The blocking half of PostAndWait, for callers that are not on the loop's thread.
    bool PostAndWait(Task task, std::stop_token stop);
    // Inline half: runs `task` when the loop is not stopping.
    bool RunInline(const Task& task);
    bool StartTimer(TimerKey key, TimePoint due, Task callback);
    void CancelTimer(TimerKey key);
    void CancelTimers(TimerOwnerId owner);
    bool IsTimerActive(TimerKey key) const;

    // Consumer (the loop's thread). Runs the tasks posted so far, then the timers due at `now`
    // in due order; returns how many ran.
    std::size_t RunReady(TimePoint now);
    std::optional<TimePoint> NextDue() const;
    bool HasPosted() const;

    // Blocks until a task is posted, the loop stops, a timer is started, or `deadline` passes
    // (steady clock). With `untilTimerDue` the earliest pending timer also ends the wait.
    void WaitForWork(std::optional<TimePoint> deadline, bool untilTimerDue);

    // Refuses new work from now on: pending tasks and timers are dropped (their waiters return
    // false) and waits end. A task that is running finishes.
    void Quit();
    bool IsStopping() const;

    void SetLoopThread(std::thread::id id) { loopThread_.store(id); }
    bool IsLoopThread() const { return loopThread_.load() == std::this_thread::get_id(); }

private:
    enum class WaitState { Queued, Running, Done, Dropped };
    struct Waiter {
        WaitState state = WaitState::Queued;
    };
    struct Posted {
        Task task;
        std::shared_ptr<Waiter> waiter;  // set for PostAndWait
    };
    struct Timer {
        TimePoint due;
        std::uint64_t seq = 0;
        Task callback;
    };
    using OrderKey = std::tuple<TimePoint, std::uint64_t, TimerKey>;

    bool RunOnePosted();
    bool RunOneTimer(TimePoint now);
    void WaitWhileRunning(std::unique_lock<std::mutex>& lock, auto matches);
    static void Invoke(const Task& task);

    mutable std::mutex mutex_;
    std::condition_variable work_;       // wakes the loop's thread
    std::condition_variable_any state_;  // wakes waiters: task done, timer callback finished
    std::deque<Posted> posted_;
    std::map<TimerKey, Timer> timers_;
    std::set<OrderKey> order_;  // timers by (due, start order)
    std::uint64_t nextSeq_ = 1;
    std::optional<TimerKey> runningTimer_;
    bool stopping_ = false;
    bool timersChanged_ = false;
    std::atomic<std::thread::id> loopThread_{};
};

}  // namespace q417::detail
