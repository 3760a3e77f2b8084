#include "platform/EventLoopCore.h"

#include <utility>
#include <vector>

#include "platform/Trace.h"

namespace q417 {

TimerOwnerId EventLoop::NewTimerOwner() {
    static std::atomic<TimerOwnerId> next{1};
    return next.fetch_add(1);
}

namespace detail {

EventLoopCore::~EventLoopCore() {
    Quit();
}

void EventLoopCore::Invoke(const Task& task) {
    // A task must not take the loop down with it; the loop goes on with the next one.
    try {
        if (task) {
            task();
        }
    } catch (...) {
        Trace("event loop: a task ended with an exception");
    }
}

bool EventLoopCore::Post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        posted_.push_back(Posted{std::move(task), nullptr});
    }
    work_.notify_one();
    return true;
}

bool EventLoopCore::PostAndWait(Task task, std::stop_token stop) {
    auto waiter = std::make_shared<Waiter>();
    std::unique_lock lock(mutex_);
    if (stopping_ || stop.stop_requested()) {
        return false;
    }
    posted_.push_back(Posted{std::move(task), waiter});
    work_.notify_one();
    state_.wait(lock, stop, [&] {
        return waiter->state == WaitState::Done || waiter->state == WaitState::Dropped;
    });
    switch (waiter->state) {
        case WaitState::Done:
            return true;
        case WaitState::Dropped:
            return false;
        case WaitState::Queued:
            // Cancelled before it started: the loop skips it.
            waiter->state = WaitState::Dropped;
            return false;
        case WaitState::Running:
            // It may use the caller's data, so the caller has to stay until it is done.
            state_.wait(lock, [&] { return waiter->state == WaitState::Done; });
            return true;
    }
    return false;
}

bool EventLoopCore::RunInline(const Task& task) {
    if (IsStopping()) {
        return false;
    }
    Invoke(task);
    return true;
}

bool EventLoopCore::StartTimer(TimerKey key, TimePoint due, Task callback) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        auto it = timers_.find(key);
        if (it != timers_.end()) {
            order_.erase(OrderKey{it->second.due, it->second.seq, key});
            timers_.erase(it);
        }
        const std::uint64_t seq = nextSeq_++;
        timers_.emplace(key, Timer{due, seq, std::move(callback)});
        order_.emplace(due, seq, key);
        timersChanged_ = true;
    }
    work_.notify_one();
    return true;
}

void EventLoopCore::WaitWhileRunning(std::unique_lock<std::mutex>& lock, auto matches) {
    if (IsLoopThread()) {
        return;  // the running callback is our caller (or nothing runs)
    }
    state_.wait(lock, [&] { return !runningTimer_ || !matches(*runningTimer_); });
}

void EventLoopCore::CancelTimer(TimerKey key) {
    Task dropped;
    std::unique_lock lock(mutex_);
    auto it = timers_.find(key);
    if (it != timers_.end()) {
        order_.erase(OrderKey{it->second.due, it->second.seq, key});
        dropped = std::move(it->second.callback);
        timers_.erase(it);
    }
    WaitWhileRunning(lock, [key](const TimerKey& running) { return running == key; });
    lock.unlock();
    // `dropped` is destroyed here, outside the lock: its captures may do anything.
}

void EventLoopCore::CancelTimers(TimerOwnerId owner) {
    std::vector<Task> dropped;
    std::unique_lock lock(mutex_);
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.owner == owner) {
            order_.erase(OrderKey{it->second.due, it->second.seq, it->first});
            dropped.push_back(std::move(it->second.callback));
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
    WaitWhileRunning(lock, [owner](const TimerKey& running) { return running.owner == owner; });
    lock.unlock();
}

bool EventLoopCore::IsTimerActive(TimerKey key) const {
    std::lock_guard lock(mutex_);
    return timers_.contains(key);
}

bool EventLoopCore::RunOnePosted() {
    Posted item;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || posted_.empty()) {
            return false;
        }
        item = std::move(posted_.front());
        posted_.pop_front();
        if (item.waiter) {
            if (item.waiter->state == WaitState::Dropped) {
                return true;  // its waiter gave up; the task is destroyed unrun
            }
            item.waiter->state = WaitState::Running;
        }
    }
    Invoke(item.task);
    item.task = nullptr;
    if (item.waiter) {
        {
            std::lock_guard lock(mutex_);
            item.waiter->state = WaitState::Done;
        }
        state_.notify_all();
    }
    return true;
}

bool EventLoopCore::RunOneTimer(TimePoint now) {
    Task callback;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || order_.empty()) {
            return false;
        }
        const auto [due, seq, key] = *order_.begin();
        if (due > now) {
            return false;
        }
        order_.erase(order_.begin());
        auto it = timers_.find(key);
        callback = std::move(it->second.callback);
        timers_.erase(it);
        runningTimer_ = key;
    }
    Invoke(callback);
    callback = nullptr;
    {
        std::lock_guard lock(mutex_);
        runningTimer_.reset();
    }
    state_.notify_all();
    return true;
}

std::size_t EventLoopCore::RunReady(TimePoint now) {
    std::size_t postedNow = 0;
    std::uint64_t seqLimit = 0;
    {
        std::lock_guard lock(mutex_);
        postedNow = posted_.size();
        seqLimit = nextSeq_;
    }
    std::size_t ran = 0;
    // Only what was queued when the pass began, so a task that posts again cannot starve timers.
    for (std::size_t i = 0; i < postedNow && RunOnePosted(); ++i) {
        ++ran;
    }
    // Timers started during this pass (a callback re-arming with no delay) wait for the next.
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (order_.empty() || std::get<1>(*order_.begin()) >= seqLimit) {
                // The earliest timer is new; a later-due older one cannot be due before it.
                break;
            }
        }
        if (!RunOneTimer(now)) {
            break;
        }
        ++ran;
    }
    return ran;
}

std::optional<Clock::TimePoint> EventLoopCore::NextDue() const {
    std::lock_guard lock(mutex_);
    if (order_.empty()) {
        return std::nullopt;
    }
    return std::get<0>(*order_.begin());
}

bool EventLoopCore::HasPosted() const {
    std::lock_guard lock(mutex_);
    return !posted_.empty();
}

void EventLoopCore::WaitForWork(std::optional<TimePoint> deadline, bool untilTimerDue) {
    std::unique_lock lock(mutex_);
    timersChanged_ = false;
    if (untilTimerDue && !order_.empty()) {
        const TimePoint due = std::get<0>(*order_.begin());
        if (!deadline || due < *deadline) {
            deadline = due;
        }
    }
    auto ready = [&] { return stopping_ || !posted_.empty() || timersChanged_; };
    if (deadline) {
        work_.wait_until(lock, *deadline, ready);
    } else {
        work_.wait(lock, ready);
    }
}

void EventLoopCore::Quit() {
    std::deque<Posted> droppedTasks;
    std::map<TimerKey, Timer> droppedTimers;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        droppedTasks.swap(posted_);
        droppedTimers.swap(timers_);
        order_.clear();
        for (Posted& p : droppedTasks) {
            if (p.waiter) {
                p.waiter->state = WaitState::Dropped;
            }
        }
    }
    work_.notify_all();
    state_.notify_all();
    // The dropped tasks are destroyed here, outside the lock.
}

bool EventLoopCore::IsStopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

}  // namespace detail
}  // namespace q417
