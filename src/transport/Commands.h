#pragma once
// The command set: one builder per command code. Each fills the 64-byte frame, splits longer
// transfers into chunks, takes the channel lock the command needs, runs the exchange and turns the
// reply into a result code (CommandResult.h). CmdQueryLink alone returns a bool.
//
// Addresses: bytes 5-6 of a frame hold only 16 bits, so a transfer whose start address plus length
// runs past 0x10000 would wrap onto other device memory; such a transfer is refused with
// kResultBadArgument before anything is sent. A destination or source span smaller than the
// transfer is refused the same way.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>

#include "transport/CReportChannel.h"
#include "transport/CommandResult.h"

namespace q417 {

enum CommandCode : uint8_t {
    kCmdBegin = 0x01,
    kCmdEnd = 0x02,
    kCmdReadInfo = 0x03,
    kCmdReadMemory = 0x05,
    kCmdWriteMemory = 0x06,
    kCmdReadKeyTable = 0x07,
    kCmdReadKeyTableBank = 0x08,
    kCmdWriteKeyTable = 0x09,
    kCmdReadPage = 0x0A,
    kCmdWritePage = 0x0B,
    kCmdStreamLight = 0x12,
    kCmdWriteMacros = 0x15,
    kCmdWriteRecoil = 0x17,
    kCmdReadStatus = 0x1A,
    kCmdReadKeyAttributes = 0x1B,
    kCmdEnableLightControl = 0x1C,
    kCmdWriteKeyTable2 = 0x27,
    kCmdQueryLink = 0xAA,
};

inline constexpr std::size_t kInfoBlockSize = 34;
inline constexpr std::size_t kMaxFrameData = 56;
inline constexpr uint8_t kStatusFailFF = 0xFF;
inline constexpr uint8_t kStatusFailFE = 0xFE;

// Called after each frame of a chunked write: (frames done, frames total).
using ChunkProgress = std::function<void(std::size_t, std::size_t)>;

// Single-frame commands.
int CmdBegin(CReportChannel& channel);
int CmdEnd(CReportChannel& channel);  // waits the channel's end delay (10 ms) first
int CmdEnableLightControl(CReportChannel& channel);
// One frame with byte 4 = length, bytes 5-6 = offset; copies min(length, 56) reply data bytes.
// The reply's status byte is not checked. dest must hold those bytes.
int CmdReadStatus(CReportChannel& channel, std::span<uint8_t> dest, uint8_t length,
                  uint16_t offset);
// True on the cable without traffic; through the receiver true only when the paired device
// answers that it is reachable.
bool CmdQueryLink(CReportChannel& channel);

// Chunked reads.
int CmdReadInfo(CReportChannel& channel, std::span<uint8_t, kInfoBlockSize> dest);
int CmdReadMemory(CReportChannel& channel, std::span<uint8_t> dest, uint16_t base);
// dest must hold blockSize bytes.
int CmdReadKeyTable(CReportChannel& channel, std::span<uint8_t> dest);
int CmdReadKeyTableBank(CReportChannel& channel, std::span<uint8_t> dest, int bank);
int CmdReadPage(CReportChannel& channel, std::span<uint8_t> dest, uint16_t page, uint16_t pageSize);
// dest must hold blockSize / 3 bytes (one per key).
int CmdReadKeyAttributes(CReportChannel& channel, std::span<uint8_t> dest);

// Chunked writes. The long ones (key table, macros, recoil) take the stop token of the operation
// that runs them: once a stop is requested no further frame is sent (the frame in flight
// completes) and they return kResultCut, so a stopping device never waits out a whole block.
int CmdWriteMemory(CReportChannel& channel, std::span<const uint8_t> src, uint16_t base,
                   const ChunkProgress& progress = {});
// src must hold blockSize bytes; only blockSize bytes are sent.
int CmdWriteKeyTable(CReportChannel& channel, std::span<const uint8_t> src, int bank,
                     const ChunkProgress& progress = {}, std::stop_token stop = {});
int CmdWriteKeyTable2(CReportChannel& channel, std::span<const uint8_t> src, int bank,
                      const ChunkProgress& progress = {});
int CmdWritePage(CReportChannel& channel, std::span<const uint8_t> src, uint16_t page,
                 uint16_t pageSize, const ChunkProgress& progress = {});
// Live colours; a chunk is dropped (and counted as sent) while another exchange is running.
int CmdStreamLight(CReportChannel& channel, std::span<const uint8_t> src);
int CmdWriteMacros(CReportChannel& channel, std::span<const uint8_t> src,
                   const ChunkProgress& progress = {}, std::stop_token stop = {});
// Always 56-byte frames; takes no builder lock.
int CmdWriteRecoil(CReportChannel& channel, std::span<const uint8_t> src,
                   const ChunkProgress& progress = {}, std::stop_token stop = {});

// Brackets a configuration sequence: sends CmdBegin on construction and, when that succeeded,
// CmdEnd when ended or destroyed, so a failing step never leaves the device inside a transaction.
//
//   CmdTransaction tx(channel);
//   if (!tx.Begun()) return tx.Result();
class CmdTransaction {
public:
    explicit CmdTransaction(CReportChannel& channel);
    ~CmdTransaction();
    CmdTransaction(const CmdTransaction&) = delete;
    CmdTransaction& operator=(const CmdTransaction&) = delete;

    bool Begun() const { return begun_; }
    // CmdBegin's result.
    int Result() const { return beginResult_; }
    // Sends CmdEnd now and returns its result; without a successful CmdBegin it returns Result(),
    // and after an earlier End() kResultOk.
    int End();

private:
    CReportChannel& channel_;
    int beginResult_;
    bool begun_;
    bool ended_ = false;
};

}  // namespace q417
