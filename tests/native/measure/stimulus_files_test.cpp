#include "measure/stimulus_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tests/native/measure/fake_wave_fs.h"
#include "tests/native/test_support.h"

using namespace srx;
using srx::test::FakeWaveFs;

namespace {

const std::string kProgram = "C:\\Son-Rix\\";

TEST(StimulusFolder, BareDriveGetsMesWavesCreatedOrFallsBack) {
    FakeWaveFs fs;
    EXPECT_EQ(ResolveStimulusFolder("D:", kProgram, fs), "D:\\MesWaves");
    EXPECT_TRUE(fs.dirs.count("D:\\MesWaves"));

    FakeWaveFs readOnly;
    readOnly.canMake = false;
    EXPECT_EQ(ResolveStimulusFolder("E:", kProgram, readOnly), "C:\\Son-Rix\\MesWaves");
}

TEST(StimulusFolder, LongerSettingIsUsedOnlyWhenItExists) {
    FakeWaveFs fs;
    fs.dirs.insert("D:\\Waves");
    EXPECT_EQ(ResolveStimulusFolder("D:\\Waves", kProgram, fs), "D:\\Waves");
    EXPECT_EQ(ResolveStimulusFolder("D:\\Gone", kProgram, fs), "C:\\Son-Rix\\MesWaves");
    EXPECT_EQ(ResolveStimulusFolder("", kProgram, fs), "C:\\Son-Rix\\MesWaves");
    // Nothing but the bare drive case creates folders.
    EXPECT_EQ(fs.dirs.size(), 1u);
    // A program folder given without its trailing separator.
    EXPECT_EQ(ResolveStimulusFolder("", "C:\\Son-Rix", fs), "C:\\Son-Rix\\MesWaves");
}

TEST(StimulusFolder, EnsureCreatesTheFallbackFromTheProcessSettings) {
    const std::string savedProgram = MeasureProgramFolder();
    char savedSetting[sizeof Settings().window.stimulusFolder];
    std::memcpy(savedSetting, Settings().window.stimulusFolder, sizeof savedSetting);

    SetMeasureProgramFolder(kProgram);
    // A stored setting without its terminator must not be read beyond its field.
    std::memset(Settings().window.stimulusFolder, 'x', sizeof savedSetting);
    FakeWaveFs fs;
    EXPECT_EQ(StimulusFolder(fs), "C:\\Son-Rix\\MesWaves");
    EXPECT_TRUE(EnsureStimulusFolder(fs));
    EXPECT_TRUE(fs.dirs.count("C:\\Son-Rix\\MesWaves"));

    std::memcpy(Settings().window.stimulusFolder, savedSetting, sizeof savedSetting);
    SetMeasureProgramFolder(savedProgram);
}

TEST(ClearWaveFiles, EachKindDeletesItsPatternIgnoringCase) {
    auto fill = [](FakeWaveFs& fs) {
        fs.dirs.insert("W");
        for (const char* f : {"W\\pMLS.wav", "W\\PZ.WAV", "W\\rMLS0.wav", "W\\r.wav", "W\\Rx.Wav", "W\\other.wav",
                              "W\\pnotes.txt", "W\\rwav", "W\\sub\\pA.wav"})
            fs.files.insert(f);
    };
    FakeWaveFs fs;
    fill(fs);
    EXPECT_EQ(ClearWaveFilesIn("W", kClearResponses, fs), 3);
    EXPECT_EQ(fs.files, (std::set<std::string>{"W\\pMLS.wav", "W\\PZ.WAV", "W\\other.wav", "W\\pnotes.txt", "W\\rwav",
                                               "W\\sub\\pA.wav"}));
    EXPECT_EQ(ClearWaveFilesIn("W", kClearStimuli, fs), 2);
    EXPECT_EQ(fs.files, (std::set<std::string>{"W\\other.wav", "W\\pnotes.txt", "W\\rwav", "W\\sub\\pA.wav"}));

    FakeWaveFs all;
    fill(all);
    EXPECT_EQ(ClearWaveFilesIn("W", 7, all), 6);  // any other kind: every wave file
    EXPECT_EQ(all.files, (std::set<std::string>{"W\\pnotes.txt", "W\\rwav", "W\\sub\\pA.wav"}));

    FakeWaveFs missing;
    missing.files.insert("W\\pMLS.wav");  // no folder: nothing happens
    EXPECT_EQ(ClearWaveFilesIn("W", kClearAll, missing), 0);
    EXPECT_EQ(missing.files.size(), 1u);
}

TEST(ClearWaveFiles, WorksOnTheHostFileSystem) {
    namespace fs = std::filesystem;
    const test::ScratchDir scratch;
    const fs::path dir = scratch.Dir();
    for (const char* name : {"pMLS.wav", "rMLS0.wav", "keep.txt"}) scratch.Write(name, "x");

    EXPECT_EQ(ClearWaveFilesIn(dir.string(), kClearResponses, HostFileSystem()), 1);
    EXPECT_TRUE(fs::exists(dir / "pMLS.wav"));
    EXPECT_FALSE(fs::exists(dir / "rMLS0.wav"));
    // The program's "\" paths reach the same file here.
    EXPECT_TRUE(HostFileSystem().FileExists(StimulusPath(dir.string(), kWaveMls)));
    EXPECT_EQ(ClearWaveFilesIn(dir.string(), kClearAll, HostFileSystem()), 1);
    EXPECT_TRUE(fs::exists(dir / "keep.txt"));
}

class CompensationName : public ::testing::Test {
protected:
    void SetUp() override {
        ResetMeasurementDefaults(ms);
        ms.sampleRate = 44100;
        ms.bitsPerSample = 16;
        ms.channels = 2;
        ms.inputSource = kInputLine;
        ms.inputDevice = 2;
        ms.outputDevice = 3;
        ms.flags &= ~kMsfNearField;
    }
    std::string Name(CompensationStimulus kind, bool pe = false) { return CompensationFilePath(ms, "F", kind, pe, 13); }
    MeasurementSettings ms{};
};

TEST_F(CompensationName, CarriesSourceDevicesFormatAndStimulusTag) {
    EXPECT_EQ(Name(CompensationStimulus::Mls, true), "F\\SC2-Line(2.3) 44-16 MLS-PE 13 0 10.scc");
    EXPECT_EQ(Name(CompensationStimulus::Sweep), "F\\SC2-Line(2.3) 44-16 Sw 0.1.scc");
    ms.fftWindowStart = 1;
    ms.inputSource = kInputAux;
    EXPECT_EQ(Name(CompensationStimulus::Spike), "F\\SC2-Aux(2.3) 44-16 TP1 10.scc");
}

TEST_F(CompensationName, WindowClassFollowsTheRelevantWindow) {
    ms.timeWindow = 0.005;
    ms.mlsWindow = 0.008;
    EXPECT_EQ(CompensationWindowClass(ms, CompensationStimulus::Mls), 5);  // global window
    ms.flags |= kMsfNearField;
    EXPECT_EQ(CompensationWindowClass(ms, CompensationStimulus::Mls), 10);
    ms.spikeWindow = 0.004;
    ms.timeWindow = 0.02;
    EXPECT_EQ(CompensationWindowClass(ms, CompensationStimulus::Spike), 5);
    EXPECT_EQ(CompensationWindowClass(ms, CompensationStimulus::GatedSine), 10);
}

TEST_F(CompensationName, ExistenceAndFolderCreation) {
    FakeWaveFs fs;
    std::string path;
    EXPECT_TRUE(CompensationFileName(ms, kProgram, &path, CompensationStimulus::Sweep, false, 13, fs));
    EXPECT_EQ(path, "C:\\Son-Rix\\SoundCard\\SC2-Line(2.3) 44-16 Sw 0.1.scc");
    EXPECT_TRUE(fs.dirs.count("C:\\Son-Rix\\SoundCard"));

    EXPECT_FALSE(CompensationFileName(ms, kProgram, nullptr, CompensationStimulus::Sweep, false, 13, fs));
    fs.files.insert(path);
    EXPECT_TRUE(CompensationFileName(ms, kProgram, nullptr, CompensationStimulus::Sweep, false, 13, fs));

    // Stereo with probe compensation needs no file and does not look.
    FakeWaveFs empty;
    ms.flags |= kMsfProbeCompensation;
    EXPECT_TRUE(CompensationFileName(ms, kProgram, nullptr, CompensationStimulus::Mls, false, 13, empty));
    EXPECT_EQ(empty.lookups, 0);
    ms.channels = 1;
    EXPECT_FALSE(CompensationFileName(ms, kProgram, nullptr, CompensationStimulus::Mls, false, 13, empty));
}

}  // namespace
