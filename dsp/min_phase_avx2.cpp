// The cepstrum's per-bin loops compiled for AVX2/FMA (four doubles per
// register). Chosen at run time, so this file carries the target pragma
// instead of global flags: the program must still start without AVX2.
#include "dsp/min_phase_dispatch.h"

#if defined(__x86_64__) || defined(_M_X64)
// The standard headers stay baseline code.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

#define SRX_MINPHASE_LANES 4
#include "dsp/min_phase_kernels.h"

namespace srx::minphase_detail {

const KernelTable* Avx2Kernels() {
    static const KernelTable t = {LogLine, LogLineTable, LogMagnitude, Polar, CurveSegment, UnpackReal, UnpackImag};
    return &t;
}

}  // namespace srx::minphase_detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else
namespace srx::minphase_detail {
const KernelTable* Avx2Kernels() { return nullptr; }
}  // namespace srx::minphase_detail
#endif
