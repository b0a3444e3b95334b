#pragma once
// The sound card's and the measuring chain's own responses, measured once so
// that later measurements can be corrected for them.
//
// Linearity ("Soundcard Compensation"): the card's line output, wired to its
// line input, is measured with the stimuli of the current setting (gated
// sine, sweep, MLS), and each response is kept as a sound-card compensation
// file named by the setting and the stimulus (CompensationFileName). The
// measurement analyses subtract that file from their results like a
// compensation curve, level and phase, before the microphone and secondary
// compensations. The spike joins by adding its kind to LinearityStimuli()
// and a path measurement of its own (see the .cpp).
//
// Secondary compensation: what remains of the measuring chain once the sound
// card and the microphone are corrected. The user measures, through the
// microphone channel, a reference taken to be flat (a reference loudspeaker,
// or a known flat path into the microphone input); the response, corrected
// for the sound card and the microphone but not by the secondary
// compensation in use (a new one replaces the old rather than stacking on
// it), is saved as a .2CP file in the program folder and becomes the
// remembered secondary compensation. Probe mode corrects neither, as the
// measurements themselves do not.
//
// Both kinds of file hold the shape of a response: levels relative to their
// value at 1 kHz (the chain's absolute gain belongs to the SPL calibration,
// which measures the chain whole) and the phase referred to the impulse
// peak (latency and window start belong to each measurement, not to the
// chain), unwrapped so that it interpolates, thinned as every table is.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/wave_engine.h"
#include "data/records.h"
#include "dsp/compensation.h"
#include "measure/measurement_settings.h"
#include "measure/soundcard_check.h"
#include "measure/stimulus_files.h"
#include "resources/status.h"
#include "resources/string_ids.h"

namespace srx {

class VirtualLoudspeaker;
struct AnalysisSettings;

// Messages.

// ---- Sound-card compensation files ------------------------------------------

// The stimuli a linearity measurement measures, in order.
std::vector<CompensationStimulus> LinearityStimuli(const MeasurementSettings& ms);

// The file of `kind` for the setting (no folder created).
std::string SoundcardCompensationPath(const MeasurementSettings& ms, const std::string& programFolder,
                                      CompensationStimulus kind);

// Whether the setting has its file for `kind`; a stereo setting with probe
// compensation answers yes without looking.
bool SoundcardCompensationPresent(const MeasurementSettings& ms, const std::string& programFolder,
                                  CompensationStimulus kind, WaveFolderFs& fs = HostFileSystem());

// Whether both devices of the setting are the virtual loudspeaker (through
// the engine's back-end). Its wiring is ideal: there is nothing to measure,
// so the missing file is not worth a notice.
bool UsesVirtualLoudspeaker(const MeasurementSettings& ms);

// Whether the "No Soundcard Compensation" notice is due for `kind`.
bool SoundcardCompensationMissing(const MeasurementSettings& ms, const std::string& programFolder,
                                  CompensationStimulus kind, WaveFolderFs& fs = HostFileSystem());

// The notice; the Windows side installs it, natively there is none.
using NoCompensationNotice = void (*)(void* owner);
void SetNoSoundcardCompensationNotice(NoCompensationNotice notice);
NoCompensationNotice NoSoundcardCompensationNotice();

// Fills the members a measurement's preparation leaves empty: the existence
// check (of `ms`, in the process's program folder) and the notice. For the
// length of one WavePrepareMeasurement call on this thread.
class SoundcardCompensationCheck {
public:
    SoundcardCompensationCheck(const MeasurementSettings& ms, WavePrepareHooks& hooks);
    ~SoundcardCompensationCheck();
    SoundcardCompensationCheck(const SoundcardCompensationCheck&) = delete;
    SoundcardCompensationCheck& operator=(const SoundcardCompensationCheck&) = delete;

private:
    const MeasurementSettings* previous_;
};

// Subtracts the setting's file of `kind` from a frequency response (level
// and phase; the phase family is rebuilt, nothing is normalised). A missing
// file is no error and changes nothing; an unreadable one leaves the
// response alone and comes back as its status.
Status ApplySoundcardCompensation(Measurement& m, const MeasurementSettings& ms, CompensationStimulus kind,
                                  const std::string& programFolder, const AnalysisSettings& analysis);
// A measurement's step: the file of `ms` and `kind` in the process's
// program folder.
Status ApplySettingsSoundcardCompensation(Measurement& m, const MeasurementSettings& ms, CompensationStimulus kind);
// The same for the waterfall of an impulse record: the file of the
// record's stimulus (MLS at the record's own sequence length, else spike).
// Records that carry their compensation (0x10) or were imported stay.
Status ApplySoundcardCompensation(TimeRecord& t, const MeasurementSettings& ms, const std::string& programFolder);

// ---- From a measured response to a table ---------------------------------------

// 2809 unless the record holds an impulse: a peak that stands well out of
// the rest (a recording of silence or noise, from a cable that is not
// there, would otherwise become a correction of every later measurement).
Status CheckImpulseUsable(const TimeRecord& impulse);

// The response of a recovered impulse as a compensation sees it: the
// settings' MLS window starting just before the peak, 24 points per octave
// from 1 / window to the rate's highest analysis frequency, the phase
// referred to the peak. Null when the transform fails.
std::unique_ptr<Measurement> CompensationResponse(const TimeRecord& impulse, const MeasurementSettings& ms);

// The table of a response: levels less the level at 1 kHz (the middle of
// the range when 1 kHz is outside it), unwrapped phase, thinned. Points
// without a level are left out.
CompensationCurve CompensationFromResponse(const Measurement& m);

// The base name of a .2CP file from what the user typed: blanks around it
// and a ".2CP" ending are dropped; an empty name, one with \ / : * ? " < > |
// or one ending in a dot gives 5402.
Status SecondaryCompensationBaseName(const std::string& typed, std::string& baseName);

// ---- The measurements -------------------------------------------------------------

// The sound-card initialisation that precedes a linearity measurement when
// "Initialize the soundcard after a settings change" is on: half a second
// of silence and the tail, folder\pInit.wav recorded into folder\rInit.wav.
DuplexRunPlan SoundcardInitPlan(const MeasurementSettings& ms, const std::string& folder);

enum class CompensationTarget { kSoundcard, kSecondary };

struct CompensationRunSetup {
    CompensationTarget target = CompensationTarget::kSoundcard;
    MeasurementSettings settings{};  // a copy, as for every measurement
    std::string folder;              // the wave folder
    std::string programFolder;       // where the files go
    int outputDevice = kWaveMapper;  // engine device ids
    int inputDevice = kWaveMapper;
    // Secondary only: the file's base name, and the microphone compensation
    // measured through (its program folder and remembered name).
    std::string secondaryName;
    CompensationSettings compensation;
    bool remember = true;  // the new .2CP becomes the remembered one
};

class PathMeasurement;

// The measurement as steps a dialog can drive from its messages: for each
// stimulus prepare it (engine and stimulus file), record its passes, then
// finish it (analyse, check and write its file; the engine is shut down).
class CompensationRun {
public:
    explicit CompensationRun(CompensationRunSetup setup);
    ~CompensationRun();
    CompensationRun(const CompensationRun&) = delete;
    CompensationRun& operator=(const CompensationRun&) = delete;

    const CompensationRunSetup& Setup() const { return setup_; }
    const std::vector<CompensationStimulus>& Stimuli() const { return stimuli_; }
    size_t StimulusIndex() const { return index_; }
    bool Done() const { return index_ >= stimuli_.size(); }

    // The current stimulus: engine prepared for `owner` (which receives the
    // engine's notices) and its stimulus file written.
    Status Prepare(void* owner, const WavePrepareHooks& hooks = {});
    // Passes of the current stimulus, FirstPass() (-1: a warm-up) to
    // PassCount() - 1, and the progress ticks of one whole stimulus.
    int FirstPass() const;
    int PassCount() const;
    int ProgressRange() const;
    Status StartPass(int pass);
    // A completion notice of the engine: true when the pass has ended;
    // *error (may be null) receives 2801 when it was aborted.
    bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error = nullptr);
    bool PassRunning() const;
    Status PassError() const;
    static void OwnerNotice(void* owner, unsigned message, uintptr_t first, intptr_t second);

    // Analyses the current stimulus, writes its file and moves on to the next
    // stimulus. On failure nothing is written and the stimulus stays current.
    Status FinishStimulus();

    // The files written so far (program paths).
    const std::vector<std::string>& Written() const { return written_; }
    // The last response measured (as CompensationResponse gives it, after
    // the corrections a secondary measurement applies).
    const Measurement* LastResponse() const { return response_.get(); }

    // Shuts the engine down and deletes the response files (the destructor
    // does this too).
    void Finish();

private:
    Status WriteSoundcardFile(const Measurement& response);
    Status WriteSecondaryFile(Measurement& response);

    CompensationRunSetup setup_;
    std::vector<CompensationStimulus> stimuli_;
    size_t index_ = 0;
    std::unique_ptr<PathMeasurement> path_;
    std::unique_ptr<Measurement> response_;
    std::vector<std::string> written_;
};

// Every step of every stimulus, pumping the device until each pass ends
// (`pump` answers false when it has nothing more to deliver).
Status RunCompensation(CompensationRun& run, const std::function<bool()>& pump);
// The same on a virtual loudspeaker paced by hand.
Status RunCompensation(CompensationRun& run, VirtualLoudspeaker& device);

}  // namespace srx
