#pragma once
// The bus that `q417ctl --demo` and the application's demo mode run on: a wired mouse and a
// receiver 0x7102 whose mouse is switched on.
#include <memory>

#include "emulator/EmulatedHidBus.h"

namespace q417::emu {

std::shared_ptr<EmulatedHidBus> MakeDemoBus();

}  // namespace q417::emu
