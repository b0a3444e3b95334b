#include "graph/axes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace srx {
namespace {

// Every character 6 pixels wide, like a small fixed font.
int Width6(std::string_view s) { return static_cast<int>(s.size()) * 6; }

std::vector<std::string> Texts(const std::vector<AxisLabel>& labels) {
    std::vector<std::string> t;
    for (const AxisLabel& l : labels) t.push_back(l.text);
    return t;
}

void ExpectNoOverlap(const std::vector<AxisLabel>& labels, int gap) {
    for (size_t i = 1; i < labels.size(); ++i)
        EXPECT_GE(labels[i].x, labels[i - 1].x + labels[i - 1].width + gap) << labels[i].text;
}

TEST(MapValue, LogarithmicLinearRoundingAndClamp) {
    EXPECT_EQ(MapValue(100, 10, 100 / std::log(10.0), 30), 70);
    EXPECT_EQ(MapValue(1.25, 2, -1, 0), 1);   // 0.5 rounds away from zero
    EXPECT_EQ(MapValue(0.25, 2, -1, 0), -2);  // -1.5 too
    EXPECT_EQ(MapValue(1e9, 1, -1, 0), 32000);
    EXPECT_EQ(MapValue(-1e9, 1, -1, 0), -32000);
    EXPECT_EQ(MapValue(0, 1, 1000, 0), -32000);  // log of zero stays finite
}

// The label texts are checked in the layouts below.
TEST(FrequencyAxis, NiceRangeAndASingleFrequencyGetsADecade) {
    EXPECT_DOUBLE_EQ(NiceFrequencyFloor(0.123), 0.1);
    EXPECT_DOUBLE_EQ(NiceFrequencyFloor(0), 1);
    EXPECT_DOUBLE_EQ(NiceFrequencyCeil(1234), 1300);
    EXPECT_DOUBLE_EQ(NiceFrequencyCeil(20000), 20000);

    // A single frequency gets a decade.
    FrequencyAxisLayout a = LayoutFrequencyAxis(500, 100, 100, false, Width6);
    EXPECT_DOUBLE_EQ(a.map.fmax, 1000);
    EXPECT_EQ(a.map.Map(100), 0);
    EXPECT_GE(a.map.Map(1000), 500);
    EXPECT_LE(a.map.Map(1000), 505);
}

TEST(FrequencyAxis, AudioRangeFillsWidthWithDecadeLabels) {
    const int w = 1000;
    FrequencyAxisLayout a = LayoutFrequencyAxis(w, 23, 19500, false, Width6);
    EXPECT_EQ(a.map.Map(20), 0);
    // The base creeps up in 0.5 % steps until the range just fills the width.
    EXPECT_GE(a.map.Map(20000), w);
    EXPECT_LE(a.map.Map(20000), w + 10);
    EXPECT_NEAR(a.map.FrequencyAt(a.map.Map(1000)), 1000, 1000 * 0.01);

    std::vector<std::string> want = {"20", "50", "100", "200", "500", "1k", "2k", "5k", "10k"};
    EXPECT_EQ(Texts(a.labels), want);  // 20k would reach into "f/Hz"
    ExpectNoOverlap(a.labels, 0);

    int heavy = 0;
    for (size_t i = 0; i < a.grid.size(); ++i) {
        EXPECT_GT(a.grid[i].x, 0);
        EXPECT_LT(a.grid[i].x, w);
        if (i) {
            EXPECT_GT(a.grid[i].x, a.grid[i - 1].x);
        }
        if (a.grid[i].heavy) {
            ++heavy;
            EXPECT_EQ(a.grid[i].x, a.map.Map(std::pow(10, heavy + 1)));
        }
    }
    EXPECT_EQ(heavy, 3);  // 100, 1k, 10k
    // 30..90, ten per decade from 100 to 9k, then 10k and 15k.
    EXPECT_EQ(a.grid.size(), 7u + 2 * 10 + 2);
}

TEST(FrequencyAxis, OverlapRuleDropsCrowdedLabels) {
    FrequencyAxisLayout a = LayoutFrequencyAxis(150, 23, 19500, false, Width6);
    ASSERT_FALSE(a.labels.empty());
    EXPECT_EQ(a.labels.front().text, "20");
    EXPECT_LT(a.labels.size(), 9u);
    ExpectNoOverlap(a.labels, 0);
    for (const AxisLabel& l : a.labels) EXPECT_LE(l.x + l.width, a.unit.x);
}

TEST(FrequencyAxis, SubHertzLeftEdgeLabels) {
    FrequencyAxisLayout a = LayoutFrequencyAxis(800, 0.05, 100, false, Width6);
    ASSERT_FALSE(a.labels.empty());
    EXPECT_EQ(a.labels[0].text, "0.05");
    EXPECT_EQ(a.labels[0].x, -12);  // centred on the left edge
    a = LayoutFrequencyAxis(800, 0.5, 100, false, Width6);
    ASSERT_FALSE(a.labels.empty());
    EXPECT_EQ(a.labels[0].text, "0.5");
    EXPECT_EQ(a.labels[1].text, "1");
}

TEST(FrequencyAxis, LinearAxisFromZeroHertz) {
    FrequencyAxisLayout a = LayoutFrequencyAxis(1000, 0, 20000, true, Width6);
    EXPECT_TRUE(a.map.linear);
    EXPECT_EQ(a.map.Map(10000), 500);
    EXPECT_DOUBLE_EQ(a.map.FrequencyAt(250), 5000);
    // 1, 10 and 100 Hz crowd the "0" at the left edge.
    std::vector<std::string> want = {"0", "1k", "10k"};
    EXPECT_EQ(Texts(a.labels), want);
    ASSERT_EQ(a.grid.size(), 11u);  // 1e-6 .. 1e4
    EXPECT_EQ(a.grid[10].x, 500);

    // An empty linear range would divide by zero.
    a = LayoutFrequencyAxis(100, 50, 50, true, Width6);
    EXPECT_EQ(a.map.Map(51), 100);
}

TEST(TimeAxis, StepDoublesUntilLabelsFit) {
    TimeAxisLayout t = LayoutTimeAxis(500, 0, 0.01, Width6);
    EXPECT_EQ(t.unit, "t/ms");
    ASSERT_GE(t.labels.size(), 3u);
    EXPECT_EQ(t.labels[0].text, "0");
    ExpectNoOverlap(t.labels, 2);
    // The step is 0.01/80 times a power of two, and halving it would crowd.
    double r = std::log2(t.step / (0.01 / 80));
    EXPECT_NEAR(r, std::round(r), 1e-9);
    EXPECT_GT(r, 0.5);
    EXPECT_NEAR(std::stod(t.labels[1].text), t.step * 1000, 1e-9);

    TimeAxisLayout wide = LayoutTimeAxis(5000, 0, 0.01, Width6);
    EXPECT_LT(wide.step, t.step);

    TimeAxisLayout s = LayoutTimeAxis(600, 0.5, 3, Width6);
    EXPECT_EQ(s.unit, "t/s");
    ASSERT_FALSE(s.labels.empty());
    EXPECT_EQ(s.labels[0].text, "0.5");
    EXPECT_NEAR(s.TimeAt(s.Map(2)), 2, 0.01);

    EXPECT_TRUE(LayoutTimeAxis(500, 1, 1, Width6).labels.empty());
    // Far from zero the label indices overflow a long long unless guarded.
    for (const AxisLabel& l : LayoutTimeAxis(500, 1e300, 2e300, Width6).labels) {
        EXPECT_GE(l.x + l.width / 2, 0);
        EXPECT_LE(l.x + l.width / 2, 500);
    }
    EXPECT_TRUE(LayoutTimeAxis(500, 2, 1, Width6).labels.empty());
}

}  // namespace
}  // namespace srx
