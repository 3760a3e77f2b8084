#pragma once
// The emulated HID bus: a backend whose devices are firmware models living in this process. Tests
// and the demo plug and unplug devices at run time, switch a receiver's radio link, press the
// devices' own buttons, raise notifications, inject transfer faults and look into the memory.
//
// The bus keeps physical devices apart from what is plugged in. A physical device (one mouse)
// has one firmware and one memory for the bus's lifetime; its cable and the receivers paired with
// it are only ways of reaching it. Unplugging the cable and plugging it in again, or moving from
// the cable to a receiver, finds the mouse as it was left.
//
// Every plug gets fresh kernel-like instance names (one per USB interface, "0003:4A1D:7101.0007"),
// so a re-plugged device shows new paths, as on a real machine. Paths have the form
//   emu#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.0007
// with "&mi_XX" only on composite devices and "&colXX" only on interfaces with more than one
// top-level collection (counted from 01 in descriptor order).
//
// Transfers behave like hidraw over a full-speed interrupt endpoint: every open of a collection
// gets its own copy of that collection's input reports (up to 64 waiting, newer ones are dropped
// when full); a write takes one report latency, and the firmware's reply becomes readable one
// latency after the write completed.
//
// Frames with a wrong checksum (sum on the cable, CRC for the receiver's lighting stream) are
// answered with status 0xFF and change nothing, so the host sees a failure instead of waiting out
// its time-out; the command log marks them as refused.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/MouseFirmware.h"
#include "transport/HidBackend.h"
#include "transport/HotplugMonitor.h"

namespace q417::emu {

class EmulatedHotplug;

// A plugged USB device (a cable or a receiver); ids are never reused.
using DeviceId = uint32_t;
inline constexpr DeviceId kNoDevice = 0;

// A physical device with its firmware and memory, whatever reaches it.
enum class FirmwareId : uint32_t { None = 0 };

inline constexpr uint16_t kEmuVendorId = 0x4A1D;
inline constexpr uint16_t kWiredMouseProductId = 0x7101;
inline constexpr uint16_t kReceiverProductId = 0x7102;
inline constexpr uint16_t kReceiver2ProductId = 0x7103;

enum class FaultKind : uint8_t {
    None,
    NoReply,            // the frame is taken, nothing comes back
    StaleReply,         // a reply with another command code is queued before the real one
    Status,             // the reply carries the given status (0xFE/0xFF); nothing is applied
    FailedWrite,        // Write returns Error; the firmware never sees the frame
    DelayedReply,       // the reply becomes readable delayMs later than usual
    UnplugMidTransfer,  // the device disappears when this frame is written (Write returns Gone)
    LinkDrop,           // receiver: the mouse goes out of range as this frame arrives
};

// A fault armed on one device. It lets skipFrames frames pass untouched and then hits the next
// count frames written to the vendor collection.
struct Fault {
    FaultKind kind = FaultKind::None;
    uint32_t skipFrames = 0;
    uint32_t count = 1;
    uint8_t status = 0xFE;  // Status
    uint32_t delayMs = 0;   // DelayedReply
};

// One frame written to a device's vendor collection, as the device saw it.
struct CommandLogEntry {
    uint8_t code = 0;      // byte 3
    uint8_t length = 0;    // byte 4
    uint16_t offset = 0;   // bytes 5-6
    uint8_t status = 0;    // status byte of the reply (0 when no reply was sent)
    bool refused = false;  // bad report ID, bad checksum/CRC, or refused by a receiver (0xAA)
    bool replied = false;  // a reply was queued
    bool crc = false;      // the request carried a CRC instead of the sum (receiver stream)
    FaultKind fault = FaultKind::None;
};

// Something the user can plug in: a device's cable or a receiver paired with it.
struct PlugOption {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool receiver = false;
    FirmwareId firmware = FirmwareId::None;  // what it reaches
};

// A plugged device as listed for the demo.
struct PluggedDevice {
    DeviceId id = kNoDevice;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool receiver = false;
    bool linkUp = false;  // receivers: the paired device answers over the radio
    FirmwareId firmware = FirmwareId::None;
};

class EmulatedHidBus : public IHidBackend {
public:
    EmulatedHidBus();
    ~EmulatedHidBus() override;
    EmulatedHidBus(const EmulatedHidBus&) = delete;
    EmulatedHidBus& operator=(const EmulatedHidBus&) = delete;

    // IHidBackend
    bool EnumeratePaths(std::vector<std::string>& paths) override;
    std::unique_ptr<IHidDevice> Open(const std::string& path, const HidOpenRequest& request,
                                     HidOpenError* error, std::string* errorText) override;
    std::string Name() const override;

    // Physical devices. The bus starts with one mouse (MainMouse); AddMouse makes another,
    // factory fresh, for tests that need two.
    FirmwareId MainMouse() const;
    FirmwareId AddMouse();
    std::vector<FirmwareId> Firmwares() const;
    std::optional<FirmwareId> FirmwareOf(DeviceId device) const;

    // What can be plugged in (the demo's list, in a fixed order), and plugging one of them by
    // product: the device's cable, or a receiver paired with it whose link is up. kNoDevice for
    // an unknown product or one that is plugged in already.
    std::vector<PlugOption> Catalogue() const;
    DeviceId Plug(uint16_t productId);

    // Plugging. Each returns a new id. A mouse has one cable: kNoDevice while it is plugged.
    DeviceId PlugWiredMouse(FirmwareId mouse = FirmwareId::None);  // None: the main mouse
    // productId 0x7102 or 0x7103, paired with `mouse`; mouseOn sets the radio link. kNoDevice for
    // another product.
    DeviceId PlugReceiver(uint16_t productId, bool mouseOn, FirmwareId mouse = FirmwareId::None);
    // Removes the plugged device: its paths vanish, blocked and later transfers on it return
    // Gone. The physical device behind it keeps its memory. False when the id is not plugged.
    bool Unplug(DeviceId device);
    bool IsPlugged(DeviceId device) const;
    std::vector<DeviceId> Devices() const;
    std::vector<PluggedDevice> Plugged() const;
    // The plugged device of that product (the first one), or kNoDevice.
    DeviceId FindPlugged(uint16_t productId) const;
    // Paths of one plugged device, in enumeration order.
    std::vector<std::string> PathsOf(DeviceId device) const;
    std::optional<uint16_t> ProductOf(DeviceId device) const;

    // Receiver link (mouse switched on and in range). False for a wired mouse or unknown id.
    bool SetLink(DeviceId receiver, bool up);
    std::optional<bool> LinkUp(DeviceId receiver) const;

    // Queues a Consumer Control report carrying code on the device's consumer collection. Through
    // a receiver only while the link is up. False when nothing was sent.
    bool RaiseNotification(DeviceId device, uint16_t code);

    // The user pressing one of the physical device's buttons (its firmware's Buttons()): the
    // firmware changes its memory and announces it on its cable when that is plugged in, else
    // through every receiver whose link to it is up; with neither the notification is lost. The
    // code announced, or nullopt when the press did nothing (unknown button or device).
    std::optional<uint16_t> PressButton(FirmwareId firmware, std::string_view button);
    // The same on the device reached through a plugged cable or receiver.
    std::optional<uint16_t> PressButton(DeviceId device, std::string_view button);

    // The mouse switching to that profile or stage itself, announced as a press is (0x10p:
    // profile p; 0x11sp: stage s of profile p). False for a bad profile/stage.
    bool SwitchProfileOnDevice(DeviceId device, uint8_t profile);
    bool SwitchDpiStageOnDevice(DeviceId device, uint8_t stage);

    // Firmware version (bcdDevice) that interfaces opened from now on report.
    bool SetFirmwareVersion(DeviceId device, uint16_t version);

    // Time for one report on the wire (default 1 ms).
    bool SetLatency(DeviceId device, std::chrono::microseconds latency);

    // Faults, consumed in the order armed.
    bool InjectFault(DeviceId device, const Fault& fault);
    bool ClearFaults(DeviceId device);

    // Command log of the device's vendor collection.
    std::vector<CommandLogEntry> CommandLog(DeviceId device) const;
    std::vector<CommandLogEntry> TakeCommandLog(DeviceId device);
    void ClearCommandLog(DeviceId device);

    // Runs fn on a physical device's firmware (or the one a plugged device reaches: the paired
    // device for a receiver) under the bus lock, when it is a T. fn must not call back into the
    // bus. False when there is no such firmware or it is not a T.
    template <class T>
    bool WithFirmware(FirmwareId firmware, const std::function<void(T&)>& fn) {
        return VisitFirmware(firmware, kNoDevice, [&](DeviceFirmware& f) {
            auto* t = dynamic_cast<T*>(&f);
            if (t != nullptr) {
                fn(*t);
            }
            return t != nullptr;
        });
    }
    template <class T>
    bool WithFirmware(DeviceId device, const std::function<void(T&)>& fn) {
        return VisitFirmware(FirmwareId::None, device, [&](DeviceFirmware& f) {
            auto* t = dynamic_cast<T*>(&f);
            if (t != nullptr) {
                fn(*t);
            }
            return t != nullptr;
        });
    }
    bool WithMouse(DeviceId device, const std::function<void(MouseFirmware&)>& fn) {
        return WithFirmware<MouseFirmware>(device, fn);
    }
    // Shorthands over WithMouse; empty / nullopt when the id is not plugged.
    std::vector<uint8_t> ReadMouseMemory(DeviceId device, std::size_t offset, std::size_t length);
    bool WriteMouseMemory(DeviceId device, std::size_t offset, std::span<const uint8_t> bytes);
    std::optional<uint8_t> CurrentProfile(DeviceId device);
    std::optional<uint8_t> ActiveDpiStage(DeviceId device);
    std::vector<uint8_t> KeyTable(DeviceId device);
    std::vector<uint8_t> MacroMemory(DeviceId device);
    std::vector<uint8_t> RecoilBlock(DeviceId device);

    // Called (outside the bus lock, on the thread that caused it) after every plug and unplug.
    using ChangeListener = std::function<void()>;
    int AddChangeListener(ChangeListener listener);
    void RemoveChangeListener(int id);

    // Hot-plug events: the bus can play a live udev monitor, one Add or Remove event per path
    // for every plug and unplug. Off by default: a bus without its wake-up hook, on which
    // detection has to poll. The demo's bus has it on.
    void SetHotplugMonitor(bool on);
    std::unique_ptr<IHotplugSource> OpenHotplugSource(std::string& error) override;
    // Test hooks: an event for every open source (an empty one means "events were dropped"),
    // losing the events of the next changes (a receive-buffer overrun), and killing the monitor
    // while it runs (every open source hangs up; opens fail until it is turned on again).
    void InjectHotplugEvent(const HotplugEvent& event);
    void DropHotplugEvents(bool drop);
    void KillHotplugMonitor();
    std::size_t LiveHotplugSources() const;

    struct Core;  // shared with the opened devices, which may outlive the bus object

private:
    // Runs fn on the firmware named by id, or else reached by device, under the bus lock.
    bool VisitFirmware(FirmwareId id, DeviceId device,
                       const std::function<bool(DeviceFirmware&)>& fn);
    DeviceId PlugCable(FirmwareId firmware);
    void NotifyChange();
    std::shared_ptr<Core> core_;
    std::shared_ptr<EmulatedHotplug> hotplug_;
};

}  // namespace q417::emu
