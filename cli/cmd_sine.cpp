// sonrix-cli's gated sine and sweep: measured headless on the virtual
// loudspeaker, stimuli written, recordings analysed, distortion of a file;
// summarised as JSON, with the measurement's accuracy against the
// simulation's truth.
#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include <unistd.h>

#include "audio/virtual_device.h"
#include "cli/commands.h"
#include "data/native_files.h"
#include "dsp/numeric.h"
#include "measure/sine_measurement.h"
#include "measure/wave_input.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

double Round(double v, double unit) { return std::round(v / unit) * unit; }

SineMeasurementSetup SetupFrom(const SineOptions& o) {
    SineMeasurementSetup setup;
    setup.kind = o.kind == "sweep" ? SineKind::kSweep : SineKind::kGated;
    MeasurementSettings& ms = setup.settings;
    ResetMeasurementDefaults(ms);
    ms.sampleRate = uint32_t(o.rate);
    ms.bitsPerSample = uint16_t(o.bits);
    ms.channels = o.probe ? 2 : 1;
    if (o.probe) ms.flags |= kMsfProbeCompensation;
    if (o.reverse) ms.flags |= kMsfReverseSweep;
    ms.waveformLevelDb = o.level;
    ms.fftWindowType = uint32_t(o.window);
    ms.gatedStart = ms.sweepStart = o.start;
    ms.gatedStop = ms.sweepStop = o.stop;
    ms.gatedPerOctave = ms.sweepPerOctave = uint32_t(o.ppo);
    ms.gatedPreAverages = ms.sweepPreAverages = uint32_t(o.passes);
    if (o.time > 0) (setup.kind == SineKind::kSweep ? ms.sweepTimePerOctave : ms.timeWindow) = o.time;
    setup.compensation = {};
    setup.inputName = setup.outputName = kVirtualDeviceName;
    setup.outputDevice = setup.inputDevice = 0;
    return setup;
}

// The result's distortion and its points as JSON.
void Describe(Json& out, const Measurement& m) {
    out["points"] = Value(m.h.pointCount);
    out["firstFrequency"] = Value(m.h.firstFrequency);
    out["lastFrequency"] = Value(m.h.lastFrequency);
    if (m.h.flags & kMesDistortion) {
        out["thdPercent"] = Round(m.distortionDerived, 1e-5);
        Json maxima = Json::object();
        for (int k = 2; k <= 10; ++k) maxima["H" + std::to_string(k)] = Round(m.harmonicMaxPercent[k - 2], 1e-5);
        out["harmonicMaxPercent"] = maxima;
    }
}

// How far the result lies from the simulation over [from, to]: the level's
// shape (both curves taken to 0 dB at the point nearest 1 kHz) and the
// phase with the latency's delay added back.
Json ModelErrors(const Measurement& m, const VirtualTruth& truth, double from, double to) {
    const CurvePoint* ref = nullptr;
    for (const CurvePoint& p : m.points)
        if (!ref || std::fabs(std::log(p.frequency / 1000.0)) < std::fabs(std::log(ref->frequency / 1000.0))) ref = &p;
    if (!ref) return nullptr;
    const double refTruth = 20 * std::log10(std::abs(truth.Response(ref->frequency)));
    double level = 0, phase = 0;
    for (const CurvePoint& p : m.points) {
        if (p.frequency < from * (1 - 1e-6) || p.frequency > to * (1 + 1e-6)) continue;
        const std::complex<double> h = truth.Response(p.frequency);
        const double dl = (p.value[kSlotLevel] - ref->value[kSlotLevel]) - (20 * std::log10(std::abs(h)) - refTruth);
        const double withDelay = p.value[kSlotPhase] + 2 * kPi * p.frequency * truth.Latency() / truth.Rate();
        level = std::max(level, std::fabs(dl));
        phase = std::max(phase, std::fabs(WrapRadians(withDelay - std::arg(h))) * 180 / kPi);
    }
    return Json{{"from", Round(from, 0.01)},
                {"to", Round(to, 0.01)},
                {"levelDb", Round(level, 1e-4)},
                {"phaseDeg", Round(phase, 1e-3)}};
}

// The level at the point nearest 1 kHz: a unity path reads the same here
// whatever the method.
double LevelNear1k(const Measurement& m) {
    const CurvePoint* best = nullptr;
    for (const CurvePoint& p : m.points)
        if (!best || std::fabs(std::log(p.frequency / 1000.0)) < std::fabs(std::log(best->frequency / 1000.0)))
            best = &p;
    return best ? Round(best->value[kSlotLevel], 1e-3) : NAN;
}

}  // namespace

int RunMeasureSine(const SineOptions& o) {
    SineMeasurementSetup setup = SetupFrom(o);
    std::error_code ec;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path(ec) / ("sonrix-cli-" + o.kind + "-" + std::to_string(getpid()));
    setup.folder = folder.string();
    VirtualSetup device;
    std::string error;
    if (!ApplyVirtualSettings(o.virtualSettings, device, setup.settings.sampleRate, error)) {
        std::cerr << "sonrix-cli: --virtual: " << error << std::endl;
        return 2;
    }
    VirtualLoudspeaker speaker(device);
    const VirtualTruth truth = speaker.Truth(setup.settings.sampleRate);
    std::unique_ptr<Measurement> result;
    Status s;
    bool clipped = false;
    double delay = 0, gateFrom = 0;
    {
        SineMeasurement m(setup);
        s = RunSineMeasurement(m, speaker, "Virtual Loudspeaker");
        clipped = m.Clipped();
        delay = m.Delay();
        gateFrom = m.Gated() ? 3.0 / m.GatedParams().timeWindow : 0.0;
        result = m.TakeResult();
    }
    std::filesystem::remove_all(folder, ec);
    if (!s) return Fail(s);
    s = SaveMeasurement(*result, o.output);
    if (!s) return Fail(s, o.output);
    const bool gated = setup.kind == SineKind::kGated;
    Json out{{"file", o.output},
             {"kind", o.kind},
             {"device", kVirtualDeviceName},
             {"sampleRate", setup.settings.sampleRate},
             {"passes", o.passes},
             {"latency", truth.Latency()},
             {"delay", Round(delay, 1e-7)},
             {"clipped", clipped},
             {"levelAt1kDb", LevelNear1k(*result)}};
    Describe(out, *result);
    const double from = std::max(o.start, gateFrom), to = gated ? o.stop : o.stop / std::cbrt(2.0);
    if (device.mode == VirtualMode::kAcoustic) out["modelErrors"] = ModelErrors(*result, truth, from, to);
    if (clipped) Tell(Status::Error(kStrInputOverload));
    Print(out);
    return 0;
}

int RunStimulusSine(const SineOptions& o) {
    const SineMeasurement m(SetupFrom(o));
    const SineStimulusFormat f = m.Format();
    const Status s = m.Gated() ? WriteGatedSineStimulus(o.output, m.GatedParams(), f)
                               : WriteSweepStimulus(o.output, m.SweepParameters(), f);
    if (!s) return Fail(s, o.output);
    const uint64_t frames =
        m.Gated() ? GatedStimulusFrames(m.GatedParams(), f) : SweepStimulusFrames(m.SweepParameters(), f);
    Print(Json{{"file", o.output},
               {"kind", o.kind},
               {"sampleRate", f.rate},
               {"bits", f.bits},
               {"channels", f.channels},
               {"frames", frames},
               {"frequencies", m.Frequencies().size()}});
    return 0;
}

int RunAnalyseSine(const SineOptions& o) {
    if (SameFile(o.output, o.response) || SameFile(o.output, o.stimulus))
        return Fail(Status::Error(kStrOutputIsInput, {o.output}));
    SineMeasurementSetup setup = SetupFrom(o);
    // The recording's format decides, not the options.
    WaveInput in;
    if (Status s = OpenWave(o.response, in); !s) return Fail(s, o.response);
    setup.settings.sampleRate = in.format.samplesPerSec;
    setup.settings.channels = in.format.channels;
    if (in.format.channels < 2) setup.settings.flags &= ~kMsfProbeCompensation;
    in = {};
    SineMeasurement m(setup);
    if (!m.Probe() && o.stimulus.empty()) {
        std::cerr << "sonrix-cli: --stimulus is required unless --probe reads the reference channel" << std::endl;
        return 2;
    }
    Status s = m.AnalyseFiles(o.stimulus, {o.response});
    if (s) s = m.Complete(std::filesystem::path(o.response).stem().string());
    if (!s) return Fail(s, o.response);
    s = SaveMeasurement(*m.Result(), o.output);
    if (!s) return Fail(s, o.output);
    Json out{{"file", o.output}, {"kind", o.kind}, {"delay", Round(m.Delay(), 1e-7)}, {"clipped", m.Clipped()}};
    Describe(out, *m.Result());
    Print(out);
    return 0;
}

int RunThd(const std::string& path, uint32_t harmonics) {
    std::unique_ptr<Measurement> m = NewMeasurement(kCurveFrequencyResponse);
    if (!m) return Fail(Status::Error(kStrOutOfMemory));
    Status s = LoadMeasurement(path, *m);
    if (!s) return Fail(s, path);
    if (!(m->h.flags & kMesDistortion) || !HasHarmonics(*m)) {
        Print(Json{{"file", path}, {"distortion", false}});
        return 0;
    }
    ComputeDistortion(*m, harmonics);
    Json out{{"file", path}, {"distortion", true}, {"harmonics", harmonics & 0x1FF}};
    Describe(out, *m);
    Print(out);
    return 0;
}

}  // namespace srx::cli
