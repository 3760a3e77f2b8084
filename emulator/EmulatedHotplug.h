#pragma once
// The emulated bus playing a live udev monitor. Each source it opens turns readable when an event
// is pending and hands out one Add or Remove event per path for every plug and unplug, as udev
// gives one per hidraw node. The bus feeds it from its change listeners, so every change the
// bus makes (also an unplug in the middle of a transfer) is announced.
//
// Tests use it to lose events (a receive-buffer overrun), inject events (the "events were
// dropped, rescan" one) and kill the monitor while it runs: every open source hangs up, as a
// monitor whose socket died, and no new one opens until the monitor is turned on again.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/HotplugMonitor.h"

namespace q417::emu {

class EmulatedHotplug {
public:
    EmulatedHotplug() = default;
    EmulatedHotplug(const EmulatedHotplug&) = delete;
    EmulatedHotplug& operator=(const EmulatedHotplug&) = delete;

    // Off: Open fails (the bus without its wake-up hook). Turning it on again after Kill allows
    // new sources.
    void SetAvailable(bool available);
    std::unique_ptr<IHotplugSource> Open(std::string& error);

    // Compares the bus's paths now with the last ones seen and queues the differences. `paths`
    // is called under this object's lock, so concurrent changes are announced in order.
    void Refresh(const std::function<std::vector<std::string>()>& paths);

    void Inject(const HotplugEvent& event);
    void SetDropping(bool dropping);
    void Kill();
    // Sources opened and neither closed nor killed.
    std::size_t LiveSources() const;

private:
    struct Channel;
    class Source;
    void PushLocked(const HotplugEvent& event);

    mutable std::mutex mutex_;
    bool available_ = false;
    bool dropping_ = false;
    std::vector<std::string> known_;
    std::vector<std::weak_ptr<Channel>> channels_;
};

}  // namespace q417::emu
