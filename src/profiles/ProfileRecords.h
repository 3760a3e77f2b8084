#pragma once
// Fixed-width records that the profile data classes translate to and from the profile element.
// The device code works with these; what each value means belongs to the device that uses it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace q417 {

// One light setting (14 bytes). The two spare bytes and the present flag are not stored in
// "LightInfo"; the present flag is set by GetLightList for a non-null "LightList" entry.
struct LightInfo {
    std::uint8_t mode = 0;        // "SelectItem" / "LEDREGMode"
    std::uint8_t brightness = 0;  // "Light" / "LEDBrightness"
    std::uint8_t speed = 0;       // "Speed" / "LEDSpeed"
    std::uint8_t direction = 0;   // "Fx" / "LEDDirection"
    std::uint8_t multiColor = 0;  // "MultiColor" / "LEDMultiColor"
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t spare1 = 0;
    std::uint8_t spare2 = 0;
    std::uint8_t present = 0;
    std::uint8_t zzccMode = 0;     // "ZZCCLedMode"
    std::uint8_t customGroup = 0;  // "CustomGroup"
    std::uint8_t oldMode = 0;      // "OldLedmode"

    bool operator==(const LightInfo&) const = default;
};
static_assert(sizeof(LightInfo) == 14);

// Audio-reactive light setting of the keyboard (9 bytes, in the order of its JSON keys).
struct AudioLightInfo {
    std::uint8_t audioMode = 0;        // "AudioMode"
    std::uint8_t bkRed = 0;            // "BkColorR"
    std::uint8_t bkGreen = 0;          // "BkColorG"
    std::uint8_t bkBlue = 0;           // "BkColorB"
    std::uint8_t fgRed = 0;            // "FgColorR"
    std::uint8_t fgGreen = 0;          // "FgColorG"
    std::uint8_t fgBlue = 0;           // "FgColorB"
    std::uint8_t sevenColorFlags = 0;  // "7ColorFlags"
    std::uint8_t colorTypeFlags = 0;   // "ColorTypeFlags"

    bool operator==(const AudioLightInfo&) const = default;
};
static_assert(sizeof(AudioLightInfo) == 9);

// A key's function code (6 bytes): key index, type, two parameters, a spare byte.
struct KeyAssignment {
    std::uint16_t keyIndex = 0;
    std::uint8_t type = 0;
    std::uint8_t param1 = 0;
    std::uint8_t param2 = 0;
    std::uint8_t spare = 0;

    // Codes compare by type and parameters only.
    bool SameCode(const KeyAssignment& o) const {
        return type == o.type && param1 == o.param1 && param2 == o.param2;
    }
};
static_assert(sizeof(KeyAssignment) == 6);

// The integer stored in "Assignment" / "DefaultAssignment": type·65536 + param1·256 + param2.
inline std::int32_t EncodeAssignment(const KeyAssignment& a) {
    return static_cast<std::int32_t>((std::uint32_t{a.type} << 16) |
                                     (std::uint32_t{a.param1} << 8) | std::uint32_t{a.param2});
}
inline KeyAssignment DecodeAssignment(std::int32_t code, std::uint16_t keyIndex) {
    auto u = static_cast<std::uint32_t>(code);
    return KeyAssignment{keyIndex, static_cast<std::uint8_t>(u >> 16),
                         static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u), 0};
}

// Current and default code of one key (12 bytes).
struct KeyAssignmentEntry {
    KeyAssignment current;
    KeyAssignment defaults;

    bool Changed() const { return !current.SameCode(defaults); }
};
static_assert(sizeof(KeyAssignmentEntry) == 12);

// Helpers for records made of u32 words holding two u16 halves, low half first.
inline std::uint16_t LowHalf(std::uint32_t w) {
    return static_cast<std::uint16_t>(w & 0xFFFFu);
}
inline std::uint16_t HighHalf(std::uint32_t w) {
    return static_cast<std::uint16_t>(w >> 16);
}
inline std::uint32_t MakeWord(std::uint16_t low, std::uint16_t high) {
    return std::uint32_t{low} | (std::uint32_t{high} << 16);
}

// Keyboard settings: Repeat/RepeatDelay, Key6Flag/PollingRate, WFlag/WinFlag.
struct KeyboardSystemStages {
    std::array<std::uint32_t, 3> words{};

    std::uint16_t Repeat() const { return LowHalf(words[0]); }
    std::uint16_t RepeatDelay() const { return HighHalf(words[0]); }
    std::uint16_t Key6Flag() const { return LowHalf(words[1]); }
    std::uint16_t PollingRate() const { return HighHalf(words[1]); }
    std::uint16_t WFlag() const { return LowHalf(words[2]); }
    std::uint16_t WinFlag() const { return HighHalf(words[2]); }

    bool operator==(const KeyboardSystemStages&) const = default;
};

// Mouse settings: ten words, nineteen used u16 halves (38 bytes). Halves are addressed by their
// byte offset in the record (0x00 "DoubleClickTime" ... 0x24 "ReportSelectItem24K").
struct MouseSystemStages {
    std::array<std::uint32_t, 10> words{};

    static constexpr std::size_t kDoubleClickTime = 0x00;
    static constexpr std::size_t kMouseSpeed = 0x02;
    static constexpr std::size_t kPointerPrecision = 0x04;
    static constexpr std::size_t kScrollPage = 0x06;
    static constexpr std::size_t kWheelScrollLines = 0x08;
    static constexpr std::size_t kReportStageActive = 0x0A;
    static constexpr std::size_t kDormancyTime = 0x0C;
    static constexpr std::size_t kAntiShake = 0x10;
    static constexpr std::size_t kSilentAltitude = 0x12;
    static constexpr std::size_t kSensorLift = 0x14;
    static constexpr std::size_t kMotionSync = 0x16;
    static constexpr std::size_t kLinearCalibration = 0x18;
    static constexpr std::size_t kKeyDelay = 0x1A;
    static constexpr std::size_t kDeepSleepOff = 0x1C;
    static constexpr std::size_t kSleepTime = 0x1E;
    static constexpr std::size_t kSleepTimeH = 0x20;
    static constexpr std::size_t kReportSelectUsb = 0x22;
    static constexpr std::size_t kReportSelect24K = 0x24;

    // offset must be even and below 40; other offsets read 0 and are not written.
    std::uint16_t Half(std::size_t offset) const {
        if (offset % 2 != 0 || offset / 4 >= words.size()) {
            return 0;
        }
        return offset % 4 == 0 ? LowHalf(words[offset / 4]) : HighHalf(words[offset / 4]);
    }
    void SetHalf(std::size_t offset, std::uint16_t value) {
        if (offset % 2 != 0 || offset / 4 >= words.size()) {
            return;
        }
        std::uint32_t& w = words[offset / 4];
        w = offset % 4 == 0 ? MakeWord(value, HighHalf(w)) : MakeWord(LowHalf(w), value);
    }

    bool operator==(const MouseSystemStages&) const = default;
};

// One DPI stage. On the device it is 9 bytes (EncodeDpiStage / DecodeDpiStage).
struct DpiStage {
    std::uint8_t active = 0;  // "StageActive"
    std::uint8_t xy = 0;      // "StageXY": separate X and Y values
    std::uint16_t dpiX = 0;   // "StageDPIX" (stored value, see the mouse's DPI encoding)
    std::uint16_t dpiY = 0;   // "StageDPIY"
    std::uint8_t red = 0;     // "StageColorR"
    std::uint8_t green = 0;   // "StageColorG"
    std::uint8_t blue = 0;    // "StageColorB"

    bool operator==(const DpiStage&) const = default;
};
inline constexpr std::size_t kDpiStageBytes = 9;

inline std::array<std::uint8_t, kDpiStageBytes> EncodeDpiStage(const DpiStage& s) {
    return {s.active,
            s.xy,
            static_cast<std::uint8_t>(s.dpiX & 0xFF),
            static_cast<std::uint8_t>(s.dpiX >> 8),
            static_cast<std::uint8_t>(s.dpiY & 0xFF),
            static_cast<std::uint8_t>(s.dpiY >> 8),
            s.red,
            s.green,
            s.blue};
}
inline DpiStage DecodeDpiStage(std::span<const std::uint8_t, kDpiStageBytes> b) {
    return DpiStage{b[0],
                    b[1],
                    static_cast<std::uint16_t>(b[2] | (b[3] << 8)),
                    static_cast<std::uint16_t>(b[4] | (b[5] << 8)),
                    b[6],
                    b[7],
                    b[8]};
}

// Headset settings, eight signed integers in the order of their JSON keys.
struct HeadsetSystemSetStages {
    std::int32_t magicEnable = 0;       // "MagicEnable"
    std::int32_t magicType = 0;         // "MagicType"
    std::int32_t eqType = 0;            // "EqType"
    std::int32_t customEqIndex = 0;     // "CustomEqSeletIndex"
    std::int32_t micInSelect = 0;       // "MicInSelect"
    std::int32_t micInValue = 0;        // "MicInValue"
    std::int32_t micMonitorSelect = 0;  // "MicMoniterSelect"
    std::int32_t micMonitorValue = 0;   // "MicMoniterValue"

    bool operator==(const HeadsetSystemSetStages&) const = default;
};

// One key colour of a keyboard custom colour group.
struct RgbaColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;

    bool operator==(const RgbaColor&) const = default;
};
static_assert(sizeof(RgbaColor) == 4);

// One segment of a user light effect ("LEDEffectList" element of an effect file; 24 bytes).
struct LightSegment {
    std::uint8_t mode = 0;        // "LEDREGMode"
    std::uint8_t brightness = 0;  // "LEDBrightness"
    std::uint8_t speed = 0;       // "LEDSpeed"
    std::uint8_t direction = 0;   // "LEDDirection"
    std::uint8_t multiColor = 0;  // "LEDMultiColor"
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::array<std::uint8_t, 8> reserved{};
    std::uint32_t time = 0;   // "Time", milliseconds
    std::uint32_t cycle = 0;  // "Cyle"

    bool operator==(const LightSegment&) const = default;
};
static_assert(sizeof(LightSegment) == 24);

}  // namespace q417
