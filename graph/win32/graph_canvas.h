#pragma once
// Shared by the painters: the colours and fonts of one paint, the frame's
// proportions, and the parts every graph has (frequency or time axis,
// vertical scales, watermark, polylines).
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/settings_blocks.h"
#include "graph/axes.h"
#include "graph/curves.h"
#include "graph/scales.h"
#include "graph/win32/graph_view.h"

namespace srx {

// The pens and texts of one paint on one device context. Owns its fonts and
// restores the context's state when it goes away.
class GraphCanvas {
public:
    GraphCanvas(HDC dc, const GraphPaint& paint, bool frequencyRaster);
    ~GraphCanvas();
    GraphCanvas(const GraphCanvas&) = delete;
    GraphCanvas& operator=(const GraphCanvas&) = delete;

    HDC dc() const { return dc_; }
    const GraphPaint& paint() const { return paint_; }
    bool Monochrome() const { return mono_; }

    // Colours after the monochrome rule (0x00BBGGRR).
    COLORREF Colour(uint32_t c) const;
    COLORREF Background() const { return background_; }
    COLORREF GridColour() const { return Colour(colours_.grid); }
    COLORREF LightGridColour() const { return Colour(lightGrey_); }
    COLORREF FrameColour() const { return Colour(colours_.frame); }
    COLORREF TextColour() const { return Colour(colours_.text); }
    COLORREF LineColour() const { return Colour(colours_.line); }
    COLORREF ImpulseColour() const { return Colour(colours_.impulse); }
    const CurveStyle& Style(int curve) const;

    bool RasterShown() const { return raster_; }
    bool RasterSolid() const { return rasterSolid_; }
    int CurveWidth() const { return thick_ ? 2 : 1; }

    // Fonts: axis labels (`AxisHeight` high), legend/information line, watermark.
    void SetAxisFont(int height);
    void SetInfoFont(int height);
    int AxisHeight() const { return axisHeight_; }
    int InfoHeight() const { return infoHeight_; }
    int TextWidth(std::string_view text);  // in the axis font
    TextWidthFn AxisWidthFn();

    // Text with its top-left corner at x, y in the axis or info font.
    void Text(int x, int y, std::string_view text, COLORREF colour);
    void InfoText(int x, int y, std::string_view text, COLORREF colour);

    void Line(int x0, int y0, int x1, int y1, COLORREF colour, int style = PS_SOLID, int width = 1);
    void FillBox(const RECT& r, COLORREF colour);
    void FrameBox(const PlotRect& r, COLORREF colour);
    // A polyline in one pen; `style` applies on monochrome output only.
    void Curve(const std::vector<CurvePixel>& points, COLORREF colour, int monoStyle = PS_SOLID);
    void Curve(const std::vector<POINT>& points, COLORREF colour, int monoStyle = PS_SOLID);

    // Curves stay inside the plot.
    void ClipTo(const PlotRect& plot);
    void Unclip();

    // "SonRix" in the top right corner of the plot.
    void Watermark(const PlotRect& plot);

private:
    struct PenCache;
    HPEN Pen(COLORREF colour, int style, int width);
    HFONT MakeFont(int height, int weight, const char* face);
    HDC dc_;
    GraphPaint paint_;
    GraphColours colours_;
    uint32_t lightGrey_;
    const CurveStyle* styles_;
    COLORREF background_;
    bool mono_, raster_, rasterSolid_, thick_;
    int axisHeight_ = 0, infoHeight_ = 0;
    HFONT axisFont_ = nullptr, infoFont_ = nullptr;
    int savedState_;
    std::unique_ptr<PenCache> pens_;
};

// The frame of a graph inside `area`: the plot rectangle before the
// vertical scales take their label columns, and where the lines below go.
struct FrameLayout {
    PlotRect plot;
    int axisHeight = 8;  // axis label font
    int infoHeight = 8;  // legend and information line font
    int infoTop = 0;     // first line below the axis labels
    int lineHeight = 0;  // of the information and legend lines
};
// `infoLines` lines are kept free below the axis labels. Fonts are at least
// `minText` high (cell height), however small the window.
FrameLayout LayOutFrame(const RECT& area, int infoLines, int minText = 0);

// Below this cell height Arial's digits stand less than about 8 pixels tall
// and cannot be read on a screen; labels that no longer fit are dropped
// instead. Paper has pixels to spare and keeps the proportional sizes.
constexpr int kMinScreenTextHeight = 12;
inline int MinTextHeight(const GraphPaint& paint) { return paint.printerColours ? 0 : kMinScreenTextHeight; }

// The labelled parts. Each draws on the canvas and returns the layout it
// drew, for the read-outs.
FrequencyMapping FrequencyAxis(GraphCanvas& canvas, const PlotRect& plot, double fmin, double fmax, bool linear);
ScalesLayout VerticalScales(GraphCanvas& canvas, PlotRect& plot, const std::vector<ScaleDescription>& scales);
TimeAxisLayout TimeAxis(GraphCanvas& canvas, const PlotRect& plot, bool printing, int height, double t0, double t1);

// True when the device draws fewer than 3 bits per pixel.
bool DeviceIsMonochrome(HDC dc);

}  // namespace srx
