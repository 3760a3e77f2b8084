// The mouse record's byte layout, the DPI rules of both sensor kinds, and the page rules.
#include <gtest/gtest.h>

#include <numeric>

#include "devices/DpiEncoding.h"
#include "devices/MousePageRules.h"
#include "devices/MouseRecord.h"

namespace q417 {
namespace {

TEST(MouseRecordLayout, FieldsSitAtTheirOffsets) {
    std::array<uint8_t, kMouseRecordSize> raw{};
    std::iota(raw.begin(), raw.end(), uint8_t{100});
    MouseRecord r = MouseRecord::FromBytes(raw);
    EXPECT_EQ(r.ProfileByte(), 100);
    EXPECT_EQ(r.Light(), (MouseRecordLight{101, 102, 103, 104, 105, 106, 107, 108}));
    EXPECT_EQ(r.PollingRate(), 111);
    EXPECT_EQ(r.ActiveStage(), 112);
    DpiStage s2 = r.Stage(2);  // bytes 32-40
    EXPECT_EQ(s2.active, 132);
    EXPECT_EQ(s2.xy, 133);
    EXPECT_EQ(s2.dpiX, 134 | (135 << 8));
    EXPECT_EQ(s2.dpiY, 136 | (137 << 8));
    EXPECT_EQ(s2.blue, 140);
    EXPECT_EQ(r.LinearCalibration(), 177);
    EXPECT_EQ(r.LiftOff(), 178);
    EXPECT_EQ(r.Stage(6), DpiStage{});
}

TEST(MouseRecordLayout, WritesTouchOnlyTheirBytes) {
    std::array<uint8_t, kMouseRecordSize> raw{};
    raw.fill(0xEE);
    MouseRecord r = MouseRecord::FromBytes(raw);
    r.SetLight(MouseRecordLight{1, 2, 3, 4, 5, 6, 7, 8});
    r.SetStage(5, DpiStage{1, 0, 0x1234, 0x5678, 9, 10, 11});
    r.SetStage(6, DpiStage{1, 1, 1, 1, 1, 1, 1});  // no seventh stage: nothing written
    for (std::size_t i = 0; i < kMouseRecordSize; ++i) {
        if (i >= 1 && i <= 8) {
            EXPECT_EQ(r.bytes[i], i) << i;
        } else if (i == 9) {
            EXPECT_EQ(r.bytes[i], 0);
        } else if (i >= 59 && i < 68) {
            continue;
        } else {
            EXPECT_EQ(r.bytes[i], 0xEE) << i;
        }
    }
    EXPECT_EQ(r.bytes[61], 0x34);
    EXPECT_EQ(r.bytes[62], 0x12);
    EXPECT_EQ(r.bytes[67], 11);
}

TEST(DpiRules, SteppedSensor) {
    DpiRule rule{0x3395, 50, 50};
    EXPECT_EQ(ShownDpi(rule, 31), 1600);
    EXPECT_EQ(DpiToStored(rule, NormaliseDpi(1620)), 32);
    EXPECT_EQ(DpiToStored(rule, NormaliseDpi(50)), 0);
    // Below the lowest DPI stores 0 rather than a wrapped negative value.
    EXPECT_EQ(DpiToStored(DpiRule{0x3395, 100, 400}, 50), 0);
    // A step of 0 would divide by zero: the DPI is stored itself.
    EXPECT_EQ(DpiToStored(DpiRule{0x3395, 0, 50}, 800), 800);
    EXPECT_EQ(StoredToDpi(DpiRule{0x3395, 0, 50}, 800), 800);
}

TEST(DpiRules, PlainSensorAndClamps) {
    DpiRule rule{0x3325, 50, 50};
    EXPECT_EQ(DpiToStored(rule, NormaliseDpi(20)), 50);
    EXPECT_EQ(DpiToStored(rule, NormaliseDpi(30000)), 26000);
    EXPECT_EQ(NormaliseDpi(26001), 26000);
    EXPECT_EQ(NormaliseDpi(1601), 1650);
    EXPECT_EQ(NormaliseDpi(-5), 50);
    EXPECT_EQ(StoredToDpi(rule, 1234), 1234);
    EXPECT_EQ(ShownDpi(rule, 1234), 1250);
}

TEST(DpiRules, StageInRangeClampsOnlyWhatIsOutOfRange) {
    const DpiRule stepped{0x3395, 50, 50};
    DpiStage s{1, 0, 0xFFFF, 31, 1, 2, 3};
    DpiStage in = StageInRange(stepped, s);
    EXPECT_EQ(StoredToDpi(stepped, in.dpiX), 26000);
    EXPECT_EQ(in.dpiY, 31);  // 1600 stays as it was
    EXPECT_EQ(in.red, 1);
    const DpiRule plain{0x3325, 50, 50};
    in = StageInRange(plain, DpiStage{1, 0, 0, 0xFFFF, 0, 0, 0});
    EXPECT_EQ(in.dpiX, 50);
    EXPECT_EQ(in.dpiY, 26000);
}

MousePageInput SixStages(int active) {
    MousePageInput in;
    for (int s = 0; s < 6; ++s) {
        in.stages.push_back(DpiStage{1, 0, static_cast<uint16_t>(800 + 100 * s), 0, 0x11, 0x22,
                                     static_cast<uint8_t>(s)});
    }
    in.activeStage = active;
    in.dpiRule = DpiRule{0x3325, 50, 50};
    return in;
}

TEST(MousePage, ActiveStageLooksDifferentAndCannotBeDisabled) {
    MousePageView v = ComputeMousePage(SixStages(2));
    for (int s = 0; s < 6; ++s) {
        const DpiStageView& row = v.stages[s];
        EXPECT_TRUE(row.present);
        EXPECT_EQ(row.selectChecked, s == 2);
        EXPECT_EQ(row.enableEnabled, s != 2);
        EXPECT_EQ(row.thumbImage, s == 2 ? kActiveStageThumb : kStageThumb);
        EXPECT_EQ(row.editBorder, s == 2 ? kActiveStageEditBorder : 0u);
        EXPECT_EQ(row.colour, 0xFF112200u + static_cast<uint32_t>(s));
    }
    EXPECT_EQ(v.stages[3].dpi, 1100);
}

TEST(MousePage, PollingOptionsAndTwoWayGroups) {
    MousePageInput in = SixStages(0);
    in.settings.SetHalf(MouseSystemStages::kReportSelectUsb, 7);
    in.settings.SetHalf(MouseSystemStages::kReportSelect24K, 5);
    in.settings.SetHalf(MouseSystemStages::kSilentAltitude, 2);
    in.settings.SetHalf(MouseSystemStages::kLinearCalibration, 1);
    MousePageView v = ComputeMousePage(in);
    EXPECT_EQ(v.pollingOption, 0);  // code 7 has no option
    EXPECT_EQ(v.pollingSlider, 6);
    EXPECT_FALSE(v.highPollingOptionsVisible);
    EXPECT_EQ(v.liftOffOption, 0);
    EXPECT_EQ(v.linearCalibrationOption, 1);
    in.onHighRateReceiver = true;
    v = ComputeMousePage(in);
    EXPECT_EQ(v.pollingOption, 5);
    EXPECT_TRUE(v.highPollingOptionsVisible);
}

TEST(MousePage, StageSwitchKeepsTheLastActiveStage) {
    MousePageInput in = SixStages(0);
    for (int s = 2; s < 6; ++s) {
        in.stages[s].active = 0;
    }
    MousePageView v = ComputeMousePage(in);
    EXPECT_FALSE(v.stages[3].layoutEnabled);
    // Switching stage 1 off leaves stage 0 as the only one: its check is disabled.
    ShowStage(v, 0, 1, false);
    EXPECT_FALSE(v.stages[1].enableChecked);
    EXPECT_FALSE(v.stages[1].layoutEnabled);
    EXPECT_FALSE(v.stages[0].enableEnabled);
    // Switching stage 4 on enables every check again but the active stage's.
    v.stages[3].enableEnabled = false;
    ShowStage(v, 0, 4, true);
    EXPECT_TRUE(v.stages[4].layoutEnabled);
    EXPECT_TRUE(v.stages[3].enableEnabled);
    EXPECT_FALSE(v.stages[0].enableEnabled);
}

}  // namespace
}  // namespace q417
