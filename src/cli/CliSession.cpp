#include "cli/CliSession.h"

#include <sstream>

#include "emulator/EmulatedHidBus.h"
#include "transport/DeviceIdentity.h"

namespace q417::cli {

using Type = DeviceManagerEvent::Type;

CliSession::CliSession(std::shared_ptr<IHidBackend> backend,
                       std::shared_ptr<emu::EmulatedHidBus> demoBus, bool useUdev)
    : backend_(std::move(backend)), demoBus_(std::move(demoBus)), useUdev_(useUdev) {}

CliSession::~CliSession() {
    Stop();
}

bool CliSession::Start(std::string* error) {
    if (started_) {
        return true;
    }
    if (!loop_.Start()) {
        if (error != nullptr) {
            *error = "the event loop could not be started";
        }
        return false;
    }
    started_ = true;
    DeviceManagerOptions options;
    options.backend = backend_;
    options.useUdev = useUdev_;
    bool ran = loop_.PostAndWait([&] {
        manager_ = std::make_unique<CDeviceManager>(loop_, options);
        manager_->SetObserver(this);
        manager_->Start();
    });
    if (!ran || !manager_) {
        if (error != nullptr) {
            *error = "the device manager could not be started";
        }
        return false;
    }
    if (demoBus_) {
        // The emulated bus has no udev: its own plug events wake detection at once.
        CDeviceManager* manager = manager_.get();
        busListener_ = demoBus_->AddChangeListener([manager] { manager->Wake(); });
    }
    return true;
}

void CliSession::Stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    if (demoBus_ && busListener_ >= 0) {
        demoBus_->RemoveChangeListener(busListener_);
        busListener_ = -1;
    }
    // The manager lives on the loop: it is stopped and destroyed there, then the loop ends.
    loop_.PostAndWait([&] {
        if (manager_) {
            manager_->SetObserver(nullptr);
            manager_.reset();
        }
    });
    loop_.Stop(kStopBound);
    manager_.reset();  // only when the loop refused the task above
}

// --- Settling ------------------------------------------------------------------------------------

bool CliSession::SettledLocked() const {
    return activated_ && pending_.empty() && visibleUnsynced_.empty();
}

bool CliSession::WaitSettled(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, bound, [&] { return SettledLocked(); });
}

bool CliSession::WaitForChangeAfter(std::size_t sequence, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [&] { return lastChangeSequence_ > sequence; })) {
            return false;
        }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return WaitSettled(std::max(left, std::chrono::milliseconds(0)));
}

// Keeps track of which entries still have a synchronisation coming, so that commands read the
// device only after the manager has finished with it. Runs on the loop thread.
void CliSession::UpdatePending(const DeviceManagerEvent& event) {
    const CDeviceManager& m = *manager_;
    switch (event.type) {
        case Type::Activation:
            activated_ = true;
            break;
        case Type::Arrived:
        case Type::Removed: {
            if (event.row.role != kRoleCommand || event.slot < 0) {
                break;
            }
            const auto slot = static_cast<std::size_t>(event.slot);
            const int entry = m.EntryForSlot(slot);
            if (entry < 0) {
                break;
            }
            // A receiver whose partner cable is in changes nothing; a cable coming or going
            // while the receiver is in moves the mouse (a switch and a synchronisation follow).
            const bool receiver = IsReceiverKind(event.row.kind);
            const bool partner = m.PartnerConnected(slot);
            if (event.type == Type::Arrived) {
                if (!(receiver && partner)) {
                    pending_.insert(entry);
                }
            } else if (!receiver && partner) {
                pending_.insert(entry);
            } else if (!receiver || !partner) {
                pending_.erase(entry);
            }
            break;
        }
        case Type::ConnectionSwitched:
            if (event.result == 1) {
                pending_.insert(event.entry);
            } else {
                pending_.erase(event.entry);
            }
            break;
        case Type::Synchronised:
            pending_.erase(event.entry);
            ++syncCount_[event.entry];
            break;
        case Type::Reachability:
            if (!event.flag) {
                pending_.erase(event.entry);
            }
            break;
        default:
            break;
    }
    visibleUnsynced_.clear();
    for (const SelectorEntry& e : m.Entries()) {
        if (e.visible && syncCount_[e.index] == 0) {
            visibleUnsynced_.insert(e.index);
        }
    }
}

void CliSession::OnManagerEvent(const DeviceManagerEvent& event) {
    if (!manager_) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        UpdatePending(event);
        // A device's notification interface comes and goes with it; the command interface is
        // what the manager acts on.
        if ((event.type == Type::Arrived || event.type == Type::Removed) &&
            event.row.role == kRoleCommand) {
            lastChangeSequence_ = nextSequence_ + 1;
        }
    }
    changed_.notify_all();
    if (event.type == Type::EntriesChanged) {
        return;  // watch reports what changed the entries, not the change itself
    }
    SessionEvent e;
    e.event = event;
    if (event.entry >= 0 && static_cast<std::size_t>(event.entry) < manager_->Entries().size()) {
        const SelectorEntry& entry = manager_->Entries()[static_cast<std::size_t>(event.entry)];
        e.entryName = entry.name;
        e.entryVisible = entry.visible;
    }
    Record(std::move(e));
}

void CliSession::OnDeviceState(int entry, const DeviceSnapshot& snapshot) {
    {
        std::lock_guard lock(mutex_);
        lastSnapshot_[entry] = snapshot;
    }
    changed_.notify_all();
    std::string text = StateSummary(snapshot);
    if (text.empty()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        std::string& last = lastState_[entry];
        if (last == text) {
            return;
        }
        last = text;
    }
    SessionEvent e;
    e.isState = true;
    e.event.entry = entry;
    e.stateText = std::move(text);
    if (manager_ && entry >= 0 && static_cast<std::size_t>(entry) < manager_->Entries().size()) {
        const SelectorEntry& s = manager_->Entries()[static_cast<std::size_t>(entry)];
        e.entryName = s.name;
        e.entryVisible = s.visible;
    }
    Record(std::move(e));
}

bool CliSession::WaitForSnapshot(const std::function<bool(const DeviceSnapshot&)>& accept,
                                 std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, bound, [&] {
        for (const auto& [entry, snapshot] : lastSnapshot_) {
            if (accept(snapshot)) {
                return true;
            }
        }
        return false;
    });
}

void CliSession::Record(SessionEvent e) {
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        e.sequence = nextSequence_++;
        events_.push_back(std::move(e));
        if (events_.size() > kEventLogLimit) {
            events_.erase(events_.begin(),
                          events_.begin() + static_cast<std::ptrdiff_t>(kEventLogLimit / 4));
        }
        hook = hook_;
    }
    changed_.notify_all();
    if (hook) {
        hook();
    }
}

std::vector<SessionEvent> CliSession::EventsFrom(std::size_t from) {
    std::lock_guard lock(mutex_);
    std::vector<SessionEvent> out;
    for (const SessionEvent& e : events_) {
        if (e.sequence >= from) {
            out.push_back(e);
        }
    }
    return out;
}

std::size_t CliSession::EventCount() {
    std::lock_guard lock(mutex_);
    return nextSequence_;
}

void CliSession::SetEventHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

// --- Entries -----------------------------------------------------------------------------------

std::optional<int> CliSession::MouseEntry() {
    return OnLoop([&]() -> std::optional<int> {
        if (!manager_) {
            return std::nullopt;
        }
        std::optional<int> found;
        for (const SelectorEntry& e : manager_->Entries()) {
            if (e.kind != kDeviceKindMouse || !e.visible) {
                continue;
            }
            if (e.selected) {
                return e.index;
            }
            if (!found) {
                found = e.index;
            }
        }
        return found;
    });
}

std::shared_ptr<CTavrenixMouseDevice> CliSession::MouseDevice(int entry) {
    return OnLoop([&]() -> std::shared_ptr<CTavrenixMouseDevice> {
        if (!manager_ || entry < 0 ||
            static_cast<std::size_t>(entry) >= manager_->Entries().size()) {
            return nullptr;
        }
        return std::dynamic_pointer_cast<CTavrenixMouseDevice>(
            manager_->Entries()[static_cast<std::size_t>(entry)].device);
    });
}

std::string StateSummary(const DeviceSnapshot& snapshot) {
    if (!snapshot.mouse) {
        return {};
    }
    const MouseSnapshot& m = *snapshot.mouse;
    std::ostringstream s;
    // Counted from 1, as the window counts them.
    s << "profile " << m.currentProfile + 1 << ", stage " << m.activeStage + 1 << ", DPI";
    for (std::size_t i = 0; i < m.page.stages.size(); ++i) {
        const DpiStageView& v = m.page.stages[i];
        if (v.present) {
            s << ' ' << v.dpi << (v.enableChecked ? "" : "(off)");
        }
    }
    return s.str();
}

}  // namespace q417::cli
