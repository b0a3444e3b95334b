#pragma once
// The measurement settings record: how every measurement is made and
// analysed. It is the body of the "Program Configuration 20" block, so its
// layout is a storage format: explicit widths, packed, every offset pinned.
// Words whose meaning nobody here knows are carried as read.
//
// The record is packed, so most doubles sit on 4-byte boundaries: read and
// write its fields by value, never bind a reference or pointer to one.
#include <cstddef>
#include <cstdint>

#include "data/settings_blocks.h"

namespace srx {

struct AnalysisSettings;

// Option bits of MeasurementSettings::flags.
constexpr uint32_t kMsfPlayFinishedSound = 1u << 0;  // play FINISHED.WAV when a measurement ends
constexpr uint32_t kMsfInvertInput = 1u << 1;        // invert the sampled waveform
constexpr uint32_t kMsfDontMuteInput = 1u << 2;      // leave the mixer's input unmuted
constexpr uint32_t kMsfNearField = 1u << 4;          // MLS/spike/waterfall keep their own windows
constexpr uint32_t kMsfNoNormalise = 1u << 5;        // add addToResponseDb instead of normalising
constexpr uint32_t kMsfKeepAbsoluteLevels = 1u << 7;  // imported and converted responses keep their levels
constexpr uint32_t kMsfImpedanceWarmUp = 1u << 9;    // impedance: play one warm-up stimulus
constexpr uint32_t kMsfAutoSpikeLength = 1u << 10;   // spike length is one sample
constexpr uint32_t kMsfSpikeDoFft = 1u << 11;
constexpr uint32_t kMsfSpikeDoWaterfall = 1u << 12;
constexpr uint32_t kMsfSpikeAutoStop = 1u << 13;
constexpr uint32_t kMsfMlsWarmUp = 1u << 14;
constexpr uint32_t kMsfMlsPreEmphasis = 1u << 15;
constexpr uint32_t kMsfMlsDoFft = 1u << 16;
constexpr uint32_t kMsfMlsDoWaterfall = 1u << 17;
constexpr uint32_t kMsfMlsAutoStop = 1u << 18;
constexpr uint32_t kMsfWaterfallSameLength = 1u << 20;  // waterfall length = global time window
constexpr uint32_t kMsfWaterfallAutoStop = 1u << 21;
constexpr uint32_t kMsfInitSoundcard = 1u << 22;      // initialise the card after a settings change
constexpr uint32_t kMsfProbeCompensation = 1u << 24;  // only meaningful in stereo
constexpr uint32_t kMsfMlsManualAverages = 1u << 25;
constexpr uint32_t kMsfSpikeManualAverages = 1u << 26;
constexpr uint32_t kMsfSpikeAutoStart = 1u << 27;
constexpr uint32_t kMsfMlsAutoStart = 1u << 28;
constexpr uint32_t kMsfWaterfallAutoStart = 1u << 29;
constexpr uint32_t kMsfReverseSweep = 1u << 30;
constexpr uint32_t kMsfImpedanceMls = 1u << 31;  // impedance uses the MLS method

constexpr uint32_t kDefaultMeasurementFlags = 0xB83D2CB0;

// Bits of MeasurementSettings::moreFlags.
constexpr uint32_t kMsf2DontResetToneControls = 1u << 0;
constexpr uint32_t kMsf2ProbePhaseCorrection = 1u << 1;

// Input sources (MeasurementSettings::inputSource).
constexpr uint32_t kInputMic = 0;
constexpr uint32_t kInputLine = 1;
constexpr uint32_t kInputAux = 2;
constexpr uint32_t kInputOnlyLine = 5;  // the one recording line of a mixer without the three

// Impedance box versions (impedanceBoxVersion).
constexpr uint32_t kBoxVersion1 = 0;
constexpr uint32_t kBoxVersion2 = 1;
constexpr uint32_t kBoxVersion3 = 2;
constexpr uint32_t kBox1kResistor = 3;

#pragma pack(push, 1)

// Times in seconds, frequencies in Hz, distances in metres, levels in dB.
struct MeasurementSettings {
    int32_t version;                // 0
    uint8_t carried0[52];           // 4
    uint32_t outputDevice;          // 56: 0 = wave mapper, n = device n - 1
    uint32_t inputDevice;           // 60
    uint16_t channels;              // 64: 1 or 2
    uint16_t bitsPerSample;         // 66: 16 or 24
    uint32_t sampleRate;            // 68: 0 = never configured
    uint32_t inputSource;           // 72
    uint32_t reverseChannels;       // 76
    uint32_t stopDelayPlusOne;      // 80: stop delay in ms, plus one
    uint32_t bufferCount;           // 84
    uint32_t flags;                 // 88: kMsf...
    char reservedPath[260];         // 92
    uint8_t carried1[260];          // 352
    uint32_t fftWindowType;         // 612: WindowType
    uint32_t phaseAccuracy;         // 616: minimum/excess phase quality 0..3
    double speedOfSound;            // 620: m/s
    double addToResponseDb;         // 628: used when normalising is off
    double micDistance;             // 636: d1
    double reflectionDistance;      // 644: d2
    double timeWindow;              // 652: the global analysis window
    double timeWindowOffset;        // 660: near-field only
    double gatedStart;              // 668
    double gatedStop;               // 676
    uint32_t gatedPerOctave;        // 684
    double sweepStart;              // 688
    double sweepStop;               // 696
    double sweepTimePerOctave;      // 704
    uint32_t sweepPerOctave;        // 712
    double impedanceStart;          // 716
    double impedanceStop;           // 724
    double impedanceSweepTime;      // 732: per octave
    uint32_t impedancePerOctave;    // 740
    double impedanceCalibration;    // 744: factor set by the impedance calibration
    double waterfallLength;         // 752
    double waterfallStop;           // 760
    uint32_t waterfallType;         // 768: 0 shrinking, 1 constant time window
    uint32_t waterfallPerOctave;    // 772
    double spikeLength;             // 776
    double spikeWindow;             // 784
    double spikePirLength;          // 792
    double spikeStop;               // 800
    uint32_t spikePreAverages;      // 808
    uint32_t spikePerOctave;        // 812
    uint32_t mlsOrder;              // 816: sequence length 2^order - 1
    double mlsWindow;               // 820
    double mlsPirLength;            // 828
    double mlsStop;                 // 836
    uint32_t mlsPreAverages;        // 844
    uint32_t mlsPerOctave;          // 848
    uint8_t carried2[36];           // 852
    double waterfallStart;          // 888
    double spikeStart;              // 896
    double mlsStart;                // 904
    uint32_t impedanceMlsOrder;     // 912
    uint32_t impedanceWindowType;   // 916
    double preSilence;              // 920: before every stimulus
    uint32_t fftWindowStart;        // 928: TimeWindowMode
    double waveformLevelDb;         // 932: -90..0, scales every stimulus
    double gatedPause;              // 940
    uint32_t impedanceBoxVersion;   // 948
    uint32_t optimisedFor;          // 952: buffer-table factor
    uint8_t carried3[20];           // 956
    uint32_t moreFlags;             // 976: kMsf2...
    uint8_t carried4[4];            // 980
    uint32_t thdHarmonics;          // 984: bit k-2 = harmonic k counts in the THD
    uint8_t carried5[4];            // 988
    uint32_t impedancePreAverages;  // 992
    uint32_t gatedPreAverages;      // 996
    uint32_t sweepPreAverages;      // 1000
    uint8_t carried6[140];          // 1004
};

#pragma pack(pop)

static_assert(sizeof(MeasurementSettings) == sizeof(ProgramConfig));
static_assert(sizeof(MeasurementSettings) == 1144);
static_assert(alignof(MeasurementSettings) == 1);
static_assert(offsetof(MeasurementSettings, version) == 0);
static_assert(offsetof(MeasurementSettings, outputDevice) == 56);
static_assert(offsetof(MeasurementSettings, inputDevice) == 60);
static_assert(offsetof(MeasurementSettings, channels) == 64);
static_assert(offsetof(MeasurementSettings, bitsPerSample) == 66);
static_assert(offsetof(MeasurementSettings, sampleRate) == 68);
static_assert(offsetof(MeasurementSettings, inputSource) == 72);
static_assert(offsetof(MeasurementSettings, reverseChannels) == 76);
static_assert(offsetof(MeasurementSettings, stopDelayPlusOne) == 80);
static_assert(offsetof(MeasurementSettings, bufferCount) == 84);
static_assert(offsetof(MeasurementSettings, flags) == 88);
static_assert(offsetof(MeasurementSettings, reservedPath) == 92);
static_assert(offsetof(MeasurementSettings, fftWindowType) == 612);
static_assert(offsetof(MeasurementSettings, phaseAccuracy) == 616);
static_assert(offsetof(MeasurementSettings, speedOfSound) == 620);
static_assert(offsetof(MeasurementSettings, addToResponseDb) == 628);
static_assert(offsetof(MeasurementSettings, micDistance) == 636);
static_assert(offsetof(MeasurementSettings, reflectionDistance) == 644);
static_assert(offsetof(MeasurementSettings, timeWindow) == 652);
static_assert(offsetof(MeasurementSettings, timeWindowOffset) == 660);
static_assert(offsetof(MeasurementSettings, gatedStart) == 668);
static_assert(offsetof(MeasurementSettings, gatedStop) == 676);
static_assert(offsetof(MeasurementSettings, gatedPerOctave) == 684);
static_assert(offsetof(MeasurementSettings, sweepStart) == 688);
static_assert(offsetof(MeasurementSettings, sweepStop) == 696);
static_assert(offsetof(MeasurementSettings, sweepTimePerOctave) == 704);
static_assert(offsetof(MeasurementSettings, sweepPerOctave) == 712);
static_assert(offsetof(MeasurementSettings, impedanceStart) == 716);
static_assert(offsetof(MeasurementSettings, impedanceStop) == 724);
static_assert(offsetof(MeasurementSettings, impedanceSweepTime) == 732);
static_assert(offsetof(MeasurementSettings, impedancePerOctave) == 740);
static_assert(offsetof(MeasurementSettings, impedanceCalibration) == 744);
static_assert(offsetof(MeasurementSettings, waterfallLength) == 752);
static_assert(offsetof(MeasurementSettings, waterfallStop) == 760);
static_assert(offsetof(MeasurementSettings, waterfallType) == 768);
static_assert(offsetof(MeasurementSettings, waterfallPerOctave) == 772);
static_assert(offsetof(MeasurementSettings, spikeLength) == 776);
static_assert(offsetof(MeasurementSettings, spikeWindow) == 784);
static_assert(offsetof(MeasurementSettings, spikePirLength) == 792);
static_assert(offsetof(MeasurementSettings, spikeStop) == 800);
static_assert(offsetof(MeasurementSettings, spikePreAverages) == 808);
static_assert(offsetof(MeasurementSettings, spikePerOctave) == 812);
static_assert(offsetof(MeasurementSettings, mlsOrder) == 816);
static_assert(offsetof(MeasurementSettings, mlsWindow) == 820);
static_assert(offsetof(MeasurementSettings, mlsPirLength) == 828);
static_assert(offsetof(MeasurementSettings, mlsStop) == 836);
static_assert(offsetof(MeasurementSettings, mlsPreAverages) == 844);
static_assert(offsetof(MeasurementSettings, mlsPerOctave) == 848);
static_assert(offsetof(MeasurementSettings, waterfallStart) == 888);
static_assert(offsetof(MeasurementSettings, spikeStart) == 896);
static_assert(offsetof(MeasurementSettings, mlsStart) == 904);
static_assert(offsetof(MeasurementSettings, impedanceMlsOrder) == 912);
static_assert(offsetof(MeasurementSettings, impedanceWindowType) == 916);
static_assert(offsetof(MeasurementSettings, preSilence) == 920);
static_assert(offsetof(MeasurementSettings, fftWindowStart) == 928);
static_assert(offsetof(MeasurementSettings, waveformLevelDb) == 932);
static_assert(offsetof(MeasurementSettings, gatedPause) == 940);
static_assert(offsetof(MeasurementSettings, impedanceBoxVersion) == 948);
static_assert(offsetof(MeasurementSettings, optimisedFor) == 952);
static_assert(offsetof(MeasurementSettings, moreFlags) == 976);
static_assert(offsetof(MeasurementSettings, thdHarmonics) == 984);
static_assert(offsetof(MeasurementSettings, impedancePreAverages) == 992);
static_assert(offsetof(MeasurementSettings, gatedPreAverages) == 996);
static_assert(offsetof(MeasurementSettings, sweepPreAverages) == 1000);

// Sets every listed field to its default; the carried words stay as they are.
void ResetMeasurementDefaults(MeasurementSettings& ms);

// The upgrade of a stored record of version 2005..2007 (the caller sets the
// version to 2008 afterwards).
void UpgradeMeasurementSettings(MeasurementSettings& ms, int32_t storedVersion);

// Repairs applied after loading, whether or not a stored record was used.
void RepairMeasurementSettings(MeasurementSettings& ms);

// Byte copies between the settings block and a record.
MeasurementSettings ReadMeasurementSettings(const ProgramConfig& block);
void WriteMeasurementSettings(ProgramConfig& block, const MeasurementSettings& ms);

// Plugs defaults, upgrade and repairs into the settings loader. A repair of
// the process-wide block also refreshes CurrentAnalysisSettings().
void InstallMeasurementSettingsHooks();

// The process-wide record: a view of Settings().program.
MeasurementSettings& CurrentMeasurementSettings();

// Resets the process-wide record to its defaults.
void ResetMeasurementDefaults();

// Copies what the analyses read: MLS records use the MLS density and stop
// frequency, every other record the spike page's. Fields no setting owns
// (pre-delay, half window, always-compute-minimum-phase) are left alone.
// The density setting of the transform-based analyses (MLS, spike; 1..3 on
// the pages) as points per octave of the curve: 24, 48 or 96. A gated sine
// measures every frequency on its own, so there the setting counts literally;
// a transform gives every frequency for free, and three points per octave
// would hide the detail the measurement holds. Other values count literally.
int FftPointsPerOctave(uint32_t setting);

void FillAnalysisSettings(const MeasurementSettings& ms, AnalysisSettings& out);

// FillAnalysisSettings(CurrentMeasurementSettings(), CurrentAnalysisSettings()).
void RefreshAnalysisSettings();

}  // namespace srx
