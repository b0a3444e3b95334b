#include "dsp/curve_operations.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <new>

#include "dsp/min_phase.h"
#include "dsp/numeric.h"
#include "dsp/smoothing.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr double kLog2Of10 = 3.321928094887376;
// A grid larger than this is a typing error, not a curve.
constexpr double kMaxGridPoints = 1e6;
// Beyond these a merge value is a typing error: the phase term of the
// distance would leave the numbers behind.
constexpr double kMaxAreaCm2 = 1e6;
constexpr double kMaxDistanceM = 1e3;

bool MergeValueValid(const MergeCurve& c) {
    return c.value > 0 && c.value <= (c.nearField ? kMaxAreaCm2 : kMaxDistanceM);
}

bool HasPhase(const Measurement& m) { return (m.h.flags & kMesPhase) != 0; }

// Frequencies positive, finite and rising; levels and phases finite.
bool Usable(const Measurement& m) {
    if (m.points.empty()) return false;
    for (size_t i = 0; i < m.points.size(); ++i) {
        const CurvePoint& p = m.points[i];
        if (!(p.frequency > 0) || !std::isfinite(p.frequency)) return false;
        if (i > 0 && !(p.frequency > m.points[i - 1].frequency)) return false;
        if (!std::isfinite(p.value[kSlotLevel]) || !std::isfinite(p.value[kSlotPhase])) return false;
    }
    return true;
}

// Header fields that follow the points.
void FinishPoints(Measurement& m) {
    m.h.pointCount = int32_t(m.points.size());
    if (!m.points.empty()) {
        m.h.firstFrequency = m.displayFirstFrequency = m.points.front().frequency;
        m.h.lastFrequency = m.displayLastFrequency = m.points.back().frequency;
    }
    RecomputeMaxLevel(m);
}

// A fresh point: level and wrapped phase, no harmonics.
CurvePoint MakePoint(double f, double level, double phase) {
    CurvePoint p;
    p.frequency = float(f);
    p.value[kSlotLevel] = SaturatedFloat(level);
    p.value[kSlotPhase] = float(WrapRadians(phase));
    p.value[kSlotPhaseUnwrapped] = SaturatedFloat(phase);
    for (int k = 0; k < 9; ++k) p.value[kSlotDistortion2 + k] = float(kNoLevel);
    p.value[kSlotThd] = float(kNoLevel);
    return p;
}

// The points of the grid from fstart to fend at ppo points per octave.
bool GridSize(double fstart, double fend, int ppo, size_t* count) {
    if (!(fstart > 0) || !(fend >= fstart) || !std::isfinite(fend) || ppo < 1) return false;
    const double n = RoundHalfAway(ppo * kLog2Of10 * std::log10(fend / fstart)) + 1;
    if (!(n >= 1) || n > kMaxGridPoints) return false;
    *count = size_t(n);
    return true;
}

// The largest points-per-octave of the curves and their joint range.
void CommonGrid(const std::vector<const Measurement*>& curves, double* lo, double* hi, int* ppo) {
    *lo = curves[0]->points.front().frequency;
    *hi = curves[0]->points.back().frequency;
    *ppo = 1;
    for (const Measurement* c : curves) {
        *lo = std::min(*lo, double(c->points.front().frequency));
        *hi = std::max(*hi, double(c->points.back().frequency));
        *ppo = std::max(*ppo, MeasurementPointsPerOctave(*c));
    }
}

Status CheckChoice(const std::vector<const Measurement*>& curves) {
    if (curves.size() < 2) return Status::Error(kStrTwoCurvesNeeded);
    for (size_t i = 0; i < curves.size(); ++i) {
        if (!curves[i]) return Status::Error(kStrTwoCurvesNeeded);
        for (size_t j = 0; j < i; ++j)
            if (curves[i] == curves[j]) return Status::Error(kStrDuplicateCurves);
    }
    for (const Measurement* c : curves)
        if (!Usable(*c)) return Status::Error(kStrEmptyGrid);
    return Status::Ok();
}

// Copies of the curves on the common grid, extrapolated where they end.
bool ResampledCopies(const std::vector<const Measurement*>& curves, const AnalysisSettings& st,
                     std::vector<Measurement>& out) {
    double lo, hi;
    int ppo;
    CommonGrid(curves, &lo, &hi, &ppo);
    out.clear();
    out.reserve(curves.size());
    for (const Measurement* c : curves) {
        out.push_back(*c);
        if (!ResampleCurve(out.back(), true, lo, hi, ppo, st)) return false;
    }
    return true;
}

bool Covers(const Measurement& c, double f) {
    return f >= c.points.front().frequency * (1 - 1e-6) && f <= c.points.back().frequency * (1 + 1e-6);
}

std::unique_ptr<Measurement> NewCurveLike(const Measurement& first, const std::string& title) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    if (!m) return nullptr;
    m->h.setup = first.h.setup;
    m->h.method = first.h.method;
    m->h.windowType = first.h.windowType;
    m->h.origin = 32767;
    SetText(m->h.title, title);
    return m;
}

}  // namespace

int MeasurementPointsPerOctave(const Measurement& m) {
    if (m.points.size() < 2) return 0;
    return CurvePointsPerOctave(m.points.size(), m.points.front().frequency, m.points.back().frequency);
}

bool ResampleCurve(Measurement& m, bool keepLow, double fstart, double fend, int ppo, const AnalysisSettings& st) {
    size_t count = 0;
    if (!Usable(m) || !GridSize(fstart, fend, ppo, &count)) return false;
    const size_t n = m.points.size();
    std::vector<double> f, level, phase;
    std::vector<CurvePoint> grid;
    try {
        Measurement source = m;
        if (HasPhase(source)) UnwrapPhase(source, kSlotPhase, kSlotPhaseUnwrapped);
        f.reserve(n + 2);
        level.reserve(n + 2);
        phase.reserve(n + 2);
        auto lv = [&](size_t i) { return double(source.points[i].value[kSlotLevel]); };
        auto ph = [&](size_t i) { return HasPhase(source) ? double(source.points[i].value[kSlotPhaseUnwrapped]) : 0.0; };
        auto fr = [&](size_t i) { return double(source.points[i].frequency); };
        // The ends extend along the slope of their last half octave.
        const double first = fr(0), last = fr(n - 1);
        if (first > fstart) {
            size_t s = 1;
            if (n >= 3)
                while (s + 1 < n && fr(s) < 1.4142 * first) ++s;
            const bool slope = n >= 3;
            f.push_back(fstart);
            level.push_back(slope ? InterpolateLogF(fstart, first, lv(0), fr(s), lv(s)) : lv(0));
            phase.push_back(slope ? InterpolateLogF(fstart, first, ph(0), fr(s), ph(s)) : ph(0));
        }
        for (size_t i = 0; i < n; ++i) {
            f.push_back(fr(i));
            level.push_back(lv(i));
            phase.push_back(ph(i));
        }
        if (last < fend) {
            size_t s = n >= 2 ? n - 2 : 0;
            if (n >= 3)
                while (s > 0 && fr(s) > last / 1.4142) --s;
            const bool slope = n >= 3;
            f.push_back(fend);
            level.push_back(slope ? InterpolateLogF(fend, last, lv(n - 1), fr(s), lv(s)) : lv(n - 1));
            phase.push_back(slope ? InterpolateLogF(fend, last, ph(n - 1), fr(s), ph(s)) : ph(n - 1));
        }
        grid.reserve(count);
        const double r = std::pow(2.0, 1.0 / ppo);
        size_t j = 0;
        double heldLevel = 0;
        for (size_t i = 0; i < count; ++i) {
            const double fi = std::min(fstart * std::pow(r, double(i)), fend);
            while (j + 2 < f.size() && f[j + 1] < fi) ++j;
            const size_t k = std::min(j + 1, f.size() - 1);
            double l = InterpolateLogF(fi, f[j], level[j], f[k], level[k]);
            double p = InterpolateLogF(fi, f[j], phase[j], f[k], phase[k]);
            if (!keepLow && fi < first) {
                // Below the curve there is nothing measured to keep.
                if (i == 0) heldLevel = l;
                l = heldLevel;
                p = 0;
            }
            grid.push_back(MakePoint(fi, l, p));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    m.points = std::move(grid);
    m.h.flags &= ~(kMesDistortion | kMesStoredMinimumPhase);
    m.h.setup.frequenciesPerOctave = ppo;
    FinishPoints(m);
    DerivePhaseData(m, st);
    return true;
}

bool SmoothingAllowed(int ppo, int n) { return n >= 1 && n <= 96 && (n == 1 || ppo > n); }

bool SmoothMeasurement(Measurement& m, int n, int method, const AnalysisSettings& st) {
    if (n < 1 || n > 96 || method < kSmoothAbsolute || method > kSmoothMedian || !Usable(m)) return false;
    const size_t count = m.points.size();
    const bool impedance = m.h.curveKind == kCurveImpedance;
    std::vector<double> f(count), level(count), phase(count);
    if (!impedance) UnwrapPhase(m, kSlotPhase, kSlotPhaseUnwrapped);
    for (size_t i = 0; i < count; ++i) {
        const CurvePoint& p = m.points[i];
        f[i] = p.frequency;
        level[i] = p.value[kSlotLevel];
        phase[i] = p.value[impedance ? kSlotPhase : kSlotPhaseUnwrapped];
    }
    SmoothTable(f.data(), level.data(), phase.data(), count, n, method);
    for (size_t i = 0; i < count; ++i) {
        m.points[i].value[kSlotLevel] = SaturatedFloat(level[i]);
        m.points[i].value[kSlotPhase] = float(WrapRadians(phase[i]));
    }
    if (m.h.flags & kMesDistortion) {
        for (int slot = kSlotDistortion2; slot < kSlotDistortion2 + 9; ++slot) {
            // Each harmonic up to where it ends (beyond the rate's half).
            size_t end = 0;
            while (end < count && m.points[end].value[slot] >= -500) ++end;
            for (size_t i = 0; i < end; ++i) level[i] = m.points[i].value[slot];
            SmoothTable(f.data(), level.data(), nullptr, end, n, method);
            for (size_t i = 0; i < end; ++i) m.points[i].value[slot] = SaturatedFloat(level[i]);
        }
    }
    // A minimum phase stored with the curve belongs to the old levels.
    const bool minimum = (m.h.flags & (kMesStoredMinimumPhase | kMesMinimumPhaseCalculated)) != 0;
    m.h.flags &= ~(kMesStoredMinimumPhase | kMesSaved);
    RecomputeMaxLevel(m);
    DerivePhaseData(m, st);
    if (minimum && !impedance) ComputeMinimumPhase(m, st);
    return true;
}

bool SmoothWaterfall(TimeRecord& t, int n, int method) {
    if (n < 1 || n > 96 || method < kSmoothAbsolute || method > kSmoothMedian) return false;
    std::vector<double> f, level;
    std::vector<size_t> at;
    for (WaterfallSlice& s : t.slices) {
        f.clear();
        level.clear();
        at.clear();
        const size_t count = std::min(s.frequency.size(), s.level.size());
        // Points without a level (-1000) would drag their neighbours down.
        for (size_t i = 0; i < count; ++i) {
            if (!(s.level[i] > kNoLevel)) continue;
            if (!f.empty() && !(s.frequency[i] > f.back())) continue;
            f.push_back(s.frequency[i]);
            level.push_back(s.level[i]);
            at.push_back(i);
        }
        SmoothTable(f.data(), level.data(), nullptr, f.size(), n, method);
        for (size_t i = 0; i < at.size(); ++i) s.level[at[i]] = SaturatedFloat(level[i]);
    }
    RecomputeWaterfallMax(t);
    t.h.flags &= ~kTwfSaved;
    return true;
}

Status CheckNormalizeFrequency(double f, double lo, double hi, double* clamped) {
    const double typed = RoundToDecimals(f, 2);
    if (std::isfinite(typed) && RoundHalfAway(typed) >= RoundHalfAway(lo) && RoundHalfAway(typed) <= RoundHalfAway(hi)) {
        *clamped = std::clamp(typed, lo, hi);
        return Status::Ok();
    }
    auto text = [](double v) {
        char s[64];
        std::snprintf(s, sizeof s, "%.2f", v);
        std::string t = s;
        while (!t.empty() && t.back() == '0') t.pop_back();
        if (!t.empty() && t.back() == '.') t.pop_back();
        return t;
    };
    *clamped = (std::isfinite(typed) && std::fabs(typed - hi) < std::fabs(typed - lo)) ? hi : lo;
    return Status::Error(kStrNormalizeRange, {text(lo), text(hi)});
}

namespace {

void AddToLevels(Measurement& m, double dB) {
    for (CurvePoint& p : m.points) {
        auto shift = [&](float& v) {
            if (v > kNoLevel) v = SaturatedFloat(double(v) + dB);
        };
        shift(p.value[kSlotLevel]);
        for (int k = 0; k < 9; ++k) shift(p.value[kSlotDistortion2 + k]);
        shift(p.value[kSlotThd]);
    }
    RecomputeMaxLevel(m);
    m.h.flags &= ~kMesSaved;
}

}  // namespace

bool NormalizeAt(Measurement& m, double f) {
    if (!std::isfinite(f)) return false;
    for (const CurvePoint& p : m.points) {
        if (p.frequency < f) continue;
        const double ref = p.value[kSlotLevel];
        if (!(ref > kNoLevel) || !std::isfinite(ref)) return false;
        AddToLevels(m, -ref);
        return true;
    }
    return false;
}

void ShiftLevels(Measurement& m, double dB) {
    if (std::isfinite(dB)) AddToLevels(m, dB);
}

void ShiftLevels(TimeRecord& t, double dB) {
    if (!std::isfinite(dB)) return;
    for (WaterfallSlice& s : t.slices)
        for (float& v : s.level)
            if (v > kNoLevel) v = SaturatedFloat(double(v) + dB);
    RecomputeWaterfallMax(t);
    t.h.flags &= ~kTwfSaved;
}

std::unique_ptr<Measurement> AverageCurves(const std::vector<const Measurement*>& curves, int method,
                                           const std::string& title, const AnalysisSettings& st, Status* error) {
    auto fail = [&](Status s) -> std::unique_ptr<Measurement> {
        if (error) *error = std::move(s);
        return nullptr;
    };
    if (error) *error = Status::Ok();
    Status s = CheckChoice(curves);
    if (!s) return fail(s);
    if (method != kAverageSimple && method != kAverageComplex) return fail(Status::Error(kStrInvalidValues));
    std::vector<Measurement> copies;
    std::unique_ptr<Measurement> m;
    try {
        if (!ResampledCopies(curves, st, copies)) return fail(Status::Error(kStrEmptyGrid));
        m = NewCurveLike(*curves[0], title);
        if (!m) return fail(Status::Error(kStrOutOfMemory));
        const size_t count = copies[0].points.size();
        m->points.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const double f = copies[0].points[i].frequency;
            bool any = false;
            for (const Measurement* c : curves) any = any || Covers(*c, f);
            // Equal weights over the curves measured here; a point no curve
            // covers (a gap between them) takes every curve's extension.
            double level = 0, phase = 0, n = 0;
            std::complex<double> sum = 0;
            for (size_t k = 0; k < curves.size(); ++k) {
                if (any && !Covers(*curves[k], f)) continue;
                const CurvePoint& p = copies[k].points[i];
                const double lk = p.value[kSlotLevel], pk = p.value[kSlotPhaseUnwrapped];
                level += lk;
                phase += pk;
                sum += std::polar(SafePow10(0.05 * lk), pk);
                ++n;
            }
            if (method == kAverageSimple) m->points.push_back(MakePoint(f, level / n, phase / n));
            else {
                sum /= n;
                m->points.push_back(
                    MakePoint(f, 20.0 * SafeLog10(Magnitude(sum.real(), sum.imag())), SafeAtan2(sum.imag(), sum.real())));
            }
        }
    } catch (const std::bad_alloc&) {
        return fail(Status::Error(kStrOutOfMemory));
    }
    bool phase = true;
    for (const Measurement* c : curves) phase = phase && HasPhase(*c);
    if (phase) m->h.flags |= kMesPhase;
    m->h.setup.frequenciesPerOctave = MeasurementPointsPerOctave(*m);
    FinishPoints(*m);
    DerivePhaseData(*m, st);
    return m;
}

Status PrepareMerge(const std::vector<MergeCurve>& curves, MergeParameters& p, int* offending) {
    std::vector<const Measurement*> chosen;
    for (const MergeCurve& c : curves) chosen.push_back(c.curve);
    if (offending) *offending = -1;
    Status s = CheckChoice(chosen);
    if (!s) return s;
    bool nearAny = false, farAny = false;
    double farFirst = 0, nearLast = 0;
    for (size_t i = 0; i < curves.size(); ++i) {
        const MergeCurve& c = curves[i];
        if (!MergeValueValid(c)) {
            if (offending) *offending = int(i);
            return Status::Error(c.nearField ? kStrNeedArea : kStrNeedDistance);
        }
        const double first = c.curve->points.front().frequency, last = c.curve->points.back().frequency;
        if (c.nearField) nearLast = nearAny ? std::min(nearLast, last) : last;
        else farFirst = farAny ? std::max(farFirst, first) : first;
        (c.nearField ? nearAny : farAny) = true;
    }
    if (!std::isfinite(p.spliceFrequency)) p.spliceFrequency = 0;
    if (p.spliceFrequency > 0) {
        if (farAny) p.spliceFrequency = std::max(p.spliceFrequency, farFirst);
        if (nearAny) p.spliceFrequency = std::min(p.spliceFrequency, nearLast);
        p.spliceFrequency = RoundToDecimals(p.spliceFrequency, 2);
    }
    if (!p.simulateBaffle || !(p.baffleWidthMm > 0) || !std::isfinite(p.baffleWidthMm) || !nearAny) {
        p.simulateBaffle = false;
        p.baffleWidthMm = 0;
    }
    if (!(p.speedOfSound > 0) || !std::isfinite(p.speedOfSound)) p.speedOfSound = 343.0;
    return Status::Ok();
}

namespace {

// The baffle-step network: R over (R || C); its gain falls to one half far
// below the step frequency 115 / width.
std::complex<double> BaffleStep(double f, double widthM) {
    const double fstep = 115.0 / widthM, cb = 1e-7;
    const double r = 1.4142135623730951 / (2 * kPi * fstep * cb);
    const std::complex<double> zc(0.0, -1.0 / (2 * kPi * f * cb));
    const std::complex<double> zp = r * zc / (r + zc);
    return r / (zp + r);
}

}  // namespace

double BaffleStepLevelDb(double f, double widthM) {
    if (!(f > 0) || !(widthM > 0)) return 0.0;
    return 20.0 * std::log10(std::abs(BaffleStep(f, widthM)));
}

std::unique_ptr<Measurement> MergeCurves(const std::vector<MergeCurve>& curves, const MergeParameters& p,
                                         const std::string& title, const AnalysisSettings& st, Status* error) {
    auto fail = [&](Status s) -> std::unique_ptr<Measurement> {
        if (error) *error = std::move(s);
        return nullptr;
    };
    if (error) *error = Status::Ok();
    std::vector<const Measurement*> chosen;
    for (const MergeCurve& c : curves) chosen.push_back(c.curve);
    Status s = CheckChoice(chosen);
    if (!s) return fail(s);
    std::vector<double> offset, distance;
    bool allNear = true, anyNear = false;
    for (const MergeCurve& c : curves) {
        if (!MergeValueValid(c)) return fail(Status::Error(c.nearField ? kStrNeedArea : kStrNeedDistance));
        // Both kinds are referred to 1 m: the far field rises with its
        // distance, the near field takes the piston's on-axis level.
        if (c.nearField) offset.push_back(20.0 * std::log10(0.2821 * std::sqrt(c.value * 1e-4)));
        else offset.push_back(20.0 * std::log10(c.value));
        distance.push_back(c.nearField ? 0.0 : c.value);
        allNear = allNear && c.nearField;
        anyNear = anyNear || c.nearField;
    }
    const bool splicing = p.spliceFrequency > 0 && anyNear && !allNear;
    const double width = p.simulateBaffle && p.baffleWidthMm > 0 ? p.baffleWidthMm * 0.001 : 0.0;
    const double c = p.speedOfSound > 0 ? p.speedOfSound : 343.0;

    std::vector<Measurement> copies;
    std::unique_ptr<Measurement> m;
    try {
        if (!ResampledCopies(chosen, st, copies)) return fail(Status::Error(kStrEmptyGrid));
        m = NewCurveLike(*curves[0].curve, title);
        if (!m) return fail(Status::Error(kStrOutOfMemory));
        const size_t count = copies[0].points.size();
        m->points.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const double f = copies[0].points[i].frequency;
            std::complex<double> sum = 0;
            bool any = false;
            for (size_t k = 0; k < curves.size(); ++k) {
                if (splicing && (curves[k].nearField ? f > p.spliceFrequency : f <= p.spliceFrequency)) continue;
                const CurvePoint& q = copies[k].points[i];
                double phase = q.value[kSlotPhaseUnwrapped];
                if (curves[k].reversePhase) phase -= kPi;
                phase += 2 * kPi * f / c * (distance[k] - 1.0);
                sum += std::polar(SafePow10(0.05 * (q.value[kSlotLevel] + offset[k])), phase);
                any = true;
            }
            if (width > 0 && ((splicing && f <= p.spliceFrequency) || allNear)) sum *= BaffleStep(f, width);
            const double level = any ? 20.0 * SafeLog10(Magnitude(sum.real(), sum.imag())) : kNoLevel;
            m->points.push_back(MakePoint(f, level, SafeAtan2(sum.imag(), sum.real())));
        }
    } catch (const std::bad_alloc&) {
        return fail(Status::Error(kStrOutOfMemory));
    }
    if (HasPhase(*curves[0].curve) && HasPhase(*curves[1].curve)) m->h.flags |= kMesPhase;
    m->h.setup.frequenciesPerOctave = MeasurementPointsPerOctave(*m);
    FinishPoints(*m);
    DerivePhaseData(*m, st);
    return m;
}

}  // namespace srx
