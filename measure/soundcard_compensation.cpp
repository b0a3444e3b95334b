#include "measure/soundcard_compensation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "audio/virtual_device.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "measure/mls.h"
#include "measure/compensation_settings.h"
#include "measure/mls_measurement.h"
#include "measure/sine_measurement.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Compensation tables are read on a grid this fine and then thinned.
constexpr int kCompensationPointsPerOctave = 24;
// A recovered impulse's peak must stand this far out of the record's RMS
// (20 dB). A perfect wire at order 13 gives about 39 dB, a speaker in a
// room well above 20; noise alone, about 12.
constexpr double kMinimumCrest = 10.0;

std::atomic<NoCompensationNotice> g_notice{nullptr};
thread_local const MeasurementSettings* g_checked = nullptr;

bool ProbeMode(const MeasurementSettings& ms) { return ms.channels == 2 && (ms.flags & kMsfProbeCompensation) != 0; }

bool PreEmphasis(const MeasurementSettings& ms) { return (ms.flags & kMsfMlsPreEmphasis) != 0; }

bool ExistsForChecked(int kind) {
    if (!g_checked || kind < int(CompensationStimulus::Mls) || kind > int(CompensationStimulus::Sweep)) return true;
    return !SoundcardCompensationMissing(*g_checked, MeasureProgramFolder(), CompensationStimulus(kind));
}

// Never a notice while the card's own response is being measured.
bool AlwaysPresent(int) { return true; }

AnalysisSettings CompensationAnalysis(const MeasurementSettings& ms) {
    AnalysisSettings st = CurrentAnalysisSettings();
    FillAnalysisSettings(ms, st);
    st.topIsMaxFrequencyMls = st.topIsMaxFrequency = true;
    st.levelOffsetDb = 0;
    st.preDelaySeconds = 0;
    return st;
}

bool IsFrequencyResponse(const Measurement& m) {
    return m.h.curveKind == kCurveFrequencyResponse || m.h.curveKind == kCurveSweepResponse;
}

// Index of the largest magnitude among the first count - 1 samples, as the
// recovery finds the peak.
size_t PeakIndex(const TimeRecord& r) {
    const size_t n = std::min(size_t(std::max(0, int(r.h.sampleCount))), r.samples.size());
    size_t peak = 0;
    float best = -1;
    for (size_t i = 0; i + 1 < n; ++i) {
        const float a = std::fabs(r.samples[i]);
        if (a > best) {
            best = a;
            peak = i;
        }
    }
    return peak;
}

}  // namespace

// ---- The measurement of one stimulus ----------------------------------------

// What a compensation needs of a measurement: record the stimulus through
// the path and give the path's response. One implementation per stimulus.
class PathMeasurement {
public:
    virtual ~PathMeasurement() = default;
    // Engine prepared and stimulus written.
    virtual Status Prepare(void* owner, const WavePrepareHooks& hooks) = 0;
    virtual int FirstPass() const = 0;
    virtual int PassCount() const = 0;
    virtual int ProgressRange() const = 0;
    virtual Status StartPass(int pass) = 0;
    virtual bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error) = 0;
    virtual bool PassRunning() const = 0;
    virtual Status PassError() const = 0;
    // The response as CompensationResponse gives it.
    virtual Status Response(std::unique_ptr<Measurement>& out) = 0;
    virtual void Finish() = 0;
};

namespace {

// The steps every stimulus's measurement shares, on its measurement `M`.
template <class M>
class RecordedPath : public PathMeasurement {
public:
    template <class Setup>
    explicit RecordedPath(Setup setup) : m_(std::move(setup)) {}

    Status Prepare(void* owner, const WavePrepareHooks& hooks) override {
        Status s = m_.Prepare(owner, hooks);
        // A fresh stimulus: the linearity runs inside the settings sheet,
        // whose changes (pre-emphasis, levels) a cached one may not have.
        RemoveStimulus();
        if (s) s = m_.CreateFiles();
        if (!s) Finish();
        return s;
    }
    int FirstPass() const override { return m_.FirstPass(); }
    int PassCount() const override { return m_.PassCount(); }
    int ProgressRange() const override { return m_.ProgressRange(); }
    Status StartPass(int pass) override { return m_.StartPass(pass); }
    bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error) override {
        return m_.OnNotice(message, first, second, error);
    }
    bool PassRunning() const override { return m_.PassRunning(); }
    Status PassError() const override { return m_.PassError(); }
    // Nor is the stimulus left behind for the next measurement: the sheet
    // may still be cancelled.
    void Finish() override {
        m_.Finish();
        RemoveStimulus();
    }

protected:
    void RemoveStimulus() { std::remove(HostPath(m_.StimulusFile()).c_str()); }

    // The settings of a calibration run: the corrections are the run's
    // business (the raw response comes out) and the card's own response is
    // wanted, not its ratio to itself.
    static MeasurementSettings RunSettings(const CompensationRunSetup& setup) {
        MeasurementSettings ms = setup.settings;
        if (setup.target == CompensationTarget::kSoundcard) ms.flags &= ~kMsfProbeCompensation;
        return ms;
    }

    M m_;
};

class MlsPath : public RecordedPath<MlsMeasurement> {
public:
    MlsPath(const CompensationRunSetup& setup, const char* title) : RecordedPath(SetupFor(setup)), title_(title) {}

    Status Response(std::unique_ptr<Measurement>& out) override {
        Status s = m_.Analyse();
        // The loop-back carries no level: the sheet's own message says what to do.
        if (s.stringId == kStrMlsNoSignal) return Status::Error(kStrLevelTooLow);
        if (s) s = m_.Complete(title_);
        if (s) s = CheckImpulseUsable(*m_.Impulse());
        if (!s) return s;
        out = CompensationResponse(*m_.Impulse(), m_.Setup().settings);
        return out ? Status::Ok() : Status::Error(kStrFftFailed);
    }

private:
    static MlsMeasurementSetup SetupFor(const CompensationRunSetup& setup) {
        MlsMeasurementSetup s;
        s.settings = RunSettings(setup);
        s.folder = setup.folder;
        s.outputDevice = setup.outputDevice;
        s.inputDevice = setup.inputDevice;
        s.compensation = {};
        uint32_t& flags = s.settings.flags;
        // Nobody waits at a prompt between the passes of a calibration, and
        // only the impulse response is used (its analysis tick stays).
        flags &= ~(kMsfMlsManualAverages | kMsfMlsDoWaterfall);
        flags |= kMsfMlsDoFft;
        return s;
    }

    std::string title_;
};

// The gated sine's and the sweep's response, its phase referred to the
// arrival of the stimulus: the card's latency belongs to each measurement,
// and a phase that turns by the latency between points could not be
// unwrapped into a table.
class SinePath : public RecordedPath<SineMeasurement> {
public:
    SinePath(const CompensationRunSetup& setup, SineKind kind, const char* title)
        : RecordedPath(SetupFor(setup, kind)), title_(title) {}

    Status Response(std::unique_ptr<Measurement>& out) override {
        Status s = m_.Analyse();
        if (s) s = m_.Complete(title_);
        if (!s) return s;
        out = m_.TakeResult();
        for (CurvePoint& p : out->points)
            p.value[kSlotPhase] = float(WrapRadians(p.value[kSlotPhase] + kTwoPi * p.frequency * m_.Delay()));
        DerivePhaseData(*out, m_.Setup().analysis);
        return Status::Ok();
    }

private:
    static SineMeasurementSetup SetupFor(const CompensationRunSetup& setup, SineKind kind) {
        SineMeasurementSetup s;
        s.kind = kind;
        s.settings = RunSettings(setup);
        s.folder = setup.folder;
        s.outputDevice = setup.outputDevice;
        s.inputDevice = setup.inputDevice;
        s.compensation = {};
        return s;
    }

    std::string title_;
};

// The measurement of a stimulus kind; null for the kinds not built yet.
std::unique_ptr<PathMeasurement> MakePath(CompensationStimulus kind, const CompensationRunSetup& setup) {
    const char* title =
        setup.target == CompensationTarget::kSoundcard ? "Soundcard Compensation" : "Secondary Compensation";
    switch (kind) {
        case CompensationStimulus::Mls: return std::make_unique<MlsPath>(setup, title);
        case CompensationStimulus::GatedSine: return std::make_unique<SinePath>(setup, SineKind::kGated, title);
        case CompensationStimulus::Sweep: return std::make_unique<SinePath>(setup, SineKind::kSweep, title);
        default: return nullptr;
    }
}

}  // namespace

// ---- Files and the check -----------------------------------------------------------

std::vector<CompensationStimulus> LinearityStimuli(const MeasurementSettings&) {
    // The spike follows when its measurement exists.
    return {CompensationStimulus::GatedSine, CompensationStimulus::Sweep, CompensationStimulus::Mls};
}

std::string SoundcardCompensationPath(const MeasurementSettings& ms, const std::string& programFolder,
                                      CompensationStimulus kind) {
    return CompensationFilePath(ms, CompensationFolder(programFolder), kind, PreEmphasis(ms), int(ms.mlsOrder));
}

bool SoundcardCompensationPresent(const MeasurementSettings& ms, const std::string& programFolder,
                                  CompensationStimulus kind, WaveFolderFs& fs) {
    return CompensationFileName(ms, programFolder, nullptr, kind, PreEmphasis(ms), int(ms.mlsOrder), fs);
}

bool UsesVirtualLoudspeaker(const MeasurementSettings& ms) {
    WaveDeviceBackend* b = WaveBackend();
    if (!b) return false;
    return b->DeviceName(WaveDirection::kOutput, WaveDeviceIdFromSetting(int(ms.outputDevice))) == kVirtualDeviceName &&
           b->DeviceName(WaveDirection::kInput, WaveDeviceIdFromSetting(int(ms.inputDevice))) == kVirtualDeviceName;
}

bool SoundcardCompensationMissing(const MeasurementSettings& ms, const std::string& programFolder,
                                  CompensationStimulus kind, WaveFolderFs& fs) {
    return !UsesVirtualLoudspeaker(ms) && !SoundcardCompensationPresent(ms, programFolder, kind, fs);
}

void SetNoSoundcardCompensationNotice(NoCompensationNotice notice) { g_notice = notice; }
NoCompensationNotice NoSoundcardCompensationNotice() { return g_notice; }

SoundcardCompensationCheck::SoundcardCompensationCheck(const MeasurementSettings& ms, WavePrepareHooks& hooks)
    : previous_(g_checked) {
    g_checked = &ms;
    if (!hooks.compensationExists) hooks.compensationExists = &ExistsForChecked;
    if (!hooks.showNoCompensation) hooks.showNoCompensation = g_notice.load();
}

SoundcardCompensationCheck::~SoundcardCompensationCheck() { g_checked = previous_; }

Status ApplySoundcardCompensation(Measurement& m, const MeasurementSettings& ms, CompensationStimulus kind,
                                  const std::string& programFolder, const AnalysisSettings& analysis) {
    // Probe mode divides the card out with the reference channel.
    if (!IsFrequencyResponse(m) || ProbeMode(ms)) return Status::Ok();
    CompensationCurve curve;
    const Status st = LoadCompensation(SoundcardCompensationPath(ms, programFolder, kind), curve, true);
    if (st.stringId == kStrCantOpen) return Status::Ok();  // not measured: nothing to correct
    if (!st) return st;
    if (IsFlatCompensation(curve)) return Status::Ok();
    CompensateMeasurement(m, curve);
    DerivePhaseData(m, analysis);
    return Status::Ok();
}

Status ApplySettingsSoundcardCompensation(Measurement& m, const MeasurementSettings& ms, CompensationStimulus kind) {
    AnalysisSettings st = CurrentAnalysisSettings();
    FillAnalysisSettings(ms, st);
    return ApplySoundcardCompensation(m, ms, kind, MeasureProgramFolder(), st);
}

Status ApplySoundcardCompensation(TimeRecord& t, const MeasurementSettings& settings, const std::string& programFolder) {
    if (t.slices.empty() || (t.h.flags & (kTwfCompensationContained | kTwfImported)) || ProbeMode(settings))
        return Status::Ok();
    MeasurementSettings ms = settings;
    const bool mls = (t.h.flags & kTwfMls) != 0;
    if (mls && t.h.mlsLength > 0) {
        // The file was measured at the record's order, not the current one.
        uint32_t order = 1;
        while (order < 30 && (int64_t(1) << order) - 1 < int64_t(t.h.mlsLength)) ++order;
        ms.mlsOrder = order;
    }
    const CompensationStimulus kind = mls ? CompensationStimulus::Mls : CompensationStimulus::Spike;
    CompensationCurve curve;
    const Status st = LoadCompensation(SoundcardCompensationPath(ms, programFolder, kind), curve, true);
    if (st.stringId == kStrCantOpen) return Status::Ok();
    if (!st) return st;
    if (!IsFlatCompensation(curve)) CompensateWaterfallLevels(t, curve);
    return Status::Ok();
}

// ---- Response to table -----------------------------------------------------------

Status CheckImpulseUsable(const TimeRecord& impulse) {
    const size_t n = std::min(size_t(std::max(0, int(impulse.h.sampleCount))), impulse.samples.size());
    if (n < 2) return Status::Error(kStrLevelTooLow);
    double energy = 0;
    for (size_t i = 0; i < n; ++i) energy += double(impulse.samples[i]) * impulse.samples[i];
    const double peak = std::fabs(impulse.samples[PeakIndex(impulse)]);
    const double rms = std::sqrt(energy / double(n));
    if (!(peak > 1e-6) || !std::isfinite(rms) || !(peak >= kMinimumCrest * rms)) return Status::Error(kStrLevelTooLow);
    return Status::Ok();
}

std::unique_ptr<Measurement> CompensationResponse(const TimeRecord& impulse, const MeasurementSettings& ms) {
    TimeRecord r = impulse;
    // Whatever the window start of the settings, the window begins just
    // before the peak: "Delay Free" would put the latency into the window.
    SetPeakAndWindowStart(r);
    ApplyTimeWindow(r, kTimeWindowManual, -1, -1);
    r.h.flags &= ~kTwfWantsMinimumPhase;
    const double length = r.h.fftWindowLength;
    const int rate = r.h.sampleRate;
    if (!(length > 0) || rate <= 0) return nullptr;
    const AnalysisSettings st = CompensationAnalysis(ms);
    std::unique_ptr<Measurement> m = ImpulseToFrequencyResponse(r, 1.0 / length, kCompensationPointsPerOctave, 0, st);
    if (!m) return nullptr;
    // The phase of the window is read from its start; from the peak on it is
    // the path's own.
    const double delay = double(PeakIndex(r)) / rate - m->h.setup.windowOffset;
    for (CurvePoint& p : m->points)
        p.value[kSlotPhase] = float(WrapRadians(p.value[kSlotPhase] + kTwoPi * p.frequency * delay));
    DerivePhaseData(*m, st);
    return m;
}

CompensationCurve CompensationFromResponse(const Measurement& m) {
    CompensationCurve c;
    for (const CurvePoint& p : m.points) {
        const double level = p.value[kSlotLevel], phase = p.value[kSlotPhaseUnwrapped];
        if (!(p.frequency > 0) || !(level > kNoLevel) || !std::isfinite(level) || !std::isfinite(phase)) continue;
        c.entries.push_back({p.frequency, float(level), float(phase)});
    }
    if (c.entries.empty()) return c;
    SortCompensation(c);
    const double low = c.entries.front().frequency, high = c.entries.back().frequency;
    const double reference = low <= 1000 && 1000 <= high ? 1000.0 : std::sqrt(low * high);
    const double offset = CompensationLevelAt(c, reference);
    for (CompensationEntry& e : c.entries) e.level = float(e.level - offset);
    ThinCompensation(c);
    c.entries.erase(std::remove_if(c.entries.begin(), c.entries.end(),
                                   [](const CompensationEntry& e) { return !(e.frequency > 0); }),
                    c.entries.end());
    return c;
}

Status SecondaryCompensationBaseName(const std::string& typed, std::string& baseName) {
    auto trim = [](std::string s) {
        const char* blanks = " \t";
        const size_t first = s.find_first_not_of(blanks);
        if (first == std::string::npos) return std::string();
        return s.substr(first, s.find_last_not_of(blanks) - first + 1);
    };
    std::string name = trim(typed);
    const std::string ext = kSecondaryExtension;
    if (name.size() >= ext.size()) {
        std::string tail = name.substr(name.size() - ext.size());
        std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char ch) { return char(std::toupper(ch)); });
        if (tail == ext) name = trim(name.substr(0, name.size() - ext.size()));
    }
    // A dot would hide the extension from the lookup of remembered names.
    const bool bad = name.empty() || name.find_first_of("\\/:*?\"<>|.") != std::string::npos ||
                     std::any_of(name.begin(), name.end(), [](unsigned char ch) { return ch < 0x20; });
    if (bad) return Status::Error(kStrEnterCompensationName);
    baseName = name;
    return Status::Ok();
}

// ---- The run ------------------------------------------------------------------------

DuplexRunPlan SoundcardInitPlan(const MeasurementSettings& ms, const std::string& folder) {
    DuplexRunPlan p = CardTestPlan(ms, folder);
    p.leadSeconds = 0.5;
    return p;
}

CompensationRun::CompensationRun(CompensationRunSetup setup) : setup_(std::move(setup)) {
    if (setup_.target == CompensationTarget::kSoundcard) stimuli_ = LinearityStimuli(setup_.settings);
    else stimuli_ = {CompensationStimulus::Mls};
}

CompensationRun::~CompensationRun() { Finish(); }

Status CompensationRun::Prepare(void* owner, const WavePrepareHooks& hooks) {
    if (Done()) return Status::Ok();
    if (path_) path_->Finish();
    path_ = MakePath(stimuli_[index_], setup_);
    if (!path_) return Status::Error(kStrMlsFailed);
    WavePrepareHooks h = hooks;
    if (setup_.target == CompensationTarget::kSoundcard && !h.compensationExists) h.compensationExists = &AlwaysPresent;
    return path_->Prepare(owner, h);
}

int CompensationRun::FirstPass() const { return path_ ? path_->FirstPass() : 0; }
int CompensationRun::PassCount() const { return path_ ? path_->PassCount() : 0; }
int CompensationRun::ProgressRange() const { return path_ ? path_->ProgressRange() : 1; }

Status CompensationRun::StartPass(int pass) {
    if (!path_) return Status::Error(kStrCantRecord);
    return path_->StartPass(pass);
}

bool CompensationRun::OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error) {
    return path_ && path_->OnNotice(message, first, second, error);
}

bool CompensationRun::PassRunning() const { return path_ && path_->PassRunning(); }
Status CompensationRun::PassError() const { return path_ ? path_->PassError() : Status::Ok(); }

void CompensationRun::OwnerNotice(void* owner, unsigned message, uintptr_t first, intptr_t second) {
    if (owner) static_cast<CompensationRun*>(owner)->OnNotice(message, first, second);
}

Status CompensationRun::FinishStimulus() {
    if (Done() || !path_) return Status::Error(kStrMlsFailed);
    std::unique_ptr<Measurement> response;
    Status s = path_->Response(response);
    // Engine down and responses deleted whatever came of it: a retry
    // prepares afresh.
    path_->Finish();
    path_.reset();
    if (!s) return s;
    s = setup_.target == CompensationTarget::kSoundcard ? WriteSoundcardFile(*response) : WriteSecondaryFile(*response);
    if (!s) return s;
    response_ = std::move(response);
    ++index_;
    return Status::Ok();
}

Status CompensationRun::WriteSoundcardFile(const Measurement& response) {
    const CompensationCurve curve = CompensationFromResponse(response);
    const MeasurementSettings& ms = setup_.settings;
    std::string path;
    CompensationFileName(ms, setup_.programFolder, &path, stimuli_[index_], PreEmphasis(ms), int(ms.mlsOrder));
    Status error;
    if (!SaveCompensation(path, curve, &error)) return error.ok() ? Status::Error(kStrLevelTooLow) : error;
    written_.push_back(path);
    return Status::Ok();
}

Status CompensationRun::WriteSecondaryFile(Measurement& response) {
    std::string base;
    Status s = SecondaryCompensationBaseName(setup_.secondaryName, base);
    if (!s) return s;
    const MeasurementSettings& ms = setup_.settings;
    if (!ProbeMode(ms)) {
        const AnalysisSettings st = CompensationAnalysis(ms);
        s = ApplySoundcardCompensation(response, ms, stimuli_[index_], setup_.programFolder, st);
        if (!s) return s;
        // The microphone as the measurements correct it; the secondary
        // compensation in use stays out, or the new one would stack on it.
        CompensationSettings mic = setup_.compensation;
        mic.secondaryName.clear();
        s = ApplyMicrophoneCompensation(response, nullptr, mic, st);
        if (!s) return s;
    }
    const CompensationCurve curve = CompensationFromResponse(response);
    const std::string path = InProgramFolder(setup_.programFolder, (base + kSecondaryExtension).c_str());
    Status error;
    if (!SaveCompensation(path, curve, &error)) return error.ok() ? Status::Error(kStrLevelTooLow) : error;
    written_.push_back(path);
    if (setup_.remember) SetRememberedSecondaryCompensation(base);
    return Status::Ok();
}

void CompensationRun::Finish() {
    if (path_) path_->Finish();
}

Status RunCompensation(CompensationRun& run, const std::function<bool()>& pump) {
    Status s;
    while (s && !run.Done()) {
        s = run.Prepare(&run);
        for (int pass = run.FirstPass(); s && pass < run.PassCount(); ++pass) {
            s = run.StartPass(pass);
            while (s && run.PassRunning())
                if (!pump()) s = Status::Error(kStrCantRecord);  // the device stopped short
            if (s) s = run.PassError();
        }
        if (s) s = run.FinishStimulus();
    }
    return s;
}

Status RunCompensation(CompensationRun& run, VirtualLoudspeaker& device) {
    WaveDeviceBackend* previous = WaveBackend();
    WaveSetBackend(&device);
    device.SetPacing(VirtualPacing::kManual);
    device.SetOwnerHandler(&CompensationRun::OwnerNotice);
    const Status s = RunCompensation(run, [&] { return device.Pump() > 0; });
    run.Finish();
    device.Pump();  // the close notices of the shut-down engine
    device.SetOwnerHandler(nullptr);
    WaveSetBackend(previous);
    return s;
}

}  // namespace srx
