// AVX2/FMA kernels, four complex values per register. Selected at run time,
// so this file is compiled with the target pragma instead of global flags;
// the Windows build must still start on CPUs without AVX2.
#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#if defined(__clang__)
// clang ignores the GCC target pragma; its attribute pragma does the same.
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

#include "dsp/fft_kernels.h"

namespace srx::fft_detail {
namespace {

struct VAvx2 {
    using R = __m256;
    static constexpr int W = 4;
    static R load(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, R a) { _mm256_storeu_ps(p, a); }
    static R loadw(const float* p) { return _mm256_loadu_ps(p); }
    static R dup(float v) { return _mm256_set1_ps(v); }
    static R add(R a, R b) { return _mm256_add_ps(a, b); }
    static R sub(R a, R b) { return _mm256_sub_ps(a, b); }
    static R mul(R a, R b) { return _mm256_mul_ps(a, b); }
    static R fmadd(R a, R b, R c) { return _mm256_fmadd_ps(a, b, c); }
    static R fmsub(R a, R b, R c) { return _mm256_fmsub_ps(a, b, c); }
    static R swap(R a) { return _mm256_permute_ps(a, 0xB1); }
    static R neg_even() { return _mm256_castsi256_ps(_mm256_set1_epi64x(0x80000000LL)); }
    static R neg_odd() { return _mm256_castsi256_ps(_mm256_set1_epi64x(INT64_MIN)); }
    template <bool Inv>
    static R cmul(R a, R wr, R wi) {
        // even lanes re*wr -/+ im*wi, odd lanes im*wr +/- re*wi
        R t = _mm256_mul_ps(swap(a), wi);
        return Inv ? _mm256_fmsubadd_ps(a, wr, t) : _mm256_fmaddsub_ps(a, wr, t);
    }
    template <bool Inv>
    static R rot(R a) {
        return _mm256_xor_ps(swap(a), Inv ? neg_even() : neg_odd());
    }
    // The sign flip of the rotation rides on addsub / fmsubadd (times 1,
    // exact) instead of costing an extra xor.
    template <bool Inv>
    static void add_sub_rot(R t, R z, R& p, R& m) {
        const R u = swap(z);
        const R one = _mm256_set1_ps(1.0f);
        const R plus = _mm256_fmsubadd_ps(t, one, u);  // even t+u, odd t-u
        const R minus = _mm256_addsub_ps(t, u);        // even t-u, odd t+u
        p = Inv ? minus : plus;
        m = Inv ? plus : minus;
    }
};

// Transpose of a 4x4 block of complex values (one row per register).
inline void Transpose4(__m256& a, __m256& b, __m256& c, __m256& d) {
    __m256d t0 = _mm256_unpacklo_pd(_mm256_castps_pd(a), _mm256_castps_pd(b));
    __m256d t1 = _mm256_unpackhi_pd(_mm256_castps_pd(a), _mm256_castps_pd(b));
    __m256d t2 = _mm256_unpacklo_pd(_mm256_castps_pd(c), _mm256_castps_pd(d));
    __m256d t3 = _mm256_unpackhi_pd(_mm256_castps_pd(c), _mm256_castps_pd(d));
    a = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
    b = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
    c = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
    d = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
}

// Bit reversal of the low `bits` bits of v.
inline size_t ReverseBits(size_t v, int bits) {
    size_t r = 0;
    for (int k = 0; k < bits; ++k) r |= ((v >> k) & 1) << (bits - 1 - k);
    return r;
}

// Index bits of a point: (a: Q high bits, b: middle bits, c: Q low bits).
// Bit reversal maps (a, b, c) to (rev c, rev b, rev a), so the tile of 2^Q
// rows by 2^Q points with fixed b swaps with the tile of rev b, transposed.
// Tiles are handled as 4x4 sub-blocks of complex values: four loads, one
// register transpose, four stores. After the transpose the four points of
// each final radix-4 butterfly (consecutive c) sit in the same lane of the
// four registers, so that stage comes almost free, and so does the inverse's
// scaling.
//
// Register r holds row a = rev2(r) * 2^(Q-2) + alo: the transposed rows then
// come out with their columns already in bit-reversed order. Register q of
// the result (the low two bits of c) belongs in row 2^(Q-2) rev2(q) + rev(chi).
template <int Q, bool Dft, bool Inv, bool Scale>
inline void SubBlock(float* src, size_t rs, __m256 scale, __m256& r0, __m256& r1, __m256& r2, __m256& r3) {
    const size_t step = 2 * (rs << (Q - 2));
    r0 = _mm256_loadu_ps(src);
    r1 = _mm256_loadu_ps(src + 2 * step);
    r2 = _mm256_loadu_ps(src + step);
    r3 = _mm256_loadu_ps(src + 3 * step);
    Transpose4(r0, r1, r2, r3);
    if (Dft) Bfly4<VAvx2, Inv>(r0, r1, r2, r3);  // now X0, X2, X1, X3
    if (Scale) {
        r0 = _mm256_mul_ps(r0, scale);
        r1 = _mm256_mul_ps(r1, scale);
        r2 = _mm256_mul_ps(r2, scale);
        r3 = _mm256_mul_ps(r3, scale);
    }
}

template <int Q>
inline void StoreSubBlock(float* dst, size_t rs, __m256 r0, __m256 r1, __m256 r2, __m256 r3) {
    const size_t step = 2 * (rs << (Q - 2));
    _mm256_storeu_ps(dst, r0);
    _mm256_storeu_ps(dst + 2 * step, r1);
    _mm256_storeu_ps(dst + step, r2);
    _mm256_storeu_ps(dst + 3 * step, r3);
}

// Needs log2n >= 2 Q.
template <int Q, bool Dft, bool Inv, bool Scale>
void FinalPermuteQ(float* x, int log2n, float scale_value) {
    constexpr uint32_t kSub = 1u << (Q - 2);  // sub-blocks per tile side
    const int mbits = log2n - 2 * Q;
    const size_t rs = size_t(1) << (log2n - Q);  // row stride in points
    const size_t tiles = size_t(1) << mbits;
    const __m256 scale = _mm256_set1_ps(scale_value);
    for (size_t b = 0; b < tiles; ++b) {
        const size_t b2 = ReverseBits(b, mbits);
        if (b2 < b) continue;
        float* t1 = x + 2 * (b << Q);
        float* t2 = x + 2 * (b2 << Q);
        for (uint32_t alo = 0; alo < kSub; ++alo) {
            for (uint32_t chi = 0; chi < kSub; ++chi) {
                // Partner sub-block in tile b2: (alo', chi') = (rev chi, rev alo).
                const uint32_t alo2 = uint32_t(ReverseBits(chi, Q - 2));
                const uint32_t chi2 = uint32_t(ReverseBits(alo, Q - 2));
                if (b == b2 && alo * kSub + chi > alo2 * kSub + chi2) continue;
                float* s1 = t1 + 2 * (alo * rs + 4 * chi);
                float* s2 = t2 + 2 * (alo2 * rs + 4 * chi2);
                __m256 a0, a1, a2, a3;
                SubBlock<Q, Dft, Inv, Scale>(s1, rs, scale, a0, a1, a2, a3);
                if (s1 == s2) {
                    StoreSubBlock<Q>(s1, rs, a0, a1, a2, a3);
                    continue;
                }
                __m256 b0, b1, b2r, b3;
                SubBlock<Q, Dft, Inv, Scale>(s2, rs, scale, b0, b1, b2r, b3);
                StoreSubBlock<Q>(s2, rs, a0, a1, a2, a3);
                StoreSubBlock<Q>(s1, rs, b0, b1, b2r, b3);
            }
        }
    }
}

// Tiles of 8x8 points keep a tile pair to 16 cache lines, eight per cache
// set even when the rows lie a multiple of 4 KiB apart; larger tiles
// overflow the set and lose lines before their second half is used.
template <bool Dft, bool Inv, bool Scale>
void FinalPermute(float* x, int log2n, float scale_value) {
    if (log2n >= 13) FinalPermuteQ<3, Dft, Inv, Scale>(x, log2n, scale_value);
    else FinalPermuteQ<4, Dft, Inv, Scale>(x, log2n, scale_value);
}

}  // namespace

void TransformAvx2(float* data, const Plan& p, bool inverse) {
    if (inverse) {
        Dif<VAvx2, true>(data, p.log2n, p);
        FinalPermute<true, true, true>(data, p.log2n, 1.0f / float(size_t(1) << p.log2n));
    } else {
        Dif<VAvx2, false>(data, p.log2n, p);
        FinalPermute<true, false, false>(data, p.log2n, 1.0f);
    }
}

void PermuteAvx2(float* data, int log2n) { FinalPermute<false, false, false>(data, log2n, 1.0f); }

}  // namespace srx::fft_detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
