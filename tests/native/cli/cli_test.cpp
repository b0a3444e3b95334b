// The command-line tool end to end: files written by the core, read back
// through the commands; output parsed as JSON, messages and exit codes.
#include <fstream>

#include "audio/wave_file.h"
#include "cli_run.h"
#include "data/native_files.h"
#include "data/records.h"
#include "design/box_design.h"

using namespace srx;
namespace fs = std::filesystem;

namespace {

class Cli : public CliFolder {
protected:
    // A unit-shaped impulse at 48 kHz: flat magnitude, zero phase.
    void WriteImpulse(const char* name) {
        TimeRecord t;
        t.h.sampleRate = 48000;
        t.h.sampleCount = 4096;
        t.h.fftWindowLength = 0.05;
        t.h.spikeLength = 1.0 / 48000;
        t.samples.assign(4096, 0.0f);
        t.samples[0] = 0.5f;
        SetText(t.h.title, "Bench 90\xB0");  // the Windows program writes Latin-1
        ASSERT_TRUE(SaveTimeRecord(t, P(name)).ok());
    }
};

}  // namespace

TEST_F(Cli, FrequencyResponseOfAnImpulseFileIsFlatAndDescribedByInfo) {
    WriteImpulse("imp.twf");
    const CliResult fr =
        RunCli({"fr", P("imp.twf"), P("out.mes"), "--start", "100", "--ppo", "12", "--window", "Hanning"});
    ASSERT_EQ(fr.code, 0) << fr.err;
    EXPECT_EQ(fr.Json()["windowType"], 2);
    EXPECT_NEAR(fr.Json()["firstFrequency"].get<double>(), 100.0, 0.01);
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(P("out.mes"), m).ok());
    ASSERT_GT(m.points.size(), 60u);  // 100 Hz .. 20 kHz at 12 per octave
    EXPECT_EQ(fr.Json()["points"], m.points.size());
    for (const CurvePoint& p : m.points) {
        EXPECT_NEAR(p.value[kSlotLevel], m.points[0].value[kSlotLevel], 0.01) << p.frequency;
        EXPECT_NEAR(p.value[kSlotPhase], 0.0, 1e-3) << p.frequency;
    }

    const CliResult info = RunCli({"info", P("out.mes"), P("imp.twf")});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_EQ(info.Json(0)["measurementType"], "FFT on Spike PIR");
    EXPECT_EQ(info.Json(0)["points"], m.points.size());
    EXPECT_EQ(info.Json(0)["title"], "Bench 90\u00B0");
    EXPECT_EQ(info.Json(1)["samples"], 4096);
}

TEST_F(Cli, FrRefusesToReplaceItsInputAndSaysWhyItFails) {
    WriteImpulse("imp.twf");
    const std::string sameFile = (dir / "." / "imp.twf").string();
    const CliResult same = RunCli({"fr", P("imp.twf"), sameFile});
    EXPECT_EQ(same.code, 1);
    EXPECT_EQ(same.err, "sonrix-cli: The output file is one of the input files: " + sameFile + "\n");
    EXPECT_TRUE(LoadTimeRecord(P("imp.twf"), *NewTimeRecord({})).ok());  // still the impulse

    const CliResult above = RunCli({"fr", P("imp.twf"), P("x.mes"), "--start", "30000"});
    EXPECT_EQ(above.code, 1);
    EXPECT_NE(above.err.find(P("imp.twf") + ": There is no frequency to analyse"), std::string::npos) << above.err;
    EXPECT_FALSE(fs::exists(P("x.mes")));
}

TEST_F(Cli, InfoReadsWavePeaksWithTheProgramsOwnReader) {
    std::FILE* f = std::fopen(P("tone.wav").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(WriteWaveHeader(f, 3, 44100, 2, 16));
    ASSERT_TRUE(WriteSampleFrame(f, 0x40000000, -0x20000000, 2, 16));  // 0.5, -0.25
    ASSERT_TRUE(WriteSampleFrame(f, -0x60000000, 0x10000000, 2, 16));  // -0.75, 0.125
    ASSERT_TRUE(WriteSampleFrame(f, 0, 0, 2, 16));
    std::fclose(f);
    const CliResult info = RunCli({"info", P("tone.wav")});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_EQ(info.Json()["frames"], 3);
    EXPECT_EQ(info.Json()["peak"], nlohmann::json({0.75, 0.25}));
}

TEST_F(Cli, BadFilesGiveTheProgramsMessageAndExitCodeOne) {
    std::ofstream(P("junk.mes")) << "@MS102 not really a measurement";
    const CliResult info = RunCli({"info", P("nothere.mes"), P("junk.mes")});
    EXPECT_EQ(info.code, 1);
    EXPECT_EQ(info.out, "");
    EXPECT_NE(info.err.find(P("nothere.mes") + ": Couldn't open the file !"), std::string::npos) << info.err;
    EXPECT_NE(info.err.find(P("junk.mes") + ": Read error !"), std::string::npos) << info.err;
    EXPECT_EQ(RunCli({"fr", P("junk.mes"), P("x.mes")}).code, 1);
    EXPECT_FALSE(fs::exists(P("x.mes")));
}

TEST_F(Cli, CompensationPrintsTheTableInRisingFrequency) {
    std::ofstream(P("Mic.MCP"), std::ios::binary) << "Son-Rix:Compensation File v1.10\r\nMic.MCP\r\n3\r\nBEGIN.\r\n"
                                                     "20000 -1.5 -90\r\n100 0.25 45\r\n1000 0,1 0\r\nEND.\r\n";
    const nlohmann::json mcp = {{"file", P("Mic.MCP")},
                                {"format", "compensation"},
                                {"kind", "microphone"},
                                {"header", "Son-Rix:Compensation File v1.10"},
                                {"name", "Mic.MCP"},
                                {"entries", 3},
                                {"firstFrequency", 100},
                                {"lastFrequency", 20000},
                                {"columns", {"Hz", "dB", "degrees"}},
                                {"table", {{100, 0.25, 45}, {1000, 0.1, 0}, {20000, -1.5, -90}}}};
    EXPECT_EQ(RunCli({"compensation", P("Mic.MCP")}).Json(), mcp);
    // A ".MIC" calibration is converted as the program would; it has no phases.
    const float mic[] = {1.5f, 200.0f, -2.0f, 60000.0f};
    std::ofstream(P("m.mic"), std::ios::binary).write(reinterpret_cast<const char*>(mic), sizeof mic);
    EXPECT_EQ(RunCli({"compensation", P("m.mic")}).Json()["table"], nlohmann::json({{200, 1.5}, {47850, -2}}));

    std::ofstream(P("bad.2CP")) << "Son-Rix:Compensation File v1.10\nx\n1\nBEGIN.\n100 nan 0\n";
    const CliResult bad = RunCli({"compensation", P("bad.2CP")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out + bad.err, "sonrix-cli: " + P("bad.2CP") + ": Read error !\n");
}

// A calibration written by one command is the table another reads and the
// third applies; the gated sine's distortion reads back from its file.
TEST_F(Cli, ImpedanceCalibrationAndDistortionRoundTrip) {
    const std::string jig = "currentGain=0.9,currentCorner=12000";
    const nlohmann::json cal =
        RunCli({"calibrate", "impedance", "--device", "virtual", "--resistor", "10", "--virtual", jig, P("c.icf")})
            .Json();
    EXPECT_GT(cal["meanFactor"].get<double>(), 0);
    const nlohmann::json table = RunCli({"icf", P("c.icf")}).Json();
    EXPECT_EQ(table["entries"], cal["points"]);
    EXPECT_NEAR(table["table"][0][1].get<double>(), 0.9, 1e-3);
    const nlohmann::json z = RunCli({"measure", "impedance", "--device", "virtual", "--virtual", jig, "--calibration",
                                     P("c.icf"), P("z.mes")})
                                 .Json();
    EXPECT_TRUE(z["calibrated"].get<bool>());
    EXPECT_LT(z["modelErrors"]["relative"].get<double>(), 0.01);
    // At full level the MLS overloads the voltage channel: said, not hidden.
    const CliResult mls = RunCli({"measure", "impedance", "--device", "virtual", "--method", "mls", P("m.mes")});
    EXPECT_TRUE(mls.Json()["clipped"].get<bool>());
    EXPECT_NE(mls.err.find("Input overload"), std::string::npos);

    // The L-C-R meter: a coil reads in its unit; calibrated on the
    // imperfect jig, 1500 ohm reads true.
    const nlohmann::json coil =
        RunCli({"lcr", "--device", "virtual", "--virtual", "load=2,loadR=0.05,loadL=10e-6"}).Json();
    EXPECT_EQ(coil["texts"]["L"], "10.0290 uH");
    EXPECT_EQ(coil["c"], nullptr);
    RunCli({"calibrate", "lcr", "--device", "virtual", "--resistor", "10", "--virtual", jig, P("l.icf")});
    const nlohmann::json r = RunCli({"lcr", "--device", "virtual", "--virtual", jig + ",load=1,loadR=1500",
                                     "--calibration", P("l.icf")})
                                 .Json();
    EXPECT_EQ(r["texts"]["Z"], "1.5000 kOhm");
    EXPECT_TRUE(r["calibrated"].get<bool>());
    EXPECT_EQ(RunCli({"lcr", "--device", "virtual", "--frequency", "99"}).code, 1);

    const nlohmann::json gated = RunCli({"measure", "gated", "--device", "virtual", "--start", "1000", "--stop", "4000",
                                         "--virtual", "distortion=0.05", P("g.mes")})
                                     .Json();
    const nlohmann::json thd = RunCli({"thd", P("g.mes")}).Json();
    EXPECT_NEAR(thd["thdPercent"].get<double>(), gated["thdPercent"].get<double>(), 1e-4);
    EXPECT_EQ(thd["harmonicMaxPercent"], gated["harmonicMaxPercent"]);
    EXPECT_LT(RunCli({"thd", P("g.mes"), "--harmonics", "2"}).Json()["thdPercent"].get<double>(), 0.5);
}

TEST(CliCommands, AnswerInJsonOrRefuseWithTheirExitCodes) {
    EXPECT_EQ(RunCli({"version"}).Json(), nlohmann::json({{"program", "sonrix-cli"}, {"version", "2.20"}}));
    const CliResult text = RunCli({"string", "5411"});
    EXPECT_EQ(text.Json(), nlohmann::json({{"id", 5411}, {"text", "The output file is one of the input files: %s"}}));
    const CliResult unknown = RunCli({"string", "9999"});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_EQ(unknown.err, "sonrix-cli: Unknown string id: 9999\n");

    // One case per validator of our own; the parser's own refusals need no list.
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"string", "2314x"},
        {"string", "99999999999"},
        {"fr", "a", "b", "--length", "inf"},
        {"fr", "a", "b", "--window", "kaiser"},
        {"measure", "mls", "--device", "wavemapper", "a"},
        {"measure", "mls", "--device", "virtual", "--order", "25", "a"},
        {"measure", "gated", "--device", "virtual", "--ppo", "4", "a"},
        {"measure", "sweep", "--device", "virtual", "--virtual", "lowQ=0", "a"}};
    for (const auto& args : bad) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 2) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
    }
    for (const auto& args : std::vector<std::vector<std::string>>{{"--help"}, {"measure", "mls", "--help"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 0) << testing::PrintToString(args);
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << r.out;
    }
}

namespace {

// A vented design written from a unit keeps its solved vent length.
TEST_F(Cli, VentedDesignKeepsItsVentLength) {
    ASSERT_EQ(RunCli({"unit", "write", "--fs", "28", "--vas", "0.09", "--qes", "0.33", "--qms", "4", "--re", "5.6",
                      "--le", "0.0009", "--sd", "0.053", "--xmax", "0.007", P("w.SPK")})
                  .code,
              0);
    const CliResult w =
        RunCli({"design", "write", "--unit", P("w.SPK"), "--type", "vented", "--volume", "0.04", "--fb", "40", P("w.DSN")});
    ASSERT_EQ(w.code, 0) << w.err;
    const double lv = w.Json()["lv"].get<double>();
    EXPECT_GT(lv, 0.1);
    SpeakerUnit unit;
    BoxDesign box;
    ASSERT_TRUE(ReadDesignFile(P("w.DSN"), unit, box).ok());
    EXPECT_DOUBLE_EQ(box.further, lv);
}

}  // namespace
