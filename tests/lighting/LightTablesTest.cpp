// The light tables against the values the effects were designed with.
#include <gtest/gtest.h>

#include "lighting/LightTables.h"

namespace q417 {
namespace {

TEST(LightTables, ColourWheelHues) {
    const auto& w = ColourWheel();
    EXPECT_EQ(w[0], (Rgb{255, 1, 0}));
    EXPECT_EQ(w[31], (Rgb{255, 255, 0}));
    EXPECT_EQ(w[32], (Rgb{248, 255, 0}));
    EXPECT_EQ(w[63], (Rgb{0, 255, 0}));
    EXPECT_EQ(w[127], (Rgb{0, 0, 255}));
    EXPECT_EQ(w[160], (Rgb{255, 0, 248}));
    EXPECT_EQ(w[191], (Rgb{255, 0, 0}));
    // Entries 192-255 repeat the first 64 hues.
    EXPECT_EQ(w[200], w[8]);
    EXPECT_EQ(w[200], (Rgb{255, 26, 0}));
    EXPECT_EQ(w[255], w[63]);
    EXPECT_EQ(WheelColour(192 + 191), w[191]);  // beyond the table wraps onto the hues
}

TEST(LightTables, LevelsPaletteAndRamps) {
    EXPECT_EQ(LightLevels(), (std::array<std::uint8_t, 5>{0, 80, 135, 195, 255}));
    EXPECT_EQ(LightLevel(-3), 0);
    EXPECT_EQ(LightLevel(9), 255);
    EXPECT_EQ(LightPalette()[0], (Rgb{0, 255, 180}));
    EXPECT_EQ(LightPalette()[3], (Rgb{255, 0, 0}));

    const auto& b = BreathRamp128();
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[11], 12);
    EXPECT_EQ(b[63], 255);
    EXPECT_EQ(b[64], 255);
    EXPECT_EQ(b[116], 12);
    EXPECT_EQ(b[127], 0);

    const auto& w = WaveRamp96();
    EXPECT_EQ(w[0], 22);
    EXPECT_EQ(w[47], 255);
    EXPECT_EQ(w[48], 255);
    EXPECT_EQ(w[95], 22);
}

TEST(LightTables, PeriodsBySpeedAndClamping) {
    const int speeds[] = {0, 1, 2, 3, 4};
    const int step[] = {8, 6, 4, 2, 1};
    const int ripple[] = {16, 12, 8, 4, 2};
    const int cycle[] = {8, 5, 3, 1, 0};
    for (int s : speeds) {
        EXPECT_EQ(StepPeriod(s), step[s]);
        EXPECT_EQ(RipplePeriod(s), ripple[s]);
        EXPECT_EQ(PlayerCyclePeriod(s), cycle[s]);
    }
    EXPECT_EQ(FlashHalfPeriodMs(0), 1600u);
    EXPECT_EQ(FlashHalfPeriodMs(4), 200u);
    EXPECT_EQ(StepPeriod(-1), 8);
    EXPECT_EQ(StepPeriod(200), 1);
    EXPECT_EQ(RipplePeriod(7), 2);
    EXPECT_EQ(FlashHalfPeriodMs(255), 200u);
}

}  // namespace
}  // namespace q417
