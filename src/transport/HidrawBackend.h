#pragma once
// The Linux HID backend: walks <sysfs>/class/hidraw, parses each node's report descriptor and
// reports one path per top-level collection, written the way Windows names HID collections so
// the path parsers and the identification table work unchanged:
//
//   hidraw#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.000A#/dev/hidraw3
//
// "&mi_XX" appears only on composite USB devices, "&colXX" only when the node's descriptor has
// more than one top-level collection (numbered from 01 in descriptor order). The third part is
// the kernel's HID device instance, so a re-plugged device gets a new path even when the hidraw
// number is reused. Every open file of a hidraw node receives all input reports of the node;
// each opened collection keeps only the reports whose ID it owns.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transport/HidBackend.h"
#include "transport/HidTypes.h"

namespace q417 {

// One top-level collection of a hidraw node, as `q417ctl hid` shows it.
struct HidrawCollectionInfo {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    std::vector<uint8_t> reportIds[kHidReportTypeCount];  // empty: unnumbered reports
    uint16_t inputReportByteLength = 0;                   // with the ID byte, 0 when none
    uint16_t outputReportByteLength = 0;
    uint16_t featureReportByteLength = 0;
    std::string path;  // the path EnumeratePaths reports for this collection
};

// One /dev/hidrawN node with what sysfs says about it. Diagnostic listing: nodes whose
// descriptor does not parse are listed too (descriptorError says why, no collections).
struct HidrawNodeInfo {
    std::string nodeName;    // "hidraw3"
    std::string devicePath;  // "/dev/hidraw3" (under the device-node folder in use)
    std::string instance;    // kernel HID device instance, "0003:4A1D:7101.000A"
    std::string name;        // HID_NAME from uevent (may be empty)
    uint16_t busType = 0;    // 0x0003 USB, 0x0005 Bluetooth, 0x0018 I2C ...
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;               // bcdDevice of the USB device, 0 when unknown
    std::optional<uint32_t> interfaceNumber;  // USB bInterfaceNumber; absent for non-USB HID
    bool composite = false;                   // USB device with more than one interface
    std::size_t descriptorBytes = 0;
    std::string sysfsError;       // uevent unreadable or without HID_ID (node unusable)
    std::string descriptorError;  // empty when the descriptor parsed
    std::vector<HidrawCollectionInfo> collections;

    // From trying to open the device node (nothing is read or written).
    bool readable = false;
    bool writable = false;
    bool permissionDenied = false;  // an open failed with EACCES/EPERM
    std::string openError;          // errno text of the failed open, empty when both worked
};

class HidrawBackend : public IHidBackend {
public:
    // Roots from the environment: $Q417_SYSFS_ROOT or /sys, $Q417_DEV_ROOT or /dev.
    HidrawBackend();
    // Explicit roots (tests, diagnostics on fixture trees).
    HidrawBackend(std::string sysfsRoot, std::string devRoot);
    ~HidrawBackend() override;

    bool EnumeratePaths(std::vector<std::string>& paths) override;
    // Opens only paths this backend produces for a node present now; anything else is NotFound.
    std::unique_ptr<IHidDevice> Open(const std::string& path, const HidOpenRequest& request,
                                     HidOpenError* error, std::string* errorText) override;
    std::string Name() const override { return "hidraw"; }

    // Every hidraw node present, sorted by number, with open probes.
    std::vector<HidrawNodeInfo> ListNodes() const;

    const std::string& SysfsRoot() const { return sysfsRoot_; }
    const std::string& DevRoot() const { return devRoot_; }

private:
    struct EnumerationCache;

    std::string sysfsRoot_;
    std::string devRoot_;
    // Paths per node instance from earlier passes (detection enumerates every 100 ms).
    std::unique_ptr<EnumerationCache> cache_;
};

}  // namespace q417
