#pragma once
// Puts the custom control classes into the control factory so skin layouts can name them.

namespace q417::ui {

// Registers every custom control class under its class name. Safe to call again.
void RegisterControls();

}  // namespace q417::ui
