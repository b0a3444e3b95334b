#pragma once
// The commands of the "Impulse && Waterfall" and "Normalization &&
// Smoothing" menus and of "Merge curves..." / "Average curves...": the
// energy-time curve (724), the step response (725), the waterfall (722),
// the impulse of a curve (721), smoothing (733), normalising (731, 732),
// averaging (717) and merging (716). The numbers are in dsp/; these files
// move them in and out of dialogs and document windows.
#include <windows.h>

#include <vector>

#include "app/win32/shell.h"
#include "data/records.h"
#include "resources/status.h"

namespace srx {

struct TimeRecord;

// Each works on the active document window and does nothing when it is of
// a kind the command does not serve.
void MakeEtcCommand(HWND frame);
void MakeStepCommand(HWND frame);
void WaterfallCommand(HWND frame);
// Activates the waterfall window of `record`, or opens one ("Waterfall: %s")
// when the record has a waterfall; null when it has none or the window
// could not be made (2303 shown).
HWND ShowWaterfallWindow(HWND frame, TimeRecord* record);
void ToImpulseCommand(HWND frame);
void SmoothCommand(HWND frame);
void NormalizeCommand(HWND frame);
void ManualNormalizeCommand(HWND frame);
void AverageCommand(HWND frame);
void MergeCommand(HWND frame);

// The T/S commands on impedance windows: "Measured Thiele-Small
// Parameters" (718) on the active curve, asking for Revc first when it has
// none; "T/S Parameters on imported files" (719) over two open curves;
// the "Boxloss Calculator" (720); removing the voice-coil inductance (765,
// with an undo step) and the model curve of the analysed parameters (766,
// a new window).
void MeasuredParametersCommand(HWND frame);
void ImportedParametersCommand(HWND frame);
void BoxlossCommand(HWND frame);
void RemoveInductanceCommand(HWND frame);
void CurveFitCommand(HWND frame);
// "Voice-Coil D.C. Resistance": false on Cancel; OK stores Re in the curve.
bool RevcDialog(HWND owner, Measurement& curve);

// Every message and question of these commands goes through here; null
// (the default) shows a message box. Returns the button pressed.
void SetAnalysisMessageHook(StatusMessageHook hook);
int ShowAnalysisMessage(HWND owner, const Status& message, UINT flags);

// Called with each dialog of these commands (and its template id) once it
// is filled, before the user sees it; tests drive the dialogs from here.
void SetAnalysisDialogObserver(void (*observer)(HWND dialog, int templateId));

// The measurement windows a multigraph window shows, for normalising its
// members; the multigraph code installs it. Without it a multigraph has no
// members and the command does nothing.
using MultigraphMembersHook = std::vector<HWND> (*)(HWND multigraph);
void SetMultigraphMembersHook(MultigraphMembersHook hook);

// Modal dialog `templateId` of the program's resources with `procedure`;
// shared by the files of these commands.
INT_PTR RunAnalysisDialog(HWND owner, int templateId, DLGPROC procedure, void* context);
// Tells the observer that `dialog` is ready.
void AnalysisDialogReady(HWND dialog, int templateId);
// The number typed in a field (a decimal comma counts as a point); false
// for an empty field, trailing rubbish, or a value that is not finite.
bool ReadNumberField(HWND dialog, int id, double* value);
// A typed value above zero and below `limit`; 0 for anything else (empty,
// rubbish, not finite, out of range), which the dialogs read as not given.
double ReadPositiveField(HWND dialog, int id, double limit = 1e9);
// Writes `value` with exactly `decimals` decimals.
void SetNumberField(HWND dialog, int id, double value, int decimals);

}  // namespace srx
