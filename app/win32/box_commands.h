#pragma once
// The design analysis commands on the frame: "Analyse..." (503), "New
// Analysis Window" (504), "Analyzer Preferences" (505), "Convert to
// measurement" (506) and a new choice in the analysis-kind combo box.
#include <windows.h>

namespace srx {

// Simulates every design with a box that is not analysed (a failure shows
// its message and leaves that slot unanalysed) and shows the analysis
// window of the combo box's kind. 2310 when there is nothing to analyse.
// Answers how many designs were simulated.
int AnalyseDesigns(HWND frame);
void NewAnalysisWindow(HWND frame);
void AnalyzerPreferences(HWND frame);
void ConvertAnalysis(HWND frame);
void AnalysisKindChosen(HWND frame);
// The box sheet's commit on the frame's thread (UM_BOXCOMMIT): a box that
// differs from the slot's takes an undo step, goes into the slot (unsaved,
// not analysed), retitles the design window and is analysed; null marks
// the sheet closed.
struct BoxDesign;
LRESULT CommitBoxDesign(int slot, const BoxDesign* box);
// Box Parameters (502): the sheet on the active design.
void OpenBoxDesign(HWND frame);
// Every analysis window reads and shows slot `slot` as its current design.
void PointAnalysisWindows(int slot);

}  // namespace srx
