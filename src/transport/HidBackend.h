#pragma once
// The platform side of HID access. A backend lists the HID interface paths present and opens one
// path (one top-level collection). Two backends exist: hidraw (the kernel's /dev/hidraw nodes) and
// the emulator's bus. CHidInterface sits on top and is the same for both.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "transport/HidTypes.h"

namespace q417 {

class IHotplugSource;

enum class HidIoStatus {
    Ok,         // transferred holds the byte count
    Timeout,    // nothing within the time-out; the transfer was cancelled
    Cancelled,  // CancelIo was called on this device object
    Error,      // the transfer failed (errno-like failure)
    Gone,       // the device was removed
};

struct HidIoResult {
    HidIoStatus status = HidIoStatus::Error;
    std::size_t transferred = 0;
};

inline constexpr uint32_t kHidInfinite = 0xFFFFFFFF;

enum class HidOpenError { None, NotFound, PermissionDenied, Busy, BadDescriptor, Other };

// One opened path. Read and Write may run at the same time from two threads; CancelIo may be
// called from any thread and makes a blocked Read/Write (and every later one on this object)
// return Cancelled at once: an object is never reused after it was cancelled.
class IHidDevice {
public:
    virtual ~IHidDevice() = default;
    virtual HidAttributes Attributes() const = 0;
    // The whole report descriptor of the interface the path belongs to.
    virtual std::span<const uint8_t> ReportDescriptor() const = 0;
    // Which top-level collection of that descriptor the path names (0-based, descriptor order).
    virtual std::size_t CollectionIndex() const = 0;
    // One input report of this collection. Numbered reports start with their ID; unnumbered
    // ones get a leading 0 byte, as on Windows.
    virtual HidIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) = 0;
    // One output report; byte 0 is the report ID (0 for unnumbered reports).
    virtual HidIoResult Write(std::span<const uint8_t> report, uint32_t timeoutMs) = 0;
    virtual void CancelIo() = 0;
};

struct HidOpenRequest {
    bool read = true;
    bool write = false;
    bool exclusive = false;
};

class IHidBackend {
public:
    virtual ~IHidBackend() = default;
    // Paths of every HID top-level collection present, in a stable order. False on failure.
    virtual bool EnumeratePaths(std::vector<std::string>& paths) = 0;
    virtual std::unique_ptr<IHidDevice> Open(const std::string& path, const HidOpenRequest& request,
                                             HidOpenError* error, std::string* errorText) = 0;
    virtual std::string Name() const = 0;
    // The backend's own hot-plug events, when it has any (the emulated bus playing a udev
    // monitor); null with the reason in `error` otherwise. hidraw's events come from udev
    // (OpenUdevHidrawSource), which the owner opens itself.
    virtual std::unique_ptr<IHotplugSource> OpenHotplugSource(std::string& error);
};

// The backend CHidInterface objects use unless given another one. Until set, it is the hidraw
// backend over /sys (or $Q417_SYSFS_ROOT) and /dev (or $Q417_DEV_ROOT).
std::shared_ptr<IHidBackend> DefaultHidBackend();
void SetDefaultHidBackend(std::shared_ptr<IHidBackend> backend);

}  // namespace q417
