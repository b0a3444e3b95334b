#include "measure/soundcard_compensation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/virtual_device.h"
#include "dsp/compensation.h"
#include "measure/compensation_settings.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "measure/mls_measurement.h"
#include "measure/stimulus_files.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kLatency = 256;
constexpr double kTwoPi = 6.283185307179586;

std::string ReadAll(const std::string& path) { return test::Slurp(HostPath(path)); }

CompensationCurve Curve(std::vector<CompensationEntry> entries) {
    CompensationCurve c;
    c.entries = std::move(entries);
    return c;
}

class SoundcardCompensationTest : public test::ScratchTest {
protected:
    void SetUp() override {
        fs::create_directories(Dir() / "prog");
        program_ = (Dir() / "prog").string();
        SetMeasureProgramFolder(program_);
        ResetMeasurementDefaults(ms_);
        ms_.sampleRate = kRate;
        ms_.channels = 1;
        ms_.bitsPerSample = 24;
        ms_.inputSource = kInputLine;
        ms_.mlsOrder = 13;
        ms_.mlsPreAverages = 1;
        ResetMeasurementDefaults(CurrentMeasurementSettings());
        SetNoSoundcardCompensationNotice(nullptr);
    }
    void TearDown() override {
        SetNoSoundcardCompensationNotice(nullptr);
        ResetMeasurementDefaults(CurrentMeasurementSettings());
    }

    CompensationRunSetup RunSetup(CompensationTarget target) const {
        CompensationRunSetup s;
        s.target = target;
        s.settings = ms_;
        s.folder = (Dir() / "waves").string();
        s.programFolder = program_;
        s.outputDevice = s.inputDevice = 0;
        s.compensation = CurrentCompensationSettings();
        return s;
    }

    Status Linearity(const VirtualSetup& card, std::vector<std::string>* written = nullptr) {
        VirtualLoudspeaker device(card);
        CompensationRun run(RunSetup(CompensationTarget::kSoundcard));
        const Status s = RunCompensation(run, device);
        if (written) *written = run.Written();
        return s;
    }

    std::unique_ptr<Measurement> MeasureMls(const VirtualSetup& setup, const CompensationHooks& hooks) {
        MlsMeasurementSetup s;
        s.settings = ms_;
        s.folder = (Dir() / "waves").string();
        s.outputDevice = s.inputDevice = 0;
        s.compensation = hooks;
        VirtualLoudspeaker device(setup);
        MlsMeasurement m(s);
        const Status st = RunMlsMeasurement(m, device, "x");
        EXPECT_TRUE(st.ok()) << st.stringId;
        return m.TakeResponse();
    }

    std::string CardFile() const { return SoundcardCompensationPath(ms_, program_, CompensationStimulus::Mls); }

    std::string program_;
    MeasurementSettings ms_{};
};

CompensationHooks CardOnly() {
    CompensationHooks h;
    h.soundcard = &ApplySettingsSoundcardCompensation;
    return h;
}

double LevelAt(const Measurement& m, double f) {
    CompensationCurve c;
    for (const CurvePoint& p : m.points) c.entries.push_back({p.frequency, p.value[kSlotLevel], 0});
    return CompensationLevelAt(c, f);
}

TEST_F(SoundcardCompensationTest, IdealLoopBackGivesAFlatFileNamedForTheSettingAndStimulus) {
    std::vector<std::string> written;
    ASSERT_TRUE(Linearity(PureLatencySetup(kLatency), &written).ok());
    // The gated sine, the sweep and the MLS; the sine files hold the wire's
    // shape too, their phase referred to the arrival (the latency is the
    // measurement's own).
    ASSERT_EQ(written.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        CompensationCurve sine;
        ASSERT_TRUE(LoadCompensation(written[i], sine).ok()) << written[i];
        for (const CompensationEntry& e : sine.entries) {
            EXPECT_NEAR(e.level, 0, 0.05) << written[i] << " " << e.frequency;
            EXPECT_NEAR(e.phase, 0, 0.05) << written[i] << " " << e.frequency;
        }
    }
    EXPECT_NE(written[0].find(" TW10.scc"), std::string::npos) << written[0];
    EXPECT_NE(written[1].find(" Sw 0.1.scc"), std::string::npos) << written[1];
    std::rotate(written.begin(), written.begin() + 2, written.end());
    EXPECT_EQ(written[0], CardFile());
    EXPECT_NE(written[0].find("SoundCard\\SC2-Line(0.0) 44-24 MLS 13 0 10.scc"), std::string::npos) << written[0];
    EXPECT_TRUE(SoundcardCompensationPresent(ms_, program_, CompensationStimulus::Mls));
    // A wire: every entry agrees to a tenth of a dB and radian, so thinning
    // leaves the two ends, at 0 dB and (the phase read from the peak) 0.
    CompensationCurve c;
    ASSERT_TRUE(LoadCompensation(CardFile(), c).ok());
    ASSERT_EQ(c.Count(), 2);
    EXPECT_NEAR(c.entries[0].frequency, 100, 1);
    EXPECT_NEAR(c.entries[1].frequency, MaxAnalysisFrequency(kRate), 1);
    for (const CompensationEntry& e : c.entries) {
        EXPECT_NEAR(e.level, 0, 0.05);
        EXPECT_NEAR(e.phase, 0, 0.05);
    }
    // A pre-emphasised MLS is a stimulus of its own (and the run does not
    // trip over the plain stimulus it could have left behind).
    EXPECT_FALSE(SoundcardCompensationPresent(ms_, program_, CompensationStimulus::Spike));
    ms_.flags |= kMsfMlsPreEmphasis;
    EXPECT_FALSE(SoundcardCompensationPresent(ms_, program_, CompensationStimulus::Mls));
    ASSERT_TRUE(Linearity(PureLatencySetup(kLatency), &written).ok());
    EXPECT_NE(written.back().find("MLS-PE 13 0 10.scc"), std::string::npos) << written.back();
}

TEST_F(SoundcardCompensationTest, FileHoldsTheCardsShapeAndTheMlsAnalysisTakesItOut) {
    // A "card" with the virtual loudspeaker's response on its loop-back.
    const VirtualSetup card;
    ASSERT_TRUE(Linearity(card).ok());
    CompensationCurve c;
    ASSERT_TRUE(LoadCompensation(CardFile(), c).ok());
    EXPECT_GT(c.Count(), 20);
    const VirtualTruth truth(card, kRate);
    auto db = [&](double f) { return 20 * std::log10(std::abs(truth.Response(f))); };
    double worst = 0;
    for (double f = 500; f < 15000; f *= 1.07)
        worst = std::max(worst, std::fabs(CompensationLevelAt(c, f) - (db(f) - db(1000))));
    EXPECT_LT(worst, 0.5);
    EXPECT_NEAR(CompensationLevelAt(c, 1000), 0, 0.06);

    // The same card measured again comes out flat: level, and phase down to
    // the delay of the window's start before the peak.
    ms_.mlsPerOctave = 3;
    auto r = MeasureMls(card, CardOnly());
    ASSERT_TRUE(r);
    auto plain = MeasureMls(card, {});
    ASSERT_TRUE(plain);
    const double ref = LevelAt(*r, 1000);
    double level = 0, phase = 0, rawLevel = 0;
    const double delay = 8.0 / kRate;
    for (const CurvePoint& p : r->points) {
        if (p.frequency < 300 || p.frequency > 15000) continue;
        level = std::max(level, std::fabs(p.value[kSlotLevel] - ref));
        phase = std::max(phase, std::fabs(WrapRadians(p.value[kSlotPhase] + kTwoPi * p.frequency * delay)));
    }
    for (const CurvePoint& p : plain->points)
        if (p.frequency >= 300 && p.frequency <= 15000)
            rawLevel = std::max(rawLevel, std::fabs(p.value[kSlotLevel] - LevelAt(*plain, 1000)));
    EXPECT_GT(rawLevel, 3);
    EXPECT_LT(level, 0.3);
    EXPECT_LT(phase, 0.1);
}

TEST_F(SoundcardCompensationTest, MlsResponseIsCorrectedByExactlyTheFileOfItsSetting) {
    const CompensationCurve known = Curve({{100, 2, 0.2f}, {1000, 0, 0}, {5000, -4, -0.6f}, {22000, 3, 1.0f}});
    std::string path;
    ASSERT_TRUE(CompensationFileName(ms_, program_, &path, CompensationStimulus::Mls, false, 13));
    ASSERT_TRUE(SaveCompensation(path, known));
    const VirtualSetup wire = PureLatencySetup(kLatency);
    auto plain = MeasureMls(wire, {});
    auto corrected = MeasureMls(wire, CardOnly());
    ASSERT_TRUE(plain && corrected);
    ASSERT_EQ(plain->points.size(), corrected->points.size());
    for (size_t i = 0; i < plain->points.size(); ++i) {
        const CurvePoint &a = plain->points[i], &b = corrected->points[i];
        const double f = a.frequency;
        EXPECT_NEAR(b.value[kSlotLevel] - a.value[kSlotLevel], -CompensationLevelAt(known, f), 1e-3) << f;
        EXPECT_NEAR(WrapRadians(b.value[kSlotPhase] - a.value[kSlotPhase] + CompensationPhaseAt(known, f)), 0, 1e-3)
            << f;
    }
    // Another setting (an order without a file) is not corrected, nor is
    // anything once the file has gone.
    ms_.mlsOrder = 12;
    auto other = MeasureMls(wire, CardOnly());
    auto otherPlain = MeasureMls(wire, {});
    ASSERT_TRUE(other && otherPlain);
    for (size_t i = 0; i < other->points.size(); ++i)
        EXPECT_EQ(other->points[i].value[kSlotLevel], otherPlain->points[i].value[kSlotLevel]);
    ms_.mlsOrder = 13;
    fs::remove(HostPath(path));
    auto gone = MeasureMls(wire, CardOnly());
    ASSERT_TRUE(gone);
    for (size_t i = 0; i < gone->points.size(); ++i) {
        EXPECT_EQ(gone->points[i].value[kSlotLevel], plain->points[i].value[kSlotLevel]);
        EXPECT_EQ(gone->points[i].value[kSlotPhase], plain->points[i].value[kSlotPhase]);
    }
}

TEST_F(SoundcardCompensationTest, ApplyingLeavesProbeModeAndBrokenFilesAlone) {
    std::string path;
    ASSERT_TRUE(CompensationFileName(ms_, program_, &path, CompensationStimulus::Mls, false, 13));
    ASSERT_TRUE(SaveCompensation(path, Curve({{100, 5, 0}, {20000, -5, 0}})));
    Measurement m;
    m.h.curveKind = kCurveFrequencyResponse;
    for (double f : {100.0, 1000.0, 10000.0}) {
        CurvePoint p;
        p.frequency = float(f);
        p.value[kSlotLevel] = 80;
        m.points.push_back(p);
    }
    const AnalysisSettings& st = DefaultAnalysisSettings();
    Measurement probe = m;
    MeasurementSettings stereo = ms_;
    stereo.channels = 2;
    stereo.flags |= kMsfProbeCompensation;
    EXPECT_TRUE(ApplySoundcardCompensation(probe, stereo, CompensationStimulus::Mls, program_, st).ok());
    EXPECT_EQ(probe.points[0].value[kSlotLevel], 80);
    Measurement impedance = m;
    impedance.h.curveKind = kCurveImpedance;
    EXPECT_TRUE(ApplySoundcardCompensation(impedance, ms_, CompensationStimulus::Mls, program_, st).ok());
    EXPECT_EQ(impedance.points[0].value[kSlotLevel], 80);
    Measurement ok = m;
    EXPECT_TRUE(ApplySoundcardCompensation(ok, ms_, CompensationStimulus::Mls, program_, st).ok());
    EXPECT_NEAR(ok.points[0].value[kSlotLevel], 75, 1e-4);
    EXPECT_NEAR(ok.points[2].value[kSlotLevel], 80 - (5 - 10 * std::log10(100.0) / std::log10(200.0)), 1e-3);
    // A file that is not a compensation file: reported, nothing changed.
    { std::ofstream(HostPath(path), std::ios::binary) << "garbage\r\n"; }
    Measurement broken = m;
    EXPECT_EQ(ApplySoundcardCompensation(broken, ms_, CompensationStimulus::Mls, program_, st).stringId, 2372);
    EXPECT_EQ(broken.points[1].value[kSlotLevel], 80);
}

TEST_F(SoundcardCompensationTest, WaterfallTakesTheFileOfItsOwnSequenceLength) {
    // Files for two orders: the record measured at order 12 must take its own,
    // whatever order the settings hold now.
    std::string order12, order13;
    ASSERT_TRUE(CompensationFileName(ms_, program_, &order12, CompensationStimulus::Mls, false, 12));
    ASSERT_TRUE(CompensationFileName(ms_, program_, &order13, CompensationStimulus::Mls, false, 13));
    ASSERT_TRUE(SaveCompensation(order12, Curve({{100, 4, 0}, {20000, 4, 0}, {21000, 4, 0}})));
    ASSERT_TRUE(SaveCompensation(order13, Curve({{100, 9, 0}, {20000, 9, 0}, {21000, 9, 0}})));
    ms_.mlsOrder = 13;
    TimeRecord t;
    t.h.flags = kTwfMls | kTwfWaterfall;
    t.h.mlsLength = 4095;
    t.slices.resize(2);
    for (WaterfallSlice& sl : t.slices) {
        sl.frequency = {200, 2000};
        sl.level = {50, -1000};
    }
    EXPECT_TRUE(ApplySoundcardCompensation(t, ms_, program_).ok());
    EXPECT_NEAR(t.slices[1].level[0], 46, 1e-4);
    EXPECT_EQ(t.slices[1].level[1], -1000);  // no level stays no level
    // A record that carries its compensation is left alone.
    TimeRecord probed = t;
    probed.h.flags |= kTwfCompensationContained;
    EXPECT_TRUE(ApplySoundcardCompensation(probed, ms_, program_).ok());
    EXPECT_EQ(probed.slices[0].level[0], t.slices[0].level[0]);
}

TEST_F(SoundcardCompensationTest, NoImpulseNoFileAndTheOldFileStays) {
    std::string path;
    ASSERT_TRUE(CompensationFileName(ms_, program_, &path, CompensationStimulus::Mls, false, 13));
    ASSERT_TRUE(SaveCompensation(path, Curve({{100, 1, 0}, {1000, 0, 0}, {20000, 2, 0}})));
    const std::string before = ReadAll(path);
    // Nothing plugged in: the input hears only noise.
    VirtualSetup unplugged = PureLatencySetup(kLatency);
    unplugged.acoustic.gain = 0;
    unplugged.acoustic.noiseDb = -60;
    std::vector<std::string> written;
    EXPECT_EQ(Linearity(unplugged, &written).stringId, kStrLevelTooLow);
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(ReadAll(path), before);
    // The responses and the stimulus went with the engine.
    EXPECT_TRUE(fs::is_empty(Dir() / "waves"));
    EXPECT_FALSE(WaveGetState().initialised);
}

TEST_F(SoundcardCompensationTest, SecondaryFileFlattensTheChainAfterCardAndMicrophone) {
    // A card and a microphone with known errors, and an older secondary
    // compensation in use that the new one must not build on.
    std::string card;
    ASSERT_TRUE(CompensationFileName(ms_, program_, &card, CompensationStimulus::Mls, false, 13));
    ASSERT_TRUE(SaveCompensation(card, Curve({{100, 1.5f, 0.1f}, {3000, -2, -0.3f}, {22000, 1, 0.2f}})));
    ASSERT_TRUE(SaveCompensation(program_ + "\\MIC.MCP", Curve({{100, 0, 0}, {8000, 3, 0}, {22000, -2, 0}})));
    ASSERT_TRUE(SaveCompensation(program_ + "\\OLD.2CP", Curve({{100, -6, 0}, {22000, 6, 0.5f}})));
    SetRememberedMicrophoneCompensation("MIC");
    SetRememberedSecondaryCompensation("OLD");

    const VirtualSetup reference;  // the virtual loudspeaker as the reference
    CompensationRunSetup setup = RunSetup(CompensationTarget::kSecondary);
    setup.secondaryName = " REF.2cp ";
    {
        VirtualLoudspeaker device(reference);
        CompensationRun run(setup);
        ASSERT_TRUE(RunCompensation(run, device).ok());
        ASSERT_EQ(run.Written().size(), 1u);
        EXPECT_EQ(run.Written()[0], program_ + "\\REF.2CP");
    }
    EXPECT_EQ(RememberedSecondaryCompensation(), "REF");
    const std::string text = ReadAll(program_ + "\\REF.2CP");
    EXPECT_EQ(text.rfind("Son-Rix:Compensation File v1.10\r\nREF.2CP\r\n", 0), 0u) << text.substr(0, 60);
    CompensationCurve secondary;
    ASSERT_TRUE(LoadCompensation(program_ + "\\REF.2CP", secondary).ok());
    EXPECT_NEAR(CompensationLevelAt(secondary, 1000), 0, 0.06);

    // Every later measurement through the same chain is flat.
    ms_.mlsPerOctave = 3;
    auto r = MeasureMls(reference, DefaultCompensationHooks());
    ASSERT_TRUE(r);
    const double ref = LevelAt(*r, 1000);
    double worst = 0;
    for (const CurvePoint& p : r->points)
        if (p.frequency >= 300 && p.frequency <= 15000) worst = std::max(worst, std::fabs(p.value[kSlotLevel] - ref));
    EXPECT_LT(worst, 0.3);

    // A name that is no file name writes nothing and keeps the remembered one.
    setup.secondaryName = "a/b";
    VirtualLoudspeaker device(reference);
    CompensationRun bad(setup);
    EXPECT_EQ(RunCompensation(bad, device).stringId, kStrEnterCompensationName);
    EXPECT_TRUE(bad.Written().empty());
    EXPECT_EQ(RememberedSecondaryCompensation(), "REF");
}

TEST_F(SoundcardCompensationTest, SecondaryNamesAreFileNames) {
    std::string base;
    EXPECT_TRUE(SecondaryCompensationBaseName("ref.2cp", base).ok());
    EXPECT_EQ(base, "ref");
    EXPECT_TRUE(SecondaryCompensationBaseName("  My Ref 2 .2CP ", base).ok());
    EXPECT_EQ(base, "My Ref 2");
    // Dots too: the lookup of a remembered name adds ".2CP" only to a name
    // without one.
    for (const char* bad :
         {"", "   ", ".2CP", "a\\b", "c:x", "a*", "q?", "x\"y", "<", "|", "None...", "v1.2", "tab\tin"})
        EXPECT_EQ(SecondaryCompensationBaseName(bad, base).stringId, kStrEnterCompensationName) << bad;
}

int g_notices = 0;
void CountNotice(void*) { ++g_notices; }

TEST_F(SoundcardCompensationTest, PreparationAsksForTheNoticeOnlyWhenTheFileIsMissing) {
    SetNoSoundcardCompensationNotice(&CountNotice);
    auto run = [&] {
        g_notices = 0;
        ms_.mlsOrder = 10;
        MeasureMls(PureLatencySetup(kLatency), {});
        return g_notices;
    };
    EXPECT_EQ(run(), 1);
    ms_.mlsOrder = 10;
    ASSERT_TRUE(Linearity(PureLatencySetup(kLatency)).ok());  // measuring shows no notice
    EXPECT_EQ(g_notices, 1);
    EXPECT_EQ(run(), 0);

    // The check fills only what the caller left empty; probe mode and the
    // virtual loudspeaker on both sides need no file.
    ms_.mlsOrder = 13;
    WavePrepareHooks hooks;
    {
        const SoundcardCompensationCheck check(ms_, hooks);
        ASSERT_TRUE(hooks.compensationExists);
        EXPECT_EQ(hooks.showNoCompensation, &CountNotice);
        EXPECT_FALSE(hooks.compensationExists(int(CompensationStimulus::Mls)));
    }
    MeasurementSettings probe = ms_;
    probe.channels = 2;
    probe.flags |= kMsfProbeCompensation;
    EXPECT_FALSE(SoundcardCompensationMissing(probe, program_, CompensationStimulus::Mls));
    VirtualLoudspeaker device;
    WaveDeviceBackend* previous = WaveBackend();
    WaveSetBackend(&device);
    MeasurementSettings onVirtual = ms_;
    onVirtual.inputDevice = onVirtual.outputDevice = 1;  // device 0
    EXPECT_TRUE(UsesVirtualLoudspeaker(onVirtual));
    EXPECT_FALSE(SoundcardCompensationMissing(onVirtual, program_, CompensationStimulus::Mls));
    EXPECT_TRUE(SoundcardCompensationMissing(ms_, program_, CompensationStimulus::Mls));  // the mapper
    WaveSetBackend(previous);
    WavePrepareHooks given;
    given.compensationExists = [](int) { return true; };
    const auto mine = given.compensationExists;
    const SoundcardCompensationCheck check(ms_, given);
    EXPECT_EQ(given.compensationExists, mine);
}

}  // namespace
}  // namespace srx
