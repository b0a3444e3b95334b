#include "measure/mls_measurement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/virtual_device.h"
#include "dsp/frequency_response.h"
#include "measure/stimulus_files.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kLatency = 256;

class MlsMeasurementTest : public test::ScratchTest {
protected:
    void SetUp() override {
        ResetMeasurementDefaults(ms_);
        ms_.sampleRate = kRate;
        ms_.channels = 1;
        ms_.bitsPerSample = 24;
        ms_.mlsOrder = 13;
        ms_.mlsPreAverages = 1;
        setup_.latency = kLatency;
    }

    MlsMeasurementSetup Setup() const {
        MlsMeasurementSetup s;
        s.settings = ms_;
        s.folder = Folder();
        s.outputDevice = s.inputDevice = 0;
        s.compensation = {};  // levels are checked against the truth as measured
        return s;
    }

    // Runs a whole measurement on the virtual loudspeaker.
    std::unique_ptr<TimeRecord> Measure(std::unique_ptr<Measurement>* response = nullptr) {
        VirtualLoudspeaker device(setup_);
        MlsMeasurement m(Setup());
        const Status s = RunMlsMeasurement(m, device, "virtual");
        EXPECT_TRUE(s.ok()) << s.stringId;
        if (response) *response = m.TakeResponse();
        return m.TakeImpulse();
    }

    MeasurementSettings ms_{};
    VirtualSetup setup_;
};

// Error energy of the recovered impulse (latency removed) against the
// truth over the whole record, in dB below the truth's energy.
double ErrorDb(const TimeRecord& rec, const VirtualTruth& truth, uint32_t latency) {
    const size_t n = rec.samples.size() - 1;  // the last sample repeats the first
    const std::vector<double> h = truth.ImpulseResponse(n);
    double err = 0, energy = 0;
    for (size_t k = 0; k < n; ++k) {
        const double want = k >= latency ? h[k - latency] : 0.0;
        err += std::pow(rec.samples[k] - want, 2);
        energy += want * want;
    }
    return 10 * std::log10(err / energy);
}

// Largest level difference of two responses on one grid, 200 Hz to 20 kHz.
double LevelDeviationDb(const Measurement& a, const Measurement& b) {
    EXPECT_EQ(a.points.size(), b.points.size());
    double worst = 0;
    for (size_t i = 0; i < std::min(a.points.size(), b.points.size()); ++i)
        if (a.points[i].frequency >= 200 && a.points[i].frequency <= 20000)
            worst = std::max(worst, double(std::fabs(a.points[i].value[kSlotLevel] - b.points[i].value[kSlotLevel])));
    return worst;
}

// The truth's impulse in a copy of `rec`, delayed by the latency.
TimeRecord Ideal(const TimeRecord& rec, const VirtualTruth& truth) {
    TimeRecord ideal = rec;
    const std::vector<double> h = truth.ImpulseResponse(ideal.samples.size());
    for (size_t i = 0; i < ideal.samples.size(); ++i) ideal.samples[i] = i >= kLatency ? float(h[i - kLatency]) : 0.0f;
    return ideal;
}

TEST_F(MlsMeasurementTest, RecoveredImpulseAndResponseMatchTheTruth) {
    std::unique_ptr<Measurement> response;
    auto rec = Measure(&response);
    ASSERT_TRUE(rec);
    ASSERT_TRUE(response);
    const VirtualTruth truth(setup_, kRate);
    const double errDb = ErrorDb(*rec, truth, kLatency);
    EXPECT_LT(errDb, -60);
    // The window starts 8 samples before the peak, past the latency.
    EXPECT_GE(rec->h.windowStart, int32_t(kLatency) - 8);
    EXPECT_EQ(rec->h.sampleCount, 8192);
    EXPECT_EQ(rec->h.mlsLength, 8191);
    EXPECT_TRUE(rec->h.flags & kTwfMls);
    EXPECT_EQ(std::string(rec->h.title), "virtual");

    // The measurement's own response (the settings' 10 ms half-Hanning
    // window, FFT on MLS PIR) is the truth's through the same window and
    // transform; the transform's level reference is checked on its own.
    AnalysisSettings st = CurrentAnalysisSettings();
    FillAnalysisSettings(ms_, st);
    EXPECT_EQ(response->h.method, 13);
    TimeRecord idealRecord = Ideal(*rec, truth);
    auto ideal =
        ImpulseToFrequencyResponse(idealRecord, 1.0 / ms_.mlsWindow, FftPointsPerOctave(ms_.mlsPerOctave), 0, st);
    ASSERT_TRUE(ideal);
    const double devWindowed = LevelDeviationDb(*response, *ideal);
    EXPECT_LT(devWindowed, 0.01);

    // With a rectangular window that holds the whole response, what remains
    // is the recovery's error alone.
    TimeRecord whole = *rec;
    ApplyTimeWindow(whole, kTimeWindowManual, 0.15, -1);
    TimeRecord wholeIdeal = Ideal(whole, truth);
    st.windowType = 0;
    auto flat = ImpulseToFrequencyResponse(whole, 100, 24, 16, st);
    auto flatIdeal = ImpulseToFrequencyResponse(wholeIdeal, 100, 24, 16, st);
    ASSERT_TRUE(flat && flatIdeal);
    const double devWhole = LevelDeviationDb(*flat, *flatIdeal);
    EXPECT_LT(devWhole, 0.1);
}

TEST_F(MlsMeasurementTest, PreEmphasisAndProbeModeStillGiveTheSystem) {
    ms_.flags |= kMsfMlsPreEmphasis;
    auto rec = Measure();
    ASSERT_TRUE(rec);
    const VirtualTruth truth(setup_, kRate);
    double errDb = ErrorDb(*rec, truth, kLatency);
    EXPECT_LT(errDb, -60);
    EXPECT_TRUE(rec->h.flags & kTwfPreEmphasis);

    // Stereo with probe compensation: the reference channel (an electrical
    // loop-back delayed by the latency) is divided out, the time axis stays.
    ms_.flags &= ~kMsfMlsPreEmphasis;
    ms_.channels = 2;
    ms_.flags |= kMsfProbeCompensation;
    std::unique_ptr<Measurement> response;
    rec = Measure(&response);
    ASSERT_TRUE(rec);
    errDb = ErrorDb(*rec, truth, kLatency);
    EXPECT_LT(errDb, -50);
    EXPECT_TRUE(rec->h.flags & kTwfCompensationContained);
    EXPECT_FALSE(rec->h.flags & kTwfDelayFree);
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->h.flags & kMesCompensationContained);
}

// A recording that holds no response, or not all of it, is no result.
TEST_F(MlsMeasurementTest, SilentOrLateRecordingsFailWithTheirMessages) {
    auto run = [&](const VirtualSetup& v) {
        VirtualLoudspeaker device(v);
        MlsMeasurement m(Setup());
        const Status s = RunMlsMeasurement(m, device, "x");
        EXPECT_EQ(!m.Impulse(), !s.ok());
        return s.stringId;
    };
    VirtualSetup silent = setup_;
    silent.acoustic.gain = 0;
    EXPECT_EQ(run(silent), kStrMlsNoSignal);
    silent.acoustic.noiseDb = -60;
    EXPECT_EQ(run(silent), kStrMlsNoSignal);
    // The tail is 124 ms (5468 frames): a latency past it loses the sequence,
    // one within it but close to its end the ringing of the 50 Hz resonance.
    VirtualSetup late = setup_;
    late.latency = 6000;
    EXPECT_EQ(run(late), kStrMlsLatencyTooLong);
    late.latency = 5000;
    EXPECT_EQ(run(late), kStrMlsLatencyTooLong);
    late.latency = 2000;
    EXPECT_EQ(run(late), 0);
}

TEST_F(MlsMeasurementTest, ClippingIsReportedAndTheResultOffered) {
    for (const double gain : {0.5, 4.0}) {
        setup_.acoustic.gain = gain;
        VirtualLoudspeaker device(setup_);
        MlsMeasurement m(Setup());
        ASSERT_TRUE(RunMlsMeasurement(m, device, "x").ok());
        EXPECT_EQ(m.Clipped(), gain > 1) << gain;
        EXPECT_TRUE(m.Impulse());
    }
}

// With a response that ends quickly, a pass's noise is one period's, wherever
// the tail is long; passes of equal weight take 3 dB off per doubling.
TEST_F(MlsMeasurementTest, NoiseFloorIsOnePeriodsAndFallsWithEveryDoubling) {
    setup_ = PureLatencySetup(kLatency);
    setup_.acoustic.gain = 0.5;
    setup_.acoustic.noiseDb = -40;
    auto floorDb = [&](int order, int passes) {
        ms_.mlsOrder = uint32_t(order);
        ms_.mlsPreAverages = uint32_t(passes);
        VirtualLoudspeaker device(setup_);
        MlsMeasurement m(Setup());
        EXPECT_TRUE(RunMlsMeasurement(m, device, "x").ok());
        return 20 * std::log10(m.ImpulseSpan().noiseRms);
    };
    for (const int order : {10, 13, 16}) {
        // The correlation sums L samples of noise and divides by N and the
        // drive amplitude (0 dB level less the stimulus's headroom).
        const double L = std::ldexp(1.0, order) - 1;
        const double onePeriod = 20 * std::log10(0.01 * std::sqrt(L) / ((L + 1) * 0.9999));
        const double measured = floorDb(order, 1);
        std::printf("order %d: noise floor %.2f dB, one period's %.2f dB\n", order, measured, onePeriod);
        EXPECT_NEAR(measured, onePeriod, 0.5) << order;
    }
    double previous = floorDb(13, 1);
    const double one = previous;
    for (const int passes : {2, 4, 8}) {
        const double now = floorDb(13, passes);
        EXPECT_NEAR(previous - now, 10 * std::log10(2.0), 0.5) << passes;
        previous = now;
    }
    EXPECT_GE(one - previous, 8.5);
}

// A failed output ends the pass: no input notice follows it.
TEST_F(MlsMeasurementTest, AnOutputFailureEndsThePassWithItsMessage) {
    VirtualLoudspeaker device(setup_);
    WaveDeviceBackend* previous = WaveBackend();
    WaveSetBackend(&device);
    MlsMeasurement m(Setup());
    ASSERT_TRUE(m.Prepare(&m).ok());
    ASSERT_TRUE(m.CreateFiles().ok());
    ASSERT_TRUE(m.StartPass(0).ok());
    Status error;
    EXPECT_TRUE(m.OnNotice(kWaveMciNotify, uintptr_t(kWaveNotifyAborted), kWaveNotifyOutput, &error));
    EXPECT_EQ(error.stringId, kStrOutputFailed);
    EXPECT_FALSE(m.PassRunning());
    EXPECT_EQ(m.PassError().stringId, kStrOutputFailed);
    m.Finish();
    device.Pump();
    WaveSetBackend(previous);
}

// An unconfigured system, the warm-up's passes and the clean-up after a
// run are seen through the dialog in the win32 MLS tests.
TEST_F(MlsMeasurementTest, AWaveFolderThatCannotBeMadeIsRefused) {
    MlsMeasurementSetup s = Setup();
    s.folder = Write("file", "");
    VirtualLoudspeaker device(setup_);
    MlsMeasurement m(s);
    EXPECT_EQ(RunMlsMeasurement(m, device, "x").stringId, 2811);
    EXPECT_FALSE(WaveGetState().initialised);
}

int g_mic = 0, g_secondary = 0;
Status CountMic(Measurement&) { return ++g_mic, Status::Ok(); }
Status CountSecondary(Measurement&) { return ++g_secondary, Status::Ok(); }

TEST_F(MlsMeasurementTest, CompensationsFollowTheResponse) {
    ms_.mlsOrder = 10;
    MlsMeasurementSetup s = Setup();
    s.compensation.microphone = &CountMic;
    s.compensation.secondary = &CountSecondary;
    {
        VirtualLoudspeaker device(setup_);
        MlsMeasurement m(s);
        ASSERT_TRUE(RunMlsMeasurement(m, device, "x").ok());
        EXPECT_TRUE(m.Response());
    }
    EXPECT_EQ(g_mic, 1);
    EXPECT_EQ(g_secondary, 1);
    // Without "Do FFT" there is no response to compensate. "Delay Free"
    // starts the window at the first sample (the latency included) and
    // marks the record, where "Normal" starts it 8 samples before the peak.
    s.settings.flags &= ~kMsfMlsDoFft;
    s.settings.fftWindowStart = kTimeWindowDelayFree;
    VirtualLoudspeaker device(setup_);
    MlsMeasurement m(s);
    ASSERT_TRUE(RunMlsMeasurement(m, device, "x").ok());
    EXPECT_FALSE(m.Response());
    EXPECT_EQ(g_mic, 1);
    EXPECT_EQ(m.Impulse()->h.windowStart, 0);
    EXPECT_TRUE(m.Impulse()->h.flags & kTwfDelayFree);
}

}  // namespace
}  // namespace srx
