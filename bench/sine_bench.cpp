// The gated sine's and the sweep's analyses as multiples of the FFT their
// sizes stand for, measured in the same run (x_fft: gated per frequency
// against one transform of the gate's size, sweep against one of the
// sweep's), and the smoothing's time per point at growing lengths (linear
// when ns_per_point stays flat).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/bench_util.h"
#include "dsp/frequency_response.h"
#include "dsp/smoothing.h"
#include "measure/sine_analysis.h"

namespace {

constexpr uint32_t kRate = 44100;

// The recording of a unity path: the stimulus's samples themselves.
std::vector<double> GatedRecording(const srx::GatedSineParams& p) {
    const std::vector<double> series = srx::FrequencySeries(p.f1, p.f2, p.perOctave);
    const uint32_t slot = srx::GatedSlotFrames(p, kRate), burst = srx::GatedBurstFrames(p, kRate);
    std::vector<double> x(series.size() * slot, 0.0);
    for (size_t k = 0; k < series.size(); ++k)
        for (uint32_t n = 0; n < burst; ++n) x[k * slot + n] = 0.5 * std::sin(2 * M_PI * series[k] * n / kRate);
    return x;
}

void BM_GatedAnalysis(benchmark::State& state) {
    srx::GatedSineParams p;
    p.f2 = 20000;
    p.timeWindow = double(state.range(0)) / 1000;
    const std::vector<double> x = GatedRecording(p);
    const size_t k = srx::FrequencySeries(p.f1, p.f2, p.perOctave).size();
    const int log2n = srx::FftSizeForWindow(int(kRate), p.timeWindow, 1000, nullptr);
    const double fft = srx::bench::FftSeconds(log2n);
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) {
        srx::SineAnalysis out;
        benchmark::DoNotOptimize(srx::AnalyseGatedSine(x, kRate, 0, p, out));
    }
    const double per = std::chrono::duration<double>(srx::bench::Clock::now() - t0).count() / state.iterations();
    state.counters["x_fft"] = per / double(k) / fft;
}

void BM_SweepAnalysis(benchmark::State& state) {
    srx::SweepParams p;
    p.f2 = 20000;
    p.timePerOctave = double(state.range(0)) / 10;
    const uint64_t n = srx::SweepFrames(p, kRate);
    const double fs = p.f1 / 2, t = double(n) / kRate, k = std::log(p.f2 / fs) / t;
    std::vector<double> x(n + kRate / 10, 0.0);
    for (uint64_t i = 0; i < n; ++i) x[i] = 0.5 * std::sin(2 * M_PI * fs / k * std::expm1(k * double(i) / kRate));
    int order = 16;
    while ((uint64_t(1) << order) < x.size()) ++order;
    const double fft = srx::bench::FftSeconds(order + 1);
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) {
        srx::SineAnalysis out;
        benchmark::DoNotOptimize(srx::AnalyseSweep(x, kRate, 0, p, out));
    }
    const double per = std::chrono::duration<double>(srx::bench::Clock::now() - t0).count() / state.iterations();
    state.counters["x_fft"] = per / fft;
}

void BM_SmoothTable(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::vector<double> f(n), level(n), phase(n);
    for (size_t i = 0; i < n; ++i) {
        f[i] = 20 * std::pow(2.0, 10.0 * double(i) / double(n));
        level[i] = std::sin(double(i));
        phase[i] = std::cos(double(i));
    }
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) {
        std::vector<double> l = level, ph = phase;
        srx::SmoothTable(f.data(), l.data(), ph.data(), n, 3, srx::kSmoothAveraged);
        benchmark::DoNotOptimize(l.data());
    }
    const double per = std::chrono::duration<double>(srx::bench::Clock::now() - t0).count() / state.iterations();
    state.counters["ns_per_point"] = per / double(n) * 1e9;
}

BENCHMARK(BM_GatedAnalysis)->Arg(5)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SweepAnalysis)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothTable)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
