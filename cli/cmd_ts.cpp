// sonrix-cli ts ... and jig curve: Thiele-Small parameters from impedance
// curves (".MES"), and the virtual jig's exact impedance curve of a driver
// to check them against. SI units in and out; JSON keys are the T/S
// fields' names in lower case.
#include <cmath>
#include <complex>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "audio/virtual_device.h"
#include "cli/commands.h"
#include "data/native_files.h"
#include "design/ts_measurement.h"
#include "dsp/numeric.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

struct TsOptions {
    std::string input, loaded, output;
    double re = 0, sd = 0, xmax = 0, mass = 0, box = 0;
    double fs = 0, qms = 0, qes = 0;
};

struct JigCurveOptions {
    std::vector<std::string> driver;
    std::string output, title = "Virtual jig";
    int ppo = 96, rate = 0;
    double start = 10, stop = 20000;
};

Json ValuesJson(const MeasuredValues& v) {
    Json out{{"re", v.re}, {"sd", v.sd},   {"mmd", v.mmd}, {"xmax", v.xmax}, {"addedload", v.addedLoad},
             {"fs", v.fs}, {"qms", v.qms}, {"qes", v.qes}, {"qts", v.qts},   {"le", v.le}};
    if (v.hasMass)
        out.update(Json{{"mms", v.mms},
                        {"cms", v.cms},
                        {"vas", v.vas},
                        {"rms", v.rms},
                        {"bl", v.bl},
                        {"no", v.no},
                        {"spl1w", v.spl1w},
                        {"spl283v", v.spl283v}});
    return out;
}

// An impedance curve from a file, with Re from --re when given.
Status LoadImpedance(const std::string& path, double re, Measurement& m) {
    if (Status s = LoadMeasurement(path, m); !s) return s;
    if (Status s = CheckTsCurve(m); !s) return s;
    if (re > 0) m.h.tsBlock[kTsRe] = re;
    return Status::Ok();
}

int RunAnalyse(const TsOptions& o) {
    Measurement m;
    if (Status s = LoadImpedance(o.input, o.re, m); !s) return Fail(s, o.input);
    if (Status s = AnalyseImpedance(m); !s) return Fail(s, o.input);
    Json out{{"file", o.input}, {"method", Value(m.h.method)}};
    out.update(ValuesJson(MeasuredValuesOf(m.h)));
    Print(out);
    return 0;
}

int RunScan(const TsOptions& o) {
    Measurement m;
    double re = 0;
    if (Status s = LoadImpedance(o.input, 0, m); !s) return Fail(s, o.input);
    if (Status s = ScanRevc(m, re); !s) return Fail(s, o.input);
    Print(Json{{"file", o.input}, {"re", re}});
    return 0;
}

int RunTwoCurve(const TsOptions& o) {
    if (SameFile(o.input, o.loaded)) return Fail(Status::Error(kStrSameCurves), o.loaded);
    Measurement freeAir, loaded;
    if (Status s = LoadImpedance(o.input, 0, freeAir); !s) return Fail(s, o.input);
    if (Status s = LoadImpedance(o.loaded, 0, loaded); !s) return Fail(s, o.loaded);
    TwoCurveInput in;
    in.method = o.box > 0 ? kTsTestBox : kTsAddedMass;
    in.re = o.re > 0 ? o.re : freeAir.h.tsBlock[kTsRe];
    in.sd = o.sd, in.xmax = o.xmax;
    in.load = o.box > 0 ? o.box : o.mass;
    if (Status s = RunTwoCurveMethod(freeAir, loaded, in); !s) return Fail(s);
    Print(Json{{"free", o.input},
               {"loaded", o.loaded},
               {"method", in.method == kTsTestBox ? "test box" : "added mass"},
               {"suggested", SuggestTwoCurveMethod(freeAir, loaded) == kTsTestBox ? "test box" : "added mass"},
               {"freeair", ValuesJson(MeasuredValuesOf(freeAir.h))},
               {"loadedcurve", ValuesJson(MeasuredValuesOf(loaded.h))}});
    return 0;
}

int RunBoxloss(const TsOptions& o) {
    Measurement m;
    if (Status s = LoadImpedance(o.input, o.re, m); !s) return Fail(s, o.input);
    TwoPeaks p;
    if (Status s = FindTwoPeaks(m, p); !s) return Fail(s, o.input);
    // Until the free-air resonance is given, the one the peaks imply stands in.
    const BoxTuning t = BoxTuningOf(p, o.fs);
    const double fs = o.fs > 0 ? o.fs : t.fsb;
    Json out{{"file", o.input}, {"fl", p.fL}, {"fb", p.fB},   {"fh", p.fH},       {"zl", p.zL},
             {"zb", p.zB},      {"zh", p.zH}, {"fsb", t.fsb}, {"alpha", t.alpha}, {"h", t.h}};
    if (o.qms > 0 || o.qes > 0) {
        double ql = 0;
        if (Status s = BoxLossQ(p, fs, m.h.tsBlock[kTsRe], o.qms, o.qes, ql); !s) return Fail(s, o.input);
        out["fs"] = fs, out["re"] = Value(m.h.tsBlock[kTsRe]), out["qms"] = o.qms, out["qes"] = o.qes;
        out["ql"] = ql;
    }
    Print(out);
    return 0;
}

// remove-le and curve-fit: one curve in, one written.
int RunCurveOperation(const TsOptions& o, bool fit) {
    if (SameFile(o.input, o.output)) return Fail(Status::Error(kStrOutputIsInput, {o.output}));
    Measurement m;
    if (Status s = LoadImpedance(o.input, o.re, m); !s) return Fail(s, o.input);
    Json out{{"file", o.output}};
    std::unique_ptr<Measurement> result;
    if (fit) {
        if (Status s = CurveFitImpedance(m, result); !s) return Fail(s, o.input);
    } else {
        double le = 0;
        if (Status s = RemoveInductance(m, &le); !s) return Fail(s, o.input);
        out["removedle"] = le;
        result = std::make_unique<Measurement>(std::move(m));
    }
    if (Status s = SaveMeasurement(*result, o.output); !s) return Fail(s, o.output);
    out["points"] = Value(result->h.pointCount);
    out.update(ValuesJson(MeasuredValuesOf(result->h)));
    Print(out);
    return 0;
}

// --driver: the keys of the virtual jig's settings that describe a driver.
const std::set<std::string> kDriverKeys = {"re",  "le",   "fs",  "qms",   "qes", "sd",
                                           "vas", "mass", "box", "alpha", "fb",  "ql"};

int RunJigCurve(const JigCurveOptions& o) {
    VirtualSetup setup;
    setup.mode = VirtualMode::kImpedanceJig;
    uint32_t unusedRate = 0;
    std::set<std::string> given;
    for (const std::string& item : o.driver) {
        const std::string key = item.substr(0, item.find('='));
        if (!kDriverKeys.count(key)) {
            std::cerr << "sonrix-cli: --driver: unknown key " << key << " (re, le, fs, qms, qes, sd, vas, mass, box, "
                      << "alpha, fb, ql)" << std::endl;
            return 2;
        }
        if (const std::string error = ApplyVirtualSetting(item, setup, unusedRate); !error.empty()) {
            std::cerr << "sonrix-cli: --driver: " << error << std::endl;
            return 2;
        }
        given.insert(key);
    }
    for (const char* key : {"re", "le", "fs", "qms", "qes"}) {
        if (!given.count(key)) {
            std::cerr << "sonrix-cli: --driver: " << key << "= is required" << std::endl;
            return 2;
        }
    }
    VirtualDriver& d = setup.driver;
    d.vented = given.count("alpha") || given.count("fb") || given.count("ql");
    if ((d.mass > 0 || d.box > 0) && !(d.sd > 0 && d.vas > 0)) {
        std::cerr << "sonrix-cli: --driver: mass and box need sd and vas (the moving mass follows from them)"
                  << std::endl;
        return 2;
    }
    if (d.box > 0 && d.vented) {
        std::cerr << "sonrix-cli: --driver: a test box (box) and a vented box (alpha, fb, ql) exclude each other"
                  << std::endl;
        return 2;
    }
    if (!(o.stop > o.start)) {
        std::cerr << "sonrix-cli: --stop must lie above --start" << std::endl;
        return 2;
    }
    if (o.rate > 0 && !(o.stop < o.rate / 2.0)) {
        std::cerr << "sonrix-cli: --stop must lie below half the --rate" << std::endl;
        return 2;
    }
    const VirtualTruth truth(setup, uint32_t(o.rate));
    std::unique_ptr<Measurement> m = NewMeasurement(kCurveImpedance);
    if (!m) return Fail(Status::Error(kStrOutOfMemory));
    SetText(m->h.title, o.title);
    m->h.flags |= kMesPhase;
    m->h.setup.frequenciesPerOctave = o.ppo;
    m->h.setup.sineCycles = -1;
    m->h.setup.sweepTimePerOctave = -1;
    for (long k = 0;; ++k) {
        const double f = o.start * std::exp2(double(k) / o.ppo);
        if (f > o.stop * (1 + 1e-9)) break;
        const std::complex<double> z = truth.JigImpedance(f);
        if (!AddCurvePoint(*m, f, std::abs(z), std::arg(z), kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel,
                           kNoLevel, kNoLevel, kNoLevel, kNoLevel))
            return Fail(Status::Error(kStrOutOfMemory));
    }
    if (Status s = SaveMeasurement(*m, o.output); !s) return Fail(s, o.output);
    Print(Json{{"file", o.output},
               {"points", Value(m->h.pointCount)},
               {"firstFrequency", Value(m->h.firstFrequency)},
               {"lastFrequency", Value(m->h.lastFrequency)},
               {"rate", o.rate},
               {"driver", Json{{"re", d.re},
                               {"le", d.le},
                               {"fs", d.fs},
                               {"qms", d.qms},
                               {"qes", d.qes},
                               {"sd", d.sd},
                               {"vas", d.vas},
                               {"mass", d.mass},
                               {"box", d.box},
                               {"vented", d.vented},
                               {"alpha", d.alpha},
                               {"fb", d.fb},
                               {"ql", d.ql}}}});
    return 0;
}

}  // namespace

std::function<int()> AddTsCommands(CLI::App& app) {
    auto o = std::make_shared<TsOptions>();
    auto jig = std::make_shared<JigCurveOptions>();
    CLI::App* ts = app.add_subcommand("ts", "Thiele-Small parameters from impedance curves (.MES), SI units");
    ts->require_subcommand(1);
    const auto reOption = [&](CLI::App* c, const char* help) {
        c->add_option("--re", o->re, help)->transform(Number(0, false));
    };

    CLI::App* analyse = ts->add_subcommand("analyse", "Fs, Qms, Qes, Qts and Le of a free-air curve");
    analyse->add_option("Z.MES", o->input, "impedance curve")->required();
    reOption(analyse, "voice-coil D.C. resistance in ohm (default: the curve's)");

    CLI::App* scan = ts->add_subcommand("scan", "estimate Re: 0.8 x the smallest |Z| of the curve");
    scan->add_option("Z.MES", o->input, "impedance curve")->required();

    CLI::App* two = ts->add_subcommand("two-curve", "Mmd, Vas and the rest from a free-air and a loaded curve");
    two->add_option("FREE.MES", o->input, "free-air curve")->required();
    two->add_option("LOADED.MES", o->loaded, "curve with the added mass or in the test box")->required();
    reOption(two, "voice-coil D.C. resistance in ohm (default: the free-air curve's)");
    two->add_option("--sd", o->sd, "cone area in m^2 (needed by --box)")->transform(Number(0, false));
    two->add_option("--xmax", o->xmax, "linear excursion in m, one way")->transform(Number(0, false));
    CLI::Option* mass = two->add_option("--mass", o->mass, "added mass in kg")->transform(Number(0, false));
    CLI::Option* box = two->add_option("--box", o->box, "test box volume in m^3")->transform(Number(0, false));
    mass->excludes(box);

    CLI::App* boxloss = ts->add_subcommand("boxloss", "alpha, h and the loss QL of a vented box from its two peaks");
    boxloss->add_option("Z.MES", o->input, "impedance curve of the driver in the vented box")->required();
    boxloss->add_option("--fs", o->fs, "free-air resonance in Hz (default: fL fH / fB)")->transform(Number(0, false));
    reOption(boxloss, "voice-coil D.C. resistance in ohm (default: the curve's)");
    boxloss->add_option("--qms", o->qms, "free-air Qms; with --qes gives QL")->transform(Number(0, false));
    boxloss->add_option("--qes", o->qes, "free-air Qes; with --qms gives QL")->transform(Number(0, false));

    CLI::App* removeLe = ts->add_subcommand("remove-le", "the curve without the voice-coil inductance (1..2 kHz mean)");
    CLI::App* fit = ts->add_subcommand("curve-fit", "the model curve of the analysed parameters");
    for (CLI::App* c : {removeLe, fit}) {
        c->add_option("IN.MES", o->input, "impedance curve")->required();
        c->add_option("OUT.MES", o->output, "curve to write")->required();
        reOption(c, "voice-coil D.C. resistance in ohm (default: the curve's)");
    }

    CLI::App* jigCommand = app.add_subcommand("jig", "the virtual impedance jig's exact truth");
    jigCommand->require_subcommand(1);
    CLI::App* curve = jigCommand->add_subcommand("curve", "a driver's impedance curve as the jig has it, into OUT.MES");
    curve
        ->add_option("--driver", jig->driver,
                     "re=OHM,le=H,fs=HZ,qms=Q,qes=Q[,sd=M2,vas=M3,mass=KG,box=M3,alpha=VAS/VB,fb=HZ,ql=Q]: "
                     "mass and box need sd and vas; alpha, fb or ql make it a vented box")
        ->required()
        ->delimiter(',');
    curve->add_option("--ppo", jig->ppo, "points per octave")->transform(Integer(1, 1000))->capture_default_str();
    curve->add_option("--start", jig->start, "first frequency in Hz, at least 0.001")
        ->transform(Number(0, false))
        ->check(CLI::Range(0.001, kTsMaxFrequency))
        ->capture_default_str();
    curve->add_option("--stop", jig->stop, "last frequency in Hz, at most 1 MHz")
        ->transform(Number(0, false))
        ->check(CLI::Range(0.0, kTsMaxFrequency))
        ->capture_default_str();
    curve->add_option("--rate", jig->rate, "sample rate whose frequency warping to include (default 0: none)")
        ->check(CLI::IsMember([] {
            std::vector<int> rates{0};
            for (uint32_t r : kVirtualRates) rates.push_back(int(r));
            return rates;
        }()));
    curve->add_option("--title", jig->title, "title of the curve")->capture_default_str();
    curve->add_option("OUT.MES", jig->output, "impedance curve to write")->required();

    return [=]() -> int {
        if (analyse->parsed()) return RunAnalyse(*o);
        if (scan->parsed()) return RunScan(*o);
        if (two->parsed()) return RunTwoCurve(*o);
        if (boxloss->parsed()) return RunBoxloss(*o);
        if (removeLe->parsed()) return RunCurveOperation(*o, false);
        if (fit->parsed()) return RunCurveOperation(*o, true);
        if (curve->parsed()) return RunJigCurve(*jig);
        return -1;
    };
}

}  // namespace srx::cli
