#pragma once
// Minimum phase by the real cepstrum, the excess phase and the delays
// derived from both. Buffers are the interleaved complex float pairs of Fft.
#include <vector>

#include "data/records.h"

namespace srx {

struct AnalysisSettings;

// Replaces the spectrum (N = 2^log2n bins) by the minimum-phase spectrum of
// its magnitude. Bins 1..N/2-1 hold the result, bins 0 and N/2 are cleared;
// smoothing > 0 averages the first N/(2*ceil(smoothing)) bins over three.
void MinimumPhaseSpectrum(float* data, int log2n, double smoothing);

// A complex spectrum of the curve (level, unwrapped phase) on a regular grid:
// bin k lies at k * (*outRate) / N, N = 2^(*outLog2n). `resolution` raises
// the size, `factor` the grid rate above the curve's own. Returns 2N floats
// (plus one spare), or an empty vector when the curve has no usable points
// or the size would be unreasonable.
std::vector<float> SpectrumFromCurve(const Measurement& m, int resolution, double factor, double* outRate,
                                     int* outLog2n);

// Minimum phase (slots 4, 6, 8) and excess phase (5, 7, 9) of a curve whose
// slot 3 holds the unwrapped phase. Curves with the minimum phase stored
// (flag 0x8000) keep theirs; others compute it at the quality of the
// settings (0..3). Returns false for an unknown quality or an unusable curve.
bool ComputeMinimumPhase(Measurement& m, const AnalysisSettings& settings);
bool ComputeMinimumPhase(Measurement& m, int quality);

// Excess phase = unwrapped measured minus unwrapped minimum phase, both
// group delays, and their ranges.
void ExcessPhaseAndDelays(Measurement& m);

// Makes the curve readers recompute the minimum phase of what they read,
// with the current analysis settings.
void InstallMinimumPhaseOnReading();

}  // namespace srx
