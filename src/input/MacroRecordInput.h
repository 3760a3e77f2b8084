#pragma once
// What the capture adapter hands to the recorders: the capture mode, the input message and the
// key or mouse record, in the shape of the Windows low-level hooks (so recorded files stay the same
// across platforms), plus the key table view the keyboard recorder and the row names use.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace q417 {

// Capture modes; the numbers are those the hook library is started with.
enum class CaptureMode : uint8_t {
    KeySingle = 1,         // key capture of the key editor (handled there, not by the recorder)
    Append = 4,            // record at the end of the list
    InsertBefore = 8,      // record in front of the selected row
    InsertAfter = 16,      // record behind the selected row
    ReplaceSelected = 32,  // rewrite the selected row's event
};

// How the delays of recorded rows are chosen.
enum class TimingRule : uint8_t {
    Record = 1,    // the measured time between events
    Constant = 2,  // the constant delay typed by the user
    Ignore = 3,    // 0
};

// Input messages (Windows numbering).
inline constexpr uint32_t kMsgKeyDown = 0x100;
inline constexpr uint32_t kMsgKeyUp = 0x101;
inline constexpr uint32_t kMsgSysKeyDown = 0x104;
inline constexpr uint32_t kMsgSysKeyUp = 0x105;
inline constexpr uint32_t kMsgMouseMove = 0x200;
inline constexpr uint32_t kMsgLeftDown = 0x201;
inline constexpr uint32_t kMsgLeftUp = 0x202;
inline constexpr uint32_t kMsgRightDown = 0x204;
inline constexpr uint32_t kMsgRightUp = 0x205;
inline constexpr uint32_t kMsgMiddleDown = 0x207;
inline constexpr uint32_t kMsgMiddleUp = 0x208;
inline constexpr uint32_t kMsgWheel = 0x20A;
inline constexpr uint32_t kMsgExtraDown = 0x20B;
inline constexpr uint32_t kMsgExtraUp = 0x20C;

// The low-level keyboard hook's record.
struct KeyboardHookRecord {
    uint32_t virtualKey = 0;
    uint32_t scanCode = 0;  // PC set-1 scan code
    uint32_t flags = 0;     // bit 0: the key came with the E0 prefix (extended)

    bool Extended() const { return (flags & 1u) != 0; }
};

// The mouse hook's record (laid out like MOUSEHOOKSTRUCTEX: x at 0, y at 4, mouseData at 20).
struct MouseHookRecord {
    int32_t x = 0;  // screen coordinates
    int32_t y = 0;
    uint32_t mouseData = 0;  // high 16 bits: extra button number (1 back, 2 forward)

    uint16_t ExtraButton() const { return static_cast<uint16_t>(mouseData >> 16); }
};
inline constexpr std::size_t kMouseHookRecordBytes = 24;

// The record from its raw little-endian bytes; nullopt when fewer than 24 bytes are given.
std::optional<MouseHookRecord> MouseHookRecordFromBytes(std::span<const uint8_t> bytes);

// A screen rectangle; right and bottom are outside it, as with window rectangles.
struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool Contains(int32_t x, int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
};

// One row of the key code table as the recorder needs it.
struct MacroKeyCodeRow {
    uint8_t type = 0;
    uint8_t param1 = 0;
    uint8_t param2 = 0;
    std::string_view nameKey;
};

// The key tables: the code table (rows by index) and its scan-code index. The application binds
// the key assignment tables (MacroRecordKeyTables.h); tests may bind small tables of their own.
class IMacroKeyTables {
public:
    virtual ~IMacroKeyTables() = default;
    // Index of the first scan-table row with this scan code and extended flag (the code table
    // row of the same index describes the key); nullopt when the key is not in the table.
    virtual std::optional<std::size_t> ScanRow(uint32_t scanCode, bool extended) const = 0;
    virtual std::size_t CodeRowCount() const = 0;
    // i < CodeRowCount().
    virtual MacroKeyCodeRow CodeRow(std::size_t i) const = 0;
};

}  // namespace q417
