#include "devices/MousePageRules.h"

#include <algorithm>

namespace q417 {

int OptionIndex(int value, int optionCount) {
    return value >= 0 && value < optionCount ? value : 0;
}

namespace {

// When exactly one stage check is still selected, it cannot be cleared.
void GuardLastStage(MousePageView& view) {
    int selected = 0;
    int last = -1;
    for (int s = 0; s < kMouseStageCount; ++s) {
        if (view.stages[static_cast<std::size_t>(s)].enableChecked) {
            ++selected;
            last = s;
        }
    }
    if (selected == 1) {
        view.stages[static_cast<std::size_t>(last)].enableEnabled = false;
    }
}

}  // namespace

MousePageView ComputeMousePage(const MousePageInput& input) {
    MousePageView view;
    std::size_t count = std::min<std::size_t>(input.stages.size(), kMouseStageCount);
    for (std::size_t s = 0; s < count; ++s) {
        const DpiStage& stage = input.stages[s];
        DpiStageView& row = view.stages[s];
        bool active = static_cast<int>(s) == input.activeStage;
        row.present = true;
        row.enableChecked = stage.active != 0;
        row.layoutEnabled = row.enableChecked;
        row.dpi = ShownDpi(input.dpiRule, stage.dpiX);
        row.colour = 0xFF000000u | (std::uint32_t{stage.red} << 16) |
                     (std::uint32_t{stage.green} << 8) | stage.blue;
        row.thumbImage = active ? kActiveStageThumb : kStageThumb;
        row.enableEnabled = !active;
        row.selectChecked = active;
        row.editBorder = active ? kActiveStageEditBorder : 0;
    }
    GuardLastStage(view);

    const MouseSystemStages& st = input.settings;
    int code = input.onHighRateReceiver ? st.Half(MouseSystemStages::kReportSelect24K)
                                        : st.Half(MouseSystemStages::kReportSelectUsb);
    view.pollingOption = OptionIndex(code, kPollingOptionCount);
    if (!input.onHighRateReceiver) {
        view.pollingSlider = 6 - view.pollingOption;
    }
    view.highPollingOptionsVisible = input.onHighRateReceiver;
    view.linearCalibrationOption = OptionIndex(st.Half(MouseSystemStages::kLinearCalibration), 2);
    view.liftOffOption = OptionIndex(st.Half(MouseSystemStages::kSilentAltitude), 2);
    view.motionSyncOption = OptionIndex(st.Half(MouseSystemStages::kMotionSync), 2);
    view.sensorLiftOption = OptionIndex(st.Half(MouseSystemStages::kSensorLift), 2);
    view.deepSleepOption = OptionIndex(st.Half(MouseSystemStages::kDeepSleepOff), 2);
    view.keyDelay = st.Half(MouseSystemStages::kKeyDelay);
    view.dormancy = st.Half(MouseSystemStages::kDormancyTime);
    view.antiShake = st.Half(MouseSystemStages::kAntiShake);
    return view;
}

void ShowStage(MousePageView& view, int activeStage, int s, bool on) {
    if (s < 0 || s >= kMouseStageCount) {
        return;
    }
    DpiStageView& row = view.stages[static_cast<std::size_t>(s)];
    row.layoutEnabled = on;
    row.enableChecked = on;
    if (on) {
        for (int k = 0; k < kMouseStageCount; ++k) {
            view.stages[static_cast<std::size_t>(k)].enableEnabled = k != activeStage;
        }
        return;
    }
    GuardLastStage(view);
}

}  // namespace q417
