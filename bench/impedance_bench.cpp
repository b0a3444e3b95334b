// The impedance analyses as multiples of what they stand on, measured in the
// same run: the sweep's per channel against one transform of its size
// (x_fft_per_channel), the MLS's against its two recoveries plus two
// transforms of the period (x_recovery_2fft).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "measure/impedance.h"
#include "measure/mls.h"
#include "measure/sine_analysis.h"

namespace {

constexpr uint32_t kRate = 44100;

double Seconds(srx::bench::Clock::time_point t0, benchmark::State& state) {
    return std::chrono::duration<double>(srx::bench::Clock::now() - t0).count() / double(state.iterations());
}

void BM_ImpedanceSweep(benchmark::State& state) {
    srx::ImpedanceParams p;
    p.timePerOctave = double(state.range(0)) / 10;
    p.perOctave = 24;
    srx::SweepParams sweep;
    sweep.f1 = p.f1, sweep.f2 = p.f2, sweep.timePerOctave = p.timePerOctave;
    const uint64_t n = srx::SweepFrames(sweep, kRate);
    const double fs = p.f1 / 2, t = double(n) / kRate, k = std::log(p.f2 / fs) / t;
    srx::Recording r;
    r.rate = kRate;
    r.c0.assign(n + kRate / 10, 0.0);
    for (uint64_t i = 0; i < n; ++i) r.c0[i] = 0.5 * std::sin(2 * M_PI * fs / k * std::expm1(k * double(i) / kRate));
    r.c1 = r.c0;
    for (double& v : r.c0) v *= 0.1;
    // The analysis's own size: the recording covered, padded once.
    int order = fs < 10 ? 18 : fs < 20 ? 17 : 16;
    while ((uint64_t(1) << order) < r.c0.size()) ++order;
    ++order;
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) {
        std::unique_ptr<srx::Measurement> m;
        benchmark::DoNotOptimize(srx::AnalyseImpedanceSweep(r, 0, p, m));
    }
    state.counters["x_fft_per_channel"] = Seconds(t0, state) / 2 / srx::bench::FftSeconds(order);
}

void BM_ImpedanceMls(benchmark::State& state) {
    const int order = int(state.range(0));
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "srx-bench-impedance";
    std::filesystem::create_directories(dir);
    const std::string stimulus = (dir / "p.wav").string(), response = (dir / "r.wav").string();
    // A unity path on both channels: the recording is the stimulus.
    if (!srx::WriteMlsStimulus(stimulus, order, false, kRate, 2, 16, {}) ||
        !srx::WriteMlsStimulus(response, order, false, kRate, 2, 16, {})) {
        state.SkipWithError("cannot write the files");
        return;
    }
    srx::ImpedanceParams p;
    p.order = order;
    p.perOctave = 24;
    srx::MlsRecoveryOptions options;
    const auto r0 = srx::bench::Clock::now();
    int recoveries = 0;
    do {
        std::unique_ptr<srx::TimeRecord> a, b;
        benchmark::DoNotOptimize(
            srx::MlsImpulsePairFromFiles(response, stimulus, uint32_t(1) << order, options, a, b));
        ++recoveries;
    } while (std::chrono::duration<double>(srx::bench::Clock::now() - r0).count() < 0.25);
    const double recovery = std::chrono::duration<double>(srx::bench::Clock::now() - r0).count() / recoveries;
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) {
        std::unique_ptr<srx::Measurement> m;
        benchmark::DoNotOptimize(srx::AnalyseImpedanceMls(response, stimulus, 0.025, p, m));
    }
    state.counters["x_recovery_2fft"] = Seconds(t0, state) / (recovery + 2 * srx::bench::FftSeconds(std::max(15, order)));
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_ImpedanceSweep)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImpedanceMls)->Arg(14)->Arg(17)->Unit(benchmark::kMillisecond);

}  // namespace
