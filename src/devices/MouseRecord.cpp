#include "devices/MouseRecord.h"

#include <algorithm>

namespace q417 {

MouseRecord MouseRecord::FromBytes(std::span<const std::uint8_t, kMouseRecordSize> raw) {
    MouseRecord r;
    std::copy(raw.begin(), raw.end(), r.bytes.begin());
    return r;
}

MouseRecordLight MouseRecord::Light() const {
    return MouseRecordLight{bytes[kLight],     bytes[kLight + 1], bytes[kLight + 2],
                            bytes[kLight + 3], bytes[kLight + 4], bytes[kLight + 5],
                            bytes[kLight + 6], bytes[kLight + 7]};
}

void MouseRecord::SetLight(const MouseRecordLight& light) {
    bytes[kLight] = light.effectCode;
    bytes[kLight + 1] = light.brightness;
    bytes[kLight + 2] = light.deviceSpeed;
    bytes[kLight + 3] = light.direction;
    bytes[kLight + 4] = light.multiColour;
    bytes[kLight + 5] = light.red;
    bytes[kLight + 6] = light.green;
    bytes[kLight + 7] = light.blue;
    bytes[kLightSpare] = 0;
}

DpiStage MouseRecord::Stage(int s) const {
    if (s < 0 || s >= kMouseStageCount) {
        return DpiStage{};
    }
    std::size_t at = kFirstStage + kDpiStageBytes * static_cast<std::size_t>(s);
    return DecodeDpiStage(
        std::span<const std::uint8_t, kDpiStageBytes>(bytes.data() + at, kDpiStageBytes));
}

void MouseRecord::SetStage(int s, const DpiStage& stage) {
    if (s < 0 || s >= kMouseStageCount) {
        return;
    }
    std::size_t at = kFirstStage + kDpiStageBytes * static_cast<std::size_t>(s);
    auto encoded = EncodeDpiStage(stage);
    std::copy(encoded.begin(), encoded.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace q417
