#include "emulator/DemoBus.h"

namespace q417::emu {

std::shared_ptr<EmulatedHidBus> MakeDemoBus() {
    auto bus = std::make_shared<EmulatedHidBus>();
    // Plugging in the demo wakes detection at once, as udev does on a real machine.
    bus->SetHotplugMonitor(true);
    bus->PlugWiredMouse();
    bus->PlugReceiver(kReceiverProductId, true);
    return bus;
}

}  // namespace q417::emu
