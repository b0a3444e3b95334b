#pragma once
// The cepstrum's per-bin loops as a table, one per instruction set; the
// fastest one the processor runs is chosen once.
#include <cstddef>

namespace srx::minphase_detail {

struct KernelTable {
    // L[k] = clamp(c0 + c1 ln k), k = k0..k1-1.
    void (*logLine)(float* L, size_t k0, size_t k1, double c0, double c1);
    // The same with ln k from a table.
    void (*logLineTable)(float* L, const double* lnk, size_t k0, size_t k1, double c0, double c1);
    // L[k] = SafeLn(Magnitude(x[k])), k = k0..k1-1.
    void (*logMagnitude)(const float* x, float* L, size_t k0, size_t k1);
    // x[k] = e^L[k] (cos phi[k], sin phi[k]), k = k0..k1-1.
    void (*polar)(const float* L, const float* phi, float* x, size_t k0, size_t k1);
    // One segment of a curve's spectrum (see min_phase_kernels.h).
    void (*curveSegment)(float* x, size_t k0, size_t k1, double a, double b, double l0, double dl, double p0,
                         double dp);
    // Real and imaginary parts of a real transform packed into a complex one.
    void (*unpackReal)(const float* z, size_t M, const float* cw, const float* sw, float scale, float* out, size_t n0,
                       size_t n1);
    void (*unpackImag)(const float* z, size_t M, const float* cw, const float* sw, float* out, size_t n0, size_t n1);
};

const KernelTable* BaselineKernels();
const KernelTable* Avx2Kernels();  // null where the build has none
// The table in use: AVX2 when the processor has it, else the baseline.
const KernelTable& Kernels();

}  // namespace srx::minphase_detail
