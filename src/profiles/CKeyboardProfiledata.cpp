#include "profiles/CKeyboardProfiledata.h"

#include <algorithm>
#include <string>

#include "platform/Trace.h"

namespace q417 {
namespace {

bool GroupInRange(int group) {
    return group >= 0 && group < CKeyboardProfiledata::kCustomLightGroupCount;
}

void SetColorMembers(Json::Value& entry, const RgbaColor& c) {
    if (!entry.isObject()) {
        entry = Json::Value(Json::objectValue);
    }
    entry["Red"] = int{c.red};
    entry["Green"] = int{c.green};
    entry["Blue"] = int{c.blue};
    entry["Alpha"] = int{c.alpha};
}

}  // namespace

KeyboardSystemStages CKeyboardProfiledata::GetSystemStages() {
    KeyboardSystemStages s{};
    Json::Value& element = MutableElement();
    if (element.isObject()) {
        Json::Value& section = element["SystemStages"];
        if (section.isObject()) {
            s.words[0] = MakeWord(ReadU16(section["Repeat"]), ReadU16(section["RepeatDelay"]));
            s.words[1] = MakeWord(ReadU16(section["Key6Flag"]), ReadU16(section["PollingRate"]));
            s.words[2] = MakeWord(ReadU16(section["WFlag"]), ReadU16(section["WinFlag"]));
        }
    }
    m_systemStages = s;
    return s;
}

void CKeyboardProfiledata::SetSystemStages(std::uint32_t word1, std::uint32_t word2,
                                           std::uint32_t word3) {
    m_systemStages.words = {word1, word2, word3};
    Json::Value& section = Member(MutableElement(), "SystemStages");
    Member(section, "Repeat") = int{LowHalf(word1)};
    Member(section, "RepeatDelay") = int{HighHalf(word1)};
    Member(section, "Key6Flag") = int{LowHalf(word2)};
    Member(section, "PollingRate") = int{HighHalf(word2)};
    Member(section, "WFlag") = int{LowHalf(word3)};
    Member(section, "WinFlag") = int{HighHalf(word3)};
}

std::vector<RgbaColor> CKeyboardProfiledata::GetCustomLightColors(int group, int count) {
    count = std::clamp(count, 0, kMaxCustomLightKeys);
    std::vector<RgbaColor> result;
    result.reserve(static_cast<std::size_t>(count));
    if (!GroupInRange(group)) {
        Trace("GetCustomLightColors: group " + std::to_string(group) + " out of range");
        result.assign(static_cast<std::size_t>(count), RgbaColor{});
        m_customColors = result;
        return result;
    }
    Json::Value& groups = Member(Member(MutableElement(), "CustomLightMode"), "LightColorInfo");
    Json::Value& keys = Item(groups, static_cast<Json::ArrayIndex>(group));
    const bool groupAbsent = !keys.isArray();
    for (int j = 0; j < count; ++j) {
        Json::Value& entry = Item(keys, static_cast<Json::ArrayIndex>(j));
        if (groupAbsent || !entry.isObject()) {
            SetColorMembers(entry, RgbaColor{});
            result.push_back(RgbaColor{});
            continue;
        }
        result.push_back(RgbaColor{ReadU8(entry["Red"]), ReadU8(entry["Green"]),
                                   ReadU8(entry["Blue"]), ReadU8(entry["Alpha"])});
    }
    m_customColors = result;
    return result;
}

bool CKeyboardProfiledata::SetCustomLightColors(const std::vector<RgbaColor>& colors, int group) {
    if (!GroupInRange(group)) {
        Trace("SetCustomLightColors: group " + std::to_string(group) + " out of range");
        return false;
    }
    m_customColors = colors;
    if (m_customColors.size() > static_cast<std::size_t>(kMaxCustomLightKeys)) {
        m_customColors.resize(static_cast<std::size_t>(kMaxCustomLightKeys));
    }
    Json::Value& groups = Member(Member(MutableElement(), "CustomLightMode"), "LightColorInfo");
    Json::Value& keys = Item(groups, static_cast<Json::ArrayIndex>(group));
    for (std::size_t j = 0; j < m_customColors.size(); ++j) {
        SetColorMembers(Item(keys, static_cast<Json::ArrayIndex>(j)), m_customColors[j]);
    }
    return true;
}

int CKeyboardProfiledata::GetCustomLightGroup() {
    int group = 0;
    Json::Value& element = MutableElement();
    if (element.isObject()) {
        Json::Value& section = element["CustomLightMode"];
        if (section.isObject()) {
            group = ReadInt(section["CustomLightModeGroupIndex"]);
        }
    }
    if (!GroupInRange(group)) {
        Trace("GetCustomLightGroup: stored group " + std::to_string(group) + " read as 0");
        group = 0;
    }
    m_customGroup = group;
    return group;
}

bool CKeyboardProfiledata::SetCustomLightGroup(int group) {
    if (!GroupInRange(group)) {
        Trace("SetCustomLightGroup: group " + std::to_string(group) + " out of range");
        return false;
    }
    m_customGroup = group;
    Member(Member(MutableElement(), "CustomLightMode"), "CustomLightModeGroupIndex") = group;
    return true;
}

}  // namespace q417
