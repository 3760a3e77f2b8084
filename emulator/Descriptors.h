#pragma once
// HID report descriptors of the emulated devices, byte for byte as the devices carry them, and
// the interface/collection layout the bus derives its paths and report routing from.
#include <cstdint>
#include <span>

namespace q417::emu {

enum class CollectionRole : uint8_t {
    Other,         // mouse, keyboard, system control ...: present, but quiet
    Command,       // vendor collection 0xFF1C/0x0092 with the 64-byte command reports
    Notification,  // Consumer Control 0x000C/0x0001 carrying the device's notifications
};

// One top-level collection, in descriptor order. Report lengths include the report-ID byte (the
// leading 0 of unnumbered reports); 0 when there is no such report.
struct CollectionLayout {
    CollectionRole role = CollectionRole::Other;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    uint8_t inputReportId = 0;
    uint16_t inputBytes = 0;
    uint8_t outputReportId = 0;
    uint16_t outputBytes = 0;
};

struct InterfaceLayout {
    uint8_t number = 0;
    std::span<const uint8_t> descriptor;
    std::span<const CollectionLayout> collections;
};

struct DeviceLayout {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0;  // bcdDevice
    std::span<const InterfaceLayout> interfaces;
    bool Composite() const { return interfaces.size() > 1; }
};

// The wired mouse 0x7101: interface 0 (mouse, keyboard, system control, consumer control at
// col04, vendor at col05) and interface 1 (a boot keyboard with unnumbered reports).
const DeviceLayout& WiredMouseLayout();
// Receiver 0x7102: interface 0 (vendor at col05), interface 1 (consumer control at col03).
const DeviceLayout& Receiver7102Layout();
// Receiver 0x7103: a single interface 0 (consumer control at col04, vendor at col05).
const DeviceLayout& Receiver7103Layout();

// Report IDs and sizes of the two collections the host uses.
inline constexpr uint8_t kVendorReportId = 4;
inline constexpr uint16_t kVendorReportBytes = 64;
inline constexpr uint16_t kConsumerUsageMax = 0x11FF;

}  // namespace q417::emu
