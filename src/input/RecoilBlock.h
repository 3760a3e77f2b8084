#pragma once
// The recoil block a mouse keeps in its recoil memory and writing it. The layout is that of the
// macro block (MacroBlock.h) with one record per gun, in gun order:
//   0x55AA, total, 4, ten zero bytes, four u16 offsets (the first record at 24), then per gun its
//   event count (u16), two zero bytes and its events of 4 bytes.
// Total = 40 + 4 x (sum of the event counts); four full guns give 2920 bytes.
#include <cstdint>
#include <stop_token>
#include <vector>

#include "input/RecoilSequence.h"
#include "transport/CReportChannel.h"
#include "transport/Commands.h"

namespace q417 {

inline constexpr std::size_t kRecoilBlockHeaderSize = 16 + 2 * kRecoilGunCount;  // 24
inline constexpr std::size_t kFullRecoilBlockSize =
    kRecoilBlockHeaderSize + kRecoilGunCount * (4 + kEncodedEventSize * kMaxRecoilEvents);  // 2920

// The block of the four guns; a gun with more than 180 events contributes its first 180, so the
// block always fits its 16-bit length.
std::vector<uint8_t> BuildRecoilBlock(const RecoilSet& guns);

// Sends the block of the four guns with CmdWriteRecoil (56-byte frames) between CmdBegin and
// CmdEnd. Nothing is sent while the channel is closed; through the receiver (wireless) the link is
// checked first and before every command, and a failed check stops the write. The device
// information block is read before the transaction, as a liveness check.
// Returns kResultOk, 0 (channel closed, link down or lost), kResultCut (stop requested before the
// transaction began, nothing sent, or during the block: the frame in flight completed, then
// CmdEnd) or the first failing command's result.
// progress receives (frames done, frames total) after each frame of the block.
int WriteRecoil(CReportChannel& channel, bool wireless, const RecoilSet& guns,
                const ChunkProgress& progress = {}, std::stop_token stop = {});

}  // namespace q417
