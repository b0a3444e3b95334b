#pragma once
// The list of recently opened files kept in the window-and-history block:
// eight paths, newest first, an empty entry ends the list.
#include <functional>
#include <string>
#include <string_view>

#include "app/settings.h"

namespace srx {

using RecentFileList = char[kRecentFileCount][kPathChars];

constexpr int kFirstRecentCommand = 132;  // commands 132..139, also their help strings

// Puts `path` at the top: an entry equal to it (ignoring case) moves up,
// otherwise all entries move down and the oldest is lost. A path that does
// not fit an entry is not stored, since a cut path would name another file.
// False when the path was refused.
bool AddRecentFile(RecentFileList& list, std::string_view path);

// The start-up clean-up: drops entries whose file does not exist (at most
// eight), then later duplicates of an entry (ignoring case).
void ValidateRecentFiles(RecentFileList& list, const std::function<bool(const std::string&)>& fileExists);

// Number of entries before the first empty one.
int RecentFileCount(const RecentFileList& list);

// "D:\a\b\c.mes" shows as "D:\...\c.mes"; paths with fewer than two "\" as they are.
std::string RecentFileDisplayName(std::string_view path);

// The menu text of entry `number` (1..8): "&%d %s" with the display name,
// its ampersands doubled so that they are not taken as mnemonics.
std::string RecentMenuItemText(int number, std::string_view path);

// The folder of `path` ("D:\a" for "D:\a\c.mes", "D:\" for "D:\c.mes");
// empty when the path names no folder.
std::string RecentFileFolder(std::string_view path);

// Compares paths the way the file system does for ASCII names.
bool SamePathIgnoringCase(std::string_view a, std::string_view b);

}  // namespace srx
