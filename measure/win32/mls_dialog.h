#pragma once
// The "MLS" measurement dialog. It runs modally on the measurement thread
// (RunMeasurementDialog with DLG_MLS) and carries the steps of
// MlsMeasurement out one message at a time: the wave engine's notices reach
// it as kWaveMciNotify, so recording, file writing and the dialog's own
// messages are serialised on that thread. The results go to new document
// windows that the frame creates (UM_CREATEDOC) and then owns.
#include <windows.h>

#include "resources/status.h"

namespace srx {

// Measurement > MLS: starts the dialog on the measurement thread; 0 when a
// measurement dialog already runs.
int OpenMlsDialog();

INT_PTR CALLBACK MlsDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

}  // namespace srx
