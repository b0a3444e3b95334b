// Arbitrary bytes as one stored settings value, loaded with the program's
// defaults, upgrades and repairs. The first byte picks the value and the
// layout; the second whether the bytes keep their own version word. The
// rest is fitted to the layout's size (other sizes are only ever ignored).
// After loading, the texts must be C strings, the recent list must end at
// its first gap, the frame must be on the desktop, and saving and loading
// again must give the same blocks. The box simulation's settings read from
// the block must be ones the Analyzer Preferences accept.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/settings.h"
#include "design/analyzer_settings.h"
#include "fuzz/fuzz_common.h"
#include "measure/measurement_settings.h"

namespace {

using namespace srx;

bool SameBlocks(const SettingsBlocks& a, const SettingsBlocks& b) {
    return std::memcmp(&a.window, &b.window, sizeof a.window) == 0 &&
           std::memcmp(&a.program, &b.program, sizeof a.program) == 0 &&
           std::memcmp(&a.xover, &b.xover, sizeof a.xover) == 0 && a.toolbarLayout[0] == b.toolbarLayout[0] &&
           a.toolbarLayout[1] == b.toolbarLayout[1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool hooked = (InstallMeasurementSettingsHooks(), true);
    (void)hooked;
    if (size < 2) return 0;
    struct Layout {
        const char* value;
        size_t size;          // 0: the bytes as they are
        int32_t versions[4];  // the version word given to fitted bytes
    };
    static const Layout kLayouts[] = {
        {kWindowHistoryValue, sizeof(WindowHistory), {2004, 2005, 2006, 2006}},
        {kWindowHistoryValue, sizeof(WindowHistory2003), {2003, 2003, 2003, 2003}},
        {kProgramConfigValue, sizeof(ProgramConfig), {2005, 2006, 2007, 2008}},
        {kXoverConfigValue, sizeof(XoverConfig), {}},
        {kToolbarAdvancedValue, 0, {}},
        {kWindowHistoryValue, 0, {}},
    };
    const Layout& layout = kLayouts[data[0] % (sizeof kLayouts / sizeof kLayouts[0])];
    std::vector<uint8_t> bytes(data + 2, data + size);
    if (layout.size) {
        bytes.resize(layout.size);
        if (layout.versions[0] && !(data[1] & 0x80)) std::memcpy(bytes.data(), &layout.versions[data[1] & 3], 4);
    }
    MemoryValueStore store;
    store.WriteValue(layout.value, bytes.data(), bytes.size());

    const DesktopArea desktop{1920, 1080, 0, 0, 1920, 1040};
    // The program loads into the process-wide blocks (the repair hook then
    // also fills the analysis settings); the reload goes elsewhere.
    SettingsBlocks& s = Settings();
    LoadSettings(s, store, desktop);

    WindowHistory& w = s.window;
    bool ended = false;
    for (const auto& entry : w.recentFiles) {
        if (entry[kPathChars - 1] || (ended && entry[0])) __builtin_trap();
        ended = ended || !entry[0];
    }
    if (w.stimulusFolder[kPathChars - 1] || w.backgroundBitmap[kPathChars - 1] || w.tipIndex < 0) __builtin_trap();
    // The simulation takes its range and drive from the block: whatever it
    // holds must come out as settings the dialog would have accepted.
    AnalyzerSettings analyzer = AnalyzerSettingsOf(w);
    if (CheckAnalyzerSettings(analyzer) != kAnalyzerOk) __builtin_trap();
    WindowHistory placed = w;
    if (CheckFramePlacement(placed, desktop)) __builtin_trap();

    MemoryValueStore saved;
    SaveSettings(s, saved);
    saved.values[kToolbarAdvancedValue].assign(s.toolbarLayout[0].begin(), s.toolbarLayout[0].end());
    saved.values[kToolbarEasyValue].assign(s.toolbarLayout[1].begin(), s.toolbarLayout[1].end());
    static SettingsBlocks again;
    LoadSettings(again, saved, desktop);
    if (!SameBlocks(s, again)) __builtin_trap();
    return 0;
}
