#pragma once
// Shared body of the compensation fuzz targets: the input goes to a scratch
// file of this process with the extension the reader expects. A converted
// table must keep the converter's promises (rising frequencies, nothing
// above 47850 Hz, a low entry at 100 Hz for the text formats) and must save.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "dsp/compensation.h"
#include "dsp/compensation_convert.h"
#include "fuzz/fuzz_common.h"

namespace srx::fuzz {

// Lookups over the whole range must stay finite for a finite table.
inline void CheckLookups(const CompensationCurve& c) {
    bool finite = true;
    for (const CompensationEntry& e : c.entries)
        finite = finite && std::isfinite(e.frequency) && std::isfinite(e.level) && std::isfinite(e.phase);
    for (double f : {0.0, 1.0, 20.0, 99.9, 100.0, 1000.0, 12345.6, 47850.0, 1e6}) {
        const double level = CompensationLevelAt(c, f), phase = CompensationPhaseAt(c, f);
        if (finite && (!std::isfinite(level) || !std::isfinite(phase))) __builtin_trap();
    }
}

// Whether a saved table reads back entry for entry: four decimals must
// neither merge two frequencies nor round one to 0 (the reader refuses
// that), and a phase in degrees must stay within a float.
inline bool SurvivesTextLayout(const CompensationCurve& c) {
    std::string previous;
    for (const CompensationEntry& e : c.entries) {
        if (!(e.frequency > 0)) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%.4lf", double(e.frequency));
        if (previous == text || std::string(text) == "0.0000") return false;
        if (!(std::fabs(double(e.phase) * 57.29577951308232) <= FLT_MAX)) return false;
        previous = text;
    }
    return true;
}

inline void CheckConverter(const char* scratchName, bool textFormat, const uint8_t* data, size_t size) {
    static const ScratchFile input(scratchName);
    static const ScratchFile output("converted.MCP");
    if (!input.Write(data, size)) return;
    CompensationCurve c;
    if (!ConvertCalibrationFile(input.path(), c).ok()) return;
    float previous = 0;
    bool first = true;
    for (const CompensationEntry& e : c.entries) {
        if (e.frequency == 0) continue;
        if (!(e.frequency > previous) || e.frequency > 47850.0f) __builtin_trap();
        if (first && textFormat && e.frequency > 100.0f) __builtin_trap();
        first = false;
        previous = e.frequency;
    }
    CheckLookups(c);
    if (!SaveCompensation(output.path(), c)) __builtin_trap();
    if (!SurvivesTextLayout(c)) return;
    CompensationCurve back;
    if (!LoadCompensation(output.path(), back).ok()) __builtin_trap();
    if (back.Count() != CompensationEntryCount(c)) __builtin_trap();
}

}  // namespace srx::fuzz
