#pragma once
// The Win32 side of the compensation: the compensation list boxes, the
// "Microphone Compensation" editor dialog, the save and export dialogs and
// the conversion of found calibration files with its messages.
#include <windows.h>

#include <string>

#include "dsp/compensation.h"
#include "measure/compensation_settings.h"

namespace srx {

// Fills combo box (or list box) `control` of `dialog` with "None...", for
// the microphone list with `offerNew` also "New compensation...", and the
// base names of the compensation files (.MCP, or .2CP with `secondary`), and
// selects `current` (a base name; null or "" selects "None..."). Filling the
// microphone list first converts calibration files found in the program
// folder. Returns the index selected.
int FillCompensationList(HWND dialog, int control, const char* current, bool secondary, bool offerNew = false);

// The base name of the entry selected in such a list; "" for "None..." and
// "New compensation...".
std::string SelectedCompensation(HWND dialog, int control);

// Saves a table. With an empty `path` or `ask`, the save dialog "Save
// Microphone Compensation" asks first (default NONAME.MCP in the program
// folder) and `path` receives the choice. Shows 2371 on failure. 1 when
// written.
int SaveCompensation(HWND owner, std::string& path, const CompensationCurve& curve, bool ask);

// Asks 2393, then for a path ("Export Microphone Compensation", offering
// `defaultName` in the program folder), and writes the text export. 1 when
// written.
int ExportMicCorrection(HWND owner, const CompensationCurve& curve, const std::string& defaultName = "NONAME.DAT");

// Converts the calibration files of the program folder (2374 for each
// failure; 2375 asks whether a single new one becomes the microphone
// compensation, 2376 tells how many came). `lastName` (may be null)
// receives the base name of the last converted file. Returns the count.
int ConvertFoundCalibrations(HWND owner, std::string* lastName);

// Command 712: the "Microphone Compensation" dialog. The entry selected when
// it closes with OK becomes the remembered microphone compensation.
// Returns 1 on OK.
int OpenMicrophoneCompensationDialog(HWND owner);

// The same dialog modeless (tests drive it with messages); it destroys
// itself when it closes.
HWND CreateMicrophoneCompensationDialog(HWND owner);

// Every question and message of the compensation dialogs goes through
// `ask` (text already formatted; returns the button), and every file dialog
// through `choosePath` (title, path in and out; false when cancelled).
// Null members use the message box and the common file dialog.
struct CompensationUiHooks {
    int (*ask)(HWND owner, int stringId, UINT flags, const std::string& text) = nullptr;
    bool (*choosePath)(HWND owner, const char* title, std::string& path) = nullptr;
};
void SetCompensationUiHooks(const CompensationUiHooks& hooks);

}  // namespace srx
