#pragma once
// The wave folder in which stimuli and recorded responses live, the rules
// that name those files, and the name of the sound-card compensation file
// that belongs to a setting.
//
// Paths are the program's own: Windows style, "\" between components. The
// folder operations go through WaveFolderFs so that the rules run against
// a fake in tests; the host implementation maps "\" to "/" off Windows.
#include <string>
#include <vector>

#include "measure/measurement_settings.h"

namespace srx {

class WaveFolderFs {
public:
    virtual ~WaveFolderFs() = default;
    virtual bool IsDirectory(const std::string& path) = 0;
    virtual bool MakeDirectory(const std::string& path) = 0;  // one level
    virtual bool FileExists(const std::string& path) = 0;
    // Names (without folder) of the plain files in a folder.
    virtual std::vector<std::string> FileNames(const std::string& folder) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
};

// The real file system.
WaveFolderFs& HostFileSystem();

// The folder the program runs from, with or without a trailing "\"; set by
// the shell at start-up.
void SetMeasureProgramFolder(const std::string& folder);
const std::string& MeasureProgramFolder();

// programFolder + "\" + name, without doubling a separator.
std::string InProgramFolder(const std::string& programFolder, const char* name);

// The wave folder for a folder setting: a bare drive ("D:") gets
// "\MesWaves", created when missing (the program's own "MesWaves" when that
// fails); a longer setting is used when it exists; anything else falls back
// to the program folder's "MesWaves".
std::string ResolveStimulusFolder(const std::string& setting, const std::string& programFolder, WaveFolderFs& fs);

// The wave folder of the process-wide settings; EnsureStimulusFolder also
// creates it when missing and answers whether it exists afterwards.
std::string StimulusFolder(WaveFolderFs& fs = HostFileSystem());
bool EnsureStimulusFolder(WaveFolderFs& fs = HostFileSystem());

// ClearWaveFiles kinds.
constexpr int kClearResponses = 1;  // "r*.wav"
constexpr int kClearStimuli = 2;    // "p*.wav"
constexpr int kClearAll = 0;        // "*.wav" (any other kind, too)

// Deletes the matching wave files of `folder` (names compared without regard
// to case, as Windows does); nothing when the folder does not exist.
// Answers the number of files deleted.
int ClearWaveFilesIn(const std::string& folder, int kind, WaveFolderFs& fs);
int ClearWaveFiles(int kind, WaveFolderFs& fs = HostFileSystem());

// Base names of the measurement's wave files.
extern const char kWaveMls[];        // "MLS"
extern const char kWaveImpulse[];    // "Impulse"  (spike)
extern const char kWaveSinSweep[];   // "SinSweep" (gated sine)
extern const char kWaveSweep[];      // "Sweep"    (sweep responses)
extern const char kWaveImpedance[];  // "Z"
extern const char kWaveCyclicMls[];  // "CMLS"
extern const char kWaveQcMls[];      // "QCMLS"
extern const char kWaveCalSpl[];     // "CalSPL"
extern const char kWaveCalImp[];     // "CalImp"
extern const char kWaveInit[];       // "Init"
extern const char kWaveLcr[];        // "LCR"

// folder\p<base>.wav
std::string StimulusPath(const std::string& folder, const char* base);
// folder\r<base><pass>.wav (the warm-up pass is -1)
std::string ResponsePath(const std::string& folder, const char* base, int pass);
// folder\r<base>.wav, for measurements with one response file
std::string ResponsePath(const std::string& folder, const char* base);

// Sweep stimuli and responses are named by their format so they can be
// reused: folder\<p|r><kHz><s|m><bits>b<time>.wav, the time per octave with
// two decimals and '_' for the decimal separator, "Sweep" when it is 0.
std::string SweepWavePath(const std::string& folder, char prefix, int sampleRate, int channels, int bits,
                          double timePerOctave);

// The stimulus a compensation file belongs to.
enum class CompensationStimulus { Mls, Spike, GatedSine, Sweep };

// 5 when the relevant window is at most 5 ms, else 10; the MLS or spike
// window in near-field mode, the global window otherwise.
int CompensationWindowClass(const MeasurementSettings& ms, CompensationStimulus kind);

// The compensation file's name inside `folder` (no folder created):
// folder\SC2-<input>(<in>.<out>) <kHz>-<bits> <tag>.scc
std::string CompensationFilePath(const MeasurementSettings& ms, const std::string& folder, CompensationStimulus kind,
                                 bool preEmphasis, int mlsOrder);

// The program folder's "SoundCard".
std::string CompensationFolder(const std::string& programFolder);

// With `out`: creates the compensation folder when missing, stores the path
// and answers true. Without: whether the file exists, which a stereo
// setting with probe compensation answers yes to without looking.
bool CompensationFileName(const MeasurementSettings& ms, const std::string& programFolder, std::string* out,
                          CompensationStimulus kind, bool preEmphasis, int mlsOrder,
                          WaveFolderFs& fs = HostFileSystem());

}  // namespace srx
