#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "data/native_files.h"
#include "dsp/min_phase.h"
#include "dsp/numeric.h"

using namespace srx;

// A stored frequency response comes back with its minimum phase computed
// from the levels, not the zeros the file holds for it.
TEST(ReadingHook, ReadFrequencyResponseGetsItsMinimumPhase) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    ASSERT_TRUE(m);
    // A first-order high-pass at 200 Hz: its minimum phase is atan(fc/f).
    for (double f = 20; f <= 20000; f *= std::pow(2.0, 1.0 / 24)) {
        double x = f / 200.0;
        double level = 20 * std::log10(x / std::sqrt(1 + x * x));
        ASSERT_TRUE(AddCurvePoint(*m, f, level, std::atan(1 / x), -1000, -1000, 0, -1000, -1000,
                                  -1000, -1000, -1000, -1000, -1000));
    }
    m->h.flags |= kMesPhase;
    auto path = (std::filesystem::temp_directory_path() / "srx_hook_test.mes").string();
    ASSERT_TRUE(SaveMeasurement(*m, path, true).ok());

    InstallMinimumPhaseOnReading();
    auto back = NewMeasurement(kCurveFrequencyResponse);
    ASSERT_TRUE(LoadMeasurement(path, *back).ok());
    std::filesystem::remove(path);
    EXPECT_TRUE(back->h.flags & kMesMinimumPhaseCalculated);
    int checked = 0;
    for (const CurvePoint& p : back->points) {
        if (p.frequency < 400 || p.frequency > 5000) continue;
        EXPECT_NEAR(p.value[kSlotMinimumPhase], std::atan(200.0 / p.frequency), 0.05) << p.frequency;
        ++checked;
    }
    EXPECT_GT(checked, 50);
    SetMinimumPhaseHook(nullptr);
}

// The file holds only the wrapped phase; the group delay the graphs show
// must come back derived from it.
TEST(ReadingHook, ReadFrequencyResponseGetsItsGroupDelay) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    ASSERT_TRUE(m);
    const double delay = 0.0005;
    for (double f = 20; f <= 20000; f *= std::pow(2.0, 1.0 / 24)) {
        double phase = std::remainder(-2 * 3.141592653589793 * f * delay, 2 * 3.141592653589793);
        ASSERT_TRUE(AddCurvePoint(*m, f, 80.0, phase, -1000, -1000, 0, -1000, -1000, -1000, -1000,
                                  -1000, -1000, -1000));
    }
    m->h.flags |= kMesPhase;
    auto path = (std::filesystem::temp_directory_path() / "srx_hook_gd_test.mes").string();
    ASSERT_TRUE(SaveMeasurement(*m, path, true).ok());

    InstallMinimumPhaseOnReading();
    auto back = NewMeasurement(kCurveFrequencyResponse);
    ASSERT_TRUE(LoadMeasurement(path, *back).ok());
    std::filesystem::remove(path);
    SetMinimumPhaseHook(nullptr);
    int checked = 0;
    for (const CurvePoint& p : back->points) {
        if (p.frequency < 100 || p.frequency > 10000) continue;
        EXPECT_NEAR(p.value[kSlotGroupDelay], delay, delay * 0.01) << p.frequency;
        ++checked;
    }
    EXPECT_GT(checked, 50);
    EXPECT_NEAR(back->maxGroupDelay, delay, delay * 0.05);
}
