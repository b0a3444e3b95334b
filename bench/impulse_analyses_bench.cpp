// The energy-time curve's quadrature (one FFT convolution) and the step
// response's running sum against the O(n^2) direct sums they replace, at
// 2^16 samples in the same run: counter x_direct is the direct sum's time
// over the fast one's (how many times faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "bench/bench_util.h"
#include "dsp/impulse_analyses.h"
#include "dsp/window.h"

namespace {

constexpr size_t kSamples = size_t(1) << 16;

std::vector<float> Samples() {
    std::vector<float> x(kSamples);
    std::mt19937 rng(3);
    std::normal_distribution<float> d(0, 1);
    for (size_t i = 0; i < kSamples; ++i) x[i] = d(rng) * float(std::exp(-double(i) / 2000.0));
    return x;
}

template <typename F>
double SecondsOf(F&& f) {
    const auto t0 = srx::bench::Clock::now();
    f();
    return std::chrono::duration<double>(srx::bench::Clock::now() - t0).count();
}

void BM_QuadratureFftVsDirect(benchmark::State& state) {
    const std::vector<float> x = Samples();
    const double direct = SecondsOf([&] {
        benchmark::DoNotOptimize(srx::QuadratureDirect(x.data(), x.size(), srx::kWindowHanning).data());
    });
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(srx::AnalyticEnvelopeFir(x.data(), x.size(), srx::kWindowHanning).data());
    const double fast = std::chrono::duration<double>(srx::bench::Clock::now() - t0).count() / double(state.iterations());
    state.counters["x_direct"] = direct / fast;
}

void BM_StepSumVsDirect(benchmark::State& state) {
    const std::vector<float> x = Samples();
    const double direct =
        SecondsOf([&] { benchmark::DoNotOptimize(srx::StepSumsDirect(x.data(), x.size()).data()); });
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(srx::StepSums(x.data(), x.size()).data());
    const double fast = std::chrono::duration<double>(srx::bench::Clock::now() - t0).count() / double(state.iterations());
    state.counters["x_direct"] = direct / fast;
}

}  // namespace

BENCHMARK(BM_QuadratureFftVsDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepSumVsDirect)->Unit(benchmark::kMicrosecond);
