#include "measure/settings_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "resources/string_ids.h"
#include "tests/native/measure/fake_wave_fs.h"

using namespace srx;
using srx::test::FakeWaveFs;

namespace {

constexpr double kC = 344.0;

MeasurementSettings Defaults(uint32_t rate) {
    MeasurementSettings ms{};
    ResetMeasurementDefaults(ms);
    ms.sampleRate = rate;
    ms.channels = 2;
    ms.bitsPerSample = 16;
    return ms;
}

void ExpectRefused(const PageCheck& r, SettingsField field, int message = kStrInvalidValues) {
    EXPECT_EQ(r.messageId, message);
    EXPECT_EQ(r.field, field);
}

// ---- Time-window geometry -------------------------------------------------

// Given two of microphone distance, reflection distance and window, the third.
TEST(TimeWindowTriangle, TheMissingValueIsDerived) {
    const TimeWindowTriangle t = SolveTimeWindowTriangle({1.0, 1.0, 0.0}, kC);
    EXPECT_NEAR(t.window, (2.0 * std::sqrt(1.25) - 1.0) / kC, 1e-12);
    EXPECT_NEAR(SolveTimeWindowTriangle({1.5, -1.0, ReflectionWindow(1.5, 0.8, kC)}, kC).d2, 0.8, 1e-9);

    // The microphone distance is searched on a centimetre grid: the first
    // distance whose window is shorter lies at most one step beyond.
    const double w = ReflectionWindow(1.234, 1.0, kC);
    const TimeWindowTriangle m = SolveTimeWindowTriangle({0.0, 1.0, w}, kC);
    EXPECT_GT(m.d1, 1.234);
    EXPECT_LE(m.d1, 1.244 + 1e-9);
    EXPECT_LT(ReflectionWindow(m.d1, 1.0, kC), w);
    // A window no distance up to 10 m gets below leaves d1 missing; two
    // missing values cannot be derived.
    EXPECT_LE(SolveTimeWindowTriangle({0.0, 3.0, 1e-6}, kC).d1, 0.0);
    const TimeWindowTriangle two = SolveTimeWindowTriangle({1.0, 0.0, 0.0}, kC);
    EXPECT_EQ(two.d2, 0.0);
    EXPECT_EQ(two.window, 0.0);
    EXPECT_EQ(FormatCentimetres(1.23456), "123.46");
    EXPECT_EQ(FormatMilliseconds(0.0035938), "3.5938");
}

// ---- Pages ---------------------------------------------------------------------

TEST(SettingsPages, SheetPassesAFreshSettingAndRunsThePagesInOrder) {
    MeasurementSettings ms = Defaults(96000);
    EXPECT_TRUE(CheckSettingsSheet(ms, false).ok());
    // The automatic starts were filled in from their windows.
    EXPECT_DOUBLE_EQ(+ms.mlsStart, 100.0);
    EXPECT_DOUBLE_EQ(+ms.spikeLength, 1.0 / 96000);

    // At 44.1 kHz the stored 47850 Hz stops are beyond the limit: the gated
    // page refuses first; easy mode has no such page and reaches impedance.
    ms = Defaults(44100);
    ExpectRefused(CheckSettingsSheet(ms, false), SettingsField::GatedStop);
    ms = Defaults(44100);
    ExpectRefused(CheckSettingsSheet(ms, true), SettingsField::ImpedanceStop);
}

// Deriving the window and refusing an offset beyond it run through the
// sheet in the win32 settings-sheet test; here the bounds of each mode.
TEST(SettingsPages, TimeWindowPageBoundsTheOffsetAndNeedsTheDistances) {
    MeasurementSettings ms = Defaults(44100);
    ms.flags |= kMsfNearField;
    ms.timeWindowOffset = 0.15;
    ExpectRefused(CheckTimeWindowPage(ms), SettingsField::TimeWindowOffset);
    EXPECT_DOUBLE_EQ(+ms.timeWindowOffset, 0.1);
    ms.timeWindowOffset = -0.001;
    ExpectRefused(CheckTimeWindowPage(ms), SettingsField::TimeWindowOffset);
    EXPECT_EQ(+ms.timeWindowOffset, 0.0);
    EXPECT_TRUE(CheckTimeWindowPage(ms).ok());

    ms.flags &= ~kMsfNearField;
    ms.micDistance = 0.0;
    ms.reflectionDistance = 0.0;
    ExpectRefused(CheckTimeWindowPage(ms), SettingsField::MicDistance);
}

// The gated page's own refusal of a stop above the rate's limit is in the
// win32 settings-sheet test; the start/stop check follows the menu mode.
TEST(SettingsPages, StartStopCheckFollowsTheMenuMode) {
    MeasurementSettings ms = Defaults(44100);
    ms.gatedStop = 30000;
    ExpectRefused(CheckStartStop(ms, false), SettingsField::GatedStop, kStrCheckStartStop);
    // Easy mode checks the order of the two only.
    EXPECT_TRUE(CheckStartStop(ms, true).ok());
    ms.gatedStop = 50;
    ExpectRefused(CheckStartStop(ms, true), SettingsField::GatedStop, kStrCheckStartStop);
}

TEST(SettingsPages, AutomaticStartsFollowTheWindowAndRangesHold) {
    MeasurementSettings ms = Defaults(44100);
    ms.sweepStop = ms.gatedStop = 20000;
    ms.timeWindow = 0.005;  // 1 / window = 200 Hz
    ms.gatedStart = 120;
    EXPECT_TRUE(CheckGatedSweepPage(ms).ok());
    EXPECT_DOUBLE_EQ(+ms.gatedStart, 200.0);

    // A refused value is reset to its bound.
    ms.sweepStop = 25000;
    ExpectRefused(CheckGatedSweepPage(ms), SettingsField::SweepStop);
    EXPECT_EQ(+ms.sweepStop, 22000.0);

    // The waterfall takes the global window when asked to.
    ms = Defaults(44100);
    ms.timeWindow = 0.002;
    EXPECT_TRUE(CheckWaterfallPage(ms).ok());
    EXPECT_DOUBLE_EQ(+ms.waterfallStart, 500.0);

    ms.timeWindow = 0.0;
    ExpectRefused(CheckWaterfallPage(ms), SettingsField::TimeWindow);

    ms.flags &= ~kMsfWaterfallSameLength;
    ms.waterfallLength = 0.15;
    ExpectRefused(CheckWaterfallPage(ms), SettingsField::WaterfallLength);
    EXPECT_EQ(+ms.waterfallLength, 0.1);

    // An impedance curve may start at 10 Hz, where woofers resonate.
    ms = Defaults(44100);
    ms.impedanceStart = 10;
    ms.impedanceStop = 20000;
    EXPECT_TRUE(CheckImpedancePage(ms).ok());
    ms.impedanceStart = 9;
    ExpectRefused(CheckImpedancePage(ms), SettingsField::ImpedanceStart);
    EXPECT_EQ(+ms.impedanceStart, 10.0);
}

TEST(SettingsPages, MlsWindowIsLimitedBySequenceTenMsAndGlobalWindow) {
    MeasurementSettings ms = Defaults(44100);
    ms.flags |= kMsfNearField;
    ms.mlsOrder = 10;  // 1023 / 44100 = 23.2 ms, the 10 ms bound is tighter
    ms.mlsWindow = 0.05;
    EXPECT_TRUE(CheckMlsPage(ms).ok());
    EXPECT_DOUBLE_EQ(+ms.mlsWindow, 0.01);

    ms.sampleRate = 192000;  // 1023 / 192000 = 5.3 ms
    ms.mlsWindow = 0.01;
    EXPECT_TRUE(CheckMlsPage(ms).ok());
    EXPECT_DOUBLE_EQ(+ms.mlsWindow, 1023.0 / 192000);

    ms = Defaults(44100);
    ms.flags &= ~kMsfNearField;
    ms.timeWindow = 0.004;
    EXPECT_TRUE(CheckMlsPage(ms).ok());
    EXPECT_DOUBLE_EQ(+ms.mlsWindow, 0.004);
    EXPECT_DOUBLE_EQ(+ms.mlsStart, 250.0);  // automatic start: 1 / window
}

// The MLS and spike pages share one rule table: one case per rule.
TEST(SettingsPages, ImpulsePageFrequencyRules) {
    MeasurementSettings ms = Defaults(44100);
    ms.flags &= ~(kMsfMlsAutoStart | kMsfMlsAutoStop);
    ms.mlsStart = 80;
    ms.mlsStop = 20000;
    ExpectRefused(CheckMlsPage(ms), SettingsField::MlsStart);
    EXPECT_EQ(+ms.mlsStart, 100.0);
    ms.mlsStop = 99;  // not above 1 / window
    ExpectRefused(CheckMlsPage(ms), SettingsField::MlsStop);
    EXPECT_EQ(+ms.mlsStop, 22000.0);

    // An automatic stop is the rate's limit, so a start above it is refused.
    ms.flags |= kMsfMlsAutoStop;
    ms.mlsStart = 22000;
    ExpectRefused(CheckMlsPage(ms), SettingsField::MlsStart);
    EXPECT_DOUBLE_EQ(+ms.mlsStart, 100.0);  // 1 / 10 ms
}

TEST(SettingsPages, CompensationOfferNeedsAllFourMissing) {
    MeasurementSettings ms = Defaults(44100);
    FakeWaveFs fs;
    EXPECT_TRUE(CompensationMissing(ms, "P\\", fs));
    std::string spike;
    CompensationFileName(ms, "P\\", &spike, CompensationStimulus::Spike, false, 13, fs);
    fs.files.insert(spike);
    EXPECT_FALSE(CompensationMissing(ms, "P\\", fs));

    FakeWaveFs none;
    ms.flags |= kMsfProbeCompensation;
    EXPECT_FALSE(CompensationMissing(ms, "P\\", none));
}

// ---- Advanced sound-card values ------------------------------------------------

TEST(AdvancedSoundcard, AllFourMustBeInRange) {
    const AdvancedSoundcardValues good{8, 999, 25.0, -6.0};
    EXPECT_TRUE(AdvancedValuesAcceptable(good));
    auto with = [&](auto edit) {
        AdvancedSoundcardValues v = good;
        edit(v);
        return AdvancedValuesAcceptable(v);
    };
    EXPECT_FALSE(with([](auto& v) { v.stopDelayMs = 1000; }));
    EXPECT_FALSE(with([](auto& v) { v.waveformLevelDb = NAN; }));
}

// ---- Confirmation ------------------------------------------------------------------

TEST(Confirmation, OnlyListedChangesOutdateCachedWaves) {
    const MeasurementSettings before = Defaults(44100);
    using Edit = std::function<void(MeasurementSettings&)>;
    // One of each kind: the recording format, the level and timing of every
    // stimulus, a stimulus's own shape, a flag that changes the files.
    const Edit outdating[] = {
        [](auto& m) { m.sampleRate = 48000; },
        [](auto& m) { m.waveformLevelDb = -3; },
        [](auto& m) { m.mlsOrder = 12; },
        [](auto& m) { m.flags ^= kMsfMlsPreEmphasis; },
    };
    for (size_t i = 0; i < std::size(outdating); ++i) {
        MeasurementSettings after = before;
        outdating[i](after);
        EXPECT_TRUE(WaveFilesOutdated(before, after)) << "change " << i;
    }
    const Edit keeping[] = {
        [](auto& m) { m.flags ^= kMsfNearField; },
        [](auto& m) { m.thdHarmonics = 0x80000001; },
    };
    for (size_t i = 0; i < std::size(keeping); ++i) {
        MeasurementSettings after = before;
        keeping[i](after);
        EXPECT_FALSE(WaveFilesOutdated(before, after)) << "change " << i;
    }
}

TEST(Confirmation, ThdChangeAndProbeNeedsStereo) {
    MeasurementSettings a = Defaults(44100), b = a;
    EXPECT_FALSE(ThdHarmonicsChanged(a, b));
    b.thdHarmonics = 0x80000003;
    EXPECT_TRUE(ThdHarmonicsChanged(a, b));

    a.flags |= kMsfProbeCompensation;
    FinishConfirmedSettings(a);
    EXPECT_TRUE(a.flags & kMsfProbeCompensation);
    a.channels = 1;
    FinishConfirmedSettings(a);
    EXPECT_FALSE(a.flags & kMsfProbeCompensation);
}

}  // namespace
