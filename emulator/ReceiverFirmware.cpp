#include "emulator/ReceiverFirmware.h"

#include <algorithm>

namespace q417::emu {
namespace {

constexpr uint8_t kStreamLightCode = 0x12;
constexpr uint8_t kQueryLinkCode = 0xAA;

}  // namespace

FrameOutcome ReceiverFirmware::HandleFrame(const Frame& request) {
    FrameOutcome out;
    out.replied = true;
    const uint8_t code = request[3];
    // The lighting stream is the one request the host signs with the CRC instead of the sum.
    out.crc = code == kStreamLightCode;
    const bool intact = out.crc ? FrameCrcMatches(request)
                                : SumChecksum(request) == (request[1] | (request[2] << 8));

    out.reply = EchoReply(request, kStatusOk);
    if (!intact) {
        out.reply[7] = kStatusFailed;
        out.refused = true;
    } else if (code == kQueryLinkCode) {
        // Answered by the receiver itself: is the device on the other end of the radio?
        out.reply[8] = LinkUp() ? 0xFF : 0x00;
    } else if (!LinkUp()) {
        out.reply[3] = kQueryLinkCode;
        out.refused = true;
    } else {
        paired_->Execute(request, out.reply);
    }
    out.status = out.reply[7];
    StoreFrameCrc(out.reply);
    return out;
}

}  // namespace q417::emu
