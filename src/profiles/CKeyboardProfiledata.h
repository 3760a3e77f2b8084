#pragma once
// Profile data of the keyboard: settings words and the custom per-key colour groups.
#include <vector>

#include "profiles/CBasicProfiledata.h"

namespace q417 {

class CKeyboardProfiledata : public CBasicProfiledata {
public:
    // Custom colour groups a profile can hold; a group number from a file or the device outside
    // this range is refused rather than used to grow the group array.
    static constexpr int kCustomLightGroupCount = 10;
    // Upper bound of keys per group (a 512-byte device page holds 170 RGB triples).
    static constexpr int kMaxCustomLightKeys = 512;

    KeyboardSystemStages GetSystemStages();
    void SetSystemStages(std::uint32_t word1, std::uint32_t word2, std::uint32_t word3);
    void SetSystemStages(const KeyboardSystemStages& stages) {
        SetSystemStages(stages.words[0], stages.words[1], stages.words[2]);
    }

    // Always count colours; null or missing key entries are filled with zero colours in the
    // element. A group outside 0..kCustomLightGroupCount-1 gives zero colours and changes nothing.
    std::vector<RgbaColor> GetCustomLightColors(int group, int count);
    // False (nothing changed) for a group out of range.
    bool SetCustomLightColors(const std::vector<RgbaColor>& colors, int group);

    // The stored group number; a value out of range reads as 0.
    int GetCustomLightGroup();
    bool SetCustomLightGroup(int group);

    const KeyboardSystemStages& SystemStages() const { return m_systemStages; }
    const std::vector<RgbaColor>& CustomLightColors() const { return m_customColors; }
    int CustomLightGroup() const { return m_customGroup; }

private:
    KeyboardSystemStages m_systemStages;
    std::vector<RgbaColor> m_customColors;
    int m_customGroup = 0;
};

}  // namespace q417
