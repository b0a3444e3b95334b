// The T/S commands over open impedance curves on a hidden frame, with the
// virtual jig's exact curves: the dialogs are driven from the observer and
// every message is answered by the hook.
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "app/win32/analysis_commands.h"
#include "app/win32/documents.h"
#include "audio/virtual_device.h"
#include "data/view_flags.h"
#include "design/ts_measurement.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "resources/ts_measured_ids.h"
#include "wine_test_util.h"

namespace srx {
namespace {

std::vector<int> g_shown;
std::function<int(int)> g_answer;
std::function<void(HWND, int)> g_drive;

int RecordMessage(HWND, const Status& message, UINT) {
    g_shown.push_back(message.stringId);
    return g_answer ? g_answer(message.stringId) : IDOK;
}

constexpr auto Press = testutil::SendClick;
using testutil::DlgText;
double Field(HWND d, int id) { return std::atof(DlgText(d, id).c_str()); }

// The jig's exact impedance, 96 points per octave from 10 Hz to 20 kHz, saved,
// without Re.
Measurement* JigCurve(const VirtualDriver& d, const char* title, double stop = 20000) {
    VirtualSetup setup;
    setup.driver = d;
    const VirtualTruth truth(setup, 0);
    Measurement* m = NewMeasurement(kCurveImpedance).release();
    SetText(m->h.title, title);
    for (int k = 0;; ++k) {
        const double f = 10 * std::exp2(k / 96.0);
        if (f > stop) break;
        const std::complex<double> z = truth.JigImpedance(f);
        AddCurvePoint(*m, f, std::abs(z), std::arg(z), kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                      kNoLevel, kNoLevel, kNoLevel);
    }
    m->h.flags |= kMesSaved;
    return m;
}

VirtualDriver Woofer() {
    VirtualDriver d;
    d.re = 6, d.le = 0.0006, d.fs = 40, d.qms = 5, d.qes = 0.45, d.sd = 0.022, d.vas = 0.04;
    return d;
}

HWND Open(Measurement* m) {
    return CreateDocumentWindow(("Impedance: " + TextOf(m->h.title)).c_str(), kDocMeasurement, m);
}

Measurement& CurveOf(HWND w) { return *static_cast<Measurement*>(DocumentDataOf(w)); }

class TsCommands : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        OpenFrame();
        Settings().window.undoDepth = 5;
        g_shown.clear();
        g_answer = nullptr;
        g_drive = nullptr;
        SetAnalysisMessageHook(RecordMessage);
        SetAnalysisDialogObserver([](HWND d, int id) {
            if (g_drive) g_drive(d, id);
        });
    }
    void TearDown() override {
        DestroyAllWindows();
        DeleteAllUndo();
        SetAnalysisDialogObserver(nullptr);
        SetAnalysisMessageHook(nullptr);
        ScratchFrameTest::TearDown();
    }
    testutil::MeasurementSettingsScope scope_;
};

TEST_F(TsCommands, ImportedCurvesGiveTheMeasuredParameters) {
    const VirtualDriver d = Woofer();
    VirtualDriver loaded = d;
    loaded.mass = 0.004;
    // The lists hold the windows from the active one down: free air first.
    HWND loadedWindow = Open(JigCurve(loaded, "mass"));
    ASSERT_NE(loadedWindow, nullptr);
    Open(JigCurve(d, "free"));

    std::vector<int> dialogs;
    HWND measuredOn = nullptr;
    g_drive = [&](HWND dlg, int id) {
        dialogs.push_back(id);
        if (id == DLG_TS_IMPORTED) {
            EXPECT_EQ(DlgText(dlg, IDC_TSI_LOAD_LABEL), StringText(kStrAddedMassLabel));
            // The same curve twice, then the required fields one by one.
            SendDlgItemMessageA(dlg, IDC_TSI_LOADED, CB_SETCURSEL, 0, 0);
            Press(dlg, IDOK);
            SendDlgItemMessageA(dlg, IDC_TSI_LOADED, CB_SETCURSEL, 1, 0);
            Press(dlg, IDOK);
            Press(dlg, IDC_TSI_SCAN);
            EXPECT_NEAR(Field(dlg, IDC_TSI_REVC), 0.8 * d.re, 0.05);  // the curve's minimum is about Re
            SetDlgItemTextA(dlg, IDC_TSI_REVC, "6");
            SetDlgItemTextA(dlg, IDC_TSI_SD, "220");
            Press(dlg, IDOK);  // Xmax asked for (No), then the mass
            SetDlgItemTextA(dlg, IDC_TSI_LOAD, "4");
            Press(dlg, IDOK);
        } else if (id == DLG_TS_MEASURED) {
            measuredOn = ActiveDocument();
            EXPECT_NEAR(Field(dlg, IDC_TSM_FS), d.fs, d.fs * 0.005);
            // Point picking at the two resonances: the mass is good to some percent.
            EXPECT_NEAR(Field(dlg, IDC_TSM_VAS), d.vas * 1000, d.vas * 1000 * 0.1);
            EXPECT_NEAR(Field(dlg, IDC_TSM_QTS), d.qms * d.qes / (d.qms + d.qes), 0.03 * 0.41);
            EXPECT_EQ(DlgText(dlg, IDC_TSM_XMAX), "");
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg, IDC_TSM_SAVE_SPK)));
            // OK without Xmax asks; Yes stays for it, then it is typed.
            g_answer = [](int msg) { return msg == kStrAskXmax ? IDYES : IDOK; };
            Press(dlg, IDOK);
            SetDlgItemTextA(dlg, IDC_TSM_XMAX, "5");
            SendDlgItemMessageA(dlg, IDC_TSM_XMAX, EM_SETMODIFY, TRUE, 0);
            SetDlgItemTextA(dlg, IDC_TSM_TITLE, "");
            Press(dlg, IDOK);
        }
    };
    g_answer = [](int msg) { return msg == kStrAskXmax ? IDNO : IDOK; };
    ImportedParametersCommand(frame_);
    EXPECT_EQ(dialogs, (std::vector<int>{DLG_TS_IMPORTED, DLG_TS_MEASURED}));
    EXPECT_EQ(g_shown, (std::vector<int>{kStrSameCurves, kStrEnterRevc, kStrAskXmax, kStrEnterAddedMass, kStrAskXmax, kStrAskXmax}));
    ASSERT_NE(measuredOn, nullptr);
    const Measurement& m = CurveOf(measuredOn);
    EXPECT_EQ(m.h.method, kTsAddedMass);
    EXPECT_DOUBLE_EQ(m.h.tsBlock[kTsXmax], 0.005);
    EXPECT_EQ(TextOf(m.h.title), "Impedance");  // an emptied title gets the default
    EXPECT_EQ(WindowTitle(measuredOn), "Impedance: Impedance");
    EXPECT_FALSE(m.h.flags & kMesSaved);
    EXPECT_EQ(CurveOf(loadedWindow).h.tsBlock[kTsAddedLoad], 0.004);
}

TEST_F(TsCommands, RevcBoxlossAndCurveOperations) {
    // Cancel in the Revc dialog leaves the curve as it was, and no
    // parameters are shown.
    HWND w = Open(JigCurve(Woofer(), "woofer"));
    std::vector<int> dialogs;
    g_drive = [&](HWND dlg, int id) {
        dialogs.push_back(id);
        if (id == DLG_TS_REVC) {
            Press(dlg, IDOK);  // empty: stays
            Press(dlg, IDC_REVC_SCAN);
            EXPECT_NEAR(Field(dlg, IDC_REVC_VALUE), 4.8, 0.05);
            Press(dlg, IDCANCEL);
        }
    };
    const MeasurementHeader before = CurveOf(w).h;
    MeasuredParametersCommand(frame_);
    EXPECT_EQ(dialogs, std::vector<int>{DLG_TS_REVC});
    EXPECT_EQ(std::memcmp(&before, &CurveOf(w).h, sizeof before), 0);

    // Inductance removal takes an undo step; a curve without kilohertz
    // points is refused without one.
    CurveOf(w).h.tsBlock[kTsRe] = 6;
    RemoveInductanceCommand(frame_);
    EXPECT_EQ(UndoFilesOf(w).size(), 1u);
    EXPECT_FALSE(CurveOf(w).h.flags & kMesSaved);
    // At 10 kHz the coil's 38 ohm took the phase to 81 degrees. The mean
    // Le of 1..2 kHz also holds the motional part's negative reactance
    // (about a tenth of it here), so some 26 degrees are left.
    const Measurement& removed = CurveOf(w);
    for (const CurvePoint& p : removed.points) {
        if (p.frequency > 9000 && p.frequency < 11000) {
            EXPECT_NEAR(p.value[kSlotPhase], 0.45, 0.05) << p.frequency;
        }
    }
    HWND low = Open(JigCurve(Woofer(), "low", 500));
    RemoveInductanceCommand(frame_);
    EXPECT_EQ(g_shown, std::vector<int>{kStrNoKiloHertz});
    EXPECT_TRUE(UndoFilesOf(low).empty());

    // The model curve opens in a window of its own.
    CurveOf(low).h.tsBlock[kTsRe] = 6;
    CurveFitCommand(frame_);
    HWND fit = ActiveDocument();
    ASSERT_NE(fit, low);
    EXPECT_EQ(WindowTitle(fit), "Impedance: low (CF)");

    // A vented box: the calculator reads alpha and h from the peaks, and QL
    // once the driver's Qs are typed.
    VirtualDriver box = Woofer();
    box.vented = true, box.alpha = 1.5, box.fb = 40, box.ql = 7;
    Open(JigCurve(box, "vented"));
    g_shown.clear();
    dialogs.clear();
    g_drive = [&](HWND dlg, int id) {
        dialogs.push_back(id);
        EXPECT_EQ(DlgText(dlg, IDC_BL_RE), "");  // the curve has none
        EXPECT_NEAR(Field(dlg, IDC_BL_ALPHA), 1.5, 0.075);
        SetDlgItemTextA(dlg, IDC_BL_RE, "6");
        Press(dlg, IDC_BL_CALCULATE);
        EXPECT_EQ(DlgText(dlg, IDC_BL_QL), "");
        SetDlgItemTextA(dlg, IDC_BL_FS, "40");
        SetDlgItemTextA(dlg, IDC_BL_QMS, "5");
        SetDlgItemTextA(dlg, IDC_BL_QES, "0.45");
        Press(dlg, IDC_BL_CALCULATE);
        EXPECT_NEAR(Field(dlg, IDC_BL_H), 1.0, 0.05);
        EXPECT_NEAR(Field(dlg, IDC_BL_QL), 7, 0.7);
        Press(dlg, IDCANCEL);
    };
    BoxlossCommand(frame_);
    EXPECT_EQ(dialogs, std::vector<int>{DLG_BOXLOSS});
    EXPECT_EQ(g_shown, std::vector<int>{kStrNotEnoughParameters});
}

}  // namespace
}  // namespace srx
