// The macro recording model: timing rules, placement per capture mode, filters, the row limit,
// hand-inserted mouse events and row operations, driven with a manual clock and the real key
// tables.
#include <gtest/gtest.h>

#include <chrono>

#include "input/MacroRecordKeyTables.h"
#include "input/MacroRecorder.h"

namespace q417 {
namespace {

using namespace std::chrono_literals;

// Set-1 scan codes of a few keys.
constexpr uint32_t kScanA = 0x1E;
constexpr uint32_t kScanB = 0x30;
constexpr uint32_t kScanC = 0x2E;
constexpr uint32_t kScanCtrl = 0x1D;

MacroEvent Key(uint8_t usage, bool down, uint16_t delay = 0) {
    return MacroEvent{down, kEventKey, usage, delay};
}

class RecorderTest : public ::testing::Test {
protected:
    bool Press(uint32_t scan, CaptureMode mode = CaptureMode::Append, bool extended = false) {
        return rec.OnKeyEvent(mode, kMsgKeyDown, {0, scan, extended ? 1u : 0u});
    }
    bool Release(uint32_t scan, CaptureMode mode = CaptureMode::Append) {
        return rec.OnKeyEvent(mode, kMsgKeyUp, {0, scan, 0});
    }
    bool Mouse(uint32_t message, int32_t x = 0, int32_t y = 0, uint32_t data = 0,
               CaptureMode mode = CaptureMode::Append) {
        return rec.OnMouseEvent(mode, message, {x, y, data});
    }
    std::vector<uint16_t> Delays() const {
        std::vector<uint16_t> d;
        for (const MacroEventRow& r : rec.Rows()) {
            d.push_back(r.event.delay);
        }
        return d;
    }
    std::vector<uint8_t> Buttons() const {
        std::vector<uint8_t> b;
        for (const MacroEventRow& r : rec.Rows()) {
            b.push_back(r.event.button);
        }
        return b;
    }

    ManualClock clock;
    MacroRecorder rec{clock, KeyAssignmentKeyTables()};
};

TEST_F(RecorderTest, TimingRulesIntoAnEmptyMacro) {
    struct Case {
        TimingRule rule;
        std::vector<uint16_t> three;
    };
    for (const Case& c :
         {Case{TimingRule::Record, {200, 300, 0}}, Case{TimingRule::Constant, {50, 50, 50}},
          Case{TimingRule::Ignore, {0, 0, 0}}}) {
        SCOPED_TRACE(static_cast<int>(c.rule));
        MacroRecorder r3(clock, KeyAssignmentKeyTables());
        r3.ReadConstantDelay("50");
        ASSERT_TRUE(r3.StartRecording(c.rule, CaptureMode::Append));
        clock.Advance(40ms);
        ASSERT_TRUE(r3.OnKeyEvent(CaptureMode::Append, kMsgKeyDown, {0, kScanA, 0}));
        clock.Advance(200ms);
        ASSERT_TRUE(r3.OnKeyEvent(CaptureMode::Append, kMsgKeyUp, {0, kScanA, 0}));
        clock.Advance(300ms);
        ASSERT_TRUE(r3.OnKeyEvent(CaptureMode::Append, kMsgKeyDown, {0, kScanB, 0}));
        std::vector<uint16_t> got;
        for (const MacroEventRow& row : r3.Rows()) {
            got.push_back(row.event.delay);
        }
        EXPECT_EQ(got, c.three);

        // A single event recorded into an empty macro carries 0 under every rule.
        MacroRecorder r1(clock, KeyAssignmentKeyTables());
        r1.ReadConstantDelay("50");
        r1.StartRecording(c.rule, CaptureMode::Append);
        clock.Advance(500ms);
        ASSERT_TRUE(r1.OnKeyEvent(CaptureMode::Append, kMsgKeyDown, {0, kScanA, 0}));
        ASSERT_EQ(r1.Rows().size(), 1u);
        EXPECT_EQ(r1.Rows()[0].event.delay, 0);
        EXPECT_EQ(r1.View(0).delayText, "0");
    }
}

TEST_F(RecorderTest, KeyEventsMapThroughTheScanTable) {
    rec.StartRecording(TimingRule::Ignore, CaptureMode::Append);
    ASSERT_TRUE(Press(kScanA));
    ASSERT_TRUE(rec.OnKeyEvent(CaptureMode::Append, kMsgSysKeyDown, {0, kScanCtrl, 1}));  // RCtrl
    ASSERT_TRUE(Press(kScanCtrl));                                                        // LCtrl
    EXPECT_FALSE(Press(0x7F));  // not in the table
    ASSERT_EQ(rec.Rows().size(), 3u);
    EXPECT_EQ(rec.Rows()[0].event, Key(0x04, true));
    EXPECT_EQ(rec.Rows()[1].event, (MacroEvent{true, kEventModifier, 0x10, 0}));
    EXPECT_EQ(rec.Rows()[2].event, (MacroEvent{true, kEventModifier, 0x01, 0}));
    EXPECT_EQ(rec.View(0).nameKey, "keyboard_key_A");
    EXPECT_EQ(rec.View(0).whatStyle, "macro_label_keyboard_style");
    EXPECT_EQ(rec.View(0).actionStyle, "macro_label_down_style");
    EXPECT_EQ(rec.View(1).nameKey, "keyboard_key_RCtrl");
}

TEST_F(RecorderTest, MeasuredIntervalAboveRangeIsStoredAs65535) {
    rec.StartRecording(TimingRule::Record, CaptureMode::Append);
    Press(kScanA);
    clock.Advance(70s);
    Release(kScanA);
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{65535, 0}));
}

TEST_F(RecorderTest, AppendingAfterAnEarlierRecordingTimesTheGapFromTheStart) {
    rec.LoadEvents({Key(4, true, 7), Key(4, false, 9)});
    // Nothing recorded yet in this editor: the last row keeps its delay.
    rec.StartRecording(TimingRule::Record, CaptureMode::Append);
    clock.Advance(120ms);
    Press(kScanB);
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{7, 9, 0}));
    rec.StopRecording();

    // Now the flag is set: the next recording's first event writes its time from the start.
    clock.Advance(5s);
    rec.StartRecording(TimingRule::Record, CaptureMode::Append);
    clock.Advance(80ms);
    Release(kScanB);
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{7, 9, 80, 0}));
    EXPECT_EQ(rec.Selected(), 3u);
}

TEST_F(RecorderTest, InsertBeforeKeepsTheSelectedRowAndLeavesAFirstRowEmpty) {
    rec.LoadEvents({Key(0x1B, true, 7), Key(0x1C, true, 9)});
    rec.Select(0);
    rec.StartRecording(TimingRule::Record, CaptureMode::InsertBefore);
    clock.Advance(100ms);
    ASSERT_TRUE(Press(kScanA, CaptureMode::InsertBefore));
    ASSERT_EQ(rec.Rows().size(), 3u);
    EXPECT_TRUE(rec.Rows()[0].delayEmpty);
    EXPECT_EQ(rec.View(0).delayText, "");
    EXPECT_EQ(rec.Rows()[0].event.delay, 0);  // saved as 0
    EXPECT_EQ(rec.Selected(), 1u);            // the row recorded in front of

    clock.Advance(150ms);
    ASSERT_TRUE(Press(kScanB, CaptureMode::InsertBefore));
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{0x04, 0x05, 0x1B, 0x1C}));
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{150, 0, 7, 9}));
    EXPECT_FALSE(rec.Rows()[0].delayEmpty);
    EXPECT_EQ(rec.Selected(), 2u);

    // Without a selection nothing lands.
    rec.Select(std::nullopt);
    EXPECT_FALSE(Press(kScanC, CaptureMode::InsertBefore));
    EXPECT_EQ(rec.Rows().size(), 4u);
}

TEST_F(RecorderTest, InsertBeforeALaterRowTimesTheRowAbove) {
    rec.LoadEvents({Key(0x1B, true, 7), Key(0x1C, true, 9)});
    rec.ReadConstantDelay("40");
    rec.Select(1);
    rec.StartRecording(TimingRule::Constant, CaptureMode::InsertBefore);
    ASSERT_TRUE(Press(kScanA, CaptureMode::InsertBefore));
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{0x1B, 0x04, 0x1C}));
    // The first event of a run had no recorded predecessor in this editor: row 0 keeps 7.
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{7, 40, 9}));
    ASSERT_TRUE(Press(kScanB, CaptureMode::InsertBefore));
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{0x1B, 0x04, 0x05, 0x1C}));
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{7, 40, 40, 9}));
}

TEST_F(RecorderTest, InsertAfterFollowsTheNewRow) {
    rec.LoadEvents({Key(0x1B, true, 7), Key(0x1C, true, 9)});
    rec.Select(0);
    rec.StartRecording(TimingRule::Record, CaptureMode::InsertAfter);
    clock.Advance(30ms);
    ASSERT_TRUE(Press(kScanA, CaptureMode::InsertAfter));
    EXPECT_EQ(rec.Selected(), 1u);
    clock.Advance(250ms);
    ASSERT_TRUE(Release(kScanA, CaptureMode::InsertAfter));
    EXPECT_EQ(rec.Selected(), 2u);
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{0x1B, 0x04, 0x04, 0x1C}));
    // Row 0 keeps its delay (nothing recorded before), the new rows are timed.
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{7, 250, 0, 9}));

    rec.Select(std::nullopt);
    EXPECT_FALSE(Press(kScanB, CaptureMode::InsertAfter));
}

TEST_F(RecorderTest, ReplaceRewritesTheSelectedRowKeepingItsDelay) {
    rec.LoadEvents({Key(0x1B, true, 33), Key(0x1C, false, 9)});
    rec.StartRecording(TimingRule::Ignore, CaptureMode::ReplaceSelected);
    EXPECT_FALSE(Press(kScanB, CaptureMode::ReplaceSelected));  // nothing selected
    rec.Select(0);
    ASSERT_TRUE(Press(kScanB, CaptureMode::ReplaceSelected));
    EXPECT_EQ(rec.Rows()[0].event, Key(0x05, true, 33));
    ASSERT_TRUE(Press(kScanC, CaptureMode::ReplaceSelected));
    EXPECT_EQ(rec.Rows()[0].event, Key(0x06, true, 33));
    ASSERT_TRUE(Mouse(kMsgRightUp, 0, 0, 0, CaptureMode::ReplaceSelected));
    EXPECT_EQ(rec.Rows()[0].event, (MacroEvent{false, kEventMouseButton, 0x02, 33}));
    EXPECT_EQ(rec.Rows().size(), 2u);
    EXPECT_FALSE(rec.RecordedBefore());
}

TEST_F(RecorderTest, AutoRepeatRecordsOneDownAndOneUp) {
    rec.StartRecording(TimingRule::Ignore, CaptureMode::Append);
    EXPECT_TRUE(Press(kScanA));
    EXPECT_FALSE(Press(kScanA));
    EXPECT_FALSE(Press(kScanA));
    EXPECT_TRUE(Release(kScanA));
    EXPECT_TRUE(Press(kScanA));  // a new press after the release
    EXPECT_EQ(rec.Rows().size(), 3u);
    // The extended bit makes another key.
    EXPECT_TRUE(Press(kScanCtrl));
    EXPECT_TRUE(Press(kScanCtrl, CaptureMode::Append, true));
}

TEST_F(RecorderTest, AKeyHeldAcrossCapturesRecordsItsNextPress) {
    rec.StartRecording(TimingRule::Ignore, CaptureMode::Append);
    EXPECT_TRUE(Press(kScanA));
    rec.StopRecording();  // A still held; its release went nowhere
    rec.StartRecording(TimingRule::Ignore, CaptureMode::Append);
    EXPECT_TRUE(Press(kScanA));
    EXPECT_EQ(rec.Rows().size(), 2u);
}

TEST_F(RecorderTest, EventsOutsideTheRunningCaptureAreIgnored) {
    EXPECT_FALSE(Press(kScanA));  // no capture
    EXPECT_FALSE(rec.StartRecording(TimingRule::Record, CaptureMode::KeySingle));
    rec.StartRecording(TimingRule::Record, CaptureMode::Append);
    rec.Select(std::nullopt);
    EXPECT_FALSE(Press(kScanA, CaptureMode::InsertAfter));
    EXPECT_TRUE(Press(kScanA));
    rec.StopRecording();
    EXPECT_FALSE(Release(kScanA));
    EXPECT_EQ(rec.Rows().size(), 1u);
}

TEST_F(RecorderTest, MouseButtonsAndTheStopButton) {
    rec.SetStopButtonRect(ScreenRect{100, 200, 180, 230});
    rec.StartRecording(TimingRule::Ignore, CaptureMode::Append);
    EXPECT_FALSE(Mouse(kMsgMouseMove, 5, 5));
    EXPECT_FALSE(Mouse(kMsgWheel, 5, 5));
    EXPECT_TRUE(Mouse(kMsgRightDown, 120, 210));  // a right click on the stop button is recorded
    EXPECT_TRUE(Mouse(kMsgRightUp, 120, 210));
    EXPECT_FALSE(Mouse(kMsgLeftDown, 100, 200));  // the click that stops the recording
    EXPECT_FALSE(Mouse(kMsgLeftUp, 179, 229));
    EXPECT_TRUE(Mouse(kMsgLeftDown, 180, 229));  // just outside
    EXPECT_TRUE(Mouse(kMsgMiddleUp, 0, 0));
    ASSERT_EQ(rec.Rows().size(), 4u);
    EXPECT_EQ(rec.Rows()[0].event, (MacroEvent{true, kEventMouseButton, 0x02, 0}));
    EXPECT_EQ(rec.Rows()[2].event, (MacroEvent{true, kEventMouseButton, 0x01, 0}));
    EXPECT_EQ(rec.Rows()[3].event, (MacroEvent{false, kEventMouseButton, 0x04, 0}));
    EXPECT_EQ(rec.View(3).nameKey, "mouse_key_middle");
    EXPECT_EQ(rec.View(3).whatStyle, "macro_label_mouse_style");
}

TEST_F(RecorderTest, ExtraButtonsShareOneRepeatMemory) {
    rec.StartRecording(TimingRule::Ignore, CaptureMode::Append);
    EXPECT_TRUE(Mouse(kMsgExtraDown, 0, 0, 2u << 16));   // forward down
    EXPECT_FALSE(Mouse(kMsgExtraDown, 0, 0, 1u << 16));  // back down: same message id
    EXPECT_TRUE(Mouse(kMsgExtraUp, 0, 0, 1u << 16));     // back up
    EXPECT_FALSE(Mouse(kMsgExtraDown, 0, 0, 3u << 16));  // unknown extra button
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{0x10, 0x08}));
    EXPECT_EQ(rec.View(0).nameKey, "mouse_key_forward");
    EXPECT_EQ(rec.View(1).nameKey, "mouse_key_back");
}

TEST_F(RecorderTest, MouseRecordFromRawHookBytes) {
    std::array<uint8_t, 24> raw{};
    raw[0] = 0xFE;  // x = -2
    raw[1] = raw[2] = raw[3] = 0xFF;
    raw[4] = 0x10;  // y = 0x110
    raw[5] = 0x01;
    raw[22] = 2;  // mouseData high word: forward
    std::optional<MouseHookRecord> r = MouseHookRecordFromBytes(raw);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->x, -2);
    EXPECT_EQ(r->y, 0x110);
    EXPECT_EQ(r->ExtraButton(), 2);
    EXPECT_FALSE(MouseHookRecordFromBytes(std::span(raw).first(20)));
}

TEST_F(RecorderTest, RowLimitHoldsOnEveryPath) {
    std::vector<MacroEvent> full(kMaxMacroEvents, Key(4, true, 1));
    EXPECT_TRUE(rec.LoadEvents(full));
    rec.Select(10);
    rec.StartRecording(TimingRule::Record, CaptureMode::Append);
    EXPECT_FALSE(Press(kScanA));
    EXPECT_FALSE(Mouse(kMsgLeftDown));
    EXPECT_FALSE(rec.InsertMouseEvent(kMsgLeftDown, 0));
    EXPECT_FALSE(rec.InsertMouseEvent(kMsgMouseMove, 0, 10));
    EXPECT_EQ(rec.Rows().size(), kMaxMacroEvents);

    // One row free: a click needs two and is refused whole; a single event fits.
    ASSERT_TRUE(rec.DeleteRow());
    EXPECT_FALSE(rec.InsertMouseClick(kMsgLeftDown, 0));
    EXPECT_EQ(rec.Rows().size(), kMaxMacroEvents - 1);
    EXPECT_TRUE(rec.InsertMouseEvent(kMsgLeftDown, 0));
    EXPECT_EQ(rec.Rows().size(), kMaxMacroEvents);

    std::vector<MacroEvent> over(kMaxMacroEvents + 5, Key(4, true));
    EXPECT_FALSE(rec.LoadEvents(over));
    EXPECT_EQ(rec.Rows().size(), kMaxMacroEvents);
}

TEST_F(RecorderTest, DroppedEventsLeaveTheTimingAlone) {
    rec.StartRecording(TimingRule::Record, CaptureMode::Append);
    clock.Advance(100ms);
    Press(kScanA);
    clock.Advance(100ms);
    Press(kScanA);  // auto-repeat, dropped
    clock.Advance(100ms);
    Release(kScanA);
    EXPECT_EQ(Delays(), (std::vector<uint16_t>{200, 0}));
}

TEST_F(RecorderTest, InsertByHandPlacementAndValues) {
    rec.ReadConstantDelay("25");
    ASSERT_TRUE(rec.InsertMouseEvent(kMsgMouseMove, 2, 300));  // empty list: index 0
    EXPECT_EQ(rec.Rows()[0].event, (MacroEvent{true, kEventMoveVertical, 255, 25}));
    MacroRowView move = rec.View(0);
    EXPECT_EQ(move.actionStyle, "macro_label_text_style");
    EXPECT_EQ(move.actionText, "255");
    EXPECT_EQ(move.nameKey, "mouse_move_to_up_text");

    rec.Select(std::nullopt);
    ASSERT_TRUE(rec.InsertMouseEvent(kMsgMouseMove, 1, 12));  // none selected: after row 0
    ASSERT_TRUE(rec.InsertMouseEvent(kMsgMouseMove, 3, 4));
    rec.Select(std::nullopt);
    ASSERT_TRUE(rec.InsertMouseClick(kMsgExtraDown, 1));  // back click after row 0
    ASSERT_EQ(rec.Rows().size(), 5u);
    EXPECT_EQ(rec.Rows()[1].event, (MacroEvent{true, kEventMouseButton, 0x08, 25}));
    EXPECT_EQ(rec.Rows()[2].event, (MacroEvent{false, kEventMouseButton, 0x08, 25}));
    EXPECT_EQ(rec.Rows()[3].event, (MacroEvent{false, kEventMoveHorizontal, 12, 25}));
    EXPECT_EQ(rec.Rows()[4].event, (MacroEvent{false, kEventMoveVertical, 4, 25}));
    EXPECT_EQ(rec.Selected(), 2u);
    EXPECT_EQ(rec.View(3).nameKey, "mouse_move_to_right_text");

    EXPECT_FALSE(rec.InsertMouseEvent(kMsgExtraDown, 2));
    EXPECT_FALSE(rec.InsertMouseEvent(kMsgMouseMove, 4, 1));
    EXPECT_FALSE(rec.InsertMouseEvent(kMsgWheel, 0));
    EXPECT_FALSE(rec.InsertMouseClick(kMsgLeftUp, 0));
    // Inserting by hand does not count as recording.
    EXPECT_FALSE(rec.RecordedBefore());
}

TEST_F(RecorderTest, RowOperations) {
    rec.LoadEvents({Key(1, true), Key(2, true), Key(3, true), Key(4, true)});
    EXPECT_FALSE(rec.MoveUp());  // nothing selected
    rec.Select(2);
    EXPECT_TRUE(rec.MoveUp());
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{1, 3, 2, 4}));
    EXPECT_EQ(rec.Selected(), 1u);
    EXPECT_TRUE(rec.MoveTop());
    EXPECT_FALSE(rec.MoveTop());
    EXPECT_FALSE(rec.MoveUp());
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{3, 1, 2, 4}));
    EXPECT_TRUE(rec.MoveBottom());
    EXPECT_FALSE(rec.MoveDown());
    EXPECT_FALSE(rec.MoveBottom());
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{1, 2, 4, 3}));
    rec.Select(0);
    EXPECT_TRUE(rec.MoveDown());
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{2, 1, 4, 3}));
    EXPECT_EQ(rec.Selected(), 1u);
    EXPECT_TRUE(rec.DeleteRow());
    EXPECT_EQ(Buttons(), (std::vector<uint8_t>{2, 4, 3}));
    EXPECT_EQ(rec.Selected(), 1u);
    rec.Select(2);
    EXPECT_TRUE(rec.DeleteRow());
    EXPECT_EQ(rec.Selected(), 1u);
    EXPECT_TRUE(rec.DeleteAll());
    EXPECT_TRUE(rec.Rows().empty());
    EXPECT_FALSE(rec.Selected());
    EXPECT_FALSE(rec.DeleteRow());
}

TEST_F(RecorderTest, AMovedRowShowsItsStoredDelay) {
    rec.LoadEvents({Key(1, true, 5)});
    rec.Select(0);
    rec.StartRecording(TimingRule::Ignore, CaptureMode::InsertBefore);
    Press(kScanA, CaptureMode::InsertBefore);
    ASSERT_TRUE(rec.Rows()[0].delayEmpty);
    rec.Select(0);
    ASSERT_TRUE(rec.MoveDown());
    EXPECT_EQ(rec.View(1).delayText, "0");
}

TEST_F(RecorderTest, DelayTextsAreClampedNotWrapped) {
    EXPECT_EQ(rec.ReadConstantDelay("70000"), std::optional<std::string>("65535"));
    EXPECT_EQ(rec.ConstantDelay(), 65535);
    EXPECT_EQ(rec.ReadConstantDelay("120"), std::nullopt);
    EXPECT_EQ(rec.ConstantDelay(), 120);
    EXPECT_EQ(rec.ReadConstantDelay("x"), std::optional<std::string>("0"));

    rec.LoadEvents({Key(1, true, 5)});
    EXPECT_TRUE(rec.SetRowDelay(0, "70000"));
    EXPECT_EQ(rec.Rows()[0].event.delay, 65535);
    EXPECT_TRUE(rec.SetRowDelay(0, ""));
    EXPECT_EQ(rec.Rows()[0].event.delay, 0);
    EXPECT_FALSE(rec.SetRowDelay(1, "3"));
}

}  // namespace
}  // namespace q417
