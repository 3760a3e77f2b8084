#pragma once
// Saving an edited key into the device's entries and its profile, and the "apply to device"
// action: the used macros go out first, then the key table.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/CBasicProfiledata.h"
#include "profiles/ProfileRecords.h"

namespace q417 {

// What the apply action needs of a device.
class KeyApplyTarget {
public:
    virtual ~KeyApplyTarget() = default;
    // Distinct macro indices the keys use, in order of first use.
    virtual std::vector<int> CollectUsedMacros() = 0;
    // 0 written, -1 no device, -2 cut by the device's stop, n > 0 the block is n events too large.
    virtual int WriteMacros(const std::vector<int>& usedMacros) = 0;
    // 1 written (kResultCut when cut by the device's stop), anything else not.
    virtual int WriteCurrentKeyTable(int profileIndex) = 0;
};

enum class KeyApplyOutcome {
    Written,         // macros and key table written; the page refreshes its panels
    NoDevice,        // macro step -1: "message_text_7"; the key table is not written
    TooLarge,        // macro step n > 0: "message_text_16" with n; the key table is not written
    KeyTableFailed,  // macros written, the key table write failed (keyTableResult)
    Cut,             // the device stopped during the macros or the key table: partly written
};

struct KeyApplyResult {
    KeyApplyOutcome outcome = KeyApplyOutcome::Written;
    int macroResult = 0;
    int keyTableResult = 0;
    // Language key of the message to show and the number it carries (TooLarge); empty when
    // nothing is to be shown.
    std::string messageKey;
    int count = 0;
};

inline constexpr std::string_view kMessageNoDevice = "message_text_7";
inline constexpr std::string_view kMessageMacrosTooLarge = "message_text_16";

KeyApplyResult ApplyKeyAssignments(KeyApplyTarget& target);

// The message text with n in place of its "%d" (the first one only); "%%" reads as "%", every
// other '%' stays as written, so a translated text can never make the formatting read past its
// argument.
std::string FormatCountMessage(std::string_view format, int n);

// Puts entry at the selected key of the device's entries and writes "Assignment" of every key
// into the profile file. nullopt (nothing changed) when selectedKey is not below the number of
// entries.
std::optional<SaveResult> StoreAssignment(std::vector<KeyAssignmentEntry>& entries,
                                          std::size_t selectedKey, const KeyAssignmentEntry& entry,
                                          CBasicProfiledata& profile);

// On a mouse's key page the last key carrying the left button cannot be chosen for editing
// ("message_text_6"), so the mouse always keeps a left button. True when key holds the left button
// and no other key does.
inline constexpr std::string_view kMessageLastLeftButton = "message_text_6";
bool IsOnlyLeftButton(const std::vector<KeyAssignmentEntry>& entries, std::size_t key);

}  // namespace q417
