// The "fr" pipeline on arbitrary ".TWF" bytes: read, transform with the
// default analysis settings, derive the phase family, save. A response the
// pipeline produces must be finite everywhere and read back; a refusal must
// say why.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "data/native_files.h"
#include "dsp/frequency_response.h"
#include "dsp/window.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile input("fr_input.twf"), output("fr_output.mes");
    if (!input.Write(data, size)) return 0;
    TimeRecord rec;
    if (!LoadTimeRecord(input.path(), rec)) return 0;

    // As the CLI does without options: the record's own window type when valid.
    AnalysisSettings settings = DefaultAnalysisSettings();
    if (rec.h.windowType >= kWindowRectangular && rec.h.windowType <= kWindowBlackmanHarris)
        settings.windowType = rec.h.windowType;
    Status warning, error;
    std::unique_ptr<Measurement> m =
        ImpulseToFrequencyResponse(rec, 0, PointsPerOctaveFor(rec, settings), 0, settings, &warning, &error);
    if (!m) {
        if (error.ok()) __builtin_trap();
        return 0;
    }
    DerivePhaseData(*m, settings);
    if (!SaveMeasurement(*m, output.path())) __builtin_trap();

    for (const CurvePoint& p : m->points) {
        if (!std::isfinite(p.frequency)) __builtin_trap();
        for (int slot = kSlotLevel; slot <= kSlotExcessGroupDelay; ++slot)
            if (!std::isfinite(p.value[slot])) __builtin_trap();
    }
    Measurement back;
    if (!LoadMeasurement(output.path(), back) || back.points.size() != m->points.size()) __builtin_trap();
    return 0;
}
