// Box-design analysis graphs: the simulated curves of every analysed and
// shown design slot over frequency (or the current design's impulse and
// step response over time), with a legend of the designs below the plot.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/win32/shell.h"
#include "data/view_flags.h"
#include "dsp/numeric.h"
#include "graph/analysis_graph.h"
#include "graph/time_graph.h"
#include "graph/win32/analysis_series.h"
#include "graph/win32/graph_canvas.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr int kMinAnalysisArea = 35;
constexpr int kMinPlotBesideLegend = 15;
constexpr int kFirstCurveTitleId = 2001;
constexpr int kDesignSlots = 4;
// The analyzer's defaults, for a graph with nothing to show.
constexpr double kDefaultStart = 10, kDefaultStop = 1000, kDefaultVisibleImpulse = 0.1;

AnalysisGraphOptions& Options() {
    static AnalysisGraphOptions options;
    return options;
}

// A polyline in its own pen: `style` dashes it (monochrome output).
void DrawPolyline(HDC dc, const std::vector<POINT>& pts, COLORREF colour, int style, int width) {
    if (pts.size() < 2) return;
    HPEN pen;
    if (width > 1 && style != PS_SOLID) {
        LOGBRUSH lb{BS_SOLID, colour, 0};
        pen = ExtCreatePen(PS_GEOMETRIC | static_cast<DWORD>(style) | PS_ENDCAP_FLAT, static_cast<DWORD>(width), &lb,
                           0, nullptr);
    } else {
        pen = CreatePen(style, width, colour);
    }
    HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, pts.data(), static_cast<int>(pts.size()));
    SelectObject(dc, old);
    DeleteObject(pen);
}

// The pieces of one quantity's curve: a gap where a value is missing, and a
// break where a wrapped phase jumps across the plot.
std::vector<std::vector<POINT>> CurvePieces(const AnalysisSeries& r, AnalysisQuantity q, uint32_t boxFlags,
                                            const FrequencyMapping& map, const ScaleDescription& scale,
                                            const PlotRect& plot) {
    const bool wraps = (q == AnalysisQuantity::AcousticPhase && !(boxFlags & kBoxUnwrappedPhase)) ||
                       q == AnalysisQuantity::ElectricalPhase;
    std::vector<std::vector<POINT>> pieces(1);
    for (size_t i = 0; !r.empty() && i < r.frequency->size(); ++i) {
        const double f = (*r.frequency)[i], v = AnalysisValue(r, q, i, boxFlags);
        if (!(f > 0) || !std::isfinite(f) || !std::isfinite(v)) {
            if (!pieces.back().empty()) pieces.emplace_back();
            continue;
        }
        const POINT p{plot.left + map.Map(f), scale.Map(v, plot.top, plot.bottom)};
        std::vector<POINT>& cur = pieces.back();
        if (!cur.empty() && cur.back().x == p.x && cur.back().y == p.y) continue;
        if (wraps && !cur.empty() && std::abs(cur.back().y - p.y) > plot.Height() / 2) pieces.emplace_back();
        pieces.back().push_back(p);
    }
    return pieces;
}

}  // namespace

void SetAnalysisGraphOptions(const AnalysisGraphOptions& options) { Options() = options; }
const AnalysisGraphOptions& CurrentAnalysisGraphOptions() { return Options(); }

bool PaintAnalysisGraph(HDC dc, const RECT& area, int currentSlot, int kind, GraphGeometry* geometry,
                        const GraphPaint& paint) {
    if (geometry) *geometry = GraphGeometry{};
    const int areaHeight = area.bottom - area.top;
    if (areaHeight < kMinAnalysisArea || area.right - area.left < kMinAnalysisArea) return false;
    if (kind < kDocAnalysisFirst || kind > kDocAnalysisLast) return false;
    if (currentSlot < 0 || currentSlot >= kDesignSlots) return false;
    const bool timeKind = IsAnalysisTimeKind(kind);
    const uint32_t boxFlags = Settings().window.boxViewFlags;

    // The designs drawn: the current one over time, every shown one over frequency.
    std::vector<int> slots;
    for (int i = 0; i < kDesignSlots; ++i)
        if (SlotShownInAnalysis(i) && (!timeKind || i == currentSlot)) slots.push_back(i);

    GraphPaint p = paint;
    p.flags &= ~0x1000u;  // the design views have a thick-lines option of their own
    GraphCanvas canvas(dc, p, true);
    const bool mono = canvas.Monochrome();
    if ((paint.flags & kPaintOutput) && !mono) canvas.FillBox(area, canvas.Background());
    const int h = std::max(8, static_cast<int>(RoundHalfAway(0.028 * areaHeight)));
    canvas.SetAxisFont(h);
    canvas.SetInfoFont(h);
    const COLORREF text = canvas.TextColour();
    const int width = (boxFlags & kBoxThickLines) ? 2 : 1;
    auto colourOf = [&](int slot, int quantity) {
        const CurveStyle& st = canvas.Style(slot + 1);
        return canvas.Colour(quantity == 0 ? st.colour : st.phaseColour);
    };
    auto styleOf = [&](int slot) {
        return mono ? static_cast<int>(Settings().window.appearance.designPenStyles[slot] % 5) : PS_SOLID;
    };

    // Legend below the plot.
    const int mWidth = std::max(1, canvas.TextWidth("M"));
    std::vector<std::string> names;
    std::vector<int> widths;
    for (int s : slots) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%d: %s", s + 1, SlotDesignTitle(s).c_str());
        names.push_back(buf);
        widths.push_back(3 * mWidth + mWidth / 2 + canvas.TextWidth(buf));
    }
    const LegendLayout legend = LayOutAnalysisLegend(widths, area.left, area.right, h);
    const int frameBottom = area.bottom - (legend.rows * h + h / 4);
    if (frameBottom - area.top < kMinPlotBesideLegend) return false;
    if (paint.screen) canvas.Line(area.left, frameBottom, area.right, frameBottom, canvas.LineColour());
    for (size_t i = 0; i < slots.size(); ++i) {
        const int x = legend.entries[i].x;
        const int y = frameBottom + h / 4 + legend.entries[i].row * h;
        const int mid = y + h / 2;
        canvas.FillBox(RECT{x, mid - 4, x + 3 * mWidth, mid - 1}, colourOf(slots[i], 0));
        canvas.FillBox(RECT{x, mid + 1, x + 3 * mWidth, mid + 4}, colourOf(slots[i], 1));
        canvas.InfoText(x + 3 * mWidth + mWidth / 2, y, names[i], text);
    }

    // The plot, 2 units in from each side of its frame.
    const int margin = std::max(4, h / 2);
    PlotRect plot;
    plot.left = area.left + margin + 2;
    plot.right = area.right - margin - 2;
    plot.top = area.top + margin + h / 2;
    plot.bottom = frameBottom - 2 * h;
    if (plot.Height() < kMinPlotBesideLegend || plot.Width() < kMinPlotBesideLegend) return false;

    GraphGeometry g;
    g.kind = kind;
    g.slot = currentSlot;
    if (timeKind) {
        const AnalysisSeries r = SlotSeries(currentSlot);
        const bool drawn = !slots.empty();
        static const std::vector<double> kNone;
        const std::vector<double>* sp = kind == kDocAnalysisLast ? r.step : r.impulse;
        const std::vector<double>& src = sp ? *sp : kNone;
        std::vector<float> samples;
        double peak = 0;
        if (drawn)
            for (size_t i = 0; i < std::min<size_t>(src.size(), kAnalysisImpulseSamples); ++i) {
                const double v = std::isfinite(src[i]) ? src[i] : 0.0;
                samples.push_back(static_cast<float>(std::clamp(v, -1e30, 1e30)));
                peak = std::max(peak, std::fabs(v));
            }
        double visible = r.visibleImpulse;
        if (!(visible > 0) || !std::isfinite(visible))
            visible = r.sampleRate > 0 ? kAnalysisImpulseSamples / r.sampleRate : kDefaultVisibleImpulse;
        if (!(visible > 0) || !std::isfinite(visible)) visible = kDefaultVisibleImpulse;
        ScaleDescription scale = ImpulseScale(peak, 1.0);
        scale.colour = paint.printerColours ? Settings().window.appearance.printerColours.text
                                            : Settings().window.appearance.screenColours.text;
        const ScalesLayout layout = VerticalScales(canvas, plot, {scale});
        if (!layout.scales.empty()) scale = layout.scales.front().desc;
        g.time = TimeAxis(canvas, plot, !paint.screen, h, 0, visible);
        canvas.Watermark(plot);
        if (drawn && r.sampleRate > 0 && std::isfinite(r.sampleRate)) {
            canvas.ClipTo(plot);
            const double factor = scale.unit == "mV" ? 1000.0 : 1.0;
            std::vector<POINT> pts;
            for (const CurvePixel& c : BuildSampleCurve(samples, r.sampleRate, g.time, scale, plot, factor))
                pts.push_back({c.x, c.y});
            DrawPolyline(dc, pts, colourOf(currentSlot, 0), styleOf(currentSlot), width);
            canvas.Unclip();
        }
        g.scales = {scale};
    } else {
        std::vector<AnalysisSeries> series;
        for (int s : slots) series.push_back(SlotSeries(s));
        std::vector<const AnalysisSeries*> shown;
        double lo = 1e300, hi = 0;
        for (const AnalysisSeries& r : series) {
            shown.push_back(&r);
            for (double f : *r.frequency)
                if (f > 0 && std::isfinite(f)) {
                    lo = std::min(lo, f);
                    hi = std::max(hi, f);
                }
        }
        const AnalysisGraphOptions& o = Options();
        double fmin = o.start, fmax = o.stop;
        if (!(fmin > 0) || !(fmax > fmin) || !std::isfinite(fmax)) {
            fmin = lo <= hi ? lo : kDefaultStart;
            fmax = lo <= hi ? hi : kDefaultStop;
        }
        std::vector<ScaleDescription> scales = AnalysisScales(kind, shown, o.dbRange, boxFlags);
        for (ScaleDescription& sd : scales)
            sd.colour = paint.printerColours ? Settings().window.appearance.printerColours.text
                                             : Settings().window.appearance.screenColours.text;
        const ScalesLayout layout = VerticalScales(canvas, plot, scales);
        g.map = FrequencyAxis(canvas, plot, fmin, fmax, false);
        canvas.Watermark(plot);
        canvas.ClipTo(plot);
        const std::vector<AnalysisScalePlan> plans = AnalysisScalePlans(kind);
        for (size_t n = 0; n < slots.size(); ++n) {
            const int s = slots[n];
            int quantity = 0;
            for (size_t k = 0; k < plans.size() && k < layout.scales.size(); ++k)
                for (AnalysisQuantity q : plans[k].quantities) {
                    for (const auto& piece :
                         CurvePieces(series[n], q, boxFlags, g.map, layout.scales[k].desc, plot))
                        DrawPolyline(dc, piece, colourOf(s, quantity), styleOf(s), width);
                    ++quantity;
                }
        }
        canvas.Unclip();
        for (const ScaleLayout& sl : layout.scales) g.scales.push_back(sl.desc);
    }
    canvas.FrameBox(plot, canvas.FrameColour());
    g.plot = plot;
    g.flags = paint.flags;
    g.valid = true;
    if (geometry) *geometry = g;
    return true;
}

HWND OpenAnalysisWindow(int slot, int kind) {
    if (slot < 0 || slot >= kDesignSlots || kind < kDocAnalysisFirst || kind > kDocAnalysisLast) return nullptr;
    InstallGraphView();
    auto data = std::make_unique<AnalysisWindowData>();
    data->slot = slot;
    const char* title = StringText(kFirstCurveTitleId + kind - kDocAnalysisFirst);
    HWND window = CreateDocumentWindow(title, kind, data.get());
    if (window) data.release();
    return window;
}

}  // namespace srx
