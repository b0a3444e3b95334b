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
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

double Round(double v, double unit) { return std::round(v / unit) * unit; }

// The run on the jig; 2 for a usage error, 1 for a failed run, -1 done.
int Run(const ImpedanceOptions& o, bool calibrating, std::unique_ptr<Measurement>& result, VirtualSetup& jig,
        double* factor, bool* calibrated, bool* clipped) {
    ImpedanceMeasurementSetup setup;
    MeasurementSettings& ms = setup.settings;
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
    setup.calibrating = calibrating;
    setup.calibrationResistor = o.resistor;
    setup.calibrationFile = calibrating ? o.output : o.calibration;
    setup.inputName = setup.outputName = kVirtualDeviceName;
    setup.outputDevice = setup.inputDevice = 0;
    std::error_code ec;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path(ec) / ("sonrix-cli-impedance-" + std::to_string(getpid()));
    setup.folder = (folder / "waves").string();
    setup.programFolder = folder.string();
    jig = {};
    jig.mode = VirtualMode::kImpedanceJig;
    jig.boxVersion = o.box;
    if (calibrating) {
        jig.jig.load = VirtualLoad::kResistor;
        jig.jig.loadR = o.resistor;
    }
    std::string error;
    if (!ApplyVirtualSettings(o.virtualSettings, jig, ms.sampleRate, error)) {
        std::cerr << "sonrix-cli: --virtual: " << error << std::endl;
        return 2;
    }
    VirtualLoudspeaker device(jig);
    Status s;
    {
        ImpedanceMeasurement m(setup);
        s = RunImpedanceMeasurement(m, device, "Virtual Jig");
        *factor = m.CalibrationFactor();
        *calibrated = m.Calibrated();
        *clipped = m.Clipped();
        result = m.TakeResult();
    }
    std::filesystem::remove_all(folder, ec);
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

}  // namespace

int RunMeasureImpedance(const ImpedanceOptions& o) {
    std::unique_ptr<Measurement> result;
    VirtualSetup jig;
    double factor = 0;
    bool calibrated = false, clipped = false;
    if (const int code = Run(o, false, result, jig, &factor, &calibrated, &clipped); code >= 0) return code;
    if (Status s = SaveMeasurement(*result, o.output); !s) return Fail(s, o.output);
    Json out{{"file", o.output}, {"method", o.method}, {"calibrated", calibrated}, {"clipped", clipped}};
    out.update(Summary(*result));
    out["modelErrors"] = ModelErrors(*result, jig, uint32_t(o.rate), o.stop, calibrated);
    Print(out);
    if (clipped) Tell(Status::Error(kStrInputOverload));
    return 0;
}

int RunCalibrateImpedance(const ImpedanceOptions& o) {
    std::unique_ptr<Measurement> result;
    VirtualSetup jig;
    double factor = 0;
    bool calibrated = false, clipped = false;
    if (const int code = Run(o, true, result, jig, &factor, &calibrated, &clipped); code >= 0) return code;
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

}  // namespace srx::cli
