// The device manager on the emulated bus, end to end: detection, selector entries, cable and
// receiver switching, reachability, removal during a transfer, profile switching and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "MouseDeviceFixture.h"
#include "devices/CDeviceManager.h"
#include "platform/HeadlessEventLoop.h"
#include "transport/CommandResult.h"
#include "transport/Commands.h"
#include "transport/GuardedWrite.h"

namespace q417::test {
namespace {

using Type = DeviceManagerEvent::Type;

class Recorder : public IDeviceManagerObserver {
public:
    void OnManagerEvent(const DeviceManagerEvent& e) override {
        std::lock_guard lock(mutex_);
        events_.push_back(e);
    }
    void OnDeviceState(int entry, const DeviceSnapshot& s) override {
        std::lock_guard lock(mutex_);
        states_[entry] = s;
        ++stateCounts_[entry];
    }
    int StateCount(int entry) {
        std::lock_guard lock(mutex_);
        return stateCounts_[entry];
    }
    int Count(Type type, int entry = -2, std::optional<bool> flag = std::nullopt) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& e : events_) {
            if (e.type == type && (entry == -2 || e.entry == entry) && (!flag || e.flag == *flag)) {
                ++n;
            }
        }
        return n;
    }
    std::optional<DeviceSnapshot> State(int entry) {
        std::lock_guard lock(mutex_);
        auto it = states_.find(entry);
        if (it == states_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

private:
    std::mutex mutex_;
    std::vector<DeviceManagerEvent> events_;
    std::map<int, DeviceSnapshot> states_;
    std::map<int, int> stateCounts_;
};

// The bus, with an enumeration that can be made to fail.
class FlakyBackend : public IHidBackend {
public:
    explicit FlakyBackend(std::shared_ptr<IHidBackend> inner) : inner_(std::move(inner)) {}
    bool EnumeratePaths(std::vector<std::string>& paths) override {
        if (failing.load()) {
            return false;
        }
        return inner_->EnumeratePaths(paths);
    }
    std::unique_ptr<IHidDevice> Open(const std::string& path, const HidOpenRequest& request,
                                     HidOpenError* error, std::string* text) override {
        return inner_->Open(path, request, error, text);
    }
    std::string Name() const override { return "flaky " + inner_->Name(); }
    std::atomic<bool> failing{false};

private:
    std::shared_ptr<IHidBackend> inner_;
};

class DeviceManagerTest : public MouseDeviceFixture {
protected:
    void SetUp() override {
        MouseDeviceFixture::SetUp();
        ASSERT_TRUE(loop.Start());
    }
    void TearDown() override {
        StopManager();
        loop.Stop(std::chrono::seconds(2));
        MouseDeviceFixture::TearDown();
    }
    void StartManager(std::shared_ptr<IHidBackend> backend = nullptr, bool picture = false) {
        DeviceManagerOptions options;
        options.backend = backend ? backend : bus;
        options.pollInterval = 100ms;
        options.showsPicture = picture;
        loop.PostAndWait([&] {
            manager = std::make_unique<CDeviceManager>(loop, options);
            manager->SetObserver(&recorder);
            manager->Start();
        });
        live.store(manager.get());
        listener = bus->AddChangeListener([this] {
            if (CDeviceManager* m = live.load()) {
                m->Wake();
            }
        });
    }
    void StopManager() {
        if (listener >= 0) {
            bus->RemoveChangeListener(listener);
            listener = -1;
        }
        live.store(nullptr);
        loop.PostAndWait([&] { manager.reset(); });
    }
    template <class Fn>
    auto OnLoop(Fn fn) {
        std::optional<std::invoke_result_t<Fn&>> result;
        loop.PostAndWait([&] { result = fn(); });
        return *result;
    }
    bool Until(std::function<bool()> pred, std::chrono::milliseconds bound = 5s) {
        return Eventually([&] { return OnLoop(pred); }, bound);
    }
    bool Visible(int entry) {
        return OnLoop([&] { return manager->Entries()[static_cast<std::size_t>(entry)].visible; });
    }
    // A second profile in the mouse folder's list; its id (empty when refused).
    std::string AddProfile() {
        return OnLoop([&] {
            std::string id;
            manager->ProfileListFor(0)->AddProfile(&id);
            return id;
        });
    }
    CTavrenixUSBDevice& Device(int entry) {
        return *OnLoop([&] { return manager->Entries()[static_cast<std::size_t>(entry)].device; });
    }

    HeadlessEventLoop loop;
    Recorder recorder;
    std::unique_ptr<CDeviceManager> manager;
    std::atomic<CDeviceManager*> live{nullptr};
    int listener = -1;
};

TEST_F(DeviceManagerTest, NoDeviceActivatesOnceAndKeepsBothMiceHidden) {
    StartManager();
    ASSERT_TRUE(Until([&] { return manager->Activated(); }));
    std::this_thread::sleep_for(350ms);  // a few more passes
    EXPECT_EQ(recorder.Count(Type::Activation), 1);
    EXPECT_EQ(OnLoop([&] { return manager->Entries().size(); }), 2u);
    EXPECT_FALSE(Visible(0));
    EXPECT_FALSE(Visible(1));
    EXPECT_TRUE(OnLoop([&] { return manager->NoDeviceLinkShown(); }));
}

TEST_F(DeviceManagerTest, CablePlugShowsSelectsAndSynchronises) {
    StartManager();
    ASSERT_TRUE(Until([&] { return manager->Activated(); }));
    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(Until([&] { return manager->Entries()[0].visible; }));
    EXPECT_EQ(OnLoop([&] { return manager->SelectedEntry(); }), 0);
    EXPECT_FALSE(OnLoop([&] { return manager->NoDeviceLinkShown(); }));
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > 0; }));
    auto state = recorder.State(0);
    ASSERT_TRUE(state && state->mouse);
    std::vector<uint8_t> record = Record(0);
    ASSERT_EQ(state->mouse->stages.size(), 6u);
    EXPECT_EQ(state->mouse->stages[2].dpiX, record[14 + 18 + 2] | (record[14 + 18 + 3] << 8));
    // The notification interface was opened too.
    EXPECT_TRUE(Eventually([&] { return Device(0).NotificationChannel().IsOpen() != 0; }));
}

// The mouse's factory effect animates; only an owner that shows the picture has it computed.
TEST_F(DeviceManagerTest, TheLightPictureIsComputedOnlyForAnOwnerThatShowsIt) {
    for (bool picture : {false, true}) {
        SCOPED_TRACE(picture ? "window" : "headless");
        StartManager(nullptr, picture);
        emuId = bus->PlugWiredMouse();
        // The synchronisation has started the light worker by the time its result is applied.
        ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > 0; }));
        const auto steps = Device(0).LightStepsRun();
        if (picture) {
            EXPECT_TRUE(Eventually([&] { return Device(0).LightStepsRun() > steps + 2; }));
        } else {
            std::this_thread::sleep_for(500ms);  // eight steps of the effect, had it run
            EXPECT_LE(Device(0).LightStepsRun(), steps + 1);  // at most the step in progress
        }
        StopManager();
        bus->Unplug(emuId);
    }
}

TEST_F(DeviceManagerTest, CableWinsOverTheReceiverAndHandsBack) {
    StartManager();
    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > 0; }));
    emu::DeviceId receiver = bus->PlugReceiver(emu::kReceiverProductId, true);
    ASSERT_TRUE(Until(
        [&] { return manager->Slots().Slot(6) && manager->Slots().Slot(6)->connected != 0; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(Device(0).IsWireless());
    EXPECT_TRUE(Visible(0));
    EXPECT_EQ(recorder.Count(Type::ConnectionSwitched), 0);

    int hiddenBefore = recorder.Count(Type::Reachability, 0, false);
    bus->Unplug(emuId);
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::ConnectionSwitched, 0, true) == 1; }));
    EXPECT_TRUE(Device(0).IsWireless());
    EXPECT_TRUE(Visible(0));
    EXPECT_EQ(recorder.Count(Type::Reachability, 0, false), hiddenBefore);
    // Traffic now goes through the receiver.
    int syncs = recorder.Count(Type::Synchronised, 0);
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > syncs; }));
    EXPECT_FALSE(bus->CommandLog(receiver).empty());

    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(
        Eventually([&] { return recorder.Count(Type::ConnectionSwitched, 0, false) == 1; }));
    EXPECT_FALSE(Device(0).IsWireless());
    EXPECT_TRUE(Visible(0));
}

TEST_F(DeviceManagerTest, CableAndReceiverFoundInOnePassUseTheCable) {
    emuId = bus->PlugWiredMouse();
    emu::DeviceId receiver = bus->PlugReceiver(emu::kReceiverProductId, true);
    StartManager();
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > 0; }));
    EXPECT_FALSE(Device(0).IsWireless());
    bus->Unplug(emuId);
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::ConnectionSwitched, 0, true) >= 1; }));
    EXPECT_TRUE(Device(0).IsWireless());
    EXPECT_TRUE(Device(0).CommandChannel().IsOpen() != 0);
    EXPECT_TRUE(Visible(0));
    bus->ClearCommandLog(receiver);
    EXPECT_EQ(*Device(0).Call([&] { return Device(0).CheckLink(); }), 1);
    EXPECT_FALSE(bus->CommandLog(receiver).empty());
}

TEST_F(DeviceManagerTest, ReceiverWithMouseOffStaysHiddenUntilTheLinkAnswers) {
    StartManager();
    emuId = bus->PlugReceiver(emu::kReceiverProductId, false);
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Reachability, 0, false) >= 1; }));
    EXPECT_FALSE(Visible(0));
    EXPECT_TRUE(Device(0).CommandChannel().IsOpen() != 0);
    // Asked again after 2000 ms.
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Reachability, 0, false) >= 2; }, 4s));
    ASSERT_TRUE(bus->SetLink(emuId, true));
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Reachability, 0, true) >= 1; }, 4s));
    EXPECT_TRUE(Visible(0));
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) >= 1; }));
    // The link watch notices the mouse going away.
    ASSERT_TRUE(bus->SetLink(emuId, false));
    ASSERT_TRUE(Until([&] { return !manager->Entries()[0].visible; }, 6s));
}

TEST_F(DeviceManagerTest, UnplugDuringAChunkedWriteFailsCleanlyAndReplugSynchronises) {
    StartManager();
    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > 0; }));
    emu::Fault unplug;
    unplug.kind = emu::FaultKind::UnplugMidTransfer;
    unplug.skipFrames = 2;  // CmdBegin, the first chunk, then gone
    ASSERT_TRUE(bus->InjectFault(emuId, unplug));
    CTavrenixUSBDevice& device = Device(0);
    auto result = device.Call([&] {
        std::vector<uint8_t> block(200, 0x11);
        GuardedWrite write(device.CommandChannel(), false);
        write.Step([&] { return CmdWriteMemory(device.CommandChannel(), block, 0x300); });
        return write.End();
    });
    ASSERT_TRUE(result.has_value());
    EXPECT_NE(*result, kResultOk);
    ASSERT_TRUE(Until([&] { return !manager->Entries()[0].visible; }));
    EXPECT_TRUE(OnLoop([&] { return manager->NoDeviceLinkShown(); }));
    int syncs = recorder.Count(Type::Synchronised, 0);
    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > syncs; }));
    EXPECT_TRUE(Visible(0));
}

TEST_F(DeviceManagerTest, ProfileSwitchWritesTheChosenProfilesRecord) {
    StartManager();
    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > 0; }));
    // A second profile whose stage 0 differs.
    const std::string secondId = AddProfile();
    ASSERT_FALSE(secondId.empty());
    CMouseProfiledata second;
    std::string path = OnLoop([&] { return manager->ProfileListFor(0)->ProfilePathAt(1); });
    second.SetProfilePath(path);
    second.LoadProfile(path);
    auto stages = second.GetDpiStages();
    ASSERT_FALSE(stages.empty());
    stages[0].dpiX = 77;
    stages[0].active = 1;
    second.SetDpiStages(stages);
    second.SetActiveDpiStage(0);
    ASSERT_NE(second.Save(), SaveResult::Failed);

    std::atomic<bool> done{false};
    ProfileApplyResult outcome;
    loop.Post([&] {
        manager->SwitchProfile(0, 1, [&](ProfileApplyResult r) {
            outcome = r;
            done = true;
        });
    });
    ASSERT_TRUE(Eventually([&] { return done.load(); }));
    EXPECT_TRUE(outcome.ran);
    EXPECT_EQ(outcome.recordResult, kResultOk);
    std::vector<uint8_t> record = Record(0);
    EXPECT_EQ(record[14 + 2] | (record[14 + 3] << 8), 77);
    EXPECT_EQ(OnLoop([&] { return manager->ProfileListFor(0)->GetCurrentId(); }), secondId);
}

TEST_F(DeviceManagerTest, AProfileSwitchReloadsOnlyTheSwitchedDevice) {
    StartManager();
    emuId = bus->PlugWiredMouse();
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Synchronised, 0) > 0; }));
    const std::string secondId = AddProfile();
    ASSERT_FALSE(secondId.empty());
    std::this_thread::sleep_for(200ms);
    const int otherBefore = recorder.StateCount(1);
    std::atomic<bool> done{false};
    loop.Post([&] { manager->SwitchProfile(0, 1, [&](ProfileApplyResult) { done = true; }); });
    ASSERT_TRUE(Eventually([&] { return done.load(); }));
    std::this_thread::sleep_for(300ms);
    // Entry 1 is the folder's other mouse: it takes the id for its next load, nothing more.
    EXPECT_EQ(recorder.StateCount(1), otherBefore) << "the other device was reloaded";
    CTavrenixUSBDevice& other = Device(1);
    EXPECT_EQ(other.Call([&] { return other.ProfileId(); }).value_or(""), secondId);
}

TEST_F(DeviceManagerTest, FailedEnumerationSkipsOnePassOnly) {
    auto flaky = std::make_shared<FlakyBackend>(bus);
    flaky->failing = true;
    StartManager(flaky);
    emuId = bus->PlugWiredMouse();
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(Visible(0));
    EXPECT_FALSE(OnLoop([&] { return manager->Activated(); }));
    flaky->failing = false;
    manager->Wake();
    ASSERT_TRUE(Until([&] { return manager->Entries()[0].visible; }));
    // Removals are still seen while enumeration fails.
    flaky->failing = true;
    bus->Unplug(emuId);
    ASSERT_TRUE(Until([&] { return !manager->Entries()[0].visible; }));
}

TEST_F(DeviceManagerTest, StopWithBlockedReadsAndPendingTimersIsBounded) {
    StartManager();
    emuId = bus->PlugReceiver(emu::kReceiverProductId, false);  // timer 1001 keeps retrying
    ASSERT_TRUE(Eventually([&] { return recorder.Count(Type::Reachability, 0, false) >= 1; }));
    auto begin = std::chrono::steady_clock::now();
    StopManager();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 4s);
}

}  // namespace
}  // namespace q417::test
