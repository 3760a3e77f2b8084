// The player of user-defined effect sequences.
#include <gtest/gtest.h>

#include "lighting/CLightEngine.h"
#include "lighting/LightTables.h"

namespace q417 {
namespace {

LightSegment Segment(std::uint8_t mode, std::uint8_t speed, std::uint32_t timeMs,
                     std::uint8_t multi = 0, std::uint8_t direction = 0) {
    LightSegment s{};
    s.mode = mode;
    s.brightness = 4;
    s.speed = speed;
    s.direction = direction;
    s.multiColor = multi;
    s.red = 9;
    s.green = 8;
    s.blue = 7;
    s.time = timeMs;
    return s;
}

TEST(UserEffectPlayer, NoSegmentsTurnsEverythingOff) {
    CLightEngine e(4);
    e.SetKeyColour(2, {1, 2, 3, 4});
    e.PlayUserEffect(0, 4);
    EXPECT_EQ(e.GetKeyColour(2), KeyColour{});
}

TEST(UserEffectPlayer, SegmentTimeMovesToTheNextSegment) {
    CLightEngine e(4);
    LightSegment a = Segment(1, 4, 0);
    LightSegment b = Segment(1, 4, 0);
    b.red = 200;
    e.SetUserEffect({a});
    e.PlayUserEffect(5, 0);  // Time 0: every pass moves on, here to the same segment
    EXPECT_EQ(e.Player().segmentIndex, 0u);
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{9, 8, 7, 255}));

    e.SetUserEffect({a, b});
    e.PlayUserEffect(5, 0);
    e.PlayUserEffect(5, 0);  // same millisecond, still the next segment
    EXPECT_EQ(e.GetKeyColour(3).red, 200);
    e.PlayUserEffect(5, 0);
    EXPECT_EQ(e.GetKeyColour(3).red, 9);

    a.time = 1000;
    e.SetUserEffect({a, b});
    e.PlayUserEffect(100, 0);
    e.PlayUserEffect(1100, 0);
    EXPECT_EQ(e.Player().segmentIndex, 0u);  // exactly 1000 ms: not yet more than Time
    e.PlayUserEffect(1101, 0);
    EXPECT_EQ(e.Player().segmentIndex, 1u);
}

TEST(UserEffectPlayer, ColourCyclePeriods) {
    CLightEngine e(2);
    e.SetUserEffect({Segment(5, 4, 60000)});
    e.PlayUserEffect(0, 0);                                     // period 0: a step on every pass
    EXPECT_EQ(e.GetKeyColour(1), (KeyColour{255, 3, 0, 255}));  // hue 1
    e.PlayUserEffect(1, 0);
    EXPECT_EQ(e.Player().phase, 2);

    CLightEngine slow(2);
    slow.SetUserEffect({Segment(5, 0, 60000)});
    for (int i = 0; i < 7; ++i) {
        slow.PlayUserEffect(0, 0);
    }
    EXPECT_EQ(slow.Player().phase, 0);
    slow.PlayUserEffect(0, 0);  // the eighth pass
    EXPECT_EQ(slow.Player().phase, 1);

    // Each engine plays with its own state: another device's player is not advanced.
    CLightEngine other(2);
    other.SetUserEffect({Segment(5, 4, 60000)});
    other.PlayUserEffect(0, 0);
    EXPECT_EQ(other.Player().phase, 1);
    EXPECT_EQ(e.Player().phase, 2);
}

TEST(UserEffectPlayer, BreathingAndFlash) {
    CLightEngine e(2);
    e.SetUserEffect({Segment(0, 4, 60000)});
    for (int i = 0; i < 63; ++i) {
        e.PlayUserEffect(0, 0);
    }
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{9, 8, 7, 254}));  // phase 63: 255 · 255 ÷ 256
    for (int i = 0; i < 65; ++i) {
        e.PlayUserEffect(0, 0);
    }
    EXPECT_EQ(e.Player().phase, 0);
    EXPECT_EQ(e.Player().colourCounter, 1);

    // The flash half-period follows the device's speed (4: 200 ms), not the segment's.
    CLightEngine f(2);
    f.SetUserEffect({Segment(2, 0, 60000, 1)});
    f.PlayUserEffect(100, 4);
    EXPECT_EQ(f.GetKeyColour(0), KeyColour{});
    f.PlayUserEffect(200, 4);
    EXPECT_TRUE(f.Player().flashOn);
    EXPECT_EQ(f.Player().flashHue, 16);  // phase 2 + 14
    const Rgb c = WheelColour(16);
    EXPECT_EQ(f.GetKeyColour(1), (KeyColour{c.r, c.g, c.b, 255}));
    f.PlayUserEffect(399, 4);
    EXPECT_TRUE(f.Player().flashOn);
    f.PlayUserEffect(400, 4);
    EXPECT_EQ(f.GetKeyColour(1), KeyColour{});
}

TEST(UserEffectPlayer, WaveStaysInsideItsRamp) {
    // Direction 1 starts the fixed-colour wave at index 191, past the 96-entry ramp.
    CLightEngine e(20);
    e.SetUserEffect({Segment(4, 4, 60000, 0, 1)});
    e.PlayUserEffect(0, 0);
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{9, 8, 7, 56}));  // ramp[11] = 57
    for (int i = 0; i < 400; ++i) {
        e.PlayUserEffect(0, 0);
    }

    CLightEngine m(3);
    m.SetUserEffect({Segment(4, 4, 60000, 1, 0)});
    m.PlayUserEffect(0, 0);  // phase 1: d = 2, then + 12 per LED
    EXPECT_EQ(m.GetKeyColour(0), (KeyColour{255, 5, 0, 255}));
    EXPECT_EQ(m.GetKeyColour(1), (KeyColour{255, 65, 0, 255}));  // hue 14

    // Another mode leaves the LEDs as they are.
    CLightEngine o(2);
    o.SetKeyColour(0, {1, 2, 3, 4});
    o.SetUserEffect({Segment(3, 4, 60000)});
    o.PlayUserEffect(0, 0);
    EXPECT_EQ(o.GetKeyColour(0), (KeyColour{1, 2, 3, 4}));
}

}  // namespace
}  // namespace q417
