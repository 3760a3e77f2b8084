#include "ui/framework/QtEventLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <chrono>

namespace q417::ui {

struct QtEventLoop::Waiter {
    enum class State { Queued, Running, Done, Dropped };
    State state = State::Queued;
};

QtEventLoop::QtEventLoop()
    : context_(std::make_unique<QObject>()), loopThread_(std::this_thread::get_id()) {}

QtEventLoop::~QtEventLoop() {
    Quit();
}

void QtEventLoop::Quit() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    timers_.clear();
    for (const auto& waiter : waiters_) {
        if (waiter->state == Waiter::State::Queued) {
            waiter->state = Waiter::State::Dropped;
        }
    }
    changed_.notify_all();
}

bool QtEventLoop::DoIsLoopThread() const {
    return std::this_thread::get_id() == loopThread_;
}

bool QtEventLoop::DoIsStopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

bool QtEventLoop::DoPost(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
    }
    // Queued calls on one context object run in posting order.
    QMetaObject::invokeMethod(
        context_.get(),
        [this, task = std::move(task)] {
            {
                std::lock_guard lock(mutex_);
                if (stopping_) {
                    return;
                }
            }
            task();
        },
        Qt::QueuedConnection);
    return true;
}

bool QtEventLoop::DoPostAndWait(Task task, std::stop_token stop) {
    if (DoIsLoopThread()) {
        if (DoIsStopping()) {
            return false;
        }
        task();
        return true;
    }
    auto waiter = std::make_shared<Waiter>();
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        waiters_.insert(waiter);
    }
    QMetaObject::invokeMethod(
        context_.get(),
        [this, waiter, task = std::move(task)] {
            {
                std::lock_guard lock(mutex_);
                if (waiter->state != Waiter::State::Queued) {
                    return;
                }
                waiter->state = Waiter::State::Running;
            }
            task();
            std::lock_guard lock(mutex_);
            waiter->state = Waiter::State::Done;
            changed_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, stop, [&] {
        return waiter->state == Waiter::State::Done || waiter->state == Waiter::State::Dropped;
    });
    if (waiter->state == Waiter::State::Queued) {
        // Given up before it started: it must not run later.
        waiter->state = Waiter::State::Dropped;
    }
    // A task already running uses the caller's data: wait for it even when stop is requested.
    changed_.wait(lock, [&] { return waiter->state != Waiter::State::Running; });
    waiters_.erase(waiter);
    return waiter->state == Waiter::State::Done;
}

bool QtEventLoop::DoStartTimer(TimerKey key, Clock::Duration delay, Task callback) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        generation = nextGeneration_++;
        timers_[key] = TimerEntry{generation, std::move(callback)};
    }
    if (DoIsLoopThread()) {
        ArmOnLoop(key, generation, delay);
    } else {
        QMetaObject::invokeMethod(
            context_.get(), [this, key, generation, delay] { ArmOnLoop(key, generation, delay); },
            Qt::QueuedConnection);
    }
    return true;
}

void QtEventLoop::ArmOnLoop(TimerKey key, std::uint64_t generation, Clock::Duration delay) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay);
    QTimer::singleShot(std::max<std::chrono::milliseconds>(ms, std::chrono::milliseconds(0)),
                       Qt::PreciseTimer, context_.get(),
                       [this, key, generation] { FireTimer(key, generation); });
}

void QtEventLoop::FireTimer(TimerKey key, std::uint64_t generation) {
    Task callback;
    {
        std::lock_guard lock(mutex_);
        auto it = timers_.find(key);
        // Restarted or cancelled since this expiry was armed.
        if (stopping_ || it == timers_.end() || it->second.generation != generation) {
            return;
        }
        callback = std::move(it->second.callback);
        timers_.erase(it);
        runningTimer_ = key;
    }
    callback();
    std::lock_guard lock(mutex_);
    runningTimer_.reset();
    changed_.notify_all();
}

void QtEventLoop::WaitWhileRunning(std::unique_lock<std::mutex>& lock, auto matches) {
    if (DoIsLoopThread()) {
        return;
    }
    changed_.wait(lock, [&] { return !runningTimer_ || !matches(*runningTimer_); });
}

void QtEventLoop::DoCancelTimer(TimerKey key) {
    std::unique_lock lock(mutex_);
    timers_.erase(key);
    WaitWhileRunning(lock, [&](const TimerKey& running) { return running == key; });
}

void QtEventLoop::DoCancelTimers(TimerOwnerId owner) {
    std::unique_lock lock(mutex_);
    for (auto it = timers_.begin(); it != timers_.end();) {
        it = it->first.owner == owner ? timers_.erase(it) : std::next(it);
    }
    WaitWhileRunning(lock, [&](const TimerKey& running) { return running.owner == owner; });
}

bool QtEventLoop::DoIsTimerActive(TimerKey key) const {
    std::lock_guard lock(mutex_);
    return timers_.count(key) != 0;
}

}  // namespace q417::ui
