#include "devices/CDeviceManager.h"

#include <algorithm>
#include <cstdio>

#include "devices/CTavrenixMouseDevice.h"
#include "platform/Folders.h"
#include "platform/Trace.h"
#include "transport/CommandResult.h"
#include "transport/Commands.h"
#include "transport/HotplugMonitor.h"

namespace q417 {

using namespace std::chrono_literals;

namespace {

constexpr auto kSyncDelay = 50ms;
constexpr auto kLinkRetryDelay = 2000ms;
constexpr auto kPowerDelay = 50ms;
constexpr auto kPowerPeriod = 3000ms;
constexpr auto kLinkWatchFirst = 2000ms;
constexpr auto kLinkWatchPeriod = 3000ms;
constexpr auto kRenderCable = 10ms;
constexpr auto kRenderReceiver = 50ms;
constexpr int kLinkProbeAttempts = 26;
constexpr auto kLinkProbeInterval = 50ms;
constexpr int kLinkProbeTimerId = 2001;

bool SameEight(const DeviceIdentity& a, const DeviceIdentity& b) {
    return a.vendorId == b.vendorId && a.productId == b.productId &&
           a.interfaceNumber == b.interfaceNumber && a.collectionNumber == b.collectionNumber &&
           a.kind == b.kind && a.role == b.role && a.usagePage == b.usagePage && a.usage == b.usage;
}

bool IsMouseRowKind(int kind) {
    return kind == kKindMouseCable || kind == kKindMouseReceiver;
}

// The receiver's link is asked up to 26 times, 50 ms apart, on the device's own thread and
// timers, so neither the owner's loop nor the command thread sleeps through it.
class LinkProbe : public std::enable_shared_from_this<LinkProbe> {
public:
    using Done = std::function<void(bool)>;
    LinkProbe(CTavrenixUSBDevice& device, Done done) : device_(device), done_(std::move(done)) {}

    void Step() {
        if (device_.CheckLink() == 1) {
            Finish(true);
            return;
        }
        Trace("获取2.4G模式失败");
        if (++attempts_ >= kLinkProbeAttempts || device_.CommandChannel().IsOpen() == 0) {
            Finish(false);
            return;
        }
        auto self = shared_from_this();
        device_.Commands().Loop().StartTimer(TimerKey{owner_, kLinkProbeTimerId},
                                             kLinkProbeInterval, [self] { self->Step(); });
    }

private:
    void Finish(bool ok) {
        Trace("获取2");
        device_.UpdatePowerStatus();
        done_(ok);
    }

    CTavrenixUSBDevice& device_;
    Done done_;
    int attempts_ = 0;
    TimerOwnerId owner_ = EventLoop::NewTimerOwner();
};

std::unique_ptr<CTavrenixUSBDevice> MakeDeviceObject(int deviceKind, const std::string& name,
                                                     const DeviceOptions& options) {
    if (deviceKind == kDeviceKindMouse) {
        return std::make_unique<CTavrenixMouseDevice>(name, options);
    }
    return nullptr;
}

}  // namespace

struct CDeviceManager::EntryState {
    explicit EntryState(EventLoop& loop) : timers(loop) {}
    TimerScope timers;
    std::shared_ptr<IDeviceObserver> observer;
};

// Forwards a device's page traffic to the manager's owner, tagged with the entry.
class CDeviceManager::EntryObserver : public IDeviceObserver {
public:
    EntryObserver(CDeviceManager& manager, int entry)
        : manager_(manager), entry_(entry), alive_(manager.alive_) {}
    void OnDeviceStateChanged(const DeviceSnapshot& s) override {
        if (alive_.lock() && manager_.observer_ != nullptr) {
            manager_.observer_->OnDeviceState(entry_, s);
        }
    }
    void OnLightColoursChanged() override {
        if (alive_.lock() && manager_.observer_ != nullptr) {
            manager_.observer_->OnLightColoursChanged(entry_);
        }
    }
    void OnDeviceNotice(DeviceNotice notice, int wParam, int lParam) override {
        if (!alive_.lock()) {
            return;
        }
        DeviceManagerEvent e;
        e.type = DeviceManagerEvent::Type::Notice;
        e.entry = entry_;
        e.notice = notice;
        e.wParam = wParam;
        e.lParam = lParam;
        manager_.Emit(e);
    }

private:
    CDeviceManager& manager_;
    int entry_;
    std::weak_ptr<bool> alive_;
};

CDeviceManager::CDeviceManager(EventLoop& loop, DeviceManagerOptions options)
    : loop_(loop), options_(std::move(options)) {
    // The devices talk through the same bus the manager detects on.
    options_.deviceOptions.backend = options_.backend;
}

CDeviceManager::~CDeviceManager() {
    Stop();
}

bool CDeviceManager::Start(std::string* warning) {
    if (started_) {
        return true;
    }
    started_ = true;
    bool rowsOk = true;
    if (!options_.extraRowsFile.empty()) {
        std::string error;
        if (!slots_.AppendRowsFromFile(options_.extraRowsFile, &error)) {
            rowsOk = false;
            Trace("identification rows not appended: " + error);
            if (warning != nullptr) {
                *warning = error;
            }
        }
    }
    // Both mice exist from the start, hidden until they are found.
    for (int option = 0; option < 2; ++option) {
        const DeviceOptionRow& o = kDeviceOptionRows[static_cast<std::size_t>(option)];
        int row = slots_.FindRow(o.vendorId, o.productId, static_cast<uint16_t>(o.kind),
                                 static_cast<uint16_t>(o.sub));
        if (row >= 0) {
            CreateDevice(o.kind, row, o.sub);
        }
    }
    StartHotplugMonitor();
    detection_.Start([this](std::stop_token stop) { DetectionLoop(std::move(stop)); });
    return rowsOk;
}

void CDeviceManager::Stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    detection_.Stop(kStopBound, [this] { Wake(); });
    hotplug_.reset();
    hotplugLive_ = false;
    states_.clear();
    for (SelectorEntry& e : entries_) {
        e.device->Shutdown();
    }
    alive_ = std::make_shared<bool>(true);  // results still queued for the old devices are dropped
    entries_.clear();
}

// --- Identities --------------------------------------------------------------------------------

std::optional<DeviceIdentity> CDeviceManager::LookupIdentity(std::size_t slot) const {
    auto row = slots_.Row(slot);
    if (!row) {
        return std::nullopt;
    }
    int index = static_cast<int>(slot);
    if (row->role == kRoleNotification) {
        index = slots_.FindRow(row->vendorId, row->productId, row->kind, kRoleCommand);
        if (index < 0) {
            return std::nullopt;
        }
        row = slots_.Row(static_cast<std::size_t>(index));
    }
    if (IsReceiverKind(row->kind) && row->hasPartner != 0) {
        auto partner = slots_.Row(row->partnerIndex);
        if (partner && partner->partnerIndex == index) {
            return partner;
        }
    }
    return row;
}

int CDeviceManager::EntryForIdentity(const DeviceIdentity& id) const {
    for (const SelectorEntry& e : entries_) {
        if (SameEight(e.identity, id)) {
            return e.index;
        }
    }
    return -1;
}

int CDeviceManager::EntryForSlot(std::size_t slot) const {
    auto id = LookupIdentity(slot);
    return id ? EntryForIdentity(*id) : -1;
}

bool CDeviceManager::DeviceExists(std::size_t slot) const {
    return EntryForSlot(slot) >= 0;
}

bool CDeviceManager::PartnerConnected(std::size_t slot) const {
    auto row = slots_.Row(slot);
    if (!row || row->hasPartner == 0) {
        return false;
    }
    auto partnerRow = slots_.Row(row->partnerIndex);
    if (!partnerRow || partnerRow->partnerIndex != slot) {
        return false;
    }
    return !ShownPath(row->partnerIndex).empty();
}

std::string CDeviceManager::ShownPath(std::size_t slot) const {
    return slot < shownPaths_.size() ? shownPaths_[slot] : std::string();
}

// --- Arrival and removal -----------------------------------------------------------------------

void CDeviceManager::OnInterfaceArrived(std::size_t slot, const std::string& path) {
    if (slot >= slots_.Size()) {
        return;
    }
    // The handlers work on the slots as the events have told them, in order, never on the
    // worker's live list: it may already hold later changes whose events are still queued, and
    // acting on those out of order left a mouse on a receiver that was gone.
    if (shownPaths_.size() < slots_.Size()) {
        shownPaths_.resize(slots_.Size());
    }
    shownPaths_[slot] = path;
    DeviceIdentity row = *slots_.Row(slot);
    int d = slots_.FindRow(row.vendorId, row.productId, row.kind, kRoleCommand);
    DeviceManagerEvent arrived;
    arrived.type = DeviceManagerEvent::Type::Arrived;
    arrived.slot = static_cast<int>(slot);
    arrived.row = row;
    arrived.path = path;
    if (d < 0) {
        // Appended rows may have no command row for this device: nothing to create.
        Trace("no command row for the interface in slot " + std::to_string(slot));
        Emit(arrived);
        return;
    }
    const bool exists = DeviceExists(slot);
    switch (row.kind) {
        case kKindMouseCable:
        case kKindMouseReceiver:
            Trace("添加一个鼠标设备");
            break;
        case kKindKeyboardCable:
        case kKindKeyboardReceiver:
            Trace("添加一个键盘设备");
            break;
        case kKindMousePad:
            Trace("添加一个鼠标垫设备");
            break;
        default:
            break;
    }
    if (!exists && !CreateDevice(row.kind, d, 0)) {
        Trace("no device object for the interface in slot " + std::to_string(slot));
    }
    OpenDevice(slot);
    Emit(arrived);
    EntriesChanged();
}

void CDeviceManager::OnInterfaceRemoved(std::size_t slot, const std::string& path) {
    if (slot >= slots_.Size()) {
        return;
    }
    if (ShownPath(slot) != path) {
        return;  // not the interface this slot was last reported with
    }
    shownPaths_[slot].clear();
    DeviceManagerEvent removed;
    removed.type = DeviceManagerEvent::Type::Removed;
    removed.slot = static_cast<int>(slot);
    removed.row = *slots_.Row(slot);
    removed.path = path;
    CloseDevice(slot, path);
    Emit(removed);
    EntriesChanged();
}

void CDeviceManager::OnActivation() {
    activated_ = true;
    DeviceManagerEvent e;
    e.type = DeviceManagerEvent::Type::Activation;
    Emit(e);
    EntriesChanged();
}

// --- Devices -----------------------------------------------------------------------------------

bool CDeviceManager::CreateDevice(int kind, int rowIndex, int sub) {
    if (rowIndex < 0) {
        return false;
    }
    auto rowOpt = slots_.Row(static_cast<std::size_t>(rowIndex));
    if (!rowOpt) {
        return false;
    }
    DeviceIdentity identity = *rowOpt;
    int deviceKind = kind;
    if (IsMouseRowKind(kind)) {
        deviceKind = kDeviceKindMouse;
        if (kind == kKindMouseReceiver && identity.hasPartner != 0) {
            auto partner = slots_.Row(identity.partnerIndex);
            if (partner) {
                identity = *partner;
            }
        }
    }
    int option = FindOptionRow(identity.vendorId, identity.productId, deviceKind, sub);
    if (option < 0) {
        return false;
    }
    const DeviceOptionRow& o = kDeviceOptionRows[static_cast<std::size_t>(option)];
    const DeviceLayoutRow& layout = kDeviceLayoutRows[static_cast<std::size_t>(option)];
    std::string name(o.deviceName);
    std::shared_ptr<CTavrenixUSBDevice> device =
        MakeDeviceObject(deviceKind, name, options_.deviceOptions);
    if (!device) {
        return false;
    }
    const int index = static_cast<int>(entries_.size());
    device->SetProfileId(ProfileIdFor(name));
    device->SetDeviceName(name);
    device->SetIdentity(*rowOpt);
    device->SetDeviceIndex(o.deviceIndex);
    device->SetLightConfigName(std::string(layout.lightConfigName));
    device->SetOptionIndex(index);
    device->SetWindowHidden(!options_.showsPicture);

    auto state = std::make_unique<EntryState>(loop_);
    state->observer = std::make_shared<EntryObserver>(*this, index);
    device->SetObserver(state->observer, &loop_);

    SelectorEntry entry;
    entry.index = index;
    entry.kind = o.kind;
    entry.sub = o.sub;
    entry.name = name;
    entry.optionRow = option;
    entry.battery = layout.battery;
    entry.identity = identity;
    entry.device = std::move(device);
    entries_.push_back(std::move(entry));
    states_.push_back(std::move(state));
    return true;
}

void CDeviceManager::OpenDevice(std::size_t slot) {
    auto rowOpt = slots_.Row(slot);
    if (!rowOpt || ShownPath(slot).empty()) {
        return;
    }
    const DeviceIdentity row = *rowOpt;
    const std::string path = ShownPath(slot);
    const int e = EntryForSlot(slot);
    if (row.role == kRoleNotification) {
        if (e >= 0) {
            entries_[static_cast<std::size_t>(e)].device->OpenNotificationInterface(path, row.kind);
        }
        return;
    }
    if (PartnerConnected(slot)) {
        if (!IsReceiverKind(row.kind)) {
            SwitchConnection(slot);
        }
        return;
    }
    if (e < 0) {
        return;
    }
    SelectorEntry& entry = entries_[static_cast<std::size_t>(e)];
    if (entry.device->CommandChannel().IsOpen() != 0) {
        return;
    }
    const bool receiver = IsReceiverKind(row.kind);
    DeviceIdentity identity = row;
    if (receiver && row.hasPartner != 0) {
        if (auto partner = slots_.Row(row.partnerIndex)) {
            identity = *partner;
        }
    }
    entry.identity = identity;
    // The interface changes on the device's own thread, between two of its operations.
    SubmitTo(
        e,
        [receiver, path, identity](CTavrenixUSBDevice& device) {
            CReportChannel& channel = device.CommandChannel();
            if (channel.IsOpen() != 0) {
                return true;
            }
            CHidInterface& hid = receiver ? channel.InterfaceB() : channel.InterfaceA();
            if (!hid.Open(path, true, true, true, false)) {
                Trace("command interface not opened: " + hid.LastOpenErrorText());
                return false;
            }
            channel.SetOpen(true);
            device.SetWireless(receiver);
            device.SetIdentity(identity);
            device.WakeLightWorker();
            return true;
        },
        [](std::optional<bool>) {});
    if (!receiver) {
        ShowEntry(e, true, !AnyEntryVisible());
    }
    StartTimer(e, kTimerSynchronise, kSyncDelay);
    if (options_.renderLights) {
        StartTimer(e, kTimerRender, receiver ? kRenderReceiver : kRenderCable);
    }
}

void CDeviceManager::CloseDevice(std::size_t slot, const std::string& path) {
    auto rowOpt = slots_.Row(slot);
    if (!rowOpt) {
        return;
    }
    const DeviceIdentity row = *rowOpt;
    const int e = EntryForSlot(slot);
    if (row.role == kRoleNotification) {
        if (e >= 0) {
            CTavrenixUSBDevice& device = *entries_[static_cast<std::size_t>(e)].device;
            CHidInterface& hid = IsReceiverKind(row.kind)
                                     ? device.NotificationChannel().InterfaceB()
                                     : device.NotificationChannel().InterfaceA();
            if (hid.Path() == path || !hid.IsOpen()) {
                device.CloseNotificationInterface(row.kind);
            }
        }
        return;
    }
    if (IsMouseRowKind(row.kind)) {
        Trace("鼠标设备丢失");
    }
    if (PartnerConnected(slot)) {
        if (!IsReceiverKind(row.kind)) {
            SwitchConnection(slot);
        }
        return;
    }
    if (e < 0) {
        return;
    }
    CTavrenixUSBDevice& device = *entries_[static_cast<std::size_t>(e)].device;
    CReportChannel& channel = device.CommandChannel();
    CHidInterface& hid = IsReceiverKind(row.kind) ? channel.InterfaceB() : channel.InterfaceA();
    if (hid.IsOpen() && hid.Path() != path) {
        return;  // a stale removal: the interface was replaced since
    }
    // Closing here, not on the device's thread, ends a transfer in flight at once.
    channel.SetOpen(false);
    channel.InterfaceA().Close();
    channel.InterfaceB().Close();
    states_[static_cast<std::size_t>(e)]->timers.CancelAll();
    HideEntry(e);
}

void CDeviceManager::SwitchConnection(std::size_t slot) {
    auto rowOpt = slots_.Row(slot);
    if (!rowOpt) {
        return;
    }
    const int e = EntryForSlot(slot);
    if (e < 0) {
        return;
    }
    SelectorEntry& entry = entries_[static_cast<std::size_t>(e)];
    // Called for the cable's slot: it arrived (the mouse goes to the cable) or it went away (the
    // mouse goes back to the receiver). The slot says which, whatever the device did before.
    const bool toCable = !ShownPath(slot).empty();
    const std::string newPath = toCable ? ShownPath(slot) : ShownPath(rowOpt->partnerIndex);
    const bool battery = entry.battery;
    std::weak_ptr<bool> alive = alive_;
    EventLoop* loop = &loop_;
    SubmitTo(
        e,
        [toCable, newPath, battery, alive, loop, this, e](CTavrenixUSBDevice& device) {
            CReportChannel& channel = device.CommandChannel();
            channel.SetOpen(false);
            CHidInterface& target = toCable ? channel.InterfaceA() : channel.InterfaceB();
            target.Close();
            if (!toCable) {
                channel.InterfaceA().Close();  // the cable is gone
            }
            bool opened = target.Open(newPath, true, true, true, false);
            if (opened) {
                channel.SetOpen(true);
                device.SetWireless(!toCable);
                device.WakeLightWorker();
            }
            if (!toCable && opened && battery) {
                auto probe = std::make_shared<LinkProbe>(device, [alive, loop, this, e](bool) {
                    loop->Post([alive, this, e] {
                        if (alive.lock()) {
                            StartTimer(e, kTimerLinkWatch, kLinkWatchFirst);
                            RunSynchroniseTimer(e);
                        }
                    });
                });
                probe->Step();
            }
            return opened;
        },
        [this, e, toCable, battery](std::optional<bool> opened) {
            DeviceManagerEvent ev;
            ev.type = DeviceManagerEvent::Type::ConnectionSwitched;
            ev.entry = e;
            ev.flag = !toCable;
            ev.result = opened.value_or(false) ? 1 : 0;
            Emit(ev);
            if (!opened.value_or(false)) {
                return;
            }
            if (toCable) {
                StartTimer(e, kTimerSynchronise, kSyncDelay);
                OnReachability(e, true);
                if (battery) {
                    StartTimer(e, kTimerPower, kPowerDelay);
                }
            } else if (!battery) {
                StartTimer(e, kTimerLinkWatch, kLinkWatchFirst);
                RunSynchroniseTimer(e);
            }
        });
}

// --- Entry timers ------------------------------------------------------------------------------

void CDeviceManager::StartTimer(int entry, int id, std::chrono::milliseconds delay) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= states_.size()) {
        return;
    }
    states_[static_cast<std::size_t>(entry)]->timers.Start(
        id, delay, [this, entry, id] { OnTimer(entry, id); });
}

void CDeviceManager::OnTimer(int entry, int id) {
    switch (id) {
        case kTimerRender:
            RunRenderTimer(entry);
            break;
        case kTimerSynchronise:
            RunSynchroniseTimer(entry);
            break;
        case kTimerPower:
            RunPowerTimer(entry);
            break;
        case kTimerLinkWatch:
            RunLinkWatch(entry);
            break;
        default:
            break;
    }
}

void CDeviceManager::RunRenderTimer(int entry) {
    CTavrenixUSBDevice& device = *entries_[static_cast<std::size_t>(entry)].device;
    if (device.CommandChannel().IsOpen() == 0) {
        return;
    }
    if (observer_ != nullptr) {
        observer_->OnLightColoursChanged(entry);
    }
    StartTimer(entry, kTimerRender, device.IsWireless() ? kRenderReceiver : kRenderCable);
}

void CDeviceManager::RunSynchroniseTimer(int entry) {
    struct Outcome {
        bool linkChecked = false;
        bool linkOk = false;
        int sync = 0;
        bool open = false;
        bool wireless = false;
    };
    SubmitTo(
        entry,
        [](CTavrenixUSBDevice& device) {
            Outcome o;
            o.wireless = device.IsWireless();
            if (o.wireless && device.CommandChannel().IsOpen() != 0) {
                o.linkChecked = true;
                o.linkOk = device.CheckLink() == 1;
                if (!o.linkOk) {
                    return o;
                }
            }
            o.sync = device.Synchronise();
            o.open = device.CommandChannel().IsOpen() != 0;
            return o;
        },
        [this, entry](std::optional<Outcome> result) {
            if (!result) {
                return;
            }
            const SelectorEntry& e = entries_[static_cast<std::size_t>(entry)];
            if (result->linkChecked && !result->linkOk) {
                OnReachability(entry, false);
                StartTimer(entry, kTimerSynchronise, kLinkRetryDelay);
                return;
            }
            if (result->linkChecked) {
                OnReachability(entry, true);
            }
            DeviceManagerEvent ev;
            ev.type = DeviceManagerEvent::Type::Synchronised;
            ev.entry = entry;
            ev.result = result->sync;
            Emit(ev);
            if (e.battery && result->open) {
                StartTimer(entry, kTimerPower, kPowerDelay);
            }
            if (result->wireless) {
                StartTimer(entry, kTimerLinkWatch, kLinkWatchFirst);
            }
        });
}

void CDeviceManager::RunPowerTimer(int entry) {
    SubmitTo(
        entry,
        [](CTavrenixUSBDevice& device) {
            device.UpdatePowerStatus();
            return device.CommandChannel().IsOpen() != 0;
        },
        [this, entry](std::optional<bool> open) {
            if (open.value_or(false) && entries_[static_cast<std::size_t>(entry)].battery) {
                StartTimer(entry, kTimerPower, kPowerPeriod);
            }
        });
}

void CDeviceManager::RunLinkWatch(int entry) {
    struct Outcome {
        bool linkOk = false;
        bool keepWatching = false;
    };
    SubmitTo(
        entry,
        [](CTavrenixUSBDevice& device) {
            Outcome o;
            o.linkOk = device.CheckLink() == 1;
            o.keepWatching = device.IsWireless() && device.CommandChannel().IsOpen() != 0;
            return o;
        },
        [this, entry](std::optional<Outcome> result) {
            if (!result) {
                return;
            }
            const SelectorEntry& e = entries_[static_cast<std::size_t>(entry)];
            if (result->linkOk && !e.visible) {
                OnReachability(entry, true);
                // While out of reach the mouse may have been used on its own (profile or stage
                // buttons, unheard): it is read again before its page is trusted.
                StartTimer(entry, kTimerSynchronise, kSyncDelay);
                if (e.battery) {
                    RunPowerTimer(entry);
                }
            } else if (!result->linkOk && e.visible) {
                OnReachability(entry, false);
            }
            if (result->keepWatching) {
                StartTimer(entry, kTimerLinkWatch, kLinkWatchPeriod);
            }
        });
}

// --- Selector ----------------------------------------------------------------------------------

void CDeviceManager::OnReachability(int entry, bool reachable) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= entries_.size()) {
        return;
    }
    DeviceManagerEvent ev;
    ev.type = DeviceManagerEvent::Type::Reachability;
    ev.entry = entry;
    ev.flag = reachable;
    Emit(ev);
    if (!reachable) {
        HideEntry(entry);
    } else if (!entries_[static_cast<std::size_t>(entry)].visible) {
        ShowEntry(entry, true, !AnyEntryVisible());
    }
}

int CDeviceManager::SelectedEntry() const {
    for (const SelectorEntry& e : entries_) {
        if (e.selected && e.visible) {
            return e.index;
        }
    }
    return -1;
}

bool CDeviceManager::AnyEntryVisible() const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [](const SelectorEntry& e) { return e.visible; });
}

void CDeviceManager::ShowEntry(int entry, bool visible, bool select) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= entries_.size()) {
        return;
    }
    SelectorEntry& e = entries_[static_cast<std::size_t>(entry)];
    e.visible = visible;
    if (!visible) {
        e.selected = false;
    }
    if (select && visible) {
        for (SelectorEntry& other : entries_) {
            other.selected = false;
        }
        e.selected = true;
    }
    EntriesChanged();
}

void CDeviceManager::HideEntry(int entry) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= entries_.size()) {
        return;
    }
    SelectorEntry& e = entries_[static_cast<std::size_t>(entry)];
    int next = -1;
    if (e.visible && e.selected) {
        for (const SelectorEntry& other : entries_) {
            if (other.index != entry && other.visible) {
                next = other.index;
                break;
            }
        }
    }
    e.visible = false;
    e.selected = false;
    if (next >= 0) {
        ShowEntry(next, true, true);
        return;
    }
    EntriesChanged();
}

bool CDeviceManager::SelectPrevious() {
    int selected = SelectedEntry();
    for (int i = selected - 1; i >= 0; --i) {
        if (entries_[static_cast<std::size_t>(i)].visible) {
            ShowEntry(i, true, true);
            return true;
        }
    }
    return false;
}

bool CDeviceManager::SelectNext() {
    int selected = SelectedEntry();
    if (selected < 0) {
        return false;
    }
    for (std::size_t i = static_cast<std::size_t>(selected) + 1; i < entries_.size(); ++i) {
        if (entries_[i].visible) {
            ShowEntry(static_cast<int>(i), true, true);
            return true;
        }
    }
    return false;
}

void CDeviceManager::EntriesChanged() {
    DeviceManagerEvent ev;
    ev.type = DeviceManagerEvent::Type::EntriesChanged;
    Emit(ev);
}

void CDeviceManager::Emit(const DeviceManagerEvent& event) {
    if (observer_ != nullptr) {
        observer_->OnManagerEvent(event);
    }
}

}  // namespace q417
