#pragma once
// An event loop without a UI: runs on a thread of its own (Start) or on the caller's thread
// (Run until Quit). It sleeps until the next task or timer is due and wakes at once on Quit.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/EventLoopCore.h"

namespace q417 {

class HeadlessEventLoop final : public EventLoop {
public:
    HeadlessEventLoop() = default;
    // Quits and joins its own thread. Must not run on the loop's own thread.
    ~HeadlessEventLoop() override;
    HeadlessEventLoop(const HeadlessEventLoop&) = delete;
    HeadlessEventLoop& operator=(const HeadlessEventLoop&) = delete;

    // Runs the loop on a thread of its own. False when it already runs or has been quit.
    bool Start();

    // Runs the loop on the caller's thread until Quit().
    void Run();
    // Runs the loop on the caller's thread until `done()` is true (checked after each pass over
    // the ready work), Quit() or `timeout`; returns done(). For callers awaiting a posted result.
    bool RunUntil(const std::function<bool()>& done, Clock::Duration timeout);
    // Runs what is ready now (posted tasks, due timers) on the caller's thread; returns the count.
    std::size_t RunUntilIdle();

    // Refuses new work, drops pending tasks and timers and ends Run/RunUntil. Any thread.
    void Quit();

    // Quit(), then waits up to `bound` for the loop's own thread to end (a task that is running
    // finishes first). True when it ended in time. The thread is joined in every case: a task
    // still running after the bound is waited for, never abandoned.
    bool Stop(Clock::Duration bound);

protected:
    bool DoPost(Task task) override { return core_.Post(std::move(task)); }
    bool DoPostAndWait(Task task, std::stop_token stop) override;
    bool DoStartTimer(TimerKey key, Clock::Duration delay, Task callback) override;
    void DoCancelTimer(TimerKey key) override { core_.CancelTimer(key); }
    void DoCancelTimers(TimerOwnerId owner) override { core_.CancelTimers(owner); }
    bool DoIsTimerActive(TimerKey key) const override { return core_.IsTimerActive(key); }
    bool DoIsLoopThread() const override { return core_.IsLoopThread(); }
    bool DoIsStopping() const override { return core_.IsStopping(); }

private:
    void Loop(const std::function<bool()>& done, std::optional<Clock::TimePoint> deadline);

    detail::EventLoopCore core_;
    std::mutex joinMutex_;  // one joiner at a time
    std::mutex threadMutex_;
    std::condition_variable threadEnded_;
    bool threadRunning_ = false;
    std::jthread thread_;
};

}  // namespace q417
