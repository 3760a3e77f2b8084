#pragma once
// Writing the codes of all keys into the device's key table, and the list of macros the keys use
// (which decides the order of the macros in the device's macro block). Both walk the same keys in
// the same order and skip the same keys, so the compact macro numbers written into the key table
// are the positions of the macros in the block.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "input/KeyTables.h"
#include "profiles/ProfileRecords.h"
#include "transport/CReportChannel.h"
#include "transport/Commands.h"

namespace q417 {

enum class KeyTableKind { Mouse, Keyboard };

// Mark of a key without a device key position.
inline constexpr std::uint8_t kMouseNoPosition = 0xAA;
inline constexpr std::uint8_t kKeyboardNoPosition = 0xFF;
// A 512-byte key table holds at most 170 three-byte records.
inline constexpr std::size_t kMaxKeyTableKeys = kMaxBlockSize / 3;
// A keyboard's key table write covers its first 126 keys.
inline constexpr std::size_t kKeyboardWrittenKeys = 126;
inline constexpr std::size_t kKeyboardKeyCount = 170;

// Where each key (by key index) sits in the device's key table.
struct KeyTableLayout {
    KeyTableKind kind = KeyTableKind::Mouse;
    std::vector<std::uint8_t> positions;  // device key position by key index, or the mark

    std::uint8_t NoPositionMark() const {
        return kind == KeyTableKind::Mouse ? kMouseNoPosition : kKeyboardNoPosition;
    }
    // The key's position; nullopt for a key without one (the mark, or no map entry).
    std::optional<std::uint8_t> PositionOf(std::size_t keyIndex) const;
    // How many of entryCount keys a walk over the keys visits.
    std::size_t WalkedKeys(std::size_t entryCount) const;
};

// The key map after a key table read: every key gets the mark, then key i gets the first position
// p < keyCount whose record in the table read equals factoryCodes[i]. keyCount is the device's key
// count (information block byte 5); positions beyond the table read are not searched.
KeyTableLayout BuildKeyTableLayout(KeyTableKind kind, std::span<const std::uint8_t> tableRead,
                                   std::size_t keyCount,
                                   std::span<const KeyAssignment> factoryCodes);
// The mouse's factory codes (kMouseFactoryKeyCodes) as KeyAssignments.
std::vector<KeyAssignment> MouseFactoryCodes();

// Distinct macro indices below macroCount used by keys with a device position, in order of first
// use (key-index order).
std::vector<int> CollectUsedMacros(std::span<const KeyAssignmentEntry> entries, int macroCount,
                                   const KeyTableLayout& layout);

// The key table as it will be written: base (the first 3·keyCount bytes of the table last read)
// with each positioned key's current code placed at 3·position. Macro codes get compact macro
// numbers; a code naming a macro at or beyond macroCount is replaced by the key's default code.
// entries is the caller's copy and receives these replacements. Empty when base is shorter than
// 3·keyCount.
std::vector<std::uint8_t> ComposeKeyTable(std::span<const std::uint8_t> base, std::size_t keyCount,
                                          std::vector<KeyAssignmentEntry>& entries, int macroCount,
                                          const KeyTableLayout& layout);

// Writes the key table for profile 0: reads the information block for the key count N, composes
// the table from keyTableLastRead and the entries, and sends it between CmdBegin and CmdEnd
// (through the receiver with a link check before every command). Returns 1 when written; 0 for a
// closed channel, a lost link, a failed information read, N of 0 or above 170, or a last-read
// table shorter than 3·N (nothing is written then); kResultCut when stop was requested before
// the transaction began (nothing sent) or during the table (the frame in flight completed, then
// CmdEnd); otherwise the first failing command's result.
// The channel's block size is set to 3·N, the size of this device's key table.
int WriteKeyTable(CReportChannel& channel, bool wireless,
                  std::span<const std::uint8_t> keyTableLastRead,
                  std::vector<KeyAssignmentEntry> entries, int macroCount,
                  const KeyTableLayout& layout, const ChunkProgress& progress = {},
                  std::stop_token stop = {});

}  // namespace q417
