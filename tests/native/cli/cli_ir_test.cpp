// sonrix-cli's impulse analyses and curve operations, end to end from a
// measurement of the virtual loudspeaker, and their refusals.
#include <cmath>
#include <cstdio>

#include "cli_run.h"
#include "data/native_files.h"
#include "data/records.h"

using namespace srx;

using CliIr = CliFolder;

TEST_F(CliIr, ReflectionOfTheVirtualRoomShowsInTheAnalysesOfItsImpulse) {
    // 0.3 after 96 frames at 48 kHz: 2 ms, -10.46 dB below the direct sound.
    CliResult r = RunCli({"measure", "mls", "--device", "virtual", "--order", "14", "--rate", "48000", "--reflection",
                          "0.3:96", P("ir.twf"), P("fr.mes")});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.Json()["sampleRate"], 48000);

    r = RunCli({"etc", P("ir.twf"), P("ir.etc")});
    ASSERT_EQ(r.code, 0) << r.err;
    EtcRecord e;
    ASSERT_TRUE(LoadEtc(P("ir.etc"), e).ok());
    size_t direct = 0;
    for (size_t i = 0; i < e.samples.size(); ++i)
        if (e.samples[i] > e.samples[direct]) direct = i;
    size_t second = direct + 60;
    for (size_t i = direct + 60; i < direct + 130; ++i)
        if (e.samples[i] > e.samples[second]) second = i;
    EXPECT_NEAR(double(second - direct) / 48000 * 1000, 2.000, 0.5 / 48);
    EXPECT_NEAR(e.samples[second], -10.4, 0.5);
    EXPECT_EQ(r.Json()["span"], 0.05);

    r = RunCli({"step", P("ir.twf"), P("ir.stp")});
    ASSERT_EQ(r.code, 0) << r.err;
    TimeRecord step, impulse;
    ASSERT_TRUE(LoadTimeRecord(P("ir.stp"), step).ok());
    ASSERT_TRUE(LoadTimeRecord(P("ir.twf"), impulse).ok());
    EXPECT_EQ(step.h.flags & kTwfStep, kTwfStep);
    double sum = 0;
    for (size_t i = 0; i < step.samples.size(); ++i) sum += impulse.samples[i];
    EXPECT_NEAR(step.samples.back(), sum, 1e-6 * std::fabs(step.h.peak));

    r = RunCli({"waterfall", P("ir.twf"), P("wf.twf"), "--resolution", "0", "--span-ms", "5"});
    ASSERT_EQ(r.code, 0) << r.err;
    TimeRecord wf;
    ASSERT_TRUE(LoadTimeRecord(P("wf.twf"), wf).ok());
    ASSERT_EQ(wf.slices.size(), 24u);
    EXPECT_EQ(r.Json()["points"], wf.slices[23].level.size());
    EXPECT_EQ(r.Json()["maxLevel"], wf.h.waterfallMax);
    ASSERT_EQ(RunCli({"normalize", P("wf.twf"), P("wf0.twf"), "--frequency", "1000"}).code, 0);
    ASSERT_EQ(RunCli({"smooth", P("wf0.twf"), P("wf1.twf"), "--fraction", "6"}).code, 0);

    r = RunCli({"invert", P("ir.twf"), P("inv.twf")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.Json()["peak"], -impulse.h.peak);

    r = RunCli({"to-impulse", P("fr.mes"), P("back.twf")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.Json()["leadSamples"].get<int>() * 4, r.Json()["samples"].get<int>());

    // Lengths out of range are refused with the dialog's messages.
    r = RunCli({"etc", P("ir.twf"), P("x.etc"), "--length-ms", "0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("may not be less och equal to 0 ms"), std::string::npos) << r.err;
    r = RunCli({"step", P("ir.twf"), P("x.stp"), "--length-ms", "1000"});
    EXPECT_EQ(r.code, 1);
    char duration[64];
    std::snprintf(duration, sizeof duration, "may exceed %.2f ms !", impulse.samples.size() / 48.0);
    EXPECT_NE(r.err.find(duration), std::string::npos) << r.err;
    EXPECT_EQ(RunCli({"waterfall", P("ir.twf"), P("ir.twf")}).code, 1);
}

TEST_F(CliIr, CurveOperationsOnSavedCurves) {
    auto flat = [&](const char* name, double level, double phase) {
        auto m = NewMeasurement(kCurveFrequencyResponse);
        m->h.flags = kMesPhase;
        for (double f = 100; f <= 10001; f *= std::pow(2.0, 1.0 / 24))
            AddCurvePoint(*m, f, level, phase, -1000, -1000, 0, -1000, -1000, -1000, -1000, -1000, -1000, -1000);
        ASSERT_TRUE(SaveMeasurement(*m, P(name)).ok());
    };
    flat("a.mes", 0, 0);
    flat("b.mes", 6, 0);
    CliResult r = RunCli({"average", P("a.mes"), P("b.mes"), "-o", P("avg.mes"), "--title", "both"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NEAR(r.Json()["maxLevel"].get<double>(), 3.0, 1e-4);
    Measurement avg;
    ASSERT_TRUE(LoadMeasurement(P("avg.mes"), avg).ok());
    EXPECT_EQ(TextOf(avg.h.title), "both");

    r = RunCli({"average", P("a.mes"), P("a.mes"), "-o", P("x.mes")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("You can't use duplicate curves !"), std::string::npos);

    // Both at 1 m, the louder one reversed: what is left is their difference.
    r = RunCli({"merge", "--curve", P("a.mes") + ",far,1", "--curve", P("b.mes") + ",far,1,rev", "-o", P("m.mes")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NEAR(r.Json()["maxLevel"].get<double>(), 20 * std::log10(std::pow(10.0, 0.3) - 1.0), 1e-3);
    EXPECT_EQ(RunCli({"merge", "--curve", P("a.mes") + ",side,2", "--curve", P("b.mes") + ",far,1", "-o", P("x.mes")}).code,
              2);
    r = RunCli({"merge", "--curve", P("a.mes") + ",near,0", "--curve", P("b.mes") + ",far,1", "-o", P("x.mes")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("You must input radiating area !"), std::string::npos);

    r = RunCli({"normalize", P("b.mes"), P("n.mes"), "--frequency", "1000"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NEAR(r.Json()["maxLevel"].get<double>(), 0.0, 1e-5);
    r = RunCli({"normalize", P("b.mes"), P("n.mes"), "--shift", "-1.5"});
    EXPECT_NEAR(r.Json()["maxLevel"].get<double>(), 4.5, 1e-5);
    r = RunCli({"normalize", P("b.mes"), P("n.mes"), "--frequency", "20000"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("The frequency must be in the interval 100-"), std::string::npos) << r.err;

    EXPECT_EQ(RunCli({"smooth", P("b.mes"), P("s.mes"), "--fraction", "3", "--method", "median"}).code, 0);
    EXPECT_EQ(RunCli({"smooth", P("b.mes"), P("s.mes"), "--fraction", "24"}).code, 1);  // not below 24 per octave
    r = RunCli({"resample", P("b.mes"), P("r.mes"), "--ppo", "3", "--start", "50", "--keep-low"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.Json()["points"], std::lround(3 * std::log2(10000.0 / 50)) + 1);
}
