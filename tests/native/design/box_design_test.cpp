#include "design/box_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "dsp/numeric.h"
#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

SpeakerUnit Woofer() {
    SpeakerUnit u;
    u.fs = 30, u.vas = 0.1, u.qes = 0.4, u.qms = 4, u.re = 6, u.sd = 0.05, u.le = 0.0008, u.xmax = 0.006;
    return u;
}

TEST(BoxDesign, ClosedBoxFiguresAndAlignments) {
    const ClosedBoxFigures c = ClosedBoxResults(Woofer(), 0.05);
    EXPECT_NEAR(c.qtc, 0.62984, 5e-6);
    EXPECT_NEAR(c.fc, 51.962, 5e-4);
    EXPECT_NEAR(c.f3, 59.103, 5e-4);
    // f3 is where a second-order high-pass of fc and Qtc is 3 dB down.
    const double r = c.f3 / c.fc;
    const double h2 = std::pow(r, 4) / (std::pow(1 - r * r, 2) + r * r / (c.qtc * c.qtc));
    EXPECT_NEAR(10 * std::log10(h2), -3.0103, 1e-3);
    EXPECT_EQ(ClosedBoxResults(Woofer(), 0).qtc, 0);
    // In its box the unit keeps its reference efficiency 4 pi^2 Fs^3 Vas / (c^3 Qes).
    const SpeakerUnit u = Woofer();
    EXPECT_NEAR(c.efficiency, 4 * kPi * kPi * std::pow(u.fs, 3) * u.vas / (40707584 * u.qes), 1e-12);

    // Alignments from the first reaching the unit's Qts on; bandpass above it.
    EXPECT_EQ(ClosedAlignmentsFor(0.3636).size(), 7u);
    ASSERT_EQ(ClosedAlignmentsFor(0.6).size(), 5u);
    EXPECT_STREQ(ClosedAlignmentsFor(0.6)[0].name, "Butterworth");
    EXPECT_TRUE(ClosedAlignmentsFor(2).empty());
    EXPECT_EQ(BandpassAlignmentsFor(0.5).size(), 6u);
}

TEST(BoxDesign, VentRelationsSolveEachOther) {
    double vb = 0.08, fb = 28, sv = 0.005, lv = 0;
    ASSERT_EQ(SolveVent(1, 2, vb, fb, sv, lv), 1);
    EXPECT_GT(lv, 0);
    // Each of the others comes back from the remaining three.
    for (int missing = 0; missing < 3; ++missing) {
        double v = vb, f = fb, s = sv, l = lv;
        (missing == 0 ? v : missing == 1 ? f : s) = 0;
        ASSERT_EQ(SolveVent(1, 2, v, f, s, l), 1) << missing;
        EXPECT_NEAR(v, vb, 1e-9);
        EXPECT_NEAR(f, fb, 1e-9);
        EXPECT_NEAR(s, sv, 1e-12);
    }
    // A wide vent in a big box at a high tuning would need a negative length.
    double v = 0.2, f = 80, s = 0.05, l = 0;
    EXPECT_EQ(SolveVent(1, 1, v, f, s, l), -1);
    double a = 0, b = 30, c = 0, d = 0;
    EXPECT_EQ(SolveVent(1, 1, a, b, c, d), 0);
    EXPECT_NEAR(MinimumVentArea(Woofer(), 25, 2), kPi * 411.25 * 0.05 * 0.006 / 5 / 4 / 2, 1e-12);
}

TEST(BoxDesign, EffectiveUnitOfPairsAndCounts) {
    SpeakerUnit e;
    ASSERT_TRUE(EffectiveUnit(Woofer(), 2, true, e).ok());
    EXPECT_DOUBLE_EQ(e.vas, 0.05);
    EXPECT_DOUBLE_EQ(e.re, 3);
    EXPECT_DOUBLE_EQ(e.sd, 0.05);
    ASSERT_TRUE(EffectiveUnit(Woofer(), 3, false, e).ok());
    EXPECT_DOUBLE_EQ(e.vas, 0.3);
    EXPECT_DOUBLE_EQ(e.re, 2);
    EXPECT_DOUBLE_EQ(e.sd, 0.15);
    EXPECT_DOUBLE_EQ(e.le, 0.0008 / 3);
    EXPECT_EQ(EffectiveUnit(Woofer(), 3, true, e).stringId, kStrIsobaricOdd);
}

class DesignFile : public test::ScratchTest {};

TEST_F(DesignFile, RoundTripAndDamagedFiles) {
    BoxDesign b;
    b.title = std::string(100, 'x');  // cut to 79 in the record
    b.boxType = kVentedBox, b.units = 2, b.vb = 0.08, b.fb = 28, b.sv = 0.005, b.vents = 2, b.ql = 7;
    b.globalFlags = 1, b.baffleWidth = 0.3;
    const std::string path = Path("w.dsn");
    ASSERT_TRUE(WriteDesignFile(path, Woofer(), b).ok());
    SpeakerUnit u;
    BoxDesign back;
    ASSERT_TRUE(ReadDesignFile(path, u, back).ok());
    EXPECT_EQ(back.title.size(), 79u);
    b.title.resize(79);
    EXPECT_EQ(SerializeBoxDesign(back), SerializeBoxDesign(b));
    EXPECT_EQ(SerializeSpeakerUnit(u), SerializeSpeakerUnit(Woofer()));

    // Damaged boxes are refused on reading and never written.
    std::string bytes = test::Slurp(path);
    const std::string good = bytes;
    bytes[6 + 512 + 80] = 7;  // box type
    EXPECT_EQ(ReadDesignFile(Write("t.dsn", bytes), u, back).stringId, kStrBadBoxDesign);
    bytes = good;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(&bytes[6 + 512 + 90], &nan, 8);  // Vb
    EXPECT_EQ(ReadDesignFile(Write("n.dsn", bytes), u, back).stringId, kStrBadBoxDesign);
    EXPECT_EQ(ReadDesignFile(Write("s.dsn", good.substr(0, 700)), u, back).stringId, kStrReadError);
    EXPECT_EQ(ReadDesignFile(Write("p.dsn", "@SP100" + good.substr(6)), u, back).stringId, kStrReadError);
    b.vents = 0;
    EXPECT_EQ(WriteDesignFile(path, Woofer(), b).stringId, kStrBadBoxDesign);
    EXPECT_EQ(test::Slurp(path), good);
}

}  // namespace
}  // namespace srx
