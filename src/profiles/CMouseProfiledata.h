#pragma once
// Profile data of the mouse: DPI stages and the settings record.
#include <cstdint>
#include <functional>
#include <vector>

#include "profiles/CBasicProfiledata.h"

namespace q417 {

// A profile holds each stage's X and Y as the mouse stores them, which depends on the sensor. The
// profile template cannot know the sensor, so it keeps plain DPI values and says so: its
// "DPIStages" carries "StageDPIUnit": "dpi". Every copy of a template element (a new, reset or
// rebuilt profile) keeps that mark until the mouse converts the stages with its own rule.
inline constexpr const char* kStageUnitKey = "StageDPIUnit";
inline constexpr const char* kStageUnitPlainDpi = "dpi";

class CMouseProfiledata : public CBasicProfiledata {
public:
    // Reads "DPIStages" and merges the stages read into the stored list: stage j replaces stored
    // stage j or is appended; stored stages beyond those read stay. Returns the stored list.
    std::vector<DpiStage> GetDpiStages();
    // Also drops the plain-DPI mark: the stages written are stored values.
    void SetDpiStages(const std::vector<DpiStage>& stages);
    void SetActiveDpiStage(int n);
    // Last value read by GetDpiStages or set by SetActiveDpiStage (as stored; not range-checked).
    int GetActiveDpiStage() const { return m_activeStage; }

    // True when the element's stages are plain DPI values (marked as a template's are).
    bool StagesInPlainDpi() const;
    // Turns plain-DPI stages into stored values with toStored, drops the mark and reads the
    // stages again. False, changing nothing, when the stages are not marked as plain DPI.
    bool ConvertPlainDpiStages(const std::function<std::uint16_t(int dpi)>& toStored);

    // True when element has "DPIStages"."StageDPIs" and each stage's X and Y is an integer in
    // lowest..highest.
    static bool StagesWithin(const Json::Value& element, int lowest, int highest);

    MouseSystemStages GetSystemStages();
    void SetSystemStages(const MouseSystemStages& stages);

    const std::vector<DpiStage>& DpiStages() const { return m_dpiStages; }
    const MouseSystemStages& SystemStages() const { return m_systemStages; }

private:
    std::vector<DpiStage> m_dpiStages;
    int m_activeStage = 0;
    MouseSystemStages m_systemStages;
};

}  // namespace q417
