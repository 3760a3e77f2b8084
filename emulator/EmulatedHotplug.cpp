#include "emulator/EmulatedHotplug.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <iterator>
#include <optional>
#include <utility>

#include "emulator/EmulatedHidBus.h"

namespace q417::emu {

// One open source: its queue, and a pipe that holds a byte while the queue is not empty. Closing
// the write end is what a dead monitor looks like to poll(): POLLHUP once the pipe is drained.
struct EmulatedHotplug::Channel {
    std::mutex mutex;
    std::deque<HotplugEvent> queue;
    int readFd = -1;
    int writeFd = -1;

    ~Channel() {
        for (int fd : {readFd, writeFd}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    void Drain() const {
        std::array<char, 16> bytes{};
        while (::read(readFd, bytes.data(), bytes.size()) > 0) {
        }
    }

    void Push(const HotplugEvent& event) {
        std::lock_guard lock(mutex);
        if (writeFd < 0) {
            return;  // killed: the events are lost with the monitor
        }
        queue.push_back(event);
        if (queue.size() == 1) {
            const char one = 1;
            [[maybe_unused]] const ssize_t n = ::write(writeFd, &one, 1);
        }
    }

    void HangUp() {
        std::lock_guard lock(mutex);
        if (writeFd >= 0) {
            ::close(writeFd);
            writeFd = -1;
        }
    }

    bool Live() {
        std::lock_guard lock(mutex);
        return writeFd >= 0;
    }
};

class EmulatedHotplug::Source : public IHotplugSource {
public:
    explicit Source(std::shared_ptr<Channel> channel) : channel_(std::move(channel)) {}

    int Fd() const override { return channel_->readFd; }

    std::optional<HotplugEvent> Next() override {
        std::lock_guard lock(channel_->mutex);
        if (channel_->queue.empty()) {
            channel_->Drain();
            return std::nullopt;
        }
        HotplugEvent event = std::move(channel_->queue.front());
        channel_->queue.pop_front();
        if (channel_->queue.empty()) {
            channel_->Drain();
        }
        return event;
    }

private:
    std::shared_ptr<Channel> channel_;
};

void EmulatedHotplug::SetAvailable(bool available) {
    std::lock_guard lock(mutex_);
    available_ = available;
}

std::unique_ptr<IHotplugSource> EmulatedHotplug::Open(std::string& error) {
    std::lock_guard lock(mutex_);
    if (!available_) {
        error = "the emulated bus plays no hot-plug monitor";
        return nullptr;
    }
    std::array<int, 2> fds{-1, -1};
    if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return nullptr;
    }
    auto channel = std::make_shared<Channel>();
    channel->readFd = fds[0];
    channel->writeFd = fds[1];
    std::erase_if(channels_, [](const std::weak_ptr<Channel>& c) { return c.expired(); });
    channels_.push_back(channel);
    return std::make_unique<Source>(std::move(channel));
}

void EmulatedHotplug::Refresh(const std::function<std::vector<std::string>()>& paths) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> now = paths();
    std::sort(now.begin(), now.end());
    // Paths are never reused (each plug gets new instance names), so a set difference tells
    // exactly what came and went.
    std::vector<std::string> gone;
    std::vector<std::string> came;
    std::set_difference(known_.begin(), known_.end(), now.begin(), now.end(),
                        std::back_inserter(gone));
    std::set_difference(now.begin(), now.end(), known_.begin(), known_.end(),
                        std::back_inserter(came));
    known_ = std::move(now);
    if (dropping_) {
        return;
    }
    for (std::string& path : gone) {
        PushLocked({HotplugEvent::Action::Remove, path, {}});
    }
    for (std::string& path : came) {
        PushLocked({HotplugEvent::Action::Add, path, {}});
    }
}

void EmulatedHotplug::Inject(const HotplugEvent& event) {
    std::lock_guard lock(mutex_);
    PushLocked(event);
}

void EmulatedHotplug::SetDropping(bool dropping) {
    std::lock_guard lock(mutex_);
    dropping_ = dropping;
}

void EmulatedHotplug::Kill() {
    std::lock_guard lock(mutex_);
    available_ = false;
    for (const std::weak_ptr<Channel>& weak : channels_) {
        if (auto channel = weak.lock()) {
            channel->HangUp();
        }
    }
    channels_.clear();
}

std::size_t EmulatedHotplug::LiveSources() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(channels_.begin(), channels_.end(), [](const std::weak_ptr<Channel>& c) {
            auto channel = c.lock();
            return channel && channel->Live();
        }));
}

void EmulatedHotplug::PushLocked(const HotplugEvent& event) {
    for (const std::weak_ptr<Channel>& weak : channels_) {
        if (auto channel = weak.lock()) {
            channel->Push(event);
        }
    }
}

// --- The bus's side ----------------------------------------------------------------------------

void EmulatedHidBus::SetHotplugMonitor(bool on) {
    hotplug_->SetAvailable(on);
}

std::unique_ptr<IHotplugSource> EmulatedHidBus::OpenHotplugSource(std::string& error) {
    return hotplug_->Open(error);
}

void EmulatedHidBus::InjectHotplugEvent(const HotplugEvent& event) {
    hotplug_->Inject(event);
}

void EmulatedHidBus::DropHotplugEvents(bool drop) {
    hotplug_->SetDropping(drop);
}

void EmulatedHidBus::KillHotplugMonitor() {
    hotplug_->Kill();
}

std::size_t EmulatedHidBus::LiveHotplugSources() const {
    return hotplug_->LiveSources();
}

}  // namespace q417::emu
