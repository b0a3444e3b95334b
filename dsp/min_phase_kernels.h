#pragma once
// The per-bin loops of the cepstrum, kLanes bins per step. Included by
// min_phase.cpp (baseline instructions) and min_phase_avx2.cpp (under an AVX2
// target pragma); each gets its own copy in an unnamed namespace.
#include <cstddef>
#include <cstring>

#include "dsp/min_phase_math.h"

namespace srx::minphase_detail {
namespace {

constexpr double kLnFloorK = -87.4982335338;      // SafeLn's floor, ln 1e-38
constexpr double kLnCeilingK = 30.0;              // SafeLn's and SafeExp's ceiling
constexpr double kLnMagCap = 43.749116766886870;  // ln 1e19: Magnitude's cap

inline V4d Load4(const float* p) {
    V4f v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, V4d);
}
inline void Store4(float* p, V4d v) {
    const V4f f = __builtin_convertvector(v, V4f);
    std::memcpy(p, &f, sizeof f);
}
// kLanes interleaved complex values into their real and imaginary parts.
inline void LoadComplex4(const float* p, V4d* re, V4d* im) {
    V4f a, b;
    std::memcpy(&a, p, sizeof a);
    std::memcpy(&b, p + kLanes, sizeof b);
#if SRX_MINPHASE_LANES == 4
    *re = __builtin_convertvector(__builtin_shufflevector(a, b, 0, 2, 4, 6), V4d);
    *im = __builtin_convertvector(__builtin_shufflevector(a, b, 1, 3, 5, 7), V4d);
#else
    *re = __builtin_convertvector(__builtin_shufflevector(a, b, 0, 2), V4d);
    *im = __builtin_convertvector(__builtin_shufflevector(a, b, 1, 3), V4d);
#endif
}
inline void StoreComplex4(float* p, V4d re, V4d im) {
    const V4f r = __builtin_convertvector(re, V4f), i = __builtin_convertvector(im, V4f);
    V4f a, b;
#if SRX_MINPHASE_LANES == 4
    a = __builtin_shufflevector(r, i, 0, 4, 1, 5);
    b = __builtin_shufflevector(r, i, 2, 6, 3, 7);
#else
    a = __builtin_shufflevector(r, i, 0, 2);
    b = __builtin_shufflevector(r, i, 1, 3);
#endif
    std::memcpy(p, &a, sizeof a);
    std::memcpy(p + kLanes, &b, sizeof b);
}
inline V4d Index4(size_t k) {
    V4d v;
    for (int i = 0; i < kLanes; ++i) v[i] = double(k + i);
    return v;
}

template <class D>
inline D Clamp(D v, double lo, double hi) {
    v = Select(Greater(v, Splat<D>(hi)), Splat<D>(hi), v);
    return Select(Greater(Splat<D>(lo), v), Splat<D>(lo), v);
}

// L[k] = c0 + c1 ln k within SafeLn's range, k = k0..k1-1.
template <class D>
inline D LogLineAt(D k, double c0, double c1) {
    return Clamp(c0 + c1 * FastLnT(k), kLnFloorK, kLnCeilingK);
}
void LogLine(float* L, size_t k0, size_t k1, double c0, double c1) {
    size_t k = k0;
    for (; k + kLanes <= k1; k += kLanes) Store4(L + k, LogLineAt(Index4(k), c0, c1));
    for (; k < k1; ++k) L[k] = float(LogLineAt(double(k), c0, c1));
}

// The same from a table of ln k.
void LogLineTable(float* L, const double* lnk, size_t k0, size_t k1, double c0, double c1) {
    size_t k = k0;
    for (; k + kLanes <= k1; k += kLanes) {
        V4d v;
        std::memcpy(&v, lnk + k, sizeof v);
        Store4(L + k, Clamp(c0 + c1 * v, kLnFloorK, kLnCeilingK));
    }
    for (; k < k1; ++k) L[k] = float(Clamp(c0 + c1 * lnk[k], kLnFloorK, kLnCeilingK));
}

// SafeLn(Magnitude(re, im)) with every guard of the two.
template <class D>
inline D GuardedLogMagnitudeT(D re, D im) {
    using U = typename LaneOf<D>::U;
    const D s = re * re + im * im;
    const U tiny = Greater(Splat<D>(1e-76), s);
    D r = 0.5 * FastLnT(Select(tiny, Splat<D>(1.0), s));
    r = Select(Greater(s, Splat<D>(1e60)), Splat<D>(kLnCeilingK), r);
    r = Select(Greater(s, Splat<D>(1e76)), Splat<D>(kLnMagCap), r);
    r = Select(tiny, Splat<D>(-kLnMagCap), r);
    return Select(Equal(s, Splat<D>(0.0)), Splat<D>(kLnFloorK), r);
}
void LogMagnitude(const float* x, float* L, size_t k0, size_t k1) {
    size_t k = k0;
    for (; k + kLanes <= k1; k += kLanes) {
        V4d re, im;
        LoadComplex4(x + 2 * k, &re, &im);
        Store4(L + k, GuardedLogMagnitudeT(re, im));
    }
    for (; k < k1; ++k) L[k] = float(GuardedLogMagnitudeT(double(x[2 * k]), double(x[2 * k + 1])));
}

// x[k] = e^L[k] (cos phi[k], sin phi[k]), k = k0..k1-1.
void Polar(const float* L, const float* phi, float* x, size_t k0, size_t k1) {
    size_t k = k0;
    for (; k + kLanes <= k1; k += kLanes) {
        V4d s, c;
        FastSinCosT(Load4(phi + k), &s, &c);
        const V4d e = FastExpT(Load4(L + k));
        StoreComplex4(x + 2 * k, e * c, e * s);
    }
    for (; k < k1; ++k) {
        double s, c;
        FastSinCos(phi[k], &s, &c);
        const double e = FastExp(L[k]);
        x[2 * k] = float(e * c);
        x[2 * k + 1] = float(e * s);
    }
}

// One segment of a curve's spectrum: with w = a + b ln k, the level
// l0 + dl w (dB) and phase p0 + dp w become 10^(level/20) (cos, sin) with
// SafePow10's guards.
template <class D>
inline void CurveBin(D k, double a, double b, double l0, double dl, double p0, double dp, D* re, D* im) {
    const D w = a + b * FastLnT(k);
    const D e = (l0 + dl * w) * (0.05 * 2.302585092994046);
    D mag = FastExpT(Clamp(e, kLnFloorK, kLnCeilingK));
    mag = Select(Greater(e, Splat<D>(kLnCeilingK)), Splat<D>(1.0686474e13), mag);
    mag = Select(Greater(Splat<D>(kLnFloorK), e), Splat<D>(1e-38), mag);
    D s, c;
    FastSinCosT(p0 + dp * w, &s, &c);
    *re = mag * c;
    *im = mag * s;
}
void CurveSegment(float* x, size_t k0, size_t k1, double a, double b, double l0, double dl, double p0, double dp) {
    size_t k = k0;
    for (; k + kLanes <= k1; k += kLanes) {
        V4d re, im;
        CurveBin(Index4(k), a, b, l0, dl, p0, dp, &re, &im);
        StoreComplex4(x + 2 * k, re, im);
    }
    for (; k < k1; ++k) {
        double re, im;
        CurveBin(double(k), a, b, l0, dl, p0, dp, &re, &im);
        x[2 * k] = float(re);
        x[2 * k + 1] = float(im);
    }
}

// Untangling a real transform packed into a complex one of size M (see
// min_phase.cpp): with a + ib = Z[n], p + iq = Z[M-n],
//   Re X[n] = ((a + p) + cw (b + q) - sw (a - p)) / 2
//   Im X[n] = ((b - q) - cw (a - p) - sw (b + q)) / 2.
// Float arithmetic, as the transform itself.
inline void LoadMirrored4(const float* z, size_t M, size_t n, V4fq* a, V4fq* b, V4fq* p, V4fq* q) {
    V4fq u, v;
    std::memcpy(&u, z + 2 * n, sizeof u);
    std::memcpy(&v, z + 2 * n + 4, sizeof v);
    *a = __builtin_shufflevector(u, v, 0, 2, 4, 6);
    *b = __builtin_shufflevector(u, v, 1, 3, 5, 7);
    // Z[M-n-3] .. Z[M-n], reversed.
    std::memcpy(&u, z + 2 * (M - n - 3), sizeof u);
    std::memcpy(&v, z + 2 * (M - n - 3) + 4, sizeof v);
    *p = __builtin_shufflevector(u, v, 6, 4, 2, 0);
    *q = __builtin_shufflevector(u, v, 7, 5, 3, 1);
}
void UnpackReal(const float* z, size_t M, const float* cw, const float* sw, float scale, float* out, size_t n0,
                size_t n1) {
    size_t n = n0;
    for (; n + 4 <= n1; n += 4) {
        V4fq a, b, p, q, c, s;
        LoadMirrored4(z, M, n, &a, &b, &p, &q);
        std::memcpy(&c, cw + n, sizeof c);
        std::memcpy(&s, sw + n, sizeof s);
        const V4fq r = 0.5f * ((a + p) + c * (b + q) - s * (a - p)) * scale;
        std::memcpy(out + n, &r, sizeof r);
    }
    for (; n < n1; ++n) {
        const float a = z[2 * n], b = z[2 * n + 1];
        const float p = z[2 * (M - n)], q = z[2 * (M - n) + 1];
        out[n] = 0.5f * ((a + p) + cw[n] * (b + q) - sw[n] * (a - p)) * scale;
    }
}
void UnpackImag(const float* z, size_t M, const float* cw, const float* sw, float* out, size_t n0, size_t n1) {
    size_t n = n0;
    for (; n + 4 <= n1; n += 4) {
        V4fq a, b, p, q, c, s;
        LoadMirrored4(z, M, n, &a, &b, &p, &q);
        std::memcpy(&c, cw + n, sizeof c);
        std::memcpy(&s, sw + n, sizeof s);
        const V4fq r = 0.5f * ((b - q) - c * (a - p) - s * (b + q));
        std::memcpy(out + n, &r, sizeof r);
    }
    for (; n < n1; ++n) {
        const float a = z[2 * n], b = z[2 * n + 1];
        const float p = z[2 * (M - n)], q = z[2 * (M - n) + 1];
        out[n] = 0.5f * ((b - q) - cw[n] * (a - p) - sw[n] * (b + q));
    }
}

}  // namespace
}  // namespace srx::minphase_detail
