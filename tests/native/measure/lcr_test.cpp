#include "measure/lcr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "audio/virtual_device.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

constexpr uint32_t kRate = 44100;

TEST(LcrValues, UnitsAndThePureResistance) {
    const double w = 2 * kPi * 1000;
    const LcrReading coil = LcrFromImpedance(1000, std::abs(std::complex<double>(0.05, w * 10e-6)),
                                             std::arg(std::complex<double>(0.05, w * 10e-6)));
    ASSERT_TRUE(coil.hasL);
    EXPECT_FALSE(coil.hasC);
    EXPECT_EQ(FormatLcrValue(coil.l, LcrQuantity::kInductance), "10.0000 uH");
    EXPECT_NEAR(coil.r, 0.05, 1e-12);
    const LcrReading resistor = LcrFromImpedance(1000, 1500, 0);
    EXPECT_FALSE(resistor.hasL || resistor.hasC);
    EXPECT_EQ(FormatLcrValue(resistor.r, LcrQuantity::kResistance), "1.5000 kOhm");
    EXPECT_EQ(FormatLcrValue(2.2e6, LcrQuantity::kResistance), "2.2000 MOhm");
    EXPECT_EQ(FormatLcrValue(0.47, LcrQuantity::kCapacitance), "0.4700 F");
    EXPECT_EQ(FormatLcrValue(0.0033, LcrQuantity::kCapacitance), "3.3000 mF");
    EXPECT_EQ(FormatLcrValue(4.7e-8, LcrQuantity::kCapacitance), "47.0000 nF");
    EXPECT_EQ(FormatLcrValue(5e-11, LcrQuantity::kInductance), "0.0500 nH");

    const std::vector<double> cal = LcrCalibrationFrequencies(kRate);
    EXPECT_EQ(cal.front(), 100);
    EXPECT_NEAR(cal[6], 200, 1e-9);
    EXPECT_EQ(cal.back(), MaxAnalysisFrequency(kRate));
    EXPECT_LT(cal[cal.size() - 2], cal.back());
}

class LcrTest : public test::ScratchTest {
protected:
    void SetUp() override {
        ResetMeasurementDefaults(ms_);
        ms_.sampleRate = kRate;
        ms_.bitsPerSample = 16;
        ms_.impedanceBoxVersion = 1;
        jig_.mode = VirtualMode::kImpedanceJig;
        jig_.boxVersion = 1;
    }
    LcrSetup Setup() const {
        LcrSetup s;
        s.settings = ms_;
        s.folder = Path("waves");
        s.programFolder = Folder();
        s.outputDevice = s.inputDevice = 0;
        return s;
    }
    Status Read(double f, LcrReading& r) {
        VirtualLoudspeaker device(jig_);
        LcrMeter m(Setup());
        return RunLcrReading(m, device, f, r);
    }
    // L or C and |Z| within `relative` of the jig's own (the simulated
    // circuit's) values at f.
    void ExpectLoad(double f, double relative) {
        LcrReading r;
        const Status s = Read(f, r);
        ASSERT_TRUE(s.ok()) << s.stringId;
        const std::complex<double> z = VirtualTruth(jig_, kRate).JigImpedance(f);
        const double w = 2 * kPi * f;
        EXPECT_NEAR(r.z / std::abs(z), 1, relative) << f;
        EXPECT_NEAR(r.r, z.real(), relative * std::abs(z)) << f;
        if (z.imag() > 0.05) {
            ASSERT_TRUE(r.hasL) << f;
            EXPECT_NEAR(r.l / (z.imag() / w), 1, relative) << f;
        } else if (z.imag() < -0.05) {
            ASSERT_TRUE(r.hasC) << f;
            EXPECT_NEAR(r.c / (-1 / (w * z.imag())), 1, relative) << f;
        }
    }
    void ExpectComponents(double relative) {
        struct Load {
            VirtualLoad kind;
            double r, l, c;
        };
        for (const Load& load : {Load{VirtualLoad::kResistorInductor, 0.5, 1e-3, 0},
                                 Load{VirtualLoad::kResistorInductor, 0.05, 10e-6, 0},
                                 Load{VirtualLoad::kResistorCapacitor, 0.1, 0, 10e-6},
                                 Load{VirtualLoad::kResistorCapacitor, 0, 0, 100e-9}}) {
            jig_.jig.load = load.kind;
            jig_.jig.loadR = load.r, jig_.jig.loadL = load.l, jig_.jig.loadC = load.c;
            for (double f : {100.0, 1000.0, 10000.0}) ExpectLoad(f, relative);
        }
        jig_.jig.load = VirtualLoad::kResistor;
        for (double r : {8.2, 1500.0}) {
            jig_.jig.loadR = r;
            ExpectLoad(1000, relative / 10);
        }
    }
    MeasurementSettings ms_{};
    VirtualSetup jig_;
};

TEST_F(LcrTest, ComponentsReadTrueAndACalibrationTakesTheBoxOut) {
    ExpectComponents(0.01);

    // An imperfect current channel, calibrated on 10 ohm.
    jig_.jig.currentGain = 0.97;
    jig_.jig.currentCorner = 15000;
    jig_.acoustic.noiseDb = -90;
    jig_.jig.load = VirtualLoad::kResistor;
    jig_.jig.loadR = 10;
    VirtualLoudspeaker device(jig_);
    LcrMeter m(Setup());
    EXPECT_FALSE(m.Calibrated());
    ASSERT_TRUE(RunLcrCalibration(m, device, 10).ok());
    ImpedanceCalibration table;
    ASSERT_TRUE(ReadImpedanceCalibration(m.CalibrationFile(), table));
    EXPECT_EQ(table.size(), m.CalibrationFrequencies().size());
    EXPECT_NEAR(table.front().factor, 0.97, 0.002);
    ExpectComponents(0.01);
}

TEST_F(LcrTest, RefusalsKeepTheOldCalibration) {
    LcrMeter m(Setup());
    EXPECT_EQ(m.CheckFrequency(99).stringId, kStrLcrInterval);
    EXPECT_TRUE(m.CheckFrequency(100).ok());
    EXPECT_EQ(m.CheckFrequency(MaxAnalysisFrequency(kRate) + 1).stringId, kStrLcrInterval);
    VirtualLoudspeaker device(jig_);
    EXPECT_EQ(RunLcrCalibration(m, device, 0).stringId, kStrLcrResistor);
    EXPECT_EQ(RunLcrCalibration(m, device, 150).stringId, kStrLcrResistor);
    // No load's current: every frequency fails, nothing is written.
    jig_.jig.load = VirtualLoad::kResistor;
    jig_.jig.loadR = 1e12;
    VirtualLoudspeaker open(jig_);
    EXPECT_EQ(RunLcrCalibration(m, open, 10).stringId, kStrLcrFailed);
    EXPECT_FALSE(m.Calibrated());
}

}  // namespace
}  // namespace srx
