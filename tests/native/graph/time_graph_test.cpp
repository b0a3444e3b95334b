#include "graph/time_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/settings.h"
#include "dsp/numeric.h"
#include "dsp/window.h"

namespace srx {
namespace {

int Width6(std::string_view s) { return static_cast<int>(s.size()) * 6; }

TimeRecord Impulse(int rate, size_t count) {
    TimeRecord t;
    t.h.sampleRate = rate;
    t.samples.assign(count, 0.0f);
    return t;
}

// An unset range shows the whole record (painted in the win32 impulse-graph
// test); one that was set stays, and so does its zoom.
TEST(TimeGraphRange, SetRangesStayAndTheEnergyTimeRateIsFound) {
    TimeRecord t = Impulse(48000, 4800);
    t.displayTimeStart = 0.01;
    t.displayTimeEnd = 0.02;
    t.amplitudeZoom = 4;
    SettleImpulseRange(t);
    EXPECT_DOUBLE_EQ(t.displayTimeEnd, 0.02);
    EXPECT_DOUBLE_EQ(t.amplitudeZoom, 4);

    EtcRecord e;
    e.samples.assign(1024, -10.0f);
    e.h.setup.sampleRate = 44100;  // no rate of its own: the set-up's
    EXPECT_DOUBLE_EQ(EtcSampleRate(e), 44100);
    e.h.sampleRate = 48000;
    EXPECT_DOUBLE_EQ(EtcSampleRate(e), 48000);
    e.h.sampleRate = 0;
    e.h.setup.sampleRate = 0;
    e.h.duration = 0.5;  // neither: the samples span the duration shown
    EXPECT_DOUBLE_EQ(EtcSampleRate(e), 2048);
    SettleEtcRange(e);
    EXPECT_DOUBLE_EQ(e.displayEnd, 0.5);
}

TEST(TimeGraphWindow, StartSnapsToASampleAndTheEndStays) {
    TimeRecord t = Impulse(48000, 48000);
    StoreImpulseWindow(t, {0.0100104, 0.0300});
    EXPECT_EQ(t.h.windowStart, 480);  // 0.0100104 s x 48 kHz = 480.4992 samples
    EXPECT_NEAR(t.h.windowStart / 48000.0 + t.h.fftWindowLength, 0.03, 1e-12);
    EXPECT_NEAR(ImpulseWindowEdges(t).start, 0.01, 1e-12);

    // Edges given the wrong way round are put in order, never a negative length.
    StoreImpulseWindow(t, {0.05, 0.04});
    EXPECT_EQ(t.h.windowStart, 1920);
    EXPECT_NEAR(t.h.fftWindowLength, 0.01, 1e-12);

    EtcRecord e;
    StoreEtcMarkers(e, {0.02, 0.01});
    EXPECT_EQ(EtcMarkerEdges(e), (TimeWindowEdges{0.01, 0.02}));
    // Bytes a foreign file left there give no markers rather than wild ones.
    e.h.markerStart = std::nan("");
    EXPECT_EQ(EtcMarkerEdges(e), (TimeWindowEdges{0, 0}));
}

TEST(TimeGraphCurve, PeaksSurviveManySamplesPerColumn) {
    // One second at 48 kHz on 100 pixels: 480 samples per column.
    TimeRecord t = Impulse(48000, 48000);
    t.samples[24010] = 1.0f;
    t.samples[30000] = -0.5f;
    PlotRect plot{10, 0, 110, 200};
    TimeAxisLayout axis = LayoutTimeAxis(plot.Width(), 0, 1, Width6);
    ScaleDescription s = ImpulseScale(1.0, 1);  // -A..A with A >= 1
    std::vector<CurvePixel> c = BuildSampleCurve(t.samples, 48000, axis, s, plot, 1.0);
    const int top = s.Map(1.0, plot.top, plot.bottom);
    const int low = s.Map(-0.5, plot.top, plot.bottom);
    const int zero = s.Map(0, plot.top, plot.bottom);
    auto has = [&](int x, int y) { return std::find(c.begin(), c.end(), CurvePixel{x, y}) != c.end(); };
    EXPECT_TRUE(has(plot.left + axis.Map(24010 / 48000.0), top));
    EXPECT_TRUE(has(plot.left + axis.Map(30000 / 48000.0), low));
    // Columns collapse: a few points per pixel column, not one per sample.
    EXPECT_LT(c.size(), 600u);
    EXPECT_EQ(c.front(), (CurvePixel{plot.left, zero}));

    // Zoomed in, every sample is a point of its own and the line reaches
    // one sample beyond each edge.
    axis = LayoutTimeAxis(plot.Width(), 24000 / 48000.0, 24020 / 48000.0, Width6);
    c = BuildSampleCurve(t.samples, 48000, axis, s, plot, 1.0);
    ASSERT_EQ(c.size(), 23u);
    EXPECT_EQ(c.front().x, plot.left - 5);
    EXPECT_EQ(c[11], (CurvePixel{plot.left + 50, top}));

    // A factor scales the samples onto a millivolt scale.
    ScaleDescription mv = s;
    mv.top *= 1000;
    mv.range *= 1000;
    EXPECT_EQ(BuildSampleCurve(t.samples, 48000, axis, mv, plot, 1000.0), c);
    EXPECT_TRUE(BuildSampleCurve({}, 48000, axis, s, plot, 1.0).empty());
}

TEST(TimeGraphCurve, SampleUnderAColumnIsTheOneDrawn) {
    std::vector<float> s(100, 0.0f);
    s[41] = 0.3f;
    s[43] = -0.9f;
    // Samples 40..44 share the column: the largest magnitude with its sign.
    EXPECT_FLOAT_EQ(SampleUnderColumn(s, 1000, 0.0395, 0.0445), -0.9f);
    // A column between two samples shows the nearer one.
    EXPECT_FLOAT_EQ(SampleUnderColumn(s, 1000, 0.04105, 0.04115), 0.3f);
    // Beyond the record: its last or first sample, never out of bounds.
    s[99] = 0.5f;
    EXPECT_FLOAT_EQ(SampleUnderColumn(s, 1000, 0.2, 0.3), 0.5f);
    EXPECT_FLOAT_EQ(SampleUnderColumn(s, 1000, -0.3, -0.2), 0.0f);
    EXPECT_EQ(SampleUnderColumn({}, 1000, 0, 1), 0);
}

TEST(TimeGraphWindow, FallingHalfIsTheNumericLibrarysWindow) {
    long long step = 0;
    EXPECT_TRUE(FallingHalfWindow(kWindowRectangular, 1000, &step).empty());
    EXPECT_TRUE(FallingHalfWindow(9, 1000, &step).empty());

    // 100 000 samples: the step doubles to 16 (6250 points <= 8192).
    std::vector<double> g = FallingHalfWindow(kWindowHanning, 100000, &step);
    EXPECT_EQ(step, 16);
    EXPECT_EQ(g.size(), 6250u);
    EXPECT_NEAR(g.front(), 1.0, 1e-6);
    for (size_t i = 0; i < g.size(); i += 97) {
        const double u = static_cast<double>(i) / g.size();
        EXPECT_NEAR(g[i], 0.5 + 0.5 * std::cos(kPi * u), 1e-3) << i;
    }
    EXPECT_TRUE(std::is_sorted(g.rbegin(), g.rend()));
    EXPECT_LT(g.back(), 0.001);

    // Short windows are drawn sample by sample; Hamming ends at 0.08.
    g = FallingHalfWindow(kWindowHamming, 500, &step);
    EXPECT_EQ(step, 1);
    EXPECT_NEAR(g.back(), 0.08, 0.01);
    g = FallingHalfWindow(kWindowBlackmanHarris, 8193, &step);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(g.size(), 4097u);
}

// The set range is painted in the win32 energy-time graph test.
TEST(TimeGraphScale, EnergyTimeLevels) {
    ScaleSettings s{};
    s.etcDbRange = -1;  // damaged setting: a usable range all the same
    EXPECT_GT(EtcScale(s).range, 0);

    TimeRecord t = Impulse(1000, 10);
    t.samples[3] = -0.75f;
    EXPECT_DOUBLE_EQ(ImpulsePeak(t), 0.75);  // no stored peak: the samples'
    t.h.peak = -0.5;
    EXPECT_DOUBLE_EQ(ImpulsePeak(t), 0.5);
}

}  // namespace
}  // namespace srx
