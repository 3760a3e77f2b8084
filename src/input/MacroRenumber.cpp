#include "input/MacroRenumber.h"

#include <utility>

namespace q417 {
namespace {

enum class Renumbered { Unchanged, Defaulted, Shifted };

// What deleting macro m does to one current code.
Renumbered Renumber(KeyAssignment& current, const KeyAssignment& defaults, int m) {
    if (!IsMacroCode(current) || m < 0) {
        return Renumbered::Unchanged;
    }
    if (current.param1 == m) {
        current.type = defaults.type;
        current.param1 = defaults.param1;
        current.param2 = defaults.param2;
        return Renumbered::Defaulted;
    }
    if (current.param1 > m) {
        --current.param1;
        return Renumbered::Shifted;
    }
    return Renumbered::Unchanged;
}

}  // namespace

bool UsesMacro(const std::vector<KeyAssignmentEntry>& keys, int m) {
    for (const KeyAssignmentEntry& k : keys) {
        if (IsMacroCode(k.current) && k.current.param1 == m) {
            return true;
        }
    }
    return false;
}

bool RenumberMacroCodes(std::vector<KeyAssignmentEntry>& keys, int m) {
    bool changed = false;
    for (KeyAssignmentEntry& k : keys) {
        changed |= Renumber(k.current, k.defaults, m) != Renumbered::Unchanged;
    }
    return changed;
}

bool RenumberMacroCodes(Json::Value& element, int m) {
    if (!element.isObject()) {
        return false;
    }
    if (!std::as_const(element)["KeyList"].isArray()) {
        return false;
    }
    Json::Value& keys = element["KeyList"];
    bool changed = false;
    for (Json::Value& key : keys) {
        if (!key.isObject()) {
            continue;
        }
        const Json::Value& assignment = std::as_const(key)["Assignment"];
        if (!assignment.isInt()) {
            continue;
        }
        const Json::Value& def = std::as_const(key)["DefaultAssignment"];
        KeyAssignment current = DecodeAssignment(assignment.asInt(), 0);
        KeyAssignment defaults = DecodeAssignment(def.isInt() ? def.asInt() : 0, 0);
        if (Renumber(current, defaults, m) != Renumbered::Unchanged) {
            key["Assignment"] = EncodeAssignment(current);
            changed = true;
        }
    }
    return changed;
}

bool RenumberMacroCodesInDocument(Json::Value& document, int m) {
    if (!document.isObject()) {
        return false;
    }
    const Json::Value& device = std::as_const(document)["Device"];
    if (!device.isArray()) {
        return false;
    }
    bool changed = false;
    for (Json::Value& element : document["Device"]) {
        changed |= RenumberMacroCodes(element, m);
    }
    return changed;
}

}  // namespace q417
