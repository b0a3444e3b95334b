// Arbitrary bytes as an impedance calibration file: a table that is read
// must rise, hold finite positive factors and finite phases, and never
// more entries than the limit; applying it must give a finite impedance or
// a refusal.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_common.h"
#include "measure/impedance.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile file("calibration.icf");
    if (!file.Write(data, size)) return 0;
    ImpedanceCalibration t;
    if (!ReadImpedanceCalibration(file.path(), t)) return 0;
    if (t.empty() || t.size() > kMaxImpedanceCalibrationEntries) __builtin_trap();
    for (size_t i = 0; i < t.size(); ++i) {
        const ImpedanceCalibrationEntry& e = t[i];
        if (!(e.frequency > 0) || !(e.factor > 0) || !std::isfinite(e.frequency) || !std::isfinite(e.factor) ||
            !std::isfinite(e.phase) || (i > 0 && !(e.frequency > t[i - 1].frequency)))
            __builtin_trap();
    }
    ImpedanceContext c;
    c.table = &t;
    for (double f : {t.front().frequency / 2, t.front().frequency, std::sqrt(t.front().frequency * t.back().frequency),
                     t.back().frequency * 2}) {
        double z = 0, phase = 0;
        if (ImpedanceFromChannels(2, 0.5, 1, 0.25, f, c, &z, &phase) && !(std::isfinite(z) && std::isfinite(phase)))
            __builtin_trap();
    }
    return 0;
}
