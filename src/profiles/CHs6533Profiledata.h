#pragma once
// Profile data of the headset: its eight settings, the equaliser tables and custom presets.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "profiles/CBasicProfiledata.h"

namespace q417 {

class CHs6533Profiledata : public CBasicProfiledata {
public:
    static constexpr int kEqBandCount = 10;
    // Custom presets a headset keeps; a preset index outside 0..19 is refused.
    static constexpr int kMaxCustomEqPresets = 20;
    using EqBands = std::array<int, kEqBandCount>;

    HeadsetSystemSetStages GetSystemSetStages();
    void SetSystemSetStages(const HeadsetSystemSetStages& stages);

    // Index into "EQHzValueInfo" for an equaliser type: 1-12 themselves, 13 (custom) none, every
    // other value 1.
    static std::optional<Json::ArrayIndex> EqIndexForType(int type);

    // Ten band values, or an empty list for type 13. Missing tables are filled with zeros in the
    // element.
    std::vector<int> GetEqBands(int type);
    void SetEqBands(int type, const EqBands& values);

    std::vector<std::string> GetCustomEqNames();
    void SetCustomEqNames(const std::vector<std::string>& names);

    // Ten band values of a custom preset; a preset out of range gives zeros and changes nothing.
    std::vector<int> GetCustomEqBands(int preset);
    bool SetCustomEqBands(int preset, const EqBands& values);

    const HeadsetSystemSetStages& SystemSetStages() const { return m_stages; }

private:
    std::vector<int> ReadBands(const char* table, Json::ArrayIndex index);
    void WriteBands(const char* table, Json::ArrayIndex index, const EqBands& values);

    HeadsetSystemSetStages m_stages;
};

}  // namespace q417
