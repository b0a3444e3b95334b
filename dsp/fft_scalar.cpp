// Portable kernels: one complex value per "vector". Used on non-x86 builds.
#include "dsp/fft_kernels.h"

namespace srx::fft_detail {
namespace {

struct VScalar {
    struct R {
        float re, im;
    };
    static constexpr int W = 1;
    static R load(const float* p) { return {p[0], p[1]}; }
    static void store(float* p, R a) {
        p[0] = a.re;
        p[1] = a.im;
    }
    static R loadw(const float* p) { return {p[0], p[1]}; }
    static R dup(float v) { return {v, v}; }
    static R add(R a, R b) { return {a.re + b.re, a.im + b.im}; }
    static R sub(R a, R b) { return {a.re - b.re, a.im - b.im}; }
    static R mul(R a, R b) { return {a.re * b.re, a.im * b.im}; }
    static R fmadd(R a, R b, R c) { return {a.re * b.re + c.re, a.im * b.im + c.im}; }
    static R fmsub(R a, R b, R c) { return {a.re * b.re - c.re, a.im * b.im - c.im}; }
    // wr / wi carry the twiddle's real / imaginary part in both fields.
    template <bool Inv>
    static R cmul(R a, R wr, R wi) {
        if (Inv) return {a.re * wr.re + a.im * wi.re, a.im * wr.re - a.re * wi.re};
        return {a.re * wr.re - a.im * wi.re, a.im * wr.re + a.re * wi.re};
    }
    template <bool Inv>
    static R rot(R a) {
        if (Inv) return {-a.im, a.re};
        return {a.im, -a.re};
    }
    template <bool Inv>
    static void add_sub_rot(R t, R z, R& p, R& m) {
        const R r = rot<Inv>(z);
        p = add(t, r);
        m = sub(t, r);
    }
};

}  // namespace

void TransformScalar(float* data, const Plan& p, bool inverse) {
    if (inverse) {
        Dif<VScalar, true>(data, p.log2n, p);
        FinalScalar<true>(data, p.log2n, 1.0f / float(size_t(1) << p.log2n));
    } else {
        Dif<VScalar, false>(data, p.log2n, p);
        FinalScalar<false>(data, p.log2n, 1.0f);
    }
    PermuteScalar(data, p.log2n);
}

}  // namespace srx::fft_detail
