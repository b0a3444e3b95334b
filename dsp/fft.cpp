// FFT front end: argument checks, lazily built shared twiddle tables, and the
// choice of kernel set. The butterflies live in fft_kernels.h.
#include "dsp/fft.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "dsp/fft_impl.h"

namespace srx {
namespace fft_detail {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// exp(-2 pi i k / 2^logL), with k reduced first so huge sizes stay exact.
inline void Twiddle(uint64_t k, int logL, double& re, double& im) {
    const uint64_t mask = (uint64_t(1) << logL) - 1;
    const double a = -kTwoPi * double(k & mask) / double(uint64_t(1) << logL);
    re = std::cos(a);
    im = std::sin(a);
}

// Tables and plans are immutable once published; building happens under one
// mutex (rarely, once per size) and readers only do an acquire load.
std::mutex g_build_mutex;
std::atomic<const Plan*> g_plans[32];
const float* g_r4[32];
const float* g_r16[32];
const float* g_r2_8;

const float* BuildR4(int logL) {
    const size_t s = size_t(1) << (logL - 2);
    float* t = new float[kR4GroupFloats * (s / 4)];
    for (size_t j = 0; j < s; ++j) {
        float* g = t + (j >> 2) * kR4GroupFloats + (j & 3) * 2;
        for (int f = 0; f < 3; ++f) {
            double re, im;
            Twiddle(uint64_t(j) * (f + 1), logL, re, im);
            g[16 * f] = g[16 * f + 1] = float(re);
            g[16 * f + 8] = g[16 * f + 9] = float(im);
        }
    }
    return t;
}

const float* BuildR2_8() {
    float* t = new float[16];
    for (int j = 0; j < 4; ++j) {
        double re, im;
        Twiddle(j, 3, re, im);
        t[2 * j] = t[2 * j + 1] = float(re);
        t[8 + 2 * j] = t[8 + 2 * j + 1] = float(im);
    }
    return t;
}

const float* BuildR16(int logL) {
    const size_t s = size_t(1) << (logL - 4);
    float* t = new float[kR16GroupFloats * (s / 4)];
    for (size_t j0 = 0; j0 < s; j0 += 64) {
        FillR16Twiddles(t + (j0 / 4) * kR16GroupFloats, logL, j0, 64);
    }
    return t;
}

const float* BuildSmall(int log2n) {
    const size_t half = size_t(1) << (log2n - 1);
    float* t = new float[2 * half];
    for (size_t k = 0; k < half; ++k) {
        double re, im;
        Twiddle(k, log2n, re, im);
        t[2 * k] = float(re);
        t[2 * k + 1] = float(im);
    }
    return t;
}

// Records in `p` the tables the recursion in Dif() will ask for.
void CollectTables(Plan& p, int logL) {
    if (logL <= kLeafLog) {
        int l = logL;
        for (; l >= 4; l -= 2) {
            if (!g_r4[l]) g_r4[l] = BuildR4(l);
            p.r4[l] = g_r4[l];
        }
        if (l == 3) {
            if (!g_r2_8) g_r2_8 = BuildR2_8();
            p.r2_8 = g_r2_8;
        }
        return;
    }
    if (UseRadix16(logL)) {
        if (logL <= kMaxTableLog) {
            if (!g_r16[logL]) g_r16[logL] = BuildR16(logL);
            p.r16[logL] = g_r16[logL];
        }
        CollectTables(p, logL - 4);
    } else {
        if (!g_r4[logL]) g_r4[logL] = BuildR4(logL);
        p.r4[logL] = g_r4[logL];
        CollectTables(p, logL - 2);
    }
}

const Plan& GetPlan(int log2n) {
    if (const Plan* p = g_plans[log2n].load(std::memory_order_acquire)) return *p;
    std::lock_guard<std::mutex> lock(g_build_mutex);
    if (const Plan* p = g_plans[log2n].load(std::memory_order_relaxed)) return *p;
    Plan* p = new Plan;
    p->log2n = log2n;
    if (log2n < 8) p->small = BuildSmall(log2n);
    else CollectTables(*p, log2n);
    g_plans[log2n].store(p, std::memory_order_release);
    return *p;
}

// Sizes below 256 points: plain radix-2, the cost is in the call anyway.
void SmallFft(float* x, const Plan& p, bool inverse) {
    const int log2n = p.log2n;
    const size_t n = size_t(1) << log2n;
    const float sign = inverse ? -1.0f : 1.0f;
    for (int l = log2n; l >= 1; --l) {
        const size_t half = size_t(1) << (l - 1);
        const size_t step = n >> l;
        for (size_t start = 0; start < n; start += 2 * half) {
            for (size_t k = 0; k < half; ++k) {
                float* a = x + 2 * (start + k);
                float* b = a + 2 * half;
                const float wr = p.small[2 * k * step], wi = sign * p.small[2 * k * step + 1];
                const float dr = a[0] - b[0], di = a[1] - b[1];
                a[0] += b[0];
                a[1] += b[1];
                b[0] = dr * wr - di * wi;
                b[1] = dr * wi + di * wr;
            }
        }
    }
    PermuteScalar(x, log2n);
    if (inverse) {
        const float scale = 1.0f / float(n);
        for (size_t i = 0; i < 2 * n; ++i) x[i] *= scale;
    }
}

std::atomic<Kernel> g_kernel{Kernel::kAuto};

bool CpuHasAvx2() {
#if defined(SRX_FFT_X86) && defined(__GNUC__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

Kernel AutoKernel() {
    static const Kernel k = CpuHasAvx2() ? Kernel::kAvx2
#if defined(SRX_FFT_X86)
                                         : Kernel::kSse2;
#else
                                         : Kernel::kScalar;
#endif
    return k;
}

}  // namespace

void FillR16Twiddles(float* out, int logL, size_t j0, size_t count) {
    // Exact start per chunk, then a double-precision recurrence: chunks are
    // short, so the drift stays far below float resolution.
    for (int f = 0; f < 4; ++f) {
        const uint64_t e = uint64_t(1) << f;
        double wr, wi, sr, si;
        Twiddle(e * j0, logL, wr, wi);
        Twiddle(e, logL, sr, si);
        for (size_t q = 0; q < count; ++q) {
            float* g = out + (q >> 2) * kR16GroupFloats + 16 * f + ((j0 + q) & 3) * 2;
            g[0] = g[1] = float(wr);
            g[8] = g[9] = float(wi);
            const double nr = wr * sr - wi * si;
            wi = wr * si + wi * sr;
            wr = nr;
        }
    }
}

void PermuteScalar(float* x, int log2n) {
    auto swap_points = [x](size_t i, size_t j) {
        uint64_t a, b;
        std::memcpy(&a, x + 2 * i, 8);
        std::memcpy(&b, x + 2 * j, 8);
        std::memcpy(x + 2 * i, &b, 8);
        std::memcpy(x + 2 * j, &a, 8);
    };
    if (log2n < 8) {
        const size_t n = size_t(1) << log2n;
        for (size_t i = 0; i < n; ++i) {
            const size_t j = BitReverseIndex(uint32_t(i), log2n);
            if (i < j) swap_points(i, j);
        }
        return;
    }
    // Tiles of 16x16 points (layout explained with the AVX2 version) keep both partners of every
    // swap within 32 short rows.
    const int mbits = log2n - 8;
    const size_t rs = size_t(1) << (log2n - 4);
    for (size_t b = 0; b < (size_t(1) << mbits); ++b) {
        const size_t b2 = mbits ? BitReverseIndex(uint32_t(b), mbits) : 0;
        if (b2 < b) continue;
        for (uint32_t a = 0; a < 16; ++a) {
            for (uint32_t c = 0; c < 16; ++c) {
                const size_t i = a * rs + 16 * b + c;
                const size_t j = BitReverseIndex(c, 4) * rs + 16 * b2 + BitReverseIndex(a, 4);
                if (b == b2 && j <= i) continue;
                swap_points(i, j);
            }
        }
    }
}

bool SelectKernel(Kernel k) {
#if defined(SRX_FFT_X86)
    if (k == Kernel::kAvx2 && !CpuHasAvx2()) return false;
#else
    if (k == Kernel::kAvx2 || k == Kernel::kSse2) return false;
#endif
    g_kernel.store(k, std::memory_order_relaxed);
    return true;
}

Kernel ActiveKernel() {
    const Kernel k = g_kernel.load(std::memory_order_relaxed);
    return k == Kernel::kAuto ? AutoKernel() : k;
}

}  // namespace fft_detail

uint32_t BitReverseIndex(uint32_t i, int bits) {
    if (bits < 1) return 0;
    i = ((i >> 1) & 0x55555555u) | ((i & 0x55555555u) << 1);
    i = ((i >> 2) & 0x33333333u) | ((i & 0x33333333u) << 2);
    i = ((i >> 4) & 0x0F0F0F0Fu) | ((i & 0x0F0F0F0Fu) << 4);
    i = ((i >> 8) & 0x00FF00FFu) | ((i & 0x00FF00FFu) << 8);
    i = (i >> 16) | (i << 16);
    // More than 32 bits cannot be represented; treat as a full reversal.
    return bits >= 32 ? i : i >> (32 - bits);
}

void BitReversePermute(float* data, int log2n) {
    using namespace fft_detail;
    if (log2n < 1 || log2n > 31) return;
#if defined(SRX_FFT_X86)
    if (log2n >= 8 && ActiveKernel() == Kernel::kAvx2) {
        PermuteAvx2(data, log2n);
        return;
    }
#endif
    PermuteScalar(data, log2n);
}

int Fft(float* data, int log2n, int direction) {
    using namespace fft_detail;
    if (log2n < 1 || log2n > 31) return 0;
    const Plan& p = GetPlan(log2n);
    const bool inverse = direction <= 0;
    if (log2n < 8) {
        SmallFft(data, p, inverse);
        return 1;
    }
    switch (ActiveKernel()) {
#if defined(SRX_FFT_X86)
        case Kernel::kAvx2: TransformAvx2(data, p, inverse); break;
        case Kernel::kSse2: TransformSse2(data, p, inverse); break;
#endif
        default: TransformScalar(data, p, inverse); break;
    }
    return 1;
}

}  // namespace srx
