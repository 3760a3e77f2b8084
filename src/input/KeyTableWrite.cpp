#include "input/KeyTableWrite.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/Trace.h"
#include "transport/GuardedWrite.h"

namespace q417 {

namespace {

bool IsMacroCode(const KeyAssignment& code) {
    return code.type == keytype::kMacro || code.type == keytype::kMacroCounted;
}

}  // namespace

std::optional<std::uint8_t> KeyTableLayout::PositionOf(std::size_t keyIndex) const {
    if (keyIndex >= positions.size() || positions[keyIndex] == NoPositionMark()) {
        return std::nullopt;
    }
    return positions[keyIndex];
}

std::size_t KeyTableLayout::WalkedKeys(std::size_t entryCount) const {
    return kind == KeyTableKind::Keyboard ? std::min(entryCount, kKeyboardWrittenKeys) : entryCount;
}

KeyTableLayout BuildKeyTableLayout(KeyTableKind kind, std::span<const std::uint8_t> tableRead,
                                   std::size_t keyCount,
                                   std::span<const KeyAssignment> factoryCodes) {
    KeyTableLayout layout;
    layout.kind = kind;
    // Every key starts without a position, including keys at or beyond the key count.
    layout.positions.assign(factoryCodes.size(), layout.NoPositionMark());
    const std::size_t searchable = std::min({keyCount, tableRead.size() / 3, kMaxKeyTableKeys});
    for (std::size_t i = 0; i < factoryCodes.size(); ++i) {
        const KeyAssignment& want = factoryCodes[i];
        for (std::size_t p = 0; p < searchable; ++p) {
            if (tableRead[3 * p] == want.type && tableRead[3 * p + 1] == want.param1 &&
                tableRead[3 * p + 2] == want.param2) {
                layout.positions[i] = static_cast<std::uint8_t>(p);
                break;
            }
        }
    }
    return layout;
}

std::vector<KeyAssignment> MouseFactoryCodes() {
    std::vector<KeyAssignment> codes;
    codes.reserve(kMouseFactoryKeyCodes.size());
    for (const KeyTableRow& row : kMouseFactoryKeyCodes) {
        codes.push_back(row.Code(row.id));
    }
    return codes;
}

std::vector<int> CollectUsedMacros(std::span<const KeyAssignmentEntry> entries, int macroCount,
                                   const KeyTableLayout& layout) {
    std::vector<int> used;
    const std::size_t walked = layout.WalkedKeys(entries.size());
    for (std::size_t i = 0; i < walked; ++i) {
        if (!layout.PositionOf(i)) {
            continue;
        }
        const KeyAssignment& code = entries[i].current;
        if (IsMacroCode(code) && code.param1 < macroCount &&
            std::find(used.begin(), used.end(), code.param1) == used.end()) {
            used.push_back(code.param1);
        }
    }
    return used;
}

std::vector<std::uint8_t> ComposeKeyTable(std::span<const std::uint8_t> base, std::size_t keyCount,
                                          std::vector<KeyAssignmentEntry>& entries, int macroCount,
                                          const KeyTableLayout& layout) {
    const std::size_t size = 3 * keyCount;
    if (base.size() < size) {
        return {};
    }
    std::vector<std::uint8_t> table(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(size));
    std::vector<int> used;
    const std::size_t walked = layout.WalkedKeys(entries.size());
    for (std::size_t i = 0; i < walked; ++i) {
        const auto position = layout.PositionOf(i);
        // A position beyond the device's key count has no record to write into.
        if (!position || *position >= keyCount) {
            continue;
        }
        KeyAssignment& code = entries[i].current;
        if (IsMacroCode(code)) {
            if (code.param1 < macroCount) {
                auto it = std::find(used.begin(), used.end(), code.param1);
                if (it == used.end()) {
                    used.push_back(code.param1);
                    it = used.end() - 1;
                }
                code.param1 = static_cast<std::uint8_t>(it - used.begin());
            } else {
                // The macro is gone from the library: the device gets the key's default.
                code.type = entries[i].defaults.type;
                code.param1 = entries[i].defaults.param1;
                code.param2 = entries[i].defaults.param2;
            }
        }
        const std::size_t at = 3 * std::size_t{*position};
        table[at] = code.type;
        table[at + 1] = code.param1;
        table[at + 2] = code.param2;
    }
    return table;
}

int WriteKeyTable(CReportChannel& channel, bool wireless,
                  std::span<const std::uint8_t> keyTableLastRead,
                  std::vector<KeyAssignmentEntry> entries, int macroCount,
                  const KeyTableLayout& layout, const ChunkProgress& progress,
                  std::stop_token stop) {
    if (stop.stop_requested()) {
        return kResultCut;
    }
    if (channel.IsOpen() == 0) {
        return 0;
    }
    if (wireless && !CmdQueryLink(channel)) {
        return 0;
    }
    std::array<std::uint8_t, kInfoBlockSize> info{};
    if (CmdReadInfo(channel, info) != kResultOk) {
        Trace("WriteKeyTable: information block not read, key table not written");
        return 0;
    }
    const std::size_t keyCount = info[5];
    if (keyCount == 0 || keyCount > kMaxKeyTableKeys) {
        Trace("WriteKeyTable: device reports " + std::to_string(keyCount) +
              " keys, key table not written");
        return 0;
    }
    std::vector<std::uint8_t> table =
        ComposeKeyTable(keyTableLastRead, keyCount, entries, macroCount, layout);
    if (table.empty()) {
        Trace("WriteKeyTable: key table last read holds " +
              std::to_string(keyTableLastRead.size()) + " bytes, " + std::to_string(3 * keyCount) +
              " needed");
        return 0;
    }
    if (!channel.SetBlockSize(static_cast<std::uint16_t>(table.size()))) {
        return 0;
    }
    // The information read may have taken a while through the receiver.
    if (stop.stop_requested()) {
        return kResultCut;
    }
    GuardedWrite write(channel, wireless);
    if (!write.Ok()) {
        return write.Result();
    }
    write.Step([&] { return CmdWriteKeyTable(channel, table, 0, progress, stop); });
    return write.End();
}

}  // namespace q417
