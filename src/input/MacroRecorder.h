#pragma once
// The macro editor's event list as a model: recording keys and mouse buttons from the capture,
// inserting mouse events by hand, the row operations and the text each row shows. The Qt view
// binds its list to Rows()/Selected() and forwards the capture's events; nothing here touches a
// file (the caller saves the macro after a change).
//
// Delays of recorded rows follow the timing rule: under "record" the time between two events is
// stored on the earlier one as the pause after it, so the last event of a recording keeps 0.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/MacroEventRow.h"
#include "input/MacroRecordInput.h"
#include "platform/Clock.h"

namespace q417 {

// What a row shows: the action label, the "what" label and the delay edit.
struct MacroRowView {
    std::string_view actionStyle;  // "macro_label_down_style" / "macro_label_up_style" /
                                   // "macro_label_text_style" (pointer moves)
    std::string actionText;        // the distance for pointer moves, else empty
    std::string_view whatStyle;    // "macro_label_keyboard_style" / "macro_label_mouse_style"
    std::string_view nameKey;      // language key of the key or button; empty when none
    std::string delayText;         // empty for a row whose delay is not set yet
};

// The name key and row of the mouse event table a mouse event maps to.
std::string_view MouseEventNameKey(const MacroEvent& event);

class MacroRecorder {
public:
    // clock and keys must outlive the recorder.
    MacroRecorder(const Clock& clock, const IMacroKeyTables& keys);

    // ---- the list ----
    const std::vector<MacroEventRow>& Rows() const { return rows_; }
    std::optional<std::size_t> Selected() const { return selected_; }
    // An index past the end selects nothing.
    void Select(std::optional<std::size_t> index);
    // Replaces the list by the events of a macro (at most 4000; false when some were left out) and
    // selects nothing.
    bool LoadEvents(const std::vector<MacroEvent>& events);
    std::vector<MacroEvent> Events() const;
    // The delay edit of a row lost the focus: its text (leading digits, clamped to 0-65535) becomes
    // the row's delay. False for a bad index.
    bool SetRowDelay(std::size_t index, std::string_view text);
    MacroRowView View(std::size_t index) const;
    MacroRowView View(const MacroEventRow& row) const;

    // ---- the constant delay ----
    uint16_t ConstantDelay() const { return constantDelay_; }
    // Reads the constant-delay edit (leading digits; above 65535 → 65535). Returns the text the
    // edit should show when it differs from what was typed (e.g. "70000" → "65535").
    std::optional<std::string> ReadConstantDelay(std::string_view editText);

    // ---- recording ----
    // The stop button's screen rectangle; a left click inside it is never recorded.
    void SetStopButtonRect(std::optional<ScreenRect> rect) { stopButton_ = rect; }
    // Starts a capture in mode 4, 8, 16 or 32 (false for mode 1, which belongs to the key editor).
    // The repeat memories are cleared, so a key still held when the last capture stopped records
    // its next press; the recorded flag stays.
    bool StartRecording(TimingRule rule, CaptureMode mode);
    void StopRecording() { capture_.reset(); }
    bool Recording() const { return capture_.has_value(); }
    std::optional<CaptureMode> Capture() const { return capture_; }
    bool RecordedBefore() const { return recorded_; }

    // The capture's events. True when the list changed (a row was added or rewritten). Events are
    // ignored while no capture runs and when mode is not the running capture's mode.
    bool OnKeyEvent(CaptureMode mode, uint32_t message, const KeyboardHookRecord& record);
    bool OnMouseEvent(CaptureMode mode, uint32_t message, const MouseHookRecord& record);

    // ---- by hand ----
    // One mouse button event (message 0x201-0x20C; variant 0 forward, 1 back for the extra
    // button) or a pointer move (message 0x200; variant 0 left, 1 right, 2 up, 3 down; distance
    // clamped to 255). Inserted behind the selected row (behind the first row when none is
    // selected), with the constant delay, and selected. False when nothing was inserted (unknown
    // message or variant, or the list already holds 4000 rows).
    bool InsertMouseEvent(uint32_t message, int variant, uint32_t distance = 0);
    // The button's down and then its up event; false (nothing inserted) unless both fit.
    bool InsertMouseClick(uint32_t downMessage, int variant);

    // ---- row operations (false when nothing changed) ----
    bool MoveTop();
    bool MoveUp();
    bool MoveDown();
    bool MoveBottom();
    // Removes the selected row; the row that takes its place (or the new last row) is selected.
    bool DeleteRow();
    bool DeleteAll();

private:
    struct KeyMemory {
        uint32_t scan = 0;
        bool extended = false;
    };
    static std::size_t Slot(CaptureMode mode);
    bool Accepts(CaptureMode mode) const;
    uint16_t MeasureDelay();
    // Steps 4-7 of recording: the row limit, placement, delays, flag and selection.
    bool Place(CaptureMode mode, const MacroEvent& event);
    bool Replace(const MacroEvent& event);
    bool InsertByHand(const MacroEvent& event);
    bool MoveSelected(std::size_t to);

    const Clock& clock_;
    const IMacroKeyTables& keys_;
    std::vector<MacroEventRow> rows_;
    std::optional<std::size_t> selected_;
    uint16_t constantDelay_ = 0;
    TimingRule rule_ = TimingRule::Record;
    std::optional<CaptureMode> capture_;
    Clock::TimePoint lastEvent_{};
    bool recorded_ = false;
    std::optional<ScreenRect> stopButton_;
    // One memory per capture mode 4, 8, 16, 32.
    std::array<KeyMemory, 4> keyMemory_{};
    std::array<uint32_t, 4> mouseMemory_{};
};

}  // namespace q417
