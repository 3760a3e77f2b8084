#pragma once
// The numeric tables of the software light engine: brightness levels, the colour wheel, the
// palette, the breathing and wave ramps, and the step periods by speed. Every table is a byte
// table; an index taken from a setting (brightness, speed) is clamped before it is used.
#include <array>
#include <cstddef>
#include <cstdint>

namespace q417 {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    bool operator==(const Rgb&) const = default;
};

inline constexpr std::size_t kLightLevelCount = 5;
inline constexpr std::size_t kColourWheelHues = 192;     // distinct hues, index 0-191
inline constexpr std::size_t kColourWheelEntries = 256;  // 192-255 repeat 0-63
inline constexpr std::size_t kPaletteEntries = 4;
inline constexpr std::size_t kBreathRampLength = 128;
inline constexpr std::size_t kWaveRampLength = 96;
inline constexpr int kMaxSpeed = 4;
inline constexpr int kMaxBrightness = 4;

namespace light_detail {

// Rising and falling ramps of one colour wheel sector (32 values each).
inline constexpr std::array<std::uint8_t, 32> kRise = {
    1,  3,  5,  7,   10,  14,  18,  22,  26,  32,  38,  44,  50,  57,  65,  73,
    81, 89, 99, 109, 119, 129, 140, 152, 164, 176, 188, 200, 213, 227, 241, 255};
inline constexpr std::array<std::uint8_t, 32> kFall = {
    248, 234, 220, 206, 194, 182, 170, 158, 146, 134, 124, 114, 104, 94, 85, 77,
    69,  61,  53,  47,  41,  35,  29,  24,  20,  16,  12,  8,   6,   4,  2,  0};
// Half ramp: the rising half of a breath (64 values).
inline constexpr std::array<std::uint8_t, 64> kHalf = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  12,  14,  16,  18,  20,
    22,  24,  27,  30,  33,  36,  39,  42,  45,  49,  53,  57,  61,  65,  69,  73,
    77,  81,  85,  89,  94,  99,  104, 109, 114, 119, 124, 129, 134, 140, 146, 152,
    158, 164, 170, 176, 182, 188, 194, 200, 206, 213, 220, 227, 234, 241, 248, 255};

constexpr Rgb WheelHue(std::size_t hue) {
    const std::size_t s = (hue % kColourWheelHues) / 32;
    const std::size_t k = hue % 32;
    switch (s) {
        case 0:
            return {255, kRise[k], 0};
        case 1:
            return {kFall[k], 255, 0};
        case 2:
            return {0, 255, kRise[k]};
        case 3:
            return {0, kFall[k], 255};
        case 4:
            return {kRise[k], 0, 255};
        default:
            return {255, 0, kFall[k]};
    }
}

constexpr std::array<Rgb, kColourWheelEntries> MakeWheel() {
    std::array<Rgb, kColourWheelEntries> wheel{};
    for (std::size_t i = 0; i < wheel.size(); ++i) {
        wheel[i] = WheelHue(i);
    }
    return wheel;
}

constexpr std::array<std::uint8_t, kBreathRampLength> MakeBreathRamp() {
    std::array<std::uint8_t, kBreathRampLength> ramp{};
    for (std::size_t i = 0; i < kHalf.size(); ++i) {
        ramp[i] = kHalf[i];
        ramp[kBreathRampLength - 1 - i] = kHalf[i];
    }
    return ramp;
}

constexpr std::array<std::uint8_t, kWaveRampLength> MakeWaveRamp() {
    std::array<std::uint8_t, kWaveRampLength> ramp{};
    constexpr std::size_t half = kWaveRampLength / 2;  // H[16..63]
    for (std::size_t i = 0; i < half; ++i) {
        ramp[i] = kHalf[16 + i];
        ramp[kWaveRampLength - 1 - i] = kHalf[16 + i];
    }
    return ramp;
}

inline constexpr std::array<std::uint8_t, kLightLevelCount> kLevels = {0, 80, 135, 195, 255};
inline constexpr std::array<Rgb, kColourWheelEntries> kWheel = MakeWheel();
inline constexpr std::array<Rgb, kPaletteEntries> kPalette = {Rgb{0, 255, 180}, Rgb{0, 255, 0},
                                                              Rgb{255, 255, 255}, Rgb{255, 0, 0}};
inline constexpr std::array<std::uint8_t, kBreathRampLength> kBreath = MakeBreathRamp();
inline constexpr std::array<std::uint8_t, kWaveRampLength> kWave = MakeWaveRamp();

}  // namespace light_detail

// Brightness 0-4 → alpha 0, 80, 135, 195, 255.
constexpr const std::array<std::uint8_t, kLightLevelCount>& LightLevels() {
    return light_detail::kLevels;
}
// 256 entries: hue 0-191, then 192-255 repeating hues 0-63 so an index up to 255 is safe.
constexpr const std::array<Rgb, kColourWheelEntries>& ColourWheel() {
    return light_detail::kWheel;
}
constexpr const std::array<Rgb, kPaletteEntries>& LightPalette() {
    return light_detail::kPalette;
}
// 0 … 255, 255 … 0.
constexpr const std::array<std::uint8_t, kBreathRampLength>& BreathRamp128() {
    return light_detail::kBreath;
}
// 22 … 255, 255 … 22.
constexpr const std::array<std::uint8_t, kWaveRampLength>& WaveRamp96() {
    return light_detail::kWave;
}

constexpr int ClampSpeed(int speed) {
    return speed < 0 ? 0 : (speed > kMaxSpeed ? kMaxSpeed : speed);
}
constexpr int ClampBrightness(int brightness) {
    return brightness < 0 ? 0 : (brightness > kMaxBrightness ? kMaxBrightness : brightness);
}

// The alpha of a brightness setting, clamped into the table.
constexpr std::uint8_t LightLevel(int brightness) {
    return LightLevels()[static_cast<std::size_t>(ClampBrightness(brightness))];
}
// The colour of any hue index; indices beyond the table wrap onto the 192 hues.
constexpr Rgb WheelColour(int hue) {
    const int h = hue < 0 ? 0 : hue;
    return ColourWheel()[static_cast<std::size_t>(h) % kColourWheelHues];
}

// Light-worker ticks between two steps, by speed 0-4 (out-of-range speeds are clamped).
int StepPeriod(int speed);         // 8, 6, 4, 2, 1
int RipplePeriod(int speed);       // 16, 12, 8, 4, 2 (the mouse's ripple)
int PlayerCyclePeriod(int speed);  // 8, 5, 3, 1, 0 (colour-cycle segment of a user effect)
std::uint32_t FlashHalfPeriodMs(int speed);  // StepPeriod(speed) × 200 ms

}  // namespace q417
