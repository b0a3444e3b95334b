#include "design/ts_measurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>

#include "audio/virtual_device.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"

namespace srx {
namespace {

constexpr int kPpo = 96;

// The jig's exact impedance of `d`, 96 points per octave from 10 Hz, with
// Re in its T/S block: the driver's (re 0), `re`, or none (re < 0).
Measurement JigCurve(const VirtualDriver& d, double stop = 20000, double re = 0) {
    VirtualSetup setup;
    setup.driver = d;
    const VirtualTruth truth(setup, 0);
    Measurement m;
    m.h.curveKind = kCurveImpedance;
    m.h.tsBlock[kTsRe] = re == 0 ? d.re : std::max(re, 0.0);
    for (int k = 0;; ++k) {
        const double f = 10 * std::exp2(double(k) / kPpo);
        if (f > stop) break;
        const std::complex<double> z = truth.JigImpedance(f);
        AddCurvePoint(m, f, std::abs(z), std::arg(z), kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                      kNoLevel, kNoLevel, kNoLevel);
    }
    return m;
}

std::complex<double> TruthAt(const VirtualDriver& d, double f) {
    VirtualSetup setup;
    setup.driver = d;
    return VirtualTruth(setup, 0).JigImpedance(f);
}

VirtualDriver Driver(double re, double le, double fs, double qms, double qes) {
    VirtualDriver d;
    d.re = re, d.le = le, d.fs = fs, d.qms = qms, d.qes = qes;
    return d;
}

TEST(TsMeasurement, SingleCurveAgainstTheJig) {
    for (const VirtualDriver& d : {Driver(6.2, 0.0009, 25, 2, 0.35), Driver(5.6, 0.0005, 63, 10, 0.5),
                                   Driver(3.4, 0.0002, 250, 4, 0.8), Driver(6.0, 0.0001, 800, 6, 0.6)}) {
        SCOPED_TRACE(d.fs);
        Measurement m = JigCurve(d);
        ASSERT_TRUE(AnalyseImpedance(m).ok());
        const MeasuredValues v = MeasuredValuesOf(m.h);
        EXPECT_NEAR(v.fs / d.fs, 1, 0.005);
        EXPECT_NEAR(v.qms / d.qms, 1, 0.03);
        EXPECT_NEAR(v.qes / d.qes, 1, 0.03);
        EXPECT_NEAR(v.qts / (d.qms * d.qes / (d.qms + d.qes)), 1, 0.03);
        // Le where the rule finds the curve inductive first: 1 kHz, else the next 1000-Hz step.
        double f = 1000;
        while (TruthAt(d, f).imag() <= 0) f += 1000;
        EXPECT_NEAR(v.le / (TruthAt(d, f).imag() / (2 * kPi * f)), 1, 0.01) << f;
        EXPECT_FALSE(v.hasMass);  // one curve gives no moving mass

        double zmin = 1e9, scanned = 0;
        for (const CurvePoint& p : m.points) zmin = std::min(zmin, std::abs(TruthAt(d, p.frequency)));
        ASSERT_TRUE(ScanRevc(m, scanned).ok());
        EXPECT_NEAR(scanned, 0.8 * zmin, 1e-6 * zmin);
    }
}

// The two-curve methods divide by the squared ratio of two resonances less
// one, which magnifies a resonance that is off by half a point step
// several times. So the loads are chosen near the nominal ones (Ma 20 % of
// Mms, Vab = Vas / 2) such that both resonances fall on curve points, as a
// grid matched to the driver would have them.
struct Loaded {
    VirtualDriver d;
    double load;
};

double GridFrequencyNear(double f) { return 10 * std::exp2(std::round(kPpo * std::log2(f / 10)) / kPpo); }

TEST(TsMeasurement, AddedMassAndTestBoxGiveTheMovingMass) {
    VirtualDriver d = Driver(6.0, 0.0006, 40, 5, 0.45);  // 40 Hz lies on the grid
    d.sd = 0.022, d.vas = 0.04;
    const double cms = d.vas / (d.sd * d.sd * 142003.2), ws = 2 * kPi * d.fs;
    const double mms = 1 / (ws * ws * cms), mair = 0.575 * std::pow(d.sd, 1.5), mmd = mms - mair;

    Loaded mass{d, 0};
    const double fm = GridFrequencyNear(d.fs / std::sqrt(1.2));
    mass.load = mass.d.mass = mms * (std::pow(d.fs / fm, 2) - 1);
    Loaded box{d, 0};
    const double fb = GridFrequencyNear(d.fs * std::sqrt((1 + 2) * mms / (mms + 0.85 * mair)));
    const double cab = 1 / (std::pow(2 * kPi * fb, 2) * (mms + 0.85 * mair) - 1 / cms);
    box.load = box.d.box = cab * d.sd * d.sd * 142003.2;
    ASSERT_NEAR(mass.load / mms, 0.2, 0.02);
    ASSERT_NEAR(box.load / d.vas, 0.5, 0.05);

    for (const Loaded& l : {mass, box}) {
        const bool isMass = l.d.mass > 0;
        SCOPED_TRACE(isMass ? "added mass" : "test box");
        Measurement freeAir = JigCurve(d, 20000, -1), loaded = JigCurve(l.d, 20000, -1);
        TwoCurveInput in;
        in.method = isMass ? kTsAddedMass : kTsTestBox;
        in.re = d.re, in.sd = d.sd, in.xmax = 0.004, in.load = l.load;
        EXPECT_EQ(SuggestTwoCurveMethod(freeAir, loaded), in.method);
        ASSERT_TRUE(RunTwoCurveMethod(freeAir, loaded, in).ok());
        const MeasuredValues v = MeasuredValuesOf(freeAir.h);
        ASSERT_TRUE(v.hasMass);
        EXPECT_NEAR(v.mmd / mmd, 1, 0.01);
        EXPECT_NEAR(v.vas / d.vas, 1, 0.01);
        EXPECT_EQ(loaded.h.tsBlock[kTsAddedLoad], l.load);
        EXPECT_NEAR(loaded.h.tsBlock[kTsMmd], isMass ? v.mmd + l.load : v.mmd, 1e-12);
        EXPECT_TRUE(IsCompleteForFile(MeasuredSpeakerUnit(freeAir)));  // what "Save SPK" writes
    }
}

TEST(TsMeasurement, BoxlossOfAVentedBox) {
    VirtualDriver d = Driver(6.0, 0.0006, 40, 5, 0.45);
    d.vented = true, d.alpha = 1.5, d.fb = 40, d.ql = 7;
    Measurement m = JigCurve(d);
    TwoPeaks p;
    ASSERT_TRUE(FindTwoPeaks(m, p).ok());
    EXPECT_NEAR(BoxTuningOf(p, d.fs).alpha / d.alpha, 1, 0.03);
    EXPECT_NEAR(BoxTuningOf(p, d.fs).h, 1, 0.01);
    double ql = 0;
    ASSERT_TRUE(BoxLossQ(p, d.fs, d.re, d.qms, d.qes, ql).ok());
    EXPECT_NEAR(ql / d.ql, 1, 0.1);
}

// The fit inherits the Qs' resolution (a point step in the band edges) and
// Le from the top of the curve: woofers' curves, whose band is many points
// wide and whose top is the voice coil's, come within 1 %.
TEST(TsMeasurement, CurveFitAndInductanceRemoval) {
    for (const VirtualDriver& d : {Driver(6.2, 0.0009, 25, 4, 0.35), Driver(5.6, 0.0005, 63, 10, 0.5)}) {
        SCOPED_TRACE(d.fs);
        Measurement m = JigCurve(d);
        SetText(m.h.title, "W8");
        std::unique_ptr<Measurement> fit;
        ASSERT_TRUE(CurveFitImpedance(m, fit).ok());
        EXPECT_EQ(TextOf(fit->h.title), "W8 (CF)");
        EXPECT_FLOAT_EQ(fit->points.back().frequency, m.points.back().frequency);
        double worst = 0;
        for (const CurvePoint& p : fit->points)
            worst = std::max(worst, std::fabs(p.value[kSlotLevel] / std::abs(TruthAt(d, p.frequency)) - 1));
        EXPECT_LT(worst, 0.01);
        EXPECT_NEAR(fit->h.tsBlock[kTsFs] / d.fs, 1, 0.005);  // the fit is analysed
    }

    // The inductance is subtracted as j w Le, leaving the motional part as it was.
    const VirtualDriver d = Driver(6.2, 0.0009, 25, 4, 0.35);
    Measurement m = JigCurve(d);
    double le = 0;
    ASSERT_TRUE(RemoveInductance(m, &le).ok());
    EXPECT_NEAR(le / d.le, 1, 0.1);
    for (size_t i = 0; i < m.points.size(); i += 50) {
        const CurvePoint& p = m.points[i];
        const std::complex<double> want = TruthAt(d, p.frequency) - std::complex<double>(0, 2 * kPi * p.frequency * le);
        EXPECT_LT(std::abs(std::polar(double(p.value[kSlotLevel]), double(p.value[kSlotPhase])) - want),
                  1e-5 * std::abs(want));
    }
    EXPECT_NEAR(m.h.tsBlock[kTsFs] / d.fs, 1, 0.005);
}

TEST(TsMeasurement, RefusalsLeaveTheCurvesAlone) {
    const VirtualDriver d = Driver(6.0, 0.0006, 40, 5, 0.45);
    Measurement a = JigCurve(d), b = JigCurve(d);
    TwoCurveInput in;
    in.re = 6, in.sd = 0.02, in.load = 0.005;
    const MeasurementHeader before = a.h;
    EXPECT_EQ(RunTwoCurveMethod(a, a, in).stringId, kStrSameCurves);
    // Equal resonances would give an infinite mass; the wrong order a negative one.
    EXPECT_EQ(RunTwoCurveMethod(a, b, in).stringId, kStrLoadedResonance);
    in.method = kTsTestBox;
    EXPECT_EQ(RunTwoCurveMethod(a, b, in).stringId, kStrLoadedResonance);
    EXPECT_EQ(std::memcmp(&before, &a.h, sizeof before), 0);
    in.sd = 0;
    EXPECT_EQ(RunTwoCurveMethod(a, b, in).stringId, kStrTestBoxNeedsSd);
    in.load = std::numeric_limits<double>::infinity();
    EXPECT_EQ(RunTwoCurveMethod(a, b, in).stringId, kStrEnterTestBox);
    in.re = 0;
    EXPECT_EQ(RunTwoCurveMethod(a, b, in).stringId, kStrEnterRevc);

    // A curve that never rises above Re, and one that ends before falling
    // back from its peak: no resonance, no Q values.
    Measurement flat = JigCurve(d, 20000, 1000);
    EXPECT_EQ(AnalyseImpedance(flat).stringId, kStrResonanceMissing);
    EXPECT_EQ(flat.h.tsBlock[kTsFs], 0);
    Measurement cut = JigCurve(d, 41.5);
    EXPECT_EQ(AnalyseImpedance(cut).stringId, kStrResonanceMissing);
    EXPECT_EQ(cut.h.tsBlock[kTsQms], 0);
    EXPECT_EQ(RemoveInductance(cut).stringId, kStrNoKiloHertz);
    TwoPeaks p;
    EXPECT_EQ(FindTwoPeaks(a, p).stringId, kStrTwoBumps);

    Measurement bad = JigCurve(d);
    bad.points.resize(2);
    EXPECT_EQ(AnalyseImpedance(bad).stringId, kStrBadImpedanceCurve);
    bad = JigCurve(d);
    std::swap(bad.points[5], bad.points[6]);
    EXPECT_EQ(AnalyseImpedance(bad).stringId, kStrBadImpedanceCurve);
    bad = JigCurve(d);
    bad.points[9].value[kSlotLevel] = NAN;
    double re = 0;
    EXPECT_EQ(ScanRevc(bad, re).stringId, kStrBadImpedanceCurve);
    bad.h.curveKind = kCurveFrequencyResponse;
    EXPECT_EQ(CheckTsCurve(bad).stringId, kStrNotImpedanceCurve);
    bad = JigCurve(d, 20000, -1);
    EXPECT_EQ(AnalyseImpedance(bad).stringId, kStrEnterRevc);
    std::unique_ptr<Measurement> fit;
    EXPECT_EQ(CurveFitImpedance(bad, fit).stringId, kStrEnterRevc);
    EXPECT_FALSE(fit);

    // Box losses: the worked tuning, missing Qs, and a minimum not above Re.
    const TwoPeaks worked{20, 40, 80, 20, 7, 20};
    EXPECT_DOUBLE_EQ(BoxTuningOf(worked, 40).alpha, 2.25);
    double ql = 0;
    EXPECT_EQ(BoxLossQ(worked, 40, 6, 0, 0.4, ql).stringId, kStrNotEnoughParameters);
    EXPECT_EQ(BoxLossQ(worked, 40, 7, 4, 0.4, ql).stringId, kStrBoxlossRatio);
    EXPECT_EQ(ql, 0);
}

}  // namespace
}  // namespace srx
