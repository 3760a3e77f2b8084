#include "devices/CTavrenixUSBDevice.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

#include "lighting/LightTables.h"
#include "platform/Folders.h"
#include "platform/LightTick.h"
#include "platform/Trace.h"
#include "transport/Commands.h"

namespace q417 {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kNotificationReportSize = 64;
// The worker's wait while its channel is closed.
constexpr auto kClosedChannelWait = 100ms;
// Pause after an unreadable notification report, so a vanished device cannot spin the worker.
constexpr auto kNotificationRetryWait = 20ms;

}  // namespace

FunctionPanelPages PagesForFunctionPanel(int panelKind, int deviceKind) {
    switch (panelKind) {
        case 2:
        case 6:
            return {0, 1};
        case 3:
        case 10:
            return {1, -1};
        case 5:
            return {2, -1};
        case 8:
            return {3, -1};
        case 9:
            return {5, -1};
        case 4:
            if (deviceKind == kDeviceKindMouse || deviceKind == kDeviceKindKeyboard) {
                return {4, -1};
            }
            return {0, 2};
        case 7:
            return {0, 2};
        default:
            return {0, 0};
    }
}

CTavrenixUSBDevice::CTavrenixUSBDevice(int kind, std::string name, DeviceOptions options)
    : kind_(kind),
      name_(std::move(name)),
      clock_(options.clock != nullptr ? options.clock : &SteadyClock::Instance()),
      defaultDataFolder_(std::move(options.defaultDataFolder)),
      commandChannel_(options.backend),
      notificationChannel_(options.backend),
      engine_(options.ledCount),
      commands_(name_),
      timers_(commands_.Loop()) {}

CTavrenixUSBDevice::~CTavrenixUSBDevice() {
    Shutdown();
}

void CTavrenixUSBDevice::Shutdown() {
    // Workers first: they hand their work to the command thread, which stops last.
    StopNotificationWorker(true);
    StopNotificationWorker(false);
    notificationChannel_.InterfaceA().Close();
    notificationChannel_.InterfaceB().Close();
    notificationChannel_.SetOpen(false);
    StopLightWorker();
    if (!commands_.IsCommandThread()) {
        timers_.CancelAll();
        commands_.Stop();
    }
}

void CTavrenixUSBDevice::SetObserver(std::weak_ptr<IDeviceObserver> observer, EventLoop* loop) {
    std::lock_guard lock(observerMutex_);
    observer_ = std::move(observer);
    observerLoop_ = loop;
}

void CTavrenixUSBDevice::PostToObserver(std::function<void(IDeviceObserver&)> call) {
    std::weak_ptr<IDeviceObserver> target;
    EventLoop* loop = nullptr;
    {
        std::lock_guard lock(observerMutex_);
        target = observer_;
        loop = observerLoop_;
    }
    if (loop == nullptr || target.expired()) {
        return;
    }
    loop->Post([target, call = std::move(call)] {
        if (auto observer = target.lock()) {
            call(*observer);
        }
    });
}

void CTavrenixUSBDevice::Notify(DeviceNotice notice, int wParam, int lParam) {
    PostToObserver(
        [notice, wParam, lParam](IDeviceObserver& o) { o.OnDeviceNotice(notice, wParam, lParam); });
}

void CTavrenixUSBDevice::SetPowerStatus(const std::array<std::uint8_t, 6>& status) {
    powerStatus_ = status;
}

void CTavrenixUSBDevice::FillCommonSnapshot(DeviceSnapshot& s) {
    s.kind = kind_;
    s.open = commandChannel_.IsOpen() != 0;
    s.wireless = IsWireless();
    s.productId = identity_.productId;
    s.deviceName = deviceName_;
    s.profileId = profileId_;
    s.light = GetLightSettings();
    s.powerStatus = powerStatus_;
}

DeviceSnapshot CTavrenixUSBDevice::MakeSnapshot() {
    DeviceSnapshot s;
    FillCommonSnapshot(s);
    return s;
}

void CTavrenixUSBDevice::RefreshPanel() {
    auto snapshot = std::make_shared<DeviceSnapshot>(MakeSnapshot());
    PostToObserver([snapshot](IDeviceObserver& o) { o.OnDeviceStateChanged(*snapshot); });
}

void CTavrenixUSBDevice::SetWireless(bool wireless) {
    isWireless_.store(wireless);
    commandChannel_.SelectEndpoint(
        static_cast<int>(wireless ? Endpoint::Receiver : Endpoint::Cable));
}

void CTavrenixUSBDevice::SetIdentity(const DeviceIdentity& row) {
    identity_ = row;
    role_ = row.role;
}

int CTavrenixUSBDevice::SetLightControl(bool on) {
    lightControl_.store(on ? 1 : 0);
    if (on && kind_ == kDeviceKindKeyboard) {
        return CmdEnableLightControl(commandChannel_);
    }
    return kResultOk;
}

std::vector<std::uint8_t> CTavrenixUSBDevice::RenderLights() {
    std::vector<KeyColour> colours = KeyColours();
    std::vector<std::uint8_t> buffer;
    buffer.reserve(colours.size() * 3);
    for (const KeyColour& c : colours) {
        buffer.push_back(static_cast<std::uint8_t>(c.red * c.alpha / 256));
        buffer.push_back(static_cast<std::uint8_t>(c.green * c.alpha / 256));
        buffer.push_back(static_cast<std::uint8_t>(c.blue * c.alpha / 256));
    }
    return buffer;
}

void CTavrenixUSBDevice::SetKeyColour(int index, KeyColour colour) {
    std::lock_guard lock(lightLock_);
    engine_.SetKeyColour(index, colour);
}

KeyColour CTavrenixUSBDevice::GetKeyColour(int index) const {
    std::lock_guard lock(lightLock_);
    return engine_.GetKeyColour(index);
}

std::vector<KeyColour> CTavrenixUSBDevice::KeyColours() const {
    std::lock_guard lock(lightLock_);
    auto colours = engine_.KeyColours();
    return {colours.begin(), colours.end()};
}

std::string CTavrenixUSBDevice::DefaultLightPath() const {
    std::string folder = defaultDataFolder_.empty() ? DefaultDataFolder() : defaultDataFolder_;
    return WithTrailingSlash(folder) + "default_light.json";
}

void CTavrenixUSBDevice::ReloadNameLists() {
    std::string lightConfig = WithTrailingSlash(DeviceFolderPath()) + lightConfigName_ + ".config";
    std::lock_guard lock(dataLock_);
    ReloadLightNameLists(lightLists_, deviceIndex_, DefaultLightPath(), lightConfig);
}

EffectLists CTavrenixUSBDevice::LightLists() const {
    std::lock_guard lock(dataLock_);
    return lightLists_;
}

FunctionPanelPages CTavrenixUSBDevice::ShowFunctionPanel(int panelKind) {
    functionPanel_ = panelKind;
    return PagesForFunctionPanel(panelKind, kind_);
}

void CTavrenixUSBDevice::SetLightSettings(const LightState& light) {
    {
        std::lock_guard lock(lightLock_);
        engine_.SetLight(light);
    }
    WakeLightWorker();
}

void CTavrenixUSBDevice::SetAudioLightInfo(const AudioLightInfo& info) {
    std::lock_guard lock(dataLock_);
    audioLight_ = info;
}

AudioLightInfo CTavrenixUSBDevice::GetAudioLightInfo() const {
    std::lock_guard lock(dataLock_);
    return audioLight_;
}

LightState CTavrenixUSBDevice::GetLightSettings() const {
    std::lock_guard lock(lightLock_);
    return engine_.Light();
}

std::uint32_t CTavrenixUSBDevice::NowMs() const {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(clock_->Now().time_since_epoch())
            .count());
}

// --- Light worker ---------------------------------------------------------------------------

int CTavrenixUSBDevice::LightStepPeriod(int /*effect*/, int speed) const {
    return StepPeriod(speed);
}

bool CTavrenixUSBDevice::RunLightStep(CLightEngine& /*engine*/, int /*effect*/,
                                      std::uint32_t /*nowMs*/) {
    return false;
}

bool CTavrenixUSBDevice::HasLightStep(int /*effect*/) const {
    return false;
}

bool CTavrenixUSBDevice::LightStepRepeatsItself(int /*effect*/) const {
    return false;
}

std::string CTavrenixUSBDevice::DeviceFolderName() const {
    switch (kind_) {
        case kDeviceKindKeyboard:
            return "keyboard";
        case kDeviceKindMousePad:
            return "MousePad";
        case kDeviceKindHeadset:
            return "HD";
        default:
            return "mouse";
    }
}

std::string CTavrenixUSBDevice::DeviceFolderPath() const {
    return DeviceFolder(DeviceFolderName());
}

void CTavrenixUSBDevice::StartLightWorker() {
    lightWorker_.Start([this](std::stop_token stop) { LightWorkerLoop(std::move(stop)); });
}

void CTavrenixUSBDevice::StopLightWorker() {
    lightWorker_.Stop(kLightWorkerStopBound);
}

void CTavrenixUSBDevice::WakeLightWorker() {
    std::lock_guard lock(wakeMutex_);
    lightWake_.request_stop();
}

void CTavrenixUSBDevice::SetUserEffect(std::vector<LightSegment> segments) {
    {
        std::lock_guard lock(lightLock_);
        engine_.SetUserEffect(std::move(segments));
    }
    WakeLightWorker();
}

void CTavrenixUSBDevice::LightWorkerLoop(std::stop_token stop) {
    // The longest sleep while playing a user effect (also when it has no frame due): a change of
    // the effect or the settings, or the stop, wakes the worker before.
    constexpr auto kLongestUserFrameWait = std::chrono::milliseconds(std::chrono::hours(1));
    Clock& clock = *clock_;
    std::int64_t lastTick = LightTickCount(clock.Now());
    std::int64_t counter = 0;
    std::vector<KeyColour> before;
    // Each sleep ends early on stop and on a change of the light settings. The wake source is
    // renewed only after it fired, so an undisturbed worker allocates nothing per step.
    std::stop_source wake;
    std::optional<std::stop_callback<std::function<void()>>> forwardStop;
    auto renewWake = [&] {
        forwardStop.reset();
        wake = std::stop_source();
        {
            std::lock_guard lock(wakeMutex_);
            lightWake_ = wake;
        }
        forwardStop.emplace(stop, std::function<void()>([&wake] { wake.request_stop(); }));
    };
    renewWake();
    // Set by a pass of the loop that ran the user-effect player: when the next pass runs it too,
    // the player plays the time in between; after any other pass it starts again from now.
    bool playedUserEffect = false;
    while (!stop.stop_requested()) {
        const bool userEffectContinues = playedUserEffect;
        playedUserEffect = false;
        if (wake.stop_requested()) {
            renewWake();
        }

        if (commandChannel_.IsOpen() == 0) {
            // Nothing to show or send: no ticking while the device is away.
            clock.SleepFor(std::chrono::hours(1), wake.get_token());
            lastTick = LightTickCount(clock.Now());
            continue;
        }
        if (windowHidden_.load() && !LightFeedsDevice()) {
            // Nobody sees the picture and the device runs its own light: wait to be shown.
            clock.SleepFor(std::chrono::hours(1), wake.get_token());
            lastTick = LightTickCount(clock.Now());
            counter = 0;
            continue;
        }
        std::int64_t now = LightTickCount(clock.Now());
        if (commandChannel_.LightPaused()) {
            lastTick = now;
            clock.SleepUntil(LightTickDeadline(Clock::TimePoint{}, now + 1), wake.get_token());
            continue;
        }
        if (now != lastTick) {
            counter += now - lastTick;
            lastTick = now;
        }
        LightState light = GetLightSettings();
        std::int64_t nextTick = now + 1;
        std::optional<Clock::TimePoint> frameDue;  // the user effect's next frame
        bool changed = false;
        bool settled = false;
        if (HasLightStep(light.effect)) {
            std::int64_t period = std::max(1, LightStepPeriod(light.effect, light.speed));
            if (counter >= period) {
                counter = 0;
                {
                    std::lock_guard lock(lightLock_);
                    before.assign(engine_.KeyColours().begin(), engine_.KeyColours().end());
                    RunLightStep(engine_, light.effect, NowMs());
                    changed = !std::equal(before.begin(), before.end(),
                                          engine_.KeyColours().begin(), engine_.KeyColours().end());
                }
                lightSteps_.fetch_add(1);
                settled = !changed && LightStepRepeatsItself(light.effect);
            }
            nextTick = now + (period - counter);
        } else {
            // The user-effect player keeps its own time, in milliseconds, not the tick: it plays
            // the passes due since its last one and the worker sleeps until its next frame.
            counter = 0;
            const auto nowMs =
                std::chrono::floor<std::chrono::milliseconds>(clock.Now().time_since_epoch());
            std::optional<std::chrono::milliseconds> next;
            {
                std::lock_guard lock(lightLock_);
                before.assign(engine_.KeyColours().begin(), engine_.KeyColours().end());
                next = engine_.PlayUserEffectUntil(static_cast<std::uint32_t>(nowMs.count()),
                                                   light.speed, userEffectContinues);
                changed = !std::equal(before.begin(), before.end(), engine_.KeyColours().begin(),
                                      engine_.KeyColours().end());
            }
            lightSteps_.fetch_add(1);
            playedUserEffect = true;
            frameDue = Clock::TimePoint(
                nowMs + std::min(next.value_or(kLongestUserFrameWait), kLongestUserFrameWait));
        }
        if (changed) {
            ColoursChanged();
        }
        if (settled) {
            // A static picture: nothing to do until the settings change (or the worker stops).
            while (clock.SleepFor(std::chrono::hours(1), wake.get_token())) {
            }
            lastTick = LightTickCount(clock.Now());
            counter = 0;
            continue;
        }
        clock.SleepUntil(frameDue.value_or(LightTickDeadline(Clock::TimePoint{}, nextTick)),
                         wake.get_token());
    }
    Trace("MS灯光线程设定退出");
}

void CTavrenixUSBDevice::SetWindowHidden(bool hidden) {
    if (windowHidden_.exchange(hidden) && !hidden) {
        WakeLightWorker();
        ColoursChanged();
    }
}

void CTavrenixUSBDevice::ColoursChanged() {
    if (windowHidden_.load() || coloursPending_->exchange(true)) {
        return;
    }
    bool posted = false;
    {
        std::lock_guard lock(observerMutex_);
        if (observerLoop_ != nullptr && !observer_.expired()) {
            std::weak_ptr<IDeviceObserver> target = observer_;
            posted = observerLoop_->Post([pending = coloursPending_, target] {
                pending->store(false);
                if (auto o = target.lock()) {
                    o->OnLightColoursChanged();
                }
            });
        }
    }
    if (!posted) {
        coloursPending_->store(false);
    }
}

// --- Notification workers -------------------------------------------------------------------

bool CTavrenixUSBDevice::OpenNotificationInterface(const std::string& path, int kind) {
    const bool cable = !IsReceiverKind(static_cast<uint16_t>(kind));
    StopNotificationWorker(cable);
    CHidInterface& hid = NotificationInterface(cable);
    hid.Close();
    if (!hid.Open(path, true, true, true, false)) {
        notificationChannel_.SetOpen(notificationChannel_.InterfaceA().IsOpen() ||
                                     notificationChannel_.InterfaceB().IsOpen());
        return false;
    }
    notificationChannel_.SetOpen(true);
    BoundedWorker& worker = cable ? cableNotifier_ : receiverNotifier_;
    worker.Start([this, cable](std::stop_token stop) { NotificationLoop(std::move(stop), cable); });
    return true;
}

void CTavrenixUSBDevice::CloseNotificationInterface(int kind) {
    const bool cable = !IsReceiverKind(static_cast<uint16_t>(kind));
    StopNotificationWorker(cable);
    NotificationInterface(cable).Close();
    notificationChannel_.SetOpen(notificationChannel_.InterfaceA().IsOpen() ||
                                 notificationChannel_.InterfaceB().IsOpen());
}

void CTavrenixUSBDevice::StopNotificationWorker(bool cable) {
    BoundedWorker& worker = cable ? cableNotifier_ : receiverNotifier_;
    // A read without time-out only returns when the interface is closed.
    worker.Stop(kNotificationStopBound, [this, cable] { NotificationInterface(cable).Close(); });
}

void CTavrenixUSBDevice::NotificationLoop(std::stop_token stop, bool cable) {
    CHidInterface& hid = NotificationInterface(cable);
    std::array<std::uint8_t, kNotificationReportSize> report{};
    while (!stop.stop_requested()) {
        if (notificationChannel_.IsOpen() == 0 || !hid.IsOpen()) {
            SteadyClock::Instance().SleepFor(kClosedChannelWait, stop);
            continue;
        }
        report.fill(0);
        std::uint32_t n = 0;
        if (!hid.ReadReport(report, &n, kHidInfinite)) {
            // Unreadable reports are ignored; the worker reads again.
            SteadyClock::Instance().SleepFor(kNotificationRetryWait, stop);
            continue;
        }
        std::uint16_t code = 0;
        if (hid.UnpackInputReport(std::span<const std::uint8_t>(report.data(), n))) {
            auto items = hid.Items(HidReportType::Input);
            if (!items.empty() && !items[0].usages.empty()) {
                code = items[0].usages[0];
            }
        }
        if (code == 0) {
            continue;
        }
        if (code == kNotifyReload || code == kNotifyReloadToo) {
            Trace("接收到自动添加设备的同步信息要求");
        }
        // The profile data has no lock of its own: the code is applied on the command thread.
        commands_.Loop().Post([this, code, cable] { HandleNotification(code, cable); });
    }
    Trace("MS 设备同步线程设定退出");
}

void CTavrenixUSBDevice::HandleNotification(std::uint16_t code, bool fromCable) {
    if (code == kNotifyReload || code == kNotifyReloadToo) {
        timers_.Start(kReloadTimerId, kReloadDelay, [this] { ReloadFromDevice(); });
        return;
    }
    if (code == kNotifyKeyPress) {
        if (fromCable) {
            std::lock_guard lock(lightLock_);
            if (engine_.Light().effect == kReactiveEffect) {
                engine_.StartReactionAll();
            }
        }
        return;
    }
    if (code > kNotifyKeyPress && commandChannel_.IsOpen() != 0) {
        HandleProfileNotification(code);
    }
}

}  // namespace q417
