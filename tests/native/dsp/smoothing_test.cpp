#include "dsp/smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace srx {
namespace {

struct Curve {
    std::vector<double> f, level, phase;
    explicit Curve(int perOctave, int octaves = 6) {
        for (int i = 0; i <= perOctave * octaves; ++i) {
            f.push_back(100 * std::pow(2.0, double(i) / perOctave));
            level.push_back(0);
            phase.push_back(0.01 * i);  // a straight line on the log axis
        }
    }
    void Smooth(int n, int method) { SmoothTable(f.data(), level.data(), phase.data(), f.size(), n, method); }
};

TEST(SmoothTable, SpikesSpreadOrVanishAndStraightLinesStay) {
    Curve mean(24), median(24), absolute(24);
    for (Curve* c : {&mean, &median, &absolute}) c->level[72] = 12;
    mean.Smooth(3, kSmoothAveraged);
    median.Smooth(3, kSmoothMedian);
    absolute.Smooth(3, kSmoothAbsolute);
    // An anchor's band holds four points: the mean spreads the spike over
    // its neighbours, the median drops it.
    EXPECT_GT(mean.level[72], 0.5);
    EXPECT_LT(mean.level[72], 3);
    EXPECT_GT(mean.level[70], 0);
    for (double v : median.level) EXPECT_NEAR(v, 0, 1e-12);
    // Straight lines between anchors: a straight line stays (the bands of
    // the other methods are half open and lean half a point low).
    for (size_t i = 0; i < absolute.f.size(); ++i) EXPECT_NEAR(absolute.phase[i], 0.01 * double(i), 1e-9) << i;
    for (size_t i = 0; i < mean.f.size(); ++i) EXPECT_NEAR(mean.phase[i], 0.01 * double(i), 0.015) << i;

    // A curve no denser than the smoothing has nothing to smooth.
    Curve third(3);
    third.level = {0, 5, -3, 8, 1, 0, 2, 4, -6, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::vector<double> before = third.level;
    third.Smooth(3, kSmoothAveraged);
    EXPECT_EQ(third.level, before);
    // Nothing to do, nothing done: one point, N < 1, an unknown method.
    third.Smooth(0, kSmoothAveraged);
    third.Smooth(3, 7);
    EXPECT_EQ(third.level, before);
    EXPECT_EQ(CurvePointsPerOctave(25, 100, 400), 12);
    EXPECT_EQ(CurvePointsPerOctave(5, 100, 100), 0);
}

}  // namespace
}  // namespace srx
