#pragma once
// Branch-free logarithm, exponential and sine/cosine in double precision for
// the per-bin loops of the cepstrum. Written with bit operations and
// selects only, so loops over arrays vectorise; accurate to a few units in
// the last place of a double, far below the float the results are stored in.
// Inputs outside the stated ranges are the caller's business.
#include <bit>
#include <cstdint>

namespace srx::minphase_detail {

// ln x for positive, finite, normal x.
inline double FastLn(double x) {
    constexpr double kLn2Hi = 6.93147180369123816490e-01;
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    constexpr double kSqrt2 = 1.4142135623730951;
    uint64_t bits = std::bit_cast<uint64_t>(x);
    uint64_t e = bits >> 52;
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    // Mantissa into [sqrt(1/2), sqrt(2)), where the series converges fastest.
    const bool high = m > kSqrt2;
    m = high ? m * 0.5 : m;
    e = high ? e + 1 : e;
    const double k =
        std::bit_cast<double>(e | 0x4330000000000000ull) - 4503599627370496.0 - 1023.0;
    const double f = m - 1.0;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (3.999999999940941908e-01 +
                           w * (2.222219843214978396e-01 + w * 1.531383769920937332e-01));
    const double t2 =
        z * (6.666666666666735130e-01 +
             w * (2.857142874366239149e-01 +
                  w * (1.818357216161805012e-01 + w * 1.479819860511658591e-01)));
    const double r = t1 + t2;
    const double hfsq = 0.5 * f * f;
    return k * kLn2Hi - ((hfsq - (s * (hfsq + r) + k * kLn2Lo)) - f);
}

// e^x for |x| < 700.
inline double FastExp(double x) {
    constexpr double kInvLn2 = 1.44269504088896338700e+00;
    constexpr double kLn2Hi = 6.93147180369123816490e-01;
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52: rounds to an integer
    const double t = x * kInvLn2 + kShift;
    const double n = t - kShift;
    const uint64_t ni = std::bit_cast<uint64_t>(t) - std::bit_cast<uint64_t>(kShift);
    const double r = (x - n * kLn2Hi) - n * kLn2Lo;  // |r| <= ln2 / 2
    // Taylor series to r^12: the remainder is below 2e-16 relative.
    double p = 1.0 / 479001600.0;
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
    const double scale = std::bit_cast<double>((ni + 1023) << 52);
    return p * scale;
}

// sin x and cos x for |x| < 1e6.
inline void FastSinCos(double x, double* sinOut, double* cosOut) {
    constexpr double kTwoOverPi = 6.36619772367581382433e-01;
    constexpr double kPio2Hi = 1.57079632673412561417e+00;  // first 33 bits of pi/2
    constexpr double kPio2Mid = 6.07710050630396597660e-11;
    constexpr double kPio2Lo = 2.02226624879595063154e-21;
    constexpr double kShift = 6755399441055744.0;
    const double t = x * kTwoOverPi + kShift;
    const double q = t - kShift;
    const uint64_t qi = std::bit_cast<uint64_t>(t) - std::bit_cast<uint64_t>(kShift);
    const double r = ((x - q * kPio2Hi) - q * kPio2Mid) - q * kPio2Lo;  // |r| <= pi/4
    const double z = r * r;
    const double sr =
        r + r * z *
                (-1.66666666666666324348e-01 +
                 z * (8.33333333332248946124e-03 +
                      z * (-1.98412698298579493134e-04 +
                           z * (2.75573137070700676789e-06 +
                                z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
    const double cr =
        1.0 - 0.5 * z +
        z * z *
            (4.16666666666666019037e-02 +
             z * (-1.38888888888741095749e-03 +
                  z * (2.48015872894767294178e-05 +
                       z * (-2.75573143513906633035e-07 +
                            z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
    // Quadrant q: odd swaps the two, bit 1 (and bit 1 of q + 1) flips signs.
    const uint64_t swap = 0 - (qi & 1);
    const uint64_t sb = std::bit_cast<uint64_t>(sr), cb = std::bit_cast<uint64_t>(cr);
    uint64_t s = (cb & swap) | (sb & ~swap);
    uint64_t c = (sb & swap) | (cb & ~swap);
    s ^= (qi & 2) << 62;
    c ^= ((qi + 1) & 2) << 62;
    *sinOut = std::bit_cast<double>(s);
    *cosOut = std::bit_cast<double>(c);
}

}  // namespace srx::minphase_detail
