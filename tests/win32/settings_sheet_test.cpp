// The measurement settings sheet driven as the user would: modeless, with
// the virtual loudspeaker as the only sound device and the messages caught.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstring>

#include "data/view_flags.h"
#include "app/win32/settings_sheet.h"
#include "audio/wave_engine.h"
#include "measure/settings_rules.h"
#include "resources/settings_sheet_ids.h"
#include "resources/string_ids.h"
#include "wine_test_util.h"

namespace srx {
namespace {

std::vector<int> g_messages;

int RecordMessage(HWND, int id, UINT) {
    g_messages.push_back(id);
    return IDOK;
}

enum { kSoundcardPage, kFftPage, kTimeWindowPage, kGatedPage, kMlsPage };

class SettingsSheet : public ::testing::Test {
protected:
    void SetUp() override {
        savedFlags_ = Settings().window.shellFlags;
        Settings().window.shellFlags = kShellToolbar;  // advanced mode
        MeasurementSettings& ms = CurrentMeasurementSettings();
        ms.outputDevice = ms.inputDevice = 1;  // the virtual loudspeaker
        ms.sampleRate = 44100;
        ms.bitsPerSample = 16;
        ms.channels = 2;
        ms.gatedStop = 20000;
        ms.sweepStop = 20000;
        ms.impedanceStop = 20000;
        ms.spikeLength = 1.0 / 44100;
        previousBackend_ = WaveBackend();
        WaveSetBackend(&loudspeaker_);
        g_messages.clear();
        SetSettingsSheetMessageHook(RecordMessage);
    }
    void TearDown() override {
        if (sheet_) DestroyWindow(sheet_);
        SetSettingsSheetMessageHook(nullptr);
        WaveSetBackend(previousBackend_);
        Settings().window.shellFlags = savedFlags_;
    }

    void Open() {
        sheet_ = CreateMeasurementSettingsSheet(nullptr);
        ASSERT_NE(sheet_, nullptr);
    }
    HWND Current() const { return HWND(SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    int CurrentIndex() const { return int(SendMessageA(sheet_, PSM_HWNDTOINDEX, WPARAM(Current()), 0)); }
    HWND Go(int index) {
        SendMessageA(sheet_, PSM_SETCURSEL, WPARAM(index), 0);
        return Current();
    }
    static void Type(HWND page, int id, const char* text) { SetDlgItemTextA(page, id, text); }
    static std::string Text(HWND page, int id) { return testutil::DlgText(page, id); }
    void Press(int button) { SendMessageA(sheet_, PSM_PRESSBUTTON, WPARAM(button), 0); }
    bool Ended() const { return Current() == nullptr; }

    testutil::MeasurementSettingsScope scope_;
    HWND sheet_ = nullptr;
    uint32_t savedFlags_ = 0;
    VirtualLoudspeaker loudspeaker_;
    WaveDeviceBackend* previousBackend_ = nullptr;
};

TEST_F(SettingsSheet, FillsTheSoundcardPageFromTheDeviceAndTheRecord) {
    Open();
    HWND page = Current();
    EXPECT_EQ(Text(page, IDC_MS_OUTDEV), kVirtualDeviceName);
    EXPECT_EQ(Text(page, IDC_MS_INDEV), kVirtualDeviceName);
    EXPECT_EQ(Text(page, IDC_MS_FORMAT), "44100 Hz, 16 Bit, Stereo");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_MS_LINEARITY)));
    // Choosing a format writes it into the record at once.
    HWND formats = GetDlgItem(page, IDC_MS_FORMAT);
    const LRESULT mono = SendMessageA(formats, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("22050 Hz, 24 Bit, Mono"));
    ASSERT_GE(mono, 0);
    SendMessageA(formats, CB_SETCURSEL, WPARAM(mono), 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MS_FORMAT, CBN_SELCHANGE), LPARAM(formats));
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    EXPECT_EQ(ms.sampleRate, 22050u);
    EXPECT_EQ(ms.bitsPerSample, 24);
    EXPECT_EQ(ms.channels, 1);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_MS_PROBE)));  // probe compensation needs stereo
}

TEST_F(SettingsSheet, ARefusedValueShowsItsMessageAndKeepsThePage) {
    Open();
    HWND page = Go(kGatedPage);
    ASSERT_EQ(CurrentIndex(), kGatedPage);
    Type(page, IDC_MS_GSTOP, "30000");  // above 22000 Hz at 44100
    Go(kMlsPage);
    EXPECT_EQ(g_messages, std::vector<int>{kStrInvalidValues});
    EXPECT_EQ(CurrentIndex(), kGatedPage);
    EXPECT_EQ(Text(page, IDC_MS_GSTOP), "22000.00");  // put back to the bound it broke
    EXPECT_EQ(GetFocus(), GetDlgItem(page, IDC_MS_GSTOP));
    // The corrected value is accepted.
    g_messages.clear();
    Go(kMlsPage);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(CurrentIndex(), kMlsPage);
}

TEST_F(SettingsSheet, LookingChangesNothingOkStoresAndCancelRestores) {
    // Values are shown rounded (a spike of one sample at 44100 Hz reads
    // 0.0227 ms); storing the shown text back would change the setting and
    // throw the cached wave files away.
    MeasurementSettings& ms = CurrentMeasurementSettings();
    ms.flags &= ~kMsfAutoSpikeLength;
    ms.mlsPirLength = 0.0123456789;  // shown as 12.35 ms
    const MeasurementSettings shown = CurrentMeasurementSettings();
    Open();
    for (int i = 0; i < 9; ++i) Go(i);
    Press(PSBTN_OK);
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(g_messages.empty());
    EXPECT_FALSE(WaveFilesOutdated(shown, CurrentMeasurementSettings()));
    EXPECT_EQ(CurrentMeasurementSettings().spikeLength, 1.0 / 44100);
    EXPECT_EQ(CurrentMeasurementSettings().mlsPirLength, 0.0123456789);
    DestroyWindow(sheet_);

    Open();
    HWND fft = Go(kFftPage);
    Type(fft, IDC_MS_SPEED, "340.5");
    CheckDlgButton(fft, IDC_MS_THD2 + 1, BST_UNCHECKED);  // harmonic 3 no longer counts
    Press(PSBTN_OK);
    EXPECT_TRUE(Ended());
    EXPECT_TRUE(MeasurementSettingsConfirmed());
    EXPECT_DOUBLE_EQ(CurrentMeasurementSettings().speedOfSound, 340.5);
    EXPECT_EQ(CurrentMeasurementSettings().thdHarmonics & 2u, 0u);
    EXPECT_TRUE(g_messages.empty());
    DestroyWindow(sheet_);

    const MeasurementSettings before = CurrentMeasurementSettings();
    Open();
    Type(Go(kFftPage), IDC_MS_SPEED, "300");
    Type(Go(kGatedPage), IDC_MS_GSTART, "200");
    Go(kMlsPage);
    EXPECT_EQ(CurrentMeasurementSettings().gatedStart, 200.0);  // pages write as they are left
    Press(PSBTN_CANCEL);
    EXPECT_TRUE(Ended());
    EXPECT_FALSE(MeasurementSettingsConfirmed());
    EXPECT_EQ(std::memcmp(&before, &CurrentMeasurementSettings(), sizeof before), 0);
}

TEST_F(SettingsSheet, OkChecksEveryPageAndTurnsToTheRefusedField) {
    Open();
    Go(kGatedPage);  // the gated stop (20000 Hz) is fine at 44100...
    HWND card = Go(kSoundcardPage);
    HWND formats = GetDlgItem(card, IDC_MS_FORMAT);
    const LRESULT low = SendMessageA(formats, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("22050 Hz, 16 Bit, Stereo"));
    ASSERT_GE(low, 0);
    SendMessageA(formats, CB_SETCURSEL, WPARAM(low), 0);
    SendMessageA(card, WM_COMMAND, MAKEWPARAM(IDC_MS_FORMAT, CBN_SELCHANGE), LPARAM(formats));
    Press(PSBTN_OK);  // ...but not at 22050
    EXPECT_FALSE(Ended());
    EXPECT_FALSE(MeasurementSettingsConfirmed());
    EXPECT_EQ(g_messages, std::vector<int>{kStrInvalidValues});
    EXPECT_EQ(CurrentIndex(), kGatedPage);
    EXPECT_EQ(Text(Current(), IDC_MS_GSTOP), "11000.00");
    EXPECT_EQ(CurrentMeasurementSettings().gatedStop, 11000.0);
}

TEST_F(SettingsSheet, TimeWindowPageDerivesTheMissingValueAndRefusesABadOffset) {
    CurrentMeasurementSettings().flags &= ~kMsfNearField;
    Open();
    HWND page = Go(kTimeWindowPage);
    Type(page, IDC_MS_D1, "100");
    Type(page, IDC_MS_D2, "100");
    Type(page, IDC_MS_TW, "0");
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MS_TWCALC, BN_CLICKED), 0);
    EXPECT_EQ(Text(page, IDC_MS_TW), FormatMilliseconds(ReflectionWindow(1.0, 1.0, 344.0)));

    Type(page, IDC_MS_TWOFFSET, "50");  // not below the window
    Go(kGatedPage);
    EXPECT_EQ(g_messages, std::vector<int>{kStrInvalidValues});
    EXPECT_EQ(CurrentIndex(), kTimeWindowPage);
    EXPECT_EQ(Text(page, IDC_MS_TWOFFSET), "0.0000");

    // Near-field measurements leave the triangle alone and take the
    // gated window on their own page.
    CheckDlgButton(page, IDC_MS_NEARFIELD, BST_CHECKED);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MS_NEARFIELD, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_MS_D1)));
    HWND gated = Go(kGatedPage);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(gated, IDC_MS_GTW)));
}

TEST_F(SettingsSheet, AdvancedDialogAcceptsOnlyValuesInRange) {
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(DLG_MS_ADVANCED), nullptr,
                                     AdvancedSoundcardProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    EXPECT_EQ(Text(dialog, IDC_MS_ASTOPDELAY), "100");
    Type(dialog, IDC_MS_ASTOPDELAY, "1000");
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));  // stays open, no message
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(CurrentMeasurementSettings().stopDelayPlusOne, 101u);

    const double preSilence = CurrentMeasurementSettings().preSilence;
    Type(dialog, IDC_MS_ASTOPDELAY, "999");
    Type(dialog, IDC_MS_ABUFFERS, "16");
    CheckDlgButton(dialog, IDC_MS_AREVERSE, BST_CHECKED);
    CheckDlgButton(dialog, IDC_MS_ATONE, BST_CHECKED);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(IsWindowVisible(dialog));
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    EXPECT_EQ(ms.stopDelayPlusOne, 1000u);
    EXPECT_EQ(ms.bufferCount, 16u);
    EXPECT_EQ(ms.reverseChannels, 1u);
    EXPECT_EQ(ms.moreFlags & kMsf2DontResetToneControls, kMsf2DontResetToneControls);
    EXPECT_EQ(ms.preSilence, preSilence);  // untouched text keeps the exact value
    DestroyWindow(dialog);
}

}  // namespace
}  // namespace srx
