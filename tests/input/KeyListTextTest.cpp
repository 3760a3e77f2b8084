// Texts of the key list and the tooltips, rendered through a stand-in translator that brackets
// each language key, so a test sees which parts were translated.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/KeyListText.h"
#include "input/KeyTableDecode.h"

namespace q417 {
namespace {

std::string Tr(std::string_view key) {
    return "<" + std::string(key) + ">";
}

std::string Text(std::int32_t code, KeyDeviceKind kind = KeyDeviceKind::Mouse) {
    const std::vector<std::string> macros = {"Reload", "Spray"};
    return RenderKeyText(DescribeKeyCode(DecodeAssignment(code, 0), kind, macros), Tr);
}

TEST(KeyListText, KeyCodesJoinTheirNames) {
    EXPECT_EQ(Text(0x200004), "<keyboard_key_A>");
    // No row names modifiers 0x03: the join uses the key only.
    EXPECT_EQ(Text(0x200304), "<keyboard_key_A>");
    EXPECT_EQ(Text(0x200204), "<keyboard_key_LShift>+<keyboard_key_A>");
    EXPECT_EQ(Text(0x201016), "<keyboard_key_RCtrl>+<keyboard_key_S>");
    EXPECT_EQ(Text(0x200100), "<keyboard_key_LCtrl>");
    EXPECT_EQ(Text(0x200000), "<close_text>");
    EXPECT_EQ(Text(0x000000), "<close_text>");
    // A zero byte names nothing: an unknown usage without modifier has no text rather than the
    // names of every key, and a modifier pair without key does not list every modifier.
    EXPECT_EQ(Text(0x2000F0), "");
    EXPECT_EQ(Text(0x200300), "");
    // A key code never takes the name of a consumer or keyboard-own row with the same bytes.
    EXPECT_EQ(Text(0x20CD00), "");
}

TEST(KeyListText, OtherTypes) {
    EXPECT_EQ(Text(0x100400), "<mouse_key_middle>");
    EXPECT_EQ(Text(0x100300), "");
    EXPECT_EQ(Text(0x111485), "<mouse_key_right_Swing>");
    EXPECT_EQ(Text(0x111405), "<mouse_key_left_Swing>");
    EXPECT_EQ(Text(0x1200FB), "<mouse_key_down_Swing>");
    EXPECT_EQ(Text(0x120005), "<mouse_key_up_Swing>");
    EXPECT_EQ(Text(0x130300), "<mouse_key_DPI_loop>");
    EXPECT_EQ(Text(0x147802), "<mouse_key_fire_key>");
    EXPECT_EQ(Text(0x150300), "<mouse_key_report_loop>");
    EXPECT_EQ(Text(0x150300, KeyDeviceKind::Keyboard), "");
    EXPECT_EQ(Text(0x150100), "");
    EXPECT_EQ(Text(0x169001), "<mouse_key_DPI_shift>");
    EXPECT_EQ(Text(0x220003), "<custem_save>");
    EXPECT_EQ(Text(0x230000), "<show_window>");
    EXPECT_EQ(Text(0x302A02), "<wed_favorite>");
    EXPECT_EQ(Text(0x400200), "<system_sleep>");
    EXPECT_EQ(Text(0x700103), "Spray");  // macro names are not translated
    EXPECT_EQ(Text(0x710009), "Reload");
    EXPECT_EQ(Text(0x700200), "");
    EXPECT_EQ(Text(0x720300), "<gun_4_txt>");
    EXPECT_EQ(Text(0x720400), "");
    EXPECT_EQ(Text(0xA00200), "<mouse_key_smart_key>");
    EXPECT_EQ(Text(0xA00000), "<close_text>");
    EXPECT_EQ(Text(0xA01B00), "<keyboard_key_GM>");
    EXPECT_EQ(Text(0xA00100), "<keyboard_key_FN>");
    EXPECT_EQ(Text(0xA01B00, KeyDeviceKind::Keyboard), "");
    EXPECT_EQ(Text(0xA00200, KeyDeviceKind::Keyboard), "<mouse_key_smart_key>");
    for (std::int32_t code : {0xB00000, 0xD0A201, 0x210000, 0x500000, 0x600000, 0xC00000}) {
        EXPECT_EQ(Text(code), "") << std::hex << code;
    }
}

TEST(KeyListText, MouseRowsKeyboardTipsAndLogo) {
    std::vector<KeyAssignmentEntry> entries(12);
    entries[3].current = DecodeAssignment(0x130100, 3);
    entries[11].current = DecodeAssignment(0x100100, 11);
    auto rows = MouseKeyListRows(entries, {});
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[3].titleKey, "mouse_key_back");
    EXPECT_EQ(RenderKeyText(rows[3].text, Tr), "<mouse_key_DPI_add>");
    EXPECT_EQ(rows[11].titleKey, "");  // beyond the name table
    EXPECT_EQ(RenderKeyText(rows[11].text, Tr), "<mouse_key_left>");

    auto tip =
        DescribeKeyboardKey(DecodeAssignment(0xD0A202, 0), DecodeAssignment(0x400100, 0), {});
    EXPECT_EQ(tip.titleKey, "keyboard_key_M2");
    EXPECT_EQ(KeyboardTooltipText(tip, Tr), "<keyboard_key_M2><Key_Set><system_power>");
    EXPECT_EQ(DescribeKeyboardKey(DecodeAssignment(0x990000, 0), {}, {}).titleKey, "");
    EXPECT_FALSE(KeyboardKeyChangedMark("Esc", "ESC"));
    EXPECT_TRUE(KeyboardKeyChangedMark("Esc", "Es"));
    EXPECT_TRUE(KeyboardKeyChangedMark("A", "B"));

    const std::vector<std::string> builtIn = {"light_wave", "light_breath"};
    const std::vector<std::string> user = {"My effect"};
    auto logo = [&](int index) {
        LogoTooltip t = MouseLogoTooltip(index, builtIn, user);
        EXPECT_EQ(t.title, "Logo");
        return RenderText(t.parts, Tr, "");
    };
    EXPECT_EQ(logo(1), "<Light_Set>\n<Overall_Light_Set><light_breath>");
    EXPECT_EQ(logo(12), "<Light_Set>\n<Overall_Light_Set>My effect");
    EXPECT_EQ(logo(5), "<Light_Set>\n<Overall_Light_Set>");
    EXPECT_EQ(logo(13), "<Light_Set>\n<Overall_Light_Set>");
    EXPECT_EQ(logo(-1), "<Light_Set>\n<Overall_Light_Set>");
}

}  // namespace
}  // namespace q417
