#include "data/records.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {


std::unique_ptr<Measurement> NewMeasurement(int32_t curveKind) {
    try {
        auto m = std::make_unique<Measurement>();
        m->h.curveKind = curveKind;
        m->h.maxLevel = kNoLevel;
        m->displayFactor = 1.0;
        return m;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool AddCurvePoint(Measurement& m, double frequency, double level, double phase, double d2, double d3,
                   double minimumPhase, double d4, double d5, double d6, double d7, double d8, double d9, double d10) {
    CurvePoint p;
    p.frequency = float(frequency);
    p.value[kSlotLevel] = float(level);
    p.value[kSlotPhase] = float(phase);
    p.value[kSlotMinimumPhase] = float(minimumPhase);
    const double distortion[9] = {d2, d3, d4, d5, d6, d7, d8, d9, d10};
    for (int i = 0; i < 9; ++i) p.value[kSlotDistortion2 + i] = float(distortion[i]);
    try {
        m.points.push_back(p);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The header takes the stored f32 values, so that a record read back
    // from its file has exactly the header it was written with.
    if (m.points.size() == 1) m.h.firstFrequency = m.displayFirstFrequency = p.frequency;
    m.h.lastFrequency = m.displayLastFrequency = p.frequency;
    m.h.pointCount = int32_t(m.points.size());
    if (p.value[kSlotLevel] > m.h.maxLevel) m.h.maxLevel = p.value[kSlotLevel];
    return true;
}

void RecomputeMaxLevel(Measurement& m) {
    // The header is packed: work on a copy, never on a reference to it.
    double mx = kNoLevel;
    for (const CurvePoint& p : m.points) mx = std::max(mx, double(p.value[kSlotLevel]));
    m.h.maxLevel = mx;
}

void RecomputeWaterfallMax(TimeRecord& t) {
    double mx = kNoLevel;
    for (const WaterfallSlice& s : t.slices)
        for (float v : s.level) mx = std::max(mx, double(v));
    t.h.waterfallMax = mx;
}

bool RemoveCurvePoint(Measurement& m, std::size_t index) {
    if (index == 0 || index >= m.points.size()) return false;
    const bool wasLast = index + 1 == m.points.size();
    m.points.erase(m.points.begin() + std::ptrdiff_t(index));
    if (wasLast) m.h.lastFrequency = m.displayLastFrequency = m.points.back().frequency;
    m.h.pointCount = int32_t(m.points.size());
    RecomputeMaxLevel(m);
    return true;
}

std::string DefaultMeasurementTitle(const Measurement& m, const std::vector<std::string>& titlesInUse) {
    const char* format = StringText(m.h.curveKind == kCurveImpedance ? kStrImpedanceNumbered : kStrResponseNumbered);
    if (!*format) format = "(%d)";  // a table without the text must not loop forever
    // Every title in use holds finitely many candidates, so this ends.
    for (int n = 1;; ++n) {
        char candidate[64];
        std::snprintf(candidate, sizeof candidate, format, n);
        const bool used = std::any_of(titlesInUse.begin(), titlesInUse.end(),
                                      [&](const std::string& t) { return t.find(candidate) != std::string::npos; });
        if (!used) return candidate;
    }
}

std::unique_ptr<TimeRecord> NewTimeRecord(const TimeWindowSettings& settings) {
    try {
        auto t = std::make_unique<TimeRecord>();
        t->h.spikeLength = settings.spikeLength;
        t->h.defaultSpan = settings.defaultSpan;
        t->h.fftWindowLength = settings.fftWindowLength;
        t->h.furtherTime = settings.furtherTime;
        t->h.waterfallSetting = settings.waterfallSetting;
        t->h.waterfallMax = kNoLevel;
        return t;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<EtcRecord> NewEtcRecord() {
    try {
        return std::make_unique<EtcRecord>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const char* ImportFormatName(int32_t origin) {
    // Origin codes of the importers.
    static const char* const kNames[] = {"GDT", "MLSSA FFT", "XOP", "TX2", "Text", "CALSOD"};
    return origin >= 1 && origin <= 6 ? kNames[origin - 1] : "";
}

std::string MeasurementTypeText(const MeasurementHeader& h) {
    constexpr int32_t kConverted = 32767;
    if (h.curveKind == kCurveSweepResponse) return "Frequency response (Sweep)";
    const bool impedance = h.curveKind == kCurveImpedance;
    if (h.curveKind != kCurveFrequencyResponse && !impedance) return {};
    if (h.origin >= 1 && h.origin <= 6) {
        char text[128];
        std::snprintf(text, sizeof text, StringText(impedance ? 2615 : 2614), ImportFormatName(h.origin));
        return text;
    }
    if (h.origin == kConverted)
        return impedance ? "Converted analysis impedance" : "Converted analysis frequency response";
    if (h.origin != 0) return {};
    if (impedance) {
        switch (h.method) {
            case 0: return (h.flags & kMesImpedanceMls) ? "Impedance (MLS)" : "Impedance (Sweep)";
            case 1: return "Delta Mass Impedance";
            case 2: return "Delta Compliance Impedance";
            default: return {};
        }
    }
    std::string text;
    switch (h.method) {
        case 0: return "Frequency response (Gated TW)";
        case 10: text = "Constant Cycles"; break;
        case 11: text = "Gated TW"; break;
        case 12: text = "FFT on Spike PIR"; break;
        case 13: text = "FFT on MLS PIR"; break;
        default: return {};
    }
    if (h.flags & kMesCompensationContained) text += " (PC)";
    return text;
}

}  // namespace srx
