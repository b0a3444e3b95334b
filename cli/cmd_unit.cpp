// sonrix-cli's speaker units: a ".SPK" file's parameters with the derived
// values, and a unit written from the command line. SI units throughout.
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "design/speaker_unit.h"

namespace srx::cli {

namespace {

Json UnitJson(const SpeakerUnit& u) {
    Json out{{"manufacturer", u.manufacturer}, {"model", u.model}, {"notes", u.notes}, {"fs", u.fs},
             {"vas", u.vas},                   {"qes", u.qes},     {"qms", u.qms},     {"re", u.re},
             {"le", u.le},                     {"sd", u.sd},       {"xmax", u.xmax}};
    if (HasRequiredParameters(u)) {
        const DerivedParameters d = ComputeDerivedParameters(u);
        out.update(Json{{"qts", d.qts}, {"cms", d.cms}, {"mms", d.mms}, {"mmd", d.mmd}, {"rms", d.rms}, {"bl", d.bl},
                        {"no", d.no}, {"spl1w", d.spl1w}, {"spl283v", d.spl283v}, {"vd", u.sd * u.xmax}});
    }
    return out;
}

}  // namespace

int RunUnitShow(const std::string& path) {
    SpeakerUnit u;
    if (Status s = ReadSpeakerUnitFile(path, u); !s) return Fail(s, path);
    Json out{{"file", path}};
    out.update(UnitJson(u));
    Print(out);
    return 0;
}

int RunUnitWrite(const UnitOptions& o) {
    SpeakerUnit u;
    u.manufacturer = o.manufacturer, u.model = o.model, u.notes = o.notes;
    u.fs = o.fs, u.vas = o.vas, u.re = o.re, u.le = o.le, u.sd = o.sd, u.xmax = o.xmax;
    double qms = o.qms, qes = o.qes, qts = o.qts;
    // Two of the three Qs give the third, as the entry dialog completes them.
    CompleteQTriangle(qms, qes, qts);
    u.qms = qms, u.qes = qes;
    if (Status s = WriteSpeakerUnitFile(o.output, u); !s) return Fail(s, o.output);
    Json out{{"file", o.output}};
    out.update(UnitJson(u));
    Print(out);
    return 0;
}

}  // namespace srx::cli
