#include "measure/settings_rules.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/frequency_response.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr double kMs = 0.001;
// Bounds written out: kTenthMs is not exactly 0.0001, and a field reset to a
// bound should read back as the bound.
constexpr double kTenthMs = 0.0001, k10Ms = 0.01, k100Ms = 0.1;
constexpr double kLargestSpeedOfSound = 1e38;  // values from here up are replaced
constexpr double kLowestStart = 100.0;         // Hz, where no automatic start applies
// A woofer's resonance lies well below 100 Hz: its impedance starts lower.
constexpr double kLowestImpedanceStart = 10.0;

PageCheck Refuse(SettingsField field) { return {kStrInvalidValues, field}; }

// Moves v into [lo, hi]; false when it was outside (NaN counts as below).
bool Clamp(double& v, double lo, double hi) {
    if (v >= lo && v <= hi) return true;
    v = v > hi ? hi : lo;
    return false;
}

bool ClampCount(uint32_t& v, uint32_t lo, uint32_t hi) {
    if (v >= lo && v <= hi) return true;
    v = v > hi ? hi : lo;
    return false;
}

double MaxFrequency(const MeasurementSettings& ms) {
    return MaxAnalysisFrequency(int(std::min<uint32_t>(+ms.sampleRate, INT_MAX)));
}

bool NearField(const MeasurementSettings& ms) { return (ms.flags & kMsfNearField) != 0; }

double OneSample(const MeasurementSettings& ms) { return ms.sampleRate > 0 ? 1.0 / ms.sampleRate : 0.0; }

// Window, PIR length, start, stop, density and averages: the MLS and spike
// pages share these rules and differ only in their fields and flags.
struct ImpulsePage {
    double window, pir, start, stop;
    uint32_t perOctave, preAverages;
    bool autoStart, autoStop;
    SettingsField windowField, pirField, startField, stopField, perOctaveField, averagesField;
};

// Where an impulse page (MLS or spike) keeps its values in the settings
// record and which fields report them: both pages follow the same rules.
// The record is packed, so its fields are reached by offset and copied.
struct ImpulsePageLayout {
    std::size_t window, pir, start, stop, perOctave, preAverages;
    uint32_t autoStartFlag, autoStopFlag;
    SettingsField windowField, pirField, startField, stopField, perOctaveField, averagesField;
};

template <class T>
T FieldAt(const MeasurementSettings& ms, std::size_t offset) {
    T v;
    std::memcpy(&v, reinterpret_cast<const char*>(&ms) + offset, sizeof v);
    return v;
}
template <class T>
void StoreAt(MeasurementSettings& ms, std::size_t offset, T v) {
    std::memcpy(reinterpret_cast<char*>(&ms) + offset, &v, sizeof v);
}

PageCheck CheckImpulsePage(ImpulsePage& p, double windowLimit, double maxF) {
    // The window is silently limited; only one too short is refused.
    if (!(p.window <= windowLimit)) p.window = windowLimit;
    if (!(p.window > kTenthMs)) {
        p.window = windowLimit;
        return Refuse(p.windowField);
    }
    if (!Clamp(p.pir, kTenthMs, 1.0)) return Refuse(p.pirField);
    const double lowest = 1.0 / p.window;
    if (p.autoStart) {
        p.start = lowest;
    } else if (!(p.start >= kLowestStart)) {
        p.start = kLowestStart;
        return Refuse(p.startField);
    }
    // An automatic stop is not stored: the analyses ask for the rate's limit.
    double stop = maxF;
    if (!p.autoStop) {
        if (!(p.stop > lowest && p.stop <= maxF)) {
            p.stop = maxF;
            return Refuse(p.stopField);
        }
        stop = p.stop;
    }
    if (!(p.start < stop)) {
        p.start = lowest;
        return Refuse(p.startField);
    }
    if (!ClampCount(p.perOctave, 1, 3)) return Refuse(p.perOctaveField);
    if (!ClampCount(p.preAverages, 1, 16)) return Refuse(p.averagesField);
    return {};
}

PageCheck CheckImpulsePage(MeasurementSettings& ms, const ImpulsePageLayout& l, double windowLimit) {
    ImpulsePage p{FieldAt<double>(ms, l.window),
                  FieldAt<double>(ms, l.pir),
                  FieldAt<double>(ms, l.start),
                  FieldAt<double>(ms, l.stop),
                  FieldAt<uint32_t>(ms, l.perOctave),
                  FieldAt<uint32_t>(ms, l.preAverages),
                  (ms.flags & l.autoStartFlag) != 0,
                  (ms.flags & l.autoStopFlag) != 0,
                  l.windowField,
                  l.pirField,
                  l.startField,
                  l.stopField,
                  l.perOctaveField,
                  l.averagesField};
    const PageCheck result = CheckImpulsePage(p, windowLimit, MaxFrequency(ms));
    StoreAt(ms, l.window, p.window);
    StoreAt(ms, l.pir, p.pir);
    StoreAt(ms, l.start, p.start);
    StoreAt(ms, l.stop, p.stop);
    StoreAt(ms, l.perOctave, p.perOctave);
    StoreAt(ms, l.preAverages, p.preAverages);
    return result;
}

#define SRX_FIELD(name) offsetof(MeasurementSettings, name)
constexpr ImpulsePageLayout kMlsPage{
    SRX_FIELD(mlsWindow),        SRX_FIELD(mlsPirLength),      SRX_FIELD(mlsStart),     SRX_FIELD(mlsStop),
    SRX_FIELD(mlsPerOctave),     SRX_FIELD(mlsPreAverages),    kMsfMlsAutoStart,        kMsfMlsAutoStop,
    SettingsField::MlsWindow,    SettingsField::MlsPirLength,  SettingsField::MlsStart, SettingsField::MlsStop,
    SettingsField::MlsPerOctave, SettingsField::MlsPreAverages};
constexpr ImpulsePageLayout kSpikePage{
    SRX_FIELD(spikeWindow),        SRX_FIELD(spikePirLength),      SRX_FIELD(spikeStart),     SRX_FIELD(spikeStop),
    SRX_FIELD(spikePerOctave),     SRX_FIELD(spikePreAverages),    kMsfSpikeAutoStart,        kMsfSpikeAutoStop,
    SettingsField::SpikeWindow,    SettingsField::SpikePirLength,  SettingsField::SpikeStart, SettingsField::SpikeStop,
    SettingsField::SpikePerOctave, SettingsField::SpikePreAverages};
#undef SRX_FIELD

std::string Fixed(const char* fmt, double v) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, fmt, v);
    if (n >= 0 && size_t(n) < sizeof buf) return buf;
    std::string s(size_t(n) + 1, '\0');
    std::snprintf(s.data(), s.size(), fmt, v);
    s.resize(size_t(n));
    return s;
}

template <class T>
bool SameField(const MeasurementSettings& a, const MeasurementSettings& b, size_t offset) {
    return std::memcmp(reinterpret_cast<const char*>(&a) + offset, reinterpret_cast<const char*>(&b) + offset,
                       sizeof(T)) == 0;
}

}  // namespace

double ReflectionWindow(double d1, double d2, double c) {
    const double path = 2.0 * std::sqrt(d1 * d1 / 4.0 + d2 * d2);
    return (path - d1) / c;
}

TimeWindowTriangle SolveTimeWindowTriangle(TimeWindowTriangle t, double c) {
    if (!(c > 0)) return t;
    const bool h1 = t.d1 > 0, h2 = t.d2 > 0, hw = t.window > 0;
    if (h1 && h2 && !hw) {
        t.window = ReflectionWindow(t.d1, t.d2, c);
    } else if (h1 && hw && !h2) {
        const double path = t.window * c + t.d1;
        t.d2 = std::sqrt(path * path / 4.0 - t.d1 * t.d1 / 4.0);
    } else if (h2 && hw && !h1) {
        // The window shrinks as the microphone moves away from the speaker:
        // take the first distance on a 1 cm grid that fits the window.
        for (int i = 0; i <= 990; ++i) {
            const double d1 = 0.1 + 0.01 * i;
            const double path = 2.0 * std::sqrt(d1 * d1 / 4.0 + t.d2 * t.d2);
            if ((path - d1) / c < t.window) {
                const double q = path * path / 4.0 - t.d2 * t.d2;
                t.d1 = q > 0 ? 2.0 * std::sqrt(q) : 0.0;
                break;
            }
        }
    }
    return t;
}

std::string FormatCentimetres(double metres) { return Fixed("%.2f", metres * 100.0); }
std::string FormatMilliseconds(double seconds) { return Fixed("%.4f", seconds * 1000.0); }

PageCheck CheckFftPage(MeasurementSettings& ms) {
    // Silent corrections: the offset in dB is taken as entered.
    const double c = ms.speedOfSound;
    if (!(c >= 1.0)) ms.speedOfSound = 1.0;
    else if (c >= kLargestSpeedOfSound) ms.speedOfSound = std::nextafter(kLargestSpeedOfSound, 0.0);
    return {};
}

PageCheck CheckTimeWindowPage(MeasurementSettings& ms) {
    double offset = ms.timeWindowOffset;
    if (NearField(ms)) {
        if (!Clamp(offset, 0.0, k100Ms)) {
            ms.timeWindowOffset = offset;
            return Refuse(SettingsField::TimeWindowOffset);
        }
        return {};
    }
    const TimeWindowTriangle t =
        SolveTimeWindowTriangle({ms.micDistance, ms.reflectionDistance, ms.timeWindow}, ms.speedOfSound);
    ms.micDistance = t.d1;
    ms.reflectionDistance = t.d2;
    ms.timeWindow = t.window;
    if (!(t.d1 > 0)) return Refuse(SettingsField::MicDistance);
    if (!(t.d2 > 0)) return Refuse(SettingsField::ReflectionDistance);
    if (!(t.window > 0)) return Refuse(SettingsField::TimeWindow);
    if (!(offset < t.window)) {
        // The window itself is no valid offset; start over from none.
        ms.timeWindowOffset = 0.0;
        return Refuse(SettingsField::TimeWindowOffset);
    }
    return {};
}

PageCheck CheckGatedSweepPage(MeasurementSettings& ms) {
    const double maxF = MaxFrequency(ms);
    double window = ms.timeWindow;
    if (!Clamp(window, kTenthMs, k100Ms)) {
        ms.timeWindow = window;
        return Refuse(SettingsField::TimeWindow);
    }
    double start = ms.gatedStart;
    if (!(start >= 1.0 / window)) ms.gatedStart = start = 1.0 / window;
    if (!(start <= maxF)) {
        ms.gatedStart = maxF;
        return Refuse(SettingsField::GatedStart);
    }
    const double stop = ms.gatedStop;
    if (!(stop > start && stop <= maxF)) {
        ms.gatedStop = maxF;
        return Refuse(SettingsField::GatedStop);
    }
    uint32_t n = ms.gatedPerOctave;
    if (!ClampCount(n, 1, 3)) {
        ms.gatedPerOctave = n;
        return Refuse(SettingsField::GatedPerOctave);
    }
    double pause = ms.gatedPause;
    if (!Clamp(pause, 0.0, 10.0)) {
        ms.gatedPause = pause;
        return Refuse(SettingsField::GatedPause);
    }
    double sweepStart = ms.sweepStart;
    if (!Clamp(sweepStart, kLowestStart, maxF)) {
        ms.sweepStart = sweepStart;
        return Refuse(SettingsField::SweepStart);
    }
    const double sweepStop = ms.sweepStop;
    if (!(sweepStop > sweepStart && sweepStop <= maxF)) {
        ms.sweepStop = maxF;
        return Refuse(SettingsField::SweepStop);
    }
    n = ms.sweepPerOctave;
    if (!ClampCount(n, 1, 3)) {
        ms.sweepPerOctave = n;
        return Refuse(SettingsField::SweepPerOctave);
    }
    double time = ms.sweepTimePerOctave;
    if (!Clamp(time, 0.01, 5.0)) {
        ms.sweepTimePerOctave = time;
        return Refuse(SettingsField::SweepTime);
    }
    return {};
}

PageCheck CheckMlsPage(MeasurementSettings& ms) {
    // Unconfigured (rate 0): no sequence limit, the other bounds still hold.
    const double sequence = ms.sampleRate > 0
                                ? (std::ldexp(1.0, int(std::min<uint32_t>(+ms.mlsOrder, 64))) - 1.0) / ms.sampleRate
                                : HUGE_VAL;
    double limit = std::min(sequence, k10Ms);
    if (!NearField(ms)) limit = std::min(limit, double(ms.timeWindow));
    const PageCheck result = CheckImpulsePage(ms, kMlsPage, limit);
    return result;
}

PageCheck CheckSpikePage(MeasurementSettings& ms) {
    const double sample = OneSample(ms);
    if (ms.flags & kMsfAutoSpikeLength) {
        ms.spikeLength = sample;
    } else {
        double length = ms.spikeLength;
        if (!Clamp(length, sample, k100Ms)) {
            ms.spikeLength = length;
            return Refuse(SettingsField::SpikeLength);
        }
    }
    double limit = k10Ms;
    if (!NearField(ms)) limit = std::min(limit, double(ms.timeWindow));
    const PageCheck result = CheckImpulsePage(ms, kSpikePage, limit);
    return result;
}

PageCheck CheckWaterfallPage(MeasurementSettings& ms) {
    const double maxF = MaxFrequency(ms);
    const bool sameLength = (ms.flags & kMsfWaterfallSameLength) != 0;
    double length = sameLength ? ms.timeWindow : ms.waterfallLength;
    if (!(length > 0 && length <= k100Ms)) {
        if (sameLength) ms.timeWindow = k100Ms;
        else ms.waterfallLength = k100Ms;
        return Refuse(sameLength ? SettingsField::TimeWindow : SettingsField::WaterfallLength);
    }
    const double lowest = 1.0 / length;
    double start = ms.waterfallStart;
    if (ms.flags & kMsfWaterfallAutoStart) {
        ms.waterfallStart = start = lowest;
    } else if (!(start >= kLowestStart)) {
        ms.waterfallStart = kLowestStart;
        return Refuse(SettingsField::WaterfallStart);
    }
    double stop = maxF;
    if (!(ms.flags & kMsfWaterfallAutoStop)) {
        stop = ms.waterfallStop;
        if (!(stop > lowest && stop <= maxF)) {
            ms.waterfallStop = maxF;
            return Refuse(SettingsField::WaterfallStop);
        }
    }
    if (!(start < stop)) {
        ms.waterfallStart = lowest;
        return Refuse(SettingsField::WaterfallStart);
    }
    uint32_t n = ms.waterfallPerOctave;
    if (!ClampCount(n, 1, 3)) {
        ms.waterfallPerOctave = n;
        return Refuse(SettingsField::WaterfallPerOctave);
    }
    return {};
}

PageCheck CheckImpedancePage(MeasurementSettings& ms) {
    const double maxF = MaxFrequency(ms);
    const double start = ms.impedanceStart;
    if (!(start >= kLowestImpedanceStart && start <= maxF)) {
        ms.impedanceStart = kLowestImpedanceStart;
        return Refuse(SettingsField::ImpedanceStart);
    }
    const double stop = ms.impedanceStop;
    if (!(stop > start && stop <= maxF)) {
        ms.impedanceStop = maxF;
        return Refuse(SettingsField::ImpedanceStop);
    }
    uint32_t n = ms.impedancePerOctave;
    if (!ClampCount(n, 1, 96)) {
        ms.impedancePerOctave = n;
        return Refuse(SettingsField::ImpedancePerOctave);
    }
    double time = ms.impedanceSweepTime;
    if (!Clamp(time, 0.01, 5.0)) {
        ms.impedanceSweepTime = time;
        return Refuse(SettingsField::ImpedanceSweepTime);
    }
    return {};
}

PageCheck CheckStartStop(const MeasurementSettings& ms, bool easyMode) {
    const double start = ms.gatedStart, stop = ms.gatedStop;
    const bool aboveLimit = !easyMode && stop > MaxFrequency(ms);
    if (aboveLimit || !(stop >= start)) return {kStrCheckStartStop, SettingsField::GatedStop};
    return {};
}

PageCheck CheckSettingsSheet(MeasurementSettings& ms, bool easyMode) {
    PageCheck (*const pages[])(MeasurementSettings&) = {CheckFftPage,      CheckTimeWindowPage, CheckGatedSweepPage,
                                                        CheckMlsPage,      CheckSpikePage,      CheckWaterfallPage,
                                                        CheckImpedancePage};
    for (auto page : pages) {
        if (easyMode && (page == CheckGatedSweepPage || page == CheckSpikePage)) continue;
        const PageCheck r = page(ms);
        if (!r.ok()) return r;
    }
    return CheckStartStop(ms, easyMode);
}

bool CompensationMissing(const MeasurementSettings& ms, const std::string& programFolder, WaveFolderFs& fs) {
    const bool preEmphasis = (ms.flags & kMsfMlsPreEmphasis) != 0;
    const int order = int(std::min<uint32_t>(+ms.mlsOrder, INT_MAX));
    for (CompensationStimulus kind : {CompensationStimulus::GatedSine, CompensationStimulus::Sweep,
                                      CompensationStimulus::Spike, CompensationStimulus::Mls}) {
        if (CompensationFileName(ms, programFolder, nullptr, kind, preEmphasis, order, fs)) return false;
    }
    return true;
}

double MlsResolutionHz(uint32_t sampleRate, uint32_t order) {
    return std::ldexp(double(sampleRate), -int(std::min<uint32_t>(order, 1023)));
}

AdvancedSoundcardValues ReadAdvancedValues(const MeasurementSettings& ms) {
    AdvancedSoundcardValues v;
    v.bufferCount = int(std::min<uint32_t>(+ms.bufferCount, INT_MAX));
    v.stopDelayMs = ms.stopDelayPlusOne > 0 ? int(std::min<uint32_t>(+ms.stopDelayPlusOne - 1, INT_MAX)) : 0;
    v.preSilenceMs = ms.preSilence / kMs;
    v.waveformLevelDb = ms.waveformLevelDb;
    return v;
}

bool AdvancedValuesAcceptable(const AdvancedSoundcardValues& v) {
    return v.bufferCount >= 2 && v.bufferCount <= 64 && v.stopDelayMs >= 0 && v.stopDelayMs <= 999 &&
           v.preSilenceMs >= 0.1 && v.preSilenceMs <= 500.0 && v.waveformLevelDb >= -90.0 && v.waveformLevelDb <= 0.0;
}

void StoreAdvancedValues(MeasurementSettings& ms, const AdvancedSoundcardValues& v) {
    ms.bufferCount = uint32_t(v.bufferCount);
    ms.stopDelayPlusOne = uint32_t(v.stopDelayMs) + 1;
    ms.preSilence = v.preSilenceMs * kMs;
    ms.waveformLevelDb = v.waveformLevelDb;
}

bool WaveFilesOutdated(const MeasurementSettings& a, const MeasurementSettings& b) {
    // Compared byte for byte: a NaN that stayed a NaN is no change.
#define SRX_SAME(field) SameField<decltype(MeasurementSettings::field)>(a, b, offsetof(MeasurementSettings, field))
    const bool same = SRX_SAME(sampleRate) && SRX_SAME(bitsPerSample) && SRX_SAME(channels) && SRX_SAME(timeWindow) &&
                      SRX_SAME(waveformLevelDb) && SRX_SAME(preSilence) && SRX_SAME(stopDelayPlusOne) &&
                      SRX_SAME(gatedStart) && SRX_SAME(gatedStop) && SRX_SAME(gatedPerOctave) && SRX_SAME(gatedPause) &&
                      SRX_SAME(sweepStart) && SRX_SAME(sweepStop) && SRX_SAME(sweepTimePerOctave) &&
                      SRX_SAME(spikeLength) && SRX_SAME(mlsOrder) && SRX_SAME(impedanceStart) &&
                      SRX_SAME(impedanceStop) && SRX_SAME(impedanceSweepTime) && SRX_SAME(impedanceMlsOrder);
#undef SRX_SAME
    constexpr uint32_t kFlagBits = kMsfProbeCompensation | kMsfReverseSweep | kMsfMlsPreEmphasis;
    const uint32_t fa = a.flags, fb = b.flags;
    return !same || ((fa ^ fb) & kFlagBits) != 0;
}

bool ThdHarmonicsChanged(const MeasurementSettings& a, const MeasurementSettings& b) {
    return a.thdHarmonics != b.thdHarmonics;
}

void FinishConfirmedSettings(MeasurementSettings& ms) {
    if (ms.channels == 1) ms.flags &= ~kMsfProbeCompensation;
}

}  // namespace srx
