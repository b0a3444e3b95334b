// sonrix-cli's box designs: a ".DSN" written from a unit file and the box's
// sizes, and a design's effective unit, vent and closed-box figures. SI
// units throughout.
#include <string>

#include "cli/commands.h"
#include "design/box_design.h"
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
    if (Status s = WriteDesignFile(o.output, unit, b); !s) return Fail(s, o.output);
    Json out{{"file", o.output}};
    out.update(DesignJson(unit, b));
    Print(out);
    return 0;
}

}  // namespace srx::cli
