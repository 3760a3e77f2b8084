#pragma once
// Firmware model of a wireless receiver paired with one mouse. It relays command frames over the
// radio link to the mouse and signs every reply with the CRC-16 over bytes 3..31. While the link
// is down (mouse off or out of range) it refuses every command but the link query with code 0xAA.
#include <cstdint>

#include "emulator/MouseFirmware.h"

namespace q417::emu {

class ReceiverFirmware {
public:
    ReceiverFirmware(uint16_t productId, bool linkUp) : productId_(productId), linkUp_(linkUp) {}

    // One frame written to the receiver's vendor collection. Requests carry the sum checksum,
    // except the lighting stream (0x12), which carries the CRC instead.
    FrameOutcome HandleFrame(const Frame& request);

    void SetLinkUp(bool up) { linkUp_ = up; }
    bool LinkUp() const { return linkUp_; }
    uint16_t ProductId() const { return productId_; }
    MouseFirmware& Mouse() { return mouse_; }

private:
    uint16_t productId_;
    bool linkUp_;
    MouseFirmware mouse_;
};

}  // namespace q417::emu
