#include "dsp/frequency_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/min_phase.h"
#include "dsp/numeric.h"
#include "dsp/window.h"

using namespace srx;

namespace {

constexpr int kRate = 48000;

// An impulse record: `amplitude` at sample `at`, the window over all of it.
TimeRecord Impulse(int count, int at, float amplitude = 1.0f, uint32_t flags = kTwfMls) {
    TimeRecord r;
    r.h.sampleRate = kRate;
    r.h.sampleCount = count;
    r.h.flags = flags;
    r.h.spikeLength = 1e-4;
    r.h.fftWindowLength = double(count) / kRate;
    r.samples.assign(size_t(count), 0.0f);
    r.samples[size_t(at)] = amplitude;
    return r;
}

AnalysisSettings Settings() {
    AnalysisSettings s;
    s.windowType = kWindowRectangular;
    s.topFrequency = s.topFrequencyMls = 20000;
    return s;
}

// The level of a unit impulse by the reference rules: the FFT level offset
// cancels the 1/N of the power, leaving 2^k0 (k0 = 10 at 22050 Hz, else 11,
// plus a factor 2 below 44100 Hz), then the excitation and the constant.
double UnitImpulseLevel(int rate, double excitation, double constant) {
    const int k0 = rate == 22050 ? 10 : 11;
    double level = -10.0 * k0 * std::log10(2.0);
    if (rate < 44100) level += 10.0 * std::log10(2.0);
    return level + 20.0 * std::log10(0.1 / (2.0 * excitation)) + constant;
}

Measurement Curve(const std::vector<double>& f, const std::vector<double>& phase) {
    Measurement m;
    for (size_t i = 0; i < f.size(); ++i) {
        CurvePoint p;
        p.frequency = float(f[i]);
        p.value[kSlotPhase] = float(phase[i]);
        p.value[kSlotPhaseUnwrapped] = float(phase[i]);
        m.points.push_back(p);
    }
    return m;
}

}  // namespace

TEST(AnalysisLimits, TopStaysBelowNyquistAndTheFftGrowsWithWindowAndLowStart) {
    EXPECT_EQ(MaxAnalysisFrequency(50000), 24800);  // off the table: (49999 div 800) * 400
    for (int rate = 1000; rate <= 200000; rate += 997) EXPECT_LT(MaxAnalysisFrequency(rate), rate / 2.0);

    double off = 0;
    // 0.1 s at 48 kHz: 4800 + 35 samples need 2^13; 100 Hz adds two octaves.
    EXPECT_EQ(FftSizeForWindow(kRate, 0.1, 100, &off), 15);
    EXPECT_NEAR(off, 4 * 10 * std::log10(2.0), 1e-12);
    EXPECT_EQ(FftSizeForWindow(kRate, 0.1, 10, nullptr), 18);
    EXPECT_EQ(FftSizeForWindow(kRate, 0.1, 1000, nullptr), 14);
    EXPECT_EQ(FftSizeForWindow(kRate, 0.001, 1000, nullptr), 12);  // never below 2^11 + 1
    EXPECT_EQ(FftSizeForWindow(22050, 0.001, 1000, &off), 11);     // 2^10 there
    EXPECT_NEAR(off, 2 * 10 * std::log10(2.0), 1e-12);             // one step + low rate
}

TEST(ImpulseResponse, UnitImpulseIsFlatAtTheReferenceLevel) {
    struct Case {
        int rate;
        uint32_t flags;
        double excitation, constant;
    } cases[] = {
        {kRate, kTwfMls, 1.0 / kRate, 0.62},
        {kRate, kTwfMls | kTwfCompensationContained, 1.0 / kRate, 1.18},
        {kRate, 0, 1e-4, 0.54},
        {22050, kTwfCompensationContained, 1e-4, -2.41},
    };
    AnalysisSettings s = Settings();
    s.levelOffsetDb = 1.5;
    for (const Case& c : cases) {
        for (int log2n : {0, 13, 16}) {  // the level must not depend on the size
            TimeRecord r = Impulse(4000, 0, 1.0f, c.flags);
            r.h.sampleRate = c.rate;
            auto m = ImpulseToFrequencyResponse(r, 50, 12, log2n, s);
            ASSERT_TRUE(m);
            const double want = UnitImpulseLevel(c.rate, c.excitation, c.constant) + 1.5;
            for (const CurvePoint& p : m->points) {
                ASSERT_NEAR(p.value[kSlotLevel], want, 1e-3) << c.rate << " " << p.frequency;
                ASSERT_NEAR(p.value[kSlotPhase], 0.0, 1e-5);
            }
            EXPECT_NEAR(double(m->h.maxLevel), want, 1e-3);
            EXPECT_EQ(int(m->h.method), (c.flags & kTwfMls) ? 13 : 12);
        }
    }
}

TEST(ImpulseResponse, GridStartsWhereToldAndEndsExactlyAtTheTop) {
    AnalysisSettings s = Settings();
    TimeRecord r = Impulse(4800, 0);  // 0.1 s
    auto m = ImpulseToFrequencyResponse(r, 0, 6, 0, s);
    ASSERT_TRUE(m);
    EXPECT_FLOAT_EQ(m->points.front().frequency, 10.0f);  // 1 / length
    EXPECT_EQ(m->points.back().frequency, 20000.0f);
    const size_t n = m->points.size();
    for (size_t i = 1; i + 1 < n; ++i)
        ASSERT_NEAR(m->points[i].frequency / m->points[i - 1].frequency, std::pow(2.0, 1.0 / 6), 1e-5);
    EXPECT_LE(m->points[n - 1].frequency / m->points[n - 2].frequency, std::pow(2.0, 1.0 / 6) + 1e-6);
    EXPECT_EQ(int(m->h.pointCount), int(n));
    EXPECT_EQ(double(m->h.firstFrequency), m->points.front().frequency);
    EXPECT_EQ(double(m->h.lastFrequency), 20000.0);

    // A start below one bin is raised to the bin width (2^12 points: 11.72 Hz).
    auto low = ImpulseToFrequencyResponse(r, 5, 6, 12, s);
    ASSERT_TRUE(low);
    EXPECT_FLOAT_EQ(low->points.front().frequency, float(kRate / 4096.0));

    // The top never exceeds the highest usable frequency of the rate.
    s.topFrequencyMls = 30000;
    auto capped = ImpulseToFrequencyResponse(r, 1000, 6, 0, s);
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped->points.back().frequency, 23950.0f);
}

TEST(ImpulseResponse, PureDelayHasItsDelayAsGroupDelayAndExcessDelay) {
    AnalysisSettings s = Settings();
    s.alwaysComputeMinimumPhase = true;
    // 0.5 ms: at 48 points per octave the phase moves less than a radian
    // from point to point even at 20 kHz, so it is sampled finely enough.
    const int delay = 24;
    TimeRecord r = Impulse(4800, delay);
    auto m = ImpulseToFrequencyResponse(r, 100, 48, 0, s);
    ASSERT_TRUE(m);
    DerivePhaseData(*m, s);
    const double want = double(delay) / kRate;
    for (const CurvePoint& p : m->points) {
        ASSERT_NEAR(p.value[kSlotGroupDelay], want, want * 1e-3) << p.frequency;
        ASSERT_NEAR(p.value[kSlotExcessGroupDelay], want, want * 2e-3) << p.frequency;
        ASSERT_NEAR(p.value[kSlotMinimumPhase], 0.0, 1e-3) << p.frequency;  // flat magnitude
        // The unwrapped phase is the straight line -2 pi f D.
        ASSERT_NEAR(p.value[kSlotPhaseUnwrapped], -2 * kPi * p.frequency * want,
                    1e-4 * 2 * kPi * p.frequency * want + 1e-3);
    }
    EXPECT_NEAR(m->maxGroupDelay, want, want * 1e-3);
    EXPECT_NEAR(m->maxExcessGroupDelay, want, want * 2e-3);

    // Delay Free refers the phase to the peak: the delay disappears.
    ApplyTimeWindow(r, kTimeWindowDelayFree, 0, 0);
    Status warning = Status::Error(1);
    auto free = ImpulseToFrequencyResponse(r, 100, 48, 0, s, &warning);
    ASSERT_TRUE(free);
    EXPECT_TRUE(warning.ok());
    for (const CurvePoint& p : free->points) ASSERT_NEAR(p.value[kSlotPhase], 0.0, 1e-4);
}

TEST(ImpulseResponse, DelayFreeBeforeThePeakFallsBackToNormalWithAWarning) {
    AnalysisSettings s = Settings();
    TimeRecord r = Impulse(4800, 2000);
    ApplyTimeWindow(r, kTimeWindowDelayFree, 0.02, 0);  // 960 samples, peak at 2000
    ASSERT_TRUE(r.h.flags & kTwfDelayFree);
    Status warning;
    auto m = ImpulseToFrequencyResponse(r, 100, 12, 0, s, &warning);
    ASSERT_TRUE(m);
    EXPECT_EQ(warning.stringId, 2818);
    EXPECT_FALSE(r.h.flags & kTwfDelayFree);
    auto normal = ImpulseToFrequencyResponse(r, 100, 12, 0, s, &warning);
    ASSERT_TRUE(normal);
    EXPECT_TRUE(warning.ok());
    ASSERT_EQ(m->points.size(), normal->points.size());
    for (size_t i = 0; i < m->points.size(); ++i)
        EXPECT_EQ(m->points[i].value[kSlotLevel], normal->points[i].value[kSlotLevel]);
}

// Each failure says why; hostile numbers neither crash nor turn into NaN.
TEST(ImpulseResponse, WindowsThatDoNotFitFailWithTheirReason) {
    AnalysisSettings s = Settings();
    TimeRecord r = Impulse(1000, 0);
    Status error;
    auto failsWith = [&](double start, int ppo) {
        EXPECT_FALSE(ImpulseToFrequencyResponse(r, start, ppo, 0, s, nullptr, &error));
        return error.stringId;
    };
    r.h.windowStart = 1000;
    EXPECT_EQ(failsWith(100, 12), 5414);
    r.h.windowStart = 0;
    s.preDelaySeconds = -1.0;
    EXPECT_EQ(failsWith(100, 12), 5414);
    s.preDelaySeconds = 0;
    r.h.sampleRate = 0;
    EXPECT_EQ(failsWith(100, 12), 5415);
    r.h.sampleRate = kRate;
    EXPECT_EQ(failsWith(30000, 12), 5413);  // start above the top
    r.h.sampleCount = 5000;                 // the header claims more samples than there are
    EXPECT_TRUE(ImpulseToFrequencyResponse(r, 100, 12, 0, s));
    EXPECT_EQ(failsWith(100, 0), 5414);  // no grid
    r.h.fftWindowLength = 1e300;         // the FFT follows the samples there are
    EXPECT_TRUE(ImpulseToFrequencyResponse(r, 100, 12, 0, s));
    r.samples[10] = std::nanf("");
    EXPECT_EQ(failsWith(100, 12), 5410);
}

TEST(ImpulseResponse, HugeSamplesKeepTheirLevel) {
    AnalysisSettings s = Settings();
    TimeRecord unit = Impulse(4096, 100), huge = Impulse(4096, 100, 1e38f);
    auto a = ImpulseToFrequencyResponse(unit, 100, 12, 0, s);
    auto b = ImpulseToFrequencyResponse(huge, 100, 12, 0, s);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->points.size(), b->points.size());
    for (size_t i = 0; i < a->points.size(); ++i) {
        EXPECT_NEAR(b->points[i].value[kSlotLevel] - a->points[i].value[kSlotLevel], 760.0, 0.01);
        EXPECT_NEAR(b->points[i].value[kSlotPhase], a->points[i].value[kSlotPhase], 1e-4);
    }
}

TEST(TimeWindow, ModesSetStartFlagAndClampToTheRecord) {
    TimeRecord r = Impulse(1000, 0);
    ApplyTimeWindow(r, kTimeWindowManual, 0.5, 1.0);  // start beyond the last sample
    EXPECT_EQ(int(r.h.windowStart), 999);
    EXPECT_DOUBLE_EQ(double(r.h.fftWindowLength), 1.0 / kRate);  // one sample left
    ApplyTimeWindow(r, kTimeWindowManual, 0, 0.01);
    EXPECT_EQ(int(r.h.windowStart), 480);
    EXPECT_DOUBLE_EQ(double(r.h.fftWindowLength), 1.0 / kRate);  // kept, still within bounds
    ApplyTimeWindow(r, kTimeWindowDelayFree, 0.005, 0.01);
    EXPECT_EQ(int(r.h.windowStart), 0);
    EXPECT_TRUE(r.h.flags & kTwfDelayFree);
    EXPECT_DOUBLE_EQ(double(r.h.fftWindowLength), 0.005);
    ApplyTimeWindow(r, kTimeWindowNormal, 1.0, 0);
    EXPECT_FALSE(r.h.flags & kTwfDelayFree);
    EXPECT_DOUBLE_EQ(double(r.h.fftWindowLength), 1000.0 / kRate);
    TimeRecord empty;
    empty.h.sampleRate = kRate;
    ApplyTimeWindow(empty, kTimeWindowManual, 0.1, 0.1);
    EXPECT_EQ(int(empty.h.windowStart), 0);
    EXPECT_EQ(double(empty.h.fftWindowLength), 0.0);
}

TEST(PhaseUnwrap, WrapsAreRemovedAndSmoothPhaseKept) {
    const double d = kPi / 180;
    Measurement m = Curve({100, 110, 120, 130}, {170 * d, -170 * d, -150 * d, 160 * d});
    UnwrapPhase(m, kSlotPhase, kSlotPhaseUnwrapped);
    EXPECT_NEAR(m.points[0].value[kSlotPhaseUnwrapped], 170 * d, 1e-6);
    EXPECT_NEAR(m.points[1].value[kSlotPhaseUnwrapped], 190 * d, 1e-5);
    EXPECT_NEAR(m.points[2].value[kSlotPhaseUnwrapped], 210 * d, 1e-5);
    EXPECT_NEAR(m.points[3].value[kSlotPhaseUnwrapped], 160 * d, 1e-5);  // a real step back
}

TEST(GroupDelay, EqualPhasesTakeTheInterpolatedDelayOfTheNextChange) {
    Measurement m = Curve({100, 200, 400, 800, 1600}, {0.0, -1.0, -1.0, -3.0, -4.0});
    GroupDelayFromPhase(m, kSlotGroupDelay, kSlotPhaseUnwrapped);
    auto tau = [&](int i) { return double(m.points[size_t(i)].value[kSlotGroupDelay]); };
    const double twoPi = double(6.2831855f);
    EXPECT_NEAR(tau(1), 1.0 / (twoPi * 100), 1e-9);
    EXPECT_NEAR(tau(3), 2.0 / (twoPi * 600), 1e-9);  // from the point at 200 Hz
    EXPECT_NEAR(tau(2), InterpolateLogF(400, 200, tau(1), 800, tau(3)), 1e-9);
    EXPECT_NEAR(tau(4), 1.0 / (twoPi * 800), 1e-9);
    EXPECT_EQ(tau(0), tau(1));

    // A flat tail copies the last delay instead of dividing by zero.
    Measurement flat = Curve({100, 200, 300, 400}, {0.0, -1.0, -1.0, -1.0});
    flat.points[2].value[kSlotGroupDelay] = 99;  // stale values do not leak through
    GroupDelayFromPhase(flat, kSlotGroupDelay, kSlotPhaseUnwrapped);
    EXPECT_EQ(flat.points[2].value[kSlotGroupDelay], flat.points[1].value[kSlotGroupDelay]);
    EXPECT_EQ(flat.points[3].value[kSlotGroupDelay], flat.points[1].value[kSlotGroupDelay]);
}

TEST(DerivePhaseData, ImpedanceGetsZeroDelayAndFailuresClearTheMinimumFamily) {
    Measurement z = Curve({100, 200, 400}, {0.1, 0.2, 0.3});
    z.h.curveKind = kCurveImpedance;
    for (CurvePoint& p : z.points) p.value[kSlotGroupDelay] = p.value[kSlotMinimumPhase] = 1;
    DerivePhaseData(z, DefaultAnalysisSettings());
    for (const CurvePoint& p : z.points) {
        EXPECT_EQ(p.value[kSlotGroupDelay], 0.0f);
        EXPECT_EQ(p.value[kSlotMinimumPhase], 1.0f);  // nothing else touched
    }

    Measurement m = Curve({100, 200, 400}, {0.1, 0.2, 0.3});
    for (CurvePoint& p : m.points)
        for (int s = kSlotMinimumPhase; s <= kSlotExcessGroupDelay; ++s) p.value[s] = 5;
    AnalysisSettings s;
    s.alwaysComputeMinimumPhase = true;
    s.minimumPhaseQuality = 7;  // unknown: the computation fails
    DerivePhaseData(m, s);
    for (const CurvePoint& p : m.points)
        for (int slot = kSlotMinimumPhase; slot <= kSlotExcessGroupDelay; ++slot) EXPECT_EQ(p.value[slot], 0.0f);
    EXPECT_NEAR(m.phaseUnwrappedMax, 0.3, 1e-6);
    EXPECT_NEAR(m.phaseUnwrappedMin, 0.1, 1e-6);
}
