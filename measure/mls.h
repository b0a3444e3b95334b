#pragma once
// Maximum-length sequences: the stimulus writer and the recovery of an
// impulse response from a recorded response file.
//
// The stimulus is one period of the sequence between a lead silence and a
// tail silence. The recovery folds the recorded tail (the decay of the last
// sequence samples) back onto the start of the period, which turns the
// one-shot recording into exactly one period of the steady-state periodic
// response. Its periodic cross-correlation with the sequence is then the
// impulse response with no correlation side lobes, and it is computed with a
// fast Walsh-Hadamard transform of size N = 2^order instead of three complex
// transforms of size 2N. Divided by N and by the drive amplitude read back
// from the stimulus file, it is the system's own impulse response whatever
// the waveform level (less the system's DC gain over N on every sample, the
// trace of the sequence's -1 off-peak autocorrelation).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/records.h"
#include "measure/measurement_settings.h"
#include "resources/status.h"
#include "resources/string_ids.h"

namespace srx {

inline constexpr int kMlsMinOrder = 2;
inline constexpr int kMlsMaxOrder = 24;

// Time-record flag of a pre-emphasised stimulus (a bit no other meaning uses).
inline constexpr uint32_t kTwfPreEmphasis = 0x08;

// The register taps of an order (cell numbers), empty outside 2..24.
const std::vector<int>& MlsTaps(int order);

// The sequence of an order as +1/-1 values (2^order - 1 of them); empty
// outside 2..24.
std::vector<float> MlsSequence(int order);

// The period 2^order - 1 of an order, and the order of a period (0 when it
// is none of kMlsMinOrder..kMlsMaxOrder).
uint32_t MlsSequenceLength(int order);
int MlsOrderOfLength(uint32_t n);

// ---------------------------------------------------------- pre-emphasis
//
// A first-order high shelf, the bilinear image of (1 + s/wz) / (1 + s/wp):
// unity at DC, +10 dB at half the rate, the pole's corner at 3.16 kHz (the
// zero's near 1 kHz). Ambient noise and the hum of a room sit low, while a
// plain sequence spends as much power on every octave band's bins; lifting
// the highs before the peak normalisation moves the headroom to where a
// tweeter's measurement has the least signal-to-noise ratio. At rates below
// 7.9 kHz the pole's corner moves down to 0.4 x rate.
//
// Settling: the shelf runs over the periodic sequence, i.e. its state at the
// first sample is the state it has after running over one whole period
// before it (found in closed form). The settling point is thus one period
// before the written samples: every written sample is a settled one, and the
// response to the periodic stimulus is exactly sequence (*) shelf (*) system.
// The recovery undoes the shelf with its inverse (stable: the shelf's zero
// lies inside the unit circle), run over the recovered period the same way.
struct FirstOrderSection {
    double b0 = 1, b1 = 0, a1 = 0;  // y[n] = b0 x[n] + b1 x[n-1] - a1 y[n-1]
};
FirstOrderSection PreEmphasisFilter(uint32_t rate);
FirstOrderSection InverseSection(const FirstOrderSection& f);
// Runs `f` over `x` as one period of a periodic signal, in place.
void FilterPeriodic(const FirstOrderSection& f, std::vector<double>& x);

// The unit stimulus sequence of the file: the sequence, or with pre-emphasis
// the filtered sequence scaled to a largest magnitude of 1.
// `peak` (may be null) receives the largest magnitude of the filtered
// sequence before scaling (1 without pre-emphasis).
std::vector<double> MlsStimulusShape(int order, bool preEmphasis, uint32_t rate, double* peak = nullptr);

// ----------------------------------------------------------------- stimulus

// What the stimulus writer reads from the measurement settings.
struct MlsStimulusLevels {
    double preSilence = 0.025;  // s
    double stopDelay = 0.100;   // s
    double levelDb = 0.0;       // "Waveform level"
};
MlsStimulusLevels MlsStimulusLevelsFrom(const MeasurementSettings& ms);

// Frames of the lead silence and of the tail silence at `rate`.
uint32_t MlsLeadFrames(double preSilence, uint32_t rate);
uint32_t MlsTailFrames(double stopDelay, uint32_t rate);

// Writes the stimulus file (lead silence, one period, tail silence; the
// same value on every channel). Refuses an order outside 2..24, a rate or
// channel count below 1 and 0 bits. The file is written beside the target
// and renamed over it only when complete. Answers success.
bool WriteMlsStimulus(const std::string& path, int order, bool preEmphasis, uint32_t rate, int channels, int bits,
                      const MlsStimulusLevels& levels);
// With the levels of the process-wide settings.
bool WriteMlsStimulus(const std::string& path, int order, bool preEmphasis, uint32_t rate, int channels, int bits);

// ----------------------------------------------------------------- recovery

// Periodic cross-correlation of one period `x` (L = 2^order - 1 values) with
// the unit sequence: c[k] = sum_m x[m] s[(m - k) mod L], k = 0 .. L-1. By a
// fast Walsh-Hadamard transform (the tables are built once per order).
std::vector<float> MlsCorrelate(const std::vector<float>& x, int order);

// The same by the straightforward route, for checking: the period repeated
// to 2N samples and correlated with the sequence through complex FFTs of
// size 2N (the linear cross-correlation of the repeated response).
std::vector<float> MlsCorrelateByFft(const std::vector<float>& x, int order);

// The settings the recovery reads.
struct MlsRecoveryOptions {
    double preSilence = 0.025;
    bool preEmphasis = false;
    bool invert = false;           // "Invert sampled waveform"
    bool reverseChannels = false;  // "Reverse channels"
    TimeWindowSettings window;     // copied into every record (524..559)
};
MlsRecoveryOptions MlsRecoveryOptionsFrom(const MeasurementSettings& ms);

// The record's time-window fields from the settings: MLS PIR length shown
// by default, the MLS window, the waterfall length (not above the window)
// and the waterfall type. The excitation (one sample) is set per record.
TimeWindowSettings MlsTimeWindowSettings(const MeasurementSettings& ms);

// Where the response lies in one period of an impulse response and how loud
// the rest of the period (the noise) is.
struct ResponseSpan {
    uint32_t start = 0;     // index of the period where the response begins (before its peak)
    uint32_t length = 0;    // samples from there to the end of its decay, at most the period
    double peak = 0;        // largest magnitude
    double noiseRms = 0;    // RMS of the part of the period the response has left
    bool noiseOnly = true;  // the peak stands less than 10 dB above what noise alone would reach
};
ResponseSpan FindResponseSpan(const std::vector<double>& period);
ResponseSpan FindResponseSpan(const float* period, uint32_t length);

// What one pass's recording showed besides the impulse response.
struct MlsPassReport {
    bool clipped = false;  // a sample of the channel reached full scale
    uint32_t onset = 0;    // frames after the lead silence until the response begins
    ResponseSpan span;     // of the recovered impulse response
};

// Recovers the impulse response of channel 0 (channel 1 with reversed
// channels) from a response file and its stimulus file, for an analysis
// length N = 2^order. The response is found in the recording wherever the
// latency put it and only the sequence and the decay that follows it are
// folded onto the period (the rest of the tail would add nothing but
// noise). Messages: 2314 a file cannot be opened, 2357 a header cannot be
// read, 2817 the response is empty or shorter than a sixteenth of the
// stimulus (or the stimulus is not the sequence of that order), 5420 the
// recording holds no signal above its noise, 5421 the latency put the
// response (or its decay) past the end of the recording, 2318 out of memory.
Status MlsImpulseFromFiles(const std::string& responsePath, const std::string& stimulusPath, uint32_t n,
                           const MlsRecoveryOptions& options, std::unique_ptr<TimeRecord>& out,
                           MlsPassReport* report = nullptr);

// Both channels of the response, each with its own DC offset and each
// correlated with the same channel of the stimulus and each found in the
// recording on its own. The report is the first channel's.
Status MlsImpulsePairFromFiles(const std::string& responsePath, const std::string& stimulusPath, uint32_t n,
                               const MlsRecoveryOptions& options, std::unique_ptr<TimeRecord>& record0,
                               std::unique_ptr<TimeRecord>& record1, MlsPassReport* report = nullptr);

// Divides the reference channel's response out of the measurement channel's
// (probe compensation). The reference is first aligned on its own peak, so
// only its shape (the sound card's response) is removed and the result keeps
// the measurement's time axis. Division in the frequency domain at size 2N,
// regularised: M conj(R) / (|R|^2 + 1e-4 max|R|^2), i.e. the quotient is
// left alone wherever the reference is within 40 dB of its maximum and is
// held back where the reference has no energy to divide by. Updates the
// peak and window start. (The record's flag 0x80 for a reference channel is
// left alone: the transform reads the same bit as "Delay Free".)
Status DivideReferenceResponse(TimeRecord& measured, const TimeRecord& reference);

// Peak (signed value of the largest-magnitude sample among the first
// count - 1) and the window start = its index less 8, not below 0.
void SetPeakAndWindowStart(TimeRecord& r);

// Averages the passes aligned on their window starts into `result`'s
// samples, every pass with the same weight (so that the noise power falls
// 3 dB with every doubling of the passes). 2318 out of memory, 2817 no
// passes.
Status AverageImpulsePasses(TimeRecord& result, const std::vector<const TimeRecord*>& passes);

}  // namespace srx
