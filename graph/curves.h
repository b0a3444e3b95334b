#pragma once
// Curves of a measurement graph as polylines in pixels: which value of each
// point is drawn, how it maps, and where a curve starts and stops.
#include <vector>

#include "data/records.h"
#include "graph/axes.h"
#include "graph/scales.h"

namespace srx {

struct CurvePixel {
    int x, y;
    bool operator==(const CurvePixel&) const = default;
};

// How the value of a slot becomes a number on its scale.
enum class CurveValue {
    Raw,                // as stored (dB, ohm)
    Degrees,            // phase slots, radians -> degrees
    Milliseconds,       // group delay slots, s -> ms
    Millivolt,          // level slot on the linear amplitude scale
    DistortionPercent,  // harmonic slot relative to the level
};

struct CurveSource {
    int slot = kSlotLevel;
    CurveValue value = CurveValue::Raw;
    // Frequency-response records end at a level below -499 dB; impedance
    // records keep ohms in slot 0 and never do.
    bool levelEnds = true;
};

double CurvePointValue(const CurvePoint& p, const CurveSource& src);

// The polyline of one curve in absolute pixels. Consecutive points on the
// same pixel merge; points left of the plot are dropped while the next one
// is also left of it (so the line still enters from the edge); the curve
// ends after the first point right of the plot, and before the first point
// whose level (or, for harmonics, own value) is below -499 dB.
std::vector<CurvePixel> BuildCurve(const std::vector<CurvePoint>& points, const CurveSource& src,
                                   const FrequencyMapping& map, const ScaleDescription& scale, const PlotRect& plot);

}  // namespace srx
