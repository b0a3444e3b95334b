#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <latch>
#include <random>
#include <thread>
#include <vector>

#include "dsp/fft_impl.h"

namespace {

using srx::Fft;
using srx::fft_detail::Kernel;
using cd = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

std::vector<float> RandomSignal(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(2 * n);
    for (float& v : x) v = dist(rng);
    return x;
}

std::vector<cd> ToComplex(const std::vector<float>& x) {
    std::vector<cd> c(x.size() / 2);
    for (size_t i = 0; i < c.size(); ++i) c[i] = cd(x[2 * i], x[2 * i + 1]);
    return c;
}

// Double-precision reference with the same sign and scaling conventions:
// the plain O(N^2) sum for small sizes, an iterative radix-2 FFT with every
// twiddle computed directly (no recurrences) for large ones.
std::vector<cd> Reference(std::vector<cd> x, bool inverse) {
    const size_t n = x.size();
    const double sign = inverse ? 1.0 : -1.0;
    if (n <= 1024) {
        std::vector<cd> w(n), out(n);
        for (size_t k = 0; k < n; ++k) w[k] = std::polar(1.0, sign * 2 * kPi * double(k) / double(n));
        for (size_t k = 0; k < n; ++k) {
            cd acc = 0;
            for (size_t m = 0; m < n; ++m) acc += x[m] * w[(k * m) % n];
            out[k] = acc;
        }
        x = out;
    } else {
        for (size_t i = 1, j = 0; i < n; ++i) {
            size_t bit = n >> 1;
            for (; j & bit; bit >>= 1) j ^= bit;
            j ^= bit;
            if (i < j) std::swap(x[i], x[j]);
        }
        for (size_t len = 2; len <= n; len <<= 1) {
            for (size_t k = 0; k < len / 2; ++k) {
                const cd w = std::polar(1.0, sign * 2 * kPi * double(k) / double(len));
                for (size_t s = 0; s < n; s += len) {
                    const cd a = x[s + k], b = x[s + k + len / 2] * w;
                    x[s + k] = a + b;
                    x[s + k + len / 2] = a - b;
                }
            }
        }
    }
    if (inverse) {
        for (cd& v : x) v /= double(n);
    }
    return x;
}

double RelRmsError(const std::vector<float>& got, const std::vector<cd>& want) {
    double err = 0, ref = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        err += std::norm(cd(got[2 * i], got[2 * i + 1]) - want[i]);
        ref += std::norm(want[i]);
    }
    return std::sqrt(err / ref);
}

// First so that, even when all cases share one process (Wine), the size is
// still untouched and the threads race to build its tables.
TEST(FftThreads, ConcurrentFirstUseOfASize) {
    constexpr int kLog = 17, kThreads = 4;
    constexpr size_t kN = size_t(1) << kLog;
    std::vector<std::vector<float>> bufs;
    for (int t = 0; t < kThreads; ++t) bufs.push_back(RandomSignal(kN, 100 + t));
    const std::vector<std::vector<float>> inputs = bufs;
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            Fft(bufs[t].data(), kLog, 1);
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        std::vector<float> again = inputs[t];
        Fft(again.data(), kLog, 1);
        EXPECT_EQ(0, std::memcmp(again.data(), bufs[t].data(), again.size() * sizeof(float))) << t;
        EXPECT_LT(RelRmsError(bufs[t], Reference(ToComplex(inputs[t]), false)), 1e-5) << t;
    }
}

TEST(Fft, RejectsSizesOutsideRangeAndLeavesBufferAlone) {
    std::vector<float> x = RandomSignal(16, 1);
    const std::vector<float> before = x;
    for (int log2n : {0, -1, 32, 40}) {
        EXPECT_EQ(0, Fft(x.data(), log2n, 1)) << log2n;
        EXPECT_EQ(0, Fft(x.data(), log2n, -1)) << log2n;
        srx::BitReversePermute(x.data(), log2n);
        EXPECT_EQ(before, x) << log2n;
    }
}

// Every kernel set the CPU can run; the slower ones are pinned explicitly.
class FftKernel : public ::testing::TestWithParam<Kernel> {
protected:
    void SetUp() override {
        if (!srx::fft_detail::SelectKernel(GetParam())) GTEST_SKIP() << "CPU lacks this instruction set";
    }
    void TearDown() override { srx::fft_detail::SelectKernel(Kernel::kAuto); }
};

// Both directions at every size up to the radix-16 passes of 2^19 and up;
// any direction <= 0 is the inverse.
TEST_P(FftKernel, MatchesDoublePrecisionReferenceAtEverySize) {
    for (int log2n = 1; log2n <= 20; ++log2n) {
        const size_t n = size_t(1) << log2n;
        const std::vector<float> in = RandomSignal(n, 1000 + log2n);
        for (int direction : {1, 0}) {
            std::vector<float> x = in;
            ASSERT_EQ(1, Fft(x.data(), log2n, direction));
            EXPECT_LT(RelRmsError(x, Reference(ToComplex(in), direction <= 0)), 1e-5)
                << "log2n " << log2n << " direction " << direction;
        }
    }
}

TEST_P(FftKernel, UnalignedBufferGivesSameResultAndStaysInBounds) {
    // Callers pass plain float arrays: any 4-byte offset must work, and
    // nothing outside the 2N floats may change.
    for (int log2n : {6, 10, 13}) {
        const size_t n = size_t(1) << log2n;
        const std::vector<float> in = RandomSignal(n, 4000 + log2n);
        std::vector<float> aligned = in;
        Fft(aligned.data(), log2n, 1);
        std::vector<float> padded(2 * n + 3, 12345.0f);
        std::copy(in.begin(), in.end(), padded.begin() + 1);
        Fft(padded.data() + 1, log2n, 1);
        EXPECT_EQ(0, std::memcmp(aligned.data(), padded.data() + 1, 2 * n * sizeof(float))) << log2n;
        EXPECT_EQ(12345.0f, padded[0]);
        EXPECT_EQ(12345.0f, padded[2 * n + 1]);
        EXPECT_EQ(12345.0f, padded[2 * n + 2]);
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, FftKernel, ::testing::Values(Kernel::kScalar, Kernel::kSse2, Kernel::kAvx2),
                         [](const ::testing::TestParamInfo<Kernel>& info) {
                             switch (info.param) {
                                 case Kernel::kScalar: return std::string("Scalar");
                                 case Kernel::kSse2: return std::string("Sse2");
                                 case Kernel::kAvx2: return std::string("Avx2");
                                 default: return std::string("Auto");
                             }
                         });

// Past the largest twiddle table the radix-16 passes compute their twiddles
// on the fly; a pure tone pins down every one of them.
TEST(Fft, HugeSizeWithComputedTwiddles) {
    constexpr int kLog = srx::fft_detail::kMaxTableLog + 1;
    const size_t n = size_t(1) << kLog;
    const size_t k0 = 3 * n / 8 + 5;
    std::vector<float> x(2 * n);
    for (size_t i = 0; i < n; ++i) {
        const double a = 2 * kPi * double((k0 * i) % n) / double(n);
        x[2 * i] = float(std::cos(a));
        x[2 * i + 1] = float(std::sin(a));
    }
    ASSERT_EQ(1, Fft(x.data(), kLog, 1));
    EXPECT_NEAR(x[2 * k0], double(n), 1e-4 * n);
    double leak = 0;
    for (size_t k = 0; k < n; ++k) {
        if (k != k0) leak = std::max(leak, std::abs(cd(x[2 * k], x[2 * k + 1])));
    }
    EXPECT_LT(leak, 1e-3 * std::sqrt(double(n)));
}

}  // namespace
