#include "measure/soundcard_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "audio/wave_file.h"
#include "measure/stimulus_files.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr double kTwoPi = 6.28318530717958647692;

using File = FilePtr;

int DeviceId(int word) { return WaveDeviceIdFromSetting(word); }

double StopDelaySeconds(const MeasurementSettings& ms) {
    const uint32_t plusOne = ms.stopDelayPlusOne ? ms.stopDelayPlusOne : 1;
    return (plusOne - 1) / 1000.0 + 0.024;
}

}  // namespace

WaveDeviceSettings DeviceSettingsOf(const MeasurementSettings& ms) {
    WaveDeviceSettings d;
    d.outputDevice = int(ms.outputDevice);
    d.inputDevice = int(ms.inputDevice);
    d.channels = ms.channels;
    d.bits = ms.bitsPerSample;
    d.sampleRate = ms.sampleRate;
    return d;
}

MixerSettings MixerSettingsOf(const MeasurementSettings& ms) {
    MixerSettings m;
    m.inputSource = ms.inputSource;
    m.inDevice = DeviceId(int(ms.inputDevice));
    m.outDevice = DeviceId(int(ms.outputDevice));
    m.dontMuteInput = (ms.flags & kMsfDontMuteInput) != 0;
    m.dontResetToneControls = (ms.moreFlags & kMsf2DontResetToneControls) != 0;
    return m;
}

uint64_t DuplexRunPlan::StimulusFrames() const {
    const double seconds = std::max(0.0, leadSeconds) + std::max(0.0, toneSeconds) + std::max(0.0, tailSeconds);
    return uint64_t(std::llround(seconds * devices.sampleRate));
}

DuplexRunPlan CardTestPlan(const MeasurementSettings& ms, const std::string& folder) {
    DuplexRunPlan p;
    p.devices = DeviceSettingsOf(ms);
    p.stimulusPath = StimulusPath(folder, kWaveInit);
    p.responsePath = ResponsePath(folder, kWaveInit);
    p.leadSeconds = 0.25;
    p.tailSeconds = StopDelaySeconds(ms);
    return p;
}

DuplexRunPlan SplCalibrationPlan(const MeasurementSettings& ms, const std::string& folder) {
    DuplexRunPlan p;
    p.devices = DeviceSettingsOf(ms);
    p.stimulusPath = StimulusPath(folder, kWaveCalSpl);
    p.responsePath = ResponsePath(folder, kWaveCalSpl);
    p.leadSeconds = 0.1;
    p.toneSeconds = 0.5;
    p.toneFrequency = 1000;
    const double level = ms.waveformLevelDb;  // packed: by value
    p.toneLevelDb = std::min(0.0, level);
    p.tailSeconds = StopDelaySeconds(ms);
    return p;
}

bool WriteDuplexStimulus(const DuplexRunPlan& plan) {
    const WaveDeviceSettings& d = plan.devices;
    if (d.sampleRate == 0 || (d.channels != 1 && d.channels != 2) || (d.bits != 16 && d.bits != 24)) return false;
    const uint64_t frames = plan.StimulusFrames();
    if (frames == 0 || frames > 0x7FFFFFFF / 8) return false;
    SafeFileWriter f(plan.stimulusPath);
    if (!f.IsOpen()) return false;
    bool ok = WriteWaveHeader(f.get(), uint32_t(frames), d.sampleRate, uint16_t(d.channels), uint16_t(d.bits));
    const uint64_t toneFrom = uint64_t(std::llround(plan.leadSeconds * d.sampleRate));
    const uint64_t toneTo = toneFrom + uint64_t(std::llround(std::max(0.0, plan.toneSeconds) * d.sampleRate));
    const double peak = std::pow(10.0, std::min(0.0, plan.toneLevelDb) / 20) * 2147483647.0;
    for (uint64_t i = 0; ok && i < frames; ++i) {
        int32_t v = 0;
        if (i >= toneFrom && i < toneTo)
            v = int32_t(
                std::lround(peak * std::sin(kTwoPi * plan.toneFrequency * double(i - toneFrom) / d.sampleRate)));
        ok = WriteSampleFrame(f.get(), v, v, d.channels, d.bits);
    }
    return ok && f.Commit();
}

namespace {

// Channel 0 of a recorded file at full scale 1; empty when unreadable.
std::vector<double> ReadChannel0(const std::string& path, double& rate) {
    std::vector<double> out;
    File f = OpenForReading(path);
    if (!f) return out;
    WaveFormat format{};
    const uint32_t bytes = ReadWaveHeader(f.get(), format);
    if (bytes == 0 || !IsPlausibleWaveFormat(format) || format.samplesPerSec == 0) return out;
    rate = format.samplesPerSec;
    const uint64_t frames = bytes / format.blockAlign;
    out.reserve(frames);
    for (uint64_t i = 0; i < frames; ++i) {
        out.push_back(ReadSampleReal(f.get(), format));
        for (int ch = 1; ch < format.channels; ++ch) ReadSampleReal(f.get(), format);
        if (std::feof(f.get())) {
            out.pop_back();
            break;
        }
    }
    return out;
}

// Amplitude of `frequency` over a whole number of periods from `first`.
double AmplitudeAt(const std::vector<double>& x, double rate, double frequency, uint64_t first, double seconds) {
    const double periods = std::floor(seconds * frequency);
    const uint64_t count = uint64_t(std::llround(periods * rate / frequency));
    if (periods < 1 || first + count > x.size()) return 0;
    double s = 0, c = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const double phase = kTwoPi * frequency * double(i) / rate;
        s += x[first + i] * std::sin(phase);
        c += x[first + i] * std::cos(phase);
    }
    return 2.0 * std::sqrt(s * s + c * c) / double(count);
}

}  // namespace

double ToneAmplitudeInFile(const std::string& path, double frequency, double fromSeconds, double toSeconds) {
    double rate = 0;
    const std::vector<double> x = ReadChannel0(path, rate);
    if (x.empty()) return 0;
    return AmplitudeAt(x, rate, frequency, uint64_t(std::max(0.0, fromSeconds) * rate), toSeconds - fromSeconds);
}

double StrongestToneInFile(const std::string& path, double frequency, double windowSeconds) {
    double rate = 0;
    const std::vector<double> x = ReadChannel0(path, rate);
    if (x.empty()) return 0;
    const uint64_t step = std::max<uint64_t>(1, uint64_t(rate / 50));  // 20 ms
    double best = 0;
    for (uint64_t first = 0; first + uint64_t(windowSeconds * rate) <= x.size(); first += step)
        best = std::max(best, AmplitudeAt(x, rate, frequency, first, windowSeconds));
    return best;
}

int DuplexRun::Start(void* owner, const DuplexRunPlan& plan) {
    if (running_) return kWaveFailed;
    plan_ = plan;
    failure_ = 0;
    aborted_ = false;
    recordedFrames_ = 0;
    toneAmplitude_ = 0;
    if (plan.devices.sampleRate == 0) return failure_ = kStrNotConfigured;
    if (!WriteDuplexStimulus(plan)) return failure_ = kStrCantCreateStimulus;
    const auto fail = [&](int id) {
        WaveCloseInput();
        WaveCloseOutput();
        WaveShutdown();
        if (!keepFiles_) {
            std::remove(plan_.stimulusPath.c_str());
            std::remove(plan_.responsePath.c_str());
        }
        return failure_ = id;
    };
    if (WaveInit(owner) != kWaveOk) {
        std::remove(plan_.stimulusPath.c_str());
        return failure_ = kWaveMessageShown;
    }
    const WaveDeviceSettings& d = plan.devices;
    WaveSetRecordFormat(d.bits, d.channels, d.sampleRate);
    const WaveBufferPair sizes = WaveBufferSizesFor(d.channels, d.bits, d.sampleRate);
    WaveSetInputBufferSize(sizes.input);
    WaveSetOutputBufferSize(sizes.output);
    int r = WaveOpenInput(DeviceId(d.inputDevice), plan.responsePath.c_str());
    if (r != kWaveOk) return fail(r == kWaveFailed ? kStrCouldntOpenOutFile : kStrSoundcardBusy);
    r = WaveOpenOutput(DeviceId(d.outputDevice), plan.stimulusPath.c_str());
    if (r != kWaveOk) return fail(r == kWaveFailed ? kStrCouldntOpenOutFile : kStrSoundcardBusy);
    if (WaveStartDuplex() != kWaveOk) return fail(kStrCantRecord);
    running_ = true;
    return 0;
}

bool DuplexRun::OnNotify(unsigned message, uintptr_t first, intptr_t second) {
    if (!running_ || message != kWaveMciNotify) return false;
    WaveHandleNotify(nullptr, message, first, second);
    if (first == uintptr_t(kWaveNotifyAborted)) aborted_ = true;
    // The input ends last when all goes well; an abort closes it at once,
    // and a closed input sends nothing more.
    if (second == kWaveNotifyInput || !WaveGetState().inputOpen) {
        Finish(aborted_ ? (second == kWaveNotifyInput ? kStrDiskFull : kStrCantRecord) : 0);
        return true;
    }
    return false;
}

void DuplexRun::Abort() {
    if (running_) Finish(kStrCantRecord);
}

void DuplexRun::Finish(int failure) {
    running_ = false;
    WaveCloseInput();
    WaveCloseOutput();
    WaveShutdown();
    if (!failure) {
        File f = OpenForReading(plan_.responsePath);
        WaveFormat format{};
        const uint32_t bytes = f ? ReadWaveHeader(f.get(), format) : 0;
        recordedFrames_ = bytes && IsPlausibleWaveFormat(format) ? bytes / format.blockAlign : 0;
        f.reset();
        // Recording runs from before the first output sample to after the
        // last, so it holds at least the stimulus; far less means the input
        // delivered (almost) nothing.
        if (recordedFrames_ * 2 < plan_.StimulusFrames()) failure = kStrCantRecord;
    }
    if (!failure && plan_.toneSeconds > 0) {
        // The latency of the card (or of a sound server) is not known: the
        // window that holds the tone best is the one inside it.
        toneAmplitude_ = StrongestToneInFile(plan_.responsePath, plan_.toneFrequency, plan_.toneSeconds / 2);
    }
    if (!keepFiles_) {
        std::remove(plan_.stimulusPath.c_str());
        std::remove(plan_.responsePath.c_str());
    }
    failure_ = failure;
}

double DuplexRun::ToneGain() const { return toneAmplitude_ / std::pow(10.0, std::min(0.0, plan_.toneLevelDb) / 20); }

double SplCalibrationOffset(double splReading, double chainGain) { return splReading - 20 * std::log10(chainGain); }

StartupSoundcard ChooseStartupSoundcard(const MeasurementSettings& ms, const WaveDeviceBackend& devices,
                                        int virtualId) {
    if (devices.DeviceCount(WaveDirection::kInput) == 0) return StartupSoundcard::kNoInput;
    if (ms.sampleRate != 0 && ms.channels >= 1) return StartupSoundcard::kCardTest;
    const int real = virtualId >= 0 ? virtualId
                                    : std::max(devices.DeviceCount(WaveDirection::kOutput),
                                               devices.DeviceCount(WaveDirection::kInput));
    for (int id = 0; id < real; ++id)
        if (!devices.DeviceName(WaveDirection::kOutput, id).empty() &&
            !devices.DeviceName(WaveDirection::kInput, id).empty())
            return StartupSoundcard::kOpenSettings;
    return virtualId >= 0 ? StartupSoundcard::kUseVirtual : StartupSoundcard::kOpenSettings;
}

void ConfigureVirtualLoudspeaker(MeasurementSettings& ms, int virtualId) {
    ms.outputDevice = ms.inputDevice = uint32_t(virtualId + 1);
    ms.sampleRate = 44100;
    ms.bitsPerSample = 16;
    ms.channels = 2;
}

}  // namespace srx
