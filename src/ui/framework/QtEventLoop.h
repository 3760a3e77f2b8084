#pragma once
// The event loop of the UI thread, on Qt's own loop: tasks posted from any thread and the
// one-shot timers of the device manager run on the thread that owns the QApplication.
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "platform/EventLoop.h"

namespace q417::ui {

class QtEventLoop final : public EventLoop {
public:
    // Must be created on the UI thread, after the QApplication.
    QtEventLoop();
    ~QtEventLoop() override;

    // Refuses new work; pending tasks and timers are dropped and waiters released.
    void Quit();

protected:
    bool DoPost(Task task) override;
    bool DoPostAndWait(Task task, std::stop_token stop) override;
    bool DoStartTimer(TimerKey key, Clock::Duration delay, Task callback) override;
    void DoCancelTimer(TimerKey key) override;
    void DoCancelTimers(TimerOwnerId owner) override;
    bool DoIsTimerActive(TimerKey key) const override;
    bool DoIsLoopThread() const override;
    bool DoIsStopping() const override;

private:
    struct Waiter;
    struct TimerEntry {
        std::uint64_t generation = 0;
        Task callback;
    };

    void FireTimer(TimerKey key, std::uint64_t generation);
    void ArmOnLoop(TimerKey key, std::uint64_t generation, Clock::Duration delay);
    void WaitWhileRunning(std::unique_lock<std::mutex>& lock, auto matches);

    std::unique_ptr<QObject> context_;
    std::thread::id loopThread_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    bool stopping_ = false;
    std::map<TimerKey, TimerEntry> timers_;
    std::uint64_t nextGeneration_ = 1;
    std::optional<TimerKey> runningTimer_;
    std::set<std::shared_ptr<Waiter>> waiters_;
};

}  // namespace q417::ui
