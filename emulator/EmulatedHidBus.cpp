#include "emulator/EmulatedHidBus.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "emulator/Descriptors.h"
#include "emulator/EmulatedHotplug.h"
#include "emulator/ReceiverFirmware.h"

namespace q417::emu {
namespace {

using Clock = std::chrono::steady_clock;

// hidraw keeps at most this many unread reports per open descriptor and drops newer ones.
constexpr std::size_t kMaxQueuedReports = 64;
constexpr std::chrono::microseconds kDefaultLatency{1000};

struct QueuedReport {
    Clock::time_point ready;
    std::vector<uint8_t> bytes;
};

// One open of one collection: its own report queue, as every hidraw descriptor has.
struct OpenState {
    std::size_t interfaceIndex = 0;
    std::size_t collectionIndex = 0;
    bool canRead = false;
    bool canWrite = false;
    std::condition_variable cv;
    std::deque<QueuedReport> queue;
    bool cancelled = false;
    bool gone = false;
};

struct CollectionPath {
    std::size_t interfaceIndex;
    std::size_t collectionIndex;
    std::string path;
};

}  // namespace

// One plugged USB device: a physical device's cable, or a receiver.
struct Connection {
    DeviceId id = kNoDevice;
    const DeviceLayout* layout = nullptr;
    std::vector<CollectionPath> paths;
    bool present = true;
    FirmwareId firmwareId = FirmwareId::None;
    std::shared_ptr<DeviceFirmware> wired;       // on its cable
    std::unique_ptr<ReceiverFirmware> receiver;  // or a receiver relaying to its paired device
    std::vector<std::weak_ptr<OpenState>> opens;
    std::chrono::microseconds latency = kDefaultLatency;
    std::optional<uint16_t> version;  // firmware version reported instead of the layout's
    Clock::time_point lastReplyReady{};
    std::deque<Fault> faults;
    std::vector<CommandLogEntry> log;

    // The firmware this connection reaches (a receiver's paired device even while its link is
    // down, so that tests can look into it).
    DeviceFirmware* Reached() const { return receiver ? receiver->Paired().get() : wired.get(); }
};

// A physical device: its firmware and the layout of its cable.
struct Unit {
    std::shared_ptr<DeviceFirmware> firmware;
    const DeviceLayout* cable = nullptr;
    std::vector<const DeviceLayout*> receivers;  // the receivers it can be paired with
};

struct EmulatedHidBus::Core {
    std::mutex mu;
    std::map<DeviceId, std::shared_ptr<Connection>> devices;  // plugged ones, by id
    std::map<FirmwareId, Unit> units;
    DeviceId nextId = 1;
    uint32_t nextFirmware = 1;
    uint32_t nextInstance = 1;

    std::mutex listenerMu;
    std::map<int, ChangeListener> listeners;
    int nextListener = 1;

    std::shared_ptr<Connection> Find(DeviceId id) const {
        auto it = devices.find(id);
        return it == devices.end() ? nullptr : it->second;
    }

    std::vector<std::string> Paths() {
        std::lock_guard lock(mu);
        std::vector<std::string> paths;
        for (const auto& [id, dev] : devices) {
            for (const CollectionPath& p : dev->paths) {
                paths.push_back(p.path);
            }
        }
        return paths;
    }

    const Unit* FindUnit(FirmwareId id) const {
        auto it = units.find(id);
        return it == units.end() ? nullptr : &it->second;
    }

    // Delivers a notification of a physical device: on its cable when that is plugged in, else
    // through every receiver whose link to it is up. False when nothing carried it.
    bool NotifyFrom(FirmwareId firmware, uint16_t code) {
        for (auto& [id, dev] : devices) {
            if (dev->firmwareId == firmware && dev->wired) {
                return SendNotification(*dev, code);
            }
        }
        bool sent = false;
        for (auto& [id, dev] : devices) {
            if (dev->firmwareId == firmware && dev->receiver && dev->receiver->LinkUp()) {
                sent = SendNotification(*dev, code) || sent;
            }
        }
        return sent;
    }

    // Queues a Consumer Control report on the connection's notification collection.
    static bool SendNotification(Connection& dev, uint16_t code) {
        if (dev.receiver && !dev.receiver->LinkUp()) {
            return false;
        }
        for (const CollectionPath& p : dev.paths) {
            const CollectionLayout& col =
                dev.layout->interfaces[p.interfaceIndex].collections[p.collectionIndex];
            if (col.role != CollectionRole::Notification) {
                continue;
            }
            const uint8_t report[3] = {col.inputReportId, static_cast<uint8_t>(code & 0xFF),
                                       static_cast<uint8_t>(code >> 8)};
            Deliver(dev, p.interfaceIndex, p.collectionIndex, report,
                    std::chrono::steady_clock::now() + dev.latency);
            return true;
        }
        return false;
    }

    // Hands one input report to every reader of the collection, readable at `ready`.
    static void Deliver(Connection& dev, std::size_t interfaceIndex, std::size_t collectionIndex,
                        std::span<const uint8_t> bytes, Clock::time_point ready) {
        std::erase_if(dev.opens, [](const std::weak_ptr<OpenState>& w) { return w.expired(); });
        for (const std::weak_ptr<OpenState>& w : dev.opens) {
            std::shared_ptr<OpenState> st = w.lock();
            if (!st || !st->canRead || st->interfaceIndex != interfaceIndex ||
                st->collectionIndex != collectionIndex || st->cancelled) {
                continue;
            }
            if (st->queue.size() < kMaxQueuedReports) {
                st->queue.push_back({ready, std::vector<uint8_t>(bytes.begin(), bytes.end())});
                st->cv.notify_all();
            }
        }
    }

    // Calls every change listener; never under mu, as listeners may call back into the bus.
    void NotifyListeners() {
        std::vector<ChangeListener> copy;
        {
            std::lock_guard lock(listenerMu);
            for (auto& [id, fn] : listeners) {
                copy.push_back(fn);
            }
        }
        for (auto& fn : copy) {
            fn();
        }
    }

    static void MarkGone(Connection& dev) {
        dev.present = false;
        for (const std::weak_ptr<OpenState>& w : dev.opens) {
            if (std::shared_ptr<OpenState> st = w.lock()) {
                st->gone = true;
                st->cv.notify_all();
            }
        }
        dev.opens.clear();
    }
};

namespace {

FrameOutcome Relay(Connection& dev, const Frame& frame) {
    return dev.receiver ? dev.receiver->HandleFrame(frame) : HandleCableFrame(*dev.wired, frame);
}

void SignReply(Connection& dev, Frame& reply) {
    if (dev.receiver) {
        StoreFrameCrc(reply);
    } else {
        StoreSumChecksum(reply);
    }
}

// Takes the fault that applies to the frame being written now, if any.
Fault TakeFault(Connection& dev) {
    for (auto it = dev.faults.begin(); it != dev.faults.end(); ++it) {
        if (it->skipFrames > 0) {
            --it->skipFrames;
            continue;
        }
        Fault hit = *it;
        if (--it->count == 0) {
            dev.faults.erase(it);
        }
        return hit;
    }
    return {};
}

std::string FormatPath(const DeviceLayout& layout, const InterfaceLayout& iface,
                       std::size_t collectionIndex, const std::string& instance) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "emu#vid_%04x&pid_%04x", layout.vendorId, layout.productId);
    std::string path = buf;
    if (layout.Composite()) {
        std::snprintf(buf, sizeof buf, "&mi_%02x", iface.number);
        path += buf;
    }
    if (iface.collections.size() > 1) {
        std::snprintf(buf, sizeof buf, "&col%02zx", collectionIndex + 1);
        path += buf;
    }
    return path + "#" + instance;
}

class EmulatedHidDevice : public IHidDevice {
public:
    EmulatedHidDevice(std::shared_ptr<EmulatedHidBus::Core> core, std::shared_ptr<Connection> dev,
                      std::shared_ptr<OpenState> st)
        : core_(std::move(core)), dev_(std::move(dev)), st_(std::move(st)) {
        const InterfaceLayout& iface = dev_->layout->interfaces[st_->interfaceIndex];
        descriptor_ = iface.descriptor;
        collection_ = iface.collections[st_->collectionIndex];
        attributes_ = {dev_->layout->vendorId, dev_->layout->productId,
                       dev_->version.value_or(dev_->layout->version)};
    }

    ~EmulatedHidDevice() override {
        std::lock_guard lock(core_->mu);
        st_->cancelled = true;
        st_->queue.clear();
    }

    HidAttributes Attributes() const override { return attributes_; }
    std::span<const uint8_t> ReportDescriptor() const override { return descriptor_; }
    std::size_t CollectionIndex() const override { return st_->collectionIndex; }

    HidIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
        const bool infinite = timeoutMs == kHidInfinite;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock lock(core_->mu);
        if (!st_->canRead) {
            return {HidIoStatus::Error, 0};
        }
        for (;;) {
            if (st_->cancelled) {
                return {HidIoStatus::Cancelled, 0};
            }
            if (st_->gone) {
                return {HidIoStatus::Gone, 0};
            }
            const Clock::time_point now = Clock::now();
            if (!st_->queue.empty() && st_->queue.front().ready <= now) {
                QueuedReport report = std::move(st_->queue.front());
                st_->queue.pop_front();
                std::size_t n = std::min(buffer.size(), report.bytes.size());
                std::copy_n(report.bytes.begin(), n, buffer.begin());
                return {HidIoStatus::Ok, n};
            }
            if (!infinite && now >= deadline) {
                return {HidIoStatus::Timeout, 0};
            }
            const bool haveNext = !st_->queue.empty();
            if (infinite && !haveNext) {
                st_->cv.wait(lock);
            } else {
                Clock::time_point wake = infinite ? Clock::time_point::max() : deadline;
                if (haveNext) {
                    wake = std::min(wake, st_->queue.front().ready);
                }
                st_->cv.wait_until(lock, wake);
            }
        }
    }

    HidIoResult Write(std::span<const uint8_t> report, uint32_t timeoutMs) override {
        std::unique_lock lock(core_->mu);
        if (st_->cancelled) {
            return {HidIoStatus::Cancelled, 0};
        }
        if (st_->gone) {
            return {HidIoStatus::Gone, 0};
        }
        const bool command = collection_.role == CollectionRole::Command;
        if (!st_->canWrite || collection_.outputBytes == 0 ||
            report.size() != collection_.outputBytes || report[0] != collection_.outputReportId) {
            if (command && st_->canWrite && report.size() >= 7) {
                // The report never reaches the firmware; keep a trace of the attempt.
                dev_->log.push_back({report[3], report[4],
                                     static_cast<uint16_t>(report[5] | (report[6] << 8)), 0, true,
                                     false, false, FaultKind::None});
            }
            return {HidIoStatus::Error, 0};
        }

        // The fault (if any) is chosen when the frame is written; transfer faults strike at once.
        Fault fault = command ? TakeFault(*dev_) : Fault{};
        if (fault.kind == FaultKind::FailedWrite || fault.kind == FaultKind::UnplugMidTransfer) {
            LogFrame(report, fault.kind);
            if (fault.kind == FaultKind::FailedWrite) {
                return {HidIoStatus::Error, 0};
            }
            UnplugLocked(lock);
            return {HidIoStatus::Gone, 0};
        }

        // The report spends one latency on the wire.
        const Clock::time_point done = Clock::now() + dev_->latency;
        const bool infinite = timeoutMs == kHidInfinite;
        const Clock::time_point deadline =
            infinite ? Clock::time_point::max()
                     : Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (st_->cancelled) {
                return {HidIoStatus::Cancelled, 0};
            }
            if (st_->gone) {
                return {HidIoStatus::Gone, 0};
            }
            const Clock::time_point now = Clock::now();
            if (now >= done) {
                break;
            }
            if (now >= deadline) {
                return {HidIoStatus::Timeout, 0};
            }
            st_->cv.wait_until(lock, std::min(done, deadline));
        }
        if (command) {
            Frame frame{};
            std::copy_n(report.begin(), kFrameSize, frame.begin());
            HandleFrame(frame, fault);
        }
        return {HidIoStatus::Ok, report.size()};
    }

    void CancelIo() override {
        std::lock_guard lock(core_->mu);
        st_->cancelled = true;
        st_->cv.notify_all();
    }

private:
    void LogFrame(std::span<const uint8_t> report, FaultKind fault) {
        dev_->log.push_back({report[3], report[4],
                             static_cast<uint16_t>(report[5] | (report[6] << 8)), 0, false, false,
                             false, fault});
    }

    // Runs under the bus lock; may unplug, so it is handed the lock to release for the listeners.
    void UnplugLocked(std::unique_lock<std::mutex>& lock) {
        Core::MarkGone(*dev_);
        core_->devices.erase(dev_->id);
        lock.unlock();
        core_->NotifyListeners();
        lock.lock();
    }

    // The firmware's side of one frame on the vendor collection (under the bus lock).
    void HandleFrame(const Frame& frame, const Fault& fault) {
        using Core = EmulatedHidBus::Core;
        Connection& dev = *dev_;
        CommandLogEntry entry{
            frame[3], frame[4],  static_cast<uint16_t>(frame[5] | (frame[6] << 8)), 0, false, false,
            false,    fault.kind};
        FrameOutcome outcome;
        switch (fault.kind) {
            case FaultKind::NoReply:
                break;  // lost on the way: not applied, not answered
            case FaultKind::LinkDrop:
                if (dev.receiver) {
                    dev.receiver->SetLinkUp(false);
                }
                outcome = Relay(dev, frame);
                break;
            case FaultKind::Status:
                outcome.replied = true;
                outcome.reply = EchoReply(frame, fault.status);
                outcome.status = fault.status;
                SignReply(dev, outcome.reply);
                break;
            default:
                outcome = Relay(dev, frame);
                break;
        }
        entry.crc = outcome.crc;
        entry.refused = outcome.refused;
        entry.replied = outcome.replied;
        entry.status = outcome.replied ? outcome.status : 0;
        dev.log.push_back(entry);
        if (!outcome.replied) {
            return;
        }

        Clock::time_point ready = Clock::now() + dev.latency;
        if (fault.kind == FaultKind::DelayedReply) {
            ready += std::chrono::milliseconds(fault.delayMs);
        }
        // The firmware answers in order: a late reply holds back the ones after it.
        ready = std::max(ready, dev.lastReplyReady);
        dev.lastReplyReady = ready;
        if (fault.kind == FaultKind::StaleReply) {
            Frame stale = outcome.reply;
            stale[3] = static_cast<uint8_t>(stale[3] ^ 0x80);
            SignReply(dev, stale);
            Core::Deliver(dev, st_->interfaceIndex, st_->collectionIndex, stale, ready);
        }
        Core::Deliver(dev, st_->interfaceIndex, st_->collectionIndex, outcome.reply, ready);
    }

    using Core = EmulatedHidBus::Core;
    std::shared_ptr<Core> core_;
    std::shared_ptr<Connection> dev_;
    std::shared_ptr<OpenState> st_;
    std::span<const uint8_t> descriptor_;
    CollectionLayout collection_;
    HidAttributes attributes_;
};

}  // namespace

EmulatedHidBus::~EmulatedHidBus() {
    // Devices opened from this bus may outlive it; to them the bus going away is a removal.
    std::lock_guard lock(core_->mu);
    for (auto& [id, dev] : core_->devices) {
        Core::MarkGone(*dev);
    }
    core_->devices.clear();
}

std::string EmulatedHidBus::Name() const {
    return "emulated";
}

bool EmulatedHidBus::EnumeratePaths(std::vector<std::string>& paths) {
    paths = core_->Paths();
    return true;
}

std::unique_ptr<IHidDevice> EmulatedHidBus::Open(const std::string& path,
                                                 const HidOpenRequest& request, HidOpenError* error,
                                                 std::string* errorText) {
    std::lock_guard lock(core_->mu);
    for (const auto& [id, dev] : core_->devices) {
        for (const CollectionPath& p : dev->paths) {
            if (p.path != path) {
                continue;
            }
            auto st = std::make_shared<OpenState>();
            st->interfaceIndex = p.interfaceIndex;
            st->collectionIndex = p.collectionIndex;
            st->canRead = request.read;
            st->canWrite = request.write;
            dev->opens.push_back(st);
            if (error) {
                *error = HidOpenError::None;
            }
            return std::make_unique<EmulatedHidDevice>(core_, dev, std::move(st));
        }
    }
    if (error) {
        *error = HidOpenError::NotFound;
    }
    if (errorText) {
        *errorText = "no emulated device has the path " + path;
    }
    return nullptr;
}

namespace {

std::shared_ptr<Connection> MakeDevice(const DeviceLayout& layout, DeviceId id,
                                       uint32_t& nextInstance) {
    auto dev = std::make_shared<Connection>();
    dev->id = id;
    dev->layout = &layout;
    for (std::size_t i = 0; i < layout.interfaces.size(); ++i) {
        // The kernel names every HID interface "bus:vendor:product.instance".
        char instance[32];
        std::snprintf(instance, sizeof instance, "0003:%04X:%04X.%04X", layout.vendorId,
                      layout.productId, nextInstance++);
        const InterfaceLayout& iface = layout.interfaces[i];
        for (std::size_t c = 0; c < iface.collections.size(); ++c) {
            dev->paths.push_back({i, c, FormatPath(layout, iface, c, instance)});
        }
    }
    return dev;
}

}  // namespace

EmulatedHidBus::EmulatedHidBus()
    : core_(std::make_shared<Core>()), hotplug_(std::make_shared<EmulatedHotplug>()) {
    AddMouse();
    // The monitor hears of every change the listeners hear of; weak, as the core may outlive us.
    AddChangeListener(
        [core = std::weak_ptr<Core>(core_), hotplug = std::weak_ptr<EmulatedHotplug>(hotplug_)] {
            auto c = core.lock();
            auto h = hotplug.lock();
            if (c && h) {
                h->Refresh([&c] { return c->Paths(); });
            }
        });
}

FirmwareId EmulatedHidBus::MainMouse() const {
    return FirmwareId{1};
}

FirmwareId EmulatedHidBus::AddMouse() {
    std::lock_guard lock(core_->mu);
    const FirmwareId id{core_->nextFirmware++};
    core_->units.emplace(id, Unit{std::make_shared<MouseFirmware>(),
                                  &WiredMouseLayout(),
                                  {&Receiver7102Layout(), &Receiver7103Layout()}});
    return id;
}

std::vector<FirmwareId> EmulatedHidBus::Firmwares() const {
    std::lock_guard lock(core_->mu);
    std::vector<FirmwareId> ids;
    for (const auto& [id, unit] : core_->units) {
        ids.push_back(id);
    }
    return ids;
}

std::optional<FirmwareId> EmulatedHidBus::FirmwareOf(DeviceId device) const {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    if (!dev) {
        return std::nullopt;
    }
    return dev->firmwareId;
}

std::vector<PlugOption> EmulatedHidBus::Catalogue() const {
    std::lock_guard lock(core_->mu);
    std::vector<PlugOption> options;
    // The main mouse's cable and receivers; further physical devices are for tests.
    if (const Unit* unit = core_->FindUnit(MainMouse())) {
        options.push_back({unit->cable->vendorId, unit->cable->productId, false, MainMouse()});
        for (const DeviceLayout* r : unit->receivers) {
            options.push_back({r->vendorId, r->productId, true, MainMouse()});
        }
    }
    return options;
}

DeviceId EmulatedHidBus::Plug(uint16_t productId) {
    if (FindPlugged(productId) != kNoDevice) {
        return kNoDevice;
    }
    for (const PlugOption& option : Catalogue()) {
        if (option.productId == productId) {
            return option.receiver ? PlugReceiver(productId, true, option.firmware)
                                   : PlugCable(option.firmware);
        }
    }
    return kNoDevice;
}

DeviceId EmulatedHidBus::PlugWiredMouse(FirmwareId mouse) {
    return PlugCable(mouse == FirmwareId::None ? MainMouse() : mouse);
}

DeviceId EmulatedHidBus::PlugCable(FirmwareId firmware) {
    DeviceId id;
    {
        std::lock_guard lock(core_->mu);
        const Unit* unit = core_->FindUnit(firmware);
        if (unit == nullptr || unit->cable == nullptr) {
            return kNoDevice;
        }
        for (const auto& [other, dev] : core_->devices) {
            if (dev->firmwareId == firmware && dev->wired) {
                return kNoDevice;  // one cable per device
            }
        }
        id = core_->nextId++;
        auto dev = MakeDevice(*unit->cable, id, core_->nextInstance);
        dev->firmwareId = firmware;
        dev->wired = unit->firmware;
        core_->devices.emplace(id, std::move(dev));
    }
    NotifyChange();
    return id;
}

DeviceId EmulatedHidBus::PlugReceiver(uint16_t productId, bool mouseOn, FirmwareId mouse) {
    if (mouse == FirmwareId::None) {
        mouse = MainMouse();
    }
    DeviceId id;
    {
        std::lock_guard lock(core_->mu);
        const Unit* unit = core_->FindUnit(mouse);
        if (unit == nullptr) {
            return kNoDevice;
        }
        auto layout =
            std::find_if(unit->receivers.begin(), unit->receivers.end(),
                         [&](const DeviceLayout* r) { return r->productId == productId; });
        if (layout == unit->receivers.end()) {
            return kNoDevice;
        }
        id = core_->nextId++;
        auto dev = MakeDevice(**layout, id, core_->nextInstance);
        dev->firmwareId = mouse;
        dev->receiver = std::make_unique<ReceiverFirmware>(productId, mouseOn, unit->firmware);
        core_->devices.emplace(id, std::move(dev));
    }
    NotifyChange();
    return id;
}

bool EmulatedHidBus::Unplug(DeviceId device) {
    {
        std::lock_guard lock(core_->mu);
        auto dev = core_->Find(device);
        if (!dev) {
            return false;
        }
        Core::MarkGone(*dev);
        core_->devices.erase(device);
    }
    NotifyChange();
    return true;
}

bool EmulatedHidBus::IsPlugged(DeviceId device) const {
    std::lock_guard lock(core_->mu);
    return core_->Find(device) != nullptr;
}

std::vector<DeviceId> EmulatedHidBus::Devices() const {
    std::lock_guard lock(core_->mu);
    std::vector<DeviceId> ids;
    for (const auto& [id, dev] : core_->devices) {
        ids.push_back(id);
    }
    return ids;
}

std::vector<PluggedDevice> EmulatedHidBus::Plugged() const {
    std::lock_guard lock(core_->mu);
    std::vector<PluggedDevice> list;
    for (const auto& [id, dev] : core_->devices) {
        list.push_back({id, dev->layout->vendorId, dev->layout->productId, dev->receiver != nullptr,
                        dev->receiver && dev->receiver->LinkUp(), dev->firmwareId});
    }
    return list;
}

DeviceId EmulatedHidBus::FindPlugged(uint16_t productId) const {
    std::lock_guard lock(core_->mu);
    for (const auto& [id, dev] : core_->devices) {
        if (dev->layout->productId == productId) {
            return id;
        }
    }
    return kNoDevice;
}

std::vector<std::string> EmulatedHidBus::PathsOf(DeviceId device) const {
    std::lock_guard lock(core_->mu);
    std::vector<std::string> paths;
    if (auto dev = core_->Find(device)) {
        for (const CollectionPath& p : dev->paths) {
            paths.push_back(p.path);
        }
    }
    return paths;
}

std::optional<uint16_t> EmulatedHidBus::ProductOf(DeviceId device) const {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    if (!dev) {
        return std::nullopt;
    }
    return dev->layout->productId;
}

bool EmulatedHidBus::SetLink(DeviceId receiver, bool up) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(receiver);
    if (!dev || !dev->receiver) {
        return false;
    }
    dev->receiver->SetLinkUp(up);
    return true;
}

std::optional<bool> EmulatedHidBus::LinkUp(DeviceId receiver) const {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(receiver);
    if (!dev || !dev->receiver) {
        return std::nullopt;
    }
    return dev->receiver->LinkUp();
}

bool EmulatedHidBus::RaiseNotification(DeviceId device, uint16_t code) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    return dev && Core::SendNotification(*dev, code);
}

std::optional<uint16_t> EmulatedHidBus::PressButton(FirmwareId firmware, std::string_view button) {
    std::lock_guard lock(core_->mu);
    const Unit* unit = core_->FindUnit(firmware);
    if (unit == nullptr) {
        return std::nullopt;
    }
    std::optional<uint16_t> code = unit->firmware->PressButton(button);
    if (code) {
        core_->NotifyFrom(firmware, *code);
    }
    return code;
}

std::optional<uint16_t> EmulatedHidBus::PressButton(DeviceId device, std::string_view button) {
    std::optional<FirmwareId> firmware = FirmwareOf(device);
    return firmware ? PressButton(*firmware, button) : std::nullopt;
}

bool EmulatedHidBus::SwitchProfileOnDevice(DeviceId device, uint8_t profile) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    auto* mouse = dev ? dynamic_cast<MouseFirmware*>(dev->Reached()) : nullptr;
    if (mouse == nullptr || !mouse->SelectProfile(profile)) {
        return false;
    }
    core_->NotifyFrom(dev->firmwareId, static_cast<uint16_t>(0x1000 | profile));
    return true;
}

bool EmulatedHidBus::SwitchDpiStageOnDevice(DeviceId device, uint8_t stage) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    auto* mouse = dev ? dynamic_cast<MouseFirmware*>(dev->Reached()) : nullptr;
    if (mouse == nullptr || !mouse->SelectDpiStage(stage)) {
        return false;
    }
    core_->NotifyFrom(dev->firmwareId,
                      static_cast<uint16_t>(0x1100 | (stage << 4) | mouse->CurrentProfile()));
    return true;
}

bool EmulatedHidBus::SetFirmwareVersion(DeviceId device, uint16_t version) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    if (!dev) {
        return false;
    }
    dev->version = version;
    return true;
}

bool EmulatedHidBus::SetLatency(DeviceId device, std::chrono::microseconds latency) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    if (!dev || latency.count() < 0) {
        return false;
    }
    dev->latency = latency;
    return true;
}

bool EmulatedHidBus::InjectFault(DeviceId device, const Fault& fault) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    if (!dev || fault.kind == FaultKind::None || fault.count == 0) {
        return false;
    }
    dev->faults.push_back(fault);
    return true;
}

bool EmulatedHidBus::ClearFaults(DeviceId device) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    if (!dev) {
        return false;
    }
    dev->faults.clear();
    return true;
}

std::vector<CommandLogEntry> EmulatedHidBus::CommandLog(DeviceId device) const {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    return dev ? dev->log : std::vector<CommandLogEntry>{};
}

std::vector<CommandLogEntry> EmulatedHidBus::TakeCommandLog(DeviceId device) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    return dev ? std::exchange(dev->log, {}) : std::vector<CommandLogEntry>{};
}

void EmulatedHidBus::ClearCommandLog(DeviceId device) {
    TakeCommandLog(device);
}

bool EmulatedHidBus::VisitFirmware(FirmwareId id, DeviceId device,
                                   const std::function<bool(DeviceFirmware&)>& fn) {
    std::lock_guard lock(core_->mu);
    DeviceFirmware* firmware = nullptr;
    if (id != FirmwareId::None) {
        const Unit* unit = core_->FindUnit(id);
        firmware = unit ? unit->firmware.get() : nullptr;
    } else if (auto dev = core_->Find(device)) {
        firmware = dev->Reached();
    }
    return firmware != nullptr && fn(*firmware);
}

int EmulatedHidBus::AddChangeListener(ChangeListener listener) {
    std::lock_guard lock(core_->listenerMu);
    int id = core_->nextListener++;
    core_->listeners.emplace(id, std::move(listener));
    return id;
}

void EmulatedHidBus::RemoveChangeListener(int id) {
    std::lock_guard lock(core_->listenerMu);
    core_->listeners.erase(id);
}

void EmulatedHidBus::NotifyChange() {
    core_->NotifyListeners();
}

}  // namespace q417::emu
