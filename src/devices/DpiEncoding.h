#pragma once
// How a mouse stores a DPI value: sensor 0x3395 counts steps above its lowest DPI, every other
// sensor stores the DPI itself. Values shown or entered are multiples of 50 in 50..26000.
#include <cstdint>

#include "profiles/ProfileRecords.h"
#include "transport/DeviceInfoBlock.h"

namespace q417 {

inline constexpr int kMinDpi = 50;
inline constexpr int kMaxDpi = 26000;
inline constexpr int kDpiGranularity = 50;
inline constexpr std::uint16_t kSensorStepped = 0x3395;

struct DpiRule {
    std::uint16_t sensor = 0;
    std::uint8_t step = 0;
    std::uint16_t lowest = 0;

    static DpiRule FromInfoBlock(const DeviceInfoBlock& info) {
        return DpiRule{info.Sensor(), info.DpiStep(), info.LowestDpi()};
    }

    bool operator==(const DpiRule&) const = default;
};

// Clamps to 50..26000 and rounds up to the next multiple of 50.
int NormaliseDpi(long long dpi);
// The DPI a stored value stands for (not normalised).
int StoredToDpi(const DpiRule& rule, std::uint16_t stored);
// The stored value for a DPI. A step of 0 stores the DPI itself, and the result is clamped to
// 0..0xFFFF (a DPI below the sensor's lowest stores 0).
std::uint16_t DpiToStored(const DpiRule& rule, int dpi);
// The DPI shown for a stored value: StoredToDpi, normalised.
int ShownDpi(const DpiRule& rule, std::uint16_t stored);
// The stage with its X and Y brought into range: stored -> DPI -> clamped to 50..26000 -> stored.
// Whatever a profile file holds, the mouse is never asked for a DPI it does not have.
DpiStage StageInRange(const DpiRule& rule, DpiStage stage);

}  // namespace q417
