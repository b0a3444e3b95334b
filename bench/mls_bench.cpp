// Impulse recovery from an MLS response: the Walsh-Hadamard route against
// the 2N-point FFT route it replaces, each as a multiple of one complex FFT
// of 2N points measured in the same run (counter x_fft).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/bench_util.h"
#include "measure/mls.h"

namespace {

std::vector<float> Period(int order) {
    std::mt19937 rng(11);
    std::normal_distribution<float> d(0, 1);
    std::vector<float> x((size_t(1) << order) - 1);
    for (float& v : x) v = d(rng);
    return x;
}

void BM_MlsRecoverHadamard(benchmark::State& state) {
    const int order = int(state.range(0));
    const std::vector<float> x = Period(order);
    benchmark::DoNotOptimize(srx::MlsCorrelate(x, order));  // tables outside the timing
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(srx::MlsCorrelate(x, order));
    srx::bench::ReportFftRatio(state, t0, order + 1);
}

void BM_MlsRecoverFft2N(benchmark::State& state) {
    const int order = int(state.range(0));
    const std::vector<float> x = Period(order);
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(srx::MlsCorrelateByFft(x, order));
    srx::bench::ReportFftRatio(state, t0, order + 1);
}

BENCHMARK(BM_MlsRecoverHadamard)->Arg(13)->Arg(16)->Arg(18)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MlsRecoverFft2N)->Arg(13)->Arg(16)->Arg(18)->Unit(benchmark::kMicrosecond);

}  // namespace
