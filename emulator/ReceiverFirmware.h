#pragma once
// Firmware model of a wireless receiver paired with one device. It relays command frames over
// the radio link to the paired device's firmware and signs every reply with the CRC-16 over bytes
// 3..31. While the link is down (device off, out of range, or not plugged in anywhere the radio
// reaches) it refuses every command but the link query with code 0xAA.
#include <cstdint>
#include <memory>

#include "emulator/DeviceFirmware.h"

namespace q417::emu {

class ReceiverFirmware {
public:
    ReceiverFirmware(uint16_t productId, bool linkUp, std::shared_ptr<DeviceFirmware> paired)
        : productId_(productId), linkUp_(linkUp), paired_(std::move(paired)) {}

    // One frame written to the receiver's vendor collection. Requests carry the sum checksum,
    // except the lighting stream (0x12), which carries the CRC instead.
    FrameOutcome HandleFrame(const Frame& request);

    void SetLinkUp(bool up) { linkUp_ = up; }
    bool LinkUp() const { return linkUp_ && paired_ != nullptr; }
    uint16_t ProductId() const { return productId_; }
    const std::shared_ptr<DeviceFirmware>& Paired() const { return paired_; }

private:
    uint16_t productId_;
    bool linkUp_;
    std::shared_ptr<DeviceFirmware> paired_;
};

}  // namespace q417::emu
