#include "emulator/ReceiverFirmware.h"

#include <algorithm>

namespace q417::emu {

FrameOutcome ReceiverFirmware::HandleFrame(const Frame& request) {
    FrameOutcome out;
    out.replied = true;
    const uint8_t code = request[3];
    // The lighting stream is the one request the host signs with the CRC instead of the sum.
    out.crc = code == cmd::kStreamLight;
    const bool intact = out.crc ? FrameCrcMatches(request)
                                : SumChecksum(request) == (request[1] | (request[2] << 8));

    out.reply.fill(0);
    out.reply[0] = kCommandReportId;
    std::copy_n(request.begin() + 3, 4, out.reply.begin() + 3);
    if (!intact) {
        out.reply[7] = kStatusFailed;
        out.refused = true;
    } else if (code == cmd::kQueryLink) {
        // Answered by the receiver itself: is the mouse on the other end of the radio?
        out.reply[8] = linkUp_ ? 0xFF : 0x00;
    } else if (!linkUp_) {
        out.reply[3] = cmd::kQueryLink;
        out.refused = true;
    } else {
        mouse_.Execute(request, out.reply);
    }
    out.status = out.reply[7];
    StoreFrameCrc(out.reply);
    return out;
}

}  // namespace q417::emu
