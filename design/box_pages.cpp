#include "design/box_pages.h"

#include <algorithm>
#include <cmath>

#include "design/design_simulation.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr int kStrClosedBoxName = 3523;
constexpr int kStrVentedBoxName = 3528;
constexpr int kStrBandpassBoxName = 3534;
constexpr double kDefaultQl = 7;

bool Known(double v) { return std::isfinite(v) && v > 0; }

// The filter as the record keeps it (damping = 1/Q); false when an order
// lacks its cut-off or Q.
bool TakeFilter(const FilterInput& f, BoxDesign& box) {
    const int order = std::clamp(f.order, 0, 3);
    if (order >= 1 && !Known(f.frequency)) return false;
    if (order >= 2 && !Known(f.q)) return false;
    box.filterOrder = int16_t(order);
    box.filterFreq = order >= 1 ? f.frequency : 0;
    box.filterDamping = order >= 2 ? 1 / f.q : 0;
    box.filterFreq2 = order == 3 ? f.frequency : 0;
    box.filterDamping2 = 0;
    return true;
}

Status Effective(const SpeakerUnit& unit, int units, bool isobaric, SpeakerUnit& eff) {
    if (!HasRequiredParameters(unit)) return Status::Error(kStrNotEnoughParameters);
    return EffectiveUnit(unit, units, isobaric, eff);
}

// Shared by the vented page and the bandpass box's front chamber: the
// vent solved twice, the smallest vent for Xmax when no area is known.
Status SolveVentOf(const SpeakerUnit& eff, int vents, double& vb, double& fb, double& sv, double& lv) {
    for (int pass = 0; pass < 2; ++pass) {
        if (SolveVent(1, vents, vb, fb, sv, lv) < 0) return Status::Error(kStrVentNegative);
        if (Known(fb) && !Known(sv)) sv = MinimumVentArea(eff, fb, vents);
    }
    return Status::Ok();
}

// A title that is another page's default name was never the user's: it
// follows the box kind, so a vented design made bandpass is not called
// "Vented box".
std::string TitleOr(const std::string& title, int nameId) {
    const bool given = !title.empty() && title != StringText(kStrClosedBoxName) &&
                       title != StringText(kStrVentedBoxName) && title != StringText(kStrBandpassBoxName);
    return given ? title.substr(0, 79) : std::string(StringText(nameId));
}

int16_t Count(int n) { return int16_t(std::clamp(n, 1, 32000)); }

}  // namespace

Status ApplyClosedPage(const SpeakerUnit& unit, const ClosedPageInput& in, BoxDesign& box) {
    SpeakerUnit eff;
    if (Status s = Effective(unit, in.units, in.isobaric, eff); !s) return s;
    const double qts = QtsOf(eff);
    double a = in.a;
    if (in.practicalFirst && Known(in.vb)) a = eff.vas / in.vb;
    double vb = 0;
    if (Known(a)) {
        vb = eff.vas / a;
    } else if (Known(in.qtc)) {
        if (in.qtc <= qts) return Status::Error(kStrQtcTooLow);
        vb = eff.vas / (std::pow(in.qtc / qts, 2) - 1);
    } else if (Known(in.fc)) {
        if (in.fc <= eff.fs) return Status::Error(kStrFcTooLow);
        vb = eff.vas / (std::pow(in.fc / eff.fs, 2) - 1);
    }
    BoxDesign b = box;
    if (!Known(vb) || vb > 1e9 || !TakeFilter(in.filter, b)) return Status::Error(kStrNotEnoughParameters);
    b.title = TitleOr(in.title, kStrClosedBoxName);
    b.boxType = kClosedBox;
    b.units = Count(in.units);
    b.isobaric = in.isobaric ? 1 : 0;
    b.vb = vb;
    b.stuffing = std::isfinite(in.stuffing) ? std::clamp(in.stuffing, 0.0, 100.0) : 0.0;
    box = b;
    return Status::Ok();
}

Status ApplyVentedPage(const SpeakerUnit& unit, const VentedPageInput& in, BoxDesign& box) {
    SpeakerUnit eff;
    if (Status s = Effective(unit, in.units, in.isobaric, eff); !s) return s;
    const int vents = std::clamp(in.vents, 1, 32000);
    double vb = 0, fb = 0, sv = Known(in.sv) ? in.sv : 0, lv = Known(in.lv) ? in.lv : 0;
    double a = in.a, h = in.h;
    if (in.practicalFirst) {
        double v = Known(in.vb) ? in.vb : 0, f = Known(in.fb) ? in.fb : 0, s = sv, l = lv;
        if (!Known(f) && SolveVent(1, vents, v, f, s, l) < 0) return Status::Error(kStrVentNegative);
        a = Known(v) ? eff.vas / v : 0;
        h = Known(f) ? f / eff.fs : 0;
    }
    if (Known(a)) vb = eff.vas / a;
    if (Known(h)) fb = h * eff.fs;
    if (Status s = SolveVentOf(eff, vents, vb, fb, sv, lv); !s) return s;
    BoxDesign b = box;
    if (!Known(vb) || !Known(sv) || !Known(fb) || vb > 1e9 || !TakeFilter(in.filter, b))
        return Status::Error(kStrNotEnoughParameters);
    b.title = TitleOr(in.title, kStrVentedBoxName);
    b.boxType = kVentedBox;
    b.units = Count(in.units);
    b.isobaric = in.isobaric ? 1 : 0;
    b.vb = vb, b.fb = fb, b.sv = sv, b.vents = int16_t(vents), b.ventEnds = 1;
    b.further = Known(lv) ? lv : 0;  // the vent length, for the page to show again
    b.ql = Known(in.ql) ? in.ql : kDefaultQl;
    box = b;
    return Status::Ok();
}

Status ApplyBandpassPage(const SpeakerUnit& unit, const BandpassPageInput& in, BoxDesign& box) {
    SpeakerUnit eff;
    if (Status s = Effective(unit, in.units, in.isobaric, eff); !s) return s;
    const double qts = QtsOf(eff);
    const int vents = std::clamp(in.vents, 1, 32000);
    double vr = 0, vf = 0, fb = Known(in.fb) ? in.fb : 0;
    double qtc = in.qtc;
    if (Known(in.aT) && Known(in.qtc)) {
        // From the ratios: the rear chamber sets Qtc, aT the front chamber.
        if (in.qtc <= qts) return Status::Error(kStrQtcTooLow);
        const double ar = std::pow(in.qtc / qts, 2) - 1;
        vr = eff.vas / ar;
        vf = eff.vas / (in.aT * (ar + 1));
    } else if (Known(in.vr) && Known(in.vf)) {
        vr = in.vr, vf = in.vf;
        qtc = qts * std::sqrt(eff.vas / vr + 1);
    }
    const double fc = Known(qtc) ? qtc * eff.fs / qts : 0;
    if (Known(in.hc) && Known(fc)) fb = in.hc * fc;
    double sv = Known(in.sv) ? in.sv : 0, lv = Known(in.lv) ? in.lv : 0;
    if (Status s = SolveVentOf(eff, vents, vf, fb, sv, lv); !s) return s;
    if (!Known(vr) || !Known(vf) || !Known(fb) || !Known(sv) || vr > 1e9 || vf > 1e9)
        return Status::Error(kStrNotEnoughParameters);
    BoxDesign b = box;
    b.title = TitleOr(in.title, kStrBandpassBoxName);
    b.boxType = kBandpassBox;
    b.units = Count(in.units);
    b.isobaric = in.isobaric ? 1 : 0;
    b.vr = vr, b.vb = vf, b.fb = fb, b.sv = sv, b.vents = int16_t(vents), b.ventEnds = 1;
    b.further = Known(lv) ? lv : 0;
    b.ql = Known(in.ql) ? in.ql : kDefaultQl;
    b.stuffing = std::isfinite(in.stuffing) ? std::clamp(in.stuffing, 0.0, 100.0) : 0.0;
    // The bandpass type takes the filter order's place; no high-pass.
    b.filterOrder = int16_t(in.order == 3 ? 3 : 2);
    b.filterFreq = fb;
    b.filterDamping = b.filterFreq2 = b.filterDamping2 = 0;
    box = b;
    return Status::Ok();
}

void ApplyGlobalPage(const GlobalPageInput& in, BoxDesign& box) {
    if (!in.title.empty()) box.title = in.title.substr(0, 79);
    box.baffleWidth = Known(in.width) && in.width < 1e3 ? in.width : 0;
    box.baffleHeight = Known(in.height) && in.height < 1e3 ? in.height : 0;
    const bool step = in.baffleStep && box.baffleWidth > 0 && box.baffleHeight > 0;
    box.globalFlags = step ? (box.globalFlags | 1u) : (box.globalFlags & ~1u);
    const int size = std::clamp(in.cavitySize, 0, 4);
    box.cavitySize = size;
    double f3 = in.cavityF3, q = in.cavityQ;
    if (size != 4) CavityPreset(size, f3, q);
    box.cavityF3 = size != 0 && Known(f3) && f3 < 1e5 ? f3 : 0;
    box.cavityQ = size != 0 && Known(q) && q < 1e3 ? q : 0;
}

int BoxSheetStartPage(const SpeakerUnit& unit, const BoxDesign& box) {
    if (box.boxType == kVentedBox) return 2;
    if (box.boxType == kBandpassBox) return 3;
    if (box.boxType == kClosedBox && !(box.vb > 0) && HasRequiredParameters(unit)) {
        const double qts = QtsOf(unit);
        return unit.fs / unit.qes > 50 && qts <= 0.7 ? 2 : 1;
    }
    return 1;
}

BoxRatios RatiosOf(const SpeakerUnit& eff, const BoxDesign& box) {
    BoxRatios r;
    if (!HasRequiredParameters(eff)) return r;
    const double qts = QtsOf(eff);
    const double v = box.boxType == kBandpassBox ? box.vr : box.vb;
    if (Known(v)) {
        r.a = eff.vas / v;
        r.qtc = qts * std::sqrt(r.a + 1);
        r.fc = r.qtc * eff.fs / qts;
    }
    if (box.boxType == kBandpassBox && Known(box.vb)) r.a = (eff.vas / box.vb) / (eff.vas / box.vr + 1);
    if (Known(box.fb)) r.h = box.boxType == kBandpassBox && Known(r.fc) ? box.fb / r.fc : box.fb / eff.fs;
    if (!std::isfinite(r.a) || !std::isfinite(r.qtc) || !std::isfinite(r.fc) || !std::isfinite(r.h)) return {};
    return r;
}

}  // namespace srx
