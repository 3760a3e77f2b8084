// The manager's detection worker and the hot-plug monitor that drives it.
#include <string>

#include "devices/CDeviceManager.h"
#include "platform/Trace.h"
#include "transport/DetectionPass.h"
#include "transport/HotplugMonitor.h"

namespace q417 {

void CDeviceManager::StartHotplugMonitor() {
    CHotplugMonitor::SourceFactory source;
    if (options_.useUdev) {
        source = &OpenUdevHidrawSource;
    } else {
        source = [backend = options_.backend](std::string& error) {
            return backend->OpenHotplugSource(error);
        };
    }
    // Every event wakes a pass, whatever it says: the pass finds out what changed, and an event
    // without a node (the kernel dropped some) asks for exactly that rescan.
    hotplug_ = std::make_unique<CHotplugMonitor>(
        [this](const HotplugEvent&) { Wake(); }, std::move(source),
        [this](const std::string& reason) {
            // A dead monitor may have taken events with it: rescan now, then poll often.
            hotplugLive_ = false;
            Trace("hot-plug monitor ended (" + reason + "); detection polls every " +
                  std::to_string(options_.pollInterval.count()) + " ms again");
            Wake();
        });
    if (hotplug_->Start()) {
        hotplugLive_ = true;
        return;
    }
    Trace("hot-plug events unavailable (" + hotplug_->LastError() + "); detection polls every " +
          std::to_string(options_.pollInterval.count()) + " ms");
    hotplug_.reset();
}

std::chrono::milliseconds CDeviceManager::DetectionPeriod() const {
    return hotplugLive_.load() ? options_.safetyPollInterval : options_.pollInterval;
}

void CDeviceManager::DetectionLoop(std::stop_token stop) {
    CDetectionPass pass(options_.backend);
    bool firstPassDone = false;
    std::weak_ptr<bool> alive = alive_;
    while (!stop.stop_requested()) {
        // A failed enumeration is retried at the short period: the events that announced its
        // changes have been spent.
        bool retrySoon = false;
        if (slots_.AnySlotFree()) {
            DetectionPassResult result = pass.Run(slots_, stop);
            retrySoon = !result.enumerated;
            // A failed enumeration skips this pass's arrivals only; removals are still checked
            // and the next pass tries again.
            if (result.enumerated) {
                for (std::size_t slot : result.takenSlots) {
                    auto taken = slots_.Slot(slot);
                    std::string path = taken ? taken->path : std::string();
                    loop_.Post([this, alive, slot, path] {
                        if (alive.lock()) {
                            OnInterfaceArrived(slot, path);
                        }
                    });
                }
                if (!firstPassDone) {
                    firstPassDone = true;
                    loop_.Post([this, alive] {
                        if (alive.lock()) {
                            OnActivation();
                        }
                    });
                }
            }
        }
        for (std::size_t i = 0; i < slots_.Size() && !stop.stop_requested(); ++i) {
            auto slot = slots_.Slot(i);
            if (!slot || slot->connected == 0 || slot->path.empty()) {
                continue;
            }
            HidOpenError error = HidOpenError::None;
            auto probe = options_.backend->Open(slot->path, HidOpenRequest{false, false, false},
                                                &error, nullptr);
            if (probe) {
                continue;
            }
            std::string path = slot->path;
            slots_.Release(i);
            loop_.Post([this, alive, i, path] {
                if (alive.lock()) {
                    OnInterfaceRemoved(i, path);
                }
            });
        }
        detectionPasses_.fetch_add(1);
        // Read after the pass: a monitor that died during it has woken us, and the wait below
        // returns at once for the rescan before the short period takes over.
        wakeup_.WaitFor(retrySoon ? options_.pollInterval : DetectionPeriod(), stop);
    }
    Trace("抓取设备线程设定退出");
}

}  // namespace q417
