#pragma once
// The event loop of a thread: tasks posted from any thread run on it in order, and one-shot
// timers keyed by (owner, id) run on it when due. The UI implements it on its own thread;
// HeadlessEventLoop serves q417ctl, the device command threads and the tests, and
// ManualClockEventLoop lets tests move time by hand.
#include <compare>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "platform/Clock.h"

namespace q417 {

// Timer identifiers are scoped by an owner, so two device entries can both run timer 1001.
using TimerOwnerId = std::uint64_t;

struct TimerKey {
    TimerOwnerId owner = 0;  // 0: timers of the loop itself (no scope)
    int id = 0;
    friend auto operator<=>(const TimerKey&, const TimerKey&) = default;
};

class EventLoop {
public:
    using Task = std::function<void()>;

    virtual ~EventLoop() = default;

    // Queues `task` to run later on the loop's thread, after everything posted before it.
    // False (task dropped) once the loop is stopping.
    bool Post(Task task) { return DoPost(std::move(task)); }

    // Runs `task` on the loop's thread and returns once it has run (true). Runs it inline when
    // called on the loop's own thread. Returns false without running it when the loop is
    // stopping or stops before reaching it, and when `stop` is requested before it started
    // (the task is then never run); a task already running is waited for. So a worker handing
    // work over during shut-down never deadlocks against the join that stops it.
    bool PostAndWait(Task task, std::stop_token stop = {}) {
        return DoPostAndWait(std::move(task), std::move(stop));
    }

    // One-shot timer: `callback` runs on the loop's thread `delay` from now. Starting a key that
    // is already pending replaces it (new delay, new callback). False once the loop is stopping.
    bool StartTimer(TimerKey key, Clock::Duration delay, Task callback) {
        return DoStartTimer(key, delay, std::move(callback));
    }

    // After CancelTimer/CancelTimers return, the callback of that key (or owner) does not start.
    // Called from another thread while that callback runs, they wait for it to finish (so the
    // callback's owner may be destroyed afterwards); that callback must not wait for the caller.
    void CancelTimer(TimerKey key) { DoCancelTimer(key); }
    void CancelTimers(TimerOwnerId owner) { DoCancelTimers(owner); }

    bool IsTimerActive(TimerKey key) const { return DoIsTimerActive(key); }
    bool IsLoopThread() const { return DoIsLoopThread(); }
    bool IsStopping() const { return DoIsStopping(); }

    // A process-wide unique owner identifier (never 0).
    static TimerOwnerId NewTimerOwner();

protected:
    virtual bool DoPost(Task task) = 0;
    virtual bool DoPostAndWait(Task task, std::stop_token stop) = 0;
    virtual bool DoStartTimer(TimerKey key, Clock::Duration delay, Task callback) = 0;
    virtual void DoCancelTimer(TimerKey key) = 0;
    virtual void DoCancelTimers(TimerOwnerId owner) = 0;
    virtual bool DoIsTimerActive(TimerKey key) const = 0;
    virtual bool DoIsLoopThread() const = 0;
    virtual bool DoIsStopping() const = 0;
};

// The timers of one owner on one loop, addressed by plain identifiers (1000, 1001, ...). All of
// them are cancelled when the scope ends, so no callback outlives its owner. The loop must
// outlive the scope.
class TimerScope {
public:
    explicit TimerScope(EventLoop& loop) : loop_(loop), owner_(EventLoop::NewTimerOwner()) {}
    ~TimerScope() { loop_.CancelTimers(owner_); }
    TimerScope(const TimerScope&) = delete;
    TimerScope& operator=(const TimerScope&) = delete;

    bool Start(int id, Clock::Duration delay, EventLoop::Task callback) {
        return loop_.StartTimer(TimerKey{owner_, id}, delay, std::move(callback));
    }
    void Cancel(int id) { loop_.CancelTimer(TimerKey{owner_, id}); }
    void CancelAll() { loop_.CancelTimers(owner_); }
    bool IsActive(int id) const { return loop_.IsTimerActive(TimerKey{owner_, id}); }

    EventLoop& Loop() const { return loop_; }
    TimerOwnerId Owner() const { return owner_; }

private:
    EventLoop& loop_;
    TimerOwnerId owner_;
};

}  // namespace q417
