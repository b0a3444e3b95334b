#include "measure/stimulus_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file_io.h"
#include "platform/program_path.h"

namespace srx {

const char kWaveMls[] = "MLS";
const char kWaveImpulse[] = "Impulse";
const char kWaveSinSweep[] = "SinSweep";
const char kWaveSweep[] = "Sweep";
const char kWaveImpedance[] = "Z";
const char kWaveCyclicMls[] = "CMLS";
const char kWaveQcMls[] = "QCMLS";
const char kWaveCalSpl[] = "CalSPL";
const char kWaveCalImp[] = "CalImp";
const char kWaveInit[] = "Init";
const char kWaveLcr[] = "LCR";

namespace {

constexpr char kWaveFolderName[] = "MesWaves";
constexpr char kCompensationFolderName[] = "SoundCard";

std::filesystem::path HostFsPath(const std::string& path) { return std::filesystem::path(HostPath(path)); }

class HostFs final : public WaveFolderFs {
public:
    bool IsDirectory(const std::string& path) override {
        std::error_code ec;
        return std::filesystem::is_directory(HostFsPath(path), ec);
    }
    bool MakeDirectory(const std::string& path) override {
        std::error_code ec;
        std::filesystem::create_directory(HostFsPath(path), ec);
        return !ec && IsDirectory(path);
    }
    bool FileExists(const std::string& path) override {
        std::error_code ec;
        return std::filesystem::is_regular_file(HostFsPath(path), ec);
    }
    std::vector<std::string> FileNames(const std::string& folder) override {
        std::vector<std::string> names;
        std::error_code ec;
        std::filesystem::directory_iterator it(HostFsPath(folder), ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            std::error_code ec2;
            if (it->is_regular_file(ec2)) names.push_back(it->path().filename().string());
        }
        return names;
    }
    bool RemoveFile(const std::string& path) override {
        std::error_code ec;
        return std::filesystem::remove(HostFsPath(path), ec);
    }
};

std::string& ProgramFolderSetting() {
    static std::string folder;
    return folder;
}

bool IEquals(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Windows' "<prefix>*.wav" without regard to case.
bool MatchesWavePattern(const std::string& name, char prefix) {
    const std::string ext = ".wav";
    if (name.size() < ext.size() + (prefix ? 1 : 0)) return false;
    if (prefix && !IEquals(name[0], prefix)) return false;
    for (size_t i = 0; i < ext.size(); ++i)
        if (!IEquals(name[name.size() - ext.size() + i], ext[i])) return false;
    return true;
}

std::string Format(const char* fmt, auto... args) {
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    if (n <= 0) return {};
    std::string s(size_t(n) + 1, '\0');
    std::snprintf(s.data(), s.size(), fmt, args...);
    s.resize(size_t(n));
    return s;
}

const char* InputSourceName(uint32_t source) {
    switch (source) {
        case kInputMic: return "Mic";
        case kInputAux: return "Aux";
        // The single recording line of a mixer without the three is named
        // as a line input: the device words already tell the cards apart.
        default: return "Line";
    }
}

}  // namespace

WaveFolderFs& HostFileSystem() {
    static HostFs fs;
    return fs;
}

void SetMeasureProgramFolder(const std::string& folder) { ProgramFolderSetting() = folder; }
const std::string& MeasureProgramFolder() { return ProgramFolderSetting(); }

std::string InProgramFolder(const std::string& programFolder, const char* name) {
    return JoinProgramPath(programFolder, name);
}

std::string ResolveStimulusFolder(const std::string& setting, const std::string& programFolder, WaveFolderFs& fs) {
    const std::string fallback = InProgramFolder(programFolder, kWaveFolderName);
    if (setting.size() == 2) {
        const std::string onDrive = setting + "\\" + kWaveFolderName;
        if (fs.IsDirectory(onDrive) || fs.MakeDirectory(onDrive)) return onDrive;
        return fallback;
    }
    if (!setting.empty() && fs.IsDirectory(setting)) return setting;
    return fallback;
}

std::string StimulusFolder(WaveFolderFs& fs) {
    const auto& stored = Settings().window.stimulusFolder;
    // The stored text comes from the registry: never read past its field.
    const std::string setting(stored, std::find(std::begin(stored), std::end(stored), '\0'));
    return ResolveStimulusFolder(setting, MeasureProgramFolder(), fs);
}

bool EnsureStimulusFolder(WaveFolderFs& fs) {
    const std::string folder = StimulusFolder(fs);
    return fs.IsDirectory(folder) || fs.MakeDirectory(folder);
}

int ClearWaveFilesIn(const std::string& folder, int kind, WaveFolderFs& fs) {
    if (!fs.IsDirectory(folder)) return 0;
    const char prefix = kind == kClearResponses ? 'r' : kind == kClearStimuli ? 'p' : '\0';
    int removed = 0;
    for (const std::string& name : fs.FileNames(folder)) {
        if (MatchesWavePattern(name, prefix) && fs.RemoveFile(folder + "\\" + name)) ++removed;
    }
    return removed;
}

int ClearWaveFiles(int kind, WaveFolderFs& fs) { return ClearWaveFilesIn(StimulusFolder(fs), kind, fs); }

std::string StimulusPath(const std::string& folder, const char* base) { return folder + "\\p" + base + ".wav"; }

std::string ResponsePath(const std::string& folder, const char* base, int pass) {
    return Format("%s\\r%s%d.wav", folder.c_str(), base, pass);
}

std::string ResponsePath(const std::string& folder, const char* base) { return folder + "\\r" + base + ".wav"; }

std::string SweepWavePath(const std::string& folder, char prefix, int sampleRate, int channels, int bits,
                          double timePerOctave) {
    std::string time = "Sweep";
    if (timePerOctave != 0.0) {
        time = Format("%.2f", timePerOctave);
        // Whatever the locale prints as the separator, the name uses '_'.
        for (char& c : time)
            if (c == '.' || c == ',') c = '_';
    }
    return Format("%s\\%c%d%c%db%s.wav", folder.c_str(), prefix, sampleRate / 1000, channels == 2 ? 's' : 'm', bits,
                  time.c_str());
}

int CompensationWindowClass(const MeasurementSettings& ms, CompensationStimulus kind) {
    double window = ms.timeWindow;
    if (ms.flags & kMsfNearField) {
        if (kind == CompensationStimulus::Mls) window = ms.mlsWindow;
        if (kind == CompensationStimulus::Spike) window = ms.spikeWindow;
    }
    return window <= 0.005 ? 5 : 10;
}

std::string CompensationFilePath(const MeasurementSettings& ms, const std::string& folder, CompensationStimulus kind,
                                 bool preEmphasis, int mlsOrder) {
    const int windowClass = CompensationWindowClass(ms, kind);
    const int windowStart = int(ms.fftWindowStart);
    std::string tag;
    switch (kind) {
        case CompensationStimulus::Mls:
            tag = Format(preEmphasis ? "MLS-PE %d %d %d" : "MLS %d %d %d", mlsOrder, windowStart, windowClass);
            break;
        case CompensationStimulus::Sweep: tag = Format("Sw %g", ms.sweepTimePerOctave); break;
        case CompensationStimulus::Spike: tag = Format("TP%d %d", windowStart, windowClass); break;
        case CompensationStimulus::GatedSine: tag = Format("TW%d", windowClass); break;
    }
    return Format("%s\\SC2-%s(%d.%d) %ld-%d %s.scc", folder.c_str(), InputSourceName(ms.inputSource),
                  int(ms.inputDevice), int(ms.outputDevice), long(ms.sampleRate / 1000), int(ms.bitsPerSample),
                  tag.c_str());
}

std::string CompensationFolder(const std::string& programFolder) {
    return InProgramFolder(programFolder, kCompensationFolderName);
}

bool CompensationFileName(const MeasurementSettings& ms, const std::string& programFolder, std::string* out,
                          CompensationStimulus kind, bool preEmphasis, int mlsOrder, WaveFolderFs& fs) {
    const std::string folder = CompensationFolder(programFolder);
    if (out) {
        if (!fs.IsDirectory(folder)) fs.MakeDirectory(folder);
        *out = CompensationFilePath(ms, folder, kind, preEmphasis, mlsOrder);
        return true;
    }
    // Probe mode compares the two channels of each measurement instead.
    if (ms.channels == 2 && (ms.flags & kMsfProbeCompensation)) return true;
    return fs.FileExists(CompensationFilePath(ms, folder, kind, preEmphasis, mlsOrder));
}

}  // namespace srx
