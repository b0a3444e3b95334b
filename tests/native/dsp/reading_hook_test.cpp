#include <gtest/gtest.h>

#include <cmath>

#include "data/native_files.h"
#include "dsp/min_phase.h"
#include "dsp/numeric.h"
#include "tests/native/test_support.h"

using namespace srx;

// A stored frequency response holds only its levels and wrapped phase; the
// minimum phase and the group delay the graphs show must come back derived
// from them, not as the zeros the file holds.
TEST(ReadingHook, ReadFrequencyResponseGetsItsMinimumPhaseAndGroupDelay) {
    const test::ScratchDir scratch;
    auto m = NewMeasurement(kCurveFrequencyResponse);
    ASSERT_TRUE(m);
    // A first-order high-pass at 200 Hz (minimum phase atan(fc/f)) behind a
    // 0.5 ms delay.
    const double delay = 0.0005;
    for (double f = 20; f <= 20000; f *= std::pow(2.0, 1.0 / 24)) {
        const double x = f / 200.0;
        const double level = 20 * std::log10(x / std::sqrt(1 + x * x));
        const double phase = WrapRadians(std::atan(1 / x) - 2 * kPi * f * delay);
        ASSERT_TRUE(
            AddCurvePoint(*m, f, level, phase, -1000, -1000, 0, -1000, -1000, -1000, -1000, -1000, -1000, -1000));
    }
    m->h.flags |= kMesPhase;
    const std::string path = scratch.Path("hook.mes");
    ASSERT_TRUE(SaveMeasurement(*m, path, true).ok());

    InstallMinimumPhaseOnReading();
    auto back = NewMeasurement(kCurveFrequencyResponse);
    ASSERT_TRUE(LoadMeasurement(path, *back).ok());
    SetMinimumPhaseHook(nullptr);
    EXPECT_TRUE(back->h.flags & kMesMinimumPhaseCalculated);
    int checked = 0;
    for (const CurvePoint& p : back->points) {
        if (p.frequency < 400 || p.frequency > 5000) continue;
        EXPECT_NEAR(p.value[kSlotMinimumPhase], std::atan(200.0 / p.frequency), 0.05) << p.frequency;
        // The high-pass adds fc / (f^2 + fc^2) / (2 pi) to the delay.
        const double want = delay + 200.0 / (p.frequency * p.frequency + 200.0 * 200.0) / (2 * kPi);
        EXPECT_NEAR(p.value[kSlotGroupDelay], want, delay * 0.04) << p.frequency;
        ++checked;
    }
    EXPECT_GT(checked, 50);
}
