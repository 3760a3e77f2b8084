#pragma once
// The device manager's two fixed tables: which selector entry (option row) a device gets, found
// by its identity, and how its page is laid out (layout row, parallel to the option rows).
#include <array>
#include <cstdint>
#include <string_view>

namespace q417 {

struct DeviceOptionRow {
    std::string_view deviceName;  // also the device folder name
    int deviceIndex;              // element of the profile document's "Device" array
    std::uint16_t vendorId;
    std::uint16_t productId;
    int kind;
    int sub;
};

struct DeviceLayoutRow {
    int lightEntries;
    int keyButtons;
    bool battery;
    std::string_view pageLayout;
    std::string_view lightConfigName;
};

inline constexpr std::string_view kOptionEntryLayout = "XML\\CustomControlXML\\DeviceOption.xml";
inline constexpr std::string_view kOptionHeaderControl = "tab_header_device";
inline constexpr std::string_view kPowerContainer = "device_power_switch";
inline constexpr std::string_view kPowerIndicatorLayout =
    "XML\\CustomControlXML\\MpDevicePower.xml";

inline constexpr std::array<DeviceOptionRow, 5> kDeviceOptionRows{{
    {"mouse", 0, 0x4A1D, 0x7101, 2, 0},
    {"mouse", 0, 0x0000, 0x0000, 2, 0},
    {"keyboard", 0, 0x0000, 0x0000, 1, 0},
    {"MousePad", 2, 0x4A1D, 0x7201, 3, 0},
    {"HD", 3, 0x5B2E, 0x7301, 7, 0},
}};

inline constexpr std::array<DeviceLayoutRow, 5> kDeviceLayoutRows{{
    {15, 11, true, "XML\\DeviceXml\\mousedevice.xml", "zyrel_light"},
    {15, 11, true, "XML\\DeviceXml\\mousedevice1.xml", "zyrel_light"},
    {170, 170, false, "XML\\DeviceXml\\keyboarddevice.xml", "zyrel_light"},
    {15, 0, false, "XML\\DeviceXml\\mousepaddevice.xml", "zyrel_light"},
    {13, 0, false, "XML\\DeviceXml\\hs6533device.xml", "zyrel_light"},
}};

// The first option row with these values; -1 when none.
constexpr int FindOptionRow(std::uint16_t vendorId, std::uint16_t productId, int kind, int sub) {
    for (std::size_t i = 0; i < kDeviceOptionRows.size(); ++i) {
        const DeviceOptionRow& r = kDeviceOptionRows[i];
        if (r.vendorId == vendorId && r.productId == productId && r.kind == kind && r.sub == sub) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace q417
