#pragma once
// What the mouse page shows, computed as data: which DPI stage controls are enabled and selected,
// which slider thumb each stage gets, the polling-rate option and slider, and the option groups.
// The Qt page only applies this; the rules are tested without a display.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/DpiEncoding.h"
#include "devices/MouseRecord.h"
#include "profiles/ProfileRecords.h"

namespace q417 {

inline constexpr const char* kActiveStageThumb = "Control/SliderBar1_Thumb.png";
inline constexpr const char* kStageThumb = "Control/SliderBar2_Thumb.png";
inline constexpr std::uint32_t kActiveStageEditBorder = 0xFF06FF00;
inline constexpr int kPollingOptionCount = 6;

// One stage row ("DPI_layout_" + s and its controls).
struct DpiStageView {
    bool present = false;        // s < number of stages in the profile
    bool enableChecked = false;  // "DPI_enable_check_" selected
    bool enableEnabled = true;   // "DPI_enable_check_" can be clicked
    bool selectChecked = false;  // "DPI_select_check_"
    bool layoutEnabled = false;  // "DPI_layout_"
    int dpi = kMinDpi;           // "DPI_slider_" and "DPI_edit_"
    std::uint32_t colour = 0;    // "DPI_color_option_": 0xFF000000 + RGB
    std::string thumbImage = kStageThumb;
    std::uint32_t editBorder = 0;  // 0: none

    bool operator==(const DpiStageView&) const = default;
};

struct MousePageView {
    std::array<DpiStageView, kMouseStageCount> stages{};
    int sliderMin = kMinDpi;
    int sliderMax = kMaxDpi;
    int pollingOption = 0;                   // "polling_rate_option_" + n
    int pollingSlider = 6;                   // "polling_rate_slider" = 6 − code
    bool highPollingOptionsVisible = false;  // "polling_rate_option_4" and "_5"
    int linearCalibrationOption = 0;         // "Linear_Calibration_option_"
    int liftOffOption = 0;                   // "Silent_Altitude_option_"
    int motionSyncOption = 0;                // "motion_sync_option_"
    int sensorLiftOption = 0;                // "sensor_lif_option_"
    int deepSleepOption = 0;                 // "deep_sleep_option_"
    int keyDelay = 0;                        // "Key_Delay_slider" / "Key_Delay_combo_timeSelect"
    int dormancy = 0;                        // "Dormancy_slider" / "Dormancy_combo_timeSelect"
    int antiShake = 0;                       // "Anti_Shake_combo_timeSelect"

    bool operator==(const MousePageView&) const = default;
};

struct MousePageInput {
    std::vector<DpiStage> stages;
    int activeStage = 0;
    MouseSystemStages settings;
    DpiRule dpiRule;
    // The mouse is reached through the receiver 0x7103, which has its own polling-rate setting
    // and the two extra options.
    bool onHighRateReceiver = false;
};

// Option index shown for a stored value: in range it is the value, otherwise option 0.
int OptionIndex(int value, int optionCount);

MousePageView ComputeMousePage(const MousePageInput& input);

// The stage switch: stage s turned on or off. Updates the row's layout and check, and keeps the
// last active stage from being switched off (its check is disabled). Turning a stage on enables
// again the checks that were disabled only for being the last one; the active stage's check
// stays disabled.
void ShowStage(MousePageView& view, int activeStage, int s, bool on);

}  // namespace q417
