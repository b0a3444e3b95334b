#pragma once
// The recent-file entries at the end of the File menu (commands 132..139).
#include <windows.h>

#include <string>

#include "app/recent_files.h"

namespace srx {

// True when `path` names an existing file (not a folder).
bool RecentFileExists(const std::string& path);

// Rebuilds the recent entries of `fileMenu` from `list`. With `validate`
// (start-up, menu-mode switch) the list is cleaned first and, when it is not
// empty, the folder of its newest entry becomes the current directory.
void RebuildRecentMenu(HMENU fileMenu, RecentFileList& list, bool validate);

// The same on the settings' list and the File menu given to SetRecentFileMenu.
void SetRecentFileMenu(HMENU fileMenu);
void RebuildRecentMenu(bool validate);

// Called after every successful open or save of a document: the path goes
// to the top of the settings' list and the menu is rebuilt.
void AddRecentFile(const std::string& path);

}  // namespace srx
