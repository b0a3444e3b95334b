// sonrix-cli's box designs: a ".DSN" written from a unit file and the box's
// sizes, a design's effective unit, vent and closed-box figures, the
// alignments a unit is offered, the simulation's curves and their
// conversion to a measurement. SI units throughout.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "design/alignment_file.h"
#include "design/box_design.h"
#include "design/design_convert.h"
#include "design/design_simulation.h"
#include "resources/status_text.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

const char* const kTypeNames[] = {"closed", "vented", "bandpass", "bandpass-dual"};

Json DesignJson(const SpeakerUnit& unit, const BoxDesign& b) {
    Json out{{"title", b.title},       {"type", kTypeNames[b.boxType]}, {"units", b.units},
             {"isobaric", b.isobaric != 0}, {"vb", b.vb},             {"vr", b.vr},
             {"fb", b.fb},             {"sv", b.sv},                    {"vents", b.vents},
             {"stuffing", b.stuffing}, {"ql", b.ql}};
    SpeakerUnit e;
    if (Status s = EffectiveUnit(unit, b.units, b.isobaric != 0, e); !s) {
        out["effective"] = nullptr;
        out["error"] = StatusText(s);
        return out;
    }
    out["effective"] = Json{{"fs", e.fs}, {"vas", e.vas}, {"qes", e.qes}, {"qms", e.qms}, {"re", e.re},
                            {"le", e.le}, {"sd", e.sd},   {"xmax", e.xmax}};
    if (b.boxType == kClosedBox) {
        const ClosedBoxFigures c = ClosedBoxResults(e, b.vb);
        out.update(Json{{"qtc", c.qtc}, {"fc", c.fc}, {"f3", c.f3}, {"efficiency", c.efficiency}});
    } else {
        // The vent of the vented box or of the bandpass box's front chamber.
        double vb = b.vb, fb = b.fb, sv = b.sv, lv = 0;
        const int solved = SolveVent(b.ventEnds, b.vents, vb, fb, sv, lv);
        out["lv"] = solved == 1 ? Json(lv) : Json(nullptr);
        if (solved == -1) out["error"] = "the vent length is negative";
    }
    return out;
}

}  // namespace

int RunDesignShow(const std::string& path) {
    SpeakerUnit unit;
    BoxDesign box;
    if (Status s = ReadDesignFile(path, unit, box); !s) return Fail(s, path);
    Json out{{"file", path}, {"unit", Json{{"manufacturer", unit.manufacturer}, {"model", unit.model}}}};
    out.update(DesignJson(unit, box));
    Print(out);
    return 0;
}

int RunDesignWrite(const DesignOptions& o) {
    SpeakerUnit unit;
    if (Status s = ReadSpeakerUnitFile(o.unit, unit); !s) return Fail(s, o.unit);
    BoxDesign b;
    int type = -1;
    for (int i = 0; i < 3; ++i)
        if (o.type == kTypeNames[i]) type = i;
    if (type < 0) return Fail(Status::Error(kStrBadBoxDesign), o.type);
    b.boxType = type;
    b.title = o.title;
    b.units = static_cast<int16_t>(o.units);
    b.isobaric = o.isobaric ? 1 : 0;
    b.vb = o.volume;
    b.vr = o.rear;
    b.fb = o.fb;
    b.sv = o.ventArea;
    b.vents = static_cast<int16_t>(o.vents);
    b.stuffing = o.stuffing;
    if (o.ql > 0) b.ql = o.ql;
    if (type != kClosedBox && !(b.sv > 0)) {
        // No vent given: the smallest that keeps the air speed down.
        SpeakerUnit e;
        if (EffectiveUnit(unit, b.units, b.isobaric != 0, e).ok()) b.sv = MinimumVentArea(e, b.fb, b.vents);
    }
    if (type != kClosedBox) {
        // The vent length is kept with the box, as the workbench's pages keep it.
        double vb = b.vb, fb = b.fb, sv = b.sv, lv = 0;
        if (SolveVent(b.ventEnds, b.vents, vb, fb, sv, lv) == 1) b.further = lv;
    }
    if (Status s = WriteDesignFile(o.output, unit, b); !s) return Fail(s, o.output);
    Json out{{"file", o.output}};
    out.update(DesignJson(unit, b));
    Print(out);
    return 0;
}

namespace {

// "Alignments" beside this program, as the workbench looks beside its own.
std::string DefaultAlignmentFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("Alignments") : (self.parent_path() / "Alignments").string();
}

struct AnalysisOptions {
    std::string design, output, folder = DefaultAlignmentFolder();
    AnalyzerSettings settings;
    int points = kMaxDesignPoints;
    bool noRadiation = false;
    double qts = 0;
    int kind = 0;
    bool port = false, absolute = false;
};

// The curves by name, in the results' order.
const char* const kCurveNames[kDesignCurveCount] = {
    "total", "cone", "port", "acoustic_phase", "impedance", "electrical_phase", "excursion",
    "cone_velocity", "port_velocity", "group_delay", "xmax_limited", "unwrapped_phase"};

Status Simulate(AnalysisOptions& o, SpeakerUnit& unit, BoxDesign& box, DesignResults& r) {
    if (Status s = ReadDesignFile(o.design, unit, box); !s) return s;
    o.settings.radiation = !o.noRadiation;
    return SimulateDesign(unit, box, o.settings, o.points, r);
}

int RunAlignments(const AnalysisOptions& o) {
    Json closed = Json::array(), vented = Json::array(), bandpass = Json::array();
    for (const ClosedAlignment& a : ClosedAlignmentsFor(o.qts)) closed.push_back(Json{{"name", FileText(a.name)}, {"qtc", a.qtc}});
    for (const VentedAlignment& a : VentedAlignmentsFor(o.folder, o.qts))
        vented.push_back(Json{{"name", FileText(a.name)}, {"ql", a.ql}, {"alpha", a.alpha}, {"h", a.h}});
    for (const BandpassAlignment& a : BandpassAlignmentsFor(o.qts))
        bandpass.push_back(Json{{"name", FileText(a.name)}, {"aT", a.aT}, {"qtc", a.qtc}, {"hc", a.hc}, {"order", a.order}});
    Print(Json{{"qts", o.qts}, {"folder", o.folder}, {"closed", closed}, {"vented", vented}, {"bandpass", bandpass}});
    return 0;
}

int RunAnalyse(AnalysisOptions& o) {
    SpeakerUnit unit;
    BoxDesign box;
    DesignResults r;
    if (Status s = Simulate(o, unit, box, r); !s) return Fail(s, o.design);
    const AnalyzerSettings& st = o.settings;
    Json curves;
    for (int c = 0; c < kDesignCurveCount; ++c) curves[kCurveNames[c]] = r.curves[c];
    const auto peak = std::max_element(r.impulse.begin(), r.impulse.end(),
                                       [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    const auto sample = peak - r.impulse.begin();
    const std::vector<double>& total = r.curves[kCurveTotal];
    Print(Json{{"file", o.design},
               {"type", DefaultDesignTitle(box.boxType)},
               {"settings", Json{{"start", st.start}, {"stop", st.stop}, {"eg", st.eg > 0 ? st.eg : std::sqrt(8.0)},
                                 {"rg", st.rg}, {"temperature", st.temperature}, {"radiation", st.radiation},
                                 {"points", r.frequency.size()}}},
               {"maxTotalDb", *std::max_element(total.begin(), total.end())},
               {"frequency", r.frequency},
               {"curves", curves},
               {"impulse", Json{{"sampleRate", r.sampleRate},
                                {"samples", r.impulse.size()},
                                {"visible", r.visibleImpulse},
                                {"peakSample", sample},
                                {"peakTime", double(sample) / r.sampleRate},
                                {"stepEnd", r.step.empty() ? 0.0 : r.step.back()}}}});
    return 0;
}

int RunConvert(AnalysisOptions& o) {
    SpeakerUnit unit;
    BoxDesign box;
    DesignResults r;
    if (Status s = Simulate(o, unit, box, r); !s) return Fail(s, o.design);
    const std::string title = box.title.empty() ? DefaultDesignTitle(box.boxType) : box.title;
    return WriteConvertedDesign(r, o.kind, !o.port, title, o.absolute, o.output);
}

void AddSettings(CLI::App* c, AnalysisOptions& o) {
    c->add_option("--start", o.settings.start, "first frequency in Hz (default 10)")->transform(Number(1, true));
    c->add_option("--stop", o.settings.stop, "last frequency in Hz, at most 50000 (default 1000)")
        ->transform(Number(1, false));
    c->add_option("--eg", o.settings.eg, "generator voltage in V (default 2.83; 0: sqrt 8)")->transform(Number(0, true));
    c->add_option("--rg", o.settings.rg, "generator impedance in ohm (default 0)")->transform(Number(0, true));
    c->add_option("--temp", o.settings.temperature, "air temperature in degrees C (default 20)")->transform(Finite());
    c->add_flag("--no-radiation", o.noRadiation, "leave out the radiation resistance");
    c->add_option("--points", o.points, "frequency points (default 1024)")->transform(Integer(2, kMaxDesignPoints));
}

}  // namespace

std::function<int()> AddDesignAnalysisCommands(CLI::App& design) {
    auto o = std::make_shared<AnalysisOptions>();
    CLI::App* alignments = design.add_subcommand("alignments", "the closed, vented and bandpass alignments of a Qts");
    alignments->add_option("--qts", o->qts, "the unit's total Q")->required()->transform(Number(0, false));
    alignments->add_option("--folder", o->folder, "folder of the .ALN files (default: Alignments beside this program)");

    CLI::App* analyse = design.add_subcommand("analyse", "simulate a design: its curves, impulse and step");
    analyse->add_option("F.DSN", o->design, "box design file")->required();
    AddSettings(analyse, *o);

    CLI::App* convert = design.add_subcommand("convert", "a simulated curve as a measurement file");
    convert->add_option("F.DSN", o->design, "box design file")->required();
    convert->add_option("--kind", o->kind, "analysis kind: 3200..3205, 3207..3209")->required()->transform(Integer(3200, 3218));
    convert->add_flag("--port", o->port, "kind 3209: the port response instead of the cone's");
    convert->add_flag("--absolute", o->absolute, "keep the absolute levels");
    convert->add_option("OUT.MES", o->output, "measurement file to write")->required();
    AddSettings(convert, *o);

    return [o, alignments, analyse, convert]() -> int {
        if (alignments->parsed()) return RunAlignments(*o);
        if (analyse->parsed()) return RunAnalyse(*o);
        if (convert->parsed()) return RunConvert(*o);
        return -1;
    };
}

}  // namespace srx::cli
