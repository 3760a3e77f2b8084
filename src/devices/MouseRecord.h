#pragma once
// The mouse's 80-byte profile record as it sits in device memory (profile p at p × 96). The image
// keeps every byte as last read; the accessors cover the bytes the host interprets, so a record
// read and written back unchanged is byte-exact.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "profiles/ProfileRecords.h"

namespace q417 {

inline constexpr std::size_t kMouseRecordSize = 80;
inline constexpr std::size_t kMouseRecordStride = 96;
inline constexpr int kMouseStageCount = 6;
// Profile numbers the device may report (4 bits); anything else is a bad reply.
inline constexpr int kMouseProfileSlots = 16;

// The light bytes 1-8 of a record, in device terms (speed as sent: 4 − the host's speed).
struct MouseRecordLight {
    std::uint8_t effectCode = 0;
    std::uint8_t brightness = 0;
    std::uint8_t deviceSpeed = 0;
    std::uint8_t direction = 0;
    std::uint8_t multiColour = 0;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const MouseRecordLight&) const = default;
};

struct MouseRecord {
    static constexpr std::size_t kProfileByte = 0;
    static constexpr std::size_t kLight = 1;  // 8 bytes, then byte 9 = 0
    static constexpr std::size_t kLightSpare = 9;
    static constexpr std::size_t kPollingRate = 11;
    static constexpr std::size_t kActiveStage = 12;
    static constexpr std::size_t kFirstStage = 14;
    static constexpr std::size_t kLinearCalibration = 77;
    static constexpr std::size_t kLiftOff = 78;

    std::array<std::uint8_t, kMouseRecordSize> bytes{};

    static MouseRecord FromBytes(std::span<const std::uint8_t, kMouseRecordSize> raw);

    std::uint8_t ProfileByte() const { return bytes[kProfileByte]; }
    void SetProfileByte(std::uint8_t v) { bytes[kProfileByte] = v; }

    MouseRecordLight Light() const;
    // Writes bytes 1-8 and clears byte 9.
    void SetLight(const MouseRecordLight& light);
    void SetEffectCode(std::uint8_t code) { bytes[kLight] = code; }

    std::uint8_t PollingRate() const { return bytes[kPollingRate]; }
    void SetPollingRate(std::uint8_t v) { bytes[kPollingRate] = v; }
    std::uint8_t ActiveStage() const { return bytes[kActiveStage]; }
    void SetActiveStage(std::uint8_t v) { bytes[kActiveStage] = v; }

    // s in 0..5; other indices read an empty stage and write nothing.
    DpiStage Stage(int s) const;
    void SetStage(int s, const DpiStage& stage);

    std::uint8_t LinearCalibration() const { return bytes[kLinearCalibration]; }
    void SetLinearCalibration(std::uint8_t v) { bytes[kLinearCalibration] = v; }
    std::uint8_t LiftOff() const { return bytes[kLiftOff]; }
    void SetLiftOff(std::uint8_t v) { bytes[kLiftOff] = v; }

    bool operator==(const MouseRecord&) const = default;
};

}  // namespace q417
