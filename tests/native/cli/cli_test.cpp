// The command-line tool end to end: files written by the core, read back
// through the commands, output and exit codes checked.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "audio/wave_file.h"
#include "cli/commands.h"
#include "data/native_files.h"
#include "data/records.h"

using namespace srx;
namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result RunCommand(int (*command)(int, char**), std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = command(int(argv.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    Result r{code, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
    return r;
}

class Cli : public testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        // Tests run in parallel processes: each gets its own folder.
        dir = fs::temp_directory_path() /
              (std::string("srx_cli_") + testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string P(const char* name) { return (dir / name).string(); }
};

}  // namespace

TEST_F(Cli, FrequencyResponseOfAnImpulseFileIsFlatAndDescribedByInfo) {
    auto t = NewTimeRecord(TimeWindowSettings{});
    ASSERT_TRUE(t);
    t->h.sampleRate = 48000;
    t->h.sampleCount = 4096;
    t->h.fftWindowLength = 0.05;
    t->h.spikeLength = 1.0 / 48000;
    t->h.windowType = 2;
    t->samples.assign(4096, 0.0f);
    t->samples[0] = 0.5f;  // a unit-shaped impulse: flat magnitude, zero phase
    t->h.peak = 0.5;
    SetText(t->h.title, "Bench impulse");
    ASSERT_TRUE(SaveTimeRecord(*t, P("imp.twf")).ok());

    Result fr = RunCommand(cli::RunFr, {P("imp.twf"), P("out.mes"), "--start", "100", "--ppo", "12"});
    ASSERT_EQ(fr.code, 0) << fr.err;
    EXPECT_NE(fr.out.find("\"points\""), std::string::npos) << fr.out;

    auto m = NewMeasurement(0);
    ASSERT_TRUE(LoadMeasurement(P("out.mes"), *m).ok());
    ASSERT_GT(m->points.size(), 60u);  // 100 Hz .. 20 kHz at 12 per octave
    EXPECT_NEAR(m->points.front().frequency, 100.0, 0.01);
    float lo = 1e9f, hi = -1e9f;
    for (const CurvePoint& p : m->points) {
        lo = std::min(lo, p.value[kSlotLevel]);
        hi = std::max(hi, p.value[kSlotLevel]);
        EXPECT_NEAR(p.value[kSlotPhase], 0.0, 1e-3) << p.frequency;
    }
    EXPECT_LT(hi - lo, 0.01);

    Result info = RunCommand(cli::RunInfo, {P("out.mes"), P("imp.twf")});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_NE(info.out.find("\"Bench impulse\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("FFT on Spike PIR"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find(std::to_string(m->points.size())), std::string::npos);
    EXPECT_NE(info.out.find("4096"), std::string::npos);
}

TEST_F(Cli, InfoReadsWavePeaksWithTheProgramsOwnReader) {
    std::FILE* f = std::fopen(P("tone.wav").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(WriteWaveHeader(f, 3, 44100, 2, 16));
    ASSERT_TRUE(WriteSampleFrame(f, 0x40000000, -0x20000000, 2, 16));  // 0.5, -0.25
    ASSERT_TRUE(WriteSampleFrame(f, -0x60000000, 0x10000000, 2, 16));  // -0.75, 0.125
    ASSERT_TRUE(WriteSampleFrame(f, 0, 0, 2, 16));
    std::fclose(f);
    Result info = RunCommand(cli::RunInfo, {P("tone.wav")});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_NE(info.out.find("44100"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("0.75"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("0.25"), std::string::npos) << info.out;
}

TEST_F(Cli, BadInputGivesTheProgramsMessageAndAFailingExitCode) {
    Result missing = RunCommand(cli::RunInfo, {P("nothere.mes")});
    EXPECT_NE(missing.code, 0);
    EXPECT_NE(missing.err.find("Couldn't open the file !"), std::string::npos) << missing.err;

    std::FILE* f = std::fopen(P("junk.mes").c_str(), "wb");
    std::fputs("@MS102 not really a measurement", f);
    std::fclose(f);
    Result junk = RunCommand(cli::RunInfo, {P("junk.mes")});
    EXPECT_NE(junk.code, 0);
    EXPECT_NE(junk.err.find("Read error !"), std::string::npos) << junk.err;

    Result fr = RunCommand(cli::RunFr, {P("junk.mes"), P("x.mes")});
    EXPECT_NE(fr.code, 0);
    EXPECT_FALSE(fs::exists(P("x.mes")));
    Result usage = RunCommand(cli::RunFr, {P("only-one-argument")});
    EXPECT_EQ(usage.code, 2);
}
