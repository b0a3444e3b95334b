#include "graph/curves.h"

#include "dsp/numeric.h"

namespace srx {

namespace {
constexpr float kNoData = -499;
bool IsHarmonicSlot(int slot) { return slot >= kSlotDistortion2 && slot <= kSlotThd; }
}  // namespace

double CurvePointValue(const CurvePoint& p, const CurveSource& src) {
    double v = p.value[src.slot];
    switch (src.value) {
        case CurveValue::Raw: return v;
        case CurveValue::Degrees: return v * 180 / kPi;
        case CurveValue::Milliseconds: return v * 1000;
        case CurveValue::Millivolt: return 1000 * SafePow10((v - 112) / 20);
        case CurveValue::DistortionPercent: return DistortionPercent(v, p.value[kSlotLevel]);
    }
    return v;
}

std::vector<CurvePixel> BuildCurve(const std::vector<CurvePoint>& points, const CurveSource& src,
                                   const FrequencyMapping& map, const ScaleDescription& scale, const PlotRect& plot) {
    std::vector<CurvePixel> out;
    if (src.slot < 0 || src.slot >= kSlotCount) return out;
    auto ends = [&](const CurvePoint& p) {
        return (src.levelEnds && p.value[kSlotLevel] < kNoData) ||
               (IsHarmonicSlot(src.slot) && p.value[src.slot] < kNoData);
    };
    for (size_t i = 0; i < points.size(); ++i) {
        const CurvePoint& p = points[i];
        if (ends(p)) break;
        int x = plot.left + map.Map(p.frequency);
        if (x < plot.left && i + 1 < points.size() && !ends(points[i + 1]) &&
            plot.left + map.Map(points[i + 1].frequency) < plot.left)
            continue;
        CurvePixel px{x, scale.Map(CurvePointValue(p, src), plot.top, plot.bottom)};
        if (out.empty() || !(out.back() == px)) out.push_back(px);
        if (x > plot.right) break;
    }
    // A lone point left of the plot is no line.
    if (out.size() == 1 && out[0].x < plot.left) out.clear();
    return out;
}

}  // namespace srx
