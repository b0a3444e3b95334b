#pragma once
// The "Measurement Settings" property sheet. It edits the process-wide
// record in place, keeps a copy aside for Cancel, and on OK runs every page
// rule before anything is confirmed.
#include <windows.h>

namespace srx {

// Runs the sheet modally on the calling (measurement) thread. Answers 1 when
// the user confirmed, 0 otherwise.
int RunMeasurementSettingsSheet(HWND owner);

// The sheet without a loop of its own, for tests: answers the sheet window.
// Once PSM_GETCURRENTPAGEHWND answers null the sheet has ended and the
// caller destroys it.
HWND CreateMeasurementSettingsSheet(HWND owner);
// Whether the last sheet ended confirmed.
bool MeasurementSettingsConfirmed();

// Where the sheet's messages go (MessageBoxId unless replaced); null restores.
using SettingsMessageFn = int (*)(HWND owner, int stringId, UINT flags);
void SetSettingsSheetMessageHook(SettingsMessageFn fn);

// The "Advanced Soundcard Settings" dialog procedure (template DLG_MS_ADVANCED).
INT_PTR CALLBACK AdvancedSoundcardProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

}  // namespace srx
