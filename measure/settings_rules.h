#pragma once
// The rules of the measurement settings sheet, free of any window: what each
// page accepts when the user presses OK, the time-window geometry, the
// advanced sound-card values, and what a confirmed change means for the
// cached wave files.
//
// A page check works on the record the page has written its controls into.
// A refused field is put back to the bound it broke (where that bound is
// itself not allowed, to the other bound) and named, so that the page can
// show the value, focus the field and show the message.
#include <cstdint>
#include <string>

#include "measure/measurement_settings.h"
#include "measure/stimulus_files.h"
#include "resources/string_ids.h"

namespace srx {

enum class SettingsField {
    None,
    SpeedOfSound,
    MicDistance,
    ReflectionDistance,
    TimeWindow,
    TimeWindowOffset,
    GatedStart,
    GatedStop,
    GatedPerOctave,
    GatedPause,
    SweepStart,
    SweepStop,
    SweepPerOctave,
    SweepTime,
    MlsWindow,
    MlsPirLength,
    MlsStart,
    MlsStop,
    MlsPerOctave,
    MlsPreAverages,
    SpikeLength,
    SpikeWindow,
    SpikePirLength,
    SpikeStart,
    SpikeStop,
    SpikePerOctave,
    SpikePreAverages,
    WaterfallLength,
    WaterfallStart,
    WaterfallStop,
    WaterfallPerOctave,
    ImpedanceStart,
    ImpedanceStop,
    ImpedancePerOctave,
    ImpedanceSweepTime,
};

struct PageCheck {
    int messageId = 0;                          // 0: accepted
    SettingsField field = SettingsField::None;  // where the focus goes when refused
    bool ok() const { return messageId == 0; }
};

// The time-window geometry: microphone distance d1, reflection distance d2
// (metres) and the window (seconds) until the reflection arrives.
struct TimeWindowTriangle {
    double d1 = 0, d2 = 0, window = 0;
};

// The window a reflection at d2 leaves for a microphone at d1.
double ReflectionWindow(double d1, double d2, double speedOfSound);

// Derives the one missing value (non-positive counts as missing) from the
// other two. Values that cannot be derived stay non-positive.
TimeWindowTriangle SolveTimeWindowTriangle(TimeWindowTriangle t, double speedOfSound);

// How the Time-Window page shows its values: cm with 2 decimals, ms with 4.
std::string FormatCentimetres(double metres);
std::string FormatMilliseconds(double seconds);

// Page checks, in the order the sheet runs them.
PageCheck CheckFftPage(MeasurementSettings& ms);
PageCheck CheckTimeWindowPage(MeasurementSettings& ms);
PageCheck CheckGatedSweepPage(MeasurementSettings& ms);
PageCheck CheckMlsPage(MeasurementSettings& ms);
PageCheck CheckSpikePage(MeasurementSettings& ms);
PageCheck CheckWaterfallPage(MeasurementSettings& ms);
PageCheck CheckImpedancePage(MeasurementSettings& ms);
// Run only when the user pressed OK; changes nothing.
PageCheck CheckStartStop(const MeasurementSettings& ms, bool easyMode);

// Every page check and then the start/stop check; the first refusal wins.
// Easy mode has no "Gated TW/Sweep" and "Spike" pages.
PageCheck CheckSettingsSheet(MeasurementSettings& ms, bool easyMode);

// True when the linearity measurement should be offered after a change of
// the sound-card page: none of the gated, sweep, spike and MLS stimuli has
// a compensation file for this setting.
bool CompensationMissing(const MeasurementSettings& ms, const std::string& programFolder,
                         WaveFolderFs& fs = HostFileSystem());

// "Resolution (Hz)" of an MLS: rate / 2^order.
double MlsResolutionHz(uint32_t sampleRate, uint32_t order);

// "Advanced Soundcard Settings" as entered.
struct AdvancedSoundcardValues {
    int bufferCount = 8;           // 2..64
    int stopDelayMs = 100;         // 0..999
    double preSilenceMs = 25.0;    // 0.1..500
    double waveformLevelDb = 0.0;  // -90..0
};
AdvancedSoundcardValues ReadAdvancedValues(const MeasurementSettings& ms);
// OK is accepted only when all four are in range (no message otherwise).
bool AdvancedValuesAcceptable(const AdvancedSoundcardValues& v);
void StoreAdvancedValues(MeasurementSettings& ms, const AdvancedSoundcardValues& v);

// True when a confirmed sheet changed anything the cached stimuli depend on
// (the wave folder is then emptied with ClearWaveFiles(kClearAll)).
bool WaveFilesOutdated(const MeasurementSettings& before, const MeasurementSettings& after);
// True when the open distortion results must be recomputed.
bool ThdHarmonicsChanged(const MeasurementSettings& before, const MeasurementSettings& after);
// Probe compensation needs two channels.
void FinishConfirmedSettings(MeasurementSettings& ms);

}  // namespace srx
