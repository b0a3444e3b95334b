#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/records.h"

namespace srx {
namespace {

Measurement ThreePoints() {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    // 1000.1 is not a float: the header must hold the stored f32 value.
    EXPECT_TRUE(AddCurvePoint(*m, 100, 80, 0.5, -40, -50, -0.25, -60, -61, -62, -63, -64, -65, -66));
    EXPECT_TRUE(AddCurvePoint(*m, 1000.1, 93.3, 1, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                              kNoLevel, kNoLevel, kNoLevel));
    EXPECT_TRUE(AddCurvePoint(*m, 10000, 85, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    return *m;
}

TEST(MeasurementRecord, AddCurvePointFillsSlotsAndHeader) {
    Measurement m = ThreePoints();
    ASSERT_EQ(m.points.size(), 3u);
    EXPECT_EQ(+m.h.pointCount, 3);
    // The minimum phase comes after d2 and d3 in the argument list.
    const CurvePoint& p = m.points[0];
    EXPECT_EQ(p.value[kSlotMinimumPhase], -0.25f);
    EXPECT_EQ(p.value[kSlotDistortion2 + 2], -60.0f);

    EXPECT_EQ(+m.h.firstFrequency, 100.0);
    EXPECT_EQ(m.displayLastFrequency, 10000.0);
    EXPECT_EQ(+m.h.maxLevel, double(93.3f));  // the largest, not the last
}

TEST(MeasurementRecord, RemoveCurvePoint) {
    Measurement m = ThreePoints();
    EXPECT_FALSE(RemoveCurvePoint(m, 0));  // the first point stays
    EXPECT_FALSE(RemoveCurvePoint(m, 3));
    EXPECT_EQ(m.points.size(), 3u);

    ASSERT_TRUE(RemoveCurvePoint(m, 1));  // the loudest one
    EXPECT_EQ(+m.h.pointCount, 2);
    EXPECT_EQ(+m.h.maxLevel, 85.0);
    EXPECT_EQ(+m.h.lastFrequency, 10000.0);

    ASSERT_TRUE(RemoveCurvePoint(m, 1));  // the last one
    EXPECT_EQ(m.displayLastFrequency, 100.0);
}

TEST(MeasurementRecord, DefaultTitleTakesTheSmallestFreeNumber) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    EXPECT_EQ(DefaultMeasurementTitle(*m, {}), "Frequency Response (1)");
    const std::vector<std::string> open = {"Frequency Response: Frequency Response (1)",
                                           "Frequency Response: Frequency Response (12)",
                                           "Impedance: Frequency Response (2)"};
    EXPECT_EQ(DefaultMeasurementTitle(*m, open), "Frequency Response (3)");
    m->h.curveKind = kCurveSweepResponse;
    EXPECT_EQ(DefaultMeasurementTitle(*m, open), "Frequency Response (3)");
    m->h.curveKind = kCurveImpedance;
    EXPECT_EQ(DefaultMeasurementTitle(*m, {"Impedance: Impedance (1)"}), "Impedance (2)");
}

}  // namespace
}  // namespace srx
