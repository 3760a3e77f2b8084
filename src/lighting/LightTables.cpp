#include "lighting/LightTables.h"

namespace q417 {

namespace {

constexpr std::array<int, 5> kStepPeriods = {8, 6, 4, 2, 1};
constexpr std::array<int, 5> kRipplePeriods = {16, 12, 8, 4, 2};
constexpr std::array<int, 5> kPlayerCyclePeriods = {8, 5, 3, 1, 0};
constexpr std::uint32_t kFlashMsPerPeriodTick = 200;

std::size_t SpeedIndex(int speed) {
    return static_cast<std::size_t>(ClampSpeed(speed));
}

}  // namespace

int StepPeriod(int speed) {
    return kStepPeriods[SpeedIndex(speed)];
}

int RipplePeriod(int speed) {
    return kRipplePeriods[SpeedIndex(speed)];
}

int PlayerCyclePeriod(int speed) {
    return kPlayerCyclePeriods[SpeedIndex(speed)];
}

std::uint32_t FlashHalfPeriodMs(int speed) {
    return static_cast<std::uint32_t>(StepPeriod(speed)) * kFlashMsPerPeriodTick;
}

}  // namespace q417
