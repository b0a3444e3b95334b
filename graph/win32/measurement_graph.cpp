// The measurement graph: frequency response and impedance curves of one
// record, or of several in multigraph mode, with their scales, information
// line and legend.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/view_flags.h"
#include "graph/curves.h"
#include "graph/readout.h"
#include "graph/win32/graph_canvas.h"

namespace srx {

namespace {

constexpr int kMinPlotHeight = 35;
constexpr int kMinPlotBesideLegend = 15;

const ScaleDescription* FindScale(const std::vector<ScaleDescription>& scales, ScaleKind kind) {
    for (const ScaleDescription& s : scales)
        if (s.kind == kind) return &s;
    return nullptr;
}

bool IsImpedance(const Measurement& m) { return m.h.curveKind == kCurveImpedance; }

// The legend's text of curve i: the given name, else the file name of the
// record's path, else its title.
std::string LegendName(const MeasurementGraphInput& in, size_t i) {
    if (i < in.names.size() && !in.names[i].empty()) return in.names[i];
    const Measurement& m = *in.records[i];
    std::string path = TextOf(m.h.path);
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) path = path.substr(slash + 1);
    return path.empty() ? TextOf(m.h.title) : path;
}

// One drawn curve: which values, on which scale, in which colour.
struct CurvePlan {
    const Measurement* record;
    CurveSource source;
    ScaleKind scale;
    uint32_t colour;
    bool wrapped;  // wrapped phase: no line across a wrap
};

std::vector<CurvePlan> PlanCurves(const MeasurementGraphInput& in, const GraphPaint& paint, const GraphCanvas& canvas) {
    std::vector<CurvePlan> plans;
    const uint32_t f = paint.flags;
    const int ps = SelectedPhaseSlot(f);
    const int gs = SelectedGroupDelaySlot(f);
    const uint32_t dist = paint.distortionFlags & 0x3FF;
    const bool percent = f & kGraphDistortionPercent;
    for (size_t i = 0; i < in.records.size(); ++i) {
        const Measurement& m = *in.records[i];
        const CurveStyle& st = canvas.Style(static_cast<int>(i));
        const bool z = IsImpedance(m);
        if (f & kGraphAmplitude) {
            if (z)
                plans.push_back(
                    {&m, {kSlotLevel, CurveValue::Raw, false}, ScaleKind::Impedance, st.impedanceColour, false});
            else if (f & kGraphLinearAmplitude)
                plans.push_back(
                    {&m, {kSlotLevel, CurveValue::Millivolt, true}, ScaleKind::Millivolt, st.colour, false});
            else plans.push_back({&m, {kSlotLevel, CurveValue::Raw, true}, ScaleKind::Level, st.colour, false});
        }
        if (ps >= 0 && RecordHasSlot(m, ps)) {
            const bool wrapped = !(f & kGraphPhaseUnwrapped);
            plans.push_back({&m, {ps, CurveValue::Degrees, !z}, ScaleKind::Phase, st.phaseColour, wrapped});
        }
        if (gs >= 0 && RecordHasSlot(m, gs))
            plans.push_back(
                {&m, {gs, CurveValue::Milliseconds, !z}, ScaleKind::GroupDelay, st.groupDelayColour, false});
        if (!z && dist && (m.h.flags & kMesDistortion)) {
            for (int b = 0; b < 10; ++b) {
                if (!(dist >> b & 1)) continue;
                const int slot = kSlotDistortion2 + b;
                const uint32_t colour = b == 9 ? st.groupDelayColour : st.shades[std::min(b, 6)];
                if (percent)
                    plans.push_back(
                        {&m, {slot, CurveValue::DistortionPercent, true}, ScaleKind::Distortion, colour, false});
                else plans.push_back({&m, {slot, CurveValue::Raw, true}, ScaleKind::Level, colour, false});
            }
        }
    }
    return plans;
}

// Scale colours: in a single graph each scale takes its curve's colour so
// that it is clear which scale belongs to which curve.
void ColourScales(std::vector<ScaleDescription>& scales, const GraphCanvas& canvas, bool multigraph) {
    const CurveStyle& st = canvas.Style(0);
    for (ScaleDescription& s : scales) {
        if (multigraph) {
            s.colour = Settings().window.appearance.screenColours.text;
            if (canvas.paint().printerColours) s.colour = Settings().window.appearance.printerColours.text;
            continue;
        }
        switch (s.kind) {
            case ScaleKind::Level:
            case ScaleKind::Millivolt: s.colour = st.colour; break;
            case ScaleKind::Impedance: s.colour = st.impedanceColour; break;
            case ScaleKind::Phase: s.colour = st.phaseColour; break;
            case ScaleKind::GroupDelay: s.colour = st.groupDelayColour; break;
            case ScaleKind::Distortion: s.colour = st.shades[0]; break;
            default: s.colour = st.colour; break;
        }
    }
}

// Splits a wrapped-phase polyline where it jumps across most of the plot.
std::vector<std::vector<CurvePixel>> SplitAtWraps(std::vector<CurvePixel> pts, int plotHeight) {
    std::vector<std::vector<CurvePixel>> parts;
    std::vector<CurvePixel> current;
    for (size_t i = 0; i < pts.size(); ++i) {
        if (!current.empty() && std::abs(pts[i].y - current.back().y) * 4 > plotHeight * 3) {
            parts.push_back(std::move(current));
            current.clear();
        }
        current.push_back(pts[i]);
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

void DisplayedRange(const MeasurementGraphInput& in, double* fmin, double* fmax) {
    double lo = in.fmin, hi = in.fmax;
    if (!(lo > 0) || !(hi > lo)) {
        lo = 1e300;
        hi = 0;
        for (const Measurement* m : in.records) {
            double a = m->displayFirstFrequency > 0 ? m->displayFirstFrequency : m->h.firstFrequency;
            double b = m->displayLastFrequency > 0 ? m->displayLastFrequency : m->h.lastFrequency;
            if (in.records.size() > 1) {
                // A multigraph spans all its curves.
                a = m->h.firstFrequency;
                b = m->h.lastFrequency;
            }
            lo = std::min(lo, a);
            hi = std::max(hi, b);
        }
    }
    if (!(lo > 0) || lo > 1e299) lo = 1;
    if (!(hi > lo)) hi = lo * 10;
    *fmin = lo;
    *fmax = hi;
}

void DrawInfoAndLegend(GraphCanvas& canvas, const FrameLayout& frame, const MeasurementGraphInput& in,
                       const GraphPaint& paint, bool multigraph, int legendRows, const RECT& area) {
    int y = frame.infoTop;
    const int x0 = frame.plot.left;
    double lo = 1e300, hi = 0;
    int count = 0;
    for (const Measurement* m : in.records) {
        lo = std::min(lo, m->h.firstFrequency);
        hi = std::max(hi, m->h.lastFrequency);
        count += static_cast<int>(m->points.size());
    }
    if (lo > hi) lo = hi = 0;
    std::string line = FrequencyRangeLine(lo, hi, count, multigraph);
    // A curve asked for but not there would otherwise just be missing.
    for (const Measurement* m : in.records) {
        const std::string hint = MissingCurveHint(*m, paint.flags);
        if (hint.empty()) continue;
        line += "   " + hint;
        break;
    }
    canvas.InfoText(x0, y, line, canvas.TextColour());
    if (!multigraph || legendRows <= 0) return;

    const uint32_t f = paint.flags;
    const int ps = SelectedPhaseSlot(f), gs = SelectedGroupDelaySlot(f);
    const int swatch = std::max(4, (canvas.InfoHeight() * 2) / 3);
    const int columnWidth = (area.right - frame.plot.left) / 2;
    for (size_t i = 0; i < in.records.size(); ++i) {
        const Measurement& m = *in.records[i];
        const CurveStyle& st = canvas.Style(static_cast<int>(i));
        const int row = static_cast<int>(i) % legendRows, column = static_cast<int>(i) / legendRows;
        int x = x0 + column * columnWidth;
        const int ly = y + (row + 1) * frame.lineHeight;
        const int sy = ly + (canvas.InfoHeight() - swatch) / 2;
        // One swatch per quantity the curve shows.
        std::vector<uint32_t> colours;
        if (f & kGraphAmplitude) colours.push_back(IsImpedance(m) ? st.impedanceColour : st.colour);
        if (ps >= 0 && RecordHasSlot(m, ps)) colours.push_back(st.phaseColour);
        if (gs >= 0 && RecordHasSlot(m, gs)) colours.push_back(st.groupDelayColour);
        for (uint32_t c : colours) {
            canvas.FillBox(RECT{x, sy, x + swatch, sy + swatch}, canvas.Colour(c));
            x += swatch + 2;
        }
        char text[400];
        std::snprintf(text, sizeof text, "%d: %s", static_cast<int>(i) + 1, LegendName(in, i).c_str());
        canvas.InfoText(x + 2, ly, text, canvas.TextColour());
    }
}

}  // namespace

bool PaintMeasurementGraph(HDC dc, const RECT& area, const MeasurementGraphInput& in, const GraphPaint& paint,
                           GraphGeometry* geometry) {
    if (geometry) *geometry = GraphGeometry{};
    std::vector<const Measurement*> records;
    for (const Measurement* m : in.records)
        if (m) records.push_back(m);
    if (records.empty()) return false;
    MeasurementGraphInput input = in;
    input.records = records;

    const bool multigraph = (paint.flags & kPaintMultigraph) != 0;
    const bool output = (paint.flags & kPaintOutput) != 0;
    const int legendRows = multigraph && !output ? static_cast<int>((records.size() + 1) / 2) : 0;
    const int infoLines = output ? 0 : 1;
    // The plot must be tall enough on its own, and still usable beside the legend.
    const int minText = MinTextHeight(paint);
    if (LayOutFrame(area, infoLines, minText).plot.Height() < kMinPlotHeight) return false;
    const FrameLayout frame = LayOutFrame(area, infoLines + legendRows, minText);
    if (frame.plot.Height() < (legendRows ? kMinPlotBesideLegend : kMinPlotHeight)) return false;

    GraphCanvas canvas(dc, paint, true);
    if (output) canvas.FillBox(area, canvas.Background());
    canvas.SetAxisFont(frame.axisHeight);
    canvas.SetInfoFont(frame.infoHeight);

    double fmin, fmax;
    DisplayedRange(input, &fmin, &fmax);
    MeasurementScalesInput si;
    si.records = records;
    si.viewFlags = paint.flags;
    si.distortionFlags = paint.distortionFlags;
    // The axis widens the range to its label grid; the scales must hold
    // every curve it shows.
    DisplayedFrequencyRange(fmin, fmax, (paint.flags & kGraphLinearFrequency) != 0, &si.fmin, &si.fmax);
    std::vector<ScaleDescription> scales = MeasurementScales(si, Settings().window.scales);
    ColourScales(scales, canvas, multigraph);

    PlotRect plot = frame.plot;
    const ScalesLayout scalesLayout = VerticalScales(canvas, plot, scales);
    // At most four scales fit; curves of a scale left out are not drawn.
    std::vector<ScaleDescription> shown;
    for (const ScaleLayout& sl : scalesLayout.scales) shown.push_back(sl.desc);
    const FrequencyMapping map = FrequencyAxis(canvas, plot, fmin, fmax, (paint.flags & kGraphLinearFrequency) != 0);
    canvas.Watermark(plot);

    canvas.ClipTo(plot);
    for (const CurvePlan& c : PlanCurves(input, paint, canvas)) {
        const ScaleDescription* scale = FindScale(shown, c.scale);
        if (!scale) continue;
        std::vector<CurvePixel> pts = BuildCurve(c.record->points, c.source, map, *scale, plot);
        const int index = static_cast<int>(std::find(records.begin(), records.end(), c.record) - records.begin());
        const int monoStyle = static_cast<int>(canvas.Style(index).penStyle % 5);
        if (c.wrapped) {
            for (const auto& part : SplitAtWraps(std::move(pts), plot.Height()))
                canvas.Curve(part, canvas.Colour(c.colour), monoStyle);
        } else {
            canvas.Curve(pts, canvas.Colour(c.colour), monoStyle);
        }
    }
    canvas.Unclip();
    canvas.FrameBox(plot, canvas.FrameColour());

    if (!output) DrawInfoAndLegend(canvas, frame, input, paint, multigraph, legendRows, area);

    if (geometry) {
        geometry->valid = true;
        geometry->plot = plot;
        geometry->map = map;
        geometry->scales = shown;
        geometry->flags = paint.flags;
        geometry->distortionFlags = paint.distortionFlags;
    }
    return true;
}

}  // namespace srx
