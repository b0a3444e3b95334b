#include "measure/sine_measurement.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "audio/virtual_device.h"
#include "dsp/numeric.h"
#include "measure/stimulus_files.h"
#include "measure/wave_input.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

SineMeasurement::SineMeasurement(SineMeasurementSetup setup) : setup_(std::move(setup)) {
    FillAnalysisSettings(setup_.settings, setup_.analysis);
}

bool SineMeasurement::Probe() const {
    return setup_.settings.channels >= 2 && (setup_.settings.flags & kMsfProbeCompensation);
}

namespace {

// The settings' range within what the rate carries: a stimulus above half
// the rate folds back onto lower frequencies.
void WithinRate(double& f1, double& f2, uint32_t rate) {
    f2 = std::min(f2, MaxAnalysisFrequency(int(std::min<uint32_t>(rate, 768000))));
    f1 = std::min(f1, f2);
}

}  // namespace

GatedSineParams SineMeasurement::GatedParams() const {
    const MeasurementSettings& ms = setup_.settings;
    GatedSineParams p;
    p.f1 = ms.gatedStart;
    p.f2 = ms.gatedStop;
    WithinRate(p.f1, p.f2, ms.sampleRate);
    p.perOctave = int(std::min<uint32_t>(ms.gatedPerOctave, 1000));
    p.timeWindow = ms.timeWindow;
    p.windowOffset = (ms.flags & kMsfNearField) ? ms.timeWindowOffset : 0.0;
    p.pause = ms.gatedPause;
    p.windowType = setup_.analysis.windowType;
    p.levelOffsetDb = setup_.analysis.levelOffsetDb;
    return p;
}

SweepParams SineMeasurement::SweepParameters() const {
    const MeasurementSettings& ms = setup_.settings;
    SweepParams p;
    p.f1 = ms.sweepStart;
    p.f2 = ms.sweepStop;
    WithinRate(p.f1, p.f2, ms.sampleRate);
    p.timePerOctave = ms.sweepTimePerOctave;
    p.perOctave = int(std::min<uint32_t>(ms.sweepPerOctave, 1000));
    p.reverse = (ms.flags & kMsfReverseSweep) != 0;
    p.levelOffsetDb = setup_.analysis.levelOffsetDb;
    return p;
}

SineStimulusFormat SineMeasurement::Format() const {
    const MeasurementSettings& ms = setup_.settings;
    SineStimulusFormat f;
    f.rate = ms.sampleRate;
    f.channels = ms.channels;
    f.bits = ms.bitsPerSample;
    f.levelDb = ms.waveformLevelDb;
    f.preSilence = ms.preSilence;
    f.stopDelay = ms.stopDelayPlusOne > 0 ? (double(ms.stopDelayPlusOne) - 1.0) / 1000.0 : 0.0;
    return f;
}

std::vector<double> SineMeasurement::Frequencies() const {
    if (Gated()) {
        const GatedSineParams p = GatedParams();
        return FrequencySeries(p.f1, p.f2, p.perOctave);
    }
    const SweepParams p = SweepParameters();
    return FrequencySeries(p.f1, p.f2, p.perOctave);
}

std::string SineMeasurement::StimulusFile() const {
    const MeasurementSettings& ms = setup_.settings;
    if (Gated()) return StimulusPath(setup_.folder, kWaveSinSweep);
    return SweepWavePath(setup_.folder, 'p', int(ms.sampleRate), int(ms.channels), int(ms.bitsPerSample),
                         ms.sweepTimePerOctave);
}

std::string SineMeasurement::ResponseFile(int pass) const {
    return ResponsePath(setup_.folder, Gated() ? kWaveSinSweep : kWaveSweep, pass);
}

int SineMeasurement::PassCount() const {
    const uint32_t n = Gated() ? setup_.settings.gatedPreAverages : setup_.settings.sweepPreAverages;
    return int(std::clamp<uint32_t>(n, 1, 100));
}

int SineMeasurement::ProgressRange() const {
    const int passes = PassCount();
    return Gated() ? int(Frequencies().size()) * 2 * passes + 1 : passes * 2 + 1;
}

Status SineMeasurement::Prepare(void* owner, const WavePrepareHooks& hooks) {
    return recorder_.Prepare(owner, setup_.settings, Kind(), hooks);
}

Status SineMeasurement::CreateFiles() {
    std::error_code ec;
    std::filesystem::create_directories(HostPath(setup_.folder), ec);
    const SineStimulusFormat f = Format();
    const std::string path = HostPath(StimulusFile());
    const uint64_t frames = Gated() ? GatedStimulusFrames(GatedParams(), f) : SweepStimulusFrames(SweepParameters(), f);
    if (frames && WaveFileFits(path, f.rate, f.channels, f.bits, frames)) return Status::Ok();
    return Gated() ? WriteGatedSineStimulus(path, GatedParams(), f) : WriteSweepStimulus(path, SweepParameters(), f);
}

Status SineMeasurement::StartPass(int pass) {
    return recorder_.StartPass(setup_.inputDevice, setup_.outputDevice, ResponseFile(pass), StimulusFile());
}

Status SineMeasurement::AnalyseChannel(const std::vector<double>& x, uint32_t rate, const std::function<void()>& tick,
                                       SineAnalysis& out) const {
    const uint32_t lead = uint32_t(std::clamp(RoundHalfAway(rate * Format().preSilence), 0.0, 4e9));
    return Gated() ? AnalyseGatedSine(x, rate, lead, GatedParams(), out, tick)
                   : AnalyseSweep(x, rate, lead, SweepParameters(), out);
}

Status SineMeasurement::Analyse(const std::function<void()>& tick) {
    std::vector<std::string> responses;
    for (int pass = 0; pass < PassCount(); ++pass) responses.push_back(HostPath(ResponseFile(pass)));
    return AnalyseFiles(HostPath(StimulusFile()), responses, tick);
}

Status SineMeasurement::AnalyseFiles(const std::string& stimulusFile, const std::vector<std::string>& responses,
                                     const std::function<void()>& tick) {
    result_.reset();
    clipped_ = false;
    const MeasurementSettings& ms = setup_.settings;
    const SineStimulusFormat f = Format();
    const bool swap = ms.reverseChannels != 0, invert = (ms.flags & kMsfInvertInput) != 0;
    ReferenceOptions ro;
    ro.f1 = Gated() ? GatedParams().f1 : SweepParameters().f1;
    ro.f2 = Gated() ? GatedParams().f2 : SweepParameters().f2;
    ro.levelDb = std::min(0.0, f.levelDb);
    ro.gated = Gated();
    ro.rate = f.rate;
    ro.probePhaseCorrection = Probe() && (ms.moreFlags & kMsf2ProbePhaseCorrection);

    // Without a probe the stimulus file is the reference of every pass.
    SineAnalysis stimulus;
    if (!Probe()) {
        Recording r;
        Status s = ReadRecording(stimulusFile, f.preSilence, false, false, false, r);
        if (s) s = AnalyseChannel(r.c0, r.rate, tick, stimulus);
        if (!s) return s;
    }
    std::vector<std::unique_ptr<Measurement>> passes;
    for (const std::string& response : responses) {
        Recording r;
        Status s = ReadRecording(response, f.preSilence, Probe(), swap, invert, r);
        if (!s) return s;
        clipped_ = clipped_ || r.clipped;
        SineAnalysis a, probe;
        s = AnalyseChannel(r.c0, r.rate, tick, a);
        if (s && Probe()) s = AnalyseChannel(r.c1, r.rate, tick, probe);
        std::unique_ptr<Measurement> referenced;
        if (s) s = ReferenceResponse(a, Probe() ? probe : stimulus, ro, referenced);
        if (!s) return s;
        delay_ = std::max(0.0, a.delay - (Probe() ? probe : stimulus).delay);
        passes.push_back(std::move(referenced));
        passesAnalysed_ = int(passes.size());
    }
    std::vector<const Measurement*> list;
    for (const auto& p : passes) list.push_back(p.get());
    result_ = AveragePasses(list);
    if (!result_) return Status::Error(kStrCantAnalyseMemory);
    return Status::Ok();
}

Status SineMeasurement::Complete(const std::string& title) {
    if (!result_) return Status::Error(kStrLevelTooLow);
    const MeasurementSettings& ms = setup_.settings;
    Measurement& m = *result_;
    MeasurementHeader& h = m.h;
    SetText(h.title, title);
    h.curveKind = Gated() ? kCurveFrequencyResponse : kCurveSweepResponse;
    h.preAverages = std::max(1, passesAnalysed_);
    h.flags |= kMesPhase;
    MeasurementSetup& su = h.setup;
    FillMeasurementSetup(su, ms, setup_.inputName, setup_.outputName);
    su.sineCycles = -1;
    su.mlsLengthShown = 0;
    if (Gated()) {
        const GatedSineParams p = GatedParams();
        h.method = kMethodGatedSine;
        h.windowType = int32_t(p.windowType);
        su.frequenciesPerOctave = p.perOctave;
        su.windowLength = p.timeWindow;
        su.windowOffset = p.windowOffset;
        su.sweepTimePerOctave = -1.0;
        // Flagged when any harmonic was measured, not only when the THD
        // comes out above 0: saving drops unflagged harmonics.
        if (HasHarmonics(m)) h.flags |= kMesDistortion;
    } else {
        const SweepParams p = SweepParameters();
        su.frequenciesPerOctave = p.perOctave;
        su.windowLength = 0;
        su.windowOffset = 0;
        su.sweepTimePerOctave = p.timePerOctave;
    }
    DerivePhaseData(m, setup_.analysis);
    ApplyCompensations(m, setup_.compensation, ms, Kind(), Probe());
    if (h.flags & kMesDistortion) ComputeDistortion(m, setup_.analysis.thdHarmonics);
    return Status::Ok();
}

Status RunSineMeasurement(SineMeasurement& m, const std::function<bool()>& pump, const std::string& title) {
    Status s = PrepareAndRecord(m, pump);
    if (s) s = m.Analyse();
    if (s) s = m.Complete(title);
    return s;
}

Status RunSineMeasurement(SineMeasurement& m, VirtualLoudspeaker& device, const std::string& title) {
    return RunOnVirtualDevice(
        device, &NoticeTo<SineMeasurement>,
        [&](const std::function<bool()>& pump) { return RunSineMeasurement(m, pump, title); }, [&] { m.Finish(); });
}

}  // namespace srx
