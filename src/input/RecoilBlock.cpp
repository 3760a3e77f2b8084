#include "input/RecoilBlock.h"

#include <algorithm>
#include <array>
#include <span>

#include "input/MacroBlock.h"
#include "transport/GuardedWrite.h"

namespace q417 {

std::vector<uint8_t> BuildRecoilBlock(const RecoilSet& guns) {
    std::array<std::vector<MacroEvent>, kRecoilGunCount> capped;
    for (std::size_t g = 0; g < capped.size(); ++g) {
        std::size_t n = std::min(guns[g].size(), kMaxRecoilEvents);
        capped[g].assign(guns[g].begin(), guns[g].begin() + static_cast<std::ptrdiff_t>(n));
    }
    return BuildMacroBlock(std::span<const std::vector<MacroEvent>>(capped));
}

int WriteRecoil(CReportChannel& channel, bool wireless, const RecoilSet& guns,
                const ChunkProgress& progress, std::stop_token stop) {
    if (stop.stop_requested()) {
        return kResultCut;
    }
    if (channel.IsOpen() == 0 || (wireless && !CmdQueryLink(channel))) {
        return kResultNoReply;
    }
    std::array<uint8_t, kInfoBlockSize> info{};
    int result = CmdReadInfo(channel, info);
    if (result != kResultOk) {
        return result;
    }
    std::vector<uint8_t> block = BuildRecoilBlock(guns);
    if (stop.stop_requested()) {
        return kResultCut;
    }
    GuardedWrite write(channel, wireless);
    if (!write.Ok()) {
        return write.Result();
    }
    write.Step([&] { return CmdWriteRecoil(channel, block, progress, stop); });
    return write.End();
}

}  // namespace q417
