// Settings through the real registry and the recent-file entries of a real
// menu. A scratch key keeps the program's own key untouched.

#include <cstring>

#include "app/win32/recent_menu.h"
#include "tests/native/test_support.h"
#include "wine_test_util.h"

using namespace srx;
using srx::test::Bytes;

namespace {

const char kTestKey[] = "Software\\Brannvik Acoustic Tools\\Son Rix Settings Test";

void PutValue(const char* name, const void* data, DWORD size, DWORD type = REG_BINARY) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(k);
}

// Size of a stored value, 0 when it (or the key) is missing; binary type required.
DWORD BinarySize(const char* name) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return 0;
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_BINARY) size = 0;
    RegCloseKey(k);
    return size;
}

class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
};

}  // namespace

TEST_F(SettingsRegistry, SavedBlocksComeBackByteForByte) {
    LoadSettings(kTestKey);
    SettingsBlocks& s = Settings();
    s.window.frameWidth = 300;
    std::strcpy(s.window.recentFiles[0], "C:\\x\\y.mes");
    s.program.body[1000] = 0x99;
    s.xover.zoomFactor = 3.0;
    SettingsBlocks saved = s;
    SaveSettings(kTestKey);

    std::memset(&s.window, 0, sizeof s.window);
    std::memset(&s.program, 0, sizeof s.program);
    std::memset(&s.xover, 0, sizeof s.xover);
    LoadSettings(kTestKey);
    EXPECT_EQ(Bytes(s.window), Bytes(saved.window));
    EXPECT_EQ(Bytes(s.program), Bytes(saved.program));
    EXPECT_EQ(Bytes(s.xover), Bytes(saved.xover));
}

// The right size in another type is not a settings block.
TEST_F(SettingsRegistry, ValuesOfAnotherTypeAreIgnored) {
    SettingsBlocks defaults;
    LoadDefaults(defaults, SystemDesktopArea());
    XoverConfig x = defaults.xover;
    x.crossoverViewFlags = 0x401;
    PutValue(kXoverConfigValue, &x, sizeof x, REG_NONE);
    LoadSettings(kTestKey);
    EXPECT_EQ(Bytes(Settings().xover), Bytes(defaults.xover));
    PutValue(kXoverConfigValue, &x, sizeof x);
    LoadSettings(kTestKey);
    EXPECT_EQ(Settings().xover.crossoverViewFlags, 0x401u);
}

namespace {

class RecentMenu : public ::testing::Test {
protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, oldDir_);
        menu_ = CreatePopupMenu();
        AppendMenuA(menu_, MF_STRING, 100, "&Open...");
        AppendMenuA(menu_, MF_STRING, 107, "E&xit");
    }
    void TearDown() override {
        DestroyMenu(menu_);
        SetCurrentDirectoryA(oldDir_);  // the folder must not be in use when it goes
    }
    std::string MakeFile(const char* name) {
        const std::string path = dir_ / name;
        CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        return path;
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
    testutil::TempDir dir_{"srx recent menu"};
    char oldDir_[MAX_PATH];
    HMENU menu_;
    RecentFileList list_{};
};

}  // namespace

// Which entries survive is the native tests' concern; here the menu items,
// a path that differs only in case, the working folder and the menu of the
// settings list following AddRecentFile.
TEST_F(RecentMenu, RebuildsFillTheMenuAndStartUpChangesDirectory) {
    RebuildRecentMenu(menu_, list_, true);
    EXPECT_TRUE(Tail().empty()) << "an empty list adds no separator";
    std::string a = MakeFile("a.mes"), b = MakeFile("b.mes"), gone = dir_ / "gone.mes";
    std::string upperA = a;
    CharUpperA(upperA.data());
    const std::string* stored[] = {&gone, &a, &upperA, &b};
    for (int i = 0; i < 4; ++i) std::strcpy(list_[i], stored[i]->c_str());

    RebuildRecentMenu(menu_, list_, true);
    EXPECT_EQ(Tail(),
              (std::vector<std::string>{"-", "132 " + RecentMenuItemText(1, a), "133 " + RecentMenuItemText(2, b)}));
    char cur[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cur);
    EXPECT_STRCASEEQ(cur, dir_.path().string().c_str());

    // Later rebuilds replace the entries and keep one separator.
    std::strcpy(list_[2], gone.c_str());
    RebuildRecentMenu(menu_, list_, false);
    EXPECT_EQ(Tail().size(), 4u) << "without validation the missing file stays";
    RebuildRecentMenu(menu_, list_, true);
    EXPECT_EQ(Tail().size(), 3u);

    SetRecentFileMenu(menu_);
    std::memset(Settings().window.recentFiles, 0, sizeof Settings().window.recentFiles);
    std::string c = MakeFile("c.mes"), d = MakeFile("d.mes");
    AddRecentFile(c);
    AddRecentFile(d);
    AddRecentFile(c);
    EXPECT_EQ(Tail(),
              (std::vector<std::string>{"-", "132 " + RecentMenuItemText(1, c), "133 " + RecentMenuItemText(2, d)}));
    SetRecentFileMenu(nullptr);
}
