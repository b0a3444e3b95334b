#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dsp/compensation_convert.h"
#include "dsp/numeric.h"
#include "measure/compensation_settings.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

constexpr double kDegree = kPi / 180;

using Calibrations = test::ScratchTest;

// The binary microphone records: level, then frequency, as f32.
std::string Mic(std::initializer_list<std::pair<float, float>> levelAndFrequency) {
    std::string bytes;
    for (auto [level, f] : levelAndFrequency) {
        bytes.append(reinterpret_cast<const char*>(&level), 4);
        bytes.append(reinterpret_cast<const char*>(&f), 4);
    }
    return bytes;
}

std::vector<float> Frequencies(const CompensationCurve& c) {
    std::vector<float> out;
    for (const CompensationEntry& e : c.entries)
        if (e.frequency > 0) out.push_back(e.frequency);
    return out;
}

const CompensationEntry* At(const CompensationCurve& c, float f) {
    for (const CompensationEntry& e : c.entries)
        if (e.frequency == f) return &e;
    return nullptr;
}

TEST_F(Calibrations, MdfGetsTheLowEntryAndTheHighCut) {
    const std::string path = Write("m.MDF",
                                   "MDF microphone data\r\n; measured 2020\r\nPoints=4\r\n"
                                   "1 200 2.0 10\r\n2 1000 3.0 0\r\n3 48000 4.0 0\r\n4 60000 5.0 0\r\nEnd\r\n"
                                   "5 70000 9 0\r\n");
    CompensationCurve raw;
    ASSERT_TRUE(ReadMdfCalibration(path, raw).ok());
    EXPECT_EQ(Frequencies(raw), (std::vector<float>{200, 1000, 48000, 60000}));
    EXPECT_FLOAT_EQ(raw.entries[0].phase, float(10 * kDegree));

    CompensationCurve c;
    ASSERT_TRUE(ConvertCalibrationFile(path, c).ok());
    EXPECT_EQ(Frequencies(c), (std::vector<float>{100, 200, 1000, 47850}));
    EXPECT_FLOAT_EQ(At(c, 100)->phase, float(10 * kDegree));  // the first entry's values

    // "Points=" bounds the table at one more than it says.
    CompensationCurve few;
    ASSERT_TRUE(ReadMdfCalibration(Write("f.mdf", "MDF\nPoints=1\n1 100 1 0\n2 200 2 0\n3 300 3 0\n"), few).ok());
    EXPECT_EQ(few.Count(), 2);
    EXPECT_EQ(ReadMdfCalibration(Write("x.mdf", "Not MDF\n1 100 1 0\n"), few).stringId, 2316);
    EXPECT_EQ(few.Count(), 2);
}

TEST_F(Calibrations, DatAndCalColumnLayouts) {
    CompensationCurve c;
    ASSERT_TRUE(ReadDatCalibration(Write("q.dat",
                                         "\"Sens Factor =-1.5dB, SERNO: 123\"\n20,-0.5,0\n1000\t0.0 5\n"
                                         "20000, 1.5, -10\n"),
                                   c)
                    .ok());
    ASSERT_EQ(c.Count(), 3);
    EXPECT_FLOAT_EQ(c.entries[1].phase, float(5 * kDegree));  // a tab separates too

    ASSERT_TRUE(ReadDatCalibration(Write("e.cal", "ETF microphone cal\n100 1 77\n200 2 99\n"), c).ok());
    ASSERT_EQ(c.Count(), 2);
    EXPECT_EQ(c.entries[1].phase, 0.0f);  // two columns: the third is no phase

    ASSERT_TRUE(ReadDatCalibration(Write("n.dat", "Freq(Hz)  Phase(deg)  SPL(dB)\n500 -90 3.5\n"), c).ok());
    ASSERT_EQ(c.Count(), 1);
    EXPECT_FLOAT_EQ(c.entries[0].level, 3.5f);
    EXPECT_FLOAT_EQ(c.entries[0].phase, float(-90 * kDegree));

    EXPECT_EQ(ReadDatCalibration(Write("empty.dat", "\"nothing here\"\n"), c).stringId, 2316);
}

TEST_F(Calibrations, MicRecordsAreLevelThenFrequency) {
    CompensationCurve c;
    ASSERT_TRUE(
        ConvertCalibrationFile(Write("a.MIC", Mic({{1.0f, 500.0f}, {2.0f, 1000.0f}, {3.0f, 50000.0f}})), c).ok());
    // No low entry for the binary format; the top is cut to 47850 Hz.
    EXPECT_EQ(Frequencies(c), (std::vector<float>{500, 1000, 47850}));
    EXPECT_FLOAT_EQ(At(c, 1000)->level, 2.0f);

    const std::string odd = Mic({{1.0f, 500.0f}}) + "abcd";
    EXPECT_EQ(ConvertCalibrationFile(Write("b.mic", odd), c).stringId, 2316);
    EXPECT_EQ(ConvertCalibrationFile(Write("c.mic", ""), c).stringId, 2316);
    EXPECT_EQ(Frequencies(c), (std::vector<float>{500, 1000, 47850}));
}

TEST_F(Calibrations, FoundFilesConvertOnceAndNeverReplaceATable) {
    Write("a.dat", "\"mic\"\n200 1 0\n2000 2 0\n");
    Write("B.MIC", "12345");
    Write("c.cal", "\"mic\"\n200 1 0\n");
    Write("c.MCP", "hand made");
    Write("d.MDF", "MDF\nPoints=2\n1 100 0.5 0\n2 1000 1.5 0\n");
    Write("notes.txt", "1 2 3");

    CalibrationConversion first = ConvertFoundCalibrations(Folder());
    EXPECT_EQ(first.converted, (std::vector<std::string>{"a", "d"}));
    EXPECT_EQ(first.failed, (std::vector<std::string>{"B.MIC"}));
    CompensationCurve a;
    ASSERT_TRUE(LoadCompensation(Path("a.MCP"), a).ok());
    EXPECT_EQ(Frequencies(a), (std::vector<float>{100, 200, 2000}));
    EXPECT_EQ(test::Slurp(Path("c.MCP")), "hand made");

    CalibrationConversion second = ConvertFoundCalibrations(Folder());
    EXPECT_TRUE(second.converted.empty());
}

}  // namespace
}  // namespace srx
