#pragma once
// Shared body of the compensation fuzz targets: the input goes to a scratch
// file of this process with the extension the reader expects. A converted
// table must keep the converter's promises (rising frequencies, nothing
// above 47850 Hz, a low entry at 100 Hz for the text formats) and must save.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dsp/compensation.h"
#include "dsp/compensation_convert.h"

namespace srx::fuzz {

inline std::string CompensationScratch(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("fuzz_comp_" + std::to_string(getpid()) + "_" + std::string(name)))
        .string();
}

inline bool WriteScratch(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
}

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

inline void CheckConverter(const char* scratchName, bool textFormat, const uint8_t* data, size_t size) {
    static const std::string input = CompensationScratch(scratchName);
    static const std::string output = CompensationScratch("converted.MCP");
    if (!WriteScratch(input, data, size)) return;
    CompensationCurve c;
    if (!ConvertCalibrationFile(input, c).ok()) return;
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
    if (!SaveCompensation(output, c)) __builtin_trap();
    CompensationCurve back;
    if (!LoadCompensation(output, back).ok()) __builtin_trap();
    if (back.Count() != CompensationEntryCount(c)) __builtin_trap();
    std::remove(output.c_str());
}

}  // namespace srx::fuzz
