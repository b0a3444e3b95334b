#pragma once
// The "Gated Time-Window" and "Sweep" measurement dialogs. Like the MLS
// they run modally on the measurement thread and carry the steps of
// SineMeasurement out one message at a time; the result goes to a new
// frequency-response window that the frame creates and then owns.
#include <windows.h>

namespace srx {

// Measurement > Gated Time-Window and Measurement > Sweep: start the dialog
// on the measurement thread; 0 when a measurement dialog already runs.
int OpenGatedSineDialog();
int OpenSweepDialog();

}  // namespace srx
