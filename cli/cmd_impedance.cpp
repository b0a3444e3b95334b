// sonrix-cli's impedance: a measurement or a calibration run on the virtual
// jig, and the table of a calibration file; JSON with the accuracy against
// the simulation's truth.
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
#include "measure/impedance_measurement.h"
#include "measure/lcr.h"
#include "measure/sine_analysis.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

double Round(double v, double unit) { return std::round(v / unit) * unit; }

// The settings, scratch folder and jig of a run on the virtual jig.
struct JigRun {
    MeasurementSettings ms{};
    std::filesystem::path folder;
    VirtualSetup jig;
    ~JigRun() {
        std::error_code ec;
        if (!folder.empty()) std::filesystem::remove_all(folder, ec);
    }
};

// 2 for a usage error, -1 ready. `resistor` > 0 loads the jig with it.
int PrepareJig(const ImpedanceOptions& o, double resistor, JigRun& run) {
    MeasurementSettings& ms = run.ms;
    ResetMeasurementDefaults(ms);
    if (o.method == "mls") ms.flags |= kMsfImpedanceMls;
    else ms.flags &= ~kMsfImpedanceMls;
    ms.waveformLevelDb = o.level;
    ms.sampleRate = uint32_t(o.rate);
    ms.bitsPerSample = uint16_t(o.bits);
    ms.channels = 2;
    ms.impedanceStart = o.start;
    ms.impedanceStop = o.stop;
    ms.impedanceSweepTime = o.time;
    ms.impedancePerOctave = uint32_t(o.ppo);
    ms.impedancePreAverages = uint32_t(o.passes);
    ms.impedanceBoxVersion = uint32_t(o.box);
    ms.impedanceMlsOrder = uint32_t(o.order);
    std::error_code ec;
    run.folder = std::filesystem::temp_directory_path(ec) / ("sonrix-cli-impedance-" + std::to_string(getpid()));
    VirtualSetup& jig = run.jig;
    jig = {};
    jig.mode = VirtualMode::kImpedanceJig;
    jig.boxVersion = o.box;
    if (resistor > 0) {
        jig.jig.load = VirtualLoad::kResistor;
        jig.jig.loadR = resistor;
    }
    std::string error;
    if (!ApplyVirtualSettings(o.virtualSettings, jig, ms.sampleRate, error)) {
        std::cerr << "sonrix-cli: --virtual: " << error << std::endl;
        return 2;
    }
    return -1;
}

// The run on the jig; 2 for a usage error, 1 for a failed run, -1 done.
int Run(const ImpedanceOptions& o, bool calibrating, std::unique_ptr<Measurement>& result, JigRun& run,
        double* factor, bool* calibrated, bool* clipped) {
    if (const int code = PrepareJig(o, calibrating ? o.resistor : 0, run); code >= 0) return code;
    ImpedanceMeasurementSetup setup;
    setup.settings = run.ms;
    setup.calibrating = calibrating;
    setup.calibrationResistor = o.resistor;
    setup.calibrationFile = calibrating ? o.output : o.calibration;
    setup.inputName = setup.outputName = kVirtualDeviceName;
    setup.outputDevice = setup.inputDevice = 0;
    setup.folder = (run.folder / "waves").string();
    setup.programFolder = run.folder.string();
    VirtualLoudspeaker device(run.jig);
    ImpedanceMeasurement m(setup);
    const Status s = RunImpedanceMeasurement(m, device, "Virtual Jig");
    *factor = m.CalibrationFactor();
    *calibrated = m.Calibrated();
    *clipped = m.Clipped();
    result = m.TakeResult();
    if (!s) return Fail(s, calibrating ? o.output : std::string());
    return -1;
}

// Largest |Z| error (relative) and phase error (degrees) against the jig's
// truth up to a third of an octave below the stop, where the sweep ends.
Json ModelErrors(const Measurement& m, const VirtualSetup& jig, uint32_t rate, double stop, bool calibrated) {
    const VirtualTruth truth(jig, rate);
    double level = 0, phase = 0;
    for (const CurvePoint& p : m.points) {
        if (p.frequency > stop / std::cbrt(2.0)) continue;
        // Uncalibrated, the channels' own errors are part of the truth.
        const std::complex<double> z = calibrated ? truth.JigImpedance(p.frequency) : truth.JigReading(p.frequency);
        level = std::max(level, std::fabs(p.value[kSlotLevel] / std::abs(z) - 1));
        phase = std::max(phase, std::fabs(WrapRadians(p.value[kSlotPhase] - std::arg(z))) * 180 / kPi);
    }
    return Json{{"relative", Round(level, 1e-6)}, {"phaseDeg", Round(phase, 1e-4)}};
}

Json Summary(const Measurement& m) {
    const CurvePoint* top = nullptr;
    for (const CurvePoint& p : m.points)
        if (!top || p.value[kSlotLevel] > top->value[kSlotLevel]) top = &p;
    Json out{{"points", Value(m.h.pointCount)},
             {"firstFrequency", Value(m.h.firstFrequency)},
             {"lastFrequency", Value(m.h.lastFrequency)}};
    if (top)
        out["maximum"] = Json{{"frequency", Round(top->frequency, 0.01)}, {"ohm", Round(top->value[kSlotLevel], 1e-4)}};
    return out;
}

Json Curve(const Measurement& m) {
    Json rows = Json::array();
    for (const CurvePoint& p : m.points)
        rows.push_back({Round(p.frequency, 1e-4), Round(p.value[kSlotLevel], 1e-6),
                        Round(p.value[kSlotPhase] * 180 / kPi, 1e-4)});
    return rows;
}

Json Reading(const LcrReading& r) {
    Json out{{"frequency", Round(r.frequency, 1e-6)},
             {"ohm", Round(r.z, 1e-9)},
             {"phaseDeg", Round(r.phase * 180 / kPi, 1e-6)},
             {"r", Round(r.r, 1e-9)}};
    Json texts{{"R", FormatLcrValue(r.r, LcrQuantity::kResistance)},
               {"Z", FormatLcrValue(r.z, LcrQuantity::kResistance)}};
    out["l"] = r.hasL ? Json(r.l) : Json(nullptr);
    out["c"] = r.hasC ? Json(r.c) : Json(nullptr);
    texts["L"] = r.hasL ? FormatLcrValue(r.l, LcrQuantity::kInductance) : "";
    texts["C"] = r.hasC ? FormatLcrValue(r.c, LcrQuantity::kCapacitance) : "";
    out["texts"] = texts;
    return out;
}

// A calibration file given on the command line: 1 when it cannot be read.
int LoadTable(const std::string& path, ImpedanceCalibration& table, ImpedanceContext& c) {
    if (path.empty()) return -1;
    if (!ReadImpedanceCalibration(path, table)) return Fail(Status::Error(kStrTooFewPoints), path);
    c.table = &table;
    return -1;
}

LcrSetup LcrSetupOf(const ImpedanceOptions& o, const JigRun& run) {
    LcrSetup setup;
    setup.settings = run.ms;
    setup.folder = (run.folder / "waves").string();
    setup.programFolder = run.folder.string();
    setup.outputDevice = setup.inputDevice = 0;
    setup.calibrationFile = o.calibration.empty() ? o.output : o.calibration;
    return setup;
}

}  // namespace

int RunMeasureImpedance(const ImpedanceOptions& o) {
    std::unique_ptr<Measurement> result;
    JigRun run;
    double factor = 0;
    bool calibrated = false, clipped = false;
    if (const int code = Run(o, false, result, run, &factor, &calibrated, &clipped); code >= 0) return code;
    if (Status s = SaveMeasurement(*result, o.output); !s) return Fail(s, o.output);
    Json out{{"file", o.output}, {"method", o.method}, {"calibrated", calibrated}, {"clipped", clipped}};
    out.update(Summary(*result));
    out["modelErrors"] = ModelErrors(*result, run.jig, run.ms.sampleRate, o.stop, calibrated);
    Print(out);
    if (clipped) Tell(Status::Error(kStrInputOverload));
    return 0;
}

int RunCalibrateImpedance(const ImpedanceOptions& o) {
    std::unique_ptr<Measurement> result;
    JigRun run;
    double factor = 0;
    bool calibrated = false, clipped = false;
    if (const int code = Run(o, true, result, run, &factor, &calibrated, &clipped); code >= 0) return code;
    Json out{{"file", o.output}, {"resistor", o.resistor}, {"meanFactor", Round(factor, 1e-8)}, {"clipped", clipped}};
    out.update(Summary(*result));
    Print(out);
    if (clipped) Tell(Status::Error(kStrInputOverload));
    return 0;
}

int RunIcf(const std::string& path) {
    ImpedanceCalibration table;
    if (!ReadImpedanceCalibration(path, table)) return Fail(Status::Error(kStrTooFewPoints), path);
    Json rows = Json::array();
    for (const ImpedanceCalibrationEntry& e : table)
        rows.push_back({e.frequency, e.factor, Round(e.phase * 180 / kPi, 1e-8)});
    Print(Json{{"file", path},
               {"entries", table.size()},
               {"firstFrequency", table.front().frequency},
               {"lastFrequency", table.back().frequency},
               {"columns", {"Hz", "factor", "degrees"}},
               {"table", rows}});
    return 0;
}

int RunAnalyseImpedance(const ImpedanceOptions& o) {
    ImpedanceParams p;
    p.f1 = o.start, p.f2 = o.stop, p.perOctave = o.ppo, p.timePerOctave = o.time, p.order = o.order;
    p.context.boxVersion = o.box;
    p.context.probePhaseCorrection = o.probe;
    ImpedanceCalibration table;
    if (const int code = LoadTable(o.calibration, table, p.context); code >= 0) return code;
    std::unique_ptr<Measurement> m;
    bool clipped = false;
    Status s;
    if (o.method == "mls") {
        if (o.stimulus.empty()) {
            std::cerr << "sonrix-cli: --stimulus: the MLS analysis needs the stimulus played" << std::endl;
            return 2;
        }
        s = AnalyseImpedanceMls(o.response, o.stimulus, o.preSilence, p, m, &clipped);
    } else {
        Recording r;
        s = ReadRecording(o.response, o.preSilence, true, false, false, r);
        clipped = r.clipped;
        p.context.rate = r.rate;
        if (s) s = AnalyseImpedanceSweep(r, 0, p, m);
    }
    if (!s) return Fail(s, o.response);
    if (o.method == "mls") m->h.flags |= kMesImpedanceMls;
    if (!o.output.empty())
        if (Status w = SaveMeasurement(*m, o.output); !w) return Fail(w, o.output);
    Json out{{"file", o.response}, {"method", o.method}, {"calibrated", !o.calibration.empty()}, {"clipped", clipped}};
    out.update(Summary(*m));
    out["columns"] = {"Hz", "ohm", "degrees"};
    out["curve"] = Curve(*m);
    Print(out);
    if (clipped) Tell(Status::Error(kStrInputOverload));
    return 0;
}

int RunLcr(const ImpedanceOptions& o) {
    JigRun run;
    if (const int code = PrepareJig(o, 0, run); code >= 0) return code;
    VirtualLoudspeaker device(run.jig);
    LcrMeter m(LcrSetupOf(o, run));
    if (Status s = m.CheckFrequency(o.frequency); !s) return Fail(s);
    LcrReading r;
    if (Status s = RunLcrReading(m, device, o.frequency, r); !s) return Fail(s);
    const std::complex<double> z = VirtualTruth(run.jig, run.ms.sampleRate).JigImpedance(o.frequency);
    Json out = Reading(r);
    out["calibrated"] = !o.calibration.empty() && m.Calibrated();
    out["clipped"] = m.Clipped();
    out["model"] = Json{{"ohm", Round(std::abs(z), 1e-9)}, {"phaseDeg", Round(std::arg(z) * 180 / kPi, 1e-6)}};
    Print(out);
    if (m.Clipped()) Tell(Status::Error(kStrInputOverload));
    return 0;
}

int RunCalibrateLcr(const ImpedanceOptions& o) {
    JigRun run;
    if (const int code = PrepareJig(o, o.resistor, run); code >= 0) return code;
    VirtualLoudspeaker device(run.jig);
    ImpedanceOptions own = o;
    own.calibration.clear();
    LcrMeter m(LcrSetupOf(own, run));
    double factor = 0;
    if (Status s = RunLcrCalibration(m, device, o.resistor, &factor); !s) return Fail(s, o.output);
    Print(Json{{"file", o.output},
               {"resistor", o.resistor},
               {"entries", m.CalibrationFrequencies().size()},
               {"meanFactor", Round(factor, 1e-8)},
               {"clipped", m.Clipped()}});
    if (m.Clipped()) Tell(Status::Error(kStrInputOverload));
    return 0;
}

int RunAnalyseLcr(const ImpedanceOptions& o) {
    ImpedanceContext c;
    c.boxVersion = o.box;
    c.probePhaseCorrection = o.probe;
    ImpedanceCalibration table;
    if (const int code = LoadTable(o.calibration, table, c); code >= 0) return code;
    LcrReading r;
    bool clipped = false;
    // The rate for the probe correction is the file's: read it first.
    Recording head;
    if (Status s = ReadRecording(o.response, o.preSilence, false, false, false, head); !s) return Fail(s, o.response);
    c.rate = head.rate;
    if (Status s = AnalyseLcrResponse(o.response, o.frequency, kLcrPeriods, o.preSilence, c, r, &clipped); !s)
        return Fail(s, o.response);
    Json out = Reading(r);
    out["file"] = o.response;
    out["clipped"] = clipped;
    Print(out);
    if (clipped) Tell(Status::Error(kStrInputOverload));
    return 0;
}

int RunZChannels(const ZChannelsOptions& o) {
    ImpedanceContext c;
    c.boxVersion = o.box;
    c.rate = uint32_t(o.rate);
    c.probePhaseCorrection = o.probe;
    ImpedanceCalibration table;
    if (const int code = LoadTable(o.calibration, table, c); code >= 0) return code;
    double z = 0, phase = 0;
    if (!ImpedanceFromChannels(o.p0, o.phi0, o.p1, o.phi1, o.frequency, c, &z, &phase)) {
        std::cerr << "sonrix-cli: no impedance: a channel's power is not above 0 or the box version is unknown"
                  << std::endl;
        return 1;
    }
    Print(Json{{"ohm", z}, {"phase", phase}, {"phaseDeg", phase * 180 / kPi}});
    return 0;
}

}  // namespace srx::cli
