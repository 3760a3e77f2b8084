#pragma once
// The running device manager behind q417ctl's mouse commands: one headless event loop on its own
// thread and one CDeviceManager on it, started once per process (a script shares it between its
// lines) and stopped within bounds at the end. Commands wait until detection has settled, find
// the mouse's selector entry and run device operations on the device's command thread.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "devices/CDeviceManager.h"
#include "devices/CTavrenixMouseDevice.h"
#include "platform/HeadlessEventLoop.h"

namespace q417::emu {
class EmulatedHidBus;
}

namespace q417::cli {

// A manager event as q417ctl's watch prints it, with what the entry was at that moment.
struct SessionEvent {
    std::size_t sequence = 0;
    DeviceManagerEvent event;
    std::string entryName;  // empty when the event names no entry
    bool entryVisible = false;
    // Set instead of `event` for a change of the state a page shows (see StateSummary).
    bool isState = false;
    std::string stateText;
};

class CliSession final : public IDeviceManagerObserver {
public:
    static constexpr std::chrono::milliseconds kSettleBound{5000};
    static constexpr std::chrono::milliseconds kStopBound{3000};
    // Events kept for watch; the oldest are dropped beyond this.
    static constexpr std::size_t kEventLogLimit = 4096;

    // demoBus: the emulated bus when `backend` is one (plugging wakes detection at once).
    CliSession(std::shared_ptr<IHidBackend> backend, std::shared_ptr<emu::EmulatedHidBus> demoBus,
               bool useUdev);
    ~CliSession() override;
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // Starts the loop and the manager. False (with a reason) when the loop cannot run.
    bool Start(std::string* error);
    // Stops the manager and the loop within their bounds. Idempotent.
    void Stop();

    // Waits until the first detection pass is handled, every device found has synchronised (or
    // turned out unreachable) and every visible entry has synchronised once. False on timeout.
    bool WaitSettled(std::chrono::milliseconds bound = kSettleBound);
    // Waits for an arrival or removal reported after `sequence` (see EventCount), then settles.
    bool WaitForChangeAfter(std::size_t sequence, std::chrono::milliseconds bound = kSettleBound);

    // Waits until the last state some device reported passes `accept` (called under the
    // session's lock, on this thread). False on timeout.
    bool WaitForSnapshot(const std::function<bool(const DeviceSnapshot&)>& accept,
                         std::chrono::milliseconds bound = kSettleBound);

    // The visible mouse entry (kind 2): the selected one first. nullopt when none.
    std::optional<int> MouseEntry();
    std::shared_ptr<CTavrenixMouseDevice> MouseDevice(int entry);

    // Runs fn() on the loop's thread (where the manager lives) and returns its result.
    template <class Fn>
    auto OnLoop(Fn fn) -> std::invoke_result_t<Fn&> {
        using R = std::invoke_result_t<Fn&>;
        if constexpr (std::is_void_v<R>) {
            loop_.PostAndWait([&] { fn(); });
        } else {
            std::optional<R> result;
            loop_.PostAndWait([&] { result.emplace(fn()); });
            return result ? std::move(*result) : R{};
        }
    }

    CDeviceManager& Manager() { return *manager_; }
    EventLoop& Loop() { return loop_; }
    emu::EmulatedHidBus* DemoBus() const { return demoBus_.get(); }

    // Events recorded since the session started, from `from` on (by sequence number).
    std::vector<SessionEvent> EventsFrom(std::size_t from);
    std::size_t EventCount();
    // Called (on the loop thread, outside the session's lock) after each recorded event.
    void SetEventHook(std::function<void()> hook);

    // IDeviceManagerObserver (loop thread)
    void OnManagerEvent(const DeviceManagerEvent& event) override;
    void OnDeviceState(int entry, const DeviceSnapshot& snapshot) override;

private:
    void Record(SessionEvent e);
    bool SettledLocked() const;
    void UpdatePending(const DeviceManagerEvent& event);

    std::shared_ptr<IHidBackend> backend_;
    std::shared_ptr<emu::EmulatedHidBus> demoBus_;
    bool useUdev_ = false;
    HeadlessEventLoop loop_;
    std::unique_ptr<CDeviceManager> manager_;
    int busListener_ = -1;
    bool started_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool activated_ = false;
    std::set<int> pending_;          // entries with a synchronisation still to come
    std::set<int> visibleUnsynced_;  // visible entries not synchronised yet
    std::map<int, int> syncCount_;
    std::map<int, std::string> lastState_;
    std::map<int, DeviceSnapshot> lastSnapshot_;
    std::vector<SessionEvent> events_;
    std::size_t nextSequence_ = 0;
    std::size_t lastChangeSequence_ = 0;  // sequence + 1 of the last arrival or removal
    std::function<void()> hook_;
};

// One line of the state watch shows for a mouse: profile, active stage and shown DPI values.
std::string StateSummary(const DeviceSnapshot& snapshot);

}  // namespace q417::cli
