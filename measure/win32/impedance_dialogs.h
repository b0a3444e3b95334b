#pragma once
// The "Impedance" measurement dialog and the impedance calibration that the
// settings' Impedance page starts. Both run one ImpedanceMeasurement on the
// measurement thread, one step per dialog message, like the other
// measurement dialogs.
#include <windows.h>

namespace srx {

// Measurement > Impedance: starts the dialog on the measurement thread; 0
// when a measurement dialog already runs.
int OpenImpedanceDialog();
// "T/S with Delta Mass" (addedMass) or "T/S with Delta Compliance": the
// impedance dialog measuring the free-air curve and then the loaded one,
// which ends in the measured parameters of the free-air curve.
int OpenTwoCurveDialog(bool addedMass);

// Measures the calibration resistor `rcal` (ohm) with the settings as they
// stand in the sheet and writes the setting's calibration file; a small
// window modal to `owner` shows the progress. Answers the mean factor, or 0
// when the calibration failed (its message shown, an old file kept).
double CalibrateImpedance(HWND owner, double rcal);

}  // namespace srx
