#include "transport/HotplugMonitor.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace q417 {
namespace {

using namespace std::chrono_literals;
using Action = HotplugEvent::Action;

// Generous: a prompt Stop takes microseconds; this only catches a hang or a missed wake-up.
constexpr auto kPrompt = 1s;

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds bound = 2000ms) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

template <typename Fn>
std::chrono::steady_clock::duration TimeOf(Fn fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::steady_clock::now() - start;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// Stands in for udev: each opened source is one end of a datagram socket pair, the test writes
// "action|devnode|syspath" messages into the other end.
class FakeHotplugBus {
public:
    class Source : public IHotplugSource {
    public:
        Source(int fd, std::atomic<int>& nextCalls) : fd_(fd), nextCalls_(nextCalls) {}
        int Fd() const override { return fd_.Get(); }
        std::optional<HotplugEvent> Next() override {
            ++nextCalls_;
            char buf[512];
            const ssize_t n = ::recv(fd_.Get(), buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0) {
                return std::nullopt;
            }
            const std::string_view text(buf, static_cast<std::size_t>(n));
            const auto bar1 = text.find('|');
            const auto bar2 = text.find('|', bar1 + 1);
            const std::string_view action = text.substr(0, bar1);
            HotplugEvent event;
            event.action = action == "add"      ? Action::Add
                           : action == "remove" ? Action::Remove
                                                : Action::Other;
            event.devnode = std::string(text.substr(bar1 + 1, bar2 - bar1 - 1));
            event.syspath = std::string(text.substr(bar2 + 1));
            return event;
        }

    private:
        ::q417::Fd fd_;
        std::atomic<int>& nextCalls_;
    };

    CHotplugMonitor::SourceFactory Factory() {
        return [this](std::string& error) -> std::unique_ptr<IHotplugSource> {
            std::lock_guard lock(mutex_);
            if (!failWith.empty()) {
                error = failWith;
                return nullptr;
            }
            int fds[2];
            if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
                error = "socketpair failed";
                return nullptr;
            }
            peer_.Reset(fds[1]);
            ++opens;
            return std::make_unique<Source>(fds[0], nextCalls);
        };
    }

    bool Send(std::string_view action, std::string_view node) {
        const std::string msg = std::string(action) + "|" + std::string(node) +
                                "|/sys/class/hidraw/" +
                                std::string(node.substr(node.rfind('/') + 1));
        std::lock_guard lock(mutex_);
        return ::send(peer_.Get(), msg.data(), msg.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
               static_cast<ssize_t>(msg.size());
    }

    void HangUp() {
        std::lock_guard lock(mutex_);
        peer_.Reset();
    }

    std::string failWith;  // set before Start(): the next open fails with this reason
    int opens = 0;
    std::atomic<int> nextCalls{0};

private:
    std::mutex mutex_;
    Fd peer_;
};

// Collects what the monitor delivers, from its thread.
struct Recorder {
    std::mutex mutex;
    std::vector<HotplugEvent> events;
    std::vector<std::thread::id> threads;
    std::atomic<int> count{0};

    std::function<void(HotplugEvent)> Callback() {
        return [this](HotplugEvent event) {
            std::lock_guard lock(mutex);
            events.push_back(std::move(event));
            threads.push_back(std::this_thread::get_id());
            ++count;
        };
    }
};

double ProcessCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

TEST(HotplugMonitor, DeliversEventsInOrderOnItsOwnThread) {
    FakeHotplugBus bus;
    Recorder rec;
    CHotplugMonitor monitor(rec.Callback(), bus.Factory());
    ASSERT_TRUE(monitor.Start()) << monitor.LastError();
    EXPECT_TRUE(monitor.Running());
    EXPECT_TRUE(monitor.LastError().empty());
    EXPECT_TRUE(monitor.Start());  // already running: nothing reopened
    EXPECT_EQ(bus.opens, 1);

    ASSERT_TRUE(bus.Send("add", "/dev/hidraw3"));
    ASSERT_TRUE(bus.Send("remove", "/dev/hidraw3"));
    ASSERT_TRUE(bus.Send("change", "/dev/hidraw4"));
    ASSERT_TRUE(WaitUntil([&] { return rec.count.load() == 3; }));
    monitor.Stop();
    EXPECT_FALSE(monitor.Running());

    std::lock_guard lock(rec.mutex);
    ASSERT_EQ(rec.events.size(), 3u);
    EXPECT_EQ(rec.events[0].action, Action::Add);
    EXPECT_EQ(rec.events[0].devnode, "/dev/hidraw3");
    EXPECT_EQ(rec.events[0].syspath, "/sys/class/hidraw/hidraw3");
    EXPECT_EQ(rec.events[1].action, Action::Remove);
    EXPECT_EQ(rec.events[2].action, Action::Other);
    EXPECT_EQ(rec.events[2].devnode, "/dev/hidraw4");
    for (const auto& id : rec.threads) {
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(HotplugMonitor, UnavailableSourceFailsStartWithTheReasonAndLaterStartWorks) {
    FakeHotplugBus bus;
    bus.failWith = "udev is not running";
    Recorder rec;
    CHotplugMonitor monitor(rec.Callback(), bus.Factory());
    EXPECT_FALSE(monitor.Start());
    EXPECT_EQ(monitor.LastError(), "udev is not running");
    EXPECT_FALSE(monitor.Running());
    monitor.Stop();  // nothing to stop: harmless

    bus.failWith.clear();
    ASSERT_TRUE(monitor.Start());
    EXPECT_TRUE(monitor.LastError().empty());
    ASSERT_TRUE(bus.Send("add", "/dev/hidraw0"));
    EXPECT_TRUE(WaitUntil([&] { return rec.count.load() == 1; }));
}

TEST(HotplugMonitor, IdleWorkerSleepsAndStopsPromptly) {
    FakeHotplugBus bus;
    Recorder rec;
    CHotplugMonitor monitor(rec.Callback(), bus.Factory());
    ASSERT_TRUE(monitor.Start());

    // Nothing happens: the worker must sit in poll(), not read or spin. Generous bound: a busy
    // loop burns the whole interval.
    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0);
    EXPECT_EQ(bus.nextCalls.load(), 0);

    EXPECT_LT(TimeOf([&] { monitor.Stop(); }), kPrompt);
    EXPECT_EQ(rec.count.load(), 0);
}

TEST(HotplugMonitor, RepeatedStartStopIsPromptAndEachRunDelivers) {
    FakeHotplugBus bus;
    Recorder rec;
    CHotplugMonitor monitor(rec.Callback(), bus.Factory());
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(monitor.Start()) << "round " << i;
        if (i % 3 == 0) {
            ASSERT_TRUE(bus.Send("add", "/dev/hidraw1"));
            ASSERT_TRUE(WaitUntil([&] { return rec.count.load() == i / 3 + 1; })) << i;
        }
        EXPECT_LT(TimeOf([&] { monitor.Stop(); }), kPrompt) << "round " << i;
        monitor.Stop();  // twice is harmless
    }
    EXPECT_EQ(bus.opens, 30);
    EXPECT_EQ(rec.count.load(), 10);
}

TEST(HotplugMonitor, NoCallbackAfterStopReturnsEvenUnderAFlood) {
    FakeHotplugBus bus;
    std::atomic<bool> stopReturned{false};
    std::atomic<bool> inCallback{false};
    std::atomic<int> lateCalls{0};
    std::atomic<int> calls{0};
    CHotplugMonitor monitor(
        [&](HotplugEvent) {
            inCallback = true;
            if (stopReturned.load()) {
                ++lateCalls;
            }
            ++calls;
            std::this_thread::sleep_for(200us);  // widen the window of Stop arriving mid-call
            inCallback = false;
        },
        bus.Factory());
    ASSERT_TRUE(monitor.Start());

    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        while (feeding.load()) {
            bus.Send("add", "/dev/hidraw7");
            std::this_thread::yield();
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return calls.load() > 20; }));
    EXPECT_LT(TimeOf([&] { monitor.Stop(); }), kPrompt);
    stopReturned = true;
    EXPECT_FALSE(inCallback.load());
    const int atStop = calls.load();
    std::this_thread::sleep_for(50ms);  // the feeder keeps sending meanwhile
    feeding = false;
    feeder.join();
    EXPECT_EQ(lateCalls.load(), 0);
    EXPECT_EQ(calls.load(), atStop);
}

TEST(HotplugMonitor, StopFromInsideTheCallbackEndsDeliveryWithoutDeadlock) {
    FakeHotplugBus bus;
    std::atomic<int> calls{0};
    CHotplugMonitor* self = nullptr;
    CHotplugMonitor monitor(
        [&](HotplugEvent) {
            ++calls;
            self->Stop();
        },
        bus.Factory());
    self = &monitor;
    ASSERT_TRUE(monitor.Start());
    ASSERT_TRUE(bus.Send("add", "/dev/hidraw1"));
    ASSERT_TRUE(bus.Send("add", "/dev/hidraw2"));
    ASSERT_TRUE(bus.Send("add", "/dev/hidraw3"));
    ASSERT_TRUE(WaitUntil([&] { return !monitor.Running(); }));
    EXPECT_LT(TimeOf([&] { monitor.Stop(); }), kPrompt);
    EXPECT_EQ(calls.load(), 1);
}

TEST(HotplugMonitor, HungUpSourceEndsTheWorkerWithAReasonAndStartReopens) {
    FakeHotplugBus bus;
    Recorder rec;
    std::mutex endedMutex;
    std::vector<std::string> ended;
    CHotplugMonitor monitor(rec.Callback(), bus.Factory(), [&](const std::string& reason) {
        std::lock_guard lock(endedMutex);
        ended.push_back(reason);
    });
    ASSERT_TRUE(monitor.Start());
    ASSERT_TRUE(bus.Send("add", "/dev/hidraw5"));
    bus.HangUp();
    // The event queued before the hang-up still arrives, then the worker gives up instead of
    // spinning on a descriptor that stays readable, and tells the owner why.
    ASSERT_TRUE(WaitUntil([&] { return !monitor.Running(); }));
    EXPECT_EQ(rec.count.load(), 1);
    EXPECT_NE(monitor.LastError().find("hung up"), std::string::npos) << monitor.LastError();
    {
        std::lock_guard lock(endedMutex);
        ASSERT_EQ(ended.size(), 1u);
        EXPECT_EQ(ended[0], monitor.LastError());
    }

    ASSERT_TRUE(monitor.Start());
    EXPECT_EQ(bus.opens, 2);
    EXPECT_TRUE(monitor.Running());
    ASSERT_TRUE(bus.Send("remove", "/dev/hidraw5"));
    EXPECT_TRUE(WaitUntil([&] { return rec.count.load() == 2; }));
    // An ordinary stop is not an end the owner has to hear of.
    monitor.Stop();
    std::lock_guard lock(endedMutex);
    EXPECT_EQ(ended.size(), 1u);
}

TEST(HotplugMonitor, DestructorStopsARunningMonitor) {
    FakeHotplugBus bus;
    Recorder rec;
    const auto took = TimeOf([&] {
        CHotplugMonitor monitor(rec.Callback(), bus.Factory());
        ASSERT_TRUE(monitor.Start());
        ASSERT_TRUE(bus.Send("add", "/dev/hidraw1"));
        ASSERT_TRUE(WaitUntil([&] { return rec.count.load() == 1; }));
    });
    EXPECT_LT(took, 3s);
}

// The real udev source: where udev runs, the monitor starts and stops promptly, again and again;
// where it does not (containers), Start() fails cleanly with a reason and the caller polls.
TEST(HotplugMonitor, RealUdevStartsAndStopsOrExplainsWhyNot) {
    std::atomic<int> calls{0};
    CHotplugMonitor monitor([&](HotplugEvent) { ++calls; });
    bool started = false;
    EXPECT_LT(TimeOf([&] { started = monitor.Start(); }), kPrompt);
    if (!started) {
        EXPECT_FALSE(monitor.LastError().empty());
        EXPECT_FALSE(monitor.Running());
        monitor.Stop();
        GTEST_SKIP() << "udev unavailable: " << monitor.LastError();
    }
    EXPECT_TRUE(monitor.Running());
    for (int i = 0; i < 5; ++i) {
        EXPECT_LT(TimeOf([&] { monitor.Stop(); }), kPrompt);
        EXPECT_FALSE(monitor.Running());
        ASSERT_TRUE(monitor.Start()) << monitor.LastError();
    }
    EXPECT_LT(TimeOf([&] { monitor.Stop(); }), kPrompt);
}

}  // namespace
}  // namespace q417
