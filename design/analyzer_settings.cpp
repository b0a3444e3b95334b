#include "design/analyzer_settings.h"

#include <algorithm>
#include <cmath>

namespace srx {

namespace {

bool Finite(double v) { return std::isfinite(v); }

// "Show excursion in one way RMS" is a view flag of the design windows.
constexpr uint32_t kOneWayRmsView = 0x02;

}  // namespace

AnalyzerSettings AnalyzerSettingsOf(const WindowHistory& h) {
    AnalyzerSettings s;
    s.oneWayRms = (h.boxViewFlags & kOneWayRmsView) != 0;
    if (h.analyzerValid != 1) return s;
    AnalyzerSettings stored = s;
    stored.start = h.analyzerStart, stored.stop = h.analyzerStop, stored.visibleImpulse = h.analyzerImpulse;
    stored.eg = h.analyzerEg, stored.rg = h.analyzerRg, stored.temperature = h.analyzerTemperature;
    AnalyzerSettings checked = stored;
    // A damaged block must not drive the simulation: anything the dialog
    // would not have let through gives the defaults.
    if (CheckAnalyzerSettings(checked) != kAnalyzerOk || checked.start != stored.start ||
        checked.stop != stored.stop || checked.rg != stored.rg || checked.temperature != stored.temperature)
        return s;
    return stored;
}

void StoreAnalyzerSettings(WindowHistory& h, const AnalyzerSettings& s) {
    h.analyzerValid = 1;
    h.analyzerStart = s.start, h.analyzerStop = s.stop, h.analyzerImpulse = s.visibleImpulse;
    h.analyzerEg = s.eg, h.analyzerRg = s.rg, h.analyzerTemperature = s.temperature;
    h.boxViewFlags = s.oneWayRms ? (h.boxViewFlags | kOneWayRmsView) : (h.boxViewFlags & ~kOneWayRmsView);
}

AnalyzerCheck CheckAnalyzerSettings(AnalyzerSettings& s) {
    if (Finite(s.start) && s.start < 1) s.start = 1;
    if (Finite(s.stop) && s.stop > 50000) s.stop = 50000;
    s.rg = Finite(s.rg) && s.rg > 0 ? std::min(s.rg, 1e6) : 0;
    s.temperature = Finite(s.temperature) ? std::clamp(s.temperature, -50.0, 100.0) : 20;
    if (!Finite(s.start) || !Finite(s.stop) || !(s.start < s.stop) || !Finite(s.eg) || !(s.eg > 0) || s.eg > 1e4)
        return kAnalyzerStartField;
    const double longest = 4096 / (4 * s.stop);
    if (!Finite(s.visibleImpulse) || s.visibleImpulse < 0.001 || s.visibleImpulse > longest) {
        s.visibleImpulse = Finite(s.visibleImpulse) && s.visibleImpulse > longest ? longest : 0.001;
        return kAnalyzerImpulseField;
    }
    return kAnalyzerOk;
}

}  // namespace srx
