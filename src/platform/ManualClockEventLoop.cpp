#include "platform/ManualClockEventLoop.h"

#include <thread>

namespace q417 {

ManualClockEventLoop::ManualClockEventLoop()
    : ownClock_(std::make_unique<ManualClock>()), clock_(*ownClock_) {
    core_.SetLoopThread(std::this_thread::get_id());
}

ManualClockEventLoop::ManualClockEventLoop(ManualClock& clock) : clock_(clock) {
    core_.SetLoopThread(std::this_thread::get_id());
}

ManualClockEventLoop::~ManualClockEventLoop() {
    core_.Quit();
}

std::size_t ManualClockEventLoop::RunUntilIdle() {
    core_.SetLoopThread(std::this_thread::get_id());
    std::size_t total = 0;
    while (std::size_t ran = core_.RunReady(clock_.Now())) {
        total += ran;
    }
    return total;
}

std::size_t ManualClockEventLoop::Advance(Clock::Duration delta) {
    const Clock::TimePoint target = clock_.Now() + delta;
    std::size_t total = RunUntilIdle();
    while (!core_.IsStopping()) {
        const auto due = core_.NextDue();
        if (!due || *due > target) {
            break;
        }
        clock_.Set(*due);  // a due time in the past leaves the clock where it is
        total += RunUntilIdle();
    }
    clock_.Set(target);
    return total + RunUntilIdle();
}

std::size_t ManualClockEventLoop::WaitAndRun(Clock::Duration realTimeout) {
    core_.SetLoopThread(std::this_thread::get_id());
    if (!core_.HasPosted()) {
        core_.WaitForWork(SteadyClock::Instance().Now() + realTimeout, false);
    }
    return RunUntilIdle();
}

bool ManualClockEventLoop::DoPostAndWait(Task task, std::stop_token stop) {
    if (core_.IsLoopThread()) {
        return core_.RunInline(task);
    }
    return core_.PostAndWait(std::move(task), std::move(stop));
}

bool ManualClockEventLoop::DoStartTimer(TimerKey key, Clock::Duration delay, Task callback) {
    return core_.StartTimer(key, clock_.Now() + delay, std::move(callback));
}

}  // namespace q417
