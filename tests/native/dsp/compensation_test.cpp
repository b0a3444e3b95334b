#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "dsp/compensation.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "measure/compensation_settings.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;
using test::Slurp;

class CompensationFiles : public test::ScratchTest {
protected:
    CompensationSettings Settings(const std::string& mic = "", const std::string& secondary = "",
                                  bool normalise = false) const {
        CompensationSettings s;
        s.programFolder = Folder();
        s.microphoneName = mic;
        s.secondaryName = secondary;
        s.normalise = normalise;
        return s;
    }
};

std::string File(const char* header, const std::string& body) { return std::string(header) + "\r\nx.mcp\r\n" + body; }

CompensationCurve Table(std::initializer_list<CompensationEntry> e) { return CompensationCurve{e}; }

// ---- Reading ---------------------------------------------------------------

TEST_F(CompensationFiles, PhaseUnitCommentsBlanksAndDecimalCommasAreRead) {
    const std::string body = "2\r\nBEGIN.\r\n100 1.5 90\r\n1000 -2 -45\r\nEND.\r\n";
    CompensationCurve radians, degrees;
    ASSERT_TRUE(LoadCompensation(Write("a.mcp", File("Son-Rix:Compensation File v0.11", body)), radians).ok());
    ASSERT_TRUE(LoadCompensation(Write("b.mcp", File("Son-Rix:Compensation File v1.10", body)), degrees).ok());
    ASSERT_EQ(radians.Count(), 2);
    EXPECT_FLOAT_EQ(radians.entries[0].phase, 90.0f);
    EXPECT_FLOAT_EQ(degrees.entries[0].phase, float(kPi / 2));
    EXPECT_FLOAT_EQ(degrees.entries[1].phase, float(-kPi / 4));

    // Comments, blanks and decimal commas are read.
    const std::string text =
        "\t  Son-Rix:Compensation File v1.10\n; a remark\n\nname.mcp\n/ another\n  3\r\nBEGIN.\n"
        "100,5\t0,25  0\n   200 -1,5 0\n"
        "1000 3 0\nEND.\nrubbish after the end\n";
    CompensationCurve c;
    ASSERT_TRUE(LoadCompensation(Write("c.mcp", text), c).ok());
    ASSERT_EQ(c.Count(), 3);
    EXPECT_FLOAT_EQ(c.entries[0].frequency, 100.5f);
    EXPECT_FLOAT_EQ(c.entries[1].level, -1.5f);
}

TEST_F(CompensationFiles, MissingEndAndTheCallersTableBoundTheEntries) {
    CompensationCurve c;
    ASSERT_TRUE(
        LoadCompensation(Write("c.mcp", File(kCompensationHeader, "4\r\nBEGIN.\r\n100 1 0\r\n200 2 0\r\n")), c).ok());
    ASSERT_EQ(c.Count(), 4);
    EXPECT_FLOAT_EQ(c.entries[1].level, 2.0f);
    EXPECT_EQ(c.entries[2].frequency, 0.0f);
    EXPECT_EQ(c.entries[3].level, 0.0f);
    // The empty tail does not disturb the lookup: above 200 Hz the last real entry holds.
    EXPECT_DOUBLE_EQ(CompensationLevelAt(c, 5000), 2.0);
    // An announced count the file cannot hold allocates no more than the file could.
    ASSERT_TRUE(
        LoadCompensation(Write("c.mcp", File(kCompensationHeader, "1048576\r\nBEGIN.\r\n100 1 0\r\n")), c).ok());
    EXPECT_LT(c.Count(), 100);
    // Values that are not numbers are refused.
    EXPECT_EQ(LoadCompensation(Write("c.mcp", File(kCompensationHeader, "2\r\nBEGIN.\r\n100 1e999 0\r\n")), c).stringId,
              2316);

    // Without allocation the caller's table bounds the entries.
    const std::string path =
        Write("c.mcp", File(kCompensationHeader, "3\r\nBEGIN.\r\n100 1 0\r\n200 2 0\r\n300 3 0\r\nEND.\r\n"));
    CompensationCurve big;
    big.entries.resize(8);
    ASSERT_TRUE(LoadCompensation(path, big, false).ok());
    EXPECT_EQ(big.Count(), 3);
    EXPECT_FLOAT_EQ(big.entries[2].level, 3.0f);

    CompensationCurve small;
    small.entries.resize(2);
    EXPECT_EQ(LoadCompensation(path, small, false).stringId, 2373);
    EXPECT_EQ(small.Count(), 2);
}

TEST_F(CompensationFiles, RefusedFilesGiveTheirMessageAndLeaveTheTable) {
    struct Case {
        std::string text;
        int id;
    };
    std::vector<Case> cases = {
        {"Son-Rix:Compensation File v2.00\r\nx\r\n1\r\nBEGIN.\r\n100 0 0\r\nEND.\r\n", 2372},
        {"", 2372},
        {File(kCompensationHeader, "0\r\nBEGIN.\r\nEND.\r\n"), 2357},
        {File(kCompensationHeader, "-4\r\nBEGIN.\r\nEND.\r\n"), 2357},
        {File(kCompensationHeader, "2\r\nBEGIN\r\n100 0 0\r\nEND.\r\n"), 2316},
        {File(kCompensationHeader, "3\r\nBEGIN.\r\n100 0 0\r\n200 0 0\r\n300 0 0\r\n400 0 0\r\nEND.\r\n"), 2373},
        {File(kCompensationHeader, "2000000000\r\nBEGIN.\r\nEND.\r\n"), 2318},
    };
    for (const char* entry : {"100 nan 0", "100 0 -inf", "100 1e39 0", "100 0 1e39", "nan 0 0", "1e39 0 0", "0 1 1",
                              "-100 1 1", "1e-50 1 1", "100 0 0x1p200"})
        cases.push_back({File(kCompensationHeader, "2\r\nBEGIN.\r\n200 0 0\r\n" + std::string(entry)), 2316});
    for (const Case& c : cases) {
        CompensationCurve curve = Table({{50, 1, 0}});
        const Status st = LoadCompensation(Write("bad.mcp", c.text), curve);
        EXPECT_EQ(st.stringId, c.id) << c.text;
        ASSERT_EQ(curve.Count(), 1);
        EXPECT_EQ(curve.entries[0].frequency, 50.0f);
    }
    CompensationCurve curve;
    EXPECT_EQ(LoadCompensation(Path("none.mcp"), curve).stringId, 2314);
}

TEST_F(CompensationFiles, EntriesAreSortedOnLoadAndTheCoveredRangeIsKnown) {
    // Out of order, 1000 Hz twice (the first counts), "END." missing.
    const std::string body = "5\r\nBEGIN.\r\n1000 3 0\r\n100 1 0.5\r\n1000 9 0\r\n500 2 0\r\n";
    CompensationCurve c;
    ASSERT_TRUE(LoadCompensation(Write("c.mcp", File("Son-Rix:Compensation File v0.12", body)), c).ok());
    std::vector<float> got;
    for (const CompensationEntry& e : c.entries) got.insert(got.end(), {e.frequency, e.level, e.phase});
    EXPECT_EQ(got, std::vector<float>({100, 1, 0.5f, 500, 2, 0, 1000, 3, 0, 0, 0, 0, 0, 0, 0}));
    const CompensationRange covered = CompensationCoverage(c);
    EXPECT_TRUE(covered.first == 100 && covered.last == 1000);
    // A response reaching above the table is corrected with its last entry.
    EXPECT_DOUBLE_EQ(CompensateLevel(c, 10.0, 20000), 7.0);
}

// ---- Writing ----------------------------------------------------------------

TEST_F(CompensationFiles, SaveWritesTheTextLayoutAndReadsBack) {
    CompensationCurve c = Table({{0, 9, 9}, {100, 1.25f, float(kPi / 2)}, {1000, -0.5f, -0.1f}, {20000, 0, 0}});
    Status st;
    ASSERT_TRUE(SaveCompensation(Path("Mic One.MCP"), c, &st));
    EXPECT_TRUE(st.ok());
    const std::string text = Slurp(Path("Mic One.MCP"));
    EXPECT_EQ(text.substr(0, text.find("100.0000")),
              "Son-Rix:Compensation File v1.10\r\nMic One.MCP\r\n3\r\nBEGIN.\r\n");
    EXPECT_NE(text.find("100.0000  1.2500  90.0000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("1000.0000 -0.5000 -5.7296\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 6), "END.\r\n");

    CompensationCurve back;
    ASSERT_TRUE(LoadCompensation(Path("Mic One.MCP"), back).ok());
    ASSERT_EQ(back.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(back.entries[i].frequency, c.entries[i + 1].frequency, 1e-4);
        EXPECT_NEAR(back.entries[i].level, c.entries[i + 1].level, 1e-4);
        EXPECT_NEAR(back.entries[i].phase, c.entries[i + 1].phase, 1e-5);
    }
}

TEST_F(CompensationFiles, NothingToSaveOrAFailedSaveKeepsThePreviousFile) {
    const std::string path = Write("keep.mcp", "previous");
    Status st;
    EXPECT_FALSE(SaveCompensation(path, Table({{0, 1, 0}, {0, 2, 0}}), &st));
    EXPECT_TRUE(st.ok());
    EXPECT_FALSE(ExportMicCorrection(path, Table({{0, 1, 0}}), &st));
    EXPECT_EQ(Slurp(path), "previous");

    // A target that cannot be replaced fails with 2371 and stays as it was.
    fs::create_directory(Path("folder.mcp"));
    EXPECT_FALSE(SaveCompensation(Path("folder.mcp"), Table({{100, 1, 0}}), &st));
    EXPECT_EQ(st.stringId, 2371);
    EXPECT_TRUE(fs::is_directory(Path("folder.mcp")));
    EXPECT_EQ(Slurp(path), "previous");
    EXPECT_FALSE(SaveCompensation(Path("no such folder/x.mcp"), Table({{100, 1, 0}}), &st));
    EXPECT_EQ(st.stringId, 2371);
}

// ---- Lookup and thinning -------------------------------------------------------

TEST(CompensationLookup, LevelsInterpolateOnLogFrequencyAndFlatMeansTwoEqualLevels) {
    const CompensationCurve c = Table({{100, 2, 0.5f}, {1000, -4, -0.5f}, {10000, 6, 0}});
    EXPECT_DOUBLE_EQ(CompensateLevel(c, 80, 20), 78);     // below the table: first entry
    EXPECT_DOUBLE_EQ(CompensateLevel(c, 80, 10000), 74);  // the last entry exactly
    EXPECT_DOUBLE_EQ(CompensateLevel(c, 80, 40000), 74);  // above: last entry
    // The geometric middle of a segment lies half way.
    EXPECT_NEAR(CompensationLevelAt(c, std::sqrt(100.0 * 1000.0)), -1.0, 1e-9);
    EXPECT_NEAR(CompensatePhase(c, 0, std::sqrt(1000.0 * 10000.0)), 0.25, 1e-6);
    EXPECT_NEAR(CompensationLevelAt(c, 5000), -4 + 10 * std::log10(5.0), 1e-6);
    EXPECT_DOUBLE_EQ(CompensationLevelAt(CompensationCurve{}, 1000), 0.0);
    EXPECT_DOUBLE_EQ(CompensationLevelAt(Table({{500, 3, 0}}), 20), 3.0);

    // Flat means exactly two equal levels.
    EXPECT_TRUE(IsFlatCompensation(Table({{100, 1, 0}, {20000, 1, 0.3f}})));
    EXPECT_FALSE(IsFlatCompensation(Table({{100, 1, 0}, {20000, 1.5f, 0}})));
    EXPECT_FALSE(IsFlatCompensation(Table({{100, 1, 0}, {1000, 1, 0}, {20000, 1, 0}})));
}

TEST(CompensationLookup, ThinningKeepsShapeAndEnds) {
    CompensationCurve c = Table({{100, 1.01f, 0},
                                 {200, 1.0f, 0},
                                 {300, 0.98f, 0},
                                 {400, 1.0f, 0},
                                 {500, 2, 0},
                                 {600, 2, 0.5f},
                                 {700, 2, 0.5f},
                                 {800, 2, 0.5f}});
    ThinCompensation(c);
    std::vector<float> kept;
    for (const CompensationEntry& e : c.entries)
        if (e.frequency > 0) kept.push_back(e.frequency);
    // 200 and 300 sit between equal neighbours (to one decimal); 700 too;
    // 100 and 800 are the ends.
    EXPECT_EQ(kept, (std::vector<float>{100, 400, 500, 600, 800}));
    ASSERT_EQ(c.Count(), 8);
    EXPECT_EQ(c.entries[0].frequency, 0.0f);  // removed entries sort to the front

    CompensationCurve all = Table({{100, 3, 0}, {200, 3, 0}, {300, 3, 0}});
    ThinCompensation(all);
    EXPECT_EQ(CompensationEntryCount(all), 2);
}

// ---- Applying to a measurement --------------------------------------------------

std::unique_ptr<Measurement> Response(bool distortion) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    m->h.flags = kMesPhase | kMesSaved | (distortion ? uint32_t(kMesDistortion) : 0u);
    const double f[] = {50, 100, 1000, 2000, 10000};
    const double level[] = {70, -1000, 80, 81, 79};
    const double phase[] = {0.1, 0.2, 3.0, -3.1, 0.0};
    for (int i = 0; i < 5; ++i) AddCurvePoint(*m, f[i], level[i], phase[i], 40, -1000, 0, 30, 30, 30, 30, 30, 30, 30);
    return m;
}

AnalysisSettings NoMinimumPhase() {
    AnalysisSettings a = DefaultAnalysisSettings();
    a.alwaysComputeMinimumPhase = false;
    return a;
}

TEST_F(CompensationFiles, MicrophoneCompensationCorrectsLevelsHarmonicsAndPhase) {
    Write("Mic.MCP", File(kCompensationHeader, "3\r\nBEGIN.\r\n100 2 0\r\n1000 -3 10\r\n10000 4 0\r\nEND.\r\n"));
    auto m = Response(true);
    const Measurement before = *m;
    ASSERT_TRUE(ApplyMicrophoneCompensation(*m, nullptr, Settings("Mic"), NoMinimumPhase()).ok());
    const CompensationCurve c = Table({{100, 2, 0}, {1000, -3, 0}, {10000, 4, 0}});
    for (size_t i = 0; i < m->points.size(); ++i) {
        const CurvePoint& a = before.points[i];
        const CurvePoint& b = m->points[i];
        if (a.value[kSlotLevel] <= -1000) EXPECT_EQ(b.value[kSlotLevel], -1000.0f);
        else EXPECT_NEAR(b.value[kSlotLevel], CompensateLevel(c, a.value[kSlotLevel], a.frequency), 1e-4);
        // The 2nd harmonic at 2f, the 3rd stays absent, the 4th at 4f.
        EXPECT_NEAR(b.value[kSlotDistortion2], CompensateLevel(c, 40, 2.0 * a.frequency), 1e-4) << i;
        EXPECT_EQ(b.value[kSlotDistortion2 + 1], -1000.0f);
        EXPECT_NEAR(b.value[kSlotDistortion2 + 2], CompensateLevel(c, 30, 4.0 * a.frequency), 1e-4) << i;
        EXPECT_LE(std::fabs(b.value[kSlotPhase]), kPi + 1e-6);
    }
    // At 1000 Hz the phase loses 10 degrees: 3.0 - 0.1745 rad.
    EXPECT_NEAR(m->points[2].value[kSlotPhase], 3.0 - 10 * kPi / 180, 1e-5);
    // At 2000 Hz -3.1 rad loses 10 degrees times (1 - log10 2) and wraps
    // round to the positive side.
    const double lost = 10 * kPi / 180 * (1 - std::log10(2.0));
    EXPECT_NEAR(m->points[3].value[kSlotPhase], -3.1 - lost + 2 * kPi, 1e-5);
    EXPECT_EQ(std::string(m->h.setup.compensationFile), "Mic");
    EXPECT_TRUE(m->h.flags & kMesCompensationRecorded);
    EXPECT_FALSE(m->h.flags & kMesSaved);
    EXPECT_NEAR(m->h.maxLevel, 83.0, 1e-4);  // 80 - (-3) at 1000 Hz
}

TEST_F(CompensationFiles, FlatMissingOrBrokenFilesApplyNothing) {
    Write("Flat.MCP", File(kCompensationHeader, "2\r\nBEGIN.\r\n100 3 0\r\n20000 3 0\r\nEND.\r\n"));
    Write("Broken.MCP", "not a compensation\r\n");
    auto levels = [](const Measurement& m) {
        std::vector<float> v;
        for (const CurvePoint& p : m.points) v.push_back(p.value[kSlotLevel]);
        return v;
    };
    auto m = Response(false);
    SetText(m->h.setup.compensationFile, "Older");
    const auto original = levels(*m);
    EXPECT_TRUE(ApplyMicrophoneCompensation(*m, "Flat", Settings(), NoMinimumPhase()).ok());
    EXPECT_EQ(levels(*m), original);
    EXPECT_EQ(std::string(m->h.setup.compensationFile), "");  // a flat file clears the name

    EXPECT_TRUE(ApplyMicrophoneCompensation(*m, "Absent", Settings(), NoMinimumPhase()).ok());
    EXPECT_EQ(ApplyMicrophoneCompensation(*m, "Broken", Settings(), NoMinimumPhase()).stringId, 2372);
    EXPECT_TRUE(ApplyMicrophoneCompensation(*m, kNoCompensationItem, Settings("Broken"), NoMinimumPhase()).ok());
    EXPECT_EQ(levels(*m), original);
}

TEST_F(CompensationFiles, SecondaryFollowsTheMicrophoneAndKeepsItsName) {
    Write("Mic.MCP", File(kCompensationHeader, "2\r\nBEGIN.\r\n100 1 0\r\n20000 2 0\r\nEND.\r\n"));
    Write("Chain.2CP", File(kCompensationHeader, "1\r\nBEGIN.\r\n1000 0.5 0\r\nEND.\r\n"));
    Write("Flat.2CP", File(kCompensationHeader, "2\r\nBEGIN.\r\n100 0 0\r\n20000 0 0\r\nEND.\r\n"));
    auto m = Response(false);
    ASSERT_TRUE(ApplyMicrophoneCompensation(*m, nullptr, Settings("Mic", "Chain"), NoMinimumPhase()).ok());
    const float afterMic = m->points[2].value[kSlotLevel];
    ASSERT_TRUE(ApplySecondaryCompensation(*m, Settings("Mic", "Chain"), NoMinimumPhase()).ok());
    EXPECT_NEAR(m->points[2].value[kSlotLevel], afterMic - 0.5, 1e-5);
    EXPECT_EQ(std::string(m->h.setup.compensationFile), "Mic");
    // A flat secondary table does not take the microphone's name away.
    ASSERT_TRUE(ApplySecondaryCompensation(*m, Settings("Mic", "Flat"), NoMinimumPhase()).ok());
    EXPECT_EQ(std::string(m->h.setup.compensationFile), "Mic");
}

TEST_F(CompensationFiles, ImpedanceAndAlreadyCompensatedCurvesAreLeftAlone) {
    Write("Mic.MCP", File(kCompensationHeader, "2\r\nBEGIN.\r\n100 1 0\r\n20000 2 0\r\nEND.\r\n"));
    auto z = NewMeasurement(kCurveImpedance);
    AddCurvePoint(*z, 100, 8, 0.1, -1000, -1000, 0, -1000, -1000, -1000, -1000, -1000, -1000, -1000);
    ASSERT_TRUE(ApplyMicrophoneCompensation(*z, "Mic", Settings(), NoMinimumPhase()).ok());
    EXPECT_EQ(z->points[0].value[kSlotLevel], 8.0f);

    auto m = Response(false);
    m->h.flags |= kMesCompensationContained;
    ASSERT_TRUE(ApplyMicrophoneCompensation(*m, "Mic", Settings(), NoMinimumPhase()).ok());
    EXPECT_EQ(m->points[2].value[kSlotLevel], 80.0f);
    EXPECT_EQ(std::string(m->h.setup.compensationFile), "");
}

// ---- Normalisation ----------------------------------------------------------------

TEST(CompensationNormalise, ReferenceIsTheOldestMaximumWithinFourDecibels) {
    NormalisationReference flat;
    for (int i = 0; i < 10; ++i) flat.Add(80);
    EXPECT_DOUBLE_EQ(flat.Reference(), 80);  // no earlier maximum lies within 4 dB

    NormalisationReference rising;
    for (int i = 70; i <= 80; ++i) rising.Add(i);
    EXPECT_DOUBLE_EQ(rising.Reference(), 77);  // 76 is 4 dB down: not less than 4

    // The history holds 64 maxima: the reference can be no older.
    NormalisationReference slow;
    for (int i = 0; i <= 200; ++i) slow.Add(0.01 * i);
    EXPECT_NEAR(slow.Reference(), 0.01 * (200 - 64), 1e-12);

    NormalisationReference none;
    EXPECT_DOUBLE_EQ(none.Reference(), -1000);
}

TEST_F(CompensationFiles, NormalisingSubtractsTheReferenceFromLevelsAndHarmonics) {
    auto m = Response(true);
    ASSERT_TRUE(ApplyMicrophoneCompensation(*m, kNoCompensationItem, Settings("", "", true), NoMinimumPhase()).ok());
    // Maxima 70, 80, 81: the reference is 80 (within 4 dB of 81, older than 81).
    EXPECT_FLOAT_EQ(m->points[0].value[kSlotLevel], -10);
    EXPECT_FLOAT_EQ(m->points[1].value[kSlotLevel], -1000);
    EXPECT_FLOAT_EQ(m->points[3].value[kSlotLevel], 1);
    EXPECT_FLOAT_EQ(m->points[2].value[kSlotDistortion2], -40);
    EXPECT_FLOAT_EQ(m->points[2].value[kSlotDistortion2 + 1], -1000);
    EXPECT_DOUBLE_EQ(m->h.maxLevel, 1);
}

// ---- Waterfalls ---------------------------------------------------------------------

TEST_F(CompensationFiles, WaterfallLevelsAreCorrectedSamplesAndGapsKept) {
    Write("Mic.MCP", File(kCompensationHeader, "2\r\nBEGIN.\r\n100 2 0\r\n1000 -4 0\r\nEND.\r\n"));
    TimeRecord t;
    t.samples = {0.5f, -0.25f, 0.125f};
    t.slices = {{{100, 1000}, {60, -1000}}, {{100, 1000}, {50, 55}}};
    t.h.flags = kTwfWaterfall;
    ASSERT_TRUE(CompensateWaterfall(t, "Mic", Settings()).ok());
    EXPECT_EQ(t.samples, (std::vector<float>{0.5f, -0.25f, 0.125f}));
    EXPECT_EQ(t.slices[0].level, (std::vector<float>{58, -1000}));
    EXPECT_EQ(t.slices[1].level, (std::vector<float>{48, 59}));
    EXPECT_EQ(t.slices[1].frequency, (std::vector<float>{100, 1000}));
    EXPECT_DOUBLE_EQ(t.h.waterfallMax, 59);
    EXPECT_EQ(std::string(t.h.setup.compensationFile), "Mic");

    // Normalised over all slices: maxima 58, 59 -> reference 58.
    ASSERT_TRUE(CompensateWaterfall(t, kNoCompensationItem, Settings("", "", true)).ok());
    EXPECT_EQ(t.slices[1].level, (std::vector<float>{-10, 1}));
    EXPECT_EQ(t.slices[0].level[1], -1000.0f);

    TimeRecord imported = t;
    imported.h.flags |= kTwfImported;
    ASSERT_TRUE(CompensateWaterfall(imported, "Mic", Settings()).ok());
    EXPECT_EQ(imported.slices[1].level, t.slices[1].level);
}

// ---- Names and lists ----------------------------------------------------------------

// The microphone list itself (base names, the program's own file left out,
// "New compensation..." only where asked, a name found whatever its case)
// is read back from the dialog in the win32 microphone-dialog tests.
TEST_F(CompensationFiles, ListsShowBaseNamesOfTheirOwnKindOnly) {
    for (const char* n : {"b-mic.MCP", "SONRIX.MCP", "chain.2CP", "other.txt", ".MCP"}) Write(n, "x");
    EXPECT_EQ(CompensationListNames(Folder(), false, false), (std::vector<std::string>{"None...", "b-mic"}));
    EXPECT_EQ(CompensationListNames(Folder(), true, true), (std::vector<std::string>{"None...", "chain"}));
    const auto mic = CompensationListNames(Folder(), false, true);
    EXPECT_EQ(CompensationListIndex(mic, "gone"), 0);
    EXPECT_EQ(CompensationListIndex(mic, ""), 0);
    EXPECT_EQ(CompensationOfListItem("New compensation..."), "");
}

}  // namespace
}  // namespace srx
