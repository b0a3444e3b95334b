#pragma once
// Simulated boxes for tests that cannot include the simulation's header
// beside data/records.h (see design/design_convert.h).
#include <vector>

namespace srx {
struct DesignResults;
}  // namespace srx

namespace srx::test {

// The 30 Hz woofer in a vented box (QL 7) or a closed one, default analyzer settings.
const DesignResults& SimulatedBox(bool vented);
// Curve `index` in the simulation's order (0 total, 1 cone, 2 port,
// 3 acoustic phase, 4 impedance, 5 electrical phase); -1: the frequencies.
const std::vector<double>& DesignCurveOf(const DesignResults& r, int index);
constexpr int kTotalCurve = 0, kConeCurve = 1, kPortCurve = 2, kPhaseCurve = 3, kImpedanceCurve = 4;

}  // namespace srx::test
