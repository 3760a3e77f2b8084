#pragma once
// What every emulated device's firmware offers the connections that reach it (its cable, or a
// receiver's radio): it interprets command frames, takes output reports sent to its other
// collections, and raises notifications when the user presses one of its buttons. Replies are
// signed by the connection (sum on a cable, CRC on a receiver), not by the firmware, and the
// firmware's memory lives as long as the physical device does, whatever is plugged in.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "transport/FrameChecksum.h"

namespace q417::emu {

inline constexpr uint8_t kStatusOk = 0x00;
inline constexpr uint8_t kStatusBusy = 0xFE;
inline constexpr uint8_t kStatusFailed = 0xFF;
inline constexpr uint8_t kCommandReportId = 4;

class DeviceFirmware {
public:
    virtual ~DeviceFirmware() = default;

    // A short name of the device kind ("mouse").
    virtual std::string_view Kind() const = 0;

    // Interprets one request frame whose checksum has already been checked. The reply has byte 0
    // and bytes 3-63 filled; bytes 1-2 belong to the connection. Returns the status in byte 7.
    virtual uint8_t Execute(const Frame& request, Frame& reply) = 0;

    // An output report written to one of the device's collections other than the vendor one
    // (interface and collection index in descriptor order). Most devices ignore them.
    virtual void OutputReport(std::size_t /*interfaceIndex*/, std::size_t /*collectionIndex*/,
                              std::span<const uint8_t> /*report*/) {}

    // Back to the factory state.
    virtual void FactoryReset() = 0;

    // The device's own buttons, by name, and what a press does: the firmware changes its memory
    // and returns the notification code it announces (nullopt: nothing happened).
    virtual std::vector<std::string> Buttons() const { return {}; }
    virtual std::optional<uint16_t> PressButton(std::string_view /*button*/) {
        return std::nullopt;
    }
};

// What the vendor collection's endpoint made of one frame.
struct FrameOutcome {
    bool replied = false;
    Frame reply{};
    uint8_t status = 0;
    bool refused = false;
    bool crc = false;
};

// A device on its own cable: checks the sum checksum and signs its replies with it.
FrameOutcome HandleCableFrame(DeviceFirmware& firmware, const Frame& request);

// A reply that only echoes the request's bytes 3-6 with the given status.
Frame EchoReply(const Frame& request, uint8_t status);

}  // namespace q417::emu
