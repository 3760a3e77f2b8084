#include "input/KeyAssignmentEditor.h"

#include <climits>
#include <cstdint>

namespace q417 {

namespace {

constexpr std::uint8_t Nibble(int v) {
    return static_cast<std::uint8_t>(v & 0x0F);
}
constexpr std::uint8_t Byte(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

// Row index of the table as a combo selection (-1 when no row matches).
int RowOrNone(std::span<const KeyTableRow> table, std::uint8_t param1, std::uint8_t param2) {
    auto row = FindRowByParams(table, param1, param2);
    return row ? static_cast<int>(*row) : -1;
}

bool ValidRow(int row, std::size_t size) {
    return row >= 0 && static_cast<std::size_t>(row) < size;
}

// Replaces type and parameters of code, keeping its key index.
void SetCode(KeyAssignment& code, std::uint8_t type, std::uint8_t param1, std::uint8_t param2) {
    code.type = type;
    code.param1 = param1;
    code.param2 = param2;
    code.spare = 0;
}

void SetCodeFromRow(KeyAssignment& code, std::span<const KeyTableRow> table, int row) {
    if (ValidRow(row, table.size())) {
        const KeyTableRow& r = table[static_cast<std::size_t>(row)];
        SetCode(code, r.type, r.param1, r.param2);
    }
}

}  // namespace

int ParseEditNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            return negative ? INT_MIN : INT_MAX;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

KeyAssignmentEditor::KeyAssignmentEditor(KeyDeviceKind kind) : kind_(kind) {
    ResetParameters();
}

bool KeyAssignmentEditor::FunctionOffered(int function) const {
    if (function < 0 || function >= kKeyFunctionCount) {
        return false;
    }
    if (kind_ == KeyDeviceKind::Keyboard) {
        return function != static_cast<int>(KeyFunction::Dpi) &&
               function != static_cast<int>(KeyFunction::Recoil);
    }
    return true;
}

void KeyAssignmentEditor::SetMacroNames(std::vector<std::string> names) {
    macroNames_ = std::move(names);
    controls_.macroRow = -1;
}

void KeyAssignmentEditor::SetMacroName(std::size_t index, std::string name) {
    if (index < macroNames_.size()) {
        macroNames_[index] = std::move(name);
    }
}

void KeyAssignmentEditor::ResetParameters() {
    controls_.mouseButtonRow = 0;
    controls_.dpiRow = 0;
    controls_.fireInterval = "50";
    controls_.fireCount = "2";
    controls_.mediaRow = 0;
    controls_.systemRow = 0;
    controls_.macroRow = macroNames_.empty() ? -1 : 0;
    controls_.repeatMode = 0;
    controls_.cycleCountVisible = false;
    controls_.macroCycleCount = "1";
    controls_.recoilRow = 0;
    controls_.shortcutRow = 0;
}

void KeyAssignmentEditor::SetAssignment(const KeyAssignmentEntry& entry) {
    entry_ = entry;
    Show(entry_.current);
}

void KeyAssignmentEditor::ShowDefault() {
    Show(entry_.defaults);
}

void KeyAssignmentEditor::ShowCurrent() {
    Show(entry_.current);
}

void KeyAssignmentEditor::SelectFunction(int function) {
    controls_.function = function;
    if (function == static_cast<int>(KeyFunction::KeyboardKey)) {
        controls_.keyNameKey.clear();
        controls_.modifier = -1;
    }
}

void KeyAssignmentEditor::SelectRepeatMode(int mode) {
    controls_.repeatMode = mode;
    controls_.cycleCountVisible = mode == kRepeatModeCounted;
}

void KeyAssignmentEditor::SelectModifier(int option) {
    controls_.modifier = option >= 0 && option < kModifierOptionCount ? option : -1;
}

KeyAssignmentEntry KeyAssignmentEditor::BuildAssignment() {
    KeyAssignment code = entry_.current;
    const KeyEditorControls& c = controls_;
    const int f = FunctionOffered(c.function) ? c.function : -1;
    switch (static_cast<KeyFunction>(f)) {
        case KeyFunction::MouseButton:
            SetCodeFromRow(code, kMouseButtonTable, c.mouseButtonRow);
            break;
        case KeyFunction::HorizontalSwing: {
            // Without a direction there is no code to build; the key keeps its code.
            if (c.swingDirection != 0 && c.swingDirection != 1) {
                break;
            }
            const int count = ParseEditNumber(c.swingCount);
            const auto param1 = static_cast<std::uint8_t>(
                Nibble(ParseEditNumber(c.swingDelay)) * 16 + Nibble(ParseEditNumber(c.swingSpeed)));
            const std::uint8_t param2 =
                c.swingDirection == 1 ? Byte(count | 0x80) : Byte(count & 0x7F);
            SetCode(code, keytype::kHorizontalSwing, param1, param2);
            break;
        }
        case KeyFunction::VerticalSwing: {
            if (c.wheelDirection != 0 && c.wheelDirection != 1) {
                break;
            }
            const int count = ParseEditNumber(c.wheelCount);
            const auto param1 = static_cast<std::uint8_t>(
                Nibble(ParseEditNumber(c.wheelDelay)) * 16 + Nibble(ParseEditNumber(c.wheelSpeed)));
            // Downwards the count goes out negated (two's complement of -count).
            const std::uint8_t param2 =
                c.wheelDirection == 1 ? Byte((128 - count) | 0x80) : Byte(count & 0x7F);
            SetCode(code, keytype::kVerticalSwing, param1, param2);
            break;
        }
        case KeyFunction::Dpi:
            SetCodeFromRow(code, kDpiFunctionTable, c.dpiRow);
            break;
        case KeyFunction::Fire:
            SetCode(code, keytype::kFire, Byte(ParseEditNumber(c.fireInterval)),
                    Byte(ParseEditNumber(c.fireCount)));
            break;
        case KeyFunction::KeyboardKey: {
            // The captured key stays in the stored code; only the modifier comes from the options.
            const std::uint8_t param2 = c.keyNameKey.empty() ? 0 : code.param2;
            SetCode(code, keytype::kKeyboardKey, ModifierBitsOfOption(c.modifier), param2);
            break;
        }
        case KeyFunction::Media:
            SetCodeFromRow(code, kMediaKeyTable, c.mediaRow);
            break;
        case KeyFunction::System:
            SetCodeFromRow(code, kSystemKeyTable, c.systemRow);
            break;
        case KeyFunction::Shortcut:
            SetCodeFromRow(code, kShortcutKeyTable, c.shortcutRow);
            break;
        case KeyFunction::Macro: {
            if (!ValidRow(c.macroRow, macroNames_.size())) {
                break;
            }
            const auto macro = static_cast<std::uint8_t>(c.macroRow);
            if (c.repeatMode == kRepeatModeCounted) {
                SetCode(code, keytype::kMacroCounted, macro,
                        Byte(ParseEditNumber(c.macroCycleCount)));
            } else {
                // No mode selected builds mode 0, the row a reset selects.
                const int mode =
                    c.repeatMode >= 0 && c.repeatMode < kRepeatModeCounted ? c.repeatMode : 0;
                SetCode(code, keytype::kMacro, macro, static_cast<std::uint8_t>(mode));
            }
            break;
        }
        case KeyFunction::Recoil:
            if (ValidRow(c.recoilRow, kRecoilNameKeys.size())) {
                SetCode(code, keytype::kRecoil, static_cast<std::uint8_t>(c.recoilRow), 0);
            }
            break;
        default:
            SetCode(code, entry_.defaults.type, entry_.defaults.param1, entry_.defaults.param2);
            break;
    }
    entry_.current = code;
    return entry_;
}

std::optional<KeyAssignmentEntry> KeyAssignmentEditor::CaptureKey(std::uint8_t scanCode,
                                                                  std::uint32_t flags) {
    const auto found = FindScanRow(scanCode, flags);
    if (!found) {
        return std::nullopt;
    }
    const std::size_t row = *found;
    const KeyTableRow& key = kKeyCodeTable[row];
    if (row < kKeyCodeModifierRows) {
        // A modifier alone: it selects its option (always the left modifier bit when built).
        SelectModifier(ModifierOptionOfRow(row));
        controls_.keyNameKey.clear();
        SetCode(entry_.current, keytype::kKeyboardKey, key.param1, 0);
    } else {
        if (controls_.modifier < 0) {
            SelectModifier(0);
        }
        controls_.keyNameKey = std::string(key.nameKey);
        SetCode(entry_.current, keytype::kKeyboardKey, ModifierBitsOfOption(controls_.modifier),
                key.param2);
    }
    return BuildAssignment();
}

void KeyAssignmentEditor::Show(const KeyAssignment& code) {
    const KeyFunction function = ShowParameters(code);
    const int id = static_cast<int>(function);
    if (function == KeyFunction::None || !FunctionOffered(id)) {
        controls_.editorVisible = false;
        return;
    }
    controls_.editorVisible = true;
    controls_.function = id;
}

KeyFunction KeyAssignmentEditor::ShowParameters(const KeyAssignment& code) {
    if (code.SameCode(entry_.defaults)) {
        return KeyFunction::Default;
    }
    KeyEditorControls& c = controls_;
    switch (code.type) {
        case keytype::kNone:
            return KeyFunction::Default;
        case keytype::kMouseButton:
            c.mouseButtonRow = RowOrNone(kMouseButtonTable, code.param1, code.param2);
            return KeyFunction::MouseButton;
        case keytype::kDpi:
            c.dpiRow = RowOrNone(kDpiFunctionTable, code.param1, code.param2);
            return KeyFunction::Dpi;
        case keytype::kMedia:
            c.mediaRow = RowOrNone(kMediaKeyTable, code.param1, code.param2);
            return KeyFunction::Media;
        case keytype::kSystem:
            c.systemRow = RowOrNone(kSystemKeyTable, code.param1, code.param2);
            return KeyFunction::System;
        case keytype::kHorizontalSwing:
            c.swingDelay = std::to_string(code.param1 >> 4);
            c.swingSpeed = std::to_string(code.param1 & 0x0F);
            if (code.param2 & 0x80) {
                c.swingCount = std::to_string(code.param2 & 0x7F);
                c.swingDirection = 1;
            } else {
                c.swingCount = std::to_string(code.param2);
                c.swingDirection = 0;
            }
            return KeyFunction::HorizontalSwing;
        case keytype::kVerticalSwing:
            c.wheelDelay = std::to_string(code.param1 >> 4);
            c.wheelSpeed = std::to_string(code.param1 & 0x0F);
            if (code.param2 & 0x80) {
                c.wheelCount = std::to_string(128 - (code.param2 & 0x7F));
                c.wheelDirection = 1;
            } else {
                c.wheelCount = std::to_string(code.param2);
                c.wheelDirection = 0;
            }
            return KeyFunction::VerticalSwing;
        case keytype::kFire:
            c.fireInterval = std::to_string(code.param1);
            c.fireCount = std::to_string(code.param2);
            return KeyFunction::Fire;
        case keytype::kKeyboardKey:
            if (code.param1 == 0x10) {
                // Right Ctrl + key is how the shortcuts are coded.
                c.shortcutRow = RowOrNone(kShortcutKeyTable, code.param1, code.param2);
                return KeyFunction::Shortcut;
            }
            ShowKeyboardKey(code);
            return KeyFunction::KeyboardKey;
        case keytype::kMacro:
        case keytype::kMacroCounted: {
            const bool known = code.param1 < macroNames_.size();
            c.macroRow = known ? code.param1 : -1;
            if (code.type == keytype::kMacroCounted) {
                c.repeatMode = kRepeatModeCounted;
                c.cycleCountVisible = true;
                c.macroCycleCount = std::to_string(code.param2);
            } else {
                c.repeatMode = known && code.param2 < kRepeatModeCounted ? code.param2 : -1;
                c.cycleCountVisible = false;
            }
            return KeyFunction::Macro;
        }
        case keytype::kRecoil:
            c.recoilRow = code.param1 < kRecoilNameKeys.size() ? code.param1 : -1;
            return KeyFunction::Recoil;
        case keytype::kShortcut:
            c.shortcutRow = -1;
            return KeyFunction::Shortcut;
        default:
            return KeyFunction::None;
    }
}

void KeyAssignmentEditor::ShowKeyboardKey(const KeyAssignment& code) {
    KeyEditorControls& c = controls_;
    if (code.param1 == 0) {
        auto row = FindRowByParams(kKeyCodeTable, code.param1, code.param2);
        if (row) {
            c.modifier = 0;
            c.keyNameKey = std::string(kKeyCodeTable[*row].nameKey);
        } else {
            // A key the tables cannot name: shown (and kept) as no key.
            c.modifier = -1;
            c.keyNameKey.clear();
            entry_.current.param1 = 0;
            entry_.current.param2 = 0;
        }
        return;
    }
    if (code.param1 > 128) {
        return;
    }
    // One modifier bit selects its option; several bits match no row and select option 0.
    c.modifier = 0;
    for (std::size_t i = 0; i < kKeyCodeModifierRows; ++i) {
        if (kKeyCodeTable[i].param1 == code.param1) {
            c.modifier = ModifierOptionOfRow(i);
            break;
        }
    }
    for (std::size_t i = kKeyCodeFirstKeyRow; i < kKeyCodeTable.size(); ++i) {
        const KeyTableRow& r = kKeyCodeTable[i];
        if (r.type == keytype::kKeyboardKey && r.param1 == 0 && r.param2 == code.param2) {
            c.keyNameKey = std::string(r.nameKey);
            break;
        }
    }
}

}  // namespace q417
