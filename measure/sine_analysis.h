#pragma once
// The gated sine and the sweep: their stimulus files, the analysis of a
// recorded response at a series of logarithmically spaced frequencies, the
// referencing against the stimulus (or the probe channel), the averaging of
// passes and the harmonic distortion.
//
// Levels of an analysis are those of the recording; referencing subtracts
// the reference's shape and keeps its level at the reference frequency less
// the stimulus level, so a result does not move with the waveform level and
// a unity path reads as the MLS reads it. The phase keeps the path's delay.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/records.h"
#include "dsp/distortion.h"
#include "resources/status.h"

namespace srx {

struct MeasurementSettings;

// f1, f1 r, f1 r^2, ... with r = 2^(1/perOctave), ending exactly on f2.
// Empty unless 0 < f1 <= f2 (finite) and 1 <= perOctave <= 1000.
std::vector<double> FrequencySeries(double f1, double f2, int perOctave);

// How a stimulus file is written.
struct SineStimulusFormat {
    uint32_t rate = 44100;
    int channels = 1;
    int bits = 16;
    double levelDb = 0;         // waveform level, <= 0
    double preSilence = 0.025;  // s before the stimulus
    double stopDelay = 0.1;     // s; the tail is this plus 24 ms
};

struct GatedSineParams {
    double f1 = 100, f2 = 20000;
    int perOctave = 3;
    double timeWindow = 0.01;     // the gate, s
    double windowOffset = 0;      // s from the burst's start to the gate's
    double pause = 0.5;           // s of silence after each burst
    int windowType = 2;           // WindowType of the gate
    double levelOffsetDb = 0;     // "Add to Frequency Response" when normalising is off
    bool constantCycles = false;  // gate of one period of f1 instead of the window
};

struct SweepParams {
    double f1 = 100, f2 = 20000;
    double timePerOctave = 0.5;  // s
    int perOctave = 3;
    bool reverse = false;  // played from f2 down
    double levelOffsetDb = 0;
};

// Frames of one slot of the gated stimulus and of its burst; 0 when the
// parameters are out of range.
uint32_t GatedSlotFrames(const GatedSineParams& p, uint32_t rate);
uint32_t GatedBurstFrames(const GatedSineParams& p, uint32_t rate);
// Frames of the sweep itself (from f1 / 2 to f2).
uint64_t SweepFrames(const SweepParams& p, uint32_t rate);
// Frames of the whole stimulus files (silences included); 0 when they
// cannot be written (a file over 2 GB or parameters out of range).
uint64_t GatedStimulusFrames(const GatedSineParams& p, const SineStimulusFormat& f);
uint64_t SweepStimulusFrames(const SweepParams& p, const SineStimulusFormat& f);

// Write the stimulus files (replacing them safely); 2811 on failure.
Status WriteGatedSineStimulus(const std::string& path, const GatedSineParams& p, const SineStimulusFormat& f);
Status WriteSweepStimulus(const std::string& path, const SweepParams& p, const SineStimulusFormat& f);
// A steady tone of `duration` s (+30 ms, at least 50 ms) at f: whole
// periods, ending on a negative sample, between the format's silences. A
// file of the same format and length is kept (the same tone).
Status WriteToneStimulus(const std::string& path, double f, double duration, const SineStimulusFormat& format);

// The channels of a recording after its lead silence, at full scale +-1.
struct Recording {
    uint32_t rate = 0;
    std::vector<double> c0, c1;  // c1 only when asked for (a mono file gives c0 twice)
    bool clipped = false;        // a sample reached full scale
};
// Largest recording an analysis takes (frames after the lead silence).
constexpr uint32_t kMaxSineAnalysisFrames = 1u << 24;
// 2357 for a damaged file, 2314 when it cannot be opened, 2806 when it is
// longer than the analyses take.
Status ReadRecording(const std::string& path, double preSilence, bool both, bool swapChannels, bool invert,
                     Recording& out);

// Where a stimulus starts in the first rate / 10 samples of `x` (the frames
// after the lead silence): the first sample whose magnitude (less the DC
// offset) reaches 40 % of the block's peak, stepped back 0.125 ms and a
// quarter period of `firstFrequency` (<= 0: none), which may reach back
// into the lead silence (a negative index). *dc receives the mean of the
// frames before the stimulus (0 when there are 20 or fewer).
int64_t FindStimulusArrival(const std::vector<double>& x, uint32_t rate, double firstFrequency, double* dc);

// One analysed channel: the curve (level, phase, harmonics of the gated sine)
// and the arrival of the stimulus in s after the start of the recording.
struct SineAnalysis {
    std::unique_ptr<Measurement> m;
    double delay = 0;
    // The stimulus's part of the recording is less than 10 dB louder than
    // its silent part (between the bursts, after the sweep): nothing but
    // noise reached the input. False when there is no silent part to tell.
    bool noiseOnly = false;
};

// `x` are the frames after the lead silence of `leadFrames` frames. The
// gated sine calls `tick` (may be empty) after each frequency.
Status AnalyseGatedSine(const std::vector<double>& x, uint32_t rate, uint32_t leadFrames, const GatedSineParams& p,
                        SineAnalysis& out, const std::function<void()>& tick = {});
Status AnalyseSweep(const std::vector<double>& x, uint32_t rate, uint32_t leadFrames, const SweepParams& p,
                    SineAnalysis& out);

struct ReferenceOptions {
    double f1 = 100, f2 = 20000;
    double levelDb = 0;  // the stimulus's waveform level
    bool gated = true;
    uint32_t rate = 44100;
    bool probePhaseCorrection = false;  // add one sample's phase (probe mode)
};
// The measured curve `a` referred to the reference `b` (the same frequency
// series): level A - (B - B(fr)) - waveform level, the same for each
// measured harmonic, phase A - B - 2 pi f d with d = max(0, delay A -
// delay B). 2809 when fewer than 2 points result or either side heard
// only noise.
Status ReferenceResponse(const SineAnalysis& a, const SineAnalysis& b, const ReferenceOptions& o,
                         std::unique_ptr<Measurement>& out);

// The first pass, then each later pass averaged in by halves (the last pass
// counts half); phases through their wrapped difference. Levels that
// either side lacks (-1000) stay -1000. Passes must share their points.
std::unique_ptr<Measurement> AveragePasses(const std::vector<const Measurement*>& passes);

}  // namespace srx
