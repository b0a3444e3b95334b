#include "graph/win32/analysis_series.h"

#include "design/box_design.h"
#include "design/design_simulation.h"
#include "design/design_slot.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr int kNoNameId = 2226;

bool ValidSlot(int slot) { return slot >= 0 && slot < kDesignSlotCount; }

// The graphs' curve order against the simulation's.
constexpr int kSeriesCurve[12] = {kCurveTotal,        kCurveXmaxLimited,     kCurveCone,         kCurvePort,
                                  kCurveAcousticPhase, kCurveZMagnitude,      kCurveElectricalPhase,
                                  kCurveExcursion,    kCurveConeVelocity,    kCurvePortVelocity, kCurveGroupDelay,
                                  kCurveUnwrappedPhase};

}  // namespace

AnalysisSeries SlotSeries(int slot) {
    AnalysisSeries s;
    if (!ValidSlot(slot)) return s;
    const DesignResults& r = SlotResults(slot);
    if (r.empty()) return s;
    s.frequency = &r.frequency;
    for (size_t i = 0; i < s.curves.size(); ++i) s.curves[i] = &r.curves[static_cast<size_t>(kSeriesCurve[i])];
    s.impulse = &r.impulse;
    s.step = &r.step;
    s.sampleRate = r.sampleRate;
    s.visibleImpulse = r.visibleImpulse;
    return s;
}

bool SlotHasResults(int slot) {
    return ValidSlot(slot) && (DesignSlots()[slot].flags & kSlotAnalysed) && !SlotResults(slot).empty();
}

bool SlotShownInAnalysis(int slot) { return SlotHasResults(slot) && (DesignSlots()[slot].flags & kSlotShown); }

std::string SlotDesignTitle(int slot) {
    std::string title;
    if (ValidSlot(slot)) title = DeserializeBoxDesign(DesignSlots()[slot].boxParameters).title;
    return title.empty() ? std::string(StringText(kNoNameId)) : title;
}

}  // namespace srx
