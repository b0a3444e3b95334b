// sonrix-cli measure mls: the whole measurement on the virtual loudspeaker,
// the files it writes read back, and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

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

Result Measure(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = cli::RunMeasure(int(argv.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    return {code, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

// The number after "key": in a flat JSON object.
double Field(const std::string& json, const std::string& key) {
    const auto at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? NAN : std::stod(json.substr(at + key.size() + 4));
}

class CliMeasure : public testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              (std::string("srx_cli_measure_") + testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string P(const char* name) { return (dir / name).string(); }
};

}  // namespace

TEST_F(CliMeasure, MeasuresTheVirtualLoudspeakerIntoNativeFiles) {
    const Result r = Measure({"mls", "--device", "virtual", "--order", "12", "--passes", "2", P("ir.twf"), P("fr.mes")});
    ASSERT_EQ(r.code, 0) << r.err;
    std::printf("%s", r.out.c_str());
    EXPECT_EQ(Field(r.out, "sequenceLength"), 4095);
    EXPECT_EQ(Field(r.out, "passes"), 2);
    EXPECT_LT(Field(r.out, "errorDb"), -60);
    EXPECT_GE(Field(r.out, "windowStart"), Field(r.out, "latency") - 8);
    TimeRecord t;
    ASSERT_TRUE(LoadTimeRecord(P("ir.twf"), t).ok());
    EXPECT_EQ(t.h.sampleCount, 4096);
    EXPECT_EQ(t.h.preAverages, 2);
    EXPECT_TRUE(t.h.flags & kTwfMls);
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(P("fr.mes"), m).ok());
    EXPECT_EQ(m.h.method, 13);
    EXPECT_EQ(double(m.h.pointCount), Field(r.out, "points"));
}

TEST_F(CliMeasure, RefusesWhatItCannotDo) {
    EXPECT_EQ(Measure({"mls", P("ir.twf")}).code, 2);                          // no device
    EXPECT_EQ(Measure({"mls", "--device", "wavemapper", P("ir.twf")}).code, 2);  // not a device it has
    EXPECT_EQ(Measure({"mls", "--device", "virtual", "--order", "25", P("ir.twf")}).code, 2);
    EXPECT_EQ(Measure({"mls", "--device", "virtual", "--passes", "0", P("ir.twf")}).code, 2);
    EXPECT_EQ(Measure({"sweep", "--device", "virtual", P("ir.twf")}).code, 2);
    // An unwritable target: the program's own message, nothing left behind.
    const Result r = Measure({"mls", "--device", "virtual", "--order", "8", P("missing/ir.twf")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Couldn't create the file"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir));
}
