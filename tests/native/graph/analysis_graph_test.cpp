#include "graph/analysis_graph.h"

#include <gtest/gtest.h>

#include <cmath>

#include "data/view_flags.h"

namespace srx {
namespace {

// Four points of a design's results, held for the views.
struct Crafted {
    std::vector<double> frequency = {20, 50, 100, 200};
    std::vector<double> zeros = std::vector<double>(4, 0.0);
    std::vector<double> total = {80, 93.2, 91, 88}, impedance = {6, 40, 8, 7};
    std::vector<double> excursion = {0.004, 0.002, 0.001, 0.0005}, delay = {0.012, 0.008, 0.004, 0.002};
    std::vector<double> velocity = {0.3, 0.2, 0.1, 0.05};
    std::vector<double> unwrapped = {-0.5, -1.2, -2.5, -3.0};  // down to -171.9 degrees
    std::vector<double> impulse = std::vector<double>(kAnalysisImpulseSamples, 0.0);
    AnalysisSeries series;
    Crafted() {
        using Q = AnalysisQuantity;
        series.frequency = &frequency;
        series.curves.fill(&zeros);
        series.curves[size_t(Q::Total)] = &total;
        series.curves[size_t(Q::Impedance)] = &impedance;
        series.curves[size_t(Q::Excursion)] = &excursion;
        series.curves[size_t(Q::GroupDelay)] = &delay;
        series.curves[size_t(Q::ConeVelocity)] = &velocity;
        series.curves[kUnwrappedPhaseSeries] = &unwrapped;
        series.impulse = &impulse;
        series.sampleRate = 4000;
        series.visibleImpulse = 0.1;
    }
};

// No design shown still gives every scale; ranges follow the rules over the
// curves of all shown designs.
TEST(AnalysisScales, EmptyAndCraftedRanges) {
    const std::vector<ScaleDescription> empty = AnalysisScales(3206, {}, 50, 0);
    ASSERT_EQ(empty.size(), 2u);
    EXPECT_EQ(empty[0].unit, "dB");
    EXPECT_DOUBLE_EQ(empty[0].top, 5);
    EXPECT_DOUBLE_EQ(empty[0].Bottom(), -45);
    EXPECT_EQ(empty[1].unit, "Ohm");
    EXPECT_DOUBLE_EQ(empty[1].top, 1.0);
    EXPECT_DOUBLE_EQ(empty[1].Bottom(), 0);

    const Crafted c;
    const AnalysisSeries& r = c.series;
    EXPECT_DOUBLE_EQ(AnalysisScales(3200, {&r}, 50, 0)[0].top, 100);  // 90 + 10
    EXPECT_DOUBLE_EQ(AnalysisScales(3203, {&r}, 50, 0)[0].top, 45);   // first above 44
    // 4 mm peak-to-peak is 1.414 mm one way RMS: the first nice value above 1.556 mm.
    EXPECT_NEAR(AnalysisScales(3210, {&r}, 50, 0)[0].top, 4.5, 1e-12);
    EXPECT_NEAR(AnalysisScales(3210, {&r}, 50, kBoxOneWayRms)[0].top, 2, 1e-12);
    const std::vector<ScaleDescription> xg = AnalysisScales(3212, {&r}, 50, 0);
    EXPECT_NEAR(xg[1].top, 15, 1e-9);  // 13.2 ms -> 15 ms
    EXPECT_EQ(xg[1].unit, "ms");
    EXPECT_DOUBLE_EQ(AnalysisScales(3213, {&r}, 50, 0)[0].top, 0.4);
    // Acoustic phase: wrapped +-180; unwrapped to 45 degrees, always holding 0.
    EXPECT_DOUBLE_EQ(AnalysisScales(3201, {&r}, 50, 0)[0].top, 180);
    const ScaleDescription un = AnalysisScales(3201, {&r}, 50, kBoxUnwrappedPhase)[0];
    EXPECT_DOUBLE_EQ(un.top, 0);
    EXPECT_DOUBLE_EQ(un.Bottom(), -180);
    EXPECT_DOUBLE_EQ(AnalysisScales(3201, {}, 50, kBoxUnwrappedPhase)[0].top, 180);
    EXPECT_DOUBLE_EQ(AnalysisScales(3204, {&r}, 50, 0)[0].top, 90);

    EXPECT_DOUBLE_EQ(AnalysisDbTop(4.9), 5);
    EXPECT_DOUBLE_EQ(AnalysisDbTop(1e9), 510);
    EXPECT_DOUBLE_EQ(AnalysisOhmTop(1e9), 10000);
    EXPECT_DOUBLE_EQ(AnalysisNiceTop(50, 0, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(AnalysisVelocityTop(5000), 1000);
}

TEST(AnalysisLegend, RowsAndColumns) {
    EXPECT_EQ(LayOutAnalysisLegend({}, 0, 300, 10).rows, 1);
    const LegendLayout three = LayOutAnalysisLegend({50, 80, 60}, 0, 300, 10);
    EXPECT_EQ(three.rows, 2);
    ASSERT_EQ(three.entries.size(), 3u);
    EXPECT_EQ(three.entries[0].x, three.leftX);
    EXPECT_EQ(three.entries[1].x, three.rightX);
    EXPECT_EQ(three.entries[2].x, three.leftX);
    EXPECT_EQ(three.entries[1].row, 0);
    EXPECT_EQ(three.entries[2].row, 1);
    EXPECT_EQ(three.rightX, 150);
    // A long right entry pulls its column left so that it ends inside ...
    const LegendLayout narrow = LayOutAnalysisLegend({30, 120}, 0, 200, 10);
    EXPECT_LE(narrow.rightX + 120, 200);
    // ... but never over the left column's longest entry.
    const LegendLayout crowded = LayOutAnalysisLegend({150, 120}, 0, 200, 10);
    EXPECT_GE(crowded.rightX, crowded.leftX + 150);
}

TEST(AnalysisReadout, FrequencyAndImpulsePanes) {
    const Crafted c;
    const AnalysisSeries& r = c.series;
    AnalysisReadoutInput in;
    in.kind = 3205;
    in.slot = 2;
    in.results = &r;
    in.plot = {0, 0, 400, 200};
    in.map = LogFrequencyMapping(400, 20, 200);
    in.scales = AnalysisScales(3205, {&r}, 50, 0);
    in.mouseX = in.map.Map(45);  // the point shown is the first at or above: 50 Hz
    in.mouseY = 100;
    ReadoutPanes p = AnalysisReadout(in);
    EXPECT_EQ(p[0], "f: 50Hz");
    EXPECT_EQ(p[1], "Z: 40Ohm");
    EXPECT_EQ(p[2].substr(0, 5), "Ph: 0");
    EXPECT_EQ(p[3], "Design #3");
    in.mouseX = 401;  // outside the plot
    EXPECT_TRUE(AnalysisReadout(in)[0].empty());

    // Time kinds: t over the visible length; the sample at t x rate, clamped.
    in.kind = 3217;
    in.plot = {0, 0, 1000, 200};
    in.scales = {ImpulseScale(1, 1)};
    in.mouseX = 500;
    p = AnalysisReadout(in);
    EXPECT_EQ(p[0], "t: 50ms");
    EXPECT_EQ(p[1], "U: 0mV");
    EXPECT_TRUE(p[2].empty());
    EXPECT_EQ(AnalysisSampleIndex(0.05, 4000, 4096), 200);
    EXPECT_EQ(AnalysisSampleIndex(5.0, 4000, 4096), 4095);
    EXPECT_EQ(AnalysisSampleIndex(-1.0, 4000, 4096), 0);
    EXPECT_EQ(AnalysisSampleIndex(0.05, NAN, 4096), -1);
    EXPECT_EQ(AnalysisSampleIndex(0.05, 4000, 0), -1);
}

}  // namespace
}  // namespace srx
