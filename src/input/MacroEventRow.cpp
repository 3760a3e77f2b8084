#include "input/MacroEventRow.h"

#include <algorithm>
#include <cmath>

namespace q417 {

int64_t ParseLeadingNumber(std::string_view text, int64_t lo, int64_t hi) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    // Saturate while reading so a long run of digits cannot overflow.
    constexpr int64_t kCap = int64_t{1} << 40;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(kCap, value * 10 + (text[i] - '0'));
    }
    return std::clamp(negative ? -value : value, lo, hi);
}

std::optional<int64_t> JsonNumber(const Json::Value& value, int64_t lo, int64_t hi) {
    if (value.isInt64()) {
        return std::clamp<int64_t>(value.asInt64(), lo, hi);
    }
    if (value.isUInt64()) {
        return hi;  // above every int64 value
    }
    if (value.isDouble()) {
        double d = value.asDouble();
        if (std::isnan(d)) {
            return lo;
        }
        return static_cast<int64_t>(
            std::clamp(std::trunc(d), static_cast<double>(lo), static_cast<double>(hi)));
    }
    if (value.isString()) {
        return ParseLeadingNumber(value.asString(), lo, hi);
    }
    return std::nullopt;
}

Json::Value MacroEventToJson(const MacroEvent& event, DelayForm form) {
    Json::Value v(Json::objectValue);
    v["Action"] = event.down ? "down" : "up";
    v["Button"] = Json::Int(event.button);
    if (form == DelayForm::String) {
        v["Delay"] = std::to_string(event.delay);
    } else {
        v["Delay"] = Json::Int(event.delay);
    }
    v["Type"] = Json::Int(event.type);
    return v;
}

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

std::optional<MacroEvent> MacroEventFromJson(const Json::Value& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    MacroEvent e;
    const Json::Value& action = value["Action"];
    e.down = action.isString() && EqualsNoCase(action.asString(), "down");
    e.type = static_cast<uint8_t>(JsonNumber(value["Type"], 0, 255).value_or(0));
    e.button = static_cast<uint8_t>(JsonNumber(value["Button"], 0, 255).value_or(0));
    e.delay = static_cast<uint16_t>(JsonNumber(value["Delay"], 0, kMaxEventDelay).value_or(0));
    return e;
}

std::array<uint8_t, kEncodedEventSize> EncodeMacroEvent(const MacroEvent& event) {
    return {static_cast<uint8_t>(event.delay & 0xFF), static_cast<uint8_t>(event.delay >> 8),
            static_cast<uint8_t>(event.type | (event.down ? kEventDownBit : 0)), event.button};
}

MacroEvent DecodeMacroEvent(const std::array<uint8_t, kEncodedEventSize>& bytes) {
    MacroEvent e;
    e.delay = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    e.down = (bytes[2] & kEventDownBit) != 0;
    e.type = static_cast<uint8_t>(bytes[2] & ~kEventDownBit);
    e.button = bytes[3];
    return e;
}

}  // namespace q417
