#include "dsp/min_phase.h"

#include "data/native_files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>

#include "dsp/fft.h"
#include "dsp/frequency_response.h"
#include "dsp/min_phase_dispatch.h"
#include "dsp/min_phase_kernels.h"
#include "dsp/numeric.h"

namespace srx {

namespace minphase_detail {

const KernelTable* BaselineKernels() {
    static const KernelTable t = {LogLine, LogLineTable, LogMagnitude, Polar, CurveSegment, UnpackReal, UnpackImag};
    return &t;
}

const KernelTable& Kernels() {
    static const KernelTable* const chosen = [] {
#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && Avx2Kernels()) return Avx2Kernels();
#endif
        return BaselineKernels();
    }();
    return *chosen;
}

}  // namespace minphase_detail

using minphase_detail::FastLn;
using minphase_detail::Kernels;

namespace {

constexpr double kLn10 = 2.302585092994046;
// Above this the grids need more memory than any real curve justifies.
constexpr int kMaxCurveLog2n = 24;

// ---------------------------------------------------------------------------
// Real transforms through a complex FFT of half the size.
//
// A real sequence x of length N packed as z[m] = x[2m] + i x[2m+1] has, after
// a complex FFT of size M = N/2, the spectrum
//   X[n] = E[n] + W^n O[n],  W = e^(-2 pi i / N),
//   E = (Z[n] + conj Z[M-n]) / 2,  O = (Z[n] - conj Z[M-n]) / 2i.
// The cepstrum needs two such transforms, so this halves its FFT work.

// cos and sin of 2 pi n / N for n = 0..N/2, built once per size.
struct PostTwiddles {
    std::vector<float> c, s;
};

const PostTwiddles& TwiddlesFor(int log2n) {
    static std::array<std::once_flag, 32> once;
    static std::array<std::unique_ptr<PostTwiddles>, 32> tables;
    std::call_once(once[log2n], [log2n] {
        auto t = std::make_unique<PostTwiddles>();
        const size_t n = size_t(1) << log2n, h = n / 2;
        t->c.resize(h + 1);
        t->s.resize(h + 1);
        for (size_t k = 0; k <= h; ++k) {
            double a = 2.0 * kPi * double(k) / double(n);
            t->c[k] = float(std::cos(a));
            t->s[k] = float(std::sin(a));
        }
        tables[log2n] = std::move(t);
    });
    return *tables[log2n];
}

// Complex buffer for an FFT of 2^log2m points (Fft wants 8N + 1 bytes).
std::vector<float> ComplexBuffer(int log2m) { return std::vector<float>(2 * (size_t(1) << log2m) + 2); }

// The minimum phase of a real, even log magnitude: given L[0..h] (h = N/2,
// any values at 0 and h), writes phi[0..last], the imaginary part of the
// spectrum of the folded real cepstrum. The real part equals L. `z` is
// scratch of ComplexBuffer(log2n - 1), `c` scratch of h + 1 floats.
void FoldedCepstrumPhase(const float* L, int log2n, size_t last, float* phi, float* z, float* c) {
    const size_t N = size_t(1) << log2n, M = N / 2;
    const PostTwiddles& tw = TwiddlesFor(log2n);
    const float* cw = tw.c.data();
    const float* sw = tw.s.data();

    // Cepstrum: the transform of a real even sequence is real, and equals N
    // times its inverse transform.
    for (size_t m = 0; m < M / 2; ++m) {
        z[2 * m] = L[2 * m];
        z[2 * m + 1] = L[2 * m + 1];
    }
    for (size_t m = M / 2; m < M; ++m) {  // mirrored upper half: x[j] = L[N - j]
        z[2 * m] = L[N - 2 * m];
        z[2 * m + 1] = L[N - 2 * m - 1];
    }
    Fft(z, log2n - 1, 1);
    const float invN = 1.0f / float(N);
    c[0] = (z[0] + z[1]) * invN;  // n = 0: Re X = a + b
    c[M] = (z[0] - z[1]) * invN;  // n = M: Re X = a - b
    Kernels().unpackReal(z, M, cw, sw, invN, c, 1, M);

    // Fold: keep c[0] and c[h], double 1..h-1, clear the rest; then the
    // forward transform of that real causal sequence.
    for (size_t m = 0; m < M / 2; ++m) {
        z[2 * m] = m == 0 ? c[0] : 2.0f * c[2 * m];
        z[2 * m + 1] = 2.0f * c[2 * m + 1];
    }
    z[M] = c[M];  // x[h] with h = 2 (M / 2), always even for M >= 2
    z[M + 1] = 0.0f;
    std::fill(z + M + 2, z + 2 * M, 0.0f);
    Fft(z, log2n - 1, 1);
    phi[0] = 0.0f;
    if (last >= M) phi[M] = 0.0f;
    Kernels().unpackImag(z, M, cw, sw, phi, 1, std::min(last, M - 1) + 1);
}

// DC and N/2 carry the log magnitude of their neighbours. Taking them as 0
// (a magnitude of 1) would put a step into the log spectrum wherever the
// level is not 0 dB, and its Hilbert transform is a phase error falling off
// only as 1/k: near 1 rad at the lowest points of an ordinary high-pass, and
// a flat magnitude would not come out with zero phase.
void EndBinsFollowNeighbours(float* L, size_t h) {
    L[0] = L[1];
    L[h] = L[h - 1];
}

// Averages the first bins over three, in place, each step seeing the
// already smoothed predecessor.
void SmoothBins(float* x, size_t count, double smoothing) {
    if (!(smoothing > 0)) return;
    const double m = std::ceil(smoothing);
    const double lastD = double(count) / (2.0 * m) - 2.0;
    if (!(lastD >= 1.0)) return;
    const size_t last = size_t(lastD);
    double pr = x[0], pi = x[1];
    for (size_t k = 1; k <= last; ++k) {
        pr = (pr + x[2 * k] + x[2 * k + 2]) / 3.0;
        pi = (pi + x[2 * k + 1] + x[2 * k + 3]) / 3.0;
        x[2 * k] = float(pr);
        x[2 * k + 1] = float(pi);
    }
}

// ---------------------------------------------------------------------------
// The regular grid of a curve: rate, size and the point table extended to
// the grid's ends.

struct CurveTable {
    double rate = 0;  // grid rate R; bin k lies at k R / N
    int log2n = 0;
    std::vector<double> f, level, phase, lnF;
};

// Straight line on a logarithmic frequency axis through two points, taken
// beyond them. Without a usable second point the end value is copied.
double Extrapolate(double f, double f1, double y1, double f2, double y2) {
    if (!(f2 > 0) || !(f1 > 0) || f1 == f2) return y1;
    return y1 + (y2 - y1) * std::log(f / f1) / std::log(f2 / f1);
}

bool BuildCurveTable(const Measurement& m, int resolution, double factor, CurveTable* t) {
    const std::vector<CurvePoint>& p = m.points;
    const size_t n = p.size();
    if (n == 0 || !(p[0].frequency > 0) || !(factor > 0) || resolution < 1) return false;
    const double first = p[0].frequency, top = p[n - 1].frequency;
    if (!(top >= first) || !std::isfinite(top)) return false;
    // The grid maps frequencies to bins: it must rise strictly.
    for (size_t i = 1; i < n; ++i)
        if (!(p[i].frequency > p[i - 1].frequency) || !std::isfinite(p[i].frequency)) return false;

    double rate = 2.0 * top;
    if (m.h.setup.sampleRate > 2.0 * top) rate = m.h.setup.sampleRate;
    else if (44100.0 > 2.0 * top) rate = 44100.0;
    rate *= factor;
    const double minSize = resolution * rate / first;
    int log2n = 10;
    while (log2n <= kMaxCurveLog2n && double(size_t(1) << log2n) < minSize) ++log2n;
    if (log2n > kMaxCurveLog2n) return false;
    const double N = double(size_t(1) << log2n);
    const double low = rate / N, high = rate / 2.0;

    auto level = [&](size_t i) { return double(p[i].value[kSlotLevel]); };
    auto phase = [&](size_t i) { return double(p[i].value[kSlotPhaseUnwrapped]); };
    t->rate = rate;
    t->log2n = log2n;
    t->f.clear();
    t->level.clear();
    t->phase.clear();
    t->f.reserve(n + 2);
    t->level.reserve(n + 2);
    t->phase.reserve(n + 2);
    auto push = [&](double f, double l, double ph) {
        t->f.push_back(f);
        t->level.push_back(l);
        t->phase.push_back(ph);
    };

    if (low < first) {
        size_t s = n;  // support point at 1.4142 times the first frequency
        if (n >= 3) {
            for (size_t i = 1; i < n; ++i)
                if (p[i].frequency >= 1.4142 * first) {
                    s = i;
                    break;
                }
        }
        double l = level(0), ph = phase(0);
        if (s < n) {
            l = Extrapolate(low, first, level(0), p[s].frequency, level(s));
            ph = Extrapolate(low, first, phase(0), p[s].frequency, phase(s));
        }
        push(low, l, std::clamp(ph, -kPi, kPi));
    }
    for (size_t i = 0; i < n; ++i) push(p[i].frequency, level(i), phase(i));
    if (high > top) {
        size_t s = n;  // support point at the last frequency / 1.4142
        if (n >= 3) {
            for (size_t i = n - 1; i-- > 0;)
                if (p[i].frequency <= top / 1.4142) {
                    s = i;
                    break;
                }
        }
        double l = level(n - 1), ph = phase(n - 1);
        if (s < n) {
            l = Extrapolate(high, top, level(n - 1), p[s].frequency, level(s));
            ph = Extrapolate(high, top, phase(n - 1), p[s].frequency, phase(s));
        }
        push(high, l, ph);
    }
    t->lnF.resize(t->f.size());
    for (size_t i = 0; i < t->f.size(); ++i) t->lnF[i] = t->f[i] > 0 ? std::log(t->f[i]) : 0.0;
    return true;
}

// Calls fill(kBegin, kEnd, a, b, j) for consecutive bin ranges covering
// 1..h-1: within a range, a value y of table entry j and j+1 is
// y_j + (y_j+1 - y_j) * (ln k + ln binWidth - ln f_j) / (ln f_j+1 - ln f_j),
// handed over as the weight w(k) = a + b ln k.
template <class Fill>
void ForEachSegment(const CurveTable& t, size_t h, Fill fill) {
    const double N = double(size_t(1) << t.log2n);
    const double bw = t.rate / N, lnBw = std::log(bw);
    const size_t T = t.f.size();
    size_t k = 1;
    for (size_t j = 0; j + 1 < T && k < h; ++j) {
        size_t end = h;
        if (j + 2 < T) {
            // Range-checked before it becomes an index.
            const double e = std::floor(t.f[j + 1] / bw) + 1.0;
            end = !(e > double(k)) ? k : e < double(h) ? size_t(e) : h;
        }
        if (end <= k) continue;
        const double span = t.lnF[j + 1] - t.lnF[j];
        double a = 0, b = 0;
        if (t.f[j + 1] != t.f[j] && span != 0) {
            b = 1.0 / span;
            a = (lnBw - t.lnF[j]) / span;
        }
        fill(k, end, a, b, j);
        k = end;
    }
    if (k < h) fill(k, h, 0.0, 0.0, T - 1);  // a table of one entry: constant
}

// ln k for k < count, shared by all grids: a log per bin costs more than the
// transforms around it. Grown on demand up to kMaxLnTable; larger grids
// compute their logarithms in place.
constexpr size_t kMaxLnTable = size_t(1) << 20;

std::shared_ptr<const std::vector<double>> LnTable(size_t count) {
    static std::mutex mutex;
    static std::shared_ptr<const std::vector<double>> table;
    if (count > kMaxLnTable) return nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (!table || table->size() < count) {
        size_t n = std::max<size_t>(count, 4096);
        auto t = std::make_shared<std::vector<double>>(n);
        (*t)[0] = 0.0;
        for (size_t k = 1; k < n; ++k) (*t)[k] = std::log(double(k));
        table = std::move(t);
    }
    return table;
}

// ln |bin| for bins 1..h-1 straight from the curve's levels: the magnitude
// 10^(level/20) never needs to exist, its logarithm is linear in ln k.
void FillLogMagnitude(const CurveTable& t, float* L, size_t h) {
    const double g = 0.05 * kLn10;
    const std::shared_ptr<const std::vector<double>> lnk = LnTable(h);
    ForEachSegment(t, h, [&](size_t k0, size_t k1, double a, double b, size_t j) {
        const double y0 = t.level[j];
        const double dy = j + 1 < t.level.size() ? t.level[j + 1] - y0 : 0.0;
        if (lnk) Kernels().logLineTable(L, lnk->data(), k0, k1, g * (y0 + dy * a), g * dy * b);
        else Kernels().logLine(L, k0, k1, g * (y0 + dy * a), g * dy * b);
    });
    EndBinsFollowNeighbours(L, h);
}

// The phase at f between the bins of the grid. At the low end of a curve
// the grid's bins lie several curve points apart (the grid is sized from
// the first frequency), and a straight line between two bins bends at every
// bin: the group delay, its slope, would jump there and the excess group
// delay show a sawtooth. A cubic through the four nearest bins (their
// phases unwrapped against each other) keeps the slope continuous. Bins
// above `lastBin` were never computed.
double PhaseAt(const float* x, size_t N, size_t lastBin, double rate, double f) {
    const double b = rate / double(N);
    if (!(f / b >= 0.5) || !(rate / f >= 2.0) || lastBin < 1) return 0.0;
    const double u = std::min(f / b, double(lastBin));  // range-checked above: a usable index
    const size_t k = std::max<size_t>(1, size_t(u));
    auto angle = [&](size_t i) {
        i = std::clamp<size_t>(i, 1, lastBin);
        return SafeAtan2(x[2 * i + 1], x[2 * i]);
    };
    if (u <= 1.0) return angle(1);  // the line from 0 Hz on a log axis is the first bin's value
    const double a1 = angle(k);
    const double a0 = a1 + WrapRadians(angle(k - 1) - a1);
    const double a2 = a1 + WrapRadians(angle(k + 1) - a1);
    const double a3 = a2 + WrapRadians(angle(k + 2) - a2);
    const double t = u - double(k);
    const double phase = a1 + 0.5 * t * (a2 - a0 + t * (2 * a0 - 5 * a1 + 4 * a2 - a3 + t * (3 * (a1 - a2) + a3 - a0)));
    return WrapRadians(phase);
}

}  // namespace

// ---------------------------------------------------------------------------

void MinimumPhaseSpectrum(float* x, int log2n, double smoothing) {
    if (log2n < 1 || log2n > 31) return;
    const size_t N = size_t(1) << log2n, h = N / 2;
    if (log2n == 1) {  // no bin between 0 and N/2
        x[0] = x[1] = x[2] = x[3] = 0.0f;
        return;
    }
    std::vector<float> L(h + 1), phi(h + 1), c(h + 1);
    std::vector<float> z = ComplexBuffer(log2n - 1);
    Kernels().logMagnitude(x, L.data(), 1, h);
    EndBinsFollowNeighbours(L.data(), h);
    FoldedCepstrumPhase(L.data(), log2n, h, phi.data(), z.data(), c.data());
    Kernels().polar(L.data(), phi.data(), x, 1, h);
    // The upper half keeps what the transform of the folded cepstrum left
    // there: the conjugate log spectrum.
    for (size_t k = 1; k < h; ++k) {
        x[2 * (N - k)] = L[k];
        x[2 * (N - k) + 1] = -phi[k];
    }
    x[0] = x[1] = 0.0f;
    x[2 * h] = x[2 * h + 1] = 0.0f;
    SmoothBins(x, N, smoothing);
}

std::vector<float> SpectrumFromCurve(const Measurement& m, int resolution, double factor, double* outRate,
                                     int* outLog2n) {
    CurveTable t;
    std::vector<float> x;
    try {
        if (!BuildCurveTable(m, resolution, factor, &t)) return x;
        x.assign(2 * (size_t(1) << t.log2n) + 2, 0.0f);
    } catch (const std::bad_alloc&) {
        return {};
    }
    const size_t h = (size_t(1) << t.log2n) / 2;
    ForEachSegment(t, h, [&](size_t k0, size_t k1, double a, double b, size_t j) {
        const bool two = j + 1 < t.f.size();
        const double l0 = t.level[j], dl = two ? t.level[j + 1] - l0 : 0.0;
        const double p0 = t.phase[j], dp = two ? t.phase[j + 1] - p0 : 0.0;
        Kernels().curveSegment(x.data(), k0, k1, a, b, l0, dl, p0, dp);
    });
    x[0] = x[2 * h] = x[2];
    x[1] = x[2 * h + 1] = x[3];
    if (outRate) *outRate = t.rate;
    if (outLog2n) *outLog2n = t.log2n;
    return x;
}

void ExcessPhaseAndDelays(Measurement& m) {
    double pMax = 0, pMin = 0, eMax = 0, eMin = 0;
    bool first = true;
    for (CurvePoint& p : m.points) {
        float* v = p.value;
        // In double: two phases near the float range (damaged files) differ
        // by more than a float holds.
        v[kSlotExcessPhaseUnwrapped] = SaturatedFloat(double(v[kSlotPhaseUnwrapped]) - v[kSlotMinimumPhaseUnwrapped]);
        v[kSlotExcessPhase] = float(WrapRadians(v[kSlotExcessPhaseUnwrapped]));
        const double mp = v[kSlotMinimumPhaseUnwrapped], ep = v[kSlotExcessPhaseUnwrapped];
        if (first || mp > pMax) pMax = mp;
        if (first || mp < pMin) pMin = mp;
        if (first || ep > eMax) eMax = ep;
        if (first || ep < eMin) eMin = ep;
        first = false;
    }
    GroupDelayFromPhase(m, kSlotMinimumGroupDelay, kSlotMinimumPhaseUnwrapped);
    GroupDelayFromPhase(m, kSlotExcessGroupDelay, kSlotExcessPhaseUnwrapped);
    double gMin = 0, gEx = 0;
    for (const CurvePoint& p : m.points) {
        gMin = std::max(gMin, double(std::fabs(p.value[kSlotMinimumGroupDelay])));
        gEx = std::max(gEx, double(std::fabs(p.value[kSlotExcessGroupDelay])));
    }
    m.minPhaseUnwrappedMax = pMax;
    m.minPhaseUnwrappedMin = pMin;
    m.excessPhaseUnwrappedMax = eMax;
    m.excessPhaseUnwrappedMin = eMin;
    m.maxMinimumGroupDelay = gMin;
    m.maxExcessGroupDelay = gEx;
}

bool ComputeMinimumPhase(Measurement& m, int quality) {
    if (m.h.flags & kMesStoredMinimumPhase) {
        UnwrapPhase(m, kSlotMinimumPhase, kSlotMinimumPhaseUnwrapped);
        ExcessPhaseAndDelays(m);
        return true;
    }
    static constexpr int kResolution[4] = {1, 2, 4, 8};
    static constexpr double kFactor[4] = {5, 5, 10, 10};
    if (quality < 0 || quality > 3) return false;
    const double v = kFactor[quality];

    CurveTable t;
    try {
        if (!BuildCurveTable(m, kResolution[quality], v, &t)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    const size_t N = size_t(1) << t.log2n, h = N / 2;
    const double bw = t.rate / double(N);

    // Only the bins that the smoothing touches or the read-out reaches are
    // turned back into complex values; everything above them is never read.
    double fMax = 0;
    for (const CurvePoint& p : m.points) fMax = std::max(fMax, double(p.frequency));
    const size_t smoothEnd = N / (2 * size_t(std::ceil(v)));
    const double topBin = std::floor(fMax / bw) + 3.0;  // the read-out's cubic reaches two bins on
    size_t last = std::max(smoothEnd, size_t(std::min(topBin, double(h - 1))));
    last = std::min(last, h - 1);

    try {
        std::vector<float> L(h + 1), phi(last + 1), c(h + 1);
        std::vector<float> z = ComplexBuffer(t.log2n - 1);
        FillLogMagnitude(t, L.data(), h);
        FoldedCepstrumPhase(L.data(), t.log2n, last, phi.data(), z.data(), c.data());

        // Bins 0..last, and one spare for the smoothing's look-ahead.
        std::vector<float> x(2 * (last + 2), 0.0f);
        Kernels().polar(L.data(), phi.data(), x.data(), 1, last + 1);
        SmoothBins(x.data(), N, v);

        for (CurvePoint& p : m.points)
            p.value[kSlotMinimumPhase] = float(PhaseAt(x.data(), N, last, t.rate, p.frequency));
    } catch (const std::bad_alloc&) {
        return false;
    }
    UnwrapPhase(m, kSlotMinimumPhase, kSlotMinimumPhaseUnwrapped);
    ExcessPhaseAndDelays(m);
    return true;
}

bool ComputeMinimumPhase(Measurement& m, const AnalysisSettings& settings) {
    return ComputeMinimumPhase(m, settings.minimumPhaseQuality);
}

void InstallMinimumPhaseOnReading() {
    // A file holds only level and measured phase: the unwrapped phase and
    // group delay the graphs show are derived here too, not only the
    // minimum phase, or an opened curve would show a group delay of 0.
    SetMinimumPhaseHook([](Measurement& m) {
        AnalysisSettings st = CurrentAnalysisSettings();
        AnalysisSettings derive = st;
        derive.alwaysComputeMinimumPhase = false;
        DerivePhaseData(m, derive);
        return ComputeMinimumPhase(m, st);
    });
}

}  // namespace srx
