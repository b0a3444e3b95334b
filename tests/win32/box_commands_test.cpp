// The box design in the running program: the "Box Design" sheet on its own
// thread commits a closed box, which is analysed into an analysis window;
// "Convert to measurement" and "Analyzer Preferences" work on the result.
// The vented page takes a shipped alignment and a vent diameter and applies
// without closing; the bandpass page commits on OK.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cmath>
#include <cstring>

#include "app/win32/analysis_commands.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "data/view_flags.h"
#include "design/box_design.h"
#include "design/design_simulation.h"
#include "design/design_slot.h"
#include "design/speaker_unit.h"
#include "design/win32/box_sheet.h"
#include "dsp/numeric.h"
#include "measure/measurement_settings.h"
#include "resources/box_sheet_ids.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "wine_test_util.h"

namespace srx {
namespace {

using testutil::PumpUntil;

std::atomic<HWND> g_pages[4];
std::vector<int> g_messages;

int Record(HWND, const Status& s, UINT) {
    g_messages.push_back(s.stringId);
    return IDOK;
}

SpeakerUnit Woofer() {
    SpeakerUnit u;
    u.fs = 30, u.vas = 0.1, u.qes = 0.4, u.qms = 4, u.re = 6, u.sd = 0.05, u.le = 0.0008, u.xmax = 0.006;
    return u;
}

void PutUnitInSlot(const SpeakerUnit& u) {
    DesignSlot& slot = DesignSlots()[0];
    const auto unit = SerializeSpeakerUnit(u);
    std::memcpy(slot.unitParameters, unit.data(), unit.size());
    slot.flags |= kSlotHasUnit;
    Shell().activeDesign = 0;
}

// Picks an entry of the page's alignment list as a user would.
bool ChooseAlignment(HWND page, const char* name) {
    const LRESULT i = SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(name));
    SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_SETCURSEL, WPARAM(i), 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_BX_ALIGN, CBN_SELCHANGE), LPARAM(GetDlgItem(page, IDC_BX_ALIGN)));
    return i >= 0;
}

double Typed(HWND page, int id) { return std::atof(testutil::DlgText(page, id).c_str()); }

class BoxCommands : public testutil::RunningProgram {
protected:
    void SetUp() override {
        RunningProgram::SetUp();
        for (auto& p : g_pages) p = nullptr;
        g_messages.clear();
        SetAnalysisMessageHook(Record);
        SetBoxSheetObserver([](HWND page, int index) { g_pages[index] = page; });
        // The changed design is not saved when the program closes.
        SetDocumentAskHook([](HWND, int, UINT, const std::string&) { return IDNO; });
    }
    void TearDown() override {
        RunningProgram::TearDown();  // closes the program: the hooks answer its questions
        SetBoxSheetObserver(nullptr);
        SetDocumentAskHook(nullptr);
        SetAnalysisDialogObserver(nullptr);
        SetAnalysisMessageHook(nullptr);
    }
    // The program with the woofer in design 1 and its "Box Design" sheet open.
    void OpenSheet(HWND& frame, HWND& sheet) {
        frame = Start();
        ASSERT_NE(frame, nullptr);
        PutUnitInSlot(Woofer());
        PostMessageA(frame, WM_COMMAND, CM_BOX_PARAMETERS, 0);
        ASSERT_TRUE(PumpUntil([] { return BoxDesignSheetWindow() != nullptr && g_pages[2].load() != nullptr; }));
        sheet = BoxDesignSheetWindow();
    }
};

TEST_F(BoxCommands, SheetCommitsAClosedBoxWhichIsAnalysedAndConverted) {
    // The sheet opens on its own thread; its Closed page gets a Qtc.
    HWND frame = nullptr, sheet = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenSheet(frame, sheet));
    const SpeakerUnit u = Woofer();
    DesignSlot& slot = DesignSlots()[0];
    EXPECT_TRUE(slot.flags & kSlotDialogOpen);
    // Fs/Qes 75 and Qts 0.36: a fresh design starts on the Vented page.
    EXPECT_EQ(PropSheet_GetCurrentPageHwnd(sheet), g_pages[2].load());
    SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
    ASSERT_TRUE(PumpUntil([] { return g_pages[1].load() != nullptr; }));
    HWND closed = g_pages[1];
    SetDlgItemTextA(closed, IDC_BX_A, "");
    SetDlgItemTextA(closed, IDC_BX_QTC, "0.7071");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(PumpUntil([&] { return !(slot.flags & kSlotDialogOpen) && (slot.flags & kSlotAnalysed); }, 20000))
        << "flags " << slot.flags << ", first message " << (g_messages.empty() ? 0 : g_messages[0]) << ", sheet "
        << (BoxDesignSheetWindow() != nullptr);
    EXPECT_EQ(g_messages, std::vector<int>{});

    const BoxDesign box = DeserializeBoxDesign(slot.boxParameters);
    const double qts = u.qes * u.qms / (u.qes + u.qms);
    EXPECT_EQ(box.boxType, kClosedBox);
    EXPECT_NEAR(box.vb, u.vas / (std::pow(0.7071 / qts, 2) - 1), 1e-9);
    EXPECT_EQ(box.title, "Closed box");
    EXPECT_TRUE(slot.flags & kSlotUnsaved);
    ASSERT_FALSE(SlotResults(0).empty());
    HWND analysis = ActiveDocument();
    ASSERT_NE(analysis, nullptr);
    EXPECT_EQ(DocumentKindOf(analysis), kDocAnalysisFirst);
    EXPECT_EQ(WindowTitle(analysis), "Analysis: Frequency Response");

    // The total response becomes a measurement of its own, at its simulated
    // level by default and at 0 dB without the keep-absolute-levels option.
    const std::vector<double>& total = SlotResults(0).curves[kCurveTotal];
    const double top = *std::max_element(total.begin(), total.end());
    ASSERT_GT(top, 80);
    for (const bool absolute : {true, false}) {
        uint32_t& flags = CurrentMeasurementSettings().flags;
        flags = absolute ? (flags | kMsfKeepAbsoluteLevels) : (flags & ~kMsfKeepAbsoluteLevels);
        SendMessageA(Shell().client, WM_MDIACTIVATE, WPARAM(analysis), 0);
        SendMessageA(frame, WM_COMMAND, CM_ANALYSIS_TO_MEAS, 0);
        HWND converted = ActiveDocument();
        ASSERT_NE(converted, analysis);
        EXPECT_EQ(DocumentKindOf(converted), kDocMeasurement);
        EXPECT_EQ(WindowTitle(converted), "Frequency Response: Konverterad - Closed box (A)");
        const auto* m = static_cast<Measurement*>(DocumentDataOf(converted));
        EXPECT_NEAR(m->h.maxLevel, absolute ? top : 0.0, 1e-3);
    }
    SendMessageA(Shell().client, WM_MDIACTIVATE, WPARAM(analysis), 0);

    // A new stop frequency simulates the design again.
    SetAnalysisDialogObserver([](HWND d, int id) {
        if (id != DLG_ANALYZER_PREFS) return;
        SetDlgItemTextA(d, IDC_AP_STOP, "2000");
        testutil::SendClick(d, IDOK);
    });
    SendMessageA(frame, WM_COMMAND, CM_ANALYZER_PREFS, 0);
    ASSERT_FALSE(SlotResults(0).empty());
    EXPECT_DOUBLE_EQ(SlotResults(0).frequency.back(), 2000);
    EXPECT_TRUE(slot.flags & kSlotAnalysed);
}

TEST_F(BoxCommands, VentedPageAppliesAShippedAlignmentAndTheBandpassPageCommitsOnOk) {
    HWND frame = nullptr, sheet = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenSheet(frame, sheet));
    const SpeakerUnit u = Woofer();
    DesignSlot& slot = DesignSlots()[0];
    HWND vented = g_pages[2];

    // Qts 0.364 lies in the quasi-Butterworth tables, one entry per loss Q.
    const LRESULT count = SendDlgItemMessageA(vented, IDC_BX_ALIGN, CB_GETCOUNT, 0, 0);
    ASSERT_EQ(count, 5);
    ASSERT_TRUE(ChooseAlignment(vented, "QB3-B4  QL=7"));
    const double alpha = Typed(vented, IDC_BX_A), h = Typed(vented, IDC_BX_H);
    EXPECT_GT(alpha, 1.41);  // a smaller box than the Butterworth's, tuned above Fs
    EXPECT_GT(h, 1.0);

    // "&Dia" turns the typed area into a diameter.
    SetDlgItemTextA(vented, IDC_BX_VENT, "78.54");
    testutil::SendClick(vented, IDC_BX_DIA);
    EXPECT_EQ(testutil::DlgText(vented, IDC_BX_VENT_LABEL), "Vent dia. (cm) - Dv");
    EXPECT_NEAR(Typed(vented, IDC_BX_VENT), 10, 0.01);

    // Apply commits and leaves the sheet open.
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
    ASSERT_TRUE(PumpUntil([&] { return (slot.flags & kSlotAnalysed) != 0; }, 20000));
    EXPECT_EQ(g_messages, std::vector<int>{});
    EXPECT_EQ(BoxDesignSheetWindow(), sheet);
    EXPECT_TRUE(slot.flags & kSlotDialogOpen);
    BoxDesign box = DeserializeBoxDesign(slot.boxParameters);
    EXPECT_EQ(box.boxType, kVentedBox);
    EXPECT_NEAR(box.vb, u.vas / alpha, 1e-9);
    EXPECT_NEAR(box.fb, h * u.fs, 1e-9);
    EXPECT_NEAR(box.sv, kPi * 0.1 * 0.1 / 4, 1e-6);
    EXPECT_EQ(box.ql, 7);

    // The bandpass page: the "0 dB" second-order alignment, committed on OK.
    g_messages.clear();
    SendMessageA(sheet, PSM_SETCURSEL, 3, 0);
    ASSERT_TRUE(PumpUntil([] { return g_pages[3].load() != nullptr; }));
    HWND bandpass = g_pages[3];
    ASSERT_TRUE(ChooseAlignment(bandpass, "2:nd order  0 dB"));
    slot.flags &= ~kSlotAnalysed;
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(PumpUntil([&] { return !(slot.flags & kSlotDialogOpen) && (slot.flags & kSlotAnalysed); }, 20000));
    EXPECT_EQ(g_messages, std::vector<int>{});
    box = DeserializeBoxDesign(slot.boxParameters);
    EXPECT_EQ(box.boxType, kBandpassBox);
    EXPECT_EQ(box.filterOrder, 2);
    EXPECT_EQ(box.title, "Bandpass box");  // the vented default name followed
    EXPECT_FALSE(SlotResults(0).empty());
}

}  // namespace
}  // namespace srx
