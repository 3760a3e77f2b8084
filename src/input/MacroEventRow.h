#pragma once
// One macro event as the ".mac" event files, the recoil ".Shoot" files and the editors' event
// lists hold it, its JSON object form and its 4-byte encoding in the device's macro and recoil
// blocks.
//
// JSON object: "Action" "down"/"up", "Type" integer, "Button" integer, "Delay" a decimal string in
// macro files (an integer in recoil files). Reading is tolerant: members of the wrong kind read as
// absent, numbers outside their range are clamped, never wrapped.
#include <json/json.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace q417 {

inline constexpr std::size_t kMaxMacroEvents = 4000;
inline constexpr uint32_t kMaxEventDelay = 65535;
inline constexpr std::size_t kEncodedEventSize = 4;

// Values of "Type".
enum MacroEventType : uint8_t {
    kEventMouseButton = 1,
    kEventMoveHorizontal = 4,  // "down" moves left, "up" right; "Button" is the distance
    kEventMoveVertical = 5,    // "down" moves up, "up" down
    kEventModifier = 9,        // "Button" is a HID modifier bit
    kEventKey = 10,            // "Button" is a HID keyboard usage
};

// Bit set in the encoded type byte for "down".
inline constexpr uint8_t kEventDownBit = 0x80;

struct MacroEvent {
    bool down = false;   // "Action"
    uint8_t type = 0;    // "Type"
    uint8_t button = 0;  // "Button": button bit, key usage, modifier bit or move distance
    uint16_t delay = 0;  // "Delay": milliseconds to wait after this event

    bool operator==(const MacroEvent&) const = default;
};

// One row of an editor's event list: the event and whether its delay edit is still empty (a row
// recorded in front of the first row has no "Delay" yet; it is saved as 0).
struct MacroEventRow {
    MacroEvent event;
    bool delayEmpty = false;

    bool operator==(const MacroEventRow&) const = default;
};

// Leading decimal digits of text after optional blanks and sign, clamped to [lo, hi]; no digits
// give 0 (clamped). Used for "Delay" strings and for numbers typed into edits.
int64_t ParseLeadingNumber(std::string_view text, int64_t lo, int64_t hi);

// A JSON member read as an integer clamped to [lo, hi]: an integer, a real (truncated) or a
// string with leading digits; anything else (absent, null, bool, object) gives nullopt.
std::optional<int64_t> JsonNumber(const Json::Value& value, int64_t lo, int64_t hi);

enum class DelayForm { String, Integer };

// The event object. "Delay" is written as a decimal string (macro files) or an integer (recoil
// files).
Json::Value MacroEventToJson(const MacroEvent& event, DelayForm form = DelayForm::String);

// The event of an event object; nullopt when value is not an object. Missing or mistyped members
// read as 0 and "up"; "Action" is compared without regard to case; "Button" is clamped to 0-255
// and "Delay" to 0-65535.
std::optional<MacroEvent> MacroEventFromJson(const Json::Value& value);

// Device encoding: u16 delay (little-endian), u8 type | 0x80 for "down", u8 button.
std::array<uint8_t, kEncodedEventSize> EncodeMacroEvent(const MacroEvent& event);
MacroEvent DecodeMacroEvent(const std::array<uint8_t, kEncodedEventSize>& bytes);

}  // namespace q417
