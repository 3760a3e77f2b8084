#include "devices/DpiEncoding.h"

#include <algorithm>

namespace q417 {

int NormaliseDpi(long long dpi) {
    dpi = std::clamp<long long>(dpi, kMinDpi, kMaxDpi);
    long long rest = dpi % kDpiGranularity;
    if (rest != 0) {
        dpi += kDpiGranularity - rest;
    }
    return static_cast<int>(std::min<long long>(dpi, kMaxDpi));
}

int StoredToDpi(const DpiRule& rule, std::uint16_t stored) {
    if (rule.sensor == kSensorStepped && rule.step != 0) {
        return static_cast<int>(stored) * rule.step + rule.lowest;
    }
    return stored;
}

std::uint16_t DpiToStored(const DpiRule& rule, int dpi) {
    long long value = dpi;
    if (rule.sensor == kSensorStepped && rule.step != 0) {
        value = (static_cast<long long>(dpi) - rule.lowest) / rule.step;
    }
    return static_cast<std::uint16_t>(std::clamp<long long>(value, 0, 0xFFFF));
}

int ShownDpi(const DpiRule& rule, std::uint16_t stored) {
    return NormaliseDpi(StoredToDpi(rule, stored));
}

DpiStage StageInRange(const DpiRule& rule, DpiStage stage) {
    auto inRange = [&](std::uint16_t stored) {
        return DpiToStored(rule, std::clamp(StoredToDpi(rule, stored), kMinDpi, kMaxDpi));
    };
    stage.dpiX = inRange(stage.dpiX);
    stage.dpiY = inRange(stage.dpiY);
    return stage;
}

}  // namespace q417
