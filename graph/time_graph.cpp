#include "graph/time_graph.h"

#include <algorithm>
#include <cmath>

#include "data/settings_blocks.h"
#include "dsp/numeric.h"
#include "dsp/window.h"

namespace srx {

namespace {
// Rates beyond this are damaged fields, not sample rates.
constexpr double kMaxRate = 1e8;
}  // namespace

double TimeRecordLength(const TimeRecord& t) {
    if (t.h.sampleRate < 1 || t.samples.empty()) return 0;
    return static_cast<double>(t.samples.size()) / t.h.sampleRate;
}

double EtcSampleRate(const EtcRecord& e) {
    if (e.h.sampleRate >= 1 && e.h.sampleRate <= kMaxRate) return e.h.sampleRate;
    if (e.h.setup.sampleRate >= 1 && e.h.setup.sampleRate <= kMaxRate) return e.h.setup.sampleRate;
    if (e.h.duration > 0 && !e.samples.empty()) return static_cast<double>(e.samples.size()) / e.h.duration;
    return 0;
}

double EtcLength(const EtcRecord& e) {
    const double rate = EtcSampleRate(e);
    return rate > 0 ? static_cast<double>(e.samples.size()) / rate : 0;
}

void SettleImpulseRange(TimeRecord& t) {
    if (t.displayTimeEnd <= 0 || !(t.displayTimeEnd > t.displayTimeStart)) {
        t.displayTimeStart = 0;
        t.displayTimeEnd = TimeRecordLength(t);
        t.amplitudeZoom = 1;
    }
    if (!(t.amplitudeZoom > 0)) t.amplitudeZoom = 1;
}

void SettleEtcRange(EtcRecord& e) {
    if (e.displayEnd <= 0 || !(e.displayEnd > e.displayStart)) {
        e.displayStart = 0;
        e.displayEnd = e.h.duration > 0 ? e.h.duration : EtcLength(e);
    }
}

TimeWindowEdges ImpulseWindowEdges(const TimeRecord& t) {
    TimeWindowEdges w;
    if (t.h.sampleRate < 1) return w;
    w.start = static_cast<double>(t.h.windowStart) / t.h.sampleRate;
    w.end = w.start + t.h.fftWindowLength;
    return w;
}

void StoreImpulseWindow(TimeRecord& t, TimeWindowEdges w) {
    if (t.h.sampleRate < 1) return;
    if (w.end < w.start) std::swap(w.start, w.end);
    const double index = std::clamp(RoundHalfAway(w.start * t.h.sampleRate), 0.0, 2147483647.0);
    t.h.windowStart = static_cast<int32_t>(index);
    // The end stays where it was put; only the start snaps to a sample.
    t.h.fftWindowLength = std::max(0.0, w.end - index / t.h.sampleRate);
}

TimeWindowEdges EtcMarkerEdges(const EtcRecord& e) {
    // Files from elsewhere may carry anything in these bytes: no markers then.
    const double s = e.h.markerStart, t = e.h.markerEnd;
    if (!std::isfinite(s) || !std::isfinite(t) || s < 0 || t <= s || t > 1e6) return {0, 0};
    return {s, t};
}

void StoreEtcMarkers(EtcRecord& e, TimeWindowEdges w) {
    if (w.end < w.start) std::swap(w.start, w.end);
    e.h.markerStart = w.start;
    e.h.markerEnd = w.end;
}

double ImpulsePeak(const TimeRecord& t) {
    if (std::isfinite(t.h.peak) && t.h.peak != 0) return std::fabs(t.h.peak);
    double p = 0;
    for (float v : t.samples)
        if (std::isfinite(v)) p = std::max(p, static_cast<double>(std::fabs(v)));
    return p;
}

ScaleDescription EtcScale(const ScaleSettings& s) {
    ScaleDescription d;
    d.kind = ScaleKind::Level;
    d.top = 0;
    d.range = s.etcDbRange > 0 ? s.etcDbRange : 80;
    d.divisions = DbDivisions(d.range);
    d.decimals = DecimalsForStep(d.range / d.divisions);
    d.unit = "dB";
    return d;
}

std::vector<CurvePixel> BuildSampleCurve(const std::vector<float>& samples, double rate, const TimeAxisLayout& axis,
                                         const ScaleDescription& scale, const PlotRect& plot, double factor) {
    std::vector<CurvePixel> out;
    const long long n = static_cast<long long>(samples.size());
    if (n == 0 || !(rate > 0) || !(axis.t1 > axis.t0)) return out;
    const double first = std::floor(axis.t0 * rate) - 1;
    const double last = std::ceil(axis.t1 * rate) + 1;
    const long long i0 = static_cast<long long>(std::max(0.0, first));
    const long long i1 = static_cast<long long>(std::min(static_cast<double>(n - 1), last));
    if (i0 > i1) return out;

    auto push = [&](CurvePixel p) {
        if (out.empty() || !(out.back() == p)) out.push_back(p);
    };
    int columnX = 0;
    int firstY = 0, lowY = 0, highY = 0, lastY = 0;
    long long lowAt = 0, highAt = 0;  // sample indices where the extremes were reached
    bool open = false;
    auto flush = [&]() {
        if (!open) return;
        push({columnX, firstY});
        push({columnX, lowAt <= highAt ? lowY : highY});
        push({columnX, lowAt <= highAt ? highY : lowY});
        push({columnX, lastY});
    };
    for (long long i = i0; i <= i1; ++i) {
        const int x = plot.left + axis.Map(static_cast<double>(i) / rate);
        const int y = scale.Map(samples[static_cast<size_t>(i)] * factor, plot.top, plot.bottom);
        if (!open || x != columnX) {
            flush();
            open = true;
            columnX = x;
            firstY = lowY = highY = lastY = y;
            lowAt = highAt = i;
            continue;
        }
        // Pixel rows grow downwards: the lowest value has the largest y.
        if (y > lowY) lowY = y, lowAt = i;
        if (y < highY) highY = y, highAt = i;
        lastY = y;
    }
    flush();
    return out;
}

double SampleUnderColumn(const std::vector<float>& samples, double rate, double ta, double tb) {
    if (samples.empty() || !(rate > 0)) return 0;
    const double last = static_cast<double>(samples.size() - 1);
    if (tb < ta) std::swap(ta, tb);
    const double first = std::clamp(std::ceil(ta * rate), 0.0, last + 1);
    const double final = std::clamp(std::floor(tb * rate), -1.0, last);
    if (first > final) {
        const double nearest = std::clamp(RoundHalfAway((ta + tb) / 2 * rate), 0.0, last);
        return samples[static_cast<size_t>(nearest)];
    }
    float best = samples[static_cast<size_t>(first)];
    for (size_t i = static_cast<size_t>(first) + 1; i <= static_cast<size_t>(final); ++i)
        if (std::fabs(samples[i]) > std::fabs(best)) best = samples[i];
    return best;
}

std::vector<double> FallingHalfWindow(int windowType, long long samples, long long* step, int maxPoints) {
    std::vector<double> gains;
    long long s = 1;
    if (step) *step = s;
    if (windowType < kWindowHanning || windowType > kWindowBlackmanHarris || samples < 1 || maxPoints < 1) return gains;
    while ((samples + s - 1) / s > maxPoints) s *= 2;
    if (step) *step = s;
    const int count = static_cast<int>((samples + s - 1) / s);
    // The numeric library's own half window, sampled at the drawn points:
    // a window of `count` points has the shape of the long one.
    const int log2n = Log2Ceiling(count);
    std::vector<float> buffer(2 * (size_t{1} << log2n), 0.0f);
    for (int i = 0; i < count; ++i) buffer[2 * static_cast<size_t>(i)] = 1.0f;
    ApplyWindow(buffer.data(), log2n, count, windowType, 1);
    gains.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) gains.push_back(buffer[2 * static_cast<size_t>(i)]);
    return gains;
}

}  // namespace srx
