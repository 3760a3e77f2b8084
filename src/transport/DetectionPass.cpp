#include "transport/DetectionPass.h"

#include "platform/Trace.h"
#include "transport/HidPath.h"

namespace q417 {

CDetectionPass::CDetectionPass(std::shared_ptr<IHidBackend> backend) : probe_(std::move(backend)) {}

DetectionPassResult CDetectionPass::Run(CInterfaceSlotList& slots, std::stop_token stop) {
    DetectionPassResult result;
    if (!probe_.Enumerate()) {
        return result;
    }
    result.enumerated = true;
    while (std::optional<std::string> path = probe_.NextPath()) {
        result.presentPaths.push_back(*path);
    }
    probe_.FreePaths();
    rejected_.ForgetAbsent(result.presentPaths);

    for (const std::string& path : result.presentPaths) {
        if (stop.stop_requested()) {
            break;
        }
        DeviceIdentity probe;
        probe.vendorId = VendorFromPath(path);
        probe.productId = ProductFromPath(path);
        probe.interfaceNumber = InterfaceFromPath(path);
        probe.collectionNumber = CollectionFromPath(path);
        if (!slots.MatchPath(probe)) {
            continue;
        }
        if (rejected_.Contains(path)) {
            ++result.skippedRejected;
            continue;
        }
        if (!probe_.Open(path, true, false, true, false)) {
            result.openFailures.push_back(
                {path, probe_.LastOpenError(), probe_.LastOpenErrorText()});
            continue;
        }
        const HidAttributes attributes = probe_.Attributes();
        const HidCaps caps = probe_.Caps();
        probe_.Close();

        probe.vendorId = attributes.vendorId;
        probe.productId = attributes.productId;
        probe.usagePage = caps.usagePage;
        probe.usage = caps.usage;
        probe.path = path;
        std::size_t slot = 0;
        if (slots.MatchOpened(probe, &slot)) {
            result.takenSlots.push_back(slot);
        } else if (!slots.HasRowFor(probe)) {
            // No row takes this interface, whatever the slots: do not open it again every pass
            // while this device instance lasts.
            rejected_.Remember(path);
            result.rejectedPaths.push_back(path);
            if (TraceEnabled()) {
                Trace("detection: " + path + " refused by the second stage");
            }
        }
    }
    return result;
}

std::string NodeFromPath(const std::string& path) {
    const auto last = path.rfind('#');
    if (last == std::string::npos || last + 1 >= path.size() || path[last + 1] != '/') {
        return {};
    }
    return path.substr(last + 1);
}

}  // namespace q417
