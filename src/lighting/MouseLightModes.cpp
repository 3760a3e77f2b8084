#include "lighting/MouseLightModes.h"

#include "lighting/LightTables.h"

namespace q417 {

int MouseStepPeriod(int effect, int speed) {
    return effect == kMouseRipple ? RipplePeriod(speed) : StepPeriod(speed);
}

bool MouseEffectHasStep(int effect) {
    return (effect >= kMouseWave && effect <= kMouseFlashPalette) || effect == kMouseOff;
}

bool RunMouseLightStep(CLightEngine& engine, int effect, std::uint32_t nowMs) {
    switch (effect) {
        case kMouseWave:
            engine.AnimateWave();
            return true;
        case kMouseColourCycle:
            engine.AnimateColourCycle();
            return true;
        case kMouseBreathing:
            engine.AnimateBreathing();
            return true;
        case kMouseStatic:
            engine.AnimateStatic();
            return true;
        case kMouseFlash:
            engine.AnimateFlash(nowMs);
            return true;
        case kMouseRipple:
            engine.AnimateRipple(effect);
            return true;
        case kMouseReactive:
            engine.AnimateReactive();
            return true;
        case kMouseBreathingPalette:
            engine.AnimateBreathingPalette();
            return true;
        case kMouseFlashPalette:
            engine.AnimateFlashPalette(nowMs);
            return true;
        case kMouseOff:
            engine.AnimateOff();
            return true;
        default:
            return false;
    }
}

}  // namespace q417
