#pragma once
// Which compensation files are in use: the remembered names in the
// measurement settings, the lists of the program folder, and the
// compensation calls that apply what the settings choose.
#include <string>
#include <vector>

#include "dsp/compensation.h"
#include "dsp/compensation_convert.h"

namespace srx {

class WaveFolderFs;

// From the process-wide measurement settings and the program folder.
CompensationSettings CurrentCompensationSettings();

// The remembered base names, kept in the measurement settings record (the
// microphone name in its reserved path field, the secondary name in the
// first 260 carried bytes after it).
std::string RememberedMicrophoneCompensation();
void SetRememberedMicrophoneCompensation(const std::string& baseName);
std::string RememberedSecondaryCompensation();
void SetRememberedSecondaryCompensation(const std::string& baseName);

// The list of a compensation list box: "None...", then (microphone list with
// `offerNew`) "New compensation...", then the base names of the program
// folder's .MCP files (without SONRIX.MCP) or .2CP files, sorted.
std::vector<std::string> CompensationListNames(const std::string& programFolder, bool secondary, bool offerNew,
                                               WaveFolderFs& fs);
std::vector<std::string> CompensationListNames(const std::string& programFolder, bool secondary, bool offerNew = false);
// The calls of dsp/compensation.h with the current settings (null name:
// the remembered microphone compensation).
Status ApplyMicrophoneCompensation(Measurement& m, const char* name = nullptr);
Status ApplySecondaryCompensation(Measurement& m);
Status CompensateWaterfall(TimeRecord& t, const char* name = nullptr);

// Converts the calibration files found in the program folder (.MDF, .DAT,
// .CAL, .MIC) whose .MCP does not exist yet and saves each as that .MCP
// (never replacing one).
CalibrationConversion ConvertFoundCalibrations(const std::string& programFolder, WaveFolderFs& fs);
CalibrationConversion ConvertFoundCalibrations(const std::string& programFolder);

}  // namespace srx
