#include "app/recent_files.h"

#include <cstdio>
#include <cstring>

namespace srx {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// An entry as text, never reading past its 260 bytes.
std::string_view Entry(const char* e) { return {e, strnlen(e, kPathChars)}; }

void Store(char* entry, std::string_view path) {
    std::memset(entry, 0, kPathChars);
    std::memcpy(entry, path.data(), path.size());
}

// Removes entry `i`, moving the ones behind it up and clearing the last.
void RemoveAt(RecentFileList& list, int i) {
    for (int j = i; j < kRecentFileCount - 1; ++j) std::memcpy(list[j], list[j + 1], kPathChars);
    std::memset(list[kRecentFileCount - 1], 0, kPathChars);
}

}  // namespace

bool SamePathIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool AddRecentFile(RecentFileList& list, std::string_view path) {
    if (path.empty() || path.size() >= static_cast<size_t>(kPathChars) || path.find('\0') != std::string_view::npos)
        return false;
    for (int i = 1; i < kRecentFileCount; ++i) {
        if (SamePathIgnoringCase(Entry(list[i]), path)) {
            for (int j = i; j > 0; --j) std::memcpy(list[j], list[j - 1], kPathChars);
            Store(list[0], path);
            return true;
        }
    }
    if (SamePathIgnoringCase(Entry(list[0]), path)) return true;
    for (int j = kRecentFileCount - 1; j > 0; --j) std::memcpy(list[j], list[j - 1], kPathChars);
    Store(list[0], path);
    return true;
}

void ValidateRecentFiles(RecentFileList& list, const std::function<bool(const std::string&)>& fileExists) {
    if (list[0][0] == '\0') return;
    // Eight passes, each dropping the first missing file: enough to empty a full list.
    for (int pass = 0; pass < kRecentFileCount; ++pass) {
        for (int i = 0; i < kRecentFileCount; ++i) {
            if (list[i][0] != '\0' && !fileExists(std::string(Entry(list[i])))) {
                RemoveAt(list, i);
                break;
            }
        }
    }
    for (int i = 0; i < kRecentFileCount; ++i) {
        if (list[i][0] == '\0') continue;
        for (int j = i + 1; j < kRecentFileCount;) {
            if (list[j][0] != '\0' && SamePathIgnoringCase(Entry(list[i]), Entry(list[j])))
                RemoveAt(list, j);  // the next entry now sits at j
            else ++j;
        }
    }
}

int RecentFileCount(const RecentFileList& list) {
    int n = 0;
    while (n < kRecentFileCount && list[n][0] != '\0') ++n;
    return n;
}

std::string RecentFileDisplayName(std::string_view path) {
    size_t first = path.find('\\');
    size_t last = path.rfind('\\');
    if (first == std::string_view::npos || first == last) return std::string(path);
    std::string out(path.substr(0, first));
    out += "\\...";
    out += path.substr(last);
    return out;
}

std::string RecentMenuItemText(int number, std::string_view path) {
    std::string shown;
    for (char c : RecentFileDisplayName(path)) {
        if (c == '&') shown += '&';
        shown += c;
    }
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "&%d ", number);
    return prefix + shown;
}

std::string RecentFileFolder(std::string_view path) {
    size_t last = path.rfind('\\');
    if (last == std::string_view::npos) return {};
    // Keep the backslash of a drive root: "D:" alone means the drive's current folder.
    if (last == 2 && path[1] == ':') return std::string(path.substr(0, 3));
    if (last == 0) return "\\";
    return std::string(path.substr(0, last));
}

}  // namespace srx
