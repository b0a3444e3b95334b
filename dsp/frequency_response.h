#pragma once
// Frequency response from an impulse response: the time window, the
// transform onto a logarithmic frequency grid, and the phase family derived
// from the measured phase (unwrapped phase and group delay). The minimum and
// excess phase live in dsp/min_phase.h.
#include <memory>
#include <vector>

#include "data/records.h"
#include "resources/status.h"

namespace srx {

// "Window start" of the time window.
enum TimeWindowMode : int {
    kTimeWindowNormal = 0,     // starts at the first sample
    kTimeWindowDelayFree = 1,  // starts at the first sample, phase referred to the peak
    kTimeWindowManual = 2,     // starts at a given time
};

// The display text of a mode ("Normal", "Delay Free", "Manual"), "" otherwise.
const char* TimeWindowModeName(int mode);

// Time-record flag: the phase is read from the impulse peak on.
constexpr uint32_t kTwfDelayFree = 0x80;
// Time-record flags that ask for the minimum phase at transform time.
constexpr uint32_t kTwfWantsMinimumPhase = 0x1010;

// Measurement-settings values the analyses read. The settings record fills
// it; the defaults are those of a fresh installation.
struct AnalysisSettings {
    // Frequency grid of MLS records (time-record flag 0x4) ...
    int pointsPerOctaveMls = 24;
    double topFrequencyMls = 20000.0;
    bool topIsMaxFrequencyMls = false;  // analyse up to the highest usable frequency
    // ... and of all other records.
    int pointsPerOctave = 24;
    double topFrequency = 20000.0;
    bool topIsMaxFrequency = false;

    double levelOffsetDb = 0.0;   // added to every level
    int minimumPhaseQuality = 1;  // 0 low .. 3 extra high
    bool alwaysComputeMinimumPhase = false;
    double preDelaySeconds = 0.0;  // added to the window start
    int windowType = 2;            // WindowType of the analysis (Hanning)
    bool halfWindow = true;        // falling half of the window only
    uint32_t thdHarmonics = 0x1FF;  // harmonics counted in the THD: bit h - 2 for harmonic h
};

// The settings a debug or test run uses unless told otherwise.
const AnalysisSettings& DefaultAnalysisSettings();

// The process-wide analysis settings, filled from the measurement settings;
// readers of stored curves use them (minimum-phase quality).
AnalysisSettings& CurrentAnalysisSettings();

// Highest usable analysis frequency of a sample rate, in Hz.
double MaxAnalysisFrequency(int sampleRate);

// Points per octave and top frequency of the record's class (MLS or not),
// with the "highest usable frequency" option and the rate's bound applied.
int PointsPerOctaveFor(const TimeRecord& record, const AnalysisSettings& settings);
double TopFrequencyFor(const TimeRecord& record, const AnalysisSettings& settings);

// Sets the time window of the record: mode, length in s (<= 0 keeps the
// stored one) and, for Manual, the start in s (< 0 keeps the stored start).
void ApplyTimeWindow(TimeRecord& record, int mode, double lengthSeconds, double startSeconds);

// log2 of the FFT size for a window; *levelOffsetDb (may be null) receives
// the level correction that keeps levels independent of the size.
int FftSizeForWindow(int sampleRate, double lengthSeconds, double startFrequency, double* levelOffsetDb);

// Level correction for a given FFT exponent (the same rule as above).
double FftLevelOffset(int sampleRate, int log2n);

// The analysed time window in samples: first sample and count.
struct SampleWindow {
    long long start = 0, length = 0;
};
// The window of the record's first `count` samples that the transform reads
// (its start moved by the pre-delay); false when it holds no sample.
bool WindowInSamples(const TimeRecord& record, long long count, const AnalysisSettings& settings, SampleWindow* w);
// Frequencies from f0 by 2^(1/pointsPerOctave) up to and ending at `top`.
std::vector<double> LogFrequencyGrid(double f0, double top, int pointsPerOctave);
// The level of one sample of excitation, in dB, with the method's
// calibration constant: added to every transformed level.
double ImpulseLevelReferenceDb(const TimeRecord& record);
// Transforms the record's time window into a frequency response on a grid of
// `pointsPerOctave` from `startFrequency` (<= 0: 1/window length) to the top
// frequency of the record's class. log2Size 0 chooses the size. Returns null
// on failure, and *error (may be null) then says why: 5415 a sample rate out
// of range, 5414 a window that holds no samples, 5410 samples or results that
// are not finite, 5412 an FFT beyond the size limit, 5413 no frequency on the
// grid, 2318 out of memory. A Delay Free window that ends before the impulse
// peak is analysed as Normal: the record's flag 0x80 is cleared and *warning
// (may be null) receives message 2818.
std::unique_ptr<Measurement> ImpulseToFrequencyResponse(TimeRecord& record, double startFrequency, int pointsPerOctave,
                                                        int log2Size, const AnalysisSettings& settings,
                                                        Status* warning = nullptr, Status* error = nullptr);

// Fills slots 2..9 (group delay, unwrapped phase, minimum and excess phase
// family) and the ranges of the measurement.
void DerivePhaseData(Measurement& m, const AnalysisSettings& settings);

// Unwraps the phase in slot `source` into slot `target`.
void UnwrapPhase(Measurement& m, int source, int target);

// Group delay (s) into slot `target` from the unwrapped phase in `phaseSlot`.
void GroupDelayFromPhase(Measurement& m, int target, int phaseSlot);

}  // namespace srx
