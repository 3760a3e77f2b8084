#pragma once
// Helpers shared by the emulator tests: finding a collection's path, building signed frames and
// running one raw write/read on an opened collection.
#include <algorithm>
#include <memory>
#include <string>

#include "emulator/EmulatedHidBus.h"
#include "transport/FrameChecksum.h"

namespace q417::emu::test {

inline std::string PathWith(EmulatedHidBus& bus, DeviceId id, const std::string& needle) {
    for (const std::string& p : bus.PathsOf(id)) {
        if (p.find(needle) != std::string::npos) {
            return p;
        }
    }
    return {};
}

inline std::string VendorPath(EmulatedHidBus& bus, DeviceId id) {
    return PathWith(bus, id, "&col05");
}

inline std::string ConsumerPath(EmulatedHidBus& bus, DeviceId id) {
    auto product = bus.ProductOf(id);
    return PathWith(bus, id, product == kReceiverProductId ? "&mi_01&col03" : "&col04");
}

inline std::unique_ptr<IHidDevice> OpenPath(EmulatedHidBus& bus, const std::string& path,
                                            bool write = true) {
    HidOpenError error = HidOpenError::Other;
    return bus.Open(path, HidOpenRequest{true, write, false}, &error, nullptr);
}

inline Frame MakeFrame(uint8_t code, uint8_t length = 0, uint16_t offset = 0,
                       std::span<const uint8_t> data = {}) {
    Frame f{};
    f[0] = 4;
    f[3] = code;
    f[4] = length;
    f[5] = static_cast<uint8_t>(offset & 0xFF);
    f[6] = static_cast<uint8_t>(offset >> 8);
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 56), f.begin() + 8);
    StoreSumChecksum(f);
    return f;
}

// Writes one frame and reads the next report; nullopt when either fails.
inline std::optional<Frame> Transact(IHidDevice& dev, const Frame& request,
                                     uint32_t readTimeoutMs = 1000) {
    if (dev.Write(request, 1000).status != HidIoStatus::Ok) {
        return std::nullopt;
    }
    Frame reply{};
    HidIoResult r = dev.Read(reply, readTimeoutMs);
    if (r.status != HidIoStatus::Ok || r.transferred != kFrameSize) {
        return std::nullopt;
    }
    return reply;
}

}  // namespace q417::emu::test
