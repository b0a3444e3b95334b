#include "app/documents_model.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

bool SameTitle(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Numbered(const std::string& title, int number) { return title + " : " + std::to_string(number); }

}  // namespace

std::string FileTitle(const std::string& path) {
    // Forward slashes are folder separators to Windows as well.
    const std::size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string UniqueTitle(const std::string& title, const std::vector<std::string>& others) {
    // Passes over all other windows until one finds no clash: a window that
    // took "T : 2" earlier must push a later copy on to "T : 3".
    int n = 0;
    std::string proposed = title;
    for (bool clash = true; clash;) {
        clash = false;
        for (const std::string& other : others) {
            if (SameTitle(other, proposed)) {
                ++n;
                proposed = Numbered(title, n + 1);
                clash = true;
            }
        }
    }
    return n > 0 ? Numbered(title, n + 1) : title;
}

std::string NoNameTitle(int activeDesign) {
    char text[300];
    std::snprintf(text, sizeof text, "%s.%03d", StringText(kStrNoName), activeDesign);
    return text;
}

std::string StringList(int id) {
    const char* text = StringText(id);
    if (!*text) return {};
    // The generated table keeps each literal whole, embedded NULs included,
    // so the parts run on to the double NUL.
    const char* p = text;
    while (p[0] || p[1]) ++p;
    return std::string(text, static_cast<std::size_t>(p - text) + 2);
}

}  // namespace srx
