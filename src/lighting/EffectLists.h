#pragma once
// A device's light effect lists (names, visibility, device codes, area names, user effect names)
// from "default_light.json" and "zyrel_light.config", and the translation between an effect
// index and the effect code the device stores in its record.
#include <json/json.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace q417 {

struct EffectLists {
    std::vector<std::string> names;  // built-in effect names (UTF-8), in effect-index order
    std::vector<bool> visible;       // whether the editor offers the effect
    std::vector<int> codes;          // device effect code of each built-in effect
    std::vector<std::string> areaNames;
    std::vector<std::string> userEffectNames;  // user effects, listed after the built-in ones
};

// Refills the lists of profile number `profileNumber` from the default list and the light
// configuration. A file that is missing or does not parse, or that lacks the array for the
// profile number, leaves its lists exactly as they were; a present array replaces them.
void ReloadLightNameLists(EffectLists& lists, int profileNumber,
                          const std::string& defaultLightPath, const std::string& lightConfigPath);

// The same from documents already parsed ("DefaultLightName"/"AreaLightName", "LightInfo").
// Values of the wrong type count as absent: a non-array element keeps its lists, a member of
// the wrong type gives "", false or code 0 so the three built-in lists stay aligned.
void ApplyDefaultLightDocument(EffectLists& lists, int profileNumber, const Json::Value& document);
void ApplyLightConfigDocument(EffectLists& lists, int profileNumber, const Json::Value& document);

// How a device class turns an effect index into the code it sends.
enum class EffectRange {
    Mouse,     // index above 11 or beyond the list: the code of index 0
    Keyboard,  // index must lie inside the list; codes 29 and 30 (direct modes) go out as 0xFE
    Other,     // index beyond the list: the code of index 0 (device caps are the caller's)
};

inline constexpr int kMouseMaxEffectIndex = 11;
inline constexpr std::uint8_t kKeyboardDirectModeCode = 0xFE;

// The device effect code for `index`; none when the list is empty (the caller then keeps the
// record byte as last read) or, on a keyboard, when the index is outside the list.
std::optional<std::uint8_t> EffectCode(const EffectLists& lists, int index, EffectRange range);

// The first effect index whose code is `code`; none when no entry has it.
std::optional<int> EffectIndex(const EffectLists& lists, int code);

}  // namespace q417
