#include "app/command_line.h"

namespace srx {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<std::string> ParseCommandLine(std::string_view line) {
    std::vector<std::string> names;
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n && names.size() < kMaxCommandLineNames) {
        while (i < n && IsBlank(line[i])) ++i;
        if (i >= n) break;
        std::size_t begin, end;
        bool option = line[i] == '-' || line[i] == '/';
        if (line[i] == '"') {
            begin = i + 1;
            end = line.find('"', begin);
            if (end == std::string_view::npos) end = n;
            i = end < n ? end + 1 : n;
        } else {
            begin = i;
            end = line.find(' ', begin);
            if (end == std::string_view::npos) end = n;
            i = end;
        }
        if (option || end == begin) continue;
        std::size_t length = end - begin;
        if (length > kMaxCommandLineNameChars) length = kMaxCommandLineNameChars;
        names.emplace_back(line.substr(begin, length));
    }
    return names;
}

std::size_t CountNonBlank(std::string_view line) {
    std::size_t count = 0;
    for (char c : line)
        if (!IsBlank(c)) ++count;
    return count;
}

std::string HandOverListPath(std::string_view tempFolder) {
    std::string path(tempFolder);
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path + "\\_67_SonRix2openfiles.[@]";
}

std::string HandOverListText(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += name;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> ParseHandOverList(std::string_view text) {
    std::vector<std::string> names;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) end = text.size();
        std::size_t length = end - i;
        if (length > 0 && length <= kMaxListedNameChars) names.emplace_back(text.substr(i, length));
        i = end + 1;
    }
    return names;
}

}  // namespace srx
