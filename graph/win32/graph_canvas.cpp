#include "graph/win32/graph_canvas.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "dsp/numeric.h"

namespace srx {

namespace {

COLORREF Rgb(uint32_t c) { return static_cast<COLORREF>(c & 0x00FFFFFF); }

}  // namespace

// Pens are asked for per line; a paint uses a handful of distinct ones.
struct GraphCanvas::PenCache {
    std::map<std::tuple<COLORREF, int, int>, HPEN> pens;
    ~PenCache() {
        for (auto& [key, pen] : pens) DeleteObject(pen);
    }
};

HPEN GraphCanvas::Pen(COLORREF colour, int style, int width) {
    auto key = std::make_tuple(colour, style, width);
    auto it = pens_->pens.find(key);
    if (it != pens_->pens.end()) return it->second;
    HPEN pen;
    if (width > 1 && style != PS_SOLID) {
        // Cosmetic pens draw dashes only one pixel wide.
        LOGBRUSH lb{BS_SOLID, colour, 0};
        pen = ExtCreatePen(PS_GEOMETRIC | static_cast<DWORD>(style) | PS_ENDCAP_FLAT, static_cast<DWORD>(width), &lb, 0,
                           nullptr);
    } else {
        pen = CreatePen(style, width, colour);
    }
    pens_->pens[key] = pen;
    return pen;
}

bool DeviceIsMonochrome(HDC dc) { return GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) < 3; }

GraphCanvas::GraphCanvas(HDC dc, const GraphPaint& paint, bool frequencyRaster) : dc_(dc), paint_(paint) {
    const WindowHistory& w = Settings().window;
    const GraphAppearance& a = w.appearance;
    colours_ = paint.printerColours ? a.printerColours : a.screenColours;
    lightGrey_ = paint.printerColours ? a.printerLightGrey : a.lightGrey;
    styles_ = paint.printerColours ? w.printerCurveStyles : w.curveStyles;
    mono_ = paint.monochrome || DeviceIsMonochrome(dc);
    background_ = mono_ ? RGB(255, 255, 255) : Rgb(colours_.background);
    raster_ = (a.rasterFlags & (frequencyRaster ? kRasterFrequency : kRasterImpulse)) != 0;
    rasterSolid_ = (a.rasterFlags & (frequencyRaster ? kRasterFrequencySolid : kRasterImpulseSolid)) != 0;
    thick_ = (paint.flags & 0x1000) != 0;
    pens_ = std::make_unique<PenCache>();
    savedState_ = SaveDC(dc_);
    SetBkMode(dc_, TRANSPARENT);
    SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
}

GraphCanvas::~GraphCanvas() {
    RestoreDC(dc_, savedState_);
    if (axisFont_) DeleteObject(axisFont_);
    if (infoFont_) DeleteObject(infoFont_);
    // The pens were deselected by RestoreDC; the cache deletes them.
}

COLORREF GraphCanvas::Colour(uint32_t c) const { return mono_ ? RGB(0, 0, 0) : Rgb(c); }

const CurveStyle& GraphCanvas::Style(int curve) const { return styles_[((curve % 16) + 16) % 16]; }

HFONT GraphCanvas::MakeFont(int height, int weight, const char* face) {
    // Smoothed text would bring grey into black-and-white output.
    const DWORD quality = mono_ ? NONANTIALIASED_QUALITY : DEFAULT_QUALITY;
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH | FF_SWISS, face);
}

void GraphCanvas::SetAxisFont(int height) {
    if (axisFont_ && height == axisHeight_) return;
    HFONT font = MakeFont(height, FW_NORMAL, "Arial");
    SelectObject(dc_, font);
    if (axisFont_) DeleteObject(axisFont_);
    axisFont_ = font;
    axisHeight_ = height;
}

void GraphCanvas::SetInfoFont(int height) {
    if (infoFont_ && height == infoHeight_) return;
    HFONT font = MakeFont(height, FW_NORMAL, "Arial");
    if (infoFont_) DeleteObject(infoFont_);
    infoFont_ = font;
    infoHeight_ = height;
    if (axisFont_) SelectObject(dc_, axisFont_);
}

int GraphCanvas::TextWidth(std::string_view text) {
    SIZE size{};
    if (axisFont_) SelectObject(dc_, axisFont_);
    GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

TextWidthFn GraphCanvas::AxisWidthFn() {
    return [this](std::string_view s) { return TextWidth(s); };
}

void GraphCanvas::Text(int x, int y, std::string_view text, COLORREF colour) {
    if (axisFont_) SelectObject(dc_, axisFont_);
    SetTextColor(dc_, colour);
    TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
}

void GraphCanvas::InfoText(int x, int y, std::string_view text, COLORREF colour) {
    if (infoFont_) SelectObject(dc_, infoFont_);
    SetTextColor(dc_, colour);
    TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
    if (axisFont_) SelectObject(dc_, axisFont_);
}

void GraphCanvas::Line(int x0, int y0, int x1, int y1, COLORREF colour, int style, int width) {
    SelectObject(dc_, Pen(colour, style, width));
    MoveToEx(dc_, x0, y0, nullptr);
    LineTo(dc_, x1, y1);
}

void GraphCanvas::FillBox(const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc_, &r, brush);
    DeleteObject(brush);
}

void GraphCanvas::FrameBox(const PlotRect& r, COLORREF colour) {
    SelectObject(dc_, Pen(colour, PS_SOLID, 1));
    const POINT pts[5] = {{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}, {r.left, r.top}};
    Polyline(dc_, pts, 5);
}

void GraphCanvas::Curve(const std::vector<POINT>& points, COLORREF colour, int monoStyle) {
    if (points.size() < 2) {
        if (points.size() == 1) SetPixel(dc_, points[0].x, points[0].y, colour);
        return;
    }
    const int style = mono_ ? monoStyle : PS_SOLID;
    SelectObject(dc_, Pen(colour, style, CurveWidth()));
    // Polyline takes an int count; very long curves go in pieces that share
    // their end points.
    const size_t chunk = 1u << 20;
    for (size_t i = 0; i + 1 < points.size(); i += chunk) {
        const size_t n = std::min(chunk + 1, points.size() - i);
        Polyline(dc_, points.data() + i, static_cast<int>(n));
    }
}

void GraphCanvas::Curve(const std::vector<CurvePixel>& points, COLORREF colour, int monoStyle) {
    std::vector<POINT> pts(points.size());
    for (size_t i = 0; i < points.size(); ++i) pts[i] = {points[i].x, points[i].y};
    Curve(pts, colour, monoStyle);
}

void GraphCanvas::ClipTo(const PlotRect& plot) {
    SaveDC(dc_);
    IntersectClipRect(dc_, plot.left, plot.top, plot.right + 1, plot.bottom + 1);
}

void GraphCanvas::Unclip() {
    RestoreDC(dc_, -1);
    SetBkMode(dc_, TRANSPARENT);
}

void GraphCanvas::Watermark(const PlotRect& plot) {
    const int h = std::max(10, static_cast<int>(RoundHalfAway(plot.Height() * 0.038)));
    HFONT font = MakeFont(h, FW_BOLD, "Times New Roman");
    HGDIOBJ old = SelectObject(dc_, font);
    static const char kMark[] = "SonRix";
    SIZE size{};
    GetTextExtentPoint32A(dc_, kMark, 6, &size);
    const int x = plot.right - size.cx - h / 3;
    const int y = plot.top + h / 4;
    if (paint_.screen && !mono_) {
        // An engraved look: the shadow in the background's complement.
        const int d = std::max(1, h / 10);
        SetTextColor(dc_, background_ ^ RGB(0xC0, 0xC0, 0xC0));
        TextOutA(dc_, x + d, y + d, kMark, 6);
        SetTextColor(dc_, background_);
    } else {
        SetTextColor(dc_, Colour(lightGrey_));
    }
    TextOutA(dc_, x, y, kMark, 6);
    SelectObject(dc_, old);
    DeleteObject(font);
}

// ---- Frame ---------------------------------------------------------------------

FrameLayout LayOutFrame(const RECT& area, int infoLines, int minText) {
    FrameLayout f;
    const int height = area.bottom - area.top;
    f.infoHeight = std::max({6, minText, static_cast<int>(RoundHalfAway(height * 0.028))});
    f.lineHeight = f.infoHeight + std::max(1, f.infoHeight / 4);
    const int margin = std::max(4, f.infoHeight / 2);
    const int top = area.top + margin;
    const int bottom = area.bottom - margin - std::max(0, infoLines) * f.lineHeight;
    const int avail = bottom - top;
    // The label height follows the plot height, which loses room to the
    // labels: a few rounds settle it.
    int h = AxisTextHeight(avail);
    for (int i = 0; i < 4; ++i) h = AxisTextHeight(avail - h / 2 - 2 * h);
    h = std::max(h, minText);
    f.axisHeight = h;
    f.plot.left = area.left + margin;
    f.plot.right = area.right - margin;
    f.plot.top = top + h / 2;
    f.plot.bottom = bottom - 2 * h;
    f.infoTop = f.plot.bottom + 2 * h;
    return f;
}

FrequencyMapping FrequencyAxis(GraphCanvas& canvas, const PlotRect& plot, double fmin, double fmax, bool linear) {
    const FrequencyAxisLayout layout = LayoutFrequencyAxis(plot.Width(), fmin, fmax, linear, canvas.AxisWidthFn());
    const int h = canvas.AxisHeight();
    if (canvas.RasterShown()) {
        const int style = canvas.RasterSolid() ? PS_SOLID : PS_DOT;
        for (const GridLine& g : layout.grid) {
            const int x = plot.left + g.x;
            if (x <= plot.left || x >= plot.right) continue;
            canvas.Line(x, plot.top + 1, x, plot.bottom, g.heavy ? canvas.GridColour() : canvas.LightGridColour(),
                        style);
        }
    }
    for (const Tick& t : layout.ticks) {
        const int x = plot.left + t.x;
        canvas.Line(x, plot.bottom, x, plot.bottom + (t.isLong ? h / 2 : h / 3) + 1, canvas.FrameColour());
    }
    const int y = plot.bottom + (3 * h) / 4;
    for (const AxisLabel& l : layout.labels) canvas.Text(plot.left + l.x, y, l.text, canvas.TextColour());
    canvas.Text(plot.left + layout.unit.x, y, layout.unit.text, canvas.TextColour());
    return layout.map;
}

ScalesLayout VerticalScales(GraphCanvas& canvas, PlotRect& plot, const std::vector<ScaleDescription>& scales) {
    ScalesLayout layout = LayoutVerticalScales(plot, scales, canvas.AxisWidthFn(), canvas.AxisHeight());
    plot = layout.plot;
    const int h = canvas.AxisHeight();
    const int longTick = std::max(2, h / 2), shortTick = std::max(1, h / 3);
    const int style = canvas.RasterSolid() ? PS_SOLID : PS_DOT;
    for (size_t i = 0; i < layout.scales.size(); ++i) {
        const ScaleLayout& sl = layout.scales[i];
        const COLORREF colour = canvas.Colour(sl.desc.colour);
        const bool left = sl.leftOfPlot;
        const int edge = left ? plot.left : sl.columnLeft;
        const int dir = left ? -1 : 1;
        if (i == 0 && canvas.RasterShown())
            for (int y : sl.gridY) canvas.Line(plot.left + 1, y, plot.right, y, canvas.GridColour(), style);
        // Scales beyond the first on the right stand off the frame: they get
        // an axis line of their own for their ticks.
        if (!left && edge != plot.right) canvas.Line(edge, plot.top, edge, plot.bottom + 1, colour);
        auto label = [&](int y, const std::string& text, int width) {
            if (text.empty()) return;  // dropped for want of room
            const int x = left ? edge - longTick - 2 - width : edge + longTick + 2;
            canvas.Text(x, y - h / 2, text, colour);
        };
        for (const ScaleLine& line : sl.lines) {
            canvas.Line(edge, line.y, edge + dir * (longTick + 1), line.y, colour);
            label(line.y, line.label, line.labelWidth);
        }
        for (const ScaleLine& t : sl.ticks) {
            canvas.Line(edge, t.y, edge + dir * (shortTick + 1), t.y, colour);
            if (!t.label.empty()) label(t.y, t.label, t.labelWidth);
        }
        const int unitX = left ? sl.columnLeft : edge + longTick + 2;
        canvas.Text(unitX, plot.bottom + (3 * h) / 4, sl.desc.unit, colour);
    }
    canvas.FrameBox(plot, canvas.FrameColour());
    return layout;
}

TimeAxisLayout TimeAxis(GraphCanvas& canvas, const PlotRect& plot, bool printing, int height, double t0, double t1) {
    (void)printing;  // the raster switches serve screen and paper alike
    canvas.SetAxisFont(height);
    TimeAxisLayout layout = LayoutTimeAxis(plot.Width(), t0, t1, canvas.AxisWidthFn());
    const int h = canvas.AxisHeight();
    const int unitWidth = canvas.TextWidth(layout.unit);
    const int unitX = plot.right - unitWidth;
    if (canvas.RasterShown()) {
        const int style = canvas.RasterSolid() ? PS_SOLID : PS_DOT;
        for (int gx : layout.gridX) {
            const int x = plot.left + gx;
            if (x <= plot.left || x >= plot.right) continue;
            canvas.Line(x, plot.top + 1, x, plot.bottom, canvas.LightGridColour(), style);
        }
    }
    const int y = plot.bottom + (3 * h) / 4;
    for (size_t i = 0; i < layout.labels.size(); ++i) {
        const int x = plot.left + layout.gridX[i];
        canvas.Line(x, plot.bottom, x, plot.bottom + h / 2 + 1, canvas.FrameColour());
        const AxisLabel& l = layout.labels[i];
        // The unit text at the right end wins over a label that would touch it.
        if (plot.left + l.x + l.width > unitX - 2) continue;
        canvas.Text(plot.left + l.x, y, l.text, canvas.TextColour());
    }
    canvas.Text(unitX, y, layout.unit, canvas.TextColour());
    return layout;
}

}  // namespace srx
