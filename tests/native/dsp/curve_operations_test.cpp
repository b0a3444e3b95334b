#include "dsp/curve_operations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "dsp/numeric.h"
#include "dsp/smoothing.h"
#include "resources/string_ids.h"

using namespace srx;

namespace {

// A curve from f0 to f1 at `ppo` points per octave with level(f), phase(f).
Measurement Curve(double f0, double f1, int ppo, const std::function<double(double)>& level,
                  const std::function<double(double)>& phase = [](double) { return 0.0; }) {
    Measurement m;
    m.h.curveKind = kCurveFrequencyResponse;
    m.h.flags = kMesPhase;
    m.h.maxLevel = kNoLevel;
    const double r = std::pow(2.0, 1.0 / ppo);
    for (double f = f0; f <= f1 * 1.0001; f *= r) {
        CurvePoint p;
        p.frequency = float(f);
        p.value[kSlotLevel] = float(level(f));
        p.value[kSlotPhase] = float(WrapRadians(phase(f)));
        for (int k = 0; k < 9; ++k) p.value[kSlotDistortion2 + k] = float(kNoLevel);
        p.value[kSlotThd] = float(kNoLevel);
        m.points.push_back(p);
    }
    m.h.pointCount = int32_t(m.points.size());
    m.h.firstFrequency = m.points.front().frequency;
    m.h.lastFrequency = m.points.back().frequency;
    DerivePhaseData(m, DefaultAnalysisSettings());
    return m;
}

Measurement Flat(double db, double f0 = 100, double f1 = 10000, double phase = 0) {
    return Curve(f0, f1, 24, [db](double) { return db; }, [phase](double) { return phase; });
}

const CurvePoint& At(const Measurement& m, double f) {
    size_t best = 0;
    for (size_t i = 0; i < m.points.size(); ++i)
        if (std::fabs(std::log(m.points[i].frequency / f)) < std::fabs(std::log(m.points[best].frequency / f))) best = i;
    return m.points[best];
}

const AnalysisSettings& St() { return DefaultAnalysisSettings(); }

}  // namespace

TEST(CurveAveraging, EqualWeightsOverTheCurvesThatCoverEachPoint) {
    const Measurement a = Flat(0), b = Flat(0), c = Flat(6);
    Status error;
    auto simple = AverageCurves({&a, &b, &c}, kAverageSimple, "avg", St(), &error);
    ASSERT_TRUE(simple) << error.stringId;
    for (const CurvePoint& p : simple->points) ASSERT_NEAR(p.value[kSlotLevel], 2.0, 1e-5);

    const Measurement zero = Flat(0), quarter = Flat(0, 100, 10000, kPi / 2);
    auto complex = AverageCurves({&zero, &quarter}, kAverageComplex, "avg", St(), &error);
    ASSERT_TRUE(complex);
    EXPECT_NEAR(At(*complex, 1000).value[kSlotLevel], -3.0103, 1e-3);
    EXPECT_NEAR(At(*complex, 1000).value[kSlotPhase], kPi / 4, 1e-4);

    // Beyond the short curve's end only the long one counts.
    const Measurement low = Flat(0, 100, 1000), wide = Flat(6, 100, 10000);
    auto partial = AverageCurves({&low, &wide}, kAverageSimple, "avg", St(), &error);
    ASSERT_TRUE(partial);
    EXPECT_NEAR(At(*partial, 500).value[kSlotLevel], 3.0, 1e-4);
    EXPECT_NEAR(At(*partial, 5000).value[kSlotLevel], 6.0, 1e-4);
    EXPECT_EQ(partial->points.back().frequency, wide.points.back().frequency);

    EXPECT_EQ(AverageCurves({&a, &a}, kAverageSimple, "", St(), &error), nullptr);
    EXPECT_EQ(error.stringId, kStrDuplicateCurves);
    EXPECT_EQ(AverageCurves({&a}, kAverageSimple, "", St(), &error), nullptr);
    EXPECT_EQ(error.stringId, kStrTwoCurvesNeeded);
}

TEST(CurveMerging, LevelsReferredToOneMetreSplicedAndBaffled) {
    EXPECT_NEAR(BaffleStepLevelDb(500, 0.23), -3.0103, 0.005);
    EXPECT_NEAR(BaffleStepLevelDb(50, 0.23), -5.96, 0.005);
    EXPECT_NEAR(BaffleStepLevelDb(20000, 0.23), 0.0, 0.01);

    // A near-field curve of 100 cm^2 joined to a far-field curve at 2 m.
    const Measurement nearCurve = Flat(0, 20, 2000), farCurve = Flat(-6.0206, 200, 20000);
    std::vector<MergeCurve> curves = {{&nearCurve, true, false, 100}, {&farCurve, false, false, 2}};
    MergeParameters p;
    p.spliceFrequency = 5000;  // lowered to the near-field curve's end
    p.simulateBaffle = true;
    p.baffleWidthMm = 230;
    ASSERT_TRUE(PrepareMerge(curves, p).ok());
    EXPECT_NEAR(p.spliceFrequency, nearCurve.points.back().frequency, 0.01);
    Status error;
    auto merged = MergeCurves(curves, p, "merged", St(), &error);
    ASSERT_TRUE(merged) << error.stringId;
    const double nearOffset = 20 * std::log10(0.2821 * std::sqrt(0.01));
    for (const double f : {50.0, 500.0, 1500.0}) {
        const CurvePoint& q = At(*merged, f);
        EXPECT_NEAR(q.value[kSlotLevel], nearOffset + BaffleStepLevelDb(q.frequency, 0.23), 1e-3) << f;
    }
    EXPECT_NEAR(At(*merged, 10000).value[kSlotLevel], 0.0, 1e-3);  // far field: -6.02 dB at 2 m rises 6.02

    // Two far-field curves without a third: both count everywhere.
    const Measurement one = Flat(0), two = Flat(0);
    std::vector<MergeCurve> far2 = {{&one, false, false, 1}, {&two, false, true, 1}};
    MergeParameters q;
    q.spliceFrequency = 1000;
    ASSERT_TRUE(PrepareMerge(far2, q).ok());
    auto cancelled = MergeCurves(far2, q, "", St(), &error);
    ASSERT_TRUE(cancelled);
    EXPECT_LT(At(*cancelled, 300).value[kSlotLevel], -60);  // reversed phase: opposite vectors
    far2[1].reversePhase = false;
    auto summed = MergeCurves(far2, q, "", St(), &error);
    EXPECT_NEAR(At(*summed, 300).value[kSlotLevel], 6.0206, 1e-3);

    far2[1].value = 1e9;  // a distance whose delay no float phase holds
    int offending = -1;
    EXPECT_EQ(PrepareMerge(far2, q, &offending).stringId, kStrNeedDistance);
    far2[1].value = 0;
    EXPECT_EQ(PrepareMerge(far2, q, &offending).stringId, kStrNeedDistance);
    EXPECT_EQ(offending, 1);
    curves[0].value = 0;
    EXPECT_EQ(PrepareMerge(curves, p, &offending).stringId, kStrNeedArea);
}

TEST(CurveLevels, NormaliseAndShiftLeaveMissingValuesAlone) {
    Measurement m = Curve(125, 8000, 12, [](double f) { return 20 * std::log10(f / 1000); });
    m.h.flags |= kMesDistortion;
    for (CurvePoint& p : m.points) p.value[kSlotDistortion2] = p.frequency < 5000 ? -30.0f : float(kNoLevel);
    ASSERT_TRUE(NormalizeAt(m, 999));
    EXPECT_NEAR(At(m, 1000).value[kSlotLevel], 0.0, 1e-5);
    EXPECT_NEAR(At(m, 125).value[kSlotLevel], 20 * std::log10(0.125), 1e-4);
    EXPECT_NEAR(At(m, 125).value[kSlotDistortion2], -30.0, 1e-4);  // 1 kHz lies on the grid at 0 dB
    EXPECT_EQ(At(m, 8000).value[kSlotDistortion2], float(kNoLevel));
    ShiftLevels(m, 3);
    EXPECT_NEAR(At(m, 1000).value[kSlotLevel], 3.0, 1e-5);
    EXPECT_NEAR(m.h.maxLevel, 3 + 20 * std::log10(8.0), 1e-3);
    EXPECT_EQ(At(m, 8000).value[kSlotDistortion2], float(kNoLevel));
    const Measurement before = m;
    EXPECT_FALSE(NormalizeAt(m, 20000));
    EXPECT_EQ(m.points[0].value[kSlotLevel], before.points[0].value[kSlotLevel]);

    double f = 0;
    EXPECT_TRUE(CheckNormalizeFrequency(100.3, 100.4, 10000, &f).ok());  // inside by nearest integers
    EXPECT_EQ(f, 100.4);
    const Status outside = CheckNormalizeFrequency(20000, 100.4, 10000, &f);
    EXPECT_EQ(outside.stringId, kStrNormalizeRange);
    EXPECT_EQ(outside.args, (std::vector<std::string>{"100.4", "10000"}));
    EXPECT_EQ(f, 10000);
}

TEST(CurveSmoothing, RipplesFlattenAndWaterfallHolesStay) {
    // A ripple of 1/6 octave period smoothed over a whole octave.
    auto ripple = [](double f) { return 3 * std::sin(2 * kPi * 6 * std::log2(f)); };
    Measurement m = Curve(100, 10000, 48, ripple);
    m.h.flags |= kMesStoredMinimumPhase;
    ASSERT_TRUE(SmoothMeasurement(m, 1, kSmoothAveraged, St()));
    for (size_t i = 48; i + 48 < m.points.size(); ++i) ASSERT_LT(std::fabs(m.points[i].value[kSlotLevel]), 0.5);
    EXPECT_EQ(m.h.flags & kMesStoredMinimumPhase, 0u);
    EXPECT_FALSE(SmoothMeasurement(m, 97, kSmoothAveraged, St()));
    EXPECT_FALSE(SmoothingAllowed(20, 24));
    EXPECT_TRUE(SmoothingAllowed(1, 1));

    TimeRecord t;
    t.slices.resize(1);
    for (int i = 0; i < 96; ++i) {
        t.slices[0].frequency.push_back(float(100 * std::pow(2.0, i / 24.0)));
        t.slices[0].level.push_back(i % 10 == 5 ? float(kNoLevel) : float(-20 + (i % 2)));
    }
    ASSERT_TRUE(SmoothWaterfall(t, 3, kSmoothAveraged));
    for (int i = 0; i < 96; ++i) {
        if (i % 10 == 5) EXPECT_EQ(t.slices[0].level[size_t(i)], float(kNoLevel));
        else EXPECT_NEAR(t.slices[0].level[size_t(i)], -19.5, 0.5) << i;
    }
    EXPECT_GT(t.h.waterfallMax, -20.0);
}

TEST(CurveResampling, GridFollowsTheCurveAndItsEndSlopes) {
    // 6 dB per octave: resampling onto a wider grid keeps the line.
    Measurement m = Curve(200, 5000, 7, [](double f) { return 20 * std::log10(f / 1000); });
    ASSERT_TRUE(ResampleCurve(m, true, 100, 10000, 24, St()));
    ASSERT_EQ(m.points.size(), size_t(std::lround(24 * std::log2(100.0)) + 1));
    for (const CurvePoint& p : m.points) ASSERT_NEAR(p.value[kSlotLevel], 20 * std::log10(p.frequency / 1000), 1e-3);

    Measurement held = Curve(200, 5000, 7, [](double f) { return 20 * std::log10(f / 1000); },
                             [](double f) { return f / 10000; });
    ASSERT_TRUE(ResampleCurve(held, false, 100, 10000, 24, St()));
    EXPECT_FLOAT_EQ(held.points[5].value[kSlotLevel], held.points[0].value[kSlotLevel]);
    EXPECT_EQ(held.points[5].value[kSlotPhase], 0.0f);
    EXPECT_NEAR(At(held, 400).value[kSlotLevel], 20 * std::log10(0.4), 1e-3);
    EXPECT_FALSE(ResampleCurve(held, false, 1000, 100, 24, St()));
}
