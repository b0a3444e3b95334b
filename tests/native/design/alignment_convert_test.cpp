#include <gtest/gtest.h>

#include <cmath>

#include "data/native_files.h"
#include "design/alignment_file.h"
#include "design/design_convert.h"
#include "resources/string_ids.h"
#include "tests/native/design/simulated_box.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

class AlignmentFile : public test::ScratchTest {};

TEST_F(AlignmentFile, OneEntryPerBlockAndTheFolderInNameOrder) {
    const std::string table =
        "; vented alignments\r\n"
        "Title = Quasi B4\t;\r\n"
        "Type\tVented\n"
        "\n"
        "QL=7\n"
        "  0.30, 1.50, 1.00\n"
        "0.35\t2.00\t1.10 ;;\n"
        "0.33 9 9\n"           // does not rise: skipped
        "0.40 nan 1\n"         // not a number: skipped
        "0.45 3.00 1.30\n"
        "QL 15\n"
        "0.50 1 1\n"           // already above every Qts asked: no entry
        "QL 100\n"
        "0.2 1 1\n"
        "0.3602 2.5 1.2\n"
        "Type Closed\n"
        "QL 10\n"
        "0.1 1 1\n0.9 1 1\n";
    Write("b.aln", table);
    std::vector<VentedAlignment> list;
    ASSERT_TRUE(ReadAlignmentFile(Path("b.aln"), 0.3601, list).ok());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "Quasi B4  QL=7");
    EXPECT_EQ(list[1].name, "Quasi B4  QL=100");
    // Between 0.35 and 0.45 on the block of QL 7; within 0.0002 as it is.
    EXPECT_NEAR(list[0].alpha, 2.0 + (0.3601 - 0.35) / 0.1 * 1.0, 1e-12);
    EXPECT_NEAR(list[0].h, 1.1 + (0.3601 - 0.35) / 0.1 * 0.2, 1e-12);
    EXPECT_EQ(list[1].alpha, 2.5);
    EXPECT_EQ(list[1].ql, 100);

    // A unit below every block's first line finds nothing.
    list.clear();
    ASSERT_TRUE(ReadAlignmentFile(Path("b.aln"), 0.1, list).ok());
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ReadAlignmentFile(Path("none.aln"), 0.3, list).stringId, kStrCantOpen);

    Write("A.ALN", "Title C4\nQL 7\n0.3 1 1\n0.4 2 2\n");
    Write("notes.txt", "Title X\nQL 7\n0.3 1 1\n0.4 2 2\n");
    const std::vector<VentedAlignment> all = VentedAlignmentsFor(Folder(), 0.35);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].name, "C4  QL=7");
    EXPECT_NEAR(all[0].alpha, 1.5, 1e-12);
    EXPECT_EQ(all[1].name, "Quasi B4  QL=7");
    EXPECT_EQ(all[1].alpha, 2.0);
}

class DesignConvert : public test::ScratchTest {};

TEST_F(DesignConvert, CurvesBecomeMeasurementsThatSurviveTheirFile) {
    using test::DesignCurveOf;
    const DesignResults& r = test::SimulatedBox(true);
    const std::vector<double>& f = DesignCurveOf(r, -1);
    const std::vector<double>& total = DesignCurveOf(r, test::kTotalCurve);
    Measurement m;
    ASSERT_TRUE(ConvertDesignCurve(r, kAnalysisResponsePhase, true, "Sub", false, m).ok());
    EXPECT_EQ(TextOf(m.h.title), "Konverterad - Sub (A)");
    EXPECT_EQ(double(m.h.maxLevel), 0);
    EXPECT_EQ(TextOf(m.h.setup.inputDevice), "Inget");
    const std::string path = Path("c.mes");
    ASSERT_TRUE(SaveMeasurement(m, path).ok());
    Measurement back;
    ASSERT_TRUE(LoadMeasurement(path, back).ok());
    ASSERT_EQ(back.points.size(), f.size());
    EXPECT_EQ(int(back.h.curveKind), kCurveFrequencyResponse);
    EXPECT_EQ(MeasurementTypeText(back.h), "Converted analysis frequency response");
    const double top = *std::max_element(total.begin(), total.end());
    for (size_t i = 0; i < f.size(); i += 97) {
        EXPECT_FLOAT_EQ(back.points[i].frequency, float(f[i]));
        EXPECT_NEAR(back.points[i].value[kSlotLevel], total[i] - top, 1e-4);
        EXPECT_NEAR(back.points[i].value[kSlotPhase], DesignCurveOf(r, test::kPhaseCurve)[i], 1e-6);
    }

    ASSERT_TRUE(ConvertDesignCurve(r, kAnalysisElectricalPhase, true, "Sub", false, m).ok());
    EXPECT_EQ(int(m.h.curveKind), kCurveImpedance);
    EXPECT_EQ(TextOf(m.h.title), "Konverterad - Sub (Z)");
    EXPECT_FLOAT_EQ(m.points[5].value[kSlotLevel], float(DesignCurveOf(r, test::kImpedanceCurve)[5]));
    ASSERT_TRUE(ConvertDesignCurve(r, kAnalysisConePort, false, "Sub", true, m).ok());
    EXPECT_FLOAT_EQ(m.points[5].value[kSlotLevel], float(DesignCurveOf(r, test::kPortCurve)[5]));

    // A closed box has no port to convert; other kinds convert nothing.
    const DesignResults& closed = test::SimulatedBox(false);
    ASSERT_TRUE(ConvertDesignCurve(closed, kAnalysisConePort, false, "C", true, m).ok());
    EXPECT_FLOAT_EQ(m.points[5].value[kSlotLevel], float(DesignCurveOf(closed, test::kConeCurve)[5]));
    EXPECT_EQ(ConvertDesignCurve(closed, 3210, true, "C", true, m).stringId, kStrNotConvertible);
    const std::vector<double> none;
    EXPECT_EQ(BuildConvertedMeasurement(none, none, nullptr, false, "C", true, m).stringId, kStrDesignNotAnalysed);
}

}  // namespace
}  // namespace srx
