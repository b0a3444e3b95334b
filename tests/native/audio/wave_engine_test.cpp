#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "audio/virtual_device.h"
#include "audio/wave_engine.h"
#include "audio/wave_error.h"
#include "audio/wave_file.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

// Frames of a stimulus as 32-bit integers, channel-interleaved.
struct Frames {
    int channels = 1;
    std::vector<int32_t> samples;
    std::size_t Count() const { return samples.size() / std::size_t(channels); }
};

Frames RandomFrames(std::size_t count, int channels, int bits, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> d(-(1 << 30), (1 << 30) - 1);
    Frames f;
    f.channels = channels;
    for (std::size_t i = 0; i < count * std::size_t(channels); ++i) {
        // Keep only the bits the file can hold, so the file gives the value back.
        const int32_t v = d(rng);
        f.samples.push_back(int32_t(uint32_t(v) & ~((1u << (32 - bits)) - 1)));
    }
    return f;
}

void WriteStimulus(const std::string& path, const Frames& f, int bits, uint32_t rate) {
    const FilePtr file(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(file);
    ASSERT_TRUE(WriteWaveHeader(file.get(), uint32_t(f.Count()), rate, uint16_t(f.channels), uint16_t(bits)));
    for (std::size_t i = 0; i < f.Count(); ++i) {
        const int32_t l = f.samples[i * f.channels];
        const int32_t r = f.channels > 1 ? f.samples[i * f.channels + 1] : 0;
        ASSERT_TRUE(WriteSampleFrame(file.get(), l, r, f.channels, bits));
    }
}

// The response as 32-bit integers (each sample shifted to the top).
Frames ReadResponse(const std::string& path, WaveFormat& format) {
    Frames out;
    const FilePtr file = OpenForReading(path);
    if (!file) return out;
    const uint32_t bytes = ReadWaveHeader(file.get(), format);
    const int width = format.bitsPerSample / 8;
    out.channels = format.channels;
    std::vector<unsigned char> raw(bytes);
    if (bytes && std::fread(raw.data(), 1, bytes, file.get()) == bytes) {
        for (std::size_t i = 0; i + width <= raw.size(); i += std::size_t(width)) {
            uint32_t v = 0;
            for (int k = 0; k < width; ++k) v |= uint32_t(raw[i + std::size_t(k)]) << (8 * (4 - width + k));
            out.samples.push_back(int32_t(v));
        }
    }
    return out;
}

std::vector<std::pair<int, int>> g_notices;

// Behaves like a measurement dialog: hands every completion notice to the
// engine and closes the input once it has ended.
void DialogOwner(void* owner, unsigned message, uintptr_t first, intptr_t second) {
    g_notices.emplace_back(int(first), int(second));
    WaveHandleNotify(owner, message, first, second);
    if (second == kWaveNotifyInput) WaveCloseInput();
}

class WaveEngineTest : public test::ScratchTest {
protected:
    void SetUp() override {
        device_.SetOwnerHandler(&DialogOwner);
        WaveSetBackend(&device_);
        WaveSetBufferCount(8);
        g_notices.clear();
        ClearLastWaveError();
    }
    void TearDown() override {
        WaveShutdown();
        device_.Pump(10000);
        WaveSetBackend(nullptr);
    }

    VirtualLoudspeaker device_;
};

TEST_F(WaveEngineTest, StateRulesAnswerOne) {
    EXPECT_EQ(WaveOpenOutput(0, "x.wav"), 1);  // not initialised
    EXPECT_EQ(WaveShutdown(), 1);
    ASSERT_EQ(WaveInit(nullptr), 0);
    EXPECT_STREQ(LastWaveError(), "");
    EXPECT_EQ(WaveInit(nullptr), 1);
    EXPECT_STREQ(LastWaveError(), "WAVE have been initialised!");
    WavePlayFormat pf;
    EXPECT_EQ(WaveGetPlayFormat(pf), 1);
    EXPECT_EQ(WaveStartDuplex(), 1);
    // Notices of other messages are ignored.
    EXPECT_EQ(WaveHandleNotify(nullptr, 0x111, 1, 1), 0);
}

TEST_F(WaveEngineTest, BufferSizesAreRaisedAndCutToWholeFrames) {
    const Frames stim = RandomFrames(100, 1, 16, 1);
    WriteStimulus(Path("p.wav"), stim, 16, 44100);
    ASSERT_EQ(WaveInit(nullptr), 0);
    WaveSetInputBufferSize(100);
    WaveSetOutputBufferSize(100);
    WaveSetRecordFormat(24, 2, 44100);
    ASSERT_EQ(WaveOpenInput(0, Path("r.wav").c_str()), 0);
    EXPECT_EQ(WaveGetState().inputBufferBytes, 510u);
    EXPECT_EQ(+WaveGetState().recordFormat.blockAlign, 6);
    ASSERT_EQ(WaveOpenOutput(0, Path("p.wav").c_str()), 0);
    EXPECT_EQ(WaveGetState().outputBufferBytes, 512u);
    WavePlayFormat pf;
    ASSERT_EQ(WaveGetPlayFormat(pf), 0);
    EXPECT_EQ(pf.rate, 44100u);
}

TEST_F(WaveEngineTest, OpeningFailuresAnswerTheirCodes) {
    ASSERT_EQ(WaveInit(nullptr), 0);
    EXPECT_EQ(WaveOpenOutput(0, Path("missing.wav").c_str()), 1);
    EXPECT_STREQ(LastWaveError(), "Cannot read file!");

    WriteStimulus(Path("p32.wav"), RandomFrames(100, 1, 32, 2), 32, 44100);
    EXPECT_EQ(WaveOpenOutput(0, Path("p32.wav").c_str()), 1);  // the engine plays up to 24 bits
    EXPECT_FALSE(WaveGetState().outputOpen);

    WriteStimulus(Path("p.wav"), RandomFrames(100, 1, 16, 3), 16, 44100);
    EXPECT_EQ(WaveOpenOutput(7, Path("p.wav").c_str()), 2);  // no such device
    WaveSetRecordFormat(16, 1, 44100);
    ASSERT_EQ(WaveOpenInput(0, Path("r.wav").c_str()), 0);
    EXPECT_EQ(WaveOpenInput(0, Path("r2.wav").c_str()), 1);
    // The device refuses a second clock rate.
    WriteStimulus(Path("p48.wav"), RandomFrames(100, 1, 16, 4), 16, 48000);
    EXPECT_EQ(WaveOpenOutput(0, Path("p48.wav").c_str()), 2);
    EXPECT_FALSE(WaveGetState().outputOpen);
}

TEST_F(WaveEngineTest, ShortStimulusPlaysOneBufferAndEnds) {
    WriteStimulus(Path("p.wav"), RandomFrames(50, 2, 16, 5), 16, 44100);
    ASSERT_EQ(WaveInit(nullptr), 0);
    ASSERT_EQ(WaveOpenOutput(0, Path("p.wav").c_str()), 0);
    // Opening twice answers 1 and leaves the first opening playable.
    EXPECT_EQ(WaveOpenOutput(0, Path("p.wav").c_str()), 1);
    ASSERT_EQ(WaveStartPlayback(), 0);
    EXPECT_EQ(WaveGetState().outputQueued, 1);
    EXPECT_TRUE(WaveGetState().endOfStimulus);
    EXPECT_TRUE(WaveGetState().playing);
    device_.Pump();
    ASSERT_EQ(g_notices.size(), 1u);
    EXPECT_EQ(g_notices[0], std::make_pair(1, 1));
    EXPECT_FALSE(WaveGetState().playing);
    EXPECT_FALSE(WaveGetState().outputOpen);  // the dialog's WaveHandleNotify closed it
    EXPECT_EQ(device_.Clock(), 50u);
    EXPECT_STREQ(LastWaveError(), "");
}

class DuplexLatency : public WaveEngineTest, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(DuplexLatency, ResponseIsTheStimulusDelayedByTheLatencyExactly) {
    const auto [bits, channels] = GetParam();
    constexpr uint32_t kLatency = 333;
    device_.SetSetup(PureLatencySetup(kLatency));
    // Like every stimulus, it ends in a silence that outlasts the latency:
    // the end of the output is what ends the recording.
    const Frames stim = RandomFrames(20000, channels, bits, 7);
    Frames file = stim;
    file.samples.resize(file.samples.size() + 1000 * std::size_t(channels), 0);
    WriteStimulus(Path("p.wav"), file, bits, 48000);

    WaveDeviceSettings settings;
    settings.channels = channels, settings.bits = bits, settings.sampleRate = 48000;
    ASSERT_TRUE(WavePrepareMeasurement(nullptr, settings, -1, false).ok());
    WaveSetInputBufferSize(3000);  // several buffers per direction
    WaveSetOutputBufferSize(4000);
    ASSERT_EQ(WaveOpenInput(0, Path("r.wav").c_str()), 0);
    ASSERT_EQ(WaveOpenOutput(0, Path("p.wav").c_str()), 0);
    ASSERT_EQ(WaveStartDuplex(), 0);
    EXPECT_TRUE(WaveGetState().recording);
    EXPECT_EQ(WaveGetState().inputQueued, 8);
    device_.Pump();

    ASSERT_EQ(g_notices.size(), 2u);
    EXPECT_EQ(g_notices[0], std::make_pair(1, 1));
    EXPECT_EQ(g_notices[1], std::make_pair(1, 2));
    EXPECT_FALSE(WaveGetState().inputOpen);
    EXPECT_STREQ(LastWaveError(), "");

    WaveFormat format{};
    const Frames rec = ReadResponse(Path("r.wav"), format);
    EXPECT_EQ(+format.bitsPerSample, bits);
    EXPECT_EQ(+format.channels, channels);
    ASSERT_EQ(rec.Count(), file.Count());
    for (std::size_t i = 0; i < kLatency * std::size_t(channels); ++i) ASSERT_EQ(rec.samples[i], 0) << i;
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < stim.samples.size(); ++i)
        mismatches += rec.samples[i + kLatency * std::size_t(channels)] != stim.samples[i];
    EXPECT_EQ(mismatches, 0u);
    for (std::size_t i = (stim.Count() + kLatency) * std::size_t(channels); i < rec.samples.size(); ++i)
        ASSERT_EQ(rec.samples[i], 0) << i;  // the silence after the stimulus
}

INSTANTIATE_TEST_SUITE_P(Formats, DuplexLatency,
                         ::testing::Values(std::make_tuple(16, 1), std::make_tuple(16, 2), std::make_tuple(24, 1),
                                           std::make_tuple(24, 2)));

TEST_F(WaveEngineTest, SingleBufferKeepsThePartlyFilledLastBlock) {
    // With one input buffer the block that comes back after the stop is the
    // partly filled one; it belongs to the response.
    device_.SetSetup(PureLatencySetup(10));
    WaveSetBufferCount(1);
    const Frames stim = RandomFrames(1000, 1, 16, 9);
    WriteStimulus(Path("p.wav"), stim, 16, 44100);
    ASSERT_EQ(WaveInit(nullptr), 0);
    WaveSetRecordFormat(16, 1, 44100);
    WaveSetInputBufferSize(1500);
    WaveSetOutputBufferSize(600);
    ASSERT_EQ(WaveOpenInput(0, Path("r.wav").c_str()), 0);
    ASSERT_EQ(WaveOpenOutput(0, Path("p.wav").c_str()), 0);
    ASSERT_EQ(WaveStartDuplex(), 0);
    device_.Pump();
    ASSERT_EQ(g_notices.size(), 2u);
    EXPECT_EQ(g_notices[1], std::make_pair(1, 2));
    WaveFormat format{};
    const Frames rec = ReadResponse(Path("r.wav"), format);
    EXPECT_EQ(rec.Count(), 1000u);  // the output ended exactly at frame 1000
    for (std::size_t i = 0; i + 10 < rec.Count(); ++i) ASSERT_EQ(rec.samples[i + 10], stim.samples[i]);
}

#ifndef _WIN32
class FullDisk : public WaveEngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(FullDisk, AbortsTheRecordingWithoutAMessage) {
    if (!test::FileSizeLimit::Allows(65536)) GTEST_SKIP() << "file size limit too low";
    WaveSetBufferCount(GetParam());
    WriteStimulus(Path("p.wav"), RandomFrames(20000, 1, 16, 11), 16, 44100);
    ASSERT_EQ(WaveInit(nullptr), 0);
    WaveSetRecordFormat(16, 1, 44100);
    WaveSetInputBufferSize(2000);
    ASSERT_EQ(WaveOpenInput(0, Path("r.wav").c_str()), 0);
    ASSERT_EQ(WaveOpenOutput(0, Path("p.wav").c_str()), 0);
    ASSERT_EQ(WaveStartDuplex(), 0);

    {
        const test::FileSizeLimit full(kWaveHeaderBytes + 5000);  // room for two blocks and a half
        device_.Pump();
    }

    ASSERT_FALSE(g_notices.empty());
    EXPECT_NE(std::find(g_notices.begin(), g_notices.end(), std::make_pair(4, 2)), g_notices.end());
    EXPECT_EQ(std::count_if(g_notices.begin(), g_notices.end(), [](auto n) { return n.second == 2; }), 1);
    EXPECT_STREQ(LastWaveError(), "");
    EXPECT_FALSE(WaveGetState().inputOpen);
    // The file still closes to the blocks that were written whole.
    WaveFormat format{};
    const Frames rec = ReadResponse(Path("r.wav"), format);
    EXPECT_EQ(rec.samples.size() * 2, 4000u);
}

// With one buffer nothing else is queued when the write fails: the abort
// must still end the recording.
INSTANTIATE_TEST_SUITE_P(BufferCounts, FullDisk, ::testing::Values(8, 1));
#endif

bool g_compensationAsked = false, g_noticeShown = false, g_mixerImpedance = false;

TEST_F(WaveEngineTest, PrepareMeasurementChecksAndSetsTheFormat) {
    WaveDeviceSettings s;
    EXPECT_EQ(WavePrepareMeasurement(nullptr, s, 0, false).stringId, kStrNotConfigured);
    EXPECT_FALSE(WaveGetState().initialised);

    WavePrepareHooks hooks;
    hooks.compensationExists = [](int) { return g_compensationAsked = true, false; };
    hooks.showNoCompensation = [](void*) { g_noticeShown = true; };
    hooks.loadMixerLevels = [](bool impedance) { g_mixerImpedance = impedance; };
    s.channels = 1, s.bits = 24, s.sampleRate = 48000;
    WaveRebuildBufferTable(1);
    ASSERT_TRUE(WavePrepareMeasurement(nullptr, s, 3, true, hooks).ok());
    EXPECT_FALSE(g_compensationAsked);  // impedance measurements need no compensation
    EXPECT_TRUE(g_mixerImpedance);
    const WaveEngineState st = WaveGetState();
    EXPECT_EQ(+st.recordFormat.channels, 2);  // impedance always records stereo
    EXPECT_EQ(+st.recordFormat.bitsPerSample, 24);
    EXPECT_EQ(st.inputBufferSize, 46080u);
    EXPECT_EQ(st.outputBufferSize, 92160u);

    // A second preparation without shutdown fails with the engine's own message.
    EXPECT_EQ(WavePrepareMeasurement(nullptr, s, 3, false, hooks).stringId, kWaveMessageShown);
    EXPECT_TRUE(g_noticeShown);
    WaveShutdown();
    ASSERT_TRUE(WavePrepareMeasurement(nullptr, s, 3, false, hooks).ok());
    EXPECT_EQ(+WaveGetState().recordFormat.channels, 1);
    EXPECT_FALSE(g_mixerImpedance);
    WaveRebuildBufferTable(0);
}

TEST_F(WaveEngineTest, StopDuringPlaybackEndsWithTheOutputNotice) {
    WriteStimulus(Path("p.wav"), RandomFrames(40000, 1, 16, 13), 16, 44100);
    ASSERT_EQ(WaveInit(nullptr), 0);
    WaveSetOutputBufferSize(1000);
    ASSERT_EQ(WaveOpenOutput(0, Path("p.wav").c_str()), 0);
    ASSERT_EQ(WaveStartPlayback(), 0);
    EXPECT_EQ(WaveGetState().outputQueued, 8);
    device_.Pump(3);  // three buffers recycled
    EXPECT_EQ(WaveGetState().outputQueued, 8);
    ASSERT_EQ(WaveStopPlayback(), 0);
    device_.Pump();
    ASSERT_EQ(g_notices.size(), 1u);
    EXPECT_EQ(g_notices[0], std::make_pair(1, 1));
    EXPECT_LT(device_.Clock(), 40000u);
}

TEST(LoopTone, LoopsWithoutAStepAtTheRequestedLevel) {
    LoopTone tone;
    ASSERT_TRUE(SynthesizeLoopTone(1000, 44100, 2, 16, 0, tone));
    EXPECT_EQ(+tone.format.blockAlign, 4);
    EXPECT_EQ(+tone.format.avgBytesPerSec, 176400u);
    const std::size_t frames = tone.data.size() / 4;
    ASSERT_GT(frames, 40000u);
    ASSERT_LE(frames, 45000u);
    std::vector<int> left;
    int peak = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const int l = int16_t(uint16_t(tone.data[4 * i] | tone.data[4 * i + 1] << 8));
        const int r = int16_t(uint16_t(tone.data[4 * i + 2] | tone.data[4 * i + 3] << 8));
        ASSERT_EQ(l, r);
        left.push_back(l);
        peak = std::max(peak, std::abs(l));
    }
    EXPECT_EQ(peak, 32764);  // 32767 x 0.9999, rounded
    EXPECT_EQ(left.front(), 0);
    // The copy ends just before a rising zero crossing, so the next copy's
    // first sample continues the wave.
    EXPECT_LE(left.back(), 0);
    EXPECT_GT(left.back(), -32764 * std::sin(2 * 3.14159265 * 1000 / 44100) - 2);

    ASSERT_TRUE(SynthesizeLoopTone(1000, 48000, 1, 24, -20, tone));
    int32_t maxValue = 0;
    for (std::size_t i = 0; i + 2 < tone.data.size(); i += 3) {
        const int32_t v =
            int32_t(uint32_t(tone.data[i]) << 8 | uint32_t(tone.data[i + 1]) << 16 | uint32_t(tone.data[i + 2]) << 24);
        maxValue = std::max(maxValue, v);
    }
    EXPECT_NEAR(maxValue / 2147483647.0, 0.1, 1e-6);

    EXPECT_FALSE(SynthesizeLoopTone(1000, 44100, 1, 8, 0, tone));
    EXPECT_FALSE(SynthesizeLoopTone(0, 44100, 1, 16, 0, tone));
    EXPECT_FALSE(SynthesizeLoopTone(1000, 44100, 3, 16, 0, tone));
}

TEST(LoopPlayer, RunsOnTheVirtualDeviceAndStopsCleanly) {
    VirtualLoudspeaker device;
    device.SetPacing(VirtualPacing::kRealTime);
    WaveSetBackend(&device);
    ClearLastWaveError();
    LoopTone tone;
    ASSERT_TRUE(SynthesizeLoopTone(441, 8000, 1, 16, -6, tone));
    ASSERT_EQ(LoopPlayerStart(nullptr, 0, tone), 0);
    EXPECT_TRUE(LoopPlayerRunning());
    EXPECT_EQ(LoopPlayerStart(nullptr, 0, tone), 1);
    EXPECT_STREQ(LastWaveError(), "Wave device is busy !");
    // Long enough for the shared buffer (0.35 s at least) to come round twice.
    EXPECT_TRUE(test::WaitUntil([&] { return device.Clock() >= 8000; }));
    EXPECT_TRUE(LoopPlayerRunning());
    LoopPlayerStop();
    EXPECT_FALSE(LoopPlayerRunning());
    // The device is free again.
    std::unique_ptr<WaveDeviceHandle> h;
    EXPECT_EQ(device.Open(WaveDirection::kOutput, 0, tone.format, {}, h), kWaveDeviceOk);
    h.reset();

    LoopTone silent = tone;
    silent.format.avgBytesPerSec = 0;
    EXPECT_EQ(LoopPlayerStart(nullptr, 0, silent), 1);
    EXPECT_STREQ(LastWaveError(), "You must configure your soundcard settings !");
    EXPECT_EQ(LoopPlayerStart(nullptr, 5, tone), 1);
    EXPECT_STREQ(LastWaveError(), "Wave device is busy #2 !");
    EXPECT_FALSE(LoopPlayerRunning());
    device.SetPacing(VirtualPacing::kManual);
    WaveSetBackend(nullptr);
}

}  // namespace
}  // namespace srx
