#pragma once
// The command thread of one device object: everything that touches the device's state, its
// profile data or its channels runs here, one operation at a time in submission order, so a
// receiver time-out or a long block transfer never freezes the caller's (UI) thread. Callers
// get results and progress back on their own event loop, or wait for them (q417ctl).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/EventLoop.h"
#include "platform/HeadlessEventLoop.h"

namespace q417 {

using CommandProgress = std::function<void(int done, int total)>;

// What a running operation sees of its thread.
class CommandContext {
public:
    // Requested when the command thread stops: long operations check it between steps, and
    // blocking waits take it, so that the stop completes within its bound.
    std::stop_token StopToken() const { return stop_; }
    bool StopRequested() const { return stop_.stop_requested(); }

    // Reports progress to the submitter (on its loop for Submit, directly for SubmitAndWait).
    void ReportProgress(int done, int total) const;

    // The command thread's own loop: the device's timers run here.
    EventLoop& Loop() const { return loop_; }

private:
    friend class CommandThread;
    CommandContext(EventLoop& loop, std::stop_token stop, EventLoop* progressLoop,
                   std::shared_ptr<const CommandProgress> progress)
        : loop_(loop),
          stop_(std::move(stop)),
          progressLoop_(progressLoop),
          progress_(std::move(progress)) {}

    EventLoop& loop_;
    std::stop_token stop_;
    EventLoop* progressLoop_;
    std::shared_ptr<const CommandProgress> progress_;
};

// The result type of an operation callable as op(CommandContext&).
template <class Op>
using CommandResultOf = std::remove_cvref_t<std::invoke_result_t<Op&, CommandContext&>>;

namespace detail {

// Hand-over state of SubmitAndWait: the operation may start only while the waiter still waits.
class CommandWait {
public:
    bool Begin();  // false when the waiter gave up: the operation must not run
    void Complete(const std::function<void()>& store);
    // The operation will not deliver a result (dropped unrun, or it failed).
    void Drop();
    // Blocks until the operation completed (true) or was dropped; a stop before the operation
    // started drops it, a running operation is waited for (it may use the waiter's data).
    bool Wait(std::stop_token stop);

private:
    enum class State { Queued, Running, Done, Dropped };
    std::mutex mutex_;
    std::condition_variable_any changed_;
    State state_ = State::Queued;
};

template <class R>
struct CommandWaitResult : CommandWait {
    std::optional<R> result;
};

}  // namespace detail

class CommandThread {
public:
    // The bound of the destructor's stop, as for the device's light worker.
    static constexpr std::chrono::milliseconds kDefaultStopBound{1000};

    // Starts the thread. `name` appears in traces.
    explicit CommandThread(std::string name);
    // Stop(kDefaultStopBound). Must not run on the command thread itself.
    ~CommandThread();
    CommandThread(const CommandThread&) = delete;
    CommandThread& operator=(const CommandThread&) = delete;

    // The thread's loop: workers hand their work over with Loop().Post/PostAndWait, and the
    // device starts its timers on it (TimerScope). Posted tasks run between operations.
    EventLoop& Loop() { return loop_; }
    bool IsCommandThread() const { return loop_.IsLoopThread(); }
    std::stop_token StopToken() const { return stopSource_.get_token(); }
    bool IsStopping() const;
    // Operations submitted and not yet started.
    std::size_t PendingCount() const;

    // Queues `op` (callable as R op(CommandContext&)). When it has run, onDone(std::optional<R>)
    // runs on `resultLoop` with the result; progress reports go to onProgress on the same loop,
    // before the result. When the thread stops before the operation started, onDone receives
    // std::nullopt. Returns false (nothing queued, onDone never called) once stopping.
    // `resultLoop` must outlive this thread.
    template <class Op, class Done>
    bool Submit(Op op, EventLoop& resultLoop, Done onDone, CommandProgress onProgress = {});

    // Queues `op` and waits for its result; std::nullopt when it did not run (the thread
    // stopped, or `waitStop` was requested before it started). On the command thread itself it
    // runs inline. Progress is reported on the command thread.
    template <class Op>
    std::optional<CommandResultOf<Op>> SubmitAndWait(Op op, CommandProgress onProgress = {},
                                                     std::stop_token waitStop = {});

    // Requests stop (visible to the running operation through its token), refuses new work,
    // drops the queued operations (their submitters get std::nullopt) and the pending timers,
    // then waits up to `bound` for the thread to end. True when it ended in time; the outcome is
    // traced. The thread is joined in every case: an operation that ignores its stop token is
    // waited for rather than left running on freed state. Called on the command thread itself it
    // only requests the stop; the owner joins later.
    bool Stop(std::chrono::milliseconds bound = kDefaultStopBound);

private:
    struct Job {
        std::function<void(CommandContext&)> run;
        std::function<void()> abandon;
        EventLoop* progressLoop = nullptr;  // null: progress runs on the command thread
        std::shared_ptr<const CommandProgress> progress;
    };

    bool Enqueue(Job job);
    void RunNext();

    std::string name_;
    std::stop_source stopSource_;
    mutable std::mutex mutex_;
    std::deque<Job> jobs_;
    bool accepting_ = true;
    HeadlessEventLoop loop_;
};

template <class Op, class Done>
bool CommandThread::Submit(Op op, EventLoop& resultLoop, Done onDone, CommandProgress onProgress) {
    using R = CommandResultOf<Op>;
    static_assert(!std::is_void_v<R>, "an operation returns its result");
    auto opPtr = std::make_shared<Op>(std::move(op));
    auto donePtr = std::make_shared<Done>(std::move(onDone));
    EventLoop* target = &resultLoop;
    Job job;
    job.run = [opPtr, donePtr, target](CommandContext& context) {
        auto result = std::make_shared<std::optional<R>>((*opPtr)(context));
        target->Post([donePtr, result] { (*donePtr)(std::move(*result)); });
    };
    job.abandon = [donePtr, target] {
        target->Post([donePtr] { (*donePtr)(std::optional<R>()); });
    };
    job.progressLoop = target;
    if (onProgress) {
        job.progress = std::make_shared<const CommandProgress>(std::move(onProgress));
    }
    return Enqueue(std::move(job));
}

template <class Op>
std::optional<CommandResultOf<Op>> CommandThread::SubmitAndWait(Op op, CommandProgress onProgress,
                                                                std::stop_token waitStop) {
    using R = CommandResultOf<Op>;
    static_assert(!std::is_void_v<R>, "an operation returns its result");
    std::shared_ptr<const CommandProgress> progress;
    if (onProgress) {
        progress = std::make_shared<const CommandProgress>(std::move(onProgress));
    }
    if (IsCommandThread()) {
        // Waiting for ourselves would never end: run it here, between the steps of the caller.
        if (IsStopping()) {
            return std::nullopt;
        }
        CommandContext context(loop_, stopSource_.get_token(), nullptr, progress);
        return op(context);
    }
    auto wait = std::make_shared<detail::CommandWaitResult<R>>();
    auto opPtr = std::make_shared<Op>(std::move(op));
    Job job;
    job.run = [opPtr, wait](CommandContext& context) {
        if (!wait->Begin()) {
            return;
        }
        std::optional<R> result((*opPtr)(context));
        wait->Complete([&] { wait->result = std::move(result); });
    };
    job.abandon = [wait] { wait->Drop(); };
    job.progress = std::move(progress);
    if (!Enqueue(std::move(job))) {
        return std::nullopt;
    }
    if (!wait->Wait(std::move(waitStop))) {
        return std::nullopt;
    }
    return std::move(wait->result);
}

}  // namespace q417
