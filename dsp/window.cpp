#include "dsp/window.h"

#include <cmath>

#include "dsp/numeric.h"

namespace srx {

const char* WindowTypeName(int type) {
    switch (type) {
        case kWindowRectangular: return "Rektangular";
        case kWindowBartlett: return "Bartlett (Triangular)";
        case kWindowHanning: return "Hanning (Cos)";
        case kWindowHamming: return "Hamming";
        case kWindowBlackman: return "Blackman";
        case kWindowBlackmanHarris: return "Blackman-Harris";
        default: return "";
    }
}

namespace {

// Periodic window weight at argument x of a window of length L (sample
// index i only matters for the rectangular window).
double Weight(int type, double x, double L, long long i, long long n) {
    const double th = 2.0 * kPi * x / L;
    switch (type) {
        case kWindowRectangular: return i < n ? 1.0 : 0.0;
        case kWindowBartlett: return x < L / 2 ? 2.0 * x / L : 2.0 - 2.0 * x / L;
        case kWindowHanning: return 0.5 - 0.5 * std::cos(th);
        case kWindowHamming: return 0.54 - 0.46 * std::cos(th);
        case kWindowBlackman: return 0.42 - 0.5 * std::cos(th) + 0.08 * std::cos(2 * th);
        case kWindowBlackmanHarris:
            return 0.35875 - 0.48829 * std::cos(th) + 0.14128 * std::cos(2 * th) - 0.01168 * std::cos(3 * th);
        default: return 1.0;
    }
}

}  // namespace

void ApplyWindow(float* data, int log2n, int n, int type, int half) {
    if (type < kWindowRectangular || type > kWindowBlackmanHarris) return;
    if (log2n < 0 || log2n > 31) return;
    const long long size = 1LL << log2n;
    long long N = size;
    if (n > 0 && n < size) N = (n + 1LL) & ~1LL;
    const double L = half ? 2.0 * N : double(N);
    const double offset = half ? double(N) : 0.0;

    double g = 1.0;
    if (half) {
        // Normalise to the first strict maximum so that the peak keeps its value.
        long long p = 0;
        float best = std::fabs(data[0]);
        for (long long i = 1; i < N; ++i) {
            float v = std::fabs(data[2 * i]);
            if (v > best) {
                best = v;
                p = i;
            }
        }
        double w = Weight(type, offset + double(p), L, p, n);
        if (w > 0) g = 1.0 / w;
    }
    for (long long i = 0; i < N; ++i) {
        double w = Weight(type, offset + double(i), L, i, n) * g;
        data[2 * i] = float(double(data[2 * i]) * w);
    }
}

int SpectrumValueAt(const float* spectrum, int n, int sampleRate, double f, double* outFrequency, double* outPower,
                    double* outPhase, int interpolate) {
    const double b = double(sampleRate) / n;
    if (!(f / b >= 0.5) || !(sampleRate / f >= 2.0)) {
        *outFrequency = *outPower = *outPhase = 0.0;
        return 0;
    }
    long long k = (long long)RoundHalfAway(f / b);
    double re, im;
    if (!interpolate) {
        re = spectrum[2 * k];
        im = spectrum[2 * k + 1];
        *outFrequency = k * b;
    } else {
        long long k1, k2;
        if (k * b <= f) {
            if (k + 1 >= n / 2) k = n / 2 - 2;
            k1 = k;
            k2 = k + 1;
        } else {
            if (k < 1) k = 1;
            k1 = k - 1;
            k2 = k;
        }
        if (k1 < 0) {  // only reachable for n = 2, where there is one usable bin
            k1 = 0;
            k2 = 1;
        }
        const double f1 = k1 * b, f2 = k2 * b;
        re = InterpolateLogF(f, f1, spectrum[2 * k1], f2, spectrum[2 * k2]);
        im = InterpolateLogF(f, f1, spectrum[2 * k1 + 1], f2, spectrum[2 * k2 + 1]);
        *outFrequency = f;
    }
    *outPower = re * re / n + im * im / n;
    *outPhase = SafeAtan2(im, re);
    return 1;
}

}  // namespace srx
