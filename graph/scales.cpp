#include "graph/scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/settings_blocks.h"
#include "data/view_flags.h"
#include "data/records.h"
#include "dsp/numeric.h"

namespace srx {

namespace {

constexpr double kSqrt2 = 1.41421356237309504880;
constexpr double kEps = 1e-9;
constexpr double kNoData = -499;  // levels below this end a curve

int ClampPixel(double r) {
    if (!(r > -32000)) return -32000;
    if (r > 32000) return 32000;
    return static_cast<int>(RoundHalfAway(r));
}

double Pow10i(int n) {
    double r = 1;
    for (int i = 0; i < std::abs(n); ++i) r *= 10;
    return n < 0 ? 1 / r : r;
}

// Labelled divisions an unwrapped phase scale may have.
constexpr int kMaxPhaseDivisions = 12;

// The next step of 1, 2, 5, 10, 20 ... turns after `step` degrees.
double NextNiceTurns(double step) {
    const double turns = step / 360;
    const double decade = std::pow(10.0, std::floor(std::log10(turns) + kEps));
    const double m = turns / decade;
    const double next = m < 1.5 ? 2 : m < 3.5 ? 5 : 10;
    return next * decade * 360;
}

std::string LogLabel(double v, char suffix) {
    int dec = std::max(0, -static_cast<int>(std::floor(std::log10(v) + kEps)));
    return ScaleLabel(v, dec, suffix);
}

}  // namespace

double ScaleDescription::Bottom() const { return log ? top / Pow10i(static_cast<int>(range)) : top - range; }

int ScaleDescription::Map(double v, int pixelTop, int pixelBottom) const {
    double h = pixelBottom - pixelTop;
    if (log) {
        if (!(v > 0) || range <= 0) return pixelBottom;
        return ClampPixel(pixelTop + (std::log10(top) - std::log10(v)) / range * h);
    }
    if (!(range > 0)) return pixelBottom;
    return ClampPixel(pixelTop + (top - v) / range * h);
}

double ScaleDescription::ValueAt(double y, int pixelTop, int pixelBottom) const {
    double h = pixelBottom - pixelTop;
    if (h <= 0) return top;
    double f = (y - pixelTop) / h;
    if (log) return top / std::pow(10.0, f * range);
    return top - f * range;
}

std::string ScaleLabel(double v, int decimals, char suffix) {
    if (std::fabs(v) <= 1e-14) v = 0;
    char buf[96];
    if (suffix) std::snprintf(buf, sizeof buf, "%.*f%c", decimals, v, suffix);
    else std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

namespace {

// Labels closer than a text height would print over each other: the lines
// keep theirs from the top down, the labelled ticks only where room is left.
void ThinLabels(ScaleLayout& sl, int textHeight) {
    if (textHeight <= 0) return;
    std::vector<int> kept;
    auto fits = [&](int y) {
        for (int k : kept)
            if (std::abs(y - k) < textHeight) return false;
        return true;
    };
    for (ScaleLine& l : sl.lines) {
        if (l.label.empty()) continue;
        if (fits(l.y)) kept.push_back(l.y);
        else l.label.clear(), l.labelWidth = 0;
    }
    for (ScaleLine& t : sl.ticks) {
        if (t.label.empty()) continue;
        if (fits(t.y)) kept.push_back(t.y);
        else t.label.clear(), t.labelWidth = 0;
    }
}

}  // namespace

ScalesLayout LayoutVerticalScales(PlotRect plot, const std::vector<ScaleDescription>& scales,
                                  const TextWidthFn& textWidth, int textHeight) {
    ScalesLayout out;
    size_t count = std::min<size_t>(scales.size(), 4);
    int mWidth = textWidth("M");
    // Labels first: the column widths decide the plot rectangle, which the
    // pixel rows then depend on.
    std::vector<std::vector<std::string>> texts(count);
    for (size_t i = 0; i < count; ++i) {
        const ScaleDescription& d = scales[i];
        ScaleLayout sl;
        sl.desc = d;
        sl.leftOfPlot = i == 0;
        int widest = 0;
        if (d.log) {
            int decades = std::max(0, static_cast<int>(d.range));
            for (int k = 0; k <= decades; ++k) {
                double v = d.top / Pow10i(k);
                texts[i].push_back(LogLabel(v, d.suffix));
                if (k > 0)
                    for (double m : {2.0, 5.0}) widest = std::max(widest, textWidth(LogLabel(v * m, d.suffix)));
            }
        } else {
            int n = std::max(1, d.divisions);
            for (int k = 0; k <= n; ++k) texts[i].push_back(ScaleLabel(d.top - d.range * k / n, d.decimals, d.suffix));
        }
        for (const std::string& t : texts[i]) widest = std::max(widest, textWidth(t));
        sl.columnWidth = static_cast<int>(RoundHalfAway(1.2 * widest + 1.125 * mWidth));
        out.scales.push_back(std::move(sl));
    }
    if (count > 0) {
        out.scales[0].columnLeft = plot.left;
        plot.left += out.scales[0].columnWidth;
    }
    int rightTotal = 0;
    for (size_t i = 1; i < count; ++i) rightTotal += out.scales[i].columnWidth;
    plot.right -= rightTotal;
    int x = plot.right;
    for (size_t i = 1; i < count; ++i) {
        out.scales[i].columnLeft = x;
        x += out.scales[i].columnWidth;
    }
    out.plot = plot;

    for (size_t i = 0; i < count; ++i) {
        ScaleLayout& sl = out.scales[i];
        const ScaleDescription& d = sl.desc;
        if (d.log) {
            int decades = std::max(0, static_cast<int>(d.range));
            for (int k = 0; k <= decades; ++k) {
                double v = d.top / Pow10i(k);
                int y = d.Map(v, plot.top, plot.bottom);
                sl.lines.push_back({y, texts[i][k], textWidth(texts[i][k])});
                if (k > 0 && k < decades) sl.gridY.push_back(y);
                if (k == 0) continue;
                for (int m = 2; m <= 9; ++m) {
                    double tv = v * m;
                    std::string l = (m == 2 || m == 5) ? LogLabel(tv, d.suffix) : std::string();
                    int w = l.empty() ? 0 : textWidth(l);
                    sl.ticks.push_back({d.Map(tv, plot.top, plot.bottom), std::move(l), w});
                }
            }
            ThinLabels(sl, textHeight);
            continue;
        }
        int n = std::max(1, d.divisions);
        for (int k = 0; k <= n; ++k) {
            int y = d.Map(d.top - d.range * k / n, plot.top, plot.bottom);
            sl.lines.push_back({y, texts[i][k], textWidth(texts[i][k])});
            if (k > 0 && k < n) sl.gridY.push_back(y);
        }
        ThinLabels(sl, textHeight);
        double divHeight = static_cast<double>(plot.Height()) / n;
        if (divHeight > 5) {
            for (int k = 0; k < n; ++k)
                for (int j = 1; j < 10; ++j) {
                    int y = ClampPixel(plot.top + divHeight * (k + j / 10.0));
                    if (y == sl.lines[k].y || y == sl.lines[k + 1].y) continue;
                    sl.ticks.push_back({y, std::string(), 0});
                }
        }
    }
    return out;
}

int DbDivisions(double range) {
    for (double r : {1.0, 2.5, 5.0, 10.0, 25.0, 50.0, 100.0})
        if (std::fabs(range - r) < kEps) return 10;
    if (std::fabs(range - 60) < kEps || std::fabs(range - 120) < kEps) return 12;
    if (std::fabs(range - 140) < kEps) return 14;
    return 8;
}

double DbTop(double setting, double range, int divisions, double maxLevel) {
    if (setting > 0) return setting;
    double step = range / std::max(1, divisions);
    if (!(step > 0)) return 0;
    double k = std::ceil((maxLevel + 0.4 * step + 1000) / step - kEps);
    if (k < 0) k = 0;
    return -1000 + k * step;
}

int DecimalsForStep(double step) {
    step = std::fabs(step);
    if (!(step > 0) || !std::isfinite(step)) return 0;
    int cap = std::clamp(2 - static_cast<int>(std::floor(std::log10(step))), 0, 6);
    for (int d = 0; d < cap; ++d) {
        double s = step * Pow10i(d);
        if (std::fabs(s - std::round(s)) < 1e-6 * std::max(1.0, s)) return d;
    }
    return cap;
}

ScaleDescription LevelScale(const ScaleSettings& s, double maxLevel) {
    ScaleDescription d;
    d.kind = ScaleKind::Level;
    // -1 (automatic) or a damaged setting: a 50 dB window.
    d.range = s.dbRange > 0 ? s.dbRange : 50;
    d.divisions = DbDivisions(d.range);
    d.top = DbTop(s.dbTop, d.range, d.divisions, maxLevel);
    d.decimals = std::max(DecimalsForStep(d.range / d.divisions), DecimalsForStep(d.top));
    d.unit = "dB";
    return d;
}

double LevelToMillivolt(double level) { return 1000 * SafePow10((level - 112) / 20); }

ScaleDescription MillivoltScale(double maxLevel) {
    ScaleDescription d;
    d.kind = ScaleKind::Millivolt;
    d.top = 1000 * SafePow10(0.05 * (maxLevel - 112)) * 1.2;
    d.range = d.top;
    d.divisions = 10;
    d.decimals = DecimalsForStep(d.range / 10);
    d.unit = "mV";
    return d;
}

double AutoLinearTop(double maximum, double minTop) {
    double limit = 1.05 * maximum;
    double top = 0;
    for (int k = -4; k < 40 && top == 0; ++k)
        for (int m = 10; m <= 98; m += 2) {
            double v = k - 1 < 0 ? m / Pow10i(1 - k) : m * Pow10i(k - 1);
            if (v > limit) {
                top = v;
                break;
            }
        }
    return std::max(top, minTop);
}

int LogDecades(double maximum, double minimum, double* top) {
    double t = maximum > 0 ? Pow10i(static_cast<int>(std::floor(std::log10(maximum) + kEps)) + 1) : 1;
    if (top) *top = t;
    int k = 1;
    while (k < 7 && !(t / Pow10i(k) <= minimum)) ++k;
    return k;
}

ScaleDescription ImpedanceScale(const ScaleSettings& s, double maxZ, double minZ, bool log) {
    ScaleDescription d;
    d.kind = ScaleKind::Impedance;
    d.unit = "Ohm";
    if (log) {
        d.log = true;
        d.range = LogDecades(maxZ, minZ, &d.top);
        d.divisions = static_cast<int>(d.range);
        return d;
    }
    d.top = s.impedanceMax > 0 ? s.impedanceMax : AutoLinearTop(maxZ, s.impedanceMinTop);
    d.range = d.top;
    d.divisions = 10;
    d.decimals = DecimalsForStep(d.range / 10);
    return d;
}

ScaleDescription PhaseScale(bool unwrapped, bool impedance, double minRad, double maxRad) {
    ScaleDescription d;
    d.kind = ScaleKind::Phase;
    d.unit = "Deg";
    double lo, hi;
    if (!unwrapped) {
        hi = impedance ? 90 : 180;
        lo = -hi;
    } else {
        lo = std::floor(minRad * 180 / kPi / 45 + kEps) * 45;
        hi = std::ceil(maxRad * 180 / kPi / 45 - kEps) * 45;
        if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo) lo = hi = 0;
        if (hi == lo) {
            lo = -45;
            hi = 45;
        } else if (lo > 0) {
            lo = 0;
        } else if (hi < 0) {
            hi = 0;
        }
    }
    // Lines at whole multiples of a step: 45, 90 or 180 degrees, then whole
    // turns (1, 2, 5, 10, 20 ...), the smallest that keeps the count readable.
    // The ends move out to the step so that 0 stays a line.
    double step = 45;
    for (int i = 0; i < 2000 && std::isfinite(step); ++i) {
        if (std::ceil(hi / step - kEps) - std::floor(lo / step + kEps) <= kMaxPhaseDivisions) break;
        if (step < 360) step *= 2;
        else step = NextNiceTurns(step);
    }
    if (std::isfinite(step)) {
        lo = std::floor(lo / step + kEps) * step;
        hi = std::ceil(hi / step - kEps) * step;
    }
    d.top = hi;
    d.range = hi - lo;
    const double n = std::isfinite(step) ? std::round(d.range / step) : 1;
    d.divisions = static_cast<int>(std::clamp(std::isfinite(n) ? n : 1.0, 1.0, double(kMaxPhaseDivisions)));
    return d;
}

ScaleDescription GroupDelayScale(const ScaleSettings& s, double maxSeconds) {
    double g;
    if (s.groupDelayMax > 0) {
        g = s.groupDelayMax;
    } else if (maxSeconds > 0) {
        g = std::pow(kSqrt2, std::ceil(std::log(maxSeconds) / std::log(kSqrt2) - kEps));
    } else {
        g = 1e-6;
    }
    g = std::max(g, s.groupDelayMinTop);
    ScaleDescription d;
    d.kind = ScaleKind::GroupDelay;
    d.unit = "ms";
    d.top = g * 1000;
    d.range = 2 * g * 1000;
    d.divisions = 8;
    d.decimals = DecimalsForStep(d.range / 8);
    return d;
}

double DistortionPercent(double harmonicDb, double levelDb) { return 100 * SafePow10((harmonicDb - levelDb) / 20); }

ScaleDescription DistortionScale(const ScaleSettings& s, double maxPercent, double minPercent, bool log, bool thdOnly) {
    ScaleDescription d;
    d.kind = ScaleKind::Distortion;
    d.unit = thdOnly ? "THD%" : "D%";
    if (log) {
        d.log = true;
        d.range = LogDecades(maxPercent, minPercent, &d.top);
        d.divisions = static_cast<int>(d.range);
        return d;
    }
    d.top = s.distortionMax > 0 ? s.distortionMax : AutoLinearTop(maxPercent, s.distortionMinTop);
    d.range = d.top;
    d.divisions = 10;
    d.decimals = DecimalsForStep(d.range / 10);
    return d;
}

ScaleDescription ImpulseScale(double peak, double zoom) {
    double a = 1.0 / 262144;
    double p = std::fabs(peak);
    for (int i = 0; a < p && i < 400; ++i) a *= kSqrt2;
    if (!(zoom > 0)) zoom = 1;
    a /= zoom;
    ScaleDescription d;
    d.kind = ScaleKind::Other;
    d.divisions = 10;
    bool volts = 2 * a >= 0.1;
    double f = volts ? 1 : 1000;
    d.unit = volts ? "Volt" : "mV";
    d.top = a * f;
    d.range = 2 * a * f;
    d.decimals = DecimalsForStep(d.range / 10);
    return d;
}

int SelectedPhaseSlot(uint32_t f) {
    bool un = f & kGraphPhaseUnwrapped;
    if (f & kGraphPhase) return un ? kSlotPhaseUnwrapped : kSlotPhase;
    if (f & kGraphMinimumPhase) return un ? kSlotMinimumPhaseUnwrapped : kSlotMinimumPhase;
    if (f & kGraphExcessPhase) return un ? kSlotExcessPhaseUnwrapped : kSlotExcessPhase;
    return -1;
}

int SelectedGroupDelaySlot(uint32_t f) {
    if (f & kGraphGroupDelay) return kSlotGroupDelay;
    if (f & kGraphMinimumGroupDelay) return kSlotMinimumGroupDelay;
    if (f & kGraphExcessGroupDelay) return kSlotExcessGroupDelay;
    return -1;
}

bool RecordHasSlot(const Measurement& m, int slot) {
    const bool measured = m.h.flags & kMesPhase;
    const bool minimum = m.h.flags & (kMesMinimumPhaseCalculated | kMesStoredMinimumPhase);
    switch (slot) {
        case kSlotPhase:
        case kSlotPhaseUnwrapped:
        case kSlotGroupDelay: return measured;
        case kSlotMinimumPhase:
        case kSlotMinimumPhaseUnwrapped:
        case kSlotMinimumGroupDelay: return minimum;
        // Excess = measured - minimum: without either it is meaningless.
        case kSlotExcessPhase:
        case kSlotExcessPhaseUnwrapped:
        case kSlotExcessGroupDelay: return measured && minimum;
        default: return true;
    }
}

namespace {

// Calls fn for each point of the displayed range up to the end of valid data.
template <class Fn>
void ForDisplayed(const Measurement& m, double fmin, double fmax, Fn fn) {
    for (const CurvePoint& p : m.points) {
        if (m.h.curveKind != kCurveImpedance && p.value[kSlotLevel] < kNoData) break;
        if (p.frequency < fmin || p.frequency > fmax) continue;
        fn(p);
    }
}

}  // namespace

std::vector<ScaleDescription> MeasurementScales(const MeasurementScalesInput& in, const ScaleSettings& s) {
    std::vector<ScaleDescription> out;
    const uint32_t f = in.viewFlags;
    const uint32_t dist = in.distortionFlags & 0x3FF;
    const bool percent = f & kGraphDistortionPercent;
    const double lo = in.fmin * (1 - 1e-6), hi = in.fmax * (1 + 1e-6);
    auto isZ = [](const Measurement* m) { return m->h.curveKind == kCurveImpedance; };
    auto hasDist = [&](const Measurement* m) { return !isZ(m) && dist && (m->h.flags & kMesDistortion); };

    // Amplitude (and distortion in dB, which shares its scale).
    bool anyLevel = false;
    double maxLevel = kNoLevel;
    for (const Measurement* m : in.records) {
        if (isZ(m)) continue;
        bool amp = f & kGraphAmplitude;
        bool d = hasDist(m) && !percent;
        if (!amp && !d) continue;
        anyLevel = true;
        ForDisplayed(*m, lo, hi, [&](const CurvePoint& p) {
            if (amp) maxLevel = std::max<double>(maxLevel, p.value[kSlotLevel]);
            if (d)
                for (int b = 0; b < 10; ++b)
                    if ((dist >> b & 1) && p.value[kSlotDistortion2 + b] >= kNoData)
                        maxLevel = std::max<double>(maxLevel, p.value[kSlotDistortion2 + b]);
        });
    }
    if (anyLevel) out.push_back((f & kGraphLinearAmplitude) ? MillivoltScale(maxLevel) : LevelScale(s, maxLevel));

    // Impedance magnitude.
    if (f & kGraphAmplitude) {
        bool anyZ = false;
        double maxZ = 0, minZ = 1e300;
        for (const Measurement* m : in.records) {
            if (!isZ(m)) continue;
            anyZ = true;
            ForDisplayed(*m, lo, hi, [&](const CurvePoint& p) {
                maxZ = std::max<double>(maxZ, p.value[kSlotLevel]);
                minZ = std::min<double>(minZ, p.value[kSlotLevel]);
            });
        }
        if (anyZ) out.push_back(ImpedanceScale(s, maxZ, minZ, f & kGraphLogImpedance));
    }

    // Phase.
    int ps = SelectedPhaseSlot(f);
    if (ps >= 0) {
        bool any = false, allZ = true;
        double pmin = 1e300, pmax = -1e300;
        for (const Measurement* m : in.records) {
            if (!RecordHasSlot(*m, ps)) continue;
            any = true;
            allZ = allZ && isZ(m);
            double a = m->phaseUnwrappedMin, b = m->phaseUnwrappedMax;
            if (ps == kSlotMinimumPhaseUnwrapped) a = m->minPhaseUnwrappedMin, b = m->minPhaseUnwrappedMax;
            if (ps == kSlotExcessPhaseUnwrapped) a = m->excessPhaseUnwrappedMin, b = m->excessPhaseUnwrappedMax;
            pmin = std::min(pmin, a);
            pmax = std::max(pmax, b);
        }
        if (any) out.push_back(PhaseScale(f & kGraphPhaseUnwrapped, allZ, pmin, pmax));
    }

    // Group delay.
    int gs = SelectedGroupDelaySlot(f);
    if (gs >= 0) {
        bool any = false;
        double g = 0;
        for (const Measurement* m : in.records) {
            if (!RecordHasSlot(*m, gs)) continue;
            any = true;
            ForDisplayed(*m, lo, hi, [&](const CurvePoint& p) { g = std::max<double>(g, std::fabs(p.value[gs])); });
        }
        if (any) out.push_back(GroupDelayScale(s, g));
    }

    // Distortion in percent.
    if (percent) {
        bool any = false;
        double dmax = 0, dmin = 1e300;
        for (const Measurement* m : in.records) {
            if (!hasDist(m)) continue;
            any = true;
            ForDisplayed(*m, lo, hi, [&](const CurvePoint& p) {
                for (int b = 0; b < 10; ++b) {
                    float h = p.value[kSlotDistortion2 + b];
                    if (!(dist >> b & 1) || h < kNoData) continue;
                    double pc = DistortionPercent(h, p.value[kSlotLevel]);
                    dmax = std::max(dmax, pc);
                    dmin = std::min(dmin, pc);
                }
            });
        }
        if (any) out.push_back(DistortionScale(s, dmax, dmin, f & kGraphDistortionLogScale, dist == kDistortionThd));
    }
    return out;
}

}  // namespace srx
