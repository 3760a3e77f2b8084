#pragma once
// The mouse light worker's mode table: which step each device effect code runs and how many
// light-worker ticks lie between two steps. A tick is kLightTickPeriod (15.625 ms,
// platform/LightTick.h), so speed 4 breathing (period 1, 128 phases) takes 2 s per breath.
#include <cstdint>

#include "lighting/CLightEngine.h"

namespace q417 {

// Mouse effect codes with a step of their own.
enum MouseEffect : int {
    kMouseWave = 0,
    kMouseColourCycle = 1,
    kMouseBreathing = 2,
    kMouseStatic = 3,
    kMouseFlash = 4,
    kMouseRipple = 5,
    kMouseReactive = 6,
    kMouseBreathingPalette = 7,
    kMouseFlashPalette = 8,
    kMouseOff = 10,
};

// Ticks between two steps: 8, 6, 4, 2, 1 by speed 0-4; the ripple 16, 12, 8, 4, 2.
int MouseStepPeriod(int effect, int speed);

// True when the effect code has a step of its own (0-8 and 10).
bool MouseEffectHasStep(int effect);

// Runs the step of `effect` once. False (and nothing drawn) for a code without a step: the
// worker then plays the user effect on every pass instead.
bool RunMouseLightStep(CLightEngine& engine, int effect, std::uint32_t nowMs);

}  // namespace q417
