#include "lighting/EffectLists.h"

#include <algorithm>

#include "platform/Trace.h"
#include "profiles/CJsonFile.h"

namespace q417 {

namespace {

const Json::Value& NullValue() {
    static const Json::Value kNull;
    return kNull;
}

// Tolerant member access: anything but an object has no members.
const Json::Value& Member(const Json::Value& v, const char* key) {
    if (!v.isObject()) {
        return NullValue();
    }
    const Json::Value* found = v.find(key, key + std::char_traits<char>::length(key));
    return found != nullptr ? *found : NullValue();
}

// document[key][n] when both levels are arrays and n lies inside; null otherwise.
const Json::Value& PerProfileArray(const Json::Value& document, const char* key, int n) {
    const Json::Value& outer = Member(document, key);
    if (!outer.isArray() || n < 0 || static_cast<Json::ArrayIndex>(n) >= outer.size()) {
        return NullValue();
    }
    const Json::Value& inner = outer[static_cast<Json::ArrayIndex>(n)];
    return inner.isArray() ? inner : NullValue();
}

std::string NameOf(const Json::Value& entry) {
    const Json::Value& name = Member(entry, "LightName");
    return name.isString() ? name.asString() : std::string();
}

bool VisibleOf(const Json::Value& entry) {
    const Json::Value& v = Member(entry, "visible");
    if (v.isBool()) {
        return v.asBool();
    }
    // Hand-edited files often write 0/1.
    if (v.isInt64()) {
        return v.asInt64() != 0;
    }
    return false;
}

int CodeOf(const Json::Value& entry) {
    const Json::Value& v = Member(entry, "value");
    return v.isInt() ? v.asInt() : 0;
}

}  // namespace

void ApplyDefaultLightDocument(EffectLists& lists, int profileNumber, const Json::Value& document) {
    const Json::Value& effects = PerProfileArray(document, "DefaultLightName", profileNumber);
    if (effects.isArray()) {
        lists.names.clear();
        lists.visible.clear();
        lists.codes.clear();
        lists.names.reserve(effects.size());
        lists.visible.reserve(effects.size());
        lists.codes.reserve(effects.size());
        for (const Json::Value& entry : effects) {
            lists.names.push_back(NameOf(entry));
            lists.visible.push_back(VisibleOf(entry));
            lists.codes.push_back(CodeOf(entry));
        }
    }
    const Json::Value& areas = PerProfileArray(document, "AreaLightName", profileNumber);
    if (areas.isArray()) {
        lists.areaNames.clear();
        lists.areaNames.reserve(areas.size());
        for (const Json::Value& entry : areas) {
            lists.areaNames.push_back(NameOf(entry));
        }
    }
}

void ApplyLightConfigDocument(EffectLists& lists, int profileNumber, const Json::Value& document) {
    const Json::Value& effects = PerProfileArray(document, "LightInfo", profileNumber);
    if (!effects.isArray()) {
        return;
    }
    lists.userEffectNames.clear();
    lists.userEffectNames.reserve(effects.size());
    for (const Json::Value& entry : effects) {
        lists.userEffectNames.push_back(NameOf(entry));
    }
}

void ReloadLightNameLists(EffectLists& lists, int profileNumber,
                          const std::string& defaultLightPath, const std::string& lightConfigPath) {
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Ok;
    Json::Value defaults = CJsonFile::ReadDocument(defaultLightPath, state);
    if (state == CJsonFile::DocumentState::Unreadable) {
        Trace("ReloadLightNameLists: unreadable default light list " + defaultLightPath);
    }
    ApplyDefaultLightDocument(lists, profileNumber, defaults);

    if (!lightConfigPath.empty()) {
        Json::Value config = CJsonFile::ReadDocument(lightConfigPath, state);
        if (state == CJsonFile::DocumentState::Unreadable) {
            Trace("ReloadLightNameLists: unreadable light configuration " + lightConfigPath);
        }
        ApplyLightConfigDocument(lists, profileNumber, config);
    }
}

std::optional<std::uint8_t> EffectCode(const EffectLists& lists, int index, EffectRange range) {
    const auto& codes = lists.codes;
    if (codes.empty()) {
        return std::nullopt;
    }
    const bool inside = index >= 0 && static_cast<std::size_t>(index) < codes.size();
    switch (range) {
        case EffectRange::Mouse:
            if (!inside || index > kMouseMaxEffectIndex) {
                return static_cast<std::uint8_t>(codes.front());
            }
            return static_cast<std::uint8_t>(codes[static_cast<std::size_t>(index)]);
        case EffectRange::Keyboard: {
            if (!inside) {
                return std::nullopt;
            }
            const int code = codes[static_cast<std::size_t>(index)];
            if (code == 29 || code == 30) {
                return kKeyboardDirectModeCode;
            }
            return static_cast<std::uint8_t>(code);
        }
        case EffectRange::Other:
            break;
    }
    return static_cast<std::uint8_t>(inside ? codes[static_cast<std::size_t>(index)]
                                            : codes.front());
}

std::optional<int> EffectIndex(const EffectLists& lists, int code) {
    const auto it = std::find(lists.codes.begin(), lists.codes.end(), code);
    if (it == lists.codes.end()) {
        return std::nullopt;
    }
    return static_cast<int>(it - lists.codes.begin());
}

}  // namespace q417
