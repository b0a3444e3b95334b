// The sound-card checks run end to end on the virtual loudspeaker: the
// start-up test and the SPL calibration's gain against the simulation's
// truth, their failures, and the start-up choice of a sound card.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "audio/virtual_device.h"
#include "audio/wave_engine.h"
#include "measure/measurement_settings.h"
#include "measure/soundcard_check.h"
#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

DuplexRun* g_run = nullptr;
int g_owner = 0;

// The dialog's part: every message of the owner goes to the run.
void ToRun(void*, unsigned message, uintptr_t first, intptr_t second) {
    if (g_run) g_run->OnNotify(message, first, second);
}

class SoundcardCheck : public test::ScratchTest {
protected:
    void SetUp() override {
        device_.SetOwnerHandler(&ToRun);
        WaveSetBackend(&device_);
        ResetMeasurementDefaults(ms_);
        ConfigureVirtualLoudspeaker(ms_, -1);  // the device's own id 0
        g_run = &run_;
    }
    void TearDown() override {
        g_run = nullptr;
        WaveShutdown();
        device_.Pump(10000);
        WaveSetBackend(nullptr);
    }
    DuplexRunPlan Plan(DuplexRunPlan p) {
        p.stimulusPath = (Dir() / "pCheck.wav").string();
        p.responsePath = (Dir() / "rCheck.wav").string();
        return p;
    }
    // Pumps the device until the run has ended.
    void RunToEnd() {
        for (int i = 0; i < 100000 && run_.Running(); ++i)
            if (device_.Pump(1) == 0) break;
    }
    VirtualLoudspeaker device_;
    MeasurementSettings ms_{};
    DuplexRun run_;
};

TEST_F(SoundcardCheck, CardTestRecordsAtLeastTheStimulusAndCleansUp) {
    for (int channels : {1, 2})
        for (int bits : {16, 24}) {
            ms_.channels = uint16_t(channels);
            ms_.bitsPerSample = uint16_t(bits);
            const DuplexRunPlan plan = Plan(CardTestPlan(ms_, Folder()));
            // 0.25 s of silence and the 100 ms stop delay + 24 ms.
            EXPECT_EQ(plan.StimulusFrames(), uint64_t(std::llround(0.374 * 44100)));
            ASSERT_EQ(run_.Start(&g_owner, plan), 0) << channels << " " << bits;
            EXPECT_TRUE(run_.Running());
            RunToEnd();
            EXPECT_FALSE(run_.Running());
            EXPECT_EQ(run_.Failure(), 0);
            EXPECT_GE(run_.RecordedFrames(), plan.StimulusFrames());
            EXPECT_FALSE(WaveGetState().initialised);
            EXPECT_FALSE(fs::exists(plan.stimulusPath));
            EXPECT_FALSE(fs::exists(plan.responsePath));
        }
}

TEST_F(SoundcardCheck, SplCalibrationFindsTheChainGainOfTheSimulation) {
    VirtualSetup setup;     // acoustic: loudspeaker filters, resonance, gain 0.5
    setup.latency = 11025;  // a quarter of a second, as a sound server may add
    device_.SetSetup(setup);
    ms_.waveformLevelDb = -12;
    run_.KeepFiles(true);
    const DuplexRunPlan plan = Plan(SplCalibrationPlan(ms_, Folder()));
    EXPECT_DOUBLE_EQ(plan.toneLevelDb, -12);
    ASSERT_EQ(run_.Start(&g_owner, plan), 0);
    RunToEnd();
    ASSERT_EQ(run_.Failure(), 0);
    const double truth = std::abs(VirtualTruth(setup, 44100).Response(1000));
    EXPECT_NEAR(20 * std::log10(run_.ToneGain()), 20 * std::log10(truth), 0.05);
    EXPECT_NEAR(run_.ToneAmplitude(), truth * std::pow(10.0, -12 / 20.0), 1e-3);
    // A response through the same chain then reads the meter's value at 1 kHz.
    const double offset = SplCalibrationOffset(94.0, run_.ToneGain());
    EXPECT_NEAR(20 * std::log10(truth) + offset, 94.0, 0.05);
    // The tone sits where the plan and the latency put it: nothing at 1 kHz
    // before, the whole tone after.
    EXPECT_LT(ToneAmplitudeInFile(plan.responsePath, 1000, 0.0, 0.34), 1e-4);
    EXPECT_NEAR(ToneAmplitudeInFile(plan.responsePath, 1000, 0.4, 0.6), run_.ToneAmplitude(), 1e-3);
    EXPECT_EQ(ToneAmplitudeInFile(plan.responsePath, 1000, 0.2, 99.0), 0.0);  // beyond the end
}

TEST_F(SoundcardCheck, FailuresAreReportedAndLeaveTheEngineFree) {
    // Never configured.
    MeasurementSettings fresh{};
    ResetMeasurementDefaults(fresh);
    EXPECT_EQ(run_.Start(&g_owner, Plan(CardTestPlan(fresh, ""))), kStrNotConfigured);

    // A stimulus that cannot be written.
    DuplexRunPlan plan = Plan(CardTestPlan(ms_, ""));
    plan.stimulusPath = (Dir() / "missing folder" / "p.wav").string();
    EXPECT_EQ(run_.Start(&g_owner, plan), kStrCantCreateStimulus);
    EXPECT_FALSE(WaveGetState().initialised);

    // (A busy output is told by the win32 start-up card test.)
    // A run that never ends (nobody pumps) is aborted: can't record, and
    // the engine is free for the next one.
    plan = Plan(CardTestPlan(ms_, ""));
    ASSERT_EQ(run_.Start(&g_owner, plan), 0);
    run_.Abort();
    EXPECT_FALSE(run_.Running());
    EXPECT_EQ(run_.Failure(), kStrCantRecord);
    EXPECT_FALSE(WaveGetState().initialised);
    device_.Pump(10000);  // stale notices of the aborted run change nothing
    EXPECT_EQ(run_.Failure(), kStrCantRecord);
    ASSERT_EQ(run_.Start(&g_owner, plan), 0);
    RunToEnd();
    EXPECT_EQ(run_.Failure(), 0);
}

class Cards : public WaveDeviceBackend {
public:
    int outs = 1, ins = 1;
    int DeviceCount(WaveDirection d) const override { return d == WaveDirection::kOutput ? outs : ins; }
    std::string DeviceName(WaveDirection d, int id) const override {
        return id >= 0 && id < DeviceCount(d) ? "Card" : "";
    }
    bool SupportsFormat(WaveDirection, int, const WaveFormat&) const override { return true; }
    int Open(WaveDirection, int, const WaveFormat&, const WaveNoticeTarget&,
             std::unique_ptr<WaveDeviceHandle>&) override {
        return kWaveDeviceBusy;
    }
    int CreateNoticeWindow(void*, void*) override { return 0; }
    void DestroyNoticeWindow() override {}
    void SetWindowClosedHandler(void (*)()) override {}
    void PostToOwner(void*, unsigned, uintptr_t, intptr_t) override {}
};

TEST(StartupSoundcard, FreshInstallationsWithoutACardUseTheVirtualLoudspeaker) {
    MeasurementSettings ms{};
    ResetMeasurementDefaults(ms);
    VirtualLoudspeaker loudspeaker;
    Cards cards;
    cards.outs = cards.ins = 0;
    WaveDeviceRouter none(&cards, &loudspeaker);
    EXPECT_EQ(ChooseStartupSoundcard(ms, none, none.VirtualId()), StartupSoundcard::kUseVirtual);
    ConfigureVirtualLoudspeaker(ms, none.VirtualId());
    EXPECT_EQ(ms.outputDevice, 1u);
    EXPECT_EQ(ms.inputDevice, 1u);
    EXPECT_EQ(ChooseStartupSoundcard(ms, none, none.VirtualId()), StartupSoundcard::kCardTest);
    // That the device opens the configuration is seen by the win32 start-up
    // test, which runs on it.

    // A card that plays and records: the user chooses.
    ResetMeasurementDefaults(ms);
    cards.outs = cards.ins = 1;
    WaveDeviceRouter one(&cards, &loudspeaker);
    EXPECT_EQ(ChooseStartupSoundcard(ms, one, one.VirtualId()), StartupSoundcard::kOpenSettings);
    // Only a playback device is no full-duplex card: the virtual one it is.
    cards.ins = 0;
    EXPECT_EQ(ChooseStartupSoundcard(ms, one, one.VirtualId()), StartupSoundcard::kUseVirtual);
    // Nothing records at all.
    WaveDeviceRouter cardsOnly(&cards, nullptr);
    EXPECT_EQ(ChooseStartupSoundcard(ms, cardsOnly, -1), StartupSoundcard::kNoInput);
}

}  // namespace
}  // namespace srx
