#include "input/MacroRecorder.h"

#include <algorithm>
#include <chrono>

namespace q417 {

namespace {

// The mouse messages and pointer moves a macro row can hold: param1 is "Button", param2 is "Type"
// with bit 7 set for "down". Rows 6-7 are the second extra button (forward), 8-9 the first (back).
struct MouseRow {
    uint32_t message;
    uint8_t param1;
    uint8_t param2;
    std::string_view nameKey;
};

constexpr std::array<MouseRow, 14> kMouseRows{{
    {kMsgLeftDown, 0x01, 0x81, "mouse_key_left"},
    {kMsgLeftUp, 0x01, 0x01, "mouse_key_left"},
    {kMsgRightDown, 0x02, 0x81, "mouse_key_right"},
    {kMsgRightUp, 0x02, 0x01, "mouse_key_right"},
    {kMsgMiddleDown, 0x04, 0x81, "mouse_key_middle"},
    {kMsgMiddleUp, 0x04, 0x01, "mouse_key_middle"},
    {kMsgExtraDown, 0x10, 0x81, "mouse_key_forward"},
    {kMsgExtraUp, 0x10, 0x01, "mouse_key_forward"},
    {kMsgExtraDown, 0x08, 0x81, "mouse_key_back"},
    {kMsgExtraUp, 0x08, 0x01, "mouse_key_back"},
    {kMsgMouseMove, 0, 0x84, "mouse_move_to_left_text"},
    {kMsgMouseMove, 0, 0x04, "mouse_move_to_right_text"},
    {kMsgMouseMove, 0, 0x85, "mouse_move_to_up_text"},
    {kMsgMouseMove, 0, 0x05, "mouse_move_to_down_text"},
}};

constexpr uint8_t kKeyCodeType = 0x20;
constexpr std::size_t kModifierRows = 8;
constexpr uint8_t kMaxMoveDistance = 255;

// The button row of a message; extra buttons pick forward (variant 0) or back (variant 1).
const MouseRow* ButtonRow(uint32_t message, int extraVariant) {
    if (message == kMsgExtraDown || message == kMsgExtraUp) {
        if (extraVariant != 0 && extraVariant != 1) {
            return nullptr;
        }
        std::size_t row = (message == kMsgExtraDown ? 6 : 7) + 2 * std::size_t(extraVariant);
        return &kMouseRows[row];
    }
    for (std::size_t i = 0; i < 6; ++i) {
        if (kMouseRows[i].message == message) {
            return &kMouseRows[i];
        }
    }
    return nullptr;
}

MacroEvent EventOf(const MouseRow& row) {
    MacroEvent e;
    e.button = row.param1;
    e.type = static_cast<uint8_t>(row.param2 & ~kEventDownBit);
    e.down = (row.param2 & kEventDownBit) != 0;
    return e;
}

int32_t LoadI32(std::span<const uint8_t> b, std::size_t at) {
    return static_cast<int32_t>(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 |
                                uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
}

}  // namespace

std::optional<MouseHookRecord> MouseHookRecordFromBytes(std::span<const uint8_t> bytes) {
    if (bytes.size() < kMouseHookRecordBytes) {
        return std::nullopt;
    }
    MouseHookRecord r;
    r.x = LoadI32(bytes, 0);
    r.y = LoadI32(bytes, 4);
    r.mouseData = static_cast<uint32_t>(LoadI32(bytes, 20));
    return r;
}

std::string_view MouseEventNameKey(const MacroEvent& event) {
    if (event.type == kEventMouseButton) {
        for (std::size_t i = 0; i < 10; ++i) {
            if (kMouseRows[i].param1 == event.button) {
                return kMouseRows[i].nameKey;
            }
        }
    } else if (event.type == kEventMoveHorizontal || event.type == kEventMoveVertical) {
        uint8_t code = static_cast<uint8_t>(event.type | (event.down ? kEventDownBit : 0));
        for (std::size_t i = 10; i < kMouseRows.size(); ++i) {
            if (kMouseRows[i].param2 == code) {
                return kMouseRows[i].nameKey;
            }
        }
    }
    return {};
}

MacroRecorder::MacroRecorder(const Clock& clock, const IMacroKeyTables& keys)
    : clock_(clock), keys_(keys), lastEvent_(clock.Now()) {}

void MacroRecorder::Select(std::optional<std::size_t> index) {
    selected_ = index && *index < rows_.size() ? index : std::nullopt;
}

bool MacroRecorder::LoadEvents(const std::vector<MacroEvent>& events) {
    std::size_t n = std::min(events.size(), kMaxMacroEvents);
    rows_.clear();
    rows_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        rows_.push_back(MacroEventRow{events[i], false});
    }
    selected_.reset();
    return n == events.size();
}

std::vector<MacroEvent> MacroRecorder::Events() const {
    std::vector<MacroEvent> events;
    events.reserve(rows_.size());
    for (const MacroEventRow& row : rows_) {
        events.push_back(row.event);
    }
    return events;
}

bool MacroRecorder::SetRowDelay(std::size_t index, std::string_view text) {
    if (index >= rows_.size()) {
        return false;
    }
    rows_[index].event.delay = static_cast<uint16_t>(ParseLeadingNumber(text, 0, kMaxEventDelay));
    rows_[index].delayEmpty = false;
    return true;
}

MacroRowView MacroRecorder::View(std::size_t index) const {
    return index < rows_.size() ? View(rows_[index]) : MacroRowView{};
}

MacroRowView MacroRecorder::View(const MacroEventRow& row) const {
    const MacroEvent& e = row.event;
    MacroRowView v;
    if (e.type == kEventMoveHorizontal || e.type == kEventMoveVertical) {
        v.actionStyle = "macro_label_text_style";
        v.actionText = std::to_string(e.button);
    } else {
        v.actionStyle = e.down ? "macro_label_down_style" : "macro_label_up_style";
    }
    if (e.type == kEventModifier || e.type == kEventKey) {
        v.whatStyle = "macro_label_keyboard_style";
        std::size_t from = e.type == kEventKey ? kModifierRows : 0;
        std::size_t to = e.type == kEventKey ? keys_.CodeRowCount()
                                             : std::min(kModifierRows, keys_.CodeRowCount());
        for (std::size_t i = from; i < to; ++i) {
            MacroKeyCodeRow r = keys_.CodeRow(i);
            bool match = e.type == kEventKey
                             ? r.type == kKeyCodeType && r.param1 == 0 && r.param2 == e.button
                             : r.param1 == e.button && r.param2 == 0;
            if (match) {
                v.nameKey = r.nameKey;
                break;
            }
        }
    } else if (e.type >= kEventMouseButton && e.type <= kEventMoveVertical) {
        v.whatStyle = "macro_label_mouse_style";
        v.nameKey = MouseEventNameKey(e);
    }
    v.delayText = row.delayEmpty ? std::string() : std::to_string(e.delay);
    return v;
}

std::optional<std::string> MacroRecorder::ReadConstantDelay(std::string_view editText) {
    constantDelay_ = static_cast<uint16_t>(ParseLeadingNumber(editText, 0, kMaxEventDelay));
    std::string shown = std::to_string(constantDelay_);
    if (shown != editText) {
        return shown;
    }
    return std::nullopt;
}

std::size_t MacroRecorder::Slot(CaptureMode mode) {
    switch (mode) {
        case CaptureMode::InsertBefore:
            return 1;
        case CaptureMode::InsertAfter:
            return 2;
        case CaptureMode::ReplaceSelected:
            return 3;
        default:
            return 0;
    }
}

bool MacroRecorder::StartRecording(TimingRule rule, CaptureMode mode) {
    if (mode == CaptureMode::KeySingle) {
        return false;
    }
    rule_ = rule;
    capture_ = mode;
    lastEvent_ = clock_.Now();
    keyMemory_.fill(KeyMemory{});
    mouseMemory_.fill(0);
    return true;
}

bool MacroRecorder::Accepts(CaptureMode mode) const {
    if (!capture_ || *capture_ != mode) {
        return false;
    }
    // Replacing needs a row to rewrite.
    return mode != CaptureMode::ReplaceSelected || selected_.has_value();
}

uint16_t MacroRecorder::MeasureDelay() {
    switch (rule_) {
        case TimingRule::Record: {
            Clock::TimePoint now = clock_.Now();
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastEvent_);
            lastEvent_ = now;
            return static_cast<uint16_t>(
                std::clamp<int64_t>(ms.count() > 65534 ? 65535 : ms.count(), 0, kMaxEventDelay));
        }
        case TimingRule::Constant:
            return constantDelay_;
        case TimingRule::Ignore:
            break;
    }
    return 0;
}

bool MacroRecorder::OnKeyEvent(CaptureMode mode, uint32_t message,
                               const KeyboardHookRecord& record) {
    if (!Accepts(mode)) {
        return false;
    }
    bool down = message == kMsgKeyDown || message == kMsgSysKeyDown;
    KeyMemory& memory = keyMemory_[Slot(mode)];
    bool same = memory.scan == record.scanCode && memory.extended == record.Extended();
    if (down) {
        if (same) {
            return false;  // auto-repeat of the key held down
        }
        memory = KeyMemory{record.scanCode, record.Extended()};
    } else if (same) {
        memory = KeyMemory{};
    }

    std::optional<std::size_t> row = keys_.ScanRow(record.scanCode, record.Extended());
    if (!row || *row >= keys_.CodeRowCount()) {
        return false;
    }
    MacroKeyCodeRow code = keys_.CodeRow(*row);
    MacroEvent event;
    event.down = down;
    if (code.param2 != 0) {
        event.type = kEventKey;
        event.button = code.param2;
    } else {
        event.type = kEventModifier;
        event.button = code.param1;
    }
    return mode == CaptureMode::ReplaceSelected ? Replace(event) : Place(mode, event);
}

bool MacroRecorder::OnMouseEvent(CaptureMode mode, uint32_t message,
                                 const MouseHookRecord& record) {
    if (!Accepts(mode)) {
        return false;
    }
    const MouseRow* row = nullptr;
    if (message == kMsgExtraDown || message == kMsgExtraUp) {
        uint16_t extra = record.ExtraButton();
        if (extra == 2) {
            row = ButtonRow(message, 0);
        } else if (extra == 1) {
            row = ButtonRow(message, 1);
        }
    } else {
        row = ButtonRow(message, 0);
    }
    if (row == nullptr) {
        return false;
    }
    uint32_t& memory = mouseMemory_[Slot(mode)];
    if (memory == message) {
        return false;
    }
    memory = message;
    // The click that ends a recording is not part of it.
    if ((message == kMsgLeftDown || message == kMsgLeftUp) && stopButton_ &&
        stopButton_->Contains(record.x, record.y)) {
        return false;
    }
    MacroEvent event = EventOf(*row);
    return mode == CaptureMode::ReplaceSelected ? Replace(event) : Place(mode, event);
}

bool MacroRecorder::Place(CaptureMode mode, const MacroEvent& event) {
    if (rows_.size() >= kMaxMacroEvents) {
        return false;
    }
    std::size_t at = 0;
    bool first = false;
    switch (mode) {
        case CaptureMode::Append:
            at = rows_.size();
            first = rows_.empty();
            break;
        case CaptureMode::InsertBefore:
            if (!selected_) {
                return false;
            }
            at = *selected_;
            first = at == 0;
            break;
        case CaptureMode::InsertAfter:
            if (!selected_) {
                return false;
            }
            at = *selected_ + 1;
            first = rows_.empty();
            break;
        default:
            return false;
    }

    uint16_t measured = MeasureDelay();
    MacroEventRow row{event, false};
    if (first) {
        row.event.delay = 0;
        // In front of the first row the new row has no delay yet (saved as 0).
        row.delayEmpty = mode == CaptureMode::InsertBefore;
    } else {
        row.event.delay = rule_ == TimingRule::Constant ? constantDelay_ : 0;
    }
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), row);
    if (!first && recorded_ && at > 0) {
        // The pause after the previous event is the time up to this one.
        rows_[at - 1].event.delay = measured;
        rows_[at - 1].delayEmpty = false;
    }
    recorded_ = true;
    switch (mode) {
        case CaptureMode::Append:
            selected_ = rows_.size() - 1;
            break;
        case CaptureMode::InsertBefore:
            selected_ = at + 1;  // the row recorded in front of stays selected
            break;
        default:
            selected_ = at;
            break;
    }
    return true;
}

bool MacroRecorder::Replace(const MacroEvent& event) {
    MacroEvent& target = rows_[*selected_].event;
    target.down = event.down;
    target.type = event.type;
    target.button = event.button;
    return true;
}

bool MacroRecorder::InsertByHand(const MacroEvent& event) {
    if (rows_.size() >= kMaxMacroEvents) {
        return false;
    }
    std::size_t at = selected_ ? *selected_ + 1 : (rows_.empty() ? 0 : 1);
    MacroEventRow row{event, false};
    row.event.delay = constantDelay_;
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), row);
    selected_ = at;
    return true;
}

bool MacroRecorder::InsertMouseEvent(uint32_t message, int variant, uint32_t distance) {
    MacroEvent event;
    if (message == kMsgMouseMove) {
        if (variant < 0 || variant > 3) {
            return false;
        }
        event.type = variant < 2 ? kEventMoveHorizontal : kEventMoveVertical;
        event.down = variant == 0 || variant == 2;  // left, up
        // A distance beyond one step is clamped: cutting it to 8 bits would move the wrong way.
        event.button = static_cast<uint8_t>(std::min<uint32_t>(distance, kMaxMoveDistance));
        return InsertByHand(event);
    }
    const MouseRow* row = ButtonRow(message, variant);
    if (row == nullptr) {
        return false;
    }
    return InsertByHand(EventOf(*row));
}

bool MacroRecorder::InsertMouseClick(uint32_t downMessage, int variant) {
    if (downMessage != kMsgLeftDown && downMessage != kMsgRightDown &&
        downMessage != kMsgMiddleDown && downMessage != kMsgExtraDown) {
        return false;
    }
    if (ButtonRow(downMessage, variant) == nullptr || rows_.size() + 2 > kMaxMacroEvents) {
        return false;
    }
    return InsertMouseEvent(downMessage, variant) && InsertMouseEvent(downMessage + 1, variant);
}

bool MacroRecorder::MoveSelected(std::size_t to) {
    std::size_t from = *selected_;
    MacroEventRow row = rows_[from];
    // A moved row is rebuilt from its event: an empty delay edit now shows the stored 0.
    row.delayEmpty = false;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(from));
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(to), row);
    selected_ = to;
    return true;
}

bool MacroRecorder::MoveTop() {
    return selected_ && *selected_ > 0 && MoveSelected(0);
}

bool MacroRecorder::MoveUp() {
    return selected_ && *selected_ > 0 && MoveSelected(*selected_ - 1);
}

bool MacroRecorder::MoveDown() {
    return selected_ && *selected_ + 1 < rows_.size() && MoveSelected(*selected_ + 1);
}

bool MacroRecorder::MoveBottom() {
    return selected_ && *selected_ + 1 < rows_.size() && MoveSelected(rows_.size() - 1);
}

bool MacroRecorder::DeleteRow() {
    if (!selected_) {
        return false;
    }
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*selected_));
    if (rows_.empty()) {
        selected_.reset();
    } else {
        selected_ = std::min(*selected_, rows_.size() - 1);
    }
    return true;
}

bool MacroRecorder::DeleteAll() {
    if (rows_.empty()) {
        return false;
    }
    rows_.clear();
    selected_.reset();
    return true;
}

}  // namespace q417
