#include "measure/duplex_passes.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "audio/virtual_device.h"
#include "data/records.h"
#include "measure/compensation_settings.h"
#include "measure/soundcard_compensation.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

Status MicrophoneCompensation(Measurement& m) { return ApplyMicrophoneCompensation(m); }
Status SecondaryCompensation(Measurement& m) { return ApplySecondaryCompensation(m); }

}  // namespace

CompensationHooks DefaultCompensationHooks() {
    CompensationHooks h;
    h.microphone = &MicrophoneCompensation;
    h.secondary = &SecondaryCompensation;
    h.soundcard = &ApplySettingsSoundcardCompensation;
    return h;
}

void ApplyCompensations(Measurement& m, const CompensationHooks& hooks, const MeasurementSettings& ms,
                        CompensationStimulus kind, bool probe) {
    if (probe) {
        m.h.flags |= kMesCompensationContained;
    } else {
        if (hooks.soundcard) hooks.soundcard(m, ms, kind);
        if (hooks.microphone) hooks.microphone(m);
    }
    if (hooks.secondary) hooks.secondary(m);
}

Status DuplexPasses::Prepare(void* owner, const MeasurementSettings& ms, CompensationStimulus kind,
                             const WavePrepareHooks& hooks, bool impedance) {
    WaveDeviceSettings ds;
    ds.channels = impedance ? 2 : ms.channels;
    ds.bits = ms.bitsPerSample;
    ds.sampleRate = ms.sampleRate;
    WavePrepareHooks checked = hooks;
    const SoundcardCompensationCheck check(ms, checked);
    Status s = WavePrepareMeasurement(owner, ds, impedance ? -1 : int(kind), impedance, checked);
    if (!s) return s;
    prepared_ = true;
    WaveSetBufferCount(int(ms.bufferCount));
    return Status::Ok();
}

Status DuplexPasses::StartPass(int inputDevice, int outputDevice, const std::string& response,
                               const std::string& stimulus) {
    passFailed_ = false;
    passError_ = Status::Ok();
    if (std::find(recorded_.begin(), recorded_.end(), response) == recorded_.end()) recorded_.push_back(response);
    if (WaveOpenInput(inputDevice, HostPath(response).c_str()) != kWaveOk) return Status::Error(kStrSoundcardBusy);
    if (WaveOpenOutput(outputDevice, HostPath(stimulus).c_str()) != kWaveOk) {
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

bool DuplexPasses::OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error) {
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

void DuplexPasses::Finish() {
    if (prepared_) {
        WaveShutdown();
        prepared_ = false;
    }
    passRunning_ = false;
    for (const std::string& response : recorded_) std::remove(HostPath(response).c_str());
    recorded_.clear();
}

void FillMeasurementSetup(MeasurementSetup& su, const MeasurementSettings& ms, const std::string& inputName,
                          const std::string& outputName) {
    const std::time_t now = std::time(nullptr);
    if (const std::tm* t = std::localtime(&now)) {
        const int32_t stamp[6] = {t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec};
        std::copy(stamp, stamp + 6, su.dateTime);
    }
    SetText(su.inputDevice, inputName);
    SetText(su.outputDevice, outputName);
    su.channels = ms.channels;
    su.bitsPerSample = ms.bitsPerSample;
    su.sampleRate = int32_t(ms.sampleRate);
    su.distance = ms.micDistance;
}

Status RecordPasses(int first, int count, const PassSteps& steps, const std::function<bool()>& pump) {
    Status s;
    for (int pass = first; s && pass < count; ++pass) {
        s = steps.start(pass);
        while (s && steps.running())
            if (!pump()) s = Status::Error(kStrCantRecord);  // the device stopped short
        if (s) s = steps.error();                            // an aborted recording
    }
    return s;
}

Status RunOnVirtualDevice(VirtualLoudspeaker& device,
                          void (*handler)(void* owner, unsigned message, uintptr_t first, intptr_t second),
                          const std::function<Status(const std::function<bool()>& pump)>& run,
                          const std::function<void()>& finish) {
    WaveDeviceBackend* previous = WaveBackend();
    WaveSetBackend(&device);
    device.SetPacing(VirtualPacing::kManual);
    device.SetOwnerHandler(handler);
    Status s = run([&] { return device.Pump() > 0; });
    finish();
    device.Pump();  // the close notices of the shut-down engine
    device.SetOwnerHandler(nullptr);
    WaveSetBackend(previous);
    return s;
}

}  // namespace srx
