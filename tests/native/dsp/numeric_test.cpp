#include "dsp/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace srx;

// The normal paths run under every level and phase of the analysis tests;
// here the edges where the library functions would fail.
TEST(Numeric, GuardedFunctionsClampInsteadOfFailing) {
    EXPECT_EQ(SafeLog10(0.0), -38.0);
    EXPECT_EQ(SafeLog10(1e39), 38.0);
    EXPECT_EQ(SafeLn(1e31), 30.0);
    EXPECT_TRUE(std::isfinite(SafeLn(0.0)));
    EXPECT_EQ(SafeExp(31.0), 1.0686474e13);
    EXPECT_EQ(SafeExp(-100.0), 1e-38);
    // Roots stay within 1e-19 .. 1e19, so a level of 20*log10 stays finite.
    EXPECT_DOUBLE_EQ(SafeSqrt(1e-80), 1e-19);
    EXPECT_DOUBLE_EQ(SafeSqrt(1e80), 1e19);
    EXPECT_EQ(Magnitude(0.0, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(Magnitude(1e-40, 0.0), 1e-19);
    EXPECT_EQ(SafeAtan2(0.0, 0.0), 0.0);
    // Beyond the float range the largest float of that sign, not infinity.
    constexpr float kMax = std::numeric_limits<float>::max();
    EXPECT_EQ(SaturatedFloat(1e39), kMax);
    EXPECT_EQ(SaturatedFloat(-HUGE_VAL), -kMax);
    EXPECT_EQ(SaturatedFloat(-0.1), -0.1f);
    EXPECT_TRUE(std::isnan(SaturatedFloat(NAN)));
}

TEST(Numeric, WrappingKeepsTheBoundariesAndFoldsWholeTurns) {
    EXPECT_EQ(WrapRadians(kPi), kPi);
    EXPECT_EQ(WrapRadians(-kPi), -kPi);
    EXPECT_NEAR(WrapRadians(-2.5 * kPi), -0.5 * kPi, 1e-12);
    EXPECT_NEAR(WrapRadians(0.25 + 40 * kPi), 0.25, 1e-9);
    EXPECT_EQ(WrapDegrees(-540.0), -180.0);
    EXPECT_EQ(WrapDegrees(180.0), 180.0);
    EXPECT_NEAR(WrapDegrees(-360.0 * 100000 - 190.0), 170.0, 1e-9);
}

TEST(Numeric, RoundingParsingAndLog2CeilingTakeTheirEdges) {
    EXPECT_EQ(RoundHalfAway(2.5), 3.0);
    EXPECT_EQ(RoundHalfAway(-2.5), -3.0);
    EXPECT_DOUBLE_EQ(RoundToDecimals(-1.25, 1), -1.3);
    EXPECT_DOUBLE_EQ(RoundToDecimals(1234.5, -2), 1200.0);

    EXPECT_EQ(Log2Ceiling(-4), 0);
    EXPECT_EQ(Log2Ceiling(1024), 10);
    EXPECT_EQ(Log2Ceiling(1025), 11);
    EXPECT_EQ(Log2Ceiling(1LL << 40), 31);

    // Parsing accepts a comma and stops at the first stray character.
    EXPECT_EQ(ParseDecimal("1,25"), 1.25);
    EXPECT_EQ(ParseDecimal("  -3.5e2 Hz"), -350.0);
    EXPECT_EQ(ParseDecimal("abc"), 0.0);
    EXPECT_EQ(ParseDecimal(""), 0.0);
    std::string longText(5000, '7');
    EXPECT_GT(ParseDecimal(longText.c_str()), 1e100);  // cut at 1023 characters, no overflow
}

TEST(Numeric, InterpolationIsAStraightLineOnItsAxis) {
    // The geometric mean lies half way on a log axis, either way round.
    EXPECT_NEAR(InterpolateLogF(200.0, 100.0, 0.0, 400.0, 6.0), 3.0, 1e-12);
    EXPECT_NEAR(InterpolateLogF(200.0, 400.0, 6.0, 100.0, 0.0), 3.0, 1e-12);
    EXPECT_EQ(InterpolateLogF(400.0, 100.0, -7.0, 400.0, 9.0), 9.0);
    // Equal frequencies give y1 instead of dividing by zero.
    EXPECT_EQ(InterpolateLogF(150.0, 100.0, 1.0, 100.0, 2.0), 1.0);
    // Beyond either end the line goes on (an octave beyond goes a whole step).
    EXPECT_NEAR(InterpolateLogF(800.0, 200.0, 0.0, 400.0, 6.0), 12.0, 1e-12);
    EXPECT_NEAR(InterpolateLogF(100.0, 200.0, 0.0, 400.0, 6.0), -6.0, 1e-12);

    EXPECT_DOUBLE_EQ(InterpolateLinear(0.35, 0.3, 10.0, 0.5, 20.0), 12.5);
    EXPECT_EQ(InterpolateLinear(9.0, 1.0, 5.0, 1.0, 6.0), 5.0);
}

TEST(Numeric, PlaneGeometryOnAScreenWhoseYAxisPointsDown) {
    EXPECT_DOUBLE_EQ(PointDistance(0, 0, 3, 4), 5.0);
    double x, y;
    PolarPoint(10, 20, 2, kPi / 2, &x, &y);
    EXPECT_NEAR(x, 10.0, 1e-12);
    EXPECT_NEAR(y, 22.0, 1e-12);
    // Up and to the right on screen is quadrant 0, then counter-clockwise.
    EXPECT_EQ(QuadrantOf(0, 0, 1, -1), 0);
    EXPECT_EQ(QuadrantOf(0, 0, -1, -1), 1);
    EXPECT_EQ(QuadrantOf(0, 0, -1, 1), 2);
    EXPECT_EQ(QuadrantOf(0, 0, 1, 1), 3);
    EXPECT_NEAR(DirectionAngle(0, 0, 1, -1), kPi / 4, 1e-12);
    EXPECT_NEAR(DirectionAngle(0, 0, -1, 1), 5 * kPi / 4, 1e-12);
    EXPECT_EQ(DirectionAngle(0, 0, 0, -3), kPi / 2);
    EXPECT_EQ(DirectionAngle(5, 5, 5, 5), 0.0);
}
