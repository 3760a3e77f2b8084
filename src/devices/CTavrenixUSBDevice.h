#pragma once
// The common base of the device classes: one object stands for one physical device for as long
// as the device manager keeps it, across unplugging and across a switch between cable and
// receiver. It owns the two report channels, the device's command thread (every operation that
// touches the device, its state or its profile runs there), the light worker and the
// notification workers. It has no user interface: its page observes it (IDeviceObserver).
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "devices/DeviceObserver.h"
#include "lighting/CLightEngine.h"
#include "lighting/EffectLists.h"
#include "platform/BoundedWorker.h"
#include "platform/Clock.h"
#include "platform/CommandThread.h"
#include "platform/EventLoop.h"
#include "profiles/CBasicProfiledata.h"
#include "transport/CReportChannel.h"
#include "transport/Commands.h"
#include "transport/DeviceIdentity.h"
#include "transport/DeviceInfoBlock.h"
#include "transport/HidBackend.h"

namespace q417 {

// Device kinds as the base stores them.
inline constexpr int kDeviceKindKeyboard = 1;
inline constexpr int kDeviceKindMouse = 2;
inline constexpr int kDeviceKindMousePad = 3;
inline constexpr int kDeviceKindHeadset = 7;

// Notification codes.
inline constexpr std::uint16_t kNotifyReload = 0x0401;
inline constexpr std::uint16_t kNotifyReloadToo = 0x0402;
inline constexpr std::uint16_t kNotifyKeyPress = 0x0403;
// The effect that key presses light up.
inline constexpr int kReactiveEffect = 6;

// The two function-switch pages chosen for a function panel kind (-1: the page is kept).
struct FunctionPanelPages {
    int functionPage = 0;  // "device_function_switch"
    int keyPage = -1;      // "device_key_function_switch"
    bool operator==(const FunctionPanelPages&) const = default;
};
FunctionPanelPages PagesForFunctionPanel(int panelKind, int deviceKind);

struct DeviceOptions {
    std::shared_ptr<IHidBackend> backend = DefaultHidBackend();
    // Time base of the light worker (tests pass a ManualClock).
    Clock* clock = &SteadyClock::Instance();
    // Number of LEDs the light steps paint.
    std::size_t ledCount = 0;
    // Where "default_light.json" is read from; empty: the default data folder.
    std::string defaultDataFolder;
};

class CTavrenixUSBDevice {
public:
    static constexpr std::chrono::milliseconds kLightWorkerStopBound{1000};
    static constexpr std::chrono::milliseconds kNotificationStopBound{500};
    static constexpr int kReloadTimerId = 1002;
    static constexpr std::chrono::milliseconds kReloadDelay{50};

    CTavrenixUSBDevice(int kind, std::string name, DeviceOptions options);
    virtual ~CTavrenixUSBDevice();
    CTavrenixUSBDevice(const CTavrenixUSBDevice&) = delete;
    CTavrenixUSBDevice& operator=(const CTavrenixUSBDevice&) = delete;

    // --- Threads -------------------------------------------------------------------------------
    // The command thread. Operations below that talk to the device or change its state run here:
    // submit them (Submit with a result loop, or Call to wait).
    CommandThread& Commands() { return commands_; }
    bool OnCommandThread() const { return commands_.IsCommandThread(); }
    // Requested once the device stops (the command thread's token, the one every operation's
    // context carries): the long writes pass it down and are cut between two frames.
    std::stop_token StopToken() const { return commands_.StopToken(); }
    // Runs fn() on the command thread and waits for its result (nullopt when it did not run).
    template <class Fn>
    auto Call(Fn fn) -> std::optional<std::invoke_result_t<Fn&>> {
        return commands_.SubmitAndWait([&fn](CommandContext&) { return fn(); });
    }
    // Stops the workers and the command thread, within their bounds. The most derived class
    // calls it first in its destructor, so no operation runs on a half-destroyed object.
    void Shutdown();

    // --- Observer ------------------------------------------------------------------------------
    // Calls reach the observer on `loop` (which must outlive this object or the binding).
    void SetObserver(std::weak_ptr<IDeviceObserver> observer, EventLoop* loop);
    // Snapshot of what the page shows (command thread, or any thread for a rough copy).
    virtual DeviceSnapshot MakeSnapshot();

    // --- Channels and identity -----------------------------------------------------------------
    CReportChannel& CommandChannel() { return commandChannel_; }
    CReportChannel& NotificationChannel() { return notificationChannel_; }
    bool IsWireless() const { return isWireless_.load(); }
    // Selects interface B (receiver) or A (cable) for configuration traffic.
    void SetWireless(bool wireless);
    int Kind() const { return kind_; }
    int Role() const { return role_; }
    const DeviceIdentity& Identity() const { return identity_; }
    void SetIdentity(const DeviceIdentity& row);
    const DeviceInfoBlock& InfoBlock() const { return info_; }
    const std::string& Name() const { return name_; }

    void SetProfileId(const std::string& id) { profileId_ = id; }
    const std::string& ProfileId() const { return profileId_; }
    void SetLightConfigName(const std::string& name) { lightConfigName_ = name; }
    const std::string& LightConfigName() const { return lightConfigName_; }
    void SetDeviceName(const std::string& name) { deviceName_ = name; }
    const std::string& DeviceName() const { return deviceName_; }
    // The host's light-control switch; a keyboard is told with CmdEnableLightControl.
    int SetLightControl(bool on);
    int LightControl() const { return lightControl_.load(); }
    // The window-hidden mark: while the shell's window is hidden nobody sees the picture, so
    // changed light colours are not announced. Clearing it announces the current colours once.
    void SetWindowHidden(bool hidden);
    bool WindowHidden() const { return windowHidden_.load(); }

    int OptionIndex() const { return optionIndex_; }
    void SetOptionIndex(int i) { optionIndex_ = i; }

    // --- Operations (in the order of the device classes' operation table) -----------------------
    virtual int LoadLightSettings() { return 0; }
    // Light buffer of 3 bytes per LED (colour × alpha ÷ 256), for the renderer.
    virtual std::vector<std::uint8_t> RenderLights();
    void SetKeyColour(int index, KeyColour colour);
    KeyColour GetKeyColour(int index) const;
    std::vector<KeyColour> KeyColours() const;
    virtual int Synchronise() { return 0; }
    virtual int ReloadFromDevice() { return 0; }
    virtual int UpdatePowerStatus() { return 0; }
    virtual int CheckLink() { return 0; }
    virtual int LoadFromProfile() { return 0; }
    // Tells the page to show the device state (publishes a snapshot).
    virtual void RefreshPanel();
    virtual void RefreshKeyList() {}
    // Resets the current profile from the device kind's template; a device without a reset of its
    // own has nothing to reset.
    virtual ResetResult ApplyProfile() { return ResetResult::Done; }
    virtual std::vector<int> CollectUsedMacros() { return {}; }
    virtual int WriteKeyTable(int /*profileIndex*/, std::vector<KeyAssignmentEntry> /*entries*/) {
        return 0;
    }
    virtual int WriteCurrentKeyTable(int /*profileIndex*/) { return 0; }
    virtual int WriteMacros(const std::vector<int>& /*usedMacros*/) { return 0; }
    virtual int WriteProfileRecord(int /*profileIndex*/, int /*profileByte*/, int /*flag*/,
                                   int /*screenWidth*/, int /*screenHeight*/) {
        return 0;
    }
    virtual void ReloadNameLists();
    void StoreKeyMap(std::map<int, int> map) { keyMap_ = std::move(map); }
    const std::map<int, int>& KeyMap() const { return keyMap_; }
    // Stores the page kind and returns the pages the switches show.
    virtual FunctionPanelPages ShowFunctionPanel(int panelKind);
    int GetFunctionPanel() const { return functionPanel_; }
    virtual void SetProfilePaths() {}
    virtual std::string GetProfileLabel() { return {}; }
    virtual void SaveProfile() {}
    virtual void SetDeviceIndex(int n) { deviceIndex_ = n; }
    int GetDeviceIndex() const { return deviceIndex_; }
    // Light settings the software engine shows (wakes the light worker).
    virtual void SetLightSettings(const LightState& light);
    LightState GetLightSettings() const;
    // The audio-light record (mode, background and foreground colours, flags); the lighting
    // editor shows it, the keyboard also keeps it in its profile.
    virtual void SetAudioLightInfo(const AudioLightInfo& info);
    virtual AudioLightInfo GetAudioLightInfo() const;
    // Audio spectrum and ambient colour for the keyboard's direct modes; others ignore them.
    virtual void SetAudioSpectrum(std::span<const std::uint8_t> /*values*/) {}
    virtual void SetAudioColour(std::span<const std::uint8_t> /*values*/) {}
    virtual void SelectKey(int index) { selectedKey_ = index; }
    int SelectedKey() const { return selectedKey_; }
    virtual void SelectLight(int index) { selectedLight_ = index; }
    int SelectedLight() const { return selectedLight_; }

    // Effect lists of the device (names, visibility, codes, areas, user effects).
    EffectLists LightLists() const;

    // Progress (frames done, frames total) of the long writes (macros, recoil, key table) of the
    // operation running now; set by that operation's submitter, cleared afterwards.
    void SetTransferProgress(ChunkProgress progress) { transferProgress_ = std::move(progress); }

    // --- Workers -------------------------------------------------------------------------------
    void StartLightWorker();
    void StopLightWorker();
    // Ends the light worker's sleep now: whoever opens the command channel calls it, as a
    // worker on a closed channel sleeps until then.
    void WakeLightWorker();
    bool LightWorkerRunning() const { return lightWorker_.Running(); }
    // kind: a cable kind opens interface A, a receiver kind interface B, and starts that
    // connection's notification worker. False when the interface cannot be opened.
    bool OpenNotificationInterface(const std::string& path, int kind);
    void CloseNotificationInterface(int kind);
    // Number of light steps run since the worker started (diagnostics and tests).
    std::uint64_t LightStepsRun() const { return lightSteps_.load(); }

protected:
    // Light worker: period (in light ticks) of an effect at a speed, and its step; false when the
    // effect has no step of its own (the user-effect player runs instead).
    virtual int LightStepPeriod(int effect, int speed) const;
    virtual bool RunLightStep(CLightEngine& engine, int effect, std::uint32_t nowMs);
    virtual bool HasLightStep(int effect) const;
    // True when the light steps' colours go to the device (not only to the picture); such a
    // worker keeps running while the window is hidden.
    virtual bool LightFeedsDevice() const { return false; }
    // True for effects whose step paints the same picture every time (static, off): once a step
    // changes nothing, the worker sleeps until the light settings change.
    virtual bool LightStepRepeatsItself(int effect) const;
    // "mouse", "keyboard", "MousePad" or "HD": the device's folder under the user data folder.
    virtual std::string DeviceFolderName() const;
    std::string DeviceFolderPath() const;

    // A notification code, on the command thread. The base handles re-read requests (timer
    // 1002) and key presses (reactive effect); the subclass handles profile changes.
    virtual void HandleNotification(std::uint16_t code, bool fromCable);
    virtual void HandleProfileNotification(std::uint16_t /*code*/) {}

    void Notify(DeviceNotice notice, int wParam, int lParam);
    void SetPowerStatus(const std::array<std::uint8_t, 6>& status);
    void FillCommonSnapshot(DeviceSnapshot& snapshot);
    void SetInfoBlock(const DeviceInfoBlock& info) { info_ = info; }
    std::string DefaultLightPath() const;

    // The engine, under LightLock().
    std::mutex& LightLock() const { return lightLock_; }
    CLightEngine& Engine() { return engine_; }
    // Replaces the user effect's segments (taking LightLock()) and wakes the light worker, which
    // may be asleep until a frame of the old effect far ahead.
    void SetUserEffect(std::vector<LightSegment> segments);
    EffectLists& MutableLightLists() { return lightLists_; }
    std::mutex& DataLock() const { return dataLock_; }
    Clock& TimeBase() const { return *clock_; }
    std::uint32_t NowMs() const;
    const ChunkProgress& TransferProgress() const { return transferProgress_; }

private:
    void LightWorkerLoop(std::stop_token stop);
    void NotificationLoop(std::stop_token stop, bool cable);
    void ColoursChanged();
    void PostToObserver(std::function<void(IDeviceObserver&)> call);
    CHidInterface& NotificationInterface(bool cable) {
        return cable ? notificationChannel_.InterfaceA() : notificationChannel_.InterfaceB();
    }
    void StopNotificationWorker(bool cable);

    const int kind_;
    const std::string name_;
    Clock* clock_;
    std::string defaultDataFolder_;
    CReportChannel commandChannel_;
    CReportChannel notificationChannel_;
    std::atomic<bool> isWireless_{false};
    DeviceInfoBlock info_;
    DeviceIdentity identity_;
    int role_ = 0;
    int deviceIndex_ = 0;
    int optionIndex_ = -1;
    int selectedKey_ = -1;
    int selectedLight_ = -1;
    int functionPanel_ = 1;
    std::atomic<int> lightControl_{1};
    std::string profileId_;
    std::string lightConfigName_;
    std::string deviceName_;
    std::map<int, int> keyMap_;
    ChunkProgress transferProgress_;
    std::optional<std::array<std::uint8_t, 6>> powerStatus_;
    AudioLightInfo audioLight_;

    // dataLock guards the light lists, lightLock the engine (key colours, light settings).
    mutable std::mutex dataLock_;
    EffectLists lightLists_;
    mutable std::mutex lightLock_;
    CLightEngine engine_;

    std::mutex observerMutex_;
    std::weak_ptr<IDeviceObserver> observer_;
    EventLoop* observerLoop_ = nullptr;
    // Set while a colours-changed call waits on the observer's loop (one at a time).
    std::atomic<bool> windowHidden_{false};
    std::shared_ptr<std::atomic<bool>> coloursPending_ = std::make_shared<std::atomic<bool>>(false);

    std::mutex wakeMutex_;
    std::stop_source lightWake_;
    std::atomic<std::uint64_t> lightSteps_{0};

    // Declared last among the workers' targets' users: destroyed (joined) first.
    BoundedWorker cableNotifier_;
    BoundedWorker receiverNotifier_;
    BoundedWorker lightWorker_;
    CommandThread commands_;
    TimerScope timers_;
};

}  // namespace q417
