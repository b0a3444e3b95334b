#include "app/reading_hooks.h"

#include "data/native_files.h"
#include "design/ts_measurement.h"
#include "dsp/distortion.h"
#include "dsp/min_phase.h"

namespace srx {

void InstallReadingHooks() {
    InstallMinimumPhaseOnReading();
    InstallDistortionHooks();
    // An impedance curve that opens gets its T/S parameters; one the analysis
    // refuses keeps what it had.
    SetThieleSmallHook([](Measurement& m) { (void)AnalyseImpedance(m); });
}

}  // namespace srx
