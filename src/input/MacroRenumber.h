#pragma once
// Keeping key codes right when a macro leaves the library: macro codes (types 0x70 and 0x71) name
// a macro by its position in the library, so after deleting macro m every key that played m gets
// its default code back and every key that played a later macro moves down by one.
#include <json/json.h>

#include <string>
#include <vector>

#include "profiles/ProfileRecords.h"

namespace q417 {

inline constexpr uint8_t kMacroCodeType = 0x70;
inline constexpr uint8_t kCountedMacroCodeType = 0x71;

inline bool IsMacroCode(const KeyAssignment& code) {
    return code.type == kMacroCodeType || code.type == kCountedMacroCodeType;
}

// True when some key's current code plays macro m.
bool UsesMacro(const std::vector<KeyAssignmentEntry>& keys, int m);

// Renumbers the current codes of keys after macro m was deleted. True when anything changed.
bool RenumberMacroCodes(std::vector<KeyAssignmentEntry>& keys, int m);

// The same on one profile element's "KeyList" ("Assignment" integers; the default comes from
// "DefaultAssignment", 0 when absent). Members other than "Assignment" are left alone, and so is a
// key whose "Assignment" is not an integer. True when anything changed.
bool RenumberMacroCodes(Json::Value& element, int m);

// The same on every element of a profile document's "Device" array (a mouse document keeps one
// element per on-board profile, all of which share the device's macro library).
bool RenumberMacroCodesInDocument(Json::Value& document, int m);

}  // namespace q417
