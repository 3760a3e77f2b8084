// The bus's shorthands for looking into a mouse's memory (tests and the demo's views).
#include <algorithm>

#include "emulator/EmulatedHidBus.h"

namespace q417::emu {

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

}  // namespace q417::emu
