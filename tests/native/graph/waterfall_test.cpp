#include "graph/waterfall.h"

#include <gtest/gtest.h>

#include <cmath>

namespace srx {
namespace {

int Width6(std::string_view s) { return static_cast<int>(s.size()) * 6; }

std::vector<std::string> Texts(const WaterfallFrequencyMarks& m) {
    std::vector<std::string> out;
    for (const AxisLabel& l : m.labels) out.push_back(l.text);
    return out;
}

// From 1000 Hz the labels read in kHz with a capital K; below 1 Hz the grid
// starts at 1 Hz; a start between grid values labels from the next one.
TEST(WaterfallFrequencies, LabelsGridStartAndCaptionStop) {
    const FrequencyMapping wide = LogFrequencyMapping(600, 1000, 20000);
    const WaterfallFrequencyMarks k = LayOutWaterfallFrequencies(1000, 20000, wide, 600 - 24, Width6);
    EXPECT_EQ(Texts(k), (std::vector<std::string>{"1K", "2K", "5K", "10K"}));  // 20K would reach "f/Hz"
    EXPECT_EQ(k.tickX.front(), 0);  // 1000 Hz itself, on the left edge
    // The last label never reaches the caption.
    EXPECT_LE(k.labels.back().x + k.labels.back().width / 2, 600 - 24);

    EXPECT_DOUBLE_EQ(WaterfallFirstGridValue(0.4), 1);
    EXPECT_DOUBLE_EQ(WaterfallFirstGridValue(23), 20);
    EXPECT_DOUBLE_EQ(WaterfallFirstGridValue(1000), 1000);
    const WaterfallFrequencyMarks low = LayOutWaterfallFrequencies(0.4, 50, LogFrequencyMapping(500, 0.4, 50), 480, Width6);
    ASSERT_FALSE(low.labels.empty());
    EXPECT_EQ(low.labels.front().text, "1");
    EXPECT_EQ(Texts(low), (std::vector<std::string>{"1", "2", "5", "10", "20"}));

    const FrequencyMapping m = LogFrequencyMapping(500, 23, 2000);
    const WaterfallFrequencyMarks mid = LayOutWaterfallFrequencies(23, 2000, m, 480, Width6);
    EXPECT_EQ(mid.tickX.front(), m.Map(30));  // 20 lies below the start
    EXPECT_EQ(mid.labels.front().text, "50");
    EXPECT_EQ(mid.gridX.front(), m.Map(30));
}

// Up without a selection does nothing; the octave keys stop at the
// displayed range.
TEST(WaterfallCursor, KeyTableOnACraftedGrid) {
    const std::vector<float> f = {100, 130, 170, 220, 300, 390, 500, 700, 900, 1200, 1600, 2100, 2800};
    int slice = -1, index = 0;
    auto press = [&](WaterfallKey k) {
        MoveWaterfallCursor(k, f, 5, 150, 2000, &slice, &index);
        return std::make_pair(slice, index);
    };
    EXPECT_EQ(press(WaterfallKey::Up), std::make_pair(-1, 0));
    EXPECT_EQ(press(WaterfallKey::Down), std::make_pair(-1, 0));
    EXPECT_EQ(press(WaterfallKey::PageDown), std::make_pair(4, 0));
    EXPECT_EQ(press(WaterfallKey::Down), std::make_pair(4, 0));
    EXPECT_EQ(press(WaterfallKey::Up), std::make_pair(3, 0));
    EXPECT_EQ(press(WaterfallKey::PageUp), std::make_pair(0, 0));
    EXPECT_EQ(press(WaterfallKey::Home).second, 2);    // 170 Hz, the first inside
    EXPECT_EQ(press(WaterfallKey::Left).second, 1);    // 170 > 150: one down
    EXPECT_EQ(press(WaterfallKey::Left).second, 1);    // 130 is outside
    EXPECT_EQ(press(WaterfallKey::Right).second, 2);
    EXPECT_EQ(press(WaterfallKey::Delete).second, 5);  // first at least 340 Hz
    EXPECT_EQ(press(WaterfallKey::Insert).second, 2);  // back to at most 195 Hz
    EXPECT_EQ(press(WaterfallKey::Insert).second, 2);  // 100 Hz, forward into range
    EXPECT_EQ(press(WaterfallKey::End).second, 10);    // 1600 Hz, the last inside
    EXPECT_EQ(press(WaterfallKey::Delete).second, 10); // 2800, back to 1600
    EXPECT_EQ(press(WaterfallKey::Right).second, 11);
    EXPECT_EQ(press(WaterfallKey::Right).second, 11);  // 2100 is beyond the end
    // A hostile stored index is brought into the grid.
    index = 999;
    EXPECT_TRUE(MoveWaterfallCursor(WaterfallKey::Up, f, 5, 150, 2000, &slice, &index));
    EXPECT_EQ(index, 12);

    const ReadoutPanes p = WaterfallReadout(1234.5, -3.25, 0.0012);
    EXPECT_EQ(p[0], "f: 1234.5Hz");
    EXPECT_EQ(p[1], "A: -3.25dB");
    EXPECT_EQ(p[2], "t: 1.2ms");
    EXPECT_TRUE(p[3].empty() && p[4].empty());
}

TEST(WaterfallTime, LabelStepAndTexts) {
    // 10 ms over 100 pixels: 1 ms steps are 10 pixels apart.
    EXPECT_DOUBLE_EQ(WaterfallTimeStep(100, 0.01, 10, 500), 0.01);
    EXPECT_DOUBLE_EQ(WaterfallTimeStep(100, 0.01, 8, 500), 0.001);
    // Spacing no longer below the panel width ends the search too.
    EXPECT_DOUBLE_EQ(WaterfallTimeStep(100, 0.01, 100, 50), 0.01);
    EXPECT_EQ(WaterfallTimeStep(100, 0, 10, 500), 0);
    EXPECT_EQ(WaterfallTimeStep(100, NAN, 10, 500), 0);
    EXPECT_EQ(WaterfallTimeStep(100, INFINITY, 10, 500), 0);
    const auto labels = WaterfallTimeLabels(0.0025, 0.01);
    ASSERT_EQ(labels.size(), 5u);
    EXPECT_EQ(labels[0].second, "0 ");
    EXPECT_EQ(labels[1].second, "2.5 ");
    EXPECT_EQ(labels[4].second, "10 ms");
    EXPECT_TRUE(WaterfallTimeLabels(0, 0.01).empty());
}

// Levels below the range lie on the base line; leading missing levels are
// left out; a slice without any level is no polygon.
TEST(WaterfallSlices, PolygonPoints) {
    const WaterfallLayout L = LayOutWaterfall(0, 0, 800, 600, 16, 7, 0, 10);
    ASSERT_TRUE(L.Usable());
    EXPECT_EQ(L.H % 10, 0);
    EXPECT_EQ(L.backLeft.x, L.left + L.dx);
    WaterfallProjection p;
    p.originX = L.backLeft.x;
    p.originY = L.backLeft.y;
    p.ux = L.ux;
    p.uy = L.uy;
    p.slices = 4;
    p.sliceStep = L.depthLength / 4;
    p.W = L.W;
    p.map = LogFrequencyMapping(L.W, 100, 1600);
    p.pixelsPerDb = L.H / 50.0;
    p.yoff = static_cast<int>(std::lround(L.H * (1 - 100 / 50.0)));  // top 100 dB
    p.start = 100;
    p.end = 1600;

    WaterfallSlice s{{100, 200, 400, 800, 1600}, {-1000, -1000, 90, 20, NAN}};
    const std::vector<CurvePixel> poly = WaterfallSlicePolygon(p, 2, s);
    const CurvePixel base = p.Base(2);
    ASSERT_EQ(poly.size(), 5u);
    EXPECT_EQ(poly[0].x, base.x + p.map.Map(400));
    EXPECT_EQ(poly[0].y, base.y - static_cast<int>(std::lround(40 * p.pixelsPerDb)));  // 10 dB below the top
    EXPECT_EQ(poly[1].y, base.y);  // 20 dB: below the range, on the floor
    EXPECT_EQ(poly[2].y, base.y);  // no level
    EXPECT_EQ(poly[3], (CurvePixel{base.x + p.W, base.y}));
    EXPECT_EQ(poly[4], (CurvePixel{poly[0].x, base.y}));

    s.level = {-1000, -600, -500, NAN, -1e30f};
    EXPECT_TRUE(WaterfallSlicePolygon(p, 0, s).empty());

    // The colour map: between slices 0|1 and 1|2, four frequency steps
    // each, less the steps with no level at any corner.
    const std::vector<WaterfallSlice> slices = {
        {{100, 200, 400, 800, 1600}, {100, 100, 100, 100, 100}},
        {{100, 200, 400, 800, 1600}, {-1000, -1000, 75, 75, -1000}},
        {{100, 200, 400, 800, 1600}, {-1000, -1000, -1000, 50, -1000}},
        {{100, 200, 400, 800, 1600}, {60, 60, 60, 60, 60}}};
    p.slices = 3;  // the fourth slice is not shown
    const std::vector<WaterfallQuad> q = WaterfallColourQuads(p, slices, 50, 50);
    ASSERT_EQ(q.size(), 4u + 3u);  // slices 1|2 have no level from 100 to 200 Hz
    EXPECT_EQ(q[0].shade, 128);    // corners 100, 100 and two without level (the bottom): half way
    EXPECT_EQ(q[0].corner[0], p.Point(0, 100, 100));
    EXPECT_EQ(q[0].corner[2], p.Point(1, 200, 50));
    EXPECT_EQ(q[3].shade, 159);  // 100, 100, bottom, 75: 81.25 dB
    EXPECT_EQ(q[4].corner[0], p.Point(1, 200, 50));
    EXPECT_EQ(q[4].shade, 32);  // bottom, 75, bottom, bottom
    EXPECT_TRUE(WaterfallColourQuads(p, slices, 50, 0).empty());
    // Blue at the bottom, green half way, red at the top.
    EXPECT_EQ(WaterfallRampColour(0), 223u << 16);
    EXPECT_EQ(WaterfallRampColour(255), 223u);
    EXPECT_EQ(WaterfallRampColour(128), 96u | (222u << 8) | (95u << 16));
    EXPECT_EQ(WaterfallRampColour(999), WaterfallRampColour(255));
}

}  // namespace
}  // namespace srx
