#include "emulator/DemoBus.h"

namespace q417::emu {

std::shared_ptr<EmulatedHidBus> MakeDemoBus() {
    auto bus = std::make_shared<EmulatedHidBus>();
    bus->PlugWiredMouse();
    bus->PlugReceiver(kReceiverProductId, true);
    return bus;
}

}  // namespace q417::emu
