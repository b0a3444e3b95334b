#pragma once
// Shared by the benchmarks that report their time as a multiple of the FFT
// they stand on, measured in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <vector>

#include "dsp/fft.h"

namespace srx::bench {

using Clock = std::chrono::steady_clock;

// Seconds of one forward transform of 2^log2n points. The data grow with
// every unscaled pass until they saturate; inf and NaN cost nothing extra on
// x86, and renewing the data would be billed to the transform.
inline double FftSeconds(int log2n) {
    const size_t n = size_t(1) << log2n;
    std::vector<float> buf(2 * n + 2);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-1, 1);
    for (size_t i = 0; i < 2 * n; ++i) buf[i] = d(rng);
    srx::Fft(buf.data(), log2n, 1);
    int reps = 0;
    const auto t0 = Clock::now();
    double elapsed = 0;
    do {
        srx::Fft(buf.data(), log2n, 1);
        benchmark::DoNotOptimize(buf.data());
        ++reps;
        elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    } while (elapsed < 0.25);
    return elapsed / reps;
}

// Sets the "x_fft" counter: time per iteration since t0 over one FFT.
inline void ReportFftRatio(benchmark::State& state, Clock::time_point t0, int log2n) {
    const double per = std::chrono::duration<double>(Clock::now() - t0).count() / double(state.iterations());
    state.counters["x_fft"] = per / FftSeconds(log2n);
    state.counters["log2n"] = log2n;
}

}  // namespace srx::bench
