#include "design/speaker_unit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "resources/string_ids.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

SpeakerUnit Woofer() {
    SpeakerUnit u;
    u.manufacturer = "Acme";
    u.model = "W8";
    u.fs = 30, u.vas = 0.1, u.qes = 0.4, u.qms = 4, u.re = 6, u.sd = 0.05, u.le = 0.0008, u.xmax = 0.006;
    return u;
}

TEST(SpeakerUnit, DerivedParametersAndTheTriangles) {
    const DerivedParameters d = ComputeDerivedParameters(Woofer());
    EXPECT_NEAR(d.cms * 1000, 0.28168, 1e-5);
    EXPECT_NEAR(d.mms * 1000, 99.916, 1e-3);
    EXPECT_NEAR(d.mmd * 1000, 93.488, 1e-3);
    EXPECT_NEAR(d.rms, 4.7084, 1e-4);
    EXPECT_NEAR(d.bl, 16.808, 1e-3);
    EXPECT_NEAR(d.qts, 0.3636, 1e-4);
    EXPECT_NEAR(d.no * 100, 0.6546, 1e-4);
    EXPECT_NEAR(d.spl1w, 90.16, 0.005);
    EXPECT_NEAR(d.spl283v, 91.41, 0.005);
    EXPECT_EQ(SpeakerUnitReportValues(Woofer())[0], "30");
    EXPECT_EQ(SpeakerUnitReportValues(Woofer())[15], "90.16");

    double qms = 4, qes = 0, qts = 0.4;
    EXPECT_EQ(CompleteQTriangle(qms, qes, qts), 2);
    EXPECT_NEAR(qes, 0.44444444, 1e-8);
    // A total Q above the mechanical one has no electrical Q: nothing, not
    // a negative or infinite value.
    qms = 0.4, qes = 0, qts = 0.4;
    EXPECT_EQ(CompleteQTriangle(qms, qes, qts), 0);
    EXPECT_EQ(qes, 0);
    double sd = 0.05, xmax = 0, vd = 0.0003;
    EXPECT_EQ(CompleteExcursionTriangle(sd, xmax, vd), 2);
    EXPECT_NEAR(xmax, 0.006, 1e-12);
    sd = 0, xmax = 0;
    EXPECT_EQ(CompleteExcursionTriangle(sd, xmax, vd), 0);
}

class SpeakerUnitFile : public test::ScratchTest {};

TEST_F(SpeakerUnitFile, RoundTripsAndRefusesDamagedFiles) {
    SpeakerUnit u = Woofer();
    u.notes = std::string(200, 'n');  // longer than the record holds
    u.tail[5] = 7;
    ASSERT_TRUE(WriteSpeakerUnitFile(Path("w.spk"), u).ok());
    SpeakerUnit back;
    ASSERT_TRUE(ReadSpeakerUnitFile(Path("w.spk"), back).ok());
    EXPECT_EQ(back.notes, std::string(159, 'n'));
    EXPECT_EQ(back.model, "W8");
    EXPECT_EQ(back.fs, 30);
    EXPECT_EQ(back.xmax, 0.006);
    EXPECT_EQ(back.tail[5], 7);
    EXPECT_EQ(back.reserved[1], 1e6);
    EXPECT_EQ(SerializeSpeakerUnit(back), SerializeSpeakerUnit(DeserializeSpeakerUnit(SerializeSpeakerUnit(u).data())));

    // Incomplete units are not written and the old file stays.
    SpeakerUnit partial = Woofer();
    partial.xmax = 0;
    EXPECT_EQ(WriteSpeakerUnitFile(Path("w.spk"), partial).stringId, kStrSpkIncomplete);
    ASSERT_TRUE(ReadSpeakerUnitFile(Path("w.spk"), back).ok());
    EXPECT_EQ(back.xmax, 0.006);

    // A file of another program's unit without Le and Xmax loads with 1 mH
    // and 1 mm.
    const auto bytes = [](SpeakerUnit v) {
        const auto r = SerializeSpeakerUnit(v);
        return std::string(kSpeakerUnitSignature) + std::string(r.begin(), r.end());
    };
    SpeakerUnit bare = Woofer();
    bare.le = bare.xmax = 0;
    ASSERT_TRUE(ReadSpeakerUnitFile(Write("bare.spk", bytes(bare)), back).ok());
    EXPECT_EQ(back.le, 0.001);
    EXPECT_EQ(back.xmax, 0.001);
    SpeakerUnit broken = Woofer();
    broken.qes = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ReadSpeakerUnitFile(Write("nan.spk", bytes(broken)), back).stringId, kStrBadTsParameters);
    broken = Woofer();
    broken.fs = 0;
    EXPECT_EQ(ReadSpeakerUnitFile(Write("zero.spk", bytes(broken)), back).stringId, kStrBadTsParameters);
    // Positive but absurd: the derived values would overflow to inf and NaN.
    broken = Woofer();
    broken.fs = 1e-300;
    EXPECT_EQ(ReadSpeakerUnitFile(Write("tiny.spk", bytes(broken)), back).stringId, kStrBadTsParameters);
    EXPECT_EQ(ReadSpeakerUnitFile(Write("short.spk", bytes(Woofer()).substr(0, 300)), back).stringId, kStrReadError);
    EXPECT_EQ(ReadSpeakerUnitFile(Write("sig.spk", "@SP200" + bytes(Woofer()).substr(6)), back).stringId,
              kStrReadError);
    EXPECT_EQ(ReadSpeakerUnitFile(Path("missing.spk"), back).stringId, kStrCantOpen);
    EXPECT_EQ(back.model, "W8");  // untouched by the failures
}

}  // namespace
}  // namespace srx
