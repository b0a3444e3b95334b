// Frequency response and minimum phase against the FFT they stand on. Every
// case also times one forward Fft of the size it uses, inside the same run,
// and reports its own time as a multiple of it (counter "x_fft"); the
// BM_*Fft cases time that transform on its own for the table.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "bench/bench_util.h"
#include "data/records.h"
#include "dsp/fft.h"
#include "dsp/frequency_response.h"
#include "dsp/min_phase.h"
#include "dsp/numeric.h"

namespace {

using Clock = srx::bench::Clock;

constexpr int kCurveRate = 48000;

// A loudspeaker-like curve: 2nd-order high-pass at 60 Hz times a 1st-order
// low-pass at 8 kHz, 96 points per octave from 10 Hz to 24 kHz.
srx::Measurement MakeCurve() {
    srx::Measurement m;
    m.h.setup.sampleRate = kCurveRate;
    const double r = std::pow(2.0, 1.0 / 96);
    for (double f = 10.0;; f *= r) {
        const double fu = std::min(f, 24000.0);
        const std::complex<double> s(0, fu);
        const std::complex<double> hp = (s / 60.0) * (s / 60.0) / ((s / 60.0) * (s / 60.0) + s / (60.0 * 0.7) + 1.0);
        const std::complex<double> h = hp / (1.0 + s / 8000.0);
        srx::CurvePoint p;
        p.frequency = float(fu);
        p.value[srx::kSlotLevel] = float(20 * std::log10(std::abs(h)));
        p.value[srx::kSlotPhase] = float(std::arg(h));
        p.value[srx::kSlotPhaseUnwrapped] = p.value[srx::kSlotPhase];
        m.points.push_back(p);
        if (fu >= 24000.0) break;
    }
    m.h.pointCount = int32_t(m.points.size());
    m.h.firstFrequency = m.points.front().frequency;
    m.h.lastFrequency = m.points.back().frequency;
    return m;
}

void ReportRatio(benchmark::State& state, Clock::time_point t0, int log2n) {
    srx::bench::ReportFftRatio(state, t0, log2n);
}

int MinPhaseLog2n(int quality) {
    // Grid of the curve above: rate 2 * 24 kHz times the factor (5, 5, 10,
    // 10), size at least resolution (1, 2, 4, 8) * rate / 10 Hz.
    static const int kLog2[4] = {15, 16, 18, 19};
    return kLog2[quality];
}

void BM_MinPhase(benchmark::State& state, int q) {
    srx::Measurement m = MakeCurve();
    double rate = 0;
    int log2n = 0;
    const std::vector<float> check = srx::SpectrumFromCurve(m, 1 << q, q < 2 ? 5 : 10, &rate, &log2n);
    if (log2n != MinPhaseLog2n(q)) state.SkipWithError("unexpected grid size");
    srx::ComputeMinimumPhase(m, q);  // builds the per-size tables outside the timing
    const auto t0 = Clock::now();
    for (auto _ : state) {
        srx::ComputeMinimumPhase(m, q);
        benchmark::DoNotOptimize(m.points.data());
    }
    ReportRatio(state, t0, log2n);
}

void BM_MinPhaseFft(benchmark::State& state, int q) {
    const int log2n = MinPhaseLog2n(q);
    const size_t n = size_t(1) << log2n;
    std::vector<float> buf(2 * n + 2, 0.5f);
    srx::Fft(buf.data(), log2n, 1);
    for (auto _ : state) {
        srx::Fft(buf.data(), log2n, 1);
        benchmark::DoNotOptimize(buf.data());
    }
    state.counters["log2n"] = log2n;
}

void BM_MinPhaseSpectrum(benchmark::State& state) {
    const int log2n = int(state.range(0));
    const size_t n = size_t(1) << log2n;
    std::vector<float> src(2 * n + 2, 0.0f), buf;
    std::mt19937 rng(3);
    std::normal_distribution<float> d(0, 1);
    for (size_t i = 0; i < 4096; ++i) src[2 * i] = d(rng) * std::exp(-float(i) / 500.0f);
    srx::Fft(src.data(), log2n, 1);
    buf = src;
    srx::MinimumPhaseSpectrum(buf.data(), log2n, 1);
    const auto t0 = Clock::now();
    for (auto _ : state) {
        std::copy(src.begin(), src.end(), buf.begin());
        srx::MinimumPhaseSpectrum(buf.data(), log2n, 1);
        benchmark::DoNotOptimize(buf.data());
    }
    ReportRatio(state, t0, log2n);
}

// A 2^16-sample impulse response (a decaying resonance after a short delay),
// analysed from 20 Hz at 96 points per octave with the automatic size.
srx::TimeRecord MakeImpulse() {
    srx::TimeRecord r;
    const int n = 1 << 16;
    r.h.sampleRate = kCurveRate;
    r.h.sampleCount = n;
    r.h.flags = srx::kTwfMls;
    r.h.fftWindowLength = double(n) / kCurveRate;
    r.samples.assign(n, 0.0f);
    for (int i = 40; i < n; ++i) {
        const double t = double(i - 40) / kCurveRate;
        r.samples[i] = float(std::exp(-t * 300.0) * std::sin(2 * srx::kPi * 900.0 * t + 0.3));
    }
    return r;
}

srx::AnalysisSettings ImpulseSettings() {
    srx::AnalysisSettings s;
    s.topIsMaxFrequencyMls = true;
    return s;
}

void BM_ImpulseToFr(benchmark::State& state) {
    srx::TimeRecord r = MakeImpulse();
    const srx::AnalysisSettings s = ImpulseSettings();
    const int log2n = srx::FftSizeForWindow(r.h.sampleRate, r.h.fftWindowLength, 20.0, nullptr);
    auto warm = srx::ImpulseToFrequencyResponse(r, 20.0, 96, 0, s);
    if (!warm) state.SkipWithError("transform failed");
    const auto t0 = Clock::now();
    for (auto _ : state) {
        auto m = srx::ImpulseToFrequencyResponse(r, 20.0, 96, 0, s);
        benchmark::DoNotOptimize(m.get());
    }
    ReportRatio(state, t0, log2n);
}

void BM_ImpulseToFrFft(benchmark::State& state) {
    srx::TimeRecord r = MakeImpulse();
    const int log2n = srx::FftSizeForWindow(r.h.sampleRate, r.h.fftWindowLength, 20.0, nullptr);
    const size_t n = size_t(1) << log2n;
    std::vector<float> buf(2 * n + 2, 0.5f);
    srx::Fft(buf.data(), log2n, 1);
    for (auto _ : state) {
        srx::Fft(buf.data(), log2n, 1);
        benchmark::DoNotOptimize(buf.data());
    }
    state.counters["log2n"] = log2n;
}

BENCHMARK_CAPTURE(BM_MinPhase, q1, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MinPhase, q3, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MinPhaseFft, q1, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MinPhaseFft, q3, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MinPhaseSpectrum)->Arg(16)->Arg(19)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ImpulseToFr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ImpulseToFrFft)->Unit(benchmark::kMicrosecond);

}  // namespace
