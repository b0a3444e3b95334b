// Impulse, step and energy-time graphs: one sampled curve over a time axis,
// and the two markers of the analysis time window.
#include <algorithm>
#include <cmath>

#include "data/view_flags.h"
#include "graph/time_graph.h"
#include "graph/win32/graph_canvas.h"

namespace srx {

namespace {

constexpr int kMinTimePlotHeight = 25;

struct TimePlot {
    PlotRect plot;
    TimeAxisLayout time;
    ScaleDescription scale;
};

// Frame, scale, axis and watermark of a time graph; false when too small.
bool PaintTimeFrame(GraphCanvas& canvas, const RECT& area, ScaleDescription scale, double t0, double t1,
                    TimePlot* out) {
    const FrameLayout frame = LayOutFrame(area, 0, MinTextHeight(canvas.paint()));
    if (frame.plot.Height() < kMinTimePlotHeight) return false;
    if (canvas.paint().flags & kPaintOutput) canvas.FillBox(area, canvas.Background());
    canvas.SetAxisFont(frame.axisHeight);
    scale.colour = canvas.paint().printerColours ? Settings().window.appearance.printerColours.text
                                                 : Settings().window.appearance.screenColours.text;
    out->plot = frame.plot;
    const ScalesLayout layout = VerticalScales(canvas, out->plot, {scale});
    out->scale = layout.scales.empty() ? scale : layout.scales.front().desc;
    out->time = TimeAxis(canvas, out->plot, !canvas.paint().screen, frame.axisHeight, t0, t1);
    canvas.Watermark(out->plot);
    return true;
}

// The two dotted markers; their columns go to the geometry.
void PaintMarkers(GraphCanvas& canvas, const TimePlot& tp, TimeWindowEdges edges, GraphGeometry* geometry) {
    const int xs = tp.plot.left + tp.time.Map(edges.start);
    const int xe = tp.plot.left + tp.time.Map(edges.end);
    for (int x : {xs, xe})
        if (x >= tp.plot.left && x <= tp.plot.right)
            canvas.Line(x, tp.plot.top + 1, x, tp.plot.bottom, canvas.LineColour(), PS_DOT);
    if (geometry) {
        geometry->markers = true;
        geometry->markerStartX = xs;
        geometry->markerEndX = xe;
    }
}

void FillGeometry(GraphGeometry* geometry, const TimePlot& tp, const GraphPaint& paint) {
    if (!geometry) return;
    geometry->valid = true;
    geometry->plot = tp.plot;
    geometry->time = tp.time;
    geometry->scales = {tp.scale};
    geometry->flags = paint.flags;
}

}  // namespace

bool PaintImpulseGraph(HDC dc, const RECT& area, TimeRecord& record, const GraphPaint& paint, GraphGeometry* geometry,
                       bool windowMarkers) {
    if (geometry) *geometry = GraphGeometry{};
    const double rate = record.h.sampleRate;
    if (record.samples.empty() || rate < 1) return false;
    if (LayOutFrame(area, 0, MinTextHeight(paint)).plot.Height() < kMinTimePlotHeight) return false;
    SettleImpulseRange(record);

    GraphCanvas canvas(dc, paint, false);
    const ScaleDescription scale = ImpulseScale(ImpulsePeak(record), record.amplitudeZoom);
    TimePlot tp;
    if (!PaintTimeFrame(canvas, area, scale, record.displayTimeStart, record.displayTimeEnd, &tp)) return false;
    // The scale counts in volts or millivolts; the samples are volts.
    const double factor = tp.scale.unit == "mV" ? 1000.0 : 1.0;

    canvas.ClipTo(tp.plot);
    canvas.Curve(BuildSampleCurve(record.samples, rate, tp.time, tp.scale, tp.plot, factor), canvas.ImpulseColour());
    const bool markers = windowMarkers && !(paint.flags & kGraphTimeMarkersHidden);
    if (markers) {
        const TimeWindowEdges edges = ImpulseWindowEdges(record);
        PaintMarkers(canvas, tp, edges, geometry);
        // The falling half of the analysis window, from full gain at the
        // start marker down to the zero line at the end marker.
        long long step = 1;
        const long long length = static_cast<long long>(std::llround(record.h.fftWindowLength * rate));
        const std::vector<double> gains = FallingHalfWindow(record.h.windowType, length, &step);
        if (!gains.empty()) {
            const int zeroY = tp.scale.Map(0, tp.plot.top, tp.plot.bottom);
            const int topY = tp.plot.top;
            std::vector<CurvePixel> pts;
            pts.reserve(gains.size() + 1);
            for (size_t i = 0; i < gains.size(); ++i) {
                const double t = edges.start + static_cast<double>(i) * static_cast<double>(step) / rate;
                const int x = tp.plot.left + tp.time.Map(t);
                const int y = zeroY - static_cast<int>(std::lround(gains[i] * (zeroY - topY)));
                if (pts.empty() || !(pts.back() == CurvePixel{x, y})) pts.push_back({x, y});
            }
            pts.push_back({tp.plot.left + tp.time.Map(edges.end), zeroY});
            canvas.Curve(pts, canvas.LineColour());
        }
    }
    canvas.Unclip();
    canvas.FrameBox(tp.plot, canvas.FrameColour());
    FillGeometry(geometry, tp, paint);
    return true;
}

bool PaintEnergyTimeGraph(HDC dc, const RECT& area, EtcRecord& record, const GraphPaint& paint,
                          GraphGeometry* geometry) {
    if (geometry) *geometry = GraphGeometry{};
    const double rate = EtcSampleRate(record);
    if (record.samples.empty() || !(rate > 0)) return false;
    if (LayOutFrame(area, 0, MinTextHeight(paint)).plot.Height() < kMinTimePlotHeight) return false;
    SettleEtcRange(record);

    GraphCanvas canvas(dc, paint, false);
    TimePlot tp;
    if (!PaintTimeFrame(canvas, area, EtcScale(Settings().window.scales), record.displayStart, record.displayEnd, &tp))
        return false;
    canvas.ClipTo(tp.plot);
    canvas.Curve(BuildSampleCurve(record.samples, rate, tp.time, tp.scale, tp.plot, 1.0), canvas.ImpulseColour());
    const TimeWindowEdges edges = EtcMarkerEdges(record);
    const bool markers = edges.end > edges.start && !(paint.flags & kGraphTimeMarkersHidden);
    if (markers) PaintMarkers(canvas, tp, edges, geometry);
    canvas.Unclip();
    canvas.FrameBox(tp.plot, canvas.FrameColour());
    FillGeometry(geometry, tp, paint);
    return true;
}

}  // namespace srx
