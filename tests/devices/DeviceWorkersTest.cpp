// The workers of a device: notifications handed to the command thread, the light worker's
// timing on a manual clock, and stops that finish within their bounds.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "MouseDeviceFixture.h"
#include "lighting/LightTables.h"
#include "platform/HeadlessEventLoop.h"
#include "platform/LightTick.h"
#include "transport/CommandResult.h"

namespace q417::test {
namespace {

class StateRecorder : public IDeviceObserver {
public:
    void OnDeviceStateChanged(const DeviceSnapshot& s) override {
        std::lock_guard lock(mutex_);
        snapshots_.push_back(s);
    }
    void OnDeviceNotice(DeviceNotice, int, int) override {}
    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return snapshots_.size();
    }
    DeviceSnapshot Last() {
        std::lock_guard lock(mutex_);
        return snapshots_.back();
    }

private:
    std::mutex mutex_;
    std::vector<DeviceSnapshot> snapshots_;
};

class MouseNotifications : public MouseDeviceFixture {
protected:
    void Start() {
        MakeDevice();
        recorder = std::make_shared<StateRecorder>();
        loop.Start();
        device->SetObserver(recorder, &loop);
        ConnectCable();
        Run([&] { return device->Synchronise(); });
        // The synchronisation's own page refreshes are delivered before any code is raised.
        loop.PostAndWait([] {});
        ASSERT_TRUE(OpenNotifications());
    }
    void TearDown() override {
        MouseDeviceFixture::TearDown();
        loop.Stop(std::chrono::seconds(1));
    }
    // Raises code and waits until the page has been refreshed once more.
    bool RaiseAndWait(uint16_t code) {
        std::size_t before = recorder->Count();
        return bus->RaiseNotification(emuId, code) &&
               Eventually([&] { return recorder->Count() > before; });
    }

    HeadlessEventLoop loop;
    std::shared_ptr<StateRecorder> recorder;
};

TEST_F(MouseNotifications, ProfileAndStageCodesAreReadBackFromTheMouse) {
    Start();
    // The mouse moved to profile 3, stage 0 of its own; the code announces it.
    bus->WithMouse(emuId, [](emu::MouseFirmware& m) {
        m.SelectProfile(3);
        m.SelectDpiStage(0);
    });
    ASSERT_TRUE(RaiseAndWait(0x1103));
    DeviceSnapshot s = recorder->Last();
    EXPECT_EQ(s.mouse->currentProfile, 3);
    EXPECT_EQ(s.mouse->recordSlot, 3);
    EXPECT_EQ(s.mouse->activeStage, 0);
    EXPECT_EQ(s.mouse->lastRecord[12], 0);

    // A code that does not match the mouse: the mouse's own memory wins.
    bus->WithMouse(emuId, [](emu::MouseFirmware& m) { m.SelectProfile(2); });
    ASSERT_TRUE(RaiseAndWait(0x11F5));
    s = recorder->Last();
    EXPECT_EQ(s.mouse->currentProfile, 2);
    EXPECT_EQ(s.mouse->recordSlot, 2);
    EXPECT_EQ(s.mouse->activeStage, 1);
}

TEST_F(MouseNotifications, AnUnreadableMouseTakesTheCodeAndReadsBeforeTheNextEdit) {
    Start();
    const std::vector<uint8_t> slot3 = Record(3);
    emu::Fault fail;
    fail.kind = emu::FaultKind::Status;
    fail.status = 0xFF;
    ASSERT_TRUE(bus->InjectFault(emuId, fail));
    // The read back fails: the code is taken (profile 3, stage 0), stage 9 would be ignored.
    ASSERT_TRUE(RaiseAndWait(0x1103));
    EXPECT_EQ(recorder->Last().mouse->currentProfile, 3);
    EXPECT_EQ(recorder->Last().mouse->activeStage, 0);
    // The mouse is really on profile 0: the edit reads that first and lands there.
    EXPECT_EQ(Run([&] { return device->EditStageDpi(0, 600); }), kResultOk);
    EXPECT_EQ(Run([&] { return device->RecordSlot(); }), 0);
    EXPECT_EQ(Record(3), slot3);
    const std::vector<uint8_t> slot0 = Record(0);
    EXPECT_EQ(slot0[16] | (slot0[17] << 8), (600 - 50) / 50);
}

TEST_F(MouseNotifications, OtherHighBytesChangeNothing) {
    Start();
    std::size_t before = recorder->Count();
    ASSERT_TRUE(bus->RaiseNotification(emuId, 0x1203));
    // A later code shows the first one was handled (in order) without a refresh.
    bus->WithMouse(emuId, [](emu::MouseFirmware& m) { m.SelectProfile(1); });
    ASSERT_TRUE(RaiseAndWait(0x1001));
    EXPECT_EQ(recorder->Count(), before + 1);
    EXPECT_EQ(recorder->Last().mouse->currentProfile, 1);
}

TEST_F(MouseNotifications, DeviceButtonsAreFollowed) {
    Start();
    std::size_t before = recorder->Count();
    ASSERT_TRUE(bus->SwitchProfileOnDevice(emuId, 4));
    ASSERT_TRUE(Eventually([&] { return recorder->Count() > before; }));
    EXPECT_EQ(recorder->Last().mouse->currentProfile, 4);
    before = recorder->Count();
    ASSERT_TRUE(bus->SwitchDpiStageOnDevice(emuId, 3));
    ASSERT_TRUE(Eventually([&] { return recorder->Count() > before; }));
    EXPECT_EQ(recorder->Last().mouse->activeStage, 3);
}

TEST_F(MouseNotifications, ReloadRequestRereadsTheRecord) {
    Start();
    bus->ClearCommandLog(emuId);
    ASSERT_TRUE(bus->RaiseNotification(emuId, 0x0401));
    ASSERT_TRUE(Eventually([&] {
        for (const auto& e : bus->CommandLog(emuId)) {
            if (e.code == 0x05 && e.length == 1) {
                return true;
            }
        }
        return false;
    }));
}

TEST_F(MouseNotifications, StopWhileReadIsBlockedReturnsPromptly) {
    Start();
    auto begin = std::chrono::steady_clock::now();
    device->CloseNotificationInterface(kKindMouseCable);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
    EXPECT_FALSE(device->NotificationChannel().InterfaceA().IsOpen());
    ASSERT_TRUE(OpenNotifications());
    begin = std::chrono::steady_clock::now();
    device.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
}

class LightWorker : public MouseDeviceFixture {
protected:
    void Start(LightState light) {
        DeviceOptions options;
        options.clock = &clock;
        MakeDevice(options);
        ConnectCable();
        device->SetLightSettings(light);
        device->StartLightWorker();
        ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
    }
    // Moves one light tick on and lets the worker settle into its next sleep.
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.Advance(kLightTickPeriod);
            ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
        }
    }
    ManualClock clock;
};

TEST_F(LightWorker, ColourCycleStepsOncePerPeriod) {
    LightState light{};
    light.effect = 1;  // colour cycle
    light.speed = 2;   // period 4 ticks
    light.brightness = 4;
    light.direction = 1;
    Start(light);
    Tick(3);
    EXPECT_EQ(device->LightStepsRun(), 0u);
    Tick(1);
    EXPECT_EQ(device->LightStepsRun(), 1u);
    Tick(8);
    EXPECT_EQ(device->LightStepsRun(), 3u);
    KeyColour c = device->GetKeyColour(0);
    EXPECT_EQ(c.alpha, 255);
}

TEST_F(LightWorker, ClosedChannelOrPausedLightRunsNoStep) {
    LightState light{};
    light.effect = 3;
    light.speed = 4;
    Start(light);
    device->CommandChannel().SetLightPaused(true);
    Tick(10);
    EXPECT_EQ(device->LightStepsRun(), 0u);
    device->CommandChannel().SetLightPaused(false);
    device->CommandChannel().SetOpen(false);
    Tick(2);  // the step in progress notices the closed channel
    // A closed channel does not tick: the worker does not even wake in the hour that follows.
    const auto sleeps = clock.SleepsBegun();
    clock.Advance(std::chrono::minutes(59));
    ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
    EXPECT_EQ(clock.SleepsBegun(), sleeps);
    EXPECT_EQ(device->LightStepsRun(), 0u);
    // The opener wakes the worker; it reaches the sleeper asynchronously: tick until it steps.
    device->CommandChannel().SetOpen(true);
    device->WakeLightWorker();
    bool stepped = false;
    for (int i = 0; i < 200 && !stepped; ++i) {
        Tick(1);
        stepped = device->LightStepsRun() >= 1;
        if (!stepped) {
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_TRUE(stepped);
}

TEST_F(LightWorker, HiddenWindowParksThePictureAndShowingItResumes) {
    LightState light{};
    light.effect = 1;  // colour cycle
    light.speed = 4;   // a step every tick
    light.brightness = 4;
    Start(light);
    Tick(2);
    const auto before = device->LightStepsRun();
    EXPECT_GE(before, 1u);
    device->SetWindowHidden(true);
    Tick(1);  // the step in progress notices the mark
    const auto parked = device->LightStepsRun();
    // The device runs its own light: the worker sleeps until shown, no tick wakes it.
    const auto sleeps = clock.SleepsBegun();
    clock.Advance(std::chrono::minutes(5));
    ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
    EXPECT_EQ(device->LightStepsRun(), parked);
    EXPECT_EQ(clock.SleepsBegun(), sleeps);
    device->SetWindowHidden(false);
    // The wake-up reaches the parked worker asynchronously: tick until it steps again.
    bool resumed = false;
    for (int i = 0; i < 200 && !resumed; ++i) {
        Tick(1);
        resumed = device->LightStepsRun() > parked;
        if (!resumed) {
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_TRUE(resumed);
}

TEST_F(LightWorker, StopsWithinItsBoundWhileSleeping) {
    LightState light{};
    light.effect = 5;  // ripple, longest periods
    Start(light);
    auto begin = std::chrono::steady_clock::now();
    device->StopLightWorker();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_FALSE(device->LightWorkerRunning());
}

// A mouse whose user effect the test gives it (effect files are read from the working folder).
class UserEffectMouse : public CTavrenixMouseDevice {
public:
    using CTavrenixMouseDevice::CTavrenixMouseDevice;
    void Play(std::vector<LightSegment> segments) { SetUserEffect(std::move(segments)); }
};

LightSegment StaticSegment(std::uint8_t red, std::uint8_t blue, std::uint32_t timeMs) {
    LightSegment s{};
    s.mode = 1;
    s.brightness = 4;
    s.red = red;
    s.blue = blue;
    s.time = timeMs;
    return s;
}

constexpr KeyColour kRed{255, 0, 0, 255};
constexpr KeyColour kBlue{0, 0, 255, 255};

// The light worker playing a user effect (the mouse has no step of its own for effect 11).
class UserEffectWorker : public MouseDeviceFixture {
protected:
    void Start(std::vector<LightSegment> segments, Clock& timeBase) {
        DeviceOptions options;
        options.backend = bus;
        options.clock = &timeBase;
        auto made = std::make_unique<UserEffectMouse>("mouse", options);
        mouse = made.get();
        device = std::move(made);
        ConnectCable();
        mouse->Play(std::move(segments));
        LightState light{};
        light.effect = 11;
        light.speed = 4;
        device->SetLightSettings(light);
        device->StartLightWorker();
    }
    void StartManual(std::vector<LightSegment> segments) {
        Start(std::move(segments), clock);
        ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
        start = clock.Now();
    }
    // Moves the clock on to `ms` after the start one millisecond at a time, letting the worker
    // settle after each step.
    void AdvanceTo(int ms) {
        while (clock.Now() < start + std::chrono::milliseconds(ms)) {
            clock.Advance(1ms);
            ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
        }
    }
    KeyColour Shown() { return device->GetKeyColour(0); }

    ManualClock clock;
    Clock::TimePoint start;
    UserEffectMouse* mouse = nullptr;
};

TEST_F(UserEffectWorker, SegmentsChangeAtTheirMillisecondTimes) {
    // Two static segments of 100 ms. A segment moves on on the pass more than 100 ms after its
    // start and the next pass shows the next one: blue from 102 ms, red again from 203 ms.
    StartManual({StaticSegment(255, 0, 100), StaticSegment(0, 255, 100)});
    EXPECT_EQ(Shown(), kRed);
    AdvanceTo(101);
    EXPECT_EQ(Shown(), kRed);
    AdvanceTo(102);
    EXPECT_EQ(Shown(), kBlue);
    // Nothing changed in between: the worker slept from the first frame to this one.
    EXPECT_EQ(device->LightStepsRun(), 2u);
    AdvanceTo(202);
    EXPECT_EQ(Shown(), kBlue);
    AdvanceTo(203);
    EXPECT_EQ(Shown(), kRed);
    EXPECT_EQ(device->LightStepsRun(), 3u);
}

TEST_F(UserEffectWorker, AnimationRunsAtOneStepPerMillisecond) {
    // Colour cycle at speed 4 steps on every pass of the player, one pass per millisecond.
    LightSegment cycle{};
    cycle.mode = 5;
    cycle.brightness = 4;
    cycle.speed = 4;
    cycle.time = 60000;
    StartManual({cycle});
    AdvanceTo(100);
    const Rgb c = WheelColour(101);  // hue 1 at the first pass, then one more every millisecond
    EXPECT_EQ(Shown(), (KeyColour{c.r, c.g, c.b, 255}));
}

TEST_F(UserEffectWorker, SleepsUntilTheNextFrameAndStopsAtOnce) {
    StartManual({StaticSegment(255, 0, 10000), StaticSegment(0, 255, 10000)});
    // Five seconds of ticks: the next frame is 10 s away, so the worker does not wake.
    for (int i = 0; i < 320; ++i) {
        clock.Advance(kLightTickPeriod);
        ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
    }
    EXPECT_EQ(device->LightStepsRun(), 1u);
    EXPECT_EQ(Shown(), kRed);
    clock.Set(start + 10002ms);
    ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
    EXPECT_EQ(Shown(), kBlue);
    EXPECT_EQ(device->LightStepsRun(), 2u);
    // The stop request ends the sleep at once, ten seconds before the next frame.
    auto begin = std::chrono::steady_clock::now();
    device->StopLightWorker();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 300ms);
    EXPECT_FALSE(device->LightWorkerRunning());
}

TEST_F(UserEffectWorker, OnTheSteadyClockItSleepsAndStopsAtOnce) {
    Start({StaticSegment(255, 0, 60000)}, SteadyClock::Instance());
    ASSERT_TRUE(Eventually([&] { return device->LightStepsRun() >= 1; }));
    EXPECT_EQ(Shown(), kRed);
    std::this_thread::sleep_for(100ms);  // six ticks
    EXPECT_EQ(device->LightStepsRun(), 1u);
    auto begin = std::chrono::steady_clock::now();
    device->StopLightWorker();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 300ms);
    EXPECT_FALSE(device->LightWorkerRunning());
}

TEST_F(UserEffectWorker, NewEffectOrSettingsWakeTheSleepingWorker) {
    StartManual({StaticSegment(255, 0, 60000)});
    // A new effect is shown at once, not when the old one's next frame was due.
    mouse->Play({StaticSegment(0, 255, 60000)});
    EXPECT_TRUE(Eventually([&] { return Shown() == kBlue; }));
    ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
    // A device effect goes back to the tick: colour cycle at speed 4 steps on every tick.
    LightState light{};
    light.effect = 1;
    light.speed = 4;
    light.brightness = 4;
    const auto played = device->LightStepsRun();
    device->SetLightSettings(light);
    // The wake-up reaches the worker asynchronously: tick until it has stepped.
    for (int i = 0; i < 200 && device->LightStepsRun() == played; ++i) {
        clock.Advance(kLightTickPeriod);
        ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_GT(device->LightStepsRun(), played);
    EXPECT_NE(Shown(), kBlue);
    const auto steps = device->LightStepsRun();
    for (int i = 0; i < 4; ++i) {
        clock.Advance(kLightTickPeriod);
        ASSERT_TRUE(clock.WaitForSettledSleepers(1, 3000ms));
    }
    EXPECT_EQ(device->LightStepsRun(), steps + 4);
}

TEST(DeviceBase, KeyColoursOutOfRangeAndFunctionPages) {
    CTavrenixMouseDevice mouse("m");
    KeyColour white{255, 255, 255, 255};
    mouse.SetKeyColour(-1, white);
    mouse.SetKeyColour(15, white);
    EXPECT_EQ(mouse.GetKeyColour(-1), KeyColour{});
    EXPECT_EQ(mouse.GetKeyColour(15), KeyColour{});
    mouse.SetKeyColour(14, white);
    EXPECT_EQ(mouse.GetKeyColour(14), white);
    EXPECT_EQ(mouse.KeyColours().size(), 15u);

    EXPECT_EQ(PagesForFunctionPanel(4, kDeviceKindMousePad), PagesForFunctionPanel(7, 3));
    EXPECT_EQ(PagesForFunctionPanel(4, kDeviceKindMouse), (FunctionPanelPages{4, -1}));
    EXPECT_EQ(PagesForFunctionPanel(6, kDeviceKindMouse), (FunctionPanelPages{0, 1}));
    EXPECT_EQ(PagesForFunctionPanel(42, kDeviceKindMouse), (FunctionPanelPages{0, 0}));
    EXPECT_EQ(mouse.ShowFunctionPanel(9), (FunctionPanelPages{5, -1}));
    EXPECT_EQ(mouse.GetFunctionPanel(), 9);
    // A mouse has no light-control command.
    EXPECT_EQ(mouse.SetLightControl(true), kResultOk);
}

}  // namespace
}  // namespace q417::test
