#include "platform/BoundedWorker.h"

#include "platform/Trace.h"

namespace q417 {

void BoundedWorker::Start(std::function<void(std::stop_token)> fn) {
    Stop(std::chrono::milliseconds(1000));
    auto exit = std::make_shared<Exit>();
    exit_ = exit;
    thread_ = std::jthread([exit, fn = std::move(fn)](std::stop_token stop) {
        fn(std::move(stop));
        std::lock_guard lock(exit->mutex);
        exit->finished = true;
        exit->done.notify_all();
    });
}

WorkerStopOutcome BoundedWorker::Stop(std::chrono::milliseconds bound,
                                      const std::function<void()>& wake) {
    if (!thread_.joinable()) {
        return WorkerStopOutcome::NotRunning;
    }
    thread_.request_stop();
    if (wake) {
        wake();
    }
    bool inTime = false;
    {
        std::unique_lock lock(exit_->mutex);
        inTime = exit_->done.wait_for(lock, bound, [&] { return exit_->finished; });
    }
    Trace(inTime ? "线程退出：：对象处于激发状态\n" : "线程退出：：对象处于非激发状态，超时\n");
    thread_.join();
    exit_.reset();
    return inTime ? WorkerStopOutcome::Ended : WorkerStopOutcome::Late;
}

}  // namespace q417
