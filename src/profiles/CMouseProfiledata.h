#pragma once
// Profile data of the mouse: DPI stages and the settings record.
#include <vector>

#include "profiles/CBasicProfiledata.h"

namespace q417 {

class CMouseProfiledata : public CBasicProfiledata {
public:
    // Reads "DPIStages" and merges the stages read into the stored list: stage j replaces stored
    // stage j or is appended; stored stages beyond those read stay. Returns the stored list.
    std::vector<DpiStage> GetDpiStages();
    void SetDpiStages(const std::vector<DpiStage>& stages);
    void SetActiveDpiStage(int n);
    // Last value read by GetDpiStages or set by SetActiveDpiStage (as stored; not range-checked).
    int GetActiveDpiStage() const { return m_activeStage; }

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
