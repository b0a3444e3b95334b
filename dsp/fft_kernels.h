#pragma once
// Butterfly passes written once over a small "vector of complex" interface V
// and compiled separately for each instruction set (scalar, SSE2, AVX2).
// Include only from a kernel translation unit, after its intrinsics header
// and target pragma; everything lands in an unnamed namespace so the copies
// built for different instruction sets can never be merged by the linker.
//
// V provides: type R holding W complex values; load/store (unaligned);
// loadw (W duplicated twiddle parts from a table group); dup (broadcast);
// add, sub, mul, fmadd(a,b,c)=a*b+c, fmsub(a,b,c)=a*b-c;
// cmul<Inv>(a, wr, wi) = a*w or a*conj(w); rot<Inv>(a) = a*(-i) or a*(+i);
// add_sub_rot<Inv>(t, z, p, m): p = t + rot(z), m = t - rot(z).
#include <cstddef>
#include <cstdint>

#include "dsp/fft_impl.h"

namespace srx::fft_detail {
namespace {

// DIF radix-4 butterfly. In: x0..x3 at stride s. Out, in bit-reversed slots
// so that every pass composes with one final binary bit reversal:
// a = X0, b = X2, c = X1, d = X3.
template <class V, bool Inv>
inline void Bfly4(typename V::R& a, typename V::R& b, typename V::R& c, typename V::R& d) {
    auto t0 = V::add(a, c), t1 = V::sub(a, c);
    auto t2 = V::add(b, d), bd = V::sub(b, d);
    a = V::add(t0, t2);
    b = V::sub(t0, t2);
    V::template add_sub_rot<Inv>(t1, bd, c, d);
}

// Product of two twiddles held as duplicated (re, im) parts.
template <class V>
inline void TwMul(typename V::R ar, typename V::R ai, typename V::R br, typename V::R bi, typename V::R& cr,
                  typename V::R& ci) {
    cr = V::fmsub(ar, br, V::mul(ai, bi));
    ci = V::fmadd(ar, bi, V::mul(ai, br));
}

// One radix-4 DIF pass over a sub-transform of L points (s = L/4 >= 4).
// The loop walks whole twiddle groups so the table pointer just advances.
template <class V, bool Inv>
inline void Radix4Pass(float* x, size_t L, const float* tab) {
    using R = typename V::R;
    constexpr int kVecs = 4 / V::W;
    const size_t s = L / 4;
    float* p0 = x;
    const size_t o1 = 2 * s, o2 = 4 * s, o3 = 6 * s;
    for (const float* const end = tab + (s / 4) * kR4GroupFloats; tab != end; tab += kR4GroupFloats) {
        for (int v = 0; v < kVecs; ++v, p0 += 2 * V::W) {
            const float* t = tab + 2 * V::W * v;
            R w1r = V::loadw(t), w1i = V::loadw(t + 8);
            R w2r = V::loadw(t + 16), w2i = V::loadw(t + 24);
            R w3r = V::loadw(t + 32), w3i = V::loadw(t + 40);
            R a = V::load(p0), b = V::load(p0 + o1);
            R c = V::load(p0 + o2), d = V::load(p0 + o3);
            Bfly4<V, Inv>(a, b, c, d);
            V::store(p0, a);
            V::store(p0 + o1, V::template cmul<Inv>(b, w2r, w2i));
            V::store(p0 + o2, V::template cmul<Inv>(c, w1r, w1i));
            V::store(p0 + o3, V::template cmul<Inv>(d, w3r, w3i));
        }
    }
}

// Radix-4 pass of size 16 (s = 4) over `count` consecutive blocks; the
// twiddles are the same for every block, so they stay in registers.
template <class V, bool Inv>
inline void Radix4Pass16(float* x, size_t count, const float* tab) {
    using R = typename V::R;
    constexpr int kVecs = 4 / V::W;
    R w1r[kVecs], w1i[kVecs], w2r[kVecs], w2i[kVecs], w3r[kVecs], w3i[kVecs];
    for (int v = 0; v < kVecs; ++v) {
        const float* t = tab + v * V::W * 2;
        w1r[v] = V::loadw(t);
        w1i[v] = V::loadw(t + 8);
        w2r[v] = V::loadw(t + 16);
        w2i[v] = V::loadw(t + 24);
        w3r[v] = V::loadw(t + 32);
        w3i[v] = V::loadw(t + 40);
    }
    for (size_t blk = 0; blk < count; ++blk, x += 32) {
        for (int v = 0; v < kVecs; ++v) {
            float* p = x + v * V::W * 2;
            R a = V::load(p), b = V::load(p + 8), c = V::load(p + 16), d = V::load(p + 24);
            Bfly4<V, Inv>(a, b, c, d);
            V::store(p, a);
            V::store(p + 8, V::template cmul<Inv>(b, w2r[v], w2i[v]));
            V::store(p + 16, V::template cmul<Inv>(c, w1r[v], w1i[v]));
            V::store(p + 24, V::template cmul<Inv>(d, w3r[v], w3i[v]));
        }
    }
}

// Radix-2 pass of size 8 (s = 4), used once when log2 N is odd.
template <class V, bool Inv>
inline void Radix2Pass8(float* x, size_t count, const float* tab) {
    using R = typename V::R;
    constexpr int kVecs = 4 / V::W;
    R wr[kVecs], wi[kVecs];
    for (int v = 0; v < kVecs; ++v) {
        wr[v] = V::loadw(tab + v * V::W * 2);
        wi[v] = V::loadw(tab + 8 + v * V::W * 2);
    }
    for (size_t blk = 0; blk < count; ++blk, x += 16) {
        for (int v = 0; v < kVecs; ++v) {
            float* p = x + v * V::W * 2;
            R a = V::load(p), b = V::load(p + 8);
            V::store(p, V::add(a, b));
            V::store(p + 8, V::template cmul<Inv>(V::sub(a, b), wr[v], wi[v]));
        }
    }
}

// Radix-16 DIF pass over columns j0 .. j1-1 of a sub-transform of 16*s
// points: a 16-point DFT down each column, then the twiddles w^(j k).
// `tab` holds the radix-16 twiddle groups starting at column j0.
template <class V, bool Inv>
inline void Radix16Columns(float* x, size_t s, size_t j0, size_t j1, const float* tab) {
    using R = typename V::R;
    // exp(-i pi e / 8) for e = 1, 2, 3, 6, 9: the inner twiddles of 16 = 4 x 4.
    const R c1r = V::dup(0.92387953251128674f), c1i = V::dup(-0.38268343236508978f);
    const R c2r = V::dup(0.70710678118654752f), c2i = V::dup(-0.70710678118654752f);
    const R c3r = V::dup(0.38268343236508978f), c3i = V::dup(-0.92387953251128674f);
    const R c6r = V::dup(-0.70710678118654752f), c6i = V::dup(-0.70710678118654752f);
    const R c9r = V::dup(-0.92387953251128674f), c9i = V::dup(0.38268343236508978f);
    for (size_t j = j0; j < j1; j += V::W) {
        R v[16];
#pragma GCC unroll 16
        for (int m = 0; m < 16; ++m) v[m] = V::load(x + 2 * (j + m * s));
#pragma GCC unroll 4
        for (int r = 0; r < 4; ++r) Bfly4<V, Inv>(v[r], v[r + 4], v[r + 8], v[r + 12]);
        v[5] = V::template cmul<Inv>(v[5], c2r, c2i);
        v[9] = V::template cmul<Inv>(v[9], c1r, c1i);
        v[13] = V::template cmul<Inv>(v[13], c3r, c3i);
        v[6] = V::template rot<Inv>(v[6]);
        v[10] = V::template cmul<Inv>(v[10], c2r, c2i);
        v[14] = V::template cmul<Inv>(v[14], c6r, c6i);
        v[7] = V::template cmul<Inv>(v[7], c6r, c6i);
        v[11] = V::template cmul<Inv>(v[11], c3r, c3i);
        v[15] = V::template cmul<Inv>(v[15], c9r, c9i);
#pragma GCC unroll 4
        for (int g = 0; g < 16; g += 4) Bfly4<V, Inv>(v[g], v[g + 1], v[g + 2], v[g + 3]);
        // Slot p now holds frequency rev4(p); it takes twiddle w^(j rev4(p)).
        // Only w^j, w^2j, w^4j, w^8j are stored, the rest are products, which
        // halves the table traffic of these memory-bound passes.
        const float* t = tab + ((j - j0) >> 2) * kR16GroupFloats + (j & 3) * 2;
        R r1 = V::loadw(t), i1 = V::loadw(t + 8), r2 = V::loadw(t + 16), i2 = V::loadw(t + 24);
        R r4 = V::loadw(t + 32), i4 = V::loadw(t + 40), r8 = V::loadw(t + 48), i8 = V::loadw(t + 56);
        R r3, i3, r5, i5, r6, i6, r7, i7;
        TwMul<V>(r1, i1, r2, i2, r3, i3);
        TwMul<V>(r1, i1, r4, i4, r5, i5);
        TwMul<V>(r2, i2, r4, i4, r6, i6);
        TwMul<V>(r3, i3, r4, i4, r7, i7);
        V::store(x + 2 * j, v[0]);
        V::store(x + 2 * (j + 8 * s), V::template cmul<Inv>(v[8], r1, i1));
        V::store(x + 2 * (j + 4 * s), V::template cmul<Inv>(v[4], r2, i2));
        V::store(x + 2 * (j + 12 * s), V::template cmul<Inv>(v[12], r3, i3));
        V::store(x + 2 * (j + 2 * s), V::template cmul<Inv>(v[2], r4, i4));
        V::store(x + 2 * (j + 10 * s), V::template cmul<Inv>(v[10], r5, i5));
        V::store(x + 2 * (j + 6 * s), V::template cmul<Inv>(v[6], r6, i6));
        V::store(x + 2 * (j + 14 * s), V::template cmul<Inv>(v[14], r7, i7));
        V::store(x + 2 * (j + 1 * s), V::template cmul<Inv>(v[1], r8, i8));
        R rk, ik;
        TwMul<V>(r1, i1, r8, i8, rk, ik);
        V::store(x + 2 * (j + 9 * s), V::template cmul<Inv>(v[9], rk, ik));
        TwMul<V>(r2, i2, r8, i8, rk, ik);
        V::store(x + 2 * (j + 5 * s), V::template cmul<Inv>(v[5], rk, ik));
        TwMul<V>(r3, i3, r8, i8, rk, ik);
        V::store(x + 2 * (j + 13 * s), V::template cmul<Inv>(v[13], rk, ik));
        TwMul<V>(r4, i4, r8, i8, rk, ik);
        V::store(x + 2 * (j + 3 * s), V::template cmul<Inv>(v[3], rk, ik));
        TwMul<V>(r5, i5, r8, i8, rk, ik);
        V::store(x + 2 * (j + 11 * s), V::template cmul<Inv>(v[11], rk, ik));
        TwMul<V>(r6, i6, r8, i8, rk, ik);
        V::store(x + 2 * (j + 7 * s), V::template cmul<Inv>(v[7], rk, ik));
        TwMul<V>(r7, i7, r8, i8, rk, ik);
        V::store(x + 2 * (j + 15 * s), V::template cmul<Inv>(v[15], rk, ik));
    }
}

template <class V, bool Inv>
inline void Radix16Pass(float* x, int logL, const float* tab) {
    const size_t s = size_t(1) << (logL - 4);
    if (tab) {
        Radix16Columns<V, Inv>(x, s, 0, s, tab);
        return;
    }
    // Huge sizes: twiddles for a chunk of columns at a time, kept on the stack.
    constexpr size_t kChunk = 64;
    float buf[kR16GroupFloats * kChunk / 4];
    for (size_t j0 = 0; j0 < s; j0 += kChunk) {
        FillR16Twiddles(buf, logL, j0, kChunk);
        Radix16Columns<V, Inv>(x, s, j0, j0 + kChunk, buf);
    }
}

// Every DIF stage except the last radix-4 one (which the final permutation
// performs) on a block of 2^logB points, pass by pass.
template <class V, bool Inv>
inline void Leaf(float* x, int logB, const Plan& p) {
    const size_t B = size_t(1) << logB;
    int logL = logB;
    for (; logL > 4; logL -= 2) {
        const size_t L = size_t(1) << logL;
        for (size_t o = 0; o < B; o += L) Radix4Pass<V, Inv>(x + 2 * o, L, p.r4[logL]);
    }
    if (logL == 4) Radix4Pass16<V, Inv>(x, B / 16, p.r4[4]);
    else if (logL == 3) Radix2Pass8<V, Inv>(x, B / 8, p.r2_8);
}

template <class V, bool Inv>
void Dif(float* x, int logL, const Plan& p) {
    if (logL <= kLeafLog) {
        Leaf<V, Inv>(x, logL, p);
        return;
    }
    if (UseRadix16(logL)) {
        Radix16Pass<V, Inv>(x, logL, p.r16[logL]);
        const size_t sub = size_t(1) << (logL - 4);
        for (int q = 0; q < 16; ++q) Dif<V, Inv>(x + 2 * q * sub, logL - 4, p);
    } else {
        Radix4Pass<V, Inv>(x, size_t(1) << logL, p.r4[logL]);
        const size_t sub = size_t(1) << (logL - 2);
        for (int q = 0; q < 4; ++q) Dif<V, Inv>(x + 2 * q * sub, logL - 2, p);
    }
}

// Portable last stage: the final radix-4 butterflies (with the 1/N of the
// inverse folded in), then the bit-reversal swaps tile by tile so that both
// partners of a swap come from two small blocks of rows.
template <bool Inv>
inline void FinalScalar(float* x, int log2n, float scale) {
    const size_t n = size_t(1) << log2n;
    for (size_t g = 0; g < n; g += 4) {
        float* q = x + 2 * g;
        float t0r = q[0] + q[4], t0i = q[1] + q[5];
        float t1r = q[0] - q[4], t1i = q[1] - q[5];
        float t2r = q[2] + q[6], t2i = q[3] + q[7];
        float dr = q[2] - q[6], di = q[3] - q[7];
        // t3 = (b - d) * (-i) forward, * (+i) inverse.
        float t3r = Inv ? -di : di, t3i = Inv ? dr : -dr;
        q[0] = (t0r + t2r) * scale;
        q[1] = (t0i + t2i) * scale;
        q[2] = (t0r - t2r) * scale;
        q[3] = (t0i - t2i) * scale;
        q[4] = (t1r + t3r) * scale;
        q[5] = (t1i + t3i) * scale;
        q[6] = (t1r - t3r) * scale;
        q[7] = (t1i - t3i) * scale;
    }
}

}  // namespace
}  // namespace srx::fft_detail
