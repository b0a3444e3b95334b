// Reading a large measurement file, minimum phase included, against one
// forward FFT of the size the minimum phase uses.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "bench/bench_util.h"
#include "data/native_files.h"
#include "data/records.h"
#include "dsp/frequency_response.h"
#include "dsp/min_phase.h"
#include "dsp/numeric.h"

namespace {

// 10,000 points from 10 Hz to 24 kHz of a 2nd-order high-pass at 50 Hz.
std::string WriteLargeMeasurement() {
    auto m = srx::NewMeasurement(srx::kCurveFrequencyResponse);
    m->h.setup.sampleRate = 48000;
    m->h.flags |= srx::kMesPhase;
    const int n = 10000;
    const double r = std::pow(24000.0 / 10.0, 1.0 / (n - 1));
    double f = 10.0;
    for (int i = 0; i < n; ++i, f *= r) {
        const double x = f / 50.0;
        const double level = 20 * std::log10(x * x / std::sqrt((1 - x * x) * (1 - x * x) + 2 * x * x));
        srx::AddCurvePoint(*m, f, level, std::atan2(std::sqrt(2.0) * x, x * x - 1) - srx::kPi, -1000, -1000, 0, -1000,
                           -1000, -1000, -1000, -1000, -1000, -1000);
    }
    std::string path = (std::filesystem::temp_directory_path() / "srx_bench_10k.mes").string();
    srx::SaveMeasurement(*m, path, true);
    return path;
}

void BM_ReadMes10k(benchmark::State& state) {
    static const std::string path = WriteLargeMeasurement();
    srx::InstallMinimumPhaseOnReading();
    srx::CurrentAnalysisSettings().minimumPhaseQuality = int(state.range(0));
    auto probe = srx::NewMeasurement(0);
    if (!srx::LoadMeasurement(path, *probe).ok()) state.SkipWithError("cannot read the file");
    double rate = 0;
    int log2n = 0;
    srx::SpectrumFromCurve(*probe, 1 << state.range(0), state.range(0) < 2 ? 5 : 10, &rate, &log2n);
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) {
        auto m = srx::NewMeasurement(0);
        srx::LoadMeasurement(path, *m);
        benchmark::DoNotOptimize(m->points.data());
    }
    srx::bench::ReportFftRatio(state, t0, log2n);
}
BENCHMARK(BM_ReadMes10k)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
