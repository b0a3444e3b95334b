// sonrix-cli's command line (CLI11) and what every command shares: JSON out,
// the program's own messages on stderr.
#include "cli/commands.h"

#include <charconv>
#include <climits>
#include <functional>
#include <cmath>
#include <iostream>
#include <new>
#include <system_error>
#include <tuple>
#include <utility>

#include <CLI/CLI.hpp>

#include "resources/status_text.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

#ifndef SRX_VERSION
#define SRX_VERSION "2.20"
#endif

namespace srx::cli {

// Whole decimal numbers only: CLI11's own conversion would also take " 7" and
// "0x10", and read "010" as octal eight.
CLI::Validator Integer(long long lo, long long hi) {
    return CLI::Validator(
        [lo, hi](std::string& text) -> std::string {
            long long v = 0;
            const char* end = text.data() + text.size();
            const auto r = std::from_chars(text.data(), end, v);
            if (r.ec != std::errc() || r.ptr != end) return "not a whole number: " + text;
            if (v < lo || v > hi) return text + " is not in " + std::to_string(lo) + ".." + std::to_string(hi);
            text = std::to_string(v);  // leading zeros gone: nothing left to read as octal
            return {};
        },
        "INT in [" + std::to_string(lo) + " - " + std::to_string(hi) + "]");
}

// Finite decimal numbers only (no "inf", "nan" or hexadecimal), at least
// `lo`, or above it when `inclusive` is false.
CLI::Validator Number(double lo, bool inclusive) {
    const std::string bound = (inclusive ? ">= " : "> ") + std::to_string(int(lo));
    return CLI::Validator(
        [lo, inclusive, bound](std::string& text) -> std::string {
            double v = 0;
            if (!ParseFiniteNumber(text, v)) return "not a number: " + text;
            if (inclusive ? v < lo : v <= lo) return text + " is not " + bound;
            return {};
        },
        "NUMBER " + bound);
}

// Any finite decimal number.
CLI::Validator Finite() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double v = 0;
            return ParseFiniteNumber(text, v) ? std::string() : "not a finite number: " + text;
        },
        "NUMBER");
}

namespace {

int RunVersion() {
    Print(Json{{"program", "sonrix-cli"}, {"version", SRX_VERSION}});
    return 0;
}

int RunString(int id) {
    const char* text = StringText(id);
    if (!*text) return Fail(Status::Error(kStrUnknownStringId, {std::to_string(id)}));
    Print(Json{{"id", id}, {"text", text}});
    return 0;
}

bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = s[i++];
        const int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0 || s.size() - i < size_t(more)) return false;
        for (int k = 0; k < more; ++k)
            if ((static_cast<unsigned char>(s[i++]) & 0xC0) != 0x80) return false;
    }
    return true;
}

}  // namespace

bool ParseFiniteNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

void Print(const Json& object) {
    // Paths are bytes; a name that is not UTF-8 must not stop the output.
    std::cout << object.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
}

std::string FileText(const std::string& bytes) {
    if (IsUtf8(bytes)) return bytes;
    std::string out;
    for (const unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void Tell(const Status& status, const std::string& path) {
    std::cerr << "sonrix-cli: " << (path.empty() ? "" : path + ": ") << StatusText(status) << std::endl;
}

int Fail(const Status& status, const std::string& path) {
    Tell(status, path);
    return 1;
}

int Main(int argc, char** argv) {
    CLI::App app{"The Son-Rix core from the command line; output is JSON.", "sonrix-cli"};
    app.require_subcommand(1);

    CLI::App* versionCommand = app.add_subcommand("version", "print the program version");

    int stringId = 0;
    CLI::App* stringCommand = app.add_subcommand("string", "print a text of the string table");
    stringCommand->add_option("ID", stringId, "string id")
        ->required()
        ->transform(Integer(INT_MIN, INT_MAX).description(""));

    std::vector<std::string> files;
    CLI::App* infoCommand = app.add_subcommand("info", "describe native and wave files (.MES/.TWF/.STP/.ETC/.WAV)");
    infoCommand->add_option("FILE", files, "files to describe, one JSON object each")->required();

    std::string compensationFile;
    CLI::App* compensationCommand = app.add_subcommand(
        "compensation", "print a compensation table (.MCP/.2CP/.scc, or converted from .MDF/.DAT/.CAL/.MIC)");
    compensationCommand->add_option("FILE", compensationFile, "compensation or calibration file")->required();

    FrOptions fr;
    CLI::App* frCommand = app.add_subcommand("fr", "frequency response of an impulse response");
    frCommand->add_option("IMPULSE.TWF", fr.impulse, "impulse response to analyse")->required();
    frCommand->add_option("OUT.MES", fr.output, "measurement file to write")->required();
    frCommand->add_option("--start", fr.start, "first frequency in Hz (default: 1 / window length)")
        ->transform(Number(0, true));
    frCommand->add_option("--ppo", fr.ppo, "points per octave (default: the record's)")->transform(Integer(1, 1000));
    const std::vector<std::pair<std::string, int>> windows = {
        {"rectangular", 0}, {"bartlett", 1}, {"hanning", 2}, {"hamming", 3}, {"blackman", 4}, {"blackman-harris", 5}};
    frCommand->add_option("--window", fr.window, "window type, a name or 0..5 (default: the record's)")
        ->transform(CLI::CheckedTransformer(windows, CLI::ignore_case));
    frCommand->add_option("--length", fr.length, "time window length in s (default: the record's)")
        ->transform(Number(0, false));

    // Analyses of an impulse response.
    IrOptions ir;
    const auto irFiles = [&](CLI::App* c, const char* in, const char* out) {
        c->add_option(in, ir.input, "record to read")->required();
        c->add_option(out, ir.output, "file to write")->required();
    };
    const auto lengthMs = [&](CLI::App* c) {
        c->add_option("--length-ms", ir.lengthMs, "analysis length in ms (default: the record's, at most 100 ms)")
            ->transform(Finite());
    };
    CLI::App* etcCommand = app.add_subcommand("etc", "energy-time curve of an impulse response");
    irFiles(etcCommand, "IN.TWF", "OUT.ETC");
    lengthMs(etcCommand);
    etcCommand->add_option("--window", ir.window, "taper of the Hilbert kernel, a name or 0..5 (default: the record's)")
        ->transform(CLI::CheckedTransformer(windows, CLI::ignore_case));
    CLI::App* stepCommand = app.add_subcommand("step", "step response of an impulse response");
    irFiles(stepCommand, "IN.TWF", "OUT.STP");
    lengthMs(stepCommand);
    CLI::App* waterfallCommand = app.add_subcommand("waterfall", "waterfall (cumulative spectral decay) into OUT.TWF");
    irFiles(waterfallCommand, "IN.TWF", "OUT.TWF");
    waterfallCommand->add_option("--window", ir.window, "window type, a name or 0..5 (default: the record's)")
        ->transform(CLI::CheckedTransformer(windows, CLI::ignore_case));
    waterfallCommand->add_option("--ppo", ir.ppo, "points per octave (default: the record's)")->transform(Integer(1, 1000));
    waterfallCommand->add_option("--start", ir.start, "first frequency in Hz (default: 1 / window length)")
        ->transform(Number(0, true));
    waterfallCommand->add_option("--end", ir.end, "last frequency in Hz (default: the rate's limit)")
        ->transform(Number(0, true));
    waterfallCommand->add_option("--span-ms", ir.spanMs, "time the slices cover in ms (default: the record's)")
        ->transform(Number(0, true));
    waterfallCommand->add_option("--resolution", ir.resolution, "0..3: 24, 48, 96 or 192 slices (default: the record's)")
        ->transform(Integer(0, 3));
    waterfallCommand->add_flag("--sliding", ir.sliding, "sliding window instead of the normal one");
    CLI::App* invertCommand = app.add_subcommand("invert", "negated impulse or step response");
    irFiles(invertCommand, "IN.TWF", "OUT.TWF");
    CLI::App* toImpulseCommand = app.add_subcommand("to-impulse", "impulse response of a frequency response");
    irFiles(toImpulseCommand, "IN.MES", "OUT.TWF");
    toImpulseCommand->add_option("--window-ms", ir.windowMs, "time window in ms (default: the whole record)")
        ->transform(Number(0, true));

    // Curve operations.
    CurveOptions cv;
    const std::vector<std::pair<std::string, int>> smoothMethods = {{"absolute", 0}, {"averaged", 1}, {"median", 2}};
    CLI::App* smoothCommand = app.add_subcommand("smooth", "fractional-octave smoothing of a curve or a waterfall");
    smoothCommand->add_option("IN", cv.input, "curve (.MES) or impulse with a waterfall (.TWF)")->required();
    smoothCommand->add_option("OUT", cv.output, "file to write")->required();
    smoothCommand->add_option("--fraction", cv.fraction, "1/N octave, N in 1..96 below the curve's points per octave")
        ->transform(Integer(1, 96))
        ->capture_default_str();
    smoothCommand->add_option("--method", cv.method, "absolute, averaged or median (default averaged)")
        ->transform(CLI::CheckedTransformer(smoothMethods, CLI::ignore_case));
    CLI::App* normalizeCommand = app.add_subcommand("normalize", "levels to 0 dB at a frequency, or shifted");
    normalizeCommand->add_option("IN", cv.input, "curve (.MES) or impulse with a waterfall (.TWF)")->required();
    normalizeCommand->add_option("OUT", cv.output, "file to write")->required();
    CLI::Option* normFrequency = normalizeCommand->add_option("--frequency", cv.frequency, "frequency in Hz")
                                     ->transform(Finite())
                                     ->capture_default_str();
    normalizeCommand->add_option("--shift", cv.shift, "add this many dB instead (manual normalisation)")
        ->transform(Finite())
        ->excludes(normFrequency);
    const std::vector<std::pair<std::string, int>> averageMethods = {{"simple", 0}, {"complex", 1}};
    CLI::App* averageCommand = app.add_subcommand("average", "average of two to eight curves");
    averageCommand->add_option("IN.MES", cv.inputs, "curves to average")->required()->expected(2, 8);
    averageCommand->add_option("--output,-o", cv.output, "curve to write")->required();
    averageCommand->add_option("--method", cv.average, "simple or complex (default simple)")
        ->transform(CLI::CheckedTransformer(averageMethods, CLI::ignore_case));
    averageCommand->add_option("--title", cv.title, "title of the result");
    CLI::App* mergeCommand = app.add_subcommand("merge", "near-field and far-field curves into one");
    mergeCommand->add_option("--curve", cv.curves, "FILE,near,AREA_CM2 or FILE,far,DISTANCE_M, ',rev' reverses the phase")
        ->required()
        ->expected(2, 3)
        ->allow_extra_args(false);
    mergeCommand->add_option("--output,-o", cv.output, "curve to write")->required();
    mergeCommand->add_option("--splice", cv.splice, "splice frequency in Hz (0: none)")->transform(Number(0, true));
    mergeCommand->add_option("--baffle-mm", cv.baffleMm, "baffle width in mm: baffle step on the near-field part")
        ->transform(Number(0, true));
    mergeCommand->add_option("--title", cv.title, "title of the result");
    CLI::App* resampleCommand = app.add_subcommand("resample", "a curve on a logarithmic grid");
    resampleCommand->add_option("IN.MES", cv.input, "curve to read")->required();
    resampleCommand->add_option("OUT.MES", cv.output, "curve to write")->required();
    resampleCommand->add_option("--start", cv.start, "first frequency in Hz (default: the curve's)")
        ->transform(Number(0, false));
    resampleCommand->add_option("--end", cv.end, "last frequency in Hz (default: the curve's)")->transform(Number(0, false));
    resampleCommand->add_option("--ppo", cv.ppo, "points per octave (default: the curve's)")->transform(Integer(1, 1000));
    resampleCommand->add_flag("--keep-low", cv.keepLow, "extrapolate below the curve instead of holding");

    MlsOptions mls;
    CLI::App* measure = app.add_subcommand("measure", "measure the virtual loudspeaker");
    measure->require_subcommand(1);
    CLI::App* mlsCommand = measure->add_subcommand("mls", "MLS measurement; OUT.MES asks for the frequency response");
    mlsCommand->add_option("--device", mls.device, "sound device")->required()->check(CLI::IsMember({"virtual"}));
    mlsCommand->add_option("--order", mls.order, "MLS order")->transform(Integer(2, 24))->capture_default_str();
    mlsCommand->add_option("--passes", mls.passes, "pre-averages")->transform(Integer(1, 16))->capture_default_str();
    mlsCommand
        ->add_option("--virtual", mls.virtualSettings,
                     "the virtual loudspeaker's set-up, key=value[,key=value...]: latency (frames), noise (dBFS "
                     "RMS), seed, gain (linear), dc (input offset), distortion (coefficients of x^2, x^3... "
                     "separated by ':'), rate (Hz)")
        ->delimiter(',');
    mlsCommand->add_option("--rate", mls.rate, "sample rate in Hz (default 44100)")->transform(Integer(5513, 192000));
    mlsCommand->add_option("--reflection", mls.reflection, "room reflection GAIN:FRAMES after the direct sound");
    mlsCommand->add_option("--noise", mls.noise, "noise in dBFS RMS (default none)")->check(CLI::Range(-200.0, 20.0));
    mlsCommand->add_option("OUT.TWF", mls.impulse, "impulse response to write")->required();
    mlsCommand->add_option("OUT.MES", mls.response, "frequency response to write");

    // Gated sine and sweep: the same settings for measuring, writing a
    // stimulus and analysing a recording.
    SineOptions sine;
    const auto sineSettings = [&](CLI::App* c, bool device) {
        if (device) {
            c->add_option("--device", sine.device, "sound device")->required()->check(CLI::IsMember({"virtual"}));
            c->add_option("--virtual", sine.virtualSettings,
                          "the virtual loudspeaker's set-up, key=value[,key=value...]: " + VirtualSettingKeys())
                ->delimiter(',');
        }
        c->add_option("--rate", sine.rate, "sample rate in Hz")
            ->transform(Integer(8000, 192000))
            ->capture_default_str();
        c->add_option("--bits", sine.bits, "bits per sample")
            ->check(CLI::IsMember({8, 16, 24, 32}))
            ->capture_default_str();
        c->add_option("--start", sine.start, "first frequency in Hz")
            ->transform(Number(1, true))
            ->capture_default_str();
        c->add_option("--stop", sine.stop, "last frequency in Hz")->transform(Number(1, true))->capture_default_str();
        c->add_option("--ppo", sine.ppo, "frequencies per octave")->transform(Integer(1, 3))->capture_default_str();
        c->add_option("--window", sine.window, "gate window type, a name or 0..5 (gated)")
            ->transform(CLI::CheckedTransformer(windows, CLI::ignore_case));
        c->add_option("--time", sine.time, "gated: the gate in s; sweep: s per octave")->transform(Number(0, false));
        c->add_option("--passes", sine.passes, "pre-averages")->transform(Integer(1, 16))->capture_default_str();
        c->add_option("--level", sine.level, "waveform level in dB (-90..0)")->check(CLI::Range(-90.0, 0.0));
        c->add_flag("--probe", sine.probe, "stereo, input channel 1 is the reference");
        c->add_flag("--reverse", sine.reverse, "sweep from the top down");
    };
    std::vector<CLI::App*> measureSine, stimulusSine, analyseSine;
    CLI::App* stimulus = app.add_subcommand("stimulus", "write a stimulus wave file");
    stimulus->require_subcommand(1);
    CLI::App* analyse = app.add_subcommand("analyse", "analyse a recorded response");
    analyse->require_subcommand(1);
    for (const char* kind : {"gated", "sweep"}) {
        const std::string what = std::string(kind) == "gated" ? "gated sine" : "sweep";
        CLI::App* c = measure->add_subcommand(kind, what + " measurement into OUT.MES");
        sineSettings(c, true);
        c->add_option("OUT.MES", sine.output, "frequency response to write")->required();
        measureSine.push_back(c);
        c = stimulus->add_subcommand(kind, what + " stimulus into OUT.WAV");
        sineSettings(c, false);
        c->add_option("OUT.WAV", sine.output, "wave file to write")->required();
        stimulusSine.push_back(c);
        c = analyse->add_subcommand(kind, what + " analysis of RESPONSE.WAV into OUT.MES");
        sineSettings(c, false);
        c->add_option("RESPONSE.WAV", sine.response, "recorded response")->required();
        c->add_option("--stimulus", sine.stimulus, "the stimulus played (not with --probe)");
        c->add_option("OUT.MES", sine.output, "frequency response to write")->required();
        analyseSine.push_back(c);
    }
    // Impedance on the virtual jig, its calibration and calibration files.
    ImpedanceOptions imp;
    const auto impedanceSettings = [&](CLI::App* c) {
        c->add_option("--device", imp.device, "sound device")->required()->check(CLI::IsMember({"virtual"}));
        c->add_option("--virtual", imp.virtualSettings,
                      "the virtual jig's set-up, key=value[,key=value...]: " + VirtualSettingKeys())
            ->delimiter(',');
        c->add_option("--method", imp.method, "sweep or mls")->check(CLI::IsMember({"sweep", "mls"}));
        c->add_option("--order", imp.order, "MLS order")->transform(Integer(10, 20))->capture_default_str();
        c->add_option("--start", imp.start, "first frequency in Hz")->transform(Number(1, true))->capture_default_str();
        c->add_option("--stop", imp.stop, "last frequency in Hz")->transform(Number(1, true))->capture_default_str();
        c->add_option("--time", imp.time, "sweep s per octave")->transform(Number(0, false))->capture_default_str();
        c->add_option("--ppo", imp.ppo, "frequencies per octave")->transform(Integer(1, 96))->capture_default_str();
        c->add_option("--passes", imp.passes, "pre-averages")->transform(Integer(1, 16))->capture_default_str();
        c->add_option("--box", imp.box, "box version 0..3")->transform(Integer(0, 3))->capture_default_str();
        c->add_option("--rate", imp.rate, "sample rate in Hz")->transform(Integer(8000, 192000))->capture_default_str();
        c->add_option("--level", imp.level, "waveform level in dB (-90..0)")
            ->check(CLI::Range(-90.0, 0.0))
            ->capture_default_str();
    };
    CLI::App* impedanceCommand = measure->add_subcommand("impedance", "impedance measurement into OUT.MES");
    impedanceSettings(impedanceCommand);
    impedanceCommand->add_option("--calibration", imp.calibration, "calibration file (.icf) to apply");
    impedanceCommand->add_option("OUT.MES", imp.output, "impedance curve to write")->required();
    CLI::App* calibrate = app.add_subcommand("calibrate", "calibrate a measuring set-up");
    calibrate->require_subcommand(1);
    CLI::App* calibrateImpedance = calibrate->add_subcommand("impedance", "impedance box on a resistor into OUT.icf");
    impedanceSettings(calibrateImpedance);
    calibrateImpedance->add_option("--resistor", imp.resistor, "calibration resistor in ohm")
        ->required()
        ->transform(Number(0, false));
    calibrateImpedance->add_option("OUT.icf", imp.output, "calibration file to write")->required();
    // The L-C-R meter on the jig, its calibration, and the analyses of
    // recorded impedance and L-C-R responses.
    const auto lcrFrequency = [&](CLI::App* c) {
        c->add_option("--frequency", imp.frequency, "frequency in Hz")
            ->transform(Number(0, false))
            ->capture_default_str();
    };
    CLI::App* lcrCommand = app.add_subcommand("lcr", "L-C-R meter reading on the virtual jig");
    impedanceSettings(lcrCommand);
    lcrFrequency(lcrCommand);
    lcrCommand->add_option("--calibration", imp.calibration, "L-C-R calibration file (.icf) to apply");
    CLI::App* calibrateLcr = calibrate->add_subcommand("lcr", "L-C-R meter on a resistor into OUT.icf");
    impedanceSettings(calibrateLcr);
    calibrateLcr->add_option("--resistor", imp.resistor, "calibration resistor in ohm (up to 100)")
        ->required()
        ->transform(Number(0, false));
    calibrateLcr->add_option("OUT.icf", imp.output, "calibration file to write")->required();
    const auto recorded = [&](CLI::App* c) {
        c->add_option("RESPONSE.WAV", imp.response, "recorded stereo response")->required();
        c->add_option("--box", imp.box, "box version 0..3")->transform(Integer(0, 3))->capture_default_str();
        c->add_option("--calibration", imp.calibration, "calibration file (.icf) to apply");
        c->add_option("--presilence", imp.preSilence, "lead silence of the stimulus in s")
            ->check(CLI::Range(0.0, 10.0))
            ->capture_default_str();
        c->add_flag("--probe", imp.probe, "correct the phase by one sample (probe compensation)");
    };
    CLI::App* analyseImpedance = analyse->add_subcommand("impedance", "impedance curve of a recorded response");
    recorded(analyseImpedance);
    analyseImpedance->add_option("--method", imp.method, "sweep or mls")->check(CLI::IsMember({"sweep", "mls"}));
    analyseImpedance->add_option("--stimulus", imp.stimulus, "the MLS stimulus played");
    analyseImpedance->add_option("--order", imp.order, "MLS order")->transform(Integer(10, 20))->capture_default_str();
    analyseImpedance->add_option("--start", imp.start, "first frequency in Hz")->transform(Number(1, true));
    analyseImpedance->add_option("--stop", imp.stop, "last frequency in Hz")->transform(Number(1, true));
    analyseImpedance->add_option("--time", imp.time, "sweep s per octave")->transform(Number(0, false));
    analyseImpedance->add_option("--ppo", imp.ppo, "frequencies per octave")->transform(Integer(1, 96));
    analyseImpedance->add_option("OUT.MES", imp.output, "impedance curve to write");
    CLI::App* analyseLcr = analyse->add_subcommand("lcr", "L-C-R reading of a recorded tone response");
    recorded(analyseLcr);
    lcrFrequency(analyseLcr);
    ZChannelsOptions zc;
    CLI::App* zchannels = app.add_subcommand("zchannels", "impedance from the two channels' powers and phases");
    zchannels->add_option("--p0", zc.p0, "power of channel 0")->required()->transform(Finite());
    zchannels->add_option("--phi0", zc.phi0, "phase of channel 0 in rad")->transform(Finite());
    zchannels->add_option("--p1", zc.p1, "power of channel 1")->required()->transform(Finite());
    zchannels->add_option("--phi1", zc.phi1, "phase of channel 1 in rad")->transform(Finite());
    zchannels->add_option("--frequency", zc.frequency, "frequency in Hz")->transform(Number(0, false));
    zchannels->add_option("--box", zc.box, "box version")->transform(Integer(-1000, 1000))->capture_default_str();
    zchannels->add_option("--rate", zc.rate, "sample rate in Hz")->transform(Integer(1000, 768000));
    zchannels->add_option("--calibration", zc.calibration, "calibration file (.icf) to apply");
    zchannels->add_flag("--probe", zc.probe, "correct the phase by one sample (probe compensation)");

    // Speaker units.
    CLI::App* unit = app.add_subcommand("unit", "speaker unit files (.SPK)");
    unit->require_subcommand(1);
    std::string unitFile;
    CLI::App* unitShow = unit->add_subcommand("show", "a unit's parameters and the values derived from them");
    unitShow->add_option("FILE.SPK", unitFile, "speaker unit file")->required();
    UnitOptions uo;
    CLI::App* unitWrite = unit->add_subcommand("write", "write a unit from its parameters (SI units)");
    for (auto [name, value, help] : {std::tuple{"--fs", &uo.fs, "resonance in Hz"},
                                     {"--vas", &uo.vas, "equivalent volume in m^3"},
                                     {"--qes", &uo.qes, "electrical Q"},
                                     {"--qms", &uo.qms, "mechanical Q"},
                                     {"--qts", &uo.qts, "total Q (gives the missing one of Qes, Qms)"},
                                     {"--re", &uo.re, "voice-coil resistance in ohm"},
                                     {"--le", &uo.le, "voice-coil inductance in H"},
                                     {"--sd", &uo.sd, "cone area in m^2"},
                                     {"--xmax", &uo.xmax, "linear excursion in m, one way"}})
        unitWrite->add_option(name, *value, help)->transform(Number(0, false));
    unitWrite->add_option("--manufacturer", uo.manufacturer, "manufacturer (79 characters)");
    unitWrite->add_option("--model", uo.model, "model (79 characters)");
    unitWrite->add_option("--notes", uo.notes, "notes (159 characters)");
    unitWrite->add_option("OUT.SPK", uo.output, "speaker unit file to write")->required();

    // Box designs.
    CLI::App* design = app.add_subcommand("design", "box design files (.DSN)");
    design->require_subcommand(1);
    std::string designFile;
    CLI::App* designShow =
        design->add_subcommand("show", "a design's box, the unit the box sees, its vent or closed-box figures");
    designShow->add_option("FILE.DSN", designFile, "box design file")->required();
    DesignOptions dso;
    CLI::App* designWrite = design->add_subcommand("write", "write a design from a unit file and the box (SI units)");
    designWrite->add_option("--unit", dso.unit, "speaker unit file (.SPK)")->required();
    designWrite->add_option("--type", dso.type, "closed, vented or bandpass (default closed)")
        ->check(CLI::IsMember({"closed", "vented", "bandpass"}));
    designWrite->add_option("--volume", dso.volume, "box volume in m^3 (a bandpass box's front chamber)")
        ->required()
        ->transform(Number(0, false));
    designWrite->add_option("--rear", dso.rear, "a bandpass box's rear chamber in m^3")->transform(Number(0, false));
    designWrite->add_option("--fb", dso.fb, "vent tuning in Hz")->transform(Number(0, false));
    designWrite->add_option("--vent-area", dso.ventArea, "area of one vent in m^2 (default: the smallest for Xmax)")
        ->transform(Number(0, false));
    designWrite->add_option("--vents", dso.vents, "number of vents (default 1)")->check(CLI::Range(1, 100));
    designWrite->add_option("--units", dso.units, "number of speaker units (default 1)")->check(CLI::Range(1, 100));
    designWrite->add_flag("--isobaric", dso.isobaric, "units in isobaric pairs (an even count)");
    designWrite->add_option("--stuffing", dso.stuffing, "stuffing in percent")->check(CLI::Range(0.0, 100.0));
    designWrite->add_option("--ql", dso.ql, "leakage loss Q (default 1000)")->transform(Number(0, false));
    designWrite->add_option("--title", dso.title, "design title (79 characters)");
    designWrite->add_option("OUT.DSN", dso.output, "box design file to write")->required();
    const std::function<int()> runDesign = AddDesignAnalysisCommands(*design);

    std::string icfFile;
    CLI::App* icfCommand = app.add_subcommand("icf", "the table of an impedance calibration file");
    icfCommand->add_option("FILE", icfFile, "calibration file (.icf)")->required();

    const std::function<int()> runTs = AddTsCommands(app);

    std::string thdFile;
    uint32_t thdHarmonics = 0x1FF;
    CLI::App* thdCommand = app.add_subcommand("thd", "harmonic distortion of a measurement with harmonics");
    thdCommand->add_option("FILE.MES", thdFile, "measurement file")->required();
    thdCommand->add_option("--harmonics", thdHarmonics, "harmonics counted: bit h-2 for harmonic h (default all)")
        ->transform(Integer(0, 0x1FF));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help is a success; every other parse error is a usage error.
        return app.exit(e) == 0 ? 0 : 2;
    }
    try {
        if (versionCommand->parsed()) return RunVersion();
        if (stringCommand->parsed()) return RunString(stringId);
        if (infoCommand->parsed()) return RunInfo(files);
        if (compensationCommand->parsed()) return RunCompensation(compensationFile);
        if (frCommand->parsed()) return RunFr(fr);
        if (mlsCommand->parsed()) return RunMeasureMls(mls);
        if (etcCommand->parsed()) return RunEtc(ir);
        if (stepCommand->parsed()) return RunStep(ir);
        if (waterfallCommand->parsed()) return RunWaterfall(ir);
        if (invertCommand->parsed()) return RunInvert(ir);
        if (toImpulseCommand->parsed()) return RunToImpulse(ir);
        if (smoothCommand->parsed()) return RunSmooth(cv);
        if (normalizeCommand->parsed()) {
            cv.shiftGiven = normalizeCommand->count("--shift") > 0;
            return RunNormalize(cv);
        }
        if (averageCommand->parsed()) return RunAverage(cv);
        if (mergeCommand->parsed()) return RunMerge(cv);
        if (resampleCommand->parsed()) return RunResample(cv);
        for (size_t i = 0; i < 2; ++i) {
            sine.kind = i == 0 ? "gated" : "sweep";
            if (measureSine[i]->parsed()) return RunMeasureSine(sine);
            if (stimulusSine[i]->parsed()) return RunStimulusSine(sine);
            if (analyseSine[i]->parsed()) return RunAnalyseSine(sine);
        }
        if (thdCommand->parsed()) return RunThd(thdFile, thdHarmonics);
        if (impedanceCommand->parsed()) return RunMeasureImpedance(imp);
        if (calibrateImpedance->parsed()) return RunCalibrateImpedance(imp);
        if (icfCommand->parsed()) return RunIcf(icfFile);
        if (analyseImpedance->parsed()) return RunAnalyseImpedance(imp);
        if (lcrCommand->parsed()) return RunLcr(imp);
        if (calibrateLcr->parsed()) return RunCalibrateLcr(imp);
        if (analyseLcr->parsed()) return RunAnalyseLcr(imp);
        if (zchannels->parsed()) return RunZChannels(zc);
        if (unitShow->parsed()) return RunUnitShow(unitFile);
        if (unitWrite->parsed()) return RunUnitWrite(uo);
        if (designShow->parsed()) return RunDesignShow(designFile);
        if (designWrite->parsed()) return RunDesignWrite(dso);
        if (const int code = runDesign(); code >= 0) return code;
        if (const int code = runTs(); code >= 0) return code;
    } catch (const std::bad_alloc&) {
        return Fail(Status::Error(kStrOutOfMemory));
    }
    return 2;
}

}  // namespace srx::cli
