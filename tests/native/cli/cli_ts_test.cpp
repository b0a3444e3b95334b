// sonrix-cli's T/S commands on curves written by `jig curve`: the whole
// chain from the jig's exact truth to the parameters, as a script runs it.
#include "cli_run.h"
#include "data/native_files.h"
#include "data/records.h"
#include "design/ts_measurement.h"

using namespace srx;

namespace {

using TsCli = CliFolder;

TEST_F(TsCli, FromJigCurvesToParameters) {
    const std::string driver = "re=6,le=0.0006,fs=40,qms=5,qes=0.45,sd=0.022,vas=0.04";
    const CliResult freeAir = RunCli({"jig", "curve", "--driver", driver, P("free.mes")});
    ASSERT_EQ(freeAir.code, 0) << freeAir.err;
    ASSERT_EQ(RunCli({"jig", "curve", "--driver", driver + ",mass=0.02", P("mass.mes")}).code, 0);
    ASSERT_EQ(RunCli({"jig", "curve", "--driver", driver + ",alpha=1.5,fb=40,ql=7", P("vented.mes")}).code, 0);

    const CliResult a = RunCli({"ts", "analyse", P("free.mes"), "--re", "6"});
    ASSERT_EQ(a.code, 0) << a.err;
    EXPECT_NEAR(a.Json()["fs"].get<double>(), 40, 0.2);
    EXPECT_NEAR(a.Json()["qts"].get<double>(), 5 * 0.45 / 5.45, 0.012);

    const CliResult two =
        RunCli({"ts", "two-curve", P("free.mes"), P("mass.mes"), "--re", "6", "--sd", "0.022", "--mass", "0.02"});
    ASSERT_EQ(two.code, 0) << two.err;
    EXPECT_EQ(two.Json()["method"], "added mass");
    EXPECT_EQ(two.Json()["suggested"], "added mass");
    // The loaded resonance (30.4 Hz) lies between points: a few per cent.
    EXPECT_NEAR(two.Json()["freeair"]["vas"].get<double>(), 0.04, 0.004);
    EXPECT_NEAR(two.Json()["loadedcurve"]["mmd"].get<double>() - two.Json()["freeair"]["mmd"].get<double>(), 0.02,
                1e-12);

    const CliResult loss =
        RunCli({"ts", "boxloss", P("vented.mes"), "--re", "6", "--fs", "40", "--qms", "5", "--qes", "0.45"});
    ASSERT_EQ(loss.code, 0) << loss.err;
    EXPECT_NEAR(loss.Json()["alpha"].get<double>(), 1.5, 0.045);
    EXPECT_NEAR(loss.Json()["ql"].get<double>(), 7, 0.7);

    const CliResult fit = RunCli({"ts", "curve-fit", P("free.mes"), P("fit.mes"), "--re", "6"});
    ASSERT_EQ(fit.code, 0) << fit.err;
    const CliResult removed = RunCli({"ts", "remove-le", P("fit.mes"), P("nole.mes")});
    ASSERT_EQ(removed.code, 0) << removed.err;
    EXPECT_NEAR(removed.Json()["removedle"].get<double>(), 0.0006, 0.00006);
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(P("nole.mes"), m).ok());
    EXPECT_EQ(TextOf(m.h.title), "Virtual jig (CF)");
    EXPECT_EQ(m.h.tsBlock[kTsRe], 6);  // the fit keeps the source's Re
}

TEST_F(TsCli, RefusesWhatItCannotUse) {
    const std::string driver = "re=6,le=0.0006,fs=40,qms=5,qes=0.45";
    ASSERT_EQ(RunCli({"jig", "curve", "--driver", driver, P("free.mes")}).code, 0);
    // No Re anywhere, the same curve twice, no load, a curve with one peak.
    const CliResult noRe = RunCli({"ts", "analyse", P("free.mes")});
    EXPECT_EQ(noRe.code, 1);
    EXPECT_NE(noRe.err.find("You must enter the Voice-Coil D.C. resistance !!!"), std::string::npos);
    const CliResult same = RunCli({"ts", "two-curve", P("free.mes"), P("free.mes"), "--re", "6", "--mass", "0.01"});
    EXPECT_EQ(same.code, 1);
    EXPECT_NE(same.err.find("It must be two different curves !"), std::string::npos);
    ASSERT_EQ(RunCli({"jig", "curve", "--driver", "re=6,le=0,fs=30,qms=5,qes=0.45", P("low.mes")}).code, 0);
    const CliResult noLoad = RunCli({"ts", "two-curve", P("free.mes"), P("low.mes"), "--re", "6"});
    EXPECT_EQ(noLoad.code, 1);
    EXPECT_NE(noLoad.err.find("You must enter the added mass weight !!!"), std::string::npos);
    EXPECT_NE(RunCli({"ts", "boxloss", P("free.mes")}).err.find("two bumps"), std::string::npos);
    EXPECT_EQ(RunCli({"ts", "remove-le", P("free.mes"), P("free.mes")}).code, 1);

    // Usage errors: a missing key, a load without the cone, non-finite numbers.
    EXPECT_EQ(RunCli({"jig", "curve", "--driver", "re=6,le=0,fs=40,qms=5", P("x.mes")}).code, 2);
    EXPECT_EQ(RunCli({"jig", "curve", "--driver", driver + ",mass=0.01", P("x.mes")}).code, 2);
    EXPECT_EQ(RunCli({"jig", "curve", "--driver", "re=nan,le=0,fs=40,qms=5,qes=0.4", P("x.mes")}).code, 2);
    EXPECT_EQ(RunCli({"ts", "analyse", P("free.mes"), "--re", "inf"}).code, 2);
    EXPECT_FALSE(std::filesystem::exists(P("x.mes")));
}

}  // namespace
