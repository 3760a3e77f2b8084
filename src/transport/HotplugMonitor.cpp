#include "transport/HotplugMonitor.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>

#include "platform/Trace.h"

namespace q417 {
namespace {

// Stop waits this long for the worker before tracing it as late (it is joined either way).
constexpr std::chrono::milliseconds kStopBound{1000};

// A source that keeps reporting an error without yielding events is given up after this many
// polls in a row, instead of spinning on it.
constexpr int kMaxErrorPolls = 16;

// Without a running udev daemon libudev quietly hands out a monitor that never receives
// anything, so its control socket is checked first to give the caller a real answer.
constexpr const char* kUdevControl = "/run/udev/control";

std::string ErrnoText(int err) {
    return std::strerror(err);
}

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
};
struct UdevMonitorDeleter {
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
struct UdevDeviceDeleter {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevMonitorDeleter>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevDeviceDeleter>;

HotplugEvent::Action ActionFromUdev(const char* action) {
    const std::string_view text = action ? action : "";
    if (text == "add") {
        return HotplugEvent::Action::Add;
    }
    if (text == "remove") {
        return HotplugEvent::Action::Remove;
    }
    return HotplugEvent::Action::Other;
}

class UdevHidrawSource : public IHotplugSource {
public:
    UdevHidrawSource(UdevPtr udev, UdevMonitorPtr monitor)
        : udev_(std::move(udev)), monitor_(std::move(monitor)) {}

    int Fd() const override { return udev_monitor_get_fd(monitor_.get()); }

    std::optional<HotplugEvent> Next() override {
        // The monitor's socket is non-blocking: null means nothing left (or a message that did
        // not pass the filter), except for ENOBUFS, where the kernel dropped events.
        errno = 0;
        UdevDevicePtr device(udev_monitor_receive_device(monitor_.get()));
        if (!device) {
            if (errno == ENOBUFS) {
                return HotplugEvent{};
            }
            return std::nullopt;
        }
        HotplugEvent event;
        event.action = ActionFromUdev(udev_device_get_action(device.get()));
        if (const char* node = udev_device_get_devnode(device.get())) {
            event.devnode = node;
        }
        if (const char* path = udev_device_get_syspath(device.get())) {
            event.syspath = path;
        }
        return event;
    }

private:
    UdevPtr udev_;
    UdevMonitorPtr monitor_;  // declared after udev_, so released before it
};

}  // namespace

std::unique_ptr<IHotplugSource> OpenUdevHidrawSource(std::string& error) {
    if (::access(kUdevControl, F_OK) != 0) {
        error = std::string("udev is not running (") + kUdevControl + ": " + ErrnoText(errno) +
                "); hot-plug wake-ups are off, detection keeps polling";
        return nullptr;
    }
    UdevPtr context(udev_new());
    if (!context) {
        error = "udev_new failed: " + ErrnoText(errno);
        return nullptr;
    }
    errno = 0;
    UdevMonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (!monitor) {
        error = "cannot open the udev netlink monitor: " + ErrnoText(errno);
        return nullptr;
    }
    int r = udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr);
    if (r < 0) {
        error = "cannot filter udev events on hidraw: " + ErrnoText(-r);
        return nullptr;
    }
    r = udev_monitor_enable_receiving(monitor.get());
    if (r < 0) {
        error = "cannot receive udev events: " + ErrnoText(-r);
        return nullptr;
    }
    if (udev_monitor_get_fd(monitor.get()) < 0) {
        error = "the udev monitor has no descriptor";
        return nullptr;
    }
    return std::make_unique<UdevHidrawSource>(std::move(context), std::move(monitor));
}

// The eventfd a stop request signals to end the worker's poll().
class CHotplugMonitor::EventFd {
public:
    EventFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), error_(fd_ < 0 ? errno : 0) {}
    ~EventFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Error() const { return error_; }

private:
    int fd_;
    int error_;
};

CHotplugMonitor::CHotplugMonitor(std::function<void(HotplugEvent)> onEvent)
    : CHotplugMonitor(std::move(onEvent), &OpenUdevHidrawSource) {}

CHotplugMonitor::CHotplugMonitor(std::function<void(HotplugEvent)> onEvent,
                                 SourceFactory openSource, EndedCallback onEnded)
    : onEvent_(std::move(onEvent)),
      openSource_(std::move(openSource)),
      onEnded_(std::move(onEnded)) {}

CHotplugMonitor::~CHotplugMonitor() {
    Stop();
}

bool CHotplugMonitor::Start() {
    if (worker_.Running() && !workerEnded_.load()) {
        return true;
    }
    Stop();  // a worker whose source failed is joined before a new one starts

    std::string error;
    std::unique_ptr<IHotplugSource> source = openSource_ ? openSource_(error) : nullptr;
    if (!source) {
        SetError(error.empty() ? "the hot-plug event source could not be opened" : error);
        return false;
    }
    if (source->Fd() < 0) {
        SetError("the hot-plug event source has no descriptor");
        return false;
    }
    auto wakeFd = std::make_unique<EventFd>();
    if (!wakeFd->Valid()) {
        SetError("eventfd: " + ErrnoText(wakeFd->Error()));
        return false;
    }

    SetError({});
    source_ = std::move(source);
    wakeFd_ = std::move(wakeFd);
    workerEnded_ = false;
    IHotplugSource* sourcePtr = source_.get();
    const int wake = wakeFd_->Get();
    worker_.Start([this, sourcePtr, wake](std::stop_token stop) {
        workerId_ = std::this_thread::get_id();
        Run(stop, *sourcePtr, wake);
        workerEnded_ = true;
        // Ended on its own: the owner must stop trusting the events.
        if (!stop.stop_requested() && onEnded_) {
            onEnded_(LastError());
        }
    });
    return true;
}

void CHotplugMonitor::Stop() {
    if (workerId_.load() == std::this_thread::get_id()) {
        // Called from onEvent: the worker cannot join itself. No event is delivered after this
        // (the worker checks the token before each one); the owner's Stop() joins it later.
        worker_.RequestStop();
        return;
    }
    // The worker's stop callback signals the eventfd, which ends its poll() at once.
    worker_.Stop(kStopBound);
    workerId_ = std::thread::id{};
    source_.reset();
    wakeFd_.reset();
}

bool CHotplugMonitor::Running() const {
    return worker_.Running() && !workerEnded_.load();
}

std::string CHotplugMonitor::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

void CHotplugMonitor::SetError(std::string text) {
    if (!text.empty()) {
        Trace("hot-plug monitor: " + text);
    }
    std::lock_guard lock(errorMutex_);
    lastError_ = std::move(text);
}

void CHotplugMonitor::Run(std::stop_token stop, IHotplugSource& source, int wakeFd) {
    // A stop request writes the eventfd (a plain write: no lock, nothing that can block); if the
    // stop came first the callback runs right here and the first poll() returns at once.
    const std::stop_callback onStop(stop, [wakeFd] {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    });

    int errorPolls = 0;
    while (!stop.stop_requested()) {
        std::array<pollfd, 2> fds{{{source.Fd(), POLLIN, 0}, {wakeFd, POLLIN, 0}}};
        const int r = ::poll(fds.data(), fds.size(), -1);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetError("poll on the hot-plug source failed: " + ErrnoText(errno));
            return;
        }
        if (fds[1].revents != 0 || stop.stop_requested()) {
            return;
        }
        const short revents = fds[0].revents;
        if (revents & POLLNVAL) {
            SetError("the hot-plug event source was closed");
            return;
        }

        bool delivered = false;
        while (!stop.stop_requested()) {
            std::optional<HotplugEvent> event = source.Next();
            if (!event) {
                break;
            }
            delivered = true;
            try {
                onEvent_(std::move(*event));
            } catch (const std::exception& e) {
                Trace(std::string("hot-plug monitor: the event handler threw: ") + e.what());
            } catch (...) {
                Trace("hot-plug monitor: the event handler threw");
            }
        }
        if (stop.stop_requested()) {
            return;
        }

        // A hung-up source (its peer closed) stays readable forever; an error that reading does
        // not clear would do the same. Either would turn this loop into a busy loop.
        if ((revents & POLLHUP) && !delivered) {
            SetError("the hot-plug event source hung up");
            return;
        }
        errorPolls = ((revents & POLLERR) && !delivered) ? errorPolls + 1 : 0;
        if (errorPolls >= kMaxErrorPolls) {
            SetError("the hot-plug event source keeps failing");
            return;
        }
    }
}

}  // namespace q417
