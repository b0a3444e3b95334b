#include "dsp/smoothing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/numeric.h"

namespace srx {

int CurvePointsPerOctave(std::size_t count, double fmin, double fmax) {
    if (!(fmin > 0) || !(fmax > fmin)) return 0;
    return int(RoundHalfAway(double(count) / (3.321928094887376 * std::log10(fmax / fmin))));
}

namespace {

// The median as the smoothing defines it: an even count above 2 drops its
// largest value first, then the middle element of what is left.
double Median(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    if (n > 2 && n % 2 == 0) --n;
    return v[n / 2];
}

// One pass over `values` from `first`: anchors r1 apart, the points between
// them on the straight line (log f) between the anchors' values.
void SmoothPass(const double* f, double* values, std::size_t count, std::size_t first, double r1, double r2, int method,
                std::vector<double>& scratch) {
    // Averaged and median anchors read the unsmoothed values of their band.
    std::vector<double> source(values, values + count);
    auto anchorValue = [&](std::size_t a, std::size_t& lo) {
        if (method == kSmoothAbsolute) return source[a];
        // The band [f/r2, f*r2) starts at a point `lo` that only moves up.
        while (lo < count && f[lo] < f[a] / r2) ++lo;
        scratch.clear();
        for (std::size_t i = lo; i < count && f[i] < f[a] * r2; ++i) scratch.push_back(source[i]);
        if (scratch.empty()) return source[a];
        if (method == kSmoothMedian) return Median(scratch);
        double sum = 0;
        for (double v : scratch) sum += v;
        return sum / double(scratch.size());
    };
    std::size_t lo = 0;
    std::size_t a = first;
    double va = anchorValue(a, lo);
    values[a] = va;
    while (a + 1 < count) {
        std::size_t b = a + 1;
        while (b + 1 < count && f[b] < f[a] * r1) ++b;
        std::size_t loB = lo;
        const double vb = anchorValue(b, loB);
        for (std::size_t i = a + 1; i < b; ++i) values[i] = InterpolateLogF(f[i], f[a], va, f[b], vb);
        values[b] = vb;
        a = b;
        va = vb;
        lo = loB;
    }
}

}  // namespace

void SmoothTable(const double* frequency, double* level, double* phase, std::size_t count, int n, int method) {
    if (count < 2 || n < 1 || method < kSmoothAbsolute || method > kSmoothMedian) return;
    const double r1 = std::pow(2.0, 1.0 / (2.0 * n)), r2 = std::pow(2.0, 1.0 / (4.0 * n));
    std::size_t second = 0;
    while (second < count && frequency[second] < frequency[0] * r2) ++second;
    std::vector<double> scratch;
    for (double* values : {level, phase}) {
        if (!values) continue;
        SmoothPass(frequency, values, count, 0, r1, r2, method, scratch);
        if (second < count) SmoothPass(frequency, values, count, second, r1, r2, method, scratch);
        const int ppo = CurvePointsPerOctave(count, frequency[0], frequency[count - 1]);
        if (ppo > 6 && ppo > 2 * n) {
            for (std::size_t start : {std::size_t(0), std::size_t(1)})
                for (std::size_t i = start; i + 2 < count; i += 2) values[i + 1] = (values[i] + values[i + 2]) / 2;
        }
    }
}

}  // namespace srx
