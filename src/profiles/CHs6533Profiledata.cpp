#include "profiles/CHs6533Profiledata.h"

#include <string>

#include "platform/Trace.h"

namespace q417 {

HeadsetSystemSetStages CHs6533Profiledata::GetSystemSetStages() {
    HeadsetSystemSetStages s{};
    Json::Value& element = MutableElement();
    if (element.isObject()) {
        Json::Value& section = element["SystemSetStages"];
        if (section.isObject()) {
            s.magicEnable = ReadInt(section["MagicEnable"]);
            s.magicType = ReadInt(section["MagicType"]);
            s.eqType = ReadInt(section["EqType"]);
            s.customEqIndex = ReadInt(section["CustomEqSeletIndex"]);
            s.micInSelect = ReadInt(section["MicInSelect"]);
            s.micInValue = ReadInt(section["MicInValue"]);
            s.micMonitorSelect = ReadInt(section["MicMoniterSelect"]);
            s.micMonitorValue = ReadInt(section["MicMoniterValue"]);
        }
    }
    m_stages = s;
    return s;
}

void CHs6533Profiledata::SetSystemSetStages(const HeadsetSystemSetStages& s) {
    m_stages = s;
    Json::Value& section = Member(MutableElement(), "SystemSetStages");
    Member(section, "MagicEnable") = s.magicEnable;
    Member(section, "MagicType") = s.magicType;
    Member(section, "EqType") = s.eqType;
    Member(section, "CustomEqSeletIndex") = s.customEqIndex;
    Member(section, "MicInSelect") = s.micInSelect;
    Member(section, "MicInValue") = s.micInValue;
    Member(section, "MicMoniterSelect") = s.micMonitorSelect;
    Member(section, "MicMoniterValue") = s.micMonitorValue;
}

std::optional<Json::ArrayIndex> CHs6533Profiledata::EqIndexForType(int type) {
    if (type == 13) {
        return std::nullopt;
    }
    if (type >= 1 && type <= 12) {
        return static_cast<Json::ArrayIndex>(type);
    }
    return 1;
}

std::vector<int> CHs6533Profiledata::ReadBands(const char* table, Json::ArrayIndex index) {
    std::vector<int> result(kEqBandCount, 0);
    Json::Value& tables = Member(MutableElement(), table);
    const bool present = tables.isArray() && index < tables.size() && tables[index].isArray();
    if (!present) {
        // A missing table reads as zeros, which are put into the element.
        Json::Value& bands = Item(tables, index);
        for (int b = 0; b < kEqBandCount; ++b) {
            Member(Item(bands, static_cast<Json::ArrayIndex>(b)), "value") = 0;
        }
        return result;
    }
    Json::Value& bands = tables[index];
    for (int b = 0; b < kEqBandCount; ++b) {
        Json::Value& band = Item(bands, static_cast<Json::ArrayIndex>(b));
        if (band.isNull()) {
            band = Json::Value(Json::objectValue);
        }
        result[static_cast<std::size_t>(b)] = ReadInt(Touch(band, "value"));
    }
    return result;
}

void CHs6533Profiledata::WriteBands(const char* table, Json::ArrayIndex index,
                                    const EqBands& values) {
    Json::Value& bands = Item(Member(MutableElement(), table), index);
    for (int b = 0; b < kEqBandCount; ++b) {
        Member(Item(bands, static_cast<Json::ArrayIndex>(b)), "value") =
            values[static_cast<std::size_t>(b)];
    }
}

std::vector<int> CHs6533Profiledata::GetEqBands(int type) {
    auto index = EqIndexForType(type);
    if (!index) {
        return {};
    }
    return ReadBands("EQHzValueInfo", *index);
}

void CHs6533Profiledata::SetEqBands(int type, const EqBands& values) {
    if (auto index = EqIndexForType(type)) {
        WriteBands("EQHzValueInfo", *index, values);
    }
}

std::vector<int> CHs6533Profiledata::GetCustomEqBands(int preset) {
    if (preset < 0 || preset >= kMaxCustomEqPresets) {
        Trace("GetCustomEqBands: preset " + std::to_string(preset) + " out of range");
        return std::vector<int>(kEqBandCount, 0);
    }
    return ReadBands("CustomEQHzValueInfo", static_cast<Json::ArrayIndex>(preset));
}

bool CHs6533Profiledata::SetCustomEqBands(int preset, const EqBands& values) {
    if (preset < 0 || preset >= kMaxCustomEqPresets) {
        Trace("SetCustomEqBands: preset " + std::to_string(preset) + " out of range");
        return false;
    }
    WriteBands("CustomEQHzValueInfo", static_cast<Json::ArrayIndex>(preset), values);
    return true;
}

std::vector<std::string> CHs6533Profiledata::GetCustomEqNames() {
    std::vector<std::string> names;
    Json::Value& element = MutableElement();
    if (!element.isObject()) {
        return names;
    }
    Json::Value& list = element["CustomEQNameInfo"];
    if (!list.isArray()) {
        return names;
    }
    for (Json::Value& entry : list) {
        const Json::Value& name = Touch(entry, "Name");
        names.push_back(name.isString() ? name.asString() : std::string());
    }
    return names;
}

void CHs6533Profiledata::SetCustomEqNames(const std::vector<std::string>& names) {
    Json::Value list(Json::arrayValue);
    for (const std::string& n : names) {
        Json::Value entry(Json::objectValue);
        entry["Name"] = n;
        list.append(std::move(entry));
    }
    Member(MutableElement(), "CustomEQNameInfo") = std::move(list);
}

}  // namespace q417
