// The measurement side of "Convert to measurement" (see design_convert.h
// for why it lives apart from the simulation's curves).
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/records.h"
#include "design/design_convert.h"
#include "resources/string_ids.h"

namespace srx {

Status BuildConvertedMeasurement(const std::vector<double>& frequency, const std::vector<double>& level,
                                 const std::vector<double>* phase, bool impedance, const std::string& designTitle,
                                 bool keepAbsolute, Measurement& out) {
    const size_t n = frequency.size();
    if (n == 0 || level.size() != n || (phase && phase->size() != n)) return Status::Error(kStrDesignNotAnalysed);
    // Stored as floats: anything beyond their range or not a number is no curve.
    const auto bad = [](double v) { return !(std::fabs(v) <= 1e30); };
    for (size_t i = 0; i < n; ++i)
        if (bad(frequency[i]) || !(frequency[i] > 0) || bad(level[i]) || (phase && bad((*phase)[i])))
            return Status::Error(kStrDesignNotAnalysed);
    std::unique_ptr<Measurement> m = NewMeasurement(impedance ? kCurveImpedance : kCurveFrequencyResponse);
    if (!m) return Status::Error(kStrOutOfMemory);
    char title[300];
    std::snprintf(title, sizeof title, "Konverterad - %.200s (%c)", designTitle.c_str(), impedance ? 'Z' : 'A');
    SetText(m->h.title, title);
    m->h.origin = 32767;  // a converted analysis
    if (phase) m->h.flags |= kMesPhase;
    SetText(m->h.setup.inputDevice, "Inget");
    SetText(m->h.setup.outputDevice, "Ingen");
    m->h.setup.frequenciesPerOctave = -1;
    m->h.setup.sineCycles = -1;
    m->h.setup.sweepTimePerOctave = -1;

    double top = kNoLevel;
    for (double v : level) top = std::max(top, v);
    const double shift = impedance || keepAbsolute ? 0 : top;
    for (size_t i = 0; i < n; ++i) {
        if (!m->points.empty() && !(float(frequency[i]) > m->points.back().frequency)) continue;
        if (!AddCurvePoint(*m, frequency[i], level[i] - shift, phase ? (*phase)[i] : 0, kNoLevel, kNoLevel, 0,
                           kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel))
            return Status::Error(kStrOutOfMemory);
    }
    RecomputeMaxLevel(*m);
    out = std::move(*m);
    return Status::Ok();
}

}  // namespace srx
