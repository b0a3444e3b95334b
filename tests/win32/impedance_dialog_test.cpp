// The impedance calibration of the settings' Impedance page and the
// "Impedance" dialog in the running program, on the virtual impedance jig
// (paced in real time), driven from this (the interface) thread while they
// run on the measurement thread.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>

#include "app/win32/analysis_commands.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "app/win32/settings_sheet.h"
#include "audio/wave_engine.h"
#include "data/records.h"
#include "data/view_flags.h"
#include "design/ts_measurement.h"
#include "dsp/numeric.h"
#include "measure/impedance.h"
#include "measure/stimulus_files.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/command_ids.h"
#include "resources/impedance_dialog_ids.h"
#include "resources/settings_sheet_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "resources/ts_measured_ids.h"
#include "wine_test_util.h"

namespace srx {
namespace {

namespace fs = std::filesystem;
using testutil::DlgText;
using testutil::FindOtherThreadWindow;
using testutil::PumpUntil;
constexpr auto Press = testutil::PostClick;

// Measurement messages; "no Revc, continue?" is answered No, and "Put the
// mass on the cone." puts it on the jig's cone.
testutil::MessageLog g_log;
VirtualSetup g_loadedJig;
std::vector<double> g_shown_values;  // what "Measured Thiele-Small Parameters" showed
int RecordMessage(HWND, const Status& message, UINT) {
    g_log.Add(message.stringId);
    if (message.stringId == kStrPutMass) ProgramVirtualLoudspeaker().SetSetup(g_loadedJig);
    return message.stringId == kStrNoRevc ? IDNO : IDOK;
}
int RecordSheetMessage(HWND, int id, UINT) {
    g_log.Add(id);
    return IDOK;
}
int DontSave(HWND, int, UINT, const std::string&) { return IDNO; }

// The window that has the keyboard focus on `w`'s thread.
HWND FocusOf(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) ? info.hwndFocus : nullptr;
}

class ImpedanceDialogTest : public testutil::RunningProgram {
protected:
    void SetUp() override {
        RunningProgram::SetUp();
        fs::create_directories(dir_.path() / "waves");
        fs::create_directories(dir_.path() / "prog");
        g_log.Clear();
        SetMeasurementMessageHook(RecordMessage);
        SetSettingsSheetMessageHook(RecordSheetMessage);
        SetDocumentAskHook(DontSave);
        Notices().keepMeasurement = true;
        frame_ = StartForMls((dir_.path() / "waves").string());
        SetMeasureProgramFolder((dir_.path() / "prog").string());
        MeasurementSettings& ms = CurrentMeasurementSettings();
        ms.flags &= ~(kMsfImpedanceMls | kMsfImpedanceWarmUp | kMsfInitSoundcard);
        ms.impedanceStart = 20;
        ms.impedanceStop = 20000;
        ms.impedanceSweepTime = 0.2;  // passes of about two seconds
        jig_.mode = VirtualMode::kImpedanceJig;
        jig_.latency = 300;
        jig_.boxVersion = int(ms.impedanceBoxVersion);
    }
    void TearDown() override {
        RunningProgram::TearDown();
        SetMeasurementMessageHook(nullptr);
        SetSettingsSheetMessageHook(nullptr);
        SetDocumentAskHook(nullptr);
    }
    bool WaveFolderEmpty() const { return fs::is_empty(dir_.path() / "waves"); }
    // Pressed, and the message it gave.
    std::vector<int> PressFor(HWND w, int id) {
        const size_t before = g_log.Ids().size();
        Press(w, id);
        EXPECT_TRUE(PumpUntil([&] { return g_log.Ids().size() > before; }));
        const std::vector<int> all = g_log.Ids();
        return std::vector<int>(all.begin() + long(std::min(before, all.size())), all.end());
    }

    testutil::TempDir dir_{"srx impedance dialog"};
    VirtualSetup jig_;
    HWND frame_ = nullptr;
};

TEST_F(ImpedanceDialogTest, CalibrateOnTheImpedancePageWritesTheSettingsFile) {
    ASSERT_NE(frame_, nullptr);
    // A current channel reading 0.8 of the truth: the resistor reads 10 ohm.
    jig_.jig.load = VirtualLoad::kResistor;
    jig_.jig.loadR = 8;
    jig_.jig.currentGain = 0.8;
    ProgramVirtualLoudspeaker().SetSetup(jig_);

    PostMessageA(frame_, WM_COMMAND, CM_SETTINGS, 0);
    HWND sheet = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (sheet = FindOtherThreadWindow("Measurement Settings")) != nullptr; }));
    // Its place depends on the menu mode (easy mode leaves two pages out).
    HWND page = nullptr;
    for (int i = 0; i < 9 && !GetDlgItem(page, IDC_MS_ZCALIBRATE); ++i) {
        SendMessageA(sheet, PSM_SETCURSEL, WPARAM(i), 0);
        page = HWND(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    }
    ASSERT_NE(GetDlgItem(page, IDC_MS_ZCALIBRATE), nullptr);
    EXPECT_EQ(DlgText(page, IDC_MS_ZSTATUS), StringText(kStrUncalibrated));
    EXPECT_EQ(DlgText(page, IDC_MS_ZTIMELABEL), StringText(kStrSweepTimeLabel));

    // No resistor to calibrate on: refused before anything is measured.
    for (const char* typed : {"", "abc", "0", "-8", "1e999", "nan", "2000", "8 ohm"}) {
        SetDlgItemTextA(page, IDC_MS_ZRCAL, typed);
        EXPECT_EQ(PressFor(page, IDC_MS_ZCALIBRATE), std::vector<int>{kStrCalibrationResistorRange}) << typed;
    }
    EXPECT_TRUE(fs::is_empty(dir_.path() / "prog"));

    SetDlgItemTextA(page, IDC_MS_ZRCAL, "8");
    g_log.Clear();
    Press(page, IDC_MS_ZCALIBRATE);
    HWND progress = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (progress = FindOtherThreadWindow("Impedance Calibration")) != nullptr; }));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(progress); }, 30000));
    EXPECT_EQ(g_log.Ids(), std::vector<int>{});
    EXPECT_EQ(DlgText(page, IDC_MS_ZSTATUS), StringText(kStrCalibrated));
    std::string file;
    EXPECT_TRUE(ImpedanceCalibrationFileName(CurrentMeasurementSettings(), MeasureProgramFolder(), &file)) << file;
    EXPECT_NEAR(CurrentMeasurementSettings().impedanceCalibration, 0.8, 0.01);
    EXPECT_TRUE(WaveFolderEmpty());

    // The MLS method names another file; its label and controls follow.
    SendDlgItemMessageA(page, IDC_MS_ZMLS, BM_SETCHECK, BST_CHECKED, 0);
    testutil::SendClick(page, IDC_MS_ZMLS);
    EXPECT_EQ(DlgText(page, IDC_MS_ZTIMELABEL), StringText(kStrMlsLengthLabel));
    EXPECT_EQ(DlgText(page, IDC_MS_ZSTATUS), StringText(kStrUncalibrated));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, IDC_MS_ZORDER)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_MS_ZTIME)));

    // Cancel puts the method back but keeps the factor of the file written.
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy && !FindOtherThreadWindow("Measurement Settings"); }));
    EXPECT_FALSE(CurrentMeasurementSettings().flags & kMsfImpedanceMls);
    EXPECT_NEAR(CurrentMeasurementSettings().impedanceCalibration, 0.8, 0.01);
}

TEST_F(ImpedanceDialogTest, DialogMeasuresTheDriverAndAsksForRevc) {
    ASSERT_NE(frame_, nullptr);
    ProgramVirtualLoudspeaker().SetSetup(jig_);  // the driver model as the load
    PostMessageA(frame_, WM_COMMAND, CM_IMPEDANCE, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dialog = testutil::FindMeasurementWindow("Impedance")) != nullptr; }));
    ASSERT_TRUE(PumpUntil([&] { return DlgText(dialog, IDC_Z_ACTIVITY) == StringText(kStrWaiting); }));
    EXPECT_EQ(DlgText(dialog, IDC_Z_INFO), " 20-20000 Hz\r\n 1 x 0.20 sec./oct \r\n 16-bit 44100Hz Stereo");

    // No Revc: No goes back to the field; text that is no resistance is refused.
    EXPECT_EQ(PressFor(dialog, IDOK), std::vector<int>{kStrNoRevc});
    EXPECT_TRUE(PumpUntil([&] { return FocusOf(dialog) == GetDlgItem(dialog, IDC_Z_REVC); }));
    SetDlgItemTextA(dialog, IDC_Z_REVC, "1e999");
    EXPECT_EQ(PressFor(dialog, IDOK), std::vector<int>{kStrRevcRange});
    EXPECT_EQ(DlgText(dialog, IDC_Z_ACTIVITY), StringText(kStrWaiting));

    SetDlgItemTextA(dialog, IDC_Z_REVC, "6.0");
    SetDlgItemTextA(dialog, IDC_Z_TITLE, "woofer");
    g_log.Clear();
    Press(dialog, IDOK);
    HWND keep = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (keep = FindOtherThreadWindow("Keep this measurement ?")) != nullptr; }, 30000));
    HWND window = ActiveDocument();
    Press(keep, IDYES);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    EXPECT_EQ(g_log.Ids(), std::vector<int>{});
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowTitle(window), "Impedance: woofer");
    const auto* m = static_cast<const Measurement*>(DocumentDataOf(window));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->h.curveKind, kCurveImpedance);
    EXPECT_EQ(m->h.tsBlock[0], 6.0);
    // Below, at and above the resonance, and up where the inductance counts.
    const VirtualTruth truth(jig_, 44100);
    for (double f : {25.0, 40.0, 100.0, 1000.0, 10000.0}) {
        const CurvePoint* closest = nullptr;
        for (const CurvePoint& p : m->points)
            if (!closest || std::abs(std::log(p.frequency / f)) < std::abs(std::log(closest->frequency / f)))
                closest = &p;
        ASSERT_NE(closest, nullptr);
        EXPECT_NEAR(closest->value[kSlotLevel] / std::abs(truth.JigImpedance(closest->frequency)), 1, 0.03) << f;
    }
    for (const auto& e : fs::directory_iterator(dir_.path() / "waves"))
        EXPECT_NE(e.path().filename().string().rfind("r", 0), 0u) << e.path();
    EXPECT_FALSE(WaveGetState().initialised);
}

// Delta mass on the jig: the free-air curve, the question that puts the
// mass on, the loaded curve, and the measured parameters of the free-air
// window, against the driver's truth.
TEST_F(ImpedanceDialogTest, DeltaMassMeasuresBothCurvesAndShowsTheParameters) {
    ASSERT_NE(frame_, nullptr);
    CurrentMeasurementSettings().impedancePerOctave = 96;
    VirtualDriver& d = jig_.driver;
    d.re = 6, d.le = 0.0006, d.fs = 40, d.qms = 5, d.qes = 0.45, d.sd = 0.022, d.vas = 0.04;
    ProgramVirtualLoudspeaker().SetSetup(jig_);
    g_loadedJig = jig_;
    g_loadedJig.driver.mass = 0.010;
    SetAnalysisDialogObserver([](HWND dlg, int id) {
        if (id != DLG_TS_MEASURED) return;
        for (int f : {IDC_TSM_FS, IDC_TSM_QTS, IDC_TSM_VAS, IDC_TSM_LE, IDC_TSM_RE})
            g_shown_values.push_back(std::atof(DlgText(dlg, f).c_str()));
        testutil::SendClick(dlg, IDOK);
    });
    g_shown_values.clear();
    PostMessageA(frame_, WM_COMMAND, CM_TS_DELTA_MASS, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dialog = testutil::FindMeasurementWindow("T/S with Delta Mass")) != nullptr; }));
    ASSERT_TRUE(PumpUntil([&] { return DlgText(dialog, IDC_Z_ACTIVITY) == StringText(kStrWaiting); }));
    SetDlgItemTextA(dialog, IDC_Z_TITLE, "woofer");
    SetDlgItemTextA(dialog, IDC_Z_REVC, "6");
    SetDlgItemTextA(dialog, IDC_Z_SD, "220");
    SetDlgItemTextA(dialog, IDC_Z_XMAX, "4");
    EXPECT_EQ(PressFor(dialog, IDOK), std::vector<int>{kStrEnterAddedMass});
    SetDlgItemTextA(dialog, IDC_Z_LOAD, "10");
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return g_shown_values.size() == 5; }, 60000));
    SetAnalysisDialogObserver(nullptr);
    EXPECT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    EXPECT_EQ(g_log.Ids(), (std::vector<int>{kStrEnterAddedMass, kStrPutMass}));

    const VirtualTruth truth(jig_, 0);
    const double qts = d.qms * d.qes / (d.qms + d.qes);
    const double leAt1k = truth.JigImpedance(1000).imag() / (2 * kPi * 1000);
    EXPECT_NEAR(g_shown_values[0] / d.fs, 1, 0.005);
    EXPECT_NEAR(g_shown_values[1] / qts, 1, 0.03);
    EXPECT_NEAR(g_shown_values[2] / (d.vas * 1000), 1, 0.06);
    EXPECT_NEAR(g_shown_values[3] / (leAt1k * 1000), 1, 0.05);
    EXPECT_EQ(g_shown_values[4], 6.0);
    std::printf("jig delta mass: Fs %.4f Qts %.4f (%.4f) Vas %.4f l Le %.4f mH (%.4f)\n", g_shown_values[0],
                g_shown_values[1], qts, g_shown_values[2], g_shown_values[3], leAt1k * 1000);

    // Both curves are open, the free-air one active and marked with the method.
    HWND active = ActiveDocument();
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(WindowTitle(active), "Impedance: woofer");
    const auto* freeAir = static_cast<const Measurement*>(DocumentDataOf(active));
    EXPECT_EQ(freeAir->h.method, kTsAddedMass);
    EXPECT_EQ(MeasurementTypeText(freeAir->h), "Delta Mass Impedance");
    int loaded = 0;
    for (HWND w : DocumentWindows()) loaded += WindowTitle(w) == "Impedance: woofer (loaded)";
    EXPECT_EQ(loaded, 1);
}

}  // namespace
}  // namespace srx
