// The "MLS" dialog in the running program: Measurement > MLS on the virtual
// loudspeaker (paced in real time through the engine's hidden window), the
// dialog driven with messages from this (the interface) thread while it
// runs on the measurement thread.

#include "data/view_flags.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "audio/wave_engine.h"
#include "data/records.h"
#include "measure/win32/measurement_dialog.h"
#include "measure/win32/mls_dialog.h"
#include "resources/command_ids.h"
#include "resources/mls_dialog_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "wine_test_util.h"

namespace srx {
namespace {

namespace fs = std::filesystem;
using testutil::PumpUntil;

constexpr uint32_t kLatency = 300;

testutil::MessageLog g_log;
int RecordMessage(HWND, const Status& message, UINT) {
    g_log.Add(message.stringId);
    return IDOK;
}
std::vector<int> Messages() { return g_log.Ids(); }

using testutil::FindMeasurementWindow;

// The program closes after each test without saving what it measured.
int DontSave(HWND, int, UINT, const std::string&) { return IDNO; }

using testutil::DlgText;
constexpr auto Press = testutil::PostClick;

class MlsDialogTest : public testutil::RunningProgram {
protected:
    void SetUp() override {
        RunningProgram::SetUp();
        ProgramVirtualLoudspeaker().SetSetup(PureLatencySetup(kLatency));
        g_log.Clear();
        SetMeasurementMessageHook(RecordMessage);
        SetDocumentAskHook(DontSave);
        Notices().keepMeasurement = true;
    }
    void TearDown() override {
        RunningProgram::TearDown();
        SetMeasurementMessageHook(nullptr);
        SetDocumentAskHook(nullptr);
        Notices().keepMeasurement = true;
    }

    HWND Start() {
        HWND frame = StartForMls(dir_.path().string());
        CurrentMeasurementSettings().flags |= kMsfMlsDoFft;
        return frame;
    }

    // Measurement > MLS; the dialog once it waits for Start.
    HWND OpenDialog(HWND frame) {
        PostMessageA(frame, WM_COMMAND, CM_MLS, 0);
        HWND dialog = nullptr;
        EXPECT_TRUE(PumpUntil([&] { return (dialog = FindMeasurementWindow("MLS")) != nullptr; }));
        return dialog;
    }
    bool WaitingForStart(HWND dialog) {
        return PumpUntil([&] { return DlgText(dialog, IDC_MLS_ACTIVITY) == StringText(2602); });
    }

    std::string Wave(const char* name) const { return dir_ / name; }
    bool NoResponseFiles() const {
        for (const auto& e : fs::directory_iterator(dir_.path()))
            if (e.path().filename().string().rfind("rMLS", 0) == 0) return false;
        return true;
    }

    testutil::TempDir dir_{"srx mls dialog"};
};

TEST_F(MlsDialogTest, MeasuresIntoImpulseAndResponseWindowsWithWarmUpAndManualAverages) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    MeasurementSettings& ms = CurrentMeasurementSettings();
    ms.mlsPreAverages = 2;
    ms.flags |= kMsfMlsWarmUp | kMsfMlsManualAverages;

    HWND dialog = OpenDialog(frame);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Shell().measurementBusy);
    ASSERT_TRUE(WaitingForStart(dialog));
    EXPECT_EQ(DlgText(dialog, IDC_MLS_INFO), " 100-22000 Hz\r\n 2 x 8191 MLS \r\n 16-bit 44100Hz Stereo");
    EXPECT_EQ(DlgText(dialog, IDC_MLS_TITLE), "");
    EXPECT_TRUE(fs::exists(Wave("pMLS.wav")));
    SetDlgItemTextA(dialog, IDC_MLS_TITLE, "virtual");
    Press(dialog, IDOK);

    // The warm-up and the first pass are recorded; the prompt waits before
    // the second, with Start greyed and Cancel still there.
    HWND prompt = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (prompt = FindMeasurementWindow("Manual Average")) != nullptr; }));
    EXPECT_EQ(DlgText(dialog, IDC_MLS_ACTIVITY), StringText(2603));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(fs::exists(Wave("rMLS-1.wav")));
    EXPECT_TRUE(fs::exists(Wave("rMLS0.wav")));
    EXPECT_FALSE(fs::exists(Wave("rMLS1.wav")));
    EXPECT_EQ(FindWindowOfKind(kDocImpulse), nullptr);
    Press(prompt, IDOK);

    HWND keep = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (keep = FindMeasurementWindow("Keep this measurement ?")) != nullptr; }));
    // One prompt only: none before the warm-up's successor, none after the last pass.
    EXPECT_EQ(FindMeasurementWindow("Manual Average"), nullptr);
    HWND impulseWindow = FindWindowOfKind(kDocImpulse);
    HWND responseWindow = FindWindowOfKind(kDocMeasurement);
    ASSERT_NE(impulseWindow, nullptr);
    ASSERT_NE(responseWindow, nullptr);
    Press(keep, IDYES);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    EXPECT_TRUE(Messages().empty());

    char title[128] = "";
    GetWindowTextA(impulseWindow, title, sizeof title);
    EXPECT_STREQ(title, "Impulse Response: virtual");
    GetWindowTextA(responseWindow, title, sizeof title);
    EXPECT_STREQ(title, "Frequency Response: virtual");

    // The numbers are checked against the loudspeaker model natively; here
    // the records the windows show.
    const auto* impulse = static_cast<const TimeRecord*>(DocumentDataOf(impulseWindow));
    ASSERT_NE(impulse, nullptr);
    EXPECT_EQ(impulse->h.preAverages, 2);
    const auto* response = static_cast<const Measurement*>(DocumentDataOf(responseWindow));
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(TextOf(response->h.title), "virtual");

    // Closing deleted every response and shut the engine down; the
    // stimulus stays for the next measurement.
    EXPECT_TRUE(NoResponseFiles());
    EXPECT_TRUE(fs::exists(Wave("pMLS.wav")));
    EXPECT_FALSE(WaveGetState().initialised);
}

TEST_F(MlsDialogTest, AFailureKeepsTheDialogForARetryAndNoClosesTheWindows) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    // A folder where the stimulus goes: it cannot be written.
    fs::create_directories(dir_.path() / "pMLS.wav");

    HWND dialog = OpenDialog(frame);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PumpUntil([] { return Messages().size() == 1; }));
    EXPECT_EQ(Messages(), std::vector<int>{2811});
    ASSERT_TRUE(WaitingForStart(dialog));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(Shell().measurementBusy);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_FALSE(WaveGetState().initialised);

    // Start tries the files again: still refused, still open.
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return Messages().size() == 2; }));
    EXPECT_EQ(Messages(), (std::vector<int>{2811, 2811}));
    ASSERT_TRUE(WaitingForStart(dialog));
    EXPECT_EQ(FindWindowOfKind(kDocImpulse), nullptr);

    // Writable again: this time it measures. No, and don't ask again.
    fs::remove_all(dir_.path() / "pMLS.wav");
    Press(dialog, IDOK);
    HWND keep = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (keep = FindMeasurementWindow("Keep this measurement ?")) != nullptr; }));
    EXPECT_NE(FindWindowOfKind(kDocImpulse), nullptr);
    EXPECT_NE(FindWindowOfKind(kDocMeasurement), nullptr);
    SendDlgItemMessageA(keep, IDC_KEEP_DONT_ASK, BM_SETCHECK, BST_CHECKED, 0);
    Press(keep, IDNO);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    testutil::PumpFor(100);
    EXPECT_EQ(FindWindowOfKind(kDocImpulse), nullptr);
    EXPECT_EQ(FindWindowOfKind(kDocMeasurement), nullptr);
    EXPECT_FALSE(Notices().keepMeasurement);
    EXPECT_EQ(Messages().size(), 2u);
    EXPECT_TRUE(NoResponseFiles());

    // The question is not asked any more: the next result is kept.
    dialog = OpenDialog(frame);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitingForStart(dialog));
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    testutil::PumpFor(100);
    HWND impulseWindow = FindWindowOfKind(kDocImpulse);
    ASSERT_NE(impulseWindow, nullptr);
    char title[128] = "";
    GetWindowTextA(impulseWindow, title, sizeof title);
    // No title typed: the default name.
    EXPECT_STREQ(title, "Impulse Response: Frequency Response (1)");
    EXPECT_NE(FindWindowOfKind(kDocMeasurement), nullptr);
}

// Nothing reaches the input: a message, no window, the dialog waits. An
// overloaded input: a warning, and the result is still offered. The FFT
// command stays greyed while the dialog is open.
TEST_F(MlsDialogTest, ASilentInputIsNoResultAndAnOverloadIsWarnedOf) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    VirtualSetup v = PureLatencySetup(kLatency);
    v.acoustic.gain = 0;
    ProgramVirtualLoudspeaker().SetSetup(v);
    HWND dialog = OpenDialog(frame);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitingForStart(dialog));
    UINT fft = 0;
    ASSERT_TRUE(PumpUntil([&] {
        fft = GetMenuState(GetMenu(frame), CM_FFT, MF_BYCOMMAND);
        return fft == UINT(-1) || (fft & MF_GRAYED);
    }));
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return Messages().size() == 1; }));
    EXPECT_EQ(Messages(), std::vector<int>{kStrMlsNoSignal});
    ASSERT_TRUE(WaitingForStart(dialog));
    EXPECT_EQ(FindWindowOfKind(kDocImpulse), nullptr);

    v.acoustic.gain = 4;
    ProgramVirtualLoudspeaker().SetSetup(v);
    Press(dialog, IDOK);
    HWND keep = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (keep = FindMeasurementWindow("Keep this measurement ?")) != nullptr; }));
    EXPECT_EQ(Messages(), (std::vector<int>{kStrMlsNoSignal, kStrInputOverload}));
    EXPECT_NE(FindWindowOfKind(kDocImpulse), nullptr);
    Press(keep, IDYES);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
}

TEST_F(MlsDialogTest, AnUnconfiguredSystemIsRefusedAndCancelWhileRecordingKeepsNothing) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    const uint32_t rate = CurrentMeasurementSettings().sampleRate;
    CurrentMeasurementSettings().sampleRate = 0;
    PostMessageA(frame, WM_COMMAND, CM_MLS, 0);
    ASSERT_TRUE(PumpUntil([] { return !Messages().empty(); }));
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    CurrentMeasurementSettings().sampleRate = rate;
    EXPECT_EQ(Messages(), std::vector<int>{2810});
    EXPECT_EQ(FindMeasurementWindow("MLS"), nullptr);
    g_log.Clear();

    CurrentMeasurementSettings().mlsOrder = 16;  // a pass of 1.5 s
    HWND dialog = OpenDialog(frame);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitingForStart(dialog));
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([&] { return fs::exists(Wave("rMLS0.wav")); }));
    Press(dialog, IDCANCEL);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    testutil::PumpFor(300);
    EXPECT_EQ(FindWindowOfKind(kDocImpulse), nullptr);
    EXPECT_EQ(FindWindowOfKind(kDocMeasurement), nullptr);
    EXPECT_TRUE(NoResponseFiles());
    EXPECT_FALSE(WaveGetState().initialised);
    EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace srx
