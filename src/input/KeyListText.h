#pragma once
// What the key list and the device picture's tooltips say about each key, as language keys and
// literal names; the UI turns the language keys into text and joins the parts.
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/KeyTables.h"
#include "profiles/ProfileRecords.h"

namespace q417 {

// One piece of a text: a language key to translate, or a literal (a macro or user effect name).
struct TextPart {
    std::string text;
    bool translate = true;

    bool operator==(const TextPart&) const = default;
};

// The text of a function code: its parts joined with "+" once translated; no parts, no text.
struct KeyText {
    std::vector<TextPart> parts;

    bool Empty() const { return parts.empty(); }
    bool operator==(const KeyText&) const = default;
};

// Looks up a language key's text.
using Translator = std::function<std::string(std::string_view languageKey)>;

// Translates the parts that need it and joins all with separator.
std::string RenderText(std::span<const TextPart> parts, const Translator& translate,
                       std::string_view separator);
inline std::string RenderKeyText(const KeyText& text, const Translator& translate) {
    return RenderText(text.parts, translate, "+");
}

// The text of one code. macroNames are the device's macro names by macro index.
KeyText DescribeKeyCode(const KeyAssignment& code, KeyDeviceKind kind,
                        std::span<const std::string> macroNames);

// One row of a mouse's key list (and key button n's tooltip): the title is the button's name key
// from the mouse key-name table (empty beyond it), the text its current code's.
struct KeyListRow {
    std::string titleKey;
    KeyText text;
};
std::vector<KeyListRow> MouseKeyListRows(std::span<const KeyAssignmentEntry> entries,
                                         std::span<const std::string> macroNames);

// A keyboard key's tooltip: the title names the key by its factory default code (empty when the
// key code table has no such code); the tooltip text is the title, the text of "Key_Set" and the
// function text.
struct KeyboardKeyTip {
    std::string titleKey;
    KeyText function;
};
inline constexpr std::string_view kKeySetNameKey = "Key_Set";
KeyboardKeyTip DescribeKeyboardKey(const KeyAssignment& factoryDefault,
                                   const KeyAssignment& current,
                                   std::span<const std::string> macroNames);
std::string KeyboardTooltipText(const KeyboardKeyTip& tip, const Translator& translate);
// The keyboard key's changed mark: set when the translated title and function text differ,
// ignoring letter case.
bool KeyboardKeyChangedMark(std::string_view titleText, std::string_view functionText);

// The "logo" button of the mouse picture: title "Logo", text "Light_Set", a line break,
// "Overall_Light_Set" and the current effect's name — a built-in effect's name key for an index up
// to 11, else the user effect name at index − 12 as written; nothing when the list lacks it.
struct LogoTooltip {
    std::string title = "Logo";
    std::vector<TextPart> parts;  // joined without a separator
};
inline constexpr int kLastBuiltInEffect = 11;
LogoTooltip MouseLogoTooltip(int effectIndex, std::span<const std::string> builtInNameKeys,
                             std::span<const std::string> userEffectNames);

}  // namespace q417
