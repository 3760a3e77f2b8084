#pragma once
// How a device tells its page (or q417ctl) what changed. Every call arrives on the observer's
// own event loop, never on a device thread, with a copy of what the page shows.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/MousePageRules.h"
#include "lighting/LightState.h"
#include "profiles/ProfileRecords.h"

namespace q417 {

// Notices a device sends to the shell (the numbers are those of the original window messages).
enum class DeviceNotice {
    PowerStatus = 3329,    // wParam: battery/power byte
    FirmwareOld = 3332,    // wParam: product id, lParam: firmware version
    InfoNotifyOn = 3333,   // information block asks for notifications
    InfoNotifyOff = 3334,  // the shell hides "No_device_Link"
};

// What the mouse page shows beyond the common part.
struct MouseSnapshot {
    int currentProfile = 0;
    std::vector<DpiStage> stages;
    int activeStage = 0;
    MouseSystemStages settings;
    DpiRule dpiRule;
    MousePageView page;
    std::vector<KeyAssignmentEntry> keys;
    std::vector<std::string> macroNames;
    std::array<std::uint8_t, kMouseRecordSize> lastRecord{};
    int recordSlot = 0;         // the slot lastRecord came from
    bool writePending = false;  // a change the mouse has not got yet (record, keys or macros)
};

struct DeviceSnapshot {
    int kind = 0;
    bool open = false;
    bool wireless = false;
    std::uint16_t productId = 0;
    std::string deviceName;
    std::string profileId;
    LightState light;
    std::optional<std::array<std::uint8_t, 6>> powerStatus;  // empty until the first check
    std::optional<MouseSnapshot> mouse;
};

class IDeviceObserver {
public:
    virtual ~IDeviceObserver() = default;
    // The device's state changed (a read, an edit, a notification): repaint from the snapshot.
    virtual void OnDeviceStateChanged(const DeviceSnapshot& snapshot) = 0;
    // The light worker computed new colours: read them with KeyColours().
    virtual void OnLightColoursChanged() {}
    virtual void OnDeviceNotice(DeviceNotice notice, int wParam, int lParam) = 0;
};

}  // namespace q417
