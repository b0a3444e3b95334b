#pragma once
// Conversion of microphone calibration files of other tools into
// compensation tables: ".MDF" text, ".DAT"/".CAL" text columns and ".MIC"
// binary records. The converted table starts at 100 Hz at the latest (text
// formats), ends at 47850 Hz at the most, and is thinned.
#include <string>
#include <vector>

#include "dsp/compensation.h"
#include "resources/status.h"

namespace srx {

// At most this many entries come from a text calibration file.
constexpr int kMaxCalibrationEntries = 4096;

// The readers. Each fills `out` with the raw table as the file holds it
// (before the 100 Hz insert, the 47850 Hz cut and thinning; rows without a
// usable frequency dropped). On failure `out` is unchanged and the status
// carries 2316 ("Read error !") or 2314 (cannot open).
Status ReadMdfCalibration(const std::string& path, CompensationCurve& out);
Status ReadDatCalibration(const std::string& path, CompensationCurve& out);  // .DAT and .CAL
Status ReadMicCalibration(const std::string& path, CompensationCurve& out);

// Inserts an entry at 100 Hz with the first entry's level and phase when
// the table starts above 100 Hz (text formats only).
void InsertLowEntry(CompensationCurve& curve);
// Cuts the table at the first frequency of 47850 Hz or more (which becomes
// 47850) and empties the rest.
void CutHighEntries(CompensationCurve& curve);

// Reads a calibration file by its extension (".MDF", ".DAT", ".CAL",
// ".MIC", any case) and finishes the table: the 100 Hz insert for the text
// formats, the cut, thinning. A table without any entry fails with 2316.
Status ConvertCalibrationFile(const std::string& path, CompensationCurve& out);

// Whether a file name has one of the four calibration extensions.
bool IsCalibrationFileName(const std::string& name);

struct CalibrationConversion {
    std::vector<std::string> converted;  // base names of the new .MCP files
    std::vector<std::string> failed;     // file names that could not be converted (message 2374)
};

}  // namespace srx
