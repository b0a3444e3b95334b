#pragma once
// What an impulse response yields besides its frequency response: the
// energy-time curve, the step response, the waterfall (cumulative spectral
// decay) and the inverted impulse; and the way back from a frequency
// response to an impulse response.
#include <complex>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "data/records.h"
#include "dsp/frequency_response.h"
#include "resources/status.h"

namespace srx {

// The length the ETC and step dialogs offer first: the record's duration,
// at most 0.1 s.
double DefaultAnalysisLength(const TimeRecord& impulse);

// Checks an analysis length in s typed for the record: 2386 when it is not
// above 0, 2387 (with the duration in ms) when it exceeds the duration.
Status CheckAnalysisLength(const TimeRecord& impulse, double lengthSeconds);

// The quadrature part of the FIR Hilbert transformer of 2n+1 taps whose
// taper follows `windowType` (falling towards the kernel ends for every
// type), centre-aligned over the n samples: returns (x[i], q[i]). Computed
// by one FFT convolution; empty when memory is short.
std::vector<std::complex<double>> AnalyticEnvelopeFir(const float* samples, std::size_t n, int windowType);
// The same sums taken directly, O(n^2) in double: the reference the fast
// path is held to.
std::vector<double> QuadratureDirect(const float* samples, std::size_t n, int windowType);

// Energy-time curve of the first ceil(rate * length) samples (rounded up to
// a power of two, zero beyond the record), 0 dB at its largest value, with
// the record's time window as markers. Null on failure with *error set
// (2386/2387 for the length, 5410 for samples that are not numbers, 5415
// for a rate out of range, 2318 out of memory).
std::unique_ptr<EtcRecord> MakeEnergyTimeCurve(const TimeRecord& impulse, double lengthSeconds, int windowType,
                                               Status* error);

// The running sums of the samples up to sample i, in double, for n samples.
std::vector<double> StepSums(const float* samples, std::size_t n);
// The same sums taken afresh for every output, O(n^2): the reference.
std::vector<double> StepSumsDirect(const float* samples, std::size_t n);

// Step response over the first round(rate * length) samples: a copy of the
// record flagged as a step (0x20), the time window kept inside it. Null on
// failure with *error set as for the energy-time curve.
std::unique_ptr<TimeRecord> MakeStepResponse(const TimeRecord& impulse, double lengthSeconds, Status* error);

// Negates the samples and the stored peak and toggles the inverted flag.
void InvertImpulse(TimeRecord& record);

// How a waterfall is computed; the caller resolves the settings.
struct WaterfallParameters {
    int pointsPerOctave = 24;
    double startFrequency = 0;  // <= 0: one over the time-window length
    double endFrequency = 0;    // <= 0 or above the rate's limit: MaxAnalysisFrequency
    double spanSeconds = 0;     // time the slices cover; cut to the time window
    int resolution = 1;         // 0..3: 24, 48, 96 or 192 slices; others read as 1
    bool sliding = false;       // each slice's window starts at its own offset
};

// Number of slices of a resolution index (out-of-range indices read as 1).
int WaterfallSliceCount(int resolution);

// Fills the record's waterfall: slice s analyses the time window with the
// first round(s * S0 / S) samples of the span left out (normal mode: zeroed
// under the one window of slice 0, at slice 0's gain; sliding mode: the
// window restarts there, and frequencies below rate / remaining length are
// -1000). The levels are those of ImpulseToFrequencyResponse for the same
// window. `progress` (may be empty) hears (slices done, slices). 2359 when
// the span holds fewer samples than slices or the grid is empty.
Status ComputeWaterfall(TimeRecord& record, const WaterfallParameters& parameters, const AnalysisSettings& settings,
                        const std::function<void(int, int)>& progress = {});

// Levels relative to the largest level, over all slices, at the first grid
// frequency at or above f; false (nothing changes) when f lies above the
// grid or no slice has a level there.
bool NormalizeWaterfall(TimeRecord& record, double frequency);

// An impulse response of the curve (level and unwrapped phase): the real
// inverse transform of its Hermitian spectrum, rotated so that the last
// eighth (negative time) leads; time zero lies at sample count / 4 of the
// N/2 samples kept (*leadSamples receives it, may be null). Largest sample 1,
// one channel of 16 bits, time window from `settings` within the record.
// Null on failure with *error set (2318, 5413 an unusable curve).
std::unique_ptr<TimeRecord> FrequencyToImpulse(const Measurement& curve, const TimeWindowSettings& settings,
                                               Status* error, long long* leadSamples = nullptr);

}  // namespace srx
