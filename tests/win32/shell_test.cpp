// The shell as a user meets it: Tip of the Day at start-up, context menus of
// document windows, the maximised frame and the notice switches across a
// restart, greyed toolbar images, and the messages for what this version
// cannot open or do. Modal loops (the tip, a popup menu, message boxes) are
// watched from a second thread while this one runs them.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "app/command_rules.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "app/win32/frame.h"
#include "data/native_files.h"
#include "data/view_flags.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "wine_test_util.h"

namespace srx {
namespace {

using testutil::NextMessageText;
using testutil::PumpUntil;
using testutil::Watcher;

bool Above(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == lower) return true;
    return false;
}

std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.find_last_of("\\/") + 1);
}

class Shell_ : public testutil::RunningProgram {
protected:
    testutil::TempDir dir_{"srx shell test"};
};

TEST_F(Shell_, TipOfTheDayStaysAboveTheFrameAfterTheCardTest) {
    // Gone again whatever happens: a tips file left behind would stop every later start.
    struct TipsFile {
        std::string path = ProgramFolder() + "SRIXTIPS.CFG";
        TipsFile() { std::ofstream(path) << "The first tip.\n\nThe second tip.\n"; }
        ~TipsFile() { std::remove(path.c_str()); }
    } tips;
    const int tests = CardTestsRun();
    bool enabled = false, above = false;
    Watcher w([&] {
        HWND tip = FindWindowA("#32770", "Tip of the Day");
        HWND frame = FindWindowA("SON_RIX_WClass", nullptr);
        if (!tip || !frame || CardTestsRun() <= tests || srx::Shell().measurementBusy) return false;
        Sleep(500);  // the card test's raising of the frame has been handled
        enabled = IsWindowEnabled(tip) && IsWindowVisible(tip) && !IsWindowEnabled(frame);
        above = Above(tip, frame);
        PostMessageA(tip, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    ASSERT_NE(Start(), nullptr);
    EXPECT_TRUE(w.Done());
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(above);
}

TEST_F(Shell_, ContextMenusPlacementNoticesAndWhatIsNotThereYet) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);

    // A right-click in a frequency-response window opens the menu of its kind.
    auto m = NewMeasurement(kCurveFrequencyResponse);
    for (int i = 1; i <= 10; ++i)
        AddCurvePoint(*m, 100.0 * i, 80.0, 0, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                      kNoLevel, kNoLevel);
    const std::string mes = dir_ / "r.mes";
    ASSERT_TRUE(SaveMeasurement(*m, mes));
    ASSERT_EQ(OpenDocumentFile(frame, mes.c_str()), 1);
    HWND child = ActiveDocument();
    ASSERT_NE(child, nullptr);
    UINT first = 0;
    Watcher menu([&] {
        HWND popup = FindWindowA("#32768", nullptr);
        HMENU h = popup && IsWindowVisible(popup) ? (HMENU)SendMessageA(popup, MN_GETHMENU, 0, 0) : nullptr;
        if (!h) return false;
        first = GetMenuItemID(h, 0);
        PostMessageA(frame, WM_CANCELMODE, 0, 0);
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        return true;
    });
    SendMessageA(child, WM_CONTEXTMENU, WPARAM(child), MAKELPARAM(50, 50));
    ASSERT_TRUE(menu.Done());
    HMENU expected = LoadMenuA(srx::Shell().instance, MAKEINTRESOURCEA(ContextMenuFor(kDocMeasurement, false, false)));
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(first, GetMenuItemID(GetSubMenu(expected, 0), 0));
    DestroyMenu(expected);

    // Files and commands of features still to come say so, naming the file.
    const std::string xvr = dir_ / "filter.xvr";
    EXPECT_EQ(NextMessageText([&] { OpenDocumentFile(frame, xvr.c_str()); }),
              xvr + "\n\nThis kind of file can't be opened by this version of the program.");
    EXPECT_EQ(NextMessageText([&] { SendMessageA(frame, WM_COMMAND, CM_ANALYSE, 0); }),
              StringText(kStrNothingToAnalyse));
    EXPECT_EQ(NextMessageText([&] { SendMessageA(frame, WM_COMMAND, CM_BOX_PARAMETERS, 0); }),
              StringText(kStrNoUnitForBox));

    // Disabled buttons have greyed images of their own.
    auto disabled = (HIMAGELIST)SendMessageA(srx::Shell().toolbar, TB_GETDISABLEDIMAGELIST, 0, 0);
    ASSERT_NE(disabled, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(disabled), kToolbarImageCount);

    // Maximised, "don't ask" ticked: both come back after a restart.
    SendMessageA(srx::Shell().client, WM_MDIDESTROY, WPARAM(child), 0);
    ShowWindow(frame, SW_MAXIMIZE);
    Notices().keepMeasurement = false;
    PostMessageA(frame, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([frame] { return !IsWindow(frame); }));
    Notices().keepMeasurement = true;
    frame = Start();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(IsZoomed(frame));
    EXPECT_FALSE(Notices().keepMeasurement);
    Notices().keepMeasurement = true;
}

}  // namespace
}  // namespace srx
