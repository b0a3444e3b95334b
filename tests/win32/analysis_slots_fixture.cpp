// Crafted design results for the analysis-graph paint tests. Apart from
// the painters' tests: the simulation's header and data/records.h name the
// same enumerator.
#include <cmath>

#include "design/design_simulation.h"
#include "design/design_slot.h"

namespace srx::testutil {

// Slot `slot` analysed and shown, with a flat response at `level` dB from
// 10 Hz to 1 kHz, an impedance of `ohm` and a decaying impulse.
void CraftAnalysedSlot(int slot, double level, double ohm) {
    ResetDesignSlot(slot);
    DesignResults& r = SlotResults(slot);
    r = DesignResults{};
    for (int i = 0; i < 200; ++i) r.frequency.push_back(10 * std::pow(100.0, i / 199.0));
    for (auto& c : r.curves) c.assign(r.frequency.size(), 0.0);
    r.curves[kCurveTotal].assign(r.frequency.size(), level);
    r.curves[kCurveZMagnitude].assign(r.frequency.size(), ohm);
    r.sampleRate = 4000;
    r.visibleImpulse = 0.1;
    for (int i = 0; i < kDesignImpulseLength; ++i) {
        r.impulse.push_back(0.9 * std::exp(-i / 40.0) * std::cos(i / 5.0));
        r.step.push_back(1 - std::exp(-i / 40.0));
    }
    DesignSlots()[slot].flags |= kSlotAnalysed | kSlotShown;
}

void ClearDesignSlots() {
    for (int i = 0; i < kDesignSlotCount; ++i) {
        ResetDesignSlot(i);
        SlotResults(i) = DesignResults{};
    }
}

}  // namespace srx::testutil
