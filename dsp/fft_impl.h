#pragma once
// Internals shared by the FFT front end (fft.cpp) and the per-instruction-set
// kernels (fft_sse2.cpp, fft_avx2.cpp, fft_scalar.cpp).
//
// Layout of the transform: decimation in frequency in place, which leaves the
// spectrum in bit-reversed order; the last radix-4 stage is folded into the
// bit-reversal permutation (and the inverse's 1/N into the same pass), so the
// output is natural order after one extra sweep over memory.
#include <cstddef>
#include <cstdint>

namespace srx::fft_detail {

// Sub-transforms up to 2^kLeafLog points run breadth first; they fit in L1
// together with their twiddles. Larger ones split with radix-16 (or radix-4)
// passes and recurse depth first so that each level stays cache resident.
inline constexpr int kLeafLog = 11;
// Radix-16 passes only for sizes well past L2: their 16 rows a power of two
// apart overflow an L1 cache set, which pays off only when every pass is a
// trip to L3 or memory anyway. Smaller sizes recurse with radix-4 passes.
inline constexpr int kMinRadix16Log = 19;
inline constexpr bool UseRadix16(int logL) { return logL >= kMinRadix16Log && logL - 4 >= kLeafLog; }
// Radix-16 passes above this size compute their twiddles on the fly instead
// of keeping a table as large as the data.
inline constexpr int kMaxTableLog = 22;

// Twiddles are stored in groups of four consecutive indices j, each factor as
// 8 floats of real parts (duplicated) followed by 8 floats of imaginary parts
// (duplicated), so a vector of interleaved complex values multiplies without
// shuffling the twiddles.
//   radix-4 pass of size L:  w^j, w^2j, w^3j      -> 48 floats per group
//   radix-16 pass of size L: w^j, w^2j, w^4j, w^8j -> 64 floats per group
// with w = exp(-2 pi i / L). The inverse uses the conjugates.
inline constexpr int kR4GroupFloats = 48;
inline constexpr int kR16GroupFloats = 64;

struct Plan {
    int log2n = 0;
    const float* r4[32] = {};      // radix-4 tables, by log2 of the pass size
    const float* r16[32] = {};     // radix-16 tables; null above kMaxTableLog
    const float* r2_8 = nullptr;   // radix-2 pass of size 8 (odd log2n)
    const float* small = nullptr;  // w^k, k < N/2, interleaved: sizes below 256
};

// Fills `out` (kR16GroupFloats * (count / 4) floats) with radix-16 twiddles of
// a pass of 2^logL points for j = j0 .. j0 + count - 1 (count a multiple of 4).
void FillR16Twiddles(float* out, int logL, size_t j0, size_t count);

// Kernel sets. Each transforms data of 2^p.log2n points (p.log2n >= 8) in
// place and leaves natural order; `inverse` also scales by 1/N.
void TransformScalar(float* data, const Plan& p, bool inverse);
void PermuteScalar(float* data, int log2n);
#if defined(__x86_64__) || defined(_M_X64)
#define SRX_FFT_X86 1
void TransformSse2(float* data, const Plan& p, bool inverse);
void TransformAvx2(float* data, const Plan& p, bool inverse);
void PermuteAvx2(float* data, int log2n);
#endif

// Which kernel set Fft uses. Chosen from the CPU on first use; tests pin the
// slower sets to check them on machines that would never pick them.
enum class Kernel { kAuto, kScalar, kSse2, kAvx2 };
// Returns false (and changes nothing) if the CPU cannot run `k`.
bool SelectKernel(Kernel k);
Kernel ActiveKernel();

}  // namespace srx::fft_detail
