#include "graph/readout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/view_flags.h"
#include "data/records.h"
#include "dsp/numeric.h"
#include "graph/curves.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

// Fills panes in order, dropping what does not fit.
struct PaneWriter {
    ReadoutPanes panes;
    size_t next = 0;
    void Add(std::string s) {
        if (next < panes.size()) panes[next++] = std::move(s);
    }
};

const ScaleDescription* FindScale(const std::vector<ScaleDescription>& scales, ScaleKind kind) {
    for (const ScaleDescription& s : scales)
        if (s.kind == kind) return &s;
    return nullptr;
}

// Small values in the thousandth unit with 2 decimals, others with 4.
void AddScaled(PaneWriter& w, int smallId, int largeId, double v) {
    if (std::fabs(v) < 1) w.Add(ReadoutText(smallId, v * 1000, 2));
    else w.Add(ReadoutText(largeId, v, 4));
}

void AddWindow(PaneWriter& w, double ts, double tw, double speedOfSound) {
    AddScaled(w, 2118, 2119, ts);
    AddScaled(w, 2120, 2121, tw);
    AddScaled(w, 2114, 2115, speedOfSound * tw);
}

}  // namespace

std::string FormatReadoutNumber(double v, int decimals) { return FormatTrimmedNumber(v, decimals); }

std::string ReadoutText(int id, double v, int decimals) {
    std::string num = FormatReadoutNumber(v, decimals);
    char buf[160];
    std::snprintf(buf, sizeof buf, StringText(id), num.c_str());
    return buf;
}

ReadoutPanes MeasurementReadout(const MeasurementReadoutInput& in) {
    PaneWriter w;
    const PlotRect& r = in.plot;
    if (!in.record || in.mouseX < r.left || in.mouseX > r.right || in.mouseY < r.top || in.mouseY > r.bottom)
        return w.panes;
    const Measurement& m = *in.record;
    const bool z = m.h.curveKind == kCurveImpedance;
    const uint32_t f = in.viewFlags;
    double freq = in.map.FrequencyAt(in.mouseX - r.left);

    auto it = std::find_if(m.points.begin(), m.points.end(), [&](const CurvePoint& p) { return p.frequency >= freq; });
    const CurvePoint* p = it == m.points.end() ? nullptr : &*it;
    if (p && !z && p->value[kSlotLevel] < -499) p = nullptr;  // past the end of valid data
    if (!p && !in.crosshair) return w.panes;
    w.Add(ReadoutText(2101, in.crosshair || !p ? freq : p->frequency, 2));

    // The value of a quantity: from the curve, or in crosshair mode from the
    // mouse height on that quantity's scale.
    auto value = [&](ScaleKind kind, const CurveSource& src, double* out) {
        if (in.crosshair) {
            const ScaleDescription* s = FindScale(in.scales, kind);
            if (!s) return false;
            *out = s->ValueAt(in.mouseY, r.top, r.bottom);
            return true;
        }
        if (!p) return false;
        *out = CurvePointValue(*p, src);
        return true;
    };

    double v = 0;
    if (f & kGraphAmplitude) {
        if (z) {
            if (value(ScaleKind::Impedance, {kSlotLevel, CurveValue::Raw, false}, &v))
                w.Add(ReadoutText(2106, v, std::fabs(v) < 20 ? 4 : 2));
        } else if (f & kGraphLinearAmplitude) {
            if (value(ScaleKind::Millivolt, {kSlotLevel, CurveValue::Millivolt, true}, &v))
                w.Add(ReadoutText(2122, v, 2));
        } else if (value(ScaleKind::Level, {kSlotLevel, CurveValue::Raw, true}, &v)) {
            w.Add(ReadoutText(2102, v, 2));
        }
    }
    // Only the quantities the record holds: a minimum phase exists without
    // a measured one, an excess phase needs both.
    int ps = SelectedPhaseSlot(f);
    const bool hasPhase = ps >= 0 && RecordHasSlot(m, ps);
    if (hasPhase && value(ScaleKind::Phase, {ps, CurveValue::Degrees, !z}, &v))
        w.Add(ReadoutText(z ? 2107 : 2105, v, 2));
    int gs = SelectedGroupDelaySlot(f);
    if (gs >= 0 && RecordHasSlot(m, gs) && value(ScaleKind::GroupDelay, {gs, CurveValue::Milliseconds, !z}, &v))
        w.Add(ReadoutText(2111, v, 3));
    if (z && hasPhase && p && p->frequency > 0) {
        double deg = p->value[ps] * 180 / kPi;
        if (std::fabs(deg) >= 0.01) {
            double x = p->value[kSlotLevel] * std::sin(p->value[ps]);
            double w2 = 2 * kPi * p->frequency;
            if (deg > 0) w.Add(ReadoutText(2112, x / w2 * 1000, 3));
            else if (x != 0) w.Add(ReadoutText(2113, -1000 / (w2 * x), 3));
        }
    }
    if (!z && (m.h.flags & kMesDistortion)) {
        struct Choice {
            uint32_t bit;
            int slot;
            int id;
        };
        for (Choice c : {Choice{0x1, kSlotDistortion2, kStrReadoutD2}, Choice{0x2, kSlotDistortion2 + 1, kStrReadoutD3},
                         Choice{kDistortionThd, kSlotThd, kStrReadoutThd}}) {
            if (!(in.distortionFlags & c.bit)) continue;
            bool fromScale = in.crosshair && FindScale(in.scales, ScaleKind::Distortion);
            if (fromScale) {
                value(ScaleKind::Distortion, {}, &v);
            } else {
                if (!p || p->value[c.slot] < -499) break;
                v = DistortionPercent(p->value[c.slot], p->value[kSlotLevel]);
            }
            w.Add(ReadoutText(c.id, v, 2));
            break;
        }
    }
    return w.panes;
}

ReadoutPanes ImpulseReadout(double t, double u, double ts, double tw, double speedOfSound) {
    PaneWriter w;
    AddScaled(w, 2116, 2117, t);
    AddScaled(w, 2122, 2123, u);
    AddWindow(w, ts, tw, speedOfSound);
    return w.panes;
}

ReadoutPanes EtcReadout(double t, double levelDb, double ts, double tw, double speedOfSound) {
    PaneWriter w;
    AddScaled(w, 2116, 2117, t);
    w.Add(ReadoutText(2102, levelDb, 2));
    AddWindow(w, ts, tw, speedOfSound);
    return w.panes;
}

long long EtcSampleIndex(double sampleRate, double t) { return static_cast<long long>(RoundHalfAway(sampleRate * t)); }

std::vector<std::string> WidestReadoutTexts() {
    // Digits share one width in the usual fonts: nines stand for any value
    // with as many digits (and survive the trimming of trailing zeros).
    static const struct {
        int id;
        double v;
        int decimals;
    } kWidest[] = {{2101, 99999.99, 2}, {2102, -199.99, 2},  {2105, -9999.99, 2}, {2106, 9999.99, 2},
                   {2111, -999.999, 3}, {2112, 9999.999, 3}, {2113, 9999.999, 3}, {2114, 999.99, 2},
                   {2115, 99.9999, 4},  {2116, 999.99, 2},   {2118, 999.99, 2},   {2120, 999.99, 2},
                   {2122, -9999.99, 2}, {2123, -9.9999, 4},  {2126, 999.99, 2}};
    std::vector<std::string> out;
    for (const auto& w : kWidest) out.push_back(ReadoutText(w.id, w.v, w.decimals));
    return out;
}

std::string MissingCurveHint(const Measurement& m, uint32_t viewFlags) {
    if (m.h.curveKind == kCurveImpedance) return {};
    for (int slot : {SelectedPhaseSlot(viewFlags), SelectedGroupDelaySlot(viewFlags)}) {
        if (slot < 0 || RecordHasSlot(m, slot)) continue;
        // Without a measured phase there is nothing to calculate from.
        if (!(m.h.flags & kMesPhase)) return StringText(kStrMeasuredPhaseMissing);
        return StringText(kStrMinimumPhaseMissing);
    }
    return {};
}

int PointsPerOctave(int count, double fmin, double fmax) {
    if (!(fmin > 0) || !(fmax > 0) || fmin == fmax) return 0;
    return static_cast<int>(count / (3.321928094887376 * std::log10(fmax / fmin)));
}

std::string FrequencyRangeLine(double fmin, double fmax, int count, bool multigraph) {
    char buf[128];
    if (multigraph) std::snprintf(buf, sizeof buf, "Frequency range: %.0f-%.0fHz", fmin, fmax);
    else
        std::snprintf(buf, sizeof buf, "Frequency range: %.0f-%.0fHz  %d f/oct.", fmin, fmax,
                      PointsPerOctave(count, fmin, fmax));
    return buf;
}

}  // namespace srx
