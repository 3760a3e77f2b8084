#include "input/KeyListText.h"

#include <cctype>

namespace q417 {

namespace {

TextPart Key(std::string_view languageKey) {
    return TextPart{std::string(languageKey), true};
}

KeyText One(std::string_view languageKey) {
    return KeyText{{Key(languageKey)}};
}

KeyText FromTable(std::span<const KeyTableRow> table, const KeyAssignment& code) {
    auto row = FindRowByCode(table, code);
    return row ? One(table[*row].nameKey) : KeyText{};
}

// A key code: the key code table's name of the whole code, else the names of the rows that
// share its modifier or its key, else "close_text" for an empty code.
KeyText DescribeKey(const KeyAssignment& code) {
    if (auto row = FindRowByCode(kKeyCodeTable, code)) {
        return One(kKeyCodeTable[*row].nameKey);
    }
    if (code.param1 == 0 && code.param2 == 0) {
        return One(kNoFunctionNameKey);
    }
    // A zero byte means "no modifier" / "no key" and names nothing; matching it would list every
    // key of the table.
    KeyText text;
    for (const KeyTableRow& row : kKeyCodeTable) {
        if (row.type != code.type) {
            continue;
        }
        if ((code.param1 != 0 && row.param1 == code.param1) ||
            (code.param2 != 0 && row.param2 == code.param2)) {
            text.parts.push_back(Key(row.nameKey));
        }
    }
    return text;
}

}  // namespace

std::string RenderText(std::span<const TextPart> parts, const Translator& translate,
                       std::string_view separator) {
    std::string out;
    bool first = true;
    for (const TextPart& part : parts) {
        if (!first) {
            out += separator;
        }
        first = false;
        out += part.translate && translate ? translate(part.text) : part.text;
    }
    return out;
}

KeyText DescribeKeyCode(const KeyAssignment& code, KeyDeviceKind kind,
                        std::span<const std::string> macroNames) {
    const bool mouse = kind == KeyDeviceKind::Mouse;
    switch (code.type) {
        case keytype::kNone:
        case keytype::kKeyboardKey:
            return DescribeKey(code);
        case keytype::kMouseButton:
            return FromTable(kMouseButtonTable, code);
        case keytype::kHorizontalSwing:
            return One(kSwingNameKeys[(code.param2 & 0x80) ? 1 : 0]);
        case keytype::kVerticalSwing:
            return One(kWheelNameKeys[(code.param2 & 0x80) ? 1 : 0]);
        case keytype::kDpi:
            return FromTable(kDpiFunctionTable, code);
        case keytype::kFire:
            return One("mouse_key_fire_key");
        case keytype::kReportRateCycle:
            return mouse && code.param1 == 3 ? One("mouse_key_report_loop") : KeyText{};
        case keytype::kDpiShift:
            return One("mouse_key_DPI_shift");
        case keytype::kOldShortcut:
            return FromTable(kOldShortcutKeyTable, code);
        case keytype::kShowWindow:
            return One("show_window");
        case keytype::kMedia:
            return FromTable(kMediaKeyTable, code);
        case keytype::kSystem:
            return FromTable(kSystemKeyTable, code);
        case keytype::kMacro:
        case keytype::kMacroCounted:
            if (code.param1 < macroNames.size()) {
                return KeyText{{TextPart{macroNames[code.param1], false}}};
            }
            return {};
        case keytype::kRecoil:
            return code.param1 < kRecoilNameKeys.size() ? One(kRecoilNameKeys[code.param1])
                                                        : KeyText{};
        case keytype::kSpecial:
            if (code.param1 == 2) {
                return One("mouse_key_smart_key");
            }
            if (code.param1 == 0) {
                return One(kNoFunctionNameKey);
            }
            return mouse ? FromTable(kKeyCodeTable, code) : KeyText{};
        default:
            return {};
    }
}

std::vector<KeyListRow> MouseKeyListRows(std::span<const KeyAssignmentEntry> entries,
                                         std::span<const std::string> macroNames) {
    std::vector<KeyListRow> rows;
    rows.reserve(entries.size());
    for (std::size_t n = 0; n < entries.size(); ++n) {
        KeyListRow row;
        if (n < kMouseKeyNameTable.size()) {
            row.titleKey = std::string(kMouseKeyNameTable[n]);
        }
        row.text = DescribeKeyCode(entries[n].current, KeyDeviceKind::Mouse, macroNames);
        rows.push_back(std::move(row));
    }
    return rows;
}

KeyboardKeyTip DescribeKeyboardKey(const KeyAssignment& factoryDefault,
                                   const KeyAssignment& current,
                                   std::span<const std::string> macroNames) {
    KeyboardKeyTip tip;
    if (auto row = FindRowByCode(kKeyCodeTable, factoryDefault)) {
        tip.titleKey = std::string(kKeyCodeTable[*row].nameKey);
    }
    tip.function = DescribeKeyCode(current, KeyDeviceKind::Keyboard, macroNames);
    return tip;
}

std::string KeyboardTooltipText(const KeyboardKeyTip& tip, const Translator& translate) {
    std::vector<TextPart> parts;
    if (!tip.titleKey.empty()) {
        parts.push_back(Key(tip.titleKey));
    }
    parts.push_back(Key(kKeySetNameKey));
    std::string text = RenderText(parts, translate, "");
    return text + RenderKeyText(tip.function, translate);
}

bool KeyboardKeyChangedMark(std::string_view titleText, std::string_view functionText) {
    if (titleText.size() != functionText.size()) {
        return true;
    }
    for (std::size_t i = 0; i < titleText.size(); ++i) {
        const auto a = static_cast<unsigned char>(titleText[i]);
        const auto b = static_cast<unsigned char>(functionText[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return true;
        }
    }
    return false;
}

LogoTooltip MouseLogoTooltip(int effectIndex, std::span<const std::string> builtInNameKeys,
                             std::span<const std::string> userEffectNames) {
    LogoTooltip tip;
    tip.parts = {Key("Light_Set"), TextPart{"\n", false}, Key("Overall_Light_Set")};
    if (effectIndex < 0) {
        return tip;
    }
    const auto index = static_cast<std::size_t>(effectIndex);
    if (effectIndex <= kLastBuiltInEffect) {
        if (index < builtInNameKeys.size()) {
            tip.parts.push_back(Key(builtInNameKeys[index]));
        }
    } else if (index - (kLastBuiltInEffect + 1) < userEffectNames.size()) {
        tip.parts.push_back(TextPart{userEffectNames[index - (kLastBuiltInEffect + 1)], false});
    }
    return tip;
}

}  // namespace q417
