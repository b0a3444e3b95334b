// The waterfall and box-design analysis painters on memory bitmaps: flat
// slices below the level range, slices that begin late, the colour map, two designs in
// their own colours, a window with its cursor keys, and too small areas.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/settings.h"
#include "app/win32/shell.h"
#include "data/view_flags.h"
#include "graph/waterfall.h"
#include "graph/win32/graph_view.h"
#include "platform/file_io.h"
#include "wine_test_util.h"

namespace srx::testutil {
void CraftAnalysedSlot(int slot, double level, double ohm);
void ClearDesignSlots();
}  // namespace srx::testutil

using namespace srx;

namespace {

using testutil::Dib;

constexpr COLORREF kSentinel = RGB(0x12, 0x34, 0x56);
constexpr COLORREF kSliceLine = RGB(0, 0, 200), kSliceFill = RGB(0, 200, 0);

// With SRX_PAINT_SHOTS set, the bitmap goes to /tmp as a .bmp to look at.
void Shot(const Dib& dib, const char* name) {
    if (!std::getenv("SRX_PAINT_SHOTS")) return;
    const int w = dib.width(), h = dib.height(), row = (w * 3 + 3) & ~3;
    std::string bmp(54 + static_cast<size_t>(row) * h, '\0');
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put(2, static_cast<uint32_t>(bmp.size()), 4);
    put(10, 54, 4), put(14, 40, 4), put(18, w, 4), put(22, h, 4), put(26, 1, 2), put(28, 24, 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const COLORREF c = dib.At(x, h - 1 - y);
            const size_t at = 54 + static_cast<size_t>(y) * row + 3 * x;
            bmp[at] = static_cast<char>(GetBValue(c)), bmp[at + 1] = static_cast<char>(GetGValue(c));
            bmp[at + 2] = static_cast<char>(GetRValue(c));
        }
    WriteFileSafely(std::string("Z:\\tmp\\") + name, bmp);
}

// Four slices from 100 Hz to 10 kHz: the first begins with five -1000 dB
// points and stands at 80 dB, the others lie at 10 dB, below the range.
std::unique_ptr<TimeRecord> Waterfall() {
    auto t = NewTimeRecord({});
    std::vector<float> f;
    for (int i = 0; i <= 40; ++i) f.push_back(static_cast<float>(100 * std::pow(100.0, i / 40.0)));
    for (int j = 0; j < 4; ++j) {
        WaterfallSlice s{f, std::vector<float>(f.size(), j == 0 ? 80.0f : 10.0f)};
        if (j == 0)
            for (int i = 0; i < 5; ++i) s.level[static_cast<size_t>(i)] = -1000;
        t->slices.push_back(s);
    }
    t->h.sliceCount = 4;
    t->h.slicePoints = static_cast<int32_t>(f.size());
    t->h.waterfallFirstFrequency = f.front();
    t->h.waterfallLastFrequency = f.back();
    t->h.furtherTime = 0.004;
    t->h.flags |= kTwfWaterfall | kTwfSaved;
    SetText(t->h.title, "Woofer");
    return t;
}

// Sized and painted; the frame stays hidden, so the paint is asked for.
void SizeAndPaint(HWND w) {
    SetWindowPos(w, nullptr, 0, 0, 820, 560, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(w, nullptr, TRUE);
    SendMessageA(w, WM_PAINT, 0, 0);
}

class WaterfallAnalysisPaint : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        saved_ = Settings().window;
        WindowHistory& w = Settings().window;
        testutil::UseDefaultGraphLooks(w);
        w.appearance.screenColours.waterfallLine = kSliceLine;
        w.appearance.screenColours.waterfallFill = kSliceFill;
        w.boxViewFlags = 0;
        testutil::ClearDesignSlots();
    }
    void TearDown() override {
        testutil::ClearDesignSlots();
        ScratchFrameTest::TearDown();
        Settings().window = saved_;
    }
    WindowHistory saved_;
};

TEST_F(WaterfallAnalysisPaint, SlicesBelowTheRangeLieFlatAndALateStartBeginsAtItsFirstLevel) {
    auto t = Waterfall();
    Dib dib(900, 600, kSentinel);
    WaterfallProjection p;
    ASSERT_TRUE(PaintWaterfallGraph(dib.dc(), dib.Area(), *t, ScreenPaint(), &p));
    Shot(dib, "srx-waterfall.bmp");
    ASSERT_TRUE(p.valid);
    ASSERT_EQ(p.slices, 4);
    for (int j = 1; j < 4; ++j) {
        const CurvePixel b = p.Base(j);
        for (int x : {b.x + p.W / 4, b.x + p.W / 2, b.x + 3 * p.W / 4}) {
            EXPECT_EQ(dib.At(x, b.y), kSliceLine) << "slice " << j << " at " << x;
            EXPECT_NE(dib.At(x, b.y - 3), kSliceFill) << "slice " << j << " at " << x;
        }
    }
    // The first slice stands from its sixth frequency on, filled above its base.
    const CurvePixel b0 = p.Base(0);
    const int x0 = b0.x + p.map.Map(t->slices[0].frequency[5]);
    EXPECT_EQ(dib.At(x0 + 4, b0.y - 5), kSliceFill);
    EXPECT_NE(dib.At(x0 - 4, b0.y - 5), kSliceFill);
    EXPECT_EQ(dib.At(x0, b0.y - 5), kSliceLine);  // its left edge
    EXPECT_EQ(dib.Count(kSliceFill, RECT{b0.x, 0, x0 - 1, b0.y}), 0);

    // As a colour map the ground between the slices takes the ramp's
    // colours instead of the fill, with the nearest slice as its edge.
    Settings().window.graphViewFlags |= kGraphWaterfallColours;
    Dib map(900, 600, kSentinel);
    WaterfallProjection pm;
    ASSERT_TRUE(PaintWaterfallGraph(map.dc(), map.Area(), *t, ScreenPaint(), &pm));
    Settings().window.graphViewFlags &= ~kGraphWaterfallColours;
    Shot(map, "srx-waterfall-map.bmp");
    EXPECT_EQ(map.Count(kSliceFill, map.Area()), 0);
    // Between the standing first slice and the flat second one, half way up.
    const CurvePixel b1 = pm.Base(1);
    const int xm = b1.x + pm.W / 2;
    const COLORREF between = map.At(xm, (b0.y + b1.y) / 2 - 3);
    bool onRamp = false;
    for (int shade = 0; shade < 256; ++shade) onRamp |= between == COLORREF(WaterfallRampColour(shade));
    EXPECT_TRUE(onRamp) << std::hex << between;
    const CurvePixel b3 = pm.Base(3);
    EXPECT_EQ(map.At(b3.x + pm.W / 2, b3.y), kSliceLine);

    // Too low an area paints nothing.
    Dib small(400, 30, kSentinel);
    EXPECT_FALSE(PaintWaterfallGraph(small.dc(), small.Area(), *t, ScreenPaint()));
    EXPECT_EQ(small.Count(kSentinel, small.Area()), 400 * 30);
}

TEST_F(WaterfallAnalysisPaint, TwoDesignsInTheirOwnColours) {
    testutil::CraftAnalysedSlot(0, 90, 6);
    testutil::CraftAnalysedSlot(2, 70, 12);
    const COLORREF first = Settings().window.curveStyles[1].colour & 0xFFFFFF;
    const COLORREF third = Settings().window.curveStyles[3].colour & 0xFFFFFF;
    ASSERT_NE(first, third);
    Dib dib(800, 500, kSentinel);
    GraphGeometry g;
    ASSERT_TRUE(PaintAnalysisGraph(dib.dc(), dib.Area(), 0, 3200, &g, ScreenPaint()));
    Shot(dib, "srx-analysis.bmp");
    ASSERT_TRUE(g.valid);
    ASSERT_EQ(g.scales.size(), 1u);
    EXPECT_DOUBLE_EQ(g.scales[0].top, 100);  // 90 dB -> 90 + 10
    const int x = g.plot.left + g.map.Map(100);
    EXPECT_TRUE(dib.Near(x, g.scales[0].Map(90, g.plot.top, g.plot.bottom), first, 1));
    EXPECT_TRUE(dib.Near(x, g.scales[0].Map(70, g.plot.top, g.plot.bottom), third, 1));
    // The legend's swatches below the plot, in both designs' colours.
    EXPECT_GT(dib.Count(first, RECT{0, g.plot.bottom + 1, 800, 500}), 0);
    EXPECT_GT(dib.Count(third, RECT{0, g.plot.bottom + 1, 800, 500}), 0);

    // Thick lines double the curve.
    Dib thick(800, 500, kSentinel);
    Settings().window.boxViewFlags = kBoxThickLines;
    ASSERT_TRUE(PaintAnalysisGraph(thick.dc(), thick.Area(), 0, 3200, &g, ScreenPaint()));
    const RECT plot{g.plot.left + 1, g.plot.top + 1, g.plot.right, g.plot.bottom};
    EXPECT_GE(thick.Count(first, plot), 2 * dib.Count(first, plot) - 4);

    // The impulse of the current design alone, over its visible length.
    Dib impulse(800, 500, kSentinel);
    ASSERT_TRUE(PaintAnalysisGraph(impulse.dc(), impulse.Area(), 2, 3217, &g, ScreenPaint()));
    Shot(impulse, "srx-impulse.bmp");
    EXPECT_DOUBLE_EQ(g.time.t1, 0.1);
    const RECT inside{g.plot.left + 1, g.plot.top + 1, g.plot.right, g.plot.bottom};
    EXPECT_GT(impulse.Count(third, inside), 100);
    EXPECT_EQ(impulse.Count(first, inside), 0);

    Dib small(400, 30, kSentinel);
    EXPECT_FALSE(PaintAnalysisGraph(small.dc(), small.Area(), 0, 3200, &g, ScreenPaint()));
    EXPECT_FALSE(g.valid);
}

// An analysis window reads out its design; a waterfall window follows its keys.
TEST_F(WaterfallAnalysisPaint, WindowsReadOutAndTheWaterfallCursorMoves) {
    OpenFrame(true);
    InstallGraphView();
    testutil::CraftAnalysedSlot(1, 85, 8);
    HWND analysis = OpenAnalysisWindow(1, 3205);
    ASSERT_NE(analysis, nullptr);
    EXPECT_EQ(OpenAnalysisWindow(4, 3205), nullptr);
    SizeAndPaint(analysis);
    const GraphGeometry* g = GraphGeometryOf(analysis);
    ASSERT_NE(g, nullptr);
    const POINT at{g->plot.left + g->map.Map(100), (g->plot.top + g->plot.bottom) / 2};
    const std::vector<std::string> panes = ReadoutTexts(analysis, at, false);
    ASSERT_EQ(panes.size(), 5u);
    EXPECT_EQ(panes[1], "Z: 8Ohm");
    EXPECT_EQ(panes[3], "Design #2");

    auto t = Waterfall();
    HWND waterfall = CreateDocumentWindow("Waterfall: Woofer", kDocWaterfall, t.get());
    ASSERT_NE(waterfall, nullptr);
    t.release();  // the window frees it
    SizeAndPaint(waterfall);
    SendMessageA(waterfall, WM_KEYDOWN, VK_NEXT, 0);  // the last slice
    SendMessageA(waterfall, WM_KEYDOWN, VK_END, 0);   // the last frequency
    std::vector<std::string> w = ReadoutTexts(waterfall, POINT{0, 0}, false);
    EXPECT_EQ(w[0], "f: 10000Hz");
    EXPECT_EQ(w[1], "A: 10dB");
    EXPECT_EQ(w[2], "t: 3ms");  // slice 3 of 4 over 4 ms
    SendMessageA(waterfall, WM_KEYDOWN, VK_INSERT, 0);  // an octave down: 5 kHz or below
    w = ReadoutTexts(waterfall, POINT{0, 0}, false);
    EXPECT_LE(std::atof(w[0].c_str() + 3), 5000.0);
    EXPECT_GT(std::atof(w[0].c_str() + 3), 4000.0);
}

}  // namespace
