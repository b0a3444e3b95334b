#include "dsp/impulse_analyses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "audio/virtual_device.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "dsp/window.h"
#include "resources/string_ids.h"

using namespace srx;

namespace {

constexpr int kRate = 48000;

TimeRecord Record(const std::vector<float>& samples, int rate = kRate) {
    TimeRecord r;
    r.h.sampleRate = rate;
    r.h.sampleCount = int32_t(samples.size());
    r.h.spikeLength = 1.0 / rate;
    r.h.flags = kTwfMls;
    r.h.fftWindowLength = double(samples.size()) / rate;
    r.h.waterfallMax = kNoLevel;
    r.samples = samples;
    return r;
}

// A decaying tone e^(-t/tau) sin(2 pi f t) starting at sample `at`.
std::vector<float> DecayingTone(size_t n, double f, double tau, size_t at = 0) {
    std::vector<float> x(n, 0.0f);
    for (size_t i = at; i < n; ++i) {
        const double t = double(i - at) / kRate;
        x[i] = float(std::exp(-t / tau) * std::sin(2 * kPi * f * t));
    }
    return x;
}

// Least-squares slope of y over x.
double Slope(const std::vector<double>& x, const std::vector<double>& y) {
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) mx += x[i], my += y[i];
    mx /= double(x.size());
    my /= double(x.size());
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < x.size(); ++i) sxy += (x[i] - mx) * (y[i] - my), sxx += (x[i] - mx) * (x[i] - mx);
    return sxy / sxx;
}

std::vector<float> TrueImpulse(size_t n, uint32_t rate = kRate) {
    const VirtualTruth truth(VirtualSetup{}, rate);
    const std::vector<double> h = truth.ImpulseResponse(n);
    return std::vector<float>(h.begin(), h.end());
}

}  // namespace

TEST(ImpulseSums, FastQuadratureAndStepEqualTheDirectSums) {
    // A loudspeaker's impulse with noise after it, the usual input.
    std::vector<float> x = TrueImpulse(4096);
    uint32_t seed = 1;
    for (size_t i = 0; i < x.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        x[i] += float((double(seed >> 8) / 16777216.0 - 0.5) * 1e-3);
    }
    for (int type = kWindowRectangular; type <= kWindowBlackmanHarris; ++type) {
        const std::vector<std::complex<double>> fast = AnalyticEnvelopeFir(x.data(), x.size(), type);
        const std::vector<double> direct = QuadratureDirect(x.data(), x.size(), type);
        ASSERT_EQ(fast.size(), x.size());
        double peak = 0, err = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            peak = std::max(peak, std::fabs(direct[i]));
            err = std::max(err, std::fabs(fast[i].imag() - direct[i]));
            ASSERT_EQ(fast[i].real(), x[i]);
        }
        EXPECT_LT(err, 1e-6 * peak) << "window " << type;
    }
    const std::vector<double> step = StepSums(x.data(), x.size()), direct = StepSumsDirect(x.data(), x.size());
    double peak = 0, err = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        peak = std::max(peak, std::fabs(direct[i]));
        err = std::max(err, std::fabs(step[i] - direct[i]));
    }
    EXPECT_LT(err, 1e-6 * peak);
}

TEST(StepResponse, UnitImpulseStepsToOneAndTheWindowStaysInside) {
    std::vector<float> x(960, 0.0f);
    x[10] = 1.0f;
    x[11] = -0.25f;
    TimeRecord r = Record(x);
    r.h.windowStart = 900;
    r.h.fftWindowLength = 0.02;
    r.slices.resize(2);
    r.h.flags |= kTwfWaterfall | kTwfSaved;
    Status error;
    auto step = MakeStepResponse(r, 0.005, &error);  // 240 samples
    ASSERT_TRUE(step) << error.stringId;
    ASSERT_EQ(step->h.sampleCount, 240);
    EXPECT_EQ(step->samples[9], 0.0f);
    EXPECT_EQ(step->samples[10], 1.0f);  // the running sum: not -1 as x[i] - 2 x[0] + sum would give
    EXPECT_EQ(step->samples[239], 0.75f);
    EXPECT_EQ(step->h.peak, 1.0);
    EXPECT_EQ(step->h.flags & (kTwfStep | kTwfWaterfall | kTwfSaved), kTwfStep);
    EXPECT_TRUE(step->slices.empty());
    EXPECT_LT(step->h.windowStart, 240);
    EXPECT_LE(step->h.windowStart + step->h.fftWindowLength * kRate, 240 + 1e-9);

    EXPECT_EQ(MakeStepResponse(r, 0, &error), nullptr);
    EXPECT_EQ(error.stringId, kStrEtcLengthNotPositive);
    EXPECT_EQ(MakeStepResponse(r, 0.03, &error), nullptr);
    EXPECT_EQ(error.stringId, kStrEtcLengthTooLong);
    EXPECT_EQ(error.args, std::vector<std::string>{"20.00"});

    InvertImpulse(*step);
    EXPECT_EQ(step->samples[10], -1.0f);
    EXPECT_EQ(step->h.peak, -1.0);
    InvertImpulse(*step);
    EXPECT_EQ(step->samples[10], 1.0f);
    EXPECT_EQ(step->h.flags & kTwfInverted, 0u);
}

TEST(EnergyTimeCurve, DecayOfAToneAndTheRecordItMakes) {
    // 4 kHz, tau = 1 ms: the envelope falls 20 log10(e) = 8.686 dB per ms.
    TimeRecord r = Record(DecayingTone(4800, 4000, 0.001, 48));
    r.h.windowStart = 24;
    r.h.fftWindowLength = 0.09;
    Status error;
    auto e = MakeEnergyTimeCurve(r, 0.1, kWindowHanning, &error);
    ASSERT_TRUE(e) << error.stringId;
    ASSERT_EQ(e->h.sampleCount, 8192);  // 4800 samples rounded up to a power of two
    std::vector<double> t, level;
    for (size_t i = 48 + 48; i < 48 + 48 * 6; ++i) {  // 1 .. 6 ms after the start
        t.push_back(double(i) / kRate * 1000);
        level.push_back(e->samples[i]);
    }
    const double slope = Slope(t, level);
    EXPECT_NEAR(slope, -20 * std::log10(std::exp(1.0)), 0.01 * 8.686);
    // No holes and no bends: over the first 3 ms (before the transformer's
    // 1/t tail of the onset shows) the envelope stays on its line.
    const std::vector<double> early(level.begin(), level.begin() + 96), tEarly(t.begin(), t.begin() + 96);
    const double s3 = Slope(tEarly, early);
    for (size_t i = 0; i < 96; ++i) EXPECT_NEAR(early[i] - early[0], s3 * (tEarly[i] - tEarly[0]), 1.0) << t[i];
    float top = -1000;
    for (float v : e->samples) top = std::max(top, v);
    EXPECT_EQ(top, 0.0f);
    EXPECT_DOUBLE_EQ(e->h.duration, 0.05);              // span at most 50 ms
    EXPECT_DOUBLE_EQ(e->h.markerStart, 24.0 / kRate);   // the window's start
    EXPECT_DOUBLE_EQ(e->h.markerEnd, 0.05);             // its end clamped to the span
    EXPECT_EQ(MakeEnergyTimeCurve(r, 0.11, kWindowHanning, &error), nullptr);
    EXPECT_EQ(error.args, std::vector<std::string>{"100.00"});
}

TEST(Waterfall, FirstSliceIsTheFrequencyResponseAndLateSlicesDecay) {
    AnalysisSettings st;
    st.topIsMaxFrequencyMls = true;
    {
        // Slice 0 against the frequency response of the same window.
        std::vector<float> x(4096, 0.0f);
        const std::vector<float> h = TrueImpulse(3800);
        std::copy(h.begin(), h.end(), x.begin() + 200);
        TimeRecord r = Record(x);
        r.h.fftWindowLength = 0.06;
        auto fr = ImpulseToFrequencyResponse(r, 0, 24, 0, st);
        ASSERT_TRUE(fr);
        WaterfallParameters p;
        p.spanSeconds = 0.02;
        p.resolution = 5;  // read as 1
        ASSERT_TRUE(ComputeWaterfall(r, p, st).ok());
        ASSERT_EQ(r.slices.size(), 48u);
        ASSERT_EQ(r.slices[0].level.size(), fr->points.size());
        for (size_t i = 0; i < fr->points.size(); ++i) {
            ASSERT_FLOAT_EQ(r.slices[0].frequency[i], fr->points[i].frequency);
            EXPECT_NEAR(r.slices[0].level[i], fr->points[i].value[kSlotLevel], 0.01) << fr->points[i].frequency;
        }
        EXPECT_EQ(r.h.flags & kTwfWaterfall, kTwfWaterfall);
        // A span shorter than one sample per slice cannot be cut into slices.
        p.spanSeconds = 40.0 / kRate;
        EXPECT_EQ(ComputeWaterfall(r, p, st).stringId, kStrWaterfallFailed);
    }
    // A 1 kHz tone with tau = 2 ms loses 4.34 dB per ms from slice to slice.
    for (const int window : {kWindowRectangular, kWindowHanning}) {
        st.windowType = window;
        TimeRecord r = Record(DecayingTone(9600, 1000, 0.002));
        r.h.fftWindowLength = 0.2;
        WaterfallParameters p;
        p.spanSeconds = 0.012;
        p.resolution = 0;
        p.startFrequency = 200;
        ASSERT_TRUE(ComputeWaterfall(r, p, st).ok());
        size_t k = 0;
        while (r.slices[0].frequency[k] < 1000 * 0.999) ++k;
        std::vector<double> t, level;
        for (size_t s = 0; s < r.slices.size(); ++s) {
            t.push_back(std::round(double(s) * 576 / 24) / kRate * 1000);
            level.push_back(r.slices[s].level[k]);
            if (s > 0) {
                EXPECT_LT(level[s], level[s - 1]) << "window " << window << " slice " << s;
            }
        }
        if (window == kWindowRectangular) {
            EXPECT_NEAR(Slope(t, level), -4.343, 0.03 * 4.343);
        }
    }
    {
        // Span = window: the late slices sit under the window's tail and
        // keep its attenuation instead of being lifted back to full scale.
        st.windowType = kWindowHanning;
        TimeRecord r = Record(DecayingTone(9600, 1000, 0.002));
        r.h.fftWindowLength = 0.012;
        WaterfallParameters p;
        p.spanSeconds = 0.012;
        p.resolution = 0;
        p.startFrequency = 200;
        ASSERT_TRUE(ComputeWaterfall(r, p, st).ok());
        size_t k = 0;
        while (r.slices[0].frequency[k] < 1000 * 0.999) ++k;
        const double late = 23 * 24.0 / kRate * 1000;  // ms
        EXPECT_LT(r.slices[23].level[k], r.slices[0].level[k] - 4.343 * late - 20);
    }
    // Sliding: the late slices hold too few samples for the low frequencies.
    TimeRecord r = Record(DecayingTone(4800, 1000, 0.002));
    r.h.fftWindowLength = 0.1;
    WaterfallParameters p;
    p.sliding = true;
    p.spanSeconds = 1.0;  // cut to the window
    p.startFrequency = 10;
    ASSERT_TRUE(ComputeWaterfall(r, p, st).ok());
    EXPECT_NEAR(r.h.furtherTime, 0.1, 1e-12);
    EXPECT_GT(r.slices[0].level[3], kNoLevel);
    EXPECT_EQ(r.slices.back().level[0], float(kNoLevel));
    ASSERT_TRUE(NormalizeWaterfall(r, 1000));
    size_t k = 0;
    while (r.slices[0].frequency[k] < 1000) ++k;
    float top = kNoLevel;
    for (const WaterfallSlice& s : r.slices) top = std::max(top, s.level[k]);
    EXPECT_EQ(top, 0.0f);
    EXPECT_FALSE(NormalizeWaterfall(r, 1e6));
}

TEST(FrequencyToImpulse, TrueResponseComesBackThroughTheTransform) {
    // The virtual loudspeaker's response at 48 points per octave.
    const VirtualTruth truth(VirtualSetup{}, kRate);
    Measurement m;
    m.h.curveKind = kCurveFrequencyResponse;
    m.h.setup.sampleRate = kRate;
    const double r = std::pow(2.0, 1.0 / 48);
    for (double f = 20; f <= 20000; f *= r) {
        const std::complex<double> h = truth.Response(f);
        CurvePoint p;
        p.frequency = float(f);
        p.value[kSlotLevel] = float(20 * std::log10(std::abs(h)));
        p.value[kSlotPhase] = float(std::arg(h));
        m.points.push_back(p);
    }
    m.h.flags = kMesPhase;
    UnwrapPhase(m, kSlotPhase, kSlotPhaseUnwrapped);
    Status error;
    long long lead = 0;
    auto t = FrequencyToImpulse(m, TimeWindowSettings{}, &error, &lead);
    ASSERT_TRUE(t) << error.stringId;
    EXPECT_EQ(lead, t->h.sampleCount / 4);
    EXPECT_EQ(t->h.sampleRate, kRate);
    EXPECT_EQ(t->h.setup.bitsPerSample, 16);
    EXPECT_DOUBLE_EQ(t->h.peak, 1.0);

    AnalysisSettings st;
    st.windowType = kWindowRectangular;
    st.topIsMaxFrequency = true;
    t->h.flags = 0;  // the transform without its minimum phase
    auto back = ImpulseToFrequencyResponse(*t, 20, 48, 0, st);
    ASSERT_TRUE(back);
    const double f0 = m.points.front().frequency, f1 = m.points.back().frequency;
    double offset = 0;
    bool first = true;
    for (const CurvePoint& p : back->points) {
        if (p.frequency < 2 * f0 || p.frequency > 0.9 * f1) continue;
        const std::complex<double> h = truth.Response(p.frequency);
        const double level = 20 * std::log10(std::abs(h));
        if (first) offset = p.value[kSlotLevel] - level, first = false;
        EXPECT_NEAR(p.value[kSlotLevel] - offset, level, 0.1) << p.frequency;
        const double leadPhase = 2 * kPi * p.frequency * double(lead) / kRate;
        EXPECT_NEAR(WrapRadians(p.value[kSlotPhase] + leadPhase - std::arg(h)) * 180 / kPi, 0.0, 2.0) << p.frequency;
    }
    EXPECT_FALSE(first);
}
