// "Do FFT on Impulse Response" with its "Time-Window Settings" dialog,
// "Calculate Minimum-Phase" and "Show Impulse Response" on a hidden frame.
// The modal dialog is driven from its observer: fields are set and buttons
// pressed by messages queued before it shows.

#include <cmath>
#include <fstream>

#include "app/command_rules.h"
#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/fft_commands.h"
#include "dsp/window.h"
#include "measure/stimulus_files.h"
#include "resources/command_ids.h"
#include "resources/time_window_ids.h"
#include "wine_test_util.h"

namespace srx {
namespace {

std::vector<std::pair<int, std::string>> g_shown;
int g_answer = IDYES;
std::function<void(HWND)> g_drive;
int g_dialogs = 0;

int RecordMessage(HWND, const Status& message, UINT) {
    g_shown.emplace_back(message.stringId, StatusText(message));
    return g_answer;
}

bool Enabled(HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; }
constexpr auto Press = testutil::PostClick;
void ChooseMode(HWND d, int radio) {
    CheckRadioButton(d, IDC_TW_NORMAL, IDC_TW_MANUAL, radio);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(radio, BN_CLICKED), LPARAM(GetDlgItem(d, radio)));
}

std::vector<HWND> WindowsOfKind(int kind) {
    std::vector<HWND> list;
    for (HWND w : DocumentWindows())
        if (DocumentKindOf(w) == kind) list.push_back(w);
    return list;
}

// 100 ms of a one-pole low-pass at 48 kHz, window 10 ms, saved.
TimeRecord* NewImpulse(const char* title, uint32_t flags = 0) {
    TimeRecord* t = NewTimeRecord({}).release();
    SetText(t->h.title, title);
    t->h.sampleRate = 48000;
    t->h.sampleCount = 4800;
    t->h.flags = flags | kTwfSaved;
    t->h.spikeLength = 1.0 / 48000;
    t->h.fftWindowLength = 0.010;
    for (int n = 0; n < 4800; ++n) t->samples.push_back(float(std::pow(0.7, n) * 0.3));
    return t;
}

class FftCommands : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        OpenFrame();
        std::ofstream(folder_ / "MIC.MCP", std::ios::binary)
            << "Son-Rix:Compensation File v1.10\r\nMIC.MCP\r\n3\r\nBEGIN.\r\n20 6 0\r\n1000 6 0\r\n24000 6 "
               "0\r\nEND.\r\n";
        SetMeasureProgramFolder(folder_.path().string() + "\\");
        savedAnalysis_ = CurrentAnalysisSettings();
        RefreshAnalysisSettings();
        savedFlags_ = ReadFlagWords(Settings());
        g_shown.clear();
        g_answer = IDYES;
        g_dialogs = 0;
        g_drive = nullptr;
        SetFftMessageHook(RecordMessage);
        SetTimeWindowDialogObserver([](HWND d) {
            ++g_dialogs;
            if (g_drive) g_drive(d);
        });
    }
    void TearDown() override {
        SetTimeWindowDialogObserver(nullptr);
        SetFftMessageHook(nullptr);
        ScratchFrameTest::TearDown();
        WriteFlagWords(Settings(), savedFlags_);
        CurrentAnalysisSettings() = savedAnalysis_;
    }
    HWND OpenImpulse(TimeRecord* t) { return CreateDocumentWindow("Impulse Response: x", kDocImpulse, t); }

    testutil::MeasurementSettingsScope scope_;
    testutil::TempDir folder_{"srx fft commands"};
    AnalysisSettings savedAnalysis_;
    FlagWords savedFlags_;
};

TEST_F(FftCommands, DialogFieldsRefusalsAndTheDurationMessage) {
    std::unique_ptr<TimeRecord> t(NewImpulse("Woofer"));
    SetText(t->h.setup.compensationFile, "MIC");
    t->h.windowType = kWindowBlackman;
    g_drive = [](HWND d) {
        char text[32] = "";
        GetDlgItemTextA(d, IDC_TW_LENGTH, text, sizeof text);
        EXPECT_STREQ(text, "10");
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_TW_WINDOW, CB_GETCURSEL, 0, 0), kWindowBlackman);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_TW_MICCOMP, CB_GETCOUNT, 0, 0), 2);  // "None...", "MIC"
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_TW_MICCOMP, CB_GETCURSEL, 0, 0), 1);
        EXPECT_FALSE(Enabled(d, IDC_TW_START));
        ChooseMode(d, IDC_TW_MANUAL);
        EXPECT_TRUE(Enabled(d, IDC_TW_START));
        Press(d, IDCANCEL);
    };
    TimeWindowChoice c;
    EXPECT_FALSE(RunTimeWindowDialog(frame_, *t, &c));
    EXPECT_TRUE(g_shown.empty());
    g_drive = [](HWND d) {
        ChooseMode(d, IDC_TW_MANUAL);
        SetDlgItemTextA(d, IDC_TW_START, "50");
        SetDlgItemTextA(d, IDC_TW_LENGTH, "60");  // beyond the 100 ms of the record
        Press(d, IDOK);
        Press(d, IDCANCEL);
    };
    EXPECT_FALSE(RunTimeWindowDialog(frame_, *t, &c));
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].first, 2410);
    EXPECT_EQ(g_shown[0].second, "Time-Window start + Time-Window length may not exceed 100.00 ms !");
}

TEST_F(FftCommands, FftOpensAResponseWindowAsksBeforeASecondAndReportsFailure) {
    TimeRecord* t = NewImpulse("Woofer");
    HWND impulse = OpenImpulse(t);
    g_drive = [](HWND d) {
        SetDlgItemTextA(d, IDC_TW_LENGTH, "20");
        SendDlgItemMessageA(d, IDC_TW_WINDOW, CB_SETCURSEL, kWindowRectangular, 0);
        SendDlgItemMessageA(d, IDC_TW_MICCOMP, CB_SETCURSEL, 1, 0);
        Press(d, IDOK);
    };
    ExecuteCommand(frame_, CM_FFT);
    ASSERT_EQ(WindowsOfKind(kDocMeasurement).size(), 1u);
    HWND response = WindowsOfKind(kDocMeasurement)[0];
    EXPECT_EQ(WindowTitle(response), "Frequency Response: Woofer");
    const auto* m = static_cast<const Measurement*>(DocumentDataOf(response));
    // The dialog's choices reached the record and the response.
    EXPECT_EQ(m->h.windowType, kWindowRectangular);
    EXPECT_EQ(TextOf(m->h.setup.compensationFile), "MIC");
    EXPECT_NEAR(t->h.fftWindowLength, 0.020, 1e-12);

    // Again: No brings the earlier response forward, Yes makes a second one.
    SendMessageA(Shell().client, WM_MDIACTIVATE, WPARAM(impulse), 0);
    g_answer = IDNO;
    ExecuteCommand(frame_, CM_FFT);
    EXPECT_EQ(g_dialogs, 1);
    EXPECT_EQ(ActiveDocument(), response);
    SendMessageA(Shell().client, WM_MDIACTIVATE, WPARAM(impulse), 0);
    g_answer = IDYES;
    ExecuteCommand(frame_, CM_FFT);
    EXPECT_EQ(WindowTitle(ActiveDocument()), "Frequency Response: Woofer : 2");
    ASSERT_EQ(g_shown.size(), 2u);
    EXPECT_EQ(g_shown[0].first, 2409);

    // Samples the header promises but the record lacks: message 2358, no window.
    g_shown.clear();
    TimeRecord* broken = NewImpulse("Broken");
    broken->samples.clear();
    OpenImpulse(broken);
    ExecuteCommand(frame_, CM_FFT);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].second, "Couldn't do a FFT on the PIR !");
    EXPECT_EQ(WindowsOfKind(kDocMeasurement).size(), 2u);
}

TEST_F(FftCommands, SwitchingMinimumPhaseOnOffersToCalculateTheMissingOnes) {
    FlagWords f = savedFlags_;
    f.measurementOptions &= ~kOptionMinimumPhase;
    WriteFlagWords(Settings(), f);
    OpenImpulse(NewImpulse("Woofer"));
    g_drive = [](HWND d) { Press(d, IDOK); };
    ExecuteCommand(frame_, CM_FFT);  // made while the option is off
    ASSERT_EQ(WindowsOfKind(kDocMeasurement).size(), 1u);
    auto* m = static_cast<Measurement*>(DocumentDataOf(WindowsOfKind(kDocMeasurement)[0]));
    ASSERT_TRUE(LacksMinimumPhase(*m));
    CreateDocumentWindow("Impedance: Z", kDocMeasurement, NewMeasurement(kCurveImpedance).release());

    g_answer = IDNO;
    ExecuteCommand(frame_, CM_MIN_PHASE_CALC);
    EXPECT_TRUE(ReadFlagWords(Settings()).measurementOptions & kOptionMinimumPhase);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].first, 2390);
    EXPECT_TRUE(LacksMinimumPhase(*m));
    ExecuteCommand(frame_, CM_MIN_PHASE_CALC);  // off: no question
    g_answer = IDYES;
    ExecuteCommand(frame_, CM_MIN_PHASE_CALC);
    EXPECT_EQ(g_shown.size(), 2u);
    EXPECT_FALSE(LacksMinimumPhase(*m));
    ExecuteCommand(frame_, CM_MIN_PHASE_CALC);
    ExecuteCommand(frame_, CM_MIN_PHASE_CALC);  // nothing left to calculate
    EXPECT_EQ(g_shown.size(), 2u);
}

TEST_F(FftCommands, ShowImpulseOpensTheImpulseWindowOfAWaterfallOnce) {
    TimeRecord* t = NewImpulse("Room", kTwfWaterfall);
    HWND waterfall = CreateDocumentWindow("Waterfall: Room", kDocWaterfall, t);
    ExecuteCommand(frame_, CM_SHOW_IMPULSE);
    ASSERT_EQ(WindowsOfKind(kDocImpulse).size(), 1u);
    HWND impulse = WindowsOfKind(kDocImpulse)[0];
    EXPECT_EQ(WindowTitle(impulse), "Impulse Response: Room");
    EXPECT_EQ(DocumentDataOf(impulse), t);
    SendMessageA(Shell().client, WM_MDIACTIVATE, WPARAM(waterfall), 0);
    ExecuteCommand(frame_, CM_SHOW_IMPULSE);
    EXPECT_EQ(WindowsOfKind(kDocImpulse).size(), 1u);
    EXPECT_EQ(ActiveDocument(), impulse);
    // The record outlives the waterfall window while the impulse window shows it.
    SendMessageA(Shell().client, WM_MDIDESTROY, WPARAM(waterfall), 0);
    EXPECT_EQ(TextOf(static_cast<TimeRecord*>(DocumentDataOf(impulse))->h.title), "Room");
}

}  // namespace
}  // namespace srx
