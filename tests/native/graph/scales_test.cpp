#include "graph/scales.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/settings.h"
#include "data/view_flags.h"
#include "data/records.h"
#include "dsp/numeric.h"

namespace srx {
namespace {

int Width6(std::string_view s) { return static_cast<int>(s.size()) * 6; }

ScaleSettings Auto() {
    ScaleSettings s{};
    s.dbRange = 50;
    s.dbTop = -1;
    s.impedanceMax = -1;
    s.groupDelayMax = -1;
    s.distortionMax = -1;
    return s;
}

TEST(DbScale, DivisionsAndAutomaticTop) {
    EXPECT_EQ(DbDivisions(2.5), 10);
    EXPECT_EQ(DbDivisions(75), 8);

    EXPECT_DOUBLE_EQ(DbTop(90, 50, 10, 200), 90);  // a positive setting wins
    EXPECT_DOUBLE_EQ(DbTop(-1, 50, 10, 98), 100);  // M + 0.4 step == 100: at or above
    EXPECT_DOUBLE_EQ(DbTop(-1, 50, 10, 98.01), 105);
    EXPECT_DOUBLE_EQ(DbTop(-1, 40, 8, -20), -15);

    ScaleSettings s = Auto();
    s.dbRange = -1;  // automatic range: still a usable scale
    ScaleDescription d = LevelScale(s, 80);
    EXPECT_GT(d.range, 0);
    EXPECT_GT(d.top, 80);
    s.dbRange = 2.5;
    d = LevelScale(s, 80.1);
    EXPECT_EQ(d.decimals, 2);  // 0.25 dB steps
    EXPECT_EQ(d.unit, "dB");
}

TEST(LinearTops, ImpedanceMillivoltAndGroupDelay) {
    EXPECT_DOUBLE_EQ(AutoLinearTop(8, 0), 8.6);  // 1.05 x 8 = 8.4 exactly: strictly above
    EXPECT_DOUBLE_EQ(AutoLinearTop(60, 0), 64);
    EXPECT_DOUBLE_EQ(AutoLinearTop(3, 10), 10);
    EXPECT_DOUBLE_EQ(AutoLinearTop(0, 0), 1e-4);

    ScaleSettings s = Auto();
    s.impedanceMax = 100;
    EXPECT_DOUBLE_EQ(ImpedanceScale(s, 37, 6, false).top, 100);
    EXPECT_NEAR(MillivoltScale(112).top, 1200, 1e-9);

    // 3 ms rounds up to sqrt 2 ^ -16 = 1/256 s.
    ScaleDescription g = GroupDelayScale(s, 0.003);
    EXPECT_NEAR(g.top, 1000.0 / 256, 1e-9);
    EXPECT_NEAR(g.Bottom(), -1000.0 / 256, 1e-9);
    s.groupDelayMinTop = 0.01;
    EXPECT_NEAR(GroupDelayScale(s, 0.003).top, 10, 1e-9);
    s.groupDelayMax = 0.002;
    EXPECT_NEAR(GroupDelayScale(s, 0.003).top, 10, 1e-9);  // the minimum still applies
}

TEST(LogScales, DecadesAroundTheCurve) {
    double top = 0;
    EXPECT_EQ(LogDecades(45, 5.2, &top), 2);
    EXPECT_DOUBLE_EQ(top, 100);
    EXPECT_EQ(LogDecades(100, 5.2, &top), 3);  // the top lies above the maximum
    EXPECT_DOUBLE_EQ(top, 1000);
    EXPECT_EQ(LogDecades(45, 0, &top), 7);

    ScaleDescription z = ImpedanceScale(Auto(), 45, 5.2, true);
    EXPECT_TRUE(z.log);
    EXPECT_DOUBLE_EQ(z.Bottom(), 1);
    ScalesLayout l = LayoutVerticalScales({0, 0, 400, 200}, {z}, Width6);
    const ScaleLayout& s = l.scales[0];
    ASSERT_EQ(s.lines.size(), 3u);
    EXPECT_EQ(s.lines[2].label, "1");
    std::vector<std::string> labelled;
    for (const ScaleLine& t : s.ticks)
        if (!t.label.empty()) labelled.push_back(t.label);
    EXPECT_EQ(labelled, (std::vector<std::string>{"20", "50", "2", "5"}));  // top decade first
    EXPECT_EQ(z.Map(2, 0, 200), 200 - static_cast<int>(std::lround(100 * std::log10(2.0))));

    ScaleDescription small = DistortionScale(Auto(), 0.3, 0.004, true, true);
    EXPECT_EQ(small.unit, "THD%");
    EXPECT_DOUBLE_EQ(small.top, 1);
    EXPECT_DOUBLE_EQ(small.Bottom(), 0.001);
    l = LayoutVerticalScales({0, 0, 400, 300}, {small}, Width6);
    EXPECT_EQ(l.scales[0].lines.back().label, "0.001");
}

TEST(PhaseAndImpulseScales, WrappedAndUnwrappedRangesAndTheHalfRangeGrowth) {
    ScaleDescription p = PhaseScale(false, true, 0, 0);
    EXPECT_DOUBLE_EQ(p.top, 90);
    EXPECT_DOUBLE_EQ(p.Bottom(), -90);

    p = PhaseScale(true, false, -1, 3);  // -57 .. 172 degrees
    EXPECT_DOUBLE_EQ(p.top, 180);
    EXPECT_DOUBLE_EQ(p.Bottom(), -90);
    p = PhaseScale(true, false, 0.1, 0.5);  // both positive: down to 0
    EXPECT_DOUBLE_EQ(p.top, 45);
    EXPECT_DOUBLE_EQ(p.Bottom(), 0);
    p = PhaseScale(true, false, 0, 0);
    EXPECT_DOUBLE_EQ(p.top, 45);
    EXPECT_DOUBLE_EQ(p.Bottom(), -45);
}

// Long unwrapped phases got a line every 45 degrees (a solid bar of labels). Any range: few
// divisions on whole steps, 0 on a line, the curve inside; in a small plot no label over another.
TEST(VerticalScales, ReadableOverAnyRange) {
    std::vector<ScaleDescription> all{PhaseScale(true, false, -1e30, 1e30), ImpedanceScale(Auto(), 45, 0, true),
                                      LevelScale(Auto(), 90)};
    for (double span : {90.0, 135.0, 405.0, 1000.0, 1935.0, 4005.0, 7155.0, 7200.0})
        for (double from : {-span, -0.6 * span, 0.0}) {
            const ScaleDescription p = PhaseScale(true, false, from * kPi / 180, (from + span) * kPi / 180);
            EXPECT_NEAR(std::remainder(p.top, p.range / p.divisions), 0, 1e-6) << span;
            EXPECT_NEAR(std::remainder(p.range / p.divisions, 45), 0, 1e-6) << span;
            EXPECT_TRUE(p.top > from + span - 1e-6 && p.Bottom() < from + 1e-6) << span;
            all.push_back(p);
        }
    for (const ScaleDescription& d : all) {
        EXPECT_LE(d.divisions, 12);
        const ScaleLayout l = LayoutVerticalScales({0, 0, 400, 90}, {d}, Width6, 12).scales[0];
        std::vector<int> ys;
        for (const ScaleLine& t : l.lines) ys.push_back(t.label.empty() ? -99 : t.y);
        for (const ScaleLine& t : l.ticks) ys.push_back(t.label.empty() ? -99 : t.y);
        std::sort(ys.begin(), ys.end());
        for (size_t i = 1; i < ys.size(); ++i) EXPECT_TRUE(ys[i] == -99 || ys[i] - ys[i - 1] >= 12) << d.range;
    }
}

// The zoomed scale and its switch to millivolts are painted in the win32
// impulse-graph test.
TEST(ImpulseScale, HalfRangeGrowsBySqrt2) {
    ScaleDescription v = ImpulseScale(0.5, 1);
    EXPECT_EQ(v.unit, "Volt");
    EXPECT_GE(v.top, 0.5 * (1 - 1e-12));
    EXPECT_LT(v.top, 0.5 * 1.4143);
    EXPECT_DOUBLE_EQ(v.Bottom(), -v.top);
    EXPECT_EQ(ImpulseScale(0.01, 1).unit, "mV");
}

TEST(VerticalScales, ColumnsShrinkThePlot) {
    ScaleDescription db;
    db.top = 100;
    db.range = 50;
    db.divisions = 10;
    ScaleDescription ph = PhaseScale(false, false, 0, 0);
    ScaleDescription gd = GroupDelayScale(Auto(), 0.003);
    ScalesLayout l = LayoutVerticalScales({10, 20, 810, 420}, {db, ph, gd}, Width6);
    ASSERT_EQ(l.scales.size(), 3u);
    // Widest dB label "100" (18 px): 1.2 x 18 + 1.125 x 6 = 28.35.
    EXPECT_EQ(l.scales[0].columnWidth, 28);
    EXPECT_EQ(l.plot.left, 10 + 28);
    EXPECT_EQ(l.scales[2].columnLeft + l.scales[2].columnWidth, 810);

    const ScaleLayout& s = l.scales[0];
    // 40 px divisions: nine minor ticks each, none on a division.
    EXPECT_EQ(s.ticks.size(), 90u);
    for (const ScaleLine& t : s.ticks)
        for (const ScaleLine& d : s.lines) EXPECT_NE(t.y, d.y);

    l = LayoutVerticalScales({0, 0, 400, 50}, {db}, Width6);
    EXPECT_TRUE(l.scales[0].ticks.empty());  // 5 px divisions are too small

    EXPECT_EQ(ScaleLabel(-1e-15, 1, 0), "0.0");
    EXPECT_DOUBLE_EQ(db.ValueAt(220, 20, 420), 75);
}

Measurement Fr(std::initializer_list<std::pair<float, float>> pts, uint32_t flags = 0) {
    Measurement m;
    m.h.curveKind = kCurveFrequencyResponse;
    m.h.flags = flags;
    for (auto [f, l] : pts) {
        CurvePoint p;
        p.frequency = f;
        p.value[kSlotLevel] = l;
        for (int i = kSlotDistortion2; i <= kSlotThd; ++i) p.value[i] = kNoLevel;
        m.points.push_back(p);
    }
    return m;
}

TEST(MeasurementScales, OnlyShownAndPresentQuantities) {
    Measurement a = Fr({{10, 120}, {100, 90}, {1000, 85}, {2000, -1000}, {5000, 300}});
    Measurement b = Fr({{100, 70}});
    MeasurementScalesInput in;
    in.records = {&a, &b};
    in.viewFlags = kGraphAmplitude | kGraphPhase | kGraphGroupDelay;
    in.fmin = 50;
    in.fmax = 20000;
    // Neither record has phase: only the dB scale. The 120 dB point is left
    // of the display and the 300 dB one lies past the end of valid data.
    std::vector<ScaleDescription> s = MeasurementScales(in, Auto());
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].kind, ScaleKind::Level);
    EXPECT_DOUBLE_EQ(s[0].top, 95);

    b.h.flags = kMesPhase;
    b.phaseUnwrappedMin = -1;
    b.phaseUnwrappedMax = 3;
    b.points[0].value[kSlotGroupDelay] = 0.003f;
    s = MeasurementScales(in, Auto());
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[1].kind, ScaleKind::Phase);
    EXPECT_DOUBLE_EQ(s[1].top, 180);
    EXPECT_EQ(s[2].kind, ScaleKind::GroupDelay);
    EXPECT_NEAR(s[2].top, 1000.0 / 256, 1e-6);

    Measurement z = Fr({{100, 6.5f}, {200, 38}});
    z.h.curveKind = kCurveImpedance;
    in.records = {&z};
    in.viewFlags = kGraphAmplitude | kGraphLogImpedance;
    s = MeasurementScales(in, Auto());
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].unit, "Ohm");
    EXPECT_DOUBLE_EQ(s[0].top, 100);
    EXPECT_DOUBLE_EQ(s[0].Bottom(), 1);

    // Distortion in percent gets its own scale; in dB it raises the dB top.
    Measurement d = Fr({{100, 90}, {200, 90}}, kMesDistortion);
    d.points[0].value[kSlotDistortion2] = 70;  // 10 %
    d.points[1].value[kSlotDistortion2] = 50;  // 1 %
    in.records = {&d};
    in.viewFlags = kGraphDistortionPercent;
    in.distortionFlags = 0x1;
    s = MeasurementScales(in, Auto());
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].unit, "D%");
    EXPECT_DOUBLE_EQ(s[0].top, 12);
    in.viewFlags = 0;
    d.points[0].value[kSlotDistortion2] = 101;
    s = MeasurementScales(in, Auto());
    ASSERT_EQ(s.size(), 1u);
    EXPECT_DOUBLE_EQ(s[0].top, 105);
}

// Zoomed to 23..1950 Hz the axis shows 20..2000 Hz; the scale holds the curve there.
TEST(MeasurementScales, CoverTheRangeTheAxisShows) {
    Measurement a = Fr({{21, 80}, {1000, 80}, {1980, 100}});
    MeasurementScalesInput in{{&a}, kGraphAmplitude};
    DisplayedFrequencyRange(23, 1950, false, &in.fmin, &in.fmax);
    EXPECT_GE(MeasurementScales(in, Auto())[0].top, 100);
}

TEST(MeasurementScales, ExcessPhaseNeedsMeasuredAndMinimumPhase) {
    // A minimum phase computed from the amplitude alone: minimum curves
    // exist, excess curves (measured minus minimum) do not.
    Measurement m = Fr({{100, 90}, {200, 90}}, kMesMinimumPhaseCalculated);
    EXPECT_TRUE(RecordHasSlot(m, kSlotMinimumPhase));
    EXPECT_TRUE(RecordHasSlot(m, kSlotMinimumGroupDelay));
    EXPECT_FALSE(RecordHasSlot(m, kSlotExcessPhase));
    MeasurementScalesInput in;
    in.records = {&m};
    in.viewFlags = kGraphExcessPhase | kGraphExcessGroupDelay;
    EXPECT_TRUE(MeasurementScales(in, Auto()).empty());
    in.viewFlags = kGraphMinimumPhase;
    ASSERT_EQ(MeasurementScales(in, Auto()).size(), 1u);

    m.h.flags |= kMesPhase;
    EXPECT_TRUE(RecordHasSlot(m, kSlotExcessPhaseUnwrapped));
    in.viewFlags = kGraphExcessPhase | kGraphExcessGroupDelay;
    EXPECT_EQ(MeasurementScales(in, Auto()).size(), 2u);
}

}  // namespace
}  // namespace srx
