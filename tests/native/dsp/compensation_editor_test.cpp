#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/compensation_editor.h"
#include "dsp/numeric.h"

namespace srx {
namespace {

std::vector<float> Frequencies(const CompensationCurve& c) {
    std::vector<float> out;
    for (const CompensationEntry& e : c.entries) out.push_back(e.frequency);
    return out;
}

EditorGraph Graph() {
    EditorGraph g;
    g.left = 40;
    g.top = 10;
    g.width = 700;
    g.height = 200;
    g.range = 10;
    return g;
}

int X(const EditorGraph& g, double f) { return int(std::lround(g.XOf(f))); }
int Y(const EditorGraph& g, double level) { return int(std::lround(g.YOf(level))); }

TEST(CompensationEditor, MouseFrequenciesRoundByDecade) {
    EXPECT_EQ(RoundEditorFrequency(57.4), 57);
    EXPECT_EQ(RoundEditorFrequency(99.6), 100);
    EXPECT_EQ(RoundEditorFrequency(1249), 1200);
    EXPECT_EQ(RoundEditorFrequency(12345), 12000);
    EXPECT_EQ(RoundEditorFrequency(47850), 48000);
}

TEST(CompensationEditor, PressCreatesOrPicksAndDragStaysBetweenNeighbours) {
    const EditorGraph g = Graph();
    CompensationEditor ed(NewEditorTable());
    EXPECT_FALSE(ed.Modified());

    // Far from both entries: a new one at the rounded frequency.
    const int created = ed.Press(g, X(g, 1234), Y(g, 3));
    ASSERT_EQ(created, 1);
    EXPECT_EQ(Frequencies(ed.Curve()), (std::vector<float>{100, 1200, 47850}));
    EXPECT_NEAR(ed.Curve().entries[1].level, 3, 0.1);
    EXPECT_TRUE(ed.Modified());

    // Dragging beyond a neighbour keeps the old frequency, the level follows.
    EXPECT_TRUE(ed.DragTo(g, X(g, 60000), Y(g, -4)));
    EXPECT_EQ(ed.Curve().entries[1].frequency, 1200.0f);
    EXPECT_NEAR(ed.Curve().entries[1].level, -4, 0.1);
    ed.DragTo(g, X(g, 5000), Y(g, 25));  // above the range: clamped
    EXPECT_EQ(ed.Curve().entries[1].frequency, 5000.0f);
    EXPECT_EQ(ed.Curve().entries[1].level, 10.0f);
    ed.Release();

    // The fixed ends move only vertically.
    ASSERT_EQ(ed.Press(g, X(g, 100), Y(g, 0)), 0);
    ed.DragTo(g, X(g, 300), Y(g, 2));
    EXPECT_EQ(ed.Curve().entries[0].frequency, 100.0f);
    EXPECT_NEAR(ed.Curve().entries[0].level, 2, 0.1);
    ed.Release();

    // A press at the frequency of an entry far above it takes that entry
    // instead of making a second one at the same frequency.
    ASSERT_EQ(ed.Press(g, X(g, 5000), Y(g, -9)), 1);
    EXPECT_EQ(ed.Curve().Count(), 3);
    EXPECT_NEAR(ed.Curve().entries[1].level, -9, 0.1);
}

TEST(CompensationEditor, RightButtonDeletesAllButTheEnds) {
    const EditorGraph g = Graph();
    CompensationCurve c = NewEditorTable();
    c.entries.insert(c.entries.begin() + 1, {{1000, 2, 0}, {4000, -2, 0}});
    CompensationEditor ed(c);
    EXPECT_FALSE(ed.DeleteAt(g, X(g, 100), Y(g, 0)));
    EXPECT_FALSE(ed.DeleteAt(g, X(g, 47850), Y(g, 0)));
    EXPECT_FALSE(ed.DeleteAt(g, X(g, 1000), Y(g, 8)));  // not within 5 pixels
    EXPECT_TRUE(ed.DeleteAt(g, X(g, 1000) + 3, Y(g, 2) - 3));
    EXPECT_EQ(Frequencies(ed.Curve()), (std::vector<float>{100, 4000, 47850}));
}

TEST(CompensationEditor, RangesFitTheCurveAndCycle) {
    CompensationCurve c = NewEditorTable();
    c.entries[0].level = -7;
    EXPECT_EQ(EditorRangeFor(c), 10);
    c.entries[0].level = 90;
    EXPECT_EQ(EditorRangeFor(c), EditorRanges().back());
    EXPECT_EQ(NextEditorRange(5), 10);
    EXPECT_EQ(NextEditorRange(EditorRanges().back()), EditorRanges().front());
}

std::unique_ptr<Measurement> Curve(double offset, double (*shape)(double)) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    for (double f = 50; f <= 20000; f *= std::pow(2.0, 1.0 / 12)) {
        AddCurvePoint(*m, f, 80 + offset + shape(f), WrapRadians(-f / 2000.0), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    return m;
}

double Speaker(double f) { return 6 * std::sin(std::log(f)); }
double MicrophoneError(double f) { return f > 4000 ? 3 * std::log2(f / 4000) : 0; }

TEST(CompensationEditor, DifferenceCorrectsTheUncalibratedCurve) {
    auto calibrated = Curve(0, Speaker);
    auto uncalibrated = Curve(-6, [](double f) { return Speaker(f) + MicrophoneError(f); });
    CurveDifference d;
    ASSERT_TRUE(CompensationFromDifference(*uncalibrated, *calibrated, false, d));
    EXPECT_DOUBLE_EQ(d.referenceFrequency, 1000);
    EXPECT_NEAR(d.levelRatio, std::pow(10, -6 / 20.0), 1e-4);
    EXPECT_NEAR(ScaledSensitivity(5.0, d.levelRatio), 5.0 * 0.501187, 1e-3);

    // Applied to the uncalibrated curve, the table gives the calibrated one
    // (less the sensitivity offset).
    Measurement fixed = *uncalibrated;
    CompensateMeasurement(fixed, d.curve);
    for (size_t i = 0; i < fixed.points.size(); ++i) {
        EXPECT_NEAR(fixed.points[i].value[kSlotLevel] + 6, calibrated->points[i].value[kSlotLevel], 0.02)
            << fixed.points[i].frequency;
        EXPECT_NEAR(WrapRadians(fixed.points[i].value[kSlotPhase] - calibrated->points[i].value[kSlotPhase]), 0, 1e-4);
    }

    // Without 1000 Hz in the common range the geometric middle is the reference.
    auto high = NewMeasurement(kCurveFrequencyResponse);
    for (double f : {2000.0, 4000.0, 8000.0}) AddCurvePoint(*high, f, 80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    ASSERT_TRUE(CompensationFromDifference(*high, *calibrated, true, d));
    EXPECT_NEAR(d.referenceFrequency, 4000, 1e-9);

    auto apart = NewMeasurement(kCurveFrequencyResponse);
    for (double f : {30000.0, 40000.0}) AddCurvePoint(*apart, f, 80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(CompensationFromDifference(*apart, *calibrated, false, d));
}

}  // namespace
}  // namespace srx
