#include "transport/Commands.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/Trace.h"

namespace q417 {
namespace {

enum class LockKind { Command, Light, None };

// Frame bytes 5-6 hold 16 bits: the last byte of a transfer must lie at or below 0xFFFF.
constexpr uint64_t kAddressSpace = 0x10000;

struct ChunkedCommand {
    uint8_t code = 0;
    uint64_t start = 0;  // device address of the transfer's first byte
    std::size_t total = 0;
    std::size_t chunk = kMaxFrameData;
    LockKind lock = LockKind::Command;
    bool withCrc = false;
    bool dropWhileBusy = false;
    std::stop_token stop;  // checked before every frame
};

Frame BuildFrame(uint8_t code, uint8_t byte4, uint16_t offset, std::span<const uint8_t> data) {
    Frame frame{};
    frame[0] = kReportId;
    frame[3] = code;
    frame[4] = byte4;
    frame[5] = static_cast<uint8_t>(offset & 0xFF);
    frame[6] = static_cast<uint8_t>(offset >> 8);
    frame[7] = 0;
    std::copy_n(data.begin(), std::min(data.size(), kMaxFrameData), frame.begin() + 8);
    StoreSumChecksum(frame);
    return frame;
}

int StatusResult(const Frame& reply) {
    if (reply[7] == kStatusFailFF) {
        return kResultStatusFF;
    }
    if (reply[7] == kStatusFailFE) {
        return kResultStatusFE;
    }
    return kResultOk;
}

int RunExchange(CReportChannel& channel, LockKind lock, bool withCrc, const Frame& request,
                Frame& reply) {
    auto exchange = [&] {
        return withCrc ? channel.ExchangeWithCrc(request, reply) : channel.Exchange(request, reply);
    };
    switch (lock) {
        case LockKind::Command: {
            std::lock_guard guard(channel.CommandLock());
            return exchange();
        }
        case LockKind::Light: {
            std::lock_guard guard(channel.LightLock());
            return exchange();
        }
        case LockKind::None:
            break;
    }
    return exchange();
}

// Runs a chunked read (dest) or write (src). Sizes and the address range are checked before
// anything is sent; chunks already transferred before a failure stay transferred.
int RunChunked(CReportChannel& channel, const ChunkedCommand& cmd, std::span<const uint8_t> src,
               std::span<uint8_t> dest, bool isWrite, const ChunkProgress& progress) {
    if (cmd.start + cmd.total > kAddressSpace) {
        return kResultBadArgument;
    }
    if (isWrite ? src.size() < cmd.total : dest.size() < cmd.total) {
        return kResultBadArgument;
    }
    const std::size_t chunk = std::clamp<std::size_t>(cmd.chunk, 1, kMaxFrameData);
    const std::size_t frames = (cmd.total + chunk - 1) / chunk;
    std::size_t done = 0;
    for (std::size_t offset = 0; offset < cmd.total; offset += chunk) {
        if (cmd.stop.stop_requested()) {
            return kResultCut;
        }
        const std::size_t n = std::min(chunk, cmd.total - offset);
        if (cmd.dropWhileBusy && channel.IsBusy()) {
            // Live colours are superseded by the next frame anyway; never queue behind a command.
            Trace("放弃灯光数据");
        } else {
            const auto address = static_cast<uint16_t>(cmd.start + offset);
            const Frame request =
                BuildFrame(cmd.code, static_cast<uint8_t>(n), address,
                           isWrite ? src.subspan(offset, n) : std::span<const uint8_t>{});
            Frame reply{};
            const int result = RunExchange(channel, cmd.lock, cmd.withCrc, request, reply);
            if (result != kResultOk) {
                return result;
            }
            const int status = StatusResult(reply);
            if (status != kResultOk) {
                return status;
            }
            if (!isWrite) {
                std::copy_n(reply.begin() + 8, n,
                            dest.begin() + static_cast<std::ptrdiff_t>(offset));
            }
        }
        ++done;
        if (progress) {
            progress(done, frames);
        }
    }
    return kResultOk;
}

int ChunkedRead(CReportChannel& channel, uint8_t code, uint64_t start, std::size_t total,
                std::span<uint8_t> dest) {
    ChunkedCommand cmd;
    cmd.code = code;
    cmd.start = start;
    cmd.total = total;
    cmd.chunk = channel.ChunkSize();
    return RunChunked(channel, cmd, {}, dest, false, {});
}

int ChunkedWrite(CReportChannel& channel, ChunkedCommand cmd, std::span<const uint8_t> src,
                 const ChunkProgress& progress) {
    return RunChunked(channel, cmd, src, {}, true, progress);
}

int SingleFrame(CReportChannel& channel, uint8_t code, Frame& reply) {
    const Frame request = BuildFrame(code, 0, 0, {});
    std::lock_guard guard(channel.CommandLock());
    return channel.Exchange(request, reply);
}

int SingleFrameStatus(CReportChannel& channel, uint8_t code) {
    Frame reply{};
    const int result = SingleFrame(channel, code, reply);
    return result == kResultOk ? StatusResult(reply) : result;
}

int WriteKeyTable(CReportChannel& channel, uint8_t code, std::span<const uint8_t> src, int bank,
                  const ChunkProgress& progress, std::stop_token stop = {}) {
    if (bank != 0) {
        return kResultBadArgument;
    }
    ChunkedCommand cmd;
    cmd.code = code;
    cmd.start = 0;  // bank 0 × 512
    cmd.total = channel.BlockSize();
    cmd.chunk = channel.ChunkSize();
    cmd.stop = std::move(stop);
    return ChunkedWrite(channel, cmd, src, progress);
}

}  // namespace

int CmdBegin(CReportChannel& channel) {
    return SingleFrameStatus(channel, kCmdBegin);
}

int CmdEnd(CReportChannel& channel) {
    std::this_thread::sleep_for(channel.Pacing().endDelay);
    return SingleFrameStatus(channel, kCmdEnd);
}

int CmdEnableLightControl(CReportChannel& channel) {
    return SingleFrameStatus(channel, kCmdEnableLightControl);
}

int CmdReadStatus(CReportChannel& channel, std::span<uint8_t> dest, uint8_t length,
                  uint16_t offset) {
    const std::size_t count = std::min<std::size_t>(length, kMaxFrameData);
    if (dest.size() < count) {
        return kResultBadArgument;
    }
    const Frame request = BuildFrame(kCmdReadStatus, length, offset, {});
    Frame reply{};
    int result = 0;
    {
        std::lock_guard guard(channel.CommandLock());
        result = channel.Exchange(request, reply);
    }
    if (result != kResultOk) {
        return result;
    }
    std::copy_n(reply.begin() + 8, count, dest.begin());
    return kResultOk;
}

bool CmdQueryLink(CReportChannel& channel) {
    if (!channel.UseReceiver()) {
        return true;
    }
    Frame reply{};
    const int result = SingleFrame(channel, kCmdQueryLink, reply);
    return result == kResultOk && reply[8] == 0xFF && reply[7] != kStatusFailFF &&
           reply[7] != kStatusFailFE;
}

int CmdReadInfo(CReportChannel& channel, std::span<uint8_t, kInfoBlockSize> dest) {
    return ChunkedRead(channel, kCmdReadInfo, 0, kInfoBlockSize, dest);
}

int CmdReadMemory(CReportChannel& channel, std::span<uint8_t> dest, uint16_t base) {
    return ChunkedRead(channel, kCmdReadMemory, base, dest.size(), dest);
}

int CmdReadKeyTable(CReportChannel& channel, std::span<uint8_t> dest) {
    return ChunkedRead(channel, kCmdReadKeyTable, 0, channel.BlockSize(), dest);
}

int CmdReadKeyTableBank(CReportChannel& channel, std::span<uint8_t> dest, int bank) {
    if (bank != 0) {
        return kResultBadArgument;
    }
    return ChunkedRead(channel, kCmdReadKeyTableBank, 0, channel.BlockSize(), dest);
}

int CmdReadPage(CReportChannel& channel, std::span<uint8_t> dest, uint16_t page,
                uint16_t pageSize) {
    const uint64_t start = uint64_t{page} * pageSize;
    return ChunkedRead(channel, kCmdReadPage, start, dest.size(), dest);
}

int CmdReadKeyAttributes(CReportChannel& channel, std::span<uint8_t> dest) {
    return ChunkedRead(channel, kCmdReadKeyAttributes, 0, channel.BlockSize() / 3u, dest);
}

int CmdWriteMemory(CReportChannel& channel, std::span<const uint8_t> src, uint16_t base,
                   const ChunkProgress& progress) {
    ChunkedCommand cmd;
    cmd.code = kCmdWriteMemory;
    cmd.start = base;
    cmd.total = src.size();
    cmd.chunk = channel.ChunkSize();
    return ChunkedWrite(channel, cmd, src, progress);
}

int CmdWriteKeyTable(CReportChannel& channel, std::span<const uint8_t> src, int bank,
                     const ChunkProgress& progress, std::stop_token stop) {
    return WriteKeyTable(channel, kCmdWriteKeyTable, src, bank, progress, std::move(stop));
}

int CmdWriteKeyTable2(CReportChannel& channel, std::span<const uint8_t> src, int bank,
                      const ChunkProgress& progress) {
    return WriteKeyTable(channel, kCmdWriteKeyTable2, src, bank, progress);
}

int CmdWritePage(CReportChannel& channel, std::span<const uint8_t> src, uint16_t page,
                 uint16_t pageSize, const ChunkProgress& progress) {
    ChunkedCommand cmd;
    cmd.code = kCmdWritePage;
    cmd.start = uint64_t{page} * pageSize;
    cmd.total = src.size();
    cmd.chunk = channel.ChunkSize();
    cmd.lock = LockKind::Light;
    return ChunkedWrite(channel, cmd, src, progress);
}

int CmdStreamLight(CReportChannel& channel, std::span<const uint8_t> src) {
    ChunkedCommand cmd;
    cmd.code = kCmdStreamLight;
    cmd.total = src.size();
    cmd.chunk = channel.ChunkSize();
    cmd.lock = LockKind::Light;
    cmd.withCrc = true;
    cmd.dropWhileBusy = true;
    return ChunkedWrite(channel, cmd, src, {});
}

int CmdWriteMacros(CReportChannel& channel, std::span<const uint8_t> src,
                   const ChunkProgress& progress, std::stop_token stop) {
    ChunkedCommand cmd;
    cmd.code = kCmdWriteMacros;
    cmd.total = src.size();
    cmd.chunk = channel.ChunkSize();
    cmd.stop = std::move(stop);
    return ChunkedWrite(channel, cmd, src, progress);
}

int CmdWriteRecoil(CReportChannel& channel, std::span<const uint8_t> src,
                   const ChunkProgress& progress, std::stop_token stop) {
    ChunkedCommand cmd;
    cmd.code = kCmdWriteRecoil;
    cmd.stop = std::move(stop);
    cmd.total = src.size();
    cmd.chunk = kMaxFrameData;  // whatever the connection
    cmd.lock = LockKind::None;  // the channel's ioLock alone keeps each exchange whole
    return ChunkedWrite(channel, cmd, src, progress);
}

CmdTransaction::CmdTransaction(CReportChannel& channel)
    : channel_(channel), beginResult_(CmdBegin(channel)), begun_(beginResult_ == kResultOk) {}

CmdTransaction::~CmdTransaction() {
    if (begun_ && !ended_) {
        (void)CmdEnd(channel_);
    }
}

int CmdTransaction::End() {
    if (!begun_) {
        return beginResult_;
    }
    if (ended_) {
        return kResultOk;
    }
    ended_ = true;
    return CmdEnd(channel_);
}

}  // namespace q417
