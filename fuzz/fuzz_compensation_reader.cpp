// Feeds arbitrary bytes to the compensation file reader. What it accepts
// must interpolate without trouble, thin, and survive a save and a second
// read with its entries intact to the precision of the text layout.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/compensation_fuzz.h"

namespace {

bool Close(double a, double b, double absolute) {
    if (!std::isfinite(a) || !std::isfinite(b)) return std::isnan(a) == std::isnan(b) && (std::isnan(a) || a == b);
    return std::fabs(a - b) <= absolute + 1e-6 * std::fabs(a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile inputFile("input.mcp"), savedFile("saved.mcp");
    const std::string &input = inputFile.path(), &saved = savedFile.path();
    if (!inputFile.Write(data, size)) return 0;

    CompensationCurve fixed;
    fixed.entries.resize(4);
    LoadCompensation(input, fixed, false);
    if (fixed.Count() > 4) __builtin_trap();

    CompensationCurve c;
    if (!LoadCompensation(input, c).ok()) return 0;
    fuzz::CheckLookups(c);
    IsFlatCompensation(c);

    if (SaveCompensation(saved, c) && fuzz::SurvivesTextLayout(c)) {
        CompensationCurve back;
        if (!LoadCompensation(saved, back).ok()) __builtin_trap();
        if (back.Count() != CompensationEntryCount(c)) __builtin_trap();
        size_t j = 0;
        for (const CompensationEntry& e : c.entries) {
            if (!(e.frequency > 0)) continue;
            const CompensationEntry& b = back.entries[j++];
            if (std::fabs(e.frequency) < 1e6 && std::fabs(e.level) < 1e6 && std::fabs(e.phase) < 1e4 &&
                (!Close(e.frequency, b.frequency, 1e-4) || !Close(e.level, b.level, 1e-4) ||
                 !Close(e.phase, b.phase, 1e-5)))
                __builtin_trap();
        }
    }
    ThinCompensation(c);
    return 0;
}
