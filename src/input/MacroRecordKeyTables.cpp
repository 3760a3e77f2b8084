#include "input/MacroRecordKeyTables.h"

#include "input/KeyTables.h"

namespace q417 {

namespace {

class KeyAssignmentTables final : public IMacroKeyTables {
public:
    std::optional<std::size_t> ScanRow(uint32_t scanCode, bool extended) const override {
        if (scanCode > 0xFF) {
            return std::nullopt;  // set-1 codes are one byte; a wider value never matches
        }
        return FindScanRow(static_cast<uint8_t>(scanCode), extended ? 1u : 0u);
    }
    std::size_t CodeRowCount() const override { return kKeyCodeTable.size(); }
    MacroKeyCodeRow CodeRow(std::size_t i) const override {
        const KeyTableRow& r = kKeyCodeTable[i];
        return MacroKeyCodeRow{r.type, r.param1, r.param2, r.nameKey};
    }
};

}  // namespace

const IMacroKeyTables& KeyAssignmentKeyTables() {
    static const KeyAssignmentTables tables;
    return tables;
}

}  // namespace q417
