// The "Gated Time-Window" and "Sweep" dialogs in the running program on the
// virtual loudspeaker (paced in real time), driven with messages from this
// (the interface) thread while they run on the measurement thread.
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "audio/wave_engine.h"
#include "data/records.h"
#include "data/view_flags.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/command_ids.h"
#include "resources/mls_dialog_ids.h"
#include "resources/sine_dialog_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "wine_test_util.h"

namespace srx {
namespace {

namespace fs = std::filesystem;
using testutil::DlgText;
using testutil::FindMeasurementWindow;
using testutil::PumpUntil;
constexpr auto Press = testutil::PostClick;

testutil::MessageLog g_log;
int RecordMessage(HWND, const Status& message, UINT) {
    g_log.Add(message.stringId);
    return IDOK;
}
int DontSave(HWND, int, UINT, const std::string&) { return IDNO; }

class SineDialogTest : public testutil::RunningProgram {
protected:
    void SetUp() override {
        RunningProgram::SetUp();
        speaker_.acoustic.gain = 0.5;          // the harmonic below stays clear of clipping
        speaker_.acoustic.distortion = {0.1};  // a second harmonic to find
        ProgramVirtualLoudspeaker().SetSetup(speaker_);
        g_log.Clear();
        SetMeasurementMessageHook(RecordMessage);
        SetDocumentAskHook(DontSave);
        Notices().keepMeasurement = true;
        frame_ = StartForMls(dir_.path().string());
        CurrentMeasurementSettings().gatedPause = 0.02;  // a stimulus of about a second
    }
    void TearDown() override {
        RunningProgram::TearDown();
        SetMeasurementMessageHook(nullptr);
        SetDocumentAskHook(nullptr);
    }

    // The dialog of `command` once it waits for Start.
    HWND Open(int command, const char* caption) {
        PostMessageA(frame_, WM_COMMAND, command, 0);
        HWND dialog = nullptr;
        EXPECT_TRUE(PumpUntil([&] { return (dialog = FindMeasurementWindow(caption)) != nullptr; }));
        EXPECT_TRUE(dialog && Waiting(dialog));
        return dialog;
    }
    static bool Waiting(HWND dialog) {
        return PumpUntil([&] { return DlgText(dialog, IDC_SINE_ACTIVITY) == StringText(kStrWaiting); });
    }
    // Start, and the result window once "Keep this measurement ?" is answered.
    HWND Measure(HWND dialog, const char* title, int answer) {
        SetDlgItemTextA(dialog, IDC_SINE_TITLE, title);
        Press(dialog, IDOK);
        HWND keep = nullptr;
        EXPECT_TRUE(PumpUntil([&] { return (keep = FindMeasurementWindow("Keep this measurement ?")) != nullptr; }));
        HWND window = ActiveDocument();  // the new result's
        if (keep) Press(keep, answer);
        EXPECT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
        testutil::PumpFor(100);
        return window;
    }
    bool NoResponseFiles() const {
        for (const auto& e : fs::directory_iterator(dir_.path()))
            if (e.path().filename().string().rfind("r", 0) == 0) return false;
        return true;
    }

    testutil::TempDir dir_{"srx sine dialog"};
    VirtualSetup speaker_ = PureLatencySetup(300);
    HWND frame_ = nullptr;
};

TEST_F(SineDialogTest, GatedRunGivesAResponseWithHarmonics) {
    ASSERT_NE(frame_, nullptr);
    std::fclose(std::fopen((dir_.path() / "rStale.wav").string().c_str(), "wb"));
    HWND dialog = Open(CM_GATED, "Gated Time-Window");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(NoResponseFiles());  // an earlier run's responses went on opening
    const std::string info = DlgText(dialog, IDC_SINE_INFO);
    EXPECT_EQ(info.rfind(" 100-", 0), 0u) << info;
    EXPECT_NE(info.find(" 3 f/oct. \r\n 16-bit 44100Hz Stereo"), std::string::npos) << info;
    EXPECT_EQ(GetMenuState(GetMenu(frame_), CM_GATED, MF_BYCOMMAND) & MF_GRAYED, UINT(MF_GRAYED));

    HWND window = Measure(dialog, "gated", IDYES);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowTitle(window), "Frequency Response: gated");
    auto* m = static_cast<Measurement*>(DocumentDataOf(window));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->h.curveKind, kCurveFrequencyResponse);
    EXPECT_NEAR(double(m->points.size()), 24, 2);
    EXPECT_TRUE(m->h.flags & kMesDistortion);
    EXPECT_GT(m->distortionDerived, 1.0);
    EXPECT_EQ(g_log.Ids(), std::vector<int>{});
    // Only the third harmonic chosen (which the square term does not make):
    // the open result's THD follows.
    CurrentMeasurementSettings().thdHarmonics = 0x80000002u;
    RefreshAnalysisSettings();
    PostMessageA(frame_, UM_RECOMPUTETHD, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return m->distortionDerived < 0.5; })) << m->distortionDerived;
    EXPECT_TRUE(NoResponseFiles());
    EXPECT_FALSE(WaveGetState().initialised);
}

// No typed title: the default name; No closes the window again.
TEST_F(SineDialogTest, SweepRunGivesASweepResponseThatNoThrowsAway) {
    ASSERT_NE(frame_, nullptr);
    HWND dialog = Open(CM_SWEEP, "Sweep");
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(DlgText(dialog, IDC_SINE_INFO).find(" 1 x 0.10 sec./oct \r\n"), std::string::npos);
    speaker_.acoustic.distortion.clear();
    ProgramVirtualLoudspeaker().SetSetup(speaker_);

    HWND window = Measure(dialog, "", IDYES);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowTitle(window), "Frequency Response: Frequency Response (1)");
    const auto* m = static_cast<const Measurement*>(DocumentDataOf(window));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->h.curveKind, kCurveSweepResponse);
    EXPECT_FALSE(m->h.flags & kMesDistortion);

    dialog = Open(CM_SWEEP, "Sweep");
    ASSERT_NE(dialog, nullptr);
    HWND second = Measure(dialog, "thrown away", IDNO);
    EXPECT_NE(second, window);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(CountWindowsOfKind(kDocMeasurement), 1);
    EXPECT_TRUE(g_log.Ids().empty());
}

// Nothing reaches the input: a message, no window, the dialog waits again.
TEST_F(SineDialogTest, ASilentRecordingIsTooLowAndLeavesTheDialogWaiting) {
    ASSERT_NE(frame_, nullptr);
    speaker_.acoustic.gain = 0;
    ProgramVirtualLoudspeaker().SetSetup(speaker_);
    HWND dialog = Open(CM_SWEEP, "Sweep");
    ASSERT_NE(dialog, nullptr);
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return !g_log.Ids().empty(); })) << DlgText(dialog, IDC_SINE_ACTIVITY);
    EXPECT_EQ(g_log.Ids(), std::vector<int>{kStrLevelTooLow});
    ASSERT_TRUE(Waiting(dialog));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_EQ(FindWindowOfKind(kDocMeasurement), nullptr);

    Press(dialog, IDCANCEL);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    EXPECT_TRUE(NoResponseFiles());
    EXPECT_FALSE(WaveGetState().initialised);
}

}  // namespace
}  // namespace srx
