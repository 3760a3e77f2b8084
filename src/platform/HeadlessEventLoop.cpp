#include "platform/HeadlessEventLoop.h"

namespace q417 {

HeadlessEventLoop::~HeadlessEventLoop() {
    Quit();
    std::lock_guard join(joinMutex_);
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool HeadlessEventLoop::Start() {
    std::lock_guard join(joinMutex_);
    std::lock_guard lock(threadMutex_);
    if (thread_.joinable() || core_.IsStopping()) {
        return false;
    }
    threadRunning_ = true;
    thread_ = std::jthread([this] {
        Run();
        {
            std::lock_guard ended(threadMutex_);
            threadRunning_ = false;
        }
        threadEnded_.notify_all();
    });
    return true;
}

void HeadlessEventLoop::Run() {
    Loop(nullptr, std::nullopt);
}

bool HeadlessEventLoop::RunUntil(const std::function<bool()>& done, Clock::Duration timeout) {
    Loop(done, SteadyClock::Instance().Now() + timeout);
    return done();
}

std::size_t HeadlessEventLoop::RunUntilIdle() {
    core_.SetLoopThread(std::this_thread::get_id());
    std::size_t total = 0;
    while (std::size_t ran = core_.RunReady(SteadyClock::Instance().Now())) {
        total += ran;
    }
    return total;
}

void HeadlessEventLoop::Loop(const std::function<bool()>& done,
                             std::optional<Clock::TimePoint> deadline) {
    core_.SetLoopThread(std::this_thread::get_id());
    while (!core_.IsStopping()) {
        if (done && done()) {
            return;
        }
        const Clock::TimePoint now = SteadyClock::Instance().Now();
        if (deadline && now >= *deadline) {
            return;
        }
        if (core_.RunReady(now) > 0) {
            continue;  // look again before sleeping: the work may have queued more
        }
        core_.WaitForWork(deadline, true);
    }
}

void HeadlessEventLoop::Quit() {
    core_.Quit();
}

bool HeadlessEventLoop::Stop(Clock::Duration bound) {
    Quit();
    bool inTime = true;
    {
        std::unique_lock lock(threadMutex_);
        if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
            return false;  // a task of this loop stopping it: the owner joins later
        }
        inTime = threadEnded_.wait_for(lock, bound, [this] { return !threadRunning_; });
    }
    std::lock_guard join(joinMutex_);
    if (thread_.joinable()) {
        thread_.join();
    }
    return inTime;
}

bool HeadlessEventLoop::DoPostAndWait(Task task, std::stop_token stop) {
    if (core_.IsLoopThread()) {
        return core_.RunInline(task);
    }
    return core_.PostAndWait(std::move(task), std::move(stop));
}

bool HeadlessEventLoop::DoStartTimer(TimerKey key, Clock::Duration delay, Task callback) {
    return core_.StartTimer(key, SteadyClock::Instance().Now() + delay, std::move(callback));
}

}  // namespace q417
