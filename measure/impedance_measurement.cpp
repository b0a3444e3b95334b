#include "measure/impedance_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "audio/virtual_device.h"
#include "dsp/frequency_response.h"
#include "measure/mls.h"
#include "measure/sine_analysis.h"
#include "measure/stimulus_files.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

SineStimulusFormat StereoFormat(const MeasurementSettings& ms) {
    SineStimulusFormat f;
    f.rate = ms.sampleRate;
    f.channels = 2;
    f.bits = ms.bitsPerSample;
    f.levelDb = ms.waveformLevelDb;
    f.preSilence = ms.preSilence;
    f.stopDelay = ms.stopDelayPlusOne > 0 ? (double(ms.stopDelayPlusOne) - 1.0) / 1000.0 : 0.0;
    return f;
}

SweepParams StimulusSweep(const ImpedanceParams& p) {
    SweepParams s;
    s.f1 = p.f1;
    s.f2 = p.f2;
    s.timePerOctave = p.timePerOctave;
    return s;
}

}  // namespace

ImpedanceParams ImpedanceMeasurement::Params() const {
    const MeasurementSettings& ms = setup_.settings;
    ImpedanceParams p;
    const double top = MaxAnalysisFrequency(int(std::min<uint32_t>(ms.sampleRate, 768000)));
    p.f1 = ms.impedanceStart;
    p.f2 = std::min(double(ms.impedanceStop), top);
    if (setup_.calibrating && Mls()) p.f1 = 100, p.f2 = top;
    p.f1 = std::min(p.f1, p.f2);
    p.perOctave = int(std::clamp(uint32_t(ms.impedancePerOctave), 1u, 96u));
    p.timePerOctave = ms.impedanceSweepTime;
    p.order = std::clamp(int(ms.impedanceMlsOrder), kMlsMinOrder, kMlsMaxOrder);
    p.windowType = int(ms.impedanceWindowType);
    p.context.boxVersion = int(ms.impedanceBoxVersion);
    p.context.rate = ms.sampleRate;
    p.context.probePhaseCorrection = (ms.moreFlags & kMsf2ProbePhaseCorrection) != 0;
    return p;
}

const char* ImpedanceMeasurement::Base() const { return setup_.calibrating ? kWaveCalImp : kWaveImpedance; }

std::string ImpedanceMeasurement::StimulusFile() const { return StimulusPath(setup_.folder, Base()); }
std::string ImpedanceMeasurement::ResponseFile(int pass) const { return ResponsePath(setup_.folder, Base(), pass); }

std::string ImpedanceMeasurement::CalibrationFile() const {
    if (!setup_.calibrationFile.empty()) return setup_.calibrationFile;
    std::string path;
    ImpedanceCalibrationFileName(setup_.settings, setup_.programFolder, &path);
    return path;
}

int ImpedanceMeasurement::FirstPass() const { return (setup_.settings.flags & kMsfImpedanceWarmUp) ? -1 : 0; }

int ImpedanceMeasurement::PassCount() const {
    return setup_.calibrating ? 2 : int(std::clamp(uint32_t(setup_.settings.impedancePreAverages), 1u, 16u));
}

Status ImpedanceMeasurement::Prepare(void* owner, const WavePrepareHooks& hooks) {
    return recorder_.Prepare(owner, setup_.settings, CompensationStimulus::Sweep, hooks, true);
}

Status ImpedanceMeasurement::CreateFiles() {
    std::error_code ec;
    std::filesystem::create_directories(HostPath(setup_.folder), ec);
    const MeasurementSettings& ms = setup_.settings;
    const std::string path = HostPath(StimulusFile());
    if (Mls()) {
        if (!WriteMlsStimulus(path, Params().order, false, ms.sampleRate, 2, ms.bitsPerSample,
                              MlsStimulusLevelsFrom(ms)))
            return Status::Error(kStrCantCreateStimulus);
        return Status::Ok();
    }
    return WriteSweepStimulus(path, StimulusSweep(Params()), StereoFormat(ms));
}

Status ImpedanceMeasurement::StartPass(int pass) {
    return recorder_.StartPass(setup_.inputDevice, setup_.outputDevice, ResponseFile(pass), StimulusFile());
}

Status ImpedanceMeasurement::Analyse() {
    result_.reset();
    factor_ = 0;
    calibrated_ = false;
    clipped_ = false;
    const MeasurementSettings& ms = setup_.settings;
    ImpedanceParams p = Params();
    ImpedanceCalibration table;
    // A file of one's own is taken whatever setting wrote it.
    const std::string expected = setup_.calibrationFile.empty() ? ImpedanceSettingLine(ms) : std::string();
    if (!setup_.calibrating && ReadImpedanceCalibration(HostPath(CalibrationFile()), table, expected)) {
        p.context.table = &table;
        calibrated_ = true;
    }
    const double preSilence = StereoFormat(ms).preSilence;
    std::vector<std::unique_ptr<Measurement>> passes;
    for (int pass = 0; pass < PassCount(); ++pass) {
        std::unique_ptr<Measurement> curve;
        Status s;
        bool clipped = false;
        if (Mls()) {
            s = AnalyseImpedanceMls(HostPath(ResponseFile(pass)), HostPath(StimulusFile()), preSilence, p, curve,
                                    &clipped);
        } else {
            Recording r;
            s = ReadRecording(HostPath(ResponseFile(pass)), preSilence, true, false, false, r);
            clipped = r.clipped;
            if (s) s = AnalyseImpedanceSweep(r, 0, p, curve);
        }
        clipped_ = clipped_ || clipped;
        if (!s) return s;
        passes.push_back(std::move(curve));
    }
    std::vector<const Measurement*> list;
    for (const auto& c : passes) list.push_back(c.get());
    result_ = AverageImpedancePasses(list);
    if (!result_) return Status::Error(kStrCantAnalyseMemory);
    if (!setup_.calibrating) return Status::Ok();
    return WriteImpedanceCalibration(HostPath(CalibrationFile()), *result_, setup_.calibrationResistor,
                                     ImpedanceSettingLine(ms), &factor_);
}

Status ImpedanceMeasurement::Complete(const std::string& title) {
    if (!result_) return Status::Error(kStrLevelTooLow);
    Measurement& m = *result_;
    const MeasurementSettings& ms = setup_.settings;
    SetText(m.h.title, title);
    m.h.curveKind = kCurveImpedance;
    m.h.method = 0;
    m.h.flags |= kMesPhase;
    if (Mls()) m.h.flags |= kMesImpedanceMls;
    m.h.preAverages = PassCount();
    m.h.windowType = Mls() ? int32_t(ms.impedanceWindowType) : 0;
    m.h.tsBlock[0] = setup_.revc > 0 ? setup_.revc : 0.0;  // Re of the T/S block
    MeasurementSetup& su = m.h.setup;
    FillMeasurementSetup(su, ms, setup_.inputName, setup_.outputName);
    su.channels = 2;
    su.frequenciesPerOctave = Params().perOctave;
    su.sineCycles = -1;
    su.sweepTimePerOctave = Mls() ? -1.0 : ms.impedanceSweepTime;
    su.mlsLengthShown = Mls() ? int32_t((1u << Params().order) - 1) : 0;
    return Status::Ok();
}

void ImpedanceMeasurement::Finish() {
    recorder_.Finish();
    // A calibration's stimulus is its own: nothing else reuses it.
    if (setup_.calibrating) std::remove(HostPath(StimulusFile()).c_str());
}

bool ParseTypedOhms(const std::string& text, double& ohms) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end || !std::isfinite(v)) return false;
    ohms = v;
    return true;
}

Status RunImpedanceMeasurement(ImpedanceMeasurement& m, VirtualLoudspeaker& device, const std::string& title) {
    return RunOnVirtualDevice(
        device, &NoticeTo<ImpedanceMeasurement>,
        [&](const std::function<bool()>& pump) {
            Status s = PrepareAndRecord(m, pump);
            if (s) s = m.Analyse();
            if (s) s = m.Complete(title);
            return s;
        },
        [&] { m.Finish(); });
}

}  // namespace srx
