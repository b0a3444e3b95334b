#pragma once
// Short duplex runs through the wave engine that check the sound card
// rather than measure a loudspeaker: the start-up test (silence: do the
// configured devices open, play and record?) and the absolute SPL
// calibration (a 1 kHz tone: how strongly does it come back?). A dialog
// starts the run and feeds it the engine's completion notices.
//
// Also the few decisions around them that need no window: which sound card
// a fresh installation starts with, and the mixer's view of the settings.
#include <cstdint>
#include <string>

#include "audio/mixer.h"
#include "audio/wave_device.h"
#include "audio/wave_engine.h"
#include "measure/measurement_settings.h"
#include "resources/string_ids.h"

namespace srx {

// Messages of the runs (string ids).

// The sound-card words of the settings as the engine takes them.
WaveDeviceSettings DeviceSettingsOf(const MeasurementSettings& ms);
// ... and as the mixer takes them (wave ids, -1 for the mapper).
MixerSettings MixerSettingsOf(const MeasurementSettings& ms);

// What a stimulus of a run holds: silence, then optionally a tone, then
// the tail (stop delay + 24 ms) during which the response is still recorded.
struct DuplexRunPlan {
    WaveDeviceSettings devices;
    std::string stimulusPath, responsePath;
    double leadSeconds = 0.25;
    double toneSeconds = 0;  // 0: silence only
    double toneFrequency = 1000;
    double toneLevelDb = 0;  // peak, dB re full scale
    double tailSeconds = 0.124;
    uint64_t StimulusFrames() const;
};

// folder\pInit.wav -> folder\rInit.wav, a quarter of a second of silence.
DuplexRunPlan CardTestPlan(const MeasurementSettings& ms, const std::string& folder);
// folder\pCalSPL.wav -> folder\rCalSPL.wav, half a second of 1 kHz at the
// waveform level after a short silence.
DuplexRunPlan SplCalibrationPlan(const MeasurementSettings& ms, const std::string& folder);

// Writes the stimulus in the plan's format; a failed write leaves no file.
bool WriteDuplexStimulus(const DuplexRunPlan& plan);

// The amplitude (full scale 1) of `frequency` in channel 0 of a recorded
// file between two times; 0 when the file cannot be read or is too short.
double ToneAmplitudeInFile(const std::string& path, double frequency, double fromSeconds, double toSeconds);
// The largest such amplitude of any window of `windowSeconds` in the file
// (in steps of 20 ms), wherever the latency put the tone.
double StrongestToneInFile(const std::string& path, double frequency, double windowSeconds);

class DuplexRun {
public:
    // Writes the stimulus, prepares the engine for `owner` (which receives
    // kWaveMciNotify) and starts both directions. 0, or the string id of
    // the failure; the engine is shut down again then, or kWaveMessageShown
    // when the engine's own box has already said it.
    int Start(void* owner, const DuplexRunPlan& plan);
    // Each message the owner receives; true when this one ended the run.
    bool OnNotify(unsigned message, uintptr_t first, intptr_t second);
    // Ends a run that takes too long, or whose owner closes: can't record.
    void Abort();
    bool Running() const { return running_; }
    // 0 when the run succeeded.
    int Failure() const { return failure_; }
    uint64_t RecordedFrames() const { return recordedFrames_; }
    // The tone's amplitude in the recording (channel 0), when there was one.
    double ToneAmplitude() const { return toneAmplitude_; }
    // The same relative to the amplitude played: the chain's gain at the
    // tone's frequency.
    double ToneGain() const;
    // Whether the stimulus and response files are removed at the end.
    void KeepFiles(bool keep) { keepFiles_ = keep; }

private:
    void Finish(int failure);
    DuplexRunPlan plan_;
    bool running_ = false;
    bool aborted_ = false;
    bool keepFiles_ = false;
    int failure_ = 0;
    uint64_t recordedFrames_ = 0;
    double toneAmplitude_ = 0;
};

// The "Add to Frequency Response" that makes a response measured through
// the same chain read `splReading` dB at the tone's frequency.
double SplCalibrationOffset(double splReading, double chainGain);

// What the program does with the sound card at start-up.
enum class StartupSoundcard {
    kCardTest,      // configured: test it
    kOpenSettings,  // a sound card exists but none is chosen: let the user choose
    kUseVirtual,    // no sound card at all: the virtual loudspeaker, then the test
    kNoInput,       // nothing records: the settings, with the channel count cleared
};
// `devices` lists the real devices first and the virtual loudspeaker at
// `virtualId` (-1 when there is none).
StartupSoundcard ChooseStartupSoundcard(const MeasurementSettings& ms, const WaveDeviceBackend& devices, int virtualId);
// The virtual loudspeaker on both sides at 44100 Hz, 16 bits, stereo.
void ConfigureVirtualLoudspeaker(MeasurementSettings& ms, int virtualId);

}  // namespace srx
