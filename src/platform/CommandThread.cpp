#include "platform/CommandThread.h"

#include "platform/Trace.h"

namespace q417 {

void CommandContext::ReportProgress(int done, int total) const {
    if (!progress_) {
        return;
    }
    if (progressLoop_ == nullptr) {
        (*progress_)(done, total);
        return;
    }
    progressLoop_->Post([progress = progress_, done, total] { (*progress)(done, total); });
}

namespace detail {

bool CommandWait::Begin() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Queued) {
        return false;
    }
    state_ = State::Running;
    return true;
}

void CommandWait::Complete(const std::function<void()>& store) {
    {
        std::lock_guard lock(mutex_);
        store();
        state_ = State::Done;
    }
    changed_.notify_all();
}

void CommandWait::Drop() {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Done) {
            state_ = State::Dropped;
        }
    }
    changed_.notify_all();
}

bool CommandWait::Wait(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, stop, [this] { return state_ == State::Done || state_ == State::Dropped; });
    switch (state_) {
        case State::Done:
            return true;
        case State::Dropped:
            return false;
        case State::Queued:
            state_ = State::Dropped;
            return false;
        case State::Running:
            changed_.wait(lock, [this] { return state_ != State::Running; });
            return state_ == State::Done;
    }
    return false;
}

}  // namespace detail

CommandThread::CommandThread(std::string name) : name_(std::move(name)) {
    loop_.Start();
}

CommandThread::~CommandThread() {
    Stop(kDefaultStopBound);
}

bool CommandThread::IsStopping() const {
    std::lock_guard lock(mutex_);
    return !accepting_;
}

std::size_t CommandThread::PendingCount() const {
    std::lock_guard lock(mutex_);
    return jobs_.size();
}

bool CommandThread::Enqueue(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (!accepting_) {
            return false;
        }
        jobs_.push_back(std::move(job));
    }
    // One run request per job keeps the jobs in step with the loop's FIFO; a request that
    // finds the queue emptied by Stop does nothing.
    loop_.Post([this] { RunNext(); });
    return true;
}

void CommandThread::RunNext() {
    Job job;
    {
        std::lock_guard lock(mutex_);
        if (jobs_.empty()) {
            return;
        }
        job = std::move(jobs_.front());
        jobs_.pop_front();
    }
    CommandContext context(loop_, stopSource_.get_token(), job.progressLoop, job.progress);
    try {
        job.run(context);
    } catch (...) {
        // No result: the submitter hears "did not run" instead of waiting for ever.
        Trace("command thread " + name_ + ": an operation ended with an exception");
        job.abandon();
    }
}

bool CommandThread::Stop(std::chrono::milliseconds bound) {
    std::deque<Job> dropped;
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = accepting_;
        accepting_ = false;
        dropped.swap(jobs_);
    }
    // Quit before the running operation can see its stop: once it returns, no timer or
    // posted task may run after it.
    loop_.Quit();
    stopSource_.request_stop();
    for (Job& job : dropped) {
        job.abandon();
    }
    dropped.clear();
    const bool inTime = loop_.Stop(bound);
    if (first && !IsCommandThread()) {
        Trace(inTime ? "command thread " + name_ + ": ended"
                     : "command thread " + name_ + ": did not end within " +
                           std::to_string(bound.count()) + " ms; waited for its operation");
    }
    return inTime;
}

}  // namespace q417
