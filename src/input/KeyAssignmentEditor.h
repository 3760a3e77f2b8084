#pragma once
// The key editor as a model: the state of its controls (function combo, parameter combos and
// edits, modifier options, captured key) and the two rules between them and a function code —
// building a code from the controls and showing a code in them. A UI binds its widgets to
// KeyEditorControls and calls these operations; nothing here touches the device or the profile.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/KeyTables.h"
#include "profiles/ProfileRecords.h"

namespace q417 {

// What the editor's controls hold. Combo selections are row numbers (-1: nothing selected); edits
// hold their text as typed. The key text edit holds the language key of the key's name (the UI
// translates it); empty means the edit is empty.
struct KeyEditorControls {
    bool editorVisible = false;  // "keyset_layout"
    int function = -1;           // user data of the "keyset_function_combo" item; tab page index

    int mouseButtonRow = -1;  // "keyset_mousekey_combo"

    int swingDirection = -1;  // "keyset_mouseswing_combo": 0 left, 1 right
    std::string swingCount, swingDelay, swingSpeed;

    int wheelDirection = -1;  // "keyset_mousewheel_combo": 0 up, 1 down
    std::string wheelCount, wheelDelay, wheelSpeed;

    int dpiRow = -1;  // "keyset_mousedpi_combo"

    std::string fireInterval, fireCount;

    std::string keyNameKey;  // "keyset_keyboard_text_edit"
    int modifier = -1;       // "key_ComBox_check_0".."4": 0 none, 1 Ctrl, 2 Shift, 3 Alt, 4 Win

    int mediaRow = -1;     // "keyset_media_combo"
    int systemRow = -1;    // "keyset_system_combo"
    int shortcutRow = -1;  // "keyset_combokey_combo"

    int macroRow = -1;               // "keyset_macro_combo"
    int repeatMode = -1;             // "keyset_macro_over_combo": 0-3, 4 counted
    bool cycleCountVisible = false;  // "keyset_macro_cycle_layout"
    std::string macroCycleCount;     // "keyset_macro_cycle_edit"

    int recoilRow = -1;  // "keyset_gunkey_combo"
};

// An edit's number: optional blanks and sign, then the leading decimal digits; text without
// digits reads as 0. Values beyond the int range saturate.
int ParseEditNumber(std::string_view text);

// Repeat mode of the macro function that carries a count instead of a mode.
inline constexpr int kRepeatModeCounted = 4;
inline constexpr int kModifierOptionCount = 5;

class KeyAssignmentEditor {
public:
    explicit KeyAssignmentEditor(KeyDeviceKind kind = KeyDeviceKind::Mouse);

    // A keyboard does not offer the DPI and recoil functions.
    void SetDeviceKind(KeyDeviceKind kind) { kind_ = kind; }
    KeyDeviceKind DeviceKind() const { return kind_; }
    bool FunctionOffered(int function) const;

    // The macro combo's items (the device's macro names). Selects no macro.
    void SetMacroNames(std::vector<std::string> names);
    void SetMacroName(std::size_t index, std::string name);
    const std::vector<std::string>& MacroNames() const { return macroNames_; }

    // Fresh parameter pages: first rows, fire interval 50 and count 2, cycle count 1.
    void ResetParameters();

    // Stores the entry and shows its current code.
    void SetAssignment(const KeyAssignmentEntry& entry);
    // Show the default, or the stored current code again; the stored entry is kept (except that
    // showing a key code the tables do not know clears its parameters, as the editor cannot show
    // it).
    void ShowDefault();
    void ShowCurrent();
    const KeyAssignmentEntry& Entry() const { return entry_; }

    // Builds the code from the controls, stores it as the current code and returns the entry.
    KeyAssignmentEntry BuildAssignment();

    // The widgets write their state here; the operations below cover the choices with side
    // effects.
    KeyEditorControls& Controls() { return controls_; }
    const KeyEditorControls& Controls() const { return controls_; }

    // A function chosen in the function combo; choosing the keyboard key clears the key text and
    // the modifier options.
    void SelectFunction(int function);
    // A repeat mode chosen; the count page shows only for the counted mode.
    void SelectRepeatMode(int mode);
    // Selecting an option clears the others; -1 clears all.
    void SelectModifier(int option);
    int SelectedModifier() const { return controls_.modifier; }
    void SetKeyName(std::string languageKey) { controls_.keyNameKey = std::move(languageKey); }

    // One key event of the single-key capture (press and release alike): the set-1 scan code and
    // the hook's flags (bit 0: extended). Returns the entry to store, or nullopt for a key the
    // scan table does not know (nothing changes).
    std::optional<KeyAssignmentEntry> CaptureKey(std::uint8_t scanCode, std::uint32_t flags);

private:
    void Show(const KeyAssignment& code);
    // Function id that shows the code, filling that function's controls; None when none does.
    KeyFunction ShowParameters(const KeyAssignment& code);
    void ShowKeyboardKey(const KeyAssignment& code);

    KeyDeviceKind kind_;
    KeyAssignmentEntry entry_{};
    KeyEditorControls controls_;
    std::vector<std::string> macroNames_;
};

}  // namespace q417
