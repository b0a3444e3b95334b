// The waterfall graph: the slices of a record's waterfall drawn back to
// front in an oblique box, each nearer slice covering those behind it.
#include <algorithm>
#include <cmath>
#include <new>

#include "dsp/numeric.h"
#include "data/view_flags.h"
#include "graph/win32/graph_canvas.h"
#include "graph/waterfall.h"

namespace srx {

namespace {

constexpr int kMinWaterfallArea = 35;

void FillPolygon(HDC dc, const POINT* pts, int n, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ ob = SelectObject(dc, brush), op = SelectObject(dc, pen);
    Polygon(dc, pts, n);
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(brush);
    DeleteObject(pen);
}

// Text with its reference point at x, y: `align` is TA_LEFT, TA_RIGHT or
// TA_CENTER; the top of the text at y.
void AlignedText(HDC dc, int x, int y, const std::string& text, UINT align) {
    const UINT old = SetTextAlign(dc, align | TA_TOP | TA_NOUPDATECP);
    TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
    SetTextAlign(dc, old);
}

void BoldText(HDC dc, HFONT bold, int x, int y, const std::string& text, COLORREF colour, UINT align) {
    HGDIOBJ old = SelectObject(dc, bold);
    SetTextColor(dc, colour);
    AlignedText(dc, x, y, text, align);
    SelectObject(dc, old);
}

// Each outline edge twice, the second a unit down and right of the first.
void DoubleLine(GraphCanvas& c, const std::vector<POINT>& pts, COLORREF colour) {
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i + 1 < pts.size(); ++i)
            c.Line(pts[i].x + pass, pts[i].y + pass, pts[i + 1].x + pass, pts[i + 1].y + pass, colour);
}

// The colour map: the ground between neighbouring slices shaded by level,
// back to front, then the nearest slice's outline as the front edge.
bool PaintColourMap(HDC dc, const WaterfallProjection& p, const TimeRecord& record, double bottom, double range,
                    COLORREF edge) {
    std::vector<WaterfallQuad> quads;
    std::vector<CurvePixel> front;
    try {
        quads = WaterfallColourQuads(p, record.slices, bottom, range);
        if (p.slices > 0) front = WaterfallSlicePolygon(p, p.slices - 1, record.slices[static_cast<size_t>(p.slices) - 1]);
    } catch (const std::bad_alloc&) {
        return false;
    }
    HGDIOBJ op = SelectObject(dc, GetStockObject(DC_PEN)), ob = SelectObject(dc, GetStockObject(DC_BRUSH));
    for (const WaterfallQuad& q : quads) {
        const COLORREF c = static_cast<COLORREF>(WaterfallRampColour(q.shade));
        SetDCPenColor(dc, c);
        SetDCBrushColor(dc, c);
        const POINT pts[4] = {{q.corner[0].x, q.corner[0].y}, {q.corner[1].x, q.corner[1].y},
                              {q.corner[2].x, q.corner[2].y}, {q.corner[3].x, q.corner[3].y}};
        Polygon(dc, pts, 4);
    }
    if (front.size() >= 3) {
        std::vector<POINT> pts(front.size());
        for (size_t i = 0; i < front.size(); ++i) pts[i] = {front[i].x, front[i].y};
        SetDCPenColor(dc, edge);
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        Polyline(dc, pts.data(), static_cast<int>(std::min<size_t>(pts.size(), 1u << 24)));
    }
    SelectObject(dc, op);
    SelectObject(dc, ob);
    return true;
}

}  // namespace

bool PaintWaterfallGraph(HDC dc, const RECT& area, TimeRecord& record, const GraphPaint& paint,
                         WaterfallProjection* projection) {
    if (projection) *projection = WaterfallProjection{};
    const int areaHeight = area.bottom - area.top;
    if (areaHeight < kMinWaterfallArea || area.right - area.left < kMinWaterfallArea) return false;
    if (record.slices.empty()) return false;

    // The displayed range: unset ends take the waterfall's own.
    const std::vector<float>& axis = record.slices.front().frequency;
    double first = record.h.waterfallFirstFrequency, last = record.h.waterfallLastFrequency;
    if (!(first > 0) || !std::isfinite(first)) first = axis.empty() ? 0 : axis.front();
    if (!(last > 0) || !std::isfinite(last)) last = axis.empty() ? 0 : axis.back();
    if (!(record.displayWaterfallFirst > 0) || !std::isfinite(record.displayWaterfallFirst))
        record.displayWaterfallFirst = first;
    if (!(record.displayWaterfallLast > 0) || !std::isfinite(record.displayWaterfallLast))
        record.displayWaterfallLast = last;
    const double start = record.displayWaterfallFirst, end = record.displayWaterfallLast;
    if (!(start > 0) || !(end > start) || !std::isfinite(end)) return false;

    GraphCanvas canvas(dc, paint, true);
    const bool mono = canvas.Monochrome();
    if ((paint.flags & kPaintOutput) && !mono)
        canvas.FillBox(RECT{area.left, area.top, area.right + 1, area.bottom + 1}, canvas.Background());

    const int fontHeight = std::max(8, static_cast<int>(RoundHalfAway(0.032 * areaHeight)));
    canvas.SetAxisFont(fontHeight);
    HFONT bold = CreateFontA(fontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, mono ? NONANTIALIASED_QUALITY : DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, "Arial");
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    const int h = std::max<int>(1, tm.tmHeight), w = std::max<int>(1, tm.tmAveCharWidth);

    const ScaleSettings& ss = Settings().window.scales;
    const double range = (std::isfinite(ss.waterfallDbRange) && ss.waterfallDbRange > 0 && ss.waterfallDbRange <= 1000)
                             ? ss.waterfallDbRange
                             : 50.0;
    const int n = DbDivisions(range);
    const double step = range / n;
    const double top = DbTop(0, range, n, WaterfallMaxLevel(record, start, end));
    const int decimals = std::max(DecimalsForStep(step), DecimalsForStep(top));

    const WaterfallLayout L = LayOutWaterfall(area.left, area.top, area.right, area.bottom, h, w, decimals, n);
    if (!L.Usable()) {
        DeleteObject(bold);
        return false;
    }
    const FrequencyMapping map = LogFrequencyMapping(L.W, start, end);
    const COLORREF frame = canvas.FrameColour(), text = canvas.TextColour(), line = canvas.LineColour();
    const uint32_t wfLine = paint.printerColours ? Settings().window.appearance.printerColours.waterfallLine
                                                 : Settings().window.appearance.screenColours.waterfallLine;
    const uint32_t wfFill = paint.printerColours ? Settings().window.appearance.printerColours.waterfallFill
                                                 : Settings().window.appearance.screenColours.waterfallFill;

    // Everything outside the box in the frame colour. The labels stand
    // there in the text colour: with the two equal (both black by default)
    // they would vanish, so the margins then keep the background.
    if (!mono && frame != text) {
        canvas.FillBox(RECT{area.left, area.top, area.right, L.top}, frame);
        canvas.FillBox(RECT{area.left, L.bottom + 1, area.right, area.bottom}, frame);
        canvas.FillBox(RECT{area.left, L.top, L.left, L.bottom + 1}, frame);
        canvas.FillBox(RECT{L.right + 1, L.top, area.right, L.bottom + 1}, frame);
        const POINT upper[3] = {{L.left, L.top}, {L.left, L.bottom - L.H}, {L.left + L.dx, L.top}};
        const POINT lower[3] = {{L.right, L.top + L.H}, {L.right, L.bottom}, {L.right - L.dx, L.bottom}};
        FillPolygon(dc, upper, 3, frame);
        FillPolygon(dc, lower, 3, frame);
    }

    // Grid: level divisions along the left and back walls, frequencies
    // down the back wall and across the floor.
    const COLORREF grid = canvas.GridColour();
    for (int k = 1; k < n; ++k) {
        const int e = k * L.H / n;
        canvas.Line(L.left, L.bottom - e, L.left + L.dx, L.top + L.H - e, grid, PS_DOT);
        canvas.Line(L.left + L.dx, L.top + L.H - e, L.right, L.top + L.H - e, grid, PS_DOT);
    }
    SIZE caption{};
    {
        HGDIOBJ old = SelectObject(dc, bold);
        GetTextExtentPoint32A(dc, "f/Hz", 4, &caption);
        SelectObject(dc, old);
    }
    const int captionRight = L.right - L.dx;
    const WaterfallFrequencyMarks marks =
        LayOutWaterfallFrequencies(start, end, map, captionRight - caption.cx - L.left, canvas.AxisWidthFn());
    for (int x : marks.gridX) {
        if (x <= 0 || x >= L.W) continue;
        canvas.Line(L.left + L.dx + x, L.top, L.left + L.dx + x, L.top + L.H, grid, PS_DOT);
        canvas.Line(L.left + L.dx + x, L.top + L.H, L.left + x, L.bottom, grid, PS_DOT);
    }

    // Outline: the floor, the left wall, the top and right edges of the back wall.
    DoubleLine(canvas, {{L.frontLeft.x, L.frontLeft.y}, {L.frontRight.x, L.frontRight.y},
                        {L.backRight.x, L.backRight.y}, {L.backLeft.x, L.backLeft.y},
                        {L.frontLeft.x, L.frontLeft.y}}, line);
    DoubleLine(canvas, {{L.left, L.bottom}, {L.left, L.bottom - L.H}, {L.left + L.dx, L.top},
                        {L.backLeft.x, L.backLeft.y}}, line);
    DoubleLine(canvas, {{L.left + L.dx, L.top}, {L.right, L.top}, {L.right, L.top + L.H}}, line);

    // Level labels up the front edge of the left wall.
    BoldText(dc, bold, L.left - 8, static_cast<int>(RoundHalfAway(L.bottom - L.H - 1.5 * h)), "dB",
             canvas.Colour(wfLine), TA_RIGHT);
    for (int k = 0; k <= n; ++k) {
        const int y = L.bottom - k * L.H / n;
        canvas.Line(L.left - 6, y, L.left, y, line);
        const std::string label = ScaleLabel(top - range + k * step, decimals, 0);
        canvas.Text(L.left - 8 - canvas.TextWidth(label), y - h / 2, label, text);
    }

    // Frequency ticks and labels below the floor's front edge.
    for (int x : marks.tickX) canvas.Line(L.left + x, L.bottom, L.left + x, L.bottom + 6, line);
    for (const AxisLabel& l : marks.labels) canvas.Text(L.left + l.x, L.bottom + 8, l.text, text);
    BoldText(dc, bold, captionRight, L.bottom + 8, "f/Hz", text, TA_RIGHT);

    // Time labels along the right edge of the floor.
    const double span = record.h.furtherTime;
    const double tstep = WaterfallTimeStep(L.depthLength, span, h, L.W);
    for (const auto& [t, label] : WaterfallTimeLabels(tstep, span)) {
        const double d = t * L.depthLength / span;
        const int x = static_cast<int>(RoundHalfAway(L.backRight.x + L.ux * d));
        const int y = static_cast<int>(RoundHalfAway(L.backRight.y + L.uy * d));
        canvas.Line(x, y, x + 6, y, line);
        canvas.Text(x + 8, y - h / 2 + 1, label, text);
    }
    DeleteObject(bold);

    // Slices, back to front.
    WaterfallProjection p;
    p.originX = L.backLeft.x;
    p.originY = L.backLeft.y;
    p.ux = L.ux;
    p.uy = L.uy;
    p.slices = static_cast<int>(std::min<size_t>(record.slices.size(), 100000));
    p.sliceStep = L.depthLength / p.slices;
    p.W = L.W;
    p.map = map;
    p.pixelsPerDb = L.H / range;
    p.yoff = static_cast<int>(RoundHalfAway(L.H * (1 - top / range)));
    p.start = start;
    p.end = end;
    p.span = std::isfinite(span) && span > 0 ? span : 0;
    p.valid = true;

    const bool colourMap = (Settings().window.graphViewFlags & kGraphWaterfallColours) && !mono;
    if (colourMap) {
        const bool ok = PaintColourMap(dc, p, record, top - range, range, canvas.Colour(wfLine));
        if (projection) *projection = p;
        return ok;
    }
    const COLORREF penColour = mono ? RGB(0, 0, 0) : canvas.Colour(wfLine);
    const COLORREF brushColour = mono ? RGB(255, 255, 255) : canvas.Colour(wfFill);
    HPEN pen = CreatePen(PS_SOLID, 1, penColour);
    HBRUSH brush = CreateSolidBrush(brushColour);
    HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, brush);
    std::vector<POINT> pts;
    bool ok = true;
    for (int j = 0; j < p.slices && ok; ++j) {
        try {
            const std::vector<CurvePixel> poly = WaterfallSlicePolygon(p, j, record.slices[static_cast<size_t>(j)]);
            if (poly.size() < 3) continue;  // no level at all: nothing to stand up
            pts.resize(poly.size());
            for (size_t i = 0; i < poly.size(); ++i) pts[i] = {poly[i].x, poly[i].y};
        } catch (const std::bad_alloc&) {
            ok = false;  // no slices without the point buffer
            break;
        }
        Polygon(dc, pts.data(), static_cast<int>(std::min<size_t>(pts.size(), 1u << 24)));
    }
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    DeleteObject(brush);
    if (projection) *projection = p;
    return ok;
}

}  // namespace srx
