// FFT speed against FFTW (single precision, in place, FFTW_MEASURE). Each
// case times a forward plus an inverse transform on the same buffer. This
// file also owns the benchmark main(): after the run it prints, from the same
// measurements, a table of our time against FFTW's per size.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dsp/fft.h"

namespace {

int Log2(int64_t n) {
    int l = 0;
    while ((int64_t(1) << l) < n) ++l;
    return l;
}

void FillRandom(float* x, size_t count) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (size_t i = 0; i < count; ++i) x[i] = dist(rng);
}

void BM_Fft(benchmark::State& state) {
    const int64_t n = state.range(0);
    const int log2n = Log2(n);
    std::vector<float> buf(2 * n + 1);  // callers hand over 8N+1 bytes
    FillRandom(buf.data(), 2 * n);
    srx::Fft(buf.data(), log2n, 1);  // builds the tables outside the timing
    srx::Fft(buf.data(), log2n, -1);
    for (auto _ : state) {
        srx::Fft(buf.data(), log2n, 1);
        srx::Fft(buf.data(), log2n, -1);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_FftwRef(benchmark::State& state) {
    const int n = int(state.range(0));
    fftwf_complex* buf = fftwf_alloc_complex(n);
    fftwf_plan fwd = fftwf_plan_dft_1d(n, buf, buf, FFTW_FORWARD, FFTW_MEASURE);
    fftwf_plan bwd = fftwf_plan_dft_1d(n, buf, buf, FFTW_BACKWARD, FFTW_MEASURE);
    // Planning overwrote the buffer. The unscaled round trip grows the data by
    // N per iteration until it saturates to inf/NaN; that costs nothing extra
    // on x86 (only denormals are slow), and renewing the data inside the loop
    // would bill FFTW for the pause/resume overhead.
    FillRandom(reinterpret_cast<float*>(buf), 2 * size_t(n));
    for (auto _ : state) {
        fftwf_execute(fwd);
        fftwf_execute(bwd);
        benchmark::DoNotOptimize(buf);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
    fftwf_destroy_plan(fwd);
    fftwf_destroy_plan(bwd);
    fftwf_free(buf);
}

BENCHMARK(BM_Fft)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_FftwRef)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Unit(benchmark::kNanosecond);

// Console output as usual, plus the per-size times of the two FFT cases.
// With repetitions the median aggregate wins over single runs.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const std::string& fn = r.run_name.function_name;
            if (fn != "BM_Fft" && fn != "BM_FftwRef") continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median) continue;
            const int64_t n = std::atoll(r.run_name.args.c_str());
            const double ns = r.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(r.time_unit);
            Entry& e = (fn == "BM_Fft" ? ours_ : fftw_)[n];
            if (median) {
                e.median = ns;
            } else {
                e.sum += ns;
                ++e.count;
            }
        }
    }

    void PrintTable() const {
        std::map<int64_t, bool> sizes;
        for (const auto& kv : ours_) sizes[kv.first] = true;
        for (const auto& kv : fftw_) sizes[kv.first] = true;
        if (sizes.empty()) return;
        std::printf("\n%10s, %14s, %14s, %18s\n", "N", "ours ns", "fftw ns", "ratio ours/fftw");
        for (const auto& kv : sizes) {
            const double a = Time(ours_, kv.first), b = Time(fftw_, kv.first);
            std::printf("%10lld, ", static_cast<long long>(kv.first));
            if (a > 0) std::printf("%14.0f, ", a);
            else std::printf("%14s, ", "-");
            if (b > 0) std::printf("%14.0f, ", b);
            else std::printf("%14s, ", "-");
            if (a > 0 && b > 0) std::printf("%18.3f\n", a / b);
            else std::printf("%18s\n", "-");
        }
    }

private:
    struct Entry {
        double median = -1, sum = 0;
        int count = 0;
    };
    static double Time(const std::map<int64_t, Entry>& m, int64_t n) {
        auto it = m.find(n);
        if (it == m.end()) return -1;
        if (it->second.median > 0) return it->second.median;
        return it->second.count ? it->second.sum / it->second.count : -1;
    }
    std::map<int64_t, Entry> ours_, fftw_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable();
    benchmark::Shutdown();
    return 0;
}
