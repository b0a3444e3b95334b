#include "design/box_pages.h"

#include "design/analyzer_settings.h"

#include <gtest/gtest.h>

#include <cmath>

#include "resources/string_ids.h"

namespace srx {
namespace {

SpeakerUnit Woofer() {
    SpeakerUnit u;
    u.fs = 30, u.vas = 0.1, u.qes = 0.4, u.qms = 4, u.re = 6, u.sd = 0.05, u.le = 0.0008, u.xmax = 0.006;
    return u;
}

double Qts(const SpeakerUnit& u) { return u.qes * u.qms / (u.qes + u.qms); }

TEST(BoxPages, ClosedPageSolvesTheVolumeOrRefusesWithoutChangingTheBox) {
    SpeakerUnit u = Woofer();
    u.qms = 10, u.qes = 0.5 * 10 / 9.5;  // Qts 0.5
    ASSERT_NEAR(Qts(u), 0.5, 1e-12);
    BoxDesign box;
    ClosedPageInput in;
    in.qtc = 0.707;
    ASSERT_TRUE(ApplyClosedPage(u, in, box).ok());
    EXPECT_NEAR(box.vb / u.vas, 1 / (std::pow(0.707 / 0.5, 2) - 1), 1e-12);  // about Vas
    EXPECT_EQ(box.title, "Closed box");
    // The shown ratios come back from the volume.
    const BoxRatios r = RatiosOf(u, box);
    EXPECT_NEAR(r.qtc, 0.707, 1e-9);
    EXPECT_NEAR(r.fc, 0.707 * u.fs / 0.5, 1e-9);

    const BoxDesign before = box;
    for (auto [qtc, fc, id] : {std::tuple{0.45, 0.0, kStrQtcTooLow}, std::tuple{0.0, 30.0, kStrFcTooLow},
                               std::tuple{0.0, 0.0, kStrNotEnoughParameters}}) {
        ClosedPageInput bad;
        bad.qtc = qtc, bad.fc = fc;
        EXPECT_EQ(ApplyClosedPage(u, bad, box).stringId, id);
        EXPECT_EQ(SerializeBoxDesign(box), SerializeBoxDesign(before));
    }
    // The practical volume wins over the ratios; a filter needs its cut-off
    // (and Q from second order on); three isobaric units fail.
    ClosedPageInput practical;
    practical.practicalFirst = true, practical.vb = 0.05, practical.qtc = 2;
    practical.filter = {2, 20, 0};
    EXPECT_EQ(ApplyClosedPage(u, practical, box).stringId, kStrNotEnoughParameters);
    practical.filter.q = 0.5;
    ASSERT_TRUE(ApplyClosedPage(u, practical, box).ok());
    EXPECT_DOUBLE_EQ(box.vb, 0.05);
    EXPECT_DOUBLE_EQ(box.filterDamping, 2);
    practical.units = 3, practical.isobaric = true;
    EXPECT_EQ(ApplyClosedPage(u, practical, box).stringId, kStrIsobaricOdd);
}

TEST(BoxPages, VentedAndBandpassPagesSolveTheirVents) {
    const SpeakerUnit u = Woofer();
    BoxDesign box;
    VentedPageInput v;
    v.a = 2, v.h = 1;  // no vent given: the smallest one for Xmax
    ASSERT_TRUE(ApplyVentedPage(u, v, box).ok());
    EXPECT_DOUBLE_EQ(box.vb, u.vas / 2);
    EXPECT_DOUBLE_EQ(box.fb, u.fs);
    EXPECT_NEAR(box.sv, MinimumVentArea(u, u.fs, 1), 1e-15);
    EXPECT_GT(box.further, 0);  // the vent length
    EXPECT_EQ(box.ql, 7);
    // The length comes back from the other three.
    double vb = box.vb, fb = 0, sv = box.sv, lv = box.further;
    ASSERT_EQ(SolveVent(1, 1, vb, fb, sv, lv), 1);
    EXPECT_NEAR(fb, u.fs, 1e-9);
    // A vent this narrow tunes the box below fb even without a length.
    v.sv = 1e-4;
    const BoxDesign before = box;
    EXPECT_EQ(ApplyVentedPage(u, v, box).stringId, kStrVentNegative);
    EXPECT_EQ(SerializeBoxDesign(box), SerializeBoxDesign(before));

    // Bandpass "2:nd order  0 dB": Qtc 0.7071 from the rear chamber, aT 1,
    // tuned at fc. The vented default name follows the kind; a title of
    // the user's stays.
    BandpassPageInput b;
    b.aT = 1, b.qtc = 0.707106781, b.hc = 1, b.title = "Vented box";
    ASSERT_TRUE(ApplyBandpassPage(u, b, box).ok());
    EXPECT_EQ(box.title, "Bandpass box");
    BoxDesign named = box;
    b.title = "Sub 12";
    ASSERT_TRUE(ApplyBandpassPage(u, b, named).ok());
    EXPECT_EQ(named.title, "Sub 12");
    const double qts = Qts(u), ar = std::pow(b.qtc / qts, 2) - 1;
    EXPECT_NEAR(box.vr, u.vas / ar, 1e-12);
    EXPECT_NEAR(box.vb, u.vas / (ar + 1), 1e-12);
    EXPECT_NEAR(box.fb, b.qtc * u.fs / qts, 1e-9);
    EXPECT_EQ(box.filterOrder, 2);
    EXPECT_DOUBLE_EQ(box.filterFreq, box.fb);
    const BoxRatios r = RatiosOf(u, box);
    EXPECT_NEAR(r.a, 1, 1e-9);
    EXPECT_NEAR(r.h, 1, 1e-9);
}

TEST(BoxPages, StartPageAndGlobalPage) {
    SpeakerUnit u = Woofer();  // Fs/Qes 75, Qts 0.36: a vented woofer
    BoxDesign box;
    EXPECT_EQ(BoxSheetStartPage(u, box), 2);
    u.qes = 1.0;  // Fs/Qes 30
    EXPECT_EQ(BoxSheetStartPage(u, box), 1);
    box.boxType = kBandpassBox;
    EXPECT_EQ(BoxSheetStartPage(u, box), 3);

    GlobalPageInput g;
    g.baffleStep = true, g.width = 0.3, g.height = 0;  // no height: no baffle step
    g.cavitySize = 2;
    ApplyGlobalPage(g, box);
    EXPECT_FALSE(box.globalFlags & 1);
    EXPECT_GT(box.cavityF3, 0);
    g.height = 0.5, g.cavitySize = 0, g.cavityF3 = 50, g.cavityQ = 1;
    ApplyGlobalPage(g, box);
    EXPECT_TRUE(box.globalFlags & 1);
    EXPECT_EQ(box.cavityF3, 0);  // "None..." keeps no cavity rise
}

TEST(BoxPages, AnalyzerPreferencesRulesAndStore) {
    AnalyzerSettings s;
    s.start = 0.5, s.stop = 60000, s.visibleImpulse = 0.5;
    EXPECT_EQ(CheckAnalyzerSettings(s), kAnalyzerImpulseField);  // 4096 / (4 x 50 kHz) is the longest
    EXPECT_EQ(s.start, 1);
    EXPECT_EQ(s.stop, 50000);
    EXPECT_DOUBLE_EQ(s.visibleImpulse, 4096 / 200000.0);
    EXPECT_EQ(CheckAnalyzerSettings(s), kAnalyzerOk);
    s.eg = 0;
    EXPECT_EQ(CheckAnalyzerSettings(s), kAnalyzerStartField);

    // An older block (zeros) and a damaged one give the defaults.
    WindowHistory h{};
    EXPECT_EQ(AnalyzerSettingsOf(h).stop, AnalyzerSettings{}.stop);
    AnalyzerSettings mine;
    mine.start = 20, mine.stop = 2000, mine.eg = 4, mine.oneWayRms = true;
    StoreAnalyzerSettings(h, mine);
    EXPECT_EQ(AnalyzerSettingsOf(h).stop, 2000);
    EXPECT_TRUE(AnalyzerSettingsOf(h).oneWayRms);
    h.analyzerStop = std::nan("");
    EXPECT_EQ(AnalyzerSettingsOf(h).stop, AnalyzerSettings{}.stop);
}

}  // namespace
}  // namespace srx
