#include "measure/time_window_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dsp/compensation.h"
#include "dsp/window.h"
#include "tests/native/test_support.h"

using namespace srx;

namespace {

// 100 ms at 48 kHz of a one-pole low-pass (minimum phase), window 10 ms.
TimeRecord LowPass(uint32_t flags = 0) {
    TimeRecord r;
    SetText(r.h.title, "Woofer");
    r.h.sampleRate = 48000;
    r.h.sampleCount = 4800;
    r.h.flags = flags;
    r.h.spikeLength = 1.0 / 48000;
    r.h.fftWindowLength = 0.010;
    r.h.windowType = kWindowHanning;
    for (int n = 0; n < 4800; ++n) r.samples.push_back(float(std::pow(0.7, n) * 0.3));
    return r;
}

TimeWindowChoice Choice(double lengthMs, int mode = kTimeWindowNormal, double startMs = 0) {
    TimeWindowChoice c;
    c.lengthMs = lengthMs;
    c.mode = mode;
    c.startMs = startMs;
    c.startFrequency = 100;
    return c;
}

AnalysisSettings Analysis() {
    AnalysisSettings s;
    s.pointsPerOctave = 12;
    s.topFrequency = s.topFrequencyMls = 20000;
    return s;
}

double LevelAt1k(const Measurement& m) {
    for (const CurvePoint& p : m.points)
        if (p.frequency >= 1000) return p.value[kSlotLevel];
    return 0;
}

}  // namespace

TEST(TimeWindowDialog, OpensWithTheRecordsWindowAndMode) {
    TimeRecord r = LowPass();
    TimeWindowDialogState s = InitialTimeWindowState(r, 0, kWindowBlackman);
    EXPECT_EQ(s.choice.mode, kTimeWindowNormal);
    EXPECT_DOUBLE_EQ(s.choice.lengthMs, 10);
    EXPECT_DOUBLE_EQ(s.durationMs, 100);
    EXPECT_EQ(s.choice.windowType, kWindowHanning);
    EXPECT_TRUE(s.startFrequencyEnabled && s.compensationEnabled);
    r.h.flags |= kTwfDelayFree;
    EXPECT_EQ(InitialTimeWindowState(r, 0, 0).choice.mode, kTimeWindowDelayFree);
    // Any start but 0 opens in Manual; a record without a window type gets
    // the default; a probe-compensated one offers no microphone compensation.
    r.h.windowStart = 96;
    r.h.windowType = 77;
    r.h.flags |= kTwfCompensationContained;
    s = InitialTimeWindowState(r, -1, kWindowBlackman);
    EXPECT_EQ(s.choice.mode, kTimeWindowManual);
    EXPECT_DOUBLE_EQ(s.choice.startMs, 2.0);
    EXPECT_EQ(s.choice.windowType, kWindowBlackman);
    EXPECT_FALSE(s.startFrequencyEnabled || s.compensationEnabled);
}

TEST(TimeWindowDialog, OkRulesAndTheDurationMessage) {
    EXPECT_EQ(CheckTimeWindowChoice(Choice(0.09), 100, true), TimeWindowVerdict::Refuse);
    EXPECT_EQ(CheckTimeWindowChoice(Choice(0.1), 100, true), TimeWindowVerdict::Accept);
    EXPECT_EQ(CheckTimeWindowChoice(Choice(NAN), 100, true), TimeWindowVerdict::Refuse);
    EXPECT_EQ(CheckTimeWindowChoice(Choice(10, kTimeWindowManual, -1), 100, true), TimeWindowVerdict::Refuse);
    // Fields that are not in use cannot block OK.
    EXPECT_EQ(CheckTimeWindowChoice(Choice(10, kTimeWindowNormal, -1), 100, true), TimeWindowVerdict::Accept);
    TimeWindowChoice c = Choice(10);
    c.startFrequency = -1;
    EXPECT_EQ(CheckTimeWindowChoice(c, 100, true), TimeWindowVerdict::Refuse);
    EXPECT_EQ(CheckTimeWindowChoice(c, 100, false), TimeWindowVerdict::Accept);
    // A manual window may end at the record's end, not beyond it.
    EXPECT_EQ(CheckTimeWindowChoice(Choice(60, kTimeWindowManual, 40), 100, true), TimeWindowVerdict::Accept);
    EXPECT_EQ(CheckTimeWindowChoice(Choice(60, kTimeWindowManual, 40.01), 100, true), TimeWindowVerdict::ExceedsRecord);
    const Status msg = ExceedsRecordMessage(1000.0 * 1000 / 48000);
    EXPECT_EQ(msg.stringId, 2410);
    EXPECT_EQ(msg.args, std::vector<std::string>{"20.83"});
}

TEST(TimeWindowDialog, StoringMarksTheRecordChangedOnlyWhenItIs) {
    TimeRecord r = LowPass(kTwfSaved);
    TimeWindowChoice c = Choice(10, kTimeWindowManual, 5);
    c.windowType = kWindowBlackman;
    c.compensation = "ECM8000";
    EXPECT_TRUE(StoreTimeWindowChoice(r, c));
    EXPECT_EQ(r.h.windowStart, 240);
    EXPECT_EQ(r.h.windowType, kWindowBlackman);
    EXPECT_EQ(TextOf(r.h.setup.compensationFile), "ECM8000");
    EXPECT_FALSE(r.h.flags & kTwfSaved);
    r.h.flags |= kTwfSaved;
    EXPECT_FALSE(StoreTimeWindowChoice(r, c));
    EXPECT_TRUE(r.h.flags & kTwfSaved);
}

TEST(FftOfWindow, ChosenWindowAndDensityWithMinimumPhaseOnRequest) {
    TimeRecord r = LowPass();
    TimeWindowChoice c = Choice(100);
    c.windowType = kWindowRectangular;
    StoreTimeWindowChoice(r, c);
    WindowResponse w = FrequencyResponseOfWindow(r, c, Analysis(), CompensationSettings{}, false);
    ASSERT_NE(w.response, nullptr);
    Measurement& m = *w.response;
    EXPECT_EQ(TextOf(m.h.title), "Woofer");
    EXPECT_EQ(m.h.windowType, kWindowRectangular);
    EXPECT_EQ(m.points.size(), 93u);  // 100 Hz..20 kHz at 12 per octave, top included
    EXPECT_TRUE(LacksMinimumPhase(m));
    EXPECT_TRUE(IsFftOfRecord(m, r));

    // The low-pass is minimum phase: well inside the band both phases agree.
    ASSERT_TRUE(DerivePhaseFamily(m, Analysis(), true));
    EXPECT_FALSE(LacksMinimumPhase(m));
    for (const CurvePoint& p : m.points) {
        if (p.frequency > 200 && p.frequency < 4000) {
            EXPECT_NEAR(p.value[kSlotMinimumPhase], p.value[kSlotPhase], 0.1) << p.frequency;
        }
    }
}

TEST(FftOfWindow, ChosenCompensationIsAppliedAndOnlyThenNamed) {
    const test::ScratchDir scratch;
    scratch.Write(
        "MIC.MCP",
        "Son-Rix:Compensation File v1.10\r\nMIC.MCP\r\n3\r\nBEGIN.\r\n20 6 0\r\n1000 6 0\r\n24000 6 0\r\nEND.\r\n");
    CompensationSettings cs;
    cs.programFolder = (scratch.Dir() / "").string();
    cs.normalise = false;
    auto response = [&](uint32_t flags, const char* name) {
        TimeRecord r = LowPass(flags);
        TimeWindowChoice c = Choice(50);
        c.compensation = name;
        StoreTimeWindowChoice(r, c);
        return FrequencyResponseOfWindow(r, c, Analysis(), cs, false).response;
    };
    auto plain = response(0, ""), mic = response(0, "MIC"), gone = response(0, "GONE");
    ASSERT_TRUE(plain && mic && gone);
    EXPECT_EQ(TextOf(mic->h.setup.compensationFile), "MIC");
    EXPECT_NEAR(LevelAt1k(*mic), LevelAt1k(*plain) - 6.0, 0.01);
    // A missing file compensates nothing and the curve does not claim it did.
    EXPECT_EQ(TextOf(gone->h.setup.compensationFile), "");
    EXPECT_NEAR(LevelAt1k(*gone), LevelAt1k(*plain), 1e-4);
}
