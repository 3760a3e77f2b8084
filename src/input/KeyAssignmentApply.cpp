#include "input/KeyAssignmentApply.h"

#include "input/MacroBlock.h"
#include "platform/Trace.h"
#include "transport/CommandResult.h"

namespace q417 {

KeyApplyResult ApplyKeyAssignments(KeyApplyTarget& target) {
    KeyApplyResult result;
    result.macroResult = target.WriteMacros(target.CollectUsedMacros());
    if (result.macroResult == kMacrosCut) {
        // The macro memory may hold a partial block: no key table may name it.
        result.outcome = KeyApplyOutcome::Cut;
        return result;
    }
    if (result.macroResult > 0) {
        result.outcome = KeyApplyOutcome::TooLarge;
        result.messageKey = std::string(kMessageMacrosTooLarge);
        result.count = result.macroResult;
        return result;
    }
    if (result.macroResult < 0) {
        result.outcome = KeyApplyOutcome::NoDevice;
        result.messageKey = std::string(kMessageNoDevice);
        return result;
    }
    result.keyTableResult = target.WriteCurrentKeyTable(0);
    if (result.keyTableResult == kResultCut) {
        result.outcome = KeyApplyOutcome::Cut;
    } else if (result.keyTableResult != 1) {
        // Not reported as written: the device still holds the old key table.
        Trace("apply: key table not written (" + std::to_string(result.keyTableResult) + ")");
        result.outcome = KeyApplyOutcome::KeyTableFailed;
    }
    return result;
}

std::string FormatCountMessage(std::string_view format, int n) {
    std::string out;
    out.reserve(format.size() + 12);
    bool substituted = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (next == 'd' && !substituted) {
                out += std::to_string(n);
                substituted = true;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::optional<SaveResult> StoreAssignment(std::vector<KeyAssignmentEntry>& entries,
                                          std::size_t selectedKey, const KeyAssignmentEntry& entry,
                                          CBasicProfiledata& profile) {
    if (selectedKey >= entries.size()) {
        return std::nullopt;
    }
    entries[selectedKey] = entry;
    profile.SetKeyList(entries);
    return profile.Save();
}

bool IsOnlyLeftButton(const std::vector<KeyAssignmentEntry>& entries, std::size_t key) {
    const KeyAssignment left{0, 0x10, 0x01, 0x00, 0};
    if (key >= entries.size() || !entries[key].current.SameCode(left)) {
        return false;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i != key && entries[i].current.SameCode(left)) {
            return false;
        }
    }
    return true;
}

}  // namespace q417
