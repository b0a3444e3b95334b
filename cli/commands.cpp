// sonrix-cli's command line (CLI11) and what every command shares: JSON out,
// the program's own messages on stderr.
#include "cli/commands.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <iostream>
#include <new>
#include <system_error>
#include <utility>

#include <CLI/CLI.hpp>

#include "resources/status_text.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

#ifndef SRX_VERSION
#define SRX_VERSION "2.20"
#endif

namespace srx::cli {

namespace {

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

    std::string icfFile;
    CLI::App* icfCommand = app.add_subcommand("icf", "the table of an impedance calibration file");
    icfCommand->add_option("FILE", icfFile, "calibration file (.icf)")->required();

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
    } catch (const std::bad_alloc&) {
        return Fail(Status::Error(kStrOutOfMemory));
    }
    return 2;
}

}  // namespace srx::cli
