#pragma once
// sonrix-cli as a library, so that the tests run the tool in-process with
// the same parsing and output as the program.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "audio/virtual_device.h"
#include "resources/status.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace srx {
struct DesignResults;
}  // namespace srx

namespace srx::cli {

// The whole tool: parses the command line (argv[0] is the program's name),
// runs the sub-command and returns the exit code: 0 done, 1 the operation
// failed (the program's message on stderr), 2 a usage error.
int Main(int argc, char** argv);

struct FrOptions {
    std::string impulse, output;
    double start = 0;   // Hz; 0: one over the window length
    int ppo = 0;        // 0: the record's own
    int window = -1;    // -1: the record's own
    double length = 0;  // s; 0: the record's window
};

struct MlsOptions {
    std::string device, impulse, response;  // response empty: no frequency response
    int order = 13;
    int passes = 1;
    int rate = 0;                   // Hz; 0: the default (44100)
    std::string reflection;         // "GAIN:FRAMES"; empty: none
    double noise = -200;            // dBFS RMS; -200: none
    std::vector<std::string> virtualSettings;  // "key=value[,key=value...]" over the device's set-up
};

// The analyses of an impulse response: etc, step, waterfall, invert,
// to-impulse. Values left at their defaults take the record's own.
struct IrOptions {
    std::string input, output;
    double lengthMs = NAN;  // etc, step: NaN: the record's duration, at most 100 ms
    int window = -1;      // etc, waterfall: -1: the record's
    int ppo = 0;          // waterfall: 0: the record's class
    double start = 0, end = 0;  // waterfall: Hz; 0: 1 / window length, the rate's limit
    double spanMs = 0;          // waterfall: 0: the record's span (or its window)
    int resolution = -1;        // waterfall: -1: the record's
    bool sliding = false;
    double windowMs = 0;  // to-impulse: time window; 0: the whole record
};

// The curve operations: smooth, normalize, average, merge, resample.
struct CurveOptions {
    std::string input, output, title;
    std::vector<std::string> inputs;  // average
    std::vector<std::string> curves;  // merge: FILE,near|far,VALUE[,rev]
    int fraction = 3, method = 1;     // smooth: 1/N octave, 0 absolute 1 averaged 2 median
    double frequency = 1000;          // normalize
    double shift = 0;                 // normalize --shift (dB) instead of a frequency
    bool shiftGiven = false;
    int average = 0;  // 0 simple, 1 complex
    double splice = 0, baffleMm = 0;
    double start = 0, end = 0;  // resample: 0: the curve's own
    int ppo = 0;
    bool keepLow = false;
};

int RunEtc(const IrOptions& options);
int RunStep(const IrOptions& options);
int RunWaterfall(const IrOptions& options);
int RunInvert(const IrOptions& options);
int RunToImpulse(const IrOptions& options);
int RunSmooth(const CurveOptions& options);
int RunNormalize(const CurveOptions& options);
int RunAverage(const CurveOptions& options);
int RunMerge(const CurveOptions& options);
int RunResample(const CurveOptions& options);

// Gated sine and sweep: `measure`, `stimulus` and `analyse` share the
// settings; `kind` is "gated" or "sweep".
struct SineOptions {
    std::string kind;
    std::string device, output, response, stimulus;
    int rate = 44100, bits = 24, ppo = 3, passes = 1, window = 2;
    double start = 100, stop = 20000;
    double time = 0;       // gated: the gate in s; sweep: s per octave; 0: the settings' default
    double level = 0;      // waveform level, dB
    bool probe = false;    // stereo with the reference on input channel 1
    bool reverse = false;  // sweep from the top down
    std::vector<std::string> virtualSettings;
};

// The impedance measurement and its calibration on the virtual jig.
struct ImpedanceOptions {
    std::string device, output, method = "sweep", calibration;
    int order = 17, passes = 1, box = 1, ppo = 48, rate = 44100, bits = 16;
    double start = 20, stop = 20000, time = 0.5, resistor = 8, level = 0;
    std::vector<std::string> virtualSettings;
    // The L-C-R meter and the analyses of recorded responses.
    double frequency = 1000, preSilence = 0.025;
    std::string response, stimulus;
    bool probe = false;  // add one sample's phase
};

// ImpedanceFromChannels for given channel powers and phases.
struct ZChannelsOptions {
    double p0 = 0, phi0 = 0, p1 = 0, phi1 = 0, frequency = 1000;
    int box = 1, rate = 44100;
    bool probe = false;
    std::string calibration;
};

int RunInfo(const std::vector<std::string>& files);
int RunMeasureImpedance(const ImpedanceOptions& options);
int RunCalibrateImpedance(const ImpedanceOptions& options);
int RunIcf(const std::string& path);
int RunAnalyseImpedance(const ImpedanceOptions& options);

// A speaker unit typed on the command line (SI units; a Q left out is
// derived from the other two).
struct UnitOptions {
    std::string output, manufacturer, model, notes;
    double fs = 0, vas = 0, qes = 0, qms = 0, qts = 0, re = 0, le = 0, sd = 0, xmax = 0;
};
int RunUnitShow(const std::string& path);
int RunUnitWrite(const UnitOptions& options);

// A box design written from a unit file and the box's sizes (SI units).
struct DesignOptions {
    std::string unit, output, type = "closed", title;
    int units = 1, vents = 1;
    bool isobaric = false;
    double volume = 0, rear = 0, fb = 0, ventArea = 0, stuffing = 0, ql = 0;
};
int RunDesignShow(const std::string& path);
int RunDesignWrite(const DesignOptions& options);
// design alignments|analyse|convert on the "design" command; the answer runs
// the one that was parsed, -1 when none was.
std::function<int()> AddDesignAnalysisCommands(CLI::App& design);
// A simulated curve written as a measurement file (apart from the
// simulation: see design/design_convert.h).
int WriteConvertedDesign(const DesignResults& results, int kind, bool cone, const std::string& title,
                         bool keepAbsolute, const std::string& output);
int RunLcr(const ImpedanceOptions& options);
int RunCalibrateLcr(const ImpedanceOptions& options);
int RunAnalyseLcr(const ImpedanceOptions& options);
int RunZChannels(const ZChannelsOptions& options);
int RunMeasureSine(const SineOptions& options);
int RunStimulusSine(const SineOptions& options);
int RunAnalyseSine(const SineOptions& options);
int RunThd(const std::string& path, uint32_t harmonics);
int RunCompensation(const std::string& path);
int RunFr(const FrOptions& options);
int RunMeasureMls(const MlsOptions& options);

// --virtual: one "key=value" onto the device's set-up (and the rate of
// the measurement); answers an error text, empty when taken.
std::string ApplyVirtualSetting(const std::string& item, VirtualSetup& setup, uint32_t& rate);
// All of them; on failure `error` says which and why.
Status ApplyVirtualSettings(const std::vector<std::string>& items, VirtualSetup& setup, uint32_t& rate,
                            std::string& error);
// The keys --virtual takes, for the help text.
std::string VirtualSettingKeys();

// Option checks. Whole decimal numbers in lo..hi only (CLI11's own
// conversion would also take " 7" and "0x10", and read "010" as octal).
CLI::Validator Integer(long long lo, long long hi);
// Finite decimal numbers only (no "inf", "nan" or hexadecimal), at least
// `lo`, or above it when `inclusive` is false.
CLI::Validator Number(double lo, bool inclusive);
// Any finite decimal number.
CLI::Validator Finite();

// The T/S commands (ts ..., jig curve) on `app`; the answer runs the one
// that was parsed, -1 when none was.
std::function<int()> AddTsCommands(CLI::App& app);

// Members stay in the order they are set.
using Json = nlohmann::ordered_json;

// Record headers are packed and JSON takes values by reference (misaligned
// for a packed field): header fields go in as copies.
template <typename T>
T Value(T field) {
    return field;
}

// A whole decimal text as a finite number (no "inf", "nan", hexadecimal
// or trailing characters).
bool ParseFiniteNumber(const std::string& text, double& value);

// One object on one line of stdout. Non-finite numbers come out as null.
void Print(const Json& object);

// A text field of a file as UTF-8: files written by the Windows program hold
// its ANSI (Latin-1) code page, so a text that is not UTF-8 is read as Latin-1.
std::string FileText(const std::string& bytes);

// "sonrix-cli: PATH: message" (no path: "sonrix-cli: message") on stderr.
void Tell(const Status& status, const std::string& path = {});

// Tell, then the exit code of a failed operation.
int Fail(const Status& status, const std::string& path = {});

}  // namespace srx::cli
