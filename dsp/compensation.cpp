#include "dsp/compensation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dsp/compensation_io.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "measure/measurement_settings.h"
#include "measure/stimulus_files.h"

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

constexpr int kCantOpen = 2314;
constexpr int kReadError = 2316;
constexpr int kOutOfMemory = 2318;
constexpr int kBadCount = 2357;
constexpr int kCantSave = 2371;
constexpr int kWrongVersion = 2372;
constexpr int kTooManyEntries = 2373;

constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr double kRadiansToDegrees = 57.29577951308232;

// A count no compensation table comes near; larger ones are taken as a
// broken file rather than allocated.
constexpr long kMaxEntries = 1L << 20;

// Measurement-settings flag bit 8: normalise waterfalls.
constexpr uint32_t kMsfNormaliseWaterfall = 1u << 8;
// Time-record flag that keeps the microphone correction off a waterfall.
constexpr uint32_t kTwfNoMicrophoneCompensation = 0x0100;

struct AcceptedHeader {
    const char* text;
    bool degrees;
};
constexpr AcceptedHeader kHeaders[] = {
    {"Son-Rix:Compensation File v1.10", true},  {"Son-Rix:Compensation File v1.00", true},
    {"Son-Rix:Compensation File v0.10", true},  {"Son-Rix:Compensation File v0.11", false},
    {"Son-Rix:Compensation File v0.12", false},
};

CompensationThdHook g_thdHook = nullptr;

bool IsEntry(const CompensationEntry& e) { return e.frequency > 0; }

// Splits at blanks and tabs.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

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

std::string TextField(const char* field, size_t size) {
    return std::string(field, std::find(field, field + size, '\0'));
}

void StoreTextField(char* field, size_t size, const std::string& text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

void RecomputeMaxLevel(Measurement& m) {
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

bool IsFrequencyResponse(const Measurement& m) {
    return m.h.curveKind == kCurveFrequencyResponse || m.h.curveKind == kCurveSweepResponse;
}

// The table of `path`; `found` is false when the file does not exist (no
// error), the status carries any other failure.
Status LoadForApplying(const std::string& path, CompensationCurve& curve, bool& found) {
    found = false;
    Status st = LoadCompensation(path, curve, true);
    if (st.stringId == kCantOpen) return Status::Ok();
    found = st.ok();
    return st;
}

void SetCompensationName(MeasurementSetup& setup, uint32_t& flags, uint32_t recordedFlag,
                         const std::string& name) {
    StoreTextField(setup.compensationFile, sizeof setup.compensationFile, name);
    if (recordedFlag) {
        if (name.empty())
            flags &= ~recordedFlag;
        else
            flags |= recordedFlag;
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
    if (settings.normalise)
        NormaliseRelativeLevel(m);
    else
        RecomputeMaxLevel(m);
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

// ---- Files ---------------------------------------------------------------

Status LoadCompensation(const std::string& path, CompensationCurve& curve, bool allocate) {
    std::FILE* f = OpenFile(path, "rb");
    if (!f) return Status::Error(kCantOpen);
    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{f};
    LineReader lines(f);

    enum { kHeader, kName, kCount, kBegin, kEntries } state = kHeader;
    bool degrees = true;
    std::vector<CompensationEntry> table;
    long limit = 0;  // entries the table holds
    long read = 0;
    std::string line;
    while (lines.Next(line)) {
        switch (state) {
            case kHeader: {
                const AcceptedHeader* h = std::find_if(std::begin(kHeaders), std::end(kHeaders),
                                                       [&](const AcceptedHeader& a) { return line == a.text; });
                if (h == std::end(kHeaders)) return Status::Error(kWrongVersion);
                degrees = h->degrees;
                state = kName;
                break;
            }
            case kName: state = kCount; break;
            case kCount: {
                const long count = std::strtol(line.c_str(), nullptr, 10);
                if (count < 1) return Status::Error(kBadCount);
                if (allocate) {
                    if (count > kMaxEntries) return Status::Error(kOutOfMemory);
                    limit = count;
                } else {
                    limit = std::min<long>(count, curve.Count());
                }
                try {
                    table.assign(size_t(limit), CompensationEntry{});
                } catch (const std::bad_alloc&) {
                    return Status::Error(kOutOfMemory);
                }
                state = kBegin;
                break;
            }
            case kBegin:
                if (line != "BEGIN.") return Status::Error(kReadError);
                state = kEntries;
                break;
            case kEntries: {
                if (line == "END.") {
                    curve.entries = std::move(table);
                    return Status::Ok();
                }
                if (read >= limit) return Status::Error(kTooManyEntries);
                const std::vector<std::string> fields = Fields(line);
                auto field = [&](size_t i) { return i < fields.size() ? ParseDecimal(fields[i].c_str()) : 0.0; };
                CompensationEntry& e = table[size_t(read++)];
                e.frequency = float(field(0));
                e.level = float(field(1));
                e.phase = float(degrees ? field(2) * kDegreesToRadians : field(2));
                break;
            }
        }
    }
    // The end of the file before "END." is no error once the entries began.
    if (state != kEntries) {
        if (state == kHeader) return Status::Error(kWrongVersion);
        if (state == kCount) return Status::Error(kBadCount);
        return Status::Error(kReadError);
    }
    curve.entries = std::move(table);
    return Status::Ok();
}

int CompensationEntryCount(const CompensationCurve& curve) {
    return int(std::count_if(curve.entries.begin(), curve.entries.end(), IsEntry));
}

bool SaveCompensation(const std::string& path, const CompensationCurve& curve, Status* error) {
    if (error) *error = Status::Ok();
    const int count = CompensationEntryCount(curve);
    if (count == 0) return false;
    std::string out;
    out += kCompensationHeader;
    out += "\r\n";
    out += CompensationFileTitle(path) + "\r\n";
    out += Format("%d\r\n", count);
    out += "BEGIN.\r\n";
    for (const CompensationEntry& e : curve.entries) {
        if (!IsEntry(e)) continue;
        out += Format("%.4lf % .4lf % .4lf\r\n", double(e.frequency), double(e.level),
                      double(e.phase) * kRadiansToDegrees);
    }
    out += "END.\r\n";
    if (!WriteFileSafely(path, out)) {
        if (error) *error = Status::Error(kCantSave);
        return false;
    }
    return true;
}

bool ExportMicCorrection(const std::string& path, const CompensationCurve& curve, Status* error) {
    if (error) *error = Status::Ok();
    if (CompensationEntryCount(curve) == 0) return false;
    std::string out = "\" Mic correction data: Ref Sensitivity = 5.00 MV/PA \"\r\n";
    for (const CompensationEntry& e : curve.entries) {
        if (!IsEntry(e)) continue;
        out += Format("%.4lf  %.4lf  %.4lf\r\n", double(e.frequency), double(e.level),
                      double(e.phase) * kRadiansToDegrees);
    }
    if (!WriteFileSafely(path, out)) {
        if (error) *error = Status::Error(kCantSave);
        return false;
    }
    return true;
}

std::string CompensationFileTitle(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CompensationBaseName(const std::string& path) {
    std::string title = CompensationFileTitle(path);
    const size_t dot = title.rfind('.');
    if (dot != std::string::npos) title.resize(dot);
    return title;
}

// ---- Lookup --------------------------------------------------------------

double CompensationLevelAt(const CompensationCurve& curve, double f) { return LookUp(curve, f, Value::Level); }
double CompensationPhaseAt(const CompensationCurve& curve, double f) { return LookUp(curve, f, Value::Phase); }

double CompensateLevel(const CompensationCurve& curve, double level, double f) {
    return level - CompensationLevelAt(curve, f);
}

double CompensatePhase(const CompensationCurve& curve, double phase, double f) {
    return phase - CompensationPhaseAt(curve, f);
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

// ---- Settings and names ---------------------------------------------------

std::string RememberedMicrophoneCompensation() {
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    return TextField(ms.reservedPath, sizeof ms.reservedPath);
}

void SetRememberedMicrophoneCompensation(const std::string& baseName) {
    MeasurementSettings& ms = CurrentMeasurementSettings();
    StoreTextField(ms.reservedPath, sizeof ms.reservedPath, baseName);
}

std::string RememberedSecondaryCompensation() {
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    return TextField(reinterpret_cast<const char*>(ms.carried1), sizeof ms.carried1);
}

void SetRememberedSecondaryCompensation(const std::string& baseName) {
    MeasurementSettings& ms = CurrentMeasurementSettings();
    StoreTextField(reinterpret_cast<char*>(ms.carried1), sizeof ms.carried1, baseName);
}

CompensationSettings CurrentCompensationSettings() {
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    CompensationSettings s;
    s.programFolder = MeasureProgramFolder();
    s.microphoneName = RememberedMicrophoneCompensation();
    s.secondaryName = RememberedSecondaryCompensation();
    const uint32_t flags = ms.flags;
    s.normalise = (flags & kMsfNoNormalise) == 0;
    s.normaliseWaterfall = (flags & kMsfNormaliseWaterfall) != 0;
    return s;
}

std::string CompensationPath(const std::string& programFolder, const std::string& name, const char* extension) {
    std::string path = name;
    const std::string title = CompensationFileTitle(name);
    if (title.find('.') == std::string::npos) path += extension;
    if (path.find_first_of("\\/:") == std::string::npos) path = InProgramFolder(programFolder, path.c_str());
    return path;
}

std::vector<std::string> CompensationListNames(const std::string& programFolder, bool secondary, bool offerNew,
                                               WaveFolderFs& fs) {
    std::vector<std::string> names;
    const char* extension = secondary ? kSecondaryExtension : kMicrophoneExtension;
    for (const std::string& file : fs.FileNames(programFolder)) {
        if (!IEndsWith(file, extension) || file.size() == std::strlen(extension)) continue;
        if (!secondary && IEquals(file, kHiddenCompensation)) continue;
        names.push_back(file.substr(0, file.size() - std::strlen(extension)));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    });
    std::vector<std::string> list{kNoCompensationItem};
    if (offerNew && !secondary) list.push_back(kNewCompensationItem);
    list.insert(list.end(), names.begin(), names.end());
    return list;
}

std::vector<std::string> CompensationListNames(const std::string& programFolder, bool secondary, bool offerNew) {
    return CompensationListNames(programFolder, secondary, offerNew, HostFileSystem());
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

Status ApplyMicrophoneCompensation(Measurement& m, const char* name) {
    return ApplyMicrophoneCompensation(m, name, CurrentCompensationSettings(), CurrentAnalysisSettings());
}

Status ApplySecondaryCompensation(Measurement& m, const CompensationSettings& settings,
                                  const AnalysisSettings& analysis) {
    if (!IsFrequencyResponse(m)) return Status::Ok();
    Status st;
    if (!(m.h.flags & kMesCompensationContained) && !NamesNoCompensation(settings.secondaryName))
        st = ApplyFile(m, CompensationPath(settings.programFolder, settings.secondaryName, kSecondaryExtension),
                       false);
    FinishMeasurement(m, settings, analysis);
    return st;
}

Status ApplySecondaryCompensation(Measurement& m) {
    return ApplySecondaryCompensation(m, CurrentCompensationSettings(), CurrentAnalysisSettings());
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
    if (settings.normalise || settings.normaliseWaterfall)
        NormaliseWaterfall(t);
    else if (t.h.setup.compensationFile[0] == '\0')
        RecomputeWaterfallMax(t);
    return first;
}

Status CompensateWaterfall(TimeRecord& t, const char* name) {
    return CompensateWaterfall(t, name, CurrentCompensationSettings());
}

}  // namespace srx
