#pragma once
// Branch-free logarithm, exponential and sine/cosine in double precision for
// the per-bin loops of the cepstrum. Written once over a "lane" type that is
// either a plain double or a GCC/Clang vector of doubles, with bit operations
// and mask selects only, so the same text gives the scalar tail and the SIMD
// body. Accurate to a few units in the last place of a double, far below the
// float the results are stored in. Inputs outside the stated ranges are the
// caller's business.
//
// Everything is in an unnamed namespace: the kernels are compiled once for
// the baseline and once for AVX2, and the copies must not be merged.
#include <cstdint>
#include <type_traits>

namespace srx::minphase_detail {
namespace {

// Lanes per vector: 2 (SSE2, the x86-64 baseline) unless the including file
// compiles for wider registers.
#ifndef SRX_MINPHASE_LANES
#define SRX_MINPHASE_LANES 2
#endif
constexpr int kLanes = SRX_MINPHASE_LANES;
typedef double V4d __attribute__((vector_size(8 * SRX_MINPHASE_LANES)));
typedef uint64_t V4u __attribute__((vector_size(8 * SRX_MINPHASE_LANES)));
typedef float V4f __attribute__((vector_size(4 * SRX_MINPHASE_LANES)));
typedef float V4fq __attribute__((vector_size(16)));  // four floats in any build

// A builtin rather than std::bit_cast: the standard template would be
// compiled outside the AVX2 target region and pass vectors the baseline way.
template <class To, class From>
inline To BitCast(From x) {
    return __builtin_bit_cast(To, x);
}

template <class D>
struct LaneOf;
template <>
struct LaneOf<double> {
    using U = uint64_t;
};
template <>
struct LaneOf<V4d> {
    using U = V4u;
};

template <class D>
inline D Splat(double v) {
    if constexpr (std::is_same_v<D, double>) return v;
    else return D{} + v;
}
template <class U>
inline U SplatU(uint64_t v) {
    if constexpr (std::is_same_v<U, uint64_t>) return v;
    else return U{} + v;
}

// All-ones where a > b.
template <class D, class U = typename LaneOf<D>::U>
inline U Greater(D a, D b) {
    if constexpr (std::is_same_v<D, double>) return a > b ? ~uint64_t(0) : 0;
    else return U(a > b);
}
template <class D, class U = typename LaneOf<D>::U>
inline U Equal(D a, D b) {
    if constexpr (std::is_same_v<D, double>) return a == b ? ~uint64_t(0) : 0;
    else return U(a == b);
}
template <class D, class U = typename LaneOf<D>::U>
inline D Select(U mask, D a, D b) {
    return BitCast<D>((mask & BitCast<U>(a)) | (~mask & BitCast<U>(b)));
}

// ln x for positive, finite, normal x.
template <class D>
inline D FastLnT(D x) {
    using U = typename LaneOf<D>::U;
    const U bits = BitCast<U>(x);
    U e = bits >> 52;
    D m = BitCast<D>((bits & SplatU<U>(0x000FFFFFFFFFFFFFull)) | SplatU<U>(0x3FF0000000000000ull));
    // Mantissa into [sqrt(1/2), sqrt(2)), where the series converges fastest.
    const U high = Greater(m, Splat<D>(1.4142135623730951));
    m = Select(high, m * 0.5, m);
    e = e + (high & SplatU<U>(1));
    const D k = BitCast<D>(e | SplatU<U>(0x4330000000000000ull)) - Splat<D>(4503599627370496.0 + 1023.0);
    const D f = m - 1.0;
    const D s = f / (f + 2.0);
    const D z = s * s;
    const D w = z * z;
    const D t1 = w * (3.999999999940941908e-01 + w * (2.222219843214978396e-01 + w * 1.531383769920937332e-01));
    const D t2 = z * (6.666666666666735130e-01 +
                      w * (2.857142874366239149e-01 + w * (1.818357216161805012e-01 + w * 1.479819860511658591e-01)));
    const D r = t1 + t2;
    const D hfsq = 0.5 * f * f;
    return k * 6.93147180369123816490e-01 - ((hfsq - (s * (hfsq + r) + k * 1.90821492927058770002e-10)) - f);
}

// e^x for |x| < 700.
template <class D>
inline D FastExpT(D x) {
    using U = typename LaneOf<D>::U;
    constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52: rounds to an integer
    const D t = x * 1.44269504088896338700e+00 + kShift;
    const D n = t - kShift;
    const U ni = BitCast<U>(t) - SplatU<U>(BitCast<uint64_t>(kShift));
    const D r = (x - n * 6.93147180369123816490e-01) - n * 1.90821492927058770002e-10;
    // Taylor series to r^12 on |r| <= ln2 / 2: remainder below 2e-16.
    D p = Splat<D>(1.0 / 479001600.0);
    p = p * r + 1.0 / 39916800.0;
    p = p * r + 1.0 / 3628800.0;
    p = p * r + 1.0 / 362880.0;
    p = p * r + 1.0 / 40320.0;
    p = p * r + 1.0 / 5040.0;
    p = p * r + 1.0 / 720.0;
    p = p * r + 1.0 / 120.0;
    p = p * r + 1.0 / 24.0;
    p = p * r + 1.0 / 6.0;
    p = p * r + 0.5;
    p = p * r + 1.0;
    p = p * r + 1.0;
    return p * BitCast<D>((ni + SplatU<U>(1023)) << 52);
}

// sin x and cos x for |x| < 1e6.
template <class D>
inline void FastSinCosT(D x, D* sinOut, D* cosOut) {
    using U = typename LaneOf<D>::U;
    constexpr double kShift = 6755399441055744.0;
    const D t = x * 6.36619772367581382433e-01 + kShift;  // x * 2/pi
    const D q = t - kShift;
    const U qi = BitCast<U>(t) - SplatU<U>(BitCast<uint64_t>(kShift));
    // x - q pi/2 in three parts, so that the reduction stays exact.
    const D r =
        ((x - q * 1.57079632673412561417e+00) - q * 6.07710050630396597660e-11) - q * 2.02226624879595063154e-21;
    const D z = r * r;
    const D sr = r + r * z *
                         (-1.66666666666666324348e-01 +
                          z * (8.33333333332248946124e-03 +
                               z * (-1.98412698298579493134e-04 +
                                    z * (2.75573137070700676789e-06 +
                                         z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
    const D cr =
        (1.0 - 0.5 * z) + z * z *
                              (4.16666666666666019037e-02 +
                               z * (-1.38888888888741095749e-03 +
                                    z * (2.48015872894767294178e-05 +
                                         z * (-2.75573143513906633035e-07 +
                                              z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
    // Quadrant q: odd swaps the two; bit 1 of q (of q + 1) flips sin (cos).
    const U swap = SplatU<U>(0) - (qi & SplatU<U>(1));
    const U s = BitCast<U>(Select(swap, cr, sr)) ^ ((qi & SplatU<U>(2)) << 62);
    const U c = BitCast<U>(Select(swap, sr, cr)) ^ (((qi + SplatU<U>(1)) & SplatU<U>(2)) << 62);
    *sinOut = BitCast<D>(s);
    *cosOut = BitCast<D>(c);
}

inline double FastLn(double x) { return FastLnT<double>(x); }
inline double FastExp(double x) { return FastExpT<double>(x); }
inline void FastSinCos(double x, double* s, double* c) { FastSinCosT<double>(x, s, c); }

}  // namespace
}  // namespace srx::minphase_detail
