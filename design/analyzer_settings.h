#pragma once
// The "Analyzer Preferences" of the box simulation: where they are kept in
// the window-history block, and the rules of the dialog's OK.
#include "data/settings_blocks.h"
#include "design/design_simulation.h"

namespace srx {

// The stored settings; the defaults for an older block or values that are
// not a usable set (not finite, start not below stop, no drive).
AnalyzerSettings AnalyzerSettingsOf(const WindowHistory& history);
void StoreAnalyzerSettings(WindowHistory& history, const AnalyzerSettings& settings);

// The dialog's OK on typed values: a start below 1 Hz becomes 1, a stop
// above 50 kHz becomes 50 kHz. kAnalyzerStartField when start >= stop or eg
// <= 0 (not finite counts as wrong); kAnalyzerImpulseField when the visible
// impulse lies outside 1 ms .. 4096 / (4 stop), and it is then set to the
// nearer limit; kAnalyzerOk otherwise. Rg below 0 becomes 0, a temperature
// outside -50..100 degrees C is clamped.
enum AnalyzerCheck { kAnalyzerOk, kAnalyzerStartField, kAnalyzerImpulseField };
AnalyzerCheck CheckAnalyzerSettings(AnalyzerSettings& s);

}  // namespace srx
