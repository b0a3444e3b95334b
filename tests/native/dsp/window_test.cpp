#include "dsp/window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "dsp/numeric.h"

using namespace srx;

namespace {

std::vector<float> Buffer(int log2n, float re, float im) {
    std::vector<float> b(2 * (size_t(1) << log2n) + 1);
    for (size_t i = 0; i < (size_t(1) << log2n); ++i) {
        b[2 * i] = re;
        b[2 * i + 1] = im;
    }
    return b;
}

}  // namespace

TEST(Window, RectangularCoversTheCountRoundedUpToEven) {
    auto b = Buffer(12, 1.0f, 0.5f);
    ApplyWindow(b.data(), 12, 1001, kWindowRectangular, 0);
    EXPECT_EQ(b[2 * 1000], 1.0f);
    EXPECT_EQ(b[2 * 1001], 0.0f);  // inside the 1002-sample window but past n
    EXPECT_EQ(b[2 * 1002], 1.0f);  // outside the window: untouched
    for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(b[2 * i + 1], 0.5f) << i;
}

TEST(Window, FullWindowsHaveTheirPeriodicShapes) {
    const int log2n = 6, N = 64;
    for (int type = kWindowBartlett; type <= kWindowBlackmanHarris; ++type) {
        auto b = Buffer(log2n, 1.0f, 0.0f);
        ApplyWindow(b.data(), log2n, 0, type, 0);
        // Periodic windows peak at N/2 with weight 1 (Hamming too) and are
        // symmetric about it.
        EXPECT_NEAR(b[2 * (N / 2)], 1.0, 1e-6) << type;
        for (int i = 1; i < N / 2; ++i) ASSERT_NEAR(b[2 * i], b[2 * (N - i)], 1e-6) << type;
        for (int i = 1; i <= N / 2; ++i) ASSERT_GE(b[2 * i], b[2 * (i - 1)]) << type;
    }
    auto hann = Buffer(log2n, 1.0f, 0.0f);
    ApplyWindow(hann.data(), log2n, 0, kWindowHanning, 0);
    double sum = 0;
    for (int i = 0; i < N; ++i) sum += hann[2 * i];
    EXPECT_NEAR(sum, N / 2.0, 1e-4);  // the periodic form sums to exactly N/2
    EXPECT_EQ(hann[0], 0.0f);
}

TEST(Window, HalfWindowKeepsThePeakAndFallsAfterIt) {
    const int log2n = 8, N = 256;
    // Peak at index 0: untouched there, falling to nearly 0 at the end.
    auto b = Buffer(log2n, 2.0f, 0.0f);
    b[0] = 4.0f;
    ApplyWindow(b.data(), log2n, 0, kWindowHanning, 1);
    EXPECT_EQ(b[0], 4.0f);
    EXPECT_LT(b[2 * (N - 1)], 2.0 * 2e-4);
    for (int i = 1; i < N; ++i) ASSERT_LE(b[2 * i], b[2 * (i - 1)]);

    // Peak at p > 0 (the first of equal maxima): it keeps its value and the
    // samples before it grow.
    auto c = Buffer(log2n, 1.0f, 0.0f);
    c[2 * 40] = -8.0f;
    c[2 * 90] = 8.0f;
    ApplyWindow(c.data(), log2n, 0, kWindowBlackman, 1);
    EXPECT_FLOAT_EQ(c[2 * 40], -8.0f);
    EXPECT_GT(c[2 * 10], 1.0f);
    EXPECT_LT(c[2 * 90], 8.0f);
}

TEST(Window, UnknownTypeLeavesTheDataAlone) {
    auto b = Buffer(5, 0.75f, -0.25f);
    auto before = b;
    ApplyWindow(b.data(), 5, 0, 6, 0);
    ApplyWindow(b.data(), 5, 0, -1, 1);
    EXPECT_EQ(b, before);
    EXPECT_STREQ(WindowTypeName(6), "");
}

namespace {

// The forward transform of A*cos(2*pi*k0*n/N + phi) by a direct DFT, so that
// this test does not depend on the FFT.
std::vector<float> CosineSpectrum(int N, int k0, double A, double phi) {
    std::vector<float> s(2 * N + 1);
    for (int k = 0; k < N; ++k) {
        std::complex<double> acc = 0;
        for (int n = 0; n < N; ++n)
            acc += A * std::cos(2 * kPi * k0 * n / N + phi) * std::polar(1.0, -2 * kPi * k * n / N);
        s[2 * k] = float(acc.real());
        s[2 * k + 1] = float(acc.imag());
    }
    return s;
}

}  // namespace

TEST(Window, SpectrumValueAtReadsTheNearestBinInterpolatesOrRefuses) {
    const int N = 256, fs = 25600;  // 100 Hz per bin
    auto s = CosineSpectrum(N, 10, 0.5, 0.3);
    double f, p, ph;
    ASSERT_EQ(SpectrumValueAt(s.data(), N, fs, 1040.0, &f, &p, &ph, 0), 1);
    EXPECT_DOUBLE_EQ(f, 1000.0);
    EXPECT_NEAR(p, 0.5 * 0.5 * N / 4, 1e-3);  // |A*N/2|^2 / N
    EXPECT_NEAR(ph, 0.3, 1e-5);

    // Half way (on a log axis) towards an empty bin halves the amplitude.
    ASSERT_EQ(SpectrumValueAt(s.data(), N, fs, std::sqrt(1000.0 * 1100.0), &f, &p, &ph, 1), 1);
    EXPECT_NEAR(p, 0.25 * 0.25 * N / 4, 1e-3);

    // Near Nyquist the last two usable bins are used.
    ASSERT_EQ(SpectrumValueAt(s.data(), N, fs, 12790.0, &f, &p, &ph, 1), 1);
    EXPECT_DOUBLE_EQ(f, 12790.0);

    // Beyond Nyquist, or below the first bin when interpolating: refused
    // with zeros, not read past the ends.
    EXPECT_EQ(SpectrumValueAt(s.data(), N, fs, 12900.0, &f, &p, &ph, 0), 0);
    EXPECT_TRUE(f == 0 && p == 0 && ph == 0);
    EXPECT_EQ(SpectrumValueAt(s.data(), N, fs, 40.0, &f, &p, &ph, 1), 0);
    EXPECT_EQ(SpectrumValueAt(s.data(), N, fs, 50.0, &f, &p, &ph, 1), 1);
}
