#pragma once
// The recorder's view of the key assignment tables: the key code table and its scan-code index.
#include "input/MacroRecordInput.h"

namespace q417 {

// One shared instance over the fixed tables (they never change).
const IMacroKeyTables& KeyAssignmentKeyTables();

}  // namespace q417
