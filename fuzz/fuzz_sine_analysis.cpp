// Arbitrary bytes as the recorded response of a gated sine and of a sweep
// (against their own stimulus files, and in probe mode against the second
// channel), and as a foreign stimulus. A result must hold finite levels and
// phases on the frequency series, never more points than it has, and a
// THD that is finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_common.h"
#include "measure/sine_measurement.h"

namespace {

using namespace srx;

SineMeasurementSetup Setup(SineKind kind, bool probe) {
    SineMeasurementSetup s;
    s.kind = kind;
    MeasurementSettings& ms = s.settings;
    ResetMeasurementDefaults(ms);
    // Small files: a few short bursts or a short sweep at a low rate.
    ms.sampleRate = 8000;
    ms.bitsPerSample = 16;
    ms.channels = probe ? 2 : 1;
    if (probe) ms.flags |= kMsfProbeCompensation;
    ms.gatedStart = ms.sweepStart = 500;
    ms.gatedStop = ms.sweepStop = 2000;
    ms.gatedPerOctave = ms.sweepPerOctave = 2;
    ms.timeWindow = 0.004;
    ms.gatedPause = 0;
    ms.sweepTimePerOctave = 0.02;
    ms.preSilence = 0.005;
    ms.stopDelayPlusOne = 11;
    s.compensation = {};
    return s;
}

void Check(SineMeasurement& m) {
    const Measurement* r = m.Result();
    if (!r || r->points.size() > m.Frequencies().size()) __builtin_trap();
    for (const CurvePoint& p : r->points)
        for (float v : p.value)
            if (!std::isfinite(v)) __builtin_trap();
    if (!std::isfinite(r->distortionDerived) || !std::isfinite(m.Delay())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile input("sine_response.wav"), gated("sine_gated.wav"), sweep("sine_sweep.wav");
    static const bool stimuli = [] {
        const SineMeasurement g(Setup(SineKind::kGated, false)), s(Setup(SineKind::kSweep, false));
        return WriteGatedSineStimulus(gated.path(), g.GatedParams(), g.Format()).ok() &&
               WriteSweepStimulus(sweep.path(), s.SweepParameters(), s.Format()).ok();
    }();
    if (!stimuli) __builtin_trap();
    if (!input.Write(data, size)) return 0;
    for (SineKind kind : {SineKind::kGated, SineKind::kSweep}) {
        const std::string& stimulus = kind == SineKind::kGated ? gated.path() : sweep.path();
        for (bool probe : {false, true}) {
            SineMeasurement m(Setup(kind, probe));
            if (m.AnalyseFiles(stimulus, {input.path()}).ok() && m.Complete("fuzz").ok()) Check(m);
        }
        // The input as the stimulus of a clean loop-back recording.
        SineMeasurement loop(Setup(kind, false));
        if (loop.AnalyseFiles(input.path(), {stimulus}).ok() && loop.Complete("fuzz").ok()) Check(loop);
    }
    return 0;
}
