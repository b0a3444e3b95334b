#include "app/frame_title.h"

#include <cstdio>

namespace srx {

std::string FrameTitleFromText(const std::string& text) {
    std::string line = text.substr(0, 79);
    size_t eol = line.find_first_of("\r\n");
    if (eol != std::string::npos) line.resize(eol);
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    size_t last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1);
}

std::string ChooseFrameTitle(const std::string& path, const std::string& fallback) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fallback;
    char buf[80];
    size_t n = std::fread(buf, 1, 79, f);
    std::fclose(f);
    std::string title = FrameTitleFromText(std::string(buf, n));
    return title.empty() ? fallback : title;
}

}  // namespace srx
