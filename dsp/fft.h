#pragma once
// In-place complex FFT of power-of-two size over interleaved 32-bit float
// pairs (real part first). Forward is unscaled, inverse carries 1/N:
//   forward  X[k] = sum x[n] e^(-j 2 pi k n / N)
//   inverse  x[n] = (1/N) sum X[k] e^(+j 2 pi k n / N)
// Twiddle tables are built once per size and shared read-only, so the
// transform may run on several threads at once.
#include <cstdint>

namespace srx {

// direction > 0 forward, <= 0 inverse. Returns 1, or 0 when log2n is outside
// 1..31 (the buffer is then untouched).
int Fft(float* data, int log2n, int direction);

// i with its low `bits` bits in reverse order; 0 when bits < 1.
uint32_t BitReverseIndex(uint32_t i, int bits);

// Swaps entries i and reverse(i) for every i < reverse(i).
void BitReversePermute(float* data, int log2n);

}  // namespace srx
