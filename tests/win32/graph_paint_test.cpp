// The graph painters on memory bitmaps, and graph document windows driven
// with mouse messages: where curves, scales and markers land, when nothing
// is painted, what the read-outs say, dragging the time-window markers,
// zooming with the rectangle, and printing without a printer.

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/frame.h"
#include "dsp/window.h"
#include "graph/interaction.h"
#include "graph/win32/graph_view.h"
#include "wine_test_util.h"

using namespace srx;

namespace {

using testutil::Dib;

// No pixel has a colour: black, white and (smoothed text edges) greys.
bool Colourless(const Dib& dib) {
    for (int y = 0; y < dib.height(); ++y)
        for (int x = 0; x < dib.width(); ++x) {
            const COLORREF c = dib.At(x, y);
            if (GetRValue(c) != GetGValue(c) || GetGValue(c) != GetBValue(c)) return false;
        }
    return true;
}

constexpr COLORREF kSentinel = RGB(0x12, 0x34, 0x56);

COLORREF AsColour(uint32_t c) { return static_cast<COLORREF>(c & 0xFFFFFF); }

// A frequency response from 20 Hz to 20 kHz, twelve points per octave, at
// `level` dB; from `endAt` up the data ends (-1000 dB).
std::unique_ptr<Measurement> Response(double level, double endAt = 1e9, uint32_t flags = 0) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    for (double f = 20; f <= 20001; f *= std::pow(2.0, 1.0 / 12)) {
        const double l = f >= endAt ? kNoLevel : level;
        AddCurvePoint(*m, f, l, 0.5, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                      kNoLevel);
    }
    m->h.flags |= flags | kMesSaved;
    SetText(m->h.title, "Woofer");
    return m;
}

// 100 ms at 48 kHz with a single peak of 0.8 V at 10 ms; the analysis window
// runs from 5 ms for 50 ms with a Hanning window.
std::unique_ptr<TimeRecord> Impulse() {
    auto t = NewTimeRecord({});
    t->h.sampleRate = 48000;
    t->h.sampleCount = 4800;
    t->samples.assign(4800, 0.0f);
    t->samples[480] = 0.8f;
    t->h.peak = 0.8;
    t->h.windowStart = 240;
    t->h.fftWindowLength = 0.05;
    t->h.windowType = kWindowHanning;
    t->h.flags |= kTwfSaved;
    SetText(t->h.title, "Impulse");
    return t;
}

int XOf(const GraphGeometry& g, double f) { return g.plot.left + g.map.Map(f); }
int YOf(const GraphGeometry& g, size_t scale, double v) { return g.scales.at(scale).Map(v, g.plot.top, g.plot.bottom); }

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

class GraphPaintTest : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        saved_ = Settings().window;
        WindowHistory& w = Settings().window;
        testutil::UseDefaultGraphLooks(w);
        w.graphViewFlags = kGraphAmplitude;
        w.distortionViewFlags = 0;
        w.shellFlags &= ~kShellPrintMonochrome;
        colours_ = w.appearance.screenColours;
        curve_ = AsColour(w.curveStyles[0].colour);
        paint_ = ScreenPaint();
    }
    void TearDown() override {
        ScratchFrameTest::TearDown();
        Settings().window = saved_;
    }

    WindowHistory saved_;
    GraphColours colours_;
    COLORREF curve_ = 0;
    GraphPaint paint_;
};

// ---- Painters on bitmaps -----------------------------------------------------------

// Curve, frame and data end where the scales put them; the thick-line flag
// doubles the curve; the information line only on the screen.
TEST_F(GraphPaintTest, CurveLandsWhereTheScalesSayInEitherWidth) {
    auto m = Response(80, 5000);
    Dib dib(800, 500, kSentinel), thick(800, 500, kSentinel);
    GraphGeometry g;
    ASSERT_TRUE(PaintMeasurementGraph(dib.dc(), dib.Area(), {{m.get()}}, paint_, &g));
    ASSERT_TRUE(g.valid);
    // The layout's numbers are the native tests' concern; here the pixels
    // land where it says: the frame, 1 kHz and 100 Hz at 80 dB.
    EXPECT_EQ(dib.At(g.plot.left, g.plot.bottom), AsColour(colours_.frame));
    EXPECT_EQ(dib.At(g.plot.right, g.plot.top), AsColour(colours_.frame));
    const int y80 = YOf(g, 0, 80);
    EXPECT_TRUE(dib.Near(XOf(g, 1000), y80, curve_, 1));
    EXPECT_TRUE(dib.Near(XOf(g, 100), y80, curve_, 1));
    // The data ends below -499 dB at 5 kHz: nothing of the curve beyond.
    const int x5k = XOf(g, 5000);
    EXPECT_EQ(dib.Count(curve_, RECT{x5k + 2, g.plot.top, g.plot.right + 1, g.plot.bottom + 1}), 0);
    EXPECT_GT(dib.Count(curve_, RECT{g.plot.left, g.plot.top, x5k - 2, g.plot.bottom + 1}), 100);
    // The screen paint leaves the background to the window: the margins
    // are untouched.
    EXPECT_EQ(dib.At(1, 1), kSentinel);

    GraphPaint p = paint_;
    p.flags |= 0x1000;
    ASSERT_TRUE(PaintMeasurementGraph(thick.dc(), thick.Area(), {{m.get()}}, p));
    const int x = XOf(g, 1000);
    EXPECT_EQ(dib.Count(curve_, RECT{x, g.plot.top, x + 1, g.plot.bottom}), 1);
    EXPECT_EQ(thick.Count(curve_, RECT{x, g.plot.top, x + 1, g.plot.bottom}), 2);

    // Below the axis labels: the information line on the screen, nothing
    // when painting for the printer or the clipboard.
    const COLORREF text = AsColour(colours_.text);
    EXPECT_GT(dib.Count(text, RECT{0, g.plot.bottom + 2 * 16, 800, 500}), 20);
    Dib out(800, 500, kSentinel);
    p = paint_;
    p.flags |= kPaintOutput;
    GraphGeometry go;
    ASSERT_TRUE(PaintMeasurementGraph(out.dc(), out.Area(), {{m.get()}}, p, &go));
    EXPECT_EQ(out.Count(text, RECT{0, go.plot.bottom + 2 * 16, 800, 500}), 0);
}

// Which scales a graph gets is the native tests' concern; here a phase
// curve is drawn on the phase scale, only for the curve that has one, and
// every curve gets its swatch in the legend.
TEST_F(GraphPaintTest, EachCurveInItsColoursWithItsPhaseAndLegend) {
    auto a = Response(80);
    auto b = Response(70, 1e9, kMesPhase);
    GraphPaint p = paint_;
    p.flags = kGraphAmplitude | kGraphPhase | kPaintMultigraph;
    Dib dib(900, 600, RGB(255, 255, 255));
    GraphGeometry g;
    MeasurementGraphInput in{{a.get(), b.get()}, {"a.mes", "b.mes"}, 0, 0};
    ASSERT_TRUE(PaintMeasurementGraph(dib.dc(), dib.Area(), in, p, &g));
    ASSERT_EQ(g.scales.size(), 2u);
    EXPECT_TRUE(dib.Near(XOf(g, 1000), YOf(g, 0, 80), curve_, 1));
    EXPECT_TRUE(dib.Near(XOf(g, 1000), YOf(g, 0, 70), AsColour(Settings().window.curveStyles[1].colour), 1));
    // b's phase (0.5 rad = 28.6 degrees) in its phase colour; a has none.
    const COLORREF phase1 = AsColour(Settings().window.curveStyles[1].phaseColour);
    EXPECT_TRUE(dib.Near(XOf(g, 1000), YOf(g, 1, 0.5 * 180 / 3.14159265358979), phase1, 1));
    EXPECT_EQ(dib.Count(AsColour(Settings().window.curveStyles[0].phaseColour),
                        RECT{g.plot.left + 1, g.plot.top + 1, g.plot.right, g.plot.bottom}),
              0);
    // The legend below the plot: a swatch per shown quantity, in two columns.
    const RECT legend{0, g.plot.bottom + 30, 900, 600};
    EXPECT_GT(dib.Count(curve_, legend), 9);
    EXPECT_GT(dib.Count(phase1, legend), 9);
}

TEST_F(GraphPaintTest, TooSmallPaintsNothing) {
    auto m = Response(80);
    Dib flat(600, 60, kSentinel);
    EXPECT_FALSE(PaintMeasurementGraph(flat.dc(), flat.Area(), {{m.get()}}, paint_));
    EXPECT_EQ(flat.Count(kSentinel, flat.Area()), 600 * 60);

    // Thirty curves: their legend would leave no room for the plot.
    std::vector<const Measurement*> many(30, m.get());
    GraphPaint p = paint_;
    p.flags |= kPaintMultigraph;
    Dib small(500, 140, kSentinel);
    EXPECT_FALSE(PaintMeasurementGraph(small.dc(), small.Area(), {many}, p));
    EXPECT_EQ(small.Count(kSentinel, small.Area()), 500 * 140);
    // Without a legend (printer output) the same graph fits.
    p.flags |= kPaintOutput;
    EXPECT_TRUE(PaintMeasurementGraph(small.dc(), small.Area(), {many}, p));

    auto empty = NewTimeRecord({});
    empty->h.sampleRate = 48000;
    Dib dib(600, 400, kSentinel);
    EXPECT_FALSE(PaintImpulseGraph(dib.dc(), dib.Area(), *empty, paint_));
    auto t = Impulse();
    Dib low(600, 50, kSentinel);
    EXPECT_FALSE(PaintImpulseGraph(low.dc(), low.Area(), *t, paint_));
    EXPECT_EQ(low.Count(kSentinel, low.Area()), 600 * 50);
}

TEST_F(GraphPaintTest, ImpulseWithWindowMarkersAndFallingHalf) {
    auto t = Impulse();
    Dib dib(800, 500, RGB(255, 255, 255));
    GraphGeometry g;
    ASSERT_TRUE(PaintImpulseGraph(dib.dc(), dib.Area(), *t, paint_, &g));
    // The whole record, the vertical zoom reset.
    EXPECT_DOUBLE_EQ(t->displayTimeStart, 0);
    EXPECT_DOUBLE_EQ(t->displayTimeEnd, 0.1);
    const COLORREF impulse = AsColour(colours_.impulse);
    const int xPeak = g.plot.left + g.time.Map(0.010);
    EXPECT_TRUE(dib.Near(xPeak, YOf(g, 0, 0.8), impulse, 1));

    // Dotted markers at 5 ms and 55 ms.
    ASSERT_TRUE(g.markers);
    EXPECT_EQ(g.markerStartX, g.plot.left + g.time.Map(0.005));
    EXPECT_EQ(g.markerEndX, g.plot.left + g.time.Map(0.055));
    const COLORREF line = AsColour(colours_.line);
    const int h = g.plot.Height();
    const int inStart = dib.Count(line, RECT{g.markerStartX, g.plot.top + 1, g.markerStartX + 1, g.plot.bottom});
    EXPECT_GT(inStart, h / 4);
    EXPECT_LT(inStart, h * 3 / 4);  // dotted, not solid
    // Halfway through a Hanning window the gain is 0.5: halfway between
    // the zero line and the top of the plot.
    const int zeroY = YOf(g, 0, 0);
    const int xMid = g.plot.left + g.time.Map(0.030);
    EXPECT_TRUE(dib.Near(xMid, zeroY - (zeroY - g.plot.top) / 2, line, 2));

    // Hidden markers: neither lines nor window.
    GraphPaint p = paint_;
    p.flags |= kGraphTimeMarkersHidden;
    Dib hidden(800, 500, RGB(255, 255, 255));
    ASSERT_TRUE(PaintImpulseGraph(hidden.dc(), hidden.Area(), *t, p, &g));
    EXPECT_FALSE(g.markers);
    EXPECT_FALSE(hidden.Near(xMid, zeroY - (zeroY - g.plot.top) / 2, line, 2));

    // A zoomed range and amplitude: at 4x the half range is 0.25 V and the
    // peak is cut off at the top of the plot, not drawn above it.
    t->displayTimeStart = 0.009;
    t->displayTimeEnd = 0.011;
    t->amplitudeZoom = 4;
    Dib zoomed(800, 500, RGB(255, 255, 255));
    ASSERT_TRUE(PaintImpulseGraph(zoomed.dc(), zoomed.Area(), *t, paint_, &g));
    EXPECT_DOUBLE_EQ(g.scales[0].top, 0.25);
    const int before = g.plot.left + g.time.Map(479 / 48000.0), at = g.plot.left + g.time.Map(480 / 48000.0);
    EXPECT_GT(zoomed.Count(impulse, RECT{before, g.plot.top + 1, at + 1, g.plot.top + 2}), 0);
    EXPECT_EQ(zoomed.Count(impulse, RECT{0, 0, 800, g.plot.top}), 0);
}

// Printer colours replacing the screen ones run in the printed-page test.
TEST_F(GraphPaintTest, MonochromeOutputHasNoColour) {
    auto m = Response(80, 1e9, kMesPhase);
    GraphPaint p = paint_;
    p.flags = kGraphAmplitude | kGraphPhase | kPaintOutput;
    p.printerColours = true;
    p.monochrome = true;
    p.screen = false;
    Dib mono(700, 450, kSentinel);
    ASSERT_TRUE(PaintMeasurementGraph(mono.dc(), mono.Area(), {{m.get()}}, p));
    EXPECT_TRUE(Colourless(mono));
    EXPECT_GT(mono.Count(RGB(0, 0, 0), mono.Area()), 1000);
}

// ---- Document windows ------------------------------------------------------------

class GraphWindowTest : public GraphPaintTest {
protected:
    void SetUp() override {
        GraphPaintTest::SetUp();
        InstallGraphView();
        OpenFrame(true);
    }
    // A window of the kind, sized and painted. The frame stays hidden
    // (destroying a mapped window makes Wine wait for a window manager that
    // Xvfb does not have), so paints are asked for directly.
    HWND Open(int kind, void* data) {
        HWND w = CreateDocumentWindow("graph", kind, data);
        if (!w) return nullptr;
        SetWindowPos(w, nullptr, 0, 0, 820, 560, SWP_NOZORDER | SWP_NOACTIVATE);
        Repaint(w);
        return w;
    }
    static void Repaint(HWND w) {
        InvalidateRect(w, nullptr, TRUE);
        SendMessageA(w, WM_PAINT, 0, 0);
    }
    std::string Pane(int i) {
        char text[256] = {};
        SendMessageA(Shell().status, SB_GETTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        return text;
    }
};

TEST_F(GraphWindowTest, MeasurementReadoutAndZoomRectangle) {
    Measurement* m = Response(80).release();  // the window owns it
    HWND w = Open(kDocMeasurement, m);
    ASSERT_NE(w, nullptr);
    const GraphGeometry* g = GraphGeometryOf(w);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->kind, kDocMeasurement);

    // The read-outs' texts are the native tests' concern: the status bar
    // shows the curve's; outside the plot everything clears.
    const int y = (g->plot.top + g->plot.bottom) / 2;
    SendMessageA(w, WM_MOUSEMOVE, 0, At(XOf(*g, 1000), y));
    EXPECT_EQ(Pane(2), "A: 80dB");
    SendMessageA(w, WM_MOUSEMOVE, 0, At(2, 2));
    EXPECT_EQ(Pane(1), "");
    EXPECT_EQ(Pane(2), "");
    // With Ctrl held the mouse shows the crosshair and its read-out; letting
    // go of Ctrl gives the curve's value again.
    SendMessageA(w, WM_MOUSEMOVE, MK_CONTROL, At(XOf(*g, 1000), YOf(*g, 0, 70)));
    EXPECT_EQ(Pane(2).substr(0, 5), "A: 70");
    SendMessageA(w, WM_KEYUP, VK_CONTROL, 0);
    EXPECT_EQ(Pane(2), "A: 80dB");

    // Dragging a rectangle from 100 Hz to 1 kHz zooms to that range.
    const int x0 = XOf(*g, 100), x1 = XOf(*g, 1000);
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, At(x0, y - 20));
    SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, At((x0 + x1) / 2, y));
    SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, At(x1, y + 20));
    SendMessageA(w, WM_LBUTTONUP, 0, At(x1, y + 20));
    EXPECT_NEAR(m->displayFirstFrequency, 100, 2);
    EXPECT_NEAR(m->displayLastFrequency, 1000, 20);
    EXPECT_TRUE(GraphZoomed(w));
    Repaint(w);  // paints the zoomed range

    // Restore Zoom (command 737) goes back.
    SendMessageA(w, WM_COMMAND, 737, 0);
    EXPECT_FALSE(GraphZoomed(w));
    EXPECT_DOUBLE_EQ(m->displayFirstFrequency, m->h.firstFrequency);
}

// The read-out panes follow the status bar's font ("f: 10013.71Hz" lost its "z" in 80 px).
TEST_F(GraphWindowTest, ReadoutPanesHoldTheWidestReadout) {
    HFONT big = CreateFontA(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    SendMessageA(Shell().status, WM_SETFONT, reinterpret_cast<WPARAM>(big), FALSE);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, big);
    SIZE size{};
    GetTextExtentPoint32A(dc, "f: 10013.71Hz", 13, &size);
    ReleaseDC(nullptr, (SelectObject(dc, old), dc));
    int edges[7];
    StatusPartEdges(1200, ReadoutPaneWidth(Shell().status), edges);
    EXPECT_GE(edges[2] - edges[1], size.cx + 6);
    SendMessageA(Shell().status, WM_SETFONT, 0, FALSE);
    DeleteObject(big);
}

TEST_F(GraphWindowTest, ImpulseReadoutAndMarkerDrag) {
    TimeRecord* t = Impulse().release();
    HWND w = Open(kDocImpulse, t);
    ASSERT_NE(w, nullptr);
    const GraphGeometry* g = GraphGeometryOf(w);
    ASSERT_NE(g, nullptr);
    ASSERT_TRUE(g->markers);
    const int y = (g->plot.top + g->plot.bottom) / 2;
    // The mouse time (about 10 ms, 0.14 ms per pixel) and the peak the column
    // shows; nothing left of the plot.
    const std::vector<std::string> texts = ReadoutTexts(w, POINT{g->plot.left + g->time.Map(0.010), y}, false);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_NEAR(std::atof(texts[0].c_str() + 3), 10, 0.15) << texts[0];
    EXPECT_EQ(texts[1], "U: 800mV");
    EXPECT_EQ(ReadoutTexts(w, POINT{g->plot.left - 5, y}, false), std::vector<std::string>(5));

    // Drag the start marker (5 ms) to the right past the end marker (55 ms):
    // it becomes the end, the old end the start; the length stays positive.
    const int startX = g->markerStartX;
    const int target = g->plot.left + g->time.Map(0.080);
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, At(startX + 3, y));
    SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, At(startX + 100, y));
    SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, At(target, y));
    // While dragging, the read-out follows the moving window.
    EXPECT_EQ(ReadoutTexts(w, POINT{target, y}, false)[2], "TS: 55ms");
    SendMessageA(w, WM_LBUTTONUP, 0, At(target, y));
    EXPECT_EQ(t->h.windowStart, 2640);  // 55 ms x 48 kHz
    const double end = g->time.TimeAt(target - g->plot.left);
    EXPECT_NEAR(t->h.windowStart / 48000.0 + t->h.fftWindowLength, end, 1e-9);
    EXPECT_GT(t->h.fftWindowLength, 0);
    EXPECT_EQ(t->h.flags & kTwfSaved, 0u);  // the record changed
}

// Graphs are copied with their own background, other windows on white.
TEST_F(GraphWindowTest, ClipboardCopyUsesThePainter) {
    Settings().window.appearance.screenColours.background = RGB(0, 0, 128);
    HWND w = Open(kDocMeasurement, Response(80).release());
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(CopyWindowToClipboard(w), 1);
    auto copy = Dib::FromClipboard();
    ASSERT_NE(copy, nullptr);
    RECT rc;
    GetClientRect(w, &rc);
    EXPECT_EQ(copy->width(), rc.right + 1);
    EXPECT_EQ(copy->height(), rc.bottom + 1);
    EXPECT_GT(copy->Count(curve_, copy->Area()), 200);
    EXPECT_EQ(copy->At(0, 0), RGB(0, 0, 128));
    EXPECT_EQ(copy->At(copy->width() - 1, copy->height() - 1), RGB(0, 0, 128));
    EXPECT_TRUE(IsWindowEnabled(frame_));

    HWND schematic = CreateDocumentWindow("Crossover", kDocXoverSchematic, nullptr);
    ASSERT_EQ(CopyWindowToClipboard(schematic), 1);
    copy = Dib::FromClipboard();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(copy->At(copy->width() - 1, copy->height() - 1), RGB(255, 255, 255));
}

TEST_F(GraphWindowTest, PrintedPageInPrinterColoursAtPrinterResolution) {
    auto m = Response(80);
    HWND w = Open(kDocMeasurement, m.release());
    ASSERT_NE(w, nullptr);
    Settings().window.printerCurveStyles[0].colour = RGB(0, 160, 0);
    // A page of 1240 x 1754 pixels at 150 dpi (A4).
    Dib page(1240, 1754, kSentinel);
    ASSERT_TRUE(PaintGraphPage(w, page.dc(), 1240, 1754, 150, 150));
    // Half-inch margins stay untouched; the graph spans the page's width in
    // landscape proportions; the background is filled.
    EXPECT_EQ(page.At(40, 40), kSentinel);
    EXPECT_EQ(page.At(620, 1200), kSentinel);
    EXPECT_EQ(page.At(80, 80), AsColour(Settings().window.appearance.printerColours.background));
    EXPECT_EQ(page.At(1160, 700), AsColour(Settings().window.appearance.printerColours.background));
    // The curve in the printer's colour, none in the screen's.
    EXPECT_GT(page.Count(RGB(0, 160, 0), page.Area()), 500);
    EXPECT_EQ(page.Count(curve_, page.Area()), 0);
    // The window's own geometry is that of the screen, not of the page.
    const GraphGeometry* g = GraphGeometryOf(w);
    ASSERT_NE(g, nullptr);
    EXPECT_LT(g->plot.right, 820);
}

// A multigraph record as its module will hold it.
struct FakeMultigraph {
    std::vector<const Measurement*> curves;
    double first = 20, last = 20000;
};
bool FakeSource(void* data, MultigraphCurves* out) {
    auto* mg = static_cast<FakeMultigraph*>(data);
    out->records = mg->curves;
    out->names = {"one.mes", "two.mes"};
    out->displayFirst = &mg->first;
    out->displayLast = &mg->last;
    out->fullFirst = 20;
    out->fullLast = 20000;
    return true;
}

TEST_F(GraphWindowTest, MultigraphWindowZoomsItsOwnRangeAndShowsNoReadout) {
    auto a = Response(80);
    auto b = Response(70);
    FakeMultigraph mg{{a.get(), b.get()}};
    SetMultigraphSource(FakeSource);
    HWND w = Open(kDocMultigraph, &mg);
    ASSERT_NE(w, nullptr);
    const GraphGeometry* g = GraphGeometryOf(w);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->flags & kPaintMultigraph);
    const int y = (g->plot.top + g->plot.bottom) / 2;
    EXPECT_EQ(ReadoutTexts(w, POINT{XOf(*g, 1000), y}, false), std::vector<std::string>(5));
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, At(XOf(*g, 200), y));
    SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, At(XOf(*g, 2000), y));
    SendMessageA(w, WM_LBUTTONUP, 0, At(XOf(*g, 2000), y));
    EXPECT_NEAR(mg.first, 200, 3);
    EXPECT_NEAR(mg.last, 2000, 30);
    EXPECT_TRUE(GraphZoomed(w));
    EXPECT_TRUE(RestoreGraphZoom(w));
    EXPECT_DOUBLE_EQ(mg.first, 20);
    EXPECT_DOUBLE_EQ(mg.last, 20000);
    DestroyAllWindows();  // the window does not own the fake record
    SetMultigraphSource(nullptr);
}

// Cancels whatever dialog the print commands open (there is no printer to
// print on, and no one to press a button).
VOID CALLBACK CancelDialogs(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM) -> BOOL {
            char cls[32] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(w))
                PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return TRUE;
        },
        0);
}

TEST_F(GraphWindowTest, PrintingWithoutAPrinterReturnsQuietly) {
    auto m = Response(80);
    HWND w = Open(kDocMeasurement, m.release());
    ASSERT_NE(w, nullptr);
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, CancelDialogs);
    EXPECT_FALSE(PrintGraphWindow(frame_, w));
    EXPECT_FALSE(GraphPageSetup(frame_));
    KillTimer(nullptr, timer);
    // Not a graph: nothing to print, no dialog.
    EXPECT_FALSE(PrintGraphWindow(frame_, frame_));
    // On a device that refuses documents (a memory context) nothing is claimed.
    Dib dib(200, 200, kSentinel);
    EXPECT_FALSE(PrintGraphOnDc(w, dib.dc(), "x"));
    // The window still paints.
    Repaint(w);
    EXPECT_NE(GraphGeometryOf(w), nullptr);
}

}  // namespace
