// The compensation file format: reading, writing and the export of the
// table as microphone-correction text.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dsp/compensation.h"
#include "dsp/compensation_io.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"

namespace srx {

using namespace compensation_io;

namespace {

constexpr int kBadCount = 2357;

constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr double kRadiansToDegrees = 57.29577951308232;

// A count no compensation table comes near; larger ones are taken as a
// broken file rather than allocated.
constexpr long kMaxEntries = 1L << 20;

struct AcceptedHeader {
    const char* text;
    bool degrees;
};
constexpr AcceptedHeader kHeaders[] = {
    {"Son-Rix:Compensation File v1.10", true},  {"Son-Rix:Compensation File v1.00", true},
    {"Son-Rix:Compensation File v0.10", true},  {"Son-Rix:Compensation File v0.11", false},
    {"Son-Rix:Compensation File v0.12", false},
};

bool IsEntry(const CompensationEntry& e) { return e.frequency > 0; }

// Splits at blanks and tabs.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// Field `i` of an entry line times `scale` (a missing field is 0). False for
// a number, as written, that is not finite or that no float holds.
bool FloatField(const std::vector<std::string>& fields, size_t i, double scale, float& out) {
    const double v = i < fields.size() ? ParseDecimal(fields[i].c_str()) : 0.0;
    if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
    out = float(v * scale);
    return true;
}

// The lookup walks rising frequencies, so the first `read` entries are put
// in order; of equal frequencies the first in the file holds. Dropped
// entries leave empty ones at the end, like those the file did not reach.
void OrderEntries(std::vector<CompensationEntry>& table, size_t read) {
    const auto end = table.begin() + std::ptrdiff_t(read);
    std::stable_sort(table.begin(), end,
                     [](const CompensationEntry& a, const CompensationEntry& b) { return a.frequency < b.frequency; });
    const auto kept = std::unique(table.begin(), end, [](const CompensationEntry& a, const CompensationEntry& b) {
        return a.frequency == b.frequency;
    });
    std::fill(kept, end, CompensationEntry{});
}

}  // namespace

// ---- Files ---------------------------------------------------------------

Status LoadCompensation(const std::string& path, CompensationCurve& curve, bool allocate, CompensationFileInfo* info) {
    std::FILE* f = OpenFile(path, "rb");
    if (!f) return Status::Error(kStrCantOpen);
    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{f};
    LineReader lines(f);
    // An entry line takes two bytes at least: what the file can hold bounds
    // the table, whatever its count line announces.
    const long fileEntries = long(std::min<int64_t>(FileLength(f) / 2, kMaxEntries));
    long limit = 0;  // entries the table holds
    CompensationFileInfo about;
    long read = 0;
    auto finish = [&](std::vector<CompensationEntry>& t) {
        OrderEntries(t, size_t(read));
        if (info) *info = about;
        if (allocate && long(t.size()) < std::min(limit, fileEntries)) t.resize(size_t(std::min(limit, fileEntries)));
    };

    enum { kHeader, kName, kCount, kBegin, kEntries } state = kHeader;
    bool degrees = true;
    std::vector<CompensationEntry> table;
    std::string line;
    while (lines.Next(line)) {
        switch (state) {
            case kHeader: {
                const AcceptedHeader* h = std::find_if(std::begin(kHeaders), std::end(kHeaders),
                                                       [&](const AcceptedHeader& a) { return line == a.text; });
                if (h == std::end(kHeaders)) return Status::Error(kStrWrongVersion);
                degrees = h->degrees;
                about.header = line;
                about.degrees = degrees;
                state = kName;
                break;
            }
            case kName:
                about.name = line;
                state = kCount;
                break;
            case kCount: {
                const long count = std::strtol(line.c_str(), nullptr, 10);
                if (count < 1) return Status::Error(kBadCount);
                if (allocate) {
                    if (count > kMaxEntries) return Status::Error(kStrOutOfMemory);
                    limit = count;
                } else {
                    limit = std::min<long>(count, curve.Count());
                }
                // A fixed table is the caller's own size; a new one grows with
                // the lines the file really holds, not with what it announces.
                try {
                    if (!allocate) table.assign(size_t(limit), CompensationEntry{});
                } catch (const std::bad_alloc&) {
                    return Status::Error(kStrOutOfMemory);
                }
                state = kBegin;
                break;
            }
            case kBegin:
                if (line != "BEGIN.") return Status::Error(kStrReadError);
                state = kEntries;
                break;
            case kEntries: {
                if (line == "END.") {
                    finish(table);
                    curve.entries = std::move(table);
                    return Status::Ok();
                }
                if (read >= limit) return Status::Error(kStrTooManyEntries);
                const std::vector<std::string> fields = Fields(line);
                CompensationEntry e;
                // Frequency 0 marks an empty entry; a file that writes one (or
                // less) means something else.
                if (!FloatField(fields, 0, 1.0, e.frequency) || !(e.frequency > 0) ||
                    !FloatField(fields, 1, 1.0, e.level) ||
                    !FloatField(fields, 2, degrees ? kDegreesToRadians : 1.0, e.phase))
                    return Status::Error(kStrReadError);
                try {
                    if (allocate) table.push_back(e);
                    else table[size_t(read)] = e;
                } catch (const std::bad_alloc&) {
                    return Status::Error(kStrOutOfMemory);
                }
                ++read;
                break;
            }
        }
    }
    // The end of the file before "END." is no error once the entries began.
    if (state != kEntries) {
        if (state == kHeader) return Status::Error(kStrWrongVersion);
        if (state == kCount) return Status::Error(kBadCount);
        return Status::Error(kStrReadError);
    }
    finish(table);
    curve.entries = std::move(table);
    return Status::Ok();
}

int CompensationEntryCount(const CompensationCurve& curve) {
    return int(std::count_if(curve.entries.begin(), curve.entries.end(), IsEntry));
}

bool SaveCompensation(const std::string& path, const CompensationCurve& curve, Status* error) {
    if (error) *error = Status::Ok();
    const int count = CompensationEntryCount(curve);
    if (count == 0) return false;
    std::string out;
    out += kCompensationHeader;
    out += "\r\n";
    out += CompensationFileTitle(path) + "\r\n";
    out += Format("%d\r\n", count);
    out += "BEGIN.\r\n";
    for (const CompensationEntry& e : curve.entries) {
        if (!IsEntry(e)) continue;
        out += Format("%.4lf % .4lf % .4lf\r\n", double(e.frequency), double(e.level),
                      double(e.phase) * kRadiansToDegrees);
    }
    out += "END.\r\n";
    if (!WriteFileSafely(path, out)) {
        if (error) *error = Status::Error(kStrCantSave);
        return false;
    }
    return true;
}

bool ExportMicCorrection(const std::string& path, const CompensationCurve& curve, Status* error) {
    if (error) *error = Status::Ok();
    if (CompensationEntryCount(curve) == 0) return false;
    std::string out = "\" Mic correction data: Ref Sensitivity = 5.00 MV/PA \"\r\n";
    for (const CompensationEntry& e : curve.entries) {
        if (!IsEntry(e)) continue;
        out += Format("%.4lf  %.4lf  %.4lf\r\n", double(e.frequency), double(e.level),
                      double(e.phase) * kRadiansToDegrees);
    }
    if (!WriteFileSafely(path, out)) {
        if (error) *error = Status::Error(kStrCantSave);
        return false;
    }
    return true;
}

std::string CompensationFileTitle(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CompensationBaseName(const std::string& path) {
    std::string title = CompensationFileTitle(path);
    const size_t dot = title.rfind('.');
    if (dot != std::string::npos) title.resize(dot);
    return title;
}

}  // namespace srx
