#include "design/alignment_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "dsp/numeric.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr size_t kMaxLine = 512;         // longer lines are no table rows
constexpr size_t kMaxTitle = 79;
constexpr double kMaxQl = 1e6;           // keeps "QL=%.0f" short
constexpr double kExactQts = 0.0002;

bool Blank(char c) { return c == ' ' || c == '\t'; }

// The keyword at the start of `line` (any case), followed by blanks, tabs
// or '=' (or nothing); `rest` gets what follows them.
bool Keyword(std::string_view line, std::string_view word, std::string_view& rest) {
    if (line.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(word[i])))
            return false;
    rest = line.substr(word.size());
    if (!rest.empty() && !Blank(rest[0]) && rest[0] != '=') return false;
    while (!rest.empty() && (Blank(rest[0]) || rest[0] == '=')) rest.remove_prefix(1);
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    std::string_view rest;
    if (text.size() < prefix.size()) return false;
    return Keyword(text.substr(0, prefix.size()), prefix, rest);
}

// A whole token as a finite number.
bool Number(std::string_view token, double& v) {
    if (token.empty()) return false;
    const auto r = std::from_chars(token.data(), token.data() + token.size(), v);
    return r.ec == std::errc() && r.ptr == token.data() + token.size() && std::isfinite(v);
}

// The first three numbers of a data line, all above zero.
bool DataLine(std::string_view line, double out[3]) {
    int got = 0;
    while (got < 3) {
        while (!line.empty() && (Blank(line[0]) || line[0] == ',')) line.remove_prefix(1);
        size_t end = 0;
        while (end < line.size() && !Blank(line[end]) && line[end] != ',') ++end;
        if (!Number(line.substr(0, end), out[got]) || !(out[got] > 0)) return false;
        line.remove_prefix(end);
        ++got;
    }
    return true;
}

// Reads one line into `line` (without CR/LF); `tooLong` when it did not fit.
// False at the end of the file.
bool ReadLine(std::FILE* f, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    int c = std::fgetc(f);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::fgetc(f)) {
        if (line.size() < kMaxLine)
            line.push_back(char(c));
        else
            tooLong = true;
    }
    return true;
}

struct Block {
    bool open = false;  // a valid QL line was read
    bool done = false;  // the block gave its entry (or cannot)
    bool havePrevious = false;
    double ql = 0, previous[3] = {};
};

}  // namespace

Status ReadAlignmentFile(const std::string& path, double qts, std::vector<VentedAlignment>& list) {
    FilePtr f = OpenForReading(path);
    if (!f) return Status::Error(kStrCantOpen);
    if (!std::isfinite(qts) || !(qts > 0)) return Status::Ok();
    std::string title, raw;
    Block block;
    bool tooLong = false;
    while (list.size() < kMaxVentedAlignments && ReadLine(f.get(), raw, tooLong)) {
        if (tooLong) continue;
        std::string_view line(raw);
        if (const size_t cr = line.find('\r'); cr != std::string_view::npos) line = line.substr(0, cr);
        while (!line.empty() && (Blank(line.back()) || line.back() == ';')) line.remove_suffix(1);
        while (!line.empty() && Blank(line.front())) line.remove_prefix(1);
        if (line.empty() || line.front() == ';') continue;

        std::string_view rest;
        if (Keyword(line, "Title", rest)) {
            title.assign(rest.substr(0, kMaxTitle));
        } else if (Keyword(line, "Type", rest)) {
            if (!StartsWithNoCase(rest, "Vented")) break;
        } else if (Keyword(line, "QL", rest)) {
            block = Block{};
            double ql = 0;
            block.open = Number(rest, ql) && ql > 0 && ql <= kMaxQl;
            block.ql = ql;
        } else {
            double row[3];
            if (!block.open || block.done || !DataLine(line, row)) continue;
            if (block.havePrevious && !(row[0] > block.previous[0])) continue;
            if (row[0] < qts) {
                std::copy(row, row + 3, block.previous);
                block.havePrevious = true;
                continue;
            }
            block.done = true;
            VentedAlignment a;
            if (std::fabs(row[0] - qts) <= kExactQts) {
                a.alpha = row[1], a.h = row[2];
            } else if (block.havePrevious) {
                const double* p = block.previous;
                a.alpha = InterpolateLinear(qts, p[0], p[1], row[0], row[1]);
                a.h = InterpolateLinear(qts, p[0], p[2], row[0], row[2]);
            } else {
                continue;
            }
            char name[160];
            std::snprintf(name, sizeof name, "%s  QL=%.0f", title.c_str(), block.ql);
            a.name = name;
            a.ql = block.ql;
            list.push_back(std::move(a));
        }
    }
    return Status::Ok();
}

std::vector<std::string> AlignmentFiles(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::string>> found;  // name, path
    std::error_code ec;
    fs::directory_iterator it(HostPath(folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 4 || !StartsWithNoCase(std::string_view(name).substr(name.size() - 4), ".ALN")) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        found.emplace_back(name, it->path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& [name, path] : found) paths.push_back(std::move(path));
    return paths;
}

std::vector<VentedAlignment> VentedAlignmentsFor(const std::string& folder, double qts) {
    std::vector<VentedAlignment> list;
    for (const std::string& path : AlignmentFiles(folder)) ReadAlignmentFile(path, qts, list);
    return list;
}

}  // namespace srx
