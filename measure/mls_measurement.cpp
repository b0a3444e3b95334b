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
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

Status MicrophoneCompensation(Measurement& m) { return ApplyMicrophoneCompensation(m); }
Status SecondaryCompensation(Measurement& m) { return ApplySecondaryCompensation(m); }

// Whether the stimulus file already holds what the settings ask for: the
// format and the frame count (order, silences). Its level and shape are
// read back by the recovery, which refuses a sequence that is not this one.
bool StimulusFits(const std::string& path, const MeasurementSettings& ms, uint32_t frames) {
    FilePtr f = OpenForReading(path);
    if (!f) return false;
    WaveFormat format{};
    const uint32_t bytes = ReadWaveHeader(f.get(), format);
    return bytes && format.formatTag == kWaveFormatPcm && format.channels == ms.channels &&
           format.bitsPerSample == ms.bitsPerSample && format.samplesPerSec == ms.sampleRate && format.blockAlign &&
           bytes / format.blockAlign == frames;
}

}  // namespace

MlsCompensationHooks DefaultMlsCompensationHooks() {
    MlsCompensationHooks h;
    h.microphone = &MicrophoneCompensation;
    h.secondary = &SecondaryCompensation;
    h.soundcard = &ApplyMlsSoundcardCompensation;
    return h;
}

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
    const MeasurementSettings& ms = setup_.settings;
    WaveDeviceSettings ds;
    ds.channels = ms.channels;
    ds.bits = ms.bitsPerSample;
    ds.sampleRate = ms.sampleRate;
    WavePrepareHooks checked = hooks;
    const SoundcardCompensationCheck check(ms, checked);
    Status s = WavePrepareMeasurement(owner, ds, int(CompensationStimulus::Mls), false, checked);
    if (!s) return s;
    prepared_ = true;
    WaveSetBufferCount(int(ms.bufferCount));
    return Status::Ok();
}

Status MlsMeasurement::CreateFiles() {
    const MeasurementSettings& ms = setup_.settings;
    std::error_code ec;
    std::filesystem::create_directories(HostPath(setup_.folder), ec);
    const MlsStimulusLevels levels = MlsStimulusLevelsFrom(ms);
    const uint32_t frames = MlsLeadFrames(levels.preSilence, ms.sampleRate) + (AnalysisLength() - 1) +
                            MlsTailFrames(levels.stopDelay, ms.sampleRate);
    const std::string path = HostPath(StimulusFile());
    if (StimulusFits(path, ms, frames)) return Status::Ok();
    const bool preEmphasis = (ms.flags & kMsfMlsPreEmphasis) != 0;
    if (!WriteMlsStimulus(path, Order(), preEmphasis, ms.sampleRate, ms.channels, ms.bitsPerSample, levels))
        return Status::Error(kStrCantCreateStimulus);
    return Status::Ok();
}

Status MlsMeasurement::StartPass(int pass) {
    passFailed_ = false;
    passError_ = Status::Ok();
    const std::string response = HostPath(ResponseFile(pass));
    if (std::find(recorded_.begin(), recorded_.end(), pass) == recorded_.end()) recorded_.push_back(pass);
    if (WaveOpenInput(setup_.inputDevice, response.c_str()) != kWaveOk) return Status::Error(kStrSoundcardBusy);
    if (WaveOpenOutput(setup_.outputDevice, HostPath(StimulusFile()).c_str()) != kWaveOk) {
        WaveCloseInput();
        return Status::Error(kStrCouldntOpenOutFile);
    }
    if (WaveStartDuplex() != kWaveOk) {
        WaveCloseOutput();
        WaveCloseInput();
        return Status::Error(kStrCantRecord);
    }
    passRunning_ = true;
    return Status::Ok();
}

bool MlsMeasurement::OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error) {
    if (message != kWaveMciNotify || !passRunning_) return false;
    WaveHandleNotify(nullptr, message, first, second);
    const bool aborted = first == uintptr_t(kWaveNotifyAborted);
    if (second == kWaveNotifyOutput && aborted) {
        // The engine has closed the input without a notice of its own: the
        // pass ends here, and the cut-short response is worthless.
        passRunning_ = false;
        passError_ = Status::Error(kStrOutputFailed);
        if (error) *error = passError_;
        return true;
    }
    if (aborted) passFailed_ = true;
    if (second != kWaveNotifyInput) return false;
    // The input has ended: the pass is over.
    WaveCloseInput();
    passRunning_ = false;
    if (passFailed_) {
        passError_ = Status::Error(kStrDiskFull);
        if (error) *error = passError_;
    }
    return true;
}

void MlsMeasurement::OwnerNotice(void* owner, unsigned message, uintptr_t first, intptr_t second) {
    if (owner) static_cast<MlsMeasurement*>(owner)->OnNotice(message, first, second);
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
    const std::time_t now = std::time(nullptr);
    if (const std::tm* t = std::localtime(&now)) {
        const int32_t stamp[6] = {t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec};
        std::copy(stamp, stamp + 6, su.dateTime);
    }
    SetText(su.inputDevice, setup_.inputName);
    SetText(su.outputDevice, setup_.outputName);
    su.channels = ms.channels;
    su.bitsPerSample = ms.bitsPerSample;
    su.sampleRate = h.sampleRate;
    su.frequenciesPerOctave = int32_t(FftPointsPerOctave(ms.mlsPerOctave));
    su.sineCycles = -1;
    su.windowLength = ms.mlsWindow;
    su.windowOffset = 0;
    su.sweepTimePerOctave = -1.0;
    su.distance = ms.micDistance;
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
    if (Probe()) {
        m->h.flags |= kMesCompensationContained;
    } else {
        // The card first: the other corrections were measured through a
        // corrected card.
        if (setup_.compensation.soundcard) setup_.compensation.soundcard(*m, ms);
        if (setup_.compensation.microphone) setup_.compensation.microphone(*m);
    }
    if (setup_.compensation.secondary) setup_.compensation.secondary(*m);
    response_ = std::move(m);
    return Status::Ok();
}

void MlsMeasurement::Finish() {
    if (prepared_) {
        WaveShutdown();
        prepared_ = false;
    }
    passRunning_ = false;
    for (int pass : recorded_) std::remove(HostPath(ResponseFile(pass)).c_str());
    recorded_.clear();
}

Status RunMlsMeasurement(MlsMeasurement& m, const std::function<bool()>& pump, const std::string& title) {
    Status s = m.Prepare(&m);
    if (s) s = m.CreateFiles();
    for (int pass = m.FirstPass(); s && pass < m.PassCount(); ++pass) {
        s = m.StartPass(pass);
        while (s && m.PassRunning())
            if (!pump()) s = Status::Error(kStrCantRecord);  // the device stopped short
        if (s) s = m.PassError();                            // an aborted recording
    }
    if (s) s = m.Analyse();
    if (s) s = m.Complete(title);
    if (s) s = m.DoFft();
    return s;
}

Status RunMlsMeasurement(MlsMeasurement& m, VirtualLoudspeaker& device, const std::string& title) {
    WaveDeviceBackend* previous = WaveBackend();
    WaveSetBackend(&device);
    device.SetPacing(VirtualPacing::kManual);
    device.SetOwnerHandler(&MlsMeasurement::OwnerNotice);
    Status s = RunMlsMeasurement(
        m, [&] { return device.Pump() > 0; }, title);
    m.Finish();
    device.Pump();  // the close notices of the shut-down engine
    device.SetOwnerHandler(nullptr);
    WaveSetBackend(previous);
    return s;
}

}  // namespace srx
