#include "emulator/DeviceFirmware.h"

#include <algorithm>

namespace q417::emu {

Frame EchoReply(const Frame& request, uint8_t status) {
    Frame reply{};
    reply[0] = kCommandReportId;
    std::copy_n(request.begin() + 3, 4, reply.begin() + 3);
    reply[7] = status;
    return reply;
}

FrameOutcome HandleCableFrame(DeviceFirmware& firmware, const Frame& request) {
    FrameOutcome out;
    out.replied = true;
    const auto sent = static_cast<uint16_t>(request[1] | (request[2] << 8));
    if (sent != SumChecksum(request)) {
        out.reply = EchoReply(request, kStatusFailed);
        out.refused = true;
    } else {
        firmware.Execute(request, out.reply);
    }
    out.status = out.reply[7];
    StoreSumChecksum(out.reply);
    return out;
}

}  // namespace q417::emu
