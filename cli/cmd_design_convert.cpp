// sonrix-cli design convert: the measurement side (the simulation's side is
// in cmd_design.cpp; the two headers cannot meet in one file).
#include <string>

#include "cli/commands.h"
#include "data/native_files.h"
#include "design/design_convert.h"

namespace srx::cli {

int WriteConvertedDesign(const DesignResults& results, int kind, bool cone, const std::string& title,
                         bool keepAbsolute, const std::string& output) {
    Measurement m;
    if (Status s = ConvertDesignCurve(results, kind, cone, title, keepAbsolute, m); !s) return Fail(s);
    if (Status s = SaveMeasurement(m, output); !s) return Fail(s, output);
    Print(Json{{"file", output},
               {"title", FileText(TextOf(m.h.title))},
               {"kind", Value(m.h.curveKind) == kCurveImpedance ? "impedance" : "response"},
               {"points", Value(m.h.pointCount)},
               {"maxLevel", Value(m.h.maxLevel)}});
    return 0;
}

}  // namespace srx::cli
