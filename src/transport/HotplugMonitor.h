#pragma once
// Hot-plug notification for the device detection worker.
//
// The detection pass stays the mechanism that finds and loses devices. On Linux this monitor
// listens to udev for hidraw nodes appearing and disappearing and calls back at once, so the
// owner can wake the detection worker (CWakeup::Wake) and the pass runs now; while the monitor
// runs, the owner's periodic pass is only a slow safety net. When udev is not there (a container
// without /run/udev, no netlink socket) Start() says why, and when the source fails later the
// worker ends and onEnded says why: the owner goes back to polling often.
//
// The worker waits in poll() on the event source and on an eventfd that a stop request signals:
// no periodic wake-ups while nothing happens, and Stop() returns promptly.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/BoundedWorker.h"

namespace q417 {

struct HotplugEvent {
    enum class Action { Add, Remove, Other };
    Action action = Action::Other;
    std::string devnode;  // "/dev/hidraw3"; empty when unknown (e.g. events were dropped)
    std::string syspath;  // "/sys/devices/.../hidraw/hidraw3"; empty when unknown
};

// Where the events come from: a descriptor that turns readable while events are pending, and a
// non-blocking read of the next one. The udev source is the real one; tests supply their own.
class IHotplugSource {
public:
    virtual ~IHotplugSource() = default;
    virtual int Fd() const = 0;
    // The next pending event, or nullopt when none is pending right now. Never blocks.
    virtual std::optional<HotplugEvent> Next() = 0;
};

// Opens a udev monitor for the "hidraw" subsystem. Null with the reason in `error` when udev is
// not available. When the kernel drops events (receive buffer overrun) the source reports one
// Action::Other event without a node, which means "rescan".
std::unique_ptr<IHotplugSource> OpenUdevHidrawSource(std::string& error);

class CHotplugMonitor {
public:
    using SourceFactory = std::function<std::unique_ptr<IHotplugSource>(std::string& error)>;
    using EndedCallback = std::function<void(const std::string& reason)>;

    // Monitors udev's hidraw events. onEvent runs on the monitor's own thread and should only
    // hand the event on (e.g. wake the detection worker). Stop() called from inside onEvent
    // only requests the stop (a thread cannot join itself); the owner's next Stop() joins.
    explicit CHotplugMonitor(std::function<void(HotplugEvent)> onEvent);
    // Same with another event source (the emulated bus, tests). onEnded runs on the monitor's
    // thread when the worker ends on its own (the source failed or hung up), never once Stop()
    // has returned.
    CHotplugMonitor(std::function<void(HotplugEvent)> onEvent, SourceFactory openSource,
                    EndedCallback onEnded = {});
    ~CHotplugMonitor();
    CHotplugMonitor(const CHotplugMonitor&) = delete;
    CHotplugMonitor& operator=(const CHotplugMonitor&) = delete;

    // Opens the source and starts the worker. True when running (also when it already was);
    // false with the reason in LastError() when the source cannot be opened. Never blocks.
    bool Start();

    // Stops the worker and joins it (bounded, prompt). After it returns onEvent is not called
    // again. Harmless when not running.
    void Stop();

    // True between a successful Start() and Stop(), unless the source failed in between.
    bool Running() const;

    // Why the last Start() failed or why the worker ended on its own; empty otherwise.
    std::string LastError() const;

private:
    class EventFd;
    void Run(std::stop_token stop, IHotplugSource& source, int wakeFd);
    void SetError(std::string text);

    std::function<void(HotplugEvent)> onEvent_;
    SourceFactory openSource_;
    EndedCallback onEnded_;

    // Owned by the controlling thread; the worker uses them only while it runs.
    std::unique_ptr<IHotplugSource> source_;
    std::unique_ptr<EventFd> wakeFd_;
    BoundedWorker worker_;
    std::atomic<bool> workerEnded_{false};
    std::atomic<std::thread::id> workerId_{};

    mutable std::mutex errorMutex_;
    std::string lastError_;
};

}  // namespace q417
