// The light steps against colours worked out by hand from the tables.
#include <gtest/gtest.h>

#include "lighting/CLightEngine.h"
#include "lighting/LightTables.h"
#include "lighting/MouseLightModes.h"

namespace q417 {
namespace {

constexpr std::size_t kMouseLeds = 15;

LightState Fixed(std::uint8_t brightness, std::uint8_t direction, std::uint8_t speed = 4) {
    return LightState{0, brightness, speed, direction, 0, 10, 20, 30};
}
LightState Multi(std::uint8_t brightness, std::uint8_t direction, std::uint8_t speed = 4) {
    return LightState{0, brightness, speed, direction, 1, 0, 0, 0};
}

void ExpectAll(const CLightEngine& e, KeyColour c) {
    for (std::size_t i = 0; i < e.LedCount(); ++i) {
        EXPECT_EQ(e.GetKeyColour(static_cast<int>(i)), c) << "LED " << i;
    }
}

TEST(BaseSteps, BreathingAlphaAndHue) {
    CLightEngine e(kMouseLeds);
    e.SetLight(Fixed(2, 1));
    e.SetAnimationPhase(62);
    e.AnimateBreathing();
    ExpectAll(e, {10, 20, 30, 134});  // 255 · 135 ÷ 256 at phase 63
    e.AnimateBreathing();
    ExpectAll(e, {10, 20, 30, 134});  // and at 64

    // Multicolour: each breath moves the hue on by 16; above 192 it starts again at 0.
    e.SetLight(Multi(4, 1));
    e.SetAnimationPhase(127);
    e.SetHueIndex(176);
    e.AnimateBreathing();
    EXPECT_EQ(e.AnimationPhase(), 0);
    EXPECT_EQ(e.HueIndex(), 192);
    ExpectAll(e, {255, 1, 0, 0});  // hue 192 reads hue 0; ramp 0 at phase 0
    e.SetAnimationPhase(127);
    e.AnimateBreathing();
    EXPECT_EQ(e.HueIndex(), 0);

    // Backward: 0 is followed by 127, no new breath.
    e.SetLight(Fixed(4, 0));
    e.SetAnimationPhase(0);
    e.AnimateBreathing();
    EXPECT_EQ(e.AnimationPhase(), 127);
    EXPECT_EQ(e.HueIndex(), 0);
}

TEST(BaseSteps, StaticColourCyclePaletteAndOff) {
    CLightEngine e(kMouseLeds);
    e.SetLight(Fixed(2, 1));
    e.AnimateStatic();
    ExpectAll(e, {10, 20, 30, 135});

    e.SetLight(Multi(4, 0));
    e.AnimateColourCycle();  // phase 0 backward → 191
    ExpectAll(e, {255, 0, 0, 255});
    e.SetAnimationPhase(200);  // left by another effect: brought into range
    e.SetLight(Multi(4, 1));
    e.AnimateColourCycle();
    EXPECT_EQ(e.AnimationPhase(), 9);

    e.SetLight(Fixed(4, 1));
    e.SetAnimationPhase(127);
    e.AnimateBreathingPalette();
    EXPECT_EQ(e.PaletteIndex(), 1);
    ExpectAll(e, {0, 255, 0, 0});

    e.AnimateOff();
    ExpectAll(e, {});
}

TEST(BaseSteps, FlashTogglesEveryHalfPeriod) {
    CLightEngine e(kMouseLeds);
    e.SetLight(Multi(4, 1, 3));  // speed 3: 400 ms
    e.AnimateFlash(100);
    ExpectAll(e, {});
    e.AnimateFlash(400);
    EXPECT_TRUE(e.FlashOn());
    EXPECT_EQ(e.AnimationPhase(), 16);
    ExpectAll(e, {255, 81, 0, 255});  // hue 16
    e.AnimateFlash(799);
    EXPECT_TRUE(e.FlashOn());
    e.AnimateFlash(800);
    EXPECT_FALSE(e.FlashOn());
    ExpectAll(e, {});
    e.SetAnimationPhase(176);
    e.AnimateFlash(1200);
    EXPECT_EQ(e.AnimationPhase(), 0);  // 192 starts again at 0

    CLightEngine p(kMouseLeds);
    p.SetLight(Fixed(1, 1, 4));  // 200 ms
    p.AnimateFlashPalette(200);
    ExpectAll(p, {0, 255, 0, 80});  // palette 1
    p.AnimateFlashPalette(400);
    ExpectAll(p, {});
}

TEST(MouseSteps, WavePositions) {
    CLightEngine e(kMouseLeds);
    e.SetLight(Multi(4, 1));
    e.AnimateWave();  // phase 1, first hue 2, then 7 further per position
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{255, 5, 0, 255}));
    EXPECT_EQ(e.GetKeyColour(13), (KeyColour{255, 5, 0, 255}));
    EXPECT_EQ(e.GetKeyColour(1), (KeyColour{255, 32, 0, 255}));  // hue 9
    EXPECT_EQ(e.GetKeyColour(12), e.GetKeyColour(1));
    for (int led : {6, 14, 7}) {
        EXPECT_EQ(e.GetKeyColour(led), (KeyColour{104, 255, 0, 255})) << led;  // hue 44
    }

    e.SetLight(Fixed(4, 1));
    e.SetAnimationPhase(0);
    e.AnimateWave();  // ramp index 2, 9, ... 44
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{10, 20, 30, 26}));
    EXPECT_EQ(e.GetKeyColour(12), (KeyColour{10, 20, 30, 48}));
    EXPECT_EQ(e.GetKeyColour(14), (KeyColour{10, 20, 30, 233}));
    e.SetLight(Fixed(4, 0));
    e.SetAnimationPhase(0);
    e.AnimateWave();  // backward: phase 95, ramp index 0
    EXPECT_EQ(e.AnimationPhase(), 95);
    EXPECT_EQ(e.GetKeyColour(13), (KeyColour{10, 20, 30, 21}));

    // A device with fewer LEDs than the mouse's positions name is drawn without overrun.
    CLightEngine small(5);
    small.SetLight(Multi(4, 1));
    small.AnimateWave();
    small.AnimateRipple(5);
    EXPECT_EQ(small.GetKeyColour(0), (KeyColour{255, 5, 0, 214}));  // ripple kept LED 0's colour
    EXPECT_EQ(small.GetKeyColour(14), KeyColour{});
}

TEST(MouseSteps, RippleRunsAlongTheRing) {
    CLightEngine e(kMouseLeds);
    e.SetLight(Fixed(4, 1));
    e.AnimateRipple(5);  // empty ring: a ripple starts at position 0
    EXPECT_EQ(e.Ring()[1], 1);
    EXPECT_EQ(e.Level(0), 215);
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{10, 20, 30, 214}));
    EXPECT_EQ(e.GetKeyColour(13), (KeyColour{10, 20, 30, 214}));
    EXPECT_EQ(e.GetKeyColour(1).alpha, 0);
    e.AnimateRipple(5);
    EXPECT_EQ(e.Level(0), 175);
    EXPECT_EQ(e.Level(1), 215);
    EXPECT_EQ(e.GetKeyColour(12), (KeyColour{10, 20, 30, 214}));
    EXPECT_EQ(e.GetKeyColour(0).alpha, 174);
    for (int i = 0; i < 21; ++i) {
        e.AnimateRipple(5);
    }
    EXPECT_EQ(e.Ring()[0], 1);  // once round the 23 places

    // Multicolour: a fresh colour per position while the edge is dark.
    CLightEngine m(kMouseLeds);
    m.SetLight(Multi(4, 1));
    m.SetRingEntry(3, 1);
    m.AnimateRipple(5);
    EXPECT_EQ(m.Ring()[4], 1);
    EXPECT_EQ(m.GetKeyColour(0), (KeyColour{255, 57, 0, 0}));     // hue 13, level 0
    EXPECT_EQ(m.GetKeyColour(10), (KeyColour{61, 255, 0, 214}));  // hue 49
    EXPECT_EQ(m.AnimationPhase(), 85);

    // While position 0 is lit the positions keep the colour they have.
    CLightEngine k(kMouseLeds);
    k.SetLight(Multi(4, 1));
    k.SetKeyColour(0, {1, 2, 3, 9});
    k.SetKeyColour(1, {4, 5, 6, 9});
    k.AnimateRipple(5);
    EXPECT_EQ(k.GetKeyColour(13), (KeyColour{1, 2, 3, 214}));
    EXPECT_EQ(k.GetKeyColour(12), (KeyColour{4, 5, 6, 0}));
}

TEST(MouseSteps, ReactiveRisesThenFalls) {
    CLightEngine e(kMouseLeds);
    e.SetLight(Fixed(4, 1));
    e.SeedRandom(7);
    e.StartReactionAll();
    e.AnimateReactive();
    EXPECT_EQ(e.Level(3), 15);
    EXPECT_EQ(e.GetKeyColour(3), (KeyColour{10, 20, 30, 14}));
    for (int i = 1; i < 17; ++i) {
        e.AnimateReactive();
    }
    EXPECT_EQ(e.Level(3), 255);
    EXPECT_EQ(e.ReactionOf(3), CLightEngine::Reaction::Falling);
    e.AnimateReactive();
    EXPECT_EQ(e.Level(14), 240);
    for (int i = 0; i < 16; ++i) {
        e.AnimateReactive();
    }
    EXPECT_EQ(e.Level(14), 0);
    EXPECT_EQ(e.ReactionOf(14), CLightEngine::Reaction::Idle);
    e.AnimateReactive();
    EXPECT_EQ(e.Level(14), 0);

    // Multicolour uses each LED's own hue, drawn from 0-191 and reproducible by seed.
    CLightEngine a(kMouseLeds), b(kMouseLeds);
    a.SetLight(Multi(4, 1));
    a.SeedRandom(11);
    b.SeedRandom(11);
    a.StartReactionAll();
    b.StartReactionAll();
    a.AnimateReactive();
    for (int i = 0; i < 15; ++i) {
        EXPECT_LT(a.KeyHue(i), 192);
        EXPECT_EQ(a.KeyHue(i), b.KeyHue(i));
        const Rgb c = WheelColour(a.KeyHue(i));
        EXPECT_EQ(a.GetKeyColour(i), (KeyColour{c.r, c.g, c.b, 14}));
    }
}

TEST(ReactiveHelpers, FadeSchedules) {
    CLightEngine e(kMouseLeds);
    auto fade = [&e](int level, int schedule) {
        e.SetLevel(0, static_cast<std::uint8_t>(level));
        e.FadeKey(0, schedule);
        return static_cast<int>(e.Level(0));
    };
    EXPECT_EQ(fade(20, 29), 15);
    EXPECT_EQ(fade(15, 29), 14);
    EXPECT_EQ(fade(20, 0), 12);
    EXPECT_EQ(fade(255, 29), 210);
    EXPECT_EQ(fade(100, 29), 70);
    EXPECT_EQ(fade(33, 0), 18);
    EXPECT_EQ(fade(33, 5), 23);
    EXPECT_EQ(fade(16, 0), 15);
    EXPECT_EQ(fade(1, 6), 0);
    EXPECT_EQ(fade(0, 29), 0);
    e.FadeKey(-1, 0);
    e.FadeKey(400, 0);
}

TEST(ReactiveHelpers, RingAndClear) {
    CLightEngine e(kMouseLeds);
    e.SetRingEntry(0, 1);
    e.SetRingEntry(9, 1);  // beyond the nine lit keys
    e.LightKeysFromRing();
    EXPECT_EQ(e.Level(0), 255);
    EXPECT_EQ(e.Level(9), 0);
    e.RotateRing(false);
    EXPECT_EQ(e.Ring()[22], 1);
    EXPECT_EQ(e.Ring()[8], 1);
    e.RotateRing(true);
    EXPECT_EQ(e.Ring()[0], 1);
    e.ClearReactive();
    EXPECT_EQ(e.Level(0), 0);
    EXPECT_EQ(e.Ring()[0], 0);
}

TEST(KeyColours, OutOfRangeIsIgnored) {
    CLightEngine e(3);
    e.SetKeyColour(-1, {1, 1, 1, 1});
    e.SetKeyColour(3, {1, 1, 1, 1});
    ExpectAll(e, {});
    EXPECT_EQ(e.GetKeyColour(-1), KeyColour{});
    EXPECT_EQ(e.GetKeyColour(99), KeyColour{});
    e.SetKeyColour(2, {1, 2, 3, 4});
    e.Resize(2);
    EXPECT_EQ(e.GetKeyColour(2), KeyColour{});
    e.Resize(170);
    e.StartReactionAll();
    e.AnimateReactive();
    EXPECT_EQ(e.Level(169), 15);
}

TEST(MouseModeTable, PeriodsAndDispatch) {
    EXPECT_EQ(MouseStepPeriod(2, 0), 8);
    EXPECT_EQ(MouseStepPeriod(2, 4), 1);
    EXPECT_EQ(MouseStepPeriod(5, 0), 16);
    EXPECT_EQ(MouseStepPeriod(5, 4), 2);
    EXPECT_EQ(MouseStepPeriod(9, 9), 1);

    CLightEngine e(kMouseLeds);
    e.SetLight(Fixed(2, 1));
    EXPECT_TRUE(RunMouseLightStep(e, 3, 0));
    ExpectAll(e, {10, 20, 30, 135});
    for (int code : {9, 11, 29, 255, -1}) {
        EXPECT_FALSE(RunMouseLightStep(e, code, 0)) << code;
    }
    ExpectAll(e, {10, 20, 30, 135});  // a code without a step draws nothing
    EXPECT_TRUE(RunMouseLightStep(e, 10, 0));
    ExpectAll(e, {});
    EXPECT_TRUE(RunMouseLightStep(e, 5, 0));
    EXPECT_EQ(e.Level(0), 215);  // the ripple, with the schedule of its own code
}

}  // namespace
}  // namespace q417
