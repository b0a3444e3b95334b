#include "dsp/compensation_editor.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/frequency_response.h"
#include "dsp/numeric.h"

namespace srx {

namespace {

constexpr int kHitPixels = 5;
// Half of 1/6 octave on either side of a point.
const double kSmoothingSpan = std::pow(2.0, 1.0 / 12.0);

struct Sample {
    double f, level, phase;
};

std::vector<Sample> SamplesOf(const Measurement& m) {
    Measurement copy = m;
    UnwrapPhase(copy, kSlotPhase, kSlotPhaseUnwrapped);
    std::vector<Sample> out;
    for (const CurvePoint& p : copy.points) {
        if (!(p.frequency > 0) || p.value[kSlotLevel] <= kNoLevel) continue;
        out.push_back({p.frequency, p.value[kSlotLevel], p.value[kSlotPhaseUnwrapped]});
    }
    std::stable_sort(out.begin(), out.end(), [](const Sample& a, const Sample& b) { return a.f < b.f; });
    return out;
}

std::vector<Sample> Smoothed(const std::vector<Sample>& in) {
    std::vector<Sample> out = in;
    size_t lo = 0, hi = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        while (in[lo].f < in[i].f / kSmoothingSpan) ++lo;
        while (hi + 1 < in.size() && in[hi + 1].f <= in[i].f * kSmoothingSpan) ++hi;
        double level = 0, phase = 0;
        for (size_t j = lo; j <= hi; ++j) {
            level += in[j].level;
            phase += in[j].phase;
        }
        const double n = double(hi - lo + 1);
        out[i].level = level / n;
        out[i].phase = phase / n;
    }
    return out;
}

// Level and phase at f, a straight line on a logarithmic frequency axis
// between samples, the end values beyond them.
Sample At(const std::vector<Sample>& s, double f) {
    if (f <= s.front().f) return {f, s.front().level, s.front().phase};
    if (f >= s.back().f) return {f, s.back().level, s.back().phase};
    auto hi = std::upper_bound(s.begin(), s.end(), f, [](double x, const Sample& a) { return x < a.f; });
    auto lo = hi - 1;
    if (lo->f == f) return *lo;
    return {f, InterpolateLogF(f, lo->f, lo->level, hi->f, hi->level),
            InterpolateLogF(f, lo->f, lo->phase, hi->f, hi->phase)};
}

}  // namespace

double RoundEditorFrequency(double f) {
    double step = 1000;
    if (f < 100) step = 1;
    else if (f < 1000) step = 10;
    else if (f < 10000) step = 100;
    return RoundHalfAway(f / step) * step;
}

CompensationCurve NewEditorTable() {
    CompensationCurve c;
    c.entries = {{float(kEditorLowEnd), 0, 0}, {float(kEditorHighEnd), 0, 0}};
    return c;
}

const std::vector<int>& EditorRanges() {
    static const std::vector<int> ranges{5, 10, 20, 40};
    return ranges;
}

int EditorRangeFor(const CompensationCurve& curve) {
    double largest = 0;
    for (const CompensationEntry& e : curve.entries)
        if (e.frequency > 0) largest = std::max(largest, double(std::fabs(e.level)));
    for (int r : EditorRanges())
        if (largest <= r) return r;
    return EditorRanges().back();
}

int NextEditorRange(int range) {
    const std::vector<int>& r = EditorRanges();
    auto it = std::upper_bound(r.begin(), r.end(), range);
    return it == r.end() ? r.front() : *it;
}

double EditorGraph::XOf(double f) const {
    if (!(f > 0)) f = lowFrequency;
    return left + width * std::log(f / lowFrequency) / std::log(highFrequency / lowFrequency);
}

double EditorGraph::YOf(double level) const { return top + height * (range - level) / (2.0 * range); }

double EditorGraph::FrequencyAt(double x) const {
    return lowFrequency * std::pow(highFrequency / lowFrequency, (x - left) / double(width));
}

double EditorGraph::LevelAt(double y) const { return range - (y - top) * 2.0 * range / double(height); }

bool EditorGraph::Contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }

void CompensationEditor::SetCurve(CompensationCurve curve) {
    curve_ = std::move(curve);
    std::vector<CompensationEntry>& e = curve_.entries;
    e.erase(std::remove_if(e.begin(), e.end(), [](const CompensationEntry& x) { return !(x.frequency > 0); }), e.end());
    Sort();
    dragged_ = -1;
    modified_ = false;
}

void CompensationEditor::Sort() {
    std::stable_sort(curve_.entries.begin(), curve_.entries.end(),
                     [](const CompensationEntry& a, const CompensationEntry& b) { return a.frequency < b.frequency; });
}

int CompensationEditor::HitTest(const EditorGraph& g, int x, int y) const {
    int best = -1;
    double bestDistance = std::numeric_limits<double>::max();
    for (int i = 0; i < curve_.Count(); ++i) {
        const double dx = std::fabs(x - g.XOf(curve_.entries[i].frequency));
        const double dy = std::fabs(y - g.YOf(curve_.entries[i].level));
        if (dx > kHitPixels || dy > kHitPixels) continue;
        if (dx + dy < bestDistance) {
            bestDistance = dx + dy;
            best = i;
        }
    }
    return best;
}

int CompensationEditor::Press(const EditorGraph& g, int x, int y) {
    dragged_ = HitTest(g, x, y);
    if (dragged_ >= 0) return dragged_;
    const double f = RoundEditorFrequency(g.FrequencyAt(x));
    if (!(f > 0)) return -1;
    std::vector<CompensationEntry>& e = curve_.entries;
    auto same = std::find_if(e.begin(), e.end(), [&](const CompensationEntry& x) { return x.frequency == float(f); });
    if (same == e.end()) {
        CompensationEntry entry;
        entry.frequency = float(f);
        entry.phase = float(CompensationPhaseAt(curve_, f));
        e.push_back(entry);
        Sort();
        same = std::find_if(e.begin(), e.end(), [&](const CompensationEntry& x) { return x.frequency == float(f); });
    }
    dragged_ = int(same - e.begin());
    same->level = float(std::clamp(g.LevelAt(y), -double(g.range), double(g.range)));
    modified_ = true;
    return dragged_;
}

bool CompensationEditor::DragTo(const EditorGraph& g, int x, int y) {
    if (dragged_ < 0 || dragged_ >= curve_.Count()) return false;
    std::vector<CompensationEntry>& e = curve_.entries;
    CompensationEntry& entry = e[size_t(dragged_)];
    const CompensationEntry before = entry;
    entry.level = float(std::clamp(g.LevelAt(y), -double(g.range), double(g.range)));
    if (!IsFixedEnd(entry.frequency)) {
        // The entry keeps its place between its neighbours.
        const double f = RoundEditorFrequency(g.FrequencyAt(x));
        const double lower = dragged_ > 0 ? e[size_t(dragged_ - 1)].frequency : 0.0;
        const double upper =
            dragged_ + 1 < curve_.Count() ? e[size_t(dragged_ + 1)].frequency : std::numeric_limits<double>::max();
        if (f > lower && f < upper) entry.frequency = float(f);
    }
    const bool moved = entry.level != before.level || entry.frequency != before.frequency;
    modified_ = modified_ || moved;
    return moved;
}

bool CompensationEditor::DeleteAt(const EditorGraph& g, int x, int y) {
    const int hit = HitTest(g, x, y);
    if (hit < 0 || IsFixedEnd(curve_.entries[size_t(hit)].frequency)) return false;
    curve_.entries.erase(curve_.entries.begin() + hit);
    Sort();
    dragged_ = -1;
    modified_ = true;
    return true;
}

void CompensationEditor::Reset() {
    for (CompensationEntry& e : curve_.entries) e.level = e.phase = 0;
    modified_ = true;
}

bool CompensationFromDifference(const Measurement& uncalibrated, const Measurement& calibrated, bool smooth,
                                CurveDifference& out) {
    std::vector<Sample> u = SamplesOf(uncalibrated), c = SamplesOf(calibrated);
    if (u.size() < 2 || c.size() < 2) return false;
    if (smooth) {
        u = Smoothed(u);
        c = Smoothed(c);
    }
    const double lo = std::max(u.front().f, c.front().f), hi = std::min(u.back().f, c.back().f);
    if (!(lo < hi)) return false;
    const double fr = lo <= 1000.0 && 1000.0 <= hi ? 1000.0 : std::sqrt(lo * hi);
    const double uRef = At(u, fr).level, cRef = At(c, fr).level;

    CurveDifference result;
    result.referenceFrequency = fr;
    result.levelRatio = SafePow10((uRef - cRef) / 20.0);
    for (const Sample& s : u) {
        if (s.f < lo || s.f > hi) continue;
        const Sample other = At(c, s.f);
        CompensationEntry e;
        e.frequency = float(s.f);
        e.level = float((s.level - uRef) - (other.level - cRef));
        e.phase = float(WrapRadians(s.phase - other.phase));
        result.curve.entries.push_back(e);
    }
    if (result.curve.entries.empty()) return false;
    out = std::move(result);
    return true;
}

double ScaledSensitivity(double referenceMvPerPa, double levelRatio) { return referenceMvPerPa * levelRatio; }

}  // namespace srx
