// The maximum-length sequence: its taps and bits, the pre-emphasis shelf
// and the periodic correlation (fast Walsh-Hadamard transform).
#include "measure/mls.h"

#include <bit>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <map>
#include <mutex>

#include "dsp/fft.h"
#include "dsp/numeric.h"

namespace srx {

namespace {

// The pre-emphasis shelf: +10 dB above about 3 kHz.
constexpr double kPreEmphasisCorner = 3162.3;
constexpr double kPreEmphasisLift = 3.16227766016838;

int OrderOfLength(uint32_t n) {
    for (int k = kMlsMinOrder; k <= kMlsMaxOrder; ++k)
        if ((uint32_t(1) << k) == n) return k;
    return 0;
}

// The output bits of the register, one per sample (1 = sample -1).
std::vector<uint8_t> SequenceBits(int order) {
    const std::vector<int>& taps = MlsTaps(order);
    std::vector<uint8_t> bits;
    if (taps.empty()) return bits;
    uint32_t tapMask = 0;
    for (int t : taps) tapMask |= uint32_t(1) << t;
    const uint32_t mask = (uint32_t(1) << order) - 1;
    const uint32_t length = MlsSequenceLength(order);
    bits.resize(length);
    uint32_t reg = mask;  // every cell set
    for (uint32_t k = 0; k < length; ++k) {
        const uint32_t parity = uint32_t(std::popcount(reg & tapMask)) & 1u;
        reg = ((reg << 1) | parity) & mask;
        bits[k] = uint8_t(parity);
    }
    return bits;
}

// Tables of the Walsh-Hadamard route for one order. With x_k the n bits of
// the sequence starting at sample k (an n-bit number, every non-zero value
// exactly once), each later bit b[k + j] is a fixed linear combination w_j
// of them: b[k + j] = parity(w_j & x_k). The periodic correlation with the
// sequence at lag t is then sum_k x[k] (-1)^parity(w_{-t} & x_k): the
// Walsh-Hadamard transform of x scattered to the indices x_k, read at w_{-t}.
struct CorrelationTables {
    std::vector<uint32_t> scatter;  // x_k for sample k
    std::vector<uint32_t> gather;   // w_{(L - t) mod L} for lag t
};

std::shared_ptr<const CorrelationTables> BuildTables(int order) {
    const std::vector<uint8_t> b = SequenceBits(order);
    const uint32_t L = MlsSequenceLength(order);
    auto t = std::make_shared<CorrelationTables>();
    t->scatter.resize(L);
    uint32_t x = 0;
    for (int i = 0; i < order; ++i) x |= uint32_t(b[size_t(i) % L]) << i;
    for (uint32_t k = 0; k < L; ++k) {
        t->scatter[k] = x;
        x = (x >> 1) | uint32_t(b[(size_t(k) + size_t(order)) % L]) << (order - 1);
    }
    // w_j: unit vectors for the first n offsets, then the register's own
    // recurrence b[m] = xor of b[m - 1 - tap].
    std::vector<uint32_t> w(L);
    const std::vector<int>& taps = MlsTaps(order);
    for (uint32_t j = 0; j < L; ++j) {
        if (j < uint32_t(order)) {
            w[j] = uint32_t(1) << j;
            continue;
        }
        uint32_t v = 0;
        for (int tap : taps) v ^= w[j - 1 - uint32_t(tap)];
        w[j] = v;
    }
    t->gather.resize(L);
    for (uint32_t lag = 0; lag < L; ++lag) t->gather[lag] = w[(L - lag) % L];
    return t;
}

std::shared_ptr<const CorrelationTables> TablesFor(int order) {
    static std::mutex mutex;
    static std::map<int, std::shared_ptr<const CorrelationTables>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(order);
    if (it != cache.end()) return it->second;
    // A measurement uses one or two orders; the largest tables are 128 MB.
    if (cache.size() >= 3) cache.clear();
    auto t = BuildTables(order);
    cache[order] = t;
    return t;
}

// In-place Walsh-Hadamard transform (natural order, unscaled) of 2^log2n
// values, two stages per sweep over the data.
void WalshHadamard(float* a, int log2n) {
    const size_t n = size_t(1) << log2n;
    int stage = 0;
    if (log2n & 1) {
        for (size_t i = 0; i < n; i += 2) {
            const float x = a[i], y = a[i + 1];
            a[i] = x + y, a[i + 1] = x - y;
        }
        stage = 1;
    }
    for (; stage < log2n; stage += 2) {
        const size_t h = size_t(1) << stage;
        for (size_t i = 0; i < n; i += 4 * h) {
            float* p0 = a + i;
            float* p1 = p0 + h;
            float* p2 = p1 + h;
            float* p3 = p2 + h;
            for (size_t j = 0; j < h; ++j) {
                const float t0 = p0[j] + p1[j], t1 = p0[j] - p1[j];
                const float t2 = p2[j] + p3[j], t3 = p2[j] - p3[j];
                p0[j] = t0 + t2, p1[j] = t1 + t3, p2[j] = t0 - t2, p3[j] = t1 - t3;
            }
        }
    }
}

// State of y[-1] (and x[-1]) that makes the section's output periodic over
// one period of x: with a zero start the state after a period is y0; the
// periodic state p satisfies p = y0 + (-a1)^L p.
void RunSection(const FirstOrderSection& f, std::vector<double>& x, double xPrev, double yPrev) {
    for (double& v : x) {
        const double in = v;
        const double y = f.b0 * in + f.b1 * xPrev - f.a1 * yPrev;
        xPrev = in, yPrev = y, v = y;
    }
}

}  // namespace

uint32_t MlsSequenceLength(int order) { return (uint32_t(1) << order) - 1; }

int MlsOrderOfLength(uint32_t n) { return OrderOfLength(n); }

// ---------------------------------------------------------------- sequence

const std::vector<int>& MlsTaps(int order) {
    static const std::vector<int> kTaps[kMlsMaxOrder + 1] = {
        {},
        {},
        {0, 1},
        {1, 2},
        {2, 3},
        {2, 4},
        {4, 5},
        {5, 6},
        {1, 2, 4, 7},
        {4, 8},
        {6, 9},
        {1, 10},
        {1, 2, 8, 11},
        {1, 2, 6, 12},
        {2, 3, 4, 13},
        {13, 14},
        {3, 12, 14, 15},
        {13, 16},
        {10, 17},
        {13, 16, 17, 18},
        {16, 19},
        {18, 20},
        {20, 21},
        {17, 22},
        {16, 21, 22, 23},
    };
    static const std::vector<int> kNone;
    return order >= kMlsMinOrder && order <= kMlsMaxOrder ? kTaps[order] : kNone;
}

std::vector<float> MlsSequence(int order) {
    const std::vector<uint8_t> bits = SequenceBits(order);
    std::vector<float> s(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) s[i] = bits[i] ? -1.0f : 1.0f;
    return s;
}

// ------------------------------------------------------------ pre-emphasis

FirstOrderSection PreEmphasisFilter(uint32_t rate) {
    // The pole's corner, pre-warped; the zero's follows from the lift, so
    // that the gain is exactly 1 at DC and kPreEmphasisLift at half the rate.
    const double fp = std::min(kPreEmphasisCorner, 0.4 * double(rate));
    const double k = 2.0 * rate;
    const double wp = k * std::tan(kPi * fp / rate), wz = wp / kPreEmphasisLift;
    const double d0 = 1 + k / wp;
    FirstOrderSection f;
    f.b0 = (1 + k / wz) / d0;
    f.b1 = (1 - k / wz) / d0;
    f.a1 = (1 - k / wp) / d0;
    return f;
}

FirstOrderSection InverseSection(const FirstOrderSection& f) {
    FirstOrderSection g;
    g.b0 = 1 / f.b0;
    g.b1 = f.a1 / f.b0;
    g.a1 = f.b1 / f.b0;
    return g;
}

void FilterPeriodic(const FirstOrderSection& f, std::vector<double>& x) {
    if (x.empty()) return;
    const double xLast = x.back();
    std::vector<double> trial = x;
    RunSection(f, trial, xLast, 0.0);
    // The output after a period depends on the starting output by (-a1)^L.
    const double gain = std::pow(-f.a1, double(x.size()));
    const double start = trial.back() / (1.0 - gain);
    RunSection(f, x, xLast, start);
}

std::vector<double> MlsStimulusShape(int order, bool preEmphasis, uint32_t rate, double* peak) {
    const std::vector<float> s = MlsSequence(order);
    std::vector<double> x(s.begin(), s.end());
    double pk = 1.0;
    if (preEmphasis && !x.empty() && rate > 0) {
        FilterPeriodic(PreEmphasisFilter(rate), x);
        pk = 0;
        for (double v : x) pk = std::max(pk, std::fabs(v));
        if (pk > 0)
            for (double& v : x) v /= pk;
    }
    if (peak) *peak = pk;
    return x;
}

// ------------------------------------------------------------- correlation

std::vector<float> MlsCorrelate(const std::vector<float>& x, int order) {
    const uint32_t L = MlsSequenceLength(order);
    if (order < kMlsMinOrder || order > kMlsMaxOrder || x.size() != L) return {};
    const auto tables = TablesFor(order);
    std::vector<float> a(size_t(L) + 1, 0.0f);
    for (uint32_t k = 0; k < L; ++k) a[tables->scatter[k]] = x[k];
    WalshHadamard(a.data(), order);
    std::vector<float> c(L);
    for (uint32_t t = 0; t < L; ++t) c[t] = a[tables->gather[t]];
    return c;
}

std::vector<float> MlsCorrelateByFft(const std::vector<float>& x, int order) {
    const uint32_t L = MlsSequenceLength(order);
    if (order < kMlsMinOrder || order > kMlsMaxOrder || x.size() != L) return {};
    const size_t M = size_t(2) << order;  // 2N complex points
    const int log2m = order + 1;
    // The response repeated over all 2N points, the sequence once.
    std::vector<float> ra(2 * M + 2, 0.0f), rb(2 * M + 2, 0.0f);
    const std::vector<float> s = MlsSequence(order);
    for (size_t m = 0; m < M; ++m) ra[2 * m] = x[m % L];
    for (size_t m = 0; m < L; ++m) rb[2 * m] = s[m];
    Fft(ra.data(), log2m, 1);
    Fft(rb.data(), log2m, 1);
    // A conj(B): lag k collects a[m] b[m - k].
    for (size_t j = 0; j < M; ++j) {
        const double ar = ra[2 * j], ai = ra[2 * j + 1], br = rb[2 * j], bi = rb[2 * j + 1];
        ra[2 * j] = float(ar * br + ai * bi);
        ra[2 * j + 1] = float(ai * br - ar * bi);
    }
    Fft(ra.data(), log2m, -1);
    std::vector<float> c(L);
    for (uint32_t k = 0; k < L; ++k) c[k] = ra[2 * size_t(k)];
    return c;
}

}  // namespace srx
