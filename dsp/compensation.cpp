#include "dsp/compensation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dsp/compensation_io.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "platform/program_path.h"
#include "resources/string_ids.h"

namespace srx {

using namespace compensation_io;

const char kCompensationHeader[] = "Son-Rix:Compensation File v1.10";
const char kMicrophoneExtension[] = ".MCP";
const char kSecondaryExtension[] = ".2CP";
const char kNoCompensationItem[] = "None...";
const char kNewCompensationItem[] = "New compensation...";
const char kHiddenCompensation[] = "SONRIX.MCP";
const char kDefaultCompensationName[] = "NONAME.MCP";

namespace {

// Time-record flag that keeps the microphone correction off a waterfall.
constexpr uint32_t kTwfNoMicrophoneCompensation = 0x0100;

CompensationThdHook g_thdHook = nullptr;

bool IsEntry(const CompensationEntry& e) { return e.frequency > 0; }

enum class Value { Level, Phase };

double ValueOf(const CompensationEntry& e, Value v) { return v == Value::Level ? e.level : e.phase; }

// The interpolated table value at f over the non-empty entries: clamped to
// the first and last frequency, exact at an entry, a straight line on a
// logarithmic frequency axis between two.
double LookUp(const CompensationCurve& curve, double f, Value v) {
    const std::vector<CompensationEntry>& e = curve.entries;
    const CompensationEntry* first = nullptr;
    const CompensationEntry* last = nullptr;
    for (const CompensationEntry& x : e) {
        if (!IsEntry(x)) continue;
        if (!first) first = &x;
        last = &x;
    }
    if (!first) return 0.0;
    if (f <= first->frequency) f = first->frequency;
    if (f >= last->frequency) f = last->frequency;
    const CompensationEntry* a = nullptr;
    for (const CompensationEntry& b : e) {
        if (!IsEntry(b)) continue;
        if (double(b.frequency) == f) return ValueOf(b, v);
        if (a && a->frequency < f && f < b.frequency)
            return InterpolateLogF(f, a->frequency, ValueOf(*a, v), b.frequency, ValueOf(b, v));
        a = &b;
    }
    return 0.0;
}

bool IsFrequencyResponse(const Measurement& m) {
    return m.h.curveKind == kCurveFrequencyResponse || m.h.curveKind == kCurveSweepResponse;
}

// The table of `path`; `found` is false when the file does not exist (no
// error), the status carries any other failure.
Status LoadForApplying(const std::string& path, CompensationCurve& curve, bool& found) {
    found = false;
    Status st = LoadCompensation(path, curve, true);
    if (st.stringId == kStrCantOpen) return Status::Ok();
    found = st.ok();
    return st;
}

void SetCompensationName(MeasurementSetup& setup, uint32_t& flags, uint32_t recordedFlag, const std::string& name) {
    StoreTextField(setup.compensationFile, sizeof setup.compensationFile, name);
    if (recordedFlag) {
        if (name.empty()) flags &= ~recordedFlag;
        else flags |= recordedFlag;
    }
}

// What a name given to the Apply functions stands for.
bool NamesNoCompensation(const std::string& name) { return CompensationOfListItem(name).empty(); }

// Applies one table file to a frequency response. `isMicrophone` stores
// the compensation's name; a flat microphone table clears it.
Status ApplyFile(Measurement& m, const std::string& path, bool isMicrophone) {
    CompensationCurve curve;
    bool found = false;
    Status st = LoadForApplying(path, curve, found);
    if (!found) return st;
    if (IsFlatCompensation(curve)) {
        // A flat secondary table leaves the microphone's name alone: the
        // name tells that the microphone correction is in the data.
        if (isMicrophone) {
            SetCompensationName(m.h.setup, m.h.flags, kMesCompensationRecorded, "");
            m.h.flags &= ~kMesSaved;
        }
        return Status::Ok();
    }
    CompensateMeasurement(m, curve);
    if (isMicrophone) SetCompensationName(m.h.setup, m.h.flags, kMesCompensationRecorded, CompensationBaseName(path));
    return Status::Ok();
}

void FinishMeasurement(Measurement& m, const CompensationSettings& settings, const AnalysisSettings& analysis) {
    DerivePhaseData(m, analysis);
    if ((m.h.flags & kMesDistortion) && g_thdHook) g_thdHook(m);
    if (settings.normalise) NormaliseRelativeLevel(m);
    else RecomputeMaxLevel(m);
}

Status ApplyWaterfallFile(TimeRecord& t, const std::string& path, bool isMicrophone) {
    CompensationCurve curve;
    bool found = false;
    Status st = LoadForApplying(path, curve, found);
    if (!found) return st;
    if (IsFlatCompensation(curve)) {
        if (isMicrophone) SetCompensationName(t.h.setup, t.h.flags, 0, "");
        return Status::Ok();
    }
    CompensateWaterfallLevels(t, curve);
    if (isMicrophone) SetCompensationName(t.h.setup, t.h.flags, 0, CompensationBaseName(path));
    return Status::Ok();
}

}  // namespace

// ---- Lookup --------------------------------------------------------------

double CompensationLevelAt(const CompensationCurve& curve, double f) { return LookUp(curve, f, Value::Level); }
double CompensationPhaseAt(const CompensationCurve& curve, double f) { return LookUp(curve, f, Value::Phase); }

double CompensateLevel(const CompensationCurve& curve, double level, double f) {
    return level - CompensationLevelAt(curve, f);
}

double CompensatePhase(const CompensationCurve& curve, double phase, double f) {
    return phase - CompensationPhaseAt(curve, f);
}

CompensationRange CompensationCoverage(const CompensationCurve& curve) {
    CompensationRange r;
    for (const CompensationEntry& e : curve.entries) {
        if (!IsEntry(e)) continue;
        if (r.first == 0) r.first = e.frequency;
        r.last = e.frequency;
    }
    return r;
}

bool IsFlatCompensation(const CompensationCurve& curve) {
    return curve.Count() == 2 && curve.entries[0].level == curve.entries[1].level;
}

void SortCompensation(CompensationCurve& curve) {
    // Empty entries first; the rest by rising frequency. NaN frequencies
    // (from a broken file) count as empty so that the order stays strict.
    auto key = [](const CompensationEntry& e) { return IsEntry(e) ? double(e.frequency) : 0.0; };
    std::stable_sort(curve.entries.begin(), curve.entries.end(),
                     [&](const CompensationEntry& a, const CompensationEntry& b) { return key(a) < key(b); });
}

void ThinCompensation(CompensationCurve& curve) {
    std::vector<CompensationEntry>& e = curve.entries;
    for (int pass = 0; pass < 8; ++pass) {
        if (e.size() >= 3) {
            // The two ends stay whatever their neighbours are.
            size_t first = e.size(), last = e.size();
            for (size_t i = 0; i < e.size(); ++i) {
                if (!IsEntry(e[i])) continue;
                if (first == e.size()) first = i;
                last = i;
            }
            for (size_t i = 0; i + 2 < e.size(); ++i) {
                const double l0 = RoundToDecimals(e[i].level, 1), l1 = RoundToDecimals(e[i + 1].level, 1),
                             l2 = RoundToDecimals(e[i + 2].level, 1);
                const double p0 = RoundToDecimals(e[i].phase, 1), p1 = RoundToDecimals(e[i + 1].phase, 1),
                             p2 = RoundToDecimals(e[i + 2].phase, 1);
                if (l0 == l1 && l1 == l2 && p0 == p1 && p1 == p2 && i + 1 != first && i + 1 != last)
                    e[i + 1].frequency = 0;
            }
        }
        SortCompensation(curve);
    }
}

// ---- Names ----

std::string CompensationPath(const std::string& programFolder, const std::string& name, const char* extension) {
    std::string path = name;
    const std::string title = CompensationFileTitle(name);
    if (title.find('.') == std::string::npos) path += extension;
    if (path.find_first_of("\\/:") == std::string::npos) path = JoinProgramPath(programFolder, path);
    return path;
}

int CompensationListIndex(const std::vector<std::string>& names, const std::string& current) {
    if (current.empty()) return 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == kNoCompensationItem || names[i] == kNewCompensationItem) continue;
        if (IEquals(names[i], current)) return int(i);
    }
    return 0;
}

std::string CompensationOfListItem(const std::string& item) {
    if (item == kNoCompensationItem || item == kNewCompensationItem) return {};
    return item;
}

// ---- Applying ---------------------------------------------------------------

void CompensateMeasurement(Measurement& m, const CompensationCurve& curve) {
    UnwrapPhase(m, kSlotPhase, kSlotPhaseUnwrapped);
    const bool distortion = (m.h.flags & kMesDistortion) != 0;
    double mx = kNoLevel;
    for (CurvePoint& p : m.points) {
        const double f = p.frequency;
        float& level = p.value[kSlotLevel];
        level = level <= kNoLevel ? float(kNoLevel) : float(CompensateLevel(curve, level, f));
        if (distortion) {
            for (int k = 2; k <= 10; ++k) {
                float& d = p.value[kSlotDistortion2 + k - 2];
                d = d <= kNoLevel ? float(kNoLevel) : float(CompensateLevel(curve, d, k * f));
            }
        }
        const double unwrapped = CompensatePhase(curve, p.value[kSlotPhaseUnwrapped], f);
        p.value[kSlotPhaseUnwrapped] = float(unwrapped);
        p.value[kSlotPhase] = float(WrapRadians(unwrapped));
        mx = std::max(mx, double(level));
    }
    m.h.maxLevel = mx;
    m.h.flags &= ~kMesSaved;
}

void CompensateWaterfallLevels(TimeRecord& t, const CompensationCurve& curve) {
    if (t.slices.empty()) return;
    const std::vector<float>& axis = t.slices[0].frequency;
    for (size_t i = 0; i < axis.size(); ++i) {
        const double c = CompensateLevel(curve, 0.0, axis[i]);
        for (WaterfallSlice& s : t.slices) {
            if (i < s.level.size() && s.level[i] > kNoLevel) s.level[i] = float(s.level[i] + c);
        }
    }
    RecomputeWaterfallMax(t);
}

NormalisationReference::NormalisationReference() : max_(kNoLevel) {
    std::fill(std::begin(history_), std::end(history_), kNoLevel);
}

void NormalisationReference::Add(double level) {
    if (!(level > max_)) return;
    history_[next_] = max_;
    next_ = (next_ + 1) % 64;
    max_ = level;
}

double NormalisationReference::Reference() const {
    for (int i = 0; i < 64; ++i) {
        const double h = history_[(next_ + i) % 64];
        if (max_ - h < 4.0) return h;
    }
    return max_;
}

void NormaliseRelativeLevel(Measurement& m) {
    NormalisationReference ref;
    for (const CurvePoint& p : m.points) ref.Add(p.value[kSlotLevel]);
    const double r = ref.Reference();
    const bool distortion = (m.h.flags & kMesDistortion) != 0;
    for (CurvePoint& p : m.points) {
        if (p.value[kSlotLevel] > kNoLevel) p.value[kSlotLevel] = float(p.value[kSlotLevel] - r);
        if (!distortion) continue;
        for (int k = 0; k < 9; ++k) {
            float& d = p.value[kSlotDistortion2 + k];
            if (d > kNoLevel) d = float(d - r);
        }
    }
    RecomputeMaxLevel(m);
}

void NormaliseWaterfall(TimeRecord& t) {
    NormalisationReference ref;
    for (const WaterfallSlice& s : t.slices)
        for (float v : s.level) ref.Add(v);
    const double r = ref.Reference();
    for (WaterfallSlice& s : t.slices)
        for (float& v : s.level)
            if (v > kNoLevel) v = float(v - r);
    RecomputeWaterfallMax(t);
}

void SetCompensationThdHook(CompensationThdHook hook) { g_thdHook = hook; }

Status ApplyMicrophoneCompensation(Measurement& m, const char* name, const CompensationSettings& settings,
                                   const AnalysisSettings& analysis) {
    if (!IsFrequencyResponse(m)) return Status::Ok();
    Status st;
    if (!(m.h.flags & kMesCompensationContained)) {
        const std::string chosen = name ? std::string(name) : settings.microphoneName;
        if (!NamesNoCompensation(chosen))
            st = ApplyFile(m, CompensationPath(settings.programFolder, chosen, kMicrophoneExtension), true);
    }
    FinishMeasurement(m, settings, analysis);
    return st;
}

Status ApplySecondaryCompensation(Measurement& m, const CompensationSettings& settings,
                                  const AnalysisSettings& analysis) {
    if (!IsFrequencyResponse(m)) return Status::Ok();
    Status st;
    if (!(m.h.flags & kMesCompensationContained) && !NamesNoCompensation(settings.secondaryName))
        st = ApplyFile(m, CompensationPath(settings.programFolder, settings.secondaryName, kSecondaryExtension), false);
    FinishMeasurement(m, settings, analysis);
    return st;
}

Status CompensateWaterfall(TimeRecord& t, const char* name, const CompensationSettings& settings) {
    Status first;
    const bool imported = (t.h.flags & kTwfImported) != 0;
    if (!imported && !(t.h.flags & kTwfNoMicrophoneCompensation)) {
        const std::string chosen = name ? std::string(name) : settings.microphoneName;
        if (!NamesNoCompensation(chosen))
            first = ApplyWaterfallFile(t, CompensationPath(settings.programFolder, chosen, kMicrophoneExtension), true);
    }
    if (!imported && !NamesNoCompensation(settings.secondaryName)) {
        Status st = ApplyWaterfallFile(
            t, CompensationPath(settings.programFolder, settings.secondaryName, kSecondaryExtension), false);
        if (first.ok()) first = st;
    }
    if (settings.normalise || settings.normaliseWaterfall) NormaliseWaterfall(t);
    else if (t.h.setup.compensationFile[0] == '\0') RecomputeWaterfallMax(t);
    return first;
}

}  // namespace srx
