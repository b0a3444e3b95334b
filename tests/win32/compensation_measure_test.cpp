// The measurements of the chain itself in the running program: Measurement >
// Secondary Compensation (713) and the Soundcard page's "Linearity", both on
// the virtual loudspeaker paced in real time, driven with messages from this
// (the interface) thread while they run on the measurement thread; and the
// "No Soundcard Compensation" notice.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "app/win32/commands_internal.h"
#include "audio/wave_engine.h"
#include "dsp/compensation.h"
#include "measure/compensation_settings.h"
#include "measure/soundcard_compensation.h"
#include "measure/stimulus_files.h"
#include "measure/win32/compensation_dialogs.h"
#include "resources/command_ids.h"
#include "resources/settings_sheet_ids.h"
#include "resources/soundcard_compensation_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "wine_test_util.h"

namespace srx {
namespace {

namespace fs = std::filesystem;
using testutil::FindOtherThreadWindow;
using testutil::PumpUntil;

constexpr uint32_t kLatency = 300;

// The dialogs' messages arrive on the measurement thread; "replace?" is
// answered No, everything else OK.
testutil::MessageLog g_log;
int RecordMessage(HWND, const Status& message, UINT) {
    g_log.Add(message.stringId);
    return message.stringId == 5403 ? IDNO : IDOK;
}
std::vector<int> Messages() { return g_log.Ids(); }

using testutil::DlgText;
constexpr auto Press = testutil::PostClick;

std::string ComboSelection(HWND dialog, int id) {
    HWND combo = GetDlgItem(dialog, id);
    const LRESULT i = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    char text[128] = "";
    if (i >= 0) SendMessageA(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
    return text;
}

class CompensationMeasure : public testutil::RunningProgram {
protected:
    void SetUp() override {
        RunningProgram::SetUp();
        // The simulated loudspeaker in front of the microphone: a response
        // with a shape.
        VirtualSetup speaker;
        speaker.latency = kLatency;
        ProgramVirtualLoudspeaker().SetSetup(speaker);
        fs::create_directories(dir_.path() / "waves");
        fs::create_directories(dir_.path() / "prog");
        g_log.Clear();
        SetCompensationMessageHook(RecordMessage);
        Notices().noCardCompensation = Notices().noCardCompensationSettings = true;
    }
    void TearDown() override {
        RunningProgram::TearDown();
        SetCompensationMessageHook(nullptr);
        SetRememberedSecondaryCompensation("");
    }

    // The program's files are the test's own too.
    HWND Start() {
        HWND frame = StartForMls((dir_.path() / "waves").string());
        SetMeasureProgramFolder(Program());
        SetRememberedSecondaryCompensation("");
        return frame;
    }

    std::string Program() const { return dir_ / "prog"; }

    testutil::TempDir dir_{"srx seccomp"};
};

TEST_F(CompensationMeasure, Command713AndTheLinearityButtonWriteTheirFiles) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    PostMessageA(frame, WM_COMMAND, CM_SECONDARY_COMPENSATION, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dialog = FindOtherThreadWindow("Secondary Compensation")) != nullptr; }));
    EXPECT_TRUE(Shell().measurementBusy);
    EXPECT_EQ(DlgText(dialog, IDC_CC_ACTIVITY), StringText(2602));
    EXPECT_EQ(DlgText(dialog, IDC_CC_INFO), " 100-22000 Hz\r\n 1 x 8191 MLS \r\n 16-bit 44100Hz Stereo");
    EXPECT_EQ(ComboSelection(dialog, IDC_CC_LIST), "None...");

    // No name, no measurement.
    Press(dialog, IDC_CC_MEASURE);
    ASSERT_TRUE(PumpUntil([] { return Messages().size() == 1; }));
    EXPECT_EQ(Messages(), std::vector<int>{kStrEnterCompensationName});
    EXPECT_TRUE(fs::is_empty(dir_.path() / "prog"));

    SetDlgItemTextA(dialog, IDC_CC_NAME, "Reference");
    Press(dialog, IDC_CC_MEASURE);
    ASSERT_TRUE(PumpUntil([] { return Messages().size() == 2; }));
    EXPECT_EQ(Messages().back(), 5404);
    EXPECT_EQ(DlgText(dialog, IDC_CC_ACTIVITY), StringText(5406));
    const std::string file = (dir_.path() / "prog" / "Reference.2CP").string();
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(RememberedSecondaryCompensation(), "Reference");
    EXPECT_EQ(ComboSelection(dialog, IDC_CC_LIST), "Reference");
    // The file's contents are the native tests' concern; nothing of the run
    // is left in the wave folder.
    EXPECT_TRUE(fs::is_empty(dir_.path() / "waves"));
    EXPECT_FALSE(WaveGetState().initialised);

    // The same name again asks first; No keeps the file as it is.
    const auto written = fs::last_write_time(file);
    Press(dialog, IDC_CC_MEASURE);
    ASSERT_TRUE(PumpUntil([] { return Messages().size() == 3; }));
    EXPECT_EQ(Messages().back(), 5403);
    testutil::PumpFor(300);
    EXPECT_EQ(Messages().size(), 3u);
    EXPECT_EQ(fs::last_write_time(file), written);

    // OK takes the list's choice: none.
    SendDlgItemMessageA(dialog, IDC_CC_LIST, CB_SETCURSEL, 0, 0);
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    EXPECT_EQ(RememberedSecondaryCompensation(), "");
    EXPECT_TRUE(fs::exists(file));

    // The Soundcard page's "Linearity" measures the card through its cable.
    g_log.Clear();
    CurrentMeasurementSettings().flags |= kMsfInitSoundcard;  // the initialisation runs first
    PostMessageA(frame, WM_COMMAND, CM_SETTINGS, 0);
    HWND sheet = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (sheet = FindOtherThreadWindow("Measurement Settings")) != nullptr; }));
    HWND page = HWND(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_MS_LINEARITY)));
    Press(page, IDC_MS_LINEARITY);
    dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dialog = FindOtherThreadWindow("Soundcard Compensation")) != nullptr; }));
    EXPECT_EQ(DlgText(dialog, IDC_CC_ACTIVITY), StringText(2602));
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return !Messages().empty(); }));
    EXPECT_EQ(Messages(), std::vector<int>{5401});
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));

    // The file is there, and the simulated loudspeaker is back after the run
    // through the card's cable.
    EXPECT_TRUE(SoundcardCompensationPresent(CurrentMeasurementSettings(), Program(), CompensationStimulus::Mls));
    EXPECT_TRUE(ProgramVirtualLoudspeaker().Setup().acoustic.speaker);
    for (const char* name : {"pInit.wav", "rInit.wav", "pMLS.wav", "rMLS0.wav"})
        EXPECT_FALSE(fs::exists(dir_.path() / "waves" / name)) << name;

    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy && !FindOtherThreadWindow("Measurement Settings"); }));
}

// Answers the notice from another thread while this one waits in it.
class NoticeAnswer {
public:
    NoticeAnswer(bool tick, int button) {
        thread_ = std::thread([this, tick, button] {
            HWND w = nullptr;
            // Found before it is shown, its buttons would all read as hidden.
            for (int i = 0; i < 2000; ++i, Sleep(10))
                if ((w = FindWindowA(nullptr, "No Soundcard Compensation")) && IsWindowVisible(w)) break;
            if (w && !IsWindowVisible(w)) w = nullptr;
            if (!w) return;
            shown_ = true;
            cancelShown_ = IsWindowVisible(GetDlgItem(w, IDCANCEL)) != FALSE;
            if (tick) SendDlgItemMessageA(w, IDC_NOCOMP_DONT_SHOW, BM_SETCHECK, BST_CHECKED, 0);
            PostMessageA(w, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(w, button)));
        });
    }
    ~NoticeAnswer() { Wait(); }
    void Wait() {
        if (thread_.joinable()) thread_.join();
    }
    bool Shown() {
        Wait();
        return shown_;
    }
    bool CancelShown() {
        Wait();
        return cancelShown_;
    }

private:
    std::thread thread_;
    std::atomic<bool> shown_{false}, cancelShown_{false};
};

TEST(NoSoundcardCompensation, NoticeOffersTheLinearityUntilSwitchedOffOrMeasured) {
    const testutil::MeasurementSettingsScope scope;
    const testutil::TempDir dir("srx nocomp");
    const std::string folder = dir.path().string();
    SetMeasureProgramFolder(folder);
    MeasurementSettings& ms = CurrentMeasurementSettings();
    ms.sampleRate = 44100;
    ms.channels = 2;
    ms.bitsPerSample = 16;
    ms.outputDevice = ms.inputDevice = 0;  // a sound card (the mapper), not the virtual loudspeaker
    Notices().noCardCompensation = Notices().noCardCompensationSettings = true;

    // The measurement's notice only tells; ticked, it stays away.
    {
        NoticeAnswer answer(false, IDOK);
        ShowNoSoundcardCompensation(nullptr);
        EXPECT_TRUE(answer.Shown());
        EXPECT_FALSE(answer.CancelShown());
    }
    {
        NoticeAnswer answer(true, IDOK);
        ShowNoSoundcardCompensation(nullptr);
        EXPECT_TRUE(answer.Shown());
    }
    EXPECT_FALSE(Notices().noCardCompensation);
    ShowNoSoundcardCompensation(nullptr);  // returns at once
    EXPECT_TRUE(Notices().noCardCompensationSettings);

    // The sheet's offer: taken, declined; then the file exists and nothing asks.
    {
        NoticeAnswer answer(false, IDOK);
        EXPECT_TRUE(OfferLinearityMeasurement(nullptr));
        EXPECT_TRUE(answer.CancelShown());
    }
    {
        NoticeAnswer answer(false, IDCANCEL);
        EXPECT_FALSE(OfferLinearityMeasurement(nullptr));
        EXPECT_TRUE(answer.Shown());
    }
    // Every stimulus of the linearity has its file.
    CompensationCurve flat;
    flat.entries = {{100, 0, 0}, {20000, 0, 0}};
    for (CompensationStimulus kind : LinearityStimuli(ms)) {
        std::string path;
        ASSERT_TRUE(CompensationFileName(ms, folder, &path, kind, false, int(ms.mlsOrder)));
        ASSERT_TRUE(SaveCompensation(path, flat));
    }
    EXPECT_FALSE(OfferLinearityMeasurement(nullptr));
    // Every preparation asks the program's notice.
    InstallSoundcardCompensationNotice();
    EXPECT_EQ(NoSoundcardCompensationNotice(), &ShowNoSoundcardCompensation);

    Notices().noCardCompensation = Notices().noCardCompensationSettings = true;
}

}  // namespace
}  // namespace srx
