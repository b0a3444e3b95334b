#include "measure/measurement_settings.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "dsp/frequency_response.h"

namespace srx {

namespace {

constexpr uint32_t kOldBoxVersionBit = 1u << 22;  // 2005/2006 kept the box version here
constexpr uint32_t kMinBuffers = 2, kMaxBuffers = 64, kDefaultBuffers = 8;
constexpr uint32_t kDefaultImpedanceMlsOrder = 17;
constexpr uint32_t kMaxMlsOrder = 20;

int SaturatedInt(uint32_t v) { return v > uint32_t(INT_MAX) ? INT_MAX : int(v); }

}  // namespace

void ResetMeasurementDefaults(MeasurementSettings& ms) {
    ms.version = kProgramConfigVersion;
    ms.outputDevice = 0;
    ms.inputDevice = 0;
    ms.channels = 0;
    ms.bitsPerSample = 0;
    ms.sampleRate = 0;
    ms.inputSource = kInputMic;
    ms.reverseChannels = 0;
    ms.stopDelayPlusOne = 101;
    ms.bufferCount = kDefaultBuffers;
    ms.flags = kDefaultMeasurementFlags;
    std::memset(ms.reservedPath, 0, sizeof ms.reservedPath);
    ms.fftWindowType = 2;
    ms.phaseAccuracy = 1;
    ms.speedOfSound = 344.0;
    ms.addToResponseDb = 65.0;
    ms.micDistance = 1.0;
    ms.reflectionDistance = 1.0;
    ms.timeWindow = 0.01;
    ms.timeWindowOffset = 0.0;
    ms.gatedStart = 100.0;
    ms.gatedStop = 47850.0;
    ms.gatedPerOctave = 3;
    ms.sweepStart = 100.0;
    ms.sweepStop = 47850.0;
    ms.sweepTimePerOctave = 0.1;
    ms.sweepPerOctave = 3;
    ms.impedanceStart = 100.0;
    ms.impedanceStop = 47850.0;
    ms.impedanceSweepTime = 0.5;
    // T/S parameters are read at curve points: a resonance needs a fine
    // grid, which three frequencies per octave are not.
    ms.impedancePerOctave = 48;
    ms.impedanceCalibration = 1.0;
    ms.waterfallLength = 0.01;
    ms.waterfallStop = 0.0;
    ms.waterfallType = 1;
    ms.waterfallPerOctave = 3;
    ms.spikeLength = 1.0 / 44100.0;
    ms.spikeWindow = 0.01;
    ms.spikePirLength = 0.055;
    ms.spikeStop = 0.0;
    ms.spikePreAverages = 4;
    ms.spikePerOctave = 3;
    ms.mlsOrder = 13;
    ms.mlsWindow = 0.01;
    ms.mlsPirLength = 0.055;
    ms.mlsStop = 0.0;
    ms.mlsPreAverages = 1;
    ms.mlsPerOctave = 3;
    ms.waterfallStart = 100.0;
    ms.spikeStart = 100.0;
    ms.mlsStart = 100.0;
    ms.impedanceMlsOrder = kDefaultImpedanceMlsOrder;
    ms.impedanceWindowType = 2;
    ms.preSilence = 0.025;
    ms.fftWindowStart = 0;
    ms.waveformLevelDb = 0.0;
    ms.gatedPause = 0.5;
    ms.impedanceBoxVersion = kBoxVersion3;
    ms.optimisedFor = 0;
    ms.moreFlags = 0;
    ms.thdHarmonics = 0xFFFFFFFFu;
    ms.impedancePreAverages = 1;
    ms.gatedPreAverages = 1;
    ms.sweepPreAverages = 1;
}

void UpgradeMeasurementSettings(MeasurementSettings& ms, int32_t storedVersion) {
    if (storedVersion == 2005 || storedVersion == 2006) {
        // Bit 22 held the box choice then; it now means "initialise the card".
        ms.flags &= ~kMsfImpedanceWarmUp;
        ms.impedanceBoxVersion = (ms.flags & kOldBoxVersionBit) ? 1 : 0;
        ms.flags &= ~kOldBoxVersionBit;
    }
    if (storedVersion >= 2005 && storedVersion <= 2007) {
        // A 2007 record's box 2 is the jig that 2008 numbers 3.
        if (ms.impedanceBoxVersion == kBoxVersion3) ms.impedanceBoxVersion = kBox1kResistor;
    }
}

void RepairMeasurementSettings(MeasurementSettings& ms) {
    if (ms.bitsPerSample == 8) ms.bitsPerSample = 16;
    if (ms.impedanceMlsOrder == 0) ms.impedanceMlsOrder = kDefaultImpedanceMlsOrder;
    if ((ms.thdHarmonics & 0x80000000u) == 0) ms.thdHarmonics = 0xFFFFFFFFu;
    // A damaged value must not make the engine allocate thousands of
    // buffers or wait on none; the advanced dialog allows 2..64.
    if (ms.bufferCount < kMinBuffers || ms.bufferCount > kMaxBuffers) ms.bufferCount = kDefaultBuffers;
    // The sequence length is 2^order: a wild order would ask for gigabytes.
    if (ms.mlsOrder < 1 || ms.mlsOrder > kMaxMlsOrder) ms.mlsOrder = 13;
    if (ms.impedanceMlsOrder > kMaxMlsOrder) ms.impedanceMlsOrder = kDefaultImpedanceMlsOrder;
    // Nobody reads the path, but it must stay a C string.
    ms.reservedPath[sizeof ms.reservedPath - 1] = '\0';
}

MeasurementSettings ReadMeasurementSettings(const ProgramConfig& block) {
    MeasurementSettings ms;
    std::memcpy(&ms, &block, sizeof ms);
    return ms;
}

void WriteMeasurementSettings(ProgramConfig& block, const MeasurementSettings& ms) {
    std::memcpy(&block, &ms, sizeof ms);
}

MeasurementSettings& CurrentMeasurementSettings() {
    // Same size, alignment 1 and only trivially copyable members: the block
    // held in Settings() is viewed as the record in place, so that loading,
    // saving and the pages all work on the one copy.
    ProgramConfig* block = &Settings().program;
    return *std::launder(reinterpret_cast<MeasurementSettings*>(block));
}

void ResetMeasurementDefaults() { ResetMeasurementDefaults(CurrentMeasurementSettings()); }

void InstallMeasurementSettingsHooks() {
    ProgramConfigHooks hooks;
    hooks.defaults = [](ProgramConfig& block) {
        MeasurementSettings ms = ReadMeasurementSettings(block);
        ResetMeasurementDefaults(ms);
        WriteMeasurementSettings(block, ms);
    };
    hooks.upgrade = [](ProgramConfig& block, int32_t storedVersion) {
        MeasurementSettings ms = ReadMeasurementSettings(block);
        UpgradeMeasurementSettings(ms, storedVersion);
        WriteMeasurementSettings(block, ms);
    };
    hooks.repair = [](ProgramConfig& block) {
        MeasurementSettings ms = ReadMeasurementSettings(block);
        RepairMeasurementSettings(ms);
        WriteMeasurementSettings(block, ms);
        if (&block == &Settings().program) FillAnalysisSettings(ms, CurrentAnalysisSettings());
    };
    SetProgramConfigHooks(std::move(hooks));
}

int FftPointsPerOctave(uint32_t setting) {
    if (setting >= 1 && setting <= 3) return 24 << (setting - 1);
    return std::max(1, SaturatedInt(setting));
}

void FillAnalysisSettings(const MeasurementSettings& ms, AnalysisSettings& out) {
    const uint32_t flags = ms.flags;
    out.pointsPerOctaveMls = FftPointsPerOctave(ms.mlsPerOctave);
    out.topFrequencyMls = ms.mlsStop;
    out.topIsMaxFrequencyMls = (flags & kMsfMlsAutoStop) != 0;
    out.pointsPerOctave = FftPointsPerOctave(ms.spikePerOctave);
    out.topFrequency = ms.spikeStop;
    out.topIsMaxFrequency = (flags & kMsfSpikeAutoStop) != 0;
    out.levelOffsetDb = (flags & kMsfNoNormalise) ? ms.addToResponseDb : 0.0;
    out.minimumPhaseQuality = int(std::min<uint32_t>(+ms.phaseAccuracy, 3));
    // "Calculate Minimum-Phase" (menu option in the same flag word).
    out.alwaysComputeMinimumPhase = (flags & 0x800000u) != 0;
    // An unknown window type would leave the data unweighted; analyse with Hanning.
    out.windowType = ms.fftWindowType <= 5 ? int(ms.fftWindowType) : 2;
    // A word whose top bit is clear was never set: every harmonic counts.
    out.thdHarmonics = (ms.thdHarmonics & 0x80000000u) ? ms.thdHarmonics : 0xFFFFFFFFu;
}

void RefreshAnalysisSettings() { FillAnalysisSettings(CurrentMeasurementSettings(), CurrentAnalysisSettings()); }

}  // namespace srx
