#include "app/win32/recent_menu.h"

namespace srx {

namespace {

HMENU g_fileMenu = nullptr;

bool LastItemIsSeparator(HMENU menu) {
    int count = GetMenuItemCount(menu);
    if (count <= 0) return false;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    return GetMenuItemInfoA(menu, count - 1, TRUE, &info) && (info.fType & MFT_SEPARATOR);
}

}  // namespace

bool RecentFileExists(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

void RebuildRecentMenu(HMENU fileMenu, RecentFileList& list, bool validate) {
    if (validate && list[0][0] != '\0') {
        ValidateRecentFiles(list, RecentFileExists);
        if (list[0][0] != '\0') SetCurrentDirectoryA(RecentFileFolder(list[0]).c_str());
    }
    if (!fileMenu) return;
    for (int i = 0; i < kRecentFileCount; ++i) DeleteMenu(fileMenu, kFirstRecentCommand + i, MF_BYCOMMAND);
    int count = RecentFileCount(list);
    // One separator between the File commands and the list; checked rather
    // than appended blindly so that repeated rebuilds do not stack them.
    if (count > 0 && !LastItemIsSeparator(fileMenu)) AppendMenuA(fileMenu, MF_SEPARATOR, 0, nullptr);
    for (int i = 0; i < count; ++i) {
        std::string text = RecentMenuItemText(i + 1, list[i]);
        AppendMenuA(fileMenu, MF_STRING, kFirstRecentCommand + i, text.c_str());
    }
}

void SetRecentFileMenu(HMENU fileMenu) { g_fileMenu = fileMenu; }

void RebuildRecentMenu(bool validate) { RebuildRecentMenu(g_fileMenu, Settings().window.recentFiles, validate); }

void AddRecentFile(const std::string& path) {
    if (AddRecentFile(Settings().window.recentFiles, path)) RebuildRecentMenu(false);
}

}  // namespace srx
