// SSE2 kernels, two complex values per register: the x86-64 baseline, used
// when the CPU lacks AVX2/FMA.
#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>

#include "dsp/fft_kernels.h"

namespace srx::fft_detail {
namespace {

struct VSse2 {
    using R = __m128;
    static constexpr int W = 2;
    static R load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, R a) { _mm_storeu_ps(p, a); }
    static R loadw(const float* p) { return _mm_loadu_ps(p); }
    static R dup(float v) { return _mm_set1_ps(v); }
    static R add(R a, R b) { return _mm_add_ps(a, b); }
    static R sub(R a, R b) { return _mm_sub_ps(a, b); }
    static R mul(R a, R b) { return _mm_mul_ps(a, b); }
    static R fmadd(R a, R b, R c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }
    static R fmsub(R a, R b, R c) { return _mm_sub_ps(_mm_mul_ps(a, b), c); }
    static R swap(R a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1)); }
    static R neg_even() { return _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN)); }
    static R neg_odd() { return _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0)); }
    template <bool Inv>
    static R cmul(R a, R wr, R wi) {
        R t = _mm_mul_ps(swap(a), wi);  // (im*wi, re*wi)
        t = _mm_xor_ps(t, Inv ? neg_odd() : neg_even());
        return _mm_add_ps(_mm_mul_ps(a, wr), t);
    }
    template <bool Inv>
    static R rot(R a) {
        return _mm_xor_ps(swap(a), Inv ? neg_even() : neg_odd());
    }
    template <bool Inv>
    static void add_sub_rot(R t, R z, R& p, R& m) {
        const R r = rot<Inv>(z);
        p = _mm_add_ps(t, r);
        m = _mm_sub_ps(t, r);
    }
};

}  // namespace

void TransformSse2(float* data, const Plan& p, bool inverse) {
    if (inverse) {
        Dif<VSse2, true>(data, p.log2n, p);
        FinalScalar<true>(data, p.log2n, 1.0f / float(size_t(1) << p.log2n));
    } else {
        Dif<VSse2, false>(data, p.log2n, p);
        FinalScalar<false>(data, p.log2n, 1.0f);
    }
    PermuteScalar(data, p.log2n);
}

}  // namespace srx::fft_detail
#endif
