// sonrix-cli compensation FILE: the table of a compensation file (".MCP",
// ".2CP", a sound-card ".scc") or of a microphone calibration that the
// program would convert (".MDF", ".DAT", ".CAL", ".MIC"), as one JSON
// object, read with the program's own readers. A file that cannot be read
// is reported on stderr with the program's message; the exit code is 1.
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "dsp/compensation.h"
#include "dsp/compensation_convert.h"
#include "dsp/compensation_io.h"

namespace srx::cli {

namespace {

constexpr double kRadiansToDegrees = 57.29577951308232;

// To the four decimals of the compensation file, so that a float prints as
// the number the file holds rather than its binary neighbour.
double Rounded(double v) { return std::fabs(v) < 1e12 ? std::round(v * 1e4) / 1e4 : v; }

const char* KindOf(const std::string& path) {
    using compensation_io::IEndsWith;
    if (IEndsWith(path, kMicrophoneExtension) || IsCalibrationFileName(path)) return "microphone";
    if (IEndsWith(path, kSecondaryExtension)) return "secondary";
    if (IEndsWith(path, ".scc")) return "soundcard";
    return nullptr;
}

std::string FormatOf(const std::string& path) {
    if (!IsCalibrationFileName(path)) return "compensation";
    std::string ext = path.substr(path.size() - 3);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "cal" ? "dat" : ext;
}

}  // namespace

int RunCompensation(const std::string& path) {
    CompensationCurve curve;
    CompensationFileInfo about;
    const bool converted = IsCalibrationFileName(path);
    const Status s = converted ? ConvertCalibrationFile(path, curve) : LoadCompensation(path, curve, true, &about);
    if (!s) return Fail(s, path);

    // ".MIC" records carry no phase.
    const bool phases = FormatOf(path) != "mic";
    Json object{{"file", path}, {"format", FormatOf(path)}};
    if (const char* kind = KindOf(path)) object["kind"] = kind;
    if (!converted) {
        object["header"] = FileText(about.header);
        object["name"] = FileText(about.name);
    }
    const CompensationRange range = CompensationCoverage(curve);
    object["entries"] = CompensationEntryCount(curve);
    object["firstFrequency"] = Rounded(range.first);
    object["lastFrequency"] = Rounded(range.last);
    object["columns"] = phases ? std::vector<std::string>{"Hz", "dB", "degrees"} : std::vector<std::string>{"Hz", "dB"};
    Json table = Json::array();
    for (const CompensationEntry& e : curve.entries) {
        if (!(e.frequency > 0)) continue;
        Json row{Rounded(e.frequency), Rounded(e.level)};
        if (phases) row.push_back(Rounded(double(e.phase) * kRadiansToDegrees));
        table.push_back(std::move(row));
    }
    object["table"] = std::move(table);
    Print(object);
    return 0;
}

}  // namespace srx::cli
