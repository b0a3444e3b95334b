#include "measure/time_window_rules.h"

#include <cmath>
#include <cstdio>
#include <cctype>
#include <cstring>

#include "dsp/compensation.h"
#include "measure/compensation_settings.h"
#include "dsp/min_phase.h"
#include "dsp/window.h"
#include "measure/measurement_settings.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

// Start + length may reach the record's end exactly; the fields carry a few
// decimals, so the sum is compared with a little room for rounding.
constexpr double kDurationSlackMs = 1e-6;

bool IsWindowType(int type) { return type >= kWindowRectangular && type <= kWindowBlackmanHarris; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

}  // namespace

double RecordDurationMs(const TimeRecord& record) {
    if (record.h.sampleRate <= 0 || record.h.sampleCount <= 0) return 0;
    return 1000.0 * double(record.h.sampleCount) / double(record.h.sampleRate);
}

double StoredStartFrequency(const TimeRecord& record, const MeasurementSettings& settings) {
    const uint32_t flags = settings.flags;
    if (record.h.flags & kTwfMls) return (flags & kMsfMlsAutoStart) ? 0.0 : double(settings.mlsStart);
    return (flags & kMsfSpikeAutoStart) ? 0.0 : double(settings.spikeStart);
}

TimeWindowDialogState InitialTimeWindowState(const TimeRecord& record, double storedStartFrequency,
                                             int defaultWindowType) {
    TimeWindowDialogState s;
    const TimeRecordHeader& h = record.h;
    TimeWindowChoice& c = s.choice;
    c.lengthMs = 1000.0 * double(h.fftWindowLength);
    if (h.windowStart != 0) c.mode = kTimeWindowManual;
    else c.mode = (h.flags & kTwfDelayFree) ? kTimeWindowDelayFree : kTimeWindowNormal;
    c.startMs = h.sampleRate > 0 ? 1000.0 * double(h.windowStart) / double(h.sampleRate) : 0.0;
    c.startFrequency = storedStartFrequency;
    const int stored = h.windowType;
    c.windowType = IsWindowType(stored) ? stored : (IsWindowType(defaultWindowType) ? defaultWindowType : 2);
    c.compensation = TextOf(h.setup.compensationFile);
    s.durationMs = RecordDurationMs(record);
    s.startFrequencyEnabled = storedStartFrequency >= 0;
    // Probe-compensated records carry their correction in the data.
    s.compensationEnabled = (h.flags & kTwfCompensationContained) == 0;
    return s;
}

TimeWindowVerdict CheckTimeWindowChoice(const TimeWindowChoice& c, double durationMs, bool startFrequencyEnabled) {
    if (!std::isfinite(c.lengthMs) || c.lengthMs < kMinTimeWindowMs) return TimeWindowVerdict::Refuse;
    const bool manual = c.mode == kTimeWindowManual;
    if (manual && (!std::isfinite(c.startMs) || c.startMs < 0)) return TimeWindowVerdict::Refuse;
    if (startFrequencyEnabled && (!std::isfinite(c.startFrequency) || c.startFrequency < 0))
        return TimeWindowVerdict::Refuse;
    if (manual && c.startMs + c.lengthMs > durationMs + kDurationSlackMs) return TimeWindowVerdict::ExceedsRecord;
    return TimeWindowVerdict::Accept;
}

Status ExceedsRecordMessage(double durationMs) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", durationMs);
    return Status::Error(kStrWindowTooLong, {text});
}

bool StoreTimeWindowChoice(TimeRecord& record, const TimeWindowChoice& c) {
    const TimeRecordHeader before = record.h;
    const bool manual = c.mode == kTimeWindowManual;
    ApplyTimeWindow(record, c.mode, c.lengthMs / 1000.0, manual ? c.startMs / 1000.0 : -1.0);
    record.h.windowType = c.windowType;
    SetText(record.h.setup.compensationFile, c.compensation);
    const bool changed = std::memcmp(&before, &record.h, sizeof before) != 0;
    if (changed) record.h.flags &= ~uint32_t(kTwfSaved);
    return changed;
}

WindowResponse FrequencyResponseOfWindow(TimeRecord& record, const TimeWindowChoice& choice,
                                         const AnalysisSettings& analysis, const CompensationSettings& compensation,
                                         bool minimumPhase) {
    WindowResponse out;
    AnalysisSettings st = analysis;
    st.windowType = choice.windowType;
    const int ppo = PointsPerOctaveFor(record, st);
    out.response = ImpulseToFrequencyResponse(record, choice.startFrequency, ppo, 0, st, &out.fallback);
    if (!out.response) return out;
    Measurement& m = *out.response;
    SetText(m.h.title, TextOf(record.h.title));

    // The set-up block came over from the record, and with it the record's
    // compensation name: the curve names a compensation only once one has
    // really been applied to it.
    SetText(m.h.setup.compensationFile, "");
    m.h.flags &= ~uint32_t(kMesCompensationRecorded);
    const bool probe = (record.h.flags & kTwfCompensationContained) != 0;
    const std::string micName = probe ? std::string() : choice.compensation;
    // Each application rebuilds the phase family; the minimum phase is left
    // to the one derivation below.
    AnalysisSettings quick = st;
    quick.alwaysComputeMinimumPhase = false;
    Status s = ApplyMicrophoneCompensation(m, micName.c_str(), compensation, quick);
    if (!s) out.compensation = s;
    s = ApplySecondaryCompensation(m, compensation, quick);
    if (!s && out.compensation) out.compensation = s;
    // Marked after compensating: the mark stops the compensation code.
    if (probe) m.h.flags |= kMesCompensationContained;

    DerivePhaseFamily(m, st, minimumPhase);
    return out;
}

bool DerivePhaseFamily(Measurement& m, const AnalysisSettings& settings, bool minimumPhase) {
    AnalysisSettings st = settings;
    // Computed below, so that its success is known.
    st.alwaysComputeMinimumPhase = false;
    DerivePhaseData(m, st);
    const bool hasFamily =
        m.h.curveKind == kCurveFrequencyResponse || (m.h.curveKind == kCurveSweepResponse && (m.h.flags & kMesPhase));
    const bool stored = (m.h.flags & kMesStoredMinimumPhase) != 0;
    bool ok = hasFamily && stored;  // DerivePhaseData has done it
    if (hasFamily && !stored && minimumPhase) {
        ok = ComputeMinimumPhase(m, st);
        if (!ok) {
            for (CurvePoint& p : m.points)
                for (int slot = kSlotMinimumPhase; slot <= kSlotExcessGroupDelay; ++slot) p.value[slot] = 0.0f;
        }
    }
    if (ok) m.h.flags |= kMesMinimumPhaseCalculated;
    else m.h.flags &= ~uint32_t(kMesMinimumPhaseCalculated);
    return ok;
}

bool LacksMinimumPhase(const Measurement& m) {
    const bool hasFamily =
        m.h.curveKind == kCurveFrequencyResponse || (m.h.curveKind == kCurveSweepResponse && (m.h.flags & kMesPhase));
    return hasFamily && !(m.h.flags & kMesMinimumPhaseCalculated);
}

bool IsFftOfRecord(const Measurement& m, const TimeRecord& record) {
    return m.h.curveKind == kCurveFrequencyResponse && m.h.origin == 0 && (m.h.method == 12 || m.h.method == 13) &&
           EqualNoCase(TextOf(m.h.title), TextOf(record.h.title));
}

std::string FormatFieldNumber(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals < 0 ? 0 : decimals, value);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    if (s == "-0") s.erase(0, 1);
    return s;
}

}  // namespace srx
