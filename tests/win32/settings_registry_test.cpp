// Settings through the real registry, the recent-file entries of a real menu
// and the toolbar layout. A scratch key keeps the program's own key untouched.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/win32/recent_menu.h"
#include "app/win32/registry_store.h"

using namespace srx;

namespace {

const char kTestKey[] = "Software\\Brannvik Acoustic Tools\\Son Rix Settings Test";

void PutValue(const char* name, const void* data, DWORD size, DWORD type = REG_BINARY) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                              nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(k);
}

// Size of a stored value, 0 when it (or the key) is missing; binary type required.
DWORD BinarySize(const char* name) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return 0;
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_BINARY)
        size = 0;
    RegCloseKey(k);
    return size;
}

template <class T>
std::vector<uint8_t> Bytes(const T& block) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&block);
    return {p, p + sizeof block};
}

class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
};

}  // namespace

TEST_F(SettingsRegistry, FirstStartWithoutAKeyGivesTheDefaults) {
    std::memset(&Settings().window, 0xCC, sizeof Settings().window);
    LoadSettings(kTestKey);
    const WindowHistory& w = Settings().window;
    EXPECT_EQ(w.shellFlags & 0x1Bu, 0x1Bu) << "easy menu, flat toolbar, toolbar, status bar";
    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(w.frameLeft, work.left + 32);
    EXPECT_EQ(w.frameTop, work.top + 32);
    EXPECT_EQ(w.frameLeft + w.frameWidth, work.right - 32);
    EXPECT_EQ(w.frameTop + w.frameHeight, work.bottom - 32);
    EXPECT_EQ(BinarySize(kWindowHistoryValue), 0u) << "loading must not create anything";
}

TEST_F(SettingsRegistry, SavedBlocksComeBackByteForByte) {
    LoadSettings(kTestKey);
    SettingsBlocks& s = Settings();
    s.window.frameWidth = 300;
    std::strcpy(s.window.recentFiles[0], "C:\\x\\y.mes");
    s.program.body[1000] = 0x99;
    s.xover.zoomFactor = 3.0;
    SettingsBlocks saved = s;
    SaveSettings(kTestKey);
    EXPECT_EQ(BinarySize(kXoverConfigValue), 160u);
    EXPECT_EQ(BinarySize(kWindowHistoryValue), 9092u);
    EXPECT_EQ(BinarySize(kProgramConfigValue), 1144u);

    std::memset(&s.window, 0, sizeof s.window);
    std::memset(&s.program, 0, sizeof s.program);
    std::memset(&s.xover, 0, sizeof s.xover);
    LoadSettings(kTestKey);
    EXPECT_EQ(Bytes(s.window), Bytes(saved.window));
    EXPECT_EQ(Bytes(s.program), Bytes(saved.program));
    EXPECT_EQ(Bytes(s.xover), Bytes(saved.xover));
}

TEST_F(SettingsRegistry, EveryOlderLayoutIsMigratedOnLoad) {
    WindowHistory2003 old{};
    old.version = 2003;
    old.frameWidth = old.frameHeight = 300;
    std::strcpy(old.recentFiles[0], "C:\\old\\one.mes");
    old.graphViewFlags = 0x201;
    PutValue(kWindowHistoryValue, &old, sizeof old);
    LoadSettings(kTestKey);
    EXPECT_STREQ(Settings().window.recentFiles[0], "C:\\old\\one.mes");
    EXPECT_EQ(Settings().window.appearance.printerLightGrey, 0xE6E6E6u);

    for (int32_t version : {2004, 2005}) {
        SettingsBlocks s;
        LoadDefaults(s, SystemDesktopArea());
        s.window.version = version;
        s.window.graphViewFlags = 0x201;
        s.window.appearance.lightGrey = 0;
        PutValue(kWindowHistoryValue, &s.window, sizeof s.window);
        LoadSettings(kTestKey);
        EXPECT_EQ(Settings().window.appearance.lightGrey, version == 2004 ? 0xE6E6E6u : 0u);
    }
    // Every path ends in the current layout with the harmonic bit moved.
    EXPECT_EQ(Settings().window.version, 2006);
    EXPECT_EQ(Settings().window.graphViewFlags, 0x1u);
    EXPECT_EQ(Settings().window.distortionViewFlags & 3u, 2u);
}

TEST_F(SettingsRegistry, WrongSizesAndTypesAreIgnored) {
    SettingsBlocks defaults;
    LoadDefaults(defaults, SystemDesktopArea());
    std::vector<uint8_t> junk(9000, 0x31);
    PutValue(kWindowHistoryValue, junk.data(), 9000);
    PutValue(kProgramConfigValue, junk.data(), 1143);
    PutValue(kXoverConfigValue, junk.data(), 161);
    LoadSettings(kTestKey);
    EXPECT_EQ(Bytes(Settings().window), Bytes(defaults.window));
    EXPECT_EQ(Bytes(Settings().program), Bytes(defaults.program));
    EXPECT_EQ(Bytes(Settings().xover), Bytes(defaults.xover));

    XoverConfig x = defaults.xover;
    x.crossoverViewFlags = 0x401;
    PutValue(kXoverConfigValue, &x, sizeof x, REG_NONE);
    LoadSettings(kTestKey);
    EXPECT_EQ(Settings().xover.crossoverViewFlags, 34u) << "the right size in another type";
    PutValue(kXoverConfigValue, &x, sizeof x);
    LoadSettings(kTestKey);
    EXPECT_EQ(Settings().xover.crossoverViewFlags, 0x401u);
}

namespace {

// The toolbar's palette, handed out the way the frame must answer a toolbar
// that restores a layout (the saved image holds only command ids).
TBBUTTON g_palette[3];

LRESULT CALLBACK PaletteOwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == TBN_GETBUTTONINFOA) {
        auto* nm = reinterpret_cast<NMTOOLBARA*>(lp);
        if (nm->iItem < 0 || nm->iItem >= 3) return FALSE;
        nm->tbButton = g_palette[nm->iItem];
        return TRUE;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

TEST_F(SettingsRegistry, ToolbarLayoutIsSavedAndRestoredPerMenuMode) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc{};
    wc.lpfnWndProc = PaletteOwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SrxPaletteOwner";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    HWND tb = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | CCS_ADJUSTABLE, 0, 0, 0, 0, parent,
                              nullptr, wc.hInstance, nullptr);
    ASSERT_NE(tb, nullptr);
    SendMessageA(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    for (int i = 0; i < 3; ++i) g_palette[i] = TBBUTTON{i, 100 + i, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0};
    SendMessageA(tb, TB_ADDBUTTONSA, 3, reinterpret_cast<LPARAM>(g_palette));

    ASSERT_TRUE(SaveToolbarLayout(tb, true, kTestKey));
    EXPECT_GT(BinarySize(kToolbarEasyValue), 0u);
    EXPECT_EQ(BinarySize(kToolbarAdvancedValue), 0u) << "each menu mode has its own value";
    EXPECT_FALSE(Settings().toolbarLayout[1].empty());

    SendMessageA(tb, TB_MOVEBUTTON, 0, 2);
    EXPECT_TRUE(RestoreToolbarLayout(tb, true, kTestKey));
    EXPECT_EQ(SendMessageA(tb, TB_BUTTONCOUNT, 0, 0), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(SendMessageA(tb, TB_COMMANDTOINDEX, 100 + i, 0), i);
    DestroyWindow(parent);
}

namespace {

class RecentMenu : public ::testing::Test {
protected:
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        dir_ = std::string(tmp) + "srx_recent_menu";
        CreateDirectoryA(dir_.c_str(), nullptr);
        GetCurrentDirectoryA(MAX_PATH, oldDir_);
        menu_ = CreatePopupMenu();
        AppendMenuA(menu_, MF_STRING, 100, "&Open...");
        AppendMenuA(menu_, MF_STRING, 107, "E&xit");
    }
    void TearDown() override {
        DestroyMenu(menu_);
        SetCurrentDirectoryA(oldDir_);
        for (const auto& f : files_) DeleteFileA(f.c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    std::string MakeFile(const char* name) {
        files_.push_back(dir_ + "\\" + name);
        CloseHandle(CreateFileA(files_.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        return files_.back();
    }
    // Items after "Exit": "-" for a separator, else "id text".
    std::vector<std::string> Tail() {
        std::vector<std::string> out;
        for (int i = 2; i < GetMenuItemCount(menu_); ++i) {
            char text[300] = {};
            GetMenuStringA(menu_, i, text, sizeof text, MF_BYPOSITION);
            UINT id = GetMenuItemID(menu_, i);
            out.push_back(id == 0 ? "-" : std::to_string(id) + " " + text);
        }
        return out;
    }
    std::string dir_;
    char oldDir_[MAX_PATH];
    HMENU menu_;
    RecentFileList list_{};
    std::vector<std::string> files_;
};

}  // namespace

TEST_F(RecentMenu, StartUpRebuildCleansTheListAndChangesDirectory) {
    std::string a = MakeFile("a.mes"), b = MakeFile("b.mes"), gone = dir_ + "\\gone.mes";
    std::string upperA = a;
    CharUpperA(upperA.data());
    const std::string* stored[] = {&gone, &a, &upperA, &b};
    for (int i = 0; i < 4; ++i) std::strcpy(list_[i], stored[i]->c_str());

    RebuildRecentMenu(menu_, list_, true);
    EXPECT_EQ(Tail(), (std::vector<std::string>{"-", "132 " + RecentMenuItemText(1, a),
                                                "133 " + RecentMenuItemText(2, b)}));
    char cur[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cur);
    EXPECT_STRCASEEQ(cur, dir_.c_str());

    // Later rebuilds replace the entries and keep one separator.
    std::strcpy(list_[2], gone.c_str());
    RebuildRecentMenu(menu_, list_, false);
    EXPECT_EQ(Tail().size(), 4u) << "without validation the missing file stays";
    RebuildRecentMenu(menu_, list_, true);
    EXPECT_EQ(Tail().size(), 3u);
}

TEST_F(RecentMenu, OpeningFilesFillsTheMenuOfTheSettingsList) {
    RebuildRecentMenu(menu_, list_, true);
    EXPECT_TRUE(Tail().empty()) << "an empty list adds no separator";

    SetRecentFileMenu(menu_);
    std::memset(Settings().window.recentFiles, 0, sizeof Settings().window.recentFiles);
    std::string c = MakeFile("c.mes"), d = MakeFile("d.mes");
    AddRecentFile(c);
    AddRecentFile(d);
    AddRecentFile(c);
    EXPECT_EQ(Tail(), (std::vector<std::string>{"-", "132 " + RecentMenuItemText(1, c),
                                                "133 " + RecentMenuItemText(2, d)}));
    SetRecentFileMenu(nullptr);
}
