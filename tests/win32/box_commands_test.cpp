// The box design in the running program: the "Box Design" sheet on its own
// thread commits a closed box, which is analysed into an analysis window;
// "Convert to measurement" and "Analyzer Preferences" work on the result.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
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
};

TEST_F(BoxCommands, SheetCommitsAClosedBoxWhichIsAnalysedAndConverted) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    SpeakerUnit u;
    u.fs = 30, u.vas = 0.1, u.qes = 0.4, u.qms = 4, u.re = 6, u.sd = 0.05, u.le = 0.0008, u.xmax = 0.006;
    DesignSlot& slot = DesignSlots()[0];
    const auto unit = SerializeSpeakerUnit(u);
    std::memcpy(slot.unitParameters, unit.data(), unit.size());
    slot.flags |= kSlotHasUnit;
    Shell().activeDesign = 0;

    // The sheet opens on its own thread; its Closed page gets a Qtc.
    PostMessageA(frame, WM_COMMAND, CM_BOX_PARAMETERS, 0);
    ASSERT_TRUE(PumpUntil([] { return BoxDesignSheetWindow() != nullptr && g_pages[2].load() != nullptr; }));
    EXPECT_TRUE(slot.flags & kSlotDialogOpen);
    HWND sheet = BoxDesignSheetWindow();
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

    // The total response becomes a measurement of its own.
    SendMessageA(frame, WM_COMMAND, CM_ANALYSIS_TO_MEAS, 0);
    HWND converted = ActiveDocument();
    ASSERT_NE(converted, analysis);
    EXPECT_EQ(DocumentKindOf(converted), kDocMeasurement);
    EXPECT_EQ(WindowTitle(converted), "Frequency Response: Konverterad - Closed box (A)");

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

}  // namespace
}  // namespace srx
