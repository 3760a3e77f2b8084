#pragma once
// The function-code catalogue of keys and buttons and the fixed tables the key editor picks codes
// from. Every table row has the shape of a KeyAssignment (16-bit id, type, param1, param2, spare)
// plus the language key of the text it shows; a combo box lists a table's rows in order, so a
// combo index is a row number.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "profiles/ProfileRecords.h"

namespace q417 {

// Type byte of a function code.
namespace keytype {
inline constexpr std::uint8_t kNone = 0x00;
inline constexpr std::uint8_t kMouseButton = 0x10;
inline constexpr std::uint8_t kHorizontalSwing = 0x11;
inline constexpr std::uint8_t kVerticalSwing = 0x12;
inline constexpr std::uint8_t kDpi = 0x13;
inline constexpr std::uint8_t kFire = 0x14;
inline constexpr std::uint8_t kReportRateCycle = 0x15;
inline constexpr std::uint8_t kDpiShift = 0x16;
inline constexpr std::uint8_t kKeyboardKey = 0x20;
inline constexpr std::uint8_t kReserved21 = 0x21;
inline constexpr std::uint8_t kOldShortcut = 0x22;
inline constexpr std::uint8_t kShowWindow = 0x23;
inline constexpr std::uint8_t kMedia = 0x30;
inline constexpr std::uint8_t kSystem = 0x40;
inline constexpr std::uint8_t kReserved50 = 0x50;
inline constexpr std::uint8_t kReserved60 = 0x60;
inline constexpr std::uint8_t kMacro = 0x70;
inline constexpr std::uint8_t kMacroCounted = 0x71;
inline constexpr std::uint8_t kRecoil = 0x72;
inline constexpr std::uint8_t kSpecial = 0xA0;
inline constexpr std::uint8_t kShortcut = 0xB0;
inline constexpr std::uint8_t kReservedC0 = 0xC0;
inline constexpr std::uint8_t kKeyboardMacroKey = 0xD0;
}  // namespace keytype

// Editor function ids: the user data of the function combo's items and the page index of the
// parameter tab layout.
enum class KeyFunction : int {
    None = -1,
    Default = 0,
    MouseButton = 1,
    HorizontalSwing = 2,
    VerticalSwing = 3,
    Dpi = 4,
    Fire = 5,
    KeyboardKey = 6,
    Media = 7,
    System = 8,
    Macro = 9,
    Recoil = 10,
    Shortcut = 11,
};
inline constexpr int kKeyFunctionCount = 12;

// Which device the editor serves (the device kind codes of device objects).
enum class KeyDeviceKind : int { Keyboard = 1, Mouse = 2 };

// One entry of the type catalogue. function is the editor function that builds or shows the type
// (None for codes that only arrive as defaults from a profile template).
struct KeyTypeInfo {
    std::uint8_t type;
    KeyFunction function;
    std::string_view meaning;
};

inline constexpr std::array<KeyTypeInfo, 23> kKeyTypeCatalogue{{
    {keytype::kNone, KeyFunction::Default, "no function"},
    {keytype::kMouseButton, KeyFunction::MouseButton, "mouse button"},
    {keytype::kHorizontalSwing, KeyFunction::HorizontalSwing, "horizontal swing"},
    {keytype::kVerticalSwing, KeyFunction::VerticalSwing, "vertical swing (wheel)"},
    {keytype::kDpi, KeyFunction::Dpi, "DPI function"},
    {keytype::kFire, KeyFunction::Fire, "fire (click burst)"},
    {keytype::kReportRateCycle, KeyFunction::None, "report-rate cycle"},
    {keytype::kDpiShift, KeyFunction::None, "DPI shift"},
    {keytype::kKeyboardKey, KeyFunction::KeyboardKey, "keyboard key"},
    {keytype::kReserved21, KeyFunction::None, "reserved"},
    {keytype::kOldShortcut, KeyFunction::None, "shortcut, older encoding"},
    {keytype::kShowWindow, KeyFunction::None, "show window"},
    {keytype::kMedia, KeyFunction::Media, "media key"},
    {keytype::kSystem, KeyFunction::System, "system key"},
    {keytype::kReserved50, KeyFunction::None, "reserved"},
    {keytype::kReserved60, KeyFunction::None, "reserved"},
    {keytype::kMacro, KeyFunction::Macro, "macro"},
    {keytype::kMacroCounted, KeyFunction::Macro, "macro, counted"},
    {keytype::kRecoil, KeyFunction::Recoil, "recoil (gun) key"},
    {keytype::kSpecial, KeyFunction::None, "special key"},
    {keytype::kShortcut, KeyFunction::Shortcut, "shortcut"},
    {keytype::kReservedC0, KeyFunction::None, "reserved"},
    {keytype::kKeyboardMacroKey, KeyFunction::None, "keyboard macro key"},
}};

// Catalogue entry of a type byte; nullopt for a byte outside the catalogue.
std::optional<KeyTypeInfo> FindKeyType(std::uint8_t type);

// One fixed-table row: the KeyAssignment-shaped record and the language key of its text.
struct KeyTableRow {
    std::uint16_t id;
    std::uint8_t type;
    std::uint8_t param1;
    std::uint8_t param2;
    std::uint8_t spare;
    std::string_view nameKey;

    // The row's code for the key at keyIndex.
    KeyAssignment Code(std::uint16_t keyIndex = 0) const {
        return KeyAssignment{keyIndex, type, param1, param2, 0};
    }
    bool SameCode(const KeyAssignment& c) const {
        return type == c.type && param1 == c.param1 && param2 == c.param2;
    }
};

// Mouse buttons ("keyset_mousekey_combo").
inline constexpr std::array<KeyTableRow, 5> kMouseButtonTable{{
    {0, keytype::kMouseButton, 0x01, 0, 0, "mouse_key_left"},
    {1, keytype::kMouseButton, 0x04, 0, 0, "mouse_key_middle"},
    {2, keytype::kMouseButton, 0x02, 0, 0, "mouse_key_right"},
    {3, keytype::kMouseButton, 0x10, 0, 0, "mouse_key_forward"},
    {4, keytype::kMouseButton, 0x08, 0, 0, "mouse_key_back"},
}};

// DPI functions ("keyset_mousedpi_combo").
inline constexpr std::array<KeyTableRow, 3> kDpiFunctionTable{{
    {0, keytype::kDpi, 1, 0, 0, "mouse_key_DPI_add"},
    {1, keytype::kDpi, 2, 0, 0, "mouse_key_DPI_sub"},
    {2, keytype::kDpi, 3, 0, 0, "mouse_key_DPI_loop"},
}};

// Media keys ("keyset_media_combo"): Consumer page usage, low byte in param1.
inline constexpr std::array<KeyTableRow, 18> kMediaKeyTable{{
    {0, keytype::kMedia, 0x83, 0x01, 0, "media_text"},
    {1, keytype::kMedia, 0xCD, 0x00, 0, "media_play"},
    {2, keytype::kMedia, 0xB7, 0x00, 0, "media_stop"},
    {3, keytype::kMedia, 0xB6, 0x00, 0, "media_prev"},
    {4, keytype::kMedia, 0xB5, 0x00, 0, "media_next"},
    {5, keytype::kMedia, 0xEA, 0x00, 0, "media_vol_sub"},
    {6, keytype::kMedia, 0xE9, 0x00, 0, "media_vol_add"},
    {7, keytype::kMedia, 0xE2, 0x00, 0, "media_mute"},
    {8, keytype::kMedia, 0x23, 0x02, 0, "web_text"},
    {9, keytype::kMedia, 0x27, 0x02, 0, "web_refresh"},
    {10, keytype::kMedia, 0x26, 0x02, 0, "wed_stop"},
    {11, keytype::kMedia, 0x24, 0x02, 0, "wed_back"},
    {12, keytype::kMedia, 0x25, 0x02, 0, "wed_forward"},
    {13, keytype::kMedia, 0x2A, 0x02, 0, "wed_favorite"},
    {14, keytype::kMedia, 0x21, 0x02, 0, "web_search"},
    {15, keytype::kMedia, 0x94, 0x01, 0, "media_mypc"},
    {16, keytype::kMedia, 0x92, 0x01, 0, "media_calc"},
    {17, keytype::kMedia, 0x8A, 0x01, 0, "media_mail"},
}};

// System keys ("keyset_system_combo").
inline constexpr std::array<KeyTableRow, 3> kSystemKeyTable{{
    {0, keytype::kSystem, 0x01, 0, 0, "system_power"},
    {1, keytype::kSystem, 0x02, 0, 0, "system_sleep"},
    {2, keytype::kSystem, 0x04, 0, 0, "system_wake_up"},
}};

// Shortcuts ("keyset_combokey_combo"): right Ctrl + a key.
inline constexpr std::array<KeyTableRow, 11> kShortcutKeyTable{{
    {0, keytype::kKeyboardKey, 0x10, 0x12, 0, "custem_open"},
    {1, keytype::kKeyboardKey, 0x10, 0x11, 0, "custem_new"},
    {2, keytype::kKeyboardKey, 0x10, 0x1D, 0, "custem_undo"},
    {3, keytype::kKeyboardKey, 0x10, 0x16, 0, "custem_save"},
    {4, keytype::kKeyboardKey, 0x10, 0x06, 0, "custem_copy"},
    {5, keytype::kKeyboardKey, 0x10, 0x1B, 0, "custem_cut"},
    {6, keytype::kKeyboardKey, 0x10, 0x19, 0, "custem_paste"},
    {7, keytype::kKeyboardKey, 0x10, 0x09, 0, "custem_find"},
    {8, keytype::kKeyboardKey, 0x10, 0x04, 0, "custem_select_all"},
    {9, keytype::kKeyboardKey, 0x10, 0x2D, 0, "custem_narrow"},
    {10, keytype::kKeyboardKey, 0x10, 0x2E, 0, "custem_magnify"},
}};

// The older shortcut encoding (type 0x22); only ever read.
inline constexpr std::array<KeyTableRow, 9> kOldShortcutKeyTable{{
    {0x21, keytype::kOldShortcut, 0, 0, 0, "custem_open"},
    {0x22, keytype::kOldShortcut, 0, 1, 0, "custem_new"},
    {0x23, keytype::kOldShortcut, 0, 2, 0, "custem_undo"},
    {0x24, keytype::kOldShortcut, 0, 3, 0, "custem_save"},
    {0x25, keytype::kOldShortcut, 0, 4, 0, "custem_copy"},
    {0x26, keytype::kOldShortcut, 0, 5, 0, "custem_cut"},
    {0x27, keytype::kOldShortcut, 0, 6, 0, "custem_paste"},
    {0x28, keytype::kOldShortcut, 0, 7, 0, "custem_find"},
    {0x29, keytype::kOldShortcut, 0, 8, 0, "custem_select_all"},
}};

// Key ids outside the virtual-key range and the two markers.
inline constexpr std::uint16_t kKeyIdNumEnter = 0x101;
inline constexpr std::uint16_t kKeyIdPower = 0x103;
inline constexpr std::uint16_t kKeyIdSleep = 0x104;
inline constexpr std::uint16_t kKeyIdWake = 0x105;
inline constexpr std::uint16_t kKeyIdNoVirtualKey = 0xFF;
inline constexpr std::uint16_t kKeyIdNotAKey = 0;

// Row ranges of the key code table.
inline constexpr std::size_t kKeyCodeModifierRows = 8;     // rows 0-7
inline constexpr std::size_t kKeyCodeFirstKeyRow = 8;      // rows 8-113 keyboard usages
inline constexpr std::size_t kKeyCodeFirstConsumer = 114;  // rows 114-131
inline constexpr std::size_t kKeyCodeFirstSystem = 132;    // rows 132-134
inline constexpr std::size_t kKeyCodeFirstOwnKey = 135;    // rows 135-141

// Every key the editor can name. The id is the key's Windows virtual-key code (see the key ids
// above); param2 of the ordinary keys is the HID Keyboard/Keypad usage.
inline constexpr std::array<KeyTableRow, 142> kKeyCodeTable{{
    // Modifiers.
    {0xA2, 0x20, 0x01, 0x00, 0, "keyboard_key_LCtrl"},
    {0xA0, 0x20, 0x02, 0x00, 0, "keyboard_key_LShift"},
    {0xA4, 0x20, 0x04, 0x00, 0, "keyboard_key_LAlt"},
    {0x5B, 0x20, 0x08, 0x00, 0, "keyboard_key_LWin"},
    {0xA3, 0x20, 0x10, 0x00, 0, "keyboard_key_RCtrl"},
    {0xA1, 0x20, 0x20, 0x00, 0, "keyboard_key_RShift"},
    {0xA5, 0x20, 0x40, 0x00, 0, "keyboard_key_RAlt"},
    {0x5C, 0x20, 0x80, 0x00, 0, "keyboard_key_RWin"},
    // Letters (rows 8-33).
    {0x41, 0x20, 0, 0x04, 0, "keyboard_key_A"},
    {0x42, 0x20, 0, 0x05, 0, "keyboard_key_B"},
    {0x43, 0x20, 0, 0x06, 0, "keyboard_key_C"},
    {0x44, 0x20, 0, 0x07, 0, "keyboard_key_D"},
    {0x45, 0x20, 0, 0x08, 0, "keyboard_key_E"},
    {0x46, 0x20, 0, 0x09, 0, "keyboard_key_F"},
    {0x47, 0x20, 0, 0x0A, 0, "keyboard_key_G"},
    {0x48, 0x20, 0, 0x0B, 0, "keyboard_key_H"},
    {0x49, 0x20, 0, 0x0C, 0, "keyboard_key_I"},
    {0x4A, 0x20, 0, 0x0D, 0, "keyboard_key_J"},
    {0x4B, 0x20, 0, 0x0E, 0, "keyboard_key_K"},
    {0x4C, 0x20, 0, 0x0F, 0, "keyboard_key_L"},
    {0x4D, 0x20, 0, 0x10, 0, "keyboard_key_M"},
    {0x4E, 0x20, 0, 0x11, 0, "keyboard_key_N"},
    {0x4F, 0x20, 0, 0x12, 0, "keyboard_key_O"},
    {0x50, 0x20, 0, 0x13, 0, "keyboard_key_P"},
    {0x51, 0x20, 0, 0x14, 0, "keyboard_key_Q"},
    {0x52, 0x20, 0, 0x15, 0, "keyboard_key_R"},
    {0x53, 0x20, 0, 0x16, 0, "keyboard_key_S"},
    {0x54, 0x20, 0, 0x17, 0, "keyboard_key_T"},
    {0x55, 0x20, 0, 0x18, 0, "keyboard_key_U"},
    {0x56, 0x20, 0, 0x19, 0, "keyboard_key_V"},
    {0x57, 0x20, 0, 0x1A, 0, "keyboard_key_W"},
    {0x58, 0x20, 0, 0x1B, 0, "keyboard_key_X"},
    {0x59, 0x20, 0, 0x1C, 0, "keyboard_key_Y"},
    {0x5A, 0x20, 0, 0x1D, 0, "keyboard_key_Z"},
    // Digits (rows 34-43).
    {0x31, 0x20, 0, 0x1E, 0, "keyboard_key_1"},
    {0x32, 0x20, 0, 0x1F, 0, "keyboard_key_2"},
    {0x33, 0x20, 0, 0x20, 0, "keyboard_key_3"},
    {0x34, 0x20, 0, 0x21, 0, "keyboard_key_4"},
    {0x35, 0x20, 0, 0x22, 0, "keyboard_key_5"},
    {0x36, 0x20, 0, 0x23, 0, "keyboard_key_6"},
    {0x37, 0x20, 0, 0x24, 0, "keyboard_key_7"},
    {0x38, 0x20, 0, 0x25, 0, "keyboard_key_8"},
    {0x39, 0x20, 0, 0x26, 0, "keyboard_key_9"},
    {0x30, 0x20, 0, 0x27, 0, "keyboard_key_0"},
    // Rows 44-60.
    {0x0D, 0x20, 0, 0x28, 0, "keyboard_key_Enter"},
    {0x1B, 0x20, 0, 0x29, 0, "keyboard_key_Esc"},
    {0x08, 0x20, 0, 0x2A, 0, "keyboard_key_BackSpace"},
    {0x09, 0x20, 0, 0x2B, 0, "keyboard_key_Tab"},
    {0x20, 0x20, 0, 0x2C, 0, "keyboard_key_Space"},
    {0xBD, 0x20, 0, 0x2D, 0, "keyboard_key_-"},
    {0xBB, 0x20, 0, 0x2E, 0, "keyboard_key_="},
    {0xDB, 0x20, 0, 0x2F, 0, "keyboard_key_["},
    {0xDD, 0x20, 0, 0x30, 0, "keyboard_key_]"},
    {0xDC, 0x20, 0, 0x31, 0, "keyboard_key_xiegang"},
    {0xBA, 0x20, 0, 0x33, 0, "keyboard_key_;"},
    {0xDE, 0x20, 0, 0x34, 0, "keyboard_key_'"},
    {0xC0, 0x20, 0, 0x35, 0, "keyboard_key_`"},
    {0xBC, 0x20, 0, 0x36, 0, "keyboard_key_<"},
    {0xBE, 0x20, 0, 0x37, 0, "keyboard_key_."},
    {0xBF, 0x20, 0, 0x38, 0, "keyboard_key_/"},
    {0x14, 0x20, 0, 0x39, 0, "keyboard_key_Caplk"},
    // F1-F12 (rows 61-72).
    {0x70, 0x20, 0, 0x3A, 0, "keyboard_key_F1"},
    {0x71, 0x20, 0, 0x3B, 0, "keyboard_key_F2"},
    {0x72, 0x20, 0, 0x3C, 0, "keyboard_key_F3"},
    {0x73, 0x20, 0, 0x3D, 0, "keyboard_key_F4"},
    {0x74, 0x20, 0, 0x3E, 0, "keyboard_key_F5"},
    {0x75, 0x20, 0, 0x3F, 0, "keyboard_key_F6"},
    {0x76, 0x20, 0, 0x40, 0, "keyboard_key_F7"},
    {0x77, 0x20, 0, 0x41, 0, "keyboard_key_F8"},
    {0x78, 0x20, 0, 0x42, 0, "keyboard_key_F9"},
    {0x79, 0x20, 0, 0x43, 0, "keyboard_key_F10"},
    {0x7A, 0x20, 0, 0x44, 0, "keyboard_key_F11"},
    {0x7B, 0x20, 0, 0x45, 0, "keyboard_key_F12"},
    // Rows 73-85.
    {0x2C, 0x20, 0, 0x46, 0, "keyboard_key_Print Scr"},
    {0x91, 0x20, 0, 0x47, 0, "keyboard_key_Scroll Lock"},
    {0x13, 0x20, 0, 0x48, 0, "keyboard_key_Pause"},
    {0x2D, 0x20, 0, 0x49, 0, "keyboard_key_Insert"},
    {0x24, 0x20, 0, 0x4A, 0, "keyboard_key_Home"},
    {0x21, 0x20, 0, 0x4B, 0, "keyboard_key_Page Up"},
    {0x2E, 0x20, 0, 0x4C, 0, "keyboard_key_Delete"},
    {0x23, 0x20, 0, 0x4D, 0, "keyboard_key_End"},
    {0x22, 0x20, 0, 0x4E, 0, "keyboard_key_Page Down"},
    {0x27, 0x20, 0, 0x4F, 0, "keyboard_key_Right"},
    {0x25, 0x20, 0, 0x50, 0, "keyboard_key_Left"},
    {0x28, 0x20, 0, 0x51, 0, "keyboard_key_Down"},
    {0x26, 0x20, 0, 0x52, 0, "keyboard_key_Up"},
    // Keypad (rows 86-102).
    {0x90, 0x20, 0, 0x53, 0, "keyboard_key_Num Lock"},
    {0x6F, 0x20, 0, 0x54, 0, "keyboard_key_Num /"},
    {0x6A, 0x20, 0, 0x55, 0, "keyboard_key_Num *"},
    {0x6D, 0x20, 0, 0x56, 0, "keyboard_key_Num -"},
    {0x6B, 0x20, 0, 0x57, 0, "keyboard_key_Num +"},
    {kKeyIdNumEnter, 0x20, 0, 0x58, 0, "keyboard_key_Num Enter"},
    {0x61, 0x20, 0, 0x59, 0, "keyboard_key_Num 1"},
    {0x62, 0x20, 0, 0x5A, 0, "keyboard_key_Num 2"},
    {0x63, 0x20, 0, 0x5B, 0, "keyboard_key_Num 3"},
    {0x64, 0x20, 0, 0x5C, 0, "keyboard_key_Num 4"},
    {0x65, 0x20, 0, 0x5D, 0, "keyboard_key_Num 5"},
    {0x66, 0x20, 0, 0x5E, 0, "keyboard_key_Num 6"},
    {0x67, 0x20, 0, 0x5F, 0, "keyboard_key_Num 7"},
    {0x68, 0x20, 0, 0x60, 0, "keyboard_key_Num 8"},
    {0x69, 0x20, 0, 0x61, 0, "keyboard_key_Num 9"},
    {0x60, 0x20, 0, 0x62, 0, "keyboard_key_Num 0"},
    {0x6E, 0x20, 0, 0x63, 0, "keyboard_key_Decimal"},
    {0x5D, 0x20, 0, 0x65, 0, "keyboard_key_App"},
    // International and extra keys (rows 104-113).
    {0xE2, 0x20, 0x00, 0x64, 0, "keyboard_key_K45"},
    {0xC1, 0x20, 0x00, 0x87, 0, "keyboard_key_K56"},
    {0xFF, 0x20, 0x00, 0x89, 0, "keyboard_key_K14"},
    {0xC2, 0x20, 0x00, 0x85, 0, "keyboard_key_K107"},
    {0xEB, 0x20, 0x00, 0x8B, 0, "keyboard_key_K131"},
    {0xFF, 0x20, 0x00, 0x8A, 0, "keyboard_key_K132"},
    {0xFF, 0x20, 0x00, 0x88, 0, "keyboard_key_K133"},
    {0xE9, 0x20, 0x00, 0x91, 0, "keyboard_key_K150"},
    {0xFF, 0x20, 0x00, 0x90, 0, "keyboard_key_K151"},
    {0xBF, 0x20, 0x00, 0x32, 0, "keyboard_key_K42"},
    // Consumer keys (rows 114-131).
    {0xB7, 0x30, 0x92, 0x01, 0, "keyboard_key_Launch App2"},
    {0xAC, 0x30, 0x23, 0x02, 0, "keyboard_key_Browaer Home"},
    {0xB3, 0x30, 0xCD, 0x00, 0, "keyboard_key_Media Play Pause"},
    {0xAA, 0x30, 0x21, 0x02, 0, "keyboard_key_Browser Search"},
    {0xB4, 0x30, 0x8A, 0x01, 0, "keyboard_key_Launch Mail"},
    {0xAF, 0x30, 0xE9, 0x00, 0, "keyboard_key_Volume Up"},
    {0xAD, 0x30, 0xE2, 0x00, 0, "keyboard_key_Volume Mute"},
    {0xB2, 0x30, 0xB7, 0x00, 0, "keyboard_key_Media Stop"},
    {0xAE, 0x30, 0xEA, 0x00, 0, "keyboard_key_Volume Down"},
    {0xAB, 0x30, 0x2A, 0x02, 0, "keyboard_key_Browser Favorites"},
    {0xA7, 0x30, 0x25, 0x02, 0, "keyboard_key_Browser ForWard"},
    {0xA6, 0x30, 0x24, 0x02, 0, "keyboard_key_Browser Back"},
    {0xB1, 0x30, 0xB6, 0x00, 0, "keyboard_key_Media Prev Track"},
    {0xB0, 0x30, 0xB5, 0x00, 0, "keyboard_key_Media Next Track"},
    {0xB6, 0x30, 0x94, 0x01, 0, "keyboard_key_Computer"},
    {0xA8, 0x30, 0x27, 0x02, 0, "keyboard_key_Browser Refresh"},
    {0xA9, 0x30, 0x26, 0x02, 0, "wed_stop"},
    {0xB5, 0x30, 0x83, 0x01, 0, "keyboard_key_Launch Media Select"},
    // System keys (rows 132-134).
    {kKeyIdPower, 0x40, 0x01, 0x00, 0, "keyboard_key_Power"},
    {kKeyIdSleep, 0x40, 0x02, 0x00, 0, "keyboard_key_Sleep"},
    {kKeyIdWake, 0x40, 0x04, 0x00, 0, "keyboard_key_Wakeup"},
    // The keyboard's own keys (rows 135-141).
    {0x00, 0xD0, 0xA2, 0x01, 0, "keyboard_key_M1"},
    {0x00, 0xD0, 0xA2, 0x02, 0, "keyboard_key_M2"},
    {0x00, 0xD0, 0xA2, 0x03, 0, "keyboard_key_M3"},
    {0x00, 0xD0, 0xA2, 0x04, 0, "keyboard_key_M4"},
    {0x00, 0xD0, 0xA2, 0x05, 0, "keyboard_key_M5"},
    {0x00, 0xA0, 0x01, 0x00, 0, "keyboard_key_FN"},
    {0x00, 0xA0, 0x1B, 0x00, 0, "keyboard_key_GM"},
}};

// How a captured key is recognised: row i describes key code table row i (4 bytes each).
struct KeyScanRow {
    std::uint16_t keyId;
    std::uint8_t scanCode;  // set-1 make code
    std::uint8_t extended;  // 1 when the key arrives with the E0 prefix
};

inline constexpr std::array<KeyScanRow, 113> kKeyScanTable{{
    {0xA2, 0x1D, 0},
    {0xA0, 0x2A, 0},
    {0xA4, 0x38, 0},
    {0x5B, 0x5B, 1},  // LCtrl LShift LAlt LWin
    {0xA3, 0x1D, 1},
    {0xA1, 0x36, 1},
    {0xA5, 0x38, 1},
    {0x5C, 0x5C, 1},  // RCtrl RShift RAlt RWin
    // A-Z
    {0x41, 0x1E, 0},
    {0x42, 0x30, 0},
    {0x43, 0x2E, 0},
    {0x44, 0x20, 0},
    {0x45, 0x12, 0},
    {0x46, 0x21, 0},
    {0x47, 0x22, 0},
    {0x48, 0x23, 0},
    {0x49, 0x17, 0},
    {0x4A, 0x24, 0},
    {0x4B, 0x25, 0},
    {0x4C, 0x26, 0},
    {0x4D, 0x32, 0},
    {0x4E, 0x31, 0},
    {0x4F, 0x18, 0},
    {0x50, 0x19, 0},
    {0x51, 0x10, 0},
    {0x52, 0x13, 0},
    {0x53, 0x1F, 0},
    {0x54, 0x14, 0},
    {0x55, 0x16, 0},
    {0x56, 0x2F, 0},
    {0x57, 0x11, 0},
    {0x58, 0x2D, 0},
    {0x59, 0x15, 0},
    {0x5A, 0x2C, 0},
    // 1-9, 0
    {0x31, 0x02, 0},
    {0x32, 0x03, 0},
    {0x33, 0x04, 0},
    {0x34, 0x05, 0},
    {0x35, 0x06, 0},
    {0x36, 0x07, 0},
    {0x37, 0x08, 0},
    {0x38, 0x09, 0},
    {0x39, 0x0A, 0},
    {0x30, 0x0B, 0},
    // Enter Esc BackSpace Tab Space - = [ ] \ ; ' ` , . / CapsLock
    {0x0D, 0x1C, 0},
    {0x1B, 0x01, 0},
    {0x08, 0x0E, 0},
    {0x09, 0x0F, 0},
    {0x20, 0x39, 0},
    {0xBD, 0x0C, 0},
    {0xBB, 0x0D, 0},
    {0xDB, 0x1A, 0},
    {0xDD, 0x1B, 0},
    {0xDC, 0x2B, 0},
    {0xBA, 0x27, 0},
    {0xDE, 0x28, 0},
    {0xC0, 0x29, 0},
    {0xBC, 0x33, 0},
    {0xBE, 0x34, 0},
    {0xBF, 0x35, 0},
    {0x14, 0x3A, 0},
    // F1-F12
    {0x70, 0x3B, 0},
    {0x71, 0x3C, 0},
    {0x72, 0x3D, 0},
    {0x73, 0x3E, 0},
    {0x74, 0x3F, 0},
    {0x75, 0x40, 0},
    {0x76, 0x41, 0},
    {0x77, 0x42, 0},
    {0x78, 0x43, 0},
    {0x79, 0x44, 0},
    {0x7A, 0x57, 0},
    {0x7B, 0x58, 0},
    // Print Screen, Scroll Lock, Pause; Insert Home PageUp Delete End PageDown; arrows
    {0x2C, 0x37, 1},
    {0x91, 0x46, 0},
    {0x13, 0x45, 0},
    {0x2D, 0x52, 1},
    {0x24, 0x47, 1},
    {0x21, 0x49, 1},
    {0x2E, 0x53, 1},
    {0x23, 0x4F, 1},
    {0x22, 0x51, 1},
    {0x27, 0x4D, 1},
    {0x25, 0x4B, 1},
    {0x28, 0x50, 1},
    {0x26, 0x48, 1},
    // Num Lock, keypad / * - + Enter, keypad 1-9, 0, decimal; application key
    {0x90, 0x45, 1},
    {0x6F, 0x35, 1},
    {0x6A, 0x37, 0},
    {0x6D, 0x4A, 0},
    {0x6B, 0x4E, 0},
    {kKeyIdNumEnter, 0x1C, 1},
    {0x61, 0x4F, 0},
    {0x62, 0x50, 0},
    {0x63, 0x51, 0},
    {0x64, 0x4B, 0},
    {0x65, 0x4C, 0},
    {0x66, 0x4D, 0},
    {0x67, 0x47, 0},
    {0x68, 0x48, 0},
    {0x69, 0x49, 0},
    {0x60, 0x52, 0},
    {0x6E, 0x53, 0},
    {0x5D, 0x5D, 1},
    // International and extra keys (rows 104-112)
    {0xE2, 0x56, 0},
    {0xC1, 0x73, 0},
    {0xFF, 0x7D, 0},
    {0xC2, 0x7E, 0},
    {0xEB, 0x7B, 0},
    {0xFF, 0x79, 0},
    {0xFF, 0x70, 0},
    {0xE9, 0x71, 0},
    {0xFF, 0x72, 0},
}};

// Title of each mouse button in the key list and the device picture's tooltips, by key index.
inline constexpr std::array<std::string_view, 11> kMouseKeyNameTable{
    "mouse_key_left",    "mouse_key_middle",   "mouse_key_right",    "mouse_key_back",
    "mouse_key_forward", "mouse_key_DPI_loop", "mouse_key_DPI_add",  "mouse_key_DPI_sub",
    "keyboard_key_GM",   "mouse_key_M8_key",   "mouse_key_fire_key",
};

// The mouse's twelve keys as the factory sets them (type, param1, param2), by key index. The key
// map finds each key's device position by looking for these codes in the key table read.
inline constexpr std::array<KeyTableRow, 12> kMouseFactoryKeyCodes{{
    {0, 0x10, 0x01, 0x00, 0, ""},
    {1, 0x10, 0x04, 0x00, 0, ""},
    {2, 0x10, 0x02, 0x00, 0, ""},
    {3, 0x10, 0x08, 0x00, 0, ""},
    {4, 0x10, 0x10, 0x00, 0, ""},
    {5, 0x13, 0x03, 0x00, 0, ""},
    {6, 0x13, 0x01, 0x00, 0, ""},
    {7, 0x13, 0x02, 0x00, 0, ""},
    {8, 0xA0, 0x1B, 0x00, 0, ""},
    {9, 0x16, 0x90, 0x01, 0, ""},
    {10, 0x14, 0x78, 0x02, 0, ""},
    {11, 0x00, 0x00, 0x00, 0, ""},
}};

// Texts of the swing directions, system keys and recoil sequences.
inline constexpr std::array<std::string_view, 2> kSwingNameKeys{"mouse_key_left_Swing",
                                                                "mouse_key_right_Swing"};
inline constexpr std::array<std::string_view, 2> kWheelNameKeys{"mouse_key_up_Swing",
                                                                "mouse_key_down_Swing"};
inline constexpr std::array<std::string_view, 4> kRecoilNameKeys{"gun_1_txt", "gun_2_txt",
                                                                 "gun_3_txt", "gun_4_txt"};
inline constexpr std::string_view kNoFunctionNameKey = "close_text";

// Lookups. Each returns the first row (or its index) that matches, nullopt when none does.
// By type, param1 and param2.
std::optional<std::size_t> FindRowByCode(std::span<const KeyTableRow> table,
                                         const KeyAssignment& code);
// By param1 and param2 only (the type is not looked at).
std::optional<std::size_t> FindRowByParams(std::span<const KeyTableRow> table, std::uint8_t param1,
                                           std::uint8_t param2);
// The key scan row of a captured key: scan code and extended flag (bit 0 of the hook's flags).
std::optional<std::size_t> FindScanRow(std::uint8_t scanCode, std::uint32_t flags);

// Modifier option (1 Ctrl, 2 Shift, 3 Alt, 4 Win) of modifier row i (0-7) of the key code table:
// left and right keys give the same option.
constexpr int ModifierOptionOfRow(std::size_t row) {
    return static_cast<int>((row + 1) % 5 + (row + 1) / 5);
}
// Modifier bits an option builds: the left modifier (option 0 or none builds no modifier).
constexpr std::uint8_t ModifierBitsOfOption(int option) {
    return option >= 1 && option <= 4 ? static_cast<std::uint8_t>(1u << (option - 1)) : 0;
}

}  // namespace q417
