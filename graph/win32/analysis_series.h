#pragma once
// The design slots as the analysis graphs see them. Kept apart from the
// painters: the simulation's header and data/records.h both name an
// enumerator kCurveImpedance, so no file includes the two.
#include <string>

#include "graph/analysis_graph.h"

namespace srx {

// The results of slot `slot` (0..3) as views; empty when it has none.
AnalysisSeries SlotSeries(int slot);
// Analysed (slot flag 8) with results.
bool SlotHasResults(int slot);
// ... and marked as shown in the analysis windows (slot flag 16).
bool SlotShownInAnalysis(int slot);
// The design's title, "NONAME" (2226) when it has none.
std::string SlotDesignTitle(int slot);

}  // namespace srx
