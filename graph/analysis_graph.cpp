#include "graph/analysis_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "data/view_flags.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDegrees = 180.0 / 3.14159265358979323846;

using Q = AnalysisQuantity;
using T = AnalysisScaleType;

const std::vector<double>* CurveOf(const AnalysisSeries& r, Q q, uint32_t boxFlags) {
    if (q == Q::AcousticPhase && (boxFlags & kBoxUnwrappedPhase)) return r.curves[kUnwrappedPhaseSeries];
    return r.curves[static_cast<size_t>(q)];
}

// Read-out format of each quantity (2102 ... 2111).
int ReadoutId(Q q) {
    switch (q) {
        case Q::Total:
        case Q::XmaxLimited: return 2102;
        case Q::Cone: return 2103;
        case Q::Port: return 2104;
        case Q::AcousticPhase: return 2105;
        case Q::Impedance: return 2106;
        case Q::ElectricalPhase: return 2107;
        case Q::Excursion: return 2108;
        case Q::ConeVelocity: return 2109;
        case Q::PortVelocity: return 2110;
        case Q::GroupDelay: return 2111;
    }
    return 2102;
}

// Largest value (or |value|) of the scale's quantities over every shown design.
void Extremes(const AnalysisScalePlan& plan, const std::vector<const AnalysisSeries*>& shown, uint32_t boxFlags,
              double* lo, double* hi, bool* any) {
    *lo = std::numeric_limits<double>::infinity();
    *hi = -std::numeric_limits<double>::infinity();
    *any = false;
    for (const AnalysisSeries* r : shown) {
        if (!r) continue;
        for (Q q : plan.quantities)
            for (size_t i = 0; !r->empty() && i < r->frequency->size(); ++i) {
                const double v = AnalysisValue(*r, q, i, boxFlags);
                if (!std::isfinite(v)) continue;
                *lo = std::min(*lo, v);
                *hi = std::max(*hi, v);
                *any = true;
            }
    }
    if (!*any) *lo = *hi = 0;
}

ScaleDescription Linear(double top, double bottom, const char* unit, ScaleKind kind) {
    ScaleDescription d;
    d.top = top;
    d.range = top - bottom;
    d.divisions = 10;
    d.decimals = std::max(DecimalsForStep(d.range / 10), DecimalsForStep(top));
    d.unit = unit;
    d.kind = kind;
    return d;
}

}  // namespace

std::vector<AnalysisScalePlan> AnalysisScalePlans(int kind) {
    switch (kind - kDocAnalysisFirst) {
        case 0: return {{T::Db, {Q::Total}}};
        case 1: return {{T::AcousticPhase, {Q::AcousticPhase}}};
        case 2: return {{T::Db, {Q::Total}}, {T::AcousticPhase, {Q::AcousticPhase}}};
        case 3: return {{T::Ohm, {Q::Impedance}}};
        case 4: return {{T::ElectricalPhase, {Q::ElectricalPhase}}};
        case 5: return {{T::Ohm, {Q::Impedance}}, {T::ElectricalPhase, {Q::ElectricalPhase}}};
        case 6: return {{T::Db, {Q::Total}}, {T::Ohm, {Q::Impedance}}};
        case 7: return {{T::Db, {Q::Cone}}};
        case 8: return {{T::Db, {Q::Port}}};
        case 9: return {{T::Db, {Q::Cone, Q::Port}}};
        case 10: return {{T::Excursion, {Q::Excursion}}};
        case 11: return {{T::GroupDelay, {Q::GroupDelay}}};
        case 12: return {{T::Excursion, {Q::Excursion}}, {T::GroupDelay, {Q::GroupDelay}}};
        case 13: return {{T::Velocity, {Q::ConeVelocity}}};
        case 14: return {{T::Velocity, {Q::PortVelocity}}};
        case 15: return {{T::Velocity, {Q::ConeVelocity, Q::PortVelocity}}};
        case 16: return {{T::Db, {Q::XmaxLimited}}};
        default: return {};
    }
}

std::vector<AnalysisQuantity> AnalysisQuantities(int kind) {
    std::vector<AnalysisQuantity> out;
    for (const AnalysisScalePlan& p : AnalysisScalePlans(kind)) out.insert(out.end(), p.quantities.begin(), p.quantities.end());
    return out;
}

bool IsAnalysisTimeKind(int kind) { return kind == kDocAnalysisLast - 1 || kind == kDocAnalysisLast; }

double AnalysisValue(const AnalysisSeries& r, AnalysisQuantity q, size_t i, uint32_t boxFlags) {
    const std::vector<double>* c = CurveOf(r, q, boxFlags);
    if (!c || r.empty() || i >= c->size() || i >= r.frequency->size()) return kNaN;
    const double v = (*c)[i];
    if (!std::isfinite(v)) return kNaN;
    switch (q) {
        case Q::AcousticPhase:
        case Q::ElectricalPhase: return v * kDegrees;
        case Q::Excursion: return v * 1000 * ((boxFlags & kBoxOneWayRms) ? kOneWayRmsFactor : 1.0);
        case Q::GroupDelay: return v * 1000;
        default: return v;
    }
}

double AnalysisDbTop(double maximum) {
    const double m = std::isfinite(maximum) ? std::max(0.0, maximum) : 0.0;
    if (m < 5) return 5;
    for (int v = 500; v >= 5; v -= 5)
        if (v <= m) return v + 10;
    return 5;
}

double AnalysisOhmTop(double maximum) {
    const double limit = std::isfinite(maximum) ? 1.1 * maximum : 0;
    for (double v = 1.0; v <= 10000;) {
        if (v > limit) return v;
        v += v < 10 ? 0.5 : v < 100 ? 5 : v < 1000 ? 50 : 500;
    }
    return 10000;
}

double AnalysisNiceTop(double maximum, int maxExponent, double fallback) {
    static const double kM[] = {1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5, 6, 7, 8, 9};
    const double limit = std::isfinite(maximum) ? 1.1 * maximum : 0;
    const double ceiling = std::pow(10.0, maxExponent);
    for (int e = -5; e <= maxExponent; ++e)
        for (double m : kM) {
            const double v = m * std::pow(10.0, e);
            if (v > ceiling * (1 + 1e-12)) return fallback;
            if (v > limit) return v;
        }
    return fallback;
}

double AnalysisVelocityTop(double maximum) {
    const double m = std::isfinite(maximum) ? maximum : 0;
    for (double v = 0.0125; v <= 1000; v *= 2)
        if (v > m) return v;
    return 1000;
}

std::vector<ScaleDescription> AnalysisScales(int kind, const std::vector<const AnalysisSeries*>& shown, double dbRange,
                                             uint32_t boxFlags) {
    std::vector<ScaleDescription> out;
    for (const AnalysisScalePlan& plan : AnalysisScalePlans(kind)) {
        double lo, hi;
        bool any;
        Extremes(plan, shown, boxFlags, &lo, &hi, &any);
        ScaleDescription d;
        switch (plan.type) {
            case T::Db: {
                const double range = (std::isfinite(dbRange) && dbRange > 0 && dbRange <= 1000) ? dbRange : 50;
                d = Linear(AnalysisDbTop(hi), AnalysisDbTop(hi) - range, "dB", ScaleKind::Level);
                break;
            }
            case T::Ohm: d = Linear(AnalysisOhmTop(hi), 0, "Ohm", ScaleKind::Impedance); break;
            case T::ElectricalPhase: {
                const double m = std::max(std::fabs(lo), std::fabs(hi));
                const double a = m <= 90 * (1 + 1e-12) ? 90 : 180;
                d = Linear(a, -a, "Deg", ScaleKind::Phase);
                break;
            }
            case T::AcousticPhase: {
                double top = 180, bottom = -180;
                if ((boxFlags & kBoxUnwrappedPhase) && any) {
                    const double t = std::max(0.0, std::ceil(hi / 45 - 1e-9) * 45);
                    const double b = std::min(0.0, std::floor(lo / 45 + 1e-9) * 45);
                    if (t != b && std::isfinite(t) && std::isfinite(b)) {
                        top = t;
                        bottom = b;
                    }
                }
                d = Linear(top, bottom, "Deg", ScaleKind::Phase);
                break;
            }
            case T::Excursion:
                // Found in metres, shown in millimetres.
                d = Linear(1000 * AnalysisNiceTop(hi / 1000, 0, 1.0), 0, "mm", ScaleKind::Other);
                break;
            case T::GroupDelay: {
                const double m = std::max(std::fabs(lo), std::fabs(hi)) / 1000;
                const double top = 1000 * AnalysisNiceTop(m, 5, 100000);
                // A delay that goes negative anywhere gets the same room below 0.
                d = Linear(top, lo < 0 ? -top : 0, "ms", ScaleKind::GroupDelay);
                break;
            }
            case T::Velocity: d = Linear(AnalysisVelocityTop(hi), 0, "m/s", ScaleKind::Other); break;
        }
        out.push_back(d);
    }
    return out;
}

LegendLayout LayOutAnalysisLegend(const std::vector<int>& entryWidths, int areaLeft, int areaRight, int h) {
    LegendLayout l;
    const int c = static_cast<int>(entryWidths.size());
    l.rows = std::max(1, (c + 1) / 2);
    l.leftX = areaLeft + h / 2;
    int longestLeft = 0, longestRight = 0;
    for (int i = 0; i < c; ++i) (i % 2 ? longestRight : longestLeft) = std::max(i % 2 ? longestRight : longestLeft,
                                                                               entryWidths[static_cast<size_t>(i)]);
    l.rightX = areaLeft + (areaRight - areaLeft) / 2;
    l.rightX = std::min(l.rightX, areaRight - h / 2 - longestRight);
    l.rightX = std::max(l.rightX, l.leftX + longestLeft + h / 2);
    for (int i = 0; i < c; ++i) l.entries.push_back({i % 2 ? l.rightX : l.leftX, i / 2});
    return l;
}

long long AnalysisSampleIndex(double t, double sampleRate, size_t samples) {
    if (samples == 0 || !(sampleRate > 0) || !std::isfinite(sampleRate) || !std::isfinite(t)) return -1;
    const long long last = static_cast<long long>(std::min<size_t>(samples, kAnalysisImpulseSamples)) - 1;
    const double i = RoundHalfAway(t * sampleRate);
    if (!(i > 0)) return 0;
    return i >= double(last) ? last : static_cast<long long>(i);
}

ReadoutPanes AnalysisReadout(const AnalysisReadoutInput& in) {
    ReadoutPanes p{};
    const PlotRect& r = in.plot;
    if (!in.results || in.mouseX < r.left || in.mouseX > r.right || in.mouseY < r.top || in.mouseY > r.bottom ||
        r.Width() <= 0)
        return p;
    const AnalysisSeries& res = *in.results;
    if (IsAnalysisTimeKind(in.kind)) {
        const std::vector<double>* sp = in.kind == kDocAnalysisLast ? res.step : res.impulse;
        if (!sp || sp->empty() || in.scales.empty()) return p;
        const std::vector<double>& s = *sp;
        double visible = res.visibleImpulse;
        if (!(visible > 0) || !std::isfinite(visible))
            visible = res.sampleRate > 0 ? kAnalysisImpulseSamples / res.sampleRate : 0;
        const double t = (in.mouseX - r.left) * visible / r.Width();
        double u;
        if (in.crosshair) {
            const ScaleDescription& sc = in.scales.front();
            u = sc.ValueAt(in.mouseY, r.top, r.bottom) / (sc.unit == "mV" ? 1000.0 : 1.0);
        } else {
            const long long i = AnalysisSampleIndex(t, res.sampleRate, s.size());
            if (i < 0) return p;
            u = s[static_cast<size_t>(i)];
        }
        p[0] = ReadoutText(2116, t * 1000, 2);
        if (std::isfinite(u)) p[1] = ReadoutText(2122, u * 1000, 2);
    } else {
        const std::vector<AnalysisQuantity> qs = AnalysisQuantities(in.kind);
        const std::vector<AnalysisScalePlan> plans = AnalysisScalePlans(in.kind);
        if (res.empty() || qs.empty()) return p;
        const std::vector<double>& freq = *res.frequency;
        const double f = in.map.FrequencyAt(in.mouseX - r.left);
        size_t idx = freq.size() - 1;
        for (size_t i = 0; i < freq.size(); ++i)
            if (freq[i] >= f) {
                idx = i;
                break;
            }
        p[0] = ReadoutText(2101, in.crosshair ? f : freq[idx], 2);
        size_t pane = 1;
        for (size_t s = 0; s < plans.size(); ++s)
            for (AnalysisQuantity q : plans[s].quantities) {
                double v;
                if (in.crosshair) v = s < in.scales.size() ? in.scales[s].ValueAt(in.mouseY, r.top, r.bottom) : kNaN;
                else v = AnalysisValue(res, q, idx, in.boxFlags);
                if (q == Q::AcousticPhase && !(in.boxFlags & kBoxUnwrappedPhase) && std::isfinite(v)) v = WrapDegrees(v);
                if (std::isfinite(v) && pane < 3) p[pane] = ReadoutText(ReadoutId(q), v, 2);
                ++pane;
            }
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, StringText(kStrDesignReadout), in.slot + 1);
    p[3] = buf;
    return p;
}

}  // namespace srx
