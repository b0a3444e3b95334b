#include "measure/mls.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "platform/file_io.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;

using MlsFiles = test::ScratchTest;

struct WaveData {
    WaveFormat format{};
    std::vector<std::vector<double>> channels;
};

WaveData ReadWave(const std::string& path) {
    WaveData w;
    const FilePtr f = OpenForReading(path);
    if (!f) return w;
    const uint32_t bytes = ReadWaveHeader(f.get(), w.format);
    const uint32_t frames = bytes && w.format.blockAlign ? bytes / w.format.blockAlign : 0;
    w.channels.assign(w.format.channels, std::vector<double>(frames));
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < w.format.channels; ++c) w.channels[c][i] = ReadSampleReal(f.get(), w.format);
    return w;
}

// Writes frames of doubles (full scale +-1) as a 32-bit wave file.
void WriteWave(const std::string& path, const std::vector<std::array<double, 2>>& frames, int channels,
               uint32_t rate = kRate) {
    const FilePtr f(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(f);
    ASSERT_TRUE(WriteWaveHeader(f.get(), uint32_t(frames.size()), rate, uint16_t(channels), 32));
    auto q = [](double v) { return int32_t(std::clamp(std::round(v * 2147483648.0), -2147483648.0, 2147483647.0)); };
    for (const auto& fr : frames) ASSERT_TRUE(WriteSampleFrame(f.get(), q(fr[0]), q(fr[1]), channels, 32));
}

// The answer of a linear system with impulse responses h0 and h1 (one per
// input channel, each already including its delay) to the stimulus file.
std::vector<std::array<double, 2>> Respond(const WaveData& stim, const std::vector<double>& h0,
                                           const std::vector<double>& h1, double dc = 0, size_t extra = 0) {
    const std::vector<double>& x = stim.channels[0];
    std::vector<std::array<double, 2>> y(x.size() + extra, {dc, dc});
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i] == 0) continue;
        for (size_t j = 0; j < h0.size() && i + j < y.size(); ++j) y[i + j][0] += x[i] * h0[j];
        for (size_t j = 0; j < h1.size() && i + j < y.size(); ++j) y[i + j][1] += x[i] * h1[j];
    }
    return y;
}

// A decaying, ringing impulse response starting after `delay` zeros, scaled
// so that the sum of its magnitudes is `sumAbs` (no response can clip).
std::vector<double> TestImpulse(size_t delay, size_t length, double sumAbs, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> d(0, 1);
    std::vector<double> h(delay + length, 0.0);
    h[delay] = 1;
    for (size_t k = 1; k < length; ++k)
        h[delay + k] =
            0.6 * std::exp(-double(k) / 40) * std::cos(0.3 * double(k)) + 0.01 * d(rng) * std::exp(-double(k) / 20);
    double sum = 0;
    for (double v : h) sum += std::fabs(v);
    for (double& v : h) v *= sumAbs / sum;
    return h;
}

// Largest error against h as the recovery gives it: less the DC gain of
// h over N (the sequence's -1 off its autocorrelation peak).
double MaxError(const std::vector<float>& got, const std::vector<double>& h, size_t count) {
    double dc = 0;
    for (double v : h) dc += v;
    dc /= double(got.size());
    double e = 0;
    for (size_t i = 0; i < count; ++i) e = std::max(e, std::fabs(double(got[i]) - (i < h.size() ? h[i] : 0.0) + dc));
    return e;
}

// ---------------------------------------------------------------- sequence

// Every order of the tap table yields a maximal sequence: every non-zero
// n-bit window occurs exactly once per period, so the sequence is balanced.
TEST(MlsSequence, EveryOrderIsMaximal) {
    for (int n = kMlsMinOrder; n <= kMlsMaxOrder; ++n) {
        const std::vector<float> s = MlsSequence(n);
        const size_t L = (size_t(1) << n) - 1;
        ASSERT_EQ(s.size(), L) << n;
        std::vector<bool> seen(L + 1, false);
        uint32_t window = 0;
        for (int i = 0; i < n; ++i) window |= uint32_t(s[size_t(i)] < 0) << i;
        long sum = 0;
        for (size_t k = 0; k < L; ++k) {
            ASSERT_NE(window, 0u) << n;
            ASSERT_FALSE(seen[window]) << "order " << n << " repeats at " << k;
            seen[window] = true;
            sum += long(s[k]);
            window = (window >> 1) | uint32_t(s[(k + size_t(n)) % L] < 0) << (n - 1);
        }
        EXPECT_EQ(sum, -1) << n;
    }
    // Register 11: parity 0 -> +1 (register 10), parity 1 -> -1 (01), parity 1 -> -1 (11).
    EXPECT_EQ(MlsSequence(2), (std::vector<float>{1, -1, -1}));
    EXPECT_TRUE(MlsSequence(kMlsMinOrder - 1).empty());
    EXPECT_TRUE(MlsSequence(kMlsMaxOrder + 1).empty());
}

// The fast route equals the 2N-point FFT correlation to float precision
// and both equal the circular correlation summed directly.
TEST(MlsCorrelation, HadamardRouteEqualsTheFftRoute) {
    std::mt19937 rng(3);
    std::normal_distribution<float> d(0, 1);
    for (int n : {2, 3, 5, 8, 10, 13, 16}) {
        const size_t L = (size_t(1) << n) - 1;
        std::vector<float> x(L);
        for (float& v : x) v = d(rng);
        const std::vector<float> fast = MlsCorrelate(x, n), ref = MlsCorrelateByFft(x, n);
        ASSERT_EQ(fast.size(), L);
        ASSERT_EQ(ref.size(), L);
        double peak = 0, err = 0;
        for (size_t k = 0; k < L; ++k) peak = std::max(peak, double(std::fabs(ref[k])));
        for (size_t k = 0; k < L; ++k) err = std::max(err, double(std::fabs(fast[k] - ref[k])));
        EXPECT_LT(err / peak, 1e-5) << n;
        if (n <= 10) {
            const std::vector<float> s = MlsSequence(n);
            for (size_t k = 0; k < L; k += 1 + L / 50) {
                double direct = 0;
                for (size_t m = 0; m < L; ++m) direct += double(x[m]) * s[(m + L - k) % L];
                EXPECT_NEAR(fast[k], direct, 1e-4 * peak) << n << " lag " << k;
            }
        }
    }
    EXPECT_TRUE(MlsCorrelate(std::vector<float>(7), 4).empty());  // not one period
}

// ------------------------------------------------------------ pre-emphasis

TEST(MlsPreEmphasis, ShelfGainsAndExactInverse) {
    for (uint32_t rate : {8000u, 44100u, 96000u}) {
        const FirstOrderSection f = PreEmphasisFilter(rate);
        auto gain = [&](double hz) {
            const std::complex<double> z1 = std::polar(1.0, -2 * 3.141592653589793 * hz / rate);
            return 20 * std::log10(std::abs((f.b0 + f.b1 * z1) / (1.0 + f.a1 * z1)));
        };
        EXPECT_NEAR(gain(20), 0.0, 0.05) << rate;
        EXPECT_NEAR(gain(rate / 2.0), 10.0, 0.1) << rate;
        EXPECT_LT(std::fabs(f.a1), 1.0);
        EXPECT_LT(std::fabs(f.b1 / f.b0), 1.0);  // the inverse is stable
    }
    // The periodic run is the steady state of the filter over repeated
    // periods, and the inverse section takes it back exactly.
    const FirstOrderSection f = PreEmphasisFilter(kRate);
    std::vector<double> x = {1, -1, -1, 1, 1, 1, -1};
    std::vector<double> repeated;
    for (int r = 0; r < 40; ++r) repeated.insert(repeated.end(), x.begin(), x.end());
    double xp = 0, yp = 0;
    for (double& v : repeated) {
        const double y = f.b0 * v + f.b1 * xp - f.a1 * yp;
        xp = v, yp = y, v = y;
    }
    std::vector<double> y = x;
    FilterPeriodic(f, y);
    for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y[i], repeated[repeated.size() - x.size() + i], 1e-12);
    FilterPeriodic(InverseSection(f), y);
    for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y[i], x[i], 1e-12);
}

// ---------------------------------------------------------------- stimulus

TEST_F(MlsFiles, StimulusLayoutLevelsAndRounding) {
    MlsStimulusLevels lv;  // 25 ms lead, 100 ms stop delay, 0 dB
    ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 13, false, kRate, 2, 16, lv));
    const WaveData w = ReadWave(Path("p.wav"));
    const uint32_t lead = 1103, tail = 5468;  // round(1102.5) and round(44100 x 0.124)
    EXPECT_EQ(MlsLeadFrames(0.025, kRate), lead);
    ASSERT_EQ(w.channels.size(), 2u);
    ASSERT_EQ(w.channels[0].size(), lead + 8191 + tail);
    const std::vector<float> s = MlsSequence(13);
    const double top = std::floor(0.9999 * 2147483647.0 + 0.5);
    const double q16 = std::floor(top / 65536) / 32768;  // truncated to 16 bits
    for (uint32_t i = 0; i < lead; ++i) ASSERT_EQ(w.channels[0][i], 0.0);
    for (uint32_t i = 0; i < 8191; ++i) {
        ASSERT_EQ(w.channels[0][lead + i], w.channels[1][lead + i]);
        // Truncation of a negative value goes down: -top >> 16 = -32765 - 1.
        ASSERT_EQ(w.channels[0][lead + i], s[i] > 0 ? q16 : -(std::floor(top / 65536) + 1) / 32768) << i;
    }
    for (uint32_t i = 0; i < tail; ++i) ASSERT_EQ(w.channels[0][lead + 8191 + i], 0.0);

    // -20 dB at 32 bits: the rounded integer itself.
    lv.levelDb = -20;
    lv.preSilence = 0.001;
    lv.stopDelay = 0;
    ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 2, false, 8000, 1, 32, lv));
    const WaveData w2 = ReadWave(Path("p.wav"));
    ASSERT_EQ(w2.channels[0].size(), 8u + 3 + 192);
    const double v = std::floor(0.1 * 0.9999 * 2147483647.0 + 0.5);
    EXPECT_EQ(w2.channels[0][8] * 2147483648.0, v);
    EXPECT_EQ(w2.channels[0][9] * 2147483648.0, -v);
}

TEST_F(MlsFiles, PreEmphasisedStimulusReachesFullScale) {
    MlsStimulusLevels lv;
    ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 10, true, kRate, 1, 32, lv));
    const WaveData w = ReadWave(Path("p.wav"));
    double peak = 0;
    for (double v : w.channels[0]) peak = std::max(peak, std::fabs(v));
    EXPECT_NEAR(peak, 0.9999, 1e-9);
    // The samples are the shelved sequence, scaled to that peak.
    const std::vector<double> shape = MlsStimulusShape(10, true, kRate);
    for (size_t i = 1; i < shape.size(); ++i) ASSERT_NEAR(w.channels[0][1103 + i], shape[i] * 0.9999, 1e-9);
}

TEST_F(MlsFiles, StimulusRefusalsLeaveTheOldFile) {
    ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 4, false, kRate, 1, 16, MlsStimulusLevels{}));
    const auto before = fs::file_size(Path("p.wav"));
    const MlsStimulusLevels lv;
    EXPECT_FALSE(WriteMlsStimulus(Path("p.wav"), 1, false, kRate, 1, 16, lv));
    EXPECT_FALSE(WriteMlsStimulus(Path("p.wav"), 25, false, kRate, 1, 16, lv));
    EXPECT_FALSE(WriteMlsStimulus(Path("p.wav"), 10, false, 0, 1, 16, lv));
    EXPECT_FALSE(WriteMlsStimulus(Path("p.wav"), 10, false, kRate, 0, 16, lv));
    EXPECT_FALSE(WriteMlsStimulus(Path("p.wav"), 10, false, kRate, 1, 0, lv));
    EXPECT_FALSE(WriteMlsStimulus(Path("p.wav"), 10, false, kRate, 3, 16, lv));
    EXPECT_EQ(fs::file_size(Path("p.wav")), before);
    EXPECT_FALSE(WriteMlsStimulus(Path("missing/p.wav"), 4, false, kRate, 1, 16, lv));
    EXPECT_EQ(FileCount(), 1u);
}

// ---------------------------------------------------------------- recovery

MlsRecoveryOptions Options(bool preEmphasis = false) {
    MlsRecoveryOptions o;
    o.preEmphasis = preEmphasis;
    return o;
}

TEST_F(MlsFiles, RecoveryGivesTheSystemsImpulseAtAnyLevel) {
    const std::vector<double> h = TestImpulse(37, 300, 0.9, 1);
    for (bool pe : {false, true}) {
        for (double level : {0.0, -20.0}) {
            MlsStimulusLevels lv;
            lv.levelDb = level;
            ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 12, pe, kRate, 1, 24, lv));
            const WaveData stim = ReadWave(Path("p.wav"));
            WriteWave(Path("r.wav"), Respond(stim, h, {}, 0.01, 700), 1);
            std::unique_ptr<TimeRecord> rec;
            ASSERT_TRUE(MlsImpulseFromFiles(Path("r.wav"), Path("p.wav"), 4096, Options(pe), rec).ok());
            ASSERT_EQ(rec->samples.size(), 4096u);
            const double err = MaxError(rec->samples, h, 4095);
            EXPECT_LT(err, pe || level < 0 ? 2e-4 : 2e-5);
            EXPECT_EQ(rec->h.sampleCount, 4096);
            EXPECT_EQ(rec->h.sampleRate, int32_t(kRate));
            EXPECT_DOUBLE_EQ(rec->h.spikeLength, 1.0 / kRate);
            EXPECT_EQ(rec->h.mlsLength, 4095);
            EXPECT_EQ(rec->h.flags & (kTwfMls | kTwfPreEmphasis), kTwfMls | (pe ? kTwfPreEmphasis : 0u));
            EXPECT_EQ(rec->h.windowStart, 29);  // peak at 37
            EXPECT_NEAR(rec->h.peak, h[37], 1e-4);
        }
    }
}

TEST_F(MlsFiles, OptionsAndEdgeCasesOfTheRecord) {
    MlsStimulusLevels lv;
    ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 8, false, kRate, 1, 32, lv));
    const WaveData stim = ReadWave(Path("p.wav"));
    // A latency of 40 frames, then the response.
    std::vector<double> h(40, 0.0);
    h.insert(h.end(), {0.1, 0, 0, 0, 0, -0.5, 0.2});
    WriteWave(Path("r.wav"), Respond(stim, h, {}), 1);
    MlsRecoveryOptions o = Options();
    o.window.fftWindowLength = 0.004;
    o.window.defaultSpan = 0.055;
    std::unique_ptr<TimeRecord> rec;
    ASSERT_TRUE(MlsImpulseFromFiles(Path("r.wav"), Path("p.wav"), 256, o, rec).ok());
    EXPECT_EQ(rec->h.windowStart, 37);
    const double dc = (0.1 - 0.5 + 0.2) / 256;
    EXPECT_NEAR(rec->h.peak, -0.5 - dc, 1e-6);
    EXPECT_DOUBLE_EQ(rec->h.fftWindowLength, 0.004);
    EXPECT_DOUBLE_EQ(rec->h.defaultSpan, 0.055);
    EXPECT_NEAR(rec->samples[46], 0.2 - dc, 1e-6);
    // "Invert sampled waveform" negates every sample and flags the record.
    o.invert = true;
    ASSERT_TRUE(MlsImpulseFromFiles(Path("r.wav"), Path("p.wav"), 256, o, rec).ok());
    EXPECT_NEAR(rec->samples[45], 0.5 + dc, 1e-6);
    EXPECT_NEAR(rec->h.peak, 0.5 + dc, 1e-6);
    EXPECT_TRUE(rec->h.flags & kTwfInverted);
}

TEST_F(MlsFiles, FailuresCarryTheirMessages) {
    MlsStimulusLevels lv;
    ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 10, false, kRate, 1, 16, lv));
    const WaveData stim = ReadWave(Path("p.wav"));
    std::unique_ptr<TimeRecord> rec;
    auto id = [&](const std::string& r, const std::string& p, uint32_t n = 1024) {
        return MlsImpulseFromFiles(r, p, n, Options(), rec).stringId;
    };
    EXPECT_EQ(id(Path("none.wav"), Path("p.wav")), 2314);
    WriteWave(Path("empty.wav"), {}, 1);
    EXPECT_EQ(id(Path("empty.wav"), Path("p.wav")), 2817);
    std::vector<std::array<double, 2>> short_(stim.channels[0].size() / 16 - 1, {0.0, 0.0});
    WriteWave(Path("short.wav"), short_, 1);
    EXPECT_EQ(id(Path("short.wav"), Path("p.wav")), 2817);
    short_.push_back({0.0, 0.0});  // exactly a sixteenth is long enough, but silent
    WriteWave(Path("short.wav"), short_, 1);
    EXPECT_EQ(id(Path("short.wav"), Path("p.wav")), kStrMlsNoSignal);
    Write("junk.wav", "RIFF....WAVEjunk");
    EXPECT_EQ(id(Path("junk.wav"), Path("p.wav")), 2357);
    WriteWave(Path("r.wav"), Respond(stim, {0.5}, {}), 1);
    EXPECT_EQ(id(Path("r.wav"), Path("none.wav")), 2314);
    EXPECT_EQ(id(Path("r.wav"), Path("junk.wav")), 2357);
    EXPECT_EQ(id(Path("r.wav"), Path("p.wav"), 1000), 2817);  // not a power of two
    EXPECT_EQ(id(Path("r.wav"), Path("p.wav"), 2048), 2817);  // another order's stimulus
    EXPECT_FALSE(rec);
    EXPECT_EQ(id(Path("r.wav"), Path("p.wav")), 0);
    EXPECT_TRUE(rec);
}

TEST_F(MlsFiles, PairRecoversBothChannelsAndTheReferenceShapeIsDividedOut) {
    MlsStimulusLevels lv;
    ASSERT_TRUE(WriteMlsStimulus(Path("p.wav"), 12, false, kRate, 2, 32, lv));
    const WaveData stim = ReadWave(Path("p.wav"));
    // The sound card: latency 100 and a short smoothing filter on both
    // channels; the microphone channel also hears the system h.
    const std::vector<double> card = {0, 0.6, 0.2, 0.1};  // gain 0.9: room for the DC offsets
    std::vector<double> ref(100, 0.0), h = TestImpulse(30, 200, 0.9, 4), meas(100 + card.size() + h.size(), 0.0);
    ref.insert(ref.end(), card.begin(), card.end());
    for (size_t i = 0; i < card.size(); ++i)
        for (size_t j = 0; j < h.size(); ++j) meas[100 + i + j] += card[i] * h[j];
    // Each channel with a DC offset of its own.
    auto frames = Respond(stim, meas, ref);
    for (auto& f : frames) f[0] += 0.02, f[1] -= 0.03;
    WriteWave(Path("r.wav"), frames, 2);
    std::unique_ptr<TimeRecord> m, r, single;
    ASSERT_TRUE(MlsImpulsePairFromFiles(Path("r.wav"), Path("p.wav"), 4096, Options(), m, r).ok());
    EXPECT_LT(MaxError(r->samples, ref, 4000), 1e-4);
    MlsRecoveryOptions reversed = Options();
    reversed.reverseChannels = true;
    ASSERT_TRUE(MlsImpulseFromFiles(Path("r.wav"), Path("p.wav"), 4096, reversed, single).ok());
    EXPECT_LT(MaxError(single->samples, ref, 4000), 1e-4);
    ASSERT_TRUE(DivideReferenceResponse(*m, *r).ok());
    // What is left is h on the time axis of the measurement channel: the
    // latency and the reference's own delay to its peak (index 101) stay.
    std::vector<double> want(101, 0.0);
    want.insert(want.end(), h.begin(), h.end());
    const double err = MaxError(m->samples, want, 4000);
    EXPECT_LT(err, 2e-3);
    EXPECT_EQ(m->h.windowStart, 101 + 30 - 8);
}

TEST(MlsPeak, WindowStartIsThePeakLessEightNotBelowZero) {
    TimeRecord t;
    t.samples = {0.1f, 0.2f, 0, 0, 0, -0.9f, 0.3f, 0, 0, 0, 0.5f, 2.0f};
    t.h.sampleCount = 12;
    SetPeakAndWindowStart(t);  // the last sample (the period's wrap) does not count
    EXPECT_EQ(t.h.windowStart, 0);
    EXPECT_FLOAT_EQ(float(t.h.peak), -0.9f);
    t.samples[10] = -1.0f;
    SetPeakAndWindowStart(t);
    EXPECT_EQ(t.h.windowStart, 2);
    EXPECT_FLOAT_EQ(float(t.h.peak), -1.0f);
}

TEST(MlsAverage, PassesAlignOnTheirStartsWithEqualWeights) {
    auto pass = [](int32_t start, std::vector<float> s) {
        TimeRecord t;
        t.samples = std::move(s);
        t.h.sampleCount = int32_t(t.samples.size());
        t.h.windowStart = start;
        return t;
    };
    // The same shape at starts 2, 0 and 1; lengths 8, 7 and 8.
    const TimeRecord a = pass(2, {0, 0, 0, 4, 8, 4, 0, 0});
    const TimeRecord b = pass(0, {0, 2, 4, 2, 0, 0, 0});
    const TimeRecord c = pass(1, {0, 0, 8, 16, 8, 0, 0, 0});
    TimeRecord result = a;
    ASSERT_TRUE(AverageImpulsePasses(result, {&a, &b, &c}).ok());
    // D = 2: min(8, 7, 8) - 2 = 5 samples; (a + b + c) / 3.
    ASSERT_EQ(result.samples.size(), 5u);
    EXPECT_EQ(result.h.sampleCount, 5);
    const std::vector<float> want = {0, (4 + 2 + 8) / 3.0f, (8 + 4 + 16) / 3.0f, (4 + 2 + 8) / 3.0f, 0};
    for (size_t i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(result.samples[i], want[i]) << i;
    EXPECT_FLOAT_EQ(float(result.h.peak), want[2]);
    TimeRecord none;
    EXPECT_FALSE(AverageImpulsePasses(none, {}).ok());
}

}  // namespace
}  // namespace srx
