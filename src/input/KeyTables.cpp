#include "input/KeyTables.h"

namespace q417 {

std::optional<KeyTypeInfo> FindKeyType(std::uint8_t type) {
    for (const KeyTypeInfo& info : kKeyTypeCatalogue) {
        if (info.type == type) {
            return info;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> FindRowByCode(std::span<const KeyTableRow> table,
                                         const KeyAssignment& code) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].SameCode(code)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> FindRowByParams(std::span<const KeyTableRow> table, std::uint8_t param1,
                                           std::uint8_t param2) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].param1 == param1 && table[i].param2 == param2) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> FindScanRow(std::uint8_t scanCode, std::uint32_t flags) {
    const std::uint8_t extended = flags & 1u;
    for (std::size_t i = 0; i < kKeyScanTable.size(); ++i) {
        if (kKeyScanTable[i].scanCode == scanCode && kKeyScanTable[i].extended == extended) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace q417
