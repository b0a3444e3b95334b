// sonrix-cli measure mls: the whole measurement on the virtual loudspeaker,
// the files it writes read back, and its refusals.
#include "cli_run.h"
#include "data/native_files.h"
#include "data/records.h"

using namespace srx;

using CliMeasure = CliFolder;

TEST_F(CliMeasure, MeasuresTheVirtualLoudspeakerIntoNativeFiles) {
    const CliResult r =
        RunCli({"measure", "mls", "--device", "virtual", "--order", "12", "--passes", "2", P("ir.twf"), P("fr.mes")});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json j = r.Json();
    EXPECT_EQ(j["sequenceLength"], 4095);
    EXPECT_LT(j["errorDb"], -60);
    EXPECT_GE(j["windowStart"].get<double>(), j["latency"].get<double>() - 8);
    TimeRecord t;
    ASSERT_TRUE(LoadTimeRecord(P("ir.twf"), t).ok());
    EXPECT_EQ(t.h.preAverages, 2);
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(P("fr.mes"), m).ok());
    EXPECT_EQ(j["points"], m.h.pointCount);
}

TEST_F(CliMeasure, RefusesOutputsItCannotKeepAndLeavesNothingBehind) {
    const std::string twf = P("dup.twf");
    const CliResult dup = RunCli({"measure", "mls", "--device", "virtual", "--order", "8", twf, twf});
    EXPECT_EQ(dup.code, 1);
    EXPECT_EQ(dup.err, "sonrix-cli: The output file is one of the input files: " + twf + "\n");
    const CliResult missing = RunCli({"measure", "mls", "--device", "virtual", "--order", "8", P("missing/ir.twf")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find(P("missing/ir.twf") + ": Couldn't create the file"), std::string::npos) << missing.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}
