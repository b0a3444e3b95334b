// The menus, toolbar and command table on a small frame of the test's own:
// an MDI frame with client, toolbar and the program's resources.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/registry_store.h"
#include "app/win32/shell.h"
#include "resources/command_ids.h"

namespace srx {
namespace {

int g_childCommand = 0;

LRESULT CALLBACK TestFrameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_NOTIFY) {  // the toolbar asks its parent while restoring
        bool handled = false;
        LRESULT r = ToolbarNotify(w, reinterpret_cast<NMHDR*>(lp), &handled);
        if (handled) return r;
    }
    return DefFrameProcA(w, Shell().client, m, wp, lp);
}

LRESULT CALLBACK TestChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND) g_childCommand = LOWORD(wp);
    return DefMDIChildProcA(w, m, wp, lp);
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = TestFrameProc;
            wc.hInstance = instance;
            wc.lpszClassName = "SRX_TEST_CMD_FRAME";
            RegisterClassA(&wc);
            wc.lpfnWndProc = TestChildProc;
            wc.lpszClassName = "SRX_TEST_CMD_CHILD";
            RegisterClassA(&wc);
            registered = true;
        }
        saved_ = Settings().window;
        Settings().window.shellFlags = kShellToolbar | kShellStatusBar;  // advanced
        FrameState& s = Shell();
        s.instance = instance;
        frame_ = CreateWindowExA(0, "SRX_TEST_CMD_FRAME", "test", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr,
                                 nullptr, instance, nullptr);
        ASSERT_NE(frame_, nullptr);
        s.frame = frame_;
        CLIENTCREATESTRUCT ccs{nullptr, kFirstChildId};
        s.client = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 800,
                                   500, frame_, (HMENU)(INT_PTR)kClientId, instance, &ccs);
        ASSERT_NE(s.client, nullptr);
        s.toolbar = CreateToolbar(frame_, false);
        ASSERT_NE(s.toolbar, nullptr);
        RebuildMenus(true);
    }
    void TearDown() override {
        FrameState& s = Shell();
        if (frame_) DestroyWindow(frame_);
        s.frame = s.client = s.toolbar = s.combo = s.status = nullptr;
        Settings().window = saved_;
    }
    static bool Checked(int id) {
        return (GetMenuState(GetMenu(Shell().frame), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    static bool Greyed(int id) {
        return (GetMenuState(GetMenu(Shell().frame), id, MF_BYCOMMAND) & MF_GRAYED) != 0;
    }
    static std::string Text(int id) {
        char buffer[128] = "";
        GetMenuStringA(GetMenu(Shell().frame), id, buffer, sizeof buffer, MF_BYCOMMAND);
        return buffer;
    }
    HWND frame_ = nullptr;
    WindowHistory saved_{};
};

TEST_F(Commands, MenuBarsHaveTheirPopupsAndTexts) {
    HMENU menu = GetMenu(frame_);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 9);
    const char* popups[] = {"&File", "&Edit", "&Show", "&Box Design", "&Crossover", "&Measurement",
                            "&Plug-in", "&Window", "&Help"};
    for (int i = 0; i < 9; ++i) {
        char text[64] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, popups[i]);
    }
    EXPECT_EQ(Text(CM_QUIT), "&Quit");
    EXPECT_EQ(Text(CM_MENU_MODE), "&Easy Measurement menu");
    EXPECT_EQ(Text(CM_ABOUT), "&About Sonorix 2...");
    ExecuteCommand(frame_, CM_MENU_MODE);
    EXPECT_EQ(Text(CM_MENU_MODE), "&Advanced Measurement menu");
    EXPECT_EQ(Text(CM_MLS), "Frequency Response with &MLS\tCtrl+Shift+M");
    EXPECT_EQ(GetMenuState(GetMenu(frame_), CM_MIN_PHASE, MF_BYCOMMAND), 0xFFFFFFFFu);  // not in easy
    // Every popup of the context menus carries only known commands.
    for (int id = 3; id <= 18; ++id) {
        HMENU context = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
        ASSERT_NE(context, nullptr) << id;
        EXPECT_GT(GetMenuItemCount(GetSubMenu(context, 0)), 0) << id;
        DestroyMenu(context);
    }
}

TEST_F(Commands, AcceleratorTableIsComplete) {
    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    ASSERT_NE(table, nullptr);
    std::vector<ACCEL> keys(CopyAcceleratorTableA(table, nullptr, 0));
    CopyAcceleratorTableA(table, keys.data(), static_cast<int>(keys.size()));
    EXPECT_EQ(keys.size(), 26u);
    auto command = [&](WORD key, BYTE mods) {
        for (const ACCEL& a : keys)
            if (a.key == key && (a.fVirt & (FCONTROL | FSHIFT | FALT)) == mods) return static_cast<int>(a.cmd);
        return 0;
    };
    EXPECT_EQ(command('M', FCONTROL | FSHIFT), 703);
    EXPECT_EQ(command('P', FCONTROL), 108);
    EXPECT_EQ(command('P', FCONTROL | FSHIFT), 701);
    EXPECT_EQ(command(VK_TAB, 0), 711);
    EXPECT_EQ(command(VK_F1, FALT), 714);
    EXPECT_EQ(command(VK_F1, 0), 1001);
    EXPECT_EQ(command(VK_F5, FSHIFT), 903);
    EXPECT_EQ(command(VK_F5, 0), 306);
    EXPECT_EQ(command('4', FCONTROL), 510);
    DestroyAcceleratorTable(table);
}

TEST_F(Commands, ExclusiveViewFlagsFollowTheirCheckMarks) {
    Settings().window.graphViewFlags = 0;
    ExecuteCommand(frame_, CM_PHASE);
    EXPECT_TRUE(Checked(CM_PHASE));
    ExecuteCommand(frame_, CM_EXCESS_PHASE);
    EXPECT_TRUE(Checked(CM_EXCESS_PHASE));
    EXPECT_FALSE(Checked(CM_PHASE));
    EXPECT_FALSE(Checked(CM_MIN_PHASE));
    EXPECT_EQ(Settings().window.graphViewFlags, kGraphExcessPhase);

    Settings().xover.crossoverViewFlags = 0;
    ExecuteCommand(frame_, CM_XO_NO_SUM);
    EXPECT_TRUE(Checked(CM_XO_NO_SUM));
    EXPECT_TRUE(Checked(CM_XO_ALL_CURVES));
    ExecuteCommand(frame_, CM_TIME_MARKERS);
    EXPECT_FALSE(Checked(CM_TIME_MARKERS));
    EXPECT_EQ(Settings().window.graphViewFlags & kGraphTimeMarkersHidden, kGraphTimeMarkersHidden);
}

TEST_F(Commands, EasyMenuClearsAdvancedChoicesForGood) {
    Settings().window.graphViewFlags = kGraphAmplitude | kGraphMinimumPhase | kGraphLinearFrequency;
    ExecuteCommand(frame_, CM_MENU_MODE);
    EXPECT_TRUE(Settings().window.shellFlags & kShellEasyMenu);
    EXPECT_EQ(Settings().window.graphViewFlags, kGraphAmplitude);
    ExecuteCommand(frame_, CM_MENU_MODE);
    EXPECT_FALSE(Settings().window.shellFlags & kShellEasyMenu);
    EXPECT_EQ(Settings().window.graphViewFlags, kGraphAmplitude);
    EXPECT_FALSE(Checked(CM_MIN_PHASE));
    EXPECT_FALSE(Checked(CM_LINEAR_FREQUENCY));
    // The toolbar was rebuilt with its combo box for the new mode.
    ASSERT_NE(Shell().toolbar, nullptr);
    // Gated sine is on the advanced toolbar only.
    EXPECT_GE(SendMessageA(Shell().toolbar, TB_COMMANDTOINDEX, TB_GATED, 0), 0);
    ASSERT_NE(Shell().combo, nullptr);
    EXPECT_EQ(SendMessageA(Shell().combo, CB_GETCOUNT, 0, 0), 19);
}

TEST_F(Commands, ToolbarResetInstallsTheAdvancedLayoutInEasyMode) {
    Settings().window.shellFlags |= kShellEasyMenu;
    DestroyWindow(Shell().toolbar);
    HWND toolbar = CreateToolbar(frame_, true);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 21);
    NMHDR reset{toolbar, kToolbarId, static_cast<UINT>(TBN_RESET)};
    bool handled = false;
    ToolbarNotify(frame_, &reset, &handled);
    EXPECT_TRUE(handled);
    ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 26);
    TBBUTTON b{};
    SendMessageA(toolbar, TB_GETBUTTON, 10, (LPARAM)&b);
    EXPECT_EQ(b.idCommand, TB_GATED);  // only the advanced layout has it

    char text[64] = "";
    NMTOOLBARA info{};
    info.hdr = {toolbar, kToolbarId, static_cast<UINT>(TBN_GETBUTTONINFOA)};
    info.iItem = 12;
    info.pszText = text;
    info.cchText = sizeof text;
    EXPECT_EQ(ToolbarNotify(frame_, &info.hdr, &handled), TRUE);
    EXPECT_EQ(info.tbButton.idCommand, TB_MLS);
    EXPECT_STREQ(text, "MLS");
    info.iItem = 19;
    EXPECT_EQ(ToolbarNotify(frame_, &info.hdr, &handled), FALSE);
}

TEST_F(Commands, UpdateMenusGreysWithoutAnActiveWindow) {
    UpdateMenus();
    for (int id : {201, 202, 108, 107, 714, 722, 736, 737}) EXPECT_TRUE(Greyed(id)) << id;
    EXPECT_FALSE(SendMessageA(Shell().toolbar, TB_ISBUTTONENABLED, TB_COPY, 0));
    EXPECT_FALSE(SendMessageA(Shell().toolbar, TB_ISBUTTONENABLED, TB_ZOOM_IN, 0));
    EXPECT_TRUE(SendMessageA(Shell().toolbar, TB_ISBUTTONENABLED, TB_MLS, 0));
    SetMeasurementCommandsEnabled(false, true);
    for (int id : {112, 301, 203, 703, 711, 718}) EXPECT_TRUE(Greyed(id)) << id;
    EXPECT_FALSE(SendMessageA(Shell().toolbar, TB_ISBUTTONENABLED, TB_MLS, 0));
    SetMeasurementCommandsEnabled(true, true);
    EXPECT_FALSE(Greyed(703));
    EXPECT_TRUE(SendMessageA(Shell().toolbar, TB_ISBUTTONENABLED, TB_MLS, 0));
}

TEST_F(Commands, UnknownIdsReachTheActiveChild) {
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
    ExecuteCommand(frame_, CM_ETC);  // a table command of a feature to come
    EXPECT_EQ(g_childCommand, 0);
    ExecuteCommand(frame_, CM_CASCADE);
    EXPECT_TRUE(IsWindow(child));
}

TEST_F(Commands, StatusHelpFollowsTheSelection) {
    Shell().status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD, 0, 0, 0, 0, frame_, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    HMENU menu = GetMenu(frame_);
    HMENU file = GetSubMenu(menu, 0);
    Shell().lastStatusId = 0;
    MenuSelectHelp(MAKEWPARAM(CM_QUIT, MF_STRING), (LPARAM)file);
    EXPECT_EQ(Shell().lastStatusId, CM_QUIT);
    EXPECT_EQ(Shell().lastStatusText, "Quits the program");
    MenuSelectHelp(MAKEWPARAM(5, MF_POPUP), (LPARAM)menu);
    EXPECT_EQ(Shell().lastStatusId, 700);
    MenuSelectHelp(MAKEWPARAM(0, 0xFFFF), 0);  // closing keeps the text
    EXPECT_EQ(Shell().lastStatusId, 0);
    EXPECT_EQ(Shell().lastStatusText, "Measurements, analyses and graph views");
}

// A saved layout comes back whole, separators included, after the toolbar
// was emptied.
TEST_F(Commands, SavedToolbarLayoutIsRestoredWithItsSeparators) {
    const char* key = "Software\\SonRixTest\\ToolbarRestore";
    DestroyWindow(Shell().toolbar);
    HWND toolbar = CreateToolbar(frame_, false);
    ASSERT_NE(toolbar, nullptr);
    ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 26);
    ASSERT_TRUE(SaveToolbarLayout(toolbar, false, key));
    while (SendMessageA(toolbar, TB_DELETEBUTTON, 0, 0)) {
    }
    ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 0);
    ASSERT_TRUE(RestoreToolbarLayout(toolbar, false, key));
    EXPECT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 26);
    TBBUTTON b{};
    SendMessageA(toolbar, TB_GETBUTTON, 3, (LPARAM)&b);
    EXPECT_TRUE(b.fsStyle & BTNS_SEP);
    SendMessageA(toolbar, TB_GETBUTTON, 10, (LPARAM)&b);
    EXPECT_EQ(b.idCommand, TB_GATED);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

}  // namespace
}  // namespace srx
