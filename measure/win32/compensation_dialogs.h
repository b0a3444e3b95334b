#pragma once
// The dialogs that measure the measuring chain itself: "Soundcard
// Compensation" (the Soundcard page's Linearity button, inside the settings
// sheet), "Secondary Compensation" (command 713) and the "No Soundcard
// Compensation" notice. Both measurements run on the measurement thread,
// where the settings sheet and every measurement dialog run, and carry the
// steps of CompensationRun out one dialog message at a time.
#include <windows.h>

#include "resources/status.h"

namespace srx {

// Command 713: the "Secondary Compensation" dialog on the measurement
// thread; 0 when a measurement dialog already runs.
int OpenSecondaryCompensationDialog();
INT_PTR CALLBACK SecondaryCompensationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

// "Linearity": the "Soundcard Compensation" dialog, modal to `owner` (a page
// of the settings sheet) with the settings as they stand in the sheet.
// IDOK when the compensation files were written.
INT_PTR MeasureLinearity(HWND owner);
INT_PTR CALLBACK SoundcardCompensationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

// The notice of a measurement's preparation (`owner`: the measurement
// dialog); nothing once "Don't show this message again" was ticked.
void ShowNoSoundcardCompensation(void* owner);
// The sheet's compensation check for the setting as it stands: when a
// stimulus of it has no compensation file, the notice offers the linearity
// measurement. True when the user takes the offer (the sheet then stays
// open on "Linearity").
bool OfferLinearityMeasurement(HWND owner);
// Makes ShowNoSoundcardCompensation the notice of every preparation.
void InstallSoundcardCompensationNotice();

// Every message box of the two measurement dialogs goes through here; null
// (the default) shows a message box. Called on the measurement thread.
using CompensationMessageHook = int (*)(HWND owner, const Status& message, UINT flags);
void SetCompensationMessageHook(CompensationMessageHook hook);

}  // namespace srx
