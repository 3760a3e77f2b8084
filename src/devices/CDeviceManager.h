#pragma once
// Keeps the set of device objects in step with the hardware. A detection worker runs a pass over
// the HID interfaces on every hot-plug event and otherwise every 100 ms, or only every 2 s while a
// hot-plug monitor runs (a safety net then), and hands each interface that appears or disappears
// to the owner's loop as a queued event; there the manager creates the
// device object on first sight, opens and closes its interfaces, switches a mouse between cable
// and receiver, and keeps the selector entries (one per device object) visible or hidden. The
// entries' timers run the devices' operations on the devices' own command threads and apply
// the results back on the owner's loop, so the owner (the UI, or q417ctl) never waits for a
// device. Devices are never destroyed while the manager runs.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/CTavrenixUSBDevice.h"
#include "devices/DeviceTables.h"
#include "platform/BoundedWorker.h"
#include "platform/EventLoop.h"
#include "platform/Wakeup.h"
#include "profiles/CProfileList.h"
#include "transport/HidBackend.h"
#include "transport/IdentificationTable.h"

namespace q417 {

class CHotplugMonitor;

// Timers of a selector entry.
inline constexpr int kTimerRender = 1000;
inline constexpr int kTimerSynchronise = 1001;
inline constexpr int kTimerPower = 1005;
inline constexpr int kTimerLinkWatch = 1007;

// What happened, for the owner (the main window, q417ctl's watch).
struct DeviceManagerEvent {
    enum class Type {
        Activation,          // the first detection pass is done ("Q417")
        Arrived,             // an interface took slot `slot`
        Removed,             // the interface of slot `slot` went away
        Reachability,        // entry `entry` became reachable (flag) or not
        EntriesChanged,      // visibility or selection of the entries changed
        Synchronised,        // entry `entry` finished a synchronisation (result)
        Notice,              // entry `entry`'s device sent a notice
        ConnectionSwitched,  // entry `entry` moved to the receiver (flag) or the cable
    };
    Type type = Type::EntriesChanged;
    int slot = -1;
    int entry = -1;
    bool flag = false;
    int result = 0;
    DeviceIdentity row;
    std::string path;
    DeviceNotice notice = DeviceNotice::PowerStatus;
    int wParam = 0;
    int lParam = 0;
};

class IDeviceManagerObserver {
public:
    virtual ~IDeviceManagerObserver() = default;
    virtual void OnManagerEvent(const DeviceManagerEvent& event) = 0;
    // A device's page state (on the owner's loop).
    virtual void OnDeviceState(int /*entry*/, const DeviceSnapshot& /*snapshot*/) {}
    virtual void OnLightColoursChanged(int /*entry*/) {}
};

// One entry of the device selector, as a model object.
struct SelectorEntry {
    int index = -1;
    int kind = 0;
    int sub = 0;
    std::string name;
    bool visible = false;
    bool selected = false;
    int optionRow = -1;
    bool battery = false;
    DeviceIdentity identity;  // the owner's copy; the device keeps its own
    std::shared_ptr<CTavrenixUSBDevice> device;
};

// Language key of the message shown when a reset could not use the template.
inline constexpr const char* kMessageResetFailed = "profile_reset_failed";

// Outcome of a profile switch or a reset, for the owner's message boxes.
struct ProfileApplyResult {
    bool ran = false;        // false: the device's thread did not run it (stopping)
    int listResult = 0;      // a ProfileListResult; not Done: nothing else happened
    int resetResult = 0;     // a ResetResult; not Done: the template was unusable, nothing written
    int recordResult = 0;    // WriteProfileRecord
    int macroResult = 0;     // WriteMacros: 0 written, -1 no device, n > 0 too large
    int keyTableResult = 0;  // WriteCurrentKeyTable (0 when not attempted)
    std::string messageKey;  // "message_text_7", "message_text_16", kMessageResetFailed or empty
    int messageNumber = 0;   // n for "message_text_16"
};

struct DeviceManagerOptions {
    std::shared_ptr<IHidBackend> backend = DefaultHidBackend();
    // Passed to every device object (clock, default data folder).
    DeviceOptions deviceOptions;
    // Identification rows appended to the built-in table; empty: none.
    std::string extraRowsFile;
    // The detection pass's period while no hot-plug events can be trusted (no monitor, or it
    // failed), and while a monitor runs: then events wake the pass and the period is a safety net.
    std::chrono::milliseconds pollInterval{100};
    std::chrono::milliseconds safetyPollInterval{2000};
    // Wake the detection worker on udev hidraw events (hidraw backend). Otherwise the backend's
    // own events are used when it has any (the emulated bus playing a monitor).
    bool useUdev = false;
    // Run timer 1000 (the device picture); a headless owner has no picture.
    bool renderLights = false;
    // The owner shows the devices' light picture (the window does, q417ctl does not). Without
    // one the devices start with the window-hidden mark: a light the device runs itself costs
    // the host nothing, and no colours are announced to nobody.
    bool showsPicture = false;
    int screenWidth = 0;
    int screenHeight = 0;
};

class CDeviceManager {
public:
    static constexpr std::chrono::milliseconds kStopBound{1000};

    // `loop` is the owner's loop: every handler and observer call runs there. It must outlive
    // the manager.
    CDeviceManager(EventLoop& loop, DeviceManagerOptions options);
    ~CDeviceManager();
    CDeviceManager(const CDeviceManager&) = delete;
    CDeviceManager& operator=(const CDeviceManager&) = delete;

    void SetObserver(IDeviceManagerObserver* observer) { observer_ = observer; }

    // On the owner's loop thread (or before that loop runs). False when the appended rows
    // cannot be read (the built-in table is used then) — the manager still starts.
    bool Start(std::string* warning = nullptr);
    // Stops the detection worker, every device's workers and command thread, within bounds.
    void Stop();
    // Wakes the detection worker at once (hot-plug). Any thread.
    void Wake() { wakeup_.Wake(); }
    // Detection worker figures (any thread): passes run so far, whether hot-plug events drive
    // detection now, and the period the worker sleeps between passes.
    std::uint64_t DetectionPasses() const { return detectionPasses_.load(); }
    bool HotplugEventsLive() const { return hotplugLive_.load(); }
    std::chrono::milliseconds DetectionPeriod() const;

    // Handlers (owner's loop).
    void OnInterfaceArrived(std::size_t slot, const std::string& path);
    void OnInterfaceRemoved(std::size_t slot, const std::string& path);
    void OnActivation();
    void OnReachability(int entry, bool reachable);

    bool CreateDevice(int kind, int rowIndex, int sub);
    // The path the handled events last gave the slot; empty when free.
    std::string ShownPath(std::size_t slot) const;
    void OpenDevice(std::size_t slot);
    void CloseDevice(std::size_t slot, const std::string& path);
    void SwitchConnection(std::size_t slot);
    bool DeviceExists(std::size_t slot) const;
    bool PartnerConnected(std::size_t slot) const;

    void ShowEntry(int entry, bool visible, bool select);
    void HideEntry(int entry);
    // The nearest visible entry before / after the selected one; false when none.
    bool SelectPrevious();
    bool SelectNext();

    const std::vector<SelectorEntry>& Entries() const { return entries_; }
    int SelectedEntry() const;
    bool AnyEntryVisible() const;
    bool NoDeviceLinkShown() const { return !AnyEntryVisible(); }
    bool Activated() const { return activated_; }
    CInterfaceSlotList& Slots() { return slots_; }
    const CInterfaceSlotList& Slots() const { return slots_; }
    // The entry whose device matches slot's row (DeviceExists's rule); -1 when none.
    int EntryForSlot(std::size_t slot) const;

    // The profile list of an entry's device folder (shared by the devices of that folder).
    CProfileList* ProfileListFor(int entry);
    // Switching to profile `index` of the entry's list, and the device reset (full: the
    // "device_reset_btn" variant). `done` runs on the owner's loop.
    void SwitchProfile(int entry, int index, std::function<void(ProfileApplyResult)> done);
    void ResetDevice(int entry, bool full, std::function<void(ProfileApplyResult)> done);

private:
    struct EntryState;
    class EntryObserver;

    void StartHotplugMonitor();
    void DetectionLoop(std::stop_token stop);
    void Emit(const DeviceManagerEvent& event);
    EntryState* State(int entry);
    std::optional<DeviceIdentity> LookupIdentity(std::size_t slot) const;
    int EntryForIdentity(const DeviceIdentity& id) const;
    int EntryForNotificationRow(const DeviceIdentity& row) const;
    void StartTimer(int entry, int id, std::chrono::milliseconds delay);
    void OnTimer(int entry, int id);
    void RunSynchroniseTimer(int entry);
    void RunPowerTimer(int entry);
    void RunLinkWatch(int entry);
    void RunRenderTimer(int entry);
    void EntriesChanged();
    std::string ProfileIdFor(const std::string& folderName);
    static ProfileApplyResult FinishApply(ProfileApplyResult r);
    // Runs fn on the device's command thread and then done(result) on the owner's loop, unless
    // the manager is gone by then.
    template <class Fn, class Done>
    void SubmitTo(int entry, Fn fn, Done done);

    EventLoop& loop_;
    DeviceManagerOptions options_;
    CInterfaceSlotList slots_;
    // Path of each slot as the handled events left it (empty: free); see OnInterfaceArrived.
    std::vector<std::string> shownPaths_;
    IDeviceManagerObserver* observer_ = nullptr;
    std::vector<SelectorEntry> entries_;
    std::vector<std::unique_ptr<EntryState>> states_;
    std::map<std::string, std::unique_ptr<CProfileList>> profileLists_;
    bool activated_ = false;
    bool started_ = false;
    CWakeup wakeup_;
    std::unique_ptr<CHotplugMonitor> hotplug_;
    std::atomic<bool> hotplugLive_{false};
    std::atomic<std::uint64_t> detectionPasses_{0};
    // Handed to queued results: they do nothing once the manager is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    BoundedWorker detection_;
};

// Runs fn on the entry's device thread; done gets its result on the owner's loop, unless the
// manager has gone meanwhile.
template <class Fn, class Done>
void CDeviceManager::SubmitTo(int entry, Fn fn, Done done) {
    CTavrenixUSBDevice* device = entries_[static_cast<std::size_t>(entry)].device.get();
    std::weak_ptr<bool> alive = alive_;
    device->Commands().Submit(
        [device, fn = std::move(fn)](CommandContext&) mutable { return fn(*device); }, loop_,
        [alive, done = std::move(done)](auto result) mutable {
            if (alive.lock()) {
                done(std::move(result));
            }
        });
}

}  // namespace q417
