// Arbitrary bytes as a box design file: a design that is read holds a unit
// the speaker unit reader would accept and a valid box, gives finite
// effective units and closed-box figures, simulates to finite curves (or
// is refused with a message), and writes back to a file that reads as the
// same records.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "design/box_design.h"
#include "design/design_simulation.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile file("design.dsn"), copy("copy.dsn");
    if (!file.Write(data, size)) return 0;
    SpeakerUnit u;
    BoxDesign b;
    if (!ReadDesignFile(file.path(), u, b).ok()) return 0;
    if (!IsCompleteForFile(u) || !IsValidBoxDesign(b) || b.title.size() > 79) __builtin_trap();
    SpeakerUnit e;
    if (EffectiveUnit(u, b.units, b.isobaric != 0, e).ok()) {
        for (double v : {e.vas, e.re, e.sd, e.le})
            if (!std::isfinite(v) || !(v > 0)) __builtin_trap();
        const ClosedBoxFigures c = ClosedBoxResults(e, b.vb);
        for (double v : {c.qtc, c.fc, c.f3, c.efficiency})
            if (!std::isfinite(v)) __builtin_trap();
    }
    double vb = b.vb, fb = b.fb, sv = b.sv, lv = 0;
    if (SolveVent(b.ventEnds, b.vents, vb, fb, sv, lv) != 0 && !(std::isfinite(vb) && std::isfinite(fb) &&
                                                                 std::isfinite(sv) && std::isfinite(lv)))
        __builtin_trap();
    DesignResults r;
    AnalyzerSettings settings;
    settings.stop = 20000;
    if (SimulateDesign(u, b, settings, 64, r).ok()) {
        if (r.frequency.size() != 64 || r.impulse.size() != size_t(kDesignImpulseLength)) __builtin_trap();
        for (const auto& curve : r.curves)
            for (double v : curve)
                if (!std::isfinite(v)) __builtin_trap();
        for (double v : r.impulse)
            if (!std::isfinite(v) || std::fabs(v) > 0.99 + 1e-9) __builtin_trap();
    } else if (!r.empty()) {
        __builtin_trap();
    }
    SpeakerUnit u2;
    BoxDesign b2;
    if (!WriteDesignFile(copy.path(), u, b).ok() || !ReadDesignFile(copy.path(), u2, b2).ok() ||
        SerializeSpeakerUnit(u2) != SerializeSpeakerUnit(u) || SerializeBoxDesign(b2) != SerializeBoxDesign(b))
        __builtin_trap();
    return 0;
}
