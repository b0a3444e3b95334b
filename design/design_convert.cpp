#include "design/design_convert.h"

#include <algorithm>

#include "design/design_simulation.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

// The port of a closed box never moves.
bool HasPort(const DesignResults& r) {
    const std::vector<double>& v = r.curves[kCurvePortVelocity];
    return std::any_of(v.begin(), v.end(), [](double x) { return x != 0; });
}

}  // namespace

Status ConvertDesignCurve(const DesignResults& r, int kind, bool cone, const std::string& designTitle,
                          bool keepAbsolute, Measurement& out) {
    int levelCurve = -1, phaseCurve = -1;
    bool impedance = false;
    switch (kind) {
        case kAnalysisResponse:
        case kAnalysisAcousticPhase:
        case kAnalysisResponsePhase: levelCurve = kCurveTotal, phaseCurve = kCurveAcousticPhase; break;
        case kAnalysisImpedance:
        case kAnalysisElectricalPhase:
        case kAnalysisImpedancePhase:
            levelCurve = kCurveZMagnitude, phaseCurve = kCurveElectricalPhase, impedance = true;
            break;
        case kAnalysisCone: levelCurve = kCurveCone; break;
        case kAnalysisPort: levelCurve = kCurvePort; break;
        case kAnalysisConePort: levelCurve = cone || !HasPort(r) ? kCurveCone : kCurvePort; break;
        default: return Status::Error(kStrNotConvertible);
    }
    const size_t n = r.frequency.size();
    if (n == 0) return Status::Error(kStrDesignNotAnalysed);
    for (const auto& c : r.curves)
        if (c.size() != n) return Status::Error(kStrDesignNotAnalysed);
    return BuildConvertedMeasurement(r.frequency, r.curves[levelCurve], phaseCurve >= 0 ? &r.curves[phaseCurve] : nullptr,
                                     impedance, designTitle, keepAbsolute, out);
}

}  // namespace srx
