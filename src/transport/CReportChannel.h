#pragma once
// One command path to a device: frames a 64-byte request, sends it on the cable interface (A) or
// the receiver interface (B), waits for the matching reply and maps transport failures to result
// codes. The command builders (Commands.h) sit on top of it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "transport/CHidInterface.h"
#include "transport/CommandResult.h"
#include "transport/FrameChecksum.h"
#include "transport/HidBackend.h"

namespace q417 {

inline constexpr uint8_t kReportId = 4;
inline constexpr uint16_t kMaxBlockSize = 512;
inline constexpr uint8_t kCableChunkSize = 56;
inline constexpr uint8_t kReceiverChunkSize = 24;
inline constexpr uint8_t kReceiverRefusal = 0xAA;

// Transfer time-outs in milliseconds.
inline constexpr uint32_t kCableWriteTimeoutMs = 1000;
inline constexpr uint32_t kCableReadTimeoutMs = 1000;
inline constexpr uint32_t kReceiverWriteTimeoutMs = 5000;
inline constexpr uint32_t kReceiverReadTimeoutMs = 500;
inline constexpr uint32_t kReceiverCrcWriteTimeoutMs = 500;

enum class Endpoint : int { Cable = 1, Receiver = 2 };

// Host-side pauses. The defaults are what the devices need; tests and fuzzing may shorten them.
struct ChannelPacing {
    std::chrono::milliseconds writePause{20};  // after each plain exchange's write
    std::chrono::milliseconds endDelay{10};    // before the transaction-end command
};

class CReportChannel {
public:
    explicit CReportChannel(std::shared_ptr<IHidBackend> backend = DefaultHidBackend());
    ~CReportChannel();
    CReportChannel(const CReportChannel&) = delete;
    CReportChannel& operator=(const CReportChannel&) = delete;

    // The device manager opens and closes these and then sets the open flag.
    CHidInterface& InterfaceA() { return interfaceA_; }  // cable
    CHidInterface& InterfaceB() { return interfaceB_; }  // receiver
    CHidInterface& SelectedInterface() { return UseReceiver() ? interfaceB_ : interfaceA_; }

    // Kind 1 (or anything but 2): cable, 56-byte chunks. Kind 2: receiver, 24-byte chunks.
    void SelectEndpoint(int kind);
    bool UseReceiver() const { return useReceiver_.load(); }
    uint8_t ChunkSize() const { return chunkSize_.load(); }

    // Stores size when it is at most 512; otherwise false and the block size is unchanged.
    bool SetBlockSize(uint16_t size);
    uint16_t BlockSize() const { return blockSize_.load(); }

    int IsOpen() const { return open_.load() ? 1 : 0; }
    void SetOpen(bool open) { open_.store(open); }

    // Read by the device's light worker; the channel itself ignores it.
    bool LightPaused() const { return lightPaused_.load(); }
    void SetLightPaused(bool paused) { lightPaused_.store(paused); }

    // True while at least one exchange is running on this channel.
    bool IsBusy() const { return busyCount_.load() > 0; }
    int ExchangesInFlight() const { return busyCount_.load(); }

    std::mutex& CommandLock() { return commandLock_; }
    std::mutex& LightLock() { return lightLock_; }

    // One plain exchange: frame the request (padded with zeros or cut to 64 bytes), write it,
    // pause, read up to two replies. reply receives the frame read (up to its size; the rest is
    // zeroed). Returns 1, 0, -1 or -101 (receiver refusal).
    int Exchange(std::span<const uint8_t> request, std::span<uint8_t> reply,
                 uint32_t* transferred = nullptr);
    // As Exchange, without the pause; on the receiver the request carries the CRC instead of the
    // sum and every reply's CRC is checked (-101 when wrong).
    int ExchangeWithCrc(std::span<const uint8_t> request, std::span<uint8_t> reply,
                        uint32_t* transferred = nullptr);

    static uint16_t Crc16(std::span<const uint8_t> data) { return q417::Crc16(data); }

    void SetPacing(const ChannelPacing& pacing);
    ChannelPacing Pacing() const;

private:
    // Reads one reply into frame (cleared first); true when a report was read.
    bool ReadReply(CHidInterface& hid, Frame& frame, uint32_t timeoutMs, uint32_t* transferred);

    CHidInterface interfaceA_;
    CHidInterface interfaceB_;

    std::atomic<uint16_t> blockSize_{kMaxBlockSize};
    std::atomic<int> busyCount_{0};
    std::atomic<bool> open_{false};
    std::atomic<bool> lightPaused_{false};
    std::atomic<bool> useReceiver_{false};
    std::atomic<uint8_t> chunkSize_{kReceiverChunkSize};
    std::atomic<int64_t> writePauseMs_{20};
    std::atomic<int64_t> endDelayMs_{10};

    std::mutex commandLock_;
    std::mutex lightLock_;
    // Held from an exchange's write through its reads, so no other exchange takes its reply.
    std::mutex ioLock_;
};

}  // namespace q417
