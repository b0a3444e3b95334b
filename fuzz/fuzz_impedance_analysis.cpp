// Arbitrary bytes as the recorded stereo response of an impedance sweep, of
// an impedance MLS (against its own stimulus) and of the L-C-R meter's tone,
// each read with a calibration table. A curve must keep to its frequency
// series with finite, positive |Z| and finite phases; a reading must be
// finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_common.h"
#include "measure/impedance.h"
#include "measure/lcr.h"
#include "measure/mls.h"

namespace {

using namespace srx;

void Check(const Measurement* m, size_t series) {
    if (!m || m->points.size() > series) __builtin_trap();
    for (const CurvePoint& p : m->points)
        if (!(p.value[kSlotLevel] > 0) || !std::isfinite(p.value[kSlotLevel]) || !std::isfinite(p.value[kSlotPhase]))
            __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile input("z_response.wav"), mls("z_mls.wav");
    static const bool stimulus = WriteMlsStimulus(mls.path(), 10, false, 8000, 2, 16, {0.005, 0.01, 0.0});
    if (!stimulus) __builtin_trap();
    if (!input.Write(data, size)) return 0;
    static const ImpedanceCalibration table = {{200, 0.9, 0.1}, {2000, 1.1, -0.1}};
    ImpedanceParams p;
    p.f1 = 200, p.f2 = 3000, p.perOctave = 3, p.timePerOctave = 0.02, p.order = 10;
    p.context.table = &table;
    const size_t series = FrequencySeries(p.f1, p.f2, p.perOctave).size();
    std::unique_ptr<Measurement> m;
    Recording r;
    if (ReadRecording(input.path(), 0.005, true, false, false, r).ok()) {
        p.context.rate = r.rate;
        if (AnalyseImpedanceSweep(r, 0, p, m).ok()) Check(m.get(), series);
    }
    bool clipped = false;
    if (AnalyseImpedanceMls(input.path(), mls.path(), 0.005, p, m, &clipped).ok()) Check(m.get(), series);
    for (double f : {100.0, 1000.0, 3900.0}) {
        LcrReading reading;
        if (!AnalyseLcrResponse(input.path(), f, kLcrPeriods, 0.005, p.context, reading, &clipped).ok()) continue;
        for (double v : {reading.z, reading.phase, reading.r, reading.l, reading.c})
            if (!std::isfinite(v)) __builtin_trap();
    }
    return 0;
}
