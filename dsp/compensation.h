#pragma once
// Microphone and secondary compensation: the compensation table read from a
// compensation file (.MCP for microphones, .2CP for the rest of the
// measuring chain), its lookup, and its application to frequency responses
// and waterfalls, followed by the relative level normalisation.
//
// Everything here is portable and reports failures as string ids; the
// settings that choose the files are measure/compensation_settings.h, the
// editor dialog, the save dialogs and the message boxes
// measure/win32/compensation_ui.h. Paths are the program's own (Windows style);
// off Windows a "\" in a path is taken as "/".
#include <string>
#include <vector>

#include "data/records.h"
#include "resources/status.h"

namespace srx {

struct AnalysisSettings;

// One row of a compensation table.
struct CompensationEntry {
    float frequency = 0;  // Hz; 0 marks an empty entry
    float level = 0;      // dB
    float phase = 0;      // radians
};

// Entries in rising frequency; empty entries (frequency 0) are skipped when
// saving and looked over when interpolating.
struct CompensationCurve {
    std::vector<CompensationEntry> entries;
    int Count() const { return int(entries.size()); }
};

// The header written, and the five accepted when reading (v0.11 and v0.12
// keep their phase in radians, the others in degrees).
extern const char kCompensationHeader[];  // "Son-Rix:Compensation File v1.10"

// Extensions and the list entries of the compensation lists.
extern const char kMicrophoneExtension[];      // ".MCP"
extern const char kSecondaryExtension[];       // ".2CP"
extern const char kNoCompensationItem[];       // "None..."
extern const char kNewCompensationItem[];      // "New compensation..."
extern const char kHiddenCompensation[];       // "SONRIX.MCP", never listed
extern const char kDefaultCompensationName[];  // "NONAME.MCP"

// ---- Files ---------------------------------------------------------------

// What a compensation file says besides its table.
struct CompensationFileInfo {
    std::string header;   // the version line
    std::string name;     // the name line (the table does not depend on it)
    bool degrees = true;  // phase column in degrees, else radians
};

// Reads a compensation file. With `allocate` the table takes the file's
// count; without it the caller's table is filled in its present size, and a
// file with more entries is refused like any other surplus. Entries the
// file does not reach (a missing "END.") are empty. The entries read are
// put in rising frequency; of equal frequencies the first in the file
// stays and the others leave empty entries at the end. On failure `curve`
// is unchanged. Failures: 2314 (cannot open), 2372 (not a compensation
// file), 2357 (count below 1), 2316 (no "BEGIN.", or an entry whose
// frequency is not above 0 or whose numbers are not finite floats), 2373
// (more entries than the count), 2318 (out of memory, or a count above
// 2^20 that no table comes near). `info`, when given, is filled on success.
Status LoadCompensation(const std::string& path, CompensationCurve& curve, bool allocate = true,
                        CompensationFileInfo* info = nullptr);

// Writes the entries above 0 Hz (phase in degrees) beside `path` and moves
// the new file over it only when every byte is out, so a failure never
// destroys the previous file. Returns false without writing when no entry
// lies above 0 Hz (`*error` stays Ok then), or on failure with 2371 in
// `*error`.
bool SaveCompensation(const std::string& path, const CompensationCurve& curve, Status* error = nullptr);

// The text export of the curve (".DAT" layout of other tools); the same
// rules as SaveCompensation.
bool ExportMicCorrection(const std::string& path, const CompensationCurve& curve, Status* error = nullptr);

// Number of entries above 0 Hz.
int CompensationEntryCount(const CompensationCurve& curve);

// The file name of a path (everything after its last "\" or "/") and the
// same without its extension.
std::string CompensationFileTitle(const std::string& path);
std::string CompensationBaseName(const std::string& path);

// ---- Lookup --------------------------------------------------------------

// The interpolated correction at f (clamped to the table; a straight line
// over a logarithmic frequency axis between entries). 0 for an empty table.
double CompensationLevelAt(const CompensationCurve& curve, double f);
double CompensationPhaseAt(const CompensationCurve& curve, double f);

// The frequencies the table covers: its first and last entry above 0 Hz
// (both 0 for an empty table). Beyond them the lookup holds the end values,
// so a response reaching further is corrected with those.
struct CompensationRange {
    double first = 0;
    double last = 0;
};
CompensationRange CompensationCoverage(const CompensationCurve& curve);

// level - correction at f; phase - correction at f.
double CompensateLevel(const CompensationCurve& curve, double level, double f);
double CompensatePhase(const CompensationCurve& curve, double phase, double f);

// Exactly two entries of equal level: a table that corrects nothing.
bool IsFlatCompensation(const CompensationCurve& curve);

// Removes the middle one of three neighbours that agree to one decimal in
// level and phase (never the first or last non-empty entry), eight passes,
// sorting by frequency after each.
void ThinCompensation(CompensationCurve& curve);

// Sorts by rising frequency, empty entries first.
void SortCompensation(CompensationCurve& curve);

// ---- Where the files are and which are chosen ------------------------------

// What applying a compensation needs from the settings.
struct CompensationSettings {
    std::string programFolder;        // where the compensation files live
    std::string microphoneName;       // remembered base name of the .MCP ("" none)
    std::string secondaryName;        // remembered base name of the .2CP ("" none)
    bool normalise = true;            // "Normalize Frequency Response"
    bool normaliseWaterfall = false;  // measurement-settings flag bit 8
};

// The path of a compensation file: a name without folder lives in the
// program folder; a name without extension gets `extension`.
std::string CompensationPath(const std::string& programFolder, const std::string& name, const char* extension);

// Index of `current` in the list (compared without regard to case); 0
// ("None...") when it is empty or not listed.
int CompensationListIndex(const std::vector<std::string>& names, const std::string& current);
// The base name a list entry stands for: "" for "None..." and "New
// compensation...".
std::string CompensationOfListItem(const std::string& item);

// ---- Applying ---------------------------------------------------------------

// Which microphone compensation to apply: null means the remembered one;
// "", "None..." or "New compensation..." means none; anything else names a
// file (see CompensationPath, extension ".MCP").
// Frequency responses only (curve kinds 0 and 2); impedance curves are left
// alone. A record marked as already compensated (0x0080) is not
// compensated, but still normalised. A missing file is no error: the curve
// stays uncompensated. A file that cannot be read leaves it uncompensated
// too and comes back as the failed status for the caller to show.
// Afterwards the phase family is rebuilt, the total harmonic distortion is
// recomputed (see SetCompensationThdHook) and, with the option on, the
// levels are normalised.
Status ApplyMicrophoneCompensation(Measurement& m, const char* name, const CompensationSettings& settings,
                                   const AnalysisSettings& analysis);

// The remembered secondary compensation (".2CP"), with the same rules.
Status ApplySecondaryCompensation(Measurement& m, const CompensationSettings& settings,
                                  const AnalysisSettings& analysis);

// Corrects the waterfall slices of a time record level by level (its
// samples are not touched): the microphone compensation (`name` as above),
// then the secondary one, then the relative normalisation. The record's
// compensation file name takes the microphone compensation's base name.
Status CompensateWaterfall(TimeRecord& t, const char* name, const CompensationSettings& settings);

// The pieces of the above, for callers that hold a table already.
// Subtracts the table from every level (levels at or below -1000 dB stay
// -1000; harmonics at their harmonic frequencies) and from the unwrapped
// phase, rewraps the phase and recomputes the largest level.
void CompensateMeasurement(Measurement& m, const CompensationCurve& curve);
// Adds the table's negative correction to every waterfall level above
// -1000 dB and recomputes the waterfall's largest level.
void CompensateWaterfallLevels(TimeRecord& t, const CompensationCurve& curve);
// The reference level of the relative normalisation over a run of levels
// (in frequency order): the oldest of the last 64 running maxima that lies
// less than 4 dB below the final maximum.
class NormalisationReference {
public:
    NormalisationReference();
    void Add(double level);
    double Reference() const;
    double Maximum() const { return max_; }

private:
    double history_[64];
    int next_ = 0;  // slot of the oldest entry
    double max_;
};
// Subtracts the reference from every level (and harmonic level) above
// -1000 dB and recomputes the largest level.
void NormaliseRelativeLevel(Measurement& m);
void NormaliseWaterfall(TimeRecord& t);

// Recomputes the total harmonic distortion of a measurement with distortion
// data after compensation. Not installed: the stored values stay.
using CompensationThdHook = void (*)(Measurement& m);
void SetCompensationThdHook(CompensationThdHook hook);

}  // namespace srx
