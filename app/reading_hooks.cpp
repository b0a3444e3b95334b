#include "app/reading_hooks.h"

#include "dsp/min_phase.h"

namespace srx {

void InstallReadingHooks() { InstallMinimumPhaseOnReading(); }

}  // namespace srx
