// The key editor model: codes built from the controls, codes shown back in them, and the
// single-key capture.
#include <gtest/gtest.h>

#include <climits>

#include "input/KeyAssignmentEditor.h"
#include "input/KeyTableDecode.h"

namespace q417 {
namespace {

using test::Code;

constexpr int kDefault = 0x100100;  // left button

KeyAssignmentEntry Entry(std::int32_t current, std::int32_t defaults = kDefault) {
    return KeyAssignmentEntry{DecodeAssignment(current, 3), DecodeAssignment(defaults, 3)};
}

class KeyEditorTest : public ::testing::Test {
protected:
    KeyEditorTest() { editor.SetMacroNames({"m0", "m1", "m2"}); }

    // Selects the function as the function combo does and builds.
    std::int32_t Build(int function) {
        editor.SelectFunction(function);
        return EncodeAssignment(editor.BuildAssignment().current);
    }
    // Shows code (with the left button as default) and builds it again from the controls.
    std::int32_t ShowAndRebuild(std::int32_t code) {
        editor.SetAssignment(Entry(code));
        EXPECT_TRUE(editor.Controls().editorVisible) << std::hex << code;
        const KeyAssignmentEntry built = editor.BuildAssignment();
        EXPECT_EQ(built.current.keyIndex, 3);
        return EncodeAssignment(built.current);
    }

    KeyAssignmentEditor editor{KeyDeviceKind::Mouse};
    KeyEditorControls& c = editor.Controls();
};

TEST_F(KeyEditorTest, SwingAndWheelEncodings) {
    c.swingDirection = 1;
    c.swingCount = "5";
    c.swingDelay = "17";  // each cut to its nibble: 1 and 4
    c.swingSpeed = "20";
    EXPECT_EQ(Build(2), 0x111485);
    c.swingDirection = 0;
    c.swingCount = "200";  // direction 0 keeps 7 bits
    EXPECT_EQ(Build(2), 0x111448);

    c.wheelDirection = 1;
    c.wheelCount = "5";
    c.wheelDelay = "0";
    c.wheelSpeed = "3";
    EXPECT_EQ(Build(3), 0x1203FB);  // -5
    editor.SetAssignment(Entry(0x1203FB));
    EXPECT_EQ(c.function, 3);
    EXPECT_EQ(c.wheelDirection, 1);
    EXPECT_EQ(c.wheelCount, "5");

    c.wheelCount = "0";
    EXPECT_EQ(Build(3), 0x120380);
    editor.SetAssignment(Entry(0x120380));
    EXPECT_EQ(c.wheelCount, "128");
    EXPECT_EQ(c.wheelDirection, 1);

    editor.SetAssignment(Entry(0x111485));
    EXPECT_EQ(c.swingCount, "5");
    EXPECT_EQ(c.swingDirection, 1);
    EXPECT_EQ(c.swingDelay, "1");
    EXPECT_EQ(c.swingSpeed, "4");

    // Without a direction there is nothing to build: the key keeps its code.
    editor.SetAssignment(Entry(0x130100));
    c.swingDirection = -1;
    EXPECT_EQ(Build(2), 0x130100);
}

TEST_F(KeyEditorTest, EveryFunctionRoundTrips) {
    const std::vector<std::pair<std::int32_t, int>> codes = {
        {0x100400, 1}, {0x100800, 1},  {0x11A385, 2},  {0x110F7F, 2},  {0x1255FB, 3}, {0x12557F, 3},
        {0x130200, 4}, {0x130300, 4},  {0x143207, 5},  {0x200004, 6},  {0x200465, 6}, {0x20082C, 6},
        {0x200200, 6}, {0x308301, 7},  {0x302A02, 7},  {0x400400, 8},  {0x700203, 9}, {0x700100, 9},
        {0x710109, 9}, {0x720300, 10}, {0x720000, 10}, {0x201016, 11}, {0x20102E, 11}};
    for (const auto& [code, function] : codes) {
        editor.ResetParameters();
        EXPECT_EQ(ShowAndRebuild(code), code) << std::hex << code;
        EXPECT_EQ(c.function, function) << std::hex << code;
    }
    // Function 0 builds the default; equal to the default shows function 0 whatever the type.
    editor.SetAssignment(Entry(0x130100, 0x130100));
    EXPECT_EQ(c.function, 0);
    EXPECT_TRUE(c.editorVisible);
    editor.SetAssignment(Entry(0x200004, 0x400100));
    EXPECT_EQ(Build(0), 0x400100);
    // Shown only: no function.
    editor.SetAssignment(Entry(0x000000));
    EXPECT_EQ(c.function, 0);
}

TEST_F(KeyEditorTest, CodesTheEditorCannotShowHideIt) {
    for (std::int32_t code : {0x150300, 0x160901, 0x220003, 0xA01B00, 0xD0A201, 0x500000}) {
        editor.SetAssignment(Entry(code));
        EXPECT_FALSE(c.editorVisible) << std::hex << code;
    }
    // A keyboard has no DPI and recoil functions.
    editor.SetDeviceKind(KeyDeviceKind::Keyboard);
    EXPECT_FALSE(editor.FunctionOffered(4));
    EXPECT_FALSE(editor.FunctionOffered(10));
    EXPECT_TRUE(editor.FunctionOffered(9));
    editor.SetAssignment(Entry(0x130100));
    EXPECT_FALSE(c.editorVisible);
    editor.SetAssignment(Entry(0x720000));
    EXPECT_FALSE(c.editorVisible);
}

TEST_F(KeyEditorTest, KeyboardKeyShowing) {
    // A right-Ctrl code is a shortcut.
    editor.SetAssignment(Entry(0x201016));
    EXPECT_EQ(c.function, 11);
    EXPECT_EQ(c.shortcutRow, 3);
    EXPECT_EQ(kShortcutKeyTable[3].nameKey, "custem_save");
    // Several modifier bits select option 0.
    editor.SetAssignment(Entry(0x200304));
    EXPECT_EQ(c.function, 6);
    EXPECT_EQ(c.modifier, 0);
    EXPECT_EQ(c.keyNameKey, "keyboard_key_A");
    editor.SetAssignment(Entry(0x204005));  // right Alt shows the Alt option
    EXPECT_EQ(c.modifier, 3);
    EXPECT_EQ(c.keyNameKey, "keyboard_key_B");
    // A key the tables do not name: no option, no text, and the code loses its parameters.
    editor.SetAssignment(Entry(0x2000F0));
    EXPECT_EQ(c.function, 6);
    EXPECT_EQ(c.modifier, -1);
    EXPECT_EQ(c.keyNameKey, "");
    EXPECT_EQ(EncodeAssignment(editor.Entry().current), 0x200000);
    // 0xB0 shows the shortcut page with nothing selected.
    editor.SetAssignment(Entry(0xB01234));
    EXPECT_EQ(c.function, 11);
    EXPECT_EQ(c.shortcutRow, -1);
}

TEST_F(KeyEditorTest, KeyboardKeyBuilding) {
    editor.SetAssignment(Entry(0x200004));
    editor.SelectModifier(2);
    EXPECT_EQ(EncodeAssignment(editor.BuildAssignment().current), 0x200204);
    // Choosing the keyboard function clears key and options: (0x20, 0, 0).
    EXPECT_EQ(Build(6), 0x200000);
    EXPECT_EQ(editor.SelectedModifier(), -1);
    editor.SelectModifier(4);
    editor.SelectModifier(1);  // one at a time
    EXPECT_EQ(editor.SelectedModifier(), 1);
    EXPECT_EQ(EncodeAssignment(editor.BuildAssignment().current), 0x200100);
}

TEST_F(KeyEditorTest, CaptureStoresTheLastEvent) {
    editor.SetAssignment(Entry(0x100200));
    editor.SelectFunction(6);
    const std::uint32_t ext = 1;
    // Right Alt down, A down, right Alt up, A up.
    auto e = editor.CaptureKey(0x38, ext);
    ASSERT_TRUE(e);
    EXPECT_EQ(EncodeAssignment(e->current), 0x200400);
    EXPECT_EQ(c.modifier, 3);
    EXPECT_EQ(c.keyNameKey, "");
    EXPECT_EQ(EncodeAssignment(editor.CaptureKey(0x1E, 0)->current), 0x200404);
    EXPECT_EQ(c.keyNameKey, "keyboard_key_A");
    EXPECT_EQ(EncodeAssignment(editor.CaptureKey(0x38, ext)->current), 0x200400);
    EXPECT_EQ(EncodeAssignment(editor.CaptureKey(0x1E, 0)->current), 0x200404);
    // Right Alt released last leaves the modifier alone.
    EXPECT_EQ(EncodeAssignment(editor.CaptureKey(0x38, ext)->current), 0x200400);

    // A key alone selects option 0; an unknown scan code changes nothing.
    editor.SetAssignment(Entry(0x100200));
    editor.SelectFunction(6);
    EXPECT_EQ(EncodeAssignment(editor.CaptureKey(0x1C, ext)->current), 0x200058);  // keypad Enter
    EXPECT_EQ(c.modifier, 0);
    EXPECT_FALSE(editor.CaptureKey(0x1E, ext).has_value());
    EXPECT_EQ(EncodeAssignment(editor.Entry().current), 0x200058);
}

TEST_F(KeyEditorTest, MacroSelections) {
    editor.SetAssignment(Entry(0x700502));  // macro 5 of 3: nothing selected
    EXPECT_EQ(c.function, 9);
    EXPECT_EQ(c.macroRow, -1);
    EXPECT_EQ(c.repeatMode, -1);
    // Nothing selected keeps the stored code.
    EXPECT_EQ(editor.BuildAssignment().current.param1, 5);

    editor.SetAssignment(Entry(0x71020A));
    EXPECT_EQ(c.repeatMode, 4);
    EXPECT_TRUE(c.cycleCountVisible);
    EXPECT_EQ(c.macroCycleCount, "10");
    editor.SelectRepeatMode(1);
    EXPECT_FALSE(c.cycleCountVisible);
    EXPECT_EQ(Build(9), 0x700201);
    editor.SelectRepeatMode(4);
    c.macroCycleCount = "300";  // a byte keeps the low 8 bits
    EXPECT_EQ(Build(9), 0x71022C);

    editor.SetMacroNames({});
    EXPECT_EQ(c.macroRow, -1);
    EXPECT_EQ(Build(9), 0x71022C);
}

TEST_F(KeyEditorTest, ResetAndEditNumbers) {
    editor.SetAssignment(Entry(0x200004));
    editor.ResetParameters();
    EXPECT_EQ(Build(5), 0x143202);  // interval 50, count 2
    EXPECT_EQ(Build(1), 0x100100);
    EXPECT_EQ(Build(7), 0x308301);
    EXPECT_EQ(Build(10), 0x720000);

    EXPECT_EQ(ParseEditNumber(""), 0);
    EXPECT_EQ(ParseEditNumber("abc"), 0);
    EXPECT_EQ(ParseEditNumber("  42x7"), 42);
    EXPECT_EQ(ParseEditNumber("-3"), -3);
    EXPECT_EQ(ParseEditNumber("99999999999999"), INT_MAX);
    c.fireInterval = "-1";
    c.fireCount = "";
    EXPECT_EQ(Build(5), 0x14FF00);
}

}  // namespace
}  // namespace q417
