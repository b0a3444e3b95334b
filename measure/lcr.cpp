#include "measure/lcr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "audio/virtual_device.h"
#include "dsp/fft.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "measure/stimulus_files.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr int kMaxLcrOrder = 24;
// A phase this close to 0 (rad) shows as a pure resistance, as the read-out
// rounds it.
const double kZeroPhase = 0.01 * kPi / 180;

std::string CalibrationBase(double f) {
    char base[64];
    std::snprintf(base, sizeof base, "%s%.2lf", kWaveCalImp, f);
    return base;
}

void Remove(const std::string& programPath) {
    std::error_code ec;
    std::filesystem::remove(HostPath(programPath), ec);
}

}  // namespace

Status AnalyseLcrResponse(const std::string& responsePath, double f, int periods, double preSilence,
                          const ImpedanceContext& context, LcrReading& out, bool* clipped) {
    out = {};
    if (clipped) *clipped = false;
    if (!std::isfinite(f) || !(f > 0) || periods < 1 || periods > 1000) return Status::Error(kStrLcrFailed);
    Recording r;
    Status s = ReadRecording(responsePath, preSilence, true, false, false, r);
    if (!s) return s;
    if (clipped) *clipped = r.clipped;
    if (!(f < r.rate / 2.0)) return Status::Error(kStrLcrFailed);
    // Enough points for the tone and the converters' delay, and bins no
    // wider than f.
    const double wanted = RoundHalfAway(r.rate * periods / f) + RoundHalfAway(r.rate * 32.0 / 44100.0) + 1;
    int order = 12;
    while (order < kMaxLcrOrder && std::ldexp(1.0, order) <= wanted) ++order;
    while (order < kMaxLcrOrder && r.rate / std::ldexp(1.0, order) > f) ++order;
    const int64_t n = int64_t(1) << order;
    double dc0 = 0, dc1 = 0;
    FindStimulusArrival(r.c0, r.rate, f, &dc0);
    // Both channels from the current channel's arrival: read from their
    // own, they would differ by the detection (tens of degrees), not by
    // the load.
    const int64_t start = FindStimulusArrival(r.c1, r.rate, f, &dc1);
    const int64_t usable = int64_t(r.c0.size()) - start;
    if (usable < 8 || r.c1.size() != r.c0.size()) return Status::Error(kStrLcrFailed);
    const int64_t count = std::min(usable, n);
    std::vector<std::complex<double>> ratio;
    try {
        std::vector<float> buf[2];
        for (int c = 0; c < 2; ++c) {
            const std::vector<double>& x = c == 0 ? r.c0 : r.c1;
            const double dc = c == 0 ? dc0 : dc1;
            buf[c].assign(size_t(2 * n), 0.0f);
            for (int64_t i = std::max<int64_t>(0, -start); i < count; ++i)
                buf[c][size_t(2 * i)] = float(x[size_t(start + i)] - dc);
            Fft(buf[c].data(), order, 1);
        }
        ratio = ChannelRatios(buf[0], buf[1], order, r.rate, {f});
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrCantAnalyseMemory);
    }
    double z = 0, phase = 0;
    if (!ImpedanceFromChannels(std::norm(ratio[0]), std::arg(ratio[0]), 1, 0, f, context, &z, &phase))
        return Status::Error(kStrLcrFailed);
    out = LcrFromImpedance(f, z, phase);
    return Status::Ok();
}

LcrReading LcrFromImpedance(double f, double z, double phase) {
    LcrReading m;
    m.frequency = f, m.z = z, m.phase = phase;
    const double x = z * std::sin(phase), w = 2 * kPi * f;
    m.r = z * std::cos(phase);
    if (phase >= kZeroPhase) {
        m.hasL = true;
        m.l = x / w;
    } else if (phase <= -kZeroPhase) {
        m.hasC = true;
        m.c = -1 / (w * x);
    }
    return m;
}

std::string FormatLcrValue(double value, LcrQuantity q) {
    static const char* const kInductance[] = {"H", "mH", "uH", "nH"};
    static const char* const kCapacitance[] = {"F", "mF", "uF", "nF"};
    static const char* const kResistance[] = {"Ohm", "kOhm", "MOhm"};
    const double size = std::fabs(value);
    double shown = value;
    const char* unit = "";
    if (q == LcrQuantity::kResistance) {
        const int u = size >= 1e6 ? 2 : size >= 1000 ? 1 : 0;
        shown = value * (u == 2 ? 1e-6 : u == 1 ? 1e-3 : 1.0);
        unit = kResistance[u];
    } else {
        // Below 1e-10 there is no smaller unit: the nano unit shows it.
        const int u = size >= 0.1 ? 0 : size >= 1e-4 ? 1 : size >= 1e-7 ? 2 : 3;
        shown = value * (u == 0 ? 1.0 : u == 1 ? 1e3 : u == 2 ? 1e6 : 1e9);
        unit = (q == LcrQuantity::kInductance ? kInductance : kCapacitance)[u];
    }
    char text[96];
    std::snprintf(text, sizeof text, "%.4lf %s", shown, unit);
    return text;
}

std::string LcrCalibrationName(const MeasurementSettings& ms) {
    char name[128];
    std::snprintf(name, sizeof name, "LCR_%d%d%d%d%d.icf", int(ms.sampleRate / 1000), int(ms.bitsPerSample),
                  int(ms.outputDevice), int(ms.inputDevice), int(ms.impedanceBoxVersion));
    return name;
}

std::vector<double> LcrCalibrationFrequencies(uint32_t rate) {
    const double top = MaxAnalysisFrequency(int(std::min<uint32_t>(rate, 768000)));
    std::vector<double> out;
    if (!(top >= kLcrMinFrequency)) return out;
    for (int k = 0;; ++k) {
        const double f = std::min(kLcrMinFrequency * std::exp2(k / 6.0), top);
        out.push_back(f);
        if (f >= top) break;
    }
    return out;
}

LcrMeter::LcrMeter(LcrSetup setup) : setup_(std::move(setup)) {
    calFrequencies_ = LcrCalibrationFrequencies(setup_.settings.sampleRate);
}

SineStimulusFormat LcrMeter::Format() const {
    const MeasurementSettings& ms = setup_.settings;
    SineStimulusFormat f;
    f.rate = ms.sampleRate;
    f.channels = 2;
    f.bits = ms.bitsPerSample;
    f.levelDb = ms.waveformLevelDb;
    f.preSilence = ms.preSilence;
    f.stopDelay = ms.stopDelayPlusOne > 0 ? (double(ms.stopDelayPlusOne) - 1.0) / 1000.0 : 0.0;
    return f;
}

ImpedanceContext LcrMeter::Context() const {
    const MeasurementSettings& ms = setup_.settings;
    ImpedanceContext c;
    c.boxVersion = int(ms.impedanceBoxVersion);
    c.rate = ms.sampleRate;
    c.probePhaseCorrection = (ms.moreFlags & kMsf2ProbePhaseCorrection) != 0;
    return c;
}

std::string LcrMeter::CalibrationStimulus(size_t index) const {
    return StimulusPath(setup_.folder, CalibrationBase(calFrequencies_[index]).c_str());
}
std::string LcrMeter::CalibrationResponse(size_t index) const {
    return ResponsePath(setup_.folder, CalibrationBase(calFrequencies_[index]).c_str());
}

std::string LcrMeter::CalibrationFile() const {
    if (!setup_.calibrationFile.empty()) return setup_.calibrationFile;
    return HostPath(InProgramFolder(setup_.programFolder, LcrCalibrationName(setup_.settings).c_str()));
}

bool LcrMeter::Calibrated() const {
    ImpedanceCalibration table;
    return ReadImpedanceCalibration(CalibrationFile(), table,
                                    setup_.calibrationFile.empty() ? ImpedanceSettingLine(setup_.settings) : "");
}

double LcrMeter::TopFrequency() const {
    return MaxAnalysisFrequency(int(std::min<uint32_t>(setup_.settings.sampleRate, 768000)));
}

Status LcrMeter::CheckFrequency(double f) const {
    const double top = TopFrequency();
    if (!std::isfinite(f) || f < kLcrMinFrequency || f > top)
        return Status::Error(kStrLcrInterval, {std::to_string(long(kLcrMinFrequency)), std::to_string(long(top))});
    return Status::Ok();
}

Status LcrMeter::Prepare(void* owner, const WavePrepareHooks& hooks) {
    // Old files of the meter go first: a stale tone would be played.
    Remove(StimulusPath(setup_.folder, kWaveLcr));
    Remove(ResponsePath(setup_.folder, kWaveLcr));
    std::error_code ec;
    std::filesystem::create_directories(HostPath(setup_.folder), ec);
    if (!std::filesystem::is_directory(HostPath(setup_.folder), ec)) return Status::Error(kStrCantCreateStimulus);
    return recorder_.Prepare(owner, setup_.settings, CompensationStimulus::Sweep, hooks, true);
}

Status LcrMeter::CreateTone(double f) {
    if (Status s = CheckFrequency(f); !s) return s;
    const std::string path = StimulusPath(setup_.folder, kWaveLcr);
    Remove(path);
    return WriteToneStimulus(HostPath(path), f, kLcrPeriods / f, Format());
}

Status LcrMeter::StartReading() {
    clipped_ = false;
    return recorder_.StartPass(setup_.inputDevice, setup_.outputDevice, ResponsePath(setup_.folder, kWaveLcr),
                               StimulusPath(setup_.folder, kWaveLcr));
}

Status LcrMeter::AnalyseReading(double f, LcrReading& out) {
    ImpedanceContext c = Context();
    ImpedanceCalibration table;
    if (Calibrated() && ReadImpedanceCalibration(CalibrationFile(), table)) c.table = &table;
    return AnalyseLcrResponse(HostPath(ResponsePath(setup_.folder, kWaveLcr)), f, kLcrPeriods,
                              Format().preSilence, c, out, &clipped_);
}

Status LcrMeter::CreateCalibrationTone(size_t index) {
    if (index >= calFrequencies_.size()) return Status::Error(kStrCantCreateStimulus);
    if (index == 0) {
        calCurve_ = NewMeasurement(kCurveImpedance);
        clipped_ = false;
        if (!calCurve_) return Status::Error(kStrOutOfMemory);
    }
    const double f = calFrequencies_[index];
    return WriteToneStimulus(HostPath(CalibrationStimulus(index)), f, kLcrPeriods / f, Format());
}

Status LcrMeter::StartCalibration(size_t index) {
    if (index >= calFrequencies_.size()) return Status::Error(kStrCantCreateStimulus);
    return recorder_.StartPass(setup_.inputDevice, setup_.outputDevice, CalibrationResponse(index),
                               CalibrationStimulus(index));
}

Status LcrMeter::AnalyseCalibration(size_t index) {
    if (index >= calFrequencies_.size() || !calCurve_) return Status::Error(kStrLcrFailed);
    LcrReading r;
    bool clipped = false;
    const double f = calFrequencies_[index];
    Status s = AnalyseLcrResponse(HostPath(CalibrationResponse(index)), f, kLcrPeriods, Format().preSilence,
                                  Context(), r, &clipped);
    clipped_ = clipped_ || clipped;
    Remove(CalibrationStimulus(index));
    if (!s) return Status::Error(kStrLcrFailed);
    if (!AddCurvePoint(*calCurve_, f, r.z, r.phase, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                       kNoLevel, kNoLevel, kNoLevel))
        return Status::Error(kStrOutOfMemory);
    return Status::Ok();
}

Status LcrMeter::WriteCalibration(double resistor, double* meanFactor) {
    if (!std::isfinite(resistor) || !(resistor > 0) || resistor > kLcrMaxResistor)
        return Status::Error(kStrLcrResistor);
    // Every frequency or none: a table with holes would be interpolated
    // across them.
    if (!calCurve_ || calCurve_->points.size() != calFrequencies_.size()) return Status::Error(kStrLcrFailed);
    return WriteImpedanceCalibration(CalibrationFile(), *calCurve_, resistor, ImpedanceSettingLine(setup_.settings),
                                     meanFactor);
}

void LcrMeter::Finish() {
    recorder_.Finish();
    Remove(StimulusPath(setup_.folder, kWaveLcr));
    Remove(ResponsePath(setup_.folder, kWaveLcr));
    for (size_t i = 0; i < calFrequencies_.size(); ++i) Remove(CalibrationStimulus(i));
}

Status RunLcrReading(LcrMeter& m, VirtualLoudspeaker& device, double f, LcrReading& out) {
    return RunOnVirtualDevice(
        device, &NoticeTo<LcrMeter>,
        [&](const std::function<bool()>& pump) {
            Status s = m.Prepare(&m);
            if (s) s = m.CreateTone(f);
            if (s)
                s = RecordPasses(0, 1,
                                 {[&](int) { return m.StartReading(); }, [&] { return m.PassRunning(); },
                                  [&] { return m.PassError(); }},
                                 pump);
            if (s) s = m.AnalyseReading(f, out);
            return s;
        },
        [&] { m.Finish(); });
}

Status RunLcrCalibration(LcrMeter& m, VirtualLoudspeaker& device, double resistor, double* meanFactor) {
    if (!std::isfinite(resistor) || !(resistor > 0) || resistor > kLcrMaxResistor)
        return Status::Error(kStrLcrResistor);
    return RunOnVirtualDevice(
        device, &NoticeTo<LcrMeter>,
        [&](const std::function<bool()>& pump) {
            Status s = m.Prepare(&m);
            const size_t count = m.CalibrationFrequencies().size();
            for (size_t i = 0; s && i < count; ++i) {
                s = m.CreateCalibrationTone(i);
                if (s)
                    s = RecordPasses(0, 1,
                                     {[&](int) { return m.StartCalibration(i); }, [&] { return m.PassRunning(); },
                                      [&] { return m.PassError(); }},
                                     pump);
                if (s) s = m.AnalyseCalibration(i);
            }
            if (s) s = m.WriteCalibration(resistor, meanFactor);
            return s;
        },
        [&] { m.Finish(); });
}

}  // namespace srx
