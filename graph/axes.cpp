#include "graph/axes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "dsp/numeric.h"

namespace srx {

namespace {

// 10^n by multiplication, so that decades come out as the exact doubles the
// label comparisons expect (pow() differs by an ulp on some runtimes).
double Pow10i(int n) {
    double r = 1;
    for (int i = 0; i < std::abs(n); ++i) r *= 10;
    return n < 0 ? 1 / r : r;
}

// n * 10^e without the rounding error of multiplying by a negative power.
double Scaled(double n, int e) { return e < 0 ? n / Pow10i(-e) : n * Pow10i(e); }

// Slack for values that land a hair off an integer after scaling.
constexpr double kEps = 1e-9;

AxisLabel Centred(double x, std::string text, const TextWidthFn& textWidth) {
    AxisLabel l;
    l.width = textWidth(text);
    l.x = static_cast<int>(RoundHalfAway(x - l.width / 2.0));
    l.text = std::move(text);
    return l;
}

}  // namespace

int MapValue(double v, double a, double s, double offset) {
    double r;
    if (s >= 0) r = SafeLn(v / a) * s - offset;
    else r = (v + s) * a;
    if (!(r > -32000)) return -32000;  // also catches NaN
    if (r > 32000) return 32000;
    return static_cast<int>(RoundHalfAway(r));
}

int FrequencyMapping::Map(double f) const {
    if (linear) {
        double r = (f - fmin) * base;
        if (!(r > -32000)) return -32000;
        if (r > 32000) return 32000;
        return static_cast<int>(RoundHalfAway(r));
    }
    return MapValue(f, base, scale, offset);
}

double FrequencyMapping::FrequencyAt(double x) const {
    if (linear) return base > 0 ? fmin + x / base : fmin;
    return scale > 0 ? base * std::exp((x + offset) / scale) : fmin;
}

double NiceFrequencyFloor(double fmin) {
    if (!(fmin > 0)) fmin = 1;
    int e = static_cast<int>(std::floor(std::log10(fmin)));
    return Scaled(std::floor(fmin / Scaled(1, e) + kEps), e);
}

double NiceFrequencyCeil(double fmax) {
    if (!(fmax > 0)) fmax = 1;
    int e = static_cast<int>(std::floor(std::log10(fmax))) - 1;
    return Scaled(std::ceil(fmax / Scaled(1, e) - kEps), e);
}

void DisplayedFrequencyRange(double fmin, double fmax, bool linear, double* lo, double* hi) {
    if (linear) {
        // An empty range would divide by zero; show one hertz instead.
        if (!(fmax > fmin)) fmax = fmin + 1;
    } else {
        fmin = NiceFrequencyFloor(fmin);
        fmax = NiceFrequencyCeil(fmax);
        // A single frequency gives no span to fit; widen it to a decade.
        if (!(fmax > fmin)) fmax = fmin * 10;
    }
    *lo = fmin;
    *hi = fmax;
}

std::string FrequencyLabel(double f) {
    char buf[64];
    if (f >= 1000) {
        std::snprintf(buf, sizeof buf, "%.0fk", f / 1000);
    } else {
        // Zero (a linear axis from 0 Hz) reads "0", not "0.00".
        int dec = f <= 0 ? 0 : f < 0.1 ? 2 : f < 1 ? 1 : 0;
        std::snprintf(buf, sizeof buf, "%.*f", dec, f);
    }
    return buf;
}

int AxisTextHeight(int plotHeight) { return std::max(8, static_cast<int>(RoundHalfAway(plotHeight * 0.032))); }

FrequencyMapping LogFrequencyMapping(int width, double fmin, double fmax) {
    FrequencyMapping m;
    width = std::max(width, 1);
    if (!(fmin > 0)) fmin = 1;
    if (!(fmax > fmin)) fmax = fmin * 10;
    m.fmin = fmin;
    m.fmax = fmax;
    double h = std::hypot(fmin, fmax);
    double base = Pow10i(static_cast<int>(std::floor(std::log10(fmin) + kEps)));
    if (base > fmin) base /= 10;
    double scale = width / std::log(h / base);
    // Creep the base up until fmin..fmax fills the width.
    for (int guard = 0; guard < 100000; ++guard) {
        int span = MapValue(fmax, base, scale, 0) - MapValue(fmin, base, scale, 0);
        if (span >= width || span <= 1) break;
        double nb = base * 1.005;
        double ns = width / std::log(h / nb);
        if (!(ns > 0) || !std::isfinite(ns)) break;
        base = nb;
        scale = ns;
    }
    m.base = base;
    m.scale = scale;
    m.offset = MapValue(fmin, base, scale, 0);
    return m;
}

FrequencyAxisLayout LayoutFrequencyAxis(int width, double fmin, double fmax, bool linear,
                                        const TextWidthFn& textWidth) {
    FrequencyAxisLayout out;
    FrequencyMapping& m = out.map;
    m.linear = linear;
    width = std::max(width, 1);
    DisplayedFrequencyRange(fmin, fmax, linear, &fmin, &fmax);
    if (linear) {
        m.fmin = fmin;
        m.fmax = fmax;
        m.base = width / (fmax - fmin);
        m.scale = -fmin;
        m.offset = 0;
    } else {
        m = LogFrequencyMapping(width, fmin, fmax);
    }

    out.unit = AxisLabel{0, textWidth("f/Hz"), "f/Hz"};
    out.unit.x = width - out.unit.width;

    int prevRight = INT_MIN;
    auto offer = [&](double f) {
        AxisLabel l = Centred(m.Map(f), FrequencyLabel(f), textWidth);
        if (l.x < prevRight || l.x + l.width > out.unit.x) return;
        prevRight = l.x + l.width;
        out.labels.push_back(std::move(l));
    };
    offer(m.fmin);

    if (linear) {
        for (int k = -6; k <= 8; ++k) {
            double p = Scaled(1, k);
            if (p < fmin || p > fmax) continue;
            int x = m.Map(p);
            if (p > fmin && x < width) out.grid.push_back({x, true});
            out.ticks.push_back({x, true});
            if (p > fmin) offer(p);
        }
        return out;
    }

    static const double kGrid[] = {1, 1.5, 2, 3, 4, 5, 6, 7, 8, 9};
    static const double kTicks[] = {1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5};
    for (int k = -5; Scaled(1, k) <= fmax * 10 && k < 40; ++k) {
        for (double g : kGrid) {
            double f = Scaled(g, k);
            int x = m.Map(f);
            if (f > fmin * (1 + kEps) && x < width) out.grid.push_back({x, g == 1});
        }
        for (double t : kTicks) {
            int x = m.Map(Scaled(t, k));
            if (x >= 0 && x <= width) out.ticks.push_back({x, t == 1 || t == 2 || t == 5});
        }
        for (double l : {1.0, 2.0, 5.0}) {
            double f = Scaled(l, k);
            if (f > fmin * (1 + kEps) && m.Map(f) <= width) offer(f);
        }
    }
    return out;
}

int TimeAxisLayout::Map(double t) const {
    double span = t1 - t0;
    if (!(span > 0)) return 0;
    double r = (t - t0) * width / span;
    if (!(r > -32000)) return -32000;
    if (r > 32000) return 32000;
    return static_cast<int>(RoundHalfAway(r));
}

double TimeAxisLayout::TimeAt(double x) const { return width > 0 ? t0 + x * (t1 - t0) / width : t0; }

TimeAxisLayout LayoutTimeAxis(int width, double t0, double t1, const TextWidthFn& textWidth) {
    TimeAxisLayout out;
    out.t0 = t0;
    out.t1 = t1;
    out.width = width;
    out.milliseconds = t1 < 1;
    out.unit = out.milliseconds ? "t/ms" : "t/s";
    double d = t1 - t0;
    if (!(d > 0) || width <= 0 || !std::isfinite(d)) return out;

    double p = 1e-5;
    for (int i = 0; p < d && i < 40; ++i) p *= 10;
    double unitFactor = out.milliseconds ? 1000 : 1;

    for (double step = p / 80; step <= d * 4 + p; step *= 2) {
        std::vector<AxisLabel> labels;
        std::vector<int> xs;
        bool fits = true;
        int prevRight = INT_MIN;
        // Label indices must fit a long long; a span this far from zero has
        // no readable step anyway.
        if (std::fabs(t0 / step) > 1e15 || std::fabs(t1 / step) > 1e15) continue;
        long long k0 = static_cast<long long>(std::ceil(t0 / step - kEps));
        long long k1 = static_cast<long long>(std::floor(t1 / step + kEps));
        if (k1 - k0 > 4000) continue;  // far too dense to be the answer
        for (long long k = k0; k <= k1; ++k) {
            double t = static_cast<double>(k) * step;
            char buf[64];
            std::snprintf(buf, sizeof buf, "%g", t * unitFactor);
            int x = out.Map(t);
            AxisLabel l = Centred(x, buf, textWidth);
            if (l.x < prevRight + 2) {
                fits = false;
                break;
            }
            prevRight = l.x + l.width;
            xs.push_back(x);
            labels.push_back(std::move(l));
        }
        if (fits) {
            out.step = step;
            out.gridX = std::move(xs);
            out.labels = std::move(labels);
            break;
        }
    }
    return out;
}

}  // namespace srx
