#pragma once
// The macro block a mouse or keyboard keeps in its macro memory, and writing it.
//
// Layout (little-endian):
//   0   u16  0x55AA
//   2   u16  total length of the block in bytes
//   4   u16  n, the number of macros
//   6   10 bytes of 0
//   16  n x u16  offset of macro record j from the start of the block
//   ... n records: u16 event count e, u16 0, then e events of 4 bytes (u16 delay,
//       u8 type | 0x80 for "down", u8 button)
// Total length = 16 + 6n + 4 x (sum of event counts).
//
// Only the macros some key uses go to the device, in the order of the used list; a macro's
// position in the block is the compact number the key table gives it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stop_token>
#include <vector>

#include "input/MacroEventRow.h"
#include "transport/CReportChannel.h"
#include "transport/Commands.h"

namespace q417 {

class CMacroLibrary;

inline constexpr uint16_t kMacroBlockMagic = 0x55AA;
inline constexpr std::size_t kMacroBlockHeaderSize = 16;
inline constexpr std::size_t kMacroRecordHeaderSize = 4;
inline constexpr std::size_t kMacroMemoryUnit = 128;  // information byte 6 counts these

// WriteMacros results besides n > 0 (too large by n events).
inline constexpr int kMacrosWritten = 0;
inline constexpr int kMacrosNoDevice = -1;
// The device was stopping: the write did not begin, or was cut between two frames and ended (the
// macro memory then holds a partial block, so the key table must not be written either).
inline constexpr int kMacrosCut = -2;

// The device's macro memory in bytes: information byte 6 x 128.
std::size_t MacroMemoryBytes(std::span<const uint8_t, kInfoBlockSize> info);

// 16 + 6n + 4 x (sum of event counts), in size_t so no count can wrap it.
std::size_t MacroBlockSize(std::span<const std::size_t> eventCounts);

// The number of 4-byte events to remove for a block of total bytes to fit into limit, plus one
// (so at least 1); 0 when it fits. Saturates at INT_MAX.
int MacroEventsOverLimit(std::size_t total, std::size_t limit);

// The block for these macros in this order; empty when it could not be described by its 16-bit
// fields (above 65535 bytes).
std::vector<uint8_t> BuildMacroBlock(std::span<const std::vector<MacroEvent>> macros);

// The macros of usedMacros read from the library's files, in that order. The library file is read
// afresh; nullopt when it is unreadable. A macro without an event file (never saved) has no
// events. An index outside the library keeps its place with no events, so later macros stay at
// the positions the key table gives them.
std::optional<std::vector<std::vector<MacroEvent>>> ReadUsedMacros(
    const CMacroLibrary& library, const std::vector<int>& usedMacros);

// Builds the block of the used macros and writes it with CmdWriteMacros between CmdBegin and
// CmdEnd (through the receiver the link is checked first and before every command). The macro
// memory's size is read from the device's information block just before the size check, never
// taken from a copy. Results:
//   0   written, or nothing to write (no used macro, or the library file is unreadable)
//  -1   no device: channel closed, link down or lost, or a command failed
//  -2   cut: stop was requested before the write began (nothing sent) or during it (the frame
//       in flight completed, then CmdEnd)
//   n>0 the block is larger than the macro memory (information byte 6 x 128) by n - 1 events and
//       a part; nothing is sent
// progress receives (frames done, frames total) of the block after each frame.
int WriteMacros(CReportChannel& channel, bool wireless, const CMacroLibrary& library,
                const std::vector<int>& usedMacros, const ChunkProgress& progress = {},
                std::stop_token stop = {});

// Sends a block already built, under the same rules and results (0, -1 or -2).
int WriteMacroBlock(CReportChannel& channel, bool wireless, std::span<const uint8_t> block,
                    const ChunkProgress& progress = {}, std::stop_token stop = {});

}  // namespace q417
