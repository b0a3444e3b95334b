#include "app/settings.h"
#include "measure/measurement_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dsp/frequency_response.h"
#include "tests/native/test_support.h"

using namespace srx;

namespace {

using test::Peek;
using test::Poke;

const DesktopArea kDesk{1920, 1080, 0, 0, 1920, 1040};

class MeasurementSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { InstallMeasurementSettingsHooks(); }
    void TearDown() override { SetProgramConfigHooks({}); }

    // A stored record: the defaults of this version, then `edit`.
    std::vector<uint8_t> Stored(int32_t version) {
        SettingsBlocks s;
        LoadDefaults(s, kDesk);
        std::vector<uint8_t> b(sizeof s.program);
        std::memcpy(b.data(), &s.program, b.size());
        Poke<int32_t>(b, 0, version);
        return b;
    }

    // The block LoadSettings makes of a stored value.
    ProgramConfig Load(const std::vector<uint8_t>& stored) {
        MemoryValueStore store;
        store.values[kProgramConfigValue] = stored;
        SettingsBlocks s;
        LoadSettings(s, store, kDesk);
        return s.program;
    }
};

// 2005 and 2006 kept the box choice in flag bit 22 and used bit 9 otherwise;
// 2007 numbered box two differently.
TEST_F(MeasurementSettingsTest, OlderVersionsMoveTheBoxChoiceIntoTheBoxWord) {
    for (int32_t version : {2005, 2006}) {
        std::vector<uint8_t> b = Stored(version);
        Poke<uint32_t>(b, 88, 0x00400200u | 0x10u);  // bits 22, 9 and near-field
        Poke<uint32_t>(b, 948, 7);
        ProgramConfig p = Load(b);
        EXPECT_EQ(p.version, 2008);
        EXPECT_EQ(Peek<uint32_t>(&p, 88), 0x10u) << version;
        EXPECT_EQ(Peek<uint32_t>(&p, 948), 1u) << version;

        Poke<uint32_t>(b, 88, 0x10u);
        Poke<uint32_t>(b, 948, 2);
        p = Load(b);
        EXPECT_EQ(Peek<uint32_t>(&p, 948), 0u) << version;
    }
    std::vector<uint8_t> b = Stored(2007);
    Poke<uint32_t>(b, 88, 0x00400200u);
    Poke<uint32_t>(b, 948, 2);
    ProgramConfig p = Load(b);
    EXPECT_EQ(p.version, 2008);
    EXPECT_EQ(Peek<uint32_t>(&p, 948), 3u);
    EXPECT_EQ(Peek<uint32_t>(&p, 88), 0x00400200u);  // 2007 flags already mean what they say
}

TEST_F(MeasurementSettingsTest, CurrentVersionIsTakenAsStoredWithCarriedWords) {
    std::vector<uint8_t> b = Stored(2008);
    Poke<uint32_t>(b, 88, 0x00400200u);
    Poke<uint32_t>(b, 948, 2);
    Poke<uint32_t>(b, 4, 0xDEADBEEF);  // words nobody here knows
    Poke<uint32_t>(b, 860, 0x12345678);
    Poke<uint32_t>(b, 1140, 0xCAFEF00D);
    const ProgramConfig p = Load(b);
    EXPECT_EQ(Peek<uint32_t>(&p, 948), 2u);
    EXPECT_EQ(Peek<uint32_t>(&p, 88), 0x00400200u);

    // ... and they go back to the store unchanged.
    SettingsBlocks s;
    LoadDefaults(s, kDesk);
    s.program = p;
    MemoryValueStore out;
    SaveSettings(s, out);
    EXPECT_EQ(out.values[kProgramConfigValue], b);
}

TEST_F(MeasurementSettingsTest, LoadingRepairsWhatOlderVersionsOrDamageLeft) {
    std::vector<uint8_t> b = Stored(2008);
    Poke<uint16_t>(b, 66, 8);            // 8-bit format
    Poke<uint32_t>(b, 912, 0);           // impedance MLS order
    Poke<uint32_t>(b, 984, 0x000001FF);  // THD word of an older release
    Poke<uint32_t>(b, 84, 0);            // no buffers
    Poke<uint32_t>(b, 816, 40);          // a sequence of 2^40 samples
    ProgramConfig p = Load(b);
    EXPECT_EQ(Peek<uint16_t>(&p, 66), 16);
    EXPECT_EQ(Peek<uint32_t>(&p, 912), 17u);
    EXPECT_EQ(Peek<uint32_t>(&p, 984), 0xFFFFFFFFu);
    EXPECT_EQ(Peek<uint32_t>(&p, 84), 8u);
    EXPECT_EQ(Peek<uint32_t>(&p, 816), 13u);

    // Sound values next to the repaired ones stay as they are.
    Poke<uint32_t>(b, 984, 0x80000005);
    Poke<uint32_t>(b, 84, 64);
    p = Load(b);
    EXPECT_EQ(Peek<uint32_t>(&p, 984), 0x80000005u);
    EXPECT_EQ(Peek<uint32_t>(&p, 84), 64u);
}

TEST_F(MeasurementSettingsTest, CurrentRecordIsTheProcessWideBlock) {
    const AnalysisSettings savedAnalysis = CurrentAnalysisSettings();
    const ProgramConfig savedBlock = Settings().program;

    std::vector<uint8_t> b = Stored(2008);
    Poke<uint32_t>(b, 68, 48000);
    Poke<uint32_t>(b, 848, 2);
    MemoryValueStore store;
    store.values[kProgramConfigValue] = b;
    LoadSettings(Settings(), store, kDesk);

    MeasurementSettings& ms = CurrentMeasurementSettings();
    EXPECT_EQ(+ms.sampleRate, 48000u);
    // Loading the process-wide block also told the analyses.
    EXPECT_EQ(CurrentAnalysisSettings().pointsPerOctaveMls, 48);

    ms.timeWindow = 0.0042;
    EXPECT_DOUBLE_EQ(Peek<double>(&Settings().program, 652), 0.0042);

    Settings().program = savedBlock;
    CurrentAnalysisSettings() = savedAnalysis;
}

TEST_F(MeasurementSettingsTest, AnalysesReadTheMlsAndSpikePages) {
    MeasurementSettings ms{};
    ResetMeasurementDefaults(ms);
    ms.mlsPerOctave = 2;
    ms.mlsStop = 15000;
    ms.spikePerOctave = 1;
    ms.spikeStop = 12000;
    ms.flags = kMsfNoNormalise | kMsfMlsAutoStop;
    ms.addToResponseDb = 70.0;

    AnalysisSettings a;
    a.preDelaySeconds = 0.5;  // owned by nobody here: must survive
    FillAnalysisSettings(ms, a);
    // The page's density choices 1..3 are 24, 48 and 96 points per octave.
    EXPECT_EQ(a.pointsPerOctaveMls, 48);
    EXPECT_TRUE(a.topIsMaxFrequencyMls);
    EXPECT_EQ(a.pointsPerOctave, 24);
    EXPECT_FALSE(a.topIsMaxFrequency);
    EXPECT_EQ(a.levelOffsetDb, 70.0);
    EXPECT_EQ(a.preDelaySeconds, 0.5);

    // Normalising: no offset. A damaged window type analyses with Hanning.
    ms.flags = kMsfSpikeAutoStop;
    ms.fftWindowType = 9;
    ms.phaseAccuracy = 77;
    FillAnalysisSettings(ms, a);
    EXPECT_EQ(a.levelOffsetDb, 0.0);
    EXPECT_TRUE(a.topIsMaxFrequency);
    EXPECT_FALSE(a.topIsMaxFrequencyMls);
    EXPECT_EQ(a.windowType, 2);
    EXPECT_EQ(a.minimumPhaseQuality, 3);
}

}  // namespace
