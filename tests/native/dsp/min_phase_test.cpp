#include "dsp/min_phase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <complex>
#include <random>
#include <vector>

#include "audio/virtual_device.h"
#include "dsp/fft.h"
#include "dsp/frequency_response.h"
#include "dsp/min_phase_dispatch.h"
#include "dsp/min_phase_math.h"
#include "dsp/numeric.h"

using namespace srx;
using cd = std::complex<double>;

namespace {

// The cepstral method step by step with full-size complex transforms and
// the guarded library functions: what the fast path must reproduce. DC and
// N/2 take the log magnitude of their neighbours.
void ReferenceMinimumPhase(float* x, int log2n, double smoothing) {
    const size_t N = size_t(1) << log2n, h = N / 2;
    for (size_t k = 1; k < h; ++k) {
        const float v = float(SafeLn(Magnitude(x[2 * k], x[2 * k + 1])));
        x[2 * k] = x[2 * (N - k)] = v;
        x[2 * k + 1] = x[2 * (N - k) + 1] = 0;
    }
    x[0] = x[2];
    x[2 * h] = x[2 * h - 2];
    x[1] = x[2 * h + 1] = 0;
    Fft(x, log2n, -1);
    for (size_t n = 1; n < h; ++n) {
        x[2 * n] *= 2;
        x[2 * n + 1] *= 2;
        x[2 * (N - n)] = x[2 * (N - n) + 1] = 0;
    }
    Fft(x, log2n, 1);
    for (size_t k = 1; k < h; ++k) {
        const double e = SafeExp(x[2 * k]), ph = x[2 * k + 1];
        x[2 * k] = float(e * std::cos(ph));
        x[2 * k + 1] = float(e * std::sin(ph));
    }
    x[0] = x[1] = x[2 * h] = x[2 * h + 1] = 0;
    if (smoothing > 0) {
        const size_t m = size_t(std::ceil(smoothing));
        for (size_t k = 1; k + 2 <= N / (2 * m); ++k)
            for (int c = 0; c < 2; ++c)
                x[2 * k + c] = float((double(x[2 * k - 2 + c]) + x[2 * k + c] + x[2 * k + 2 + c]) / 3);
    }
}

// The phase at f on a grid of any rate: Catmull-Rom through the four nearest bins, unwrapped.
double ReferencePhaseAt(const std::vector<float>& x, size_t N, double rate, double f) {
    const double u = f / (rate / N);
    const long long k = std::max(1LL, (long long)u);
    auto at = [&](long long i) { return std::arg(cd(x[2 * std::max(i, 1LL)], x[2 * std::max(i, 1LL) + 1])); };
    if (u <= 1) return at(1);
    const double b = at(k), a = b + WrapRadians(at(k - 1) - b), c = b + WrapRadians(at(k + 1) - b);
    const double d = c + WrapRadians(at(k + 2) - c), t = u - k;
    return WrapRadians(b + t * (c - a) / 2 + t * t * (2 * a - 5 * b + 4 * c - d) / 2 +
                       t * t * t * (3 * (b - c) + d - a) / 2);
}

// Level (dB) and phase of a system response sampled on a log grid.
template <class H>
Measurement Sampled(H response, double from, double to, int ppo, int rate) {
    Measurement m;
    m.h.setup.sampleRate = rate;
    for (double f = from; f <= to * 1.0000001; f *= std::pow(2.0, 1.0 / ppo)) {
        const cd h = response(f);
        CurvePoint p;
        p.frequency = float(f);
        p.value[kSlotLevel] = float(20 * std::log10(std::abs(h)));
        p.value[kSlotPhase] = p.value[kSlotPhaseUnwrapped] = float(std::arg(h));
        m.points.push_back(p);
    }
    return m;
}

cd HighPass2(double f, double fc, double q) {
    const cd s(0, f / fc);
    return s * s / (s * s + s / q + 1.0);
}

std::vector<float> DecayingNoiseSpectrum(int log2n, unsigned seed) {
    const size_t N = size_t(1) << log2n;
    std::vector<float> x(2 * N + 2, 0.0f);
    std::mt19937 rng(seed);
    std::normal_distribution<float> d(0, 1);
    for (size_t i = 0; i < N / 4; ++i) x[2 * i] = d(rng) * std::exp(-float(i) * 16 / N);
    Fft(x.data(), log2n, 1);
    return x;
}

double MaxAbs(const std::vector<float>& x) {
    double m = 0;
    for (float v : x) m = std::max(m, double(std::fabs(v)));
    return m;
}

}  // namespace

TEST(MinPhaseMath, FastFunctionsMatchTheLibrary) {
    using namespace minphase_detail;
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < 20000; ++i) {
        const double x = std::exp(u(rng) * 170);  // 1e-74 .. 1e74
        ASSERT_NEAR(FastLn(x), std::log(x), 1e-15 * std::max(1.0, std::fabs(std::log(x)))) << x;
        const double e = u(rng) * 87;
        ASSERT_NEAR(FastExp(e), std::exp(e), 4e-16 * std::exp(e)) << e;
        const double a = u(rng) * (i % 2 ? 5.0 : 2e4);
        double s, c;
        FastSinCos(a, &s, &c);
        ASSERT_NEAR(s, std::sin(a), 1e-13) << a;
        ASSERT_NEAR(c, std::cos(a), 1e-13) << a;
    }
    EXPECT_EQ(FastExp(0.0), 1.0);
}

TEST(MinPhaseMath, InstructionSetsAgree) {
    using namespace minphase_detail;
    const KernelTable* wide = Avx2Kernels();
    if (!wide || !__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) GTEST_SKIP() << "no AVX2 here";
    const KernelTable* base = BaselineKernels();
    std::vector<float> spec = DecayingNoiseSpectrum(10, 5);
    std::vector<float> a(1030), b(1030), phi(1030), xa(2100), xb(2100);
    for (size_t i = 0; i < phi.size(); ++i) phi[i] = float(std::sin(i * 0.37) * 40);
    // Odd bounds exercise the vector bodies and the scalar tails together.
    base->logMagnitude(spec.data(), a.data(), 3, 1021);
    wide->logMagnitude(spec.data(), b.data(), 3, 1021);
    for (size_t k = 3; k < 1021; ++k) ASSERT_NEAR(a[k], b[k], 1e-6 * std::fabs(a[k]) + 1e-7) << k;
    base->polar(a.data(), phi.data(), xa.data(), 3, 1021);
    wide->polar(a.data(), phi.data(), xb.data(), 3, 1021);
    for (size_t k = 6; k < 2042; ++k) ASSERT_NEAR(xa[k], xb[k], 1e-6 * std::fabs(xa[k]) + 1e-30) << k;
    base->curveSegment(xa.data(), 5, 1023, 0.3, -0.2, -10, 25, 0.5, -7);
    wide->curveSegment(xb.data(), 5, 1023, 0.3, -0.2, -10, 25, 0.5, -7);
    for (size_t k = 10; k < 2046; ++k) ASSERT_NEAR(xa[k], xb[k], 1e-6 * std::fabs(xa[k]) + 1e-30) << k;
}

TEST(MinimumPhaseSpectrum, EqualsTheStraightforwardCepstrum) {
    for (int log2n : {2, 5, 12, 15}) {
        for (double smoothing : {0.0, 1.0, 5.0}) {
            std::vector<float> fast = DecayingNoiseSpectrum(log2n, 11 + log2n);
            std::vector<float> ref = fast;
            MinimumPhaseSpectrum(fast.data(), log2n, smoothing);
            ReferenceMinimumPhase(ref.data(), log2n, smoothing);
            const double scale = MaxAbs(ref);
            const size_t N = size_t(1) << log2n;
            for (size_t i = 0; i < 2 * N; ++i)
                ASSERT_NEAR(fast[i], ref[i], 2e-5 * scale) << log2n << " " << smoothing << " " << i;
        }
    }
}

TEST(ComputeMinimumPhase, FastPathEqualsTheStraightforwardChain) {
    Measurement m = Sampled([](double f) { return HighPass2(f, 60, 1.2) / cd(1, f / 5000); }, 15, 24000, 24, 48000);
    for (int q = 0; q <= 3; ++q) {
        const int res[] = {1, 2, 4, 8};
        const double fac[] = {5, 5, 10, 10};
        double rate;
        int log2n;
        std::vector<float> ref = SpectrumFromCurve(m, res[q], fac[q], &rate, &log2n);
        ReferenceMinimumPhase(ref.data(), log2n, fac[q]);
        ASSERT_TRUE(ComputeMinimumPhase(m, q));
        for (const CurvePoint& p : m.points)
            ASSERT_NEAR(p.value[kSlotMinimumPhase], ReferencePhaseAt(ref, size_t(1) << log2n, rate, p.frequency), 2e-4)
                << q << " " << p.frequency;
    }
}

TEST(ComputeMinimumPhase, RecoversThePhaseOfAMinimumPhaseSystem) {
    // Second-order high-pass at 100 Hz, 24 points per octave from 10 Hz to
    // 20 kHz: minimum phase, so the cepstrum must give back its true phase
    // from the magnitude alone. The zeros at DC make the error fall as
    // 1 / (resolution * f): each quality step halves it.
    struct Band {
        double from, to, tolerance[4];
    } bands[] = {
        {50, 10000, {0.25, 0.13, 0.065, 0.035}},
        {1000, 10000, {0.01, 0.005, 0.0025, 0.0015}},
    };
    auto truth = [](double f) { return HighPass2(f, 100, 0.707); };
    double previous = 1e9;
    for (int q = 0; q <= 3; ++q) {
        Measurement m = Sampled(truth, 10, 20000, 24, 48000);
        ASSERT_TRUE(ComputeMinimumPhase(m, q));
        for (const Band& band : bands) {
            double worst = 0;
            for (const CurvePoint& p : m.points) {
                if (p.frequency < band.from || p.frequency > band.to) continue;
                const double err = WrapRadians(p.value[kSlotMinimumPhase] - std::arg(truth(p.frequency)));
                worst = std::max(worst, std::fabs(err));
                // The excess phase of a minimum-phase system is its error alone.
                ASSERT_NEAR(p.value[kSlotExcessPhase], -err, 1e-4);
            }
            EXPECT_LT(worst, band.tolerance[q]) << q << " " << band.from;
            if (band.from == 50) {
                EXPECT_LT(worst, 0.6 * previous) << q;
                previous = worst;
            }
        }
    }
}

// Minimum phase behind a delay: the excess group delay is that delay, without teeth at the bins.
TEST(ComputeMinimumPhase, ExcessGroupDelayOfTheVirtualLoudspeakerIsItsDelay) {
    const VirtualTruth truth(VirtualSetup{}, 44100);
    const double delay = 7.0 / 44100;
    for (int q = 0; q <= 3; ++q) {
        Measurement m = Sampled([&](double f) { return truth.Response(f) * std::polar(1.0, -2 * kPi * f * delay); }, 10,
                                20000, 96, 44100);
        UnwrapPhase(m, kSlotPhase, kSlotPhaseUnwrapped);
        ASSERT_TRUE(ComputeMinimumPhase(m, q));
        auto egd = [&](size_t i) { return double(m.points[i].value[kSlotExcessGroupDelay]); };
        for (size_t i = 1; m.points[i].frequency < 1000; ++i) {
            if (m.points[i].frequency < 100) continue;  // the grid's first bins
            ASSERT_NEAR(egd(i), delay, (q == 0 ? 0.15 : 0.06) * 1e-3) << q << " " << m.points[i].frequency;
            ASSERT_NEAR(egd(i), (egd(i - 1) + egd(i + 1)) / 2, 0.006e-3) << q << " " << m.points[i].frequency;
        }
    }
}

TEST(ComputeMinimumPhase, StoredPhaseIsKeptAndUnknownQualityFails) {
    Measurement m = Sampled([](double f) { return HighPass2(f, 100, 0.7); }, 20, 20000, 12, 48000);
    EXPECT_FALSE(ComputeMinimumPhase(m, 4));
    EXPECT_FALSE(ComputeMinimumPhase(m, -1));
    m.h.flags |= kMesStoredMinimumPhase;
    for (CurvePoint& p : m.points) p.value[kSlotMinimumPhase] = 0.25f;
    ASSERT_TRUE(ComputeMinimumPhase(m, 4));  // the quality is not needed then
    for (const CurvePoint& p : m.points) {
        EXPECT_EQ(p.value[kSlotMinimumPhase], 0.25f);
        EXPECT_FLOAT_EQ(p.value[kSlotExcessPhaseUnwrapped],
                        p.value[kSlotPhaseUnwrapped] - p.value[kSlotMinimumPhaseUnwrapped]);
        EXPECT_NEAR(p.value[kSlotExcessPhase], WrapRadians(p.value[kSlotExcessPhaseUnwrapped]), 1e-6);
        EXPECT_EQ(p.value[kSlotMinimumGroupDelay], 0.0f);  // constant phase: no delay
    }
    EXPECT_EQ(m.minPhaseUnwrappedMax, 0.25);
}
