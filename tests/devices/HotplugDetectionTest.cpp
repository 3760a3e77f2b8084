// Detection driven by hot-plug events on the emulated bus playing a udev monitor: with the
// monitor live the pass runs on events and its own period is only a safety net; without the
// monitor, or once it dies, the pass polls often again and no device is missed.
//
// The safety period is set far beyond every bound here, so a plug seen within its bound with a
// live monitor can only have been seen through its event; pass counts show which period runs.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "MouseDeviceFixture.h"
#include "devices/CDeviceManager.h"
#include "platform/HeadlessEventLoop.h"
#include "platform/Trace.h"
#include "transport/HotplugMonitor.h"

namespace q417::test {
namespace {

constexpr auto kFast = 100ms;
constexpr auto kSafety = 60s;
// Generous for a loaded machine; a plug seen by its event takes milliseconds.
constexpr auto kSeen = 5s;

class HotplugDetection : public MouseDeviceFixture {
protected:
    void SetUp() override {
        MouseDeviceFixture::SetUp();
        SetTraceSink([this](std::string_view line) {
            if (line.find("hot-plug") != std::string_view::npos) {
                std::lock_guard lock(traceMutex_);
                traces_.emplace_back(line);
            }
        });
        ASSERT_TRUE(loop.Start());
    }
    void TearDown() override {
        loop.PostAndWait([&] { manager.reset(); });
        loop.Stop(2s);
        SetTraceSink({});
        MouseDeviceFixture::TearDown();
    }
    void StartManager(bool monitor, std::shared_ptr<IHidBackend> backend = nullptr) {
        bus->SetHotplugMonitor(monitor);
        DeviceManagerOptions options;
        options.backend = backend ? backend : bus;
        options.pollInterval = kFast;
        options.safetyPollInterval = kSafety;
        loop.PostAndWait([&] {
            manager = std::make_unique<CDeviceManager>(loop, options);
            manager->Start();
        });
        ASSERT_TRUE(Eventually([&] { return manager->DetectionPasses() >= 1; }, kSeen));
    }
    bool Visible(int entry) {
        bool visible = false;
        loop.PostAndWait(
            [&] { visible = manager->Entries()[static_cast<std::size_t>(entry)].visible; });
        return visible;
    }
    bool SeenWithin(bool visible, int entry = 0) {
        return Eventually([&] { return Visible(entry) == visible; }, kSeen);
    }
    // Several passes more: the short period is running (a 60 s one could not give them).
    bool Polling() {
        const auto from = manager->DetectionPasses();
        return Eventually([&] { return manager->DetectionPasses() >= from + 5; }, 20s);
    }
    bool Traced(const std::string& text) {
        std::lock_guard lock(traceMutex_);
        for (const std::string& line : traces_) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    HeadlessEventLoop loop;
    std::unique_ptr<CDeviceManager> manager;

private:
    std::mutex traceMutex_;
    std::vector<std::string> traces_;
};

TEST_F(HotplugDetection, LiveMonitorDrivesDetectionAndNoPassRunsWithoutAnEvent) {
    StartManager(true);
    EXPECT_TRUE(manager->HotplugEventsLive());
    EXPECT_EQ(manager->DetectionPeriod(), kSafety);
    const auto idle = manager->DetectionPasses();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(manager->DetectionPasses(), idle);

    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(SeenWithin(true));
    const auto afterPlug = manager->DetectionPasses();
    EXPECT_GT(afterPlug, idle);
    // The entry's own work (synchronisation, notifications) wakes no detection pass.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(manager->DetectionPasses(), afterPlug);

    bus->Unplug(emuId);
    ASSERT_TRUE(SeenWithin(false));
    emuId = bus->PlugWiredMouse();
    EXPECT_TRUE(SeenWithin(true));
}

TEST_F(HotplugDetection, DroppedEventsAskForARescan) {
    StartManager(true);
    bus->DropHotplugEvents(true);
    const auto before = manager->DetectionPasses();
    emuId = bus->PlugWiredMouse();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(manager->DetectionPasses(), before);
    EXPECT_FALSE(Visible(0));
    bus->DropHotplugEvents(false);
    bus->InjectHotplugEvent({});  // no node: the kernel dropped events
    EXPECT_TRUE(SeenWithin(true));
}

// The bus, with an enumeration that can be made to fail; its hot-plug events pass through.
class FailingEnumeration : public IHidBackend {
public:
    explicit FailingEnumeration(std::shared_ptr<emu::EmulatedHidBus> bus) : bus_(std::move(bus)) {}
    bool EnumeratePaths(std::vector<std::string>& paths) override {
        return !failing.load() && bus_->EnumeratePaths(paths);
    }
    std::unique_ptr<IHidDevice> Open(const std::string& path, const HidOpenRequest& request,
                                     HidOpenError* error, std::string* text) override {
        return bus_->Open(path, request, error, text);
    }
    std::string Name() const override { return "failing " + bus_->Name(); }
    std::unique_ptr<IHotplugSource> OpenHotplugSource(std::string& error) override {
        return bus_->OpenHotplugSource(error);
    }
    std::atomic<bool> failing{false};

private:
    std::shared_ptr<emu::EmulatedHidBus> bus_;
};

TEST_F(HotplugDetection, AFailedEnumerationIsRetriedSoonThoughTheMonitorIsLive) {
    auto backend = std::make_shared<FailingEnumeration>(bus);
    StartManager(true, backend);
    backend->failing = true;
    const auto before = manager->DetectionPasses();
    emuId = bus->PlugWiredMouse();  // its events are spent on a pass that cannot enumerate
    ASSERT_TRUE(Eventually([&] { return manager->DetectionPasses() > before; }, kSeen));
    EXPECT_FALSE(Visible(0));
    backend->failing = false;
    EXPECT_TRUE(SeenWithin(true));
}

TEST_F(HotplugDetection, WithoutTheWakeUpHookDetectionPollsOften) {
    StartManager(false);
    EXPECT_FALSE(manager->HotplugEventsLive());
    EXPECT_EQ(manager->DetectionPeriod(), kFast);
    EXPECT_TRUE(Traced("hot-plug events unavailable"));
    EXPECT_TRUE(Polling());
    emuId = bus->PlugWiredMouse();
    EXPECT_TRUE(SeenWithin(true));
    bus->Unplug(emuId);
    EXPECT_TRUE(SeenWithin(false));
}

TEST_F(HotplugDetection, AMonitorDyingMidRunFallsBackToPollingAndMissesNoDevice) {
    StartManager(true);
    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(SeenWithin(true));

    // The unplug's events are lost and the monitor dies: its end asks for the rescan that
    // finds the removal, and polling takes over.
    bus->DropHotplugEvents(true);
    bus->Unplug(emuId);
    bus->KillHotplugMonitor();
    ASSERT_TRUE(Eventually([&] { return !manager->HotplugEventsLive(); }, kSeen));
    EXPECT_EQ(manager->DetectionPeriod(), kFast);
    EXPECT_TRUE(SeenWithin(false));
    EXPECT_TRUE(Traced("hot-plug monitor ended"));
    EXPECT_TRUE(Polling());

    // No events come any more: polling alone finds the next plugs.
    bus->DropHotplugEvents(false);
    emuId = bus->PlugWiredMouse();
    EXPECT_TRUE(SeenWithin(true));
    bus->Unplug(emuId);
    EXPECT_TRUE(SeenWithin(false));
}

}  // namespace
}  // namespace q417::test
