#include "data/native_files.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "data/view_flags.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

// Headers are copied to and from the file as they lie in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

// String ids of the messages.

std::function<void(const std::string&)> g_recentFileHook;
MinimumPhaseHook g_minimumPhaseHook = nullptr;
DistortionDerivedHook g_distortionHook = nullptr;
ThieleSmallHook g_thieleSmallHook = nullptr;

void NoteRecent(const std::string& path) {
    if (g_recentFileHook) g_recentFileHook(path);
}

// A file opened for reading that knows how many bytes are left, so that
// counts from a header can be checked before anything is allocated.
class InFile {
public:
    explicit InFile(const std::string& path) : f_(OpenForReading(path).release()) {
        if (f_) size_ = std::max<int64_t>(0, FileLength(f_));
    }
    ~InFile() { Close(); }
    InFile(const InFile&) = delete;
    InFile& operator=(const InFile&) = delete;

    bool IsOpen() const { return f_ != nullptr; }
    int64_t Remaining() const { return size_ > pos_ ? size_ - pos_ : 0; }
    bool Read(void* to, std::size_t n) {
        if (!f_ || int64_t(n) > Remaining() || std::fread(to, 1, n, f_) != n) return false;
        pos_ += int64_t(n);
        return true;
    }
    void Close() {
        if (f_) std::fclose(f_);
        f_ = nullptr;
    }

private:
    std::FILE* f_;
    int64_t size_ = 0;
    int64_t pos_ = 0;
};

Status WriteImage(const std::string& path, const std::string& image) {
    if (path.empty()) return Status::Error(kStrCantCreate);
    SafeFileWriter w(path);
    if (!w.IsOpen()) return Status::Error(kStrCantCreate);
    if (!w.Write(image.data(), image.size()) || !w.Commit()) return Status::Error(kStrWriteError);
    return Status::Ok();
}

void Append(std::string& out, const void* p, std::size_t n) { out.append(static_cast<const char*>(p), n); }
void AppendFloat(std::string& out, float v) { Append(out, &v, sizeof v); }

// Text fields from a file may lack their terminator; the rest of the
// program treats them as C strings.
void TerminateTexts(MeasurementSetup& s) {
    s.inputDevice[sizeof s.inputDevice - 1] = 0;
    s.outputDevice[sizeof s.outputDevice - 1] = 0;
    s.compensationFile[sizeof s.compensationFile - 1] = 0;
}
template <class Header>
void TerminateTexts(Header& h) {
    h.path[sizeof h.path - 1] = 0;
    h.title[sizeof h.title - 1] = 0;
    TerminateTexts(h.setup);
}

// ---- Values a file may hold --------------------------------------------------

// Sample rates a time record can have been measured at.
constexpr int32_t kMinSampleRate = 1000;
constexpr int32_t kMaxSampleRate = 768000;

bool AllFinite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}
bool AllFinite(const float* v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

bool Finite(const MeasurementSetup& s) {
    return AllFinite({s.windowLength, s.windowOffset, s.sweepTimePerOctave, s.distance});
}
bool Finite(const MeasurementHeader& h) {
    for (double v : h.tsBlock)
        if (!std::isfinite(v)) return false;
    return Finite(h.setup) && AllFinite({h.firstFrequency, h.lastFrequency, h.maxLevel});
}
bool Finite(const TimeRecordHeader& h) {
    return Finite(h.setup) && AllFinite({h.spikeLength, h.defaultSpan, h.fftWindowLength, h.furtherTime, h.peak,
                                         h.waterfallFirstFrequency, h.waterfallLastFrequency, h.waterfallMax});
}
bool Finite(const EtcRecordHeader& h) {
    return Finite(h.setup) && AllFinite({h.duration, h.rt30, h.rt60, h.markerStart, h.markerEnd});
}

// What a writer may store: no NaN or infinity anywhere, so that every file
// we write reads back.
bool Storable(const Measurement& m) {
    if (!Finite(m.h)) return false;
    for (const CurvePoint& p : m.points)
        if (!AllFinite(&p.frequency, 1) || !AllFinite(p.value, kSlotCount)) return false;
    return true;
}
bool Storable(const TimeRecord& t) {
    if (!Finite(t.h) || !AllFinite(t.samples.data(), t.samples.size())) return false;
    for (const WaterfallSlice& s : t.slices)
        if (!AllFinite(s.frequency.data(), s.frequency.size()) || !AllFinite(s.level.data(), s.level.size()))
            return false;
    return true;
}
bool Storable(const EtcRecord& e) { return Finite(e.h) && AllFinite(e.samples.data(), e.samples.size()); }

// ---- File images ---------------------------------------------------------

// The counts written are those of the arrays that follow, so that a file
// always describes its own contents.
std::string MeasurementImage(const Measurement& m) {
    MeasurementHeader h = m.h;
    h.pointCount = int32_t(m.points.size());
    const bool minimumPhase = h.flags & kMesStoredMinimumPhase;
    const bool distortion = h.flags & kMesDistortion;
    std::string out;
    out.reserve(6 + sizeof h + m.points.size() * 13 * 4);
    Append(out, kMesSignature, 6);
    Append(out, &h, sizeof h);
    for (const CurvePoint& p : m.points) {
        AppendFloat(out, p.frequency);
        AppendFloat(out, p.value[kSlotLevel]);
        AppendFloat(out, p.value[kSlotPhase]);
        if (minimumPhase) AppendFloat(out, p.value[kSlotMinimumPhase]);
        if (distortion)
            for (int i = 0; i < 9; ++i) AppendFloat(out, p.value[kSlotDistortion2 + i]);
    }
    return out;
}

std::string TimeRecordImage(const TimeRecord& t) {
    TimeRecordHeader h = t.h;
    h.sampleCount = int32_t(t.samples.size());
    std::size_t points = 0;
    if (h.flags & kTwfWaterfall) {
        points = t.slices.empty() ? 0 : t.slices[0].frequency.size();
        // Slices without points hold nothing; the file then has none.
        h.sliceCount = points ? int32_t(t.slices.size()) : 0;
        h.slicePoints = int32_t(points);
    }
    std::string out;
    out.reserve(6 + sizeof h + 4 * (t.samples.size() + (t.slices.size() + 1) * points));
    Append(out, kTwfSignature, 6);
    Append(out, &h, sizeof h);
    Append(out, t.samples.data(), t.samples.size() * sizeof(float));
    if (points) {
        Append(out, t.slices[0].frequency.data(), points * sizeof(float));
        for (const WaterfallSlice& s : t.slices)
            for (std::size_t i = 0; i < points; ++i)
                AppendFloat(out, i < s.level.size() ? s.level[i] : float(kNoLevel));
    }
    return out;
}

std::string EtcImage(const EtcRecord& e) {
    EtcRecordHeader h = e.h;
    h.sampleCount = int32_t(e.samples.size());
    std::string out;
    out.reserve(6 + sizeof h + 4 * e.samples.size());
    Append(out, kEtcSignature, 6);
    Append(out, &h, sizeof h);
    Append(out, e.samples.data(), e.samples.size() * sizeof(float));
    return out;
}

template <class Record, class Image>
Status Save(Record& r, const std::string& path, bool keepName, uint32_t savedFlag, Image image) {
    if (!Storable(r)) return Status::Error(kStrNotFinite);
    std::string bytes;
    try {
        bytes = image(r);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrOutOfMemory);
    }
    Status s = WriteImage(path, bytes);
    if (!s || keepName) return s;
    SetText(r.h.path, path);
    r.h.flags |= savedFlag;
    NoteRecent(path);
    return s;
}

// The in-memory state of `into` without its arrays: a read starts from it
// and leaves `into` alone until it has succeeded.
template <class Record, class... Arrays>
Record StateWithoutArrays(Record& into, Arrays Record::*... arrays) {
    auto saved = std::make_tuple(std::move(into.*arrays)...);
    Record copy = into;  // the arrays are out: nothing to allocate
    std::apply([&](auto&... a) { ((into.*arrays = std::move(a)), ...); }, saved);
    return copy;
}

bool SignatureIs(const char sig[6], const char* expected) { return std::memcmp(sig, expected, 6) == 0; }

Status ReadMeasurement(const std::string& path, Measurement& into, LoadPurpose purpose) {
    InFile in(path);
    if (!in.IsOpen()) return Status::Error(kStrCantOpen);
    char sig[6];
    if (!in.Read(sig, 6)) return Status::Error(kStrReadError);
    int version;
    if (SignatureIs(sig, "@MS100")) version = 0;
    else if (SignatureIs(sig, "@MS101")) version = 1;
    else if (SignatureIs(sig, kMesSignature)) version = 2;
    else return Status::Error(kStrReadError);

    // Everything in memory beyond the header derives from the old points,
    // except the display factor.
    Measurement m;
    m.displayFactor = into.displayFactor;
    if (!in.Read(&m.h, sizeof m.h)) return Status::Error(kStrReadError);
    TerminateTexts(m.h);
    if (!Finite(m.h)) return Status::Error(kStrReadError);

    const bool minimumPhase = m.h.flags & kMesStoredMinimumPhase;
    const bool distortion = m.h.flags & kMesDistortion;
    // Older files hold fewer harmonics; "@MS100" always has two.
    const int harmonics = version == 0 ? 2 : !distortion ? 0 : version == 1 ? 2 : 9;
    const int values = 3 + (minimumPhase ? 1 : 0) + harmonics;
    const int32_t n = m.h.pointCount;
    if (n < 0 || int64_t(n) * values * 4 > in.Remaining()) return Status::Error(kStrTooFewPoints);

    m.h.pointCount = 0;
    m.h.maxLevel = kNoLevel;
    m.points.reserve(std::size_t(n));
    // One read for all points: the count was checked against the file above.
    std::vector<float> all(std::size_t(n) * values);
    if (!in.Read(all.data(), all.size() * 4)) return Status::Error(kStrReadError);
    // Every analysis walks the grid as a rising list of positive frequencies
    // and turns frequencies into bin indices: anything else is damage.
    if (!AllFinite(all.data(), all.size())) return Status::Error(kStrReadError);
    for (int32_t i = 0; i < n; ++i) {
        const float f = all[std::size_t(i) * values];
        if (!(f > 0) || (i > 0 && !(f > all[std::size_t(i - 1) * values]))) return Status::Error(kStrReadError);
    }
    for (int32_t i = 0; i < n; ++i) {
        const float* v = all.data() + std::size_t(i) * values;
        const int at = minimumPhase ? 4 : 3;
        double d[9];
        for (int k = 0; k < 9; ++k) d[k] = k < harmonics ? v[at + k] : kNoLevel;
        if (!AddCurvePoint(m, v[0], v[1], v[2], d[0], d[1], minimumPhase ? v[3] : 0.0, d[2], d[3], d[4], d[5], d[6],
                           d[7], d[8]))
            return Status::Error(kStrOutOfMemory);
    }
    in.Close();

    RecomputeAfterReading(m);
    if (purpose == LoadPurpose::ForWindow) ComputeThieleSmallOnOpening(m);
    into = std::move(m);
    return Status::Ok();
}

Status ReadTimeRecord(const std::string& path, TimeRecord& into, LoadPurpose purpose) {
    InFile in(path);
    if (!in.IsOpen()) return Status::Error(kStrCantOpen);
    char sig[6];
    if (!in.Read(sig, 6)) return Status::Error(kStrReadError);
    const bool legacy = SignatureIs(sig, "@TW100");
    if (!legacy && !SignatureIs(sig, kTwfSignature)) return Status::Error(kStrReadError);

    TimeRecord t = StateWithoutArrays(into, &TimeRecord::samples, &TimeRecord::slices);
    if (!in.Read(&t.h, sizeof t.h)) return Status::Error(kStrReadError);
    TerminateTexts(t.h);
    // The rate decides every allocation of the analyses that follow.
    if (!Finite(t.h) || t.h.sampleRate < kMinSampleRate || t.h.sampleRate > kMaxSampleRate)
        return Status::Error(kStrReadError);
    if (t.h.preAverages < 1) t.h.preAverages = 1;
    if (legacy) {
        t.h.windowStart = 0;
        std::memset(t.h.reserved564, 0, sizeof t.h.reserved564);
    }

    const int32_t n = t.h.sampleCount;
    if (n < 0 || int64_t(n) * 4 > in.Remaining()) return Status::Error(kStrReadError);
    t.samples.assign(std::size_t(n), 0.0f);
    t.slices.clear();
    if (!in.Read(t.samples.data(), t.samples.size() * 4) || !AllFinite(t.samples.data(), t.samples.size()))
        return Status::Error(kStrReadError);

    if (t.h.flags & kTwfWaterfall) {
        const int32_t count = t.h.sliceCount, points = t.h.slicePoints;
        if (count < 0 || points < 0 || (count > 0 && points == 0)) return Status::Error(kStrReadError);
        if (count > 0) {
            // The axis and every slice's levels: (count + 1) * points values.
            const int64_t words = in.Remaining() / 4;
            if (points > words || int64_t(count) + 1 > words / points) return Status::Error(kStrReadError);
            t.slices.resize(std::size_t(count));
            std::vector<float>& axis = t.slices[0].frequency;
            axis.resize(std::size_t(points));
            if (!in.Read(axis.data(), axis.size() * 4) || !AllFinite(axis.data(), axis.size()))
                return Status::Error(kStrReadError);
            for (WaterfallSlice& s : t.slices) {
                s.level.resize(std::size_t(points));
                if (!in.Read(s.level.data(), s.level.size() * 4) || !AllFinite(s.level.data(), s.level.size()))
                    return Status::Error(kStrReadError);
                if (&s != &t.slices[0]) s.frequency = axis;
            }
        }
        double max = kNoLevel;  // a local: the header is packed
        for (const WaterfallSlice& s : t.slices)
            for (float v : s.level) max = std::max<double>(max, v);
        t.h.waterfallMax = max;
    }
    in.Close();

    if (purpose == LoadPurpose::ForWindow) t.displayField = 0;
    into = std::move(t);
    return Status::Ok();
}

Status ReadEtc(const std::string& path, EtcRecord& into, LoadPurpose purpose) {
    InFile in(path);
    if (!in.IsOpen()) return Status::Error(kStrCantOpen);
    char sig[6];
    if (!in.Read(sig, 6) || !SignatureIs(sig, kEtcSignature)) return Status::Error(kStrReadError);

    EtcRecord e = StateWithoutArrays(into, &EtcRecord::samples);
    if (!in.Read(&e.h, sizeof e.h)) return Status::Error(kStrReadError);
    TerminateTexts(e.h);
    if (!Finite(e.h) || e.h.sampleRate > kMaxSampleRate) return Status::Error(kStrReadError);
    if (purpose == LoadPurpose::ForWindow) {
        e.displayStart = 0;
        e.displayEnd = e.h.duration;
    }
    const int32_t n = e.h.sampleCount;
    if (n < 0 || int64_t(n) * 4 > in.Remaining()) return Status::Error(kStrReadError);
    e.samples.assign(std::size_t(n), 0.0f);
    if (!in.Read(e.samples.data(), e.samples.size() * 4) || !AllFinite(e.samples.data(), e.samples.size()))
        return Status::Error(kStrReadError);
    in.Close();
    into = std::move(e);
    return Status::Ok();
}

template <class Read, class Record>
Status GuardMemory(Read read, const std::string& path, Record& into, LoadPurpose purpose) {
    try {
        return read(path, into, purpose);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrOutOfMemory);
    } catch (const std::length_error&) {
        return Status::Error(kStrOutOfMemory);
    }
}

std::string Format(int id, const std::string& arg) {
    const char* format = StringText(id);
    const int n = std::snprintf(nullptr, 0, format, arg.c_str());
    if (n <= 0) return {};
    std::string out(std::size_t(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, arg.c_str());
    out.resize(std::size_t(n));
    return out;
}

}  // namespace

// ---- Save dialog -----------------------------------------------------------

SaveDialogText SaveDialogFor(NativeKind kind) {
    switch (kind) {
        case NativeKind::ImpulseResponse: return {kStrImpulseFileName, kStrSaveImpulseTitle, kStrImpulseFilter, "twf"};
        case NativeKind::StepResponse: return {kStrStepFileName, kStrSaveStepTitle, kStrStepFilter, "stp"};
        case NativeKind::EnergyTimeCurve: return {kStrEtcFileName, kStrSaveEtcTitle, kStrEtcFilter, "etc"};
        case NativeKind::Measurement: break;
    }
    return {kStrMeasurementFileName, kStrSaveMeasurementTitle, kStrMeasurementFilter, "mes"};
}

NativeKind KindOf(const TimeRecord& t) {
    return (t.h.flags & kTwfStep) ? NativeKind::StepResponse : NativeKind::ImpulseResponse;
}

std::string DefaultSaveFileName(const std::string& title, NativeKind kind) {
    const SaveDialogText d = SaveDialogFor(kind);
    std::string name = title.empty() ? StringText(d.defaultNameId) : title;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c)) c = '_';
    return name + "." + d.extension;
}

// ---- Writing -----------------------------------------------------------------

Status SaveMeasurement(Measurement& m, const std::string& path, bool keepName) {
    return Save(m, path, keepName, kMesSaved, MeasurementImage);
}

Status SaveTimeRecord(TimeRecord& t, const std::string& path, bool keepName) {
    return Save(t, path, keepName, kTwfSaved, TimeRecordImage);
}

Status SaveEtc(EtcRecord& e, const std::string& path, bool keepName) {
    return Save(e, path, keepName, kEtcSaved, EtcImage);
}

// ---- Reading -----------------------------------------------------------------

Status LoadMeasurement(const std::string& path, Measurement& into, LoadPurpose purpose) {
    return GuardMemory(ReadMeasurement, path, into, purpose);
}

Status LoadTimeRecord(const std::string& path, TimeRecord& into, LoadPurpose purpose) {
    return GuardMemory(ReadTimeRecord, path, into, purpose);
}

Status LoadEtc(const std::string& path, EtcRecord& into, LoadPurpose purpose) {
    return GuardMemory(ReadEtc, path, into, purpose);
}

void NoteOpened(Measurement& m, const std::string& path) {
    SetText(m.h.path, path);
    m.h.flags |= kMesSaved;
    NoteRecent(path);
}

void NoteOpened(TimeRecord& t, const std::string& path) {
    SetText(t.h.path, path);
    t.h.flags |= kTwfSaved;
    NoteRecent(path);
}

void NoteOpened(EtcRecord& e, const std::string& path) {
    SetText(e.h.path, path);
    e.h.flags |= kEtcSaved;
    NoteRecent(path);
}

// ---- Document windows --------------------------------------------------------

std::vector<DocumentPlan> DocumentsFor(const Measurement& m) {
    const int title = m.h.curveKind == kCurveImpedance       ? kStrImpedanceTitle
                      : m.h.curveKind == kCurveSweepResponse ? kStrSweepResponseTitle
                                                             : kStrResponseTitle;
    return {{kDocMeasurement, title}};
}

std::vector<DocumentPlan> DocumentsFor(const TimeRecord& t) {
    std::vector<DocumentPlan> plans;
    plans.push_back((t.h.flags & kTwfStep) ? DocumentPlan{kDocStep, kStrStepTitle}
                                           : DocumentPlan{kDocImpulse, kStrImpulseTitle});
    if (t.h.flags & kTwfWaterfall) plans.push_back({kDocWaterfall, kStrWaterfallTitle});
    return plans;
}

std::vector<DocumentPlan> DocumentsFor(const EtcRecord&) { return {{kDocEtc, kStrEtcTitle}}; }

std::string DocumentTitle(const DocumentPlan& plan, const std::string& recordTitle) {
    return Format(plan.titleId, recordTitle);
}

// ---- Hooks -------------------------------------------------------------------

void SetRecentFileHook(std::function<void(const std::string&)> hook) { g_recentFileHook = std::move(hook); }
void SetMinimumPhaseHook(MinimumPhaseHook hook) { g_minimumPhaseHook = hook; }
void SetDistortionDerivedHook(DistortionDerivedHook hook) { g_distortionHook = hook; }
void SetThieleSmallHook(ThieleSmallHook hook) { g_thieleSmallHook = hook; }

void RecomputeAfterReading(Measurement& m) {
    const bool hasMinimumPhase =
        m.h.curveKind == kCurveFrequencyResponse || (m.h.curveKind == kCurveSweepResponse && (m.h.flags & kMesPhase));
    if (!hasMinimumPhase) {
        m.h.flags &= ~uint32_t(kMesMinimumPhaseCalculated);
    } else if (g_minimumPhaseHook) {
        if (g_minimumPhaseHook(m)) m.h.flags |= kMesMinimumPhaseCalculated;
        else m.h.flags &= ~uint32_t(kMesMinimumPhaseCalculated);
    }
    if ((m.h.flags & kMesDistortion) && g_distortionHook) g_distortionHook(m);
}

void ComputeThieleSmallOnOpening(Measurement& m) {
    if (m.h.curveKind != kCurveImpedance) return;
    const double in[3] = {m.h.tsBlock[0], m.h.tsBlock[1], m.h.tsBlock[2]};
    bool compute = false;
    if (m.h.method == 0) {
        compute = in[0] > 0;
    } else if (m.h.method == 1 || m.h.method == 2) {
        if (in[0] > 0 && in[1] > 0 && in[2] > 0) {
            compute = true;
        } else if (in[0] > 0) {
            m.h.method = 0;
            compute = true;
        }
    }
    if (compute && g_thieleSmallHook) g_thieleSmallHook(m);
}

}  // namespace srx
