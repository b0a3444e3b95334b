#include "dsp/frequency_response.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "dsp/fft.h"
#include "dsp/min_phase.h"
#include "dsp/numeric.h"
#include "dsp/window.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr double kTenLog2 = 3.010299956639812;  // 10 log10(2)
// FFT sizes above this need more memory than a real impulse response
// justifies; the transform fails instead of trying.
constexpr int kMaxFftLog2 = 26;

int BaseExponent(int sampleRate) { return sampleRate == 22050 ? 10 : 11; }

// Saturates instead of converting out of range (undefined behaviour): the
// values come from files and typing.
long long NearestInt(double x) {
    if (x != x) return 0;
    return (long long)std::clamp(RoundHalfAway(x), -4e18, 4e18);
}

// Appends a point and keeps the header's count, frequency range and largest
// level in step with the list.
bool AppendPoint(Measurement& m, double frequency, double level, double phase) {
    CurvePoint p;
    p.frequency = float(frequency);
    p.value[kSlotLevel] = float(level);
    p.value[kSlotPhase] = float(phase);
    try {
        m.points.push_back(p);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (m.points.size() == 1) {
        m.h.firstFrequency = p.frequency;
        m.displayFirstFrequency = p.frequency;
    }
    m.h.lastFrequency = p.frequency;
    m.displayLastFrequency = p.frequency;
    m.h.pointCount = int32_t(m.points.size());
    if (p.value[kSlotLevel] > m.h.maxLevel) m.h.maxLevel = p.value[kSlotLevel];
    return true;
}

// Samples above this magnitude are scaled down by a power of two before the
// float transform, whose power would overflow otherwise; ordinary records are
// never touched, so their results stay bit for bit.
constexpr float kLargestUnscaled = 1048576.0f;

// The transformed window: real parts the samples, zero-padded to 2^log2n,
// weighted by the analysis window and transformed. *exponent receives e when
// the samples were multiplied by 2^-e (levels then lie 6.02 e dB too low).
bool TransformWindow(const float* samples, long long n, int log2n, const AnalysisSettings& st, std::vector<float>& buf,
                     int* exponent) {
    const size_t N = size_t(1) << log2n;
    try {
        buf.assign(2 * N + 2, 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const size_t used = size_t(std::min<long long>(n, (long long)N));
    float peak = 0.0f;
    for (size_t i = 0; i < used; ++i) peak = std::max(peak, std::fabs(samples[i]));
    int e = 0;
    if (peak > kLargestUnscaled) std::frexp(peak, &e);
    *exponent = e;
    for (size_t i = 0; i < used; ++i) buf[2 * i] = std::ldexp(samples[i], -e);
    ApplyWindow(buf.data(), log2n, int(std::min<long long>(n, 0x7fffffff)), st.windowType, st.halfWindow ? 1 : 0);
    return Fft(buf.data(), log2n, 1) == 1;
}

}  // namespace

const char* TimeWindowModeName(int mode) {
    switch (mode) {
        case kTimeWindowNormal: return "Normal";
        case kTimeWindowDelayFree: return "Delay Free";
        case kTimeWindowManual: return "Manual";
        default: return "";
    }
}

AnalysisSettings& CurrentAnalysisSettings() {
    static AnalysisSettings current;
    return current;
}

const AnalysisSettings& DefaultAnalysisSettings() {
    static const AnalysisSettings s;
    return s;
}

double MaxAnalysisFrequency(int rate) {
    switch (rate) {
        case 5513: return 2750;
        case 8000: return 3950;
        case 11025: return 5500;
        case 12000: return 5950;
        case 16000: return 7950;
        case 22050: return 11000;
        case 24000: return 11950;
        case 32000: return 15950;
        case 44100: return 22000;
        case 48000: return 23950;
        case 88200: return 44050;
        case 96000: return 47850;
        default: return rate > 0 ? double((rate - 1) / 800) * 400.0 : 0.0;
    }
}

int PointsPerOctaveFor(const TimeRecord& r, const AnalysisSettings& st) {
    return (r.h.flags & kTwfMls) ? st.pointsPerOctaveMls : st.pointsPerOctave;
}

double TopFrequencyFor(const TimeRecord& r, const AnalysisSettings& st) {
    const bool mls = (r.h.flags & kTwfMls) != 0;
    const double limit = MaxAnalysisFrequency(r.h.sampleRate);
    const bool useMax = mls ? st.topIsMaxFrequencyMls : st.topIsMaxFrequency;
    const double top = useMax ? limit : (mls ? st.topFrequencyMls : st.topFrequency);
    return std::min(top, limit);
}

void ApplyTimeWindow(TimeRecord& r, int mode, double length, double start) {
    TimeRecordHeader& h = r.h;
    h.flags &= ~kTwfDelayFree;
    const long long count = h.sampleCount;
    if (mode == kTimeWindowNormal) {
        h.windowStart = 0;
    } else if (mode == kTimeWindowDelayFree) {
        h.windowStart = 0;
        h.flags |= kTwfDelayFree;
    } else if (mode == kTimeWindowManual && start >= 0) {
        // An empty record has no last sample to clamp to: start at 0.
        long long s = NearestInt(double(h.sampleRate) * start);
        s = std::min(s, count - 1);
        h.windowStart = int32_t(std::max(0LL, s));
    }
    if (h.sampleRate <= 0) return;
    const double bound = double(std::max(0LL, count - h.windowStart)) / h.sampleRate;
    if (length > 0) h.fftWindowLength = length;
    const double stored = h.fftWindowLength;  // a packed field: no reference into it
    h.fftWindowLength = std::min(stored, bound);
}

double FftLevelOffset(int sampleRate, int log2n) {
    double off = kTenLog2 * (log2n - BaseExponent(sampleRate));
    if (sampleRate < 44100) off += kTenLog2;
    return off;
}

int FftSizeForWindow(int rate, double length, double f0, double* levelOffsetDb) {
    const double n = RoundHalfAway(rate * length) + std::max(1.0, std::floor(rate * 32.0 / 44100.0 + 0.5));
    const int k0 = BaseExponent(rate);
    int k = k0;
    while (k < 40 && std::ldexp(1.0, k) < n + 1) ++k;
    if (f0 < 20) k += 5;
    else if (f0 < 40) k += 4;
    else if (f0 < 80) k += 3;
    else if (f0 < 160) k += 2;
    else k += 1;
    if (levelOffsetDb) *levelOffsetDb = FftLevelOffset(rate, k);
    return k;
}

namespace {

// Calibration constants of the level reference, per method: MLS or spike,
// with or without the compensation contained in the recording.
constexpr double kMlsCalibrationDb = 0.62;
constexpr double kMlsContainedCalibrationDb = 1.18;
constexpr double kSpikeCalibrationDb = 0.54;
constexpr double kSpikeContainedCalibrationDb = -2.41;

// Sample rates a recording can have; anything else is damage.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

// Message ids of the failures.

// Index of the largest-magnitude sample.
long long PeakIndex(const std::vector<float>& samples, long long count) {
    long long peak = 0;
    float best = -1.0f;
    for (long long i = 0; i < count; ++i) {
        const float a = std::fabs(samples[size_t(i)]);
        if (a > best) {
            best = a;
            peak = i;
        }
    }
    return peak;
}

std::unique_ptr<Measurement> Fail(Status* error, int id) {
    if (error) *error = Status::Error(id);
    return nullptr;
}

}  // namespace

// The grid: from f0 by the factor r up to the top frequency; repeated
// multiplication can land a hair below the top, and such a point is the top.
std::vector<double> LogFrequencyGrid(double f0, double top, int pointsPerOctave) {
    std::vector<double> grid;
    const double r = std::pow(2.0, 1.0 / pointsPerOctave);
    for (double f = f0; f < top * r; f *= r) {
        double fu = std::min(f, top);
        if (fu >= top * (1.0 - 1e-9)) fu = top;
        grid.push_back(fu);
        if (fu == top) break;
    }
    return grid;
}

bool WindowInSamples(const TimeRecord& rec, long long count, const AnalysisSettings& st, SampleWindow* w) {
    const double rate = rec.h.sampleRate, length = rec.h.fftWindowLength;
    const double start = double(rec.h.windowStart) + RoundHalfAway(rate * st.preDelaySeconds);
    // Range-checked as doubles: a file may hold any length.
    if (!(length > 0) || !std::isfinite(length) || !(start >= 0) || !(start < double(count))) return false;
    w->start = (long long)start;
    const double samples = std::min(RoundHalfAway(rate * length), double(count - w->start));
    w->length = (long long)samples;
    return w->length >= 1;
}

double ImpulseLevelReferenceDb(const TimeRecord& rec) {
    const uint32_t flags = rec.h.flags;
    const bool mls = (flags & kTwfMls) != 0, contained = (flags & kTwfCompensationContained) != 0;
    // A record without an excitation value is treated as excited by one
    // sample rather than as infinite.
    double x = mls ? 1.0 / rec.h.sampleRate : rec.h.spikeLength;
    if (!(x > 0) || !std::isfinite(x)) x = 1.0 / rec.h.sampleRate;
    const double method = mls ? (contained ? kMlsContainedCalibrationDb : kMlsCalibrationDb)
                              : (contained ? kSpikeContainedCalibrationDb : kSpikeCalibrationDb);
    return 20.0 * SafeLog10(0.1 / (2.0 * x)) + method;
}

std::unique_ptr<Measurement> ImpulseToFrequencyResponse(TimeRecord& rec, double startFrequency, int pointsPerOctave,
                                                        int log2Size, const AnalysisSettings& st, Status* warning,
                                                        Status* error) {
    if (warning) *warning = Status::Ok();
    if (error) *error = Status::Ok();
    const int rate = rec.h.sampleRate;
    const long long count = std::min<long long>(rec.h.sampleCount, (long long)rec.samples.size());
    if (rate < kMinRate || rate > kMaxRate) return Fail(error, kStrRateOutOfRange);
    if (count <= 0 || pointsPerOctave < 1) return Fail(error, kStrNoWindow);
    if (!std::isfinite(startFrequency)) return Fail(error, kStrEmptyGrid);

    SampleWindow w;
    if (!WindowInSamples(rec, count, st, &w)) return Fail(error, kStrNoWindow);
    for (long long i = 0; i < count; ++i)
        if (!std::isfinite(rec.samples[size_t(i)])) return Fail(error, kStrNotFinite);

    // The FFT size follows the samples the window really holds, never a
    // length a file merely claims.
    const double length = double(w.length) / rate;
    double offset = 0;
    int k = log2Size;
    if (k > 0) offset = FftLevelOffset(rate, k);
    else k = FftSizeForWindow(rate, length, startFrequency, &offset);
    if (k < 1 || k > kMaxFftLog2) return Fail(error, kStrFftTooLarge);
    const size_t N = size_t(1) << k;
    offset += ImpulseLevelReferenceDb(rec);

    // Delay Free refers the phase to the impulse peak.
    bool delayFree = (rec.h.flags & kTwfDelayFree) != 0;
    const long long peak = delayFree ? PeakIndex(rec.samples, count) : 0;
    if (delayFree && w.length - peak < 1) {
        rec.h.flags &= ~kTwfDelayFree;
        delayFree = false;
        if (warning) *warning = Status::Error(kStrDelayFreeFallback);
    }

    const double top = TopFrequencyFor(rec, st);
    double f0 = startFrequency > 0 ? startFrequency : 1.0 / rec.h.fftWindowLength;
    const double binWidth = double(rate) / double(N);
    if (f0 > 0 && f0 < binWidth) f0 = binWidth;
    if (!(top > 0) || !(f0 > 0) || !(f0 <= top)) return Fail(error, kStrEmptyGrid);

    std::unique_ptr<Measurement> m;
    std::vector<float> a, b;
    std::vector<double> grid;
    try {
        grid = LogFrequencyGrid(f0, top, pointsPerOctave);
        m = std::make_unique<Measurement>();
        m->points.reserve(grid.size());
        // Samples far beyond full scale would overflow the float transform:
        // the window is transformed at unit peak and the level put back.
        int scale = 0, ignored = 0;  // the second transform gives only phases
        if (!TransformWindow(rec.samples.data() + w.start, w.length, k, st, a, &scale))
            return Fail(error, kStrOutOfMemory);
        offset += 20.0 * std::log10(2.0) * scale;
        if (delayFree && !TransformWindow(rec.samples.data() + w.start + peak, w.length - peak, k, st, b, &ignored))
            return Fail(error, kStrOutOfMemory);
    } catch (const std::bad_alloc&) {
        return Fail(error, kStrOutOfMemory);
    }
    m->h.curveKind = kCurveFrequencyResponse;
    m->h.maxLevel = kNoLevel;

    for (double f : grid) {
        double fo, power, phase;
        if (!SpectrumValueAt(a.data(), int(N), rate, f, &fo, &power, &phase, 1)) return Fail(error, kStrEmptyGrid);
        if (delayFree) {
            double fb, pb;
            if (!SpectrumValueAt(b.data(), int(N), rate, f, &fb, &pb, &phase, 1)) return Fail(error, kStrEmptyGrid);
        }
        const double level = power < 0 ? kNoLevel : 10.0 * SafeLog10(power) + offset + st.levelOffsetDb;
        if (!std::isfinite(level) || !std::isfinite(phase)) return Fail(error, kStrNotFinite);
        if (!AppendPoint(*m, f, level, phase)) return Fail(error, kStrOutOfMemory);
    }
    if (m->points.empty()) return Fail(error, kStrEmptyGrid);

    // Minimum phase straight from the transformed window when asked.
    const uint32_t flags = rec.h.flags;
    if (flags & kTwfWantsMinimumPhase) {
        try {
            MinimumPhaseSpectrum(a.data(), k, 1);
        } catch (const std::bad_alloc&) {
            return Fail(error, kStrOutOfMemory);
        }
        for (CurvePoint& p : m->points) {
            double fo, power, phase;
            SpectrumValueAt(a.data(), int(N), rate, p.frequency, &fo, &power, &phase, 1);
            p.value[kSlotMinimumPhase] = float(std::isfinite(phase) ? phase : 0.0);
        }
        m->h.flags |= kMesStoredMinimumPhase;
    }

    // What the curve is and how it was made.
    const bool mls = (flags & kTwfMls) != 0;
    m->h.flags |= kMesPhase;
    m->h.method = mls ? 13 : 12;
    m->h.windowType = st.windowType;
    m->h.setup = rec.h.setup;
    m->h.setup.sampleRate = rate;
    m->h.setup.frequenciesPerOctave = pointsPerOctave;
    m->h.setup.windowLength = rec.h.fftWindowLength;
    m->h.setup.windowOffset = double(w.start) / rate;
    m->h.preAverages = rec.h.preAverages;
    m->h.mlsLength = rec.h.mlsLength;
    return m;
}

void UnwrapPhase(Measurement& m, int source, int target) {
    std::vector<CurvePoint>& pts = m.points;
    const size_t n = pts.size();
    if (n == 0) return;
    double P = 1;
    const double fmin = pts.front().frequency, fmax = pts.back().frequency;
    if (n >= 2 && fmin > 0 && fmax > fmin) P = RoundHalfAway(double(n) / (3.321928094887376 * std::log10(fmax / fmin)));
    if (!(P > 1)) P = 1;
    double c;
    if (P < 10) c = 0.055;
    else if (P < 16) c = 0.05579;
    else if (P < 24) c = 0.058;
    else if (P < 30) c = 0.0591;
    else if (P < 36) c = 0.0565;
    else if (P < 47) c = 0.0562;
    else if (P < 75) c = 0.056;
    else c = 0.051;
    const double g = (1.0 + (12.0 / P) * c) * 0.31830987;

    // The first point anchors the running value; every later one is moved by
    // whole turns towards it.
    double u = pts[0].value[source];
    pts[0].value[target] = float(u);
    // Phases near the float range (damaged files) can unwrap beyond it.
    for (size_t i = 1; i < n; ++i) {
        const double src = pts[i].value[source];
        double turns = RoundHalfAway((src - u) * g);
        if (std::fmod(turns, 2.0) != 0) turns += turns > 0 ? 1 : -1;
        u = src - turns * kPi;
        pts[i].value[target] = SaturatedFloat(u);
    }
}

void GroupDelayFromPhase(Measurement& m, int target, int phaseSlot) {
    std::vector<CurvePoint>& pts = m.points;
    const size_t n = pts.size();
    if (n == 0) return;
    auto f = [&](size_t i) { return double(pts[i].frequency); };
    auto ph = [&](size_t i) { return double(pts[i].value[phaseSlot]); };
    auto tau = [&](size_t i) -> float& { return pts[i].value[target]; };
    constexpr double kTwoPi = double(6.2831855f);

    // The first point is overwritten at the end; until then it starts the
    // walk at 0 rather than at whatever the slot held before.
    tau(0) = 0.0f;
    bool ascending = true;
    for (size_t i = 1; i < n && ascending; ++i) ascending = f(i) >= f(i - 1);
    // On a rising grid, once no later point differs from a predecessor, no
    // later point differs from any successor of the same phase either: that
    // remembered phase spares the quadratic rescans of a flat tail.
    bool tailFlat = false;
    double flatPhase = 0;

    size_t a = 0, b = 1;
    while (b < n) {
        size_t c = n;
        if (!(tailFlat && ascending && ph(a) == flatPhase)) {
            c = b;
            while (c < n && (f(c) == f(a) || ph(c) == ph(a))) ++c;
        }
        if (c == n) {
            tailFlat = true;
            flatPhase = ph(a);
            tau(b) = tau(a);
            a = b;
            ++b;
            continue;
        }
        // A steep phase over a tiny frequency step (a damaged or odd file)
        // gives delays beyond the float slot: they saturate.
        const double tc = -(ph(c) - ph(a)) / (kTwoPi * (f(c) - f(a)));
        tau(c) = SaturatedFloat(tc);
        const double fa = f(a), ta = tau(a);
        for (size_t j = b; j < c; ++j) tau(j) = SaturatedFloat(InterpolateLogF(f(j), fa, ta, f(c), tc));
        a = c;
        b = c + 1;
    }
    if (n >= 2) tau(0) = tau(1);
}

void DerivePhaseData(Measurement& m, const AnalysisSettings& st) {
    std::vector<CurvePoint>& pts = m.points;
    if (m.h.curveKind == kCurveImpedance) {
        for (CurvePoint& p : pts) p.value[kSlotGroupDelay] = 0.0f;
        m.maxGroupDelay = 0;
        return;
    }
    if (m.h.curveKind != kCurveFrequencyResponse && m.h.curveKind != kCurveSweepResponse) return;

    auto range = [&](int slot, double* mx, double* mn) {
        *mx = *mn = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            const double v = pts[i].value[slot];
            if (i == 0 || v > *mx) *mx = v;
            if (i == 0 || v < *mn) *mn = v;
        }
    };
    UnwrapPhase(m, kSlotPhase, kSlotPhaseUnwrapped);
    range(kSlotPhaseUnwrapped, &m.phaseUnwrappedMax, &m.phaseUnwrappedMin);
    const bool stored = (m.h.flags & kMesStoredMinimumPhase) != 0;
    if (stored) {
        UnwrapPhase(m, kSlotMinimumPhase, kSlotMinimumPhaseUnwrapped);
        range(kSlotMinimumPhaseUnwrapped, &m.minPhaseUnwrappedMax, &m.minPhaseUnwrappedMin);
    }

    GroupDelayFromPhase(m, kSlotGroupDelay, kSlotPhaseUnwrapped);
    double gd = 0;
    for (const CurvePoint& p : pts) gd = std::max(gd, double(std::fabs(p.value[kSlotGroupDelay])));
    m.maxGroupDelay = gd < 1e-6 ? 0.0 : gd;

    m.minPhaseUnwrappedMax = m.minPhaseUnwrappedMin = 0;
    m.excessPhaseUnwrappedMax = m.excessPhaseUnwrappedMin = 0;
    m.maxMinimumGroupDelay = m.maxExcessGroupDelay = 0;
    bool ok = false;
    if (stored || st.alwaysComputeMinimumPhase) ok = ComputeMinimumPhase(m, st);
    if (!ok) {
        for (CurvePoint& p : pts)
            for (int slot = kSlotMinimumPhase; slot <= kSlotExcessGroupDelay; ++slot) p.value[slot] = 0.0f;
    }
}

}  // namespace srx
