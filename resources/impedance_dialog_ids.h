// Templates and control ids of the "Impedance" measurement dialog (Start is
// IDOK, Cancel IDCANCEL, Help IDHELP) and of the small window that shows an
// impedance calibration running (opened by the settings' Impedance page).
#pragma once

#define DLG_IMPEDANCE 18
// The two-curve T/S measurements: the impedance dialog with the cone area,
// Xmax and the added mass or test box volume.
#define DLG_TS_DELTA_MASS 19
#define DLG_TS_DELTA_COMPLIANCE 20
#define DLG_IMPEDANCE_CALIBRATION 4113

#define IDC_Z_ACTIVITY 101
#define IDC_Z_TITLE 102
#define IDC_Z_INFO 103
#define IDC_Z_PROGRESS 104
#define IDC_Z_REVC 105
#define IDC_Z_SD 106
#define IDC_Z_XMAX 107
#define IDC_Z_LOAD 108

#define IDC_ZC_ACTIVITY 101
#define IDC_ZC_PROGRESS 102
