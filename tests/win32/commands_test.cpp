// The menus, toolbar and command table on a scratch frame with the
// program's resources.

#include "data/view_flags.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "wine_test_util.h"

namespace srx {
namespace {

int g_childCommand = 0;

LRESULT CALLBACK TestChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND) g_childCommand = LOWORD(wp);
    return DefMDIChildProcA(w, m, wp, lp);
}

class Commands : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        saved_ = Settings().window;
        Settings().window.shellFlags = kShellToolbar | kShellStatusBar;  // advanced
        OpenFrame();
        Shell().toolbar = CreateToolbar(frame_, false);
        ASSERT_NE(Shell().toolbar, nullptr);
        RebuildMenus(true);
    }
    void TearDown() override {
        ScratchFrameTest::TearDown();
        Settings().window = saved_;
    }
    static UINT State(int id) { return GetMenuState(GetMenu(Shell().frame), id, MF_BYCOMMAND); }
    static bool Checked(int id) { return (State(id) & MF_CHECKED) != 0; }
    static bool Greyed(int id) { return (State(id) & MF_GRAYED) != 0; }
    static bool ButtonEnabled(int id) { return SendMessageA(Shell().toolbar, TB_ISBUTTONENABLED, id, 0) != 0; }

    WindowHistory saved_{};
};

// Which flags a choice clears is the native tests' concern; here the check
// marks follow the flags, also where the mark means the bit is clear.
TEST_F(Commands, CheckMarksFollowTheViewFlags) {
    Settings().window.graphViewFlags = 0;
    ExecuteCommand(frame_, CM_PHASE);
    EXPECT_TRUE(Checked(CM_PHASE));
    ExecuteCommand(frame_, CM_EXCESS_PHASE);
    EXPECT_TRUE(Checked(CM_EXCESS_PHASE));
    EXPECT_FALSE(Checked(CM_PHASE));

    ExecuteCommand(frame_, CM_TIME_MARKERS);
    EXPECT_FALSE(Checked(CM_TIME_MARKERS));
    EXPECT_EQ(Settings().window.graphViewFlags & kGraphTimeMarkersHidden, kGraphTimeMarkersHidden);
}

TEST_F(Commands, EasyMenuClearsAdvancedChoicesForGood) {
    Settings().window.graphViewFlags = kGraphAmplitude | kGraphMinimumPhase | kGraphLinearFrequency;
    ExecuteCommand(frame_, CM_MENU_MODE);
    EXPECT_TRUE(Settings().window.shellFlags & kShellEasyMenu);
    EXPECT_EQ(State(CM_MIN_PHASE), 0xFFFFFFFFu);  // not in the easy menu
    ExecuteCommand(frame_, CM_MENU_MODE);
    EXPECT_FALSE(Settings().window.shellFlags & kShellEasyMenu);
    EXPECT_FALSE(Checked(CM_MIN_PHASE));
    EXPECT_FALSE(Checked(CM_LINEAR_FREQUENCY));
    // The toolbar was rebuilt for the new mode: gated sine is advanced only.
    ASSERT_NE(Shell().toolbar, nullptr);
    EXPECT_GE(SendMessageA(Shell().toolbar, TB_COMMANDTOINDEX, TB_GATED, 0), 0);
    EXPECT_NE(Shell().combo, nullptr);
}

TEST_F(Commands, ToolbarResetInstallsTheAdvancedLayoutInEasyMode) {
    Settings().window.shellFlags |= kShellEasyMenu;
    DestroyWindow(Shell().toolbar);
    HWND toolbar = Shell().toolbar = CreateToolbar(frame_, true);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_LT(SendMessageA(toolbar, TB_COMMANDTOINDEX, TB_GATED, 0), 0);
    NMHDR reset{toolbar, kToolbarId, static_cast<UINT>(TBN_RESET)};
    bool handled = false;
    ToolbarNotify(frame_, &reset, &handled);
    EXPECT_TRUE(handled);
    EXPECT_GE(SendMessageA(toolbar, TB_COMMANDTOINDEX, TB_GATED, 0), 0);
}

TEST_F(Commands, UpdateMenusGreysWithoutAnActiveWindow) {
    UpdateMenus();
    for (int id : {201, 202, 108, 107, 714, 722, 736, 737}) EXPECT_TRUE(Greyed(id)) << id;
    EXPECT_FALSE(ButtonEnabled(TB_COPY));
    EXPECT_FALSE(ButtonEnabled(TB_ZOOM_IN));
    EXPECT_TRUE(ButtonEnabled(TB_MLS));
    SetMeasurementCommandsEnabled(false, true);
    for (int id : {112, 301, 203, 703, 711, 718}) EXPECT_TRUE(Greyed(id)) << id;
    EXPECT_FALSE(ButtonEnabled(TB_MLS));
    SetMeasurementCommandsEnabled(true, true);
    EXPECT_FALSE(Greyed(703));
    EXPECT_TRUE(ButtonEnabled(TB_MLS));
}

TEST_F(Commands, UnknownIdsReachTheActiveChild) {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestChildProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "SRX_TEST_CMD_CHILD";
        return RegisterClassA(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    MDICREATESTRUCTA mcs{"SRX_TEST_CMD_CHILD", "child", GetModuleHandleA(nullptr), 0, 0, 200, 200, 0, 0};
    HWND child = (HWND)SendMessageA(Shell().client, WM_MDICREATE, 0, (LPARAM)&mcs);
    ASSERT_NE(child, nullptr);
    g_childCommand = 0;
    ExecuteCommand(frame_, 4711);
    EXPECT_EQ(g_childCommand, 4711);
    g_childCommand = 0;
    ExecuteCommand(frame_, 750);  // a distortion choice: the window's own
    EXPECT_EQ(g_childCommand, 750);
    g_childCommand = 0;
    // A table command of a feature to come: the user is told, the child is not asked.
    EXPECT_EQ(testutil::NextMessageText([&] { ExecuteCommand(frame_, CM_QC); }), StringText(kStrNotAvailable));
    EXPECT_EQ(g_childCommand, 0);
    ExecuteCommand(frame_, CM_CASCADE);
    EXPECT_TRUE(IsWindow(child));
}

// A saved layout comes back whole, separators included, after the toolbar
// was emptied; each menu mode keeps its own value.
TEST_F(Commands, SavedToolbarLayoutIsRestoredWithItsSeparators) {
    const char* key = "Software\\SonRixTest\\ToolbarRestore";
    RegDeleteTreeA(HKEY_CURRENT_USER, key);
    HWND toolbar = Shell().toolbar;
    const LRESULT count = SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0);
    ASSERT_TRUE(SaveToolbarLayout(toolbar, false, key));
    EXPECT_FALSE(Settings().toolbarLayout[0].empty());
    EXPECT_NE(RegGetValueA(HKEY_CURRENT_USER, key, kToolbarEasyValue, RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    while (SendMessageA(toolbar, TB_DELETEBUTTON, 0, 0)) {
    }
    ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 0);
    ASSERT_TRUE(RestoreToolbarLayout(toolbar, false, key));
    EXPECT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), count);
    TBBUTTON b{};
    SendMessageA(toolbar, TB_GETBUTTON, 3, (LPARAM)&b);
    EXPECT_TRUE(b.fsStyle & BTNS_SEP);
    SendMessageA(toolbar, TB_GETBUTTON, 10, (LPARAM)&b);
    EXPECT_EQ(b.idCommand, TB_GATED);
    RegDeleteTreeA(HKEY_CURRENT_USER, key);
}

}  // namespace
}  // namespace srx
