#include "measure/sine_measurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "audio/virtual_device.h"
#include "dsp/numeric.h"
#include "measure/mls_measurement.h"
#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

constexpr uint32_t kRate = 44100;

class SineTest : public test::ScratchTest {
protected:
    void SetUp() override {
        ResetMeasurementDefaults(ms_);
        ms_.sampleRate = kRate;
        ms_.channels = 1;
        ms_.bitsPerSample = 24;
        ms_.gatedStop = ms_.sweepStop = 20000;
        ms_.sweepTimePerOctave = 0.5;
    }

    std::unique_ptr<Measurement> Measure(SineKind kind, Status* status = nullptr) {
        SineMeasurementSetup s;
        s.kind = kind;
        s.settings = ms_;
        s.folder = Folder();
        s.outputDevice = s.inputDevice = 0;
        s.compensation = {};
        VirtualLoudspeaker device(setup_);
        SineMeasurement m(s);
        const Status st = RunSineMeasurement(m, device, "virtual");
        if (status) *status = st;
        else EXPECT_TRUE(st.ok()) << st.stringId;
        return m.TakeResult();
    }

    // Largest level-shape (against the point nearest 1 kHz) and phase error
    // against the simulation over [from, to]; the phase keeps the path's
    // delay, which is added back.
    void ExpectModel(const Measurement& m, double from, double to, double db, double degrees) const {
        const VirtualTruth truth(setup_, kRate);
        const CurvePoint* ref = &m.points[0];
        for (const CurvePoint& p : m.points)
            if (std::fabs(std::log(p.frequency / 1000.0)) < std::fabs(std::log(ref->frequency / 1000.0))) ref = &p;
        const double refTruth = 20 * std::log10(std::abs(truth.Response(ref->frequency)));
        int checked = 0;
        for (const CurvePoint& p : m.points) {
            if (p.frequency < from - 1e-3 || p.frequency > to + 1e-3) continue;
            const std::complex<double> h = truth.Response(p.frequency);
            const double shape =
                p.value[kSlotLevel] - ref->value[kSlotLevel] - (20 * std::log10(std::abs(h)) - refTruth);
            const double phase = p.value[kSlotPhase] + 2 * kPi * p.frequency * truth.Latency() / kRate - std::arg(h);
            EXPECT_NEAR(shape, 0, db) << p.frequency;
            EXPECT_NEAR(WrapRadians(phase) * 180 / kPi, 0, degrees) << p.frequency;
            ++checked;
        }
        EXPECT_GT(checked, 2);
    }

    static double Percent(const CurvePoint& p, int h) {
        return 100 * std::pow(10.0, (p.value[kSlotDistortion2 + h - 2] - p.value[kSlotLevel]) / 20);
    }

    MeasurementSettings ms_{};
    VirtualSetup setup_;
};

TEST(FrequencySeries, EndsExactlyOnTheStopAndRefusesNonsense) {
    const std::vector<double> s = FrequencySeries(100, 1000, 3);
    const double want[] = {100, 126.0, 158.7, 200, 252.0, 317.5, 400, 504.0, 635.0, 800, 1000};
    ASSERT_EQ(s.size(), std::size(want));
    for (size_t i = 0; i < s.size(); ++i) EXPECT_NEAR(s[i], want[i], 0.05) << i;
    EXPECT_EQ(s[3], 200.0);
    EXPECT_EQ(s.back(), 1000.0);
    EXPECT_EQ(FrequencySeries(500, 500, 3), std::vector<double>{500});
    for (double f1 : {0.0, -1.0, double(NAN)}) EXPECT_TRUE(FrequencySeries(f1, 1000, 3).empty());
    EXPECT_TRUE(FrequencySeries(1000, 100, 3).empty());
    // The sweep starts an octave below its first frequency: one octave even
    // when start and stop meet.
    SweepParams p;
    p.f1 = p.f2 = 1000;
    p.timePerOctave = 0.5;
    EXPECT_EQ(SweepFrames(p, kRate), kRate / 2);
}

TEST_F(SineTest, GatedFollowsTheModelAndLeavesTheReflectionOut) {
    for (uint16_t bits : {16, 24}) {
        ms_.bitsPerSample = bits;
        setup_ = {};
        const auto plain = Measure(SineKind::kGated);
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->h.method, kMethodGatedSine);
        EXPECT_TRUE(plain->h.flags & kMesDistortion);
        ExpectModel(*plain, 300, 20000, 0.1, 1);  // from 3 / gate
        ExpectModel(*plain, 100, 300, 1, 10);     // from 1 / gate
        // A reflection 15 ms late falls outside the 10 ms gate.
        setup_.acoustic.reflectionGain = 0.5;
        setup_.acoustic.reflectionDelay = uint32_t(0.015 * kRate);
        const auto reflected = Measure(SineKind::kGated);
        ASSERT_EQ(reflected->points.size(), plain->points.size());
        for (size_t i = 0; i < plain->points.size(); ++i)
            if (plain->points[i].frequency >= 300) {
                EXPECT_NEAR(reflected->points[i].value[kSlotLevel], plain->points[i].value[kSlotLevel], 0.05);
            }
    }
}

TEST_F(SineTest, HarmonicsOfAKnownNonlinearity) {
    // x + 0.05 x^2 + 0.02 x^3 driven at half scale: H2 = 0.025 a / (1 + 0.015 a^2)...
    setup_.acoustic.speaker = false;
    setup_.acoustic.distortion = {0.05, 0.02};
    ms_.waveformLevelDb = -6;
    ms_.gatedStart = 1000;
    ms_.gatedStop = 5000;
    auto m = Measure(SineKind::kGated);
    ASSERT_TRUE(m);
    const double a = std::pow(10.0, -6 / 20.0), gain = 1 + 0.015 * a * a;
    EXPECT_NEAR(m->harmonicMaxPercent[0], 100 * 0.025 * a / gain, 0.02 * 1.248);
    EXPECT_NEAR(m->harmonicMaxPercent[1], 100 * 0.005 * a * a / gain, 0.02 * 0.125);
    EXPECT_NEAR(m->distortionDerived, 1.2545, 0.02 * 1.2545);
    for (int h = 4; h <= 10; ++h) EXPECT_LT(m->harmonicMaxPercent[h - 2], 0.01) << h;
    // Only the selected harmonics count; none selected, none.
    EXPECT_NEAR(ComputeDistortion(*m, 1u << 1), m->harmonicMaxPercent[1], 0.01);
    EXPECT_EQ(ComputeDistortion(*m, 0), 0.0);
    EXPECT_EQ(m->points[0].value[kSlotThd], float(kNoLevel));

    // Through the loudspeaker each harmonic passes H(hf), the fundamental
    // H(f): where the gate holds ten periods the ratio follows.
    setup_.acoustic.speaker = true;
    ms_.gatedStart = 1000;
    ms_.gatedStop = 2000;
    m = Measure(SineKind::kGated);
    const VirtualTruth truth(setup_, kRate);
    for (const CurvePoint& p : m->points)
        for (int h = 2; h <= 3; ++h) {
            const double theory = (h == 2 ? 0.025 * a : 0.005 * a * a) / gain * 100 *
                                  std::abs(truth.Response(h * p.frequency) / truth.Response(p.frequency));
            EXPECT_NEAR(20 * std::log10(Percent(p, h) / theory), 0, 1) << p.frequency << " H" << h;
        }
}

TEST_F(SineTest, SweepFollowsTheModelAndEveryMethodReadsAUnityPathAlike) {
    auto sweep = Measure(SineKind::kSweep);
    ASSERT_TRUE(sweep);
    EXPECT_EQ(sweep->h.curveKind, kCurveSweepResponse);
    EXPECT_EQ(sweep->h.setup.sweepTimePerOctave, 0.5);
    ExpectModel(*sweep, 100, 20000 / std::cbrt(2.0), 0.15, 1);

    // A unity path: the MLS, the gated sine and the sweep agree at 1 kHz,
    // and a 1 % offset of the input moves nothing.
    setup_ = PureLatencySetup(300);
    ms_.waveformLevelDb = -6;
    ClearWaveFilesIn(Folder(), kClearAll, HostFileSystem());  // as the settings sheet does on a new level
    MlsMeasurementSetup mls;
    mls.settings = ms_;
    mls.folder = Folder();
    mls.outputDevice = mls.inputDevice = 0;
    mls.compensation = {};
    VirtualLoudspeaker device(setup_);
    MlsMeasurement m(mls);
    ASSERT_TRUE(RunMlsMeasurement(m, device, "mls").ok());
    const auto levelAt1k = [](const Measurement& r) {
        for (const CurvePoint& p : r.points)
            if (p.frequency >= 999) return double(p.value[kSlotLevel]);
        return double(NAN);
    };
    const double byMls = levelAt1k(*m.Response());
    const auto gated = Measure(SineKind::kGated);
    sweep = Measure(SineKind::kSweep);
    EXPECT_NEAR(levelAt1k(*gated), byMls, 1);
    EXPECT_NEAR(levelAt1k(*sweep), byMls, 1);
    setup_.acoustic.dc = 0.01;
    for (SineKind kind : {SineKind::kGated, SineKind::kSweep}) {
        const auto offset = Measure(kind);
        const Measurement& clean = kind == SineKind::kGated ? *gated : *sweep;
        ASSERT_EQ(offset->points.size(), clean.points.size());
        for (size_t i = 0; i < clean.points.size(); ++i)
            EXPECT_NEAR(offset->points[i].value[kSlotLevel], clean.points[i].value[kSlotLevel], 0.05);
    }
}

TEST_F(SineTest, ProbeModeRefersToTheSecondChannel) {
    ms_.channels = 2;
    ms_.flags |= kMsfProbeCompensation;
    for (SineKind kind : {SineKind::kGated, SineKind::kSweep}) {
        const auto m = Measure(kind);
        ASSERT_TRUE(m);
        EXPECT_TRUE(m->h.flags & kMesCompensationContained);
        // The loop-back channel has the latency too: what is left is the
        // loudspeaker, without a delay.
        setup_.latency = 0;
        ExpectModel(*m, 300, 16000, 0.15, 1);
        setup_ = {};
    }
}

TEST_F(SineTest, NoiseOrSilenceIsTooLowAndNothingIsKept) {
    setup_.acoustic.gain = 0;
    for (double noise : {-60.0, -200.0}) {
        setup_.acoustic.noiseDb = noise;
        for (SineKind kind : {SineKind::kGated, SineKind::kSweep}) {
            Status s;
            EXPECT_FALSE(Measure(kind, &s));
            EXPECT_EQ(s.stringId, kStrLevelTooLow) << noise;
        }
    }
    EXPECT_EQ(ClearWaveFilesIn(Folder(), kClearResponses, HostFileSystem()), 0);
}

TEST(AveragePasses, LaterPassesCountHalfAndPhasesMeetTheShortWay) {
    std::vector<std::unique_ptr<Measurement>> owned;
    std::vector<const Measurement*> passes;
    for (double level : {0.0, 0.0, 6.0}) {
        owned.push_back(NewMeasurement(kCurveFrequencyResponse));
        const double phase = owned.size() == 1 ? 3.1 : -3.1;
        AddCurvePoint(*owned.back(), 1000, level, phase, level - 20, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel,
                      kNoLevel, kNoLevel, kNoLevel, kNoLevel);
        passes.push_back(owned.back().get());
    }
    auto r = AveragePasses(passes);
    EXPECT_NEAR(r->points[0].value[kSlotLevel], 3, 1e-6);
    EXPECT_NEAR(r->points[0].value[kSlotDistortion2], -17, 1e-6);
    EXPECT_EQ(r->points[0].value[kSlotDistortion2 + 1], float(kNoLevel));
    EXPECT_NEAR(std::fabs(r->points[0].value[kSlotPhase]), kPi, 0.05);
    std::swap(passes[0], passes[2]);
    EXPECT_NEAR(AveragePasses(passes)->points[0].value[kSlotLevel], 1.5, 1e-6);
}

}  // namespace
}  // namespace srx
