#include "dsp/impulse_analyses.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "dsp/fft.h"
#include "dsp/min_phase.h"
#include "dsp/numeric.h"
#include "dsp/window.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;
constexpr int kMaxLog2 = 26;  // as the frequency response: larger needs more memory than a record justifies
// The envelope convolves at twice the length in two buffers: 2^22 samples
// (87 s at 48 kHz) keep that near 128 MB.
constexpr int kMaxEnvelopeLog2 = 22;
// The kernel's pi is the single-precision one of the original transformer.
constexpr double kKernelPi = 3.1415927;

long long SampleCount(const TimeRecord& r) {
    return std::min<long long>(std::max<int32_t>(r.h.sampleCount, 0), (long long)r.samples.size());
}

// Rate, samples and their values: what every analysis needs first.
Status CheckRecord(const TimeRecord& r) {
    if (r.h.sampleRate < kMinRate || r.h.sampleRate > kMaxRate) return Status::Error(kStrRateOutOfRange);
    const long long n = SampleCount(r);
    if (n < 1) return Status::Error(kStrNoWindow);
    for (long long i = 0; i < n; ++i)
        if (!std::isfinite(r.samples[size_t(i)])) return Status::Error(kStrNotFinite);
    return Status::Ok();
}

// Taper of the Hilbert kernel at tap k of n, falling from 1 at the centre
// towards the ends for every type.
double Taper(int type, std::size_t k, std::size_t n) {
    const double x = double(k) * kKernelPi / double(n);
    switch (type) {
        case kWindowBartlett: return 1.0 - double(k) / double(n);
        case kWindowHanning: return 0.5 + 0.5 * std::cos(x);
        case kWindowHamming: return 0.54 + 0.46 * std::cos(x);
        case kWindowBlackman: return 0.42 + 0.5 * std::cos(x) + 0.08 * std::cos(2 * x);
        case kWindowBlackmanHarris:
            return 0.35875 + 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) + 0.01168 * std::cos(3 * x);
        default: return 1.0;
    }
}

// Tap m (|m| < n) of the kernel: -(2 / (m pi)) w(|m|) for odd m, else 0.
double KernelTap(long long m, std::size_t n, int type) {
    if (m % 2 == 0) return 0.0;
    const std::size_t k = std::size_t(m < 0 ? -m : m);
    return -(2.0 / (double(m) * kKernelPi)) * Taper(type, k, n);
}

std::string Milliseconds(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", seconds * 1000.0);
    return text;
}

}  // namespace

double DefaultAnalysisLength(const TimeRecord& r) {
    if (r.h.sampleRate <= 0) return 0;
    return std::min(double(SampleCount(r)) / r.h.sampleRate, 0.1);
}

Status CheckAnalysisLength(const TimeRecord& r, double length) {
    const double t = RoundToDecimals(length, 6);
    if (!(t > 0)) return Status::Error(kStrEtcLengthNotPositive);
    const double duration = r.h.sampleRate > 0 ? double(SampleCount(r)) / r.h.sampleRate : 0.0;
    if (!std::isfinite(t) || t - 5e-6 > RoundToDecimals(duration, 6))
        return Status::Error(kStrEtcLengthTooLong, {Milliseconds(duration)});
    return Status::Ok();
}

std::vector<std::complex<double>> AnalyticEnvelopeFir(const float* x, std::size_t n, int type) {
    std::vector<std::complex<double>> out;
    if (n == 0) return out;
    // Outputs i < n see taps |i - j| < n only: a circular convolution of 2n
    // points (or more) holds the linear one without wrap-around.
    const int log2m = Log2Ceiling((long long)(2 * n));
    if (log2m < 1 || log2m > kMaxEnvelopeLog2 + 1) return out;
    const std::size_t M = std::size_t(1) << log2m;
    std::vector<float> z;
    try {
        out.resize(n);
        z.assign(2 * M, 0.0f);
    } catch (const std::bad_alloc&) {
        return {};
    }
    // Samples in the real parts, the kernel in the imaginary ones: one
    // transform gives both spectra.
    for (std::size_t i = 0; i < n; ++i) z[2 * i] = x[i];
    for (long long m = 1; m < (long long)n; m += 2) {
        z[2 * size_t(m) + 1] = float(KernelTap(m, n, type));
        z[2 * (M - size_t(m)) + 1] = float(KernelTap(-m, n, type));
    }
    Fft(z.data(), log2m, 1);
    std::vector<float> y;
    try {
        y.assign(2 * M, 0.0f);
    } catch (const std::bad_alloc&) {
        return {};
    }
    for (std::size_t k = 0; k < M; ++k) {
        const std::size_t c = (M - k) & (M - 1);
        const std::complex<double> zk(z[2 * k], z[2 * k + 1]), zc(z[2 * c], -double(z[2 * c + 1]));
        const std::complex<double> X = 0.5 * (zk + zc), G = std::complex<double>(0, -0.5) * (zk - zc);
        const std::complex<double> p = X * G;
        y[2 * k] = float(p.real());
        y[2 * k + 1] = float(p.imag());
    }
    Fft(y.data(), log2m, -1);
    for (std::size_t i = 0; i < n; ++i) out[i] = {double(x[i]), double(y[2 * i])};
    return out;
}

std::vector<double> QuadratureDirect(const float* x, std::size_t n, int type) {
    std::vector<double> kernel(2 * n + 1, 0.0), q(n, 0.0);
    for (long long m = -(long long)n + 1; m < (long long)n; ++m) kernel[size_t(m + (long long)n)] = KernelTap(m, n, type);
    for (std::size_t i = 0; i < n; ++i) {
        double s = 0;
        for (std::size_t j = 0; j < n; ++j) s += double(x[j]) * kernel[i + n - j];
        q[i] = s;
    }
    return q;
}

std::unique_ptr<EtcRecord> MakeEnergyTimeCurve(const TimeRecord& r, double length, int windowType, Status* error) {
    auto fail = [&](Status s) -> std::unique_ptr<EtcRecord> {
        if (error) *error = std::move(s);
        return nullptr;
    };
    if (error) *error = Status::Ok();
    Status s = CheckRecord(r);
    if (!s) return fail(s);
    s = CheckAnalysisLength(r, length);
    if (!s) return fail(s);
    const long long count = SampleCount(r);
    const int rate = r.h.sampleRate;
    const long long n = std::min<long long>(count, (long long)std::ceil(RoundToDecimals(length, 6) * rate));
    const int log2n = std::max(1, Log2Ceiling(n));
    if (log2n > kMaxEnvelopeLog2) return fail(Status::Error(kStrFftTooLarge));
    const std::size_t N = std::size_t(1) << log2n;

    std::unique_ptr<EtcRecord> e;
    std::vector<float> x;
    std::vector<std::complex<double>> a;
    try {
        e = NewEtcRecord();
        if (!e) return fail(Status::Error(kStrOutOfMemory));
        x.assign(N, 0.0f);
        std::copy_n(r.samples.begin(), std::min<long long>((long long)N, count), x.begin());
        a = AnalyticEnvelopeFir(x.data(), N, windowType);
        if (a.size() != N) return fail(Status::Error(kStrOutOfMemory));
        e->samples.resize(N);
    } catch (const std::bad_alloc&) {
        return fail(Status::Error(kStrOutOfMemory));
    }
    double top = kNoLevel;
    std::vector<double> level(N);
    for (std::size_t i = 0; i < N; ++i) {
        level[i] = 20.0 * SafeLog10(Magnitude(a[i].real(), a[i].imag()));
        top = std::max(top, level[i]);
    }
    for (std::size_t i = 0; i < N; ++i) e->samples[i] = float(level[i] - top);

    EtcRecordHeader& h = e->h;
    std::copy(std::begin(r.h.title), std::end(r.h.title), std::begin(h.title));
    h.sampleRate = rate;
    h.sampleCount = int32_t(N);
    h.windowType = windowType;
    h.setup = r.h.setup;
    const double span = std::min(double(N) / rate, 0.05);
    h.duration = span;
    // The source's time window as markers, inside the span shown.
    double start = double(r.h.windowStart) / rate, end = start + r.h.fftWindowLength;
    if (!(start <= span)) start = 0;
    if (!(end <= span)) end = span;
    h.markerStart = start;
    h.markerEnd = end;
    e->displayStart = 0;
    e->displayEnd = span;
    return e;
}

std::vector<double> StepSums(const float* x, std::size_t n) {
    std::vector<double> s(n);
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) s[i] = sum += x[i];
    return s;
}

std::vector<double> StepSumsDirect(const float* x, std::size_t n) {
    std::vector<double> s(n);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0;
        for (std::size_t j = 0; j <= i; ++j) sum += x[j];
        s[i] = sum;
    }
    return s;
}

std::unique_ptr<TimeRecord> MakeStepResponse(const TimeRecord& r, double length, Status* error) {
    auto fail = [&](Status s) -> std::unique_ptr<TimeRecord> {
        if (error) *error = std::move(s);
        return nullptr;
    };
    if (error) *error = Status::Ok();
    Status s = CheckRecord(r);
    if (!s) return fail(s);
    s = CheckAnalysisLength(r, length);
    if (!s) return fail(s);
    const int rate = r.h.sampleRate;
    const long long n =
        std::clamp<long long>((long long)RoundHalfAway(RoundToDecimals(length, 6) * rate), 1, SampleCount(r));

    std::unique_ptr<TimeRecord> t;
    try {
        t = std::make_unique<TimeRecord>();
        t->h = r.h;
        const std::vector<double> sums = StepSums(r.samples.data(), size_t(n));
        t->samples.assign(sums.begin(), sums.end());
    } catch (const std::bad_alloc&) {
        return fail(Status::Error(kStrOutOfMemory));
    }
    TimeRecordHeader& h = t->h;
    h.flags = (h.flags | kTwfStep) & ~(kTwfSaved | kTwfWaterfall);
    h.sampleCount = int32_t(n);
    h.sliceCount = h.slicePoints = 0;
    h.waterfallMax = kNoLevel;
    float peak = 0;
    for (float v : t->samples)
        if (std::fabs(v) > std::fabs(peak)) peak = v;
    h.peak = peak;
    // The time window stays inside the shorter record.
    h.windowStart = int32_t(std::clamp<long long>(h.windowStart, 0, n - 1));
    const double room = double(n - h.windowStart) / rate, window = h.fftWindowLength;
    h.fftWindowLength = std::isfinite(window) ? std::clamp(window, 0.0, room) : room;
    t->displayTimeStart = 0;
    t->displayTimeEnd = double(n) / rate;
    t->amplitudeZoom = 1.0;
    return t;
}

void InvertImpulse(TimeRecord& r) {
    for (float& v : r.samples) v = -v;
    r.h.peak = -r.h.peak;
    r.h.flags ^= kTwfInverted;
    r.h.flags &= ~kTwfSaved;
}

int WaterfallSliceCount(int resolution) {
    if (resolution < 0 || resolution > 3) resolution = 1;
    return 24 << resolution;
}

namespace {

// Weights of the analysis window over `length` samples, as ApplyWindow
// gives them to a constant signal (1 at the window's top).
bool WindowWeights(std::vector<float>& buf, int log2n, long long length, const AnalysisSettings& st) {
    const size_t N = size_t(1) << log2n;
    std::fill(buf.begin(), buf.end(), 0.0f);
    for (long long i = 0; i < length && size_t(i) < N; ++i) buf[2 * size_t(i)] = 1.0f;
    ApplyWindow(buf.data(), log2n, int(std::min<long long>(length, 0x7fffffff)), st.windowType, st.halfWindow ? 1 : 0);
    return true;
}

}  // namespace

Status ComputeWaterfall(TimeRecord& r, const WaterfallParameters& p, const AnalysisSettings& st,
                        const std::function<void(int, int)>& progress) {
    const Status failed = Status::Error(kStrWaterfallFailed);
    Status s = CheckRecord(r);
    if (!s) return s;
    if (p.pointsPerOctave < 1 || p.pointsPerOctave > 1000) return failed;
    const int rate = r.h.sampleRate;
    const long long count = SampleCount(r);
    SampleWindow w;
    if (!WindowInSamples(r, count, st, &w)) return failed;
    const long long L = w.length;

    // The slices start inside the analysed window, whatever span is asked.
    const int resolution = (p.resolution < 0 || p.resolution > 3) ? 1 : p.resolution;
    const int S = WaterfallSliceCount(resolution);
    const double span = std::isfinite(p.spanSeconds) ? std::clamp(p.spanSeconds, 0.0, double(L) / rate) : 0.0;
    const long long S0 = (long long)RoundHalfAway(span * rate);
    if (S0 < S) return failed;

    double offset = 0;
    const int k = FftSizeForWindow(rate, double(L) / rate, p.startFrequency, &offset);
    if (k < 1 || k > kMaxLog2) return failed;
    const size_t N = size_t(1) << k;
    offset += ImpulseLevelReferenceDb(r) + st.levelOffsetDb;

    const double limit = MaxAnalysisFrequency(rate);
    const double end = (p.endFrequency > 0 && std::isfinite(p.endFrequency)) ? std::min(p.endFrequency, limit) : limit;
    double f0 = (p.startFrequency > 0 && std::isfinite(p.startFrequency)) ? p.startFrequency : 1.0 / r.h.fftWindowLength;
    f0 = std::max(f0, double(rate) / double(N));
    if (!(end > 0) || !(f0 <= end)) return failed;

    std::vector<double> grid;
    std::vector<float> base, buf, weights;
    std::vector<WaterfallSlice> slices;
    try {
        grid = LogFrequencyGrid(f0, end, p.pointsPerOctave);
        base.assign(2 * N + 2, 0.0f);
        buf.assign(2 * N + 2, 0.0f);
        if (p.sliding) weights.assign(2 * N + 2, 0.0f);
        slices.resize(size_t(S));
        for (WaterfallSlice& sl : slices) {
            sl.frequency.assign(grid.begin(), grid.end());
            sl.level.assign(grid.size(), float(kNoLevel));
        }
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrOutOfMemory);
    }
    if (grid.empty()) return failed;

    // Samples far beyond full scale are transformed at a power of two below
    // and the level put back, as the frequency response does.
    const float* x = r.samples.data() + w.start;
    float peak = 0;
    for (long long i = 0; i < L; ++i) peak = std::max(peak, std::fabs(x[i]));
    int e = 0;
    if (peak > 1048576.0f) std::frexp(peak, &e);
    offset += 20.0 * std::log10(2.0) * e;
    for (long long i = 0; i < L; ++i) base[2 * size_t(i)] = std::ldexp(x[i], -e);
    ApplyWindow(base.data(), k, int(L), st.windowType, st.halfWindow ? 1 : 0);

    // Slice 0's gain: what the window's own normalisation gave the whole
    // window. Every slice keeps it; rescaling each to its own peak would lift
    // the late slices by the window's fall.
    double gain = 1.0;
    if (p.sliding) {
        WindowWeights(weights, k, L, st);
        double best = 0;
        for (long long i = 0; i < L; ++i) {
            const double raw = std::ldexp(double(x[i]), -e) * weights[2 * size_t(i)];
            if (std::fabs(raw) > best) {
                best = std::fabs(raw);
                gain = base[2 * size_t(i)] / raw;
            }
        }
    }

    double largest = kNoLevel;
    for (int sIdx = 0; sIdx < S; ++sIdx) {
        const long long o = (long long)RoundHalfAway(double(sIdx) * double(S0) / double(S));
        double lowest = 0;  // frequencies below it are not in the slice
        if (!p.sliding) {
            std::copy(base.begin(), base.end(), buf.begin());
            for (long long i = 0; i < o; ++i) buf[2 * size_t(i)] = 0.0f;
        } else {
            const long long left = L - o;
            WindowWeights(weights, k, left, st);
            std::fill(buf.begin(), buf.end(), 0.0f);
            for (long long i = 0; i < left; ++i)
                buf[2 * size_t(i)] = float(std::ldexp(double(x[o + i]), -e) * weights[2 * size_t(i)] * gain);
            lowest = double(rate) / double(left);
        }
        if (Fft(buf.data(), k, 1) != 1) return failed;
        WaterfallSlice& sl = slices[size_t(sIdx)];
        for (size_t g = 0; g < grid.size(); ++g) {
            const double f = grid[g];
            if (f < lowest) continue;
            double fo, power, phase;
            if (!SpectrumValueAt(buf.data(), int(N), rate, f, &fo, &power, &phase, 1)) continue;
            const double level = power < 0 ? kNoLevel : 10.0 * SafeLog10(power) + offset;
            if (!std::isfinite(level)) continue;
            sl.level[g] = float(level);
            largest = std::max(largest, double(sl.level[g]));
        }
        if (progress) progress(sIdx + 1, S);
    }

    r.slices = std::move(slices);
    TimeRecordHeader& h = r.h;
    h.sliceCount = S;
    h.slicePoints = int32_t(grid.size());
    h.waterfallFirstFrequency = grid.front();
    h.waterfallLastFrequency = grid.back();
    h.waterfallMax = largest;
    h.waterfallSetting = resolution;
    h.furtherTime = span;
    h.windowType = st.windowType;
    h.setup.frequenciesPerOctave = p.pointsPerOctave;
    h.flags = (h.flags | kTwfWaterfall) & ~kTwfSaved;
    r.displayWaterfallFirst = grid.front();
    r.displayWaterfallLast = grid.back();
    return Status::Ok();
}

bool NormalizeWaterfall(TimeRecord& r, double f) {
    if (r.slices.empty() || !std::isfinite(f)) return false;
    const std::vector<float>& axis = r.slices[0].frequency;
    size_t idx = 0;
    while (idx < axis.size() && axis[idx] < f) ++idx;
    if (idx == axis.size()) return false;
    double ref = kNoLevel;
    for (const WaterfallSlice& s : r.slices)
        if (idx < s.level.size()) ref = std::max(ref, double(s.level[idx]));
    if (!(ref > kNoLevel)) return false;
    for (WaterfallSlice& s : r.slices)
        for (float& v : s.level)
            if (v > kNoLevel) v = float(v - ref);
    RecomputeWaterfallMax(r);
    r.h.flags &= ~kTwfSaved;
    return true;
}

std::unique_ptr<TimeRecord> FrequencyToImpulse(const Measurement& m, const TimeWindowSettings& settings, Status* error,
                                               long long* leadSamples) {
    auto fail = [&](int id) -> std::unique_ptr<TimeRecord> {
        if (error) *error = Status::Error(id);
        return nullptr;
    };
    if (error) *error = Status::Ok();
    if (m.h.curveKind == kCurveImpedance) return fail(kStrEmptyGrid);
    for (const CurvePoint& p : m.points)
        if (!std::isfinite(p.frequency) || !std::isfinite(p.value[kSlotLevel]) ||
            !std::isfinite(p.value[kSlotPhaseUnwrapped]))
            return fail(kStrNotFinite);
    double R = 0;
    int log2n = 0;
    std::vector<float> x;
    std::unique_ptr<TimeRecord> t;
    try {
        x = SpectrumFromCurve(m, 4, 1.0, &R, &log2n);
        if (x.empty()) return fail(kStrEmptyGrid);
        t = NewTimeRecord(settings);
        if (!t) return fail(kStrOutOfMemory);
    } catch (const std::bad_alloc&) {
        return fail(kStrOutOfMemory);
    }
    const long long rate = (long long)RoundHalfAway(R);
    if (rate < kMinRate || rate > kMaxRate || log2n < 3) return fail(kStrRateOutOfRange);
    const size_t N = size_t(1) << log2n, half = N / 2;
    // The negative frequencies mirror the positive ones, so the inverse is
    // real; DC and Nyquist carry no imaginary part.
    x[1] = 0.0f;
    x[2 * half + 1] = 0.0f;
    for (size_t k = 1; k < half; ++k) {
        x[2 * (N - k)] = x[2 * k];
        x[2 * (N - k) + 1] = -x[2 * k + 1];
    }
    if (Fft(x.data(), log2n, -1) != 1) return fail(kStrFftTooLarge);

    // The last eighth is negative time: it leads, so that a response that
    // starts before zero (a phase that is not causal) keeps its start.
    const size_t lead = N / 8;
    try {
        t->samples.resize(half);
    } catch (const std::bad_alloc&) {
        return fail(kStrOutOfMemory);
    }
    float peak = 0;
    for (size_t i = 0; i < half; ++i) {
        const float v = x[2 * ((i + N - lead) % N)];
        t->samples[i] = v;
        peak = std::max(peak, std::fabs(v));
    }
    if (!(peak > 0) || !std::isfinite(peak)) return fail(kStrEmptyGrid);
    for (float& v : t->samples) v /= peak;

    TimeRecordHeader& h = t->h;
    std::copy(std::begin(m.h.title), std::end(m.h.title), std::begin(h.title));
    h.flags = kTwfImported;
    h.spikeLength = 1.0 / R;
    h.sampleRate = int32_t(rate);
    h.sampleCount = int32_t(half);
    h.windowStart = 0;
    h.peak = 1.0;
    h.waterfallMax = kNoLevel;
    const double duration = double(half) / R;
    const double window = h.fftWindowLength, span = h.defaultSpan;
    h.fftWindowLength = (window > 0 && window < duration) ? window : duration;
    h.defaultSpan = (span > 0 && span < duration) ? span : duration;
    h.setup = m.h.setup;
    h.setup.sampleRate = int32_t(rate);
    h.setup.channels = 1;
    h.setup.bitsPerSample = 16;
    h.windowType = m.h.windowType;
    t->displayTimeStart = 0;
    t->displayTimeEnd = h.defaultSpan;
    t->amplitudeZoom = 1.0;
    if (leadSamples) *leadSamples = (long long)lead;
    return t;
}

}  // namespace srx
