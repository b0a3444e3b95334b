#include "graph/curves.h"

#include <gtest/gtest.h>

#include "dsp/numeric.h"

namespace srx {
namespace {

int Width6(std::string_view s) { return static_cast<int>(s.size()) * 6; }

struct Fixture {
    PlotRect plot{100, 0, 1100, 400};
    FrequencyMapping map;
    ScaleDescription db;
    Fixture() {
        map = LayoutFrequencyAxis(plot.Width(), 0, 1000, true, Width6).map;  // 1 px per Hz
        db.top = 100;
        db.range = 40;  // 10 px per dB
    }
    std::vector<CurvePoint> Points(std::initializer_list<std::pair<float, float>> pts) {
        std::vector<CurvePoint> v;
        for (auto [f, l] : pts) {
            CurvePoint p;
            p.frequency = f;
            p.value[kSlotLevel] = l;
            v.push_back(p);
        }
        return v;
    }
};

TEST(BuildCurve, MergesClipsAndStops) {
    Fixture fx;
    CurveSource src;
    // Two points on the same pixel merge.
    auto c = BuildCurve(fx.Points({{10, 90}, {10.2f, 90.01f}, {20, 80}}), src, fx.map, fx.db, fx.plot);
    EXPECT_EQ(c, (std::vector<CurvePixel>{{110, 100}, {120, 200}}));

    // Only the last point left of the plot stays, so the line enters at the edge.
    c = BuildCurve(fx.Points({{-50, 90}, {-20, 90}, {-10, 90}, {5, 90}}), src, fx.map, fx.db, fx.plot);
    EXPECT_EQ(c, (std::vector<CurvePixel>{{90, 100}, {105, 100}}));

    // All points left of the plot: nothing to draw.
    EXPECT_TRUE(BuildCurve(fx.Points({{-50, 90}, {-20, 90}}), src, fx.map, fx.db, fx.plot).empty());

    // The first point right of the plot ends the curve.
    c = BuildCurve(fx.Points({{900, 90}, {1100, 90}, {1200, 80}}), src, fx.map, fx.db, fx.plot);
    EXPECT_EQ(c, (std::vector<CurvePixel>{{1000, 100}, {1200, 100}}));

    // A level below -499 dB ends the data, even if valid-looking points follow.
    c = BuildCurve(fx.Points({{100, 90}, {200, 90}, {300, -500}, {400, 90}}), src, fx.map, fx.db, fx.plot);
    EXPECT_EQ(c.size(), 2u);
    c = BuildCurve(fx.Points({{100, 90}, {300, -499}}), src, fx.map, fx.db, fx.plot);
    EXPECT_EQ(c.size(), 2u);  // -499 itself is still a level
}

TEST(BuildCurve, SlotValues) {
    Fixture fx;
    auto pts = fx.Points({{100, 90}, {200, 90}, {300, 90}});
    pts[0].value[kSlotDistortion2] = 70;
    pts[1].value[kSlotDistortion2] = 50;
    pts[2].value[kSlotDistortion2] = -1000;  // harmonic no longer measured
    ScaleDescription pc;
    pc.top = 10;
    pc.range = 10;
    auto c = BuildCurve(pts, {kSlotDistortion2, CurveValue::DistortionPercent, true}, fx.map, pc, fx.plot);
    EXPECT_EQ(c, (std::vector<CurvePixel>{{200, 0}, {300, 360}}));

    // Impedance in slot 0 is in ohm: small values do not end the curve.
    ScaleDescription z;
    z.top = 10;
    z.range = 10;
    auto zp = fx.Points({{100, 5}, {200, 0}, {300, 5}});
    EXPECT_EQ(BuildCurve(zp, {kSlotLevel, CurveValue::Raw, false}, fx.map, z, fx.plot).size(), 3u);

    CurvePoint p;
    p.value[kSlotPhase] = static_cast<float>(kPi / 2);
    p.value[kSlotGroupDelay] = 0.002f;
    p.value[kSlotLevel] = 92;
    EXPECT_NEAR(CurvePointValue(p, {kSlotPhase, CurveValue::Degrees, true}), 90, 1e-4);
    EXPECT_NEAR(CurvePointValue(p, {kSlotGroupDelay, CurveValue::Milliseconds, true}), 2, 1e-6);
    EXPECT_NEAR(CurvePointValue(p, {kSlotLevel, CurveValue::Millivolt, true}), 100, 1e-9);
}

}  // namespace
}  // namespace srx
