#include "dsp/compensation_io.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace srx::compensation_io {

namespace {

constexpr int kLineBuffer = 260;  // 259 characters and the terminator

int Lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
    if (path.empty()) return nullptr;
    return std::fopen(HostPath(path).c_str(), mode);
}

bool LineReader::NextRaw(std::string& line) {
    char buf[kLineBuffer];
    if (!f_ || !std::fgets(buf, sizeof buf, f_)) return false;
    // A NUL in the text ends the piece, as it did for the C string it was.
    size_t n = std::strlen(buf);
    size_t cut = std::strcspn(buf, "\r\n");
    if (cut < n) n = cut;
    size_t start = 0;
    while (start < n && (buf[start] == ' ' || buf[start] == '\t')) ++start;
    line.assign(buf + start, n - start);
    return true;
}

bool LineReader::Next(std::string& line) {
    while (NextRaw(line)) {
        if (line.empty() || line[0] == ';' || line[0] == '/') continue;
        return true;
    }
    return false;
}

std::string TextField(const char* field, size_t size) {
    return std::string(field, std::find(field, field + size, '\0'));
}

void StoreTextField(char* field, size_t size, const std::string& text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

bool IEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IStartsWith(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    return true;
}

bool IEndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    return IEquals(text.substr(text.size() - n), suffix);
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string s;
    if (n > 0) {
        s.resize(size_t(n) + 1);
        std::vsnprintf(s.data(), s.size(), format, args);
        s.resize(size_t(n));
    }
    va_end(args);
    return s;
}

}  // namespace srx::compensation_io
