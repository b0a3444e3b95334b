#include "dsp/compensation_convert.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "dsp/compensation_io.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"

namespace srx {

using namespace compensation_io;

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr float kLowestFrequency = 100.0f;
constexpr float kHighestFrequency = 47850.0f;
// A .MIC file holds 8 bytes per entry; larger files are no calibration.
constexpr long kMaxMicBytes = 8L * (1L << 20);

bool Usable(const CompensationEntry& e) {
    return e.frequency > 0 && std::isfinite(e.frequency) && std::isfinite(e.level) && std::isfinite(e.phase);
}

std::vector<std::string> Split(const std::string& line, const char* separators) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::strchr(separators, line[i])) ++i;
        size_t j = i;
        while (j < line.size() && !std::strchr(separators, line[j])) ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

bool StartsWithDigit(const std::string& line) {
    return !line.empty() && std::isdigit(static_cast<unsigned char>(line[0]));
}

double FieldValue(const std::vector<std::string>& fields, int index) {
    return index >= 0 && size_t(index) < fields.size() ? ParseDecimal(fields[size_t(index)].c_str()) : 0.0;
}

bool Contains(const std::string& token, const char* word) {
    std::string lower = token;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(word) != std::string::npos;
}

// Which fields of a .DAT/.CAL data line hold what.
struct ColumnLayout {
    int frequency = 0;
    int level = 1;
    int phase = 2;  // -1: none
};

// A header that names its columns ("Freq(Hz)  SPL(dB)  Phase(deg)") puts
// the values where it names them; unnamed ones keep the usual places.
ColumnLayout LayoutFromNames(const std::string& header) {
    ColumnLayout layout;
    const std::vector<std::string> names = Split(header, " \t,");
    int level = -1, phase = -1, frequency = -1;
    for (int i = 0; i < int(names.size()); ++i) {
        const std::string& n = names[size_t(i)];
        if (frequency < 0 && (Contains(n, "freq") || Contains(n, "hz")) && !Contains(n, "db")) frequency = i;
        else if (level < 0 && (Contains(n, "db") || Contains(n, "mag") || Contains(n, "spl") || Contains(n, "level") ||
                               Contains(n, "ampl")))
            level = i;
        else if (phase < 0 && (Contains(n, "phase") || Contains(n, "deg"))) phase = i;
    }
    if (level < 0) return layout;  // the names say nothing usable
    layout.frequency = frequency < 0 ? 0 : frequency;
    layout.level = level;
    layout.phase = phase;
    return layout;
}

Status Finish(std::vector<CompensationEntry>& table, CompensationCurve& out) {
    table.erase(std::remove_if(table.begin(), table.end(), [](const CompensationEntry& e) { return !Usable(e); }),
                table.end());
    if (table.empty()) return Status::Error(kStrReadError);
    out.entries = std::move(table);
    return Status::Ok();
}

}  // namespace

Status ReadMdfCalibration(const std::string& path, CompensationCurve& out) {
    std::FILE* f = OpenFile(path, "rb");
    if (!f) return Status::Error(kStrCantOpen);
    FilePtr closer(f);
    LineReader lines(f);
    std::string line;
    if (!lines.Next(line) || !IStartsWith(line, "MDF")) return Status::Error(kStrReadError);
    long capacity = kMaxCalibrationEntries;
    std::vector<CompensationEntry> table;
    while (lines.Next(line)) {
        if (IStartsWith(line, "End")) break;
        if (IStartsWith(line, "Points=")) {
            const long points = std::strtol(line.c_str() + 7, nullptr, 10);
            capacity = std::clamp<long>(points, -1, kMaxCalibrationEntries) + 1;
            continue;
        }
        if (!StartsWithDigit(line)) continue;
        if (long(table.size()) >= capacity) break;
        const std::vector<std::string> fields = Split(line, " \t");
        CompensationEntry e;
        e.frequency = float(FieldValue(fields, 1));
        e.level = float(FieldValue(fields, 2));
        e.phase = float(FieldValue(fields, 3) * kDegreesToRadians);
        table.push_back(e);
    }
    return Finish(table, out);
}

Status ReadDatCalibration(const std::string& path, CompensationCurve& out) {
    std::FILE* f = OpenFile(path, "rb");
    if (!f) return Status::Error(kStrCantOpen);
    FilePtr closer(f);
    LineReader lines(f);
    std::string line;
    ColumnLayout layout;
    std::vector<CompensationEntry> table;
    while (lines.Next(line) && table.size() < size_t(kMaxCalibrationEntries)) {
        if (IStartsWith(line, "ETF microphone cal")) {
            layout = ColumnLayout{0, 1, -1};
            continue;
        }
        if (line[0] == '"') {
            layout = ColumnLayout{};
            continue;
        }
        if (IStartsWith(line, "Freq") || IStartsWith(line, "Hz")) {
            layout = LayoutFromNames(line);
            continue;
        }
        if (!StartsWithDigit(line)) continue;
        const std::vector<std::string> fields = Split(line, " \t,");
        CompensationEntry e;
        e.frequency = float(FieldValue(fields, layout.frequency));
        e.level = float(FieldValue(fields, layout.level));
        e.phase = float(FieldValue(fields, layout.phase) * kDegreesToRadians);
        table.push_back(e);
    }
    return Finish(table, out);
}

Status ReadMicCalibration(const std::string& path, CompensationCurve& out) {
    std::FILE* f = OpenFile(path, "rb");
    if (!f) return Status::Error(kStrCantOpen);
    FilePtr closer(f);
    if (std::fseek(f, 0, SEEK_END) != 0) return Status::Error(kStrReadError);
    const long size = std::ftell(f);
    if (size <= 0 || size % 8 != 0 || size > kMaxMicBytes || std::fseek(f, 0, SEEK_SET) != 0)
        return Status::Error(kStrReadError);
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) return Status::Error(kStrReadError);
    std::vector<CompensationEntry> table(bytes.size() / 8);
    for (size_t i = 0; i < table.size(); ++i) {
        std::memcpy(&table[i].level, &bytes[8 * i], 4);
        std::memcpy(&table[i].frequency, &bytes[8 * i + 4], 4);
    }
    return Finish(table, out);
}

void InsertLowEntry(CompensationCurve& curve) {
    auto first = std::find_if(curve.entries.begin(), curve.entries.end(),
                              [](const CompensationEntry& e) { return e.frequency > 0; });
    if (first == curve.entries.end() || first->frequency <= kLowestFrequency) return;
    CompensationEntry low = *first;
    low.frequency = kLowestFrequency;
    curve.entries.insert(first, low);
}

void CutHighEntries(CompensationCurve& curve) {
    bool cut = false;
    for (CompensationEntry& e : curve.entries) {
        if (cut) {
            e = CompensationEntry{};
        } else if (e.frequency >= kHighestFrequency) {
            e.frequency = kHighestFrequency;
            cut = true;
        }
    }
}

bool IsCalibrationFileName(const std::string& name) {
    for (const char* ext : {".MDF", ".DAT", ".CAL", ".MIC"})
        if (IEndsWith(name, ext) && name.size() > 4) return true;
    return false;
}

Status ConvertCalibrationFile(const std::string& path, CompensationCurve& out) {
    CompensationCurve table;
    Status st;
    bool text = true;
    if (IEndsWith(path, ".MDF")) {
        st = ReadMdfCalibration(path, table);
    } else if (IEndsWith(path, ".DAT") || IEndsWith(path, ".CAL")) {
        st = ReadDatCalibration(path, table);
    } else if (IEndsWith(path, ".MIC")) {
        st = ReadMicCalibration(path, table);
        text = false;
    } else {
        return Status::Error(kStrReadError);
    }
    if (!st.ok()) return st;
    // Files list their rows in any order; the cut, the low entry and the
    // lookup need them strictly rising: of rows at one frequency the first
    // counts.
    SortCompensation(table);
    auto& e = table.entries;
    e.erase(
        std::unique(e.begin(), e.end(),
                    [](const CompensationEntry& a, const CompensationEntry& b) { return a.frequency == b.frequency; }),
        e.end());
    if (text) InsertLowEntry(table);
    CutHighEntries(table);
    ThinCompensation(table);
    if (CompensationEntryCount(table) == 0) return Status::Error(kStrReadError);
    out = std::move(table);
    return Status::Ok();
}

}  // namespace srx
