// The box-design simulation as a multiple of the 8192-point complex FFT its
// impulse response takes, measured in the same run (x_fft): one analysis of
// a vented box on the full 1024-point grid.
#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "design/design_simulation.h"

namespace {

void BM_SimulateDesign(benchmark::State& state) {
    srx::SpeakerUnit u;
    u.fs = 30, u.vas = 0.1, u.qes = 0.4, u.qms = 4, u.re = 6, u.sd = 0.05, u.le = 0.0008, u.xmax = 0.006;
    srx::BoxDesign box;
    box.boxType = srx::kVentedBox, box.vb = 0.08, box.fb = 28, box.sv = 0.005, box.ql = 7;
    box.globalFlags = 1, box.baffleWidth = 0.3, box.baffleHeight = 0.5;
    srx::AnalyzerSettings settings;
    settings.start = 10, settings.stop = 20000;
    srx::DesignResults r;
    if (!srx::SimulateDesign(u, box, settings, r).ok()) {
        state.SkipWithError("the design does not simulate");
        return;
    }
    const auto t0 = srx::bench::Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(srx::SimulateDesign(u, box, settings, r));
        benchmark::DoNotOptimize(r.impulse.data());
    }
    srx::bench::ReportFftRatio(state, t0, 13);
}
BENCHMARK(BM_SimulateDesign)->Unit(benchmark::kMicrosecond);

}  // namespace
