#pragma once
// An event loop for deterministic tests: time moves only through Advance(), and the loop runs
// on the thread that calls RunUntilIdle()/Advance(). Timers fire in due order, each with the
// clock set to its own due time. Other threads may post to it; their work runs at the next call.
#include <cstddef>
#include <memory>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/EventLoopCore.h"

namespace q417 {

class ManualClockEventLoop final : public EventLoop {
public:
    // Uses a clock of its own.
    ManualClockEventLoop();
    // Shares `clock` (e.g. with a light worker under test); it must outlive the loop.
    explicit ManualClockEventLoop(ManualClock& clock);
    ~ManualClockEventLoop() override;
    ManualClockEventLoop(const ManualClockEventLoop&) = delete;
    ManualClockEventLoop& operator=(const ManualClockEventLoop&) = delete;

    ManualClock& VirtualClock() { return clock_; }

    // Runs posted tasks and due timers until nothing is ready at the current time; returns the
    // number run. The calling thread becomes the loop's thread.
    std::size_t RunUntilIdle();

    // Moves time forward by `delta`, firing every timer due on the way in due order (timers
    // started by those callbacks included) with the clock set to each one's due time.
    std::size_t Advance(Clock::Duration delta);

    // Waits in real time (at most `realTimeout`) until another thread posts something, then runs
    // what is ready. Returns the number run (0 on time-out).
    std::size_t WaitAndRun(Clock::Duration realTimeout);

    void Quit() { core_.Quit(); }

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
    std::unique_ptr<ManualClock> ownClock_;
    ManualClock& clock_;
    detail::EventLoopCore core_;
};

}  // namespace q417
