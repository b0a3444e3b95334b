#include "measure/mls_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "audio/virtual_device.h"
#include "audio/wave_file.h"
#include "dsp/compensation.h"
#include "measure/compensation_settings.h"
#include "dsp/frequency_response.h"
#include "measure/soundcard_compensation.h"
#include "measure/stimulus_files.h"
#include "measure/wave_input.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

MlsMeasurement::MlsMeasurement(MlsMeasurementSetup setup) : setup_(std::move(setup)) {}

MlsMeasurement::~MlsMeasurement() { Finish(); }

int MlsMeasurement::Order() const { return std::clamp(int(setup_.settings.mlsOrder), kMlsMinOrder, kMlsMaxOrder); }

bool MlsMeasurement::Probe() const {
    return setup_.settings.channels >= 2 && (setup_.settings.flags & kMsfProbeCompensation);
}

int MlsMeasurement::FirstPass() const { return (setup_.settings.flags & kMsfMlsWarmUp) ? -1 : 0; }

int MlsMeasurement::PassCount() const { return std::max(1, int(setup_.settings.mlsPreAverages)); }

int MlsMeasurement::ProgressRange() const {
    const uint32_t f = setup_.settings.flags;
    return 2 * PassCount() + ((f & kMsfMlsWarmUp) ? 1 : 0) + ((f & kMsfMlsDoFft) ? 1 : 0) +
           ((f & kMsfMlsDoWaterfall) ? 1 : 0) + 1;
}

std::string MlsMeasurement::StimulusFile() const { return StimulusPath(setup_.folder, kWaveMls); }

std::string MlsMeasurement::ResponseFile(int pass) const { return ResponsePath(setup_.folder, kWaveMls, pass); }

Status MlsMeasurement::Prepare(void* owner, const WavePrepareHooks& hooks) {
    return recorder_.Prepare(owner, setup_.settings, CompensationStimulus::Mls, hooks);
}

Status MlsMeasurement::CreateFiles() {
    const MeasurementSettings& ms = setup_.settings;
    std::error_code ec;
    std::filesystem::create_directories(HostPath(setup_.folder), ec);
    const MlsStimulusLevels levels = MlsStimulusLevelsFrom(ms);
    const uint32_t frames = MlsLeadFrames(levels.preSilence, ms.sampleRate) + (AnalysisLength() - 1) +
                            MlsTailFrames(levels.stopDelay, ms.sampleRate);
    const std::string path = HostPath(StimulusFile());
    // An existing file is reused when its format and length fit; its level
    // and shape are read back by the recovery, which refuses a sequence
    // that is not this one.
    if (WaveFileFits(path, ms.sampleRate, ms.channels, ms.bitsPerSample, frames)) return Status::Ok();
    const bool preEmphasis = (ms.flags & kMsfMlsPreEmphasis) != 0;
    if (!WriteMlsStimulus(path, Order(), preEmphasis, ms.sampleRate, ms.channels, ms.bitsPerSample, levels))
        return Status::Error(kStrCantCreateStimulus);
    return Status::Ok();
}

Status MlsMeasurement::StartPass(int pass) {
    return recorder_.StartPass(setup_.inputDevice, setup_.outputDevice, ResponseFile(pass), StimulusFile());
}

bool MlsMeasurement::OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error) {
    return recorder_.OnNotice(message, first, second, error);
}

Status MlsMeasurement::Analyse() {
    passes_.clear();
    impulse_.reset();
    clipped_ = false;
    span_ = {};
    const MlsRecoveryOptions options = MlsRecoveryOptionsFrom(setup_.settings);
    const std::string stimulus = HostPath(StimulusFile());
    for (int pass = 0; pass < PassCount(); ++pass) {
        const std::string response = HostPath(ResponseFile(pass));
        std::unique_ptr<TimeRecord> rec, reference;
        MlsPassReport report;
        Status s = Probe()
                       ? MlsImpulsePairFromFiles(response, stimulus, AnalysisLength(), options, rec, reference, &report)
                       : MlsImpulseFromFiles(response, stimulus, AnalysisLength(), options, rec, &report);
        clipped_ = clipped_ || report.clipped;
        if (s && Probe()) s = DivideReferenceResponse(*rec, *reference);
        if (!s) {
            passes_.clear();
            return s;
        }
        passes_.push_back(std::move(rec));
    }
    std::vector<const TimeRecord*> list;
    for (const auto& p : passes_) list.push_back(p.get());
    auto result = std::make_unique<TimeRecord>(*passes_[0]);
    Status s = AverageImpulsePasses(*result, list);
    if (!s) return s;
    const uint32_t period = std::min<uint32_t>(AnalysisLength() - 1, uint32_t(result->samples.size()));
    span_ = FindResponseSpan(result->samples.data(), period);
    impulse_ = std::move(result);
    return Status::Ok();
}

Status MlsMeasurement::Complete(const std::string& title) {
    if (!impulse_) return Status::Error(kStrMlsFailed);
    const MeasurementSettings& ms = setup_.settings;
    TimeRecordHeader& h = impulse_->h;
    const TimeWindowSettings w = MlsTimeWindowSettings(ms);
    h.windowType = int32_t(ms.fftWindowType);
    h.spikeLength = 1.0 / h.sampleRate;
    h.fftWindowLength = w.fftWindowLength;
    h.defaultSpan = w.defaultSpan;
    h.furtherTime = w.furtherTime;
    h.waterfallSetting = w.waterfallSetting;
    h.mlsLength = int32_t(AnalysisLength() - 1);
    h.preAverages = PassCount();
    h.flags |= kTwfMls;
    if (ms.flags & kMsfMlsPreEmphasis) h.flags |= kTwfPreEmphasis;
    // The probe flag. Not 0x80 (reference channel): the transform takes that
    // bit for "Delay Free".
    if (Probe()) h.flags |= kTwfCompensationContained;
    SetText(h.title, title);

    MeasurementSetup& su = h.setup;
    FillMeasurementSetup(su, ms, setup_.inputName, setup_.outputName);
    su.sampleRate = h.sampleRate;
    su.frequenciesPerOctave = int32_t(FftPointsPerOctave(ms.mlsPerOctave));
    su.sineCycles = -1;
    su.windowLength = ms.mlsWindow;
    su.windowOffset = 0;
    su.sweepTimePerOctave = -1.0;
    su.mlsLengthShown = h.mlsLength;

    // The window start of the recovery leaves the sound card's latency out
    // of the window; Delay Free starts at the first sample and refers the
    // phase to the peak instead, as the transform expects.
    const bool delayFree = ms.fftWindowStart == uint32_t(kTimeWindowDelayFree);
    ApplyTimeWindow(*impulse_, delayFree ? kTimeWindowDelayFree : kTimeWindowManual, w.fftWindowLength, -1);
    return Status::Ok();
}

Status MlsMeasurement::DoFft() {
    response_.reset();
    const MeasurementSettings& ms = setup_.settings;
    if (!(ms.flags & kMsfMlsDoFft)) return Status::Ok();
    if (!impulse_) return Status::Error(kStrFftFailed);
    AnalysisSettings st = setup_.analysis;
    FillAnalysisSettings(ms, st);
    const double start = (ms.flags & kMsfMlsAutoStart) && ms.mlsWindow > 0 ? 1.0 / ms.mlsWindow : ms.mlsStart;
    Status warning;
    std::unique_ptr<Measurement> m =
        ImpulseToFrequencyResponse(*impulse_, start, FftPointsPerOctave(ms.mlsPerOctave), 0, st, &warning);
    if (!m) return Status::Error(kStrFftFailed);
    DerivePhaseData(*m, st);
    std::memcpy(m->h.title, impulse_->h.title, sizeof m->h.title);
    ApplyCompensations(*m, setup_.compensation, ms, CompensationStimulus::Mls, Probe());
    response_ = std::move(m);
    return Status::Ok();
}

void MlsMeasurement::Finish() { recorder_.Finish(); }

Status RunMlsMeasurement(MlsMeasurement& m, const std::function<bool()>& pump, const std::string& title) {
    Status s = PrepareAndRecord(m, pump);
    if (s) s = m.Analyse();
    if (s) s = m.Complete(title);
    if (s) s = m.DoFft();
    return s;
}

Status RunMlsMeasurement(MlsMeasurement& m, VirtualLoudspeaker& device, const std::string& title) {
    return RunOnVirtualDevice(
        device, &NoticeTo<MlsMeasurement>,
        [&](const std::function<bool()>& pump) { return RunMlsMeasurement(m, pump, title); }, [&] { m.Finish(); });
}

}  // namespace srx
