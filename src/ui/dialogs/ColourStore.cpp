#include "ui/dialogs/ColourStore.h"

#include <json/json.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/Folders.h"
#include "platform/Trace.h"
#include "profiles/CJsonFile.h"

namespace q417::ui {

namespace {

constexpr const char* kRoot = "coloroptioninfo";
constexpr const char* kPresets = "palletDialogcoloroption";
constexpr const char* kPresetSelect = "palletDialogcoloroption_selectitem";
constexpr const char* kCollected = "palletDialogcollectcoloroption";
constexpr const char* kCollectSelect = "palletDialogcollectcoloroption_selectitem";

// An index member in range, or nothing.
bool ReadIndex(const Json::Value& info, const char* name, int& out) {
    const Json::Value& v = info[name];
    if (!v.isInt()) {
        return false;
    }
    const int index = v.asInt();
    if (index < -1 || index >= kColourOptionCount) {
        return false;
    }
    out = index;
    return true;
}

bool ReadColourMember(const Json::Value& item, std::uint32_t& out) {
    if (!item.isObject() || !item["color"].isString()) {
        return false;
    }
    out = ParseColourText(item["color"].asString());
    return true;
}

}  // namespace

std::string ColourStorePath() {
    return UserDataFolder() + "color_option_info.config";
}

std::uint32_t ParseColourText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) {
        return 0;
    }
    // Base 16 only: no sign, no prefix left, every character a hex digit.
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size() || text.front() == '-' ||
        text.front() == '+') {
        return 0;
    }
    return value;
}

std::string FormatColourText(std::uint32_t argb) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(argb));
    return text;
}

bool ReadColourStore(ColourOptions& options) {
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Ok;
    const Json::Value doc = CJsonFile::ReadDocument(ColourStorePath(), state);
    if (state != CJsonFile::DocumentState::Ok) {
        if (state == CJsonFile::DocumentState::Unreadable) {
            Trace("colour store: unreadable, the layout's colours stand");
        }
        return false;
    }
    if (!doc.isObject() || !doc[kRoot].isObject()) {
        return false;
    }
    const Json::Value& info = doc[kRoot];

    const Json::Value& presets = info[kPresets];
    if (presets.isArray()) {
        const int n = std::min<int>(static_cast<int>(presets.size()), kColourOptionCount);
        for (int i = 0; i < n; ++i) {
            ReadColourMember(presets[i], options.presets[static_cast<std::size_t>(i)]);
        }
    }
    ReadIndex(info, kPresetSelect, options.presetSelect);

    const Json::Value& collected = info[kCollected];
    if (collected.isArray()) {
        const int n = std::min<int>(static_cast<int>(collected.size()), kColourOptionCount);
        for (int i = 0; i < n; ++i) {
            const auto slot = static_cast<std::size_t>(i);
            const Json::Value& item = collected[i];
            ReadColourMember(item, options.collected[slot]);
            if (item.isObject() && item["UserData"].isString()) {
                options.collectedFilled[slot] = item["UserData"].asString() == "1";
            }
        }
    }
    ReadIndex(info, kCollectSelect, options.collectSelect);
    return true;
}

bool WriteColourStore(const ColourOptions& options) {
    const std::string path = ColourStorePath();
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Ok;
    Json::Value doc = CJsonFile::ReadDocument(path, state);
    if (state == CJsonFile::DocumentState::Unreadable) {
        // Whatever the user had stays on disk under another name.
        CJsonFile::KeepAside(path);
    }
    if (!doc.isObject()) {
        doc = Json::Value(Json::objectValue);
    }
    if (!doc[kRoot].isObject()) {
        doc[kRoot] = Json::Value(Json::objectValue);
    }
    Json::Value& info = doc[kRoot];

    Json::Value presets(Json::arrayValue);
    Json::Value collected(Json::arrayValue);
    for (std::size_t i = 0; i < kColourOptionCount; ++i) {
        Json::Value preset(Json::objectValue);
        preset["color"] = FormatColourText(options.presets[i]);
        presets.append(preset);
        Json::Value slot(Json::objectValue);
        slot["color"] = FormatColourText(options.collected[i]);
        slot["UserData"] = options.collectedFilled[i] ? "1" : "0";
        collected.append(slot);
    }
    info[kPresets] = presets;
    info[kPresetSelect] = options.presetSelect;
    info[kCollected] = collected;
    info[kCollectSelect] = options.collectSelect;

    if (!CJsonFile::WriteDocument(path, doc)) {
        Trace("colour store: write failed");
        return false;
    }
    return true;
}

}  // namespace q417::ui
