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

struct PluggedDevice {
    DeviceId id = kNoDevice;
    const DeviceLayout* layout = nullptr;
    std::vector<CollectionPath> paths;
    bool present = true;
    std::unique_ptr<MouseFirmware> wired;
    std::unique_ptr<ReceiverFirmware> receiver;
    std::vector<std::weak_ptr<OpenState>> opens;
    std::chrono::microseconds latency = kDefaultLatency;
    std::optional<uint16_t> version;  // firmware version reported instead of the layout's
    Clock::time_point lastReplyReady{};
    std::deque<Fault> faults;
    std::vector<CommandLogEntry> log;

    MouseFirmware& Mouse() { return receiver ? receiver->Mouse() : *wired; }
};

struct EmulatedHidBus::Core {
    std::mutex mu;
    std::map<DeviceId, std::shared_ptr<PluggedDevice>> devices;  // plugged ones, by id
    DeviceId nextId = 1;
    uint32_t nextInstance = 1;

    std::mutex listenerMu;
    std::map<int, ChangeListener> listeners;
    int nextListener = 1;

    std::shared_ptr<PluggedDevice> Find(DeviceId id) const {
        auto it = devices.find(id);
        return it == devices.end() ? nullptr : it->second;
    }

    // Hands one input report to every reader of the collection, readable at `ready`.
    static void Deliver(PluggedDevice& dev, std::size_t interfaceIndex, std::size_t collectionIndex,
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

    static void MarkGone(PluggedDevice& dev) {
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

void SignReply(PluggedDevice& dev, Frame& reply) {
    if (dev.receiver) {
        StoreFrameCrc(reply);
    } else {
        StoreSumChecksum(reply);
    }
}

// Takes the fault that applies to the frame being written now, if any.
Fault TakeFault(PluggedDevice& dev) {
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
    std::string path = "emu#vid_4a1d";
    std::snprintf(buf, sizeof buf, "&pid_%04x", layout.productId);
    path += buf;
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
    EmulatedHidDevice(std::shared_ptr<EmulatedHidBus::Core> core,
                      std::shared_ptr<PluggedDevice> dev, std::shared_ptr<OpenState> st)
        : core_(std::move(core)), dev_(std::move(dev)), st_(std::move(st)) {
        const InterfaceLayout& iface = dev_->layout->interfaces[st_->interfaceIndex];
        descriptor_ = iface.descriptor;
        collection_ = iface.collections[st_->collectionIndex];
        attributes_ = {kEmuVendorId, dev_->layout->productId,
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
        PluggedDevice& dev = *dev_;
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
                outcome = dev.receiver ? dev.receiver->HandleFrame(frame)
                                       : HandleCableFrame(*dev.wired, frame);
                break;
            case FaultKind::Status:
                outcome.replied = true;
                outcome.reply[0] = kCommandReportId;
                std::copy_n(frame.begin() + 3, 4, outcome.reply.begin() + 3);
                outcome.reply[7] = fault.status;
                outcome.status = fault.status;
                SignReply(dev, outcome.reply);
                break;
            default:
                outcome = dev.receiver ? dev.receiver->HandleFrame(frame)
                                       : HandleCableFrame(*dev.wired, frame);
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
    std::shared_ptr<PluggedDevice> dev_;
    std::shared_ptr<OpenState> st_;
    std::span<const uint8_t> descriptor_;
    CollectionLayout collection_;
    HidAttributes attributes_;
};

}  // namespace

EmulatedHidBus::EmulatedHidBus() : core_(std::make_shared<Core>()) {}

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
    std::lock_guard lock(core_->mu);
    paths.clear();
    for (const auto& [id, dev] : core_->devices) {
        for (const CollectionPath& p : dev->paths) {
            paths.push_back(p.path);
        }
    }
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

std::shared_ptr<PluggedDevice> MakeDevice(const DeviceLayout& layout, DeviceId id,
                                          uint32_t& nextInstance) {
    auto dev = std::make_shared<PluggedDevice>();
    dev->id = id;
    dev->layout = &layout;
    for (std::size_t i = 0; i < layout.interfaces.size(); ++i) {
        // The kernel names every HID interface "bus:vendor:product.instance".
        char instance[32];
        std::snprintf(instance, sizeof instance, "0003:%04X:%04X.%04X", kEmuVendorId,
                      layout.productId, nextInstance++);
        const InterfaceLayout& iface = layout.interfaces[i];
        for (std::size_t c = 0; c < iface.collections.size(); ++c) {
            dev->paths.push_back({i, c, FormatPath(layout, iface, c, instance)});
        }
    }
    return dev;
}

}  // namespace

DeviceId EmulatedHidBus::PlugWiredMouse() {
    DeviceId id;
    {
        std::lock_guard lock(core_->mu);
        id = core_->nextId++;
        auto dev = MakeDevice(WiredMouseLayout(), id, core_->nextInstance);
        dev->wired = std::make_unique<MouseFirmware>();
        core_->devices.emplace(id, std::move(dev));
    }
    NotifyChange();
    return id;
}

DeviceId EmulatedHidBus::PlugReceiver(uint16_t productId, bool mouseOn) {
    const DeviceLayout* layout = productId == kReceiverProductId    ? &Receiver7102Layout()
                                 : productId == kReceiver2ProductId ? &Receiver7103Layout()
                                                                    : nullptr;
    if (!layout) {
        return kNoDevice;
    }
    DeviceId id;
    {
        std::lock_guard lock(core_->mu);
        id = core_->nextId++;
        auto dev = MakeDevice(*layout, id, core_->nextInstance);
        dev->receiver = std::make_unique<ReceiverFirmware>(productId, mouseOn);
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
    if (!dev || (dev->receiver && !dev->receiver->LinkUp())) {
        return false;
    }
    for (const CollectionPath& p : dev->paths) {
        const CollectionLayout& col =
            dev->layout->interfaces[p.interfaceIndex].collections[p.collectionIndex];
        if (col.role != CollectionRole::Notification) {
            continue;
        }
        const uint8_t report[3] = {col.inputReportId, static_cast<uint8_t>(code & 0xFF),
                                   static_cast<uint8_t>(code >> 8)};
        Core::Deliver(*dev, p.interfaceIndex, p.collectionIndex, report,
                      Clock::now() + dev->latency);
        return true;
    }
    return false;
}

bool EmulatedHidBus::SwitchProfileOnDevice(DeviceId device, uint8_t profile) {
    bool changed = false;
    WithMouse(device, [&](MouseFirmware& m) { changed = m.SelectProfile(profile); });
    if (changed) {
        RaiseNotification(device, static_cast<uint16_t>(0x1000 | profile));
    }
    return changed;
}

bool EmulatedHidBus::SwitchDpiStageOnDevice(DeviceId device, uint8_t stage) {
    bool changed = false;
    uint8_t profile = 0;
    WithMouse(device, [&](MouseFirmware& m) {
        changed = m.SelectDpiStage(stage);
        profile = m.CurrentProfile();
    });
    if (changed) {
        RaiseNotification(device, static_cast<uint16_t>(0x1100 | (stage << 4) | profile));
    }
    return changed;
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

bool EmulatedHidBus::WithMouse(DeviceId device, const std::function<void(MouseFirmware&)>& fn) {
    std::lock_guard lock(core_->mu);
    auto dev = core_->Find(device);
    if (!dev) {
        return false;
    }
    fn(dev->Mouse());
    return true;
}

std::vector<uint8_t> EmulatedHidBus::ReadMouseMemory(DeviceId device, std::size_t offset,
                                                     std::size_t length) {
    std::vector<uint8_t> out;
    WithMouse(device, [&](MouseFirmware& m) {
        auto mem = m.Memory();
        if (offset <= mem.size() && length <= mem.size() - offset) {
            out.assign(mem.begin() + offset, mem.begin() + offset + length);
        }
    });
    return out;
}

bool EmulatedHidBus::WriteMouseMemory(DeviceId device, std::size_t offset,
                                      std::span<const uint8_t> bytes) {
    bool ok = false;
    WithMouse(device, [&](MouseFirmware& m) {
        auto mem = m.Memory();
        if (offset <= mem.size() && bytes.size() <= mem.size() - offset) {
            std::copy(bytes.begin(), bytes.end(), mem.begin() + offset);
            ok = true;
        }
    });
    return ok;
}

std::optional<uint8_t> EmulatedHidBus::CurrentProfile(DeviceId device) {
    std::optional<uint8_t> v;
    WithMouse(device, [&](MouseFirmware& m) { v = m.CurrentProfile(); });
    return v;
}

std::optional<uint8_t> EmulatedHidBus::ActiveDpiStage(DeviceId device) {
    std::optional<uint8_t> v;
    WithMouse(device, [&](MouseFirmware& m) { v = m.ActiveDpiStage(); });
    return v;
}

std::vector<uint8_t> EmulatedHidBus::KeyTable(DeviceId device) {
    std::vector<uint8_t> v;
    WithMouse(device,
              [&](MouseFirmware& m) { v.assign(m.KeyTable().begin(), m.KeyTable().end()); });
    return v;
}

std::vector<uint8_t> EmulatedHidBus::MacroMemory(DeviceId device) {
    std::vector<uint8_t> v;
    WithMouse(device,
              [&](MouseFirmware& m) { v.assign(m.MacroMemory().begin(), m.MacroMemory().end()); });
    return v;
}

std::vector<uint8_t> EmulatedHidBus::RecoilBlock(DeviceId device) {
    std::vector<uint8_t> v;
    WithMouse(device, [&](MouseFirmware& m) {
        v.assign(m.RecoilMemory().begin(), m.RecoilMemory().end());
    });
    return v;
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
