#pragma once
// The active light setting the light steps draw with, and the colour one step leaves for an LED.
#include <cstdint>

namespace q417 {

// 8 bytes in the order of the device light bytes. effect is what the light worker's mode table
// dispatches on (on the mouse, whose default list gives index i the code i, index and code agree).
// direction 1 runs the animation forward, 0 backward.
struct LightState {
    std::uint8_t effect = 0;
    std::uint8_t brightness = 0;  // 0-4, index into LightLevels
    std::uint8_t speed = 0;       // 0-4, 4 fastest
    std::uint8_t direction = 0;
    std::uint8_t multiColour = 0;  // 1: colours from the colour wheel; 0: the fixed colour
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const LightState&) const = default;
};
static_assert(sizeof(LightState) == 8);

// One LED's colour and its alpha (the brightness it is shown with, colour × alpha ÷ 256).
struct KeyColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;

    bool operator==(const KeyColour&) const = default;
};
static_assert(sizeof(KeyColour) == 4);

}  // namespace q417
