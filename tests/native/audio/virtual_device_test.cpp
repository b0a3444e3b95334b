#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cmath>
#include <complex>
#include <vector>

#include "audio/virtual_device.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

constexpr double kPi = 3.14159265358979323846;

WaveFormat Pcm(int channels, int bits, uint32_t rate) {
    const uint16_t align = uint16_t(channels * bits / 8);
    return WaveFormat{kWaveFormatPcm, uint16_t(channels), rate, rate * align, align, uint16_t(bits), 0};
}

int g_done = 0;
void CountDone(void*, WaveNotice n, WaveHeader*) { g_done += n == WaveNotice::kDone; }

// Plays `drive` (mono, +-1) through the device and records `frames` stereo
// frames of `bits`, driving the device by hand like the engine does.
std::vector<std::array<double, 2>> PlayAndRecord(VirtualLoudspeaker& device, const std::vector<double>& drive,
                                                 std::size_t frames, uint32_t rate, int bits = 24) {
    const WaveFormat outF = Pcm(1, 16, rate), inF = Pcm(2, bits, rate);
    WaveNoticeTarget target;
    target.fn = &CountDone;
    std::unique_ptr<WaveDeviceHandle> in, out;
    EXPECT_EQ(device.Open(WaveDirection::kInput, 0, inF, target, in), kWaveDeviceOk);
    EXPECT_EQ(device.Open(WaveDirection::kOutput, 0, outF, target, out), kWaveDeviceOk);
    std::vector<char> inData(frames * inF.blockAlign), outData(drive.size() * 2);
    for (std::size_t i = 0; i < drive.size(); ++i)
        EncodeSample(drive[i], reinterpret_cast<unsigned char*>(outData.data()) + 2 * i, 16);
    WaveHeader ih{inData.data(), uint32_t(inData.size())}, oh{outData.data(), uint32_t(outData.size())};
    EXPECT_EQ(in->Prepare(ih), 0);
    EXPECT_EQ(in->Queue(ih), 0);
    EXPECT_EQ(in->Start(), 0);
    EXPECT_EQ(out->Prepare(oh), 0);
    EXPECT_EQ(out->Queue(oh), 0);
    device.Pump();
    EXPECT_EQ(ih.bytesRecorded, inData.size());
    EXPECT_TRUE(ih.flags & kWaveHeaderDone);
    std::vector<std::array<double, 2>> rec(frames);
    const auto* p = reinterpret_cast<const unsigned char*>(inData.data());
    for (std::size_t i = 0; i < frames; ++i)
        rec[i] = {DecodeSample(p + i * inF.blockAlign, bits), DecodeSample(p + i * inF.blockAlign + bits / 8, bits)};
    return rec;
}

std::complex<double> Dft(const std::vector<double>& x, std::size_t from, std::size_t n, double f, uint32_t rate) {
    std::complex<double> s;
    for (std::size_t k = 0; k < n; ++k) s += x[from + k] * std::polar(1.0, -2 * kPi * f * double(k) / rate);
    return s;
}

TEST(VirtualSamples, RoundTripAndClip) {
    unsigned char b[4];
    for (int bits : {8, 16, 24, 32}) {
        const double step = std::ldexp(1.0, 1 - bits);
        for (double v : {0.0, -1.0, 0.5, -0.25 - step, 1.0 - step}) {
            EncodeSample(v, b, bits);
            EXPECT_EQ(DecodeSample(b, bits), v) << bits;
        }
        EncodeSample(1.5, b, bits);
        EXPECT_EQ(DecodeSample(b, bits), 1.0 - step) << bits;
        EncodeSample(-3, b, bits);
        EXPECT_EQ(DecodeSample(b, bits), -1.0) << bits;
    }
    EncodeSample(0, b, 8);
    EXPECT_EQ(b[0], 128);  // 8-bit samples are unsigned
}

TEST(VirtualAcousticPath, MatchesTheTruthItPublishes) {
    VirtualSetup setup;
    setup.latency = 77;
    setup.acoustic.reflectionGain = 0.4;
    setup.acoustic.reflectionDelay = 50;
    const uint32_t rate = 48000;
    const VirtualTruth truth(setup, rate);
    VirtualPath path(setup, rate);
    std::vector<double> y;
    for (int n = 0; n < 4096; ++n) {
        const double drive[2] = {n == 0 ? 0.5 : 0.0, n == 0 ? 0.25 : 0.0};
        double out[2];
        path.Process(drive, out);
        y.push_back(out[0]);
        // The reference channel is the drive, delayed by the latency only.
        EXPECT_EQ(out[1], n == 77 ? 0.25 : 0.0);
    }
    const std::vector<double> h = truth.ImpulseResponse(4096 - 77);
    for (int n = 0; n < 77; ++n) ASSERT_EQ(y[std::size_t(n)], 0.0);
    for (std::size_t n = 0; n < h.size(); ++n) ASSERT_NEAR(y[n + 77], 0.5 * h[n], 1e-12);
    // The impulse response and the frequency response describe one system:
    // the band-pass, the resonance and the reflection's ripple show in both.
    for (double f : {30.0, 100.0, 1000.0, 2000.0, 10000.0}) {
        const std::complex<double> fromIr = Dft(h, 0, h.size(), f, rate);
        EXPECT_NEAR(std::abs(fromIr - truth.Response(f)), 0, 1e-3 * std::abs(truth.Response(f)) + 1e-6) << f;
    }
    EXPECT_LT(std::abs(truth.Response(10)), 0.05 * std::abs(truth.Response(1000)));
    EXPECT_GT(std::abs(truth.Response(2000) / (1.0 + 0.4 * std::polar(1.0, -2 * kPi * 2000 * 50 / rate))),
              1.5 * setup.acoustic.gain);
}

TEST(VirtualAcousticPath, DistortionAndNoiseFollowTheirSettings) {
    VirtualSetup setup = PureLatencySetup(0);
    setup.acoustic.distortion = {0.1, -0.05};
    const VirtualTruth truth(setup, 44100);
    EXPECT_DOUBLE_EQ(truth.Distort(0.5), 0.5 + 0.1 * 0.25 - 0.05 * 0.125);
    VirtualPath path(setup, 44100);
    double out[2];
    const double drive[2] = {0.5, 0};
    path.Process(drive, out);
    EXPECT_DOUBLE_EQ(out[0], truth.Distort(0.5));

    setup = PureLatencySetup(0);
    setup.acoustic.noiseDb = -40;
    VirtualPath noisy(setup, 44100), again(setup, 44100);
    double sum = 0;
    const int n = 100000;
    for (int i = 0; i < n; ++i) {
        const double zero[2] = {0, 0};
        double a[2], b[2];
        noisy.Process(zero, a);
        again.Process(zero, b);
        ASSERT_EQ(a[0], b[0]);  // the seed fixes the sequence
        sum += a[0] * a[0];
    }
    EXPECT_NEAR(std::sqrt(sum / n), VirtualTruth(setup, 44100).NoiseRms(), 0.002);
    EXPECT_NEAR(VirtualTruth(setup, 44100).NoiseRms(), 0.01, 1e-12);
}

struct JigCase {
    int box;
    bool vented;
    double le;
    double ql = 0, mass = 0, testBox = 0;  // the loads of the T/S methods (Sd and Vas below)
};

class VirtualJig : public ::testing::TestWithParam<JigCase> {};

TEST_P(VirtualJig, ChannelRatioIsTheDriverImpedance) {
    const JigCase c = GetParam();
    VirtualSetup setup;
    setup.mode = VirtualMode::kImpedanceJig;
    setup.latency = 100;
    setup.boxVersion = c.box;
    setup.driver.vented = c.vented;
    setup.driver.le = c.le;
    setup.driver.ql = c.ql, setup.driver.mass = c.mass, setup.driver.box = c.testBox;
    setup.driver.sd = 0.02, setup.driver.vas = 0.03;
    const uint32_t rate = 48000;
    VirtualLoudspeaker device(setup);
    const VirtualTruth truth = device.Truth(rate);
    double r, offset, feed;
    ASSERT_TRUE(ImpedanceBoxConstants(c.box, r, offset, feed));
    // Re at DC and Re + Res at the resonance of the free driver.
    if (!c.vented && c.mass == 0 && c.testBox == 0) {
        EXPECT_NEAR(std::abs(truth.DriverImpedance(setup.driver.fs)),
                    setup.driver.re * (1 + setup.driver.qms / setup.driver.qes), 0.05);
    }
    EXPECT_NEAR(truth.DriverImpedance(0.01).real(), setup.driver.re, 0.01);

    for (double f : {20.0, 40.0, 100.0, 1000.0}) {
        // Whole periods of a sine, measured after the settling time.
        const std::size_t period = std::size_t(std::round(rate / f * 1000)), n = period / 1000 * 1000;
        const std::size_t settle = rate;
        std::vector<double> drive(settle + n + 200);
        for (std::size_t k = 0; k < drive.size(); ++k) drive[k] = 0.5 * std::sin(2 * kPi * f * double(k) / rate);
        const auto rec = PlayAndRecord(device, drive, drive.size(), rate);
        std::vector<double> ch0(rec.size()), ch1(rec.size());
        for (std::size_t k = 0; k < rec.size(); ++k) ch0[k] = rec[k][0], ch1[k] = rec[k][1];
        const std::size_t len = std::size_t(std::floor(std::floor(double(n) * f / rate) * rate / f));
        const std::complex<double> a = Dft(ch0, settle, len, f, rate), b = Dft(ch1, settle, len, f, rate);
        // What the impedance analysis computes: |a|/|b| R and the phase plus the box's offset.
        const std::complex<double> z = std::polar(std::abs(a) / std::abs(b) * r, std::arg(a) - std::arg(b) + offset);
        const std::complex<double> want = truth.DriverImpedance(f);
        EXPECT_NEAR(std::abs(z), std::abs(want), 0.01 * std::abs(want)) << f;
        EXPECT_NEAR(std::remainder(std::arg(z) - std::arg(want), 2 * kPi), 0, 0.01) << f;
        EXPECT_NEAR(std::abs(z - truth.JigImpedance(f)), 0, 0.003 * std::abs(want)) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(Boxes, VirtualJig,
                         ::testing::Values(JigCase{1, false, 0.0005}, JigCase{2, false, 0.0005},
                                           JigCase{0, true, 0.0008}, JigCase{3, false, 0.0},
                                           JigCase{1, true, 0.0005, 7}, JigCase{1, false, 0.0005, 0, 0.01},
                                           JigCase{1, false, 0.0005, 0, 0, 0.015}));

// Runs the jig on silence or a steady sine of whole periods; answers the
// channels' mean, power and cross power, and channel 0 / 1 x R at f.
std::complex<double> RunJig(const VirtualSetup& setup, double f, uint32_t rate, double stats[5] = nullptr) {
    VirtualPath path(setup, rate);
    const std::size_t settle = rate / 2, len = rate / 10;
    std::vector<double> ch[2] = {std::vector<double>(len), std::vector<double>(len)};
    for (std::size_t k = 0; k < settle + len; ++k) {
        const double drive[2] = {0.5 * std::sin(2 * kPi * f * double(k) / rate), 0};
        double out[2];
        path.Process(drive, out);
        if (k >= settle) ch[0][k - settle] = out[0], ch[1][k - settle] = out[1];
    }
    for (std::size_t k = 0; stats && k < len; ++k) {
        const double a = ch[0][k] - setup.acoustic.dc, b = ch[1][k] - setup.acoustic.dc;
        stats[0] += ch[0][k] / len, stats[1] += ch[1][k] / len, stats[2] += a * a / len, stats[3] += b * b / len;
        stats[4] += a * b / len;
    }
    double r, offset, feed;
    ImpedanceBoxConstants(setup.boxVersion, r, offset, feed);
    return Dft(ch[0], 0, len, f, rate) / Dft(ch[1], 0, len, f, rate) * r * std::polar(1.0, offset);
}

TEST(VirtualJigLoads, SimulationAgreesWithTheTruthForEveryLoadAndCurrentChannel) {
    const uint32_t rate = 48000;
    VirtualSetup setup;
    setup.mode = VirtualMode::kImpedanceJig;
    for (int box : {1, 2})
        for (VirtualLoad load : {VirtualLoad::kDriver, VirtualLoad::kResistor, VirtualLoad::kResistorInductor,
                                 VirtualLoad::kResistorCapacitor})
            for (double corner : {0.0, 3000.0}) {
                setup.boxVersion = box;
                setup.jig = {load, 4.7, 0.002, 47e-6, corner ? 0.9 : 1.0, corner};
                for (double f : {50.0, 1000.0, 6000.0, 12000.0}) {
                    const std::complex<double> want = VirtualTruth(setup, rate).JigReading(f);
                    EXPECT_LT(std::abs(RunJig(setup, f, rate) - want), 1e-4 * std::abs(want))
                        << box << " " << int(load) << " " << corner << " " << f;
                }
            }
    // Noise and DC on both inputs, the channels' noise uncorrelated.
    setup.jig = {};
    setup.acoustic.noiseDb = -40, setup.acoustic.dc = 0.05;
    double stats[5] = {};
    RunJig(setup, 0, rate, stats);
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(stats[c], 0.05, 1e-3) << c;
        EXPECT_NEAR(std::sqrt(stats[2 + c]), 0.01, 5e-4) << c;
    }
    EXPECT_LT(std::abs(stats[4]), 0.1 * 1e-4);
}

TEST(VirtualDevice, FollowsTheWaveDeviceRules) {
    VirtualLoudspeaker device;
    std::unique_ptr<WaveDeviceHandle> a, b;
    EXPECT_EQ(device.DeviceName(WaveDirection::kInput, 0), kVirtualDeviceName);
    EXPECT_EQ(device.Open(WaveDirection::kOutput, 1, Pcm(2, 16, 44100), {}, a), kWaveDeviceBadId);
    EXPECT_EQ(device.Open(WaveDirection::kOutput, 0, Pcm(2, 16, 44000), {}, a), kWaveDeviceBadFormat);
    EXPECT_TRUE(device.SupportsFormat(WaveDirection::kInput, 0, Pcm(1, 24, 96000)));
    ASSERT_EQ(device.Open(WaveDirection::kOutput, kWaveMapper, Pcm(2, 16, 44100), {}, a), kWaveDeviceOk);
    EXPECT_EQ(device.Open(WaveDirection::kOutput, 0, Pcm(2, 16, 44100), {}, b), kWaveDeviceBusy);
    EXPECT_EQ(device.Open(WaveDirection::kInput, 0, Pcm(2, 16, 48000), {}, b), kWaveDeviceBadFormat);

    WaveNoticeTarget target;
    target.fn = &CountDone;
    ASSERT_EQ(device.Open(WaveDirection::kInput, 0, Pcm(2, 16, 44100), target, b), kWaveDeviceOk);
    std::vector<char> d1(400), d2(400);
    WaveHeader h1{d1.data(), 400}, h2{d2.data(), 400};
    EXPECT_EQ(b->Queue(h1), kWaveDeviceUnprepared);
    ASSERT_EQ(b->Prepare(h1), 0);
    ASSERT_EQ(b->Prepare(h2), 0);
    ASSERT_EQ(b->Queue(h1), 0);
    ASSERT_EQ(b->Queue(h2), 0);
    EXPECT_EQ(b->Unprepare(h1), kWaveDeviceStillPlaying);
    EXPECT_EQ(b->Close(), kWaveDeviceStillPlaying);
    // Not started: nothing is recorded.
    g_done = 0;
    EXPECT_EQ(device.Pump(), 1u);  // only the open notice
    EXPECT_EQ(g_done, 0);
    ASSERT_EQ(b->Start(), 0);
    device.Pump(1);  // h1 full (100 frames)
    EXPECT_EQ(g_done, 1);
    EXPECT_EQ(h1.bytesRecorded, 400u);
    EXPECT_EQ(device.Clock(), 100u);
    ASSERT_EQ(b->Reset(), 0);
    device.Pump();
    EXPECT_EQ(g_done, 2);
    EXPECT_EQ(h2.bytesRecorded, 0u);
    EXPECT_TRUE(h2.flags & kWaveHeaderDone);
    EXPECT_EQ(b->Unprepare(h1), 0);
    EXPECT_EQ(b->Close(), 0);
    EXPECT_EQ(b->Prepare(h1), kWaveDeviceError);  // a closed handle refuses everything
}

class FakeCards : public WaveDeviceBackend {
public:
    int DeviceCount(WaveDirection d) const override { return d == WaveDirection::kOutput ? 2 : 1; }
    std::string DeviceName(WaveDirection, int id) const override { return id < 2 ? "Card " + std::to_string(id) : ""; }
    bool SupportsFormat(WaveDirection, int, const WaveFormat&) const override { return true; }
    int Open(WaveDirection, int id, const WaveFormat&, const WaveNoticeTarget&,
             std::unique_ptr<WaveDeviceHandle>&) override {
        lastOpened = id;
        return kWaveDeviceBusy;
    }
    int CreateNoticeWindow(void*, void*) override { return 0; }
    void DestroyNoticeWindow() override {}
    void SetWindowClosedHandler(void (*)()) override {}
    void PostToOwner(void*, unsigned, uintptr_t, intptr_t) override {}
    int lastOpened = -99;
};

TEST(WaveDeviceRouter, ListsTheVirtualDeviceAfterTheRealOnes) {
    FakeCards cards;
    VirtualLoudspeaker device;
    WaveDeviceRouter router(&cards, &device);
    EXPECT_EQ(router.VirtualId(), 2);
    EXPECT_EQ(router.DeviceCount(WaveDirection::kInput), 3);
    EXPECT_EQ(router.DeviceName(WaveDirection::kInput, 2), kVirtualDeviceName);
    EXPECT_EQ(router.DeviceName(WaveDirection::kOutput, 1), "Card 1");
    std::unique_ptr<WaveDeviceHandle> h;
    EXPECT_EQ(router.Open(WaveDirection::kInput, 1, Pcm(2, 16, 44100), {}, h),
              kWaveDeviceBadId);  // only one real input
    EXPECT_EQ(router.Open(WaveDirection::kOutput, kWaveMapper, Pcm(2, 16, 44100), {}, h), kWaveDeviceBusy);
    EXPECT_EQ(cards.lastOpened, kWaveMapper);
    EXPECT_EQ(router.Open(WaveDirection::kInput, 2, Pcm(2, 16, 44100), {}, h), kWaveDeviceOk);
    EXPECT_EQ(cards.lastOpened, kWaveMapper);

    WaveDeviceRouter alone(nullptr, &device);
    EXPECT_EQ(alone.VirtualId(), 0);
    EXPECT_EQ(alone.DeviceCount(WaveDirection::kOutput), 1);
}

// A window pumps the device when its wake hook fires. Buffers handed back by
// the owner's own reset must wake it too, or an engine that stopped
// recording would wait for them for ever.
std::atomic<int> g_wakes{0};
void CountWake(void*) { ++g_wakes; }

TEST(VirtualDevice, RealTimePacingDeliversWakesAndStopsCleanly) {
    VirtualLoudspeaker device(PureLatencySetup(0));
    device.SetWakeHook(&CountWake, nullptr);
    device.SetPacing(VirtualPacing::kRealTime);
    WaveNoticeTarget target;
    target.fn = &CountDone;
    std::unique_ptr<WaveDeviceHandle> in;
    ASSERT_EQ(device.Open(WaveDirection::kInput, 0, Pcm(1, 16, 8000), target, in), 0);
    // Four buffers of 10 ms, then one of a second.
    std::vector<std::vector<char>> data(5, std::vector<char>(160));
    data[4].resize(16000);
    std::vector<WaveHeader> headers(5);
    for (std::size_t i = 0; i < 5; ++i) {
        headers[i] = WaveHeader{data[i].data(), uint32_t(data[i].size())};
        ASSERT_EQ(in->Prepare(headers[i]), 0);
        ASSERT_EQ(in->Queue(headers[i]), 0);
    }
    EXPECT_TRUE(test::WaitUntil([] { return g_wakes > 0; }));  // the open notice
    device.Pump();
    g_done = 0;
    ASSERT_EQ(in->Start(), 0);
    const auto start = std::chrono::steady_clock::now();
    while (g_done < 4 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) device.WaitAndPump(50);
    EXPECT_EQ(g_done, 4);
    // Forty milliseconds of sound cannot arrive much sooner than that.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(headers[i].bytesRecorded, 160u);

    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const int before = g_wakes;
    ASSERT_EQ(in->Reset(), 0);  // the long buffer comes back now, partly filled
    EXPECT_TRUE(test::WaitUntil([&] { return g_wakes > before; }));
    device.Pump();
    EXPECT_EQ(g_done, 5);
    EXPECT_GT(headers[4].bytesRecorded, 0u);
    EXPECT_LT(headers[4].bytesRecorded, 16000u);
    for (WaveHeader& h : headers) EXPECT_EQ(in->Unprepare(h), 0);
    EXPECT_EQ(in->Close(), 0);
    device.SetPacing(VirtualPacing::kManual);
}

}  // namespace
}  // namespace srx
