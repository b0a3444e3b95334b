#include "measure/impedance_measurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>

#include "audio/virtual_device.h"
#include "dsp/numeric.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

constexpr uint32_t kRate = 44100;

TEST(ImpedanceFromChannels, BoxCalibrationAndTheirEnds) {
    ImpedanceContext c;
    double z = 0, phase = 0;
    ASSERT_TRUE(ImpedanceFromChannels(4, 0.3, 1, 0.2, 1000, c, &z, &phase));
    EXPECT_NEAR(z, 2 * 68, 1e-9);
    EXPECT_NEAR(phase, 0.1, 1e-12);
    c.boxVersion = 2;  // its current channel is inverted
    ASSERT_TRUE(ImpedanceFromChannels(1, 0.1, 1, 0, 1000, c, &z, &phase));
    EXPECT_NEAR(phase, 0.1 - kPi, 1e-12);
    EXPECT_FALSE(ImpedanceFromChannels(0, 0, 1, 0, 1000, c, &z, &phase));
    c.boxVersion = 7;
    EXPECT_FALSE(ImpedanceFromChannels(1, 0, 1, 0, 1000, c, &z, &phase));

    // 8 ohm read as 8.5: the stored factor brings it back; before the first
    // and after the last entry their own values hold, between them log f.
    const ImpedanceCalibration table = {{100, 8 / 8.5, 0.0}, {1000, 1.0, 0.2}};
    c = {};
    c.table = &table;
    ImpedanceFromChannels(8.5 * 8.5, 0, 68 * 68, 0, 50, c, &z, &phase);
    EXPECT_NEAR(z, 8.0, 1e-9);
    ImpedanceFromChannels(1, 0, 1, 0, 5000, c, &z, &phase);
    EXPECT_NEAR(phase, -0.2, 1e-12);
    ImpedanceFromChannels(1, 0, 1, 0, std::sqrt(100.0 * 1000.0), c, &z, &phase);
    EXPECT_NEAR(phase, -0.1, 1e-12);
}

class ImpedanceTest : public test::ScratchTest {
protected:
    void SetUp() override {
        ResetMeasurementDefaults(ms_);
        ms_.sampleRate = kRate;
        ms_.bitsPerSample = 16;
        ms_.impedanceBoxVersion = 1;
        ms_.impedanceStart = 20;
        ms_.impedanceStop = 20000;
        ms_.impedanceSweepTime = 0.5;
        ms_.impedanceMlsOrder = 17;
        ms_.flags &= ~kMsfImpedanceMls;  // the sweep unless a case asks for the MLS
        jig_ = {};
        jig_.mode = VirtualMode::kImpedanceJig;
        jig_.boxVersion = 1;
    }
    std::unique_ptr<Measurement> Measure(bool calibrating = false, Status* status = nullptr, bool* clipped = nullptr) {
        ImpedanceMeasurementSetup s;
        s.settings = ms_;
        s.folder = Path("waves");
        s.programFolder = Folder();
        s.outputDevice = s.inputDevice = 0;
        s.calibrating = calibrating;
        VirtualLoudspeaker device(jig_);
        ImpedanceMeasurement m(s);
        const Status st = RunImpedanceMeasurement(m, device, "jig");
        if (status) *status = st;
        else EXPECT_TRUE(st.ok()) << st.stringId;
        if (clipped) *clipped = m.Clipped();
        return m.TakeResult();
    }
    void ExpectJig(const Measurement& m, double to, double relative, double degrees) const {
        const VirtualTruth truth(jig_, kRate);
        int checked = 0;
        for (const CurvePoint& p : m.points) {
            if (p.frequency > to) continue;
            const std::complex<double> z = truth.JigImpedance(p.frequency);
            EXPECT_NEAR(p.value[kSlotLevel] / std::abs(z), 1, relative) << p.frequency;
            EXPECT_NEAR(WrapRadians(p.value[kSlotPhase] - std::arg(z)) * 180 / kPi, 0, degrees) << p.frequency;
            ++checked;
        }
        EXPECT_GT(checked, 20);
    }
    MeasurementSettings ms_{};
    VirtualSetup jig_;
};

TEST_F(ImpedanceTest, BothMethodsFollowTheJigAndACalibrationTakesTheChannelsOut) {
    const double top = 20000 / std::cbrt(2.0);
    for (const bool mls : {false, true}) {
        SCOPED_TRACE(mls ? "MLS" : "sweep");
        SetUp();
        // The MLS's edges overshoot on the driver's inductance: at full
        // level channel 0 clips, and the measurement says so.
        if (mls) ms_.flags |= kMsfImpedanceMls, ms_.waveformLevelDb = -6;
        bool clipped = true;
        auto plain = Measure(false, nullptr, &clipped);
        ASSERT_TRUE(plain);
        EXPECT_FALSE(clipped);
        EXPECT_EQ(plain->h.curveKind, kCurveImpedance);
        EXPECT_EQ(bool(plain->h.flags & kMesImpedanceMls), mls);
        ExpectJig(*plain, top, mls ? 0.005 : 0.01, 0.5);

        // An imperfect current channel: uncalibrated the reading follows it,
        // calibrated on 8 ohm the resistor and the driver read true.
        jig_.jig.currentGain = 0.97;
        jig_.jig.currentCorner = 15000;
        jig_.acoustic.noiseDb = -90;
        auto raw = Measure();
        const VirtualTruth truth(jig_, kRate);
        for (const CurvePoint& p : raw->points)
            if (p.frequency <= top) {
                EXPECT_NEAR(p.value[kSlotLevel] / std::abs(truth.JigReading(p.frequency)), 1, 0.002);
                EXPECT_NEAR(WrapRadians(p.value[kSlotPhase] - std::arg(truth.JigReading(p.frequency))) * 180 / kPi, 0,
                            0.2);
            }
        jig_.jig.load = VirtualLoad::kResistor;
        jig_.jig.loadR = 8;
        Measure(true);
        EXPECT_TRUE(ImpedanceCalibrationFileName(ms_, Folder(), nullptr));
        ExpectJig(*Measure(), top, 0.005, 0.5);
        jig_.jig.load = VirtualLoad::kDriver;
        ExpectJig(*Measure(), top, 0.01, 1);
        if (mls) {
            ms_.waveformLevelDb = 0;
            Measure(false, nullptr, &clipped);
            EXPECT_TRUE(clipped);
        }
    }
    // Every box version, its constant and phase offset (version 1 is the
    // sweep's above, calibrated by now).
    for (int box : {0, 2, 3}) {
        SetUp();
        ms_.impedanceBoxVersion = uint32_t(box);
        jig_.boxVersion = box;
        ExpectJig(*Measure(), top, 0.01, 1);
    }
}

TEST_F(ImpedanceTest, CalibrationFilesRoundTripAndRefuseOtherSettings) {
    std::unique_ptr<Measurement> m = NewMeasurement(kCurveImpedance);
    AddCurvePoint(*m, 100, 8.5, 0.01, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                  kNoLevel);
    AddCurvePoint(*m, 1000, 8.0, 0.0, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                  kNoLevel);
    std::string path;
    EXPECT_FALSE(ImpedanceCalibrationFileName(ms_, Folder(), &path));
    double factor = 0;
    ASSERT_TRUE(WriteImpedanceCalibration(HostPath(path), *m, 8, ImpedanceSettingLine(ms_), &factor).ok());
    EXPECT_NEAR(factor, 8 / 8.25, 1e-12);
    EXPECT_TRUE(ImpedanceCalibrationFileName(ms_, Folder(), nullptr));
    ImpedanceCalibration t;
    ASSERT_TRUE(ReadImpedanceCalibration(HostPath(path), t));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0].factor, 0.94117647, 1e-8);
    // Out 1 / in 12 and out 11 / in 2 share a name, not the setting line.
    MeasurementSettings other = ms_;
    ++other.inputDevice;
    EXPECT_FALSE(ReadImpedanceCalibration(HostPath(path), t, ImpedanceSettingLine(other)));
    // Hand-made: a comment before a header with a trailing blank, commas,
    // and the lines a reader must skip.
    const std::string text = std::string("; made by hand\r\n") + kImpedanceCalibrationHeader +
                             " \r\n1000, 0.5 ,10\r\n900 1 0\r\n2000 0 0\r\n3000 nan 0\r\n4000 2\r\n5000 1.5 -20\r\n";
    ASSERT_TRUE(ReadImpedanceCalibration(Write("hand.icf", text), t));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].frequency, 1000);
    EXPECT_EQ(t[0].factor, 0.5);
    EXPECT_NEAR(t[0].phase, 10 * kPi / 180, 1e-12);
    EXPECT_EQ(t[1].frequency, 5000);
    EXPECT_FALSE(ReadImpedanceCalibration(Write("bad.icf", "Another File\r\n100 1 0\r\n"), t));
    // A curve without points writes nothing.
    const std::unique_ptr<Measurement> empty = NewMeasurement(kCurveImpedance);
    EXPECT_EQ(WriteImpedanceCalibration(Path("none.icf"), *empty, 8, "", &factor).stringId, kStrLevelTooLow);
    EXPECT_FALSE(std::filesystem::exists(Path("none.icf")));
}

// What a user types as Revc or the calibration resistor.
TEST(TypedOhms, OnlyOneWholeFiniteNumberIsAResistance) {
    double v = -1;
    EXPECT_TRUE(ParseTypedOhms(" 6.25 ", v));
    EXPECT_EQ(v, 6.25);
    EXPECT_TRUE(ParseTypedOhms("-3", v));  // a number; its range is the caller's
    EXPECT_EQ(v, -3);
    for (const char* bad : {"", "  ", "abc", "8 ohm", "8,5", "inf", "-inf", "nan", "1e999"}) {
        v = 7;
        EXPECT_FALSE(ParseTypedOhms(bad, v)) << bad;
        EXPECT_EQ(v, 7) << bad;
    }
}

}  // namespace
}  // namespace srx
