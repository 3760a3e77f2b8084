// The fixed tables against the rows as they are printed: every listed byte, the name keys in the
// listed order, and the key rows only described in words checked against the HID usages and
// set-1 scan codes of the keys they name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "input/KeyTables.h"

namespace q417 {
namespace {

struct Row {
    int id, type, param1, param2;
    const char* name;
};

template <std::size_t N>
void ExpectTable(const std::array<KeyTableRow, N>& table, const std::vector<Row>& expected) {
    ASSERT_EQ(table.size(), expected.size());
    for (std::size_t i = 0; i < N; ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(table[i].id, expected[i].id);
        EXPECT_EQ(table[i].type, expected[i].type);
        EXPECT_EQ(table[i].param1, expected[i].param1);
        EXPECT_EQ(table[i].param2, expected[i].param2);
        EXPECT_EQ(table[i].spare, 0);
        EXPECT_EQ(table[i].nameKey, expected[i].name);
    }
}

TEST(KeyTables, ComboTablesAsListed) {
    ExpectTable(kMouseButtonTable, {{0, 0x10, 0x01, 0, "mouse_key_left"},
                                    {1, 0x10, 0x04, 0, "mouse_key_middle"},
                                    {2, 0x10, 0x02, 0, "mouse_key_right"},
                                    {3, 0x10, 0x10, 0, "mouse_key_forward"},
                                    {4, 0x10, 0x08, 0, "mouse_key_back"}});
    ExpectTable(kDpiFunctionTable, {{0, 0x13, 1, 0, "mouse_key_DPI_add"},
                                    {1, 0x13, 2, 0, "mouse_key_DPI_sub"},
                                    {2, 0x13, 3, 0, "mouse_key_DPI_loop"}});
    ExpectTable(kSystemKeyTable, {{0, 0x40, 0x01, 0, "system_power"},
                                  {1, 0x40, 0x02, 0, "system_sleep"},
                                  {2, 0x40, 0x04, 0, "system_wake_up"}});

    // Media rows by their 16-bit Consumer usage, stored little-endian.
    const std::vector<std::pair<int, const char*>> media = {
        {0x0183, "media_text"},    {0x00CD, "media_play"},   {0x00B7, "media_stop"},
        {0x00B6, "media_prev"},    {0x00B5, "media_next"},   {0x00EA, "media_vol_sub"},
        {0x00E9, "media_vol_add"}, {0x00E2, "media_mute"},   {0x0223, "web_text"},
        {0x0227, "web_refresh"},   {0x0226, "wed_stop"},     {0x0224, "wed_back"},
        {0x0225, "wed_forward"},   {0x022A, "wed_favorite"}, {0x0221, "web_search"},
        {0x0194, "media_mypc"},    {0x0192, "media_calc"},   {0x018A, "media_mail"}};
    std::vector<Row> mediaRows;
    for (std::size_t i = 0; i < media.size(); ++i) {
        mediaRows.push_back({static_cast<int>(i), 0x30, media[i].first & 0xFF, media[i].first >> 8,
                             media[i].second});
    }
    ExpectTable(kMediaKeyTable, mediaRows);

    ExpectTable(kShortcutKeyTable, {{0, 0x20, 0x10, 0x12, "custem_open"},
                                    {1, 0x20, 0x10, 0x11, "custem_new"},
                                    {2, 0x20, 0x10, 0x1D, "custem_undo"},
                                    {3, 0x20, 0x10, 0x16, "custem_save"},
                                    {4, 0x20, 0x10, 0x06, "custem_copy"},
                                    {5, 0x20, 0x10, 0x1B, "custem_cut"},
                                    {6, 0x20, 0x10, 0x19, "custem_paste"},
                                    {7, 0x20, 0x10, 0x09, "custem_find"},
                                    {8, 0x20, 0x10, 0x04, "custem_select_all"},
                                    {9, 0x20, 0x10, 0x2D, "custem_narrow"},
                                    {10, 0x20, 0x10, 0x2E, "custem_magnify"}});
    // Older encoding: ids 0x21-0x29, param2 0-8, named like shortcut rows 0-8.
    std::vector<Row> old;
    for (int i = 0; i < 9; ++i) {
        old.push_back({0x21 + i, 0x22, 0, i, kShortcutKeyTable[i].nameKey.data()});
    }
    ExpectTable(kOldShortcutKeyTable, old);
}

TEST(KeyTables, KeyCodeRowsPrintedWithTheirBytes) {
    ASSERT_EQ(kKeyCodeTable.size(), 142u);
    const std::vector<std::pair<std::size_t, Row>> rows = {
        {0, {0xA2, 0x20, 0x01, 0x00, "keyboard_key_LCtrl"}},
        {1, {0xA0, 0x20, 0x02, 0x00, "keyboard_key_LShift"}},
        {2, {0xA4, 0x20, 0x04, 0x00, "keyboard_key_LAlt"}},
        {3, {0x5B, 0x20, 0x08, 0x00, "keyboard_key_LWin"}},
        {4, {0xA3, 0x20, 0x10, 0x00, "keyboard_key_RCtrl"}},
        {5, {0xA1, 0x20, 0x20, 0x00, "keyboard_key_RShift"}},
        {6, {0xA5, 0x20, 0x40, 0x00, "keyboard_key_RAlt"}},
        {7, {0x5C, 0x20, 0x80, 0x00, "keyboard_key_RWin"}},
        {104, {0xE2, 0x20, 0x00, 0x64, "keyboard_key_K45"}},
        {105, {0xC1, 0x20, 0x00, 0x87, "keyboard_key_K56"}},
        {106, {0xFF, 0x20, 0x00, 0x89, "keyboard_key_K14"}},
        {107, {0xC2, 0x20, 0x00, 0x85, "keyboard_key_K107"}},
        {108, {0xEB, 0x20, 0x00, 0x8B, "keyboard_key_K131"}},
        {109, {0xFF, 0x20, 0x00, 0x8A, "keyboard_key_K132"}},
        {110, {0xFF, 0x20, 0x00, 0x88, "keyboard_key_K133"}},
        {111, {0xE9, 0x20, 0x00, 0x91, "keyboard_key_K150"}},
        {112, {0xFF, 0x20, 0x00, 0x90, "keyboard_key_K151"}},
        {113, {0xBF, 0x20, 0x00, 0x32, "keyboard_key_K42"}},
        {114, {0xB7, 0x30, 0x92, 0x01, "keyboard_key_Launch App2"}},
        {115, {0xAC, 0x30, 0x23, 0x02, "keyboard_key_Browaer Home"}},
        {116, {0xB3, 0x30, 0xCD, 0x00, "keyboard_key_Media Play Pause"}},
        {117, {0xAA, 0x30, 0x21, 0x02, "keyboard_key_Browser Search"}},
        {118, {0xB4, 0x30, 0x8A, 0x01, "keyboard_key_Launch Mail"}},
        {119, {0xAF, 0x30, 0xE9, 0x00, "keyboard_key_Volume Up"}},
        {120, {0xAD, 0x30, 0xE2, 0x00, "keyboard_key_Volume Mute"}},
        {121, {0xB2, 0x30, 0xB7, 0x00, "keyboard_key_Media Stop"}},
        {122, {0xAE, 0x30, 0xEA, 0x00, "keyboard_key_Volume Down"}},
        {123, {0xAB, 0x30, 0x2A, 0x02, "keyboard_key_Browser Favorites"}},
        {124, {0xA7, 0x30, 0x25, 0x02, "keyboard_key_Browser ForWard"}},
        {125, {0xA6, 0x30, 0x24, 0x02, "keyboard_key_Browser Back"}},
        {126, {0xB1, 0x30, 0xB6, 0x00, "keyboard_key_Media Prev Track"}},
        {127, {0xB0, 0x30, 0xB5, 0x00, "keyboard_key_Media Next Track"}},
        {128, {0xB6, 0x30, 0x94, 0x01, "keyboard_key_Computer"}},
        {129, {0xA8, 0x30, 0x27, 0x02, "keyboard_key_Browser Refresh"}},
        {130, {0xA9, 0x30, 0x26, 0x02, "wed_stop"}},
        {131, {0xB5, 0x30, 0x83, 0x01, "keyboard_key_Launch Media Select"}},
        {132, {0x103, 0x40, 0x01, 0x00, "keyboard_key_Power"}},
        {133, {0x104, 0x40, 0x02, 0x00, "keyboard_key_Sleep"}},
        {134, {0x105, 0x40, 0x04, 0x00, "keyboard_key_Wakeup"}},
        {135, {0x00, 0xD0, 0xA2, 0x01, "keyboard_key_M1"}},
        {136, {0x00, 0xD0, 0xA2, 0x02, "keyboard_key_M2"}},
        {137, {0x00, 0xD0, 0xA2, 0x03, "keyboard_key_M3"}},
        {138, {0x00, 0xD0, 0xA2, 0x04, "keyboard_key_M4"}},
        {139, {0x00, 0xD0, 0xA2, 0x05, "keyboard_key_M5"}},
        {140, {0x00, 0xA0, 0x01, 0x00, "keyboard_key_FN"}},
        {141, {0x00, 0xA0, 0x1B, 0x00, "keyboard_key_GM"}},
    };
    for (const auto& [index, want] : rows) {
        SCOPED_TRACE("row " + std::to_string(index));
        const KeyTableRow& r = kKeyCodeTable[index];
        EXPECT_EQ(r.id, want.id);
        EXPECT_EQ(r.type, want.type);
        EXPECT_EQ(r.param1, want.param1);
        EXPECT_EQ(r.param2, want.param2);
        EXPECT_EQ(r.nameKey, want.name);
    }
}

TEST(KeyTables, OrdinaryKeyRowsInListedOrderWithHidUsages) {
    const std::vector<std::string> names = {
        "A",       "B",        "C",         "D",           "E",     "F",      "G",
        "H",       "I",        "J",         "K",           "L",     "M",      "N",
        "O",       "P",        "Q",         "R",           "S",     "T",      "U",
        "V",       "W",        "X",         "Y",           "Z",     "1",      "2",
        "3",       "4",        "5",         "6",           "7",     "8",      "9",
        "0",       "Enter",    "Esc",       "BackSpace",   "Tab",   "Space",  "-",
        "=",       "[",        "]",         "xiegang",     ";",     "'",      "`",
        "<",       ".",        "/",         "Caplk",       "F1",    "F2",     "F3",
        "F4",      "F5",       "F6",        "F7",          "F8",    "F9",     "F10",
        "F11",     "F12",      "Print Scr", "Scroll Lock", "Pause", "Insert", "Home",
        "Page Up", "Delete",   "End",       "Page Down",   "Right", "Left",   "Down",
        "Up",      "Num Lock", "Num /",     "Num *",       "Num -", "Num +",  "Num Enter",
        "Num 1",   "Num 2",    "Num 3",     "Num 4",       "Num 5", "Num 6",  "Num 7",
        "Num 8",   "Num 9",    "Num 0",     "Decimal",     "App"};
    ASSERT_EQ(names.size(), 96u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const KeyTableRow& r = kKeyCodeTable[8 + i];
        SCOPED_TRACE("row " + std::to_string(8 + i));
        EXPECT_EQ(r.nameKey, "keyboard_key_" + names[i]);
        EXPECT_EQ(r.type, 0x20);
        EXPECT_EQ(r.param1, 0);
    }
    // HID Keyboard/Keypad usages: A..Z 0x04.., 1..0 0x1E.., Enter..Space 0x28..0x2C, F1 0x3A,
    // Print Screen 0x46 .. Up 0x52, Num Lock 0x53 .. keypad . 0x63, Application 0x65;
    // 0x32 (non-US #) is skipped after backslash.
    EXPECT_EQ(kKeyCodeTable[8].param2, 0x04);
    EXPECT_EQ(kKeyCodeTable[33].param2, 0x1D);   // Z
    EXPECT_EQ(kKeyCodeTable[34].param2, 0x1E);   // 1
    EXPECT_EQ(kKeyCodeTable[43].param2, 0x27);   // 0
    EXPECT_EQ(kKeyCodeTable[44].param2, 0x28);   // Enter
    EXPECT_EQ(kKeyCodeTable[53].param2, 0x31);   // backslash
    EXPECT_EQ(kKeyCodeTable[54].param2, 0x33);   // ;
    EXPECT_EQ(kKeyCodeTable[60].param2, 0x39);   // Caps Lock
    EXPECT_EQ(kKeyCodeTable[61].param2, 0x3A);   // F1
    EXPECT_EQ(kKeyCodeTable[72].param2, 0x45);   // F12
    EXPECT_EQ(kKeyCodeTable[85].param2, 0x52);   // Up
    EXPECT_EQ(kKeyCodeTable[91].param2, 0x58);   // keypad Enter
    EXPECT_EQ(kKeyCodeTable[101].param2, 0x62);  // keypad 0
    EXPECT_EQ(kKeyCodeTable[102].param2, 0x63);  // keypad .
    EXPECT_EQ(kKeyCodeTable[103].param2, 0x65);  // Application
    // Between those anchors the usages run on without gaps.
    for (std::size_t row : {9u, 35u, 45u, 55u, 62u, 74u, 87u, 92u}) {
        EXPECT_EQ(kKeyCodeTable[row].param2, kKeyCodeTable[row - 1].param2 + 1) << row;
    }
    // Virtual-key codes: letters and digits are their ASCII capitals, F1 0x70, keypad Enter 0x101.
    EXPECT_EQ(kKeyCodeTable[8].id, 'A');
    EXPECT_EQ(kKeyCodeTable[33].id, 'Z');
    EXPECT_EQ(kKeyCodeTable[43].id, '0');
    EXPECT_EQ(kKeyCodeTable[61].id, 0x70);
    EXPECT_EQ(kKeyCodeTable[91].id, 0x101);
    EXPECT_EQ(kKeyCodeTable[103].id, 0x5D);
}

TEST(KeyTables, ScanTableRecognisesEachKeyOnce) {
    ASSERT_EQ(kKeyScanTable.size(), 113u);
    // Printed modifier rows: scan code and extended flag.
    const std::vector<std::pair<int, int>> modifiers = {{0x1D, 0}, {0x2A, 0}, {0x38, 0}, {0x5B, 1},
                                                        {0x1D, 1}, {0x36, 1}, {0x38, 1}, {0x5C, 1}};
    for (std::size_t i = 0; i < modifiers.size(); ++i) {
        EXPECT_EQ(kKeyScanTable[i].scanCode, modifiers[i].first) << i;
        EXPECT_EQ(kKeyScanTable[i].extended, modifiers[i].second) << i;
    }
    const std::vector<int> extras = {0x56, 0x73, 0x7D, 0x7E, 0x7B, 0x79, 0x70, 0x71, 0x72};
    for (std::size_t i = 0; i < extras.size(); ++i) {
        EXPECT_EQ(kKeyScanTable[104 + i].scanCode, extras[i]) << 104 + i;
        EXPECT_EQ(kKeyScanTable[104 + i].extended, 0) << 104 + i;
    }
    // Set-1 make codes of a few ordinary keys.
    EXPECT_EQ(kKeyScanTable[8].scanCode, 0x1E);    // A
    EXPECT_EQ(kKeyScanTable[33].scanCode, 0x2C);   // Z
    EXPECT_EQ(kKeyScanTable[34].scanCode, 0x02);   // 1
    EXPECT_EQ(kKeyScanTable[45].scanCode, 0x01);   // Esc
    EXPECT_EQ(kKeyScanTable[72].scanCode, 0x58);   // F12
    EXPECT_EQ(kKeyScanTable[101].scanCode, 0x52);  // keypad 0 (Insert's code, not extended)

    // Extended exactly for the listed keys.
    const std::set<std::size_t> extended = {3,  4,  5,  6,  7,  // modifiers as printed
                                            73, 76, 77, 78, 79, 80, 81, 82,
                                            83, 84, 85, 86, 87, 91, 103};
    std::set<std::pair<int, int>> seen;
    for (std::size_t i = 0; i < kKeyScanTable.size(); ++i) {
        EXPECT_EQ(kKeyScanTable[i].extended == 1, extended.count(i) == 1) << i;
        EXPECT_EQ(kKeyScanTable[i].keyId, kKeyCodeTable[i].id) << i;
        // Two rows with the same code would make the later key impossible to capture.
        EXPECT_TRUE(seen.insert({kKeyScanTable[i].scanCode, kKeyScanTable[i].extended}).second)
            << i;
        EXPECT_EQ(FindScanRow(kKeyScanTable[i].scanCode, kKeyScanTable[i].extended), i);
    }
    // Only bit 0 of the hook flags is the extended flag.
    EXPECT_EQ(FindScanRow(0x1D, 0x81), 4u);
    EXPECT_EQ(FindScanRow(0x1D, 0x80), 0u);
    EXPECT_FALSE(FindScanRow(0x1E, 1).has_value());
}

TEST(KeyTables, CatalogueFunctionsAndFactoryCodes) {
    const std::vector<std::pair<int, int>> functions = {
        {0x00, 0},  {0x10, 1},  {0x11, 2},  {0x12, 3},  {0x13, 4},  {0x14, 5},
        {0x15, -1}, {0x16, -1}, {0x20, 6},  {0x22, -1}, {0x23, -1}, {0x30, 7},
        {0x40, 8},  {0x70, 9},  {0x71, 9},  {0x72, 10}, {0xA0, -1}, {0xB0, 11},
        {0xD0, -1}, {0x21, -1}, {0x50, -1}, {0x60, -1}, {0xC0, -1}};
    EXPECT_EQ(kKeyTypeCatalogue.size(), functions.size());
    for (const auto& [type, function] : functions) {
        auto info = FindKeyType(static_cast<std::uint8_t>(type));
        ASSERT_TRUE(info.has_value()) << type;
        EXPECT_EQ(static_cast<int>(info->function), function) << type;
    }
    EXPECT_FALSE(FindKeyType(0x17).has_value());

    const std::vector<std::array<int, 3>> factory = {
        {0x10, 0x01, 0x00}, {0x10, 0x04, 0x00}, {0x10, 0x02, 0x00}, {0x10, 0x08, 0x00},
        {0x10, 0x10, 0x00}, {0x13, 0x03, 0x00}, {0x13, 0x01, 0x00}, {0x13, 0x02, 0x00},
        {0xA0, 0x1B, 0x00}, {0x16, 0x90, 0x01}, {0x14, 0x78, 0x02}, {0x00, 0x00, 0x00}};
    ASSERT_EQ(kMouseFactoryKeyCodes.size(), factory.size());
    for (std::size_t i = 0; i < factory.size(); ++i) {
        EXPECT_EQ(kMouseFactoryKeyCodes[i].type, factory[i][0]) << i;
        EXPECT_EQ(kMouseFactoryKeyCodes[i].param1, factory[i][1]) << i;
        EXPECT_EQ(kMouseFactoryKeyCodes[i].param2, factory[i][2]) << i;
    }
    EXPECT_EQ(kMouseKeyNameTable[3], "mouse_key_back");
    EXPECT_EQ(kMouseKeyNameTable[9], "mouse_key_M8_key");
    EXPECT_EQ(kMouseKeyNameTable[10], "mouse_key_fire_key");
}

TEST(KeyTables, ModifierOptionsOfTheModifierRows) {
    // Left and right keys give the same option: Ctrl 1, Shift 2, Alt 3, Win 4.
    const int options[8] = {1, 2, 3, 4, 1, 2, 3, 4};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(ModifierOptionOfRow(i), options[i]) << i;
    }
    EXPECT_EQ(ModifierBitsOfOption(0), 0);
    EXPECT_EQ(ModifierBitsOfOption(1), 0x01);
    EXPECT_EQ(ModifierBitsOfOption(4), 0x08);
    EXPECT_EQ(ModifierBitsOfOption(-1), 0);
    EXPECT_EQ(ModifierBitsOfOption(5), 0);
}

}  // namespace
}  // namespace q417
