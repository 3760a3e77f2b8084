#pragma once
// A worker thread that is stopped within a bound: stop is requested through its token (every
// wait of the worker takes it), the owner waits up to the bound for the function to return and
// traces the outcome, and the thread is always joined, so nothing it uses is freed under it.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace q417 {

// How a stop ended (the trace says which).
enum class WorkerStopOutcome {
    NotRunning,  // nothing to stop
    Ended,       // the worker returned within the bound
    Late,        // it returned only after the bound; it was waited for and joined
};

class BoundedWorker {
public:
    BoundedWorker() = default;
    ~BoundedWorker() { Stop(std::chrono::milliseconds(1000)); }
    BoundedWorker(const BoundedWorker&) = delete;
    BoundedWorker& operator=(const BoundedWorker&) = delete;

    // Starts fn(stop_token) on a new thread; a running worker is stopped first (bound 1000 ms).
    void Start(std::function<void(std::stop_token)> fn);
    bool Running() const { return thread_.joinable(); }

    // Requests the stop, runs `wake` (for a wait the token cannot reach, e.g. closing a device
    // to end a blocked read), waits up to `bound`, traces the outcome and joins.
    WorkerStopOutcome Stop(std::chrono::milliseconds bound, const std::function<void()>& wake = {});

    // Asks the worker to stop without waiting (Stop still has to follow).
    void RequestStop() { thread_.request_stop(); }

private:
    struct Exit {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    std::shared_ptr<Exit> exit_;
    std::jthread thread_;
};

}  // namespace q417
