#include "app/reading_hooks.h"

#include "dsp/min_phase.h"
#include "dsp/distortion.h"

namespace srx {

void InstallReadingHooks() {
    InstallMinimumPhaseOnReading();
    InstallDistortionHooks();
}

}  // namespace srx
